#include "display/colour_utils.h"

#include <algorithm>
#include <cstring>
#include <vector>

int BlockBytesPerPixel(TPixelFormat format)
{
    switch (format) {
    case pf8bit: return 1;
    case pf15bit:
    case pf16bit: return 2;
    case pf24bit: return 3;
    case pf32bit: return 4;
    default: return 2;
    }
}

void PaletteFromRGB6(const uint8_t* rgb6, HPALETTE& palette)
{
    TLogPalette log;
    log.palVersion = 0x300;
    log.entries.resize(256);
    for (int i = 0; i < 256; ++i) {
        log.entries[size_t(i)].peRed = uint8_t(rgb6[3 * i] * 4);
        log.entries[size_t(i)].peGreen = uint8_t(rgb6[3 * i + 1] * 4);
        log.entries[size_t(i)].peBlue = uint8_t(rgb6[3 * i + 2] * 4);
        log.entries[size_t(i)].peFlags = 0;
    }
    palette = CreatePalette(log);
}

namespace {

// The rows a block of `count` bytes covers, and the bytes taken from each.
struct TRows {
    int rows = 0;
    int row = 0;     // bytes per row in the block
    int copied = 0;  // bytes copied per row (no more than the scanline holds)
};

TRows RowsOf(const TBitmap& bitmap, int32_t count)
{
    TRows r;
    const int64_t row = int64_t(bitmap.Width()) * BlockBytesPerPixel(bitmap.PixelFormat());
    if (count <= 0 || row <= 0 || bitmap.Height() <= 0) return r;
    int64_t rows = count / row;
    if (rows == 0) rows = 1;
    int64_t rowBytes = std::min<int64_t>(row, count);
    r.rows = int(std::min<int64_t>(rows, bitmap.Height()));
    r.row = int(rowBytes);
    r.copied = int(std::min<int64_t>(rowBytes, bitmap.RowBytes()));
    return r;
}

}  // namespace

void BitmapFromBuffer(TBitmap& bitmap, int32_t count, const void* buffer)
{
    const TRows r = RowsOf(bitmap, count);
    const auto* src = static_cast<const uint8_t*>(buffer);
    for (int y = 0; y < r.rows; ++y) std::memcpy(bitmap.ScanLine(y), src + size_t(y) * size_t(r.row), size_t(r.copied));
}

void BufferFromBitmap(TBitmap& bitmap, int32_t count, void* buffer)
{
    const TRows r = RowsOf(bitmap, count);
    auto* dst = static_cast<uint8_t*>(buffer);
    for (int y = 0; y < r.rows; ++y) std::memcpy(dst + size_t(y) * size_t(r.row), bitmap.ScanLine(y), size_t(r.copied));
}

void Convert1555To565(TBitmap& bitmap)
{
    const int64_t size = int64_t(bitmap.Width()) * bitmap.Height() * 2;
    if (size <= 0 || size > INT32_MAX) return;
    std::vector<uint8_t> block(size_t(size), 0);
    BufferFromBitmap(bitmap, int32_t(size), block.data());
    for (size_t i = 0; i + 1 < block.size(); i += 2) {
        const uint16_t p = uint16_t(block[i] | block[i + 1] << 8);
        uint16_t red = (p >> 10) & 31, green = (p >> 5) & 31, blue = p & 31;
        if ((p & 0x8000) == 0) {
            red = 31;
            green = 0;
            blue = 31;
        }
        const uint16_t q = uint16_t(red << 11 | green << 6 | blue);
        block[i] = uint8_t(q);
        block[i + 1] = uint8_t(q >> 8);
    }
    BitmapFromBuffer(bitmap, int32_t(size), block.data());
}

void ShadeRGB3(uint8_t& r, uint8_t& g, uint8_t& b, int32_t level)
{
    level = std::clamp(level, 0, 31);
    const int k = 31 - level;
    const uint8_t m = std::max({r, g, b});
    if (m == 0) return;  // black has no hue to keep
    auto shade = [&](uint8_t x) {
        // The ratio is rounded to single precision; the rest is worked out
        // in extended precision and truncated.
        const float ratio = float(static_cast<long double>(x) / static_cast<long double>(m));
        return uint8_t(static_cast<int>(static_cast<long double>(k) * 8.2258065L * static_cast<long double>(ratio)));
    };
    r = shade(r);
    g = shade(g);
    b = shade(b);
}

void ShadeRGB(TColor& color, int32_t level)
{
    uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    ShadeRGB3(r, g, b, level);
    color = RGB(r, g, b);  // the fourth byte becomes 0
}

void BlendRGB(int32_t& r, int32_t& g, int32_t& b, uint8_t c1, uint8_t c2, uint8_t c3, uint16_t mode)
{
    switch (mode) {
    case 0xFFFE:
        r ^= c1;
        g ^= c2;
        b ^= c3;
        break;
    case 0xFFFF:
        r = c1;
        g = c2;
        b = c3;
        break;
    default:
        r = std::max<int32_t>(r, c1);
        g = std::max<int32_t>(g, c2);
        b = std::max<int32_t>(b, c3);
        break;
    }
}
