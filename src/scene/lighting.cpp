// Per-vertex room lighting: the room's ambient colour, then each enabled
// light added in one-unit rings out to its range, with hard shadows from the
// room's own triangles.
#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <random>

#include "display/colour_utils.h"
#include "level/trlevel.h"
#include "scene/scene.h"

namespace {

constexpr double RING_MARGIN = 0.15;
constexpr int MAX_RING = 128;  // a range byte of 127
constexpr uint16_t BLEND_REPLACE = 0xFFFF;

// The shadow grid: about this many triangles to a cell, and no more filings
// of triangles in cells than this many per triangle (plus one per cell).
constexpr double TRIANGLES_PER_CELL = 0.5;
constexpr int64_t MAX_FILINGS_PER_TRIANGLE = 24;
constexpr int64_t MAX_FILINGS = int64_t(1) << 23;
constexpr size_t SIZING_SAMPLE = 4096;
// The work of one shadow test: a slab or cell of the grid, or a triangle
// filed there, costs 1; the segment test against a triangle costs this
// much more, being many times slower.
constexpr int64_t SEGMENT_TEST_WORK = 4;
// Boxes and segment pieces are widened by a sixteenth of a cell plus this
// share of the largest coordinate: hundreds of times the rounding of a
// float, so that no triangle the segment test would find is left out.
constexpr double RELATIVE_MARGIN = 1.0 / 65536;

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

// Calls f for each vertex of the list from its first one (at `first`, from
// FirstOfList) on.
template <class F>
void ForListVertices(TxGL& gl, int list, int32_t first, F&& f)
{
    if (first < 0) return;
    for (int32_t i = first; i < gl.Vertices.Count(); ++i) {
        txgl_vertex* v = gl.Vertices.GetByIndex(i);
        if (!v || v->list != list) break;
        f(*v);
    }
}

// About how many vertices ForListVertices meets: room to reserve.
size_t ListSize(const TxGL& gl, int list, int32_t first)
{
    if (first < 0 || list < 0 || list >= VertexListCount) return 0;
    return size_t(std::clamp<int64_t>(gl.Counts[list], 0, gl.Vertices.Count() - first));
}

D3DXVECTOR3 PositionOf(const txgl_vertex& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

// Where each vertex of the list lies, in list order.
std::vector<D3DXVECTOR3> ListPositions(TxGL& gl, int list, int32_t first)
{
    std::vector<D3DXVECTOR3> positions;
    positions.reserve(ListSize(gl, list, first));
    ForListVertices(gl, list, first, [&](const txgl_vertex& v) { positions.push_back(PositionOf(v)); });
    return positions;
}

// The distinct positions (bit for bit) of a list's vertices, in the order
// of their first vertices, and the place of each vertex.
struct TPlaces {
    std::vector<D3DXVECTOR3> at;
    std::vector<uint32_t> of;
};

// A mix of 64 bits in which every bit of the input moves about half the
// bits of the output.
uint64_t Mix(uint64_t h)
{
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9u;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBu;
    return h ^ (h >> 31);
}

// Keys of the places' table, chosen afresh by each run of the program: the
// positions come from the project file, and with a hash fixed in advance a
// file could put thousands of them in one run of the table.
const std::array<uint64_t, 2>& PlaceKeys()
{
    static const std::array<uint64_t, 2> keys = [] {
        uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
        try {
            std::random_device device;
            seed = uint64_t(device()) << 32 | device();
        } catch (const std::exception&) {
            // Without a source of randomness the clock has to do.
        }
        return std::array<uint64_t, 2>{Mix(seed), Mix(seed + 0x9E3779B97F4A7C15u)};
    }();
    return keys;
}

TPlaces PlacesOf(const std::vector<D3DXVECTOR3>& positions)
{
    TPlaces places;
    places.of.resize(positions.size());
    // Open addressing, at most half full: place number + 1, 0 for none.
    size_t size = 16;
    while (size < 2 * positions.size()) size *= 2;
    std::vector<uint32_t> table(size, 0);
    auto bits = [](float f) { return uint64_t(std::bit_cast<uint32_t>(f)); };
    const std::array<uint64_t, 2>& keys = PlaceKeys();
    for (size_t i = 0; i < positions.size(); ++i) {
        const D3DXVECTOR3& p = positions[i];
        const uint64_t h = Mix(Mix((bits(p.x) << 32 | bits(p.y)) ^ keys[0]) ^ bits(p.z) ^ keys[1]);
        size_t slot = size_t(h) & (size - 1);
        for (;; slot = (slot + 1) & (size - 1)) {
            const uint32_t n = table[slot];
            if (n == 0) {
                places.at.push_back(p);
                table[slot] = uint32_t(places.at.size());
                places.of[i] = uint32_t(places.at.size() - 1);
                break;
            }
            const D3DXVECTOR3& q = places.at[n - 1];
            if (bits(q.x) == bits(p.x) && bits(q.y) == bits(p.y) && bits(q.z) == bits(p.z)) {
                places.of[i] = n - 1;
                break;
            }
        }
    }
    return places;
}

float Coordinate(const D3DXVECTOR3& v, int k) { return k == 0 ? v.x : k == 1 ? v.y : v.z; }

// The innermost one-unit ring (1 to R) within which a vertex at distance d
// lies: the smallest j below R with d <= j + RING_MARGIN, else R. Found
// from an estimate and then checked against its neighbours, so that it is
// exactly the ring a walk out from the light would stop at.
int RingOf(double d, int R)
{
    const double g = d - RING_MARGIN;
    int j = g <= 1 ? 1 : g < R ? int(std::ceil(g)) : R;
    while (j > 1 && d <= (j - 1) + RING_MARGIN) --j;
    while (j < R && !(d <= j + RING_MARGIN)) ++j;
    return j;
}

}  // namespace

TShadowTriangles::TShadowTriangles(TxGL& gl, int list, int32_t first) : TShadowTriangles(ListPositions(gl, list, first))
{
}

TShadowTriangles::TShadowTriangles(std::vector<D3DXVECTOR3> corners) : corners_(std::move(corners))
{
    corners_.resize(corners_.size() / 3 * 3);
    FileTriangles();
}

void TShadowTriangles::FileTriangles()
{
    const size_t count = corners_.size() / 3;
    if (count == 0) return;
    boxes_.resize(count);
    seen_.assign(count, 0);
    double lo[3], hi[3], largest = 0;
    // A corner that is no finite point has no cell: every segment is then
    // tested against every triangle.
    if (!BoxTriangles(lo, hi, largest)) return;
    std::vector<TSpan> spans(count);
    FillCells(spans, SizeCells(lo, hi, largest, spans));
}

bool TShadowTriangles::BoxTriangles(double lo[3], double hi[3], double& largest)
{
    bool finite = true;
    for (int k = 0; k < 3; ++k) {
        lo[k] = HUGE_VAL;
        hi[k] = -HUGE_VAL;
    }
    for (size_t t = 0; t < boxes_.size(); ++t) {
        TBox& box = boxes_[t];
        const D3DXVECTOR3* c = &corners_[3 * t];
        for (int k = 0; k < 3; ++k) {
            const float v[3] = {Coordinate(c[0], k), Coordinate(c[1], k), Coordinate(c[2], k)};
            box.lo[k] = std::min({v[0], v[1], v[2]});
            box.hi[k] = std::max({v[0], v[1], v[2]});
            finite = finite && std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
            lo[k] = std::min(lo[k], double(box.lo[k]));
            hi[k] = std::max(hi[k], double(box.hi[k]));
        }
    }
    if (!finite) return false;
    for (int k = 0; k < 3; ++k) largest = std::max({largest, std::abs(lo[k]), std::abs(hi[k])});
    return true;
}

int64_t TShadowTriangles::SizeCells(const double lo[3], const double hi[3], double largest, std::vector<TSpan>& spans)
{
    const size_t count = boxes_.size();
    // Cubic cells, at most about one for every TRIANGLES_PER_CELL triangles;
    // where the triangles are large for them, the cells grow until the
    // filings stay within bounds.
    const double target = std::max(1.0, double(count) / TRIANGLES_PER_CELL);
    double extent[3], longest = 0;
    for (int k = 0; k < 3; ++k) {
        origin_[k] = lo[k];
        extent[k] = hi[k] - lo[k];
        longest = std::max(longest, extent[k]);
    }
    auto cellsAlong = [&](int k) { return std::max(1.0, std::ceil(extent[k] / cell_)); };
    cell_ = std::max(longest / target, std::numeric_limits<double>::min());
    while (cellsAlong(0) * cellsAlong(1) * cellsAlong(2) > target) cell_ *= 1.25;
    // Spans of every stride-th triangle, and the filings they add up to,
    // scaled to all.
    auto fileSpans = [&](size_t stride) {
        int64_t n = 0;
        for (size_t i = 0; i < count; i += stride) {
            const TBox& box = boxes_[i];
            int64_t cellsOfOne = 1;
            for (int k = 0; k < 3; ++k) {
                spans[i][k] = CellOf(k, double(box.lo[k]) - margin_);
                spans[i][3 + k] = CellOf(k, double(box.hi[k]) + margin_);
                cellsOfOne *= spans[i][3 + k] - spans[i][k] + 1;
            }
            n += cellsOfOne;
        }
        return n * int64_t(stride);
    };
    const int64_t allowed = std::min(MAX_FILINGS_PER_TRIANGLE * int64_t(count), MAX_FILINGS);
    int64_t filings = 0;
    // A sample of the triangles sizes the cells; all of them check it.
    for (size_t stride = std::max<size_t>(1, count / SIZING_SAMPLE);; stride = 1) {
        for (;;) {
            margin_ = cell_ / 16 + RELATIVE_MARGIN * largest;
            perCell_ = 1 / cell_;
            int64_t cells = 1;
            for (int k = 0; k < 3; ++k) {
                cells_[k] = int(cellsAlong(k));
                cells *= cells_[k];
            }
            filings = fileSpans(stride);
            if (cells == 1 || filings <= allowed + cells) break;
            cell_ *= 1.25;
        }
        if (stride == 1) return filings;
    }
}

void TShadowTriangles::FillCells(const std::vector<TSpan>& spans, int64_t filings)
{
    cellStart_.assign(size_t(cells_[0]) * size_t(cells_[1]) * size_t(cells_[2]) + 1, 0);
    filed_.resize(size_t(filings));
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t t = 0; t < spans.size(); ++t) {
            const TSpan& s = spans[t];
            for (int z = s[2]; z <= s[5]; ++z)
                for (int y = s[1]; y <= s[4]; ++y)
                    for (int x = s[0]; x <= s[3]; ++x) {
                        const size_t cell = CellIndex(x, y, z);
                        if (pass == 0) ++cellStart_[cell + 1];
                        else filed_[cellStart_[cell]++] = uint32_t(t);
                    }
        }
        if (pass == 0) {
            for (size_t i = 1; i < cellStart_.size(); ++i) cellStart_[i] += cellStart_[i - 1];
        } else {
            // Filing moved each start on to the next cell's start.
            for (size_t i = cellStart_.size() - 1; i > 0; --i) cellStart_[i] = cellStart_[i - 1];
            cellStart_[0] = 0;
        }
    }
}

