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
        camera.LookDown(x, h, z, distance, float(width) / float(height));
        TSceneCamera::Frame(scene, false);
    }

    // The pixel where a point of the scene appears.
    uint32_t PixelAt(double x, double h, double z) { return camera.PixelAt(view->host, x, h, z); }

    tcuarto_list project;
    tr_scene scene;
    TSceneCamera camera;
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
    camera.Look(eye, at, up, float(width) / float(height));
    TSceneCamera::Frame(scene, false);
    EXPECT_EQ(PixelAt(1.5, 1, -1), Pixel(0x808080));  // the flagged wall of sector (2, 2)
    EXPECT_EQ(PixelAt(2.5, 1, -1), Pixel(0x3070FF));  // the plain wall of sector (3, 2)
}
