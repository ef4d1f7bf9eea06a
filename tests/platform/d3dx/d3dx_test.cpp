#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "platform/d3dx/d3dx8math.h"
#include "platform/d3dx/d3dx8mesh.h"

namespace {

D3DXVECTOR4 Apply(const D3DXMATRIX& m, float x, float y, float z)
{
    D3DXVECTOR4 r;
    D3DXVECTOR3 v(x, y, z);
    D3DXVec3Transform(&r, &v, &m);
    return r;
}

void ExpectPoint(const D3DXVECTOR4& p, float x, float y, float z, float eps = 1e-5f)
{
    EXPECT_NEAR(p.x, x, eps);
    EXPECT_NEAR(p.y, y, eps);
    EXPECT_NEAR(p.z, z, eps);
}

const float kPi = 3.14159265358979f;

}  // namespace

TEST(D3DXMath, IdentityTranslationScaling)
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&m));
    ExpectPoint(Apply(m, 1, 2, 3), 1, 2, 3);

    D3DXMatrixTranslation(&m, 1, 2, 3);
    EXPECT_EQ(m._41, 1.0f);
    EXPECT_EQ(m._42, 2.0f);
    EXPECT_EQ(m._43, 3.0f);
    ExpectPoint(Apply(m, 1, 1, 1), 2, 3, 4);

    D3DXMatrixScaling(&m, 2, 3, 4);
    ExpectPoint(Apply(m, 1, 1, 1), 2, 3, 4);
}

TEST(D3DXMath, RotationsAreLeftHanded)
{
    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, kPi / 2);
    ExpectPoint(Apply(m, 1, 0, 0), 0, 0, -1);
    ExpectPoint(Apply(m, 0, 0, 1), 1, 0, 0);
    D3DXMatrixRotationX(&m, kPi / 2);
    ExpectPoint(Apply(m, 0, 1, 0), 0, 0, 1);
    D3DXMatrixRotationZ(&m, kPi / 2);
    ExpectPoint(Apply(m, 1, 0, 0), 0, 1, 0);
}

TEST(D3DXMath, ProductAppliesLeftFactorFirst)
{
    D3DXMATRIX t, r, tr, rt;
    D3DXMatrixTranslation(&t, 1, 0, 0);
    D3DXMatrixRotationZ(&r, kPi / 2);
    D3DXMatrixMultiply(&tr, &t, &r);  // translate, then rotate
    D3DXMatrixMultiply(&rt, &r, &t);  // rotate, then translate
    ExpectPoint(Apply(tr, 0, 0, 0), 0, 1, 0);
    ExpectPoint(Apply(rt, 0, 0, 0), 1, 0, 0);
    EXPECT_TRUE(t * r == tr);

    // The output may be one of the inputs.
    D3DXMatrixMultiply(&t, &t, &r);
    EXPECT_TRUE(t == tr);
}

TEST(D3DXMath, LookAtPlacesTheEyeAtTheOriginLookingDownZ)
{
    D3DXVECTOR3 eye(0, 0, 5), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX v;
    D3DXMatrixLookAtLH(&v, &eye, &at, &up);
    ExpectPoint(Apply(v, 0, 0, 5), 0, 0, 0);
    ExpectPoint(Apply(v, 0, 0, 0), 0, 0, 5);  // the target lies ahead
    // Looking towards -z with y up, world +x appears on the left.
    ExpectPoint(Apply(v, 1, 0, 5), -1, 0, 0);
    ExpectPoint(Apply(v, 0, 1, 5), 0, 1, 0);

    // The camera's up of (0, -1, 0) turns the picture upside down.
    D3DXVECTOR3 down(0, -1, 0);
    D3DXMatrixLookAtLH(&v, &eye, &at, &down);
    ExpectPoint(Apply(v, 0, 1, 5), 0, -1, 0);
}

TEST(D3DXMath, PerspectiveMapsNearToZeroAndFarToOne)
{
    D3DXMATRIX p;
    D3DXMatrixPerspectiveFovLH(&p, kPi / 4, 2.0f, 0.1f, 1000.0f);
    D3DXVECTOR4 n = Apply(p, 0, 0, 0.1f), f = Apply(p, 0, 0, 1000.0f);
    EXPECT_NEAR(n.z / n.w, 0.0f, 1e-6f);
    EXPECT_NEAR(f.z / f.w, 1.0f, 1e-6f);
    EXPECT_NEAR(n.w, 0.1f, 1e-7f);
    // A point on the top edge of the field of view lands on y = 1.
    const float d = 10.0f, top = d * std::tan(kPi / 8);
    D3DXVECTOR4 e = Apply(p, 0, top, d);
    EXPECT_NEAR(e.y / e.w, 1.0f, 1e-5f);
    D3DXVECTOR4 r = Apply(p, top * 2.0f, 0, d);
    EXPECT_NEAR(r.x / r.w, 1.0f, 1e-5f);
}

