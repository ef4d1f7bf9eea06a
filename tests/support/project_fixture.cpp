#include "support/project_fixture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

template <class T>
void RandomBytes(T& record, TFixtureRandom& rnd)
{
    auto* p = reinterpret_cast<uint8_t*>(&record);
    for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(rnd.Next() >> 24);
}

// Bytes past a text's length are stored too, so they get content of their own.
template <std::size_t N>
void RandomText(TShortString<N>& text, TFixtureRandom& rnd, const std::string& prefix)
{
    RandomBytes(text, rnd);
    text.assign(prefix + std::to_string(rnd.Below(100000)));
}

template <class T, std::size_t N>
int FillTable(std::array<T, N>& table, int fill, int capacity, TFixtureRandom& rnd)
{
    const int count = std::min(fill, capacity);
    for (int i = 1; i <= count; ++i) RandomBytes(table[i], rnd);
    return count;
}

template <class T>
T Small(int v)
{
    return static_cast<T>(v);
}

// Small heights, a handful of textures, mostly default coordinates.
void FillSector(tsector& s, int column, int row, TFixtureRandom& rnd)
{
    s.floorBase = Small<int8_t>(s.floorBase + rnd.Below(3) - 1);
    s.floorClicks = Small<int8_t>(rnd.Below(7) - 3);
    if (rnd.Below(4) == 0) {
        s.floorZFall = Small<int8_t>(rnd.Below(4));
        s.floorXRise = Small<int8_t>(rnd.Below(4));
        s.floorSplit = Small<uint8_t>(rnd.Below(3));
    }
    s.ceilingBase = Small<int8_t>(8 + rnd.Below(4));
    if (rnd.Below(8) == 0) {
        s.ceilingZRise = Small<int8_t>(rnd.Below(4));
        s.ceilingXFall = Small<int8_t>(rnd.Below(4));
        s.ceilingSplit = Small<uint8_t>(rnd.Below(3));
    }
    if (rnd.Below(10) == 0) s.roomBeside = Small<uint8_t>(1 + rnd.Below(20));
    if (rnd.Below(20) == 0) s.roomAbove = Small<uint8_t>(1 + rnd.Below(20));
    for (auto& wall : s.wallFlags) wall = Small<uint8_t>(rnd.Below(6) == 0);
    s.unused20 = Small<uint8_t>(column * 7 + row);
    s.faceFlags = Small<uint8_t>(rnd.Below(256));
    s.death = Small<uint8_t>(rnd.Below(50) == 0);
    for (auto& wall : s.walls)
        for (int piece = 0; piece < 2; ++piece) {
            wall[piece].textureId = Small<uint16_t>(1 + rnd.Below(48));
            wall[piece].rotations = Small<uint8_t>(rnd.Below(4));
            wall[piece].mode = Small<uint8_t>(rnd.Below(3));
        }
    for (tface_texture* f : {&s.floorFaces[0], &s.ceilingFaces[0]}) {
        f->textureId = Small<uint16_t>(1 + rnd.Below(48));
        const float u = static_cast<float>(rnd.Below(8)) / 8.0f, v = static_cast<float>(rnd.Below(8)) / 8.0f;
        f->uv[0] = {u, v};
        f->uv[1] = {u + 0.125f, v};
        f->uv[2] = {u + 0.125f, v + 0.125f};
        f->uv[3] = {u, v + 0.125f};
        f->flip = Small<uint8_t>(rnd.Below(2));
    }
    if (rnd.Below(5) == 0) s.floorPieceHeights[rnd.Below(6)] = 0.25f * static_cast<float>(1 + rnd.Below(8));
    s.indicator = Small<uint8_t>(rnd.Below(3));
    s.floorOption = Small<uint8_t>(rnd.Below(2));
    s.ceilingOption = Small<uint8_t>(rnd.Below(2));
    s.indicatorWord = Small<uint16_t>(rnd.Below(4));
}

