#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "platform/d3dx/d3dx8math.h"
#include "platform/d3dx/d3dx8mesh.h"

namespace {

const float kPi = 3.14159265358979f;

D3DXMATRIX Make(D3DXMATRIX* (*f)(D3DXMATRIX*, float), float a)
{
    D3DXMATRIX m;
    return *f(&m, a);
}

TEST(D3DXMath, MatricesMovePointsAsTheLeftHandedCallersExpect)
{
    D3DXMATRIX identity, translation, scaling, product, swapped, lookAt, upsideDown, perspective;
    D3DXMatrixIdentity(&identity);
    D3DXMatrixTranslation(&translation, 1, 2, 3);
    D3DXMatrixScaling(&scaling, 2, 3, 4);
    const D3DXMATRIX rz = Make(D3DXMatrixRotationZ, kPi / 2);
    D3DXMatrixMultiply(&product, &translation, &rz);  // translate, then rotate
    D3DXMatrixMultiply(&swapped, &rz, &translation);  // rotate, then translate
    const D3DXVECTOR3 eye(0, 0, 5), at(0, 0, 0), up(0, 1, 0), down(0, -1, 0);
    D3DXMatrixLookAtLH(&lookAt, &eye, &at, &up);
    D3DXMatrixLookAtLH(&upsideDown, &eye, &at, &down);
    D3DXMatrixPerspectiveFovLH(&perspective, kPi / 4, 2.0f, 0.1f, 1000.0f);
    const float top = 10.0f * std::tan(kPi / 8);  // on the upper edge of the field of view at distance 10
    struct Case {
        const char* name;
        D3DXMATRIX m;
        D3DXVECTOR3 in, out;  // out after the division by w
    };
    const Case cases[] = {
        {"identity", identity, {1, 2, 3}, {1, 2, 3}},
        {"translation", translation, {1, 1, 1}, {2, 3, 4}},
        {"scaling", scaling, {1, 1, 1}, {2, 3, 4}},
        {"rotation y", Make(D3DXMatrixRotationY, kPi / 2), {1, 0, 0}, {0, 0, -1}},
        {"rotation y of z", Make(D3DXMatrixRotationY, kPi / 2), {0, 0, 1}, {1, 0, 0}},
        {"rotation x", Make(D3DXMatrixRotationX, kPi / 2), {0, 1, 0}, {0, 0, 1}},
        {"rotation z", rz, {1, 0, 0}, {0, 1, 0}},
        {"translate, then rotate", product, {0, 0, 0}, {-2, 1, 3}},
        {"rotate, then translate", swapped, {0, 0, 0}, {1, 2, 3}},
        {"operator*", translation * rz, {0, 0, 0}, {-2, 1, 3}},
        {"look at: the eye", lookAt, {0, 0, 5}, {0, 0, 0}},
        {"look at: the target lies ahead", lookAt, {0, 0, 0}, {0, 0, 5}},
        {"look at: world +x on the left", lookAt, {1, 0, 5}, {-1, 0, 0}},
        {"look at: up", lookAt, {0, 1, 5}, {0, 1, 0}},
        {"look at: upside down", upsideDown, {0, 1, 5}, {0, -1, 0}},
        {"perspective: near", perspective, {0, 0, 0.1f}, {0, 0, 0}},
        {"perspective: far", perspective, {0, 0, 1000}, {0, 0, 1}},
        {"perspective: top edge", perspective, {0, top, 10}, {0, 1, 0.990099f}},
        {"perspective: right edge", perspective, {2 * top, 0, 10}, {1, 0, 0.990099f}},
    };
    for (const auto& c : cases) {
        D3DXVECTOR4 r;
        D3DXVec3Transform(&r, &c.in, &c.m);
        EXPECT_NEAR(r.x / r.w, c.out.x, 1e-5f) << c.name;
        EXPECT_NEAR(r.y / r.w, c.out.y, 1e-5f) << c.name;
        EXPECT_NEAR(r.z / r.w, c.out.z, 1e-5f) << c.name;
    }
    EXPECT_TRUE(D3DXMatrixIsIdentity(&identity));
    EXPECT_FALSE(D3DXMatrixIsIdentity(&translation));
    D3DXMatrixMultiply(&translation, &translation, &rz);  // the output may be one of the inputs
    EXPECT_TRUE(translation == product);
}

TEST(D3DXMath, VectorHelpers)
{
    D3DXVECTOR3 a(1, 0, 0), b(0, 1, 0), c, v(3, 0, 4), zero;
    D3DXVec3Cross(&c, &a, &b);
    EXPECT_TRUE(c == D3DXVECTOR3(0, 0, 1));
    EXPECT_EQ(D3DXVec3Dot(&a, &b) + D3DXVec3Length(&v), 5.0f);
    D3DXVec3Normalize(&c, &v);
    EXPECT_NEAR(c.x, 0.6f, 1e-6f);
    D3DXVec3Normalize(&c, &zero);
    EXPECT_TRUE(c == D3DXVECTOR3(0, 0, 0));
}

// The mesh functions only need a device to be given; they never call it.
int g_deviceStandIn;
IDirect3DDevice8* const g_device = reinterpret_cast<IDirect3DDevice8*>(&g_deviceStandIn);

TEST(D3DXSphere, ClosedSurfaceOfOutwardFaces)
{
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ASSERT_EQ(D3DXCreateSphere(g_device, 2.0f, 8, 5, &mesh, &adjacency), D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 2u + 4u * 8u);
    EXPECT_EQ(mesh->GetNumFaces(), 2u * 8u * 4u);
    EXPECT_EQ(mesh->GetNumBytesPerVertex(), 24u);
    EXPECT_EQ(mesh->GetFVF(), D3DXFVF_XYZ | D3DXFVF_NORMAL);
    BYTE *vb = nullptr, *ib = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0x800, &vb), D3D_OK);
    EXPECT_EQ(mesh->LockVertexBuffer(0, &vb), D3DERR_INVALIDCALL);  // already locked
    ASSERT_EQ(mesh->LockIndexBuffer(0x800, &ib), D3D_OK);
    const auto* v = reinterpret_cast<const float*>(vb);  // position, then normal
    const auto* idx = reinterpret_cast<const uint16_t*>(ib);
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        const float* p = v + 6 * i;
        EXPECT_NEAR(std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]), 2.0f, 1e-5f);
        EXPECT_NEAR(p[3] * 2.0f, p[0], 1e-5f);
    }
    std::set<uint16_t> used;
    for (DWORD f = 0; f < mesh->GetNumFaces(); ++f) {
        const float *a = v + 6 * idx[3 * f], *b = v + 6 * idx[3 * f + 1], *c = v + 6 * idx[3 * f + 2];
        const D3DXVECTOR3 e1(b[0] - a[0], b[1] - a[1], b[2] - a[2]), e2(c[0] - a[0], c[1] - a[1], c[2] - a[2]);
        const D3DXVECTOR3 centre(a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2]);
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &e1, &e2);
        // Clockwise seen from outside in a left-handed frame: (b - a) x (c - a) points out.
        EXPECT_GT(D3DXVec3Dot(&n, &centre), 0.0f) << "face " << f;
        used.insert({idx[3 * f], idx[3 * f + 1], idx[3 * f + 2]});
    }
    EXPECT_EQ(used.size(), mesh->GetNumVertices());
    // A closed surface: every edge has a neighbour face.
    const DWORD* adj = static_cast<const DWORD*>(adjacency->GetBufferPointer());
    ASSERT_EQ(adjacency->GetBufferSize(), mesh->GetNumFaces() * 3 * 4);
    for (DWORD i = 0; i < mesh->GetNumFaces() * 3; ++i) EXPECT_LT(adj[i], mesh->GetNumFaces());
    EXPECT_EQ(mesh->UnlockVertexBuffer(), D3D_OK);
    EXPECT_EQ(mesh->UnlockIndexBuffer(), D3D_OK);
    EXPECT_EQ(mesh->UnlockIndexBuffer(), D3DERR_INVALIDCALL);
    mesh->Release();
    adjacency->Release();
}

