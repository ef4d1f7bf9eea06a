// Small game levels built directly in the level record, and a project with a
// scene bound to it, for the converter's suites.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "converter/floor_data_index.h"
#include "converter/level_converter.h"
#include "converter/slope_conversion.h"
#include "level/trlevel.h"
#include "scene/scene.h"

namespace converter_test {

constexpr uint8_t NONE = 255;

inline troom_sector OpenSector(int8_t floor, int8_t ceiling) { return troom_sector{0, 0, NONE, floor, NONE, ceiling}; }
inline troom_sector WallSector() { return troom_sector{0, 0, NONE, -127, NONE, -127}; }

// Appends a level room of nx by nz open sectors at sector position (sx, sz)
// between the given world heights, with the given floor and ceiling (clicks).
inline int AddLevelRoom(Ttrlevel& level, int sx, int sz, int32_t yBottom, int32_t yTop, int nx, int nz,
                        int8_t floor = 0, int8_t ceiling = -16)
{
    const uint16_t n = level.num_rooms;
    level.SetNumRooms(uint16_t(n + 1));
    troom& r = level.rooms[n];
    r.x = sx * 1024;
    r.z = sz * 1024;
    r.y_bottom = yBottom;
    r.y_top = yTop;
    r.num_x_sectors = uint16_t(nx);
    r.num_z_sectors = uint16_t(nz);
    for (int i = 0; i < nx * nz && i < ROOM_MAX_SECTORS; ++i) r.sectors[size_t(i)] = OpenSector(floor, ceiling);
    return n;
}

// The usual room: bottom at level height 0 and four sectors high, so that its
// project room stands at y 32 with height 4, and floor 0 and ceiling -16
// lie exactly on its bottom and top.
inline int AddPlainRoom(Ttrlevel& level, int sx, int sz, int nx, int nz)
{
    return AddLevelRoom(level, sx, sz, 0, -4096, nx, nz);
}

// The level sector under project column and row (from 1).
inline troom_sector& LevelSector(Ttrlevel& level, int room, int column, int row)
{
    troom& r = level.rooms[size_t(room)];
    return r.sectors[size_t(column - 1) * r.num_z_sectors + size_t(row - 1)];
}

inline void AddPortal(Ttrlevel& level, int room, uint16_t adjoining)
{
    troom& r = level.rooms[size_t(room)];
    r.portals[r.num_portals++].adjoining_room = adjoining;
}

// Appends words to the floor data (word 0 first when it is empty); returns
// the position of the first word appended.
inline uint16_t AddFloorData(Ttrlevel& level, const std::vector<uint16_t>& words)
{
    if (level.floor_data.empty()) level.SetNumFloorData(1);
    const uint32_t at = level.num_floor_data;
    level.SetNumFloorData(at + uint32_t(words.size()));
    std::copy(words.begin(), words.end(), level.floor_data.begin() + at);
    return uint16_t(at);
}

inline void AddItem(Ttrlevel& level, int16_t id, int16_t room, int32_t x, int32_t z, uint16_t angle)
{
    const uint32_t n = level.num_items;
    level.SetNumItems(n + 1);
    level.items[n] = tlevel_item{id, room, x, 0, z, angle, 0, 0, 0};
}

// A level, a project and a scene bound to both, with options at their start
// values and a fixed date.
struct TConversion {
    std::unique_ptr<Ttrlevel> level = std::make_unique<Ttrlevel>();
    tcuarto_list project;
    tr_scene scene;
    TConverterOptions options;
    TConverterHooks hooks;
    TConversionResult result;

    TConversion()
    {
        ResetProject(project);
        scene.Project = &project;
        scene.Level = level.get();
        hooks.Today = [] { return std::string("24/12/2003"); };
    }
    TConversionResult& Run() { return result = ConvertLevelToProject(*level, project, scene, options, hooks); }
    tcuarto& Room(int n) { return project.rooms[size_t(n)]; }
    tsector& Sector(int room, int column, int row) { return project.rooms[size_t(room)].sectors[column][row]; }
};

// Floor base height and extra clicks as clicks, base x 4 + clicks.
inline int FloorClicks(const tsector& s) { return 4 * s.floorBase + s.floorClicks; }
inline int CeilingClicks(const tsector& s) { return 4 * s.ceilingBase + s.ceilingClicks; }

}  // namespace converter_test
