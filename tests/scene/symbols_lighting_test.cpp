// Symbols of the project's objects (where they stand, their colours,
// textures and tags) and room lighting (ambient colour, light rings and
// levels, blend modes, the older games' white light, shadows).
#include <cmath>
#include <map>
#include <tuple>

#include "display/colour_utils.h"
#include "support/view_fixture.h"

namespace {

// Room 1 at x 10, z 20, y 2, 4 columns by 3 rows, six units high; its
// sector (2, 3) spans x 11..12 and z -22..-23, its highest floor corner 1.5
// up: symbols there stand at height 3.5.
class Symbols : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        project.Room().At(10, 20, 2).Size(4, 3).Height(6);
        project.Room().Size(2, 2);
        project.At(1, 2, 3).floorBase = 1;
        project.At(1, 2, 3).floorZFall = 2;
        project.currentRoom = 1;
        scene.Project = &project;
        scene.GL.LoadIdentity();
    }
    std::vector<txgl_vertex> Element(int kind, int room, int element)
    {
        return Tagged(ListVertices(scene.GL, 0), kind, room, element);
    }
    // A box of side 0.2 standing with its corner at (x, h, z) in the colour, in the symbol texture.
    static void ExpectBox(const std::vector<txgl_vertex>& v, double x, double h, double z, uint32_t colour,
                          size_t count = 36)
    {
        ASSERT_EQ(v.size(), count);
        double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
        for (size_t i = 0; i < 36; ++i) {
            const double c[3] = {v[i].x, -v[i].y, v[i].z};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], c[k]);
                hi[k] = std::max(hi[k], c[k]);
            }
        }
        EXPECT_EQ(ColorOf(v[0]), colour) << std::hex << ColorOf(v[0]);
        EXPECT_EQ(v[0].texture, COLORED_TEXTURE);
        EXPECT_TRUE(std::abs(lo[0] - x) + std::abs(hi[0] - x - 0.2) + std::abs(lo[1] - h) + std::abs(hi[1] - h - 0.2) +
                        std::abs(lo[2] - z + 0.2) + std::abs(hi[2] - z) <
                    1e-4)
            << "box from (" << lo[0] << ", " << lo[1] << ", " << lo[2] << ") to (" << hi[0] << ", " << hi[1] << ", "
            << hi[2] << ")";
    }

    TTestProject project;
    tr_scene scene;
};

// A one-sector room at the origin with one light on its floor in the
// middle of the sector, at (0.5, 0, -0.5), red, reaching four rings.
class Lighting : public ::testing::Test {
protected:
    void SetUp() override
    {
        project.Room();
        room().ambientIntensity = 10;
        room().lightCount = 1;
        room().lights[1] = troom_light{1, 1, 0, 0x0000FF, 0, 3, 0, 0, 1, 0};
        scene.Project = &project;
        scene.GL.LoadIdentity();
        scene.GL.SetList(2);
    }
    tcuarto& room() { return project.rooms[1]; }
    // A tiny triangle whose first corner lies `d` from the light along one of
    // six directions, so that none shades another.
    void Probe(int direction, double d)
    {
        static const float dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}};
        const float* u = dirs[direction];
        const float x = 0.5f + float(d) * u[0], y = float(d) * u[1], z = -0.5f + float(d) * u[2], e = 0.01f;
        scene.GL.Tri({x, -y, z}, {x + e * u[1] + e * u[2], -(y + e * u[0]), z + e * u[0]},
                     {x + e * u[2], -(y + e * u[2] + e * u[0]), z + e * u[1]});
    }
    // The colours of the probes' first corners after lighting the room.
    std::vector<uint32_t> Lit()
    {
        scene.LightRoom(1, 2);
        std::vector<uint32_t> out;
        const auto v = ListVertices(scene.GL, 2);
        for (size_t i = 0; i < v.size(); i += 3) out.push_back(ColorOf(v[i]));
        return out;
    }

    TTestProject project;
    tr_scene scene;
};

uint32_t Shade(uint32_t colour, int level)
{
    ShadeRGB(colour, level);
    return colour;
}

}  // namespace

