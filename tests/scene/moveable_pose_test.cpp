// Moveables posed in a frame: rotations in every encoding, the mesh tree's
// pushes and pops, skins, the animation and frame tables, and damaged tables.
#include "scene/moveable_pose.h"
#include "scene/mesh_draw.h"
#include "support/view_fixture.h"

namespace {

// A frame: the root offset and one rotation per mesh; a one-axis rotation
// (axis 1 to 3 for x, y, z) or, with axis 0, x and z in tenths of 1024.
TFrameDesc Frame(std::vector<std::array<uint16_t, 2>> rotations, std::array<int16_t, 3> offset = {})
{
    TFrameDesc f{{}, offset, {}};
    for (const auto& [axis, angle] : rotations) {
        TFrameRotation r{TFrameRotation::TAxis(axis), 0, 0, 0};
        (axis == 1 ? r.x : axis == 2 ? r.y : r.z) = angle;
        if (axis == 0) {
            r.x = angle >> 8 << 8;
            r.z = uint16_t((angle & 0xFF) << 2);
        }
        f.rotations.push_back(r);
    }
    return f;
}

class MoveablePose : public ::testing::Test, protected TLevelMeshes {
protected:
    // One moveable of `count` axis triangles (mesh k on page k - 1), its tree
    // and one animation of the frames.
    void Chain(int code, int count, const std::vector<TMeshTreeNode>& tree, const std::vector<TFrameDesc>& frames)
    {
        TLevelDesc d;
        d.version_code = code;
        TMoveableDesc m;
        for (int k = 0; k < count; ++k) {
            d.object_textures.push_back(SquareTexture(uint16_t(k)));
            m.meshes.push_back(AxisTriangle(uint16_t(k)));
        }
        m.tree = tree;
        m.animations = {frames};
        AddMoveable(d, m);
        Load(d);
    }
    std::vector<txgl_vertex> Draw(int32_t moveable, int32_t frame = 0, double x = 0, uint16_t angle = 0,
                                  bool withoutRoot = false)
    {
        gl.ClearList(-1);
        gl.LoadIdentity();
        BuildMoveableObject(gl, LEVEL_TEXTURE_FIRST_ID, meshes, *level, moveable, 0, frame, x, 0, 0, angle,
                            LEVEL_OBJECT_SCALE, withoutRoot, 0, 0, 0);
        EXPECT_EQ(int(gl.Depth), 0);
        EXPECT_TRUE(D3DXMatrixIsIdentity(&gl.CurrentMatrix));
        return Emitted(gl);
    }
    TxGL gl;
};

}  // namespace

TEST_F(MoveablePose, RotationsInEveryVersionAndTheMeshTree)
{
    // Where the second mesh's corners (a unit along x, y and z from its
    // origin at (2, 0, 0)) end up: turns apply as -x, -y and +z in the view.
    const std::pair<uint16_t, std::array<float, 9>> turns[] = {
        {1, {3, 0, 0, 2, 0, 1, 2, 1, 0}},
        {2, {2, 0, 1, 2, -1, 0, 1, 0, 0}},
        {3, {2, 1, 0, 3, 0, 0, 2, 0, 1}},
        {0, {1, 0, 0, 2, 0, -1, 2, 1, 0}}};  // x a quarter, z half a turn
    for (int code : {LEVEL_TR1, LEVEL_TR1_TUB, LEVEL_TR2, LEVEL_TR2_TRG, LEVEL_TR3, LEVEL_TR4, LEVEL_TRC})
        for (const auto& [axis, p] : turns) {
            const uint16_t quarter = axis == 0           ? 0x0180
                                     : code >= LEVEL_TR4 ? 1024
                                                         : 256;  // a quarter in the version's units
            Chain(code, 2, {{0, 2000, 0, 0}}, {Frame({{1, 0}, {axis, quarter}})});
            const auto v = Draw(0);
            ASSERT_EQ(v.size(), 6u);
            // the first unturned
            EXPECT_TRUE(NearPoint(v[0], 1, 0, 0)) << code;
            EXPECT_TRUE(NearPoint(v[1], 0, -1, 0)) << code;
            EXPECT_EQ(v[3].texture, 1001) << code;
            EXPECT_TRUE(NearPoint(v[3], p[0], p[1], p[2])) << code << " axis " << axis;
            EXPECT_TRUE(NearPoint(v[4], p[3], p[4], p[5])) << code << " axis " << axis;
            EXPECT_TRUE(NearPoint(v[5], p[6], p[7], p[8])) << code << " axis " << axis;
        }
    // The item at (5, 0, 0) turned 90 degrees; the first mesh turned about y
    // and raised a unit by the frame's root offset (or not, without it).
    Chain(LEVEL_TR2, 2, {{0, 2000, 0, 0}}, {Frame({{2, 256}, {1, 0}}, {0, -1000, 0})});
    EXPECT_TRUE(NearPoint(Draw(0, 0, 5, 90).at(0), 6, -1, 0));
    EXPECT_TRUE(NearPoint(Emitted(gl).at(3), 8, -1, 0));
    EXPECT_TRUE(NearPoint(Draw(0, 0, 5, 90, true).at(0), 6, 0, 0));
    EXPECT_TRUE(NearPoint(Emitted(gl).at(3), 8, 0, 0));
    // Mesh 2 saves mesh 1's place and turns; mesh 3 returns to mesh 1 with a
    // pop, or hangs on mesh 2 without; the meshes flat in the caller's colour and tag.
    for (int pop : {1, 0}) {
        Chain(LEVEL_TR3, 3, {{2, 2000, 0, 0}, {pop, 0, 0, 3000}}, {Frame({{1, 0}, {2, 256}, {1, 0}})});
        gl.SetColor(255, 0, 0);
        gl.SetTag(TVertexTag{3, 1, 2, 0, 0, 0, 0, 0});
        const auto v = Draw(0);
        EXPECT_TRUE(NearPoint(v.at(6), pop ? 1 : 5, 0, pop ? -3 : 1)) << pop;
        EXPECT_EQ(ColorOf(v[6]), 0x0000FFu) << pop;
        EXPECT_EQ(int(v[6].tag[2]), 2) << pop;
    }
    // A pop with nothing of the tree's own to return to goes back to the
    // item's place; pushes never popped leave the caller's matrices alone.
    Chain(LEVEL_TR4, 3, {{1, 2000, 0, 0}, {2, 0, 0, 0}}, {Frame({{1, 0}, {1, 0}, {1, 0}}, {0, 0, -1000})});
    EXPECT_TRUE(NearPoint(Draw(0, 0, 5).at(0), 6, 0, 1));
    EXPECT_TRUE(NearPoint(Emitted(gl).at(3), 8, 0, 0));
    EXPECT_TRUE(NearPoint(Emitted(gl).at(6), 8, 0, 0));
}

