// The toolkit's controls as the views need them: a control with its
// geometry, colour, events and window procedure; a scroll bar; and the form
// whose canvas the 2D views copy their pictures onto.
//
// Each is a small abstract class. The program's window implements them on
// top of its widgets; the in-memory kinds at the end keep their state in
// plain fields and serve tests (and can serve as the state holders of the
// program's widgets).
//
// How a widget toolkit implements them:
// - TControl: report the widget's geometry (in the client coordinates of the
//   form), colour and visibility, and forward the widget's events through
//   the entry points Paint, Resized, MouseDown, MouseMove and MouseUp, which
//   send the matching message through WindowProc. The shift state of a
//   mouse event holds the keys and buttons down after the event. A control
//   that a 3D device draws into returns its THostWindow from Handle(); the
//   frames presented to that window are shown as they come (a present is
//   no paint request: showing a frame must not send WM_PAINT again, or
//   every frame would ask for the next).
// - TScrollBar: keep Min, Max, Position and the changes in step with the
//   widget; a position the user picks is handed to SetPosition, which fires
//   OnChange once for every change of the value, just as a position set by
//   code does.
// - TForm: Canvas() draws on the form at once, as a window's canvas does: a
//   canvas over a bitmap the size of the form's client area, which the form
//   shows behind its controls; CanvasChanged says which part to show again.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"

class THostWindow;  // what a 3D device presents its frames to (platform/d3d8/host_window.h)

// Keys and mouse buttons held down, as a set of flags.
using TShiftState = uint16_t;
enum : TShiftState {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};
constexpr bool InShift(TShiftState shift, TShiftState flag) { return (shift & flag) != 0; }

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// A window message. Mouse messages carry the shift state in WParam and the
// position in LParam (x in the low 16 bits, y in the next 16, both signed).
struct TMessage {
    uint32_t Msg = 0;
    uint64_t WParam = 0;
    int64_t LParam = 0;
    int64_t Result = 0;
};

enum : uint32_t {
    WM_SIZE = 0x0005,
    WM_PAINT = 0x000F,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
};

int64_t MakeMouseLParam(int x, int y);
int MouseMessageX(const TMessage& message);
int MouseMessageY(const TMessage& message);

class TControl;
using TNotifyEvent = std::function<void(TControl* sender)>;
using TMouseEvent = std::function<void(TControl* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TControl* sender, TShiftState shift, int x, int y)>;
using TWndMethod = std::function<void(TMessage& message)>;

// A form: its canvas draws on its client area.
class TForm {
public:
    TForm() = default;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;
    virtual ~TForm();

    virtual TCanvas& Canvas() = 0;
    // The rectangle of the canvas was drawn on and is to be shown again.
    virtual void CanvasChanged(const TRect& rect) { (void)rect; }
};

class TControl {
public:
    TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    virtual ~TControl();

    // Position in the client area of the owner form, size in pixels.
    virtual int Left() const = 0;
    virtual int Top() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Moves and sizes the control; a change of size sends WM_SIZE.
    virtual void SetBounds(int left, int top, int width, int height) = 0;
    void SetLeft(int value) { SetBounds(value, Top(), Width(), Height()); }
    void SetTop(int value) { SetBounds(Left(), value, Width(), Height()); }
    void SetWidth(int value) { SetBounds(Left(), Top(), value, Height()); }
    void SetHeight(int value) { SetBounds(Left(), Top(), Width(), value); }

    virtual TColor Color() const = 0;
    virtual void SetColor(TColor color) = 0;
    virtual bool Visible() const = 0;
    virtual void SetVisible(bool visible) = 0;

    // The form the control lies on; nil when none.
    virtual TForm* Owner() const = 0;
    // The window a 3D device draws into; nil for a control without one.
    virtual THostWindow* Handle() const { return nullptr; }

    // Event handlers; any may be empty.
    TNotifyEvent OnPaint;
    TNotifyEvent OnResize;
    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // Every message goes through the window procedure, which starts as the
    // control's own WndProc. Whoever replaces it keeps the old one and passes
    // messages on to it.
    TWndMethod WindowProc;
    // The control's own handling: WM_PAINT calls OnPaint, WM_SIZE OnResize,
    // the mouse messages OnMouseDown, OnMouseMove and OnMouseUp; a left
    // button released over the control after it was pressed there calls
    // OnClick before OnMouseUp.
    void WndProc(TMessage& message);
    // Sends a message through the window procedure.
    void Perform(TMessage& message);

