// Small helpers shared by the converter and the slope conversion: reading a
// level room's sector by project column and row, and storing a height in
// clicks as a base height and extra clicks.
#pragma once

#include <cstdint>

#include "level/trlevel.h"

// Level floor height that marks a wall sector.
constexpr int8_t LEVEL_WALL_FLOOR = -127;
// Level sector link byte meaning "no room".
constexpr uint8_t LEVEL_NO_ROOM = 255;

// The level sector under project column `column` and row `row` (from 1):
// sector (column - 1) x (Z sector count) + row - 1. A position outside the
// room's sector counts or its sector table reads as a wall without links,
// so that a damaged room cannot lead a read past the table.
inline troom_sector LevelSectorAt(const troom& room, int column, int row)
{
    const int zCount = room.num_z_sectors;
    const int xCount = room.num_x_sectors;
    if (column >= 1 && row >= 1 && column <= xCount && row <= zCount) {
        const size_t index =
            static_cast<size_t>(column - 1) * static_cast<size_t>(zCount) + static_cast<size_t>(row - 1);
        if (index < room.sectors.size()) return room.sectors[index];
    }
    return troom_sector{0, 0, LEVEL_NO_ROOM, LEVEL_WALL_FLOOR, LEVEL_NO_ROOM, LEVEL_WALL_FLOOR};
}

// A height of v clicks as base height v div 4 and extra clicks v - 4 x (v div
// 4), division truncating toward zero, each kept to its low 8 bits.
struct TSplitHeight {
    int8_t base;
    int8_t clicks;
};
inline TSplitHeight SplitHeight(int32_t v)
{
    const int32_t base = v / 4;
    return {static_cast<int8_t>(base), static_cast<int8_t>(v - 4 * base)};
}
