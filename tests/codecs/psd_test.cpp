#include <gtest/gtest.h>

#include "codecs/psd.h"
#include "platform/rtl/classes.h"
#include "support/byte_writer.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "load_bytes.h"
#include "require_convert.h"

namespace {

constexpr int kWidth = 45;
constexpr int kHeight = 31;

struct PsdCase {
    const char* name;
    std::vector<std::string> options;
    int channels;
    int depth;
    int mode;
    int compression;
    int tolerance;
    bool alpha;           // the picture written has an alpha channel
    bool compareAlpha;    // and the bitmap keeps it
    // Written from a picture of at most 200 colours, which is the reference:
    // ImageMagick does not read back the indexed files it writes.
    bool quantized = false;
};

void PrintTo(const PsdCase& c, std::ostream* os) { *os << c.name; }

// ImageMagick's own decoding in RGB (CMYK files decode to CMYK otherwise),
// with the colours as stored: by default it takes a merged image with alpha
// to be blended with white and takes the white out again.
bool ReadRgbReference(const std::string& file, TReferenceImage& out, std::string* log)
{
    const std::string pam = file + ".rgb.pam";
    return RunConvert({"-define", "psd:alpha-unblend=off", file, "-colorspace", "sRGB", "-depth", "8", "pam:" + pam},
                      log) &&
           ReadPam(pam, out);
}

class PsdFromImageMagick : public ::testing::TestWithParam<PsdCase> {};

TEST_P(PsdFromImageMagick, DecodesLikeImageMagick)
{
    REQUIRE_CONVERT();
    const PsdCase& c = GetParam();
    TempDir dir;
    const std::string source = dir.file("source.pam");
    WritePamRgba(source, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    const std::string file = dir.file(std::string(c.name) + ".psd");
    std::string log;
    const std::string quantized = dir.file("quantized.png");
    if (c.quantized) {
        ASSERT_TRUE(RunConvert({source, "-alpha", "off", "-colors", "200", quantized}, &log)) << log;
    }
    ASSERT_TRUE(ConvertPicture(c.quantized ? quantized : source, c.alpha, c.options, file, &log)) << log;

    // The file is what the case is about.
    TPSDGraphic psd;
    {
        TFileStream in(file, fmOpenRead);
        ASSERT_TRUE(psd.ReadImageProperties(in, 0));
    }
    EXPECT_EQ(psd.ImageProperties.Channels, c.channels);
    EXPECT_EQ(psd.ImageProperties.BitsPerSample, c.depth);
    EXPECT_EQ(psd.ImageProperties.Compression, c.compression == 1 ? ctPackedBits : ctNone);
    const auto bytes = ReadFileBytes(file);
    ASSERT_GE(bytes.size(), 26u);
    EXPECT_EQ(bytes[25], c.mode);

    TReferenceImage reference;
    ASSERT_TRUE(ReadRgbReference(c.quantized ? quantized : file, reference, &log)) << log;
    psd.LoadFromFile(file);
    EXPECT_EQ(ComparePixels(psd, reference, c.tolerance, c.compareAlpha), "");
}

const PsdCase kCases[] = {
    {"rgb", {"-depth", "8", "-compress", "None"}, 3, 8, 3, 0, 0, false, false},
    {"rgb_rle", {"-depth", "8", "-compress", "RLE"}, 3, 8, 3, 1, 0, false, false},
    {"rgb16", {"-depth", "16", "-compress", "None"}, 3, 16, 3, 0, 1, false, false},
    {"rgb16_rle", {"-depth", "16", "-compress", "RLE"}, 3, 16, 3, 1, 1, false, false},
    {"rgba", {"-depth", "8", "-compress", "None"}, 4, 8, 3, 0, 0, true, true},
    {"rgba_rle", {"-depth", "8", "-compress", "RLE"}, 4, 8, 3, 1, 0, true, true},
    {"rgba16_rle", {"-depth", "16", "-compress", "RLE"}, 4, 16, 3, 1, 1, true, true},
    // CMYK goes through two different conversions.
    {"cmyk", {"-depth", "8", "-colorspace", "CMYK", "-compress", "None"}, 4, 8, 4, 0, 2, false, false},
    {"cmyk_rle", {"-depth", "8", "-colorspace", "CMYK", "-compress", "RLE"}, 4, 8, 4, 1, 2, false, false},
    {"cmyk16", {"-depth", "16", "-colorspace", "CMYK", "-compress", "None"}, 4, 16, 4, 0, 2, false, false},
    {"gray", {"-depth", "8", "-colorspace", "Gray", "-compress", "None"}, 1, 8, 1, 0, 0, false, false},
    {"gray_rle", {"-depth", "8", "-colorspace", "Gray", "-compress", "RLE"}, 1, 8, 1, 1, 0, false, false},
    {"gray16", {"-depth", "16", "-colorspace", "Gray", "-compress", "None"}, 1, 16, 1, 0, 1, false, false},
    {"gray16_rle", {"-depth", "16", "-colorspace", "Gray", "-compress", "RLE"}, 1, 16, 1, 1, 1, false, false},
    // A gray picture with an alpha channel shows its gray plane.
    {"gray_alpha_rle", {"-depth", "8", "-colorspace", "Gray", "-compress", "RLE"}, 2, 8, 1, 1, 0, true, false},
    {"indexed", {"-depth", "8", "-type", "Palette", "-compress", "None"}, 1, 8, 2, 0, 0, false, false, true},
    {"indexed_rle", {"-depth", "8", "-type", "Palette", "-compress", "RLE"}, 1, 8, 2, 1, 0, false, false, true},
    {"bitmap_rle", {"-monochrome", "-depth", "1", "-compress", "RLE"}, 1, 1, 0, 1, 0, false, false},
    {"bitmap", {"-monochrome", "-depth", "1", "-compress", "None"}, 1, 1, 0, 0, 0, false, false},
};

INSTANTIATE_TEST_SUITE_P(Modes, PsdFromImageMagick, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- hand-made files -------------------------------------------------------

// A Photoshop file: header, the three sections, then the merged image.
struct PsdFile {
    int channels = 3, rows = 1, columns = 1, depth = 8, mode = 3;
    std::vector<uint8_t> modeData;
    int compression = 0;
    std::vector<uint16_t> rowLengths;  // PackBits only
    std::vector<uint8_t> image;

    std::vector<uint8_t> Bytes() const
    {
        TByteWriter w;
        w.Text("8BPS").BE16(1).Fill(6).BE16(channels).BE32(rows).BE32(columns).BE16(depth).BE16(mode);
        w.BE32(static_cast<uint32_t>(modeData.size())).Append(modeData);
        w.BE32(4).List({1, 2, 3, 4});  // image resources
        w.BE32(0);                      // no layers
        w.BE16(compression);
        for (uint16_t n : rowLengths) w.BE16(n);
        w.Append(image);
        return w.Bytes;
    }
};

TEST(Psd, FiveChannelsUseTheFirstFourPlanes)
{
    PsdFile f;
    f.channels = 5;
    f.columns = 2;
    // Planes red, green, blue, alpha, and a spot channel.
    f.image = {10, 11, 20, 21, 30, 31, 255, 128, 99, 99};
    TPSDGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf32bit);
    EXPECT_EQ(g.ImageProperties.SamplesPerPixel, 4);
    EXPECT_EQ(g.ImageProperties.ColorScheme, csRGBA);
    const uint8_t* row = g.ScanLine(0);
    EXPECT_EQ(std::vector<uint8_t>(row, row + 8), (std::vector<uint8_t>{30, 20, 10, 255, 31, 21, 11, 128}));
}

TEST(Psd, MultichannelWithThreeChannelsReadsAsRgb)
{
    PsdFile f;
    f.mode = psdMultichannel;
    f.image = {1, 2, 3};
    TPSDGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf24bit);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(1, 2, 3));
}

