// The drawing layer: geometry, keys, groups and the buffers it builds.
#include <cmath>
#include <cstring>

#include "display/drawing_layer.h"
#include "display_fixture.h"

namespace {

using DrawingLayer = DisplayTest;

// The vertices of a built buffer.
std::vector<tbuffer_vertex> Contents(Tvbuffer& b)
{
    std::vector<tbuffer_vertex> out(b.Capacity);
    BYTE* p = nullptr;
    EXPECT_EQ(b.VertexBuffer->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(out.data(), p, out.size() * sizeof(tbuffer_vertex));
    b.VertexBuffer->Unlock();
    return out;
}

// The records of one list in list order (the list must be sorted).
std::vector<txgl_vertex> ListOf(TxGL& gl, int list)
{
    std::vector<txgl_vertex> out;
    for (int i = 0; i < gl.Vertices.Count(); ++i) {
        const txgl_vertex* v = gl.Vertices.GetByIndex(i);
        if (v && v->list == list) out.push_back(*v);
    }
    return out;
}

void ExpectAt(const txgl_vertex& v, float x, float y, float z, float eps = 1e-5f)
{
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

TxGL::TCorner C(float x, float y, float z, double u = 0, double v = 0) { return {x, y, z, u, v}; }

}  // namespace

TEST(TxGL, StartsAsCreated)
{
    TxGL gl;
    EXPECT_EQ(gl.ColorR, 255);
    EXPECT_EQ(gl.ColorG, 255);
    EXPECT_EQ(gl.ColorB, 255);
    EXPECT_EQ(gl.CurrentTexture, 0);
    EXPECT_EQ(gl.CurrentList, 0);
    EXPECT_EQ(gl.Serial, 0);
    EXPECT_EQ(gl.Depth, 0);
    EXPECT_EQ(gl.ColoredFaceTexture, 0);
    EXPECT_EQ(gl.CurrentVertex, nullptr);
    EXPECT_FALSE(gl.Vertices.KeepSorted);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(gl.CurrentMatrix.m[i][j], 0.0f);
}

TEST(TxGL, VertexKeysAndTransform)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.SetList(3);
    gl.SetTexture(5001);
    gl.SetTag(TVertexTag{1, 2, 3, 4, 5, 6, 7, 8});
    gl.SetColor(10, 20, 30);
    gl.Translate(1, 2, 3);
    gl.Vertex(0, 0, 0, 9, 8, 7);
    ASSERT_NE(gl.CurrentVertex, nullptr);
    const txgl_vertex& v = *gl.CurrentVertex;
    ExpectAt(v, 1, -2, 3);  // y is negated on entry, and the translation's y too
    EXPECT_EQ(v.list, 3);
    EXPECT_EQ(v.texture, 5001);
    EXPECT_EQ(v.tag[7], 8);
    EXPECT_EQ(v.r, 9);
    EXPECT_EQ(v.b, 7);
    EXPECT_EQ(gl.Vertices.Name(0), "     3  5001     0");
    gl.Vertex(0, 1, 0, 0, 0, 0);
    ExpectAt(*gl.CurrentVertex, 1, -3, 3);
    EXPECT_EQ(gl.Vertices.Name(1), "     3  5001     1");
    EXPECT_EQ(gl.Serial, 2);
    EXPECT_EQ(gl.Counts[3], 2);

    // Lists above 15 drop their vertices.
    gl.SetList(16);
    gl.Vertex(0, 0, 0, 0, 0, 0);
    gl.SetList(-1);
    gl.Vertex(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(gl.Vertices.Count(), 2);
    EXPECT_EQ(gl.Serial, 2);
}

TEST(TxGL, MatrixOperations)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.Rotate(0, 90, 0, false);
    gl.Vertex(1, 0, 0, 0, 0, 0);
    ExpectAt(*gl.CurrentVertex, 0, 0, -1);
    gl.LoadIdentity();
    gl.Rotate(0, 3.14159265f / 2, 0, true);
    gl.Vertex(1, 0, 0, 0, 0, 0);
    ExpectAt(*gl.CurrentVertex, 0, 0, -1);

    // Rotation order: about y, then x, then z, then what was there before.
    gl.LoadIdentity();
    gl.Translate(10, 0, 0);
    gl.Rotate(90, 0, 90, false);
    gl.Vertex(1, 0, 0, 0, 0, 0);  // z turns (1,0,0) to (0,1,0); x then has already acted
    ExpectAt(*gl.CurrentVertex, 10, 1, 0);
    gl.Vertex(0, 0, 1, 0, 0, 0);  // x turns (0,0,1) into (0,-1,0); z turns that into (1,0,0)
    ExpectAt(*gl.CurrentVertex, 11, 0, 0);

    // Scale replaces the matrix: an earlier translation is gone.
    gl.LoadIdentity();
    gl.Translate(5, 5, 5);
    gl.Scale(2, 3, 4);
    gl.Vertex(1, 1, 1, 0, 0, 0);
    ExpectAt(*gl.CurrentVertex, 2, -3, 4);

    float x = 1, y = 2, z = 3;
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 1, 1, 1);
    TxGL::TransformPoint(x, y, z, t);
    EXPECT_EQ(x, 2.0f);
    EXPECT_EQ(y, 3.0f);  // no sign change here
    EXPECT_EQ(z, 4.0f);
}

