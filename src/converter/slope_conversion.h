// Floor and ceiling slants of the early games' floor data turned into the
// edge values, base height and extra clicks of a project sector.
//
// A slant entry's data word holds the slant along X in its low byte and
// along Z in its high byte, in clicks. Each call converts one entry of
// FloorDataGroups for one sector; a sector with two slant entries of the same
// kind goes through it twice.
#pragma once

#include <cstdint>

class Ttrlevel;
struct tcuarto_list;

// Converts entry `entry` (from 0) of group `group` of FloorDataGroups into
// the floor fields of sector (column, row) of project room room + 1, where
// `room` is the level room number; column and row count from 1. Afterwards
// every sector of that project room whose level sector at the same column
// and row is a wall gets its four floor edge values cleared. A group, entry,
// room or sector that does not exist leaves the project unchanged.
void ConvertFloorSlopes(tcuarto_list& project, const Ttrlevel& level, int group, int entry, int room, int column,
                        int row);

// The same for the ceiling fields.
void ConvertCeilingSlopes(tcuarto_list& project, const Ttrlevel& level, int group, int entry, int room, int column,
                          int row);
