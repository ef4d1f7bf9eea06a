// The reader of game level files: the file is read whole through the
// buffered file layer and parsed from memory; the compressed chunks of TR4
// and TRC files are inflated with DecompressBuf.
//
// A file that ends early, holds a count larger than a fixed room table or
// larger than the rest of the file can hold, carries damaged compressed data
// or needs more memory than a level may take is refused as a whole: the
// record is left empty.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "level/memory_budget.h"
#include "level/trlevel.h"
#include "level/zfiles.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/work_meter.h"

namespace {

struct ELevelDamaged {};

[[noreturn]] void Damaged() { throw ELevelDamaged{}; }

void Check(bool condition)
{
    if (!condition) Damaged();
}

// A read cursor over the bytes being parsed; every read is bounded by them.
class TLevelStream {
public:
    TLevelStream() = default;
    TLevelStream(const uint8_t* data, size_t size) : begin_(data), p_(data), end_(data + size) {}

    size_t Size() const { return static_cast<size_t>(end_ - begin_); }
    size_t Position() const { return static_cast<size_t>(p_ - begin_); }
    size_t Remaining() const { return static_cast<size_t>(end_ - p_); }
    const uint8_t* Here() const { return p_; }

    // Refuses the file unless n more bytes are there.
    void Need(uint64_t n) const { Check(n <= Remaining()); }
    void Read(void* destination, uint64_t n)
    {
        Need(n);
        ChargeWork(n);
        if (n) std::memcpy(destination, p_, static_cast<size_t>(n));
        p_ += n;
    }
    void Skip(uint64_t n)
    {
        Need(n);
        p_ += n;
    }
    void Seek(uint64_t position)
    {
        Check(position <= Size());
        p_ = begin_ + position;
    }
    // Until the returned end is given back to EndLimit, reads stop at
    // `end`: the content of a structure that states its size may not run
    // into what follows it.
    const uint8_t* LimitTo(uint64_t end)
    {
        Check(end <= Size());
        return std::exchange(end_, begin_ + end);
    }
    void EndLimit(const uint8_t* end) { end_ = end; }
    uint16_t U16()
    {
        uint16_t v;
        Read(&v, 2);
        return v;
    }
    uint32_t U32()
    {
        uint32_t v;
        Read(&v, 4);
        return v;
    }
    template <class T>
    void ReadArray(T* destination, uint64_t count)
    {
        Read(destination, count * sizeof(T));
    }

private:
    const uint8_t* begin_ = nullptr;
    const uint8_t* p_ = nullptr;
    const uint8_t* end_ = nullptr;
};

bool NameContains(const std::string& name, const char* upper, const char* lower)
{
    return name.find(upper) != std::string::npos || name.find(lower) != std::string::npos;
}

constexpr uint32_t kWordTR1 = 0x00000020;
constexpr uint32_t kWordTR2 = 0x0000002D;
constexpr uint32_t kWordTR3a = 0xFF080038;
constexpr uint32_t kWordTR3b = 0xFF180038;
constexpr uint32_t kWordTR4 = 0x00345254;
constexpr uint32_t kWordTR4b = 0xFFFFFFF0;

}  // namespace

// Parses one open file into the level record, step by step in file order.
class TLevelParser {
public:
    TLevelParser(Ttrlevel& level, const std::string& name, bool texturesOnly)
        : L(level), name_(name), texturesOnly_(texturesOnly)
    {
    }

    int Run(TZFile& f);

private:
    void ReadTextileChunks();
    void ReadTr4LevelBlock();
    void ReadTextiles8And16();
    void ReadRooms();
    void ReadTrcRooms();
    void ReadRoom(troom& r);
    void ReadTrcRoom(troom& r);
    void ReadSampleData(size_t size);
    void ReadRoomTable(uint16_t count, uint64_t leastBytesPerRoom, void (TLevelParser::*readRoom)(troom&));
    void ReadTrcLayers(troom& r);
    void ReadGeometrySections();
    void ReadObjectTextures();
    void ReadSprites();
    void ReadCamerasAndSounds();
    void ReadBoxesAndZones();
    void ReadItems();
    void ReadTrailingSections();
    void Inflate(uint32_t compressed, uint32_t declared, TMemBlock& out);
    void RoomGauge(uint32_t done, uint32_t count);

