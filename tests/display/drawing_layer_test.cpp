// The drawing layer: transforms, the order of the sorted vertex list, and the
// vertex buffers built from it with their draw groups, colours, hidden faces,
// selection and failures. (The order shapes emit their corners in shows in
// the scene's faces and symbols.)
#include <cmath>
#include <tuple>
#include <utility>

#include "support/failing_allocations.h"
#include "support/view_fixture.h"

// Vertices written alike (no gaps in the record).
static bool operator==(const tbuffer_vertex& a, const tbuffer_vertex& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

namespace {

using DrawingLayer = DeviceTest;

std::vector<tbuffer_vertex> Contents(Tvbuffer& b)
{
    std::vector<tbuffer_vertex> out(b.PrimitiveCount * 3);
    BYTE* p = nullptr;
    EXPECT_EQ(b.VertexBuffer->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(out.data(), p, out.size() * sizeof(tbuffer_vertex));
    b.VertexBuffer->Unlock();
    return out;
}

// The vertices of an entry's buffers, one after the other, each of the size given.
std::vector<tbuffer_vertex> PieceContents(const Tvbuffer& b, const std::vector<uint32_t>& sizes)
{
    std::vector<tbuffer_vertex> out;
    EXPECT_EQ(b.MoreBuffers.size() + 1, sizes.size());
    for (size_t k = 0; k < sizes.size() && k <= b.MoreBuffers.size(); ++k) {
        IDirect3DVertexBuffer8* piece = k == 0 ? b.VertexBuffer.Get() : b.MoreBuffers[k - 1].Get();
        D3DVERTEXBUFFER_DESC desc;
        piece->GetDesc(&desc);
        EXPECT_EQ(desc.Size, sizes[k] * sizeof(tbuffer_vertex)) << k;
        BYTE* p = nullptr;
        EXPECT_EQ(piece->Lock(0, 0, &p, 0), D3D_OK) << k;
        if (!p) continue;
        const auto* v = reinterpret_cast<const tbuffer_vertex*>(p);
        out.insert(out.end(), v, v + desc.Size / sizeof(tbuffer_vertex));
        piece->Unlock();
    }
    return out;
}

TxGL::TCorner C(float x, float y = 0, float z = 0, double u = 0, double v = 0) { return {x, y, z, u, v}; }

}  // namespace

TEST(TxGL, TransformsTheMatrixStackAndTheSortedOrder)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.Translate(10, 2, 0);       // y negated on entry, the translation's too
    gl.Rotate(90, 0, 90, false);  // about y, then x, then z, then what was there before
    gl.Vertex(1, 0, 0, 0, 0, 0);
    EXPECT_TRUE(NearPoint(*gl.CurrentVertex, 10, -1, 0));
    gl.Scale(2, 3, 4);  // replaces the matrix
    gl.Rotate(0, 0, 1.5707964f, true);
    gl.Vertex(1, 1, 1, 0, 0, 0);
    EXPECT_TRUE(NearPoint(*gl.CurrentVertex, 2, 3, 4));
    gl.SetList(16);  // lists above 15 drop their vertices
    gl.Vertex(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(gl.Vertices.Count(), 2);
    // Past 63 levels the last one is overwritten; at depth 0 a pop changes nothing.
    gl.LoadIdentity();
    for (int i = 1; i <= 65; ++i) {
        gl.PushMatrix();  // push i saves the matrix translated by i - 1
        gl.LoadIdentity();
        gl.Translate(float(i), 0, 0);
    }
    gl.PopMatrix();
    EXPECT_EQ(int(gl.Depth), 62);
    EXPECT_EQ(gl.CurrentMatrix._41, 62.0f);
    for (int i = 2; i <= 64; ++i) gl.PopMatrix();
    EXPECT_EQ(int(gl.Depth), 0);
    EXPECT_EQ(gl.CurrentMatrix._41, 0.0f);

    // Sorted by list, texture id (-1, the id after a full clear, after one-digit
    // ids and before longer ones), then emission, past the six-digit serials
    // and the 32-bit ones too.
    const int64_t rows[][3] = {{5, 20, 0},         {1, 20, 0},         {5, 3, 0},          {5, 20, 0},
                               {0, 10, 0},         {0, -1, 0},         {0, 5, 0},          {2, 7, 5},
                               {2, 7, 999999},     {2, 7, 1000000},    {2, 7, 1999999},    {2, 7, 2000000},
                               {2, 7, 68999999},   {2, 7, 69999999},   {2, 7, 70000000},   {2, 7, 2147483646},
                               {2, 7, 4294967295}, {2, 7, 4294967552}, {2, 7, 9999999999}, {2, 7, int64_t(1) << 55},
                               {2, 8, 4294967296}};  // list, texture, serial
    gl.ClearList(-1);
    for (const auto& r : rows) {
        gl.SetList(int(r[0]));
        gl.SetTexture(int32_t(r[1]));
        if (r[2]) gl.Serial = r[2];
        gl.Vertex(float(&r - rows), 0, 0, 0, 0, 0);
    }
    std::vector<float> xs;
    for (const auto& v : ListVertices(gl)) xs.push_back(v.x);
    EXPECT_EQ(xs, (std::vector<float>{6, 5, 4, 1, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 2, 0, 3}));
}

TEST_F(DrawingLayer, BuffersHoldAListGroupedByTexture)
{
    OpenView();
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(12);
    gl.LoadIdentity();
    gl.SetList(2);
    gl.SetColor(0x12, 0x34, 0x56);
    gl.SetTexture(5001);
    gl.Quad(C(0, 0, 0, 0.5, 0.25), C(1), C(1, 1), C(0, 1));
    gl.SetTexture(6001);
    gl.Tri(C(5), C(6), C(6, 1));
    gl.SetTexture(5001);
    gl.Quad(C(10), C(11), C(11, 1), C(10, 1));
    gl.SetTexture(HiddenTexture);
    gl.Tri(C(7, 8, 9), C(1), C(2));  // built at the origin
    gl.SetList(1);
    gl.Serial = 2000000000;  // keys past six digits still sort under their list
    gl.Tri(C(1), C(2), C(3));
    // A selection rectangle (bounds in either order) paints matching rows and columns red.
    const uint8_t rowColumn[4][2] = {{1, 2}, {2, 1}, {2, 3}, {3, 4}};
    gl.SetList(0);
    for (const auto& rc : rowColumn) {
        gl.SetTag(TVertexTag{1, 1, 0, rc[0], rc[1], 0, 0, 0});
        gl.Tri(C(0), C(1), C(1, 1));
    }
    buffers[0].SelectionOn = 1;
    buffers[0].SelRowA = 3;
    buffers[0].SelRowB = 2;
    buffers[0].SelColA = 3;
    buffers[0].SelColB = 1;
    gl.Vertices.Sort();
    for (int list : {0, 1, 2}) gl.BuildVertexBuffer(buffers, list);
    Tvbuffer& e = buffers[2];
    EXPECT_EQ(e.VertexFormat, 0x142u);
    EXPECT_EQ(e.Stride, 24);
    EXPECT_EQ(e.PrimitiveType, D3DPT_TRIANGLELIST);
    EXPECT_EQ(e.GroupPrimitives, std::vector<int32_t>({4, 1, 1}));
    EXPECT_EQ(e.GroupTextures, std::vector<int32_t>({5001, 6001, HiddenTexture}));
    const auto c = Contents(e);
    ASSERT_EQ(c.size(), 18u);
    const float x[18] = {1, 1, 0, 0, 0, 1, 11, 11, 10, 10, 10, 11, 5, 6, 6, 0, 0, 0};
    const float y[18] = {0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, 0, -1, 0, 0, 0};
    for (size_t i = 0; i < 18; ++i)  // x, y, colour
        EXPECT_EQ(std::tuple(c[i].x, c[i].y, c[i].color), std::tuple(x[i], y[i], 0xFF123456u)) << i;
    EXPECT_EQ(std::pair(c[2].u, c[2].v), std::pair(0.5f, 0.25f));
    const auto selected = Contents(buffers[0]);
    const uint32_t colours[4] = {0xFF123456, 0xFFFF0000, 0xFFFF0000, 0xFF123456};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(selected[3 * i].color, colours[i]) << i;
    EXPECT_EQ(buffers[0].Highlighted, 1);

    // Clearing a list leaves the others; an emptied list draws nothing and keeps its buffer.
    gl.ClearList(1);
    gl.ClearList(16);  // no such list: nothing
    gl.BuildVertexBuffer(buffers, 2);
    EXPECT_EQ(gl.Counts[1], 0);
    EXPECT_EQ(gl.Counts[0], 12);
    EXPECT_EQ(ListVertices(gl, 1).size(), 0u);
    EXPECT_EQ(std::memcmp(Contents(e).data(), c.data(), c.size() * sizeof(tbuffer_vertex)), 0);
    gl.ClearList(2);
    gl.BuildVertexBuffer(buffers, 2);
    EXPECT_EQ(e.PrimitiveCount, 0u);
    EXPECT_TRUE(e.VertexBuffer);
    gl.ClearList(-1);  // all of them: serials start again, with texture -1
    EXPECT_EQ(gl.Vertices.Count(), 0);
    EXPECT_EQ(gl.Serial, 0);
    EXPECT_EQ(gl.Counts[0], 0);
    EXPECT_EQ(gl.CurrentTexture, -1);

    gl.SetColor(1, 2, 3);  // a sphere around its centre
    gl.Sphere(10.0, 20.0, 30.0, 2.0f, 8, 6);
    gl.Sphere(0, 0, 0, 1.0f, -3, 6);  // a refused size emits nothing
    EXPECT_EQ(gl.Counts[0], 2 * 8 * 5 * 3);
    for (const auto& v : ListVertices(gl, 0)) {
        EXPECT_NEAR(std::hypot(v.x - 10.0, v.y + 20.0, v.z - 30.0), 2, 1e-4);
        EXPECT_EQ(v.b, 3);
    }
    EXPECT_TRUE(sink.messages.empty());
}

TEST_F(DrawingLayer, BuildFailuresAreReported)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.Sphere(0, 0, 0, 1.0f, 8, 8);  // without the device nothing
    OpenView();
    TVertexBuffer_array buffers;
    buffers.SetCount(12);
    gl.SetList(11);
    gl.Tri(C(0), C(1), C(1, 1));
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 12);
    D3DFailNext(TD3DFailPoint::CreateVertexBuffer, 1);
    gl.BuildVertexBuffer(buffers, 11);
    EXPECT_FALSE(buffers[11].VertexBuffer);
    EXPECT_EQ(buffers[11].PrimitiveCount, 0u);
    D3DFailNext(TD3DFailPoint::LockVertexBuffer, 1);
    gl.BuildVertexBuffer(buffers, 11);  // made now, but its lock fails
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"exiting prematuraly from vertex#12",
                                                      "Faling trying to build a vertex buffer!!",
                                                      "Failing to lock vertex buffer!!!"}));
    gl.ResetBuffer(buffers, 11);  // forgets the capacity: the next build makes a new buffer
    gl.ResetBuffer(buffers, 12);
    D3DResetCounters();
    gl.BuildVertexBuffer(buffers, 11);
    EXPECT_EQ(D3DCounters().vertexBuffersCreated, 1);
    EXPECT_EQ(buffers[11].GroupCount, 1);
    EXPECT_EQ(gl.Vertices.Count(), 3);
    // A failed creation leaves no capacity behind: a later build of the
    // count before it makes a buffer again instead of filling the released one.
    gl.Tri(C(0), C(1), C(1, 1));
    gl.Vertices.Sort();
    D3DFailNext(TD3DFailPoint::CreateVertexBuffer, 1);
    gl.BuildVertexBuffer(buffers, 11);
    gl.ClearList(11);
    gl.Tri(C(0), C(1), C(1, 1));
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 11);
    ASSERT_TRUE(buffers[11].VertexBuffer);
    EXPECT_EQ(Contents(buffers[11]).size(), 3u);
}

