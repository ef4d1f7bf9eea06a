// The game level reader on files of every version written by the level
// writer, its refusals of damaged files, and the level record's operations.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <tuple>

#include "level/trlevel.h"
#include "mem_block_match.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/work_meter.h"
#include "support/level_writer.h"
#include "support/scoped_value.h"
#include "support/temp_dir.h"
#include "support/zlib_stream.h"

namespace {

// The first n records of the table are the expected ones, byte for byte.
template <class T, class U>
::testing::AssertionResult Same(const T& table, size_t n, const std::vector<U>& expected)
{
    static_assert(sizeof(*std::data(table)) == sizeof(U));
    if (n != expected.size() || std::size(table) < n)
        return ::testing::AssertionFailure() << "count " << n << ", expected " << expected.size();
    if (n && std::memcmp(std::data(table), expected.data(), n * sizeof(U)) != 0)
        return ::testing::AssertionFailure() << "content differs";
    return ::testing::AssertionSuccess();
}

int16_t Round(float v) { return static_cast<int16_t>(std::nearbyint(v)); }

void ExpectRoom(const troom& a, const TRoomDesc& d, int code)
{
    EXPECT_EQ(std::tie(a.x, a.z, a.y_bottom, a.y_top, a.num_z_sectors, a.num_x_sectors, a.flags),
              std::tie(d.x, d.z, d.y_bottom, d.y_top, d.num_z_sectors, d.num_x_sectors, d.flags));
    EXPECT_TRUE(Same(a.sectors, size_t(a.num_z_sectors) * a.num_x_sectors, d.sectors));
    EXPECT_TRUE(Same(a.portals, a.num_portals, d.portals));
    if (code > LEVEL_TR1_TUB) { EXPECT_TRUE(Same(a.statics, a.num_statics, d.statics)); }
    if (code == LEVEL_TRC) {
        EXPECT_TRUE(Same(a.lights_trc, a.num_lights, d.lights_trc));
        EXPECT_TRUE(Same(a.trc_records, a.num_trc_records, d.trc_records));
        EXPECT_EQ(a.trc_tail, d.trc_tail);
        ASSERT_EQ(a.layers.count, d.layers.size());
        // Every layer as stored; the common tables hold every face and each distinct rounded position once.
        std::set<std::tuple<int16_t, int16_t, int16_t>> positions;
        size_t rectangles = 0, triangles = 0;
        for (size_t l = 0; l < d.layers.size(); ++l) {
            const TTrcLayerDesc& layer = d.layers[l];
            EXPECT_TRUE(Same(a.layers.vertices[l].entries, a.layers.vertices[l].count, layer.vertices));
            EXPECT_TRUE(Same(a.layers.rectangles[l].entries, a.layers.rectangles[l].count, layer.rectangles));
            EXPECT_TRUE(Same(a.layers.triangles[l].entries, a.layers.triangles[l].count, layer.triangles));
            for (const ttrc_vertex& v : layer.vertices) positions.insert({Round(v.x), Round(v.y), Round(v.z)});
            rectangles += layer.rectangles.size();
            triangles += layer.triangles.size();
        }
        EXPECT_EQ(std::tie(a.num_vertices, a.num_rectangles, a.num_triangles, a.num_sprites),
                  std::make_tuple(uint16_t(positions.size()), uint16_t(rectangles), uint16_t(triangles), uint16_t(0)));
        return;
    }
    // Both vertex forms hold every vertex, whichever the file stored.
    EXPECT_TRUE(Same(a.vertices_long, a.num_vertices, d.vertices));
    for (size_t i = 0; i < d.vertices.size(); ++i) EXPECT_EQ(std::memcmp(&a.vertices[i], &d.vertices[i], 8), 0) << i;
    EXPECT_TRUE(Same(a.rectangles, a.num_rectangles, d.rectangles));
    EXPECT_TRUE(Same(a.triangles, a.num_triangles, d.triangles));
    EXPECT_TRUE(Same(a.sprites, a.num_sprites, d.sprites));
    EXPECT_EQ(
        std::tie(a.num_data_words, a.ambient, a.ambient2, a.light_mode, a.alternate_room, a.water_scheme, a.filler),
        std::tie(d.num_data_words, d.ambient, d.ambient2, d.light_mode, d.alternate_room, d.water_scheme, d.filler));
    if (code <= LEVEL_TR1_TUB) {
        EXPECT_TRUE(Same(a.lights_tr1, a.num_lights, d.lights_tr1));
        EXPECT_TRUE(Same(a.statics_tr1, a.num_statics, d.statics_tr1));
    } else if (code <= LEVEL_TR3) {
        EXPECT_TRUE(Same(a.lights_tr2, a.num_lights, d.lights_tr2));
    } else {
        EXPECT_TRUE(Same(a.lights_tr4, a.num_lights, d.lights_tr4));
    }
}

// The textiles, the palettes and what else the version keeps apart.
void ExpectTextiles(const Ttrlevel& L, const TLevelDesc& d)
{
    const int code = d.version_code;
    if (code >= LEVEL_TR4) {
        EXPECT_EQ(std::tie(L.num_room_textiles, L.num_object_textiles, L.num_bump_textiles, L.num_samples),
                  std::tie(d.num_room_textiles, d.num_object_textiles, d.num_bump_textiles, d.num_samples));
        EXPECT_TRUE(SameBlock(L.textile32, d.textile32));
        EXPECT_TRUE(SameBlock(L.textile_misc, d.textile_misc));
        EXPECT_EQ(L.chunk_sizes[0].uncompressed, d.textile32.size());
        EXPECT_EQ(L.chunk_sizes[1].uncompressed, d.textile16.size());
        EXPECT_EQ(L.chunk_sizes[2].uncompressed, d.textile_misc.size());
        EXPECT_EQ(L.num_textiles, d.textile16.size() / (256 * 256 * 2));
        EXPECT_TRUE(Same(L.flyby_cameras, L.num_flyby_cameras, d.flyby_cameras));
        EXPECT_TRUE(Same(L.ai_objects, L.num_cinematic_frames, d.ai_objects));
    } else {
        EXPECT_EQ(L.num_textiles, d.num_textiles);
        EXPECT_TRUE(SameBlock(L.textile8, d.textile8));
        EXPECT_TRUE(Same(L.cinematic_frames, L.num_cinematic_frames, d.cinematic_frames));
        EXPECT_EQ(L.light_map, d.light_map);
    }
    EXPECT_EQ(L.textile8_bytes, L.num_textiles * 256 * 256);
    EXPECT_TRUE(SameBlock(L.textile16, d.textile16));
    if (code >= LEVEL_TR2 && code <= LEVEL_TR3) {
        EXPECT_EQ(std::memcmp(&L.palette16, &d.palette16, sizeof d.palette16), 0) << "16-bit palette";
    }
    if (code <= LEVEL_TR3) {
        auto palette = d.palette;
        palette[0] = tpalette_entry{255, 0, 255};  // whatever the file held
        EXPECT_EQ(std::memcmp(&L.palette, &palette, sizeof palette), 0);
    }
}

// Items in both layouts: the other one widened or cut to the low bytes.
void ExpectItems(const Ttrlevel& L, const TLevelDesc& d)
{
    std::vector<tlevel_item> items = d.items;
    std::vector<titem_tr1> itemsTr1 = d.items_tr1;
    for (const titem_tr1& a : d.items_tr1)
        items.push_back({a.id, a.room, a.x, a.y, a.z, a.angle, a.intensity1, a.intensity2, a.flags});
    for (const tlevel_item& b : d.items)
        itemsTr1.push_back(
            {b.id, b.room, b.x, b.y, b.z, b.angle, uint8_t(b.intensity1), uint8_t(b.intensity2), b.flags});
    EXPECT_TRUE(Same(L.items, L.num_items, items));
    EXPECT_TRUE(Same(L.items_tr1, L.num_items, itemsTr1));
}

// Every field of the record against the description (object texture groups aside).
void ExpectLevel(const Ttrlevel& L, const TLevelDesc& d)
{
    const int code = d.version_code;
    EXPECT_EQ(L.version_code, code);
    EXPECT_EQ(L.version, d.version_word ? d.version_word : LevelVersionWord(code));
    EXPECT_TRUE(L.tag == LEVEL_TAG);
    ExpectTextiles(L, d);
    EXPECT_EQ(L.rooms_unused, d.rooms_unused);
    ASSERT_EQ(L.num_rooms, d.rooms.size());
    ASSERT_EQ(L.rooms.size(), d.rooms.size());
    for (size_t i = 0; i < d.rooms.size(); ++i) {
        SCOPED_TRACE("room " + std::to_string(i));
        ExpectRoom(L.rooms[i], d.rooms[i], code);
    }
    if (code == LEVEL_TRC) {
        EXPECT_EQ(std::memcmp(L.trc_header, d.trc_header.data(), 32), 0);
        EXPECT_EQ(std::tie(L.trc_level_size2, L.trc_marker), std::make_tuple(d.trc_level_size2, uint16_t(3114)));
    }
    EXPECT_TRUE(Same(L.floor_data, L.num_floor_data, d.floor_data));
    EXPECT_TRUE(Same(L.mesh_data, L.num_mesh_data, d.mesh_data));
    EXPECT_TRUE(Same(L.mesh_pointers, L.num_mesh_pointers, d.mesh_pointers));
    EXPECT_TRUE(Same(L.animations, L.num_animations, d.animations));
    EXPECT_TRUE(Same(L.state_changes, L.num_state_changes, d.state_changes));
    EXPECT_TRUE(Same(L.anim_dispatches, L.num_anim_dispatches, d.anim_dispatches));
    EXPECT_TRUE(Same(L.anim_commands, L.num_anim_commands, d.anim_commands));
    EXPECT_TRUE(Same(L.mesh_trees, L.num_mesh_trees, d.mesh_trees));
    EXPECT_TRUE(Same(L.frames, L.num_frames, d.frames));
    EXPECT_TRUE(Same(L.moveables, L.num_moveables, d.moveables));
    EXPECT_TRUE(Same(L.static_meshes, L.num_static_meshes, d.static_meshes));
    std::vector<tobject_texture> textures = L.object_textures;
    for (auto& t : textures) t.group = 0;
    EXPECT_TRUE(Same(textures, L.num_object_textures, d.object_textures));
    EXPECT_TRUE(Same(L.sprite_textures, L.num_sprite_textures, d.sprite_textures));
    EXPECT_TRUE(Same(L.sprite_sequences, L.num_sprite_sequences, d.sprite_sequences));
    EXPECT_TRUE(Same(L.cameras, L.num_cameras, d.cameras));
    EXPECT_TRUE(Same(L.sound_sources, L.num_sound_sources, d.sound_sources));
    if (code <= LEVEL_TR1_TUB) EXPECT_TRUE(Same(L.boxes_tr1, L.num_boxes, d.boxes_tr1));
    else EXPECT_TRUE(Same(L.boxes, L.num_boxes, d.boxes));
    EXPECT_EQ(std::tie(L.num_zones, L.num_boxes),
              std::make_tuple(uint32_t(L.boxes.size()), uint32_t(L.boxes_tr1.size())));
    EXPECT_TRUE(Same(L.overlaps, L.num_overlaps, d.overlaps));
    for (int z = 0; z < 10; ++z) EXPECT_EQ(L.zones[z], d.zones[z]) << "zone array " << z + 1;
    EXPECT_TRUE(Same(L.animated_textures, L.num_animated_textures, d.animated_textures));
    ExpectItems(L, d);
    EXPECT_TRUE(Same(L.demo_data, L.num_demo_data, d.demo_data));
    EXPECT_EQ(L.sound_map, d.sound_map);
    EXPECT_TRUE(Same(L.sound_details, L.num_sound_details, d.sound_details));
    EXPECT_TRUE(SameBlock(L.sample_data, d.sample_data));
    EXPECT_EQ(L.sample_data_size, d.sample_data.size());
    EXPECT_TRUE(Same(L.sample_indices, L.num_sample_indices, d.sample_indices));
}

// A record with nothing loaded.
void ExpectEmpty(const Ttrlevel& L)
{
    EXPECT_EQ(std::tie(L.version_code, L.version, L.num_rooms, L.num_floor_data, L.num_items, L.num_boxes),
              std::make_tuple(0, 0u, uint16_t(0), 0u, 0u, 0u));
    EXPECT_TRUE(L.tag.empty());
    EXPECT_EQ(L.rooms.size(), 0u);
    EXPECT_EQ(L.items.size(), 0u);
    EXPECT_EQ(L.zones[9].size(), 0u);
    EXPECT_EQ(L.object_textures.size(), 0u);
    EXPECT_EQ(L.textile8.data(), nullptr);
    EXPECT_EQ(L.textile16.data(), nullptr);
    EXPECT_EQ(L.textile32.data(), nullptr);
    EXPECT_EQ(L.sample_data.data(), nullptr);
    EXPECT_EQ(L.palette[0].red, 0);
}

enum TSize { kSmall, kOddLayers, kFullTables };

TSampleLevelSize SizeOf(TSize s)
{
    TSampleLevelSize size;
    size.rooms = 3;
    size.entries = 5;
    if (s == kOddLayers) size.trc_layers = 3;  // three triangles each: 2 bytes before the vertices
    if (s == kFullTables) {
        size = TSampleLevelSize{1,
                                1,
                                ROOM_MAX_VERTICES,
                                ROOM_MAX_RECTANGLES,
                                ROOM_MAX_TRIANGLES,
                                ROOM_MAX_SPRITES,
                                ROOM_MAX_PORTALS,
                                16,
                                32,
                                ROOM_MAX_LIGHTS,
                                ROOM_MAX_STATICS,
                                2,
                                3,
                                1};
    }
    return size;
}

struct TVersionCase {
    int code;
    const char* name;
    uint32_t word;
    TSize size = kSmall;
};

std::ostream& operator<<(std::ostream& os, const TVersionCase& c) { return os << c.name << " " << std::hex << c.word; }

class TrlevelVersions : public ::testing::TestWithParam<TVersionCase> {};

}  // namespace

