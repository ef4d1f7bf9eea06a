#include "editor/room_map.h"

#include <algorithm>

namespace {

bool ValidRoom(const tcuarto_list& project, int room)
{
    return room >= 1 && room <= project.roomCount && static_cast<std::size_t>(room) < project.rooms.size();
}

void Line(TCanvas& c, int x1, int y1, int x2, int y2)
{
    c.MoveTo(x1, y1);
    c.LineTo(x2, y2);
}

}  // namespace

const tsector* RoomSector(const tcuarto& room, int column, int row)
{
    if (column < 0 || row < 0 || column >= room.sectors.ColumnSlots() || row >= room.sectors.RowSlots()) return nullptr;
    return &room.sectors[column][row];
}

bool SamePlaneRemoves(const tcuarto_list& project, int room)
{
    const int current = project.currentRoom;
    if (room == current || !ValidRoom(project, current) || !ValidRoom(project, room)) return false;
    const tcuarto& c = project.rooms[current];
    const tcuarto& r = project.rooms[room];
    return r.y >= c.y + c.height || r.y + r.height <= c.y;
}

void DrawMapBackground(TCanvas& back, const TGraphic& tile)
{
    for (int x = 0; x <= MAP_SIZE; x += 100)
        for (int y = 0; y <= MAP_SIZE; y += 100) back.Draw(x, y, tile);
    const int w = back.Bitmap().Width(), h = back.Bitmap().Height();
    const TPen keep = back.Pen;
    back.Pen.Color = MAP_BORDER_COLOUR;
    back.Pen.Width = 18;
    const TPoint border[5] = {{0, 0}, {w, 0}, {w, h}, {0, h}, {0, 0}};
    back.Polyline(border);
    back.Pen = keep;
}

void TileGridBitmap(TCanvas& grid, const TGraphic& tile)
{
    for (int x = 0; x <= 100; x += 100)
        for (int y = 0; y <= 100; y += 100) grid.Draw(x, y, tile);
}

void DrawRoomOutline(const tcuarto_list& project, int room, TCanvas& target, bool highlighted)
{
    if (project.roomCount == 0 || !ValidRoom(project, room)) return;
    const tcuarto& r = project.rooms[room];
    const int X = (r.x + 1) * 10;
    const int Y = MAP_SIZE - (r.z + 1) * 10;
    const int W = (r.columns - 2) * 10 + 1;
    const int L = (r.rows - 2) * 10 + 1;

    target.FrameRect(Rect(X, Y - L, X + W, Y));
    target.Pen.Color = highlighted ? MAP_DOOR_COLOUR : target.Brush.Color;

    for (int row = 1; row <= r.rows; ++row) {
        const int y1 = Y - 1 - 10 * (row - 1), y2 = Y + 9 - 10 * (row - 1);
        const tsector* first = RoomSector(r, 1, row);
        const tsector* last = RoomSector(r, r.columns, row);
        if (first && first->roomBeside != 0) Line(target, X, y1, X, y2);
        if (last && last->roomBeside != 0) Line(target, X + W - 1, y1, X + W - 1, y2);
    }
    for (int column = 1; column <= r.columns; ++column) {
        const int x1 = X - 9 + 10 * (column - 1), x2 = X + 1 + 10 * (column - 1);
        const tsector* first = RoomSector(r, column, 1);
        const tsector* last = RoomSector(r, column, r.rows);
        if (first && first->roomBeside != 0) Line(target, x1, Y - 1, x2, Y - 1);
        if (last && last->roomBeside != 0) Line(target, x1, Y - L, x2, Y - L);
    }
    target.Pen.Color = clBlack;
}

void CopyPicture(TCanvas& dest, const TCanvas& source)
{
    BitBlt(dest, 0, 0, source.Bitmap().Width() - 1, source.Bitmap().Height() - 1, source, 0, 0);
}

namespace {

void DrawSelectedRooms(const tcuarto_list& project, TCanvas& map)
{
    map.Brush.Color = MAP_NEIGHBOUR_COLOUR;
    DrawRoomOutline(project, project.neighbourRoom, map, true);
    map.Brush.Color = MAP_CURRENT_COLOUR;
    DrawRoomOutline(project, project.currentRoom, map, true);
}

}  // namespace

