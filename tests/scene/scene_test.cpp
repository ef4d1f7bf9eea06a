// The scene object: dirty flags, which rooms and symbols an update builds
// into which lists and buffers, the room box, and a small project drawn
// through the software device.
#include <gmock/gmock.h>

#include "display/colour_utils.h"
#include "support/view_fixture.h"

using ::testing::ElementsAre;

namespace {

using TFlags = std::array<uint8_t, SCENE_LAYERS>;

TFlags Flags(std::initializer_list<int> set)
{
    TFlags f{};
    for (int i : set) f[size_t(i)] = 1;
    return f;
}

// Ten flat 2 x 2 rooms in a row, current room 1, neighbour 2.
class Scene : public DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        OpenView(96, 96);
        for (int i = 0; i < 10; ++i) project.Room().At(3 * i, 0).Size(2, 2);
        project.currentRoom = 1;
        project.neighbourRoom = 2;
        scene.Project = &project;
    }
    void Update(int part)
    {
        scene.SetDirty(part);
        scene.Update();
        for (int i = 0; i < SCENE_BUFFERS; ++i)
            EXPECT_EQ(scene.Buffers[i].PrimitiveCount, uint32_t(scene.GL.Counts[i] / 3)) << i;
    }
    // The rooms of a list's faces in list order, each run once; or how many vertices of a kind it has.
    std::vector<int> Rooms(int list)
    {
        std::vector<int> rooms;
        for (const auto& v : ListVertices(scene.GL, list))
            if (TagOf(v).kind == TAG_SECTOR_FACE && (rooms.empty() || rooms.back() != TagOf(v).room))
                rooms.push_back(TagOf(v).room);
        return rooms;
    }
    int Count(int list, int kind)
    {
        int n = 0;
        for (const auto& v : ListVertices(scene.GL, list)) n += TagOf(v).kind == kind;
        return n;
    }

    TTestProject project;
    tr_scene scene;
};

}  // namespace

