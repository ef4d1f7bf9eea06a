#include "platform/d3d8/rasterizer.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/d3d8/raster_scalar.h"
#include "platform/d3d8/raster_setup.h"
#include "platform/d3d8/render_threads.h"

namespace rasterimpl {
namespace {

constexpr int kSubBits = 8;             // sub-pixel precision of vertex positions
constexpr int kSub = 1 << kSubBits;     // steps per pixel
constexpr int kHalf = kSub / 2;         // a pixel centre, in steps
constexpr double kMaxCoord = 1 << 20;   // clipping keeps screen positions within +-2^20 pixels
constexpr double kMaxAccept = 1 << 21;  // beyond this (rounding after clipping aside) a polygon is dropped
constexpr int kTile = RasterTileSize;
constexpr uint32_t kMinChunk = 256;    // triangles per set-up chunk, at least
constexpr uint32_t kMaxChunk = 65536;  // and at most
constexpr uint32_t kBatch = 64;        // triangles transformed at once within a chunk
constexpr float kMinW = 1e-6f;         // clip-space w below this is behind the eye

// A vertex after the transform: clip-space position and attributes.
struct TClipVertex {
    float x, y, z, w;
    float u, v;
    float r, g, b;  // 0..255
};

constexpr int kPlaneCount = 7;  // near, far, behind the eye, left, right, bottom, top

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

// Bit p set when the vertex lies outside plane p; NaN counts as outside.
inline uint8_t ClipCodes(const TClipVertex& v, float gx, float gy)
{
    unsigned c = 0;
    for (int p = 0; p < kPlaneCount; ++p) c |= unsigned(!(PlaneDistance(p, v, gx, gy) >= 0.0f)) << p;
    return uint8_t(c);
}

// A vertex on the screen.
struct TScreenVertex {
    int32_t X, Y;     // fixed point, kSub steps per pixel
    float a[kAttrs];  // z, q, u*q, v*q, r*q, g*q, b*q
    float u, v;       // plain texture coordinates (filter choice)
    float r, g, b;    // plain colour (flat triangles)
};

struct TLine {
    float x0, y0, x1, y1;  // ordered along the major axis
    float a0[kAttrs];
    float da[kAttrs];  // change from start to end
    int minX, minY, maxX, maxY;
    bool xMajor;
    bool linear;
};

// The tiles a primitive's pixel box touches (inclusive).
struct TTileBox {
    uint16_t x0, y0, x1, y1;
};

// Primitives of one kind that one chunk of triangles hands to the tiles:
// set-up records, the tiles each touches, and their indices grouped by tile
// (in submission order within a tile).
template <class T>
struct TBinned {
    std::vector<T> items;
    std::vector<TTileBox> boxes;
    std::vector<uint32_t> order;
    std::vector<T> sorted;        // items laid out by tile, while sorting
    std::vector<uint32_t> place;  // where each item goes in `sorted`
};

struct TChunk {
    TBinned<TTriSetup> tris;
    std::vector<TColourPlanes> colours;  // of the triangles that are not flat
    TBinned<TLine> lines;
    std::vector<uint32_t> cursor;  // per tile, while sorting
};

// Where one chunk's primitives for one tile lie in its `order`.
struct TBinRange {
    uint32_t start, count;
};

// What the instruction-set switch asks for.
std::atomic<int> gInstructions{int(TRasterInstructions::Best)};

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

const TPixelPipeline& ChosenPipeline()
{
    const auto set = TRasterInstructions(gInstructions.load(std::memory_order_relaxed));
    if (set == TRasterInstructions::Sse2 || !HasAvx2()) return PixelPipelineSse2();
    return PixelPipelineAvx2();
}

// ---- wireframe lines, one pixel at a time -------------------------------------------

// Colour of one pixel from its interpolated attributes (a[1] is q = 1/w).
template <bool kTex, bool kLinear>
inline uint32_t ShadeOne(const float* a, const TTexInfo& tex)
{
    const float w = 1.0f / a[1];
    const int r = ToByte(a[4] * w), g = ToByte(a[5] * w), b = ToByte(a[6] * w);
    if constexpr (kTex) return Modulate(Sample(tex, kLinear, a[2] * w, a[3] * w), r, g, b);
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

template <bool kDepth, bool kTex, bool kLinear>
void DrawLine(const TLine& l, const TTileJob& job)
{
    // One pixel per column (x-major) or row (y-major) whose centre lies
    // between the two ends, both included, so outlines close at the corners.
    const float major0 = l.xMajor ? l.x0 : l.y0, major1 = l.xMajor ? l.x1 : l.y1;
    const float minor0 = l.xMajor ? l.y0 : l.x0, minor1 = l.xMajor ? l.y1 : l.x1;
    const float len = major1 - major0;
    if (!(len > 0.0f)) return;  // a point: no direction to draw in
    int first = int(std::ceil(major0 - 0.5f)), last = int(std::floor(major1 - 0.5f));
    const int lo = l.xMajor ? std::max(job.x0, l.minX) : std::max(job.y0, l.minY);
    const int hi = l.xMajor ? std::min(job.x1 - 1, l.maxX) : std::min(job.y1 - 1, l.maxY);
    first = std::max(first, lo);
    last = std::min(last, hi);
    for (int m = first; m <= last; ++m) {
        const float t = (float(m) + 0.5f - major0) / len;
        const int n = int(std::floor(minor0 + t * (minor1 - minor0)));
        const int x = l.xMajor ? m : n, y = l.xMajor ? n : m;
        if (x < job.x0 || x >= job.x1 || y < job.y0 || y >= job.y1) continue;
        float a[kAttrs];
        for (int i = 0; i < kAttrs; ++i) a[i] = l.a0[i] + t * l.da[i];
        if constexpr (kDepth) {
            uint16_t& d = job.depth[ptrdiff_t(y - job.y0) * job.depthPitch + (x - job.x0)];
            const uint16_t zq = ToDepth(a[0]);
            if (zq > d) continue;
            d = zq;
        }
        job.color[ptrdiff_t(y - job.y0) * job.colorPitch + (x - job.x0)] = ShadeOne<kTex, kLinear>(a, *job.texture);
    }
}

using TLineFn = void (*)(const TLine&, const TTileJob&);

// The line functions by variant: index bit 2 depth, 1 texture, 0 linear.
template <size_t... I>
constexpr std::array<TLineFn, sizeof...(I)> LineTable(std::index_sequence<I...>)
{
    return {&DrawLine<(I & 4) != 0, (I & 2) != 0, (I & 1) != 0>...};
}
constexpr auto kLineFns = LineTable(std::make_index_sequence<8>());

// ---- the draw ---------------------------------------------------------------------

struct TDrawContext {
    const TRasterTarget* rt;
    const TRasterState* st;
    const TRasterVertices* vin;
    uint32_t firstVertex;
    uint32_t triangleCount;
    int tilesX, tilesY;
    uint32_t chunkSize;  // triangles per chunk
    int chunkCount;
    float gx, gy;  // guard band in clip units
    bool textured;
    bool depth;
    TTexInfo texture;
    const TTriFill* fill;  // the pipeline's four fills of this draw's variant
};

TTexInfo TextureInfo(const TRasterTexture& t)
{
    const auto pow2 = [](int n) { return n > 0 && std::has_single_bit(unsigned(n)); };
    const bool lanes = pow2(t.width) && pow2(t.height) && t.pitch == t.width + 1;
    return {t, lanes, lanes ? std::countr_zero(unsigned(t.width)) : 0};
}

// Large chunks keep a tile's records together in memory; there are still
// a few chunks per thread to share out.
uint32_t ChunkSize(uint32_t triangles)
{
    const uint32_t perThread = triangles / (4u * uint32_t(TRenderThreads::Instance().Count()));
    uint32_t size = kMinChunk;
    while (size < perThread && size < kMaxChunk) size *= 2;
    return size;
}

TDrawContext DrawContext(const TRasterTarget& rt, const TRasterState& st, const TRasterVertices& vin,
                         uint32_t firstVertex, uint32_t triangleCount)
{
    TDrawContext ctx;
    ctx.rt = &rt;
    ctx.st = &st;
    ctx.vin = &vin;
    ctx.firstVertex = firstVertex;
    ctx.triangleCount = triangleCount;
    ctx.tilesX = (rt.width + kTile - 1) / kTile;
    ctx.tilesY = (rt.height + kTile - 1) / kTile;
    ctx.chunkSize = ChunkSize(triangleCount);
    ctx.chunkCount = int((triangleCount + ctx.chunkSize - 1) / ctx.chunkSize);
    ctx.gx = float(2.0 * kMaxCoord / rt.width - 1.0);
    ctx.gy = float(2.0 * kMaxCoord / rt.height - 1.0);
    ctx.textured = st.texture.texels && st.texture.width > 0 && st.texture.height > 0;
    ctx.depth = st.depthTest && rt.depth;
    ctx.texture = TextureInfo(st.texture);
    ctx.fill = &ChosenPipeline().fill[(ctx.depth ? 8 : 0) | (ctx.textured ? 4 : 0)];
    return ctx;
}

// ---- transform ----------------------------------------------------------------------

TClipVertex TransformVertex(const TDrawContext& ctx, size_t index)
{
    const TRasterVertices& vin = *ctx.vin;
    const D3DXMATRIX& m = ctx.st->transform;
    const uint8_t* p = vin.data + index * vin.stride;
    float pos[3];
    std::memcpy(pos, p + vin.positionOffset, sizeof pos);
    TClipVertex c;
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
    return c;
}

// The vertices of triangles [first, first + count) in clip space, with their clip codes.
void TransformBatch(const TDrawContext& ctx, uint32_t first, uint32_t count, TClipVertex* out, uint8_t* codes)
{
    assert(count <= kBatch);
    const size_t v0 = size_t(ctx.firstVertex) + size_t(first) * 3;
    for (uint32_t i = 0; i < count * 3; ++i) {
        out[i] = TransformVertex(ctx, v0 + i);
        codes[i] = ClipCodes(out[i], ctx.gx, ctx.gy);
    }
}

// ---- clipping --------------------------------------------------------------------------

TClipVertex Lerp(const TClipVertex& a, const TClipVertex& b, float t)
{
    auto l = [t](float p, float q) { return p + (q - p) * t; };
    return {l(a.x, b.x), l(a.y, b.y), l(a.z, b.z), l(a.w, b.w), l(a.u, b.u),
            l(a.v, b.v), l(a.r, b.r), l(a.g, b.g), l(a.b, b.b)};
}

constexpr int kMaxPoly = 3 + kPlaneCount;

// One Sutherland-Hodgman pass against plane p, from poly into out (room
// for kMaxPoly vertices); returns the new vertex count. edge[i] tells
// whether the side from vertex i to i + 1 is part of an original triangle
// side (clipping adds the others). A convex polygon gains at most one
// vertex per plane; one that would gain more is no longer convex (its
// distances are not finite) and is dropped: the count is then 0.
int ClipAgainst(const TDrawContext& ctx, int p, const TClipVertex* poly, const bool* edge, int n, TClipVertex* out,
                bool* outEdge)
{
    assert(n <= kMaxPoly);
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const TClipVertex& a = poly[i];
        const TClipVertex& b = poly[(i + 1) % n];
        const float da = PlaneDistance(p, a, ctx.gx, ctx.gy), db = PlaneDistance(p, b, ctx.gx, ctx.gy);
        const bool ina = da >= 0.0f, inb = db >= 0.0f;
        if (m + int(ina) + int(ina != inb) > kMaxPoly) return 0;
        if (ina) {
            out[m] = a;
            outEdge[m++] = edge[i];
        }
        if (ina != inb) {
            // Always from the inside point towards the outside one, so two
            // triangles sharing this side get the same new point.
            const float din = ina ? da : db, dout = ina ? db : da;
            const TClipVertex& in = ina ? a : b;
            const TClipVertex& outside = ina ? b : a;
            const float t = din / (din - dout);
            out[m] = Lerp(in, outside, std::isfinite(t) ? t : 0.0f);
            outEdge[m++] = ina ? false : edge[i];
        }
    }
    return m;
}

// Clips the polygon against the planes in `planes`; returns the vertex count.
int ClipPolygon(const TDrawContext& ctx, uint8_t planes, TClipVertex* poly, bool* edge, int n)
{
    TClipVertex tmp[kMaxPoly];
    bool tmpEdge[kMaxPoly];
    for (int p = 0; p < kPlaneCount && n >= 3; ++p) {
        if (!(planes & (1u << p))) continue;
        n = ClipAgainst(ctx, p, poly, edge, n, tmp, tmpEdge);
        std::copy(tmp, tmp + n, poly);
        std::copy(tmpEdge, tmpEdge + n, edge);
    }
    return n;
}

// ---- projection and set-up ----------------------------------------------------------------

// std::lrint in the default rounding mode (to nearest, ties to even), without a library call.
inline int64_t RoundToInt(double x) { return _mm_cvtsd_si64(_mm_set_sd(x)); }

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
    s.X = int32_t(RoundToInt(sx * kSub));
    s.Y = int32_t(RoundToInt(sy * kSub));
    s.a[0] = c.z * q;
    s.a[1] = q;
    s.a[2] = c.u * q;
    s.a[3] = c.v * q;
    s.a[4] = c.r * q;
    s.a[5] = c.g * q;
    s.a[6] = c.b * q;
    s.u = c.u;
    s.v = c.v;
    s.r = c.r;
    s.g = c.g;
    s.b = c.b;
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

// Records the tiles the pixel box touches.
template <class T>
void AddTileBox(TBinned<T>& binned, int minX, int minY, int maxX, int maxY)
{
    assert(0 <= minX && minX <= maxX && 0 <= minY && minY <= maxY);
    binned.boxes.push_back(
        {uint16_t(minX / kTile), uint16_t(minY / kTile), uint16_t(maxX / kTile), uint16_t(maxY / kTile)});
}

// The pixels whose centres the triangle's corners enclose, within the
// target; false when there are none.
bool PixelBox(const TRasterTarget& rt, const TScreenVertex& a, const TScreenVertex& b, const TScreenVertex& c,
              TTriSetup& t)
{
    const int64_t minXf = std::min({a.X, b.X, c.X}), maxXf = std::max({a.X, b.X, c.X});
    const int64_t minYf = std::min({a.Y, b.Y, c.Y}), maxYf = std::max({a.Y, b.Y, c.Y});
    const int64_t x0 = std::max<int64_t>(0, (minXf - kHalf + kSub - 1) >> kSubBits);
    const int64_t x1 = std::min<int64_t>(rt.width - 1, (maxXf - kHalf) >> kSubBits);
    const int64_t y0 = std::max<int64_t>(0, (minYf - kHalf + kSub - 1) >> kSubBits);
    const int64_t y1 = std::min<int64_t>(rt.height - 1, (maxYf - kHalf) >> kSubBits);
    if (x0 > x1 || y0 > y1) return false;
    // Targets have at most 16384 pixels a side.
    t.minX = int16_t(x0);
    t.maxX = int16_t(x1);
    t.minY = int16_t(y0);
    t.maxY = int16_t(y1);
    return true;
}

// The exact edge functions of a clockwise triangle.
void SetEdges(TTriSetup& t, const TScreenVertex* const v[3])
{
    for (int e = 0; e < 3; ++e) {
        const TScreenVertex& p = *v[e];
        const TScreenVertex& q = *v[(e + 1) % 3];
        const int64_t dx = int64_t(q.X) - p.X, dy = int64_t(q.Y) - p.Y;
        // Pixels exactly on an edge belong to the triangle only for its top
        // and left edges, so neighbours sharing the edge do not both draw them.
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        // Pixel (x, y) is inside when kSub * (-dy * x + dx * y) + full >= 0,
        // that is when -dy * x + dx * y + floor(full / kSub) >= 0.
        const int64_t full = dx * (kHalf - int64_t(p.Y)) - dy * (kHalf - int64_t(p.X)) - (topLeft ? 0 : 1);
        t.a[e] = int32_t(-dy);
        t.b[e] = int32_t(dx);
        t.c[e] = full >> kSubBits;
    }
}

// Attribute planes [first, last), relative to the centre of pixel (minX, minY).
void SetPlanes(const TTriSetup& t, const TScreenVertex& a, const TScreenVertex& b, const TScreenVertex& c,
               int64_t area2, int first, int last, TPlane* out)
{
    const double x0 = a.X / double(kSub), y0 = a.Y / double(kSub);
    const double x1 = b.X / double(kSub) - x0, y1 = b.Y / double(kSub) - y0;
    const double x2 = c.X / double(kSub) - x0, y2 = c.Y / double(kSub) - y0;
    const double inverse = double(kSub) * double(kSub) / double(area2);
    const double rx = t.minX + 0.5 - x0, ry = t.minY + 0.5 - y0;
    for (int i = first; i < last; ++i) {
        const double d1 = double(b.a[i]) - a.a[i], d2 = double(c.a[i]) - a.a[i];
        const double ddx = (d1 * y2 - d2 * y1) * inverse;
        const double ddy = (d2 * x1 - d1 * x2) * inverse;
        out[i - first] = {float(a.a[i] + ddx * rx + ddy * ry), float(ddx), float(ddy)};
    }
}

// Corner colours that round to the same value round to it everywhere in
// between: such a triangle needs no colour interpolation.
void SetFlatColour(TTriSetup& t, const TScreenVertex& a, const TScreenVertex& b, const TScreenVertex& c)
{
    const int r = ToByte(a.r), g = ToByte(a.g), bl = ToByte(a.b);
    t.flat = r == ToByte(b.r) && r == ToByte(c.r) && g == ToByte(b.g) && g == ToByte(c.g) && bl == ToByte(b.b) &&
             bl == ToByte(c.b);
    t.flatRGB = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(bl);
}

// Triangle a, b, c with a positive area (clockwise on the screen).
void SetupTri(const TDrawContext& ctx, TChunk& chunk, const TScreenVertex& a, const TScreenVertex& b,
              const TScreenVertex& c, int64_t area2)
{
    assert(area2 > 0);
    TTriSetup box;
    if (!PixelBox(*ctx.rt, a, b, c, box)) return;
    TTriSetup& t = chunk.tris.items.emplace_back(box);
    const TScreenVertex* v[3] = {&a, &b, &c};
    SetEdges(t, v);
    SetFlatColour(t, a, b, c);
    SetPlanes(t, a, b, c, area2, 0, kFlatAttrs, t.p);
    if (!t.flat) {
        t.colours = uint32_t(chunk.colours.size());
        SetPlanes(t, a, b, c, area2, kFlatAttrs, kAttrs, chunk.colours.emplace_back().p);
    }
    t.linear = ctx.textured && UseLinear(ctx, a, b, c, double(area2) / (double(kSub) * kSub));
    AddTileBox(chunk.tris, t.minX, t.minY, t.maxX, t.maxY);
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
    chunk.lines.items.push_back(l);
    AddTileBox(chunk.lines, l.minX, l.minY, l.maxX, l.maxY);
}

// The outline of a polygon in wireframe mode: the sides that belong to the
// original triangle.
void EmitOutline(const TDrawContext& ctx, TChunk& chunk, const TScreenVertex* v, const bool* edge, int n, int64_t area)
{
    bool linear = false;
    if (ctx.textured) linear = UseLinear(ctx, v[0], v[1], v[2], double(std::llabs(area)) / (kSub * kSub));
    for (int i = 0; i < n; ++i)
        if (edge[i]) SetupLine(ctx, chunk, v[i], v[(i + 1) % n], linear);
}

// A convex polygon on the screen; edge[i] tells whether the side from vertex
// i to i + 1 is part of an original triangle side.
void EmitPolygon(const TDrawContext& ctx, TChunk& chunk, const TScreenVertex* v, const bool* edge, int n)
{
    int64_t area = 0;
    for (int i = 1; i + 1 < n; ++i) area += Area2(v[0], v[i], v[i + 1]);
    if (area == 0) return;
    const TRasterState& st = *ctx.st;
    if (st.cull == TRasterCull::CounterClockwise && area < 0) return;
    if (st.cull == TRasterCull::Clockwise && area > 0) return;
    if (st.wireframe) {
        EmitOutline(ctx, chunk, v, edge, n, area);
        return;
    }
    for (int i = 1; i + 1 < n; ++i) {
        const int64_t a = Area2(v[0], v[i], v[i + 1]);
        if (a == 0 || (a > 0) != (area > 0)) continue;  // slivers flipped by snapping
        if (a > 0) SetupTri(ctx, chunk, v[0], v[i], v[i + 1], a);
        else SetupTri(ctx, chunk, v[0], v[i + 1], v[i], -a);
    }
}

// One triangle of the list: clipped when it crosses a plane, projected, culled, set up and binned.
void SetUpTriangle(const TDrawContext& ctx, TChunk& chunk, const TClipVertex* v, const uint8_t* codes)
{
    if (codes[0] & codes[1] & codes[2]) return;  // wholly outside one plane
    const uint8_t crossed = uint8_t(codes[0] | codes[1] | codes[2]);
    TClipVertex poly[kMaxPoly];
    bool edge[kMaxPoly] = {true, true, true};
    int n = 3;
    const TClipVertex* corners = v;
    if (crossed) {
        std::copy(v, v + 3, poly);
        n = ClipPolygon(ctx, crossed, poly, edge, n);
        if (n < 3) return;
        corners = poly;
    }
    TScreenVertex s[kMaxPoly];
    bool ok = true;
    for (int k = 0; k < n; ++k) s[k] = Project(corners[k], *ctx.rt, ok);
    if (ok) EmitPolygon(ctx, chunk, s, edge, n);
}

template <class T>
void ResetBinned(TBinned<T>& binned)
{
    binned.items.clear();
    binned.boxes.clear();
    binned.order.clear();
}

// Counts per tile of the boxes' first tiles (all == false) or of every
// tile they touch, into `cursor`; returns the total.
uint32_t CountByTile(const std::vector<TTileBox>& boxes, std::vector<uint32_t>& cursor, int tilesX, bool all)
{
    std::fill(cursor.begin(), cursor.end(), 0u);
    uint32_t total = 0;
    for (const TTileBox& b : boxes) {
        assert(b.x0 <= b.x1 && b.y0 <= b.y1 && size_t(b.y1) * size_t(tilesX) + b.x1 < cursor.size());
        for (int ty = b.y0; ty <= (all ? b.y1 : b.y0); ++ty)
            for (int tx = b.x0; tx <= (all ? b.x1 : b.x0); ++tx) {
                ++cursor[size_t(ty) * tilesX + tx];
                ++total;
            }
    }
    return total;
}

// Turns counts into the starts of each tile's run.
void StartsOfRuns(std::vector<uint32_t>& cursor)
{
    uint32_t start = 0;
    for (uint32_t& c : cursor) {
        const uint32_t count = c;
        c = start;
        start += count;
    }
}

// Lays the items out by the first tile they touch, in submission order
// within a tile, so that a tile reads most of its records one after another.
template <class T>
void LayOutByTile(TBinned<T>& binned, std::vector<uint32_t>& cursor, int tilesX)
{
    CountByTile(binned.boxes, cursor, tilesX, false);
    StartsOfRuns(cursor);
    binned.sorted.resize(binned.items.size());
    binned.place.resize(binned.items.size());
    for (size_t i = 0; i < binned.items.size(); ++i) {
        const TTileBox& b = binned.boxes[i];
        const uint32_t to = cursor[size_t(b.y0) * tilesX + b.x0]++;
        binned.place[i] = to;
        binned.sorted[to] = binned.items[i];
    }
    binned.items.swap(binned.sorted);
}

// Lays the items out by tile and groups their indices by every tile they
// touch (a counting sort), in submission order within a tile;
// bins[t] receives where tile t's lie.
template <class T>
void SortByTile(TBinned<T>& binned, std::vector<uint32_t>& cursor, int tilesX, TBinRange* bins)
{
    LayOutByTile(binned, cursor, tilesX);
    binned.order.resize(CountByTile(binned.boxes, cursor, tilesX, true));
    for (size_t t = 0; t < cursor.size(); ++t) bins[t].count = cursor[t];
    StartsOfRuns(cursor);
    for (size_t t = 0; t < cursor.size(); ++t) bins[t].start = cursor[t];
    for (size_t i = 0; i < binned.boxes.size(); ++i) {
        const TTileBox& b = binned.boxes[i];
        for (int ty = b.y0; ty <= b.y1; ++ty)
            for (int tx = b.x0; tx <= b.x1; ++tx) binned.order[cursor[size_t(ty) * tilesX + tx]++] = binned.place[i];
    }
}

// Triangles [first, last) into one chunk, a batch at a time.
void SetUpChunk(const TDrawContext& ctx, TChunk& chunk, uint32_t first, uint32_t last)
{
    TClipVertex verts[kBatch * 3];
    uint8_t codes[kBatch * 3];
    for (uint32_t t0 = first; t0 < last; t0 += kBatch) {
        const uint32_t count = std::min(kBatch, last - t0);
        TransformBatch(ctx, t0, count, verts, codes);
        for (uint32_t k = 0; k < count; ++k) SetUpTriangle(ctx, chunk, verts + 3 * k, codes + 3 * k);
    }
}

// ---- filling ---------------------------------------------------------------------------

// Tile number `tile`, drawn in the target itself.
TTileJob TileJob(const TDrawContext& ctx, int tile)
{
    const TRasterTarget& rt = *ctx.rt;
    TTileJob job;
    job.texture = &ctx.texture;
    job.x0 = (tile % ctx.tilesX) * kTile;
    job.y0 = (tile / ctx.tilesX) * kTile;
    job.x1 = std::min(rt.width, job.x0 + kTile);
    job.y1 = std::min(rt.height, job.y0 + kTile);
    job.color = rt.color + size_t(job.y0) * size_t(rt.colorPitch) + size_t(job.x0);
    job.colorPitch = rt.colorPitch;
    job.depth = ctx.depth ? rt.depth + size_t(job.y0) * size_t(rt.depthPitch) + size_t(job.x0) : nullptr;
    job.depthPitch = rt.depthPitch;
    job.slack = 0;
    job.rowSlack = 0;
    return job;
}

// A copy of one tile, contiguous in memory: rows of the target lie a
// multiple of a large power of two apart and would crowd into a few sets
// of the processor's first cache.
constexpr int kCopySlack = 16;  // columns past the tile, so that blocks never need moving
constexpr int kCopyPitch = kTile + kCopySlack;
constexpr int kCopyRows = kTile + 2;  // and rows, so that blocks of two rows never go through a copy of their own

struct TTileCopy {
    alignas(64) uint32_t color[kCopyRows * kCopyPitch];
    alignas(64) uint16_t depth[kCopyRows * kCopyPitch];
};

// `job` moved into the copy (its pixels are not copied).
TTileJob InCopy(const TTileJob& job, TTileCopy& copy)
{
    TTileJob moved = job;
    moved.color = copy.color;
    moved.colorPitch = kCopyPitch;
    if (job.depth) {
        moved.depth = copy.depth;
        moved.depthPitch = kCopyPitch;
    }
    moved.slack = kCopySlack;
    moved.rowSlack = kCopyRows - (job.y1 - job.y0);
    return moved;
}

// Copies the tile's pixels from where `from` draws them to where `to` does.
void CopyTile(TTileJob from, TTileJob to)
{
    const int w = to.x1 - to.x0;
    for (int y = 0; y < to.y1 - to.y0; ++y) {
        std::memcpy(to.color + ptrdiff_t(y) * to.colorPitch, from.color + ptrdiff_t(y) * from.colorPitch,
                    size_t(w) * 4);
        if (to.depth)
            std::memcpy(to.depth + ptrdiff_t(y) * to.depthPitch, from.depth + ptrdiff_t(y) * from.depthPitch,
                        size_t(w) * 2);
    }
}

}  // namespace
}  // namespace rasterimpl

