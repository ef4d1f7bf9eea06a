// Reading synthetic level files of every version back into the level record.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "level/trlevel.h"
#include "support/level_writer.h"
#include "support/temp_dir.h"
#include "trlevel_test_helpers.h"

using namespace trlevel_test;

namespace {

struct TVersionCase {
    int code;
    const char* fileName;
    uint32_t word;
};

std::ostream& operator<<(std::ostream& os, const TVersionCase& c)
{
    return os << "code " << c.code << " " << c.fileName << " word " << std::hex << c.word;
}

class TrlevelEveryVersion : public ::testing::TestWithParam<TVersionCase> {};

}  // namespace

TEST_P(TrlevelEveryVersion, ReadsEverySectionBack)
{
    const TVersionCase c = GetParam();
    TempDir dir;
    TSampleLevelSize size;
    size.rooms = 3;
    size.entries = 5;
    TLevelDesc d = MakeSampleLevel(c.code, size);
    d.version_word = c.word;
    const std::string name = dir.file(c.fileName);
    SaveLevelFile(name, d);
    const std::vector<uint8_t> before = ReadFileBytes(name);

    Ttrlevel level;
    ASSERT_EQ(level.LoadFromFile(name), LEVEL_LOADED);
    ExpectLevelMatches(level, d);
    // Reading never changes the file.
    EXPECT_EQ(ReadFileBytes(name), before);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, TrlevelEveryVersion,
    ::testing::Values(TVersionCase{LEVEL_TR1, "level.phd", 0x00000020}, TVersionCase{LEVEL_TR1_TUB, "LEVEL.TUB", 0x00000020},
                      TVersionCase{LEVEL_TR1_TUB, "level.tub", 0x00000020}, TVersionCase{LEVEL_TR2, "level.tr2", 0x0000002D},
                      TVersionCase{LEVEL_TR2_TRG, "LEVEL.TRG", 0x0000002D}, TVersionCase{LEVEL_TR2_TRG, "level.trg", 0x0000002D},
                      TVersionCase{LEVEL_TR3, "level.tr2", 0xFF080038}, TVersionCase{LEVEL_TR3, "level.tr2", 0xFF180038},
                      TVersionCase{LEVEL_TR4, "level.tr4", 0x00345254}, TVersionCase{LEVEL_TR4, "level.tr4", 0xFFFFFFF0},
                      TVersionCase{LEVEL_TRC, "level.trc", 0xFFFFFFF0}, TVersionCase{LEVEL_TRC, "LEVEL.TRC", 0x00345254}));

TEST(TrlevelNames, NameTestsAreCaseSensitiveSubstringsOfTheWholeName)
{
    TempDir dir;
    Ttrlevel level;
    // A TR1 file named with ".Tub" is an ordinary TR1 file.
    const TLevelDesc tr1 = MakeSampleLevel(LEVEL_TR1);
    SaveLevelFile(dir.file("level.Tub"), tr1);
    ASSERT_EQ(level.LoadFromFile(dir.file("level.Tub")), LEVEL_LOADED);
    ExpectLevelMatches(level, tr1);

    // The name rule looks at the whole name, folders included.
    ASSERT_EQ(mkdir(dir.file("set.TUB").c_str(), 0755), 0);
    const TLevelDesc tub = MakeSampleLevel(LEVEL_TR1_TUB);
    SaveLevelFile(dir.file("set.TUB/level.phd"), tub);
    ASSERT_EQ(level.LoadFromFile(dir.file("set.TUB/level.phd")), LEVEL_LOADED);
    EXPECT_EQ(level.version_code, LEVEL_TR1_TUB);
    ExpectLevelMatches(level, tub);

    // ".Trg" and ".Trc" match neither spelling.
    const TLevelDesc tr2 = MakeSampleLevel(LEVEL_TR2);
    SaveLevelFile(dir.file("level.Trg"), tr2);
    ASSERT_EQ(level.LoadFromFile(dir.file("level.Trg")), LEVEL_LOADED);
    EXPECT_EQ(level.version_code, LEVEL_TR2);
    TLevelDesc tr4 = MakeSampleLevel(LEVEL_TR4);
    tr4.version_word = 0xFFFFFFF0;
    SaveLevelFile(dir.file("level.Trc"), tr4);
    ASSERT_EQ(level.LoadFromFile(dir.file("level.Trc")), LEVEL_LOADED);
    EXPECT_EQ(level.version_code, LEVEL_TR4);
    ExpectLevelMatches(level, tr4);
}

