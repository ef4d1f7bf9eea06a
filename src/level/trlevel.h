// The level record: the editor's one in-memory form of a game level file of
// any supported version (TR1 to TRC), and its reader.
//
// Every section of a level file is kept in a growable array with a count
// beside it. Sections whose record layout changed between the game versions
// are kept in the widest layout, or in two parallel arrays (older and newer
// layout), so that the readers of the record see one shape for all versions.
// Rooms use a record of fixed-capacity tables.
//
// Numbering: level rooms count from 0 and 255 means "no room" in sector
// links; room vertex numbers handed out by RoomVertexFind count from 1, while
// the vertex indexes stored in faces count from 0.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "level/zlibwrap.h"
#include "platform/rtl/progress.h"
#include "platform/rtl/shortstring.h"

static_assert(std::endian::native == std::endian::little, "level records are read in the file's byte order");

// Version codes, set by the reader from the file's first word and its name.
inline constexpr int32_t LEVEL_TR1 = 1;
inline constexpr int32_t LEVEL_TR1_TUB = 2;  // TR1 version word, name containing ".TUB" or ".tub"
inline constexpr int32_t LEVEL_TR2 = 3;
inline constexpr int32_t LEVEL_TR2_TRG = 4;  // TR2 version word, name containing ".TRG" or ".trg"
inline constexpr int32_t LEVEL_TR3 = 5;
inline constexpr int32_t LEVEL_TR4 = 6;
inline constexpr int32_t LEVEL_TRC = 7;  // name containing ".TRC" or ".trc"

// Results of Ttrlevel::LoadFromFile.
inline constexpr int LEVEL_LOADED = 0;           // read (or its textures read)
inline constexpr int LEVEL_NO_FILE = 1;          // no file of that name
inline constexpr int LEVEL_UNKNOWN_VERSION = 2;  // the first word names no known version
inline constexpr int LEVEL_DAMAGED = 3;  // truncated, out-of-range counts, damaged compressed data or out of memory

// What the main window shows for a level file that LoadFromFile refused.
inline constexpr const char* LEVEL_DAMAGED_TEXT = "Invalid or damaged level file";

// The text kept in Ttrlevel::tag once a file of a known version has been read.
inline constexpr const char* LEVEL_TAG = "kestrel";

// Bytes one level may take while it is read: its content, what its
// compressed chunks inflate to, and every table and block sized from its
// counts. A file that needs more is refused as out of memory (LEVEL_DAMAGED)
// before the excess is allocated. Counts and compressed sizes can claim
// anything, and a few megabytes of deflate data inflate to gigabytes, so
// this bound is what keeps one level file from taking the machine's memory.
extern int64_t LevelMemoryLimit;

// Capacities of the fixed room tables.
inline constexpr int ROOM_MAX_VERTICES = 1500;
inline constexpr int ROOM_MAX_RECTANGLES = 2000;
inline constexpr int ROOM_MAX_TRIANGLES = 1250;
inline constexpr int ROOM_MAX_SPRITES = 50;
inline constexpr int ROOM_MAX_PORTALS = 20;
inline constexpr int ROOM_MAX_SECTORS = 512;
inline constexpr int ROOM_MAX_LIGHTS = 50;
inline constexpr int ROOM_MAX_STATICS = 50;
inline constexpr int ROOM_MAX_TRC_RECORDS = 21;

// Bytes of one textile page at 8, 16 and 32 bits per pixel.
inline constexpr uint32_t TEXTILE8_BYTES = 256 * 256;
inline constexpr uint32_t TEXTILE16_BYTES = 256 * 256 * 2;
inline constexpr uint32_t TEXTILE32_BYTES = 256 * 256 * 4;

#pragma pack(push, 1)

struct tvertex16 {
    int16_t x, y, z;
};
static_assert(sizeof(tvertex16) == 6);

// Room vertex, short form (TR1 layout). The high byte of `light` is the light byte.
struct troom_vertex {
    int16_t x, y, z;
    int16_t light;
};
static_assert(sizeof(troom_vertex) == 8);

