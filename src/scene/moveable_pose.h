// Posing a moveable object of the loaded level: the frame of an animation,
// the mesh tree walked on the drawing layer's matrix stack, the rotations of
// each mesh decoded from the frame, the player's skin meshes put in place of
// placeholder meshes, and every mesh drawn in the current colour.
#pragma once

#include <cstdint>

class TxGL;
class Ttrlevel;
class Tmesh_list;

// The number of animations of a moveable (a moveable list index): up to the
// first animation of the next moveable that has any. 0 for an index outside
// the list or a moveable without animations.
int32_t GetAnimCount(const Ttrlevel& level, int32_t moveable);

// The number of frames of animation `animation` (counted from the
// moveable's first one). 0 when either does not exist.
int32_t GetFrameCount(const Ttrlevel& level, int32_t moveable, int32_t animation);

// The word offset of a frame in the level's frame data; a frame beyond the
// animation's last gives the last. 0 for a negative moveable or animation,
// -1 for one beyond the moveable list or the moveable's animations.
int32_t GetFrameOffset(const Ttrlevel& level, int32_t moveable, int32_t animation, int32_t frame);

// Draws moveable `moveable` in the given frame at (x, y, z), turned by
// `angle` degrees about y and then by the three rotations, in the drawing
// layer's current colour, list and tag. Nothing without a loaded level or
// for a moveable beyond the list. A negative frame draws every mesh
// unrotated. Frame words missing from the level's frame data count as 0; a
// mesh whose tree node is missing is left out. Finding the frame costs the
// drawing layer's level work one unit, as the mesh list knows the
// moveable's animation count; with a list made from another level (one
// whose moveable count differs) one unit for each moveable from this one
// to the end of the list, which it walks. Nothing is drawn without that
// much left. Placing each mesh costs 16 units besides what the mesh costs;
// the moveable is drawn up to the mesh that finds too little left.
void BuildMoveableObject(TxGL& gl, int32_t firstId, const Tmesh_list& meshes, const Ttrlevel& level, int32_t moveable,
                         int32_t animation, int32_t frame, double x, double y, double z, uint16_t angle, float scale,
                         bool withoutRootOffset, float rotationX, float rotationY, float rotationZ);