int TShadowTriangles::CellOf(int k, double v) const
{
    const double i = std::floor((v - origin_[k]) * perCell_);
    return int(std::clamp(i, 0.0, double(cells_[k] - 1)));
}

size_t TShadowTriangles::CellIndex(int x, int y, int z) const
{
    return size_t(x) + size_t(cells_[0]) * (size_t(y) + size_t(cells_[1]) * size_t(z));
}

bool TShadowTriangles::Blocks(const D3DXVECTOR3& light, const D3DXVECTOR3& vertex) const
{
    int64_t work = std::numeric_limits<int64_t>::max();
    return Blocks(light, vertex, work);
}

// One segment, from the light to a vertex, and the work it may still do.
struct TShadowTriangles::TWalk {
    const TShadowTriangles& grid;
    const D3DXVECTOR3& light;
    const D3DXVECTOR3& vertex;
    int64_t left;
    double p0[3], p1[3], d[3];
    double margin = 0;

    // Takes n units of the work left; taking more than is left spends it
    // all, so that the walk ends at its next step.
    bool Spend(int64_t n)
    {
        if (left < n) {
            left = 0;
            return false;
        }
        left -= n;
        return true;
    }
    // The segment test against one triangle, the first time the walk meets
    // it: a miss for a triangle the vertex belongs to, which cannot shade
    // it, and no test once the work is spent.
    bool Hits(uint32_t t)
    {
        grid.seen_[t] = grid.segment_;
        const D3DXVECTOR3* c = &grid.corners_[3 * size_t(t)];
        if (c[0] == vertex || c[1] == vertex || c[2] == vertex) return false;
        float at = 0.0f;
        return Spend(SEGMENT_TEST_WORK) && RayHitsTriangle(light, vertex, c[0], c[1], c[2], at);
    }
    // Without a grid: every triangle in turn.
    bool Every()
    {
        for (uint32_t t = 0; t < grid.boxes_.size(); ++t) {
            if (!Spend(1)) return false;
            if (Hits(t)) return true;
        }
        return false;
    }
    bool Outside(int k, double from, double to) const
    {
        return to < grid.origin_[k] || from > grid.origin_[k] + grid.cells_[k] * grid.cell_;
    }
    // The triangles filed in one cell whose boxes meet the piece's box.
    bool Cell(size_t cell, const float near[3], const float far[3])
    {
        for (uint32_t i = grid.cellStart_[cell]; i < grid.cellStart_[cell + 1]; ++i) {
            if (!Spend(1)) return false;
            const uint32_t t = grid.filed_[i];
            const TBox& box = grid.boxes_[t];
            const bool apart = (box.lo[0] > far[0]) | (box.hi[0] < near[0]) | (box.lo[1] > far[1]) |
                               (box.hi[1] < near[1]) | (box.lo[2] > far[2]) | (box.hi[2] < near[2]);
            if (apart || grid.seen_[t] == grid.segment_) continue;
            if (Hits(t)) return true;
        }
        return false;
    }
    bool Slab(int a, int slab);
    bool Grid();
};

