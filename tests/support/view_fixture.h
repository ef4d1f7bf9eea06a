// The display engine and the 3D scene on off-screen windows, for the display
// and scene suites: a view that counts its recoveries, a fixture that starts
// every test on a clean engine and records message boxes, a camera that draws
// vertex buffers as the viewport does and tells where a point landed, the
// drawing layer's vertices read back, hand-built projects, and levels written
// by the level writer and read back with their meshes.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/device.h"
#include "display/drawing_layer.h"
#include "display/texture_store.h"
#include "level/trlevel.h"
#include "platform/d3d8/d3d8_control.h"
#include "platform/d3d8/host_window.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/messages.h"
#include "scene/mesh_list.h"
#include "scene/scene.h"
#include "support/level_writer.h"
#include "support/temp_dir.h"

// A 3D view drawing into an off-screen window.
struct TTestView final : TDeviceView {
    TTestView(int w, int h) : host(w, h) {}
    HWND DeviceWindow() const override { return const_cast<TOffscreenHost*>(&host); }
    void DeviceRecreated() override { ++recreated; }
    TOffscreenHost host;
    int recreated = 0;
};

// Every test starts without device, views, texture store or planned
// failures, and with its message boxes recorded.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        D3DClearFailures();
        ViewportRegistry.Clear();
        ReloadTexturesHook = nullptr;
        scope = std::make_unique<TScopedMessageSink>(sink);
    }
    void TearDown() override
    {
        FreeTextureBuffer();
        ReleaseDirect3D();
        ViewportRegistry.Clear();
        D3DClearFailures();
        scope.reset();
    }
    // A registered view: the first one gets the Direct3D object and a
    // hardware device with the default render states, as the first
    // viewport's attach makes them; later ones a swap chain.
    TTestView& OpenView(int w = 64, int h = 64)
    {
        const bool first = !D3DDevice;
        if (!D3DObject) { EXPECT_TRUE(CreateDirect3D()); }
        views.push_back(std::make_unique<TTestView>(w, h));
        ViewportRegistry.Add(views.back().get());
        EXPECT_TRUE(CreateDeviceOrSwapChain(views.back()->SwapChain, views.back()->DeviceWindow(), false, 0, 0, 0, 1,
                                            true, true));
        if (first) SetDefaultRenderStates();
        return *views.back();
    }

    TRecordingSink sink;
    std::unique_ptr<TScopedMessageSink> scope;
    std::vector<std::unique_ptr<TTestView>> views;
};

// Draws vertex buffers through the device and finds where a point (height
// upward: the drawing layer stores y negated) appears in the window.
struct TSceneCamera {
    D3DXMATRIX view, projection;

