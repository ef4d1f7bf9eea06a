// Room lighting: the ambient colour, light rings and levels, blend modes,
// the old versions' white light, and shadows.
#include "display/colour_utils.h"
#include "level/trlevel.h"
#include "scene_fixture.h"

using namespace scene_test;

namespace {

struct TRgb {
    int32_t r, g, b;
    bool operator==(const TRgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TRgb& c) { return os << c.r << "," << c.g << "," << c.b; }

TRgb Shade(uint32_t color, int level)
{
    uint8_t r = uint8_t(color), g = uint8_t(color >> 8), b = uint8_t(color >> 16);
    ShadeRGB3(r, g, b, level);
    return {r, g, b};
}
TRgb Blend(TRgb base, TRgb light, uint16_t mode)
{
    BlendRGB(base.r, base.g, base.b, uint8_t(light.r), uint8_t(light.g), uint8_t(light.b), mode);
    return base;
}
TRgb ColourOf(const txgl_vertex& v) { return {v.r, v.g, v.b}; }

// A one-sector room at the origin, four units high, with one light at its
// floor in the middle of the sector: the light stands at (0.5, 0, -0.5).
class Lighting : public ::testing::Test {
protected:
    void SetUp() override
    {
        EmptyProject(project);
        AddRoom(project, 0, 0, 0, 1, 1, 4);
        room().ambientIntensity = 10;
        room().ambientColor = 0;
        room().lightCount = 1;
        troom_light& l = room().lights[1];
        l.column = 1;
        l.row = 1;
        l.color = 0x0000FF;
        l.intensity = 0;
        l.range = 3;  // four rings
        l.enabled = 1;
        scene.Project = &project;
        scene.GL.LoadIdentity();
        scene.GL.SetList(2);
    }
    tcuarto& room() { return project.rooms[1]; }

    // A tiny triangle whose first corner lies at distance d from the light
    // along one of six directions (one triangle per direction, so that none
    // shades another). Returns nothing; corners are found by FirstCorners.
    void Probe(int direction, double d)
    {
        static const float dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}};
        const float* u = dirs[direction];
        const float x = 0.5f + float(d) * u[0], y = float(d) * u[1], z = -0.5f + float(d) * u[2];
        const float e = 0.01f;
        // Stored positions are (x, -y, z): hand the layer the negated y.
        scene.GL.Tri({x, -y, z}, {x + e * u[1] + e * u[2], -(y + e * u[0]), z + e * u[0]},
                     {x + e * u[2], -(y + e * u[2] + e * u[0]), z + e * u[1]});
    }
    // The first corner of every probe, in emission order.
    std::vector<txgl_vertex> FirstCorners()
    {
        const auto v = ListVertices(scene.GL, 2);
        std::vector<txgl_vertex> out;
        for (size_t i = 0; i < v.size(); i += 3) out.push_back(v[i]);
        return out;
    }

    tcuarto_list project;
    tr_scene scene;
};

}  // namespace

TEST(Shadows, VertexShadowedByTheTrianglesOfItsList)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.SetList(2);
    // Stored at (-1, -1, 0), (0, 1, 0), (1, -1, 0): facing a light at z -1.
    gl.Tri({-1, 1, 0}, {0, -1, 0}, {1, 1, 0});
    gl.Tri({5, 0, 1}, {5, 1, 1}, {6, 0, 1});
    gl.SetList(3);
    gl.Tri({-1, 1, 0.5f}, {0, -1, 0.5f}, {1, 1, 0.5f});  // another list
    gl.Vertices.Sort();
    const int32_t first = gl.Vertices.Locate(IntToStrWidth(2, 6));
    const D3DXVECTOR3 light(0, 0, -1);
    EXPECT_EQ(VertexShadowed(gl, 2, first, light, D3DXVECTOR3(0, 0, 1)), 0);
    EXPECT_EQ(VertexShadowed(gl, 2, first, light, D3DXVECTOR3(0, 0, -0.5f)), 1);  // before the triangle
    // A corner of the only triangle in the way stays lit.
    EXPECT_EQ(VertexShadowed(gl, 2, first, light, D3DXVECTOR3(-1, -1, 0)), 1);
    // Seen from behind, a triangle casts no shadow.
    EXPECT_EQ(VertexShadowed(gl, 2, first, D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, 0, -1)), 1);
    // The triangle of list 3 does not count for list 2, but does for list 3.
    EXPECT_EQ(VertexShadowed(gl, 2, first, D3DXVECTOR3(0, 0, 0.25f), D3DXVECTOR3(0, 0, 1)), 1);
    const int32_t first3 = gl.Vertices.Locate(IntToStrWidth(3, 6));
    EXPECT_EQ(VertexShadowed(gl, 3, first3, D3DXVECTOR3(0, 0, 0.25f), D3DXVECTOR3(0, 0, 1)), 0);
}

