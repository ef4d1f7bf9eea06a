// The mesh list of a large level (every mesh parsed, every pointer mapped)
// and 1,000 items drawn as posed moveables through the drawing layer, as a
// rebuild of the items layer does it.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "display/drawing_layer.h"
#include "level/trlevel.h"
#include "scene/mesh_draw.h"
#include "scene/mesh_list.h"
#include "scene/moveable_pose.h"
#include "support/level_writer.h"
#include "support/temp_dir.h"

namespace {

constexpr int kMoveables = 300;
constexpr int kMeshesPerMoveable = 15;  // a character's body
constexpr int kStatics = 1000;
constexpr int kItems = 1000;

// TR4 layout: 300 moveables of 15 meshes and 1,000 static meshes, 5,500
// meshes in all, written to a file and read back.
const Ttrlevel& LargeLevel()
{
    static const std::unique_ptr<Ttrlevel> level = [] {
        TempDir dir;
        const std::string name = dir.file("large.tr4");
        SaveLevelFile(name, MakeMeshLevel(LEVEL_TR4, kMoveables, kMeshesPerMoveable, 4, kStatics));
        auto l = std::make_unique<Ttrlevel>();
        if (l->LoadFromFile(name) != LEVEL_LOADED) std::abort();
        return l;
    }();
    return *level;
}

// The large level's mesh list and a drawing layer to draw into.
struct TMeshDrawing {
    TMeshDrawing() { BuildMeshList(list, level); }
    const Ttrlevel& level = LargeLevel();
    Tmesh_list list;
    TxGL gl;
};

// The items into list 5, as the items layer emits them: posed ones each in
// its own frame and turn, else all in the first frame, unturned.
void DrawItems(TMeshDrawing& d, bool posed)
{
    d.gl.SetList(5);
    for (int i = 0; i < kItems; ++i)
        BuildMoveableObject(d.gl, LEVEL_TEXTURE_FIRST_ID, d.list, d.level, i % kMoveables, 0, posed ? i % 4 : 0, i % 40,
                            0, i / 40, posed ? uint16_t((i % 8) * 45) : 0, LEVEL_OBJECT_SCALE, false, 0, 0, 0);
}

// Times one drawing per iteration into the emptied drawing layer (draw
// emits into the list) and reports the list's vertices per second; returns
// the list's vertex count.
template <class FDraw>
int64_t TimeDrawing(benchmark::State& state, TMeshDrawing& d, int list, FDraw draw)
{
    int64_t vertices = 0;
    for (auto _ : state) {
        d.gl.ClearList(-1);
        d.gl.LoadIdentity();
        draw();
        vertices = d.gl.Counts[list];
    }
    state.counters["vertices_per_second"] =
        benchmark::Counter(double(vertices), benchmark::Counter::kIsIterationInvariantRate);
    return vertices;
}

void BM_BuildMeshList(benchmark::State& state)
{
    const Ttrlevel& level = LargeLevel();
    Tmesh_list list;
    for (auto _ : state) {
        BuildMeshList(list, level);
        benchmark::DoNotOptimize(list.count);
    }
    state.counters["meshes"] = double(list.count);
    state.counters["meshes_per_second"] =
        benchmark::Counter(double(list.count), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["mesh_data_MB"] = double(level.num_mesh_data) * 2 / 1e6;
}
BENCHMARK(BM_BuildMeshList)->Unit(benchmark::kMillisecond);

// 1,000 items, each a posed moveable at its own place and angle, emitted
// into one list as the items layer does; the drawing layer is emptied
// between rounds.
void BM_DrawPosedItems(benchmark::State& state)
{
    TMeshDrawing d;
    d.gl.ColoredFaceTexture = 5002;
    const int64_t vertices = TimeDrawing(state, d, 5, [&] {
        d.gl.PushMatrix();
        DrawItems(d, true);
        d.gl.PopMatrix();
    });
    state.counters["vertices"] = double(vertices);
}
BENCHMARK(BM_DrawPosedItems)->Unit(benchmark::kMillisecond);

// The same items, then the vertex list sorted as the scene's update does
// once per rebuild.
void BM_DrawPosedItemsAndSort(benchmark::State& state)
{
    TMeshDrawing d;
    TimeDrawing(state, d, 5, [&] {
        DrawItems(d, false);
        d.gl.Vertices.Sort();
    });
}
BENCHMARK(BM_DrawPosedItemsAndSort)->Unit(benchmark::kMillisecond);

// 1,000 statics: single meshes, shaded per corner.
void BM_DrawStatics(benchmark::State& state)
{
    TMeshDrawing d;
    TimeDrawing(state, d, 3, [&] {
        d.gl.SetList(3);
        for (int i = 0; i < kStatics; ++i) {
            const uint16_t mesh = d.level.static_meshes[size_t(i)].mesh;
            BuildMeshObject(d.gl, LEVEL_TEXTURE_FIRST_ID, d.list, d.level, d.list.MapPointer(mesh), i % 40, 0, i / 40,
                            float((i % 8) * 45), LEVEL_OBJECT_SCALE, false, false, false, 0xC0A080);
        }
    });
}
BENCHMARK(BM_DrawStatics)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
