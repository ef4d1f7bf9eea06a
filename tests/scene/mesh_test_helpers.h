// Shared by the mesh, moveable and level texture suites: levels written by
// the fixture and read back by the level reader, and the vertices a build
// left in the drawing layer.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "display/device.h"
#include "display/drawing_layer.h"
#include "display/texture_store.h"
#include "level/trlevel.h"
#include "platform/d3d8/d3d8_control.h"
#include "platform/d3d8/host_window.h"
#include "scene_fixture.h"
#include "support/level_writer.h"
#include "support/temp_dir.h"

namespace mesh_test {

// Writes the description as a level file and reads it back.
inline std::unique_ptr<Ttrlevel> LoadLevel(const TLevelDesc& desc)
{
    TempDir dir;
    const std::string name = dir.file("level" + LevelFileExtension(desc.version_code));
    SaveLevelFile(name, desc);
    auto level = std::make_unique<Ttrlevel>();
    EXPECT_EQ(level->LoadFromFile(name), LEVEL_LOADED);
    EXPECT_EQ(level->version_code, desc.version_code);
    return level;
}

// The vertices of the drawing layer in the order they were emitted (the
// list must not have been sorted or cleared since).
inline std::vector<txgl_vertex> Emitted(TxGL& gl)
{
    std::vector<txgl_vertex> out;
    for (int i = 0; i < gl.Vertices.Count(); ++i) out.push_back(*gl.Vertices.GetByIndex(i));
    return out;
}

inline ::testing::AssertionResult NearPoint(const txgl_vertex& v, double x, double y, double z, double eps = 1e-4)
{
    if (std::abs(v.x - x) <= eps && std::abs(v.y - y) <= eps && std::abs(v.z - z) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "vertex at (" << v.x << ", " << v.y << ", " << v.z << "), expected (" << x
                                         << ", " << y << ", " << z << ")";
}

// A triangle mesh whose three corners lie one view unit (at scale 0.1)
// along the view's x, y and z axes from the origin: level (1000, 0, 0),
// (0, -1000, 0) and (0, 0, -1000).
inline TMeshDesc AxisTriangle(uint16_t texture)
{
    TMeshDesc m;
    m.vertices = {{1000, 0, 0}, {0, -1000, 0}, {0, 0, -1000}};
    m.normals = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    m.textured_triangles.push_back({{0, 1, 2, 0}, texture, 0});
    return m;
}

// A square object texture of 64 pixels at (0, 0) on a tile.
inline tobject_texture SquareTexture(uint16_t tile)
{
    return MakeObjectTexture(tile, {tobject_texture_corner{1, 0, 1, 0}, {255, 63, 1, 0}, {255, 63, 255, 63}, {1, 0, 255, 63}});
}

using scene_test::TOffscreenView;

// The device on an off-screen view and the program's texture store, for
// the suites that upload textures or render.
class DeviceTest : public ::testing::Test {
protected:
    explicit DeviceTest(int w = 64, int h = 64) : view(w, h) {}

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(scene_test::StartDevice(view));
        CreateTextureBuffer();
    }
    void TearDown() override
    {
        FreeTextureBuffer();
        scene_test::StopDevice();
    }

    TOffscreenView view;
};

}  // namespace mesh_test
