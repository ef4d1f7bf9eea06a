// The drawing layer: an immediate-mode collector of transformed vertices.
//
// A caller chooses one of 16 vertex lists, a texture id, a colour and an
// 8-byte pick tag, sets up a transform on a matrix stack and emits
// triangles, quads, boxes, pointer shapes and spheres. Every vertex is
// transformed at once and kept in a sorted name list under a key of list,
// texture id and serial number, each written in six characters (a serial
// past 999999 as a character above the digits that counts its millions and
// six more digits, and one past 70 million as a mark above those and seven
// bytes, so that it still sorts after); after a sort the vertices of a list
// lie together, grouped by texture id in the order they were emitted, and
// BuildVertexBuffer copies one list into the vertex buffer of the same
// number (several buffers for a long list) with one draw group per texture
// id.
//
// Positions enter with y negated. Matrices use the row-vector convention:
// a product A x B applies A first.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "display/sorted_list.h"
#include "display/vertex_buffers.h"
#include "platform/d3dx/d3dx8math.h"

// The pick tag carried by every vertex (its bytes belong to the scene:
// byte 3 is a sector row, byte 4 a sector column).
using TVertexTag = std::array<uint8_t, 8>;

constexpr int VertexListCount = 16;
constexpr int MatrixStackDepth = 64;
// Vertices of this texture id are built at the origin: hidden.
constexpr int32_t HiddenTexture = 9999;
// What drawing the meshes of a level may cost in one build: each vertex
// emitted, corner shaded and mesh placed is a unit, so that the meshes
// never hold more vertices than this. A level and a project multiply into
// it (items times the meshes of a moveable times the faces of a mesh) even
// where few vertices come of it (faces that name missing vertices, the
// same large mesh placed for every mesh of a moveable); past it the level's
// meshes are left undrawn. The statics of 255 rooms of 30 statics each,
// every mesh as large as the games' mesh records hold (501 corners and
// textured quads, 301 textured triangles, coloured quads and coloured
// triangles: 7,120 units), take 54,468,000; the rest is left to the items.
// See TxGL::LevelWorkLeft.
constexpr int64_t LevelDrawWork = int64_t(1) << 26;

// One collected vertex. Its fields are ordered by size, so that the record
// has no gaps: the layer keeps millions of them.
struct txgl_vertex {
    double u, v;
    float x, y, z;  // transformed position
    int32_t texture;
    TVertexTag tag;
    int32_t r, g, b;  // 0..255
    uint16_t list;
};
static_assert(sizeof(txgl_vertex) == 56);

// The memory a vertex takes while a layer holds it and builds its buffer:
// its entry in the vertex list (the record and the name's head), its slot
// and the sort's two copies of it, its group number in the sort, and its
// place in a vertex buffer.
constexpr int64_t LayerBytesPerVertex =
    sizeof(txgl_vertex) + sizeof(listmem::TNodeHead) + 3 * sizeof(uint32_t) + sizeof(uint16_t) + BufferVertexStride;
// Vertices a layer can hold, over all its lists: its vertex list numbers its
// slots in 32 bits. A scene that asks for more is out of memory: Vertex
// raises std::bad_alloc. Counts, serials and sizes are 64-bit, so that
// nothing overflows on the way there.
constexpr int64_t LayerVertexCapacity = INT32_MAX;
// The vertices the memory the system has available now holds, at
// LayerBytesPerVertex each (LayerVertexCapacity when it cannot tell).
// Whoever builds a great deal lowers the layer's capacity to what it holds
// and this much more, so that a build the machine cannot hold runs out of
// memory in the layer, cleanly, before the system refuses memory anywhere
// else or ends the program.
int64_t AvailableVertices();
// Vertices of one Direct3D buffer: a list longer than this is held in
// several (see Tvbuffer). A multiple of 3, so that no triangle is cut;
// 384 MiB a buffer, far within the 32-bit sizes of the device.
constexpr int64_t BufferPieceLength = (int64_t(1) << 24) - 1;
static_assert(BufferPieceLength % 3 == 0 && BufferPieceLength * BufferVertexStride <= INT32_MAX);

