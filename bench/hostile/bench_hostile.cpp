// Opens every crafted file of this folder in a child process of its own and
// reports what that cost: wall time and peak resident memory, each also as a
// share of the budget a hostile file may take (3 s and 1 GiB on one core),
// and whether the file was read or refused. A child that crashes or ends
// with an escaping exception fails its benchmark.
//
//     bench_hostile [benchmark options]   measures every file
//     bench_hostile --write DIR           writes every file into DIR
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <string>

#include "codecs/file_formats.h"
#include "converter/level_converter.h"
#include "hostile_files.h"
#include "level/project_file.h"
#include "level/project_records.h"
#include "level/trcatalog.h"
#include "level/trlevel.h"
#include "platform/picture/picture.h"
#include "platform/rtl/messages.h"
#include "scene/mesh_list.h"
#include "scene/scene.h"
#include "support/temp_dir.h"

namespace {

// The scene of a project of one room whose items are the objects the level
// holds and whose statics its static meshes, as the editor draws it once
// the level is its Basefile.
void DrawAsBasefile(Ttrlevel& level, Tmesh_list& meshes)
{
    auto catalog = std::make_unique<TMoveableCatalog>();
    SetTrCatalogDefaults(*catalog);
    const size_t moveables = std::min<size_t>(level.num_moveables, level.moveables.size());
    std::vector<int> objects;  // each object the level holds, once
    std::vector<bool> seen(TR_CATALOG_SIZE);
    for (size_t i = 0; i < moveables; ++i) {
        const uint32_t id = level.moveables[i].object_id;
        if (id >= uint32_t(TR_CATALOG_SIZE)) continue;
        if (!seen[id]) objects.push_back(int(id));
        seen[id] = true;
        (*catalog)[id].flag = uint16_t(i);
    }
    auto project = std::make_unique<tcuarto_list>();
    ResetProject(*project);
    project->roomCount = 1;
    tcuarto& room = project->rooms[1];
    room.columns = room.rows = 3;
    room.height = 4;
    InitRoomSectors(*project, 1);
    for (size_t k = 0; !objects.empty() && k < size_t(MAX_PROJECT_ITEMS); ++k) {
        titem& item = project->items[k + 1];
        item.objectId = int16_t(objects[k % objects.size()]);
        item.room = 1;
        item.column = item.row = 2;
        project->itemCount = int16_t(k + 1);
    }
    const size_t statics = std::min<size_t>(level.num_static_meshes, level.static_meshes.size());
    for (size_t k = 0; k < statics && k < size_t(MAX_ROOM_STATICS); ++k) {
        room.statics[k + 1].meshSlot = uint32_t(k);
        room.statics[k + 1].column = room.statics[k + 1].row = 2;
        room.staticCount = int16_t(k + 1);
    }
    auto scene = std::make_unique<tr_scene>();
    scene->Project = project.get();
    scene->Level = &level;
    scene->Meshes = &meshes;
    scene->Catalog = catalog.get();
    scene->Update();
}

}  // namespace

std::vector<THostileFile>& HostileFiles()
{
    static std::vector<THostileFile> files;
    return files;
}

bool OpenHostileFile(THostileKind kind, const std::string& path)
{
    switch (kind) {
    case THostileKind::Picture: {
        PictureCodecs::Initialization();
        TPicture picture;
        try {
            picture.LoadFromFile(path);
        } catch (const std::exception&) {
            return false;  // the editor shows the error and keeps its pictures
        }
        return picture.Graphic() != nullptr;
    }
    case THostileKind::Project: {
        auto project = std::make_unique<tcuarto_list>();
        return LoadProject(*project, path) == 0;
    }
    case THostileKind::Basefile:
    case THostileKind::BasefileDrawn:
    case THostileKind::BasefileConverted: {
        auto level = std::make_unique<Ttrlevel>();
        if (level->LoadFromFile(path, false) != LEVEL_LOADED) return false;
        auto meshes = std::make_unique<Tmesh_list>();
        BuildMeshList(*meshes, *level);
        if (kind == THostileKind::BasefileDrawn) DrawAsBasefile(*level, *meshes);
        if (kind == THostileKind::BasefileConverted) {
            auto project = std::make_unique<tcuarto_list>();
            ResetProject(*project);
            auto scene = std::make_unique<tr_scene>();
            scene->Project = project.get();
            ConvertLevelToProject(*level, *project, *scene, TConverterOptions{});
        }
        return true;
    }
    case THostileKind::Catalog: {
        auto catalog = std::make_unique<TMoveableCatalog>();
        LoadTrCatalog(*catalog, path, LEVEL_TR4);
        return true;
    }
    }
    return false;
}

namespace {

constexpr double kBudgetSeconds = 3.0;
constexpr double kBudgetBytes = 1024.0 * 1024 * 1024;

// Exit codes of the child.
constexpr int kRead = 0;
constexpr int kRefused = 10;

class TQuietSink : public TMessageSink {
public:
    int Message(const TMessageRecord&) override { return IDOK; }
    void ProcessEnd(int) override {}
};

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void OpenInChild(benchmark::State& state, const THostileFile& file)
{
    TempDir dir;
    const std::string path = dir.file(file.name);
    std::string bytes = file.make();
    const size_t fileBytes = bytes.size();
    const bool written = WriteFile(path, bytes);
    // The child's peak memory would count these bytes too (its copy of this
    // process's memory): they are let go before it starts.
    std::string().swap(bytes);
    if (!written) {
        state.SkipWithError("cannot write the file");
        return;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid < 0) {
            state.SkipWithError("fork failed");
            return;
        }
        if (pid == 0) {
            static TQuietSink sink;
            SetMessageSink(&sink);
            int code = 1;
            try {
                code = OpenHostileFile(file.kind, path) ? kRead : kRefused;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s: escaping exception: %s\n", file.name.c_str(), e.what());
            }
            std::fflush(nullptr);
            ::_exit(code);
        }
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (!WIFEXITED(status) || (WEXITSTATUS(status) != kRead && WEXITSTATUS(status) != kRefused)) {
            state.SkipWithError(WIFSIGNALED(status) ? "the child was killed by a signal"
                                                    : "the child ended with an escaping exception");
            return;
        }
        const double peak = static_cast<double>(usage.ru_maxrss) * 1024.0;
        state.counters["seconds"] = seconds;
        state.counters["time_over_budget"] = seconds / kBudgetSeconds;
        state.counters["peak_MiB"] = peak / (1024.0 * 1024.0);
        state.counters["peak_over_budget"] = peak / kBudgetBytes;
        state.counters["read"] = WEXITSTATUS(status) == kRead ? 1 : 0;
    }
    state.counters["file_KiB"] = static_cast<double>(fileBytes) / 1024.0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
        for (const THostileFile& file : HostileFiles()) {
            const std::string path = std::string(argv[2]) + "/" + file.name;
            if (!WriteFile(path, file.make())) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
            std::printf("%s\n", path.c_str());
        }
        return 0;
    }
    for (const THostileFile& file : HostileFiles())
        benchmark::RegisterBenchmark(file.name.c_str(), [&file](benchmark::State& s) { OpenInChild(s, file); })
            ->UseManualTime()
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