TEST_F(MoveablePose, FramesAndTheirTables)
{
    std::vector<TFrameDesc> frames;
    for (uint16_t f = 0; f < 5; ++f) frames.push_back(Frame({{1, 0}, {3, uint16_t(f * 40)}}));
    Chain(LEVEL_TR2, 2, {{0, 2000, 0, 0}}, frames);
    const auto last = Draw(0, 4);
    EXPECT_TRUE(NearPoint(Draw(0, 7).at(3), last.at(3).x, last[3].y, last[3].z));
    EXPECT_FALSE(NearPoint(Draw(0, 3).at(3), last[3].x, last[3].y, last[3].z));
    // a negative frame: unturned
    EXPECT_TRUE(NearPoint(Draw(0, -1).at(3), 3, 0, 0));
    EXPECT_TRUE(NearPoint(Emitted(gl).at(4), 2, -1, 0));

    // Two moveables with animations (3 and 5 frames; 4 frames) around one without.
    TLevelDesc d;
    d.version_code = LEVEL_TR3;
    auto anim = [](int n, int count) {
        return std::vector<TFrameDesc>(size_t(n), Frame(std::vector<std::array<uint16_t, 2>>(size_t(count), {0, 0})));
    };
    AddMoveable(d, TMoveableDesc{0, {AxisTriangle(0), AxisTriangle(0)}, {}, {{}}, {anim(3, 2), anim(5, 2)}});
    AddMoveable(d, TMoveableDesc{0, {AxisTriangle(0)}, {}, {}, {}});
    AddMoveable(d, TMoveableDesc{0, {AxisTriangle(0)}, {}, {}, {anim(4, 1)}});
    Load(d);
    const int32_t size = 9 + 2 * 2, second = 3 * size;  // box, offset, two three-angle rotations
    const std::array<int32_t, 6> rows[] = {{0, 0, 0, 2, 3, 0},
                                           {0, 1, 2, 2, 5, second + 2 * size},
                                           {0, 1, 7, 2, 5, second + 4 * size},  // 7 of 5: the last
                                           {0, 2, 0, 2, 0, -1},
                                           {1, 0, 0, 0, 0, -1},
                                           {2, 0, 1, 1, 4, second + 5 * size + 11},  // to the data's end
                                           {3, 0, 0, 0, 0, -1},
                                           {-1, 0, 0, 0, 0, 0},
                                           {0, -1, 0, 2, 0, 0}};  // moveable, animation, frame: counts, offset
    for (const auto& r : rows)
        EXPECT_EQ(std::tuple(GetAnimCount(*level, r[0]), GetFrameCount(*level, r[0], r[1]),
                             GetFrameOffset(*level, r[0], r[1], r[2])),
                  std::tuple(r[3], r[4], r[5]))
            << "moveable, animation, frame " << r[0] << " " << r[1] << " " << r[2];
    // First-game frames are two words per mesh after ten, whatever the animation says.
    Chain(LEVEL_TR1, 3, std::vector<TMeshTreeNode>(2),
          {Frame({{1, 0}, {1, 0}, {1, 0}}), Frame({{1, 0}, {1, 0}, {1, 0}}), Frame({{1, 0}, {1, 0}, {1, 0}})});
    level->animations[0].frame_size = 99;
    EXPECT_EQ(GetFrameCount(*level, 0, 0), 3);
    EXPECT_EQ(GetFrameOffset(*level, 0, 0, 2), 2 * 16);
}