// The layer holds at most its vertex limit over all lists, whatever is
// emitted, and takes each shape whole or not at all, counting what it left
// out; emptying a list makes room again. Level work is taken only while
// enough is left and the layer has room.
TEST(TxGL, VertexLimitAndLevelWork)
{
    TxGL gl;
    gl.LoadIdentity();
    EXPECT_EQ(gl.VertexLimit, INT64_MAX);
    EXPECT_EQ(gl.LevelWorkLeft, LevelDrawWork);
    gl.VertexLimit = 100;
    for (int list : {2, 5}) {
        gl.SetList(list);
        for (int i = 0; i < 40; ++i) gl.Quad(C(0), C(1), C(1, 1), C(0, 1));
    }
    // 16 quads fit; a triangle and a vertex fill the layer; each shape past
    // that is left out whole.
    gl.Tri(C(0), C(1), C(1, 1));
    gl.Vertex(0, 0, 0, 1, 2, 3);
    gl.Tri(C(0), C(1), C(1, 1));
    gl.Vertex(0, 0, 0, 1, 2, 3);
    gl.Vertices.Sort();
    EXPECT_EQ(gl.Vertices.Count(), 100);
    EXPECT_EQ(gl.Counts[2], 96);
    EXPECT_EQ(gl.Counts[5], 4);
    EXPECT_EQ(gl.Dropped, 24 * 6 + 40 * 6 + 3 + 1);
    EXPECT_TRUE(gl.Full());
    EXPECT_FALSE(gl.SpendLevelWork(1));
    gl.SetList(16);  // a list the layer does not have drops nothing it counts
    gl.Quad(C(0), C(1), C(1, 1), C(0, 1));
    EXPECT_EQ(gl.Dropped, 24 * 6 + 40 * 6 + 3 + 1);
    gl.ClearList(2);
    EXPECT_FALSE(gl.Full());
    gl.SetList(5);
    gl.Tri(C(0), C(1), C(1, 1));
    EXPECT_EQ(gl.Counts[5], 7);

    gl.LevelWorkLeft = 10;
    const std::pair<int64_t, bool> spends[] = {{4, true}, {7, false}, {6, true}, {0, true}, {1, false}};
    for (const auto& [units, taken] : spends) EXPECT_EQ(gl.SpendLevelWork(units), taken) << units;
    EXPECT_EQ(gl.LevelWorkLeft, 0);
}

