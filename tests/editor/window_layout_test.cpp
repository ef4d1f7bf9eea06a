// The window as it starts: menus, tab rows, named controls with their
// captions, hints and ranges, the tab pairing and the resize rule.
#include <QAction>
#include <QCoreApplication>
#include <QMenuBar>
#include <QResizeEvent>
#include <QStatusBar>

#include <gtest/gtest.h>

#include "editor/editor_state.h"
#include "editor/surface.h"
#include "editor_fixture.h"

namespace {

class WindowLayout : public EditorWindowTest {};

std::vector<std::string> TabCaptions(const TPageControl* tabs)
{
    std::vector<std::string> out;
    for (int i = 0; i < tabs->count(); ++i) out.push_back(tabs->PageCaption(i));
    return out;
}

TEST_F(WindowLayout, MenusListTheFileCommandsInOrderAllEnabled)
{
    StartWindow();
    QMenuBar* bar = form->menuBar();
    EXPECT_EQ(bar->objectName(), "ActionMainMenuBar1");
    ASSERT_EQ(bar->actions().size(), 2);
    EXPECT_EQ(bar->actions()[0]->text(), "&File");
    EXPECT_EQ(bar->actions()[1]->text(), "&Help");
    const QList<QAction*> file = bar->actions()[0]->menu()->actions();
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"FileNew", "&New"},         {"FileOpen1", "&Open..."},         {"FileSave", "&Save"},
        {"FileSaveAs1", "Save &As..."}, {"FileExit1", "E&xit"},         {"FileOpen2", "&Open Basefile..."},
        {"FileOpen3", "&Open Texturesfile"},
    };
    ASSERT_EQ(file.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(file[i]->objectName().toStdString(), expected[i].first);
        EXPECT_EQ(file[i]->text().toStdString(), expected[i].second);
        EXPECT_TRUE(file[i]->isEnabled());
    }
    EXPECT_EQ(form->FileOpen1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(form->FileSaveAs1->toolTip(), "Save As");
    EXPECT_EQ(form->FileSaveAs1->statusTip(), "Saves the active file with a new name");
    EXPECT_EQ(form->FileNew->toolTip(), "Create File");
    const QList<QAction*> help = bar->actions()[1]->menu()->actions();
    ASSERT_EQ(help.size(), 3);
    EXPECT_EQ(help[0]->text(), "&Contents");
    EXPECT_FALSE(help[0]->isEnabled());
}

TEST_F(WindowLayout, TabRowsCarryTheirPagesWithViewAndRoomsInFront)
{
    StartWindow();
    auto* top = Control<TPageControl>("PageControl1");
    auto* bottom = Control<TPageControl>("PageControl2");
    EXPECT_EQ(TabCaptions(top), (std::vector<std::string>{"View", "Select", "Cameras", "Manual Portal Views",
                                                          "Sound Sources", "Anim Textures",
                                                          "Textures Mode/QuickTriggers", "Memo", "TR2VEL"}));
    EXPECT_EQ(TabCaptions(bottom),
              (std::vector<std::string>{"Rooms", "Geometry", "2D Grid", "Objects", "Statics Meshes", "Triggers",
                                        "Flyby Cameras", "Lights", "TR2VEL", "2D Map", "Items Remap", "VelMerge"}));
    EXPECT_EQ(top->ActivePageIndex(), 0);
    EXPECT_EQ(bottom->ActivePageIndex(), 0);
    EXPECT_EQ(top->height(), 84);
    EXPECT_EQ(bottom->height(), 111);
    EXPECT_EQ(top->widget(8), form->TabSheet1);
    EXPECT_EQ(bottom->widget(8), form->TabSheet15);
}

