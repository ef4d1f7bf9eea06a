// PNG pictures written by ImageMagick and netpbm, compared pixel by pixel
// with ImageMagick's decoding; and chunk-level cases written by hand.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "codecs/png.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "support/tools.h"
#include "support/zlib_stream.h"
#include "load_bytes.h"
#include "require_convert.h"

namespace {

constexpr int kWidth = 45;
constexpr int kHeight = 38;

struct PngCase {
    const char* name;
    bool alpha;
    std::vector<std::string> options;
    const char* prefix;  // output format prefix of convert ("PNG8:" ...)
    int depth, colorType;
    bool interlaced;
    int tolerance;
};

void PrintTo(const PngCase& c, std::ostream* os) { *os << c.name; }

class PngFromImageMagick : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngFromImageMagick, DecodesLikeImageMagick)
{
    REQUIRE_CONVERT();
    const PngCase& c = GetParam();
    TempDir dir;
    const std::string source = dir.file("source.pam"), file = dir.file(std::string(c.name) + ".png");
    WritePamRgba(source, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    std::vector<std::string> options = c.options;
    if (c.interlaced) options.insert(options.end(), {"-interlace", "PNG"});
    std::string log;
    ASSERT_TRUE(ConvertPicture(source, c.alpha, options, std::string(c.prefix) + file, &log)) << log;
    const auto bytes = ReadFileBytes(file);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes[24], c.depth);
    EXPECT_EQ(bytes[25], c.colorType);
    EXPECT_EQ(bytes[28] != 0, c.interlaced);

    TReferenceImage reference;
    ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
    TPNGGraphic png;
    png.LoadFromFile(file);
    EXPECT_EQ(ComparePixels(png, reference, c.tolerance, c.alpha && png.PixelFormat() == pf32bit), "");
}