    // A 16-bit count and that many records into a room's fixed table.
    template <class T, size_t N>
    void ReadCountedRecords(uint16_t& count, std::array<T, N>& table)
    {
        count = s_.U16();
        Check(count <= N);
        s_.ReadArray(table.data(), count);
    }

    template <class T>
    void ReadCounted(std::vector<T>& array, void (Ttrlevel::*setter)(uint32_t))
    {
        const uint32_t n = s_.U32();
        s_.Need(uint64_t(n) * sizeof(T));
        memory_.Spend(uint64_t(n) * sizeof(T));
        ChargeWork(uint64_t(n) * sizeof(T));  // the array cleared as it is sized
        (L.*setter)(n);
        s_.ReadArray(array.data(), n);
    }

    Ttrlevel& L;
    const std::string& name_;
    bool texturesOnly_;
    int code_ = 0;
    TLevelStream s_;
    TMemBlock levelBlock_;
    TMemoryBudget memory_{LevelMemoryLimit};
    uint64_t samplesStart_ = 0;  // TRC: where the samples follow the level data
};

void TLevelParser::RoomGauge(uint32_t done, uint32_t count)
{
    if (count) L.SetGauge(50 + static_cast<int>(std::nearbyint(30.0 * done / count)));
}

void TLevelParser::Inflate(uint32_t compressed, uint32_t declared, TMemBlock& out)
{
    s_.Need(compressed);
    // The data may not inflate beyond what its sizes declare, nor beyond
    // what deflate can produce from its compressed bytes; beyond the memory
    // the level has left, it is out of memory.
    if (!DecompressBounded(s_.Here(), static_cast<int32_t>(compressed), declared, out, declared,
                           static_cast<int64_t>(memory_.Unspent())))
        Damaged();
    memory_.Spend(static_cast<uint64_t>(out.length()));
    s_.Skip(compressed);
}

int TLevelParser::Run(TZFile& f)
{
    s_ = TLevelStream(f.buffer, static_cast<size_t>(std::max<int32_t>(f.size, 0)));

    // A file shorter than a word is read as far as it goes.
    uint8_t word[4] = {};
    std::memcpy(word, f.buffer, std::min<size_t>(4, s_.Size()));
    const uint32_t version =
        uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 | uint32_t(word[3]) << 24;
    switch (version) {
    case kWordTR1: code_ = NameContains(name_, ".TUB", ".tub") ? LEVEL_TR1_TUB : LEVEL_TR1; break;
    case kWordTR2: code_ = NameContains(name_, ".TRG", ".trg") ? LEVEL_TR2_TRG : LEVEL_TR2; break;
    case kWordTR3a:
    case kWordTR3b: code_ = LEVEL_TR3; break;
    case kWordTR4:
    case kWordTR4b: code_ = NameContains(name_, ".TRC", ".trc") ? LEVEL_TRC : LEVEL_TR4; break;
    default: L.version = 0; return LEVEL_UNKNOWN_VERSION;
    }
    s_.Skip(4);
    L.tag = LEVEL_TAG;
    L.version = version;
    L.version_code = code_;
    // The content is held already (inflated, for a container).
    memory_.Spend(s_.Size());

    if (code_ >= LEVEL_TR4) ReadTextileChunks();
    if (code_ == LEVEL_TR4) ReadTr4LevelBlock();
    if (code_ >= LEVEL_TR2 && code_ <= LEVEL_TR3) {
        s_.ReadArray(L.palette.data(), L.palette.size());
        s_.ReadArray(L.palette16.data(), L.palette16.size());
    }
    if (code_ <= LEVEL_TR3) ReadTextiles8And16();
    if (texturesOnly_ && code_ >= LEVEL_TR2) return LEVEL_LOADED;

    if (code_ == LEVEL_TRC) ReadTrcRooms();
    else ReadRooms();
    L.SetGauge(80);
    ReadGeometrySections();
    if (code_ <= LEVEL_TR2_TRG) ReadObjectTextures();
    ReadSprites();
    if (code_ == LEVEL_TR1_TUB) s_.ReadArray(L.palette.data(), L.palette.size());
    ReadCamerasAndSounds();
    ReadBoxesAndZones();
    L.SetGauge(85);
    if (code_ >= LEVEL_TR4) {
        const int n = code_ == LEVEL_TR4 ? 4 : 5;
        s_.Read(L.tex_tag, n);
    }
    if (code_ >= LEVEL_TR3) ReadObjectTextures();
    L.SetGauge(90);
    ReadItems();
    ReadTrailingSections();

    L.palette[0] = tpalette_entry{255, 0, 255};
    L.AssignAnimTextureGroups();
    L.SetGauge(100);
    L.SetGauge(0);
    return LEVEL_LOADED;
}

