// Converts a level whose rooms, sectors, portals, floor data and items come
// from arbitrary bytes (counts that disagree with the tables included) into
// a project: the conversion must not read or write outside any table, and
// every room link and item it stores must name a room of the project. A
// closing byte may repeat the floor data into a long run.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "converter/floor_data_index.h"
#include "converter/level_converter.h"
#include "fuzz_input.h"
#include "level/trlevel.h"
#include "platform/rtl/progress.h"
#include "scene/scene.h"

namespace {

void Check(bool ok)
{
    if (!ok) abort();
}

void BuildLevel(TInput& in, Ttrlevel& level, TConverterOptions& o)
{
    const uint16_t bits = in.Word();
    o.includeRoomFlags = bits & 0x0001;
    o.includeVerticalPortals = bits & 0x0002;
    o.includeSidePortals = bits & 0x0004;
    o.includeCeilingGeometry = bits & 0x0008;
    o.includeFloorGeometry = bits & 0x0010;
    o.includeItems = bits & 0x0020;
    o.includeDeathSectors = bits & 0x0040;
    o.includeFloorAngles = bits & 0x0080;
    o.includeCeilingAngles = bits & 0x0100;
    o.doNotOverlapRooms = bits & 0x0200;
    o.doNotOverlapWaterRooms = bits & 0x0400;

    const int rooms = in.Byte() % 6;
    level.SetNumRooms(uint16_t(rooms));
    for (int i = 0; i < rooms; ++i) {
        troom& r = level.rooms[size_t(i)];
        r.x = in.Long();
        r.z = in.Long();
        r.y_bottom = int32_t(int16_t(in.Word())) * 16;
        r.y_top = int32_t(int16_t(in.Word())) * 16;
        r.num_x_sectors = in.Byte() % 40;
        r.num_z_sectors = in.Byte() % 40;
        r.flags = in.Word();
        r.num_portals = in.Byte() % 64;
        for (int p = 0; p < 4; ++p) r.portals[size_t(p)].adjoining_room = in.Byte() % 8;
        const size_t sectors = std::min<size_t>(in.Byte(), ROOM_MAX_SECTORS);
        in.Fill(r.sectors.data(), sectors * sizeof(troom_sector));
        // Spread what was read over the grid so that every column sees some.
        for (size_t s = sectors; s < ROOM_MAX_SECTORS && sectors > 0; ++s) r.sectors[s] = r.sectors[s % sectors];
    }
    if (in.Byte() % 8 == 0) level.num_rooms = uint16_t(level.num_rooms + in.Byte());

    const size_t words = size_t(in.Byte()) * 2;
    level.SetNumFloorData(uint32_t(words));
    in.Fill(level.floor_data.data(), words * sizeof(uint16_t));
    if (in.Byte() % 8 == 0) level.num_floor_data += in.Word();

    const size_t items = in.Byte() % 32 == 0 ? 300 : in.Byte() % 8;
    level.SetNumItems(uint32_t(items));
    for (size_t i = 0; i < items; ++i) in.Fill(&level.items[i], sizeof(tlevel_item));
    if (in.Byte() % 8 == 0) level.num_items += in.Byte();

    // Large counts from small inputs: the floor data read may be repeated
    // up to 2^18 words, so that one run can be as long as a level allows.
    if (in.Byte() % 16 == 1 && words > 0) {
        const size_t total = size_t(1) << 18;
        level.SetNumFloorData(uint32_t(total));
        for (size_t i = words; i < total; ++i) level.floor_data[i] = level.floor_data[i % words];
    }
}

void CheckProject(const tcuarto_list& p)
{
    Check(p.rooms.size() == size_t(p.roomCount) + 1);
    for (int n = 1; n <= p.roomCount; ++n) {
        const tcuarto& r = p.rooms[size_t(n)];
        Check(r.columns <= MAX_CONVERTED_SECTORS && r.rows <= MAX_CONVERTED_SECTORS);
        Check(r.sectors.ColumnSlots() == r.columns + 1 && r.sectors.RowSlots() == r.rows + 1);
        for (int x = 1; x <= r.columns; ++x)
            for (int z = 1; z <= r.rows; ++z) {
                const tsector& s = r.sectors[x][z];
                Check(s.roomAbove <= p.roomCount && s.roomBelow <= p.roomCount && s.roomBeside <= p.roomCount);
            }
    }
    Check(p.itemCount >= 0 && p.itemCount <= MAX_PROJECT_ITEMS);
    for (int i = 1; i <= p.itemCount; ++i) {
        const int room = p.items[size_t(i)].room;
        Check(room >= 1 && room <= p.roomCount);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static tr_scene scene;

    TInput in(data, size);
    auto level = std::make_unique<Ttrlevel>();
    TConverterOptions options;
    BuildLevel(in, *level, options);

    tcuarto_list project;
    ResetProject(project);
    scene.Project = &project;
    scene.Level = level.get();
    TProgressBar gauge2;
    TProgressBar gauge3;
    gauge2.SetMax(150);
    TConverterHooks hooks;
    hooks.Gauge2 = &gauge2;
    hooks.Gauge3 = &gauge3;
    hooks.Today = [] { return std::string("01/01/01"); };

    const TConversionResult result = ConvertLevelToProject(*level, project, scene, options, hooks);
    CheckProject(project);
    Check(result.itemsSkipped >= 0);

    // A second run over the rooms the first one left.
    options.includeSidePortals = !options.includeSidePortals;
    ConvertLevelToProject(*level, project, scene, options, hooks);
    CheckProject(project);

    scene.Project = nullptr;
    scene.Level = nullptr;
    return 0;
}
