// A device on an off-screen host, and functions that draw into it in pixel units.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_control.h"

// The position-colour-texcoord vertex (format 0x142).
struct TVertex {
    float x, y, z;
    uint32_t color;
    float u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(sizeof(TVertex) == 24 && kFvf == 0x142);

constexpr uint32_t kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu, kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u,
                   kBlue = 0xFF0000FFu;

// Windowed presentation parameters with a 16-bit depth buffer.
inline D3DPRESENT_PARAMETERS Windowed(HWND window)
{
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    pp.Windowed = 1;
    pp.EnableAutoDepthStencil = 1;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    return pp;
}

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
        D3DPRESENT_PARAMETERS pp = Windowed(host.get());
        ASSERT_EQ(
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, host.get(), D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, device.Put()),
            D3D_OK);
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    // A vertex at a point given in pixels (pixel centres at .5).
    TVertex P(float px, float py, float z = 0.5f, uint32_t color = kWhite, float u = 0, float v = 0) const
    {
        return {2.0f * px / float(width) - 1.0f, 1.0f - 2.0f * py / float(height), z, color, u, v};
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

    // Clears, draws each triangle list with one call, presents; returns the frame.
    const std::vector<uint32_t>& Render(std::initializer_list<std::vector<TVertex>> lists, uint32_t background = kBlack)
    {
        EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, background, 1.0f, 0), D3D_OK);
        device->BeginScene();
        for (const auto& v : lists) {
            auto vb = MakeBuffer(v);
            device->SetStreamSource(0, vb.Get(), sizeof(TVertex));
            device->SetVertexShader(kFvf);
            EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, UINT(v.size() / 3)), D3D_OK);
        }
        device->EndScene();
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        return host->Frame();
    }
    const std::vector<uint32_t>& Render(const std::vector<TVertex>& v) { return Render({v}); }

    uint32_t At(int x, int y) const { return host->Pixel(x, y); }
    // The pixels of the last frame that differ from the expected colour, as "(x,y)" ("" when none).
    std::string Differences(const std::function<uint32_t(int, int)>& expected) const
    {
        std::string out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) != expected(x, y)) {
                    char pixel[32];
                    std::snprintf(pixel, sizeof pixel, "(%d,%d)", x, y);
                    out += pixel;
                }
        return out;
    }

    std::unique_ptr<TOffscreenHost> host;
    int width = 0, height = 0;
    TComRef<IDirect3D8> d3d;
    TComRef<IDirect3DDevice8> device;
};
