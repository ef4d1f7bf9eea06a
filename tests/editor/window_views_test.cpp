// The window at work: start-up with its textures, rooms chosen in the room
// list, the 2D room map and room grid, map clicks, the neighbour filters,
// the view modes and what the 3D panel shows.
#include <QCoreApplication>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

#include "display/camera.h"
#include "display/device.h"
#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "display/texture_store.h"
#include "display/viewport.h"
#include "editor/editor_state.h"
#include "editor/event_dispatch.h"
#include "editor/room_map.h"
#include "editor/surface.h"
#include "editor_fixture.h"
#include "platform/d3d8/d3d8_control.h"
#include "platform/rtl/sysutils.h"
#include "scene/scene.h"
#include "support/temp_dir.h"

namespace {

// Gives project room n a place, a size and a fresh grid with walls round it.
tcuarto& SetRoom(int n, int x, int z, int y, int columns, int rows, int height = 4)
{
    if (Project.rooms.size() < static_cast<std::size_t>(n + 1)) Project.rooms.resize(n + 1);
    if (Project.roomCount < n) Project.roomCount = static_cast<uint8_t>(n);
    tcuarto& r = Project.rooms[n];
    r.x = x;
    r.z = z;
    r.y = y;
    r.columns = static_cast<uint16_t>(columns);
    r.rows = static_cast<uint16_t>(rows);
    r.height = static_cast<uint16_t>(height);
    InitRoomSectors(Project, static_cast<uint8_t>(n));
    r.name = "Room#" + std::to_string(n);
    return r;
}

TColor As565(TColor c)
{
    TBitmap one;
    one.SetPixelFormat(pf16bit);
    one.SetSize(1, 1);
    one.SetPixel(0, 0, c);
    return one.GetPixel(0, 0);
}

class WindowViews : public EditorWindowTest {
protected:
    // Four rooms: 1 and 2 side by side with a door, 3 above room 1 through
    // a portal in its ceiling, 4 far away and below the others.
    void MakeProject()
    {
        tcuarto& r1 = SetRoom(1, 10, 20, 0, 6, 5);
        tcuarto& r2 = SetRoom(2, 15, 20, 0, 4, 5);
        SetRoom(3, 10, 20, 4, 6, 5);
        SetRoom(4, 40, 40, -8, 4, 4);
        r1.sectors[6][3].roomBeside = 2;  // the right border column
        r2.sectors[1][3].roomBeside = 1;
        r1.sectors[2][2].roomAbove = 3;
        r1.sectors[3][2].roomAbove = 75;  // never listed as a neighbour
        r1.sectors[4][3].roomBelow = 4;
        r1.sectors[4][3].floorSplit = 1;
        Project.neighbourRoom = 0;
        Project.rooms.resize(Project.roomCount + 1);
        for (int n = 1; n <= Project.roomCount; ++n) form->ListBox4->AddItem(Project.rooms[n].name.str());
    }

    // A user's choice of a line in the room list.
    void ChooseRoom(int n)
    {
        form->ListBox4->setCurrentRow(n - 1);
        QCoreApplication::processEvents();
    }

    void ShowMap()
    {
        form->SpeedButton1->click();
        QCoreApplication::processEvents();
    }

