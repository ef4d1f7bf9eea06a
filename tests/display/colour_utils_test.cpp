// Colour utilities: palettes, block copies, 1555 conversion, shading, blending.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/colour_utils.h"

namespace {

uint16_t Pixel16(const TBitmap& b, int x, int y)
{
    uint16_t p;
    std::memcpy(&p, b.ScanLine(y) + 2 * x, 2);
    return p;
}

void SetPixel16(TBitmap& b, int x, int y, uint16_t p) { std::memcpy(b.ScanLine(y) + 2 * x, &p, 2); }

void Shape(TBitmap& b, int w, int h, TPixelFormat f)
{
    b.SetPixelFormat(f);
    b.SetSize(w, h);
}

}  // namespace

TEST(ColourUtils, PaletteFromRGB6)
{
    std::vector<uint8_t> rgb6(768);
    for (int i = 0; i < 768; ++i) rgb6[size_t(i)] = uint8_t(i % 64);
    rgb6[0] = 63;
    rgb6[1] = 0;
    rgb6[2] = 32;
    HPALETTE pal;
    PaletteFromRGB6(rgb6.data(), pal);
    ASSERT_TRUE(pal);
    TPaletteEntry e[256];
    EXPECT_EQ(GetPaletteEntries(pal, 0, 256, e), 256u);
    EXPECT_EQ(e[0].peRed, 252);
    EXPECT_EQ(e[0].peGreen, 0);
    EXPECT_EQ(e[0].peBlue, 128);
    EXPECT_EQ(e[0].peFlags, 0);
    EXPECT_EQ(e[100].peRed, (300 % 64) * 4);
    EXPECT_EQ(e[255].peBlue, (767 % 64) * 4);
}

TEST(ColourUtils, BlockBytesPerPixel)
{
    EXPECT_EQ(BlockBytesPerPixel(pf8bit), 1);
    EXPECT_EQ(BlockBytesPerPixel(pf15bit), 2);
    EXPECT_EQ(BlockBytesPerPixel(pf16bit), 2);
    EXPECT_EQ(BlockBytesPerPixel(pf24bit), 3);
    EXPECT_EQ(BlockBytesPerPixel(pf32bit), 4);
    EXPECT_EQ(BlockBytesPerPixel(pf1bit), 2);
    EXPECT_EQ(BlockBytesPerPixel(pfDevice), 2);
    EXPECT_EQ(BlockBytesPerPixel(pfCustom), 2);
}

TEST(ColourUtils, BlockCopiesRoundTripRowByRow)
{
    // 3 pixels of 3 bytes: 9 bytes per row, padded to 12 in the bitmap.
    TBitmap b;
    Shape(b, 3, 4, pf24bit);
    std::vector<uint8_t> block(36);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i + 1);
    BitmapFromBuffer(b, 36, block.data());
    EXPECT_EQ(b.ScanLine(0)[0], 1);
    EXPECT_EQ(b.ScanLine(1)[0], 10);  // rows follow without gap in the block
    EXPECT_EQ(b.ScanLine(3)[8], 36);
    std::vector<uint8_t> back(36, 0);
    BufferFromBitmap(b, 36, back.data());
    EXPECT_EQ(back, block);
}

TEST(ColourUtils, BlockCopiesStayInsideBlockAndBitmap)
{
    TBitmap b;
    Shape(b, 4, 2, pf16bit);  // rows of 8 bytes
    std::vector<uint8_t> block(64, 0xAB);
    // A count smaller than a row copies that many bytes into row 0 only.
    BitmapFromBuffer(b, 3, block.data());
    EXPECT_EQ(b.ScanLine(0)[2], 0xAB);
    EXPECT_EQ(b.ScanLine(0)[3], 0);
    EXPECT_EQ(b.ScanLine(1)[0], 0);
    // A count beyond the bitmap copies only the rows that exist.
    BitmapFromBuffer(b, 64, block.data());
    EXPECT_EQ(b.ScanLine(1)[7], 0xAB);
    std::vector<uint8_t> out(64, 0);
    BufferFromBitmap(b, 64, out.data());
    EXPECT_EQ(out[15], 0xAB);
    EXPECT_EQ(out[16], 0);  // nothing read past the last row
    // Nothing for an empty bitmap or a non-positive count.
    TBitmap empty;
    Shape(empty, 0, 0, pf16bit);
    BitmapFromBuffer(empty, 64, block.data());
    BufferFromBitmap(b, 0, out.data());
    BufferFromBitmap(b, -5, out.data());
    // A 1-bit bitmap counts 2 bytes a pixel, more than its rows hold: only
    // what a row holds is copied.
    TBitmap mono;
    Shape(mono, 64, 2, pf1bit);
    std::vector<uint8_t> big(256, 0xFF);
    BitmapFromBuffer(mono, 256, big.data());
    EXPECT_EQ(mono.ScanLine(1)[mono.RowBytes() - 1], 0xFF);
}

