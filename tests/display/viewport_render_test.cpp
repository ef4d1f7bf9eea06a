// Frames through the whole chain: texture store, drawing layer, vertex
// buffers, viewport and the software device, read back pixel by pixel; the
// build callback; and the recovery of a lost device and of a resize.
#include <memory>
#include <vector>

#include "display/drawing_layer.h"
#include "viewport_fixture.h"

namespace {

constexpr uint32_t kBackground = 0xFF008080u;  // 0x808000 as a frame pixel

// A 4 x 4 picture of four 2 x 2 blocks: red, green / blue, white.
std::unique_ptr<TBitmap> Quadrants()
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(4, 4);
    const TColor colors[2][2] = {{clRed, clLime}, {clBlue, clWhite}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) b->SetPixel(x, y, colors[y / 2][x / 2]);
    return b;
}

std::unique_ptr<TBitmap> Plain(TColor color, int side = 4)
{
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) b->SetPixel(x, y, color);
    return b;
}

// The square from (-1, -1) to (1, 1) at depth 0, texture row 0 at the top.
void Square(TxGL& gl, float left = -1, float right = 1)
{
    gl.Quad({left, 1, 0, 0, 0}, {right, 1, 0, 1, 0}, {right, -1, 0, 1, 1}, {left, -1, 0, 0, 1});
}

void ExpectColor(uint32_t pixel, uint8_t r, uint8_t g, uint8_t b, int x, int y)
{
    const int pr = (pixel >> 16) & 0xFF, pg = (pixel >> 8) & 0xFF, pb = pixel & 0xFF;
    EXPECT_NEAR(pr, r, 3) << "red at " << x << "," << y;
    EXPECT_NEAR(pg, g, 3) << "green at " << x << "," << y;
    EXPECT_NEAR(pb, b, 3) << "blue at " << x << "," << y;
    EXPECT_EQ(pixel >> 24, 0xFFu);
}

class Render : public ViewportTest {
protected:
    // The viewport with a build callback that fills buffer 0 from the layer.
    void OpenWithLayer(int w = 64, int h = 64)
    {
        Open(w, h);
        buffers.SetCount(2);
        viewport->OnBuild = [this] {
            ++builds;
            gl.Vertices.Sort();
            gl.BuildVertexBuffer(buffers, 0);
        };
    }
    TxGL gl;
    int builds = 0;
};

}  // namespace

TEST_F(Render, TexturedQuadPixelByPixel)
{
    OpenWithLayer(64, 64);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(7, *Quadrants()));
    gl.LoadIdentity();
    gl.SetTexture(7);
    Square(gl);
    control->Paint();
    ASSERT_EQ(builds, 1);
    const TOffscreenHost& host = control->host;
    ASSERT_EQ(host.FrameWidth(), 64);
    ASSERT_EQ(host.FrameHeight(), 64);

    // The square spans 1 / tan(pi / 8) / 5 of the half-view: pixels 17 to 46.
    EXPECT_EQ(host.Pixel(0, 0), kBackground);
    EXPECT_EQ(host.Pixel(63, 63), kBackground);
    EXPECT_EQ(host.Pixel(15, 32), kBackground);
    EXPECT_EQ(host.Pixel(48, 32), kBackground);
    EXPECT_EQ(host.Pixel(32, 15), kBackground);
    EXPECT_EQ(host.Pixel(32, 48), kBackground);
    // Each quadrant of the square in its texture colour, away from the blends.
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            ExpectColor(host.Pixel(24 + dx, 24 + dy), 255, 0, 0, 24 + dx, 24 + dy);
            ExpectColor(host.Pixel(39 + dx, 24 + dy), 0, 255, 0, 39 + dx, 24 + dy);
            ExpectColor(host.Pixel(24 + dx, 39 + dy), 0, 0, 255, 24 + dx, 39 + dy);
            ExpectColor(host.Pixel(39 + dx, 39 + dy), 255, 255, 255, 39 + dx, 39 + dy);
        }
    // The edges of the square, exactly.
    int covered = 0;
    for (int x = 0; x < 64; ++x) covered += host.Pixel(x, 24) != kBackground;
    EXPECT_EQ(covered, 30);
}

TEST_F(Render, VertexColourTintsTheTexture)
{
    OpenWithLayer(32, 32);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(8, *Plain(clWhite)));
    gl.LoadIdentity();
    gl.SetTexture(8);
    gl.SetColor(255, 128, 0);
    Square(gl);
    control->Paint();
    ExpectColor(control->host.Pixel(16, 16), 255, 128, 0, 16, 16);
}

