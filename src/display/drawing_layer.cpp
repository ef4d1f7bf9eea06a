#include "display/drawing_layer.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <fstream>
#include <limits>
#include <vector>

#include <unistd.h>

#include "display/device.h"
#include "platform/d3dx/d3dx8mesh.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr int kKeyWidth = 6;
constexpr int32_t kLargestShortSerial = 999999;
constexpr char kLastMillionMark = '~';

// `value` in exactly `width` decimal digits, zero-padded.
size_t WriteZeroPadded(char* out, uint32_t value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    return size_t(width);
}

// Adds one to a number right-aligned in `width` characters (and not at
// the largest the width holds).
void CountUp(char* digits, int width)
{
    assert(std::any_of(digits, digits + width, [](char c) { return c != '9'; }));
    for (int i = width - 1; i >= 0; --i) {
        if (digits[i] == '9') {
            digits[i] = '0';
            continue;
        }
        digits[i] = digits[i] == ' ' ? '1' : char(digits[i] + 1);
        return;
    }
}

constexpr double kDegree = 0.017453292519940686;

// The Direct3D buffer of piece k of an entry.
IDirect3DVertexBuffer8* Piece(const Tvbuffer& entry, size_t k)
{
    return k == 0 ? entry.VertexBuffer.Get() : entry.MoreBuffers[k - 1].Get();
}

// The vertices of piece k of n in pieces of `length`.
int64_t PieceSize(int64_t n, int64_t length, size_t k) { return std::min(length, n - int64_t(k) * length); }

// Room for n vertices in the entry, in buffers of `length` vertices: its
// own buffers when it has that capacity in pieces of that length, new ones
// otherwise. False, with a message, when they cannot be made; the entry
// then has neither buffers nor capacity (also while they are being made, so
// that running out of memory on the way leaves nothing to draw from).
bool SizeBuffer(Tvbuffer& entry, int64_t n, int64_t length)
{
    if (entry.Capacity == n && entry.PieceLength == length) return true;
    entry.VertexBuffer = nullptr;
    entry.MoreBuffers.clear();
    entry.PrimitiveCount = 0;
    entry.Capacity = 0;
    const size_t pieces = size_t((n + length - 1) / length);
    entry.MoreBuffers.reserve(pieces - 1);
    for (size_t k = 0; k < pieces; ++k) {
        TComRef<IDirect3DVertexBuffer8> piece;
        const UINT bytes = UINT(PieceSize(n, length, k) * BufferVertexStride);
        if (!D3DDevice || FAILED(D3DDevice->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, BufferVertexFormat,
                                                               D3DPOOL_MANAGED, piece.Put()))) {
            ShowMessage("Faling trying to build a vertex buffer!!");
            // The buffers are gone: nothing may be drawn from the entry, and
            // its capacity goes with them, so that the next build of any
            // count makes buffers again instead of filling released ones.
            entry.VertexBuffer = nullptr;
            entry.MoreBuffers.clear();
            return false;
        }
        if (k == 0) entry.VertexBuffer = piece;
        else entry.MoreBuffers.push_back(piece);
    }
    entry.VertexFormat = BufferVertexFormat;
    entry.Stride = BufferVertexStride;
    entry.PrimitiveType = BufferPrimitiveType;
    entry.Capacity = uint32_t(n);
    entry.PieceLength = uint32_t(length);
    return true;
}

// The buffers of an entry locked for writing; each is unlocked again when
// this goes, whatever happens meanwhile.
class TLockedPieces {
public:
    explicit TLockedPieces(const Tvbuffer& entry) : entry_(entry) { data_.reserve(entry.MoreBuffers.size() + 1); }
    ~TLockedPieces()
    {
        for (size_t k = 0; k < data_.size(); ++k) Piece(entry_, k)->Unlock();
    }
    TLockedPieces(const TLockedPieces&) = delete;
    TLockedPieces& operator=(const TLockedPieces&) = delete;