void FillRoom(tcuarto_list& project, int number, int columns, int rows, int tableFill, uint32_t seed)
{
    TFixtureRandom rnd(seed);
    tcuarto& r = project.rooms[number];
    r.columns = Small<uint16_t>(columns);
    r.rows = Small<uint16_t>(rows);
    r.height = Small<uint16_t>(10 + rnd.Below(6));
    r.x = rnd.Below(200) - 100;
    r.z = rnd.Below(200) - 100;
    r.y = rnd.Below(20) - 10;
    RandomText(r.name, rnd, "Room ");
    for (uint8_t* flag : {&r.water, &r.wind, &r.quicksand, &r.sky}) *flag = Small<uint8_t>(rnd.Below(2));
    InitRoomSectors(project, Small<uint8_t>(number));
    for (int c = 1; c <= columns && rows > 0; ++c)
        for (int w = 1; w <= rows; ++w) FillSector(r.sectors[c][w], c, w, rnd);
    r.boxCount = Small<uint8_t>(std::min(tableFill, MAX_ROOM_BOXES));
    r.selectedBox = Small<uint8_t>(rnd.Below(10));
    FillTable(r.boxes, r.boxCount, MAX_ROOM_BOXES, rnd);
    r.staticCount = Small<int16_t>(FillTable(r.statics, tableFill, MAX_ROOM_STATICS, rnd));
    r.lightCount = Small<int16_t>(FillTable(r.lights, tableFill, MAX_ROOM_LIGHTS, rnd));
    r.selectedStatic = Small<int16_t>(rnd.Below(30));
    r.selectedLight = Small<int16_t>(rnd.Below(25));
    r.ambientIntensity = Small<int16_t>(rnd.Below(32));
    r.reservedWords = {Small<int16_t>(int(rnd.Next())), -1};
    r.ambientColor = rnd.Next() & 0xFFFFFF;
    r.reservedColors = {rnd.Next(), 0x00FFFFFF};
    r.reservedWord = Small<uint16_t>(int(rnd.Next()));
    r.reservedByte = Small<uint8_t>(int(rnd.Next()));
    r.reservedPair = {Small<uint16_t>(int(rnd.Next())), Small<uint16_t>(int(rnd.Next()))};
}

void FillProjectTables(tcuarto_list& p, int tableFill, uint32_t seed)
{
    TFixtureRandom rnd(seed);
    RandomText(p.name, rnd, "Project ");
    RandomText(p.comments, rnd, "Comments ");
    RandomText(p.basefilePath, rnd, "/levels/base");
    RandomText(p.texturesfilePath, rnd, "/levels/textures");
    RandomText(p.sparePath, rnd, "spare");
    RandomText(p.scriptDirectory, rnd, "/script");
    RandomText(p.buildDirectory, rnd, "/build");
    p.currentRoom = Small<uint8_t>(1 + rnd.Below(5));
    p.neighbourRoom = Small<uint8_t>(rnd.Below(5));
    p.itemCount = Small<int16_t>(FillTable(p.items, tableFill, MAX_PROJECT_ITEMS, rnd));
    p.selectedItem = Small<int16_t>(rnd.Below(256));
    p.highlightedItem = Small<int16_t>(rnd.Below(256));
    p.reservedWord = Small<int16_t>(int(rnd.Next()));
    p.cameraCount = Small<int16_t>(FillTable(p.cameras, tableFill, MAX_PROJECT_CAMERAS, rnd));
    p.selectedCamera = Small<int16_t>(rnd.Below(99));
    p.flybyCount = Small<int16_t>(FillTable(p.flybyCameras, tableFill, MAX_PROJECT_FLYBYS, rnd));
    p.selectedFlyby = Small<int16_t>(rnd.Below(64));
    p.soundSourceCount = Small<int16_t>(FillTable(p.soundSources, tableFill, MAX_PROJECT_SOUNDS, rnd));
    p.selectedSoundSource = Small<int16_t>(rnd.Below(32));
    p.triggerCount = Small<int16_t>(tableFill);
    p.triggers.resize(static_cast<std::size_t>(tableFill));
    for (auto& t : p.triggers) {
        RandomBytes(t, rnd);
        t.name.assign("Trigger " + std::to_string(rnd.Below(1000)));
    }
    p.animSetCount = Small<int16_t>(FillTable(p.animSets, tableFill, MAX_PROJECT_ANIM_SETS, rnd));
    p.playerRoom = Small<int16_t>(1 + rnd.Below(5));
    p.playerColumn = Small<int16_t>(1 + rnd.Below(20));
    p.playerRow = Small<int16_t>(1 + rnd.Below(20));
    p.reservedBytes = {Small<uint8_t>(int(rnd.Next())), Small<uint8_t>(int(rnd.Next()))};
    for (auto& b : p.reservedBlock) b = Small<uint8_t>(int(rnd.Next()));
}

