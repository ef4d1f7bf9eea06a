#include "scene/moveable_pose.h"

#include <algorithm>
#include <limits>

#include "display/drawing_layer.h"
#include "level/trlevel.h"
#include "scene/mesh_draw.h"
#include "scene/mesh_list.h"

namespace {

constexpr double kTenBitDegrees = 360.0 / 1024.0;  // 0.3515625
constexpr uint32_t kWhite = 0xFFFFFF;
// Placing one mesh of a moveable (its node, rotation and matrices) costs
// the drawing layer's level work this many units, as much as a few faces.
constexpr int64_t kPlacingWork = 16;

size_t MoveableCount(const Ttrlevel& level) { return std::min<size_t>(level.num_moveables, level.moveables.size()); }
size_t AnimationCount(const Ttrlevel& level) { return std::min<size_t>(level.num_animations, level.animations.size()); }
size_t FrameWords(const Ttrlevel& level) { return std::min<size_t>(level.num_frames, level.frames.size()); }
size_t TreeWords(const Ttrlevel& level) { return std::min<size_t>(level.num_mesh_trees, level.mesh_trees.size()); }

bool OldFrames(const Ttrlevel& level) { return level.version_code == LEVEL_TR1 || level.version_code == LEVEL_TR1_TUB; }

int32_t ClampToInt32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Words per frame of an animation of the moveable: TR1 frames hold two
// words for every mesh after ten of their own.
int64_t FrameSize(const Ttrlevel& level, const tmoveable& m, const tanimation& a)
{
    if (OldFrames(level)) return int64_t(m.num_meshes) * 2 + 10;
    return a.frame_size;
}

// A word of the frame data; words the level does not have count as 0.
int16_t FrameWord(const Ttrlevel& level, int64_t i)
{
    return i >= 0 && uint64_t(i) < FrameWords(level) ? level.frames[size_t(i)] : int16_t(0);
}

struct TRotation {
    double x = 0, y = 0, z = 0;
};

// Decodes the rotation at the cursor and moves the cursor past it.
TRotation DecodeRotation(const Ttrlevel& level, int64_t& cursor)
{
    const uint32_t first = uint16_t(FrameWord(level, cursor));
    const uint32_t second = uint16_t(FrameWord(level, cursor + 1));
    const uint32_t w = OldFrames(level) ? (second << 16) | first : (first << 16) | second;
    TRotation r;
    const uint32_t axis = w >> 30;
    if (axis == 0) {
        r.x = ((w >> 20) & 0x3FF) * kTenBitDegrees;
        r.y = ((w >> 10) & 0x3FF) * kTenBitDegrees;
        r.z = (w & 0x3FF) * kTenBitDegrees;
        cursor += 2;
        return r;
    }
    const bool fine = level.version_code == LEVEL_TR4 || level.version_code == LEVEL_TRC;
    const double angle = ((w >> 16) & 0x3FFF) * 360.0 / (fine ? 4096.0 : 1024.0);
    if (axis == 1) r.x = angle;
    if (axis == 2) r.y = angle;
    if (axis == 3) r.z = angle;
    cursor += 1;
    return r;
}

}  // namespace

int32_t GetAnimCount(const Ttrlevel& level, int32_t moveable)
{
    const size_t count = MoveableCount(level);
    if (moveable < 0 || size_t(moveable) >= count) return 0;
    const int32_t a = level.moveables[size_t(moveable)].animation;
    if (a == -1) return 0;
    for (size_t j = size_t(moveable) + 1; j < count; ++j) {
        const int32_t next = level.moveables[j].animation;
        if (next >= 0) return next - a;
    }
    return ClampToInt32(int64_t(level.num_animations) - a);
}

namespace {

// GetFrameCount and GetFrameOffset for a moveable of the list whose
// animation count is known.
int32_t FrameCountOf(const Ttrlevel& level, int32_t moveable, int32_t animation, int32_t animations)
{
    if (animation >= animations) return 0;
    const tmoveable m = level.moveables[size_t(moveable)];
    const int64_t a = int64_t(m.animation) + animation;
    const size_t table = AnimationCount(level);
    if (a < 0 || uint64_t(a) >= table) return 0;
    const tanimation entry = level.animations[size_t(a)];
    const int64_t size = FrameSize(level, m, entry);
    const int64_t next =
        uint64_t(a) + 1 < table ? level.animations[size_t(a) + 1].frame_offset / 2 : int64_t(FrameWords(level));
    if (size == 0) return 0;
    return ClampToInt32((next - entry.frame_offset / 2) / size);
}

int32_t FrameOffsetOf(const Ttrlevel& level, int32_t moveable, int32_t animation, int32_t frame, int32_t animations)
{
    if (animation >= animations) return -1;
    const tmoveable m = level.moveables[size_t(moveable)];
    const int64_t a = int64_t(m.animation) + animation;
    if (a < 0) return ClampToInt32(m.frame_offset / 2);
    if (uint64_t(a) >= AnimationCount(level)) return -1;
    const tanimation entry = level.animations[size_t(a)];
    const int64_t base = entry.frame_offset / 2;
    const int64_t size = FrameSize(level, m, entry);
    const int64_t count = FrameCountOf(level, moveable, animation, animations);
    if (frame < count) return ClampToInt32(frame * size + base);
    return ClampToInt32((count - 1) * size + base);
}

}  // namespace

