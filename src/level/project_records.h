// The records of an editor project: the project itself, its rooms, and the
// fixed-layout records that the project file stores byte for byte.
//
// Every record marked "stored raw" is packed, little-endian, with IEEE
// single floats, and its size is checked below; the same layout is used in
// memory. Fixed tables are numbered from 1: a table of capacity N is an array
// of N + 1 slots whose slot 0 is never used, and a count says how many of the
// first slots hold entries.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/rtl/shortstring.h"

class TProgressBar;

static_assert(std::endian::native == std::endian::little, "stored records are little-endian");

// Capacities of the fixed tables.
constexpr int MAX_PROJECT_ITEMS = 256;
constexpr int MAX_PROJECT_CAMERAS = 99;
constexpr int MAX_PROJECT_FLYBYS = 64;
constexpr int MAX_PROJECT_SOUNDS = 32;
constexpr int MAX_PROJECT_ANIM_SETS = 16;
constexpr int MAX_ROOM_BOXES = 10;
constexpr int MAX_ROOM_STATICS = 30;
constexpr int MAX_ROOM_LIGHTS = 25;
// Frames of one animated texture set.
constexpr int ANIM_SET_FRAMES = 16;
// Spare room slots a project keeps past its room count (after New and a load).
constexpr int SPARE_ROOM_SLOTS = 12;
// Texture id of a face that is not drawn.
constexpr uint16_t HIDDEN_FACE_TEXTURE = 9999;

#pragma pack(push, 1)

// One corner of a face in texture page units (0.0 .. 1.0).
struct TUVPoint {
    float u;
    float v;
};

// The texture of one face. Stored raw.
struct tface_texture {
    uint16_t textureId;  // HIDDEN_FACE_TEXTURE: not drawn; 0: no texture of its own
    TUVPoint uv[4];      // the four corners
    uint8_t flip;
    uint8_t rotations;  // quarter turns
    uint8_t mode;       // the low 7 bits select the colour coding
    uint8_t unused[2];
};

// One sector of a room. Stored raw.
struct tsector {
    // Floor: base height in whole steps above the room's floor level, extra
    // clicks (-3..3, with the sign of the height) and the four edge values.
    int8_t floorBase;
    int8_t floorClicks;
    int8_t floorZFall;
    int8_t floorZRise;
    int8_t floorXFall;
    int8_t floorXRise;
    // Ceiling, likewise; note that X-rise comes before X-fall here.
    int8_t ceilingBase;
    int8_t ceilingClicks;
    int8_t ceilingZFall;
    int8_t ceilingZRise;
    int8_t ceilingXRise;
    int8_t ceilingXFall;
    // Portals: project room numbers, 0 for none.
    uint8_t roomAbove;
    uint8_t roomBeside;
    uint8_t roomBelow;
    uint8_t wallFlags[4];  // non-zero: that side is a wall
    uint8_t ceilingFaceFlag;
    uint8_t unused20;
    uint8_t faceFlags;  // two flags, low and high nibble
    uint8_t death;
    // Wall faces: rows 0-3 the floor-part walls of sides 0-3, rows 4-7 the
    // ceiling-part walls; six pieces per wall strip.
    tface_texture walls[8][6];
    tface_texture floorFaces[2];
    tface_texture ceilingFaces[2];
    float floorPieceHeights[6];  // in sector steps, 1.0 by default
    float ceilingPieceHeights[6];
    uint8_t indicator;
    uint8_t floorSplit;  // 0 one quad, 1 and 2 two triangles on either diagonal
    uint8_t ceilingSplit;
    uint8_t floorOption;  // handed to the face builder
    uint8_t ceilingOption;
    uint16_t indicatorWord;
};

// One item. Stored raw.
struct titem {
    uint32_t correlative;
    int16_t room;
    int16_t column;
    int16_t row;
    int16_t height;    // clicks
    int16_t objectId;  // index into the moveable catalog
    uint8_t angle;     // 45-degree steps
    int16_t fineX;
    int16_t fineY;
    int16_t fineZ;
    uint8_t flag;
    uint8_t amount;
    int8_t intensity;
    uint32_t color;
    int16_t ocb;
    int16_t order;
    uint8_t highlight;  // non-zero: drawn in the item edit mode's highlight colour
};

// One camera (kind 0) or sink (any other kind). Stored raw.
struct tcamera {
    int16_t kind;
    int16_t room;
    int16_t column;
    int16_t row;
    int16_t height;  // clicks
    uint8_t unused[4];
};

// One flyby camera. Stored raw.
struct tflyby_camera {
    uint8_t room;
    int16_t column;
    int16_t row;
    int16_t height;  // clicks
    int16_t angle1;  // the two angles orient the flyby symbol
    int16_t angle2;
    uint8_t unused[12];
};