// Room vertex, long form (TR2 to TR4 layout); colour is RGB 5-5-5.
struct troom_vertex_long {
    int16_t x, y, z;
    int16_t light;
    uint16_t attributes;
    uint16_t colour;
};
static_assert(sizeof(troom_vertex_long) == 12);

// Room vertex of a TRC layer: position, normal and a blue-green-red-alpha colour.
struct ttrc_vertex {
    float x, y, z;
    float nx, ny, nz;
    uint8_t blue, green, red, alpha;
};
static_assert(sizeof(ttrc_vertex) == 28);

// Faces: vertex indexes count from 0; texture is an object texture word.
struct troom_rectangle {
    uint16_t vertices[4];
    uint16_t texture;
};
static_assert(sizeof(troom_rectangle) == 10);

struct ttrc_rectangle {
    uint16_t vertices[4];
    uint16_t texture;
    uint16_t flags;
};
static_assert(sizeof(ttrc_rectangle) == 12);

struct troom_triangle {
    uint16_t vertices[3];
    uint16_t texture;
};
static_assert(sizeof(troom_triangle) == 8);

struct ttrc_triangle {
    uint16_t vertices[3];
    uint16_t texture;
    uint16_t flags;
};
static_assert(sizeof(ttrc_triangle) == 10);

struct troom_sprite {
    int16_t vertex;
    int16_t texture;
};
static_assert(sizeof(troom_sprite) == 4);

struct troom_portal {
    uint16_t adjoining_room;
    tvertex16 normal;
    tvertex16 vertices[4];
};
static_assert(sizeof(troom_portal) == 32);

// One sector of a level room; floor and ceiling in clicks (-127 floor: a wall).
// Sectors are numbered X-major, Z fastest: column x, row z (from 0) is
// sector x * num_z_sectors + z.
struct troom_sector {
    uint16_t floor_data_index;
    uint16_t box_index;
    uint8_t room_below;  // 255: none
    int8_t floor;
    uint8_t room_above;  // 255: none
    int8_t ceiling;
};
static_assert(sizeof(troom_sector) == 8);

struct troom_light_tr1 {
    int32_t x, y, z;
    uint16_t intensity;
    uint32_t fade;
};
static_assert(sizeof(troom_light_tr1) == 18);

// The 24-byte light of TR2 and TR3 (TR3 keeps its colour in the words after x, y, z).
struct troom_light_tr2 {
    int32_t x, y, z;
    uint16_t intensity1, intensity2;
    uint32_t fade1, fade2;
};
static_assert(sizeof(troom_light_tr2) == 24);

struct troom_light_tr4 {
    int32_t x, y, z;
    uint8_t red, green, blue;
    uint8_t light_type;
    uint8_t unknown;
    uint8_t intensity;
    float in, out, length, cutoff;
    float dx, dy, dz;
};
static_assert(sizeof(troom_light_tr4) == 46);

struct troom_light_trc {
    uint8_t data[88];
};
static_assert(sizeof(troom_light_trc) == 88);

struct troom_static_tr1 {
    int32_t x, y, z;
    uint16_t rotation;
    uint16_t intensity1;
    uint16_t mesh_id;
};
static_assert(sizeof(troom_static_tr1) == 18);

struct tlevel_room_static {
    int32_t x, y, z;
    uint16_t rotation;
    uint16_t intensity1, intensity2;
    uint16_t mesh_id;
};
static_assert(sizeof(tlevel_room_static) == 20);

// A 36-byte record that TRC rooms count in their header (at most 21 per room).
struct ttrc_room_record {
    uint8_t data[36];
};
static_assert(sizeof(ttrc_room_record) == 36);