// Past what it can hold the layer is out of memory, a shape at a time, and
// holds what it held before; below its capacity the vertex limit leaves
// vertices out instead. Its capacity is within what its vertex list numbers
// and what the machine's memory holds.
TEST(TxGL, PastItsCapacityTheLayerIsOutOfMemory)
{
    EXPECT_EQ(TxGL().VertexCapacity, LayerVertexCapacity);
    EXPECT_GT(AvailableVertices(), 0);
    EXPECT_LE(AvailableVertices(), LayerVertexCapacity);
    TxGL gl;
    gl.LoadIdentity();
    gl.VertexCapacity = 10;
    gl.SetList(3);
    gl.Quad(C(0), C(1), C(1, 1), C(0, 1));
    EXPECT_THROW(gl.Quad(C(0), C(1), C(1, 1), C(0, 1)), std::bad_alloc);
    EXPECT_EQ(gl.Counts[3], 6);
    gl.Tri(C(0), C(1), C(1, 1));
    gl.Vertex(0, 0, 0, 1, 2, 3);
    EXPECT_THROW(gl.Vertex(0, 0, 0, 1, 2, 3), std::bad_alloc);
    EXPECT_EQ(gl.Held(), 10);
    EXPECT_EQ(gl.Dropped, 0);
    gl.ClearList(3);
    gl.VertexLimit = 6;
    for (int i = 0; i < 3; ++i) gl.Quad(C(0), C(1), C(1, 1), C(0, 1));
    EXPECT_EQ(gl.Held(), 6);
    EXPECT_EQ(gl.Dropped, 12);
}

