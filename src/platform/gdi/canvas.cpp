#include "platform/gdi/canvas.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/gdi/pixels.h"

namespace {

// floor(a / b) for any signs (b != 0), in 128 bits: the products of a
// stretch reach 2^66 for rectangles spanning the whole coordinate range.
int64_t FloorDiv(__int128 a, __int128 b)
{
    assert(b != 0);
    __int128 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return static_cast<int64_t>(q);
}

bool SamePalette(const HPALETTE& a, const HPALETTE& b)
{
    if (a == b) return true;
    if (!a || !b || a->entries.size() != b->entries.size()) return false;
    for (size_t i = 0; i < a->entries.size(); ++i) {
        const auto &x = a->entries[i], &y = b->entries[i];
        if (x.peRed != y.peRed || x.peGreen != y.peGreen || x.peBlue != y.peBlue) return false;
    }
    return true;
}

// One axis of a stretch: destination pixel centres mapped onto the source.
// A negative length mirrors.
struct TAxisMap {
    int64_t destStart;
    int64_t destLength;
    int64_t sourceStart;
    int64_t sourceLength;

    int64_t Source(int d) const
    {
        return sourceStart + FloorDiv((__int128(2) * (d - destStart) + 1) * sourceLength, __int128(2) * destLength);
    }
};

// The destination pixels a copy covers, clipped to the destination bitmap.
struct TDestArea {
    int x0, x1, y0, y1;
};

TDestArea ClipToBitmap(const TRect& destRect, const TBitmap& dest)
{
    TDestArea a;
    a.x0 = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(destRect.Left, destRect.Right)));
    a.x1 = static_cast<int>(std::min<int64_t>(dest.Width(), std::max<int64_t>(destRect.Left, destRect.Right)));
    a.y0 = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(destRect.Top, destRect.Bottom)));
    a.y1 = static_cast<int>(std::min<int64_t>(dest.Height(), std::max<int64_t>(destRect.Top, destRect.Bottom)));
    return a;
}

// The source column of every destination column of the area (-1 outside the
// source), and the first and last source column used (maxSx -1 when none).
struct TColumnMap {
    std::vector<int> columns;
    int minSx;
    int maxSx;

    int At(int x, const TDestArea& area) const { return columns[static_cast<size_t>(x - area.x0)]; }
};

TColumnMap MapColumns(const TAxisMap& across, const TDestArea& area, int sourceWidth)
{
    TColumnMap map{std::vector<int>(static_cast<size_t>(area.x1 - area.x0)), sourceWidth, -1};
    for (int x = area.x0; x < area.x1; ++x) {
        const int64_t sx = across.Source(x);
        const int v = (sx >= 0 && sx < sourceWidth) ? static_cast<int>(sx) : -1;
        map.columns[static_cast<size_t>(x - area.x0)] = v;
        if (v >= 0) {
            map.minSx = std::min(map.minSx, v);
            map.maxSx = std::max(map.maxSx, v);
        }
    }
    return map;
}

// Rows of the same pixel layout: bytes copied as they are, one block move
// per row when the columns follow each other one to one.
void CopyRowsAsTheyAre(TBitmap& dest, const TBitmap& source, const TAxisMap& down, const TDestArea& area,
                       const TColumnMap& map, int bytes, bool identity)
{
    for (int y = area.y0; y < area.y1; ++y) {
        const int64_t sy = down.Source(y);
        if (sy < 0 || sy >= source.Height()) continue;
        const uint8_t* srow = source.ScanLine(static_cast<int>(sy));
        uint8_t* drow = dest.ScanLine(y);
        if (identity) {
            // Only the part inside the source moves.
            int a = area.x0, b = area.x1;
            while (a < b && map.At(a, area) < 0) ++a;
            while (b > a && map.At(b - 1, area) < 0) --b;
            if (a < b)
                std::memmove(drow + static_cast<size_t>(a) * bytes, srow + static_cast<size_t>(map.At(a, area)) * bytes,
                             static_cast<size_t>(b - a) * bytes);
            continue;
        }
        for (int x = area.x0; x < area.x1; ++x) {
            const int sx = map.At(x, area);
            if (sx >= 0)
                std::memcpy(drow + static_cast<size_t>(x) * bytes, srow + static_cast<size_t>(sx) * bytes, bytes);
        }
    }
}

