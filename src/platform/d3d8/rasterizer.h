// The software rasterizer behind the device: transforms, clips, culls and
// fills triangle lists into a 32-bit colour buffer and a 16-bit depth buffer.
//
// The target is cut into square tiles. Vertex transformation and triangle
// set-up run in chunks, each sorting its set-up triangles by the tiles they
// touch; then every tile draws the triangles that touch it in their
// submission order. Chunks and tiles are shared out among the render
// threads. Within a tile, pixels are computed in blocks of SIMD lanes (SSE2,
// or AVX2 where the processor has it). Each pixel is computed by one tile
// in a fixed order from values that depend neither on the thread count nor
// on the lane width, so neither do the results.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/d3dx/d3dx8math.h"

struct TRasterTarget {
    uint32_t* color = nullptr;  // 0xAARRGGBB pixels
    int colorPitch = 0;         // pixels from one row to the next
    int width = 0;
    int height = 0;
    uint16_t* depth = nullptr;  // nil: no depth buffer
    int depthPitch = 0;         // at least as many rows and columns as the colour buffer
};

struct TRasterTexture {
    const uint32_t* texels = nullptr;  // 0xAARRGGBB; nil: no texture
    int width = 0;
    int height = 0;
    // Texels from one row to the next, at least `width`. With width + 1,
    // column `width` repeats column 0 and a row after the last repeats row 0,
    // so that a filter reads the texels right of and below any texel
    // without wrapping around.
    int pitch = 0;
};

enum class TRasterCull { None, Clockwise, CounterClockwise };

struct TRasterState {
    D3DXMATRIX transform;    // world x view x projection
    bool depthTest = false;  // less-or-equal test and depth write
    bool wireframe = false;
    TRasterCull cull = TRasterCull::CounterClockwise;
    bool linearMag = false;
    bool linearMin = false;
    TRasterTexture texture;
};

// Where the vertex parts lie: byte offsets within a vertex of `stride` bytes.
struct TRasterVertices {
    const uint8_t* data = nullptr;
    uint32_t stride = 0;
    int positionOffset = 0;   // three singles
    int diffuseOffset = -1;   // a 0xAARRGGBB colour; -1: white
    int texCoordOffset = -1;  // two singles; -1: (0, 0)
};

class TRasterizer {
public:
    TRasterizer();
    ~TRasterizer();
    TRasterizer(const TRasterizer&) = delete;
    TRasterizer& operator=(const TRasterizer&) = delete;

    // Fills the rectangle [x0, x1) x [y0, y1), clamped to the target.
    void Clear(const TRasterTarget& target, int x0, int y0, int x1, int y1, bool color, uint32_t colorValue, bool depth,
               uint16_t depthValue);

    // Draws `triangleCount` triangles whose vertices follow one another from
    // vertex `firstVertex` on. The caller has checked the vertex range.
    void DrawTriangles(const TRasterTarget& target, const TRasterState& state, const TRasterVertices& vertices,
                       uint32_t firstVertex, uint32_t triangleCount);

    struct TScratch;

private:
    TScratch* scratch_;
};

// Side length of the square tiles the target is cut into.
constexpr int RasterTileSize = 64;

// The instruction sets the pixel pipeline can run on; every one draws the
// same frames. Best is the widest the processor has.
enum class TRasterInstructions { Best, Sse2, Avx2 };

// Chooses the set for the draws that follow; false, and no change, when the
// processor lacks it.
bool SetRasterInstructions(TRasterInstructions set);
