// Pixel arithmetic one value at a time: the rules every pixel path follows
// (the lane paths give the same results, value for value), and the scalar
// path for what lanes do not cover (wireframe lines, textures whose sides
// are not powers of two, texture coordinates too large for 32-bit steps).
//
// Internal linkage on purpose: this header is compiled into files built
// for different instruction sets, which must not share inline code.
#pragma once

#include <cassert>
#include <cstdint>

#include "platform/d3d8/raster_setup.h"

namespace rasterimpl {
namespace {

// 0..255 from a colour channel, rounded; NaN gives 0.
inline int ToByte(float x) { return x > 0.0f ? (x < 255.0f ? int(x + 0.5f) : 255) : 0; }

// The 16-bit depth of z, clamped to 0..1; NaN gives 0.
inline uint16_t ToDepth(float z)
{
    const float c = z > 0.0f ? (z < 1.0f ? z : 1.0f) : 0.0f;
    return uint16_t(c * 65535.0f + 0.5f);
}

// a * b / 255, rounded, for a and b in 0..255.
inline int Mul8(int a, int b)
{
    assert(0 <= a && a <= 255 && 0 <= b && b <= 255);
    const int x = a * b + 128;
    return (x + (x >> 8)) >> 8;
}

// From a towards b by f / 256, channel by channel (f in 0..255).
inline uint32_t Lerp2(uint32_t a, uint32_t b, uint32_t f)
{
    assert(f <= 255);
    const uint32_t rb = (((a & 0x00FF00FFu) * (256 - f) + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
    const uint32_t ag = (((a >> 8) & 0x00FF00FFu) * (256 - f) + ((b >> 8) & 0x00FF00FFu) * f) & 0xFF00FF00u;
    return rb | ag;
}

// Texture coordinates below this many 1/256 texel steps in magnitude are
// split exactly in 32-bit integers.
constexpr float kWrapLimit = 1073741824.0f;

// A texture coordinate in 1/256 texel steps, reduced to one repetition
// [0, size * 256) of a texture side of `size` texels; `offset` (in steps) is
// added first. NaN and infinities give 0.
inline int WrapSteps(float coord, int size, int offset)
{
    assert(0 < size && size <= 65536 && -256 < offset && offset <= 0);
    const int period = size * 256;
    const float f = coord * float(period);
    int64_t i;
    if (f > -kWrapLimit && f < kWrapLimit) {
        i = int64_t(f);
        if (float(i) > f) --i;  // floor
    } else {
        const float frac = coord - __builtin_floorf(coord);
        if (!(frac >= 0.0f && frac <= 1.0f)) return 0;
        i = int64_t(frac * float(period));
    }
    i += offset;
    const int64_t r = (size & (size - 1)) == 0 ? (i & (period - 1)) : ((i % period) + period) % period;
    return int(r);
}

inline uint32_t SamplePoint(const TTexInfo& t, float u, float v)
{
    const int x = WrapSteps(u, t.width, 0) >> 8;
    const int y = WrapSteps(v, t.height, 0) >> 8;
    return t.texels[size_t(y) * size_t(t.pitch) + size_t(x)];
}

// The 2 x 2 texels around (u, v), blended down the columns first, then
// across (the lane paths fetch a texel and its right neighbour together).
inline uint32_t SampleLinear(const TTexInfo& t, float u, float v)
{
    // Texel centres lie at half steps: shift by half a texel before splitting.
    const int iu = WrapSteps(u, t.width, -128);
    const int iv = WrapSteps(v, t.height, -128);
    const int x0 = iu >> 8, y0 = iv >> 8;
    const uint32_t fx = uint32_t(iu & 255), fy = uint32_t(iv & 255);
    const int x1 = x0 + 1 == t.width ? 0 : x0 + 1;
    const int y1 = y0 + 1 == t.height ? 0 : y0 + 1;
    const uint32_t* r0 = t.texels + size_t(y0) * size_t(t.pitch);
    const uint32_t* r1 = t.texels + size_t(y1) * size_t(t.pitch);
    return Lerp2(Lerp2(r0[x0], r1[x0], fy), Lerp2(r0[x1], r1[x1], fy), fx);
}

inline uint32_t Sample(const TTexInfo& t, bool linear, float u, float v)
{
    assert(t.texels && t.width > 0 && t.height > 0 && t.pitch >= t.width);
    return linear ? SampleLinear(t, u, v) : SamplePoint(t, u, v);
}

// Texel times colour, channel by channel; the alpha is opaque.
inline uint32_t Modulate(uint32_t texel, int r, int g, int b)
{
    return 0xFF000000u | uint32_t(Mul8(int((texel >> 16) & 255), r)) << 16 |
           uint32_t(Mul8(int((texel >> 8) & 255), g)) << 8 | uint32_t(Mul8(int(texel & 255), b));
}

}  // namespace
}  // namespace rasterimpl
