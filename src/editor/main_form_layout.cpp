// The window's layout: menus, tab pages and every control with its name,
// caption, hint and range.
#include <QAction>
#include <QFont>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>

#include "editor/cp1252.h"
#include "editor/main_form.h"
#include "editor/surface.h"

namespace {

constexpr TColor WINDOW_COLOUR = 0x808000;  // teal
constexpr TColor CREAM = 0xF0FBFF;

QAction* AddAction(QMenu* menu, const char* name, const char* caption, const char* hint)
{
    QAction* a = menu->addAction(QString::fromLatin1(caption));
    if (name) a->setObjectName(QString::fromLatin1(name));
    if (hint && *hint) {
        QString h = QString::fromLatin1(hint);
        qsizetype bar = h.indexOf(QChar('|'));
        a->setToolTip(bar < 0 ? h : h.left(bar));
        a->setStatusTip(bar < 0 ? h : h.mid(bar + 1));
    }
    return a;
}

template <class T>
T* Place(T* control, int left, int top, int width, int height, const std::string& hint = {})
{
    SetupControl(control, nullptr, left, top, width, height, hint);
    return control;
}

TSpinEdit* Spin(QWidget* page, const char* name, int minValue, int maxValue, int left, int top, int width,
                const std::string& hint = {})
{
    return Place(new TSpinEdit(page, name, minValue, maxValue), left, top, width, 22, hint);
}

}  // namespace

void TMain_Form::BuildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("ActionMainMenuBar1"));
    bar->setFixedHeight(29);

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    FileNew = AddAction(file, "FileNew", "&New", "Create File");
    FileOpen1 = AddAction(file, "FileOpen1", "&Open...", "Open|Opens an existing file");
    FileOpen1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    FileSave = AddAction(file, "FileSave", "&Save", "");
    FileSaveAs1 = AddAction(file, "FileSaveAs1", "Save &As...", "Save As|Saves the active file with a new name");
    FileExit1 = AddAction(file, "FileExit1", "E&xit", "Exit|Quits the application");
    FileOpen2 = AddAction(file, "FileOpen2", "&Open Basefile...", "Open|Opens an existing file");
    FileOpen3 = AddAction(file, "FileOpen3", "&Open Texturesfile", "Open|Opens an existing file");
    // The project and file commands can be chosen once their handlers are
    // bound.
    for (QAction* a : {FileNew, FileOpen1, FileSave, FileSaveAs1, FileOpen2, FileOpen3}) a->setEnabled(false);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("HelpMenu"));
    AddAction(help, "HelpContents1", "&Contents", "Help Contents")->setEnabled(false);
    AddAction(help, "HelpIndex1", "&Index", "");
    AddAction(help, "HelpAbout1", "&About", "");
}

