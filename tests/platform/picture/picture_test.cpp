#include <gtest/gtest.h>

#include "platform/gdi/canvas.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"

namespace {

constexpr int kWidth = 45;
constexpr int kHeight = 29;

struct TMine : public TBitmap {
    static constexpr const char* ClassName = "TMine";
};

TEST(Picture, TheToolkitsOwnKindsAreThereFromTheStart)
{
    EXPECT_EQ(TPicture::FindFileFormat("bmp"), GraphicClassOf<TBitmap>());
    EXPECT_EQ(TPicture::FindFileFormat("ICO"), GraphicClassOf<TIcon>());
    EXPECT_EQ(TPicture::FindFileFormat("jpg"), GraphicClassOf<TJPEGImage>());
    EXPECT_EQ(TPicture::FindFileFormat("emf"), GraphicClassOf<TMetafile>());
    EXPECT_EQ(TPicture::FindFileFormat(""), nullptr);
    EXPECT_EQ(TPicture::FindFileFormat("tga"), nullptr);
}

TEST(Picture, UnknownExtensionsAreNamedInTheError)
{
    TempDir dir;
    WriteFileBytes(dir.file("a.xyz"), std::vector<uint8_t>{1, 2, 3});
    TPicture p;
    try {
        p.LoadFromFile(dir.file("a.xyz"));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Unknown picture file extension (.xyz)");
    }
    EXPECT_THROW(p.LoadFromFile(dir.file("noextension")), EInvalidGraphic);
    EXPECT_EQ(p.Graphic(), nullptr);
}

TEST(Picture, RegistrationsAreClassWideAndTheLatestWins)
{
    const TGraphicClass mine = GraphicClassOf<TMine>();
    TPicture::RegisterFileFormat("Mine", "Mine pictures", mine);
    TPicture::RegisterFileFormat("bmp", "Mine as bitmaps", mine);
    EXPECT_EQ(TPicture::FindFileFormat("MINE"), mine);
    EXPECT_EQ(TPicture::FindFileFormat("bmp"), mine);
    TPicture::UnregisterGraphicClass(mine);
    EXPECT_EQ(TPicture::FindFileFormat("mine"), nullptr);
    EXPECT_EQ(TPicture::FindFileFormat("bmp"), GraphicClassOf<TBitmap>());
}

TEST(Picture, LoadsByExtensionAndKeepsTheOldPictureOnFailure)
{
    TempDir dir;
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(3, 2);
    b.SetPixel(1, 1, RGB(5, 6, 7));
    b.SaveToFile(dir.file("b.BMP"));
    TPicture p;
    p.LoadFromFile(dir.file("b.BMP"));
    ASSERT_NE(dynamic_cast<TBitmap*>(p.Graphic()), nullptr);
    EXPECT_EQ(p.Width(), 3);
    EXPECT_EQ(p.Bitmap().GetPixel(1, 1), RGB(5, 6, 7));
    WriteFileBytes(dir.file("broken.bmp"), std::vector<uint8_t>{'B', 'M', 0});
    EXPECT_ANY_THROW(p.LoadFromFile(dir.file("broken.bmp")));
    EXPECT_EQ(p.Width(), 3);
    EXPECT_THROW(p.LoadFromFile(dir.file("missing.bmp")), EInOutError);
    EXPECT_EQ(p.Width(), 3);
}

TEST(Picture, MetafilesAreRefusedClearly)
{
    TempDir dir;
    WriteFileBytes(dir.file("drawing.wmf"), std::vector<uint8_t>(40, 0));
    TPicture p;
    try {
        p.LoadFromFile(dir.file("drawing.wmf"));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_NE(std::string(e.what()).find("metafiles"), std::string::npos);
    }
}

class PictureFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ConvertProgram().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
        source_ = dir_.file("source.pam");
        WritePamRgba(source_, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    }
    std::string Make(const std::string& name, std::vector<std::string> options, const std::string& format = "")
    {
        std::string log;
        EXPECT_TRUE(ConvertPicture(source_, true, options, format + dir_.file(name), &log)) << log;
        return dir_.file(name);
    }
    TempDir dir_;
    std::string source_;
};

TEST_F(PictureFiles, JpegDecodesLikeImageMagick)
{
    for (const auto& [name, options] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"colour.jpg", {"-alpha", "off", "-quality", "90"}},
             {"gray.jpeg", {"-alpha", "off", "-colorspace", "Gray"}},
             {"progressive.jfif", {"-alpha", "off", "-interlace", "Plane"}},
             {"subsampled.jpe", {"-alpha", "off", "-sampling-factor", "2x2"}}}) {
        const std::string file = Make(name, options, "jpg:");
        TReferenceImage reference;
        std::string log;
        ASSERT_TRUE(ReadReference("jpg:" + file, reference, &log)) << log;
        TJPEGImage jpeg;
        jpeg.LoadFromFile(file);
        // Both sides use libjpeg; rounding of the colour conversion may differ by one.
        EXPECT_EQ(ComparePixels(jpeg.Bitmap(), reference, 2), "") << name;
    }
}

