#include <gtest/gtest.h>

#include "level/trlevel.h"
#include "mesh_test_helpers.h"
#include "scene/mesh_list.h"
#include "support/level_writer.h"

using namespace mesh_test;

namespace {

// Two meshes: one with normals and every kind of face, one with shades.
TLevelDesc TwoMeshLevel(int code)
{
    TLevelDesc d;
    d.version_code = code;
    TMeshDesc a;
    a.centre = {10, -20, 30};
    a.radius = 70000;
    a.vertices = {{100, -200, 300}, {-400, 500, -600}, {700, 800, 900}, {1, 2, 3}, {-5, -6, -7}};
    a.normals = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}};
    a.textured_quads = {{{0, 1, 2, 3}, 0x8005, 0x11}, {{4, 3, 2, 1}, 7, 0x22}};
    a.textured_triangles = {{{0, 2, 4, 0}, 3, 0x33}};
    a.colored_quads = {{{1, 2, 3, 4}, 0x1234, 0}};
    a.colored_triangles = {{{2, 3, 4, 0}, 0x0506, 0}, {{0, 1, 2, 0}, 9, 0}};
    TMeshDesc b;
    b.centre = {-1, -2, -3};
    b.radius = -5;
    b.vertices = {{0, 0, 0}, {1000, 1000, 1000}};
    b.shades = {100, 8191};
    b.textured_triangles = {{{0, 1, 0, 0}, 2, 0}};
    AddMesh(d, a);
    AddMesh(d, b);
    return d;
}

class MeshListByVersion : public ::testing::TestWithParam<int> {};

TEST_P(MeshListByVersion, RecordsHoldTheFieldsOfEveryMesh)
{
    const int code = GetParam();
    const bool newLayout = code >= LEVEL_TR4;
    const TLevelDesc desc = TwoMeshLevel(code);
    const auto level = LoadLevel(desc);
    Tmesh_list list;
    BuildMeshList(list, *level);

    ASSERT_EQ(list.count, 2u);
    ASSERT_EQ(list.meshes.size(), 2u);
    const tmesh_record& a = list.meshes[0];
    EXPECT_EQ(a.data_offset, 0u);
    EXPECT_EQ(a.centre[0], 10);
    EXPECT_EQ(a.centre[1], -20);
    EXPECT_EQ(a.centre[2], 30);
    EXPECT_EQ(a.radius, 70000);
    ASSERT_EQ(a.num_vertices, 5);
    EXPECT_EQ(list.Vertices(a)[1].x, -400);
    EXPECT_EQ(list.Vertices(a)[1].y, 500);
    EXPECT_EQ(list.Vertices(a)[4].z, -7);
    ASSERT_EQ(a.num_normals, 5);
    EXPECT_EQ(list.Normals(a)[4].x, 13);
    EXPECT_EQ(list.Shades(a).size(), 0u);
    ASSERT_EQ(a.num_textured_quads, 2);
    EXPECT_EQ(list.TexturedQuads(a)[0].texture, 0x8005);
    EXPECT_EQ(list.TexturedQuads(a)[1].vertices[0], 4);
    EXPECT_EQ(list.TexturedQuads(a)[1].vertices[3], 1);
    EXPECT_EQ(list.TexturedQuads(a)[0].effects, newLayout ? 0x11 : 0);
    ASSERT_EQ(a.num_textured_triangles, 1);
    EXPECT_EQ(list.TexturedTriangles(a)[0].vertices[2], 4);
    EXPECT_EQ(list.TexturedTriangles(a)[0].texture, 3);
    EXPECT_EQ(list.TexturedTriangles(a)[0].effects, newLayout ? 0x33 : 0);
    if (newLayout) {
        // These files have no coloured faces.
        EXPECT_EQ(a.num_colored_quads, 0);
        EXPECT_EQ(a.num_colored_triangles, 0);
    } else {
        ASSERT_EQ(a.num_colored_quads, 1);
        EXPECT_EQ(list.ColoredQuads(a)[0].color, 0x1234);
        EXPECT_EQ(list.ColoredQuads(a)[0].vertices[3], 4);
        ASSERT_EQ(a.num_colored_triangles, 2);
        EXPECT_EQ(list.ColoredTriangles(a)[1].color, 9);
    }

    const tmesh_record& b = list.meshes[1];
    EXPECT_EQ(b.data_offset, desc.mesh_pointers[1]);
    EXPECT_EQ(b.data_offset % 4, 0u);
    EXPECT_EQ(b.radius, -5);
    EXPECT_EQ(b.num_normals, -2);
    ASSERT_EQ(list.Shades(b).size(), 2u);
    EXPECT_EQ(list.Shades(b)[1], 8191);
    EXPECT_EQ(b.num_textured_quads, 0);
    EXPECT_EQ(b.num_textured_triangles, 1);

    ASSERT_EQ(list.pointer_map.size(), 2u);
    EXPECT_EQ(list.pointer_map[0], 0);
    EXPECT_EQ(list.pointer_map[1], 1);
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, MeshListByVersion,
                         ::testing::Values(LEVEL_TR1, LEVEL_TR1_TUB, LEVEL_TR2, LEVEL_TR2_TRG, LEVEL_TR3, LEVEL_TR4,
                                           LEVEL_TRC));

