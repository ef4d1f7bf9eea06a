// Bitmap files as ImageMagick writes them (some re-encoded by hand) read
// like ImageMagick reads them; bitmaps written by us read back in it; and
// files that are not right.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/gdi/graphics.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/rle8_walks.h"
#include "support/temp_dir.h"

namespace {

constexpr int kWidth = 61, kHeight = 37;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A 4-bit file re-encoded as RLE4: runs of two pixels, and on every third
// row first an absolute stretch of 10 pixels (5 bytes, padded to 6).
void EncodeRle4(std::vector<uint8_t>& f)
{
    const uint32_t offset = Get32(f, 10);
    const int stride = ((kWidth * 4 + 31) / 32) * 4;
    std::vector<uint8_t> rle(f.begin(), f.begin() + offset);
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t* row = f.data() + offset + static_cast<size_t>(y) * stride;
        int x = 0;
        if (y % 3 == 1) {
            rle.insert(rle.end(), {0, 10});
            rle.insert(rle.end(), row, row + 5);
            rle.push_back(0);
            x = 10;
        }
        for (; x < kWidth; x += 2) rle.insert(rle.end(), {static_cast<uint8_t>(std::min(2, kWidth - x)), row[x / 2]});
        rle.insert(rle.end(), {0, 0});
    }
    rle.insert(rle.end(), {0, 1});
    Put32(rle, 30, 2);
    Put32(rle, 34, static_cast<uint32_t>(rle.size() - offset));
    Put32(rle, 2, static_cast<uint32_t>(rle.size()));
    f = rle;
}
// Without masks 16 bits mean 5-5-5.
void DropMasks(std::vector<uint8_t>& f) { Put32(f, 30, 0); }
// Masks that are no native layout: red and blue swapped.
void SwapRedAndBlueMasks(std::vector<uint8_t>& f)
{
    const uint32_t red = Get32(f, 54);
    Put32(f, 54, Get32(f, 62));
    Put32(f, 62, red);
}
void StoreTopDown(std::vector<uint8_t>& f)
{
    const uint32_t offset = Get32(f, 10);
    const size_t stride = ((kWidth * 24 + 31) / 32) * 4;
    std::vector<uint8_t> flipped(f.begin(), f.begin() + offset);
    for (int y = kHeight - 1; y >= 0; --y)
        flipped.insert(flipped.end(), f.begin() + offset + y * stride, f.begin() + offset + (y + 1) * stride);
    Put32(flipped, 22, static_cast<uint32_t>(-kHeight));
    f = flipped;
}

struct TVariant {
    const char* name;
    std::vector<std::string> options;
    const char* format;  // ImageMagick's bmp3, bmp (version 5 header) or bmp2 (core header)
    int bits;
    uint32_t compression;
    void (*edit)(std::vector<uint8_t>&) = nullptr;
    int tolerance = 0;
    bool alpha = false;
};

const TVariant kVariants[] = {
    {"mono", {"-monochrome"}, "bmp", 1, 0},
    {"four", {"-colors", "16", "-type", "Palette"}, "bmp", 4, 0},
    {"eight", {"-type", "Palette", "-compress", "None"}, "bmp3", 8, 0},
    {"eight5", {"-type", "Palette", "-compress", "None"}, "bmp", 8, 0},
    {"rle8", {"-type", "Palette", "-compress", "RLE"}, "bmp", 8, 1},
    {"rle4", {"-colors", "16", "-type", "Palette"}, "bmp3", 4, 2, EncodeRle4},
    {"565", {"-define", "bmp:subtype=RGB565"}, "bmp", 16, 3, nullptr, 1},
    {"555", {"-define", "bmp:subtype=RGB555"}, "bmp", 16, 3, nullptr, 1},
    {"555plain", {"-define", "bmp:subtype=RGB555"}, "bmp", 16, 0, DropMasks, 1},
    {"24", {"-type", "TrueColor"}, "bmp3", 24, 0},
    {"24v5", {"-type", "TrueColor"}, "bmp", 24, 0},
    {"core", {"-type", "TrueColor"}, "bmp2", 24, 0},
    {"topdown", {"-type", "TrueColor"}, "bmp3", 24, 0, StoreTopDown},
    {"argb", {}, "bmp", 32, 3, nullptr, 0, true},
    {"swapped", {}, "bmp", 32, 3, SwapRedAndBlueMasks, 0, true},
};