TEST_F(WindowLayout, NamedControlsHaveTheirCaptionsHintsAndRanges)
{
    StartWindow();
    EXPECT_EQ(Control<TSpeedButton>("SpeedButton1")->text(), "2D MAP");
    EXPECT_TRUE(form->SpeedButton1->isCheckable());
    EXPECT_EQ(form->SpeedButton1->toolTip(), "Enable the 2d map View");
    EXPECT_EQ(Control<TSpeedButton>("SpeedButton44")->toolTip(), "Enable texture mode");
    EXPECT_EQ(Control<TSpeedButton>("SpeedButton45")->text(), "CENTER\nCAMERA");
    EXPECT_EQ(form->SpeedButton45->toolTip(), "Center camere over current room (3d and 2d map)");
    EXPECT_TRUE(Control<TRadioButton>("RadioButton5")->Checked());
    EXPECT_FALSE(Control<TRadioButton>("RadioButton1")->Checked());
    EXPECT_EQ(form->RadioButton2->text(), "GridBox");
    EXPECT_TRUE(Control<TRadioButton>("RadioButton6")->Checked());
    EXPECT_EQ(Control<TRadioButton>("RadioButton11")->text(), "Draw Neighbors");
    EXPECT_EQ(Control<TRadioButton>("RadioButton12")->text(), "Draw All Rooms");
    EXPECT_EQ(Control<TButton>("Button26")->text(), "Show more neighbors");
    EXPECT_EQ(Control<TEdit>("Edit2")->toolTip(), "Especify more neighbors, comma separated  (1,2,3,...etc)");
    EXPECT_EQ(Control<TListBox>("ListBox4")->toolTip(), "Select the Current Room");
    EXPECT_EQ(Control<TListBox>("ListBox5")->toolTip(), "TRiggers added to your level");

    auto range = [this](const char* name) {
        auto* s = Control<TSpinEdit>(name);
        return std::make_pair(s->minimum(), s->maximum());
    };
    EXPECT_EQ(range("SpinEdit8"), std::make_pair(0, 255));
    EXPECT_EQ(range("SpinEdit9"), std::make_pair(1, 64));
    EXPECT_EQ(range("SpinEdit10"), std::make_pair(0, 255));
    EXPECT_EQ(range("SpinEdit11"), std::make_pair(0, 255));
    EXPECT_EQ(range("SpinEdit3"), std::make_pair(-128, 127));
    EXPECT_EQ(range("SpinEdit12"), std::make_pair(INT_MIN, INT_MAX));
    EXPECT_EQ(form->SpinEdit11->toolTip(), "Select the current Neighbor Room");

    auto* types = Control<TComboBox>("ComboBox3");
    ASSERT_EQ(types->count(), 17);
    EXPECT_EQ(types->itemText(0), "Do_Activate");
    EXPECT_EQ(types->itemText(13), "---DISABLED---");
    EXPECT_EQ(types->itemText(16), "TR3-Minecart STOP");
    auto* modes = Control<TComboBox>("ComboBox2");
    ASSERT_EQ(modes->count(), 3);
    EXPECT_EQ(modes->itemText(2), "Translucent");
    EXPECT_EQ(Control<TCheckBox>("CheckBox1")->text(), "ONLY ONCE");
    for (int i = 27; i <= 31; ++i) {
        const std::string name = "SpeedButton" + std::to_string(i);
        EXPECT_EQ(Control<TSpeedButton>(name.c_str())->text().toStdString(), std::to_string(i - 26));
    }
    EXPECT_EQ(Control<TSpeedButton>("SpeedButton98")->toolTip(), "Freeze Trigger until Trigger Triggerer used");
    EXPECT_EQ(Control<TSpeedButton>("SpeedButton43")->toolTip(),
              "Show Only room ables to conect at side with current. (2d map only)");

    // The converter's options with their captions and start states.
    const std::vector<std::tuple<const char*, const char*, bool>> options = {
        {"CheckBox18", "Include Rooms Flags", true},   {"CheckBox19", "Include Outdoor Flag", true},
        {"CheckBox12", "Include Vertical Portals", true}, {"CheckBox20", "Include Side Portals", true},
        {"CheckBox15", "Include Ceiling Geometry", true}, {"CheckBox16", "Include Floor Geometry", true},
        {"CheckBox13", "Include Items", false},        {"CheckBox6", "Include Triggers", false},
        {"CheckBox14", "Include Static Meshs", false}, {"CheckBox17", "Include Death Sectors", false},
        {"CheckBox25", "Include TR1-TR2 Floor Angles", true}, {"CheckBox24", "Include TR1-TR2 Ceiling Angles", true},
        {"CheckBox26", "Do Not Overlap Rooms", false}, {"CheckBox27", "Do Not Overlap Water Rooms", false},
        {"CheckBox21", "Not Used", true},             {"CheckBox22", "Not Used", true},
        {"CheckBox23", "Not Used", true},
    };
    for (const auto& [name, caption, on] : options) {
        auto* box = Control<TCheckBox>(name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text().toStdString(), caption) << name;
        EXPECT_EQ(box->Checked(), on) << name;
    }
    EXPECT_EQ(Control<TSpeedButton>("SpeedButton99")->text(), "CREATE");
    EXPECT_EQ(Control<TGauge>("Gauge2")->maximum(), 150);
    EXPECT_EQ(Control<TGauge>("Gauge3")->maximum(), 100);

    EXPECT_EQ(Control<TButton>("Button1")->text(), "Find Item");
    EXPECT_EQ(Control<TButton>("Button37")->text(), "Replace");
    EXPECT_EQ(Control<TButton>("Button38")->text(), "Replace All");
    EXPECT_EQ(Control<TMemo>("Memo4")->Lines(), std::vector<std::string>{"Items Info"});
    EXPECT_EQ(Control<TMemo>("Memo1")->Lines(), std::vector<std::string>{"Project Info"});
    EXPECT_FALSE(Control<TMemo>("Memo5")->isVisibleTo(form.get()));
    for (const char* name : {"ListBox1", "ListBox2", "ListBox3", "ListBox6", "ListBox8", "ListBox9", "CheckListBox2",
                             "Memo2", "Memo3"})
        EXPECT_NE(form->findChild<QWidget*>(name), nullptr) << name;
}

