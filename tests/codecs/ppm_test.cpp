#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "codecs/autodesk.h"
#include "codecs/cut.h"
#include "codecs/file_formats.h"
#include "codecs/pcd.h"
#include "codecs/pcx.h"
#include "codecs/ppm.h"
#include "codecs/psd.h"
#include "codecs/rla.h"
#include "codecs/sgi.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/strconv.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "load_bytes.h"
#include "require_convert.h"

namespace {

// Large enough that the binary forms cross the reader's 4096-byte buffer.
constexpr int kWidth = 101;
constexpr int kHeight = 47;

bool HaveNetpbm() { return ::access("/usr/bin/pamdepth", X_OK) == 0 && ::access("/usr/bin/pnmtoplainpnm", X_OK) == 0; }

struct PnmCase {
    const char* name;
    std::vector<std::string> options;  // ImageMagick's, writing the file itself
    const char* netpbm;                // or a netpbm pipe that rewrites that picture
    const char* extension;
    const char* magic;
    const char* maximum;               // the header's maximum ("" for bitmaps)
    int tolerance;
};

void PrintTo(const PnmCase& c, std::ostream* os) { *os << c.name; }

class PnmWritten : public ::testing::TestWithParam<PnmCase> {};

TEST_P(PnmWritten, DecodesLikeImageMagick)
{
    REQUIRE_CONVERT();
    const PnmCase& c = GetParam();
    if (c.netpbm && !HaveNetpbm()) GTEST_SKIP() << "netpbm is not installed";
    TempDir dir;
    const std::string source = dir.file("source.ppm");
    WritePpm(source, kWidth, kHeight, TestPatternRgb(kWidth, kHeight));
    const std::string file = dir.file(std::string(c.name) + "." + c.extension);
    std::string log;
    std::vector<std::string> args = {source};
    args.insert(args.end(), c.options.begin(), c.options.end());
    if (c.netpbm) {
        const std::string start = dir.file(std::string("start.") + c.extension);
        args.push_back(start);
        ASSERT_TRUE(RunConvert(args, &log)) << log;
        const std::string command = "/bin/cat " + start + " | " + c.netpbm + " > " + file + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    } else {
        args.push_back(file);
        ASSERT_TRUE(RunConvert(args, &log)) << log;
    }

    // The file is what the case is about.
    const auto bytes = ReadFileBytes(file);
    const std::string head(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 40));
    ASSERT_EQ(head.substr(0, 2), c.magic);
    if (*c.maximum) {
        EXPECT_NE(head.find(std::string("\n") + c.maximum + "\n"), std::string::npos) << head;
    }

    TReferenceImage reference;
    ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
    TPPMGraphic ppm;
    ppm.LoadFromFile(file);
    EXPECT_EQ(ComparePixels(ppm, reference, c.tolerance, false), "");
}

const PnmCase kCases[] = {
    {"plain_bitmap", {"-monochrome", "-compress", "None"}, nullptr, "pbm", "P1", "", 0},
    {"plain_bitmap_netpbm", {"-monochrome"}, "/usr/bin/pnmtoplainpnm", "pbm", "P1", "", 0},
    {"plain_gray", {"-colorspace", "Gray", "-depth", "8", "-compress", "None"}, nullptr, "pgm", "P2", "255", 0},
    {"plain_gray16", {"-colorspace", "Gray", "-depth", "16", "-compress", "None"}, nullptr, "pgm", "P2", "65535", 1},
    {"plain_gray15", {"-colorspace", "Gray", "-depth", "8"}, "/usr/bin/pamdepth 15 | /usr/bin/pnmtoplainpnm", "pgm", "P2", "15", 1},
    {"plain_pixmap", {"-depth", "8", "-compress", "None"}, nullptr, "ppm", "P3", "255", 0},
    {"plain_pixmap16", {"-depth", "16", "-compress", "None"}, nullptr, "ppm", "P3", "65535", 1},
    {"bitmap", {"-monochrome"}, nullptr, "pbm", "P4", "", 0},
    {"gray", {"-colorspace", "Gray", "-depth", "8"}, nullptr, "pgm", "P5", "255", 0},
    {"gray16", {"-colorspace", "Gray", "-depth", "16"}, nullptr, "pgm", "P5", "65535", 1},
    {"gray100", {"-colorspace", "Gray", "-depth", "8"}, "/usr/bin/pamdepth 100", "pgm", "P5", "100", 1},
    {"gray1000", {"-colorspace", "Gray", "-depth", "8"}, "/usr/bin/pamdepth 1000", "pgm", "P5", "1000", 1},
    {"pixmap", {"-depth", "8"}, nullptr, "ppm", "P6", "255", 0},
    {"pixmap16", {"-depth", "16"}, nullptr, "ppm", "P6", "65535", 1},
    {"pixmap31", {"-depth", "8"}, "/usr/bin/pamdepth 31", "ppm", "P6", "31", 1},
    {"pixmap4095", {"-depth", "8"}, "/usr/bin/pamdepth 4095", "ppm", "P6", "4095", 1},
};

