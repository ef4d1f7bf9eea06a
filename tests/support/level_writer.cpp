#include "support/level_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <type_traits>

#include "support/byte_writer.h"
#include "support/zlib_stream.h"

namespace {

class TLevelWriter {
public:
    TLevelWriter(const TLevelDesc& d, TLevelLayout& layout) : d_(d), code_(d.version_code), layout_(layout) {}
    std::vector<uint8_t> Write();

private:
    void Mark(const std::string& name) { layout_.at[name] = o_->Size(); }
    void Chunk(TByteWriter& file, int index, const std::vector<uint8_t>& data);
    void LevelData();
    void Room(size_t index, const TRoomDesc& r);
    void TrcRoom(size_t index, const TRoomDesc& r);
    void Statics(const TRoomDesc& r);
    void ObjectTextures();
    void Portals(const std::vector<troom_portal>& portals);
    // A 32-bit count, then each element as `each` writes it.
    template <class T, class F>
    void Counted(const char* name, const std::vector<T>& v, F each)
    {
        Mark(name);
        o_->LE(uint32_t(v.size()));
        for (const T& e : v) each(e);
    }
    template <class T>
    void Words(const char* name, const std::vector<T>& v)
    {
        Counted(name, v, [&](T w) { o_->LE(w); });
    }

