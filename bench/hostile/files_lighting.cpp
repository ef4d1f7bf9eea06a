// Crafted projects for room lighting: one room of 255 x 255 sectors (the
// largest grid a room can have) with 25 enabled lights of the largest
// range. Opening them only reads them; switching the lighting on then
// lights a vertex list of the layer's largest size (bench/scene's
// bench_lighting measures that pass).
#include <string>

#include "hostile_files.h"
#include "level/project_file.h"
#include "support/project_fixture.h"
#include "support/temp_dir.h"

namespace {

constexpr int kSize = 255;

// Walls on the border. Pillars (steps false): varied floors, slopes, split
// floors and stepped ceilings with a pillar every few sectors, the lights
// low. Steps: every sector a floor and a ceiling step of its own, the
// lights halfway up, so that nearly every vertex sees every light.
std::string LitRoomProject(bool steps)
{
    tcuarto_list p;
    ResetProject(p);
    p.rooms.resize(2 + SPARE_ROOM_SLOTS);
    tcuarto& r = p.rooms[1];
    r.columns = kSize;
    r.rows = kSize;
    r.height = 12;
    p.roomCount = 1;
    InitRoomSectors(p, 1);
    TFixtureRandom rnd(11);
    for (int i = 2; i < kSize; ++i)
        for (int j = 2; j < kSize; ++j) {
            tsector& s = r.sectors[i][j];
            if (!steps && i % 5 == 3 && j % 5 == 3) {
                s.floorBase = int8_t(r.height);
                continue;
            }
            s.floorBase = int8_t(rnd.Below(3));
            s.floorClicks = int8_t(rnd.Below(4));
            s.ceilingBase = int8_t(rnd.Below(2));
            s.ceilingClicks = int8_t(rnd.Below(4));
            s.floorZFall = int8_t(rnd.Below(3));
            s.floorXRise = int8_t(rnd.Below(3));
            if (!steps && rnd.Below(3) == 0) {
                s.floorSplit = uint8_t(1 + rnd.Below(2));
                s.floorZFall = int8_t(rnd.Below(5) + (rnd.Below(4) == 0 ? 14 : 0));
            }
        }
    r.ambientIntensity = 12;
    r.ambientColor = 0x404040;
    r.lightCount = 25;
    for (int n = 1; n <= 25; ++n) {
        troom_light& l = r.lights[size_t(n)];
        l.column = int16_t(2 + (n - 1) % 5 * (kSize - 3) / 4);
        l.row = int16_t(2 + (n - 1) / 5 * (kSize - 3) / 4);
        l.height = int16_t(steps ? 16 + rnd.Below(8) : 2 + rnd.Below(16));
        l.color = 0x3060C0u + uint32_t(n);
        l.intensity = int8_t(4 + rnd.Below(8));
        l.range = 127;
        l.enabled = 1;
    }
    p.currentRoom = 1;
    TempDir dir;
    const std::string name = dir.file("lit.vel");
    int saves = 0;
    SaveProject(p, name, 0, 0, saves);
    const std::vector<uint8_t> bytes = ReadFileBytes(name);
    return std::string(bytes.begin(), bytes.end());
}

std::string MakeLitPillars() { return LitRoomProject(false); }
std::string MakeLitSteps() { return LitRoomProject(true); }

THostileRegistration litPillars{{"lighting_room_255_pillars.vel", THostileKind::Project, MakeLitPillars}};
THostileRegistration litSteps{{"lighting_room_255_steps.vel", THostileKind::Project, MakeLitSteps}};

}  // namespace