    // Locks every buffer of the entry, whole; false when one refuses.
    bool Lock()
    {
        for (size_t k = 0; k <= entry_.MoreBuffers.size(); ++k) {
            BYTE* data = nullptr;
            const UINT bytes = UINT(PieceSize(entry_.Capacity, entry_.PieceLength, k) * BufferVertexStride);
            if (FAILED(Piece(entry_, k)->Lock(0, bytes, &data, 0))) return false;
            data_.push_back(data);
        }
        return true;
    }
    BYTE* Data(size_t k) const { return data_[k]; }

private:
    const Tvbuffer& entry_;
    std::vector<BYTE*> data_;
};

// The sector rows and columns a buffer's selection spans.
struct TSelectedSectors {
    int32_t rowLo, rowHi, colLo, colHi;

    // Whether a vertex's tag (byte 3 its row, byte 4 its column) lies within.
    bool Contains(const TVertexTag& tag) const
    {
        const int32_t row = tag[3], col = tag[4];
        return col >= colLo && col <= colHi && row >= rowLo && row <= rowHi;
    }
};

TSelectedSectors SelectedSectors(const Tvbuffer& entry)
{
    return {std::min(entry.SelRowA, entry.SelRowB), std::max(entry.SelRowA, entry.SelRowB),
            std::min(entry.SelColA, entry.SelColB), std::max(entry.SelColA, entry.SelColB)};
}

// A vertex as the buffer holds it: a hidden one at the origin, one within
// the selected sectors (when the selection is on) in red.
inline tbuffer_vertex BufferVertex(const txgl_vertex& rec, bool hidden, bool selectionOn,
                                   const TSelectedSectors& selected)
{
    tbuffer_vertex out;
    if (hidden) {
        out.x = out.y = out.z = 0.0f;
    } else {
        out.x = rec.x;
        out.y = rec.y;
        out.z = rec.z;
    }
    int32_t r = rec.r, g = rec.g, b = rec.b;
    if (selectionOn && selected.Contains(rec.tag)) {
        r = 255;
        g = 0;
        b = 0;
    }
    out.color = 0xFF000000u | uint32_t(r & 255) << 16 | uint32_t(g & 255) << 8 | uint32_t(b & 255);
    out.u = float(rec.u);
    out.v = float(rec.v);
    return out;
}

// Writes the vertices of a list (0..15), from its first slot i on, into the
// locked buffers of the entry, at most the n it has room for, with a draw
// group per texture id; returns the last vertex written (nil for none).
txgl_vertex* WriteListVertices(Tlistmem<txgl_vertex>& vertices, int list, int32_t i, int64_t n, Tvbuffer& entry,
                               const TLockedPieces& pieces)
{
    assert(list >= 0 && list < VertexListCount && n > 0);
    assert(i >= 0 && i < vertices.Count());
    int32_t group = 1;
    int64_t inGroup = 0, written = 0;
    txgl_vertex* rec = vertices.GetByIndex(i);
    txgl_vertex* last = nullptr;
    int32_t groupTexture = rec ? rec->texture : 0;
    auto closeGroup = [&] {
        entry.GroupCount = group;
        entry.GroupPrimitives.resize(size_t(group));
        entry.GroupTextures.resize(size_t(group));
        entry.GroupPrimitives[size_t(group - 1)] = int32_t(inGroup / 3);
        entry.GroupTextures[size_t(group - 1)] = groupTexture;
    };
    const bool selectionOn = entry.SelectionOn;
    const TSelectedSectors selected = SelectedSectors(entry);
    const int32_t count = vertices.Count();
    // Where the current buffer ends: the end of its piece, or of all.
    size_t piece = 0;
    BYTE* data = pieces.Data(0);
    int64_t pieceEnd = std::min<int64_t>(entry.PieceLength, n);
    while (rec && rec->list == list) {
        if (written == pieceEnd) {
            if (written == n) {
                // More vertices than counted: never write past the buffers.
                closeGroup();
                break;
            }
            data = pieces.Data(++piece);
            pieceEnd = std::min<int64_t>(pieceEnd + entry.PieceLength, n);
        }
        const tbuffer_vertex out = BufferVertex(*rec, groupTexture == HiddenTexture, selectionOn, selected);
        std::memcpy(data, &out, sizeof out);
        data += BufferVertexStride;
        ++written;
        ++i;
        ++inGroup;
        last = rec;
        vertices.Prefetch(i + 24);
        if (i >= count) {
            closeGroup();
            break;
        }
        rec = vertices.GetByIndex(i);
        if (!rec || rec->texture != groupTexture || rec->list != list) {
            closeGroup();
            ++group;
            inGroup = 0;
            groupTexture = rec ? rec->texture : 0;
        }
    }
    // A buffer with its selection on and anything in it shows a highlight.
    if (selectionOn && written > 0) entry.Highlighted = 1;
    return last;
}

}  // namespace

