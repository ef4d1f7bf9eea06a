// The look-at camera: where it puts the eye and what the view matrix becomes.
#include <gtest/gtest.h>

#include "display/camera.h"
#include "display_fixture.h"

namespace {

void ExpectVector(const D3DXVECTOR3& v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

D3DXMATRIX LookAt(D3DXVECTOR3 eye, D3DXVECTOR3 at, D3DXVECTOR3 up)
{
    D3DXMATRIX m;
    D3DXMatrixLookAtLH(&m, &eye, &at, &up);
    return m;
}

using CameraTest = DisplayTest;

}  // namespace

TEST(TGLCamera, FreshCameraLooksFromFiveUnitsAtTheOrigin)
{
    TGLCamera c;
    D3DXMATRIX view;
    c.ViewMatrix = &view;
    c.Apply();
    ExpectVector(c.Eye(), 0, 0, 5);
    ExpectVector(c.Target(), 0, 0, 0);
    EXPECT_TRUE(view == LookAt({0, 0, 5}, {0, 0, 0}, {0, -1, 0}));
    // Up is -Y: a point above the origin in Y lands below it in view space.
    D3DXVECTOR4 p;
    const D3DXVECTOR3 above(0, 1, 0);
    D3DXVec3Transform(&p, &above, &view);
    EXPECT_FLOAT_EQ(p.y, -1.0f);
    EXPECT_FLOAT_EQ(p.z, 5.0f);
}

TEST(TGLCamera, PositionIsScaledAndDistanceMovesTheEye)
{
    TGLCamera c;
    D3DXMATRIX view;
    c.ViewMatrix = &view;
    c.SetX(1);
    c.SetY(1);
    c.SetZ(5);
    c.Distance = 2;
    c.Apply();
    ExpectVector(c.Eye(), 2, -2, 3);
    ExpectVector(c.Target(), 2, -2, -2);
    EXPECT_TRUE(view == LookAt({2, -2, 3}, {2, -2, -2}, {0, -1, 0}));

    // A negative distance puts the eye behind the camera's Z.
    c.Distance = -3;
    c.Apply();
    ExpectVector(c.Eye(), 2, -2, 8);
    EXPECT_GT(c.Eye().z, c.Z);
}

TEST_F(CameraTest, ApplySetsTheDeviceViewTransform)
{
    OpenDevice();
    TGLCamera c;
    c.SetX(0.5f);
    c.Distance = 1;
    c.Apply();  // without a viewport matrix: the device still gets the view
    D3DMATRIX got{};
    D3DDevice->GetTransform(D3DTS_VIEW, &got);
    EXPECT_TRUE(D3DXMATRIX(got) == LookAt({1, 0, 4}, {1, 0, -1}, {0, -1, 0}));
}
