#include <gtest/gtest.h>

#include <cstring>

#include "codecs/color_manager.h"
#include "codecs/targa.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "load_bytes.h"
#include "require_convert.h"

namespace {

constexpr int kWidth = 61;
constexpr int kHeight = 37;

struct TargaCase {
    const char* name;
    std::vector<std::string> options;
    bool alpha;
    int tolerance;
    int imageType;
    int depth;
    bool topDown;
};

void PrintTo(const TargaCase& c, std::ostream* os) { *os << c.name; }

class TargaFromImageMagick : public ::testing::TestWithParam<TargaCase> {};

TEST_P(TargaFromImageMagick, DecodesLikeImageMagick)
{
    REQUIRE_CONVERT();
    const TargaCase& c = GetParam();
    TempDir dir;
    const std::string source = dir.file("source.pam");
    WritePamRgba(source, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    const std::string file = dir.file(std::string(c.name) + ".tga");
    std::string log;
    ASSERT_TRUE(ConvertPicture(source, c.alpha, c.options, file, &log)) << log;

    // The file is what the case is about.
    const auto bytes = ReadFileBytes(file);
    ASSERT_GE(bytes.size(), 18u);
    EXPECT_EQ(bytes[2], c.imageType);
    EXPECT_EQ(bytes[16], c.depth);
    EXPECT_EQ((bytes[17] & 0x20) != 0, c.topDown);

    TReferenceImage reference;
    ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
    TTargaGraphic targa;
    targa.LoadFromFile(file);
    EXPECT_EQ(ComparePixels(targa, reference, c.tolerance, c.alpha), "");
}

const TargaCase kCases[] = {
    {"true_color", {"-type", "TrueColor", "-compress", "None"}, false, 0, 2, 24, false},
    {"true_color_rle", {"-type", "TrueColor", "-compress", "RLE"}, false, 0, 10, 24, false},
    {"true_color_top", {"-type", "TrueColor", "-compress", "None", "-orient", "TopLeft"}, false, 0, 2, 24, true},
    {"true_color_rle_top", {"-type", "TrueColor", "-compress", "RLE", "-orient", "TopLeft"}, false, 0, 10, 24, true},
    {"alpha", {"-type", "TrueColorAlpha", "-compress", "None"}, true, 0, 2, 32, false},
    {"alpha_rle", {"-type", "TrueColorAlpha", "-compress", "RLE"}, true, 0, 10, 32, false},
    {"alpha_top", {"-type", "TrueColorAlpha", "-compress", "None", "-orient", "TopLeft"}, true, 0, 2, 32, true},
    {"alpha_rle_top", {"-type", "TrueColorAlpha", "-compress", "RLE", "-orient", "TopLeft"}, true, 0, 10, 32, true},
    {"mapped", {"-type", "Palette", "-compress", "None"}, false, 0, 1, 8, false},
    {"mapped_rle", {"-type", "Palette", "-compress", "RLE"}, false, 0, 9, 8, false},
    {"mapped_top", {"-type", "Palette", "-compress", "None", "-orient", "TopLeft"}, false, 0, 1, 8, true},
    {"mapped_rle_top", {"-type", "Palette", "-compress", "RLE", "-orient", "TopLeft"}, false, 0, 9, 8, true},
    {"gray", {"-type", "Grayscale", "-compress", "None"}, false, 0, 3, 8, false},
    {"gray_rle", {"-type", "Grayscale", "-compress", "RLE"}, false, 0, 11, 8, false},
    {"gray_top", {"-type", "Grayscale", "-compress", "None", "-orient", "TopLeft"}, false, 0, 3, 8, true},
    {"gray_rle_top", {"-type", "Grayscale", "-compress", "RLE", "-orient", "TopLeft"}, false, 0, 11, 8, true},
    // Five bits per channel: ImageMagick rounds v * 255 / 31, the bitmap replicates bits.
    {"sixteen", {"-type", "TrueColor", "-depth", "5", "-compress", "None"}, false, 1, 2, 16, false},
    {"sixteen_rle", {"-type", "TrueColor", "-depth", "5", "-compress", "RLE"}, false, 1, 10, 16, false},
    {"sixteen_top", {"-type", "TrueColor", "-depth", "5", "-compress", "None", "-orient", "TopLeft"}, false, 1, 2, 16, true},
    {"sixteen_rle_top", {"-type", "TrueColor", "-depth", "5", "-compress", "RLE", "-orient", "TopLeft"}, false, 1, 10, 16, true},
};

INSTANTIATE_TEST_SUITE_P(Types, TargaFromImageMagick, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- hand-made files -------------------------------------------------------

std::vector<uint8_t> Header(int type, int width, int height, int depth, int descriptor = 0, int mapType = 0,
                            int mapLength = 0, int mapEntry = 0, int idLength = 0)
{
    std::vector<uint8_t> h(18, 0);
    h[0] = static_cast<uint8_t>(idLength);
    h[1] = static_cast<uint8_t>(mapType);
    h[2] = static_cast<uint8_t>(type);
    h[5] = static_cast<uint8_t>(mapLength);
    h[6] = static_cast<uint8_t>(mapLength >> 8);
    h[7] = static_cast<uint8_t>(mapEntry);
    h[12] = static_cast<uint8_t>(width);
    h[13] = static_cast<uint8_t>(width >> 8);
    h[14] = static_cast<uint8_t>(height);
    h[15] = static_cast<uint8_t>(height >> 8);
    h[16] = static_cast<uint8_t>(depth);
    h[17] = static_cast<uint8_t>(descriptor);
    return h;
}

void Append(std::vector<uint8_t>& v, std::initializer_list<int> bytes)
{
    for (int b : bytes) v.push_back(static_cast<uint8_t>(b));
}

TEST(Targa, StoredRowsGoBottomUpUnlessTheDescriptorSaysTop)
{
    for (int descriptor : {0, 0x20}) {
        auto f = Header(2, 2, 2, 24, descriptor);
        Append(f, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});  // first stored row, then second
        TTargaGraphic t;
        Load(t, f);
        ASSERT_EQ(t.PixelFormat(), pf24bit);
        const int first = descriptor ? 0 : 1;
        EXPECT_EQ(t.GetPixel(0, first), RGB(3, 2, 1));
        EXPECT_EQ(t.GetPixel(1, 1 - first), RGB(12, 11, 10));
    }
}

TEST(Targa, RunLengthPacketsMayCrossRowEnds)
{
    // One run of six pixels fills two rows of three; then a literal packet
    // of four pixels runs over the end of the third row into the fourth.
    auto f = Header(10, 3, 4, 24, 0x20);
    Append(f, {0x85, 10, 20, 30});
    Append(f, {0x03, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});
    Append(f, {0x81, 9, 9, 9});
    TTargaGraphic t;
    Load(t, f);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(t.GetPixel(x, y), RGB(30, 20, 10));
    EXPECT_EQ(t.GetPixel(0, 2), RGB(1, 1, 1));
    EXPECT_EQ(t.GetPixel(2, 2), RGB(3, 3, 3));
    EXPECT_EQ(t.GetPixel(0, 3), RGB(4, 4, 4));
    EXPECT_EQ(t.GetPixel(1, 3), RGB(9, 9, 9));
    EXPECT_EQ(t.GetPixel(2, 3), RGB(9, 9, 9));

    if (ConvertProgram().empty()) return;
    TempDir dir;
    WriteFileBytes(dir.file("cross.tga"), f);
    TReferenceImage reference;
    std::string log;
    ASSERT_TRUE(ReadReference(dir.file("cross.tga"), reference, &log)) << log;
    EXPECT_EQ(ComparePixels(t, reference), "");
}

TEST(Targa, ColourMapsOfEverySize)
{
    // 16-bit map entries: 5 bits per channel, blue lowest.
    auto f = Header(1, 2, 1, 8, 0x20, 1, 2, 16);
    Append(f, {0x1F, 0x00, 0x00, 0x7C});  // entry 0 blue, entry 1 red
    Append(f, {1, 0});
    TTargaGraphic t;
    Load(t, f);
    ASSERT_EQ(t.PixelFormat(), pf8bit);
    EXPECT_EQ(t.Palette()->entries.size(), 2u);
    EXPECT_EQ(t.GetPixel(0, 0), RGB(248, 0, 0));
    EXPECT_EQ(t.GetPixel(1, 0), RGB(0, 0, 248));

    // 32-bit entries are blue, green, red, alpha.
    f = Header(1, 1, 1, 8, 0x20, 1, 1, 32);
    Append(f, {7, 8, 9, 255, 0});
    Load(t, f);
    EXPECT_EQ(t.GetPixel(0, 0), RGB(9, 8, 7));

    // A map of 300 entries: the palette keeps the first 256, the pixels
    // still start after the whole map.
    f = Header(1, 1, 1, 8, 0x20, 1, 300, 24);
    for (int i = 0; i < 300; ++i) Append(f, {i & 0xFF, 0, 1});
    Append(f, {255});
    Load(t, f);
    EXPECT_EQ(t.Palette()->entries.size(), 256u);
    EXPECT_EQ(t.GetPixel(0, 0), RGB(1, 0, 255));
}

TEST(Targa, SixteenBitPixelsAfterASixteenBitMap)
{
    auto f = Header(2, 1, 1, 16, 0x20, 1, 3, 16);
    Append(f, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    Append(f, {0x00, 0x7C});  // pure red, 5-5-5
    TTargaGraphic t;
    Load(t, f);
    ASSERT_EQ(t.PixelFormat(), pf15bit);
    EXPECT_EQ(t.GetPixel(0, 0), RGB(255, 0, 0));
}

TEST(Targa, GrayImagesUseTheRampEvenWithAMap)
{
    auto f = Header(3, 2, 1, 8, 0x20, 1, 2, 24);
    Append(f, {1, 2, 3, 4, 5, 6});
    Append(f, {0, 200});
    TTargaGraphic t;
    Load(t, f);
    ASSERT_EQ(t.Palette()->entries.size(), 256u);
    EXPECT_EQ(t.GetPixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(t.GetPixel(1, 0), RGB(200, 200, 200));
    EXPECT_EQ(t.ImageProperties.ColorScheme, csG);
}

TEST(Targa, ImageIdIsSkippedAndTypeZeroReadsNoPixels)
{
    auto f = Header(2, 1, 1, 24, 0x20, 0, 0, 0, 3);
    Append(f, {'a', 'b', 'c', 40, 50, 60});
    TTargaGraphic t;
    Load(t, f);
    EXPECT_EQ(t.GetPixel(0, 0), RGB(60, 50, 40));

    f = Header(0, 5, 4, 24);
    Load(t, f);
    EXPECT_EQ(t.Width(), 5);
    EXPECT_EQ(t.Height(), 4);
}

TEST(Targa, PropertiesFollowTheDepth)
{
    struct {
        int type, depth;
        TColorScheme scheme;
        int bits, samples;
    } rows[] = {{3, 8, csG, 8, 1}, {11, 8, csG, 8, 1}, {1, 8, csIndexed, 8, 1}, {2, 15, csRGB, 5, 3},
                {2, 16, csRGB, 5, 3}, {10, 24, csRGB, 8, 3}, {2, 32, csRGBA, 8, 4}, {2, 12, csUnknown, 8, 0}};
    for (const auto& r : rows) {
        const auto f = Header(r.type, 3, 2, r.depth);
        TMemoryStream s(f.data(), f.size());
        TTargaGraphic t;
        EXPECT_TRUE(t.ReadImageProperties(s, 0));
        EXPECT_EQ(t.ImageProperties.ColorScheme, r.scheme) << r.depth;
        EXPECT_EQ(t.ImageProperties.BitsPerSample, r.bits);
        EXPECT_EQ(t.ImageProperties.SamplesPerPixel, r.samples);
        EXPECT_EQ(t.ImageProperties.BitsPerPixel, r.bits * r.samples);
        EXPECT_EQ(t.ImageProperties.Compression, r.type >= 9 ? ctRLE : ctNone);
        EXPECT_EQ(t.ImageProperties.Width, 3u);
    }
}

TEST(Targa, CanLoadTestsTheHeaderAndLeavesThePosition)
{
    TTargaGraphic t;
    auto good = Header(2, 1, 1, 24, 0, 0, 0, 24);
    Append(good, {1, 2, 3});
    TMemoryStream s(good.data(), good.size());
    s.SetPosition(0);
    EXPECT_TRUE(t.CanLoad(s));
    EXPECT_EQ(s.Position(), 0);
    auto noEntrySize = Header(2, 1, 1, 24);
    Append(noEntrySize, {1, 2, 3});
    TMemoryStream s2(noEntrySize.data(), noEntrySize.size());
    EXPECT_FALSE(t.CanLoad(s2));
    EXPECT_EQ(s2.Position(), 0);
    TMemoryStream shortOne(good.data(), 18);
    EXPECT_FALSE(t.CanLoad(shortOne));
}

TEST(Targa, BadFilesAreRefusedWithoutReadingPastTheData)
{
    TTargaGraphic t;
    // An unsupported depth: the colour manager's sample count message.
    try {
        Load(t, Header(2, 1, 1, 12));
        FAIL();
    } catch (const EColorConversionError& e) {
        EXPECT_STREQ(e.what(), "Sample count per pixel does not correspond to the given color scheme.");
    }
    // Plain rows that are not all there: the stream's read error, before the
    // header's size is allocated.
    auto f = Header(2, 65535, 65535, 32);
    Append(f, {1, 2, 3, 4});
    EXPECT_THROW(Load(t, f), EReadError);
    // A short colour map.
    f = Header(1, 1, 1, 8, 0, 1, 200, 24);
    EXPECT_THROW(Load(t, f), EReadError);
    // A short compressed image keeps what could be decoded.
    f = Header(10, 4, 2, 24, 0x20);
    Append(f, {0x81, 1, 2, 3, 0x01, 4, 5});
    Load(t, f);
    EXPECT_EQ(t.GetPixel(1, 0), RGB(3, 2, 1));
    // A compressed picture larger than a bitmap may be.
    f = Header(10, 65535, 65535, 32);
    Append(f, {0xFF, 1, 2, 3, 4});
    EXPECT_THROW(Load(t, f), EOutOfResources);
}

// ---- the writer ------------------------------------------------------------

TEST(Targa, SavedPicturesLoadBackTheSame)
{
    for (TPixelFormat format : {pf8bit, pf15bit, pf24bit, pf32bit}) {
        for (bool compressed : {false, true}) {
            TTargaGraphic original;
            original.SetPixelFormat(format);
            original.SetSize(kWidth, kHeight);
            const auto rgb = TestPatternRgb(kWidth, kHeight);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
                    original.SetPixel(x, y, RGB(p[0], p[1], p[2]));
                }
            TMemoryStream s;
            original.SaveToStream(s, compressed);
            s.SetPosition(0);
            TTargaGraphic copy;
            copy.LoadFromStream(s);
            ASSERT_EQ(copy.Width(), kWidth);
            ASSERT_EQ(copy.Height(), kHeight);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    ASSERT_EQ(copy.GetPixel(x, y), original.GetPixel(x, y)) << format << " " << compressed;
        }
    }
}

TEST(Targa, ImageMagickReadsWhatTheWriterWrites)
{
    REQUIRE_CONVERT();
    TempDir dir;
    int n = 0;
    for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        for (bool compressed : {false, true}) {
            TTargaGraphic picture;
            picture.SetPixelFormat(format);
            picture.SetSize(kWidth, kHeight);
            const auto rgb = TestPatternRgb(kWidth, kHeight);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
                    picture.SetPixel(x, y, RGB(p[0], p[1], p[2]));
                }
            const std::string file = dir.file("written" + std::to_string(n++) + ".tga");
            TFileStream out(file, fmCreate);
            picture.SaveToStream(out, compressed);
            TReferenceImage reference;
            std::string log;
            ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
            const int tolerance = format == pf16bit ? 6 : (format == pf15bit ? 1 : 0);
            EXPECT_EQ(ComparePixels(picture, reference, tolerance), "") << "format " << format << " " << compressed;
        }
    }
}

TEST(Targa, EmptyBitmapWritesNothing)
{
    TTargaGraphic t;
    t.SetPixelFormat(pf24bit);
    TMemoryStream s;
    t.SaveToStream(s);
    EXPECT_EQ(s.Size(), 0);
}

}  // namespace
