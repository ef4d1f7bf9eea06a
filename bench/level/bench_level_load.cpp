// Loading a large TR4 level (200 rooms, 16 textile pages) against the floor
// that any reader pays: reading the file's bytes and inflating its chunks.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "level/trlevel.h"
#include "level/zfiles.h"
#include "level/zlibwrap.h"
#include "platform/rtl/sysutils.h"
#include "support/level_writer.h"
#include "support/temp_dir.h"

namespace {

const std::string& LargeLevelFile()
{
    static TempDir dir;
    static const std::string name = [] {
        TSampleLevelSize s;
        s.rooms = 200;
        s.textiles = 16;
        s.vertices = 400;
        s.rectangles = 350;
        s.triangles = 80;
        s.sprites = 4;
        s.portals = 4;
        s.x_sectors = 12;
        s.z_sectors = 12;
        s.lights = 6;
        s.statics = 8;
        s.entries = 2000;
        const std::string file = dir.file("large.tr4");
        SaveLevelFile(file, MakeSampleLevel(LEVEL_TR4, s));
        return file;
    }();
    return name;
}

uint32_t U32At(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Reads the file whole and inflates its three textile chunks and its level
// block, and nothing more.
void ReadAndInflate(const std::string& name)
{
    TZFile f;
    zAssignFile(f, name);
    zReset(f, 1, fmOpenRead);
    size_t at = 4 + 3 * 2;
    for (int chunk = 0; chunk < 4; ++chunk) {
        const uint32_t uncompressed = U32At(f.buffer + at);
        const uint32_t compressed = U32At(f.buffer + at + 4);
        TMemBlock out;
        if (!DecompressBuf(f.buffer + at + 8, static_cast<int32_t>(compressed), static_cast<int32_t>(uncompressed), out,
                           static_cast<int32_t>(uncompressed)))
            throw std::runtime_error("damaged chunk");
        benchmark::DoNotOptimize(out.data());
        at += 8 + compressed;
    }
    zCloseFile(f, false);
}

void BM_ReadAndInflateFloor(benchmark::State& state)
{
    const std::string& name = LargeLevelFile();
    for (auto _ : state) ReadAndInflate(name);
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(name)) / 1e6;
}
BENCHMARK(BM_ReadAndInflateFloor)->Unit(benchmark::kMillisecond);

// The main window keeps one record and loads each Basefile into it.
void BM_LoadLevel(benchmark::State& state)
{
    const std::string& name = LargeLevelFile();
    Ttrlevel level;
    for (auto _ : state) {
        if (level.LoadFromFile(name) != LEVEL_LOADED) state.SkipWithError("not loaded");
        benchmark::DoNotOptimize(level.rooms.data());
    }
    state.counters["rooms"] = level.num_rooms;
    state.counters["pages"] = level.num_textiles;
}
BENCHMARK(BM_LoadLevel)->Unit(benchmark::kMillisecond);

void BM_LoadLevelFreshRecord(benchmark::State& state)
{
    const std::string& name = LargeLevelFile();
    for (auto _ : state) {
        Ttrlevel level;
        if (level.LoadFromFile(name) != LEVEL_LOADED) state.SkipWithError("not loaded");
        benchmark::DoNotOptimize(level.rooms.data());
    }
}
BENCHMARK(BM_LoadLevelFreshRecord)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
