// Writes small game level files of every version code from a plain
// description, field by field in each version's file layout, so that the
// reader can be tested (and measured) on files it did not produce itself.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "level/trlevel.h"

// One layer of a TRC room; faces index this layer's vertices.
struct TTrcLayerDesc {
    std::vector<ttrc_vertex> vertices;
    std::vector<ttrc_rectangle> rectangles;
    std::vector<ttrc_triangle> triangles;
    uint16_t word4 = 0;
    std::array<uint8_t, 46> rest{};
};

struct TRoomDesc {
    int32_t x = 0, z = 0, y_bottom = 0, y_top = 0;
    uint32_t num_data_words = 0;
    std::vector<troom_vertex_long> vertices;  // TR1 files store x, y, z and light only
    std::vector<troom_rectangle> rectangles;
    std::vector<troom_triangle> triangles;
    std::vector<troom_sprite> sprites;
    std::vector<troom_portal> portals;
    uint16_t num_z_sectors = 0, num_x_sectors = 0;
    std::vector<troom_sector> sectors;  // written as they are, whatever the counts say
    uint16_t ambient = 0, ambient2 = 0, light_mode = 0;
    // The lights and statics of the file's version are written.
    std::vector<troom_light_tr1> lights_tr1;
    std::vector<troom_light_tr2> lights_tr2;
    std::vector<troom_light_tr4> lights_tr4;
    std::vector<troom_light_trc> lights_trc;
    std::vector<troom_static_tr1> statics_tr1;
    std::vector<tlevel_room_static> statics;
    int16_t alternate_room = -1;
    uint16_t flags = 0;
    uint16_t water_scheme = 0;
    uint8_t filler = 0;
    // TRC rooms: header words the fields above do not give, the 36-byte
    // records, the layers and the bytes after them.
    ttrc_room_header trc_header{};
    std::vector<ttrc_room_record> trc_records;
    std::vector<TTrcLayerDesc> layers;
    std::vector<uint8_t> trc_tail;
};

// Offsets of what a test may damage, in the stream the reader parses (the
// file, or for TR4 the inflated level block); and where the compressed
// chunks lie in the file (three textile chunks, then TR4's level block).
struct TLevelLayout {
    std::map<std::string, size_t> at;
    size_t parsed_end = 0;
    std::array<size_t, 4> chunk_data{};
    std::array<size_t, 4> chunk_size{};
};

struct TLevelDesc {
    int version_code = LEVEL_TR1;
    uint32_t version_word = 0;  // 0: the usual word of the version code
    uint32_t num_textiles = 0;  // TR1 to TR3
    std::vector<uint8_t> textile8;
    std::vector<uint8_t> textile16;  // also the 16-bit chunk of TR4 and TRC
    uint16_t num_room_textiles = 0, num_object_textiles = 0, num_bump_textiles = 0;
    std::vector<uint8_t> textile32;
    std::vector<uint8_t> textile_misc;
    std::array<tpalette_entry, 256> palette{};
    std::array<tpalette16_entry, 256> palette16{};
    uint32_t rooms_unused = 0;
    std::array<uint8_t, 32> trc_header{};
    uint32_t trc_level_size2 = 0;
    std::vector<TRoomDesc> rooms;
    std::vector<uint16_t> floor_data;
    std::vector<uint16_t> mesh_data;
    std::vector<uint32_t> mesh_pointers;
    std::vector<tanimation> animations;  // the lateral words only in TR4 and TRC files
    std::vector<tstate_change> state_changes;
    std::vector<tanim_dispatch> anim_dispatches;
    std::vector<uint16_t> anim_commands;
    std::vector<int32_t> mesh_trees;
    std::vector<int16_t> frames;
    std::vector<tmoveable> moveables;  // trc_filler only in TRC files
    std::vector<tstatic_mesh> static_meshes;
    std::vector<tobject_texture> object_textures;  // flags and extra: TR4, TRC; trc_word: TRC
    std::vector<tsprite_texture> sprite_textures;
    std::vector<tsprite_sequence> sprite_sequences;
    std::vector<tlevel_camera> cameras;
    std::vector<tlevel_flyby_camera> flyby_cameras;  // TR4 and TRC
    std::vector<tlevel_sound_source> sound_sources;
    std::vector<tbox_tr1> boxes_tr1;  // TR1 files
    std::vector<tbox> boxes;          // later files
    std::vector<uint16_t> overlaps;
    std::array<std::vector<uint16_t>, 10> zones;  // as long as the boxes; TR1 carries 1, 2, 5, 6, 7 and 10
    std::vector<uint16_t> animated_textures;
    std::vector<titem_tr1> items_tr1;  // TR1 files
    std::vector<tlevel_item> items;    // later files
    std::array<uint8_t, 8192> light_map{};
    std::vector<tcinematic_frame> cinematic_frames;  // TR1 to TR3
    std::vector<tai_object> ai_objects;              // TR4 and TRC
    std::vector<uint8_t> demo_data;
    std::array<int16_t, 450> sound_map{};  // the version's share of it is written
    std::vector<tsound_detail> sound_details;
    std::vector<uint8_t> sample_data;
    uint32_t num_samples = 0;  // TR4 and TRC
    std::vector<uint32_t> sample_indices;
    // Called with the parsed stream (see TLevelLayout) before it is
    // compressed or stored, so that a test can damage it.
    std::function<void(std::vector<uint8_t>&, const TLevelLayout&)> patch;
};

