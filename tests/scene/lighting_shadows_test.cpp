// Room lighting against a plain model of it that tests every vertex against
// every triangle of its list: the shadow grid finds what every triangle
// finds, lighting gives the model's colours on varied rooms, and the shadow
// test work of one pass stays within the scene's budget, past which the
// vertices take their lights without shadows.
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

#include "display/colour_utils.h"
#include "support/project_fixture.h"
#include "support/view_fixture.h"

namespace {

constexpr int CURRENT = 2, NEIGHBOUR = 1;

D3DXVECTOR3 PlaceOf(const txgl_vertex& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

// Every triangle of the list (three vertices each) that does not have the
// vertex as a corner, tested against the segment from the light.
bool ShadedByAny(const std::vector<txgl_vertex>& list, const D3DXVECTOR3& light, const D3DXVECTOR3& vertex)
{
    for (size_t i = 0; i + 2 < list.size(); i += 3) {
        const D3DXVECTOR3 a = PlaceOf(list[i]), b = PlaceOf(list[i + 1]), c = PlaceOf(list[i + 2]);
        if (a == vertex || b == vertex || c == vertex) continue;
        float t = 0;
        if (RayHitsTriangle(light, vertex, a, b, c, t)) return true;
    }
    return false;
}

// Where a room's light stands, placed by the matrix as the layer places
// vertices: on the highest floor corner of its sector, height / 4 above.
D3DXVECTOR3 LightPlace(const tcuarto& r, const troom_light& light, const D3DXMATRIX& m)
{
    const int columns = DrawnColumns(r), rows = DrawnRows(r);
    double c[4];
    FloorCornerHeights(r.sectors[std::clamp<int>(light.column, 0, columns)][std::clamp<int>(light.row, 0, rows)], c);
    float x = float(double(r.x) + light.column - 1 + 0.5), z = float(1.0 - (double(r.z) + light.row) - 0.5);
    float y = float(-(double(r.y) + *std::max_element(c, c + 4) + light.height / 4.0));
    TxGL::TransformPoint(x, y, z, m);
    return D3DXVECTOR3(x, y, z);
}

// The colours of a list lit plainly: the room's ambient colour, then each
// enabled light on every vertex within its range that no triangle of the
// list shades (none at all with `shadows` off), in the ring the walk out
// from the light reaches it in.
std::vector<uint32_t> ModelColours(const tcuarto& r, const std::vector<txgl_vertex>& list, const D3DXMATRIX& m,
                                   bool shadows = true)
{
    uint32_t ambient = r.ambientColor & 0xFFFFFF;
    ShadeRGB(ambient, std::max(r.ambientIntensity, int16_t(0)));
    std::vector<uint32_t> out(list.size(), ambient);
    for (int n = 1; n <= std::clamp<int>(r.lightCount, 0, MAX_ROOM_LIGHTS); ++n) {
        const troom_light& light = r.lights[size_t(n)];
        if (!light.enabled) continue;
        const int8_t a = int8_t(r.ambientIntensity);
        uint16_t mode = uint16_t(int16_t(light.blendMode));
        int8_t hi = int8_t(a - 1), lo = int8_t(hi - light.intensity - 1);
        if (light.intensity < 0) {
            lo = hi = int8_t(a - light.intensity);
            mode = 0xFFFF;
        }
        const int high = std::clamp<int>(hi, 0, 31), low = std::clamp<int>(lo, 0, 31), R = light.range + 1;
        if (R < 1) continue;
        const D3DXVECTOR3 at = LightPlace(r, light, m);
        std::map<std::tuple<float, float, float>, bool> shaded;  // by place
        for (size_t i = 0; i < list.size(); ++i) {
            const D3DXVECTOR3 p = PlaceOf(list[i]);
            const double d = Distance3(at, p);
            if (d > R) continue;
            const auto key = std::make_tuple(p.x, p.y, p.z);
            if (shadows && !shaded.count(key)) shaded[key] = ShadedByAny(list, at, p);
            if (shadows && shaded[key]) continue;
            int k = R;
            for (int j = 1; j < R; ++j)
                if (d <= j + 0.15) {
                    k = j;
                    break;
                }
            uint32_t colour = light.color & 0xFFFFFF;
            ShadeRGB(colour, int32_t(std::nearbyint(k * (double(high - low) / R) + low)));
            int32_t cr = out[i] & 0xFF, cg = out[i] >> 8 & 0xFF, cb = out[i] >> 16 & 0xFF;
            BlendRGB(cr, cg, cb, uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), mode);
            out[i] = uint32_t(cr | cg << 8 | cb << 16);
        }
    }
    return out;
}

std::vector<uint32_t> Colours(const std::vector<txgl_vertex>& list)
{
    std::vector<uint32_t> out;
    for (const txgl_vertex& v : list) out.push_back(ColorOf(v));
    return out;
}

// Room `n` of columns x rows at (x, z): walls on its border, pillars up to
// the ceiling, slopes, split floors with steep halves and stepped ceilings,
// and `lights` lights of varied ranges, levels and modes, some on the floor.
void VariedRoom(TTestProject& project, int n, int x, int z, int columns, int rows, int lights, uint32_t seed)
{
    TFixtureRandom rnd(seed);
    project.Room().At(x, z, 1).Height(10).Size(columns, rows);
    tcuarto& r = project.rooms[size_t(n)];
    for (int i = 1; i <= columns; ++i)
        for (int j = 1; j <= rows; ++j) {
            tsector& s = r.sectors[i][j];
            if (i == 1 || j == 1 || i == columns || j == rows || rnd.Below(9) == 0) {
                s.floorBase = 10;
                continue;
            }
            s.floorBase = int8_t(rnd.Below(3));
            s.floorClicks = int8_t(rnd.Below(4));
            s.ceilingBase = int8_t(rnd.Below(3));
            s.ceilingClicks = int8_t(rnd.Below(4));
            const int kind = rnd.Below(4);
            if (kind == 1) {
                s.floorZFall = int8_t(rnd.Below(6));
                s.floorXRise = int8_t(rnd.Below(6));
            } else if (kind == 2) {
                s.floorSplit = uint8_t(1 + rnd.Below(2));
                s.floorZFall = int8_t(rnd.Below(5) + (rnd.Below(3) == 0 ? 14 : 0));
                s.floorZRise = int8_t(rnd.Below(5));
                s.ceilingSplit = uint8_t(rnd.Below(3));
                s.ceilingZFall = int8_t(rnd.Below(5));
            }
        }
    r.ambientIntensity = 14;
    r.ambientColor = 0x203040;
    r.lightCount = int16_t(lights);
    for (int k = 1; k <= lights; ++k)
        r.lights[size_t(k)] = troom_light{int16_t(1 + rnd.Below(rows)),
                                          int16_t(1 + rnd.Below(columns)),
                                          int16_t(k % 4 == 0 ? 0 : rnd.Below(30)),
                                          0x102030u * uint32_t(k),
                                          int8_t(rnd.Below(12) - 2),
                                          int8_t(k % 3 == 0 ? 127 : rnd.Below(12)),
                                          0,
                                          int8_t(rnd.Below(4) - 2),
                                          uint8_t(k % 7 != 0),
                                          0};
}

// A current room with 25 lights and a neighbour beside it with 6, built into
// lists 2 and 1 under a matrix as the scene builds them.
struct TVariedScene {
    TTestProject project;
    tr_scene scene;

