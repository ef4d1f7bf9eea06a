#include <gtest/gtest.h>

#include <cmath>

#include "display/drawing_layer.h"
#include "level/trlevel.h"
#include "mesh_test_helpers.h"
#include "scene/mesh_draw.h"
#include "scene/mesh_list.h"
#include "support/level_writer.h"

using namespace mesh_test;

namespace {

constexpr int32_t kColoredFaces = 5002;

class MeshDraw : public ::testing::Test {
protected:
    MeshDraw()
    {
        gl.LoadIdentity();
        gl.ColoredFaceTexture = kColoredFaces;
    }

    // Loads the description and builds its mesh list.
    void Load(const TLevelDesc& desc)
    {
        level = LoadLevel(desc);
        BuildMeshList(meshes, *level);
    }

    void Draw(int32_t index, double x = 0, double y = 0, double z = 0, float angle = 0, bool centred = false,
              bool fullBright = false, bool flat = false, uint32_t colour = 0xFFFFFF)
    {
        BuildMeshObject(gl, LEVEL_TEXTURE_FIRST_ID, meshes, *level, index, x, y, z, angle, LEVEL_OBJECT_SCALE,
                        centred, fullBright, flat, colour);
    }

    TxGL gl;
    std::unique_ptr<Ttrlevel> level;
    Tmesh_list meshes;
};

TEST_F(MeshDraw, StaticScaleMakesAThousandLevelUnitsOneViewUnit)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    d.object_textures = {SquareTexture(0)};
    TMeshDesc m;
    m.vertices = {{1000, -2000, 500}, {0, 0, 0}, {0, 0, 0}};
    m.normals.resize(3);
    m.textured_triangles = {{{0, 1, 2, 0}, 0, 0}};
    AddMesh(d, m);
    Load(d);
    Draw(0);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 3u);
    // The corner is (1, 2, -0.5); the drawing layer negates y on entry.
    EXPECT_TRUE(NearPoint(v[0], 1, -2, -0.5));
    EXPECT_EQ(gl.Depth, 0);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&gl.CurrentMatrix));

    // Placed and turned: the matrix is the caller's again afterwards.
    gl.ClearList(-1);
    Draw(0, 10, 20, 30, 90);
    const auto turned = Emitted(gl);
    ASSERT_EQ(turned.size(), 3u);
    // (1, -2, -0.5) turned 90 degrees about y is (-0.5, -2, -1), then moved by (10, -20, 30).
    EXPECT_TRUE(NearPoint(turned[0], 9.5, -22, 29));
    EXPECT_EQ(gl.Depth, 0);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&gl.CurrentMatrix));
}

TEST_F(MeshDraw, CentredMeshIsDrawnAroundItsBoxUnderTheCallersMatrix)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR4;
    d.object_textures = {SquareTexture(0)};
    TMeshDesc m;
    m.vertices = {{1000, 0, 0}, {3000, -2000, 0}, {1000, 0, -4000}};
    m.normals.resize(3);
    m.textured_triangles = {{{0, 1, 2, 0}, 0, 0}};
    AddMesh(d, m);
    Load(d);
    gl.Translate(100, 0, 0);
    const D3DXMATRIX before = gl.CurrentMatrix;
    // The box is in hundredths of level units, so at scale 1 the mesh lies
    // around its centre; the position and angle arguments do not apply.
    BuildMeshObject(gl, LEVEL_TEXTURE_FIRST_ID, meshes, *level, 0, 55, 66, 77, 45, 1.0f, true, false, false, 0xFFFFFF);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 3u);
    // Box x 10..30, y 0..20, z 0..40: centre offset (-20, -10, -20).
    EXPECT_TRUE(NearPoint(v[0], 100 - 10, 10, -20));
    EXPECT_TRUE(NearPoint(v[1], 100 + 10, -10, -20));
    EXPECT_TRUE(NearPoint(v[2], 100 - 10, 10, 20));
    EXPECT_EQ(std::memcmp(&before, &gl.CurrentMatrix, sizeof before), 0);
    EXPECT_EQ(gl.Depth, 0);
}

