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

template <std::size_t N>
void RandomText(TShortString<N>& text, TFixtureRandom& rnd, const std::string& prefix)
{
    // Bytes past the length are stored too, so they get content of their own.
    RandomBytes(text, rnd);
    text.assign(prefix + std::to_string(rnd.Below(100000)));
}

template <class T, std::size_t N>
void FillTable(std::array<T, N>& table, int count, TFixtureRandom& rnd)
{
    for (int i = 1; i <= count; ++i) RandomBytes(table[i], rnd);
}

// Content shaped like what the editor and the converter produce: small
// heights, a handful of textures, mostly default coordinates.
void FillSector(tsector& s, int column, int row, TFixtureRandom& rnd)
{
    s.floorBase = static_cast<int8_t>(s.floorBase + rnd.Below(3) - 1);
    s.floorClicks = static_cast<int8_t>(rnd.Below(7) - 3);
    if (rnd.Below(4) == 0) {
        s.floorZFall = static_cast<int8_t>(rnd.Below(4));
        s.floorXRise = static_cast<int8_t>(rnd.Below(4));
        s.floorSplit = static_cast<uint8_t>(rnd.Below(3));
    }
    s.ceilingBase = static_cast<int8_t>(8 + rnd.Below(4));
    if (rnd.Below(8) == 0) {
        s.ceilingZRise = static_cast<int8_t>(rnd.Below(4));
        s.ceilingXFall = static_cast<int8_t>(rnd.Below(4));
        s.ceilingSplit = static_cast<uint8_t>(rnd.Below(3));
    }
    if (rnd.Below(10) == 0) s.roomBeside = static_cast<uint8_t>(1 + rnd.Below(20));
    if (rnd.Below(20) == 0) s.roomAbove = static_cast<uint8_t>(1 + rnd.Below(20));
    for (int side = 0; side < 4; ++side) s.wallFlags[side] = static_cast<uint8_t>(rnd.Below(6) == 0);
    s.unused20 = static_cast<uint8_t>(column * 7 + row);
    s.faceFlags = static_cast<uint8_t>(rnd.Below(256));
    s.death = static_cast<uint8_t>(rnd.Below(50) == 0);
    for (int w = 0; w < 8; ++w)
        for (int piece = 0; piece < 2; ++piece) {
            tface_texture& f = s.walls[w][piece];
            f.textureId = static_cast<uint16_t>(1 + rnd.Below(48));
            f.rotations = static_cast<uint8_t>(rnd.Below(4));
            f.mode = static_cast<uint8_t>(rnd.Below(3));
        }
    for (tface_texture* f : {&s.floorFaces[0], &s.ceilingFaces[0]}) {
        f->textureId = static_cast<uint16_t>(1 + rnd.Below(48));
        const float u = static_cast<float>(rnd.Below(8)) / 8.0f;
        const float v = static_cast<float>(rnd.Below(8)) / 8.0f;
        f->uv[0] = {u, v};
        f->uv[1] = {u + 0.125f, v};
        f->uv[2] = {u + 0.125f, v + 0.125f};
        f->uv[3] = {u, v + 0.125f};
        f->flip = static_cast<uint8_t>(rnd.Below(2));
    }
    if (rnd.Below(5) == 0) s.floorPieceHeights[rnd.Below(6)] = 0.25f * static_cast<float>(1 + rnd.Below(8));
    s.indicator = static_cast<uint8_t>(rnd.Below(3));
    s.floorOption = static_cast<uint8_t>(rnd.Below(2));
    s.ceilingOption = static_cast<uint8_t>(rnd.Below(2));
    s.indicatorWord = static_cast<uint16_t>(rnd.Below(4));
}

void Fail(std::string& out, const std::string& what)
{
    if (out.empty()) out = what;
}

