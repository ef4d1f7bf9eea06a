// Paint Shop Pro files built from the format's layout by the test writer.
#include <gtest/gtest.h>

#include <cstring>

#include "codecs/psp.h"
#include "platform/rtl/classes.h"
#include "support/imagemagick.h"
#include "support/psp_writer.h"
#include "load_bytes.h"

namespace {

constexpr int kWidth = 21;
constexpr int kHeight = 13;

// A 24-bit file of the test pattern, one plane per colour (and a
// transparency plane when asked).
TPspFile RgbFile(uint16_t major, uint16_t compression, bool transparency = false)
{
    const std::vector<uint8_t> rgb = TestPatternRgb(kWidth, kHeight);
    TPspFile f;
    f.Major = major;
    f.Width = kWidth;
    f.Height = kHeight;
    f.BitDepth = 24;
    f.Compression = compression;
    TPspLayer layer;
    for (uint16_t type : {1, 2, 3}) {
        TPspChannel c{type, {}};
        for (size_t i = 0; i < rgb.size(); i += 3) c.Plane.push_back(rgb[i + type - 1]);
        layer.Channels.push_back(c);
    }
    if (transparency) {
        TPspChannel alpha{0, {}};
        for (int i = 0; i < kWidth * kHeight; ++i) alpha.Plane.push_back(static_cast<uint8_t>(i * 5));
        layer.Channels.push_back(alpha);
    }
    f.Layers.push_back(layer);
    return f;
}

void ExpectPattern(const TPSPGraphic& psp)
{
    const std::vector<uint8_t> rgb = TestPatternRgb(kWidth, kHeight);
    ASSERT_EQ(psp.Width(), kWidth);
    ASSERT_EQ(psp.Height(), kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
            ASSERT_EQ(psp.GetPixel(x, y), RGB(p[0], p[1], p[2])) << x << "," << y;
        }
    }
}

struct PspCase {
    const char* name;
    uint16_t major;
    uint16_t compression;
};

class PspTrueColour : public ::testing::TestWithParam<PspCase> {};

TEST_P(PspTrueColour, ChannelsBecomeTheBitmap)
{
    const PspCase& c = GetParam();
    TPSPGraphic psp;
    Load(psp, WritePsp(RgbFile(c.major, c.compression)));
    EXPECT_EQ(psp.PixelFormat(), pf24bit);
    EXPECT_EQ(psp.ImageProperties.Version, c.major);
    ExpectPattern(psp);
}

INSTANTIATE_TEST_SUITE_P(Versions, PspTrueColour,
                         ::testing::Values(PspCase{"v5_plain", 5, 0}, PspCase{"v5_rle", 5, 1},
                                           PspCase{"v5_deflate", 5, 2}, PspCase{"v3_plain", 3, 0},
                                           PspCase{"v3_rle", 3, 1}, PspCase{"v3_deflate", 3, 2},
                                           PspCase{"v4_deflate", 4, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PspReader, TransparencyChannelBecomesAlpha)
{
    TPSPGraphic psp;
    Load(psp, WritePsp(RgbFile(5, 2, true)));
    ASSERT_EQ(psp.PixelFormat(), pf32bit);
    ExpectPattern(psp);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) ASSERT_EQ(psp.ScanLine(y)[4 * x + 3], static_cast<uint8_t>((y * kWidth + x) * 5));
}

// An indexed file of the depth: pixel (x, y) has index (x + 2y) mod colours.
TPspFile IndexedFile(uint16_t major, uint16_t depth, uint16_t compression, bool grey, int width = kWidth)
{
    TPspFile f;
    f.Major = major;
    f.Width = width;
    f.Height = kHeight;
    f.BitDepth = depth;
    f.Greyscale = grey;
    f.Compression = compression;
    const int colours = 1 << depth;
    if (!grey)
        for (int i = 0; i < colours; ++i)
            f.Palette.push_back({static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3)});
    const size_t row = PspRowSize(width, depth);
    TPspChannel c{0, std::vector<uint8_t>(row * kHeight, 0)};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned v = static_cast<unsigned>((x + 2 * y) % colours);
            const size_t bit = size_t(x) * depth;
            c.Plane[y * row + bit / 8] |= static_cast<uint8_t>(v << (8 - depth - bit % 8));
        }
    }
    f.Layers.push_back(TPspLayer{0, "Background", {c}});
    return f;
}

void ExpectIndexed(const TPSPGraphic& psp, uint16_t depth, bool grey, int width = kWidth)
{
    const int colours = 1 << depth;
    ASSERT_EQ(psp.Width(), width);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            const int i = (x + 2 * y) % colours;
            const int g = i * 255 / (colours - 1);
            const TColor expected = grey ? RGB(g, g, g) : RGB(uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3));
            ASSERT_EQ(psp.GetPixel(x, y), expected) << x << "," << y;
        }
    }
}

TEST(PspReader, PaletteAndGrayPicturesOfEveryDepth)
{
    for (uint16_t major : {3, 5}) {
        for (uint16_t compression : {0, 1, 2}) {
            for (uint16_t depth : {1, 4, 8}) {
                SCOPED_TRACE(testing::Message() << "major " << major << " compression " << compression << " depth " << depth);
                TPSPGraphic psp;
                Load(psp, WritePsp(IndexedFile(major, depth, compression, false)));
                EXPECT_EQ(psp.PixelFormat(), depth == 1 ? pf1bit : (depth == 4 ? pf4bit : pf8bit));
                ExpectIndexed(psp, depth, false);
            }
            TPSPGraphic gray;
            Load(gray, WritePsp(IndexedFile(major, 8, compression, true)));
            EXPECT_EQ(gray.ImageProperties.ColorScheme, csG);
            ExpectIndexed(gray, 8, true);
        }
    }
}

