#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "codecs/sgi.h"
#include "platform/rtl/classes.h"
#include "support/byte_writer.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"
#include "load_bytes.h"
#include "require_convert.h"

namespace {

constexpr int kWidth = 53;
constexpr int kHeight = 29;

// netpbm's writer, which unlike ImageMagick compresses 16-bit samples.
std::string PnmToSgi()
{
    for (const char* p : {"/usr/bin/pnmtosgi", "/usr/local/bin/pnmtosgi"})
        if (::access(p, X_OK) == 0) return p;
    return "";
}

struct SgiCase {
    const char* name;
    bool netpbm;  // written by netpbm from a PNM, else by ImageMagick
    std::vector<std::string> options;
    int storage;
    int bytesPerChannel;
    int channels;
    int tolerance;
    bool alpha;
};

void PrintTo(const SgiCase& c, std::ostream* os) { *os << c.name; }

class SgiWritten : public ::testing::TestWithParam<SgiCase> {};

TEST_P(SgiWritten, DecodesLikeImageMagick)
{
    REQUIRE_CONVERT();
    const SgiCase& c = GetParam();
    TempDir dir;
    const std::string source = dir.file("source.pam");
    WritePamRgba(source, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    const std::string file = dir.file(std::string(c.name) + ".sgi");
    std::string log;
    if (c.netpbm) {
        if (PnmToSgi().empty()) GTEST_SKIP() << "netpbm's pnmtosgi is not installed";
        const std::string pnm = dir.file("source.pnm");
        ASSERT_TRUE(ConvertPicture(source, false, c.options, pnm, &log)) << log;
        const std::string command = PnmToSgi() + (c.storage ? " -rle " : " -verbatim ") + pnm + " > " + file;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    } else {
        ASSERT_TRUE(ConvertPicture(source, c.alpha, c.options, file, &log)) << log;
    }

    const auto bytes = ReadFileBytes(file);
    ASSERT_GE(bytes.size(), 512u);
    EXPECT_EQ(bytes[2], c.storage);
    EXPECT_EQ(bytes[3], c.bytesPerChannel);
    EXPECT_EQ(bytes[11], c.channels);

    TReferenceImage reference;
    ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
    TSGIGraphic sgi;
    sgi.LoadFromFile(file);
    EXPECT_EQ(sgi.PixelFormat(), c.channels == 4 ? pf32bit : (c.channels == 3 ? pf24bit : pf8bit));
    EXPECT_EQ(ComparePixels(sgi, reference, c.tolerance, c.alpha), "");
}

const SgiCase kCases[] = {
    {"rgb", false, {"-depth", "8", "-compress", "None"}, 0, 1, 3, 0, false},
    {"rgb_rle", false, {"-depth", "8", "-compress", "RLE"}, 1, 1, 3, 0, false},
    {"rgba", false, {"-depth", "8", "-compress", "None"}, 0, 1, 4, 0, true},
    {"rgba_rle", false, {"-depth", "8", "-compress", "RLE"}, 1, 1, 4, 0, true},
    {"gray", false, {"-depth", "8", "-colorspace", "Gray", "-compress", "None"}, 0, 1, 1, 0, false},
    {"gray_rle", false, {"-depth", "8", "-colorspace", "Gray", "-compress", "RLE"}, 1, 1, 1, 0, false},
    {"rgb16", false, {"-depth", "16", "-compress", "None"}, 0, 2, 3, 1, false},
    {"rgba16", false, {"-depth", "16", "-compress", "None"}, 0, 2, 4, 1, true},
    {"gray16", false, {"-depth", "16", "-colorspace", "Gray", "-compress", "None"}, 0, 2, 1, 1, false},
    {"rgb16_rle", true, {"-depth", "16"}, 1, 2, 3, 1, false},
    {"gray16_rle", true, {"-depth", "16", "-colorspace", "Gray"}, 1, 2, 1, 1, false},
    {"rgb_rle_netpbm", true, {"-depth", "8"}, 1, 1, 3, 0, false},
    {"gray_netpbm", true, {"-depth", "8", "-colorspace", "Gray"}, 0, 1, 1, 0, false},
};

INSTANTIATE_TEST_SUITE_P(Kinds, SgiWritten, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- hand-made files -------------------------------------------------------

std::vector<uint8_t> Header(int storage, int bpc, int width, int height, int channels, int dimension = 3)
{
    TByteWriter w;
    w.BE16(474).U8(storage).U8(bpc).BE16(dimension).BE16(width).BE16(height).BE16(channels);
    w.PadTo(512);
    return w.Bytes;
}

TEST(Sgi, FirstStoredRowGoesToTheBottom)
{
    TByteWriter w;
    w.Append(Header(0, 1, 1, 2, 3));
    w.List({1, 2, 3, 4, 5, 6});  // red rows, green rows, blue rows
    TSGIGraphic g;
    Load(g, w.Bytes);
    ASSERT_EQ(g.PixelFormat(), pf24bit);
    EXPECT_EQ(g.GetPixel(0, 1), RGB(1, 3, 5));
    EXPECT_EQ(g.GetPixel(0, 0), RGB(2, 4, 6));
}

TEST(Sgi, OneChannelLoadsAsAnEightBitGrayBitmap)
{
    TByteWriter w;
    w.Append(Header(0, 1, 3, 1, 1, 2));
    w.List({0, 128, 255});
    TSGIGraphic g;
    Load(g, w.Bytes);
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    EXPECT_EQ(g.GetPixel(1, 0), RGB(128, 128, 128));
    EXPECT_EQ(g.GetPixel(2, 0), RGB(255, 255, 255));
}

TEST(Sgi, GrayAndAlphaShowsTheGrayChannel)
{
    TByteWriter w;
    w.Append(Header(0, 1, 2, 1, 2));
    w.List({10, 20, 255, 0});
    TSGIGraphic g;
    Load(g, w.Bytes);
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(10, 10, 10));
    EXPECT_EQ(g.GetPixel(1, 0), RGB(20, 20, 20));
}

TEST(Sgi, RunLengthRowsFollowTheirTables)
{
    // One channel, two rows, stored in reverse order in the file.
    TByteWriter w;
    w.Append(Header(1, 1, 4, 2, 1));
    const size_t tables = w.Size();
    w.Fill(16);
    const uint32_t row1 = static_cast<uint32_t>(w.Size());
    w.List({0x84, 1, 2, 3, 4, 0});
    const uint32_t row0 = static_cast<uint32_t>(w.Size());
    w.List({0x04, 9, 0});
    w.PutBE32(tables, row0);
    w.PutBE32(tables + 4, row1);
    w.PutBE32(tables + 8, 3);
    w.PutBE32(tables + 12, 6);
    TSGIGraphic g;
    Load(g, w.Bytes);
    EXPECT_EQ(g.RowStart, (std::vector<uint32_t>{row0, row1}));
    EXPECT_EQ(g.RowSize, (std::vector<uint32_t>{3, 6}));
    const uint8_t* bottom = g.ScanLine(1);
    const uint8_t* top = g.ScanLine(0);
    EXPECT_EQ(std::vector<uint8_t>(bottom, bottom + 4), (std::vector<uint8_t>{9, 9, 9, 9}));
    EXPECT_EQ(std::vector<uint8_t>(top, top + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(Sgi, DamagedRowsGiveAWrongPictureNotAFault)
{
    // Rows whose start lies past the end, whose size claims gigabytes, and
    // one without its closing zero count.
    TByteWriter w;
    w.Append(Header(1, 1, 8, 3, 1));
    w.BE32(0x7FFFFFF0).BE32(536).BE32(542);
    w.BE32(10).BE32(0xFFFFFFFF).BE32(2);
    w.List({0x7F, 5, 0x85, 1, 2, 3});
    w.List({0x82, 7});
    TSGIGraphic g;
    Load(g, w.Bytes);
    EXPECT_EQ(g.GetPixel(0, 2), RGB(0, 0, 0));
    EXPECT_EQ(g.GetPixel(7, 1), RGB(5, 5, 5));
    EXPECT_EQ(g.GetPixel(0, 0), RGB(7, 7, 7));
    EXPECT_EQ(g.GetPixel(1, 0), RGB(0, 0, 0));

    // A raw file cut short leaves the missing rows black.
    TByteWriter raw;
    raw.Append(Header(0, 1, 4, 3, 1));
    raw.List({1, 1, 1, 1, 2, 2});
    TSGIGraphic r;
    Load(r, raw.Bytes);
    EXPECT_EQ(r.GetPixel(0, 2), RGB(1, 1, 1));
    EXPECT_EQ(r.GetPixel(1, 1), RGB(2, 2, 2));
    EXPECT_EQ(r.GetPixel(2, 1), RGB(0, 0, 0));
    EXPECT_EQ(r.GetPixel(0, 0), RGB(0, 0, 0));
}

TEST(Sgi, RefusesWhatItCannotRead)
{
    const std::string refused = "Cannot load image. Invalid or unexpected sgi, bw or rgb(a) image format.";
    auto bad = Header(0, 1, 1, 1, 3);
    bad[1] = 0xDB;
    EXPECT_EQ(LoadError<TSGIGraphic>(bad), refused);
    EXPECT_EQ(LoadError<TSGIGraphic>(Header(0, 3, 1, 1, 3)), refused);
    EXPECT_EQ(LoadError<TSGIGraphic>(Header(0, 1, 1, 1, 0)), "Sample count per pixel does not correspond to the given color scheme.");
    EXPECT_EQ(LoadError<TSGIGraphic>(Header(0, 1, 1, 1, 5)), "Sample count per pixel does not correspond to the given color scheme.");
    // Tables the file does not hold, and a header cut short.
    EXPECT_EQ(LoadError<TSGIGraphic>(Header(1, 1, 10, 1000, 3)), "Stream read error");
    EXPECT_EQ(LoadError<TSGIGraphic>(std::vector<uint8_t>(100, 0)), "Stream read error");
}

TEST(Sgi, CanLoadTestsTheHeaderAndKeepsThePosition)
{
    TSGIGraphic g;
    auto bytes = Header(0, 1, 1, 1, 3);
    bytes.resize(600);
    TMemoryStream ok(bytes.data(), bytes.size());
    ok.SetPosition(0);
    EXPECT_TRUE(g.CanLoad(ok));
    EXPECT_EQ(ok.Position(), 0);
    bytes[3] = 4;  // bytes per channel
    TMemoryStream badDepth(bytes.data(), bytes.size());
    EXPECT_FALSE(g.CanLoad(badDepth));
    bytes[3] = 2;
    bytes[5] = 4;  // dimension
    TMemoryStream badDimension(bytes.data(), bytes.size());
    EXPECT_FALSE(g.CanLoad(badDimension));
    TMemoryStream tiny(bytes.data(), 512);
    EXPECT_FALSE(g.CanLoad(tiny));
}

}  // namespace