    const TLevelDesc& d_;
    const int code_;
    TLevelLayout& layout_;
    TByteWriter* o_ = nullptr;  // the stream the reader parses
};

std::vector<uint8_t> TLevelWriter::Write()
{
    TByteWriter file;
    o_ = &file;
    file.LE(d_.version_word ? d_.version_word : LevelVersionWord(code_));
    if (code_ >= LEVEL_TR4) {
        file.LE(d_.num_room_textiles, d_.num_object_textiles, d_.num_bump_textiles);
        Chunk(file, 0, d_.textile32);
        Chunk(file, 1, d_.textile16);
        Chunk(file, 2, d_.textile_misc);
    }
    if (code_ == LEVEL_TR4) {
        // The level data is one compressed block, followed by the samples.
        TByteWriter block;
        o_ = &block;
        LevelData();
        layout_.parsed_end = block.Size();
        if (d_.patch) d_.patch(block.Bytes, layout_);
        o_ = &file;
        Chunk(file, 3, block.Bytes);
        file.LE(d_.num_samples);
        file.Append(d_.sample_data);
        return std::move(file.Bytes);
    }
    if (code_ == LEVEL_TRC) {
        file.Raw(d_.trc_header.data(), d_.trc_header.size());
        Mark("trc_level_size");
        file.LE(0u, d_.trc_level_size2);
        const size_t start = file.Size();
        LevelData();
        layout_.parsed_end = file.Size();
        file.PutLE32(start - 8, uint32_t(file.Size() - start));
        Mark("samples");
        file.LE(d_.num_samples);
        file.Append(d_.sample_data);
    } else {
        if (code_ >= LEVEL_TR2) {
            file.Raw(&d_.palette, sizeof d_.palette);
            file.Raw(&d_.palette16, sizeof d_.palette16);
        }
        Mark("textiles");
        file.LE(d_.num_textiles);
        file.Append(d_.textile8);
        if (code_ >= LEVEL_TR2) file.Append(d_.textile16);
        LevelData();
        layout_.parsed_end = file.Size();
    }
    if (d_.patch) d_.patch(file.Bytes, layout_);
    return std::move(file.Bytes);
}

void TLevelWriter::Chunk(TByteWriter& file, int index, const std::vector<uint8_t>& data)
{
    const std::vector<uint8_t> packed = ZlibCompress(data, 6);
    file.LE(uint32_t(data.size()), uint32_t(packed.size()));
    layout_.chunk_data[size_t(index)] = file.Size();
    layout_.chunk_size[size_t(index)] = packed.size();
    file.Append(packed);
}

void TLevelWriter::LevelData()
{
    Mark("rooms_unused");
    o_->LE(d_.rooms_unused);
    Mark("rooms");
    if (code_ == LEVEL_TRC) o_->LE(uint32_t(d_.rooms.size()));
    else o_->LE(uint16_t(d_.rooms.size()));
    for (size_t i = 0; i < d_.rooms.size(); ++i) code_ == LEVEL_TRC ? TrcRoom(i, d_.rooms[i]) : Room(i, d_.rooms[i]);
    Words("floor_data", d_.floor_data);
    Words("mesh_data", d_.mesh_data);
    Words("mesh_pointers", d_.mesh_pointers);
    Counted("animations", d_.animations, [&](const tanimation& a) {
        o_->LE(a.frame_offset, a.frame_rate, a.frame_size, a.state_id, a.speed, a.accel);
        if (code_ >= LEVEL_TR4) o_->LE(a.speed_lateral, a.accel_lateral);
        o_->LE(a.frame_start, a.frame_end, a.next_animation, a.next_frame, a.num_state_changes, a.state_change_offset,
               a.num_anim_commands, a.anim_command_offset);
    });
    Counted("state_changes", d_.state_changes,
            [&](tstate_change s) { o_->LE(s.state_id, s.num_dispatches, s.dispatch_offset); });
    Counted("anim_dispatches", d_.anim_dispatches,
            [&](tanim_dispatch a) { o_->LE(a.low, a.high, a.next_animation, a.next_frame); });
    Words("anim_commands", d_.anim_commands);
    Words("mesh_trees", d_.mesh_trees);
    Words("frames", d_.frames);
    Counted("moveables", d_.moveables, [&](const tmoveable& m) {
        o_->LE(m.object_id, m.num_meshes, m.starting_mesh, m.mesh_tree, m.frame_offset, m.animation);
        if (code_ == LEVEL_TRC) o_->LE(m.trc_filler);
    });
    Counted("static_meshes", d_.static_meshes, [&](const tstatic_mesh& s) {
        o_->LE(s.object_id, s.mesh);
        for (tbounding_box b : {s.visibility, s.collision})
            o_->LE(b.min_x, b.max_x, b.min_y, b.max_y, b.min_z, b.max_z);
        o_->LE(s.flags);
    });
    if (code_ <= LEVEL_TR2_TRG) ObjectTextures();
    if (code_ >= LEVEL_TR4) o_->Raw("SPR\0", code_ == LEVEL_TR4 ? 3 : 4);
    Counted("sprite_textures", d_.sprite_textures, [&](const tsprite_texture& s) {
        o_->LE(s.tile, s.x, s.y, s.width, s.height, s.left, s.top, s.right, s.bottom);
    });
    Counted("sprite_sequences", d_.sprite_sequences,
            [&](tsprite_sequence s) { o_->LE(s.object_id, s.negative_length, s.offset); });
    if (code_ == LEVEL_TR1_TUB) o_->Raw(&d_.palette, sizeof d_.palette);
    Counted("cameras", d_.cameras, [&](tlevel_camera c) { o_->LE(c.x, c.y, c.z, c.room, c.flags); });
    if (code_ >= LEVEL_TR4)
        Counted("flyby_cameras", d_.flyby_cameras, [&](const tlevel_flyby_camera& c) {
            o_->LE(c.x, c.y, c.z, c.dx, c.dy, c.dz, c.sequence, c.index, c.fov, c.roll, c.timer, c.speed, c.flags,
                   c.room);
        });
    Counted("sound_sources", d_.sound_sources,
            [&](tlevel_sound_source s) { o_->LE(s.x, s.y, s.z, s.sound_id, s.flags); });
    const bool tr1 = code_ <= LEVEL_TR1_TUB;
    if (tr1)
        Counted("boxes", d_.boxes_tr1,
                [&](tbox_tr1 b) { o_->LE(b.z_min, b.z_max, b.x_min, b.x_max, b.true_floor, b.overlap_index); });
    else
        Counted("boxes", d_.boxes,
                [&](tbox b) { o_->LE(b.z_min, b.z_max, b.x_min, b.x_max, b.true_floor, b.overlap_index); });
    Words("overlaps", d_.overlaps);
    Mark("zones");
    for (int z : tr1 ? std::vector<int>{0, 1, 4, 5, 6, 9} : std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9})
        for (size_t j = 0; j < (tr1 ? d_.boxes_tr1.size() : d_.boxes.size()); ++j)
            o_->LE(j < d_.zones[size_t(z)].size() ? d_.zones[size_t(z)][j] : uint16_t(0));
    Words("animated_textures", d_.animated_textures);
    if (code_ >= LEVEL_TR4) o_->Raw("TEX\0\0", code_ == LEVEL_TR4 ? 4 : 5);
    if (code_ >= LEVEL_TR3) ObjectTextures();
    if (tr1)
        Counted("items", d_.items_tr1, [&](titem_tr1 i) {
            o_->LE(i.id, i.room, i.x, i.y, i.z, i.angle, i.intensity1, i.intensity2, i.flags);
        });
    else
        Counted("items", d_.items, [&](tlevel_item i) {
            o_->LE(i.id, i.room, i.x, i.y, i.z, i.angle, i.intensity1, i.intensity2, i.flags);
        });
    if (code_ <= LEVEL_TR3) o_->Raw(d_.light_map.data(), d_.light_map.size());
    if (code_ == LEVEL_TR1) o_->Raw(&d_.palette, sizeof d_.palette);
    Mark("cinematic_frames");
    if (code_ >= LEVEL_TR4) {
        o_->LE(uint32_t(d_.ai_objects.size()));
        for (tai_object a : d_.ai_objects) o_->LE(a.object_id, a.room, a.x, a.y, a.z, a.ocb, a.flags, a.angle);
    } else {
        o_->LE(uint16_t(d_.cinematic_frames.size()));
        for (tcinematic_frame c : d_.cinematic_frames)
            o_->LE(c.target_x, c.target_y, c.target_z, c.x, c.y, c.z, c.fov, c.roll);
    }
    Mark("demo_data");
    o_->LE(uint16_t(d_.demo_data.size()));
    o_->Append(d_.demo_data);
    for (size_t i = 0; i < (tr1 ? 256u : code_ == LEVEL_TRC ? 450u : 370u); ++i) o_->LE(d_.sound_map[i]);
    Counted("sound_details", d_.sound_details,
            [&](tsound_detail s) { o_->LE(s.sample, s.volume, s.chance, s.characteristics); });
    if (tr1) {
        Mark("samples");
        o_->LE(uint32_t(d_.sample_data.size()));
        o_->Append(d_.sample_data);
    }
    Words("sample_indices", d_.sample_indices);
}

void TLevelWriter::ObjectTextures()
{
    Counted("object_textures", d_.object_textures, [&](const tobject_texture& t) {
        o_->LE(t.attribute, t.tile);
        if (code_ >= LEVEL_TR4) o_->LE(t.flags);
        o_->Raw(t.corners, sizeof t.corners);
        if (code_ >= LEVEL_TR4) o_->LE(t.extra[0], t.extra[1], t.extra[2], t.extra[3]);
        if (code_ == LEVEL_TRC) o_->LE(t.trc_word);
    });
}

