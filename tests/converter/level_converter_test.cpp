#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_fixture.h"
#include "platform/rtl/progress.h"
#include "support/project_fixture.h"

namespace {

using namespace converter_test;

int Total(int8_t base, int8_t clicks) { return 4 * base + clicks; }

bool HiddenFace(const tface_texture& f)
{
    const tface_texture copy = f;
    for (const TUVPoint& p : copy.uv)
        if (p.u != 0.0f || p.v != 0.0f) return false;
    return copy.textureId == HIDDEN_FACE_TEXTURE && copy.mode == 1;
}

// ---------------------------------------------------------------------------
// Project reset and texts

TEST(LevelConverter, ResetsTheProjectAndKeepsWhatItDoesNotConvert)
{
    TConversion c;
    tcuarto_list& p = c.project;
    p.basefilePath = "C:\\Games\\TR2\\data\\wall.tr2";
    p.texturesfilePath = "textures.bmp";
    p.sparePath = "spare";
    p.scriptDirectory = "script";
    p.buildDirectory = "build";
    p.currentRoom = 7;
    p.neighbourRoom = 3;
    p.playerRoom = 4;
    p.playerColumn = 5;
    p.playerRow = 6;
    p.itemCount = 5;
    p.selectedItem = 2;
    p.highlightedItem = 3;
    p.cameraCount = 4;
    p.selectedCamera = 1;
    p.triggerCount = 2;
    p.triggers.resize(2);
    p.flybyCount = 2;
    p.selectedFlyby = 1;
    p.soundSourceCount = 3;
    p.selectedSoundSource = 2;
    p.animSetCount = 4;
    c.scene.RoomOfInterest = 9;
    AddPlainRoom(*c.level, 0, 0, 3, 3);
    c.Run();

    EXPECT_EQ(p.name.str(), "TR2VEL Project File:  wall.tr2");
    EXPECT_EQ(p.comments.str(), "Created On:  24/12/2003");
    EXPECT_TRUE(p.sparePath.empty());
    EXPECT_TRUE(p.scriptDirectory.empty());
    EXPECT_TRUE(p.buildDirectory.empty());
    EXPECT_EQ(p.basefilePath.str(), "C:\\Games\\TR2\\data\\wall.tr2");
    EXPECT_EQ(p.texturesfilePath.str(), "textures.bmp");
    EXPECT_EQ(p.roomCount, 1);
    EXPECT_EQ(p.currentRoom, 1);
    EXPECT_EQ(p.playerRoom, 1);
    EXPECT_EQ(p.playerColumn, 2);
    EXPECT_EQ(p.playerRow, 2);
    EXPECT_EQ(p.itemCount, 0);
    EXPECT_EQ(p.selectedItem, 0);
    EXPECT_EQ(p.highlightedItem, 0);
    EXPECT_EQ(p.cameraCount, 0);
    EXPECT_EQ(p.selectedCamera, 0);
    EXPECT_EQ(p.triggerCount, 0);
    EXPECT_EQ(c.scene.RoomOfInterest, 1);
    // Left as they were.
    EXPECT_EQ(p.neighbourRoom, 3);
    EXPECT_EQ(p.flybyCount, 2);
    EXPECT_EQ(p.selectedFlyby, 1);
    EXPECT_EQ(p.soundSourceCount, 3);
    EXPECT_EQ(p.selectedSoundSource, 2);
    EXPECT_EQ(p.animSetCount, 4);
}

TEST(LevelConverter, ProjectNameTakesTheFileNameOfTheBasefile)
{
    TConversion c;
    for (const auto& [path, name] : std::vector<std::pair<std::string, std::string>>{
             {"/home/designer/levels/city.phd", "city.phd"},
             {"D:level.tr4", "level.tr4"},
             {"plain.trc", "plain.trc"},
             {"", ""}}) {
        c.project.basefilePath = path;
        c.Run();
        EXPECT_EQ(c.project.name.str(), "TR2VEL Project File:  " + name);
    }

    // Cut to the field's 100 characters.
    c.project.basefilePath = "/x/" + std::string(90, 'n') + ".tr2";
    c.Run();
    EXPECT_EQ(c.project.name.str(), ("TR2VEL Project File:  " + std::string(90, 'n') + ".tr2").substr(0, 100));

    c.hooks.Today = [] { return std::string(300, '7'); };
    c.Run();
    EXPECT_EQ(c.project.comments.size(), 250u);

    // Without a date hook the system's short date is used.
    c.hooks.Today = nullptr;
    c.Run();
    EXPECT_EQ(c.project.comments.str(), "Created On:  " + ShortDateText());
}

TEST(LevelConverter, NoBasefileGivesAnEmptyProject)
{
    TConversion c;
    c.project.basefilePath = "C:\\old.tr4";
    std::vector<std::string> named;
    c.hooks.RoomNamed = [&](const std::string& n) { named.push_back(n); };
    FloorDataIndex.assign(10, 3);
    c.Run();
    EXPECT_EQ(c.project.roomCount, 0);
    EXPECT_EQ(c.project.rooms.size(), 1u);
    EXPECT_EQ(c.project.name.str(), "TR2VEL Project File:  old.tr4");
    EXPECT_TRUE(FloorDataIndex.empty());
    EXPECT_EQ(FloorDataGroups.size(), 1u);
    EXPECT_TRUE(named.empty());
}

TEST(LevelConverter, HooksRunBetweenTheSteps)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 3, 3);
    AddPlainRoom(*c.level, 3, 0, 3, 3);
    AddFloorData(*c.level, {0x8005});
    AddItem(*c.level, 1, 0, 1536, 1536, 0);
    c.options.includeItems = true;
    c.project.comments = "old";
    TProgressBar gauge2;
    TProgressBar gauge3;
    gauge2.SetMax(150);
    gauge3.SetPosition(40);
    c.hooks.Gauge2 = &gauge2;
    c.hooks.Gauge3 = &gauge3;

    std::vector<std::string> events;
    c.hooks.ProjectReset = [&] {
        events.push_back("reset rooms " + std::to_string(c.project.roomCount) + " " + c.project.comments.str());
    };
    c.hooks.MapReset = [&] {
        events.push_back("map " + c.project.comments.str() + " gauge " + std::to_string(gauge2.Position()));
    };
    c.hooks.RoomNamed = [&](const std::string& n) { events.push_back(n + " gauge " + std::to_string(gauge2.Position())); };
    c.hooks.RoomsConverted = [&] {
        events.push_back("rooms items " + std::to_string(c.project.itemCount) + " gauge3 " +
                         std::to_string(gauge3.Position()));
    };
    c.Run();
    EXPECT_EQ(events, (std::vector<std::string>{"reset rooms 0 old", "map Created On:  24/12/2003 gauge 0",
                                                "Room#1 gauge 26", "Room#2 gauge 27", "rooms items 0 gauge3 0"}));
    EXPECT_EQ(c.project.itemCount, 1);
    EXPECT_EQ(gauge2.Position(), 27);
}

