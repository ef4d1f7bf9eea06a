// Room meshes of small hand-built rooms: corner heights, which walls stand,
// colour codes, texture ids, icons and tags.
#include "scene_fixture.h"

using namespace scene_test;

namespace {

// A 3 x 3 room at x 10, z 20, y 0, four units high: the sector in column i
// and row j has its corner c1 at (9 + i, -19 - j).
class RoomMesh : public ::testing::Test {
protected:
    void SetUp() override
    {
        EmptyProject(project);
        AddRoom(project, 10, 20, 0, 3, 3, 4);
        scene.Project = &project;
    }
    tsector& At(int column, int row) { return Sector(project, 1, column, row); }
    std::vector<txgl_vertex> Mesh() { return MeshOf(scene, 1); }

    tcuarto_list project;
    tr_scene scene;
};

struct Corners {
    double c[4];
};
Corners Heights(int split, int base, int offset, int e1, int e2, int e3, int e4)
{
    Corners k{{-9, -9, -9, -9}};
    SectorCornerHeights(split, base, offset, e1, e2, e3, e4, k.c[0], k.c[1], k.c[2], k.c[3]);
    return k;
}

// Whether a sector has any piece in a slot of a part.
bool HasSlot(const std::vector<txgl_vertex>& v, int column, int row, int part, int slot)
{
    return !WithTag(v, [=](const tpick_tag& t) {
                return t.kind == TAG_SECTOR_FACE && t.column == column && t.row == row && t.part == part &&
                       t.slot == slot;
            }).empty();
}

}  // namespace

TEST(CornerHeights, EverySplit)
{
    // Unsplit: e1, e2 tilt sides 0 and 1; e3, e4 sides 2 and 3.
    Corners k = Heights(0, 2, 1, 1, 2, 3, 4);
    EXPECT_DOUBLE_EQ(k.c[0], 2 + (1 + 1 + 3) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[1], 2 + (1 + 1 + 4) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[2], 2 + (2 + 1 + 4) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[3], 2 + (2 + 1 + 3) * 0.25);
    // Split 1 and 2: corner values.
    k = Heights(1, -1, -2, 1, 2, 3, 4);
    EXPECT_DOUBLE_EQ(k.c[0], -1 + (3 - 2) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[1], -1 + (2 - 2) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[2], -1 + (4 - 2) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[3], -1 + (1 - 2) * 0.25);
    k = Heights(2, 0, 3, 1, 2, 3, 4);
    EXPECT_DOUBLE_EQ(k.c[0], (1 + 3) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[1], (4 + 3) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[2], (2 + 3) * 0.25);
    EXPECT_DOUBLE_EQ(k.c[3], (3 + 3) * 0.25);
    // Signed bytes at their ends.
    k = Heights(0, -128, -128, -128, 127, -128, 127);
    EXPECT_DOUBLE_EQ(k.c[0], -128 - 384 * 0.25);
    EXPECT_DOUBLE_EQ(k.c[2], -128 + 126 * 0.25);
    // Other split values leave the outputs alone.
    k = Heights(3, 1, 1, 1, 1, 1, 1);
    EXPECT_DOUBLE_EQ(k.c[0], -9);
    EXPECT_DOUBLE_EQ(k.c[3], -9);
}

TEST_F(RoomMesh, FlatRoomIsOneQuadPerSectorAndSide)
{
    const auto v = Mesh();
    ASSERT_EQ(v.size(), 9u * 6 * 2);
    for (const auto& x : v) {
        const tpick_tag t = TagOf(x);
        EXPECT_EQ(t.kind, TAG_SECTOR_FACE);
        EXPECT_EQ(t.room, 1);
        EXPECT_EQ(t.element, 0);
        EXPECT_EQ(t.slot, 4);  // no walls anywhere
        EXPECT_EQ(x.texture, 5001);
    }
    const auto floor = Piece(v, 2, 2, 0, 4, 0);
    ASSERT_EQ(floor.size(), 6u);
    const auto q = QuadCorners(floor);
    ExpectAt(q[0], 11, 0, -22);  // c4
    ExpectAt(q[1], 12, 0, -22);  // c3
    ExpectAt(q[2], 12, 0, -21);  // c2
    ExpectAt(q[3], 11, 0, -21);  // c1
    ExpectUV(q[0], 0, 0);
    ExpectUV(q[1], 1, 0);
    ExpectUV(q[2], 1, 1);
    ExpectUV(q[3], 0, 1);
    for (const auto& x : floor) EXPECT_EQ(ColorOf(x), 0x3070F5u);

    const auto ceiling = Piece(v, 2, 2, 1, 4, 0);
    ASSERT_EQ(ceiling.size(), 6u);
    const auto c = QuadCorners(ceiling);
    ExpectAt(c[0], 11, 4, -21);  // c1
    ExpectAt(c[1], 12, 4, -21);  // c2
    ExpectAt(c[2], 12, 4, -22);  // c3
    ExpectAt(c[3], 11, 4, -22);  // c4
    for (const auto& x : ceiling) EXPECT_EQ(ColorOf(x), 0x5094F5u);
}