void TLevelWriter::Portals(const std::vector<troom_portal>& portals)
{
    o_->LE(uint16_t(portals.size()));
    for (const troom_portal& p : portals) {
        o_->LE(p.adjoining_room, p.normal.x, p.normal.y, p.normal.z);
        for (tvertex16 v : p.vertices) o_->LE(v.x, v.y, v.z);
    }
}

void TLevelWriter::Statics(const TRoomDesc& r)
{
    if (code_ <= LEVEL_TR1_TUB) {
        o_->LE(uint16_t(r.statics_tr1.size()));
        for (troom_static_tr1 s : r.statics_tr1) o_->LE(s.x, s.y, s.z, s.rotation, s.intensity1, s.mesh_id);
        return;
    }
    if (code_ != LEVEL_TRC) o_->LE(uint16_t(r.statics.size()));
    for (tlevel_room_static s : r.statics) o_->LE(s.x, s.y, s.z, s.rotation, s.intensity1, s.intensity2, s.mesh_id);
}

void TLevelWriter::Room(size_t index, const TRoomDesc& r)
{
    const std::string room = "room." + std::to_string(index);
    Mark(room);
    o_->LE(r.x, r.z, r.y_bottom, r.y_top, r.num_data_words);
    Mark(room + ".vertices");
    o_->LE(uint16_t(r.vertices.size()));
    for (troom_vertex_long v : r.vertices) {
        o_->LE(v.x, v.y, v.z, v.light);
        if (code_ >= LEVEL_TR2) o_->LE(v.attributes, v.colour);
    }
    Mark(room + ".rectangles");
    o_->LE(uint16_t(r.rectangles.size()));
    for (troom_rectangle q : r.rectangles)
        o_->LE(q.vertices[0], q.vertices[1], q.vertices[2], q.vertices[3], q.texture);
    Mark(room + ".triangles");
    o_->LE(uint16_t(r.triangles.size()));
    for (troom_triangle t : r.triangles) o_->LE(t.vertices[0], t.vertices[1], t.vertices[2], t.texture);
    Mark(room + ".sprites");
    o_->LE(uint16_t(r.sprites.size()));
    for (troom_sprite s : r.sprites) o_->LE(s.vertex, s.texture);
    Mark(room + ".portals");
    Portals(r.portals);
    Mark(room + ".sectors");
    o_->LE(r.num_z_sectors, r.num_x_sectors);
    for (troom_sector s : r.sectors)
        o_->LE(s.floor_data_index, s.box_index, s.room_below, s.floor, s.room_above, s.ceiling);
    o_->LE(r.ambient);
    if (code_ >= LEVEL_TR2) o_->LE(r.ambient2);
    if (code_ == LEVEL_TR2 || code_ == LEVEL_TR2_TRG) o_->LE(r.light_mode);
    Mark(room + ".lights");
    if (code_ <= LEVEL_TR1_TUB) {
        o_->LE(uint16_t(r.lights_tr1.size()));
        for (troom_light_tr1 l : r.lights_tr1) o_->LE(l.x, l.y, l.z, l.intensity, l.fade);
    } else if (code_ <= LEVEL_TR3) {
        o_->LE(uint16_t(r.lights_tr2.size()));
        for (troom_light_tr2 l : r.lights_tr2) o_->LE(l.x, l.y, l.z, l.intensity1, l.intensity2, l.fade1, l.fade2);
    } else {
        o_->LE(uint16_t(r.lights_tr4.size()));
        for (troom_light_tr4 l : r.lights_tr4)
            o_->LE(l.x, l.y, l.z, l.red, l.green, l.blue, l.light_type, l.unknown, l.intensity, l.in, l.out, l.length,
                   l.cutoff, l.dx, l.dy, l.dz);
    }
    Mark(room + ".statics");
    Statics(r);
    o_->LE(r.alternate_room, r.flags);
    if (code_ == LEVEL_TR3 || code_ == LEVEL_TR4) o_->LE(r.water_scheme, r.filler);
}

void TLevelWriter::TrcRoom(size_t index, const TRoomDesc& r)
{
    const std::string room = "room." + std::to_string(index);
    Mark(room);
    o_->Raw("XELA", 4);
    Mark(room + ".size");
    o_->LE(0u);
    const size_t start = o_->Size();
    // The header as stored, with what the description gives filled in.
    ttrc_room_header h = r.trc_header;
    h.x = r.x;
    h.z = r.z;
    h.y_bottom = r.y_bottom;
    h.y_top = r.y_top;
    h.num_z_sectors = r.num_z_sectors;
    h.num_x_sectors = r.num_x_sectors;
    h.num_lights = uint16_t(r.lights_trc.size());
    h.num_statics = uint16_t(r.statics.size());
    h.flags[0] = uint8_t(r.flags);
    h.flags[1] = uint8_t(r.flags >> 8);
    h.num_records = uint32_t(r.trc_records.size());
    h.num_layers = uint32_t(r.layers.size());
    Mark(room + ".header");
    o_->Raw(&h, sizeof h);
    o_->Raw(r.lights_trc.data(), r.lights_trc.size() * sizeof(troom_light_trc));
    o_->Raw(r.trc_records.data(), r.trc_records.size() * sizeof(ttrc_room_record));
    for (troom_sector s : r.sectors)
        o_->LE(s.floor_data_index, s.box_index, s.room_below, s.floor, s.room_above, s.ceiling);
    Mark(room + ".portals");
    Portals(r.portals);
    o_->LE(uint16_t(0xCDCD));
    Statics(r);
    Mark(room + ".layers");
    size_t triangles = 0;
    for (const TTrcLayerDesc& l : r.layers) {
        o_->LE(uint32_t(l.vertices.size()), l.word4, uint16_t(l.rectangles.size()), uint16_t(l.triangles.size()));
        o_->Raw(l.rest.data(), l.rest.size());
        triangles += l.triangles.size();
    }
    for (const TTrcLayerDesc& l : r.layers) {
        for (ttrc_rectangle q : l.rectangles)
            o_->LE(q.vertices[0], q.vertices[1], q.vertices[2], q.vertices[3], q.texture, q.flags);
        for (ttrc_triangle t : l.triangles) o_->LE(t.vertices[0], t.vertices[1], t.vertices[2], t.texture, t.flags);
    }
    if (triangles % 2) o_->LE(uint16_t(0xCDCD));
    for (const TTrcLayerDesc& l : r.layers)
        for (ttrc_vertex v : l.vertices) o_->LE(v.x, v.y, v.z, v.nx, v.ny, v.nz, v.blue, v.green, v.red, v.alpha);
    o_->Append(r.trc_tail);
    o_->PutLE32(start - 4, uint32_t(o_->Size() - start));
}

}  // namespace

