// The level record's own operations: room vertex tables, the TRC layer
// merge, animated texture groups, palette colours and the setters.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "level/trlevel.h"

namespace {

uint8_t LightByte(const troom_vertex& v) { return static_cast<uint8_t>(static_cast<uint16_t>(v.light) >> 8); }

ttrc_vertex TrcVertex(float x, float y, float z, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0)
{
    ttrc_vertex v{};
    v.x = x;
    v.y = y;
    v.z = z;
    v.red = r;
    v.green = g;
    v.blue = b;
    v.alpha = 0xFF;
    return v;
}

// Layers on the heap: each block holds a full table.
struct TLayers {
    ttr5_layers layers;
    explicit TLayers(uint32_t count)
    {
        layers.count = count;
        layers.vertices.resize(count);
        layers.rectangles.resize(count);
        layers.triangles.resize(count);
    }
    void AddVertex(uint32_t l, const ttrc_vertex& v) { layers.vertices[l].entries[layers.vertices[l].count++] = v; }
    void AddRectangle(uint32_t l, uint16_t a, uint16_t b, uint16_t c, uint16_t d, uint16_t texture, uint16_t flags)
    {
        layers.rectangles[l].entries[layers.rectangles[l].count++] = ttrc_rectangle{{a, b, c, d}, texture, flags};
    }
    void AddTriangle(uint32_t l, uint16_t a, uint16_t b, uint16_t c, uint16_t texture, uint16_t flags)
    {
        layers.triangles[l].entries[layers.triangles[l].count++] = ttrc_triangle{{a, b, c}, texture, flags};
    }
};

}  // namespace

TEST(TrlevelRoomVertices, FindAndAdd)
{
    auto room = std::make_unique<troom>();
    EXPECT_EQ(RoomVertexFind(*room, 0, 0, 0), 0);

    RoomVertexAdd(*room, 10, -20, 100, 30);
    ASSERT_EQ(room->num_vertices, 1);
    EXPECT_EQ(RoomVertexFind(*room, 10, -20, 30), 1);
    EXPECT_EQ(RoomVertexFind(*room, 10, 30, -20), 0);
    // Both forms get the position and the light byte.
    EXPECT_EQ(room->vertices[0].x, 10);
    EXPECT_EQ(room->vertices[0].y, -20);
    EXPECT_EQ(room->vertices[0].z, 30);
    EXPECT_EQ(LightByte(room->vertices[0]), 100);
    EXPECT_EQ(room->vertices_long[0].z, 30);
    EXPECT_EQ(static_cast<uint16_t>(room->vertices_long[0].light) >> 8, 100);

    // Adding it again averages the light byte and adds nothing.
    RoomVertexAdd(*room, 10, -20, 201, 30);
    EXPECT_EQ(room->num_vertices, 1);
    EXPECT_EQ(LightByte(room->vertices[0]), 150);
    RoomVertexAdd(*room, 10, -20, 255, 30);
    EXPECT_EQ(LightByte(room->vertices[0]), 202);

    // With two equal vertices, find returns the first.
    room->vertices[1] = room->vertices[0];
    room->num_vertices = 2;
    EXPECT_EQ(RoomVertexFind(*room, 10, -20, 30), 1);
}

TEST(TrlevelRoomVertices, AFullTableStaysUnchanged)
{
    auto room = std::make_unique<troom>();
    for (int i = 0; i < ROOM_MAX_VERTICES; ++i) RoomVertexAdd(*room, static_cast<int16_t>(i), 0, 8, 0);
    ASSERT_EQ(room->num_vertices, ROOM_MAX_VERTICES);
    EXPECT_EQ(RoomVertexFind(*room, 1499, 0, 0), 1500);
    RoomVertexAdd(*room, 5000, 0, 8, 0);
    EXPECT_EQ(room->num_vertices, ROOM_MAX_VERTICES);
    EXPECT_EQ(RoomVertexFind(*room, 5000, 0, 0), 0);
    // An existing vertex still merges.
    RoomVertexAdd(*room, 1499, 0, 0, 0);
    EXPECT_EQ(LightByte(room->vertices[1499]), 4);
    // A damaged count above the table is searched only as far as the table goes.
    room->num_vertices = 60000;
    EXPECT_EQ(RoomVertexFind(*room, 5000, 0, 0), 0);
    RoomVertexAdd(*room, 5000, 0, 8, 0);
    EXPECT_EQ(room->num_vertices, 60000);
}

