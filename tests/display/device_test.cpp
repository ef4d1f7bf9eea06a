// The device, the swap chains of further views, the view registry, the
// vertex buffer arrays, and the recovery that makes them all again.
#include "display/vertex_buffers.h"
#include "support/view_fixture.h"

namespace {

using Device = DeviceTest;

D3DDEVICE_CREATION_PARAMETERS Creation()
{
    D3DDEVICE_CREATION_PARAMETERS cp{};
    D3DDevice->GetCreationParameters(&cp);
    return cp;
}

}  // namespace

TEST_F(Device, CreationFailuresAndTheRegistry)
{
    D3DFailNext(TD3DFailPoint::CreateObject, 1);  // no library
    EXPECT_FALSE(CreateDirect3D());
    TTestView view(64, 48);
    TComRef<IDirect3DSwapChain8> chain;
    auto make = [&](bool fullScreen, int bits) {
        return CreateDeviceOrSwapChain(chain, &view.host, fullScreen, 64, 48, bits, 1, true, true);
    };
    EXPECT_FALSE(make(false, 0));  // no object
    ASSERT_TRUE(CreateDirect3D());
    D3DFailNext(TD3DFailPoint::DisplayMode, 1);
    EXPECT_FALSE(make(false, 0));
    D3DFailNext(TD3DFailPoint::CreateDevice, 1, D3DDEVTYPE_HAL);
    EXPECT_FALSE(make(false, 0));
    EXPECT_FALSE(make(true, 8));   // no format for 8 bits
    EXPECT_FALSE(make(true, 16));  // none drawn for 16
    EXPECT_FALSE(D3DDevice);
    ASSERT_TRUE(make(true, 32));
    D3DFailNext(TD3DFailPoint::CreateSwapChain, 1);  // with a device: a chain, which can fail too
    EXPECT_FALSE(make(false, 0));

    std::vector<std::unique_ptr<TTestView>> many;
    for (int i = 0; i < 17; ++i) {
        many.push_back(std::make_unique<TTestView>(8, 8));
        EXPECT_EQ(ViewportRegistry.Add(many.back().get()), i < 16) << i;
    }
    EXPECT_EQ(ViewportRegistry.Count, 16);
    EXPECT_EQ(ViewportRegistry[16], many[15].get());
    EXPECT_EQ(ViewportRegistry[0], nullptr);
    EXPECT_EQ(ViewportRegistry[17], nullptr);
}

TEST_F(Device, RecoveryMakesEveryViewAgainOrEndsTheProcess)
{
    TTestView& first = OpenView(16, 16);
    TTestView& second = OpenView(24, 12);
    std::vector<int32_t> reloads;
    ReloadTexturesHook = [&](int32_t position) {
        reloads.push_back(position);
        return true;
    };
    TVertexBuffer_array buffers;
    buffers.SetCount(2);
    int resets = 0;
    buffers.OnDeviceReset = [&] { ++resets; };
    ASSERT_EQ(D3DDevice->CreateVertexBuffer(240, D3DUSAGE_WRITEONLY, BufferVertexFormat, D3DPOOL_MANAGED,
                                            buffers[1].VertexBuffer.Put()),
              D3D_OK);
    buffers[1].Capacity = 10;
    buffers[1].PrimitiveCount = 3;
    buffers[1].DefaultTexture = 5002;
    buffers[1].OneGroup = 1;
    D3DDevice->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    const TD3DCounters before = D3DCounters();
    RecreateAllSwapChains();
    // The device for the first view, a chain for the second, the default
    // render states, the textures reloaded, the buffers of the old device
    // released, every view told.
    EXPECT_EQ(Creation().hFocusWindow, first.DeviceWindow());
    EXPECT_EQ(Creation().DeviceType, D3DDEVTYPE_HAL);
    EXPECT_FALSE(first.SwapChain);
    EXPECT_TRUE(second.SwapChain);
    DWORD v[7] = {9, 9, 9, 9, 9, 9, 9};
    const D3DRENDERSTATETYPE states[4] = {D3DRS_LIGHTING, D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_CULLMODE};
    const D3DTEXTURESTAGESTATETYPE stages[3] = {D3DTSS_ALPHAOP, D3DTSS_MAGFILTER, D3DTSS_MINFILTER};
    for (int i = 0; i < 7; ++i)
        i < 4 ? D3DDevice->GetRenderState(states[i], &v[i]) : D3DDevice->GetTextureStageState(0, stages[i - 4], &v[i]);
    EXPECT_EQ(std::vector<DWORD>(v, v + 7), (std::vector<DWORD>{0, D3DZB_TRUE, D3DFILL_SOLID, D3DCULL_CCW,
                                                                D3DTOP_DISABLE, D3DTEXF_LINEAR, D3DTEXF_LINEAR}));
    EXPECT_EQ(reloads, std::vector<int32_t>{-1});
    EXPECT_EQ(first.recreated, 1);
    EXPECT_EQ(second.recreated, 1);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(D3DCounters().liveDevices, before.liveDevices);
    EXPECT_EQ(D3DCounters().liveVertexBuffers, before.liveVertexBuffers - 1);
    EXPECT_FALSE(buffers[1].VertexBuffer);
    EXPECT_EQ(buffers[1].Capacity, 0u);
    EXPECT_EQ(buffers[1].PrimitiveCount, 0u);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{});
    // A new count: no capacity, solid; texture and one-group flag kept.
    buffers[1].Capacity = 7;
    buffers[1].FillMode = FillWireframe;
    buffers.SetCount(3);
    EXPECT_EQ(buffers.Count(), 3);
    EXPECT_EQ(buffers[1].Capacity, 0u);
    EXPECT_EQ(buffers[1].FillMode, FillSolid);
    EXPECT_EQ(buffers[2].PrimitiveCount, 0u);
    EXPECT_EQ(buffers[1].DefaultTexture, 5002);
    EXPECT_EQ(buffers[1].OneGroup, 1);
    buffers.SetCount(-4);
    EXPECT_EQ(buffers.Count(), 0);

    // Failing hardware: one warning a view, then the reference rasterizer;
    // when that fails too, an error and the end of the process.
    D3DFailNext(TD3DFailPoint::CreateDevice, -1, D3DDEVTYPE_HAL);
    D3DFailNext(TD3DFailPoint::CreateSwapChain, 1);  // the second view's first try fails too
    RecreateAllSwapChains();
    EXPECT_EQ(Creation().DeviceType, D3DDEVTYPE_REF);
    EXPECT_TRUE(second.SwapChain);
    EXPECT_EQ(sink.endCodes, std::vector<int>{});
    ASSERT_EQ(sink.Texts(), std::vector<std::string>(2, "Hardware Mode no availible...Trying software mode"));
    EXPECT_EQ(sink.messages[1].caption, "Warning.");
    EXPECT_EQ(sink.messages[1].icon, TMsgIcon::Warning);
    D3DFailNext(TD3DFailPoint::CreateDevice, -1);
    sink.messages.clear();
    EXPECT_THROW(RecreateAllSwapChains(), EProcessEnd);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[1].text, "Error trying to setup Direct3d");
    EXPECT_EQ(sink.messages[1].caption, "Error");
    EXPECT_EQ(sink.messages[1].icon, TMsgIcon::Error);
    EXPECT_FALSE(D3DDevice);
    EXPECT_FALSE(D3DObject);
    ASSERT_EQ(sink.endCodes.size(), 1u);
    EXPECT_NE(sink.endCodes[0], 0);
}
