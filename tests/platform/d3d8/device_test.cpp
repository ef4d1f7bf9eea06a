// The device's calls: creation, swap chains, resources, results and failures.
#include "device_fixture.h"

namespace {

D3DPRESENT_PARAMETERS Windowed(HWND window)
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

using Device = DeviceTest;

}  // namespace

TEST(Direct3D, CreationNeedsTheRightVersion)
{
    EXPECT_EQ(Direct3DCreate8(121), nullptr);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    D3DDISPLAYMODE mode{};
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_GT(mode.Width, 0u);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(1, &mode), D3DERR_INVALIDCALL);
    D3DFailNext(TD3DFailPoint::DisplayMode, 1);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    d3d->Release();

    D3DFailNext(TD3DFailPoint::CreateObject, 1);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION), nullptr);
    d3d = Direct3DCreate8(D3D_SDK_VERSION);
    EXPECT_NE(d3d, nullptr);
    d3d->Release();
    D3DClearFailures();
}

TEST(Direct3D, DeviceCreationChecksItsArguments)
{
    TOffscreenHost host(40, 30);
    TComRef<IDirect3D8> d3d = TComRef<IDirect3D8>::Adopt(Direct3DCreate8(D3D_SDK_VERSION));
    TComRef<IDirect3DDevice8> dev;
    D3DPRESENT_PARAMETERS pp = Windowed(&host);
    const DWORD sw = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, sw, nullptr, dev.Put()), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, &host, sw, &pp, dev.Put()), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE(3), &host, sw, &pp, dev.Put()), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, 0, &pp, dev.Put()), D3DERR_INVALIDCALL);
    pp.hDeviceWindow = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, sw, &pp, dev.Put()), D3DERR_INVALIDCALL);
    pp = Windowed(&host);
    pp.AutoDepthStencilFormat = D3DFORMAT(77);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, sw, &pp, dev.Put()), D3DERR_NOTAVAILABLE);
    pp = Windowed(&host);
    pp.BackBufferFormat = D3DFMT_R5G6B5;  // only 32-bit back buffers are drawn
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, sw, &pp, dev.Put()), D3DERR_NOTAVAILABLE);
    pp = Windowed(&host);
    pp.BackBufferWidth = 100000;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, sw, &pp, dev.Put()), D3DERR_INVALIDCALL);
    EXPECT_FALSE(dev);

    // The focus window stands in for a missing device window.
    pp = Windowed(nullptr);
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, &host, sw, &pp, dev.Put()), D3D_OK);
    D3DDEVICE_CREATION_PARAMETERS cp{};
    EXPECT_EQ(dev->GetCreationParameters(&cp), D3D_OK);
    EXPECT_EQ(cp.DeviceType, D3DDEVTYPE_REF);
    EXPECT_EQ(cp.hFocusWindow, &host);
    EXPECT_EQ(cp.BehaviorFlags, sw);

    // The back buffer takes the window's size.
    TComRef<IDirect3DSurface8> back;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put()), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 40u);
    EXPECT_EQ(desc.Height, 30u);
    EXPECT_EQ(dev->GetBackBuffer(1, D3DBACKBUFFER_TYPE_MONO, back.Put()), D3DERR_INVALIDCALL);
}