TEST_F(Render, BuildCallbackRunsOnTheFirstFrameAndAfterRebuild)
{
    OpenWithLayer(16, 16);
    EXPECT_EQ(builds, 0);  // attaching draws nothing
    control->Paint();
    control->Paint();
    control->MouseMove(0, 1, 1);
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(control->host.FrameCount(), 3);  // a paint renders even when nothing changed
    viewport->Rebuild();
    EXPECT_EQ(builds, 2);
    EXPECT_EQ(control->host.FrameCount(), 4);
    control->Paint();
    EXPECT_EQ(builds, 2);
}

TEST_F(Render, GroupsDrawInTheirTexturesWithTheDefaultAsFallback)
{
    OpenWithLayer(64, 64);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(1, *Plain(clRed)));
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(2, *Plain(clLime)));
    gl.LoadIdentity();
    gl.SetTexture(1);
    Square(gl, -1, -0.5f);
    gl.SetTexture(2);
    Square(gl, -0.5f, 0);
    gl.SetTexture(77);  // not in the store: drawn with the default texture
    Square(gl, 0, 0.5f);
    gl.SetTexture(9999);  // hidden: built at the origin, nothing shows
    Square(gl, 0.5f, 1);
    control->Paint();
    Tvbuffer& b = buffers[0];
    ASSERT_EQ(b.GroupCount, 4);
    b.DefaultTexture = 2;
    D3DResetCounters();
    control->Paint();
    EXPECT_EQ(D3DCounters().drawCalls, 4);
    const TOffscreenHost& host = control->host;
    ExpectColor(host.Pixel(20, 32), 255, 0, 0, 20, 32);
    ExpectColor(host.Pixel(28, 32), 0, 255, 0, 28, 32);
    ExpectColor(host.Pixel(36, 32), 0, 255, 0, 36, 32);
    EXPECT_EQ(host.Pixel(43, 32), kBackground);

    // Neither the group's id nor the default id: no texture, the vertex colour alone.
    b.DefaultTexture = 55;
    control->Paint();
    ExpectColor(host.Pixel(36, 32), 255, 255, 255, 36, 32);
    ExpectColor(host.Pixel(20, 32), 255, 0, 0, 20, 32);

    // One group: everything in the default texture, in one call.
    b.DefaultTexture = 1;
    b.OneGroup = 1;
    D3DResetCounters();
    control->Paint();
    EXPECT_EQ(D3DCounters().drawCalls, 1);
    EXPECT_EQ(D3DCounters().trianglesDrawn, 8);
    ExpectColor(host.Pixel(28, 32), 255, 0, 0, 28, 32);
}

TEST_F(Render, WireframeElementDrawsInOneCallWithItsDefaultTexture)
{
    OpenWithLayer(64, 64);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(1, *Plain(clRed)));
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(2, *Plain(clLime)));
    gl.LoadIdentity();
    gl.SetTexture(1);
    Square(gl, -1, 0);
    gl.SetTexture(2);
    Square(gl, 0, 1);
    viewport->OnBuild = [this] {
        gl.Vertices.Sort();
        gl.BuildVertexBuffer(buffers, 0);
        buffers[0].FillMode = FillWireframe;
        buffers[0].DefaultTexture = 2;
    };
    D3DResetCounters();
    control->Paint();
    ASSERT_EQ(buffers[0].GroupCount, 2);
    EXPECT_EQ(D3DCounters().drawCalls, 1);
    EXPECT_EQ(D3DCounters().trianglesDrawn, 4);
    const TOffscreenHost& host = control->host;
    EXPECT_EQ(host.Pixel(21, 38), kBackground);  // inside a face: only edges are drawn
    // The left edge of the square shows in the default texture's green.
    bool green = false;
    for (int x = 14; x <= 20; ++x) {
        const uint32_t p = host.Pixel(x, 30);
        if (p != kBackground && ((p >> 8) & 0xFF) > 200 && ((p >> 16) & 0xFF) < 50) green = true;
    }
    EXPECT_TRUE(green);
}

TEST_F(Render, EmptyElementsAndMissingPartsDrawNothing)
{
    Open(16, 16);
    buffers.SetCount(12);  // all empty
    D3DResetCounters();
    control->Paint();
    EXPECT_EQ(D3DCounters().drawCalls, 0);
    EXPECT_EQ(control->host.Pixel(8, 8), kBackground);

    viewport->Buffers = nullptr;
    viewport->SetCamera(nullptr);
    control->Paint();
    EXPECT_EQ(control->host.FrameCount(), 2);

    // Without a device (as during a recovery's messages) nothing is drawn.
    ReleaseDirect3D();
    control->Paint();
    control->MouseMove(0, 2, 2);
    viewport->Rebuild();
    EXPECT_EQ(control->host.FrameCount(), 2);
}