// The piece of the segment within one slab of cells across axis a, and the
// cells of the slab that its box (widened by the margin) touches.
bool TShadowTriangles::TWalk::Slab(int a, int slab)
{
    const int b = (a + 1) % 3, c = (a + 2) % 3;
    double t0 = 0, t1 = 1;
    if (d[a] != 0) {
        const double perStep = 1 / d[a];
        const double from = grid.origin_[a] + slab * grid.cell_ - margin - p0[a];
        t0 = from * perStep;
        t1 = (from + grid.cell_ + 2 * margin) * perStep;
        if (t0 > t1) std::swap(t0, t1);
        t0 = std::max(t0, 0.0);
        t1 = std::min(t1, 1.0);
        if (t0 > t1) return false;
    }
    double lo[3], hi[3];
    float near[3], far[3];  // the piece's box, as the triangles' boxes are held
    for (int k = 0; k < 3; ++k) {
        const double e0 = p0[k] + t0 * d[k], e1 = p0[k] + t1 * d[k];
        lo[k] = std::min(e0, e1) - margin;
        hi[k] = std::max(e0, e1) + margin;
        near[k] = float(lo[k]);
        far[k] = float(hi[k]);
    }
    if (Outside(b, lo[b], hi[b]) || Outside(c, lo[c], hi[c])) return false;
    const int lastB = grid.CellOf(b, hi[b]), lastC = grid.CellOf(c, hi[c]);
    int at[3];
    at[a] = slab;
    for (at[b] = grid.CellOf(b, lo[b]); at[b] <= lastB; ++at[b])
        for (at[c] = grid.CellOf(c, lo[c]); at[c] <= lastC; ++at[c]) {
            if (!Spend(1)) return false;
            if (Cell(grid.CellIndex(at[0], at[1], at[2]), near, far)) return true;
        }
    return false;
}

