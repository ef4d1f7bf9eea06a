#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "converter_fixture.h"

namespace {

using namespace converter_test;

// A level room of 5 x 5 open sectors and its project room of the same size,
// with one run per slant word (function 2 floor, 3 ceiling): group k + 1 for word k.
class SlopeConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        AddPlainRoom(*level, 0, 0, 5, 5);
        ResetProject(project);
        project.roomCount = 1;
        project.rooms.resize(2);
        project.rooms[1].columns = project.rooms[1].rows = 5;
        project.rooms[1].height = 4;
        InitRoomSectors(project, 1);
        for (int x = 1; x <= 5; ++x)
            for (int z = 1; z <= 5; ++z) Sector(x, z).floorBase = 0;
    }
    void Slants(uint16_t function, const std::vector<uint16_t>& data)
    {
        std::vector<uint16_t> words{0};
        for (uint16_t w : data) words.insert(words.end(), {uint16_t(0x8000 | function), w});
        level->SetNumFloorData(uint32_t(words.size()));
        level->floor_data = words;
        IndexFloorData(*level, nullptr, nullptr);
    }
    tsector& Sector(int x, int z) { return project.rooms[1].sectors[x][z]; }
    // Floor slant word w on sector (x, z) that starts with the given height.
    tsector& Floor(uint16_t w, int base, int clicks, int x = 3, int z = 3)
    {
        Slants(FD_FLOOR_SLANT, {w});
        Sector(x, z).floorBase = int8_t(base);
        Sector(x, z).floorClicks = int8_t(clicks);
        ConvertFloorSlopes(project, *level, 1, 0, 0, x, z);
        return Sector(x, z);
    }
    std::unique_ptr<Ttrlevel> level = std::make_unique<Ttrlevel>();
    tcuarto_list project;
};

using TEdges = std::array<int, 6>;  // Z fall, Z rise, X fall, X rise, base, clicks

TEdges FloorOf(const tsector& s)
{
    return {s.floorZFall, s.floorZRise, s.floorXFall, s.floorXRise, s.floorBase, s.floorClicks};
}
TEdges CeilingOf(const tsector& s)
{
    return {s.ceilingZFall, s.ceilingZRise, s.ceilingXFall, s.ceilingXRise, s.ceilingBase, s.ceilingClicks};
}

TEST_F(SlopeConversion, EachKindOfSlantWord)
{
    struct TCase {
        uint16_t w;
        int base, clicks, x, z;
        TEdges expected;
    };
    const TCase cases[] = {
        {0x0002, 2, 0, 3, 3, {0, 0, 0, 2, 1, 2}},       // total 8, X rise 2
        {0x00FE, 2, 0, 3, 3, {0, 0, 2, 0, 1, 2}},       // X fall 2, Z rise 0
        {0xFF02, 2, 0, 3, 3, {1, 0, 0, 2, 1, 1}},       // X rise 2, Z fall 1
        {0x0202, 2, 0, 3, 3, {0, 2, 0, 0, 1, 2}},       // the X part is dropped
        {0xFFFE, 2, 0, 3, 3, {1, 0, 2, -2, 1, 3}},      // X rise 0xFE and X fall 2 cancel; Z fall 1
        {0x0080, 2, 0, 3, 3, {0, 0, 0, 0, 2, 0}},       // neither X edge; Z rise 0
        {0x0105, 2, 0, 3, 3, {0, 1, 0, 5, 0, 2}},       // X rise inside 0x100..0x180
        {0x0185, 2, 0, 3, 3, {0, 1, 123, 0, -29, 0}},   // X fall 0x7B inside 0x180..0x200
        {0x8000, 2, 0, 3, 3, {0, 0, 0, 0, 2, 0}},       // Z part 0x80: neither Z edge
        {0x8100, 2, 0, 3, 3, {127, 0, 0, 0, -29, -3}},  // Z fall 0x7F
        {0x7F00, 2, 0, 3, 3, {0, 127, 0, 0, -29, -3}},  // Z rise 0x7F
        // Totals split toward zero and wrap as a signed byte.
        {0x0000, -1, -1, 3, 3, {0, 0, 0, 0, -1, -1}},  // -5 clicks
        {0x0005, 0, 3, 3, 3, {0, 0, 0, 5, 0, -2}},
        {0x0081, 31, 3, 3, 3, {0, 0, 127, 0, 0, 0}},    // 127 clicks less an X fall of 0x7F
        {0x0001, -32, 0, 2, 2, {0, 0, 0, 1, 31, 3}},    // -128 - 1 is the byte 127
        {0x7F7F, 0, 0, 4, 4, {0, 127, 0, 0, -31, -3}},  // no X edge: its Z part is not 0
        // A border sector only has its height re-split (9 clicks: base 2, clicks 1).
        {0x0002, 0, 9, 5, 3, {0, 0, 0, 0, 2, 1}},
        {0x0002, 0, 9, 3, 1, {0, 0, 0, 0, 2, 1}},
        {0x0002, 0, 9, 3, 5, {0, 0, 0, 0, 2, 1}},
        {0x0002, 0, 9, 1, 3, {0, 0, 0, 0, 2, 1}},
    };
    for (const TCase& c : cases) {
        SetUp();
        EXPECT_EQ(FloorOf(Floor(c.w, c.base, c.clicks, c.x, c.z)), c.expected)
            << std::hex << c.w << std::dec << " " << c.x << "," << c.z;
    }
}

