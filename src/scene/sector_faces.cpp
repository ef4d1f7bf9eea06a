// The triangles of one sector side: wall strips cut into pieces of about
// one unit, the floor or ceiling face as a quad or two triangles, and the
// full-height diagonal walls of steep split halves. Every piece takes its
// texture from its own face record and is tagged with that record.
#include <algorithm>
#include <utility>

#include "scene/scene.h"

namespace {

constexpr double STEEP = 3.75;
constexpr double TEXEL = 1.0 / 256.0;
// Pieces with face records of their own; higher pieces share the last one.
constexpr int RECORD_PIECES = 6;
constexpr int TOP_PIECE = 5;

constexpr tface_uv UNIT_SQUARE = {{0.0, 1.0, 1.0, 0.0}, {0.0, 0.0, 1.0, 1.0}};

// The corners of the sector in the order c1..c4: x offsets from X and z
// offsets from Z.
constexpr double CORNER_DX[4] = {0.0, 1.0, 1.0, 0.0};
constexpr double CORNER_DZ[4] = {0.0, 0.0, -1.0, -1.0};

// First corner P and second corner Q of each side, and of each diagonal
// kind, as indexes into c1..c4; the corner that makes a side steep in split
// 1 and in split 2.
constexpr int SIDE_P[4] = {0, 2, 3, 1};
constexpr int SIDE_Q[4] = {1, 3, 0, 2};
constexpr int SIDE_STEEP1[4] = {1, 3, 3, 1};
constexpr int SIDE_STEEP2[4] = {0, 2, 0, 2};
constexpr int DIAGONAL_P[4] = {0, 2, 3, 1};
constexpr int DIAGONAL_Q[4] = {2, 0, 1, 3};

tface_texture Record(const tsector& s, int part, int side, int piece)
{
    return s.walls[part * 4 + side][std::min(piece, RECORD_PIECES - 1)];
}

// Boundary above piece k of a strip: Y + k + h(k); h(-1) is 1.0, and pieces
// without a height of their own are one unit.
double PieceHeight(const tsector& s, int part, int k)
{
    if (k < 0 || k >= RECORD_PIECES) return 1.0;
    return part == 0 ? s.floorPieceHeights[k] : s.ceilingPieceHeights[k];
}

// Cuts the texture of a wall's top piece to the part of the piece that the
// slope leaves; t1 and t2 are the heights of its two slope corners above the
// base. A corner at height 0 (first the one of t1, then of t2) takes the
// coordinates of the corner at the base beside it; below a unit, the lower
// of two raised corners moves towards its base corner by the difference.
void CutTopPiece(tface_uv& uv, double t1, double t2, int corner1, int base1, int corner2, int base2)
{
    if (t1 == 0) {
        uv.tu[corner1] = uv.tu[base1];
        uv.tv[corner1] = uv.tv[base1];
    }
    if (t2 == 0) {
        uv.tu[corner2] = uv.tu[base2];
        uv.tv[corner2] = uv.tv[base2];
    }
    if (t1 <= 1 && t2 <= 1) {
        if (0 < t2 && t2 < t1) uv.tv[corner2] += (uv.tv[base2] - uv.tv[corner2]) * (t1 - t2);
        if (0 < t1 && t1 < t2) uv.tv[corner1] += (uv.tv[base1] - uv.tv[corner1]) * (t2 - t1);
    }
}

}  // namespace

tface_uv tr_scene::FaceUV(const tface_texture& record, uint32_t faceColor)
{
    tface_uv uv;
    for (int k = 0; k < 4; ++k) {
        uv.tu[k] = record.uv[k].u;
        uv.tv[k] = record.uv[k].v;
    }
    uv.tu[1] -= TEXEL;
    uv.tu[2] -= TEXEL;
    uv.tv[2] -= TEXEL;
    uv.tv[3] -= TEXEL;
    if (record.flip) {
        std::swap(uv.tu[0], uv.tu[1]);
        std::swap(uv.tu[2], uv.tu[3]);
    }
    // Each turn hands every corner the pair of the corner before it.
    for (int n = record.rotations % 4; n > 0; --n) {
        const tface_uv old = uv;
        for (int k = 0; k < 4; ++k) {
            uv.tu[k] = old.tu[(k + 3) % 4];
            uv.tv[k] = old.tv[(k + 3) % 4];
        }
    }
    if (!Textured) uv = UNIT_SQUARE;
    if (ColorCodes) {
        switch (record.mode & 127) {
        case 0: GL.SetColorTColor(faceColor); break;
        case 1: GL.SetColorTColor(0x00FF00); break;
        case 2: GL.SetColorTColor(0xFF0000); break;
        default: break;
        }
    }
    return uv;
}

