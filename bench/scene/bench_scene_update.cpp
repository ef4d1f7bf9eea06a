// Rebuilding every layer of a large project: 255 rooms of 20 x 20 sectors
// with varied heights, splits, slopes and steep halves, all shown through
// the "ALL," filter. Geometry, drawing layer, sort and vertex buffers.
#include <benchmark/benchmark.h>

#include <memory>

#include "scene/scene.h"
#include "support/offscreen_device.h"
#include "support/project_fixture.h"

namespace {

constexpr int kRooms = 255;
constexpr int kSize = 20;

void MakeLargeProject(tcuarto_list& p)
{
    ResetProject(p);
    p.rooms.resize(kRooms + 1 + SPARE_ROOM_SLOTS);
    TFixtureRandom rnd(7);
    for (int n = 1; n <= kRooms; ++n) {
        tcuarto& r = p.rooms[size_t(n)];
        r.columns = kSize;
        r.rows = kSize;
        r.height = uint16_t(8 + rnd.Below(5));
        r.x = (n - 1) % 15 * (kSize + 1);
        r.z = (n - 1) / 15 * (kSize + 1);
        r.y = rnd.Below(4);
        p.roomCount = uint8_t(n);
        InitRoomSectors(p, uint8_t(n));
        for (int i = 1; i <= kSize; ++i)
            for (int j = 1; j <= kSize; ++j) {
                tsector& s = r.sectors[i][j];
                if (i == 1 || j == 1 || i == kSize || j == kSize) continue;  // walls stand on the border
                s.floorBase = int8_t(rnd.Below(4));
                s.floorClicks = int8_t(rnd.Below(4));
                s.ceilingBase = int8_t(rnd.Below(3));
                const int kind = rnd.Below(10);
                if (kind < 3) {  // a slope
                    s.floorZFall = int8_t(rnd.Below(5));
                    s.floorXRise = int8_t(rnd.Below(5));
                } else if (kind < 6) {  // a split floor, sometimes with a steep half
                    s.floorSplit = uint8_t(1 + rnd.Below(2));
                    s.floorZFall = int8_t(rnd.Below(5) + (rnd.Below(4) == 0 ? 14 : 0));
                    s.floorZRise = int8_t(rnd.Below(5));
                    s.ceilingSplit = uint8_t(rnd.Below(3));
                }
                if (rnd.Below(20) == 0) s.death = 1;
                if (rnd.Below(30) == 0) s.faceFlags = 0x10;
            }
    }
    p.currentRoom = 1;
    p.neighbourRoom = 2;
    p.playerRoom = 5;
}

int64_t VertexCount(const tr_scene& scene)
{
    int64_t n = 0;
    for (int64_t c : scene.GL.Counts) n += c;
    return n;
}

// The vertices built, so that a scene cut short cannot pass for a fast
// one; a scene that left any out is no measure at all.
void ReportVertices(benchmark::State& state, int64_t vertices, int64_t dropped)
{
    if (dropped != 0) state.SkipWithError("the drawing layer left vertices out");
    state.counters["vertices"] = double(vertices);
    state.counters["vertices_per_second"] =
        benchmark::Counter(double(vertices), benchmark::Counter::kIsIterationInvariantRate);
}

// The large project shown through the "ALL," filter, textured or not,
// built once on the device.
struct TBuiltScene {
    explicit TBuiltScene(uint8_t textured = 0)
    {
        MakeLargeProject(project);
        scene.Project = &project;
        scene.RoomFilter = "ALL,";
        scene.Textured = textured;
        scene.Update();
    }
    TOffscreenDevice device;
    tcuarto_list project;
    tr_scene scene;
};

// The first build of a new scene, as after opening a project: every list,
// buffer and table of the drawing layer grows from nothing.
void BM_FirstUpdate(benchmark::State& state)
{
    TOffscreenDevice device;
    tcuarto_list project;
    MakeLargeProject(project);
    int64_t vertices = 0, dropped = 0;
    for (auto _ : state) {
        auto scene = std::make_unique<tr_scene>();
        scene->Project = &project;
        scene->RoomFilter = "ALL,";
        scene->Update();
        vertices = VertexCount(*scene);
        dropped += scene->GL.Dropped;
        state.PauseTiming();
        scene.reset();
        state.ResumeTiming();
    }
    ReportVertices(state, vertices, dropped);
}

// Every layer again (SetDirty(10)), textured or not, once the scene has
// been built before.
void BM_UpdateAllLayers(benchmark::State& state)
{
    TBuiltScene built(uint8_t(state.range(0)));
    tr_scene& scene = built.scene;
    for (auto _ : state) {
        scene.SetDirty(10);
        scene.Update();
    }
    ReportVertices(state, VertexCount(scene), scene.GL.Dropped);
}

// Changing the current room: layer 0 alone, with every filter room kept.
void BM_UpdateCurrentRoom(benchmark::State& state)
{
    TBuiltScene built;
    tr_scene& scene = built.scene;
    for (auto _ : state) {
        scene.SetDirty(0);
        scene.Update();
    }
    ReportVertices(state, scene.GL.Counts[2], scene.GL.Dropped);
}

}  // namespace

BENCHMARK(BM_FirstUpdate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateAllLayers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateCurrentRoom)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
