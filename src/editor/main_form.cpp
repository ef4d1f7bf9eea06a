#include "editor/main_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QResizeEvent>

#include <cstdio>

#include "display/camera.h"
#include "display/device.h"
#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "display/texture_store.h"
#include "display/viewport.h"
#include "editor/cp1252.h"
#include "editor/editor_state.h"
#include "editor/event_dispatch.h"
#include "editor/room_map.h"
#include "editor/surface.h"
#include "level/trlevel.h"
#include "platform/picture/picture.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/sysutils.h"
#include "scene/scene.h"

namespace {

constexpr int TOP_ROW_HEIGHT = 84;
constexpr int BOTTOM_ROW_HEIGHT = 111;
constexpr int MIN_WINDOW_SIDE = 450;
constexpr int SIDE_PANEL_WIDTH = 300;
constexpr int PANEL_LEFT = 288;
constexpr int PANEL_HEIGHT_MARGIN = 295;
constexpr TColor VIEW_BACKGROUND = 0x808000;  // teal
// A room above of 75 is not listed by "Draw Neighbors".
constexpr uint8_t SKIPPED_ROOM_ABOVE = 75;

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

// The built-in pictures of the window, by texture id, in upload order.
const int kBuiltinIds[] = {6001, 6002, 6003, 6004, 6005, 6006, 6007, 6008, 5003, 5004};

// A picture of the window's own resources.
std::unique_ptr<TBitmap> BuiltinPicture(int id)
{
    QFile file(QStringLiteral(":/builtin/%1.bmp").arg(id));
    if (!file.open(QIODevice::ReadOnly)) throw EInvalidGraphic("Missing built-in picture " + std::to_string(id));
    const QByteArray bytes = file.readAll();
    TMemoryStream stream(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->LoadFromStream(stream);
    return bitmap;
}

std::string Trim(const std::string& s)
{
    std::size_t a = 0, b = s.size();
    while (a < b && static_cast<unsigned char>(s[a]) <= ' ') ++a;
    while (b > a && static_cast<unsigned char>(s[b - 1]) <= ' ') --b;
    return s.substr(a, b - a);
}

const tcuarto* CurrentRoomOrNull()
{
    const int n = Project.currentRoom;
    if (n < 1 || n > Project.roomCount || static_cast<std::size_t>(n) >= Project.rooms.size()) return nullptr;
    return &Project.rooms[n];
}

}  // namespace

TMain_Form::~TMain_Form()
{
    if (!closed_) FormClose();
    ReleaseEditorState();
    if (Main_Form == this) Main_Form = nullptr;
}

void TMain_Form::BindHandlers()
{
    connect(FileExit1, &QAction::triggered, this, [this] { close(); });
    PageControl1->OnChange = [this] { PageControl1Change(); };
    PageControl2->OnChange = [this] { PageControl2Change(); };
    Surface->OnPaint = [this] { FormPaint(); };
    BindFileCommands();
    BindPageHandlers();
}

void TMain_Form::BindPageHandlers()
{
    // The handlers below work on the objects of the start-up; after a
    // start-up that could not finish (a start-up picture missing) they do
    // nothing, and the window can still be closed.
    BindTopPageHandlers();
    BindBottomPageHandlers();
    BindViewHandlers();
}

THandler TMain_Form::WhenStarted(void (TMain_Form::*handler)())
{
    return [this, handler] {
        if (started_) (this->*handler)();
    };
}

// The view modes and the animated texture lists.
void TMain_Form::BindTopPageHandlers()
{
    SpeedButton1->OnClick = WhenStarted(&TMain_Form::SpeedButton1Click);
    SpeedButton44->OnClick = WhenStarted(&TMain_Form::SpeedButton44Click);
    RadioButton1->OnClick = WhenStarted(&TMain_Form::RadioButton1Click);
    RadioButton2->OnClick = WhenStarted(&TMain_Form::RadioButton2Click);
    RadioButton5->OnClick = WhenStarted(&TMain_Form::RadioButton5Click);
    ListBox8->OnClick = WhenStarted(&TMain_Form::ListBox8Click);
    ListBox9->OnClick = WhenStarted(&TMain_Form::ListBox9Click);
}

// The room list and its neighbours, the triggers, the converter, the 2D map
// and the item remapping.
void TMain_Form::BindBottomPageHandlers()
{
    ListBox4->OnClick = WhenStarted(&TMain_Form::ListBox4Click);
    SpinEdit11->OnChange = WhenStarted(&TMain_Form::SpinEdit11Change);
    SpeedButton45->OnClick = WhenStarted(&TMain_Form::SpeedButton45Click);
    SpeedButton47->OnClick = WhenStarted(&TMain_Form::SpeedButton47Click);
    Button26->OnClick = WhenStarted(&TMain_Form::Button26Click);
    RadioButton6->OnClick = WhenStarted(&TMain_Form::RadioButton6Click);
    RadioButton11->OnClick = WhenStarted(&TMain_Form::RadioButton11Click);
    RadioButton12->OnClick = WhenStarted(&TMain_Form::RadioButton12Click);

    ListBox5->OnClick = WhenStarted(&TMain_Form::ListBox5Click);
    SpeedButton99->OnClick = WhenStarted(&TMain_Form::SpeedButton99Click);
    SpeedButton43->OnClick = WhenStarted(&TMain_Form::SpeedButton43Click);

    CheckListBox2->OnClick = WhenStarted(&TMain_Form::CheckListBox2Click);
    Button1->OnClick = WhenStarted(&TMain_Form::Button1Click);
    ListBox3->OnClick = WhenStarted(&TMain_Form::ListBox3Click);
    Button37->OnClick = WhenStarted(&TMain_Form::Button37Click);
    Button38->OnClick = WhenStarted(&TMain_Form::Button38Click);
}

// The room map and the texture panel between the tab rows.
void TMain_Form::BindViewHandlers()
{
    GR_Image1->OnMouseDown = [this](TControl*, TMouseButton b, TShiftState s, int x, int y) {
        if (started_) GR_Image1MouseDown(b, s, x, y);
    };
    GR_ScrollBar1->OnChange = [this](TControl*) {
        if (started_) GR_ScrollBar1Change();
    };
    GR_ScrollBar2->OnChange = [this](TControl*) {
        if (started_) GR_ScrollBar2Change();
    };
    PT_ScrollBar1->OnChange = [this](TControl*) {
        if (started_) PT_ScrollBar1Change();
    };
}

// ---- start-up and shut-down ---------------------------------------------------

void TMain_Form::FormCreate()
{
    Main_Form = this;
    ReleaseEditorState();
    Dispatch([this] {
        DecimalSeparator = '.';
        ThousandSeparator = ',';
        // The start-up pictures are read from the program's directory, so it
        // is known before the first of them is loaded.
        AppDir = appDir_;
        InitTexturePanel();
        InitMapView();
        PanelView->SetVisible(false);

        if (!CreateDirect3D()) {
            ShowMessage("Initializing DirectX 8.1 Fail!!");
            Halt(1);
        }
        Viewport = std::make_unique<TGLViewport>(Surface);
        Camera = std::make_unique<TGLCamera>();
        Viewport->SetCamera(Camera.get());
        Viewport->Attach(Panel1);
        Viewport->OnBuild = [this] { SceneBuildCallback(); };

        BasefileLevel = std::make_unique<Ttrlevel>();
        Scene = std::make_unique<tr_scene>();
        Scene->Level = BasefileLevel.get();
        Viewport->SetBackgroundColor(VIEW_BACKGROUND);
        Viewport->Buffers = &Scene->Buffers;

        for (auto [id, name] : {std::pair<int, const char*>{5001, "solid.bmp"}, {5002, "colored.bmp"}}) {
            if (!TextureBuffer->AddFromFile(id, AppDir + name))
                ShowMessage("Error trying to load texture " + FileNameToCp1252Lossy(AppDir) + name);
        }
        for (int id : kBuiltinIds) TextureBuffer->AddFromBitmap(id, *BuiltinPicture(id));

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

        Scene->RoomOfInterest = 1;
        Scene->Project = &Project;
        Scene->Meshes = &BasefileMeshes;
        Scene->Catalog = &MoveableCatalog;
        ProjectFileName.clear();
        started_ = true;
    });
}

void TMain_Form::InitTexturePanel()
{
    PanelBitmap = std::make_unique<TBitmap>();
    PanelDIB = std::make_unique<TDIBPicture>(PT_Image1->Width(), PT_Image1->Height(), dibFormat565, nullptr);
    PanelView = std::make_unique<TDIBViewer>(PT_Image1);
    PanelView->SetDIB(PanelDIB.get());
    PanelView->SetVertScrollBar(PT_ScrollBar1);
    PT_ScrollBar1->SetSmallChange(50);
}

void TMain_Form::InitMapView()
{
    GR_ScrollBar1->SetSmallChange(50);
    GR_ScrollBar1->SetLargeChange(50);
    GR_ScrollBar2->SetSmallChange(50);
    GR_ScrollBar2->SetLargeChange(50);

    MapBackDIB = std::make_unique<TDIBPicture>(MAP_SIZE, MAP_SIZE, dibFormat565, nullptr);
    MapDIB = std::make_unique<TDIBPicture>(MAP_SIZE, MAP_SIZE, dibFormat565, nullptr);
    MapCacheDIB = std::make_unique<TDIBPicture>(MAP_SIZE, MAP_SIZE, dibFormat565, nullptr);
    MapView = std::make_unique<TDIBViewer>(GR_Image1);
    MapView->SetDIB(MapDIB.get());
    MapView->SetHorzScrollBar(GR_ScrollBar1);
    MapView->SetVertScrollBar(GR_ScrollBar2);
    GR_ScrollBar2->SetPosition(GR_ScrollBar2->Max());
    MapView->SetVisible(false);

    GridDIB = std::make_unique<TDIBPicture>(GR_Image2->Width(), GR_Image2->Height(), dibFormat565, nullptr);
    GridView = std::make_unique<TDIBViewer>(GR_Image2);
    GridView->SetDIB(GridDIB.get());

    TPicture tile;
    tile.LoadFromFile(AppDir + "gridmap.bmp");
    DrawMapBackground(MapBackDIB->Canvas(), *tile.Graphic());
    TileGridBitmap(GridDIB->Canvas(), *tile.Graphic());
    GridBackDIB = std::make_unique<TDIBPicture>(GR_Image2->Width(), GR_Image2->Height(), dibFormat565, nullptr);
    GridBackDIB->Draw(*GridDIB);

    MapDIB->Draw(*MapBackDIB);
    MapView->Paint();
}

void TMain_Form::SceneBuildCallback()
{
    if (Scene && Panel1->Visible()) Scene->Update();
}

void TMain_Form::FormClose()
{
    closed_ = true;
    started_ = false;
    // The viewport keeps drawing the scene's buffers until it goes; it has
    // nothing to draw from here on.
    if (Viewport) {
        Viewport->Buffers = nullptr;
        Viewport->OnBuild = DefaultBuildProc;
    }
    PanelBitmap.reset();
    PanelDIB.reset();
    if (PanelView) PanelView->SetDIB(nullptr);
    PanelView.reset();
    Scene.reset();
    BasefileLevel.reset();
}

void TMain_Form::PaintView(TDIBViewer* view, const TControl* host)
{
    // An area set to 0 x 0 is how a view is put away.
    if (view && host && host->Visible() && host->Width() > 6 && host->Height() > 6) view->Paint();
}

void TMain_Form::FormPaint()
{
    // Whatever of the start-up exists is shown.
    PaintView(PanelView.get(), PT_Image1);
    PaintView(GridView.get(), GR_Image2);
    PaintView(MapView.get(), GR_Image1);
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

// ---- the pages ------------------------------------------------------------------

QSize TMain_Form::FormCanResize(QSize proposed)
{
    int w = proposed.width(), h = proposed.height();
    if (w < MIN_WINDOW_SIDE) w = currentSize_.width();
    if (h < MIN_WINDOW_SIDE) h = currentSize_.height();
    if (RadioButton5->Checked()) {
        Panel1->SetBounds(0, Panel1->Top(), w, Panel1->Height());
    } else {
        Panel1->SetBounds(PANEL_LEFT, Panel1->Top(), w - SIDE_PANEL_WIDTH, Panel1->Height());
        if (RadioButton2->Checked() && started_) RedrawMaps();
    }
    Panel1->SetHeight(h - PANEL_HEIGHT_MARGIN);
    return QSize(w, h);
}

void TMain_Form::PageControl1Change() { FollowTab(PageControl1, PageControl2, 0); }

void TMain_Form::PageControl2Change() { FollowTab(PageControl2, PageControl1, 1); }

void TMain_Form::FitViewToRoom()
{
    Scene->CenterOnRoom();
    Viewport->SetSceneBounds({Scene->BoxMin[0], Scene->BoxMin[1], Scene->BoxMin[2]},
                             {Scene->BoxMax[0], Scene->BoxMax[1], Scene->BoxMax[2]},
                             {Scene->Translation[0], Scene->Translation[1], Scene->Translation[2]});
    Viewport->FitView();
}

void TMain_Form::Redraw3D(std::initializer_list<int> parts)
{
    for (int part : parts) Scene->SetDirty(part);
    Viewport->Rebuild();
}

void TMain_Form::ShowRoomPosition()
{
    TSpinGuardScope guard;
    const std::size_t n = Project.currentRoom;
    if (n >= Project.rooms.size()) return;
    const tcuarto& r = Project.rooms[n];
    SpinEdit8->SetValue(r.x);
    SpinEdit9->SetValue(r.y);
    SpinEdit10->SetValue(r.z);
}

void TMain_Form::ListBox4Click()
{
    if (!SpeedButton1->Down()) {
        // The more-neighbours filter goes as "Clear Text" clears it.
        if (RadioButton6->Checked()) RadioButton6Click();
        else RadioButton6->SetChecked(true);
    }
    Project.currentRoom = static_cast<uint8_t>(ListBox4->ItemIndex() + 1);
    Scene->RoomOfInterest = Project.currentRoom;
    ShowRoomPosition();
    RedrawMaps();
    FitViewToRoom();
    Redraw3D({0});
    if (SpeedButton47->Down()) SpeedButton45Click();
    else Redraw3D({0});
}

void TMain_Form::SpinEdit11Change()
{
    if (SpinGuard) return;
    Project.neighbourRoom = static_cast<uint8_t>(SpinEdit11->Value());
    DrawMapRooms(SpeedButton43->Down());
    MapView->Paint();
    Redraw3D({1});
}

void TMain_Form::SpeedButton45Click()
{
    if (SpeedButton1->Down()) {
        CenterMapOnRoom();
        return;
    }
    FitViewToRoom();
    Redraw3D({10});
}

void TMain_Form::SpeedButton44Click()
{
    TBusyCursor busy;
    Scene->Textured = SpeedButton44->Down() ? 1 : 0;
    Redraw3D({0, 1, 2});
}

void TMain_Form::SpeedButton47Click()
{
    Scene->HideNeighbors = SpeedButton47->Down() ? 1 : 0;
    Redraw3D({1, 2});
}

void TMain_Form::Button26Click()
{
    TBusyCursor busy;
    Scene->RoomFilter = Trim(Edit2->Text()) + ",";
    Redraw3D({2, 10});
}

void TMain_Form::RadioButton6Click()
{
    Edit2->SetText("");
    Button26Click();
}

void TMain_Form::RadioButton12Click()
{
    Edit2->SetText("all");
    Button26Click();
}

void TMain_Form::RadioButton11Click()
{
    Edit2->SetText("");
    Memo5->ClearLines();
    const int n = Project.currentRoom;
    if (static_cast<std::size_t>(n) < Project.rooms.size()) {
        const tcuarto& room = Project.rooms[n];
        auto add = [this](uint8_t neighbour) {
            if (neighbour == 0) return;
            const std::string line = std::to_string(neighbour);
            if (Memo5->IndexOfLine(line) < 0) Memo5->AddLine(line);
        };
        for (int column = 1; column <= room.columns; ++column) {
            for (int row = 1; row <= room.rows; ++row) {
                const tsector* s = RoomSector(room, column, row);
                if (!s) continue;
                if (s->roomAbove != SKIPPED_ROOM_ABOVE) add(s->roomAbove);
                add(s->roomBelow);
                add(s->roomBeside);
            }
        }
    }
    Edit2->SetText(Memo5->CommaText());
    Button26Click();
}

void TMain_Form::ListBox5Click()
{
    if (ListBox5->Count() == 0) return;
    const int i = ListBox5->ItemIndex();
    if (i < 0 || i >= Project.triggerCount || static_cast<std::size_t>(i) >= Project.triggers.size()) return;
    const tproject_trigger& t = Project.triggers[i];
    ComboBox3->SetItemIndex(t.type >= 0 && t.type < ComboBox3->count() ? t.type : -1);
    SpinEdit3->SetValue(t.timer);
    CheckBox1->SetChecked(t.onlyOnce != 0);
    TSpeedButton* bits[5] = {SpeedButton27, SpeedButton28, SpeedButton29, SpeedButton30, SpeedButton31};
    for (int b = 0; b < 5; ++b) bits[b]->SetDown((t.mask & (0x02 << b)) != 0);
    SpeedButton98->SetDown((t.mask & 0x40) != 0);
    char text[40];
    std::snprintf(text, sizeof text, "TRigger Item:<%d>", static_cast<int32_t>(t.itemNumber));
    SetStatusText(1, text);
}

void TMain_Form::ListBox8Click()
{
    const int set = ListBox8->ItemIndex() + 1;
    ListBox9->ClearItems();
    // Without a chosen set there are no frames to list.
    if (set < 1 || set > Project.animSetCount || set > MAX_PROJECT_ANIM_SETS) return;
    const int frames = std::min<int>(Project.animSets[set].frameCount, ANIM_SET_FRAMES);
    for (int f = 1; f <= frames; ++f) ListBox9->AddItem("Frame #" + std::to_string(f));
    ListBox9->SetItemIndex(0);
    ListBox9Click();
}

void TMain_Form::ListBox9Click()
{
    const int set = ListBox8->ItemIndex() + 1;
    const int frame = ListBox9->ItemIndex();
    if (set < 1 || set > Project.animSetCount || set > MAX_PROJECT_ANIM_SETS) return;
    if (frame < 0 || frame >= ANIM_SET_FRAMES) return;
    const int mode = Project.animSets[set].frames[frame].mode;
    ComboBox2->SetItemIndex(mode <= 2 ? mode : -1);
}

bool TMain_Form::SpansWindow() const { return Panel1->Width() >= Surface->width(); }

void TMain_Form::RadioButton1Click()
{
    SetStatusText(0, Project.texturesfilePath.str());
    if (SpeedButton1->Down()) return;
    GR_Image2->SetBounds(GR_Image2->Left(), GR_Image2->Top(), 0, 0);
    if (SpansWindow())
        Panel1->SetBounds(PANEL_LEFT, Panel1->Top(), Panel1->Width() - SIDE_PANEL_WIDTH, Panel1->Height());
    PanelView->SetVisible(true);
    PanelView->Paint();
    Surface->update();
}

void TMain_Form::RadioButton2Click()
{
    SetStatusText(0, Project.basefilePath.str());
    if (SpeedButton1->Down()) return;
    if (SpansWindow())
        Panel1->SetBounds(PANEL_LEFT, Panel1->Top(), Panel1->Width() - SIDE_PANEL_WIDTH, Panel1->Height());
    PanelView->SetVisible(false);
    GR_Image2->SetBounds(GR_Image2->Left(), GR_Image2->Top(), GRID_SIZE, GRID_SIZE);
    Surface->update();
}

void TMain_Form::RadioButton5Click()
{
    SetStatusText(0, ProjectFileName);
    Panel1->SetBounds(0, Panel1->Top(), Surface->width(), Panel1->Height());
    PanelView->SetVisible(false);
    Surface->update();
}

// ---- the 2D room map and the room grid ---------------------------------------

void TMain_Form::DrawMapRooms(bool samePlane)
{
    ::DrawMapRooms(Project, samePlane, {MapBackDIB->Canvas(), MapDIB->Canvas(), MapCacheDIB->Canvas()});
}

void TMain_Form::DrawMapSelection()
{
    ::DrawMapSelection(Project, {MapBackDIB->Canvas(), MapDIB->Canvas(), MapCacheDIB->Canvas()});
}

void TMain_Form::DrawRoomGrid() { ::DrawRoomGrid(Project, GridDIB->Canvas(), GridBackDIB->Canvas()); }

void TMain_Form::RedrawMaps()
{
    DrawMapRooms(SpeedButton43->Down());
    DrawRoomGrid();
    MapView->Paint();
    PaintView(GridView.get(), GR_Image2);
}

void TMain_Form::CenterMapOnRoom()
{
    const tcuarto* room = CurrentRoomOrNull();
    if (Project.roomCount == 0 || !room) return;
    GR_ScrollBar1->SetPosition(MapScrollX(*room));
    GR_ScrollBar2->SetPosition(MapScrollY(*room, GR_Image1->Height()));
}

int TMain_Form::PickRoomAt(int px, int py, bool rightButton, bool samePlane)
{
    const int picked = ::PickRoomAt(Project, px, py, rightButton, samePlane);
    if (picked == 0) return 0;
    if (rightButton) Project.neighbourRoom = static_cast<uint8_t>(picked);
    else ListBox4->SetItemIndex(picked - 1);
    ListBox4Click();
    return picked;
}

void TMain_Form::GR_Image1MouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    if (MapView->RubberBandActive) {
        MapView->EndRubberBand();
        DrawMapSelection();
    }
    const bool withShift = InShift(shift, ssShift);
    if (button == mbLeft && withShift) {
        MapView->BeginRubberBand(x, y);
        return;
    }
    MapView->ScreenToDIB(x, y);
    const bool samePlane = SpeedButton43->Down();
    if (button == mbLeft && Project.roomCount > 0) {
        PickRoomAt(x, y, false, samePlane);
        ShowRoomPosition();
    } else if (button == mbRight && !withShift) {
        PickRoomAt(x, y, true, samePlane);
        SpinEdit11->SetValue(Project.neighbourRoom);
    } else if (button == mbRight && withShift) {
        const uint8_t remembered = Project.neighbourRoom;
        const int picked = PickRoomAt(x, y, true, samePlane);
        if (picked != 0) {
            const std::string text = Trim(Edit2->Text());
            Edit2->SetText(Edit2->Text() + (text.empty() ? "" : ",") + std::to_string(picked));
        }
        Project.neighbourRoom = remembered;
    }
}

void TMain_Form::SpeedButton1Click()
{
    if (SpeedButton1->Down()) {
        Panel1->SetVisible(false);
        MapView->SetVisible(true);
        PanelView->SetVisible(false);
        GR_Image2->SetBounds(GR_Image2->Left(), GR_Image2->Top(), 0, 0);
        CenterMapOnRoom();
        RedrawMaps();
        MapView->Paint();
    } else {
        Panel1->SetVisible(true);
        MapView->SetVisible(false);
        SpeedButton45Click();
        if (RadioButton1->Checked()) {
            PanelView->SetVisible(true);
            PanelView->Paint();
        } else if (RadioButton2->Checked()) {
            GR_Image2->SetBounds(GR_Image2->Left(), GR_Image2->Top(), GRID_SIZE, GRID_SIZE);
        }
    }
    Surface->update();
}

void TMain_Form::SpeedButton43Click()
{
    DrawMapRooms(SpeedButton43->Down());
    MapView->Paint();
}

void TMain_Form::GR_ScrollBar1Change() { MapView->Paint(); }

void TMain_Form::GR_ScrollBar2Change() { MapView->Paint(); }

void TMain_Form::PT_ScrollBar1Change() { PanelView->Paint(); }