void TLevelParser::ReadTextileChunks()
{
    L.num_room_textiles = s_.U16();
    L.num_object_textiles = s_.U16();
    L.num_bump_textiles = s_.U16();
    TMemBlock* const blocks[3] = {&L.textile32, &L.textile16, &L.textile_misc};
    for (int i = 0; i < 3; ++i) {
        tchunk_sizes& c = L.chunk_sizes[i];
        c.uncompressed = s_.U32();
        c.compressed = s_.U32();
        Inflate(c.compressed, c.uncompressed, *blocks[i]);
        c.uncompressed = static_cast<uint32_t>(blocks[i]->length());
        L.SetGauge(20 + 10 * i);
    }
    L.num_textiles = static_cast<uint32_t>(L.textile16.length()) / TEXTILE16_BYTES;
    L.textile8_bytes = L.num_textiles * TEXTILE8_BYTES;
}

// The sound samples, as one block of the given size.
void TLevelParser::ReadSampleData(size_t size)
{
    s_.Need(size);
    memory_.Spend(size);
    ChargeWork(size);
    L.sample_data.resize(static_cast<int32_t>(size));
    s_.Read(L.sample_data.data(), size);
    L.sample_data_size = static_cast<uint32_t>(size);
}

void TLevelParser::ReadTr4LevelBlock()
{
    const uint32_t uncompressed = s_.U32();
    const uint32_t compressed = s_.U32();
    Inflate(compressed, uncompressed, levelBlock_);
    L.num_samples = s_.U32();
    ReadSampleData(s_.Remaining());
    // The rest of the level is parsed from the inflated block.
    s_ = TLevelStream(levelBlock_.data(), static_cast<size_t>(levelBlock_.length()));
    L.SetGauge(50);
}

void TLevelParser::ReadTextiles8And16()
{
    const uint32_t count = s_.U32();
    const uint64_t bytes8 = uint64_t(count) * TEXTILE8_BYTES;
    const uint64_t bytes16 = code_ >= LEVEL_TR2 ? uint64_t(count) * TEXTILE16_BYTES : 0;
    s_.Need(bytes8 + bytes16);
    memory_.Spend(bytes8 + bytes16);
    ChargeWork(bytes8 + bytes16);
    L.num_textiles = count;
    L.textile8_bytes = static_cast<uint32_t>(bytes8);
    L.SetGauge(30);
    L.textile8.resize(static_cast<int32_t>(bytes8));
    s_.Read(L.textile8.data(), bytes8);
    if (code_ >= LEVEL_TR2) {
        L.textile16.resize(static_cast<int32_t>(bytes16));
        s_.Read(L.textile16.data(), bytes16);
    }
    L.SetGauge(50);
}

