#include "converter/slope_conversion.h"

#include <algorithm>

#include "converter/floor_data_index.h"
#include "converter/level_sectors.h"
#include "level/project_records.h"

namespace {

// The sector fields one side of the conversion writes. The ceiling keeps its
// X pair in the opposite order from the floor, so the roles are named.
struct TSlopeFields {
    int8_t tsector::*base;
    int8_t tsector::*clicks;
    int8_t tsector::*xRise;
    int8_t tsector::*xFall;
    int8_t tsector::*zRise;
    int8_t tsector::*zFall;
};

constexpr TSlopeFields kFloor{&tsector::floorBase,  &tsector::floorClicks, &tsector::floorXRise,
                              &tsector::floorXFall, &tsector::floorZRise,  &tsector::floorZFall};
constexpr TSlopeFields kCeiling{&tsector::ceilingBase,  &tsector::ceilingClicks, &tsector::ceilingXRise,
                                &tsector::ceilingXFall, &tsector::ceilingZRise,  &tsector::ceilingZFall};

void ConvertSlopes(const TSlopeFields& f, tcuarto_list& project, const Ttrlevel& level, int group, int entry, int room,
                   int column, int row)
{
    if (group < 0 || static_cast<size_t>(group) >= FloorDataGroups.size()) return;
    const tfloordata_group& g = FloorDataGroups[static_cast<size_t>(group)];
    if (entry < 0 || static_cast<size_t>(entry) >= g.entries.size()) return;
    if (room < 0 || room + 1 > project.roomCount || static_cast<size_t>(room) + 1 >= project.rooms.size()) return;
    if (static_cast<size_t>(room) >= level.rooms.size()) return;

    tcuarto& r = project.rooms[static_cast<size_t>(room) + 1];
    const int columns = r.columns;
    const int rows = r.rows;
    // Only sectors the grid really holds are touched.
    const int lastColumn = std::min(columns, r.sectors.ColumnSlots() - 1);
    const int lastRow = std::min(rows, r.sectors.RowSlots() - 1);
    if (column < 1 || row < 1 || column > lastColumn || row > lastRow) return;

    tsector& s = r.sectors[column][row];
    const uint32_t w = g.entries[static_cast<size_t>(entry)].data;
    int32_t total = s.*f.clicks + 4 * (s.*f.base);
    const uint32_t lb = w & 0xFF;  // along X
    const uint32_t hb = w >> 8;    // along Z

    const bool border = column == 1 || column == columns || row == 1 || row == rows;
    if (!border) {
        const bool xRise = w < 0x80 || (w > 0x100 && w < 0x180) || (w > 0xFF00 && w < 0xFFFF);
        const bool xFall = (w > 0x80 && w < 0x100) || (w > 0x180 && w < 0x200) || lb > 0x80;
        const bool zRise = hb < 0x80;
        const bool zFall = hb > 0x80;
        if (xRise) {
            s.*f.xRise = static_cast<int8_t>(lb);
            total -= static_cast<int32_t>(lb);
        }
        if (xFall) {
            const uint8_t fall = static_cast<uint8_t>(-static_cast<int32_t>(lb));
            s.*f.xFall = static_cast<int8_t>(fall);
            total -= fall;
        }
        if (zRise) {
            s.*f.zRise = static_cast<int8_t>(hb);
            total -= static_cast<int32_t>(hb);
        }
        if (zFall) {
            const uint8_t fall = static_cast<uint8_t>(-static_cast<int32_t>(hb));
            s.*f.zFall = static_cast<int8_t>(fall);
            total -= fall;
        }
    }
    // The total is a signed byte; the split keeps it within -32..31 steps.
    const TSplitHeight split = SplitHeight(static_cast<int8_t>(total));
    s.*f.base = split.base;
    s.*f.clicks = split.clicks;

    // Wall sectors carry no slant on this side.
    const troom& levelRoom = level.rooms[static_cast<size_t>(room)];
    for (int x = 1; x <= lastColumn; ++x) {
        for (int z = 1; z <= lastRow; ++z) {
            if (LevelSectorAt(levelRoom, x, z).floor != LEVEL_WALL_FLOOR) continue;
            tsector& wall = r.sectors[x][z];
            wall.*f.xRise = 0;
            wall.*f.xFall = 0;
            wall.*f.zRise = 0;
            wall.*f.zFall = 0;
        }
    }
}

}  // namespace

void ConvertFloorSlopes(tcuarto_list& project, const Ttrlevel& level, int group, int entry, int room, int column,
                        int row)
{
    ConvertSlopes(kFloor, project, level, group, entry, room, column, row);
}

void ConvertCeilingSlopes(tcuarto_list& project, const Ttrlevel& level, int group, int entry, int room, int column,
                          int row)
{
    ConvertSlopes(kCeiling, project, level, group, entry, room, column, row);
}
