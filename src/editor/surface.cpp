#include "editor/surface.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstring>

#include "editor/event_dispatch.h"
#include "platform/gdi/canvas.h"

namespace {

QColor ToQColor(TColor c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

TMouseButton ButtonOf(Qt::MouseButton b)
{
    if (b == Qt::RightButton) return TMouseButton::Right;
    if (b == Qt::MiddleButton) return TMouseButton::Middle;
    return TMouseButton::Left;
}

int Px(const QMouseEvent* e) { return static_cast<int>(e->position().x()); }
int Py(const QMouseEvent* e) { return static_cast<int>(e->position().y()); }

}  // namespace

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    TShiftState s;
    s.shift = modifiers.testFlag(Qt::ShiftModifier);
    s.ctrl = modifiers.testFlag(Qt::ControlModifier);
    s.alt = modifiers.testFlag(Qt::AltModifier);
    s.left = buttons.testFlag(Qt::LeftButton);
    s.right = buttons.testFlag(Qt::RightButton);
    s.middle = buttons.testFlag(Qt::MiddleButton);
    return s;
}

TSurface::TSurface(QWidget* parent, TColor colour) : QWidget(parent), colour_(colour)
{
    picture_.SetPixelFormat(pf32bit);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TSurface::Changed()
{
    if (!painting_) update();
}

void TSurface::resizeEvent(QResizeEvent*)
{
    picture_.SetSize(std::max(1, width()), std::max(1, height()));
}

void TSurface::paintEvent(QPaintEvent*)
{
    if (picture_.Width() != width() || picture_.Height() != height())
        picture_.SetSize(std::max(1, width()), std::max(1, height()));
    TCanvas& canvas = picture_.Canvas();
    canvas.Brush.Color = colour_;
    canvas.FillRect(canvas.ClipRect());
    painting_ = true;
    if (OnPaint) Dispatch(OnPaint);
    painting_ = false;
    // The picture's 32-bit rows are Qt's RGB32 rows: shown without a copy.
    const QImage view(picture_.ScanLine(0), picture_.Width(), picture_.Height(),
                      static_cast<qsizetype>(picture_.RowBytes()), QImage::Format_RGB32);
    QPainter painter(this);
    painter.drawImage(0, 0, view);
}

THostArea::THostArea(QWidget* parent, const char* name) : QWidget(parent)
{
    setObjectName(QString::fromLatin1(name));
}

void THostArea::mousePressEvent(QMouseEvent* e)
{
    if (!OnMouseDown) return;
    const TMouseButton b = ButtonOf(e->button());
    const TShiftState s = ShiftStateOf(e->modifiers(), e->buttons());
    const int x = Px(e), y = Py(e);
    Dispatch([&] { OnMouseDown(b, s, x, y); });
}

TPanel3D::TPanel3D(QWidget* parent, const char* name) : QWidget(parent)
{
    setObjectName(QString::fromLatin1(name));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // every move over the panel draws a frame
}

void TPanel3D::SetColour(TColor colour)
{
    colour_ = colour;
    if (frame_.isNull()) update();
}

void TPanel3D::PresentFrame(const uint32_t* pixels, int width, int height, int pitch)
{
    if (frame_.width() != width || frame_.height() != height || frame_.format() != QImage::Format_RGB32)
        frame_ = QImage(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(frame_.scanLine(y), reinterpret_cast<const uint8_t*>(pixels) + static_cast<std::ptrdiff_t>(y) * pitch,
                    static_cast<std::size_t>(width) * 4);
    ++frameCount_;
    if (!painting_) {
        // A frame presented outside a paint goes to the screen as it is,
        // without rendering once more.
        presentPending_ = true;
        update();
    }
}

void TPanel3D::paintEvent(QPaintEvent*)
{
    if (!presentPending_ && OnPaint) {
        painting_ = true;
        Dispatch(OnPaint);
        painting_ = false;
    }
    presentPending_ = false;
    QPainter painter(this);
    if (frame_.isNull())
        painter.fillRect(rect(), ToQColor(colour_));
    else
        painter.drawImage(0, 0, frame_);
}

void TPanel3D::resizeEvent(QResizeEvent*)
{
    if (OnResize) Dispatch(OnResize);
}

void TPanel3D::mousePressEvent(QMouseEvent* e)
{
    const TMouseButton b = ButtonOf(e->button());
    const TShiftState s = ShiftStateOf(e->modifiers(), e->buttons());
    const int x = Px(e), y = Py(e);
    if (OnMouseDown) Dispatch([&] { OnMouseDown(b, s, x, y); });
}

void TPanel3D::mouseReleaseEvent(QMouseEvent* e)
{
    const TMouseButton b = ButtonOf(e->button());
    const TShiftState s = ShiftStateOf(e->modifiers(), e->buttons());
    const int x = Px(e), y = Py(e);
    if (OnMouseUp) Dispatch([&] { OnMouseUp(b, s, x, y); });
    if (b == TMouseButton::Left && rect().contains(x, y) && OnClick) Dispatch(OnClick);
}

void TPanel3D::mouseMoveEvent(QMouseEvent* e)
{
    const TShiftState s = ShiftStateOf(e->modifiers(), e->buttons());
    const int x = Px(e), y = Py(e);
    if (OnMouseMove) Dispatch([&] { OnMouseMove(s, x, y); });
}