TEST_F(PictureFiles, BrokenJpegRaisesInsteadOfEndingTheProgram)
{
    const std::string file = Make("good.jpg", {"-alpha", "off"});
    auto bytes = ReadFileBytes(file);
    TJPEGImage jpeg;
    std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 2);
    WriteFileBytes(dir_.file("head.jpg"), head);
    EXPECT_THROW(jpeg.LoadFromFile(dir_.file("head.jpg")), EInvalidGraphic);
    WriteFileBytes(dir_.file("none.jpg"), std::vector<uint8_t>{});
    EXPECT_THROW(jpeg.LoadFromFile(dir_.file("none.jpg")), EInvalidGraphic);
    // A cut-off picture still loads (the rest is filled by libjpeg).
    bytes.resize(bytes.size() / 2);
    WriteFileBytes(dir_.file("half.jpg"), bytes);
    jpeg.LoadFromFile(dir_.file("half.jpg"));
    EXPECT_EQ(jpeg.Width(), kWidth);
}

TEST_F(PictureFiles, IconsKeepTheLargestImageAndItsMask)
{
    // Three sizes in one file; the largest one is taken.
    const std::string big = Make("big.png", {"-resize", "40x40!"});
    const std::string small = Make("small.png", {"-resize", "16x16!"});
    std::string log;
    ASSERT_TRUE(RunConvert({small, big, dir_.file("small.png"), dir_.file("set.ico")}, &log)) << log;
    TIcon icon;
    icon.LoadFromFile(dir_.file("set.ico"));
    EXPECT_EQ(icon.Width(), 40);
    EXPECT_EQ(icon.Height(), 40);

    // Pixels and transparency as ImageMagick reads them.
    const std::string one = Make("one.ico", {});
    TReferenceImage reference;
    ASSERT_TRUE(ReadReference(one, reference, &log)) << log;
    TIcon single;
    single.LoadFromFile(one);
    ASSERT_EQ(single.Width(), reference.Width);
    int opaque = 0;
    for (int y = 0; y < reference.Height; ++y)
        for (int x = 0; x < reference.Width; ++x) {
            const uint8_t* r = reference.Pixel(x, y);
            const bool transparent = single.Mask().GetPixel(x, y) != clBlack;
            EXPECT_EQ(transparent, r[3] < 128) << x << "," << y;
            if (!transparent) {
                ++opaque;
                const TColor c = single.Image().GetPixel(x, y);
                EXPECT_EQ(c, RGB(r[0], r[1], r[2])) << x << "," << y;
            }
        }
    EXPECT_GT(opaque, 0);

    // Drawing leaves the transparent pixels of the target alone.
    TBitmap target;
    target.SetPixelFormat(pf24bit);
    target.SetSize(kWidth, kHeight);
    target.Canvas().Brush.Color = RGB(1, 2, 3);
    target.Canvas().FillRect(target.Canvas().ClipRect());
    target.Canvas().Draw(0, 0, single);
    EXPECT_EQ(target.GetPixel(0, 0), RGB(1, 2, 3));  // columns 0-3 of the pattern are clear
    EXPECT_EQ(target.GetPixel(5, 0), single.Image().GetPixel(5, 0));

    // A bitmap assigned from an icon gets its picture.
    TBitmap copy;
    copy.Assign(single);
    EXPECT_EQ(copy.Width(), reference.Width);
    EXPECT_EQ(copy.GetPixel(5, 3), single.Image().GetPixel(5, 3));

    // Written back, the icon reads the same.
    TMemoryStream s;
    single.SaveToStream(s);
    s.SetPosition(0);
    TIcon again;
    again.LoadFromStream(s);
    for (int y = 0; y < reference.Height; ++y)
        for (int x = 0; x < reference.Width; ++x)
            ASSERT_EQ(again.Mask().GetPixel(x, y), single.Mask().GetPixel(x, y));
}

TEST(Icon, BadFilesAreRefused)
{
    TIcon icon;
    const std::vector<uint8_t> notAnIcon = {0, 0, 3, 0, 1, 0};
    TMemoryStream s(notAnIcon.data(), notAnIcon.size());
    try {
        icon.LoadFromStream(s);
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected ICO image format.");
    }
    // An entry pointing outside the file.
    std::vector<uint8_t> dangling = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 0, 1, 0, 0, 0xFF, 0xFF, 0, 0};
    TMemoryStream d(dangling.data(), dangling.size());
    EXPECT_THROW(icon.LoadFromStream(d), EInvalidGraphic);
}

}  // namespace