TEST_F(Symbols, PlayerStartLightsCamerasAndSounds)
{
    project.playerRoom = 1;
    project.playerColumn = 2;
    project.playerRow = 3;
    scene.BuildPlayerStart();
    ExpectBox(Element(TAG_PLAYER_START, 0, 0), 11.4, 3.5, -22.4, 0x0000FF);
    scene.GL.ClearList(-1);
    // outside the grid: on the nearest sector's floor
    project.playerColumn = 9;
    project.playerRow = -1;
    scene.BuildPlayerStart();
    ExpectBox(ListVertices(scene.GL, 0), 18.4, 2, -18.4, 0x0000FF);
    scene.GL.ClearList(-1);
    project.playerRoom = 3;  // no such room: not drawn
    scene.BuildPlayerStart();

    tcuarto& r = project.rooms[1];
    r.lightCount = 2;
    // a unit above the floor
    r.lights[1].column = 2;
    r.lights[1].row = 3;
    r.lights[1].height = 4;
    // left of the room, on column 1's floor
    r.lights[2].column = 0;
    r.lights[2].row = 3;
    project.At(1, 1, 3).floorBase = 2;
    r.selectedLight = 2;
    project.cameraCount = 3;
    project.cameras[1] = tcamera{0, 1, 2, 3, 8, {}};  // kind, room, column, row, height
    project.cameras[2] = tcamera{0, 2, 1, 1, 0, {}};
    project.cameras[3] = tcamera{1, 1, 1, 1, 0, {}};
    project.selectedCamera = 3;
    project.soundSourceCount = 2;
    project.soundSources[1] = tsound_source{1, 2, 3, 4, {}};
    project.soundSources[2] = tsound_source{1, 1, 1, 0, {}};
    project.selectedSoundSource = 2;
    for (int room : {1, 3, 0}) {
        scene.BuildRoomLights(room);
        scene.BuildCameras(room);
        scene.BuildSoundEntries(room);
    }
    EXPECT_EQ(scene.GL.Counts[0], 6 * 36);
    ExpectBox(Element(TAG_LIGHT, 1, 1), 11.4, 4.5, -22.4, 0xFFFFFF);
    ExpectBox(Element(TAG_LIGHT, 1, 2), 9.4, 4, -22.4, 0x00FFFF);
    ExpectBox(Element(TAG_CAMERA, 1, 1), 11.4, 5.5, -22.4, 0x00C000);  // cameras green
    ExpectBox(Element(TAG_CAMERA, 1, 3), 10.4, 2, -20.4, 0xF80000);    // sinks blue
    ExpectBox(Element(TAG_SOUND, 1, 1), 11.4, 4.5, -22.4, 0xFF00FF);
    ExpectBox(Element(TAG_SOUND, 1, 2), 10.4, 2, -20.4, 0x7F007F);
    scene.EditMode = 4;  // in the camera edit mode the selected one is at half brightness
    project.selectedCamera = 2;
    scene.GL.ClearList(-1);
    scene.BuildCameras(2);
    ExpectBox(Element(TAG_CAMERA, 2, 2), 0.4, 0, -0.4, 0x006000);
    // Counts beyond the tables are clipped: every empty slot names room 0,
    // but the 25 lights all belong to the room.
    project.cameraCount = project.soundSourceCount = project.flybyCount = 500;
    r.lightCount = 500;
    scene.GL.ClearList(-1);
    scene.BuildCameras(1);
    scene.BuildSoundEntries(1);
    scene.BuildFlybyCameras(1);
    scene.BuildRoomLights(1);
    EXPECT_EQ(scene.GL.Counts[0], (25 + 2 + 2) * 36);
    OpenView();  // with the ranges shown, a sphere of the range around each light
    scene.ShowLightRanges = 1;
    r.lightCount = 1;
    r.lights[1].range = 3;
    scene.GL.ClearList(-1);
    scene.BuildRoomLights(1);
    const auto v = ListVertices(scene.GL, 0);
    ASSERT_EQ(v.size(), 36u + 2 * 12 * 11 * 3);
    for (size_t i = 36; i < v.size(); ++i)
        EXPECT_NEAR(std::hypot(v[i].x - 11.5, v[i].y + 4.5, v[i].z + 22.5), 3.0, 1e-4) << i;
}

