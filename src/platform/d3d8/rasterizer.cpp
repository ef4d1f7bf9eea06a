#include "platform/d3d8/rasterizer.h"

#include <algorithm>
#include <array>
#include <utility>
#include <cmath>
#include <cstring>

#include "platform/d3d8/render_threads.h"

namespace {

constexpr int kSubBits = 8;                  // sub-pixel precision of vertex positions
constexpr int kSub = 1 << kSubBits;          // steps per pixel
constexpr int kHalf = kSub / 2;              // a pixel centre, in steps
constexpr double kMaxCoord = 1 << 20;        // clipping keeps screen positions within +-2^20 pixels
constexpr double kMaxAccept = 1 << 21;       // beyond this (rounding after clipping aside) a polygon is dropped
constexpr int kTile = RasterTileSize;
constexpr uint32_t kChunk = 2048;            // triangles per set-up block
constexpr uint32_t kVertexBlock = 8192;      // vertices per transform block
constexpr float kMinW = 1e-6f;               // clip-space w below this is behind the eye
constexpr int kAttrs = 7;                    // z, q = 1/w, u*q, v*q, r*q, g*q, b*q

// A vertex after the transform: clip-space position and attributes.
struct TClipVertex {
    float x, y, z, w;
    float u, v;
    float r, g, b;  // 0..255
};

enum : uint8_t {
    kNear = 1,
    kFar = 2,
    kBehind = 4,
    kLeft = 8,
    kRight = 16,
    kBottom = 32,
    kTop = 64,
};
constexpr int kPlaneCount = 7;

// Distance of a vertex inside one clip plane (>= 0 inside).
inline float PlaneDistance(int plane, const TClipVertex& v, float gx, float gy)
{
    switch (plane) {
    case 0: return v.z;
    case 1: return v.w - v.z;
    case 2: return v.w - kMinW;
    case 3: return v.x + gx * v.w;
    case 4: return gx * v.w - v.x;
    case 5: return v.y + gy * v.w;
    default: return gy * v.w - v.y;
    }
}

inline uint8_t ClipCodes(const TClipVertex& v, float gx, float gy)
{
    uint8_t c = 0;
    for (int p = 0; p < kPlaneCount; ++p)
        if (!(PlaneDistance(p, v, gx, gy) >= 0.0f)) c |= uint8_t(1u << p);  // NaN counts as outside
    return c;
}

// A vertex on the screen.
struct TScreenVertex {
    int32_t X, Y;      // fixed point, kSub steps per pixel
    float a[kAttrs];   // z, q, u*q, v*q, r*q, g*q, b*q
    float u, v;        // plain texture coordinates (filter choice)
};

struct TPlane {
    float c, dx, dy;  // value at pixel (refX, refY), change per pixel right and down
};

struct TTri {
    int minX, minY, maxX, maxY;  // pixels whose centres may be covered (inclusive, within the target)
    int refX, refY;
    int64_t A[3], B[3], C[3];    // edge e covers pixel (x, y) when A*x + B*y + C >= 0
    TPlane p[kAttrs];
    bool linear;
    bool flat;          // one colour over the whole triangle
    int flatRGB[3];     // that colour
};

struct TLine {
    float x0, y0, x1, y1;  // ordered along the major axis
    float a0[kAttrs];
    float da[kAttrs];      // change from start to end
    int minX, minY, maxX, maxY;
    bool xMajor;
    bool linear;
};

// What one block of triangles puts into each tile: a copy of every
// primitive touching the tile, so a tile reads its primitives in a row.
struct TChunk {
    std::vector<std::vector<TTri>> tris;   // per tile
    std::vector<std::vector<TLine>> lines;  // per tile
};

// ---- small functions -------------------------------------------------------

// First x in [lo, hi + 1] with a * x + row >= 0, for a > 0: estimated in
// floating point, then settled with exact integer tests.
inline int64_t SpanStart(int64_t row, int64_t a, int64_t lo, int64_t hi)
{
    const double est = -double(row) / double(a);  // within a step of the answer
    int64_t x = est < double(lo) ? lo : est > double(hi + 1) ? hi + 1 : int64_t(est);
    while (x > lo && a * (x - 1) + row >= 0) --x;
    while (x <= hi && a * x + row < 0) ++x;
    return x;
}

// Last x in [lo - 1, hi] with a * x + row >= 0, for a < 0.
inline int64_t SpanEnd(int64_t row, int64_t a, int64_t lo, int64_t hi)
{
    const double est = double(row) / double(-a);
    int64_t x = est < double(lo - 1) ? lo - 1 : est > double(hi) ? hi : int64_t(est);
    while (x < hi && a * (x + 1) + row >= 0) ++x;
    while (x >= lo && a * x + row < 0) --x;
    return x;
}

inline int ToByte(float x)
{
    return x > 0.0f ? (x < 255.0f ? int(x + 0.5f) : 255) : 0;
}

inline uint16_t ToDepth(float z)
{
    const float c = z > 0.0f ? (z < 1.0f ? z : 1.0f) : 0.0f;
    return uint16_t(c * 65535.0f + 0.5f);
}

inline int Mul8(int a, int b)
{
    const int x = a * b + 128;
    return (x + (x >> 8)) >> 8;  // a * b / 255, rounded
}

inline uint32_t Lerp2(uint32_t a, uint32_t b, uint32_t f)  // f in 0..255, per channel
{
    const uint32_t rb = (((a & 0x00FF00FFu) * (256 - f) + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
    const uint32_t ag = (((a >> 8) & 0x00FF00FFu) * (256 - f) + ((b >> 8) & 0x00FF00FFu) * f) & 0xFF00FF00u;
    return rb | ag;
}

// A texture coordinate in 1/256 texel steps, reduced to one repetition
// [0, size * 256) of a texture side of `size` texels; `offset` (in steps) is
// added first. NaN and infinities give 0.
inline int WrapSteps(float coord, int size, int offset)
{
    const int period = size * 256;
    const float f = coord * float(period);
    int64_t i;
    if (f > -1073741824.0f && f < 1073741824.0f) {
        i = int64_t(f);
        if (float(i) > f) --i;  // floor
    } else {
        const float frac = coord - std::floor(coord);
        if (!(frac >= 0.0f && frac <= 1.0f)) return 0;
        i = int64_t(frac * float(period));
    }
    i += offset;
    const int64_t r = (size & (size - 1)) == 0 ? (i & (period - 1)) : ((i % period) + period) % period;
    return int(r);
}

inline uint32_t SamplePoint(const TRasterTexture& t, float u, float v)
{
    const int x = WrapSteps(u, t.width, 0) >> 8;
    const int y = WrapSteps(v, t.height, 0) >> 8;
    return t.texels[size_t(y) * size_t(t.width) + size_t(x)];
}

inline uint32_t SampleLinear(const TRasterTexture& t, float u, float v)
{
    // Texel centres lie at half steps: shift by half a texel before splitting.
    const int iu = WrapSteps(u, t.width, -128);
    const int iv = WrapSteps(v, t.height, -128);
    const int x0 = iu >> 8, y0 = iv >> 8;
    const uint32_t fx = uint32_t(iu & 255), fy = uint32_t(iv & 255);
    const int x1 = x0 + 1 == t.width ? 0 : x0 + 1;
    const int y1 = y0 + 1 == t.height ? 0 : y0 + 1;
    const uint32_t* r0 = t.texels + size_t(y0) * size_t(t.width);
    const uint32_t* r1 = t.texels + size_t(y1) * size_t(t.width);
    return Lerp2(Lerp2(r0[x0], r0[x1], fx), Lerp2(r1[x0], r1[x1], fx), fy);
}

// Colour of one pixel from its interpolated attributes (a[1] is q = 1/w).
template <bool kTex, bool kLinear, bool kFlat = false>
inline uint32_t Shade(const float* a, const TRasterTexture& tex, const int* flat = nullptr)
{
    const float w = 1.0f / a[1];
    int r, g, b;
    if constexpr (kFlat) {
        r = flat[0];
        g = flat[1];
        b = flat[2];
    } else {
        r = ToByte(a[4] * w);
        g = ToByte(a[5] * w);
        b = ToByte(a[6] * w);
    }
    if constexpr (kTex) {
        const float u = a[2] * w, v = a[3] * w;
        const uint32_t t = kLinear ? SampleLinear(tex, u, v) : SamplePoint(tex, u, v);
        return 0xFF000000u | uint32_t(Mul8(int((t >> 16) & 255), r)) << 16 |
               uint32_t(Mul8(int((t >> 8) & 255), g)) << 8 | uint32_t(Mul8(int(t & 255), b));
    } else {
        (void)tex;
        return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
    }
}

// ---- filling ----------------------------------------------------------------

template <bool kDepth, bool kTex, bool kLinear, bool kFlat>
void FillTri(const TTri& t, const TRasterTarget& rt, const TRasterTexture& tex, int tx0, int ty0, int tx1, int ty1)
{
    const int x0 = std::max(t.minX, tx0), x1 = std::min(t.maxX, tx1 - 1);
    const int y0 = std::max(t.minY, ty0), y1 = std::min(t.maxY, ty1 - 1);
    if (x0 > x1) return;
    // Local copies: the pixel stores could otherwise alias them, and they
    // would be read again for every pixel.
    const TRasterTexture texture = tex;
    constexpr int n = kFlat ? 4 : kAttrs;  // a flat triangle needs depth, 1/w and u, v only
    float step[kAttrs];
    for (int i = 0; i < n; ++i) step[i] = t.p[i].dx;
    const int flat[3] = {t.flatRGB[0], t.flatRGB[1], t.flatRGB[2]};
    for (int y = y0; y <= y1; ++y) {
        int64_t xl = x0, xr = x1;
        for (int e = 0; e < 3 && xl <= xr; ++e) {
            const int64_t row = t.B[e] * y + t.C[e];
            const int64_t a = t.A[e];
            if (a > 0)
                xl = std::max(xl, SpanStart(row, a, xl, xr));
            else if (a < 0)
                xr = std::min(xr, SpanEnd(row, a, xl, xr));
            else if (row < 0)
                xr = xl - 1;
        }
        if (xl > xr) continue;
        const float fx = float(int(xl) - t.refX), fy = float(y - t.refY);
        float a[kAttrs];
        for (int i = 0; i < n; ++i) a[i] = t.p[i].c + t.p[i].dx * fx + t.p[i].dy * fy;
        uint32_t* crow = rt.color + size_t(y) * size_t(rt.colorPitch);
        uint16_t* drow = kDepth ? rt.depth + size_t(y) * size_t(rt.depthPitch) : nullptr;
        for (int x = int(xl); x <= int(xr); ++x) {
            bool draw = true;
            if constexpr (kDepth) {
                const uint16_t zq = ToDepth(a[0]);
                if (zq <= drow[x])
                    drow[x] = zq;
                else
                    draw = false;
            }
            if (draw) crow[x] = Shade<kTex, kLinear, kFlat>(a, texture, flat);
            for (int i = 0; i < n; ++i) a[i] += step[i];
        }
    }
}

template <bool kDepth, bool kTex, bool kLinear>
void DrawLine(const TLine& l, const TRasterTarget& rt, const TRasterTexture& tex, int tx0, int ty0, int tx1, int ty1)
{
    // One pixel per column (x-major) or row (y-major) whose centre lies
    // between the two ends, both included, so outlines close at the corners.
    const float major0 = l.xMajor ? l.x0 : l.y0, major1 = l.xMajor ? l.x1 : l.y1;
    const float minor0 = l.xMajor ? l.y0 : l.x0, minor1 = l.xMajor ? l.y1 : l.x1;
    const float len = major1 - major0;
    if (!(len > 0.0f)) return;  // a point: no direction to draw in
    int first = int(std::ceil(major0 - 0.5f)), last = int(std::floor(major1 - 0.5f));
    const int lo = l.xMajor ? std::max(tx0, l.minX) : std::max(ty0, l.minY);
    const int hi = l.xMajor ? std::min(tx1 - 1, l.maxX) : std::min(ty1 - 1, l.maxY);
    first = std::max(first, lo);
    last = std::min(last, hi);
    for (int m = first; m <= last; ++m) {
        const float t = (float(m) + 0.5f - major0) / len;
        const int n = int(std::floor(minor0 + t * (minor1 - minor0)));
        const int x = l.xMajor ? m : n, y = l.xMajor ? n : m;
        if (x < tx0 || x >= tx1 || y < ty0 || y >= ty1 || x < 0 || y < 0 || x >= rt.width || y >= rt.height)
            continue;
        float a[kAttrs];
        for (int i = 0; i < kAttrs; ++i) a[i] = l.a0[i] + t * l.da[i];
        if constexpr (kDepth) {
            uint16_t& d = rt.depth[size_t(y) * size_t(rt.depthPitch) + size_t(x)];
            const uint16_t zq = ToDepth(a[0]);
            if (zq > d) continue;
            d = zq;
        }
        rt.color[size_t(y) * size_t(rt.colorPitch) + size_t(x)] = Shade<kTex, kLinear>(a, tex);
    }
}

using TFillFn = void (*)(const TTri&, const TRasterTarget&, const TRasterTexture&, int, int, int, int);
using TLineFn = void (*)(const TLine&, const TRasterTarget&, const TRasterTexture&, int, int, int, int);

// The fill functions by variant: index bit 3 depth, 2 texture, 1 linear, 0 flat.
template <size_t... I>
constexpr std::array<TFillFn, sizeof...(I)> FillTable(std::index_sequence<I...>)
{
    return {&FillTri<(I & 8) != 0, (I & 4) != 0, (I & 2) != 0, (I & 1) != 0>...};
}
constexpr auto kFillFns = FillTable(std::make_index_sequence<16>());

template <size_t... I>
constexpr std::array<TLineFn, sizeof...(I)> LineTable(std::index_sequence<I...>)
{
    return {&DrawLine<(I & 4) != 0, (I & 2) != 0, (I & 1) != 0>...};
}
constexpr auto kLineFns = LineTable(std::make_index_sequence<8>());

}  // namespace

// ---- the per-draw work ---------------------------------------------------------

struct TRasterizer::TScratch {
    std::vector<TClipVertex> verts;
    std::vector<uint8_t> codes;
    std::vector<TChunk> chunks;
    std::vector<int> activeTiles;
};

TRasterizer::TRasterizer() : scratch_(new TScratch) {}
TRasterizer::~TRasterizer() { delete scratch_; }

namespace {

struct TDrawContext {
    const TRasterTarget* rt;
    const TRasterState* st;
    int tilesX, tilesY;
    float gx, gy;  // guard band in clip units
    bool textured;
};

TScreenVertex Project(const TClipVertex& c, const TRasterTarget& rt, bool& ok)
{
    TScreenVertex s;
    const float q = 1.0f / c.w;
    const double sx = (double(c.x) * q + 1.0) * 0.5 * rt.width;
    const double sy = (1.0 - double(c.y) * q) * 0.5 * rt.height;
    if (!(std::fabs(sx) <= kMaxAccept && std::fabs(sy) <= kMaxAccept)) {
        ok = false;
        return s;
    }
    s.X = int32_t(std::lrint(sx * kSub));
    s.Y = int32_t(std::lrint(sy * kSub));
    s.a[0] = c.z * q;
    s.a[1] = q;
    s.a[2] = c.u * q;
    s.a[3] = c.v * q;
    s.a[4] = c.r * q;
    s.a[5] = c.g * q;
    s.a[6] = c.b * q;
    s.u = c.u;
    s.v = c.v;
    for (float f : s.a)
        if (!std::isfinite(f)) ok = false;
    return s;
}

inline int64_t Area2(const TScreenVertex& a, const TScreenVertex& b, const TScreenVertex& c)
{
    return int64_t(b.X - a.X) * (c.Y - a.Y) - int64_t(c.X - a.X) * (b.Y - a.Y);
}

// Which filter a triangle uses when magnification and minification differ:
// minification when a screen pixel covers more than one texel.
bool UseLinear(const TDrawContext& ctx, const TScreenVertex& a, const TScreenVertex& b, const TScreenVertex& c,
               double screenArea2)
{
    const TRasterState& st = *ctx.st;
    if (st.linearMag == st.linearMin) return st.linearMag;
    const double texArea2 = std::fabs(double(b.u - a.u) * (c.v - a.v) - double(c.u - a.u) * (b.v - a.v)) *
                            st.texture.width * st.texture.height;
    return texArea2 > screenArea2 ? st.linearMin : st.linearMag;
}

template <class T>
void BinBox(std::vector<std::vector<T>>& bins, const T& item, int minX, int minY, int maxX, int maxY, int tilesX)
{
    for (int ty = minY / kTile; ty <= maxY / kTile; ++ty)
        for (int tx = minX / kTile; tx <= maxX / kTile; ++tx) bins[size_t(ty) * tilesX + tx].push_back(item);
}

// Triangle a, b, c with a positive area (clockwise on the screen).
void SetupTri(const TDrawContext& ctx, TChunk& chunk, const TScreenVertex& a, const TScreenVertex& b,
              const TScreenVertex& c, int64_t area2)
{
    const TRasterTarget& rt = *ctx.rt;
    TTri t;
    const TScreenVertex* v[3] = {&a, &b, &c};
    int64_t minXf = std::min({a.X, b.X, c.X}), maxXf = std::max({a.X, b.X, c.X});
    int64_t minYf = std::min({a.Y, b.Y, c.Y}), maxYf = std::max({a.Y, b.Y, c.Y});
    t.minX = int(std::max<int64_t>(0, (minXf - kHalf + kSub - 1) >> kSubBits));
    t.maxX = int(std::min<int64_t>(rt.width - 1, (maxXf - kHalf) >> kSubBits));
    t.minY = int(std::max<int64_t>(0, (minYf - kHalf + kSub - 1) >> kSubBits));
    t.maxY = int(std::min<int64_t>(rt.height - 1, (maxYf - kHalf) >> kSubBits));
    if (t.minX > t.maxX || t.minY > t.maxY) return;

    for (int e = 0; e < 3; ++e) {
        const TScreenVertex& p = *v[e];
        const TScreenVertex& q = *v[(e + 1) % 3];
        const int64_t dx = int64_t(q.X) - p.X, dy = int64_t(q.Y) - p.Y;
        // Pixels exactly on an edge belong to the triangle only for its top
        // and left edges, so neighbours sharing the edge do not both draw them.
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        t.A[e] = -dy * kSub;
        t.B[e] = dx * kSub;
        t.C[e] = dx * (kHalf - int64_t(p.Y)) - dy * (kHalf - int64_t(p.X)) - (topLeft ? 0 : 1);
    }

    t.refX = t.minX;
    t.refY = t.minY;
    const double x0 = a.X / double(kSub), y0 = a.Y / double(kSub);
    const double x1 = b.X / double(kSub) - x0, y1 = b.Y / double(kSub) - y0;
    const double x2 = c.X / double(kSub) - x0, y2 = c.Y / double(kSub) - y0;
    const double det = double(area2) / double(kSub * kSub);
    const double rx = t.refX + 0.5 - x0, ry = t.refY + 0.5 - y0;
    for (int i = 0; i < kAttrs; ++i) {
        const double d1 = double(b.a[i]) - a.a[i], d2 = double(c.a[i]) - a.a[i];
        const double ddx = (d1 * y2 - d2 * y1) / det;
        const double ddy = (d2 * x1 - d1 * x2) / det;
        t.p[i] = {float(a.a[i] + ddx * rx + ddy * ry), float(ddx), float(ddy)};
    }
    t.linear = ctx.textured && UseLinear(ctx, a, b, c, det);
    // Corner colours that round to the same value round to it everywhere in
    // between: no need to interpolate them.
    const float qa = a.a[1], qb = b.a[1], qc = c.a[1];
    t.flat = true;
    for (int i = 0; i < 3; ++i) {
        const float ca = a.a[4 + i] / qa, cb = b.a[4 + i] / qb, cc = c.a[4 + i] / qc;
        t.flat = t.flat && ToByte(ca) == ToByte(cb) && ToByte(ca) == ToByte(cc);
        t.flatRGB[i] = ToByte(ca);
    }

    BinBox(chunk.tris, t, t.minX, t.minY, t.maxX, t.maxY, ctx.tilesX);
}

void SetupLine(const TDrawContext& ctx, TChunk& chunk, const TScreenVertex& a, const TScreenVertex& b, bool linear)
{
    const TRasterTarget& rt = *ctx.rt;
    TLine l;
    float ax = a.X / float(kSub), ay = a.Y / float(kSub), bx = b.X / float(kSub), by = b.Y / float(kSub);
    l.xMajor = std::fabs(bx - ax) >= std::fabs(by - ay);
    const bool swap = l.xMajor ? bx < ax : by < ay;
    const TScreenVertex& s = swap ? b : a;
    const TScreenVertex& e = swap ? a : b;
    if (swap) {
        std::swap(ax, bx);
        std::swap(ay, by);
    }
    l.x0 = ax;
    l.y0 = ay;
    l.x1 = bx;
    l.y1 = by;
    for (int i = 0; i < kAttrs; ++i) {
        l.a0[i] = s.a[i];
        l.da[i] = e.a[i] - s.a[i];
    }
    l.minX = std::max(0, int(std::floor(std::min(ax, bx))));
    l.maxX = std::min(rt.width - 1, int(std::floor(std::max(ax, bx))));
    l.minY = std::max(0, int(std::floor(std::min(ay, by))));
    l.maxY = std::min(rt.height - 1, int(std::floor(std::max(ay, by))));
    if (l.minX > l.maxX || l.minY > l.maxY) return;
    l.linear = linear;
    BinBox(chunk.lines, l, l.minX, l.minY, l.maxX, l.maxY, ctx.tilesX);
}

// A convex polygon on the screen; edge[i] tells whether the side from vertex
// i to i + 1 is part of an original triangle side (clipping adds the others).
void EmitPolygon(const TDrawContext& ctx, TChunk& chunk, const TScreenVertex* v, const bool* edge, int n)
{
    int64_t area = 0;
    for (int i = 1; i + 1 < n; ++i) area += Area2(v[0], v[i], v[i + 1]);
    if (area == 0) return;
    const TRasterState& st = *ctx.st;
    if (st.cull == TRasterCull::CounterClockwise && area < 0) return;
    if (st.cull == TRasterCull::Clockwise && area > 0) return;

    if (st.wireframe) {
        bool linear = false;
        if (ctx.textured) linear = UseLinear(ctx, v[0], v[1], v[2], double(std::llabs(area)) / (kSub * kSub));
        for (int i = 0; i < n; ++i)
            if (edge[i]) SetupLine(ctx, chunk, v[i], v[(i + 1) % n], linear);
        return;
    }
    for (int i = 1; i + 1 < n; ++i) {
        const int64_t a = Area2(v[0], v[i], v[i + 1]);
        if (a == 0 || (a > 0) != (area > 0)) continue;  // slivers flipped by snapping
        if (a > 0)
            SetupTri(ctx, chunk, v[0], v[i], v[i + 1], a);
        else
            SetupTri(ctx, chunk, v[0], v[i + 1], v[i], -a);
    }
}

TClipVertex Lerp(const TClipVertex& a, const TClipVertex& b, float t)
{
    auto l = [t](float p, float q) { return p + (q - p) * t; };
    return {l(a.x, b.x), l(a.y, b.y), l(a.z, b.z), l(a.w, b.w), l(a.u, b.u),
            l(a.v, b.v), l(a.r, b.r), l(a.g, b.g), l(a.b, b.b)};
}

constexpr int kMaxPoly = 3 + kPlaneCount;

// Sutherland-Hodgman clipping against the planes in `planes`.
int ClipPolygon(const TDrawContext& ctx, uint8_t planes, TClipVertex* poly, bool* edge, int n)
{
    TClipVertex tmp[kMaxPoly];
    bool tmpEdge[kMaxPoly];
    for (int p = 0; p < kPlaneCount && n >= 3; ++p) {
        if (!(planes & (1u << p))) continue;
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const TClipVertex& a = poly[i];
            const TClipVertex& b = poly[(i + 1) % n];
            const float da = PlaneDistance(p, a, ctx.gx, ctx.gy), db = PlaneDistance(p, b, ctx.gx, ctx.gy);
            const bool ina = da >= 0.0f, inb = db >= 0.0f;
            if (ina) {
                tmp[m] = a;
                tmpEdge[m++] = edge[i];
            }
            if (ina != inb) {
                // Always from the inside point towards the outside one, so two
                // triangles sharing this side get the same new point.
                const float din = ina ? da : db, dout = ina ? db : da;
                const TClipVertex& in = ina ? a : b;
                const TClipVertex& out = ina ? b : a;
                const float t = din / (din - dout);
                tmp[m] = Lerp(in, out, std::isfinite(t) ? t : 0.0f);
                tmpEdge[m++] = ina ? false : edge[i];
            }
        }
        n = m;
        std::copy(tmp, tmp + n, poly);
        std::copy(tmpEdge, tmpEdge + n, edge);
    }
    return n;
}

void SetupChunk(const TDrawContext& ctx, TChunk& chunk, const TClipVertex* verts, const uint8_t* codes,
                uint32_t first, uint32_t last)
{
    for (uint32_t t = first; t < last; ++t) {
        const uint32_t i = t * 3;
        const uint8_t c0 = codes[i], c1 = codes[i + 1], c2 = codes[i + 2];
        if (c0 & c1 & c2) continue;
        TClipVertex poly[kMaxPoly] = {verts[i], verts[i + 1], verts[i + 2]};
        bool edge[kMaxPoly] = {true, true, true};
        int n = 3;
        if (c0 | c1 | c2) n = ClipPolygon(ctx, uint8_t(c0 | c1 | c2), poly, edge, n);
        if (n < 3) continue;
        TScreenVertex s[kMaxPoly];
        bool ok = true;
        for (int k = 0; k < n; ++k) s[k] = Project(poly[k], *ctx.rt, ok);
        if (ok) EmitPolygon(ctx, chunk, s, edge, n);
    }
}

}  // namespace

void TRasterizer::Clear(const TRasterTarget& rt, int x0, int y0, int x1, int y1, bool color, uint32_t colorValue,
                        bool depth, uint16_t depthValue)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, rt.width);
    y1 = std::min(y1, rt.height);
    if (x0 >= x1 || y0 >= y1) return;
    if (!rt.depth) depth = false;
    const int bands = (y1 - y0 + kTile - 1) / kTile;
    TRenderThreads::Instance().ParallelFor(bands, [&](int band) {
        const int ya = y0 + band * kTile, yb = std::min(y1, ya + kTile);
        for (int y = ya; y < yb; ++y) {
            if (color) std::fill_n(rt.color + size_t(y) * rt.colorPitch + x0, x1 - x0, colorValue);
            if (depth) std::fill_n(rt.depth + size_t(y) * rt.depthPitch + x0, x1 - x0, depthValue);
        }
    });
}