TEST(TrlevelResults, MissingFileAndUnknownVersionLeaveAnEmptyRecord)
{
    TempDir dir;
    Ttrlevel level;
    const TLevelDesc d = MakeSampleLevel(LEVEL_TR2);
    SaveLevelFile(dir.file("a.tr2"), d);
    ASSERT_EQ(level.LoadFromFile(dir.file("a.tr2")), LEVEL_LOADED);

    EXPECT_EQ(level.LoadFromFile(dir.file("missing.tr2")), LEVEL_NO_FILE);
    ExpectEmptyLevel(level);

    ASSERT_EQ(level.LoadFromFile(dir.file("a.tr2")), LEVEL_LOADED);
    std::vector<uint8_t> bytes = ReadFileBytes(dir.file("a.tr2"));
    bytes[0] = 0x21;
    WriteFileBytes(dir.file("b.tr2"), bytes);
    EXPECT_EQ(level.LoadFromFile(dir.file("b.tr2")), LEVEL_UNKNOWN_VERSION);
    ExpectEmptyLevel(level);

    // An empty file has version word 0; a file of three bytes a partial word.
    WriteFileBytes(dir.file("empty.tr2"), std::vector<uint8_t>{});
    EXPECT_EQ(level.LoadFromFile(dir.file("empty.tr2")), LEVEL_UNKNOWN_VERSION);
    WriteFileBytes(dir.file("short.tr2"), std::vector<uint8_t>{0x2D, 0, 0});
    EXPECT_EQ(level.LoadFromFile(dir.file("short.tr2")), LEVEL_DAMAGED);
    ExpectEmptyLevel(level);

    // A folder of that name is no file.
    EXPECT_EQ(level.LoadFromFile(dir.path()), LEVEL_NO_FILE);

    // A write-protected file reads like any other.
    ASSERT_EQ(chmod(dir.file("a.tr2").c_str(), 0444), 0);
    ASSERT_EQ(level.LoadFromFile(dir.file("a.tr2")), LEVEL_LOADED);
    ExpectLevelMatches(level, d);
}

TEST(TrlevelTexturesOnly, LaterVersionsStopAfterTheTextilesButTr1IsReadWhole)
{
    TempDir dir;
    Ttrlevel level;

    const TLevelDesc tr1 = MakeSampleLevel(LEVEL_TR1);
    SaveLevelFile(dir.file("a.phd"), tr1);
    ASSERT_EQ(level.LoadFromFile(dir.file("a.phd"), true), LEVEL_LOADED);
    ExpectLevelMatches(level, tr1);

    const TLevelDesc tr2 = MakeSampleLevel(LEVEL_TR2);
    SaveLevelFile(dir.file("a.tr2"), tr2);
    ASSERT_EQ(level.LoadFromFile(dir.file("a.tr2"), true), LEVEL_LOADED);
    EXPECT_EQ(level.version_code, LEVEL_TR2);
    EXPECT_TRUE(SameBlock(level.textile8, tr2.textile8));
    EXPECT_TRUE(SameBlock(level.textile16, tr2.textile16));
    EXPECT_EQ(level.num_textiles, 1u);
    EXPECT_EQ(std::memcmp(level.palette.data(), tr2.palette.data(), sizeof tr2.palette), 0);
    EXPECT_EQ(level.num_rooms, 0);
    EXPECT_EQ(level.num_items, 0u);

    const TLevelDesc tr4 = MakeSampleLevel(LEVEL_TR4);
    SaveLevelFile(dir.file("a.tr4"), tr4);
    ASSERT_EQ(level.LoadFromFile(dir.file("a.tr4"), true), LEVEL_LOADED);
    EXPECT_TRUE(SameBlock(level.textile32, tr4.textile32));
    EXPECT_TRUE(SameBlock(level.textile16, tr4.textile16));
    EXPECT_TRUE(SameBlock(level.sample_data, tr4.sample_data));
    EXPECT_EQ(level.num_rooms, 0);
    EXPECT_EQ(level.num_object_textures, 0u);

    const TLevelDesc trc = MakeSampleLevel(LEVEL_TRC);
    SaveLevelFile(dir.file("a.trc"), trc);
    ASSERT_EQ(level.LoadFromFile(dir.file("a.trc"), true), LEVEL_LOADED);
    EXPECT_EQ(level.version_code, LEVEL_TRC);
    EXPECT_TRUE(SameBlock(level.textile_misc, trc.textile_misc));
    EXPECT_EQ(level.num_rooms, 0);
}