// The header words of a TRC room, as stored after its tag and data size.
struct ttrc_room_header {
    uint32_t word0;
    uint32_t offsets[4];
    int32_t x;
    uint32_t word24;
    int32_t z;
    int32_t y_bottom;
    int32_t y_top;
    uint16_t num_z_sectors;
    uint16_t num_x_sectors;
    uint32_t room_colour;
    uint16_t num_lights;
    uint16_t num_statics;
    uint32_t words52[3];
    uint32_t skipped64[2];
    uint8_t skipped72[6];
    uint8_t flags[2];
    uint16_t word80;
    uint8_t skipped82[10];
    uint32_t skipped92;
    uint8_t bytes96[16];
    uint32_t skipped112[4];
    uint32_t word128;
    uint32_t skipped132;
    uint32_t words136[5];
    uint32_t num_records;  // 36-byte records that follow the lights
    uint32_t word160;
    uint32_t word164;
    uint32_t num_layers;
    uint32_t words172[5];
    uint32_t skipped192[4];
};
static_assert(sizeof(ttrc_room_header) == 208);

// The header of one TRC room layer.
struct ttr5_layer_header {
    uint32_t num_vertices;
    uint16_t word4;
    uint16_t num_rectangles;
    uint16_t num_triangles;
    uint8_t rest[46];
};
static_assert(sizeof(ttr5_layer_header) == 56);

// Animation in the TR4 layout; older versions leave the lateral words zero.
struct tanimation {
    int32_t frame_offset;  // bytes into the frame data
    uint8_t frame_rate;
    uint8_t frame_size;  // words per frame
    uint16_t state_id;
    int32_t speed;
    int32_t accel;
    int32_t speed_lateral;
    int32_t accel_lateral;
    uint16_t frame_start;
    uint16_t frame_end;
    uint16_t next_animation;
    uint16_t next_frame;
    uint16_t num_state_changes;
    uint16_t state_change_offset;
    uint16_t num_anim_commands;
    uint16_t anim_command_offset;
};
static_assert(sizeof(tanimation) == 40);

struct tstate_change {
    uint16_t state_id;
    uint16_t num_dispatches;
    uint16_t dispatch_offset;
};
static_assert(sizeof(tstate_change) == 6);

struct tanim_dispatch {
    int16_t low;
    int16_t high;
    int16_t next_animation;
    int16_t next_frame;
};
static_assert(sizeof(tanim_dispatch) == 8);

// Moveable in the TRC layout; older versions leave trc_filler zero.
struct tmoveable {
    uint32_t object_id;
    uint16_t num_meshes;
    uint16_t starting_mesh;  // index into the mesh pointers
    uint32_t mesh_tree;      // index into the mesh tree words
    uint32_t frame_offset;   // bytes into the frame data
    int16_t animation;       // -1: none
    uint16_t trc_filler;
};
static_assert(sizeof(tmoveable) == 20);

struct tbounding_box {
    int16_t min_x, max_x, min_y, max_y, min_z, max_z;
};
static_assert(sizeof(tbounding_box) == 12);

struct tstatic_mesh {
    uint32_t object_id;
    uint16_t mesh;  // index into the mesh pointers
    tbounding_box visibility;
    tbounding_box collision;
    uint16_t flags;
};
static_assert(sizeof(tstatic_mesh) == 32);

// One corner of an object texture: a direction byte and a pixel byte per axis.
struct tobject_texture_corner {
    uint8_t xcoordinate;
    uint8_t xpixel;
    uint8_t ycoordinate;
    uint8_t ypixel;
};
static_assert(sizeof(tobject_texture_corner) == 4);

// Object texture in the common 45-byte form. `group` is the animated texture
// range the texture belongs to (from 1), 0 for none.
struct tobject_texture {
    uint16_t attribute;
    uint16_t tile;   // the low 12 bits are the texture page
    uint16_t flags;  // TR4 and TRC
    tobject_texture_corner corners[4];
    uint32_t extra[4];  // TR4 and TRC
    uint16_t trc_word;  // TRC
    uint8_t unused[3];
    uint16_t group;
};
static_assert(sizeof(tobject_texture) == 45);

struct tsprite_texture {
    uint16_t tile;
    uint8_t x, y;
    uint16_t width, height;
    int16_t left, top, right, bottom;
};
static_assert(sizeof(tsprite_texture) == 16);

