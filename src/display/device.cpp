#include "display/device.h"

#include "display/vertex_buffers.h"
#include "platform/rtl/messages.h"

TComRef<IDirect3D8> D3DObject;
TComRef<IDirect3DDevice8> D3DDevice;
TViewportRegistry ViewportRegistry;
std::function<bool(int32_t)> ReloadTexturesHook;

namespace {

// Exit code of the process when Direct3D cannot be set up again.
constexpr int kSetupFailedExitCode = 1;

}  // namespace

bool TViewportRegistry::Add(TDeviceView* view)
{
    if (Count >= Capacity) return false;
    Items[++Count] = view;
    return true;
}

void TViewportRegistry::Clear()
{
    Count = 0;
    for (auto& item : Items) item = nullptr;
}

bool CreateDirect3D()
{
    D3DObject = TComRef<IDirect3D8>::Adopt(Direct3DCreate8(D3D_SDK_VERSION));
    return static_cast<bool>(D3DObject);
}

bool CreateDeviceOrSwapChain(TComRef<IDirect3DSwapChain8>& swapChain, HWND window, bool fullScreen, int32_t width,
                             int32_t height, int32_t bitsPerPixel, int32_t backBufferCount, bool hardware,
                             bool depthBuffer)
{
    if (!D3DObject) return false;
    D3DPRESENT_PARAMETERS pp{};
    if (!fullScreen) {
        D3DDISPLAYMODE mode{};
        if (FAILED(D3DObject->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) return false;
        pp.BackBufferFormat = mode.Format;
        pp.Windowed = 1;
    } else {
        switch (bitsPerPixel) {
        case 16: pp.BackBufferFormat = D3DFMT_R5G6B5; break;
        case 24: pp.BackBufferFormat = D3DFMT_X8R8G8B8; break;
        case 32: pp.BackBufferFormat = D3DFMT_A8R8G8B8; break;
        default: return false;
        }
        pp.BackBufferWidth = UINT(width);
        pp.BackBufferHeight = UINT(height);
        pp.BackBufferCount = UINT(backBufferCount);
        pp.Windowed = 0;
    }
    pp.MultiSampleType = D3DMULTISAMPLE_NONE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    if (depthBuffer) {
        pp.EnableAutoDepthStencil = 1;
        pp.AutoDepthStencilFormat = D3DFMT_D16;
    }
    const D3DDEVTYPE type = hardware ? D3DDEVTYPE_HAL : D3DDEVTYPE_REF;

    swapChain = nullptr;
    if (!D3DDevice) {
        // The view that makes the device draws through its own back buffer.
        return SUCCEEDED(D3DObject->CreateDevice(D3DADAPTER_DEFAULT, type, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                                 &pp, D3DDevice.Put()));
    }
    // A chain that could not be made is a failure like any other, so that
    // the callers try again or fall back instead of drawing through the
    // first view's back buffer.
    return SUCCEEDED(D3DDevice->CreateAdditionalSwapChain(&pp, swapChain.Put()));
}

void ReleaseDirect3D()
{
    D3DDevice = nullptr;
    D3DObject = nullptr;
}

void SetDefaultRenderStates()
{
    if (!D3DDevice) return;
    D3DDevice->SetRenderState(D3DRS_LIGHTING, 0);
    D3DDevice->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    D3DDevice->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    D3DDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    D3DDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    D3DDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    D3DDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
}

void RecreateAllSwapChains()
{
    D3DDevice = nullptr;
    for (int32_t i = 1; i <= ViewportRegistry.Count; ++i) {
        TDeviceView* view = ViewportRegistry[i];
        view->SwapChain = nullptr;
        if (CreateDeviceOrSwapChain(view->SwapChain, view->DeviceWindow(), false, 0, 0, 0, 1, true, true)) continue;
        MessageBox("Hardware Mode no availible...Trying software mode", "Warning.", MB_OK | MB_ICONWARNING);
        if (CreateDeviceOrSwapChain(view->SwapChain, view->DeviceWindow(), false, 0, 0, 0, 1, false, true)) continue;
        MessageBox("Error trying to setup Direct3d", "Error", MB_OK | MB_ICONERROR);
        ReleaseDirect3D();
        Halt(kSetupFailedExitCode);
    }
    SetDefaultRenderStates();
    if (ReloadTexturesHook) ReloadTexturesHook(-1);
    // Buffers made on the released device are never drawn again: the arrays
    // drop them and their owners build them anew.
    ResetAllVertexBufferArrays();
    for (int32_t i = 1; i <= ViewportRegistry.Count; ++i) ViewportRegistry[i]->DeviceRecreated();
}