class TxGL {
public:
    // A corner of a shape: position and texture coordinates.
    struct TCorner {
        float x, y, z;
        double u = 0, v = 0;
    };
    // A corner with a colour of its own.
    struct TColorCorner {
        float x, y, z;
        uint8_t r, g, b;
        double u = 0, v = 0;
    };

    TxGL();

    // ---- state ----
    void SetList(int list) { CurrentList = static_cast<uint16_t>(list); }
    void SetTexture(int32_t id) { CurrentTexture = id; }
    void SetTag(const TVertexTag& tag) { CurrentTag = tag; }
    // Any 8-byte record serves as a tag.
    template <class T>
    void SetTag(const T& tag)
    {
        static_assert(sizeof(T) == 8 && std::is_trivially_copyable_v<T>);
        std::memcpy(CurrentTag.data(), &tag, 8);
    }
    void SetColor(uint8_t r, uint8_t g, uint8_t b);
    // A colour with red in the low byte.
    void SetColorTColor(uint32_t color);
    void PushColor();
    void PopColor();

    // ---- matrices ----
    void LoadIdentity();
    // Saves the current matrix; past 63 levels the last one is overwritten.
    void PushMatrix();
    // Restores the last saved matrix; at depth 0 nothing changes.
    void PopMatrix();
    // current := translation(x, -y, z) x current
    void Translate(float x, float y, float z);
    // current := scaling(x, y, z): replaces the current matrix.
    void Scale(float x, float y, float z);
    // current := rotationY(y) x rotationX(x) x rotationZ(z) x current; angles
    // in degrees unless `radians`.
    void Rotate(float x, float y, float z, bool radians);
    // (x, y, z, 1) x m, no sign change.
    static void TransformPoint(float& x, float& y, float& z, const D3DXMATRIX& m);

    // ---- geometry ----
    // One vertex at (x, -y, z) x current, in the given colour and the current
    // list, texture, tag and texture coordinates. Dropped for a list above 15
    // and when the layer is full; past VertexCapacity std::bad_alloc. The
    // shapes below are emitted whole or not at all, so that a full layer
    // never leaves a triangle cut short.
    void Vertex(float x, float y, float z, uint8_t r, uint8_t g, uint8_t b);
    // Emits V2, V3, V1, V4, V1, V3 in the current colour: the triangles
    // (V1, V2, V3) and (V1, V3, V4).
    void Quad(const TCorner& v1, const TCorner& v2, const TCorner& v3, const TCorner& v4);
    // Emits V1, V3, V4, V1, V2, V3, each in its corner's colour.
    void Quad4C(const TColorCorner& v1, const TColorCorner& v2, const TColorCorner& v3, const TColorCorner& v4);
    void Tri(const TCorner& v1, const TCorner& v2, const TCorner& v3);
    void Tri3C(const TColorCorner& v1, const TColorCorner& v2, const TColorCorner& v3);
    // The box from (x, y, z - size) to (x + size, y + height, z): six quads.
    void Box(float x, float y, float z, float size, float height);
    // A pointer: apex (x, y, z), base rectangle of half sizes w and h at z - length.
    void Pyramid(float x, float y, float z, float length, float halfWidth, float halfHeight);
    // A sphere mesh around the centre (its x mirrored), in the current colour.
    // Needs the device; without it nothing is emitted.
    void Sphere(double cx, double cy, double cz, float radius, int slices, int stacks);

