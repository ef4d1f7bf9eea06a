// Crafted project files, game levels and catalogs for the readers of the
// level library: "ZLIB" containers and compressed chunks whose sizes claim
// far more than their streams hold, streams of zeros that inflate a
// thousandfold, counts that size tables from what inflating produced,
// files just within the memory a reader may take, positions that a fixed
// hash puts into one bucket, and declarations that make the XML scanner
// produce far more than the document holds.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "hostile_files.h"
#include "level/trlevel.h"
#include "level/xmlscan.h"
#include "support/byte_writer.h"
#include "support/level_writer.h"
#include "support/zlib_stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The "ZLIB" container head: the stream's size and the content's size as claimed.
Bytes ContainerHead(uint32_t streamSize, uint32_t contentSize)
{
    return TByteWriter().Text("ZLIB").LE32(streamSize).LE32(contentSize).Bytes;
}

Bytes Container(const Bytes& stream, uint64_t contentSize)
{
    return TByteWriter()
        .Append(ContainerHead(uint32_t(stream.size()), uint32_t(std::min<uint64_t>(contentSize, UINT32_MAX))))
        .Append(stream)
        .Bytes;
}

// ---- Project files --------------------------------------------------------------

// The logical content of a project up to its rooms: every text empty, every
// table without entries, `rooms` rooms.
Bytes ProjectHead(uint8_t rooms)
{
    TByteWriter w;
    w.U8(18).Text("Kestrel DXVel file").U8(2);
    w.Fill(101 + 251 + 5 * 101);
    w.U8(1).U8(rooms);
    w.Fill(3 * 2 + 2);
    w.LE16(0);                  // items
    w.LE16(0).LE16(0).LE16(0);  // selected item, reserved word, cameras
    w.LE16(0).LE16(0);          // selected camera, flyby cameras
    w.LE16(0).LE16(0);          // selected flyby camera, sound sources
    w.LE16(0).LE16(0);          // selected sound source, triggers
    w.LE16(0);                  // animated sets
    w.Fill(30);
    return std::move(w.Bytes);
}

// The fixed fields of a room of columns x rows sectors.
Bytes ProjectRoomHead(uint16_t columns, uint16_t rows)
{
    TByteWriter w;
    w.LE32(0).LE32(0).LE32(0).LE16(rows).LE16(columns).LE16(20);
    w.Fill(41 + 4 + 3 * 2 + 3 * 4 + 2 + 1 + 2 + 2 + 2);
    return std::move(w.Bytes);
}

constexpr uint64_t kSectorBytes = 2106;

// A valid head, a room of 1200 x 1200 sectors and the first bytes of them in
// an 800-byte stream, then padding to 28 MB that the head counts as stream.
std::string MakeProjectRoomClaim()
{
    constexpr uint32_t kFile = 28u << 20;
    Bytes sectors(700);
    uint32_t state = 12345;
    for (uint8_t& b : sectors) b = static_cast<uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    const Bytes stream = TDeflater().Add(ProjectHead(1)).Add(ProjectRoomHead(1200, 1200)).Add(sectors).Finish();
    TByteWriter w;
    w.Append(ContainerHead(kFile - 12, 0x7FFFFFFF)).Append(stream).PadTo(kFile);
    return Str(w.Bytes);
}
THostileRegistration projectRoomClaim{{"project_room_claim.vel", THostileKind::Project, MakeProjectRoomClaim}};

// Two rooms of 1000 x 1000 sectors that are all there, as zeros: 4 GB of
// content in a 4 MB stream.
std::string MakeProjectZeroSectors()
{
    TDeflater d;
    d.Add(ProjectHead(2));
    for (int i = 0; i < 2; ++i) d.Add(ProjectRoomHead(1000, 1000)).Zeros(1000 * 1000 * kSectorBytes + 10);
    const Bytes stream = d.Finish();
    return Str(Container(stream, 0));
}
THostileRegistration projectZeroSectors{{"project_zero_sectors.vel", THostileKind::Project, MakeProjectZeroSectors}};

