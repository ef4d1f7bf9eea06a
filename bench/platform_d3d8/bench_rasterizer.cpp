// One 1280 x 720 frame of 100,000 textured, depth-tested triangles that
// cover the screen about three times: clear, draw, present.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_control.h"

namespace {

struct TVertex {
    float x, y, z;
    uint32_t color;
    float u, v;
};

constexpr int kWidth = 1280, kHeight = 720;
constexpr int kTriangles = 100000;

struct TScene {
    std::unique_ptr<TOffscreenHost> host;
    TComRef<IDirect3D8> d3d;
    TComRef<IDirect3DDevice8> device;
    TComRef<IDirect3DVertexBuffer8> vb;
    TComRef<IDirect3DTexture8> texture;
    double coverage = 0;  // triangle area over screen area
};

TScene MakeScene()
{
    TScene s;
    s.host = std::make_unique<TOffscreenHost>(kWidth, kHeight);
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

    const float fov = 3.14159265f / 4, aspect = float(kWidth) / kHeight;
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, fov, aspect, 0.1f, 1000.0f);
    dev->SetTransform(D3DTS_PROJECTION, &proj);
    dev->SetRenderState(D3DRS_LIGHTING, 0);
    dev->SetRenderState(D3DRS_ZENABLE, 1);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);

    // A 256 x 256 texture in 565, as the editor's pages are.
    dev->CreateTexture(256, 256, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, s.texture.Put());
    D3DLOCKED_RECT lr{};
    s.texture->LockRect(0, &lr, nullptr, 0);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const uint16_t p = uint16_t(((x ^ y) & 31) << 11 | (x & 63) << 5 | (y & 31));
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + 2 * x, &p, 2);
        }
    s.texture->UnlockRect(0);
    dev->SetTexture(0, s.texture.Get());

    // Triangles of about 28 pixels at random places and depths.
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<TVertex> v;
    v.reserve(kTriangles * 3);
    const float yScale = 1.0f / std::tan(fov / 2), xScale = yScale / aspect;
    const float side = 8.0f;  // pixels
    double area = 0;
    for (int i = 0; i < kTriangles; ++i) {
        const float cx = unit(rng) * kWidth, cy = unit(rng) * kHeight, d = 2.0f + unit(rng) * 40.0f;
        const float a = unit(rng) * 6.2831853f;
        const uint32_t c = 0xFF000000u | (rng() & 0xFFFFFF) | 0x808080u;
        // About two texels per pixel, as a texture page on a distant face.
        const float u0 = unit(rng), v0 = unit(rng);
        float px[3], py[3];
        for (int k = 0; k < 3; ++k) {
            const float ang = a + k * 2.0943951f;
            px[k] = cx + std::cos(ang) * side * 0.577f;
            py[k] = cy + std::sin(ang) * side * 0.577f;
            const float nx = 2.0f * px[k] / kWidth - 1.0f, ny = 1.0f - 2.0f * py[k] / kHeight;
            v.push_back({nx * d / xScale, ny * d / yScale, d, c, u0 + (px[k] - cx) / 128.0f, v0 + (py[k] - cy) / 128.0f});
        }
        area += std::fabs((px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0])) / 2;
    }
    s.coverage = area / (double(kWidth) * kHeight);
    dev->CreateVertexBuffer(UINT(v.size() * sizeof(TVertex)), D3DUSAGE_WRITEONLY, 0x142, D3DPOOL_MANAGED,
                            s.vb.Put());
    BYTE* p = nullptr;
    s.vb->Lock(0, 0, &p, 0);
    std::memcpy(p, v.data(), v.size() * sizeof(TVertex));
    s.vb->Unlock();
    return s;
}

void BM_Frame(benchmark::State& state)
{
    D3DSetRenderThreads(int(state.range(0)));
    TScene s = MakeScene();
    IDirect3DDevice8* dev = s.device.Get();
    for (auto _ : state) {
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF008080u, 1.0f, 0);
        dev->BeginScene();
        dev->SetStreamSource(0, s.vb.Get(), sizeof(TVertex));
        dev->SetVertexShader(0x142);
        dev->DrawPrimitive(D3DPT_TRIANGLELIST, 0, kTriangles);
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
    }
    state.counters["threads"] = D3DRenderThreads();
    state.counters["coverage"] = s.coverage;
    state.counters["triangles/s"] = benchmark::Counter(double(kTriangles), benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_Frame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