void TLevelParser::ReadRooms()
{
    L.rooms_unused = s_.U32();
    const uint16_t count = s_.U16();
    // The smallest room: its header and every count of an empty room.
    uint64_t smallest = 20 + 5 * 2 + 4 + 2 + 2 + 2 + 2 + 2;
    if (code_ >= LEVEL_TR2) smallest += 2;
    if (code_ == LEVEL_TR2 || code_ == LEVEL_TR2_TRG) smallest += 2;
    if (code_ == LEVEL_TR3 || code_ == LEVEL_TR4) smallest += 3;
    ReadRoomTable(count, smallest, &TLevelParser::ReadRoom);
}

// The rooms, after a check that the rest of the file can hold that many
// (each at least leastBytesPerRoom) and that their records fit in memory.
// Each record is cleared only when its room is read, so rooms that the data
// does not hold touch no memory.
void TLevelParser::ReadRoomTable(uint16_t count, uint64_t leastBytesPerRoom, void (TLevelParser::*readRoom)(troom&))
{
    s_.Need(count * leastBytesPerRoom);
    const uint64_t bytes = uint64_t(count) * sizeof(troom);
    memory_.Spend(bytes);
    // The records are the reader's output; each is cleared when its room is read.
    GrantOutputWork(bytes);
    L.rooms.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        ChargeWork(sizeof(troom));
        (this->*readRoom)(L.rooms.emplace_back());
        RoomGauge(i + 1, count);
    }
    L.SetNumRooms(count);
}

void TLevelParser::ReadRoom(troom& r)
{
    r.x = static_cast<int32_t>(s_.U32());
    r.z = static_cast<int32_t>(s_.U32());
    r.y_bottom = static_cast<int32_t>(s_.U32());
    r.y_top = static_cast<int32_t>(s_.U32());
    r.num_data_words = s_.U32();

    const uint16_t vertices = s_.U16();
    Check(vertices <= ROOM_MAX_VERTICES);
    if (code_ <= LEVEL_TR1_TUB) {
        s_.ReadArray(r.vertices.data(), vertices);
        for (int i = 0; i < vertices; ++i) {
            const troom_vertex& v = r.vertices[i];
            r.vertices_long[i] = troom_vertex_long{v.x, v.y, v.z, v.light, 16, 0x3DEF};
        }
    } else {
        s_.ReadArray(r.vertices_long.data(), vertices);
        for (int i = 0; i < vertices; ++i) {
            const troom_vertex_long& v = r.vertices_long[i];
            r.vertices[i] = troom_vertex{v.x, v.y, v.z, v.light};
        }
    }
    r.num_vertices = vertices;

    ReadCountedRecords(r.num_rectangles, r.rectangles);
    ReadCountedRecords(r.num_triangles, r.triangles);
    ReadCountedRecords(r.num_sprites, r.sprites);
    ReadCountedRecords(r.num_portals, r.portals);

    r.num_z_sectors = s_.U16();
    r.num_x_sectors = s_.U16();
    const uint32_t sectors = uint32_t(r.num_z_sectors) * r.num_x_sectors;
    Check(sectors <= ROOM_MAX_SECTORS);
    s_.ReadArray(r.sectors.data(), sectors);

    r.ambient = s_.U16();
    if (code_ >= LEVEL_TR2) r.ambient2 = s_.U16();
    if (code_ == LEVEL_TR2 || code_ == LEVEL_TR2_TRG) r.light_mode = s_.U16();

    r.num_lights = s_.U16();
    Check(r.num_lights <= ROOM_MAX_LIGHTS);
    if (code_ <= LEVEL_TR1_TUB) s_.ReadArray(r.lights_tr1.data(), r.num_lights);
    else if (code_ <= LEVEL_TR3) s_.ReadArray(r.lights_tr2.data(), r.num_lights);
    else s_.ReadArray(r.lights_tr4.data(), r.num_lights);

    r.num_statics = s_.U16();
    Check(r.num_statics <= ROOM_MAX_STATICS);
    if (code_ <= LEVEL_TR1_TUB) s_.ReadArray(r.statics_tr1.data(), r.num_statics);
    else s_.ReadArray(r.statics.data(), r.num_statics);

    r.alternate_room = static_cast<int16_t>(s_.U16());
    r.flags = s_.U16();
    if (code_ == LEVEL_TR3 || code_ == LEVEL_TR4) {
        r.water_scheme = s_.U16();
        s_.Read(&r.filler, 1);
    }
}