    // A press on the room map at a point of the map picture.
    void ClickMap(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers keys = {})
    {
        const QPoint at(px - GR_ScrollBar1Position(), py - GR_ScrollBar2Position());
        QTest::mousePress(form->GR_Image1, button, keys, at);
        QTest::mouseRelease(form->GR_Image1, button, keys, at);
        QCoreApplication::processEvents();
    }
    int GR_ScrollBar1Position() const { return MapView->HorzScrollBar->Position(); }
    int GR_ScrollBar2Position() const { return MapView->VertScrollBar->Position(); }
};

TEST_F(WindowViews, StartUpLoadsTheStartUpTexturesAndLeavesTheListsEmpty)
{
    StartWindow();
    ASSERT_TRUE(form->Started());
    for (int id : {5001, 5002, 6001, 6002, 6003, 6004, 6005, 6006, 6007, 6008, 5003, 5004})
        EXPECT_NE(TextureBuffer->Find(id), nullptr) << id;
    EXPECT_EQ(TextureBuffer->Count(), 12);
    // Stretched to powers of two: the 41-pixel pictures become 64 x 64.
    EXPECT_EQ(TextureBuffer->Find(6001)->Width, 64);
    EXPECT_EQ(TextureBuffer->Find(5001)->Width, 64);
    for (const char* list : {"ListBox1", "ListBox2", "ListBox3", "ListBox4", "ListBox5", "ListBox6", "ListBox8",
                             "ListBox9", "CheckListBox2"})
        EXPECT_EQ(Control<TListBox>(list)->Count(), 0) << list;
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_TRUE(sink.exceptions.empty());
    EXPECT_EQ(DecimalSeparator, '.');
    EXPECT_EQ(ThousandSeparator, ',');
    // The long-lived objects are tied together.
    EXPECT_EQ(Viewport->Buffers, &Scene->Buffers);
    EXPECT_EQ(Viewport->GetCamera(), Camera.get());
    EXPECT_EQ(Viewport->Host, form->Panel1);
    EXPECT_EQ(Viewport->BackgroundColor, 0x808000u);
    EXPECT_EQ(Scene->Level, BasefileLevel.get());
    EXPECT_EQ(Scene->Project, &Project);
    EXPECT_EQ(Scene->Catalog, &MoveableCatalog);
    EXPECT_EQ(Scene->Meshes, &BasefileMeshes);
    EXPECT_EQ(Scene->RoomOfInterest, 1);
    // The map is hidden, its bar at the bottom of the map; the texture panel hidden.
    EXPECT_FALSE(MapView->Visible);
    EXPECT_EQ(MapView->VertScrollBar->Position(), MapView->VertScrollBar->Max());
    EXPECT_GT(MapView->VertScrollBar->Max(), 0);
    EXPECT_FALSE(PanelView->Visible);
    EXPECT_EQ(form->PT_ScrollBar1->SmallChange(), 50);
    EXPECT_EQ(form->GR_ScrollBar1->LargeChange(), 50);
    // The map background: the tile and the grey border.
    EXPECT_EQ(MapDIB->Bitmap().GetPixel(3, 600), As565(MAP_BORDER_COLOUR));
    EXPECT_EQ(MapBackDIB->Bitmap().GetPixel(3, 600), As565(MAP_BORDER_COLOUR));
}

TEST_F(WindowViews, StartUpFromAnotherWorkingDirectoryFindsItsFiles)
{
    TempDir elsewhere;
    ScopedWorkingDir cd(elsewhere.path());
    StartWindow();
    EXPECT_TRUE(form->Started());
    EXPECT_NE(TextureBuffer->Find(5002), nullptr);
    EXPECT_TRUE(sink.exceptions.empty());
}

TEST_F(WindowViews, AMissingStartUpTextureIsReportedAndTheStartUpGoesOn)
{
    TempDir dir;
    for (const char* name : {"gridmap.bmp", "solid.bmp"})
        std::filesystem::copy_file(TestAppDir() + name, dir.file(name));
    // colored.bmp exists but is no picture the loader reads: its error
    // reaches the standard box and the rest of the start-up is skipped.
    WriteFileBytes(dir.file("colored.bmp"), std::vector<uint8_t>{'n', 'o'});
    StartWindow(dir.path() + "/");
    EXPECT_FALSE(form->Started());
    EXPECT_EQ(sink.exceptions.size(), 1u);
    EXPECT_NE(TextureBuffer->Find(5001), nullptr);
    // The window stays usable for closing; its pages do nothing.
    form->ListBox4->AddItem("x");
    form->ListBox4->setCurrentRow(0);
    form->SpeedButton1->click();
    EXPECT_EQ(sink.exceptions.size(), 1u);
}

TEST_F(WindowViews, AMissingMapBackgroundStopsTheStartUpBeforeThe3DView)
{
    TempDir dir;
    StartWindow(dir.path() + "/");
    EXPECT_FALSE(form->Started());
    ASSERT_EQ(sink.exceptions.size(), 1u);
    EXPECT_EQ(Viewport, nullptr);
    form->close();
}

TEST_F(WindowViews, WithoutA3DDeviceTheProgramEnds)
{
    D3DFailNext(TD3DFailPoint::CreateObject, -1);
    StartWindow();
    D3DClearFailures();
    EXPECT_TRUE(ProcessEnding());
    EXPECT_EQ(ProcessExitCode(), 1);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Initializing DirectX 8.1 Fail!!"});
    EXPECT_FALSE(form->Started());
}

TEST_F(WindowViews, ChoosingARoomDrawsTheMapAndGridAndCentresThe3DView)
{
    StartWindow();
    MakeProject();
    form->RadioButton2->SetChecked(true);  // the room grid beside the 3D view
    ChooseRoom(1);
    EXPECT_EQ(Project.currentRoom, 1);
    EXPECT_EQ(Scene->RoomOfInterest, 1);
    EXPECT_EQ(form->SpinEdit8->Value(), 10);
    EXPECT_EQ(form->SpinEdit10->Value(), 20);
    EXPECT_EQ(form->SpinEdit9->Value(), 1);  // y 0 shown at the spin edit's lower limit

    // The map: room 1 red (current), room 2 and 3 cyan, the door of room 1 yellow.
    const TBitmap& map = MapDIB->Bitmap();
    EXPECT_EQ(map.GetPixel(110, 959), As565(MAP_CURRENT_COLOUR));
    EXPECT_EQ(map.GetPixel(160, 959), As565(MAP_ROOM_COLOUR));
    EXPECT_EQ(map.GetPixel(150, 975), As565(MAP_DOOR_COLOUR));  // x = X + W - 1, row 3
    // The grid of room 1: 6 x 5 sectors centred (cx 7, cz 8).
    const TBitmap& grid = GridDIB->Bitmap();
    auto cell = [&](int column, int row) {
        return grid.GetPixel((7 + column - 1) * 10 + 4, 189 - (8 + row - 1) * 10 + 5);
    };
    EXPECT_EQ(cell(1, 1), As565(GRID_SOLID_COLOUR));    // the wall ring
    EXPECT_EQ(cell(3, 3), As565(GRID_FLOOR_COLOUR));
    EXPECT_EQ(cell(6, 3), As565(GRID_SOLID_COLOUR));    // the door lies in the wall ring
    // Column 4, row 3: a room below with the floor split on its first
    // diagonal, option 0: the upper left half cyan, the rest black.
    EXPECT_EQ(grid.GetPixel(101, 91), As565(GRID_FLOOR_COLOUR));
    EXPECT_EQ(grid.GetPixel(108, 98), As565(GRID_PORTAL_COLOUR));

    // The 3D view: the box of room 1, moved to the origin, fills the view.
    EXPECT_DOUBLE_EQ(Viewport->MinX, -3.0);
    EXPECT_DOUBLE_EQ(Viewport->MaxX, 3.0);
    EXPECT_DOUBLE_EQ(Viewport->MinZ, -2.5);
    EXPECT_DOUBLE_EQ(Viewport->MaxZ, 2.5);
    EXPECT_FLOAT_EQ(Camera->X, 0.0f);
    EXPECT_FLOAT_EQ(Camera->Y, 0.0f);
    EXPECT_FLOAT_EQ(Camera->Z, 2.5f + 5.0f);
    // The scene built the current room and nothing is left dirty in it.
    EXPECT_EQ(Scene->Dirty[0], 0);
    EXPECT_GT(Scene->Buffers.Count(), 2);

    ChooseRoom(2);
    EXPECT_EQ(map.GetPixel(110, 959), As565(MAP_ROOM_COLOUR));
    EXPECT_EQ(map.GetPixel(160, 959), As565(MAP_CURRENT_COLOUR));
}

TEST_F(WindowViews, The3DPanelShowsTheRoom)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    QCoreApplication::processEvents();
    EXPECT_GT(form->Panel1->FrameCount(), 0);
    const QImage shot = form->grab().toImage();
    const QRect panel = form->Panel1->geometry()
                            .translated(form->Surface->mapTo(form.get(), QPoint(0, 0)))
                            .intersected(shot.rect());
    ASSERT_GT(panel.width(), 400);
    // Not one colour: the room's faces stand out from the teal background.
    const QRgb teal = qRgb(0, 128, 128);
    int differing = 0;
    for (int y = panel.top(); y <= panel.bottom(); y += 4)
        for (int x = panel.left(); x <= panel.right(); x += 4)
            if ((shot.pixel(x, y) & 0xFFFFFF) != (teal & 0xFFFFFF)) ++differing;
    EXPECT_GT(differing, 100);
    shot.save(QString::fromStdString(TestAppDir() + "main_window.png"));
}