void DrawMapRooms(const tcuarto_list& project, bool samePlane, const TMapPictures& pictures)
{
    if (project.roomCount == 0) return;
    CopyPicture(pictures.map, pictures.back);
    pictures.map.Brush.Color = MAP_ROOM_COLOUR;
    for (int n = 1; n <= project.roomCount; ++n) {
        if (n == project.currentRoom || n == project.neighbourRoom) continue;
        if (samePlane && SamePlaneRemoves(project, n)) continue;
        DrawRoomOutline(project, n, pictures.map, false);
    }
    CopyPicture(pictures.cache, pictures.map);
    DrawSelectedRooms(project, pictures.map);
}

void DrawMapSelection(const tcuarto_list& project, const TMapPictures& pictures)
{
    if (project.roomCount == 0) return;
    CopyPicture(pictures.map, pictures.cache);
    DrawSelectedRooms(project, pictures.map);
}

void DrawRoomGrid(const tcuarto_list& project, TCanvas& target, const TCanvas& gridBack)
{
    if (project.roomCount == 0 || !ValidRoom(project, project.currentRoom)) return;
    const tcuarto& room = project.rooms[project.currentRoom];
    const int cx = 10 - room.columns / 2;
    const int cz = 10 - room.rows / 2;

    CopyPicture(target, gridBack);
    target.Brush.Style = bsSolid;
    for (int r = 0; r < room.rows; ++r) {
        for (int k = 0; k < room.columns; ++k) {
            const tsector* s = RoomSector(room, k + 1, r + 1);
            if (!s) continue;
            const int x1 = (cx + k) * 10 - 1, y1 = 189 - (cz + r) * 10;
            const int x2 = (cx + k) * 10 + 10, y2 = 200 - (cz + r) * 10;
            if (s->floorBase >= static_cast<int>(room.height) || s->ceilingBase >= static_cast<int>(room.height))
                target.Brush.Color = GRID_SOLID_COLOUR;
            else if (s->roomBeside != 0 || s->roomBelow != 0) target.Brush.Color = GRID_PORTAL_COLOUR;
            else target.Brush.Color = GRID_FLOOR_COLOUR;
            target.Rectangle(x1, y1, x2, y2);

            target.Brush.Color = GRID_FLOOR_COLOUR;
            if (s->roomBelow == 0 || (s->floorSplit != 1 && s->floorSplit != 2)) continue;
            TPoint tri[3];
            if (s->floorSplit == 1 && s->floorOption == 1)
                tri[0] = {x1 - 1, y2 - 1}, tri[1] = {x2 - 1, y1 - 1}, tri[2] = {x2 - 1, y2 - 1};
            else if (s->floorSplit == 1 && s->floorOption == 0) tri[0] = {x1, y2}, tri[1] = {x2, y1}, tri[2] = {x1, y1};
            else if (s->floorSplit == 2 && s->floorOption == 1)
                tri[0] = {x1 - 1, y1}, tri[1] = {x2 - 1, y2}, tri[2] = {x2 - 1, y1};
            else if (s->floorSplit == 2 && s->floorOption == 0)
                tri[0] = {x1, y1 - 1}, tri[1] = {x2, y2 - 1}, tri[2] = {x1, y2 - 1};
            else continue;  // an option byte other than 0 or 1 chooses no half
            target.Polygon(tri);
        }
    }
}

int MapColumnAt(int px) { return px / MAP_SECTOR_PIXELS + 1; }
int MapRowAt(int py) { return (MAP_SIZE - py) / MAP_SECTOR_PIXELS + 1; }

int PickRoomAt(const tcuarto_list& project, int px, int py, bool rightButton, bool samePlane)
{
    if (project.roomCount == 0) return 0;
    const int column = MapColumnAt(px), row = MapRowAt(py);
    const int key = rightButton ? project.neighbourRoom : project.currentRoom;
    int best = 0;
    int bestY = -1;
    bool keyTaken = false;
    for (int n = 1; n <= project.roomCount && static_cast<std::size_t>(n) < project.rooms.size(); ++n) {
        if (samePlane && SamePlaneRemoves(project, n)) continue;
        const tcuarto& r = project.rooms[n];
        const bool holds =
            r.x + 2 <= column && column <= r.x + r.columns - 1 && r.z + 2 <= row && row <= r.z + r.rows - 1;
        if (!holds || keyTaken) continue;
        if (n == key) {
            best = n;
            keyTaken = true;
        } else if (r.y > bestY) {
            best = n;
            bestY = r.y;
        }
    }
    return best;
}

int MapScrollX(const tcuarto& room) { return (room.x - 2) * 4; }
int MapScrollY(const tcuarto& room, int viewHeight) { return (MAP_SIZE - viewHeight) - (room.z - 2) * 6; }
