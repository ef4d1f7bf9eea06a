#include "level/trlevel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/rtl/work_meter.h"

Ttrlevel::Ttrlevel() = default;

Ttrlevel::~Ttrlevel() = default;

void Ttrlevel::Clear()
{
    TProgressBar* const gauge = Gauge;
    // Release every array and block, then zero the plain fields by assigning
    // them the values of a fresh record.
    rooms = {};
    floor_data = {};
    mesh_data = {};
    mesh_pointers = {};
    animations = {};
    state_changes = {};
    anim_dispatches = {};
    anim_commands = {};
    mesh_trees = {};
    frames = {};
    moveables = {};
    static_meshes = {};
    object_textures = {};
    sprite_textures = {};
    sprite_sequences = {};
    cameras = {};
    flyby_cameras = {};
    sound_sources = {};
    boxes_tr1 = {};
    boxes = {};
    overlaps = {};
    for (auto& z : zones) z = {};
    animated_textures = {};
    items_tr1 = {};
    items = {};
    cinematic_frames = {};
    ai_objects = {};
    demo_data = {};
    sound_details = {};
    sample_indices = {};
    textile8.reset();
    textile16.reset();
    textile32.reset();
    textile_misc.reset();
    sample_data.reset();

    num_rooms = 0;
    num_floor_data = num_mesh_data = num_mesh_pointers = num_animations = 0;
    num_state_changes = num_anim_dispatches = num_anim_commands = num_mesh_trees = 0;
    num_frames = num_moveables = num_static_meshes = num_object_textures = 0;
    num_sprite_textures = num_sprite_sequences = num_cameras = num_flyby_cameras = 0;
    num_sound_sources = num_boxes = num_overlaps = num_zones = num_animated_textures = 0;
    num_items = num_cinematic_frames = num_demo_data = num_sound_details = num_sample_indices = 0;
    tag.clear();
    version = 0;
    version_code = 0;
    num_room_textiles = num_object_textiles = num_bump_textiles = 0;
    chunk_sizes = {};
    textile8_bytes = 0;
    num_textiles = 0;
    rooms_unused = 0;
    std::memset(spare2, 0, sizeof spare2);
    std::memset(trc_header, 0, sizeof trc_header);
    trc_level_size = trc_level_size2 = 0;
    trc_marker = 0;
    std::memset(tex_tag, 0, sizeof tex_tag);
    std::memset(spr_tag, 0, sizeof spr_tag);
    light_map = {};
    palette = {};
    palette16 = {};
    std::memset(spare3, 0, sizeof spare3);
    sound_map = {};
    sample_data_size = 0;
    num_samples = 0;
    spare_u32 = 0;
    Gauge = gauge;
}

void Ttrlevel::SetGauge(int position)
{
    if (Gauge) Gauge->SetPosition(position);
}