TEST_F(WindowViews, MapClicksPickRoomsByTheTieBreaks)
{
    StartWindow();
    MakeProject();
    ChooseRoom(4);
    ShowMap();
    ASSERT_TRUE(MapView->Visible);
    EXPECT_FALSE(form->Panel1->isVisible());
    // Rooms 1 and 3 cover the same sectors; 3 lies higher.
    ClickMap(125, 975, Qt::LeftButton);
    EXPECT_EQ(Project.currentRoom, 3);
    EXPECT_EQ(form->ListBox4->ItemIndex(), 2);
    EXPECT_EQ(form->SpinEdit8->Value(), 10);
    // Once current, a click there keeps room 3; from room 1 it keeps room 1.
    ClickMap(125, 975, Qt::LeftButton);
    EXPECT_EQ(Project.currentRoom, 3);
    ChooseRoom(1);
    ClickMap(125, 975, Qt::LeftButton);
    EXPECT_EQ(Project.currentRoom, 1);
    // A wall sector belongs to no room: nothing changes.
    ClickMap(105, 975, Qt::LeftButton);
    EXPECT_EQ(Project.currentRoom, 1);

    // A right click makes the neighbour room, through the neighbour spin edit.
    ClickMap(165, 975, Qt::RightButton);
    EXPECT_EQ(Project.neighbourRoom, 2);
    EXPECT_EQ(form->SpinEdit11->Value(), 2);
    EXPECT_EQ(Project.currentRoom, 1);
    EXPECT_EQ(MapDIB->Bitmap().GetPixel(160, 959), As565(MAP_NEIGHBOUR_COLOUR));

    // Shift and right button: more neighbours, the neighbour room kept.
    // Room 4 lies below y 0 and is no neighbour's key: it is not picked.
    ClickMap(125, 975, Qt::RightButton, Qt::ShiftModifier);
    ClickMap(415, 785, Qt::RightButton, Qt::ShiftModifier);
    ClickMap(165, 975, Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(form->Edit2->Text(), "3,2");
    EXPECT_EQ(Project.neighbourRoom, 2);
}

TEST_F(WindowViews, ShiftClickSavesARubberBandThatTheNextClickRestores)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    ShowMap();
    ClickMap(300, 900, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(MapView->RubberBandActive);
    EXPECT_EQ(Project.currentRoom, 1);
    ClickMap(165, 975, Qt::LeftButton);
    EXPECT_FALSE(MapView->RubberBandActive);
    EXPECT_EQ(Project.currentRoom, 2);
}

TEST_F(WindowViews, SamePlaneHidesRoomsOutsideTheCurrentSpan)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    ShowMap();
    form->SpeedButton43->click();  // down
    const TBitmap& map = MapDIB->Bitmap();
    // Room 3 (y 4) sits on room 1's top: left out; room 2 overlaps: drawn.
    SetRoom(3, 30, 20, 4, 4, 4);
    form->SpeedButton43->click();
    form->SpeedButton43->click();
    EXPECT_NE(map.GetPixel(310, 1200 - 210 - 21), As565(MAP_ROOM_COLOUR));
    EXPECT_EQ(map.GetPixel(160, 959), As565(MAP_ROOM_COLOUR));
    form->SpeedButton43->click();  // up: every room again
    EXPECT_EQ(map.GetPixel(310, 1200 - 210 - 21), As565(MAP_ROOM_COLOUR));
}

