// What the triangle set-up hands to the pixel pipeline: triangles ready to
// fill, the texture as it is sampled, and one tile of the target. The pixel
// pipeline exists once per instruction set (raster_sse2.cpp, raster_avx2.cpp);
// both compute every pixel with the same operations in the same order, so
// the frames do not depend on which one runs.
//
// Plain data only: the instruction-set files are compiled with different
// code generation options and must share no inline code.
#pragma once

#include <cstdint>

#include "platform/d3d8/rasterizer.h"

namespace rasterimpl {

constexpr int kAttrs = 7;      // z, q = 1/w, u*q, v*q, r*q, g*q, b*q
constexpr int kFlatAttrs = 4;  // a flat triangle needs z, q, u*q and v*q only

// One attribute over a triangle: its value at the centre of the triangle's
// first pixel (minX, minY), and its change per pixel right and down. At
// pixel (x, y) it is (c0 + dy * (y - minY)) + dx * (x - minX), evaluated in
// single precision in exactly that order.
struct TPlane {
    float c0, dx, dy;
};

// A triangle after set-up, in two cache lines (the tiles read them in an
// order of their own). Pixel (x, y) has its centre at (x + 0.5, y + 0.5).
struct alignas(64) TTriSetup {
    int16_t minX, minY, maxX, maxY;  // pixels whose centres may be covered (inclusive, within the target)
    // Edge k covers pixel (x, y) when a[k] * x + b[k] * y + c[k] >= 0. The
    // coefficients are exact integers: neighbours sharing an edge never both
    // cover a pixel and never both miss it.
    int32_t a[3], b[3];
    int64_t c[3];
    TPlane p[kFlatAttrs];  // z, q, u*q, v*q
    uint32_t flatRGB;      // 0x00RRGGBB: the colour of a flat triangle
    uint32_t colours;      // where the colour planes of one that is not flat lie
    bool linear;           // bilinear filtering (else the nearest texel)
    bool flat;             // one colour over the whole triangle
};
static_assert(sizeof(TTriSetup) == 128);

// The colour planes of a triangle that is not flat: r*q, g*q, b*q.
struct TColourPlanes {
    TPlane p[kAttrs - kFlatAttrs];
};

// The texture as the pixel pipeline samples it: the view, and how the lanes
// may address it.
struct TTexInfo : TRasterTexture {
    bool lanes = false;  // sides powers of two and pitch width + 1 (a repeated column and row, see TRasterTexture)
    int log2Width = 0;   // when lanes
};

// One tile of the target: the pixels [x0, x1) x [y0, y1), the only ones a
// fill may change (other tiles are drawn at the same time). They are drawn
// either in the target itself or in a copy of the tile.
struct TTileJob {
    uint32_t* color;  // pixel (x0, y0)
    int colorPitch;   // pixels from one row to the next
    uint16_t* depth;  // pixel (x0, y0); nil without a depth buffer
    int depthPitch;
    int slack;     // columns past x1 that may be read and written as well (a copy's margin)
    int rowSlack;  // and rows past y1
    const TTexInfo* texture;
    int x0, y0, x1, y1;
};

// A triangle's part of one tile; `colours` is nil for a flat triangle.
using TTriFill = void (*)(const TTriSetup&, const TColourPlanes* colours, const TTileJob&);

// The fill functions by variant: index bit 3 depth test, 2 texture, 1 linear
// filter, 0 flat colour.
struct TPixelPipeline {
    TTriFill fill[16];
};

const TPixelPipeline& PixelPipelineSse2();
const TPixelPipeline& PixelPipelineAvx2();

}  // namespace rasterimpl
