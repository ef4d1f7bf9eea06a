// The Direct3D object, the one device every 3D view shares, the swap chains
// of further views, and the recovery that makes them all again.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/d3d8/d3d8.h"

// The Direct3D object; nil until CreateDirect3D succeeds.
extern TComRef<IDirect3D8> D3DObject;
// The one device; nil until the first view is attached. Everything of the
// display engine draws through it.
extern TComRef<IDirect3DDevice8> D3DDevice;

// What the device code needs of a 3D view (the viewport derives from it).
class TDeviceView {
public:
    // The view's swap chain; nil while the view draws through the device's
    // own back buffer.
    TComRef<IDirect3DSwapChain8> SwapChain;

    // The window the view draws into.
    virtual HWND DeviceWindow() const = 0;
    // Called at the end of a recovery: the device, the swap chains and the
    // textures are new, the vertex buffers were emptied, so the view's next
    // frame must have its content built again.
    virtual void DeviceRecreated() {}

protected:
    TDeviceView() = default;
    ~TDeviceView() = default;
};

// Every view ever created, numbered from 1.
struct TViewportRegistry {
    static constexpr int32_t Capacity = 16;
    int32_t Count = 0;
    TDeviceView* Items[Capacity + 1] = {};  // slot 0 unused

    // Appends a view; false (and nothing stored) when the registry is full.
    bool Add(TDeviceView* view);
    // Checked against the table's size as well as Count, so that no Count can read past it.
    TDeviceView* operator[](int32_t i) const { return i >= 1 && i <= Count && i <= Capacity ? Items[i] : nullptr; }
    // Empties the registry (as when the display engine starts).
    void Clear();
};
extern TViewportRegistry ViewportRegistry;

// The texture store's reload, called with -1 at the end of a recovery so
// that every texture is made again on the new device. Set by the store.
extern std::function<bool(int32_t position)> ReloadTexturesHook;

// Creates the Direct3D object (SDK version 120); true when it exists.
bool CreateDirect3D();

// Fills the presentation parameters and, with no device yet, creates the
// device for `window` (the chain stays nil: the view uses the device's own
// back buffer); with a device, creates an additional swap chain into
// `swapChain`. Either way the chain is released first. Windowed mode takes
// the window's size and the display's format; full screen takes the given
// size and a format by depth (16, 24 or 32 bits). The device is hardware or
// the reference rasterizer; the depth buffer is 16-bit when asked for.
bool CreateDeviceOrSwapChain(TComRef<IDirect3DSwapChain8>& swapChain, HWND window, bool fullScreen, int32_t width,
                             int32_t height, int32_t bitsPerPixel, int32_t backBufferCount, bool hardware,
                             bool depthBuffer);

// Releases the device, then the object.
void ReleaseDirect3D();

// Lighting off, depth test on, solid fill, counter-clockwise faces culled,
// no alpha operation, linear filtering on stage 0: on D3DDevice.
void SetDefaultRenderStates();

// Releases the device and makes it again for the first registered view,
// with a swap chain for every further one: hardware first, the reference
// rasterizer after a warning; when that fails too, an error message and the
// end of the process. Then the default render states, the textures again,
// every vertex buffer array emptied, and every view told.
void RecreateAllSwapChains();
