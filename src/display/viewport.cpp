#include "display/viewport.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "display/texture_store.h"
#include "platform/rtl/messages.h"

namespace {

// Exit code of the process when no view can be made.
constexpr int kViewportFailedExitCode = 1;
constexpr int kAttachAttempts = 10;
// A quarter turn of the vertical field of view, exactly as a single.
const float kFieldOfView = std::bit_cast<float>(0x3F490FDBu);
constexpr float kNearPlane = 0.1f;
constexpr float kFarPlane = 1000.0f;

void Unregister(TDeviceView* view)
{
    int32_t to = 1;
    for (int32_t i = 1; i <= ViewportRegistry.Count; ++i)
        if (ViewportRegistry.Items[i] != view) ViewportRegistry.Items[to++] = ViewportRegistry.Items[i];
    for (int32_t i = to; i <= ViewportRegistry.Count; ++i) ViewportRegistry.Items[i] = nullptr;
    ViewportRegistry.Count = to - 1;
}

}  // namespace

void DefaultBuildProc() {}

D3DCOLOR ColorToD3D(TColor color)
{
    return 0xFF000000u | (uint32_t(GetRValue(color)) << 16) | (uint32_t(GetGValue(color)) << 8) |
           uint32_t(GetBValue(color));
}

TGLViewport::TGLViewport(TForm* owner) : Owner(owner) { ViewportRegistry.Add(this); }

TGLViewport::~TGLViewport()
{
    if (Host) {
        Host->OnResize = SavedOnResize;
        Host->OnClick = SavedOnClick;
        Host->OnMouseDown = SavedOnMouseDown;
        Host->OnMouseUp = SavedOnMouseUp;
        Host->OnMouseMove = SavedOnMouseMove;
        if (SavedWindowProc) Host->WindowProc = SavedWindowProc;
    }
    Unregister(this);
}

HWND TGLViewport::DeviceWindow() const { return Host ? Host->Handle() : nullptr; }

void TGLViewport::SetCamera(TGLCamera* camera)
{
    Camera = camera;
    if (camera) camera->ViewMatrix = &ViewMatrix;
}

void TGLViewport::SetBackgroundColor(TColor color)
{
    BackgroundColor = color;
    if (Host) Host->SetColor(color);
}

void TGLViewport::SetProjection()
{
    const int w = Host ? Host->Width() : 0, h = Host ? Host->Height() : 0;
    if (w > 0 && h > 0) {
        D3DXMatrixIdentity(&ProjectionMatrix);
        D3DXMatrixPerspectiveFovLH(&ProjectionMatrix, kFieldOfView, float(w) / float(h), kNearPlane, kFarPlane);
    }
    if (D3DDevice) D3DDevice->SetTransform(D3DTS_PROJECTION, &ProjectionMatrix);
}

void TGLViewport::Attach(TControl* control)
{
    Host = control;
    if (Host) Host->SetColor(BackgroundColor);
    bool made = false;
    for (int attempt = 0; attempt < kAttachAttempts && !made; ++attempt)
        made = CreateDeviceOrSwapChain(SwapChain, DeviceWindow(), false, 0, 0, 0, 1, true, true);
    if (!made) {
        MessageBox("Error trying to Create DX Viewport!", "Error", MB_OK | MB_ICONERROR);
        ReleaseDirect3D();
        Halt(kViewportFailedExitCode);
    }

    const D3DXVECTOR3 eye(0, 0, 5), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&ViewMatrix, &eye, &at, &up);
    D3DDevice->SetTransform(D3DTS_VIEW, &ViewMatrix);
    SetProjection();

    if (Host) {
        SavedOnResize = Host->OnResize;
        Host->OnResize = [this](TControl* sender) { ControlResize(sender); };
        SavedOnClick = Host->OnClick;
        Host->OnClick = [this](TControl* sender) { ControlClick(sender); };
        SavedOnMouseDown = Host->OnMouseDown;
        Host->OnMouseDown = [this](TControl* sender, TMouseButton button, TShiftState shift, int x, int y) {
            ControlMouseDown(sender, button, shift, x, y);
        };
        SavedOnMouseUp = Host->OnMouseUp;
        Host->OnMouseUp = [this](TControl* sender, TMouseButton button, TShiftState shift, int x, int y) {
            ControlMouseUp(sender, button, shift, x, y);
        };
        SavedOnMouseMove = Host->OnMouseMove;
        Host->OnMouseMove = [this](TControl* sender, TShiftState shift, int x, int y) {
            ControlMouseMove(sender, shift, x, y);
        };
        SavedWindowProc = Host->WindowProc;
        Host->WindowProc = [this](TMessage& message) { WndProcHook(message); };
    }
    SetDefaultRenderStates();
}