struct tsprite_sequence {
    int32_t object_id;
    int16_t negative_length;
    int16_t offset;
};
static_assert(sizeof(tsprite_sequence) == 8);

struct tlevel_camera {
    int32_t x, y, z;
    int16_t room;
    uint16_t flags;
};
static_assert(sizeof(tlevel_camera) == 16);

struct tlevel_flyby_camera {
    int32_t x, y, z;
    int32_t dx, dy, dz;
    uint8_t sequence;
    uint8_t index;
    uint16_t fov;
    int16_t roll;
    uint16_t timer;
    uint16_t speed;
    uint16_t flags;
    uint32_t room;
};
static_assert(sizeof(tlevel_flyby_camera) == 40);

struct tlevel_sound_source {
    int32_t x, y, z;
    uint16_t sound_id;
    uint16_t flags;
};
static_assert(sizeof(tlevel_sound_source) == 16);

struct tbox_tr1 {
    int32_t z_min, z_max, x_min, x_max;
    int16_t true_floor;
    int16_t overlap_index;
};
static_assert(sizeof(tbox_tr1) == 20);

struct tbox {
    uint8_t z_min, z_max, x_min, x_max;
    int16_t true_floor;
    int16_t overlap_index;
};
static_assert(sizeof(tbox) == 8);

struct titem_tr1 {
    int16_t id;
    int16_t room;
    int32_t x, y, z;
    uint16_t angle;
    uint8_t intensity1;
    uint8_t intensity2;
    uint16_t flags;
};
static_assert(sizeof(titem_tr1) == 22);

struct tlevel_item {
    int16_t id;
    int16_t room;
    int32_t x, y, z;
    uint16_t angle;
    uint16_t intensity1;
    uint16_t intensity2;  // OCB for TR4 and TRC
    uint16_t flags;
};
static_assert(sizeof(tlevel_item) == 24);

struct tpalette_entry {
    uint8_t red, green, blue;  // 6-bit values for TR1
};
static_assert(sizeof(tpalette_entry) == 3);

struct tpalette16_entry {
    uint8_t red, green, blue, unused;
};
static_assert(sizeof(tpalette16_entry) == 4);

struct tcinematic_frame {
    int16_t target_x, target_y, target_z;
    int16_t x, y, z;
    int16_t fov;
    int16_t roll;
};
static_assert(sizeof(tcinematic_frame) == 16);

struct tai_object {
    uint16_t object_id;
    uint16_t room;
    int32_t x, y, z;
    uint16_t ocb;
    uint16_t flags;
    int32_t angle;
};
static_assert(sizeof(tai_object) == 24);

struct tsound_detail {
    uint16_t sample;
    uint16_t volume;
    uint16_t chance;
    uint16_t characteristics;
};
static_assert(sizeof(tsound_detail) == 8);

#pragma pack(pop)

// The layered geometry of one TRC room, one block per layer in each array.
struct ttr5_layer_vertices {
    uint16_t count = 0;
    std::array<ttrc_vertex, ROOM_MAX_VERTICES> entries{};
};
struct ttr5_layer_rectangles {
    uint16_t count = 0;
    std::array<ttrc_rectangle, ROOM_MAX_RECTANGLES> entries{};
};
struct ttr5_layer_triangles {
    uint16_t count = 0;
    std::array<ttrc_triangle, ROOM_MAX_TRIANGLES> entries{};
};
struct ttr5_layers {
    uint32_t count = 0;
    std::vector<ttr5_layer_vertices> vertices;
    std::vector<ttr5_layer_rectangles> rectangles;
    std::vector<ttr5_layer_triangles> triangles;
};

// One level room. Tables are 0-based; a count gives the entries in use.
struct troom {
    int32_t x = 0, z = 0;  // position in game units (1024 per sector)
    int32_t y_bottom = 0, y_top = 0;
    uint32_t num_data_words = 0;  // size of the room data as stored in the file

    // TRC layers.
    uint32_t num_layers = 0;
    std::vector<ttr5_layer_header> layer_headers;
    ttr5_layers layers;