void Ttrlevel::SetNumRooms(uint16_t n)
{
    rooms.resize(n);
    num_rooms = n;
}
void Ttrlevel::SetNumFloorData(uint32_t n)
{
    floor_data.resize(n);
    num_floor_data = n;
}
void Ttrlevel::SetNumMeshData(uint32_t n)
{
    mesh_data.resize(n);
    num_mesh_data = n;
}
void Ttrlevel::SetNumMeshPointers(uint32_t n)
{
    mesh_pointers.resize(n);
    num_mesh_pointers = n;
}
void Ttrlevel::SetNumAnimations(uint32_t n)
{
    animations.resize(n);
    num_animations = n;
}
void Ttrlevel::SetNumStateChanges(uint32_t n)
{
    state_changes.resize(n);
    num_state_changes = n;
}
void Ttrlevel::SetNumAnimDispatches(uint32_t n)
{
    anim_dispatches.resize(n);
    num_anim_dispatches = n;
}
void Ttrlevel::SetNumAnimCommands(uint32_t n)
{
    anim_commands.resize(n);
    num_anim_commands = n;
}
void Ttrlevel::SetNumMeshTrees(uint32_t n)
{
    mesh_trees.resize(n);
    num_mesh_trees = n;
}
void Ttrlevel::SetNumFrames(uint32_t n)
{
    frames.resize(n);
    num_frames = n;
}
void Ttrlevel::SetNumMoveables(uint32_t n)
{
    moveables.resize(n);
    num_moveables = n;
}
void Ttrlevel::SetNumStaticMeshes(uint32_t n)
{
    static_meshes.resize(n);
    num_static_meshes = n;
}
void Ttrlevel::SetNumObjectTextures(uint32_t n)
{
    object_textures.resize(n);
    num_object_textures = n;
}
void Ttrlevel::SetNumSpriteTextures(uint32_t n)
{
    sprite_textures.resize(n);
    num_sprite_textures = n;
}
void Ttrlevel::SetNumSpriteSequences(uint32_t n)
{
    sprite_sequences.resize(n);
    num_sprite_sequences = n;
}
void Ttrlevel::SetNumCameras(uint32_t n)
{
    cameras.resize(n);
    num_cameras = n;
}
void Ttrlevel::SetNumFlybyCameras(uint32_t n)
{
    flyby_cameras.resize(n);
    num_flyby_cameras = n;
}
void Ttrlevel::SetNumSoundSources(uint32_t n)
{
    sound_sources.resize(n);
    num_sound_sources = n;
}
void Ttrlevel::SetNumBoxes(uint32_t n)
{
    boxes_tr1.resize(n);
    boxes.resize(n);
    num_boxes = n;
}
void Ttrlevel::SetNumOverlaps(uint32_t n)
{
    overlaps.resize(n);
    num_overlaps = n;
}
void Ttrlevel::SetNumZones(uint32_t n)
{
    for (auto& z : zones) z.resize(n);
    num_zones = n;
}
void Ttrlevel::SetNumAnimatedTextures(uint32_t n)
{
    animated_textures.resize(n);
    num_animated_textures = n;
}
void Ttrlevel::SetNumItems(uint32_t n)
{
    items_tr1.resize(n);
    items.resize(n);
    num_items = n;
}
void Ttrlevel::SetNumCinematicFrames(uint32_t n)
{
    if (version_code >= LEVEL_TR4) ai_objects.resize(n);
    else cinematic_frames.resize(n);
    num_cinematic_frames = n;
}
void Ttrlevel::SetNumDemoData(uint32_t n)
{
    demo_data.resize(n);
    num_demo_data = n;
}
void Ttrlevel::SetNumSoundDetails(uint32_t n)
{
    sound_details.resize(n);
    num_sound_details = n;
}
void Ttrlevel::SetNumSampleIndices(uint32_t n)
{
    sample_indices.resize(n);
    num_sample_indices = n;
}

void Ttrlevel::AssignAnimTextureGroups()
{
    const uint32_t n = std::min<uint32_t>(num_animated_textures, static_cast<uint32_t>(animated_textures.size()));
    if (n == 0 || animated_textures[0] < 1) return;
    ChargeWork(uint64_t(n) * sizeof(uint16_t));
    const uint32_t ranges = animated_textures[0];
    uint32_t pos = 1;
    // A range is a word k and k + 1 object texture numbers. Numbers that name
    // no object texture, and ranges that run past the words, are passed over.
    for (uint32_t range = 1; range <= ranges && pos < n; ++range) {
        const uint32_t members = uint32_t(animated_textures[pos++]) + 1;
        for (uint32_t j = 0; j < members && pos < n; ++j) {
            const uint16_t texture = animated_textures[pos++];
            if (texture < object_textures.size()) object_textures[texture].group = static_cast<uint16_t>(range);
        }
    }
}

void Ttrlevel::PaletteColor(uint16_t colour, uint8_t& red, uint8_t& green, uint8_t& blue) const
{
    red = green = blue = 0;
    switch (version_code) {
    case LEVEL_TR2:
    case LEVEL_TR2_TRG:
    case LEVEL_TR3: {
        const tpalette16_entry& e = palette16[colour >> 8];
        red = e.red;
        green = e.green;
        blue = e.blue;
        break;
    }
    case LEVEL_TR1:
    case LEVEL_TR1_TUB: {
        // 6-bit values scaled to 8 bits; the store keeps the low 8 bits.
        const tpalette_entry& e = palette[colour & 255];
        red = static_cast<uint8_t>(4 * e.red + 3);
        green = static_cast<uint8_t>(4 * e.green + 3);
        blue = static_cast<uint8_t>(4 * e.blue + 3);
        break;
    }
    default: break;
    }
}

