// The device's calls that the display engine relies on: creation and its
// planned failures, swap chains, presents, resources within their bounds.
#include "device_fixture.h"
#include "platform/d3dx/d3dx8math.h"

namespace {

using Device = DeviceTest;

TEST(Direct3D, CreationAndItsPlannedFailures)
{
    EXPECT_EQ(Direct3DCreate8(121), nullptr);
    D3DFailNext(TD3DFailPoint::CreateObject, 1);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION), nullptr);
    TComRef<IDirect3D8> d3d = TComRef<IDirect3D8>::Adopt(Direct3DCreate8(D3D_SDK_VERSION));
    ASSERT_TRUE(d3d);
    D3DDISPLAYMODE mode{};
    D3DFailNext(TD3DFailPoint::DisplayMode, 1);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    EXPECT_GT(mode.Width, 0u);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);

    TOffscreenHost host(40, 30);
    TComRef<IDirect3DDevice8> dev;
    auto create = [&](D3DDEVTYPE type, D3DPRESENT_PARAMETERS pp) {
        return d3d->CreateDevice(0, type, &host, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, dev.Put());
    };
    D3DPRESENT_PARAMETERS depth77 = Windowed(&host), format565 = Windowed(&host);
    depth77.AutoDepthStencilFormat = D3DFORMAT(77);
    format565.BackBufferFormat = D3DFMT_R5G6B5;  // only 32-bit back buffers are drawn
    EXPECT_EQ(create(D3DDEVTYPE(3), Windowed(&host)), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, 0, &depth77, dev.Put()),
              D3DERR_INVALIDCALL);  // no vertex processing
    EXPECT_EQ(create(D3DDEVTYPE_HAL, depth77), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(create(D3DDEVTYPE_HAL, format565), D3DERR_NOTAVAILABLE);
    EXPECT_FALSE(dev);
    // The focus window stands in for a missing device window; the back buffer takes its size.
    ASSERT_EQ(create(D3DDEVTYPE_REF, Windowed(nullptr)), D3D_OK);
    D3DDEVICE_CREATION_PARAMETERS cp{};
    EXPECT_EQ(dev->GetCreationParameters(&cp), D3D_OK);
    EXPECT_EQ(cp.DeviceType, D3DDEVTYPE_REF);
    EXPECT_EQ(cp.hFocusWindow, &host);
    TComRef<IDirect3DSurface8> back;
    ASSERT_EQ(dev->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put()), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(std::pair(desc.Width, desc.Height), std::pair(40u, 30u));

    // Failures planned for the hardware leave the reference rasterizer alone.
    D3DResetCounters();
    D3DFailNext(TD3DFailPoint::CreateDevice, 2, D3DDEVTYPE_HAL);
    std::vector<HRESULT> results;
    for (D3DDEVTYPE type : {D3DDEVTYPE_HAL, D3DDEVTYPE_REF, D3DDEVTYPE_HAL, D3DDEVTYPE_HAL})
        results.push_back(create(type, Windowed(&host)));
    EXPECT_EQ(results, (std::vector<HRESULT>{D3DERR_NOTAVAILABLE, D3D_OK, D3DERR_NOTAVAILABLE, D3D_OK}));
    EXPECT_EQ(std::pair(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], D3DCounters().devicesCreated[D3DDEVTYPE_REF]),
              std::pair(1, 1));
    D3DFailNext(TD3DFailPoint::CreateDevice, -1);  // every call, any type, until cleared
    for (D3DDEVTYPE type : {D3DDEVTYPE_HAL, D3DDEVTYPE_REF, D3DDEVTYPE_REF})
        EXPECT_EQ(create(type, Windowed(&host)), D3DERR_NOTAVAILABLE);
    D3DClearFailures();
    EXPECT_EQ(create(D3DDEVTYPE_REF, Windowed(&host)), D3D_OK);
}