TEST(TxGL, MatrixStackOfSixtyFour)
{
    TxGL gl;
    gl.LoadIdentity();
    auto mark = [&](int i) {
        gl.LoadIdentity();
        gl.Translate(float(i), 0, 0);
    };
    auto current = [&] { return int(gl.CurrentMatrix._41); };
    mark(0);
    for (int i = 1; i <= 65; ++i) {
        gl.PushMatrix();  // push i saves the matrix marked i - 1
        mark(i);
    }
    EXPECT_EQ(gl.Depth, 63);
    gl.PopMatrix();
    EXPECT_EQ(current(), 62);  // saved by the 63rd push; the 64th and 65th are lost
    for (int i = 2; i <= 63; ++i) gl.PopMatrix();
    EXPECT_EQ(current(), 0);  // the 63rd pop restores the matrix from before the first push
    EXPECT_EQ(gl.Depth, 0);
    mark(7);
    gl.PopMatrix();
    EXPECT_EQ(current(), 7);  // further pops change nothing
    EXPECT_EQ(gl.Depth, 0);
}

TEST(TxGL, ColourState)
{
    TxGL gl;
    gl.SetColorTColor(0x00332211);  // red in the low byte
    EXPECT_EQ(gl.ColorR, 0x11);
    EXPECT_EQ(gl.ColorG, 0x22);
    EXPECT_EQ(gl.ColorB, 0x33);
    gl.PushColor();
    gl.SetColor(1, 2, 3);
    gl.PopColor();
    EXPECT_EQ(gl.ColorR, 0x11);
    EXPECT_EQ(gl.ColorB, 0x33);
}