struct TShadeCase {
    int code;
    uint16_t shade;
    int brightness;
};

class MeshDrawShades : public MeshDraw, public ::testing::WithParamInterface<TShadeCase> {};

TEST_P(MeshDrawShades, CornerColourIsTheColourTimesTheShadeBrightness)
{
    const TShadeCase c = GetParam();
    TLevelDesc d;
    d.version_code = c.code;
    d.object_textures = {SquareTexture(0)};
    TMeshDesc m = AxisTriangle(0);
    m.normals.clear();
    m.shades = {c.shade, 0, c.shade};
    AddMesh(d, m);
    Load(d);

    const uint32_t colour = 0x4080FF;  // red 255, green 128, blue 64
    Draw(0, 0, 0, 0, 0, false, false, false, colour);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].r, 255 * c.brightness / 255);
    EXPECT_EQ(v[0].g, 128 * c.brightness / 255);
    EXPECT_EQ(v[0].b, 64 * c.brightness / 255);
    EXPECT_EQ(v[1].r, 255);  // shade 0 is the brightest
    EXPECT_EQ(v[1].g, 128);

    // Full bright ignores the shades.
    gl.ClearList(-1);
    Draw(0, 0, 0, 0, 0, false, true, false, colour);
    for (const txgl_vertex& e : Emitted(gl)) EXPECT_EQ(e.r, 255);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, MeshDrawShades,
    ::testing::Values(TShadeCase{LEVEL_TR1, 8191, 192},        // 255 - 63
                      TShadeCase{LEVEL_TR2, 4096, 224},        // 255 - 31
                      TShadeCase{LEVEL_TR2, 60000, 0},         // far beyond the range: dark, not wrapped
                      TShadeCase{LEVEL_TR3, 8191, 0},          // 8191 / 32.121568 is just above 255
                      TShadeCase{LEVEL_TR3, 65535, 0},         // limited to 8191
                      TShadeCase{LEVEL_TR4, 3212, 156},        // 255 - 99
                      TShadeCase{LEVEL_TRC, 32, 255}));

TEST_F(MeshDraw, MeshWithNormalsIsFullyLit)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR3;
    d.object_textures = {SquareTexture(0)};
    AddMesh(d, AxisTriangle(0));
    Load(d);
    Draw(0, 0, 0, 0, 0, false, false, false, 0x102030);
    for (const txgl_vertex& e : Emitted(gl)) {
        EXPECT_EQ(e.r, 0x30);
        EXPECT_EQ(e.g, 0x20);
        EXPECT_EQ(e.b, 0x10);
    }
}

TEST_F(MeshDraw, FacesFindTheirPageThroughTheObjectTexture)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    for (uint16_t i = 0; i < 6; ++i) d.object_textures.push_back(SquareTexture(uint16_t(i + 0x8010)));
    TMeshDesc m = MakeCubeMesh(100, 0x8005);  // object texture 5, tile word 0x8015: page 0x15
    m.textured_quads.resize(1);
    m.textured_triangles = {{{0, 1, 2, 0}, 2, 0}};
    AddMesh(d, m);
    Load(d);
    Draw(0, 0, 0, 0, 0, false, false, true);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 9u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(v[size_t(i)].texture, 1000 + 0x15);
    for (int i = 6; i < 9; ++i) EXPECT_EQ(v[size_t(i)].texture, 1000 + 0x12);
    // Older meshes select the coloured-face texture last, faces or not.
    EXPECT_EQ(gl.CurrentTexture, kColoredFaces);
}

