// The 2D room map and the room grid: geometry, colours, drawing order and
// the click rules with their tie-breaks.
#include <gtest/gtest.h>

#include "editor/room_map.h"
#include "platform/gdi/canvas.h"

namespace {

// Gives project room n a position, size and height with a fresh grid.
tcuarto& AddRoom(tcuarto_list& p, int n, int x, int z, int y, int columns, int rows, int height = 4)
{
    if (p.rooms.size() < static_cast<std::size_t>(n + 1)) p.rooms.resize(n + 1);
    if (p.roomCount < n) p.roomCount = static_cast<uint8_t>(n);
    tcuarto& r = p.rooms[n];
    r.x = x;
    r.z = z;
    r.y = y;
    r.columns = static_cast<uint16_t>(columns);
    r.rows = static_cast<uint16_t>(rows);
    r.height = static_cast<uint16_t>(height);
    r.sectors.Resize(columns + 1, rows + 1);
    return r;
}

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

// Pixels compared after the 16-bit round trip.
TColor Px(const TBitmap& b, int x, int y) { return b.GetPixel(x, y); }
TColor As16(TColor c)
{
    Picture one(1, c);
    return one.GetPixel(0, 0);
}

TEST(RoomMap, OutlineFollowsTheRoomsInnerSectors)
{
    tcuarto_list p;
    AddRoom(p, 1, 10, 20, 0, 6, 5);
    Picture map(MAP_SIZE, clBlack);
    map.Canvas().Brush.Color = MAP_ROOM_COLOUR;
    DrawRoomOutline(p, 1, map.Canvas(), false);
    const TColor cyan = As16(MAP_ROOM_COLOUR);
    // Framed from (110, 959) to (151, 990): pixels 110..150 and 959..989.
    EXPECT_EQ(Px(map, 110, 959), cyan);
    EXPECT_EQ(Px(map, 150, 959), cyan);
    EXPECT_EQ(Px(map, 110, 989), cyan);
    EXPECT_EQ(Px(map, 150, 989), cyan);
    EXPECT_EQ(Px(map, 130, 959), cyan);
    EXPECT_EQ(Px(map, 130, 970), 0u);  // inside stays open
    EXPECT_EQ(Px(map, 151, 970), 0u);
    EXPECT_EQ(Px(map, 110, 990), 0u);
    EXPECT_EQ(Px(map, 109, 970), 0u);
}

TEST(RoomMap, TwoSectorRoomDrawsAOnePixelFrame)
{
    tcuarto_list p;
    AddRoom(p, 1, 0, 0, 0, 2, 2);
    Picture map(MAP_SIZE, clBlack);
    map.Canvas().Brush.Color = MAP_ROOM_COLOUR;
    DrawRoomOutline(p, 1, map.Canvas(), false);
    EXPECT_EQ(Px(map, 10, 1189), As16(MAP_ROOM_COLOUR));
    EXPECT_EQ(Px(map, 11, 1189), 0u);
    EXPECT_EQ(Px(map, 10, 1188), 0u);
}

TEST(RoomMap, DoorLinesMarkBorderSectorsWithARoomBeside)
{
    tcuarto_list p;
    tcuarto& r = AddRoom(p, 1, 10, 20, 0, 6, 5);
    r.sectors[1][3].roomBeside = 2;  // left edge, row 3
    r.sectors[4][5].roomBeside = 2;  // top edge, column 4
    Picture map(MAP_SIZE, clBlack);
    map.Canvas().Brush.Color = MAP_CURRENT_COLOUR;
    DrawRoomOutline(p, 1, map.Canvas(), true);
    const TColor yellow = As16(MAP_DOOR_COLOUR);
    // Row 3: from (110, 990 - 1 - 20) down to (110, 990 + 9 - 20), end excluded.
    EXPECT_EQ(Px(map, 110, 969), yellow);
    EXPECT_EQ(Px(map, 110, 978), yellow);
    EXPECT_EQ(Px(map, 110, 979), As16(MAP_CURRENT_COLOUR));
    // Column 4 on the last row: y = Y - L = 959, x from 110 - 9 + 30 to 110 + 1 + 30.
    EXPECT_EQ(Px(map, 131, 959), yellow);
    EXPECT_EQ(Px(map, 140, 959), yellow);
    EXPECT_EQ(Px(map, 141, 959), As16(MAP_CURRENT_COLOUR));
    EXPECT_EQ(map.Canvas().Pen.Color, clBlack);
}

TEST(RoomMap, RoomsAreDrawnInOrderWithTheCurrentRoomLast)
{
    tcuarto_list p;
    AddRoom(p, 1, 10, 20, 0, 6, 5);
    AddRoom(p, 2, 10, 20, 0, 6, 5);  // the same place as room 1
    AddRoom(p, 3, 30, 20, 0, 4, 4);
    p.currentRoom = 2;
    p.neighbourRoom = 1;
    Picture back(MAP_SIZE, clBlack), map(MAP_SIZE, clWhite), cache(MAP_SIZE, clWhite);
    DrawMapRooms(p, false, {back.Canvas(), map.Canvas(), cache.Canvas()});
    EXPECT_EQ(Px(map, 110, 959), As16(MAP_CURRENT_COLOUR));
    EXPECT_EQ(Px(map, 310, 1200 - 210 - 21), As16(MAP_ROOM_COLOUR));
    // The cache holds the other rooms only.
    EXPECT_EQ(Px(cache, 110, 959), 0u);
    EXPECT_EQ(Px(cache, 310, 1200 - 210 - 21), As16(MAP_ROOM_COLOUR));
    // The copies leave the last row and column as they were.
    EXPECT_EQ(Px(map, MAP_SIZE - 1, 500), As16(clWhite));

    // A new neighbour over the cache: room 1 no longer shows the current colour.
    p.currentRoom = 3;
    p.neighbourRoom = 0;
    DrawMapSelection(p, {back.Canvas(), map.Canvas(), cache.Canvas()});
    EXPECT_EQ(Px(map, 110, 959), 0u);
    EXPECT_EQ(Px(map, 310, 1200 - 210 - 21), As16(MAP_CURRENT_COLOUR));
}

TEST(RoomMap, SamePlaneLeavesOutRoomsThatOnlyTouchOrMissTheCurrentSpan)
{
    tcuarto_list p;
    AddRoom(p, 1, 10, 10, 4, 4, 4, 4);   // current: y 4 .. 8
    AddRoom(p, 2, 20, 10, 8, 4, 4, 2);   // starts at the current top: out
    AddRoom(p, 3, 30, 10, 0, 4, 4, 4);   // ends at the current bottom: out
    AddRoom(p, 4, 40, 10, 7, 4, 4, 5);   // overlaps
    AddRoom(p, 5, 50, 10, 20, 4, 4, 2);  // far above: out
    p.currentRoom = 1;
    EXPECT_FALSE(SamePlaneRemoves(p, 1));
    EXPECT_TRUE(SamePlaneRemoves(p, 2));
    EXPECT_TRUE(SamePlaneRemoves(p, 3));
    EXPECT_FALSE(SamePlaneRemoves(p, 4));
    EXPECT_TRUE(SamePlaneRemoves(p, 5));

    Picture back(MAP_SIZE, clBlack), map(MAP_SIZE, clBlack), cache(MAP_SIZE, clBlack);
    DrawMapRooms(p, true, {back.Canvas(), map.Canvas(), cache.Canvas()});
    const int top = 1200 - 110 - 21;
    EXPECT_EQ(Px(map, 210, top), 0u);
    EXPECT_EQ(Px(map, 410, top), As16(MAP_ROOM_COLOUR));
    EXPECT_EQ(Px(map, 510, top), 0u);
    DrawMapRooms(p, false, {back.Canvas(), map.Canvas(), cache.Canvas()});
    EXPECT_EQ(Px(map, 210, top), As16(MAP_ROOM_COLOUR));
}

TEST(RoomMap, ClicksNameSectorsAndSkipWalls)
{
    tcuarto_list p;
    AddRoom(p, 1, 10, 20, 0, 6, 5);
    p.currentRoom = 1;
    EXPECT_EQ(MapColumnAt(125), 13);
    EXPECT_EQ(MapRowAt(975), 23);
    EXPECT_EQ(PickRoomAt(p, 125, 975, false, false), 1);
    EXPECT_EQ(PickRoomAt(p, 105, 975, false, false), 0);  // column 11: a wall
    EXPECT_EQ(PickRoomAt(p, 125, 995, false, false), 0);  // row 21: a wall
    tcuarto_list empty;
    EXPECT_EQ(PickRoomAt(empty, 125, 975, false, false), 0);
}

TEST(RoomMap, OverlappingRoomsPickTheHighestThenTheLowerNumberUnlessTheKeyRoomHoldsThePoint)
{
    tcuarto_list p;
    AddRoom(p, 1, 10, 20, 2, 6, 5);
    AddRoom(p, 2, 10, 20, 5, 6, 5);
    AddRoom(p, 3, 10, 20, 5, 6, 5);
    AddRoom(p, 4, 10, 20, -3, 6, 5);
    AddRoom(p, 5, 40, 40, 0, 4, 4);
    p.currentRoom = 5;
    p.neighbourRoom = 0;
    EXPECT_EQ(PickRoomAt(p, 125, 975, false, false), 2);  // highest, lower number on the tie
    p.currentRoom = 1;
    EXPECT_EQ(PickRoomAt(p, 125, 975, false, false), 1);  // the current room stays
    p.neighbourRoom = 4;
    EXPECT_EQ(PickRoomAt(p, 125, 975, true, false), 4);   // right click: the neighbour is the key
    p.neighbourRoom = 0;
    EXPECT_EQ(PickRoomAt(p, 125, 975, true, false), 2);

    // A room below y 0 is picked only as the key room.
    tcuarto_list low;
    AddRoom(low, 1, 10, 20, -2, 6, 5);
    AddRoom(low, 2, 40, 40, 0, 4, 4);
    low.currentRoom = 2;
    EXPECT_EQ(PickRoomAt(low, 125, 975, false, false), 0);
    low.currentRoom = 1;
    EXPECT_EQ(PickRoomAt(low, 125, 975, false, false), 1);
}

TEST(RoomMap, SamePlaneRoomsCannotBeClicked)
{
    tcuarto_list p;
    AddRoom(p, 1, 40, 40, 0, 4, 4, 4);
    AddRoom(p, 2, 10, 20, 10, 6, 5, 2);  // entirely above the current room
    p.currentRoom = 1;
    EXPECT_EQ(PickRoomAt(p, 125, 975, false, true), 0);
    EXPECT_EQ(PickRoomAt(p, 125, 975, false, false), 2);
}

TEST(RoomGrid, CellsShowSolidPortalAndFloorSectors)
{
    tcuarto_list p;
    tcuarto& r = AddRoom(p, 1, 0, 0, 0, 4, 4, 3);
    p.currentRoom = 1;
    r.sectors[2][2].floorBase = 3;     // equal to the room height: solid
    r.sectors[3][2].roomBeside = 4;    // a portal
    r.sectors[2][3].ceilingBase = 5;   // solid by its ceiling
    Picture grid(GRID_SIZE, clWhite), back(GRID_SIZE, 0x102030);
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());
    // cx = cz = 8; cell (k, r) spans x (8 + k) * 10 - 1 .. + 10 and y 189 - (8 + r) * 10 .. + 10.
    auto inside = [&](int k, int row) { return Px(grid, (8 + k) * 10 + 4, 189 - (8 + row) * 10 + 5); };
    EXPECT_EQ(inside(1, 1), As16(GRID_SOLID_COLOUR));
    EXPECT_EQ(inside(2, 1), As16(GRID_PORTAL_COLOUR));
    EXPECT_EQ(inside(1, 2), As16(GRID_SOLID_COLOUR));
    EXPECT_EQ(inside(2, 2), As16(GRID_FLOOR_COLOUR));
    EXPECT_EQ(Px(grid, 79, 109), 0u);  // the cell's outline in the black pen
    EXPECT_EQ(Px(grid, 10, 10), As16(0x102030));  // background outside the room
    // Row 1 is the lowest row of cells.
    EXPECT_GT(189 - 8 * 10, 189 - 9 * 10);
}