    // Identity world, the view from eye to at, a 45 degree perspective.
    void Look(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up)
    {
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 1, 0.1f, 1000.0f);
        D3DXMATRIX world;
        D3DXMatrixIdentity(&world);
        D3DDevice->SetTransform(D3DTS_WORLD, &world);
        D3DDevice->SetTransform(D3DTS_VIEW, &view);
        D3DDevice->SetTransform(D3DTS_PROJECTION, &projection);
    }
    // Looks at (x, height, z) from `distance` units above (below when
    // negative); clears, draws every buffer that holds primitives (group by
    // group in the store's textures when textured) and presents.
    void Frame(TVertexBuffer_array& buffers, bool textured, double x, double height, double z, double distance)
    {
        Look(D3DXVECTOR3(float(x), float(-height - distance), float(z)),
             D3DXVECTOR3(float(x), float(-height), float(z)), D3DXVECTOR3(0, 0, 1));
        Frame(buffers, textured);
    }
    static void Frame(TVertexBuffer_array& buffers, bool textured)
    {
        D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        D3DDevice->BeginScene();
        D3DDevice->SetTexture(0, nullptr);
        for (int i = 0; i < buffers.Count(); ++i) {
            Tvbuffer& b = buffers[i];
            if (b.PrimitiveCount == 0) continue;
            D3DDevice->SetVertexShader(b.VertexFormat);
            UINT start = 0;
            for (int g = 0; g < (textured ? b.GroupCount : 1); ++g) {
                if (textured) TextureBuffer->Select(b.GroupTextures[size_t(g)]);
                D3DDevice->SetTexture(0, textured ? TextureBuffer->GetCurrentTexture() : nullptr);
                const UINT n = textured ? UINT(b.GroupPrimitives[size_t(g)]) : b.PrimitiveCount;
                DrawPieces(b, start, n, [&](IDirect3DVertexBuffer8* piece, UINT from, UINT primitives) {
                    D3DDevice->SetStreamSource(0, piece, UINT(b.Stride));
                    EXPECT_EQ(D3DDevice->DrawPrimitive(D3DPRIMITIVETYPE(b.PrimitiveType), from, primitives), D3D_OK);
                });
                start += 3 * n;
            }
        }
        D3DDevice->EndScene();
        ASSERT_EQ(D3DDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    uint32_t PixelAt(const TOffscreenHost& host, double x, double height, double z) const
    {
        D3DXMATRIX m;
        D3DXMatrixMultiply(&m, &view, &projection);
        const D3DXVECTOR3 p(float(x), float(-height), float(z));
        D3DXVECTOR4 c;
        D3DXVec3Transform(&c, &p, &m);
        return host.Pixel(int((c.x / c.w + 1) / 2 * host.ClientWidth()),
                          int((1 - c.y / c.w) / 2 * host.ClientHeight()));
    }
};

// A frame pixel (0xAARRGGBB) opaque and within `tolerance` of each channel of rgb (0xRRGGBB).
inline ::testing::AssertionResult Colour(uint32_t pixel, uint32_t rgb, int tolerance = 3)
{
    for (int shift : {0, 8, 16})
        if (std::abs(int(pixel >> shift & 0xFF) - int(rgb >> shift & 0xFF)) > tolerance || pixel >> 24 != 0xFF)
            return ::testing::AssertionFailure() << std::hex << pixel << " is not " << rgb;
    return ::testing::AssertionSuccess();
}

// A bitmap of one colour.
inline std::unique_ptr<TBitmap> Solid(int w, int h, TPixelFormat format, TColor colour)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(format);
    b->SetSize(w, h);
    b->Canvas().Brush.Color = colour;
    b->Canvas().FillRect(Rect(0, 0, w, h));
    return b;
}

// Texel (x, y) of a texture of the program's store as the device holds it.
inline uint32_t Texel(int32_t id, int x, int y, int bytes = 2)
{
    IDirect3DTexture8* t = TextureBuffer->Find(id)->Texture.Get();
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    uint32_t v = 0;
    std::memcpy(&v, static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * bytes, size_t(bytes));
    t->UnlockRect(0);
    return v;
}

// The vertices of one list (of all lists for -1) in sorted order: list,
// texture id, then emission; or in emission order (nothing sorted or
// cleared since the start).
inline std::vector<txgl_vertex> ListVertices(TxGL& gl, int list = -1)
{
    gl.Vertices.Sort();
    std::vector<txgl_vertex> out;
    for (int i = 0; i < gl.Vertices.Count(); ++i) {
        const txgl_vertex* v = gl.Vertices.GetByIndex(i);
        if (v && (list < 0 || v->list == list)) out.push_back(*v);
    }
    return out;
}
inline std::vector<txgl_vertex> Emitted(TxGL& gl)
{
    std::vector<txgl_vertex> out;
    for (int i = 0; i < gl.Vertices.Count(); ++i) out.push_back(*gl.Vertices.GetByIndex(i));
    return out;
}

