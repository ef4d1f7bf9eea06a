// Sector faces: texture coordinates of face records, texture choice in
// both views, colour modes, wall pieces and their records.
#include "scene_fixture.h"

using namespace scene_test;

namespace {

constexpr double T = 255.0 / 256.0;

tface_texture Record(uint16_t id = 0)
{
    tface_texture r{};
    DefaultFaceUV(r);
    r.textureId = id;
    return r;
}

void ExpectPairs(const tface_uv& uv, std::array<double, 8> want)
{
    for (int k = 0; k < 4; ++k) {
        EXPECT_DOUBLE_EQ(uv.tu[k], want[size_t(2 * k)]) << "corner " << k + 1;
        EXPECT_DOUBLE_EQ(uv.tv[k], want[size_t(2 * k + 1)]) << "corner " << k + 1;
    }
}

class SectorFaces : public ::testing::Test {
protected:
    void SetUp() override
    {
        EmptyProject(project);
        AddRoom(project, 0, 0, 0, 3, 3, 4);
        scene.Project = &project;
        scene.GL.LoadIdentity();
    }
    tsector& At(int column, int row) { return Sector(project, 1, column, row); }
    std::vector<txgl_vertex> Mesh() { return MeshOf(scene, 1); }

    tcuarto_list project;
    tr_scene scene;
};

}  // namespace

TEST_F(SectorFaces, FaceUVOfTheDefaultRecord)
{
    scene.Textured = 1;
    ExpectPairs(scene.FaceUV(Record(), 0), {0, 0, T, 0, T, T, 0, T});
    scene.Textured = 0;
    ExpectPairs(scene.FaceUV(Record(), 0), {0, 0, 1, 0, 1, 1, 0, 1});
}

TEST_F(SectorFaces, FaceUVFlipsAndTurns)
{
    scene.Textured = 1;
    tface_texture r = Record();
    r.uv[0] = {0.25f, 0.5f};
    r.uv[1] = {0.5f, 0.5f};
    r.uv[2] = {0.5f, 0.75f};
    r.uv[3] = {0.25f, 0.75f};
    const double a = 0.25, b = 0.5 - 1.0 / 256, c = 0.5, d = 0.75 - 1.0 / 256;
    ExpectPairs(scene.FaceUV(r, 0), {a, c, b, c, b, d, a, d});
    r.rotations = 1;  // corner 1 takes corner 4's pair, and so on round
    ExpectPairs(scene.FaceUV(r, 0), {a, d, a, c, b, c, b, d});
    r.rotations = 5;
    ExpectPairs(scene.FaceUV(r, 0), {a, d, a, c, b, c, b, d});
    r.rotations = 2;
    ExpectPairs(scene.FaceUV(r, 0), {b, d, a, d, a, c, b, c});
    r.rotations = 0;
    r.flip = 1;  // only the u values swap, 1 with 2 and 3 with 4
    ExpectPairs(scene.FaceUV(r, 0), {b, c, a, c, a, d, b, d});
    r.rotations = 1;  // the flip comes first
    ExpectPairs(scene.FaceUV(r, 0), {b, d, b, c, a, c, a, d});
    // The untextured view ignores all of it.
    scene.Textured = 0;
    ExpectPairs(scene.FaceUV(r, 0), {0, 0, 1, 0, 1, 1, 0, 1});
}

TEST_F(SectorFaces, FaceUVColourModes)
{
    struct Case {
        uint8_t mode;
        uint8_t codes;
        int32_t r, g, b;
    };
    const Case cases[] = {
        {0, 1, 0x56, 0x34, 0x12},  // the face's own colour
        {1, 1, 0, 255, 0},
        {2, 1, 0, 0, 255},
        {129, 1, 0, 255, 0},  // the high bit does not count
        {3, 1, 9, 9, 9},      // other modes leave the colour
        {2, 0, 9, 9, 9},      // colour codes off
    };
    for (const Case& c : cases) {
        scene.ColorCodes = c.codes;
        scene.GL.SetColor(9, 9, 9);
        tface_texture r = Record();
        r.mode = c.mode;
        scene.FaceUV(r, 0x123456);
        EXPECT_EQ(scene.GL.ColorR, c.r) << int(c.mode);
        EXPECT_EQ(scene.GL.ColorG, c.g) << int(c.mode);
        EXPECT_EQ(scene.GL.ColorB, c.b) << int(c.mode);
    }
}