    // Vertices: the short form is filled for every version, the long form
    // too (TR1 files get attributes 16 and colour 0x3DEF); the TRC form only
    // for TRC rooms.
    uint16_t num_vertices = 0;
    std::array<troom_vertex, ROOM_MAX_VERTICES> vertices{};
    std::array<troom_vertex_long, ROOM_MAX_VERTICES> vertices_long{};
    std::array<ttrc_vertex, ROOM_MAX_VERTICES> vertices_trc{};

    uint16_t num_rectangles = 0;
    std::array<troom_rectangle, ROOM_MAX_RECTANGLES> rectangles{};
    std::array<ttrc_rectangle, ROOM_MAX_RECTANGLES> rectangles_trc{};

    uint16_t num_triangles = 0;
    std::array<troom_triangle, ROOM_MAX_TRIANGLES> triangles{};
    std::array<ttrc_triangle, ROOM_MAX_TRIANGLES> triangles_trc{};

    uint16_t num_sprites = 0;
    std::array<troom_sprite, ROOM_MAX_SPRITES> sprites{};

    // TRC room fields: the header words, the 36-byte records it counts, the
    // room data size and the bytes of room data left after the layers.
    ttrc_room_header trc_header{};
    uint32_t num_trc_records = 0;
    std::array<ttrc_room_record, ROOM_MAX_TRC_RECORDS> trc_records{};
    uint32_t trc_data_size = 0;
    std::vector<uint8_t> trc_tail;

    uint16_t num_portals = 0;
    std::array<troom_portal, ROOM_MAX_PORTALS> portals{};

    uint16_t num_z_sectors = 0, num_x_sectors = 0;
    std::array<troom_sector, ROOM_MAX_SECTORS> sectors{};

    // Room light values as stored per version: two bytes, then a word for
    // TR2 and later, then a word for TR2 only.
    uint16_t ambient = 0;
    uint16_t ambient2 = 0;
    uint16_t light_mode = 0;

    // Lights in the form of the file's version: TR1, TR2/TR3, TR4, TRC.
    uint16_t num_lights = 0;
    std::array<troom_light_tr1, ROOM_MAX_LIGHTS> lights_tr1{};
    std::array<troom_light_tr2, ROOM_MAX_LIGHTS> lights_tr2{};
    std::array<troom_light_tr4, ROOM_MAX_LIGHTS> lights_tr4{};
    std::array<troom_light_trc, ROOM_MAX_LIGHTS> lights_trc{};

    // Statics: TR1 form, and the form of every later version.
    uint16_t num_statics = 0;
    std::array<troom_static_tr1, ROOM_MAX_STATICS> statics_tr1{};
    std::array<tlevel_room_static, ROOM_MAX_STATICS> statics{};

    int16_t alternate_room = 0;
    uint16_t flags = 0;         // 0x01 water, 0x08 wind, 0x20 sky, 0x80 quicksand
    uint16_t water_scheme = 0;  // water scheme and reverb (TR3 and TR4)
    uint8_t filler = 0;
    uint16_t trc_word = 0;
};

// Uncompressed and compressed size of a compressed textile chunk (TR4, TRC).
// After reading, `uncompressed` holds the bytes actually produced.
struct tchunk_sizes {
    uint32_t uncompressed = 0;
    uint32_t compressed = 0;
};

// Number (from 1) of the first short-form vertex at exactly (x, y, z), 0 when none.
int RoomVertexFind(const troom& room, int16_t x, int16_t y, int16_t z);
// Adds a vertex to both the short and the long form unless it is there
// already, in which case its light byte becomes the mean of the old and the
// given one. A full table (1500 vertices) is left unchanged.
void RoomVertexAdd(troom& room, int16_t x, int16_t y, uint8_t light, int16_t z);
// Fills the room's common vertex, rectangle and triangle tables from its TRC
// layers. Returns false, leaving the tables partly filled, when the layers do
// not fit the tables (or a face names a vertex its layer does not have).
bool ConvertTrcRoomLayers(const ttr5_layers& layers, troom& room);