TEST_F(SlopeConversion, SharedGroupsSecondSlantsAndTheCeilingTwin)
{
    // Two sectors that share a group get the same edges.
    Slants(FD_FLOOR_SLANT, {0xFF03});
    for (int x : {2, 3}) {
        Sector(x, 2).floorBase = 3;
        ConvertFloorSlopes(project, *level, 1, 0, 0, x, 2);
    }
    EXPECT_EQ(FloorOf(Sector(2, 2)), FloorOf(Sector(3, 2)));
    EXPECT_EQ(FloorOf(Sector(2, 2)), (TEdges{1, 0, 0, 3, 2, 0}));
    // A second slant of a kind keeps the edges it does not set.
    Slants(FD_FLOOR_SLANT, {0x0003, 0x0200, 0xFF00});
    Sector(3, 3).floorBase = 3;
    ConvertFloorSlopes(project, *level, 1, 0, 0, 3, 3);  // X rise 3: 12 - 3 = 9
    ConvertFloorSlopes(project, *level, 2, 0, 0, 3, 3);  // no X edge, Z rise 2: 9 - 2 = 7
    ConvertFloorSlopes(project, *level, 3, 0, 0, 3, 3);  // no X edge (X rises start above 0xFF00), Z fall 1: 6
    EXPECT_EQ(FloorOf(Sector(3, 3)), (TEdges{1, 2, 0, 3, 1, 2}));
    // The ceiling's fields; its X rise lies where the floor's X fall does (byte 10).
    Slants(FD_CEILING_SLANT, {0xFF02, 0x00FE});
    const TEdges floor = FloorOf(Sector(3, 3));
    Sector(3, 3).ceilingBase = Sector(2, 3).ceilingBase = 2;
    ConvertCeilingSlopes(project, *level, 1, 0, 0, 3, 3);
    ConvertCeilingSlopes(project, *level, 2, 0, 0, 2, 3);
    EXPECT_EQ(CeilingOf(Sector(3, 3)), (TEdges{1, 0, 0, 2, 1, 1}));
    EXPECT_EQ(CeilingOf(Sector(2, 3)), (TEdges{0, 0, 2, 0, 1, 2}));
    EXPECT_EQ(FloorOf(Sector(3, 3)), floor);
    const auto* a = reinterpret_cast<const uint8_t*>(&Sector(3, 3));
    const auto* b = reinterpret_cast<const uint8_t*>(&Sector(2, 3));
    EXPECT_EQ(std::make_tuple(a[8], a[10], b[11]), std::make_tuple(1, 2, 2));
}

TEST_F(SlopeConversion, WallSectorsLoseTheEdgesOfThatSide)
{
    LevelSector(*level, 0, 2, 2) = WallSector();
    LevelSector(*level, 0, 4, 3) = WallSector();
    for (int x = 1; x <= 5; ++x)
        for (int z = 1; z <= 5; ++z) {
            tsector& s = Sector(x, z);
            s.floorZFall = s.floorZRise = s.floorXFall = s.floorXRise = 9;
            s.ceilingZFall = s.ceilingZRise = s.ceilingXFall = s.ceilingXRise = 9;
        }
    Slants(FD_FLOOR_SLANT, {0x0001});
    ConvertFloorSlopes(project, *level, 1, 0, 0, 3, 3);
    for (int x = 1; x <= 5; ++x)
        for (int z = 1; z <= 5; ++z) {
            const bool wall = (x == 2 && z == 2) || (x == 4 && z == 3);
            const TEdges expected = x == 3 && z == 3 ? TEdges{9, 0, 9, 1, 0, -1}
                                    : wall           ? TEdges{0, 0, 0, 0, 0, 0}
                                                     : TEdges{9, 9, 9, 9, 0, 0};
            EXPECT_EQ(FloorOf(Sector(x, z)), expected) << x << "," << z;
            EXPECT_EQ(Sector(x, z).ceilingXRise, 9) << x << "," << z;
        }
    Slants(FD_CEILING_SLANT, {0x0001});
    ConvertCeilingSlopes(project, *level, 1, 0, 0, 3, 3);
    EXPECT_EQ(std::make_tuple(Sector(2, 2).ceilingXRise, Sector(4, 3).ceilingZFall, Sector(5, 5).ceilingZFall),
              std::make_tuple(0, 0, 9));
}

