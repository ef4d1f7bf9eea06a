// Room meshes of small hand-built rooms: corner heights, which walls stand
// and how they are cut into pieces, splits and their steep halves, colour
// codes, texture ids and coordinates of face records, icons and tags.
#include <functional>

#include "support/view_fixture.h"

namespace {

constexpr double T = 1.0 - 1.0 / 256;  // a texture coordinate of 1, one texel in

// A 3 x 3 room at x 10, z 20, four units high: the sector in column i and
// row j has its corner c1 at (9 + i, -19 - j).
class RoomMesh : public ::testing::Test {
protected:
    void SetUp() override
    {
        project = TTestProject();
        project.Room().At(10, 20).Size(3, 3);
        scene.Project = &project;
    }
    tsector& At(int column, int row) { return project.At(1, column, row); }
    // The room's mesh under the identity transform, or the vertices of one
    // piece of it: part 0 floor, 1 ceiling; slot 0..3 a wall side, 4 the face.
    std::vector<txgl_vertex> Mesh(int room = 1)
    {
        scene.GL.ClearList(-1);
        scene.GL.LoadIdentity();
        scene.GL.SetList(2);
        scene.BuildRoomMesh(room);
        return mesh = ListVertices(scene.GL, 2);
    }
    std::vector<txgl_vertex> Piece(int column, int row, int part, int slot, int piece = -1) const
    {
        std::vector<txgl_vertex> out;
        for (const auto& v : mesh) {
            const tpick_tag t = TagOf(v);
            if (t.column == column && t.row == row && t.part == part && t.slot == slot &&
                (piece < 0 || t.piece == piece))
                out.push_back(v);
        }
        return out;
    }
    // A quad's corners V1..V4 (it emits V2, V3, V1, V4, V1, V3) or a
    // triangle's, each checked against (x, height, z, u, v).
    static void ExpectFace(const std::vector<txgl_vertex>& v, std::vector<std::array<double, 5>> corners)
    {
        ASSERT_EQ(v.size() % 3, 0u);
        ASSERT_GE(v.size(), corners.size() == 4 ? 6u : 3u);
        for (size_t k = 0; k < corners.size(); ++k) {
            static constexpr size_t kQuad[4] = {2, 0, 1, 3};
            const txgl_vertex& e = v[corners.size() == 4 ? kQuad[k] : k];
            const auto& c = corners[k];
            EXPECT_TRUE(NearPoint(e, c[0], -c[1], c[2], 1e-5)) << "corner " << k + 1;
            if (c[3] >= 0) {
                EXPECT_NEAR(e.u, c[3], 1e-9) << "corner " << k + 1;
                EXPECT_NEAR(e.v, c[4], 1e-9) << "corner " << k + 1;
            }
        }
    }

    TTestProject project;
    tr_scene scene;
    std::vector<txgl_vertex> mesh;
};

constexpr double _ = -1;  // a texture coordinate not checked

}  // namespace

TEST_F(RoomMesh, FlatRoomIsOneQuadPerSectorAndSide)
{
    ASSERT_EQ(Mesh().size(), 9u * 6 * 2);
    for (const auto& x : mesh) {
        const tpick_tag t = TagOf(x);
        // the tag's kind, room, element and slot, and the texture
        EXPECT_EQ(std::tuple(int(t.kind), int(t.room), int(t.element), int(t.slot), x.texture),
                  std::tuple(int(TAG_SECTOR_FACE), 1, 0, 4, 5001));
    }
    ExpectFace(Piece(2, 2, 0, 4), {{11, 0, -22, 0, 0}, {12, 0, -22, 1, 0}, {12, 0, -21, 1, 1}, {11, 0, -21, 0, 1}});
    ExpectFace(Piece(2, 2, 1, 4), {{11, 4, -21, 0, 0}, {12, 4, -21, 1, 0}, {12, 4, -22, 1, 1}, {11, 4, -22, 0, 1}});
    EXPECT_EQ(ColorOf(Piece(2, 2, 0, 4).at(0)), 0x3070F5u);
    EXPECT_EQ(ColorOf(Piece(2, 2, 1, 4).at(0)), 0x5094F5u);
}