tface_uv tr_scene::SelectFaceTexture(int32_t defaultId, const tface_texture& record, uint32_t faceColor)
{
    const tface_uv uv = FaceUV(record, faceColor);
    const int32_t id = record.textureId;
    if (id == HIDDEN_FACE_TEXTURE) defaultId = HIDDEN_FACE_TEXTURE;
    if (Textured && id != 0 && defaultId <= 6000) {
        GL.SetTexture(id);
        return uv;
    }
    GL.SetTexture(defaultId);
    return UNIT_SQUARE;
}

tface_uv tr_scene::SelectWallTexture(const tface_texture& record, uint16_t sideId, uint32_t color)
{
    const tface_uv uv = FaceUV(record, color);
    const int32_t id = record.textureId;
    GL.SetTexture(!Textured && id != HIDDEN_FACE_TEXTURE ? sideId : id);
    return uv;
}

void tr_scene::SetFaceTag(uint8_t part, uint8_t slot, uint8_t piece)
{
    emitTag_.part = part;
    emitTag_.slot = slot;
    emitTag_.piece = piece;
    GL.SetTag(emitTag_);
}

void tr_scene::EmitStrip(int part, int recordSide, int slot, double px, double pz, double qx, double qz, double Y,
                         double bottom, bool up, uint16_t sideId, uint32_t color)
{
    const tsector& s = *emitSector_;
    const int n = std::min(TruncSingle(float(bottom)), STRIP_MOST_PIECES);
    for (int k = 0; k < n; ++k) {
        const double height = 1.0 - PieceHeight(s, part, k - 1) + PieceHeight(s, part, k);
        const int piece = std::min(k, RECORD_PIECES - 1);
        SetFaceTag(uint8_t(part), uint8_t(slot), uint8_t(piece));
        const tface_uv uv = SelectWallTexture(Record(s, part, recordSide, k), sideId, color);
        const float fpx = float(px), fpz = float(pz), fqx = float(qx), fqz = float(qz);
        if (up) {
            const float top = float(Y + height), low = float(Y);
            GL.Quad({fpx, top, fpz, uv.tu[0], uv.tv[0]}, {fqx, top, fqz, uv.tu[1], uv.tv[1]},
                    {fqx, low, fqz, uv.tu[2], uv.tv[2]}, {fpx, low, fpz, uv.tu[3], uv.tv[3]});
            Y += height;
        } else {
            const float high = float(Y), low = float(Y - height);
            GL.Quad({fpx, high, fpz, uv.tu[0], uv.tv[0]}, {fqx, high, fqz, uv.tu[1], uv.tv[1]},
                    {fqx, low, fqz, uv.tu[2], uv.tv[2]}, {fpx, low, fpz, uv.tu[3], uv.tv[3]});
            Y -= height;
        }
    }
}

void tr_scene::EmitFloorWallStrip(int side, double X, double Y, double Z, double bottom)
{
    const int p = SIDE_P[side], q = SIDE_Q[side];
    EmitStrip(0, side, side, X + CORNER_DX[p], Z + CORNER_DZ[p], X + CORNER_DX[q], Z + CORNER_DZ[q], Y, bottom, true,
              emitFaces_->ids[side], emitFaces_->colors[side]);
}

void tr_scene::EmitCeilingWallStrip(int side, double X, double Y, double Z, double bottom)
{
    const int p = SIDE_P[side], q = SIDE_Q[side];
    EmitStrip(1, side, side, X + CORNER_DX[p], Z + CORNER_DZ[p], X + CORNER_DX[q], Z + CORNER_DZ[q], Y, bottom, false,
              emitFaces_->ids[side], emitFaces_->colors[side]);
}