    // What the window system calls. MouseDown adds the pressed button to the
    // shift state, MouseUp takes the released one out.
    void Paint();
    void Resized();
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    void MouseMove(TShiftState shift, int x, int y);
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y);

private:
    bool clicked_ = false;  // left button pressed over the control
};

enum TScrollBarKind { sbHorizontal, sbVertical };

// Raised by a scroll bar given a maximum below its minimum.
class EScrollBarRange : public std::runtime_error {
public:
    EScrollBarRange() : std::runtime_error("Scroll bar property out of range") {}
};

class TScrollBar : public TControl {
public:
    virtual TScrollBarKind Kind() const = 0;
    virtual void SetKind(TScrollBarKind kind) = 0;
    virtual int Min() const = 0;
    virtual int Max() const = 0;
    virtual int Position() const = 0;
    // Min and Max: a maximum below the minimum raises EScrollBarRange; the
    // position is kept inside the range (which may change it).
    virtual void SetMin(int value) = 0;
    virtual void SetMax(int value) = 0;
    // Moves the thumb (kept inside Min .. Max); a change of the value calls
    // OnChange, whether code or the user moved it.
    virtual void SetPosition(int value) = 0;
    virtual int SmallChange() const = 0;
    virtual int LargeChange() const = 0;
    virtual void SetSmallChange(int value) = 0;
    virtual void SetLargeChange(int value) = 0;

    TNotifyEvent OnChange;
};

// ---- in-memory kinds ---------------------------------------------------------

// A form whose client area is a bitmap.
class TMemoryForm : public TForm {
public:
    TMemoryForm(int width, int height, TPixelFormat format = pf32bit);
    TCanvas& Canvas() override { return bitmap_.Canvas(); }
    void CanvasChanged(const TRect& rect) override;

    TBitmap& Bitmap() { return bitmap_; }
    int ChangeCount() const { return changes_; }
    TRect LastChange() const { return lastChange_; }

private:
    TBitmap bitmap_;
    int changes_ = 0;
    TRect lastChange_{};
};

// Geometry, colour, visibility and owner kept in fields.
template <class Base>
class TMemoryControlOf : public Base {
public:
    explicit TMemoryControlOf(TForm* owner = nullptr) : owner_(owner) {}

    int Left() const override { return left_; }
    int Top() const override { return top_; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void SetBounds(int left, int top, int width, int height) override
    {
        const bool resized = width != width_ || height != height_;
        left_ = left;
        top_ = top;
        width_ = width;
        height_ = height;
        if (resized) this->Resized();
    }
    TColor Color() const override { return color_; }
    void SetColor(TColor color) override { color_ = color; }
    bool Visible() const override { return visible_; }
    void SetVisible(bool visible) override { visible_ = visible; }
    TForm* Owner() const override { return owner_; }
    THostWindow* Handle() const override { return handle_; }

    void SetOwner(TForm* owner) { owner_ = owner; }
    void SetHandle(THostWindow* handle) { handle_ = handle; }

private:
    TForm* owner_;
    THostWindow* handle_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    TColor color_ = 0xFFFFFF;
    bool visible_ = true;
};

using TMemoryControl = TMemoryControlOf<TControl>;

class TMemoryScrollBar : public TMemoryControlOf<TScrollBar> {
public:
    explicit TMemoryScrollBar(TForm* owner = nullptr) : TMemoryControlOf<TScrollBar>(owner) {}

    TScrollBarKind Kind() const override { return kind_; }
    void SetKind(TScrollBarKind kind) override { kind_ = kind; }
    int Min() const override { return min_; }
    int Max() const override { return max_; }
    int Position() const override { return position_; }
    void SetMin(int value) override;
    void SetMax(int value) override;
    void SetPosition(int value) override;
    int SmallChange() const override { return smallChange_; }
    int LargeChange() const override { return largeChange_; }
    void SetSmallChange(int value) override { smallChange_ = value; }
    void SetLargeChange(int value) override { largeChange_ = value; }

private:
    TScrollBarKind kind_ = sbHorizontal;
    int min_ = 0, max_ = 100, position_ = 0;
    int smallChange_ = 1, largeChange_ = 1;
};
