// Builds the logical content of a project file by hand, field by field from
// the documented layout, without the project writer and without copying any
// record's memory, so that saved files can be checked against it and damaged
// files can be made from it.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "level/project_records.h"
#include "support/byte_writer.h"
#include "support/zlib_stream.h"

class TProjectStream : public TByteWriter {
public:
    using TByteWriter::Text;
    template <size_t N>
    void Text(const TShortString<N>& t)  // the length byte, then all N bytes
    {
        U8(t.len);
        for (size_t i = 0; i < N; ++i) U8(static_cast<uint8_t>(t.chars[i]));
    }
    void Face(const tface_texture& f)
    {
        LE(f.textureId);
        for (const TUVPoint& c : f.uv) LE(c.u, c.v);
        LE(f.flip, f.rotations, f.mode, f.unused[0], f.unused[1]);
    }
    void Sector(const tsector& x)
    {
        LE(x.floorBase, x.floorClicks, x.floorZFall, x.floorZRise, x.floorXFall, x.floorXRise, x.ceilingBase,
           x.ceilingClicks, x.ceilingZFall, x.ceilingZRise, x.ceilingXRise, x.ceilingXFall, x.roomAbove, x.roomBeside,
           x.roomBelow, x.wallFlags[0], x.wallFlags[1], x.wallFlags[2], x.wallFlags[3], x.ceilingFaceFlag, x.unused20,
           x.faceFlags, x.death);
        for (const auto& row : x.walls)
            for (const tface_texture& f : row) Face(f);
        for (const tface_texture& f : {x.floorFaces[0], x.floorFaces[1], x.ceilingFaces[0], x.ceilingFaces[1]}) Face(f);
        for (int i = 0; i < 12; ++i) LE(i < 6 ? x.floorPieceHeights[i] : x.ceilingPieceHeights[i - 6]);
        LE(x.indicator, x.floorSplit, x.ceilingSplit, x.floorOption, x.ceilingOption, x.indicatorWord);
    }
    void Record(const titem& i)
    {
        LE(i.correlative, i.room, i.column, i.row, i.height, i.objectId, i.angle, i.fineX, i.fineY, i.fineZ, i.flag,
           i.amount, i.intensity, i.color, i.ocb, i.order, i.highlight);
    }
    void Record(const tcamera& c) { LE(c.kind, c.room, c.column, c.row, c.height).Raw(c.unused, 4); }
    void Record(const tflyby_camera& f) { LE(f.room, f.column, f.row, f.height, f.angle1, f.angle2).Raw(f.unused, 12); }
    void Record(const tsound_source& s) { LE(s.room, s.column, s.row, s.height).Raw(s.unused, 16); }
    void Record(const tproject_trigger& t)
    {
        Text(t.name);
        LE(t.type, t.mask, t.timer, t.onlyOnce, t.itemNumber).Raw(t.unused, sizeof t.unused);
    }
    void Record(const tanim_texture_set& a)
    {
        LE(a.frameCount);
        for (const tface_texture& f : a.frames) Face(f);
    }
    void Record(const troom_box& b) { LE(b.unused[0], b.unused[1], b.height, b.width, b.depth, b.row, b.column); }
    void Record(const troom_static& x)
    {
        LE(x.meshSlot, x.row, x.column, x.height, x.angle, x.fineX, x.fineY, x.fineZ, x.color, x.intensity);
    }
    void Record(const troom_light& l)
    {
        LE(l.row, l.column, l.height, l.color, l.intensity, l.range, l.unused12, l.blendMode, l.enabled, l.unused15);
    }
    // Entries 1..count; a count past the capacity repeats the last slot, so
    // that streams with impossible counts can be built.
    template <class T, size_t N>
    void Entries(int count, const std::array<T, N>& table)
    {
        for (int i = 1; i <= count; ++i) Record(table[std::min<size_t>(size_t(i), N - 1)]);
    }
    template <class C, class T, size_t N>
    void Table(C count, const std::array<T, N>& table)
    {
        LE(count);
        Entries(count, table);
    }
};

struct TStreamOptions {
    unsigned version = 2;
    uint16_t lastWordFiller = 0;  // the two bytes after a room's last reserved word
};

inline std::vector<uint8_t> ProjectStream(const tcuarto_list& p, const TStreamOptions& o = {})
{
    TProjectStream s;
    s.U8(18).Text("Kestrel DXVel file").U8(o.version);
    s.Text(p.name);
    s.Text(p.comments);
    for (const TShortString<100>* t :
         {&p.basefilePath, &p.texturesfilePath, &p.sparePath, &p.scriptDirectory, &p.buildDirectory})
        s.Text(*t);
    s.LE(p.currentRoom, p.roomCount, p.playerRoom, p.playerColumn, p.playerRow, p.reservedBytes[0], p.reservedBytes[1]);
    s.Table(p.itemCount, p.items);
    s.LE(p.selectedItem, p.reservedWord);
    s.Table(p.cameraCount, p.cameras);
    s.LE(p.selectedCamera);
    s.Table(p.flybyCount, p.flybyCameras);
    s.LE(p.selectedFlyby);
    s.Table(p.soundSourceCount, p.soundSources);
    s.LE(p.selectedSoundSource, p.triggerCount);
    for (int i = 0; i < p.triggerCount && i < static_cast<int>(p.triggers.size()); ++i) s.Record(p.triggers[size_t(i)]);
    s.Table(p.animSetCount, p.animSets);
    s.Raw(p.reservedBlock.data(), p.reservedBlock.size());
    for (int n = 1; n <= p.roomCount; ++n) {
        const tcuarto& r = p.rooms[size_t(n)];
        s.LE(r.x, r.y, r.z, r.rows, r.columns, r.height);
        s.Text(r.name);
        s.LE(r.water, r.wind, r.quicksand, r.sky, r.ambientIntensity, r.reservedWords[0], r.reservedWords[1]);
        s.LE(r.ambientColor, r.reservedColors[0], r.reservedColors[1], r.reservedWord, r.reservedByte);
        s.LE(r.reservedPair[0], r.reservedPair[1], o.lastWordFiller);
        if (r.rows > 0)
            for (int c = 1; c <= r.columns && c < r.sectors.ColumnSlots(); ++c)
                for (int w = 1; w <= r.rows && w < r.sectors.RowSlots(); ++w) s.Sector(r.sectors[c][w]);
        s.LE(r.boxCount, r.selectedBox);
        s.Entries(r.boxCount, r.boxes);
        s.Table(r.staticCount, r.statics);
        s.LE(r.selectedStatic);
        s.Table(r.lightCount, r.lights);
        s.LE(r.selectedLight);
    }
    return s.Bytes;
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