TEST_F(Symbols, FlybyCamerasAndBoxVolumes)
{
    project.flybyCount = 2;
    project.flybyCameras[1] = tflyby_camera{1, 2, 3, 4, 0, 0, {}};  // room, column, row, height, angle 1 and 2
    project.flybyCameras[2] = tflyby_camera{2, 1, 1, 0, 0, 0, {}};
    // Turned about the vertical by the second angle, then about x by the
    // first: with both at 90 degrees the pointer's base lies a unit beyond its apex along -x.
    project.flybyCameras[1].angle1 = project.flybyCameras[1].angle2 = 90;
    project.selectedFlyby = 1;
    scene.BuildFlybyCameras(1);
    const auto v = Element(TAG_FLYBY, 1, 1);
    ExpectBox(v, 11.3, 4.4, -22.4, 0x0000FF, 36 + 18);
    D3DXVECTOR3 c(0, 0, 0);
    for (size_t i : {48, 49, 50, 51}) c = c + D3DXVECTOR3(v[i].x, v[i].y, v[i].z) * 0.25f;
    EXPECT_TRUE(NearPoint(v[36], 11.4, -4.5, -22.4));
    EXPECT_LT(std::abs(c.x - 10.4) + std::abs(c.y + 4.5) + std::abs(c.z + 22.4), 1e-5)
        << "base centre (" << c.x << ", " << c.y << ", " << c.z << ")";
    EXPECT_EQ(int(scene.GL.Depth), 0);

    tcuarto& r = project.rooms[1];
    r.boxCount = 7;
    for (int i = 1; i <= 7; ++i)
        r.boxes[size_t(i)] = troom_box{{uint8_t(i - 1), 0}, 1, 2, 3, 3, 2};  // the type in byte 0
    r.selectedBox = 2;
    scene.GL.ClearList(-1);
    scene.BuildRoomBoxes();
    const double X = 11, Z = -22, y = 4.5, a = 2, b = 3, T = 7.999, G = 3.501;
    const double want[6][4][3] = {
        {{X, y + b, Z + 0.001}, {X + a, y + b, Z + 0.001}, {X + a, y, Z + 0.001}, {X, y, Z + 0.001}},
        {{X + a, y + b, Z - 1.001}, {X, y + b, Z - 1.001}, {X, y, Z - 1.001}, {X + a, y, Z - 1.001}},
        {{X + 1.001, y + b, Z}, {X + 1.001, y + b, Z - a}, {X + 1.001, y, Z - a}, {X + 1.001, y, Z}},
        {{X - 0.001, y + b, Z - 1}, {X - 0.001, y + b, Z - 1 + a}, {X - 0.001, y, Z - 1 + a}, {X - 0.001, y, Z - 1}},
        {{X, T, Z - 1 + b}, {X + a, T, Z - 1 + b}, {X + a, T, Z - 1}, {X, T, Z - 1}},
        {{X, G, Z - 1}, {X + a, G, Z - 1}, {X + a, G, Z - 1 + b}, {X, G, Z - 1 + b}},
    };
    EXPECT_EQ(scene.GL.Counts[0], 6 * 6);  // type 6 draws nothing
    for (int type = 0; type < 6; ++type) {
        const auto e = Element(TAG_BOX, 1, type + 1);
        ASSERT_EQ(e.size(), 6u);
        const txgl_vertex* q[4] = {&e[2], &e[0], &e[1], &e[3]};  // a quad emits V2, V3, V1, V4, V1, V3
        for (int k = 0; k < 4; ++k)
            EXPECT_TRUE(NearPoint(*q[k], want[type][k][0], -want[type][k][1], want[type][k][2])) << type << k;
        EXPECT_EQ(ColorOf(e[0]), type == 1 ? 0x008080u : 0x00FFFFu) << type;
        EXPECT_EQ(e[0].texture, COLORED_TEXTURE) << type;
    }
    // Counts past the table's ten are not read past it (the three empty
    // slots are boxes of type 0); only the current room has them.
    r.boxCount = 200;
    scene.GL.ClearList(-1);
    scene.BuildRoomBoxes();
    project.currentRoom = 2;
    scene.BuildRoomBoxes();
    EXPECT_EQ(scene.GL.Counts[0], 9 * 6);
}