TEST_F(RoomMesh, RaisedSectorBesideFlatOnes)
{
    At(2, 2).floorBase = 1;
    const auto v = Mesh();
    EXPECT_EQ(v.size(), 9u * 6 * 2 + 4 * 2 * 6);
    // Side 0: one one-unit piece, then a top piece of no height.
    const auto piece = Piece(v, 2, 2, 0, 0, 0);
    ASSERT_EQ(piece.size(), 6u);
    auto q = QuadCorners(piece);
    ExpectAt(q[0], 11, 1, -21);
    ExpectAt(q[1], 12, 1, -21);
    ExpectAt(q[2], 12, 0, -21);
    ExpectAt(q[3], 11, 0, -21);
    ExpectUV(q[0], 0, 0);
    ExpectUV(q[2], 1, 1);
    for (const auto& x : piece) EXPECT_EQ(ColorOf(x), 0x3070FFu);
    const auto top = Piece(v, 2, 2, 0, 0, 5);
    ASSERT_EQ(top.size(), 6u);
    q = QuadCorners(top);
    for (const auto& x : q) EXPECT_NEAR(x.y, -1.0, 1e-6);
    // Both corners at the base: the top piece takes the bottom coordinates.
    ExpectUV(q[0], 0, 1);
    ExpectUV(q[1], 1, 1);
    // Sides 1, 2 and 3 run along c3-c4, c4-c1 and c2-c3.
    q = QuadCorners(Piece(v, 2, 2, 0, 1, 0));
    ExpectAt(q[0], 12, 1, -22);
    ExpectAt(q[1], 11, 1, -22);
    q = QuadCorners(Piece(v, 2, 2, 0, 2, 0));
    ExpectAt(q[0], 11, 1, -22);
    ExpectAt(q[1], 11, 1, -21);
    q = QuadCorners(Piece(v, 2, 2, 0, 3, 0));
    ExpectAt(q[0], 12, 1, -21);
    ExpectAt(q[1], 12, 1, -22);
    // The lower neighbours have no walls towards it; its face is one up.
    for (int s = 0; s < 4; ++s) {
        EXPECT_FALSE(HasSlot(v, 2, 1, 0, s));
        EXPECT_FALSE(HasSlot(v, 1, 2, 0, s));
    }
    ExpectAt(QuadCorners(Piece(v, 2, 2, 0, 4, 0))[0], 11, 1, -22);
}

TEST_F(RoomMesh, WallOfThreePiecesFollowsThePieceHeights)
{
    tsector& s = At(2, 2);
    s.floorBase = 3;
    s.floorPieceHeights[0] = 0.5f;
    const auto v = Mesh();
    const double bottoms[3] = {0.0, 0.5, 2.0}, tops[3] = {0.5, 2.0, 3.0};
    for (int k = 0; k < 3; ++k) {
        const auto q = QuadCorners(Piece(v, 2, 2, 0, 1, k));
        EXPECT_NEAR(q[0].y, -tops[k], 1e-6) << k;
        EXPECT_NEAR(q[3].y, -bottoms[k], 1e-6) << k;
    }
    EXPECT_TRUE(Piece(v, 2, 2, 0, 1, 3).empty());
    EXPECT_EQ(Piece(v, 2, 2, 0, 1, 5).size(), 6u);
}

TEST_F(RoomMesh, RowOneHasNoSideZeroWall)
{
    At(2, 1).floorBase = 2;
    const auto v = Mesh();
    EXPECT_FALSE(HasSlot(v, 2, 1, 0, 0));
    EXPECT_TRUE(HasSlot(v, 2, 1, 0, 1));
    EXPECT_TRUE(HasSlot(v, 2, 1, 0, 2));
    EXPECT_TRUE(HasSlot(v, 2, 1, 0, 3));
}