TEST(LevelConverter, Gauge2StopsAtItsMaximum)
{
    TConversion c;
    c.level->rooms.reserve(130);
    for (int i = 0; i < 130; ++i) AddPlainRoom(*c.level, i, 0, 1, 1);
    AddFloorData(*c.level, {0x8005});
    TProgressBar gauge2;
    gauge2.SetMax(150);
    c.hooks.Gauge2 = &gauge2;
    c.Run();
    EXPECT_EQ(c.project.roomCount, 130);
    EXPECT_EQ(gauge2.Position(), 150);
}

// ---------------------------------------------------------------------------
// Rooms

TEST(LevelConverter, RoomDefaultsAndFlags)
{
    TConversion c;
    AddPlainRoom(*c.level, 2, 3, 4, 4);
    c.level->rooms[0].flags = 0x01 | 0x08 | 0x20 | 0x80 | 0x0100;
    c.project.rooms.resize(2);
    c.project.rooms[1].ambientIntensity = 3;
    c.project.rooms[1].reservedWord = 9;
    c.project.rooms[1].water = 7;
    std::vector<std::string> named;
    c.hooks.RoomNamed = [&](const std::string& n) { named.push_back(n); };
    c.Run();

    const tcuarto& r = c.Room(1);
    EXPECT_EQ(r.ambientIntensity, 16);
    EXPECT_EQ(r.reservedWords, (std::array<int16_t, 2>{-1, -1}));
    EXPECT_EQ(r.ambientColor, 0x00FFFFFFu);
    EXPECT_EQ(r.reservedColors, (std::array<uint32_t, 2>{0x00FFFFFF, 0x00FFFFFF}));
    EXPECT_EQ(r.reservedWord, 0);
    EXPECT_EQ(r.water, 1);
    EXPECT_EQ(r.wind, 1);
    EXPECT_EQ(r.sky, 1);
    EXPECT_EQ(r.quicksand, 1);
    EXPECT_EQ(named, (std::vector<std::string>{"Room#1-Water-Wind-Sky-Quicksand"}));
    EXPECT_EQ(r.name.str(), "Room#1-Water-Wind-Sky-Quicksand");
    EXPECT_EQ(r.x, 2);
    EXPECT_EQ(r.z, 3);
    EXPECT_EQ(r.y, 32);
    EXPECT_EQ(r.height, 4);
    EXPECT_EQ(r.columns, 4);
    EXPECT_EQ(r.rows, 4);
    ASSERT_EQ(r.sectors.ColumnSlots(), 5);
    ASSERT_EQ(r.sectors.RowSlots(), 5);

    c.level->rooms[0].flags = 0x08;
    c.Run();
    EXPECT_EQ(c.Room(1).water, 0);
    EXPECT_EQ(c.Room(1).wind, 1);
    EXPECT_EQ(c.Room(1).name.str(), "Room#1-Wind");

    c.options.includeRoomFlags = false;
    c.level->rooms[0].flags = 0xFF;
    c.Run();
    EXPECT_EQ(c.Room(1).water | c.Room(1).wind | c.Room(1).sky | c.Room(1).quicksand, 0);
    EXPECT_EQ(c.Room(1).name.str(), "Room#1");
}

