// The widgets of the window's middle band: the client surface that the 2D
// viewers copy their pictures onto, the areas that place those viewers and
// take their mouse clicks, and the 3D panel that shows the frames the 3D
// device presents.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

#include "platform/d3d8/host_window.h"
#include "platform/gdi/graphics.h"

// The toolkit's shift state of a mouse event.
struct TShiftState {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool left = false;
    bool right = false;
    bool middle = false;
};
enum class TMouseButton { Left, Right, Middle };

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

// The client surface between the tab rows: a picture of its own size in the
// window's colour, which the 2D viewers draw into. Each paint starts from the
// window's colour and lets OnPaint draw the viewers again, so a hidden
// viewer leaves nothing behind.
class TSurface : public QWidget {
public:
    TSurface(QWidget* parent, TColor colour);
    TBitmap& Picture() { return picture_; }
    TColor Colour() const { return colour_; }
    // Shows what was drawn into the picture since the last paint.
    void Changed();
    std::function<void()> OnPaint;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TBitmap picture_;
    TColor colour_;
    bool painting_ = false;
};

// An area of the surface that a viewer shows its picture in. It draws
// nothing itself and reports presses of the mouse.
class THostArea : public QWidget {
public:
    THostArea(QWidget* parent, const char* name);
    std::function<void(TMouseButton, TShiftState, int x, int y)> OnMouseDown;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The 3D panel: shows every frame presented to it.
class TPanel3D : public QWidget, public THostWindow {
public:
    TPanel3D(QWidget* parent, const char* name);

    int ClientWidth() const override { return width(); }
    int ClientHeight() const override { return height(); }
    void PresentFrame(const uint32_t* pixels, int width, int height, int pitch) override;

    // The panel's colour, shown until the first frame.
    void SetColour(TColor colour);
    const QImage& LastFrame() const { return frame_; }
    int FrameCount() const { return frameCount_; }

    // A paint that was not caused by a present of our own (the window
    // system asks for the panel's contents): the 3D view renders.
    std::function<void()> OnPaint;
    std::function<void()> OnResize;
    std::function<void(TMouseButton, TShiftState, int x, int y)> OnMouseDown;
    std::function<void(TMouseButton, TShiftState, int x, int y)> OnMouseUp;
    std::function<void(TShiftState, int x, int y)> OnMouseMove;
    std::function<void()> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QImage frame_;
    TColor colour_ = 0;
    int frameCount_ = 0;
    bool presentPending_ = false;
    bool painting_ = false;
};