void TLevelParser::ReadTrcRooms()
{
    s_.Read(L.trc_header, sizeof L.trc_header);
    L.trc_level_size = s_.U32();
    L.trc_level_size2 = s_.U32();
    samplesStart_ = s_.Position() + uint64_t(L.trc_level_size);
    L.rooms_unused = s_.U32();
    const uint16_t count = static_cast<uint16_t>(s_.U32());
    // Tag, data size, header words, portal count and the skipped word.
    ReadRoomTable(count, 8 + sizeof(ttrc_room_header) + 4, &TLevelParser::ReadTrcRoom);
}

void TLevelParser::ReadTrcRoom(troom& r)
{
    s_.Skip(4);  // the room's tag
    r.trc_data_size = s_.U32();
    const uint8_t* const outerEnd = s_.LimitTo(s_.Position() + uint64_t(r.trc_data_size));
    s_.Read(&r.trc_header, sizeof r.trc_header);
    const ttrc_room_header& h = r.trc_header;
    r.x = h.x;
    r.z = h.z;
    r.y_bottom = h.y_bottom;
    r.y_top = h.y_top;
    r.num_z_sectors = h.num_z_sectors;
    r.num_x_sectors = h.num_x_sectors;
    r.flags = static_cast<uint16_t>(h.flags[0] | (h.flags[1] << 8));

    Check(h.num_lights <= ROOM_MAX_LIGHTS);
    r.num_lights = h.num_lights;
    s_.ReadArray(r.lights_trc.data(), r.num_lights);
    Check(h.num_records <= ROOM_MAX_TRC_RECORDS);
    r.num_trc_records = h.num_records;
    s_.ReadArray(r.trc_records.data(), r.num_trc_records);
    const uint32_t sectors = uint32_t(r.num_z_sectors) * r.num_x_sectors;
    Check(sectors <= ROOM_MAX_SECTORS);
    s_.ReadArray(r.sectors.data(), sectors);
    r.num_portals = s_.U16();
    Check(r.num_portals <= ROOM_MAX_PORTALS);
    s_.ReadArray(r.portals.data(), r.num_portals);
    s_.Skip(2);
    Check(h.num_statics <= ROOM_MAX_STATICS);
    r.num_statics = h.num_statics;
    s_.ReadArray(r.statics.data(), r.num_statics);

    r.num_vertices = r.num_rectangles = r.num_triangles = r.num_sprites = 0;
    L.trc_marker = 3114;
    ReadTrcLayers(r);

    // What the room's size holds beyond its layers.
    const size_t tail = s_.Remaining();
    memory_.Spend(tail);
    ChargeWork(tail);
    r.trc_tail.assign(s_.Here(), s_.Here() + tail);
    s_.Skip(tail);
    s_.EndLimit(outerEnd);
}