// Fills the level's mesh sections directly, as a damaged file could.
void SetMeshData(Ttrlevel& level, int code, const std::vector<uint16_t>& words, const std::vector<uint32_t>& pointers = {})
{
    level.version_code = code;
    level.SetNumMeshData(uint32_t(words.size()));
    level.mesh_data = words;
    level.SetNumMeshPointers(uint32_t(pointers.size()));
    level.mesh_pointers = pointers;
}

TEST(MeshList, MeshesStartOnFourByteBoundaries)
{
    // TR4, no vertices: 9 words (18 bytes), so 2 bytes are skipped; with
    // one vertex 12 words (24 bytes), nothing is skipped.
    Ttrlevel level;
    SetMeshData(level, LEVEL_TR4,
                {1, 2, 3, 0, 0, 0, 0, 0, 0, 0xEEEE,      // mesh at 0 and its padding
                 4, 5, 6, 0, 0, 1, 7, 8, 9, 0, 0, 0,    // mesh at 20
                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},          // mesh at 44
                {44, 20, 0, 22, 4000});
    Tmesh_list list;
    BuildMeshList(list, level);
    ASSERT_EQ(list.count, 3u);
    EXPECT_EQ(list.meshes[0].data_offset, 0u);
    EXPECT_EQ(list.meshes[1].data_offset, 20u);
    EXPECT_EQ(list.meshes[1].centre[0], 4);
    EXPECT_EQ(list.Vertices(list.meshes[1])[0].z, 9);
    EXPECT_EQ(list.meshes[2].data_offset, 44u);
    // Pointers map to records by offset; an offset that starts no record maps to 0.
    EXPECT_EQ(list.pointer_map, (std::vector<int32_t>{2, 1, 0, 0, 0}));
    EXPECT_EQ(FindMeshByOffset(list, 44), 2);
    EXPECT_EQ(FindMeshByOffset(list, 43), 0);
    EXPECT_EQ(FindMeshByOffset(list, 1u << 31), 0);
}

TEST(MeshList, BoundsCountOnlyTheCornersOfFaces)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    TMeshDesc m;
    m.vertices = {{-100, 200, 300}, {500, -600, -700}, {0, 0, 0}, {30000, 30000, 30000}};
    m.normals.resize(4);
    m.textured_triangles = {{{0, 1, 2, 0}, 0, 0}};
    AddMesh(d, m);
    const auto level = LoadLevel(d);
    Tmesh_list list;
    BuildMeshList(list, *level);
    ASSERT_EQ(list.count, 1u);
    const tmesh_record& r = list.meshes[0];
    // x / 100, y and z negated; the fourth vertex belongs to no face.
    EXPECT_DOUBLE_EQ(r.bbox_min[0], -1.0);
    EXPECT_DOUBLE_EQ(r.bbox_max[0], 5.0);
    EXPECT_DOUBLE_EQ(r.bbox_min[1], -2.0);
    EXPECT_DOUBLE_EQ(r.bbox_max[1], 6.0);
    EXPECT_DOUBLE_EQ(r.bbox_min[2], -3.0);
    EXPECT_DOUBLE_EQ(r.bbox_max[2], 7.0);
    EXPECT_DOUBLE_EQ(r.centre_offset[0], -2.0);
    EXPECT_DOUBLE_EQ(r.centre_offset[1], -2.0);
    EXPECT_DOUBLE_EQ(r.centre_offset[2], -2.0);
}

