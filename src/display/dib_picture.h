// Off-screen pictures of the 2D views: a top-down bitmap of a fixed size and
// pixel format with its own canvas, copied to the screen by block transfer.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"

// Pixel formats of a picture.
enum : uint8_t {
    dibFormat1Bit = 0,   // palette indexes, 2 colours
    dibFormat4Bit = 1,   // palette indexes, 16 colours
    dibFormat8Bit = 2,   // palette indexes, 256 colours
    dibFormat555 = 3,    // 16 bits, 5-5-5
    dibFormat565 = 4,    // 16 bits, 5-6-5
    dibFormat24Bit = 5,  // 8-8-8 in 24 bits
    dibFormat32Bit = 6,  // 8-8-8 in 32 bits
};

// The picture's bitmap could not be made.
class DIB_ERROR : public std::runtime_error {
public:
    DIB_ERROR();
};

// Keeps a given palette for the indexed formats (0 to 2) and supplies the
// format's default one when none is given: black and white; the 16 standard
// display colours; the 16 standard colours, a colour cube and a grey ramp.
// The other formats have no palette: nil.
void DefaultPalette(uint8_t format, const TLogPalette*& palette);

class TDIBPicture {
public:
    // A picture of width x height pixels (each cut to 16 bits) in a format
    // of the table above, with the given palette (indexed formats only; nil
    // for the default one). An unknown format or a bitmap that cannot be made
    // raises DIB_ERROR. The pen colour starts black, the brush colour white.
    TDIBPicture(int32_t width, int32_t height, uint8_t format, const TLogPalette* palette);
    ~TDIBPicture();
    TDIBPicture(const TDIBPicture&) = delete;
    TDIBPicture& operator=(const TDIBPicture&) = delete;

    // Copies cx x cy pixels from (sx, sy) of the picture to (x, y) of the
    // canvas; a negative source position cuts off what lies left of or above
    // the picture and moves the destination by as much. The rectangle's four
    // values are taken as x, y, cx and cy.
    void DrawTo(const TRect& rect, TCanvas& dest, int32_t sx, int32_t sy);
    void DrawTo(int32_t x, int32_t y, int32_t cx, int32_t cy, TCanvas& dest, int32_t sx, int32_t sy);
    // Copies the whole of another picture onto this one at (0, 0).
    void Draw(TDIBPicture& source);
    // Fills the whole picture with the canvas brush colour.
    void Clear();
    // The pixel value of a colour (red in the low byte) in the picture's
    // format: the nearest palette index, or the packed 555, 565 or 888 value.
    uint32_t ColorToPixel(TColor color) const;
    // Set the colour and its pixel value when the colour differs from the
    // one held; the brush colour becomes the canvas brush colour too.
    void SetPenColor(TColor color);
    void SetBrushColor(TColor color);

    TCanvas& Canvas() { return bitmap_.Canvas(); }
    TBitmap& Bitmap() { return bitmap_; }
    const TBitmap& Bitmap() const { return bitmap_; }

    TRect Bounds{};  // (0, 0, width - 1, height - 1)
    bool HasBitmap = false;
    uint8_t* PixelBits = nullptr;  // rows top to bottom, RowBytes apart
    uint16_t Width = 0;
    uint16_t Height = 0;
    int32_t RowBytes = 0;  // rows padded to 32 bits
    int32_t RowWords = 0;
    int32_t ImageSize = 0;
    uint16_t BitsPerPixel = 0;
    uint8_t Format = 0;
    TLogPalette Palette;  // 256 entries; the colours of the indexed formats
    TColor PenColor = 0;
    uint32_t PenPixel = 0;
    TColor BrushColor = 0;
    uint32_t BrushPixel = 0;

private:
    void CreateDIB(int32_t width, int32_t height, const TLogPalette* palette, uint8_t format);

    TBitmap bitmap_;
    HPALETTE paletteHandle_;
};
