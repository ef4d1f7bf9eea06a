#include <gtest/gtest.h>

#include <cstring>

#include "platform/gdi/graphics.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/temp_dir.h"

namespace {

constexpr int kWidth = 61;
constexpr int kHeight = 37;

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24; }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class BitmapFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ConvertProgram().empty()) GTEST_SKIP() << "ImageMagick's convert is not installed";
        source_ = dir_.file("source.pam");
        WritePamRgba(source_, kWidth, kHeight, TestPatternRgba(kWidth, kHeight));
    }

    // Has ImageMagick write the source with the options, as `format:name`.
    std::string Make(const std::string& name, std::vector<std::string> options, const std::string& format = "bmp",
                     bool alpha = false)
    {
        const std::string file = dir_.file(name + ".bmp");
        std::string log;
        EXPECT_TRUE(ConvertPicture(source_, alpha, options, format + ":" + file, &log)) << log;
        return file;
    }

    // Loads the file with TBitmap and compares it with ImageMagick's decoding.
    void Check(const std::string& file, int bitCount, uint32_t compression, int tolerance = 0, bool alpha = false)
    {
        const auto bytes = ReadFileBytes(file);
        ASSERT_GT(bytes.size(), 54u);
        if (Get32(bytes, 14) != 12) {
            EXPECT_EQ(bytes[28], bitCount) << file;
            EXPECT_EQ(Get32(bytes, 30), compression) << file;
        }
        TReferenceImage reference;
        std::string log;
        ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
        TBitmap bitmap;
        bitmap.LoadFromFile(file);
        EXPECT_EQ(ComparePixels(bitmap, reference, tolerance, alpha), "") << file;
    }

    TempDir dir_;
    std::string source_;
};

TEST_F(BitmapFiles, IndexedDepths)
{
    Check(Make("mono", {"-monochrome"}), 1, 0);
    Check(Make("four", {"-colors", "16", "-type", "Palette"}), 4, 0);
    Check(Make("eight", {"-type", "Palette", "-compress", "None"}, "bmp3"), 8, 0);
    Check(Make("eight5", {"-type", "Palette", "-compress", "None"}), 8, 0);
}

TEST_F(BitmapFiles, RunLengthEncoded)
{
    Check(Make("rle8", {"-type", "Palette", "-compress", "RLE"}), 8, 1);

    // RLE4: a 4-bit file re-encoded by hand, runs of two pixels and
    // absolute stretches, then decoded by both readers.
    const auto plain = ReadFileBytes(Make("four3", {"-colors", "16", "-type", "Palette"}, "bmp3"));
    const uint32_t offset = Get32(plain, 10);
    const int stride = ((kWidth * 4 + 31) / 32) * 4;
    std::vector<uint8_t> rle(plain.begin(), plain.begin() + offset);
    for (int y = 0; y < kHeight; ++y) {
        const uint8_t* row = plain.data() + offset + static_cast<size_t>(y) * stride;
        int x = 0;
        if (y % 3 == 1) {
            // An absolute stretch of 10 pixels (5 bytes, padded to 6).
            rle.insert(rle.end(), {0, 10});
            rle.insert(rle.end(), row, row + 5);
            rle.push_back(0);
            x = 10;
        }
        for (; x < kWidth; x += 2) {
            const int n = std::min(2, kWidth - x);
            rle.insert(rle.end(), {static_cast<uint8_t>(n), row[x / 2]});
        }
        rle.insert(rle.end(), {0, 0});
    }
    rle.insert(rle.end(), {0, 1});
    Put32(rle, 30, 2);
    Put32(rle, 34, static_cast<uint32_t>(rle.size() - offset));
    Put32(rle, 2, static_cast<uint32_t>(rle.size()));
    WriteFileBytes(dir_.file("rle4.bmp"), rle);
    Check(dir_.file("rle4.bmp"), 4, 2);
}

TEST_F(BitmapFiles, SixteenBits)
{
    Check(Make("565", {"-define", "bmp:subtype=RGB565"}), 16, 3, 1);
    const std::string file555 = Make("555", {"-define", "bmp:subtype=RGB555"});
    Check(file555, 16, 3, 1);
    // The same pixels without masks: 5-5-5 is what 16 bits mean then.
    auto bytes = ReadFileBytes(file555);
    Put32(bytes, 30, 0);
    WriteFileBytes(dir_.file("555plain.bmp"), bytes);
    Check(dir_.file("555plain.bmp"), 16, 0, 1);
}

TEST_F(BitmapFiles, TrueColourAndMasks)
{
    Check(Make("24", {"-type", "TrueColor"}, "bmp3"), 24, 0);
    Check(Make("24v5", {"-type", "TrueColor"}), 24, 0);
    Check(Make("core", {"-type", "TrueColor"}, "bmp2"), 24, 0);
    const std::string argb = Make("argb", {}, "bmp", true);
    Check(argb, 32, 3, 0, true);
    // Masks that are no native layout: red and blue swapped.
    auto bytes = ReadFileBytes(argb);
    const uint32_t red = Get32(bytes, 54), blue = Get32(bytes, 62);
    Put32(bytes, 54, blue);
    Put32(bytes, 62, red);
    WriteFileBytes(dir_.file("swapped.bmp"), bytes);
    Check(dir_.file("swapped.bmp"), 32, 3, 0, true);
}

