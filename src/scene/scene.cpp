#include "scene/scene.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <initializer_list>
#include <new>

#include "level/project_file.h"
#include "level/trlevel.h"
#include "platform/rtl/messages.h"
#include "platform/rtl/sysutils.h"

namespace {

// Layer numbers (dirty flags) and the lists they fill.
constexpr int LAYER_CURRENT = 0, LAYER_NEIGHBOUR = 1, LAYER_FILTER = 2, LAYER_STATICS = 3, LAYER_ITEMS = 4,
              LAYER_CAMERAS = 5, LAYER_LIGHTS = 6, LAYER_BOXES = 7, LAYER_FLYBYS = 8, LAYER_SOUNDS = 9;
constexpr int LIST_FILTER = 0, LIST_NEIGHBOUR = 1, LIST_CURRENT = 2, LIST_STATICS = 3, LIST_SELECTED_STATIC = 4,
              LIST_ITEMS = 5, LIST_SELECTED_ITEMS = 6, LIST_CAMERAS = 7, LIST_LIGHTS = 8, LIST_BOXES = 9,
              LIST_FLYBYS = 10, LIST_SOUNDS = 11;

constexpr int EDIT_CAMERAS = 4, EDIT_LIGHTS = 6, EDIT_BOXES = 8, EDIT_FLYBYS = 9, EDIT_SOUNDS = 10;

// A whole number as typed into the room filter: blanks around it are
// ignored; anything else that is not a number, or one out of range, is 0.
int WholeNumber(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return 0;
    long long value = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') return 0;
        value = value * 10 + (ch - '0');
        if (value > INT_MAX) return 0;
    }
    return static_cast<int>(negative ? -value : value);
}

bool IsAllFilter(const std::string& filter) { return UpperCase(filter) == "ALL,"; }

}  // namespace

// ---------------------------------------------------------------------------
// Fields, text fields

int CountFields(std::string_view text, char delimiter)
{
    const auto n = std::count(text.begin(), text.end(), delimiter);
    return n == 0 ? 0 : static_cast<int>(n) + 1;
}