void TGLViewport::Render()
{
    // No frame while a recovery has no device (its message boxes let
    // messages through).
    if (!D3DDevice) return;
    if (Built == 0) {
        if (OnBuild) OnBuild();
        Built = 1;
        if (!D3DDevice) return;
    }
    const TComRef<IDirect3DDevice8> device = D3DDevice;

    {
        TComRef<IDirect3DSurface8> back, depth;
        if (SwapChain) SwapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put());
        else device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.Put());
        device->GetDepthStencilSurface(depth.Put());
        device->SetRenderTarget(back.Get(), depth.Get());
    }
    if (Camera) Camera->Apply();
    SetProjection();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, ColorToD3D(BackgroundColor), 1.0f, 0);
    device->BeginScene();

    // Rotated about Y, then X, then Z, then translated.
    D3DXMATRIX translation, rotation, step;
    D3DXMatrixTranslation(&translation, float(TranslationX), float(TranslationY), float(TranslationZ));
    const double d = Camera ? Camera->RotationDivisor : 50.0;
    D3DXMatrixIdentity(&rotation);
    D3DXMatrixRotationY(&step, float(RotationY / d));
    D3DXMatrixMultiply(&rotation, &rotation, &step);
    D3DXMatrixRotationX(&step, float(-(RotationX / d)));
    D3DXMatrixMultiply(&rotation, &rotation, &step);
    D3DXMatrixRotationZ(&step, float(RotationZ / d));
    D3DXMatrixMultiply(&rotation, &rotation, &step);
    D3DXMatrixMultiply(&WorldMatrix, &rotation, &translation);
    device->SetTransform(D3DTS_WORLD, &WorldMatrix);

    if (Buffers) {
        Td3dTexture_buffer* store = TextureBuffer;
        auto select = [store](int32_t id, int32_t fallback) -> IDirect3DTexture8* {
            if (!store) return nullptr;
            store->Select(id);
            if (store->CurrentId == -1 && fallback != id) store->Select(fallback);
            return store->GetCurrentTexture();
        };
        for (int32_t i = 0; i < Buffers->Count(); ++i) {
            const Tvbuffer& b = (*Buffers)[i];
            device->SetStreamSource(0, b.VertexBuffer.Get(), UINT(b.Stride));
            device->SetVertexShader(b.VertexFormat);
            device->SetRenderState(D3DRS_FILLMODE, DWORD(b.FillMode));
            device->SetTexture(0, select(b.DefaultTexture, b.DefaultTexture));
            if (b.PrimitiveCount == 0) continue;
            const bool single = b.OneGroup != 0 || b.FillMode == FillWireframe;
            const int32_t groups =
                single ? 1
                       : std::min<int32_t>(b.GroupCount,
                                           int32_t(std::min(b.GroupPrimitives.size(), b.GroupTextures.size())));
            uint64_t start = 0;
            IDirect3DVertexBuffer8* source = b.VertexBuffer.Get();
            auto draw = [&](IDirect3DVertexBuffer8* piece, UINT from, UINT primitives) {
                if (piece != source) device->SetStreamSource(0, source = piece, UINT(b.Stride));
                device->DrawPrimitive(D3DPRIMITIVETYPE(b.PrimitiveType), from, primitives);
            };
            for (int32_t g = 0; g < groups; ++g) {
                const int64_t primitives =
                    single ? int64_t(b.PrimitiveCount) : std::max(0, b.GroupPrimitives[size_t(g)]);
                const int32_t texture = single ? b.DefaultTexture : b.GroupTextures[size_t(g)];
                device->SetTexture(0, select(texture, b.DefaultTexture));
                DrawPieces(b, start, uint64_t(primitives), draw);
                start += 3 * uint64_t(primitives);
            }
        }
    }

    device->EndScene();
    lastPresent_ = SwapChain ? SwapChain->Present(nullptr, nullptr, nullptr, nullptr)
                             : device->Present(nullptr, nullptr, nullptr, nullptr);
}

void TGLViewport::Rebuild()
{
    Built = 0;
    Render();
}

void TGLViewport::WndProcHook(TMessage& message)
{
    const bool paint = message.Msg == WM_PAINT;
    if (SavedWindowProc) SavedWindowProc(message);
    if (!paint || !D3DDevice) return;
    Render();
    // A lost device shows in the frame's present and in the device's own
    // test; either way everything is made again and drawn once more.
    if (lastPresent_ == D3DERR_DEVICELOST || D3DDevice->TestCooperativeLevel() != D3D_OK) {
        RecreateAllSwapChains();
        Render();
    }
}