TEST(TxGL, ShapesEmitTheirCornersInOrder)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.SetColor(5, 6, 7);
    gl.Quad(C(1, 0, 0, 0.1, 0.2), C(2, 0, 0), C(3, 0, 0), C(4, 0, 0, 0.7, 0.8));
    gl.Vertices.Sort();
    auto v = ListOf(gl, 0);
    ASSERT_EQ(v.size(), 6u);
    const float quadOrder[6] = {2, 3, 1, 4, 1, 3};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[size_t(i)].x, quadOrder[i]) << i;
        EXPECT_EQ(v[size_t(i)].r, 5);
    }
    EXPECT_EQ(v[2].u, 0.1);  // each corner carries its own coordinates
    EXPECT_EQ(v[3].v, 0.8);
    EXPECT_EQ(gl.CurrentU, 0);  // those of the last corner emitted (V3)

    gl.ClearList(-1);
    gl.Quad4C({1, 0, 0, 10, 0, 0}, {2, 0, 0, 20, 0, 0}, {3, 0, 0, 30, 0, 0}, {4, 0, 0, 40, 0, 0, 0.5, 0.5});
    gl.Vertices.Sort();
    v = ListOf(gl, 0);
    ASSERT_EQ(v.size(), 6u);
    const float quad4Order[6] = {1, 3, 4, 1, 2, 3};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[size_t(i)].x, quad4Order[i]) << i;
        EXPECT_EQ(v[size_t(i)].r, int(quad4Order[i]) * 10);
    }

    gl.ClearList(-1);
    gl.Tri(C(1, 0, 0), C(2, 0, 0), C(3, 0, 0, 0.25, 0.5));
    gl.Tri3C({4, 0, 0, 1, 1, 1}, {5, 0, 0, 2, 2, 2}, {6, 0, 0, 3, 3, 3});
    EXPECT_EQ(gl.CurrentU, 0);
    gl.Vertices.Sort();
    v = ListOf(gl, 0);
    ASSERT_EQ(v.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(v[size_t(i)].x, float(i + 1));
    EXPECT_EQ(v[2].u, 0.25);
    EXPECT_EQ(v[5].g, 3);
}

TEST(TxGL, BoxAndPyramid)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.Box(1, 2, 3, 2, 4);
    EXPECT_EQ(gl.Counts[0], 36);
    gl.Vertices.Sort();
    auto v = ListOf(gl, 0);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (const auto& p : v) {
        const float c[3] = {p.x, -p.y, p.z};  // undo the y negation
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], c[k]);
            hi[k] = std::max(hi[k], c[k]);
        }
        EXPECT_EQ(p.u, 0.0);
    }
    EXPECT_EQ(lo[0], 1.0f);
    EXPECT_EQ(hi[0], 3.0f);
    EXPECT_EQ(lo[1], 2.0f);
    EXPECT_EQ(hi[1], 6.0f);
    EXPECT_EQ(lo[2], 1.0f);
    EXPECT_EQ(hi[2], 3.0f);
    // The first face: corners (x, y+h, z), (x+s, y+h, z), (x+s, y, z), (x, y, z), emitted V2 V3 V1 V4 V1 V3.
    ExpectAt(v[0], 3, -6, 3);
    ExpectAt(v[1], 3, -2, 3);
    ExpectAt(v[2], 1, -6, 3);
    ExpectAt(v[3], 1, -2, 3);

    gl.ClearList(-1);
    gl.Pyramid(0, 0, 10, 4, 1, 2);
    EXPECT_EQ(gl.Counts[0], 18);
    gl.Vertices.Sort();
    v = ListOf(gl, 0);
    ExpectAt(v[0], 0, 0, 10);  // every triangle starts at the apex
    ExpectAt(v[3], 0, 0, 10);
    ExpectAt(v[1], -1, -2, 6);  // (x - w, y + h, z - l)
    for (size_t i = 12; i < 18; ++i) EXPECT_EQ(v[i].z, 6.0f);  // the base quad
}

