// Levels written as game level files by the test writer, read back by the
// level reader, then converted: the converter sees them exactly as the
// editor's Basefile loader leaves them.
#include <gtest/gtest.h>

#include "converter_fixture.h"
#include "platform/rtl/sysutils.h"
#include "support/level_writer.h"
#include "support/temp_dir.h"

namespace {

using namespace converter_test;

// Two rooms side by side, 4 x 5 sectors, joined by a doorway in the last
// column of the first; the first has a slanted floor and a death sector,
// the second lies one sector higher. Three items.
TLevelDesc TwoRoomLevel(int versionCode)
{
    TLevelDesc d;
    d.version_code = versionCode;
    d.floor_data = {0x0000,
                    0x8001, 0x0001,   // 1: portal to room 1
                    0x8002, 0x0002,   // 3: floor slant, X rise 2
                    0x8005,           // 5: death
                    0x8001, 0x0000};  // 6: portal to room 0
    for (int i = 0; i < 2; ++i) {
        TRoomDesc r;
        r.x = i * 4 * 1024;
        r.z = 2048;
        r.y_bottom = -1024 * i;
        r.y_top = r.y_bottom - 4096;
        r.num_x_sectors = 4;
        r.num_z_sectors = 5;
        const int8_t floor = int8_t(-4 * i);
        const int8_t ceiling = int8_t(floor - 16);
        for (int s = 0; s < 20; ++s) {
            const int x = s / 5, z = s % 5;
            const bool border = x == 0 || x == 3 || z == 0 || z == 4;
            r.sectors.push_back(troom_sector{0, 0, 255, int8_t(border ? -127 : floor), 255, ceiling});
        }
        troom_portal p{};
        p.adjoining_room = uint16_t(1 - i);
        r.portals.push_back(p);
        r.flags = i == 1 ? 0x01 : 0x00;
        d.rooms.push_back(r);
    }
    // Doorways: room 0 column 4 row 3, room 1 column 1 row 3.
    d.rooms[0].sectors[3 * 5 + 2] = troom_sector{1, 0, 255, 0, 255, -16};
    d.rooms[1].sectors[0 * 5 + 2] = troom_sector{6, 0, 255, -4, 255, -20};
    d.rooms[0].sectors[1 * 5 + 1].floor_data_index = 3;
    d.rooms[0].sectors[2 * 5 + 3].floor_data_index = 5;

    const tlevel_item items[] = {{7, 0, 1536, -256, 3584, 0x4000, 0, 0, 0},
                                 {9, 1, 5632 + 1024, -1280, 4608, 0x8000, 0, 0, 0},
                                 {11, 0, 2560, 0, 5632, 0, 0, 0, 0}};
    for (const tlevel_item& it : items) {
        if (versionCode <= LEVEL_TR1_TUB)
            d.items_tr1.push_back(titem_tr1{it.id, it.room, it.x, it.y, it.z, it.angle, 0, 0, 0});
        else
            d.items.push_back(it);
    }
    return d;
}

class ConvertedLevelFile : public ::testing::TestWithParam<int> {};

TEST_P(ConvertedLevelFile, RoomsSectorsDoorwaysAndItems)
{
    TempDir dir;
    const std::string name = dir.file(GetParam() == LEVEL_TR4 ? "level.tr4" : "level.phd");
    SaveLevelFile(name, TwoRoomLevel(GetParam()));

    TConversion c;
    ASSERT_EQ(c.level->LoadFromFile(name), LEVEL_LOADED);
    c.project.basefilePath = name;
    c.options.includeItems = true;
    c.options.includeDeathSectors = true;
    c.Run();

    EXPECT_EQ(c.project.name.str(), "TR2VEL Project File:  " + ExtractFileName(name));
    ASSERT_EQ(c.project.roomCount, 2);
    const tcuarto& a = c.Room(1);
    const tcuarto& b = c.Room(2);
    EXPECT_EQ(a.name.str(), "Room#1");
    EXPECT_EQ(b.name.str(), "Room#2-Water");
    EXPECT_EQ(a.columns, 4);
    EXPECT_EQ(a.rows, 5);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(b.x, 4);
    EXPECT_EQ(a.z, 2);
    EXPECT_EQ(a.y, 32);
    EXPECT_EQ(b.y, 33);
    EXPECT_EQ(a.height, 4);

    // The doorways lead to each other at floor level.
    EXPECT_EQ(c.Sector(1, 4, 3).roomBeside, 2);
    EXPECT_EQ(c.Sector(1, 4, 3).floorBase, 0);
    EXPECT_EQ(c.Sector(2, 1, 3).roomBeside, 1);
    EXPECT_EQ(c.Sector(2, 1, 3).floorBase, 0);
    EXPECT_EQ(c.Sector(1, 4, 2).roomBeside, 0);
    EXPECT_EQ(c.Sector(1, 4, 2).floorBase, 4);

    // The slant and the death sector.
    EXPECT_EQ(c.Sector(1, 2, 2).floorXRise, 2);
    // 0 - 2 clicks, and a floor closed below is never negative.
    EXPECT_EQ(c.Sector(1, 2, 2).floorBase, 0);
    EXPECT_EQ(c.Sector(1, 2, 2).floorClicks, 0);
    EXPECT_EQ(c.Sector(1, 3, 4).death, 1);
    EXPECT_EQ(c.Sector(1, 2, 4).death, 0);

    ASSERT_EQ(c.project.itemCount, 3);
    EXPECT_EQ(int(c.project.items[1].column), 2);
    EXPECT_EQ(int(c.project.items[1].row), 2);
    EXPECT_EQ(int(c.project.items[1].angle), 2);
    EXPECT_EQ(int(c.project.items[2].room), 2);
    EXPECT_EQ(int(c.project.items[2].column), 3);
    EXPECT_EQ(int(c.project.items[2].angle), 4);
    EXPECT_EQ(int(c.project.items[1].objectId), 7);
    EXPECT_EQ(int(c.project.items[3].objectId), 11);
    EXPECT_EQ(int64_t(c.project.items[3].correlative), 2);
}

INSTANTIATE_TEST_SUITE_P(Versions, ConvertedLevelFile,
                         ::testing::Values(LEVEL_TR1, LEVEL_TR2, LEVEL_TR3, LEVEL_TR4),
                         [](const auto& info) { return "Version" + std::to_string(info.param); });

}  // namespace