TEST_F(MeshDraw, FlatFacesUseTheCurrentColourAndShadedOnesTheirCorners)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR4;
    d.object_textures = {SquareTexture(0)};
    TMeshDesc m = MakeCubeMesh(100, 0, 1000);
    m.textured_quads.resize(1);  // vertices 4, 5, 7, 6
    AddMesh(d, m);
    Load(d);

    gl.SetColor(9, 8, 7);
    Draw(0, 0, 0, 0, 0, false, false, true, 0xFFFFFF);
    auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 6u);
    for (const txgl_vertex& e : v) {
        EXPECT_EQ(e.r, 9);
        EXPECT_EQ(e.b, 7);
    }
    // Quad emits V2, V3, V1, V4, V1, V3.
    EXPECT_TRUE(NearPoint(v[0], 0.1, -0.1, -0.1));  // vertex 5: (100, -100, 100) -> (0.1, 0.1, -0.1)

    gl.ClearList(-1);
    Draw(0, 0, 0, 0, 0, false, false, false, 0xFFFFFF);
    v = Emitted(gl);
    ASSERT_EQ(v.size(), 6u);
    // Quad4C emits V1, V3, V4, V1, V2, V3; vertex i has shade 1000 i.
    const int shades[6] = {4000, 7000, 6000, 4000, 5000, 7000};
    for (int i = 0; i < 6; ++i) {
        const int bright = 255 - int(shades[i] > 8191 ? 8191 / 32.121568 : shades[i] / 32.121568);
        EXPECT_EQ(v[size_t(i)].g, bright) << i;
    }
}

TEST_F(MeshDraw, ColouredFacesOfOlderGamesTakeTheirPaletteColour)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR1;
    d.palette[3] = {10, 20, 30};
    d.palette[4] = {63, 0, 1};
    TMeshDesc m = AxisTriangle(0);
    m.textured_triangles.clear();
    m.colored_quads = {{{0, 1, 2, 0}, 3, 0}};
    m.colored_triangles = {{{2, 1, 0, 0}, 0x0204, 0}};  // TR1 takes the low byte
    AddMesh(d, m);
    Load(d);

    gl.SetColor(1, 2, 3);
    gl.SetTexture(77);
    Draw(0);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 9u);
    for (const txgl_vertex& e : v) EXPECT_EQ(e.texture, kColoredFaces);
    // 6-bit values become 4 v + 3.
    EXPECT_EQ(v[0].r, 43);
    EXPECT_EQ(v[0].g, 83);
    EXPECT_EQ(v[0].b, 123);
    EXPECT_EQ(v[6].r, 255);
    EXPECT_EQ(v[6].g, 3);
    EXPECT_EQ(v[6].b, 7);
    // Quad corners 1..4 get (0, 0), (1, 0), (1, 1), (0, 1); V2 comes first.
    EXPECT_EQ(v[0].u, 1.0);
    EXPECT_EQ(v[0].v, 0.0);
    EXPECT_EQ(v[8].u, 1.0);
    EXPECT_EQ(v[8].v, 1.0);
    // The caller's colour is back.
    EXPECT_EQ(gl.ColorR, 1);
    EXPECT_EQ(gl.ColorB, 3);
}

TEST_F(MeshDraw, FourthGameMeshesHaveNoColouredFaces)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR4;
    d.object_textures = {SquareTexture(2)};
    AddMesh(d, AxisTriangle(0));
    Load(d);
    Draw(0);
    for (const txgl_vertex& e : Emitted(gl)) EXPECT_EQ(e.texture, 1002);
    EXPECT_EQ(gl.CurrentTexture, 1002);
}

TEST_F(MeshDraw, WhatIsNotThereIsLeftOut)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR3;
    d.object_textures = {SquareTexture(0)};
    TMeshDesc m = AxisTriangle(0);
    m.textured_triangles.push_back({{0, 1, 3, 0}, 0, 0});     // vertex 3 does not exist
    m.textured_triangles.push_back({{0, 1, 2, 0}, 0x0FFF, 0});  // nor object texture 4095
    m.colored_quads.push_back({{0, 1, 2, 7}, 1, 0});
    AddMesh(d, m);
    Load(d);
    Draw(0);
    EXPECT_EQ(Emitted(gl).size(), 3u);
    for (int32_t index : {-1, 1, 1000}) {
        gl.ClearList(-1);
        Draw(index);
        EXPECT_EQ(gl.Vertices.Count(), 0);
        EXPECT_EQ(gl.Depth, 0);
    }
}

// ---- object texture coordinates ----