void TMain_Form::BuildTopPages()
{
    PageControl1 = new TPageControl(Surface, "PageControl1");

    QWidget* view = PageControl1->AddPage("TabSheetView", "View");
    SpeedButton1 =
        Place(new TSpeedButton(view, "SpeedButton1", "2D MAP", true), 4, 4, 70, 50, "Enable the 2d map View");
    SpeedButton44 =
        Place(new TSpeedButton(view, "SpeedButton44", "Render Textured", true), 78, 4, 110, 50, "Enable texture mode");
    auto* modes = Place(new TGroupBox(view, "GroupBox3DViewModes", "3D View Modes"), 196, 0, 300, 56);
    RadioButton1 = Place(new TRadioButton(modes, "RadioButton1", "Texture Panel"), 8, 24, 110, 20);
    RadioButton2 = Place(new TRadioButton(modes, "RadioButton2", "GridBox"), 122, 24, 80, 20);
    RadioButton5 = Place(new TRadioButton(modes, "RadioButton5", "None"), 210, 24, 70, 20);
    RadioButton5->setChecked(true);

    PageControl1->AddPage("TabSheetSelect", "Select");
    PageControl1->AddPage("TabSheetCameras", "Cameras");
    PageControl1->AddPage("TabSheetPortalViews", "Manual Portal Views");
    PageControl1->AddPage("TabSheetSoundSources", "Sound Sources");

    QWidget* anim = PageControl1->AddPage("TabSheetAnimTextures", "Anim Textures");
    ListBox8 = Place(new TListBox(anim, "ListBox8"), 4, 2, 150, 54);
    ListBox9 = Place(new TListBox(anim, "ListBox9"), 160, 2, 150, 54);

    QWidget* quick = PageControl1->AddPage("TabSheetQuickTriggers", "Textures Mode/QuickTriggers");
    ComboBox2 = Place(new TComboBox(quick, "ComboBox2", {"Opaque", "Transparent", "Translucent"}), 4, 4, 150, 22);
    ComboBox2->SetItemIndex(0);

    QWidget* memo = PageControl1->AddPage("TabSheetMemo", "Memo");
    Memo1 = Place(new TMemo(memo, "Memo1"), 4, 2, 250, 54);
    Memo1->AddLine("Project Info");
    Memo2 = Place(new TMemo(memo, "Memo2"), 258, 2, 250, 54);
    Memo2->AddLine("Basefile Info");
    Memo3 = Place(new TMemo(memo, "Memo3"), 512, 2, 250, 54);
    Memo3->AddLine("Basefile Items");

    TabSheet1 = PageControl1->AddPage("TabSheet1", "TR2VEL");
    Gauge2 = Place(new TGauge(TabSheet1, "Gauge2", 150), 4, 6, 150, 16);
    Gauge3 = Place(new TGauge(TabSheet1, "Gauge3", 100), 4, 30, 150, 16);
    CheckBox25 = Place(new TCheckBox(TabSheet1, "CheckBox25", "Include TR1-TR2 Floor Angles", true), 160, 2, 200, 18);
    CheckBox24 =
        Place(new TCheckBox(TabSheet1, "CheckBox24", "Include TR1-TR2 Ceiling Angles", true), 160, 20, 200, 18);
    CheckBox26 = Place(new TCheckBox(TabSheet1, "CheckBox26", "Do Not Overlap Rooms", false), 160, 38, 200, 18);
    CheckBox27 = Place(new TCheckBox(TabSheet1, "CheckBox27", "Do Not Overlap Water Rooms", false), 366, 2, 200, 18);
    CheckBox21 = Place(new TCheckBox(TabSheet1, "CheckBox21", "Not Used", true), 366, 20, 100, 18);
    CheckBox22 = Place(new TCheckBox(TabSheet1, "CheckBox22", "Not Used", true), 366, 38, 100, 18);
    CheckBox23 = Place(new TCheckBox(TabSheet1, "CheckBox23", "Not Used", true), 470, 20, 100, 18);
}

void TMain_Form::BuildBottomPages()
{
    PageControl2 = new TPageControl(Surface, "PageControl2");
    BuildRoomsPage();
    PageControl2->AddPage("TabSheetGeometry", "Geometry");
    PageControl2->AddPage("TabSheetGrid", "2D Grid");
    BuildObjectsPage();
    BuildStaticsPage();
    BuildTriggersPage();
    PageControl2->AddPage("TabSheetFlyby", "Flyby Cameras");
    PageControl2->AddPage("TabSheetLights", "Lights");
    BuildConverterPage();
    BuildMapPage();
    BuildItemsRemapPage();
    PageControl2->AddPage("TabSheetVelMerge", "VelMerge");
}