int RoomVertexFind(const troom& room, int16_t x, int16_t y, int16_t z)
{
    const int n = std::min<int>(room.num_vertices, ROOM_MAX_VERTICES);
    for (int i = 0; i < n; ++i) {
        const troom_vertex& v = room.vertices[i];
        if (v.x == x && v.y == y && v.z == z) return i + 1;
    }
    return 0;
}

namespace {

uint8_t LightByte(int16_t light) { return static_cast<uint8_t>(static_cast<uint16_t>(light) >> 8); }

int16_t WithLightByte(int16_t light, uint8_t byte)
{
    return static_cast<int16_t>((static_cast<uint16_t>(light) & 0x00FF) | (uint16_t(byte) << 8));
}

// Shared by RoomVertexAdd and the layer conversion: `found` is the number of
// the vertex at (x, y, z), 0 when there is none. Returns the vertex's number,
// 0 when the table is full.
int AddOrMerge(troom& room, int found, int16_t x, int16_t y, uint8_t light, int16_t z)
{
    if (found > 0) {
        troom_vertex& v = room.vertices[found - 1];
        v.light = WithLightByte(v.light, static_cast<uint8_t>((unsigned(LightByte(v.light)) + light) / 2));
        return found;
    }
    if (room.num_vertices >= ROOM_MAX_VERTICES) return 0;
    const int i = room.num_vertices++;
    const int16_t lightWord = WithLightByte(0, light);
    room.vertices[i] = troom_vertex{x, y, z, lightWord};
    troom_vertex_long& l = room.vertices_long[i];
    l.x = x;
    l.y = y;
    l.z = z;
    l.light = lightWord;
    return i + 1;
}

}  // namespace

void RoomVertexAdd(troom& room, int16_t x, int16_t y, uint8_t light, int16_t z)
{
    AddOrMerge(room, RoomVertexFind(room, x, y, z), x, y, light, z);
}

namespace {

// Rounds a layer coordinate to the nearest integer (halves to even, as the
// runtime's rounding does); false when it is no 16-bit value.
bool RoundCoordinate(float value, int16_t& out)
{
    if (!std::isfinite(value)) return false;
    const double r = std::nearbyint(static_cast<double>(value));
    if (r < -32768.0 || r > 32767.0) return false;
    out = static_cast<int16_t>(r);
    return true;
}

uint64_t VertexKey(int16_t x, int16_t y, int16_t z)
{
    return (uint64_t(uint16_t(x)) << 32) | (uint64_t(uint16_t(y)) << 16) | uint16_t(z);
}

int16_t KeyCoordinate(uint64_t key, int shift) { return static_cast<int16_t>(uint16_t(key >> shift)); }

// A layer vertex's rounded position and its place among all layer vertices.
struct TPlace {
    uint64_t key;
    uint32_t order;
};

// The rounded positions of every layer vertex, layer after layer; false
// when a layer holds more than a table or a coordinate is no 16-bit value.
bool LayerPlaces(const ttr5_layers& layers, size_t layerCount, std::vector<TPlace>& places,
                 std::vector<size_t>& firstOfLayer)
{
    for (size_t l = 0; l < layerCount; ++l) {
        const ttr5_layer_vertices& block = layers.vertices[l];
        if (block.count > ROOM_MAX_VERTICES) return false;
        firstOfLayer[l] = places.size();
        for (int i = 0; i < block.count; ++i) {
            const ttrc_vertex& v = block.entries[i];
            int16_t x, y, z;
            if (!RoundCoordinate(v.x, x) || !RoundCoordinate(v.y, y) || !RoundCoordinate(v.z, z)) return false;
            places.push_back(TPlace{VertexKey(x, y, z), static_cast<uint32_t>(places.size())});
        }
    }
    firstOfLayer[layerCount] = places.size();
    return true;
}

// For every layer vertex, the place of the first layer vertex at the same
// rounded position. Sorting finds them in n log n steps whatever positions
// the file holds, where a hash of the positions could be steered into one
// bucket and cost a search of every vertex for every vertex.
std::vector<uint32_t> FirstAtSamePlace(std::vector<TPlace> places)
{
    std::sort(places.begin(), places.end(),
              [](const TPlace& a, const TPlace& b) { return a.key != b.key ? a.key < b.key : a.order < b.order; });
    std::vector<uint32_t> first(places.size());
    for (size_t i = 0; i < places.size(); ++i)
        first[places[i].order] =
            i > 0 && places[i - 1].key == places[i].key ? first[places[i - 1].order] : places[i].order;
    return first;
}

// Merges the layer vertices into the room's common table in layer order, as
// RoomVertexAdd would one by one; `numbers` gets the common vertex number
// (from 1) of every layer vertex. False when the table cannot hold them.
bool MergeLayerVertices(const ttr5_layers& layers, size_t layerCount, troom& room, std::vector<uint16_t>& numbers,
                        std::vector<size_t>& firstOfLayer)
{
    std::vector<TPlace> places;
    if (!LayerPlaces(layers, layerCount, places, firstOfLayer)) return false;
    // Sorting moves each place about log2(n) times.
    ChargeWork(uint64_t(places.size()) * sizeof(TPlace) * std::bit_width(places.size()));
    const std::vector<uint32_t> first = FirstAtSamePlace(places);
    numbers.assign(places.size(), 0);
    room.num_vertices = 0;
    for (size_t l = 0; l < layerCount; ++l) {
        const ttr5_layer_vertices& block = layers.vertices[l];
        for (int i = 0; i < block.count; ++i) {
            const size_t at = firstOfLayer[l] + static_cast<size_t>(i);
            const uint64_t key = places[at].key;
            const int found = first[at] == at ? 0 : numbers[first[at]];
            const int n =
                AddOrMerge(room, found, KeyCoordinate(key, 32), KeyCoordinate(key, 16), 0, KeyCoordinate(key, 0));
            if (n == 0) return false;
            const ttrc_vertex& v = block.entries[i];
            room.vertices_trc[n - 1] = v;
            room.vertices_long[n - 1].colour =
                static_cast<uint16_t>(((v.red >> 3) << 10) | ((v.green >> 3) << 5) | (v.blue >> 3));
            numbers[at] = static_cast<uint16_t>(n);
        }
    }
    return true;
}

}  // namespace