TEST(TrlevelPalette, EntryZeroIsMagentaAfterEveryLoad)
{
    TempDir dir;
    for (int code : {LEVEL_TR1, LEVEL_TR1_TUB, LEVEL_TR2, LEVEL_TR3, LEVEL_TR4, LEVEL_TRC}) {
        SCOPED_TRACE(code);
        TLevelDesc d = MakeSampleLevel(code);
        d.palette[0] = tpalette_entry{1, 2, 3};
        d.palette[1] = tpalette_entry{10, 20, 30};
        const std::string extension = LevelFileExtension(code);
        const std::string name = dir.file("p" + extension);
        SaveLevelFile(name, d);
        Ttrlevel level;
        ASSERT_EQ(level.LoadFromFile(name), LEVEL_LOADED);
        EXPECT_EQ(level.palette[0].red, 255);
        EXPECT_EQ(level.palette[0].green, 0);
        EXPECT_EQ(level.palette[0].blue, 255);
        if (code <= LEVEL_TR3) {
            // The first game keeps its palette after the light map, the .tub
            // variant after the sprite sequences, later ones at the start.
            EXPECT_EQ(level.palette[1].green, 20);
        }
    }
}

TEST(TrlevelGauge, StepsThroughTheLoad)
{
    TempDir dir;
    TProgressBar gauge;
    std::vector<int> steps;
    gauge.OnChange = [&](const TProgressBar& g) { steps.push_back(g.Position()); };
    Ttrlevel level;
    level.Gauge = &gauge;

    TSampleLevelSize size;
    size.rooms = 4;
    SaveLevelFile(dir.file("g.tr4"), MakeSampleLevel(LEVEL_TR4, size));
    ASSERT_EQ(level.LoadFromFile(dir.file("g.tr4")), LEVEL_LOADED);
    // Rooms: 50 plus the rounded share of 30 (7.5 rounds to 8, 22.5 to 22).
    EXPECT_EQ(steps, (std::vector<int>{0, 10, 20, 30, 40, 50, 58, 65, 72, 80, 80, 85, 90, 100, 0}));

    steps.clear();
    SaveLevelFile(dir.file("g.phd"), MakeSampleLevel(LEVEL_TR1, size));
    ASSERT_EQ(level.LoadFromFile(dir.file("g.phd")), LEVEL_LOADED);
    EXPECT_EQ(steps, (std::vector<int>{0, 10, 30, 50, 58, 65, 72, 80, 80, 85, 90, 100, 0}));
    EXPECT_EQ(level.Gauge, &gauge);

    // A refused file leaves the gauge at 0.
    steps.clear();
    WriteFileBytes(dir.file("bad.phd"), std::vector<uint8_t>{0x20, 0, 0, 0, 1});
    EXPECT_EQ(level.LoadFromFile(dir.file("bad.phd")), LEVEL_DAMAGED);
    EXPECT_EQ(steps.back(), 0);
    EXPECT_EQ(gauge.Position(), 0);
}