uint32_t LevelVersionWord(int code)
{
    return code <= LEVEL_TR1_TUB ? 0x20 : code <= LEVEL_TR2_TRG ? 0x2D : code == LEVEL_TR3 ? 0xFF180038 : 0x00345254;
}

std::string LevelFileExtension(int code)
{
    switch (code) {
    case LEVEL_TR1_TUB: return ".tub";
    case LEVEL_TR2_TRG: return ".trg";
    case LEVEL_TR4: return ".tr4";
    case LEVEL_TRC: return ".trc";
    default: return ".phd";
    }
}

std::vector<uint8_t> WriteLevelFile(const TLevelDesc& desc, TLevelLayout* layout)
{
    TLevelLayout local;
    return TLevelWriter(desc, layout ? *layout : local).Write();
}

void SaveLevelFile(const std::string& fileName, const TLevelDesc& desc, TLevelLayout* layout)
{
    const std::vector<uint8_t> bytes = WriteLevelFile(desc, layout);
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + fileName);
}

namespace {

// A small deterministic generator of varied content.
class TRandom {
public:
    explicit TRandom(uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
    uint32_t Next() { return (state_ = state_ * 1664525u + 1013904223u) >> 8; }
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % uint32_t(hi - lo + 1)); }
    uint8_t Byte() { return static_cast<uint8_t>(Next()); }
    uint16_t Word() { return static_cast<uint16_t>(Next()); }
    uint32_t Long() { return (Next() << 16) ^ Next(); }
    template <class T>
    void Fill(T& record)  // random bytes
    {
        auto* p = reinterpret_cast<uint8_t*>(&record);
        for (size_t i = 0; i < sizeof(T); ++i) p[i] = Byte();
    }
    template <class T>
    std::vector<T> Records(int n)
    {
        std::vector<T> v(static_cast<size_t>(n));
        for (T& e : v) Fill(e);
        return v;
    }

private:
    uint32_t state_;
};

// Gradients with a little noise, which compress about as well as real texture pages.
std::vector<uint8_t> TexturePixels(size_t bytes, TRandom& rnd)
{
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i)
        v[i] = static_cast<uint8_t>(((i % 512) / 8) ^ ((i / 512) % 256 / 4)) +
               ((rnd.Next() & 7) == 0 ? rnd.Byte() % 4 : 0);
    return v;
}

// The textile pages of a level: 8 and 16 bits up to TR3, 32 and 16 bits for TR4 and TRC.
void Textiles(TLevelDesc& d, int pages, TRandom& rnd)
{
    if (d.version_code >= LEVEL_TR4) {
        d.num_room_textiles = static_cast<uint16_t>(pages);
        d.textile32 = TexturePixels(size_t(pages) * TEXTILE32_BYTES, rnd);
        d.textile16 = TexturePixels(size_t(pages) * TEXTILE16_BYTES, rnd);
    } else {
        d.num_textiles = static_cast<uint32_t>(pages);
        d.textile8 = TexturePixels(size_t(pages) * TEXTILE8_BYTES, rnd);
        if (d.version_code >= LEVEL_TR2) d.textile16 = TexturePixels(size_t(pages) * TEXTILE16_BYTES, rnd);
    }
}

void Palette(TLevelDesc& d, TRandom& rnd)
{
    for (auto& p : d.palette)
        p = tpalette_entry{uint8_t(rnd.Byte() & 63), uint8_t(rnd.Byte() & 63), uint8_t(rnd.Byte() & 63)};
}

template <class T>
T WithVertices(T face, int vertices, TRandom& rnd)
{
    for (auto& v : face.vertices) v = static_cast<uint16_t>(rnd.Range(0, vertices - 1));
    return face;
}

