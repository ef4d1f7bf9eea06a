// Symbols of the project's objects: where they stand, their colours,
// textures and tags.
#include <cmath>

#include "scene_fixture.h"

using namespace scene_test;

namespace {

struct Bounds {
    double x0 = 1e9, x1 = -1e9, h0 = 1e9, h1 = -1e9, z0 = 1e9, z1 = -1e9;
};
Bounds BoundsOf(const std::vector<txgl_vertex>& v)
{
    Bounds b;
    for (const auto& p : v) {
        b.x0 = std::min(b.x0, double(p.x));
        b.x1 = std::max(b.x1, double(p.x));
        b.h0 = std::min(b.h0, -double(p.y));
        b.h1 = std::max(b.h1, -double(p.y));
        b.z0 = std::min(b.z0, double(p.z));
        b.z1 = std::max(b.z1, double(p.z));
    }
    return b;
}

// A symbol box of size 0.2 standing with its corner at (x, h, z).
void ExpectBoxAt(const std::vector<txgl_vertex>& v, double x, double h, double z)
{
    ASSERT_EQ(v.size(), 36u);
    const Bounds b = BoundsOf(v);
    EXPECT_NEAR(b.x0, x, 1e-5);
    EXPECT_NEAR(b.x1, x + 0.2, 1e-5);
    EXPECT_NEAR(b.h0, h, 1e-5);
    EXPECT_NEAR(b.h1, h + 0.2, 1e-5);
    EXPECT_NEAR(b.z0, z - 0.2, 1e-5);
    EXPECT_NEAR(b.z1, z, 1e-5);
}

std::vector<txgl_vertex> Element(const std::vector<txgl_vertex>& v, int kind, int room, int element)
{
    return WithTag(v, [=](const tpick_tag& t) { return t.kind == kind && t.room == room && t.element == element; });
}

// Room 1 at x 10, z 20, y 2, 4 columns by 3 rows, six units high. The
// sector in column 2, row 3 spans x 11..12 and z -22..-23 and its highest
// floor corner is 1.5 up: F = 3.5.
class Symbols : public ::testing::Test {
protected:
    void SetUp() override
    {
        EmptyProject(project);
        AddRoom(project, 10, 20, 2, 4, 3, 6);
        AddRoom(project, 0, 0, 0, 2, 2, 4);
        tsector& s = Sector(project, 1, 2, 3);
        s.floorBase = 1;
        s.floorZFall = 2;
        project.currentRoom = 1;
        scene.Project = &project;
        scene.GL.LoadIdentity();
        scene.GL.SetList(7);
    }
    std::vector<txgl_vertex> Built() { return ListVertices(scene.GL, 7); }

    tcuarto_list project;
    tr_scene scene;
};

}  // namespace

TEST_F(Symbols, PlayerStartStandsOnTheHighestCorner)
{
    project.playerRoom = 1;
    project.playerColumn = 2;
    project.playerRow = 3;
    scene.BuildPlayerStart();
    const auto v = Built();
    ExpectBoxAt(v, 11.4, 3.5, -22.4);
    for (const auto& x : v) {
        EXPECT_EQ(ColorOf(x), 0x0000FFu);
        EXPECT_EQ(x.texture, 5002);
        EXPECT_EQ(x.tag, TVertexTag{});
    }
    // Outside the grid it stands on the nearest sector's floor.
    project.playerColumn = 9;
    project.playerRow = -1;
    scene.GL.ClearList(-1);
    scene.BuildPlayerStart();
    ExpectBoxAt(Built(), 18.4, 2, -18.4);
    // In a room that does not exist it is not drawn.
    project.playerRoom = 3;
    scene.GL.ClearList(-1);
    scene.BuildPlayerStart();
    EXPECT_TRUE(Built().empty());
}

TEST_F(Symbols, LightsAndTheSelectedLight)
{
    tcuarto& r = project.rooms[1];
    r.lightCount = 2;
    r.lights[1].column = 2;
    r.lights[1].row = 3;
    r.lights[1].height = 4;
    r.lights[2].column = 0;  // drawn left of the room, on column 1's floor
    r.lights[2].row = 3;
    Sector(project, 1, 1, 3).floorBase = 2;
    r.selectedLight = 2;
    scene.BuildRoomLights(1);
    const auto v = Built();
    ASSERT_EQ(v.size(), 72u);
    const auto first = Element(v, TAG_LIGHT, 1, 1);
    ExpectBoxAt(first, 11.4, 4.5, -22.4);
    EXPECT_EQ(ColorOf(first[0]), 0xFFFFFFu);
    const auto second = Element(v, TAG_LIGHT, 1, 2);
    ExpectBoxAt(second, 9.4, 4, -22.4);
    EXPECT_EQ(ColorOf(second[0]), 0x00FFFFu);
    EXPECT_EQ(second[0].texture, 5002);

    scene.GL.ClearList(-1);
    scene.BuildRoomLights(3);
    scene.BuildRoomLights(0);
    EXPECT_TRUE(Built().empty());
}