Ttrlevel& TextureLevel(Ttrlevel& level, int code, const std::vector<tobject_texture>& textures)
{
    level.version_code = code;
    level.SetNumObjectTextures(uint32_t(textures.size()));
    level.object_textures = textures;
    return level;
}

struct TUV {
    float u[4], v[4];
};

TUV UV(const Ttrlevel& level, int32_t index)
{
    TUV t;
    ObjectTextureUV(level, index, t.u[0], t.v[0], t.u[1], t.v[1], t.u[2], t.v[2], t.u[3], t.v[3]);
    return t;
}

void ExpectUV(const TUV& t, std::array<int, 4> xs, std::array<int, 4> ys)
{
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(t.u[k], float(xs[size_t(k)] / 255.0)) << "corner " << k + 1;
        EXPECT_FLOAT_EQ(t.v[k], float(ys[size_t(k)] / 255.0)) << "corner " << k + 1;
    }
}

TEST(ObjectTextureUV, CornersMoveOnePixelInwardInEveryOrientation)
{
    // The square (0, 0)..(63, 63) walked from each of its corners, both ways.
    const int px[4] = {0, 63, 63, 0}, py[4] = {0, 0, 63, 63};
    for (int code : {LEVEL_TR1, LEVEL_TR2, LEVEL_TR3, LEVEL_TR4, LEVEL_TRC})
        for (int start = 0; start < 4; ++start)
            for (int dir : {1, -1}) {
                std::array<tobject_texture_corner, 4> c{};
                std::array<int, 4> xs{}, ys{};
                for (int k = 0; k < 4; ++k) {
                    const int s = ((start + dir * k) % 4 + 4) % 4;
                    const bool left = px[s] == 0, top = py[s] == 0;
                    c[size_t(k)] = {uint8_t(left ? 1 : 255), uint8_t(px[s]), uint8_t(top ? 1 : 255), uint8_t(py[s])};
                    xs[size_t(k)] = left ? 1 : 62;
                    ys[size_t(k)] = top ? 1 : 62;
                }
                // A fourth corner at pixel (0, 0) makes the texture count as a
                // triangle; TR4 and TRC files then leave that corner in place.
                const bool triangle = c[3].xpixel == 0 && c[3].ypixel == 0;
                if (triangle && code >= LEVEL_TR4) xs[3] = ys[3] = 0;
                Ttrlevel level;
                TextureLevel(level, code, {MakeObjectTexture(0, c)});
                SCOPED_TRACE(testing::Message() << "code " << code << " start " << start << " dir " << dir);
                ExpectUV(UV(level, 0), xs, ys);
                EXPECT_EQ(IsTriangleTexture(level, 0), triangle);
            }
}

TEST(ObjectTextureUV, FourthGameFilesTakeDirectionsFromThePixels)
{
    // Direction bytes that point the wrong way are ignored for TR4 and TRC.
    const tobject_texture quad = MakeObjectTexture(
        0, {tobject_texture_corner{255, 64, 255, 128}, {1, 127, 1, 128}, {1, 127, 1, 191}, {1, 64, 1, 191}});
    for (int code : {LEVEL_TR4, LEVEL_TRC}) {
        Ttrlevel level;
        TextureLevel(level, code, {quad});
        ExpectUV(UV(level, 0), {65, 126, 126, 65}, {129, 129, 190, 190});
    }
    // The same corners in a third-game file follow their direction bytes.
    Ttrlevel older;
    TextureLevel(older, LEVEL_TR3, {quad});
    ExpectUV(UV(older, 0), {63, 128, 128, 65}, {127, 129, 192, 192});

    // A triangle's fourth corner stays where it is.
    Ttrlevel tri;
    TextureLevel(tri, LEVEL_TR4,
                 {MakeObjectTexture(0, {tobject_texture_corner{0, 10, 0, 20}, {0, 50, 0, 20}, {0, 10, 0, 60}, {0, 0, 0, 0}})});
    EXPECT_TRUE(IsTriangleTexture(tri, 0));
    // No direction bytes at all: the corners become the rectangle of the
    // first three, then move inward.
    ExpectUV(UV(tri, 0), {11, 49, 49, 10}, {21, 21, 59, 60});
}

