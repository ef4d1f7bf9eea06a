// Vertex buffers drawn by the 3D view: each a triangle list with the texture
// groups the view draws it in.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/d3d8/d3d8.h"

// One vertex as the buffers hold it (format 0x142, 24 bytes).
struct tbuffer_vertex {
    float x, y, z;
    uint32_t color;  // 0xFF000000 or red << 16 or green << 8 or blue
    float u, v;
};
static_assert(sizeof(tbuffer_vertex) == 24);

constexpr DWORD BufferVertexFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x142
constexpr int32_t BufferVertexStride = 24;
constexpr int32_t BufferPrimitiveType = D3DPT_TRIANGLELIST;
constexpr int32_t FillSolid = D3DFILL_SOLID;
constexpr int32_t FillWireframe = D3DFILL_WIREFRAME;

// One buffer. Groups lie in buffer order: group g starts at vertex 3 x the
// sum of the primitive counts of the groups before it.
struct Tvbuffer {
    TComRef<IDirect3DVertexBuffer8> VertexBuffer;  // nil until built
    uint32_t Capacity = 0;                         // vertices the buffers were made for
    uint32_t VertexFormat = 0;                     // BufferVertexFormat once built
    int32_t Stride = 0;                            // BufferVertexStride once built
    int32_t PrimitiveType = 0;                     // BufferPrimitiveType once built
    uint32_t PrimitiveCount = 0;                   // triangles to draw; 0: nothing
    int32_t FillMode = 0;                          // FillSolid or FillWireframe
    int32_t DefaultTexture = 0;                    // texture id of the whole buffer, and the fallback of a group
    uint8_t OneGroup = 0;                          // draw in one call with the default texture
    int32_t GroupCount = 0;
    std::vector<int32_t> GroupPrimitives;
    std::vector<int32_t> GroupTextures;
    // Selection rectangle in pick-tag rows and columns (bounds inclusive, in
    // either order): while on, the builder writes matching vertices red.
    uint8_t SelectionOn = 0;
    int32_t SelRowA = 0, SelColA = 0, SelRowB = 0, SelColB = 0;
    uint8_t Highlighted = 0;  // set by the builder
    // A list longer than a Direct3D buffer may be is held in several, of
    // PieceLength vertices each (a multiple of 3; the last one holds what
    // is left): VertexBuffer is the first, MoreBuffers the others in order.
    // 0 until built: one buffer.
    uint32_t PieceLength = 0;
    std::vector<TComRef<IDirect3DVertexBuffer8>> MoreBuffers;
};

// Calls draw(buffer, start, primitives) for each part, within one Direct3D
// buffer of the element, of the primitives from vertex `first` on: a run
// that goes on from one buffer into the next is drawn in two calls. Nothing
// past the element's buffers is drawn.
template <class FDraw>
void DrawPieces(const Tvbuffer& b, uint64_t first, uint64_t primitives, FDraw&& draw)
{
    const uint64_t length = b.PieceLength != 0 ? b.PieceLength : UINT64_MAX;
    while (primitives > 0) {
        const uint64_t k = first / length;
        if (k > b.MoreBuffers.size()) return;
        const uint64_t start = first - k * length;
        const uint64_t here = std::min(primitives, (length - start) / 3);
        if (here == 0) return;
        draw(k == 0 ? b.VertexBuffer.Get() : b.MoreBuffers[k - 1].Get(), UINT(start), UINT(here));
        first += 3 * here;
        primitives -= here;
    }
}

class TVertexBuffer_array {
public:
    TVertexBuffer_array();
    ~TVertexBuffer_array();
    TVertexBuffer_array(const TVertexBuffer_array&) = delete;
    TVertexBuffer_array& operator=(const TVertexBuffer_array&) = delete;

    int32_t Count() const { return static_cast<int32_t>(Items.size()); }
    Tvbuffer& operator[](int32_t i) { return Items[size_t(i)]; }

    // n elements (a negative n counts as 0); new ones start empty. Every
    // element, new or old, loses its buffer, gets capacity 0 and solid fill;
    // old ones keep their primitive count, groups, default texture and
    // one-group flag.
    void SetCount(int32_t n);
    // Releases every buffer and removes every element.
    void Clear();

    // The device was recreated: the buffers belong to the old one and are
    // released; every element is empty (capacity and primitive count 0)
    // until its owner builds it again, which OnDeviceReset (when set) asks for.
    void DeviceReset();
    std::function<void()> OnDeviceReset;

    std::vector<Tvbuffer> Items;
};

// Resets every vertex buffer array alive (device recovery).
void ResetAllVertexBufferArrays();