INSTANTIATE_TEST_SUITE_P(Forms, PnmWritten, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- hand-made files -------------------------------------------------------

std::vector<uint8_t> Row(const TPPMGraphic& g, int y, int bytes)
{
    const uint8_t* line = g.ScanLine(y);
    return std::vector<uint8_t>(line, line + bytes);
}

TEST(Ppm, PlainBitmapRowsArePackedFromTheTopBit)
{
    // Width 10: the second byte of a row holds the ninth and tenth pixels.
    for (const char* text : {"P1\n10 2\n1 0 0 0 0 0 0 1 1 1\n0 0 0 0 0 0 0 0 0 1\n",
                             "P1\n10 2\n1000000111\n0000000001\n"}) {
        TPPMGraphic g;
        Load(g, text);
        ASSERT_EQ(g.PixelFormat(), pf1bit);
        EXPECT_EQ(Row(g, 0, 2), (std::vector<uint8_t>{0x81, 0xC0})) << text;
        EXPECT_EQ(Row(g, 1, 2), (std::vector<uint8_t>{0x00, 0x40})) << text;
        EXPECT_EQ(g.GetPixel(0, 0), RGB(0, 0, 0));  // 1 is black
        EXPECT_EQ(g.GetPixel(1, 0), RGB(255, 255, 255));
    }
}

TEST(Ppm, SamplesAreScaledFromTheMaximum)
{
    TPPMGraphic g;
    Load(g, "P2\n3 1\n65535\n300 65535 32768\n");
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    EXPECT_EQ(Row(g, 0, 3), (std::vector<uint8_t>{1, 255, 128}));
    Load(g, "P2\n3 1\n15\n0 15 99\n");
    EXPECT_EQ(Row(g, 0, 3), (std::vector<uint8_t>{0, 255, 255}));  // above the maximum: the maximum
    Load(g, "P3\n1 1\n255\n10 20 30\n");
    ASSERT_EQ(g.PixelFormat(), pf24bit);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(10, 20, 30));
    Load(g, std::string("P6\n1 1\n1000\n\x03\xE8\x00\x00\x01\xF4", 18));
    EXPECT_EQ(g.GetPixel(0, 0), RGB(255, 0, 128));
    Load(g, std::string("P5\n2 1\n255\n\x07\xF0", 13));
    EXPECT_EQ(Row(g, 0, 2), (std::vector<uint8_t>{7, 240}));
    Load(g, std::string("P4\n9 1\n\x80\x80", 9));
    EXPECT_EQ(Row(g, 0, 2), (std::vector<uint8_t>{0x80, 0x80}));
}

