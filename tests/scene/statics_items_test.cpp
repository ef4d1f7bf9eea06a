// Statics and items of the scene drawn as the level's meshes and posed
// moveables: placement, turn, tags, lists, colours and catalog lookups, and
// a frame rendered through the software device.
#include <gtest/gtest.h>

#include "display/colour_utils.h"
#include "level/trcatalog.h"
#include "mesh_test_helpers.h"
#include "scene/level_textures.h"
#include "scene/mesh_draw.h"
#include "scene/mesh_list.h"
#include "scene/scene.h"
#include "scene_fixture.h"

using namespace mesh_test;
using scene_test::AddRoom;
using scene_test::EmptyProject;
using scene_test::ListVertices;
using scene_test::TagOf;

namespace {

constexpr uint16_t kRedTexel = 0x8000 | (31 << 10);   // opaque 1555
constexpr uint16_t kGreenTexel = 0x8000 | (31 << 5);

// The level: record 0 is a triangle on page 5 (what a static without a
// level mesh shows); static mesh 0 an axis triangle and static mesh 1 a
// cube on page 0; moveable 0 an axis triangle and moveable 1 a cube on page
// 1, each in one frame. Two pages, red and green.
TLevelDesc ObjectLevel()
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    d.object_textures = {SquareTexture(0), SquareTexture(1), SquareTexture(5)};
    AddMesh(d, AxisTriangle(2));
    tstatic_mesh s{};
    s.mesh = uint16_t(AddMesh(d, AxisTriangle(0)));
    d.static_meshes.push_back(s);
    s.mesh = uint16_t(AddMesh(d, MakeCubeMesh(250, 0)));
    d.static_meshes.push_back(s);

    TFrameDesc still;
    still.rotations.resize(1);
    TMoveableDesc triangle;
    triangle.object_id = 10;
    triangle.meshes = {AxisTriangle(1)};
    triangle.animations = {{still}};
    AddMoveable(d, triangle);
    TMoveableDesc cube = triangle;
    cube.object_id = 11;
    cube.meshes = {MakeCubeMesh(250, 1)};
    AddMoveable(d, cube);

    d.num_textiles = 2;
    d.textile8.assign(2 * TEXTILE8_BYTES, 0);
    d.textile16.assign(2 * TEXTILE16_BYTES, 0);
    for (size_t i = 0; i < 256 * 256; ++i) {
        d.textile16[2 * i] = uint8_t(kRedTexel);
        d.textile16[2 * i + 1] = uint8_t(kRedTexel >> 8);
        d.textile16[TEXTILE16_BYTES + 2 * i] = uint8_t(kGreenTexel);
        d.textile16[TEXTILE16_BYTES + 2 * i + 1] = uint8_t(kGreenTexel >> 8);
    }
    return d;
}

// A project of one 4 x 4 room at the origin, 4 units high.
void OneRoomProject(tcuarto_list& p)
{
    EmptyProject(p);
    AddRoom(p, 0, 0, 0, 4, 4, 4);
    p.currentRoom = 1;
}

troom_static Static(uint32_t slot, int column, int row, int height, int angle)
{
    troom_static s{};
    s.meshSlot = slot;
    s.column = int16_t(column);
    s.row = int16_t(row);
    s.height = int16_t(height);
    s.angle = int16_t(angle);
    s.color = 0xFFFFFF;
    return s;
}

titem Item(int16_t objectId, int room, int column, int row, int height, uint8_t angle)
{
    titem it{};
    it.objectId = objectId;
    it.room = int16_t(room);
    it.column = int16_t(column);
    it.row = int16_t(row);
    it.height = int16_t(height);
    it.angle = angle;
    return it;
}

// The vertices of a list that belong to one element.
std::vector<txgl_vertex> OfElement(const std::vector<txgl_vertex>& all, uint8_t kind, int element)
{
    std::vector<txgl_vertex> out;
    for (const txgl_vertex& v : all) {
        const tpick_tag t = TagOf(v);
        if (t.kind == kind && t.element == element) out.push_back(v);
    }
    return out;
}

