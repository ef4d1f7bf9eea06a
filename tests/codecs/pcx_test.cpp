#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "codecs/pcx.h"
#include "platform/rtl/classes.h"
#include "support/byte_writer.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "load_bytes.h"
#include "require_convert.h"

namespace {

constexpr int kWidth = 50;
constexpr int kHeight = 30;

bool HavePpmToPcx() { return ::access("/usr/bin/ppmtopcx", X_OK) == 0; }

struct PcxCase {
    const char* name;
    // ImageMagick's options for the picture; netpbm's ppmtopcx options
    // (nullptr: ImageMagick writes the PCX itself).
    std::vector<std::string> options;
    const char* ppmtopcx;
    int bitsPerPixel;
    int planes;
    TPixelFormat format;
    // Compared with the picture given to ppmtopcx: ImageMagick shows 1-bit
    // files black where their palette and the picture say white.
    bool compareWithSource = false;
};

void PrintTo(const PcxCase& c, std::ostream* os) { *os << c.name; }

// Writes the case's file; false with a reason when a tool is missing or fails.
bool WriteCase(const PcxCase& c, const TempDir& dir, const std::string& file, std::string& log)
{
    const std::string source = dir.file("source.ppm");
    WritePpm(source, kWidth, kHeight, TestPatternRgb(kWidth, kHeight));
    std::vector<std::string> args = {source};
    args.insert(args.end(), c.options.begin(), c.options.end());
    if (!c.ppmtopcx) {
        args.push_back(file);
        return RunConvert(args, &log);
    }
    const std::string ppm = dir.file("quantized.ppm");
    args.push_back("ppm:" + ppm);
    if (!RunConvert(args, &log)) return false;
    const std::string command = std::string("/usr/bin/ppmtopcx ") + c.ppmtopcx + " " + ppm + " > " + file + " 2>/dev/null";
    log = command;
    return std::system(command.c_str()) == 0;
}

class PcxWritten : public ::testing::TestWithParam<PcxCase> {};

TEST_P(PcxWritten, DecodesLikeImageMagick)
{
    REQUIRE_CONVERT();
    const PcxCase& c = GetParam();
    if (c.ppmtopcx && !HavePpmToPcx()) GTEST_SKIP() << "netpbm's ppmtopcx is not installed";
    TempDir dir;
    const std::string file = dir.file(std::string(c.name) + ".pcx");
    std::string log;
    ASSERT_TRUE(WriteCase(c, dir, file, log)) << log;

    const auto bytes = ReadFileBytes(file);
    ASSERT_GE(bytes.size(), 128u);
    EXPECT_EQ(bytes[3], c.bitsPerPixel);
    EXPECT_EQ(bytes[65], c.planes);

    TReferenceImage reference;
    ASSERT_TRUE(ReadReference(c.compareWithSource ? dir.file("quantized.ppm") : file, reference, &log)) << log;
    TPCXGraphic pcx;
    pcx.LoadFromFile(file);
    EXPECT_EQ(pcx.PixelFormat(), c.format);
    EXPECT_EQ(ComparePixels(pcx, reference, 0, false), "");
}

const PcxCase kCases[] = {
    {"im_true_color", {"-depth", "8"}, nullptr, 8, 3, pf24bit},
    {"im_palette", {"-depth", "8", "-type", "Palette"}, nullptr, 8, 1, pf8bit},
    {"bilevel", {"-monochrome"}, "", 1, 1, pf1bit, true},
    {"four_colours_packed", {"-colors", "4"}, "-packed", 2, 1, pf4bit},
    {"sixteen_colours_packed", {"-colors", "16"}, "-packed", 4, 1, pf4bit},
    {"sixteen_colours_planes", {"-colors", "16"}, "", 1, 4, pf4bit},
    {"eight_colours_planes", {"-colors", "8"}, "-planes 3", 1, 3, pf4bit},
    {"palette", {"-colors", "60"}, "-8bit", 8, 1, pf8bit},
    {"true_color", {"-colors", "60"}, "-24bit", 8, 3, pf24bit},
};

INSTANTIATE_TEST_SUITE_P(Layouts, PcxWritten, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Pcx, TwoBitPlanesAreRefused)
{
    REQUIRE_CONVERT();
    if (!HavePpmToPcx()) GTEST_SKIP() << "netpbm's ppmtopcx is not installed";
    TempDir dir;
    const std::string file = dir.file("two_planes.pcx");
    std::string log;
    ASSERT_TRUE(WriteCase({"two_planes", {"-colors", "4"}, "-planes 2", 1, 2, pfCustom}, dir, file, log)) << log;
    ASSERT_EQ(ReadFileBytes(file)[65], 2);
    TPCXGraphic pcx;
    try {
        pcx.LoadFromFile(file);
        FAIL() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Invalid color format in PCX file.");
    }
}

// ---- hand-made files -------------------------------------------------------

struct PcxFile {
    int manufacturer = 10, version = 5, encoding = 1, bits = 8;
    int xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    int planes = 1, bytesPerLine = 2, paletteType = 1;
    std::vector<uint8_t> colorMap = std::vector<uint8_t>(48, 0);
    std::vector<uint8_t> data;