// The mesh list counts every moveable's animations once, as GetAnimCount
// counts them: up to the next moveable with animations (-1: none; other
// negative indexes count from where they point), else to the level's count.
TEST_F(MoveablePose, TheMeshListCountsEveryMoveablesAnimations)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    const std::vector<TFrameDesc> anim(2, Frame({{1, 0}}));
    for (int n : {2, 0, 3, 0, 0, 1, 0}) AddMoveable(d, TMoveableDesc{0, {AxisTriangle(0)}, {}, {}, {size_t(n), anim}});
    Load(d);
    const std::vector<int16_t> firsts[] = {
        {0, -1, 2, -1, -1, 5, -1},   // as written: counts 2, 0, 3, 0, 0, 1, 0
        {0, -1, -4, -1, 5, -1, -1},  // a negative index other than -1 counts from there
        {-1, -1, -1, -1, -1, -1, 3},
        {6, 3, 0, 2, -1, 4, 1},  // indexes that fall: negative counts
    };
    for (const auto& first : firsts) {
        for (size_t m = 0; m < first.size(); ++m) level->moveables[m].animation = first[m];
        BuildMeshList(meshes, *level);
        ASSERT_EQ(meshes.animation_counts.size(), first.size());
        for (int32_t m = 0; m < int32_t(first.size()); ++m)
            EXPECT_EQ(meshes.animation_counts[size_t(m)], GetAnimCount(*level, m)) << first[0] << " moveable " << m;
    }
    EXPECT_EQ(meshes.animation_counts, (std::vector<int32_t>{-3, -3, 2, 2, 0, -3, 5}));
    level->moveables.resize(3);  // a level that holds fewer than it says
    BuildMeshList(meshes, *level);
    EXPECT_EQ(meshes.animation_counts, (std::vector<int32_t>{-3, -3, 6}));
}

TEST_F(MoveablePose, SkinsAndDamagedTables)
{
    // Record 0 is the placeholder (page 0), records 1 to 3 the skin's meshes
    // (pages 1 to 3); only the exempt mesh of the exempt moveable stays itself.
    const std::tuple<int, uint32_t, int, int> skins[] = {{LEVEL_TR1, 0, 0, 1},
                                                         {LEVEL_TR2, 0, 0, 1},
                                                         {LEVEL_TR3, 315, 1, 2},
                                                         {LEVEL_TR4, 8, 1, 11},
                                                         {LEVEL_TRC, 8, 1, 11}};
    for (const auto& [code, skin, exemptMoveable, exemptMesh] : skins) {
        TLevelDesc d;
        d.version_code = code;
        std::vector<uint32_t> offsets;
        for (uint16_t k = 0; k < 4; ++k) {
            d.object_textures.push_back(SquareTexture(k));
            offsets.push_back(MeshOffset(d, AddMesh(d, AxisTriangle(k))));
        }
        d.mesh_pointers.clear();
        for (uint32_t id : {skin + 1, skin + 2})
            AddMoveable(d,
                        TMoveableDesc{id, {}, {offsets[0], offsets[0], offsets[0]}, std::vector<TMeshTreeNode>(2), {}});
        AddMoveable(d,
                    TMoveableDesc{skin, {}, {offsets[1], offsets[2], offsets[3]}, std::vector<TMeshTreeNode>(2), {}});
        Load(d);
        for (int m = 0; m < 2; ++m) {
            const auto v = Draw(m);
            for (int k = 1; k <= 3; ++k)
                EXPECT_EQ(v.at(size_t(3 * k - 3)).texture, 1000 + (m == exemptMoveable && k == exemptMesh ? 0 : k))
                    << code << m << k;
        }
    }

    Chain(LEVEL_TR4, 3, {{0, 2000, 0, 0}, {0, 0, 2000, 0}}, {Frame({{2, 1024}, {1, 0}, {1, 0}}, {0, 0, -1000})});
    EXPECT_EQ(Draw(0).size(), 9u);
    EXPECT_EQ(Draw(1).size(), 0u);  // beyond the list: nothing
    EXPECT_EQ(Draw(-1).size(), 0u);
    level->moveables[0].mesh_tree = 4;  // the tree ends before the node of mesh 3
    EXPECT_EQ(Draw(0).size(), 6u);
    level->moveables[0].mesh_tree = 0;  // frame words beyond the frame data count as 0: no root offset, no turns
    level->frames.clear();
    level->num_frames = 0;
    EXPECT_TRUE(NearPoint(Draw(0).at(0), 1, 0, 0));
    EXPECT_TRUE(NearPoint(Emitted(gl).at(3), 3, 0, 0));
    level->moveables[0].starting_mesh = 2;  // mesh pointers beyond the list draw nothing
    EXPECT_EQ(Draw(0).size(), 3u);
    level->num_frames = level->num_mesh_trees = 1u << 31;  // counts that promise more than the tables hold
    level->num_animations = 1000;
    level->moveables[0].starting_mesh = 0;
    level->moveables[0].animation = 500;
    EXPECT_EQ(Draw(0).size(), 9u);
    EXPECT_EQ(GetFrameCount(*level, 0, 0), 0);
    EXPECT_EQ(GetFrameOffset(*level, 0, 0, 0), -1);
    level->tag = "";  // a level record that holds no loaded file draws nothing
    EXPECT_EQ(Draw(0).size(), 0u);
}

