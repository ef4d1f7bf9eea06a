// What the software device draws, checked pixel by pixel on small frames.
#include <cmath>
#include <limits>
#include <random>

#include "device_fixture.h"
#include "platform/d3dx/d3dx8math.h"

namespace {

using Rasterizer = DeviceTest;

int CountColour(const std::vector<uint32_t>& frame, uint32_t c)
{
    int n = 0;
    for (uint32_t p : frame) n += p == c;
    return n;
}

}  // namespace

TEST_F(Rasterizer, AxisAlignedRectangleCoversExactlyItsPixels)
{
    Open(16, 12);
    // Corners on pixel boundaries: pixels 2..9 by 3..7 are covered.
    auto f = Render({P(2, 3), P(10, 3), P(10, 8), P(2, 3), P(10, 8), P(2, 8)});
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool in = x >= 2 && x < 10 && y >= 3 && y < 8;
            EXPECT_EQ(At(x, y), in ? kWhite : kBlack) << x << "," << y;
        }
    EXPECT_EQ(CountColour(f, kWhite), 8 * 5);
}

TEST_F(Rasterizer, PixelCentresOnEdgesFollowTheTopLeftRule)
{
    Open(8, 8);
    // Edges through pixel centres: x = 2.5 (left edge) and x = 5.5 (right edge),
    // y = 1.5 (top) and y = 6.5 (bottom). Centres on the left and top edges
    // are in, those on the right and bottom edges are out.
    Render({P(2.5f, 1.5f), P(5.5f, 1.5f), P(5.5f, 6.5f), P(2.5f, 1.5f), P(5.5f, 6.5f), P(2.5f, 6.5f)});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool in = x >= 2 && x <= 4 && y >= 1 && y <= 5;
            EXPECT_EQ(At(x, y), in ? kWhite : kBlack) << x << "," << y;
        }
}

TEST_F(Rasterizer, TrianglesSharingEdgesDrawEveryPixelOnce)
{
    Open(40, 30);
    // A fan around an inner point to points along the frame's border, so the
    // triangles tile the whole frame with edges at many slopes, some of them
    // through pixel centres.
    std::vector<std::pair<float, float>> rim = {{0, 0},  {7.5f, 0}, {20, 0},  {33.25f, 0}, {40, 0},
                                                {40, 9}, {40, 22.5f}, {40, 30}, {27.5f, 30}, {13, 30},
                                                {0, 30}, {0, 17.5f}, {0, 6}};
    const float cx = 17.5f, cy = 13.5f;
    std::vector<int> count(40 * 30, 0);
    for (size_t i = 0; i < rim.size(); ++i) {
        const auto a = rim[i], b = rim[(i + 1) % rim.size()];
        Render({P(cx, cy), P(a.first, a.second), P(b.first, b.second)});
        for (int k = 0; k < 40 * 30; ++k) count[k] += host->Frame()[k] == kWhite;
    }
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) EXPECT_EQ(count[y * 40 + x], 1) << x << "," << y;
}

TEST_F(Rasterizer, RandomMeshOfSharedEdgesLeavesNoGapAndNoOverlap)
{
    Open(64, 48);
    // A grid of jittered points, two triangles per cell, drawn one triangle per frame.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> jitter(-3.0f, 3.0f);
    const int nx = 5, ny = 4;
    std::vector<std::pair<float, float>> pt;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) {
            float x = i * 64.0f / nx, y = j * 48.0f / ny;
            if (i > 0 && i < nx) x += jitter(rng);
            if (j > 0 && j < ny) y += jitter(rng);
            pt.push_back({x, y});
        }
    std::vector<int> count(64 * 48, 0);
    auto tri = [&](int a, int b, int c) {
        Render({P(pt[a].first, pt[a].second), P(pt[b].first, pt[b].second), P(pt[c].first, pt[c].second)});
        for (int k = 0; k < 64 * 48; ++k) count[k] += host->Frame()[k] == kWhite;
    };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 1, d = c + 1;
            tri(a, b, d);
            tri(a, d, c);
        }
    for (int k = 0; k < 64 * 48; ++k) EXPECT_EQ(count[k], 1) << k % 64 << "," << k / 64;
}

