#include "support/level_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "support/zlib_stream.h"

namespace {

// Little-endian byte output.
class TBytes {
public:
    std::vector<uint8_t> b;

    size_t Size() const { return b.size(); }
    void U8(uint8_t v) { b.push_back(v); }
    void U16(uint16_t v)
    {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void U32(uint32_t v)
    {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v)
    {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    void Raw(const void* p, size_t n)
    {
        const auto* c = static_cast<const uint8_t*>(p);
        b.insert(b.end(), c, c + n);
    }
    void Text(const char* s, size_t n)
    {
        // Exactly n bytes: the text, then zero bytes.
        const size_t len = std::min(std::strlen(s), n);
        Raw(s, len);
        for (size_t i = len; i < n; ++i) U8(0);
    }
    void Zeros(size_t n) { b.insert(b.end(), n, 0); }
    void PutU32At(size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

// Writes one level; one member per section of the file.
class TLevelWriter {
public:
    TLevelWriter(const TLevelDesc& d, TLevelLayout& layout) : d_(d), code_(d.version_code), layout_(layout) {}

    std::vector<uint8_t> Write();

private:
    void Mark(const std::string& name) { layout_.at[name] = out_->Size(); }

    void WriteTextileChunks(TBytes& file);
    void WriteChunk(TBytes& file, int index, const std::vector<uint8_t>& data);
    void WriteLevelData();
    void WriteRooms();
    void WriteRoom(size_t index, const TRoomDesc& r);
    void WriteTrcRooms();
    void WriteTrcRoom(size_t index, const TRoomDesc& r);
    void WriteVertex(const troom_vertex_long& v);
    void WriteRectangle(const troom_rectangle& r);
    void WriteTriangle(const troom_triangle& t);
    void WriteTrcVertex(const ttrc_vertex& v);
    void WriteTrcRectangle(const ttrc_rectangle& r);
    void WriteTrcTriangle(const ttrc_triangle& t);
    void WritePortal(const troom_portal& p);
    void WriteSector(const troom_sector& s);
    void WriteRoomLights(const TRoomDesc& r);
    void WriteRoomStatics(const TRoomDesc& r);
    void WriteMeshSections();
    void WriteAnimations();
    void WriteMoveables();
    void WriteStaticMeshes();
    void WriteObjectTextures();
    void WriteSprites();
    void WriteCameras();
    void WriteSoundSources();
    void WriteBoxes();
    void WriteZones();
    void WriteAnimatedTextures();
    void WriteItems();
    void WriteCinematics();
    void WriteDemoAndSounds();
    void WriteSampleIndices();
    void WritePalette() { out_->Raw(d_.palette.data(), sizeof d_.palette); }

    template <class T, class F>
    void WriteCounted(const char* name, const std::vector<T>& v, F each)
    {
        Mark(name);
        out_->U32(static_cast<uint32_t>(v.size()));
        for (const T& e : v) each(e);
    }

    const TLevelDesc& d_;
    const int code_;
    TLevelLayout& layout_;
    TBytes* out_ = nullptr;  // the stream the reader parses
};

std::vector<uint8_t> TLevelWriter::Write()
{
    TBytes file;
    file.U32(d_.version_word ? d_.version_word : LevelVersionWord(code_));
    out_ = &file;

    if (code_ >= LEVEL_TR4) WriteTextileChunks(file);

    if (code_ == LEVEL_TR4) {
        // The level data is one compressed block, followed by the samples.
        TBytes block;
        out_ = &block;
        WriteLevelData();
        layout_.parsed_end = block.Size();
        if (d_.patch) d_.patch(block.b, layout_);
        const std::vector<uint8_t> packed = ZlibCompress(block.b, 6);
        file.U32(static_cast<uint32_t>(block.Size()));
        file.U32(static_cast<uint32_t>(packed.size()));
        layout_.chunk_data[3] = file.Size();
        layout_.chunk_size[3] = packed.size();
        file.Raw(packed.data(), packed.size());
        file.U32(d_.num_samples);
        file.Raw(d_.sample_data.data(), d_.sample_data.size());
        layout_.file_size = file.Size();
        return std::move(file.b);
    }

    if (code_ == LEVEL_TRC) {
        file.Raw(d_.trc_header.data(), d_.trc_header.size());
        Mark("trc_level_size");
        const size_t sizeAt = file.Size();
        file.U32(0);
        file.U32(d_.trc_level_size2);
        const size_t levelStart = file.Size();
        WriteLevelData();
        layout_.parsed_end = file.Size();
        file.PutU32At(sizeAt, static_cast<uint32_t>(file.Size() - levelStart));
        Mark("samples");
        file.U32(d_.num_samples);
        file.Raw(d_.sample_data.data(), d_.sample_data.size());
    } else {
        if (code_ >= LEVEL_TR2) {
            WritePalette();
            file.Raw(d_.palette16.data(), sizeof d_.palette16);
        }
        Mark("textiles");
        file.U32(d_.num_textiles);
        file.Raw(d_.textile8.data(), d_.textile8.size());
        if (code_ >= LEVEL_TR2) file.Raw(d_.textile16.data(), d_.textile16.size());
        WriteLevelData();
        layout_.parsed_end = file.Size();
    }
    if (d_.patch) d_.patch(file.b, layout_);
    layout_.file_size = file.Size();
    return std::move(file.b);
}

void TLevelWriter::WriteTextileChunks(TBytes& file)
{
    file.U16(d_.num_room_textiles);
    file.U16(d_.num_object_textiles);
    file.U16(d_.num_bump_textiles);
    WriteChunk(file, 0, d_.textile32);
    WriteChunk(file, 1, d_.textile16);
    WriteChunk(file, 2, d_.textile_misc);
}

void TLevelWriter::WriteChunk(TBytes& file, int index, const std::vector<uint8_t>& data)
{
    const std::vector<uint8_t> packed = ZlibCompress(data, 6);
    file.U32(static_cast<uint32_t>(data.size()));
    file.U32(static_cast<uint32_t>(packed.size()));
    layout_.chunk_data[index] = file.Size();
    layout_.chunk_size[index] = packed.size();
    file.Raw(packed.data(), packed.size());
}

void TLevelWriter::WriteLevelData()
{
    if (code_ == LEVEL_TRC)
        WriteTrcRooms();
    else
        WriteRooms();
    WriteMeshSections();
    WriteAnimations();
    WriteCounted("state_changes", d_.state_changes, [&](const tstate_change& s) {
        out_->U16(s.state_id);
        out_->U16(s.num_dispatches);
        out_->U16(s.dispatch_offset);
    });
    WriteCounted("anim_dispatches", d_.anim_dispatches, [&](const tanim_dispatch& a) {
        out_->I16(a.low);
        out_->I16(a.high);
        out_->I16(a.next_animation);
        out_->I16(a.next_frame);
    });
    WriteCounted("anim_commands", d_.anim_commands, [&](uint16_t w) { out_->U16(w); });
    WriteCounted("mesh_trees", d_.mesh_trees, [&](int32_t w) { out_->I32(w); });
    WriteCounted("frames", d_.frames, [&](int16_t w) { out_->I16(w); });
    WriteMoveables();
    WriteStaticMeshes();
    if (code_ <= LEVEL_TR2_TRG) WriteObjectTextures();
    WriteSprites();
    if (code_ == LEVEL_TR1_TUB) WritePalette();
    WriteCameras();
    WriteSoundSources();
    WriteBoxes();
    WriteZones();
    WriteAnimatedTextures();
    if (code_ >= LEVEL_TR4) out_->Text("TEX", code_ == LEVEL_TR4 ? 4 : 5);
    if (code_ >= LEVEL_TR3) WriteObjectTextures();
    WriteItems();
    if (code_ <= LEVEL_TR3) out_->Raw(d_.light_map.data(), d_.light_map.size());
    if (code_ == LEVEL_TR1) WritePalette();
    WriteCinematics();
    WriteDemoAndSounds();
    WriteSampleIndices();
}

void TLevelWriter::WriteRooms()
{
    Mark("rooms_unused");
    out_->U32(d_.rooms_unused);
    Mark("rooms");
    out_->U16(static_cast<uint16_t>(d_.rooms.size()));
    for (size_t i = 0; i < d_.rooms.size(); ++i) WriteRoom(i, d_.rooms[i]);
}

void TLevelWriter::WriteVertex(const troom_vertex_long& v)
{
    out_->I16(v.x);
    out_->I16(v.y);
    out_->I16(v.z);
    out_->I16(v.light);
    if (code_ >= LEVEL_TR2) {
        out_->U16(v.attributes);
        out_->U16(v.colour);
    }
}

void TLevelWriter::WriteRectangle(const troom_rectangle& r)
{
    for (size_t i = 0; i < 4; ++i) out_->U16(r.vertices[i]);
    out_->U16(r.texture);
}

void TLevelWriter::WriteTriangle(const troom_triangle& t)
{
    for (size_t i = 0; i < 3; ++i) out_->U16(t.vertices[i]);
    out_->U16(t.texture);
}

void TLevelWriter::WritePortal(const troom_portal& p)
{
    out_->U16(p.adjoining_room);
    out_->I16(p.normal.x);
    out_->I16(p.normal.y);
    out_->I16(p.normal.z);
    for (const tvertex16& v : p.vertices) {
        out_->I16(v.x);
        out_->I16(v.y);
        out_->I16(v.z);
    }
}

void TLevelWriter::WriteSector(const troom_sector& s)
{
    out_->U16(s.floor_data_index);
    out_->U16(s.box_index);
    out_->U8(s.room_below);
    out_->U8(static_cast<uint8_t>(s.floor));
    out_->U8(s.room_above);
    out_->U8(static_cast<uint8_t>(s.ceiling));
}

void TLevelWriter::WriteRoomLights(const TRoomDesc& r)
{
    if (code_ <= LEVEL_TR1_TUB) {
        out_->U16(static_cast<uint16_t>(r.lights_tr1.size()));
        for (const troom_light_tr1& l : r.lights_tr1) {
            out_->I32(l.x);
            out_->I32(l.y);
            out_->I32(l.z);
            out_->U16(l.intensity);
            out_->U32(l.fade);
        }
    } else if (code_ <= LEVEL_TR3) {
        out_->U16(static_cast<uint16_t>(r.lights_tr2.size()));
        for (const troom_light_tr2& l : r.lights_tr2) {
            out_->I32(l.x);
            out_->I32(l.y);
            out_->I32(l.z);
            out_->U16(l.intensity1);
            out_->U16(l.intensity2);
            out_->U32(l.fade1);
            out_->U32(l.fade2);
        }
    } else {
        out_->U16(static_cast<uint16_t>(r.lights_tr4.size()));
        for (const troom_light_tr4& l : r.lights_tr4) {
            out_->I32(l.x);
            out_->I32(l.y);
            out_->I32(l.z);
            out_->U8(l.red);
            out_->U8(l.green);
            out_->U8(l.blue);
            out_->U8(l.light_type);
            out_->U8(l.unknown);
            out_->U8(l.intensity);
            for (float f : {l.in, l.out, l.length, l.cutoff, l.dx, l.dy, l.dz}) out_->F32(f);
        }
    }
}

void TLevelWriter::WriteRoomStatics(const TRoomDesc& r)
{
    if (code_ <= LEVEL_TR1_TUB) {
        out_->U16(static_cast<uint16_t>(r.statics_tr1.size()));
        for (const troom_static_tr1& s : r.statics_tr1) {
            out_->I32(s.x);
            out_->I32(s.y);
            out_->I32(s.z);
            out_->U16(s.rotation);
            out_->U16(s.intensity1);
            out_->U16(s.mesh_id);
        }
        return;
    }
    if (code_ != LEVEL_TRC) out_->U16(static_cast<uint16_t>(r.statics.size()));
    for (const tlevel_room_static& s : r.statics) {
        out_->I32(s.x);
        out_->I32(s.y);
        out_->I32(s.z);
        out_->U16(s.rotation);
        out_->U16(s.intensity1);
        out_->U16(s.intensity2);
        out_->U16(s.mesh_id);
    }
}

void TLevelWriter::WriteRoom(size_t index, const TRoomDesc& r)
{
    const std::string room = "room." + std::to_string(index);
    Mark(room);
    out_->I32(r.x);
    out_->I32(r.z);
    out_->I32(r.y_bottom);
    out_->I32(r.y_top);
    out_->U32(r.num_data_words);
    Mark(room + ".vertices");
    out_->U16(static_cast<uint16_t>(r.vertices.size()));
    for (const auto& v : r.vertices) WriteVertex(v);
    Mark(room + ".rectangles");
    out_->U16(static_cast<uint16_t>(r.rectangles.size()));
    for (const auto& q : r.rectangles) WriteRectangle(q);
    Mark(room + ".triangles");
    out_->U16(static_cast<uint16_t>(r.triangles.size()));
    for (const auto& t : r.triangles) WriteTriangle(t);
    Mark(room + ".sprites");
    out_->U16(static_cast<uint16_t>(r.sprites.size()));
    for (const auto& s : r.sprites) {
        out_->I16(s.vertex);
        out_->I16(s.texture);
    }
    Mark(room + ".portals");
    out_->U16(static_cast<uint16_t>(r.portals.size()));
    for (const auto& p : r.portals) WritePortal(p);
    Mark(room + ".sectors");
    out_->U16(r.num_z_sectors);
    out_->U16(r.num_x_sectors);
    for (const auto& s : r.sectors) WriteSector(s);
    out_->U16(r.ambient);
    if (code_ >= LEVEL_TR2) out_->U16(r.ambient2);
    if (code_ == LEVEL_TR2 || code_ == LEVEL_TR2_TRG) out_->U16(r.light_mode);
    Mark(room + ".lights");
    WriteRoomLights(r);
    Mark(room + ".statics");
    WriteRoomStatics(r);
    out_->I16(r.alternate_room);
    out_->U16(r.flags);
    if (code_ == LEVEL_TR3 || code_ == LEVEL_TR4) {
        out_->U16(r.water_scheme);
        out_->U8(r.filler);
    }
}

void TLevelWriter::WriteTrcRooms()
{
    Mark("rooms_unused");
    out_->U32(d_.rooms_unused);
    Mark("rooms");
    out_->U32(static_cast<uint32_t>(d_.rooms.size()));
    for (size_t i = 0; i < d_.rooms.size(); ++i) WriteTrcRoom(i, d_.rooms[i]);
}

void TLevelWriter::WriteTrcVertex(const ttrc_vertex& v)
{
    for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz}) out_->F32(f);
    out_->U8(v.blue);
    out_->U8(v.green);
    out_->U8(v.red);
    out_->U8(v.alpha);
}

void TLevelWriter::WriteTrcRectangle(const ttrc_rectangle& r)
{
    for (size_t i = 0; i < 4; ++i) out_->U16(r.vertices[i]);
    out_->U16(r.texture);
    out_->U16(r.flags);
}

void TLevelWriter::WriteTrcTriangle(const ttrc_triangle& t)
{
    for (size_t i = 0; i < 3; ++i) out_->U16(t.vertices[i]);
    out_->U16(t.texture);
    out_->U16(t.flags);
}

void TLevelWriter::WriteTrcRoom(size_t index, const TRoomDesc& r)
{
    const std::string room = "room." + std::to_string(index);
    Mark(room);
    out_->Text("XELA", 4);
    Mark(room + ".size");
    const size_t sizeAt = out_->Size();
    out_->U32(0);
    const size_t start = out_->Size();

    const ttrc_room_header h = TrcRoomHeader(r);
    Mark(room + ".header");
    // Word by word, in the order of the header.
    out_->U32(h.word0);
    for (size_t i = 0; i < 4; ++i) out_->U32(h.offsets[i]);
    out_->I32(h.x);
    out_->U32(h.word24);
    out_->I32(h.z);
    out_->I32(h.y_bottom);
    out_->I32(h.y_top);
    out_->U16(h.num_z_sectors);
    out_->U16(h.num_x_sectors);
    out_->U32(h.room_colour);
    out_->U16(h.num_lights);
    out_->U16(h.num_statics);
    for (size_t i = 0; i < 3; ++i) out_->U32(h.words52[i]);
    for (size_t i = 0; i < 2; ++i) out_->U32(h.skipped64[i]);
    out_->Raw(h.skipped72, sizeof h.skipped72);
    out_->Raw(h.flags, 2);
    out_->U16(h.word80);
    out_->Raw(h.skipped82, sizeof h.skipped82);
    out_->U32(h.skipped92);
    out_->Raw(h.bytes96, sizeof h.bytes96);
    for (size_t i = 0; i < 4; ++i) out_->U32(h.skipped112[i]);
    out_->U32(h.word128);
    out_->U32(h.skipped132);
    for (size_t i = 0; i < 5; ++i) out_->U32(h.words136[i]);
    out_->U32(h.num_records);
    out_->U32(h.word160);
    out_->U32(h.word164);
    out_->U32(h.num_layers);
    for (size_t i = 0; i < 5; ++i) out_->U32(h.words172[i]);
    for (size_t i = 0; i < 4; ++i) out_->U32(h.skipped192[i]);

    for (const auto& l : r.lights_trc) out_->Raw(l.data, sizeof l.data);
    for (const auto& rec : r.trc_records) out_->Raw(rec.data, sizeof rec.data);
    for (const auto& s : r.sectors) WriteSector(s);
    Mark(room + ".portals");
    out_->U16(static_cast<uint16_t>(r.portals.size()));
    for (const auto& p : r.portals) WritePortal(p);
    out_->U16(0xCDCD);
    WriteRoomStatics(r);

    Mark(room + ".layers");
    size_t triangles = 0;
    for (const auto& l : r.layers) {
        out_->U32(static_cast<uint32_t>(l.vertices.size()));
        out_->U16(l.word4);
        out_->U16(static_cast<uint16_t>(l.rectangles.size()));
        out_->U16(static_cast<uint16_t>(l.triangles.size()));
        out_->Raw(l.rest.data(), l.rest.size());
        triangles += l.triangles.size();
    }
    for (const auto& l : r.layers) {
        for (const auto& q : l.rectangles) WriteTrcRectangle(q);
        for (const auto& t : l.triangles) WriteTrcTriangle(t);
    }
    if (triangles % 2) out_->U16(0xCDCD);
    for (const auto& l : r.layers)
        for (const auto& v : l.vertices) WriteTrcVertex(v);
    out_->Raw(r.trc_tail.data(), r.trc_tail.size());
    out_->PutU32At(sizeAt, static_cast<uint32_t>(out_->Size() - start));
}

void TLevelWriter::WriteMeshSections()
{
    WriteCounted("floor_data", d_.floor_data, [&](uint16_t w) { out_->U16(w); });
    WriteCounted("mesh_data", d_.mesh_data, [&](uint16_t w) { out_->U16(w); });
    WriteCounted("mesh_pointers", d_.mesh_pointers, [&](uint32_t w) { out_->U32(w); });
}

void TLevelWriter::WriteAnimations()
{
    WriteCounted("animations", d_.animations, [&](const tanimation& a) {
        out_->I32(a.frame_offset);
        out_->U8(a.frame_rate);
        out_->U8(a.frame_size);
        out_->U16(a.state_id);
        out_->I32(a.speed);
        out_->I32(a.accel);
        if (code_ >= LEVEL_TR4) {
            out_->I32(a.speed_lateral);
            out_->I32(a.accel_lateral);
        }
        out_->U16(a.frame_start);
        out_->U16(a.frame_end);
        out_->U16(a.next_animation);
        out_->U16(a.next_frame);
        out_->U16(a.num_state_changes);
        out_->U16(a.state_change_offset);
        out_->U16(a.num_anim_commands);
        out_->U16(a.anim_command_offset);
    });
}

void TLevelWriter::WriteMoveables()
{
    WriteCounted("moveables", d_.moveables, [&](const tmoveable& m) {
        out_->U32(m.object_id);
        out_->U16(m.num_meshes);
        out_->U16(m.starting_mesh);
        out_->U32(m.mesh_tree);
        out_->U32(m.frame_offset);
        out_->I16(m.animation);
        if (code_ == LEVEL_TRC) out_->U16(m.trc_filler);
    });
}

void TLevelWriter::WriteStaticMeshes()
{
    WriteCounted("static_meshes", d_.static_meshes, [&](const tstatic_mesh& s) {
        out_->U32(s.object_id);
        out_->U16(s.mesh);
        for (const tbounding_box* b : {&s.visibility, &s.collision})
            for (int16_t v : {b->min_x, b->max_x, b->min_y, b->max_y, b->min_z, b->max_z}) out_->I16(v);
        out_->U16(s.flags);
    });
}

void TLevelWriter::WriteObjectTextures()
{
    WriteCounted("object_textures", d_.object_textures, [&](const tobject_texture& t) {
        out_->U16(t.attribute);
        out_->U16(t.tile);
        if (code_ >= LEVEL_TR4) out_->U16(t.flags);
        for (const auto& c : t.corners) {
            out_->U8(c.xcoordinate);
            out_->U8(c.xpixel);
            out_->U8(c.ycoordinate);
            out_->U8(c.ypixel);
        }
        if (code_ >= LEVEL_TR4)
            for (size_t i = 0; i < 4; ++i) out_->U32(t.extra[i]);
        if (code_ == LEVEL_TRC) out_->U16(t.trc_word);
    });
}

void TLevelWriter::WriteSprites()
{
    if (code_ >= LEVEL_TR4) out_->Text("SPR", code_ == LEVEL_TR4 ? 3 : 4);
    WriteCounted("sprite_textures", d_.sprite_textures, [&](const tsprite_texture& s) {
        out_->U16(s.tile);
        out_->U8(s.x);
        out_->U8(s.y);
        out_->U16(s.width);
        out_->U16(s.height);
        out_->I16(s.left);
        out_->I16(s.top);
        out_->I16(s.right);
        out_->I16(s.bottom);
    });
    WriteCounted("sprite_sequences", d_.sprite_sequences, [&](const tsprite_sequence& s) {
        out_->I32(s.object_id);
        out_->I16(s.negative_length);
        out_->I16(s.offset);
    });
}

void TLevelWriter::WriteCameras()
{
    WriteCounted("cameras", d_.cameras, [&](const tlevel_camera& c) {
        out_->I32(c.x);
        out_->I32(c.y);
        out_->I32(c.z);
        out_->I16(c.room);
        out_->U16(c.flags);
    });
    if (code_ < LEVEL_TR4) return;
    WriteCounted("flyby_cameras", d_.flyby_cameras, [&](const tlevel_flyby_camera& c) {
        for (int32_t v : {c.x, c.y, c.z, c.dx, c.dy, c.dz}) out_->I32(v);
        out_->U8(c.sequence);
        out_->U8(c.index);
        out_->U16(c.fov);
        out_->I16(c.roll);
        out_->U16(c.timer);
        out_->U16(c.speed);
        out_->U16(c.flags);
        out_->U32(c.room);
    });
}

void TLevelWriter::WriteSoundSources()
{
    WriteCounted("sound_sources", d_.sound_sources, [&](const tlevel_sound_source& s) {
        out_->I32(s.x);
        out_->I32(s.y);
        out_->I32(s.z);
        out_->U16(s.sound_id);
        out_->U16(s.flags);
    });
}

void TLevelWriter::WriteBoxes()
{
    if (code_ <= LEVEL_TR1_TUB) {
        WriteCounted("boxes", d_.boxes_tr1, [&](const tbox_tr1& b) {
            for (int32_t v : {b.z_min, b.z_max, b.x_min, b.x_max}) out_->I32(v);
            out_->I16(b.true_floor);
            out_->I16(b.overlap_index);
        });
    } else {
        WriteCounted("boxes", d_.boxes, [&](const tbox& b) {
            for (uint8_t v : {b.z_min, b.z_max, b.x_min, b.x_max}) out_->U8(v);
            out_->I16(b.true_floor);
            out_->I16(b.overlap_index);
        });
    }
    WriteCounted("overlaps", d_.overlaps, [&](uint16_t w) { out_->U16(w); });
}

void TLevelWriter::WriteZones()
{
    Mark("zones");
    const size_t boxes = code_ <= LEVEL_TR1_TUB ? d_.boxes_tr1.size() : d_.boxes.size();
    static constexpr int kTr1[] = {0, 1, 4, 5, 6, 9};
    const int arrays = code_ <= LEVEL_TR1_TUB ? 6 : 10;
    for (int i = 0; i < arrays; ++i) {
        const auto& zone = d_.zones[code_ <= LEVEL_TR1_TUB ? kTr1[i] : i];
        for (size_t j = 0; j < boxes; ++j) out_->U16(j < zone.size() ? zone[j] : 0);
    }
}

void TLevelWriter::WriteAnimatedTextures()
{
    WriteCounted("animated_textures", d_.animated_textures, [&](uint16_t w) { out_->U16(w); });
}

void TLevelWriter::WriteItems()
{
    if (code_ <= LEVEL_TR1_TUB) {
        WriteCounted("items", d_.items_tr1, [&](const titem_tr1& i) {
            out_->I16(i.id);
            out_->I16(i.room);
            out_->I32(i.x);
            out_->I32(i.y);
            out_->I32(i.z);
            out_->U16(i.angle);
            out_->U8(i.intensity1);
            out_->U8(i.intensity2);
            out_->U16(i.flags);
        });
    } else {
        WriteCounted("items", d_.items, [&](const tlevel_item& i) {
            out_->I16(i.id);
            out_->I16(i.room);
            out_->I32(i.x);
            out_->I32(i.y);
            out_->I32(i.z);
            out_->U16(i.angle);
            out_->U16(i.intensity1);
            out_->U16(i.intensity2);
            out_->U16(i.flags);
        });
    }
}

void TLevelWriter::WriteCinematics()
{
    Mark("cinematic_frames");
    if (code_ >= LEVEL_TR4) {
        out_->U32(static_cast<uint32_t>(d_.ai_objects.size()));
        for (const tai_object& a : d_.ai_objects) {
            out_->U16(a.object_id);
            out_->U16(a.room);
            out_->I32(a.x);
            out_->I32(a.y);
            out_->I32(a.z);
            out_->U16(a.ocb);
            out_->U16(a.flags);
            out_->I32(a.angle);
        }
    } else {
        out_->U16(static_cast<uint16_t>(d_.cinematic_frames.size()));
        for (const tcinematic_frame& c : d_.cinematic_frames)
            for (int16_t v : {c.target_x, c.target_y, c.target_z, c.x, c.y, c.z, c.fov, c.roll}) out_->I16(v);
    }
}

void TLevelWriter::WriteDemoAndSounds()
{
    Mark("demo_data");
    out_->U16(static_cast<uint16_t>(d_.demo_data.size()));
    out_->Raw(d_.demo_data.data(), d_.demo_data.size());
    const size_t words = code_ <= LEVEL_TR1_TUB ? 256 : (code_ == LEVEL_TRC ? 450 : 370);
    for (size_t i = 0; i < words; ++i) out_->I16(d_.sound_map[i]);
    WriteCounted("sound_details", d_.sound_details, [&](const tsound_detail& s) {
        out_->U16(s.sample);
        out_->U16(s.volume);
        out_->U16(s.chance);
        out_->U16(s.characteristics);
    });
    if (code_ <= LEVEL_TR1_TUB) {
        Mark("samples");
        out_->U32(static_cast<uint32_t>(d_.sample_data.size()));
        out_->Raw(d_.sample_data.data(), d_.sample_data.size());
    }
}

void TLevelWriter::WriteSampleIndices()
{
    WriteCounted("sample_indices", d_.sample_indices, [&](uint32_t w) { out_->U32(w); });
}

// A small deterministic generator of varied content.
class TRandom {
public:
    explicit TRandom(uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
    uint32_t Next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int Range(int lo, int hi) { return lo + static_cast<int>(Next() % uint32_t(hi - lo + 1)); }
    uint8_t Byte() { return static_cast<uint8_t>(Next()); }
    uint16_t Word() { return static_cast<uint16_t>(Next()); }
    int16_t Short() { return static_cast<int16_t>(Next()); }
    uint32_t Long() { return (Next() << 16) ^ Next(); }
    // Any record: random bytes.
    template <class T>
    void Fill(T& record)
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

// Texture-like pixels: smooth gradients with a little noise, so that they
// compress about as well as real texture pages.
std::vector<uint8_t> TexturePixels(size_t bytes, TRandom& rnd)
{
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i) {
        const size_t x = i % 512, y = (i / 512) % 256;
        v[i] = static_cast<uint8_t>((x / 8) ^ (y / 4)) + ((rnd.Next() & 7) == 0 ? rnd.Byte() % 4 : 0);
    }
    return v;
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
        if (code <= LEVEL_TR3)
            r.lights_tr2 = rnd.Records<troom_light_tr2>(size.lights);
        else if (code == LEVEL_TR4)
            r.lights_tr4 = rnd.Records<troom_light_tr4>(size.lights);
        else
            r.lights_trc = rnd.Records<troom_light_trc>(size.lights);
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
            for (int i = 0; i < size.rectangles; ++i) {
                ttrc_rectangle q;
                rnd.Fill(q);
                for (auto& v : q.vertices) v = static_cast<uint16_t>(rnd.Range(0, size.vertices - 1));
                layer.rectangles.push_back(q);
            }
            for (int i = 0; i < size.triangles; ++i) {
                ttrc_triangle t;
                rnd.Fill(t);
                for (auto& v : t.vertices) v = static_cast<uint16_t>(rnd.Range(0, size.vertices - 1));
                layer.triangles.push_back(t);
            }
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
        troom_rectangle q;
        for (auto& v : q.vertices) v = static_cast<uint16_t>(rnd.Range(0, size.vertices - 1));
        q.texture = rnd.Word();
        r.rectangles.push_back(q);
    }
    for (int i = 0; i < size.triangles; ++i) {
        troom_triangle t;
        for (auto& v : t.vertices) v = static_cast<uint16_t>(rnd.Range(0, size.vertices - 1));
        t.texture = rnd.Word();
        r.triangles.push_back(t);
    }
    for (int i = 0; i < size.sprites; ++i) {
        troom_sprite s;
        s.vertex = static_cast<int16_t>(rnd.Range(0, size.vertices - 1));
        s.texture = rnd.Short();
        r.sprites.push_back(s);
    }
    return r;
}

}  // namespace

ttrc_room_header TrcRoomHeader(const TRoomDesc& r)
{
    ttrc_room_header h = r.trc_header;
    h.x = r.x;
    h.z = r.z;
    h.y_bottom = r.y_bottom;
    h.y_top = r.y_top;
    h.num_z_sectors = r.num_z_sectors;
    h.num_x_sectors = r.num_x_sectors;
    h.num_lights = static_cast<uint16_t>(r.lights_trc.size());
    h.num_statics = static_cast<uint16_t>(r.statics.size());
    h.flags[0] = static_cast<uint8_t>(r.flags);
    h.flags[1] = static_cast<uint8_t>(r.flags >> 8);
    h.num_records = static_cast<uint32_t>(r.trc_records.size());
    h.num_layers = static_cast<uint32_t>(r.layers.size());
    return h;
}

uint32_t LevelVersionWord(int versionCode)
{
    switch (versionCode) {
    case LEVEL_TR1:
    case LEVEL_TR1_TUB:
        return 0x00000020;
    case LEVEL_TR2:
    case LEVEL_TR2_TRG:
        return 0x0000002D;
    case LEVEL_TR3:
        return 0xFF180038;
    default:
        return 0x00345254;
    }
}

std::vector<uint8_t> WriteLevelFile(const TLevelDesc& desc, TLevelLayout* layout)
{
    TLevelLayout local;
    TLevelWriter writer(desc, layout ? *layout : local);
    return writer.Write();
}

std::string LevelFileExtension(int versionCode)
{
    switch (versionCode) {
    case LEVEL_TR1_TUB: return ".tub";
    case LEVEL_TR2_TRG: return ".trg";
    case LEVEL_TR4: return ".tr4";
    case LEVEL_TRC: return ".trc";
    default: return ".phd";
    }
}

void SaveLevelFile(const std::string& fileName, const TLevelDesc& desc, TLevelLayout* layout)
{
    const std::vector<uint8_t> bytes = WriteLevelFile(desc, layout);
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + fileName);
}

TLevelDesc MakeSampleLevel(int code, const TSampleLevelSize& size)
{
    TRandom rnd(size.seed + 977u * static_cast<uint32_t>(code));
    TLevelDesc d;
    d.version_code = code;
    const int n = size.entries;

    if (code >= LEVEL_TR4) {
        d.num_room_textiles = static_cast<uint16_t>(size.textiles);
        d.num_object_textiles = static_cast<uint16_t>(rnd.Range(0, 3));
        d.num_bump_textiles = 0;
        d.textile32 = TexturePixels(size_t(size.textiles) * TEXTILE32_BYTES, rnd);
        d.textile16 = TexturePixels(size_t(size.textiles) * TEXTILE16_BYTES, rnd);
        d.textile_misc = TexturePixels(size.textiles > 0 ? TEXTILE32_BYTES : 0, rnd);
        d.num_samples = static_cast<uint32_t>(n);
    } else {
        d.num_textiles = static_cast<uint32_t>(size.textiles);
        d.textile8 = TexturePixels(size_t(size.textiles) * TEXTILE8_BYTES, rnd);
        if (code >= LEVEL_TR2) d.textile16 = TexturePixels(size_t(size.textiles) * TEXTILE16_BYTES, rnd);
    }
    for (auto& p : d.palette) p = tpalette_entry{uint8_t(rnd.Byte() & 63), uint8_t(rnd.Byte() & 63), uint8_t(rnd.Byte() & 63)};
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
    // Two animated ranges over the object textures: {0, 1} and {2, 3, 4}.
    d.animated_textures = {2, 1, 0, 1, 2, 2, 3, 4};
    d.sprite_textures = rnd.Records<tsprite_texture>(n);
    d.sprite_sequences = rnd.Records<tsprite_sequence>(n);
    d.cameras = rnd.Records<tlevel_camera>(n);
    if (code >= LEVEL_TR4) d.flyby_cameras = rnd.Records<tlevel_flyby_camera>(n);
    d.sound_sources = rnd.Records<tlevel_sound_source>(n);
    if (code <= LEVEL_TR1_TUB)
        d.boxes_tr1 = rnd.Records<tbox_tr1>(n);
    else
        d.boxes = rnd.Records<tbox>(n);
    d.overlaps = rnd.Records<uint16_t>(n * 2);
    static constexpr int kTr1[] = {0, 1, 4, 5, 6, 9};
    for (int z = 0; z < 10; ++z) {
        const bool carried = code > LEVEL_TR1_TUB || std::find(std::begin(kTr1), std::end(kTr1), z) != std::end(kTr1);
        d.zones[z] = carried ? rnd.Records<uint16_t>(n) : std::vector<uint16_t>(size_t(n), 0);
    }
    if (code <= LEVEL_TR1_TUB)
        d.items_tr1 = rnd.Records<titem_tr1>(n);
    else
        d.items = rnd.Records<tlevel_item>(n);
    if (code <= LEVEL_TR3)
        for (auto& b : d.light_map) b = rnd.Byte();
    if (code >= LEVEL_TR4)
        d.ai_objects = rnd.Records<tai_object>(n);
    else
        d.cinematic_frames = rnd.Records<tcinematic_frame>(n);
    d.demo_data = rnd.Records<uint8_t>(n * 5);
    const size_t soundWords = code <= LEVEL_TR1_TUB ? 256 : (code == LEVEL_TRC ? 450 : 370);
    for (size_t i = 0; i < soundWords; ++i) d.sound_map[i] = rnd.Short();
    d.sound_details = rnd.Records<tsound_detail>(n);
    // TR2 and TR3 files keep their samples elsewhere.
    if (code <= LEVEL_TR1_TUB || code >= LEVEL_TR4) d.sample_data = rnd.Records<uint8_t>(n * 33);
    d.sample_indices = rnd.Records<uint32_t>(n);
    return d;
}

// ---- Meshes, mesh trees, animations and frames ----

std::vector<uint16_t> EncodeMesh(const TMeshDesc& m, int code)
{
    const bool newLayout = code >= LEVEL_TR4;
    std::vector<uint16_t> w;
    auto put = [&](int v) { w.push_back(static_cast<uint16_t>(v)); };
    for (int16_t c : m.centre) put(c);
    put(static_cast<uint16_t>(uint32_t(m.radius)));
    put(static_cast<uint16_t>(uint32_t(m.radius) >> 16));
    put(static_cast<int>(m.vertices.size()));
    for (const tvertex16& v : m.vertices) {
        put(v.x);
        put(v.y);
        put(v.z);
    }
    if (m.shades.empty()) {
        put(static_cast<int>(m.normals.size()));
        for (const tvertex16& n : m.normals) {
            put(n.x);
            put(n.y);
            put(n.z);
        }
    } else {
        put(-static_cast<int>(m.shades.size()));
        for (uint16_t s : m.shades) put(s);
    }
    auto faces = [&](const std::vector<TMeshFaceDesc>& list, int corners, bool effects) {
        put(static_cast<int>(list.size()));
        for (const TMeshFaceDesc& f : list) {
            for (int c = 0; c < corners; ++c) put(f.vertices[size_t(c)]);
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
        const int16_t x = (i & 1) ? half : int16_t(-half);
        const int16_t y = (i & 2) ? half : int16_t(-half);
        const int16_t z = (i & 4) ? half : int16_t(-half);
        m.vertices.push_back({x, y, z});
        if (shadeStep >= 0)
            m.shades.push_back(static_cast<uint16_t>(i * shadeStep));
        else
            m.normals.push_back({int16_t(x / half * 16300), int16_t(y / half * 16300), int16_t(z / half * 16300)});
    }
    static constexpr uint16_t kFaces[6][4] = {{4, 5, 7, 6}, {0, 2, 3, 1}, {1, 3, 7, 5},
                                              {0, 4, 6, 2}, {2, 6, 7, 3}, {0, 1, 5, 4}};
    for (const auto& f : kFaces) {
        TMeshFaceDesc face;
        for (int c = 0; c < 4; ++c) face.vertices[size_t(c)] = f[c];
        face.texture = texture;
        m.textured_quads.push_back(face);
    }
    return m;
}

std::vector<int16_t> EncodeFrame(const TFrameDesc& frame, int code)
{
    const bool oldFrames = code == LEVEL_TR1 || code == LEVEL_TR1_TUB;
    std::vector<int16_t> w = {frame.box.min_x, frame.box.max_x, frame.box.min_y, frame.box.max_y,
                              frame.box.min_z, frame.box.max_z, frame.offset[0],  frame.offset[1],
                              frame.offset[2]};
    if (oldFrames) w.push_back(static_cast<int16_t>(frame.rotations.size()));
    for (TFrameRotation r : frame.rotations) {
        if (r.axis != TFrameRotation::kXYZ && oldFrames) {
            // One-axis rotations do not exist in these files: three angles instead.
            TFrameRotation three;
            if (r.axis == TFrameRotation::kX) three.x = r.x;
            if (r.axis == TFrameRotation::kY) three.y = r.y;
            if (r.axis == TFrameRotation::kZ) three.z = r.z;
            r = three;
        }
        if (r.axis == TFrameRotation::kXYZ) {
            const uint32_t value = (uint32_t(r.x & 0x3FF) << 20) | (uint32_t(r.y & 0x3FF) << 10) | (r.z & 0x3FF);
            const uint16_t high = static_cast<uint16_t>(value >> 16), low = static_cast<uint16_t>(value);
            w.push_back(static_cast<int16_t>(oldFrames ? low : high));
            w.push_back(static_cast<int16_t>(oldFrames ? high : low));
        } else {
            const uint16_t axis = r.axis == TFrameRotation::kX ? 1 : r.axis == TFrameRotation::kY ? 2 : 3;
            const uint16_t angle = r.axis == TFrameRotation::kX ? r.x : r.axis == TFrameRotation::kY ? r.y : r.z;
            w.push_back(static_cast<int16_t>((axis << 14) | (angle & 0x3FFF)));
        }
    }
    return w;
}

uint32_t AddMoveable(TLevelDesc& desc, const TMoveableDesc& mv)
{
    tmoveable m{};
    m.object_id = mv.object_id;
    m.starting_mesh = static_cast<uint16_t>(desc.mesh_pointers.size());
    if (!mv.meshes.empty()) {
        for (const TMeshDesc& mesh : mv.meshes) AddMesh(desc, mesh);
        m.num_meshes = static_cast<uint16_t>(mv.meshes.size());
    } else {
        desc.mesh_pointers.insert(desc.mesh_pointers.end(), mv.mesh_offsets.begin(), mv.mesh_offsets.end());
        m.num_meshes = static_cast<uint16_t>(mv.mesh_offsets.size());
    }
    m.mesh_tree = static_cast<uint32_t>(desc.mesh_trees.size());
    for (const TMeshTreeNode& n : mv.tree) desc.mesh_trees.insert(desc.mesh_trees.end(), {n.flags, n.dx, n.dy, n.dz});

    if (mv.animations.empty()) {
        m.animation = -1;
        m.frame_offset = static_cast<uint32_t>(desc.frames.size() * 2);
    } else {
        m.animation = static_cast<int16_t>(desc.animations.size());
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
    if (code >= LEVEL_TR4) {
        d.num_room_textiles = static_cast<uint16_t>(textiles);
        d.textile32 = TexturePixels(size_t(textiles) * TEXTILE32_BYTES, rnd);
        d.textile16 = TexturePixels(size_t(textiles) * TEXTILE16_BYTES, rnd);
    } else {
        d.num_textiles = static_cast<uint32_t>(textiles);
        d.textile8 = TexturePixels(size_t(textiles) * TEXTILE8_BYTES, rnd);
        if (code >= LEVEL_TR2) d.textile16 = TexturePixels(size_t(textiles) * TEXTILE16_BYTES, rnd);
    }
    for (auto& p : d.palette) p = tpalette_entry{uint8_t(rnd.Byte() & 63), uint8_t(rnd.Byte() & 63), uint8_t(rnd.Byte() & 63)};
    for (auto& p : d.palette16) p = tpalette16_entry{rnd.Byte(), rnd.Byte(), rnd.Byte(), 0};

    // Object textures: squares of 64 pixels on the pages, walked clockwise.
    for (int i = 0; i < 8; ++i) {
        const uint8_t x0 = uint8_t((i % 4) * 64), y0 = uint8_t((i / 4) * 64), x1 = uint8_t(x0 + 63), y1 = uint8_t(y0 + 63);
        d.object_textures.push_back(MakeObjectTexture(
            static_cast<uint16_t>(i % std::max(textiles, 1)),
            {tobject_texture_corner{1, x0, 1, y0}, {255, x1, 1, y0}, {255, x1, 255, y1}, {1, x0, 255, y1}}));
    }

    for (int mv = 0; mv < moveables; ++mv) {
        TMoveableDesc desc;
        desc.object_id = static_cast<uint32_t>(mv);
        for (int k = 0; k < meshesPerMoveable; ++k) {
            TMeshDesc mesh = MakeCubeMesh(static_cast<int16_t>(rnd.Range(40, 200)), static_cast<uint16_t>(rnd.Range(0, 7)),
                                          (k % 2) ? rnd.Range(0, 900) : -1);
            // A triangle on one side, and for older files a coloured quad and triangle too.
            mesh.textured_triangles.push_back({{0, 1, 2, 0}, static_cast<uint16_t>(rnd.Range(0, 7)), 0});
            if (code < LEVEL_TR4) {
                mesh.colored_quads.push_back({{0, 2, 3, 1}, static_cast<uint16_t>(rnd.Word()), 0});
                mesh.colored_triangles.push_back({{4, 5, 7, 0}, static_cast<uint16_t>(rnd.Word()), 0});
            }
            desc.meshes.push_back(mesh);
            if (k > 0) {
                // A limb: every third node returns to the first mesh.
                const int32_t flags = (k % 3 == 1) ? 2 : (k % 3 == 0 ? 3 : 0);
                desc.tree.push_back({flags, rnd.Range(-300, 300), rnd.Range(-300, 300), rnd.Range(-300, 300)});
            }
        }
        std::vector<TFrameDesc> anim;
        for (int f = 0; f < frames; ++f) {
            TFrameDesc frame;
            frame.offset = {int16_t(rnd.Range(-100, 100)), int16_t(rnd.Range(-400, 0)), int16_t(rnd.Range(-100, 100))};
            for (int k = 0; k < meshesPerMoveable; ++k) {
                TFrameRotation r;
                const int kind = (k + f) % 4;
                r.axis = static_cast<TFrameRotation::TAxis>(code <= LEVEL_TR1_TUB ? 0 : kind);
                r.x = static_cast<uint16_t>(rnd.Range(0, 1023));
                r.y = static_cast<uint16_t>(rnd.Range(0, 1023));
                r.z = static_cast<uint16_t>(rnd.Range(0, 1023));
                frame.rotations.push_back(r);
            }
            anim.push_back(frame);
        }
        // One-axis rotations take one word: pad every frame to the longest.
        if (!anim.empty()) {
            size_t longest = 0;
            for (const TFrameDesc& f : anim) longest = std::max(longest, EncodeFrame(f, code).size());
            if (EncodeFrame(anim.front(), code).size() < longest) {
                // Make the first frame the longest by giving it three-angle rotations only.
                for (TFrameRotation& r : anim.front().rotations) r.axis = TFrameRotation::kXYZ;
            }
        }
        if (frames > 0) desc.animations.push_back(anim);
        AddMoveable(d, desc);
    }

    for (int s = 0; s < statics; ++s) {
        tstatic_mesh st{};
        st.object_id = static_cast<uint32_t>(s);
        st.mesh = static_cast<uint16_t>(AddMesh(d, MakeCubeMesh(static_cast<int16_t>(rnd.Range(100, 500)),
                                                                static_cast<uint16_t>(rnd.Range(0, 7)), 500)));
        d.static_meshes.push_back(st);
    }
    return d;
}
