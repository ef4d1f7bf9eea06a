// Floor and ceiling slants of the early games' floor data turned into the
// edge values, base height and extra clicks of a project sector.
//
// A slant entry's data word holds the slant along X in its low byte and
// along Z in its high byte, in clicks. Each call converts one entry of
// FloorDataGroups for one sector; a sector with two slant entries of the same
// kind goes through it twice. A run may hold any number of slant entries, so
// the converter folds those of a group into one summary once and applies
// that to each sector the group serves, with the same result.
#pragma once

#include <cstdint>

class Ttrlevel;
struct tcuarto_list;
struct tfloordata_group;

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

// The slant entries of one function (FD_FLOOR_SLANT or FD_CEILING_SLANT) of
// a group taken together: how many there are, what they take off the
// height together (modulo 256, as the height is a signed byte), and the last
// value each of them sets of the four edge values (SLANT_UNSET: none sets it).
constexpr int16_t SLANT_UNSET = 0x7FFF;
struct TSlantSummary {
    uint32_t count = 0;
    uint8_t fall = 0;
    int16_t xRise = SLANT_UNSET, xFall = SLANT_UNSET, zRise = SLANT_UNSET, zFall = SLANT_UNSET;
};
// The summary of a group's slant entries of the function: those of its
// whole run, however long (FloorDataGroups keeps them folded as it scans);
// an empty one for other functions.
TSlantSummary SummariseSlants(const tfloordata_group& group, uint16_t function);
// Folds one more slant entry's data word into a summary.
void AddSlant(TSlantSummary& summary, uint16_t word);

// Which walls a slant clears: every wall of the room, as ConvertFloorSlopes
// does, or only the sector itself when it is a wall. The second is the same
// for a room whose walls hold no edge values of that side (a fresh grid,
// where only a slant on a wall could give a wall any, and it clears that
// wall at once) and does not walk the room for every sector.
enum class TWallClearing { EveryWall, ThisSector };

// What ConvertFloorSlopes (ConvertCeilingSlopes) does for each entry the
// summary holds, in their order, done at once: the same sector fields, and
// the walls cleared as asked. Nothing for a summary of no entries.
void ApplyFloorSlants(tcuarto_list& project, const Ttrlevel& level, const TSlantSummary& slants, int room, int column,
                      int row, TWallClearing walls = TWallClearing::EveryWall);
void ApplyCeilingSlants(tcuarto_list& project, const Ttrlevel& level, const TSlantSummary& slants, int room, int column,
                        int row, TWallClearing walls = TWallClearing::EveryWall);