TEST(TxGL, VertexOrderIsListThenTextureThenEmission)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.SetList(5);
    gl.SetTexture(20);
    gl.Vertex(1, 0, 0, 0, 0, 0);
    gl.SetList(1);
    gl.Vertex(2, 0, 0, 0, 0, 0);
    gl.SetList(5);
    gl.SetTexture(3);
    gl.Vertex(3, 0, 0, 0, 0, 0);
    gl.SetTexture(20);
    gl.Vertex(4, 0, 0, 0, 0, 0);
    gl.Vertices.Sort();
    auto l5 = ListOf(gl, 5);
    ASSERT_EQ(l5.size(), 3u);
    EXPECT_EQ(l5[0].x, 3.0f);  // texture 3 before 20
    EXPECT_EQ(l5[1].x, 1.0f);  // then by emission
    EXPECT_EQ(l5[2].x, 4.0f);
    EXPECT_EQ(gl.Vertices.GetByIndex(0)->list, 1);

    // After a full clear the texture id is -1: it sorts after one-digit ids
    // and before ids of two or more digits.
    gl.ClearList(-1);
    EXPECT_EQ(gl.CurrentTexture, -1);
    EXPECT_EQ(gl.Serial, 0);
    gl.SetList(0);
    gl.Vertex(1, 0, 0, 0, 0, 0);
    gl.SetTexture(10);
    gl.Vertex(2, 0, 0, 0, 0, 0);
    gl.SetTexture(5);
    gl.Vertex(3, 0, 0, 0, 0, 0);
    gl.Vertices.Sort();
    auto l0 = ListOf(gl, 0);
    ASSERT_EQ(l0.size(), 3u);
    EXPECT_EQ(l0[0].texture, 5);
    EXPECT_EQ(l0[1].texture, -1);
    EXPECT_EQ(l0[2].texture, 10);
}

TEST_F(DrawingLayer, BuildGroupsByTexture)
{
    OpenDevice();
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(12);
    gl.LoadIdentity();
    gl.SetList(2);
    gl.SetTexture(5001);
    gl.Quad(C(0, 0, 0), C(1, 0, 0), C(1, 1, 0), C(0, 1, 0));
    gl.SetTexture(6001);
    gl.Tri(C(5, 0, 0), C(6, 0, 0), C(6, 1, 0));
    gl.SetTexture(5001);
    gl.Quad(C(10, 0, 0), C(11, 0, 0), C(11, 1, 0), C(10, 1, 0));
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 2);
    Tvbuffer& e = buffers[2];
    EXPECT_EQ(e.Capacity, 15u);
    EXPECT_EQ(e.PrimitiveCount, 5u);
    EXPECT_EQ(e.VertexFormat, 0x142u);
    EXPECT_EQ(e.Stride, 24);
    EXPECT_EQ(e.PrimitiveType, 4);
    ASSERT_EQ(e.GroupCount, 2);
    EXPECT_EQ(e.GroupPrimitives, (std::vector<int32_t>{4, 1}));
    EXPECT_EQ(e.GroupTextures, (std::vector<int32_t>{5001, 6001}));
    auto c = Contents(e);
    EXPECT_EQ(c[0].x, 1.0f);   // the first quad's V2
    EXPECT_EQ(c[6].x, 11.0f);  // the second quad follows the first
    EXPECT_EQ(c[12].x, 5.0f);  // then the triangle
    EXPECT_EQ(c[0].color, 0xFFFFFFFFu);
    EXPECT_EQ(c[1].y, -1.0f);

    // The same count again reuses the buffer; another count makes a new one.
    const TComRef<IDirect3DVertexBuffer8> first = e.VertexBuffer;  // held, so its address stays taken
    gl.BuildVertexBuffer(buffers, 2);
    EXPECT_EQ(e.VertexBuffer, first);
    gl.Tri(C(0, 0, 0), C(1, 0, 0), C(1, 1, 0));
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 2);
    EXPECT_FALSE(e.VertexBuffer == first);
    EXPECT_EQ(e.PrimitiveCount, 6u);

    // An emptied list hides the buffer but keeps it.
    gl.ClearList(2);
    gl.BuildVertexBuffer(buffers, 2);
    EXPECT_EQ(e.PrimitiveCount, 0u);
    EXPECT_TRUE(e.VertexBuffer);
    EXPECT_EQ(e.Capacity, 18u);
}