TRoomDesc MakeRoom(int code, int index, const TSampleLevelSize& size, TRandom& rnd)
{
    TRoomDesc r;
    r.x = index * 4096;
    r.z = rnd.Range(-8, 8) * 1024;
    r.y_bottom = rnd.Range(0, 4) * 1024;
    r.y_top = r.y_bottom - rnd.Range(1, 5) * 1024;
    r.num_data_words = rnd.Long();
    r.num_z_sectors = static_cast<uint16_t>(size.z_sectors);
    r.num_x_sectors = static_cast<uint16_t>(size.x_sectors);
    for (int i = 0; i < size.z_sectors * size.x_sectors; ++i) {
        troom_sector s;
        s.floor_data_index = rnd.Word();
        s.box_index = rnd.Word();
        s.room_below = rnd.Range(0, 3) == 0 ? 255 : static_cast<uint8_t>(rnd.Range(0, size.rooms));
        s.floor = static_cast<int8_t>(rnd.Range(-127, 127));
        s.room_above = rnd.Range(0, 3) == 0 ? 255 : static_cast<uint8_t>(rnd.Range(0, size.rooms));
        s.ceiling = static_cast<int8_t>(rnd.Range(-127, 127));
        r.sectors.push_back(s);
    }
    r.ambient = rnd.Word();
    if (code >= LEVEL_TR2) r.ambient2 = rnd.Word();
    if (code == LEVEL_TR2 || code == LEVEL_TR2_TRG) r.light_mode = rnd.Word();
    r.portals = rnd.Records<troom_portal>(size.portals);
    for (auto& p : r.portals) p.adjoining_room = static_cast<uint16_t>(rnd.Range(0, size.rooms - 1));
    if (code <= LEVEL_TR1_TUB) {
        r.lights_tr1 = rnd.Records<troom_light_tr1>(size.lights);
        r.statics_tr1 = rnd.Records<troom_static_tr1>(size.statics);
    } else {
        if (code <= LEVEL_TR3) r.lights_tr2 = rnd.Records<troom_light_tr2>(size.lights);
        else if (code == LEVEL_TR4) r.lights_tr4 = rnd.Records<troom_light_tr4>(size.lights);
        else r.lights_trc = rnd.Records<troom_light_trc>(size.lights);
        r.statics = rnd.Records<tlevel_room_static>(size.statics);
    }
    r.alternate_room = static_cast<int16_t>(rnd.Range(-1, size.rooms - 1));
    r.flags = rnd.Word();
    if (code == LEVEL_TR3 || code == LEVEL_TR4) {
        r.water_scheme = rnd.Word();
        r.filler = rnd.Byte();
    }
    if (code == LEVEL_TRC) {
        rnd.Fill(r.trc_header);
        r.trc_records = rnd.Records<ttrc_room_record>(rnd.Range(0, 3));
        r.trc_tail.assign(static_cast<size_t>(rnd.Range(0, 3) * 2), 0xCD);
        for (int l = 0; l < size.trc_layers; ++l) {
            TTrcLayerDesc layer;
            layer.word4 = rnd.Word();
            for (auto& b : layer.rest) b = rnd.Byte();
            for (int i = 0; i < size.vertices; ++i) {
                ttrc_vertex v;
                rnd.Fill(v);
                // Positions a little off the grid; layers share their first vertex.
                const int k = i == 0 ? 0 : l * size.vertices + i;
                v.x = static_cast<float>((k % 40) * 256) + 0.25f;
                v.y = static_cast<float>(-(k / 40) * 256) - 0.375f;
                v.z = static_cast<float>(index * 64 + k % 7) + 0.125f;
                layer.vertices.push_back(v);
            }
            for (int i = 0; i < size.rectangles; ++i)
                layer.rectangles.push_back(WithVertices(rnd.Records<ttrc_rectangle>(1)[0], size.vertices, rnd));
            for (int i = 0; i < size.triangles; ++i)
                layer.triangles.push_back(WithVertices(rnd.Records<ttrc_triangle>(1)[0], size.vertices, rnd));
            r.layers.push_back(std::move(layer));
        }
        return r;
    }
    for (int i = 0; i < size.vertices; ++i) {
        troom_vertex_long v;
        rnd.Fill(v);
        if (code <= LEVEL_TR1_TUB) {
            v.attributes = 16;
            v.colour = 0x3DEF;
        }
        r.vertices.push_back(v);
    }
    for (int i = 0; i < size.rectangles; ++i) {
        r.rectangles.push_back(WithVertices(troom_rectangle{}, size.vertices, rnd));
        r.rectangles.back().texture = rnd.Word();
    }
    for (int i = 0; i < size.triangles; ++i) {
        r.triangles.push_back(WithVertices(troom_triangle{}, size.vertices, rnd));
        r.triangles.back().texture = rnd.Word();
    }
    for (int i = 0; i < size.sprites; ++i)
        r.sprites.push_back({int16_t(rnd.Range(0, size.vertices - 1)), int16_t(rnd.Next())});
    return r;
}

}  // namespace