TEST_F(WindowViews, DrawNeighborsListsThePortalsOfTheCurrentRoom)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    form->RadioButton11->click();
    // Column by column: room 3 above (column 2), room 4 below (column 4),
    // room 2 beside (column 6); the 75 above in column 3 is skipped.
    EXPECT_EQ(form->Edit2->Text(), "3,4,2");
    EXPECT_EQ(Scene->RoomFilter, "3,4,2,");
    EXPECT_EQ(form->Memo5->Lines(), (std::vector<std::string>{"3", "4", "2"}));
    form->RadioButton12->click();
    EXPECT_EQ(Scene->RoomFilter, "all,");
    // Choosing a room clears the filter again and checks "Clear Text".
    ChooseRoom(4);
    EXPECT_TRUE(form->RadioButton6->Checked());
    EXPECT_EQ(form->Edit2->Text(), "");
    EXPECT_EQ(Scene->RoomFilter, ",");
    // A room without portals gives an empty filter.
    form->RadioButton11->click();
    EXPECT_EQ(Scene->RoomFilter, ",");
    form->Edit2->SetText("  5 ");
    form->Button26->click();
    EXPECT_EQ(Scene->RoomFilter, "5,");
}

TEST_F(WindowViews, NeighbourSpinEditRedrawsUnlessGuarded)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    {
        TSpinGuardScope guard;
        form->SpinEdit11->SetValue(2);
    }
    EXPECT_EQ(Project.neighbourRoom, 0);
    form->SpinEdit11->SetValue(3);
    EXPECT_EQ(Project.neighbourRoom, 3);
    EXPECT_EQ(MapDIB->Bitmap().GetPixel(110, 959), As565(MAP_CURRENT_COLOUR));  // drawn over the neighbour
}

