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

// What one slant word does to a sector that is no border: the edge values
// it sets (SLANT_UNSET: left alone) and what it takes off the height.
struct TSlantStep {
    int16_t xRise = SLANT_UNSET, xFall = SLANT_UNSET, zRise = SLANT_UNSET, zFall = SLANT_UNSET;
    int32_t fall = 0;
};

TSlantStep StepOf(uint32_t w)
{
    TSlantStep step;
    const uint32_t lb = w & 0xFF;  // along X
    const uint32_t hb = w >> 8;    // along Z
    const bool xRise = w < 0x80 || (w > 0x100 && w < 0x180) || (w > 0xFF00 && w < 0xFFFF);
    const bool xFall = (w > 0x80 && w < 0x100) || (w > 0x180 && w < 0x200) || lb > 0x80;
    const bool zRise = hb < 0x80;
    const bool zFall = hb > 0x80;
    // A rise sets its byte as it is, a fall the byte's negation; either
    // takes what it sets, as an unsigned byte, off the height.
    const auto set = [&step](int16_t& edge, uint8_t part) {
        edge = int8_t(part);
        step.fall += part;
    };
    if (xRise) set(step.xRise, static_cast<uint8_t>(lb));
    if (xFall) set(step.xFall, static_cast<uint8_t>(-static_cast<int32_t>(lb)));
    if (zRise) set(step.zRise, static_cast<uint8_t>(hb));
    if (zFall) set(step.zFall, static_cast<uint8_t>(-static_cast<int32_t>(hb)));
    return step;
}

// Applies the step to sector (column, row) of project room room + 1, when
// the project and the level have them: sets the edge values it sets and
// takes its fall off the height; a border sector only has its height split
// again. Then wall sectors carry no slant on this side.
void ApplySlants(const TSlopeFields& f, tcuarto_list& project, const Ttrlevel& level, const TSlantStep& step, int room,
                 int column, int row, TWallClearing walls = TWallClearing::EveryWall)
{
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
    int32_t total = s.*f.clicks + 4 * (s.*f.base);
    const bool border = column == 1 || column == columns || row == 1 || row == rows;
    if (!border) {
        if (step.xRise != SLANT_UNSET) s.*f.xRise = static_cast<int8_t>(step.xRise);
        if (step.xFall != SLANT_UNSET) s.*f.xFall = static_cast<int8_t>(step.xFall);
        if (step.zRise != SLANT_UNSET) s.*f.zRise = static_cast<int8_t>(step.zRise);
        if (step.zFall != SLANT_UNSET) s.*f.zFall = static_cast<int8_t>(step.zFall);
        total -= step.fall;
    }
    // The total is a signed byte; the split keeps it within -32..31 steps.
    const TSplitHeight split = SplitHeight(static_cast<int8_t>(total));
    s.*f.base = split.base;
    s.*f.clicks = split.clicks;

    const troom& levelRoom = level.rooms[static_cast<size_t>(room)];
    auto clear = [&](int x, int z) {
        if (LevelSectorAt(levelRoom, x, z).floor != LEVEL_WALL_FLOOR) return;
        tsector& wall = r.sectors[x][z];
        wall.*f.xRise = 0;
        wall.*f.xFall = 0;
        wall.*f.zRise = 0;
        wall.*f.zFall = 0;
    };
    if (walls == TWallClearing::ThisSector) {
        clear(column, row);
        return;
    }
    for (int x = 1; x <= lastColumn; ++x)
        for (int z = 1; z <= lastRow; ++z) clear(x, z);
}

void ConvertSlopes(const TSlopeFields& f, tcuarto_list& project, const Ttrlevel& level, int group, int entry, int room,
                   int column, int row)
{
    if (group < 0 || static_cast<size_t>(group) >= FloorDataGroups.size()) return;
    const tfloordata_group& g = FloorDataGroups[static_cast<size_t>(group)];
    if (entry < 0 || static_cast<size_t>(entry) >= g.entries.size()) return;
    ApplySlants(f, project, level, StepOf(g.entries[static_cast<size_t>(entry)].data), room, column, row);
}

void ApplySummary(const TSlopeFields& f, tcuarto_list& project, const Ttrlevel& level, const TSlantSummary& slants,
                  int room, int column, int row, TWallClearing walls)
{
    if (slants.count == 0) return;
    // The height is a signed byte after the first slant; each further one
    // takes its part off modulo 256, so their parts can be taken together.
    ApplySlants(f, project, level, {slants.xRise, slants.xFall, slants.zRise, slants.zFall, slants.fall}, room, column,
                row, walls);
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

TSlantSummary SummariseSlants(const tfloordata_group& group, uint16_t function)
{
    if (function == FD_FLOOR_SLANT) return group.floorSlants;
    if (function == FD_CEILING_SLANT) return group.ceilingSlants;
    return {};
}

void AddSlant(TSlantSummary& summary, uint16_t word)
{
    const TSlantStep step = StepOf(word);
    ++summary.count;
    summary.fall = static_cast<uint8_t>(summary.fall + step.fall);
    if (step.xRise != SLANT_UNSET) summary.xRise = step.xRise;
    if (step.xFall != SLANT_UNSET) summary.xFall = step.xFall;
    if (step.zRise != SLANT_UNSET) summary.zRise = step.zRise;
    if (step.zFall != SLANT_UNSET) summary.zFall = step.zFall;
}

void ApplyFloorSlants(tcuarto_list& project, const Ttrlevel& level, const TSlantSummary& slants, int room, int column,
                      int row, TWallClearing walls)
{
    ApplySummary(kFloor, project, level, slants, room, column, row, walls);
}

void ApplyCeilingSlants(tcuarto_list& project, const Ttrlevel& level, const TSlantSummary& slants, int room, int column,
                        int row, TWallClearing walls)
{
    ApplySummary(kCeiling, project, level, slants, room, column, row, walls);
}
