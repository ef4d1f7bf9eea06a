// The pixel pipeline, written once for any number of lanes. Included by
// raster_sse2.cpp and raster_avx2.cpp after they have defined, in
// rasterimpl's unnamed namespace, the lane count kLanes, the block shape
// (kCols columns by kRows rows, lane by lane IColumns() and IRows()), the
// lane types F (singles) and I (32-bit integers) and their operations. Every
// pixel gets its value from the same operations in the same order whatever
// the block shape, so both files draw the same frames.
//
// A triangle is filled tile by tile. Within a tile the part of its box that
// the tile holds is walked in blocks of kCols x kRows pixels, kRows rows at
// a time: the edge functions, exact integers, are stepped from block to
// block and from rows to rows (no division), give a coverage mask per block,
// and the covered pixels go through depth test, perspective division,
// texture addressing, filtering and modulation in the lanes.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/d3d8/raster_scalar.h"
#include "platform/d3d8/raster_setup.h"

namespace rasterimpl {
namespace {

inline int MinInt(int a, int b) { return a < b ? a : b; }
inline int MaxInt(int a, int b) { return a > b ? a : b; }

inline I AllLanes() { return ISet(-1); }

// ---- coverage -----------------------------------------------------------------

// The part of a triangle's box within a tile, and the edges that cross it.
// An edge that does not cross the span (the span lies inside it) is kept as
// zero everywhere, so that every block tests three edges without a branch.
struct TSpan {
    int x0, y0, x1, y1;  // inclusive
    int32_t e[3];        // the edges' values at (x0, y) for the rows being filled
    int32_t a[3], b[3];  // their changes per column and per row
    I laneStep[3];       // their changes from a block's first pixel to each lane's
    bool wide;           // values beyond 32 bits: tested lane by lane in 64 bits
};

// The part of t within the tile of `job`; false when it covers no pixel there.
inline bool SpanInTile(const TTriSetup& t, const TTileJob& job, TSpan& s)
{
    s.x0 = MaxInt(t.minX, job.x0);
    s.x1 = MinInt(t.maxX, job.x1 - 1);
    s.y0 = MaxInt(t.minY, job.y0);
    s.y1 = MinInt(t.maxY, job.y1 - 1);
    if (s.x0 > s.x1 || s.y0 > s.y1) return false;
    s.wide = false;
    for (int k = 0; k < 3; ++k) {
        // The edge's smallest and largest value over the span.
        const int64_t base = int64_t(t.a[k]) * s.x0 + int64_t(t.b[k]) * s.y0 + t.c[k];
        const int64_t ax = int64_t(t.a[k]) * (s.x1 - s.x0), by = int64_t(t.b[k]) * (s.y1 - s.y0);
        const int64_t lo = base + (ax < 0 ? ax : 0) + (by < 0 ? by : 0);
        const int64_t hi = base + (ax > 0 ? ax : 0) + (by > 0 ? by : 0);
        if (hi < 0) return false;  // every pixel of the span lies outside this edge
        const bool crosses = lo < 0;
        // Blocks reach up to kCols columns beyond either side of the span,
        // and kRows - 1 rows below it.
        const int64_t margin = int64_t(t.a[k] < 0 ? -int64_t(t.a[k]) : t.a[k]) * kCols +
                               int64_t(t.b[k] < 0 ? -int64_t(t.b[k]) : t.b[k]) * kRows;
        if (crosses && (lo - margin < INT32_MIN || hi + margin > INT32_MAX)) s.wide = true;
        s.e[k] = crosses ? int32_t(base) : 0;  // wraps when wide
        s.a[k] = crosses ? t.a[k] : 0;
        s.b[k] = crosses ? t.b[k] : 0;
        s.laneStep[k] = MulLo(ISet(s.a[k]), IColumns()) + MulLo(ISet(s.b[k]), IRows());
    }
    return true;
}

inline void NextRows(TSpan& s)
{
    for (int k = 0; k < 3; ++k) s.e[k] = int32_t(int64_t(s.e[k]) + int64_t(s.b[k]) * kRows);
}

// Lanes inside every edge of t, for a block whose first pixel is (xm, y),
// in 64-bit arithmetic.
__attribute__((noinline)) I WideCoverage(const TTriSetup& t, int xm, int y)
{
    int32_t in[kLanes];
    for (int i = 0; i < kLanes; ++i) {
        in[i] = -1;
        const int x = xm + i % kCols, yi = y + i / kCols;
        for (int k = 0; k < 3; ++k)
            if (int64_t(t.a[k]) * x + int64_t(t.b[k]) * yi + t.c[k] < 0) in[i] = 0;
    }
    return Load(in);
}

// Lanes whose edge values (or `outside`) are all non-negative.
inline I Inside(I e0, I e1, I e2, I outside) { return AndNot(Sar<31>(e0 | e1 | e2 | outside), AllLanes()); }

// Lanes past the span's last column or row, for a block whose first pixel is (x, y).
inline I PastEnd(const TSpan& s, int x, int y)
{
    assert(x <= s.x1 && y <= s.y1);
    return Greater(ISet(x) + IColumns(), ISet(s.x1)) | Greater(ISet(y) + IRows(), ISet(s.y1));
}

// Lanes of the block at column xm of rows y on that are covered and belong
// to the block that starts at column xs of the span (the block may have
// been moved left to stay within the tile).
inline I Coverage(const TTriSetup& t, const TSpan& s, int xs, int xm, int y)
{
    assert(xm <= xs && xs <= s.x1 && xs - xm < kCols);
    const I outside = Greater(ISet(xs), ISet(xm) + IColumns()) | PastEnd(s, xm, y);
    if (s.wide) return AndNot(outside, WideCoverage(t, xm, y));
    I e[3];
    for (int k = 0; k < 3; ++k) e[k] = ISet(int32_t(int64_t(s.e[k]) + int64_t(s.a[k]) * (xm - s.x0))) + s.laneStep[k];
    return Inside(e[0], e[1], e[2], outside);
}

// ---- texture addressing and filtering ---------------------------------------------

// Lane by lane WrapSteps for the lanes in `bits`; the others keep `r`.
__attribute__((noinline)) I WrapSomeLanes(F coord, int size, int offset, I r, int bits)
{
    float c[kLanes];
    int32_t out[kLanes];
    Store(c, coord);
    Store(out, r);
    for (int i = 0; i < kLanes; ++i)
        if (bits >> i & 1) out[i] = WrapSteps(c[i], size, offset);
    return Load(out);
}

// WrapSteps on every lane of f = coord * size * 256, for a side of a power
// of two; exact where f lies within kWrapLimit.
inline I WrapLanes(F f, int size, int offset)
{
    I i = Truncate(f);
    i = i + Greater(ToFloat(i), f);  // floor: one less where truncation went up
    return (i + ISet(offset)) & ISet(size * 256 - 1);
}

inline I WithinWrapLimit(F f) { return Greater(f, FSet(-kWrapLimit)) & Less(f, FSet(kWrapLimit)); }

// The texture coordinates of the active lanes in 1/256 texel steps, offset
// and reduced to one repetition as WrapSteps does.
inline void TexelSteps(const TTexInfo& t, F u, F v, int offset, I active, I& iu, I& iv)
{
    const F fu = u * FSet(float(t.width * 256)), fv = v * FSet(float(t.height * 256));
    iu = WrapLanes(fu, t.width, offset);
    iv = WrapLanes(fv, t.height, offset);
    const int patch = SignBits(AndNot(WithinWrapLimit(fu) & WithinWrapLimit(fv), active));
    if (patch) {
        iu = WrapSomeLanes(u, t.width, offset, iu, patch);
        iv = WrapSomeLanes(v, t.height, offset, iv, patch);
    }
}

// Lerp2 on every lane: two channels at once in the 16-bit halves.
inline I LerpLanes(I a, I b, I f)
{
    const I m = ISet(0x00FF00FF);
    const I w1 = f | Shl<16>(f);
    const I w0 = ISet(0x01000100) - w1;  // 256 - f in both halves
    const I rb = Shr16<8>(Add16(Mul16(a & m, w0), Mul16(b & m, w1)));
    const I ag = Add16(Mul16(Shr<8>(a) & m, w0), Mul16(Shr<8>(b) & m, w1)) & ISet(int32_t(0xFF00FF00u));
    return rb | ag;
}

// Given by the lane file: on every lane, the texels at `index` and to its
// right, down and right-down (no wrapping: see TRasterTexture), blended as
// SampleLinear does by fx and fy (0..255).
I FilterTexels(const TTexInfo& t, I index, I fx, I fy);

// Index of texel (x, y) of a texture with a repeated column.
inline I TexelIndex(const TTexInfo& t, I x, I y) { return ShlBy(y, t.log2Width) + y + x; }

inline I PointLanes(const TTexInfo& t, F u, F v, I active)
{
    I iu, iv;
    TexelSteps(t, u, v, 0, active, iu, iv);
    return Gather(t.texels, TexelIndex(t, Shr<8>(iu), Shr<8>(iv)));
}

inline I BilinearLanes(const TTexInfo& t, F u, F v, I active)
{
    // Texel centres lie at half steps: shift by half a texel before splitting.
    I iu, iv;
    TexelSteps(t, u, v, -128, active, iu, iv);
    return FilterTexels(t, TexelIndex(t, Shr<8>(iu), Shr<8>(iv)), iu & ISet(255), iv & ISet(255));
}

// Any texture, one lane at a time (sides that are not powers of two).
__attribute__((noinline)) I SampleEachLane(const TTexInfo& t, bool linear, F u, F v, I active)
{
    float us[kLanes], vs[kLanes];
    int32_t out[kLanes];
    Store(us, u);
    Store(vs, v);
    const int bits = SignBits(active);
    for (int i = 0; i < kLanes; ++i) out[i] = bits >> i & 1 ? int32_t(Sample(t, linear, us[i], vs[i])) : 0;
    return Load(out);
}

template <bool kLinear>
inline I SampleLanes(const TTexInfo& t, F u, F v, I active)
{
    if (!t.lanes) return SampleEachLane(t, kLinear, u, v, active);
    return kLinear ? BilinearLanes(t, u, v, active) : PointLanes(t, u, v, active);
}

// Modulate on every lane; mulRB holds red and blue in the 16-bit halves,
// mulG green in the low half.
inline I ModulateLanes(I texel, I mulRB, I mulG)
{
    const I m = ISet(0x00FF00FF), round = ISet(0x00800080);
    I rb = Add16(Mul16(texel & m, mulRB), round);
    rb = Shr16<8>(Add16(rb, Shr16<8>(rb)));
    I g = Add16(Mul16(Shr<8>(texel) & m, mulG), round);
    g = Shr16<8>(Add16(g, Shr16<8>(g)));
    return rb | Shl<8>(g) | ISet(int32_t(0xFF000000u));
}

// ToByte and ToDepth on every lane (a NaN lane gives 0 from FMax).
inline I ByteLanes(F x) { return Truncate(FMin(FMax(x, FSet(0.0f)), FSet(255.0f)) + FSet(0.5f)); }
inline I DepthLanes(F z) { return Truncate(FMin(FMax(z, FSet(0.0f)), FSet(1.0f)) * FSet(65535.0f) + FSet(0.5f)); }

// ---- shading ------------------------------------------------------------------------

// The shading of one triangle's blocks in one variant.
template <bool kDepth, bool kTex, bool kLinear, bool kFlat>
class TShader {
public:
    static constexpr int kCount = kFlat ? kFlatAttrs : kAttrs;

