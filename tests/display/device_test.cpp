// The device, its swap chains and the recovery that makes them again.
#include <cstring>

#include "display/vertex_buffers.h"
#include "platform/d3dx/d3dx8mesh.h"
#include "display_fixture.h"

namespace {

D3DDEVTYPE DeviceTypeOf(IDirect3DDevice8* d)
{
    D3DDEVICE_CREATION_PARAMETERS cp{};
    d->GetCreationParameters(&cp);
    return cp.DeviceType;
}

HWND FocusOf(IDirect3DDevice8* d)
{
    D3DDEVICE_CREATION_PARAMETERS cp{};
    d->GetCreationParameters(&cp);
    return cp.hFocusWindow;
}

DWORD State(D3DRENDERSTATETYPE s)
{
    DWORD v = 0;
    D3DDevice->GetRenderState(s, &v);
    return v;
}

DWORD StageState(D3DTEXTURESTAGESTATETYPE s)
{
    DWORD v = 0;
    D3DDevice->GetTextureStageState(0, s, &v);
    return v;
}

using Display = DisplayTest;

}  // namespace

TEST_F(Display, CreateDirect3DReportsAMissingLibrary)
{
    D3DFailNext(TD3DFailPoint::CreateObject, 1);
    EXPECT_FALSE(CreateDirect3D());
    EXPECT_FALSE(D3DObject);
    EXPECT_TRUE(CreateDirect3D());
    EXPECT_TRUE(D3DObject);
    ReleaseDirect3D();
    EXPECT_FALSE(D3DObject);
    EXPECT_FALSE(D3DDevice);
}

TEST_F(Display, FirstViewMakesTheDeviceLaterOnesSwapChains)
{
    TTestView& first = OpenDevice(40, 30);
    ASSERT_TRUE(D3DDevice);
    EXPECT_FALSE(first.SwapChain);  // draws through the device's own back buffer
    EXPECT_EQ(FocusOf(D3DDevice.Get()), first.DeviceWindow());
    EXPECT_EQ(DeviceTypeOf(D3DDevice.Get()), D3DDEVTYPE_HAL);
    IDirect3DDevice8* device = D3DDevice.Get();
    TTestView& second = AddView(20, 10);
    EXPECT_EQ(D3DDevice.Get(), device);
    ASSERT_TRUE(second.SwapChain);
    TComRef<IDirect3DSurface8> back;
    second.SwapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put());
    D3DSURFACE_DESC d{};
    back->GetDesc(&d);
    EXPECT_EQ(d.Width, 20u);
    EXPECT_EQ(d.Height, 10u);

    // A swap chain that cannot be made is reported.
    D3DFailNext(TD3DFailPoint::CreateSwapChain, 1);
    TComRef<IDirect3DSwapChain8> chain;
    EXPECT_FALSE(CreateDeviceOrSwapChain(chain, second.DeviceWindow(), false, 0, 0, 0, 1, true, true));
    EXPECT_FALSE(chain);
}

TEST_F(Display, DeviceOrSwapChainFailures)
{
    TTestView view;
    TComRef<IDirect3DSwapChain8> chain;
    EXPECT_FALSE(CreateDeviceOrSwapChain(chain, view.DeviceWindow(), false, 0, 0, 0, 1, true, true));  // no object
    ASSERT_TRUE(CreateDirect3D());
    D3DFailNext(TD3DFailPoint::DisplayMode, 1);
    EXPECT_FALSE(CreateDeviceOrSwapChain(chain, view.DeviceWindow(), false, 0, 0, 0, 1, true, true));
    EXPECT_FALSE(CreateDeviceOrSwapChain(chain, view.DeviceWindow(), true, 64, 48, 8, 1, true, true));
    D3DFailNext(TD3DFailPoint::CreateDevice, 1, D3DDEVTYPE_HAL);
    EXPECT_FALSE(CreateDeviceOrSwapChain(chain, view.DeviceWindow(), false, 0, 0, 0, 1, true, true));
    EXPECT_FALSE(D3DDevice);
    // Full screen by depth: 32 bits is a format the device draws, 16 is not.
    EXPECT_FALSE(CreateDeviceOrSwapChain(chain, view.DeviceWindow(), true, 64, 48, 16, 1, true, true));
    EXPECT_TRUE(CreateDeviceOrSwapChain(chain, view.DeviceWindow(), true, 64, 48, 32, 1, true, true));
    TComRef<IDirect3DSurface8> back;
    D3DDevice->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put());
    D3DSURFACE_DESC d{};
    back->GetDesc(&d);
    EXPECT_EQ(d.Width, 64u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
}

