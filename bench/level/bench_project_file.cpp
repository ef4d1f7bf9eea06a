// Saving and loading a large project (255 rooms of 20 x 20 sectors) against
// zlib alone on the same uncompressed bytes: deflate at level 9 for the save
// (on every core and on one), inflate for the load. Peak memory is measured
// in a child process as the rise of its resident set: the load's over the
// uncompressed size, the save's over its allowance.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "level/parallel_deflate.h"
#include "level/project_file.h"
#include "platform/rtl/messages.h"
#include "support/project_fixture.h"
#include "support/temp_dir.h"

namespace {

struct TFixture {
    TempDir dir;
    std::string file;
    tcuarto_list project;
    std::vector<uint8_t> content;  // the uncompressed logical content
    std::vector<uint8_t> stream;   // the zlib stream inside the saved container

    TFixture()
    {
        MakeProject(project, 255, 20, 20, 8, 2024);
        file = dir.file("large.vel");
        int counter = 1;
        SaveProject(project, file, 0, 0, counter);
        const auto disk = ReadFileBytes(file);
        const uint32_t size = disk[8] | (disk[9] << 8) | (disk[10] << 16) | (uint32_t(disk[11]) << 24);
        stream.assign(disk.begin() + 12, disk.end());
        content.resize(size);
        uLongf n = size;
        if (uncompress(content.data(), &n, stream.data(), stream.size()) != Z_OK || n != size)
            throw std::runtime_error("cannot inflate the saved project");
    }
};

TFixture& Fixture()
{
    static TFixture fixture;
    return fixture;
}

void Counters(benchmark::State& state)
{
    const auto& f = Fixture();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.content.size()));
    state.counters["uncompressed_MB"] = static_cast<double>(f.content.size()) / 1e6;
    state.counters["compressed_MB"] = static_cast<double>(f.stream.size()) / 1e6;
}

long StatusKB(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::strtol(line.c_str() + n + 1, nullptr, 10);
    return -1;
}

// Runs `measure` in a fresh child process and returns the number it gives
// back (-1 when it gives none).
template <class F>
double InChild(F measure)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        const double r = measure();
        (void)!::write(pipeFds[1], &r, sizeof r);
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    double r = -1;
    (void)!::read(pipeFds[0], &r, sizeof r);
    ::close(pipeFds[0]);
    ::waitpid(pid, nullptr, 0);
    return r;
}

// The rise of the resident set in bytes while `work` runs, divided by
// `per` (-1 when the process status cannot be read).
template <class F>
double PeakRise(F work, double per)
{
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the current resident set
    const long before = StatusKB("VmRSS:");
    work();
    const long peak = StatusKB("VmHWM:");
    return before >= 0 && peak >= 0 ? static_cast<double>(peak - before) * 1024.0 / per : -1;
}

// The rise of the resident set while loading, in a fresh child process,
// divided by the uncompressed size. `intoFull`: the project already holds
// a project of the same size, which must survive until the new one is read.
double LoadPeakRatio(bool intoFull)
{
    auto& f = Fixture();
    return InChild([&] {
        tcuarto_list target;
        if (intoFull) LoadProject(target, f.file);
        return PeakRise([&] { LoadProject(target, f.file); }, static_cast<double>(f.content.size()));
    });
}