// The segment is cut into pieces by the slabs of cells across the axis
// along which it runs farthest; each piece meets the few cells of its slab
// that its box touches, and the triangles filed there whose boxes meet that
// box.
bool TShadowTriangles::TWalk::Grid()
{
    double reach = 0;
    for (int k = 0; k < 3; ++k) {
        d[k] = p1[k] - p0[k];
        reach = std::max({reach, std::abs(p0[k]), std::abs(p1[k])});
    }
    margin = grid.margin_ + RELATIVE_MARGIN * reach;
    int a = 0;
    for (int k = 1; k < 3; ++k)
        if (std::abs(d[k]) > std::abs(d[a])) a = k;
    for (int k = 0; k < 3; ++k)
        if (Outside(k, std::min(p0[k], p1[k]) - margin, std::max(p0[k], p1[k]) + margin)) return false;
    const int lastSlab = grid.CellOf(a, std::max(p0[a], p1[a]) + margin);
    for (int slab = grid.CellOf(a, std::min(p0[a], p1[a]) - margin); slab <= lastSlab; ++slab) {
        if (!Spend(1)) return false;
        if (Slab(a, slab)) return true;
    }
    return false;
}

bool TShadowTriangles::Blocks(const D3DXVECTOR3& light, const D3DXVECTOR3& vertex, int64_t& work) const
{
    if (boxes_.empty() || work <= 0) return false;
    if (++segment_ == 0) {
        std::fill(seen_.begin(), seen_.end(), 0u);
        segment_ = 1;
    }
    TWalk walk{*this, light, vertex, work, {light.x, light.y, light.z}, {vertex.x, vertex.y, vertex.z}, {}};
    bool finite = !cellStart_.empty();
    for (int k = 0; k < 3; ++k) finite = finite && std::isfinite(walk.p0[k]) && std::isfinite(walk.p1[k]);
    const bool blocked = finite ? walk.Grid() : walk.Every();
    work = walk.left;
    return blocked;
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
    ForListVertices(GL, list, first, [&](txgl_vertex& v) {
        v.r = red;
        v.g = green;
        v.b = blue;
    });
    AddRoomLights(room, list);
}