TEST_F(Display, DefaultRenderStates)
{
    OpenDevice();
    EXPECT_EQ(State(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(State(D3DRS_ZENABLE), DWORD(D3DZB_TRUE));
    EXPECT_EQ(State(D3DRS_FILLMODE), DWORD(D3DFILL_SOLID));
    EXPECT_EQ(State(D3DRS_CULLMODE), DWORD(D3DCULL_CCW));
    EXPECT_EQ(StageState(D3DTSS_ALPHAOP), DWORD(D3DTOP_DISABLE));
    EXPECT_EQ(StageState(D3DTSS_MAGFILTER), DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(StageState(D3DTSS_MINFILTER), DWORD(D3DTEXF_LINEAR));
}

TEST_F(Display, RecoveryWithOneView)
{
    TTestView& view = OpenDevice();
    int reloads = 0, reloadedPosition = 0;
    ReloadTexturesHook = [&](int32_t position) {
        ++reloads;
        reloadedPosition = position;
        return true;
    };
    D3DDevice->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    const int liveBefore = D3DCounters().liveDevices;
    D3DResetCounters();
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    RecreateAllSwapChains();
    EXPECT_TRUE(sink.messages.empty());
    ASSERT_TRUE(D3DDevice);
    EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], 1);
    EXPECT_EQ(D3DCounters().liveDevices, liveBefore);  // the old device is gone
    EXPECT_EQ(FocusOf(D3DDevice.Get()), view.DeviceWindow());
    EXPECT_EQ(DeviceTypeOf(D3DDevice.Get()), D3DDEVTYPE_HAL);
    EXPECT_FALSE(view.SwapChain);
    EXPECT_EQ(State(D3DRS_FILLMODE), DWORD(D3DFILL_SOLID));  // defaults set again
    EXPECT_EQ(StageState(D3DTSS_MINFILTER), DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(reloadedPosition, -1);
    EXPECT_EQ(view.recreated, 1);
}

TEST_F(Display, RecoveryWithTwoViewsBindsTheDeviceToTheFirst)
{
    TTestView& first = OpenDevice(16, 16);
    TTestView& second = AddView(24, 12);
    RecreateAllSwapChains();
    EXPECT_EQ(FocusOf(D3DDevice.Get()), first.DeviceWindow());
    EXPECT_FALSE(first.SwapChain);
    ASSERT_TRUE(second.SwapChain);
    // The second view's chain presents to its own window.
    TComRef<IDirect3DSurface8> back, depth;
    second.SwapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put());
    D3DDevice->GetDepthStencilSurface(depth.Put());
    ASSERT_EQ(D3DDevice->SetRenderTarget(back.Get(), depth.Get()), D3D_OK);
    D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00u, 1.0f, 0);
    EXPECT_EQ(second.SwapChain->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(second.host.FrameWidth(), 24);
    EXPECT_EQ(second.host.Pixel(23, 11), 0xFF00FF00u);
    EXPECT_EQ(first.host.FrameCount(), 0);
    EXPECT_EQ(first.recreated, 1);
    EXPECT_EQ(second.recreated, 1);
}

TEST_F(Display, FailingHardwareWarnsOncePerViewThenUsesTheReferenceRasterizer)
{
    OpenDevice(16, 16);
    AddView(16, 16);
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    D3DFailNext(TD3DFailPoint::CreateDevice, -1, D3DDEVTYPE_HAL);
    D3DFailNext(TD3DFailPoint::CreateSwapChain, 1);  // the second view's first try fails too
    RecreateAllSwapChains();
    ASSERT_EQ(sink.messages.size(), 2u);
    for (const auto& m : sink.messages) {
        EXPECT_EQ(m.text, "Hardware Mode no availible...Trying software mode");
        EXPECT_EQ(m.caption, "Warning.");
        EXPECT_EQ(m.icon, TMsgIcon::Warning);
        EXPECT_EQ(m.buttons, unsigned(MB_OK));
    }
    ASSERT_TRUE(D3DDevice);
    EXPECT_EQ(DeviceTypeOf(D3DDevice.Get()), D3DDEVTYPE_REF);
    EXPECT_TRUE(ViewportRegistry[2]->SwapChain);
    EXPECT_TRUE(sink.endCodes.empty());
}

TEST_F(Display, WhenBothDeviceTypesFailTheProcessEnds)
{
    OpenDevice();
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    D3DFailNext(TD3DFailPoint::CreateDevice, -1);
    EXPECT_THROW(RecreateAllSwapChains(), EProcessEnd);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, "Hardware Mode no availible...Trying software mode");
    EXPECT_EQ(sink.messages[1].text, "Error trying to setup Direct3d");
    EXPECT_EQ(sink.messages[1].caption, "Error");
    EXPECT_EQ(sink.messages[1].icon, TMsgIcon::Error);
    ASSERT_EQ(sink.endCodes.size(), 1u);
    EXPECT_NE(sink.endCodes[0], 0);
    EXPECT_FALSE(D3DDevice);
    EXPECT_FALSE(D3DObject);
}