TEST_P(TrlevelVersions, ReadsEverySectionBack)
{
    const TVersionCase c = GetParam();
    TempDir dir;
    TSampleLevelSize size = SizeOf(c.size);
    if (c.size == kFullTables && c.code == LEVEL_TRC) {
        // Two layers: 1499 common vertices, all the faces the tables hold.
        size.vertices = 750;
        size.rectangles = ROOM_MAX_RECTANGLES / 2;
        size.triangles = ROOM_MAX_TRIANGLES / 2;
    }
    TLevelDesc d = MakeSampleLevel(c.code, size);
    d.version_word = c.word;
    const std::string name = dir.file(c.name);
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    SaveLevelFile(name, d);
    const std::vector<uint8_t> before = ReadFileBytes(name);
    Ttrlevel level;
    ASSERT_EQ(level.LoadFromFile(name), LEVEL_LOADED);
    ExpectLevel(level, d);
    EXPECT_EQ(ReadFileBytes(name), before);
    // The sample's animated ranges are {0, 1} and {2, 3, 4}.
    std::vector<int> groups;
    for (size_t i = 0; i < 6; ++i) groups.push_back(level.object_textures[i].group);
    EXPECT_EQ(groups, (std::vector<int>{1, 1, 2, 2, 2, 0}));
}