TEST(Psd, DuotoneSkipsItsColourModeDataAndLoadsAsGray)
{
    PsdFile f;
    f.mode = psdDuotone;
    f.channels = 1;
    f.columns = 3;
    f.modeData.assign(40, 0xEE);
    f.image = {0, 100, 255};
    TPSDGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(0, 0, 0));
    EXPECT_EQ(g.GetPixel(1, 0), RGB(100, 100, 100));
    EXPECT_EQ(g.GetPixel(2, 0), RGB(255, 255, 255));
}

TEST(Psd, CmykStoredInvertedLoadsAsWhiteOrBlack)
{
    PsdFile f;
    f.mode = psdCMYK;
    f.channels = 4;
    f.columns = 2;
    // No ink in the first pixel, full black in the second.
    f.image = {255, 255, 255, 255, 255, 255, 255, 0};
    TPSDGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf24bit);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(g.GetPixel(1, 0), RGB(0, 0, 0));
}

TEST(Psd, LabUsesFullRangeLightnessAndOffsetAxes)
{
    // White, black and sRGB red (L* 54.1, a* 81, b* 70 under D50) in 8 and 16 bits.
    const std::vector<uint8_t> planes = {255, 0, 138, 128, 128, 209, 128, 128, 198};  // L, then a, then b
    for (int depth : {8, 16}) {
        PsdFile f;
        f.mode = psdLab;
        f.columns = 3;
        f.depth = depth;
        for (size_t i = 0; i < planes.size(); ++i) {
            if (depth == 8) {
                f.image.push_back(planes[i]);
            } else {
                const unsigned v = i < 3 ? planes[i] * 257u : planes[i] * 256u;  // big-endian samples
                f.image.insert(f.image.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
            }
        }
        TPSDGraphic g;
        Load(g, f.Bytes());
        ASSERT_EQ(g.PixelFormat(), pf24bit);
        EXPECT_EQ(g.GetPixel(0, 0), RGB(255, 255, 255)) << depth;
        EXPECT_EQ(g.GetPixel(1, 0), RGB(0, 0, 0)) << depth;
        const TColor red = g.GetPixel(2, 0);
        EXPECT_NEAR(GetRValue(red), 255, 1) << depth;
        EXPECT_NEAR(GetGValue(red), 0, 1) << depth;
        EXPECT_NEAR(GetBValue(red), 0, 1) << depth;
    }
}

TEST(Psd, LabWithAnExtraChannelStillFillsThreeBytesPerPixel)
{
    PsdFile f;
    f.mode = psdLab;
    f.channels = 4;
    f.columns = 2;
    f.image = {0, 0, 128, 128, 128, 128, 7, 7};
    TPSDGraphic g;
    Load(g, f.Bytes());
    EXPECT_EQ(g.PixelFormat(), pf24bit);
    EXPECT_EQ(g.GetPixel(1, 0), RGB(0, 0, 0));
}

TEST(Psd, IndexedPaletteIsThreePlanesOfTheColourModeData)
{
    PsdFile f;
    f.mode = psdIndexed;
    f.channels = 1;
    f.columns = 2;
    f.modeData.assign(768, 0);
    f.modeData[1] = 200;        // red of entry 1
    f.modeData[256 + 1] = 100;  // green
    f.modeData[512 + 1] = 50;   // blue
    f.image = {1, 0};
    TPSDGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(200, 100, 50));
    EXPECT_EQ(g.GetPixel(1, 0), RGB(0, 0, 0));
}

