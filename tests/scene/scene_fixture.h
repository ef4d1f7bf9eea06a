// Small hand-built projects, the drawing layer's lists read back as
// triangles, and a device on an off-screen window for the scene's suites.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "display/device.h"
#include "display/texture_store.h"
#include "platform/d3d8/d3d8_control.h"
#include "platform/d3d8/host_window.h"
#include "platform/rtl/messages.h"
#include "scene/scene.h"

namespace scene_test {

// Appends a room; every sector of it is flat (floor and ceiling 0), with
// default face records and piece heights.
inline tcuarto& AddRoom(tcuarto_list& p, int x, int z, int y, int columns, int rows, int height)
{
    const int n = p.roomCount + 1;
    if (static_cast<int>(p.rooms.size()) <= n) p.rooms.resize(size_t(n) + 1);
    p.roomCount = uint8_t(n);
    tcuarto& r = p.rooms[size_t(n)];
    r.x = x;
    r.z = z;
    r.y = y;
    r.columns = uint16_t(columns);
    r.rows = uint16_t(rows);
    r.height = uint16_t(height);
    InitRoomSectors(p, uint8_t(n));
    for (int i = 1; i <= columns; ++i)
        for (int j = 1; j <= rows; ++j) r.sectors[i][j].floorBase = 0;
    return r;
}

// An empty project (no rooms) with the player start in no room.
inline void EmptyProject(tcuarto_list& p)
{
    ResetProject(p);
    p.playerRoom = 0;
}

inline tsector& Sector(tcuarto_list& p, int room, int column, int row)
{
    return p.rooms[size_t(room)].sectors[column][row];
}

inline tpick_tag TagOf(const txgl_vertex& v)
{
    tpick_tag t;
    std::memcpy(&t, v.tag.data(), 8);
    return t;
}

// The vertices of one list in list order (sorts the vertex list).
inline std::vector<txgl_vertex> ListVertices(TxGL& gl, int list)
{
    gl.Vertices.Sort();
    std::vector<txgl_vertex> out;
    for (int i = 0; i < gl.Vertices.Count(); ++i) {
        const txgl_vertex* v = gl.Vertices.GetByIndex(i);
        if (v && v->list == list) out.push_back(*v);
    }
    return out;
}

using TTagTest = std::function<bool(const tpick_tag&)>;

inline std::vector<txgl_vertex> WithTag(const std::vector<txgl_vertex>& all, const TTagTest& test)
{
    std::vector<txgl_vertex> out;
    for (const auto& v : all)
        if (test(TagOf(v))) out.push_back(v);
    return out;
}

// Vertices of one face piece of a sector: part, slot and piece of the tag.
inline std::vector<txgl_vertex> Piece(const std::vector<txgl_vertex>& all, int column, int row, int part, int slot,
                                      int piece)
{
    return WithTag(all, [=](const tpick_tag& t) {
        return t.kind == TAG_SECTOR_FACE && t.column == column && t.row == row && t.part == part && t.slot == slot &&
               t.piece == piece;
    });
}

// A quad's six vertices are V2, V3, V1, V4, V1, V3: its corners V1..V4.
inline std::array<txgl_vertex, 4> QuadCorners(const std::vector<txgl_vertex>& v, size_t at = 0)
{
    return {v[at + 2], v[at + 0], v[at + 1], v[at + 3]};
}

// Scene position of a vertex built under the identity transform: the layer
// stores y negated.
inline void ExpectAt(const txgl_vertex& v, double x, double height, double z)
{
    EXPECT_NEAR(v.x, x, 1e-5);
    EXPECT_NEAR(v.y, -height, 1e-5);
    EXPECT_NEAR(v.z, z, 1e-5);
}

inline void ExpectUV(const txgl_vertex& v, double u, double vv)
{
    EXPECT_NEAR(v.u, u, 1e-9);
    EXPECT_NEAR(v.v, vv, 1e-9);
}

inline uint32_t ColorOf(const txgl_vertex& v) { return uint32_t(v.r) | uint32_t(v.g) << 8 | uint32_t(v.b) << 16; }

// Builds one room's mesh into list 2 under the identity transform.
inline std::vector<txgl_vertex> MeshOf(tr_scene& s, int room)
{
    s.GL.ClearList(-1);
    s.GL.LoadIdentity();
    s.GL.SetList(2);
    s.BuildRoomMesh(room);
    return ListVertices(s.GL, 2);
}

// A 3D view drawing into an off-screen window.
struct TOffscreenView : TDeviceView {
    TOffscreenView(int w, int h) : host(w, h) {}
    HWND DeviceWindow() const override { return const_cast<TOffscreenHost*>(&host); }
    TOffscreenHost host;
};

// The Direct3D object and a hardware device on the view, as the first
// viewport's attach makes them, with the default render states; and their
// release. Failures from an earlier suite are cleared first.
inline void StartDevice(TOffscreenView& view)
{
    D3DClearFailures();
    ViewportRegistry.Clear();
    ASSERT_TRUE(CreateDirect3D());
    ViewportRegistry.Add(&view);
    ASSERT_TRUE(CreateDeviceOrSwapChain(view.SwapChain, view.DeviceWindow(), false, 0, 0, 0, 1, true, true));
    SetDefaultRenderStates();
}
inline void StopDevice()
{
    ReleaseDirect3D();
    ViewportRegistry.Clear();
    D3DClearFailures();
}

// The scene seen through the device: a look sets the transforms, a frame
// draws every vertex buffer of the scene, and PixelAt finds where a point
// of the scene (height upward) landed in the window.
struct TSceneCamera {
    D3DXMATRIX view, projection;