// Rows through colours: each source row read once as colours, then written
// in the destination's format, leaving out the transparent colour and what
// the mask hides.
void CopyRowsByColour(TColorWriter& writer, const TBitmap& source, const TAxisMap& down, const TDestArea& area,
                      const TColumnMap& map, const TColor* transparentColor, const TBitmap* mask)
{
    const TPixelFormat sf = source.PixelFormat();
    std::vector<TColor> colors(static_cast<size_t>(map.maxSx - map.minSx + 1));
    int cachedRow = -1;
    const TColor transparent = transparentColor ? (*transparentColor & 0xFFFFFF) : 0;
    for (int y = area.y0; y < area.y1; ++y) {
        const int64_t sy = down.Source(y);
        if (sy < 0 || sy >= source.Height()) continue;
        if (cachedRow != sy) {
            ReadRowColors(source.ScanLine(static_cast<int>(sy)), sf, source.Palette(), map.minSx,
                          map.maxSx - map.minSx + 1, colors.data());
            cachedRow = static_cast<int>(sy);
        }
        for (int x = area.x0; x < area.x1; ++x) {
            const int sx = map.At(x, area);
            if (sx < 0) continue;
            const TColor c = colors[static_cast<size_t>(sx - map.minSx)];
            if (transparentColor && c == transparent) continue;
            if (mask && mask->GetPixel(sx, static_cast<int>(sy)) != clBlack) continue;
            writer.Put(x, y, writer.Native(c));
        }
    }
}

}  // namespace

void StretchBitmap(TBitmap& dest, const TRect& destRect, const TBitmap& source, const TRect& sourceRect,
                   const TColor* transparentColor, const TBitmap* mask)
{
    // Lengths in 64 bits: a rectangle may span the whole coordinate range.
    const TAxisMap across{destRect.Left, int64_t(destRect.Right) - destRect.Left, sourceRect.Left,
                          int64_t(sourceRect.Right) - sourceRect.Left};
    const TAxisMap down{destRect.Top, int64_t(destRect.Bottom) - destRect.Top, sourceRect.Top,
                        int64_t(sourceRect.Bottom) - sourceRect.Top};
    if (across.destLength == 0 || down.destLength == 0 || across.sourceLength == 0 || down.sourceLength == 0) return;
    if (dest.Empty() || source.Empty()) return;
    if (&dest == &source) {
        // Copying within one bitmap reads from a snapshot, so overlapping
        // rectangles come out as if copied through a separate buffer.
        TBitmap snapshot;
        snapshot.Assign(source);
        StretchBitmap(dest, destRect, snapshot, sourceRect, transparentColor, mask);
        return;
    }
    const TDestArea area = ClipToBitmap(destRect, dest);
    if (area.x0 >= area.x1 || area.y0 >= area.y1) return;
    const TColumnMap map = MapColumns(across, area, source.Width());
    if (map.maxSx < 0) return;

    const TPixelFormat sf = source.PixelFormat(), df = dest.PixelFormat();
    const int sbpp = BitsPerPixelOf(sf), dbpp = BitsPerPixelOf(df);
    if (mask && (mask->Width() != source.Width() || mask->Height() != source.Height())) mask = nullptr;
    const bool rawCopy = !transparentColor && !mask && sbpp == dbpp && sbpp >= 8 && sf == df &&
                         (sbpp > 8 || SamePalette(source.Palette(), dest.Palette()));
    if (rawCopy) {
        const bool identity = across.sourceLength == across.destLength && across.sourceLength > 0;
        CopyRowsAsTheyAre(dest, source, down, area, map, sbpp / 8, identity);
    } else {
        TColorWriter writer(dest);
        CopyRowsByColour(writer, source, down, area, map, transparentColor, mask);
    }
}

void BitBlt(TCanvas& dest, int x, int y, int cx, int cy, const TCanvas& source, int sx, int sy)
{
    if (cx <= 0 || cy <= 0) return;
    StretchBitmap(dest.Bitmap(), Rect(x, y, x + cx, y + cy), source.Bitmap(), Rect(sx, sy, sx + cx, sy + cy));
}

void StretchBlt(TCanvas& dest, const TRect& destRect, const TCanvas& source, const TRect& sourceRect)
{
    StretchBitmap(dest.Bitmap(), destRect, source.Bitmap(), sourceRect);
}

