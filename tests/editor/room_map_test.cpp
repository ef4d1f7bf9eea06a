// The 2D room map and the room grid: geometry, colours, drawing order and
// the click rules with their tie-breaks.
#include "editor/room_map.h"
#include "editor_fixture.h"
#include "platform/gdi/canvas.h"

namespace {

// A 16-bit picture, as the 2D views use, filled with one colour.
struct Picture : TBitmap {
    Picture(int size, TColor fill)
    {
        SetPixelFormat(pf16bit);
        SetSize(size, size);
        Canvas().Brush.Color = fill;
        Canvas().FillRect(Rect(0, 0, size, size));
    }
};

TEST(RoomMap, OutlinesFrameTheInnerSectorsAndMarkDoors)
{
    tcuarto_list p;
    tcuarto& r = AddRoom(p, 1, {.x = 10, .z = 20, .columns = 6, .rows = 5});
    r.sectors[1][3].roomBeside = 2;  // left edge, row 3
    r.sectors[4][5].roomBeside = 2;  // top edge, column 4
    AddRoom(p, 2, {.columns = 2, .rows = 2});
    Picture map(MAP_SIZE, clBlack);
    map.Canvas().Brush.Color = MAP_CURRENT_COLOUR;
    DrawRoomOutline(p, 1, map.Canvas(), true);
    DrawRoomOutline(p, 2, map.Canvas(), false);
    EXPECT_EQ(map.Canvas().Pen.Color, clBlack);
    const TColor frame = As565(MAP_CURRENT_COLOUR), door = As565(MAP_DOOR_COLOUR);
    // Room 1 is framed from (110, 959) to (151, 990); the door of row 3 runs
    // from y 990 - 1 - 20 to 990 + 9 - 20 (end excluded), that of column 4 on
    // the last row from x 110 - 9 + 30 to 110 + 1 + 30. Room 2 of two sectors
    // each way is a frame one pixel wide.
    const std::tuple<int, int, TColor> pixels[] = {
        {110, 959, frame}, {150, 959, frame}, {110, 989, frame}, {150, 989, frame}, {130, 959, frame},
        {130, 970, 0},     {151, 970, 0},     {110, 990, 0},     {109, 970, 0},     {110, 969, door},
        {110, 978, door},  {110, 979, frame}, {131, 959, door},  {140, 959, door},  {141, 959, frame},
        {10, 1189, frame}, {11, 1189, 0},     {10, 1188, 0}};
    for (auto [x, y, colour] : pixels) EXPECT_EQ(map.GetPixel(x, y), colour) << x << "," << y;
}

TEST(RoomMap, RoomsAreDrawnInOrderWithTheCurrentRoomLastAndTheOthersCached)
{
    tcuarto_list p;
    AddRoom(p, 1, {.x = 10, .z = 20, .columns = 6, .rows = 5});
    AddRoom(p, 2, {.x = 10, .z = 20, .columns = 6, .rows = 5});  // the same place as room 1
    AddRoom(p, 3, {.x = 30, .z = 20});
    p.currentRoom = 2;
    p.neighbourRoom = 1;
    Picture back(MAP_SIZE, clBlack), map(MAP_SIZE, clWhite), cache(MAP_SIZE, clWhite);
    DrawMapRooms(p, false, {back.Canvas(), map.Canvas(), cache.Canvas()});
    const TColor current = As565(MAP_CURRENT_COLOUR), room = As565(MAP_ROOM_COLOUR);
    EXPECT_EQ(map.GetPixel(110, 959), current);
    EXPECT_EQ(map.GetPixel(310, 969), room);
    EXPECT_EQ(cache.GetPixel(110, 959), 0u);  // the cache holds the other rooms only
    EXPECT_EQ(cache.GetPixel(310, 969), room);
    EXPECT_EQ(map.GetPixel(MAP_SIZE - 1, 500), As565(clWhite));  // copies leave the last row and column
    // A new selection over the cache: room 1 no longer shows the current colour.
    p.currentRoom = 3;
    p.neighbourRoom = 0;
    DrawMapSelection(p, {back.Canvas(), map.Canvas(), cache.Canvas()});
    EXPECT_EQ(map.GetPixel(110, 959), 0u);
    EXPECT_EQ(map.GetPixel(310, 969), current);
}

TEST(RoomMap, SamePlaneLeavesOutRoomsThatOnlyTouchOrMissTheCurrentSpan)
{
    tcuarto_list p;
    AddRoom(p, 1, {.x = 10, .z = 10, .y = 4});  // current: y 4 .. 8
    p.currentRoom = 1;
    const struct {
        int y, height;
        bool removed;
    } rooms[] = {{8, 2, true}, {0, 4, true}, {7, 5, false}, {20, 2, true}, {3, 2, false}};
    for (int n = 2; n <= 6; ++n)
        AddRoom(p, n, {.x = 10 * n, .z = 10, .y = rooms[n - 2].y, .height = rooms[n - 2].height});
    EXPECT_FALSE(SamePlaneRemoves(p, 1));
    for (int n = 2; n <= 6; ++n) EXPECT_EQ(SamePlaneRemoves(p, n), rooms[n - 2].removed) << n;
    Picture back(MAP_SIZE, clBlack), map(MAP_SIZE, clBlack), cache(MAP_SIZE, clBlack);
    DrawMapRooms(p, true, {back.Canvas(), map.Canvas(), cache.Canvas()});
    EXPECT_EQ(map.GetPixel(210, 1069), 0u);
    EXPECT_EQ(map.GetPixel(410, 1069), As565(MAP_ROOM_COLOUR));
    DrawMapRooms(p, false, {back.Canvas(), map.Canvas(), cache.Canvas()});
    EXPECT_EQ(map.GetPixel(210, 1069), As565(MAP_ROOM_COLOUR));
}

TEST(RoomMap, ClicksPickTheHighestRoomUnlessTheKeyRoomHoldsThePoint)
{
    tcuarto_list p;
    EXPECT_EQ(PickRoomAt(p, 125, 975, false, false), 0);
    AddRoom(p, 1, {.x = 10, .z = 20, .y = 2, .columns = 6, .rows = 5});
    AddRoom(p, 2, {.x = 10, .z = 20, .y = 5, .columns = 6, .rows = 5});
    AddRoom(p, 3, {.x = 10, .z = 20, .y = 5, .columns = 6, .rows = 5});
    AddRoom(p, 4, {.x = 10, .z = 20, .y = -3, .columns = 6, .rows = 5});
    AddRoom(p, 5, {.x = 40, .z = 40});
    AddRoom(p, 6, {.x = 40, .z = 10, .y = -2});
    // Map pixel (125, 975) names column 13, row 23: inside rooms 1 to 4;
    // (105, 975) and (125, 995) are in their wall columns and rows.
    EXPECT_EQ(MapColumnAt(125), 13);
    EXPECT_EQ(MapRowAt(975), 23);
    const struct {
        int current, neighbour, x, y;
        bool right, samePlane;
        int picked;
    } clicks[] = {
        {5, 0, 125, 975, false, false, 2},  // the highest, the lower number on a tie
        {1, 0, 125, 975, false, false, 1},  // the current room stays
        {5, 4, 125, 975, true, false, 4},   // right click: the neighbour is the key
        {5, 0, 125, 975, true, false, 2},   {5, 0, 105, 975, false, false, 0}, {5, 0, 125, 995, false, false, 0},
        {5, 0, 125, 975, false, true, 1},    // rooms 2 and 3 lie above room 5: not clickable
        {5, 0, 425, 1085, false, false, 0},  // a room below y 0 is picked only as the key room
        {6, 0, 425, 1085, false, false, 6},
    };
    for (const auto& c : clicks) {
        p.currentRoom = static_cast<uint8_t>(c.current);
        p.neighbourRoom = static_cast<uint8_t>(c.neighbour);
        EXPECT_EQ(PickRoomAt(p, c.x, c.y, c.right, c.samePlane), c.picked) << &c - clicks;
    }
}

TEST(RoomGrid, CellsShowSolidPortalFloorAndSplitSectors)
{
    tcuarto_list p;
    Picture grid(GRID_SIZE, clWhite), back(GRID_SIZE, 0x102030);
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());  // no rooms: nothing is drawn
    EXPECT_EQ(grid.GetPixel(50, 50), As565(clWhite));
    tcuarto& r = AddRoom(p, 1, {.height = 3});
    p.currentRoom = 1;
    r.sectors[2][2].floorBase = 3;    // equal to the room height: solid
    r.sectors[3][2].roomBeside = 4;   // a portal
    r.sectors[2][3].ceilingBase = 5;  // solid by its ceiling
    r.sectors[3][3].roomBelow = 7;    // split on the first diagonal: the lower right half floor
    r.sectors[3][3].floorSplit = 1;
    r.sectors[3][3].floorOption = 1;
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());
    // cx = cz = 8; cell (k, r) spans x (8 + k) * 10 - 1 .. + 10 and y 189 - (8 + r) * 10 .. + 10; row 1 lowest.
    auto inside = [&](int k, int row, int dx = 4, int dy = 5) {
        return grid.GetPixel((8 + k) * 10 + dx, 189 - (8 + row) * 10 + dy);
    };
    EXPECT_EQ(inside(1, 1), As565(GRID_SOLID_COLOUR));
    EXPECT_EQ(inside(2, 1), As565(GRID_PORTAL_COLOUR));
    EXPECT_EQ(inside(1, 2), As565(GRID_SOLID_COLOUR));
    EXPECT_EQ(inside(2, 2, 6, 7), As565(GRID_FLOOR_COLOUR));   // lower right
    EXPECT_EQ(inside(2, 2, 1, 2), As565(GRID_PORTAL_COLOUR));  // upper left stays black
    EXPECT_EQ(grid.GetPixel(79, 109), 0u);                     // the cells' outline in the black pen
    EXPECT_EQ(grid.GetPixel(10, 10), As565(0x102030));         // the background outside the room
    r.sectors[3][3].floorOption = 0;
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());
    EXPECT_EQ(inside(2, 2, 1, 2), As565(GRID_FLOOR_COLOUR));
    EXPECT_EQ(inside(2, 2, 7, 8), As565(GRID_PORTAL_COLOUR));
    // A room whose grid is smaller than its size draws only the sectors it has.
    r.sectors.Resize(2, 2);
    r.sectors[1][1].floorBase = 0;
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());
    EXPECT_EQ(grid.GetPixel(84, 114), As565(GRID_FLOOR_COLOUR));  // sector (1, 1)
}

}  // namespace
