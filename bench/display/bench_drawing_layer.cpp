// The drawing layer emitting, sorting and building 1,000,000 vertices: quads
// over 16 lists with textures changing from quad to quad, as a scene
// rebuild produces them.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "display/drawing_layer.h"
#include "display/sorted_list.h"
#include "support/offscreen_device.h"

namespace {

constexpr int kQuads = 1000000 / 6;  // 6 vertices each: 999,996 vertices

struct TQuad {
    int list;
    int texture;
    float x, y, z;
};

std::vector<TQuad> MakeQuads()
{
    std::mt19937 rng(5);
    std::vector<TQuad> q(kQuads);
    for (int i = 0; i < kQuads; ++i) {
        // Rooms of 20 x 20 sectors: consecutive faces share a room and list.
        const int room = i / 400;
        q[size_t(i)] = {room % 16, 1000 + int(rng() % 48), float(i % 20), float(rng() % 8), float((i / 20) % 20)};
    }
    return q;
}

void Emit(TxGL& gl, const std::vector<TQuad>& quads)
{
    gl.LoadIdentity();
    gl.PushMatrix();
    gl.Translate(-10, 0, 10);
    for (const TQuad& q : quads) {
        gl.SetList(q.list);
        gl.SetTexture(q.texture);
        gl.Quad({q.x, q.y, q.z, 0, 0}, {q.x + 1, q.y, q.z, 1, 0}, {q.x + 1, q.y, q.z - 1, 1, 1},
                {q.x, q.y, q.z - 1, 0, 1});
    }
    gl.PopMatrix();
}

void BM_EmitSortBuild(benchmark::State& state)
{
    TOffscreenDevice device;
    const auto quads = MakeQuads();
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(16);
    for (auto _ : state) {
        gl.ClearList(-1);
        Emit(gl, quads);
        gl.Vertices.Sort();
        for (int list = 0; list < 16; ++list) gl.BuildVertexBuffer(buffers, list);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQuads * 6);
}

void BM_Emit(benchmark::State& state)
{
    const auto quads = MakeQuads();
    TxGL gl;
    for (auto _ : state) {
        gl.ClearList(-1);
        Emit(gl, quads);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQuads * 6);
}

void BM_Sort(benchmark::State& state)
{
    const auto quads = MakeQuads();
    TxGL gl;
    for (auto _ : state) {
        state.PauseTiming();
        gl.ClearList(-1);
        Emit(gl, quads);
        state.ResumeTiming();
        gl.Vertices.Sort();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQuads * 6);
}

// Rebuilding one list of a full layer: clear it, emit it again, sort, build.
void BM_RebuildOneList(benchmark::State& state)
{
    TOffscreenDevice device;
    const auto quads = MakeQuads();
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(16);
    Emit(gl, quads);
    gl.Vertices.Sort();
    std::vector<TQuad> list2;
    for (const TQuad& q : quads)
        if (q.list == 2) list2.push_back(q);
    for (auto _ : state) {
        gl.ClearList(2);
        Emit(gl, list2);
        gl.Vertices.Sort();
        gl.BuildVertexBuffer(buffers, 2);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(list2.size()) * 6);
}

}  // namespace

BENCHMARK(BM_EmitSortBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Emit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildOneList)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
