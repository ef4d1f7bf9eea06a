// The 3D scene: turns the open project and the loaded level into the twelve
// vertex buffers the 3D view draws.
//
// The scene is organised in ten layers, each with a dirty flag, one or two
// vertex lists of the drawing layer and the vertex buffers of the same
// numbers:
//
//   layer 0  list 2       the current room (mesh, lighting, player start)
//   layer 1  list 1       the neighbour room
//   layer 2  list 0       the rooms chosen by RoomFilter
//   layer 3  lists 3, 4   statics (4: the selected static in edit mode 7)
//   layer 4  lists 5, 6   items (6: selected and highlighted items)
//   layer 5  list 7       camera and sink symbols (edit mode 4)
//   layer 6  list 8       light symbols (edit mode 6); relighting of lists 1, 2
//   layer 7  list 9       box volumes of the current room (edit mode 8)
//   layer 8  list 10      flyby camera symbols (edit mode 9)
//   layer 9  list 11      sound-source symbols (edit mode 10)
//
// Whoever changes what is shown flags the affected layers (SetDirty); the
// view's build callback then calls Update, which rebuilds exactly the dirty
// layers. Every vertex carries a tpick_tag naming the project element it
// belongs to.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "display/drawing_layer.h"
#include "display/vertex_buffers.h"
#include "level/project_records.h"
#include "level/trcatalog.h"

class Ttrlevel;
class Tmesh_list;

#pragma pack(push, 1)
// The 8-byte tag every vertex carries. Kinds: 0 the player start (all bytes
// 0), 1 a sector face, 2 static, 3 item, 4 camera or sink, 5 light, 6 box
// volume, 7 flyby camera, 8 sound source.
struct tpick_tag {
    uint8_t kind;
    uint8_t room;     // project room number (low byte)
    uint8_t element;  // objects: 1-based element number (low byte); faces: unused
    uint8_t row;      // faces: sector row, 1-based
    uint8_t column;   // faces: sector column, 1-based
    uint8_t part;     // faces: 0 floor side, 1 ceiling side
    uint8_t piece;    // faces: wall piece 0..5, or 0/1 for the face's two halves
    uint8_t slot;     // faces: side wall 0..3, 4 the floor or ceiling face
};
#pragma pack(pop)
static_assert(sizeof(tpick_tag) == 8);

// Pick tag kinds.
constexpr uint8_t TAG_PLAYER_START = 0;
constexpr uint8_t TAG_SECTOR_FACE = 1;
constexpr uint8_t TAG_STATIC = 2;
constexpr uint8_t TAG_ITEM = 3;
constexpr uint8_t TAG_CAMERA = 4;
constexpr uint8_t TAG_LIGHT = 5;
constexpr uint8_t TAG_BOX = 6;
constexpr uint8_t TAG_FLYBY = 7;
constexpr uint8_t TAG_SOUND = 8;

// Texture ids the scene uses (loaded by the main window at start-up).
constexpr int32_t SOLID_TEXTURE = 5001;    // plain room faces
constexpr int32_t COLORED_TEXTURE = 5002;  // symbols and wireframe buffers
constexpr int32_t SPLIT_TEXTURE_A = 5003;
constexpr int32_t SPLIT_TEXTURE_B = 5004;

constexpr int SCENE_LAYERS = 10;
constexpr int SCENE_BUFFERS = 12;

// What the room mesh hands to the sector face emitter for one sector and
// pass.
struct tsector_faces {
    uint8_t part = 0;  // 0 floor side, 1 ceiling side
    float c[4] = {};   // corner heights c1..c4 above the pass's Y
    int32_t base = 0;  // whole-unit base height (byte 0 or byte 6)
    // Texture ids: side walls 0..3, face A (quad or first triangle), face B
    // (second triangle); 0 means not drawn.
    uint16_t ids[6] = {};
    // Colours (red in the low byte): side walls 0..3 and the face.
    uint32_t colors[5] = {};
    float roomHeight = 0;
};