namespace {

// What one light gives the vertices within its range: the light's colour
// shaded for each one-unit ring out to R, and how it is blended.
struct TLightRings {
    int R = 0;  // rings; 0: the light reaches no vertex
    uint16_t mode = 0;
    uint8_t shaded[MAX_RING + 1][3] = {};
};

TLightRings RingsOf(const troom_light& light, int8_t ambient, bool white)
{
    TLightRings rings;
    uint8_t lr = uint8_t(light.color), lg = uint8_t(light.color >> 8), lb = uint8_t(light.color >> 16);
    rings.mode = uint16_t(int16_t(light.blendMode));
    if (white) {
        lr = lg = lb = 255;
        rings.mode = BLEND_REPLACE;
    }
    // Light levels in signed bytes, as the records hold them.
    const int8_t intensity = light.intensity;
    int8_t hi, lo;
    if (intensity >= 0) {
        hi = int8_t(ambient - 1);
        lo = int8_t(hi - intensity - 1);
    } else {
        lo = hi = int8_t(ambient - intensity);
        rings.mode = BLEND_REPLACE;
    }
    const int high = std::clamp<int>(hi, 0, 31), low = std::clamp<int>(lo, 0, 31);
    // A light without range reaches no vertex.
    rings.R = std::max(light.range + 1, 0);
    const double step = double(high - low) / std::max(rings.R, 1);
    for (int k = 1; k <= rings.R; ++k) {
        uint8_t* c = rings.shaded[k];
        c[0] = lr;
        c[1] = lg;
        c[2] = lb;
        ShadeRGB3(c[0], c[1], c[2], int32_t(std::nearbyint(k * step + low)));
    }
    return rings;
}

// Where a light of the room stands: on the floor of its sector (clamped to
// the grid, slot 0 included), placed as the layer places vertices.
D3DXVECTOR3 LightPosition(const tcuarto& r, const troom_light& light, const D3DXMATRIX& matrix)
{
    double floorTop = 0.0;
    if (r.sectors.ColumnSlots() > 0 && r.sectors.RowSlots() > 0) {
        const tsector& s = r.sectors[std::clamp<int>(light.column, 0, std::max(DrawnColumns(r), 0))]
                                    [std::clamp<int>(light.row, 0, std::max(DrawnRows(r), 0))];
        double c[4];
        FloorCornerHeights(s, c);
        floorTop = *std::max_element(c, c + 4);
    }
    float px = float(double(r.x) + light.column - 1 + 0.5);
    float pz = float(1.0 - (double(r.z) + light.row) - 0.5);
    float py = float(-(double(r.y) + floorTop + light.height / 4.0));
    TxGL::TransformPoint(px, py, pz, matrix);
    return D3DXVECTOR3(px, py, pz);
}

}  // namespace