    // The vertices the layer holds, over all its lists.
    int64_t Held() const { return int64_t(Vertices.Count()) - Vertices.FreeCount(); }
    // Whether the layer holds VertexLimit vertices: further ones are dropped.
    bool Full() const { return Held() >= VertexLimit; }
    // Whether n more vertices fit in the current list. When the layer is
    // too full for them they count as dropped; when it cannot hold them,
    // std::bad_alloc.
    bool Fits(int64_t n)
    {
        if (CurrentList >= VertexListCount) return false;
        const int64_t held = Held();
        if (held > VertexLimit - n) {
            Dropped += n;
            return false;
        }
        if (held > VertexCapacity - n) throw std::bad_alloc();
        return true;
    }
    // Takes `units` of LevelWorkLeft. False, taking nothing, when less is
    // left or the layer is full: the caller then draws nothing more of the
    // level.
    bool SpendLevelWork(int64_t units);

    // ---- lists and buffers ----
    // Removes the vertices of one list, or of all lists (with serial 0 and
    // texture id -1) for a negative list; nothing for 16 or more.
    void ClearList(int list);
    // Capacity and primitive count of one entry := 0 (its buffer stays).
    void ResetBuffer(TVertexBuffer_array& buffers, int index);
    // Writes the vertices of a list into buffers[list]: needs the vertex list
    // sorted since the last Vertex.
    void BuildVertexBuffer(TVertexBuffer_array& buffers, int list);

    // ---- fields the scene reads ----
    txgl_vertex* CurrentVertex = nullptr;  // the vertex last added
    uint16_t CurrentList = 0;
    TVertexTag CurrentTag{};
    int32_t CurrentTexture = 0;
    int64_t Serial = 0;
    double CurrentU = 0, CurrentV = 0;
    int32_t ColorR = 255, ColorG = 255, ColorB = 255;
    int32_t SavedR = 0, SavedG = 0, SavedB = 0;
    int64_t Counts[VertexListCount] = {};
    D3DXMATRIX MatrixStack[MatrixStackDepth];
    int8_t Depth = 0;
    Tlistmem<txgl_vertex> Vertices;
    D3DXMATRIX CurrentMatrix;  // all zero until LoadIdentity
    int32_t ColoredFaceTexture = 0;
    // The level drawing work a build may still do (see LevelDrawWork); whoever
    // builds sets it back to LevelDrawWork before a build.
    int64_t LevelWorkLeft = LevelDrawWork;
    // The vertices the layer holds at most: past it they are left out. Its
    // users lower it while they draw what they bound themselves.
    int64_t VertexLimit = INT64_MAX;
    // The vertices the layer can hold: past it the scene is out of memory.
    // LayerVertexCapacity unless lowered (see AvailableVertices).
    int64_t VertexCapacity = LayerVertexCapacity;
    // The vertices of each Direct3D buffer BuildVertexBuffer makes
    // (BufferPieceLength unless lowered; a multiple of 3).
    int64_t PieceLength = BufferPieceLength;
    // The vertices left out because the layer was full, since it was made
    // (whoever wants to know whether a build was drawn whole compares it).
    int64_t Dropped = 0;

private:
    void Corner(const TCorner& c);
    void Corner(const TColorCorner& c);

    // The key of a vertex: list, texture id and serial, each in six characters.
    char key_[3 * 11] = {};
    size_t keyPrefixLength_ = 0;
    uint16_t keyList_ = 0;
    int32_t keyTexture_ = 0;
    bool keyValid_ = false;
    // The serial whose six characters follow the list and texture in key_
    // (-1: none), so that the next one is a matter of counting up.
    int64_t keySerial_ = -1;
};

// Euclidean distance between two points.
double Distance3(const D3DXVECTOR3& a, const D3DXVECTOR3& b);
// |Distance3(a, b) - radius|.
float DistanceBeyond(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float radius);
// Whether the segment from `origin` to `end` crosses the triangle a, b, c
// seen from its front (corners clockwise from the origin's side); t (set
// whenever the segment meets the triangle's plane inside it) is the fraction
// of the way.
bool RayHitsTriangle(const D3DXVECTOR3& origin, const D3DXVECTOR3& end, const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                     const D3DXVECTOR3& c, float& t);
// x truncated toward zero (saturated at the ends of the 32-bit range; NaN gives 0).
int32_t TruncSingle(float x);