class Ttrlevel {
public:
    Ttrlevel();
    ~Ttrlevel();
    Ttrlevel(const Ttrlevel&) = delete;
    Ttrlevel& operator=(const Ttrlevel&) = delete;

    // Reads a game level file of any supported version. Returns LEVEL_LOADED,
    // LEVEL_NO_FILE, LEVEL_UNKNOWN_VERSION or LEVEL_DAMAGED; on any result
    // but LEVEL_LOADED the record is left empty (as created). With
    // texturesOnly, TR2 and later files stop after their textiles.
    // Errors of the disk file itself (an unreadable file) propagate as EInOutError.
    int LoadFromFile(const std::string& fileName, bool texturesOnly = false);

    // Back to the state of a new record: no rooms, every count 0, no blocks.
    // The progress gauge stays.
    void Clear();

    // Numbers the animated texture ranges into the object textures' group field.
    void AssignAnimTextureGroups();
    // The colour of a palette colour word (TR1 to TR3 meshes' coloured faces).
    void PaletteColor(uint16_t colour, uint8_t& red, uint8_t& green, uint8_t& blue) const;

    // Setters, one per section: resize to n elements (contents kept, new
    // elements zero) and store n as the count.
    void SetNumRooms(uint16_t n);
    void SetNumFloorData(uint32_t n);
    void SetNumMeshData(uint32_t n);
    void SetNumMeshPointers(uint32_t n);
    void SetNumAnimations(uint32_t n);
    void SetNumStateChanges(uint32_t n);
    void SetNumAnimDispatches(uint32_t n);
    void SetNumAnimCommands(uint32_t n);
    void SetNumMeshTrees(uint32_t n);
    void SetNumFrames(uint32_t n);
    void SetNumMoveables(uint32_t n);
    void SetNumStaticMeshes(uint32_t n);
    void SetNumObjectTextures(uint32_t n);
    void SetNumSpriteTextures(uint32_t n);
    void SetNumSpriteSequences(uint32_t n);
    void SetNumCameras(uint32_t n);
    void SetNumFlybyCameras(uint32_t n);
    void SetNumSoundSources(uint32_t n);
    void SetNumBoxes(uint32_t n);  // both box layouts
    void SetNumOverlaps(uint32_t n);
    void SetNumZones(uint32_t n);  // all ten zone arrays
    void SetNumAnimatedTextures(uint32_t n);
    void SetNumItems(uint32_t n);            // both item layouts
    void SetNumCinematicFrames(uint32_t n);  // AI objects for TR4 and TRC, cinematic frames otherwise
    void SetNumDemoData(uint32_t n);
    void SetNumSoundDetails(uint32_t n);
    void SetNumSampleIndices(uint32_t n);

    // Counts.
    uint16_t num_rooms = 0;
    uint32_t num_floor_data = 0;  // words
    uint32_t num_mesh_data = 0;   // words
    uint32_t num_mesh_pointers = 0;
    uint32_t num_animations = 0;
    uint32_t num_state_changes = 0;
    uint32_t num_anim_dispatches = 0;
    uint32_t num_anim_commands = 0;
    uint32_t num_mesh_trees = 0;  // words
    uint32_t num_frames = 0;      // words
    uint32_t num_moveables = 0;
    uint32_t num_static_meshes = 0;
    uint32_t num_object_textures = 0;
    uint32_t num_sprite_textures = 0;
    uint32_t num_sprite_sequences = 0;
    uint32_t num_cameras = 0;
    uint32_t num_flyby_cameras = 0;
    uint32_t num_sound_sources = 0;
    uint32_t num_boxes = 0;
    uint32_t num_overlaps = 0;
    uint32_t num_zones = 0;              // entries of each zone array, equal to the box count
    uint32_t num_animated_textures = 0;  // words
    uint32_t num_items = 0;
    uint32_t num_cinematic_frames = 0;  // AI objects for TR4 and TRC
    uint32_t num_demo_data = 0;         // bytes
    uint32_t num_sound_details = 0;
    uint32_t num_sample_indices = 0;

