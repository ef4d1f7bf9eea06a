// What the software device draws, checked pixel by pixel on small frames.
#include <array>
#include <cmath>
#include <limits>
#include <random>

#include "device_fixture.h"
#include "platform/d3dx/d3dx8math.h"

namespace {

using Rasterizer = DeviceTest;

int CountColour(const std::vector<uint32_t>& frame, uint32_t c)
{
    return int(std::count(frame.begin(), frame.end(), c));
}

TEST_F(Rasterizer, CoverageFollowsTheTopLeftRuleAndTheClipPlanes)
{
    struct Case {
        const char* name;
        int w, h;
        bool clipSpace;  // corners in clip coordinates rather than pixels
        std::vector<std::array<float, 3>> corners;
        int x0, x1, y0, y1;  // the white pixels: [x0, x1) x [y0, y1)
    };
    const Case cases[] = {
        {"corners on pixel boundaries",
         16,
         12,
         false,
         {{2, 3, .5f}, {10, 3, .5f}, {10, 8, .5f}, {2, 3, .5f}, {10, 8, .5f}, {2, 8, .5f}},
         2,
         10,
         3,
         8},
        // Edges through pixel centres: centres on the left and top edges are in, on the right and bottom edges out.
        {"edges through centres",
         8,
         8,
         false,
         {{2.5f, 1.5f, .5f},
          {5.5f, 1.5f, .5f},
          {5.5f, 6.5f, .5f},
          {2.5f, 1.5f, .5f},
          {5.5f, 6.5f, .5f},
          {2.5f, 6.5f, .5f}},
         2,
         5,
         1,
         6},
        // Clip-space z from -1 on the left to +1: the part in front of the near plane is cut away.
        {"near plane",
         16,
         16,
         false,
         {{0, 0, -1}, {16, 0, 1}, {16, 16, 1}, {0, 0, -1}, {16, 16, 1}, {0, 16, -1}},
         8,
         16,
         0,
         16},
        {"half beyond the far plane",
         16,
         16,
         false,
         {{0, 0, 0}, {16, 0, 2}, {16, 16, 2}, {0, 0, 0}, {16, 16, 2}, {0, 16, 0}},
         0,
         8,
         0,
         16},
        {"beyond the far plane", 16, 16, false, {{0, 0, 1.5f}, {16, 0, 1.5f}, {0, 16, 1.5f}}, 0, 0, 0, 0},
        // Vertices far outside the screen still give the visible part exactly.
        {"far outside", 16, 16, true, {{-1000, -1000, .5f}, {1000, 0, .5f}, {-1000, 1000, .5f}}, 0, 16, 0, 16},
        // Corners far beyond the guard band: clipping leaves the view exactly covered.
        {"huge", 16, 16, true, {{-1e7f, -1e7f, .5f}, {1e7f, -1e7f, .5f}, {0, 1e7f, .5f}}, 0, 16, 0, 16},
    };
    for (const auto& c : cases) {
        Open(c.w, c.h);
        std::vector<TVertex> v;
        for (auto [x, y, z] : c.corners) v.push_back(c.clipSpace ? TVertex{x, y, z, kWhite, 0, 0} : P(x, y, z));
        Render(v);
        EXPECT_EQ(
            Differences([&](int x, int y) { return x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1 ? kWhite : kBlack; }),
            "")
            << c.name;
    }
}

TEST_F(Rasterizer, TrianglesSharingEdgesDrawEveryPixelOnce)
{
    // A fan around an inner point to points along the frame's border, edges
    // at many slopes, some through pixel centres; then a grid of jittered
    // points, two triangles per cell. One triangle per frame.
    const std::vector<std::pair<float, float>> rim = {{0, 0},  {7.5f, 0},   {20, 0},  {33.25f, 0}, {40, 0},
                                                      {40, 9}, {40, 22.5f}, {40, 30}, {27.5f, 30}, {13, 30},
                                                      {0, 30}, {0, 17.5f},  {0, 6}};
    std::vector<std::array<std::pair<float, float>, 3>> fan, mesh;
    for (size_t i = 0; i < rim.size(); ++i) fan.push_back({{{17.5f, 13.5f}, rim[i], rim[(i + 1) % rim.size()]}});
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> jitter(-3.0f, 3.0f);
    const int nx = 5, ny = 4;
    std::vector<std::pair<float, float>> pt;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i)
            pt.push_back({i * 64.0f / nx + (i > 0 && i < nx ? jitter(rng) : 0),
                          j * 48.0f / ny + (j > 0 && j < ny ? jitter(rng) : 0)});
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 1, d = c + 1;
            mesh.push_back({pt[a], pt[b], pt[d]});
            mesh.push_back({pt[a], pt[d], pt[c]});
        }
    for (auto [w, h, triangles] : {std::tuple{40, 30, &fan}, {64, 48, &mesh}}) {
        Open(w, h);
        std::vector<int> count(size_t(w * h), 0);
        for (const auto& t : *triangles) {
            const auto& frame =
                Render({P(t[0].first, t[0].second), P(t[1].first, t[1].second), P(t[2].first, t[2].second)});
            for (size_t k = 0; k < count.size(); ++k) count[k] += frame[k] == kWhite;
        }
        for (size_t k = 0; k < count.size(); ++k) EXPECT_EQ(count[k], 1) << k % w << "," << k / w;
    }
}