TEST_F(RoomMesh, SlopeCutsTheTopPieces)
{
    // c1 one unit up, c2 half a unit, c3 0, c4 half.
    tsector& s = At(2, 2);
    s.floorZFall = 2;  // e1
    s.floorXFall = 2;  // e3
    const auto v = Mesh();
    const auto face = QuadCorners(Piece(v, 2, 2, 0, 4, 0));
    ExpectAt(face[0], 11, 0.5, -22);
    ExpectAt(face[1], 12, 0, -22);
    ExpectAt(face[2], 12, 0.5, -21);
    ExpectAt(face[3], 11, 1, -21);
    // Side 0 from c1 (1) to c2 (0.5): the texture is cut to the slope.
    auto q = QuadCorners(Piece(v, 2, 2, 0, 0, 5));
    ExpectAt(q[0], 11, 1, -21);
    ExpectAt(q[1], 12, 0.5, -21);
    ExpectAt(q[2], 12, 0, -21);
    ExpectUV(q[0], 0, 0);
    ExpectUV(q[1], 1, 0.5);
    // Side 1 from c3 (0) to c4 (0.5): the first pair takes the bottom one.
    q = QuadCorners(Piece(v, 2, 2, 0, 1, 5));
    ExpectUV(q[0], 0, 1);
    ExpectUV(q[1], 1, 0);
    // Side 3 from c2 (0.5) to c3 (0): the second pair takes the bottom one.
    q = QuadCorners(Piece(v, 2, 2, 0, 3, 5));
    ExpectUV(q[0], 0, 0);
    ExpectUV(q[1], 1, 1);
    // No strip pieces below a base of 0.
    EXPECT_TRUE(Piece(v, 2, 2, 0, 0, 0).empty());
}

TEST_F(RoomMesh, SplitOneWithASteepHalf)
{
    tsector& s = At(2, 2);
    s.floorSplit = 1;
    s.floorZFall = 16;  // c4 = e1: four units up
    At(2, 3).floorBase = 1;
    const auto v = Mesh();
    // The first triangle became a diagonal wall from c1 to c3, one piece
    // per unit of room height, with the records and id of side 0.
    EXPECT_TRUE(Piece(v, 2, 2, 0, 4, 0).empty());
    for (int k = 0; k < 4; ++k) {
        const auto piece = Piece(v, 2, 2, 0, 0, k);
        ASSERT_EQ(piece.size(), 6u) << k;
        const auto q = QuadCorners(piece);
        ExpectAt(q[0], 11, k + 1, -21);
        ExpectAt(q[1], 12, k + 1, -22);
        ExpectAt(q[2], 12, k, -22);
        ExpectAt(q[3], 11, k, -21);
        EXPECT_EQ(q[0].texture, 0);  // side 0 has no wall of its own
        EXPECT_EQ(ColorOf(q[0]), 0x505099u);  // in the face colour; c4 reaches the top
    }
    EXPECT_TRUE(Piece(v, 2, 2, 0, 0, 4).empty());
    // The second triangle c3, c2, c1 with the split texture.
    const auto tri = Piece(v, 2, 2, 0, 4, 1);
    ASSERT_EQ(tri.size(), 3u);
    ExpectAt(tri[0], 12, 0, -22);
    ExpectAt(tri[1], 12, 0, -21);
    ExpectAt(tri[2], 11, 0, -21);
    ExpectUV(tri[0], 1, 0);
    ExpectUV(tri[1], 1, 1);
    ExpectUV(tri[2], 0, 1);
    EXPECT_EQ(tri[0].texture, 5003);
    // Side 2 is steep (c4): a full-height strip and no top piece. Side 1
    // faces a neighbour a quarter of the room high: dropped.
    EXPECT_EQ(Piece(v, 2, 2, 0, 2, 3).size(), 6u);
    EXPECT_TRUE(Piece(v, 2, 2, 0, 2, 5).empty());
    EXPECT_FALSE(HasSlot(v, 2, 2, 0, 1));
    // The raised neighbour drops its wall towards the steep half.
    EXPECT_FALSE(HasSlot(v, 2, 3, 0, 0));
    EXPECT_TRUE(HasSlot(v, 2, 3, 0, 3));
}

