// What the scene holds at most: the room geometry of the largest project
// that can be read, counted sector by sector, and the level's meshes within
// their work, whatever a project and a level ask for beyond that.
#include "level/project_file.h"
#include "support/scoped_value.h"
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

// A sector that draws every face it has in a room at least 255 units high
// among lower neighbours: the most a sector draws.
void DrawEverything(tsector& s)
{
    s.floorSplit = 1;
    s.floorZFall = s.floorZRise = 16;  // corners c2 and c4 four units up: both halves steep
    s.ceilingBase = INT8_MAX;
}

}  // namespace

// A room at least 255 units high whose middle sector draws every face it
// has: a floor split with both halves steep, so that its four walls and
// both halves are walls of 255 pieces up to the room's top (the most a
// strip has: 6 x 255 quads), and a ceiling 127 units down (the most a
// signed byte holds) with four walls of 127 pieces, their top pieces and
// the face (4 x 128 + 1 quads), beside neighbours that are lower
// everywhere. That is the most a sector draws; a room a unit less high
// makes a piece less of each of the six floor strips.
TEST(SceneBounds, ASectorWithEveryFaceDrawnMakesTheMostThereIs)
{
    const struct {
        int height;
        int64_t floorQuads;
    } rooms[] = {{255, 6 * 255}, {300, 6 * 255}, {65535, 6 * 255}, {254, 6 * 254}};
    EXPECT_EQ(SECTOR_MOST_VERTICES, 12258);
    for (const auto& r : rooms) {
        TTestProject project;
        project.Room().Height(r.height).Size(3, 3);
        DrawEverything(project.At(1, 2, 2));
        tr_scene scene;
        scene.Project = &project;
        scene.Update();
        int64_t floor = 0, ceiling = 0;
        for (const auto& v : ListVertices(scene.GL, 2)) {
            const tpick_tag t = TagOf(v);
            if (t.column == 2 && t.row == 2) ++(t.part == 0 ? floor : ceiling);
        }
        EXPECT_EQ(floor, 6 * r.floorQuads) << r.height;
        EXPECT_EQ(ceiling, 6 * (4 * 128 + 1)) << r.height;
        EXPECT_EQ(floor + ceiling == SECTOR_MOST_VERTICES, r.floorQuads == 6 * 255) << r.height;
        EXPECT_EQ(scene.GL.Dropped, 0) << r.height;
    }
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

// The project of 255 rooms of 20 x 20 sectors drawn whole: every third
// sector along each way drawing every face it has in a room six units high
// (390 vertices: six strips of six pieces up to the top, four ceiling walls
// of six pieces with their top pieces, and the face) make more vertices
// than the scene once kept (2^22); each room makes what it makes alone, and
// together they make 255 times that, within the bound.
TEST(SceneBounds, TheLargestProjectOfTheEditorIsDrawnWhole)
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
    EXPECT_EQ(room, 36 * 390 + (400 - 36) * 12);

    scene.HideNeighbors = 0;
    scene.RoomFilter = "ALL,";
    Rebuild(scene);
    EXPECT_EQ(scene.GL.Dropped, 0);
    EXPECT_EQ(RoomVertices(scene), 255 * room);
    EXPECT_GT(RoomVertices(scene), int64_t(1) << 22);
    EXPECT_LE(RoomVertices(scene), MostRoomVertices(ProjectMemoryLimit));
}

// Rooms of 255 x 255 sectors, the largest grid drawn, as the current and
// the neighbour room: the one with a sector drawing every face it has at
// every 32nd column and row, the other flat. Each is drawn whole.
TEST(SceneBounds, RoomsOf255By255SectorsAreDrawnWhole)
{
    TTestProject project;
    project.Room().Height(300).Size(255, 255);
    project.Room().At(300, 0).Height(8).Size(255, 255);
    for (int i = 16; i < 255; i += 32)
        for (int j = 16; j < 255; j += 32) DrawEverything(project.At(1, i, j));
    project.currentRoom = 1;
    project.neighbourRoom = 2;
    tr_scene scene;
    scene.Project = &project;
    scene.Update();
    // A flat sector draws its floor and its ceiling.
    EXPECT_EQ(scene.GL.Counts[2], 255 * 255 * 12 + 8 * 8 * (SECTOR_MOST_VERTICES - 12));
    EXPECT_EQ(scene.GL.Counts[1], 255 * 255 * 12);
    EXPECT_EQ(scene.GL.Dropped, 0);
    EXPECT_LE(RoomVertices(scene), MostRoomVertices(ProjectMemoryLimit));
}