TEST(Direct3D, PlannedCreationFailuresByDeviceType)
{
    TOffscreenHost host(8, 8);
    TComRef<IDirect3D8> d3d = TComRef<IDirect3D8>::Adopt(Direct3DCreate8(D3D_SDK_VERSION));
    D3DPRESENT_PARAMETERS pp = Windowed(&host);
    TComRef<IDirect3DDevice8> dev;
    auto create = [&](D3DDEVTYPE t) {
        return d3d->CreateDevice(0, t, &host, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, dev.Put());
    };
    D3DResetCounters();
    D3DFailNext(TD3DFailPoint::CreateDevice, 2, D3DDEVTYPE_HAL);
    EXPECT_EQ(create(D3DDEVTYPE_HAL), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(create(D3DDEVTYPE_REF), D3D_OK);  // the reference rasterizer is not affected
    EXPECT_EQ(create(D3DDEVTYPE_HAL), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(create(D3DDEVTYPE_HAL), D3D_OK);
    EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], 1);
    EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_REF], 1);

    D3DFailNext(TD3DFailPoint::CreateDevice, -1);  // every call, any type, until cleared
    EXPECT_EQ(create(D3DDEVTYPE_HAL), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(create(D3DDEVTYPE_REF), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(create(D3DDEVTYPE_REF), D3DERR_NOTAVAILABLE);
    D3DClearFailures();
    EXPECT_EQ(create(D3DDEVTYPE_REF), D3D_OK);
}

TEST_F(Device, SwapChainsRenderAndPresentToTheirOwnWindows)
{
    Open(16, 16);
    TOffscreenHost second(32, 8);
    D3DPRESENT_PARAMETERS pp = Windowed(&second);
    TComRef<IDirect3DSwapChain8> chain;
    ASSERT_EQ(device->CreateAdditionalSwapChain(&pp, chain.Put()), D3D_OK);

    // The viewport's frame: target the chain's back buffer with the device's depth buffer.
    TComRef<IDirect3DSurface8> back, depth;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put()), D3D_OK);
    ASSERT_EQ(device->GetDepthStencilSurface(depth.Put()), D3D_OK);
    D3DSURFACE_DESC d{};
    depth->GetDesc(&d);
    EXPECT_GE(d.Width, 32u);  // grown to serve the wider chain
    EXPECT_EQ(device->SetRenderTarget(back.Get(), depth.Get()), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kRed, 1.0f, 0), D3D_OK);
    EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(second.FrameCount(), 1);
    EXPECT_EQ(second.FrameWidth(), 32);
    EXPECT_EQ(second.FrameHeight(), 8);
    EXPECT_EQ(second.Pixel(31, 7), kRed);
    EXPECT_EQ(host->FrameCount(), 0);

    // Back to the device's own back buffer.
    TComRef<IDirect3DSurface8> own;
    device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, own.Put());
    EXPECT_EQ(device->SetRenderTarget(own.Get(), depth.Get()), D3D_OK);
    Clear(kBlue);
    Present();
    EXPECT_EQ(host->FrameCount(), 1);
    EXPECT_EQ(At(0, 0), kBlue);
    EXPECT_EQ(second.Pixel(0, 0), kRed);

    // Presenting to another window on request.
    TOffscreenHost third(4, 4);
    EXPECT_EQ(device->Present(nullptr, nullptr, &third, nullptr), D3D_OK);
    EXPECT_EQ(third.Pixel(0, 0), kBlue);
    RECT r{0, 0, 1, 1};
    EXPECT_EQ(device->Present(&r, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);

    // A nil render target keeps the current one; a nil depth surface draws without depth.
    EXPECT_EQ(device->SetRenderTarget(nullptr, nullptr), D3D_OK);
    TComRef<IDirect3DSurface8> none;
    EXPECT_EQ(device->GetDepthStencilSurface(none.Put()), D3DERR_NOTFOUND);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    // Depth surfaces are not render targets.
    EXPECT_EQ(device->SetRenderTarget(depth.Get(), nullptr), D3DERR_INVALIDCALL);
}

TEST_F(Device, PresentFailuresAndLostDevices)
{
    Open(8, 8);
    Clear();
    D3DFailNext(TD3DFailPoint::Present, 1, D3DDEVTYPE_REF);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);  // hardware: not affected
    D3DFailNext(TD3DFailPoint::Present, 1);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

    D3DLoseDevices();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    const TComRef<IDirect3DDevice8> old = device;
    Open(8, 8);  // a new device is not lost
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(old->TestCooperativeLevel(), D3DERR_DEVICELOST);
}

TEST_F(Device, APresentToAWindowThatIsGoneFailsSafely)
{
    Open(8, 8);
    Clear();
    host.reset();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(Device, ObjectsOfAReleasedDeviceAreNeverDrawn)
{
    Open(8, 8);
    auto oldBuffer = MakeBuffer({P(0, 0), P(8, 0), P(0, 8)});
    TComRef<IDirect3DTexture8> oldTexture;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, oldTexture.Put()), D3D_OK);
    Open(8, 8);  // the first device goes; its buffer and texture stay alive
    Clear();
    device->BeginScene();
    EXPECT_EQ(device->SetStreamSource(0, oldBuffer.Get(), sizeof(TVertex)), D3D_OK);
    EXPECT_EQ(device->SetVertexShader(kFvf), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(0, oldTexture.Get()), D3DERR_INVALIDCALL);
    device->EndScene();
    Present();
    EXPECT_EQ(At(1, 1), kBlack);
    BYTE* p = nullptr;
    EXPECT_EQ(oldBuffer->Lock(0, 0, &p, 0), D3D_OK);  // still usable by itself
    oldBuffer->Unlock();
}

