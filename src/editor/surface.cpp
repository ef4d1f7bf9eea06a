#include "editor/surface.h"

#include <QPainter>
#include <QSignalBlocker>

#include <cstring>

#include "platform/gdi/canvas.h"

namespace {

QColor ToQColor(TColor c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

}  // namespace

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    TShiftState s = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) s |= ssShift;
    if (modifiers.testFlag(Qt::ControlModifier)) s |= ssCtrl;
    if (modifiers.testFlag(Qt::AltModifier)) s |= ssAlt;
    if (buttons.testFlag(Qt::LeftButton)) s |= ssLeft;
    if (buttons.testFlag(Qt::RightButton)) s |= ssRight;
    if (buttons.testFlag(Qt::MiddleButton)) s |= ssMiddle;
    return s;
}

TMouseButton MouseButtonOf(Qt::MouseButton button)
{
    if (button == Qt::RightButton) return mbRight;
    if (button == Qt::MiddleButton) return mbMiddle;
    return mbLeft;
}

TSurface::TSurface(QWidget* parent, TColor colour) : QWidget(parent), colour_(colour)
{
    picture_.SetPixelFormat(pf32bit);
    picture_.SetSize(1, 1);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TSurface::CanvasChanged(const TRect& rect)
{
    if (!painting_) update(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()));
}

void TSurface::resizeEvent(QResizeEvent*) { picture_.SetSize(std::max(1, width()), std::max(1, height())); }

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

THostArea::THostArea(TSurface* form, const char* name) : TQtControl<QWidget, TControl>(form, name)
{
    setAttribute(Qt::WA_NoSystemBackground);
}

TScrollBarWidget::TScrollBarWidget(TSurface* form, const char* name, TScrollBarKind kind)
    : TQtControl<QScrollBar, TScrollBar>(form, name)
{
    SetKind(kind);
    setRange(0, 100);
    setSingleStep(1);
    setPageStep(1);
    connect(this, &QScrollBar::valueChanged, this, [this](int) {
        if (OnChange) Dispatch([this] { OnChange(this); });
    });
}

TScrollBarKind TScrollBarWidget::Kind() const { return orientation() == Qt::Horizontal ? sbHorizontal : sbVertical; }

void TScrollBarWidget::SetKind(TScrollBarKind kind)
{
    setOrientation(kind == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
}

// Runs a change of the bar made by code with Qt's signal held back, then
// fires OnChange directly when the position moved.
template <class Change>
void ChangeInCode(TScrollBarWidget& bar, Change change)
{
    const int old = bar.value();
    {
        QSignalBlocker block(&bar);
        change();
    }
    if (bar.value() != old && bar.OnChange) bar.OnChange(&bar);
}

void TScrollBarWidget::SetMin(int value)
{
    if (value > maximum()) throw EScrollBarRange();
    ChangeInCode(*this, [&] { setMinimum(value); });
}

void TScrollBarWidget::SetMax(int value)
{
    if (value < minimum()) throw EScrollBarRange();
    ChangeInCode(*this, [&] { setMaximum(value); });
}

void TScrollBarWidget::SetPosition(int value)
{
    ChangeInCode(*this, [&] { setValue(value); });
}

TPanel3D::TPanel3D(TSurface* form, const char* name) : TQtControl<QWidget, TControl>(form, name)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // every move over the panel draws a frame
}

void TPanel3D::PresentFrame(const uint32_t* pixels, int width, int height, int pitch)
{
    if (frame_.width() != width || frame_.height() != height) frame_ = QImage(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        std::memcpy(frame_.scanLine(y),
                    reinterpret_cast<const uint8_t*>(pixels) + static_cast<std::ptrdiff_t>(y) * pitch,
                    static_cast<std::size_t>(width) * 4);
    ++frameCount_;
    if (!painting_) {
        // A frame presented outside a paint is shown as it is; showing it
        // is no request to render again.
        presentPending_ = true;
        update();
    }
}

void TPanel3D::paintEvent(QPaintEvent*)
{
    if (!presentPending_) {
        painting_ = true;
        Dispatch([this] { Paint(); });
        painting_ = false;
    }
    presentPending_ = false;
    QPainter painter(this);
    if (frame_.width() < width() || frame_.height() < height()) painter.fillRect(rect(), ToQColor(Color()));
    if (!frame_.isNull()) painter.drawImage(0, 0, frame_);
}
