// Speed of the floor-data scan and of a whole conversion of a large level:
// 200 rooms of 20 x 20 sectors, every inner sector slanted, doorways on the
// borders, a few thousand items.
#include <benchmark/benchmark.h>

#include <memory>

#include "converter/floor_data_index.h"
#include "converter/level_converter.h"
#include "level/trlevel.h"
#include "scene/scene.h"
#include "support/project_fixture.h"

namespace {

std::unique_ptr<Ttrlevel> LargeLevel(int rooms)
{
    auto level = std::make_unique<Ttrlevel>();
    TFixtureRandom rnd(3);
    std::vector<uint16_t> words{0};
    auto run = [&](std::initializer_list<uint16_t> w) {
        const uint16_t at = uint16_t(words.size());
        words.insert(words.end(), w);
        return at;
    };
    const uint16_t slant = run({0x0002, 0x0102, 0x0003, 0xFE01, 0x0004, 0x0000, 0x0401, 0x8100, 0x8005});
    const uint16_t door = run({0x8001, 0x0001});
    for (int i = 0; i < 2000; ++i) run({0x8002, uint16_t(rnd.Next())});

    level->SetNumRooms(uint16_t(rooms));
    for (int n = 0; n < rooms; ++n) {
        troom& r = level->rooms[size_t(n)];
        r.x = (n % 20) * 20 * 1024;
        r.z = (n / 20) * 20 * 1024;
        r.y_bottom = 0;
        r.y_top = -4096;
        r.num_x_sectors = 20;
        r.num_z_sectors = 20;
        r.num_portals = 1;
        r.portals[0].adjoining_room = 1;
        for (int s = 0; s < 400; ++s) {
            const int x = s / 20, z = s % 20;
            const bool border = x == 0 || x == 19 || z == 0 || z == 19;
            const uint16_t fd = border ? (z == 10 ? door : 0) : (s % 3 == 0 ? slant : uint16_t(door + 2 + s));
            r.sectors[size_t(s)] = troom_sector{fd, 0, 255, int8_t(border && z != 10 ? -127 : -(s % 8)), 255, -16};
        }
    }
    level->SetNumFloorData(uint32_t(words.size()));
    level->floor_data = words;
    level->SetNumItems(3000);
    for (uint32_t i = 0; i < 3000; ++i)
        level->items[i] = tlevel_item{int16_t(i % 600),
                                      int16_t(i % uint32_t(rooms)),
                                      int32_t(rnd.Next() % 20000),
                                      0,
                                      int32_t(rnd.Next() % 20000),
                                      uint16_t(rnd.Next()),
                                      0,
                                      0,
                                      0};
    return level;
}

void BM_IndexFloorData(benchmark::State& state)
{
    auto level = std::make_unique<Ttrlevel>();
    TFixtureRandom rnd(5);
    level->SetNumFloorData(uint32_t(state.range(0)));
    for (auto& w : level->floor_data) w = uint16_t(rnd.Next());
    for (auto _ : state) {
        IndexFloorData(*level, nullptr, nullptr);
        benchmark::DoNotOptimize(FloorDataGroups.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IndexFloorData)->Arg(1 << 12)->Arg(1 << 16)->Unit(benchmark::kMicrosecond);

void BM_ConvertLevel(benchmark::State& state)
{
    auto level = LargeLevel(int(state.range(0)));
    tcuarto_list project;
    ResetProject(project);
    tr_scene scene;
    scene.Project = &project;
    TConverterOptions options;
    options.includeItems = true;
    options.includeDeathSectors = true;
    TConverterHooks hooks;
    hooks.Today = [] { return std::string("01/01/01"); };
    for (auto _ : state) {
        const TConversionResult result = ConvertLevelToProject(*level, project, scene, options, hooks);
        benchmark::DoNotOptimize(result.itemsSkipped);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * 400);
}
BENCHMARK(BM_ConvertLevel)->Arg(20)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
