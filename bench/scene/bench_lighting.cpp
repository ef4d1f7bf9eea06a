// One lighting pass of a room (ambient colour, then every enabled light with
// its hard shadows) on square rooms of varied floors with walls: the largest
// room the editor and the converter make (20 x 20 sectors) with the most
// lights of the largest range, and larger rooms only a crafted project file
// holds (64 x 64, 255 x 255). Arguments: sectors per side, enabled lights,
// style of room (0 pillars, 1 terraces, 2 terraces under a stepped ceiling).
#include <benchmark/benchmark.h>

#include <memory>

#include "scene/scene.h"
#include "support/project_fixture.h"

namespace {

constexpr int kListCurrent = 2;

// The lit room of the test support, of size x size sectors with `lights`
// lights. Pillars (style 0): varied heights, slopes and split floors, a
// pillar up to the ceiling every few sectors, the lights low. Terraces
// (style 1): every sector a step of its own under a high flat ceiling, the
// lights near the ceiling, so that almost every vertex sees every light.
// Style 2: the terraces under a stepped ceiling too, the lights halfway up.
void MakeStyledRoom(tcuarto_list& p, int size, int lights, int style)
{
    auto shape = [&p, style](tsector& s, int i, int j, TFixtureRandom& rnd) {
        if (style != 0) {
            s.floorBase = int8_t(rnd.Below(2));
            s.floorClicks = int8_t(rnd.Below(4));
            s.floorZFall = int8_t(rnd.Below(3));
            s.floorXRise = int8_t(rnd.Below(3));
            if (style == 2) {
                s.ceilingBase = int8_t(rnd.Below(2));
                s.ceilingClicks = int8_t(rnd.Below(4));
                s.ceilingZFall = int8_t(rnd.Below(3));
                s.ceilingXRise = int8_t(rnd.Below(3));
            }
            return;
        }
        if (i % 5 == 3 && j % 5 == 3) {
            s.floorBase = int8_t(p.rooms[1].height);  // a pillar
            return;
        }
        s.floorBase = int8_t(rnd.Below(3));
        s.floorClicks = int8_t(rnd.Below(4));
        s.ceilingBase = int8_t(rnd.Below(3));
        const int kind = rnd.Below(10);
        if (kind < 3) {
            s.floorZFall = int8_t(rnd.Below(5));
            s.floorXRise = int8_t(rnd.Below(5));
        } else if (kind < 6) {
            s.floorSplit = uint8_t(1 + rnd.Below(2));
            s.floorZFall = int8_t(rnd.Below(5) + (rnd.Below(4) == 0 ? 14 : 0));
            s.floorZRise = int8_t(rnd.Below(5));
            s.ceilingSplit = uint8_t(rnd.Below(3));
        }
    };
    MakeLitRoom(p, size, lights, shape, [style](TFixtureRandom& rnd) {
        return style == 0 ? 2 + rnd.Below(16) : style == 1 ? 36 + rnd.Below(8) : 16 + rnd.Below(8);
    });
}

// The room's mesh in the current list, lit again in every iteration.
void BM_LightRoom(benchmark::State& state)
{
    tcuarto_list project;
    MakeStyledRoom(project, int(state.range(0)), int(state.range(1)), int(state.range(2)));
    auto scene = std::make_unique<tr_scene>();
    scene->Project = &project;
    scene->GL.LoadIdentity();
    scene->GL.SetList(kListCurrent);
    scene->BuildRoomMesh(1);
    for (auto _ : state) scene->LightRoom(1, kListCurrent);
    state.counters["vertices"] = double(scene->GL.Counts[kListCurrent]);
    state.counters["triangles"] = double(scene->GL.Counts[kListCurrent] / 3);
    state.counters["shadow_tests"] = double(scene->ShadowTestsMade);
}

}  // namespace

BENCHMARK(BM_LightRoom)
    ->ArgNames({"size", "lights", "style"})
    ->Args({20, 25, 0})
    ->Args({20, 25, 1})
    ->Args({20, 25, 2})
    ->Args({64, 1, 0})
    ->Args({64, 25, 0})
    ->Args({64, 25, 1})
    ->Args({255, 1, 0})
    ->Args({255, 25, 0})
    ->Args({255, 25, 1})
    ->Args({255, 25, 2})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