    std::vector<uint8_t> Bytes() const
    {
        TByteWriter w;
        w.U8(manufacturer).U8(version).U8(encoding).U8(bits);
        w.LE16(xMin).LE16(yMin).LE16(xMax).LE16(yMax).LE16(72).LE16(72).Append(colorMap);
        w.U8(0).U8(planes).LE16(bytesPerLine).LE16(paletteType).Fill(58);
        w.Append(data);
        return w.Bytes;
    }
};

std::vector<uint8_t> TrailingPalette(uint8_t marker)
{
    std::vector<uint8_t> p(769, 0);
    p[0] = marker;
    p[1 + 3 * 5] = 250;  // entry 5 red
    p[1 + 3 * 5 + 2] = 10;
    return p;
}

TEST(Pcx, RawRowsWithTheTrailingPalette)
{
    PcxFile f;
    f.encoding = 0;
    f.xMax = 2;
    f.yMax = 1;
    f.bytesPerLine = 4;
    f.data = {5, 0, 5, 9, 0, 5, 0, 9};
    const auto palette = TrailingPalette(12);
    f.data.insert(f.data.end(), palette.begin(), palette.end());
    TPCXGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    ASSERT_EQ(g.Width(), 3);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(250, 0, 10));
    EXPECT_EQ(g.GetPixel(1, 0), RGB(0, 0, 0));
    EXPECT_EQ(g.GetPixel(1, 1), RGB(250, 0, 10));
    EXPECT_EQ(g.ImageProperties.XResolution, 72);
}

TEST(Pcx, EightBitsWithoutTheMarkerKeepTheDefaultPaletteAndLoseTheLastBytes)
{
    PcxFile f;
    f.encoding = 0;
    f.xMax = 1;
    f.bytesPerLine = 2;
    f.data = {1, 2};
    const auto tail = TrailingPalette(11);
    f.data.insert(f.data.end(), tail.begin(), tail.end());
    TPCXGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    const HPALETTE standard = DefaultPaletteFor(pf8bit);
    ASSERT_TRUE(g.Palette());
    EXPECT_EQ(g.Palette()->entries.size(), standard->entries.size());
    EXPECT_EQ(g.ScanLine(0)[0], 1);
    EXPECT_EQ(g.ScanLine(0)[1], 2);

    // The 769 bytes are no pixel data even when the rows need them.
    PcxFile shortRows = f;
    shortRows.yMax = 1;
    TPCXGraphic s;
    Load(s, shortRows.Bytes());
    EXPECT_EQ(s.ScanLine(1)[0], 0);
    EXPECT_EQ(s.ScanLine(1)[1], 0);

    // Palette type 2 gives the gray ramp.
    f.paletteType = 2;
    TPCXGraphic gray;
    Load(gray, f.Bytes());
    EXPECT_EQ(gray.GetPixel(1, 0), RGB(2, 2, 2));
}

TEST(Pcx, SixteenColoursCombineFourBitPlanes)
{
    PcxFile f;
    f.bits = 1;
    f.planes = 4;
    f.xMax = 9;  // 10 pixels
    f.bytesPerLine = 2;
    for (int i = 0; i < 16; ++i) f.colorMap[3 * i] = static_cast<uint8_t>(i * 16);
    // Planes 0..3 of one row, raw: pixel 0 has every bit set, pixel 9 bit 2 only.
    f.encoding = 0;
    f.data = {0x80, 0x00, 0x80, 0x00, 0x80, 0x40, 0x80, 0x00};
    TPCXGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf4bit);
    EXPECT_EQ(g.ScanLine(0)[0], 0xF0);
    EXPECT_EQ(g.ScanLine(0)[4], 0x04);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(240, 0, 0));
    EXPECT_EQ(g.GetPixel(9, 0), RGB(64, 0, 0));

    // A gray-scale palette type gives the gray ramp instead.
    f.paletteType = 2;
    TPCXGraphic gray;
    Load(gray, f.Bytes());
    EXPECT_EQ(gray.GetPixel(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(gray.GetPixel(9, 0), RGB(68, 68, 68));
}

TEST(Pcx, TwoBitsLoadAsAFourBitBitmap)
{
    PcxFile f;
    f.bits = 2;
    f.xMax = 3;
    f.bytesPerLine = 2;
    for (int i = 0; i < 4; ++i) f.colorMap[3 * i + 1] = static_cast<uint8_t>(10 + i);
    f.data = {0x1B, 0x00};  // pixels 0, 1, 2, 3
    TPCXGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf4bit);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(g.GetPixel(x, 0), RGB(0, static_cast<uint8_t>(10 + x), 0)) << x;
}

