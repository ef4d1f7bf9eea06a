// Room geometry: corner heights, colours, texture ids and which walls stand,
// decided sector by sector for the floor side and the ceiling side.
#include <algorithm>

#include "scene/scene.h"

namespace {

constexpr double STEEP = 3.75;  // a corner this high above its base makes a half or side steep

constexpr uint32_t WHITE = 0xFFFFFF;
constexpr uint32_t FLOOR_WALL = 0x3070FF;
constexpr uint32_t FLOOR_FACE = 0x3070F5;
constexpr uint32_t FLOOR_AT_TOP = 0x505099;
constexpr uint32_t CEILING_WALL = 0x5099FF;
constexpr uint32_t CEILING_FACE = 0x5094F5;
constexpr uint32_t FLAGGED_GREY = 0x808080;
constexpr uint32_t FACE_FLAG_LOW = 0xF0CAA6;
constexpr uint32_t FACE_FLAG_HIGH_DARK = 0x008000;
constexpr uint32_t FACE_FLAG_HIGH = 0x00FF00;
constexpr uint32_t DEATH = 0x000080;
constexpr uint32_t PORTAL = 0xFF00FF;
constexpr uint32_t SELECTED = 0x0000FF;
constexpr uint32_t MARKED = 0x00FFFF;

// Icon texture ids by pass, split mode and selector 1..4.
constexpr uint16_t FLOOR_ICONS[3][4] = {{6001, 6003, 6002, 6004}, {6007, 6008, 6005, 6006}, {6006, 6007, 6008, 6005}};
constexpr uint16_t CEILING_ICONS[3][4] = {{6002, 6003, 6001, 6004}, {6006, 6007, 6008, 6005}, {6007, 6008, 6005, 6006}};

// How each side meets its neighbour: the two corners of this sector along
// the side and the neighbour's corners facing them (indexes 0..3 for c1..c4),
// the corner that makes this side steep in split 1 and split 2, the
// neighbour's corner that makes its facing half steep in split 1 and 2, and
// where the neighbour lies.
struct TSideRule {
    int a, b;    // this sector's corners
    int ma, mb;  // the neighbour's corners paired with them
    int steep1, steep2;
    int nsteep1, nsteep2;
    int dcolumn, drow;
};
constexpr TSideRule SIDES[4] = {
    {0, 1, 3, 2, 1, 0, 3, 2, 0, -1},  // side 0, row - 1
    {3, 2, 0, 1, 3, 2, 1, 0, 0, 1},   // side 1, row + 1
    {0, 3, 1, 2, 3, 0, 1, 2, -1, 0},  // side 2, column - 1
    {1, 2, 0, 3, 1, 2, 3, 0, 1, 0},   // side 3, column + 1
};

// Whether the room's floor and ceiling meet (or cross) at every corner.
bool Closed(double roomHeight, const double floor[4], const double ceiling[4])
{
    for (int k = 0; k < 4; ++k)
        if (roomHeight - ceiling[k] > floor[k]) return false;
    return true;
}

void SetAll(tsector_faces& f, uint32_t color) { std::fill(std::begin(f.colors), std::end(f.colors), color); }

// Colour codes of the edit modes that mark sectors; they win over the others.
void EditModeColours(tsector_faces& f, const tsector& s, int editMode)
{
    const uint8_t indicator = s.indicator;
    const uint16_t word = s.indicatorWord;
    if (editMode == 1 && indicator) SetAll(f, SELECTED);
    if (editMode == 5) {
        if (indicator) SetAll(f, word == 0 ? SELECTED : MARKED);
        else if (word) SetAll(f, PORTAL);
    }
}

// The faces of one part (0 floor, 1 ceiling) before their colours: base,
// room height and corner heights, every slot with the solid texture, and
// the split textures on a split face with no room beyond it (A for the
// split mode splitA, B for the other).
tsector_faces NewFaces(int part, int base, double roomHeight, const double c[4], bool roomBeyond, int split, int splitA)
{
    tsector_faces f;
    f.part = uint8_t(part);
    f.base = base;
    f.roomHeight = float(roomHeight);
    for (int k = 0; k < 4; ++k) f.c[k] = float(c[k]);
    std::fill(std::begin(f.ids), std::end(f.ids), uint16_t(SOLID_TEXTURE));
    if (!roomBeyond && (split == 1 || split == 2))
        f.ids[4] = f.ids[5] = split == splitA ? SPLIT_TEXTURE_A : SPLIT_TEXTURE_B;
    return f;
}

// Flagged walls are grey.
void GreyFlaggedWalls(tsector_faces& f, const tsector& s)
{
    for (int side = 0; side < 4; ++side)
        if (s.wallFlags[side]) f.colors[side] = FLAGGED_GREY;
}

// Drops the walls of sector (i, j) that face no sector of the grid, that
// the neighbour hides (hidden(rule, neighbour) tells), or that stand on the
// grid's border beside a portal.
template <class FHidden>
void DropHiddenWalls(const tcuarto& room, int i, int j, tsector_faces& f, FHidden hidden)
{
    const int columns = DrawnColumns(room), rows = DrawnRows(room);
    for (int side = 0; side < 4; ++side) {
        const TSideRule& rule = SIDES[side];
        const int ni = i + rule.dcolumn, nj = j + rule.drow;
        if (ni < 1 || ni > columns || nj < 1 || nj > rows) {
            f.ids[side] = 0;
            continue;
        }
        const tsector& n = room.sectors[ni][nj];
        bool drop = hidden(rule, n);
        const bool onBorder = rule.drow != 0 ? (i == 1 || i == columns) : (j == 1 || j == rows);
        drop = drop || (onBorder && n.roomBeside != 0);
        if (drop) f.ids[side] = 0;
    }
}

// In edit mode 1 a marked sector shows an icon on its face (both halves of a
// split face): the unsplit selector or the split one picks it from the pass's
// table.
void ShowIcon(tsector_faces& f, const tsector& s, int split, int editMode, int floorIcon, int splitIcon,
              const uint16_t (&icons)[3][4])
{
    if (editMode == 1 && s.indicator && split >= 0 && split <= 2) {
        const int selector = split == 0 ? floorIcon : splitIcon;
        if (selector >= 1 && selector <= 4) {
            f.colors[4] = WHITE;
            f.ids[4] = icons[split][selector - 1];
            if (split != 0) f.ids[5] = f.ids[4];
        }
    }
}

}  // namespace