int64_t AvailableVertices()
{
    // What the system could give without taking memory from others: the
    // kernel's estimate, pages it holds as caches included; or the pages
    // that are free.
    int64_t bytes = -1;
    std::ifstream info("/proc/meminfo");
    std::string field;
    int64_t kib = 0;
    while (info >> field >> kib) {
        if (field == "MemAvailable:") {
            bytes = kib * 1024;
            break;
        }
        info.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    if (bytes < 0) {
        const long pages = sysconf(_SC_AVPHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0) return LayerVertexCapacity;
        bytes = int64_t(pages) * pageSize;
    }
    return std::min(LayerVertexCapacity, bytes / LayerBytesPerVertex);
}

TxGL::TxGL() { Vertices.KeepSorted = false; }

void TxGL::SetColor(uint8_t r, uint8_t g, uint8_t b)
{
    ColorR = r;
    ColorG = g;
    ColorB = b;
}

void TxGL::SetColorTColor(uint32_t color) { SetColor(uint8_t(color), uint8_t(color >> 8), uint8_t(color >> 16)); }

void TxGL::PushColor()
{
    SavedR = ColorR;
    SavedG = ColorG;
    SavedB = ColorB;
}

void TxGL::PopColor()
{
    ColorR = SavedR;
    ColorG = SavedG;
    ColorB = SavedB;
}

void TxGL::LoadIdentity() { D3DXMatrixIdentity(&CurrentMatrix); }

void TxGL::PushMatrix()
{
    MatrixStack[Depth] = CurrentMatrix;
    if (++Depth > MatrixStackDepth - 1) Depth = MatrixStackDepth - 1;
}

void TxGL::PopMatrix()
{
    --Depth;
    if (Depth >= 0) CurrentMatrix = MatrixStack[Depth];
    else Depth = 0;
}

void TxGL::Translate(float x, float y, float z)
{
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, x, -y, z);
    D3DXMatrixMultiply(&CurrentMatrix, &t, &CurrentMatrix);
}

void TxGL::Scale(float x, float y, float z) { D3DXMatrixScaling(&CurrentMatrix, x, y, z); }

void TxGL::Rotate(float x, float y, float z, bool radians)
{
    if (!radians) {
        x = float(x * kDegree);
        y = float(y * kDegree);
        z = float(z * kDegree);
    }
    D3DXMATRIX rx, ry, rz, m;
    D3DXMatrixRotationX(&rx, x);
    D3DXMatrixRotationY(&ry, y);
    D3DXMatrixRotationZ(&rz, z);
    D3DXMatrixMultiply(&m, &ry, &rx);
    D3DXMatrixMultiply(&m, &m, &rz);
    D3DXMatrixMultiply(&CurrentMatrix, &m, &CurrentMatrix);
}