    TShader(const TTriSetup& t, const TColourPlanes* colours, const TTexInfo& tex) : t_(t), tex_(tex)
    {
        assert(kFlat || colours);
        for (int i = 0; i < kCount; ++i) {
            planes_[i] = i < kFlatAttrs ? t.p[i] : colours->p[i - kFlatAttrs];
            dx_[i] = FSet(planes_[i].dx);
            dy_[i] = FSet(planes_[i].dy);
        }
        const int r = int(t.flatRGB >> 16 & 255), g = int(t.flatRGB >> 8 & 255), b = int(t.flatRGB & 255);
        flatMulRB_ = ISet(r << 16 | b);
        flatMulG_ = ISet(g);
        flatColour_ = ISet(int32_t(0xFF000000u | t.flatRGB));
    }

    // The attributes at the start of rows y on, lane by lane.
    void StartRows(int y)
    {
        const F fy = ToFloat(ISet(y - t_.minY) + IRows());
        for (int i = 0; i < kCount; ++i) base_[i] = FSet(planes_[i].c0) + dy_[i] * fy;
    }

    // The block from column x of the rows last started on; `mask` has the
    // covered lanes, color and depth point to the block's first pixel, with
    // rows `colorPitch` and `depthPitch` apart.
    void Block(int x, I mask, uint32_t* color, ptrdiff_t colorPitch, uint16_t* depth, ptrdiff_t depthPitch) const
    {
        const F fx = ToFloat(ISet(x - t_.minX) + IColumns());
        if constexpr (kDepth) {
            if (!DepthTest(Attribute(0, fx), depth, depthPitch, mask)) return;
        } else {
            (void)depthPitch;
        }
        I out;
        if constexpr (kFlat && !kTex) {
            out = flatColour_;
        } else {
            const F w = FSet(1.0f) / Attribute(1, fx);
            out = Colour(fx, w, mask);
        }
        StoreColor(color, colorPitch, Select(mask, out, LoadColor(color, colorPitch)));
    }

private:
    F Attribute(int i, F fx) const { return base_[i] + dx_[i] * fx; }

