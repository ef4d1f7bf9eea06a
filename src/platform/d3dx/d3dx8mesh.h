// Meshes made by the utility library: a sphere with lockable vertex and index data.
#pragma once

#include <vector>

#include "platform/d3dx/com.h"

class IDirect3DDevice8;  // the device a mesh is made for (platform/d3d8)

// Vertex format codes a mesh reports (position; position and normal).
constexpr DWORD D3DXFVF_XYZ = 0x002;
constexpr DWORD D3DXFVF_NORMAL = 0x010;

// A block of bytes handed out by the library (the adjacency of a mesh).
class ID3DXBuffer : public IUnknown {
public:
    explicit ID3DXBuffer(size_t size) : data_(size) {}
    void* GetBufferPointer() { return data_.data(); }
    DWORD GetBufferSize() const { return static_cast<DWORD>(data_.size()); }

private:
    std::vector<BYTE> data_;
};

// A triangle mesh with 16-bit indices, three per face.
class ID3DXMesh : public IUnknown {
public:
    ID3DXMesh(DWORD fvf, DWORD bytesPerVertex, DWORD vertices, DWORD faces);

    DWORD GetNumVertices() const { return numVertices_; }
    DWORD GetNumFaces() const { return numFaces_; }
    DWORD GetFVF() const { return fvf_; }
    DWORD GetNumBytesPerVertex() const { return stride_; }

    // Each lock hands out the whole block; a second lock before the unlock fails.
    HRESULT LockVertexBuffer(DWORD flags, BYTE** data);
    HRESULT UnlockVertexBuffer();
    HRESULT LockIndexBuffer(DWORD flags, BYTE** data);
    HRESULT UnlockIndexBuffer();

private:
    DWORD fvf_;
    DWORD stride_;
    DWORD numVertices_;
    DWORD numFaces_;
    std::vector<BYTE> vertices_;
    std::vector<BYTE> indices_;
    bool vertexLocked_ = false;
    bool indexLocked_ = false;
};

// A sphere of the given radius around the origin, its poles on the z axis,
// made of `slices` segments around and `stacks` bands from pole to pole.
// Vertices are 24 bytes: position then unit outward normal. Faces wind
// clockwise seen from outside, so counter-clockwise culling keeps the outside.
// Needs a device, a radius of at least 0, at least 3 slices and 2 stacks,
// and fits at most 65535 vertices. The adjacency (optional) holds, per face,
// the faces across its three edges.
HRESULT D3DXCreateSphere(IDirect3DDevice8* device, float radius, UINT slices, UINT stacks, ID3DXMesh** mesh,
                         ID3DXBuffer** adjacency);