void TRasterizer::DrawTriangles(const TRasterTarget& rt, const TRasterState& st, const TRasterVertices& vin,
                                uint32_t firstVertex, uint32_t triangleCount)
{
    if (triangleCount == 0 || rt.width <= 0 || rt.height <= 0 || !rt.color) return;
    TScratch& s = *scratch_;
    TRenderThreads& pool = TRenderThreads::Instance();

    TDrawContext ctx;
    ctx.rt = &rt;
    ctx.st = &st;
    ctx.tilesX = (rt.width + kTile - 1) / kTile;
    ctx.tilesY = (rt.height + kTile - 1) / kTile;
    ctx.gx = float(2.0 * kMaxCoord / rt.width - 1.0);
    ctx.gy = float(2.0 * kMaxCoord / rt.height - 1.0);
    ctx.textured = st.texture.texels && st.texture.width > 0 && st.texture.height > 0;
    const bool depth = st.depthTest && rt.depth;

    // 1. Transform every vertex to clip space and classify it.
    const uint32_t nv = triangleCount * 3;
    s.verts.resize(nv);
    s.codes.resize(nv);
    const D3DXMATRIX& m = st.transform;
    pool.ParallelFor(int((nv + kVertexBlock - 1) / kVertexBlock), [&](int block) {
        const uint32_t b0 = uint32_t(block) * kVertexBlock, b1 = std::min(nv, b0 + kVertexBlock);
        for (uint32_t i = b0; i < b1; ++i) {
            const uint8_t* p = vin.data + size_t(firstVertex + i) * vin.stride;
            float pos[3];
            std::memcpy(pos, p + vin.positionOffset, sizeof pos);
            TClipVertex& c = s.verts[i];
            c.x = pos[0] * m._11 + pos[1] * m._21 + pos[2] * m._31 + m._41;
            c.y = pos[0] * m._12 + pos[1] * m._22 + pos[2] * m._32 + m._42;
            c.z = pos[0] * m._13 + pos[1] * m._23 + pos[2] * m._33 + m._43;
            c.w = pos[0] * m._14 + pos[1] * m._24 + pos[2] * m._34 + m._44;
            uint32_t diffuse = 0xFFFFFFFFu;
            if (vin.diffuseOffset >= 0) std::memcpy(&diffuse, p + vin.diffuseOffset, 4);
            c.r = float((diffuse >> 16) & 255);
            c.g = float((diffuse >> 8) & 255);
            c.b = float(diffuse & 255);
            float uv[2] = {0.0f, 0.0f};
            if (vin.texCoordOffset >= 0) std::memcpy(uv, p + vin.texCoordOffset, sizeof uv);
            c.u = uv[0];
            c.v = uv[1];
            s.codes[i] = ClipCodes(c, ctx.gx, ctx.gy);
        }
    });

    // 2. Clip, project, cull and set up, block by block, binning into tiles.
    const int tiles = ctx.tilesX * ctx.tilesY;
    const int chunkCount = int((triangleCount + kChunk - 1) / kChunk);
    if (int(s.chunks.size()) < chunkCount) s.chunks.resize(size_t(chunkCount));
    pool.ParallelFor(chunkCount, [&](int c) {
        TChunk& chunk = s.chunks[size_t(c)];
        if (int(chunk.tris.size()) != tiles) {
            chunk.tris.resize(size_t(tiles));
            chunk.lines.resize(size_t(tiles));
        }
        for (auto& b : chunk.tris) b.clear();
        for (auto& b : chunk.lines) b.clear();
        const uint32_t t0 = uint32_t(c) * kChunk, t1 = std::min(triangleCount, t0 + kChunk);
        SetupChunk(ctx, chunk, s.verts.data(), s.codes.data(), t0, t1);
    });

    // 3. Fill the tiles, each in submission order.
    s.activeTiles.clear();
    for (int t = 0; t < tiles; ++t)
        for (int c = 0; c < chunkCount; ++c)
            if (!s.chunks[size_t(c)].tris[size_t(t)].empty() || !s.chunks[size_t(c)].lines[size_t(t)].empty()) {
                s.activeTiles.push_back(t);
                break;
            }
    const TRasterTexture& tex = st.texture;
    const bool textured = ctx.textured;
    const size_t variant = (depth ? 8 : 0) | (textured ? 4 : 0);
    pool.ParallelFor(int(s.activeTiles.size()), [&](int k) {
        const int t = s.activeTiles[size_t(k)];
        const int tx0 = (t % ctx.tilesX) * kTile, ty0 = (t / ctx.tilesX) * kTile;
        const int tx1 = std::min(rt.width, tx0 + kTile), ty1 = std::min(rt.height, ty0 + kTile);
        for (int c = 0; c < chunkCount; ++c) {
            const TChunk& chunk = s.chunks[size_t(c)];
            for (const TLine& l : chunk.lines[size_t(t)])
                kLineFns[(variant | (l.linear ? 2 : 0)) >> 1](l, rt, tex, tx0, ty0, tx1, ty1);
            for (const TTri& tri : chunk.tris[size_t(t)])
                kFillFns[variant | (tri.linear ? 2 : 0) | (tri.flat ? 1 : 0)](tri, rt, tex, tx0, ty0, tx1, ty1);
        }
    });
}
