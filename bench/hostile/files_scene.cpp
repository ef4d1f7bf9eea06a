// Crafted game levels for what the editor builds from a loaded Basefile:
// mesh data that is nothing but empty meshes, each a few words that the mesh
// list turns into a record many times their size.
#include <cstdint>
#include <string>
#include <vector>

#include "hostile_files.h"
#include "level/trlevel.h"
#include "support/level_writer.h"

namespace {

std::string Str(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

// A sample level of the version whose mesh data is `words` zero words: as
// many meshes without vertices or faces as fit, and no mesh pointer to any.
std::string EmptyMeshes(int code, uint32_t words)
{
    TLevelDesc d = MakeSampleLevel(code);
    d.mesh_data.assign(words, 0);
    d.mesh_pointers.clear();
    return Str(WriteLevelFile(d));
}

// 120 MB of empty meshes (6.7 million of them) in the compressed level block
// of a TR4 file well under a megabyte.
std::string MakeEmptyMeshesTr4() { return EmptyMeshes(LEVEL_TR4, 60u << 20); }
// 32 MB of them (1.4 million) stored plainly in a TR2 file of that size.
std::string MakeEmptyMeshesTr2() { return EmptyMeshes(LEVEL_TR2, 16u << 20); }

// A TR4 level whose first moveable (object 0, a cube in one frame) is
// followed by four million moveables without animations, drawn as the
// Basefile of a project whose 256 items are all that object: posing an item
// walked every moveable after its own three times to find its frame, and
// charged one walk to the build's level work, so that all but a few items
// were left undrawn.
std::string MakeManyMoveablesAfterTheItems()
{
    TLevelDesc d;
    d.version_code = LEVEL_TR4;
    d.object_textures.push_back(MakeObjectTexture(0, {}));
    TMoveableDesc m;
    m.meshes = {MakeCubeMesh(250, 0)};
    m.animations = {{TFrameDesc{{}, {}, {TFrameRotation{}}}}};
    AddMoveable(d, m);
    tmoveable none{};
    none.object_id = 9999;
    none.animation = -1;
    d.moveables.resize(d.moveables.size() + 4000000, none);
    return Str(WriteLevelFile(d));
}

// A TR1 level of 255 rooms of 20 x 20 sectors, every sector under one run
// of a floor and a ceiling slant and every other one a wall: converting a
// slanted sector cleared the slants of every wall of its room, a walk of
// the room for each of its sectors.
std::string MakeSlantsAmongWalls()
{
    TLevelDesc d;
    d.version_code = LEVEL_TR1;
    d.floor_data = {0, 0x0002, 0x0102, 0x8003, 0x0201};
    for (int n = 0; n < 255; ++n) {
        TRoomDesc r;
        r.x = (n % 16) * 21 * 1024;
        r.z = (n / 16) * 21 * 1024;
        r.y_bottom = 0;
        r.y_top = -4096;
        r.num_x_sectors = r.num_z_sectors = 20;
        for (int s = 0; s < 400; ++s)
            r.sectors.push_back(troom_sector{1, 0, 255, int8_t(s % 2 ? -127 : 0), 255, int8_t(s % 2 ? -127 : -16)});
        d.rooms.push_back(std::move(r));
    }
    return Str(WriteLevelFile(d));
}

THostileRegistration emptyMeshesTr4{{"scene_empty_meshes.tr4", THostileKind::Basefile, MakeEmptyMeshesTr4}};
THostileRegistration slantsAmongWalls{
    {"converter_slants_among_walls.phd", THostileKind::BasefileConverted, MakeSlantsAmongWalls}};
THostileRegistration manyMoveables{
    {"scene_moveables_after_items.tr4", THostileKind::BasefileDrawn, MakeManyMoveablesAfterTheItems}};
THostileRegistration emptyMeshesTr2{{"scene_empty_meshes.tr2", THostileKind::Basefile, MakeEmptyMeshesTr2}};

}  // namespace