TEST_F(Device, SwapChainsRenderAndPresentToTheirOwnWindows)
{
    Open(16, 16);
    TOffscreenHost second(32, 8), third(4, 4);
    D3DPRESENT_PARAMETERS pp = Windowed(&second);
    TComRef<IDirect3DSwapChain8> chain;
    ASSERT_EQ(device->CreateAdditionalSwapChain(&pp, chain.Put()), D3D_OK);
    // The viewport's frame: the chain's back buffer with the device's depth buffer, grown to serve the wider chain.
    TComRef<IDirect3DSurface8> back, depth, own, none;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put()), D3D_OK);
    ASSERT_EQ(device->GetDepthStencilSurface(depth.Put()), D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(back.Get(), depth.Get()), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kRed, 1.0f, 0), D3D_OK);
    EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ((std::tuple{second.FrameCount(), second.FrameWidth(), second.FrameHeight(), second.Pixel(31, 7),
                          host->FrameCount()}),
              (std::tuple{1, 32, 8, kRed, 0}));
    // Back to the device's own back buffer.
    device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, own.Put());
    EXPECT_EQ(device->SetRenderTarget(own.Get(), depth.Get()), D3D_OK);
    Render({}, kBlue);
    EXPECT_EQ((std::tuple{host->FrameCount(), At(0, 0), second.Pixel(0, 0)}), (std::tuple{1, kBlue, kRed}));
    // Presenting to another window on request.
    EXPECT_EQ(device->Present(nullptr, nullptr, &third, nullptr), D3D_OK);
    EXPECT_EQ(third.Pixel(0, 0), kBlue);
    // A nil render target keeps the current one; a nil depth surface draws without depth.
    EXPECT_EQ(device->SetRenderTarget(nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->GetDepthStencilSurface(none.Put()), D3DERR_NOTFOUND);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(depth.Get(), nullptr), D3DERR_INVALIDCALL);  // depth surfaces are no targets
}

TEST_F(Device, PresentFailuresLostDevicesAndGoneWindows)
{
    Open(8, 8);
    auto present = [this] { return device->Present(nullptr, nullptr, nullptr, nullptr); };
    D3DFailNext(TD3DFailPoint::Present, 1, D3DDEVTYPE_REF);
    EXPECT_EQ(present(), D3D_OK);  // hardware: not affected
    D3DFailNext(TD3DFailPoint::Present, 1);
    EXPECT_EQ((std::pair{present(), present()}), std::pair(D3DERR_DEVICELOST, D3D_OK));
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    D3DLoseDevices();
    EXPECT_EQ((std::pair{device->TestCooperativeLevel(), present()}), std::pair(D3DERR_DEVICELOST, D3DERR_DEVICELOST));
    const TComRef<IDirect3DDevice8> old = device;
    Open(8, 8);  // a new device is not lost
    EXPECT_EQ(std::pair(device->TestCooperativeLevel(), old->TestCooperativeLevel()),
              std::pair(D3D_OK, D3DERR_DEVICELOST));
    host.reset();  // a window that is gone
    EXPECT_EQ(present(), D3DERR_INVALIDCALL);
}

TEST_F(Device, ObjectsOfAReleasedDeviceAreNeverDrawn)
{
    Open(8, 8);
    auto oldBuffer = MakeBuffer({P(0, 0), P(8, 0), P(0, 8)});
    TComRef<IDirect3DTexture8> oldTexture;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, oldTexture.Put()), D3D_OK);
    Open(8, 8);  // the first device goes; its buffer and texture stay alive
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    device->BeginScene();
    EXPECT_EQ(device->SetStreamSource(0, oldBuffer.Get(), sizeof(TVertex)), D3D_OK);
    EXPECT_EQ(device->SetVertexShader(kFvf), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTexture(0, oldTexture.Get()), D3DERR_INVALIDCALL);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(At(1, 1), kBlack);
    BYTE* p = nullptr;
    EXPECT_EQ(oldBuffer->Lock(0, 0, &p, 0), D3D_OK);  // still usable by itself
    oldBuffer->Unlock();
}