// Name rules: case-sensitive substrings of the whole name, folders included.
INSTANTIATE_TEST_SUITE_P(
    Files, TrlevelVersions,
    ::testing::Values(
        TVersionCase{LEVEL_TR1, "level.phd", 0x20}, TVersionCase{LEVEL_TR1, "level.Tub", 0x20},
        TVersionCase{LEVEL_TR1_TUB, "LEVEL.TUB", 0x20}, TVersionCase{LEVEL_TR1_TUB, "set.tub/level.phd", 0x20},
        TVersionCase{LEVEL_TR2, "level.tr2", 0x2D}, TVersionCase{LEVEL_TR2, "level.Trg", 0x2D},
        TVersionCase{LEVEL_TR2_TRG, "LEVEL.TRG", 0x2D}, TVersionCase{LEVEL_TR2_TRG, "level.trg", 0x2D},
        TVersionCase{LEVEL_TR3, "level.tr2", 0xFF080038}, TVersionCase{LEVEL_TR3, "a.tr2", 0xFF180038},
        TVersionCase{LEVEL_TR4, "level.tr4", 0x00345254}, TVersionCase{LEVEL_TR4, "level.Trc", 0xFFFFFFF0},
        TVersionCase{LEVEL_TRC, "level.trc", 0xFFFFFFF0}, TVersionCase{LEVEL_TRC, "LEVEL.TRC", 0x00345254},
        TVersionCase{LEVEL_TRC, "odd.trc", 0xFFFFFFF0, kOddLayers},
        TVersionCase{LEVEL_TR1, "full.phd", 0x20, kFullTables}, TVersionCase{LEVEL_TR2, "full.tr2", 0x2D, kFullTables},
        TVersionCase{LEVEL_TR3, "full.tr2", 0xFF180038, kFullTables},
        TVersionCase{LEVEL_TR4, "full.tr4", 0x00345254, kFullTables},
        TVersionCase{LEVEL_TRC, "full.trc", 0xFFFFFFF0, kFullTables}));

TEST(TrlevelFiles, ResultsOfFilesThatAreNoLevels)
{
    TempDir dir;
    Ttrlevel level;
    const TLevelDesc d = MakeSampleLevel(LEVEL_TR2);
    SaveLevelFile(dir.file("a.tr2"), d);
    std::vector<uint8_t> unknown = ReadFileBytes(dir.file("a.tr2"));
    unknown[0] = 0x21;
    WriteFileBytes(dir.file("b.tr2"), unknown);
    WriteFileBytes(dir.file("empty.tr2"), std::vector<uint8_t>{});
    WriteFileBytes(dir.file("short.tr2"), std::vector<uint8_t>{0x2D, 0, 0});
    const std::vector<std::pair<std::string, int>> cases = {{"missing.tr2", LEVEL_NO_FILE},
                                                            {"", LEVEL_NO_FILE},
                                                            {"b.tr2", LEVEL_UNKNOWN_VERSION},
                                                            {"empty.tr2", LEVEL_UNKNOWN_VERSION},
                                                            {"short.tr2", LEVEL_DAMAGED}};
    for (const auto& [name, result] : cases) {
        ASSERT_EQ(level.LoadFromFile(dir.file("a.tr2")), LEVEL_LOADED);
        EXPECT_EQ(level.LoadFromFile(name.empty() ? dir.path() : dir.file(name)), result) << name;
        ExpectEmpty(level);
    }
    // A write-protected file reads like any other.
    ASSERT_EQ(chmod(dir.file("a.tr2").c_str(), 0444), 0);
    ASSERT_EQ(level.LoadFromFile(dir.file("a.tr2")), LEVEL_LOADED);
    ExpectLevel(level, d);
}

TEST(TrlevelFiles, TexturesOnlyStopsAfterTheTextilesExceptForTr1)
{
    TempDir dir;
    Ttrlevel level;
    for (int code : {LEVEL_TR1, LEVEL_TR2, LEVEL_TR4, LEVEL_TRC}) {
        const TLevelDesc d = MakeSampleLevel(code);
        SaveLevelFile(dir.file("t") + LevelFileExtension(code), d);
        ASSERT_EQ(level.LoadFromFile(dir.file("t") + LevelFileExtension(code), true), LEVEL_LOADED);
        if (code == LEVEL_TR1) {
            ExpectLevel(level, d);  // its palette lies further on
            continue;
        }
        EXPECT_EQ(level.version_code, code);
        EXPECT_TRUE(SameBlock(level.textile16, d.textile16));
        EXPECT_TRUE(SameBlock(code == LEVEL_TR2 ? level.textile8 : level.textile32,
                              code == LEVEL_TR2 ? d.textile8 : d.textile32));
        EXPECT_EQ(
            std::make_tuple(uint32_t(level.num_rooms), uint32_t(level.num_object_textures), uint32_t(level.num_items)),
            std::make_tuple(0u, 0u, 0u))
            << code << ": rooms, object textures, items";
    }
    EXPECT_TRUE(SameBlock(level.textile_misc, MakeSampleLevel(LEVEL_TRC).textile_misc));
}