// Texture coordinates of the four corners of a face.
struct tface_uv {
    double tu[4];
    double tv[4];
};

// Four corner heights, in whole units, from a sector's base, quarter offset
// and four edge or corner values (quarter units) for a split mode 0, 1 or 2.
// Any other split leaves the outputs unchanged.
void SectorCornerHeights(int split, int base, int offset, int e1, int e2, int e3, int e4, double& c1, double& c2,
                         double& c3, double& c4);
// The corner heights of a sector's floor (bytes 0 to 5) or ceiling (bytes 6
// to 11 in order: base, offset, then the four edge values); 0 where the
// split mode gives none.
void FloorCornerHeights(const tsector& s, double c[4]);
void CeilingCornerHeights(const tsector& s, double c[4]);
// The columns and rows of a room's grid that are drawn: the low byte of the
// room's size; a grid smaller than that (a room resized without a fresh
// grid) is drawn as far as it goes.
int DrawnColumns(const tcuarto& r);
int DrawnRows(const tcuarto& r);

// 0 when the delimiter does not occur in the text, otherwise 1 plus the
// number of its occurrences ("3,5," has three fields, the last one empty).
int CountFields(std::string_view text, char delimiter);
// The n-th field (1-based): the first n - 1 fields and their delimiters are
// removed, then the text up to the next delimiter, or the whole rest. Past
// the last field the last one is returned again.
std::string GetField(std::string_view text, char delimiter, int n);

// The vertices of one list from `first` on, taken as triangles, for the
// shadow test. The triangles are filed by the cells of a grid that their
// boxes touch, so that a segment meets only the triangles of the cells it
// crosses; the answer is the one every triangle would give.
class TShadowTriangles {
public:
    TShadowTriangles(TxGL& gl, int list, int32_t first);
    // The same from where the list's vertices lie, in list order (one or two
    // left over after the last triangle are no corner).
    explicit TShadowTriangles(std::vector<D3DXVECTOR3> corners);
    // Whether any triangle that does not have `vertex` as a corner lies
    // between the light and the vertex.
    bool Blocks(const D3DXVECTOR3& light, const D3DXVECTOR3& vertex) const;
    // The same at a cost taken off `work`: one for each slab and cell of
    // the grid the segment crosses and for each triangle filed there, four
    // more for each triangle the segment is tested against. Once `work` is
    // spent the test stops and the vertex counts as lit.
    bool Blocks(const D3DXVECTOR3& light, const D3DXVECTOR3& vertex, int64_t& work) const;

private:
    struct TBox {
        float lo[3], hi[3];
    };
    // The cells each triangle is filed in: first and last along x, y, z.
    using TSpan = std::array<int32_t, 6>;
    // One segment's way through the grid (lighting.cpp).
    struct TWalk;
    void FileTriangles();
    // Every triangle's box; the bounds of them all and the largest
    // coordinate. False when a corner is no finite point.
    bool BoxTriangles(double lo[3], double hi[3], double& largest);
    // Cells grown from one for every TRIANGLES_PER_CELL triangles until the
    // filings stay within bounds; each triangle's span. Returns the
    // filings.
    int64_t SizeCells(const double lo[3], const double hi[3], double largest, std::vector<TSpan>& spans);
    // Files every triangle in the cells of its span.
    void FillCells(const std::vector<TSpan>& spans, int64_t filings);
    // The cell along axis k (x, y, z) that holds the coordinate, or the
    // nearest one.
    int CellOf(int k, double v) const;
    size_t CellIndex(int x, int y, int z) const;

    std::vector<D3DXVECTOR3> corners_;  // three per triangle
    std::vector<TBox> boxes_;
    // The grid: cells along x, y and z; the triangles of the cell at
    // CellIndex at filed_[cellStart_[i]] up to filed_[cellStart_[i + 1]].
    int cells_[3] = {0, 0, 0};
    double origin_[3] = {0, 0, 0};
    double cell_ = 1;
    double perCell_ = 1;  // 1 / cell_
    double margin_ = 0;   // far more than any rounding of the segment test
    std::vector<uint32_t> cellStart_;
    std::vector<uint32_t> filed_;
    // Which triangles the current segment has been tested against.
    mutable std::vector<uint32_t> seen_;
    mutable uint32_t segment_ = 0;
};