TEST(D3DXMath, VectorHelpers)
{
    D3DXVECTOR3 a(1, 0, 0), b(0, 1, 0), c;
    D3DXVec3Cross(&c, &a, &b);
    EXPECT_TRUE(c == D3DXVECTOR3(0, 0, 1));
    EXPECT_EQ(D3DXVec3Dot(&a, &b), 0.0f);
    D3DXVECTOR3 v(3, 0, 4), n;
    EXPECT_EQ(D3DXVec3Length(&v), 5.0f);
    D3DXVec3Normalize(&n, &v);
    EXPECT_NEAR(n.x, 0.6f, 1e-6f);
    D3DXVECTOR3 zero;
    D3DXVec3Normalize(&n, &zero);
    EXPECT_TRUE(n == D3DXVECTOR3(0, 0, 0));
}

namespace {
// The mesh functions only need a device to be given; they never call it.
int g_deviceStandIn;
IDirect3DDevice8* const g_device = reinterpret_cast<IDirect3DDevice8*>(&g_deviceStandIn);

struct TMeshVertex {
    float p[3];
    float n[3];
};
}  // namespace

TEST(D3DXSphere, ShapeCountsAndWinding)
{
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ASSERT_EQ(D3DXCreateSphere(g_device, 2.0f, 8, 5, &mesh, &adjacency), D3D_OK);
    ASSERT_NE(mesh, nullptr);
    ASSERT_NE(adjacency, nullptr);
    EXPECT_EQ(mesh->GetNumVertices(), 2u + 4u * 8u);
    EXPECT_EQ(mesh->GetNumFaces(), 2u * 8u * 4u);
    EXPECT_EQ(mesh->GetNumBytesPerVertex(), 24u);
    EXPECT_EQ(mesh->GetFVF(), D3DXFVF_XYZ | D3DXFVF_NORMAL);

    BYTE* vb = nullptr;
    BYTE* ib = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0x800, &vb), D3D_OK);
    EXPECT_EQ(mesh->LockVertexBuffer(0, &vb), D3DERR_INVALIDCALL);  // already locked
    ASSERT_EQ(mesh->LockIndexBuffer(0x800, &ib), D3D_OK);
    std::vector<TMeshVertex> v(mesh->GetNumVertices());
    std::memcpy(v.data(), vb, v.size() * sizeof(TMeshVertex));
    std::vector<uint16_t> idx(mesh->GetNumFaces() * 3);
    std::memcpy(idx.data(), ib, idx.size() * 2);

    for (const auto& p : v) {
        EXPECT_NEAR(std::sqrt(p.p[0] * p.p[0] + p.p[1] * p.p[1] + p.p[2] * p.p[2]), 2.0f, 1e-5f);
        EXPECT_NEAR(p.n[0] * 2.0f, p.p[0], 1e-5f);
    }
    std::set<uint16_t> used;
    for (size_t f = 0; f < idx.size(); f += 3) {
        const float* a = v[idx[f]].p;
        const float* b = v[idx[f + 1]].p;
        const float* c = v[idx[f + 2]].p;
        const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        const float centre[3] = {a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2]};
        // Clockwise seen from outside in a left-handed frame: (b - a) x (c - a) points out.
        EXPECT_GT(n[0] * centre[0] + n[1] * centre[1] + n[2] * centre[2], 0.0f) << "face " << f / 3;
        used.insert({idx[f], idx[f + 1], idx[f + 2]});
    }
    EXPECT_EQ(used.size(), v.size());

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
    EXPECT_EQ(D3DXCreateSphere(g_device, 1.0f, 2, 8, &mesh, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateSphere(g_device, 1.0f, 8, 1, &mesh, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateSphere(g_device, -1.0f, 8, 8, &mesh, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateSphere(g_device, std::nanf(""), 8, 8, &mesh, nullptr), D3DERR_INVALIDCALL);
    // 16-bit indices: no more than 65535 vertices.
    EXPECT_EQ(D3DXCreateSphere(g_device, 1.0f, 1000, 1000, &mesh, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateSphere(g_device, 1.0f, 0xFFFFFFFFu, 3, &mesh, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(D3DXCreateSphere(g_device, 1.0f, 3, 2, &mesh, nullptr), D3D_OK);
    EXPECT_EQ(mesh->GetNumFaces(), 6u);
    mesh->Release();
}

TEST(ComRef, CountsReferences)
{
    auto* buffer = new ID3DXBuffer(4);
    TComRef<ID3DXBuffer> a = TComRef<ID3DXBuffer>::Adopt(buffer);
    EXPECT_EQ(buffer->RefCount(), 1u);
    {
        TComRef<ID3DXBuffer> b = a;
        EXPECT_EQ(buffer->RefCount(), 2u);
        TComRef<ID3DXBuffer> c(buffer);
        EXPECT_EQ(buffer->RefCount(), 3u);
        c = nullptr;
        EXPECT_EQ(buffer->RefCount(), 2u);
        c = std::move(b);
        EXPECT_FALSE(b);
        EXPECT_EQ(buffer->RefCount(), 2u);
    }
    EXPECT_EQ(buffer->RefCount(), 1u);
    a = a;  // self-assignment keeps the object
    EXPECT_EQ(buffer->RefCount(), 1u);
    ID3DXBuffer** slot = a.Put();  // drops the object, hands out the empty slot
    EXPECT_EQ(*slot, nullptr);
    EXPECT_FALSE(a);
}