// ---- TBitmap drawing -------------------------------------------------------

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) const
{
    if (Transparent()) {
        const TColor tc = TransparentColor();
        StretchBitmap(canvas.Bitmap(), rect, *this, Rect(0, 0, Width(), Height()), &tc);
    } else {
        StretchBitmap(canvas.Bitmap(), rect, *this, Rect(0, 0, Width(), Height()));
    }
}

// ---- TCanvas ---------------------------------------------------------------

void TCanvas::FillRect(const TRect& rect)
{
    TColorWriter writer(bitmap_);
    const uint32_t v = writer.Native(Brush.Color);
    const int top = std::max(0, std::min(rect.Top, rect.Bottom));
    const int bottom = std::min(bitmap_.Height(), std::max(rect.Top, rect.Bottom));
    const int left = std::min(rect.Left, rect.Right), right = std::max(rect.Left, rect.Right);
    for (int y = top; y < bottom; ++y) writer.FillSpan(y, left, right, v);
}

void TCanvas::FrameRect(const TRect& rect)
{
    const int left = std::min(rect.Left, rect.Right), right = std::max(rect.Left, rect.Right);
    const int top = std::min(rect.Top, rect.Bottom), bottom = std::max(rect.Top, rect.Bottom);
    if (left >= right || top >= bottom) return;
    TColorWriter writer(bitmap_);
    const uint32_t v = writer.Native(Brush.Color);
    writer.FillSpan(top, left, right, v);
    writer.FillSpan(bottom - 1, left, right, v);
    for (int y = std::max(top, 0); y < std::min(bottom, bitmap_.Height()); ++y) {
        writer.FillSpan(y, left, left + 1, v);
        writer.FillSpan(y, right - 1, right, v);
    }
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2)
{
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (x1 == x2 || y1 == y2) return;
    if (Brush.Style != bsClear) FillRect(Rect(x1, y1, x2, y2));
    if (Pen.Style == psClear) return;
    const TPoint corners[5] = {{x1, y1}, {x2 - 1, y1}, {x2 - 1, y2 - 1}, {x1, y2 - 1}, {x1, y1}};
    const TPoint keep = PenPos;
    for (int i = 0; i < 4; ++i) PenLine(corners[i].X, corners[i].Y, corners[i + 1].X, corners[i + 1].Y, true);
    PenPos = keep;
}

void TCanvas::ThickPoint(TColorWriter& writer, int x, int y, uint32_t native)
{
    const int w = std::max(1, Pen.Width);
    if (w == 1) {
        if (x >= 0 && y >= 0 && x < bitmap_.Width() && y < bitmap_.Height()) writer.Put(x, y, native);
        return;
    }
    // A round pen tip of diameter w centred on the point.
    const double r = w / 2.0;
    const int lo = -(w / 2), hi = lo + w - 1;
    for (int dy = lo; dy <= hi; ++dy) {
        const double cy = dy + (w % 2 ? 0.0 : 0.5);
        const double half = std::sqrt(std::max(0.0, r * r - cy * cy));
        const int dx0 = static_cast<int>(std::ceil((w % 2 ? 0.0 : -0.5) - half));
        const int dx1 = static_cast<int>(std::floor((w % 2 ? 0.0 : -0.5) + half));
        writer.FillSpan(y + dy, x + std::max(dx0, lo), x + std::min(dx1, hi) + 1, native);
    }
}

// Cuts a line to a rectangle (Liang-Barsky); false when it misses it.
static bool ClipLine(double& x0, double& y0, double& x1, double& y1, double left, double top, double right,
                     double bottom)
{
    double t0 = 0, t1 = 1;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - left, right - x0, y0 - top, bottom - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const double ax = x0 + t0 * dx, ay = y0 + t0 * dy, bx = x0 + t1 * dx, by = y0 + t1 * dy;
    x0 = ax;
    y0 = ay;
    x1 = bx;
    y1 = by;
    return true;
}

