// Editor projects filled with varied, reproducible content, and a field by
// field comparison of two projects, for the project file's suites and its
// benchmark.
#pragma once

#include <cstdint>
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

// Gives room `number` of the project the size, a fresh grid (as the
// converter does) and then varied sector contents, fields and tables filled
// with `tableFill` entries each (clipped to each table's capacity).
void FillRoom(tcuarto_list& project, int number, int columns, int rows, int tableFill, uint32_t seed);

// Every project-level table filled with `tableFill` entries (clipped to each
// capacity), `triggers` triggers, texts and reserved fields set.
void FillProjectTables(tcuarto_list& project, int tableFill, int triggers, uint32_t seed);

// A project of `rooms` rooms of columns x rows sectors with every table
// filled as above.
void MakeProject(tcuarto_list& project, int rooms, int columns, int rows, int tableFill, uint32_t seed);

// The first difference between the fields that the project file stores
// ("" when there is none): texts, counts, entries in use, selections,
// reserved fields, rooms 1..room count with their sectors.
std::string StoredDifference(const tcuarto_list& a, const tcuarto_list& b);

// The first difference of anything at all, including in-memory fields,
// table slots past the counts, spare rooms and whole sector grids.
std::string AnyDifference(const tcuarto_list& a, const tcuarto_list& b);