std::vector<std::string> Type(int colorType, int depth, std::vector<std::string> more = {})
{
    std::vector<std::string> a = {"-define", "png:color-type=" + std::to_string(colorType), "-define",
                                  "png:bit-depth=" + std::to_string(depth)};
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

// ImageMagick writes a gAMA of 1/2.2, which the reader applies with the
// display gamma 2.2: nearly linear, so a difference of one level may show.
const PngCase kCases[] = {
    {"rgb8", false, {"-depth", "8"}, "PNG24:", 8, 2, false, 1},
    {"rgb8_interlaced", false, {"-depth", "8"}, "PNG24:", 8, 2, true, 1},
    {"rgb16", false, {"-depth", "16"}, "PNG48:", 16, 2, false, 1},
    {"rgb16_interlaced", false, {"-depth", "16"}, "PNG48:", 16, 2, true, 1},
    {"rgba8", true, {"-depth", "8"}, "PNG32:", 8, 6, false, 1},
    {"rgba8_interlaced", true, {"-depth", "8"}, "PNG32:", 8, 6, true, 1},
    {"rgba16", true, {"-depth", "16"}, "PNG64:", 16, 6, false, 1},
    {"gray1", false, Type(0, 1, {"-type", "Bilevel"}), "", 1, 0, false, 1},
    {"gray1_interlaced", false, Type(0, 1, {"-type", "Bilevel"}), "", 1, 0, true, 1},
    {"gray2", false, Type(0, 2, {"-type", "Grayscale", "-depth", "2"}), "", 2, 0, false, 1},
    {"gray4", false, Type(0, 4, {"-type", "Grayscale", "-depth", "4"}), "", 4, 0, false, 1},
    {"gray4_interlaced", false, Type(0, 4, {"-type", "Grayscale", "-depth", "4"}), "", 4, 0, true, 1},
    {"gray8", false, Type(0, 8, {"-type", "Grayscale"}), "", 8, 0, false, 1},
    {"gray16", false, Type(0, 16, {"-type", "Grayscale", "-depth", "16"}), "", 16, 0, false, 1},
    {"gray_alpha8", true, Type(4, 8, {"-type", "GrayscaleAlpha"}), "", 8, 4, false, 1},
    {"gray_alpha16_interlaced", true, Type(4, 16, {"-type", "GrayscaleAlpha", "-depth", "16"}), "", 16, 4, true, 1},
    {"palette8", false, {"-colors", "200"}, "PNG8:", 8, 3, false, 1},
    {"palette8_interlaced", false, {"-colors", "200"}, "PNG8:", 8, 3, true, 1},
    {"palette4", false, Type(3, 4, {"-colors", "12"}), "", 4, 3, false, 1},
    {"filter_none", false, {"-depth", "8", "-define", "png:compression-filter=0"}, "PNG24:", 8, 2, false, 1},
    {"filter_sub", false, {"-depth", "8", "-define", "png:compression-filter=1"}, "PNG24:", 8, 2, false, 1},
    {"filter_up", false, {"-depth", "8", "-define", "png:compression-filter=2"}, "PNG24:", 8, 2, false, 1},
    {"filter_average", false, {"-depth", "8", "-define", "png:compression-filter=3"}, "PNG24:", 8, 2, false, 1},
    {"filter_paeth", false, {"-depth", "8", "-define", "png:compression-filter=4"}, "PNG32:", 8, 6, false, 1},
    {"filter_adaptive16", false, {"-depth", "16", "-define", "png:compression-filter=5"}, "PNG48:", 16, 2, true, 1},
    {"stored", false, {"-depth", "8", "-define", "png:compression-level=0"}, "PNG24:", 8, 2, false, 1},
};

INSTANTIATE_TEST_SUITE_P(Variants, PngFromImageMagick, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PngTransparentColour, StaysOnItsPixelsUnderAFileGamma)
{
    REQUIRE_CONVERT();
    TempDir dir;
    const std::string source = dir.file("source.pam");
    WritePamRgba(source, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    // Gray and RGB with a tRNS colour and a file gamma of 1.0, which the
    // display gamma does not undo: exactly the pixels that ImageMagick sees
    // as clear show the transparent colour.
    for (auto [colorType, depth, interlaced] : {std::tuple{2, 8, false}, {2, 16, true}, {0, 8, false}, {0, 16, true}}) {
        std::vector<std::string> options = {"-channel", "A", "-threshold", "50%", "+channel", "-background",
                                            "rgb(60,100,140)", "-alpha", "background"};
        if (colorType == 0) options.insert(options.end(), {"-type", "GrayscaleAlpha"});
        if (interlaced) options.insert(options.end(), {"-interlace", "PNG"});
        options = Type(colorType, depth, options);
        options.insert(options.end(), {"-set", "gamma", "1.0"});
        const std::string file = dir.file("keyed" + std::to_string(colorType) + "_" + std::to_string(depth) + ".png");
        std::string log;
        ASSERT_TRUE(ConvertPicture(source, true, options, file, &log)) << log;
        TReferenceImage reference;
        ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
        TPNGGraphic png;
        png.LoadFromFile(file);
        ASSERT_NEAR(png.ImageProperties.FileGamma, 1.0, 1e-4) << file;
        ASSERT_TRUE(png.Transparent()) << file;
        ASSERT_EQ(png.ImageProperties.BitsPerSample, depth);
        ASSERT_EQ(png.ImageProperties.Interlaced, interlaced);
        int clear = 0, wrong = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool expected = reference.Pixel(x, y)[3] == 0;
                clear += expected;
                wrong += (png.GetPixel(x, y) == png.TransparentColor()) != expected;
            }
        }
        EXPECT_GT(clear, 0) << file;
        EXPECT_EQ(wrong, 0) << file;
    }
}

