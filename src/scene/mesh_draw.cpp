#include "scene/mesh_draw.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "display/drawing_layer.h"
#include "level/trlevel.h"
#include "scene/mesh_list.h"

namespace {

// Vertex shades count down from 0 (brightest); older games use the range
// 0..32767 scaled to 255 levels, later ones 0..8191.
constexpr double kOldShadeDivisor = 128.498039;
constexpr double kNewShadeDivisor = 32.121568;
constexpr uint32_t kNewShadeLimit = 8191;

size_t ObjectTextureCount(const Ttrlevel& level)
{
    return std::min<size_t>(level.num_object_textures, level.object_textures.size());
}

bool HasObjectTexture(const Ttrlevel& level, int32_t index)
{
    return index >= 0 && size_t(index) < ObjectTextureCount(level);
}

// The corner bytes of an object texture, copied out of the packed record.
struct TTextureCorners {
    uint8_t x[4], y[4], dx[4], dy[4];
};

TTextureCorners CornersOf(const Ttrlevel& level, int32_t index)
{
    TTextureCorners c{};
    const tobject_texture& t = level.object_textures[size_t(index)];
    for (int k = 0; k < 4; ++k) {
        const tobject_texture_corner corner = t.corners[k];
        c.x[k] = corner.xpixel;
        c.y[k] = corner.ypixel;
        c.dx[k] = corner.xcoordinate;
        c.dy[k] = corner.ycoordinate;
    }
    return c;
}

bool IsTriangle(const TTextureCorners& c) { return (c.x[3] == 0 && c.y[3] == 0) || (c.dx[3] == 0 && c.dy[3] == 0); }

void PixelBounds(const TTextureCorners& c, int32_t& minX, int32_t& maxY, int32_t& maxX, int32_t& minY)
{
    const int used = IsTriangle(c) ? 3 : 4;
    minX = maxX = c.x[0];
    minY = maxY = c.y[0];
    for (int k = 1; k < used; ++k) {
        minX = std::min<int32_t>(minX, c.x[k]);
        maxX = std::max<int32_t>(maxX, c.x[k]);
        minY = std::min<int32_t>(minY, c.y[k]);
        maxY = std::max<int32_t>(maxY, c.y[k]);
    }
}

// The texture coordinates of the four corners.
struct TTextureUV {
    float u[4], v[4];
};

TTextureUV TextureUV(const Ttrlevel& level, int32_t index)
{
    TTextureUV uv{};
    if (!HasObjectTexture(level, index)) return uv;
    TTextureCorners c = CornersOf(level, index);
    const bool triangle = IsTriangle(c);

    bool noDirections = true;
    for (int k = 0; k < 4; ++k)
        if (c.dx[k] != 0 || c.dy[k] != 0) noDirections = false;
    if (noDirections) {
        // The rectangle the corners span, walked clockwise from its top left.
        int32_t minX, maxY, maxX, minY;
        PixelBounds(c, minX, maxY, maxX, minY);
        const int32_t xs[4] = {minX, maxX, maxX, minX};
        const int32_t ys[4] = {minY, minY, maxY, maxY};
        const uint8_t dxs[4] = {1, 255, 255, 1};
        const uint8_t dys[4] = {1, 1, 255, 255};
        for (int k = 0; k < 4; ++k) {
            c.x[k] = uint8_t(xs[k]);
            c.y[k] = uint8_t(ys[k]);
            c.dx[k] = dxs[k];
            c.dy[k] = dys[k];
        }
    }
    for (int k = 0; k < 4; ++k) {
        if (c.dx[k] == 0) c.dx[k] = 1;
        if (c.dy[k] == 0) c.dy[k] = 1;
    }
    if (level.version_code == LEVEL_TR4 || level.version_code == LEVEL_TRC) {
        // These files keep no usable directions: a corner moves inward
        // from the smallest coordinate and back from every other.
        const int used = triangle ? 3 : 4;
        uint8_t mx = 255, my = 255;
        for (int k = 0; k < used; ++k) {
            mx = std::min(mx, c.x[k]);
            my = std::min(my, c.y[k]);
        }
        for (int k = 0; k < 4; ++k) {
            c.dx[k] = c.x[k] <= mx ? 1 : 255;
            c.dy[k] = c.y[k] <= my ? 1 : 255;
        }
        if (triangle) c.dx[3] = c.dy[3] = 0;
    }
    for (int k = 0; k < 4; ++k) {
        // One pixel inward, in byte arithmetic (255 steps back).
        const uint8_t x = uint8_t(c.x[k] + c.dx[k]);
        const uint8_t y = uint8_t(c.y[k] + c.dy[k]);
        uv.u[k] = float(x / 255.0);
        uv.v[k] = float(y / 255.0);
    }
    return uv;
}

// Corner brightness 0..255 from a vertex shade.
int32_t ShadeBrightness(uint32_t shade, int32_t versionCode)
{
    int32_t b;
    if (versionCode < LEVEL_TR3) {
        b = 255 - int32_t(std::trunc(shade / kOldShadeDivisor));
    } else {
        shade = std::min(shade, kNewShadeLimit);
        b = 255 - int32_t(std::trunc(shade / kNewShadeDivisor));
    }
    return std::clamp(b, 0, 255);
}

struct TCornerPoint {
    float x, y, z;
    uint8_t r, g, b;
};

template <size_t N>
bool CornersExist(const uint16_t (&vertices)[N], int corners, size_t count)
{
    for (int c = 0; c < corners; ++c)
        if (vertices[c] >= count) return false;
    return true;
}

// Every corner of the mesh once: its position (scaled down by d, y and z
// turned over, moved by the offset p) and its colour shaded by the
// vertex's shade.
void ShadeCorners(std::vector<TCornerPoint>& points, const Tmesh_list& meshes, const tmesh_record& r, int32_t code,
                  double d, const double p[3], bool fullBright, uint32_t color)
{
    const std::span<const tmesh_vertex> vertices = meshes.Vertices(r);
    const std::span<const uint16_t> shades = meshes.Shades(r);
    const bool shaded = r.num_normals < 0 && !fullBright;
    const int32_t red = int32_t(color & 0xFF), green = int32_t((color >> 8) & 0xFF),
                  blue = int32_t((color >> 16) & 0xFF);
    points.resize(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i) {
        const tmesh_vertex v = vertices[i];
        TCornerPoint& point = points[i];
        point.x = float(v.x / d + p[0]);
        point.y = float(-(v.y / d) + p[1]);
        point.z = float(-(v.z / d) + p[2]);
        // A vertex without a shade of its own counts as fully lit.
        const int32_t bright = shaded && i < shades.size() ? ShadeBrightness(shades[i], code) : 255;
        point.r = uint8_t(red * bright / 255);
        point.g = uint8_t(green * bright / 255);
        point.b = uint8_t(blue * bright / 255);
    }
}

TxGL::TCorner PlainCorner(const std::vector<TCornerPoint>& points, uint16_t vertex, float u, float v)
{
    const TCornerPoint& p = points[vertex];
    return TxGL::TCorner{p.x, p.y, p.z, u, v};
}

TxGL::TColorCorner ColouredCorner(const std::vector<TCornerPoint>& points, uint16_t vertex, float u, float v)
{
    const TCornerPoint& p = points[vertex];
    return TxGL::TColorCorner{p.x, p.y, p.z, p.r, p.g, p.b, u, v};
}

// Selects the face's page and gives its texture coordinates; false when the
// level has no such object texture.
bool SelectObjectTexture(TxGL& gl, int32_t firstId, const Ttrlevel& level, uint16_t word, TTextureUV& uv)
{
    const int32_t tex = word & 0xFFF;
    if (!HasObjectTexture(level, tex)) return false;
    uv = TextureUV(level, tex);
    const uint16_t tile = level.object_textures[size_t(tex)].tile;
    gl.SetTexture(firstId + (tile & 0xFFF));
    return true;
}

// The textured quads and triangles: flat in the current colour, otherwise
// each corner in its own. Always inlined: every static and item drawn
// passes here, and the compiler would otherwise keep it a call of its own
// for the size of its frame.
[[gnu::always_inline]] inline void EmitTexturedFaces(TxGL& gl, int32_t firstId, const Tmesh_list& meshes,
                                                     const tmesh_record& r, const Ttrlevel& level,
                                                     const std::vector<TCornerPoint>& points, bool flat)
{
    const size_t vertexCount = points.size();
    auto plain = [&](uint16_t vertex, float u, float v) { return PlainCorner(points, vertex, u, v); };
    auto coloured = [&](uint16_t vertex, float u, float v) { return ColouredCorner(points, vertex, u, v); };
    TTextureUV uv;
    for (const tmesh_textured_face& f : meshes.TexturedQuads(r)) {
        if (!CornersExist(f.vertices, 4, vertexCount) || !SelectObjectTexture(gl, firstId, level, f.texture, uv))
            continue;
        const uint16_t* c = f.vertices;
        if (flat)
            gl.Quad(plain(c[0], uv.u[0], uv.v[0]), plain(c[1], uv.u[1], uv.v[1]), plain(c[2], uv.u[2], uv.v[2]),
                    plain(c[3], uv.u[3], uv.v[3]));
        else
            gl.Quad4C(coloured(c[0], uv.u[0], uv.v[0]), coloured(c[1], uv.u[1], uv.v[1]),
                      coloured(c[2], uv.u[2], uv.v[2]), coloured(c[3], uv.u[3], uv.v[3]));
    }
    for (const tmesh_textured_face& f : meshes.TexturedTriangles(r)) {
        if (!CornersExist(f.vertices, 3, vertexCount) || !SelectObjectTexture(gl, firstId, level, f.texture, uv))
            continue;
        const uint16_t* c = f.vertices;
        if (flat) gl.Tri(plain(c[0], uv.u[0], uv.v[0]), plain(c[1], uv.u[1], uv.v[1]), plain(c[2], uv.u[2], uv.v[2]));
        else
            gl.Tri3C(coloured(c[0], uv.u[0], uv.v[0]), coloured(c[1], uv.u[1], uv.v[1]),
                     coloured(c[2], uv.u[2], uv.v[2]));
    }
}

// The flat-coloured quads and triangles of older meshes, each in its
// palette colour on the coloured-face texture; the current colour is kept.
void EmitColouredFaces(TxGL& gl, const Tmesh_list& meshes, const tmesh_record& r, const Ttrlevel& level,
                       const std::vector<TCornerPoint>& points)
{
    const size_t vertexCount = points.size();
    auto plain = [&](uint16_t vertex, float u, float v) { return PlainCorner(points, vertex, u, v); };
    gl.PushColor();
    gl.SetTexture(gl.ColoredFaceTexture);
    uint8_t cr, cg, cb;
    for (const tmesh_colored_face& f : meshes.ColoredQuads(r)) {
        if (!CornersExist(f.vertices, 4, vertexCount)) continue;
        level.PaletteColor(f.color, cr, cg, cb);
        gl.SetColor(cr, cg, cb);
        const uint16_t* c = f.vertices;
        gl.Quad(plain(c[0], 0, 0), plain(c[1], 1, 0), plain(c[2], 1, 1), plain(c[3], 0, 1));
    }
    for (const tmesh_colored_face& f : meshes.ColoredTriangles(r)) {
        if (!CornersExist(f.vertices, 3, vertexCount)) continue;
        level.PaletteColor(f.color, cr, cg, cb);
        gl.SetColor(cr, cg, cb);
        const uint16_t* c = f.vertices;
        gl.Tri(plain(c[0], 0, 0), plain(c[1], 1, 0), plain(c[2], 1, 1));
    }
    gl.PopColor();
}

}  // namespace