TEST(Shadows, TheTrianglesOfTheVertexListInTheWay)
{
    // A triangle of list 2 at z 0 facing a light at z -1, one of list 3 at z 0.5.
    TxGL gl;
    gl.LoadIdentity();
    gl.SetList(2);
    gl.Tri({-1, 1, 0}, {0, -1, 0}, {1, 1, 0});  // stored at (-1, -1, 0), (0, 1, 0), (1, -1, 0)
    gl.SetList(3);
    gl.Tri({-1, 1, 0.5f}, {0, -1, 0.5f}, {1, 1, 0.5f});
    gl.Vertices.Sort();
    // Behind it; before it; its own corner; lit from behind; the other list's triangle, then in its own list.
    const std::tuple<int, float, D3DXVECTOR3, int> rows[] = {{2, -1, {0, 0, 1}, 0},    {2, -1, {0, 0, -0.5f}, 1},
                                                             {2, -1, {-1, -1, 0}, 1},  {2, 1, {0, 0, -1}, 1},
                                                             {2, 0.25f, {0, 0, 1}, 1}, {3, 0.25f, {0, 0, 1}, 0}};
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& [list, light, vertex, lit] = rows[i];
        EXPECT_EQ(
            VertexShadowed(gl, list, gl.Vertices.Locate(IntToStrWidth(list, 6)), D3DXVECTOR3(0, 0, light), vertex), lit)
            << i;
    }
}

TEST_F(Lighting, AmbientRingsLevelsAndBlends)
{
    room().ambientColor = 0x204080;
    room().lightCount = 0;
    Probe(0, 0.5);
    Ttrlevel level;
    const struct {
        int brightness, code;
        uint32_t colour;
    } ambients[] = {{0, 0, Shade(0x204080, 10)}, {4, 0, Shade(0x204080, 6)},
                    {40, 0, Shade(0x204080, 0)},  // brightness taken off
                    {40, 1, Shade(0xFFFFFF, 0)}, {40, 3, Shade(0xFFFFFF, 0)},
                    {40, 4, Shade(0x204080, 0)}};  // first two games: white
    for (const auto& a : ambients) {
        scene.Brightness = int16_t(a.brightness);
        level.version_code = a.code;
        scene.Level = a.code ? &level : nullptr;
        EXPECT_EQ(Lit(), std::vector<uint32_t>{a.colour}) << a.brightness << " " << a.code;
    }
    scene.Level = nullptr;
    scene.Brightness = 0;

    // Far level 9, near 8, a quarter level per ring: rings 1 and 2 round to 8
    // (8.5 to even), rings 3 and 4 to 9; beyond the range the ambient stays.
    room().lightCount = 1;
    room().ambientColor = 0;
    const double distances[5] = {1.1, 1.2, 2.2, 3.5, 4.5};
    for (int i = 0; i < 5; ++i) Probe(i + 1, distances[i]);
    const uint32_t red8 = Shade(0xFF, 8), red9 = Shade(0xFF, 9);
    EXPECT_EQ(Lit(), (std::vector<uint32_t>{red8, red8, red8, red9, red9, 0}));
    // far 7, near 2, step 2.5
    room().lights[1].intensity = 4;
    room().lights[1].range = 1;
    scene.Brightness = 2;
    EXPECT_EQ(Lit()[0], Shade(0xFF, 4));  // 2 + 2.5 rounds to even
    // levels clamp to 0..31
    room().lights[1].intensity = 100;
    room().lights[1].range = 9;
    EXPECT_EQ(Lit().at(0), Shade(0xFF, 1));
    EXPECT_EQ(Lit().at(3), Shade(0xFF, 2));
    scene.Brightness = -30;  // near and far levels 38 and 39, clamped to 31
    room().lights[1].intensity = 0;
    room().lights[1].range = 1;
    EXPECT_EQ(Lit().at(0), Shade(0xFF, 31));
    scene.Brightness = 0;
    room().lights[1].intensity = 0;
    room().lights[1].range = 3;

    room().ambientColor = 0x305070;
    const uint32_t ambient = Shade(0x305070, 10), light = Shade(0xFF, 8);
    auto blend = [](uint32_t a, uint32_t b, uint16_t mode) {
        int32_t r = a & 0xFF, g = a >> 8 & 0xFF, bl = a >> 16 & 0xFF;
        BlendRGB(r, g, bl, uint8_t(b), uint8_t(b >> 8), uint8_t(b >> 16), mode);
        return uint32_t(r | g << 8 | bl << 16);
    };
    const std::pair<int8_t, uint16_t> modes[] = {{0, 0}, {5, 0}, {-1, 0xFFFF}, {-2, 0xFFFE}};
    for (const auto& [mode, blendMode] : modes) {
        room().lights[1].blendMode = mode;
        EXPECT_EQ(Lit()[0], blend(ambient, light, blendMode)) << int(mode);
    }
    room().lights[1].intensity = -5;  // replaces, at the ambient level less the intensity
    EXPECT_EQ(Lit()[0], Shade(0xFF, 15));
    level.version_code = 3;  // white light that replaces
    scene.Level = &level;
    room().lights[1].intensity = 0;
    EXPECT_EQ(Lit()[0], Shade(0xFFFFFF, 8));
}

