// A host control that shows frames off screen, and a fixture with the
// Direct3D object, the texture store and one viewport with its camera.
#pragma once

#include <memory>

#include "display/camera.h"
#include "display/texture_store.h"
#include "display/viewport.h"
#include "display_fixture.h"
#include "platform/gdi/controls.h"

// A control whose window keeps the frames presented to it; its client size
// follows the control's size.
class TOffscreenControl : public TMemoryControl {
public:
    TOffscreenControl(int width, int height, TForm* owner = nullptr) : TMemoryControl(owner), host(width, height)
    {
        SetHandle(&host);
        TOffscreenControl::SetBounds(0, 0, width, height);
    }
    void SetBounds(int left, int top, int width, int height) override
    {
        host.SetClientSize(width, height);
        TMemoryControl::SetBounds(left, top, width, height);
    }
    TOffscreenHost host;
};

class ViewportTest : public DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        scope = std::make_unique<TScopedMessageSink>(sink);
        ASSERT_TRUE(CreateDirect3D());
        CreateTextureBuffer();
    }
    void TearDown() override
    {
        viewport.reset();
        FreeTextureBuffer();
        DisplayTest::TearDown();
        scope.reset();
    }

    // The viewport on a host of the given size, as the main window sets it up.
    TGLViewport& Open(int width = 64, int height = 48)
    {
        control = std::make_unique<TOffscreenControl>(width, height);
        viewport = std::make_unique<TGLViewport>();
        viewport->SetCamera(&camera);
        viewport->Attach(control.get());
        viewport->SetBackgroundColor(0x808000);
        viewport->Buffers = &buffers;
        return *viewport;
    }

    TRecordingSink sink;
    std::unique_ptr<TScopedMessageSink> scope;
    TGLCamera camera;
    TVertexBuffer_array buffers;
    std::unique_ptr<TOffscreenControl> control;
    std::unique_ptr<TGLViewport> viewport;
};