std::string GetField(std::string_view text, char delimiter, int n)
{
    for (int i = 1; i < n; ++i) {
        const size_t at = text.find(delimiter);
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return std::string(text.substr(0, text.find(delimiter)));
}

tr_scene::tr_scene()
{
    Dirty.fill(1);
    Buffers.SetCount(SCENE_BUFFERS);
    for (int i = 0; i < SCENE_BUFFERS; ++i) {
        Tvbuffer& b = Buffers[i];
        b.FillMode = FillSolid;
        b.DefaultTexture = SOLID_TEXTURE;
        b.OneGroup = 0;
    }
    for (int i : {4, 6, 8, 10}) {
        Buffers[i].FillMode = FillWireframe;
        Buffers[i].DefaultTexture = COLORED_TEXTURE;
    }
    // The buffers of a lost device are gone: build everything again.
    Buffers.OnDeviceReset = [this] { SetDirty(10); };
}

tr_scene::~tr_scene()
{
    Buffers.OnDeviceReset = nullptr;
    Buffers.Clear();
}

const tcuarto* tr_scene::RoomAt(int room) const
{
    if (!Project || room < 1 || room > Project->roomCount) return nullptr;
    if (static_cast<size_t>(room) >= Project->rooms.size()) return nullptr;
    return &Project->rooms[static_cast<size_t>(room)];
}

int32_t tr_scene::VersionCode() const { return Level ? Level->version_code : 0; }

int tr_scene::DrawnNeighbour() const
{
    if (!Project || HideNeighbors) return 0;
    const int neighbour = Project->neighbourRoom;
    return neighbour != 0 && neighbour != Project->currentRoom ? neighbour : 0;
}

void tr_scene::InitRoomSectors(uint8_t room)
{
    if (Project) ::InitRoomSectors(*Project, room);
}

// ---------------------------------------------------------------------------
// Layers

void tr_scene::SetDirty(int part)
{
    switch (part % 128) {
    case 0:
        for (int f : {0, 3, 4, 5, 6, 7, 8, 9}) Dirty[size_t(f)] = 1;
        break;
    case 1:
        for (int f : {1, 3, 4, 6}) Dirty[size_t(f)] = 1;
        break;
    case 2:
        for (int f : {2, 3, 4}) Dirty[size_t(f)] = 1;
        break;
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9: Dirty[size_t(part % 128)] = 1; break;
    case 10:
        Dirty.fill(1);
        GL.ClearList(-1);
        break;
    default: break;
    }
}

void tr_scene::BuildRoomWithStart(int room)
{
    BuildRoomMesh(room);
    if (room == Project->playerRoom) BuildPlayerStart();
}

void tr_scene::BuildFilterRooms()
{
    const int current = Project->currentRoom, neighbour = Project->neighbourRoom, count = Project->roomCount;
    if (IsAllFilter(RoomFilter)) {
        for (int room = 1; room <= count; ++room)
            if (room != current && room != neighbour) BuildRoomWithStart(room);
        return;
    }
    const int fields = CountFields(RoomFilter, ',');
    for (int f = 1; f <= fields; ++f) {
        const std::string field = GetField(RoomFilter, ',', f);
        int first, last;
        if (CountFields(field, '-') == 2) {
            first = WholeNumber(GetField(field, '-', 1));
            last = WholeNumber(GetField(field, '-', 2));
        } else {
            first = last = WholeNumber(field);
        }
        // Rooms outside 1..count are skipped: walk only the ones that exist.
        first = std::max(first, 1);
        last = std::min(last, count);
        for (int room = first; room <= last; ++room)
            if (room != current && room != neighbour) BuildRoomWithStart(room);
    }
}

std::vector<int> tr_scene::ObjectLayerRooms() const
{
    std::vector<int> rooms;
    const int current = Project->currentRoom, neighbour = Project->neighbourRoom, count = Project->roomCount;
    rooms.push_back(current);
    if (DrawnNeighbour()) rooms.push_back(neighbour);
    if (HideNeighbors) return rooms;
    if (IsAllFilter(RoomFilter)) {
        for (int room = 1; room <= count; ++room)
            if (room != current && room != neighbour) rooms.push_back(room);
        return rooms;
    }
    // Here every field is one room number: a range reads as 0 and adds nothing.
    const int fields = CountFields(RoomFilter, ',');
    for (int f = 1; f <= fields; ++f) {
        const int room = WholeNumber(GetField(RoomFilter, ',', f));
        if (room != current && room != neighbour && room >= 1 && room <= count) rooms.push_back(room);
    }
    return rooms;
}

int64_t MostProjectSectors(int64_t memoryLimit)
{
    constexpr int64_t kRooms = 255, kSide = 255;
    return std::min(kRooms * kSide * kSide, std::max<int64_t>(memoryLimit, 0) / int64_t(sizeof(tsector)));
}

int64_t MostRoomVertices(int64_t memoryLimit)
{
    return SECTOR_MOST_VERTICES * MostProjectSectors(memoryLimit) + PLAYER_START_VERTICES;
}

void tr_scene::Update()
{
    const std::array<uint8_t, SCENE_LAYERS> rebuilding = Dirty;
    const int64_t vertexLimit = GL.VertexLimit, capacity = GL.VertexCapacity;
    const int8_t depth = GL.Depth;
    try {
        // A scene the machine cannot hold runs out of memory in the layer.
        GL.VertexCapacity = std::min(capacity, GL.Held() + AvailableVertices());
        GL.LevelWorkLeft = LevelWorkBudget;
        EmptyDirtyLists();
        const int roomCount = Project ? Project->roomCount : 0;
        if (roomCount != 0 && roomCount >= RoomOfInterest) FillDirtyLists();
        // Each list's vertices together, grouped by texture id. (Without rooms
        // only emptied lists remain, and sorting them costs nothing.)
        GL.Vertices.Sort();
        BuildDirtyBuffers();
    } catch (const std::bad_alloc& e) {
        GL.VertexLimit = vertexLimit;
        GL.VertexCapacity = capacity;
        GL.Depth = depth;
        AbandonUpdate(rebuilding);
        // Shown here: the view's build callback runs inside every frame, and
        // a frame that failed would otherwise try again at once.
        ShowException(e);
    }
    GL.VertexCapacity = capacity;
}

void tr_scene::AbandonUpdate(const std::array<uint8_t, SCENE_LAYERS>& rebuilding)
{
    // The lists may hold part of what was being built, in any order: all
    // of them go, with their memory, and every layer is built again.
    GL.ClearList(-1);
    GL.Vertices.ReleaseMemory();
    static constexpr int kLayerLists[SCENE_LAYERS][2] = {{LIST_CURRENT, -1},
                                                         {LIST_NEIGHBOUR, -1},
                                                         {LIST_FILTER, -1},
                                                         {LIST_STATICS, LIST_SELECTED_STATIC},
                                                         {LIST_ITEMS, LIST_SELECTED_ITEMS},
                                                         {LIST_CAMERAS, -1},
                                                         {LIST_LIGHTS, -1},
                                                         {LIST_BOXES, -1},
                                                         {LIST_FLYBYS, -1},
                                                         {LIST_SOUNDS, -1}};
    for (int layer = 0; layer < SCENE_LAYERS; ++layer) {
        if (!rebuilding[size_t(layer)]) continue;
        for (int list : kLayerLists[layer]) {
            if (list < 0) continue;
            // Nothing half built is drawn, and the buffers' memory is free.
            Tvbuffer& b = Buffers[list];
            b.VertexBuffer = nullptr;
            b.MoreBuffers.clear();
            b.Capacity = 0;
            b.PrimitiveCount = 0;
        }
    }
    Dirty.fill(1);
}

void tr_scene::EmptyDirtyLists()
{
    // Emptying a list walks the whole vertex list; a list that is empty
    // already is left alone.
    auto empty = [this](int list) {
        if (GL.Counts[list] != 0) GL.ClearList(list);
    };
    if (Dirty[LAYER_CURRENT]) empty(LIST_CURRENT);
    if (Dirty[LAYER_NEIGHBOUR]) {
        empty(LIST_NEIGHBOUR);
        GL.ResetBuffer(Buffers, LIST_NEIGHBOUR);
    }
    if (Dirty[LAYER_FILTER]) {
        empty(LIST_FILTER);
        GL.ResetBuffer(Buffers, LIST_FILTER);
    }
    if (Dirty[LAYER_STATICS]) {
        empty(LIST_STATICS);
        empty(LIST_SELECTED_STATIC);
    }
    if (Dirty[LAYER_ITEMS]) {
        empty(LIST_ITEMS);
        empty(LIST_SELECTED_ITEMS);
    }
    for (int f = LAYER_CAMERAS; f <= LAYER_SOUNDS; ++f)
        if (Dirty[size_t(f)]) empty(f + 2);
}

void tr_scene::FillDirtyLists()
{
    const int current = Project->currentRoom;
    const int neighbour = DrawnNeighbour();

    GL.LoadIdentity();
    GL.PushMatrix();
    GL.Scale(float(Scale[0]), float(Scale[1]), float(Scale[2]));
    GL.Translate(float(Translation[0]), float(Translation[1]), float(Translation[2]));
    GL.Rotate(float(Rotation[0]), float(Rotation[1]), float(Rotation[2]), false);

    // Room geometry may add what its lists can still take of its budget.
    const int64_t limit = GL.VertexLimit;
    const int64_t budget = RoomVertexBudget >= 0 ? RoomVertexBudget : MostRoomVertices(ProjectMemoryLimit);
    const int64_t roomHeld = GL.Counts[LIST_FILTER] + GL.Counts[LIST_NEIGHBOUR] + GL.Counts[LIST_CURRENT];
    const int64_t room = std::max<int64_t>(budget - roomHeld, 0);
    GL.VertexLimit = room < limit - GL.Held() ? GL.Held() + room : limit;
    FillRoomLayers(current, neighbour);
    GL.VertexLimit = limit;
    FillSymbolLayers(current, neighbour);
    if (Dirty[LAYER_STATICS] && !HideStatics) {
        for (int room : ObjectLayerRooms()) BuildRoomStatics(room);
    }
    if (Dirty[LAYER_ITEMS] && !HideItems) {
        for (int room : ObjectLayerRooms()) BuildRoomItems(room);
    }
    if (Dirty[LAYER_BOXES] && EditMode == EDIT_BOXES) {
        GL.SetList(LIST_BOXES);
        BuildRoomBoxes();
    }

    GL.PopMatrix();
}

void tr_scene::FillRoomLayers(int current, int neighbour)
{
    if (Dirty[LAYER_FILTER] && !HideNeighbors) {
        GL.SetList(LIST_FILTER);
        BuildFilterRooms();
    }
    if (Dirty[LAYER_NEIGHBOUR] && neighbour) {
        GL.SetList(LIST_NEIGHBOUR);
        BuildRoomMesh(neighbour);
        if (Lighting) LightRoom(neighbour, LIST_NEIGHBOUR);
        if (neighbour == Project->playerRoom) BuildPlayerStart();
    }
    if (Dirty[LAYER_CURRENT]) {
        GL.SetList(LIST_CURRENT);
        BuildRoomMesh(current);
        if (Lighting) LightRoom(current, LIST_CURRENT);
        if (current == Project->playerRoom) BuildPlayerStart();
    }
}

void tr_scene::FillSymbolLayers(int current, int neighbour)
{
    // A layer of symbols shows in its edit mode, for the current room and
    // the neighbour.
    auto symbols = [&](int layer, int mode, int list, void (tr_scene::*build)(int)) {
        if (!Dirty[size_t(layer)] || EditMode != mode) return;
        GL.SetList(list);
        (this->*build)(current);
        if (neighbour) (this->*build)(neighbour);
    };
    if (Dirty[LAYER_LIGHTS]) {
        // Relighting starts again from the ambient colour of rooms that
        // were not rebuilt above.
        if (Lighting && !Dirty[LAYER_NEIGHBOUR] && neighbour) LightRoom(neighbour, LIST_NEIGHBOUR);
        if (Lighting && !Dirty[LAYER_CURRENT]) LightRoom(current, LIST_CURRENT);
        symbols(LAYER_LIGHTS, EDIT_LIGHTS, LIST_LIGHTS, &tr_scene::BuildRoomLights);
    }
    symbols(LAYER_CAMERAS, EDIT_CAMERAS, LIST_CAMERAS, &tr_scene::BuildCameras);
    symbols(LAYER_FLYBYS, EDIT_FLYBYS, LIST_FLYBYS, &tr_scene::BuildFlybyCameras);
    symbols(LAYER_SOUNDS, EDIT_SOUNDS, LIST_SOUNDS, &tr_scene::BuildSoundEntries);
}

void tr_scene::BuildDirtyBuffers()
{
    // A dirty layer whose condition holds has its lists built and is clean;
    // a flag whose condition fails stays set, and its list stays empty until
    // the condition holds.
    auto build = [this](int layer, bool condition, std::initializer_list<int> lists) {
        if (!Dirty[layer] || !condition) return;
        for (int list : lists) GL.BuildVertexBuffer(Buffers, list);
        Dirty[layer] = 0;
    };
    build(LAYER_FILTER, CountFields(RoomFilter, ',') > 0, {LIST_FILTER});
    build(LAYER_NEIGHBOUR, Project && Project->neighbourRoom != 0 && Project->neighbourRoom != Project->currentRoom,
          {LIST_NEIGHBOUR});
    build(LAYER_CURRENT, true, {LIST_CURRENT});
    build(LAYER_CAMERAS, true, {LIST_CAMERAS});
    build(LAYER_FLYBYS, true, {LIST_FLYBYS});
    build(LAYER_SOUNDS, true, {LIST_SOUNDS});
    build(LAYER_STATICS, true, {LIST_STATICS, LIST_SELECTED_STATIC});
    build(LAYER_ITEMS, true, {LIST_ITEMS, LIST_SELECTED_ITEMS});
    build(LAYER_LIGHTS, true, {LIST_NEIGHBOUR, LIST_CURRENT, LIST_LIGHTS});
    build(LAYER_BOXES, true, {LIST_BOXES});
}

void tr_scene::CenterOnRoom()
{
    // A room that does not exist has no box: everything stays as it is.
    const tcuarto* r = RoomAt(RoomOfInterest);
    if (!r) return;
    BoxMin[0] = r->x;
    BoxMin[1] = r->y;
    BoxMin[2] = -double(r->z) - r->rows;
    BoxMax[0] = double(r->x) + r->columns;
    BoxMax[1] = double(r->y) + r->height;
    BoxMax[2] = -double(r->z);
    for (int k = 0; k < 3; ++k) Translation[k] = float(-(BoxMin[k] + (BoxMax[k] - BoxMin[k]) / 2));
}