// Eight rooms of 500 x 500 sectors, each one alone within what a project
// may take, all there as zeros.
std::string MakeProjectManyRooms()
{
    TDeflater d;
    d.Add(ProjectHead(8));
    for (int i = 0; i < 8; ++i) d.Add(ProjectRoomHead(500, 500)).Zeros(500 * 500 * kSectorBytes + 10);
    return Str(Container(d.Finish(), 0));
}
THostileRegistration projectManyRooms{{"project_many_rooms.vel", THostileKind::Project, MakeProjectManyRooms}};

// A room of 600 x 600 sectors of zeros, just within what a project may take
// (725 MiB with row and column 0), then 700 MB more of zeros in the stream:
// the project must be read, and the content behind it checked, in the time
// a file may take.
std::string MakeProjectTrailingContent()
{
    TDeflater d;
    d.Add(ProjectHead(1)).Add(ProjectRoomHead(600, 600)).Zeros(600 * 600 * kSectorBytes);
    d.Add(TByteWriter().U8(0).U8(0).LE16(0).LE16(0).LE16(0).LE16(0).Bytes);
    return Str(Container(d.Zeros(700ull << 20).Finish(), 0));
}
THostileRegistration projectTrailingContent{
    {"project_trailing_content.vel", THostileKind::Project, MakeProjectTrailingContent}};

// A container of 2 MB of garbage (from the seed) behind a zlib header,
// claiming 2 GB of content.
std::string GarbageContainer(uint32_t state)
{
    constexpr uint32_t kStream = 2u << 20;
    Bytes stream(kStream);
    for (uint8_t& b : stream) b = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    stream[0] = 0x78;
    stream[1] = 0xDA;
    return Str(TByteWriter().Append(ContainerHead(kStream, 0x7FFFFFFF)).Append(stream).Bytes);
}

// The stream of a project is judged as the level reader's containers are.
std::string MakeProjectStreamGarbage() { return GarbageContainer(4242); }
THostileRegistration projectStreamGarbage{
    {"project_stream_garbage.vel", THostileKind::Project, MakeProjectStreamGarbage}};

// ---- Game levels ----------------------------------------------------------------

// A TR2 level's content up to its room count: no palette, no textiles.
Bytes Tr2Head(uint16_t rooms)
{
    return TByteWriter().LE32(LevelVersionWord(LEVEL_TR2)).Fill(768 + 1024).LE32(0).LE32(0).LE16(rooms).Bytes;
}

// A TR2 level of 65535 empty rooms and zeros after them (every count 0) in
// a "ZLIB" container: 628 MB of content in 640 KB.
std::string MakeLevelContainerRooms()
{
    constexpr uint64_t kContent = 628ull << 20;
    const Bytes head = Tr2Head(65535);
    const Bytes stream = TDeflater().Add(head).Zeros(kContent - head.size()).Finish();
    return Str(Container(stream, kContent));
}
THostileRegistration levelContainerRooms{
    {"level_container_rooms.tr2", THostileKind::Basefile, MakeLevelContainerRooms}};

std::string MakeLevelContainerGarbage() { return GarbageContainer(777); }
THostileRegistration levelContainerGarbage{
    {"level_container_garbage.tr2", THostileKind::Basefile, MakeLevelContainerGarbage}};

// 2 MB of compressed zeros in a container: 2 GB of content, all of it there.
std::string MakeLevelContainerZeros()
{
    constexpr uint64_t kContent = 2047ull << 20;
    const Bytes head = Tr2Head(0);
    return Str(Container(TDeflater().Add(head).Zeros(kContent - head.size()).Finish(), kContent));
}
THostileRegistration levelContainerZeros{
    {"level_container_zeros.tr2", THostileKind::Basefile, MakeLevelContainerZeros}};

