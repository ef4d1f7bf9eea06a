// The meshes of the loaded Basefile, parsed once out of the level's raw mesh
// data words into records that the mesh and moveable builders read by index,
// with a map from the level's mesh pointers to record indexes and what the
// player character's skin meshes need.
//
// A record keeps the fixed fields of its mesh and the ranges of its
// vertices, normals, shades and faces in the list's shared tables, so that
// parsing allocates nothing per mesh and a mesh of any size fits.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class Ttrlevel;

struct tmesh_vertex {
    int16_t x, y, z;
};

// A textured face: vertex indexes (from 0), the texture word (object
// texture index in its low 12 bits) and the effects word of TR4 and TRC
// meshes (0 for older ones). Triangles leave vertices[3] zero.
struct tmesh_textured_face {
    uint16_t vertices[4];
    uint16_t texture;
    uint16_t effects;
};

// A flat-coloured face of TR1 to TR3 meshes: vertex indexes and a palette
// colour index.
struct tmesh_colored_face {
    uint16_t vertices[4];
    uint16_t color;
};

// Where the elements of one kind of a record lie in the list's table.
struct tmesh_range {
    uint32_t first = 0;
    uint32_t count = 0;
};

// One level mesh.
struct tmesh_record {
    uint32_t data_offset = 0;  // bytes from the start of the level's mesh data
    int16_t centre[3] = {};
    int32_t radius = 0;
    // Counts as stored in the mesh, except that a mesh cut short by the end
    // of the mesh data keeps only the elements that are there, and negative
    // vertex or face counts count as 0. A negative normal count means the
    // mesh has that many vertex shades instead of normals.
    int16_t num_vertices = 0;
    int16_t num_normals = 0;
    int16_t num_textured_quads = 0;
    int16_t num_textured_triangles = 0;
    int16_t num_colored_quads = 0;      // TR1 to TR3 only
    int16_t num_colored_triangles = 0;  // TR1 to TR3 only
    tmesh_range vertices, normals, shades, textured_quads, textured_triangles, colored_quads, colored_triangles;
    // Extent of the vertices that faces use, in view units (x / 100, y and z
    // negated), and minus the centre of that box.
    double bbox_min[3] = {};
    double bbox_max[3] = {};
    double centre_offset[3] = {};
};

// The bounding box of a mesh without faces: minimum above maximum.
inline constexpr double MESH_BOX_EMPTY_MIN = 2144883647.0;
inline constexpr double MESH_BOX_EMPTY_MAX = -2144883648.0;

class Tmesh_list {
public:
    uint32_t count = 0;
    std::vector<tmesh_record> meshes;
    // One entry per level mesh pointer: the index of the record at that
    // pointer's data offset, 0 when there is none.
    std::vector<int32_t> pointer_map;
    // Skin substitution: a moveable mesh whose pointer maps to record 0 is
    // drawn with the skin moveable's mesh of the same number, except the
    // exempt mesh (from 1) of the exempt moveable (a moveable list index).
    uint32_t skin_first_mesh = 0;
    uint32_t exempt_moveable = 0;
    uint32_t exempt_mesh = 0;
    // One entry per moveable of the level: its number of animations (what
    // GetAnimCount gives), worked out in one walk over the moveables, so
    // that posing a moveable does not walk every moveable after it.
    std::vector<int32_t> animation_counts;

    // The shared tables the records point into.
    std::vector<tmesh_vertex> vertex_table;
    std::vector<tmesh_vertex> normal_table;
    std::vector<uint16_t> shade_table;
    std::vector<tmesh_textured_face> textured_table;
    std::vector<tmesh_colored_face> colored_table;

    std::span<const tmesh_vertex> Vertices(const tmesh_record& r) const { return Range(vertex_table, r.vertices); }
    std::span<const tmesh_vertex> Normals(const tmesh_record& r) const { return Range(normal_table, r.normals); }
    std::span<const uint16_t> Shades(const tmesh_record& r) const { return Range(shade_table, r.shades); }
    std::span<const tmesh_textured_face> TexturedQuads(const tmesh_record& r) const
    {
        return Range(textured_table, r.textured_quads);
    }
    std::span<const tmesh_textured_face> TexturedTriangles(const tmesh_record& r) const
    {
        return Range(textured_table, r.textured_triangles);
    }
    std::span<const tmesh_colored_face> ColoredQuads(const tmesh_record& r) const
    {
        return Range(colored_table, r.colored_quads);
    }
    std::span<const tmesh_colored_face> ColoredTriangles(const tmesh_record& r) const
    {
        return Range(colored_table, r.colored_triangles);
    }

    // The record index that mesh pointer i maps to, -1 when the level has no
    // such pointer.
    int32_t MapPointer(int64_t i) const
    {
        return i >= 0 && uint64_t(i) < pointer_map.size() ? pointer_map[size_t(i)] : -1;
    }

private:
    template <class T>
    static std::span<const T> Range(const std::vector<T>& table, const tmesh_range& r)
    {
        return std::span<const T>(table.data() + r.first, r.count);
    }
};

// The mesh pointers a level's moveables and statics can reach: a
// moveable's first mesh and its mesh count are 16-bit, and so is a static's
// mesh.
inline constexpr size_t REACHABLE_MESH_POINTERS = 2 * 65535 + 1;
// Meshes the list keeps whatever names them. The games' levels hold a few
// thousand; a record takes 160 bytes where an empty mesh takes 20 of the
// level's, and the mesh data of a compressed level can hold millions of
// them. Past these, a mesh is kept only when one of the reachable mesh
// pointers names it, so that no mesh a level can draw is lost and the list
// holds at most MAX_MESH_RECORDS + REACHABLE_MESH_POINTERS records.
inline constexpr uint32_t MAX_MESH_RECORDS = 1u << 20;

// Parses the mesh data of the level into the list, replacing what it held.
// A mesh that runs past the end of the data keeps what is there and ends
// the parsing.
void BuildMeshList(Tmesh_list& list, const Ttrlevel& level);

// The bounding box and centre offset of one record, over the corners of its
// faces. Faces that name a vertex the mesh does not have are left out.
void ComputeMeshBounds(Tmesh_list& list, int32_t index);

// The index of the first record at that data offset, or 0.
int32_t FindMeshByOffset(const Tmesh_list& list, uint32_t offset);