TEST(TrlevelReload, NothingOfThePreviousFileSurvives)
{
    TempDir dir;
    Ttrlevel level;
    TSampleLevelSize big;
    big.rooms = 5;
    big.entries = 9;
    SaveLevelFile(dir.file("a.trc"), MakeSampleLevel(LEVEL_TRC, big));
    SaveLevelFile(dir.file("b.tr4"), MakeSampleLevel(LEVEL_TR4, big));
    TSampleLevelSize small;
    small.rooms = 1;
    small.entries = 2;
    const TLevelDesc tr1 = MakeSampleLevel(LEVEL_TR1, small);
    SaveLevelFile(dir.file("c.phd"), tr1);
    const TLevelDesc tr4 = MakeSampleLevel(LEVEL_TR4, small);
    SaveLevelFile(dir.file("d.tr4"), tr4);

    ASSERT_EQ(level.LoadFromFile(dir.file("a.trc")), LEVEL_LOADED);
    ASSERT_EQ(level.LoadFromFile(dir.file("c.phd")), LEVEL_LOADED);
    ExpectLevelMatches(level, tr1);
    EXPECT_EQ(level.trc_marker, 0);
    EXPECT_EQ(level.textile32.data(), nullptr);
    ASSERT_EQ(level.LoadFromFile(dir.file("b.tr4")), LEVEL_LOADED);
    ASSERT_EQ(level.LoadFromFile(dir.file("d.tr4")), LEVEL_LOADED);
    ExpectLevelMatches(level, tr4);
    EXPECT_EQ(level.textile8.data(), nullptr);
}

TEST(TrlevelTrcLayers, OddTriangleCountSkipsTwoBytesBeforeTheVertices)
{
    TempDir dir;
    for (int triangles : {1, 2, 3}) {
        SCOPED_TRACE(triangles);
        TSampleLevelSize size;
        size.rooms = 2;
        size.trc_layers = 3;
        size.triangles = triangles;  // per layer: 3, 6 or 9 in all
        TLevelDesc d = MakeSampleLevel(LEVEL_TRC, size);
        // A fourth layer with one more triangle makes the sum even or odd.
        TTrcLayerDesc extra = d.rooms[0].layers[0];
        extra.triangles.resize(1);
        d.rooms[0].layers.push_back(extra);
        SaveLevelFile(dir.file("odd.trc"), d);
        Ttrlevel level;
        ASSERT_EQ(level.LoadFromFile(dir.file("odd.trc")), LEVEL_LOADED);
        ExpectLevelMatches(level, d);
        // The fourth layer repeats the first: its vertices merge, its faces add.
        const troom& r = level.rooms[0];
        EXPECT_EQ(r.num_vertices, 3 * (size.vertices - 1) + 1);
        EXPECT_EQ(r.num_triangles, 3 * triangles + 1);
        EXPECT_EQ(r.num_rectangles, 4 * size.rectangles);
        EXPECT_EQ(r.layer_headers.size(), 4u);
        EXPECT_EQ(r.layer_headers[3].num_triangles, 1);
    }
}

TEST(TrlevelTrcLayers, TablesFilledToTheirLimitsLoad)
{
    TempDir dir;
    TSampleLevelSize size;
    size.rooms = 1;
    size.trc_layers = 2;
    size.vertices = 750;  // 2 x 749 + 1 shared = 1499 common vertices
    size.rectangles = 1000;
    size.triangles = 625;
    TLevelDesc d = MakeSampleLevel(LEVEL_TRC, size);
    // One more vertex in the second layer fills the common table exactly.
    ttrc_vertex v = d.rooms[0].layers[1].vertices.back();
    v.x += 1.0f;
    v.y -= 3000.0f;
    d.rooms[0].layers[1].vertices.push_back(v);
    SaveLevelFile(dir.file("full.trc"), d);
    Ttrlevel level;
    ASSERT_EQ(level.LoadFromFile(dir.file("full.trc")), LEVEL_LOADED);
    EXPECT_EQ(level.rooms[0].num_vertices, ROOM_MAX_VERTICES);
    EXPECT_EQ(level.rooms[0].num_rectangles, ROOM_MAX_RECTANGLES);
    EXPECT_EQ(level.rooms[0].num_triangles, ROOM_MAX_TRIANGLES);
    ExpectLevelMatches(level, d);
}