TEST_F(Device, DrawCallsCheckTheirState)
{
    Open(8, 8);
    auto vb = MakeBuffer({P(0, 0), P(8, 0), P(0, 8), P(8, 0), P(8, 8), P(0, 8)});
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // outside a scene
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);  // no stream
    device->SetStreamSource(0, vb.Get(), sizeof(TVertex));
    EXPECT_EQ(device->SetStreamSource(1, vb.Get(), sizeof(TVertex)), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetVertexShader(0x1000), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetVertexShader(D3DFVF_DIFFUSE), D3DERR_INVALIDCALL);  // no position
    device->SetVertexShader(kFvf);
    EXPECT_EQ(device->DrawPrimitive(D3DPRIMITIVETYPE(5), 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 4, 1), D3DERR_INVALIDCALL);  // beyond the buffer
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 3), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 0), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 3, 1), D3D_OK);
    device->SetStreamSource(0, vb.Get(), 12);  // a stride shorter than the format
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);  // inside a scene
    EXPECT_EQ(device->EndScene(), D3D_OK);

    // What was set can be read back.
    DWORD v = 0;
    EXPECT_EQ(device->GetVertexShader(&v), D3D_OK);
    EXPECT_EQ(v, kFvf);
    TComRef<IDirect3DVertexBuffer8> got;
    UINT stride = 0;
    EXPECT_EQ(device->GetStreamSource(0, got.Put(), &stride), D3D_OK);
    EXPECT_EQ(got, vb);
    EXPECT_EQ(stride, 12u);
    EXPECT_EQ(device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME), D3D_OK);
    EXPECT_EQ(device->GetRenderState(D3DRS_FILLMODE, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DFILL_WIREFRAME));
    EXPECT_EQ(device->GetRenderState(D3DRS_ZENABLE, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DZB_TRUE));  // a device with a depth buffer starts with the test on
    EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR), D3D_OK);
    EXPECT_EQ(device->GetTextureStageState(0, D3DTSS_MINFILTER, &v), D3D_OK);
    EXPECT_EQ(v, DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_MINFILTER, 1), D3DERR_INVALIDCALL);
    D3DXMATRIX m, back;
    D3DXMatrixTranslation(&m, 1, 2, 3);
    EXPECT_EQ(device->SetTransform(D3DTS_VIEW, &m), D3D_OK);
    EXPECT_EQ(device->GetTransform(D3DTS_VIEW, &back), D3D_OK);
    EXPECT_TRUE(back == m);
    EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATETYPE(17), &m), D3DERR_INVALIDCALL);
}