TEST_F(Render, SecondViewDrawsThroughItsSwapChain)
{
    OpenWithLayer(32, 32);
    TOffscreenControl second(24, 16);
    TGLViewport other;
    TGLCamera otherCamera;
    other.SetCamera(&otherCamera);
    other.Attach(&second);
    other.SetBackgroundColor(0x0000FF);
    other.Buffers = &buffers;
    ASSERT_TRUE(other.SwapChain);
    second.Paint();
    EXPECT_EQ(second.host.FrameCount(), 1);
    EXPECT_EQ(second.host.FrameWidth(), 24);
    EXPECT_EQ(second.host.Pixel(3, 3), 0xFFFF0000u);
    EXPECT_EQ(control->host.FrameCount(), 0);
}

TEST_F(Render, LostDeviceOnPaintRecreatesEverythingAndDrawsAgain)
{
    OpenWithLayer(64, 64);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(7, *Quadrants()));
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(8, *Plain(clWhite)));
    gl.LoadIdentity();
    gl.SetTexture(7);
    Square(gl);
    control->Paint();
    ASSERT_EQ(builds, 1);
    const int frames = control->host.FrameCount();

    D3DLoseDevices();
    D3DResetCounters();
    control->Paint();
    EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], 1);
    EXPECT_EQ(D3DCounters().texturesCreated, 2);  // every texture made again
    EXPECT_EQ(builds, 2);                          // the buffers were built again
    EXPECT_EQ(control->host.FrameCount(), frames + 1);  // the lost frame never showed
    EXPECT_TRUE(sink.messages.empty());
    ExpectColor(control->host.Pixel(24, 24), 255, 0, 0, 24, 24);
    ExpectColor(control->host.Pixel(39, 39), 255, 255, 255, 39, 39);
    EXPECT_EQ(control->host.Pixel(2, 2), kBackground);

    // A paint with nothing lost recreates nothing.
    D3DResetCounters();
    control->Paint();
    EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], 0);
    EXPECT_EQ(builds, 2);
}

TEST_F(Render, FailedPresentOfAFrameRecovers)
{
    OpenWithLayer(32, 32);
    control->Paint();
    D3DFailNext(TD3DFailPoint::Present, 1);
    D3DResetCounters();
    const int frames = control->host.FrameCount();
    control->Paint();
    EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], 1);
    EXPECT_EQ(control->host.FrameCount(), frames + 1);
}

TEST_F(Render, RecoveryFallsBackToTheReferenceRasterizer)
{
    OpenWithLayer(32, 32);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(8, *Plain(clLime)));
    gl.LoadIdentity();
    gl.SetTexture(8);
    Square(gl);
    control->Paint();
    D3DLoseDevices();
    D3DFailNext(TD3DFailPoint::CreateDevice, 1, D3DDEVTYPE_HAL);
    control->Paint();
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "Hardware Mode no availible...Trying software mode");
    D3DDEVICE_CREATION_PARAMETERS cp{};
    D3DDevice->GetCreationParameters(&cp);
    EXPECT_EQ(cp.DeviceType, D3DDEVTYPE_REF);
    ExpectColor(control->host.Pixel(16, 16), 0, 255, 0, 16, 16);
}

TEST_F(Render, ResizeRecreatesTheDeviceReloadsEveryTextureAndDraws)
{
    OpenWithLayer(64, 64);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(7, *Quadrants()));
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(8, *Plain(clWhite)));
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(5001, *Plain(clBlue, 16)));
    gl.LoadIdentity();
    gl.SetTexture(7);
    Square(gl);
    control->Paint();
    int resized = 0;
    control->OnResize = [&, hook = control->OnResize](TControl* s) {
        ++resized;
        hook(s);
    };

    D3DResetCounters();
    control->SetBounds(0, 0, 128, 64);
    EXPECT_EQ(resized, 1);
    EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], 1);
    EXPECT_EQ(D3DCounters().texturesCreated, 3);
    EXPECT_EQ(control->host.FrameWidth(), 128);
    EXPECT_EQ(control->host.FrameHeight(), 64);
    // The wider view keeps the height: the square is as tall and as wide as before, centred.
    ExpectColor(control->host.Pixel(56, 24), 255, 0, 0, 56, 24);
    ExpectColor(control->host.Pixel(71, 39), 255, 255, 255, 71, 39);
    EXPECT_EQ(control->host.Pixel(40, 32), kBackground);
    EXPECT_EQ(builds, 2);

    // A resize to nothing keeps the last projection and does not fail.
    control->SetBounds(0, 0, 0, 0);
    EXPECT_EQ(sink.messages.size(), 0u);
}