    explicit TVariedScene(int transform)
    {
        VariedRoom(project, 1, 0, 0, 7, 6, 25, 5);
        VariedRoom(project, 2, 6, 2, 5, 5, 6, 9);
        project.currentRoom = 1;
        project.neighbourRoom = 2;
        scene.Project = &project;
        scene.GL.LoadIdentity();
        if (transform == 1) scene.GL.Translate(-4.125f, 6.5f, 3.75f);  // as when centred on a room
        if (transform == 2) {
            scene.GL.Scale(1.5f, 0.75f, 1.25f);
            scene.GL.Rotate(30, 50, 10, false);
        }
        for (int list : {CURRENT, NEIGHBOUR}) {
            scene.GL.SetList(list);
            scene.BuildRoomMesh(list == CURRENT ? 1 : 2);
        }
    }
    std::vector<txgl_vertex> List(int list) { return ListVertices(scene.GL, list); }
    int32_t First(int list)
    {
        scene.GL.Vertices.Sort();
        return scene.GL.Vertices.Locate(IntToStrWidth(list, 6));
    }
};

}  // namespace

class ShadowGrid : public ::testing::TestWithParam<int> {};

// Light at each light of the rooms and at some vertices raised a little:
// the grid reports a shadow for exactly the vertices that some triangle of
// the list shades.
TEST_P(ShadowGrid, FindsWhatEveryTriangleFinds)
{
    TVariedScene varied(GetParam());
    for (int list : {CURRENT, NEIGHBOUR}) {
        const std::vector<txgl_vertex> v = varied.List(list);
        ASSERT_GT(v.size(), 600u);
        const TShadowTriangles shadows(varied.scene.GL, list, varied.First(list));
        const tcuarto& r = varied.project.rooms[list == CURRENT ? 1 : 2];
        std::vector<D3DXVECTOR3> lights;
        for (int n = 1; n <= r.lightCount; ++n)
            lights.push_back(LightPlace(r, r.lights[size_t(n)], varied.scene.GL.CurrentMatrix));
        for (size_t i = 0; i < v.size(); i += 251) lights.push_back(PlaceOf(v[i]) + D3DXVECTOR3(0.01f, -0.3f, 0.02f));
        int shaded = 0, lit = 0;
        for (const D3DXVECTOR3& light : lights)
            for (size_t i = 0; i < v.size(); i += 5) {
                const bool want = ShadedByAny(v, light, PlaceOf(v[i]));
                EXPECT_EQ(shadows.Blocks(light, PlaceOf(v[i])), want) << "list " << list << " vertex " << i;
                ++(want ? shaded : lit);
            }
        EXPECT_GT(shaded, 500) << list;  // both answers are well represented
        EXPECT_GT(lit, 500) << list;
    }
}