TEST(ObjectTextureUV, MissingDirectionsMakeTheBoundingRectangle)
{
    Ttrlevel level;
    TextureLevel(level, LEVEL_TR1,
                 {MakeObjectTexture(0, {tobject_texture_corner{0, 30, 0, 40}, {0, 90, 0, 10}, {0, 70, 0, 80}, {0, 20, 0, 50}})});
    // Corner 4's direction bytes are 0, so it counts as a triangle: the
    // rectangle is that of corners 1 to 3.
    int32_t minX, maxY, maxX, minY;
    TexturePixelBounds(level, 0, minX, maxY, maxX, minY);
    EXPECT_EQ(minX, 30);
    EXPECT_EQ(maxX, 90);
    EXPECT_EQ(minY, 10);
    EXPECT_EQ(maxY, 80);
    ExpectUV(UV(level, 0), {31, 89, 89, 31}, {11, 11, 79, 79});
}

TEST(ObjectTextureUV, SquareAndWrapping)
{
    Ttrlevel level;
    TextureLevel(level, LEVEL_TR2,
                 {MakeObjectTexture(0, {tobject_texture_corner{1, 0, 1, 0}, {255, 63, 1, 0}, {255, 63, 255, 63}, {1, 0, 255, 63}}),
                  // A corner at pixel 0 stepping back wraps to 255.
                  MakeObjectTexture(0, {tobject_texture_corner{255, 0, 1, 5}, {1, 255, 1, 5}, {1, 255, 1, 9}, {1, 3, 1, 9}})});
    ExpectUV(UV(level, 0), {1, 62, 62, 1}, {1, 1, 62, 62});
    ExpectUV(UV(level, 1), {255, 0, 0, 4}, {6, 6, 10, 10});
}

TEST(ObjectTextureUV, TrianglesAndBounds)
{
    Ttrlevel level;
    TextureLevel(level, LEVEL_TR3,
                 {MakeObjectTexture(0, {tobject_texture_corner{1, 8, 1, 9}, {255, 40, 1, 9}, {1, 8, 255, 30}, {0, 0, 0, 0}}),
                  MakeObjectTexture(0, {tobject_texture_corner{1, 8, 1, 9}, {255, 40, 1, 9}, {1, 8, 255, 30}, {5, 0, 5, 0}}),
                  MakeObjectTexture(0, {tobject_texture_corner{1, 8, 1, 9}, {255, 40, 1, 9}, {1, 8, 255, 30}, {0, 3, 0, 200}}),
                  MakeObjectTexture(0, {tobject_texture_corner{1, 8, 1, 9}, {255, 40, 1, 9}, {1, 8, 255, 30}, {1, 3, 1, 200}})});
    EXPECT_TRUE(IsTriangleTexture(level, 0));   // both pixels 0
    EXPECT_TRUE(IsTriangleTexture(level, 1));   // pixels 0, whatever the directions
    EXPECT_TRUE(IsTriangleTexture(level, 2));   // both direction bytes 0
    EXPECT_FALSE(IsTriangleTexture(level, 3));
    int32_t minX, maxY, maxX, minY;
    TexturePixelBounds(level, 2, minX, maxY, maxX, minY);
    EXPECT_EQ(minX, 8);
    EXPECT_EQ(maxX, 40);
    EXPECT_EQ(minY, 9);
    EXPECT_EQ(maxY, 30);
    TexturePixelBounds(level, 3, minX, maxY, maxX, minY);
    EXPECT_EQ(minX, 3);
    EXPECT_EQ(maxY, 200);

    // Indexes the level does not have give nothing and read nothing.
    EXPECT_FALSE(IsTriangleTexture(level, 4));
    EXPECT_FALSE(IsTriangleTexture(level, -1));
    TexturePixelBounds(level, 4, minX, maxY, maxX, minY);
    EXPECT_EQ(minX + maxY + maxX + minY, 0);
    ExpectUV(UV(level, 99), {0, 0, 0, 0}, {0, 0, 0, 0});
}

}  // namespace