    // Identity world, the view from eye to at, a 45 degree perspective.
    void Look(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up, float aspect)
    {
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, aspect, 0.1f, 1000.0f);
        D3DXMATRIX world;
        D3DXMatrixIdentity(&world);
        D3DDevice->SetTransform(D3DTS_WORLD, &world);
        D3DDevice->SetTransform(D3DTS_VIEW, &view);
        D3DDevice->SetTransform(D3DTS_PROJECTION, &projection);
    }
    // Looks at the point (x, height, z) from `distance` units above it
    // (below it for a negative distance). The layer stores heights negated:
    // up is -y.
    void LookDown(double x, double height, double z, double distance, float aspect)
    {
        const D3DXVECTOR3 at(float(x), float(-height), float(z));
        const D3DXVECTOR3 eye(float(x), float(-height - distance), float(z));
        Look(eye, at, D3DXVECTOR3(0, 0, 1), aspect);
    }

    // Clears the frame, draws every buffer that holds primitives (group by
    // group with the texture store's textures when textured, as the viewport
    // does, else without a texture) and presents.
    static void Frame(tr_scene& scene, bool textured)
    {
        D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        D3DDevice->BeginScene();
        if (!textured) D3DDevice->SetTexture(0, nullptr);
        for (int i = 0; i < scene.Buffers.Count(); ++i) {
            Tvbuffer& b = scene.Buffers[i];
            if (b.PrimitiveCount == 0) continue;
            D3DDevice->SetStreamSource(0, b.VertexBuffer.Get(), UINT(b.Stride));
            D3DDevice->SetVertexShader(b.VertexFormat);
            D3DDevice->SetRenderState(D3DRS_FILLMODE, DWORD(b.FillMode));
            if (!textured) {
                ASSERT_EQ(D3DDevice->DrawPrimitive(D3DPRIMITIVETYPE(b.PrimitiveType), 0, b.PrimitiveCount), D3D_OK);
                continue;
            }
            UINT start = 0;
            for (int g = 0; g < b.GroupCount; ++g) {
                TextureBuffer->Select(b.GroupTextures[size_t(g)]);
                D3DDevice->SetTexture(0, TextureBuffer->GetCurrentTexture());
                const UINT n = UINT(b.GroupPrimitives[size_t(g)]);
                ASSERT_EQ(D3DDevice->DrawPrimitive(D3DPRIMITIVETYPE(b.PrimitiveType), start, n), D3D_OK);
                start += 3 * n;
            }
        }
        D3DDevice->EndScene();
        ASSERT_EQ(D3DDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }

    // The pixel of the window where a point of the scene appears.
    uint32_t PixelAt(const TOffscreenHost& host, double x, double height, double z) const
    {
        D3DXMATRIX m;
        D3DXMatrixMultiply(&m, &view, &projection);
        const D3DXVECTOR3 p(float(x), float(-height), float(z));
        D3DXVECTOR4 c;
        D3DXVec3Transform(&c, &p, &m);
        const double sx = (c.x / c.w + 1) / 2 * host.ClientWidth(), sy = (1 - c.y / c.w) / 2 * host.ClientHeight();
        return host.Pixel(int(sx), int(sy));
    }
};

// Suites whose scene builds vertex buffers: a hardware device on an
// off-screen window, and a recorder for any message box.
class SceneDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = std::make_unique<TOffscreenView>(width, height);
        ASSERT_NO_FATAL_FAILURE(StartDevice(*view));
        sinkScope = std::make_unique<TScopedMessageSink>(sink);
    }
    void TearDown() override
    {
        sinkScope.reset();
        StopDevice();
    }

    int width = 64, height = 64;
    std::unique_ptr<TOffscreenView> view;
    TRecordingSink sink;
    std::unique_ptr<TScopedMessageSink> sinkScope;
};

}  // namespace scene_test
