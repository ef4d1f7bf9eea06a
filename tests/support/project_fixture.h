// Editor projects of varied, reproducible content, and field by field comparisons of two projects.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "level/project_records.h"

// A small deterministic generator, independent of the program's own.
class TFixtureRandom {
public:
    explicit TFixtureRandom(uint32_t seed) : state_(seed * 2654435761u + 1u) {}
    uint32_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    // 0 .. n-1
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }

private:
    uint32_t state_;
};

// `rooms` rooms of columns x rows sectors like the editor's, texts and reserved fields set, and
// every table and the triggers with `tableFill` entries (a table at most full).
void MakeProject(tcuarto_list& project, int rooms, int columns, int rows, int tableFill, uint32_t seed);

// Room 1, the only room and the current one, of size x size sectors with
// walls on the border, a grey ambient light and `lights` enabled lights of
// the largest range set out in rows of five over it. One generator shapes
// every sector inside the walls (`shape`, given the sector's column and
// row), then gives each light its height (`lightHeight`): the same
// arguments make the same room.
void MakeLitRoom(tcuarto_list& project, int size, int lights,
                 const std::function<void(tsector&, int column, int row, TFixtureRandom&)>& shape,
                 const std::function<int(TFixtureRandom&)>& lightHeight);

// The first difference ("" when none) of the fields the project file stores: texts, counts,
// entries in use, selections, reserved fields, rooms 1..room count with their sectors.
std::string StoredDifference(const tcuarto_list& a, const tcuarto_list& b);

// The first difference of anything, in-memory fields, slots past the counts, spare rooms and whole grids too.
std::string AnyDifference(const tcuarto_list& a, const tcuarto_list& b);
