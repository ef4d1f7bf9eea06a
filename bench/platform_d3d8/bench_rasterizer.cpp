// Frames of the reference scene of the rasterizer comparisons, drawn through
// the device, so that they can be timed back to back with another renderer
// drawing the very same scene (llvmpipe through OSMesa).
//
// The scene: a triangle list of textured, depth-tested triangles at depths
// 2..10 in front of the eye, sized so that together they cover a 1280 x 720
// frame about three times, in the position-colour-texcoord layout (0x142),
// with a 256 x 256 R5G6B5 texture. View: identity world and view, eye at the
// origin looking down +z, perspective of pi/4 with aspect 16:9 (whatever the
// frame size), near 0.1, far 1000. States: 16-bit depth, less-or-equal,
// counter-clockwise faces culled, bilinear filtering both ways, texture times
// diffuse, clear to 0x008080. A frame is clear and draw; present is not timed.
//
// The rows of the comparison (arguments: triangles, width, height, threads):
//   100,000 triangles at 1280 x 720, one thread and eight;
//   10,000 large triangles at 1280 x 720, one thread and eight: the same
//     generator asked for 10,000 triangles; since it keeps the total area at
//     about three frames, each triangle is ten times the size of those of
//     the 100,000 (about 276 pixels instead of 28);
//   100,000 triangles at 2560 x 1440 (the scene is laid out for 1280 x 720,
//     so each triangle covers four times the pixels), one thread;
//   1,000,000 triangles at 1280 x 720, one thread.
//
// Other scenes are given on the command line, before Google Benchmark's own
// flags: --scene=TRIANGLES,WIDTH,HEIGHT,THREADS times that one alone, and
// --ppm=FILE writes its last frame as a binary PPM to compare coverage.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_control.h"
#include "support/imagemagick.h"

namespace {

constexpr uint32_t kClearColour = 0xFF008080u;

struct TSceneVertex {
    float x, y, z;
    uint32_t argb;
    float u, v;
};
static_assert(sizeof(TSceneVertex) == 24);

struct TSceneData {
    std::vector<TSceneVertex> vertices;  // a triangle list
    std::vector<uint16_t> texels;        // 256 x 256 R5G6B5
};

// The scene's own generator: a linear congruential sequence from a fixed
// seed. Every expression keeps the order and the single precision of the
// original, so that both renderers draw the same bits.
uint32_t NextRandom(uint32_t& seed)
{
    seed = seed * 134775813u + 1u;
    return seed;
}

float NextUnit(uint32_t& seed) { return float(NextRandom(seed) >> 8) * (1.0f / 16777216.0f); }

TSceneData MakeReferenceScene(int triangles)
{
    TSceneData s;
    uint32_t seed = 12345;
    const float aspect = 1280.0f / 720.0f, t = std::tan(3.14159265f / 8);
    const float areaPixels = 3.0f * 1280 * 720 / float(triangles);  // mean area: three frames in all
    s.vertices.reserve(size_t(triangles) * 3);
    for (int i = 0; i < triangles; ++i) {
        const float z = 2 + 8 * NextUnit(seed);
        const float hy = z * t, hx = hy * aspect;  // half the view at depth z
        const float cx = (NextUnit(seed) * 2 - 1) * hx;
        const float cy = (NextUnit(seed) * 2 - 1) * hy;
        const float pixelsPerUnit = 360.0f / hy;
        const float r = std::sqrt(areaPixels / 1.299f) / pixelsPerUnit;  // a near-equilateral triangle
        const float a = NextUnit(seed) * 6.2831853f;
        const uint32_t colour = 0xFF000000u | (NextRandom(seed) & 0x00FFFFFFu) | 0x00808080u;
        for (int k = 0; k < 3; ++k) {
            // Clockwise on the screen: the front faces when counter-clockwise ones are culled.
            const float angle = a - float(k) * 2.0943951f;
            s.vertices.push_back({cx + r * std::cos(angle), cy + r * std::sin(angle), z + 0.01f * float(k), colour,
                                  0.5f + 0.5f * std::cos(angle), 0.5f + 0.5f * std::sin(angle)});
        }
    }
    s.texels.resize(256 * 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const int r = (x ^ y) & 31, g = (x * 2 + y) & 63, b = (y / 8) & 31;
            s.texels[size_t(y) * 256 + size_t(x)] = uint16_t((r << 11) | (g << 5) | b);
        }
    return s;
}

struct TScene {
    std::unique_ptr<TOffscreenHost> host;
    TComRef<IDirect3D8> d3d;
    TComRef<IDirect3DDevice8> device;
    TComRef<IDirect3DVertexBuffer8> vb;
    TComRef<IDirect3DTexture8> texture;
    UINT triangles = 0;
};

void SetStates(IDirect3DDevice8* dev)
{
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, 3.14159265f / 4, 1280.0f / 720.0f, 0.1f, 1000.0f);
    dev->SetTransform(D3DTS_PROJECTION, &proj);
    dev->SetRenderState(D3DRS_LIGHTING, 0);
    dev->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
}