TLevelDesc MakeSampleLevel(int code, const TSampleLevelSize& size)
{
    TRandom rnd(size.seed + 977u * static_cast<uint32_t>(code));
    TLevelDesc d;
    d.version_code = code;
    const int n = size.entries;
    if (code >= LEVEL_TR4) {
        d.num_room_textiles = static_cast<uint16_t>(size.textiles);
        d.num_object_textiles = static_cast<uint16_t>(rnd.Range(0, 3));
    }
    Textiles(d, size.textiles, rnd);
    if (code >= LEVEL_TR4) {
        d.textile_misc = TexturePixels(size.textiles > 0 ? TEXTILE32_BYTES : 0, rnd);
        d.num_samples = static_cast<uint32_t>(n);
    }
    Palette(d, rnd);
    if (code >= LEVEL_TR2 && code <= LEVEL_TR3)
        for (auto& p : d.palette16) rnd.Fill(p);
    d.rooms_unused = rnd.Long();
    if (code == LEVEL_TRC) {
        for (auto& b : d.trc_header) b = rnd.Byte();
        d.trc_level_size2 = rnd.Long();
    }
    for (int i = 0; i < size.rooms; ++i) d.rooms.push_back(MakeRoom(code, i, size, rnd));
    d.floor_data = rnd.Records<uint16_t>(n * 4);
    d.mesh_data = rnd.Records<uint16_t>(n * 8);
    d.mesh_pointers = rnd.Records<uint32_t>(n);
    d.animations = rnd.Records<tanimation>(n);
    if (code < LEVEL_TR4)
        for (auto& a : d.animations) a.speed_lateral = a.accel_lateral = 0;
    d.state_changes = rnd.Records<tstate_change>(n);
    d.anim_dispatches = rnd.Records<tanim_dispatch>(n);
    d.anim_commands = rnd.Records<uint16_t>(n);
    d.mesh_trees = rnd.Records<int32_t>(n * 4);
    d.frames = rnd.Records<int16_t>(n * 12);
    d.moveables = rnd.Records<tmoveable>(n);
    if (code != LEVEL_TRC)
        for (auto& m : d.moveables) m.trc_filler = 0;
    d.static_meshes = rnd.Records<tstatic_mesh>(n);
    d.object_textures = rnd.Records<tobject_texture>(n + 3);
    for (auto& t : d.object_textures) {
        if (code < LEVEL_TR4) {
            t.flags = 0;
            std::memset(t.extra, 0, sizeof t.extra);
        }
        if (code != LEVEL_TRC) t.trc_word = 0;
        std::memset(t.unused, 0, sizeof t.unused);
        t.group = 0;
    }
    d.animated_textures = {2, 1, 0, 1, 2, 2, 3, 4};  // ranges {0, 1} and {2, 3, 4}
    d.sprite_textures = rnd.Records<tsprite_texture>(n);
    d.sprite_sequences = rnd.Records<tsprite_sequence>(n);
    d.cameras = rnd.Records<tlevel_camera>(n);
    if (code >= LEVEL_TR4) d.flyby_cameras = rnd.Records<tlevel_flyby_camera>(n);
    d.sound_sources = rnd.Records<tlevel_sound_source>(n);
    if (code <= LEVEL_TR1_TUB) d.boxes_tr1 = rnd.Records<tbox_tr1>(n);
    else d.boxes = rnd.Records<tbox>(n);
    d.overlaps = rnd.Records<uint16_t>(n * 2);
    for (int z = 0; z < 10; ++z) {
        const bool carried = code > LEVEL_TR1_TUB || z == 0 || z == 1 || z == 4 || z == 5 || z == 6 || z == 9;
        d.zones[size_t(z)] = carried ? rnd.Records<uint16_t>(n) : std::vector<uint16_t>(size_t(n), 0);
    }
    if (code <= LEVEL_TR1_TUB) d.items_tr1 = rnd.Records<titem_tr1>(n);
    else d.items = rnd.Records<tlevel_item>(n);
    if (code <= LEVEL_TR3)
        for (auto& b : d.light_map) b = rnd.Byte();
    if (code >= LEVEL_TR4) d.ai_objects = rnd.Records<tai_object>(n);
    else d.cinematic_frames = rnd.Records<tcinematic_frame>(n);
    d.demo_data = rnd.Records<uint8_t>(n * 5);
    for (size_t i = 0; i < (code <= LEVEL_TR1_TUB ? 256u : code == LEVEL_TRC ? 450u : 370u); ++i)
        d.sound_map[i] = static_cast<int16_t>(rnd.Next());
    d.sound_details = rnd.Records<tsound_detail>(n);
    // TR2 and TR3 files keep their samples elsewhere.
    if (code <= LEVEL_TR1_TUB || code >= LEVEL_TR4) d.sample_data = rnd.Records<uint8_t>(n * 33);
    d.sample_indices = rnd.Records<uint32_t>(n);
    return d;
}

TLevelDesc MakeTwoRoomLevel(int code, uint16_t doorwayData0, uint16_t doorwayData1)
{
    TLevelDesc d;
    d.version_code = code;
    for (int i = 0; i < 2; ++i) {
        TRoomDesc r;
        r.x = i * 4096;
        r.z = 2048;
        r.y_bottom = -1024 * i;
        r.y_top = r.y_bottom - 4096;
        r.num_x_sectors = 4;
        r.num_z_sectors = 5;
        for (int s = 0; s < 20; ++s) {
            const bool border = s / 5 == 0 || s / 5 == 3 || s % 5 == 0 || s % 5 == 4;
            r.sectors.push_back(troom_sector{0, 0, 255, int8_t(border ? -127 : -4 * i), 255, int8_t(-4 * i - 16)});
        }
        r.portals.push_back(troom_portal{uint16_t(1 - i), {}, {}});
        r.flags = uint16_t(i);  // the second is a water room
        d.rooms.push_back(r);
    }
    d.rooms[0].sectors[3 * 5 + 2] = troom_sector{doorwayData0, 0, 255, 0, 255, -16};   // column 4, row 3
    d.rooms[1].sectors[0 * 5 + 2] = troom_sector{doorwayData1, 0, 255, -4, 255, -20};  // column 1, row 3
    return d;
}

// ---- Meshes, mesh trees, animations and frames

