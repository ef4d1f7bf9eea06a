// The display engine's globals set up on off-screen windows, and a view
// standing in for the viewport.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "display/device.h"
#include "platform/d3d8/d3d8_control.h"
#include "platform/rtl/messages.h"

struct TTestView : TDeviceView {
    explicit TTestView(int w = 32, int h = 24) : host(w, h) {}
    HWND DeviceWindow() const override { return const_cast<TOffscreenHost*>(&host); }
    void DeviceRecreated() override { ++recreated; }
    TOffscreenHost host;
    int recreated = 0;
};

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ViewportRegistry.Clear();
        D3DClearFailures();
        ReloadTexturesHook = nullptr;
    }
    void TearDown() override
    {
        ReleaseDirect3D();
        ViewportRegistry.Clear();
        D3DClearFailures();
        ReloadTexturesHook = nullptr;
    }

    // The Direct3D object and a hardware device on a view of its own, as the
    // first viewport's attach makes it.
    TTestView& OpenDevice(int w = 32, int h = 24)
    {
        EXPECT_TRUE(CreateDirect3D());
        views.push_back(std::make_unique<TTestView>(w, h));
        TTestView& v = *views.back();
        ViewportRegistry.Add(&v);
        EXPECT_TRUE(CreateDeviceOrSwapChain(v.SwapChain, v.DeviceWindow(), false, 0, 0, 0, 1, true, true));
        SetDefaultRenderStates();
        return v;
    }

    // A further registered view with a swap chain on the device.
    TTestView& AddView(int w = 32, int h = 24)
    {
        views.push_back(std::make_unique<TTestView>(w, h));
        TTestView& v = *views.back();
        ViewportRegistry.Add(&v);
        EXPECT_TRUE(CreateDeviceOrSwapChain(v.SwapChain, v.DeviceWindow(), false, 0, 0, 0, 1, true, true));
        return v;
    }

    std::vector<std::unique_ptr<TTestView>> views;
};
