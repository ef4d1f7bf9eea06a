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

// The lit room of the test support. Pillars (steps false): varied floors,
// slopes, split floors and stepped ceilings with a pillar every few sectors,
// the lights low. Steps: every sector a floor and a ceiling step of its own,
// the lights halfway up, so that nearly every vertex sees every light.
std::string LitRoomProject(bool steps)
{
    tcuarto_list p;
    auto shape = [&p, steps](tsector& s, int i, int j, TFixtureRandom& rnd) {
        if (!steps && i % 5 == 3 && j % 5 == 3) {
            s.floorBase = int8_t(p.rooms[1].height);
            return;
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
    };
    MakeLitRoom(p, kSize, 25, shape,
                [steps](TFixtureRandom& rnd) { return steps ? 16 + rnd.Below(8) : 2 + rnd.Below(16); });
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
