#include <gtest/gtest.h>

#include <cstring>

#include "display/drawing_layer.h"
#include "level/trlevel.h"
#include "mesh_test_helpers.h"
#include "scene/mesh_draw.h"
#include "scene/mesh_list.h"
#include "scene/moveable_pose.h"
#include "support/level_writer.h"

using namespace mesh_test;

namespace {

// A quarter turn in the one-axis units of the version.
uint16_t QuarterTurn(int code) { return code >= LEVEL_TR4 ? 1024 : 256; }

TFrameRotation Turn(TFrameRotation::TAxis axis, uint16_t angle)
{
    TFrameRotation r;
    r.axis = axis;
    if (axis == TFrameRotation::kX) r.x = angle;
    if (axis == TFrameRotation::kY) r.y = angle;
    if (axis == TFrameRotation::kZ) r.z = angle;
    return r;
}

class MoveablePose : public ::testing::Test {
protected:
    MoveablePose() { gl.LoadIdentity(); }

    void Load(const TLevelDesc& desc)
    {
        level = LoadLevel(desc);
        BuildMeshList(meshes, *level);
    }

    void Draw(int32_t moveable, int32_t animation = 0, int32_t frame = 0, double x = 0, double y = 0, double z = 0,
              uint16_t angle = 0, bool withoutRoot = false)
    {
        BuildMoveableObject(gl, LEVEL_TEXTURE_FIRST_ID, meshes, *level, moveable, animation, frame, x, y, z, angle,
                            LEVEL_OBJECT_SCALE, withoutRoot, 0, 0, 0);
    }

    // A level whose one moveable has `count` axis-triangle meshes (mesh k
    // textured with page k - 1), the given tree and one animation of the
    // given frames.
    static TLevelDesc Chain(int code, int count, const std::vector<TMeshTreeNode>& tree,
                            const std::vector<TFrameDesc>& frames)
    {
        TLevelDesc d;
        d.version_code = code;
        TMoveableDesc m;
        for (int k = 0; k < count; ++k) {
            d.object_textures.push_back(SquareTexture(uint16_t(k)));
            m.meshes.push_back(AxisTriangle(uint16_t(k)));
        }
        m.tree = tree;
        if (!frames.empty()) m.animations = {frames};
        AddMoveable(d, m);
        return d;
    }

    static TFrameDesc Frame(std::vector<TFrameRotation> rotations, std::array<int16_t, 3> offset = {})
    {
        TFrameDesc f;
        f.offset = offset;
        f.rotations = std::move(rotations);
        return f;
    }

    TxGL gl;
    std::unique_ptr<Ttrlevel> level;
    Tmesh_list meshes;
};

// ---- rotation encodings ----

struct TEncodingCase {
    int code;
    TFrameRotation::TAxis axis;
    // Where the three corners of the second mesh end up, one view unit
    // along x, y and z from its origin, which lies at (2, 0, 0).
    float a[3], b[3], c[3];
};

class MoveableRotation : public MoveablePose, public ::testing::WithParamInterface<TEncodingCase> {};

TEST_P(MoveableRotation, SecondMeshTurnsAsItsRotationSays)
{
    const TEncodingCase c = GetParam();
    TFrameRotation second;
    if (c.axis == TFrameRotation::kXYZ) {
        // x 256 and z 512 tenths of 1024: 90 and 180 degrees.
        second.x = 256;
        second.z = 512;
    } else {
        second = Turn(c.axis, QuarterTurn(c.code));
    }
    Load(Chain(c.code, 2, {{0, 2000, 0, 0}}, {Frame({TFrameRotation{}, second})}));
    Draw(0);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 6u);
    // The first mesh is not turned: its corners are the drawing layer's axes (y negated).
    EXPECT_TRUE(NearPoint(v[0], 1, 0, 0));
    EXPECT_TRUE(NearPoint(v[1], 0, -1, 0));
    EXPECT_TRUE(NearPoint(v[2], 0, 0, 1));
    EXPECT_TRUE(NearPoint(v[3], c.a[0], c.a[1], c.a[2]));
    EXPECT_TRUE(NearPoint(v[4], c.b[0], c.b[1], c.b[2]));
    EXPECT_TRUE(NearPoint(v[5], c.c[0], c.c[1], c.c[2]));
    EXPECT_EQ(v[3].texture, 1001);
    EXPECT_EQ(gl.Depth, 0);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&gl.CurrentMatrix));
}

