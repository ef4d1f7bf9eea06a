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
    if (xRise) {
        step.xRise = int16_t(int8_t(lb));
        step.fall += static_cast<int32_t>(lb);
    }
    if (xFall) {
        const uint8_t fall = static_cast<uint8_t>(-static_cast<int32_t>(lb));
        step.xFall = int16_t(int8_t(fall));
        step.fall += fall;
    }
    if (zRise) {
        step.zRise = int16_t(int8_t(hb));
        step.fall += static_cast<int32_t>(hb);
    }
    if (zFall) {
        const uint8_t fall = static_cast<uint8_t>(-static_cast<int32_t>(hb));
        step.zFall = int16_t(int8_t(fall));
        step.fall += fall;
    }
    return step;
}

// The sector of project room room + 1 at (column, row) when the project and
// the level have them: its room and sector, or nil.
tcuarto* SlantRoom(tcuarto_list& project, const Ttrlevel& level, int room, int column, int row)
{
    if (room < 0 || room + 1 > project.roomCount || static_cast<size_t>(room) + 1 >= project.rooms.size())
        return nullptr;
    if (static_cast<size_t>(room) >= level.rooms.size()) return nullptr;
    tcuarto& r = project.rooms[static_cast<size_t>(room) + 1];
    // Only sectors the grid really holds are touched.
    const int lastColumn = std::min<int>(r.columns, r.sectors.ColumnSlots() - 1);
    const int lastRow = std::min<int>(r.rows, r.sectors.RowSlots() - 1);
    if (column < 1 || row < 1 || column > lastColumn || row > lastRow) return nullptr;
    return &r;
}

// Sets the edge values the slants set and takes `fall` off the height; a
// border sector only has its height split again. Then wall sectors carry
// no slant on this side.
void ApplySlants(const TSlopeFields& f, tcuarto& r, const troom& levelRoom, int16_t xRise, int16_t xFall, int16_t zRise,
                 int16_t zFall, int32_t fall, int column, int row)
{
    const int columns = r.columns;
    const int rows = r.rows;
    const int lastColumn = std::min(columns, r.sectors.ColumnSlots() - 1);
    const int lastRow = std::min(rows, r.sectors.RowSlots() - 1);
    tsector& s = r.sectors[column][row];
    int32_t total = s.*f.clicks + 4 * (s.*f.base);
    const bool border = column == 1 || column == columns || row == 1 || row == rows;
    if (!border) {
        if (xRise != SLANT_UNSET) s.*f.xRise = static_cast<int8_t>(xRise);
        if (xFall != SLANT_UNSET) s.*f.xFall = static_cast<int8_t>(xFall);
        if (zRise != SLANT_UNSET) s.*f.zRise = static_cast<int8_t>(zRise);
        if (zFall != SLANT_UNSET) s.*f.zFall = static_cast<int8_t>(zFall);
        total -= fall;
    }
    // The total is a signed byte; the split keeps it within -32..31 steps.
    const TSplitHeight split = SplitHeight(static_cast<int8_t>(total));
    s.*f.base = split.base;
    s.*f.clicks = split.clicks;

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

void ConvertSlopes(const TSlopeFields& f, tcuarto_list& project, const Ttrlevel& level, int group, int entry, int room,
                   int column, int row)
{
    if (group < 0 || static_cast<size_t>(group) >= FloorDataGroups.size()) return;
    const tfloordata_group& g = FloorDataGroups[static_cast<size_t>(group)];
    if (entry < 0 || static_cast<size_t>(entry) >= g.entries.size()) return;
    tcuarto* r = SlantRoom(project, level, room, column, row);
    if (!r) return;
    const TSlantStep step = StepOf(g.entries[static_cast<size_t>(entry)].data);
    ApplySlants(f, *r, level.rooms[static_cast<size_t>(room)], step.xRise, step.xFall, step.zRise, step.zFall,
                step.fall, column, row);
}

void ApplySummary(const TSlopeFields& f, tcuarto_list& project, const Ttrlevel& level, const TSlantSummary& slants,
                  int room, int column, int row)
{
    if (slants.count == 0) return;
    tcuarto* r = SlantRoom(project, level, room, column, row);
    if (!r) return;
    // The height is a signed byte after the first slant; each further one
    // takes its part off modulo 256, so their parts can be taken together.
    ApplySlants(f, *r, level.rooms[static_cast<size_t>(room)], slants.xRise, slants.xFall, slants.zRise, slants.zFall,
                slants.fall, column, row);
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
    TSlantSummary summary;
    for (const ttrigger_list& entry : group.entries) {
        if (entry.function != function) continue;
        const TSlantStep step = StepOf(entry.data);
        ++summary.count;
        summary.fall = static_cast<uint8_t>(summary.fall + step.fall);
        if (step.xRise != SLANT_UNSET) summary.xRise = step.xRise;
        if (step.xFall != SLANT_UNSET) summary.xFall = step.xFall;
        if (step.zRise != SLANT_UNSET) summary.zRise = step.zRise;
        if (step.zFall != SLANT_UNSET) summary.zFall = step.zFall;
    }
    return summary;
}

void ApplyFloorSlants(tcuarto_list& project, const Ttrlevel& level, const TSlantSummary& slants, int room, int column,
                      int row)
{
    ApplySummary(kFloor, project, level, slants, room, column, row);
}

void ApplyCeilingSlants(tcuarto_list& project, const Ttrlevel& level, const TSlantSummary& slants, int room, int column,
                        int row)
{
    ApplySummary(kCeiling, project, level, slants, room, column, row);
}