TEST_F(Rasterizer, DepthTestKeepsTheNearerSurfaceWhateverTheOrder)
{
    Open(16, 16);
    const std::vector<TVertex> nearRed = {P(0, 0, 0.3f, kRed), P(16, 0, 0.3f, kRed), P(0, 16, 0.3f, kRed)};
    const std::vector<TVertex> farGreen = {P(0, 0, 0.6f, kGreen), P(16, 0, 0.6f, kGreen), P(16, 16, 0.6f, kGreen)};
    Clear();
    Draw(nearRed);
    Draw(farGreen);
    Present();
    EXPECT_EQ(At(3, 1), kRed);     // both cover it; red is nearer
    EXPECT_EQ(At(14, 10), kGreen); // only green
    EXPECT_EQ(At(1, 13), kRed);    // only red
    Clear();
    Draw(farGreen);
    Draw(nearRed);
    Present();
    EXPECT_EQ(At(3, 1), kRed);
    EXPECT_EQ(At(14, 10), kGreen);

    // Equal depth passes (less or equal): the later one wins.
    Clear();
    Draw({P(0, 0, 0.5f, kRed), P(16, 0, 0.5f, kRed), P(0, 16, 0.5f, kRed)});
    Draw({P(0, 0, 0.5f, kBlue), P(16, 0, 0.5f, kBlue), P(0, 16, 0.5f, kBlue)});
    Present();
    EXPECT_EQ(At(3, 3), kBlue);

    // Without the depth test the last drawn wins.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Clear();
    Draw(nearRed);
    Draw(farGreen);
    Present();
    EXPECT_EQ(At(3, 1), kGreen);
}

TEST_F(Rasterizer, DepthIsInterpolatedAcrossATriangle)
{
    Open(32, 8);
    // A slanted red surface from depth 0 (left) to 1 (right), then a green
    // one at constant depth 0.5: green shows only where red lies behind it.
    Clear();
    Draw({P(0, 0, 0.0f, kRed), P(32, 0, 1.0f, kRed), P(32, 8, 1.0f, kRed), P(0, 0, 0.0f, kRed),
          P(32, 8, 1.0f, kRed), P(0, 8, 0.0f, kRed)});
    Draw({P(0, 0, 0.5f, kGreen), P(32, 0, 0.5f, kGreen), P(32, 8, 0.5f, kGreen), P(0, 0, 0.5f, kGreen),
          P(32, 8, 0.5f, kGreen), P(0, 8, 0.5f, kGreen)});
    Present();
    for (int x = 0; x < 32; ++x) EXPECT_EQ(At(x, 4), x < 16 ? kRed : kGreen) << x;
}

TEST_F(Rasterizer, CullingByScreenWinding)
{
    Open(8, 8);
    // Clockwise on the screen (y grows downwards): right, then down-left.
    const std::vector<TVertex> cw = {P(0, 0), P(8, 0), P(0, 8)};
    const std::vector<TVertex> ccw = {P(0, 0), P(0, 8), P(8, 0)};
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    Render(cw);
    EXPECT_EQ(At(1, 1), kWhite);
    Render(ccw);
    EXPECT_EQ(At(1, 1), kBlack);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    Render(cw);
    EXPECT_EQ(At(1, 1), kBlack);
    Render(ccw);
    EXPECT_EQ(At(1, 1), kWhite);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Render(ccw);
    EXPECT_EQ(At(1, 1), kWhite);
    // Degenerate triangles draw nothing in any mode.
    auto f = Render({P(0, 0), P(4, 4), P(8, 8)});
    EXPECT_EQ(CountColour(f, kWhite), 0);
}

