// Row-wise colour access to bitmaps in any pixel format, for format changes,
// drawing and block copies.
#pragma once

#include <array>
#include <cstdint>

#include "platform/gdi/graphics.h"

// Reads n pixels from x0 of a row stored in the given format as colours.
// Indexes past the end of the palette read as black.
void ReadRowColors(const uint8_t* row, TPixelFormat format, const HPALETTE& palette, int x0, int n, TColor* out);

// Turns colours into a bitmap's native pixel values and stores them. For the
// indexed formats the nearest palette entry is looked up once per colour and
// remembered, so converting a picture costs one search per distinct colour.
class TColorWriter {
public:
    explicit TColorWriter(TBitmap& bitmap);
    // The native value of a colour in the bitmap's format.
    uint32_t Native(TColor color);
    // Stores a native value at (x, y); the caller keeps x and y inside.
    void Put(int x, int y, uint32_t native);
    // Stores n colours into row y from x0 (clipped to the bitmap).
    void WriteRow(int y, int x0, int n, const TColor* colors);
    // Fills pixels x0 .. x1 - 1 of row y with a native value (clipped).
    void FillSpan(int y, int x0, int x1, uint32_t native);

private:
    TBitmap& bitmap_;
    TPixelFormat format_;
    int bpp_;
    struct CacheEntry {
        TColor color = 0xFFFFFFFF;
        uint32_t index = 0;
    };
    std::array<CacheEntry, 1024> cache_{};
};