TEST_F(Lighting, AmbientColourAndLevel)
{
    room().lightCount = 0;
    room().ambientColor = 0x204080;
    scene.GL.Box(0, 0, 0, 1, 1);
    scene.LightRoom(1, 2);
    for (const auto& v : ListVertices(scene.GL, 2)) EXPECT_EQ(ColourOf(v), Shade(0x204080, 10));
    // Brightness is taken off the level, which does not go below 0.
    scene.Brightness = 4;
    scene.LightRoom(1, 2);
    EXPECT_EQ(ColourOf(ListVertices(scene.GL, 2)[0]), Shade(0x204080, 6));
    scene.Brightness = 40;
    scene.LightRoom(1, 2);
    EXPECT_EQ(ColourOf(ListVertices(scene.GL, 2)[0]), Shade(0x204080, 0));
    // Older games light in white.
    Ttrlevel level;
    scene.Level = &level;
    for (int code = 0; code <= 7; ++code) {
        level.version_code = code;
        scene.LightRoom(1, 2);
        const uint32_t expected = code >= 1 && code <= 3 ? 0xFFFFFF : 0x204080;
        EXPECT_EQ(ColourOf(ListVertices(scene.GL, 2)[0]), Shade(expected, 0)) << code;
    }
}

TEST_F(Lighting, RingsAndLevels)
{
    const double distances[6] = {0.5, 1.1, 1.2, 2.2, 3.5, 4.5};
    for (int i = 0; i < 6; ++i) Probe(i, distances[i]);
    scene.LightRoom(1, 2);
    // Far level 9, near level 8, a quarter level per ring: rings 1 and 2
    // round to 8 (8.5 to even), rings 3 and 4 to 9; beyond the range the
    // ambient colour stays.
    const int levels[6] = {8, 8, 8, 9, 9, -1};
    const auto corners = FirstCorners();
    ASSERT_EQ(corners.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        const TRgb want = levels[i] < 0 ? TRgb{0, 0, 0} : Shade(0x0000FF, levels[i]);
        EXPECT_EQ(ColourOf(corners[size_t(i)]), want) << distances[i];
    }
}

TEST_F(Lighting, LevelsFollowIntensityAndBrightness)
{
    Probe(0, 0.5);
    Probe(1, 2.5);
    room().lights[1].intensity = 4;  // near level a - 1 - 4 - 1
    room().lights[1].range = 1;      // two rings
    scene.Brightness = 2;            // a = 8: far 7, near 2, step 2.5
    scene.LightRoom(1, 2);
    auto corners = FirstCorners();
    EXPECT_EQ(ColourOf(corners[0]), Shade(0x0000FF, 4));  // 2 + 2.5 rounds to even
    EXPECT_EQ(ColourOf(corners[1]), TRgb({0, 0, 0}));

    // Levels clamp to 0..31.
    room().lights[1].intensity = 100;
    room().lights[1].range = 9;
    scene.LightRoom(1, 2);
    corners = FirstCorners();
    EXPECT_EQ(ColourOf(corners[0]), Shade(0x0000FF, 1));  // 0 + 7 / 10, rounded
    EXPECT_EQ(ColourOf(corners[1]), Shade(0x0000FF, 2));  // ring 3: 2.1
}

TEST_F(Lighting, BlendModes)
{
    room().ambientColor = 0x305070;
    Probe(0, 0.5);
    const TRgb ambient = Shade(0x305070, 10);
    const TRgb light = Shade(0x0000FF, 8);
    const struct {
        int8_t mode;
        uint16_t blend;
    } cases[] = {{0, 0}, {5, 0}, {-1, 0xFFFF}, {-2, 0xFFFE}};
    for (const auto& c : cases) {
        room().lights[1].blendMode = c.mode;
        scene.LightRoom(1, 2);
        EXPECT_EQ(ColourOf(FirstCorners()[0]), Blend(ambient, light, c.blend)) << int(c.mode);
    }
    // A negative intensity replaces, at the ambient level less the intensity.
    room().lights[1].blendMode = -2;
    room().lights[1].intensity = -5;
    scene.LightRoom(1, 2);
    EXPECT_EQ(ColourOf(FirstCorners()[0]), Shade(0x0000FF, 15));
    // Older games: white light that replaces.
    Ttrlevel level;
    level.version_code = 3;
    scene.Level = &level;
    room().lights[1].intensity = 0;
    scene.LightRoom(1, 2);
    EXPECT_EQ(ColourOf(FirstCorners()[0]), Shade(0xFFFFFF, 8));
}