TEST_F(BitmapFiles, TopDownRows)
{
    auto bytes = ReadFileBytes(Make("bottomup", {"-type", "TrueColor"}, "bmp3"));
    const uint32_t offset = Get32(bytes, 10);
    const size_t stride = ((kWidth * 24 + 31) / 32) * 4;
    std::vector<uint8_t> flipped(bytes.begin(), bytes.begin() + offset);
    for (int y = kHeight - 1; y >= 0; --y) {
        const auto* row = bytes.data() + offset + y * stride;
        flipped.insert(flipped.end(), row, row + stride);
    }
    Put32(flipped, 22, static_cast<uint32_t>(-kHeight));
    WriteFileBytes(dir_.file("topdown.bmp"), flipped);
    Check(dir_.file("topdown.bmp"), 24, 0);
    TBitmap a, b;
    a.LoadFromFile(dir_.file("topdown.bmp"));
    WriteFileBytes(dir_.file("bottomup.bmp"), bytes);
    b.LoadFromFile(dir_.file("bottomup.bmp"));
    for (int y = 0; y < kHeight; ++y) EXPECT_EQ(std::memcmp(a.ScanLine(y), b.ScanLine(y), kWidth * 3), 0) << y;
}

TEST_F(BitmapFiles, WrittenBitmapsReadBackInImageMagick)
{
    int n = 0;
    for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        TBitmap bitmap;
        bitmap.SetPixelFormat(format);
        bitmap.SetSize(kWidth, kHeight);
        const auto rgb = TestPatternRgb(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
                bitmap.SetPixel(x, y, RGB(p[0], p[1], p[2]));
            }
        const std::string file = dir_.file("ours" + std::to_string(n++) + ".bmp");
        bitmap.SaveToFile(file);
        TReferenceImage reference;
        std::string log;
        ASSERT_TRUE(ReadReference(file, reference, &log)) << log;
        EXPECT_EQ(ComparePixels(bitmap, reference, format == pf15bit || format == pf16bit ? 1 : 0), "") << format;
        TBitmap back;
        back.LoadFromFile(file);
        EXPECT_EQ(back.PixelFormat(), format == pf32bit ? pf32bit : format);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) ASSERT_EQ(back.GetPixel(x, y), bitmap.GetPixel(x, y));
    }
}

// ---- files that are not right ----------------------------------------------

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

void LoadBytes(TBitmap& b, const std::vector<uint8_t>& bytes)
{
    TMemoryStream s(bytes.data(), bytes.size());
    b.LoadFromStream(s);
}

TEST(BitmapFile, BadHeadersAreRefusedWithTheFormatsMessage)
{
    TBitmap b;
    try {
        LoadBytes(b, SmallBitmap(7, 0, 1, 1));
        FAIL();
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected BMP image format.");
    }
    EXPECT_THROW(LoadBytes(b, SmallBitmap(24, 4, 1, 1)), EInvalidGraphic);    // embedded JPEG
    EXPECT_THROW(LoadBytes(b, SmallBitmap(24, 1, 1, 1)), EInvalidGraphic);    // RLE8 of 24 bits
    EXPECT_THROW(LoadBytes(b, SmallBitmap(24, 0, 0, 1)), EInvalidGraphic);    // no width
    EXPECT_THROW(LoadBytes(b, SmallBitmap(24, 0, 1, 0)), EInvalidGraphic);    // no height
    auto tiny = SmallBitmap(24, 0, 1, 1);
    Put32(tiny, 14, 7);
    EXPECT_THROW(LoadBytes(b, tiny), EInvalidGraphic);  // unknown header size
    // Missing pixel data is a read error, found before the picture is allocated.
    EXPECT_THROW(LoadBytes(b, SmallBitmap(32, 0, 30000, 30000)), EReadError);
    EXPECT_THROW(LoadBytes(b, {'B', 'M', 1}), EReadError);
}

TEST(BitmapFile, RunsThatLeaveThePictureAreClipped)
{
    TBitmap b;
    auto f = SmallBitmap(8, 1, 4, 2, 256);
    // A run of 200 in a row of 4, a delta far outside, then a run on row 1.
    f.insert(f.end(), {200, 9, 0, 0, 0, 2, 255, 255, 3, 7, 0, 1});
    LoadBytes(b, f);
    EXPECT_EQ(b.ScanLine(1)[3], 9);  // file row 0 is the bottom row
    EXPECT_EQ(b.ScanLine(0)[0], 0);  // the delta left the picture: nothing more is drawn
    // An absolute stretch longer than the data left.
    f = SmallBitmap(8, 1, 4, 1, 256);
    f.insert(f.end(), {0, 50, 1, 2});
    LoadBytes(b, f);
    EXPECT_EQ(b.ScanLine(0)[0], 1);
    EXPECT_EQ(b.ScanLine(0)[1], 2);
    EXPECT_EQ(b.ScanLine(0)[2], 0);
    // Indexes past a short colour table read as black.
    f = SmallBitmap(8, 0, 1, 1, 2);
    f.insert(f.end(), {200, 0, 0, 0});
    LoadBytes(b, f);
    EXPECT_EQ(b.GetPixel(0, 0), clBlack);
    EXPECT_EQ(b.Palette()->entries.size(), 256u);
}

TEST(BitmapFile, BareDeviceIndependentBitmapsLoadToo)
{
    auto f = SmallBitmap(24, 0, 1, 1);
    f.erase(f.begin(), f.begin() + 14);
    f.insert(f.end(), {10, 20, 30, 0});
    TBitmap b;
    LoadBytes(b, f);
    EXPECT_EQ(b.GetPixel(0, 0), RGB(30, 20, 10));
}

}  // namespace