TEST_F(Rasterizer, WireframeDrawsTheEdgesOnly)
{
    Open(16, 16);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    // A right triangle with its corners on pixel centres.
    Render({P(2.5f, 2.5f), P(12.5f, 2.5f), P(2.5f, 12.5f)});
    for (int x = 2; x <= 12; ++x) EXPECT_EQ(At(x, 2), kWhite) << x;  // top edge
    for (int y = 2; y <= 12; ++y) EXPECT_EQ(At(2, y), kWhite) << y;  // left edge
    for (int x = 2; x <= 12; ++x) EXPECT_EQ(At(x, 14 - x), kWhite) << x;  // the diagonal
    EXPECT_EQ(At(4, 4), kBlack);  // inside
    EXPECT_EQ(At(6, 6), kBlack);
    EXPECT_EQ(At(13, 2), kBlack);
    auto f = host->Frame();
    // Three edges of 11 pixels each, sharing their three corners.
    EXPECT_EQ(CountColour(f, kWhite), 30);

    // A quad's diagonal edges are drawn as well (each triangle is outlined).
    Render({P(2.5f, 2.5f), P(12.5f, 2.5f), P(12.5f, 12.5f), P(2.5f, 2.5f), P(12.5f, 12.5f), P(2.5f, 12.5f)});
    EXPECT_EQ(At(5, 5), kWhite);
    EXPECT_EQ(At(12, 7), kWhite);
    EXPECT_EQ(At(8, 4), kBlack);
}

TEST_F(Rasterizer, VertexColoursAreInterpolated)
{
    Open(16, 4);
    Render({P(0, 0, 0.5f, kRed), P(16, 0, 0.5f, kBlue), P(16, 4, 0.5f, kBlue), P(0, 0, 0.5f, kRed),
            P(16, 4, 0.5f, kBlue), P(0, 4, 0.5f, kRed)});
    // Pixel centre x + 0.5 of 16: red falls from 255 to 0 while blue rises.
    for (int x = 0; x < 16; ++x) {
        const uint32_t p = At(x, 2);
        const int r = int((p >> 16) & 255), b = int(p & 255);
        const float t = (x + 0.5f) / 16.0f;
        EXPECT_NEAR(r, 255 * (1 - t), 1.0) << x;
        EXPECT_NEAR(b, 255 * t, 1.0) << x;
        EXPECT_EQ((p >> 8) & 255, 0u);
    }
}