TEST_F(Lighting, WhichLightsShine)
{
    Probe(0, 0.5);
    room().lightCount = 2;
    room().lights[2] = room().lights[1];
    room().lights[2].color = 0x00FF00;
    room().lights[1].enabled = 0;
    scene.LightRoom(1, 2);
    EXPECT_EQ(ColourOf(FirstCorners()[0]), Shade(0x00FF00, 8));
    room().lights[1].enabled = 1;
    scene.SelectedLightOnly = 1;
    room().selectedLight = 1;
    scene.LightRoom(1, 2);
    EXPECT_EQ(ColourOf(FirstCorners()[0]), Shade(0x0000FF, 8));
    room().selectedLight = 0;
    scene.LightRoom(1, 2);
    EXPECT_EQ(ColourOf(FirstCorners()[0]), TRgb({0, 0, 0}));
    // A range byte of -1 or less reaches nothing.
    scene.SelectedLightOnly = 0;
    room().lights[1].range = -1;
    room().lights[2].range = -128;
    scene.LightRoom(1, 2);
    EXPECT_EQ(ColourOf(FirstCorners()[0]), TRgb({0, 0, 0}));
}

TEST_F(Lighting, LightStandsOnItsSectorUnderTheSceneTransform)
{
    // The light's sector is raised: the light stands one unit higher. Under
    // a translation the light moves with the vertices.
    Sector(project, 1, 1, 1).floorBase = 1;
    room().lights[1].height = 4;  // one more unit
    room().lights[1].range = 0;   // one ring
    scene.GL.Translate(3, 1, 2);
    const float x = 0.5f, y = 2.5f, z = -0.5f;
    scene.GL.Tri({x, y, z}, {x + 0.01f, y, z}, {x, y, z - 0.01f});            // 0.5 above the light
    scene.GL.Tri({x, y + 1, z}, {x + 0.01f, y + 1, z}, {x, y + 1, z - 0.01f});  // 1.5 above it
    scene.LightRoom(1, 2);
    const auto corners = FirstCorners();
    EXPECT_EQ(ColourOf(corners[0]), Shade(0x0000FF, 9));  // one ring: the far level
    EXPECT_EQ(ColourOf(corners[1]), TRgb({0, 0, 0}));
}

TEST_F(Lighting, NothingToLight)
{
    scene.LightRoom(1, 2);
    scene.LightRoom(2, 2);
    EXPECT_EQ(scene.GL.Vertices.Count(), 0);
    scene.GL.Box(0, 0, 0, 1, 1);
    scene.LightRoom(2, 2);  // no such room: unchanged
    EXPECT_EQ(ColourOf(ListVertices(scene.GL, 2)[0]), TRgb({255, 255, 255}));
}

TEST(LightingRoom, AWallCastsAShadow)
{
    // Five sectors in a row; the middle one is solid up to the ceiling. A
    // light in the first sector lights its side of the wall only.
    tcuarto_list project;
    EmptyProject(project);
    tcuarto& r = AddRoom(project, 0, 0, 0, 5, 1, 4);
    Sector(project, 1, 3, 1).floorBase = 4;
    r.ambientIntensity = 20;
    r.ambientColor = 0xFFFFFF;
    r.lightCount = 1;
    r.lights[1] = troom_light{1, 1, 4, 0xFFFFFF, 5, 9, 0, 0, 1, 0};
    tr_scene scene;
    scene.Project = &project;
    scene.GL.LoadIdentity();
    scene.GL.SetList(2);
    scene.BuildRoomMesh(1);
    scene.LightRoom(1, 2);
    const auto v = ListVertices(scene.GL, 2);
    const TRgb ambient = Shade(0xFFFFFF, 20);
    auto floorOf = [&](int column) {
        return WithTag(v, [column](const tpick_tag& t) { return t.column == column && t.part == 0 && t.slot == 4; });
    };
    for (const auto& x : floorOf(1)) EXPECT_NE(ColourOf(x), ambient);
    for (const auto& x : floorOf(2)) EXPECT_NE(ColourOf(x), ambient);
    for (int column : {4, 5}) {
        ASSERT_FALSE(floorOf(column).empty());
        for (const auto& x : floorOf(column)) EXPECT_EQ(ColourOf(x), ambient) << column;
    }
    // The wall's lit face, and its face in the shadow.
    const auto lit = WithTag(v, [](const tpick_tag& t) { return t.column == 3 && t.slot == 2 && t.part == 0; });
    const auto dark = WithTag(v, [](const tpick_tag& t) { return t.column == 3 && t.slot == 3 && t.part == 0; });
    ASSERT_FALSE(lit.empty());
    ASSERT_FALSE(dark.empty());
    for (const auto& x : lit) EXPECT_NE(ColourOf(x), ambient);
    for (const auto& x : dark) EXPECT_EQ(ColourOf(x), ambient);

    // Without the wall the far floor is lit.
    Sector(project, 1, 3, 1).floorBase = 0;
    scene.GL.ClearList(-1);
    scene.GL.SetList(2);
    scene.BuildRoomMesh(1);
    scene.LightRoom(1, 2);
    const auto w = ListVertices(scene.GL, 2);
    const auto far = WithTag(w, [](const tpick_tag& t) { return t.column == 5 && t.part == 0 && t.slot == 4; });
    ASSERT_FALSE(far.empty());
    for (const auto& x : far) EXPECT_NE(ColourOf(x), ambient);
}