template <class T>
bool SameBytes(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <class T, std::size_t N>
bool SameEntries(const std::array<T, N>& a, const std::array<T, N>& b, int count)
{
    count = std::clamp(count, 0, static_cast<int>(N) - 1);
    return count == 0 || std::memcmp(&a[1], &b[1], sizeof(T) * count) == 0;
}

void CompareRooms(const tcuarto& a, const tcuarto& b, const std::string& at, bool everything, std::string& out)
{
    if (a.rows != b.rows || a.columns != b.columns || a.height != b.height) Fail(out, at + ": size");
    if (a.x != b.x || a.y != b.y || a.z != b.z) Fail(out, at + ": position");
    if (!SameBytes(a.name, b.name)) Fail(out, at + ": name");
    if (a.water != b.water || a.wind != b.wind || a.quicksand != b.quicksand || a.sky != b.sky)
        Fail(out, at + ": flags");
    if (a.boxCount != b.boxCount || a.selectedBox != b.selectedBox) Fail(out, at + ": box count or selection");
    if (a.staticCount != b.staticCount || a.selectedStatic != b.selectedStatic)
        Fail(out, at + ": static count or selection");
    if (a.lightCount != b.lightCount || a.selectedLight != b.selectedLight)
        Fail(out, at + ": light count or selection");
    if (a.ambientIntensity != b.ambientIntensity || a.ambientColor != b.ambientColor) Fail(out, at + ": ambient");
    if (a.reservedWords != b.reservedWords || a.reservedColors != b.reservedColors ||
        a.reservedWord != b.reservedWord || a.reservedByte != b.reservedByte || a.reservedPair != b.reservedPair)
        Fail(out, at + ": reserved fields");
    if (everything) {
        if (!SameEntries(a.boxes, b.boxes, MAX_ROOM_BOXES)) Fail(out, at + ": box slots");
        if (!SameEntries(a.statics, b.statics, MAX_ROOM_STATICS)) Fail(out, at + ": static slots");
        if (!SameEntries(a.lights, b.lights, MAX_ROOM_LIGHTS)) Fail(out, at + ": light slots");
        if (a.sectors.ColumnSlots() != b.sectors.ColumnSlots() || a.sectors.RowSlots() != b.sectors.RowSlots())
            Fail(out, at + ": grid dimensions");
        else if (a.sectors.size() > 0 &&
                 std::memcmp(a.sectors.data(), b.sectors.data(), a.sectors.size() * sizeof(tsector)) != 0)
            Fail(out, at + ": grid contents");
        return;
    }
    if (!SameEntries(a.boxes, b.boxes, a.boxCount)) Fail(out, at + ": boxes");
    if (!SameEntries(a.statics, b.statics, a.staticCount)) Fail(out, at + ": statics");
    if (!SameEntries(a.lights, b.lights, a.lightCount)) Fail(out, at + ": lights");
    if (a.columns == 0 || a.rows == 0) return;
    for (const tcuarto* r : {&a, &b})
        if (r->sectors.ColumnSlots() < r->columns + 1 || r->sectors.RowSlots() < r->rows + 1) {
            Fail(out, at + ": grid smaller than the room");
            return;
        }
    for (int c = 1; c <= a.columns; ++c)
        if (std::memcmp(a.sectors[c] + 1, b.sectors[c] + 1, sizeof(tsector) * a.rows) != 0) {
            Fail(out, at + ": sectors of column " + std::to_string(c));
            return;
        }
}

std::string Compare(const tcuarto_list& a, const tcuarto_list& b, bool everything)
{
    std::string out;
    if (!SameBytes(a.name, b.name)) Fail(out, "name");
    if (!SameBytes(a.comments, b.comments)) Fail(out, "comments");
    if (!SameBytes(a.basefilePath, b.basefilePath) || !SameBytes(a.texturesfilePath, b.texturesfilePath) ||
        !SameBytes(a.sparePath, b.sparePath) || !SameBytes(a.scriptDirectory, b.scriptDirectory) ||
        !SameBytes(a.buildDirectory, b.buildDirectory))
        Fail(out, "paths");
    if (a.currentRoom != b.currentRoom) Fail(out, "current room");
    if (a.roomCount != b.roomCount) Fail(out, "room count");
    if (a.itemCount != b.itemCount || a.selectedItem != b.selectedItem) Fail(out, "item count or selection");
    if (a.reservedWord != b.reservedWord) Fail(out, "reserved word");
    if (a.cameraCount != b.cameraCount || a.selectedCamera != b.selectedCamera)
        Fail(out, "camera count or selection");
    if (a.flybyCount != b.flybyCount || a.selectedFlyby != b.selectedFlyby) Fail(out, "flyby count or selection");
    if (a.soundSourceCount != b.soundSourceCount || a.selectedSoundSource != b.selectedSoundSource)
        Fail(out, "sound source count or selection");
    if (a.triggerCount != b.triggerCount) Fail(out, "trigger count");
    if (a.animSetCount != b.animSetCount) Fail(out, "animated set count");
    if (a.playerRoom != b.playerRoom || a.playerColumn != b.playerColumn || a.playerRow != b.playerRow)
        Fail(out, "player start");
    if (a.reservedBytes != b.reservedBytes || a.reservedBlock != b.reservedBlock) Fail(out, "reserved bytes");

    if (everything) {
        if (a.neighbourRoom != b.neighbourRoom) Fail(out, "neighbour room");
        if (a.highlightedItem != b.highlightedItem) Fail(out, "highlighted item");
        if (a.progressGauge != b.progressGauge) Fail(out, "progress gauge");
        if (!SameEntries(a.items, b.items, MAX_PROJECT_ITEMS)) Fail(out, "item slots");
        if (!SameEntries(a.cameras, b.cameras, MAX_PROJECT_CAMERAS)) Fail(out, "camera slots");
        if (!SameEntries(a.flybyCameras, b.flybyCameras, MAX_PROJECT_FLYBYS)) Fail(out, "flyby slots");
        if (!SameEntries(a.soundSources, b.soundSources, MAX_PROJECT_SOUNDS)) Fail(out, "sound source slots");
        if (!SameEntries(a.animSets, b.animSets, MAX_PROJECT_ANIM_SETS)) Fail(out, "animated set slots");
        if (a.triggers.size() != b.triggers.size() ||
            (!a.triggers.empty() &&
             std::memcmp(a.triggers.data(), b.triggers.data(), a.triggers.size() * sizeof(tproject_trigger)) != 0))
            Fail(out, "trigger array");
        if (a.rooms.size() != b.rooms.size()) {
            Fail(out, "rooms array length " + std::to_string(a.rooms.size()) + " against " +
                          std::to_string(b.rooms.size()));
            return out;
        }
        for (std::size_t i = 0; i < a.rooms.size(); ++i)
            CompareRooms(a.rooms[i], b.rooms[i], "room slot " + std::to_string(i), true, out);
        return out;
    }

    if (!SameEntries(a.items, b.items, a.itemCount)) Fail(out, "items");
    if (!SameEntries(a.cameras, b.cameras, a.cameraCount)) Fail(out, "cameras");
    if (!SameEntries(a.flybyCameras, b.flybyCameras, a.flybyCount)) Fail(out, "flyby cameras");
    if (!SameEntries(a.soundSources, b.soundSources, a.soundSourceCount)) Fail(out, "sound sources");
    if (!SameEntries(a.animSets, b.animSets, a.animSetCount)) Fail(out, "animated sets");
    if (a.triggerCount > 0 && a.triggerCount == b.triggerCount) {
        const std::size_t n = static_cast<std::size_t>(a.triggerCount);
        if (a.triggers.size() < n || b.triggers.size() < n ||
            std::memcmp(a.triggers.data(), b.triggers.data(), n * sizeof(tproject_trigger)) != 0)
            Fail(out, "triggers");
    }
    if (a.roomCount == b.roomCount) {
        if (a.rooms.size() <= a.roomCount || b.rooms.size() <= b.roomCount) {
            Fail(out, "rooms array shorter than the room count");
            return out;
        }
        for (int i = 1; i <= a.roomCount; ++i)
            CompareRooms(a.rooms[i], b.rooms[i], "room " + std::to_string(i), false, out);
    }
    return out;
}

}  // namespace