void TLevelParser::ReadTrcLayers(troom& r)
{
    const uint32_t count = r.trc_header.num_layers;
    s_.Need(uint64_t(count) * sizeof(ttr5_layer_header));
    const uint64_t bytes = uint64_t(count) * (sizeof(ttr5_layer_header) + sizeof(ttr5_layer_vertices) +
                                              sizeof(ttr5_layer_rectangles) + sizeof(ttr5_layer_triangles));
    memory_.Spend(bytes);
    GrantOutputWork(bytes);
    ChargeWork(bytes);  // every block cleared as the arrays are sized
    r.num_layers = count;
    r.layers.count = count;
    r.layer_headers.resize(count);
    r.layers.vertices.resize(count);
    r.layers.rectangles.resize(count);
    r.layers.triangles.resize(count);
    if (count == 0) return;

    uint64_t triangles = 0;
    for (uint32_t l = 0; l < count; ++l) {
        ttr5_layer_header& h = r.layer_headers[l];
        s_.Read(&h, sizeof h);
        Check(h.num_vertices <= ROOM_MAX_VERTICES);
        Check(h.num_rectangles <= ROOM_MAX_RECTANGLES);
        Check(h.num_triangles <= ROOM_MAX_TRIANGLES);
        triangles += h.num_triangles;
    }
    for (uint32_t l = 0; l < count; ++l) {
        const ttr5_layer_header& h = r.layer_headers[l];
        r.layers.rectangles[l].count = h.num_rectangles;
        s_.ReadArray(r.layers.rectangles[l].entries.data(), h.num_rectangles);
        r.layers.triangles[l].count = h.num_triangles;
        s_.ReadArray(r.layers.triangles[l].entries.data(), h.num_triangles);
    }
    // The vertices start on a 4-byte boundary.
    if (triangles % 2) s_.Skip(2);
    for (uint32_t l = 0; l < count; ++l) {
        const ttr5_layer_header& h = r.layer_headers[l];
        r.layers.vertices[l].count = static_cast<uint16_t>(h.num_vertices);
        s_.ReadArray(r.layers.vertices[l].entries.data(), h.num_vertices);
    }
    Check(ConvertTrcRoomLayers(r.layers, r));
}

void TLevelParser::ReadGeometrySections()
{
    ReadCounted(L.floor_data, &Ttrlevel::SetNumFloorData);
    ReadCounted(L.mesh_data, &Ttrlevel::SetNumMeshData);
    ReadCounted(L.mesh_pointers, &Ttrlevel::SetNumMeshPointers);

    const uint32_t animations = s_.U32();
    const bool lateral = code_ >= LEVEL_TR4;
    s_.Need(uint64_t(animations) * (lateral ? 40 : 32));
    memory_.Spend(uint64_t(animations) * sizeof(tanimation));
    ChargeWork(uint64_t(animations) * sizeof(tanimation));
    L.SetNumAnimations(animations);
    for (uint32_t i = 0; i < animations; ++i) {
        auto* a = reinterpret_cast<uint8_t*>(&L.animations[i]);
        s_.Read(a, 16);
        if (lateral) s_.Read(a + 16, 8);
        s_.Read(a + 24, 16);
    }

    ReadCounted(L.state_changes, &Ttrlevel::SetNumStateChanges);
    ReadCounted(L.anim_dispatches, &Ttrlevel::SetNumAnimDispatches);
    ReadCounted(L.anim_commands, &Ttrlevel::SetNumAnimCommands);
    ReadCounted(L.mesh_trees, &Ttrlevel::SetNumMeshTrees);
    ReadCounted(L.frames, &Ttrlevel::SetNumFrames);

    if (code_ == LEVEL_TRC) {
        ReadCounted(L.moveables, &Ttrlevel::SetNumMoveables);
    } else {
        const uint32_t moveables = s_.U32();
        s_.Need(uint64_t(moveables) * 18);
        memory_.Spend(uint64_t(moveables) * sizeof(tmoveable));
        ChargeWork(uint64_t(moveables) * sizeof(tmoveable));
        L.SetNumMoveables(moveables);
        for (uint32_t i = 0; i < moveables; ++i) s_.Read(&L.moveables[i], 18);
    }
    ReadCounted(L.static_meshes, &Ttrlevel::SetNumStaticMeshes);
}