TEST(TrlevelTrcLayers, MergesLayersIntoTheCommonTables)
{
    TLayers t(2);
    t.AddVertex(0, TrcVertex(0.4f, 0.0f, 0.0f, 255, 128, 8));
    t.AddVertex(0, TrcVertex(1024.0f, 0.0f, 0.0f));
    t.AddVertex(0, TrcVertex(1024.0f, -256.0f, 0.0f));
    t.AddVertex(0, TrcVertex(0.0f, -256.0f, 0.0f));
    // The second layer shares two positions with the first (after rounding).
    t.AddVertex(1, TrcVertex(1023.6f, -256.2f, 0.0f, 8, 16, 248));
    t.AddVertex(1, TrcVertex(2048.0f, -256.0f, 0.0f));
    t.AddVertex(1, TrcVertex(1024.0f, 0.0f, 0.3f));
    t.AddRectangle(0, 0, 1, 2, 3, 0x8005, 7);
    t.AddTriangle(1, 0, 1, 2, 12, 9);
    t.AddTriangle(1, 2, 1, 0, 13, 0);

    auto room = std::make_unique<troom>();
    room->num_vertices = 99;  // whatever the room held is replaced
    ASSERT_TRUE(ConvertTrcRoomLayers(t.layers, *room));
    ASSERT_EQ(room->num_vertices, 5);
    EXPECT_EQ(room->vertices[0].x, 0);
    EXPECT_EQ(room->vertices[4].x, 2048);
    EXPECT_EQ(room->vertices[4].y, -256);
    // Colour 5-5-5 from the vertex colour bytes; a merged vertex takes the later layer's.
    EXPECT_EQ(room->vertices_long[0].colour, (31 << 10) | (16 << 5) | 1);
    EXPECT_EQ(room->vertices_long[2].colour, (1 << 10) | (2 << 5) | 31);
    EXPECT_FLOAT_EQ(room->vertices_trc[2].x, 1023.6f);

    ASSERT_EQ(room->num_rectangles, 1);
    EXPECT_EQ(room->rectangles[0].vertices[0], 0);
    EXPECT_EQ(room->rectangles[0].vertices[3], 3);
    EXPECT_EQ(room->rectangles[0].texture, 0x8005);
    EXPECT_EQ(room->rectangles_trc[0].flags, 7);
    ASSERT_EQ(room->num_triangles, 2);
    // Layer 1's vertices 0, 1, 2 are common vertices 2, 4, 1 (0-based).
    EXPECT_EQ(room->triangles[0].vertices[0], 2);
    EXPECT_EQ(room->triangles[0].vertices[1], 4);
    EXPECT_EQ(room->triangles[0].vertices[2], 1);
    EXPECT_EQ(room->triangles_trc[0].flags, 9);
    EXPECT_EQ(room->triangles[1].texture, 13);
}

TEST(TrlevelTrcLayers, RoundsHalvesToEven)
{
    TLayers t(1);
    t.AddVertex(0, TrcVertex(0.5f, 1.5f, -2.5f));
    t.AddVertex(0, TrcVertex(0.49f, 2.5f, -3.5f));
    t.AddVertex(0, TrcVertex(-0.5f, 2.4f, -2.4f));  // the same position as the first
    auto room = std::make_unique<troom>();
    ASSERT_TRUE(ConvertTrcRoomLayers(t.layers, *room));
    ASSERT_EQ(room->num_vertices, 2);
    EXPECT_EQ(room->vertices[0].x, 0);
    EXPECT_EQ(room->vertices[0].y, 2);
    EXPECT_EQ(room->vertices[0].z, -2);
    EXPECT_EQ(room->vertices[1].x, 0);
    EXPECT_EQ(room->vertices[1].y, 2);
    EXPECT_EQ(room->vertices[1].z, -4);
    EXPECT_FLOAT_EQ(room->vertices_trc[0].x, -0.5f);
}

