#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "converter_fixture.h"
#include "platform/rtl/progress.h"
#include "platform/rtl/sysutils.h"
#include "support/level_writer.h"
#include "support/project_fixture.h"
#include "support/temp_dir.h"

namespace {

using namespace converter_test;

bool HiddenFace(const tface_texture& f)
{
    const float zeros[8] = {};
    return f.textureId == HIDDEN_FACE_TEXTURE && f.mode == 1 && std::memcmp(f.uv, zeros, sizeof zeros) == 0;
}

std::vector<std::string> Named(TConversion& c)
{
    std::vector<std::string> names;
    c.hooks.RoomNamed = [&names](const std::string& n) { names.push_back(n); };
    c.Run();
    c.hooks.RoomNamed = nullptr;
    return names;
}

// ---------------------------------------------------------------------------
// The project

TEST(LevelConverter, ResetsTheProjectAndKeepsWhatItDoesNotConvert)
{
    TConversion c;
    tcuarto_list& p = c.project;
    MakeProject(p, 3, 2, 2, 4, 9);
    p.basefilePath = "C:\\Games\\TR2\\data\\wall.tr2";
    p.texturesfilePath = "textures.bmp";
    p.neighbourRoom = 3;
    p.selectedItem = p.highlightedItem = p.selectedCamera = p.selectedFlyby = 1;
    c.scene.RoomOfInterest = 9;
    AddPlainRoom(*c.level, 0, 0, 3, 3);
    const tcuarto_list before = p;
    c.Run();
    EXPECT_EQ(p.name.str(), "TR2VEL Project File:  wall.tr2");
    EXPECT_EQ(p.comments.str(), "Created On:  24/12/2003");
    EXPECT_EQ(p.sparePath.str(), "");
    EXPECT_EQ(p.scriptDirectory.str(), "");
    EXPECT_EQ(p.buildDirectory.str(), "");
    EXPECT_EQ(std::make_tuple(p.basefilePath.str(), p.texturesfilePath.str()),
              std::make_tuple(before.basefilePath.str(), "textures.bmp"));
    EXPECT_EQ(
        std::make_tuple(p.roomCount, p.currentRoom, p.playerRoom, p.playerColumn, p.playerRow, c.scene.RoomOfInterest),
        std::make_tuple(uint8_t(1), uint8_t(1), int16_t(1), int16_t(2), int16_t(2), 1));
    EXPECT_EQ(std::make_tuple(p.itemCount, p.selectedItem, p.highlightedItem, p.cameraCount, p.selectedCamera,
                              p.triggerCount),
              std::make_tuple(int16_t(0), int16_t(0), int16_t(0), int16_t(0), int16_t(0), int16_t(0)));
    // Left as they were.
    EXPECT_EQ(std::make_tuple(p.neighbourRoom, p.flybyCount, p.selectedFlyby, p.soundSourceCount, p.selectedSoundSource,
                              p.animSetCount),
              std::make_tuple(before.neighbourRoom, before.flybyCount, before.selectedFlyby, before.soundSourceCount,
                              before.selectedSoundSource, before.animSetCount));
}

TEST(LevelConverter, TextsFromTheBasefileNameAndTheDate)
{
    TConversion c;
    for (const auto& [path, name] : std::vector<std::pair<std::string, std::string>>{
             {"/home/designer/levels/city.phd", "city.phd"},
             {"D:level.tr4", "level.tr4"},
             {"plain.trc", "plain.trc"},
             {"", ""},
             {"/x/" + std::string(90, 'n') + ".tr2", std::string(78, 'n')}}) {  // cut to 100 characters
        c.project.basefilePath = path;
        c.Run();
        EXPECT_EQ(c.project.name.str(), "TR2VEL Project File:  " + name);
    }
    c.hooks.Today = [] { return std::string(300, '7'); };
    c.Run();
    EXPECT_EQ(c.project.comments.size(), 250u);
    c.hooks.Today = nullptr;  // the system's short date
    c.Run();
    EXPECT_EQ(c.project.comments.str(), "Created On:  " + ShortDateText());
}

TEST(LevelConverter, HooksAndGaugesBetweenTheSteps)
{
    TConversion c;
    // No Basefile: an empty project and an empty index.
    FloorDataIndex.assign(10, 3);
    EXPECT_TRUE(Named(c).empty());
    EXPECT_EQ(
        std::make_tuple(c.project.roomCount, c.project.rooms.size(), FloorDataIndex.size(), FloorDataGroups.size()),
        std::make_tuple(uint8_t(0), size_t(1), size_t(0), size_t(1)));

    for (int i = 0; i < 130; ++i) AddPlainRoom(*c.level, i, 0, 1, 1);
    AddFloorData(*c.level, {0x8005});
    AddItem(*c.level, 1, 0, 0, 0, 0);
    c.options.includeItems = true;
    c.project.comments = "old";
    TProgressBar gauge2, gauge3;
    gauge2.SetMax(150);
    gauge3.SetPosition(40);
    c.hooks.Gauge2 = &gauge2;
    c.hooks.Gauge3 = &gauge3;
    std::vector<std::string> events;
    c.hooks.ProjectReset = [&] {
        events.push_back("reset " + std::to_string(c.project.roomCount) + " " + c.project.comments.str() + " " +
                         std::to_string(FloorDataIndex.size()));
    };
    c.hooks.MapReset = [&] {
        events.push_back("map " + c.project.comments.str() + " " + std::to_string(gauge2.Position()));
    };
    c.hooks.RoomNamed = [&](const std::string& n) {
        if (n == "Room#1" || n == "Room#2") events.push_back(n + " " + std::to_string(gauge2.Position()));
    };
    c.hooks.RoomsConverted = [&] {
        events.push_back("items " + std::to_string(c.project.itemCount) + " " + std::to_string(gauge3.Position()));
    };
    c.Run();
    // The floor-data index is made before the project changes.
    EXPECT_EQ(events, (std::vector<std::string>{"reset 0 old 2", "map Created On:  24/12/2003 25", "Room#1 26",
                                                "Room#2 27", "items 0 0"}));
    EXPECT_EQ(std::make_tuple(c.project.itemCount, gauge2.Position()),
              std::make_tuple(int16_t(1), 150));  // the gauge stops at its maximum
}

// ---------------------------------------------------------------------------
// Rooms

TEST(LevelConverter, RoomDefaultsFlagsSizeAndPosition)
{
    TConversion c;
    AddPlainRoom(*c.level, 2, 3, 4, 4);
    AddLevelRoom(*c.level, 0, 0, 3000, -1500, 3, 3, 8, -4);
    c.level->rooms[1].x = -1500;
    c.level->rooms[1].z = 5000;
    c.project.rooms.resize(2);
    c.project.rooms[1].ambientIntensity = 3;
    c.project.rooms[1].reservedWord = 9;
    // Flags, name, defaults; the flags of each bit, and none without the option.
    for (const auto& [flags, roomFlags, name] : std::vector<std::tuple<uint16_t, bool, std::string>>{
             {0x01 | 0x08 | 0x20 | 0x80 | 0x0100, true, "Room#1-Water-Wind-Sky-Quicksand"},
             {0x08, true, "Room#1-Wind"},
             {0x20, true, "Room#1-Sky"},
             {0x80, true, "Room#1-Quicksand"},
             {0xFF, false, "Room#1"}}) {
        c.level->rooms[0].flags = flags;
        c.options.includeRoomFlags = roomFlags;
        EXPECT_EQ(Named(c).at(0), name);
        const tcuarto& r = c.Room(1);
        EXPECT_EQ(r.name.str(), name);
        EXPECT_EQ(std::make_tuple(r.water, r.wind, r.sky, r.quicksand),
                  std::make_tuple(uint8_t(roomFlags && flags & 1), uint8_t(roomFlags && flags & 8),
                                  uint8_t(roomFlags && flags & 0x20), uint8_t(roomFlags && flags & 0x80)));
    }
    const tcuarto& r = c.Room(1);
    EXPECT_EQ(
        std::make_tuple(r.ambientIntensity, r.reservedWords[0], r.reservedWords[1], r.ambientColor, r.reservedColors[0],
                        r.reservedColors[1], r.reservedWord),
        std::make_tuple(int16_t(16), int16_t(-1), int16_t(-1), 0x00FFFFFFu, 0x00FFFFFFu, 0x00FFFFFFu, uint16_t(0)));
    EXPECT_EQ(
        std::make_tuple(r.x, r.z, r.y, r.height, r.columns, r.rows, r.sectors.ColumnSlots(), r.sectors.RowSlots()),
        std::make_tuple(2, 3, 32, uint16_t(4), uint16_t(4), uint16_t(4), 5, 5));
    // Divisions truncate toward zero: y 32 - 3000 div 1024, height 2 - (-1).
    const tcuarto& s = c.Room(2);
    EXPECT_EQ(std::make_tuple(s.x, s.z, s.y, s.height), std::make_tuple(-1, 4, 30, uint16_t(3)));
}

TEST(LevelConverter, LargeRoomsAreCutAndNamedSo)
{
    TConversion c;
    // 30 sectors along X and 25 along Z, 8 high; each level sector's floor names it.
    AddLevelRoom(*c.level, 0, 0, 0, -8192, 30, 25);
    for (int i = 0; i < ROOM_MAX_SECTORS; ++i) c.level->rooms[0].sectors[size_t(i)].floor = int8_t(-(i % 100));
    LevelSector(*c.level, 0, 2, 2).ceiling = -40;  // above the top: a room cut to 5 is not raised
    for (int i = 0; i < 11; ++i) AddPlainRoom(*c.level, 30 * i, 0, 2, 2);
    c.level->rooms[11].flags = c.level->rooms[0].flags = 0x01 | 0x08 | 0x20;
    const std::vector<std::string> names = Named(c);
    const tcuarto& r = c.Room(1);
    EXPECT_EQ(std::make_tuple(r.columns, r.rows, r.height, r.y),
              std::make_tuple(uint16_t(20), uint16_t(20), uint16_t(5), 32));
    // The whole name is listed, the room keeps 40 characters.
    EXPECT_EQ(names.at(0), "Room#1-Height-Length-Width-Water-Wind-Sky");
    EXPECT_EQ(r.name.str(), names[0].substr(0, 40));
    EXPECT_EQ(names.at(11), "Room#12-Water-Wind-Sky");
    // Sector (x, z) takes level sector (x - 1) x 25 + z - 1: the columns are not sheared.
    for (int x = 2; x <= 19; ++x)
        for (int z = 2; z <= 19; ++z)
            EXPECT_EQ(FloorClicks(r.sectors[x][z]), ((x - 1) * 25 + z - 1) % 100) << x << "," << z;
    // The last row and column become border walls.
    for (int k = 1; k <= 20; ++k)
        for (const tsector* s : {&r.sectors[20][k], &r.sectors[k][20]})
            EXPECT_EQ(std::make_tuple(s->floorBase, s->floorClicks, s->ceilingBase),
                      std::make_tuple(int8_t(5), int8_t(0), int8_t(0)));
}

TEST(LevelConverter, RoomsReachingPastTheirBoxAreRaisedAndLowered)
{
    // Interior sector (3, 3) of a 5 x 5 room reaches `below` clicks under its bottom and (2, 2) `above` clicks over its
    // top.
    struct TCase {
        int below, above;
        bool overlap, water, waterOption, roomFlags;
        int y, height;
    };
    for (const TCase& t :
         {TCase{4, 4, false, false, false, true, 31, 6}, TCase{4, 0, false, false, false, true, 31, 5},
          TCase{0, 4, false, false, false, true, 32, 5}, TCase{0, 1, false, false, false, true, 32, 5},
          TCase{1, 0, false, false, false, true, 31, 5}, TCase{0, 0, false, false, false, true, 32, 4},
          TCase{4, 4, true, false, false, true, 32, 4}, TCase{4, 4, false, true, true, true, 32, 4},
          TCase{4, 4, false, false, true, true, 31, 6}, TCase{4, 4, false, true, true, false, 31, 6}}) {
        TConversion c;
        AddPlainRoom(*c.level, 0, 0, 5, 5);
        LevelSector(*c.level, 0, 3, 3).floor = int8_t(t.below);
        LevelSector(*c.level, 0, 2, 2).ceiling = int8_t(-16 - t.above);
        // Border and wall sectors count for nothing.
        LevelSector(*c.level, 0, 1, 3).floor = 12;
        LevelSector(*c.level, 0, 3, 5).ceiling = -30;
        LevelSector(*c.level, 0, 4, 4) = troom_sector{0, 0, NONE, -127, NONE, -60};
        c.level->rooms[0].flags = t.water ? 0x01 : 0x08;
        c.options.doNotOverlapRooms = t.overlap;
        c.options.doNotOverlapWaterRooms = t.waterOption;
        c.options.includeRoomFlags = t.roomFlags;
        c.Run();
        const tcuarto& r = c.Room(1);
        EXPECT_EQ(std::make_tuple(r.y, int(r.height)), std::make_tuple(t.y, t.height))
            << t.below << " " << t.above << " " << t.overlap << t.water << t.waterOption << t.roomFlags;
        if (r.height != 6) continue;
        // Heights are measured from the final box; borders stand the room's height.
        EXPECT_EQ(
            std::make_tuple(FloorClicks(r.sectors[3][3]), CeilingClicks(r.sectors[2][2]), FloorClicks(r.sectors[2][3]),
                            CeilingClicks(r.sectors[2][3]), r.sectors[1][1].floorBase),
            std::make_tuple(0, 0, 4, 4, int8_t(6)));
    }
}

// ---------------------------------------------------------------------------
// Sectors

TEST(LevelConverter, SectorHeightsWallsAndVerticalPortals)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    c.options.doNotOverlapRooms = true;
    // Heights split toward zero; a floor or ceiling that opens to a room keeps its negative height.
    LevelSector(*c.level, 0, 3, 3) = troom_sector{0, 0, 1, 5, 1, -21};
    LevelSector(*c.level, 0, 2, 2).floor = -7;
    LevelSector(*c.level, 0, 4, 4) = troom_sector{0, 0, NONE, 5, NONE, -21};
    LevelSector(*c.level, 0, 2, 4) = troom_sector{0, 0, 1, -127, 1, -10};  // a wall
    // Rooms below and above in the first and last columns are dropped, in the first and last rows kept.
    LevelSector(*c.level, 0, 1, 3).room_below = LevelSector(*c.level, 0, 5, 2).room_above = 1;
    LevelSector(*c.level, 0, 3, 1).room_below = LevelSector(*c.level, 0, 2, 5).room_above = 1;
    LevelSector(*c.level, 0, 4, 2).room_below = 7;  // no such room
    c.Run();
    auto heights = [&](int x, int z) {
        const tsector& s = c.Sector(1, x, z);
        return std::vector<int>{s.floorBase, s.floorClicks, s.ceilingBase, s.ceilingClicks, s.roomBelow, s.roomAbove};
    };
    EXPECT_EQ(heights(3, 3), (std::vector<int>{-1, -1, -1, -1, 2, 2}));
    EXPECT_EQ(heights(2, 2), (std::vector<int>{1, 3, 0, 0, 0, 0}));
    EXPECT_EQ(heights(4, 4), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(heights(2, 4), (std::vector<int>{4, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::make_tuple(c.Sector(1, 1, 3).roomBelow, c.Sector(1, 5, 2).roomAbove, c.Sector(1, 3, 1).roomBelow,
                              c.Sector(1, 2, 5).roomAbove, c.Sector(1, 4, 2).roomBelow),
              std::make_tuple(uint8_t(0), uint8_t(0), uint8_t(2), uint8_t(2), uint8_t(0)));
    EXPECT_TRUE(HiddenFace(c.Sector(1, 3, 3).floorFaces[0]));
    EXPECT_TRUE(HiddenFace(c.Sector(1, 3, 3).ceilingFaces[0]));
    EXPECT_TRUE(HiddenFace(c.Sector(1, 1, 3).floorFaces[0]));
    EXPECT_FALSE(HiddenFace(c.Sector(1, 3, 3).floorFaces[1]));
    EXPECT_FALSE(HiddenFace(c.Sector(1, 4, 2).floorFaces[0]));

    // Without the options: fresh heights and faces, no links.
    c.options.includeVerticalPortals = c.options.includeFloorGeometry = c.options.includeCeilingGeometry = false;
    LevelSector(*c.level, 0, 2, 2).ceiling = -24;
    c.Run();
    EXPECT_EQ(heights(3, 3), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(heights(2, 2), (std::vector<int>{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c.Sector(1, 1, 2).floorBase, 4);
    EXPECT_FALSE(HiddenFace(c.Sector(1, 3, 3).floorFaces[0]));
}

// Room 0 (5 x 5) with a doorway in its last column, sector (5, 3), to room 1
// through a portal run; rooms 1 and 2 are the rooms beside it.
struct TSidePortal : TConversion {
    uint16_t run = 0;
    TSidePortal()
    {
        AddPlainRoom(*level, 0, 0, 5, 5);
        AddPlainRoom(*level, 5, 0, 5, 5);
        AddPlainRoom(*level, 0, 5, 5, 5);
        AddPortal(*level, 0, 1);
        AddPortal(*level, 0, 2);
        run = AddFloorData(*level, {0x8001, 0x0001});
        LevelSector(*level, 0, 5, 3).floor = -6;
        LevelSector(*level, 0, 5, 3).floor_data_index = run;
    }
    int Beside(int x, int z)
    {
        Run();
        return Sector(1, x, z).roomBeside;
    }
};

TEST(LevelConverter, SidePortalsLinkFlatDoorwaysOnTheBorder)
{
    TSidePortal c;
    // Slants on a doorway are flattened again; 6 clicks above the bottom.
    LevelSector(*c.level, 0, 5, 4).floor_data_index =
        AddFloorData(*c.level, {0x0002, 0x0003, 0x0003, 0x0001, 0x8001, 0x0001});
    for (auto [x, z] : {std::pair{1, 3}, std::pair{3, 1}, std::pair{3, 5}, std::pair{1, 1}, std::pair{3, 3}})
        LevelSector(*c.level, 0, x, z).floor_data_index = c.run;
    c.Run();
    const tsector& s = c.Sector(1, 5, 3);
    EXPECT_EQ(std::make_tuple(s.roomBeside, s.floorBase, s.floorClicks, s.ceilingBase),
              std::make_tuple(uint8_t(2), int8_t(1), int8_t(2), int8_t(0)));
    const tsector& t = c.Sector(1, 5, 4);
    EXPECT_EQ(std::make_tuple(t.roomBeside, t.floorBase, t.floorClicks),
              std::make_tuple(uint8_t(2), int8_t(0), int8_t(0)));
    EXPECT_EQ((std::vector<int>{t.floorXRise, t.floorXFall, t.floorZRise, t.floorZFall, t.ceilingXRise, t.ceilingXFall,
                                t.ceilingZRise, t.ceilingZFall}),
              std::vector<int>(8, 0))
        << "slopes: floor X rise, X fall, Z rise, Z fall; ceiling X rise, X fall, Z rise, Z fall";
    // Every border takes part, interior sectors and sectors without the run do not.
    EXPECT_EQ(std::make_tuple(c.Sector(1, 1, 3).roomBeside, c.Sector(1, 3, 1).roomBeside, c.Sector(1, 3, 5).roomBeside,
                              c.Sector(1, 1, 1).roomBeside, c.Sector(1, 3, 3).roomBeside, c.Sector(1, 5, 2).roomBeside,
                              c.Sector(1, 5, 2).floorBase),
              std::make_tuple(uint8_t(2), uint8_t(2), uint8_t(2), uint8_t(2), uint8_t(0), uint8_t(0), int8_t(4)));
}

TEST(LevelConverter, SidePortalsNeedAnOpenSectorARoomPortalAndThePortalFunction)
{
    EXPECT_EQ(TSidePortal().Beside(5, 3), 2);
    {
        TSidePortal c;  // a wall sector
        LevelSector(*c.level, 0, 5, 3).floor = -127;
        EXPECT_EQ(c.Beside(5, 3), 0);
        EXPECT_EQ(c.Sector(1, 5, 3).floorBase, 4);
    }
    {
        TSidePortal c;  // the room has no portal to that room
        c.level->rooms[0].portals[0].adjoining_room = 2;
        EXPECT_EQ(c.Beside(5, 3), 0);
    }
    {
        TSidePortal c;  // the option is off
        c.options.includeSidePortals = false;
        EXPECT_EQ(c.Beside(5, 3), 0);
        EXPECT_EQ(c.Sector(1, 5, 3).floorBase, 4);
        EXPECT_TRUE(c.result.sidePortalExclusions.empty());
    }
    {
        TSidePortal c;  // a trigger whose setup word is a room of the portals, after a portal to room 1
        LevelSector(*c.level, 0, 5, 3).floor_data_index =
            AddFloorData(*c.level, {0x0001, 0x0001, 0x0004, 0x0002, 0x8000, 0x8002, 0x0000});
        EXPECT_EQ(c.Beside(5, 3), 2);
        // A slant whose data word is a portal room is no doorway either.
        LevelSector(*c.level, 0, 5, 3).floor_data_index = AddFloorData(*c.level, {0x0001, 0x0002, 0x8002, 0x0001});
        EXPECT_EQ(c.Beside(5, 3), 3);
    }
    {
        TSidePortal c;  // rooms above are never taken as rooms beside; in the first row only at its ends
        LevelSector(*c.level, 0, 3, 3).room_above = 1;
        EXPECT_EQ(c.Beside(5, 3), 0);
        EXPECT_EQ(c.Sector(1, 5, 3).floorBase, 4);
        LevelSector(*c.level, 0, 3, 3).room_above = NONE;
        LevelSector(*c.level, 0, 3, 1).room_above = 1;
        EXPECT_EQ(c.Beside(5, 3), 2);
        LevelSector(*c.level, 0, 5, 1).room_above = 1;
        EXPECT_EQ(c.Beside(5, 3), 0);
    }
}

TEST(LevelConverter, ExclusionListHoldsEachRoomAboveOnce)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 4, 3);
    LevelSector(*c.level, 0, 1, 1).room_above = 4;  // first row, first column
    LevelSector(*c.level, 0, 2, 1).room_above = 5;  // first row inside: left out
    LevelSector(*c.level, 0, 2, 2).room_above = 6;
    LevelSector(*c.level, 0, 3, 3).room_above = 4;
    LevelSector(*c.level, 0, 4, 1).room_above = 7;  // first row, last column
    EXPECT_EQ(c.Run().sidePortalExclusions, (std::vector<std::string>{"5", "7", "8"}));
    TConversion d;  // a room of a single row takes every sector
    AddPlainRoom(*d.level, 0, 0, 3, 1);
    LevelSector(*d.level, 0, 2, 1).room_above = 9;
    EXPECT_EQ(d.Run().sidePortalExclusions, (std::vector<std::string>{"10"}));
}

TEST(LevelConverter, DeathSectorsAndSlantsFollowTheirRun)
{
    TConversion c;
    AddLevelRoom(*c.level, 0, 0, 0, -4096, 4, 4, -8, -8);
    LevelSector(*c.level, 0, 2, 2).floor_data_index = AddFloorData(*c.level, {0x8005});
    LevelSector(*c.level, 0, 3, 2).floor_data_index = AddFloorData(*c.level, {0x0002, 0x0000, 0x8005});
    LevelSector(*c.level, 0, 2, 3).floor_data_index = AddFloorData(*c.level, {0x0002, 0x0001, 0x8003, 0x0002});
    c.Run();
    EXPECT_EQ(c.Sector(1, 2, 2).death, 0);
    const tsector& s = c.Sector(1, 2, 3);
    EXPECT_EQ(std::make_tuple(s.floorXRise, FloorClicks(s), s.ceilingXRise, CeilingClicks(s)),
              std::make_tuple(int8_t(1), 7, int8_t(2), 6));
    c.options.includeDeathSectors = true;
    c.options.includeFloorAngles = c.options.includeCeilingAngles = false;
    c.Run();
    EXPECT_EQ(std::make_tuple(c.Sector(1, 2, 2).death, c.Sector(1, 3, 2).death, c.Sector(1, 2, 3).death,
                              c.Sector(1, 3, 3).death),
              std::make_tuple(uint8_t(1), uint8_t(1), uint8_t(0), uint8_t(0)));
    EXPECT_EQ(
        std::make_tuple(c.Sector(1, 2, 3).floorXRise, c.Sector(1, 2, 3).ceilingXRise, c.Sector(1, 2, 3).floorBase),
        std::make_tuple(int8_t(0), int8_t(0), int8_t(2)));
}

// Every sector of a room slanted, every other one a wall: the walls carry no
// slant whichever sector took one last, and the open ones carry theirs.
TEST(LevelConverter, SlantsAmongWallsLeaveTheWallsFlat)
{
    TConversion c;
    AddLevelRoom(*c.level, 0, 0, 0, -4096, 6, 6, -8, -8);
    const uint16_t run = AddFloorData(*c.level, {0x0002, 0x0001, 0x8003, 0x0002});
    for (int x = 1; x <= 6; ++x)
        for (int z = 1; z <= 6; ++z) {
            troom_sector& ls = LevelSector(*c.level, 0, x, z);
            if ((x + z) % 2) ls = WallSector();
            ls.floor_data_index = run;
        }
    c.Run();
    for (int x = 2; x <= 5; ++x)
        for (int z = 2; z <= 5; ++z) {
            const tsector& s = c.Sector(1, x, z);
            const int8_t slant = (x + z) % 2 ? 0 : 1;
            EXPECT_EQ(std::make_tuple(s.floorXRise, s.ceilingXRise), std::make_tuple(slant, int8_t(2 * slant)))
                << x << "," << z;
        }
}

TEST(LevelConverter, DamagedRoomsAreReadWithinTheirTables)
{
    TConversion c;
    // 30 x 30 sectors claimed, 512 stored: what lies past the table is wall.
    AddLevelRoom(*c.level, 0, 0, 0, -4096, 30, 30, -4, -16);
    c.level->rooms[0].num_portals = 60;
    c.level->rooms[0].sectors[5].floor_data_index = 60000;  // past the floor data
    c.level->num_rooms = 9;                                 // more than the level holds
    c.level->num_items = 4;
    c.options.includeItems = c.options.includeDeathSectors = true;
    c.scene.Project = nullptr;  // a scene of another project still leaves the room its grid
    c.Run();
    const tcuarto& p = c.Room(1);
    EXPECT_EQ(std::make_tuple(c.project.roomCount, c.project.itemCount, p.sectors.ColumnSlots()),
              std::make_tuple(uint8_t(1), int16_t(0), 21));
    EXPECT_EQ(std::make_tuple(FloorClicks(p.sectors[18][2]), p.sectors[18][3].floorBase, p.sectors[18][3].floorClicks),
              std::make_tuple(4, int8_t(4), int8_t(0)));  // sectors 511 and 512
}

// ---------------------------------------------------------------------------
// Items

TEST(LevelConverter, ItemsArePlacedInTheirRoomsSectors)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 4, 4);
    AddPlainRoom(*c.level, 4, 8, 4, 4);
    AddItem(*c.level, 5, 1, 5632, 9216 + 700, 0x4000);
    AddItem(*c.level, 600, 1, 4096, 8192, 0xC000);
    AddItem(*c.level, 2, 2, 0, 0, 0);   // no such room
    AddItem(*c.level, 2, -1, 0, 0, 0);  // no such room
    AddItem(*c.level, -3, 0, -100, 2047, 0xFFFF);
    c.project.items[1].flag = 0x55;
    c.project.items[1].highlight = 0x66;
    EXPECT_EQ(c.Run().itemsSkipped, 0);  // not without the option
    EXPECT_EQ(c.project.itemCount, 0);
    c.options.includeItems = true;
    EXPECT_EQ(c.Run().itemsSkipped, 2);
    EXPECT_EQ(c.project.itemCount, 3);
    // Correlative, room, column, row, object and angle; then the fixed fields.
    auto placement = [&](int i) {
        const titem t = c.project.items[size_t(i)];
        return std::vector<int64_t>{t.correlative, t.room,   t.column, t.row,       t.objectId,
                                    t.angle,       t.height, t.fineX,  t.fineY,     t.fineZ,
                                    t.ocb,         t.order,  t.amount, t.intensity, t.color};
    };
    EXPECT_EQ(placement(1), (std::vector<int64_t>{0, 2, 2, 2, 5, 2, 0, 0, 0, 0, 0, 0, 1, -1, 0xFFFFFF}));
    EXPECT_EQ(placement(2), (std::vector<int64_t>{1, 2, 1, 1, 600, 6, 0, 0, 0, 0, 0, 0, 1, -1, 0xFFFFFF}));
    EXPECT_EQ(placement(3),
              (std::vector<int64_t>{4, 1, 1, 2, -3, 7, 0, 0, 0, 0, 0, 0, 1, -1, 0xFFFFFF}));  // -100 div 1024 is 0
    EXPECT_EQ(std::make_tuple(c.project.items[1].flag, c.project.items[1].highlight),
              std::make_tuple(uint8_t(0x55), uint8_t(0x66)));
    // The item table holds 256 at most.
    for (int i = 0; i < 300; ++i) AddItem(*c.level, 1, 0, 0, 0, 0);
    EXPECT_EQ(c.Run().itemsSkipped, 49);
    EXPECT_EQ(std::make_tuple(c.project.itemCount, int64_t(c.project.items[256].correlative)),
              std::make_tuple(int16_t(256), int64_t(257)));
}

TEST(LevelConverter, AtMost255RoomsAreConverted)
{
    TConversion c;
    for (int i = 0; i < 257; ++i) AddPlainRoom(*c.level, i % 200, i / 200 * 3, 3, 3);
    AddPortal(*c.level, 0, 255);
    LevelSector(*c.level, 0, 3, 2).floor_data_index = AddFloorData(*c.level, {0x8001, 255});
    AddItem(*c.level, 1, 254, 0, 0, 0);
    AddItem(*c.level, 1, 255, 0, 0, 0);
    c.options.includeItems = true;
    EXPECT_EQ(Named(c).back(), "Room#255");
    EXPECT_EQ(std::make_tuple(c.project.roomCount, c.project.rooms.size(), c.Sector(1, 3, 2).roomBeside),
              std::make_tuple(uint8_t(255), size_t(256), uint8_t(0)));
    EXPECT_EQ(std::make_tuple(c.project.itemCount, int(c.project.items[1].room), c.result.itemsSkipped),
              std::make_tuple(int16_t(1), 255, 1));
}

// ---------------------------------------------------------------------------
// The whole command

TEST(LevelConverter, RunningTwiceGivesTheSameProject)
{
    TConversion c;
    TFixtureRandom rnd(7);
    for (int i = 0; i < 6; ++i) {
        const int n = AddLevelRoom(*c.level, rnd.Below(40), rnd.Below(40), 1024 * rnd.Below(8), -1024 * rnd.Below(8),
                                   1 + rnd.Below(24), 1 + rnd.Below(24));
        troom& r = c.level->rooms[size_t(n)];
        r.flags = uint16_t(rnd.Next());
        for (int k = 0; k < 3; ++k) AddPortal(*c.level, n, uint16_t(rnd.Below(6)));
        for (int s = 0; s < r.num_x_sectors * r.num_z_sectors && s < ROOM_MAX_SECTORS; ++s)
            r.sectors[size_t(s)] = troom_sector{uint16_t(rnd.Below(420)),
                                                0,
                                                uint8_t(rnd.Below(4) == 0 ? rnd.Below(6) : 255),
                                                int8_t(rnd.Below(5) == 0 ? -127 : rnd.Below(60) - 30),
                                                uint8_t(rnd.Below(4) == 0 ? rnd.Below(6) : 255),
                                                int8_t(rnd.Below(60) - 50)};
    }
    std::vector<uint16_t> words;
    for (int i = 0; i < 400; ++i) words.push_back(uint16_t(rnd.Next()));
    AddFloorData(*c.level, words);
    for (int i = 0; i < 20; ++i)
        AddItem(*c.level, int16_t(rnd.Below(600)), int16_t(rnd.Below(7)), int32_t(rnd.Next() % 50000),
                int32_t(rnd.Next() % 50000), uint16_t(rnd.Next()));
    c.options.includeItems = c.options.includeDeathSectors = true;
    c.Run();
    const tcuarto_list first = c.project;
    c.Run();
    EXPECT_EQ(AnyDifference(first, c.project), "");
}

// A run may repeat its functions any number of times. Every sector of a
// room of 20 x 20 reads one run of over 150,000 entries: the conversion
// costs the entries once, not once per sector, and the run acts as all its
// functions, though its group keeps only its first MAX_GROUP_ENTRIES as
// entries. Its 19,203 rounds of slants act as 3 (each takes 48 clicks off
// the floor's signed byte, 256 of them nothing), with the death its end
// brings.
TEST(LevelConverter, ALongRunCostsItsEntriesOnceAndActsAsAllItsFunctions)
{
    auto convert = [](int repeats) {
        TConversion c;
        AddPlainRoom(*c.level, 0, 0, 20, 20);
        AddPlainRoom(*c.level, 20, 0, 3, 3);
        AddPortal(*c.level, 0, 1);
        std::vector<uint16_t> run;
        for (int i = 0; i < repeats; ++i) {
            run.insert(run.end(), {FD_FLOOR_SLANT, 0x0030, FD_CEILING_SLANT, 0xFF02, FD_PORTAL, 1});
            run.insert(run.end(), {FD_PORTAL, 0});  // room 0 is no portal of its own
        }
        run.push_back(0x8000 | FD_DEATH);
        const uint16_t at = AddFloorData(*c.level, run);
        for (int x = 1; x <= 20; ++x)
            for (int z = 1; z <= 20; ++z) LevelSector(*c.level, 0, x, z).floor_data_index = at;
        c.options.includeDeathSectors = true;
        c.Run();
        return c.project;
    };
    static_assert(MAX_GROUP_ENTRIES == 16);
    const tcuarto_list longRun = convert(256 * 75 + 3), three = convert(3);
    EXPECT_EQ(AnyDifference(longRun, three), "");
    EXPECT_NE(AnyDifference(longRun, convert(4)), "");
    const tsector& s = longRun.rooms[1].sectors[5][5];
    // Three X rises of 48 clicks take 144 off the floor: the signed byte 112.
    EXPECT_EQ(std::tuple(int(s.floorXRise), int(s.floorBase), int(s.floorClicks)), std::tuple(48, 28, 0));
    EXPECT_EQ(s.death, 1);
    EXPECT_EQ(longRun.rooms[1].sectors[20][7].roomBeside, 2);
}

// Two rooms side by side, 4 x 5 sectors, written as a game level file, read
// back and converted: a doorway in the last column of the first, a slant and a
// death sector in it; the second lies one sector higher and is water.
class ConvertedLevelFile : public ::testing::TestWithParam<int> {};

TEST_P(ConvertedLevelFile, RoomsSectorsDoorwaysAndItems)
{
    const int code = GetParam();
    TLevelDesc d = MakeTwoRoomLevel(code, 1, 6);
    d.floor_data = {0x0000, 0x8001, 0x0001, 0x8002,
                    0x0002, 0x8005, 0x8001, 0x0000};  // portal 1, slant, death, portal 0
    d.rooms[0].sectors[1 * 5 + 1].floor_data_index = 3;
    d.rooms[0].sectors[2 * 5 + 3].floor_data_index = 5;
    for (const tlevel_item& it : {tlevel_item{7, 0, 1536, -256, 3584, 0x4000, 0, 0, 0},
                                  tlevel_item{9, 1, 6656, -1280, 4608, 0x8000, 0, 0, 0}}) {
        if (code <= LEVEL_TR1_TUB)
            d.items_tr1.push_back(titem_tr1{it.id, it.room, it.x, it.y, it.z, it.angle, 0, 0, 0});
        else d.items.push_back(it);
    }
    TempDir dir;
    const std::string name = dir.file("level") + LevelFileExtension(code);
    SaveLevelFile(name, d);
    TConversion c;
    ASSERT_EQ(c.level->LoadFromFile(name), LEVEL_LOADED);
    c.project.basefilePath = name;
    c.options.includeItems = c.options.includeDeathSectors = true;
    c.Run();
    EXPECT_EQ(c.project.name.str(), "TR2VEL Project File:  " + ExtractFileName(name));
    ASSERT_EQ(c.project.roomCount, 2);
    const tcuarto &a = c.Room(1), &b = c.Room(2);
    EXPECT_EQ(std::make_tuple(a.name.str(), b.name.str()), std::make_tuple("Room#1", "Room#2-Water"));
    EXPECT_EQ(std::make_tuple(a.columns, a.rows, a.x, b.x, a.z, a.y, b.y, a.height),
              std::make_tuple(uint16_t(4), uint16_t(5), 0, 4, 2, 32, 33, uint16_t(4)));
    // The doorways lead to each other at floor level; the wall beside stands the room's height.
    auto sector = [&](int room, int x, int z) {
        const tsector& s = c.Sector(room, x, z);
        return std::vector<int>{s.roomBeside, s.floorBase, s.floorClicks, s.floorXRise, s.death};
    };
    EXPECT_EQ(sector(1, 4, 3), (std::vector<int>{2, 0, 0, 0, 0}));
    EXPECT_EQ(sector(2, 1, 3), (std::vector<int>{1, 0, 0, 0, 0}));
    EXPECT_EQ(sector(1, 4, 2), (std::vector<int>{0, 4, 0, 0, 0}));
    EXPECT_EQ(sector(1, 2, 2), (std::vector<int>{0, 0, 0, 2, 0}));  // 0 - 2 clicks: a closed floor is never negative
    EXPECT_EQ(sector(1, 3, 4), (std::vector<int>{0, 0, 0, 0, 1}));
    ASSERT_EQ(c.project.itemCount, 2);
    const titem p = c.project.items[1], q = c.project.items[2];
    EXPECT_EQ(std::vector<int>({p.column, p.row, p.angle, p.objectId, q.room, q.column, q.angle, int(q.correlative)}),
              std::vector<int>({2, 2, 2, 7, 2, 3, 4, 1}));
}

INSTANTIATE_TEST_SUITE_P(Versions, ConvertedLevelFile, ::testing::Values(LEVEL_TR1, LEVEL_TR2, LEVEL_TR3, LEVEL_TR4),
                         [](const auto& info) { return "Version" + std::to_string(info.param); });

}  // namespace