TEST(LevelConverter, PositionDividesTowardZero)
{
    TConversion c;
    AddLevelRoom(*c.level, 0, 0, 3000, -1500, 3, 3, 8, -4);
    c.level->rooms[0].x = -1500;
    c.level->rooms[0].z = 5000;
    c.Run();
    const tcuarto& r = c.Room(1);
    EXPECT_EQ(r.x, -1);
    EXPECT_EQ(r.z, 4);
    EXPECT_EQ(r.y, 30);      // 32 - 3000 div 1024
    EXPECT_EQ(r.height, 3);  // 2 - (-1)
}

TEST(LevelConverter, LargeRoomsAreClampedWithoutShearingTheirColumns)
{
    TConversion c;
    // 30 sectors along X, 25 along Z; each level sector's floor names it.
    AddLevelRoom(*c.level, 0, 0, 0, -4096, 30, 25);
    for (int i = 0; i < ROOM_MAX_SECTORS; ++i) c.level->rooms[0].sectors[size_t(i)].floor = int8_t(-(i % 100));
    c.Run();
    const tcuarto& r = c.Room(1);
    EXPECT_EQ(r.columns, 20);
    EXPECT_EQ(r.rows, 20);
    EXPECT_EQ(r.name.str(), "Room#1-Length-Width");
    for (int x = 2; x <= 19; ++x)
        for (int z = 2; z <= 19; ++z) {
            const tsector& s = r.sectors[x][z];
            EXPECT_EQ(Total(s.floorBase, s.floorClicks), ((x - 1) * 25 + z - 1) % 100) << x << "," << z;
        }
    // The last row and column are border walls.
    for (int k = 1; k <= 20; ++k) {
        for (const tsector* s : {&r.sectors[20][k], &r.sectors[k][20]}) {
            EXPECT_EQ(s->floorBase, 4);
            EXPECT_EQ(s->floorClicks, 0);
            EXPECT_EQ(s->ceilingBase, 0);
        }
    }
}

TEST(LevelConverter, TallRoomsAreCutToFiveAndNeverRaisedOrLowered)
{
    TConversion c;
    AddLevelRoom(*c.level, 0, 0, 0, -8192, 4, 4);
    LevelSector(*c.level, 0, 2, 2).floor = 8;      // two steps below the bottom
    LevelSector(*c.level, 0, 3, 3).ceiling = -40;  // above the top
    c.Run();
    EXPECT_EQ(c.Room(1).height, 5);
    EXPECT_EQ(c.Room(1).y, 32);
    EXPECT_EQ(c.Room(1).name.str(), "Room#1-Height");
}

TEST(LevelConverter, LongNamesAreListedWholeAndStoredCut)
{
    TConversion c;
    for (int i = 0; i < 12; ++i) AddPlainRoom(*c.level, 30 * i, 0, 2, 2);
    AddLevelRoom(*c.level, 0, 40, 0, -8192, 21, 22);
    c.level->rooms[11].flags = 0x01 | 0x08 | 0x20;
    std::vector<std::string> named;
    c.hooks.RoomNamed = [&](const std::string& n) { named.push_back(n); };
    c.Run();
    ASSERT_EQ(named.size(), 13u);
    EXPECT_EQ(named[11], "Room#12-Water-Wind-Sky");
    EXPECT_EQ(named[12], "Room#13-Height-Length-Width");
    c.level->rooms[12].flags = 0x01 | 0x08 | 0x20;
    named.clear();
    c.Run();
    const std::string whole = "Room#13-Height-Length-Width-Water-Wind-Sky";
    EXPECT_EQ(named[12], whole);
    EXPECT_EQ(c.Room(13).name.str(), whole.substr(0, 40));
}

// A 5 x 5 room at y 32, 4 high, whose interior sector (3, 3) reaches one
// step below its bottom and (2, 2) one step above its top.
struct TOverlap : TConversion {
    TOverlap()
    {
        AddPlainRoom(*level, 0, 0, 5, 5);
        LevelSector(*level, 0, 3, 3).floor = 4;
        LevelSector(*level, 0, 2, 2).ceiling = -20;
    }
};