std::vector<TEncodingCase> EncodingCases()
{
    std::vector<TEncodingCase> cases;
    for (int code : {LEVEL_TR1, LEVEL_TR1_TUB, LEVEL_TR2, LEVEL_TR2_TRG, LEVEL_TR3, LEVEL_TR4, LEVEL_TRC}) {
        // Applied as -x, -y and +z turns in the left-handed view.
        cases.push_back({code, TFrameRotation::kX, {3, 0, 0}, {2, 0, 1}, {2, 1, 0}});
        cases.push_back({code, TFrameRotation::kY, {2, 0, 1}, {2, -1, 0}, {1, 0, 0}});
        cases.push_back({code, TFrameRotation::kZ, {2, 1, 0}, {3, 0, 0}, {2, 0, 1}});
        cases.push_back({code, TFrameRotation::kXYZ, {1, 0, 0}, {2, 0, -1}, {2, 1, 0}});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryVersionAndEncoding, MoveableRotation, ::testing::ValuesIn(EncodingCases()));

TEST_F(MoveablePose, TransformsAccumulateFromTheItemDown)
{
    // The item at (5, 0, 0) turned 90 degrees; the first mesh turned 90
    // degrees about y and raised one unit by the frame's root offset.
    const TFrameDesc frame = Frame({Turn(TFrameRotation::kY, 256), TFrameRotation{}}, {0, -1000, 0});
    Load(Chain(LEVEL_TR2, 2, {{0, 2000, 0, 0}}, {frame}));
    Draw(0, 0, 0, 5, 0, 0, 90);
    auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_TRUE(NearPoint(v[0], 6, -1, 0));
    EXPECT_TRUE(NearPoint(v[3], 8, -1, 0));

    // Without the root offset the first mesh stays at the item's origin.
    gl.ClearList(-1);
    Draw(0, 0, 0, 5, 0, 0, 90, true);
    v = Emitted(gl);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_TRUE(NearPoint(v[0], 6, 0, 0));
    EXPECT_TRUE(NearPoint(v[3], 8, 0, 0));
}

TEST_F(MoveablePose, PushAndPopReturnToAnEarlierMesh)
{
    // Mesh 2 saves mesh 1's place and turns; mesh 3 returns to mesh 1.
    const TFrameDesc frame = Frame({TFrameRotation{}, Turn(TFrameRotation::kY, 256), TFrameRotation{}});
    Load(Chain(LEVEL_TR3, 3, {{2, 2000, 0, 0}, {1, 0, 0, 3000}}, {frame}));
    Draw(0);
    auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 9u);
    EXPECT_TRUE(NearPoint(v[6], 1, 0, -3));

    // Without the pop, mesh 3 hangs on mesh 2.
    Load(Chain(LEVEL_TR3, 3, {{2, 2000, 0, 0}, {0, 0, 0, 3000}}, {frame}));
    gl.ClearList(-1);
    Draw(0);
    v = Emitted(gl);
    ASSERT_EQ(v.size(), 9u);
    EXPECT_TRUE(NearPoint(v[6], 5, 0, 1));
}