TEST(Ppm, HeaderNumbersMayFollowTheMagicOnItsLine)
{
    // "P6 3 2 255" on one line is as valid as one number per line.
    TPPMGraphic g;
    Load(g, "P2 3 1 255\n10 20 30\n");
    EXPECT_EQ(g.Width(), 3);
    EXPECT_EQ(g.Height(), 1);
    EXPECT_EQ(Row(g, 0, 3), (std::vector<uint8_t>{10, 20, 30}));
    Load(g, std::string("P6 1 1 255\nabc", 14));
    EXPECT_EQ(g.GetPixel(0, 0), RGB('a', 'b', 'c'));

    // Comments between numbers, on lines of their own or after them.
    Load(g, std::string("P5\n2\n# a comment line\n1 # height\n255\n\x01\x02", 39));
    EXPECT_EQ(g.Width(), 2);
    EXPECT_EQ(Row(g, 0, 2), (std::vector<uint8_t>{1, 2}));
    Load(g, "P6 # comment after the magic\r\n1 1\r\n255\nabc");
    EXPECT_EQ(g.GetPixel(0, 0), RGB('a', 'b', 'c'));

    // The last number may end the file.
    Load(g, "P2\n2 1\n255\n4 5");
    EXPECT_EQ(Row(g, 0, 2), (std::vector<uint8_t>{4, 5}));
}

TEST(Ppm, OtherMagicNumbersLoadNothing)
{
    TPPMGraphic g;
    Load(g, "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR\nx");
    EXPECT_TRUE(g.Empty());
}

TEST(Ppm, RefusesWhatItCannotRead)
{
    EXPECT_EQ(LoadError<TPPMGraphic>("Q6\n1 1\n255\nabc"), "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.");
    EXPECT_EQ(LoadError<TPPMGraphic>("\nP6\n1 1\n255\nabc"), "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.");
    EXPECT_EQ(LoadError<TPPMGraphic>("P2\n1 1\n0\n0\n"), "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.");
    EXPECT_EQ(LoadError<TPPMGraphic>("P5\n1 1\n70000\n\x01\x02"), "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.");
    // The stream ends where a character is needed.
    EXPECT_EQ(LoadError<TPPMGraphic>("P5\n4 4\n255\nab"), "Stream read error in PPM file.");
    EXPECT_EQ(LoadError<TPPMGraphic>("P3\n2 2\n255\n1 2 3"), "Stream read error in PPM file.");
    EXPECT_EQ(LoadError<TPPMGraphic>("P1\n3 1\n"), "Stream read error in PPM file.");
    EXPECT_EQ(LoadError<TPPMGraphic>("P6"), "Stream read error in PPM file.");
    // The type is a digit.
    EXPECT_EQ(LoadError<TPPMGraphic>("PX\n1 1\n255\nabc"), "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.");
    EXPECT_EQ(LoadError<TPPMGraphic>("P\n1 1\n255\nabc"), "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.");
    TPPMGraphic g;
    // Sizes no bitmap can have, written with any number of digits.
    EXPECT_THROW(Load(g, "P4\n99999999999999999999 99999999999\n"), EOutOfResources);
    EXPECT_THROW(Load(g, "P6\n70000 70000\n255\n"), EOutOfResources);
}

TEST(Ppm, CharacterSource)
{
    const std::string text = "ab#cd\r\nxy\rz\n  # note\n 007 12345678901234567890;9";
    TMemoryStream s(text.data(), text.size());
    TPPMGraphic g;
    g.Stream = &s;
    EXPECT_EQ(g.PeekChar(), 0);  // nothing buffered yet
    EXPECT_EQ(g.ReadLine(), "ab");
    EXPECT_EQ(g.PeekChar(), 'x');
    EXPECT_EQ(g.ReadLine(), "xy");
    EXPECT_EQ(g.ReadLine(), "z");
    EXPECT_EQ(g.GetNumber(), 7u);
    EXPECT_EQ(g.GetNumber(), 0xFFFFFFFFu);
    EXPECT_EQ(g.GetChar(), '9');
    EXPECT_EQ(g.PeekChar(), 0);
    try {
        g.GetChar();
        FAIL() << "read past the end";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Stream read error in PPM file.");
    }
}