TEST_F(RoomMesh, WallsStandWhereTheNeighbourIsLowerInPiecesUpToTheBase)
{
    At(2, 2).floorBase = 3;
    At(2, 2).floorPieceHeights[0] = 0.5f;
    At(2, 3).floorBase = 1;
    At(2, 1).floorBase = 1;
    Mesh();
    // Side 1, towards the lower row 3: pieces from the floor up to the base.
    const double heights[][2] = {{0, 0.5}, {0.5, 2}, {2, 3}};
    for (int k = 0; k < 3; ++k) {
        const auto piece = Piece(2, 2, 0, 1, k);
        ExpectFace(piece, {{12, heights[k][1], -22, 0, 0},
                           {11, heights[k][1], -22, 1, 0},
                           {11, heights[k][0], -22, 1, 1},
                           {12, heights[k][0], -22, 0, 1}});
        EXPECT_EQ(ColorOf(piece[0]), 0x3070FFu);
    }
    EXPECT_TRUE(Piece(2, 2, 0, 1, 3).empty());
    // The top piece from the base to the corners has no height here and the
    // texture coordinates of its bottom.
    ExpectFace(Piece(2, 2, 0, 1, 5), {{12, 3, -22, 0, 1}, {11, 3, -22, 1, 1}, {11, 3, -22, 1, 1}, {12, 3, -22, 0, 1}});
    // Sides 0, 2 and 3 run along c1-c2, c4-c1 and c2-c3.
    ExpectFace(Piece(2, 2, 0, 0, 0),
               {{11, 0.5, -21, _, _}, {12, 0.5, -21, _, _}, {12, 0, -21, _, _}, {11, 0, -21, _, _}});
    ExpectFace(Piece(2, 2, 0, 2, 0),
               {{11, 0.5, -22, _, _}, {11, 0.5, -21, _, _}, {11, 0, -21, _, _}, {11, 0, -22, _, _}});
    ExpectFace(Piece(2, 2, 0, 3, 0),
               {{12, 0.5, -21, _, _}, {12, 0.5, -22, _, _}, {12, 0, -22, _, _}, {12, 0, -21, _, _}});
    // Lower neighbours have no walls towards it; row 1 none towards the border.
    EXPECT_EQ(Piece(2, 3, 0, 0).size(), 0u);
    EXPECT_EQ(Piece(1, 2, 0, 3).size(), 0u);
    EXPECT_EQ(Piece(2, 1, 0, 0).size(), 0u);
    EXPECT_FALSE(Piece(2, 1, 0, 2).empty());
    EXPECT_FALSE(Piece(2, 3, 0, 2).empty());
    // Rooms higher than a strip can name have strips of 255 pieces.
    project.rooms[1].height = 1000;
    At(2, 2).floorBase = 0;
    At(2, 2).floorSplit = 1;
    At(2, 2).floorZFall = 16;  // c4 steep
    Mesh();
    for (int slot : {0, 1, 2}) EXPECT_EQ(Piece(2, 2, 0, slot).size(), 255u * 6) << slot;
}