void TLevelParser::ReadObjectTextures()
{
    const uint32_t count = s_.U32();
    const uint64_t size = code_ == LEVEL_TRC ? 40 : (code_ == LEVEL_TR4 ? 38 : 20);
    s_.Need(count * size);
    memory_.Spend(uint64_t(count) * sizeof(tobject_texture));
    ChargeWork(uint64_t(count) * sizeof(tobject_texture));
    L.SetNumObjectTextures(count);
    for (uint32_t i = 0; i < count; ++i) {
        tobject_texture& t = L.object_textures[i];
        t.attribute = s_.U16();
        t.tile = s_.U16();
        if (code_ >= LEVEL_TR4) t.flags = s_.U16();
        s_.Read(t.corners, sizeof t.corners);
        if (code_ >= LEVEL_TR4) s_.Read(t.extra, sizeof t.extra);
        if (code_ == LEVEL_TRC) t.trc_word = s_.U16();
        t.group = 0;
    }
}

void TLevelParser::ReadSprites()
{
    if (code_ >= LEVEL_TR4) s_.Read(L.spr_tag, code_ == LEVEL_TR4 ? 3 : 4);
    ReadCounted(L.sprite_textures, &Ttrlevel::SetNumSpriteTextures);
    ReadCounted(L.sprite_sequences, &Ttrlevel::SetNumSpriteSequences);
}

void TLevelParser::ReadCamerasAndSounds()
{
    ReadCounted(L.cameras, &Ttrlevel::SetNumCameras);
    if (code_ >= LEVEL_TR4) ReadCounted(L.flyby_cameras, &Ttrlevel::SetNumFlybyCameras);
    ReadCounted(L.sound_sources, &Ttrlevel::SetNumSoundSources);
}

void TLevelParser::ReadBoxesAndZones()
{
    const uint32_t boxes = s_.U32();
    const bool tr1 = code_ <= LEVEL_TR1_TUB;
    s_.Need(uint64_t(boxes) * (tr1 ? sizeof(tbox_tr1) : sizeof(tbox)));
    memory_.Spend(uint64_t(boxes) * (sizeof(tbox_tr1) + sizeof(tbox)));
    ChargeWork(uint64_t(boxes) * (sizeof(tbox_tr1) + sizeof(tbox)));
    L.SetNumBoxes(boxes);
    if (tr1) s_.ReadArray(L.boxes_tr1.data(), boxes);
    else s_.ReadArray(L.boxes.data(), boxes);
    ReadCounted(L.overlaps, &Ttrlevel::SetNumOverlaps);

    // TR1 files carry six zone arrays; they go to zone arrays 1, 2, 5, 6, 7 and 10.
    static constexpr int kTr1Zones[] = {0, 1, 4, 5, 6, 9};
    const int arrays = tr1 ? 6 : 10;
    s_.Need(uint64_t(boxes) * 2 * arrays);
    memory_.Spend(uint64_t(boxes) * 2 * L.zones.size());
    ChargeWork(uint64_t(boxes) * 2 * L.zones.size());
    L.SetNumZones(boxes);
    for (int i = 0; i < arrays; ++i) s_.ReadArray(L.zones[tr1 ? kTr1Zones[i] : i].data(), boxes);

    ReadCounted(L.animated_textures, &Ttrlevel::SetNumAnimatedTextures);
}

void TLevelParser::ReadItems()
{
    const uint32_t count = s_.U32();
    if (code_ <= LEVEL_TR1_TUB) {
        s_.Need(uint64_t(count) * sizeof(titem_tr1));
        memory_.Spend(uint64_t(count) * (sizeof(titem_tr1) + sizeof(tlevel_item)));
        ChargeWork(uint64_t(count) * 2 * (sizeof(titem_tr1) + sizeof(tlevel_item)));
        L.SetNumItems(count);
        s_.ReadArray(L.items_tr1.data(), count);
        for (uint32_t i = 0; i < count; ++i) {
            const titem_tr1& a = L.items_tr1[i];
            L.items[i] = tlevel_item{a.id, a.room, a.x, a.y, a.z, a.angle, a.intensity1, a.intensity2, a.flags};
        }
    } else {
        s_.Need(uint64_t(count) * sizeof(tlevel_item));
        memory_.Spend(uint64_t(count) * (sizeof(titem_tr1) + sizeof(tlevel_item)));
        ChargeWork(uint64_t(count) * 2 * (sizeof(titem_tr1) + sizeof(tlevel_item)));
        L.SetNumItems(count);
        s_.ReadArray(L.items.data(), count);
        for (uint32_t i = 0; i < count; ++i) {
            const tlevel_item& b = L.items[i];
            L.items_tr1[i] = titem_tr1{b.id,
                                       b.room,
                                       b.x,
                                       b.y,
                                       b.z,
                                       b.angle,
                                       static_cast<uint8_t>(b.intensity1),
                                       static_cast<uint8_t>(b.intensity2),
                                       b.flags};
        }
    }
}