TEST(BitmapFiles, EveryVariantReadsLikeImageMagickReadsIt)
{
    if (ConvertProgram().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    TempDir dir;
    const std::string source = dir.file("source.pam");
    WritePamRgba(source, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    for (const TVariant& v : kVariants) {
        SCOPED_TRACE(v.name);
        const std::string file = dir.file(std::string(v.name) + ".bmp");
        std::string log;
        ASSERT_TRUE(ConvertPicture(source, v.alpha, v.options, std::string(v.format) + ":" + file, &log)) << log;
        std::vector<uint8_t> bytes = ReadFileBytes(file);
        if (v.edit) {
            v.edit(bytes);
            WriteFileBytes(file, bytes);
        }
        if (Get32(bytes, 14) != 12) {  // a core header keeps its fields elsewhere
            EXPECT_EQ(std::make_pair(int(bytes[28]), Get32(bytes, 30)), std::make_pair(v.bits, v.compression));
        }
        TReferenceImage reference;
        ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
        TBitmap bitmap;
        bitmap.LoadFromFile(file);
        EXPECT_EQ(ComparePixels(bitmap, reference, v.tolerance, v.alpha), "");
    }
}

TEST(BitmapFiles, WrittenBitmapsReadBackInImageMagickAndInOurs)
{
    if (ConvertProgram().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    TempDir dir;
    const auto rgb = TestPatternRgb(kWidth, kHeight);
    for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(format);
        TBitmap bitmap, back;
        bitmap.SetPixelFormat(format);
        bitmap.SetSize(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
                bitmap.SetPixel(x, y, RGB(p[0], p[1], p[2]));
            }
        const std::string file = dir.file("ours" + std::to_string(format) + ".bmp");
        bitmap.SaveToFile(file);
        TReferenceImage reference;
        std::string log;
        ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
        EXPECT_EQ(ComparePixels(bitmap, reference, format == pf15bit || format == pf16bit ? 1 : 0), "");
        back.LoadFromFile(file);  // our reader keeps the format
        EXPECT_EQ(back.PixelFormat(), format);
    }
}

// The headers of a small bitmap file; its pixels are appended by the test.
std::vector<uint8_t> SmallBitmap(int bitCount, uint32_t compression, int width, int height, int colours = 0)
{
    std::vector<uint8_t> b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 10, 54 + 4 * colours);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(width));
    Put32(b, 22, static_cast<uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<uint8_t>(bitCount);
    Put32(b, 30, compression);
    Put32(b, 46, static_cast<uint32_t>(colours));
    for (int i = 0; i < colours; ++i) b.insert(b.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    return b;
}

// What reading the bytes gives: "" when they load, else the error.
std::string Load(TBitmap& b, const std::vector<uint8_t>& bytes)
{
    TMemoryStream s(bytes.data(), bytes.size());
    try {
        b.LoadFromStream(s);
    } catch (const EReadError&) {
        return "read error";
    } catch (const EInvalidGraphic& e) {
        return e.what();
    }
    return "";
}

TEST(BitmapFile, FilesThatAreNotRightAreRefused)
{
    const std::string invalid = "Cannot load image. Invalid or unexpected BMP image format.";
    std::vector<uint8_t> headerSize7 = SmallBitmap(24, 0, 1, 1);
    Put32(headerSize7, 14, 7);
    const std::pair<std::vector<uint8_t>, std::string> refusals[] = {
        {SmallBitmap(7, 0, 1, 1), invalid},
        {SmallBitmap(24, 4, 1, 1), invalid},  // embedded JPEG
        {SmallBitmap(24, 1, 1, 1), invalid},  // RLE8 of 24 bits
        {SmallBitmap(24, 0, 0, 1), invalid},
        {SmallBitmap(24, 0, 1, 0), invalid},
        {headerSize7, invalid},
        // Missing pixel data is found before the picture is allocated.
        {SmallBitmap(32, 0, 30000, 30000), "read error"},
        {{'B', 'M', 1}, "read error"},
    };
    TBitmap b;
    int row = 0;
    for (const auto& [bytes, error] : refusals) EXPECT_EQ(Load(b, bytes), error) << row++;
}

TEST(BitmapFile, DamagedRunsShortTablesAndBareHeaders)
{
    TBitmap b;
    // A run of 200 in a row of 4, a delta far outside, then a run on row 1.
    auto f = SmallBitmap(8, 1, 4, 2, 256);
    f.insert(f.end(), {200, 9, 0, 0, 0, 2, 255, 255, 3, 7, 0, 1});
    ASSERT_EQ(Load(b, f), "");
    EXPECT_EQ(b.ScanLine(1)[3], 9);  // file row 0 is the bottom row
    EXPECT_EQ(b.ScanLine(0)[0], 0);  // the delta left the picture: nothing more is drawn
    // An absolute stretch longer than the data left.
    f = SmallBitmap(8, 1, 4, 1, 256);
    f.insert(f.end(), {0, 50, 1, 2});
    ASSERT_EQ(Load(b, f), "");
    EXPECT_EQ(std::vector<uint8_t>(b.ScanLine(0), b.ScanLine(0) + 3), (std::vector<uint8_t>{1, 2, 0}));
    // Indexes past a short colour table read as black.
    f = SmallBitmap(8, 0, 1, 1, 2);
    f.insert(f.end(), {200, 0, 0, 0});
    ASSERT_EQ(Load(b, f), "");
    EXPECT_EQ(b.GetPixel(0, 0), clBlack);
    EXPECT_EQ(b.Palette()->entries.size(), 256u);
    // A bare device-independent bitmap, without the file header.
    f = SmallBitmap(24, 0, 1, 1);
    f.erase(f.begin(), f.begin() + 14);
    f.insert(f.end(), {10, 20, 30, 0});
    ASSERT_EQ(Load(b, f), "");
    EXPECT_EQ(b.GetPixel(0, 0), RGB(30, 20, 10));
}

// A one-pixel file with an info header of the given size: the fields every
// version has, the compression and colour count where the header holds them,
// then `extra` (masks or a colour table) and the pixel row.
std::vector<uint8_t> OnePixelFile(uint32_t headerSize, int bitCount, uint32_t compression, uint32_t colours,
                                  const std::vector<uint8_t>& extra, const std::vector<uint8_t>& row)
{
    std::vector<uint8_t> b(14 + headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 10, static_cast<uint32_t>(14 + headerSize + extra.size()));
    Put32(b, 14, headerSize);
    Put32(b, 18, 1);
    Put32(b, 22, 1);
    b[26] = 1;
    b[28] = static_cast<uint8_t>(bitCount);
    if (headerSize >= 20) Put32(b, 30, compression);
    if (headerSize >= 36) Put32(b, 46, colours);
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), row.begin(), row.end());
    return b;
}