TEST_F(DrawingLayer, HiddenTextureAndColours)
{
    OpenDevice();
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(4);
    gl.LoadIdentity();
    gl.SetList(1);
    gl.SetTexture(HiddenTexture);
    gl.SetColor(0x12, 0x34, 0x56);
    gl.Tri(C(1, 2, 3, 0.5, 0.25), C(4, 5, 6), C(7, 8, 9));
    gl.SetList(3);
    gl.SetTexture(7);
    gl.Tri(C(1, 2, 3, 0.5, 0.25), C(4, 5, 6), C(7, 8, 9));
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 1);
    gl.BuildVertexBuffer(buffers, 3);
    for (const auto& v : Contents(buffers[1])) {
        EXPECT_EQ(v.x, 0.0f);
        EXPECT_EQ(v.y, 0.0f);
        EXPECT_EQ(v.z, 0.0f);
        EXPECT_EQ(v.color, 0xFF123456u);
    }
    auto c = Contents(buffers[3]);
    EXPECT_EQ(c[0].x, 1.0f);
    EXPECT_EQ(c[0].y, -2.0f);
    EXPECT_EQ(c[0].u, 0.5f);
    EXPECT_EQ(c[0].v, 0.25f);
}

TEST_F(DrawingLayer, ClearingOneListLeavesTheOthers)
{
    OpenDevice();
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(12);
    gl.LoadIdentity();
    for (int list : {0, 1, 2}) {
        gl.SetList(list);
        for (int t = 0; t < 3; ++t) {
            gl.SetTexture(100 + t);
            gl.Tri(C(float(list), float(t), 0), C(1, 0, 0), C(1, 1, 0));
        }
    }
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 0);
    gl.BuildVertexBuffer(buffers, 2);
    const auto before = Contents(buffers[2]);
    gl.ClearList(1);
    EXPECT_EQ(gl.Counts[1], 0);
    EXPECT_EQ(gl.Counts[0], 9);
    EXPECT_EQ(gl.Counts[2], 9);
    EXPECT_EQ(gl.Vertices.FreeCount(), 9);  // emptied slots wait at the front
    EXPECT_EQ(gl.Serial, 27);
    gl.BuildVertexBuffer(buffers, 2);
    const auto after = Contents(buffers[2]);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(std::memcmp(after.data(), before.data(), after.size() * sizeof(tbuffer_vertex)), 0);
    EXPECT_EQ(buffers[2].GroupCount, 3);
    // New vertices reuse the emptied slots.
    gl.SetList(1);
    gl.SetTexture(100);
    gl.Tri(C(0, 0, 0), C(1, 0, 0), C(1, 1, 0));
    EXPECT_EQ(gl.Vertices.Count(), 27);
    EXPECT_EQ(gl.Vertices.FreeCount(), 6);
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 1);
    EXPECT_EQ(buffers[1].PrimitiveCount, 1u);
    // Clearing 16 or more does nothing.
    gl.ClearList(16);
    EXPECT_EQ(gl.Counts[1], 3);
}