TEST_F(WindowViews, ViewSwitchesReachTheScene)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    form->SpeedButton44->click();
    EXPECT_EQ(Scene->Textured, 1);
    form->SpeedButton47->click();
    EXPECT_EQ(Scene->HideNeighbors, 1);
    form->SpeedButton44->click();
    EXPECT_EQ(Scene->Textured, 0);
    // "Hide Neighbors" down: choosing a room recentres through the centre button.
    ChooseRoom(2);
    EXPECT_DOUBLE_EQ(Viewport->MinX, -2.0);
    form->SpeedButton47->click();
    EXPECT_EQ(Scene->HideNeighbors, 0);
}

TEST_F(WindowViews, WithTheMapShownTheViewportDoesNotRebuildTheScene)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    ShowMap();
    Scene->SetDirty(0);
    Viewport->Rebuild();
    EXPECT_EQ(Scene->Dirty[0], 1);
    form->SpeedButton1->click();  // up: the 3D panel returns and is rebuilt
    EXPECT_TRUE(form->Panel1->isVisible());
    EXPECT_FALSE(MapView->Visible);
    EXPECT_EQ(Scene->Dirty[0], 0);
}

TEST_F(WindowViews, ViewModesMoveThe3DPanelAndTheSidePictures)
{
    StartWindow();
    form->resize(900, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->Panel1->width(), 900);
    form->RadioButton1->click();  // Texture Panel
    EXPECT_EQ(form->Panel1->width(), 600);
    EXPECT_EQ(form->Panel1->x(), 288);
    EXPECT_TRUE(PanelView->Visible);
    EXPECT_EQ(form->GR_Image2->width(), 0);
    form->RadioButton2->click();  // GridBox: still 300 narrower, not 600
    EXPECT_EQ(form->Panel1->width(), 600);
    EXPECT_FALSE(PanelView->Visible);
    EXPECT_EQ(form->GR_Image2->size(), QSize(205, 205));
    form->RadioButton1->click();
    EXPECT_EQ(form->Panel1->width(), 600);
    form->RadioButton5->click();  // None
    EXPECT_EQ(form->Panel1->width(), 900);
    EXPECT_EQ(form->Panel1->x(), 0);

    // The status bar names the file each mode is about.
    Project.texturesfilePath = "/levels/textures.bmp";
    form->RadioButton1->click();
    EXPECT_EQ(form->StatusText(0), "/levels/textures.bmp");

    // The 2D map puts the side pictures away and brings back the mode's own.
    form->SpeedButton1->click();
    EXPECT_FALSE(PanelView->Visible);
    form->SpeedButton1->click();
    EXPECT_TRUE(PanelView->Visible);
}