// Placing a mesh costs 16 units of the layer's level work and drawing it one
// per corner, one per vertex its faces may emit and one: a moveable is
// drawn up to the mesh that finds too little left. A moveable of 65535 meshes, all one mesh of 30,000
// faces that name a corner it lacks, stops once the work is spent instead
// of looking at two billion faces.
TEST_F(MoveablePose, MeshesCostTheLayersLevelWork)
{
    Chain(LEVEL_TR2, 5, {{}, {}, {}, {}}, {Frame({{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}})});
    const int64_t mesh = 16 + 1 + 3 + 3;
    // The work at the start, the vertices drawn and the work left; the
    // frame is found for one unit.
    const std::tuple<int64_t, size_t, int64_t> budgets[] = {
        {LevelDrawWork, 15, LevelDrawWork - 1 - 5 * mesh},
        {1 + 5 * mesh, 15, 0},
        {1 + 2 * mesh, 6, 0},
        {1 + 2 * mesh + 22, 6, 6},  // the third mesh is placed, and then too costly to draw
        {mesh, 0, 6},
        {16, 0, 15},  // too little to place the first
        {0, 0, 0},    // too little to find the frame
    };
    for (const auto& [budget, vertices, left] : budgets) {
        gl.LevelWorkLeft = budget;
        EXPECT_EQ(Draw(0).size(), vertices) << budget;
        EXPECT_EQ(gl.LevelWorkLeft, left) << budget;
    }
    // 300,000 moveables after it without animations: a mesh list made
    // before they came does not know their animation counts, and finding
    // the frame walks them all; one made from the level finds it for a unit.
    level->SetNumMoveables(300001);
    for (size_t m = 1; m < level->moveables.size(); ++m) level->moveables[m].animation = -1;
    const std::tuple<bool, int64_t, size_t, int64_t> walks[] = {
        {false, 300000, 0, 300000},
        {false, LevelDrawWork, 15, LevelDrawWork - 300001 - 5 * mesh},
        {true, 1 + 5 * mesh, 15, 0},
    };
    for (const auto& [rebuilt, budget, vertices, left] : walks) {
        if (rebuilt) BuildMeshList(meshes, *level);
        gl.LevelWorkLeft = budget;
        EXPECT_EQ(Draw(0).size(), vertices) << budget;
        EXPECT_EQ(gl.LevelWorkLeft, left) << budget;
    }

    TLevelDesc d;
    d.version_code = LEVEL_TR2;
    d.object_textures.push_back(SquareTexture(0));
    TMeshDesc broken = AxisTriangle(0);
    broken.textured_triangles.clear();
    broken.textured_quads.assign(30000, TMeshFaceDesc{{0, 1, 2, 5}, 0, 0});
    AddMesh(d, AxisTriangle(0));  // record 0 would stand for a skin mesh
    const uint32_t first = AddMesh(d, broken);
    TMoveableDesc m;
    m.mesh_offsets.assign(65535, MeshOffset(d, first));
    m.tree.assign(65534, TMeshTreeNode{});
    AddMoveable(d, m);
    Load(d);
    ASSERT_EQ(meshes.meshes.at(1).num_textured_quads, 30000);
    gl.LevelWorkLeft = LevelDrawWork;
    EXPECT_EQ(Draw(0).size(), 0u);
    EXPECT_LT(gl.LevelWorkLeft, 16 + 1 + 3 + 6 * 30000);
}