// A TR4 level whose 32-bit textile chunk is a 65 KB stream of 67 MB of zeros.
std::string MakeLevelTr4SlowChunk()
{
    TLevelDesc d;
    d.version_code = LEVEL_TR4;
    d.textile32.assign(67u << 20, 0);
    return Str(WriteLevelFile(d));
}
THostileRegistration levelTr4SlowChunk{{"level_tr4_slow_chunk.tr4", THostileKind::Basefile, MakeLevelTr4SlowChunk}};

// A TR4 level whose three textile chunks each inflate 600 KB into 620 MB.
std::string MakeLevelTr4ZeroChunks()
{
    constexpr uint32_t kChunk = 620u << 20;
    const Bytes chunk = TDeflater().Zeros(kChunk).Finish();
    TLevelDesc level;
    level.version_code = LEVEL_TR4;
    const Bytes empty = WriteLevelFile(level);
    // The empty level's chunks are 3 x (8 + the stream of nothing) after the
    // word and the three textile counts; the level block and samples follow.
    const Bytes nothing = TDeflater(6).Finish();
    const size_t rest = 4 + 6 + 3 * (8 + nothing.size());
    TByteWriter w;
    w.LE32(LevelVersionWord(LEVEL_TR4)).LE16(0).LE16(0).LE16(0);
    for (int i = 0; i < 3; ++i) w.LE32(kChunk).LE32(uint32_t(chunk.size())).Append(chunk);
    w.Bytes.insert(w.Bytes.end(), empty.begin() + std::ptrdiff_t(rest), empty.end());
    return Str(w.Bytes);
}
THostileRegistration levelTr4ZeroChunks{{"level_tr4_zero_chunks.tr4", THostileKind::Basefile, MakeLevelTr4ZeroChunks}};

// A TR4 level whose level block holds 65535 empty rooms and zeros: 628 MB
// inflated from 640 KB.
std::string MakeLevelTr4Rooms()
{
    constexpr uint64_t kBlock = 628ull << 20;
    const Bytes head = TByteWriter().LE32(0).LE16(65535).Bytes;
    const Bytes block = TDeflater().Add(head).Zeros(kBlock - head.size()).Finish();
    TByteWriter w;
    w.LE32(LevelVersionWord(LEVEL_TR4)).LE16(0).LE16(0).LE16(0);
    const Bytes nothing = TDeflater().Finish();
    for (int i = 0; i < 3; ++i) w.LE32(0).LE32(uint32_t(nothing.size())).Append(nothing);
    w.LE32(uint32_t(kBlock)).LE32(uint32_t(block.size())).Append(block).LE32(0);
    return Str(w.Bytes);
}
THostileRegistration levelTr4Rooms{{"level_tr4_rooms.tr4", THostileKind::Basefile, MakeLevelTr4Rooms}};

// A TR2 level in a container whose box count of 25 million is backed by
// zeros: 700 MB of boxes and zones inflated from 700 KB.
std::string MakeLevelContainerBoxes()
{
    constexpr uint32_t kBoxes = 25'000'000;
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    TLevelLayout layout;
    Bytes level = WriteLevelFile(d, &layout);
    const size_t boxes = layout.at.at("boxes");
    const Bytes head(level.begin(), level.begin() + std::ptrdiff_t(boxes));
    const Bytes tail(level.begin() + std::ptrdiff_t(boxes + 4), level.end());
    TDeflater z;
    z.Add(head).Add(TByteWriter().LE32(kBoxes).Bytes).Zeros(uint64_t(kBoxes) * (8 + 10 * 2)).Add(tail);
    const uint64_t content = head.size() + 4 + uint64_t(kBoxes) * 28 + tail.size();
    return Str(Container(z.Finish(), content));
}
THostileRegistration levelContainerBoxes{
    {"level_container_boxes.tr2", THostileKind::Basefile, MakeLevelContainerBoxes}};