// A project that takes all the memory the project reader grants (here a
// lowered limit: three rooms of 3 x 3 sectors, each with a sector drawing
// every face it has) is read and drawn whole within the bound that limit
// gives; a byte less and it is not read. The bound follows the limit as it
// is at each update: lowered to one sector, what lies past it is left out.
TEST(SceneBounds, AProjectAtTheReadersMemoryLimitIsDrawnWhole)
{
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    TTestProject project;
    for (int n = 0; n < 3; ++n) {
        project.Room().At(4 * n, 0).Height(300).Size(3, 3);
        DrawEverything(project.At(n + 1, 2, 2));
    }
    project.currentRoom = 1;
    project.neighbourRoom = 2;
    project.playerRoom = 3;
    TempDir dir;
    const std::string name = dir.file("limit.vel");
    int saves = 0;
    SaveProject(project, name, 0, 0, saves);
    const int64_t grids = 3 * 4 * 4 * int64_t(sizeof(tsector));  // with row and column 0
    tcuarto_list loaded;
    {
        TScopedValue limit(ProjectMemoryLimit, grids - 1);
        ASSERT_EQ(LoadProject(loaded, name), 1);
    }
    TScopedValue limit(ProjectMemoryLimit, grids);
    ASSERT_EQ(LoadProject(loaded, name), 0);
    tr_scene scene;
    scene.Project = &loaded;
    scene.RoomFilter = "ALL,";
    scene.Update();
    const int64_t whole = 3 * (SECTOR_MOST_VERTICES + 8 * 12) + PLAYER_START_VERTICES;
    EXPECT_EQ(RoomVertices(scene), whole);
    EXPECT_EQ(scene.GL.Dropped, 0);
    EXPECT_EQ(MostRoomVertices(ProjectMemoryLimit), 48 * SECTOR_MOST_VERTICES + PLAYER_START_VERTICES);
    EXPECT_LE(whole, MostRoomVertices(ProjectMemoryLimit));

    ProjectMemoryLimit = sizeof(tsector);
    Rebuild(scene);
    const int64_t bound = SECTOR_MOST_VERTICES + PLAYER_START_VERTICES;
    EXPECT_EQ(MostRoomVertices(ProjectMemoryLimit), bound);
    EXPECT_LE(RoomVertices(scene), bound);
    EXPECT_GT(RoomVertices(scene), bound - 6);
    EXPECT_EQ(scene.GL.Dropped, whole - RoomVertices(scene));
    EXPECT_EQ(sink.Texts().front(), OUT_OF_MEMORY_MESSAGE);  // the refusal (without a device no buffers follow)
    EXPECT_TRUE(sink.exceptions.empty());
}

// The sectors the bound counts: 255 rooms of 255 x 255 sectors, unless the
// memory limit lets fewer records be read.
TEST(SceneBounds, TheBoundCountsWhatTheMemoryLimitLetsBeRead)
{
    const std::pair<int64_t, int64_t> limits[] = {{0, 0},
                                                  {-5, 0},
                                                  {int64_t(sizeof(tsector)) - 1, 0},
                                                  {int64_t(sizeof(tsector)) * 1000 + 5, 1000},
                                                  {int64_t(768) << 20, (int64_t(768) << 20) / 2106},
                                                  {INT64_MAX, 255 * 255 * 255}};
    for (const auto& [limit, sectors] : limits) {
        EXPECT_EQ(MostProjectSectors(limit), sectors) << limit;
        EXPECT_EQ(MostRoomVertices(limit), sectors * SECTOR_MOST_VERTICES + PLAYER_START_VERTICES) << limit;
    }
}