    // Keeps in `mask` the lanes at or in front of the depth buffer and writes
    // their depth; false when no lane is left.
    static bool DepthTest(F z, uint16_t* depth, ptrdiff_t pitch, I& mask)
    {
        const I zq = DepthLanes(z);
        const I old = LoadDepth(depth, pitch);
        mask = AndNot(Greater(zq, old), mask);
        if (!SignBits(mask)) return false;
        StoreDepth(depth, pitch, Select(mask, zq, old));
        return true;
    }

    I Colour(F fx, F w, I mask) const
    {
        I mulRB = flatMulRB_, mulG = flatMulG_;
        if constexpr (!kFlat) {
            const I r = ByteLanes(Attribute(4, fx) * w), g = ByteLanes(Attribute(5, fx) * w);
            const I b = ByteLanes(Attribute(6, fx) * w);
            if constexpr (!kTex) return Shl<16>(r) | Shl<8>(g) | b | ISet(int32_t(0xFF000000u));
            mulRB = Shl<16>(r) | b;
            mulG = g;
        }
        if constexpr (kTex) {
            const I texel = SampleLanes<kLinear>(tex_, Attribute(2, fx) * w, Attribute(3, fx) * w, mask);
            return ModulateLanes(texel, mulRB, mulG);
        }
        return flatColour_;
    }