TEST_F(SectorFaces, SelectFaceTextureInBothViews)
{
    struct Case {
        uint8_t textured;
        int32_t defaultId;
        uint16_t recordId;
        int32_t texture;
        bool ownCoordinates;
    };
    const Case cases[] = {
        {1, 5001, 33, 33, true},    {1, 5001, 0, 5001, false},     {1, 6003, 33, 6003, false},
        {1, 5003, 9999, 9999, false}, {0, 5001, 33, 5001, false},  {0, 5001, 9999, 9999, false},
        {0, 6001, 9999, 9999, false},
    };
    for (const Case& c : cases) {
        scene.Textured = c.textured;
        tface_texture r = Record(c.recordId);
        r.uv[0] = {0.5f, 0.5f};
        const tface_uv uv = scene.SelectFaceTexture(c.defaultId, r, 0);
        EXPECT_EQ(scene.GL.CurrentTexture, c.texture) << c.recordId << " " << c.defaultId;
        EXPECT_EQ(uv.tu[0], c.ownCoordinates ? 0.5 : 0.0);
        EXPECT_EQ(uv.tu[1], c.ownCoordinates ? T : 1.0);
    }
}

TEST_F(SectorFaces, WallAndFaceRecordsInBothViews)
{
    tsector& s = At(2, 2);
    s.floorBase = 1;
    s.walls[0][0].textureId = 12;
    s.walls[0][0].uv[1] = {0.5f, 0.0f};
    s.walls[1][0].textureId = 9999;  // hidden in both views
    s.floorFaces[0].textureId = 33;
    s.floorFaces[0].mode = 2;  // blue

    auto texture = [](const std::vector<txgl_vertex>& v, int part, int slot, int piece) {
        return Piece(v, 2, 2, part, slot, piece).at(0).texture;
    };
    auto v = Mesh();
    EXPECT_EQ(texture(v, 0, 0, 0), 5001);
    EXPECT_EQ(texture(v, 0, 1, 0), 9999);
    EXPECT_EQ(texture(v, 0, 4, 0), 5001);
    EXPECT_EQ(ColorOf(Piece(v, 2, 2, 0, 4, 0)[0]), 0xFF0000u);
    EXPECT_EQ(ColorOf(Piece(v, 2, 2, 0, 0, 0)[0]), 0x3070FFu);

    scene.Textured = 1;
    v = Mesh();
    EXPECT_EQ(texture(v, 0, 0, 0), 12);
    const auto q = QuadCorners(Piece(v, 2, 2, 0, 0, 0));
    ExpectUV(q[1], 0.5 - 1.0 / 256, 0);
    EXPECT_EQ(texture(v, 0, 1, 0), 9999);
    EXPECT_EQ(texture(v, 0, 2, 0), 0);  // the record's own id, even when 0
    EXPECT_EQ(texture(v, 0, 4, 0), 33);
    EXPECT_EQ(ColorOf(Piece(v, 2, 2, 0, 4, 0)[0]), 0xFF0000u);

    scene.ColorCodes = 0;
    v = Mesh();
    EXPECT_EQ(ColorOf(Piece(v, 2, 2, 0, 4, 0)[0]), 0xFFFFFFu);
}

TEST_F(SectorFaces, HiddenFaceRecordHidesItsFaceInTheBuffer)
{
    At(2, 2).floorFaces[0].textureId = 9999;
    const auto v = Mesh();
    const auto face = Piece(v, 2, 2, 0, 4, 0);
    ASSERT_EQ(face.size(), 6u);
    EXPECT_EQ(face[0].texture, 9999);
}

TEST_F(SectorFaces, PiecesAboveSixShareTheLastRecord)
{
    project.rooms[1].height = 10;
    tsector& s = At(2, 2);
    s.floorBase = 8;
    for (int k = 0; k < 6; ++k) s.walls[0][k].textureId = uint16_t(50 + k);
    s.walls[1][0].textureId = 77;  // the next record in the sector
    scene.Textured = 1;
    const auto v = Mesh();
    const auto side0 = WithTag(v, [](const tpick_tag& t) {
        return t.kind == 1 && t.column == 2 && t.row == 2 && t.part == 0 && t.slot == 0;
    });
    EXPECT_EQ(side0.size(), 9u * 6);  // eight pieces and the top piece
    for (int k = 0; k < 5; ++k) {
        const auto p = Piece(v, 2, 2, 0, 0, k);
        ASSERT_EQ(p.size(), 6u);
        EXPECT_EQ(p[0].texture, 50 + k);
    }
    const auto last = Piece(v, 2, 2, 0, 0, 5);
    ASSERT_EQ(last.size(), 4u * 6);
    for (const auto& x : last) EXPECT_EQ(x.texture, 55);
    // Pieces 6 and 7 are one unit each, up to the base.
    float top = 0;
    for (const auto& x : last) top = std::min(top, x.y);
    EXPECT_FLOAT_EQ(top, -8.0f);
}

