// The level's meshes: parsed into records from files of every version the
// level writer makes and from damaged mesh data, and drawn into the drawing
// layer placed, turned, shaded and mapped onto their texture pages.
#include <gmock/gmock.h>

#include "scene/mesh_draw.h"
#include "support/view_fixture.h"

using ::testing::ElementsAre;

namespace {

// Fills the level's mesh sections directly, as a damaged file could.
Ttrlevel& MeshData(Ttrlevel& level, int code, const std::vector<uint16_t>& words,
                   const std::vector<uint32_t>& pointers = {})
{
    level.version_code = code;
    level.SetNumMeshData(uint32_t(words.size()));
    level.mesh_data = words;
    level.SetNumMeshPointers(uint32_t(pointers.size()));
    level.mesh_pointers = pointers;
    return level;
}

class MeshDraw : public ::testing::Test, protected TLevelMeshes {
protected:
    // A level of one mesh with the object textures of the given tiles, drawn
    // flat or shaded in the colour, moved by (x, 2 x, 3 x) and turned.
    std::vector<txgl_vertex> Draw(int code, const TMeshDesc& mesh, bool flat = false, uint32_t colour = 0xFFFFFF,
                                  double x = 0, float angle = 0, std::vector<uint16_t> tiles = {0})
    {
        TLevelDesc d;
        d.version_code = code;
        for (uint16_t tile : tiles) d.object_textures.push_back(SquareTexture(tile));
        AddMesh(d, mesh);
        Load(d);
        gl.ClearList(-1);
        gl.LoadIdentity();
        BuildMeshObject(gl, LEVEL_TEXTURE_FIRST_ID, meshes, *level, 0, x, 2 * x, 3 * x, angle, LEVEL_OBJECT_SCALE,
                        false, false, flat, colour);
        EXPECT_EQ(int(gl.Depth), 0);
        EXPECT_TRUE(D3DXMatrixIsIdentity(&gl.CurrentMatrix));
        return Emitted(gl);
    }
    TxGL gl;
};

}  // namespace

class MeshListByVersion : public ::testing::TestWithParam<int> {};

TEST_P(MeshListByVersion, RecordsHoldTheFieldsOfEveryMesh)
{
    const int code = GetParam();
    const bool newLayout = code >= LEVEL_TR4;  // effects words, no coloured faces
    TLevelDesc d;
    d.version_code = code;
    TMeshDesc a;  // normals and every kind of face
    a.centre = {10, -20, 30};
    a.radius = 70000;
    a.vertices = {{100, -200, 300}, {-400, 500, -600}, {700, 800, 900}, {1, 2, 3}, {-5, -6, -7}};
    a.normals = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}};
    a.textured_quads = {{{0, 1, 2, 3}, 0x8005, 0x11}, {{4, 3, 2, 1}, 7, 0x22}};
    a.textured_triangles = {{{0, 2, 4, 0}, 3, 0x33}};
    a.colored_quads = {{{1, 2, 3, 4}, 0x1234, 0}};
    a.colored_triangles = {{{2, 3, 4, 0}, 0x0506, 0}, {{0, 1, 2, 0}, 9, 0}};
    TMeshDesc b;  // shades
    b.vertices = {{0, 0, 0}, {1000, 1000, 1000}};
    b.shades = {100, 8191};
    b.textured_triangles = {{{0, 1, 0, 0}, 2, 0}};
    AddMesh(d, a);
    AddMesh(d, b);
    TLevelMeshes loaded;
    loaded.Load(d);
    const Tmesh_list& list = loaded.meshes;
    ASSERT_EQ(list.count, 2u);
    const tmesh_record& r = list.meshes[0];
    EXPECT_EQ(r.data_offset, 0u);
    EXPECT_THAT(r.centre, ElementsAre(10, -20, 30));
    EXPECT_EQ(r.radius, 70000);
    // vertices, normals, textured quads and triangles
    ASSERT_EQ(std::tuple(r.num_vertices, r.num_normals, r.num_textured_quads, r.num_textured_triangles),
              std::tuple(5, 5, 2, 1));
    EXPECT_EQ(list.Vertices(r)[1].x, -400);
    EXPECT_EQ(list.Vertices(r)[1].y, 500);
    EXPECT_EQ(list.Vertices(r)[4].z, -7);
    EXPECT_EQ(list.Normals(r)[4].x, 13);
    EXPECT_EQ(list.TexturedQuads(r)[0].texture, 0x8005);
    EXPECT_EQ(list.TexturedQuads(r)[1].vertices[3], 1);
    EXPECT_EQ(list.TexturedTriangles(r)[0].vertices[2], 4);
    EXPECT_EQ(list.TexturedQuads(r)[0].effects, newLayout ? 0x11 : 0);
    EXPECT_EQ(list.TexturedTriangles(r)[0].effects, newLayout ? 0x33 : 0);
    EXPECT_EQ(r.num_colored_quads + r.num_colored_triangles, newLayout ? 0 : 3);
    if (!newLayout) {
        EXPECT_EQ(list.ColoredQuads(r)[0].color, 0x1234);
        EXPECT_EQ(list.ColoredQuads(r)[0].vertices[3], 4);
        EXPECT_EQ(list.ColoredTriangles(r)[1].color, 9);
    }
    const tmesh_record& s = list.meshes[1];
    EXPECT_EQ(s.data_offset, d.mesh_pointers[1]);
    EXPECT_EQ(s.num_normals, -2);
    EXPECT_EQ(list.Shades(s)[1], 8191);
    EXPECT_EQ(s.num_textured_triangles, 1);
    EXPECT_EQ(list.pointer_map, (std::vector<int32_t>{0, 1}));
}