TEST_F(RoomMesh, SplitTwoWithASteepHalf)
{
    tsector& s = At(2, 2);
    s.floorSplit = 2;
    s.floorZRise = 16;  // c3 = e2: four units up
    s.roomBelow = 4;    // split faces keep the plain texture
    const auto v = Mesh();
    // The first triangle (face B) became a diagonal wall from c4 to c2.
    EXPECT_TRUE(Piece(v, 2, 2, 0, 4, 1).empty());
    const auto q = QuadCorners(Piece(v, 2, 2, 0, 2, 0));
    ExpectAt(q[0], 11, 1, -22);
    ExpectAt(q[1], 12, 1, -21);
    EXPECT_EQ(Piece(v, 2, 2, 0, 2, 3).size(), 6u);
    // The second triangle c4, c2, c1 (face A) with the plain texture.
    const auto tri = Piece(v, 2, 2, 0, 4, 0);
    ASSERT_EQ(tri.size(), 3u);
    ExpectAt(tri[0], 11, 0, -22);
    ExpectAt(tri[1], 12, 0, -21);
    ExpectAt(tri[2], 11, 0, -21);
    ExpectUV(tri[0], 0, 0);
    ExpectUV(tri[1], 1, 1);
    ExpectUV(tri[2], 0, 1);
    EXPECT_EQ(tri[0].texture, 5001);
    // Sides 1 and 3 are steep (c3): full-height strips.
    EXPECT_EQ(Piece(v, 2, 2, 0, 1, 3).size(), 6u);
    EXPECT_EQ(Piece(v, 2, 2, 0, 3, 3).size(), 6u);
    EXPECT_TRUE(Piece(v, 2, 2, 0, 3, 5).empty());
}

TEST_F(RoomMesh, SplitFacesAndTheirTextures)
{
    At(1, 1).floorSplit = 1;
    At(2, 1).floorSplit = 2;
    At(3, 1).floorSplit = 1;
    At(3, 1).roomBelow = 2;
    At(1, 2).ceilingSplit = 2;
    At(2, 2).ceilingSplit = 1;
    At(3, 2).ceilingSplit = 3;  // not a split mode: no face
    const auto v = Mesh();
    auto texture = [&](int c, int r, int part, int piece) {
        const auto p = Piece(v, c, r, part, 4, piece);
        return p.empty() ? -1 : p[0].texture;
    };
    EXPECT_EQ(texture(1, 1, 0, 0), 5003);
    EXPECT_EQ(texture(1, 1, 0, 1), 5003);
    EXPECT_EQ(texture(2, 1, 0, 0), 5004);
    EXPECT_EQ(texture(3, 1, 0, 1), 5001);
    EXPECT_EQ(texture(1, 2, 1, 0), 5003);
    EXPECT_EQ(texture(2, 2, 1, 1), 5004);
    EXPECT_EQ(texture(3, 2, 1, 0), -1);
    // Ceiling halves: split 2 is c1, c2, c4 and c2, c3, c4; split 1 is
    // c1, c3, c4 and c1, c2, c3.
    auto tri = Piece(v, 1, 2, 1, 4, 0);
    ASSERT_EQ(tri.size(), 3u);
    ExpectAt(tri[0], 10, 4, -21);
    ExpectAt(tri[1], 11, 4, -21);
    ExpectAt(tri[2], 10, 4, -22);
    tri = Piece(v, 2, 2, 1, 4, 1);
    ASSERT_EQ(tri.size(), 3u);
    ExpectAt(tri[0], 11, 4, -21);
    ExpectAt(tri[1], 12, 4, -21);
    ExpectAt(tri[2], 12, 4, -22);
    ExpectUV(tri[2], 1, 1);
}

