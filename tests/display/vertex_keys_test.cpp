// Vertex keys keep emission order within a list and texture past the
// millionth vertex.
#include <gtest/gtest.h>

#include "display/drawing_layer.h"

TEST(TxGLKeys, EmissionOrderPastSixDigitSerials)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.SetList(2);
    gl.SetTexture(5001);
    gl.Serial = 999997;
    for (int i = 0; i < 6; ++i) gl.Vertex(float(i), 0, 0, 0, 0, 0);
    // Another texture sorts apart, still in its own emission order.
    gl.SetTexture(17);
    gl.Vertex(100, 0, 0, 0, 0, 0);
    gl.Vertex(101, 0, 0, 0, 0, 0);
    gl.Vertices.Sort();
    std::vector<float> xs;
    for (int i = 0; i < gl.Vertices.Count(); ++i) xs.push_back(gl.Vertices.GetByIndex(i)->x);
    EXPECT_EQ(xs, (std::vector<float>{100, 101, 0, 1, 2, 3, 4, 5}));
    // Six-digit serials keep their form; the millions are counted above the digits.
    EXPECT_GE(gl.Vertices.IndexOf("     2  5001999999"), 0);
    EXPECT_GE(gl.Vertices.IndexOf("     2  5001:000002"), 0);
}

TEST(TxGLKeys, SerialsInTheirMillionsAndBeyond)
{
    TxGL gl;
    gl.LoadIdentity();
    const int32_t serials[] = {5, 999999, 1000000, 1999999, 2000000, 68999999, 69000000, 2147483646};
    std::vector<float> expected;
    for (int32_t s : serials) {
        gl.Serial = s;
        gl.Vertex(float(s), 0, 0, 0, 0, 0);
        expected.push_back(float(s));
    }
    EXPECT_GE(gl.Vertices.IndexOf("     0     0;000000"), 0);
    EXPECT_GE(gl.Vertices.IndexOf("     0     0}999999"), 0);
    EXPECT_GE(gl.Vertices.IndexOf("     0     0~000000"), 0);
    gl.Vertices.Sort();
    std::vector<float> xs;
    for (int i = 0; i < gl.Vertices.Count(); ++i) xs.push_back(gl.Vertices.GetByIndex(i)->x);
    EXPECT_EQ(xs, expected);
}

TEST(TxGLKeys, ListsStillLocateByTheirPrefix)
{
    TxGL gl;
    gl.LoadIdentity();
    gl.Serial = 2000000000;
    gl.SetList(3);
    gl.Vertex(1, 0, 0, 0, 0, 0);
    gl.SetList(1);
    gl.Vertex(2, 0, 0, 0, 0, 0);
    gl.ClearList(3);
    int left = 0;
    for (int i = 0; i < gl.Vertices.Count(); ++i)
        if (const txgl_vertex* v = gl.Vertices.GetByIndex(i)) {
            EXPECT_EQ(v->list, 1);
            ++left;
        }
    EXPECT_EQ(left, 1);
    EXPECT_EQ(gl.Counts[1], 1);
    EXPECT_EQ(gl.Counts[3], 0);
}