TEST_F(DrawingLayer, BuildFailuresAreReported)
{
    OpenDevice();
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(12);
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    gl.LoadIdentity();
    gl.SetList(11);
    gl.Tri(C(0, 0, 0), C(1, 0, 0), C(1, 1, 0));
    gl.Vertices.Sort();

    gl.BuildVertexBuffer(buffers, 12);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "exiting prematuraly from vertex#12");
    gl.BuildVertexBuffer(buffers, -1);
    EXPECT_EQ(sink.Texts().back(), "exiting prematuraly from vertex#-1");

    D3DFailNext(TD3DFailPoint::CreateVertexBuffer, 1);
    gl.BuildVertexBuffer(buffers, 11);
    EXPECT_EQ(sink.Texts().back(), "Faling trying to build a vertex buffer!!");
    EXPECT_FALSE(buffers[11].VertexBuffer);
    EXPECT_EQ(buffers[11].PrimitiveCount, 0u);

    D3DFailNext(TD3DFailPoint::LockVertexBuffer, 1);
    gl.BuildVertexBuffer(buffers, 11);  // made now, but its lock fails
    EXPECT_EQ(sink.Texts().back(), "Failing to lock vertex buffer!!!");
    EXPECT_EQ(buffers[11].Capacity, 3u);
    gl.BuildVertexBuffer(buffers, 11);
    EXPECT_EQ(sink.messages.size(), 4u);
    EXPECT_EQ(buffers[11].GroupCount, 1);

    // ResetBuffer forgets the capacity, so the next build makes a new buffer.
    const TComRef<IDirect3DVertexBuffer8> old = buffers[11].VertexBuffer;
    gl.ResetBuffer(buffers, 11);
    EXPECT_EQ(buffers[11].Capacity, 0u);
    EXPECT_EQ(buffers[11].PrimitiveCount, 0u);
    EXPECT_TRUE(buffers[11].VertexBuffer);
    gl.ResetBuffer(buffers, 12);  // beyond the array: nothing
    gl.BuildVertexBuffer(buffers, 11);
    EXPECT_FALSE(buffers[11].VertexBuffer == old);

    // A failed creation leaves no capacity behind: a later build of the count
    // before it makes a buffer again instead of filling the released one.
    gl.Tri(C(0, 0, 0), C(1, 0, 0), C(1, 1, 0));
    gl.Vertices.Sort();
    D3DFailNext(TD3DFailPoint::CreateVertexBuffer, 1);
    gl.BuildVertexBuffer(buffers, 11);  // 6 vertices: none made
    gl.ClearList(11);
    gl.Tri(C(0, 0, 0), C(1, 0, 0), C(1, 1, 0));
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 11);  // 3 vertices, as before the failure
    ASSERT_TRUE(buffers[11].VertexBuffer);
    EXPECT_EQ(buffers[11].PrimitiveCount, 1u);
    EXPECT_EQ(buffers[11].Capacity, 3u);
}

TEST_F(DrawingLayer, SelectionRectanglePaintsTaggedVerticesRed)
{
    OpenDevice();
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(1);
    gl.LoadIdentity();
    gl.SetColor(0, 0, 255);
    for (uint8_t row = 1; row <= 3; ++row) {
        gl.SetTag(TVertexTag{1, 1, 0, row, uint8_t(row + 1), 0, 0, 0});
        gl.Tri(C(0, 0, 0), C(1, 0, 0), C(1, 1, 0));
    }
    gl.Vertices.Sort();
    Tvbuffer& e = buffers[0];
    e.SelectionOn = 1;
    e.SelRowA = 3;  // bounds in either order
    e.SelRowB = 2;
    e.SelColA = 1;
    e.SelColB = 3;
    gl.BuildVertexBuffer(buffers, 0);
    auto c = Contents(e);
    EXPECT_EQ(c[0].color, 0xFF0000FFu);  // row 1
    EXPECT_EQ(c[3].color, 0xFFFF0000u);  // row 2, column 3
    EXPECT_EQ(c[6].color, 0xFF0000FFu);  // row 3, column 4: outside
    EXPECT_EQ(e.Highlighted, 1);
}

TEST_F(DrawingLayer, SphereAroundItsCentre)
{
    OpenDevice();
    TxGL gl;
    gl.LoadIdentity();
    gl.SetColor(1, 2, 3);
    gl.Sphere(10.0, 20.0, 30.0, 2.0f, 8, 6);
    EXPECT_EQ(gl.Counts[0], 2 * 8 * 5 * 3);
    gl.Vertices.Sort();
    for (const auto& v : ListOf(gl, 0)) {
        // Stored at (cx - px, -(cy + py), cz + pz): on the sphere around (10, -20, 30).
        const double d = std::sqrt((v.x - 10.0) * (v.x - 10.0) + (v.y + 20.0) * (v.y + 20.0) + (v.z - 30.0) * (v.z - 30.0));
        EXPECT_NEAR(d, 2.0, 1e-4);
        EXPECT_EQ(v.b, 3);
    }
    gl.Sphere(0, 0, 0, 1.0f, -3, 6);  // a refused size emits nothing
    EXPECT_EQ(gl.Counts[0], 240);
}

