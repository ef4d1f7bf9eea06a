// Drawing one parsed level mesh into the drawing layer: scaled, placed and
// turned, its textured faces mapped onto the level's texture pages through
// the level's object textures, its corners shaded from the mesh's vertex
// shades, and the flat-coloured faces of older meshes in their palette
// colours.
#pragma once

#include <cstdint>

class TxGL;
class Ttrlevel;
class Tmesh_list;

// The first texture id of the level's texture pages: page t is id 1000 + t.
inline constexpr int32_t LEVEL_TEXTURE_FIRST_ID = 1000;
// Statics and items are drawn at this scale (1000 level units to a view unit).
inline constexpr float LEVEL_OBJECT_SCALE = 0.1f;

// Emits mesh record `index` of the list (nothing when there is no such
// record). Not centred: under a pushed matrix translated to (x, y, z) and
// turned by `angle` degrees about y; centred: around the mesh's bounding-box
// centre under the caller's matrix. Full bright ignores the vertex shades;
// flat draws the textured faces in the drawing layer's current colour,
// otherwise in `color` (red in the low byte) shaded per corner. List, tag
// and colour are the caller's; the texture id is left at the last face's.
// Faces that name a vertex the mesh does not have, or an object texture the
// level does not have, are left out. The mesh costs the drawing layer's
// level work (TxGL::SpendLevelWork) one unit, one per vertex of the mesh
// and one per vertex its faces may emit (six a quad, three a triangle);
// without that much left nothing is drawn.
void BuildMeshObject(TxGL& gl, int32_t firstId, const Tmesh_list& meshes, const Ttrlevel& level, int32_t index,
                     double x, double y, double z, float angle, float scale, bool centred, bool fullBright, bool flat,
                     uint32_t color);

// The texture coordinates (u, v) of the four corners of an object texture,
// one pixel inside its corners. All zero for an index the level does not have.
void ObjectTextureUV(const Ttrlevel& level, int32_t index, float& u1, float& v1, float& u2, float& v2, float& u3,
                     float& v3, float& u4, float& v4);

// Whether the object texture is a triangle: corner 4 has both pixels 0, or
// both direction bytes 0. False for an index the level does not have.
bool IsTriangleTexture(const Ttrlevel& level, int32_t index);

// The pixel extent of the corners the object texture uses (corners 1 to 3,
// and 4 unless a triangle). All zero for an index the level does not have.
void TexturePixelBounds(const Ttrlevel& level, int32_t index, int32_t& minX, int32_t& maxY, int32_t& maxX,
                        int32_t& minY);