void FillRoom(tcuarto_list& project, int number, int columns, int rows, int tableFill, uint32_t seed)
{
    TFixtureRandom rnd(seed);
    if (project.rooms.size() <= static_cast<std::size_t>(number)) project.rooms.resize(number + 1);
    tcuarto& r = project.rooms[number];
    r.columns = static_cast<uint16_t>(columns);
    r.rows = static_cast<uint16_t>(rows);
    r.height = static_cast<uint16_t>(10 + rnd.Below(6));
    r.x = rnd.Below(200) - 100;
    r.z = rnd.Below(200) - 100;
    r.y = rnd.Below(20) - 10;
    RandomText(r.name, rnd, "Room ");
    r.water = static_cast<uint8_t>(rnd.Below(2));
    r.wind = static_cast<uint8_t>(rnd.Below(2));
    r.quicksand = static_cast<uint8_t>(rnd.Below(2));
    r.sky = static_cast<uint8_t>(rnd.Below(2));
    InitRoomSectors(project, static_cast<uint8_t>(number));
    for (int c = 1; c <= columns && rows > 0; ++c)
        for (int w = 1; w <= rows; ++w) FillSector(r.sectors[c][w], c, w, rnd);
    r.boxCount = static_cast<uint8_t>(std::min(tableFill, MAX_ROOM_BOXES));
    r.selectedBox = static_cast<uint8_t>(rnd.Below(10));
    FillTable(r.boxes, r.boxCount, rnd);
    r.staticCount = static_cast<int16_t>(std::min(tableFill, MAX_ROOM_STATICS));
    FillTable(r.statics, r.staticCount, rnd);
    r.lightCount = static_cast<int16_t>(std::min(tableFill, MAX_ROOM_LIGHTS));
    FillTable(r.lights, r.lightCount, rnd);
    r.selectedStatic = static_cast<int16_t>(rnd.Below(30));
    r.selectedLight = static_cast<int16_t>(rnd.Below(25));
    r.ambientIntensity = static_cast<int16_t>(rnd.Below(32));
    r.reservedWords = {static_cast<int16_t>(rnd.Next()), -1};
    r.ambientColor = rnd.Next() & 0xFFFFFF;
    r.reservedColors = {rnd.Next(), 0x00FFFFFF};
    r.reservedWord = static_cast<uint16_t>(rnd.Next());
    r.reservedByte = static_cast<uint8_t>(rnd.Next());
    r.reservedPair = {static_cast<uint16_t>(rnd.Next()), static_cast<uint16_t>(rnd.Next())};
}