TEST(BitmapFile, HeaderVersionsMasksAfterTheHeaderAndUnusedTables)
{
    const std::string invalid = "Cannot load image. Invalid or unexpected BMP image format.";
    const std::vector<uint8_t> bgr = {30, 20, 10, 0};
    // A mask for each channel, alpha in the top byte: red in the lowest.
    const std::vector<uint8_t> fourMasks = {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF};
    struct {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string error;
        TColor pixel;
    } const cases[] = {
        {"OS/2 short header", OnePixelFile(16, 24, 0, 0, {}, bgr), "", RGB(10, 20, 30)},
        {"OS/2 full header", OnePixelFile(64, 24, 0, 0, {}, bgr), "", RGB(10, 20, 30)},
        {"OS/2 bit fields", OnePixelFile(64, 32, 3, 0, {}, {1, 2, 3, 4}), invalid, 0},
        {"four masks after a version 1 header", OnePixelFile(40, 32, 6, 0, fourMasks, {10, 20, 30, 40}), "",
         RGB(10, 20, 30)},
        {"header larger than its known fields", OnePixelFile(200, 24, 0, 0, {}, bgr), "", RGB(10, 20, 30)},
        {"colour table of a 24-bit picture", OnePixelFile(40, 24, 0, 2, std::vector<uint8_t>(8, 0xFF), bgr), "",
         RGB(10, 20, 30)},
    };
    TBitmap b;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Load(b, c.bytes), c.error);
        if (c.error.empty()) { EXPECT_EQ(b.GetPixel(0, 0), c.pixel); }
    }
    // Without a file header no data offset bounds the table: more colours
    // than any table holds are refused.
    auto bare = OnePixelFile(40, 8, 0, 70000, {}, {0, 0, 0, 0});
    bare.erase(bare.begin(), bare.begin() + 14);
    EXPECT_EQ(Load(b, bare), invalid);
}

}  // namespace