TEST(ColourUtils, Convert1555To565)
{
    TBitmap b;
    Shape(b, 3, 2, pf16bit);
    SetPixel16(b, 0, 0, 0x7FFF);  // opaque flag clear: magenta
    SetPixel16(b, 1, 0, 0xFFFF);
    SetPixel16(b, 2, 0, 0x8000 | (31 << 10));  // opaque red
    SetPixel16(b, 0, 1, 0x8000 | (1 << 5));    // a little green
    SetPixel16(b, 1, 1, 0x0000);
    SetPixel16(b, 2, 1, 0x8000 | 17);
    Convert1555To565(b);
    EXPECT_EQ(Pixel16(b, 0, 0), 0xF81F);
    EXPECT_EQ(Pixel16(b, 1, 0), 0xFFDF);  // green lands in the upper five bits
    EXPECT_EQ(Pixel16(b, 2, 0), 0xF800);
    EXPECT_EQ(Pixel16(b, 0, 1), 1 << 6);
    EXPECT_EQ(Pixel16(b, 1, 1), 0xF81F);
    EXPECT_EQ(Pixel16(b, 2, 1), 17);
}

TEST(ColourUtils, ShadeKeepsTheHue)
{
    TColor c = RGB(255, 128, 0);
    ShadeRGB(c, 0);
    EXPECT_EQ(c, RGB(255, 128, 0));
    c = RGB(255, 128, 0);
    ShadeRGB(c, 31);
    EXPECT_EQ(c, RGB(0, 0, 0));
    c = RGB(255, 128, 0);
    ShadeRGB(c, -7);  // below 0 acts as 0
    EXPECT_EQ(c, RGB(255, 128, 0));
    c = RGB(255, 128, 0);
    ShadeRGB(c, 99);  // above 31 acts as 31
    EXPECT_EQ(c, RGB(0, 0, 0));
    c = RGB(10, 20, 40);
    ShadeRGB(c, 0);  // brightened to full
    EXPECT_EQ(c, RGB(63, 127, 255));
    c = RGB(200, 100, 50) | 0xAB000000u;
    ShadeRGB(c, 16);  // k = 15: 15 x 8.2258065 = 123.39
    EXPECT_EQ(c, RGB(123, 61, 30));  // and the fourth byte cleared
    c = 0xFF000000u;
    ShadeRGB(c, 5);  // black stays black
    EXPECT_EQ(c, 0u);

    uint8_t r = 10, g = 20, b = 40;
    ShadeRGB3(r, g, b, 0);
    EXPECT_EQ(r, 63);
    EXPECT_EQ(g, 127);
    EXPECT_EQ(b, 255);
    r = g = b = 0;
    ShadeRGB3(r, g, b, 10);
    EXPECT_EQ(r + g + b, 0);
}

TEST(ColourUtils, BlendModes)
{
    int32_t r = 10, g = 200, b = 30;
    BlendRGB(r, g, b, 100, 100, 100, 5);
    EXPECT_EQ(r, 100);
    EXPECT_EQ(g, 200);
    EXPECT_EQ(b, 100);
    BlendRGB(r, g, b, 1, 2, 3, 0xFFFF);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(g, 2);
    EXPECT_EQ(b, 3);
    BlendRGB(r, g, b, 3, 3, 3, 0xFFFE);
    EXPECT_EQ(r, 2);
    EXPECT_EQ(g, 1);
    EXPECT_EQ(b, 0);
}