    // LEVEL_TAG once a file of a known version has been read, empty otherwise.
    TShortString<7> tag;

    uint32_t version = 0;      // the file's first word
    int32_t version_code = 0;  // LEVEL_TR1 .. LEVEL_TRC, 0 when none

    // Textile counts as stored in TR4 and TRC files.
    uint16_t num_room_textiles = 0;
    uint16_t num_object_textiles = 0;
    uint16_t num_bump_textiles = 0;
    // The three compressed textile chunks: 32-bit, 16-bit, further textiles.
    std::array<tchunk_sizes, 3> chunk_sizes{};

    uint32_t textile8_bytes = 0;  // num_textiles x 65536
    uint32_t num_textiles = 0;    // 256 x 256 pages

    // Textile pages, 256 x 256 pixels each: 8-bit palette indexes (TR1 to
    // TR3), 16-bit ARGB 1-5-5-5 (TR2 and later), 32-bit and further textiles
    // (TR4 and TRC).
    TMemBlock textile8;
    TMemBlock textile16;
    TMemBlock textile32;
    TMemBlock textile_misc;

    uint32_t rooms_unused = 0;  // the word before the room count, used by nothing
    uint8_t spare2[2] = {};
    uint8_t trc_header[32] = {};
    uint32_t trc_level_size = 0;  // bytes of TRC level data; the samples follow it
    uint32_t trc_level_size2 = 0;
    uint16_t trc_marker = 0;  // 3114 once TRC rooms have been read

    std::vector<troom> rooms;
    std::vector<uint16_t> floor_data;
    std::vector<uint16_t> mesh_data;
    std::vector<uint32_t> mesh_pointers;  // byte offsets into the mesh data
    std::vector<tanimation> animations;
    std::vector<tstate_change> state_changes;
    std::vector<tanim_dispatch> anim_dispatches;
    std::vector<uint16_t> anim_commands;
    std::vector<int32_t> mesh_trees;
    std::vector<int16_t> frames;
    std::vector<tmoveable> moveables;
    std::vector<tstatic_mesh> static_meshes;

    char tex_tag[5] = {};  // "TEX" tag as read (TR4 and TRC)
    std::vector<tobject_texture> object_textures;
    char spr_tag[4] = {};  // "SPR" tag as read (TR4 and TRC)
    std::vector<tsprite_texture> sprite_textures;
    std::vector<tsprite_sequence> sprite_sequences;
    std::vector<tlevel_camera> cameras;
    std::vector<tlevel_flyby_camera> flyby_cameras;
    std::vector<tlevel_sound_source> sound_sources;
    std::vector<tbox_tr1> boxes_tr1;  // TR1 files
    std::vector<tbox> boxes;          // later files
    std::vector<uint16_t> overlaps;
    // Ground zones 1 to 4 and the fly zone for the normal rooms, then the
    // same five for the alternate rooms (index 0 is zone array 1).
    std::array<std::vector<uint16_t>, 10> zones;
    std::vector<uint16_t> animated_textures;
    std::vector<titem_tr1> items_tr1;  // both layouts are filled for every version
    std::vector<tlevel_item> items;

    std::array<uint8_t, 8192> light_map{};
    std::array<tpalette_entry, 256> palette{};      // 6-bit values for TR1
    std::array<tpalette16_entry, 256> palette16{};  // TR2 and TR3
    uint8_t spare3[3] = {};

    std::vector<tcinematic_frame> cinematic_frames;  // TR1 to TR3
    std::vector<tai_object> ai_objects;              // TR4 and TRC
    std::vector<uint8_t> demo_data;

    std::array<int16_t, 450> sound_map{};
    std::vector<tsound_detail> sound_details;
    uint32_t sample_data_size = 0;  // bytes of sample data
    uint32_t num_samples = 0;
    TMemBlock sample_data;
    std::vector<uint32_t> sample_indices;
    uint32_t spare_u32 = 0;

    // The gauge the reader steps (0 to 100); none when null.
    TProgressBar* Gauge = nullptr;

private:
    friend class TLevelParser;
    void SetGauge(int position);
};