TScene MakeScene(int triangles, int width, int height)
{
    const TSceneData data = MakeReferenceScene(triangles);
    TScene s;
    s.triangles = UINT(triangles);
    s.host = std::make_unique<TOffscreenHost>(width, height);
    s.d3d = TComRef<IDirect3D8>::Adopt(Direct3DCreate8(D3D_SDK_VERSION));
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = s.host.get();
    pp.Windowed = 1;
    pp.EnableAutoDepthStencil = 1;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    s.d3d->CreateDevice(0, D3DDEVTYPE_HAL, s.host.get(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, s.device.Put());
    IDirect3DDevice8* dev = s.device.Get();
    SetStates(dev);

    dev->CreateTexture(256, 256, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, s.texture.Put());
    D3DLOCKED_RECT lr{};
    s.texture->LockRect(0, &lr, nullptr, 0);
    for (int y = 0; y < 256; ++y)
        std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, data.texels.data() + size_t(y) * 256, 512);
    s.texture->UnlockRect(0);
    dev->SetTexture(0, s.texture.Get());

    const size_t bytes = data.vertices.size() * sizeof(TSceneVertex);
    dev->CreateVertexBuffer(UINT(bytes), D3DUSAGE_WRITEONLY, 0x142, D3DPOOL_MANAGED, s.vb.Put());
    BYTE* p = nullptr;
    s.vb->Lock(0, 0, &p, 0);
    std::memcpy(p, data.vertices.data(), bytes);
    s.vb->Unlock();
    dev->SetStreamSource(0, s.vb.Get(), sizeof(TSceneVertex));
    dev->SetVertexShader(0x142);
    return s;
}

void DrawFrame(const TScene& s)
{
    IDirect3DDevice8* dev = s.device.Get();
    dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColour, 1.0f, 0);
    dev->BeginScene();
    dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, s.triangles);
    dev->EndScene();
}

// Share of the frame's pixels that some triangle covers.
double Covered(const TOffscreenHost& host)
{
    size_t n = 0;
    for (uint32_t p : host.Frame()) n += (p & 0xFFFFFFu) != (kClearColour & 0xFFFFFFu);
    return host.Frame().empty() ? 0.0 : double(n) / double(host.Frame().size());
}

// The last frame as a binary PPM, to compare coverage with another renderer's.
bool WriteFrame(const std::string& name, const TOffscreenHost& host)
{
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(host.FrameWidth()) * size_t(host.FrameHeight()) * 3);
    for (int y = 0; y < host.FrameHeight(); ++y)
        for (int x = 0; x < host.FrameWidth(); ++x) {
            const uint32_t p = host.Pixel(x, y);
            rgb.insert(rgb.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        }
    return WritePpm(name, host.FrameWidth(), host.FrameHeight(), rgb);
}

std::string gPpm;  // --ppm=FILE

void BM_ReferenceScene(benchmark::State& state)
{
    const int triangles = int(state.range(0)), width = int(state.range(1)), height = int(state.range(2));
    D3DSetRenderThreads(int(state.range(3)));
    const TScene s = MakeScene(triangles, width, height);
    for (int i = 0; i < 2; ++i) DrawFrame(s);  // warm-up: the first frames size the device's work lists
    for (auto _ : state) DrawFrame(s);
    s.device->Present(nullptr, nullptr, nullptr, nullptr);
    state.counters["threads"] = D3DRenderThreads();
    state.counters["covered%"] = 100.0 * Covered(*s.host);
    state.counters["triangles/s"] =
        benchmark::Counter(double(triangles), benchmark::Counter::kIsIterationInvariantRate);
    if (!gPpm.empty() && !WriteFrame(gPpm, *s.host)) state.SkipWithError("cannot write the frame");
}

void Register(const std::vector<int64_t>& args)
{
    benchmark::RegisterBenchmark("BM_ReferenceScene", BM_ReferenceScene)
        ->Args(args)
        ->ArgNames({"triangles", "width", "height", "threads"})
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->ComputeStatistics("min", [](const std::vector<double>& v) {
            double m = v.empty() ? 0.0 : v[0];
            for (double x : v) m = x < m ? x : m;
            return m;
        });
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<char*> rest;
    std::vector<int64_t> scene;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--scene=", 0) == 0) {
            long long t = 0, w = 0, h = 0, n = 0;
            if (std::sscanf(a.c_str() + 8, "%lld,%lld,%lld,%lld", &t, &w, &h, &n) != 4 || t < 1 || w < 1 || h < 1 ||
                w > 16384 || h > 16384 || n < 0) {
                std::fprintf(stderr, "--scene=TRIANGLES,WIDTH,HEIGHT,THREADS (0 threads: one per core)\n");
                return 2;
            }
            scene = {t, w, h, n};
        } else if (a.rfind("--ppm=", 0) == 0) {
            gPpm = a.substr(6);
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (!scene.empty()) {
        Register(scene);
    } else {
        Register({100000, 1280, 720, 1});
        Register({100000, 1280, 720, 8});
        Register({10000, 1280, 720, 1});
        Register({10000, 1280, 720, 8});
        Register({100000, 2560, 1440, 1});
        Register({1000000, 1280, 720, 1});
    }
    int n = int(rest.size());
    benchmark::Initialize(&n, rest.data());
    if (benchmark::ReportUnrecognizedArguments(n, rest.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