TEST(Pcx, FourPlanesOfEightBitsCarryAlpha)
{
    PcxFile f;
    f.planes = 4;
    f.xMax = 1;
    f.bytesPerLine = 2;
    f.data = {1, 2, 3, 4, 5, 6, 7, 8};
    TPCXGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.PixelFormat(), pf32bit);
    const uint8_t* row = g.ScanLine(0);
    EXPECT_EQ(std::vector<uint8_t>(row, row + 8), (std::vector<uint8_t>{5, 3, 1, 7, 6, 4, 2, 8}));
}

TEST(Pcx, RowsTheDataDoesNotReachStayBlackWithoutTakingTheirMemory)
{
    PcxFile f;
    f.bits = 1;
    f.xMax = 7;
    f.yMax = 59999;
    f.bytesPerLine = 1;
    f.data = {0xC2, 0xFF};  // two rows of white
    TPCXGraphic g;
    Load(g, f.Bytes());
    ASSERT_EQ(g.Height(), 60000);
    EXPECT_EQ(g.GetPixel(0, 1), RGB(255, 255, 255));
    EXPECT_EQ(g.GetPixel(0, 2), RGB(0, 0, 0));
    EXPECT_EQ(g.GetPixel(7, 59999), RGB(0, 0, 0));
}

TEST(Pcx, HeadersItDoesNotUnderstandLoadNothing)
{
    PcxFile f;
    f.manufacturer = 7;
    f.data = {1, 2};
    TPCXGraphic g;
    g.SetPixelFormat(pf8bit);
    g.SetSize(3, 3);
    Load(g, f.Bytes());
    EXPECT_TRUE(g.Empty());

    PcxFile inverted;
    inverted.xMin = 5;
    inverted.xMax = 2;
    Load(g, inverted.Bytes());
    EXPECT_TRUE(g.Empty());
}

TEST(Pcx, RefusesLayoutsWithoutABitmap)
{
    PcxFile twoPlanes;
    twoPlanes.planes = 2;
    EXPECT_EQ(LoadError<TPCXGraphic>(twoPlanes.Bytes()), "Invalid color format in PCX file.");
    PcxFile threeBits;
    threeBits.bits = 3;
    EXPECT_EQ(LoadError<TPCXGraphic>(threeBits.Bytes()), "Invalid color format in PCX file.");
    PcxFile noPlanes;
    noPlanes.planes = 0;
    EXPECT_EQ(LoadError<TPCXGraphic>(noPlanes.Bytes()), "Sample count per pixel does not correspond to the given color scheme.");
    PcxFile narrowLines;
    narrowLines.xMax = 99;
    narrowLines.bytesPerLine = 50;
    EXPECT_EQ(LoadError<TPCXGraphic>(narrowLines.Bytes()), "Cannot load image. Invalid or unexpected PCX or SCR image format.");
}

TEST(Pcx, CanLoadTestsTheHeaderAndKeepsThePosition)
{
    TPCXGraphic g;
    auto check = [&](const PcxFile& f) {
        auto bytes = f.Bytes();
        bytes.resize(200);
        TMemoryStream s(bytes.data(), bytes.size());
        const bool ok = g.CanLoad(s);
        EXPECT_EQ(s.Position(), 0);
        return ok;
    };
    PcxFile f;
    EXPECT_TRUE(check(f));
    f.manufacturer = 12;
    EXPECT_TRUE(check(f));
    f.manufacturer = 205;
    EXPECT_FALSE(check(f));
    f.manufacturer = 10;
    f.version = 4;
    EXPECT_FALSE(check(f));
    f.version = 0;
    f.encoding = 2;
    EXPECT_FALSE(check(f));
    const auto header = PcxFile().Bytes();
    TMemoryStream tiny(header.data(), 128);
    EXPECT_FALSE(g.CanLoad(tiny));
}

}  // namespace