namespace {

std::vector<uint16_t> EncodeMesh(const TMeshDesc& m, int code)
{
    const bool newLayout = code >= LEVEL_TR4;
    std::vector<uint16_t> w;
    auto put = [&](int v) { w.push_back(static_cast<uint16_t>(v)); };
    auto vertices = [&](const std::vector<tvertex16>& list) {
        for (const tvertex16& v : list) w.insert(w.end(), {uint16_t(v.x), uint16_t(v.y), uint16_t(v.z)});
    };
    for (int16_t c : m.centre) put(c);
    put(m.radius & 0xFFFF);
    put(int(uint32_t(m.radius) >> 16));
    put(int(m.vertices.size()));
    vertices(m.vertices);
    if (m.shades.empty()) {
        put(int(m.normals.size()));
        vertices(m.normals);
    } else {
        put(-int(m.shades.size()));
        w.insert(w.end(), m.shades.begin(), m.shades.end());
    }
    auto faces = [&](const std::vector<TMeshFaceDesc>& list, int corners, bool effects) {
        put(int(list.size()));
        for (const TMeshFaceDesc& f : list) {
            w.insert(w.end(), f.vertices.begin(), f.vertices.begin() + corners);
            put(f.texture);
            if (effects) put(f.effects);
        }
    };
    faces(m.textured_quads, 4, newLayout);
    faces(m.textured_triangles, 3, newLayout);
    if (!newLayout) {
        faces(m.colored_quads, 4, false);
        faces(m.colored_triangles, 3, false);
    }
    if (w.size() % 2 != 0) w.push_back(0);
    return w;
}

std::vector<int16_t> EncodeFrame(const TFrameDesc& frame, int code)
{
    const bool oldFrames = code <= LEVEL_TR1_TUB;
    const tbounding_box& b = frame.box;
    std::vector<int16_t> w = {b.min_x, b.max_x,         b.min_y,         b.max_y,        b.min_z,
                              b.max_z, frame.offset[0], frame.offset[1], frame.offset[2]};
    if (oldFrames) w.push_back(static_cast<int16_t>(frame.rotations.size()));
    for (const TFrameRotation& r : frame.rotations) {
        if (r.axis == TFrameRotation::kXYZ || oldFrames) {
            // One-axis rotations do not exist in TR1 files: three angles instead.
            const auto angle = [&](TFrameRotation::TAxis a, uint16_t v) {
                return r.axis == TFrameRotation::kXYZ || r.axis == a ? uint32_t(v & 0x3FF) : 0u;
            };
            const uint32_t value = angle(TFrameRotation::kX, r.x) << 20 | angle(TFrameRotation::kY, r.y) << 10 |
                                   angle(TFrameRotation::kZ, r.z);
            const auto high = static_cast<int16_t>(value >> 16), low = static_cast<int16_t>(value);
            w.insert(w.end(), {oldFrames ? low : high, oldFrames ? high : low});
        } else {
            const uint16_t angle = r.axis == TFrameRotation::kX ? r.x : r.axis == TFrameRotation::kY ? r.y : r.z;
            w.push_back(static_cast<int16_t>((uint16_t(r.axis) << 14) | (angle & 0x3FFF)));
        }
    }
    return w;
}

}  // namespace

uint32_t AddMesh(TLevelDesc& desc, const TMeshDesc& mesh)
{
    const uint32_t offset = static_cast<uint32_t>(desc.mesh_data.size() * 2);
    const std::vector<uint16_t> words = EncodeMesh(mesh, desc.version_code);
    desc.mesh_data.insert(desc.mesh_data.end(), words.begin(), words.end());
    desc.mesh_pointers.push_back(offset);
    return static_cast<uint32_t>(desc.mesh_pointers.size() - 1);
}

TMeshDesc MakeCubeMesh(int16_t half, uint16_t texture, int shadeStep)
{
    TMeshDesc m;
    m.radius = half * 2;
    for (int i = 0; i < 8; ++i) {
        const int16_t x = (i & 1) ? half : int16_t(-half), y = (i & 2) ? half : int16_t(-half),
                      z = (i & 4) ? half : int16_t(-half);
        m.vertices.push_back({x, y, z});
        if (shadeStep >= 0) m.shades.push_back(static_cast<uint16_t>(i * shadeStep));
        else m.normals.push_back({int16_t(x / half * 16300), int16_t(y / half * 16300), int16_t(z / half * 16300)});
    }
    for (const auto& f :
         {std::array<uint16_t, 4>{4, 5, 7, 6}, {0, 2, 3, 1}, {1, 3, 7, 5}, {0, 4, 6, 2}, {2, 6, 7, 3}, {0, 1, 5, 4}})
        m.textured_quads.push_back({f, texture, 0});
    return m;
}

uint32_t AddMoveable(TLevelDesc& desc, const TMoveableDesc& mv)
{
    tmoveable m{};
    m.object_id = mv.object_id;
    m.starting_mesh = static_cast<uint16_t>(desc.mesh_pointers.size());
    for (const TMeshDesc& mesh : mv.meshes) AddMesh(desc, mesh);
    desc.mesh_pointers.insert(desc.mesh_pointers.end(), mv.mesh_offsets.begin(),
                              mv.meshes.empty() ? mv.mesh_offsets.end() : mv.mesh_offsets.begin());
    m.num_meshes = static_cast<uint16_t>(mv.meshes.empty() ? mv.mesh_offsets.size() : mv.meshes.size());
    m.mesh_tree = static_cast<uint32_t>(desc.mesh_trees.size());
    for (const TMeshTreeNode& n : mv.tree) desc.mesh_trees.insert(desc.mesh_trees.end(), {n.flags, n.dx, n.dy, n.dz});
    m.animation = mv.animations.empty() ? int16_t(-1) : static_cast<int16_t>(desc.animations.size());
    m.frame_offset = static_cast<uint32_t>(desc.frames.size() * 2);
    for (const std::vector<TFrameDesc>& frames : mv.animations) {
        tanimation a{};
        a.frame_offset = static_cast<int32_t>(desc.frames.size() * 2);
        a.frame_rate = 1;
        const size_t size = frames.empty() ? 0 : EncodeFrame(frames.front(), desc.version_code).size();
        a.frame_size = static_cast<uint8_t>(size);
        a.frame_end = static_cast<uint16_t>(frames.empty() ? 0 : frames.size() - 1);
        a.next_animation = static_cast<uint16_t>(desc.animations.size());
        for (const TFrameDesc& f : frames) {
            std::vector<int16_t> words = EncodeFrame(f, desc.version_code);
            words.resize(size, 0);
            desc.frames.insert(desc.frames.end(), words.begin(), words.end());
        }
        desc.animations.push_back(a);
    }
    desc.moveables.push_back(m);
    return static_cast<uint32_t>(desc.moveables.size() - 1);
}

