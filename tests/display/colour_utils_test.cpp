// Colour utilities: block copies, shading and blending (palettes and the
// 1555 conversion are checked with the level texture pages).
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "display/colour_utils.h"

TEST(ColourUtils, BlockCopiesShadingAndBlending)
{
    // 3 pixels of 3 bytes: rows of 9 bytes in the block, 12 in the bitmap;
    // no more rows than the bitmap has, no more of a row than it holds.
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(3, 4);
    std::vector<uint8_t> block(40), back(40, 0);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i + 1);
    BitmapFromBuffer(b, 36, block.data());
    BufferFromBitmap(b, 64, back.data());
    EXPECT_EQ(b.ScanLine(1)[0], 10);
    EXPECT_EQ(b.ScanLine(3)[8], 36);
    EXPECT_EQ(back[35], 36);
    EXPECT_EQ(back[36], 0);
    b.SetPixelFormat(pf1bit);  // counted at two bytes a pixel, more than its rows hold
    b.SetSize(64, 2);
    BitmapFromBuffer(b, 256, std::vector<uint8_t>(256, 0xFF).data());
    EXPECT_EQ(b.ScanLine(1)[b.RowBytes() - 1], 0xFF);

    const std::tuple<TColor, int, TColor> shades[] = {
        {RGB(255, 128, 0), 0, RGB(255, 128, 0)},
        {RGB(255, 128, 0), 31, 0},
        {RGB(255, 128, 0), -7, RGB(255, 128, 0)},
        {RGB(255, 128, 0), 99, 0},
        {RGB(10, 20, 40), 0, RGB(63, 127, 255)},
        {0xFF000000u, 5, 0},
        {RGB(200, 100, 50) | 0xAB000000u, 16, RGB(123, 61, 30)}};  // 15 x 8.2258065
    for (const auto& [in, level, out] :
         shades) {  // the brightest channel at the level's brightness, the fourth byte cleared
        SCOPED_TRACE(testing::Message() << std::hex << in << " level " << std::dec << level);
        TColor c = in;
        ShadeRGB(c, level);
        uint8_t r = GetRValue(in), g = GetGValue(in), bl = GetBValue(in);
        ShadeRGB3(r, g, bl, level);
        EXPECT_EQ(c, out);
        EXPECT_EQ(RGB(r, g, bl), out);
    }
    const std::pair<uint16_t, std::vector<int32_t>> blends[] = {
        {5, {100, 200, 100}}, {0xFFFF, {100, 100, 100}}, {0xFFFE, {110, 172, 122}}};
    for (const auto& [mode, rgb] : blends) {  // the larger of each; replace; exclusive or
        int32_t r = 10, g = 200, bl = 30;
        BlendRGB(r, g, bl, 100, 100, 100, mode);
        EXPECT_EQ((std::vector<int32_t>{r, g, bl}), rgb) << mode;
    }
}