TEST(PspReader, OneBitRowsOfWidthTenTakeTwoBytes)
{
    EXPECT_EQ(PspRowSize(10, 1), 2u);
    TPSPGraphic psp;
    Load(psp, WritePsp(IndexedFile(5, 1, 0, false, 10)));
    ExpectIndexed(psp, 1, false, 10);
}

TEST(PspReader, LayersThatAreNotRasterLayersAreSkipped)
{
    // Later versions take the first layer of type 0 or 1.
    TPspFile f = RgbFile(5, 1);
    TPspLayer vector = f.Layers[0];
    vector.LayerType = 2;
    for (auto& c : vector.Channels) std::fill(c.Plane.begin(), c.Plane.end(), 0x11);
    f.Layers.insert(f.Layers.begin(), vector);
    TPSPGraphic psp;
    Load(psp, WritePsp(f));
    ExpectPattern(psp);

    // Version 3 takes only layers of type 0.
    TPspFile old = RgbFile(3, 0);
    TPspLayer other = old.Layers[0];
    other.LayerType = 1;
    for (auto& c : other.Channels) std::fill(c.Plane.begin(), c.Plane.end(), 0x22);
    old.Layers.insert(old.Layers.begin(), other);
    TPSPGraphic v3;
    Load(v3, WritePsp(old));
    ExpectPattern(v3);
}

TEST(PspReader, Properties)
{
    TPspFile f = RgbFile(5, 2);
    f.Resolution = 100;
    f.ResolutionMetric = 2;
    const std::vector<uint8_t> bytes = WritePsp(f);
    TMemoryStream stream(bytes.data(), bytes.size());
    TPSPGraphic psp;
    ASSERT_TRUE(psp.ReadImageProperties(stream, 0));
    const TImageProperties& p = psp.ImageProperties;
    EXPECT_EQ(p.Width, unsigned(kWidth));
    EXPECT_EQ(p.Height, unsigned(kHeight));
    EXPECT_EQ(p.Compression, ctLZ77);
    EXPECT_EQ(p.ColorScheme, csRGB);
    EXPECT_EQ(p.BitsPerPixel, 24);
    EXPECT_FLOAT_EQ(p.XResolution, 254.0f);
    EXPECT_FLOAT_EQ(p.YResolution, 254.0f);
}

TEST(PspReader, CanLoadTestsSignatureAndVersion)
{
    std::vector<uint8_t> bytes = WritePsp(RgbFile(5, 0));
    TMemoryStream stream(bytes.data(), bytes.size());
    TPSPGraphic psp;
    EXPECT_TRUE(psp.CanLoad(stream));
    EXPECT_EQ(stream.Position(), 0);
    // The signature is compared without case.
    for (size_t i = 0; i < 25; ++i)
        if (bytes[i] >= 'a' && bytes[i] <= 'z') bytes[i] = static_cast<uint8_t>(bytes[i] - 32);
    TMemoryStream upper(bytes.data(), bytes.size());
    EXPECT_TRUE(psp.CanLoad(upper));
    bytes[32] = 2;  // major version 2
    TMemoryStream old(bytes.data(), bytes.size());
    EXPECT_FALSE(psp.CanLoad(old));
    EXPECT_EQ(LoadError<TPSPGraphic>(bytes), "Cannot load image. Invalid or unexpected PSP image format.");
}

TEST(PspReader, Refusals)
{
    TPspFile deep = IndexedFile(5, 8, 0, true);
    deep.BitDepth = 16;
    EXPECT_EQ(LoadError<TPSPGraphic>(WritePsp(deep)), "Invalid color format in PSP file.");

    std::vector<uint8_t> bytes = WritePsp(RgbFile(5, 0));
    std::vector<uint8_t> wrong = bytes;
    wrong[0] = 'X';
    EXPECT_EQ(LoadError<TPSPGraphic>(wrong), "Cannot load image. Invalid or unexpected PSP image format.");

    // Cut inside the channel data.
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 40);
    EXPECT_EQ(LoadError<TPSPGraphic>(cut), "Stream read error");

    // A channel whose compressed length runs past the file.
    std::vector<uint8_t> longChannel = WritePsp(RgbFile(5, 1));
    const size_t last = longChannel.size();
    // The first channel's block: find its "~BK" header of type 5 and make its length huge.
    for (size_t i = 0; i + 20 < last; ++i) {
        if (longChannel[i] == '~' && longChannel[i + 1] == 'B' && longChannel[i + 4] == 5 && longChannel[i + 5] == 0) {
            const size_t compressedAt = i + 10 + 4;
            std::memset(&longChannel[compressedAt], 0xFF, 3);
            break;
        }
    }
    EXPECT_EQ(LoadError<TPSPGraphic>(longChannel), "Stream read error");
}

TEST(PspReader, ChannelsSayingMoreThanThePictureDecodeOnlyThePicture)
{
    // A deflate channel that expands far beyond its plane is cut at the plane.
    TPspFile f = RgbFile(5, 2);
    for (auto& c : f.Layers[0].Channels) c.Plane.resize(c.Plane.size() * 50, 7);
    TPSPGraphic psp;
    Load(psp, WritePsp(f));
    ExpectPattern(psp);
}

TEST(PspReader, AnEmptyChannelLeavesItsPlaneBlack)
{
    TPspFile f = RgbFile(5, 0);
    f.Layers[0].Channels[0].Plane.clear();  // red stored with no bytes at all
    TPSPGraphic psp;
    Load(psp, WritePsp(f));
    const std::vector<uint8_t> rgb = TestPatternRgb(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
            ASSERT_EQ(psp.GetPixel(x, y), RGB(0, p[1], p[2])) << x << "," << y;
        }
}

}  // namespace
