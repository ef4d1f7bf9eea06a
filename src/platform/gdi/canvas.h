// The drawing surface of a bitmap: pen and brush, rectangles, lines and
// polygons, drawing other pictures and copying rectangles between canvases.
//
// Coordinates follow GDI: a rectangle covers Left .. Right - 1 and
// Top .. Bottom - 1, a line leaves out its end point, and everything is
// clipped to the bitmap. Colours are converted to the bitmap's pixel format
// (the nearest palette entry for indexed bitmaps).
#pragma once

#include <span>

#include "platform/gdi/graphics.h"

class TColorWriter;

enum TBrushStyle { bsSolid, bsClear };
enum TPenStyle { psSolid, psClear };

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
};

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
};

class TCanvas {
public:
    explicit TCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TBitmap& Bitmap() { return bitmap_; }
    const TBitmap& Bitmap() const { return bitmap_; }

    TPen Pen;
    TBrush Brush;
    TPoint PenPos;

    // The whole bitmap.
    TRect ClipRect() const { return Rect(0, 0, bitmap_.Width(), bitmap_.Height()); }

    // Fills the rectangle with the brush colour (whatever the brush style).
    void FillRect(const TRect& rect);
    // A one-pixel border inside the rectangle in the brush colour.
    void FrameRect(const TRect& rect);
    // Outline with the pen, inside filled with the brush (unless clear).
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const TRect& rect) { Rectangle(rect.Left, rect.Top, rect.Right, rect.Bottom); }

    void MoveTo(int x, int y) { PenPos = Point(x, y); }
    // A line with the pen from the pen position to (x, y), which becomes the
    // pen position; the end point itself is not drawn.
    void LineTo(int x, int y);
    void Polyline(std::span<const TPoint> points);
    // A closed polygon filled with the brush (alternate filling) and outlined
    // with the pen.
    void Polygon(std::span<const TPoint> points);

    TColor Pixels(int x, int y) const { return bitmap_.GetPixel(x, y); }
    void SetPixels(int x, int y, TColor color) { bitmap_.SetPixel(x, y, color); }

    // Draws a picture at its own size with its top-left corner at (x, y).
    void Draw(int x, int y, const TGraphic& graphic);
    // Draws a picture stretched over the rectangle.
    void StretchDraw(const TRect& rect, const TGraphic& graphic);
    // Copies the source rectangle of another canvas into the destination
    // rectangle, scaling by pixel replication or omission when the sizes
    // differ and mirroring when one of them is given reversed.
    void CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect);

private:
    void ThickPoint(TColorWriter& writer, int x, int y, uint32_t native);
    void PenLine(int x0, int y0, int x1, int y1, bool drawLast);

    TBitmap& bitmap_;
};

// Bit-block transfer of cx x cy pixels from (sx, sy) of the source to (x, y)
// of the destination (raster operation SRCCOPY).
void BitBlt(TCanvas& dest, int x, int y, int cx, int cy, const TCanvas& source, int sx, int sy);
// The scaling form: the source rectangle onto the destination rectangle.
void StretchBlt(TCanvas& dest, const TRect& destRect, const TCanvas& source, const TRect& sourceRect);

// Copies (stretching) a rectangle of one bitmap onto another, converting the
// pixel format. With a transparent colour, source pixels of that colour are
// skipped; with a mask (a bitmap of the source's size), source pixels whose
// mask pixel is not black are skipped.
void StretchBitmap(TBitmap& dest, const TRect& destRect, const TBitmap& source, const TRect& sourceRect,
                   const TColor* transparentColor = nullptr, const TBitmap* mask = nullptr);
