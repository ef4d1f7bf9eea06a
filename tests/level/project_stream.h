// Builds the logical content of a project file by hand, field by field from
// the documented layout, without the project writer and without copying any
// record's memory, so that saved files can be checked against it and damaged
// files can be made from it.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "level/project_records.h"
#include "support/zlib_stream.h"

class TByteStream {
public:
    std::vector<uint8_t> bytes;

    void U8(unsigned v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void I8(int v) { U8(static_cast<uint8_t>(v)); }
    void U16(unsigned v)
    {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void I16(int v) { U16(static_cast<uint16_t>(v)); }
    void U32(uint32_t v)
    {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v)
    {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        U32(bits);
    }
    void Zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void Text(const std::string& s, size_t n)
    {
        U8(static_cast<unsigned>(s.size()));
        bytes.insert(bytes.end(), s.begin(), s.end());
        Zeros(n - s.size());
    }
    // A fixed text with whatever its bytes past the length hold.
    template <size_t N>
    void Text(const TShortString<N>& t)
    {
        U8(t.len);
        for (size_t i = 0; i < N; ++i) U8(static_cast<uint8_t>(t.chars[i]));
    }
    size_t size() const { return bytes.size(); }
};

inline void PutFace(TByteStream& s, const tface_texture& f)
{
    s.U16(f.textureId);
    for (const auto& corner : f.uv) {
        s.F32(corner.u);
        s.F32(corner.v);
    }
    s.U8(f.flip);
    s.U8(f.rotations);
    s.U8(f.mode);
    s.U8(f.unused[0]);
    s.U8(f.unused[1]);
}

inline void PutSector(TByteStream& s, const tsector& x)
{
    for (int v : {x.floorBase, x.floorClicks, x.floorZFall, x.floorZRise, x.floorXFall, x.floorXRise, x.ceilingBase,
                  x.ceilingClicks, x.ceilingZFall, x.ceilingZRise, x.ceilingXRise, x.ceilingXFall})
        s.I8(v);
    s.U8(x.roomAbove);
    s.U8(x.roomBeside);
    s.U8(x.roomBelow);
    for (uint8_t w : x.wallFlags) s.U8(w);
    s.U8(x.ceilingFaceFlag);
    s.U8(x.unused20);
    s.U8(x.faceFlags);
    s.U8(x.death);
    for (const auto& row : x.walls)
        for (const auto& face : row) PutFace(s, face);
    PutFace(s, x.floorFaces[0]);
    PutFace(s, x.floorFaces[1]);
    PutFace(s, x.ceilingFaces[0]);
    PutFace(s, x.ceilingFaces[1]);
    for (int i = 0; i < 6; ++i) s.F32(x.floorPieceHeights[i]);
    for (int i = 0; i < 6; ++i) s.F32(x.ceilingPieceHeights[i]);
    s.U8(x.indicator);
    s.U8(x.floorSplit);
    s.U8(x.ceilingSplit);
    s.U8(x.floorOption);
    s.U8(x.ceilingOption);
    s.U16(x.indicatorWord);
}

inline void PutItem(TByteStream& s, const titem& i)
{
    s.U32(i.correlative);
    for (int v : {i.room, i.column, i.row, i.height, i.objectId}) s.I16(v);
    s.U8(i.angle);
    for (int v : {i.fineX, i.fineY, i.fineZ}) s.I16(v);
    s.U8(i.flag);
    s.U8(i.amount);
    s.I8(i.intensity);
    s.U32(i.color);
    s.I16(i.ocb);
    s.I16(i.order);
    s.U8(i.highlight);
}

inline void PutCamera(TByteStream& s, const tcamera& c)
{
    for (int v : {c.kind, c.room, c.column, c.row, c.height}) s.I16(v);
    for (uint8_t b : c.unused) s.U8(b);
}

inline void PutFlyby(TByteStream& s, const tflyby_camera& f)
{
    s.U8(f.room);
    for (int v : {f.column, f.row, f.height, f.angle1, f.angle2}) s.I16(v);
    for (uint8_t b : f.unused) s.U8(b);
}

inline void PutSound(TByteStream& s, const tsound_source& f)
{
    s.U8(f.room);
    for (int v : {f.column, f.row, f.height}) s.I16(v);
    for (uint8_t b : f.unused) s.U8(b);
}

inline void PutTrigger(TByteStream& s, const tproject_trigger& t)
{
    s.Text(t.name);
    s.I16(t.type);
    s.U8(t.mask);
    s.I16(t.timer);
    s.U8(t.onlyOnce);
    s.U32(t.itemNumber);
    for (uint8_t b : t.unused) s.U8(b);
}

inline void PutAnimSet(TByteStream& s, const tanim_texture_set& a)
{
    s.I16(a.frameCount);
    for (const auto& f : a.frames) PutFace(s, f);
}

inline void PutBox(TByteStream& s, const troom_box& b)
{
    s.U8(b.unused[0]);
    s.U8(b.unused[1]);
    s.I8(b.height);
    for (int v : {b.width, b.depth, b.row, b.column}) s.I16(v);
}

inline void PutStatic(TByteStream& s, const troom_static& x)
{
    s.U32(x.meshSlot);
    for (int v : {x.row, x.column, x.height, x.angle, x.fineX, x.fineY, x.fineZ}) s.I16(v);
    s.U32(x.color);
    s.I8(x.intensity);
}

inline void PutLight(TByteStream& s, const troom_light& l)
{
    for (int v : {l.row, l.column, l.height}) s.I16(v);
    s.U32(l.color);
    s.I8(l.intensity);
    s.I8(l.range);
    s.I8(l.unused12);
    s.I8(l.blendMode);
    s.U8(l.enabled);
    s.U8(l.unused15);
}

// Entries 1..count of a table; a count past the capacity repeats the last slot,
// so that streams with impossible counts can be built.
template <class T, size_t N, class F>
void PutEntries(TByteStream& s, const std::array<T, N>& table, int count, F put)
{
    for (int i = 1; i <= count; ++i) put(s, table[std::min<size_t>(static_cast<size_t>(i), N - 1)]);
}

// The options a damaged stream needs.
struct TStreamOptions {
    unsigned version = 2;
    uint16_t lastWordFiller = 0;   // the two bytes after a room's last reserved word
};

inline TByteStream ProjectStream(const tcuarto_list& p, const TStreamOptions& o = {})
{
    TByteStream s;
    s.Text("Kestrel DXVel file", 18);
    s.U8(o.version);
    s.Text(p.name);
    s.Text(p.comments);
    s.Text(p.basefilePath);
    s.Text(p.texturesfilePath);
    s.Text(p.sparePath);
    s.Text(p.scriptDirectory);
    s.Text(p.buildDirectory);
    s.U8(p.currentRoom);
    s.U8(p.roomCount);
    s.I16(p.playerRoom);
    s.I16(p.playerColumn);
    s.I16(p.playerRow);
    s.U8(p.reservedBytes[0]);
    s.U8(p.reservedBytes[1]);
    s.I16(p.itemCount);
    PutEntries(s, p.items, p.itemCount, PutItem);
    s.I16(p.selectedItem);
    s.I16(p.reservedWord);
    s.I16(p.cameraCount);
    PutEntries(s, p.cameras, p.cameraCount, PutCamera);
    s.I16(p.selectedCamera);
    s.I16(p.flybyCount);
    PutEntries(s, p.flybyCameras, p.flybyCount, PutFlyby);
    s.I16(p.selectedFlyby);
    s.I16(p.soundSourceCount);
    PutEntries(s, p.soundSources, p.soundSourceCount, PutSound);
    s.I16(p.selectedSoundSource);
    s.I16(p.triggerCount);
    for (int i = 0; i < p.triggerCount && i < static_cast<int>(p.triggers.size()); ++i) PutTrigger(s, p.triggers[i]);
    s.I16(p.animSetCount);
    PutEntries(s, p.animSets, p.animSetCount, PutAnimSet);
    for (uint8_t b : p.reservedBlock) s.U8(b);

    for (int n = 1; n <= p.roomCount; ++n) {
        const tcuarto& r = p.rooms[n];
        s.I32(r.x);
        s.I32(r.y);
        s.I32(r.z);
        s.U16(r.rows);
        s.U16(r.columns);
        s.U16(r.height);
        s.Text(r.name);
        s.U8(r.water);
        s.U8(r.wind);
        s.U8(r.quicksand);
        s.U8(r.sky);
        s.I16(r.ambientIntensity);
        s.I16(r.reservedWords[0]);
        s.I16(r.reservedWords[1]);
        s.U32(r.ambientColor);
        s.U32(r.reservedColors[0]);
        s.U32(r.reservedColors[1]);
        s.U16(r.reservedWord);
        s.U8(r.reservedByte);
        s.U16(r.reservedPair[0]);
        s.U16(r.reservedPair[1]);
        s.U16(o.lastWordFiller);
        if (r.rows > 0)
            for (int c = 1; c <= r.columns && c < r.sectors.ColumnSlots(); ++c)
                for (int w = 1; w <= r.rows && w < r.sectors.RowSlots(); ++w) PutSector(s, r.sectors[c][w]);
        s.U8(r.boxCount);
        s.U8(r.selectedBox);
        PutEntries(s, r.boxes, r.boxCount, PutBox);
        s.I16(r.staticCount);
        PutEntries(s, r.statics, r.staticCount, PutStatic);
        s.I16(r.selectedStatic);
        s.I16(r.lightCount);
        PutEntries(s, r.lights, r.lightCount, PutLight);
        s.I16(r.selectedLight);
    }
    return s;
}

// The "ZLIB" container of a logical content, made with zlib alone.
inline std::vector<uint8_t> ZlibContainer(const std::vector<uint8_t>& content)
{
    const std::vector<uint8_t> packed = ZlibCompress(content, 9);
    TByteStream s;
    s.U8('Z');
    s.U8('L');
    s.U8('I');
    s.U8('B');
    s.U32(static_cast<uint32_t>(packed.size()));
    s.U32(static_cast<uint32_t>(content.size()));
    s.bytes.insert(s.bytes.end(), packed.begin(), packed.end());
    return s.bytes;
}

// The logical content of a saved "ZLIB" container, inflated with zlib alone.
inline std::vector<uint8_t> InflateContainer(const std::vector<uint8_t>& file)
{
    if (file.size() < 12 || std::memcmp(file.data(), "ZLIB", 4) != 0) throw std::runtime_error("not a container");
    const uint32_t size = file[8] | (file[9] << 8) | (file[10] << 16) | (uint32_t(file[11]) << 24);
    std::vector<uint8_t> out(size);
    uLongf n = size;
    if (uncompress(out.data(), &n, file.data() + 12, file.size() - 12) != Z_OK || n != size)
        throw std::runtime_error("inflate failed");
    return out;
}