TEST(SceneObject, DirtyFlagsFieldsAndTheRoomBox)
{
    const std::pair<int, TFlags> rows[] = {{0, Flags({0, 3, 4, 5, 6, 7, 8, 9})},
                                           {1, Flags({1, 3, 4, 6})},
                                           {2, Flags({2, 3, 4})},
                                           {3, Flags({3})},
                                           {9, Flags({9})},
                                           {10, Flags({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
                                           {11, Flags({})},
                                           {127, Flags({})},
                                           {129 + 128, Flags({1, 3, 4, 6})},
                                           {-1, Flags({})}};
    for (const auto& [part, flags] : rows) {
        tr_scene s;
        EXPECT_EQ(s.Dirty, Flags({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        s.Dirty.fill(0);
        s.SetDirty(part);
        EXPECT_EQ(s.Dirty, flags) << "part " << part;
    }
    const std::tuple<const char*, char, int, int, const char*> fields[] = {
        {"", ',', 0, 1, ""},     {"4", ',', 0, 1, "4"},
        {"4,", ',', 2, 2, ""},   {"3,5,7-9,", ',', 4, 3, "7-9"},
        {",,", ',', 3, 1, ""},   {"7-9", '-', 2, 2, "9"},
        {"3,5", ',', 2, 7, "5"}, {"3,5", ',', 2, 0, "3"}};  // past the last field the last again
    for (const auto& [text, delimiter, count, n, field] : fields) {
        EXPECT_EQ(CountFields(text, delimiter), count) << text;
        EXPECT_EQ(GetField(text, delimiter, n), field) << text << " " << n;
    }

    TTestProject p;
    p.Room();
    p.Room().At(10, 20).Size(4, 3).Height(8);
    tr_scene s;
    s.Project = &p;
    p.rooms[1].lightCount = 2;
    s.InitRoomSectors(1);
    s.RoomOfInterest = 2;
    s.CenterOnRoom();
    EXPECT_THAT(s.BoxMin, ElementsAre(10.0, 0.0, -23.0));
    EXPECT_THAT(s.BoxMax, ElementsAre(14.0, 8.0, -20.0));
    EXPECT_THAT(s.Translation, ElementsAre(-12.0, -4.0, 21.5));
    EXPECT_EQ(p.rooms[1].lightCount, 0);
    s.RoomOfInterest = 3;  // no such room: everything stays
    s.BoxMin[0] = 0;
    s.CenterOnRoom();
    EXPECT_EQ(s.BoxMin[0], 0);
}

TEST_F(Scene, UpdateBuildsTheDirtyLayersOnly)
{
    scene.RoomFilter = "3,";
    Update(10);
    EXPECT_EQ(scene.Dirty, Flags({}));
    EXPECT_EQ(Rooms(2), std::vector<int>{1});
    EXPECT_EQ(Rooms(1), std::vector<int>{2});
    EXPECT_EQ(Rooms(0), std::vector<int>{3});
    EXPECT_EQ(scene.GL.Counts[2], 48);  // 4 floor, 4 ceiling quads
    EXPECT_EQ(scene.Buffers[2].GroupTextures, std::vector<int32_t>{5001});
    for (int room : {1, 2, 3}) project.At(room, 1, 1).floorBase = 1;  // walls appear where layers are rebuilt
    Update(1);
    EXPECT_EQ(scene.GL.Counts[2], 48);
    EXPECT_GT(scene.GL.Counts[1], 48);
    EXPECT_EQ(scene.GL.Counts[0], 48);
    Update(2);
    EXPECT_GT(scene.GL.Counts[0], 48);
    EXPECT_EQ(scene.GL.Counts[2], 48);
    ResetAllVertexBufferArrays();  // the buffers of a lost device are built again
    EXPECT_EQ(scene.Dirty, Flags({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_FALSE(scene.Buffers[2].VertexBuffer);
    Update(0);
    EXPECT_EQ(scene.GL.Counts[2], scene.GL.Counts[1]);
    EXPECT_TRUE(scene.Buffers[2].VertexBuffer);

    // Without the room of interest or rooms nothing is built; without a
    // neighbour or filter fields those layers stay dirty.
    scene.RoomOfInterest = 11;
    scene.RoomFilter = "";
    Update(10);
    EXPECT_EQ(scene.GL.Vertices.Count(), 0);
    EXPECT_EQ(scene.Dirty, Flags({2}));
    scene.Project = nullptr;
    Update(10);
    EXPECT_EQ(scene.GL.Vertices.Count(), 0);
    EXPECT_EQ(scene.Dirty, Flags({1, 2}));
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(Scene, FilterRoomsNeighbourAndHiddenNeighbours)
{
    // Never the current or the neighbour room again; numbers outside the
    // project skipped; ranges; blanks around numbers; other text is room 0.
    const std::pair<const char*, std::vector<int>> filters[] = {
        {"3,5,7-9,", {3, 5, 7, 8, 9}}, {"9-7,", {}}, {"0-300,", {3, 4, 5, 6, 7, 8, 9, 10}}, {"1,2,11,-4,", {3, 4}},
        {"x,6, 4 ,", {6, 4}},          {"8-x,", {}}, {"aLl,", {3, 4, 5, 6, 7, 8, 9, 10}},   {"4,4,", {4}}};
    for (const auto& [filter, rooms] : filters) {
        scene.RoomFilter = filter;
        Update(2);
        EXPECT_EQ(Rooms(0), rooms) << filter;
        EXPECT_EQ(int(scene.Dirty[2]), 0) << filter;
    }
    EXPECT_EQ(scene.GL.Counts[0], 2 * 48);         // a room named twice is built twice
    for (const char* filter : {"ALL", "4", ""}) {  // without a comma: nothing, and the flag stays
        scene.RoomFilter = filter;
        Update(2);
        EXPECT_EQ(scene.GL.Counts[0], 0) << filter;
        EXPECT_EQ(scene.Dirty, Flags({2})) << filter;
    }
    // A neighbour that is the current room is not drawn twice; its flag
    // stays, so that a later neighbour is built.
    project.neighbourRoom = 1;
    Update(1);
    EXPECT_EQ(scene.GL.Counts[1], 0);
    EXPECT_EQ(scene.Dirty, Flags({1, 2}));
    project.neighbourRoom = 4;
    scene.Update();
    EXPECT_EQ(Rooms(1), std::vector<int>{4});
    scene.RoomFilter = "ALL,";  // hidden neighbours: no neighbour and no filter rooms
    scene.HideNeighbors = 1;
    Update(10);
    EXPECT_EQ(scene.GL.Counts[0] + scene.GL.Counts[1], 0);
    EXPECT_EQ(Rooms(2), std::vector<int>{1});
    EXPECT_EQ(scene.Dirty, Flags({}));
}

TEST_F(Scene, PlayerStartAndSymbolsFollowTheirRoomsAndEditModes)
{
    scene.RoomFilter = "3,";
    for (int room : {3, 2, 1}) {
        project.playerRoom = int16_t(room);
        Update(10);
        const int all = Count(0, TAG_PLAYER_START) + Count(1, TAG_PLAYER_START) + Count(2, TAG_PLAYER_START);
        EXPECT_EQ(Count(3 - room, TAG_PLAYER_START), 36) << room;  // filter, neighbour or current room's list
        EXPECT_EQ(all, 36) << room;
    }
    EXPECT_EQ(scene.Buffers[2].GroupTextures, (std::vector<int32_t>{5001, 5002}));

    tcuarto& room1 = project.rooms[1];
    room1.lightCount = room1.boxCount = 1;
    room1.lights[1].column = room1.lights[1].row = room1.boxes[1].column = room1.boxes[1].row = 1;
    project.cameraCount = 2;
    project.cameras[1].room = 1;
    project.cameras[2].room = 2;
    project.flybyCount = 1;
    project.flybyCameras[1].room = 2;
    project.soundSourceCount = 1;
    project.soundSources[1].room = 1;
    const struct {
        int mode, layer, list, kind, vertices, hidden;  // with the neighbour hidden
    } rows[] = {{4, 5, 7, TAG_CAMERA, 2 * 36, 36},
                {6, 6, 8, TAG_LIGHT, 36, 36},
                {8, 7, 9, TAG_BOX, 6, 6},
                {9, 8, 10, TAG_FLYBY, 36 + 18, 0},
                {10, 9, 11, TAG_SOUND, 36, 36}};
    for (const auto& r : rows) {
        scene.EditMode = r.mode;
        scene.Update();  // not dirty: nothing new
        EXPECT_EQ(scene.GL.Counts[r.list], 0) << r.mode;
        Update(r.layer);
        EXPECT_EQ(Count(r.list, r.kind), r.vertices) << r.mode;
        EXPECT_EQ(scene.GL.Counts[r.list], r.vertices) << r.mode;
        scene.HideNeighbors = 1;
        Update(r.layer);
        EXPECT_EQ(scene.GL.Counts[r.list], r.hidden) << r.mode;
        scene.HideNeighbors = 0;
        scene.EditMode = 0;  // leaving the mode empties the layer
        Update(0);
        EXPECT_EQ(scene.GL.Counts[r.list], 0) << r.mode;
    }
}

TEST_F(Scene, TransformAndRelighting)
{
    project.neighbourRoom = 0;
    scene.Update();
    const auto plain = ListVertices(scene.GL, 2);
    scene.Translation[0] = 1;
    scene.Translation[1] = 2;
    scene.Translation[2] = 3;
    scene.Scale[0] = scene.Scale[1] = scene.Scale[2] = 2;  // scale applies first
    project.rooms[1].ambientColor = 0xFFFFFF;
    scene.Lighting = 1;
    Update(0);
    const auto moved = ListVertices(scene.GL, 2);
    ASSERT_EQ(plain.size(), moved.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        EXPECT_TRUE(NearPoint(moved[i], 2 * (plain[i].x + 1), 2 * (plain[i].y - 2), 2 * (plain[i].z + 3)));
        EXPECT_EQ(ColorOf(moved[i]), 0xFFFFFFu);
    }
    // Relighting alone starts again from the room's ambient colour.
    project.rooms[1].ambientIntensity = 31;
    Update(6);
    uint8_t r = 255, g = 255, b = 255;
    ShadeRGB3(r, g, b, 31);
    const auto relit = ListVertices(scene.GL, 2);
    for (size_t i = 0; i < relit.size(); ++i) {
        EXPECT_EQ(relit[i].x, moved[i].x) << i;
        EXPECT_EQ(relit[i].r, r) << i;
    }
    EXPECT_EQ(scene.Dirty, Flags({1, 2}));  // no neighbour, no filter
}

TEST_F(Scene, RoomsSeenThroughTheDevice)
{
    // Two 4 x 4 rooms side by side, the second one deadly; a raised block in
    // the first with a flagged wall; the player start in the second.
    project = TTestProject();
    project.Room().Size(4, 4);
    project.Room().At(4, 0).Size(4, 4);
    for (int i = 1; i <= 16; ++i) project.At(2, (i - 1) % 4 + 1, (i - 1) / 4 + 1).death = 1;
    project.currentRoom = 1;
    project.neighbourRoom = 2;
    scene.Update();
    TSceneCamera camera;
    auto pixel = [&](double x, double h, double z) { return camera.PixelAt(views[0]->host, x, h, z); };
    auto frame = [&](double x, double h, double z, double distance) {
        camera.Frame(scene.Buffers, false, x, h, z, distance);
    };
    constexpr uint32_t floor = 0xFFF57030, death = 0xFF800000, ceiling = 0xFFF59450, black = 0xFF000000;
    frame(4, 0, -2, 12);  // from above the ceilings turn their backs: the floors show
    EXPECT_EQ(pixel(2, 0, -2), floor);
    EXPECT_EQ(pixel(1, 0, -3), floor);
    EXPECT_EQ(pixel(6, 0, -2), death);
    EXPECT_EQ(pixel(7, 0, -1), death);
    EXPECT_EQ(pixel(-0.5, 0, -2), black);
    EXPECT_EQ(pixel(4, 0, 1), black);
    frame(4, 4, -2, -12);  // from below, the ceilings
    EXPECT_EQ(pixel(2, 4, -2), ceiling);
    EXPECT_EQ(pixel(6, 4, -2), ceiling);
    EXPECT_EQ(pixel(8.5, 4, -2), black);

    for (int i = 0; i < 4; ++i) project.At(1, 2 + i % 2, 2 + i / 2).floorBase = 2;
    project.At(1, 2, 2).wallFlags[0] = 1;
    project.playerRoom = 2;
    project.playerColumn = 2;
    project.playerRow = 2;
    scene.HideCeilings = 1;
    Update(10);
    frame(2, 2, -2, 10);
    EXPECT_EQ(pixel(2, 2, -2), floor);  // the block's top
    frame(5.5, 0.2, -1.5, 3);           // the start box, 0.2 units high, on sector (2, 2) of room 2
    EXPECT_EQ(pixel(5.5, 0.2, -1.5), 0xFFFF0000u);
    EXPECT_EQ(pixel(5.1, 0, -1.9), death);
    // The block's side 0 wall faces an eye over row 1.
    camera.Look(D3DXVECTOR3(2, -3, 3), D3DXVECTOR3(2, -1, -1), D3DXVECTOR3(0, -1, 0));
    TSceneCamera::Frame(scene.Buffers, false);
    EXPECT_EQ(pixel(1.5, 1, -1), 0xFF808080u);
    EXPECT_EQ(pixel(2.5, 1, -1), 0xFFFF7030u);
}