TEST(TrlevelFiles, GaugeStepsAndNothingOfAnEarlierFileSurvives)
{
    TempDir dir;
    TProgressBar gauge;
    std::vector<int> steps;
    gauge.OnChange = [&](const TProgressBar& g) { steps.push_back(g.Position()); };
    Ttrlevel level;
    level.Gauge = &gauge;
    TSampleLevelSize size;
    size.rooms = 4;
    size.entries = 9;
    SaveLevelFile(dir.file("g.trc"), MakeSampleLevel(LEVEL_TRC, size));
    SaveLevelFile(dir.file("g.tr4"), MakeSampleLevel(LEVEL_TR4, size));
    size.rooms = 1;
    size.entries = 2;
    const TLevelDesc tr1 = MakeSampleLevel(LEVEL_TR1, size);
    SaveLevelFile(dir.file("g.phd"), tr1);
    ASSERT_EQ(level.LoadFromFile(dir.file("g.trc")), LEVEL_LOADED);
    steps.clear();
    ASSERT_EQ(level.LoadFromFile(dir.file("g.tr4")), LEVEL_LOADED);
    // Rooms: 50 plus the rounded share of 30 (7.5 rounds to 8, 22.5 to 22).
    EXPECT_EQ(steps, (std::vector<int>{0, 10, 20, 30, 40, 50, 58, 65, 72, 80, 80, 85, 90, 100, 0}));
    ASSERT_EQ(level.LoadFromFile(dir.file("g.phd")), LEVEL_LOADED);
    ExpectLevel(level, tr1);
    EXPECT_EQ(level.trc_marker, 0);
    EXPECT_EQ(level.textile32.data(), nullptr);
    EXPECT_EQ(level.Gauge, &gauge);
    // A refused file leaves the gauge at 0.
    WriteFileBytes(dir.file("bad.phd"), std::vector<uint8_t>{0x20, 0, 0, 0, 1});
    EXPECT_EQ(level.LoadFromFile(dir.file("bad.phd")), LEVEL_DAMAGED);
    EXPECT_EQ(gauge.Position(), 0);
}

// A load charges its work to the load's meter as it is done: never more
// than the file's bytes and the level made of them allow, and a meter that
// runs out stops the load and leaves the record empty. (An outer scope
// stands for a load the level load runs inside, whose meter it shares.)
TEST(TrlevelFiles, TheWorkOfALoadIsCountedAsItIsDone)
{
    TempDir dir;
    for (int code : {LEVEL_TR1, LEVEL_TR2, LEVEL_TR3, LEVEL_TR4, LEVEL_TRC}) {
        TSampleLevelSize size = SizeOf(kFullTables);
        if (code == LEVEL_TRC) {
            // Two layers that fill the common tables.
            size.vertices = 750;
            size.rectangles = ROOM_MAX_RECTANGLES / 2;
            size.triangles = ROOM_MAX_TRIANGLES / 2;
        }
        const std::vector<uint8_t> bytes = WriteLevelFile(MakeSampleLevel(code, size));
        const std::string name = dir.file("full") + LevelFileExtension(code);
        WriteFileBytes(name, bytes);
        TWorkScope outer(bytes.size());
        Ttrlevel level;
        ASSERT_EQ(level.LoadFromFile(name), LEVEL_LOADED) << code;
        EXPECT_GE(outer.Meter().Spent(), bytes.size()) << code;
        EXPECT_LE(outer.Meter().Spent(), outer.Meter().Allowance()) << code;
    }
    TLevelDesc d = MakeSampleLevel(LEVEL_TR2);
    d.floor_data.assign(1 << 20, 7);
    SaveLevelFile(dir.file("floor.tr2"), d);
    TWorkScope outer(0);
    outer.Meter().Charge(TWorkMeter::BaseAllowance - 1000);
    Ttrlevel level;
    EXPECT_THROW(level.LoadFromFile(dir.file("floor.tr2")), EWorkSpent);
    ExpectEmpty(level);
}

// ---------------------------------------------------------------------------
// Refusals: a damaged file is refused as a whole and leaves an empty record.