bool ConvertTrcRoomLayers(const ttr5_layers& layers, troom& room)
{
    const size_t layerCount =
        std::min({size_t(layers.count), layers.vertices.size(), layers.rectangles.size(), layers.triangles.size()});
    room.num_vertices = 0;
    // Common vertex number of every layer vertex, for the faces below.
    std::vector<uint16_t> numbers;
    std::vector<size_t> firstOfLayer(layerCount + 1, 0);
    if (!MergeLayerVertices(layers, layerCount, room, numbers, firstOfLayer)) return false;

    room.num_rectangles = 0;
    room.num_triangles = 0;
    for (size_t l = 0; l < layerCount; ++l) {
        const size_t first = firstOfLayer[l];
        const size_t count = layers.vertices[l].count;
        const ttr5_layer_rectangles& rects = layers.rectangles[l];
        if (rects.count > ROOM_MAX_RECTANGLES) return false;
        for (int i = 0; i < rects.count; ++i) {
            if (room.num_rectangles >= ROOM_MAX_RECTANGLES) return false;
            ttrc_rectangle r = rects.entries[i];
            for (uint16_t& v : r.vertices) {
                if (v >= count) return false;
                v = static_cast<uint16_t>(numbers[first + v] - 1);
            }
            const int k = room.num_rectangles++;
            room.rectangles_trc[k] = r;
            room.rectangles[k] =
                troom_rectangle{{r.vertices[0], r.vertices[1], r.vertices[2], r.vertices[3]}, r.texture};
        }
        const ttr5_layer_triangles& tris = layers.triangles[l];
        if (tris.count > ROOM_MAX_TRIANGLES) return false;
        for (int i = 0; i < tris.count; ++i) {
            if (room.num_triangles >= ROOM_MAX_TRIANGLES) return false;
            ttrc_triangle t = tris.entries[i];
            for (uint16_t& v : t.vertices) {
                if (v >= count) return false;
                v = static_cast<uint16_t>(numbers[first + v] - 1);
            }
            const int k = room.num_triangles++;
            room.triangles_trc[k] = t;
            room.triangles[k] = troom_triangle{{t.vertices[0], t.vertices[1], t.vertices[2]}, t.texture};
        }
    }
    return true;
}