namespace {

// Run-length data: a run of 8 fives on file row 0, then `middle`, an end
// of line, a run of 8 sevens on row 1 and the end of the bitmap.
std::vector<uint8_t> RowsAroundRuns(const std::vector<uint8_t>& middle)
{
    std::vector<uint8_t> d = {8, 5};
    d.insert(d.end(), middle.begin(), middle.end());
    d.insert(d.end(), {0, 0, 8, 7, 0, 1});
    return d;
}

// The column walked round to -8, then a run of 8 ones that would land
// before the row.
std::vector<uint8_t> WalkThenDeltasTo8BeforeTheRow()
{
    std::vector<uint8_t> d = Rle8WalkRoundToMinus8();
    d.insert(d.end(), {8, 1});
    return d;
}

TEST(BitmapFile, RunsAndDeltasNeverCarryTheColumnOutOfItsRow)
{
    struct {
        const char* name;
        std::vector<uint8_t> middle;
    } const cases[] = {
        {"runs past 2^31", Rle8RunsPast2To31()},
        {"runs to 2^31, deltas round to -8", WalkThenDeltasTo8BeforeTheRow()},
        {"an absolute stretch past the row end", {0, 3, 9, 9, 9, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Stored top-down, so that file row 0 is the first in memory.
        auto f = SmallBitmap(8, 1, 8, -2, 256);
        const auto data = RowsAroundRuns(c.middle);
        f.insert(f.end(), data.begin(), data.end());
        TBitmap b;
        ASSERT_EQ(Load(b, f), "");
        EXPECT_EQ(std::vector<uint8_t>(b.ScanLine(0), b.ScanLine(0) + 8), std::vector<uint8_t>(8, 5));
        EXPECT_EQ(std::vector<uint8_t>(b.ScanLine(1), b.ScanLine(1) + 8), std::vector<uint8_t>(8, 7));
    }
}

// Once the last row is full, only its end of line and the end of the
// bitmap are taken; what follows is left in the stream, as the data of an
// icon's mask is.
TEST(BitmapFile, RunLengthDataEndsOnceThePictureIsFull)
{
    std::vector<uint8_t> manyRuns = {8, 5};
    for (int i = 0; i < 1000; ++i) manyRuns.insert(manyRuns.end(), {0xFF, 6});
    manyRuns.insert(manyRuns.end(), {0, 1});
    struct {
        const char* name;
        int width, height;
        std::vector<uint8_t> data;
        int64_t used;
        uint8_t firstPixel;  // of file row 0
    } const cases[] = {
        {"runs after the last row is full", 8, 1, manyRuns, 2, 5},
        {"the end of line and of the bitmap", 8, 1, {8, 5, 0, 0, 0, 1, 0xFF, 6}, 6, 5},
        {"the end of the bitmap after a full row", 8, 1, {8, 5, 0, 1, 0, 0}, 4, 5},
        {"a delta below the picture", 8, 2, {0, 2, 0, 5, 0, 1, 8, 5}, 6, 0},
        {"an end of line below the picture", 8, 1, {0, 0, 0, 0, 8, 5}, 2, 0},
        {"a short picture", 8, 2, {8, 5, 0, 0, 4, 5}, 6, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = SmallBitmap(8, 1, c.width, c.height, 256);
        const int64_t start = static_cast<int64_t>(f.size());
        f.insert(f.end(), c.data.begin(), c.data.end());
        TMemoryStream s(f.data(), f.size());
        TBitmap b;
        b.LoadFromStream(s);
        EXPECT_EQ(s.Position() - start, c.used);
        EXPECT_EQ(b.ScanLine(c.height - 1)[0], c.firstPixel);
    }
}

}  // namespace
