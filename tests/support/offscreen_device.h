// The program's 3D device on a small off-screen window, for benchmarks of
// what builds vertex buffers; released when it goes.
#pragma once

#include "display/device.h"
#include "platform/d3d8/host_window.h"

struct TOffscreenDevice {
    TOffscreenDevice() : host(64, 64)
    {
        CreateDirect3D();
        TComRef<IDirect3DSwapChain8> none;
        CreateDeviceOrSwapChain(none, &host, false, 0, 0, 0, 1, true, true);
    }
    ~TOffscreenDevice() { ReleaseDirect3D(); }
    TOffscreenHost host;
};