TEST_F(Symbols, CamerasAndSinks)
{
    project.cameraCount = 3;
    project.cameras[1] = tcamera{0, 1, 2, 3, 8, {}};
    project.cameras[2] = tcamera{0, 2, 1, 1, 0, {}};
    project.cameras[3] = tcamera{1, 1, 1, 1, 0, {}};
    project.selectedCamera = 3;
    scene.BuildCameras(1);
    auto v = Built();
    ASSERT_EQ(v.size(), 72u);
    const auto camera = Element(v, TAG_CAMERA, 1, 1);
    ExpectBoxAt(camera, 11.4, 5.5, -22.4);
    EXPECT_EQ(ColorOf(camera[0]), 0x00C000u);
    const auto sink = Element(v, TAG_CAMERA, 1, 3);
    ExpectBoxAt(sink, 10.4, 2, -20.4);
    EXPECT_EQ(ColorOf(sink[0]), 0xF80000u);
    // In the camera edit mode the selected one is at half brightness.
    scene.EditMode = 4;
    scene.GL.ClearList(-1);
    scene.BuildCameras(1);
    v = Built();
    EXPECT_EQ(ColorOf(Element(v, TAG_CAMERA, 1, 3)[0]), 0x7C0000u);
    project.cameras[3].kind = 0;
    project.selectedCamera = 3;
    scene.GL.ClearList(-1);
    scene.BuildCameras(1);
    EXPECT_EQ(ColorOf(Element(Built(), TAG_CAMERA, 1, 3)[0]), 0x006000u);
    // The camera of room 2 in room 2.
    scene.GL.ClearList(-1);
    scene.BuildCameras(2);
    ExpectBoxAt(Element(Built(), TAG_CAMERA, 2, 2), 0.4, 0, -0.4);
}

TEST_F(Symbols, SoundSources)
{
    project.soundSourceCount = 3;
    project.soundSources[1] = tsound_source{1, 2, 3, 4, {}};
    project.soundSources[2] = tsound_source{1, 1, 1, 0, {}};
    project.soundSources[3] = tsound_source{2, 1, 1, 0, {}};
    project.selectedSoundSource = 2;
    scene.BuildSoundEntries(1);
    const auto v = Built();
    ASSERT_EQ(v.size(), 72u);
    const auto first = Element(v, TAG_SOUND, 1, 1);
    ExpectBoxAt(first, 11.4, 4.5, -22.4);
    EXPECT_EQ(ColorOf(first[0]), 0xFF00FFu);
    EXPECT_EQ(ColorOf(Element(v, TAG_SOUND, 1, 2)[0]), 0x7F007Fu);
}

TEST_F(Symbols, FlybyCamerasWithTheirPointers)
{
    project.flybyCount = 2;
    project.flybyCameras[1] = tflyby_camera{1, 2, 3, 4, 0, 0, {}};
    project.flybyCameras[2] = tflyby_camera{2, 1, 1, 0, 0, 0, {}};
    project.selectedFlyby = 1;
    scene.BuildFlybyCameras(1);
    auto v = Built();
    ASSERT_EQ(v.size(), 36u + 18);
    for (const auto& x : v) {
        EXPECT_EQ(TagOf(x).kind, TAG_FLYBY);
        EXPECT_EQ(TagOf(x).element, 1);
        EXPECT_EQ(ColorOf(x), 0x0000FFu);  // selected: red
    }
    ExpectBoxAt(std::vector<txgl_vertex>(v.begin(), v.begin() + 36), 11.3, 4.4, -22.4);
    // The pointer's apex, then its base one unit further along -z.
    const std::vector<txgl_vertex> pointer(v.begin() + 36, v.end());
    ExpectAt(pointer[0], 11.4, 4.5, -22.4);
    auto baseCentre = [](const std::vector<txgl_vertex>& p) {
        const auto q = QuadCorners(p, 12);
        D3DXVECTOR3 c(0, 0, 0);
        for (const auto& x : q) c = c + D3DXVECTOR3(x.x, x.y, x.z) * 0.25f;
        return c;
    };
    D3DXVECTOR3 c = baseCentre(pointer);
    EXPECT_NEAR(c.x, 11.4, 1e-5);
    EXPECT_NEAR(c.z, -23.4, 1e-5);

    // Turned about the vertical axis by the second angle first, then about
    // the x axis by the first: with both at 90 degrees it points along -x.
    project.flybyCameras[1].angle1 = 90;
    project.flybyCameras[1].angle2 = 90;
    project.selectedFlyby = 2;
    scene.GL.ClearList(-1);
    scene.BuildFlybyCameras(1);
    v = Built();
    EXPECT_EQ(ColorOf(v[0]), 0x00FFFFu);
    c = baseCentre(std::vector<txgl_vertex>(v.begin() + 36, v.end()));
    EXPECT_NEAR(c.x, 10.4, 1e-5);
    EXPECT_NEAR(c.y, -4.5, 1e-5);
    EXPECT_NEAR(c.z, -22.4, 1e-5);
    // The matrix is restored after each pointer.
    EXPECT_EQ(scene.GL.Depth, 0);
}