TEST(TrlevelTrcLayers, RefusesWhatTheTablesCannotHold)
{
    auto room = std::make_unique<troom>();
    {
        // A coordinate that is no 16-bit value, or no number at all.
        for (float bad : {40000.0f, -32769.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
            TLayers t(1);
            t.AddVertex(0, TrcVertex(0.0f, bad, 0.0f));
            EXPECT_FALSE(ConvertTrcRoomLayers(t.layers, *room)) << bad;
        }
        TLayers ok(1);
        ok.AddVertex(0, TrcVertex(32767.4f, -32768.0f, 0.0f));
        EXPECT_TRUE(ConvertTrcRoomLayers(ok.layers, *room));
    }
    {
        // A face naming a vertex its layer does not have.
        TLayers t(2);
        t.AddVertex(0, TrcVertex(0, 0, 0));
        t.AddVertex(0, TrcVertex(1, 0, 0));
        t.AddVertex(1, TrcVertex(2, 0, 0));
        t.AddTriangle(1, 0, 0, 1, 0, 0);
        EXPECT_FALSE(ConvertTrcRoomLayers(t.layers, *room));
    }
    {
        // More distinct positions than the common table holds.
        TLayers t(2);
        for (int i = 0; i < 1000; ++i) t.AddVertex(0, TrcVertex(float(i), 0, 0));
        for (int i = 0; i < 501; ++i) t.AddVertex(1, TrcVertex(float(i), 1, 0));
        EXPECT_FALSE(ConvertTrcRoomLayers(t.layers, *room));
        t.layers.vertices[1].count = 500;
        EXPECT_TRUE(ConvertTrcRoomLayers(t.layers, *room));
        EXPECT_EQ(room->num_vertices, ROOM_MAX_VERTICES);
    }
    {
        // More faces in all layers than the common tables hold.
        TLayers t(2);
        t.AddVertex(0, TrcVertex(0, 0, 0));
        t.AddVertex(1, TrcVertex(0, 0, 0));
        for (int i = 0; i < 1001; ++i) t.AddRectangle(0, 0, 0, 0, 0, 0, 0);
        for (int i = 0; i < 1000; ++i) t.AddRectangle(1, 0, 0, 0, 0, 0, 0);
        EXPECT_FALSE(ConvertTrcRoomLayers(t.layers, *room));
        t.layers.rectangles[0].count = 1000;
        for (int i = 0; i < 626; ++i) t.AddTriangle(0, 0, 0, 0, 0, 0);
        for (int i = 0; i < 625; ++i) t.AddTriangle(1, 0, 0, 0, 0, 0);
        EXPECT_FALSE(ConvertTrcRoomLayers(t.layers, *room));
        t.layers.triangles[0].count = 625;
        EXPECT_TRUE(ConvertTrcRoomLayers(t.layers, *room));
        EXPECT_EQ(room->num_rectangles, ROOM_MAX_RECTANGLES);
        EXPECT_EQ(room->num_triangles, ROOM_MAX_TRIANGLES);
    }
    {
        // A block count above its capacity.
        TLayers t(1);
        t.layers.vertices[0].count = ROOM_MAX_VERTICES + 1;
        EXPECT_FALSE(ConvertTrcRoomLayers(t.layers, *room));
    }
}

TEST(TrlevelAnimatedTextures, NumbersEachRange)
{
    auto level = std::make_unique<Ttrlevel>();
    level->SetNumObjectTextures(6);
    for (auto& t : level->object_textures) t.group = 77;

    // First word 0, or no words at all: groups stay as they were.
    level->animated_textures = {0, 1, 2, 3};
    level->num_animated_textures = 4;
    level->AssignAnimTextureGroups();
    level->num_animated_textures = 0;
    level->AssignAnimTextureGroups();
    for (const auto& t : level->object_textures) EXPECT_EQ(+t.group, 77);

    for (auto& t : level->object_textures) t.group = 0;
    level->animated_textures = {2, 2, 5, 4, 3, 0, 1};
    level->num_animated_textures = 7;
    level->AssignAnimTextureGroups();
    std::vector<int> groups;
    for (const auto& t : level->object_textures) groups.push_back(t.group);
    EXPECT_EQ(groups, (std::vector<int>{0, 2, 0, 1, 1, 1}));
}

TEST(TrlevelAnimatedTextures, NumbersOutsideTheTablesArePassedOver)
{
    auto level = std::make_unique<Ttrlevel>();
    level->SetNumObjectTextures(3);
    // A range naming texture 60000, a range longer than the words, and more
    // ranges than there are words.
    level->animated_textures = {9, 1, 60000, 2, 40, 1, 0};
    level->num_animated_textures = 7;
    level->AssignAnimTextureGroups();
    EXPECT_EQ(+level->object_textures[0].group, 2);
    EXPECT_EQ(+level->object_textures[1].group, 2);
    EXPECT_EQ(+level->object_textures[2].group, 1);
    // A count larger than the array holds reads only the array.
    level->animated_textures = {1, 0};
    level->num_animated_textures = 1000;
    level->AssignAnimTextureGroups();
    EXPECT_EQ(+level->object_textures[0].group, 2);
}

TEST(TrlevelPaletteColor, ByVersion)
{
    auto level = std::make_unique<Ttrlevel>();
    level->palette[5] = tpalette_entry{63, 0, 32};
    level->palette[0] = tpalette_entry{255, 0, 255};
    level->palette16[0x12] = tpalette16_entry{200, 100, 50, 9};
    uint8_t r = 1, g = 1, b = 1;

    for (int code : {LEVEL_TR1, LEVEL_TR1_TUB}) {
        level->version_code = code;
        level->PaletteColor(0x1205, r, g, b);
        EXPECT_EQ(r, 255);
        EXPECT_EQ(g, 3);
        EXPECT_EQ(b, 131);
        // The magenta entry 0 scales past 8 bits; the low byte is kept.
        level->PaletteColor(0, r, g, b);
        EXPECT_EQ(r, 255);
        EXPECT_EQ(g, 3);
        EXPECT_EQ(b, 255);
    }
    for (int code : {LEVEL_TR2, LEVEL_TR2_TRG, LEVEL_TR3}) {
        level->version_code = code;
        level->PaletteColor(0x1205, r, g, b);
        EXPECT_EQ(r, 200);
        EXPECT_EQ(g, 100);
        EXPECT_EQ(b, 50);
    }
    for (int code : {0, LEVEL_TR4, LEVEL_TRC}) {
        level->version_code = code;
        level->PaletteColor(0x1205, r, g, b);
        EXPECT_EQ(r + g + b, 0);
    }
}

TEST(TrlevelSetters, ResizeKeepContentsAndZeroNewElements)
{
    auto level = std::make_unique<Ttrlevel>();
    level->SetNumFloorData(2);
    level->floor_data = {5, 6};
    level->SetNumFloorData(4);
    EXPECT_EQ(level->num_floor_data, 4u);
    EXPECT_EQ(level->floor_data, (std::vector<uint16_t>{5, 6, 0, 0}));

    level->SetNumBoxes(3);
    EXPECT_EQ(level->boxes.size(), 3u);
    EXPECT_EQ(level->boxes_tr1.size(), 3u);
    level->SetNumZones(3);
    for (const auto& z : level->zones) EXPECT_EQ(z.size(), 3u);
    EXPECT_EQ(level->num_zones, 3u);
    level->SetNumItems(2);
    EXPECT_EQ(level->items.size(), 2u);
    EXPECT_EQ(level->items_tr1.size(), 2u);

    level->version_code = LEVEL_TR3;
    level->SetNumCinematicFrames(4);
    EXPECT_EQ(level->cinematic_frames.size(), 4u);
    EXPECT_TRUE(level->ai_objects.empty());
    level->version_code = LEVEL_TR4;
    level->SetNumCinematicFrames(2);
    EXPECT_EQ(level->ai_objects.size(), 2u);
    EXPECT_EQ(level->num_cinematic_frames, 2u);

    level->SetNumRooms(2);
    level->rooms[0].num_vertices = 3;
    level->SetNumRooms(3);
    EXPECT_EQ(level->num_rooms, 3);
    EXPECT_EQ(level->rooms[0].num_vertices, 3);
    EXPECT_EQ(level->rooms[2].num_vertices, 0);
    EXPECT_EQ(level->rooms[2].sectors[511].room_below, 0);

    TProgressBar gauge;
    level->Gauge = &gauge;
    level->Clear();
    EXPECT_EQ(level->num_rooms, 0);
    EXPECT_TRUE(level->rooms.empty());
    EXPECT_TRUE(level->zones[4].empty());
    EXPECT_EQ(level->version_code, 0);
    EXPECT_EQ(level->Gauge, &gauge);
}