// One sound source. Stored raw.
struct tsound_source {
    uint8_t room;
    int16_t column;
    int16_t row;
    int16_t height;  // clicks
    uint8_t unused[16];
};

// One trigger. Stored raw.
struct tproject_trigger {
    TShortString<100> name;
    int16_t type;  // index into the trigger type list
    uint8_t mask;  // 0x02..0x20 the five activation buttons, 0x40 "X"
    int16_t timer;
    uint8_t onlyOnce;
    uint32_t itemNumber;
    uint8_t unused[158];
};

// One animated texture set. Stored raw.
struct tanim_texture_set {
    int16_t frameCount;
    tface_texture frames[ANIM_SET_FRAMES];
};

// One box volume of a room. Stored raw.
struct troom_box {
    uint8_t unused[2];
    int8_t height;
    int16_t width;
    int16_t depth;
    int16_t row;
    int16_t column;
};

// One static mesh of a room. Stored raw.
struct troom_static {
    uint32_t meshSlot;  // static mesh number of the Basefile
    int16_t row;
    int16_t column;
    int16_t height;  // clicks
    int16_t angle;   // 45-degree steps
    int16_t fineX;   // tenths of a sector unit
    int16_t fineY;
    int16_t fineZ;
    uint32_t color;
    int8_t intensity;  // below 0: the room's ambient light
};

// One light of a room. Stored raw.
struct troom_light {
    int16_t row;
    int16_t column;
    int16_t height;  // clicks
    uint32_t color;
    int8_t intensity;
    int8_t range;  // range in sectors minus 1
    int8_t unused12;
    int8_t blendMode;  // -2 exclusive-or, -1 replace, otherwise maximum
    uint8_t enabled;
    uint8_t unused15;
};

#pragma pack(pop)

static_assert(sizeof(TUVPoint) == 8);
static_assert(sizeof(tface_texture) == 39);
static_assert(sizeof(tsector) == 2106);
static_assert(offsetof(tsector, walls) == 23);
static_assert(offsetof(tsector, floorFaces) == 1895);
static_assert(offsetof(tsector, ceilingFaces) == 1973);
static_assert(offsetof(tsector, floorPieceHeights) == 2051);
static_assert(offsetof(tsector, ceilingPieceHeights) == 2075);
static_assert(offsetof(tsector, indicator) == 2099);
static_assert(offsetof(tsector, indicatorWord) == 2104);
static_assert(sizeof(titem) == 33);
static_assert(offsetof(titem, color) == 24);
static_assert(sizeof(tcamera) == 14);
static_assert(sizeof(tflyby_camera) == 23);
static_assert(sizeof(tsound_source) == 23);
static_assert(sizeof(tproject_trigger) == 269);
static_assert(offsetof(tproject_trigger, itemNumber) == 107);
static_assert(sizeof(tanim_texture_set) == 626);
static_assert(sizeof(troom_box) == 11);
static_assert(sizeof(troom_static) == 23);
static_assert(sizeof(troom_light) == 16);

// The sector grid of a room, indexed [column][row], with column 0 and row 0
// unused. The sectors of one column lie next to each other, so a column is
// one block of memory.
class TSectorGrid {
public:
    TSectorGrid() = default;
    TSectorGrid(const TSectorGrid& other);
    TSectorGrid& operator=(const TSectorGrid& other);
    TSectorGrid(TSectorGrid&&) noexcept = default;
    TSectorGrid& operator=(TSectorGrid&&) noexcept = default;

    // Slots along each dimension: columns + 1 and rows + 1 for a room's grid.
    int ColumnSlots() const { return columnSlots_; }
    int RowSlots() const { return rowSlots_; }
    std::size_t size() const { return static_cast<std::size_t>(columnSlots_) * rowSlots_; }
    bool empty() const { return size() == 0; }

    // Gives the grid new dimensions. A sector inside both the old and the new
    // dimensions keeps its contents; every other sector is zero.
    void Resize(int columnSlots, int rowSlots);
    // Gives the grid new dimensions without keeping anything: every sector
    // is unspecified until the caller writes it (the project reader fills
    // them all, so no page is touched before its data arrives).
    void ResizeForOverwrite(int columnSlots, int rowSlots);
    // Adds columns at the end (or drops them), keeping the sectors of the
    // columns that stay; the sectors of new columns are unspecified until
    // the caller writes them. The block is reallocated in place where the
    // memory manager can, so a grid grown as its data arrives is not copied
    // each time. A grid without rows stays empty.
    void ResizeColumnsForOverwrite(int columnSlots);
    void Clear();