void TGLViewport::ControlResize(TControl* sender)
{
    if (SavedOnResize) SavedOnResize(sender);
    if (!D3DDevice) return;
    // The back buffers keep the size they were made with: only new ones fit.
    RecreateAllSwapChains();
    SetProjection();
    Render();
}

void TGLViewport::ControlClick(TControl* sender)
{
    if (SavedOnClick) SavedOnClick(sender);
}

void TGLViewport::ControlMouseDown(TControl* sender, TMouseButton button, TShiftState shift, int x, int y)
{
    MouseDownNav(shift, x, y);
    if (SavedOnMouseDown) SavedOnMouseDown(sender, button, shift, x, y);
}

void TGLViewport::ControlMouseMove(TControl* sender, TShiftState shift, int x, int y)
{
    MouseMoveNav(shift, x, y);
    if (SavedOnMouseMove) SavedOnMouseMove(sender, shift, x, y);
}

void TGLViewport::ControlMouseUp(TControl* sender, TMouseButton button, TShiftState shift, int x, int y)
{
    MouseUpNav();
    if (SavedOnMouseUp) SavedOnMouseUp(sender, button, shift, x, y);
}

void TGLViewport::MouseDownNav(TShiftState shift, int x, int y)
{
    const bool right = InShift(shift, ssRight), shiftKey = InShift(shift, ssShift), ctrl = InShift(shift, ssCtrl);
    if (right && !shiftKey && !ctrl) {
        RotateStartX = x;
        RotateStartY = y;
        Rotating = true;
    }
    if (right && shiftKey) {
        PanStartX = x;
        PanStartY = y;
    }
}

void TGLViewport::MouseMoveNav(TShiftState shift, int x, int y)
{
    const bool right = InShift(shift, ssRight), shiftKey = InShift(shift, ssShift), ctrl = InShift(shift, ssCtrl);
    if (Rotating && !shiftKey) {
        RotationY = double(x - RotateStartX) + RotationBaseY;
        RotationX = double(y - RotateStartY) + RotationBaseX;
    }
    if (right && shiftKey && Camera) {
        const double p = Camera->Distance >= 0 ? 50.0 : 25.0;
        Camera->X = float(-(double(x - PanStartX) / p) + PanBaseX);
        Camera->Y = float(double(y - PanStartY) / p + PanBaseY);
    }
    if (right && ctrl && Camera) {
        if (!ZoomStarted) {
            ZoomStarted = true;
            SavedDistance = Camera->Distance;
            ZoomStartX = x;
            ZoomStartY = y;
        }
        Camera->Distance = double(y - ZoomStartY) / Camera->ZoomDivisor + SavedDistance;
    }
    if (!ctrl) ZoomStarted = false;
    Render();
}

void TGLViewport::MouseUpNav()
{
    Rotating = false;
    ZoomStarted = false;
    RotationBaseX = RotationX;
    RotationBaseY = RotationY;
    if (Camera) {
        PanBaseX = Camera->X;
        PanBaseY = Camera->Y;
    }
}

void TGLViewport::SetSceneBounds(TVector3D min, TVector3D max, TVector3D offset)
{
    MinX = min.X + offset.X;
    MinY = min.Y + offset.Y;
    MinZ = min.Z + offset.Z;
    MaxX = max.X + offset.X;
    MaxY = max.Y + offset.Y;
    MaxZ = max.Z + offset.Z;
}

void TGLViewport::FitView()
{
    const float minX = float(MinX), minY = float(MinY), maxX = float(MaxX), maxY = float(MaxY), maxZ = float(MaxZ);
    const float cx = (maxX - minX) / 2.0f + minX;
    const float cy = (maxY - minY) / 2.0f + minY;
    const float cz = maxZ + 5.0f;
    const float w = std::fabs(maxX - minX), h = std::fabs(maxY - minY);
    const float fx = w > 6.0f ? 6.0f / w : 1.0f;
    const float fy = h > 4.0f ? 4.0f / h : 1.0f;
    const float f = std::min(fx, fy);
    const float ex = w > 6.0f ? w - 6.0f : 0.0f;
    const float ey = h > 4.0f ? h - 4.0f : 0.0f;
    const float e = std::max(ex, ey);
    if (Camera) {
        Camera->X = cx * f;
        Camera->Y = cy * f;
        Camera->Z = cz + e;
        Camera->Distance = 0;
    }
    TranslationX = TranslationY = TranslationZ = 0;
    RotationX = RotationY = RotationZ = 0;
    RotateStartX = RotateStartY = PanStartX = PanStartY = ZoomStartX = ZoomStartY = 0;
    Rotating = false;
    ZoomStarted = false;
    RotationBaseX = RotationBaseY = 0;
    PanBaseX = Camera ? Camera->X : 0;
    PanBaseY = Camera ? Camera->Y : 0;
    SavedDistance = 0;
}
