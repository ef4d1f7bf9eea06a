// Writes small game level files of every version code from a plain
// description, field by field in each version's file layout, so that the
// reader can be tested (and measured) on files it did not produce itself.
//
// The description uses the level record's element types for convenience;
// the writer never copies a record whole, it stores each field in the order
// and width the version's layout gives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "level/trlevel.h"

// One layer of a TRC room.
struct TTrcLayerDesc {
    std::vector<ttrc_vertex> vertices;
    std::vector<ttrc_rectangle> rectangles;  // vertex indexes into this layer's vertices
    std::vector<ttrc_triangle> triangles;
    uint16_t word4 = 0;
    std::array<uint8_t, 46> rest{};
};

struct TRoomDesc {
    int32_t x = 0, z = 0, y_bottom = 0, y_top = 0;
    uint32_t num_data_words = 0;
    // TR1 files store x, y, z and light of each vertex; later files all six fields.
    std::vector<troom_vertex_long> vertices;
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

    // TRC rooms: header words that the fields above do not give (position,
    // sizes, counts and flags are filled in by the writer), the 36-byte
    // records, the layers and the bytes after them.
    ttrc_room_header trc_header{};
    std::vector<ttrc_room_record> trc_records;
    std::vector<TTrcLayerDesc> layers;
    std::vector<uint8_t> trc_tail;
};

// Offsets of what a test may want to damage. Offsets in `at` are in the
// stream the reader parses: the file itself, or for TR4 the inflated level
// block (before it is compressed).
struct TLevelLayout {
    std::map<std::string, size_t> at;
    size_t parsed_end = 0;  // in that stream, after the last byte the reader parses
    // File offsets and sizes of the compressed data: the three textile chunks
    // (TR4, TRC) and the level block (TR4).
    std::array<size_t, 4> chunk_data{};
    std::array<size_t, 4> chunk_size{};
    size_t file_size = 0;
};

struct TLevelDesc {
    int version_code = LEVEL_TR1;
    uint32_t version_word = 0;  // 0: the usual word of the version code

    // TR1 to TR3: textile pages (8-bit, and 16-bit for TR2 and TR3).
    uint32_t num_textiles = 0;
    std::vector<uint8_t> textile8;
    std::vector<uint8_t> textile16;  // also the 16-bit chunk of TR4 and TRC
    // TR4 and TRC: textile counts and the 32-bit and further chunks.
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
    // Attribute, tile and corners for every version; flags and extra words
    // for TR4 and TRC; trc_word for TRC.
    std::vector<tobject_texture> object_textures;
    std::vector<tsprite_texture> sprite_textures;
    std::vector<tsprite_sequence> sprite_sequences;
    std::vector<tlevel_camera> cameras;
    std::vector<tlevel_flyby_camera> flyby_cameras;  // TR4 and TRC
    std::vector<tlevel_sound_source> sound_sources;
    std::vector<tbox_tr1> boxes_tr1;  // TR1 files
    std::vector<tbox> boxes;          // later files
    std::vector<uint16_t> overlaps;
    // Zone arrays 1 to 10, each as long as the boxes; TR1 files carry 1, 2, 5, 6, 7 and 10.
    std::array<std::vector<uint16_t>, 10> zones;
    std::vector<uint16_t> animated_textures;
    std::vector<titem_tr1> items_tr1;  // TR1 files
    std::vector<tlevel_item> items;          // later files
    std::array<uint8_t, 8192> light_map{};
    std::vector<tcinematic_frame> cinematic_frames;  // TR1 to TR3
    std::vector<tai_object> ai_objects;              // TR4 and TRC
    std::vector<uint8_t> demo_data;
    std::array<int16_t, 450> sound_map{};  // the version's share of it is written
    std::vector<tsound_detail> sound_details;
    std::vector<uint8_t> sample_data;
    uint32_t num_samples = 0;  // TR4 and TRC
    std::vector<uint32_t> sample_indices;

    // Called with the stream the reader parses (see TLevelLayout) before it
    // is compressed or stored, so that a test can damage it.
    std::function<void(std::vector<uint8_t>&, const TLevelLayout&)> patch;
};

// The header words of a TRC room as the writer stores them: the room's
// trc_header with position, sector counts, counts and flags filled in.
ttrc_room_header TrcRoomHeader(const TRoomDesc& room);

// The usual first word of a version code.
uint32_t LevelVersionWord(int versionCode);
// A file name ending ("." included) that the level reader takes for the
// version code; it tells the other versions apart by their version word.
std::string LevelFileExtension(int versionCode);

std::vector<uint8_t> WriteLevelFile(const TLevelDesc& desc, TLevelLayout* layout = nullptr);
void SaveLevelFile(const std::string& fileName, const TLevelDesc& desc, TLevelLayout* layout = nullptr);

