// The 3D view: attach, camera and mouse navigation, and frames drawn through
// the texture store, the drawing layer, the vertex buffers and the device,
// read back pixel by pixel, with the recovery of a lost device.
#include <array>
#include <utility>

#include "display/viewport.h"
#include "support/view_fixture.h"

namespace {

constexpr uint32_t kBackground = 0xFF008080u;  // 0x808000 as a frame pixel

// A control whose window keeps the frames presented to it.
struct TOffscreenControl : TMemoryControl {
    TOffscreenControl(int width, int height) : host(width, height)
    {
        SetHandle(&host);
        TOffscreenControl::SetBounds(0, 0, width, height);
    }
    void SetBounds(int left, int top, int width, int height) override
    {
        host.SetClientSize(width, height);
        TMemoryControl::SetBounds(left, top, width, height);
    }
    TOffscreenHost host;
};

class Viewport : public DeviceTest {
protected:
    // The viewport as the main window sets it up, with a build callback that
    // fills buffer 0 from the drawing layer's squares of the given textures.
    void Open(int width, int height, std::vector<int32_t> textures, uint8_t green = 255)
    {
        ASSERT_TRUE(CreateDirect3D());
        CreateTextureBuffer();
        control = std::make_unique<TOffscreenControl>(width, height);
        viewport = std::make_unique<TGLViewport>();
        viewport->SetCamera(&camera);
        viewport->Attach(control.get());
        viewport->SetBackgroundColor(0x808000);
        buffers.SetCount(2);
        viewport->Buffers = &buffers;
        viewport->OnBuild = [this] {
            ++builds;
            gl.Vertices.Sort();
            gl.BuildVertexBuffer(buffers, 0);
        };
        gl.LoadIdentity();
        gl.SetColor(255, green, 0);
        for (size_t i = 0; i < textures.size(); ++i) {  // side by side, from x -1 to 1, y -1 to 1, at depth 0
            const float l = -1 + 2.0f * float(i) / float(textures.size()),
                        r = -1 + 2.0f * float(i + 1) / float(textures.size());
            gl.SetTexture(textures[i]);
            gl.Quad({l, 1, 0, 0, 0}, {r, 1, 0, 1, 0}, {r, -1, 0, 1, 1}, {l, -1, 0, 0, 1});
        }
    }
    void TearDown() override
    {
        viewport.reset();
        DeviceTest::TearDown();
    }
    void Drag(TShiftState keys, int dx, int dy)
    {
        control->MouseDown(mbRight, keys, 0, 0);
        control->MouseMove(TShiftState(keys | ssRight), dx, dy);
        control->MouseUp(mbRight, keys, dx, dy);
    }
    uint32_t Pixel(int x, int y) const { return control->host.Pixel(x, y); }

    TGLCamera camera;
    TVertexBuffer_array buffers;
    TxGL gl;
    int builds = 0;
    std::unique_ptr<TOffscreenControl> control;
    std::unique_ptr<TGLViewport> viewport;
};

std::array<float, 3> Xyz(const D3DXVECTOR3& v) { return {v.x, v.y, v.z}; }

}  // namespace