    const TTriSetup& t_;
    const TTexInfo& tex_;
    TPlane planes_[kCount];
    F dx_[kCount], dy_[kCount];
    F base_[kCount];
    I flatMulRB_, flatMulG_, flatColour_;
};

// ---- blocks, rows and tiles --------------------------------------------------------------

// Where the block from column xs on lies in memory: there if it ends within
// the tile (or its margin), else moved left to end with the tile. A tile
// narrower than a block gives its first column (the block then goes
// through a copy).
inline int BlockColumn(const TTileJob& job, int xs)
{
    assert(job.x0 <= xs && xs < job.x1);
    if (xs + kCols <= job.x1 + job.slack) return xs;
    return job.x1 - job.x0 >= kCols ? job.x1 - kCols : job.x0;
}

// Whether a block at (xm, y) lies within the memory the job may touch.
inline bool BlockFits(const TTileJob& job, int xm, int y)
{
    return xm + kCols <= job.x1 + job.slack && y + kRows <= job.y1 + job.rowSlack;
}

inline uint32_t* ColorAt(const TTileJob& job, int x, int y)
{
    assert(job.x0 <= x && x < job.x1 + job.slack && job.y0 <= y && y < job.y1 + job.rowSlack);
    return job.color + ptrdiff_t(y - job.y0) * job.colorPitch + (x - job.x0);
}

inline uint16_t* DepthAt(const TTileJob& job, int x, int y)
{
    assert(job.x0 <= x && x < job.x1 + job.slack && job.y0 <= y && y < job.y1 + job.rowSlack);
    return job.depth ? job.depth + ptrdiff_t(y - job.y0) * job.depthPitch + (x - job.x0) : nullptr;
}

// A block that reaches past the tile (narrower than a block, or ending
// within a block's rows), shaded in a copy so that nothing beyond the tile
// is read or written. Lanes past the tile are not in `mask`.
template <class TShade>
__attribute__((noinline)) void BlockThroughCopy(const TShade& shader, const TTileJob& job, int xm, int y, I mask)
{
    assert(job.x0 <= xm && xm < job.x1 && job.y0 <= y && y < job.y1);
    const int cols = MinInt(kCols, job.x1 - xm), rows = MinInt(kRows, job.y1 - y);
    uint32_t c[kLanes] = {};
    uint16_t d[kLanes] = {};
    for (int r = 0; r < rows; ++r) {
        std::memcpy(c + r * kCols, ColorAt(job, xm, y + r), size_t(cols) * 4);
        if (job.depth) std::memcpy(d + r * kCols, DepthAt(job, xm, y + r), size_t(cols) * 2);
    }
    shader.Block(xm, mask, c, kCols, job.depth ? d : nullptr, kCols);
    for (int r = 0; r < rows; ++r) {
        std::memcpy(ColorAt(job, xm, y + r), c + r * kCols, size_t(cols) * 4);
        if (job.depth) std::memcpy(DepthAt(job, xm, y + r), d + r * kCols, size_t(cols) * 2);
    }
}

// The blocks of rows y to y + kRows - 1.
template <class TShade>
void FillRows(const TTriSetup& t, const TTileJob& job, const TSpan& s, int y, TShade& shader)
{
    assert(s.y0 <= y && y <= s.y1);
    shader.StartRows(y);
    // The edges at the blocks from x0 on, stepped from block to block.
    I e[3], step[3];
    for (int k = 0; k < 3; ++k) {
        e[k] = ISet(s.e[k]) + s.laneStep[k];
        step[k] = ISet(int32_t(int64_t(s.a[k]) * kCols));  // wraps when wide (then unused)
    }
    for (int xs = s.x0; xs <= s.x1; xs += kCols) {
        const int xm = BlockColumn(job, xs);
        const I mask = xm == xs && !s.wide ? Inside(e[0], e[1], e[2], PastEnd(s, xs, y)) : Coverage(t, s, xs, xm, y);
        for (int k = 0; k < 3; ++k) e[k] = e[k] + step[k];
        if (!SignBits(mask)) continue;
        if (BlockFits(job, xm, y))
            shader.Block(xm, mask, ColorAt(job, xm, y), job.colorPitch, DepthAt(job, xm, y), job.depthPitch);
        else BlockThroughCopy(shader, job, xm, y, mask);
    }
}

template <bool kDepth, bool kTex, bool kLinear, bool kFlat>
void FillTriangle(const TTriSetup& t, const TColourPlanes* colours, const TTileJob& job)
{
    assert(!kDepth || job.depth);
    TSpan s;
    if (!SpanInTile(t, job, s)) return;
    TShader<kDepth, kTex, kLinear, kFlat> shader(t, colours, *job.texture);
    for (int y = s.y0; y <= s.y1; y += kRows) {
        FillRows(t, job, s, y, shader);
        NextRows(s);
    }
}

template <size_t... V>
constexpr TPixelPipeline MakePipeline(std::index_sequence<V...>)
{
    return {{&FillTriangle<(V & 8) != 0, (V & 4) != 0, (V & 2) != 0, (V & 1) != 0>...}};
}

constexpr TPixelPipeline kPipeline = MakePipeline(std::make_index_sequence<16>());

}  // namespace
}  // namespace rasterimpl