TEST_F(Device, DrawCallsCheckTheirStateAndReadItBack)
{
    Open(8, 8);
    auto vb = MakeBuffer({P(0, 0), P(8, 0), P(0, 8), P(8, 0), P(8, 8), P(0, 8)});
    auto draw = [this](UINT start, UINT count) { return device->DrawPrimitive(D3DPT_TRIANGLELIST, start, count); };
    EXPECT_EQ(draw(0, 1), D3DERR_INVALIDCALL);  // outside a scene
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(draw(0, 1), D3DERR_INVALIDCALL);  // no stream
    device->SetStreamSource(0, vb.Get(), sizeof(TVertex));
    EXPECT_EQ(device->SetVertexShader(D3DFVF_DIFFUSE), D3DERR_INVALIDCALL);  // no position
    device->SetVertexShader(kFvf);
    // Other primitives, and triangles beyond the buffer, are refused.
    EXPECT_EQ(
        (std::vector{device->DrawPrimitive(D3DPRIMITIVETYPE(5), 0, 1), draw(4, 1), draw(0, 3), draw(0, 0), draw(3, 1)}),
        (std::vector{D3DERR_INVALIDCALL, D3DERR_INVALIDCALL, D3DERR_INVALIDCALL, D3D_OK, D3D_OK}));
    device->SetStreamSource(0, vb.Get(), 12);  // a stride shorter than the format
    EXPECT_EQ(draw(0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);  // inside a scene
    EXPECT_EQ(device->EndScene(), D3D_OK);
    // What was set reads back; a device with a depth buffer starts with the depth test on.
    DWORD shader = 0, zenable = 0, filter = 0;
    UINT stride = 0;
    TComRef<IDirect3DVertexBuffer8> got;
    D3DXMATRIX m, back;
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    device->SetTransform(D3DTS_VIEW, D3DXMatrixTranslation(&m, 1, 2, 3));
    device->GetVertexShader(&shader);
    device->GetRenderState(D3DRS_ZENABLE, &zenable);
    device->GetTextureStageState(0, D3DTSS_MINFILTER, &filter);
    device->GetStreamSource(0, got.Put(), &stride);
    device->GetTransform(D3DTS_VIEW, &back);
    EXPECT_EQ((std::tuple{shader, zenable, filter, stride, got.Get(), back == m}),
              (std::tuple{kFvf, DWORD(D3DZB_TRUE), DWORD(D3DTEXF_LINEAR), 12u, vb.Get(), true}));
    EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATETYPE(17), &m), D3DERR_INVALIDCALL);
}

// 2^33 vertices of 2^31 bytes come to 2^64 bytes, which wraps to 0.
TEST_F(Device, VertexRangesBeyondTheBufferAreRefusedWhateverTheirByteSize)
{
    Open(8, 8);
    auto vb = MakeBuffer({P(0, 0), P(8, 0), P(0, 8)});
    device->SetVertexShader(kFvf);
    device->SetStreamSource(0, vb.Get(), 0x80000000u);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 2, 2863311530u), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
}

