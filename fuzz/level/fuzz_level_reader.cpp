// Feeds arbitrary bytes to the game level reader. The first byte chooses the
// file name's extension (which selects among the version variants), the
// textures-only switch (bit 7) and whether the rest is the file itself or
// (bit 6) the level block of a TR4 file, which is then compressed into one,
// so that the fuzzer can reach the TR4 layout behind the compression.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <zlib.h>

#include "fuzz_quiet.h"
#include "fuzz_scratch.h"
#include "level/trlevel.h"
#include "platform/rtl/messages.h"

namespace {

// A loaded record must keep every count within its table; a refused one must be empty.
void CheckRecord(const Ttrlevel& level, int result)
{
    if (result != LEVEL_LOADED) {
        if (level.num_rooms || !level.rooms.empty() || level.num_items || level.version_code || level.textile16.data())
            abort();
        return;
    }
    if (level.rooms.size() != level.num_rooms) abort();
    for (const troom& r : level.rooms) {
        if (r.num_vertices > ROOM_MAX_VERTICES || r.num_rectangles > ROOM_MAX_RECTANGLES ||
            r.num_triangles > ROOM_MAX_TRIANGLES || r.num_sprites > ROOM_MAX_SPRITES ||
            r.num_portals > ROOM_MAX_PORTALS || uint32_t(r.num_z_sectors) * r.num_x_sectors > ROOM_MAX_SECTORS ||
            r.num_lights > ROOM_MAX_LIGHTS || r.num_statics > ROOM_MAX_STATICS ||
            r.num_trc_records > ROOM_MAX_TRC_RECORDS)
            abort();
        if (r.num_vertices) RoomVertexFind(r, r.vertices[0].x, r.vertices[0].y, r.vertices[0].z);
    }
    if (level.object_textures.size() != level.num_object_textures || level.items.size() != level.num_items ||
        level.items_tr1.size() != level.num_items || level.zones[9].size() != level.num_boxes ||
        level.floor_data.size() != level.num_floor_data || level.mesh_data.size() != level.num_mesh_data)
        abort();
    if (uint64_t(level.num_textiles) * TEXTILE16_BYTES > uint64_t(level.textile16.length()) &&
        level.version_code >= LEVEL_TR2)
        abort();
    uint8_t r, g, b;
    level.PaletteColor(0xFFFF, r, g, b);
}

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutChunk(std::vector<uint8_t>& b, const uint8_t* data, size_t size)
{
    uLongf length = compressBound(size);
    std::vector<uint8_t> packed(length);
    if (compress2(packed.data(), &length, size ? data : nullptr, size, 1) != Z_OK) abort();
    Put32(b, static_cast<uint32_t>(size));
    Put32(b, static_cast<uint32_t>(length));
    b.insert(b.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(length));
}

// A TR4 file without textiles or samples around the given level block.
std::vector<uint8_t> Tr4File(const uint8_t* block, size_t size)
{
    std::vector<uint8_t> b;
    Put32(b, 0x00345254);
    b.insert(b.end(), 6, 0);
    for (int i = 0; i < 3; ++i) PutChunk(b, nullptr, 0);
    PutChunk(b, block, size);
    Put32(b, 0);
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SilenceMessages();
    static const char* const kExtensions[] = {".phd", ".tub", ".tr2", ".trg", ".tr4", ".trc"};
    // One record for the whole run, so that every load also replaces a previous one.
    static Ttrlevel level;

    const uint8_t selector = size ? data[0] : 0;
    const bool wrapTr4 = (selector & 0x40) != 0;
    std::vector<uint8_t> file;
    if (size > 1) file = wrapTr4 ? Tr4File(data + 1, size - 1) : std::vector<uint8_t>(data + 1, data + size);
    const std::string name = WriteScratchFile(std::string("level") + (wrapTr4 ? ".tr4" : kExtensions[selector % 6]),
                                              file.data(), file.size());

    const int result = level.LoadFromFile(name, (selector & 0x80) != 0);
    CheckRecord(level, result);
    return 0;
}