namespace {

class TRefusal {
public:
    explicit TRefusal(int code) : name_(dir_.file("level") + LevelFileExtension(code))
    {
        SaveLevelFile(dir_.file("good.lvl"), MakeSampleLevel(LEVEL_TR2));
    }
    void Expect(const std::vector<uint8_t>& bytes, const std::string& what)
    {
        SCOPED_TRACE(what);
        WriteFileBytes(name_, bytes);
        ASSERT_EQ(level_.LoadFromFile(dir_.file("good.lvl")), LEVEL_LOADED);
        EXPECT_EQ(level_.LoadFromFile(name_), LEVEL_DAMAGED);
        ExpectEmpty(level_);
    }
    void Expect(const TLevelDesc& d, const std::string& what) { Expect(WriteLevelFile(d), what); }

private:
    TempDir dir_;
    std::string name_;
    Ttrlevel level_;
};

// A level small enough to damage in many ways.
TLevelDesc Small(int code, int textiles = 0)
{
    return MakeSampleLevel(code, TSampleLevelSize{2, textiles, 6, 3, 3, 1, 1, 2, 3, 2, 2, 2, 2, 1});
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class TrlevelRefusal : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(TrlevelRefusal, EveryTruncationIsRefused)
{
    TRefusal refusal(GetParam());
    TLevelDesc d = Small(GetParam());
    TLevelLayout layout;
    WriteLevelFile(d, &layout);
    // Around every marked field, and at a spread of other places.
    std::set<size_t> cuts = {layout.parsed_end - 1};
    for (const auto& [name, at] : layout.at)
        for (size_t c = at > 3 ? at - 3 : 0; c <= at + 3; ++c) cuts.insert(c);
    for (size_t c = 0; c < layout.parsed_end; c += std::max<size_t>(1, layout.parsed_end / 150)) cuts.insert(c);
    for (size_t cut : cuts) {
        if (cut >= layout.parsed_end || (GetParam() != LEVEL_TR4 && cut < 4)) continue;
        d.patch = [cut](std::vector<uint8_t>& stream, const TLevelLayout&) { stream.resize(cut); };
        refusal.Expect(d, "cut at " + std::to_string(cut));
        if (HasFailure()) return;
    }
}

TEST_P(TrlevelRefusal, CountsBeyondTheRestOfTheFileAreRefused)
{
    const int code = GetParam();
    TRefusal refusal(code);
    TLevelDesc d = Small(code);
    TLevelLayout layout;
    WriteLevelFile(d, &layout);
    for (const auto& [name, at] : layout.at) {
        // Counts only: TR4 and TRC samples are all the rest of the file.
        const bool roomField = name.rfind("room.", 0) == 0;
        if (name == "rooms_unused" || name == "zones" || name == "trc_level_size" ||
            (name == "samples" && code >= LEVEL_TR4) ||
            (roomField && (name.find('.', 5) == std::string::npos || name.find(".size") != std::string::npos ||
                           name.find(".header") != std::string::npos || name.find(".layers") != std::string::npos)))
            continue;
        // Room fields, the room count (the low half for TRC), the demo data and
        // the older versions' cinematic frames are 16-bit counts.
        const bool u16 =
            roomField || name == "rooms" || name == "demo_data" || (name == "cinematic_frames" && code < LEVEL_TR4);
        for (uint32_t count : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000u, 0xFFFFu, 0x1234u}) {
            if (u16 && count > 0xFFFF) continue;
            d.patch = [at = at, count, u16](std::vector<uint8_t>& s, const TLevelLayout&) {
                for (size_t i = 0; i < (u16 ? 2u : 4u); ++i) s[at + i] = static_cast<uint8_t>(count >> (8 * i));
            };
            refusal.Expect(d, name + " = " + std::to_string(count));
            if (HasFailure()) return;
        }
    }
}

TEST_P(TrlevelRefusal, RoomTablesBeyondTheirCapacityAreRefused)
{
    const int code = GetParam();
    TRefusal refusal(code);
    enum { kAll, kClassic, kTrc };
    const std::vector<std::tuple<std::string, int, std::function<void(TRoomDesc&)>>> changes = {
        {"vertices", kClassic, [](TRoomDesc& r) { r.vertices.resize(ROOM_MAX_VERTICES + 1); }},
        {"rectangles", kClassic, [](TRoomDesc& r) { r.rectangles.resize(ROOM_MAX_RECTANGLES + 1); }},
        {"triangles", kClassic, [](TRoomDesc& r) { r.triangles.resize(ROOM_MAX_TRIANGLES + 1); }},
        {"sprites", kClassic, [](TRoomDesc& r) { r.sprites.resize(ROOM_MAX_SPRITES + 1); }},
        {"portals", kAll, [](TRoomDesc& r) { r.portals.resize(ROOM_MAX_PORTALS + 1); }},
        {"513 sectors", kAll,
         [](TRoomDesc& r) {
             r.num_x_sectors = 19;
             r.num_z_sectors = 27;
             r.sectors.resize(513);
         }},
        {"sectors wrapping in 16 bits", kAll,
         [](TRoomDesc& r) {
             r.num_x_sectors = 0x101;
             r.num_z_sectors = 0x100;
             r.sectors.resize(256);
         }},
        {"lights", kAll,
         [](TRoomDesc& r) {
             r.lights_tr1.resize(ROOM_MAX_LIGHTS + 1);
             r.lights_tr2.resize(ROOM_MAX_LIGHTS + 1);
             r.lights_tr4.resize(ROOM_MAX_LIGHTS + 1);
             r.lights_trc.resize(ROOM_MAX_LIGHTS + 1);
         }},
        {"statics", kAll,
         [](TRoomDesc& r) {
             r.statics_tr1.resize(ROOM_MAX_STATICS + 1);
             r.statics.resize(ROOM_MAX_STATICS + 1);
         }},
        {"records", kTrc, [](TRoomDesc& r) { r.trc_records.resize(ROOM_MAX_TRC_RECORDS + 1); }},
        {"layer vertices", kTrc, [](TRoomDesc& r) { r.layers[0].vertices.resize(ROOM_MAX_VERTICES + 1); }},
        {"layer rectangles", kTrc, [](TRoomDesc& r) { r.layers[0].rectangles.resize(ROOM_MAX_RECTANGLES + 1); }},
        {"layer triangles", kTrc, [](TRoomDesc& r) { r.layers[0].triangles.resize(ROOM_MAX_TRIANGLES + 1); }},
        {"rectangles of all layers", kTrc,
         [](TRoomDesc& r) {
             r.layers[0].rectangles.resize(1000);
             r.layers[1].rectangles.resize(1001);
         }},
        {"triangles of all layers", kTrc,
         [](TRoomDesc& r) {
             r.layers[0].triangles.resize(625);
             r.layers[1].triangles.resize(626);
         }},
        {"distinct vertices of all layers", kTrc,
         [](TRoomDesc& r) {
             r.layers[0].vertices.resize(751);
             r.layers[1].vertices.resize(750);
             for (size_t i = 0; i < 1501; ++i) r.layers[i / 751].vertices[i % 751].x = static_cast<float>(i);
         }},
        {"a triangle naming a missing vertex", kTrc, [](TRoomDesc& r) { r.layers[1].triangles[0].vertices[2] = 6; }},
        {"a rectangle naming a missing vertex", kTrc, [](TRoomDesc& r) { r.layers[0].rectangles[2].vertices[3] = 6; }},
        {"a position beyond 16 bits", kTrc, [](TRoomDesc& r) { r.layers[1].vertices[3].y = 1e9f; }},
        {"a position that is no number", kTrc, [](TRoomDesc& r) { r.layers[0].vertices[2].z = std::nanf(""); }},
    };
    for (const auto& [what, kind, change] : changes) {
        if (kind != kAll && (kind == kTrc) != (code == LEVEL_TRC)) continue;
        TLevelDesc d = Small(code);
        change(d.rooms[1]);
        refusal.Expect(d, what);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, TrlevelRefusal,
                         ::testing::Values(LEVEL_TR1, LEVEL_TR1_TUB, LEVEL_TR2, LEVEL_TR2_TRG, LEVEL_TR3, LEVEL_TR4,
                                           LEVEL_TRC));

TEST(TrlevelRefusals, TrcWordsThatPointPastTheData)
{
    TRefusal refusal(LEVEL_TRC);
    TLevelLayout layout;
    const std::vector<uint8_t> good = WriteLevelFile(Small(LEVEL_TRC), &layout);
    const size_t layers = layout.at["room.1.header"] + offsetof(ttrc_room_header, num_layers);
    const size_t firstLayers = layout.at["room.0.header"] + offsetof(ttrc_room_header, num_layers);
    ASSERT_GT(good.size() - layout.at["room.1.header"], 40 * sizeof(ttr5_layer_header));
    for (const auto& [at, value] :
         std::vector<std::pair<size_t, uint32_t>>{{layout.at["room.0.size"], 0xFFFFFFF0u},
                                                  {layout.at["room.0.size"], 4},  // a room overrunning its size
                                                  {layers, 0x40000000u},
                                                  {layers, 3000},
                                                  // Layer headers that only the bytes after the room could hold.
                                                  {firstLayers, 40},
                                                  {layout.at["room.0.layers"], 1501},  // a layer's vertex count
                                                  {layout.at["trc_level_size"], 0x7FFFFFF0u},
                                                  {layout.at["rooms"], 0xFFFF}}) {
        std::vector<uint8_t> bad = good;
        PutU32(bad, at, value);
        refusal.Expect(bad, "word at " + std::to_string(at) + " = " + std::to_string(value));
    }
}

TEST(TrlevelRefusals, DamagedCompressedData)
{
    for (int code : {LEVEL_TR4, LEVEL_TRC}) {
        TRefusal refusal(code);
        TLevelLayout layout;
        const std::vector<uint8_t> good = WriteLevelFile(Small(code, 1), &layout);
        for (int c = 0; c < (code == LEVEL_TR4 ? 4 : 3); ++c) {
            const size_t at = layout.chunk_data[size_t(c)], n = layout.chunk_size[size_t(c)];
            const std::string chunk = std::to_string(code) + " chunk " + std::to_string(c);
            for (size_t offset : {n / 2, n - 1}) {  // flipped bytes in the middle and at the checksum
                std::vector<uint8_t> bad = good;
                bad[at + offset] ^= 0x5A;
                refusal.Expect(bad, chunk + " byte " + std::to_string(offset));
            }
            std::vector<uint8_t> bad = good;
            PutU32(bad, at - 8, static_cast<uint32_t>(n > 16 ? 16 : 0));
            refusal.Expect(bad, chunk + ": declared size smaller than the data");
            bad = good;
            PutU32(bad, at - 4, static_cast<uint32_t>(good.size()));
            refusal.Expect(bad, chunk + ": compressed size beyond the file");
            refusal.Expect(std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(at + n / 2)),
                           chunk + " cut");
        }
        std::vector<uint8_t> bomb = good;
        PutU32(bomb, layout.chunk_data[1] - 8, 1);
        refusal.Expect(bomb, "inflating far past the declared size");
    }
}

// The room records take about 150 KB each, whatever the file holds for
// them: many empty rooms in a small file are read as long as their records
// fit the memory a level may take, plain, in a container or in a TR4 level
// block, and a room more is refused.
TEST(TrlevelRefusals, RoomRecordsAreBoundedByTheMemoryALevelMayTake)
{
    TempDir dir;
    Ttrlevel level;
    constexpr size_t kRooms = 900;  // 135 MB of records in a file of 64 KB
    TLevelDesc tr2;
    tr2.version_code = LEVEL_TR2;
    tr2.rooms.resize(kRooms);
    const std::vector<uint8_t> plain = WriteLevelFile(tr2);
    TLevelDesc tr4;
    tr4.version_code = LEVEL_TR4;
    tr4.rooms.resize(kRooms);
    TLevelLayout layout;
    const std::vector<uint8_t> block = WriteLevelFile(tr4, &layout);
    struct Case {
        std::string name;
        std::vector<uint8_t> file;
        uint64_t content;  // what the level holds besides the records
    };
    for (const Case& c : {
             Case{"plain.tr2", plain, plain.size()},
             Case{"packed.tr2", ZlibContainer(plain), plain.size()},
             Case{"block.tr4", block, block.size() + layout.parsed_end},
         }) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir.file(c.name), c.file);
        const int64_t need = int64_t(c.content + kRooms * sizeof(troom));
        {
            TScopedValue limit(LevelMemoryLimit, need);
            ASSERT_EQ(level.LoadFromFile(dir.file(c.name)), LEVEL_LOADED);
            EXPECT_EQ(std::make_tuple(level.num_rooms, level.rooms.size()), std::make_tuple(kRooms, kRooms));
        }
        TScopedValue limit(LevelMemoryLimit, need - 1);
        EXPECT_EQ(level.LoadFromFile(dir.file(c.name)), LEVEL_DAMAGED);
        ExpectEmpty(level);
    }
}