TEST(MeshList, MeshWithoutFacesKeepsTheEmptyBox)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR1;
    TMeshDesc m;
    m.vertices = {{100, 100, 100}};
    m.normals.resize(1);
    AddMesh(d, m);
    const auto level = LoadLevel(d);
    Tmesh_list list;
    BuildMeshList(list, *level);
    ASSERT_EQ(list.count, 1u);
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(list.meshes[0].bbox_min[a], 2144883647.0);
        EXPECT_EQ(list.meshes[0].bbox_max[a], -2144883648.0);
        EXPECT_DOUBLE_EQ(list.meshes[0].centre_offset[a], 0.5);
    }
    // Asking for a record that does not exist changes nothing.
    ComputeMeshBounds(list, 1);
    ComputeMeshBounds(list, -1);
}

struct TSkinCase {
    int code;
    uint32_t skinObject;
    uint32_t exemptMoveable, exemptMesh;
};

class MeshListSkin : public ::testing::TestWithParam<TSkinCase> {};

TEST_P(MeshListSkin, SkinSettingsFollowTheVersion)
{
    const TSkinCase c = GetParam();
    TLevelDesc d;
    d.version_code = c.code;
    const uint32_t mesh = AddMesh(d, AxisTriangle(0));
    // The skin moveable is the third one and starts at pointer 3.
    for (uint32_t id : {c.skinObject + 1, c.skinObject + 2}) {
        TMoveableDesc m;
        m.object_id = id;
        m.mesh_offsets = {MeshOffset(d, mesh)};
        AddMoveable(d, m);
    }
    TMoveableDesc skin;
    skin.object_id = c.skinObject;
    skin.mesh_offsets = {MeshOffset(d, mesh), MeshOffset(d, mesh)};
    AddMoveable(d, skin);
    TMoveableDesc again = skin;  // a second one with the id does not count
    AddMoveable(d, again);

    const auto level = LoadLevel(d);
    Tmesh_list list;
    BuildMeshList(list, *level);
    EXPECT_EQ(list.skin_first_mesh, 3u);
    EXPECT_EQ(list.exempt_moveable, c.exemptMoveable);
    EXPECT_EQ(list.exempt_mesh, c.exemptMesh);

    // Without a moveable of that id the skin starts at 0.
    d.moveables.erase(d.moveables.begin() + 2, d.moveables.end());
    const auto without = LoadLevel(d);
    BuildMeshList(list, *without);
    EXPECT_EQ(list.skin_first_mesh, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, MeshListSkin,
                         ::testing::Values(TSkinCase{LEVEL_TR1, 0, 0, 1}, TSkinCase{LEVEL_TR1_TUB, 0, 0, 1},
                                           TSkinCase{LEVEL_TR2, 0, 0, 1}, TSkinCase{LEVEL_TR2_TRG, 0, 0, 1},
                                           TSkinCase{LEVEL_TR3, 315, 1, 2}, TSkinCase{LEVEL_TR4, 8, 1, 11},
                                           TSkinCase{LEVEL_TRC, 8, 1, 11}));

TEST(MeshList, RebuildingReplacesTheRecords)
{
    const auto first = LoadLevel(TwoMeshLevel(LEVEL_TR3));
    Tmesh_list list;
    BuildMeshList(list, *first);
    ASSERT_EQ(list.count, 2u);

    TLevelDesc d;
    d.version_code = LEVEL_TR4;
    AddMesh(d, AxisTriangle(1));
    const auto second = LoadLevel(d);
    BuildMeshList(list, *second);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(list.meshes.size(), 1u);
    EXPECT_EQ(list.vertex_table.size(), 3u);
    EXPECT_EQ(list.pointer_map, std::vector<int32_t>{0});

    Ttrlevel empty;
    BuildMeshList(list, empty);
    EXPECT_EQ(list.count, 0u);
    EXPECT_TRUE(list.pointer_map.empty());
    EXPECT_EQ(list.skin_first_mesh, 0u);
}

TEST(MeshListDamaged, MeshCutShortKeepsWhatIsThereAndEndsTheList)
{
    // TR2: 4 vertices announced, 2 present.
    Ttrlevel level;
    SetMeshData(level, LEVEL_TR2, {0, 0, 0, 0, 0, 4, 1, 2, 3, 4, 5, 6, 7});
    Tmesh_list list;
    BuildMeshList(list, level);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(list.meshes[0].num_vertices, 2);
    EXPECT_EQ(list.meshes[0].num_normals, 0);
    EXPECT_EQ(list.Vertices(list.meshes[0])[1].x, 4);

    // Faces announced beyond the end: those that are there in full are kept.
    SetMeshData(level, LEVEL_TR1, {0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 5, 1, 1, 1, 1, 6, 2});
    BuildMeshList(list, level);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(list.meshes[0].num_textured_quads, 2);
    EXPECT_EQ(list.TexturedQuads(list.meshes[0])[1].texture, 6);
    EXPECT_EQ(list.meshes[0].num_textured_triangles, 0);

    // Shades cut short.
    SetMeshData(level, LEVEL_TR3, {0, 0, 0, 0, 0, 0, uint16_t(-3), 9});
    BuildMeshList(list, level);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(list.meshes[0].num_normals, -1);
    EXPECT_EQ(list.Shades(list.meshes[0])[0], 9);
}

TEST(MeshListDamaged, NegativeCountsHoldNothing)
{
    Ttrlevel level;
    // TR4: vertex count -2, normals 0, textured quads -1, textured triangles -7; then a second mesh.
    SetMeshData(level, LEVEL_TR4,
                {0, 0, 0, 0, 0, uint16_t(-2), 0, uint16_t(-1), uint16_t(-7), 0,  // 9 words and padding
                 5, 5, 5, 0, 0, 0, 0, 0, 0, 0});
    Tmesh_list list;
    BuildMeshList(list, level);
    ASSERT_EQ(list.count, 2u);
    EXPECT_EQ(list.meshes[0].num_vertices, 0);
    EXPECT_EQ(list.meshes[0].num_textured_quads, 0);
    EXPECT_EQ(list.meshes[0].num_textured_triangles, 0);
    EXPECT_EQ(list.meshes[1].data_offset, 20u);
    EXPECT_EQ(list.meshes[1].centre[2], 5);
}

TEST(MeshListDamaged, FacesNamingMissingVerticesStayOutOfTheBounds)
{
    Ttrlevel level;
    // TR2: two vertices; a triangle naming vertex 9 and one naming 0 and 1.
    SetMeshData(level, LEVEL_TR2,
                {0, 0, 0, 0, 0, 2, 100, 0, 0, 200, 0, 0, 0,
                 0,                        // textured quads
                 2, 0, 1, 9, 0, 0, 1, 1, 0,  // textured triangles
                 0, 0, 0});
    Tmesh_list list;
    BuildMeshList(list, level);
    ASSERT_EQ(list.count, 1u);
    EXPECT_EQ(list.meshes[0].num_textured_triangles, 2);
    EXPECT_DOUBLE_EQ(list.meshes[0].bbox_min[0], 1.0);
    EXPECT_DOUBLE_EQ(list.meshes[0].bbox_max[0], 2.0);
}

TEST(MeshListDamaged, CountsBeyondTheirArraysAreNotTrusted)
{
    Ttrlevel level;
    SetMeshData(level, LEVEL_TR4, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0});
    level.num_mesh_data = 1000;      // more words than the array holds
    level.num_mesh_pointers = 1000;  // more pointers than the array holds
    level.num_moveables = 5;         // no moveables at all
    Tmesh_list list;
    BuildMeshList(list, level);
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(list.pointer_map.size(), 1u);
    EXPECT_EQ(list.MapPointer(1), -1);
    EXPECT_EQ(list.MapPointer(-1), -1);
}

}  // namespace