void TxGL::TransformPoint(float& x, float& y, float& z, const D3DXMATRIX& m)
{
    const double px = x, py = y, pz = z;
    x = float(px * m._11 + py * m._21 + pz * m._31 + m._41);
    y = float(px * m._12 + py * m._22 + pz * m._32 + m._42);
    z = float(px * m._13 + py * m._23 + pz * m._33 + m._43);
}

bool TxGL::SpendLevelWork(int64_t units)
{
    if (units > LevelWorkLeft || Full()) return false;
    LevelWorkLeft -= units;
    return true;
}

void TxGL::Vertex(float x, float y, float z, uint8_t r, uint8_t g, uint8_t b)
{
    if (!Fits(1)) return;
    // List and texture change seldom between vertices: their part of the
    // key is kept from the previous one.
    if (!keyValid_ || keyList_ != CurrentList || keyTexture_ != CurrentTexture) {
        const size_t before = keyPrefixLength_;
        keyPrefixLength_ = IntToStrWidthTo(key_, CurrentList, kKeyWidth);
        keyPrefixLength_ += IntToStrWidthTo(key_ + keyPrefixLength_, CurrentTexture, kKeyWidth);
        keyList_ = CurrentList;
        keyTexture_ = CurrentTexture;
        keyValid_ = true;
        if (keyPrefixLength_ != before) keySerial_ = -1;  // the serial's characters are elsewhere now
    }
    size_t n = keyPrefixLength_;
    if (Serial >= 0 && Serial <= kLargestShortSerial) {
        if (keySerial_ >= 0 && Serial == keySerial_ + 1) CountUp(key_ + n, kKeyWidth);
        else IntToStrWidthTo(key_ + n, int32_t(Serial), kKeyWidth);
        keySerial_ = Serial;
        n += kKeyWidth;
    } else {
        keySerial_ = -1;
        // Past six digits the text order of the serial would no longer be
        // emission order: a mark above every digit that counts the millions,
        // then the rest in six digits (one character more, so that the
        // sort's packed keys stay narrow).
        const uint64_t millions = uint64_t(Serial) / 1000000u;
        if (millions <= kLastMillionMark - ':' + 1u) {
            key_[n++] = char(':' + millions - 1);
            n += WriteZeroPadded(key_ + n, uint32_t(uint64_t(Serial) % 1000000u), 6);
        } else {
            // Beyond, a mark above those and the serial in 7 bytes, most
            // significant first: the key stays within the 20 bytes the
            // sort compares packed (a serial is below twice the layer's
            // capacity, far below 2^56).
            key_[n++] = char(kLastMillionMark + 1);
            for (int shift = 48; shift >= 0; shift -= 8) key_[n++] = char(uint8_t(uint64_t(Serial) >> shift));
        }
    }
    // The record is filled where the list keeps it.
    CurrentVertex = Vertices.AddMade(std::string_view(key_, n), [&](txgl_vertex& v) {
        v.u = CurrentU;
        v.v = CurrentV;
        v.x = x;
        v.y = -y;
        v.z = z;
        TransformPoint(v.x, v.y, v.z, CurrentMatrix);
        v.texture = CurrentTexture;
        v.tag = CurrentTag;
        v.r = r;
        v.g = g;
        v.b = b;
        v.list = CurrentList;
    });
    ++Serial;
    ++Counts[CurrentList];
}

void TxGL::Corner(const TCorner& c)
{
    CurrentU = c.u;
    CurrentV = c.v;
    Vertex(c.x, c.y, c.z, uint8_t(ColorR), uint8_t(ColorG), uint8_t(ColorB));
}

void TxGL::Corner(const TColorCorner& c)
{
    CurrentU = c.u;
    CurrentV = c.v;
    Vertex(c.x, c.y, c.z, c.r, c.g, c.b);
}

void TxGL::Quad(const TCorner& v1, const TCorner& v2, const TCorner& v3, const TCorner& v4)
{
    if (!Fits(6)) return;
    Corner(v2);
    Corner(v3);
    Corner(v1);
    Corner(v4);
    Corner(v1);
    Corner(v3);
}

