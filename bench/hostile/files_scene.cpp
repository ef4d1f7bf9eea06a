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

THostileRegistration emptyMeshesTr4{{"scene_empty_meshes.tr4", THostileKind::Basefile, MakeEmptyMeshesTr4}};
THostileRegistration emptyMeshesTr2{{"scene_empty_meshes.tr2", THostileKind::Basefile, MakeEmptyMeshesTr2}};

}  // namespace
