// The toolkit's colour, palette and bitmap types.
//
// TBitmap is a device-independent bitmap: a width, a height, a pixel format,
// rows addressed from the top (row 0 first) and padded to 4 bytes as in a
// bitmap file, and, for the indexed formats, a colour table. Palettes are
// shared, reference-counted objects standing in for palette handles.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class TStream;  // the toolkit's streams, platform/rtl/classes.h
class TCanvas;  // the drawing surface of a bitmap, platform/gdi/canvas.h

// A colour as the toolkit stores it: red in the low byte, then green, blue.
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>(c >> 16); }
constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) { return TColor(r) | (TColor(g) << 8) | (TColor(b) << 16); }

// ---- palettes ------------------------------------------------------------

struct TPaletteEntry {
    uint8_t peRed = 0;
    uint8_t peGreen = 0;
    uint8_t peBlue = 0;
    uint8_t peFlags = 0;
};

// A logical palette: version 0x300 and its entries.
struct TLogPalette {
    uint16_t palVersion = 0x300;
    std::vector<TPaletteEntry> entries;
};

// The palette object a palette handle refers to.
struct TGdiPalette {
    std::vector<TPaletteEntry> entries;
};
using HPALETTE = std::shared_ptr<TGdiPalette>;

// Creates a palette from a logical palette (nullptr for an empty one).
HPALETTE CreatePalette(const TLogPalette& log);
// Releases a handle; the palette goes when its last holder lets go.
void DeleteObject(HPALETTE& palette);
// Copies up to count entries starting at start; returns how many were copied.
unsigned GetPaletteEntries(const HPALETTE& palette, unsigned start, unsigned count, TPaletteEntry* out);
// The index of the entry closest in colour (0 for an empty palette).
unsigned GetNearestPaletteIndex(const HPALETTE& palette, TColor color);

// ---- geometry --------------------------------------------------------------

struct TPoint {
    int X = 0;
    int Y = 0;
};

// A rectangle whose right and bottom edges lie outside it, as GDI counts.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};
inline TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }
inline TPoint Point(int x, int y) { return TPoint{x, y}; }

// ---- errors ----------------------------------------------------------------

// A picture that cannot be read or a picture kind that cannot do what is asked.
class EInvalidGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A bitmap larger than the memory the toolkit gives one picture.
class EOutOfResources : public std::runtime_error {
public:
    EOutOfResources() : std::runtime_error("Not enough storage is available to process this command.") {}
};

// Bytes one bitmap may take (256 MiB, as desktop image readers commonly
// allow); a larger size raises EOutOfResources before anything is allocated.
// Picture files can claim any size, and a few kilobytes of compressed data
// can really fill any size, so this bound is what keeps a hostile picture
// from taking the machine's memory and many seconds of decoding. A
// Texturesfile of 512 x 131072 pixels at 32 bits (512 rows of pages) fits.
extern int64_t BitmapMemoryLimit;

// ---- bitmaps -------------------------------------------------------------

class TGraphic;

// A picture kind as a value: what the picture loader's registry stores and
// compares, and how it makes a new empty picture of that kind.
struct TGraphicClassInfo {
    const char* ClassName;
    std::unique_ptr<TGraphic> (*Create)();
};
using TGraphicClass = const TGraphicClassInfo*;

// The class value of a graphic type T (one per type; T needs a default
// constructor and a static `ClassName`).
template <class T>
TGraphicClass GraphicClassOf()
{
    static const TGraphicClassInfo info{T::ClassName,
                                        []() -> std::unique_ptr<TGraphic> { return std::make_unique<T>(); }};
    return &info;
}

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

// Bits per stored pixel of a format. The device format stands for the
// screen's, which is taken to be 32 bits; a custom format is stored as 32.
int BitsPerPixelOf(TPixelFormat format);
// Bytes of one padded row of a device-independent bitmap.
inline int BytesPerScanline(int width, int bitsPerPixel, int alignBits = 32)
{
    return static_cast<int>(((static_cast<int64_t>(width) * bitsPerPixel + alignBits - 1) / alignBits) * alignBits / 8);
}