TEST_F(MoveablePose, UnbalancedTreesLeaveTheCallersMatricesAlone)
{
    gl.Translate(0, 0, 7);
    gl.PushMatrix();
    gl.Translate(0, 0, 3);  // the caller's matrix: z + 10
    const D3DXMATRIX before = gl.CurrentMatrix;
    const int8_t depth = gl.Depth;

    // Pushes that are never popped.
    const TFrameDesc still = Frame({TFrameRotation{}, TFrameRotation{}, TFrameRotation{}}, {0, 0, -1000});
    Load(Chain(LEVEL_TR4, 3, {{2, 0, 0, 0}, {2, 0, 0, 0}}, {still}));
    Draw(0);
    EXPECT_EQ(gl.Depth, depth);
    EXPECT_EQ(std::memcmp(&before, &gl.CurrentMatrix, sizeof before), 0);

    // A pop with nothing of the tree's own to return to goes back to the
    // item's place, not to the caller's matrix.
    Load(Chain(LEVEL_TR4, 2, {{1, 2000, 0, 0}}, {still}));
    gl.ClearList(-1);
    Draw(0, 0, 0, 5, 0, 0);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_TRUE(NearPoint(v[0], 6, 0, 11));  // mesh 1: root offset z 1
    EXPECT_TRUE(NearPoint(v[3], 8, 0, 10));  // mesh 2: from the item, not from mesh 1
    EXPECT_EQ(gl.Depth, depth);
    EXPECT_EQ(std::memcmp(&before, &gl.CurrentMatrix, sizeof before), 0);
}

TEST_F(MoveablePose, FramesBeyondTheLastDrawTheLast)
{
    std::vector<TFrameDesc> frames;
    for (uint16_t f = 0; f < 5; ++f) frames.push_back(Frame({TFrameRotation{}, Turn(TFrameRotation::kZ, uint16_t(f * 40))}));
    Load(Chain(LEVEL_TR2, 2, {{0, 2000, 0, 0}}, frames));
    ASSERT_EQ(GetFrameCount(*level, 0, 0), 5);
    Draw(0, 0, 4);
    const auto last = Emitted(gl);
    gl.ClearList(-1);
    Draw(0, 0, 7);
    const auto beyond = Emitted(gl);
    ASSERT_EQ(last.size(), 6u);
    ASSERT_EQ(beyond.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_TRUE(NearPoint(beyond[i], last[i].x, last[i].y, last[i].z));
    gl.ClearList(-1);
    Draw(0, 0, 3);
    EXPECT_FALSE(NearPoint(Emitted(gl)[3], last[3].x, last[3].y, last[3].z));

    // A negative frame draws every mesh unturned.
    gl.ClearList(-1);
    Draw(0, 0, -1);
    const auto plain = Emitted(gl);
    ASSERT_EQ(plain.size(), 6u);
    EXPECT_TRUE(NearPoint(plain[3], 3, 0, 0));
    EXPECT_TRUE(NearPoint(plain[4], 2, -1, 0));
}

TEST_F(MoveablePose, MeshesAreDrawnFlatInTheCurrentColourAndTag)
{
    Load(Chain(LEVEL_TR3, 2, {{0, 0, 0, 0}}, {Frame({TFrameRotation{}, TFrameRotation{}})}));
    gl.SetList(5);
    gl.SetColor(255, 0, 0);
    gl.SetTag(TVertexTag{3, 1, 2, 0, 0, 0, 0, 0});
    Draw(0);
    const auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 6u);
    for (const txgl_vertex& e : v) {
        EXPECT_EQ(e.list, 5);
        EXPECT_EQ(e.r, 255);
        EXPECT_EQ(e.g, 0);
        EXPECT_EQ(e.tag[0], 3);
        EXPECT_EQ(e.tag[2], 2);
    }
    EXPECT_EQ(gl.CurrentList, 5);
}

TEST_F(MoveablePose, NothingIsDrawnWithoutMeshesLevelOrMoveable)
{
    TLevelDesc d = Chain(LEVEL_TR4, 1, {}, {Frame({TFrameRotation{}})});
    TMoveableDesc empty;
    empty.object_id = 3;
    empty.animations = {{Frame({})}};
    AddMoveable(d, empty);
    Load(d);
    gl.Translate(1, 2, 3);
    const D3DXMATRIX before = gl.CurrentMatrix;

    Draw(1);  // no meshes
    Draw(2);  // beyond the list
    Draw(-1);
    EXPECT_EQ(gl.Vertices.Count(), 0);
    EXPECT_EQ(gl.Depth, 0);
    EXPECT_EQ(std::memcmp(&before, &gl.CurrentMatrix, sizeof before), 0);

    Draw(0);
    EXPECT_EQ(gl.Vertices.Count(), 3);

    // A level record that holds no loaded file draws nothing.
    gl.ClearList(-1);
    level->tag = "";
    Draw(0);
    EXPECT_EQ(gl.Vertices.Count(), 0);
}