int DrawnColumns(const tcuarto& r) { return std::min(r.columns & 0xFF, r.sectors.ColumnSlots() - 1); }
int DrawnRows(const tcuarto& r) { return std::min(r.rows & 0xFF, r.sectors.RowSlots() - 1); }

void FloorCornerHeights(const tsector& s, double c[4])
{
    c[0] = c[1] = c[2] = c[3] = 0.0;
    SectorCornerHeights(s.floorSplit, s.floorBase, s.floorClicks, s.floorZFall, s.floorZRise, s.floorXFall,
                        s.floorXRise, c[0], c[1], c[2], c[3]);
}

void CeilingCornerHeights(const tsector& s, double c[4])
{
    c[0] = c[1] = c[2] = c[3] = 0.0;
    SectorCornerHeights(s.ceilingSplit, s.ceilingBase, s.ceilingClicks, s.ceilingZFall, s.ceilingZRise, s.ceilingXRise,
                        s.ceilingXFall, c[0], c[1], c[2], c[3]);
}

void SectorCornerHeights(int split, int base, int offset, int e1, int e2, int e3, int e4, double& c1, double& c2,
                         double& c3, double& c4)
{
    int s1, s2, s3, s4;
    switch (split) {
    case 0:
        s1 = e1 + offset + e3;
        s2 = e1 + offset + e4;
        s3 = e2 + offset + e4;
        s4 = e2 + offset + e3;
        break;
    case 1:
        s1 = e3 + offset;
        s2 = e2 + offset;
        s3 = e4 + offset;
        s4 = e1 + offset;
        break;
    case 2:
        s1 = e1 + offset;
        s2 = e4 + offset;
        s3 = e2 + offset;
        s4 = e3 + offset;
        break;
    default: return;
    }
    c1 = base + s1 * 0.25;
    c2 = base + s2 * 0.25;
    c3 = base + s3 * 0.25;
    c4 = base + s4 * 0.25;
}

void tr_scene::BuildRoomMesh(int room)
{
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    tpick_tag tag{};
    tag.kind = TAG_SECTOR_FACE;
    tag.room = uint8_t(room);
    const int columns = DrawnColumns(*r), rows = DrawnRows(*r);
    if (!HideFloors) {
        const double Y = r->y;
        for (int i = 1; i <= columns; ++i) {
            const double X = double(r->x) + (i - 1);
            for (int j = 1; j <= rows; ++j) FloorSector(*r, i, j, X, Y, -double(r->z) - (j - 1), tag);
        }
    }
    if (!HideCeilings) {
        const double Y = double(r->y) + r->height;
        tag.part = 1;
        for (int i = 1; i <= columns; ++i) {
            const double X = double(r->x) + (i - 1);
            for (int j = 1; j <= rows; ++j) CeilingSector(*r, i, j, X, Y, -double(r->z) - (j - 1), tag);
        }
    }
}