inline ::testing::AssertionResult NearPoint(const txgl_vertex& v, double x, double y, double z, double eps = 1e-4)
{
    if (std::abs(v.x - x) <= eps && std::abs(v.y - y) <= eps && std::abs(v.z - z) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "vertex at (" << v.x << ", " << v.y << ", " << v.z << "), expected (" << x
                                         << ", " << y << ", " << z << ")";
}

// Red in the low byte, as project colours are written.
inline uint32_t ColorOf(const txgl_vertex& v) { return uint32_t(v.r) | uint32_t(v.g) << 8 | uint32_t(v.b) << 16; }

inline tpick_tag TagOf(const txgl_vertex& v)
{
    tpick_tag t;
    std::memcpy(&t, v.tag.data(), 8);
    return t;
}

// The vertices whose tags name the kind, and the room and element when given.
inline std::vector<txgl_vertex> Tagged(const std::vector<txgl_vertex>& all, int kind, int room = -1, int element = -1)
{
    std::vector<txgl_vertex> out;
    for (const auto& v : all)
        if (TagOf(v).kind == kind && (room < 0 || TagOf(v).room == room) &&
            (element < 0 || TagOf(v).element == element))
            out.push_back(v);
    return out;
}

// A project without rooms and without a player start; rooms are added with
// the named steps of Room(), every sector flat.
struct TTestProject : tcuarto_list {
    struct TRoomSteps {
        tcuarto& room;
        tcuarto_list& p;
        int n;
        TRoomSteps& At(int x, int z, int y = 0)
        {
            room.x = x;
            room.z = z;
            room.y = y;
            return *this;
        }
        TRoomSteps& Height(int h)
        {
            room.height = uint16_t(h);
            return *this;
        }
        // A fresh grid of flat sectors.
        TRoomSteps& Size(int columns, int rows)
        {
            room.columns = uint16_t(columns);
            room.rows = uint16_t(rows);
            InitRoomSectors(p, uint8_t(n));
            for (int i = 1; i <= columns; ++i)
                for (int j = 1; j <= rows; ++j) room.sectors[i][j].floorBase = 0;
            return *this;
        }
    };
    TTestProject()
    {
        ResetProject(*this);
        playerRoom = 0;
    }
    // Appends a room of one sector at the origin, four units high.
    TRoomSteps Room()
    {
        if (int(rooms.size()) <= roomCount + 1) rooms.resize(size_t(roomCount) + 2);
        ++roomCount;
        return TRoomSteps{rooms[roomCount], *this, roomCount}.Height(4).Size(1, 1);
    }
    tsector& At(int room, int column, int row) { return rooms[size_t(room)].sectors[column][row]; }
};

// A level written by the level writer and read back, with its meshes.
struct TLevelMeshes {
    std::unique_ptr<Ttrlevel> level;
    Tmesh_list meshes;

    void Load(const TLevelDesc& desc)
    {
        TempDir dir;
        const std::string name = dir.file("level" + LevelFileExtension(desc.version_code));
        SaveLevelFile(name, desc);
        level = std::make_unique<Ttrlevel>();
        EXPECT_EQ(level->LoadFromFile(name), LEVEL_LOADED);
        BuildMeshList(meshes, *level);
    }
};

// A triangle mesh whose corners lie one view unit (at scale 0.1) along the
// view's x, y and z axes: level (1000, 0, 0), (0, -1000, 0), (0, 0, -1000).
inline TMeshDesc AxisTriangle(uint16_t texture)
{
    TMeshDesc m;
    m.vertices = {{1000, 0, 0}, {0, -1000, 0}, {0, 0, -1000}};
    m.normals.resize(3);
    m.textured_triangles.push_back({{0, 1, 2, 0}, texture, 0});
    return m;
}

// A square object texture of 64 pixels at (0, 0) on a tile.
inline tobject_texture SquareTexture(uint16_t tile)
{
    return MakeObjectTexture(
        tile, {tobject_texture_corner{1, 0, 1, 0}, {255, 63, 1, 0}, {255, 63, 255, 63}, {1, 0, 255, 63}});
}