// Sizes of a generated level.
struct TSampleLevelSize {
    int rooms = 2;
    int textiles = 1;       // pages
    int vertices = 12;      // per room (per layer for TRC)
    int rectangles = 6;     // per room (per layer for TRC)
    int triangles = 3;      // per room (per layer for TRC)
    int sprites = 1;
    int portals = 1;
    int x_sectors = 3, z_sectors = 4;
    int lights = 2;
    int statics = 2;
    int trc_layers = 2;
    int entries = 3;        // entries of each level-wide section
    uint32_t seed = 1;
};

// A level of the given version code whose every section holds deterministic
// varied content that fits the version's layout.
TLevelDesc MakeSampleLevel(int versionCode, const TSampleLevelSize& size = {});

// ---- Meshes, mesh trees, animations and frames ----
//
// Helpers that fill a level description's mesh data, mesh pointers, mesh
// trees, animations, frames and moveables in the layout of its version code.

// One face of a mesh. Triangles use the first three vertices; `texture` is
// the object texture word of a textured face or the palette colour index of
// a coloured one.
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

// The mesh data words of one mesh in the layout of the version code,
// followed by a padding word when its size is not a multiple of 4 bytes.
std::vector<uint16_t> EncodeMesh(const TMeshDesc& mesh, int versionCode);

// Appends the mesh to the level's mesh data and a pointer to it to the mesh
// pointers; returns the pointer's index.
uint32_t AddMesh(TLevelDesc& desc, const TMeshDesc& mesh);

// A cube of side 2 x half around the origin (level units), eight vertices
// and six textured quads with the given object texture word, faces turned
// outward; each vertex gets a shade (vertex i: shade i x shadeStep) unless
// shadeStep is negative, which gives it normals instead.
TMeshDesc MakeCubeMesh(int16_t half, uint16_t texture, int shadeStep = -1);

// One node of a mesh tree: bit 0 of the flags pops, bit 1 pushes.
struct TMeshTreeNode {
    int32_t flags = 0;
    int32_t dx = 0, dy = 0, dz = 0;
};

// One mesh rotation of a frame. kXYZ: three 10-bit angles (1024 to a
// turn); kX, kY, kZ: one angle about that axis in the version's fine units
// (4096 to a turn for TR4 and TRC, 1024 otherwise), stored in one word.
// TR1 files store every rotation as three 10-bit angles in two words; a
// one-axis rotation is converted to that form for them.
struct TFrameRotation {
    enum TAxis { kXYZ, kX, kY, kZ };
    TAxis axis = kXYZ;
    uint16_t x = 0, y = 0, z = 0;  // for one axis, that axis's field holds the angle
};

struct TFrameDesc {
    tbounding_box box{};
    std::array<int16_t, 3> offset{};  // the root mesh's offset
    std::vector<TFrameRotation> rotations;
};

// The frame words in the layout of the version code: the box, the offset,
// for TR1 the number of rotations, then the rotations.
std::vector<int16_t> EncodeFrame(const TFrameDesc& frame, int versionCode);

struct TMoveableDesc {
    uint32_t object_id = 0;
    // The meshes, each added to the mesh data with a pointer of its own; or,
    // when `meshes` is empty, pointers to these byte offsets of meshes
    // already added.
    std::vector<TMeshDesc> meshes;
    std::vector<uint32_t> mesh_offsets;
    std::vector<TMeshTreeNode> tree;  // one node per mesh after the first
    // Each animation's frames, in order; all frames of an animation have the
    // size of its first (TR1: 10 + 2 words per mesh).
    std::vector<std::vector<TFrameDesc>> animations;
};

// Appends the moveable's meshes, pointers, tree, animations and frames and
// the moveable itself; returns its index in the moveable list. A moveable
// without animations gets animation -1 and the frame data's end as its
// frame offset.
uint32_t AddMoveable(TLevelDesc& desc, const TMoveableDesc& moveable);

// The byte offset in the mesh data of the mesh that pointer `pointer` designates.
inline uint32_t MeshOffset(const TLevelDesc& desc, uint32_t pointer) { return desc.mesh_pointers.at(pointer); }

// An object texture on a tile with four corners given as pixels and
// direction bytes (x direction, x pixel, y direction, y pixel each).
tobject_texture MakeObjectTexture(uint16_t tile, const std::array<tobject_texture_corner, 4>& corners,
                                  uint16_t attribute = 0);

// A level with `moveables` moveables of `meshesPerMoveable` cube meshes each
// (a chain of tree nodes, one animation of `frames` frames with varied
// rotations), `statics` static meshes and a few object textures on `textiles`
// pages, in the layout of the version code. For benchmarks and fuzz seeds.
TLevelDesc MakeMeshLevel(int versionCode, int moveables, int meshesPerMoveable, int frames, int statics,
                         int textiles = 1, uint32_t seed = 1);
