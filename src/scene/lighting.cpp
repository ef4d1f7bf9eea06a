// Per-vertex room lighting: the room's ambient colour, then each enabled
// light added in one-unit rings out to its range, with hard shadows from the
// room's own triangles.
#include <algorithm>
#include <cmath>

#include "display/colour_utils.h"
#include "level/trlevel.h"
#include "scene/scene.h"

namespace {

constexpr double RING_MARGIN = 0.15;
constexpr uint16_t BLEND_REPLACE = 0xFFFF;

// Versions TR1 and TR2 (codes 1 to 3) light everything in white.
bool WhiteLightVersion(int32_t code) { return code >= 1 && code <= 3; }

// Index of the first vertex of a list in the sorted vertex list, or -1.
int32_t FirstOfList(TxGL& gl, int list)
{
    gl.Vertices.Sort();
    const int32_t i = gl.Vertices.Locate(IntToStrWidth(list, 6));
    if (i < 0 || i >= gl.Vertices.Count()) return -1;
    const txgl_vertex* v = gl.Vertices.GetByIndex(i);
    return v && v->list == list ? i : -1;
}

D3DXVECTOR3 PositionOf(const txgl_vertex& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

}  // namespace

TShadowTriangles::TShadowTriangles(TxGL& gl, int list, int32_t first)
{
    if (first < 0) return;
    const int32_t count = gl.Vertices.Count();
    for (int32_t i = first; i + 2 < count; i += 3) {
        const txgl_vertex* a = gl.Vertices.GetByIndex(i);
        const txgl_vertex* b = gl.Vertices.GetByIndex(i + 1);
        const txgl_vertex* c = gl.Vertices.GetByIndex(i + 2);
        if (!a || !b || !c || a->list != list || b->list != list || c->list != list) break;
        corners_.push_back(PositionOf(*a));
        corners_.push_back(PositionOf(*b));
        corners_.push_back(PositionOf(*c));
    }
}

bool TShadowTriangles::Blocks(const D3DXVECTOR3& light, const D3DXVECTOR3& vertex) const
{
    for (size_t i = 0; i + 2 < corners_.size(); i += 3) {
        const D3DXVECTOR3& a = corners_[i];
        const D3DXVECTOR3& b = corners_[i + 1];
        const D3DXVECTOR3& c = corners_[i + 2];
        // A triangle the vertex belongs to cannot shade it.
        if (a == vertex || b == vertex || c == vertex) continue;
        float t = 0.0f;
        if (RayHitsTriangle(light, vertex, a, b, c, t)) return true;
    }
    return false;
}

int VertexShadowed(TxGL& gl, int list, int32_t first, const D3DXVECTOR3& light, const D3DXVECTOR3& vertex)
{
    return TShadowTriangles(gl, list, first).Blocks(light, vertex) ? 0 : 1;
}

void tr_scene::LightRoom(int room, int list)
{
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    uint8_t red = uint8_t(r->ambientColor), green = uint8_t(r->ambientColor >> 8),
            blue = uint8_t(r->ambientColor >> 16);
    if (WhiteLightVersion(VersionCode())) red = green = blue = 255;
    ShadeRGB3(red, green, blue, std::max(r->ambientIntensity - Brightness, 0));

    const int32_t first = FirstOfList(GL, list);
    if (first < 0) return;
    for (int32_t i = first; i < GL.Vertices.Count(); ++i) {
        txgl_vertex* v = GL.Vertices.GetByIndex(i);
        if (!v || v->list != list) break;
        v->r = red;
        v->g = green;
        v->b = blue;
    }
    AddRoomLights(room, list);
}

void tr_scene::AddRoomLights(int room, int list)
{
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    const int32_t first = FirstOfList(GL, list);
    if (first < 0) return;
    std::vector<txgl_vertex*> vertices;
    for (int32_t i = first; i < GL.Vertices.Count(); ++i) {
        txgl_vertex* v = GL.Vertices.GetByIndex(i);
        if (!v || v->list != list) break;
        vertices.push_back(v);
    }
    const TShadowTriangles shadows(GL, list, first);
    const bool white = WhiteLightVersion(VersionCode());
    const int columns = DrawnColumns(*r), rows = DrawnRows(*r);

    const int count = std::clamp<int>(r->lightCount, 0, MAX_ROOM_LIGHTS);
    for (int n = 1; n <= count; ++n) {
        const troom_light light = r->lights[size_t(n)];
        if (!light.enabled) continue;
        if (SelectedLightOnly && n != r->selectedLight) continue;

        uint8_t lr = uint8_t(light.color), lg = uint8_t(light.color >> 8), lb = uint8_t(light.color >> 16);
        uint16_t mode = uint16_t(int16_t(light.blendMode));
        if (white) {
            lr = lg = lb = 255;
            mode = BLEND_REPLACE;
        }
        // Light levels in signed bytes, as the records hold them.
        const int8_t a = int8_t(r->ambientIntensity - Brightness);
        const int8_t intensity = light.intensity;
        int8_t hi, lo;
        if (intensity >= 0) {
            hi = int8_t(a - 1);
            lo = int8_t(hi - intensity - 1);
        } else {
            lo = hi = int8_t(a - intensity);
            mode = BLEND_REPLACE;
        }
        const int high = std::clamp<int>(hi, 0, 31), low = std::clamp<int>(lo, 0, 31);
        const int R = light.range + 1;
        // A light without range reaches no vertex.
        if (R < 1) continue;
        const double step = double(high - low) / R;

        // The light stands on the floor of its sector (clamped to the grid,
        // slot 0 included), placed as the layer places vertices.
        double floorTop = 0.0;
        if (r->sectors.ColumnSlots() > 0 && r->sectors.RowSlots() > 0) {
            const tsector& s = r->sectors[std::clamp<int>(light.column, 0, std::max(columns, 0))]
                                         [std::clamp<int>(light.row, 0, std::max(rows, 0))];
            double c[4];
            FloorCornerHeights(s, c);
            floorTop = *std::max_element(c, c + 4);
        }
        float px = float(double(r->x) + light.column - 1 + 0.5);
        float pz = float(1.0 - (double(r->z) + light.row) - 0.5);
        float py = float(-(double(r->y) + floorTop + light.height / 4.0));
        TxGL::TransformPoint(px, py, pz, GL.CurrentMatrix);
        const D3DXVECTOR3 at(px, py, pz);

        for (txgl_vertex* v : vertices) {
            const D3DXVECTOR3 p = PositionOf(*v);
            const double d = Distance3(at, p);
            if (d > R) continue;
            if (shadows.Blocks(at, p)) continue;
            // The innermost one-unit ring that holds the vertex; every ring
            // but the outermost has a small margin.
            int k = R;
            for (int j = 1; j < R; ++j)
                if (d <= j + RING_MARGIN) {
                    k = j;
                    break;
                }
            uint8_t sr = lr, sg = lg, sb = lb;
            ShadeRGB3(sr, sg, sb, int32_t(std::nearbyint(k * step + low)));
            BlendRGB(v->r, v->g, v->b, sr, sg, sb, mode);
        }
    }
}