// A TR4 level whose 32-bit textile chunk inflates to 500 MiB of zeros, just
// within the memory a level may take: it must be read in the time a file
// may take.
std::string MakeLevelTr4ChunkAtLimit()
{
    constexpr uint32_t kChunk = 500u << 20;
    const Bytes chunk = TDeflater().Zeros(kChunk).Finish();
    TLevelDesc level;
    level.version_code = LEVEL_TR4;
    const Bytes empty = WriteLevelFile(level);
    const Bytes nothing = TDeflater().Finish();
    const size_t rest = 4 + 6 + 8 + nothing.size();  // past the empty 32-bit chunk
    TByteWriter w;
    w.LE32(LevelVersionWord(LEVEL_TR4)).LE16(0).LE16(0).LE16(0);
    w.LE32(kChunk).LE32(uint32_t(chunk.size())).Append(chunk);
    w.Bytes.insert(w.Bytes.end(), empty.begin() + std::ptrdiff_t(rest), empty.end());
    return Str(w.Bytes);
}
THostileRegistration levelTr4ChunkAtLimit{
    {"level_tr4_chunk_at_limit.tr4", THostileKind::Basefile, MakeLevelTr4ChunkAtLimit}};

// 3,400 empty rooms in 160 KB: 528 MB of room records, just within the
// memory a level may take, each cleared whatever the few bytes of its room.
std::string MakeLevelEmptyRooms()
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    d.rooms.resize(3400);
    return Str(WriteLevelFile(d));
}
THostileRegistration levelEmptyRooms{{"level_empty_rooms.tr2", THostileKind::Basefile, MakeLevelEmptyRooms}};

// One TRC room of 6,400 empty layers in 360 KB: 503 MB of layer blocks,
// just within the memory a level may take.
std::string MakeLevelTrcEmptyLayers()
{
    TLevelDesc d;
    d.version_code = LEVEL_TRC;
    d.rooms.resize(1);
    d.rooms[0].layers.resize(6400);
    return Str(WriteLevelFile(d));
}
THostileRegistration levelTrcEmptyLayers{
    {"level_trc_empty_layers.trc", THostileKind::Basefile, MakeLevelTrcEmptyLayers}};

// A TRC room that states a size ending before its layers, whose 1,700
// layer headers lie in zeros after it: the layers of a room are read from
// its own bytes or not at all.
std::string MakeLevelTrcRoomOverrun()
{
    TLevelDesc d;
    d.version_code = LEVEL_TRC;
    d.rooms.resize(1);
    d.rooms[0].layers.resize(1700);
    d.rooms[0].trc_tail.assign(1700 * sizeof(ttr5_layer_header), 0);
    TLevelLayout layout;
    Bytes file = WriteLevelFile(d, &layout);
    const size_t size = layout.at.at("room.0.size");
    const uint32_t before = uint32_t(layout.at.at("room.0.layers") - (size + 4));
    for (int i = 0; i < 4; ++i) file[size + size_t(i)] = static_cast<uint8_t>(before >> (8 * i));
    return Str(file);
}
THostileRegistration levelTrcRoomOverrun{
    {"level_trc_room_overrun.trc", THostileKind::Basefile, MakeLevelTrcRoomOverrun}};

// Positions whose keys a fixed multiplicative hash of 4096 slots puts into
// one bucket.
std::vector<std::array<int16_t, 3>> OneBucketPositions(size_t n)
{
    std::vector<std::array<int16_t, 3>> positions;
    for (uint32_t i = 0; positions.size() < n; ++i) {
        const auto x = int16_t(i & 0xFFF), y = int16_t((i >> 12) & 0xFFF), z = int16_t(i >> 24);
        const uint64_t key = (uint64_t(uint16_t(x)) << 32) | (uint64_t(uint16_t(y)) << 16) | uint16_t(z);
        if (((key * 0x9E3779B97F4A7C15ull) >> 52) == 0) positions.push_back({x, y, z});
    }
    return positions;
}