INSTANTIATE_TEST_SUITE_P(EveryVersion, MeshListByVersion,
                         ::testing::Values(LEVEL_TR1, LEVEL_TR1_TUB, LEVEL_TR2, LEVEL_TR2_TRG, LEVEL_TR3, LEVEL_TR4,
                                           LEVEL_TRC));

TEST(MeshList, BoundsSkinAndDamagedData)
{
    // The box over the corners of faces (x / 100, y and z negated), not of
    // other vertices; the player's skin is the first moveable of object 315.
    TLevelDesc d;
    d.version_code = LEVEL_TR3;
    TMeshDesc m;
    m.vertices = {{-100, 200, 300}, {500, -600, -700}, {0, 0, 0}, {30000, 30000, 30000}};
    m.normals.resize(4);
    m.textured_triangles = {{{0, 1, 2, 0}, 0, 0}};
    const uint32_t mesh = AddMesh(d, m);
    for (uint32_t id : {316u, 315u, 315u})
        AddMoveable(d, TMoveableDesc{id, {}, {MeshOffset(d, mesh), MeshOffset(d, mesh)}, {}, {}});
    TLevelMeshes loaded;
    loaded.Load(d);
    Tmesh_list& list = loaded.meshes;
    const tmesh_record& r = list.meshes[0];
    EXPECT_THAT(r.bbox_min, ElementsAre(-1.0, -2.0, -3.0));
    EXPECT_THAT(r.bbox_max, ElementsAre(5.0, 6.0, 7.0));
    EXPECT_THAT(r.centre_offset, ElementsAre(-2.0, -2.0, -2.0));
    // the skin's first mesh, the exempt moveable and its exempt mesh
    EXPECT_EQ(std::tuple(list.skin_first_mesh, list.exempt_moveable, list.exempt_mesh), std::tuple(3u, 1u, 2u));

    Ttrlevel level;
    // Meshes start on 4-byte boundaries: 9 words (TR4, no vertices) skip one;
    // 12 words none. Pointers map to the record at their offset, else to 0.
    BuildMeshList(list, MeshData(level, LEVEL_TR4, {1, 2, 3, 0, 0, 0, 0, 0, 0, 0xEEEE, 4, 5, 6, 0, 0, 1,
                                                    7, 8, 9, 0, 0, 0, 0, 0, 0, 0,      0, 0, 0, 0, 0, 0},
                                 {44, 20, 0, 22, 4000}));
    ASSERT_EQ(list.count, 3u);
    EXPECT_EQ(list.meshes[1].centre[0], 4);
    EXPECT_EQ(list.Vertices(list.meshes[1])[0].z, 9);
    EXPECT_EQ(list.meshes[2].data_offset, 44u);
    EXPECT_EQ(list.pointer_map, std::vector<int32_t>({2, 1, 0, 0, 0}));
    EXPECT_EQ(FindMeshByOffset(list, 1u << 31), 0);
    EXPECT_EQ(list.skin_first_mesh, 0u);
    // Cut short, what is there in full is kept and the list ends; negative counts hold nothing.
    BuildMeshList(list, MeshData(level, LEVEL_TR2, {0, 0, 0, 0, 0, 4, 1, 2, 3, 4, 5, 6, 7}));
    ASSERT_EQ(list.count, 1u);
    ASSERT_EQ(list.meshes[0].num_vertices, 2);
    EXPECT_EQ(list.meshes[0].num_normals, 0);
    EXPECT_EQ(list.Vertices(list.meshes[0])[1].x, 4);
    BuildMeshList(list, MeshData(level, LEVEL_TR1, {0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 5, 1, 1, 1, 1, 6, 2}));
    ASSERT_EQ(list.count, 1u);
    ASSERT_EQ(list.meshes[0].num_textured_quads, 2);
    EXPECT_EQ(list.TexturedQuads(list.meshes[0])[1].texture, 6);
    BuildMeshList(list, MeshData(level, LEVEL_TR3, {0, 0, 0, 0, 0, 0, uint16_t(-3), 9}));
    ASSERT_EQ(list.count, 1u);
    ASSERT_EQ(list.meshes[0].num_normals, -1);
    EXPECT_EQ(list.Shades(list.meshes[0])[0], 9);
    BuildMeshList(
        list, MeshData(level, LEVEL_TR4,
                       {0, 0, 0, 0, 0, uint16_t(-2), 0, uint16_t(-1), uint16_t(-7), 0, 5, 5, 5, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(list.count, 2u);
    EXPECT_EQ(list.meshes[0].num_vertices, 0);
    EXPECT_EQ(list.meshes[0].num_textured_quads, 0);
    EXPECT_EQ(list.meshes[1].centre[2], 5);
    // Faces naming vertices the mesh lacks stay out of the box; without faces the box stays empty.
    BuildMeshList(list, MeshData(level, LEVEL_TR2,
                                 {0, 0, 0, 0, 0, 2, 100, 0, 0, 200, 0, 0, 0, 0, 2, 0, 1, 9, 0, 0, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(list.meshes[0].num_textured_triangles, 2);
    EXPECT_EQ(list.meshes[0].bbox_min[0], 1);
    EXPECT_EQ(list.meshes[0].bbox_max[0], 2);
    BuildMeshList(list, MeshData(level, LEVEL_TR4, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0}));
    EXPECT_EQ(list.meshes[0].bbox_min[2], 2144883647.0);
    EXPECT_EQ(list.meshes[0].bbox_max[2], -2144883648.0);
    EXPECT_EQ(list.meshes[0].centre_offset[2], 0.5);
    level.num_mesh_data = level.num_mesh_pointers = 1000;  // counts beyond their arrays are not trusted
    level.num_moveables = 5;
    BuildMeshList(list, level);
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(list.pointer_map.size(), 1u);
    EXPECT_EQ(list.MapPointer(1), -1);
    EXPECT_EQ(list.MapPointer(-1), -1);
}

// Mesh data of nothing but empty meshes (ten words each in a TR4 level)
// keeps its first MAX_MESH_RECORDS meshes, and after them only those that a
// mesh pointer a moveable or static can reach names: a mesh named by a
// pointer past those reachable maps to record 0.
TEST(MeshList, PastMaxMeshRecordsOnlyTheMeshesPointersReachAreKept)
{
    Ttrlevel level;
    const uint32_t last = MAX_MESH_RECORDS - 1, past = MAX_MESH_RECORDS + 5000;
    const uint32_t reachable = REACHABLE_MESH_POINTERS;
    const struct {
        uint32_t meshes;
        std::vector<uint32_t> named;        // the mesh each pointer names
        std::vector<uint32_t> unreachable;  // meshes named again past the reachable pointers
        std::vector<int32_t> records;       // the record each of those pointers maps to
        uint32_t kept;
    } cases[] = {
        {3, {0, 2}, {}, {0, 2}, 3},
        {MAX_MESH_RECORDS, {0, last}, {}, {0, int32_t(last)}, MAX_MESH_RECORDS},
        {past,
         {0, last, past - 1, MAX_MESH_RECORDS},
         {},
         {0, int32_t(last), int32_t(last + 2), int32_t(last + 1)},
         MAX_MESH_RECORDS + 2},
        {past, {0, last}, {past - 1}, {0, int32_t(last), 0}, MAX_MESH_RECORDS},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> pointers;
        for (uint32_t m : c.named) pointers.push_back(20 * m);
        if (!c.unreachable.empty()) pointers.resize(reachable, 0);
        for (uint32_t m : c.unreachable) pointers.push_back(20 * m);
        MeshData(level, LEVEL_TR4, std::vector<uint16_t>(size_t(c.meshes) * 10, 0), pointers);
        Tmesh_list list;
        BuildMeshList(list, level);
        EXPECT_EQ(list.count, c.kept) << c.meshes;
        EXPECT_EQ(list.meshes.size(), c.kept) << c.meshes;
        for (size_t i = 0; i < c.named.size(); ++i) EXPECT_EQ(list.MapPointer(int64_t(i)), c.records[i]) << i;
        for (size_t i = 0; i < c.unreachable.size(); ++i)
            EXPECT_EQ(list.MapPointer(int64_t(reachable + i)), c.records[c.named.size() + i]) << i;
    }
}

TEST_F(MeshDraw, PlacedTurnedShadedAndMapped)
{
    // A thousand level units are a view unit, y negated once here and once
    // by the drawing layer; turned 90 degrees about y, moved to (10, 20, 30).
    TMeshDesc m = AxisTriangle(0);
    m.vertices[0] = {1000, -2000, 500};
    EXPECT_TRUE(NearPoint(Draw(LEVEL_TR2, m).at(0), 1, -2, -0.5));
    EXPECT_TRUE(NearPoint(Draw(LEVEL_TR2, m, false, 0xFFFFFF, 10, 90).at(0), 9.5, -22, 29));
    for (int32_t index : {-1, 1})
        BuildMeshObject(gl, LEVEL_TEXTURE_FIRST_ID, meshes, *level, index, 0, 0, 0, 0, 0.1f, false, false, false, 0);
    EXPECT_EQ(gl.Vertices.Count(), 3);  // no such records: nothing
    // Centred: around the box's centre under the caller's matrix, position and angle aside.
    gl.Translate(100, 0, 0);
    BuildMeshObject(gl, LEVEL_TEXTURE_FIRST_ID, meshes, *level, 0, 55, 66, 77, 45, 1.0f, true, false, false, 0xFFFFFF);
    EXPECT_TRUE(NearPoint(Emitted(gl).at(3), 105, -10, -7.5));
    EXPECT_EQ(gl.CurrentMatrix._41, 100.0f);

    // Corners take the colour times the shade's brightness: far beyond the
    // range dark, not wrapped; 8191 just above 255 levels for later games.
    const std::tuple<int, uint16_t, int> shades[] = {
        {LEVEL_TR1, 8191, 192}, {LEVEL_TR2, 4096, 224}, {LEVEL_TR2, 60000, 0}, {LEVEL_TR3, 8191, 0},
        {LEVEL_TR3, 65535, 0},  {LEVEL_TR4, 3212, 156}, {LEVEL_TRC, 32, 255}};
    for (const auto& [code, shade, bright] : shades) {
        m = AxisTriangle(0);
        m.normals.clear();
        m.shades = {shade, 0, shade};
        const auto v = Draw(code, m, false, 0x4080FF);  // red 255, green 128, blue 64
        // the first corner's red, green and blue, the second's green
        EXPECT_EQ(std::tuple(v.at(0).r, v[0].g, v[0].b, v.at(1).g),
                  std::tuple(255 * bright / 255, 128 * bright / 255, 64 * bright / 255, 128))
            << code;
    }
    for (const txgl_vertex& e : Draw(LEVEL_TR3, AxisTriangle(0), false, 0x102030))
        EXPECT_EQ(ColorOf(e), 0x102030u);  // normals: fully lit
    // Quads: flat in the current colour, else corners shaded (Quad4C emits V1, V3, V4, V1, V2, V3; vertex i has shade
    // 1000 i).
    TMeshDesc cube = MakeCubeMesh(100, 0, 1000);
    cube.textured_quads.resize(1);  // vertices 4, 5, 7, 6
    gl.SetColor(9, 8, 7);
    EXPECT_EQ(ColorOf(Draw(LEVEL_TR4, cube, true).at(5)), 0x070809u);
    EXPECT_TRUE(NearPoint(Emitted(gl).at(0), 0.1, -0.1, -0.1));
    const auto v = Draw(LEVEL_TR4, cube);
    const int shade[6] = {4000, 7000, 6000, 4000, 5000, 7000};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(v.at(size_t(i)).g, 255 - int(shade[i] / 32.121568)) << i;

    // Pages through the object texture's tile (texture word 0x8005: object
    // texture 5, tile 0x8015: page 0x15); a vertex or texture the level lacks
    // leaves the face out; older meshes select the coloured-face texture last.
    std::vector<uint16_t> tiles;
    for (uint16_t i = 0; i < 6; ++i) tiles.push_back(uint16_t(i + 0x8010));
    cube = MakeCubeMesh(100, 0x8005);
    cube.textured_quads.resize(1);
    cube.textured_triangles = {{{0, 1, 2, 0}, 2, 0}, {{0, 1, 8, 0}, 2, 0}, {{0, 1, 2, 0}, 0x0FFF, 0}};
    cube.colored_quads = {{{0, 1, 2, 9}, 1, 0}};
    gl.ColoredFaceTexture = COLORED_TEXTURE;
    const auto faces = Draw(LEVEL_TR2, cube, true, 0, 0, 0, tiles);
    ASSERT_EQ(faces.size(), 9u);
    for (size_t i = 0; i < 9; ++i) EXPECT_EQ(faces[i].texture, LEVEL_TEXTURE_FIRST_ID + (i < 6 ? 0x15 : 0x12)) << i;
    EXPECT_EQ(gl.CurrentTexture, COLORED_TEXTURE);
    Draw(LEVEL_TR4, AxisTriangle(0), false, 0, 0, 0, {2});
    EXPECT_EQ(gl.CurrentTexture, 1002);  // later ones have none
}

TEST_F(MeshDraw, ColouredFacesAndTextureCoordinates)
{
    // Coloured faces of the first games: palette colours (6-bit values as
    // 4 v + 3), corners (0, 0), (1, 0), (1, 1), (0, 1); the caller's colour afterwards.
    TLevelDesc d;
    d.version_code = LEVEL_TR1;
    d.palette[3] = {10, 20, 30};
    d.palette[4] = {63, 0, 1};
    TMeshDesc m = AxisTriangle(0);
    m.textured_triangles.clear();
    m.colored_quads = {{{0, 1, 2, 0}, 3, 0}};
    m.colored_triangles = {{{2, 1, 0, 0}, 0x0204, 0}};  // the first game takes the low byte
    AddMesh(d, m);
    Load(d);
    gl.LoadIdentity();
    gl.SetColor(1, 2, 3);
    gl.ColoredFaceTexture = COLORED_TEXTURE;
    BuildMeshObject(gl, LEVEL_TEXTURE_FIRST_ID, meshes, *level, 0, 0, 0, 0, 0, LEVEL_OBJECT_SCALE, false, false, false,
                    0xFFFFFF);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 9u);
    EXPECT_EQ(v[0].texture, COLORED_TEXTURE);
    EXPECT_EQ(ColorOf(v[0]), 0x7B532Bu);
    EXPECT_EQ(ColorOf(v[6]), 0x0703FFu);
    EXPECT_EQ(gl.ColorR, 1);
    EXPECT_EQ(gl.ColorB, 3);
    EXPECT_EQ(std::pair(v[0].u, v[0].v), std::pair(1.0, 0.0));
    EXPECT_EQ(std::pair(v[8].u, v[8].v), std::pair(1.0, 1.0));

    // Corners one pixel inward, by their direction bytes, or for the fourth
    // games by the smallest pixels; without directions the rectangle of the
    // used corners (a triangle's three); a pixel 0 stepping back wraps to 255.
    const std::tuple<int, std::array<tobject_texture_corner, 4>, std::array<int, 8>, bool> rows[] = {
        {LEVEL_TR2,
         {{{1, 0, 1, 0}, {255, 63, 1, 0}, {255, 63, 255, 63}, {1, 0, 255, 63}}},
         {1, 1, 62, 1, 62, 62, 1, 62},
         false},
        {LEVEL_TR3,
         {{{255, 64, 255, 128}, {1, 127, 1, 128}, {1, 127, 1, 191}, {1, 64, 1, 191}}},
         {63, 127, 128, 129, 128, 192, 65, 192},
         false},
        {LEVEL_TRC,
         {{{255, 64, 255, 128}, {1, 127, 1, 128}, {1, 127, 1, 191}, {1, 64, 1, 191}}},
         {65, 129, 126, 129, 126, 190, 65, 190},
         false},
        {LEVEL_TR4,
         {{{255, 63, 1, 0}, {255, 63, 255, 63}, {1, 0, 255, 63}, {1, 0, 1, 0}}},
         {62, 1, 62, 62, 1, 62, 0, 0},
         true},
        {LEVEL_TR4,
         {{{0, 10, 0, 20}, {0, 50, 0, 20}, {0, 10, 0, 60}, {0, 0, 0, 0}}},
         {11, 21, 49, 21, 49, 59, 10, 60},
         true},
        {LEVEL_TR1,
         {{{0, 30, 0, 40}, {0, 90, 0, 10}, {0, 70, 0, 80}, {0, 20, 0, 50}}},
         {31, 11, 89, 11, 89, 79, 31, 79},
         true},
        {LEVEL_TR2,
         {{{255, 0, 1, 5}, {1, 255, 1, 5}, {1, 255, 1, 9}, {1, 3, 1, 9}}},
         {255, 6, 0, 6, 0, 10, 4, 10},
         false}};
    for (const auto& [code, corners, pixels, triangle] : rows) {
        level->version_code = code;
        level->object_textures = {MakeObjectTexture(0, corners)};
        level->SetNumObjectTextures(1);
        float uv[8];
        ObjectTextureUV(*level, 0, uv[0], uv[1], uv[2], uv[3], uv[4], uv[5], uv[6], uv[7]);
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(uv[k], float(pixels[size_t(k)] / 255.0)) << code << " " << pixels[0] << " " << k;
        EXPECT_EQ(IsTriangleTexture(*level, 0), triangle);
    }
    int32_t minX, maxY, maxX, minY;  // the extent of the used corners; nothing for an index the level lacks
    TexturePixelBounds(*level, 0, minX, maxY, maxX, minY);
    EXPECT_EQ(std::tuple(minX, maxX, minY, maxY), std::tuple(0, 255, 5, 9));
    EXPECT_FALSE(IsTriangleTexture(*level, 1));
    TexturePixelBounds(*level, -1, minX, maxY, maxX, minY);
    EXPECT_EQ(minX + maxY + maxX + minY, 0);
}