TEST_F(SectorFaces, VeryHighRoomsHaveCappedStrips)
{
    project.rooms[1].height = 1000;
    tsector& s = At(2, 2);
    s.floorSplit = 1;
    s.floorZFall = 16;  // c4 steep
    const auto v = Mesh();
    // The diagonal wall (side 0's records) and the steep sides 1 and 2.
    for (int slot : {0, 1, 2}) {
        const auto strip = WithTag(v, [slot](const tpick_tag& t) {
            return t.kind == 1 && t.column == 2 && t.row == 2 && t.part == 0 && t.slot == slot;
        });
        EXPECT_EQ(strip.size(), 255u * 6) << slot;
    }
}

TEST_F(SectorFaces, CeilingTopPieceCoordinates)
{
    tsector s{};
    for (auto& side : s.walls)
        for (auto& r : side) DefaultFaceUV(r);
    for (int k = 0; k < 6; ++k) s.ceilingPieceHeights[k] = 1.0f;
    tpick_tag tag{};
    tag.kind = TAG_SECTOR_FACE;
    tag.room = 3;
    tag.row = 4;
    tag.column = 5;
    tsector_faces f;
    f.part = 1;
    f.base = 0;
    f.roomHeight = 4;
    f.ids[0] = 5001;
    f.colors[0] = 0x112233;

    // Side 0 from c1 one unit down to c2 half a unit down.
    f.c[0] = 1.0f;
    f.c[1] = 0.5f;
    scene.GL.SetList(2);
    scene.EmitSectorFaces(s, tag, 0, 10, 0, f, 0);
    auto v = ListVertices(scene.GL, 2);
    ASSERT_EQ(v.size(), 6u);  // no face, no other walls, no strip above base 0
    auto q = QuadCorners(v);
    ExpectAt(q[0], 0, 10, 0);
    ExpectAt(q[1], 1, 10, 0);
    ExpectAt(q[2], 1, 9.5, 0);
    ExpectAt(q[3], 0, 9, 0);
    ExpectUV(q[2], 1, 0.5);
    ExpectUV(q[3], 0, 1);
    EXPECT_EQ(ColorOf(q[0]), 0x112233u);
    const tpick_tag t = TagOf(q[0]);
    EXPECT_EQ(t.room, 3);
    EXPECT_EQ(t.row, 4);
    EXPECT_EQ(t.column, 5);
    EXPECT_EQ(t.part, 1);
    EXPECT_EQ(t.slot, 0);
    EXPECT_EQ(t.piece, 5);

    // The other way round.
    f.c[0] = 0.5f;
    f.c[1] = 1.0f;
    scene.GL.ClearList(-1);
    scene.EmitSectorFaces(s, tag, 0, 10, 0, f, 0);
    q = QuadCorners(ListVertices(scene.GL, 2));
    ExpectUV(q[2], 1, 1);
    ExpectUV(q[3], 0, 0.5);
}

TEST_F(SectorFaces, FloorFaceIdsOfZeroAreNotDrawn)
{
    tsector s{};
    tpick_tag tag{};
    tsector_faces f;
    f.part = 0;
    f.roomHeight = 4;
    f.ids[4] = 0;
    f.ids[5] = 5003;
    scene.GL.SetList(2);
    scene.EmitSectorFaces(s, tag, 0, 0, 0, f, 0);
    EXPECT_EQ(scene.GL.Counts[2], 0);
    scene.EmitSectorFaces(s, tag, 0, 0, 0, f, 1);
    EXPECT_EQ(scene.GL.Counts[2], 3);  // only the second half
    scene.EmitSectorFaces(s, tag, 0, 0, 0, f, 7);
    EXPECT_EQ(scene.GL.Counts[2], 3);
}