TEST(LevelConverter, RoomsReachingPastTheirBoxAreRaisedAndLowered)
{
    TOverlap c;
    c.Run();
    const tcuarto& r = c.Room(1);
    EXPECT_EQ(r.y, 31);
    EXPECT_EQ(r.height, 6);
    // Heights measured from the final box.
    EXPECT_EQ(Total(r.sectors[3][3].floorBase, r.sectors[3][3].floorClicks), 0);
    EXPECT_EQ(Total(r.sectors[2][2].ceilingBase, r.sectors[2][2].ceilingClicks), 0);
    EXPECT_EQ(Total(r.sectors[4][4].floorBase, r.sectors[4][4].floorClicks), 4);
    EXPECT_EQ(Total(r.sectors[4][4].ceilingBase, r.sectors[4][4].ceilingClicks), 4);
    EXPECT_EQ(r.sectors[1][1].floorBase, 6);  // borders stand the room's height

    // Only the floor: lowered alone.
    LevelSector(*c.level, 0, 2, 2).ceiling = -16;
    c.Run();
    EXPECT_EQ(c.Room(1).y, 31);
    EXPECT_EQ(c.Room(1).height, 5);

    // Only the ceiling: raised alone.
    LevelSector(*c.level, 0, 3, 3).floor = 0;
    LevelSector(*c.level, 0, 2, 2).ceiling = -20;
    c.Run();
    EXPECT_EQ(c.Room(1).y, 32);
    EXPECT_EQ(c.Room(1).height, 5);
}

TEST(LevelConverter, BorderAndWallSectorsDoNotRaiseOrLower)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    LevelSector(*c.level, 0, 1, 3).floor = 12;
    LevelSector(*c.level, 0, 3, 5).ceiling = -30;
    LevelSector(*c.level, 0, 3, 3) = troom_sector{0, 0, NONE, -127, NONE, -60};
    c.Run();
    EXPECT_EQ(c.Room(1).y, 32);
    EXPECT_EQ(c.Room(1).height, 4);
}

TEST(LevelConverter, OverlapOptionsKeepTheComputedBox)
{
    TOverlap c;
    c.options.doNotOverlapRooms = true;
    c.Run();
    EXPECT_EQ(c.Room(1).y, 32);
    EXPECT_EQ(c.Room(1).height, 4);

    // A water room keeps its box under "Do Not Overlap Water Rooms"...
    c.options.doNotOverlapRooms = false;
    c.options.doNotOverlapWaterRooms = true;
    c.level->rooms[0].flags = 0x01;
    c.Run();
    EXPECT_EQ(c.Room(1).y, 32);
    EXPECT_EQ(c.Room(1).height, 4);

    // ...a dry one does not...
    c.level->rooms[0].flags = 0x08;
    c.Run();
    EXPECT_EQ(c.Room(1).height, 6);

    // ...and without the room flags no room counts as water.
    c.level->rooms[0].flags = 0x01;
    c.options.includeRoomFlags = false;
    c.Run();
    EXPECT_EQ(c.Room(1).y, 31);
    EXPECT_EQ(c.Room(1).height, 6);
}

// ---------------------------------------------------------------------------
// Sectors

TEST(LevelConverter, HeightsAreSplitTowardZero)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    c.options.doNotOverlapRooms = true;
    troom_sector& s = LevelSector(*c.level, 0, 3, 3);
    s.floor = 5;        // 5 clicks below the bottom
    s.room_below = 1;   // a floor that opens downward keeps its negative height
    s.ceiling = -21;    // 5 clicks above the top
    s.room_above = 1;
    LevelSector(*c.level, 0, 2, 2).floor = -7;  // 7 clicks above the bottom
    LevelSector(*c.level, 0, 4, 4).floor = 5;   // below the bottom, closed
    LevelSector(*c.level, 0, 4, 4).ceiling = -21;
    c.Run();
    const tsector& a = c.Sector(1, 3, 3);
    EXPECT_EQ(a.floorBase, -1);
    EXPECT_EQ(a.floorClicks, -1);
    EXPECT_EQ(a.ceilingBase, -1);
    EXPECT_EQ(a.ceilingClicks, -1);
    EXPECT_EQ(c.Sector(1, 2, 2).floorBase, 1);
    EXPECT_EQ(c.Sector(1, 2, 2).floorClicks, 3);
    const tsector& b = c.Sector(1, 4, 4);
    EXPECT_EQ(b.floorBase, 0);
    EXPECT_EQ(b.floorClicks, 0);
    EXPECT_EQ(b.ceilingBase, 0);
    EXPECT_EQ(b.ceilingClicks, 0);
}