TEST_F(Viewport, AttachNavigationAndTheCamera)
{
    D3DFailNext(TD3DFailPoint::CreateDevice, 9);  // ten attempts
    Open(64, 64, {});
    D3DDEVICE_CREATION_PARAMETERS cp{};
    D3DDevice->GetCreationParameters(&cp);
    EXPECT_EQ(cp.hFocusWindow, &control->host);
    EXPECT_EQ(cp.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(ViewportRegistry[1], viewport.get());
    // The world transform is a turn of y radians about Y, then x about X.
    auto world = [](float y, float x) -> testing::AssertionResult {
        D3DXMATRIX ry, rx, m;
        D3DXMatrixRotationY(&ry, y);
        D3DXMatrixRotationX(&rx, x);
        D3DDevice->GetTransform(D3DTS_WORLD, &m);
        const D3DXMATRIX want = ry * rx;
        for (int i = 0; i < 16; ++i)
            if (std::abs(m.m[i / 4][i % 4] - want.m[i / 4][i % 4]) > 1e-5f)
                return testing::AssertionFailure() << "world matrix element [" << i / 4 << "][" << i % 4 << "] is "
                                                   << m.m[i / 4][i % 4] << ", expected " << want.m[i / 4][i % 4];
        return testing::AssertionSuccess();
    };
    Drag(0, 50, 0);  // 50 pixels a radian, on from the last release; down turns about -X
    Drag(0, 0, 50);
    EXPECT_TRUE(world(1, -1));
    viewport->FitView();
    Drag(ssShift, 50, 0);  // 50 pixels a unit (25 closer than the camera's Z); panning does not rotate
    Drag(ssShift, 0, 50);
    EXPECT_EQ(camera.GetX(), -1.0f);
    EXPECT_EQ(camera.GetY(), 1.0f);
    EXPECT_TRUE(world(0, 0));
    camera.Distance = -1;
    Drag(ssShift, 50, 0);
    control->MouseMove(TShiftState(ssRight | ssCtrl), 10, 12);  // the first move sets the zoom base; five pixels a unit
    control->MouseMove(TShiftState(ssRight | ssCtrl), 10, 17);
    EXPECT_EQ(camera.GetX(), -3.0f);
    EXPECT_EQ(camera.Distance, 0.0);
    camera.SetZ(5);  // the eye at the camera's position times 2, -Y up, the distance back along -Z
    EXPECT_EQ(Xyz(camera.Eye()), (std::array<float, 3>{-6, -2, 5}));
    EXPECT_EQ(Xyz(camera.Target()), (std::array<float, 3>{-6, -2, 0}));
    // 12 wide and 4 high: the camera over the centre at half scale, 6 units further off.
    viewport->SetSceneBounds({-2, 1, -7}, {10, 5, -3}, {0, 0, 0});
    viewport->FitView();
    EXPECT_EQ(camera.GetX(), 2.0f);
    EXPECT_EQ(camera.GetY(), 1.5f);
    EXPECT_EQ(camera.Z, 8.0f);
    Drag(ssShift, 50, 0);  // a pan starts from the fitted place
    EXPECT_EQ(camera.GetX(), 1.0f);
    const std::pair<TColor, D3DCOLOR> colours[] = {
        {0x0000FF, 0xFFFF0000}, {0x00FF00, 0xFF00FF00}, {0xAB123456, 0xFF563412}};
    for (const auto& [colour, d3d] : colours) EXPECT_EQ(ColorToD3D(colour), d3d);

    D3DFailNext(TD3DFailPoint::CreateSwapChain, 10);  // ten failures end the process
    TOffscreenControl host(32, 32);
    TGLViewport other;
    EXPECT_THROW(other.Attach(&host), EProcessEnd);
    EXPECT_EQ(sink.endCodes.size(), 1u);
    EXPECT_FALSE(D3DObject);
    EXPECT_FALSE(D3DDevice);
    ASSERT_EQ(sink.Texts(), std::vector<std::string>{"Error trying to Create DX Viewport!"});
    EXPECT_EQ(sink.messages[0].caption, "Error");
}

TEST_F(Viewport, FramesShowTheBuffersGroupByGroupAndComeBackAfterALostDevice)
{
    // Four groups in the vertex colour (255, 128, 0): a texture of four blocks
    // (red, green / blue, white), white, one not in the store (drawn with the
    // default texture) and a hidden one, each a quarter of the square from
    // pixel 17 to 46 (1 / tan(pi / 8) / 5 of the half-view).
    Open(64, 64, {1, 2, 77, HiddenTexture}, 128);
    TBitmap blocks;
    blocks.SetPixelFormat(pf24bit);
    blocks.SetSize(4, 4);
    const TColor colours[4] = {clRed, clLime, clBlue, clWhite};
    for (int i = 0; i < 16; ++i) blocks.SetPixel(i % 4, i / 4, colours[i / 8 * 2 + i % 4 / 2]);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(1, blocks));
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(2, *Solid(4, 4, pf24bit, clWhite)));
    buffers[0].DefaultTexture = 1;
    control->Paint();
    control->Paint();
    EXPECT_EQ(builds, 1);  // the first frame builds; later ones only draw
    EXPECT_EQ(Pixel(16, 32), kBackground);
    EXPECT_NE(Pixel(17, 32), kBackground);
    EXPECT_EQ(Pixel(32, 16), kBackground);
    EXPECT_NE(Pixel(32, 17), kBackground);
    EXPECT_TRUE(Colour(Pixel(18, 20), 0xFF0000));
    EXPECT_TRUE(Colour(Pixel(22, 20), 0x008000));
    EXPECT_TRUE(Colour(Pixel(18, 40), 0x000000));
    EXPECT_TRUE(Colour(Pixel(22, 40), 0xFF8000));
    EXPECT_TRUE(Colour(Pixel(28, 32), 0xFF8000));
    EXPECT_TRUE(Colour(Pixel(34, 20), 0xFF0000));
    EXPECT_EQ(Pixel(43, 32), kBackground);
    buffers[0].DefaultTexture = 55;  // neither id in the store: no texture, the vertex colour alone
    control->Paint();
    EXPECT_TRUE(Colour(Pixel(34, 20), 0xFF8000));
    EXPECT_TRUE(Colour(Pixel(18, 20), 0xFF0000));
    buffers[0].OneGroup = 1;  // one group: the whole buffer in one call with the default texture
    buffers[0].DefaultTexture = 2;
    D3DResetCounters();
    control->Paint();
    EXPECT_EQ(D3DCounters().drawCalls, 1);
    EXPECT_EQ(D3DCounters().trianglesDrawn, 8);
    EXPECT_TRUE(Colour(Pixel(18, 20), 0xFF8000));
    buffers[0].OneGroup = 0;
    buffers[0].FillMode = FillWireframe;  // one call, edges only
    D3DResetCounters();
    control->Paint();
    EXPECT_EQ(D3DCounters().drawCalls, 1);
    EXPECT_EQ(Pixel(27, 40), kBackground);
    buffers[0].FillMode = FillSolid;

    // A lost device, or a failed present, recreates device and textures and
    // builds again; the lost frame never shows. A resize does too.
    const std::pair<const char*, void (*)()> losses[] = {
        {"lost device", +[] { D3DLoseDevices(); }},
        {"failed present", +[] { D3DFailNext(TD3DFailPoint::Present, 1); }}};
    for (const auto& [name, lose] : losses) {
        SCOPED_TRACE(name);
        lose();
        D3DResetCounters();
        const int frames = control->host.FrameCount(), before = builds;
        control->Paint();
        EXPECT_EQ(D3DCounters().devicesCreated[D3DDEVTYPE_HAL], 1);
        EXPECT_EQ(D3DCounters().texturesCreated, 2);
        EXPECT_EQ(builds, before + 1);
        EXPECT_EQ(control->host.FrameCount(), frames + 1);
        EXPECT_TRUE(Colour(Pixel(18, 20), 0xFF0000));
    }
    D3DResetCounters();
    control->SetBounds(0, 0, 128, 64);  // the wider view keeps the height: the squares as before, centred
    EXPECT_EQ(D3DCounters().texturesCreated, 2);
    EXPECT_EQ(control->host.FrameWidth(), 128);
    EXPECT_TRUE(Colour(Pixel(50, 20), 0xFF0000));
    EXPECT_EQ(Pixel(48, 32), kBackground);
    EXPECT_NE(Pixel(49, 32), kBackground);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{});
    // A second view draws through its own swap chain and passes every event
    // on to the handlers its host had (a click before the release).
    TOffscreenControl second(24, 16);
    std::string calls;
    auto n = [](int v) { return std::to_string(v) + " "; };
    second.OnMouseDown = [&](TControl*, TMouseButton b, TShiftState s, int x, int y) {
        calls += "down " + n(b) + n(s) + n(x) + n(y);
    };
    second.OnMouseMove = [&](TControl*, TShiftState s, int x, int y) { calls += "move " + n(s) + n(x) + n(y); };
    second.OnMouseUp = [&](TControl*, TMouseButton b, TShiftState s, int, int) { calls += "up " + n(b) + n(s); };
    second.OnClick = [&](TControl*) { calls += "click "; };
    second.OnResize = [&](TControl*) { calls += "resize "; };
    second.OnPaint = [&](TControl*) { calls += "paint"; };
    TGLCamera otherCamera;
    TGLViewport other;
    other.SetCamera(&otherCamera);
    other.Attach(&second);
    // A resize makes the device and the buffers again.
    other.Buffers = &buffers;
    other.OnBuild = viewport->OnBuild;
    second.MouseDown(mbLeft, ssShift, 3, 4);
    second.MouseMove(TShiftState(ssShift | ssLeft), 5, 6);
    second.MouseUp(mbLeft, ssShift, 5, 6);
    second.SetBounds(0, 0, 30, 16);
    second.Paint();
    EXPECT_EQ(calls, "down 0 9 3 4 move 9 5 6 click up 0 1 resize paint");
    EXPECT_TRUE(other.SwapChain);
    EXPECT_EQ(second.host.FrameWidth(), 30);
    EXPECT_TRUE(Colour(second.host.Pixel(14, 8), 0xFF8000));
    const int frames = control->host.FrameCount();  // without the device (as during a recovery's messages) no frame
    ReleaseDirect3D();
    control->Paint();
    viewport->Rebuild();
    EXPECT_EQ(control->host.FrameCount(), frames);
}