TEST_F(Rasterizer, DepthTestKeepsTheNearerSurfaceWhateverTheOrder)
{
    Open(16, 16);
    const std::vector<TVertex> nearRed = {P(0, 0, 0.3f, kRed), P(16, 0, 0.3f, kRed), P(0, 16, 0.3f, kRed)},
                               farGreen = {P(0, 0, 0.6f, kGreen), P(16, 0, 0.6f, kGreen), P(16, 16, 0.6f, kGreen)};
    // Red where both cover (red is nearer) and where only red does, green where only green does.
    for (const auto& order : {std::vector{nearRed, farGreen}, std::vector{farGreen, nearRed}}) {
        Render({order[0], order[1]});
        EXPECT_EQ((std::tuple{At(3, 1), At(14, 10), At(1, 13)}), (std::tuple{kRed, kGreen, kRed}));
    }
    // Equal depth passes (less or equal): the later one wins.
    Render({{P(0, 0, 0.5f, kRed), P(16, 0, 0.5f, kRed), P(0, 16, 0.5f, kRed)},
            {P(0, 0, 0.5f, kBlue), P(16, 0, 0.5f, kBlue), P(0, 16, 0.5f, kBlue)}});
    EXPECT_EQ(At(3, 3), kBlue);
    // Without the depth test the last drawn wins.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Render({nearRed, farGreen});
    EXPECT_EQ(At(3, 1), kGreen);

    // Depth is interpolated: a slanted red surface from depth 0 (left) to 1
    // (right) under a green one at 0.5 shows green where red lies behind.
    Open(32, 8);
    auto quad = [&](float z0, float z1, uint32_t c) {
        return std::vector<TVertex>{P(0, 0, z0, c), P(32, 0, z1, c), P(32, 8, z1, c),
                                    P(0, 0, z0, c), P(32, 8, z1, c), P(0, 8, z0, c)};
    };
    Render({quad(0, 1, kRed), quad(0.5f, 0.5f, kGreen)});
    EXPECT_EQ(Differences([](int x, int) { return x < 16 ? kRed : kGreen; }), "");
}

TEST_F(Rasterizer, CullingByScreenWindingAndDegenerateTriangles)
{
    Open(8, 8);
    // Clockwise on the screen (y grows downwards): right, then down-left.
    const std::vector<TVertex> cw = {P(0, 0), P(8, 0), P(0, 8)}, ccw = {P(0, 0), P(0, 8), P(8, 0)};
    for (auto [cull, drawn] : {std::tuple{D3DCULL_CCW, "cw"}, {D3DCULL_CW, "ccw"}, {D3DCULL_NONE, "cw ccw"}}) {
        device->SetRenderState(D3DRS_CULLMODE, cull);
        std::string shown;
        for (auto [winding, v] : {std::pair{"cw", &cw}, {"ccw", &ccw}})
            if (Render(*v)[1 * 8 + 1] == kWhite) shown += shown.empty() ? winding : std::string(" ") + winding;
        EXPECT_EQ(shown, drawn) << cull;
        EXPECT_EQ(CountColour(Render({P(0, 0), P(4, 4), P(8, 8)}), kWhite), 0) << cull;  // degenerate: nothing
    }
}

TEST_F(Rasterizer, WireframeDrawsTheEdgesOnly)
{
    Open(16, 16);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    // A right triangle with its corners on pixel centres: three edges of 11
    // pixels each, sharing their three corners.
    Render({P(2.5f, 2.5f), P(12.5f, 2.5f), P(2.5f, 12.5f)});
    EXPECT_EQ(Differences([](int x, int y) {
                  const bool edge = (y == 2 && x >= 2 && x <= 12) || (x == 2 && y >= 2 && y <= 12) ||
                                    (x + y == 14 && x >= 2 && x <= 12);
                  return edge ? kWhite : kBlack;
              }),
              "");
    // A quad's diagonal edges are drawn as well (each triangle is outlined).
    Render({P(2.5f, 2.5f), P(12.5f, 2.5f), P(12.5f, 12.5f), P(2.5f, 2.5f), P(12.5f, 12.5f), P(2.5f, 12.5f)});
    EXPECT_EQ((std::tuple{At(5, 5), At(12, 7), At(8, 4)}), (std::tuple{kWhite, kWhite, kBlack}));
}