void TxGL::Quad4C(const TColorCorner& v1, const TColorCorner& v2, const TColorCorner& v3, const TColorCorner& v4)
{
    if (!Fits(6)) return;
    Corner(v1);
    Corner(v3);
    Corner(v4);
    Corner(v1);
    Corner(v2);
    Corner(v3);
}

void TxGL::Tri(const TCorner& v1, const TCorner& v2, const TCorner& v3)
{
    if (!Fits(3)) return;
    Corner(v1);
    Corner(v2);
    Corner(v3);
}

void TxGL::Tri3C(const TColorCorner& v1, const TColorCorner& v2, const TColorCorner& v3)
{
    if (!Fits(3)) return;
    Corner(v1);
    Corner(v2);
    Corner(v3);
}

void TxGL::Box(float x, float y, float z, float s, float h)
{
    Quad({x, y + h, z}, {x + s, y + h, z}, {x + s, y, z}, {x, y, z});
    Quad({x + s, y + h, z - s}, {x, y + h, z - s}, {x, y, z - s}, {x + s, y, z - s});
    Quad({x, y + h, z - s}, {x, y + h, z}, {x, y, z}, {x, y, z - s});
    Quad({x + s, y + h, z}, {x + s, y + h, z - s}, {x + s, y, z - s}, {x + s, y, z});
    Quad({x, y + h, z - s}, {x + s, y + h, z - s}, {x + s, y + h, z}, {x, y + h, z});
    Quad({x, y, z}, {x + s, y, z}, {x + s, y, z - s}, {x, y, z - s});
}

void TxGL::Pyramid(float x, float y, float z, float l, float w, float h)
{
    const float base = z - l;
    Tri({x, y, z}, {x - w, y + h, base}, {x + w, y + h, base});
    Tri({x, y, z}, {x - w, y - h, base}, {x - w, y + h, base});
    Tri({x, y, z}, {x + w, y + h, base}, {x + w, y - h, base});
    Tri({x, y, z}, {x + w, y - h, base}, {x - w, y - h, base});
    Quad({x + w, y + h, base}, {x - w, y + h, base}, {x - w, y - h, base}, {x + w, y - h, base});
}

void TxGL::Sphere(double cx, double cy, double cz, float radius, int slices, int stacks)
{
    const int32_t r = ColorR, g = ColorG, b = ColorB;
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    // Negative counts are refused by the mesh maker like any other bad size.
    if (FAILED(D3DXCreateSphere(D3DDevice.Get(), radius, UINT(slices), UINT(stacks), &mesh, &adjacency)) || !mesh) {
        if (adjacency) adjacency->Release();
        return;
    }
    const DWORD count = mesh->GetNumVertices();
    std::vector<float> positions(size_t(count) * 6);
    BYTE* data = nullptr;
    if (SUCCEEDED(mesh->LockVertexBuffer(D3DLOCK_NOSYSLOCK, &data))) {
        std::memcpy(positions.data(), data, positions.size() * sizeof(float));
        mesh->UnlockVertexBuffer();
        if (SUCCEEDED(mesh->LockIndexBuffer(D3DLOCK_NOSYSLOCK, &data))) {
            const DWORD faces = mesh->GetNumFaces();
            for (DWORD f = 0; f < faces && Fits(3); ++f) {
                // A face whose corner the mesh lacks is left out whole.
                uint16_t index[3];
                std::memcpy(index, data + size_t(f) * 6, 6);
                if (index[0] >= count || index[1] >= count || index[2] >= count) continue;
                for (const uint16_t i : index) {
                    const float* p = &positions[size_t(i) * 6];
                    Vertex(float(cx - p[0]), float(cy + p[1]), float(cz + p[2]), uint8_t(r), uint8_t(g), uint8_t(b));
                }
            }
            mesh->UnlockIndexBuffer();
        }
    }
    mesh->Release();
    if (adjacency) adjacency->Release();
}

