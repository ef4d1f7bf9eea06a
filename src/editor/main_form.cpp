#include "editor/main_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QResizeEvent>

#include "editor/editor_state.h"
#include "editor/event_dispatch.h"
#include "editor/surface.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr int TOP_ROW_HEIGHT = 84;
constexpr int BOTTOM_ROW_HEIGHT = 111;
constexpr int MIN_WINDOW_SIDE = 450;
constexpr int SIDE_PANEL_WIDTH = 300;
constexpr int PANEL_LEFT = 288;
constexpr int PANEL_HEIGHT_MARGIN = 295;

// Tabs of the two rows that follow each other.
const char* const kTabPairs[][2] = {
    {"View", "Rooms"},
    {"Select", "Geometry"},
    {"Textures Mode/QuickTriggers", "Triggers"},
    {"TR2VEL", "TR2VEL"},
};

void FollowTab(const TPageControl* from, TPageControl* to, int fromSide)
{
    const std::string caption = from->PageCaption(from->ActivePageIndex());
    for (const auto& pair : kTabPairs) {
        if (caption != pair[fromSide]) continue;
        const int index = to->IndexOfCaption(pair[1 - fromSide]);
        if (index >= 0) to->SetActivePageIndex(index);
        return;
    }
}

}  // namespace

TMain_Form::~TMain_Form()
{
    if (!closed_) FormClose();
    if (Main_Form == this) Main_Form = nullptr;
}

void TMain_Form::BindHandlers()
{
    connect(FileExit1, &QAction::triggered, this, [this] { close(); });
    PageControl1->OnChange = [this] { PageControl1Change(); };
    PageControl2->OnChange = [this] { PageControl2Change(); };
}

void TMain_Form::FormCreate()
{
    Main_Form = this;
    Dispatch([this] {
        DecimalSeparator = '.';
        ThousandSeparator = ',';
        AppDir = appDir_;
        Project = tcuarto_list{};
        Project.roomCount = 0;
        Project.currentRoom = 1;
        Project.playerRoom = 1;
        Project.playerColumn = 2;
        Project.playerRow = 2;
        Project.itemCount = 0;
        Project.cameraCount = 0;
        Project.triggerCount = 0;
        Project.selectedItem = 0;
        Project.highlightedItem = 0;
        Project.progressGauge = nullptr;
        Project.rooms.resize(SPARE_ROOM_SLOTS);
        ProjectFileName.clear();
        NextItemNumber = 0;
        SpinGuard = false;
        ProgressGauge = nullptr;
    });
}

void TMain_Form::FormClose()
{
    closed_ = true;
}

QSize TMain_Form::FormCanResize(QSize proposed)
{
    int w = proposed.width(), h = proposed.height();
    if (w < MIN_WINDOW_SIDE) w = currentSize_.width();
    if (h < MIN_WINDOW_SIDE) h = currentSize_.height();
    if (RadioButton5->Checked()) {
        Panel1->setGeometry(0, Panel1->y(), w, Panel1->height());
    } else {
        Panel1->setGeometry(PANEL_LEFT, Panel1->y(), w - SIDE_PANEL_WIDTH, Panel1->height());
    }
    Panel1->resize(Panel1->width(), h - PANEL_HEIGHT_MARGIN);
    return QSize(w, h);
}

void TMain_Form::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    const QSize proposed = event->size();
    if (event->oldSize().isValid() && proposed != currentSize_) {
        QSize allowed = proposed;
        Dispatch([&] { allowed = FormCanResize(proposed); });
        currentSize_ = allowed;
        if (allowed != proposed) {
            resize(allowed);  // the window keeps its size in a refused direction
            return;
        }
    }
    currentSize_ = size();
    // The tab rows follow the window's width, at its top and bottom.
    const int sw = Surface->width(), sh = Surface->height();
    PageControl1->setGeometry(0, 0, sw, TOP_ROW_HEIGHT);
    PageControl2->setGeometry(0, sh - BOTTOM_ROW_HEIGHT, sw, BOTTOM_ROW_HEIGHT);
}

void TMain_Form::closeEvent(QCloseEvent* event)
{
    if (!closed_) Dispatch([this] { FormClose(); });
    event->accept();
}

void TMain_Form::PageControl1Change() { FollowTab(PageControl1, PageControl2, 0); }

void TMain_Form::PageControl2Change() { FollowTab(PageControl2, PageControl1, 1); }