tobject_texture MakeObjectTexture(uint16_t tile, const std::array<tobject_texture_corner, 4>& corners,
                                  uint16_t attribute)
{
    tobject_texture t{};
    t.attribute = attribute;
    t.tile = tile;
    for (size_t k = 0; k < 4; ++k) t.corners[k] = corners[k];
    return t;
}

TLevelDesc MakeMeshLevel(int code, int moveables, int meshesPerMoveable, int frames, int statics, int textiles,
                         uint32_t seed)
{
    TRandom rnd(seed + 31u * static_cast<uint32_t>(code));
    TLevelDesc d;
    d.version_code = code;
    Textiles(d, textiles, rnd);
    Palette(d, rnd);
    for (auto& p : d.palette16) p = tpalette16_entry{rnd.Byte(), rnd.Byte(), rnd.Byte(), 0};
    // Object textures: squares of 64 pixels on the pages, walked clockwise.
    for (int i = 0; i < 8; ++i) {
        const uint8_t x0 = uint8_t((i % 4) * 64), y0 = uint8_t((i / 4) * 64), x1 = uint8_t(x0 + 63),
                      y1 = uint8_t(y0 + 63);
        d.object_textures.push_back(MakeObjectTexture(
            static_cast<uint16_t>(i % std::max(textiles, 1)),
            {tobject_texture_corner{1, x0, 1, y0}, {255, x1, 1, y0}, {255, x1, 255, y1}, {1, x0, 255, y1}}));
    }
    for (int mv = 0; mv < moveables; ++mv) {
        TMoveableDesc desc;
        desc.object_id = static_cast<uint32_t>(mv);
        for (int k = 0; k < meshesPerMoveable; ++k) {
            TMeshDesc mesh = MakeCubeMesh(static_cast<int16_t>(rnd.Range(40, 200)),
                                          static_cast<uint16_t>(rnd.Range(0, 7)), (k % 2) ? rnd.Range(0, 900) : -1);
            // A triangle on one side, and for older files a coloured quad and triangle too.
            mesh.textured_triangles.push_back({{0, 1, 2, 0}, static_cast<uint16_t>(rnd.Range(0, 7)), 0});
            if (code < LEVEL_TR4) {
                mesh.colored_quads.push_back({{0, 2, 3, 1}, rnd.Word(), 0});
                mesh.colored_triangles.push_back({{4, 5, 7, 0}, rnd.Word(), 0});
            }
            desc.meshes.push_back(mesh);
            // A limb: every third node returns to the first mesh.
            if (k > 0)
                desc.tree.push_back({(k % 3 == 1) ? 2 : (k % 3 == 0 ? 3 : 0), rnd.Range(-300, 300),
                                     rnd.Range(-300, 300), rnd.Range(-300, 300)});
        }
        std::vector<TFrameDesc> anim;
        for (int f = 0; f < frames; ++f) {
            TFrameDesc frame;
            frame.offset = {int16_t(rnd.Range(-100, 100)), int16_t(rnd.Range(-400, 0)), int16_t(rnd.Range(-100, 100))};
            for (int k = 0; k < meshesPerMoveable; ++k) {
                const auto axis = static_cast<TFrameRotation::TAxis>(code <= LEVEL_TR1_TUB ? 0 : (k + f) % 4);
                const uint16_t x = uint16_t(rnd.Range(0, 1023)), y = uint16_t(rnd.Range(0, 1023)),
                               z = uint16_t(rnd.Range(0, 1023));
                frame.rotations.push_back({axis, x, y, z});
            }
            anim.push_back(frame);
        }
        // Every frame takes the size of the first: make the first the longest
        // by giving it three-angle rotations when it is not.
        size_t longest = 0;
        for (const TFrameDesc& f : anim) longest = std::max(longest, EncodeFrame(f, code).size());
        if (!anim.empty() && EncodeFrame(anim.front(), code).size() < longest)
            for (TFrameRotation& r : anim.front().rotations) r.axis = TFrameRotation::kXYZ;
        if (frames > 0) desc.animations.push_back(anim);
        AddMoveable(d, desc);
    }
    for (int s = 0; s < statics; ++s) {
        tstatic_mesh st{};
        st.object_id = static_cast<uint32_t>(s);
        st.mesh = static_cast<uint16_t>(AddMesh(
            d, MakeCubeMesh(static_cast<int16_t>(rnd.Range(100, 500)), static_cast<uint16_t>(rnd.Range(0, 7)), 500)));
        d.static_meshes.push_back(st);
    }
    return d;
}