TEST_F(Symbols, BoxVolumesOfEveryType)
{
    tcuarto& r = project.rooms[1];
    r.boxCount = 7;
    for (int i = 1; i <= 7; ++i) {
        troom_box b{};
        b.unused[0] = uint8_t(i - 1);  // the type
        b.height = 1;
        b.width = 2;
        b.depth = 3;
        b.column = 2;
        b.row = 3;
        r.boxes[size_t(i)] = b;
    }
    r.selectedBox = 2;
    scene.BuildRoomBoxes();
    const auto v = Built();
    ASSERT_EQ(v.size(), 6u * 6);  // type 6 draws nothing
    const double X = 11, Z = -22, y = 4.5, a = 2, b = 3, T = 7.999, G = 3.501;
    const double want[6][4][3] = {
        {{X, y + b, Z + 0.001}, {X + a, y + b, Z + 0.001}, {X + a, y, Z + 0.001}, {X, y, Z + 0.001}},
        {{X + a, y + b, Z - 1.001}, {X, y + b, Z - 1.001}, {X, y, Z - 1.001}, {X + a, y, Z - 1.001}},
        {{X + 1.001, y + b, Z}, {X + 1.001, y + b, Z - a}, {X + 1.001, y, Z - a}, {X + 1.001, y, Z}},
        {{X - 0.001, y + b, Z - 1}, {X - 0.001, y + b, Z - 1 + a}, {X - 0.001, y, Z - 1 + a}, {X - 0.001, y, Z - 1}},
        {{X, T, Z - 1 + b}, {X + a, T, Z - 1 + b}, {X + a, T, Z - 1}, {X, T, Z - 1}},
        {{X, G, Z - 1}, {X + a, G, Z - 1}, {X + a, G, Z - 1 + b}, {X, G, Z - 1 + b}},
    };
    for (int type = 0; type < 6; ++type) {
        const auto e = Element(v, TAG_BOX, 1, type + 1);
        ASSERT_EQ(e.size(), 6u);
        const auto q = QuadCorners(e);
        for (int k = 0; k < 4; ++k) ExpectAt(q[size_t(k)], want[type][k][0], want[type][k][1], want[type][k][2]);
        EXPECT_EQ(ColorOf(e[0]), type == 1 ? 0x008080u : 0x00FFFFu) << type;
        EXPECT_EQ(e[0].texture, 5002);
    }
    // Counts above the table's ten are not read past it (the three empty
    // slots are boxes of type 0); other rooms are not the current room.
    r.boxCount = 200;
    scene.GL.ClearList(-1);
    scene.BuildRoomBoxes();
    EXPECT_EQ(Built().size(), 9u * 6);
    project.currentRoom = 2;
    scene.GL.ClearList(-1);
    scene.BuildRoomBoxes();
    EXPECT_TRUE(Built().empty());
}

TEST_F(Symbols, CountsBeyondTheTablesAreClipped)
{
    project.cameraCount = 500;
    project.soundSourceCount = 500;
    project.flybyCount = 500;
    project.rooms[1].lightCount = 500;
    scene.BuildCameras(1);
    scene.BuildSoundEntries(1);
    scene.BuildFlybyCameras(1);
    scene.BuildRoomLights(1);
    // Every empty slot names room 0, but the 25 lights all belong to the room.
    EXPECT_EQ(Built().size(), 25u * 36);
}

using SymbolsOnDevice = SceneDeviceTest;

TEST_F(SymbolsOnDevice, LightRangeSpheres)
{
    tcuarto_list project;
    EmptyProject(project);
    AddRoom(project, 0, 0, 0, 2, 2, 4);
    tcuarto& r = project.rooms[1];
    r.lightCount = 1;
    r.lights[1].column = 1;
    r.lights[1].row = 1;
    r.lights[1].height = 4;
    r.lights[1].range = 3;
    tr_scene scene;
    scene.Project = &project;
    scene.GL.LoadIdentity();
    scene.ShowLightRanges = 1;
    scene.BuildRoomLights(1);
    const auto v = ListVertices(scene.GL, 0);
    ASSERT_EQ(v.size(), 36u + 2 * 12 * 11 * 3);
    for (size_t i = 36; i < v.size(); ++i) {
        const double dx = v[i].x - 0.5, dy = v[i].y + 1.0, dz = v[i].z + 0.5;
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), 3.0, 1e-4);
        EXPECT_EQ(TagOf(v[i]).kind, TAG_LIGHT);
    }
}
