// What the scene holds at most: the room geometry of the largest valid
// project, counted sector by sector, and the level's meshes within their
// work, whatever a project and a level ask for beyond that.
#include "support/view_fixture.h"

namespace {

int64_t RoomVertices(const tr_scene& scene)
{
    return int64_t(scene.GL.Counts[0]) + scene.GL.Counts[1] + scene.GL.Counts[2];
}

void Rebuild(tr_scene& scene)
{
    scene.SetDirty(10);
    scene.Update();
}

}  // namespace

// A room six units high whose middle sector draws every face it has: a
// floor split with both halves steep, so that its four walls and both
// halves are walls of six pieces up to the room's top (36 quads), and a
// ceiling six units down with four walls of six pieces, their top pieces
// and the face (29 quads), beside neighbours that are lower everywhere.
// That is the most a sector draws in the largest room there is.
TEST(SceneBounds, ASectorWithEveryFaceDrawnMakesTheMostThereIs)
{
    TTestProject project;
    project.Room().Height(6).Size(3, 3);
    tsector& s = project.At(1, 2, 2);
    s.floorSplit = 1;
    s.floorZFall = s.floorZRise = 16;  // corners c2 and c4 four units up
    s.ceilingBase = 6;
    s.ceilingZFall = -1;  // corners c1 and c2 a quarter less deep: the sector stays open
    tr_scene scene;
    scene.Project = &project;
    scene.Update();
    const auto all = ListVertices(scene.GL, 2);
    int floor = 0, ceiling = 0;
    for (const auto& v : all) {
        const tpick_tag t = TagOf(v);
        if (t.column == 2 && t.row == 2) ++(t.part == 0 ? floor : ceiling);
    }
    EXPECT_EQ(floor, 36 * 6);
    EXPECT_EQ(ceiling, 29 * 6);
    EXPECT_EQ(floor + ceiling, SECTOR_MOST_VERTICES);
    EXPECT_EQ(MAX_ROOM_VERTICES, 255 * 20 * 20 * SECTOR_MOST_VERTICES + 36);
    EXPECT_EQ(scene.GL.Dropped, 0);
}

// Room geometry fills its budget and no more: a project that makes just
// that much is drawn whole; with a vertex less of budget its last shape (a
// quad) is left out whole, and the other layers keep everything. The budget counts
// what the room layers already hold when one of them is rebuilt.
TEST(SceneBounds, RoomGeometryIsDrawnWholeUpToItsBudget)
{
    TTestProject project;
    for (int n = 0; n < 3; ++n) project.Room().At(5 * n, 0).Height(6).Size(4, 4);
    for (int n = 1; n <= 3; ++n) project.At(n, 2, 3).floorBase = 2;
    project.currentRoom = 1;
    project.neighbourRoom = 2;
    project.playerRoom = 3;
    project.cameraCount = 1;
    project.cameras[1] = tcamera{};
    project.cameras[1].room = 1;
    tr_scene scene;
    scene.Project = &project;
    scene.RoomFilter = "ALL,";
    scene.EditMode = 4;
    Rebuild(scene);
    const int64_t whole = RoomVertices(scene);
    const int32_t cameras = scene.GL.Counts[7];
    ASSERT_GT(whole, 3 * 16 * 12);
    ASSERT_EQ(cameras, 36);

    const struct {
        int64_t budget;
        int64_t held;
    } budgets[] = {{whole, whole}, {whole - 1, whole - 6}, {whole - 6, whole - 6}, {0, 0}};
    for (const auto& b : budgets) {
        scene.RoomVertexBudget = b.budget;
        scene.GL.Dropped = 0;
        Rebuild(scene);
        EXPECT_EQ(RoomVertices(scene), b.held) << b.budget;
        EXPECT_EQ(scene.GL.Dropped, whole - b.held) << b.budget;
        for (int list = 0; list < 3; ++list) EXPECT_EQ(scene.GL.Counts[list] % 3, 0) << b.budget;
        EXPECT_EQ(scene.GL.Counts[7], cameras) << b.budget;
    }
    // Rebuilding the current room alone finds the others' vertices counted.
    scene.RoomVertexBudget = whole;
    Rebuild(scene);
    scene.RoomVertexBudget = whole - 6;
    scene.GL.Dropped = 0;
    scene.SetDirty(0);
    scene.Update();
    EXPECT_EQ(RoomVertices(scene), whole - 6);
    EXPECT_EQ(scene.GL.Dropped, 6);
}