// Base of every picture kind the picture loader knows.
class TGraphic {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const { return Width() == 0 || Height() == 0; }
    virtual void Assign(const TGraphic& source) = 0;
    // Opens a read stream on the file and loads from it.
    virtual void LoadFromFile(const std::string& fileName);
    // Creates (or empties) the file and saves into it.
    virtual void SaveToFile(const std::string& fileName);
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // Draws the picture stretched over rect of the canvas (clipped to it).
    virtual void Draw(TCanvas& canvas, const TRect& rect) const = 0;

    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value) { transparent_ = value; }

private:
    bool transparent_ = false;
};

class TBitmap : public TGraphic {
public:
    static constexpr const char* ClassName = "TBitmap";
    TBitmap();
    ~TBitmap() override;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetWidth(int w) { SetSize(w, height_); }
    void SetHeight(int h) { SetSize(width_, h); }
    // Resizes; the overlapping top-left part keeps its pixels, new pixels are 0.
    void SetSize(int w, int h);

    TPixelFormat PixelFormat() const { return format_; }
    // Changes the format, converting every pixel's colour.
    void SetPixelFormat(TPixelFormat format);
    int BitsPerPixel() const { return BitsPerPixelOf(format_); }
    int RowBytes() const { return rowBytes_; }

    // Row y, top row 0. Out-of-range rows raise EInvalidGraphicOperation.
    uint8_t* ScanLine(int y);
    const uint8_t* ScanLine(int y) const;
    // The whole image, row 0 first, RowBytes() apart.
    uint8_t* Bits() { return bits_.data(); }
    const uint8_t* Bits() const { return bits_.data(); }

    // The colour table of the indexed formats (empty for the others).
    HPALETTE Palette() const { return palette_; }
    // Takes the palette as the bitmap's colour table.
    void SetPalette(HPALETTE palette);

    // Colour of a pixel, in any format (indexed pixels through the table).
    TColor GetPixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);

    TColor TransparentColor() const;
    void SetTransparentColor(TColor c) { transparentColor_ = c; }

    // Drops the image: width, height and pixels become empty, the format stays.
    void ReleaseHandle();
    void FreeImage() {}
    void Dormant() {}

    // Exchanges the picture (size, format, pixels, colour table, transparent
    // colour and transparency) with another bitmap without copying a pixel;
    // each keeps its own canvas. Readers decode into a bitmap of their own
    // and hand it over this way, so a large picture is never held twice.
    void SwapImage(TBitmap& other);

    // Copies another bitmap; any other picture kind is drawn onto this
    // bitmap at its own size (24 bits per pixel unless a format is set).
    void Assign(const TGraphic& source) override;
    // Reads a Windows bitmap (file header optional): 1, 4, 8, 16, 24 and 32
    // bits, RLE4, RLE8 and bit-field masks, rows bottom-up or top-down.
    // A file it cannot read raises EInvalidGraphic; a short one EReadError.
    void LoadFromStream(TStream& stream) override;
    // Writes a Windows bitmap of the bitmap's own depth, bottom-up.
    void SaveToStream(TStream& stream) override;
    void Draw(TCanvas& canvas, const TRect& rect) const override;

    // The canvas that draws on this bitmap, made on first use.
    TCanvas& Canvas();

protected:
    // Drops the pixels and sets new dimensions and format without conversion.
    void Reallocate(int w, int h, TPixelFormat format);

private:
    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = pfDevice;
    int rowBytes_ = 0;
    std::vector<uint8_t> bits_;
    HPALETTE palette_;
    TColor transparentColor_ = clDefault;
    std::unique_ptr<TCanvas> canvas_;
};

// The colour table a new indexed bitmap starts with.
HPALETTE DefaultPaletteFor(TPixelFormat format);