TEST_F(RoomMesh, ClosedSectorHasNoFloorAndNoCeiling)
{
    At(2, 2).ceilingBase = 4;  // the ceiling comes down to the floor
    At(3, 3).ceilingBase = 3;  // one unit left open
    At(3, 3).floorBase = 1;    // ... and filled by the floor
    At(1, 1).ceilingBase = 3;  // one unit left open
    const auto v = Mesh();
    EXPECT_FALSE(HasSlot(v, 2, 2, 0, 4));
    EXPECT_FALSE(HasSlot(v, 2, 2, 1, 4));
    EXPECT_FALSE(HasSlot(v, 3, 3, 0, 4));
    EXPECT_FALSE(HasSlot(v, 3, 3, 1, 4));
    EXPECT_TRUE(HasSlot(v, 1, 1, 0, 4));
    EXPECT_TRUE(HasSlot(v, 1, 1, 1, 4));
    // The lowered ceiling hangs its walls from the room's top.
    const auto q = QuadCorners(Piece(v, 2, 2, 1, 0, 0));
    ExpectAt(q[0], 11, 4, -21);
    ExpectAt(q[1], 12, 4, -21);
    ExpectAt(q[2], 12, 3, -21);
    ExpectAt(q[3], 11, 3, -21);
    EXPECT_EQ(ColorOf(q[0]), 0x5099FFu);
    EXPECT_EQ(Piece(v, 2, 2, 1, 0, 3).size(), 6u);
    // Neighbours whose ceilings are higher have no ceiling walls towards it.
    EXPECT_FALSE(HasSlot(v, 2, 1, 1, 1));
}

TEST_F(RoomMesh, CeilingWallRules)
{
    At(2, 2).ceilingBase = 1;
    At(2, 1).floorBase = 4;  // solid: no ceiling wall towards it
    const auto v = Mesh();
    EXPECT_FALSE(HasSlot(v, 2, 2, 1, 0));
    EXPECT_TRUE(HasSlot(v, 2, 2, 1, 1));
    EXPECT_TRUE(HasSlot(v, 2, 2, 1, 2));
    EXPECT_TRUE(HasSlot(v, 2, 2, 1, 3));
    // A strip of one piece, then a top piece of no height at the base.
    const auto top = QuadCorners(Piece(v, 2, 2, 1, 1, 5));
    for (const auto& x : top) EXPECT_NEAR(x.y, -3.0, 1e-6);
    // The corners at the base: each lower pair takes its upper one.
    ExpectUV(top[3], 0, 0);
    ExpectUV(top[2], 1, 0);
}

TEST_F(RoomMesh, BorderAndPortalSectors)
{
    At(2, 1).floorBase = 1;
    At(1, 1).roomBeside = 7;  // a portal at the first row: no wall towards it
    At(2, 3).floorBase = 1;
    const auto v = Mesh();
    EXPECT_FALSE(HasSlot(v, 2, 1, 0, 2));
    EXPECT_TRUE(HasSlot(v, 2, 1, 0, 3));
    EXPECT_TRUE(HasSlot(v, 2, 3, 0, 2));
    // Portal sectors are magenta; a portal on the border has no ceiling.
    for (const auto& x : Piece(v, 1, 1, 0, 4, 0)) EXPECT_EQ(ColorOf(x), 0xFF00FFu);
    EXPECT_FALSE(HasSlot(v, 1, 1, 1, 4));
    At(2, 2).roomBeside = 3;  // not on the border: keeps its ceiling
    const auto w = Mesh();
    EXPECT_TRUE(HasSlot(w, 2, 2, 1, 4));
    for (const auto& x : Piece(w, 2, 2, 1, 4, 0)) EXPECT_EQ(ColorOf(x), 0x5094F5u);
}

