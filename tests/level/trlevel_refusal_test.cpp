// Damaged level files: truncated, with counts beyond the fixed room tables or
// beyond the rest of the file, or with damaged compressed data. Each is
// refused with LEVEL_DAMAGED and leaves an empty, usable record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "level/trlevel.h"
#include "support/level_writer.h"
#include "support/temp_dir.h"
#include "trlevel_test_helpers.h"

using namespace trlevel_test;

namespace {

TSampleLevelSize SmallLevel()
{
    TSampleLevelSize s;
    s.rooms = 2;
    s.textiles = 0;
    s.vertices = 6;
    s.rectangles = 3;
    s.triangles = 3;
    s.x_sectors = 2;
    s.z_sectors = 3;
    s.entries = 2;
    return s;
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

class TRefusal {
public:
    explicit TRefusal(int code) : code_(code), name_(dir_.file("level" + LevelFileExtension(code))) {}

    // Loads the description (after an earlier good load) and expects a refusal.
    void ExpectRefused(const TLevelDesc& d, const std::string& what)
    {
        SCOPED_TRACE(what);
        SaveLevelFile(name_, d);
        ExpectRefusedFile();
    }
    void ExpectRefusedBytes(const std::vector<uint8_t>& bytes, const std::string& what)
    {
        SCOPED_TRACE(what);
        WriteFileBytes(name_, bytes);
        ExpectRefusedFile();
    }
    void ExpectLoaded(const TLevelDesc& d, const std::string& what)
    {
        SCOPED_TRACE(what);
        SaveLevelFile(name_, d);
        Ttrlevel level;
        ASSERT_EQ(level.LoadFromFile(name_), LEVEL_LOADED);
        ExpectLevelMatches(level, d);
    }

private:
    void ExpectRefusedFile()
    {
        if (!primed_) {
            SaveLevelFile(dir_.file("good.lvl"), MakeSampleLevel(LEVEL_TR2));
            primed_ = true;
        }
        ASSERT_EQ(level_.LoadFromFile(dir_.file("good.lvl")), LEVEL_LOADED);
        EXPECT_EQ(level_.LoadFromFile(name_), LEVEL_DAMAGED);
        ExpectEmptyLevel(level_);
    }

    int code_;
    TempDir dir_;
    std::string name_;
    Ttrlevel level_;
    bool primed_ = false;
};

class TrlevelRefusal : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(TrlevelRefusal, EveryTruncationIsRefused)
{
    const int code = GetParam();
    TLevelDesc d = MakeSampleLevel(code, SmallLevel());
    TLevelLayout layout;
    WriteLevelFile(d, &layout);
    // Cut the parsed stream at every marked field and around it, and at a
    // spread of other places.
    std::set<size_t> cuts;
    for (const auto& [name, at] : layout.at)
        for (size_t c = at > 3 ? at - 3 : 0; c <= at + 3; ++c) cuts.insert(c);
    for (size_t c = 0; c < layout.parsed_end; c += std::max<size_t>(1, layout.parsed_end / 150)) cuts.insert(c);
    cuts.insert(layout.parsed_end - 1);

    TRefusal refusal(code);
    int tested = 0;
    for (size_t cut : cuts) {
        if (cut >= layout.parsed_end || (code != LEVEL_TR4 && cut < 4)) continue;
        d.patch = [cut](std::vector<uint8_t>& stream, const TLevelLayout&) { stream.resize(cut); };
        refusal.ExpectRefused(d, "cut at " + std::to_string(cut));
        if (::testing::Test::HasFailure()) return;
        ++tested;
    }
    EXPECT_GT(tested, 100);
}

TEST_P(TrlevelRefusal, CountsBeyondTheRestOfTheFileAreRefused)
{
    const int code = GetParam();
    TLevelDesc d = MakeSampleLevel(code, SmallLevel());
    TLevelLayout layout;
    WriteLevelFile(d, &layout);
    TRefusal refusal(code);
    const std::set<std::string> wordCounts = {"cinematic_frames", "demo_data", "rooms"};
    for (const auto& [name, at] : layout.at) {
        const bool roomField = name.rfind("room.", 0) == 0;
        if (name == "rooms_unused" || name == "zones" || name == "trc_level_size" || (roomField && name.find('.', 5) == std::string::npos))
            continue;
        if (name == "samples" && code >= LEVEL_TR4) continue;  // TR4 and TRC samples are all the rest of the file
        // Room fields, the room count (its low half for TRC), the demo data
        // and the older versions' cinematic frames are 16-bit counts.
        const bool u16 = roomField || (wordCounts.count(name) && !(name == "cinematic_frames" && code >= LEVEL_TR4));
        if (roomField && (name.find(".size") != std::string::npos || name.find(".header") != std::string::npos ||
                          name.find(".layers") != std::string::npos))
            continue;  // TRC room fields, below
        for (uint32_t count : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000u, 0xFFFFu, 0x1234u}) {
            if (u16 && count > 0xFFFF) continue;
            d.patch = [at = at, count, u16](std::vector<uint8_t>& s, const TLevelLayout&) {
                if (u16)
                    PutU16(s, at, static_cast<uint16_t>(count));
                else
                    PutU32(s, at, count);
            };
            refusal.ExpectRefused(d, name + " = " + std::to_string(count));
            if (::testing::Test::HasFailure()) return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, TrlevelRefusal,
                         ::testing::Values(LEVEL_TR1, LEVEL_TR1_TUB, LEVEL_TR2, LEVEL_TR2_TRG, LEVEL_TR3, LEVEL_TR4, LEVEL_TRC));

TEST(TrlevelRefusal, RoomTablesOverflowingAreRefused)
{
    for (int code : {LEVEL_TR1, LEVEL_TR2, LEVEL_TR3, LEVEL_TR4}) {
        SCOPED_TRACE(code);
        TRefusal refusal(code);
        const TLevelDesc base = MakeSampleLevel(code, SmallLevel());
        auto room = [&](auto change, const std::string& what) {
            TLevelDesc d = base;
            change(d.rooms[1]);
            refusal.ExpectRefused(d, what);
        };
        room([](TRoomDesc& r) { r.vertices.resize(ROOM_MAX_VERTICES + 1); }, "vertices");
        room([](TRoomDesc& r) { r.rectangles.resize(ROOM_MAX_RECTANGLES + 1); }, "rectangles");
        room([](TRoomDesc& r) { r.triangles.resize(ROOM_MAX_TRIANGLES + 1); }, "triangles");
        room([](TRoomDesc& r) { r.sprites.resize(ROOM_MAX_SPRITES + 1); }, "sprites");
        room([](TRoomDesc& r) { r.portals.resize(ROOM_MAX_PORTALS + 1); }, "portals");
        room(
            [](TRoomDesc& r) {
                r.num_x_sectors = 19;
                r.num_z_sectors = 27;  // 513 sectors
                r.sectors.resize(513);
            },
            "sectors");
        room(
            [](TRoomDesc& r) {
                r.num_x_sectors = 0x101;
                r.num_z_sectors = 0x100;  // a product that wraps in 16 bits
                r.sectors.resize(256);
            },
            "wrapping sectors");
        room(
            [code](TRoomDesc& r) {
                r.lights_tr1.resize(ROOM_MAX_LIGHTS + 1);
                r.lights_tr2.resize(ROOM_MAX_LIGHTS + 1);
                r.lights_tr4.resize(ROOM_MAX_LIGHTS + 1);
                (void)code;
            },
            "lights");
        room(
            [](TRoomDesc& r) {
                r.statics_tr1.resize(ROOM_MAX_STATICS + 1);
                r.statics.resize(ROOM_MAX_STATICS + 1);
            },
            "statics");
    }
}

TEST(TrlevelRefusal, TrcRoomsOverflowingAreRefused)
{
    TRefusal refusal(LEVEL_TRC);
    const TLevelDesc base = MakeSampleLevel(LEVEL_TRC, SmallLevel());
    auto room = [&](auto change, const std::string& what) {
        TLevelDesc d = base;
        change(d.rooms[1]);
        refusal.ExpectRefused(d, what);
    };
    room([](TRoomDesc& r) { r.lights_trc.resize(ROOM_MAX_LIGHTS + 1); }, "lights");
    room([](TRoomDesc& r) { r.statics.resize(ROOM_MAX_STATICS + 1); }, "statics");
    room([](TRoomDesc& r) { r.portals.resize(ROOM_MAX_PORTALS + 1); }, "portals");
    room([](TRoomDesc& r) { r.trc_records.resize(ROOM_MAX_TRC_RECORDS + 1); }, "records");
    room(
        [](TRoomDesc& r) {
            r.num_x_sectors = 32;
            r.num_z_sectors = 17;
            r.sectors.resize(544);
        },
        "sectors");
    room([](TRoomDesc& r) { r.layers[0].vertices.resize(ROOM_MAX_VERTICES + 1); }, "layer vertices");
    room([](TRoomDesc& r) { r.layers[0].rectangles.resize(ROOM_MAX_RECTANGLES + 1); }, "layer rectangles");
    room([](TRoomDesc& r) { r.layers[0].triangles.resize(ROOM_MAX_TRIANGLES + 1); }, "layer triangles");
    room(
        [](TRoomDesc& r) {
            r.layers[0].rectangles.resize(1000);
            r.layers[1].rectangles.resize(1001);
        },
        "rectangles of all layers");
    room(
        [](TRoomDesc& r) {
            r.layers[0].triangles.resize(625);
            r.layers[1].triangles.resize(626);
        },
        "triangles of all layers");
    room(
        [](TRoomDesc& r) {
            r.layers.resize(2);
            r.layers[0].vertices.resize(751);
            r.layers[1].vertices.resize(750);
            for (size_t i = 0; i < 751; ++i) r.layers[0].vertices[i].x = static_cast<float>(i);
            for (size_t i = 0; i < 750; ++i) r.layers[1].vertices[i].x = static_cast<float>(i + 751);
        },
        "distinct vertices of all layers");
    room([](TRoomDesc& r) { r.layers[1].triangles[0].vertices[2] = 6; }, "a face naming a missing vertex");
    room([](TRoomDesc& r) { r.layers[1].vertices[3].y = 1e9f; }, "a position beyond 16 bits");

    // Header words and sizes that point past the data.
    TLevelDesc d = base;
    TLevelLayout layout;
    WriteLevelFile(d, &layout);
    const size_t header = layout.at["room.1.header"];
    const std::vector<std::pair<size_t, uint32_t>> patches = {
        {layout.at["room.0.size"], 0xFFFFFFF0u},                        // room data size
        {layout.at["room.0.size"], 4},                                  // a room that overruns its size
        {header + offsetof(ttrc_room_header, num_layers), 0x40000000u},  // layer count
        {header + offsetof(ttrc_room_header, num_layers), 3000},
        {layout.at["trc_level_size"], 0x7FFFFFF0u},                     // where the samples start
        {layout.at["rooms"], 0xFFFF},
    };
    for (const auto& [at, value] : patches) {
        d.patch = [at = at, value = value](std::vector<uint8_t>& s, const TLevelLayout&) { PutU32(s, at, value); };
        refusal.ExpectRefused(d, "word at " + std::to_string(at) + " = " + std::to_string(value));
    }
    // A 16-bit layer count in the layer header.
    d.patch = [at = layout.at["room.0.layers"]](std::vector<uint8_t>& s, const TLevelLayout&) { PutU32(s, at, 1501); };
    refusal.ExpectRefused(d, "layer vertex count");
}

TEST(TrlevelRefusal, DamagedCompressedDataIsRefused)
{
    for (int code : {LEVEL_TR4, LEVEL_TRC}) {
        SCOPED_TRACE(code);
        TSampleLevelSize size = SmallLevel();
        size.textiles = 1;
        const TLevelDesc d = MakeSampleLevel(code, size);
        TLevelLayout layout;
        const std::vector<uint8_t> good = WriteLevelFile(d, &layout);
        TRefusal refusal(code);
        const int chunks = code == LEVEL_TR4 ? 4 : 3;
        for (int c = 0; c < chunks; ++c) {
            const size_t at = layout.chunk_data[c];
            const size_t n = layout.chunk_size[c];
            // Flipped bytes in the middle and at the checksum.
            for (size_t offset : {n / 2, n - 1}) {
                std::vector<uint8_t> bad = good;
                bad[at + offset] ^= 0x5A;
                refusal.ExpectRefusedBytes(bad, "chunk " + std::to_string(c) + " byte " + std::to_string(offset));
            }
            // A declared size smaller than the data, and a compressed size
            // larger than the rest of the file.
            std::vector<uint8_t> bad = good;
            PutU32(bad, at - 8, static_cast<uint32_t>(n > 16 ? 16 : 0));
            refusal.ExpectRefusedBytes(bad, "chunk " + std::to_string(c) + " declared size");
            bad = good;
            PutU32(bad, at - 4, static_cast<uint32_t>(good.size()));
            refusal.ExpectRefusedBytes(bad, "chunk " + std::to_string(c) + " compressed size");
            // A truncated stream.
            bad.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(at + n / 2));
            refusal.ExpectRefusedBytes(bad, "chunk " + std::to_string(c) + " cut");
        }
        // Valid compressed data that inflates far beyond its declared size.
        std::vector<uint8_t> bomb = good;
        PutU32(bomb, layout.chunk_data[1] - 8, 1);
        refusal.ExpectRefusedBytes(bomb, "inflating past the declared size");
    }
}

TEST(TrlevelRefusal, TextileCountsBeyondTheFileAreRefused)
{
    for (int code : {LEVEL_TR1, LEVEL_TR2, LEVEL_TR3}) {
        SCOPED_TRACE(code);
        const TLevelDesc d = MakeSampleLevel(code, SmallLevel());
        TLevelLayout layout;
        const std::vector<uint8_t> good = WriteLevelFile(d, &layout);
        TRefusal refusal(code);
        for (uint32_t count : {1u, 2u, 0xFFFFu, 0x10000u, 0xFFFFFFFFu}) {
            std::vector<uint8_t> bad = good;
            PutU32(bad, layout.at["textiles"], count);
            refusal.ExpectRefusedBytes(bad, "textiles " + std::to_string(count));
        }
    }
}

TEST(TrlevelRefusal, TheRecordIsUsableAfterARefusal)
{
    TempDir dir;
    Ttrlevel level;
    std::vector<uint8_t> bad = WriteLevelFile(MakeSampleLevel(LEVEL_TR4, SmallLevel()));
    bad.resize(bad.size() / 2);
    WriteFileBytes(dir.file("bad.tr4"), bad);
    const TLevelDesc good = MakeSampleLevel(LEVEL_TRC, SmallLevel());
    SaveLevelFile(dir.file("good.trc"), good);

    EXPECT_EQ(level.LoadFromFile(dir.file("bad.tr4")), LEVEL_DAMAGED);
    EXPECT_STREQ(LEVEL_DAMAGED_TEXT, "Invalid or damaged level file");
    // Every user of the record finds nothing to read.
    uint8_t r, g, b;
    level.PaletteColor(0x1234, r, g, b);
    level.AssignAnimTextureGroups();
    EXPECT_EQ(r + g + b, 0);
    ASSERT_EQ(level.LoadFromFile(dir.file("good.trc")), LEVEL_LOADED);
    ExpectLevelMatches(level, good);
}

TEST(TrlevelRefusal, AnimatedTextureNumbersBeyondTheTexturesAreIgnored)
{
    TempDir dir;
    TLevelDesc d = MakeSampleLevel(LEVEL_TR2);
    d.object_textures.resize(3);
    d.animated_textures = {4, 1, 0, 65535, 2, 2, 1, 999};
    SaveLevelFile(dir.file("a.tr2"), d);
    Ttrlevel level;
    ASSERT_EQ(level.LoadFromFile(dir.file("a.tr2")), LEVEL_LOADED);
    EXPECT_EQ(+level.object_textures[0].group, 1);
    EXPECT_EQ(+level.object_textures[1].group, 2);
    EXPECT_EQ(+level.object_textures[2].group, 2);
}