void tr_scene::AddRoomLights(int room, int list)
{
    ShadowTestsMade = 0;
    const tcuarto* r = RoomAt(room);
    if (!r) return;
    const int32_t first = FirstOfList(GL, list);
    if (first < 0) return;
    // The list is walked once: its vertices, and where they lie for the
    // places and the shadow triangles.
    std::vector<txgl_vertex*> vertices;
    std::vector<D3DXVECTOR3> positions;
    const size_t size = ListSize(GL, list, first);
    vertices.reserve(size);
    positions.reserve(size);
    ForListVertices(GL, list, first, [&](txgl_vertex& v) {
        vertices.push_back(&v);
        positions.push_back(PositionOf(v));
    });
    // A light reaches all vertices at one place alike.
    const TPlaces places = PlacesOf(positions);
    const TShadowTriangles shadows(std::move(positions));
    std::vector<uint8_t> ring(places.at.size());
    // Shadow tests left in this pass; once they are spent, every vertex
    // within a light's range takes its light.
    const int64_t budget = std::max<int64_t>(ShadowTestBudget, 0);
    int64_t work = budget;
    const bool white = WhiteLightVersion(VersionCode());
    const int8_t ambient = int8_t(r->ambientIntensity - Brightness);

    const int count = std::clamp<int>(r->lightCount, 0, MAX_ROOM_LIGHTS);
    for (int n = 1; n <= count; ++n) {
        const troom_light light = r->lights[size_t(n)];
        if (!light.enabled) continue;
        if (SelectedLightOnly && n != r->selectedLight) continue;
        const TLightRings rings = RingsOf(light, ambient, white);
        if (rings.R < 1) continue;
        const D3DXVECTOR3 at = LightPosition(*r, light, GL.CurrentMatrix);
        const int R = rings.R;
        // Each place once: its ring, or 0 when out of range or in shadow.
        for (size_t i = 0; i < places.at.size(); ++i) {
            const double d = Distance3(at, places.at[i]);
            ring[i] = d > R || shadows.Blocks(at, places.at[i], work) ? 0 : uint8_t(RingOf(d, R));
        }
        for (size_t i = 0; i < vertices.size(); ++i) {
            const int k = ring[places.of[i]];
            if (k == 0) continue;
            txgl_vertex* v = vertices[i];
            BlendRGB(v->r, v->g, v->b, rings.shaded[k][0], rings.shaded[k][1], rings.shaded[k][2], rings.mode);
        }
    }
    ShadowTestsMade = budget - work;
}
