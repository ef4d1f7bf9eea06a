#include "platform/gdi/pixels.h"

#include <algorithm>
#include <cstring>

namespace {

inline TColor Expand5(unsigned r, unsigned g, unsigned b)
{
    return RGB(uint8_t(r << 3 | r >> 2), uint8_t(g << 3 | g >> 2), uint8_t(b << 3 | b >> 2));
}

}  // namespace

void ReadRowColors(const uint8_t* row, TPixelFormat format, const HPALETTE& palette, int x0, int n, TColor* out)
{
    const TPaletteEntry* entries = palette ? palette->entries.data() : nullptr;
    const unsigned count = palette ? static_cast<unsigned>(palette->entries.size()) : 0;
    auto indexed = [&](unsigned i) -> TColor {
        if (i >= count) return clBlack;
        const auto& e = entries[i];
        return RGB(e.peRed, e.peGreen, e.peBlue);
    };
    switch (format) {
    case pf1bit:
        for (int i = 0; i < n; ++i) {
            const int x = x0 + i;
            out[i] = indexed((row[x >> 3] >> (7 - (x & 7))) & 1);
        }
        break;
    case pf4bit:
        for (int i = 0; i < n; ++i) {
            const int x = x0 + i;
            out[i] = indexed((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
        }
        break;
    case pf8bit:
        for (int i = 0; i < n; ++i) out[i] = indexed(row[x0 + i]);
        break;
    case pf15bit:
        for (int i = 0; i < n; ++i) {
            const uint8_t* p = row + 2 * (x0 + i);
            const unsigned v = p[0] | (p[1] << 8);
            out[i] = Expand5((v >> 10) & 31, (v >> 5) & 31, v & 31);
        }
        break;
    case pf16bit:
        for (int i = 0; i < n; ++i) {
            const uint8_t* p = row + 2 * (x0 + i);
            const unsigned v = p[0] | (p[1] << 8);
            const unsigned r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
            out[i] = RGB(uint8_t(r << 3 | r >> 2), uint8_t(g << 2 | g >> 4), uint8_t(b << 3 | b >> 2));
        }
        break;
    case pf24bit:
        for (int i = 0; i < n; ++i) {
            const uint8_t* p = row + 3 * (x0 + i);
            out[i] = RGB(p[2], p[1], p[0]);
        }
        break;
    default:
        for (int i = 0; i < n; ++i) {
            const uint8_t* p = row + 4 * (x0 + i);
            out[i] = RGB(p[2], p[1], p[0]);
        }
        break;
    }
}

TColorWriter::TColorWriter(TBitmap& bitmap)
    : bitmap_(bitmap), format_(bitmap.PixelFormat()), bpp_(BitsPerPixelOf(bitmap.PixelFormat()))
{
}

uint32_t TColorWriter::Native(TColor color)
{
    const unsigned r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    switch (format_) {
    case pf1bit:
    case pf4bit:
    case pf8bit: {
        const TColor key = color & 0xFFFFFF;
        CacheEntry& e = cache_[(key ^ (key >> 10) ^ (key >> 20)) & (cache_.size() - 1)];
        if (e.color != key) {
            e.color = key;
            e.index = GetNearestPaletteIndex(bitmap_.Palette(), key) & ((1u << bpp_) - 1);
        }
        return e.index;
    }
    case pf15bit: return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    case pf16bit: return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    default: return (r << 16) | (g << 8) | b;
    }
}

void TColorWriter::Put(int x, int y, uint32_t native)
{
    uint8_t* row = bitmap_.ScanLine(y);
    switch (bpp_) {
    case 1: {
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = native ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask);
        break;
    }
    case 4: {
        uint8_t& byte = row[x >> 1];
        byte = (x & 1) ? uint8_t((byte & 0xF0) | native) : uint8_t((byte & 0x0F) | (native << 4));
        break;
    }
    case 8: row[x] = static_cast<uint8_t>(native); break;
    case 16:
        row[2 * x] = static_cast<uint8_t>(native);
        row[2 * x + 1] = static_cast<uint8_t>(native >> 8);
        break;
    case 24:
        row[3 * x] = static_cast<uint8_t>(native);
        row[3 * x + 1] = static_cast<uint8_t>(native >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(native >> 16);
        break;
    default:
        row[4 * x] = static_cast<uint8_t>(native);
        row[4 * x + 1] = static_cast<uint8_t>(native >> 8);
        row[4 * x + 2] = static_cast<uint8_t>(native >> 16);
        row[4 * x + 3] = 0;
        break;
    }
}

void TColorWriter::WriteRow(int y, int x0, int n, const TColor* colors)
{
    if (y < 0 || y >= bitmap_.Height()) return;
    int begin = std::max(0, x0), end = std::min(bitmap_.Width(), x0 + n);
    for (int x = begin; x < end; ++x) Put(x, y, Native(colors[x - x0]));
}

void TColorWriter::FillSpan(int y, int x0, int x1, uint32_t native)
{
    if (y < 0 || y >= bitmap_.Height()) return;
    x0 = std::max(0, x0);
    x1 = std::min(bitmap_.Width(), x1);
    if (x0 >= x1) return;
    uint8_t* row = bitmap_.ScanLine(y);
    switch (bpp_) {
    case 8: std::memset(row + x0, static_cast<int>(native), static_cast<size_t>(x1 - x0)); break;
    case 16:
        for (int x = x0; x < x1; ++x) {
            row[2 * x] = static_cast<uint8_t>(native);
            row[2 * x + 1] = static_cast<uint8_t>(native >> 8);
        }
        break;
    case 32: {
        const uint8_t px[4] = {uint8_t(native), uint8_t(native >> 8), uint8_t(native >> 16), 0};
        for (int x = x0; x < x1; ++x) std::memcpy(row + 4 * x, px, 4);
        break;
    }
    default:
        for (int x = x0; x < x1; ++x) Put(x, y, native);
        break;
    }
}
