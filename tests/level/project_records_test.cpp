#include <gtest/gtest.h>

#include <cstring>

#include "level/project_records.h"
#include "platform/rtl/progress.h"
#include "support/project_fixture.h"

// Fields of packed records are compared as values (+x): a reference to one
// may be misaligned.
namespace {

bool IsDefaultUV(const tface_texture& f)
{
    return f.uv[0].u == 0 && f.uv[0].v == 0 && f.uv[1].u == 1 && f.uv[1].v == 0 && f.uv[2].u == 1 &&
           f.uv[2].v == 1 && f.uv[3].u == 0 && f.uv[3].v == 1;
}

bool IsZeroExceptUV(const tface_texture& f)
{
    return f.textureId == 0 && f.flip == 0 && f.rotations == 0 && f.mode == 0 && f.unused[0] == 0 &&
           f.unused[1] == 0;
}

tcuarto& NewRoom(tcuarto_list& p, int number, int columns, int rows, int height)
{
    if (p.rooms.size() <= static_cast<std::size_t>(number)) p.rooms.resize(number + 1);
    tcuarto& r = p.rooms[number];
    r.columns = static_cast<uint16_t>(columns);
    r.rows = static_cast<uint16_t>(rows);
    r.height = static_cast<uint16_t>(height);
    return r;
}

void Scribble(tsector& s, uint8_t value) { std::memset(static_cast<void*>(&s), value, sizeof s); }

}  // namespace

TEST(ProjectRecords, DefaultFaceUVSetsOnlyTheCorners)
{
    tface_texture f;
    std::memset(static_cast<void*>(&f), 0x5A, sizeof f);
    DefaultFaceUV(f);
    EXPECT_TRUE(IsDefaultUV(f));
    EXPECT_EQ(+f.textureId, 0x5A5A);
    EXPECT_EQ(f.flip, 0x5A);
    EXPECT_EQ(f.unused[1], 0x5A);
}

TEST(ProjectRecords, ResetGivesTheEmptyProject)
{
    tcuarto_list p;
    MakeProject(p, 30, 3, 3, 5, 11);
    p.neighbourRoom = 7;
    TProgressBar bar;
    TProgressBar* gauge = &bar;
    p.progressGauge = gauge;
    ResetProject(p);
    EXPECT_EQ(p.roomCount, 0);
    EXPECT_EQ(p.rooms.size(), 12u);
    EXPECT_EQ(p.currentRoom, 1);
    EXPECT_EQ(p.playerRoom, 1);
    EXPECT_EQ(p.playerColumn, 2);
    EXPECT_EQ(p.playerRow, 2);
    for (int count : {p.itemCount, p.cameraCount, p.flybyCount, p.soundSourceCount, p.triggerCount, p.animSetCount,
                      p.selectedItem, p.highlightedItem, p.selectedCamera, p.selectedFlyby, p.selectedSoundSource})
        EXPECT_EQ(count, 0);
    EXPECT_EQ(p.neighbourRoom, 7);
    EXPECT_EQ(p.progressGauge, gauge);
    // Rooms that stay in the array keep what they held, like any spare slot.
    EXPECT_EQ(p.rooms[3].columns, 3);

    tcuarto_list fresh;
    ResetProject(fresh);
    EXPECT_EQ(fresh.rooms.size(), 12u);
    EXPECT_TRUE(fresh.name.empty());
    EXPECT_EQ(fresh.progressGauge, nullptr);
}

TEST(ProjectRecords, InitRoomSectorsBuildsWallsOnTheBorder)
{
    tcuarto_list p;
    ResetProject(p);
    tcuarto& r = NewRoom(p, 1, 4, 3, 12);
    r.boxCount = 3;
    r.staticCount = 4;
    r.lightCount = 5;
    InitRoomSectors(p, 1);
    ASSERT_EQ(r.sectors.ColumnSlots(), 5);
    ASSERT_EQ(r.sectors.RowSlots(), 4);
    EXPECT_EQ(r.boxCount, 0);
    EXPECT_EQ(r.staticCount, 0);
    EXPECT_EQ(r.lightCount, 0);
    for (int c = 1; c <= 4; ++c)
        for (int w = 1; w <= 3; ++w) {
            const tsector& s = r.sectors[c][w];
            const bool border = c == 1 || c == 4 || w == 1 || w == 3;
            EXPECT_EQ(s.floorBase, border ? 12 : 0) << c << "," << w;
            EXPECT_EQ(s.ceilingBase, 0);
            for (const auto& row : s.walls)
                for (const auto& face : row) {
                    EXPECT_TRUE(IsDefaultUV(face));
                    EXPECT_TRUE(IsZeroExceptUV(face));
                }
            EXPECT_TRUE(IsDefaultUV(s.floorFaces[0]) && IsDefaultUV(s.floorFaces[1]));
            // Ceiling faces are zeroed only.
            EXPECT_EQ(+s.ceilingFaces[0].uv[1].u, 0.0f);
            EXPECT_EQ(+s.ceilingFaces[1].uv[2].v, 0.0f);
            for (int i = 0; i < 6; ++i) {
                EXPECT_EQ(+s.floorPieceHeights[i], 1.0f);
                EXPECT_EQ(+s.ceilingPieceHeights[i], 1.0f);
            }
        }
    // Column 0 and row 0 are allocated and zero.
    EXPECT_EQ(+r.sectors[0][2].floorPieceHeights[0], 0.0f);
    EXPECT_EQ(+r.sectors[3][0].floorPieceHeights[0], 0.0f);
}