void tr_scene::EmitDiagonalWallStrip(int kind, double X, double Y, double Z, double bottom)
{
    // Drawn within the face, in the face's colour, with the records of the
    // side of the same number.
    const int p = DIAGONAL_P[kind], q = DIAGONAL_Q[kind];
    EmitStrip(0, kind, kind, X + CORNER_DX[p], Z + CORNER_DZ[p], X + CORNER_DX[q], Z + CORNER_DZ[q], Y, bottom, true,
              emitFaces_->ids[kind], emitFaces_->colors[4]);
}

// Where the corners of the sector side lie: the sector's X, Y and Z, each
// corner's height above Y and above the whole-unit base.
struct tr_scene::TSideCorners {
    double X, Y, Z;
    double base;  // the whole-unit base height
    double H;     // the room's height: steep walls reach it
    double c[4], o[4];

    TxGL::TCorner At(int k, double height, double u, double v) const
    {
        return {float(X + CORNER_DX[k]), float(height), float(Z + CORNER_DZ[k]), u, v};
    }
};

void tr_scene::EmitSectorFaces(const tsector& sector, const tpick_tag& tag, double X, double Y, double Z,
                               const tsector_faces& faces, int split)
{
    emitSector_ = &sector;
    emitFaces_ = &faces;
    emitTag_ = tag;
    TSideCorners at{X, Y, Z, double(faces.base), double(faces.roomHeight), {}, {}};
    for (int k = 0; k < 4; ++k) {
        at.c[k] = faces.c[k];
        at.o[k] = at.c[k] - at.base;
    }
    if (faces.part == 0) {
        EmitFloorWalls(at, split);
        GL.SetColorTColor(faces.colors[4]);
        EmitFloorFace(at, split);
    } else {
        EmitCeilingWalls(at);
        GL.SetColorTColor(faces.colors[4]);
        EmitCeilingFace(at, split);
    }
}

void tr_scene::EmitFloorWalls(const TSideCorners& at, int split)
{
    const tsector_faces& faces = *emitFaces_;
    const double Y = at.Y, base = at.base;
    for (int side = 0; side < 4; ++side) {
        const uint16_t id = faces.ids[side];
        if (id == 0) continue;
        const uint32_t color = faces.colors[side];
        GL.SetColorTColor(color);
        const bool steep =
            (split == 1 && at.o[SIDE_STEEP1[side]] >= STEEP) || (split == 2 && at.o[SIDE_STEEP2[side]] >= STEEP);
        EmitFloorWallStrip(side, at.X, Y, at.Z, steep ? at.H : base);

        // The top piece, from the base up to the corners: its texture is
        // cut to the part of the piece that the slope leaves.
        const int p = SIDE_P[side], q = SIDE_Q[side];
        const double t1 = at.o[p], t2 = at.o[q];
        SetFaceTag(0, uint8_t(side), TOP_PIECE);
        tface_uv uv = SelectWallTexture(Record(*emitSector_, 0, side, TOP_PIECE), id, color);
        CutTopPiece(uv, t1, t2, 0, 3, 1, 2);
        if (!steep)
            GL.Quad(at.At(p, Y + base + t1, uv.tu[0], uv.tv[0]), at.At(q, Y + base + t2, uv.tu[1], uv.tv[1]),
                    at.At(q, Y + base, uv.tu[2], uv.tv[2]), at.At(p, Y + base, uv.tu[3], uv.tv[3]));
    }
}

