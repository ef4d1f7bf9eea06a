// Vertex buffers drawn by the 3D view: each a triangle list with the texture
// groups the view draws it in.
#pragma once

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
    uint32_t Capacity = 0;                         // vertices the buffer was made for
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
};

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