// The first difference found, by the name of the field.
struct TDifference {
    std::string out;
    void Fail(const std::string& what) { out = out.empty() ? what : out; }
    template <class T>
    void Same(const T& a, const T& b, const std::string& what)
    {
        if (std::memcmp(&a, &b, sizeof(T)) != 0) Fail(what);
    }
    template <class T, std::size_t N>
    void Entries(const std::array<T, N>& a, const std::array<T, N>& b, int count, const std::string& what)
    {
        count = std::clamp(count, 0, static_cast<int>(N) - 1);
        if (count > 0 && std::memcmp(&a[1], &b[1], sizeof(T) * count) != 0) Fail(what);
    }
};

#define SAME(field) d.Same(a.field, b.field, at + #field)

void CompareRooms(const tcuarto& a, const tcuarto& b, const std::string& at, bool everything, TDifference& d)
{
    SAME(rows);
    SAME(columns);
    SAME(height);
    SAME(x);
    SAME(y);
    SAME(z);
    SAME(name);
    SAME(water);
    SAME(wind);
    SAME(quicksand);
    SAME(sky);
    SAME(boxCount);
    SAME(selectedBox);
    SAME(staticCount);
    SAME(selectedStatic);
    SAME(lightCount);
    SAME(selectedLight);
    SAME(ambientIntensity);
    SAME(ambientColor);
    SAME(reservedWords);
    SAME(reservedColors);
    SAME(reservedWord);
    SAME(reservedByte);
    SAME(reservedPair);
    d.Entries(a.boxes, b.boxes, everything ? MAX_ROOM_BOXES : a.boxCount, at + "boxes");
    d.Entries(a.statics, b.statics, everything ? MAX_ROOM_STATICS : a.staticCount, at + "statics");
    d.Entries(a.lights, b.lights, everything ? MAX_ROOM_LIGHTS : a.lightCount, at + "lights");
    const bool sameSlots =
        a.sectors.ColumnSlots() == b.sectors.ColumnSlots() && a.sectors.RowSlots() == b.sectors.RowSlots();
    if (everything && !sameSlots) return d.Fail(at + "grid dimensions");
    if (everything && a.sectors.size() > 0 &&
        std::memcmp(a.sectors.data(), b.sectors.data(), a.sectors.size() * sizeof(tsector)) != 0)
        return d.Fail(at + "grid contents");
    if (everything || a.columns == 0 || a.rows == 0) return;
    for (const tcuarto* r : {&a, &b})
        if (r->sectors.ColumnSlots() < r->columns + 1 || r->sectors.RowSlots() < r->rows + 1)
            return d.Fail(at + "grid smaller than the room");
    for (int c = 1; c <= a.columns; ++c)
        if (std::memcmp(a.sectors[c] + 1, b.sectors[c] + 1, sizeof(tsector) * a.rows) != 0)
            return d.Fail(at + "sectors of column " + std::to_string(c));
}

