#include "platform/d3dx/d3dx8mesh.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

ID3DXMesh::ID3DXMesh(DWORD fvf, DWORD bytesPerVertex, DWORD vertices, DWORD faces)
    : fvf_(fvf),
      stride_(bytesPerVertex),
      numVertices_(vertices),
      numFaces_(faces),
      vertices_(size_t(vertices) * bytesPerVertex),
      indices_(size_t(faces) * 3 * sizeof(uint16_t))
{
}

HRESULT ID3DXMesh::LockVertexBuffer(DWORD, BYTE** data)
{
    if (!data || vertexLocked_) return D3DERR_INVALIDCALL;
    vertexLocked_ = true;
    *data = vertices_.data();
    return D3D_OK;
}

HRESULT ID3DXMesh::UnlockVertexBuffer()
{
    if (!vertexLocked_) return D3DERR_INVALIDCALL;
    vertexLocked_ = false;
    return D3D_OK;
}

HRESULT ID3DXMesh::LockIndexBuffer(DWORD, BYTE** data)
{
    if (!data || indexLocked_) return D3DERR_INVALIDCALL;
    indexLocked_ = true;
    *data = indices_.data();
    return D3D_OK;
}

HRESULT ID3DXMesh::UnlockIndexBuffer()
{
    if (!indexLocked_) return D3DERR_INVALIDCALL;
    indexLocked_ = false;
    return D3D_OK;
}

namespace {

struct TSphereVertex {
    float px, py, pz;
    float nx, ny, nz;
};
static_assert(sizeof(TSphereVertex) == 24);

void FillAdjacency(const std::vector<uint16_t>& idx, DWORD faces, DWORD* out)
{
    // Each directed edge a->b of a face meets the face holding b->a.
    std::unordered_map<uint32_t, DWORD> edgeFace;
    edgeFace.reserve(size_t(faces) * 3);
    for (DWORD f = 0; f < faces; ++f)
        for (int e = 0; e < 3; ++e) {
            const uint32_t a = idx[f * 3 + e], b = idx[f * 3 + (e + 1) % 3];
            edgeFace.emplace((a << 16) | b, f);
        }
    for (DWORD f = 0; f < faces; ++f)
        for (int e = 0; e < 3; ++e) {
            const uint32_t a = idx[f * 3 + e], b = idx[f * 3 + (e + 1) % 3];
            auto it = edgeFace.find((b << 16) | a);
            out[f * 3 + e] = it == edgeFace.end() ? 0xFFFFFFFFu : it->second;
        }
}

}  // namespace

HRESULT D3DXCreateSphere(IDirect3DDevice8* device, float radius, UINT slices, UINT stacks, ID3DXMesh** mesh,
                         ID3DXBuffer** adjacency)
{
    if (mesh) *mesh = nullptr;
    if (adjacency) *adjacency = nullptr;
    if (!device || !mesh || !(radius >= 0.0f) || slices < 3 || stacks < 2) return D3DERR_INVALIDCALL;
    const uint64_t vertexCount = 2 + uint64_t(stacks - 1) * slices;
    if (vertexCount > 65535) return D3DERR_INVALIDCALL;
    const DWORD faceCount = 2 * slices * (stacks - 1);

    std::vector<TSphereVertex> v;
    v.reserve(vertexCount);
    v.push_back({0, 0, radius, 0, 0, 1});
    const double pi = 3.14159265358979323846;
    for (UINT i = 1; i < stacks; ++i) {
        const double phi = pi * i / stacks;
        const double ringZ = std::cos(phi), ringR = std::sin(phi);
        for (UINT j = 0; j < slices; ++j) {
            const double theta = 2.0 * pi * j / slices;
            const double nx = ringR * std::cos(theta), ny = ringR * std::sin(theta);
            v.push_back(
                {float(nx * radius), float(ny * radius), float(ringZ * radius), float(nx), float(ny), float(ringZ)});
        }
    }
    v.push_back({0, 0, -radius, 0, 0, -1});

    // Rings run from the top pole down; ring(i, j) is vertex j of ring i (1-based rings).
    auto ring = [&](UINT i, UINT j) { return uint16_t(1 + (i - 1) * slices + j % slices); };
    const uint16_t top = 0, bottom = uint16_t(vertexCount - 1);
    std::vector<uint16_t> idx;
    idx.reserve(size_t(faceCount) * 3);
    auto face = [&](uint16_t a, uint16_t b, uint16_t c) { idx.insert(idx.end(), {a, b, c}); };
    for (UINT j = 0; j < slices; ++j) face(top, ring(1, j), ring(1, j + 1));
    for (UINT i = 1; i + 1 < stacks; ++i)
        for (UINT j = 0; j < slices; ++j) {
            const uint16_t a = ring(i, j), b = ring(i, j + 1), c = ring(i + 1, j), d = ring(i + 1, j + 1);
            face(a, c, d);
            face(a, d, b);
        }
    for (UINT j = 0; j < slices; ++j) face(ring(stacks - 1, j), bottom, ring(stacks - 1, j + 1));

    auto* m = new ID3DXMesh(D3DXFVF_XYZ | D3DXFVF_NORMAL, sizeof(TSphereVertex), DWORD(vertexCount), faceCount);
    BYTE* p = nullptr;
    m->LockVertexBuffer(0, &p);
    std::memcpy(p, v.data(), v.size() * sizeof(TSphereVertex));
    m->UnlockVertexBuffer();
    m->LockIndexBuffer(0, &p);
    std::memcpy(p, idx.data(), idx.size() * sizeof(uint16_t));
    m->UnlockIndexBuffer();

    if (adjacency) {
        auto* adj = new ID3DXBuffer(size_t(faceCount) * 3 * sizeof(DWORD));
        FillAdjacency(idx, faceCount, static_cast<DWORD*>(adj->GetBufferPointer()));
        *adjacency = adj;
    }
    *mesh = m;
    return D3D_OK;
}