// A list longer than a buffer's piece is held in buffers of that many
// vertices: the same vertices and groups as in one buffer; built again at
// the same size it keeps its buffers. A piece that cannot be locked fails
// the build as one buffer does and leaves none locked; one that cannot be
// made, or memory that runs out on the way, leaves the entry with nothing
// to draw.
TEST_F(DrawingLayer, ALongListIsHeldInPieces)
{
    OpenView();
    TxGL gl;
    gl.LoadIdentity();
    gl.SetList(2);
    for (int k = 0; k < 7; ++k) {
        gl.SetTexture(k % 3 == 2 ? 6001 : 5001);
        gl.SetColor(uint8_t(30 * k), 255, uint8_t(255 - 30 * k));
        gl.Tri(C(float(k)), C(float(k), 1), C(float(k) + 1, 1, 0, 0.5, 0.25));
    }
    gl.Vertices.Sort();
    TVertexBuffer_array whole, pieces;
    whole.SetCount(3);
    pieces.SetCount(3);
    gl.BuildVertexBuffer(whole, 2);
    const auto one = Contents(whole[2]);
    gl.PieceLength = 8;  // whole triangles: 6 vertices a buffer
    D3DResetCounters();
    gl.BuildVertexBuffer(pieces, 2);
    EXPECT_EQ(D3DCounters().vertexBuffersCreated, 4);
    const Tvbuffer &w = whole[2], &p = pieces[2];
    EXPECT_EQ(p.PieceLength, 6u);
    ASSERT_EQ(p.MoreBuffers.size(), 3u);
    EXPECT_EQ(std::tuple(p.PrimitiveCount, p.Capacity, p.GroupPrimitives, p.GroupTextures),
              std::tuple(w.PrimitiveCount, w.Capacity, w.GroupPrimitives, w.GroupTextures));
    EXPECT_EQ(PieceContents(p, {6, 6, 6, 3}), one);
    D3DResetCounters();
    gl.BuildVertexBuffer(pieces, 2);
    EXPECT_EQ(D3DCounters().vertexBuffersCreated, 0);
    EXPECT_EQ(PieceContents(p, {6, 6, 6, 3}), one);

    BYTE* data = nullptr;
    ASSERT_EQ(p.MoreBuffers[1]->Lock(0, 0, &data, 0), D3D_OK);  // the third piece is busy
    gl.BuildVertexBuffer(pieces, 2);
    p.MoreBuffers[1]->Unlock();
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Failing to lock vertex buffer!!!"});
    EXPECT_EQ(PieceContents(p, {6, 6, 6, 3}), one);  // every piece can be locked again

    gl.PieceLength = 9;
    D3DFailNext(TD3DFailPoint::CreateVertexBuffer, 1);
    gl.BuildVertexBuffer(pieces, 2);
    EXPECT_FALSE(p.VertexBuffer);
    EXPECT_TRUE(p.MoreBuffers.empty());
    EXPECT_EQ(std::pair(p.Capacity, p.PrimitiveCount), std::pair(0u, 0u));
    EXPECT_EQ(sink.Texts().back(), "Faling trying to build a vertex buffer!!");
    for (int64_t k = 0;; ++k) {
        bool thrown = false;
        gl.ResetBuffer(pieces, 2);
        {
            TFailingAllocation failing(k);
            try {
                gl.BuildVertexBuffer(pieces, 2);
            } catch (const std::bad_alloc&) {
                thrown = true;
            }
        }
        if (!thrown) break;
        // Nothing drawn; buffers it keeps are whole ones.
        EXPECT_EQ(p.PrimitiveCount, 0u) << k;
        if (p.Capacity != 0) { EXPECT_EQ(p.MoreBuffers.size(), 2u) << k; }
    }
    EXPECT_EQ(PieceContents(p, {9, 9, 3}), one);
}