TEST(Ppm, CanLoadWantsAMagicAndMoreThanTenBytes)
{
    TPPMGraphic g;
    auto check = [&](const std::string& text) {
        TMemoryStream s(text.data(), text.size());
        const bool ok = g.CanLoad(s);
        EXPECT_EQ(s.Position(), 0);
        return ok;
    };
    EXPECT_TRUE(check("P6\n1 1\n255\nabc"));
    EXPECT_TRUE(check("P1\n1 1\n1\n\n\n\n"));
    EXPECT_FALSE(check("P7\n1 1\n255\nabc"));
    EXPECT_FALSE(check("P0\n1 1\n255\nabc"));
    EXPECT_FALSE(check("p6\n1 1\n255\nabc"));
    EXPECT_FALSE(check("P6\n1 1\n255"));
}

TEST(PictureLoader, FindsTheseReadersByTheirExtensions)
{
    PictureCodecs::Initialization();
    const std::pair<const char*, TGraphicClass> expected[] = {
        {"pcx", GraphicClassOf<TPCXGraphic>()},      {"PCC", GraphicClassOf<TPCXGraphic>()},
        {"scr", GraphicClassOf<TPCXGraphic>()},      {"rpf", GraphicClassOf<TRLAGraphic>()},
        {"rla", GraphicClassOf<TRLAGraphic>()},      {"sgi", GraphicClassOf<TSGIGraphic>()},
        {"rgba", GraphicClassOf<TSGIGraphic>()},     {"rgb", GraphicClassOf<TSGIGraphic>()},
        {"bw", GraphicClassOf<TSGIGraphic>()},       {"psd", GraphicClassOf<TPSDGraphic>()},
        {"pdd", GraphicClassOf<TPSDGraphic>()},      {"ppm", GraphicClassOf<TPPMGraphic>()},
        {"pgm", GraphicClassOf<TPPMGraphic>()},      {"pbm", GraphicClassOf<TPPMGraphic>()},
        {"cel", GraphicClassOf<TAutodeskGraphic>()}, {"pic", GraphicClassOf<TAutodeskGraphic>()},
        {"pcd", GraphicClassOf<TPCDGraphic>()},      {"cut", GraphicClassOf<TCUTGraphic>()},
    };
    for (const auto& [extension, cls] : expected) EXPECT_EQ(TPicture::FindFileFormat(extension), cls) << extension;

    // A portable map loads through the loader, and so does a CUT picture
    // with its palette file.
    TempDir dir;
    const std::string text = "P2\n2 1\n255\n7 9\n";
    WriteFileBytes(dir.file("map.PGM"), text.data(), text.size());
    TPicture picture;
    picture.LoadFromFile(dir.file("map.PGM"));
    ASSERT_NE(dynamic_cast<TPPMGraphic*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Bitmap().GetPixel(1, 0), RGB(9, 9, 9));
    const uint8_t cut[] = {1, 0, 1, 0, 0, 0, 3, 0, 1, 4, 0};
    WriteFileBytes(dir.file("halo.cut"), cut, sizeof cut);
    std::vector<uint8_t> palette(512, 0);
    palette[40 + 6 * 4] = 200;  // red of entry 4
    palette[12] = 255;
    WriteFileBytes(dir.file("halo.pal"), palette);
    picture.LoadFromFile(dir.file("halo.cut"));
    ASSERT_NE(dynamic_cast<TCUTGraphic*>(picture.Graphic()), nullptr);
    EXPECT_EQ(picture.Bitmap().GetPixel(0, 0), RGB(200, 0, 0));

    PictureCodecs::Finalization();
    EXPECT_EQ(TPicture::FindFileFormat("pcx"), nullptr);
    // Put the toolkit's own kinds back for the other tests of this program.
    TPicture::RegisterFileFormat("bmp", "Bitmaps", GraphicClassOf<TBitmap>());
    TPicture::RegisterFileFormat("ico", "Icons", GraphicClassOf<TIcon>());
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", GraphicClassOf<TJPEGImage>());
}

}  // namespace