// 25 lights (and 6 in the neighbour) of every kind: lighting gives each
// vertex of both lists the model's colour, within the budget.
TEST_P(ShadowGrid, LightingGivesTheModelsColours)
{
    TVariedScene varied(GetParam());
    const D3DXMATRIX m = varied.scene.GL.CurrentMatrix;
    for (int list : {CURRENT, NEIGHBOUR}) {
        const tcuarto& r = varied.project.rooms[list == CURRENT ? 1 : 2];
        const std::vector<uint32_t> want = ModelColours(r, varied.List(list), m);
        varied.scene.LightRoom(list == CURRENT ? 1 : 2, list);
        EXPECT_EQ(Colours(varied.List(list)), want) << list;
        EXPECT_GT(varied.scene.ShadowTestsMade, 0) << list;
        EXPECT_LT(varied.scene.ShadowTestsMade, SHADOW_TEST_BUDGET) << list;
    }
}

INSTANTIATE_TEST_SUITE_P(Transforms, ShadowGrid, ::testing::Values(0, 1, 2));

// A corner or a light that is no point leaves no grid to walk: every
// triangle is tested, as before.
TEST(ShadowGridWithoutPoints, TestsEveryTriangle)
{
    const float inf = std::numeric_limits<float>::infinity();
    TxGL gl;
    gl.LoadIdentity();
    gl.SetList(CURRENT);
    gl.Tri({-1, 1, 0}, {0, -1, 0}, {1, 1, 0});  // faces a light at z -1
    gl.Tri({inf, 0, 2}, {0, 1, 2}, {1, 0, 2});
    gl.Vertices.Sort();
    const std::vector<txgl_vertex> list = ListVertices(gl, CURRENT);
    const TShadowTriangles shadows(gl, CURRENT, gl.Vertices.Locate(IntToStrWidth(CURRENT, 6)));
    const D3DXVECTOR3 rows[][2] = {{{0, 0, -1}, {0, 0, 1}},
                                   {{0, 0, -1}, {0, 0, -0.5f}},
                                   {{0, 0, -1}, {0.5f, 0.5f, 3}},
                                   {{inf, 0, -1}, {0, 0, 1}},
                                   {{0, 0, -1}, {0, inf, 1}}};
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(shadows.Blocks(rows[i][0], rows[i][1]), ShadedByAny(list, rows[i][0], rows[i][1])) << i;
    EXPECT_TRUE(shadows.Blocks(rows[0][0], rows[0][1]));
}

