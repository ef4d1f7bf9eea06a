// The scene object: start values, dirty flags, the order and filters of an
// update, the buffers it builds, and the room box.
#include <set>

#include "display/colour_utils.h"

#include "scene_fixture.h"

using namespace scene_test;

namespace {

std::array<uint8_t, SCENE_LAYERS> Flags(std::initializer_list<int> set)
{
    std::array<uint8_t, SCENE_LAYERS> f{};
    for (int i : set) f[size_t(i)] = 1;
    return f;
}

// Rooms named by the tags of a list, in list order, each run counted once.
std::vector<int> RoomRuns(const std::vector<txgl_vertex>& v)
{
    std::vector<int> rooms;
    for (const auto& x : v) {
        const tpick_tag t = TagOf(x);
        if (t.kind != TAG_SECTOR_FACE) continue;
        if (rooms.empty() || rooms.back() != t.room) rooms.push_back(t.room);
    }
    return rooms;
}

std::set<int> RoomsOf(const std::vector<txgl_vertex>& v)
{
    std::set<int> rooms;
    for (const auto& x : v)
        if (TagOf(x).kind == TAG_SECTOR_FACE) rooms.insert(TagOf(x).room);
    return rooms;
}

// A project of `n` flat 2 x 2 rooms in a row, current room 1, neighbour 2,
// the player start in no room.
void RoomsInARow(tcuarto_list& p, int n)
{
    EmptyProject(p);
    for (int i = 0; i < n; ++i) AddRoom(p, 3 * i, 0, 0, 2, 2, 4);
    p.currentRoom = 1;
    p.neighbourRoom = 2;
}

class SceneLayers : public SceneDeviceTest {
protected:
    void SetUp() override
    {
        SceneDeviceTest::SetUp();
        RoomsInARow(project, 10);
        scene.Project = &project;
    }
    std::vector<txgl_vertex> List(int n) { return ListVertices(scene.GL, n); }

    tcuarto_list project;
    tr_scene scene;
};

}  // namespace