void TLevelParser::ReadTrailingSections()
{
    if (code_ <= LEVEL_TR3) s_.Read(L.light_map.data(), L.light_map.size());
    if (code_ == LEVEL_TR1) s_.ReadArray(L.palette.data(), L.palette.size());

    if (code_ >= LEVEL_TR4) {
        ReadCounted(L.ai_objects, &Ttrlevel::SetNumCinematicFrames);
    } else {
        const uint16_t frames = s_.U16();
        s_.Need(uint64_t(frames) * sizeof(tcinematic_frame));
        memory_.Spend(uint64_t(frames) * sizeof(tcinematic_frame));
        ChargeWork(uint64_t(frames) * sizeof(tcinematic_frame));
        L.SetNumCinematicFrames(frames);
        s_.ReadArray(L.cinematic_frames.data(), frames);
    }

    const uint16_t demo = s_.U16();
    s_.Need(demo);
    memory_.Spend(demo);
    ChargeWork(demo);
    L.SetNumDemoData(demo);
    s_.Read(L.demo_data.data(), demo);

    const size_t soundMap = code_ <= LEVEL_TR1_TUB ? 512 : (code_ == LEVEL_TRC ? 900 : 740);
    s_.Read(L.sound_map.data(), soundMap);
    ReadCounted(L.sound_details, &Ttrlevel::SetNumSoundDetails);

    if (code_ <= LEVEL_TR1_TUB) ReadSampleData(s_.U32());
    ReadCounted(L.sample_indices, &Ttrlevel::SetNumSampleIndices);

    if (code_ == LEVEL_TRC) {
        s_.Seek(samplesStart_);
        L.num_samples = s_.U32();
        ReadSampleData(s_.Remaining());
    }
}

int64_t LevelMemoryLimit = int64_t(512) << 20;

int Ttrlevel::LoadFromFile(const std::string& fileName, bool texturesOnly)
{
    SetGauge(0);
    // Nothing of a previous file survives a new load, whatever its outcome.
    Clear();
    SetGauge(10);
    if (!FileExists(fileName)) return LEVEL_NO_FILE;

    TZFile f;
    zAssignFile(f, fileName);
    int result = LEVEL_DAMAGED;
    try {
        struct stat st;
        const uint64_t fileBytes = ::stat(fileName.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
        // The work of reading is counted against what the file's bytes and
        // the level made of them allow; a file that asks for more is damaged.
        MeteredLoad(
            fileBytes,
            [&] {
                // A reader never needs write access. A container may inflate to
                // no more than a level may take.
                zReset(f, 1, fmOpenRead, LevelMemoryLimit);
                TLevelParser parser(*this, fileName, texturesOnly);
                result = parser.Run(f);
            },
            [] { Damaged(); });
    } catch (const ELevelDamaged&) {
        result = LEVEL_DAMAGED;
    } catch (const std::bad_alloc&) {
        result = LEVEL_DAMAGED;
    } catch (...) {
        zCloseFile(f, false);
        Clear();
        throw;
    }
    zCloseFile(f, false);
    if (result != LEVEL_LOADED) {
        Clear();
        if (result == LEVEL_DAMAGED) SetGauge(0);
    }
    return result;
}