class StaticsItems : public ::testing::Test {
protected:
    void SetUp() override
    {
        level = LoadLevel(ObjectLevel());
        BuildMeshList(meshes, *level);
        SetTrCatalogDefaults(catalog);
        catalog[10].flag = 0;  // the triangle
        catalog[11].flag = 1;  // the cube
        catalog[12].USE_BODY_FROM = 11;
        catalog[12].flag = 0;
        catalog[13].flag = 7;  // a slot the level does not have
        catalog[14].USE_BODY_FROM = 900;
        OneRoomProject(project);
        scene.Project = &project;
        scene.Level = level.get();
        scene.Meshes = &meshes;
        scene.Catalog = &catalog;
        scene.GL.ColoredFaceTexture = 5002;
    }

    void TearDown() override { scope.reset(); }

    tcuarto& Room() { return project.rooms[1]; }
    void AddStatic(const troom_static& s) { Room().statics[size_t(++Room().staticCount)] = s; }
    void AddItem(const titem& it) { project.items[size_t(++project.itemCount)] = it; }

    std::unique_ptr<Ttrlevel> level;
    Tmesh_list meshes;
    TMoveableCatalog catalog;
    tcuarto_list project;
    tr_scene scene;
    TRecordingSink sink;
    std::unique_ptr<TScopedMessageSink> scope;
};

TEST_F(StaticsItems, StaticsStandOnTheirSectorTurnedAndTagged)
{
    AddStatic(Static(0, 2, 3, 4, 0));
    troom_static turned = Static(0, 2, 3, 4, 2);
    turned.fineX = 5;
    turned.fineZ = 5;
    AddStatic(turned);
    AddStatic(Static(9, 1, 1, 0, 0));  // no such static mesh: record 0
    scene.Update();
    const auto list = ListVertices(scene.GL, 3);
    ASSERT_EQ(list.size(), 9u);

    const auto first = OfElement(list, TAG_STATIC, 1);
    ASSERT_EQ(first.size(), 3u);
    // Sector (2, 3): x 1 .. 2, z -2 .. -3; the centre, one unit up; the
    // triangle's first corner one unit along x.
    EXPECT_TRUE(NearPoint(first[0], 2.5, -1, -2.5));
    EXPECT_EQ(first[0].texture, 1000);
    EXPECT_EQ(TagOf(first[0]).room, 1);
    EXPECT_EQ(scene.GL.Counts[4], 0);

    // Angle 2 turns the static to 270 degrees; fine offsets move it half a unit.
    const auto second = OfElement(list, TAG_STATIC, 2);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_TRUE(NearPoint(second[0], 2.0, -1, -2.0));

    const auto third = OfElement(list, TAG_STATIC, 3);
    ASSERT_EQ(third.size(), 3u);
    EXPECT_EQ(third[0].texture, 1005);
    for (const txgl_vertex& v : list) {
        EXPECT_EQ(v.r, 255);
        EXPECT_EQ(v.b, 255);
    }
}

TEST_F(StaticsItems, StaticColoursFollowTheirIntensityWhenLit)
{
    troom_static own = Static(0, 1, 1, 0, 0);
    own.color = 0x2060A0;
    own.intensity = 10;
    AddStatic(own);
    troom_static ambient = Static(0, 2, 2, 0, 0);
    ambient.color = 0x0000FF;
    ambient.intensity = -1;
    AddStatic(ambient);
    Room().ambientColor = 0x00FF80;
    Room().ambientIntensity = 5;
    scene.Brightness = 2;

    // Unlit, every static is white.
    scene.Update();
    for (const txgl_vertex& v : ListVertices(scene.GL, 3)) EXPECT_EQ(scene_test::ColorOf(v), 0xFFFFFFu);

    scene.Lighting = 1;
    scene.SetDirty(3);
    scene.Update();
    TColor expectOwn = 0x2060A0, expectAmbient = 0x00FF80;
    ShadeRGB(expectOwn, 10 - 2);
    ShadeRGB(expectAmbient, 5 - 2);
    const auto list = ListVertices(scene.GL, 3);
    for (const txgl_vertex& v : OfElement(list, TAG_STATIC, 1)) EXPECT_EQ(scene_test::ColorOf(v), expectOwn);
    for (const txgl_vertex& v : OfElement(list, TAG_STATIC, 2)) EXPECT_EQ(scene_test::ColorOf(v), expectAmbient);
    EXPECT_EQ(OfElement(list, TAG_STATIC, 2).size(), 3u);
}