TEST(PngFromNetpbm, PixmapsGraymapsAndAlphaMasks)
{
    REQUIRE_CONVERT();
    if (ToolProgram("pnmtopng").empty()) GTEST_SKIP() << "netpbm's pnmtopng is not installed";
    TempDir dir;
    const std::string ppm = dir.file("source.ppm"), pgm = dir.file("gray.pgm"), mask = dir.file("mask.pgm");
    // Two colours: netpbm writes a 1-bit palette.
    const std::string twoColours = dir.file("two.ppm");
    std::vector<uint8_t> two(size_t(kWidth) * kHeight * 3);
    for (size_t i = 0; i < two.size(); i += 3) {
        const bool on = ((i / 3) % 7) < 3;
        two[i] = on ? 200 : 10;
        two[i + 1] = on ? 30 : 120;
        two[i + 2] = 90;
    }
    WritePpm(twoColours, kWidth, kHeight, two);
    // Four colours: a 2-bit palette.
    const std::string fourColours = dir.file("four.ppm");
    for (size_t i = 0; i < two.size(); i += 3) two[i + 2] = static_cast<uint8_t>(((i / 3) % 5) < 2 ? 90 : 250);
    WritePpm(fourColours, kWidth, kHeight, two);
    const std::vector<uint8_t> rgb = TestPatternRgb(kWidth, kHeight);
    WritePpm(ppm, kWidth, kHeight, rgb);
    std::string log;
    ASSERT_TRUE(RunConvert({ppm, "-colorspace", "Gray", "-depth", "8", "pgm:" + pgm}, &log)) << log;
    ASSERT_TRUE(RunConvert({ppm, "-channel", "R", "-separate", "-depth", "8", "pgm:" + mask}, &log)) << log;
    const std::vector<std::pair<std::string, std::vector<std::string>>> runs = {
        {ppm, {}},
        {ppm, {"-interlace"}},
        {ppm, {"-compression", "0"}},
        {ppm, {"-alpha", mask}},
        {pgm, {}},
        {pgm, {"-interlace", "-compression", "9"}},
        {twoColours, {}},
        {twoColours, {"-interlace"}},
        {fourColours, {}},
        {fourColours, {"-interlace"}},
    };
    int n = 0;
    for (const auto& [input, options] : runs) {
        const std::string out = dir.file("netpbm" + std::to_string(n++) + ".png");
        ASSERT_TRUE(RunToolPiped("pnmtopng", options, input, out, &log)) << log;
        TReferenceImage reference;
        ASSERT_TRUE(ReadReference(out, reference, &log)) << log;
        TPNGGraphic png;
        png.LoadFromFile(out);
        EXPECT_EQ(ComparePixels(png, reference, 0, png.PixelFormat() == pf32bit), "") << out;
        if (input == twoColours) {
            EXPECT_EQ(png.ImageProperties.BitsPerSample, 1);
        } else if (input == fourColours) {
            EXPECT_EQ(png.ImageProperties.BitsPerSample, 2);
        }
    }
}

// ---- files written chunk by chunk ----------------------------------------------

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct PngWriter {
    std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

    void Chunk(const char* type, const std::vector<uint8_t>& data, bool goodCrc = true)
    {
        Put32(bytes, static_cast<uint32_t>(data.size()));
        const size_t start = bytes.size();
        bytes.insert(bytes.end(), type, type + 4);
        bytes.insert(bytes.end(), data.begin(), data.end());
        uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data() + start, static_cast<uInt>(bytes.size() - start)));
        if (!goodCrc) crc ^= 1;
        Put32(bytes, crc);
    }
    void Header(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace = 0, uint8_t method = 0)
    {
        std::vector<uint8_t> d;
        Put32(d, w);
        Put32(d, h);
        d.insert(d.end(), {depth, colorType, method, 0, interlace});
        Chunk("IHDR", d);
    }
    void End() { Chunk("IEND", {}); }
};

// Filtered rows of an 8-bit RGB picture whose pixel (x, y) is (x*20, y*30, x+y), each row filter `filter`.
std::vector<uint8_t> RgbRows(int w, int h, uint8_t filter)
{
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(filter);
        for (int x = 0; x < w; ++x) raw.insert(raw.end(), {uint8_t(x * 20), uint8_t(y * 30), uint8_t(x + y)});
    }
    return raw;
}

