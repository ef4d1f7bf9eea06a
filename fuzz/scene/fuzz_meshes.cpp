// Builds the mesh list of a level from arbitrary bytes, draws every mesh and
// poses every moveable in several frames.
//
// The first byte chooses how the rest becomes a level. With bit 7 set, the
// rest is a level file read by the level reader (bits 0..2 choose the name's
// extension). Otherwise the version code is 1 + (byte % 7) and the rest is a
// run of sections, each a 16-bit byte length and that many bytes: mesh data,
// mesh pointers, mesh trees, frames, animations, moveables, object textures
// and static meshes, filled into the level record directly so that damaged
// tables reach the builders unfiltered.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/drawing_layer.h"
#include "fuzz_quiet.h"
#include "fuzz_scratch.h"
#include "level/trlevel.h"
#include "platform/rtl/messages.h"
#include "scene/level_textures.h"
#include "scene/mesh_draw.h"
#include "scene/mesh_list.h"
#include "scene/moveable_pose.h"

namespace {

bool LoadThroughReader(Ttrlevel& level, uint8_t selector, const uint8_t* data, size_t size)
{
    static const char* const kExtensions[] = {".phd", ".tub", ".tr2", ".trg", ".tr4", ".trc", ".TR2", ".tr3"};
    const std::string name = WriteScratchFile(std::string("level") + kExtensions[selector & 7], data, size);
    return level.LoadFromFile(name) == LEVEL_LOADED;
}

// Takes the next section: a 16-bit length and that many bytes (fewer at the end).
struct TSections {
    const uint8_t* p;
    size_t left;

    std::vector<uint8_t> Next()
    {
        if (left < 2) {
            left = 0;
            return {};
        }
        const size_t n = std::min<size_t>(size_t(p[0]) | size_t(p[1]) << 8, left - 2);
        std::vector<uint8_t> out(p + 2, p + 2 + n);
        p += 2 + n;
        left -= 2 + n;
        return out;
    }
};

// Whole elements of the section copied into the array, the count set by the setter.
template <class T, class Setter>
void Fill(std::vector<T>& array, const std::vector<uint8_t>& bytes, Setter set)
{
    const size_t n = bytes.size() / sizeof(T);
    set(uint32_t(n));
    if (n) std::memcpy(static_cast<void*>(array.data()), bytes.data(), n * sizeof(T));
}

void LoadSections(Ttrlevel& level, uint8_t selector, const uint8_t* data, size_t size)
{
    level.Clear();
    level.version_code = 1 + selector % 7;
    level.tag = LEVEL_TAG;
    TSections s{data, size};
    Fill(level.mesh_data, s.Next(), [&](uint32_t n) { level.SetNumMeshData(n); });
    Fill(level.mesh_pointers, s.Next(), [&](uint32_t n) { level.SetNumMeshPointers(n); });
    Fill(level.mesh_trees, s.Next(), [&](uint32_t n) { level.SetNumMeshTrees(n); });
    Fill(level.frames, s.Next(), [&](uint32_t n) { level.SetNumFrames(n); });
    Fill(level.animations, s.Next(), [&](uint32_t n) { level.SetNumAnimations(n); });
    Fill(level.moveables, s.Next(), [&](uint32_t n) { level.SetNumMoveables(n); });
    Fill(level.object_textures, s.Next(), [&](uint32_t n) { level.SetNumObjectTextures(n); });
    Fill(level.static_meshes, s.Next(), [&](uint32_t n) { level.SetNumStaticMeshes(n); });
}

void CheckList(const Tmesh_list& list)
{
    if (list.count != list.meshes.size()) abort();
    auto inside = [](const tmesh_range& r, size_t table) { return r.first <= table && r.count <= table - r.first; };
    for (const tmesh_record& r : list.meshes) {
        if (!inside(r.vertices, list.vertex_table.size()) || !inside(r.normals, list.normal_table.size()) ||
            !inside(r.shades, list.shade_table.size()) || !inside(r.textured_quads, list.textured_table.size()) ||
            !inside(r.textured_triangles, list.textured_table.size()) ||
            !inside(r.colored_quads, list.colored_table.size()) ||
            !inside(r.colored_triangles, list.colored_table.size()))
            abort();
        if (r.num_vertices != int32_t(r.vertices.count)) abort();
    }
    for (int32_t m : list.pointer_map)
        if (m < 0 || (m > 0 && uint32_t(m) >= list.count)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SilenceMessages();
    static Ttrlevel level;
    static Tmesh_list list;

    if (size == 0) return 0;
    const uint8_t selector = data[0];
    if (selector & 0x80) {
        if (!LoadThroughReader(level, selector, data + 1, size - 1)) return 0;
    } else {
        LoadSections(level, selector, data + 1, size - 1);
    }

    BuildMeshList(list, level);
    CheckList(list);
    LoadLevelTextures(level, LEVEL_TEXTURE_FIRST_ID);

    // The layer's own bounds, lowered so that one input stays quick: a
    // single moveable may ask for far more than this.
    TxGL gl;
    gl.VertexLimit = 200000;
    gl.LevelWorkLeft = int64_t(1) << 22;
    gl.LoadIdentity();
    gl.ColoredFaceTexture = 5002;
    const size_t textures = std::min<size_t>(level.object_textures.size(), 2000);
    for (size_t i = 0; i < textures; ++i) {
        float uv[8];
        ObjectTextureUV(level, int32_t(i), uv[0], uv[1], uv[2], uv[3], uv[4], uv[5], uv[6], uv[7]);
        int32_t a, b, c, d;
        TexturePixelBounds(level, int32_t(i), a, b, c, d);
    }
    // Drawing is linear in what the level asks for, but a small input can
    // ask for much: past a budget of vertices the rest is left undrawn.
    constexpr int64_t kBudget = 200000;
    int64_t drawn = 0;
    const int32_t meshes = int32_t(std::min<uint32_t>(list.count, 1000));
    for (int32_t i = -1; i <= meshes && drawn < kBudget; ++i) {
        BuildMeshObject(gl, LEVEL_TEXTURE_FIRST_ID, list, level, i, 1, 2, 3, 45, 0.1f, i % 2 == 0, false, i % 3 == 0,
                        0x8040C0);
        if (gl.Depth != 0) abort();
        drawn += gl.Vertices.Count();
        gl.ClearList(-1);
    }
    const int32_t moveables = int32_t(std::min<size_t>(level.moveables.size(), 100));
    for (int32_t m = 0; m <= moveables && drawn < kBudget; ++m) {
        const int32_t animations = GetAnimCount(level, m);
        for (int32_t k = -1; k < std::min(animations, 3) + 1; ++k) {
            // A frame past the last: the count may be as large as an int holds.
            const int32_t frames = GetFrameCount(level, m, k);
            GetFrameOffset(level, m, k, frames < INT32_MAX - 5 ? frames + 5 : INT32_MAX);
        }
        for (const int32_t frame : {0, 1, 1000, -1}) {
            BuildMoveableObject(gl, LEVEL_TEXTURE_FIRST_ID, list, level, m, frame == 1 ? 1 : 0, frame, 5, 6, 7, 90,
                                0.1f, frame == 1000, 10, 20, 30);
            if (gl.Depth != 0) abort();
        }
        drawn += gl.Vertices.Count();
        gl.ClearList(-1);
    }
    return 0;
}