void TCanvas::PenLine(int x0, int y0, int x1, int y1, bool drawLast)
{
    if (Pen.Style == psClear) return;
    // Lines reaching far beyond the bitmap are cut first, so that walking
    // them stays as short as the bitmap is large.
    const int64_t reach = int64_t(1) << 16;
    if (std::abs(int64_t(x0)) > reach || std::abs(int64_t(y0)) > reach || std::abs(int64_t(x1)) > reach ||
        std::abs(int64_t(y1)) > reach) {
        const double m = std::max(1, Pen.Width) + 1;
        double ax = x0, ay = y0, bx = x1, by = y1;
        if (!ClipLine(ax, ay, bx, by, -m, -m, bitmap_.Width() + m, bitmap_.Height() + m)) return;
        const bool endKept = bx == x1 && by == y1;
        x0 = static_cast<int>(std::lround(ax));
        y0 = static_cast<int>(std::lround(ay));
        x1 = static_cast<int>(std::lround(bx));
        y1 = static_cast<int>(std::lround(by));
        drawLast = drawLast || !endKept;
    }
    TColorWriter writer(bitmap_);
    const uint32_t v = writer.Native(Pen.Color);
    const int64_t dx = std::abs(int64_t(x1) - x0), dy = -std::abs(int64_t(y1) - y0);
    const int stepX = x0 < x1 ? 1 : -1, stepY = y0 < y1 ? 1 : -1;
    int64_t err = dx + dy;
    int x = x0, y = y0;
    // Lines far outside the bitmap are walked only while they can still enter it.
    const int64_t margin = std::max(1, Pen.Width);
    for (;;) {
        const bool last = x == x1 && y == y1;
        if (last && !drawLast) break;
        if (x >= -margin && y >= -margin && x < bitmap_.Width() + margin && y < bitmap_.Height() + margin)
            ThickPoint(writer, x, y, v);
        if (last) break;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += stepX;
        }
        if (e2 <= dx) {
            err += dx;
            y += stepY;
        }
    }
}

void TCanvas::LineTo(int x, int y)
{
    PenLine(PenPos.X, PenPos.Y, x, y, false);
    PenPos = Point(x, y);
}

void TCanvas::Polyline(std::span<const TPoint> points)
{
    if (points.empty()) return;
    MoveTo(points[0].X, points[0].Y);
    for (size_t i = 1; i < points.size(); ++i) LineTo(points[i].X, points[i].Y);
}

void TCanvas::Polygon(std::span<const TPoint> points)
{
    if (points.size() < 2) return;
    if (Brush.Style != bsClear) {
        // Alternate filling: a pixel is inside when its centre has an odd
        // number of edges to its left.
        int minY = points[0].Y, maxY = points[0].Y;
        for (const auto& p : points) {
            minY = std::min(minY, p.Y);
            maxY = std::max(maxY, p.Y);
        }
        minY = std::max(minY, 0);
        maxY = std::min(maxY, bitmap_.Height());
        TColorWriter writer(bitmap_);
        const uint32_t v = writer.Native(Brush.Color);
        std::vector<double> xs;
        for (int y = minY; y < maxY; ++y) {
            const double cy = y + 0.5;
            xs.clear();
            for (size_t i = 0; i < points.size(); ++i) {
                const TPoint& a = points[i];
                const TPoint& b = points[(i + 1) % points.size()];
                if ((a.Y <= cy) == (b.Y <= cy)) continue;
                xs.push_back(a.X + (cy - a.Y) * (double(b.X) - a.X) / (double(b.Y) - a.Y));
            }
            std::sort(xs.begin(), xs.end());
            for (size_t i = 0; i + 1 < xs.size(); i += 2) {
                const double l = std::max(xs[i], -1.0), r = std::min(xs[i + 1], double(bitmap_.Width()) + 1);
                writer.FillSpan(y, static_cast<int>(std::ceil(l - 0.5)), static_cast<int>(std::ceil(r - 0.5)), v);
            }
        }
    }
    const TPoint keep = PenPos;
    for (size_t i = 0; i < points.size(); ++i) {
        const TPoint& a = points[i];
        const TPoint& b = points[(i + 1) % points.size()];
        PenLine(a.X, a.Y, b.X, b.Y, true);
    }
    PenPos = keep;
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic)
{
    if (graphic.Empty()) return;
    // A picture whose far edge would pass the coordinate range lies wholly
    // outside any bitmap: nothing to draw.
    const int64_t right = int64_t(x) + graphic.Width(), bottom = int64_t(y) + graphic.Height();
    if (right > INT32_MAX || bottom > INT32_MAX) return;
    graphic.Draw(*this, Rect(x, y, static_cast<int>(right), static_cast<int>(bottom)));
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic)
{
    if (graphic.Empty()) return;
    graphic.Draw(*this, rect);
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& sourceRect)
{
    StretchBitmap(bitmap_, dest, source.bitmap_, sourceRect);
}