TEST_F(Lighting, WhichLightsShineAndWhereTheyStand)
{
    Probe(0, 0.5);
    room().lightCount = 2;
    room().lights[2] = room().lights[1];
    room().lights[2].color = 0x00FF00;
    room().lights[1].enabled = 0;
    EXPECT_EQ(Lit()[0], Shade(0x00FF00, 8));
    room().lights[1].enabled = 1;
    scene.SelectedLightOnly = 1;
    room().selectedLight = 1;
    EXPECT_EQ(Lit()[0], Shade(0x0000FF, 8));
    room().selectedLight = 0;
    EXPECT_EQ(Lit()[0], 0u);
    scene.SelectedLightOnly = 0;
    room().lights[1].range = -1;  // no range reaches nothing
    room().lights[2].range = -128;
    EXPECT_EQ(Lit()[0], 0u);

    // Five sectors in a row, the middle one solid up to the ceiling; a light
    // in the first lights its side of the wall only.
    project = TTestProject();
    project.Room().Size(5, 1);
    room().ambientIntensity = 20;
    room().ambientColor = 0xFFFFFF;
    room().lightCount = 1;
    room().lights[1] = troom_light{1, 1, 4, 0xFFFFFF, 5, 9, 0, 0, 1, 0};
    for (int wall : {4, 0}) {
        project.At(1, 3, 1).floorBase = int8_t(wall);
        scene.GL.ClearList(-1);
        scene.GL.LoadIdentity();
        scene.GL.SetList(2);
        scene.BuildRoomMesh(1);
        scene.LightRoom(1, 2);
        // Per column and slot of the floor part: 1 when some vertex is lit, 2 when some kept the ambient colour.
        std::map<std::pair<int, int>, int> ambient;
        for (const auto& v : ListVertices(scene.GL, 2))
            if (TagOf(v).part == 0)
                ambient[{TagOf(v).column, TagOf(v).slot}] |= 1 << (ColorOf(v) == Shade(0xFFFFFF, 20));
        for (int column = 1; column <= 5; ++column)
            EXPECT_EQ((ambient[{column, 4}]), !wall || column < 3 ? 1 : column == 3 ? 0 : 2) << column << " " << wall;
        if (wall) {
            EXPECT_EQ((ambient[{3, 2}]), 1);  // the wall's lit face
            EXPECT_EQ((ambient[{3, 3}]), 2);  // and its face in the shadow
        }
    }
}