void ObjectTextureUV(const Ttrlevel& level, int32_t index, float& u1, float& v1, float& u2, float& v2, float& u3,
                     float& v3, float& u4, float& v4)
{
    const TTextureUV uv = TextureUV(level, index);
    u1 = uv.u[0];
    v1 = uv.v[0];
    u2 = uv.u[1];
    v2 = uv.v[1];
    u3 = uv.u[2];
    v3 = uv.v[2];
    u4 = uv.u[3];
    v4 = uv.v[3];
}

bool IsTriangleTexture(const Ttrlevel& level, int32_t index)
{
    return HasObjectTexture(level, index) && IsTriangle(CornersOf(level, index));
}

void TexturePixelBounds(const Ttrlevel& level, int32_t index, int32_t& minX, int32_t& maxY, int32_t& maxX,
                        int32_t& minY)
{
    if (!HasObjectTexture(level, index)) {
        minX = maxY = maxX = minY = 0;
        return;
    }
    PixelBounds(CornersOf(level, index), minX, maxY, maxX, minY);
}

void BuildMeshObject(TxGL& gl, int32_t firstId, const Tmesh_list& meshes, const Ttrlevel& level, int32_t index,
                     double x, double y, double z, float angle, float scale, bool centred, bool fullBright, bool flat,
                     uint32_t color)
{
    if (index < 0 || uint32_t(index) >= meshes.count || size_t(index) >= meshes.meshes.size()) return;
    const tmesh_record& r = meshes.meshes[size_t(index)];
    const int32_t code = level.version_code;
    // The mesh is drawn whole or not at all: every corner is shaded, and
    // every face costs the vertices it may emit, drawn or not.
    const int64_t quads = int64_t(r.textured_quads.count) + (code < LEVEL_TR4 ? r.colored_quads.count : 0);
    const int64_t triangles = int64_t(r.textured_triangles.count) + (code < LEVEL_TR4 ? r.colored_triangles.count : 0);
    const int64_t work = 1 + int64_t(r.vertices.count) + 6 * quads + 3 * triangles;
    if (!gl.SpendLevelWork(work)) return;

    double offset[3] = {0, 0, 0};
    if (centred) {
        for (int k = 0; k < 3; ++k) offset[k] = r.centre_offset[k];
    } else {
        gl.PushMatrix();
        gl.Translate(float(x), float(y), float(z));
        gl.Rotate(0, angle, 0, false);
    }

    static thread_local std::vector<TCornerPoint> points;
    ShadeCorners(points, meshes, r, code, 100.0 / scale, offset, fullBright, color);
    EmitTexturedFaces(gl, firstId, meshes, r, level, points, flat);
    if (code < LEVEL_TR4) EmitColouredFaces(gl, meshes, r, level, points);

    if (!centred) gl.PopMatrix();
}
