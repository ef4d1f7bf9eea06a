// The window at work: rooms chosen in the room list, the 2D room map and
// room grid, map clicks, the neighbour filters, the view switches and modes,
// the trigger and animated set lists, and what the 3D panel shows.
#include <QCoreApplication>
#include <QImage>
#include <QTest>

#include "display/camera.h"
#include "display/dib_picture.h"
#include "display/dib_viewer.h"
#include "display/viewport.h"
#include "editor/event_dispatch.h"
#include "editor/room_map.h"
#include "editor/surface.h"
#include "editor_fixture.h"
#include "scene/scene.h"

namespace {

class WindowViews : public EditorWindowTest {
protected:
    // Four rooms: 1 and 2 side by side with a door, 3 above room 1 through
    // a portal in its ceiling, 4 far away and below the others.
    void StartWithRooms()
    {
        StartWindow();
        tcuarto& r1 = AddRoom(Project, 1, {.x = 10, .z = 20, .columns = 6, .rows = 5});
        AddRoom(Project, 2, {.x = 15, .z = 20, .columns = 4, .rows = 5}).sectors[1][3].roomBeside = 1;
        AddRoom(Project, 3, {.x = 10, .z = 20, .y = 4, .columns = 6, .rows = 5});
        AddRoom(Project, 4, {.x = 40, .z = 40, .y = -8});
        r1.sectors[6][3].roomBeside = 2;  // the right border column
        r1.sectors[2][2].roomAbove = 3;
        r1.sectors[3][2].roomAbove = 75;  // never listed as a neighbour
        r1.sectors[4][3].roomBelow = 4;
        r1.sectors[4][3].floorSplit = 1;
        Project.neighbourRoom = 0;
        for (int n = 1; n <= 4; ++n) form->ListBox4->AddItem(Project.rooms[n].name.str());
    }
    void ChooseRoom(int n) { ChooseLine(form->ListBox4, n - 1); }
    // A press on the room map at a point of the map picture.
    void ClickMap(int px, int py, Qt::MouseButton button, Qt::KeyboardModifiers keys = {})
    {
        const QPoint at(px - MapView->HorzScrollBar->Position(), py - MapView->VertScrollBar->Position());
        QTest::mousePress(form->GR_Image1, button, keys, at);
        QTest::mouseRelease(form->GR_Image1, button, keys, at);
        QCoreApplication::processEvents();
    }
    TColor MapAt(int x, int y) const { return MapDIB->Bitmap().GetPixel(x, y); }
};

TEST_F(WindowViews, ChoosingARoomDrawsTheMapTheGridAndThe3DView)
{
    StartWithRooms();
    form->RadioButton2->SetChecked(true);  // the room grid beside the 3D view
    ChooseRoom(1);
    EXPECT_EQ(std::tuple(int(Project.currentRoom), Scene->RoomOfInterest), std::tuple(1, 1));
    // y 0 is shown at the spin edit's lower limit.
    EXPECT_EQ((std::tuple{form->SpinEdit8->Value(), form->SpinEdit9->Value(), form->SpinEdit10->Value()}),
              (std::tuple{10, 1, 20}));
    // The map: room 1 red (current), rooms 2 and 3 cyan, the door of room 1 yellow (x = X + W - 1, row 3).
    EXPECT_EQ(MapAt(110, 959), As565(MAP_CURRENT_COLOUR));
    EXPECT_EQ(MapAt(160, 959), As565(MAP_ROOM_COLOUR));
    EXPECT_EQ(MapAt(150, 975), As565(MAP_DOOR_COLOUR));
    // The grid of room 1: 6 x 5 sectors centred (cx 7, cz 8).
    const TBitmap& grid = GridDIB->Bitmap();
    auto cell = [&](int column, int row) { return grid.GetPixel((6 + column) * 10 + 4, 189 - (7 + row) * 10 + 5); };
    EXPECT_EQ(cell(1, 1), As565(GRID_SOLID_COLOUR));  // the wall ring
    EXPECT_EQ(cell(3, 3), As565(GRID_FLOOR_COLOUR));
    EXPECT_EQ(cell(6, 3), As565(GRID_SOLID_COLOUR));  // the door lies in the wall ring
    // Column 4, row 3: a room below with the floor split on its first
    // diagonal, option 0: the upper left half cyan, the rest black.
    EXPECT_EQ(grid.GetPixel(101, 91), As565(GRID_FLOOR_COLOUR));
    EXPECT_EQ(grid.GetPixel(108, 98), As565(GRID_PORTAL_COLOUR));
    // The 3D view: the box of room 1, moved to the origin, fills the view.
    const double got[] = {Viewport->MinX, Viewport->MaxX, Viewport->MinZ, Viewport->MaxZ,
                          Camera->X,      Camera->Y,      Camera->Z};
    const double want[] = {-3.0, 3.0, -2.5, 2.5, 0.0, 0.0, 2.5 + 5.0};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(got[i], want[i], 1e-6) << i;
    EXPECT_EQ(Scene->Dirty[0], 0);  // the scene built the current room
    EXPECT_GT(Scene->Buffers.Count(), 2);

    ChooseRoom(2);
    EXPECT_EQ(MapAt(110, 959), As565(MAP_ROOM_COLOUR));
    EXPECT_EQ(MapAt(160, 959), As565(MAP_CURRENT_COLOUR));
}

TEST_F(WindowViews, The3DPanelShowsTheRoomAndMouseDragsTurnIt)
{
    StartWithRooms();
    ChooseRoom(1);
    const int frames = form->Panel1->FrameCount();
    EXPECT_GT(frames, 0);
    const QImage shot = form->grab().toImage();
    const QRect panel =
        form->Panel1->geometry().translated(form->Surface->mapTo(form.get(), QPoint(0, 0))).intersected(shot.rect());
    ASSERT_GT(panel.width(), 400);
    // Not one colour: the room's faces stand out from the teal background.
    int differing = 0;
    for (int y = panel.top(); y <= panel.bottom(); y += 4)
        for (int x = panel.left(); x <= panel.right(); x += 4) differing += (shot.pixel(x, y) & 0xFFFFFF) != 0x008080;
    EXPECT_GT(differing, 100);

    QTest::mousePress(form->Panel1, Qt::RightButton, {}, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(150, 100), form->Panel1->mapToGlobal(QPointF(150, 100)), Qt::NoButton,
                     Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form->Panel1, &move);
    QTest::mouseRelease(form->Panel1, Qt::RightButton, {}, QPoint(150, 100));
    EXPECT_DOUBLE_EQ(Viewport->RotationY, 50.0);  // one radian
    EXPECT_GT(form->Panel1->FrameCount(), frames);
}

TEST_F(WindowViews, MapClicksPickRoomsAndNeighbours)
{
    StartWithRooms();
    ChooseRoom(4);
    Click(form->SpeedButton1);  // the 2D map
    ASSERT_TRUE(MapView->Visible);
    EXPECT_FALSE(form->Panel1->isVisible());
    // Rooms 1 and 3 cover the same sectors; 3 lies higher. Once current, a
    // click there keeps the current room; a wall sector belongs to no room.
    ClickMap(125, 975, Qt::LeftButton);
    EXPECT_EQ((std::tuple{int(Project.currentRoom), form->ListBox4->ItemIndex(), form->SpinEdit8->Value()}),
              (std::tuple{3, 2, 10}));
    ClickMap(125, 975, Qt::LeftButton);
    EXPECT_EQ(Project.currentRoom, 3);
    ChooseRoom(1);
    ClickMap(125, 975, Qt::LeftButton);
    ClickMap(105, 975, Qt::LeftButton);
    EXPECT_EQ(Project.currentRoom, 1);

    // A right click makes the neighbour room, through the neighbour spin edit.
    ClickMap(165, 975, Qt::RightButton);
    EXPECT_EQ((std::tuple{int(Project.neighbourRoom), form->SpinEdit11->Value(), int(Project.currentRoom)}),
              (std::tuple{2, 2, 1}));
    EXPECT_EQ(MapAt(160, 959), As565(MAP_NEIGHBOUR_COLOUR));
    // Shift and right button: more neighbours, the neighbour room kept.
    // Room 4 lies below y 0 and is no neighbour's key: it is not picked.
    ClickMap(125, 975, Qt::RightButton, Qt::ShiftModifier);
    ClickMap(415, 785, Qt::RightButton, Qt::ShiftModifier);
    ClickMap(165, 975, Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(form->Edit2->Text(), "3,2");
    EXPECT_EQ(Project.neighbourRoom, 2);

    // Shift and left button starts a rubber band that the next click ends.
    ClickMap(300, 900, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_TRUE(MapView->RubberBandActive);
    EXPECT_EQ(Project.currentRoom, 1);
    ClickMap(165, 975, Qt::LeftButton);
    EXPECT_FALSE(MapView->RubberBandActive);
    EXPECT_EQ(Project.currentRoom, 2);

    // Same Plane: room 3 sitting on room 2's top is left out, room 1 beside it drawn.
    AddRoom(Project, 3, {.x = 30, .z = 20, .y = 4});
    Click(form->SpeedButton43);
    EXPECT_NE(MapAt(310, 1200 - 210 - 21), As565(MAP_ROOM_COLOUR));
    EXPECT_EQ(MapAt(110, 959), As565(MAP_ROOM_COLOUR));
    Click(form->SpeedButton43);  // up: every room again
    EXPECT_EQ(MapAt(310, 1200 - 210 - 21), As565(MAP_ROOM_COLOUR));
}

TEST_F(WindowViews, NeighbourFiltersReachTheScene)
{
    StartWithRooms();
    ChooseRoom(1);
    // Column by column: room 3 above (column 2), room 4 below (column 4),
    // room 2 beside (column 6); the 75 above in column 3 is skipped.
    Click(form->RadioButton11);
    EXPECT_EQ(form->Edit2->Text() + " " + Scene->RoomFilter, "3,4,2 3,4,2,");
    EXPECT_EQ(form->Memo5->Lines(), (std::vector<std::string>{"3", "4", "2"}));
    Click(form->RadioButton12);
    EXPECT_EQ(Scene->RoomFilter, "all,");
    // Choosing a room clears the filter again and checks "Clear Text".
    ChooseRoom(4);
    EXPECT_TRUE(form->RadioButton6->Checked());
    EXPECT_EQ(std::tuple(form->Edit2->Text(), Scene->RoomFilter), std::tuple("", ","));
    Click(form->RadioButton11);  // a room without portals gives an empty filter
    EXPECT_EQ(Scene->RoomFilter, ",");
    form->Edit2->SetText("  5 ");
    Click(form->Button26);
    EXPECT_EQ(Scene->RoomFilter, "5,");

    // The neighbour spin edit redraws unless guarded.
    ChooseRoom(1);
    {
        TSpinGuardScope guard;
        form->SpinEdit11->SetValue(2);
    }
    EXPECT_EQ(Project.neighbourRoom, 0);
    form->SpinEdit11->SetValue(3);
    EXPECT_EQ(Project.neighbourRoom, 3);
    EXPECT_EQ(MapAt(110, 959), As565(MAP_CURRENT_COLOUR));  // drawn over the neighbour
}

TEST_F(WindowViews, ViewSwitchesAndModes)
{
    StartWithRooms();
    ChooseRoom(1);
    Click(form->SpeedButton44);
    Click(form->SpeedButton47);
    EXPECT_EQ((std::tuple{Scene->Textured, Scene->HideNeighbors}), (std::tuple{1, 1}));
    Click(form->SpeedButton44);
    EXPECT_EQ(Scene->Textured, 0);
    // "Hide Neighbors" down: choosing a room recentres through the centre button.
    ChooseRoom(2);
    EXPECT_DOUBLE_EQ(Viewport->MinX, -2.0);
    Click(form->SpeedButton47);
    EXPECT_EQ(Scene->HideNeighbors, 0);

    // With the map shown the viewport does not rebuild the scene.
    Click(form->SpeedButton1);
    Scene->SetDirty(0);
    Viewport->Rebuild();
    EXPECT_EQ(Scene->Dirty[0], 1);
    Click(form->SpeedButton1);  // up: the 3D panel returns and is rebuilt
    EXPECT_TRUE(form->Panel1->isVisible());
    EXPECT_FALSE(MapView->Visible);
    EXPECT_EQ(Scene->Dirty[0], 0);

    // The modes beside the 3D panel: its left and width, the texture panel
    // and the room grid, and the file the status bar names.
    form->resize(900, 600);
    QCoreApplication::processEvents();
    Project.texturesfilePath = "/levels/textures.bmp";
    Project.basefilePath = "/levels/base.tr4";
    ProjectFileName = "/levels/p.vel";
    const struct {
        TRadioButton* mode;
        int left, width;
        bool panelView;
        int gridWidth;
        const char* status;
    } modes[] = {
        {form->RadioButton1, 288, 600, true, 0, "/levels/textures.bmp"},  // Texture Panel
        {form->RadioButton2, 288, 600, false, 205, "/levels/base.tr4"},   // GridBox: still 300 narrower, not 600
        {form->RadioButton1, 288, 600, true, 0, "/levels/textures.bmp"},
        {form->RadioButton5, 0, 900, false, 0, "/levels/p.vel"},  // None
    };
    for (const auto& m : modes) {
        Click(m.mode);
        EXPECT_EQ((std::tuple{form->Panel1->x(), form->Panel1->width(), PanelView->Visible, form->GR_Image2->width()}),
                  (std::tuple{m.left, m.width, m.panelView, m.gridWidth}))
            << m.status;
        EXPECT_EQ(form->StatusText(0), m.status);
    }
    // The 2D map puts the side pictures away and brings back the mode's own.
    Click(form->RadioButton1);
    Click(form->SpeedButton1);
    EXPECT_FALSE(PanelView->Visible);
    Click(form->SpeedButton1);
    EXPECT_TRUE(PanelView->Visible);
}

TEST_F(WindowViews, TriggerAndAnimatedSetListsShowTheirEntries)
{
    StartWindow();
    form->ListBox4Click();  // with an empty room list the unused room 0 becomes current
    EXPECT_EQ(Project.currentRoom, 0);
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
    ChooseLine(form->ListBox5, 0);
    EXPECT_EQ((std::tuple{form->ComboBox3->ItemIndex(), form->SpinEdit3->Value(), form->CheckBox1->Checked()}),
              (std::tuple{4, -5, true}));
    std::string down;
    for (TSpeedButton* b : {form->SpeedButton27, form->SpeedButton28, form->SpeedButton29, form->SpeedButton30,
                            form->SpeedButton31, form->SpeedButton98})
        down += b->Down() ? "1" : "0";
    EXPECT_EQ(down, "100101");
    EXPECT_EQ(form->StatusText(1), "TRigger Item:<12>");
    ChooseLine(form->ListBox5, 1);
    EXPECT_EQ(form->ComboBox3->ItemIndex(), -1);

    Project.animSetCount = 2;
    Project.animSets[2].frameCount = 3;
    Project.animSets[2].frames[1].mode = 2;
    form->ListBox8->AddItem("Animated Set #1");
    form->ListBox8->AddItem("Animated Set #2");
    ChooseLine(form->ListBox8, 1);
    EXPECT_EQ(Lines(form->ListBox9), (std::vector<std::string>{"Frame #1", "Frame #2", "Frame #3"}));
    EXPECT_EQ((std::pair{form->ListBox9->ItemIndex(), form->ComboBox2->ItemIndex()}), (std::pair{0, 0}));
    ChooseLine(form->ListBox9, 1);
    EXPECT_EQ(form->ComboBox2->ItemIndex(), 2);
    // A damaged frame count lists no more frames than a set holds.
    Project.animSets[1].frameCount = 500;
    ChooseLine(form->ListBox8, 0);
    EXPECT_EQ(form->ListBox9->Count(), ANIM_SET_FRAMES);
    EXPECT_TRUE(sink.exceptions.empty());
}

}  // namespace