TEST(LevelConverter, GeometryOptionsLeaveTheFreshHeights)
{
    TConversion c;
    AddLevelRoom(*c.level, 0, 0, 0, -4096, 4, 4, -8, -8);
    c.Run();
    EXPECT_EQ(c.Sector(1, 2, 2).floorBase, 2);
    EXPECT_EQ(c.Sector(1, 2, 2).ceilingBase, 2);
    c.options.includeFloorGeometry = false;
    c.options.includeCeilingGeometry = false;
    c.Run();
    EXPECT_EQ(c.Sector(1, 2, 2).floorBase, 0);
    EXPECT_EQ(c.Sector(1, 2, 2).ceilingBase, 0);
    EXPECT_EQ(c.Sector(1, 1, 2).floorBase, 4);
}

TEST(LevelConverter, WallSectorsStandTheRoomsHeight)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    LevelSector(*c.level, 0, 3, 3) = troom_sector{0, 0, 1, -127, 1, -10};
    c.Run();
    const tsector& s = c.Sector(1, 3, 3);
    EXPECT_EQ(s.floorBase, 4);
    EXPECT_EQ(s.floorClicks, 0);
    EXPECT_EQ(s.ceilingBase, 0);
    EXPECT_EQ(s.ceilingClicks, 0);
    EXPECT_EQ(s.roomAbove, 0);
    EXPECT_EQ(s.roomBelow, 0);
}

TEST(LevelConverter, VerticalPortalsLinkAndHideTheirFaces)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    LevelSector(*c.level, 0, 3, 3).room_below = 1;
    LevelSector(*c.level, 0, 3, 3).room_above = 1;
    LevelSector(*c.level, 0, 1, 3).room_below = 1;  // first column
    LevelSector(*c.level, 0, 5, 2).room_above = 1;  // last column
    LevelSector(*c.level, 0, 3, 1).room_below = 1;  // first row
    LevelSector(*c.level, 0, 2, 5).room_above = 1;  // last row
    c.Run();
    const tsector& s = c.Sector(1, 3, 3);
    EXPECT_EQ(s.roomBelow, 2);
    EXPECT_EQ(s.roomAbove, 2);
    EXPECT_TRUE(HiddenFace(s.floorFaces[0]));
    EXPECT_TRUE(HiddenFace(s.ceilingFaces[0]));
    EXPECT_FALSE(HiddenFace(s.floorFaces[1]));
    EXPECT_EQ(c.Sector(1, 1, 3).roomBelow, 0);
    EXPECT_TRUE(HiddenFace(c.Sector(1, 1, 3).floorFaces[0]));
    EXPECT_EQ(c.Sector(1, 5, 2).roomAbove, 0);
    EXPECT_EQ(c.Sector(1, 3, 1).roomBelow, 2);
    EXPECT_EQ(c.Sector(1, 2, 5).roomAbove, 2);
    EXPECT_FALSE(HiddenFace(c.Sector(1, 2, 2).floorFaces[0]));

    c.options.includeVerticalPortals = false;
    c.Run();
    EXPECT_EQ(c.Sector(1, 3, 3).roomBelow, 0);
    EXPECT_EQ(c.Sector(1, 3, 3).roomAbove, 0);
    const tface_texture face = c.Sector(1, 3, 3).floorFaces[0];
    EXPECT_EQ(face.textureId, 0);
    const float u = face.uv[2].u;
    EXPECT_EQ(u, 1.0f);
}

TEST(LevelConverter, LinksToRoomsTheProjectDoesNotHoldAreDropped)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    AddPlainRoom(*c.level, 0, 0, 5, 5);
    LevelSector(*c.level, 0, 3, 3).room_below = 7;
    LevelSector(*c.level, 0, 3, 3).room_above = 2;
    LevelSector(*c.level, 0, 3, 2).room_below = 1;
    c.Run();
    EXPECT_EQ(c.Sector(1, 3, 3).roomBelow, 0);
    EXPECT_EQ(c.Sector(1, 3, 3).roomAbove, 0);
    EXPECT_FALSE(HiddenFace(c.Sector(1, 3, 3).floorFaces[0]));
    EXPECT_EQ(c.Sector(1, 3, 2).roomBelow, 2);
}

// Room 0 (5 x 5) with a doorway in its last column, sector (5, 3), to room
// 1 through a portal run; rooms 1 and 2 are the rooms beside it.
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
        troom_sector& door = LevelSector(*level, 0, 5, 3);
        door.floor = -6;
        door.floor_data_index = run;
    }
};