TEST(RoomGrid, SplitFloorsWithARoomBelowFillOneHalf)
{
    tcuarto_list p;
    tcuarto& r = AddRoom(p, 1, 0, 0, 0, 4, 4, 3);
    p.currentRoom = 1;
    tsector& s = r.sectors[2][2];
    s.roomBelow = 7;   // black cell
    s.floorSplit = 1;
    s.floorOption = 1;  // the lower right half turns cyan
    Picture grid(GRID_SIZE, clWhite), back(GRID_SIZE, clWhite);
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());
    // Cell k = 1, row 1: x 89 .. 99, y 99 .. 109.
    EXPECT_EQ(Px(grid, 96, 106), As16(GRID_FLOOR_COLOUR));  // lower right
    EXPECT_EQ(Px(grid, 91, 101), As16(GRID_PORTAL_COLOUR));  // upper left stays black
    s.floorOption = 0;
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());
    EXPECT_EQ(Px(grid, 91, 101), As16(GRID_FLOOR_COLOUR));
    EXPECT_EQ(Px(grid, 97, 107), As16(GRID_PORTAL_COLOUR));
}

TEST(RoomGrid, NothingIsDrawnWithoutRoomsOrForARoomWithoutItsSectors)
{
    tcuarto_list p;
    p.rooms.resize(2);
    Picture grid(GRID_SIZE, clWhite), back(GRID_SIZE, clBlack);
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());
    EXPECT_EQ(Px(grid, 50, 50), As16(clWhite));
    // A room whose grid is smaller than its size draws only the sectors it has.
    tcuarto& r = AddRoom(p, 1, 0, 0, 0, 4, 4, 3);
    r.sectors.Resize(2, 2);
    p.currentRoom = 1;
    DrawRoomGrid(p, grid.Canvas(), back.Canvas());
    EXPECT_EQ(Px(grid, 84, 114), As16(GRID_FLOOR_COLOUR));  // sector (1, 1)
}

TEST(RoomMap, ScrollPositionsCentreTheRoom)
{
    tcuarto r;
    r.x = 12;
    r.z = 30;
    EXPECT_EQ(MapScrollX(r), 40);
    EXPECT_EQ(MapScrollY(r, 302), 1200 - 302 - 168);
}

}  // namespace