void ExpectRgbPicture(const TPNGGraphic& png, int w, int h)
{
    ASSERT_EQ(png.Width(), w);
    ASSERT_EQ(png.Height(), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(png.GetPixel(x, y), RGB(uint8_t(x * 20), uint8_t(y * 30), uint8_t(x + y))) << x << "," << y;
}

TEST(PngChunks, LowerCaseChunkTypesAreTheSameChunks)
{
    PngWriter w;
    w.Header(4, 3, 8, 2);
    w.Chunk("idat", ZlibCompress(RgbRows(4, 3, 0), 6));
    w.Chunk("iend", {});
    TPNGGraphic png;
    Load(png, w.bytes);
    ExpectRgbPicture(png, 4, 3);
}

TEST(PngChunks, ImageDataSplitOverChunksAndAPrivateChunkEndingIt)
{
    const std::vector<uint8_t> z = ZlibCompress(RgbRows(6, 5, 0), 6);
    PngWriter w;
    w.Header(6, 5, 8, 2);
    w.Chunk("PLTE", {1, 2, 3, 4, 5, 6});  // a palette in an RGB picture is read and ignored
    const size_t half = z.size() / 2;
    w.Chunk("IDAT", {z.begin(), z.begin() + static_cast<long>(half)});
    w.Chunk("IDAT", {});
    w.Chunk("IDAT", {z.begin() + static_cast<long>(half), z.end()});
    w.Chunk("prIv", {9, 9}, false);  // skipped unread: its CRC goes unnoticed
    w.Chunk("IEND", {}, false);
    TPNGGraphic png;
    Load(png, w.bytes);
    ExpectRgbPicture(png, 6, 5);

    // A private chunk between two halves ends the image data: the rest shows the background.
    PngWriter cut;
    cut.Header(6, 5, 8, 2);
    cut.Chunk("IDAT", {z.begin(), z.begin() + 6});
    cut.Chunk("prIv", {});
    cut.Chunk("IDAT", {z.begin() + 6, z.end()});
    cut.End();
    TPNGGraphic partial;
    Load(partial, cut.bytes);
    EXPECT_EQ(partial.GetPixel(5, 4), clWhite);
}

TEST(PngChunks, EveryFilterTypeAndSixteenBitDistance)
{
    for (uint8_t filter = 0; filter <= 4; ++filter) {
        PngWriter w;
        w.Header(5, 4, 8, 2);
        // Filtered by hand: the encoder's inverse of each filter over 3-byte pixels.
        std::vector<uint8_t> raw = RgbRows(5, 4, filter);
        const size_t row = 1 + 15;
        std::vector<uint8_t> plain = raw;
        for (int y = 0; y < 4; ++y) {
            for (size_t i = 0; i < 15; ++i) {
                const int a = i >= 3 ? plain[y * row + 1 + i - 3] : 0;
                const int b = y > 0 ? plain[(y - 1) * row + 1 + i] : 0;
                const int c = (i >= 3 && y > 0) ? plain[(y - 1) * row + 1 + i - 3] : 0;
                int predictor = 0;
                if (filter == 1) predictor = a;
                if (filter == 2) predictor = b;
                if (filter == 3) predictor = (a + b) / 2;
                if (filter == 4) {
                    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                }
                raw[y * row + 1 + i] = static_cast<uint8_t>(plain[y * row + 1 + i] - predictor);
            }
        }
        w.Chunk("IDAT", ZlibCompress(raw, 6));
        w.End();
        TPNGGraphic png;
        Load(png, w.bytes);
        ExpectRgbPicture(png, 5, 4);
    }
    // 16-bit RGB: 6 bytes per pixel for the filters, 6 x width + 1 per row.
    std::vector<uint8_t> raw;
    for (int y = 0; y < 2; ++y) {
        raw.push_back(1);  // Sub
        for (int x = 0; x < 3; ++x) {
            for (int k = 0; k < 3; ++k) {
                const int v = x == 0 ? 0x1000 * (k + 1) : 0x0100;  // differences from the left pixel
                raw.push_back(static_cast<uint8_t>(v >> 8));
                raw.push_back(static_cast<uint8_t>(v));
            }
        }
    }
    PngWriter w;
    w.Header(3, 2, 16, 2);
    w.Chunk("IDAT", ZlibCompress(raw, 6));
    w.End();
    TPNGGraphic png;
    Load(png, w.bytes);
    EXPECT_EQ(png.ImageProperties.BitsPerSample, 16);
    // Pixel 2: red 0x1000 + 2 x 0x100 = 0x1200, shown as 0x12 (scaled).
    EXPECT_EQ(GetRValue(png.GetPixel(2, 1)), 0x1200 * 255 / 65535);
    EXPECT_EQ(GetBValue(png.GetPixel(2, 1)), 0x3200 * 255 / 65535);
}

TEST(PngChunks, InterlacedPassStartingWithUpSeesZerosAbove)
{
    // 2 x 2 gray, Adam7: pass 1 holds (0,0), pass 6 holds (1,0), pass 7 holds row 1.
    std::vector<uint8_t> raw = {0, 10, /*pass 6*/ 2, 20, /*pass 7*/ 2, 30, 40};
    PngWriter w;
    w.Header(2, 2, 8, 0, 1);
    w.Chunk("IDAT", ZlibCompress(raw, 6));
    w.End();
    TPNGGraphic png;
    Load(png, w.bytes);
    EXPECT_TRUE(png.ImageProperties.Interlaced);
    EXPECT_EQ(png.GetPixel(0, 0), RGB(10, 10, 10));
    EXPECT_EQ(png.GetPixel(1, 0), RGB(20, 20, 20));
    EXPECT_EQ(png.GetPixel(0, 1), RGB(30, 30, 30));
    EXPECT_EQ(png.GetPixel(1, 1), RGB(40, 40, 40));
}

TEST(PngChunks, GammaTransparencyAndBackground)
{
    PngWriter w;
    w.Header(2, 2, 8, 2);
    w.Chunk("gAMA", {0x00, 0x00, 0xB1, 0x8F});  // 45455: 1/2.2
    w.Chunk("bKGD", {0, 10, 0, 20, 0, 30});
    w.Chunk("tRNS", {0, 1, 0, 2, 0, 3});
    w.Chunk("IDAT", ZlibCompress({0, 1, 2, 3, 200, 100, 50}, 6));  // only one row of two
    w.End();
    TPNGGraphic png;
    Load(png, w.bytes);
    EXPECT_NEAR(png.ImageProperties.FileGamma, 1 / 2.2, 1e-4);
    EXPECT_TRUE(png.ImageProperties.Options & ioUseGamma);
    // 1/2.2 with the display's 2.2 is nearly linear.
    for (int i = 0; i < 256; i += 17) EXPECT_NEAR(png.ColorManager.GammaTable()[i], i, 1);
    EXPECT_TRUE(png.Transparent());
    EXPECT_EQ(png.TransparentColor(), RGB(1, 2, 3));
    EXPECT_EQ(png.GetPixel(1, 0), RGB(200, 100, 50));
    // The missing row shows the background.
    EXPECT_EQ(png.GetPixel(0, 1), RGB(10, 20, 30));
    EXPECT_EQ(png.GetPixel(1, 1), RGB(10, 20, 30));
}

TEST(PngChunks, GrayTransparencyIsTheShownLevel)
{
    // A 1-bit gray picture whose white is transparent: the colour is the white shown.
    PngWriter w;
    w.Header(8, 1, 1, 0);
    w.Chunk("tRNS", {0, 1});
    w.Chunk("IDAT", ZlibCompress({0, 0xF0}, 6));
    w.End();
    TPNGGraphic png;
    Load(png, w.bytes);
    EXPECT_EQ(png.TransparentColor(), clWhite);
    EXPECT_EQ(png.GetPixel(0, 0), clWhite);
    EXPECT_EQ(png.GetPixel(7, 0), clBlack);
}

TEST(PngChunks, PaletteBackgroundIsItsEntry)
{
    PngWriter w;
    w.Header(2, 2, 8, 3);
    w.Chunk("PLTE", {255, 0, 0, 0, 0, 255});
    w.Chunk("bKGD", {1});
    w.Chunk("tRNS", {0, 255});  // read, not used
    w.Chunk("IDAT", ZlibCompress({0, 0, 1}, 6));
    w.End();
    TPNGGraphic png;
    Load(png, w.bytes);
    EXPECT_EQ(png.GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(png.GetPixel(1, 0), RGB(0, 0, 255));
    EXPECT_EQ(png.GetPixel(0, 1), RGB(0, 0, 255));
    EXPECT_FALSE(png.Transparent());
}

TEST(PngChunks, Refusals)
{
    const std::vector<uint8_t> z = ZlibCompress(RgbRows(2, 2, 0), 6);
    auto file = [&](auto&& middle) {
        PngWriter w;
        middle(w);
        w.End();
        return w.bytes;
    };
    const std::string crc = "Cannot load image. CRC error found in PNG file.";
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                  w.Header(2, 2, 8, 2);
                  w.Chunk("IDAT", z, false);
              })),
              crc);
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                  w.Header(2, 2, 8, 2);
                  w.Chunk("gAMA", {0, 0, 0, 1}, false);
                  w.Chunk("IDAT", z);
              })),
              crc);
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                  w.Header(2, 2, 8, 2);
                  w.Chunk("IDAT", {0x78, 0x9C, 0xFF, 0xFF, 0xFF});
              })),
              "Cannot load image. Compression error found in PNG file.");
    std::vector<uint8_t> extra = ZlibCompress(RgbRows(2, 1, 0), 6);  // one row where two are due, and bytes after the stream
    extra.insert(extra.end(), {1, 2, 3});
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                  w.Header(2, 2, 8, 2);
                  w.Chunk("IDAT", extra);
              })),
              "Cannot load image. Extra compressed data found in PNG file.");
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                  w.Header(2, 2, 8, 3);
                  w.Chunk("PLTE", {1, 2, 3, 4});
                  w.Chunk("IDAT", z);
              })),
              "Cannot load image. Palette in PNG file is invalid.");
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                  w.Header(2, 2, 8, 2);
                  w.Chunk("CRIT", {});
                  w.Chunk("IDAT", z);
              })),
              "Cannot load PNG image. Unexpected but critical chunk detected.");
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                  w.Header(2, 2, 8, 2, 0, 1);
                  w.Chunk("IDAT", z);
              })),
              "Cannot load image. The compression scheme is not supported for PNG files.");
    for (auto [depth, type] : {std::pair<int, int>{8, 5}, {3, 0}, {4, 2}, {16, 3}, {2, 4}}) {
        EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                      w.Header(2, 2, static_cast<uint8_t>(depth), static_cast<uint8_t>(type));
                      w.Chunk("IDAT", z);
                  })),
                  "Invalid color format in PNG file.")
            << depth << " " << type;
    }
    const std::string invalid = "Cannot load image. Invalid or unexpected PNG image format.";
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) { w.Header(0, 2, 8, 2); })), invalid);
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) { w.Chunk("IDAT", z); })), invalid);
    EXPECT_EQ(LoadError<TPNGGraphic>({'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}), invalid);
    // A chunk that claims more than the file holds.
    std::vector<uint8_t> longChunk = file([&](PngWriter& w) { w.Header(2, 2, 8, 2); });
    longChunk.resize(33);
    Put32(longChunk, 0x7FFFFFF0);
    longChunk.insert(longChunk.end(), {'I', 'D', 'A', 'T', 1, 2, 3});
    EXPECT_EQ(LoadError<TPNGGraphic>(longChunk), "Stream read error");
    // Files cut at a chunk boundary: after half the image data, and before any.
    PngWriter half;
    half.Header(2, 2, 8, 2);
    EXPECT_EQ(LoadError<TPNGGraphic>(half.bytes), "Stream read error");
    half.Chunk("IDAT", {z.begin(), z.begin() + static_cast<long>(z.size() / 2)});
    EXPECT_EQ(LoadError<TPNGGraphic>(half.bytes), "Stream read error");
    // A picture larger than any bitmap.
    EXPECT_EQ(LoadError<TPNGGraphic>(file([&](PngWriter& w) {
                  w.Header(0x7FFFFFFF, 0x7FFFFFFF, 8, 6);
                  w.Chunk("IDAT", z);
              })),
              EOutOfResources().what());
}

TEST(PngChunks, CanLoadLeavesThePosition)
{
    PngWriter w;
    w.Header(1, 1, 8, 0);
    w.End();
    std::vector<uint8_t> bytes = {1, 2, 3};
    bytes.insert(bytes.end(), w.bytes.begin(), w.bytes.end());
    TMemoryStream stream(bytes.data(), bytes.size());
    TPNGGraphic png;
    EXPECT_FALSE(png.CanLoad(stream));
    EXPECT_EQ(stream.Position(), 0);
    stream.SetPosition(3);
    EXPECT_TRUE(png.CanLoad(stream));
    EXPECT_EQ(stream.Position(), 3);
}

}  // namespace