TEST_F(Rasterizer, VertexColoursAreInterpolated)
{
    Open(16, 4);
    Render({P(0, 0, 0.5f, kRed), P(16, 0, 0.5f, kBlue), P(16, 4, 0.5f, kBlue), P(0, 0, 0.5f, kRed),
            P(16, 4, 0.5f, kBlue), P(0, 4, 0.5f, kRed)});
    // Pixel centre x + 0.5 of 16: red falls from 255 to 0 while blue rises.
    for (int x = 0; x < 16; ++x) {
        const uint32_t p = At(x, 2);
        const float t = (x + 0.5f) / 16.0f;
        EXPECT_NEAR(int((p >> 16) & 255), 255 * (1 - t), 1.0) << x;
        EXPECT_NEAR(int(p & 255), 255 * t, 1.0) << x;
        EXPECT_EQ((p >> 8) & 255, 0u);
    }
}

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
            const uint32_t c = texel(x, y), r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
            const uint16_t p565 = uint16_t((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
            const uint16_t p1555 = uint16_t(0x8000 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
            if (fmt == D3DFMT_R5G6B5) std::memcpy(row + 2 * x, &p565, 2);
            if (fmt == D3DFMT_A1R5G5B5) std::memcpy(row + 2 * x, &p1555, 2);
            if (fmt == D3DFMT_R8G8B8) std::memcpy(row + 3 * x, &c, 3);
            if (fmt == D3DFMT_A8R8G8B8) std::memcpy(row + 4 * x, &c, 4);
        }
    }
    EXPECT_EQ(t->UnlockRect(0), D3D_OK);
    return t;
}

std::vector<TVertex> Quad(const DeviceTest& t, float x1, float y1, float u0, float u1, uint32_t colour = kWhite)
{
    return {t.P(0, 0, 0.5f, colour, u0, 0), t.P(x1, 0, 0.5f, colour, u1, 0),  t.P(x1, y1, 0.5f, colour, u1, 1),
            t.P(0, 0, 0.5f, colour, u0, 0), t.P(x1, y1, 0.5f, colour, u1, 1), t.P(0, y1, 0.5f, colour, u0, 1)};
}

TEST_F(Rasterizer, TexturesInEveryFormatWrapFilterAndModulate)
{
    Open(8, 8);
    const uint32_t quadrant[4] = {kRed, kGreen, kBlue, kWhite};
    for (D3DFORMAT fmt : {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_R8G8B8, D3DFMT_A8R8G8B8}) {
        auto tex = MakeTexture(device.Get(), 2, 2, fmt, [&](int x, int y) { return quadrant[y * 2 + x]; });
        device->SetTexture(0, tex.Get());
        Render(Quad(*this, 8, 8, 0, 1));
        EXPECT_EQ((std::tuple{At(1, 1), At(6, 1), At(1, 6), At(6, 6)}), (std::tuple{kRed, kGreen, kBlue, kWhite}))
            << fmt;
    }
    // Texture colour times diffuse colour; without a texture the diffuse colour alone.
    auto grey = MakeTexture(device.Get(), 1, 1, D3DFMT_A8R8G8B8, [](int, int) { return 0xFF808080u; });
    device->SetTexture(0, grey.Get());
    Render(Quad(*this, 8, 8, 0, 1, 0xFFFF8000u));
    EXPECT_EQ(At(4, 4), 0xFF804000u);
    device->SetTexture(0, nullptr);
    Render(Quad(*this, 8, 8, 0, 1, 0xFF123456u));
    EXPECT_EQ(At(4, 4), 0xFF123456u);

    // u from -1 to 1 across 8 pixels: two repetitions of red, green.
    Open(8, 2);
    auto redGreen = MakeTexture(device.Get(), 2, 1, D3DFMT_A8R8G8B8, [](int x, int) { return x ? kGreen : kRed; });
    device->SetTexture(0, redGreen.Get());
    Render(Quad(*this, 8, 2, -1, 1));
    EXPECT_EQ(Differences([](int x, int) { return (x / 2) % 2 ? kGreen : kRed; }), "");

    // Linear filtering: texel centres at u = 0.25 (black) and 0.75 (white);
    // between them a ramp, beyond them the wrap blends back towards the other texel.
    Open(8, 1);
    auto blackWhite =
        MakeTexture(device.Get(), 2, 1, D3DFMT_A8R8G8B8, [](int x, int) { return x ? 0xFFFFFFFFu : kBlack; });
    device->SetTexture(0, blackWhite.Get());
    device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    Render(Quad(*this, 8, 1, 0, 1));
    // u = 0.1875, 0.4375, 0.5625, 0.6875
    for (auto [x, level] : {std::pair{1, 32}, {3, 96}, {4, 159}, {5, 223}})
        EXPECT_NEAR(int(At(x, 0) & 255), level, 2) << x;
}