    // The sectors of one column: grid[column][row]. Unchecked.
    tsector* operator[](int column) { return cells_.get() + static_cast<std::size_t>(column) * rowSlots_; }
    const tsector* operator[](int column) const { return cells_.get() + static_cast<std::size_t>(column) * rowSlots_; }
    // Checked access; throws std::out_of_range.
    tsector& at(int column, int row);
    const tsector& at(int column, int row) const;

    tsector* data() { return cells_.get(); }
    const tsector* data() const { return cells_.get(); }

private:
    struct TFreeCells {
        void operator()(tsector* cells) const noexcept;
    };
    std::unique_ptr<tsector, TFreeCells> cells_;
    int columnSlots_ = 0;
    int rowSlots_ = 0;
};

// One room of the project.
struct tcuarto {
    uint16_t rows = 0;     // sectors along Z
    uint16_t columns = 0;  // sectors along X
    uint16_t height = 0;   // in sector steps
    int32_t x = 0;         // in sectors
    int32_t z = 0;
    int32_t y = 0;  // floor level, in sector steps
    TShortString<40> name;
    uint8_t water = 0;
    uint8_t wind = 0;
    uint8_t quicksand = 0;
    uint8_t sky = 0;
    TSectorGrid sectors;  // [column][row], (columns + 1) x (rows + 1)
    uint8_t boxCount = 0;
    uint8_t selectedBox = 0;
    std::array<troom_box, MAX_ROOM_BOXES + 1> boxes{};
    int16_t staticCount = 0;
    std::array<troom_static, MAX_ROOM_STATICS + 1> statics{};
    int16_t lightCount = 0;
    std::array<troom_light, MAX_ROOM_LIGHTS + 1> lights{};
    int16_t selectedStatic = 0;
    int16_t selectedLight = 0;
    int16_t ambientIntensity = 0;
    std::array<int16_t, 2> reservedWords{};
    uint32_t ambientColor = 0;  // bytes red, green, blue, unused
    std::array<uint32_t, 2> reservedColors{};
    uint16_t reservedWord = 0;
    uint8_t reservedByte = 0;
    std::array<uint16_t, 2> reservedPair{};
};

// The editor project.
struct tcuarto_list {
    TShortString<100> name;
    TShortString<250> comments;
    TShortString<100> basefilePath;
    TShortString<100> texturesfilePath;
    TShortString<100> sparePath;
    TShortString<100> scriptDirectory;
    TShortString<100> buildDirectory;
    uint8_t currentRoom = 0;
    uint8_t neighbourRoom = 0;  // kept in memory only
    uint8_t roomCount = 0;
    std::vector<tcuarto> rooms;  // element 0 unused; spare elements past the count
    int16_t itemCount = 0;
    std::array<titem, MAX_PROJECT_ITEMS + 1> items{};
    int16_t selectedItem = 0;
    int16_t highlightedItem = 0;  // kept in memory only
    int16_t reservedWord = 0;
    int16_t cameraCount = 0;
    std::array<tcamera, MAX_PROJECT_CAMERAS + 1> cameras{};
    int16_t selectedCamera = 0;
    int16_t flybyCount = 0;
    std::array<tflyby_camera, MAX_PROJECT_FLYBYS + 1> flybyCameras{};
    int16_t selectedFlyby = 0;
    int16_t soundSourceCount = 0;
    std::array<tsound_source, MAX_PROJECT_SOUNDS + 1> soundSources{};
    int16_t selectedSoundSource = 0;
    int16_t triggerCount = 0;
    std::vector<tproject_trigger> triggers;  // entries 0 .. count - 1
    int16_t animSetCount = 0;
    std::array<tanim_texture_set, MAX_PROJECT_ANIM_SETS + 1> animSets{};
    int16_t playerRoom = 0;  // "Lara_Room:"
    int16_t playerColumn = 0;
    int16_t playerRow = 0;
    std::array<uint8_t, 2> reservedBytes{};
    std::array<uint8_t, 30> reservedBlock{};
    TProgressBar* progressGauge = nullptr;  // stepped while reading and writing; kept in memory only
};

// Sets the four corners of a face to (0,0), (1,0), (1,1), (0,1); touches nothing else.
void DefaultFaceUV(tface_texture& face);

// Gives a room a fresh sector grid of (columns + 1) x (rows + 1) sectors with
// walls standing on its border, and empties its box, static and light
// tables. The room number is a project room number; throws std::out_of_range
// when the rooms array has no such element.
void InitRoomSectors(tcuarto_list& project, uint8_t room);

// Makes the project empty: no rooms (12 spare slots), every count and
// selection 0, current room 1, player start in room 1 at column 2, row 2.
// Texts, reserved fields, the neighbour room and the progress gauge are left
// as they are.
void ResetProject(tcuarto_list& project);