TEST_F(Device, TexturesAndBuffersLockWithinTheirBounds)
{
    Open(8, 8);
    TComRef<IDirect3DTexture8> t;
    EXPECT_EQ(device->CreateTexture(0, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, t.Put()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(4, 4, 2, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, t.Put()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_D16, D3DPOOL_MANAGED, t.Put()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, t.Put()), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(10000, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, t.Put()), D3DERR_INVALIDCALL);
    for (D3DFORMAT f : {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_R8G8B8, D3DFMT_A8R8G8B8}) {
        ASSERT_EQ(device->CreateTexture(5, 3, 1, 0, f, D3DPOOL_MANAGED, t.Put()), D3D_OK);
        D3DSURFACE_DESC d{};
        EXPECT_EQ(t->GetLevelDesc(0, &d), D3D_OK);
        EXPECT_EQ(d.Format, f);
        EXPECT_EQ(d.Width, 5u);
        EXPECT_EQ(d.Pool, D3DPOOL_MANAGED);
        EXPECT_EQ(t->GetLevelCount(), 1u);
        D3DLOCKED_RECT lr{};
        ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        const int bpp = f == D3DFMT_R8G8B8 ? 3 : f == D3DFMT_A8R8G8B8 ? 4 : 2;
        EXPECT_GE(lr.Pitch, 5 * bpp);
        std::memset(lr.pBits, 0xAB, size_t(lr.Pitch) * 2 + 5 * bpp);  // the whole level is writable
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
        EXPECT_EQ(t->UnlockRect(0), D3D_OK);
        EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
        EXPECT_EQ(t->LockRect(1, &lr, nullptr, 0), D3DERR_INVALIDCALL);
        RECT outside{0, 0, 6, 3};
        EXPECT_EQ(t->LockRect(0, &lr, &outside, 0), D3DERR_INVALIDCALL);
    }
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, t.Put()), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_FALSE(t);
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, t.Put()), D3D_OK);
    D3DFailNext(TD3DFailPoint::LockTexture, 1);
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);

    TComRef<IDirect3DVertexBuffer8> vb;
    EXPECT_EQ(device->CreateVertexBuffer(0, 0, kFvf, D3DPOOL_MANAGED, vb.Put()), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreateVertexBuffer(48, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_MANAGED, vb.Put()), D3D_OK);
    D3DVERTEXBUFFER_DESC vd{};
    EXPECT_EQ(vb->GetDesc(&vd), D3D_OK);
    EXPECT_EQ(vd.Size, 48u);
    EXPECT_EQ(vd.FVF, kFvf);
    BYTE* p = nullptr;
    EXPECT_EQ(vb->Lock(40, 16, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(49, 0, &p, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Lock(24, 0, &p, D3DLOCK_NOSYSLOCK), D3D_OK);
    std::memset(p, 0, 24);
    EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    D3DFailNext(TD3DFailPoint::LockVertexBuffer, 1);
    EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    D3DFailNext(TD3DFailPoint::CreateVertexBuffer, 1);
    EXPECT_EQ(device->CreateVertexBuffer(48, 0, kFvf, D3DPOOL_MANAGED, vb.Put()), D3DERR_OUTOFVIDEOMEMORY);
}

TEST(Direct3D, EveryObjectGoesWithItsLastReference)
{
    const TD3DCounters before = D3DCounters();
    {
        TOffscreenHost host(8, 8), other(8, 8);
        TComRef<IDirect3D8> d3d = TComRef<IDirect3D8>::Adopt(Direct3DCreate8(D3D_SDK_VERSION));
        D3DPRESENT_PARAMETERS pp = Windowed(&host);
        TComRef<IDirect3DDevice8> dev;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, dev.Put()),
                  D3D_OK);
        pp = Windowed(&other);
        TComRef<IDirect3DSwapChain8> chain;
        ASSERT_EQ(dev->CreateAdditionalSwapChain(&pp, chain.Put()), D3D_OK);
        TComRef<IDirect3DTexture8> tex;
        ASSERT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, tex.Put()), D3D_OK);
        dev->SetTexture(0, tex.Get());
        TComRef<IDirect3DSurface8> back;
        chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put());
        EXPECT_EQ(back->RefCount(), 2u);  // the chain's and ours
        const TD3DCounters during = D3DCounters();
        EXPECT_EQ(during.liveDevices, before.liveDevices + 1);
        EXPECT_EQ(during.liveSwapChains, before.liveSwapChains + 2);  // the device's own and the extra one
        EXPECT_EQ(during.liveTextures, before.liveTextures + 1);
        // Dropping the device first leaves the chain and the texture usable.
        dev = nullptr;
        EXPECT_EQ(D3DCounters().liveDevices, before.liveDevices);
        EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(other.FrameCount(), 1);
    }
    const TD3DCounters after = D3DCounters();
    EXPECT_EQ(after.liveObjects, before.liveObjects);
    EXPECT_EQ(after.liveDevices, before.liveDevices);
    EXPECT_EQ(after.liveSwapChains, before.liveSwapChains);
    EXPECT_EQ(after.liveTextures, before.liveTextures);
    EXPECT_EQ(after.liveSurfaces, before.liveSurfaces);
}

TEST(Direct3D, RenderThreadCountIsSettable)
{
    D3DSetRenderThreads(3);
    EXPECT_EQ(D3DRenderThreads(), 3);
    D3DSetRenderThreads(1);
    EXPECT_EQ(D3DRenderThreads(), 1);
    D3DSetRenderThreads(0);
    EXPECT_GE(D3DRenderThreads(), 1);
}