TEST_F(Display, RecoveryEmptiesEveryVertexBufferArray)
{
    OpenDevice();
    TVertexBuffer_array buffers;
    buffers.SetCount(3);
    int resets = 0;
    buffers.OnDeviceReset = [&] { ++resets; };
    ASSERT_EQ(D3DDevice->CreateVertexBuffer(240, D3DUSAGE_WRITEONLY, BufferVertexFormat, D3DPOOL_MANAGED,
                                            buffers[1].VertexBuffer.Put()),
              D3D_OK);
    buffers[1].Capacity = 10;
    buffers[1].PrimitiveCount = 3;
    buffers[1].GroupCount = 1;
    buffers[1].GroupPrimitives = {3};
    buffers[1].GroupTextures = {5001};
    const int liveBuffers = D3DCounters().liveVertexBuffers;
    RecreateAllSwapChains();
    EXPECT_EQ(resets, 1);
    EXPECT_FALSE(buffers[1].VertexBuffer);
    EXPECT_EQ(buffers[1].Capacity, 0u);
    EXPECT_EQ(buffers[1].PrimitiveCount, 0u);  // nothing drawn until rebuilt
    EXPECT_EQ(D3DCounters().liveVertexBuffers, liveBuffers - 1);
}

TEST_F(Display, RegistryHoldsSixteenViews)
{
    std::vector<std::unique_ptr<TTestView>> many;
    for (int i = 0; i < 16; ++i) {
        many.push_back(std::make_unique<TTestView>());
        EXPECT_TRUE(ViewportRegistry.Add(many.back().get()));
    }
    TTestView extra;
    EXPECT_FALSE(ViewportRegistry.Add(&extra));
    EXPECT_EQ(ViewportRegistry.Count, 16);
    EXPECT_EQ(ViewportRegistry[1], many[0].get());
    EXPECT_EQ(ViewportRegistry[16], many[15].get());
    EXPECT_EQ(ViewportRegistry[0], nullptr);
    EXPECT_EQ(ViewportRegistry[17], nullptr);
    ViewportRegistry.Clear();
    EXPECT_EQ(ViewportRegistry.Count, 0);
}