TEST_F(StaticsItems, TheSelectedStaticGoesToTheWireframeListInItsEditMode)
{
    AddStatic(Static(0, 1, 1, 0, 0));
    AddStatic(Static(0, 2, 2, 0, 0));
    Room().selectedStatic = 2;
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[3], 6);
    EXPECT_EQ(scene.GL.Counts[4], 0);

    scene.EditMode = 7;
    scene.SetDirty(3);
    scene.Update();
    EXPECT_EQ(OfElement(ListVertices(scene.GL, 3), TAG_STATIC, 1).size(), 3u);
    EXPECT_EQ(OfElement(ListVertices(scene.GL, 4), TAG_STATIC, 2).size(), 3u);
}

TEST_F(StaticsItems, ItemsFindTheirMoveableThroughTheCatalog)
{
    AddItem(Item(10, 1, 1, 1, 0, 0));   // the triangle
    AddItem(Item(12, 1, 3, 3, 4, 0));   // borrows the cube's body
    AddItem(Item(13, 1, 2, 2, 0, 0));   // its slot is beyond the level's moveables
    AddItem(Item(10, 2, 1, 1, 0, 0));   // another room
    AddItem(Item(700, 1, 1, 1, 0, 0));  // outside the catalog
    AddItem(Item(-3, 1, 1, 1, 0, 0));
    AddItem(Item(14, 1, 1, 1, 0, 0));   // borrows from outside the catalog
    AddItem(Item(10, 1, 1, 1, 0, 2));   // the triangle turned
    AddItem(Item(15, 1, 2, 2, 0, 0));   // an object the level lacks (a later game's): its entry's slot 1 is the cube's
    scene.Update();
    const auto list = ListVertices(scene.GL, 5);
    ASSERT_EQ(list.size(), 3u + 36u + 3u);

    const auto triangle = OfElement(list, TAG_ITEM, 1);
    ASSERT_EQ(triangle.size(), 3u);
    EXPECT_EQ(triangle[0].texture, 1001);
    EXPECT_EQ(TagOf(triangle[0]).room, 1);
    EXPECT_TRUE(NearPoint(triangle[0], 1.5, 0, -0.5));
    EXPECT_EQ(scene_test::ColorOf(triangle[0]), 0xFFFFFFu);

    EXPECT_EQ(OfElement(list, TAG_ITEM, 2).size(), 36u);
    const auto turned = OfElement(list, TAG_ITEM, 8);
    ASSERT_EQ(turned.size(), 3u);
    EXPECT_TRUE(NearPoint(turned[0], 0.5, 0, 0.5));
    EXPECT_EQ(scene.GL.Counts[6], 0);
}

TEST_F(StaticsItems, SelectedAndHighlightedItemsAreMarked)
{
    AddItem(Item(10, 1, 1, 1, 0, 0));
    AddItem(Item(10, 1, 2, 2, 0, 0));
    AddItem(Item(10, 1, 3, 3, 0, 0));
    project.selectedItem = 1;
    project.highlightedItem = 2;
    project.items[3].highlight = 1;

    // The plain view: everything white in list 5.
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[5], 9);
    EXPECT_EQ(scene.GL.Counts[6], 0);

    scene.EditMode = 3;
    scene.SetDirty(4);
    scene.Update();
    auto marked = ListVertices(scene.GL, 6);
    ASSERT_EQ(marked.size(), 3u);
    EXPECT_EQ(TagOf(marked[0]).element, 1);
    EXPECT_EQ(scene_test::ColorOf(marked[0]), 0x0000FFu);

    scene.EditMode = 5;
    scene.SetDirty(4);
    scene.Update();
    marked = ListVertices(scene.GL, 6);
    ASSERT_EQ(marked.size(), 6u);
    EXPECT_EQ(scene_test::ColorOf(OfElement(marked, TAG_ITEM, 2)[0]), 0xFF00FFu);
    EXPECT_EQ(scene_test::ColorOf(OfElement(marked, TAG_ITEM, 3)[0]), 0x0000FFu);
    EXPECT_EQ(OfElement(ListVertices(scene.GL, 5), TAG_ITEM, 1).size(), 3u);
}

