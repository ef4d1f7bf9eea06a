#include <gtest/gtest.h>

#include "platform/gdi/canvas.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"
#include "support/byte_writer.h"
#include "support/imagemagick.h"
#include "support/scoped_value.h"
#include "support/temp_dir.h"

namespace {

constexpr int kWidth = 45, kHeight = 29;

struct TMine : public TBitmap {
    static constexpr const char* ClassName = "TMine";
};

// What loading the file gives: "" when it loads, else the error.
template <class T>
std::string Load(T& graphic, const std::string& file)
{
    try {
        graphic.LoadFromFile(file);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

TEST(Picture, TheRegistryFindsKindsByExtensionTheLatestFirst)
{
    for (auto [ext, kind] : {std::pair{"bmp", GraphicClassOf<TBitmap>()},
                             {"ICO", GraphicClassOf<TIcon>()},
                             {"jpg", GraphicClassOf<TJPEGImage>()},
                             {"emf", GraphicClassOf<TMetafile>()},
                             {"", TGraphicClass()},
                             {"tga", TGraphicClass()}})
        EXPECT_EQ(TPicture::FindFileFormat(ext), kind) << ext;
    const TGraphicClass mine = GraphicClassOf<TMine>();
    TPicture::RegisterFileFormat("Mine", "Mine pictures", mine);
    TPicture::RegisterFileFormat("bmp", "Mine as bitmaps", mine);
    EXPECT_EQ(TPicture::FindFileFormat("MINE"), mine);
    EXPECT_EQ(TPicture::FindFileFormat("bmp"), mine);
    TPicture::UnregisterGraphicClass(mine);
    EXPECT_EQ(TPicture::FindFileFormat("mine"), nullptr);
    EXPECT_EQ(TPicture::FindFileFormat("bmp"), GraphicClassOf<TBitmap>());
}

TEST(Picture, LoadsByExtensionAndKeepsTheOldPictureWhenALoadFails)
{
    TempDir dir;
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(3, 2);
    b.SetPixel(1, 1, RGB(5, 6, 7));
    b.SaveToFile(dir.file("b.BMP"));
    WriteFileBytes(dir.file("broken.bmp"), std::vector<uint8_t>{'B', 'M', 0});
    WriteFileBytes(dir.file("a.xyz"), std::vector<uint8_t>{1, 2, 3});
    WriteFileBytes(dir.file("drawing.wmf"), std::vector<uint8_t>(40, 0));
    TPicture p;
    ASSERT_EQ(Load(p, dir.file("b.BMP")), "");
    EXPECT_EQ(p.Bitmap().GetPixel(1, 1), RGB(5, 6, 7));
    EXPECT_NE(Load(p, dir.file("broken.bmp")), "");
    EXPECT_NE(Load(p, dir.file("missing.bmp")), "");
    EXPECT_EQ(Load(p, dir.file("a.xyz")), "Unknown picture file extension (.xyz)");
    EXPECT_EQ(Load(p, dir.file("noextension")), "Unknown picture file extension (.)");
    EXPECT_EQ(Load(p, dir.file("drawing.wmf")), "Cannot load image. Windows metafiles (.wmf, .emf) are not supported.");
    EXPECT_EQ(std::pair(p.Width(), p.Height()), std::pair(3, 2));
}

class PictureFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ConvertProgram().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
        WritePamRgba(dir_.file("source.pam"), kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    }
    std::string Make(const std::string& name, std::vector<std::string> options, const std::string& format = "")
    {
        std::string log;
        EXPECT_TRUE(ConvertPicture(dir_.file("source.pam"), true, options, format + dir_.file(name), &log)) << log;
        return dir_.file(name);
    }
    TempDir dir_;
};

TEST_F(PictureFiles, JpegDecodesLikeImageMagickAndRefusesBrokenData)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> files = {
        {"colour.jpg", {"-alpha", "off", "-quality", "90"}},
        {"gray.jpeg", {"-alpha", "off", "-colorspace", "Gray"}},
        {"progressive.jfif", {"-alpha", "off", "-interlace", "Plane"}},
        {"subsampled.jpe", {"-alpha", "off", "-sampling-factor", "2x2"}}};
    for (const auto& [name, options] : files) {
        const std::string file = Make(name, options, "jpg:");
        TReferenceImage reference;
        std::string log;
        ASSERT_TRUE(ReadReference("jpg:" + file, reference, &log)) << log;
        TJPEGImage jpeg;
        jpeg.LoadFromFile(file);
        // Both sides use libjpeg; rounding of the colour conversion may differ by one.
        EXPECT_EQ(ComparePixels(jpeg.Bitmap(), reference, 2), "") << name;
    }
    auto bytes = ReadFileBytes(dir_.file("colour.jpg"));
    TJPEGImage jpeg;
    WriteFileBytes(dir_.file("head.jpg"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 2));
    WriteFileBytes(dir_.file("none.jpg"), std::vector<uint8_t>{});
    for (const char* name : {"head.jpg", "none.jpg"})
        EXPECT_EQ(Load(jpeg, dir_.file(name)).rfind("Cannot load image. Invalid JPEG data: ", 0), 0u) << name;
    // A cut-off picture still loads (the rest is filled by libjpeg).
    bytes.resize(bytes.size() / 2);
    WriteFileBytes(dir_.file("half.jpg"), bytes);
    EXPECT_EQ(Load(jpeg, dir_.file("half.jpg")), "");
    EXPECT_EQ(jpeg.Width(), kWidth);
}

TEST_F(PictureFiles, IconsKeepTheLargestImageAndItsMask)
{
    const std::string big = Make("big.png", {"-resize", "40x40!"}), small = Make("small.png", {"-resize", "16x16!"});
    std::string log;
    ASSERT_TRUE(RunConvert({small, big, small, dir_.file("set.ico")}, &log)) << log;
    TIcon icon;
    icon.LoadFromFile(dir_.file("set.ico"));
    EXPECT_EQ(std::pair(icon.Width(), icon.Height()), std::pair(40, 40));

    // Pixels and transparency as ImageMagick reads them.
    const std::string one = Make("one.ico", {});
    TReferenceImage reference;
    ASSERT_TRUE(ReadReference(one, reference, &log)) << log;
    icon.LoadFromFile(one);
    ASSERT_EQ(icon.Width(), reference.Width);
    for (int y = 0; y < reference.Height; ++y)
        for (int x = 0; x < reference.Width; ++x) {
            const uint8_t* r = reference.Pixel(x, y);
            const bool transparent = icon.Mask().GetPixel(x, y) != clBlack;
            ASSERT_EQ(transparent, r[3] < 128) << x << "," << y;
            if (!transparent) { ASSERT_EQ(icon.Image().GetPixel(x, y), RGB(r[0], r[1], r[2])) << x << "," << y; }
        }

    // Drawing leaves the transparent pixels of the target alone.
    TBitmap target, copy;
    target.SetPixelFormat(pf24bit);
    target.SetSize(kWidth, kHeight);
    target.Canvas().Brush.Color = RGB(1, 2, 3);
    target.Canvas().FillRect(target.Canvas().ClipRect());
    target.Canvas().Draw(0, 0, icon);
    EXPECT_EQ(target.GetPixel(0, 0), RGB(1, 2, 3));  // columns 0-3 of the pattern are clear
    EXPECT_EQ(target.GetPixel(5, 0), icon.Image().GetPixel(5, 0));
    copy.Assign(icon);  // a bitmap assigned from an icon gets its picture
    EXPECT_EQ(copy.GetPixel(5, 3), icon.Image().GetPixel(5, 3));

    // Written back, the icon reads the same.
    TMemoryStream s;
    icon.SaveToStream(s);
    s.SetPosition(0);
    TIcon again;
    again.LoadFromStream(s);
    for (int y = 0; y < reference.Height; ++y)
        for (int x = 0; x < reference.Width; ++x) ASSERT_EQ(again.Mask().GetPixel(x, y), icon.Mask().GetPixel(x, y));
}

TEST(Icon, BadFilesAreRefused)
{
    TempDir dir;
    WriteFileBytes(dir.file("type3.ico"), std::vector<uint8_t>{0, 0, 3, 0, 1, 0});
    // An entry pointing outside the file.
    WriteFileBytes(dir.file("dangling.ico"),
                   std::vector<uint8_t>{0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 0, 1, 0, 0, 0xFF, 0xFF, 0, 0});
    TIcon icon;
    for (const char* name : {"type3.ico", "dangling.ico"})
        EXPECT_EQ(Load(icon, dir.file(name)), "Cannot load image. Invalid or unexpected ICO image format.") << name;
}

// What loading the bytes gives: "" when they load, else the error.
template <class T>
std::string LoadBytes(T& graphic, const std::vector<uint8_t>& bytes)
{
    TMemoryStream s(bytes.data(), bytes.size());
    try {
        graphic.LoadFromStream(s);
    } catch (const EOutOfResources&) {
        return "out of resources";
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

// An icon of one 8-bit image stored with run-length data, then its mask.
std::vector<uint8_t> RunLengthIcon(int width, int height, const std::vector<uint8_t>& runs,
                                   const std::vector<uint8_t>& mask)
{
    TByteWriter w;
    w.LE16(0).LE16(1).LE16(1);
    w.U8(width & 0xFF).U8(height & 0xFF).LE16(0).LE16(1).LE16(8);
    w.LE32(static_cast<uint32_t>(40 + 8 + runs.size() + mask.size())).LE32(22);
    w.LE32(40).LE32(static_cast<uint32_t>(width)).LE32(static_cast<uint32_t>(2 * height)).LE16(1).LE16(8);
    w.LE32(1).LE32(0).LE32(0).LE32(0).LE32(2).LE32(0);
    w.LE32(0).LE32(0xFFFFFF);
    return w.Append(runs).Append(mask).Bytes;
}

TEST(Icon, RunLengthImagesKeepTheirMaskAndTheLimitCoversBoth)
{
    // The mask follows where the runs end: its first four pixels are clear.
    TIcon icon;
    ASSERT_EQ(LoadBytes(icon, RunLengthIcon(8, 1, {8, 1, 0, 0, 0, 1}, {0xF0, 0, 0, 0})), "");
    EXPECT_NE(icon.Mask().GetPixel(0, 0), clBlack);
    EXPECT_EQ(icon.Mask().GetPixel(4, 0), clBlack);
    EXPECT_EQ(icon.Image().GetPixel(4, 0), clWhite);
    // An image as large as a bitmap may be, whose mask does not fit besides.
    const TScopedValue limit(BitmapMemoryLimit, 256 * 256);
    TIcon large;
    EXPECT_EQ(LoadBytes(large, RunLengthIcon(256, 256, {0, 1}, {})), "out of resources");
    EXPECT_EQ(LoadBytes(large, RunLengthIcon(256, 224, {0, 1}, {})), "");
}

}  // namespace