// ---- skin substitution ----

struct TSkinCase {
    int code;
    uint32_t skinObject;
    int exemptMoveable, exemptMesh;
};

class MoveableSkin : public MoveablePose, public ::testing::WithParamInterface<TSkinCase> {};

TEST_P(MoveableSkin, PlaceholderMeshesTakeTheSkinMoveablesMeshes)
{
    const TSkinCase c = GetParam();
    TLevelDesc d;
    d.version_code = c.code;
    // Record 0 is the placeholder (page 0); records 1 to 3 the skin's meshes (pages 1 to 3).
    std::vector<uint32_t> offsets;
    for (uint16_t k = 0; k < 4; ++k) {
        d.object_textures.push_back(SquareTexture(k));
        offsets.push_back(MeshOffset(d, AddMesh(d, AxisTriangle(k))));
    }
    d.mesh_pointers.clear();
    const std::vector<TMeshTreeNode> tree(2);
    for (uint32_t id : {c.skinObject + 1, c.skinObject + 2}) {
        TMoveableDesc m;
        m.object_id = id;
        m.mesh_offsets = {offsets[0], offsets[0], offsets[0]};
        m.tree = tree;
        AddMoveable(d, m);
    }
    TMoveableDesc skin;
    skin.object_id = c.skinObject;
    skin.mesh_offsets = {offsets[1], offsets[2], offsets[3]};
    skin.tree = tree;
    AddMoveable(d, skin);
    Load(d);
    ASSERT_EQ(meshes.skin_first_mesh, 6u);

    for (int m = 0; m < 2; ++m) {
        gl.ClearList(-1);
        Draw(m);
        const auto v = Emitted(gl);
        ASSERT_EQ(v.size(), 9u);
        for (int k = 1; k <= 3; ++k) {
            const bool exempt = m == c.exemptMoveable && k == c.exemptMesh;
            EXPECT_EQ(v[size_t(3 * (k - 1))].texture, 1000 + (exempt ? 0 : k)) << "moveable " << m << " mesh " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, MoveableSkin,
                         ::testing::Values(TSkinCase{LEVEL_TR1, 0, 0, 1}, TSkinCase{LEVEL_TR2, 0, 0, 1},
                                           TSkinCase{LEVEL_TR3, 315, 1, 2}, TSkinCase{LEVEL_TR4, 8, 1, 11},
                                           TSkinCase{LEVEL_TRC, 8, 1, 11}));

// ---- animation and frame tables ----

TEST_F(MoveablePose, AnimationAndFrameCounts)
{
    TLevelDesc d;
    d.version_code = LEVEL_TR3;
    auto frames = [](int n, int meshes) {
        std::vector<TFrameDesc> f(static_cast<size_t>(n));
        for (TFrameDesc& e : f) e.rotations.resize(size_t(meshes));
        return f;
    };
    TMoveableDesc a;  // two animations of 3 and 5 frames
    a.meshes = {AxisTriangle(0), AxisTriangle(0)};
    a.tree.resize(1);
    a.animations = {frames(3, 2), frames(5, 2)};
    TMoveableDesc none;  // no animations
    none.meshes = {AxisTriangle(0)};
    TMoveableDesc b;  // one animation of 4 frames
    b.meshes = {AxisTriangle(0)};
    b.animations = {frames(4, 1)};
    AddMoveable(d, a);
    AddMoveable(d, none);
    AddMoveable(d, b);
    Load(d);

    EXPECT_EQ(GetAnimCount(*level, 0), 2);
    EXPECT_EQ(GetAnimCount(*level, 1), 0);
    EXPECT_EQ(GetAnimCount(*level, 2), 1);
    EXPECT_EQ(GetAnimCount(*level, 3), 0);
    EXPECT_EQ(GetAnimCount(*level, -1), 0);

    EXPECT_EQ(GetFrameCount(*level, 0, 0), 3);
    EXPECT_EQ(GetFrameCount(*level, 0, 1), 5);
    EXPECT_EQ(GetFrameCount(*level, 0, 2), 0);
    EXPECT_EQ(GetFrameCount(*level, 1, 0), 0);
    EXPECT_EQ(GetFrameCount(*level, 2, 0), 4);  // the last animation runs to the end of the frame data
    EXPECT_EQ(GetFrameCount(*level, -1, 0), 0);
    EXPECT_EQ(GetFrameCount(*level, 0, -1), 0);
    EXPECT_EQ(GetFrameCount(*level, 3, 0), 0);

    const int32_t size = 9 + 2 * 2;  // box, offset, two three-angle rotations
    const int32_t second = 3 * size;
    EXPECT_EQ(GetFrameOffset(*level, 0, 0, 0), 0);
    EXPECT_EQ(GetFrameOffset(*level, 0, 1, 2), second + 2 * size);
    EXPECT_EQ(GetFrameOffset(*level, 0, 1, 7), second + 4 * size);  // frame 7 of 5: the last
    EXPECT_EQ(GetFrameOffset(*level, 2, 0, 1), second + 5 * size + 11);
    EXPECT_EQ(GetFrameOffset(*level, 0, -1, 0), 0);
    EXPECT_EQ(GetFrameOffset(*level, -1, 0, 0), 0);
    EXPECT_EQ(GetFrameOffset(*level, 0, 2, 0), -1);
    EXPECT_EQ(GetFrameOffset(*level, 1, 0, 0), -1);
    EXPECT_EQ(GetFrameOffset(*level, 3, 0, 0), -1);
}

TEST_F(MoveablePose, FirstGameFramesAreTwoWordsPerMeshAfterTen)
{
    TLevelDesc d = Chain(LEVEL_TR1, 3, std::vector<TMeshTreeNode>(2),
                         {Frame({{}, {}, {}}), Frame({{}, {}, {}}), Frame({{}, {}, {}})});
    d.animations[0].frame_size = 99;  // not used by these files
    Load(d);
    EXPECT_EQ(GetFrameCount(*level, 0, 0), 3);
    EXPECT_EQ(GetFrameOffset(*level, 0, 0, 2), 2 * 16);
}

// ---- damaged tables ----

TEST_F(MoveablePose, MissingTreeNodesFramesAndPointersDrawLess)
{
    Load(Chain(LEVEL_TR4, 3, {{0, 2000, 0, 0}, {0, 0, 2000, 0}},
               {Frame({Turn(TFrameRotation::kY, 1024), {}, {}}, {0, 0, -1000})}));

    // The tree ends before the node of mesh 3.
    level->moveables[0].mesh_tree = 4;
    Draw(0);
    EXPECT_EQ(gl.Vertices.Count(), 6);

    // Frame words beyond the frame data count as 0: no root offset, no turns.
    gl.ClearList(-1);
    level->moveables[0].mesh_tree = 0;
    level->frames.clear();
    level->num_frames = 0;
    Draw(0);
    auto v = Emitted(gl);
    ASSERT_EQ(v.size(), 9u);
    EXPECT_TRUE(NearPoint(v[0], 1, 0, 0));
    EXPECT_TRUE(NearPoint(v[3], 3, 0, 0));

    // Mesh pointers beyond the pointer list draw nothing.
    gl.ClearList(-1);
    level->moveables[0].starting_mesh = 2;
    Draw(0);
    EXPECT_EQ(gl.Vertices.Count(), 3);
    EXPECT_EQ(gl.Depth, 0);

    // Counts that promise more than the tables hold.
    gl.ClearList(-1);
    level->num_frames = 1u << 31;
    level->num_mesh_trees = 1u << 31;
    level->num_animations = 1000;
    level->moveables[0].starting_mesh = 0;
    level->moveables[0].animation = 500;
    Draw(0);
    EXPECT_EQ(GetFrameCount(*level, 0, 0), 0);
    EXPECT_EQ(GetFrameOffset(*level, 0, 0, 0), -1);
    EXPECT_EQ(gl.Vertices.Count(), 9);
}

}  // namespace
