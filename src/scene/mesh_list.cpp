#include "scene/mesh_list.h"

#include <algorithm>
#include <cstdint>

#include "level/trlevel.h"

namespace {

// Reads the mesh data words of a level; every read past the end gives 0 and
// marks the data as cut short.
class TMeshReader {
public:
    TMeshReader(const uint16_t* words, size_t end) : words_(words), end_(end) {}

    size_t Pos() const { return pos_; }
    bool AtEnd() const { return pos_ >= end_; }
    bool CutShort() const { return cutShort_; }

    uint16_t Word()
    {
        if (pos_ >= end_) {
            cutShort_ = true;
            return 0;
        }
        return words_[pos_++];
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    int32_t Long()
    {
        const uint32_t low = Word();
        const uint32_t high = Word();
        return static_cast<int32_t>(low | (high << 16));
    }
    void Skip(size_t n)
    {
        if (end_ - pos_ < n) {
            pos_ = end_;
            cutShort_ = true;
        } else {
            pos_ += n;
        }
    }
    // How many of `n` elements of `size` words each are there in full.
    uint32_t Available(uint32_t n, size_t size) const
    {
        const size_t room = (end_ - pos_) / size;
        return static_cast<uint32_t>(std::min<size_t>(n, room));
    }
    const uint16_t* Here() const { return words_ + pos_; }

private:
    const uint16_t* words_;
    size_t end_;
    size_t pos_ = 0;
    bool cutShort_ = false;
};

// Reads up to `n` records of `size` words each into the table, as many as
// the data holds in full (make turns a record's words into its entry); the
// range holds the ones read. The reader moves past all `n`. Always inlined:
// the loop is the mesh list's hot path and wants its stride and entry known.
template <class TEntry, class FMake>
[[gnu::always_inline]] inline void ReadRecords(TMeshReader& in, uint32_t n, size_t size, std::vector<TEntry>& table,
                                               tmesh_range& range, FMake make)
{
    const uint32_t have = in.Available(n, size);
    range.first = static_cast<uint32_t>(table.size());
    range.count = have;
    const uint16_t* p = in.Here();
    for (uint32_t i = 0; i < have; ++i, p += size) table.push_back(make(p));
    in.Skip(size_t(n) * size);
}

void ReadTriples(TMeshReader& in, uint32_t n, std::vector<tmesh_vertex>& table, tmesh_range& range)
{
    ReadRecords(in, n, 3, table, range, [](const uint16_t* p) {
        return tmesh_vertex{int16_t(p[0]), int16_t(p[1]), int16_t(p[2])};
    });
}

void ReadTexturedFaces(TMeshReader& in, uint32_t n, int corners, bool effects, std::vector<tmesh_textured_face>& table,
                       tmesh_range& range)
{
    ReadRecords(in, n, size_t(corners) + 1 + (effects ? 1 : 0), table, range, [corners, effects](const uint16_t* p) {
        tmesh_textured_face f{};
        for (int c = 0; c < corners; ++c) f.vertices[c] = p[c];
        f.texture = p[corners];
        if (effects) f.effects = p[corners + 1];
        return f;
    });
}

void ReadColoredFaces(TMeshReader& in, uint32_t n, int corners, std::vector<tmesh_colored_face>& table,
                      tmesh_range& range)
{
    ReadRecords(in, n, size_t(corners) + 1, table, range, [corners](const uint16_t* p) {
        tmesh_colored_face f{};
        for (int c = 0; c < corners; ++c) f.vertices[c] = p[c];
        f.color = p[corners];
        return f;
    });
}

// A count as stored; negative counts hold nothing.
uint32_t ElementCount(int16_t stored) { return stored > 0 ? uint32_t(stored) : 0; }

void ResetBox(tmesh_record& r)
{
    for (int a = 0; a < 3; ++a) {
        r.bbox_min[a] = MESH_BOX_EMPTY_MIN;
        r.bbox_max[a] = MESH_BOX_EMPTY_MAX;
    }
}

struct TSkinSettings {
    uint32_t skinObject, exemptMoveable, exemptMesh;
};

TSkinSettings SkinSettings(int32_t versionCode)
{
    if (versionCode == LEVEL_TR3) return {315, 1, 2};
    if (versionCode == LEVEL_TR4 || versionCode == LEVEL_TRC) return {8, 1, 11};
    return {0, 0, 1};
}

// The skin moveable's first mesh and the mesh exempt from the skin, by the
// level's version.
void FindSkin(Tmesh_list& list, const Ttrlevel& level)
{
    const TSkinSettings skin = SkinSettings(level.version_code);
    list.skin_first_mesh = 0;
    list.exempt_moveable = skin.exemptMoveable;
    list.exempt_mesh = skin.exemptMesh;
    const size_t moveables = std::min<size_t>(level.num_moveables, level.moveables.size());
    for (size_t i = 0; i < moveables; ++i) {
        const uint32_t id = level.moveables[i].object_id;
        if (id == skin.skinObject) {
            list.skin_first_mesh = level.moveables[i].starting_mesh;
            break;
        }
    }
}

// The animation count of every moveable: up to the first animation of the
// next moveable that has any, else up to the level's animation count;
// walked from the last moveable back, so that each is looked at once.
void CountAnimations(Tmesh_list& list, const Ttrlevel& level)
{
    const size_t moveables = std::min<size_t>(level.num_moveables, level.moveables.size());
    list.animation_counts.assign(moveables, 0);
    int64_t end = level.num_animations;  // the first animation of the next moveable that has any
    for (size_t i = moveables; i-- > 0;) {
        const int32_t first = level.moveables[i].animation;
        if (first == -1) continue;
        list.animation_counts[i] = int32_t(std::clamp<int64_t>(end - first, INT32_MIN, INT32_MAX));
        if (first >= 0) end = first;
    }
}

}  // namespace

namespace {

// Parses the mesh at the reader's position into r, its elements appended to
// the list's tables, and moves the reader to where the next mesh starts.
void ReadMeshRecord(TMeshReader& in, Tmesh_list& list, bool newLayout, tmesh_record& r)
{
    const size_t start = in.Pos();
    ResetBox(r);
    r.data_offset = static_cast<uint32_t>(start * 2);
    for (int16_t& c : r.centre) c = in.Short();
    r.radius = in.Long();

    const uint32_t vertexCount = ElementCount(in.Short());
    ReadTriples(in, vertexCount, list.vertex_table, r.vertices);
    r.num_vertices = static_cast<int16_t>(r.vertices.count);

    const int16_t normalCount = in.Short();
    if (normalCount >= 0) {
        ReadTriples(in, uint32_t(normalCount), list.normal_table, r.normals);
        r.num_normals = static_cast<int16_t>(r.normals.count);
    } else {
        const uint32_t n = uint32_t(-int32_t(normalCount));
        const uint32_t have = in.Available(n, 1);
        r.shades.first = static_cast<uint32_t>(list.shade_table.size());
        r.shades.count = have;
        list.shade_table.insert(list.shade_table.end(), in.Here(), in.Here() + have);
        in.Skip(n);
        r.num_normals = static_cast<int16_t>(-int32_t(have));
    }

    ReadTexturedFaces(in, ElementCount(in.Short()), 4, newLayout, list.textured_table, r.textured_quads);
    r.num_textured_quads = static_cast<int16_t>(r.textured_quads.count);
    ReadTexturedFaces(in, ElementCount(in.Short()), 3, newLayout, list.textured_table, r.textured_triangles);
    r.num_textured_triangles = static_cast<int16_t>(r.textured_triangles.count);

    if (!newLayout) {
        ReadColoredFaces(in, ElementCount(in.Short()), 4, list.colored_table, r.colored_quads);
        r.num_colored_quads = static_cast<int16_t>(r.colored_quads.count);
        ReadColoredFaces(in, ElementCount(in.Short()), 3, list.colored_table, r.colored_triangles);
        r.num_colored_triangles = static_cast<int16_t>(r.colored_triangles.count);
    }

    // Meshes start on 4-byte boundaries.
    if ((in.Pos() - start) % 2 != 0) in.Skip(1);
}

// The sizes of the list's tables, to take back what a mesh that is not kept
// appended to them.
struct TTableSizes {
    size_t vertices, normals, shades, textured, colored;
    explicit TTableSizes(const Tmesh_list& l)
        : vertices(l.vertex_table.size()),
          normals(l.normal_table.size()),
          shades(l.shade_table.size()),
          textured(l.textured_table.size()),
          colored(l.colored_table.size())
    {
    }
    void Restore(Tmesh_list& l) const
    {
        l.vertex_table.resize(vertices);
        l.normal_table.resize(normals);
        l.shade_table.resize(shades);
        l.textured_table.resize(textured);
        l.colored_table.resize(colored);
    }
};

// The data offsets that the mesh pointers moveables and statics can reach
// name, in order.
std::vector<uint32_t> ReachableOffsets(const Ttrlevel& level)
{
    const size_t pointers = std::min<size_t>(level.num_mesh_pointers, level.mesh_pointers.size());
    std::vector<uint32_t> offsets(level.mesh_pointers.begin(),
                                  level.mesh_pointers.begin() + std::min(pointers, REACHABLE_MESH_POINTERS));
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    return offsets;
}

}  // namespace

void BuildMeshList(Tmesh_list& list, const Ttrlevel& level)
{
    list.count = 0;
    list.meshes.clear();
    list.vertex_table.clear();
    list.normal_table.clear();
    list.shade_table.clear();
    list.textured_table.clear();
    list.colored_table.clear();

    const bool newLayout = level.version_code >= LEVEL_TR4;  // effects words, no coloured faces
    const size_t words = std::min<size_t>(level.num_mesh_data, level.mesh_data.size());
    TMeshReader in(level.mesh_data.data(), words);
    std::vector<uint32_t> reachable;  // once MAX_MESH_RECORDS meshes are kept

    while (!in.AtEnd()) {
        if (list.count == MAX_MESH_RECORDS && reachable.empty()) {
            reachable = ReachableOffsets(level);
            if (reachable.empty()) break;
        }
        const TTableSizes sizes(list);
        tmesh_record r;
        ReadMeshRecord(in, list, newLayout, r);
        if (list.count < MAX_MESH_RECORDS || std::binary_search(reachable.begin(), reachable.end(), r.data_offset)) {
            list.meshes.push_back(r);
            ComputeMeshBounds(list, static_cast<int32_t>(list.count));
            ++list.count;
        } else {
            sizes.Restore(list);
        }
        // A mesh cut short leaves nothing to parse after it.
        if (in.CutShort()) break;
    }

    const size_t pointers = std::min<size_t>(level.num_mesh_pointers, level.mesh_pointers.size());
    list.pointer_map.resize(pointers);
    for (size_t i = 0; i < pointers; ++i) list.pointer_map[i] = FindMeshByOffset(list, level.mesh_pointers[i]);

    CountAnimations(list, level);
    FindSkin(list, level);
}

void ComputeMeshBounds(Tmesh_list& list, int32_t index)
{
    if (index < 0 || size_t(index) >= list.meshes.size()) return;
    tmesh_record& r = list.meshes[size_t(index)];
    ResetBox(r);
    const std::span<const tmesh_vertex> vertices = list.Vertices(r);
    auto take = [&](const uint16_t* corners, int n) {
        for (int c = 0; c < n; ++c)
            if (corners[c] >= vertices.size()) return;
        for (int c = 0; c < n; ++c) {
            const tmesh_vertex v = vertices[corners[c]];
            const double p[3] = {v.x / 100.0, -(v.y / 100.0), -(v.z / 100.0)};
            for (int a = 0; a < 3; ++a) {
                r.bbox_min[a] = std::min(r.bbox_min[a], p[a]);
                r.bbox_max[a] = std::max(r.bbox_max[a], p[a]);
            }
        }
    };
    for (const tmesh_textured_face& f : list.TexturedQuads(r)) take(f.vertices, 4);
    for (const tmesh_textured_face& f : list.TexturedTriangles(r)) take(f.vertices, 3);
    for (const tmesh_colored_face& f : list.ColoredQuads(r)) take(f.vertices, 4);
    for (const tmesh_colored_face& f : list.ColoredTriangles(r)) take(f.vertices, 3);
    for (int a = 0; a < 3; ++a) r.centre_offset[a] = -((r.bbox_max[a] - r.bbox_min[a]) / 2 + r.bbox_min[a]);
}

int32_t FindMeshByOffset(const Tmesh_list& list, uint32_t offset)
{
    // Records lie in data order, so their offsets rise strictly.
    const size_t n = std::min<size_t>(list.count, list.meshes.size());
    const auto end = list.meshes.begin() + static_cast<std::ptrdiff_t>(n);
    const auto it = std::lower_bound(list.meshes.begin(), end, offset,
                                     [](const tmesh_record& r, uint32_t o) { return r.data_offset < o; });
    if (it == end || it->data_offset != offset) return 0;
    return static_cast<int32_t>(it - list.meshes.begin());
}
