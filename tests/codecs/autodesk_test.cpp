#include <gtest/gtest.h>

#include "codecs/autodesk.h"
#include "platform/rtl/classes.h"
#include "support/byte_writer.h"
#include "support/temp_dir.h"
#include "load_bytes.h"

namespace {

// A cel: header, 256 colours of 6 bits per channel, then the rows.
std::vector<uint8_t> CelFile(int width, int height, const std::vector<uint8_t>& rows, int depth = 8, int compression = 0)
{
    TByteWriter w;
    w.LE16(0x9119).LE16(width).LE16(height).LE16(0).LE16(0).U8(depth).U8(compression);
    w.LE32(static_cast<uint32_t>(width * height)).Fill(16);
    for (int i = 0; i < 256; ++i) w.U8(i & 63).U8(63 - (i & 63)).U8(i >> 2);
    w.Append(rows);
    return w.Bytes;
}

TEST(Autodesk, RowsTopFirstWithTheVgaPaletteWidened)
{
    TempDir dir;
    WriteFileBytes(dir.file("a.cel"), CelFile(3, 2, {0, 1, 63, 255, 64, 2}));
    TAutodeskGraphic g;
    g.LoadFromFile(dir.file("a.cel"));
    ASSERT_EQ(g.PixelFormat(), pf8bit);
    ASSERT_EQ(g.Width(), 3);
    ASSERT_EQ(g.Height(), 2);
    EXPECT_EQ(g.GetPixel(0, 0), RGB(0, 252, 0));
    EXPECT_EQ(g.GetPixel(1, 0), RGB(4, 248, 0));
    EXPECT_EQ(g.GetPixel(2, 0), RGB(252, 0, 60));  // 63 becomes 252
    EXPECT_EQ(g.GetPixel(0, 1), RGB(252, 0, 252));
    EXPECT_EQ(g.GetPixel(1, 1), RGB(0, 252, 64));
    EXPECT_EQ(g.ImageProperties.ColorScheme, csIndexed);
    EXPECT_EQ(g.ImageProperties.Compression, ctNone);
}

TEST(Autodesk, PaletteValuesAboveSixBitsKeepTheLowBitsOfTheProduct)
{
    auto bytes = CelFile(1, 1, {0});
    bytes[32] = 100;  // red of entry 0: 400 keeps 144
    TAutodeskGraphic g;
    Load(g, bytes);
    EXPECT_EQ(GetRValue(g.GetPixel(0, 0)), 144);
}

TEST(Autodesk, ShortFilesAreNoError)
{
    TAutodeskGraphic g;
    Load(g, CelFile(4, 3, {5, 5, 5, 5, 6}));
    EXPECT_EQ(g.ScanLine(0)[3], 5);
    EXPECT_EQ(g.ScanLine(1)[0], 6);
    EXPECT_EQ(g.ScanLine(1)[1], 0);
    EXPECT_EQ(g.ScanLine(2)[0], 0);

    // Even the palette may be cut short.
    const auto whole = CelFile(2, 2, {});
    TAutodeskGraphic cut;
    Load(cut, std::vector<uint8_t>(whole.begin(), whole.begin() + 40));
    EXPECT_EQ(cut.Width(), 2);
    EXPECT_EQ(cut.GetPixel(0, 0), RGB(0, 252, 0));
    ASSERT_TRUE(cut.Palette());
    EXPECT_EQ(cut.Palette()->entries[3].peGreen, 0);
}

TEST(Autodesk, OtherMagicIsRefused)
{
    auto bytes = CelFile(1, 1, {0});
    bytes[0] = 0x18;
    TAutodeskGraphic g;
    try {
        Load(g, bytes);
        FAIL() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected Autodesk image format.");
    }
}

TEST(Autodesk, CanLoadWantsEightBitsUncompressed)
{
    TAutodeskGraphic g;
    auto check = [&](const std::vector<uint8_t>& bytes) {
        TMemoryStream s(bytes.data(), bytes.size());
        const bool ok = g.CanLoad(s);
        EXPECT_EQ(s.Position(), 0);
        return ok;
    };
    EXPECT_TRUE(check(CelFile(1, 1, {0})));
    EXPECT_FALSE(check(CelFile(1, 1, {0}, 4)));
    EXPECT_FALSE(check(CelFile(1, 1, {0}, 8, 1)));
    const auto header = CelFile(1, 1, {});
    EXPECT_FALSE(check(std::vector<uint8_t>(header.begin(), header.begin() + 32)));
}

}  // namespace