TEST(VertexBufferArray, SetCountAndClear)
{
    TVertexBuffer_array a;
    EXPECT_EQ(a.Count(), 0);
    a.Clear();  // harmless on an empty array
    EXPECT_EQ(a.Count(), 0);
    a.SetCount(2);
    EXPECT_EQ(a.Count(), 2);
    EXPECT_EQ(a[0].FillMode, FillSolid);
    EXPECT_EQ(a[0].DefaultTexture, 0);
    EXPECT_EQ(a[0].PrimitiveCount, 0u);
    a[1].PrimitiveCount = 7;
    a[1].Capacity = 21;
    a[1].FillMode = FillWireframe;
    a[1].DefaultTexture = 5002;
    a[1].OneGroup = 1;
    a[1].GroupCount = 1;
    a[1].GroupPrimitives = {7};
    a.SetCount(3);
    EXPECT_EQ(a.Count(), 3);
    // Old elements keep primitive count, groups, texture and one-group flag,
    // but lose their buffer and capacity, and are solid again.
    EXPECT_EQ(a[1].PrimitiveCount, 7u);
    EXPECT_EQ(a[1].Capacity, 0u);
    EXPECT_EQ(a[1].FillMode, FillSolid);
    EXPECT_EQ(a[1].DefaultTexture, 5002);
    EXPECT_EQ(a[1].OneGroup, 1);
    EXPECT_EQ(a[1].GroupPrimitives.size(), 1u);
    EXPECT_EQ(a[2].PrimitiveCount, 0u);
    a.SetCount(-4);
    EXPECT_EQ(a.Count(), 0);
    a.SetCount(1);
    a.Clear();
    EXPECT_EQ(a.Count(), 0);
}

TEST_F(Display, SphereSeenThroughTheCameraShowsItsNearSide)
{
    // The conventions fit together: a sphere mesh, the look-at and
    // perspective matrices, and counter-clockwise culling keep the near side.
    TTestView& view = OpenDevice(32, 32);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateSphere(D3DDevice.Get(), 1.0f, 16, 12, &mesh, nullptr), D3D_OK);
    BYTE* vb = nullptr;
    BYTE* ib = nullptr;
    mesh->LockVertexBuffer(0, &vb);
    mesh->LockIndexBuffer(0, &ib);
    std::vector<tbuffer_vertex> tris;
    for (DWORD i = 0; i < mesh->GetNumFaces() * 3; ++i) {
        uint16_t index;
        std::memcpy(&index, ib + 2 * i, 2);
        float p[3];
        std::memcpy(p, vb + 24 * index, 12);
        // Near side (z < 0, towards the eye) red, far side green.
        tris.push_back({p[0], p[1], p[2], p[2] < 0 ? 0xFFFF0000u : 0xFF00FF00u, 0, 0});
    }
    mesh->UnlockVertexBuffer();
    mesh->UnlockIndexBuffer();
    mesh->Release();
    TComRef<IDirect3DVertexBuffer8> buffer;
    ASSERT_EQ(D3DDevice->CreateVertexBuffer(UINT(tris.size() * 24), D3DUSAGE_WRITEONLY, BufferVertexFormat,
                                            D3DPOOL_MANAGED, buffer.Put()),
              D3D_OK);
    BYTE* p = nullptr;
    buffer->Lock(0, 0, &p, 0);
    std::memcpy(p, tris.data(), tris.size() * 24);
    buffer->Unlock();

    D3DXVECTOR3 eye(0, 0, -4), at(0, 0, 0), up(0, 1, 0);
    D3DXMATRIX viewMatrix, projection;
    D3DXMatrixLookAtLH(&viewMatrix, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 3.14159265f / 4, 1.0f, 0.1f, 1000.0f);
    D3DDevice->SetTransform(D3DTS_VIEW, &viewMatrix);
    D3DDevice->SetTransform(D3DTS_PROJECTION, &projection);
    D3DDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);  // only culling decides what shows
    D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    D3DDevice->BeginScene();
    D3DDevice->SetStreamSource(0, buffer.Get(), 24);
    D3DDevice->SetVertexShader(BufferVertexFormat);
    ASSERT_EQ(D3DDevice->DrawPrimitive(D3DPT_TRIANGLELIST, 0, UINT(tris.size() / 3)), D3D_OK);
    D3DDevice->EndScene();
    D3DDevice->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(view.host.Pixel(16, 16) & 0xFFFFFF00u, 0xFFFF0000u);  // the near side, reddish
    EXPECT_EQ(view.host.Pixel(0, 0), 0xFF000000u);
}