// 1 when the vertex is lit, 0 when a triangle of the list (from its first
// vertex at index `first`) lies between the light and the vertex.
int VertexShadowed(TxGL& gl, int list, int32_t first, const D3DXVECTOR3& light, const D3DXVECTOR3& vertex);

// The shadow test work (see TShadowTriangles::Blocks) one lighting pass of
// a room may do, about a second: the largest rooms the editor makes, with 25
// lights of the largest range, need a seventh of it; a crafted room of
// 255 x 255 sectors could otherwise take half a minute.
constexpr int64_t SHADOW_TEST_BUDGET = int64_t(1) << 26;

// A wall strip has at most this many pieces. Steep walls and halves run up
// to the room's height, a u16: rooms higher than 255 units are outside the
// design, and their strips stop there.
constexpr int32_t STRIP_MOST_PIECES = 255;
// Strips up to a base have at most this many pieces: a base is a signed
// byte of the sector record.
constexpr int32_t BASE_MOST_PIECES = INT8_MAX;
// The vertices one sector draws at most, for any values its records hold,
// with every face drawn. Floor side: a steep side runs up to the room's
// height with no top piece; with a split floor whose two raised corners
// make both halves steep, all four sides are steep, and each half is a
// diagonal wall up to the room's height: 6 strips of 255 quads. (A side
// that is not steep has at most 127 pieces up to the base and its top
// piece, 128 quads; a half that is not steep is a triangle; an unsplit
// floor has no steep side: all of those make less.) Ceiling side: four
// walls of at most 127 pieces down to the base, each with its top piece,
// and the face, a quad or two triangles: 4 x 128 + 1 quads. 2,043 quads
// are 12,258 vertices.
constexpr int64_t SECTOR_MOST_QUADS = 6 * STRIP_MOST_PIECES + 4 * (BASE_MOST_PIECES + 1) + 1;
constexpr int64_t SECTOR_MOST_VERTICES = 6 * SECTOR_MOST_QUADS;
// The player start's box.
constexpr int64_t PLAYER_START_VERTICES = 36;
// The sectors a project that loads can hold at most: 255 rooms (room
// numbers are single bytes) of 255 x 255 sectors (the grid is drawn as far
// as the low bytes of its rows and columns reach), and no more than the
// project reader lets the grids take of its memory limit (a slot of a grid
// is a tsector record).
int64_t MostProjectSectors(int64_t memoryLimit);
// The room geometry (layers 0 to 2) the largest project that loads under
// that memory limit makes with every face drawn: each sector drawing the
// most there is, and the player start's box. Counts, serials and sizes of
// the drawing layer are 64-bit: this, with LevelDrawWork for the level's
// meshes and the symbols the project's tables hold, overflows nothing; a
// scene of more than the layer can hold is out of memory.
int64_t MostRoomVertices(int64_t memoryLimit);

class tr_scene {
public:
    tr_scene();
    ~tr_scene();
    tr_scene(const tr_scene&) = delete;
    tr_scene& operator=(const tr_scene&) = delete;