TEST(SceneObject, StartValues)
{
    tr_scene s;
    EXPECT_EQ(s.Dirty, Flags({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(s.Translation[k], 0.0);
        EXPECT_EQ(s.Rotation[k], 0.0);
        EXPECT_EQ(s.Scale[k], 1.0);
        EXPECT_EQ(s.BoxMin[k], 922337203685477.6);
        EXPECT_EQ(s.BoxMax[k], -922337203685477.6);
    }
    EXPECT_EQ(s.Level, nullptr);
    EXPECT_EQ(s.Project, nullptr);
    EXPECT_EQ(s.Meshes, nullptr);
    EXPECT_EQ(s.Catalog, nullptr);
    EXPECT_EQ(s.RoomOfInterest, 1);
    EXPECT_EQ(s.Lighting, 0);
    EXPECT_EQ(s.Textured, 0);
    EXPECT_EQ(s.HideNeighbors, 0);
    EXPECT_EQ(s.EditMode, 0);
    EXPECT_EQ(s.HideFloors + s.HideCeilings + s.HideStatics + s.HideItems + s.SelectedLightOnly, 0);
    EXPECT_EQ(s.RoomFilter, "");
    EXPECT_EQ(s.FloorIcon, 0);
    EXPECT_EQ(s.SplitIcon, 0);
    EXPECT_EQ(s.Brightness, 0);
    EXPECT_EQ(s.ShowLightRanges, 0);
    EXPECT_EQ(s.ColorCodes, 1);

    ASSERT_EQ(s.Buffers.Count(), 12);
    for (int i = 0; i < 12; ++i) {
        const bool wire = i == 4 || i == 6 || i == 8 || i == 10;
        EXPECT_EQ(s.Buffers[i].FillMode, wire ? FillWireframe : FillSolid) << i;
        EXPECT_EQ(s.Buffers[i].DefaultTexture, wire ? 5002 : 5001) << i;
        EXPECT_EQ(s.Buffers[i].OneGroup, 0);
        EXPECT_EQ(s.Buffers[i].PrimitiveCount, 0u);
    }
}

TEST(SceneObject, SetDirtySetsTheFlagsOfEachPart)
{
    struct Case {
        int part;
        std::array<uint8_t, SCENE_LAYERS> flags;
    };
    const Case cases[] = {
        {0, Flags({0, 3, 4, 5, 6, 7, 8, 9})},
        {1, Flags({1, 3, 4, 6})},
        {2, Flags({2, 3, 4})},
        {3, Flags({3})},
        {4, Flags({4})},
        {5, Flags({5})},
        {6, Flags({6})},
        {7, Flags({7})},
        {8, Flags({8})},
        {9, Flags({9})},
        {10, Flags({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
        {11, Flags({})},
        {127, Flags({})},
        {128, Flags({0, 3, 4, 5, 6, 7, 8, 9})},  // modulo 128
        {129 + 128, Flags({1, 3, 4, 6})},
        {-1, Flags({})},
    };
    for (const Case& c : cases) {
        tr_scene s;
        s.Dirty.fill(0);
        s.SetDirty(c.part);
        EXPECT_EQ(s.Dirty, c.flags) << "part " << c.part;
    }
}

TEST(SceneObject, SetDirtyTenEmptiesEveryList)
{
    tr_scene s;
    s.GL.LoadIdentity();
    for (int list : {0, 2, 7, 11}) {
        s.GL.SetList(list);
        s.GL.Box(0, 0, 0, 1, 1);
    }
    s.SetDirty(3);
    EXPECT_EQ(s.GL.Vertices.Count(), 4 * 36);
    s.SetDirty(10);
    EXPECT_EQ(s.GL.Vertices.Count(), 0);
    for (int c : s.GL.Counts) EXPECT_EQ(c, 0);
}

TEST(TextFields, CountFieldsAndGetField)
{
    EXPECT_EQ(CountFields("", ','), 0);
    EXPECT_EQ(CountFields("4", ','), 0);
    EXPECT_EQ(CountFields("4,", ','), 2);
    EXPECT_EQ(CountFields("3,5,7-9,", ','), 4);
    EXPECT_EQ(CountFields("7-9", '-'), 2);
    EXPECT_EQ(CountFields(",,", ','), 3);

    EXPECT_EQ(GetField("3,5,7-9,", ',', 1), "3");
    EXPECT_EQ(GetField("3,5,7-9,", ',', 2), "5");
    EXPECT_EQ(GetField("3,5,7-9,", ',', 3), "7-9");
    EXPECT_EQ(GetField("3,5,7-9,", ',', 4), "");
    EXPECT_EQ(GetField("7-9", '-', 2), "9");
    EXPECT_EQ(GetField("abc", ',', 1), "abc");
    // Past the last delimiter the rest is returned again.
    EXPECT_EQ(GetField("3,5", ',', 7), "5");
    EXPECT_EQ(GetField("3,5", ',', 0), "3");
}

TEST(SceneObject, CenterOnRoomTakesTheRoomBox)
{
    tcuarto_list p;
    EmptyProject(p);
    AddRoom(p, 0, 0, 0, 1, 1, 1);
    AddRoom(p, 10, 20, 0, 4, 3, 8);
    tr_scene s;
    s.Project = &p;
    s.RoomOfInterest = 2;
    s.CenterOnRoom();
    EXPECT_EQ(s.BoxMin[0], 10.0);
    EXPECT_EQ(s.BoxMin[1], 0.0);
    EXPECT_EQ(s.BoxMin[2], -23.0);
    EXPECT_EQ(s.BoxMax[0], 14.0);
    EXPECT_EQ(s.BoxMax[1], 8.0);
    EXPECT_EQ(s.BoxMax[2], -20.0);
    EXPECT_EQ(s.Translation[0], -12.0);
    EXPECT_EQ(s.Translation[1], -4.0);
    EXPECT_EQ(s.Translation[2], 21.5);

    // The translation is stored at single precision.
    p.rooms[2].x = 1;
    p.rooms[2].columns = 0;
    p.rooms[2].y = 16777217;  // not a single
    p.rooms[2].height = 0;
    s.CenterOnRoom();
    EXPECT_EQ(s.Translation[0], -1.0);
    EXPECT_EQ(s.Translation[1], -16777216.0);

    // A room that does not exist leaves everything as it was.
    s.RoomOfInterest = 3;
    s.CenterOnRoom();
    EXPECT_EQ(s.BoxMin[0], 1.0);
    EXPECT_EQ(s.Translation[1], -16777216.0);
}

TEST(SceneObject, InitRoomSectorsGivesTheRoomAFreshGrid)
{
    tcuarto_list p;
    EmptyProject(p);
    AddRoom(p, 0, 0, 0, 3, 2, 5);
    p.rooms[1].lightCount = 2;
    p.rooms[1].columns = 4;
    tr_scene s;
    s.InitRoomSectors(1);  // without a project nothing happens
    s.Project = &p;
    s.InitRoomSectors(1);
    EXPECT_EQ(p.rooms[1].sectors.ColumnSlots(), 5);
    EXPECT_EQ(p.rooms[1].lightCount, 0);
    EXPECT_EQ(p.rooms[1].sectors[4][1].floorBase, 5);  // a border sector stands as a wall
}

TEST_F(SceneLayers, FirstUpdateBuildsEveryLayer)
{
    scene.RoomFilter = "3,";
    scene.Update();
    EXPECT_EQ(scene.Dirty, Flags({}));
    EXPECT_EQ(RoomsOf(List(2)), std::set<int>{1});
    EXPECT_EQ(RoomsOf(List(1)), std::set<int>{2});
    EXPECT_EQ(RoomsOf(List(0)), std::set<int>{3});
    // A flat 2 x 2 room: four floor and four ceiling quads.
    EXPECT_EQ(scene.GL.Counts[2], 48);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(scene.Buffers[i].PrimitiveCount, uint32_t(scene.GL.Counts[i] / 3)) << i;
        if (i <= 2) {
            EXPECT_EQ(scene.Buffers[i].GroupTextures, std::vector<int32_t>{5001}) << i;
        }
    }
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(SceneLayers, OnlyDirtyLayersAreRebuilt)
{
    scene.RoomFilter = "3,";
    scene.Update();
    // Raise a sector in each of the three rooms: walls appear only in the
    // rooms whose layers are rebuilt.
    for (int room : {1, 2, 3}) Sector(project, room, 1, 1).floorBase = 1;
    scene.SetDirty(1);
    EXPECT_EQ(scene.Dirty, Flags({1, 3, 4, 6}));
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[2], 48);
    EXPECT_GT(scene.GL.Counts[1], 48);
    EXPECT_EQ(scene.GL.Counts[0], 48);
    EXPECT_EQ(scene.Buffers[1].PrimitiveCount, uint32_t(scene.GL.Counts[1] / 3));

    scene.SetDirty(2);
    scene.Update();
    EXPECT_GT(scene.GL.Counts[0], 48);
    EXPECT_EQ(scene.GL.Counts[2], 48);
    scene.SetDirty(0);
    EXPECT_EQ(scene.Dirty, Flags({0, 3, 4, 5, 6, 7, 8, 9}));
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[2], scene.GL.Counts[1]);
}

TEST_F(SceneLayers, FilterListsAndRanges)
{
    scene.RoomFilter = "3,5,7-9,";
    scene.Update();
    EXPECT_EQ(RoomRuns(List(0)), (std::vector<int>{3, 5, 7, 8, 9}));

    auto roomsFor = [&](const std::string& filter) {
        scene.RoomFilter = filter;
        scene.SetDirty(2);
        scene.Update();
        return RoomRuns(List(0));
    };
    // The current and the neighbour room are never repeated here; numbers
    // outside the project are skipped; a room named twice is built twice.
    EXPECT_EQ(roomsFor("9-7,"), std::vector<int>{});
    EXPECT_EQ(roomsFor("0-300,"), (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(roomsFor("1,2,11,-4,"), (std::vector<int>{3, 4}));  // "-4" is the range 0 to 4
    EXPECT_EQ(roomsFor("x,6, 4 ,"), (std::vector<int>{6, 4}));
    EXPECT_EQ(roomsFor("8-x,"), std::vector<int>{});
    EXPECT_EQ(roomsFor("4,4,"), (std::vector<int>{4}));
    EXPECT_EQ(scene.GL.Counts[0], 2 * 48);
    EXPECT_EQ(scene.Dirty[2], 0);
}

TEST_F(SceneLayers, AllFilterInAnyCase)
{
    scene.RoomFilter = "aLl,";
    scene.Update();
    EXPECT_EQ(RoomRuns(List(0)), (std::vector<int>{3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(scene.Dirty[2], 0);
}

TEST_F(SceneLayers, FilterWithoutCommaBuildsNothingAndStaysDirty)
{
    for (const char* filter : {"ALL", "4", ""}) {
        scene.RoomFilter = filter;
        scene.SetDirty(2);
        scene.Update();
        EXPECT_EQ(scene.GL.Counts[0], 0) << filter;
        EXPECT_EQ(scene.Dirty, Flags({2})) << filter;
        EXPECT_EQ(scene.Buffers[0].PrimitiveCount, 0u);
    }
    // The flag stays set until the filter has a field.
    scene.RoomFilter = "4,";
    scene.Update();
    EXPECT_EQ(RoomsOf(List(0)), std::set<int>{4});
    EXPECT_EQ(scene.Dirty, Flags({}));
}

TEST_F(SceneLayers, NeighbourEqualToCurrentIsNotDrawnTwice)
{
    project.neighbourRoom = 1;
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[1], 0);
    EXPECT_EQ(scene.Buffers[1].PrimitiveCount, 0u);
    EXPECT_EQ(scene.Dirty, Flags({1, 2}));
    // Its flag stays set, so a later neighbour is built by the next update.
    project.neighbourRoom = 4;
    scene.Update();
    EXPECT_EQ(RoomsOf(List(1)), std::set<int>{4});
    EXPECT_EQ(scene.Dirty, Flags({2}));

    project.neighbourRoom = 0;
    scene.SetDirty(1);
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[1], 0);
    EXPECT_EQ(scene.Dirty, Flags({1, 2}));
}

TEST_F(SceneLayers, HideNeighborsLeavesOutNeighbourAndFilterRooms)
{
    scene.RoomFilter = "ALL,";
    scene.HideNeighbors = 1;
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[0], 0);
    EXPECT_EQ(scene.GL.Counts[1], 0);
    EXPECT_EQ(RoomsOf(List(2)), std::set<int>{1});
    EXPECT_EQ(scene.Dirty, Flags({}));
    EXPECT_EQ(scene.Buffers[0].PrimitiveCount, 0u);
    EXPECT_EQ(scene.Buffers[1].PrimitiveCount, 0u);

    scene.HideNeighbors = 0;
    scene.SetDirty(1);
    scene.SetDirty(2);
    scene.Update();
    EXPECT_EQ(RoomsOf(List(1)), std::set<int>{2});
    EXPECT_EQ(RoomsOf(List(0)).size(), 8u);
}

TEST_F(SceneLayers, NoRoomsOrNoRoomOfInterestGiveEmptyBuffers)
{
    scene.RoomFilter = "3,";
    scene.Update();
    ASSERT_GT(scene.Buffers[2].PrimitiveCount, 0u);

    scene.RoomOfInterest = 11;
    scene.SetDirty(10);
    scene.Update();
    EXPECT_EQ(scene.GL.Vertices.Count(), 0);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(scene.Buffers[i].PrimitiveCount, 0u) << i;
    EXPECT_EQ(scene.Dirty, Flags({}));

    project.roomCount = 0;
    scene.RoomOfInterest = 1;
    scene.SetDirty(0);
    scene.Update();
    EXPECT_EQ(scene.GL.Vertices.Count(), 0);
    EXPECT_EQ(scene.Dirty, Flags({}));

    scene.Project = nullptr;
    scene.SetDirty(10);
    scene.Update();
    EXPECT_EQ(scene.Dirty, Flags({1}));  // no neighbour to build
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(SceneLayers, PlayerStartIsDrawnWithItsRoom)
{
    auto starts = [&](int list) {
        return WithTag(List(list), [](const tpick_tag& t) { return t.kind == TAG_PLAYER_START; }).size();
    };
    scene.RoomFilter = "3,";
    project.playerRoom = 3;
    scene.Update();
    EXPECT_EQ(starts(0), 36u);
    EXPECT_EQ(starts(1) + starts(2), 0u);

    project.playerRoom = 2;
    scene.SetDirty(10);
    scene.Update();
    EXPECT_EQ(starts(1), 36u);
    EXPECT_EQ(starts(0) + starts(2), 0u);

    project.playerRoom = 1;
    scene.SetDirty(10);
    scene.Update();
    EXPECT_EQ(starts(2), 36u);
    EXPECT_EQ(scene.Buffers[2].GroupTextures, (std::vector<int32_t>{5001, 5002}));
}

TEST_F(SceneLayers, SymbolLayersFollowTheEditMode)
{
    tcuarto& room1 = project.rooms[1];
    room1.lightCount = 1;
    room1.lights[1].column = 1;
    room1.lights[1].row = 1;
    room1.boxCount = 1;
    room1.boxes[1].column = 1;
    room1.boxes[1].row = 1;
    project.cameraCount = 2;
    project.cameras[1].room = 1;
    project.cameras[2].room = 2;
    project.flybyCount = 1;
    project.flybyCameras[1].room = 2;
    project.soundSourceCount = 1;
    project.soundSources[1].room = 1;

    scene.Update();
    for (int list = 7; list <= 11; ++list) EXPECT_EQ(scene.GL.Counts[list], 0) << list;

    struct Case {
        int mode, layer, list, kind;
        size_t vertices;
    };
    const Case cases[] = {
        {4, 5, 7, TAG_CAMERA, 2 * 36},  // current and neighbour room
        {6, 6, 8, TAG_LIGHT, 36},
        {8, 7, 9, TAG_BOX, 6},
        {9, 8, 10, TAG_FLYBY, 36 + 18},
        {10, 9, 11, TAG_SOUND, 36},
    };
    for (const Case& c : cases) {
        scene.EditMode = c.mode;
        scene.Update();  // the layer is not dirty: nothing new
        EXPECT_EQ(scene.GL.Counts[c.list], 0) << c.mode;
        scene.SetDirty(c.layer);
        scene.Update();
        const auto v = List(c.list);
        EXPECT_EQ(v.size(), c.vertices) << c.mode;
        EXPECT_EQ(WithTag(v, [&](const tpick_tag& t) { return t.kind == c.kind; }).size(), c.vertices);
        EXPECT_EQ(scene.Buffers[c.list].PrimitiveCount, c.vertices / 3);
        // Leaving the mode empties the layer on its next rebuild.
        scene.EditMode = 0;
        scene.SetDirty(0);
        scene.Update();
        EXPECT_EQ(scene.GL.Counts[c.list], 0) << c.mode;
        EXPECT_EQ(scene.Buffers[c.list].PrimitiveCount, 0u);
    }
}

TEST_F(SceneLayers, HiddenNeighbourHasNoSymbols)
{
    project.cameraCount = 1;
    project.cameras[1].room = 2;
    scene.EditMode = 4;
    scene.HideNeighbors = 1;
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[7], 0);
    scene.HideNeighbors = 0;
    scene.SetDirty(5);
    scene.Update();
    EXPECT_EQ(scene.GL.Counts[7], 36);
}

TEST_F(SceneLayers, SceneTransformIsAppliedToEveryVertex)
{
    project.neighbourRoom = 0;
    scene.Update();
    const auto plain = List(2);
    scene.Translation[0] = 1;
    scene.Translation[1] = 2;
    scene.Translation[2] = 3;
    scene.SetDirty(0);
    scene.Update();
    const auto moved = List(2);
    ASSERT_EQ(plain.size(), moved.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_FLOAT_EQ(moved[i].x, plain[i].x + 1);
        EXPECT_FLOAT_EQ(moved[i].y, plain[i].y - 2);
        EXPECT_FLOAT_EQ(moved[i].z, plain[i].z + 3);
    }
    // Scale applies before the translation.
    scene.Scale[0] = scene.Scale[1] = scene.Scale[2] = 2;
    scene.SetDirty(0);
    scene.Update();
    const auto scaled = List(2);
    for (size_t i = 0; i < plain.size(); ++i) EXPECT_FLOAT_EQ(scaled[i].x, 2 * (plain[i].x + 1));
}

TEST_F(SceneLayers, DeviceResetRebuildsEveryLayer)
{
    scene.RoomFilter = "3,";
    scene.Update();
    const uint32_t before = scene.Buffers[2].PrimitiveCount;
    ResetAllVertexBufferArrays();
    EXPECT_EQ(scene.Dirty, Flags({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(scene.Buffers[2].PrimitiveCount, 0u);
    EXPECT_FALSE(scene.Buffers[2].VertexBuffer);
    scene.Update();
    EXPECT_EQ(scene.Buffers[2].PrimitiveCount, before);
    EXPECT_TRUE(scene.Buffers[2].VertexBuffer);
    EXPECT_GT(scene.Buffers[0].PrimitiveCount, 0u);
}

TEST_F(SceneLayers, RelightingStartsFromTheAmbientColour)
{
    project.rooms[1].ambientColor = 0xFFFFFF;
    project.rooms[1].ambientIntensity = 0;
    scene.Lighting = 1;
    scene.Update();
    for (const auto& v : List(2)) EXPECT_EQ(ColorOf(v), 0xFFFFFFu);
    const auto before = List(2);

    project.rooms[1].ambientIntensity = 31;
    scene.SetDirty(6);
    scene.Update();
    const auto after = List(2);
    ASSERT_EQ(before.size(), after.size());
    uint8_t r = 255, g = 255, b = 255;
    ShadeRGB3(r, g, b, 31);
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].x, before[i].x);
        EXPECT_EQ(after[i].r, r);
    }
    EXPECT_EQ(scene.Dirty, Flags({2}));  // no filter fields
}