TEST(LevelConverter, SidePortalsLinkFlatDoorways)
{
    TSidePortal c;
    // Slants on the doorway are flattened again.
    const uint16_t slanted = AddFloorData(*c.level, {0x0002, 0x0003, 0x0003, 0x0001, 0x8001, 0x0001});
    LevelSector(*c.level, 0, 5, 4).floor_data_index = slanted;
    c.Run();
    const tsector& s = c.Sector(1, 5, 3);
    EXPECT_EQ(s.roomBeside, 2);
    EXPECT_EQ(s.floorBase, 1);  // 6 clicks above the bottom
    EXPECT_EQ(s.floorClicks, 2);
    EXPECT_EQ(s.ceilingBase, 0);
    const tsector& t = c.Sector(1, 5, 4);
    EXPECT_EQ(t.roomBeside, 2);
    EXPECT_EQ(t.floorXRise | t.floorXFall | t.floorZRise | t.floorZFall, 0);
    EXPECT_EQ(t.ceilingXRise | t.ceilingXFall | t.ceilingZRise | t.ceilingZFall, 0);
    EXPECT_EQ(t.floorBase, 0);
    EXPECT_EQ(t.floorClicks, 0);
    // Sectors without the run stay walls of the border.
    EXPECT_EQ(c.Sector(1, 5, 2).roomBeside, 0);
    EXPECT_EQ(c.Sector(1, 5, 2).floorBase, 4);
}

TEST(LevelConverter, SidePortalsNeedABorderOpenSectorAndARoomPortal)
{
    {
        TSidePortal c;  // interior sector
        LevelSector(*c.level, 0, 3, 3).floor_data_index = c.run;
        c.Run();
        EXPECT_EQ(c.Sector(1, 3, 3).roomBeside, 0);
    }
    {
        TSidePortal c;  // a wall sector
        LevelSector(*c.level, 0, 5, 3).floor = -127;
        c.Run();
        EXPECT_EQ(c.Sector(1, 5, 3).roomBeside, 0);
        EXPECT_EQ(c.Sector(1, 5, 3).floorBase, 4);
    }
    {
        TSidePortal c;  // the room has no portal to that room
        c.level->rooms[0].portals[0].adjoining_room = 2;
        c.Run();
        EXPECT_EQ(c.Sector(1, 5, 3).roomBeside, 0);
    }
    {
        TSidePortal c;  // the option is off
        c.options.includeSidePortals = false;
        c.Run();
        EXPECT_EQ(c.Sector(1, 5, 3).roomBeside, 0);
        EXPECT_EQ(c.Sector(1, 5, 3).floorBase, 4);
        EXPECT_TRUE(c.result.sidePortalExclusions.empty());
    }
    {
        TSidePortal c;  // first row, first column and last row take part too
        for (auto [x, z] : {std::pair{1, 3}, std::pair{3, 1}, std::pair{3, 5}, std::pair{1, 1}})
            LevelSector(*c.level, 0, x, z).floor_data_index = c.run;
        c.Run();
        for (auto [x, z] : {std::pair{1, 3}, std::pair{3, 1}, std::pair{3, 5}, std::pair{1, 1}})
            EXPECT_EQ(c.Sector(1, x, z).roomBeside, 2) << x << "," << z;
    }
}

TEST(LevelConverter, RoomsAboveAreNeverTakenAsRoomsBeside)
{
    TSidePortal c;
    LevelSector(*c.level, 0, 3, 3).room_above = 1;
    c.Run();
    EXPECT_EQ(c.Sector(1, 5, 3).roomBeside, 0);
    EXPECT_EQ(c.Sector(1, 5, 3).floorBase, 4);

    // A room above in the first row counts only at the row's two ends.
    LevelSector(*c.level, 0, 3, 3).room_above = NONE;
    LevelSector(*c.level, 0, 3, 1).room_above = 1;
    c.Run();
    EXPECT_EQ(c.Sector(1, 5, 3).roomBeside, 2);
    LevelSector(*c.level, 0, 5, 1).room_above = 1;
    c.Run();
    EXPECT_EQ(c.Sector(1, 5, 3).roomBeside, 0);
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
    c.Run();
    EXPECT_EQ(c.result.sidePortalExclusions, (std::vector<std::string>{"5", "7", "8"}));

    // A room of a single row takes every sector.
    TConversion d;
    AddPlainRoom(*d.level, 0, 0, 3, 1);
    LevelSector(*d.level, 0, 2, 1).room_above = 9;
    d.Run();
    EXPECT_EQ(d.result.sidePortalExclusions, (std::vector<std::string>{"10"}));
}

TEST(LevelConverter, OnlyPortalFunctionsNameTheRoomBeside)
{
    TSidePortal c;
    // A portal to room 1, then a trigger whose setup word happens to be 2,
    // the number of another room of the portals.
    const uint16_t run = AddFloorData(*c.level, {0x0001, 0x0001, 0x0004, 0x0002, 0x8000, 0x8002, 0x0000});
    LevelSector(*c.level, 0, 5, 3).floor_data_index = run;
    c.Run();
    EXPECT_EQ(c.Sector(1, 5, 3).roomBeside, 2);

    // A slant whose data word equals a portal room is no doorway either.
    const uint16_t slant = AddFloorData(*c.level, {0x0001, 0x0002, 0x8002, 0x0001});
    LevelSector(*c.level, 0, 5, 3).floor_data_index = slant;
    c.Run();
    EXPECT_EQ(c.Sector(1, 5, 3).roomBeside, 3);
}