void tr_scene::EmitFloorFace(const TSideCorners& at, int split)
{
    const tsector_faces& faces = *emitFaces_;
    const uint32_t faceColor = faces.colors[4];
    const tface_texture& recordA = emitSector_->floorFaces[0];
    const tface_texture& recordB = emitSector_->floorFaces[1];
    auto corner = [&](int k, const tface_uv& uv, int uvCorner) {
        return at.At(k, at.Y + at.c[k], uv.tu[uvCorner], uv.tv[uvCorner]);
    };
    // One half of a split face, or the diagonal wall its steep corner makes.
    auto half = [&](int faceIndex, const tface_texture& record, int steepCorner, int diagonal, int k1, int uv1, int k2,
                    int uv2, int k3, int uv3) {
        const uint16_t id = faces.ids[4 + faceIndex];
        if (id == 0) return;
        if (at.o[steepCorner] >= STEEP) {
            EmitDiagonalWallStrip(diagonal, at.X, at.Y, at.Z, at.H);
            return;
        }
        SetFaceTag(0, 4, uint8_t(faceIndex));
        const tface_uv uv = SelectFaceTexture(id, record, faceColor);
        GL.Tri(corner(k1, uv, uv1), corner(k2, uv, uv2), corner(k3, uv, uv3));
    };
    switch (split) {
    case 0:
        if (faces.ids[4] != 0) {
            SetFaceTag(0, 4, 0);
            const tface_uv uv = SelectFaceTexture(faces.ids[4], recordA, faceColor);
            GL.Quad(corner(3, uv, 0), corner(2, uv, 1), corner(1, uv, 2), corner(0, uv, 3));
        }
        break;
    case 1:
        half(0, recordA, 3, 0, 3, 0, 2, 1, 0, 3);
        half(1, recordB, 1, 1, 2, 1, 1, 2, 0, 3);
        break;
    case 2:
        half(1, recordB, 2, 2, 3, 0, 2, 1, 1, 2);
        half(0, recordA, 0, 3, 3, 0, 1, 2, 0, 3);
        break;
    default: break;
    }
}

// Ceiling walls hang from the ceiling down to the base, then the top piece
// down to the corners.
void tr_scene::EmitCeilingWalls(const TSideCorners& at)
{
    const tsector_faces& faces = *emitFaces_;
    const double Y = at.Y, base = at.base;
    for (int side = 0; side < 4; ++side) {
        const uint16_t id = faces.ids[side];
        if (id == 0) continue;
        const uint32_t color = faces.colors[side];
        GL.SetColorTColor(color);
        EmitCeilingWallStrip(side, at.X, Y, at.Z, base);

        const int p = SIDE_P[side], q = SIDE_Q[side];
        const double t1 = at.o[p], t2 = at.o[q];
        SetFaceTag(1, uint8_t(side), TOP_PIECE);
        tface_uv uv = SelectWallTexture(Record(*emitSector_, 1, side, TOP_PIECE), id, color);
        CutTopPiece(uv, t1, t2, 3, 0, 2, 1);
        GL.Quad(at.At(p, Y - base, uv.tu[0], uv.tv[0]), at.At(q, Y - base, uv.tu[1], uv.tv[1]),
                at.At(q, Y - base - t2, uv.tu[2], uv.tv[2]), at.At(p, Y - base - t1, uv.tu[3], uv.tv[3]));
    }
}

// The halves of a ceiling face never become walls.
void tr_scene::EmitCeilingFace(const TSideCorners& at, int split)
{
    const tsector_faces& faces = *emitFaces_;
    const uint32_t faceColor = faces.colors[4];
    const tface_texture& recordA = emitSector_->ceilingFaces[0];
    const tface_texture& recordB = emitSector_->ceilingFaces[1];
    auto corner = [&](int k, const tface_uv& uv) { return at.At(k, at.Y - at.c[k], uv.tu[k], uv.tv[k]); };
    auto face = [&](int faceIndex, const tface_texture& record, int k1, int k2, int k3) {
        const uint16_t id = faces.ids[4 + faceIndex];
        if (id == 0) return;
        SetFaceTag(1, 4, uint8_t(faceIndex));
        const tface_uv uv = SelectFaceTexture(id, record, faceColor);
        GL.Tri(corner(k1, uv), corner(k2, uv), corner(k3, uv));
    };
    switch (split) {
    case 0:
        if (faces.ids[4] != 0) {
            SetFaceTag(1, 4, 0);
            const tface_uv uv = SelectFaceTexture(faces.ids[4], recordA, faceColor);
            GL.Quad(corner(0, uv), corner(1, uv), corner(2, uv), corner(3, uv));
        }
        break;
    case 2:
        face(0, recordA, 0, 1, 3);
        face(1, recordB, 1, 2, 3);
        break;
    case 1:
        face(0, recordA, 0, 2, 3);
        face(1, recordB, 0, 1, 2);
        break;
    default: break;
    }
}