TEST_F(StaticsItems, NothingWithoutLevelMeshesOrCatalog)
{
    AddStatic(Static(0, 1, 1, 0, 0));
    AddItem(Item(10, 1, 1, 1, 0, 0));
    scene.Meshes = nullptr;
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[3] + scene.GL.Counts[5], 0);
    scene.Meshes = &meshes;
    scene.Catalog = nullptr;
    scene.SetDirty(0);
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[3], 3);
    EXPECT_EQ(scene.GL.Counts[5], 0);
    scene.Level = nullptr;
    scene.SetDirty(0);
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[3] + scene.GL.Counts[5], 0);
    // Rooms that do not exist draw nothing.
    scene.Level = level.get();
    scene.Catalog = &catalog;
    scene.GL.ClearList(-1);
    scene.BuildRoomStatics(0);
    scene.BuildRoomStatics(2);
    scene.BuildRoomItems(2);
    EXPECT_EQ(scene.GL.Vertices.Count(), 0);
}

// ---- a rendered frame ----

class StaticsItemsRender : public DeviceTest {
protected:
    StaticsItemsRender() : DeviceTest(96, 96) {}

    void SetUp() override
    {
        DeviceTest::SetUp();
        level = LoadLevel(ObjectLevel());
        BuildMeshList(meshes, *level);
        ASSERT_EQ(LoadLevelTextures(*level, LEVEL_TEXTURE_FIRST_ID), 2);
        SetTrCatalogDefaults(catalog);
        catalog[11].flag = 1;
        OneRoomProject(project);
        tcuarto& room = project.rooms[1];
        // The red cube static on sector (2, 2), the green cube item on
        // sector (3, 3), both a unit above the floor.
        room.staticCount = 1;
        room.statics[1] = Static(1, 2, 2, 4, 0);
        project.itemCount = 1;
        project.items[1] = Item(11, 1, 3, 3, 4, 0);
        scene.Project = &project;
        scene.Level = level.get();
        scene.Meshes = &meshes;
        scene.Catalog = &catalog;
        scene.GL.ColoredFaceTexture = 5002;
    }

    // Looks down on (x, z) from `distance` units above the floor, draws
    // every buffer group with its texture, as the viewport does, and presents.
    void Render(double x, double z, double distance)
    {
        camera.LookDown(x, 0, z, distance, 1.0f);
        scene_test::TSceneCamera::Frame(scene, true);
    }

    // The pixel where a point of the scene (height upward) appears.
    uint32_t PixelAt(double x, double height, double z) { return camera.PixelAt(view.host, x, height, z); }

    std::unique_ptr<Ttrlevel> level;
    Tmesh_list meshes;
    TMoveableCatalog catalog;
    tcuarto_list project;
    tr_scene scene;
    scene_test::TSceneCamera camera;
};

bool IsRed(uint32_t p) { return (p >> 16 & 0xFF) > 200 && (p >> 8 & 0xFF) < 40 && (p & 0xFF) < 40; }
bool IsGreen(uint32_t p) { return (p >> 16 & 0xFF) < 40 && (p >> 8 & 0xFF) > 200 && (p & 0xFF) < 40; }

TEST_F(StaticsItemsRender, TheStaticAndTheItemShowTheirLevelPages)
{
    scene.Update();
    ASSERT_EQ(scene.Buffers[3].PrimitiveCount, 12u);
    ASSERT_EQ(scene.Buffers[5].PrimitiveCount, 12u);
    ASSERT_EQ(scene.Buffers[3].GroupTextures[0], 1000);
    ASSERT_EQ(scene.Buffers[5].GroupTextures[0], 1001);

    Render(2, -2, 8);
    // The cubes' tops, 1.25 units up, in the middle of their sectors.
    EXPECT_TRUE(IsRed(PixelAt(1.5, 1.25, -1.5))) << std::hex << PixelAt(1.5, 1.25, -1.5);
    EXPECT_TRUE(IsGreen(PixelAt(2.5, 1.25, -2.5))) << std::hex << PixelAt(2.5, 1.25, -2.5);
    // The floor beside them shows neither, and outside the room is the background.
    const uint32_t floor = PixelAt(0.5, 0, -3.5);
    EXPECT_FALSE(IsRed(floor) || IsGreen(floor)) << std::hex << floor;
    EXPECT_NE(floor, 0xFF000000u);
    EXPECT_EQ(PixelAt(-0.5, 0, 0.5), 0xFF000000u);

    // Without the items layer the green cube is gone.
    scene.HideItems = 1;
    scene.SetDirty(4);
    scene.Update();
    Render(2, -2, 8);
    EXPECT_TRUE(IsRed(PixelAt(1.5, 1.25, -1.5)));
    EXPECT_FALSE(IsGreen(PixelAt(2.5, 1.25, -2.5)));
}

}  // namespace