// A buffer held in pieces is drawn as the one buffer it stands for: each
// group, and the whole buffer in one group, in as many calls as the pieces
// it lies in.
TEST_F(Viewport, ABufferInPiecesIsDrawnAsOne)
{
    Open(64, 64, {1, 2, 77, HiddenTexture}, 128);
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(1, *Solid(4, 4, pf24bit, clRed)));
    ASSERT_TRUE(TextureBuffer->AddFromBitmap(2, *Solid(4, 4, pf24bit, clWhite)));
    buffers[0].DefaultTexture = 2;
    const struct {
        uint8_t oneGroup;
        int32_t fill;
        int calls;        // with pieces of 9 vertices: 3 triangles
        uint32_t inside;  // the first square's colour (0: only its edges are drawn)
    } modes[] = {{0, FillSolid, 5, 0xFF0000}, {1, FillSolid, 3, 0xFF8000}, {0, FillWireframe, 3, 0}};
    for (const auto& m : modes) {
        buffers[0].OneGroup = m.oneGroup;
        buffers[0].FillMode = m.fill;
        gl.PieceLength = BufferPieceLength;
        viewport->Rebuild();
        const std::vector<uint32_t> frame = control->host.Frame();
        gl.PieceLength = 9;
        D3DResetCounters();
        viewport->Rebuild();
        EXPECT_EQ(buffers[0].MoreBuffers.size(), 2u);
        EXPECT_EQ(D3DCounters().drawCalls, m.calls) << int(m.oneGroup) << " " << m.fill;
        EXPECT_EQ(D3DCounters().trianglesDrawn, 8) << int(m.oneGroup) << " " << m.fill;
        EXPECT_EQ(control->host.Frame(), frame) << int(m.oneGroup) << " " << m.fill;
        if (m.inside) { EXPECT_TRUE(Colour(Pixel(18, 20), m.inside)) << int(m.oneGroup); }
    }
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{});
}
