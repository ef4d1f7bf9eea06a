#include "platform/gdi/controls.h"

#include <algorithm>

int64_t MakeMouseLParam(int x, int y) { return int64_t((uint32_t(uint16_t(x)) | (uint32_t(uint16_t(y)) << 16))); }

int MouseMessageX(const TMessage& message) { return int16_t(uint16_t(message.LParam & 0xFFFF)); }
int MouseMessageY(const TMessage& message) { return int16_t(uint16_t((message.LParam >> 16) & 0xFFFF)); }

TForm::~TForm() = default;

TControl::TControl() : WindowProc([this](TMessage& m) { WndProc(m); }) {}

TControl::~TControl() = default;

namespace {

TShiftState ShiftOf(const TMessage& m) { return TShiftState(m.WParam); }

TMouseButton ButtonOf(uint32_t msg)
{
    switch (msg) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: return mbRight;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: return mbMiddle;
    default: return mbLeft;
    }
}

TShiftState ButtonFlag(TMouseButton button)
{
    switch (button) {
    case mbRight: return ssRight;
    case mbMiddle: return ssMiddle;
    default: return ssLeft;
    }
}

}  // namespace

void TControl::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_PAINT:
        if (OnPaint) OnPaint(this);
        break;
    case WM_SIZE:
        if (OnResize) OnResize(this);
        break;
    case WM_MOUSEMOVE:
        if (OnMouseMove) OnMouseMove(this, ShiftOf(m), MouseMessageX(m), MouseMessageY(m));
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (m.Msg == WM_LBUTTONDOWN) clicked_ = true;
        if (OnMouseDown) OnMouseDown(this, ButtonOf(m.Msg), ShiftOf(m), MouseMessageX(m), MouseMessageY(m));
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        const int x = MouseMessageX(m), y = MouseMessageY(m);
        if (m.Msg == WM_LBUTTONUP && clicked_) {
            clicked_ = false;
            if (x >= 0 && y >= 0 && x < Width() && y < Height() && OnClick) OnClick(this);
        }
        if (OnMouseUp) OnMouseUp(this, ButtonOf(m.Msg), ShiftOf(m), x, y);
        break;
    }
    default: break;
    }
}

void TControl::Perform(TMessage& message)
{
    if (WindowProc) WindowProc(message);
}

void TControl::Paint()
{
    TMessage m;
    m.Msg = WM_PAINT;
    Perform(m);
}

void TControl::Resized()
{
    TMessage m;
    m.Msg = WM_SIZE;
    m.LParam = MakeMouseLParam(Width(), Height());
    Perform(m);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    TMessage m;
    m.Msg = button == mbRight ? WM_RBUTTONDOWN : button == mbMiddle ? WM_MBUTTONDOWN : WM_LBUTTONDOWN;
    m.WParam = TShiftState(shift | ButtonFlag(button));
    m.LParam = MakeMouseLParam(x, y);
    Perform(m);
}

void TControl::MouseMove(TShiftState shift, int x, int y)
{
    TMessage m;
    m.Msg = WM_MOUSEMOVE;
    m.WParam = shift;
    m.LParam = MakeMouseLParam(x, y);
    Perform(m);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    TMessage m;
    m.Msg = button == mbRight ? WM_RBUTTONUP : button == mbMiddle ? WM_MBUTTONUP : WM_LBUTTONUP;
    m.WParam = TShiftState(shift & ~ButtonFlag(button));
    m.LParam = MakeMouseLParam(x, y);
    Perform(m);
}

// ---- in-memory kinds ---------------------------------------------------------

TMemoryForm::TMemoryForm(int width, int height, TPixelFormat format)
{
    bitmap_.SetPixelFormat(format);
    bitmap_.SetSize(width, height);
}

void TMemoryForm::CanvasChanged(const TRect& rect)
{
    ++changes_;
    lastChange_ = rect;
}

void TMemoryScrollBar::SetMin(int value)
{
    if (value > max_) throw EScrollBarRange();
    min_ = value;
    if (position_ < min_) SetPosition(min_);
}

void TMemoryScrollBar::SetMax(int value)
{
    if (value < min_) throw EScrollBarRange();
    max_ = value;
    if (position_ > max_) SetPosition(max_);
}

void TMemoryScrollBar::SetPosition(int value)
{
    value = std::clamp(value, min_, max_);
    if (value == position_) return;
    position_ = value;
    if (OnChange) OnChange(this);
}