TEST_F(WindowViews, TriggerAndAnimatedSetListsShowTheirEntries)
{
    StartWindow();
    tproject_trigger t{};
    t.name = "Door";
    t.type = 4;
    t.mask = 0x02 | 0x10 | 0x40;
    t.timer = -5;
    t.onlyOnce = 1;
    t.itemNumber = 12;
    Project.triggers = {t, t};
    Project.triggers[1].type = 99;  // beyond the list of types
    Project.triggerCount = 2;
    form->ListBox5->AddItem("Door");
    form->ListBox5->AddItem("Other");
    form->ListBox5->setCurrentRow(0);
    EXPECT_EQ(form->ComboBox3->ItemIndex(), 4);
    EXPECT_EQ(form->SpinEdit3->Value(), -5);
    EXPECT_TRUE(form->CheckBox1->Checked());
    EXPECT_TRUE(form->SpeedButton27->Down());
    EXPECT_FALSE(form->SpeedButton28->Down());
    EXPECT_TRUE(form->SpeedButton30->Down());
    EXPECT_TRUE(form->SpeedButton98->Down());
    EXPECT_EQ(form->StatusText(1), "TRigger Item:<12>");
    form->ListBox5->setCurrentRow(1);
    EXPECT_EQ(form->ComboBox3->ItemIndex(), -1);

    Project.animSetCount = 2;
    Project.animSets[2].frameCount = 3;
    Project.animSets[2].frames[1].mode = 2;
    form->ListBox8->AddItem("Animated Set #1");
    form->ListBox8->AddItem("Animated Set #2");
    form->ListBox8->setCurrentRow(1);
    ASSERT_EQ(form->ListBox9->Count(), 3);
    EXPECT_EQ(form->ListBox9->ItemText(2), "Frame #3");
    EXPECT_EQ(form->ListBox9->ItemIndex(), 0);
    EXPECT_EQ(form->ComboBox2->ItemIndex(), 0);
    form->ListBox9->setCurrentRow(1);
    EXPECT_EQ(form->ComboBox2->ItemIndex(), 2);
    // A damaged frame count lists no more frames than a set holds.
    Project.animSets[1].frameCount = 500;
    form->ListBox8->setCurrentRow(0);
    EXPECT_EQ(form->ListBox9->Count(), ANIM_SET_FRAMES);
}

TEST_F(WindowViews, AnEmptyRoomListMakesTheUnusedRoomZeroCurrent)
{
    StartWindow();
    form->ListBox4Click();
    EXPECT_EQ(Project.currentRoom, 0);
    EXPECT_TRUE(sink.exceptions.empty());
}

TEST_F(WindowViews, MouseDragsOnThe3DPanelTurnTheView)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    const int frames = form->Panel1->FrameCount();
    QTest::mousePress(form->Panel1, Qt::RightButton, {}, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(150, 100), form->Panel1->mapToGlobal(QPointF(150, 100)),
                     Qt::NoButton, Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->Panel1, &move);
    QTest::mouseRelease(form->Panel1, Qt::RightButton, {}, QPoint(150, 100));
    EXPECT_DOUBLE_EQ(Viewport->RotationY, 50.0);  // one radian
    EXPECT_GT(form->Panel1->FrameCount(), frames);
}

}  // namespace

namespace {

TEST_F(WindowViews, ClosingFreesTheTexturePanelTheSceneAndTheLevel)
{
    StartWindow();
    MakeProject();
    ChooseRoom(1);
    form->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->Started());
    EXPECT_EQ(PanelBitmap, nullptr);
    EXPECT_EQ(PanelDIB, nullptr);
    EXPECT_EQ(PanelView, nullptr);
    EXPECT_EQ(Scene, nullptr);
    EXPECT_EQ(BasefileLevel, nullptr);
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
