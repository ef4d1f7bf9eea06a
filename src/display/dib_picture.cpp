#include "display/dib_picture.h"

#include <algorithm>

namespace {

// Bits per pixel and bitmap format of each picture format.
struct TFormatInfo {
    uint16_t bits;
    TPixelFormat pixelFormat;
};
constexpr TFormatInfo kFormats[] = {
    {1, pf1bit}, {4, pf4bit}, {8, pf8bit}, {16, pf15bit}, {16, pf16bit}, {24, pf24bit}, {32, pf32bit},
};
constexpr uint8_t kFormatCount = 7;

TLogPalette LogPaletteOf(const HPALETTE& palette)
{
    TLogPalette log;
    log.palVersion = 0x300;
    if (palette) log.entries = palette->entries;
    return log;
}

}  // namespace

DIB_ERROR::DIB_ERROR()
    : std::runtime_error(
          "DIB ERROR :\rCan NOT create DIB ? ? !\rImpossible de cr\xE9"
          "er une image tampon ? ? !")
{
}

void DefaultPalette(uint8_t format, const TLogPalette*& palette)
{
    static const TLogPalette mono = LogPaletteOf(DefaultPaletteFor(pf1bit));
    static const TLogPalette sixteen = LogPaletteOf(DefaultPaletteFor(pf4bit));
    static const TLogPalette full = LogPaletteOf(DefaultPaletteFor(pf8bit));
    switch (format) {
    case dibFormat1Bit:
        if (!palette) palette = &mono;
        break;
    case dibFormat4Bit:
        if (!palette) palette = &sixteen;
        break;
    case dibFormat8Bit:
        if (!palette) palette = &full;
        break;
    default: palette = nullptr; break;
    }
}

TDIBPicture::TDIBPicture(int32_t width, int32_t height, uint8_t format, const TLogPalette* palette)
{
    CreateDIB(width, height, palette, format);
    Bounds = Rect(0, 0, Width - 1, Height - 1);
    SetPenColor(0);
    SetBrushColor(0xFFFFFF);
}

TDIBPicture::~TDIBPicture() = default;

void TDIBPicture::CreateDIB(int32_t width, int32_t height, const TLogPalette* palette, uint8_t format)
{
    if (format >= kFormatCount) throw DIB_ERROR();
    const TFormatInfo info = kFormats[format];
    Format = format;
    BitsPerPixel = info.bits;
    Width = uint16_t(width);
    Height = uint16_t(height);
    RowBytes = int32_t(((int64_t(Width) * BitsPerPixel + 31) & ~int64_t(31)) / 8);
    RowWords = RowBytes / 2;
    ImageSize = int32_t(std::min<int64_t>(int64_t(RowBytes) * Height, INT32_MAX));
    PixelBits = nullptr;

    // The palette: the given or default colours, padded with black to 256.
    DefaultPalette(format, palette);
    Palette.palVersion = 0x300;
    Palette.entries.assign(256, TPaletteEntry{});
    if (palette) {
        const size_t n = std::min<size_t>(palette->entries.size(), 256);
        std::copy_n(palette->entries.begin(), n, Palette.entries.begin());
    }

    // No bitmap of no pixels exists.
    if (Width == 0 || Height == 0) throw DIB_ERROR();
    try {
        bitmap_.SetPixelFormat(info.pixelFormat);
        if (info.bits <= 8) {
            // Every pixel value of the format names an entry of the palette.
            TLogPalette table;
            table.entries.assign(Palette.entries.begin(), Palette.entries.begin() + (size_t(1) << info.bits));
            paletteHandle_ = CreatePalette(table);
            bitmap_.SetPalette(paletteHandle_);
        }
        bitmap_.SetSize(Width, Height);
    } catch (const std::exception&) {
        throw DIB_ERROR();
    }
    PixelBits = bitmap_.Bits();
    HasBitmap = true;
}

void TDIBPicture::DrawTo(const TRect& rect, TCanvas& dest, int32_t sx, int32_t sy)
{
    DrawTo(rect.Left, rect.Top, rect.Right, rect.Bottom, dest, sx, sy);
}

void TDIBPicture::DrawTo(int32_t x, int32_t y, int32_t cx, int32_t cy, TCanvas& dest, int32_t sx, int32_t sy)
{
    if (!HasBitmap) return;
    if (sx < 0) {
        x -= sx;
        cx += sx;
        sx = 0;
    }
    if (sy < 0) {
        y -= sy;
        cy += sy;
        sy = 0;
    }
    BitBlt(dest, x, y, cx, cy, Canvas(), sx, sy);
}

void TDIBPicture::Draw(TDIBPicture& source) { source.DrawTo(0, 0, source.Width, source.Height, Canvas(), 0, 0); }

void TDIBPicture::Clear() { Canvas().FillRect(Rect(0, 0, Width, Height)); }

uint32_t TDIBPicture::ColorToPixel(TColor color) const
{
    const uint32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    switch (Format) {
    case dibFormat1Bit:
    case dibFormat4Bit:
    case dibFormat8Bit: return GetNearestPaletteIndex(paletteHandle_, color & 0xFFFFFF);
    case dibFormat555: return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case dibFormat565: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    default: return r << 16 | g << 8 | b;
    }
}

void TDIBPicture::SetPenColor(TColor color)
{
    if (color == PenColor) return;
    PenColor = color;
    PenPixel = ColorToPixel(color);
}

void TDIBPicture::SetBrushColor(TColor color)
{
    if (color == BrushColor) return;
    BrushColor = color;
    BrushPixel = ColorToPixel(color);
    Canvas().Brush.Color = color;
}