TEST(ProjectRecords, InitRoomSectorsOnAOneByOneRoomMakesItsOnlySectorABorder)
{
    tcuarto_list p;
    ResetProject(p);
    NewRoom(p, 2, 1, 1, 300);  // only the low byte of the height counts
    InitRoomSectors(p, 2);
    EXPECT_EQ(p.rooms[2].sectors[1][1].floorBase, 300 - 256);
}

TEST(ProjectRecords, ReinitialisingKeepsTheOptionBytesAndResetsTheRest)
{
    tcuarto_list p;
    ResetProject(p);
    tcuarto& r = NewRoom(p, 1, 3, 3, 8);
    InitRoomSectors(p, 1);
    for (int c = 0; c <= 3; ++c)
        for (int w = 0; w <= 3; ++w) Scribble(r.sectors[c][w], static_cast<uint8_t>(c * 16 + w + 1));
    InitRoomSectors(p, 1);
    for (int c = 1; c <= 3; ++c)
        for (int w = 1; w <= 3; ++w) {
            const tsector& s = r.sectors[c][w];
            const uint8_t mark = static_cast<uint8_t>(c * 16 + w + 1);
            EXPECT_EQ(s.floorOption, mark);
            EXPECT_EQ(s.ceilingOption, mark);
            EXPECT_EQ(s.indicator, 0);
            EXPECT_EQ(s.floorSplit, 0);
            EXPECT_EQ(s.ceilingSplit, 0);
            EXPECT_EQ(+s.indicatorWord, 0);
            EXPECT_EQ(s.death, 0);
            EXPECT_EQ(s.roomBelow, 0);
            EXPECT_EQ(s.ceilingXFall, 0);
            EXPECT_TRUE(IsZeroExceptUV(s.ceilingFaces[1]));
        }
    // Column 0 and row 0 are not part of the reset.
    EXPECT_EQ(r.sectors[0][1].death, 2);
    EXPECT_EQ(r.sectors[2][0].death, 2 * 16 + 1);
}

TEST(ProjectRecords, InitRoomSectorsKeepsSectorsInsideBothSizes)
{
    tcuarto_list p;
    ResetProject(p);
    tcuarto& r = NewRoom(p, 1, 2, 2, 4);
    InitRoomSectors(p, 1);
    r.sectors[2][2].floorOption = 9;
    r.sectors[1][2].ceilingOption = 8;
    r.columns = 3;
    r.rows = 5;
    InitRoomSectors(p, 1);
    ASSERT_EQ(r.sectors.ColumnSlots(), 4);
    ASSERT_EQ(r.sectors.RowSlots(), 6);
    EXPECT_EQ(r.sectors[2][2].floorOption, 9);
    EXPECT_EQ(r.sectors[1][2].ceilingOption, 8);
    EXPECT_EQ(r.sectors[3][5].floorOption, 0);
    r.columns = 1;
    r.rows = 2;
    InitRoomSectors(p, 1);
    EXPECT_EQ(r.sectors.ColumnSlots(), 2);
    EXPECT_EQ(r.sectors[1][2].ceilingOption, 8);
}

TEST(ProjectRecords, ARoomWithoutColumnsOnlyClearsItsCounts)
{
    tcuarto_list p;
    ResetProject(p);
    tcuarto& r = NewRoom(p, 1, 0, 7, 4);
    r.boxCount = 2;
    r.staticCount = 2;
    r.lightCount = 2;
    InitRoomSectors(p, 1);
    EXPECT_EQ(r.sectors.ColumnSlots(), 1);
    EXPECT_EQ(r.sectors.RowSlots(), 8);
    EXPECT_EQ(+r.sectors[0][7].floorPieceHeights[0], 0.0f) << "allocated but not reset";
    EXPECT_EQ(r.boxCount + r.staticCount + r.lightCount, 0);

    // 256 columns have a low byte of 0: the grid is sized but nothing is reset.
    tcuarto& wide = NewRoom(p, 2, 256, 1, 4);
    InitRoomSectors(p, 2);
    EXPECT_EQ(wide.sectors.ColumnSlots(), 257);
    EXPECT_EQ(+wide.sectors[1][1].floorPieceHeights[0], 0.0f);
}

TEST(ProjectRecords, InitRoomSectorsRefusesAMissingRoomSlot)
{
    tcuarto_list p;
    ResetProject(p);
    EXPECT_THROW(InitRoomSectors(p, 12), std::out_of_range);
    EXPECT_NO_THROW(InitRoomSectors(p, 11));
}

TEST(ProjectRecords, SectorGridCopiesAndChecksBounds)
{
    TSectorGrid g;
    EXPECT_TRUE(g.empty());
    g.Resize(3, 4);
    g[2][3].death = 7;
    TSectorGrid copy = g;
    g[2][3].death = 1;
    EXPECT_EQ(copy[2][3].death, 7);
    EXPECT_EQ(copy.at(2, 3).death, 7);
    EXPECT_THROW(copy.at(3, 0), std::out_of_range);
    EXPECT_THROW(copy.at(0, 4), std::out_of_range);
    EXPECT_THROW(copy.at(-1, 0), std::out_of_range);
    copy = g;
    EXPECT_EQ(copy[2][3].death, 1);
    g.Resize(0, 9);
    EXPECT_TRUE(g.empty());
    EXPECT_EQ(g.ColumnSlots(), 0);

    TSectorGrid o;
    o.ResizeForOverwrite(3, 5);
    EXPECT_EQ(o.ColumnSlots(), 3);
    EXPECT_EQ(o.RowSlots(), 5);
    o.ResizeForOverwrite(5, 0);
    EXPECT_TRUE(o.empty());
}