TEST(Psd, PackBitsRowsOfOnePlaneFollowTheirLengths)
{
    PsdFile f;
    f.mode = psdGrayscale;
    f.channels = 1;
    f.columns = 4;
    f.rows = 2;
    f.compression = 1;
    f.rowLengths = {2, 5};
    f.image = {0xFD, 9, 0x03, 1, 2, 3, 4};
    TPSDGraphic g;
    Load(g, f.Bytes());
    const uint8_t* r0 = g.ScanLine(0);
    const uint8_t* r1 = g.ScanLine(1);
    EXPECT_EQ(std::vector<uint8_t>(r0, r0 + 4), (std::vector<uint8_t>{9, 9, 9, 9}));
    EXPECT_EQ(std::vector<uint8_t>(r1, r1 + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(Psd, UnsupportedModeKeepsTheSizeWithoutPixels)
{
    PsdFile f;
    f.mode = 5;  // not a mode of ours
    f.columns = 3;
    f.rows = 2;
    TPSDGraphic g;
    Load(g, f.Bytes());
    EXPECT_EQ(g.ImageProperties.ColorScheme, csUnknown);
    EXPECT_EQ(g.Width(), 3);
    EXPECT_EQ(g.Height(), 2);
}

TEST(Psd, RefusesWhatItCannotRead)
{
    const std::string refused = "Cannot load image. Invalid or unexpected PSD or PDD image format.";
    PsdFile f;
    auto bytes = f.Bytes();
    bytes[0] = 'X';
    EXPECT_EQ(LoadError<TPSDGraphic>(bytes), refused);

    // An RGB file with fewer channels than colours.
    f.channels = 2;
    f.image = {1, 2};
    EXPECT_EQ(LoadError<TPSDGraphic>(f.Bytes()), refused);

    // A gray depth whose rows the bitmap cannot take as they are.
    PsdFile tenBits;
    tenBits.mode = psdGrayscale;
    tenBits.channels = 1;
    tenBits.columns = 7;
    tenBits.depth = 10;
    tenBits.image.assign(9, 0xFF);
    EXPECT_EQ(LoadError<TPSDGraphic>(tenBits.Bytes()), refused);

    // Raw planes the file does not hold; a row-length table past its end;
    // compressed rows the file does not hold.
    PsdFile shortRaw;
    shortRaw.columns = 100;
    shortRaw.rows = 100;
    shortRaw.image = {1, 2, 3};
    EXPECT_EQ(LoadError<TPSDGraphic>(shortRaw.Bytes()), "Stream read error");
    PsdFile shortTable;
    shortTable.compression = 1;
    shortTable.rows = 1000;
    EXPECT_EQ(LoadError<TPSDGraphic>(shortTable.Bytes()), "Stream read error");
    PsdFile shortRows;
    shortRows.compression = 1;
    shortRows.rowLengths = {60000, 60000, 60000};
    EXPECT_EQ(LoadError<TPSDGraphic>(shortRows.Bytes()), "Stream read error");

    // A header cut short.
    const auto whole = f.Bytes();
    EXPECT_EQ(LoadError<TPSDGraphic>(std::vector<uint8_t>(whole.begin(), whole.begin() + 20)), "Stream read error");
}

TEST(Psd, PackBitsRunsClippedToThePlanes)
{
    // A run that claims more than every plane holds stops at the last one.
    PsdFile f;
    f.columns = 2;
    f.compression = 1;
    f.rowLengths = {2, 0, 0};
    f.image = {0x81, 7};  // 128 bytes of 7
    TPSDGraphic g;
    Load(g, f.Bytes());
    EXPECT_EQ(g.GetPixel(0, 0), RGB(7, 7, 7));
    EXPECT_EQ(g.GetPixel(1, 0), RGB(7, 7, 7));
}

TEST(Psd, CanLoadTestsSignatureAndVersionAndKeepsThePosition)
{
    PsdFile f;
    f.image = {1, 2, 3};
    auto bytes = f.Bytes();
    std::vector<uint8_t> withPrefix = {9, 9};
    withPrefix.insert(withPrefix.end(), bytes.begin(), bytes.end());
    TMemoryStream s(withPrefix.data(), withPrefix.size());
    s.SetPosition(2);
    TPSDGraphic g;
    EXPECT_TRUE(g.CanLoad(s));
    EXPECT_EQ(s.Position(), 2);

    bytes[0] = '8';
    bytes[1] = 'b';
    bytes[2] = 'p';
    bytes[3] = 's';
    TMemoryStream lower(bytes.data(), bytes.size());
    EXPECT_TRUE(g.CanLoad(lower));

    bytes[5] = 2;  // version 2
    TMemoryStream v2(bytes.data(), bytes.size());
    EXPECT_FALSE(g.CanLoad(v2));
    EXPECT_EQ(v2.Position(), 0);

    TMemoryStream tiny(bytes.data(), 26);
    EXPECT_FALSE(g.CanLoad(tiny));
}

}  // namespace