TEST(LevelConverter, DeathSectorsFollowTheirRun)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 4, 4);
    LevelSector(*c.level, 0, 2, 2).floor_data_index = AddFloorData(*c.level, {0x8005});
    LevelSector(*c.level, 0, 3, 2).floor_data_index = AddFloorData(*c.level, {0x0002, 0x0000, 0x8005});
    LevelSector(*c.level, 0, 2, 3).floor_data_index = AddFloorData(*c.level, {0x8002, 0x0000});
    c.Run();
    EXPECT_EQ(c.Sector(1, 2, 2).death, 0);
    c.options.includeDeathSectors = true;
    c.Run();
    EXPECT_EQ(c.Sector(1, 2, 2).death, 1);
    EXPECT_EQ(c.Sector(1, 3, 2).death, 1);
    EXPECT_EQ(c.Sector(1, 2, 3).death, 0);
    EXPECT_EQ(c.Sector(1, 3, 3).death, 0);
}

TEST(LevelConverter, SlantsComeFromTheFloorData)
{
    TConversion c;
    AddLevelRoom(*c.level, 0, 0, 0, -4096, 4, 4, -8, -8);
    LevelSector(*c.level, 0, 2, 2).floor_data_index = AddFloorData(*c.level, {0x0002, 0x0001, 0x8003, 0x0002});
    c.Run();
    const tsector& s = c.Sector(1, 2, 2);
    EXPECT_EQ(s.floorXRise, 1);
    EXPECT_EQ(Total(s.floorBase, s.floorClicks), 7);
    EXPECT_EQ(s.ceilingXRise, 2);
    EXPECT_EQ(Total(s.ceilingBase, s.ceilingClicks), 6);

    c.options.includeFloorAngles = false;
    c.options.includeCeilingAngles = false;
    c.Run();
    EXPECT_EQ(c.Sector(1, 2, 2).floorXRise, 0);
    EXPECT_EQ(c.Sector(1, 2, 2).ceilingXRise, 0);
    EXPECT_EQ(c.Sector(1, 2, 2).floorBase, 2);
}

TEST(LevelConverter, DamagedRoomsAreReadWithinTheirTables)
{
    TConversion c;
    // 30 x 30 sectors claimed, 512 stored: what lies past the table is wall.
    AddLevelRoom(*c.level, 0, 0, 0, -4096, 30, 30, -4, -16);
    troom& r = c.level->rooms[0];
    r.num_portals = 60;
    r.sectors[5].floor_data_index = 60000;  // past the floor data
    c.level->num_rooms = 9;                 // more than the level holds
    c.level->num_items = 4;
    c.options.includeItems = true;
    c.options.includeDeathSectors = true;
    c.Run();
    EXPECT_EQ(c.project.roomCount, 1);
    EXPECT_EQ(c.project.itemCount, 0);
    const tcuarto& p = c.Room(1);
    EXPECT_EQ(Total(p.sectors[18][2].floorBase, p.sectors[18][2].floorClicks), 4);  // sector 511
    EXPECT_EQ(p.sectors[18][3].floorBase, 4);                                        // sector 512: a wall
    EXPECT_EQ(p.sectors[18][3].floorClicks, 0);
}

TEST(LevelConverter, SceneOfAnotherProjectStillLeavesEveryRoomItsGrid)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 3, 6);
    c.scene.Project = nullptr;
    c.Run();
    EXPECT_EQ(c.Room(1).sectors.ColumnSlots(), 4);
    EXPECT_EQ(c.Room(1).sectors.RowSlots(), 7);
}

TEST(LevelConverter, AtMost255RoomsAreConverted)
{
    TConversion c;
    c.level->rooms.reserve(257);
    for (int i = 0; i < 257; ++i) AddPlainRoom(*c.level, i % 200, i / 200 * 3, 3, 3);
    AddPortal(*c.level, 0, 255);
    const uint16_t run = AddFloorData(*c.level, {0x8001, 255});
    LevelSector(*c.level, 0, 3, 2).floor_data_index = run;
    AddItem(*c.level, 1, 254, 0, 0, 0);
    AddItem(*c.level, 1, 255, 0, 0, 0);
    c.options.includeItems = true;
    std::vector<std::string> named;
    c.hooks.RoomNamed = [&](const std::string& n) { named.push_back(n); };
    c.Run();
    EXPECT_EQ(c.project.roomCount, 255);
    EXPECT_EQ(c.project.rooms.size(), 256u);
    EXPECT_EQ(named.back(), "Room#255");
    EXPECT_EQ(c.Sector(1, 3, 2).roomBeside, 0);
    EXPECT_EQ(c.project.itemCount, 1);
    EXPECT_EQ(int(c.project.items[1].room), 255);
    EXPECT_EQ(c.result.itemsSkipped, 1);
}