TEST(D3DXSphere, RefusesBadArguments)
{
    ID3DXMesh* mesh = reinterpret_cast<ID3DXMesh*>(1);
    EXPECT_EQ(D3DXCreateSphere(nullptr, 1.0f, 8, 8, &mesh, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh, nullptr);
    // Too few slices or stacks, no radius, and more than 16-bit indices can reach.
    for (auto [radius, slices, stacks] : {std::tuple{1.0f, 2u, 8u},
                                          {1.0f, 8u, 1u},
                                          {-1.0f, 8u, 8u},
                                          {std::nanf(""), 8u, 8u},
                                          {1.0f, 1000u, 1000u},
                                          {1.0f, 0xFFFFFFFFu, 3u}})
        EXPECT_EQ(D3DXCreateSphere(g_device, radius, slices, stacks, &mesh, nullptr), D3DERR_INVALIDCALL) << slices;
    ASSERT_EQ(D3DXCreateSphere(g_device, 1.0f, 3, 2, &mesh, nullptr), D3D_OK);
    EXPECT_EQ(mesh->GetNumFaces(), 6u);
    mesh->Release();
}

TEST(ComRef, CountsReferences)
{
    auto* buffer = new ID3DXBuffer(4);
    TComRef<ID3DXBuffer> a = TComRef<ID3DXBuffer>::Adopt(buffer);
    {
        TComRef<ID3DXBuffer> b = a, c(buffer);
        EXPECT_EQ(buffer->RefCount(), 3u);
        c = nullptr;
        c = std::move(b);
        EXPECT_FALSE(b);
        EXPECT_EQ(buffer->RefCount(), 2u);
    }
    a = a;  // self-assignment keeps the object
    EXPECT_EQ(buffer->RefCount(), 1u);
    EXPECT_EQ(*a.Put(), nullptr);  // drops the object, hands out the empty slot
    EXPECT_FALSE(a);
}

}  // namespace