TEST(TrlevelRooms, TablesFilledToTheirLimitsLoad)
{
    TempDir dir;
    for (int code : {LEVEL_TR1, LEVEL_TR2, LEVEL_TR3, LEVEL_TR4}) {
        SCOPED_TRACE(code);
        TSampleLevelSize size;
        size.rooms = 1;
        size.vertices = ROOM_MAX_VERTICES;
        size.rectangles = ROOM_MAX_RECTANGLES;
        size.triangles = ROOM_MAX_TRIANGLES;
        size.sprites = ROOM_MAX_SPRITES;
        size.portals = ROOM_MAX_PORTALS;
        size.x_sectors = 16;
        size.z_sectors = 32;
        size.lights = ROOM_MAX_LIGHTS;
        size.statics = ROOM_MAX_STATICS;
        const TLevelDesc d = MakeSampleLevel(code, size);
        SaveLevelFile(dir.file("full.lvl"), d);
        Ttrlevel level;
        ASSERT_EQ(level.LoadFromFile(dir.file("full.lvl")), LEVEL_LOADED);
        ExpectLevelMatches(level, d);
    }
}

TEST(TrlevelItems, BothLayoutsAreFilled)
{
    TempDir dir;
    TLevelDesc tr1 = MakeSampleLevel(LEVEL_TR1);
    tr1.items_tr1 = {titem_tr1{7, 2, 5632, -256, 9000, 0x4000, 0x12, 0x34, 0x3E00}};
    SaveLevelFile(dir.file("i.phd"), tr1);
    Ttrlevel level;
    ASSERT_EQ(level.LoadFromFile(dir.file("i.phd")), LEVEL_LOADED);
    ASSERT_EQ(level.num_items, 1u);
    EXPECT_EQ(level.items[0].id, 7);
    EXPECT_EQ(level.items[0].x, 5632);
    EXPECT_EQ(level.items[0].angle, 0x4000);
    EXPECT_EQ(level.items[0].intensity1, 0x12);
    EXPECT_EQ(level.items[0].intensity2, 0x34);
    EXPECT_EQ(level.items[0].flags, 0x3E00);

    TLevelDesc tr4 = MakeSampleLevel(LEVEL_TR4);
    tr4.items = {tlevel_item{-1, 3, 1, 2, 3, 0xC000, 0x1234, 0xABCD, 0x0100}};
    SaveLevelFile(dir.file("i.tr4"), tr4);
    ASSERT_EQ(level.LoadFromFile(dir.file("i.tr4")), LEVEL_LOADED);
    ASSERT_EQ(level.num_items, 1u);
    EXPECT_EQ(level.items_tr1[0].id, -1);
    EXPECT_EQ(level.items_tr1[0].intensity1, 0x34);
    EXPECT_EQ(level.items_tr1[0].intensity2, 0xCD);
    EXPECT_EQ(level.items_tr1[0].flags, 0x0100);
}

TEST(TrlevelAnimatedTextures, GroupsAreNumberedOnLoad)
{
    TempDir dir;
    TLevelDesc d = MakeSampleLevel(LEVEL_TR3);
    d.object_textures.resize(8);
    // Three ranges: {4, 5}, {0}, {7, 6, 1}.
    d.animated_textures = {3, 1, 4, 5, 0, 0, 2, 7, 6, 1};
    SaveLevelFile(dir.file("a.tr2"), d);
    Ttrlevel level;
    ASSERT_EQ(level.LoadFromFile(dir.file("a.tr2")), LEVEL_LOADED);
    std::vector<int> groups;
    for (const auto& t : level.object_textures) groups.push_back(t.group);
    EXPECT_EQ(groups, (std::vector<int>{2, 3, 0, 0, 1, 1, 3, 3}));
}