TEST(GeometryFunctions, DistancesTruncationAndRays)
{
    const D3DXVECTOR3 o(0, 0, 0), p(3, 4, 0);
    EXPECT_EQ(Distance3(o, p), 5.0);
    EXPECT_EQ(DistanceBeyond(o, p, 2.0f), 3.0f);
    EXPECT_EQ(DistanceBeyond(o, p, 7.0f), 2.0f);
    const std::pair<float, int32_t> truncs[] = {
        {2.9f, 2}, {-2.9f, -2}, {3e9f, INT32_MAX}, {-3e9f, INT32_MIN}, {std::nanf(""), 0}};
    for (const auto& [x, want] : truncs) EXPECT_EQ(TruncSingle(x), want) << x;
    // The triangle (-1, -1), (0, 1), (1, -1) in the plane z = 0, seen from z = -1:
    // a hit half way; seen from behind; beside; beyond the far edge; short of the plane; parallel.
    const D3DXVECTOR3 a(-1, -1, 0), b(0, 1, 0), c(1, -1, 0);
    const std::tuple<D3DXVECTOR3, D3DXVECTOR3, bool, bool, float> rays[] = {
        {{0, 0, -1}, {0, 0, 1}, false, true, 0.5f},
        {{0, 0, -1}, {0, 0, 1}, true, false, -7},
        {{5, 0, -1}, {5, 0, 1}, false, false, -7},
        {{0.6f, 0.5f, -1}, {0.6f, 0.5f, 1}, false, false, -7},
        {{0, 0, -2}, {0, 0, -1}, false, false, 2.0f},
        {{-2, 0, 0}, {2, 0, 0}, false, false, -7}};  // t -7: left unwritten
    for (const auto& [from, to, back, hit, want] : rays) {
        float t = -7;
        EXPECT_EQ(RayHitsTriangle(from, to, a, back ? c : b, back ? b : c, t), hit) << from.x << " " << from.z;
        EXPECT_FLOAT_EQ(t, want) << from.x << " " << from.z;
    }
}