TEST_F(WindowLayout, MiddleBandAndStatusBar)
{
    StartWindow();
    EXPECT_EQ(form->size(), QSize(800, 575));
    auto* panel = Control<QWidget>("Panel1");
    EXPECT_EQ(panel->geometry().left(), 288);
    EXPECT_EQ(panel->size(), QSize(513, 321));
    EXPECT_TRUE(panel->isVisible());
    auto* progress = Control<TGroupBox>("GroupBox1");
    EXPECT_EQ(progress->title(), "Progress");
    EXPECT_EQ(progress->parentWidget(), panel);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_NE(form->findChild<TGauge*>("Gauge1"), nullptr);
    for (const char* name : {"PT_Image1", "PT_ScrollBar1", "GR_Image1", "GR_ScrollBar1", "GR_ScrollBar2", "GR_Image2"})
        EXPECT_NE(form->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(form->PT_ScrollBar1->pageStep(), 576);
    for (int i = 1; i <= 10; ++i) {
        auto* image = form->findChild<QLabel*>(QStringLiteral("Image%1").arg(i));
        ASSERT_NE(image, nullptr) << i;
        EXPECT_FALSE(image->isVisible());
        EXPECT_EQ(image->pixmap().size(), QSize(41, 41));
    }
    EXPECT_EQ(form->GR_Image1->toolTip(), "Click=current, Right click=neighbor, shift+righ click= more neighbors");

    EXPECT_EQ(form->statusBar()->objectName(), "StatusBar1");
    EXPECT_TRUE(form->statusBar()->font().bold());
    form->SetStatusText(1, "Level Saved as caf\xE9.vel");
    EXPECT_EQ(form->StatusText(1), "Level Saved as caf\xE9.vel");
    EXPECT_EQ(form->findChild<QLabel*>("StatusBar1Panel1")->text(), QString::fromUtf8("Level Saved as caf\xC3\xA9.vel"));
}

TEST_F(WindowLayout, StartUpLeavesAnEmptyProject)
{
    StartWindow();
    EXPECT_EQ(Project.roomCount, 0);
    EXPECT_EQ(Project.currentRoom, 1);
    EXPECT_EQ(Project.playerRoom, 1);
    EXPECT_EQ(Project.playerColumn, 2);
    EXPECT_EQ(Project.playerRow, 2);
    EXPECT_EQ(Project.rooms.size(), 12u);
    EXPECT_EQ(Project.progressGauge, nullptr);
    EXPECT_TRUE(ProjectFileName.empty());
    EXPECT_EQ(AppDir, TestAppDir());
    EXPECT_EQ(form->ListBox4->Count(), 0);
    EXPECT_EQ(form->ListBox5->Count(), 0);
    EXPECT_EQ(form->ListBox8->Count(), 0);
    EXPECT_EQ(form->CheckListBox2->Count(), 0);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(sink.exceptions.empty());
}

TEST_F(WindowLayout, TabsOfOneRowBringTheirPartnerForward)
{
    StartWindow();
    TPageControl* top = form->PageControl1;
    TPageControl* bottom = form->PageControl2;
    auto pick = [](TPageControl* tabs, const char* caption) { tabs->setCurrentIndex(tabs->IndexOfCaption(caption)); };
    auto active = [](TPageControl* tabs) { return tabs->PageCaption(tabs->ActivePageIndex()); };

    pick(top, "Textures Mode/QuickTriggers");
    EXPECT_EQ(active(bottom), "Triggers");
    pick(bottom, "Geometry");
    EXPECT_EQ(active(top), "Select");
    pick(bottom, "TR2VEL");
    EXPECT_EQ(active(top), "TR2VEL");
    pick(top, "View");
    EXPECT_EQ(active(bottom), "Rooms");
    // Tabs without a partner leave the other row alone.
    pick(top, "Memo");
    EXPECT_EQ(active(bottom), "Rooms");
    pick(bottom, "Lights");
    EXPECT_EQ(active(top), "Memo");
    // Code that switches a page fires nothing.
    top->SetActivePageIndex(0);
    EXPECT_EQ(active(bottom), "Lights");
}

TEST_F(WindowLayout, ResizeKeepsTheSizeBelow450AndPlacesThe3DPanel)
{
    StartWindow();
    QWidget* panel = form->Panel1;
    form->resize(900, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->size(), QSize(900, 700));
    // "None" is the start mode: the panel spans the window.
    EXPECT_EQ(panel->geometry().left(), 0);
    EXPECT_EQ(panel->width(), 900);
    EXPECT_EQ(panel->height(), 700 - 295);
    EXPECT_EQ(form->PageControl1->width(), 900);

    form->resize(400, 600);  // too narrow: the width stays
    QCoreApplication::processEvents();
    EXPECT_EQ(form->size(), QSize(900, 600));
    EXPECT_EQ(panel->height(), 600 - 295);
    form->resize(1000, 300);  // too low: the height stays
    QCoreApplication::processEvents();
    EXPECT_EQ(form->size(), QSize(1000, 600));
    EXPECT_EQ(panel->width(), 1000);

    form->RadioButton2->SetChecked(true);  // any mode but "None"
    form->resize(1000, 650);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->geometry().left(), 288);
    EXPECT_EQ(panel->width(), 700);
    EXPECT_EQ(panel->height(), 355);
}

TEST_F(WindowLayout, ExitClosesTheWindow)
{
    StartWindow();
    EXPECT_TRUE(form->isVisible());
    form->FileExit1->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
}

}  // namespace