// 18 TRC rooms of 100 layers in a container: the first layer of each room
// holds 1,500 positions that a fixed hash puts into one bucket, the others
// the last 1,100 of them again. 56 MB of layers, read and merged.
std::string MakeLevelTrcVertexBucket()
{
    const auto positions = OneBucketPositions(ROOM_MAX_VERTICES);
    auto vertices = [&](size_t first) {
        std::vector<ttrc_vertex> v;
        for (size_t i = first; i < positions.size(); ++i)
            v.push_back(ttrc_vertex{float(positions[i][0]), float(positions[i][1]), float(positions[i][2]), 0, -1, 0,
                                    128, 128, 128, 255});
        return v;
    };
    TRoomDesc room;
    room.layers.resize(100);
    room.layers[0].vertices = vertices(0);
    for (size_t l = 1; l < room.layers.size(); ++l) room.layers[l].vertices = vertices(400);
    TLevelDesc d;
    d.version_code = LEVEL_TRC;
    d.rooms.assign(18, room);
    return Str(ZlibContainer(WriteLevelFile(d)));
}
THostileRegistration levelTrcVertexBucket{
    {"level_trc_vertex_bucket.trc", THostileKind::Basefile, MakeLevelTrcVertexBucket}};

// ---- The object catalog ---------------------------------------------------------

std::string Catalog(const std::string& subset, const std::string& moveables)
{
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE catalog [" + subset + "]>\n<catalog><game name=\"TR4\"><moveables>" +
           moveables + "</moveables></game></catalog>\n";
}

std::string Repeated(const std::string& text, size_t times)
{
    std::string out;
    out.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

// A fixed value of 64 KB declared for an attribute written on 40,000
// moveables: 2.5 GB if every tag took a copy.
std::string MakeXmlFixedValues()
{
    return Catalog("<!ATTLIST m NAME CDATA #FIXED \"" + std::string(65536, 'f') + "\">",
                   Repeated("<m ID=\"1\" NAME=\"\"/>", 40000));
}
THostileRegistration xmlFixedValues{{"xml_fixed_values.xml", THostileKind::Catalog, MakeXmlFixedValues}};

// 262,144 references to an empty entity in a megabyte of text, each one
// opening and closing the entity.
std::string MakeXmlEmptyEntities() { return Catalog("<!ENTITY e \"\">", Repeated("&e;", 262144)); }
THostileRegistration xmlEmptyEntities{{"xml_empty_entities.xml", THostileKind::Catalog, MakeXmlEmptyEntities}};

// A parameter entity of 2 MB, larger than any scan may expand, named
// 600,000 times in the declarations.
std::string MakeXmlParameterEntities()
{
    return Catalog("<!ENTITY % p \"" + std::string(2u << 20, 'p') + "\">" + Repeated("%p;", 600000), "");
}
THostileRegistration xmlParameterEntities{
    {"xml_parameter_entities.xml", THostileKind::Catalog, MakeXmlParameterEntities}};

// A moveable of one-letter attributes, one in every two bytes of a
// document of the largest size read: each attribute costs the scanner far
// more than its bytes.
std::string MakeXmlTinyAttributes()
{
    const std::string head = Catalog("", "<m ");
    const std::string tail = "/>" + head.substr(head.find("</moveables>"));
    std::string attributes;
    uint32_t state = 99;
    while (head.find("<m ") + 3 + attributes.size() + 2 + tail.size() <= XML_MAX_DOCUMENT_SIZE)
        attributes += std::string(1, char('b' + (state = state * 1103515245u + 12345u) % 7)) + " ";
    return head.substr(0, head.find("<m ") + 3) + attributes + tail;
}
THostileRegistration xmlTinyAttributes{{"xml_tiny_attributes.xml", THostileKind::Catalog, MakeXmlTinyAttributes}};

// 262,144 references to an external entity naming a device: each one an
// opening of it, whatever it holds.
std::string MakeXmlExternalEntities()
{
    return Catalog("<!ENTITY e SYSTEM \"/dev/null\">", "<m ID=\"1\" NAME=\"" + Repeated("&e;", 262144) + "\"/>");
}
THostileRegistration xmlExternalEntities{{"xml_external_entities.xml", THostileKind::Catalog, MakeXmlExternalEntities}};

}  // namespace