TEST_F(SlopeConversion, ArgumentsOutsideTheTablesChangeNothing)
{
    Slants(FD_FLOOR_SLANT, {0x0002});
    const tcuarto_list copy = project;
    // No such group, entry or room; outside the grid.
    for (const auto& [group, entry, room, x, z] : std::vector<std::array<int, 5>>{{2, 0, 0, 3, 3},
                                                                                  {-1, 0, 0, 3, 3},
                                                                                  {1, 1, 0, 3, 3},
                                                                                  {1, 0, 1, 3, 3},
                                                                                  {1, 0, -1, 3, 3},
                                                                                  {1, 0, 0, 0, 3},
                                                                                  {1, 0, 0, 6, 3},
                                                                                  {1, 0, 0, 3, 6}})
        ConvertFloorSlopes(project, *level, group, entry, room, x, z);
    ConvertCeilingSlopes(project, *level, 1, 0, 0, 3, 0);
    EXPECT_EQ(std::memcmp(copy.rooms[1].sectors.data(), project.rooms[1].sectors.data(),
                          project.rooms[1].sectors.size() * sizeof(tsector)),
              0);
    // A room whose size says more than its grid holds is only worked inside the grid.
    project.rooms[1].columns = 9;
    ConvertFloorSlopes(project, *level, 1, 0, 0, 5, 3);
    EXPECT_EQ(Sector(5, 3).floorXRise, 2);
}

}  // namespace

namespace {

using namespace converter_test;

// Every slant word of a run folded into one summary does to a sector what
// converting the entries one after another does, whatever the words, the
// starting height and the place of the sector. Asked to clear only the
// sector itself, the summary leaves the room's other walls as they were and
// clears the sector when it is a wall.
TEST_F(SlopeConversion, ASummaryOfARunDoesWhatItsEntriesDoInTurn)
{
    const struct {
        std::vector<uint16_t> words;
        int base, clicks, x, z;
    } runs[] = {
        {{0x0003, 0x0200, 0xFF00}, 3, 0, 3, 3},
        {{0xFF02, 0x00FE, 0x0185, 0x8100, 0x7F7F, 0x0105}, -32, 0, 2, 2},
        {{0x0081, 0x0081, 0x0081, 0x0081, 0x0081}, 31, 3, 4, 4},
        {{0xFFFE, 0x0001, 0x8000}, 0, 9, 2, 4},
        {{0x0002, 0x0005}, 0, 9, 5, 3},  // a border sector
        {{0x7F00, 0x7F00, 0x7F00}, -1, -1, 3, 2},
        {{}, 2, 1, 3, 3},                // no slant: nothing happens
        {{0x0003, 0x0200}, 1, 0, 4, 2},  // the wall itself
    };
    LevelSector(*level, 0, 4, 2) = WallSector();
    for (const auto& run : runs) {
        SCOPED_TRACE(::testing::PrintToString(run.words));
        for (uint16_t function : {FD_FLOOR_SLANT, FD_CEILING_SLANT}) {
            const bool floor = function == FD_FLOOR_SLANT;
            // One run holding every word, with other functions between them.
            std::vector<uint16_t> words{0};
            for (uint16_t w : run.words) words.insert(words.end(), {function, w, uint16_t(5)});
            words.insert(words.end(), {uint16_t(0x8000 | 5)});
            level->SetNumFloorData(uint32_t(words.size()));
            level->floor_data = words;
            IndexFloorData(*level, nullptr, nullptr);

            std::array<TEdges, 3> results;
            for (int way = 0; way < 3; ++way) {
                SetUp();
                LevelSector(*level, 0, 4, 2) = WallSector();
                Sector(4, 2).floorXRise = Sector(4, 2).ceilingXRise = 7;
                tsector& s = Sector(run.x, run.z);
                (floor ? s.floorBase : s.ceilingBase) = int8_t(run.base);
                (floor ? s.floorClicks : s.ceilingClicks) = int8_t(run.clicks);
                if (way == 0) {
                    const auto& entries = FloorDataGroups.at(1).entries;
                    for (size_t k = 0; k < entries.size(); ++k) {
                        if (entries[k].function != function) continue;
                        if (floor) ConvertFloorSlopes(project, *level, 1, int(k), 0, run.x, run.z);
                        else ConvertCeilingSlopes(project, *level, 1, int(k), 0, run.x, run.z);
                    }
                } else {
                    const TSlantSummary summary = SummariseSlants(FloorDataGroups.at(1), function);
                    EXPECT_EQ(summary.count, run.words.size());
                    const TWallClearing walls = way == 1 ? TWallClearing::EveryWall : TWallClearing::ThisSector;
                    if (floor) ApplyFloorSlants(project, *level, summary, 0, run.x, run.z, walls);
                    else ApplyCeilingSlants(project, *level, summary, 0, run.x, run.z, walls);
                }
                results[size_t(way)] = floor ? FloorOf(s) : CeilingOf(s);
                const TEdges wall = floor ? FloorOf(Sector(4, 2)) : CeilingOf(Sector(4, 2));
                const bool cleared = !run.words.empty() && (way < 2 || (run.x == 4 && run.z == 2));
                EXPECT_EQ(wall[3], cleared ? 0 : 7) << way;
            }
            EXPECT_EQ(results[1], results[0]) << (floor ? "floor" : "ceiling");
            EXPECT_EQ(results[2], results[0]) << (floor ? "floor" : "ceiling");
        }
    }
}

}  // namespace