using namespace rasterimpl;

struct TRasterizer::TScratch {
    std::vector<TChunk> chunks;
    // Per chunk and tile (chunk * tile count + tile), where the chunk's
    // primitives for the tile lie; each chunk writes its own run.
    std::vector<TBinRange> triBins, lineBins;
    std::vector<uint32_t> tileTriangles, tileLines;  // per tile
    std::vector<int> activeTiles;
};

namespace {

using TScratch = TRasterizer::TScratch;

// Transforms, clips, culls and sets up the triangles, a chunk per thread,
// each sorting its primitives by tile.
void SetUpChunks(TScratch& s, const TDrawContext& ctx)
{
    const int tiles = ctx.tilesX * ctx.tilesY;
    if (int(s.chunks.size()) < ctx.chunkCount) s.chunks.resize(size_t(ctx.chunkCount));
    s.triBins.resize(size_t(tiles) * size_t(ctx.chunkCount));
    s.lineBins.resize(size_t(tiles) * size_t(ctx.chunkCount));
    TRenderThreads::Instance().ParallelFor(ctx.chunkCount, [&](int c) {
        TChunk& chunk = s.chunks[size_t(c)];
        ResetBinned(chunk.tris);
        ResetBinned(chunk.lines);
        chunk.colours.clear();
        chunk.cursor.resize(size_t(tiles));
        const uint32_t t0 = uint32_t(c) * ctx.chunkSize, t1 = std::min(ctx.triangleCount, t0 + ctx.chunkSize);
        SetUpChunk(ctx, chunk, t0, t1);
        SortByTile(chunk.tris, chunk.cursor, ctx.tilesX, &s.triBins[size_t(c) * size_t(tiles)]);
        SortByTile(chunk.lines, chunk.cursor, ctx.tilesX, &s.lineBins[size_t(c) * size_t(tiles)]);
    });
}

// The tiles that some chunk put a primitive into, the busiest first, so
// that the threads finish at about the same time; and the triangles of
// every tile.
void CollectActiveTiles(TScratch& s, const TDrawContext& ctx)
{
    const int tiles = ctx.tilesX * ctx.tilesY;
    s.tileTriangles.assign(size_t(tiles), 0);
    s.activeTiles.clear();
    std::vector<uint32_t>& lines = s.tileLines;
    lines.assign(size_t(tiles), 0);
    for (size_t c = 0; c < size_t(ctx.chunkCount); ++c)
        for (size_t t = 0; t < size_t(tiles); ++t) {
            s.tileTriangles[t] += s.triBins[c * size_t(tiles) + t].count;
            lines[t] += s.lineBins[c * size_t(tiles) + t].count;
        }
    for (int t = 0; t < tiles; ++t)
        if (s.tileTriangles[size_t(t)] || lines[size_t(t)]) s.activeTiles.push_back(t);
    std::stable_sort(s.activeTiles.begin(), s.activeTiles.end(),
                     [&](int a, int b) { return s.tileTriangles[size_t(a)] > s.tileTriangles[size_t(b)]; });
}

constexpr size_t kPrefetch = 2;  // set-up records asked for ahead of their fill

inline void Prefetch(const TTriSetup* t)
{
    const char* p = reinterpret_cast<const char*>(t);
    for (size_t line = 0; line < sizeof(TTriSetup); line += 64) __builtin_prefetch(p + line);
}

// Triangles binned to a tile from which it is drawn in a copy: below, the
// copy would cost more than the crowded cache.
constexpr uint32_t kCopyFrom = 16;

// The primitives that touch the tile, in submission order.
void DrawTilePrimitives(const TScratch& s, const TDrawContext& ctx, int tile, const TTileJob& job)
{
    const size_t lineVariant = (ctx.depth ? 4 : 0) | (ctx.textured ? 2 : 0);
    const size_t tiles = size_t(ctx.tilesX) * size_t(ctx.tilesY);
    for (int c = 0; c < ctx.chunkCount; ++c) {
        const TChunk& chunk = s.chunks[size_t(c)];
        const size_t bin = size_t(c) * tiles + size_t(tile);
        const TBinRange lines = s.lineBins[bin];
        for (uint32_t k = 0; k < lines.count; ++k) {
            const TLine& l = chunk.lines.items[chunk.lines.order[lines.start + k]];
            kLineFns[lineVariant | (l.linear ? 1 : 0)](l, job);
        }
        const TBinRange tris = s.triBins[bin];
        const uint32_t* order = chunk.tris.order.data() + tris.start;
        for (uint32_t k = 0; k < tris.count; ++k) {
            // Records of triangles that start in other tiles lie elsewhere:
            // ask for the next ones while this one is drawn.
            if (k + kPrefetch < tris.count) Prefetch(&chunk.tris.items[order[k + kPrefetch]]);
            const TTriSetup& t = chunk.tris.items[order[k]];
            ctx.fill[(t.linear ? 2 : 0) | (t.flat ? 1 : 0)](t, t.flat ? nullptr : &chunk.colours[t.colours], job);
        }
    }
}

// One tile, in the target or, when it has enough to draw, in a copy.
void FillTile(const TScratch& s, const TDrawContext& ctx, int tile)
{
    const TTileJob job = TileJob(ctx, tile);
    if (s.tileTriangles[size_t(tile)] < kCopyFrom) {
        DrawTilePrimitives(s, ctx, tile, job);
        return;
    }
    static thread_local TTileCopy copy;
    const TTileJob inCopy = InCopy(job, copy);
    CopyTile(job, inCopy);
    DrawTilePrimitives(s, ctx, tile, inCopy);
    CopyTile(inCopy, job);
}

// The active tiles, shared out among the threads.
void FillTiles(const TScratch& s, const TDrawContext& ctx)
{
    TRenderThreads::Instance().ParallelFor(int(s.activeTiles.size()),
                                           [&](int k) { FillTile(s, ctx, s.activeTiles[size_t(k)]); });
}

}  // namespace

TRasterizer::TRasterizer() : scratch_(new TScratch) {}
TRasterizer::~TRasterizer() { delete scratch_; }

bool SetRasterInstructions(TRasterInstructions set)
{
    if (set == TRasterInstructions::Avx2 && !HasAvx2()) return false;
    gInstructions.store(int(set), std::memory_order_relaxed);
    return true;
}

void TRasterizer::Clear(const TRasterTarget& rt, int x0, int y0, int x1, int y1, bool color, uint32_t colorValue,
                        bool depth, uint16_t depthValue)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, rt.width);
    y1 = std::min(y1, rt.height);
    if (x0 >= x1 || y0 >= y1) return;
    if (!rt.depth) depth = false;
    constexpr int kBand = 16;  // rows per share of the work
    const int bands = (y1 - y0 + kBand - 1) / kBand;
    TRenderThreads::Instance().ParallelFor(bands, [&](int band) {
        const int ya = y0 + band * kBand, yb = std::min(y1, ya + kBand);
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
    const TDrawContext ctx = DrawContext(rt, st, vin, firstVertex, triangleCount);
    SetUpChunks(*scratch_, ctx);
    CollectActiveTiles(*scratch_, ctx);
    FillTiles(*scratch_, ctx);
}