void tr_scene::FloorSector(const tcuarto& room, int i, int j, double X, double Y, double Z, tpick_tag tag)
{
    const tsector& s = room.sectors[i][j];
    const int split = s.floorSplit;
    const double H = room.height;
    const double h4 = H / 4;

    double c[4];
    FloorCornerHeights(s, c);
    tsector_faces f = NewFaces(0, s.floorBase, H, c, s.roomBelow != 0, split, 1);

    if (Textured) {
        SetAll(f, WHITE);
    } else {
        std::fill(f.colors, f.colors + 4, FLOOR_WALL);
        f.colors[4] = FLOOR_FACE;
        if (std::any_of(c, c + 4, [H](double v) { return v >= H; })) SetAll(f, FLOOR_AT_TOP);
    }
    GreyFlaggedWalls(f, s);
    const uint8_t faceFlags = s.faceFlags;
    if (faceFlags & 0x0F) f.colors[4] = FACE_FLAG_LOW;
    if (faceFlags & 0xF0) f.colors[4] = (faceFlags & 0x10) ? FACE_FLAG_HIGH_DARK : FACE_FLAG_HIGH;
    if (s.death) f.colors[4] = DEATH;
    if (s.roomBeside) SetAll(f, PORTAL);
    EditModeColours(f, s, EditMode);

    // Walls stand where the neighbour's floor is lower, and not where either
    // side's steep half already closes the gap.
    DropHiddenWalls(room, i, j, f, [&](const TSideRule& rule, const tsector& n) {
        double m[4];
        FloorCornerHeights(n, m);
        const int nsplit = n.floorSplit;
        const bool neighbourHigh = h4 <= m[rule.ma] && h4 <= m[rule.mb];
        bool drop = c[rule.a] <= m[rule.ma] && c[rule.b] <= m[rule.mb];
        drop = drop || (split == 1 && c[rule.steep1] >= STEEP && neighbourHigh);
        drop = drop || (split == 2 && c[rule.steep2] >= STEEP && neighbourHigh);
        drop = drop || (nsplit == 1 && m[rule.nsteep1] >= STEEP);
        return drop || (nsplit == 2 && m[rule.nsteep2] >= STEEP);
    });

    double ceiling[4];
    CeilingCornerHeights(s, ceiling);
    if (Closed(H, c, ceiling)) f.ids[4] = 0;

    ShowIcon(f, s, split, EditMode, FloorIcon, SplitIcon, FLOOR_ICONS);

    tag.row = uint8_t(j);
    tag.column = uint8_t(i);
    EmitSectorFaces(s, tag, X, Y, Z, f, split);
}

void tr_scene::CeilingSector(const tcuarto& room, int i, int j, double X, double Y, double Z, tpick_tag tag)
{
    const tsector& s = room.sectors[i][j];
    const int split = s.ceilingSplit;
    const double H = room.height;

    double c[4];
    CeilingCornerHeights(s, c);
    tsector_faces f = NewFaces(1, s.ceilingBase, H, c, s.roomAbove != 0, split, 2);

    if (Textured) {
        SetAll(f, WHITE);
    } else {
        std::fill(f.colors, f.colors + 4, CEILING_WALL);
        f.colors[4] = CEILING_FACE;
    }
    GreyFlaggedWalls(f, s);
    if (s.ceilingFaceFlag) f.colors[4] = FLAGGED_GREY;
    EditModeColours(f, s, EditMode);

    // Ceiling heights count downward: a neighbour whose ceiling comes down
    // at least as far hides the wall, and so does a neighbour that is solid.
    DropHiddenWalls(room, i, j, f, [&](const TSideRule& rule, const tsector& n) {
        double m[4];
        CeilingCornerHeights(n, m);
        const bool drop = c[rule.a] <= m[rule.ma] && c[rule.b] <= m[rule.mb];
        return drop || n.floorBase >= H;
    });

    double floor[4];
    FloorCornerHeights(s, floor);
    if (Closed(H, floor, c)) f.ids[4] = 0;
    const bool gridBorder = i == 1 || i == DrawnColumns(room) || j == 1 || j == DrawnRows(room);
    if (gridBorder && s.roomBeside) f.ids[4] = 0;

    ShowIcon(f, s, split, EditMode, FloorIcon, SplitIcon, CEILING_ICONS);

    tag.row = uint8_t(j);
    tag.column = uint8_t(i);
    EmitSectorFaces(s, tag, X, Y, Z, f, split);
}