// Probes just inside and just outside each ring's edge, each in a
// direction of its own so that none shades another: each vertex falls in
// the ring that the walk out from the light finds.
TEST(RoomLighting, RingEdges)
{
    TTestProject project;
    project.Room();
    tcuarto& r = project.rooms[1];
    r.ambientIntensity = 31;
    r.lightCount = 1;
    r.lights[1] = troom_light{1, 1, 0, 0xFFFFFF, 29, 30, 0, -1, 1, 0};  // R 31, about a level per ring
    tr_scene scene;
    scene.Project = &project;
    scene.GL.LoadIdentity();
    scene.GL.SetList(CURRENT);
    int probes = 0;
    for (int j = 0; j <= 31; ++j)
        for (float d : {std::nextafter(j + 0.15f, 0.0f), j + 0.15f, std::nextafter(j + 0.15f, 99.0f), float(j)}) {
            if (d == 0) continue;
            const float angle = 0.02f * float(probes++), c = std::cos(angle), s = std::sin(angle), e = 0.0005f;
            const float x = 0.5f + d * c, z = -0.5f - d * s;  // from the light at (0.5, 0, -0.5)
            scene.GL.Tri({x, 0, z}, {x, -e, z}, {x - e * s, 0, z - e * c});
        }
    const std::vector<txgl_vertex> list = ListVertices(scene.GL, CURRENT);
    const std::vector<uint32_t> want = ModelColours(r, list, scene.GL.CurrentMatrix);
    scene.LightRoom(1, CURRENT);
    EXPECT_EQ(Colours(ListVertices(scene.GL, CURRENT)), want);
    int lit = 0;
    for (size_t i = 0; i < list.size(); i += 3) lit += want[i] != 0;
    EXPECT_EQ(lit, probes - 3);  // all but the three 31.15 away
}

// The budget: a pass within it lights as without one; one that runs out
// lights the places of vertices it has not tested (in the order of their
// first vertices) without shadows; none at all leaves every shadow out.
TEST(RoomLighting, ShadowTestBudget)
{
    TVariedScene varied(1);
    tr_scene& scene = varied.scene;
    const D3DXMATRIX m = scene.GL.CurrentMatrix;
    tcuarto& r = varied.project.rooms[1];
    r.lightCount = 1;
    r.lights[1] = troom_light{3, 3, 6, 0xFFFFFF, 6, 127, 0, 0, 1, 0};
    const std::vector<txgl_vertex> list = varied.List(CURRENT);
    const std::vector<uint32_t> shaded = ModelColours(r, list, m), unshaded = ModelColours(r, list, m, false);
    ASSERT_NE(shaded, unshaded);

    scene.LightRoom(1, CURRENT);
    const int64_t whole = scene.ShadowTestsMade;
    EXPECT_EQ(Colours(varied.List(CURRENT)), shaded);
    ASSERT_GT(whole, 1000);

    // The place each vertex has, numbered in the order of first vertices.
    std::map<std::tuple<float, float, float>, size_t> places;
    std::vector<size_t> place;
    for (const txgl_vertex& v : list)
        place.push_back(places.emplace(std::make_tuple(v.x, v.y, v.z), places.size()).first->second);

    const struct {
        int64_t budget, made;
    } rows[] = {{whole, whole}, {whole + 1, whole}, {whole / 2, whole / 2}, {whole / 8, whole / 8}, {0, 0}, {-5, 0}};
    for (const auto& row : rows) {
        scene.ShadowTestBudget = row.budget;
        scene.LightRoom(1, CURRENT);
        EXPECT_EQ(scene.ShadowTestsMade, row.made) << row.budget;
        const std::vector<uint32_t> got = Colours(varied.List(CURRENT));
        if (row.made == whole) { EXPECT_EQ(got, shaded) << row.budget; }
        if (row.made == 0) { EXPECT_EQ(got, unshaded) << row.budget; }
        // Before the first place lit without its shadow, every place as
        // with the whole budget; from it on, every place without shadows.
        size_t cut = places.size();
        for (size_t i = 0; i < list.size(); ++i)
            if (got[i] != shaded[i]) cut = std::min(cut, place[i]);
        for (size_t i = 0; i < list.size(); ++i)
            EXPECT_EQ(got[i], place[i] < cut ? shaded[i] : unshaded[i]) << row.budget << " vertex " << i;
        if (row.made < whole) {
            EXPECT_LT(cut, places.size()) << row.budget;  // something was left unshaded
        }
    }
}
