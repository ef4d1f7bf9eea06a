// The window as it starts and ends: named controls with their captions,
// hints and ranges, menus, tab rows and their pairing, the resize rule, the
// start-up with its textures and its failures, and the shut-down.
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <gmock/gmock.h>

#include <filesystem>

#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "display/texture_store.h"
#include "display/viewport.h"
#include "editor/editor_program.h"
#include "editor/event_dispatch.h"
#include "editor/room_map.h"
#include "editor/surface.h"
#include "editor_fixture.h"
#include "platform/d3d8/d3d8_control.h"
#include "platform/rtl/sysutils.h"
#include "scene/scene.h"

namespace {

using WindowLayout = EditorWindowTest;

std::vector<std::string> Captions(const QList<QAction*>& actions)
{
    std::vector<std::string> out;
    for (const QAction* a : actions)
        out.push_back(a->objectName().toStdString() + ":" + a->text().toStdString() + (a->isEnabled() ? "" : " (off)"));
    return out;
}

std::vector<std::string> Captions(const TPageControl* tabs)
{
    std::vector<std::string> out;
    for (int i = 0; i < tabs->count(); ++i) out.push_back(tabs->PageCaption(i));
    return out;
}

TEST_F(WindowLayout, NamedControlsMenusAndStartStates)
{
    StartWindow();
    EXPECT_EQ(form->size(), QSize(800, 575));
    const QStringList names =
        QStringLiteral(
            "PageControl1 PageControl2 Panel1 GroupBox1 Gauge1 PT_Image1 PT_ScrollBar1 GR_Image1 GR_ScrollBar1 "
            "GR_ScrollBar2 "
            "GR_Image2 SpeedButton1 SpeedButton43 SpeedButton44 SpeedButton45 SpeedButton47 RadioButton1 RadioButton2 "
            "RadioButton5 RadioButton6 RadioButton11 RadioButton12 Edit2 Button26 Memo5 ListBox1 ListBox2 ListBox3 "
            "ListBox4 "
            "ListBox5 ListBox6 ListBox8 ListBox9 CheckListBox2 Memo1 Memo2 Memo3 Memo4 SpinEdit3 SpinEdit8 SpinEdit9 "
            "SpinEdit10 SpinEdit11 SpinEdit12 ComboBox2 ComboBox3 CheckBox1 SpeedButton27 SpeedButton31 SpeedButton98 "
            "SpeedButton99 Gauge2 Gauge3 Button1 Button37 Button38 Image1 Image10 StatusBar1")
            .split(' ');
    for (const QString& name : names) EXPECT_NE(form->findChild<QObject*>(name), nullptr) << name.toStdString();
    // The ranges users' values are kept in; "None", "Clear Text" and the converter's options as they start.
    for (auto [spin, low, high] : {std::tuple{form->SpinEdit8, 0, 255},
                                   {form->SpinEdit9, 1, 64},
                                   {form->SpinEdit10, 0, 255},
                                   {form->SpinEdit11, 0, 255},
                                   {form->SpinEdit3, -128, 127},
                                   {form->SpinEdit12, INT_MIN, INT_MAX}})
        EXPECT_EQ(std::pair(spin->minimum(), spin->maximum()), std::pair(low, high))
            << spin->objectName().toStdString();
    EXPECT_TRUE(form->RadioButton5->Checked());
    EXPECT_TRUE(form->RadioButton6->Checked());
    EXPECT_FALSE(form->GroupBox1->isVisible());
    std::string on;
    for (const char* box :
         {"CheckBox18", "CheckBox19", "CheckBox12", "CheckBox20", "CheckBox15", "CheckBox16", "CheckBox13", "CheckBox6",
          "CheckBox14", "CheckBox17", "CheckBox25", "CheckBox24", "CheckBox26", "CheckBox27"})
        on += form->findChild<TCheckBox*>(box)->Checked() ? "1" : "0";
    EXPECT_EQ(on, "11111100001100");
    EXPECT_EQ(form->ComboBox3->count(), 17);
    EXPECT_EQ(form->ComboBox3->itemText(0) + "|" + form->ComboBox3->itemText(13) + "|" + form->ComboBox3->itemText(16),
              "Do_Activate|---DISABLED---|TR3-Minecart STOP");
    EXPECT_EQ(form->ComboBox2->itemText(0) + "|" + form->ComboBox2->itemText(2), "Opaque|Translucent");
    EXPECT_EQ(form->Memo4->Lines(), std::vector<std::string>{"Items Info"});
    EXPECT_EQ(form->Memo1->Lines(), std::vector<std::string>{"Project Info"});

    QMenuBar* bar = form->menuBar();
    ASSERT_EQ(bar->actions().size(), 2);
    EXPECT_EQ(bar->actions()[0]->text().toStdString(), "&File");
    EXPECT_EQ(bar->actions()[1]->text().toStdString(), "&Help");
    EXPECT_EQ(
        Captions(bar->actions()[0]->menu()->actions()),
        (std::vector<std::string>{"FileNew:&New", "FileOpen1:&Open...", "FileSave:&Save", "FileSaveAs1:Save &As...",
                                  "FileExit1:E&xit", "FileOpen2:&Open Basefile...", "FileOpen3:&Open Texturesfile"}));
    const QList<QAction*> help = bar->actions()[1]->menu()->actions();
    ASSERT_EQ(help.size(), 3);
    EXPECT_EQ(help[0]->text().toStdString(), "&Contents");
    EXPECT_FALSE(help[0]->isEnabled());
    EXPECT_EQ(form->FileSaveAs1->toolTip() + "|" + form->FileSaveAs1->statusTip(),
              "Save As|Saves the active file with a new name");
    // Status texts are shown in the code page of the project's texts.
    form->SetStatusText(1, "Level Saved as caf\xE9.vel");
    EXPECT_EQ(form->StatusText(1), "Level Saved as caf\xE9.vel");
    EXPECT_EQ(form->findChild<QLabel*>("StatusBar1Panel1")->text(),
              QString::fromUtf8("Level Saved as caf\xC3\xA9.vel"));
}

TEST_F(WindowLayout, TabRowsCarryTheirPagesAndBringTheirPartnerForward)
{
    StartWindow();
    TPageControl *top = form->PageControl1, *bottom = form->PageControl2;
    EXPECT_EQ(Captions(top),
              (std::vector<std::string>{"View", "Select", "Cameras", "Manual Portal Views", "Sound Sources",
                                        "Anim Textures", "Textures Mode/QuickTriggers", "Memo", "TR2VEL"}));
    EXPECT_EQ(Captions(bottom),
              (std::vector<std::string>{"Rooms", "Geometry", "2D Grid", "Objects", "Statics Meshes", "Triggers",
                                        "Flyby Cameras", "Lights", "TR2VEL", "2D Map", "Items Remap", "VelMerge"}));
    EXPECT_EQ(std::tuple(top->ActivePageIndex(), bottom->ActivePageIndex()), std::tuple(0, 0));
    // A user's pick in one row, and what the other row then shows; tabs
    // without a partner leave the other row alone.
    const std::tuple<TPageControl*, const char*, const char*> picks[] = {
        {top, "Textures Mode/QuickTriggers", "Triggers"},
        {bottom, "Geometry", "Select"},
        {bottom, "TR2VEL", "TR2VEL"},
        {top, "View", "Rooms"},
        {top, "Memo", "Rooms"},
        {bottom, "Lights", "Memo"}};
    for (auto [tabs, caption, partner] : picks) {
        tabs->setCurrentIndex(tabs->IndexOfCaption(caption));
        TPageControl* other = tabs == top ? bottom : top;
        EXPECT_EQ(other->PageCaption(other->ActivePageIndex()), partner) << caption;
    }
    top->SetActivePageIndex(0);  // code that switches a page fires nothing
    EXPECT_EQ(bottom->PageCaption(bottom->ActivePageIndex()), "Lights");
}

TEST_F(WindowLayout, ResizeKeepsASideBelow450AndPlacesThe3DPanel)
{
    StartWindow();
    // Proposed size, the size the window keeps, and the 3D panel's left, width and height.
    const struct {
        int w, h, keptW, keptH, left, width, height;
        bool gridBox;
    } steps[] = {
        {900, 700, 900, 700, 0, 900, 405, false},     // "None": the panel spans the window
        {400, 600, 900, 600, 0, 900, 305, false},     // too narrow: the width stays
        {1000, 300, 1000, 600, 0, 1000, 305, false},  // too low: the height stays
        {1000, 650, 1000, 650, 288, 700, 355, true},  // any mode but "None"
    };
    for (const auto& s : steps) {
        if (s.gridBox) form->RadioButton2->SetChecked(true);
        form->resize(s.w, s.h);
        QCoreApplication::processEvents();
        EXPECT_EQ(form->size(), QSize(s.keptW, s.keptH)) << s.w << "x" << s.h;
        const QRect panel = form->Panel1->geometry();
        EXPECT_EQ((std::tuple{panel.left(), panel.width(), panel.height()}), (std::tuple{s.left, s.width, s.height}));
        EXPECT_EQ(form->PageControl1->width(), s.keptW);
    }
}

TEST_F(WindowLayout, StartUpLoadsItsTexturesAndLeavesAnEmptyProject)
{
    TempDir elsewhere;  // the files are found from any working directory
    ScopedWorkingDir cd(elsewhere.path());
    StartWindow();
    ASSERT_TRUE(form->Started());
    for (int id : {5001, 5002, 6001, 6002, 6003, 6004, 6005, 6006, 6007, 6008, 5003, 5004})
        EXPECT_NE(TextureBuffer->Find(id), nullptr) << id;
    EXPECT_EQ(TextureBuffer->Count(), 12);
    // Stretched to powers of two: the 41-pixel pictures become 64 x 64.
    EXPECT_EQ(std::tuple(TextureBuffer->Find(6001)->Width, TextureBuffer->Find(5001)->Width), std::tuple(64, 64));
    for (const TListBox* list : {form->ListBox1, form->ListBox2, form->ListBox3, form->ListBox4, form->ListBox5,
                                 form->ListBox6, form->ListBox8, form->ListBox9, form->CheckListBox2})
        EXPECT_EQ(list->Count(), 0) << list->objectName().toStdString();
    EXPECT_THAT(sink.Texts(), testing::IsEmpty());
    EXPECT_THAT(sink.exceptions, testing::IsEmpty());
    EXPECT_EQ(std::string() + DecimalSeparator + ThousandSeparator, ".,");
    EXPECT_EQ((std::tuple{int(Project.roomCount), int(Project.currentRoom), Project.playerRoom, Project.playerColumn,
                          Project.playerRow, Project.rooms.size()}),
              (std::tuple{0, 1, int16_t(1), int16_t(2), int16_t(2), std::size_t(12)}));
    EXPECT_EQ(Viewport->BackgroundColor, 0x808000u);
    // The map and the texture panel are hidden, the map's bar at its bottom.
    EXPECT_FALSE(MapView->Visible);
    EXPECT_FALSE(PanelView->Visible);
    EXPECT_GT(MapView->VertScrollBar->Max(), 0);
    EXPECT_EQ(MapView->VertScrollBar->Position(), MapView->VertScrollBar->Max());
    EXPECT_EQ(std::pair(form->PT_ScrollBar1->SmallChange(), form->GR_ScrollBar1->LargeChange()), std::pair(50, 50));
    // The map background: the tile and the grey border.
    EXPECT_EQ(MapDIB->Bitmap().GetPixel(3, 600), As565(MAP_BORDER_COLOUR));
}

TEST_F(WindowLayout, StartUpFailuresAreReported)
{
    auto restart = [this] {
        form.reset();
        EndEditorModules();
        StartEditorModules();
        sink.exceptions.clear();
    };
    // colored.bmp is no picture the loader reads: its error reaches the
    // standard box and the rest of the start-up is skipped.
    for (const char* name : {"gridmap.bmp", "solid.bmp"})
        std::filesystem::copy_file(TestAppDir() + name, dir.file(name));
    WriteFileBytes(dir.file("colored.bmp"), std::vector<uint8_t>{'n', 'o'});
    StartWindow(dir.path() + "/");
    EXPECT_FALSE(form->Started());
    EXPECT_EQ(sink.exceptions.size(), 1u);
    EXPECT_NE(TextureBuffer->Find(5001), nullptr);
    // The window stays usable for closing; its pages do nothing.
    form->ListBox4->AddItem("x");
    ChooseLine(form->ListBox4, 0);
    Click(form->SpeedButton1);
    EXPECT_EQ(sink.exceptions.size(), 1u);

    // Without the map background the start-up stops before the 3D view.
    restart();
    TempDir empty;
    StartWindow(empty.path() + "/");
    EXPECT_FALSE(form->Started());
    EXPECT_EQ(sink.exceptions.size(), 1u);
    EXPECT_EQ(Viewport, nullptr);

    restart();
    D3DFailNext(TD3DFailPoint::CreateObject, -1);
    StartWindow();
    D3DClearFailures();
    EXPECT_TRUE(ProcessEnding());
    EXPECT_EQ(ProcessExitCode(), 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Initializing DirectX 8.1 Fail!!"});
    EXPECT_FALSE(form->Started());
}

TEST_F(WindowLayout, ExitAndCloseFreeTheTexturePanelTheSceneAndTheLevel)
{
    StartWindow();
    AddRoom(Project, 1, {.x = 10, .z = 20});
    form->ListBox4->AddItem("Room#1");
    ChooseLine(form->ListBox4, 0);
    form->FileExit1->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Started());
    EXPECT_EQ(PanelBitmap.get(), nullptr);
    EXPECT_EQ(PanelDIB.get(), nullptr);
    EXPECT_EQ(PanelView.get(), nullptr);
    EXPECT_EQ(Scene.get(), nullptr);
    EXPECT_EQ(BasefileLevel.get(), nullptr);
    // The view stays until the program ends, with nothing left to draw.
    ASSERT_NE(Viewport, nullptr);
    EXPECT_EQ(Viewport->Buffers, nullptr);
    Viewport->Rebuild();
    // Late events of the controls find nothing to work on.
    form->ListBox4->setCurrentRow(1);
    form->SpeedButton1->click();
    EXPECT_TRUE(sink.exceptions.empty());
}

}  // namespace