std::string Compare(const tcuarto_list& a, const tcuarto_list& b, bool everything)
{
    TDifference d;
    const std::string at;
    SAME(name);
    SAME(comments);
    SAME(basefilePath);
    SAME(texturesfilePath);
    SAME(sparePath);
    SAME(scriptDirectory);
    SAME(buildDirectory);
    SAME(currentRoom);
    SAME(roomCount);
    SAME(itemCount);
    SAME(selectedItem);
    SAME(reservedWord);
    SAME(cameraCount);
    SAME(selectedCamera);
    SAME(flybyCount);
    SAME(selectedFlyby);
    SAME(soundSourceCount);
    SAME(selectedSoundSource);
    SAME(triggerCount);
    SAME(animSetCount);
    SAME(playerRoom);
    SAME(playerColumn);
    SAME(playerRow);
    SAME(reservedBytes);
    SAME(reservedBlock);
    if (everything) {
        SAME(neighbourRoom);
        SAME(highlightedItem);
        SAME(progressGauge);
    }
    d.Entries(a.items, b.items, everything ? MAX_PROJECT_ITEMS : a.itemCount, "items");
    d.Entries(a.cameras, b.cameras, everything ? MAX_PROJECT_CAMERAS : a.cameraCount, "cameras");
    d.Entries(a.flybyCameras, b.flybyCameras, everything ? MAX_PROJECT_FLYBYS : a.flybyCount, "flyby cameras");
    d.Entries(a.soundSources, b.soundSources, everything ? MAX_PROJECT_SOUNDS : a.soundSourceCount, "sound sources");
    d.Entries(a.animSets, b.animSets, everything ? MAX_PROJECT_ANIM_SETS : a.animSetCount, "animated sets");
    // Stored: triggers 0 .. count - 1 and rooms 1 .. count; everything: the whole arrays.
    const std::size_t triggers =
        everything ? a.triggers.size() : static_cast<std::size_t>(std::max<int>(a.triggerCount, 0));
    if (everything && a.triggers.size() != b.triggers.size()) d.Fail("trigger array");
    else if (a.triggers.size() < triggers || b.triggers.size() < triggers) d.Fail("triggers");
    else if (triggers > 0 &&
             std::memcmp(a.triggers.data(), b.triggers.data(), triggers * sizeof(tproject_trigger)) != 0)
        d.Fail("triggers");
    const std::size_t rooms = everything ? a.rooms.size() : static_cast<std::size_t>(a.roomCount) + 1;
    if (everything ? a.rooms.size() != b.rooms.size() : a.rooms.size() < rooms || b.rooms.size() < rooms) {
        d.Fail("rooms array of " + std::to_string(a.rooms.size()) + " against " + std::to_string(b.rooms.size()));
        return d.out;
    }
    for (std::size_t i = everything ? 0 : 1; i < rooms; ++i)
        CompareRooms(a.rooms[i], b.rooms[i], "room " + std::to_string(i) + ": ", everything, d);
    return d.out;
}

}  // namespace

void MakeProject(tcuarto_list& project, int rooms, int columns, int rows, int tableFill, uint32_t seed)
{
    if (rooms < 0 || rooms > 255) throw std::invalid_argument("a project holds 0 to 255 rooms");
    ResetProject(project);
    FillProjectTables(project, tableFill, seed);
    project.roomCount = Small<uint8_t>(rooms);
    project.rooms.resize(static_cast<std::size_t>(rooms) + SPARE_ROOM_SLOTS);
    for (int i = 1; i <= rooms; ++i) FillRoom(project, i, columns, rows, tableFill, seed * 7919u + i);
}

void MakeLitRoom(tcuarto_list& project, int size, int lights,
                 const std::function<void(tsector&, int column, int row, TFixtureRandom&)>& shape,
                 const std::function<int(TFixtureRandom&)>& lightHeight)
{
    ResetProject(project);
    project.rooms.resize(2 + SPARE_ROOM_SLOTS);
    tcuarto& r = project.rooms[1];
    r.columns = int16_t(size);
    r.rows = int16_t(size);
    r.height = 12;
    project.roomCount = 1;
    InitRoomSectors(project, 1);
    TFixtureRandom rnd(11);
    for (int i = 2; i < size; ++i)
        for (int j = 2; j < size; ++j) shape(r.sectors[i][j], i, j, rnd);
    r.ambientIntensity = 12;
    r.ambientColor = 0x404040;
    r.lightCount = int16_t(lights);
    for (int n = 1; n <= lights; ++n) {
        troom_light& l = r.lights[size_t(n)];
        l.column = int16_t(2 + (n - 1) % 5 * (size - 3) / 4);
        l.row = int16_t(2 + (n - 1) / 5 * (size - 3) / 4);
        l.height = int16_t(lightHeight(rnd));
        l.color = 0x3060C0u + uint32_t(n);
        l.intensity = int8_t(4 + rnd.Below(8));
        l.range = 127;  // 128 sectors
        l.blendMode = 0;
        l.enabled = 1;
    }
    project.currentRoom = 1;
    project.neighbourRoom = 0;
}

std::string StoredDifference(const tcuarto_list& a, const tcuarto_list& b) { return Compare(a, b, false); }

std::string AnyDifference(const tcuarto_list& a, const tcuarto_list& b) { return Compare(a, b, true); }