// The level's meshes stay within the level work of an update however a
// project and a level multiply them, while the rooms are drawn whole.
TEST(SceneBounds, LevelMeshesStayWithinTheirWork)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    d.object_textures.push_back(SquareTexture(0));
    TMeshDesc big = MakeCubeMesh(250, 0);
    for (int k = 0; k < 5; ++k) big.textured_quads.insert(big.textured_quads.end(), 100, big.textured_quads[0]);
    d.static_meshes.push_back({});
    d.static_meshes.back().mesh = uint16_t(AddMesh(d, big));
    TLevelMeshes level;
    level.Load(d);
    const int64_t perStatic = 1 + 8 + 6 * int64_t(6 + 500);

    TTestProject project;
    project.Room().Size(4, 4);
    project.Room().At(6, 0).Size(4, 4);
    for (int n = 1; n <= 2; ++n) {
        tcuarto& room = project.rooms[size_t(n)];
        room.staticCount = MAX_ROOM_STATICS;
        for (int k = 1; k <= MAX_ROOM_STATICS; ++k)
            room.statics[size_t(k)] = troom_static{0, 2, 2, 0, 0, 0, 0, 0, 0, 0};
    }
    project.currentRoom = 1;
    project.neighbourRoom = 2;
    tr_scene scene;
    scene.Project = &project;
    scene.Level = level.level.get();
    scene.Meshes = &level.meshes;
    const struct {
        int64_t budget;
        int32_t statics;  // drawn whole
    } budgets[] = {{LevelDrawWork, 2 * MAX_ROOM_STATICS}, {7 * perStatic + 5, 7}, {perStatic - 1, 0}};
    for (const auto& b : budgets) {
        scene.LevelWorkBudget = b.budget;
        Rebuild(scene);
        EXPECT_EQ(scene.GL.Counts[3], b.statics * 6 * (6 + 500)) << b.budget;
        EXPECT_LE(scene.GL.Counts[3], b.budget) << b.budget;
        EXPECT_EQ(scene.GL.LevelWorkLeft, b.budget - b.statics * perStatic) << b.budget;
        EXPECT_EQ(RoomVertices(scene), 2 * 16 * 12) << b.budget;
    }
}

// The largest project drawn whole: 255 rooms of 20 x 20 sectors, every
// third sector along each way drawing every face it has, make more
// vertices than the scene once kept (2^22); each room makes what it makes
// alone, and together they make 255 times that, within the budget.
TEST(SceneBounds, TheLargestProjectIsDrawnWhole)
{
    TTestProject project;
    for (int n = 0; n < 255; ++n) {
        project.Room().At(21 * (n % 15), 21 * (n / 15)).Height(6).Size(20, 20);
        for (int i = 2; i < 20; i += 3)
            for (int j = 2; j < 20; j += 3) {
                tsector& s = project.At(project.roomCount, i, j);
                s.floorSplit = 1;
                s.floorZFall = s.floorZRise = 16;
                s.ceilingBase = 6;
                s.ceilingZFall = -1;
            }
    }
    project.currentRoom = 1;
    project.neighbourRoom = 2;
    tr_scene scene;
    scene.Project = &project;
    scene.HideNeighbors = 1;
    scene.Update();
    const int64_t room = scene.GL.Counts[2];
    EXPECT_EQ(room, 36 * SECTOR_MOST_VERTICES + (400 - 36) * 12);

    scene.HideNeighbors = 0;
    scene.RoomFilter = "ALL,";
    Rebuild(scene);
    EXPECT_EQ(scene.GL.Dropped, 0);
    EXPECT_EQ(RoomVertices(scene), 255 * room);
    EXPECT_GT(RoomVertices(scene), int64_t(1) << 22);
    EXPECT_LE(RoomVertices(scene), MAX_ROOM_VERTICES);
}