    // ---- fields, with their start values ----
    std::array<uint8_t, SCENE_LAYERS> Dirty;  // all 1
    double Translation[3] = {0.0, 0.0, 0.0};
    double Rotation[3] = {0.0, 0.0, 0.0};  // degrees
    double Scale[3] = {1.0, 1.0, 1.0};
    // Bounding box of the room of interest (empty: min above max).
    double BoxMin[3] = {922337203685477.6, 922337203685477.6, 922337203685477.6};
    double BoxMax[3] = {-922337203685477.6, -922337203685477.6, -922337203685477.6};
    // The buffers the view draws (it keeps a pointer to this field).
    TVertexBuffer_array Buffers;
    TxGL GL;
    Ttrlevel* Level = nullptr;
    tcuarto_list* Project = nullptr;
    Tmesh_list* Meshes = nullptr;
    TMoveableCatalog* Catalog = nullptr;
    int32_t RoomOfInterest = 1;
    uint8_t Lighting = 0;
    uint8_t Textured = 0;
    uint8_t HideNeighbors = 0;
    int32_t EditMode = 0;
    uint8_t HideFloors = 0;
    uint8_t HideCeilings = 0;
    uint8_t HideStatics = 0;
    uint8_t HideItems = 0;
    uint8_t SelectedLightOnly = 0;
    std::string RoomFilter;
    int32_t FloorIcon = 0;
    int32_t SplitIcon = 0;
    int16_t Brightness = 0;
    uint8_t ShowLightRanges = 0;
    uint8_t ColorCodes = 1;
    // The shadow test work one lighting pass of a room may do; the places
    // of vertices after it is spent take their lights without shadows.
    int64_t ShadowTestBudget = SHADOW_TEST_BUDGET;
    // The shadow test work the last lighting pass did.
    int64_t ShadowTestsMade = 0;
    // The vertices room geometry (the lists of layers 0 to 2) holds at most;
    // negative: MostRoomVertices of ProjectMemoryLimit as it is at each
    // update. What lies past it (rooms a filter names more than once) is
    // left undrawn, whole triangles at a time.
    int64_t RoomVertexBudget = -1;
    // The level work (TxGL::LevelWorkLeft) the level's meshes may cost in
    // one update.
    int64_t LevelWorkBudget = LevelDrawWork;

    // ---- layers ----
    // 0: layers 0, 3..9; 1: layers 1, 3, 4, 6; 2: layers 2, 3, 4; 3..9 that
    // layer; 10: every layer, and every list emptied. Taken modulo 128;
    // other values do nothing.
    void SetDirty(int part);
    // Rebuilds the dirty layers into their lists and buffers. Room geometry
    // holds RoomVertexBudget vertices at most, and the level's meshes
    // (statics and items) may cost the drawing layer LevelWorkBudget in each
    // update; what lies beyond either is left undrawn. The drawing layer
    // may hold what memory the system has available (AvailableVertices).
    // When memory runs out on the way, the out-of-memory message is shown
    // (ShowException), every
    // list of the drawing layer is emptied and its memory given back, the
    // buffers of the layers that were being rebuilt draw nothing and every
    // layer is dirty again: the next update tries again.
    void Update();
    // BoxMin, BoxMax and Translation from room RoomOfInterest (the box of
    // the room, the translation that moves its centre to the origin).
    void CenterOnRoom();
    // A fresh sector grid for a room of the project (see InitRoomSectors).
    void InitRoomSectors(uint8_t room);

    // ---- room geometry ----
    // Floor, ceiling and walls of one room into the current list.
    void BuildRoomMesh(int room);
    // The triangles of one sector side (floor or ceiling part).
    void EmitSectorFaces(const tsector& sector, const tpick_tag& tag, double X, double Y, double Z,
                         const tsector_faces& faces, int split);
    // Texture coordinates of a face record; sets the current colour by the
    // record's colour mode when ColorCodes is on (mode 0: `faceColor`).
    tface_uv FaceUV(const tface_texture& record, uint32_t faceColor);
    // Sets the texture of a floor or ceiling face and returns its coordinates.
    tface_uv SelectFaceTexture(int32_t defaultId, const tface_texture& record, uint32_t faceColor);

    // ---- objects (each builder selects its lists) ----
    // The room's statics as the level's static meshes: list 3, the selected
    // static in edit mode 7 list 4.
    void BuildRoomStatics(int room);
    // The project's items in the room as the level's moveables in their
    // first frame: list 5, selected and highlighted items list 6.
    void BuildRoomItems(int room);