void TMain_Form::BuildRoomsPage()
{
    QWidget* rooms = PageControl2->AddPage("TabSheetRooms", "Rooms");
    ListBox4 = Place(new TListBox(rooms, "ListBox4"), 4, 2, 180, 82, "Select the Current Room");
    Place(new TButton(rooms, "", "New"), 188, 2, 70, 24);
    Place(new TButton(rooms, "", "Properties"), 188, 30, 70, 24);
    Place(new TButton(rooms, "", "Delete"), 188, 58, 70, 24);
    new TLabel(rooms, "X", 264, 6);
    SpinEdit8 = Spin(rooms, "SpinEdit8", 0, 255, 276, 2, 56);
    new TLabel(rooms, "Y", 264, 34);
    SpinEdit9 = Spin(rooms, "SpinEdit9", 1, 64, 276, 30, 56);
    new TLabel(rooms, "Z", 264, 62);
    SpinEdit10 = Spin(rooms, "SpinEdit10", 0, 255, 276, 58, 56);
    new TLabel(rooms, "Neighbor", 338, 6);
    SpinEdit11 = Spin(rooms, "SpinEdit11", 0, 255, 338, 22, 60, "Select the current Neighbor Room");
    SpeedButton45 = Place(new TSpeedButton(rooms, "SpeedButton45", "CENTER\nCAMERA"), 404, 2, 70, 52,
                          "Center camere over current room (3d and 2d map)");
    auto* draw = Place(new TGroupBox(rooms, "GroupBoxDrawNeighbors", "Draw Neighbors"), 478, 0, 318, 86);
    SpeedButton47 = Place(new TSpeedButton(draw, "SpeedButton47", "Hide Neighbors", true), 6, 16, 100, 22);
    Edit2 =
        Place(new TEdit(draw, "Edit2"), 110, 16, 200, 22, "Especify more neighbors, comma separated  (1,2,3,...etc)");
    Button26 = Place(new TButton(draw, "Button26", "Show more neighbors"), 6, 41, 140, 22);
    RadioButton6 = Place(new TRadioButton(draw, "RadioButton6", "Clear Text"), 6, 65, 90, 18);
    RadioButton11 = Place(new TRadioButton(draw, "RadioButton11", "Draw Neighbors"), 98, 65, 110, 18);
    RadioButton12 = Place(new TRadioButton(draw, "RadioButton12", "Draw All Rooms"), 208, 65, 108, 18);
    RadioButton6->setChecked(true);
    Memo5 = Place(new TMemo(rooms, "Memo5"), 0, 0, 10, 10);
    Memo5->hide();
}

void TMain_Form::BuildObjectsPage()
{
    QWidget* objects = PageControl2->AddPage("TabSheetObjects", "Objects");
    ListBox2 = Place(new TListBox(objects, "ListBox2"), 4, 2, 250, 82);
}

void TMain_Form::BuildStaticsPage()
{
    QWidget* statics = PageControl2->AddPage("TabSheetStatics", "Statics Meshes");
    ListBox1 = Place(new TListBox(statics, "ListBox1"), 4, 2, 250, 82);
}

void TMain_Form::BuildTriggersPage()
{
    QWidget* triggers = PageControl2->AddPage("TabSheetTriggers", "Triggers");
    ListBox5 = Place(new TListBox(triggers, "ListBox5"), 4, 2, 200, 82, "TRiggers added to your level");
    ListBox6 = Place(new TListBox(triggers, "ListBox6"), 208, 2, 150, 82);
    ComboBox3 = Place(
        new TComboBox(triggers, "ComboBox3",
                      {"Do_Activate", "Do_Deactivate", "Lara_on_Ground_Do_Activate", "Lara_on_Ground_Do_Deactivate",
                       "Switch_is_ON", "Key_is_ON", "Item_is_Picked_Up", "Item_At_Sector", "TRAPDOOR", "Lara_in_Combat",
                       "Heavy Switch", "Item_At_Sector_do_Deactivate", "Monkey_Swing", "---DISABLED---",
                       "TR3-Minecart LEFT", "TR3-Minecart RIGH", "TR3-Minecart STOP"}),
        362, 2, 200, 22);
    SpinEdit3 = Spin(triggers, "SpinEdit3", -128, 127, 362, 28, 60);
    CheckBox1 = Place(new TCheckBox(triggers, "CheckBox1", "ONLY ONCE"), 430, 30, 100, 18);
    TSpeedButton** bits[5] = {&SpeedButton27, &SpeedButton28, &SpeedButton29, &SpeedButton30, &SpeedButton31};
    for (int i = 0; i < 5; ++i) {
        const std::string name = "SpeedButton" + std::to_string(27 + i);
        *bits[i] =
            Place(new TSpeedButton(triggers, name.c_str(), std::to_string(i + 1), true), 362 + i * 24, 56, 22, 22);
    }
    SpeedButton98 = Place(new TSpeedButton(triggers, "SpeedButton98", "X", true), 486, 56, 22, 22,
                          "Freeze Trigger until Trigger Triggerer used");
}