// ---------------------------------------------------------------------------
// Items

struct TPlacement {
    int64_t correlative;
    int room, column, row, objectId, angle;
    bool operator==(const TPlacement&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TPlacement& p)
{
    return os << "{" << p.correlative << ", room " << p.room << ", column " << p.column << ", row " << p.row
              << ", object " << p.objectId << ", angle " << p.angle << "}";
}

TPlacement Placement(const titem& t)
{
    return {t.correlative, t.room, t.column, t.row, t.objectId, t.angle};
}

bool HasItemDefaults(const titem& t)
{
    return t.height == 0 && t.fineX == 0 && t.fineY == 0 && t.fineZ == 0 && t.ocb == 0 && t.order == 0 &&
           t.amount == 1 && t.intensity == -1 && t.color == 0x00FFFFFFu;
}

TEST(LevelConverter, ItemsArePlacedInTheirRoomsSectors)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 4, 4);
    AddPlainRoom(*c.level, 4, 8, 4, 4);
    AddItem(*c.level, 5, 1, 5632, 9216 + 700, 0x4000);
    AddItem(*c.level, 600, 1, 4096, 8192, 0xC000);
    AddItem(*c.level, 2, 7, 0, 0, 0);   // no such room
    AddItem(*c.level, 2, -1, 0, 0, 0);  // no such room
    AddItem(*c.level, -3, 0, -100, 2047, 0xFFFF);
    c.project.items[1].flag = 0x55;
    c.project.items[1].highlight = 0x66;
    c.options.includeItems = true;
    c.Run();

    ASSERT_EQ(c.project.itemCount, 3);
    EXPECT_EQ(c.result.itemsSkipped, 2);
    // correlative, room, column, row, object, angle; then the fixed fields.
    EXPECT_EQ(Placement(c.project.items[1]), (TPlacement{0, 2, 2, 2, 5, 2}));
    EXPECT_EQ(Placement(c.project.items[2]), (TPlacement{1, 2, 1, 1, 600, 6}));
    EXPECT_EQ(Placement(c.project.items[3]), (TPlacement{4, 1, 1, 2, -3, 7}));  // -100 div 1024 is 0
    for (int i = 1; i <= 3; ++i) EXPECT_TRUE(HasItemDefaults(c.project.items[size_t(i)])) << i;
    // Not the converter's.
    EXPECT_EQ(int(c.project.items[1].flag), 0x55);
    EXPECT_EQ(int(c.project.items[1].highlight), 0x66);
}

TEST(LevelConverter, ItemsLeftOutWithoutTheOption)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 4, 4);
    AddItem(*c.level, 5, 0, 0, 0, 0);
    c.Run();
    EXPECT_EQ(c.project.itemCount, 0);
}

TEST(LevelConverter, ItemTableHoldsAtMost256)
{
    TConversion c;
    AddPlainRoom(*c.level, 0, 0, 4, 4);
    for (int i = 0; i < 300; ++i) AddItem(*c.level, 1, 0, 0, 0, 0);
    c.options.includeItems = true;
    c.Run();
    EXPECT_EQ(c.project.itemCount, 256);
    EXPECT_EQ(c.result.itemsSkipped, 44);
    EXPECT_EQ(int64_t(c.project.items[256].correlative), 255);
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
        for (int s = 0; s < r.num_x_sectors * r.num_z_sectors && s < ROOM_MAX_SECTORS; ++s) {
            troom_sector& t = r.sectors[size_t(s)];
            t.floor = int8_t(rnd.Below(5) == 0 ? -127 : rnd.Below(60) - 30);
            t.ceiling = int8_t(rnd.Below(60) - 50);
            t.room_below = uint8_t(rnd.Below(4) == 0 ? rnd.Below(6) : 255);
            t.room_above = uint8_t(rnd.Below(4) == 0 ? rnd.Below(6) : 255);
        }
    }
    std::vector<uint16_t> words;
    for (int i = 0; i < 400; ++i) words.push_back(uint16_t(rnd.Next()));
    AddFloorData(*c.level, words);
    for (troom& r : c.level->rooms)
        for (auto& s : r.sectors) s.floor_data_index = uint16_t(rnd.Below(420));
    for (int i = 0; i < 20; ++i)
        AddItem(*c.level, int16_t(rnd.Below(600)), int16_t(rnd.Below(7)), int32_t(rnd.Next() % 50000),
                int32_t(rnd.Next() % 50000), uint16_t(rnd.Next()));
    c.options.includeItems = true;
    c.options.includeDeathSectors = true;

    c.Run();
    const tcuarto_list first = c.project;
    c.Run();
    EXPECT_EQ(AnyDifference(first, c.project), "");
}

}  // namespace