// The usual first word of a version code, and a file name ending ("."
// included) that the reader takes for it.
uint32_t LevelVersionWord(int versionCode);
std::string LevelFileExtension(int versionCode);

std::vector<uint8_t> WriteLevelFile(const TLevelDesc& desc, TLevelLayout* layout = nullptr);
void SaveLevelFile(const std::string& fileName, const TLevelDesc& desc, TLevelLayout* layout = nullptr);

struct TSampleLevelSize {
    int rooms = 2;
    int textiles = 1;   // pages
    int vertices = 12;  // per room (per layer for TRC), and faces likewise
    int rectangles = 6;
    int triangles = 3;
    int sprites = 1;
    int portals = 1;
    int x_sectors = 3, z_sectors = 4;
    int lights = 2;
    int statics = 2;
    int trc_layers = 2;
    int entries = 3;  // entries of each level-wide section
    uint32_t seed = 1;
};

// A level of the version code whose every section holds deterministic
// varied content that fits the version's layout.
TLevelDesc MakeSampleLevel(int versionCode, const TSampleLevelSize& size = {});

// Two rooms of 4 x 5 sectors side by side, walls round their edges, each
// with a portal to the other; the second lies one sector (1024) higher and
// is a water room. Row 3 of the first room's last column and of the second
// room's first column form the doorway between them: open at their room's
// floor, with their floor data at the given indices. The level has no
// floor data yet.
TLevelDesc MakeTwoRoomLevel(int versionCode, uint16_t doorwayData0, uint16_t doorwayData1);

// ---- Meshes, mesh trees, animations and frames, in the version's layout

// Triangles use the first three vertices; `texture` is the object texture
// word of a textured face or the palette index of a coloured one.
struct TMeshFaceDesc {
    std::array<uint16_t, 4> vertices{};
    uint16_t texture = 0;
    uint16_t effects = 0;  // TR4 and TRC textured faces
};

struct TMeshDesc {
    std::array<int16_t, 3> centre{};
    int32_t radius = 0;
    std::vector<tvertex16> vertices;
    std::vector<tvertex16> normals;  // written when `shades` is empty
    std::vector<uint16_t> shades;    // when not empty: written instead of normals, counted negative
    std::vector<TMeshFaceDesc> textured_quads;
    std::vector<TMeshFaceDesc> textured_triangles;
    std::vector<TMeshFaceDesc> colored_quads;      // TR1 to TR3 only
    std::vector<TMeshFaceDesc> colored_triangles;  // TR1 to TR3 only
};

// Appends the mesh to the mesh data and a pointer to it; returns the pointer's index.
uint32_t AddMesh(TLevelDesc& desc, const TMeshDesc& mesh);

// A cube of side 2 x half around the origin with six outward textured quads;
// vertex i gets shade i x shadeStep, or normals when shadeStep is negative.
TMeshDesc MakeCubeMesh(int16_t half, uint16_t texture, int shadeStep = -1);

// One mesh tree node: bit 0 of the flags pops, bit 1 pushes.
struct TMeshTreeNode {
    int32_t flags = 0;
    int32_t dx = 0, dy = 0, dz = 0;
};

// kXYZ: three 10-bit angles (1024 to a turn); kX, kY, kZ: one angle about
// that axis in the version's units (4096 to a turn for TR4 and TRC, 1024
// otherwise) in one word. TR1 files get three angles for every rotation.
struct TFrameRotation {
    enum TAxis { kXYZ, kX, kY, kZ };
    TAxis axis = kXYZ;
    uint16_t x = 0, y = 0, z = 0;
};

struct TFrameDesc {
    tbounding_box box{};
    std::array<int16_t, 3> offset{};  // the root mesh's offset
    std::vector<TFrameRotation> rotations;
};

struct TMoveableDesc {
    uint32_t object_id = 0;
    // Meshes added with a pointer each; or, when empty, pointers to these
    // byte offsets of meshes already added.
    std::vector<TMeshDesc> meshes;
    std::vector<uint32_t> mesh_offsets;
    std::vector<TMeshTreeNode> tree;  // one node per mesh after the first
    // Each animation's frames; all frames have the size of the first.
    std::vector<std::vector<TFrameDesc>> animations;
};

// Appends the moveable with its meshes, tree, animations and frames; returns
// its index. Without animations it gets animation -1 and the frame data's end.
uint32_t AddMoveable(TLevelDesc& desc, const TMoveableDesc& moveable);

// The byte offset in the mesh data of the mesh that pointer `pointer` designates.
inline uint32_t MeshOffset(const TLevelDesc& desc, uint32_t pointer) { return desc.mesh_pointers.at(pointer); }

tobject_texture MakeObjectTexture(uint16_t tile, const std::array<tobject_texture_corner, 4>& corners,
                                  uint16_t attribute = 0);

// A level of `moveables` moveables of `meshesPerMoveable` cubes each (a chain
// of tree nodes, one animation of `frames` frames), `statics` static meshes
// and object textures on `textiles` pages. For benchmarks and fuzz seeds.
TLevelDesc MakeMeshLevel(int versionCode, int moveables, int meshesPerMoveable, int frames, int statics,
                         int textiles = 1, uint32_t seed = 1);