// The converter tab: "CREATE" and the parts of the level a conversion takes over.
void TMain_Form::BuildConverterPage()
{
    TabSheet15 = PageControl2->AddPage("TabSheet15", "TR2VEL");
    SpeedButton99 = Place(new TSpeedButton(TabSheet15, "SpeedButton99", "CREATE"), 4, 4, 80, 50);
    struct Option {
        TCheckBox** box;
        const char* name;
        const char* caption;
        bool on;
    };
    const Option options[] = {
        {&CheckBox18, "CheckBox18", "Include Rooms Flags", true},
        {&CheckBox19, "CheckBox19", "Include Outdoor Flag", true},
        {&CheckBox12, "CheckBox12", "Include Vertical Portals", true},
        {&CheckBox20, "CheckBox20", "Include Side Portals", true},
        {&CheckBox15, "CheckBox15", "Include Ceiling Geometry", true},
        {&CheckBox16, "CheckBox16", "Include Floor Geometry", true},
        {&CheckBox13, "CheckBox13", "Include Items", false},
        {&CheckBox6, "CheckBox6", "Include Triggers", false},
        {&CheckBox14, "CheckBox14", "Include Static Meshs", false},
        {&CheckBox17, "CheckBox17", "Include Death Sectors", false},
    };
    for (int i = 0; i < 10; ++i) {
        const Option& o = options[i];
        *o.box =
            Place(new TCheckBox(TabSheet15, o.name, o.caption, o.on), 92 + (i / 4) * 180, 2 + (i % 4) * 20, 176, 18);
    }
}

void TMain_Form::BuildMapPage()
{
    QWidget* map = PageControl2->AddPage("TabSheetMap", "2D Map");
    SpeedButton43 = Place(new TSpeedButton(map, "SpeedButton43", "Same\nPlane", true), 4, 4, 60, 44,
                          "Show Only room ables to conect at side with current. (2d map only)");
}

void TMain_Form::BuildItemsRemapPage()
{
    QWidget* remap = PageControl2->AddPage("TabSheetItemsRemap", "Items Remap");
    auto* items = Place(new TGroupBox(remap, "GroupBoxProjectItems", "Project Items"), 4, 0, 424, 86);
    CheckListBox2 = Place(new TListBox(items, "CheckListBox2", true), 6, 16, 200, 66);
    Button1 = Place(new TButton(items, "Button1", "Find Item"), 210, 16, 70, 24);
    Memo4 = Place(new TMemo(items, "Memo4"), 284, 16, 134, 66);
    Memo4->AddLine("Items Info");
    new TLabel(remap, ">>>", 434, 34);
    ListBox3 = Place(new TListBox(remap, "ListBox3"), 462, 2, 180, 82);
    SpinEdit12 = Spin(remap, "SpinEdit12", 0, 0, 648, 2, 90);
    Button37 = Place(new TButton(remap, "Button37", "Replace"), 648, 30, 90, 24);
    Button38 = Place(new TButton(remap, "Button38", "Replace All"), 648, 58, 90, 24);
}