void FillProjectTables(tcuarto_list& p, int tableFill, int triggers, uint32_t seed)
{
    TFixtureRandom rnd(seed);
    RandomText(p.name, rnd, "Project ");
    RandomText(p.comments, rnd, "Comments ");
    RandomText(p.basefilePath, rnd, "/levels/base");
    RandomText(p.texturesfilePath, rnd, "/levels/textures");
    RandomText(p.sparePath, rnd, "spare");
    RandomText(p.scriptDirectory, rnd, "/script");
    RandomText(p.buildDirectory, rnd, "/build");
    p.currentRoom = static_cast<uint8_t>(1 + rnd.Below(5));
    p.neighbourRoom = static_cast<uint8_t>(rnd.Below(5));
    p.itemCount = static_cast<int16_t>(std::min(tableFill, MAX_PROJECT_ITEMS));
    FillTable(p.items, p.itemCount, rnd);
    p.selectedItem = static_cast<int16_t>(rnd.Below(256));
    p.highlightedItem = static_cast<int16_t>(rnd.Below(256));
    p.reservedWord = static_cast<int16_t>(rnd.Next());
    p.cameraCount = static_cast<int16_t>(std::min(tableFill, MAX_PROJECT_CAMERAS));
    FillTable(p.cameras, p.cameraCount, rnd);
    p.selectedCamera = static_cast<int16_t>(rnd.Below(99));
    p.flybyCount = static_cast<int16_t>(std::min(tableFill, MAX_PROJECT_FLYBYS));
    FillTable(p.flybyCameras, p.flybyCount, rnd);
    p.selectedFlyby = static_cast<int16_t>(rnd.Below(64));
    p.soundSourceCount = static_cast<int16_t>(std::min(tableFill, MAX_PROJECT_SOUNDS));
    FillTable(p.soundSources, p.soundSourceCount, rnd);
    p.selectedSoundSource = static_cast<int16_t>(rnd.Below(32));
    p.triggerCount = static_cast<int16_t>(triggers);
    p.triggers.resize(static_cast<std::size_t>(triggers));
    for (auto& t : p.triggers) {
        RandomBytes(t, rnd);
        t.name.assign("Trigger " + std::to_string(rnd.Below(1000)));
    }
    p.animSetCount = static_cast<int16_t>(std::min(tableFill, MAX_PROJECT_ANIM_SETS));
    FillTable(p.animSets, p.animSetCount, rnd);
    p.playerRoom = static_cast<int16_t>(1 + rnd.Below(5));
    p.playerColumn = static_cast<int16_t>(1 + rnd.Below(20));
    p.playerRow = static_cast<int16_t>(1 + rnd.Below(20));
    p.reservedBytes = {static_cast<uint8_t>(rnd.Next()), static_cast<uint8_t>(rnd.Next())};
    for (auto& b : p.reservedBlock) b = static_cast<uint8_t>(rnd.Next());
}

void MakeProject(tcuarto_list& project, int rooms, int columns, int rows, int tableFill, uint32_t seed)
{
    if (rooms < 0 || rooms > 255) throw std::invalid_argument("a project holds 0 to 255 rooms");
    ResetProject(project);
    FillProjectTables(project, tableFill, tableFill, seed);
    project.roomCount = static_cast<uint8_t>(rooms);
    project.rooms.resize(static_cast<std::size_t>(rooms) + SPARE_ROOM_SLOTS);
    for (int i = 1; i <= rooms; ++i) FillRoom(project, i, columns, rows, tableFill, seed * 7919u + i);
}

std::string StoredDifference(const tcuarto_list& a, const tcuarto_list& b) { return Compare(a, b, false); }

std::string AnyDifference(const tcuarto_list& a, const tcuarto_list& b) { return Compare(a, b, true); }
