// The viewport's set-up, its hooks on the host control and the mouse
// navigation, driven by synthetic events on an off-screen host.
#include <cmath>
#include <string>
#include <vector>

#include "viewport_fixture.h"

namespace {

using Viewport = ViewportTest;

D3DXMATRIX Transform(D3DTRANSFORMSTATETYPE state)
{
    D3DMATRIX m{};
    D3DDevice->GetTransform(state, &m);
    return m;
}

void ExpectMatrixNear(const D3DXMATRIX& a, const D3DXMATRIX& b)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], 1e-5f) << "entry " << i << "," << j;
}

D3DXMATRIX RotY(float a)
{
    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, a);
    return m;
}

D3DXMATRIX RotX(float a)
{
    D3DXMATRIX m;
    D3DXMatrixRotationX(&m, a);
    return m;
}

// A right-button drag from (x0, y0) to (x1, y1) with the given keys, and the release.
void Drag(TControl& c, TShiftState keys, int x0, int y0, int x1, int y1)
{
    c.MouseDown(mbRight, keys, x0, y0);
    c.MouseMove(TShiftState(keys | ssRight), x1, y1);
    c.MouseUp(mbRight, keys, x1, y1);
}

}  // namespace

TEST_F(Viewport, CreateRegistersAndStartsEmpty)
{
    TGLViewport v;
    EXPECT_EQ(ViewportRegistry.Count, 1);
    EXPECT_EQ(ViewportRegistry[1], &v);
    EXPECT_EQ(v.Host, nullptr);
    EXPECT_EQ(v.Camera, nullptr);
    EXPECT_EQ(v.Buffers, nullptr);
    EXPECT_EQ(v.Built, 0);
    EXPECT_EQ(v.BackgroundColor, 0u);
    EXPECT_FALSE(v.SwapChain);
    EXPECT_EQ(v.MinX, 922337203685477.6);
    EXPECT_EQ(v.MaxZ, -922337203685477.6);
    EXPECT_EQ(D3DDevice, nullptr);  // no device work before Attach
    ASSERT_TRUE(v.OnBuild);
    v.OnBuild();  // the default callback does nothing

    TGLCamera c;
    v.SetCamera(&c);
    EXPECT_EQ(v.GetCamera(), &c);
    EXPECT_EQ(c.ViewMatrix, &v.ViewMatrix);
}

TEST_F(Viewport, DestroyLeavesTheRegistryAndGivesTheHostItsHandlersBack)
{
    TOffscreenControl host(32, 32);
    int clicks = 0;
    host.OnClick = [&](TControl*) { ++clicks; };
    {
        TGLViewport a, b;
        EXPECT_EQ(ViewportRegistry.Count, 2);
        a.Attach(&host);
        host.MouseDown(mbLeft, 0, 1, 1);
        host.MouseUp(mbLeft, 0, 1, 1);
        EXPECT_EQ(clicks, 1);
    }
    EXPECT_EQ(ViewportRegistry.Count, 0);
    const int frames = host.host.FrameCount();
    host.Paint();
    host.MouseMove(0, 3, 3);
    EXPECT_EQ(host.host.FrameCount(), frames);  // nothing renders any more
    host.MouseDown(mbLeft, 0, 1, 1);
    host.MouseUp(mbLeft, 0, 1, 1);
    EXPECT_EQ(clicks, 2);
}

TEST_F(Viewport, AttachMakesTheDeviceForTheHostAndSetsTheStartMatrices)
{
    TGLViewport& v = Open(80, 40);
    ASSERT_TRUE(D3DDevice);
    EXPECT_FALSE(v.SwapChain);  // the first view draws through the device's back buffer
    D3DDEVICE_CREATION_PARAMETERS cp{};
    D3DDevice->GetCreationParameters(&cp);
    EXPECT_EQ(cp.hFocusWindow, &control->host);
    EXPECT_EQ(cp.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(control->Color(), 0x808000u);

    D3DXMATRIX view;
    const D3DXVECTOR3 eye(0, 0, 5), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    EXPECT_TRUE(Transform(D3DTS_VIEW) == view);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, 0.785398163f, 2.0f, 0.1f, 1000.0f);
    ExpectMatrixNear(Transform(D3DTS_PROJECTION), projection);

    DWORD value = 0;
    D3DDevice->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, DWORD(D3DCULL_CCW));
    D3DDevice->GetTextureStageState(0, D3DTSS_MAGFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_LINEAR));
    EXPECT_TRUE(sink.messages.empty());

    // A second view gets a swap chain on the same device.
    TOffscreenControl second(20, 10);
    TGLViewport other;
    IDirect3DDevice8* device = D3DDevice.Get();
    other.Attach(&second);
    EXPECT_EQ(D3DDevice.Get(), device);
    EXPECT_TRUE(other.SwapChain);
}