void TxGL::ClearList(int list)
{
    if (list >= VertexListCount) return;
    CurrentVertex = nullptr;  // it may be among the vertices removed
    if (list < 0) {
        Serial = 0;
        CurrentTexture = -1;
        Vertices.FreeAll();
        for (int64_t& c : Counts) c = 0;
        return;
    }
    Vertices.Sort();
    int32_t i = Vertices.Locate(IntToStrWidth(list, kKeyWidth));
    if (i >= 0 && i < Vertices.Count()) {
        for (; i < Vertices.Count(); ++i) {
            Vertices.Prefetch(i + 8);
            const txgl_vertex* v = Vertices.GetByIndex(i);
            if (!v || v->list != list) break;
            Vertices.Delete(i);
        }
    }
    Counts[list] = 0;
    Serial = Vertices.Count();
    Vertices.Sort();
}

void TxGL::ResetBuffer(TVertexBuffer_array& buffers, int index)
{
    if (index < 0 || index >= VertexListCount || index >= buffers.Count()) return;
    buffers[index].Capacity = 0;
    buffers[index].PrimitiveCount = 0;
}

void TxGL::BuildVertexBuffer(TVertexBuffer_array& buffers, int list)
{
    if (list < 0 || list >= VertexListCount || list > buffers.Count() - 1) {
        ShowMessage("exiting prematuraly from vertex#" + IntToStr(list));
        return;
    }
    Tvbuffer& entry = buffers[list];
    const int64_t n = Counts[list];
    if (n == 0) {
        entry.PrimitiveCount = 0;
        return;
    }
    // Whole triangles in each buffer, and no buffer larger than the device's sizes hold.
    if (!SizeBuffer(entry, n, std::clamp<int64_t>(PieceLength - PieceLength % 3, 3, BufferPieceLength))) return;
    try {
        entry.PrimitiveCount = uint32_t(n / 3);
        entry.Highlighted = 0;
        const int32_t first = Vertices.Locate(IntToStrWidth(list, kKeyWidth));
        if (first < 0 || first >= Vertices.Count()) return;
        TLockedPieces pieces(entry);
        if (!pieces.Lock()) {
            ShowMessage("Failing to lock vertex buffer!!!");
            return;
        }
        txgl_vertex* last = WriteListVertices(Vertices, list, first, n, entry, pieces);
        if (last) CurrentVertex = last;
    } catch (...) {
        // Buffers or groups not written whole (no memory on the way) must
        // draw nothing.
        entry.PrimitiveCount = 0;
        throw;
    }
}

double Distance3(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

float DistanceBeyond(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float radius)
{
    return float(std::fabs(Distance3(a, b) - radius));
}

bool RayHitsTriangle(const D3DXVECTOR3& origin, const D3DXVECTOR3& end, const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                     const D3DXVECTOR3& c, float& t)
{
    const D3DXVECTOR3 pa = a - origin, pb = b - origin, pc = c - origin;
    const D3DXVECTOR3 dir = end - origin;
    const D3DXVECTOR3 e1 = pb - pa, e2 = pc - pa;
    D3DXVECTOR3 p;
    D3DXVec3Cross(&p, &dir, &e2);
    const float det = D3DXVec3Dot(&e1, &p);
    if (det < 0.0001f) return false;
    const D3DXVECTOR3 s = D3DXVECTOR3(0, 0, 0) - pa;
    const float u = D3DXVec3Dot(&s, &p);
    if (u < 0.0f || u > det) return false;
    D3DXVECTOR3 q;
    D3DXVec3Cross(&q, &s, &e1);
    const float v = D3DXVec3Dot(&dir, &q);
    if (v < 0.0f || u + v > det) return false;
    t = D3DXVec3Dot(&e2, &q) * (1.0f / det);
    return t >= 0.0f && t <= 1.0f;
}

int32_t TruncSingle(float x)
{
    if (!(x == x)) return 0;
    if (x >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (x < -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(x);
}
