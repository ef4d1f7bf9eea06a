#include "platform/gdi/graphics.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/gdi/canvas.h"
#include "platform/gdi/pixels.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"

int64_t BitmapMemoryLimit = int64_t(256) << 20;

// ---- palettes ------------------------------------------------------------

HPALETTE CreatePalette(const TLogPalette& log)
{
    auto p = std::make_shared<TGdiPalette>();
    p->entries = log.entries;
    return p;
}

void DeleteObject(HPALETTE& palette) { palette.reset(); }

unsigned GetPaletteEntries(const HPALETTE& palette, unsigned start, unsigned count, TPaletteEntry* out)
{
    if (!palette || start >= palette->entries.size()) return 0;
    const unsigned n = std::min<unsigned>(count, static_cast<unsigned>(palette->entries.size()) - start);
    for (unsigned i = 0; i < n; ++i) out[i] = palette->entries[start + i];
    return n;
}

unsigned GetNearestPaletteIndex(const HPALETTE& palette, TColor color)
{
    if (!palette || palette->entries.empty()) return 0;
    const int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    unsigned best = 0;
    int bestDist = 1 << 30;
    for (unsigned i = 0; i < palette->entries.size(); ++i) {
        const auto& e = palette->entries[i];
        const int dr = e.peRed - r, dg = e.peGreen - g, db = e.peBlue - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

HPALETTE DefaultPaletteFor(TPixelFormat format)
{
    TLogPalette log;
    auto add = [&](uint8_t r, uint8_t g, uint8_t b) { log.entries.push_back({r, g, b, 0}); };
    switch (format) {
    case pf1bit:
        add(0, 0, 0);
        add(255, 255, 255);
        break;
    case pf4bit:
    case pf8bit: {
        // The sixteen standard colours first, then (for 256 entries) a colour
        // cube and a grey ramp.
        static const uint8_t vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                           {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                           {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                           {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (const auto& c : vga) add(c[0], c[1], c[2]);
        if (format == pf8bit) {
            for (int r = 0; r < 6; ++r)
                for (int g = 0; g < 6; ++g)
                    for (int b = 0; b < 6; ++b) add(uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51));
            while (log.entries.size() < 256) {
                const auto i = static_cast<uint8_t>((log.entries.size() - 232) * 255 / 23);
                add(i, i, i);
            }
        }
        break;
    }
    default: return nullptr;
    }
    return CreatePalette(log);
}

// ---- bitmaps -------------------------------------------------------------

int BitsPerPixelOf(TPixelFormat format)
{
    switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit:
    case pfDevice:
    case pfCustom:
    default: return 32;
    }
}

void TGraphic::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

void TBitmap::Reallocate(int w, int h, TPixelFormat format)
{
    if (w < 0 || h < 0) throw std::invalid_argument("negative bitmap size");
    const int bpp = BitsPerPixelOf(format);
    // Computed in 64 bits and checked before multiplying, so that no size
    // can wrap around the limit.
    const int64_t row = (static_cast<int64_t>(w) * bpp + 31) / 32 * 4;
    if (row > BitmapMemoryLimit || (h > 0 && row > BitmapMemoryLimit / h)) throw EOutOfResources();
    const int64_t total = row * h;
    bits_.assign(static_cast<size_t>(total), 0);
    width_ = w;
    height_ = h;
    rowBytes_ = static_cast<int>(row);
    format_ = format;
    if (bpp <= 8) {
        if (!palette_) palette_ = DefaultPaletteFor(format);
    } else {
        palette_.reset();
    }
}

void TBitmap::SetSize(int w, int h)
{
    if (w == width_ && h == height_) return;
    std::vector<uint8_t> old = std::move(bits_);
    const int oldRow = rowBytes_, oldW = width_, oldH = height_;
    Reallocate(w, h, format_);
    const int bpp = BitsPerPixelOf(format_);
    const int copyRows = std::min(oldH, h);
    const int copyBytes = static_cast<int>((static_cast<int64_t>(std::min(oldW, w)) * bpp + 7) / 8);
    for (int y = 0; y < copyRows; ++y)
        std::memcpy(bits_.data() + static_cast<size_t>(y) * rowBytes_, old.data() + static_cast<size_t>(y) * oldRow,
                    static_cast<size_t>(std::min(copyBytes, std::min(rowBytes_, oldRow))));
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    if (format == format_) return;
    const int oldBpp = BitsPerPixelOf(format_), newBpp = BitsPerPixelOf(format);
    if (width_ == 0 || height_ == 0) {
        HPALETTE keep = palette_;
        palette_.reset();
        Reallocate(width_, height_, format);
        if (newBpp <= 8 && keep && oldBpp <= 8) palette_ = keep;
        return;
    }
    const std::vector<uint8_t> old = std::move(bits_);
    const int oldRow = rowBytes_;
    const TPixelFormat oldFormat = format_;
    const HPALETTE oldPalette = palette_;
    // An indexed bitmap that widens keeps its colour table and its indexes.
    if (oldBpp <= 8 && newBpp <= 8 && newBpp > oldBpp && oldPalette) {
        palette_ = oldPalette;
        Reallocate(width_, height_, format);
        for (int y = 0; y < height_; ++y) {
            const uint8_t* src = old.data() + static_cast<size_t>(y) * oldRow;
            uint8_t* dst = ScanLine(y);
            for (int x = 0; x < width_; ++x) {
                const unsigned i =
                    oldBpp == 1 ? (src[x >> 3] >> (7 - (x & 7))) & 1 : (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
                if (newBpp == 8) dst[x] = static_cast<uint8_t>(i);
                else dst[x >> 1] = static_cast<uint8_t>((x & 1) ? (dst[x >> 1] | i) : (i << 4));
            }
        }
        return;
    }
    // Otherwise convert through colours, row by row.
    palette_.reset();
    Reallocate(width_, height_, format);
    std::vector<TColor> colors(static_cast<size_t>(width_));
    TColorWriter writer(*this);
    for (int y = 0; y < height_; ++y) {
        ReadRowColors(old.data() + static_cast<size_t>(y) * oldRow, oldFormat, oldPalette, 0, width_, colors.data());
        writer.WriteRow(y, 0, width_, colors.data());
    }
}

uint8_t* TBitmap::ScanLine(int y)
{
    if (y < 0 || y >= height_) throw std::out_of_range("Scan line index out of range");
    return bits_.data() + static_cast<size_t>(y) * rowBytes_;
}

const uint8_t* TBitmap::ScanLine(int y) const
{
    if (y < 0 || y >= height_) throw std::out_of_range("Scan line index out of range");
    return bits_.data() + static_cast<size_t>(y) * rowBytes_;
}

void TBitmap::SetPalette(HPALETTE palette)
{
    if (BitsPerPixelOf(format_) > 8) {
        palette_ = nullptr;
        return;
    }
    palette_ = palette ? std::make_shared<TGdiPalette>(*palette) : nullptr;
}

TColor TBitmap::GetPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return clNone;
    const uint8_t* row = ScanLine(y);
    auto indexed = [&](unsigned i) -> TColor {
        if (!palette_ || i >= palette_->entries.size()) return clBlack;
        const auto& e = palette_->entries[i];
        return RGB(e.peRed, e.peGreen, e.peBlue);
    };
    switch (format_) {
    case pf1bit: return indexed((row[x >> 3] >> (7 - (x & 7))) & 1);
    case pf4bit: return indexed((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
    case pf8bit: return indexed(row[x]);
    case pf15bit: {
        const unsigned p = row[2 * x] | (row[2 * x + 1] << 8);
        const unsigned r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
        return RGB(uint8_t(r << 3 | r >> 2), uint8_t(g << 3 | g >> 2), uint8_t(b << 3 | b >> 2));
    }
    case pf16bit: {
        const unsigned p = row[2 * x] | (row[2 * x + 1] << 8);
        const unsigned r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
        return RGB(uint8_t(r << 3 | r >> 2), uint8_t(g << 2 | g >> 4), uint8_t(b << 3 | b >> 2));
    }
    case pf24bit: return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default: return RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
}

void TBitmap::SetPixel(int x, int y, TColor color)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* row = ScanLine(y);
    const uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    switch (format_) {
    case pf1bit: {
        const unsigned i = GetNearestPaletteIndex(palette_, color) & 1;
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = i ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask);
        break;
    }
    case pf4bit: {
        const unsigned i = GetNearestPaletteIndex(palette_, color) & 15;
        uint8_t& byte = row[x >> 1];
        byte = (x & 1) ? uint8_t((byte & 0xF0) | i) : uint8_t((byte & 0x0F) | (i << 4));
        break;
    }
    case pf8bit: row[x] = static_cast<uint8_t>(GetNearestPaletteIndex(palette_, color)); break;
    case pf15bit: {
        const unsigned p = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        row[2 * x] = uint8_t(p);
        row[2 * x + 1] = uint8_t(p >> 8);
        break;
    }
    case pf16bit: {
        const unsigned p = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        row[2 * x] = uint8_t(p);
        row[2 * x + 1] = uint8_t(p >> 8);
        break;
    }
    case pf24bit:
        row[3 * x] = b;
        row[3 * x + 1] = g;
        row[3 * x + 2] = r;
        break;
    default:
        row[4 * x] = b;
        row[4 * x + 1] = g;
        row[4 * x + 2] = r;
        row[4 * x + 3] = 0;
        break;
    }
}

TColor TBitmap::TransparentColor() const
{
    if (transparentColor_ != clDefault) return transparentColor_;
    // By default the bottom-left pixel is the transparent colour.
    if (width_ == 0 || height_ == 0) return clDefault;
    return GetPixel(0, height_ - 1);
}

void TBitmap::ReleaseHandle()
{
    bits_.clear();
    bits_.shrink_to_fit();
    width_ = height_ = rowBytes_ = 0;
}

void TBitmap::SwapImage(TBitmap& other)
{
    if (&other == this) return;
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(format_, other.format_);
    std::swap(rowBytes_, other.rowBytes_);
    bits_.swap(other.bits_);
    palette_.swap(other.palette_);
    std::swap(transparentColor_, other.transparentColor_);
    const bool transparent = Transparent();
    SetTransparent(other.Transparent());
    other.SetTransparent(transparent);
}

void TBitmap::Assign(const TGraphic& source)
{
    if (&source == this) return;
    if (const auto* b = dynamic_cast<const TBitmap*>(&source)) {
        width_ = b->width_;
        height_ = b->height_;
        format_ = b->format_;
        rowBytes_ = b->rowBytes_;
        bits_ = b->bits_;
        palette_ = b->palette_ ? std::make_shared<TGdiPalette>(*b->palette_) : nullptr;
        transparentColor_ = b->transparentColor_;
        SetTransparent(b->Transparent());
        return;
    }
    // Any other picture kind is drawn onto a fresh bitmap of its size.
    const TPixelFormat format = format_ == pfDevice ? pf24bit : format_;
    palette_.reset();
    Reallocate(0, 0, format);
    SetSize(source.Width(), source.Height());
    if (width_ > 0 && height_ > 0) {
        TCanvas& canvas = Canvas();
        canvas.Brush.Color = clWhite;
        canvas.Brush.Style = bsSolid;
        canvas.FillRect(Rect(0, 0, width_, height_));
        canvas.Draw(0, 0, source);
    }
    transparentColor_ = clDefault;
    SetTransparent(source.Transparent());
}

TCanvas& TBitmap::Canvas()
{
    if (!canvas_) canvas_ = std::make_unique<TCanvas>(*this);
    return *canvas_;
}