namespace {

// A texture filled from a function of (x, y) returning 0xAARRGGBB.
template <class F>
TComRef<IDirect3DTexture8> MakeTexture(IDirect3DDevice8* dev, int w, int h, D3DFORMAT fmt, F texel)
{
    TComRef<IDirect3DTexture8> t;
    EXPECT_EQ(dev->CreateTexture(w, h, 1, 0, fmt, D3DPOOL_MANAGED, t.Put()), D3D_OK);
    D3DLOCKED_RECT lr{};
    EXPECT_EQ(t->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch;
        for (int x = 0; x < w; ++x) {
            const uint32_t c = texel(x, y);
            const uint32_t r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
            switch (fmt) {
            case D3DFMT_R5G6B5: {
                const uint16_t p = uint16_t((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
                std::memcpy(row + 2 * x, &p, 2);
                break;
            }
            case D3DFMT_A1R5G5B5: {
                const uint16_t p = uint16_t(0x8000 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
                std::memcpy(row + 2 * x, &p, 2);
                break;
            }
            case D3DFMT_R8G8B8:
                row[3 * x] = uint8_t(b);
                row[3 * x + 1] = uint8_t(g);
                row[3 * x + 2] = uint8_t(r);
                break;
            default: std::memcpy(row + 4 * x, &c, 4); break;
            }
        }
    }
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    return t;
}

std::vector<TVertex> Quad(const DeviceTest& t, float x0, float y0, float x1, float y1, float u0, float v0, float u1,
                          float v1, uint32_t colour = kWhite)
{
    return {t.P(x0, y0, 0.5f, colour, u0, v0), t.P(x1, y0, 0.5f, colour, u1, v0), t.P(x1, y1, 0.5f, colour, u1, v1),
            t.P(x0, y0, 0.5f, colour, u0, v0), t.P(x1, y1, 0.5f, colour, u1, v1), t.P(x0, y1, 0.5f, colour, u0, v1)};
}

}  // namespace

TEST_F(Rasterizer, PointSamplingInEveryTextureFormat)
{
    Open(8, 8);
    const uint32_t quadrant[4] = {kRed, kGreen, kBlue, kWhite};
    for (D3DFORMAT fmt : {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_R8G8B8, D3DFMT_A8R8G8B8}) {
        auto tex = MakeTexture(device.Get(), 2, 2, fmt, [&](int x, int y) { return quadrant[y * 2 + x]; });
        device->SetTexture(0, tex.Get());
        Render(Quad(*this, 0, 0, 8, 8, 0, 0, 1, 1));
        EXPECT_EQ(At(1, 1), kRed) << fmt;
        EXPECT_EQ(At(6, 1), kGreen) << fmt;
        EXPECT_EQ(At(1, 6), kBlue) << fmt;
        EXPECT_EQ(At(6, 6), kWhite) << fmt;
    }
    // Texture colour times diffuse colour.
    auto white = MakeTexture(device.Get(), 1, 1, D3DFMT_A8R8G8B8, [](int, int) { return 0xFF808080u; });
    device->SetTexture(0, white.Get());
    Render(Quad(*this, 0, 0, 8, 8, 0, 0, 1, 1, 0xFFFF8000u));
    EXPECT_EQ(At(4, 4), 0xFF804000u);
    // No texture: the diffuse colour alone.
    device->SetTexture(0, nullptr);
    Render(Quad(*this, 0, 0, 8, 8, 0, 0, 1, 1, 0xFF123456u));
    EXPECT_EQ(At(4, 4), 0xFF123456u);
}

TEST_F(Rasterizer, TextureCoordinatesWrap)
{
    Open(8, 2);
    auto tex = MakeTexture(device.Get(), 2, 1, D3DFMT_A8R8G8B8, [](int x, int) { return x ? kGreen : kRed; });
    device->SetTexture(0, tex.Get());
    // u from -1 to 1 across 8 pixels: two repetitions of red, green.
    Render(Quad(*this, 0, 0, 8, 2, -1, 0, 1, 1));
    const uint32_t want[8] = {kRed, kRed, kGreen, kGreen, kRed, kRed, kGreen, kGreen};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(At(x, 0), want[x]) << x;
}

TEST_F(Rasterizer, LinearFilteringBlendsNeighbouringTexels)
{
    Open(8, 1);
    auto tex = MakeTexture(device.Get(), 2, 1, D3DFMT_A8R8G8B8, [](int x, int) { return x ? 0xFFFFFFFFu : kBlack; });
    device->SetTexture(0, tex.Get());
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    // Texel centres at u = 0.25 (black) and 0.75 (white); between them a ramp,
    // beyond them the wrap blends back towards the other texel.
    Render(Quad(*this, 0, 0, 8, 1, 0, 0, 1, 1));
    auto level = [&](int x) { return int(At(x, 0) & 255); };
    EXPECT_NEAR(level(1), 32, 2);   // u = 0.1875: between the wrapped white texel and black
    EXPECT_NEAR(level(3), 96, 2);   // u = 0.4375
    EXPECT_NEAR(level(4), 159, 2);  // u = 0.5625
    EXPECT_NEAR(level(5), 223, 2);  // u = 0.6875
    EXPECT_LT(level(3), level(4));
}

TEST_F(Rasterizer, TextureCoordinatesArePerspectiveCorrect)
{
    Open(64, 4);
    // A 256-texel ramp: the red channel of a point-sampled texel tells u.
    auto ramp = MakeTexture(device.Get(), 256, 1, D3DFMT_A8R8G8B8, [](int x, int) { return 0xFF000000u | x << 16; });
    device->SetTexture(0, ramp.Get());
    // w = 1 on the left, w = 4 on the right (positions pre-multiplied by w).
    // Clip-space positions with w come from a projection matrix that copies z into w.
    D3DXMATRIX proj;
    D3DXMatrixIdentity(&proj);
    proj._33 = 0.0f;
    proj._34 = 1.0f;  // w := z
    proj._43 = 0.5f;  // z := 0.5 (constant depth in clip units before the divide)
    proj._44 = 0.0f;
    device->SetTransform(D3DTS_PROJECTION, &proj);
    const float w0 = 1.0f, w1 = 4.0f;
    auto v = [&](float px, float py, float w, float u) {
        return TVertex{X(px) * w, Y(py) * w, w, kWhite, u, 0.0f};
    };
    Render({v(0, 0, w0, 0), v(64, 0, w1, 1), v(64, 4, w1, 1), v(0, 0, w0, 0), v(64, 4, w1, 1), v(0, 4, w0, 0)});
    for (int x = 0; x < 64; x += 7) {
        const float t = (x + 0.5f) / 64.0f;
        const float u = (t / w1) / ((1 - t) / w0 + t / w1);
        const int texel = std::min(255, int(u * 256));
        const int got = int((At(x, 2) >> 16) & 255);
        EXPECT_NEAR(got, texel, 1) << x;
        if (x > 8 && x < 56) {
            EXPECT_GT(std::fabs(t - u) * 256, 4.0f);  // differs from an affine mapping
        }
    }
}

TEST_F(Rasterizer, NearPlaneClipsATriangleThatCrossesIt)
{
    Open(16, 16);
    // Clip-space z from -1 on the left to +1 on the right (w = 1): the part
    // with z < 0 lies in front of the near plane and is cut away.
    Render({P(0, 0, -1.0f), P(16, 0, 1.0f), P(16, 16, 1.0f), P(0, 0, -1.0f), P(16, 16, 1.0f), P(0, 16, -1.0f)});
    for (int y = 0; y < 16; y += 3)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(At(x, y), x >= 8 ? kWhite : kBlack) << x << "," << y;
}

TEST_F(Rasterizer, GeometryBehindTheEyeIsClippedNotMirrored)
{
    Open(32, 32);
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, 3.14159265f / 2, 1.0f, 0.1f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    // A floor triangle below the eye, from far ahead to far behind it.
    auto f = Render({{-20, -1, -10, kWhite, 0, 0}, {0, -1, 50, kWhite, 0, 0}, {20, -1, -10, kWhite, 0, 0}});
    // It fills the bottom of the view and nothing above the horizon.
    for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(At(x, 31), kWhite) << x;
        for (int y = 0; y < 16; ++y) EXPECT_EQ(At(x, y), kBlack) << x << "," << y;
    }
    EXPECT_GT(CountColour(f, kWhite), 200);
}

TEST_F(Rasterizer, FarPlaneAndOffScreenGeometry)
{
    Open(16, 16);
    auto f = Render({P(0, 0, 1.5f), P(16, 0, 1.5f), P(0, 16, 1.5f)});
    EXPECT_EQ(CountColour(f, kWhite), 0);
    // Half beyond the far plane: the near half remains.
    Render({P(0, 0, 0.0f), P(16, 0, 2.0f), P(16, 16, 2.0f), P(0, 0, 0.0f), P(16, 16, 2.0f), P(0, 16, 0.0f)});
    EXPECT_EQ(At(2, 8), kWhite);
    EXPECT_EQ(At(13, 8), kBlack);
    // Vertices far outside the screen still give the visible part exactly.
    Render({{-1000, -1000, 0.5f, kWhite, 0, 0}, {1000, 0, 0.5f, kWhite, 0, 0}, {-1000, 1000, 0.5f, kWhite, 0, 0}});
    EXPECT_EQ(At(0, 0), kWhite);
    EXPECT_EQ(At(15, 15), kWhite);
}

TEST_F(Rasterizer, ResultsDoNotDependOnTheThreadCount)
{
    Open(301, 203);  // several tiles, ragged at the borders
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> pos(-1.3f, 1.3f), depth(0.0f, 1.0f);
    std::vector<TVertex> v;
    for (int i = 0; i < 3000; ++i) {
        const float cx = pos(rng), cy = pos(rng), z = depth(rng);
        const uint32_t c = 0xFF000000u | (rng() & 0xFFFFFF);
        for (int k = 0; k < 3; ++k)
            v.push_back({cx + pos(rng) * 0.2f, cy + pos(rng) * 0.2f, z + depth(rng) * 0.1f, c, pos(rng), pos(rng)});
    }
    auto tex = MakeTexture(device.Get(), 16, 16, D3DFMT_R5G6B5, [](int x, int y) {
        return 0xFF000000u | uint32_t(x * 16) << 16 | uint32_t(y * 16) << 8 | 0x80;
    });
    device->SetTexture(0, tex.Get());
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    D3DSetRenderThreads(1);
    const auto one = Render(v);
    D3DSetRenderThreads(4);
    const auto four = Render(v);
    D3DSetRenderThreads(7);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    const auto wireSeven = Render(v);
    D3DSetRenderThreads(1);
    const auto wireOne = Render(v);
    EXPECT_TRUE(one == four);
    EXPECT_TRUE(wireOne == wireSeven);
    EXPECT_GT(CountColour(one, kBlack), 0);
    EXPECT_LT(CountColour(one, kBlack), 301 * 203 / 2);
}

TEST_F(Rasterizer, InstructionSetsDrawTheSameFrames)
{
    if (!D3DSetInstructionSet(TD3DInstructionSet::Avx2)) GTEST_SKIP() << "the processor has no AVX2";
    Open(70, 37);  // the second column of tiles is narrower than eight pixels
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> pos(-1.2f, 1.2f), depth(0.0f, 1.0f);
    std::vector<TVertex> v;
    for (int i = 0; i < 900; ++i) {
        const float scale = i % 100 == 0 ? 1e4f : 1.0f;  // some far beyond the screen
        const uint32_t c = 0xFF000000u | (rng() & 0xFFFFFF);
        for (int k = 0; k < 3; ++k) {
            const uint32_t corner = i % 2 ? 0xFF000000u | (rng() & 0xFFFFFF) : c;
            v.push_back({pos(rng) * scale, pos(rng) * scale, depth(rng), corner, pos(rng) * 3, pos(rng) * 3});
        }
    }
    auto tex = MakeTexture(device.Get(), 16, 8, D3DFMT_A8R8G8B8,
                           [](int x, int y) { return 0xFF000000u | uint32_t(x * 15) << 16 | uint32_t(y * 31) << 8 | uint32_t((x ^ y) * 16); });
    device->SetTexture(0, tex.Get());
    for (DWORD filter : {DWORD(D3DTEXF_POINT), DWORD(D3DTEXF_LINEAR)}) {
        device->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
        device->SetTextureStageState(0, D3DTSS_MINFILTER, filter);
        D3DSetInstructionSet(TD3DInstructionSet::Avx2);
        const auto wide = Render(v);
        D3DSetInstructionSet(TD3DInstructionSet::Sse2);
        EXPECT_TRUE(Render(v) == wide) << filter;
    }
}

TEST_F(Rasterizer, HostileValuesDrawWithoutHarm)
{
    Open(24, 16);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1e30f, -1e30f, 3e38f, -3e38f, inf, -inf, nan, 1e-40f, 7.0f, -7.0f};
    std::mt19937 rng(21);
    auto pick = [&] { return values[rng() % (sizeof values / sizeof values[0])]; };
    std::vector<TVertex> v;
    for (int i = 0; i < 3000; ++i) v.push_back({pick(), pick(), pick(), uint32_t(rng()), pick(), pick()});
    auto tex = MakeTexture(device.Get(), 3, 5, D3DFMT_A8R8G8B8, [](int x, int y) { return 0xFF000000u | uint32_t(x * 40 + y); });
    device->SetTexture(0, tex.Get());
    for (DWORD fill : {DWORD(D3DFILL_SOLID), DWORD(D3DFILL_WIREFRAME)})
        for (DWORD filter : {DWORD(D3DTEXF_POINT), DWORD(D3DTEXF_LINEAR)}) {
            device->SetRenderState(D3DRS_FILLMODE, fill);
            device->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
            device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
            Render(v);
            // Hostile matrices as well.
            D3DXMATRIX m;
            for (int k = 0; k < 16; ++k) (&m._11)[k] = pick();
            device->SetTransform(D3DTS_WORLD, &m);
            Render(v);
            D3DXMatrixIdentity(&m);
            device->SetTransform(D3DTS_WORLD, &m);
        }
    // A sane triangle still draws afterwards.
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetTexture(0, nullptr);
    Render({P(0, 0), P(24, 0), P(0, 16)});
    EXPECT_EQ(At(1, 1), kWhite);
}

TEST_F(Rasterizer, HugeButValidTrianglesKeepTheirVisiblePart)
{
    Open(16, 16);
    // Corners far beyond the guard band: clipping must still leave the part
    // inside the view exactly covered.
    Render({{-1e7f, -1e7f, 0.5f, kWhite, 0, 0}, {1e7f, -1e7f, 0.5f, kWhite, 0, 0}, {0.0f, 1e7f, 0.5f, kWhite, 0, 0}});
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(At(x, y), kWhite) << x << "," << y;
}