TEST_F(Viewport, AttachTriesTenTimes)
{
    D3DResetCounters();
    D3DFailNext(TD3DFailPoint::CreateDevice, 9);
    TGLViewport& v = Open();
    EXPECT_TRUE(D3DDevice);
    EXPECT_TRUE(v.Host);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], 1);
}

TEST_F(Viewport, AttachGivesUpAfterTenFailures)
{
    D3DFailNext(TD3DFailPoint::CreateDevice, 10);
    TOffscreenControl host(32, 32);
    TGLViewport v;
    EXPECT_THROW(v.Attach(&host), EProcessEnd);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Error trying to Create DX Viewport!");
    EXPECT_EQ(sink.messages[0].caption, "Error");
    EXPECT_EQ(sink.messages[0].icon, TMsgIcon::Error);
    EXPECT_EQ(sink.endCodes.size(), 1u);
    EXPECT_FALSE(D3DObject);
    EXPECT_FALSE(D3DDevice);
}

TEST_F(Viewport, HooksCallTheHandlersTheHostHadBefore)
{
    control = std::make_unique<TOffscreenControl>(40, 30);
    std::vector<std::string> calls;
    control->OnResize = [&](TControl* s) { calls.push_back(s == control.get() ? "resize" : "?"); };
    control->OnClick = [&](TControl*) { calls.push_back("click"); };
    control->OnMouseDown = [&](TControl*, TMouseButton b, TShiftState s, int x, int y) {
        calls.push_back("down " + std::to_string(b) + " " + std::to_string(s) + " " + std::to_string(x) + "," +
                        std::to_string(y));
    };
    control->OnMouseMove = [&](TControl*, TShiftState s, int x, int y) {
        calls.push_back("move " + std::to_string(s) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    control->OnMouseUp = [&](TControl*, TMouseButton b, TShiftState s, int, int) {
        calls.push_back("up " + std::to_string(b) + " " + std::to_string(s));
    };
    int painted = 0;
    control->OnPaint = [&](TControl*) { ++painted; };
    viewport = std::make_unique<TGLViewport>();
    viewport->SetCamera(&camera);
    viewport->Attach(control.get());
    viewport->Buffers = &buffers;

    control->MouseDown(mbLeft, ssShift, 3, 4);
    control->MouseMove(TShiftState(ssShift | ssLeft), 5, 6);
    control->MouseUp(mbLeft, ssShift, 5, 6);
    control->SetBounds(0, 0, 50, 30);
    control->Paint();
    const std::vector<std::string> expected = {"down 0 9 3,4", "move 9 5,6", "click", "up 0 1", "resize"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(painted, 1);  // the window procedure passed the paint on
}

TEST_F(Viewport, RightDragRotatesOneRadianPerFiftyPixels)
{
    TGLViewport& v = Open();
    Drag(*control, 0, 10, 10, 60, 10);
    EXPECT_EQ(v.RotationY, 50.0);
    EXPECT_EQ(v.RotationX, 0.0);
    ExpectMatrixNear(Transform(D3DTS_WORLD), RotY(1.0f));

    // The base is kept on release: the next drag goes on from it.
    Drag(*control, 0, 0, 0, 0, 50);
    EXPECT_EQ(v.RotationY, 50.0);
    EXPECT_EQ(v.RotationX, 50.0);
    ExpectMatrixNear(Transform(D3DTS_WORLD), RotY(1.0f) * RotX(-1.0f));

    // Down alone: 50 pixels down is minus one radian about X.
    v.FitView();
    Drag(*control, 0, 20, 20, 20, 70);
    ExpectMatrixNear(Transform(D3DTS_WORLD), RotX(-1.0f));

    // A move while rotating follows the start of the drag, not the last move.
    control->MouseDown(mbRight, 0, 100, 100);
    control->MouseMove(ssRight, 110, 100);
    control->MouseMove(ssRight, 125, 100);
    EXPECT_EQ(v.RotationY, 25.0);
    control->MouseUp(mbRight, 0, 125, 100);
    EXPECT_EQ(v.RotationBaseY, 25.0);
    EXPECT_EQ(v.RotationBaseX, 50.0);
    EXPECT_FALSE(v.Rotating);
}

TEST_F(Viewport, ShiftRightDragPans)
{
    TGLViewport& v = Open();
    Drag(*control, ssShift, 10, 10, 60, 10);
    EXPECT_FLOAT_EQ(camera.GetX(), -1.0f);
    EXPECT_FLOAT_EQ(camera.Eye().x, -2.0f);
    EXPECT_EQ(v.RotationY, 0.0);  // panning does not rotate
    EXPECT_FALSE(v.Rotating);
    EXPECT_FLOAT_EQ(float(v.PanBaseX), -1.0f);

    // From the base, down 50 pixels moves camera Y by +1 (the eye by -2).
    Drag(*control, ssShift, 0, 0, 0, 50);
    EXPECT_FLOAT_EQ(camera.GetX(), -1.0f);
    EXPECT_FLOAT_EQ(camera.GetY(), 1.0f);
    EXPECT_FLOAT_EQ(camera.Eye().y, -2.0f);

    // With a negative distance the same drag moves twice as far.
    camera.Distance = -1;
    Drag(*control, ssShift, 0, 0, 50, 0);
    EXPECT_FLOAT_EQ(camera.GetX(), -3.0f);
}

TEST_F(Viewport, CtrlRightDragZooms)
{
    TGLViewport& v = Open();
    camera.Distance = 0.5;
    control->MouseDown(mbRight, ssCtrl, 10, 10);
    control->MouseMove(TShiftState(ssRight | ssCtrl), 10, 12);  // the first move sets the zoom base
    EXPECT_TRUE(v.ZoomStarted);
    EXPECT_EQ(camera.Distance, 0.5);
    control->MouseMove(TShiftState(ssRight | ssCtrl), 10, 17);
    EXPECT_DOUBLE_EQ(camera.Distance, 1.5);
    EXPECT_FALSE(v.Rotating);

    // Releasing Ctrl mid-drag and pressing it again starts a new base.
    control->MouseMove(ssRight, 10, 30);
    EXPECT_FALSE(v.ZoomStarted);
    EXPECT_DOUBLE_EQ(camera.Distance, 1.5);
    control->MouseMove(TShiftState(ssRight | ssCtrl), 10, 40);
    EXPECT_DOUBLE_EQ(camera.Distance, 1.5);
    control->MouseMove(TShiftState(ssRight | ssCtrl), 10, 35);
    EXPECT_DOUBLE_EQ(camera.Distance, 0.5);
    control->MouseUp(mbRight, ssCtrl, 10, 35);
    EXPECT_FALSE(v.ZoomStarted);
    EXPECT_FLOAT_EQ(camera.Eye().z, 4.5f);
}

TEST_F(Viewport, EveryMouseMoveRendersOneFrame)
{
    Open();
    const int frames = control->host.FrameCount();
    control->MouseMove(0, 5, 5);
    EXPECT_EQ(control->host.FrameCount(), frames + 1);
    control->MouseDown(mbLeft, 0, 5, 5);  // presses and releases draw nothing
    control->MouseUp(mbLeft, 0, 5, 5);
    EXPECT_EQ(control->host.FrameCount(), frames + 1);
    control->MouseMove(ssLeft, 6, 5);
    EXPECT_EQ(control->host.FrameCount(), frames + 2);
}

TEST_F(Viewport, SceneBoundsAddTheOffset)
{
    TGLViewport& v = Open();
    v.SetSceneBounds({1, 2, 3}, {4, 5, 6}, {10, 20, 30});
    EXPECT_EQ(v.MinX, 11.0);
    EXPECT_EQ(v.MinY, 22.0);
    EXPECT_EQ(v.MinZ, 33.0);
    EXPECT_EQ(v.MaxX, 14.0);
    EXPECT_EQ(v.MaxY, 25.0);
    EXPECT_EQ(v.MaxZ, 36.0);
}

TEST_F(Viewport, FitViewPlacesTheCameraOverTheBox)
{
    TGLViewport& v = Open();
    // 12 wide and 4 high: factor 0.5, excess 6.
    v.SetSceneBounds({-2, 1, -7}, {10, 5, -3}, {0, 0, 0});
    camera.Distance = 3;
    Drag(*control, 0, 0, 0, 40, 30);
    v.FitView();
    EXPECT_FLOAT_EQ(camera.GetX(), 4.0f * 0.5f);
    EXPECT_FLOAT_EQ(camera.GetY(), 3.0f * 0.5f);
    EXPECT_FLOAT_EQ(camera.Z, -3.0f + 5.0f + 6.0f);
    EXPECT_EQ(camera.Distance, 0.0);
    EXPECT_EQ(v.RotationX, 0.0);
    EXPECT_EQ(v.RotationY, 0.0);
    EXPECT_EQ(v.RotationBaseY, 0.0);
    EXPECT_EQ(v.TranslationX, 0.0);
    EXPECT_FLOAT_EQ(float(v.PanBaseX), 2.0f);
    EXPECT_FLOAT_EQ(float(v.PanBaseY), 1.5f);
    // A pan now starts from the fitted position.
    Drag(*control, ssShift, 0, 0, 50, 0);
    EXPECT_FLOAT_EQ(camera.GetX(), 1.0f);

    // 2 x 2: the camera over the centre, five units above the top.
    v.SetSceneBounds({0, 0, 0}, {2, 2, 1}, {3, 4, 5});
    v.FitView();
    EXPECT_FLOAT_EQ(camera.GetX(), 4.0f);
    EXPECT_FLOAT_EQ(camera.GetY(), 5.0f);
    EXPECT_FLOAT_EQ(camera.Z, 11.0f);

    // 3 wide, 10 high: the height decides (factor 0.4, excess 6).
    v.SetSceneBounds({0, 0, 0}, {3, 10, 0}, {0, 0, 0});
    v.FitView();
    EXPECT_FLOAT_EQ(camera.GetX(), 1.5f * 0.4f);
    EXPECT_FLOAT_EQ(camera.GetY(), 5.0f * 0.4f);
    EXPECT_FLOAT_EQ(camera.Z, 11.0f);
}

TEST_F(Viewport, FitViewWithoutCameraResetsOnlyTheView)
{
    TGLViewport v;
    v.RotationX = 4;
    v.Rotating = true;
    v.SetSceneBounds({0, 0, 0}, {1, 1, 1}, {0, 0, 0});
    v.FitView();
    EXPECT_EQ(v.RotationX, 0.0);
    EXPECT_FALSE(v.Rotating);
    EXPECT_EQ(v.PanBaseX, 0.0);
}

TEST(ColorToD3D, MovesRedToTheThirdByteAndMakesItOpaque)
{
    EXPECT_EQ(ColorToD3D(0x000000FF), 0xFFFF0000u);
    EXPECT_EQ(ColorToD3D(0x0000FF00), 0xFF00FF00u);
    EXPECT_EQ(ColorToD3D(0x00FF0000), 0xFF0000FFu);
    EXPECT_EQ(ColorToD3D(0x808000), 0xFF008080u);
    EXPECT_EQ(ColorToD3D(0xAB123456), 0xFF563412u);  // the fourth byte is dropped
}

TEST(TControl, MessagesReachTheEventsThroughTheWindowProcedure)
{
    TMemoryControl c;
    c.SetBounds(0, 0, 10, 10);
    std::vector<uint32_t> seen;
    const TWndMethod old = c.WindowProc;
    c.WindowProc = [&](TMessage& m) {
        seen.push_back(m.Msg);
        old(m);
    };
    int clicks = 0;
    TShiftState downShift = 0, upShift = 0;
    c.OnClick = [&](TControl*) { ++clicks; };
    c.OnMouseDown = [&](TControl*, TMouseButton, TShiftState s, int, int) { downShift = s; };
    c.OnMouseUp = [&](TControl*, TMouseButton, TShiftState s, int, int) { upShift = s; };
    c.MouseDown(mbRight, ssCtrl, -3, 4);
    EXPECT_EQ(downShift, TShiftState(ssCtrl | ssRight));
    c.MouseUp(mbRight, TShiftState(ssCtrl | ssRight), -3, 4);
    EXPECT_EQ(upShift, TShiftState(ssCtrl));
    EXPECT_EQ(clicks, 0);  // only the left button clicks
    c.MouseDown(mbLeft, 0, 2, 2);
    c.MouseUp(mbLeft, 0, 20, 2);  // released outside: no click
    EXPECT_EQ(clicks, 0);
    c.MouseUp(mbLeft, 0, 2, 2);  // no press before it
    EXPECT_EQ(clicks, 0);
    c.SetBounds(1, 1, 10, 10);  // moved, not resized
    c.SetBounds(1, 1, 12, 10);
    c.Paint();
    const std::vector<uint32_t> expected = {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP,
                                            WM_LBUTTONUP,   WM_SIZE,      WM_PAINT};
    EXPECT_EQ(seen, expected);

    TMessage m;
    m.LParam = MakeMouseLParam(-5, 300);
    EXPECT_EQ(MouseMessageX(m), -5);
    EXPECT_EQ(MouseMessageY(m), 300);
}