TEST_F(RoomMesh, ColourCodesAndTheirPrecedence)
{
    struct Case {
        const char* name;
        std::function<void(tsector&, tr_scene&)> set;
        uint32_t face, wall0, wall1;
    };
    const Case cases[] = {
        {"plain", [](tsector&, tr_scene&) {}, 0x3070F5, 0x3070FF, 0x3070FF},
        {"wall flag", [](tsector& s, tr_scene&) { s.wallFlags[1] = 1; }, 0x3070F5, 0x3070FF, 0x808080},
        {"low nibble", [](tsector& s, tr_scene&) { s.faceFlags = 0x01; }, 0xF0CAA6, 0x3070FF, 0x3070FF},
        {"bit 4", [](tsector& s, tr_scene&) { s.faceFlags = 0x10; }, 0x008000, 0x3070FF, 0x3070FF},
        {"bit 5", [](tsector& s, tr_scene&) { s.faceFlags = 0x20; }, 0x00FF00, 0x3070FF, 0x3070FF},
        {"both nibbles", [](tsector& s, tr_scene&) { s.faceFlags = 0x31; }, 0x008000, 0x3070FF, 0x3070FF},
        {"death", [](tsector& s, tr_scene&) { s.faceFlags = 0x21, s.death = 1; }, 0x000080, 0x3070FF, 0x3070FF},
        {"portal",
         [](tsector& s, tr_scene&) {
             s.death = 1;
             s.wallFlags[0] = 1;
             s.roomBeside = 2;
         },
         0xFF00FF, 0xFF00FF, 0xFF00FF},
        {"edit 1 selected",
         [](tsector& s, tr_scene& sc) {
             s.roomBeside = 2;
             s.indicator = 1;
             sc.EditMode = 1;
         },
         0x0000FF, 0x0000FF, 0x0000FF},
        {"edit 0 ignores the selection", [](tsector& s, tr_scene&) { s.indicator = 1, s.indicatorWord = 1; }, 0x3070F5,
         0x3070FF, 0x3070FF},
        {"edit 5 selected",
         [](tsector& s, tr_scene& sc) {
             s.indicator = 1;
             sc.EditMode = 5;
         },
         0x0000FF, 0x0000FF, 0x0000FF},
        {"edit 5 marked",
         [](tsector& s, tr_scene& sc) {
             s.indicator = 1;
             s.indicatorWord = 3;
             sc.EditMode = 5;
         },
         0x00FFFF, 0x00FFFF, 0x00FFFF},
        {"edit 5 word only",
         [](tsector& s, tr_scene& sc) {
             s.indicatorWord = 3;
             s.death = 1;
             sc.EditMode = 5;
         },
         0xFF00FF, 0xFF00FF, 0xFF00FF},
        {"at the top", [](tsector& s, tr_scene&) { s.floorZFall = 12, s.wallFlags[1] = 1; }, 0x505099, 0x505099,
         0x808080},
        {"textured", [](tsector& s, tr_scene& sc) { s.wallFlags[1] = 1, sc.Textured = 1; }, 0xFFFFFF, 0xFFFFFF,
         0x808080},
        {"textured portal",
         [](tsector& s, tr_scene& sc) {
             s.roomBeside = 1;
             sc.Textured = 1;
         },
         0xFF00FF, 0xFF00FF, 0xFF00FF},
    };
    for (const Case& c : cases) {
        SetUp();
        scene.EditMode = 0;
        scene.Textured = 0;
        tsector& s = At(2, 2);
        if (s.floorBase == 0) s.floorBase = 1;  // so that its walls stand
        c.set(s, scene);
        const auto v = Mesh();
        const auto face = Piece(v, 2, 2, 0, 4, 0);
        ASSERT_FALSE(face.empty()) << c.name;
        EXPECT_EQ(ColorOf(face[0]), c.face) << c.name;
        EXPECT_EQ(ColorOf(Piece(v, 2, 2, 0, 0, 0)[0]), c.wall0) << c.name;
        EXPECT_EQ(ColorOf(Piece(v, 2, 2, 0, 1, 0)[0]), c.wall1) << c.name;
    }
}

TEST_F(RoomMesh, CeilingColourCodes)
{
    tsector& s = At(2, 2);
    s.ceilingBase = 1;
    s.ceilingFaceFlag = 1;
    s.wallFlags[2] = 1;
    s.faceFlags = 0x10;  // floor only
    s.death = 1;         // floor only
    const auto v = Mesh();
    EXPECT_EQ(ColorOf(Piece(v, 2, 2, 1, 4, 0)[0]), 0x808080u);
    EXPECT_EQ(ColorOf(Piece(v, 2, 2, 1, 2, 0)[0]), 0x808080u);
    EXPECT_EQ(ColorOf(Piece(v, 2, 2, 1, 3, 0)[0]), 0x5099FFu);
    s.indicator = 1;
    scene.EditMode = 5;
    s.indicatorWord = 1;
    const auto w = Mesh();
    EXPECT_EQ(ColorOf(Piece(w, 2, 2, 1, 4, 0)[0]), 0x00FFFFu);
    EXPECT_EQ(ColorOf(Piece(w, 2, 2, 1, 3, 0)[0]), 0x00FFFFu);
}