TEST_F(Rasterizer, TextureCoordinatesArePerspectiveCorrect)
{
    Open(64, 4);
    // A 256-texel ramp: the red channel of a point-sampled texel tells u.
    auto ramp = MakeTexture(device.Get(), 256, 1, D3DFMT_A8R8G8B8, [](int x, int) { return 0xFF000000u | x << 16; });
    device->SetTexture(0, ramp.Get());
    // w = 1 on the left, w = 4 on the right: a projection that copies z into w
    // (positions pre-multiplied by w), z := 0.5 before the divide.
    D3DXMATRIX proj;
    D3DXMatrixIdentity(&proj);
    proj._33 = 0.0f;
    proj._34 = 1.0f;
    proj._43 = 0.5f;
    proj._44 = 0.0f;
    device->SetTransform(D3DTS_PROJECTION, &proj);
    auto v = [&](float px, float py, float w, float u) {
        const TVertex p = P(px, py);
        return TVertex{p.x * w, p.y * w, w, kWhite, u, 0.0f};
    };
    Render({v(0, 0, 1, 0), v(64, 0, 4, 1), v(64, 4, 4, 1), v(0, 0, 1, 0), v(64, 4, 4, 1), v(0, 4, 1, 0)});
    for (int x = 0; x < 64; x += 7) {
        const float t = (x + 0.5f) / 64.0f, u = (t / 4) / ((1 - t) + t / 4);
        EXPECT_NEAR(int((At(x, 2) >> 16) & 255), std::min(255, int(u * 256)), 1) << x;
        if (x > 8 && x < 56) {
            EXPECT_GT(std::fabs(t - u) * 256, 4.0f) << x;  // differs from an affine mapping
        }
    }
}

TEST_F(Rasterizer, GeometryBehindTheEyeIsClippedNotMirrored)
{
    Open(32, 32);
    D3DXMATRIX proj;
    D3DXMatrixPerspectiveFovLH(&proj, 3.14159265f / 2, 1.0f, 0.1f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    // A floor triangle below the eye, from far ahead to far behind it: it
    // fills the bottom of the view and nothing above the horizon.
    const auto& f = Render({{-20, -1, -10, kWhite, 0, 0}, {0, -1, 50, kWhite, 0, 0}, {20, -1, -10, kWhite, 0, 0}});
    for (int x = 0; x < 32; ++x) {
        EXPECT_EQ(At(x, 31), kWhite) << x;
        for (int y = 0; y < 16; ++y) EXPECT_EQ(At(x, y), kBlack) << x << "," << y;
    }
    EXPECT_GT(CountColour(f, kWhite), 200);
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
    std::vector<uint32_t> frames[4];
    for (int i = 0; i < 4; ++i) {
        if (i == 2) device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
        D3DSetRenderThreads(std::array{1, 4, 7, 1}[size_t(i)]);
        frames[i] = Render(v);
    }
    EXPECT_EQ(D3DRenderThreads(), 1);
    EXPECT_TRUE(frames[0] == frames[1]);
    EXPECT_TRUE(frames[2] == frames[3]);
    EXPECT_GT(CountColour(frames[0], kBlack), 0);
    EXPECT_LT(CountColour(frames[0], kBlack), 301 * 203 / 2);
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
    auto tex = MakeTexture(device.Get(), 16, 8, D3DFMT_A8R8G8B8, [](int x, int y) {
        return 0xFF000000u | uint32_t(x * 15) << 16 | uint32_t(y * 31) << 8 | uint32_t((x ^ y) * 16);
    });
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
    const float values[] = {0.0f,   0.5f, -0.5f, 1.0f, -1.0f,  1e30f, -1e30f, 3e38f,
                            -3e38f, inf,  -inf,  nan,  1e-40f, 7.0f,  -7.0f};
    std::mt19937 rng(21);
    auto pick = [&] { return values[rng() % (sizeof values / sizeof values[0])]; };
    std::vector<TVertex> v;
    for (int i = 0; i < 3000; ++i) v.push_back({pick(), pick(), pick(), uint32_t(rng()), pick(), pick()});
    auto tex = MakeTexture(device.Get(), 3, 5, D3DFMT_A8R8G8B8,
                           [](int x, int y) { return 0xFF000000u | uint32_t(x * 40 + y); });
    device->SetTexture(0, tex.Get());
    for (DWORD fill : {DWORD(D3DFILL_SOLID), DWORD(D3DFILL_WIREFRAME)})
        for (DWORD filter : {DWORD(D3DTEXF_POINT), DWORD(D3DTEXF_LINEAR)}) {
            device->SetRenderState(D3DRS_FILLMODE, fill);
            device->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
            device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
            Render(v);
            D3DXMATRIX m;  // hostile matrices as well
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

}  // namespace