TEST_F(RoomMesh, SlopesCutTheTexturesOfTheTopPieces)
{
    At(2, 2).floorZFall = 2;  // c1 one unit up, c2 half a unit, c3 0, c4 half
    At(2, 2).floorXFall = 2;
    Mesh();
    ExpectFace(Piece(2, 2, 0, 4), {{11, 0.5, -22, _, _}, {12, 0, -22, _, _}, {12, 0.5, -21, _, _}, {11, 1, -21, _, _}});
    ExpectFace(Piece(2, 2, 0, 0, 5),
               {{11, 1, -21, 0, 0}, {12, 0.5, -21, 1, 0.5}, {12, 0, -21, 1, 1}, {11, 0, -21, 0, 1}});
    ExpectFace(Piece(2, 2, 0, 1, 5),
               {{12, 0, -22, 0, 1}, {11, 0.5, -22, 1, 0}, {11, 0, -22, 1, 1}, {12, 0, -22, 0, 1}});
    ExpectFace(Piece(2, 2, 0, 3, 5),
               {{12, 0.5, -21, 0, 0}, {12, 0, -22, 1, 1}, {12, 0, -22, 1, 1}, {12, 0, -21, 0, 1}});
    EXPECT_TRUE(Piece(2, 2, 0, 0, 0).empty());  // no strip below a base of 0
    // Ceilings: a lowered ceiling hangs its walls from the room's top, then
    // its top piece down to the corners; solid neighbours hide a wall.
    // c1..c4 1.75, 1.5, 1, 1.25 down
    At(2, 2).ceilingBase = 1;
    At(2, 2).ceilingZFall = 2;
    At(2, 2).ceilingXRise = 1;
    At(2, 1).floorBase = 4;
    Mesh();
    EXPECT_TRUE(Piece(2, 2, 1, 0).empty());
    ExpectFace(Piece(2, 2, 1, 1, 0), {{12, 4, -22, _, _}, {11, 4, -22, _, _}, {11, 3, -22, _, _}, {12, 3, -22, _, _}});
    ExpectFace(Piece(2, 2, 1, 2, 5),
               {{11, 3, -22, 0, 0}, {11, 3, -21, 1, 0}, {11, 2.25, -21, 1, 1}, {11, 2.75, -22, 0, 0.5}});
    EXPECT_EQ(ColorOf(Piece(2, 2, 1, 2, 5)[0]), 0x5099FFu);
    ExpectFace(Piece(2, 2, 1, 4),
               {{11, 2.25, -21, _, _}, {12, 2.5, -21, _, _}, {12, 3, -22, _, _}, {11, 2.75, -22, _, _}});
}

