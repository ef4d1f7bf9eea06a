// A 3D view: binds a host control to the Direct3D device, keeps the view's
// world, view and projection matrices, turns right-button drags into
// rotation (no key), panning (Shift) and zoom (Ctrl), fits the camera to a
// box, and draws a vertex buffer array that somebody else owns. Before a
// frame it calls the build callback when it was told that the buffers are
// out of date.
#pragma once

#include <cstdint>
#include <functional>

#include "display/camera.h"
#include "display/device.h"
#include "display/vertex_buffers.h"
#include "platform/gdi/controls.h"

// The build callback: fills the buffers before a frame.
using TBuildProc = std::function<void()>;
// The callback a new viewport starts with: does nothing.
void DefaultBuildProc();

// A toolkit colour (red in the low byte) as an opaque 0xAARRGGBB colour.
D3DCOLOR ColorToD3D(TColor color);

struct TVector3D {
    double X = 0, Y = 0, Z = 0;
};

class TGLViewport final : public TDeviceView {
public:
    // A viewport registered with the device recovery; no device work yet.
    explicit TGLViewport(TForm* owner = nullptr);
    // Gives the host its handlers back and leaves the registry.
    ~TGLViewport();
    TGLViewport(const TGLViewport&) = delete;
    TGLViewport& operator=(const TGLViewport&) = delete;

    // Stores the camera and gives it this view's view matrix to fill.
    void SetCamera(TGLCamera* camera);
    TGLCamera* GetCamera() const { return Camera; }
    // The clear colour of every frame; the host's colour too once attached.
    void SetBackgroundColor(TColor color);
    // Binds the view to a control: the device (or a swap chain) for its
    // window in up to 10 attempts, else an error message and the end of the
    // process; the start matrices; the control's resize, click, mouse and
    // window-procedure hooks; the default render states.
    void Attach(TControl* control);
    // Draws one frame: the build callback first when not built, then every
    // buffer, then present. Nothing while there is no device.
    void Render();
    // Marks the content out of date and renders.
    void Rebuild();
    // The box of interest: min + offset to max + offset.
    void SetSceneBounds(TVector3D min, TVector3D max, TVector3D offset);
    // Places the camera over the box (a 6 x 4 area fills the view) and
    // clears the view's own translation, rotation and drag state.
    void FitView();

    // The window the device draws into: the host's.
    HWND DeviceWindow() const override;
    // After a device recovery the buffers must be built again.
    void DeviceRecreated() override { Built = 0; }

    // Hooks installed by Attach.
    void WndProcHook(TMessage& message);
    void ControlResize(TControl* sender);
    void ControlClick(TControl* sender);
    void ControlMouseDown(TControl* sender, TMouseButton button, TShiftState shift, int x, int y);
    void ControlMouseMove(TControl* sender, TShiftState shift, int x, int y);
    void ControlMouseUp(TControl* sender, TMouseButton button, TShiftState shift, int x, int y);
    // The navigation steps of the mouse hooks.
    void MouseDownNav(TShiftState shift, int x, int y);
    void MouseMoveNav(TShiftState shift, int x, int y);
    void MouseUpNav();

    // The projection of the host's size, set on the device (kept as it was
    // while the host has no area).
    void SetProjection();

    TForm* Owner = nullptr;  // recorded only
    TControl* Host = nullptr;
    TColor BackgroundColor = 0;
    TGLCamera* Camera = nullptr;  // not owned
    int32_t Built = 0;            // 0: the next frame calls the build callback first
    // Drag starts, in host pixels.
    int32_t RotateStartX = 0, RotateStartY = 0;
    int32_t PanStartX = 0, PanStartY = 0;
    int32_t ZoomStartX = 0, ZoomStartY = 0;
    bool Rotating = false;
    bool ZoomStarted = false;
    double RotationBaseX = 0, RotationBaseY = 0;  // rotation at the last release
    double PanBaseX = 0, PanBaseY = 0;            // camera X and Y at the last release or fit
    double SavedDistance = 0;                     // camera distance when the zoom drag started
    // The host's handlers from before Attach.
    TNotifyEvent SavedOnResize;
    TNotifyEvent SavedOnClick;
    TMouseEvent SavedOnMouseDown;
    TMouseEvent SavedOnMouseUp;
    TMouseMoveEvent SavedOnMouseMove;
    TWndMethod SavedWindowProc;
    double TranslationX = 0, TranslationY = 0, TranslationZ = 0;
    double RotationX = 0, RotationY = 0, RotationZ = 0;  // in mouse pixels
    double MinX = 922337203685477.6, MinY = 922337203685477.6, MinZ = 922337203685477.6;
    double MaxX = -922337203685477.6, MaxY = -922337203685477.6, MaxZ = -922337203685477.6;
    TVertexBuffer_array* Buffers = nullptr;  // not owned
    D3DXMATRIX WorldMatrix;
    D3DXMATRIX ProjectionMatrix;
    D3DXMATRIX ViewMatrix;
    TBuildProc OnBuild = DefaultBuildProc;

private:
    // The result of the last frame's present.
    HRESULT lastPresent_ = D3D_OK;
};
