// A small project drawn through the software device: the scene's buffers
// show the rooms' colours where the rooms stand.
#include "scene_fixture.h"

using namespace scene_test;

namespace {

class SceneRender : public SceneDeviceTest {
protected:
    void SetUp() override
    {
        width = 96;
        height = 96;
        SceneDeviceTest::SetUp();
        // Two 4 x 4 rooms side by side; the second one's floor is deadly.
        EmptyProject(project);
        AddRoom(project, 0, 0, 0, 4, 4, 4);
        AddRoom(project, 4, 0, 0, 4, 4, 4);
        for (int i = 1; i <= 4; ++i)
            for (int j = 1; j <= 4; ++j) Sector(project, 2, i, j).death = 1;
        project.currentRoom = 1;
        project.neighbourRoom = 2;
        scene.Project = &project;
    }

    // Looks at the point (x, height, z) of the scene from `distance` units
    // above it (below it for a negative distance), draws every buffer and
    // presents.
    void Render(double x, double h, double z, double distance)
    {
        // The layer stores heights negated: up is -y.
        const D3DXVECTOR3 at(float(x), float(-h), float(z));
        const D3DXVECTOR3 eye(float(x), float(-h - distance), float(z));
        const D3DXVECTOR3 up(0, 0, 1);
        D3DXMatrixLookAtLH(&view_, &eye, &at, &up);
        D3DXMatrixPerspectiveFovLH(&projection_, 0.7853982f, float(width) / float(height), 0.1f, 1000.0f);
        D3DXMATRIX world;
        D3DXMatrixIdentity(&world);
        D3DDevice->SetTransform(D3DTS_WORLD, &world);
        D3DDevice->SetTransform(D3DTS_VIEW, &view_);
        D3DDevice->SetTransform(D3DTS_PROJECTION, &projection_);
        D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        D3DDevice->BeginScene();
        D3DDevice->SetTexture(0, nullptr);
        for (int i = 0; i < scene.Buffers.Count(); ++i) {
            Tvbuffer& b = scene.Buffers[i];
            if (b.PrimitiveCount == 0) continue;
            D3DDevice->SetStreamSource(0, b.VertexBuffer.Get(), UINT(b.Stride));
            D3DDevice->SetVertexShader(b.VertexFormat);
            D3DDevice->SetRenderState(D3DRS_FILLMODE, DWORD(b.FillMode));
            ASSERT_EQ(D3DDevice->DrawPrimitive(D3DPRIMITIVETYPE(b.PrimitiveType), 0, b.PrimitiveCount), D3D_OK);
        }
        D3DDevice->EndScene();
        ASSERT_EQ(D3DDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }

    // The pixel where a point of the scene appears.
    uint32_t PixelAt(double x, double h, double z)
    {
        D3DXMATRIX m;
        D3DXMatrixMultiply(&m, &view_, &projection_);
        const D3DXVECTOR3 p(float(x), float(-h), float(z));
        D3DXVECTOR4 c;
        D3DXVec3Transform(&c, &p, &m);
        const double sx = (c.x / c.w + 1) / 2 * width, sy = (1 - c.y / c.w) / 2 * height;
        return view->host.Pixel(int(sx), int(sy));
    }

    tcuarto_list project;
    tr_scene scene;
    D3DXMATRIX view_, projection_;
};

constexpr uint32_t Pixel(uint32_t tcolor)
{
    return 0xFF000000u | (tcolor & 0xFF) << 16 | (tcolor & 0xFF00) | (tcolor >> 16 & 0xFF);
}

}  // namespace

TEST_F(SceneRender, FloorsSeenFromAboveCeilingsFromBelow)
{
    scene.Update();
    ASSERT_GT(scene.Buffers[2].PrimitiveCount, 0u);
    ASSERT_GT(scene.Buffers[1].PrimitiveCount, 0u);

    // From above the ceilings turn their backs: the floors show.
    Render(4, 0, -2, 12);
    EXPECT_EQ(PixelAt(2, 0, -2), Pixel(0x3070F5));
    EXPECT_EQ(PixelAt(1, 0, -3), Pixel(0x3070F5));
    EXPECT_EQ(PixelAt(6, 0, -2), Pixel(0x000080));
    EXPECT_EQ(PixelAt(7, 0, -1), Pixel(0x000080));
    EXPECT_EQ(PixelAt(-0.5, 0, -2), 0xFF000000u);  // beside the rooms
    EXPECT_EQ(PixelAt(4, 0, 1), 0xFF000000u);

    // From below, the ceilings.
    Render(4, 4, -2, -12);
    EXPECT_EQ(PixelAt(2, 4, -2), Pixel(0x5094F5));
    EXPECT_EQ(PixelAt(6, 4, -2), Pixel(0x5094F5));
    EXPECT_EQ(PixelAt(8.5, 4, -2), 0xFF000000u);
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(SceneRender, RaisedBlockWallsAndThePlayerStart)
{
    // A raised 2 x 2 block in the middle of room 1 and the player start in
    // the other room: seen from above at a slant, the block's top, its wall
    // towards the eye and the red start box appear.
    for (int i = 2; i <= 3; ++i)
        for (int j = 2; j <= 3; ++j) Sector(project, 1, i, j).floorBase = 2;
    Sector(project, 1, 2, 2).wallFlags[0] = 1;
    project.playerRoom = 2;
    project.playerColumn = 2;
    project.playerRow = 2;
    scene.HideCeilings = 1;
    scene.Update();

    Render(2, 2, -2, 10);
    EXPECT_EQ(PixelAt(2, 2, -2), Pixel(0x3070F5));  // the block's top
    // The player start box, 0.2 units on the floor of room 2's sector (2, 2).
    Render(5.5, 0.2, -1.5, 3);
    EXPECT_EQ(PixelAt(5.5, 0.2, -1.5), Pixel(0x0000FF));
    EXPECT_EQ(PixelAt(5.1, 0, -1.9), Pixel(0x000080));

    // Looking down the block's side 0 wall from in front of it and above:
    // the eye sits over row 1, so the wall faces it.
    const D3DXVECTOR3 at(2.0f, -1.0f, -1.0f), eye(2.0f, -3.0f, 3.0f), up(0, -1, 0);
    D3DXMatrixLookAtLH(&view_, &eye, &at, &up);
    D3DDevice->SetTransform(D3DTS_VIEW, &view_);
    D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    D3DDevice->BeginScene();
    for (int i = 0; i < scene.Buffers.Count(); ++i) {
        Tvbuffer& b = scene.Buffers[i];
        if (b.PrimitiveCount == 0) continue;
        D3DDevice->SetStreamSource(0, b.VertexBuffer.Get(), UINT(b.Stride));
        D3DDevice->SetVertexShader(b.VertexFormat);
        D3DDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, b.PrimitiveCount);
    }
    D3DDevice->EndScene();
    D3DDevice->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(PixelAt(1.5, 1, -1), Pixel(0x808080));  // the flagged wall of sector (2, 2)
    EXPECT_EQ(PixelAt(2.5, 1, -1), Pixel(0x3070FF));  // the plain wall of sector (3, 2)
}