TEST_F(RoomMesh, EditModeOneIcons)
{
    scene.EditMode = 1;
    At(1, 1).indicator = 1;  // unsplit
    At(2, 1).indicator = 1;
    At(2, 1).floorSplit = 1;
    At(2, 1).ceilingSplit = 2;
    At(3, 1).indicator = 1;
    At(3, 1).floorSplit = 2;
    At(3, 1).ceilingSplit = 1;
    auto texture = [](const std::vector<txgl_vertex>& v, int c, int part, int piece) {
        const auto p = Piece(v, c, 1, part, 4, piece);
        return p.empty() ? -1 : p[0].texture;
    };
    // Selector 0 changes nothing: the selection colour stays.
    auto v = Mesh();
    EXPECT_EQ(texture(v, 1, 0, 0), 5001);
    EXPECT_EQ(ColorOf(Piece(v, 1, 1, 0, 4, 0)[0]), 0x0000FFu);

    const int floor0[4] = {6001, 6003, 6002, 6004}, floor1[4] = {6007, 6008, 6005, 6006},
              floor2[4] = {6006, 6007, 6008, 6005};
    const int ceiling0[4] = {6002, 6003, 6001, 6004}, ceiling2[4] = {6007, 6008, 6005, 6006},
              ceiling1[4] = {6006, 6007, 6008, 6005};
    for (int sel = 1; sel <= 4; ++sel) {
        scene.FloorIcon = sel;
        scene.SplitIcon = sel;
        v = Mesh();
        EXPECT_EQ(texture(v, 1, 0, 0), floor0[sel - 1]) << sel;
        EXPECT_EQ(texture(v, 1, 1, 0), ceiling0[sel - 1]) << sel;
        EXPECT_EQ(texture(v, 2, 0, 0), floor1[sel - 1]) << sel;
        EXPECT_EQ(texture(v, 2, 0, 1), floor1[sel - 1]) << sel;
        EXPECT_EQ(texture(v, 2, 1, 1), ceiling2[sel - 1]) << sel;
        EXPECT_EQ(texture(v, 3, 0, 0), floor2[sel - 1]) << sel;
        EXPECT_EQ(texture(v, 3, 1, 0), ceiling1[sel - 1]) << sel;
        // The icon shows in white; the walls keep the selection colour.
        EXPECT_EQ(ColorOf(Piece(v, 1, 1, 0, 4, 0)[0]), 0xFFFFFFu);
    }
    // The icons show in the textured view too.
    scene.Textured = 1;
    scene.FloorIcon = 2;
    v = Mesh();
    EXPECT_EQ(texture(v, 1, 0, 0), 6003);
    // Edit mode 5 has no icons.
    scene.EditMode = 5;
    v = Mesh();
    EXPECT_EQ(texture(v, 1, 0, 0), 5001);
}

TEST_F(RoomMesh, HiddenPassesAndRoomsThatDoNotExist)
{
    scene.HideFloors = 1;
    auto v = Mesh();
    EXPECT_EQ(v.size(), 54u);
    for (const auto& x : v) EXPECT_EQ(TagOf(x).part, 1);
    scene.HideCeilings = 1;
    EXPECT_TRUE(Mesh().empty());
    scene.HideFloors = scene.HideCeilings = 0;

    EXPECT_TRUE(MeshOf(scene, 0).empty());
    EXPECT_TRUE(MeshOf(scene, 2).empty());
    project.rooms[1].columns = 0;
    EXPECT_TRUE(Mesh().empty());
    // Only the low byte of the size counts; a grid smaller than the size is
    // drawn as far as it goes.
    project.rooms[1].columns = 256 + 3;
    EXPECT_EQ(Mesh().size(), 108u);
    project.rooms[1].columns = 5;
    EXPECT_EQ(Mesh().size(), 108u);
    scene.Project = nullptr;
    EXPECT_TRUE(Mesh().empty());
}

TEST_F(RoomMesh, RoomPositionAndTags)
{
    tcuarto& r = project.rooms[1];
    r.y = -3;
    AddRoom(project, -5, -7, 2, 1, 1, 2);
    const auto v = MeshOf(scene, 2);
    ASSERT_EQ(v.size(), 12u);
    const auto floor = QuadCorners(Piece(v, 1, 1, 0, 4, 0));
    ExpectAt(floor[3], -5, 2, 7);  // c1 at (x, -z)
    ExpectAt(floor[1], -4, 2, 6);  // c3
    const auto ceiling = QuadCorners(Piece(v, 1, 1, 1, 4, 0));
    ExpectAt(ceiling[0], -5, 4, 7);
    for (const auto& x : v) EXPECT_EQ(TagOf(x).room, 2);
    const auto w = Mesh();
    ExpectAt(QuadCorners(Piece(w, 3, 3, 0, 4, 0))[0], 12, -3, -23);
}