    // ---- symbols (into the current list) ----
    void BuildPlayerStart();
    void BuildRoomLights(int room);
    void BuildCameras(int room);
    void BuildFlybyCameras(int room);
    void BuildSoundEntries(int room);
    // The box volumes of the project's current room.
    void BuildRoomBoxes();

    // ---- lighting ----
    // Every vertex of the list takes the room's shaded ambient colour, then
    // the room's lights are added.
    void LightRoom(int room, int list);
    void AddRoomLights(int room, int list);

private:
    // The room of that number, or nil when the project has no such room.
    const tcuarto* RoomAt(int room) const;
    // The neighbour room when it is drawn: not 0, not the current room,
    // HideNeighbors off; 0 otherwise.
    int DrawnNeighbour() const;
    // Room mesh and, in the player start's room, the player start.
    void BuildRoomWithStart(int room);
    // The filter rooms of layer 2, in the order the filter names them.
    void BuildFilterRooms();
    // The rooms whose statics and items are drawn, in drawing order.
    std::vector<int> ObjectLayerRooms() const;
    // The steps of Update: the lists of the dirty layers emptied; filled
    // again under the scene's transform (rooms, symbols, statics, items and
    // boxes), when the room of interest exists; turned into buffers.
    void EmptyDirtyLists();
    void FillDirtyLists();
    void FillRoomLayers(int current, int neighbour);
    void FillSymbolLayers(int current, int neighbour);
    void BuildDirtyBuffers();
    // After running out of memory in an update that was rebuilding the
    // layers flagged in `rebuilding`: see Update.
    void AbandonUpdate(const std::array<uint8_t, SCENE_LAYERS>& rebuilding);

    void FloorSector(const tcuarto& room, int column, int row, double X, double Y, double Z, tpick_tag tag);
    void CeilingSector(const tcuarto& room, int column, int row, double X, double Y, double Z, tpick_tag tag);

    // The steps of EmitSectorFaces, on the sector, faces and tag it is
    // working on: the side walls with their top pieces, then the floor or
    // ceiling face (a quad or two halves). Inline, and defined beside
    // EmitSectorFaces alone, so that the steps cost no calls.
    struct TSideCorners;
    inline void EmitFloorWalls(const TSideCorners& at, int split);
    inline void EmitFloorFace(const TSideCorners& at, int split);
    inline void EmitCeilingWalls(const TSideCorners& at);
    inline void EmitCeilingFace(const TSideCorners& at, int split);
    // Pieces of one wall; the sector, faces and tag are those that
    // EmitSectorFaces is working on.
    void EmitFloorWallStrip(int side, double X, double Y, double Z, double bottom);
    void EmitCeilingWallStrip(int side, double X, double Y, double Z, double bottom);
    void EmitDiagonalWallStrip(int kind, double X, double Y, double Z, double bottom);
    // One strip of pieces from P to Q; `up` rises (floor side) or falls.
    void EmitStrip(int part, int recordSide, int slot, double px, double pz, double qx, double qz, double Y,
                   double bottom, bool up, uint16_t sideId, uint32_t color);
    // Sets the texture of a wall piece and returns its coordinates.
    tface_uv SelectWallTexture(const tface_texture& record, uint16_t sideId, uint32_t color);
    void SetFaceTag(uint8_t part, uint8_t slot, uint8_t piece);

    // Placement of a symbol on the floor of a sector of a room: the
    // sector's X and Z, and F, the room's y plus the sector's highest floor
    // corner (the column and row clamped to the grid).
    struct TPlacement {
        double X, Z, F;
    };
    TPlacement PlaceOnSector(const tcuarto& room, int column, int row) const;
    void SetObjectTag(uint8_t kind, int room, int element);

    int32_t VersionCode() const;

    // What EmitSectorFaces is working on, for the strip emitters.
    const tsector* emitSector_ = nullptr;
    const tsector_faces* emitFaces_ = nullptr;
    tpick_tag emitTag_{};
};
