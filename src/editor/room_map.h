// The two flat views of a project: the 2D room map, a top view of every
// room at 10 pixels per sector on a 1200 x 1200 picture, and the room grid,
// the current room's sectors on a 205 x 205 picture. Drawing and picking
// only; the window owns the pictures and their viewers.
#pragma once

#include "level/project_records.h"
#include "platform/gdi/canvas.h"

constexpr int MAP_SIZE = 1200;  // pixels along each side of the room map
constexpr int MAP_SECTOR_PIXELS = 10;
constexpr int GRID_SIZE = 205;  // pixels along each side of the room grid

// Colours, red in the low byte.
constexpr TColor MAP_ROOM_COLOUR = 0xFFFF00;       // cyan: every other room
constexpr TColor MAP_NEIGHBOUR_COLOUR = 0xF0CAA6;  // sky blue
constexpr TColor MAP_CURRENT_COLOUR = 0x0000FF;    // red
constexpr TColor MAP_DOOR_COLOUR = 0x00FFFF;       // yellow
constexpr TColor MAP_BORDER_COLOUR = 0x808080;
constexpr TColor GRID_SOLID_COLOUR = 0x808080;
constexpr TColor GRID_PORTAL_COLOUR = 0x000000;
constexpr TColor GRID_FLOOR_COLOUR = 0xFFFF00;

// The sector of a room, nullptr when the room's grid does not hold it.
const tsector* RoomSector(const tcuarto& room, int column, int row);

// True when the Same Plane filter leaves the room out: a room other than the
// current one whose vertical span does not overlap the current room's
// (touching counts as not overlapping). Without a valid current room
// nothing is left out.
bool SamePlaneRemoves(const tcuarto_list& project, int room);

// The map background: the tile drawn 13 x 13 times at steps of 100 and an
// 18-pixel grey border round the picture.
void DrawMapBackground(TCanvas& back, const TGraphic& tile);
// The grid background: the tile drawn 2 x 2 times at 0 and 100.
void TileGridBitmap(TCanvas& grid, const TGraphic& tile);

// Draws one room's outline in the canvas's brush colour and its door lines
// (yellow when highlighted, else the brush colour). Nothing for a room
// number outside 1 .. room count.
void DrawRoomOutline(const tcuarto_list& project, int room, TCanvas& target, bool highlighted);

// The three pictures of the map: its background, what is shown, and the
// background with every room but the current and the neighbour room.
struct TMapPictures {
    TCanvas& back;
    TCanvas& map;
    TCanvas& cache;
};

// Copies one picture onto another the way the 2D pictures copy: every
// column and row but the last one.
void CopyPicture(TCanvas& dest, const TCanvas& source);

// Redraws the whole map (nothing without rooms).
void DrawMapRooms(const tcuarto_list& project, bool samePlane, const TMapPictures& pictures);
// Redraws only the neighbour and the current room over the cache.
void DrawMapSelection(const tcuarto_list& project, const TMapPictures& pictures);

// Draws the current room's grid, starting from the grid background.
void DrawRoomGrid(const tcuarto_list& project, TCanvas& target, const TCanvas& gridBack);

// The sector column and row (world sectors, 1-based) a map pixel names.
int MapColumnAt(int px);
int MapRowAt(int py);

// The room a click at map pixel (px, py) picks, 0 for none. The key room
// (the neighbour room for a right click, the current room for a left click)
// wins when it holds the point; otherwise the highest room (largest y)
// holding it, the lower number on a tie, and only rooms with y of 0 or more.
// Walls (the outer ring of sectors) belong to no room.
int PickRoomAt(const tcuarto_list& project, int px, int py, bool rightButton, bool samePlane);

// The scroll positions that bring the current room into view: horizontal,
// then vertical for a map view of the given height.
int MapScrollX(const tcuarto& room);
int MapScrollY(const tcuarto& room, int viewHeight);
