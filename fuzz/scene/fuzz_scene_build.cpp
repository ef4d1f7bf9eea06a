// Builds every layer of a small project whose sectors, tables, counts and
// switches come from arbitrary bytes: whatever the records hold, the scene
// must not read or write outside them.
#include <cstdint>

#include "fuzz_input.h"
#include "platform/rtl/messages.h"
#include "scene/scene.h"

namespace {

// Sink that only counts: the scene has no device here, so every vertex
// buffer it builds is refused with a message.
class TQuietSink : public TMessageSink {
public:
    int Message(const TMessageRecord&) override { return IDOK; }
    void Exception(const std::string&) override {}
    void ProcessEnd(int) override {}
    void BusyCursor(bool) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TQuietSink sink;
    TScopedMessageSink scope(sink);
    TInput in(data, size);

    tcuarto_list project;
    ResetProject(project);
    const int rooms = 1 + in.Byte() % 3;
    for (int n = 1; n <= rooms; ++n) {
        tcuarto& r = project.rooms[size_t(n)];
        r.columns = uint16_t(in.Byte() % 7);
        r.rows = uint16_t(in.Byte() % 7);
        r.height = in.Byte();
        r.x = in.Signed();
        r.z = in.Signed();
        r.y = in.Signed();
        project.roomCount = uint8_t(n);
        InitRoomSectors(project, uint8_t(n));
        // Sometimes the size no longer matches the grid.
        if (in.Byte() % 8 == 0) r.columns = uint16_t(r.columns + in.Byte() % 4);
        for (int i = 0; i < r.sectors.ColumnSlots(); ++i)
            for (int j = 0; j < r.sectors.RowSlots(); ++j) {
                tsector& s = r.sectors[i][j];
                in.Fill(&s, 23);  // heights, links and flags
                s.floorSplit = in.Byte() % 4;
                s.ceilingSplit = in.Byte() % 4;
                s.indicator = in.Byte();
                s.indicatorWord = in.Word();
                in.Fill(&s.walls[in.Byte() % 8][in.Byte() % 6], sizeof(tface_texture));
                in.Fill(&s.floorFaces[in.Byte() % 2], sizeof(tface_texture));
                s.floorPieceHeights[in.Byte() % 6] = float(in.Signed()) / 8;
            }
        r.lightCount = in.SignedWord();
        for (int k = 1; k <= 3; ++k) in.Fill(&r.lights[size_t(k)], sizeof(troom_light));
        r.selectedLight = in.SignedWord();
        r.boxCount = in.Byte();
        for (int k = 1; k <= 3; ++k) in.Fill(&r.boxes[size_t(k)], sizeof(troom_box));
        r.selectedBox = in.Byte();
        r.ambientIntensity = in.SignedWord();
        r.ambientColor = uint32_t(in.SignedWord()) << 8 | in.Byte();
    }
    project.currentRoom = in.Byte() % 5;
    project.neighbourRoom = in.Byte() % 5;
    project.playerRoom = in.SignedWord();
    project.playerColumn = in.SignedWord();
    project.playerRow = in.SignedWord();
    project.cameraCount = in.SignedWord();
    for (int k = 1; k <= 2; ++k) in.Fill(&project.cameras[size_t(k)], sizeof(tcamera));
    project.flybyCount = in.SignedWord();
    for (int k = 1; k <= 2; ++k) in.Fill(&project.flybyCameras[size_t(k)], sizeof(tflyby_camera));
    project.soundSourceCount = in.SignedWord();
    for (int k = 1; k <= 2; ++k) in.Fill(&project.soundSources[size_t(k)], sizeof(tsound_source));

    tr_scene scene;
    scene.Project = &project;
    const uint8_t switches = in.Byte();
    scene.Lighting = switches & 1;
    scene.Textured = switches >> 1 & 1;
    scene.HideNeighbors = switches >> 2 & 1;
    scene.SelectedLightOnly = switches >> 3 & 1;
    scene.ColorCodes = switches >> 4 & 1;
    scene.HideFloors = switches >> 5 & 1;
    scene.HideCeilings = switches >> 6 & 1;
    scene.Brightness = in.Signed();
    scene.FloorIcon = in.Byte() % 6;
    scene.SplitIcon = in.Byte() % 6;
    scene.RoomOfInterest = in.Byte() % 5;
    static const char* const filters[] = {"", "ALL,", "2,", "1-3,", "3-1,2,x,", "0-9,-1,"};
    scene.RoomFilter = filters[in.Byte() % 6];
    // Every edit mode the scene knows, so that every layer is built.
    static const int modes[] = {1, 4, 5, 6, 8, 9, 10};
    for (int mode : modes) {
        scene.EditMode = mode;
        scene.SetDirty(10);
        scene.Update();
    }
    scene.CenterOnRoom();
    return 0;
}
