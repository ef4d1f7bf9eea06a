// A device on an off-screen host, and functions that draw into it in pixel units.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_control.h"

// The position-colour-texcoord vertex (format 0x142).
struct TVertex {
    float x, y, z;
    uint32_t color;
    float u, v;
};
static_assert(sizeof(TVertex) == 24);
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(kFvf == 0x142);

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;

class DeviceTest : public ::testing::Test {
public:
    void TearDown() override
    {
        device = nullptr;
        d3d = nullptr;
        D3DClearFailures();
        D3DSetRenderThreads(0);
        D3DSetInstructionSet(TD3DInstructionSet::Best);
    }

    // A hardware device with a depth buffer on a w x h off-screen host; all
    // transforms identity, so positions are clip coordinates with w = 1.
    void Open(int w, int h)
    {
        host = std::make_unique<TOffscreenHost>(w, h);
        width = w;
        height = h;
        d3d = TComRef<IDirect3D8>::Adopt(Direct3DCreate8(D3D_SDK_VERSION));
        ASSERT_TRUE(d3d);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = host.get();
        pp.Windowed = 1;
        pp.EnableAutoDepthStencil = 1;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, host.get(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                    device.Put()),
                  D3D_OK);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    // Clip-space x and y of a point given in pixels (pixel centres at .5).
    float X(float px) const { return 2.0f * px / float(width) - 1.0f; }
    float Y(float py) const { return 1.0f - 2.0f * py / float(height); }
    TVertex P(float px, float py, float z = 0.5f, uint32_t color = kWhite, float u = 0, float v = 0) const
    {
        return {X(px), Y(py), z, color, u, v};
    }

    TComRef<IDirect3DVertexBuffer8> MakeBuffer(const std::vector<TVertex>& v)
    {
        TComRef<IDirect3DVertexBuffer8> vb;
        EXPECT_EQ(device->CreateVertexBuffer(UINT(v.size() * sizeof(TVertex)), D3DUSAGE_WRITEONLY, kFvf,
                                             D3DPOOL_MANAGED, vb.Put()),
                  D3D_OK);
        BYTE* p = nullptr;
        EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, v.data(), v.size() * sizeof(TVertex));
        vb->Unlock();
        return vb;
    }

    void Clear(uint32_t color = kBlack)
    {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0), D3D_OK);
    }

    // Draws a triangle list in one call (within its own scene).
    void Draw(const std::vector<TVertex>& v)
    {
        auto vb = MakeBuffer(v);
        device->BeginScene();
        device->SetStreamSource(0, vb.Get(), sizeof(TVertex));
        device->SetVertexShader(kFvf);
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, UINT(v.size() / 3)), D3D_OK);
        device->EndScene();
    }

    void Present() { ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK); }

    // Clears, draws, presents; returns the frame.
    std::vector<uint32_t> Render(const std::vector<TVertex>& v, uint32_t background = kBlack)
    {
        Clear(background);
        Draw(v);
        Present();
        return host->Frame();
    }

    uint32_t At(int x, int y) const { return host->Pixel(x, y); }

    std::unique_ptr<TOffscreenHost> host;
    int width = 0, height = 0;
    TComRef<IDirect3D8> d3d;
    TComRef<IDirect3DDevice8> device;
};
