// Colours and pixel blocks: palettes from the game's 6-bit palettes, copies
// between bitmaps and flat pixel blocks, 1555-to-565 conversion, shading in
// 32 light levels and blending.
#pragma once

#include <cstdint>

#include "platform/gdi/graphics.h"

// Bytes per pixel of a bitmap format as the block copies count them: 8 bits
// 1, 15 and 16 bits 2, 24 bits 3, 32 bits 4, any other format 2.
int BlockBytesPerPixel(TPixelFormat format);

// A palette of 256 entries from 768 bytes of red, green, blue values 0..63
// (each times 4, kept to 8 bits).
void PaletteFromRGB6(const uint8_t* rgb6, HPALETTE& palette);

// Copies `count` bytes of whole rows (bitmap width x bytes per pixel each,
// top row first, no gap between rows) from a block into the bitmap's rows,
// or from the bitmap into a block. Only rows that exist are copied, and no
// more of a row than it holds.
void BitmapFromBuffer(TBitmap& bitmap, int32_t count, const void* buffer);
void BufferFromBitmap(TBitmap& bitmap, int32_t count, void* buffer);

// Turns every 16-bit pixel from the 1555 layout (bit 15 opaque) into 565;
// a pixel without the opaque bit becomes magenta 0xF81F.
void Convert1555To565(TBitmap& bitmap);

// Shades a colour (red in the low byte) for a light level, 0 brightest to 31
// darkest: the brightest channel becomes the level's brightness and the
// others keep their ratio to it; the fourth byte becomes 0. Levels outside
// 0..31 count as the nearest end; black stays black.
void ShadeRGB(TColor& color, int32_t level);
void ShadeRGB3(uint8_t& r, uint8_t& g, uint8_t& b, int32_t level);

// Combines three bytes into three channels: mode 0xFFFE exclusive or,
// 0xFFFF replace, any other the larger of channel and byte.
void BlendRGB(int32_t& r, int32_t& g, int32_t& b, uint8_t c1, uint8_t c2, uint8_t c3, uint16_t mode);