TEST_F(Device, TexturesAndBuffersLockWithinTheirBounds)
{
    Open(8, 8);
    TComRef<IDirect3DTexture8> t;
    auto texture = [&](UINT w, UINT h, D3DFORMAT f) {
        return device->CreateTexture(w, h, 1, 0, f, D3DPOOL_MANAGED, t.Put());
    };
    EXPECT_EQ((std::vector{texture(0, 4, D3DFMT_R5G6B5), texture(4, 4, D3DFMT_D16), texture(10000, 4, D3DFMT_R5G6B5)}),
              std::vector<HRESULT>(3, D3DERR_INVALIDCALL));
    for (auto [f, bpp] :
         {std::pair{D3DFMT_R5G6B5, 2}, {D3DFMT_A1R5G5B5, 2}, {D3DFMT_R8G8B8, 3}, {D3DFMT_A8R8G8B8, 4}}) {
        SCOPED_TRACE(testing::Message() << "format " << f);
        ASSERT_EQ(texture(5, 3, f), D3D_OK);
        D3DSURFACE_DESC d{};
        EXPECT_EQ(t->GetLevelDesc(0, &d), D3D_OK);
        EXPECT_EQ(d.Format, f);
        EXPECT_EQ(d.Width, 5u);
        EXPECT_EQ(t->GetLevelCount(), 1u);
        D3DLOCKED_RECT lr{};
        ASSERT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
        EXPECT_GE(lr.Pitch, 5 * bpp);
        std::memset(lr.pBits, 0xAB, size_t(lr.Pitch) * 2 + 5 * bpp);  // the whole level is writable
        RECT outside{0, 0, 6, 3};
        EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);  // locked already
        EXPECT_EQ((std::pair{t->UnlockRect(0), t->UnlockRect(0)}), std::pair(D3D_OK, D3DERR_INVALIDCALL));
        EXPECT_EQ((std::pair{t->LockRect(1, &lr, nullptr, 0), t->LockRect(0, &lr, &outside, 0)}),
                  std::pair(D3DERR_INVALIDCALL, D3DERR_INVALIDCALL));
    }
    D3DFailNext(TD3DFailPoint::CreateTexture, 1);
    EXPECT_EQ(texture(4, 4, D3DFMT_R5G6B5), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_FALSE(t);
    ASSERT_EQ(texture(4, 4, D3DFMT_R5G6B5), D3D_OK);
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
    EXPECT_EQ((std::pair{vb->Lock(40, 16, &p, 0), vb->Lock(49, 0, &p, 0)}),
              std::pair(D3DERR_INVALIDCALL, D3DERR_INVALIDCALL));
    ASSERT_EQ(vb->Lock(24, 0, &p, D3DLOCK_NOSYSLOCK), D3D_OK);
    std::memset(p, 0, 24);
    EXPECT_EQ(vb->Lock(0, 0, &p, 0), D3DERR_INVALIDCALL);  // locked already
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
        D3DPRESENT_PARAMETERS pp = Windowed(&host), pp2 = Windowed(&other);
        TComRef<IDirect3DDevice8> dev;
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &host, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, dev.Put()),
                  D3D_OK);
        TComRef<IDirect3DSwapChain8> chain;
        ASSERT_EQ(dev->CreateAdditionalSwapChain(&pp2, chain.Put()), D3D_OK);
        TComRef<IDirect3DTexture8> tex;
        ASSERT_EQ(dev->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, tex.Put()), D3D_OK);
        dev->SetTexture(0, tex.Get());
        TComRef<IDirect3DSurface8> back;
        chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put());
        EXPECT_EQ(back->RefCount(), 2u);  // the chain's and ours
        // The device's own swap chain and the extra one.
        const TD3DCounters during = D3DCounters();
        EXPECT_EQ((std::tuple{during.liveDevices, during.liveSwapChains, during.liveTextures}),
                  (std::tuple{before.liveDevices + 1, before.liveSwapChains + 2, before.liveTextures + 1}));
        dev = nullptr;  // dropping the device first leaves the chain and the texture usable
        EXPECT_EQ(D3DCounters().liveDevices, before.liveDevices);
        EXPECT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(other.FrameCount(), 1);
    }
    const TD3DCounters after = D3DCounters();
    EXPECT_EQ((std::tuple{after.liveObjects, after.liveDevices, after.liveSwapChains, after.liveTextures,
                          after.liveSurfaces}),
              (std::tuple{before.liveObjects, before.liveDevices, before.liveSwapChains, before.liveTextures,
                          before.liveSurfaces}));
}

}  // namespace
