#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "level/project_records.h"
#include "platform/rtl/progress.h"
#include "support/project_fixture.h"

// Fields of packed records are compared as values: a reference to one may be misaligned.
namespace {

bool IsDefaultUV(const tface_texture& f)
{
    const float expected[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    return std::memcmp(f.uv, expected, sizeof expected) == 0;
}

tcuarto& NewRoom(tcuarto_list& p, int number, int columns, int rows, int height)
{
    if (p.rooms.size() <= size_t(number)) p.rooms.resize(size_t(number) + 1);
    tcuarto& r = p.rooms[size_t(number)];
    r.columns = uint16_t(columns);
    r.rows = uint16_t(rows);
    r.height = uint16_t(height);
    r.boxCount = r.staticCount = r.lightCount = 3;
    return r;
}

}  // namespace

TEST(ProjectRecords, DefaultFaceUVAndTheEmptyProject)
{
    tface_texture f;
    std::memset(static_cast<void*>(&f), 0x5A, sizeof f);
    DefaultFaceUV(f);
    EXPECT_TRUE(IsDefaultUV(f));
    EXPECT_EQ(std::make_tuple(+f.textureId, f.flip, f.unused[1]),
              std::make_tuple(0x5A5A, uint8_t(0x5A), uint8_t(0x5A)));

    tcuarto_list p;
    MakeProject(p, 30, 3, 3, 5, 11);
    p.neighbourRoom = 7;
    TProgressBar gauge;
    p.progressGauge = &gauge;
    ResetProject(p);
    EXPECT_EQ(std::make_tuple(p.roomCount, p.rooms.size(), p.currentRoom, p.playerRoom, p.playerColumn, p.playerRow),
              std::make_tuple(uint8_t(0), size_t(12), uint8_t(1), int16_t(1), int16_t(2), int16_t(2)));
    for (int count : {p.itemCount, p.cameraCount, p.flybyCount, p.soundSourceCount, p.triggerCount, p.animSetCount,
                      p.selectedItem, p.highlightedItem, p.selectedCamera, p.selectedFlyby, p.selectedSoundSource})
        EXPECT_EQ(count, 0);
    // The neighbour room, the gauge and the rooms that stay in the array keep what they held.
    EXPECT_EQ(std::make_tuple(p.neighbourRoom, p.progressGauge, p.rooms[3].columns),
              std::make_tuple(uint8_t(7), &gauge, uint16_t(3)));
}

TEST(ProjectRecords, InitRoomSectorsBuildsWallsOnTheBorder)
{
    tcuarto_list p;
    ResetProject(p);
    tcuarto& r = NewRoom(p, 1, 4, 3, 12);
    InitRoomSectors(p, 1);
    ASSERT_EQ(std::make_tuple(r.sectors.ColumnSlots(), r.sectors.RowSlots()), std::make_tuple(5, 4));
    EXPECT_EQ(std::make_tuple(int(r.boxCount), int(r.staticCount), int(r.lightCount)), std::make_tuple(0, 0, 0));
    for (int c = 0; c <= 4; ++c)
        for (int w = 0; w <= 3; ++w) {
            const tsector& s = r.sectors[c][w];
            if (c == 0 || w == 0) {  // allocated and zero
                EXPECT_EQ(+s.floorPieceHeights[0], 0.0f);
                continue;
            }
            const bool border = c == 1 || c == 4 || w == 1 || w == 3;
            EXPECT_EQ(std::make_tuple(s.floorBase, s.ceilingBase), std::make_tuple(int8_t(border ? 12 : 0), int8_t(0)))
                << c << "," << w;
            for (const auto& row : s.walls)
                for (const auto& face : row) {
                    EXPECT_TRUE(IsDefaultUV(face)) << c << "," << w;
                    EXPECT_EQ(std::make_tuple(+face.textureId, +face.mode), std::make_tuple(0, 0)) << c << "," << w;
                }
            EXPECT_TRUE(IsDefaultUV(s.floorFaces[0])) << c << "," << w;
            EXPECT_TRUE(IsDefaultUV(s.floorFaces[1])) << c << "," << w;
            // Ceiling faces are zeroed only.
            EXPECT_EQ(std::make_tuple(+s.ceilingFaces[0].uv[1].u, +s.ceilingFaces[1].uv[2].v),
                      std::make_tuple(0.0f, 0.0f))
                << c << "," << w;
            for (int i = 0; i < 6; ++i)
                EXPECT_EQ(std::make_tuple(+s.floorPieceHeights[i], +s.ceilingPieceHeights[i]),
                          std::make_tuple(1.0f, 1.0f))
                    << c << "," << w << " piece " << i;
        }
    // In a 1 x 1 room the only sector is a border; only the low byte of the height counts.
    NewRoom(p, 2, 1, 1, 300);
    InitRoomSectors(p, 2);
    EXPECT_EQ(p.rooms[2].sectors[1][1].floorBase, 300 - 256);
    EXPECT_THROW(InitRoomSectors(p, 12), std::out_of_range);  // no such room slot
}

TEST(ProjectRecords, ReinitialisingKeepsOptionBytesAndSectorsInsideBothSizes)
{
    tcuarto_list p;
    ResetProject(p);
    tcuarto& r = NewRoom(p, 1, 3, 3, 8);
    InitRoomSectors(p, 1);
    for (int c = 0; c <= 3; ++c)
        for (int w = 0; w <= 3; ++w) std::memset(static_cast<void*>(&r.sectors[c][w]), c * 16 + w + 1, sizeof(tsector));
    r.columns = 4;
    r.rows = 2;
    InitRoomSectors(p, 1);
    for (int c = 1; c <= 4; ++c)
        for (int w = 1; w <= 2; ++w) {
            const tsector& s = r.sectors[c][w];
            const uint8_t mark = c == 4 ? 0 : uint8_t(c * 16 + w + 1);
            EXPECT_EQ(std::make_tuple(s.floorOption, s.ceilingOption), std::make_tuple(mark, mark)) << c << "," << w;
            EXPECT_EQ(std::make_tuple(s.indicator, s.floorSplit, s.ceilingSplit, +s.indicatorWord, s.death, s.roomBelow,
                                      s.ceilingXFall),
                      std::make_tuple(uint8_t(0), uint8_t(0), uint8_t(0), 0, uint8_t(0), uint8_t(0), int8_t(0)));
        }
    // Column 0 and row 0 are not part of the reset.
    EXPECT_EQ(std::make_tuple(r.sectors[0][1].death, r.sectors[2][0].death), std::make_tuple(uint8_t(2), uint8_t(33)));
    // A room with 0 columns (or 256: low byte 0) gets its grid and only its counts cleared.
    for (int columns : {0, 256}) {
        tcuarto& e = NewRoom(p, 2, columns, 7, 4);
        InitRoomSectors(p, 2);
        EXPECT_EQ(std::make_tuple(e.sectors.ColumnSlots(), e.sectors.RowSlots()), std::make_tuple(columns + 1, 8));
        EXPECT_EQ(+e.sectors[columns][1].floorPieceHeights[0], 0.0f);
        EXPECT_EQ(std::make_tuple(int(e.boxCount), int(e.staticCount), int(e.lightCount)), std::make_tuple(0, 0, 0));
    }
}

TEST(ProjectRecords, SectorGridCopiesAndChecksBounds)
{
    TSectorGrid g;
    EXPECT_TRUE(g.empty());
    g.Resize(3, 4);
    g[2][3].death = 7;
    TSectorGrid copy = g;
    g[2][3].death = 1;
    EXPECT_EQ(std::make_tuple(copy[2][3].death, copy.at(2, 3).death), std::make_tuple(uint8_t(7), uint8_t(7)));
    for (auto [c, w] : {std::pair{3, 0}, std::pair{0, 4}, std::pair{-1, 0}})
        EXPECT_THROW(copy.at(c, w), std::out_of_range);
    copy = g;
    EXPECT_EQ(copy[2][3].death, 1);
    g.Resize(0, 9);
    EXPECT_TRUE(g.empty());
    EXPECT_EQ(g.ColumnSlots(), 0);
    g.ResizeForOverwrite(3, 5);
    EXPECT_EQ(std::make_tuple(g.ColumnSlots(), g.RowSlots()), std::make_tuple(3, 5));
    g.ResizeForOverwrite(5, 0);
    EXPECT_TRUE(g.empty());
}

TEST(ProjectRecords, SectorGridGrowsByColumnsKeepingWhatItHolds)
{
    TSectorGrid g;
    g.Resize(3, 4);
    for (int c = 0; c < 3; ++c)
        for (int w = 0; w < 4; ++w) g[c][w].death = static_cast<uint8_t>(10 * c + w);
    g.ResizeColumnsForOverwrite(40);
    EXPECT_EQ(std::make_tuple(g.ColumnSlots(), g.RowSlots()), std::make_tuple(40, 4));
    g[39][3].death = 99;
    for (int c = 0; c < 3; ++c)
        for (int w = 0; w < 4; ++w) EXPECT_EQ(g.at(c, w).death, 10 * c + w) << c << "," << w;
    EXPECT_EQ(g.at(39, 3).death, 99);
    g.ResizeColumnsForOverwrite(2);
    EXPECT_EQ(std::make_tuple(g.ColumnSlots(), g.RowSlots()), std::make_tuple(2, 4));
    EXPECT_EQ(g.at(1, 3).death, 13);
    EXPECT_THROW(g.at(2, 0), std::out_of_range);
    g.ResizeColumnsForOverwrite(0);
    EXPECT_TRUE(g.empty());
    // A grid without rows stays empty.
    g.ResizeColumnsForOverwrite(5);
    EXPECT_TRUE(g.empty());
    EXPECT_EQ(g.ColumnSlots(), 0);
}