void BM_LoadPeakMemory(benchmark::State& state)
{
    double intoEmpty = 0, intoFull = 0;
    for (auto _ : state) {
        intoEmpty = LoadPeakRatio(false);
        intoFull = LoadPeakRatio(true);
    }
    state.counters["peak_over_uncompressed_into_empty"] = intoEmpty;
    state.counters["peak_over_uncompressed_into_full"] = intoFull;
}
BENCHMARK(BM_LoadPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// zlib alone: deflate at level 9 into a fresh block, as a bare writer
// would; returns the size of the stream.
size_t DeflateAlone(benchmark::State& state)
{
    auto& f = Fixture();
    z_stream z{};
    deflateInit(&z, 9);
    const uLong bound = deflateBound(&z, f.content.size());
    auto* out = static_cast<Bytef*>(std::malloc(bound));
    z.next_in = f.content.data();
    z.avail_in = static_cast<uInt>(f.content.size());
    z.next_out = out;
    z.avail_out = static_cast<uInt>(bound);
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("deflate did not finish");
    benchmark::DoNotOptimize(out);
    const size_t produced = z.total_out;
    deflateEnd(&z);
    std::free(out);
    return produced;
}

// zlib alone: inflate into a fresh block of the known size, as a bare reader would.
void InflateAlone(benchmark::State& state)
{
    auto& f = Fixture();
    auto* out = static_cast<Bytef*>(std::malloc(f.content.size()));
    z_stream z{};
    inflateInit(&z);
    z.next_in = f.stream.data();
    z.avail_in = static_cast<uInt>(f.stream.size());
    z.next_out = out;
    z.avail_out = static_cast<uInt>(f.content.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("inflate did not finish");
    benchmark::DoNotOptimize(out);
    inflateEnd(&z);
    std::free(out);
}

double Seconds(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// Processor time used so far by the process (RUSAGE_SELF) or the calling thread (RUSAGE_THREAD).
double CpuSeconds(int who)
{
    rusage u{};
    ::getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Restricts the calling thread (and the threads it starts) to its first
// allowed core while it lives: the save then runs as on a one-core machine.
class TOneCore {
public:
    TOneCore()
    {
        ::sched_getaffinity(0, sizeof saved_, &saved_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &saved_)) {
                CPU_SET(c, &one);
                break;
            }
        ::sched_setaffinity(0, sizeof one, &one);
    }
    ~TOneCore() { ::sched_setaffinity(0, sizeof saved_, &saved_); }

private:
    cpu_set_t saved_;
};

// The machine is shared, so each round runs the save on every core, on
// one core and zlib alone back to back, and the ratios are taken over the
// best time of each. The size ratio compares the saved stream with zlib's
// single stream.
void BM_SaveAgainstDeflatePaired(benchmark::State& state)
{
    auto& f = Fixture();
    const std::string target = f.dir.file("paired.vel");
    int counter = 1;
    double save = 1e9, saveOneCore = 1e9, deflate = 1e9;
    double saveCpu = 1e9, saveCallerCpu = 1e9, deflateCpu = 1e9;
    size_t deflated = 0;
    for (auto _ : state) {
        auto t = std::chrono::steady_clock::now();
        double all = CpuSeconds(RUSAGE_SELF), caller = CpuSeconds(RUSAGE_THREAD);
        SaveProject(f.project, target, 0, 0, counter);
        save = std::min(save, Seconds(t));
        saveCpu = std::min(saveCpu, CpuSeconds(RUSAGE_SELF) - all);
        saveCallerCpu = std::min(saveCallerCpu, CpuSeconds(RUSAGE_THREAD) - caller);
        t = std::chrono::steady_clock::now();
        all = CpuSeconds(RUSAGE_SELF);
        deflated = DeflateAlone(state);
        deflate = std::min(deflate, Seconds(t));
        deflateCpu = std::min(deflateCpu, CpuSeconds(RUSAGE_SELF) - all);
        {
            TOneCore pinned;
            t = std::chrono::steady_clock::now();
            SaveProject(f.project, target, 0, 0, counter);
            saveOneCore = std::min(saveOneCore, Seconds(t));
        }
    }
    state.counters["cores"] = TParallelDeflate::CoreCount();
    state.counters["save_over_deflate"] = save / deflate;
    state.counters["save_one_core_over_deflate"] = saveOneCore / deflate;
    // What the save costs whatever the machine's other load: the processor
    // time of all its threads, and of the calling thread alone (the part
    // that more cores cannot shorten), against zlib alone's.
    state.counters["save_cpu_over_deflate_cpu"] = saveCpu / deflateCpu;
    state.counters["save_caller_cpu_over_deflate_cpu"] = saveCallerCpu / deflateCpu;
    state.counters["size_over_deflate"] =
        static_cast<double>(ReadFileBytes(target).size() - 12) / static_cast<double>(deflated);
}
BENCHMARK(BM_SaveAgainstDeflatePaired)->Iterations(3)->Unit(benchmark::kMillisecond);

// The rise of the resident set while saving, in a fresh child process,
// over what the save may use: 1.5 times the compressed size and one block
// per core.
void BM_SavePeakMemory(benchmark::State& state)
{
    auto& f = Fixture();
    const std::string target = f.dir.file("peak.vel");
    const double budget = 1.5 * static_cast<double>(f.stream.size()) +
                          static_cast<double>(TParallelDeflate::CoreCount()) * TParallelDeflate::DEFAULT_BLOCK_SIZE;
    double ratio = -1;
    for (auto _ : state)
        ratio = InChild([&] {
            int counter = 1;
            return PeakRise([&] { SaveProject(f.project, target, 0, 0, counter); }, budget);
        });
    state.counters["peak_over_budget"] = ratio;
    state.counters["budget_MB"] = budget / 1e6;
}
BENCHMARK(BM_SavePeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LoadAgainstInflatePaired(benchmark::State& state)
{
    auto& f = Fixture();
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    double intoEmpty = 0, replacing = 0, inflate = 0;
    tcuarto_list loaded;
    LoadProject(loaded, f.file);
    for (auto _ : state) {
        auto target = std::make_unique<tcuarto_list>();
        auto t = std::chrono::steady_clock::now();
        LoadProject(*target, f.file);
        intoEmpty += Seconds(t);
        target.reset();
        t = std::chrono::steady_clock::now();
        InflateAlone(state);
        inflate += Seconds(t);
        t = std::chrono::steady_clock::now();
        LoadProject(loaded, f.file);
        replacing += Seconds(t);
    }
    state.counters["load_into_empty_over_inflate"] = intoEmpty / inflate;
    state.counters["load_replacing_over_inflate"] = replacing / inflate;
}
BENCHMARK(BM_LoadAgainstInflatePaired)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_SaveProject(benchmark::State& state)
{
    auto& f = Fixture();
    const std::string target = f.dir.file("saved.vel");
    int counter = 1;
    for (auto _ : state) SaveProject(f.project, target, 0, 0, counter);
    Counters(state);
}
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_ZlibDeflateLevel9(benchmark::State& state)
{
    for (auto _ : state) DeflateAlone(state);
    Counters(state);
}
BENCHMARK(BM_ZlibDeflateLevel9)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_LoadProjectIntoEmpty(benchmark::State& state)
{
    auto& f = Fixture();
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    for (auto _ : state) {
        auto target = std::make_unique<tcuarto_list>();
        if (LoadProject(*target, f.file) != 0) state.SkipWithError("load refused");
        state.PauseTiming();
        target.reset();
        state.ResumeTiming();
    }
    Counters(state);
}
BENCHMARK(BM_LoadProjectIntoEmpty)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_LoadProjectReplacing(benchmark::State& state)
{
    auto& f = Fixture();
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    tcuarto_list target;
    LoadProject(target, f.file);
    for (auto _ : state)
        if (LoadProject(target, f.file) != 0) state.SkipWithError("load refused");
    Counters(state);
}
BENCHMARK(BM_LoadProjectReplacing)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_ZlibInflate(benchmark::State& state)
{
    for (auto _ : state) InflateAlone(state);
    Counters(state);
}
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

BENCHMARK_MAIN();