int32_t GetFrameCount(const Ttrlevel& level, int32_t moveable, int32_t animation)
{
    if (moveable < 0 || animation < 0 || size_t(moveable) >= MoveableCount(level)) return 0;
    return FrameCountOf(level, moveable, animation, GetAnimCount(level, moveable));
}

int32_t GetFrameOffset(const Ttrlevel& level, int32_t moveable, int32_t animation, int32_t frame)
{
    if (moveable < 0 || animation < 0) return 0;
    if (size_t(moveable) >= MoveableCount(level)) return -1;
    return FrameOffsetOf(level, moveable, animation, frame, GetAnimCount(level, moveable));
}

void BuildMoveableObject(TxGL& gl, int32_t firstId, const Tmesh_list& meshes, const Ttrlevel& level, int32_t moveable,
                         int32_t animation, int32_t frame, double x, double y, double z, uint16_t angle, float scale,
                         bool withoutRootOffset, float rotationX, float rotationY, float rotationZ)
{
    if (!(level.tag == LEVEL_TAG)) return;
    if (moveable < 0 || size_t(moveable) >= MoveableCount(level)) return;

    const double d = 100.0 / scale;
    const tmoveable m = level.moveables[size_t(moveable)];
    const int32_t meshCount = m.num_meshes;
    const int64_t firstMesh = m.starting_mesh;
    const int64_t tree = m.mesh_tree;
    int32_t record = meshes.MapPointer(firstMesh);

    // The mesh list knows every moveable's animation count. A list made
    // from another level does not: then the moveables after this one are
    // walked, at a unit of the layer's level work each.
    const bool counted = meshes.animation_counts.size() == MoveableCount(level);
    if (!gl.SpendLevelWork(counted ? 1 : int64_t(MoveableCount(level)) - moveable)) return;
    const int32_t animations = counted ? meshes.animation_counts[size_t(moveable)] : GetAnimCount(level, moveable);
    const int64_t f = animation < 0 ? 0 : FrameOffsetOf(level, moveable, animation, frame, animations);
    const double root[3] = {FrameWord(level, f + 6) / d, -FrameWord(level, f + 7) / d, -FrameWord(level, f + 8) / d};
    int64_t cursor = f + (OldFrames(level) ? 10 : 9);

    // The tree's pushes and pops stay between this push and its pop, so
    // that an unbalanced tree cannot disturb the caller's matrices.
    const int8_t outerDepth = gl.Depth;
    gl.PushMatrix();
    const int8_t baseDepth = gl.Depth;
    gl.Translate(float(x), float(y), float(z));
    gl.Rotate(rotationX, float(angle) + rotationY, rotationZ, false);
    const D3DXMATRIX baseMatrix = gl.CurrentMatrix;

    const size_t treeWords = TreeWords(level);
    const int64_t pointers = int64_t(meshes.pointer_map.size());
    for (int32_t k = 1; k <= meshCount; ++k) {
        // Past the end of the pointer list nothing more can be drawn, nor
        // once the layer's level work is spent.
        if (firstMesh + k - 1 >= pointers || !gl.SpendLevelWork(kPlacingWork)) break;
        double offset[3] = {0, 0, 0};
        bool present = true;
        if (k == 1) {
            if (!withoutRootOffset) std::copy(root, root + 3, offset);
        } else {
            const int64_t node = tree + 4 * int64_t(k - 2);
            if (uint64_t(node) + 4 > treeWords) {
                present = false;
            } else {
                const int32_t flags = level.mesh_trees[size_t(node)];
                offset[0] = level.mesh_trees[size_t(node) + 1] / d;
                offset[1] = -double(level.mesh_trees[size_t(node) + 2]) / d;
                offset[2] = -double(level.mesh_trees[size_t(node) + 3]) / d;
                if (flags & 1) {
                    if (gl.Depth > baseDepth) gl.PopMatrix();
                    else gl.CurrentMatrix = baseMatrix;  // nothing of the tree's own to return to
                }
                if (flags & 2) gl.PushMatrix();
            }
        }

        TRotation rot = DecodeRotation(level, cursor);
        if (frame < 0) rot = TRotation{};

        if (present) {
            gl.Translate(float(offset[0]), float(offset[1]), float(offset[2]));
            gl.Rotate(0, float(-rot.y), 0, false);
            gl.Rotate(float(-rot.x), 0, 0, false);
            gl.Rotate(0, 0, float(rot.z), false);

            if (record == 0 && !(uint32_t(moveable) == meshes.exempt_moveable && uint32_t(k) == meshes.exempt_mesh))
                record = meshes.MapPointer(int64_t(meshes.skin_first_mesh) + k - 1);
            BuildMeshObject(gl, firstId, meshes, level, record, 0, 0, 0, 0, scale, false, true, true, kWhite);
        }
        record = meshes.MapPointer(firstMesh + k);
    }

    gl.Depth = baseDepth;
    gl.PopMatrix();
    gl.Depth = outerDepth;
}