TEST_F(RoomMesh, SplitFacesAndTheirSteepHalves)
{
    At(1, 1).floorSplit = 1;
    At(2, 1).floorSplit = 2;
    // a split over a room keeps the plain texture
    At(3, 1).floorSplit = 1;
    At(3, 1).roomBelow = 2;
    At(1, 2).ceilingSplit = 2;
    At(2, 2).ceilingSplit = 1;
    // no split mode: no face
    At(3, 2).ceilingSplit = 3;
    At(3, 3).floorSplit = 3;
    // c4 four units up: its half is steep
    At(2, 2).floorSplit = 1;
    At(2, 2).floorZFall = 16;
    At(2, 3).floorBase = 1;
    Mesh();
    const struct {
        int column, row, part, piece, texture;
    } textures[] = {{1, 1, 0, 0, 5003}, {1, 1, 0, 1, 5003}, {2, 1, 0, 0, 5004}, {3, 1, 0, 1, 5001},
                    {1, 2, 1, 0, 5003}, {2, 2, 1, 1, 5004}, {2, 2, 0, 1, 5003}};
    for (const auto& t : textures)
        EXPECT_EQ(Piece(t.column, t.row, t.part, 4, t.piece).at(0).texture, t.texture) << t.column << t.row;
    EXPECT_EQ(Piece(3, 2, 1, 4).size(), 0u);
    EXPECT_EQ(Piece(3, 3, 0, 4).size(), 0u);
    EXPECT_FALSE(Piece(3, 3, 1, 4).empty());
    // Ceiling halves: split 2 is c1, c2, c4 and c2, c3, c4; split 1 c1, c3, c4 and c1, c2, c3.
    ExpectFace(Piece(1, 2, 1, 4, 0), {{10, 4, -21, 0, 0}, {11, 4, -21, 1, 0}, {10, 4, -22, 0, 1}});
    ExpectFace(Piece(2, 2, 1, 4, 1), {{11, 4, -21, 0, 0}, {12, 4, -21, 1, 0}, {12, 4, -22, 1, 1}});
    // Floor split 1: the second half c3, c2, c1; the steep first half became
    // a diagonal wall from c1 to c3, a piece per unit of room height, with
    // side 0's records and id (none: no wall there) in the face colour.
    ExpectFace(Piece(2, 2, 0, 4, 1), {{12, 0, -22, 1, 0}, {12, 0, -21, 1, 1}, {11, 0, -21, 0, 1}});
    EXPECT_TRUE(Piece(2, 2, 0, 4, 0).empty());
    for (double k = 0; k < 4; ++k) {
        const auto piece = Piece(2, 2, 0, 0, int(k));
        ExpectFace(piece, {{11, k + 1, -21, _, _}, {12, k + 1, -22, _, _}, {12, k, -22, _, _}, {11, k, -21, _, _}});
        EXPECT_EQ(piece.at(0).texture, 0);
        EXPECT_EQ(ColorOf(piece[0]), 0x505099u);  // the corner reaches the top
    }
    // Side 2 is steep: a full-height strip, no top piece. Side 1 faces a
    // neighbour a quarter of the room high, which drops its own wall too.
    EXPECT_EQ(Piece(2, 2, 0, 2, 3).size(), 6u);
    EXPECT_EQ(Piece(2, 2, 0, 2, 5).size(), 0u);
    EXPECT_EQ(Piece(2, 2, 0, 1).size(), 0u);
    EXPECT_EQ(Piece(2, 3, 0, 0).size(), 0u);
    EXPECT_FALSE(Piece(2, 3, 0, 3).empty());

    // Split 2 with a steep c3: the first half (face B) is the diagonal from c4 to c2.
    At(2, 2).floorSplit = 2;
    At(2, 2).floorZFall = 0;
    At(2, 2).floorZRise = 16;
    Mesh();
    ExpectFace(Piece(2, 2, 0, 2, 0), {{11, 1, -22, _, _}, {12, 1, -21, _, _}, {12, 0, -21, _, _}, {11, 0, -22, _, _}});
    ExpectFace(Piece(2, 2, 0, 4, 0), {{11, 0, -22, 0, 0}, {12, 0, -21, 1, 1}, {11, 0, -21, 0, 1}});
    EXPECT_EQ(Piece(2, 2, 0, 3, 3).size(), 6u);
    EXPECT_EQ(Piece(2, 2, 0, 3, 5).size(), 0u);
}

TEST_F(RoomMesh, ClosedBorderAndHiddenParts)
{
    At(2, 2).ceilingBase = 4;  // the ceiling down to the floor
    // the last unit filled by the floor
    At(3, 3).ceilingBase = 3;
    At(3, 3).floorBase = 1;
    At(1, 1).ceilingBase = 3;  // one unit left open
    At(3, 1).roomBeside = 7;   // a portal on the border: no ceiling, no wall along the border
    At(2, 1).floorBase = 1;
    Mesh();
    EXPECT_EQ(Piece(2, 2, 0, 4).size(), 0u);
    EXPECT_EQ(Piece(2, 2, 1, 4).size(), 0u);
    EXPECT_EQ(Piece(3, 3, 0, 4).size(), 0u);
    EXPECT_EQ(Piece(3, 3, 1, 4).size(), 0u);
    EXPECT_EQ(Piece(3, 1, 1, 4).size(), 0u);
    EXPECT_EQ(Piece(2, 1, 0, 3).size(), 0u);
    EXPECT_FALSE(Piece(1, 1, 0, 4).empty());
    EXPECT_FALSE(Piece(1, 1, 1, 4).empty());
    EXPECT_FALSE(Piece(2, 1, 0, 2).empty());
    // a portal inside the grid keeps its ceiling
    At(2, 2).ceilingBase = 0;
    At(2, 2).roomBeside = 3;
    Mesh();
    EXPECT_EQ(ColorOf(Piece(2, 2, 1, 4).at(0)), 0x5094F5u);

    SetUp();
    scene.HideFloors = 1;
    EXPECT_EQ(Mesh().size(), 9u * 6);
    for (const auto& x : mesh) EXPECT_EQ(TagOf(x).part, 1);
    scene.HideCeilings = 1;
    EXPECT_TRUE(Mesh().empty());
    scene.HideFloors = scene.HideCeilings = 0;
    EXPECT_EQ(Mesh(0).size(), 0u);
    EXPECT_EQ(Mesh(2).size(), 0u);
    // Only the low byte of the size counts; a grid smaller than the size is
    // drawn as far as it goes.
    project.rooms[1].columns = 256 + 1;
    EXPECT_EQ(Mesh().size(), 3u * 12);
    project.rooms[1].columns = 5;
    EXPECT_EQ(Mesh().size(), 9u * 12);
    scene.Project = nullptr;
    EXPECT_TRUE(Mesh().empty());
}