void TMain_Form::BuildMiddleBand()
{
    // Band positions in the surface's coordinates (the tab rows take 84
    // pixels above and 111 below).
    // The viewers place their scroll bars beside their areas themselves.
    PT_Image1 = new THostArea(Surface, "PT_Image1");
    PT_Image1->setGeometry(4, 88, 262, 321);
    PT_ScrollBar1 = new TScrollBarWidget(Surface, "PT_ScrollBar1", sbVertical);
    PT_ScrollBar1->SetLargeChange(576);
    PT_ScrollBar1->setGeometry(269, 88, 16, 321);

    GR_Image2 = new THostArea(Surface, "GR_Image2");
    GR_Image2->setGeometry(40, 96, 205, 205);

    GR_Image1 = new THostArea(Surface, "GR_Image1");
    GR_Image1->setGeometry(288, 88, 494, 302);
    GR_Image1->setToolTip(QStringLiteral("Click=current, Right click=neighbor, shift+righ click= more neighbors"));
    GR_ScrollBar1 = new TScrollBarWidget(Surface, "GR_ScrollBar1", sbHorizontal);
    GR_ScrollBar1->setGeometry(288, 393, 494, 16);
    GR_ScrollBar2 = new TScrollBarWidget(Surface, "GR_ScrollBar2", sbVertical);
    GR_ScrollBar2->setGeometry(785, 88, 16, 302);

    Panel1 = new TPanel3D(Surface, "Panel1");
    Panel1->setGeometry(288, 88, 513, 321);
    Panel1->SetColor(WINDOW_COLOUR);

    // The ten hidden pictures of the layout (texture ids 6001..6008, 5003
    // and 5004, in this order).
    const int pictureIds[10] = {6001, 6002, 6003, 6004, 6005, 6006, 6007, 6008, 5003, 5004};
    for (int i = 0; i < 10; ++i) {
        auto* image = new QLabel(Surface);
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        image->setPixmap(QPixmap(QStringLiteral(":/builtin/%1.bmp").arg(pictureIds[i])));
        image->setGeometry(8 + i * 45, 96, 41, 41);
        image->hide();
    }

    GroupBox1 = new TGroupBox(Panel1, "GroupBox1", "Progress");
    GroupBox1->setGeometry(150, 130, 213, 56);
    GroupBox1->setAutoFillBackground(true);
    QPalette cream = GroupBox1->palette();
    cream.setColor(QPalette::Window, QColor(GetRValue(CREAM), GetGValue(CREAM), GetBValue(CREAM)));
    GroupBox1->setPalette(cream);
    Gauge1 = new TGauge(GroupBox1, "Gauge1", 100);
    Gauge1->setGeometry(10, 24, 193, 20);
    GroupBox1->hide();
}

std::string TMain_Form::StatusText(int panel) const
{
    if (panel < 0 || panel > 1) return {};
    return QStringToCp1252Lossy(statusPanels_[panel]->text());
}

void TMain_Form::SetStatusText(int panel, const std::string& text)
{
    if (panel < 0 || panel > 1) return;
    statusPanels_[panel]->setText(Cp1252ToQString(text));
}

TMain_Form::TMain_Form(const std::string& appDir) : appDir_(appDir)
{
    setObjectName(QStringLiteral("Main_Form"));
    QFont font(QStringLiteral("Sans Serif"));
    font.setPointSize(8);
    setFont(font);

    Surface = new TSurface(this, WINDOW_COLOUR);
    Surface->setObjectName(QStringLiteral("Surface"));
    setCentralWidget(Surface);

    BuildMenus();
    BuildTopPages();
    BuildBottomPages();
    BuildMiddleBand();
    // The tab rows lie above the middle band.
    PageControl1->raise();
    PageControl2->raise();

    QStatusBar* status = statusBar();
    status->setObjectName(QStringLiteral("StatusBar1"));
    QFont bold = status->font();
    bold.setBold(true);
    status->setFont(bold);
    statusPanels_[0] = new QLabel(status);
    statusPanels_[0]->setObjectName(QStringLiteral("StatusBar1Panel0"));
    statusPanels_[1] = new QLabel(status);
    statusPanels_[1]->setObjectName(QStringLiteral("StatusBar1Panel1"));
    statusPanels_[1]->setAlignment(Qt::AlignCenter);
    statusPanels_[1]->setFixedWidth(250);
    status->addWidget(statusPanels_[0], 1);
    status->addPermanentWidget(statusPanels_[1]);
    status->setSizeGripEnabled(true);

    resize(800, 575);
    currentSize_ = QSize(800, 575);
    BindHandlers();
    FormCreate();
}
