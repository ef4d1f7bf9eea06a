// Comparisons of a loaded level record with the description its file was
// written from, shared by the level reader's suites.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "level/trlevel.h"
#include "support/level_writer.h"

namespace trlevel_test {

// Byte-wise equality of two runs of records, naming the first that differs.
template <class T>
::testing::AssertionResult SameRecords(const T* actual, size_t actualCount, const T* expected, size_t expectedCount)
{
    if (actualCount != expectedCount)
        return ::testing::AssertionFailure() << "count " << actualCount << ", expected " << expectedCount;
    for (size_t i = 0; i < actualCount; ++i)
        if (std::memcmp(&actual[i], &expected[i], sizeof(T)) != 0)
            return ::testing::AssertionFailure() << "record " << i << " differs";
    return ::testing::AssertionSuccess();
}

template <class T>
::testing::AssertionResult SameVector(const std::vector<T>& actual, uint32_t count, const std::vector<T>& expected)
{
    if (count != actual.size())
        return ::testing::AssertionFailure() << "count field " << count << " but " << actual.size() << " elements";
    return SameRecords(actual.data(), actual.size(), expected.data(), expected.size());
}

inline ::testing::AssertionResult SameBlock(const TMemBlock& block, const std::vector<uint8_t>& expected)
{
    if (static_cast<size_t>(block.length()) != expected.size())
        return ::testing::AssertionFailure() << "block of " << block.length() << " bytes, expected " << expected.size();
    if (!expected.empty() && std::memcmp(block.data(), expected.data(), expected.size()) != 0)
        return ::testing::AssertionFailure() << "block content differs";
    return ::testing::AssertionSuccess();
}

// The common vertex table that merging the layers of a TRC room must give:
// positions rounded, equal positions merged in first-seen order.
struct TMergedRoom {
    std::vector<troom_vertex> vertices;
    std::vector<ttrc_vertex> trc;
    std::vector<uint16_t> colours;
    std::vector<ttrc_rectangle> rectangles;
    std::vector<ttrc_triangle> triangles;
};

inline TMergedRoom MergeLayers(const TRoomDesc& r)
{
    TMergedRoom m;
    std::vector<std::vector<uint16_t>> index(r.layers.size());
    for (size_t l = 0; l < r.layers.size(); ++l) {
        for (const ttrc_vertex& v : r.layers[l].vertices) {
            const auto x = static_cast<int16_t>(std::nearbyint(v.x));
            const auto y = static_cast<int16_t>(std::nearbyint(v.y));
            const auto z = static_cast<int16_t>(std::nearbyint(v.z));
            size_t n = 0;
            while (n < m.vertices.size() && !(m.vertices[n].x == x && m.vertices[n].y == y && m.vertices[n].z == z)) ++n;
            if (n == m.vertices.size()) {
                m.vertices.push_back(troom_vertex{x, y, z, 0});
                m.trc.emplace_back();
                m.colours.push_back(0);
            }
            m.trc[n] = v;
            m.colours[n] = static_cast<uint16_t>(((v.red >> 3) << 10) | ((v.green >> 3) << 5) | (v.blue >> 3));
            index[l].push_back(static_cast<uint16_t>(n));
        }
    }
    for (size_t l = 0; l < r.layers.size(); ++l) {
        for (ttrc_rectangle q : r.layers[l].rectangles) {
            for (auto& v : q.vertices) v = index[l][v];
            m.rectangles.push_back(q);
        }
        for (ttrc_triangle t : r.layers[l].triangles) {
            for (auto& v : t.vertices) v = index[l][v];
            m.triangles.push_back(t);
        }
    }
    return m;
}

inline void ExpectRoomMatches(const troom& a, const TRoomDesc& d, int code, const std::string& where)
{
    SCOPED_TRACE(where);
    EXPECT_EQ(a.x, d.x);
    EXPECT_EQ(a.z, d.z);
    EXPECT_EQ(a.y_bottom, d.y_bottom);
    EXPECT_EQ(a.y_top, d.y_top);
    EXPECT_EQ(a.num_z_sectors, d.num_z_sectors);
    EXPECT_EQ(a.num_x_sectors, d.num_x_sectors);
    EXPECT_TRUE(SameRecords(a.sectors.data(), size_t(a.num_z_sectors) * a.num_x_sectors, d.sectors.data(), d.sectors.size()));
    EXPECT_TRUE(SameRecords(a.portals.data(), a.num_portals, d.portals.data(), d.portals.size()));
    EXPECT_EQ(a.flags, d.flags);
    EXPECT_TRUE(SameRecords(a.statics.data(), code <= LEVEL_TR1_TUB ? 0 : a.num_statics, d.statics.data(), d.statics.size()));

    if (code == LEVEL_TRC) {
        const TMergedRoom m = MergeLayers(d);
        ASSERT_EQ(a.num_vertices, m.vertices.size());
        for (size_t i = 0; i < m.vertices.size(); ++i) {
            EXPECT_EQ(a.vertices[i].x, m.vertices[i].x) << i;
            EXPECT_EQ(a.vertices[i].y, m.vertices[i].y) << i;
            EXPECT_EQ(a.vertices[i].z, m.vertices[i].z) << i;
            EXPECT_EQ(a.vertices_long[i].x, m.vertices[i].x) << i;
            EXPECT_EQ(a.vertices_long[i].colour, m.colours[i]) << i;
            EXPECT_EQ(std::memcmp(&a.vertices_trc[i], &m.trc[i], sizeof(ttrc_vertex)), 0) << i;
        }
        EXPECT_TRUE(SameRecords(a.rectangles_trc.data(), a.num_rectangles, m.rectangles.data(), m.rectangles.size()));
        EXPECT_TRUE(SameRecords(a.triangles_trc.data(), a.num_triangles, m.triangles.data(), m.triangles.size()));
        for (size_t i = 0; i < m.rectangles.size(); ++i) {
            EXPECT_EQ(std::memcmp(a.rectangles[i].vertices, m.rectangles[i].vertices, 8), 0) << i;
            EXPECT_EQ(a.rectangles[i].texture, m.rectangles[i].texture) << i;
        }
        for (size_t i = 0; i < m.triangles.size(); ++i) {
            EXPECT_EQ(std::memcmp(a.triangles[i].vertices, m.triangles[i].vertices, 6), 0) << i;
            EXPECT_EQ(a.triangles[i].texture, m.triangles[i].texture) << i;
        }
        EXPECT_EQ(a.num_sprites, 0);
        const ttrc_room_header h = TrcRoomHeader(d);
        EXPECT_EQ(std::memcmp(&a.trc_header, &h, sizeof h), 0);
        EXPECT_EQ(a.num_layers, d.layers.size());
        EXPECT_EQ(a.layers.count, d.layers.size());
        EXPECT_TRUE(SameRecords(a.lights_trc.data(), a.num_lights, d.lights_trc.data(), d.lights_trc.size()));
        EXPECT_TRUE(SameRecords(a.trc_records.data(), a.num_trc_records, d.trc_records.data(), d.trc_records.size()));
        EXPECT_EQ(a.trc_tail, d.trc_tail);
        return;
    }

    EXPECT_EQ(a.num_data_words, d.num_data_words);
    ASSERT_EQ(a.num_vertices, d.vertices.size());
    // Both forms hold every vertex, whichever the file stored.
    for (size_t i = 0; i < d.vertices.size(); ++i) {
        const troom_vertex_long& e = d.vertices[i];
        EXPECT_EQ(std::memcmp(&a.vertices_long[i], &e, sizeof e), 0) << "long vertex " << i;
        const troom_vertex shortForm{e.x, e.y, e.z, e.light};
        EXPECT_EQ(std::memcmp(&a.vertices[i], &shortForm, sizeof shortForm), 0) << "short vertex " << i;
    }
    EXPECT_TRUE(SameRecords(a.rectangles.data(), a.num_rectangles, d.rectangles.data(), d.rectangles.size()));
    EXPECT_TRUE(SameRecords(a.triangles.data(), a.num_triangles, d.triangles.data(), d.triangles.size()));
    EXPECT_TRUE(SameRecords(a.sprites.data(), a.num_sprites, d.sprites.data(), d.sprites.size()));
    EXPECT_EQ(a.ambient, d.ambient);
    EXPECT_EQ(a.ambient2, d.ambient2);
    EXPECT_EQ(a.light_mode, d.light_mode);
    if (code <= LEVEL_TR1_TUB) {
        EXPECT_TRUE(SameRecords(a.lights_tr1.data(), a.num_lights, d.lights_tr1.data(), d.lights_tr1.size()));
        EXPECT_TRUE(SameRecords(a.statics_tr1.data(), a.num_statics, d.statics_tr1.data(), d.statics_tr1.size()));
    } else if (code <= LEVEL_TR3) {
        EXPECT_TRUE(SameRecords(a.lights_tr2.data(), a.num_lights, d.lights_tr2.data(), d.lights_tr2.size()));
    } else {
        EXPECT_TRUE(SameRecords(a.lights_tr4.data(), a.num_lights, d.lights_tr4.data(), d.lights_tr4.size()));
    }
    EXPECT_EQ(a.alternate_room, d.alternate_room);
    EXPECT_EQ(a.water_scheme, d.water_scheme);
    EXPECT_EQ(a.filler, d.filler);
}

// Every field of the record against the description (palette entry 0 and
// the animated texture groups as the reader sets them).
inline void ExpectLevelMatches(const Ttrlevel& L, const TLevelDesc& d)
{
    const int code = d.version_code;
    EXPECT_EQ(L.version_code, code);
    EXPECT_EQ(L.version, d.version_word ? d.version_word : LevelVersionWord(code));
    EXPECT_TRUE(L.tag == LEVEL_TAG);

    if (code >= LEVEL_TR4) {
        EXPECT_EQ(L.num_room_textiles, d.num_room_textiles);
        EXPECT_EQ(L.num_object_textiles, d.num_object_textiles);
        EXPECT_EQ(L.num_bump_textiles, d.num_bump_textiles);
        EXPECT_TRUE(SameBlock(L.textile32, d.textile32));
        EXPECT_TRUE(SameBlock(L.textile16, d.textile16));
        EXPECT_TRUE(SameBlock(L.textile_misc, d.textile_misc));
        EXPECT_EQ(L.chunk_sizes[0].uncompressed, d.textile32.size());
        EXPECT_EQ(L.chunk_sizes[1].uncompressed, d.textile16.size());
        EXPECT_EQ(L.chunk_sizes[2].uncompressed, d.textile_misc.size());
        EXPECT_EQ(L.num_textiles, d.textile16.size() / TEXTILE16_BYTES);
        EXPECT_EQ(L.textile8_bytes, L.num_textiles * TEXTILE8_BYTES);
        EXPECT_EQ(L.num_samples, d.num_samples);
        EXPECT_TRUE(SameVector(L.flyby_cameras, L.num_flyby_cameras, d.flyby_cameras));
        EXPECT_TRUE(SameVector(L.ai_objects, L.num_cinematic_frames, d.ai_objects));
        EXPECT_TRUE(L.cinematic_frames.empty());
    } else {
        EXPECT_EQ(L.num_textiles, d.num_textiles);
        EXPECT_EQ(L.textile8_bytes, d.num_textiles * TEXTILE8_BYTES);
        EXPECT_TRUE(SameBlock(L.textile8, d.textile8));
        EXPECT_TRUE(SameBlock(L.textile16, d.textile16));
        EXPECT_TRUE(SameVector(L.cinematic_frames, L.num_cinematic_frames, d.cinematic_frames));
        EXPECT_TRUE(L.ai_objects.empty());
        EXPECT_EQ(L.light_map, d.light_map);
        EXPECT_EQ(L.num_flyby_cameras, 0u);
    }
    if (code >= LEVEL_TR2 && code <= LEVEL_TR3) {
        EXPECT_EQ(std::memcmp(L.palette16.data(), d.palette16.data(), sizeof d.palette16), 0);
    }
    if (code <= LEVEL_TR3) {
        auto palette = d.palette;
        palette[0] = tpalette_entry{255, 0, 255};
        EXPECT_EQ(std::memcmp(L.palette.data(), palette.data(), sizeof palette), 0);
    }

    EXPECT_EQ(L.rooms_unused, d.rooms_unused);
    ASSERT_EQ(L.num_rooms, d.rooms.size());
    ASSERT_EQ(L.rooms.size(), d.rooms.size());
    for (size_t i = 0; i < d.rooms.size(); ++i) ExpectRoomMatches(L.rooms[i], d.rooms[i], code, "room " + std::to_string(i));
    if (code == LEVEL_TRC) {
        EXPECT_EQ(std::memcmp(L.trc_header, d.trc_header.data(), 32), 0);
        EXPECT_EQ(L.trc_level_size2, d.trc_level_size2);
        EXPECT_EQ(L.trc_marker, 3114);
    }

    EXPECT_TRUE(SameVector(L.floor_data, L.num_floor_data, d.floor_data));
    EXPECT_TRUE(SameVector(L.mesh_data, L.num_mesh_data, d.mesh_data));
    EXPECT_TRUE(SameVector(L.mesh_pointers, L.num_mesh_pointers, d.mesh_pointers));
    EXPECT_TRUE(SameVector(L.animations, L.num_animations, d.animations));
    EXPECT_TRUE(SameVector(L.state_changes, L.num_state_changes, d.state_changes));
    EXPECT_TRUE(SameVector(L.anim_dispatches, L.num_anim_dispatches, d.anim_dispatches));
    EXPECT_TRUE(SameVector(L.anim_commands, L.num_anim_commands, d.anim_commands));
    EXPECT_TRUE(SameVector(L.mesh_trees, L.num_mesh_trees, d.mesh_trees));
    EXPECT_TRUE(SameVector(L.frames, L.num_frames, d.frames));
    EXPECT_TRUE(SameVector(L.moveables, L.num_moveables, d.moveables));
    EXPECT_TRUE(SameVector(L.static_meshes, L.num_static_meshes, d.static_meshes));

    // Object textures with the group numbers the animated ranges give.
    std::vector<tobject_texture> textures = d.object_textures;
    for (auto& t : textures) t.group = 0;
    if (!d.animated_textures.empty() && d.animated_textures[0] >= 1) {
        size_t pos = 1;
        for (uint16_t range = 1; range <= d.animated_textures[0] && pos < d.animated_textures.size(); ++range) {
            const size_t members = d.animated_textures[pos++] + 1u;
            for (size_t j = 0; j < members && pos < d.animated_textures.size(); ++j) {
                const uint16_t t = d.animated_textures[pos++];
                if (t < textures.size()) textures[t].group = range;
            }
        }
    }
    EXPECT_TRUE(SameVector(L.object_textures, L.num_object_textures, textures));

    EXPECT_TRUE(SameVector(L.sprite_textures, L.num_sprite_textures, d.sprite_textures));
    EXPECT_TRUE(SameVector(L.sprite_sequences, L.num_sprite_sequences, d.sprite_sequences));
    EXPECT_TRUE(SameVector(L.cameras, L.num_cameras, d.cameras));
    EXPECT_TRUE(SameVector(L.sound_sources, L.num_sound_sources, d.sound_sources));
    const size_t boxes = code <= LEVEL_TR1_TUB ? d.boxes_tr1.size() : d.boxes.size();
    EXPECT_EQ(L.num_boxes, boxes);
    EXPECT_EQ(L.num_zones, boxes);
    if (code <= LEVEL_TR1_TUB)
        EXPECT_TRUE(SameVector(L.boxes_tr1, L.num_boxes, d.boxes_tr1));
    else
        EXPECT_TRUE(SameVector(L.boxes, L.num_boxes, d.boxes));
    EXPECT_EQ(L.boxes.size(), boxes);
    EXPECT_EQ(L.boxes_tr1.size(), boxes);
    EXPECT_TRUE(SameVector(L.overlaps, L.num_overlaps, d.overlaps));
    for (int z = 0; z < 10; ++z) EXPECT_EQ(L.zones[z], d.zones[z]) << "zone array " << z + 1;
    EXPECT_TRUE(SameVector(L.animated_textures, L.num_animated_textures, d.animated_textures));

    // Items in both layouts.
    std::vector<tlevel_item> items = d.items;
    std::vector<titem_tr1> itemsTr1 = d.items_tr1;
    if (code <= LEVEL_TR1_TUB) {
        items.clear();
        for (const titem_tr1& a : d.items_tr1)
            items.push_back(tlevel_item{a.id, a.room, a.x, a.y, a.z, a.angle, a.intensity1, a.intensity2, a.flags});
    } else {
        itemsTr1.clear();
        for (const tlevel_item& b : d.items)
            itemsTr1.push_back(titem_tr1{b.id, b.room, b.x, b.y, b.z, b.angle, uint8_t(b.intensity1), uint8_t(b.intensity2), b.flags});
    }
    EXPECT_TRUE(SameVector(L.items, L.num_items, items));
    EXPECT_TRUE(SameVector(L.items_tr1, L.num_items, itemsTr1));

    EXPECT_TRUE(SameVector(L.demo_data, L.num_demo_data, d.demo_data));
    EXPECT_EQ(L.sound_map, d.sound_map);
    EXPECT_TRUE(SameVector(L.sound_details, L.num_sound_details, d.sound_details));
    EXPECT_TRUE(SameBlock(L.sample_data, d.sample_data));
    EXPECT_EQ(L.sample_data_size, d.sample_data.size());
    EXPECT_TRUE(SameVector(L.sample_indices, L.num_sample_indices, d.sample_indices));
}

// The state of a new record: nothing loaded.
inline void ExpectEmptyLevel(const Ttrlevel& L)
{
    EXPECT_EQ(L.version_code, 0);
    EXPECT_EQ(L.version, 0u);
    EXPECT_TRUE(L.tag.empty());
    EXPECT_EQ(L.num_rooms, 0);
    EXPECT_TRUE(L.rooms.empty());
    for (uint32_t n : {L.num_floor_data, L.num_mesh_data, L.num_mesh_pointers, L.num_animations, L.num_state_changes,
                       L.num_anim_dispatches, L.num_anim_commands, L.num_mesh_trees, L.num_frames, L.num_moveables,
                       L.num_static_meshes, L.num_object_textures, L.num_sprite_textures, L.num_sprite_sequences,
                       L.num_cameras, L.num_flyby_cameras, L.num_sound_sources, L.num_boxes, L.num_overlaps, L.num_zones,
                       L.num_animated_textures, L.num_items, L.num_cinematic_frames, L.num_demo_data,
                       L.num_sound_details, L.num_sample_indices, L.num_textiles, L.textile8_bytes,
                       L.sample_data_size, L.num_samples})
        EXPECT_EQ(n, 0u);
    EXPECT_TRUE(L.floor_data.empty() && L.mesh_data.empty() && L.mesh_pointers.empty() && L.animations.empty());
    EXPECT_TRUE(L.frames.empty() && L.moveables.empty() && L.static_meshes.empty() && L.object_textures.empty());
    EXPECT_TRUE(L.items.empty() && L.items_tr1.empty() && L.boxes.empty() && L.boxes_tr1.empty());
    EXPECT_TRUE(L.zones[0].empty() && L.zones[9].empty() && L.sample_indices.empty() && L.demo_data.empty());
    EXPECT_EQ(L.textile8.data(), nullptr);
    EXPECT_EQ(L.textile16.data(), nullptr);
    EXPECT_EQ(L.textile32.data(), nullptr);
    EXPECT_EQ(L.textile_misc.data(), nullptr);
    EXPECT_EQ(L.sample_data.data(), nullptr);
    EXPECT_EQ(L.palette[0].red, 0);
}

}  // namespace trlevel_test
