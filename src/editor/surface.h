// The widgets of the window's middle band, and the toolkit control
// interfaces of the views (platform/gdi/controls.h) on Qt: the client
// surface that the 2D viewers copy their pictures onto (a TForm), the areas
// that place those viewers and take their mouse presses, their scroll bars,
// and the 3D panel that shows the frames the 3D device presents.
#pragma once

#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <functional>

#include "editor/event_dispatch.h"
#include "platform/d3d8/host_window.h"
#include "platform/gdi/controls.h"

// The toolkit's shift state of a Qt mouse event: the keys and buttons down
// after the event.
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
TMouseButton MouseButtonOf(Qt::MouseButton button);

// The client surface between the tab rows: a picture of its own size, which
// the 2D viewers draw into through Canvas(). Each paint starts from the
// window's colour and lets OnPaint draw the viewers again, so a hidden
// viewer leaves nothing behind.
class TSurface : public QWidget, public TForm {
public:
    TSurface(QWidget* parent, TColor colour);
    TCanvas& Canvas() override { return picture_.Canvas(); }
    // Shows what was drawn into the picture.
    void CanvasChanged(const TRect& rect) override;
    TBitmap& Picture() { return picture_; }
    TColor Colour() const { return colour_; }
    std::function<void()> OnPaint;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TBitmap picture_;
    TColor colour_;
    bool painting_ = false;
};

// A toolkit control on a Qt widget: geometry in the form's coordinates (the
// widget is a direct child of the surface), colour, visibility; a change of
// size sends WM_SIZE.
template <class Widget, class Base>
class TQtControl : public Widget, public Base {
public:
    TQtControl(TSurface* form, const char* name) : Widget(form), form_(form)
    {
        Widget::setObjectName(QString::fromLatin1(name));
    }

    int Left() const override { return Widget::x(); }
    int Top() const override { return Widget::y(); }
    int Width() const override { return Widget::width(); }
    int Height() const override { return Widget::height(); }
    // A change of size is reported at once, also while the widget is hidden
    // (Qt holds back the resize events of hidden widgets).
    void SetBounds(int left, int top, int width, int height) override
    {
        Widget::setGeometry(left, top, std::max(0, width), std::max(0, height));
        ReportSize();
    }
    TColor Color() const override { return colour_; }
    void SetColor(TColor colour) override
    {
        colour_ = colour;
        Widget::update();
    }
    bool Visible() const override { return !Widget::isHidden(); }
    void SetVisible(bool visible) override { Widget::setVisible(visible); }
    TForm* Owner() const override { return form_; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        Widget::resizeEvent(event);
        if (Widget::size() != reported_) Dispatch([this] { ReportSize(); });
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        Widget::mousePressEvent(e);
        const TMouseButton b = MouseButtonOf(e->button());
        const TShiftState s = ShiftStateOf(e->modifiers(), e->buttons());
        const int x = static_cast<int>(e->position().x()), y = static_cast<int>(e->position().y());
        Dispatch([&] { this->MouseDown(b, s, x, y); });
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        Widget::mouseReleaseEvent(e);
        const TMouseButton b = MouseButtonOf(e->button());
        const TShiftState s = ShiftStateOf(e->modifiers(), e->buttons());
        const int x = static_cast<int>(e->position().x()), y = static_cast<int>(e->position().y());
        Dispatch([&] { this->MouseUp(b, s, x, y); });
    }
    void mouseMoveEvent(QMouseEvent* e) override
    {
        Widget::mouseMoveEvent(e);
        const TShiftState s = ShiftStateOf(e->modifiers(), e->buttons());
        const int x = static_cast<int>(e->position().x()), y = static_cast<int>(e->position().y());
        Dispatch([&] { this->MouseMove(s, x, y); });
    }

private:
    void ReportSize()
    {
        if (Widget::size() == reported_) return;
        reported_ = Widget::size();
        this->Resized();
    }

    TSurface* form_;
    TColor colour_ = 0xFFFFFF;
    QSize reported_;
};

// An area of the surface that a viewer shows its picture in. It draws
// nothing itself: the viewer copies onto the surface behind it.
class THostArea : public TQtControl<QWidget, TControl> {
public:
    THostArea(TSurface* form, const char* name);
};

// A scroll bar of a viewer. A position set by code or chosen by the user
// fires OnChange once per change of the value (code's directly, the user's
// through Dispatch).
class TScrollBarWidget : public TQtControl<QScrollBar, TScrollBar> {
public:
    TScrollBarWidget(TSurface* form, const char* name, TScrollBarKind kind);

    TScrollBarKind Kind() const override;
    void SetKind(TScrollBarKind kind) override;
    int Min() const override { return minimum(); }
    int Max() const override { return maximum(); }
    int Position() const override { return value(); }
    // A maximum below the minimum raises EScrollBarRange.
    void SetMin(int value) override;
    void SetMax(int value) override;
    void SetPosition(int value) override;
    int SmallChange() const override { return singleStep(); }
    int LargeChange() const override { return pageStep(); }
    void SetSmallChange(int value) override { setSingleStep(value); }
    void SetLargeChange(int value) override { setPageStep(value); }
};

// The 3D panel: the window a 3D device draws into. Every frame presented to
// it is shown as it comes; a paint the window system asks for goes through
// the control's window procedure as WM_PAINT (the 3D view then renders).
class TPanel3D : public TQtControl<QWidget, TControl>, public THostWindow {
public:
    TPanel3D(TSurface* form, const char* name);

    THostWindow* Handle() const override { return const_cast<TPanel3D*>(this); }
    int ClientWidth() const override { return width(); }
    int ClientHeight() const override { return height(); }
    void PresentFrame(const uint32_t* pixels, int width, int height, int pitch) override;

    const QImage& LastFrame() const { return frame_; }
    int FrameCount() const { return frameCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frame_;
    int frameCount_ = 0;
    bool presentPending_ = false;
    bool painting_ = false;
};