TEST(TxGL, SphereNeedsTheDevice)
{
    ReleaseDirect3D();
    TxGL gl;
    gl.LoadIdentity();
    gl.Sphere(0, 0, 0, 1.0f, 8, 8);
    EXPECT_EQ(gl.Counts[0], 0);
}

TEST_F(DrawingLayer, BuiltBuffersDrawOnTheDevice)
{
    TTestView& view = OpenDevice(16, 16);
    TxGL gl;
    TVertexBuffer_array buffers;
    buffers.SetCount(1);
    gl.LoadIdentity();
    gl.SetColor(255, 0, 0);
    D3DDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // A square over the whole view (the transforms are identity).
    gl.Quad(C(-1, 1, 0.5f), C(1, 1, 0.5f), C(1, -1, 0.5f), C(-1, -1, 0.5f));
    gl.Vertices.Sort();
    gl.BuildVertexBuffer(buffers, 0);
    Tvbuffer& e = buffers[0];
    D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    D3DDevice->BeginScene();
    D3DDevice->SetStreamSource(0, e.VertexBuffer.Get(), e.Stride);
    D3DDevice->SetVertexShader(e.VertexFormat);
    ASSERT_EQ(D3DDevice->DrawPrimitive(D3DPRIMITIVETYPE(e.PrimitiveType), 0, e.GroupPrimitives[0]), D3D_OK);
    D3DDevice->EndScene();
    D3DDevice->Present(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(view.host.Pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(view.host.Pixel(15, 15), 0xFFFF0000u);
}

TEST(GeometryFunctions, DistancesAndTruncation)
{
    const D3DXVECTOR3 a(0, 0, 0), b(3, 4, 0);
    EXPECT_DOUBLE_EQ(Distance3(a, b), 5.0);
    EXPECT_FLOAT_EQ(DistanceBeyond(a, b, 2.0f), 3.0f);
    EXPECT_FLOAT_EQ(DistanceBeyond(a, b, 7.0f), 2.0f);
    EXPECT_EQ(TruncSingle(2.9f), 2);
    EXPECT_EQ(TruncSingle(-2.9f), -2);
    EXPECT_EQ(TruncSingle(0.0f), 0);
    EXPECT_EQ(TruncSingle(3e9f), 2147483647);
    EXPECT_EQ(TruncSingle(-3e9f), -2147483647 - 1);
    EXPECT_EQ(TruncSingle(std::nanf("")), 0);
}

TEST(GeometryFunctions, RayHitsTriangle)
{
    const D3DXVECTOR3 o(0, 0, -1), e(0, 0, 1);
    const D3DXVECTOR3 a(-1, -1, 0), b(0, 1, 0), c(1, -1, 0);
    float t = -7.0f;
    EXPECT_TRUE(RayHitsTriangle(o, e, a, b, c, t));
    EXPECT_FLOAT_EQ(t, 0.5f);
    t = -7.0f;
    EXPECT_FALSE(RayHitsTriangle(o, e, a, c, b, t));  // seen from the back
    EXPECT_EQ(t, -7.0f);                              // t left unwritten
    // Beside the triangle.
    EXPECT_FALSE(RayHitsTriangle(D3DXVECTOR3(5, 0, -1), D3DXVECTOR3(5, 0, 1), a, b, c, t));
    // The segment stops short of the plane: t is written but the result is false.
    t = -7.0f;
    EXPECT_FALSE(RayHitsTriangle(D3DXVECTOR3(0, 0, -2), D3DXVECTOR3(0, 0, -1), a, b, c, t));
    EXPECT_FLOAT_EQ(t, 2.0f);
    // Parallel to the plane.
    EXPECT_FALSE(RayHitsTriangle(D3DXVECTOR3(-2, 0, 0), D3DXVECTOR3(2, 0, 0), a, b, c, t));
}