TEST_F(RoomMesh, ColourCodesAndTheirPrecedence)
{
    const struct {
        const char* name;
        std::function<void(tsector&, tr_scene&)> set;
        uint32_t face, wall0, wall1;
    } rows[] = {
        {"plain", [](tsector&, tr_scene&) {}, 0x3070F5, 0x3070FF, 0x3070FF},
        {"wall flag", [](tsector& s, tr_scene&) { s.wallFlags[1] = 1; }, 0x3070F5, 0x3070FF, 0x808080},
        {"low nibble", [](tsector& s, tr_scene&) { s.faceFlags = 0x01; }, 0xF0CAA6, 0x3070FF, 0x3070FF},
        {"bit 4", [](tsector& s, tr_scene&) { s.faceFlags = 0x31; }, 0x008000, 0x3070FF, 0x3070FF},
        {"death",
         [](tsector& s, tr_scene&) {
             s.faceFlags = 0x21;
             s.death = 1;
         },
         0x000080, 0x3070FF, 0x3070FF},
        {"portal",
         [](tsector& s, tr_scene&) {
             s.death = 1;
             s.wallFlags[0] = 1;
             s.roomBeside = 2;
         },
         0xFF00FF, 0xFF00FF, 0xFF00FF},
        {"edit 1",
         [](tsector& s, tr_scene& sc) {
             s.roomBeside = 2;
             s.indicator = 1;
             sc.EditMode = 1;
         },
         0x0000FF, 0x0000FF, 0x0000FF},
        {"edit 5",
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
        {"edit 5 word",
         [](tsector& s, tr_scene& sc) {
             s.indicatorWord = 3;
             s.death = 1;
             sc.EditMode = 5;
         },
         0xFF00FF, 0xFF00FF, 0xFF00FF},
        {"at the top",
         [](tsector& s, tr_scene&) {
             s.floorZFall = 12;
             s.wallFlags[1] = 1;
         },
         0x505099, 0x505099, 0x808080},
        {"textured",
         [](tsector& s, tr_scene& sc) {
             s.wallFlags[1] = 1;
             sc.Textured = 1;
         },
         0xFFFFFF, 0xFFFFFF, 0x808080},
    };
    for (const auto& r : rows) {
        SetUp();
        scene.EditMode = scene.Textured = 0;
        At(2, 2).floorBase = 1;  // so that its walls stand
        r.set(At(2, 2), scene);
        Mesh();
        EXPECT_EQ(ColorOf(Piece(2, 2, 0, 4).at(0)), r.face) << r.name;
        EXPECT_EQ(ColorOf(Piece(2, 2, 0, 0).at(0)), r.wall0) << r.name;
        EXPECT_EQ(ColorOf(Piece(2, 2, 0, 1).at(0)), r.wall1) << r.name;
    }
    // Ceilings: grey with their face flag and flagged walls; floor codes do not apply.
    SetUp();
    scene.Textured = 0;
    At(2, 2).ceilingBase = 1;
    At(2, 2).ceilingFaceFlag = 1;
    At(2, 2).wallFlags[2] = 1;
    At(2, 2).faceFlags = 0x10;
    At(2, 2).death = 1;
    Mesh();
    EXPECT_EQ(ColorOf(Piece(2, 2, 1, 4).at(0)), 0x808080u);
    EXPECT_EQ(ColorOf(Piece(2, 2, 1, 2).at(0)), 0x808080u);
    EXPECT_EQ(ColorOf(Piece(2, 2, 1, 3)[0]), 0x5099FFu);
    At(2, 2).indicator = 1;
    At(2, 2).indicatorWord = 1;
    scene.EditMode = 5;
    Mesh();
    EXPECT_EQ(ColorOf(Piece(2, 2, 1, 4).at(0)), 0x00FFFFu);
    EXPECT_EQ(ColorOf(Piece(2, 2, 1, 3).at(0)), 0x00FFFFu);
}

TEST_F(RoomMesh, EditModeOneIcons)
{
    scene.EditMode = 1;
    At(1, 1).indicator = 1;
    At(2, 1).indicator = 1;
    At(2, 1).floorSplit = 1;
    At(2, 1).ceilingSplit = 2;
    At(3, 1).indicator = 1;
    At(3, 1).floorSplit = 2;
    At(3, 1).ceilingSplit = 1;
    auto texture = [&](int column, int part, int piece) { return Piece(column, 1, part, 4, piece).at(0).texture; };
    Mesh();
    EXPECT_EQ(texture(1, 0, 0), 5001);  // selector 0: none, the selection colour stays
    EXPECT_EQ(ColorOf(Piece(1, 1, 0, 4)[0]), 0x0000FFu);
    const int icons[7][4] = {{6001, 6003, 6002, 6004}, {6002, 6003, 6001, 6004}, {6007, 6008, 6005, 6006},
                             {6007, 6008, 6005, 6006}, {6007, 6008, 6005, 6006}, {6006, 6007, 6008, 6005},
                             {6006, 6007, 6008, 6005}};
    for (int sel = 1; sel <= 4; ++sel) {
        scene.FloorIcon = scene.SplitIcon = sel;
        Mesh();
        const int got[7] = {texture(1, 0, 0), texture(1, 1, 0), texture(2, 0, 0), texture(2, 0, 1),
                            texture(2, 1, 1), texture(3, 0, 0), texture(3, 1, 0)};
        for (int i = 0; i < 7; ++i) EXPECT_EQ(got[i], icons[i][sel - 1]) << sel << " " << i;
        EXPECT_EQ(ColorOf(Piece(1, 1, 0, 4)[0]), 0xFFFFFFu);  // the icon in white
    }
    scene.Textured = 1;  // in the textured view too
    scene.FloorIcon = 2;
    Mesh();
    EXPECT_EQ(texture(1, 0, 0), 6003);
    scene.EditMode = 5;  // no icons in other modes
    Mesh();
    EXPECT_EQ(texture(1, 0, 0), 5001);
}

TEST_F(RoomMesh, FaceRecordsGiveTexturesCoordinatesAndColours)
{
    // Coordinates one texel in, turned corner by corner, after a flip of
    // the u values (1 with 2, 3 with 4); the untextured view ignores them.
    tface_texture r{};
    r.uv[0] = {0.25f, 0.5f};
    r.uv[1] = {0.5f, 0.5f};
    r.uv[2] = {0.5f, 0.75f};
    r.uv[3] = {0.25f, 0.75f};
    const double a = 0.25, b = 0.5 - 1.0 / 256, c = 0.5, d = 0.75 - 1.0 / 256;
    const struct {
        uint8_t textured, flip, rotations;
        double uv[8];
    } rows[] = {{1, 0, 0, {a, c, b, c, b, d, a, d}}, {1, 0, 1, {a, d, a, c, b, c, b, d}},
                {1, 0, 5, {a, d, a, c, b, c, b, d}}, {1, 0, 2, {b, d, a, d, a, c, b, c}},
                {1, 1, 0, {b, c, a, c, a, d, b, d}}, {1, 1, 1, {b, d, b, c, a, c, a, d}},
                {0, 1, 1, {0, 0, 1, 0, 1, 1, 0, 1}}};
    for (const auto& row : rows) {
        scene.Textured = row.textured;
        r.flip = row.flip;
        r.rotations = row.rotations;
        const tface_uv uv = scene.FaceUV(r, 0);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(std::tuple(uv.tu[k], uv.tv[k]), std::tuple(row.uv[2 * k], row.uv[2 * k + 1]))
                << "row " << &row - rows << ", corner " << k;
    }
    // Colour modes (the high bit does not count), when colour codes are on.
    const struct {
        uint8_t mode, codes;
        uint32_t colour;
    } modes[] = {{0, 1, 0x123456},   {1, 1, 0x00FF00}, {2, 1, 0xFF0000},
                 {129, 1, 0x00FF00}, {3, 1, 0x090909}, {2, 0, 0x090909}};
    for (const auto& m : modes) {
        scene.ColorCodes = m.codes;
        r.mode = m.mode;
        scene.GL.SetColor(9, 9, 9);
        scene.FaceUV(r, 0x123456);
        EXPECT_EQ(uint32_t(scene.GL.ColorR | scene.GL.ColorG << 8 | scene.GL.ColorB << 16), m.colour) << int(m.mode);
    }
    scene.ColorCodes = 1;
    // Walls take the records of their pieces, in both views.
    tsector& s = At(2, 2);
    s.floorBase = 1;
    s.walls[0][0].textureId = 12;
    s.walls[1][0].textureId = 9999;
    s.floorFaces[0].textureId = 33;
    s.floorFaces[0].mode = 2;
    At(1, 1).floorFaces[0].textureId = 9999;  // hidden in both views
    Mesh();
    EXPECT_EQ(Piece(1, 1, 0, 4, 0).at(0).texture, 9999);
    const int plain[5] = {5001, 9999, 5001, 5001, 5001}, textured[5] = {12, 9999, 0, 0, 33};
    for (int slot = 0; slot < 5; ++slot) EXPECT_EQ(Piece(2, 2, 0, slot, 0).at(0).texture, plain[slot]) << slot;
    EXPECT_EQ(ColorOf(Piece(2, 2, 0, 4)[0]), 0xFF0000u);
    scene.Textured = 1;
    Mesh();
    for (int slot = 0; slot < 5; ++slot) EXPECT_EQ(Piece(2, 2, 0, slot, 0).at(0).texture, textured[slot]) << slot;
    EXPECT_EQ(Piece(1, 1, 0, 4, 0).at(0).texture, 9999);
    EXPECT_EQ(Piece(1, 2, 0, 4, 0).at(0).texture, 5001);  // a record of id 0: the default
    ExpectFace(Piece(2, 2, 0, 0, 0), {{11, 1, -21, 0, 0}, {12, 1, -21, T, 0}, {12, 0, -21, T, T}, {11, 0, -21, 0, T}});

    // Pieces past the sixth share the last record.
    project.rooms[1].height = 10;
    s.floorBase = 8;
    for (int k = 0; k < 6; ++k) s.walls[0][k].textureId = uint16_t(50 + k);
    Mesh();
    EXPECT_EQ(Piece(2, 2, 0, 0).size(), 9u * 6);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(Piece(2, 2, 0, 0, k).at(0).texture, 50 + k);
    for (const auto& x : Piece(2, 2, 0, 0, 5)) EXPECT_EQ(x.texture, 55);
    EXPECT_EQ(Piece(2, 2, 0, 0, 5).size(), 4u * 6);
}