// Everything a level's counts and compressed sizes make the reader allocate
// counts against what a level may take, and a level that needs more is
// refused as out of memory before the excess is allocated.
TEST(TrlevelRefusals, LevelsNeedingMoreThanALevelMayTakeAreRefused)
{
    TempDir dir;
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    Ttrlevel level;

    TLevelDesc zeros = Small(LEVEL_TR2);
    zeros.floor_data.assign(1 << 20, 0);
    const std::vector<uint8_t> plain = WriteLevelFile(zeros);
    TLevelDesc boxes = Small(LEVEL_TR2);
    boxes.boxes.resize(100000);
    TLevelDesc chunk = Small(LEVEL_TR4);
    chunk.textile32.assign(4 << 20, 0);
    struct Case {
        std::string label;
        std::vector<uint8_t> file;
        std::string extension;
        int64_t tooLittle;  // memory that does not do
    };
    const int64_t content = int64_t(plain.size());
    const std::vector<Case> cases = {
        // The floor data takes its bytes again beside the content.
        {"plain content", plain, ".tr2", 2 * content - 1},
        // The content inflates beyond the limit: nothing is shown, no block allocated.
        {"container", ZlibContainer(plain), ".tr2", content - 1},
        // 100000 boxes of 8 bytes take 28 bytes each in both layouts and 20 in the zones.
        {"boxes", WriteLevelFile(boxes), ".tr2", int64_t(WriteLevelFile(boxes).size()) + 100000 * 48 - 1},
        // A chunk of 4 MB of zeros.
        {"textile chunk", WriteLevelFile(chunk), ".tr4", 4 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        WriteFileBytes(dir.file("l") + c.extension, c.file);
        {
            TScopedValue limit(LevelMemoryLimit, c.tooLittle);
            EXPECT_EQ(level.LoadFromFile(dir.file("l") + c.extension), LEVEL_DAMAGED);
            ExpectEmpty(level);
        }
        EXPECT_EQ(level.LoadFromFile(dir.file("l") + c.extension), LEVEL_LOADED);
        EXPECT_TRUE(sink.messages.empty());
    }
}

// ---------------------------------------------------------------------------
// The record's operations

namespace {

uint8_t LightByte(const troom_vertex& v) { return static_cast<uint8_t>(static_cast<uint16_t>(v.light) >> 8); }

// Layers on the heap (each block holds a full table), filled by the tests.
struct TLayers {
    ttr5_layers layers;
    explicit TLayers(uint32_t count)
    {
        layers.count = count;
        layers.vertices.resize(count);
        layers.rectangles.resize(count);
        layers.triangles.resize(count);
    }
    TLayers& Vertex(uint32_t l, float x, float y, float z, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0)
    {
        layers.vertices[l].entries[layers.vertices[l].count++] = ttrc_vertex{x, y, z, 0, 0, 0, b, g, r, 0xFF};
        return *this;
    }
    TLayers& Rectangle(uint32_t l, std::array<uint16_t, 4> v, uint16_t texture = 0, uint16_t flags = 0)
    {
        layers.rectangles[l].entries[layers.rectangles[l].count++] =
            ttrc_rectangle{{v[0], v[1], v[2], v[3]}, texture, flags};
        return *this;
    }
    TLayers& Triangle(uint32_t l, std::array<uint16_t, 3> v, uint16_t texture = 0, uint16_t flags = 0)
    {
        layers.triangles[l].entries[layers.triangles[l].count++] = ttrc_triangle{{v[0], v[1], v[2]}, texture, flags};
        return *this;
    }
};

}  // namespace

TEST(TrlevelRecord, RoomVerticesAreFoundAddedAndMerged)
{
    auto room = std::make_unique<troom>();
    EXPECT_EQ(RoomVertexFind(*room, 0, 0, 0), 0);
    RoomVertexAdd(*room, 10, -20, 100, 30);
    ASSERT_EQ(room->num_vertices, 1);
    EXPECT_EQ(RoomVertexFind(*room, 10, -20, 30), 1);
    EXPECT_EQ(RoomVertexFind(*room, 10, 30, -20), 0);
    EXPECT_EQ(std::memcmp(&room->vertices[0], &room->vertices_long[0], 8), 0);
    EXPECT_EQ(std::tie(room->vertices[0].x, room->vertices[0].z), std::make_tuple(int16_t(10), int16_t(30)));
    // Adding it again averages the light byte.
    RoomVertexAdd(*room, 10, -20, 201, 30);
    RoomVertexAdd(*room, 10, -20, 255, 30);
    EXPECT_EQ(std::tie(room->num_vertices), std::make_tuple(uint16_t(1)));
    EXPECT_EQ(LightByte(room->vertices[0]), (150 + 255) / 2);
    // With two equal vertices find returns the first.
    room->vertices[1] = room->vertices[0];
    room->num_vertices = 2;
    EXPECT_EQ(RoomVertexFind(*room, 10, -20, 30), 1);
    // A full table takes no more vertices but still merges.
    room->num_vertices = 0;
    for (int i = 0; i < ROOM_MAX_VERTICES; ++i) RoomVertexAdd(*room, static_cast<int16_t>(i), 0, 8, 0);
    EXPECT_EQ(RoomVertexFind(*room, 1499, 0, 0), 1500);
    RoomVertexAdd(*room, 5000, 0, 8, 0);
    RoomVertexAdd(*room, 1499, 0, 0, 0);
    EXPECT_EQ(std::tie(room->num_vertices), std::make_tuple(uint16_t(ROOM_MAX_VERTICES)));
    EXPECT_EQ(RoomVertexFind(*room, 5000, 0, 0), 0);
    EXPECT_EQ(LightByte(room->vertices[1499]), 4);
    // A damaged count above the table is searched only as far as the table goes.
    room->num_vertices = 60000;
    EXPECT_EQ(RoomVertexFind(*room, 5000, 0, 0), 0);
}

TEST(TrlevelRecord, TrcLayersMergeIntoTheCommonTables)
{
    TLayers t(2);
    t.Vertex(0, 0.4f, 0, 0, 255, 128, 8).Vertex(0, 1024, 0, 0).Vertex(0, 1024, -256, 0).Vertex(0, 0, -256, 0);
    // The second layer shares two positions with the first after rounding (halves to even).
    t.Vertex(1, 1023.6f, -256.2f, 0, 8, 16, 248)
        .Vertex(1, 2048, -256, 0)
        .Vertex(1, 1024, 0, 0.5f)
        .Vertex(1, -0.5f, 2.5f, -3.5f);
    t.Rectangle(0, {0, 1, 2, 3}, 0x8005, 7).Triangle(1, {0, 1, 2}, 12, 9).Triangle(1, {2, 1, 3}, 13, 0);
    auto room = std::make_unique<troom>();
    room->num_vertices = 99;  // whatever the room held is replaced
    ASSERT_TRUE(ConvertTrcRoomLayers(t.layers, *room));
    ASSERT_EQ(room->num_vertices, 6);
    EXPECT_EQ(std::tie(room->vertices[4].x, room->vertices[4].y), std::make_tuple(int16_t(2048), int16_t(-256)));
    EXPECT_EQ(std::tie(room->vertices[5].x, room->vertices[5].y, room->vertices[5].z),
              std::make_tuple(int16_t(0), int16_t(2), int16_t(-4)));
    // Colour 5-5-5 from the colour bytes; a merged vertex takes the later layer's.
    EXPECT_EQ(room->vertices_long[0].colour, (31 << 10) | (16 << 5) | 1);
    EXPECT_EQ(room->vertices_long[2].colour, (1 << 10) | (2 << 5) | 31);
    EXPECT_FLOAT_EQ(room->vertices_trc[2].x, 1023.6f);
    ASSERT_EQ(std::tie(room->num_rectangles, room->num_triangles), std::make_tuple(uint16_t(1), uint16_t(2)));
    const troom_rectangle q = room->rectangles[0];
    EXPECT_EQ(std::tie(q.vertices[0], q.vertices[3], q.texture),
              std::make_tuple(uint16_t(0), uint16_t(3), uint16_t(0x8005)));
    EXPECT_EQ(room->rectangles_trc[0].flags, 7);
    // Layer 1's vertices 0, 1, 2, 3 are common vertices 2, 4, 1, 5 (from 0).
    const troom_triangle a = room->triangles[0], b = room->triangles[1];
    EXPECT_EQ(std::tie(a.vertices[0], a.vertices[1], a.vertices[2]),
              std::make_tuple(uint16_t(2), uint16_t(4), uint16_t(1)));
    EXPECT_EQ(std::tie(b.vertices[2], b.texture, room->triangles_trc[0].flags),
              std::make_tuple(uint16_t(5), uint16_t(13), uint16_t(9)));
}

// Merging the layers gives the tables that adding every layer vertex one by
// one gives, whatever positions the layers share and in whatever order: a
// table of 1500 positions met again in every layer, and positions drawn at
// random from a few hundred.
TEST(TrlevelRecord, TrcLayersMergeAsVerticesAddedOneByOne)
{
    std::mt19937 random(7);
    auto coordinate = [&](int range) {
        const float offsets[] = {0.0f, 0.4f, -0.3f};
        return static_cast<float>(int(random() % unsigned(range)) * 256 - 4096) + offsets[random() % 3];
    };
    struct Case {
        const char* label;
        uint32_t layers;
        std::function<void(TLayers&, uint32_t)> fill;
    };
    const std::vector<Case> cases = {
        {"every layer the same 1500 positions", 4,
         [&](TLayers& t, uint32_t l) {
             for (int i = 0; i < ROOM_MAX_VERTICES; ++i) {
                 const int k = (i * 7 + int(l) * 11) % ROOM_MAX_VERTICES;  // in another order in each layer
                 t.Vertex(l, float(k % 40) * 256, float(k / 40) * -256, 1024, uint8_t(l * 60), uint8_t(i), 7);
             }
         }},
        {"random positions", 6,
         [&](TLayers& t, uint32_t l) {
             for (int i = 0; i < 400; ++i)
                 t.Vertex(l, coordinate(8), coordinate(6), coordinate(8), uint8_t(random()), uint8_t(random()),
                          uint8_t(random()));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto t = std::make_unique<TLayers>(c.layers);
        for (uint32_t l = 0; l < c.layers; ++l) {
            c.fill(*t, l);
            const uint16_t n = t->layers.vertices[l].count;
            for (int f = 0; f < 20; ++f) {
                t->Rectangle(l, {uint16_t(random() % n), uint16_t(random() % n), uint16_t(random() % n),
                                 uint16_t(random() % n)});
                t->Triangle(l, {uint16_t(random() % n), uint16_t(random() % n), uint16_t(random() % n)});
            }
        }
        // The tables as adding the vertices one by one makes them.
        auto expected = std::make_unique<troom>();
        std::vector<std::vector<int>> numbers(c.layers);
        for (uint32_t l = 0; l < c.layers; ++l) {
            const ttr5_layer_vertices& block = t->layers.vertices[l];
            for (int i = 0; i < block.count; ++i) {
                const ttrc_vertex& v = block.entries[i];
                const auto x = static_cast<int16_t>(std::nearbyint(v.x)), y = static_cast<int16_t>(std::nearbyint(v.y)),
                           z = static_cast<int16_t>(std::nearbyint(v.z));
                RoomVertexAdd(*expected, x, y, 0, z);
                numbers[l].push_back(RoomVertexFind(*expected, x, y, z));
                expected->vertices_trc[numbers[l].back() - 1] = v;
            }
        }
        auto room = std::make_unique<troom>();
        ASSERT_TRUE(ConvertTrcRoomLayers(t->layers, *room));
        ASSERT_EQ(room->num_vertices, expected->num_vertices);
        for (int i = 0; i < room->num_vertices; ++i) {
            EXPECT_EQ(std::memcmp(&room->vertices[i], &expected->vertices[i], sizeof(troom_vertex)), 0) << i;
            EXPECT_EQ(std::memcmp(&room->vertices_trc[i], &expected->vertices_trc[i], sizeof(ttrc_vertex)), 0) << i;
        }
        // Each face names the common vertices of its layer's vertices.
        int k = 0;
        for (uint32_t l = 0; l < c.layers; ++l)
            for (int f = 0; f < 20; ++f, ++k) {
                const ttrc_triangle& in = t->layers.triangles[l].entries[f];
                const troom_triangle& out = room->triangles[k];
                for (int j = 0; j < 3; ++j) EXPECT_EQ(out.vertices[j], numbers[l][in.vertices[j]] - 1) << k;
            }
    }
    // One position more than the table holds is refused.
    auto t = std::make_unique<TLayers>(3);
    for (int i = 0; i < ROOM_MAX_VERTICES; ++i) t->Vertex(0, float(i), 0, 0).Vertex(1, float(i), 0, 0);
    t->Vertex(2, 0, 0, 0).Vertex(2, -1, 0, 0);
    auto room = std::make_unique<troom>();
    EXPECT_FALSE(ConvertTrcRoomLayers(t->layers, *room));
}

TEST(TrlevelRecord, AnimatedTextureRangesNumberTheirTextures)
{
    // Words, then the groups of six textures that all start in group 77.
    const std::vector<std::pair<std::vector<uint16_t>, std::vector<int>>> cases = {
        {{0, 1, 2, 3}, {77, 77, 77, 77, 77, 77}},  // first word 0: nothing changes
        {{}, {77, 77, 77, 77, 77, 77}},
        {{2, 2, 5, 4, 3, 0, 1}, {77, 2, 77, 1, 1, 1}},
        {{3, 1, 4, 5, 0, 0, 2, 2, 1, 3}, {2, 3, 3, 3, 1, 1}},
        // Numbers past the textures, ranges past the words, more ranges than words.
        {{9, 1, 60000, 2, 40, 1, 0}, {2, 2, 1, 77, 77, 77}},
    };
    for (const auto& [words, groups] : cases) {
        auto level = std::make_unique<Ttrlevel>();
        level->SetNumObjectTextures(6);
        for (auto& t : level->object_textures) t.group = 77;
        level->animated_textures = words;
        level->num_animated_textures =
            uint32_t(words.size()) + (words.empty() ? 0 : 1000);  // counts past the words read only them
        if (!words.empty()) level->num_animated_textures = uint32_t(words.size());
        level->AssignAnimTextureGroups();
        std::vector<int> actual;
        for (const auto& t : level->object_textures) actual.push_back(t.group);
        EXPECT_EQ(actual, groups) << ::testing::PrintToString(words);
    }
}

TEST(TrlevelRecord, PaletteColourByVersion)
{
    auto level = std::make_unique<Ttrlevel>();
    level->palette[5] = tpalette_entry{63, 0, 32};
    level->palette[0] = tpalette_entry{255, 0, 255};
    level->palette16[0x12] = tpalette16_entry{200, 100, 50, 9};
    // 6-bit values scale to 4 x v + 3, keeping the low byte; later versions
    // take the 16-bit palette by the high byte; TR4 and TRC give black.
    const std::vector<std::tuple<int, uint16_t, std::array<int, 3>>> cases = {{LEVEL_TR1, 0x1205, {255, 3, 131}},
                                                                              {LEVEL_TR1_TUB, 0x1205, {255, 3, 131}},
                                                                              {LEVEL_TR1, 0, {255, 3, 255}},
                                                                              {LEVEL_TR2, 0x1205, {200, 100, 50}},
                                                                              {LEVEL_TR2_TRG, 0x1205, {200, 100, 50}},
                                                                              {LEVEL_TR3, 0x1205, {200, 100, 50}},
                                                                              {LEVEL_TR4, 0x1205, {0, 0, 0}},
                                                                              {LEVEL_TRC, 0x1205, {0, 0, 0}},
                                                                              {0, 0x1205, {0, 0, 0}}};
    for (const auto& [code, colour, rgb] : cases) {
        level->version_code = code;
        uint8_t r = 1, g = 1, b = 1;
        level->PaletteColor(colour, r, g, b);
        EXPECT_EQ((std::array<int, 3>{r, g, b}), rgb) << code;
    }
}
