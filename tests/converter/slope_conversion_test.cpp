#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "converter_fixture.h"

namespace {

using namespace converter_test;

// A level room of 5 x 5 open sectors and its project room of the same size,
// with one run per slant word: floor slants (function 2) or ceiling slants
// (function 3), group k + 1 for word k.
class SlopeConversion : public ::testing::Test {
protected:
    void SetUp() override
    {
        AddPlainRoom(*level, 0, 0, 5, 5);
        ResetProject(project);
        project.roomCount = 1;
        project.rooms.resize(2);
        tcuarto& r = project.rooms[1];
        r.columns = 5;
        r.rows = 5;
        r.height = 4;
        InitRoomSectors(project, 1);
        for (int x = 1; x <= 5; ++x)
            for (int z = 1; z <= 5; ++z) Sector(x, z).floorBase = 0;
    }

    void Slants(uint16_t function, const std::vector<uint16_t>& data)
    {
        std::vector<uint16_t> words{0};
        for (uint16_t w : data) {
            words.push_back(uint16_t(0x8000 | function));
            words.push_back(w);
        }
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

struct TEdges {
    int zFall, zRise, xFall, xRise, base, clicks;
    bool operator==(const TEdges&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TEdges& e)
{
    return os << "{zFall " << e.zFall << ", zRise " << e.zRise << ", xFall " << e.xFall << ", xRise " << e.xRise
              << ", base " << e.base << ", clicks " << e.clicks << "}";
}

TEdges FloorOf(const tsector& s)
{
    return {s.floorZFall, s.floorZRise, s.floorXFall, s.floorXRise, s.floorBase, s.floorClicks};
}

TEdges CeilingOf(const tsector& s)
{
    return {s.ceilingZFall, s.ceilingZRise, s.ceilingXFall, s.ceilingXRise, s.ceilingBase, s.ceilingClicks};
}

TEST_F(SlopeConversion, RiseAlongXLowersTheBase)
{
    // Total 8 clicks, X rise 2: base 1, extra clicks 2.
    EXPECT_EQ(FloorOf(Floor(0x0002, 2, 0)), (TEdges{0, 0, 0, 2, 1, 2}));
}

TEST_F(SlopeConversion, EachKindOfSlantWord)
{
    struct TCase {
        uint16_t w;
        TEdges expected;  // from a total of 8 clicks
    };
    const TCase cases[] = {
        {0x00FE, {0, 0, 2, 0, 1, 2}},      // X fall 2, Z rise 0
        {0xFF02, {1, 0, 0, 2, 1, 1}},      // X rise 2, Z fall 1
        {0x0202, {0, 2, 0, 0, 1, 2}},      // the X part is dropped
        {0xFFFE, {1, 0, 2, -2, 1, 3}},     // X rise 0xFE and X fall 2 cancel; Z fall 1
        {0x0080, {0, 0, 0, 0, 2, 0}},      // neither X edge; Z rise 0
        {0x0105, {0, 1, 0, 5, 0, 2}},      // X rise inside 0x100..0x180
        {0x0185, {0, 1, 123, 0, -29, 0}},  // X fall 0x7B inside 0x180..0x200
        {0x8000, {0, 0, 0, 0, 2, 0}},      // Z part 0x80: neither Z edge
        {0x8100, {127, 0, 0, 0, -29, -3}}, // Z fall 0x7F
        {0x7F00, {0, 127, 0, 0, -29, -3}}, // Z rise 0x7F
    };
    for (const TCase& c : cases) {
        SetUp();
        EXPECT_EQ(FloorOf(Floor(c.w, 2, 0)), c.expected) << std::hex << c.w;
    }
}

TEST_F(SlopeConversion, BorderSectorOnlyResplitsItsHeight)
{
    Sector(1, 3).floorXRise = 7;
    Sector(1, 3).floorZFall = 5;
    // A total of 9 clicks (base 0, extra clicks 9) becomes base 2, extra clicks 1.
    EXPECT_EQ(FloorOf(Floor(0x0002, 0, 9, 1, 3)), (TEdges{5, 0, 0, 7, 2, 1}));
    EXPECT_EQ(FloorOf(Floor(0x0002, 0, 9, 5, 3)), (TEdges{0, 0, 0, 0, 2, 1}));
    EXPECT_EQ(FloorOf(Floor(0x0002, 0, 9, 3, 1)), (TEdges{0, 0, 0, 0, 2, 1}));
    EXPECT_EQ(FloorOf(Floor(0x0002, 0, 9, 3, 5)), (TEdges{0, 0, 0, 0, 2, 1}));
}

TEST_F(SlopeConversion, NegativeTotalsSplitTowardZero)
{
    // Total -5 clicks: base -1, extra clicks -1.
    EXPECT_EQ(FloorOf(Floor(0x0000, -1, -1, 3, 3)).base, -1);
    EXPECT_EQ(FloorOf(Floor(0x0000, -1, -1, 3, 3)).clicks, -1);
    // A total of 3 - 5 = -2: base 0, extra clicks -2.
    EXPECT_EQ(FloorOf(Floor(0x0005, 0, 3)), (TEdges{0, 0, 0, 5, 0, -2}));
}

TEST_F(SlopeConversion, TotalWrapsAsASignedByte)
{
    // 31 x 4 + 3 = 127 clicks less an X fall of 0x7F.
    EXPECT_EQ(FloorOf(Floor(0x0081, 31, 3)), (TEdges{0, 0, 127, 0, 0, 0}));
    // -128 - 1 is read as the byte 127: base 31, extra clicks 3.
    EXPECT_EQ(FloorOf(Floor(0x0001, -32, 0, 2, 2)), (TEdges{0, 0, 0, 1, 31, 3}));
    // 0x7F7F: no X edge (its Z part is not 0), Z rise 0x7F.
    EXPECT_EQ(FloorOf(Floor(0x7F7F, 0, 0, 4, 4)), (TEdges{0, 127, 0, 0, -31, -3}));
}

TEST_F(SlopeConversion, SectorsSharingAGroupGetTheSameEdges)
{
    Slants(FD_FLOOR_SLANT, {0xFF03});
    for (int x : {2, 3}) {
        Sector(x, 2).floorBase = 3;
        ConvertFloorSlopes(project, *level, 1, 0, 0, x, 2);
    }
    EXPECT_EQ(FloorOf(Sector(2, 2)), FloorOf(Sector(3, 2)));
    EXPECT_EQ(FloorOf(Sector(2, 2)), (TEdges{1, 0, 0, 3, 2, 0}));
}

TEST_F(SlopeConversion, SecondSlantOfAKindKeepsEdgesItDoesNotSet)
{
    Slants(FD_FLOOR_SLANT, {0x0003, 0x0200});
    Sector(3, 3).floorBase = 3;
    ConvertFloorSlopes(project, *level, 1, 0, 0, 3, 3);  // X rise 3: 12 - 3 = 9
    ConvertFloorSlopes(project, *level, 2, 0, 0, 3, 3);  // X rise 0, Z rise 2: 9 - 2 = 7
    EXPECT_EQ(FloorOf(Sector(3, 3)), (TEdges{0, 2, 0, 3, 1, 3}));

    Slants(FD_FLOOR_SLANT, {0x00FD, 0x0202});
    Sector(2, 2) = Sector(1, 1);
    Sector(2, 2).floorBase = 2;
    ConvertFloorSlopes(project, *level, 1, 0, 0, 2, 2);  // X fall 3, Z rise 0
    ConvertFloorSlopes(project, *level, 2, 0, 0, 2, 2);  // only Z rise 2
    EXPECT_EQ(Sector(2, 2).floorXFall, 3);
    EXPECT_EQ(Sector(2, 2).floorZRise, 2);
}

TEST_F(SlopeConversion, CeilingTwinWritesTheCeilingFields)
{
    Slants(FD_CEILING_SLANT, {0xFF02, 0x00FE});
    const tsector before = Sector(3, 3);
    Sector(3, 3).ceilingBase = 2;
    ConvertCeilingSlopes(project, *level, 1, 0, 0, 3, 3);
    EXPECT_EQ(CeilingOf(Sector(3, 3)), (TEdges{1, 0, 0, 2, 1, 1}));
    EXPECT_EQ(FloorOf(Sector(3, 3)), FloorOf(before));
    // The ceiling's X rise lies where the floor's X fall does: byte 10.
    const auto* bytes = reinterpret_cast<const uint8_t*>(&Sector(3, 3));
    EXPECT_EQ(bytes[10], 2);
    EXPECT_EQ(bytes[8], 1);

    Sector(2, 3).ceilingBase = 2;
    ConvertCeilingSlopes(project, *level, 2, 0, 0, 2, 3);
    EXPECT_EQ(CeilingOf(Sector(2, 3)), (TEdges{0, 0, 2, 0, 1, 2}));
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&Sector(2, 3))[11], 2);
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
            if (x == 3 && z == 3) continue;
            const bool wall = (x == 2 && z == 2) || (x == 4 && z == 3);
            const TEdges e = FloorOf(Sector(x, z));
            EXPECT_EQ(e, (wall ? TEdges{0, 0, 0, 0, 0, 0} : TEdges{9, 9, 9, 9, 0, 0})) << x << "," << z;
            EXPECT_EQ(Sector(x, z).ceilingXRise, 9) << x << "," << z;
        }
    EXPECT_EQ(FloorOf(Sector(3, 3)), (TEdges{9, 0, 9, 1, 0, -1}));

    Slants(FD_CEILING_SLANT, {0x0001});
    ConvertCeilingSlopes(project, *level, 1, 0, 0, 3, 3);
    EXPECT_EQ(Sector(2, 2).ceilingXRise, 0);
    EXPECT_EQ(Sector(4, 3).ceilingZFall, 0);
    EXPECT_EQ(Sector(5, 5).ceilingZFall, 9);
}

TEST_F(SlopeConversion, ArgumentsOutsideTheTablesChangeNothing)
{
    Slants(FD_FLOOR_SLANT, {0x0002});
    const tcuarto_list copy = project;
    ConvertFloorSlopes(project, *level, 2, 0, 0, 3, 3);   // no such group
    ConvertFloorSlopes(project, *level, -1, 0, 0, 3, 3);
    ConvertFloorSlopes(project, *level, 1, 1, 0, 3, 3);   // no such entry
    ConvertFloorSlopes(project, *level, 1, 0, 1, 3, 3);   // no such room
    ConvertFloorSlopes(project, *level, 1, 0, -1, 3, 3);
    ConvertFloorSlopes(project, *level, 1, 0, 0, 0, 3);   // outside the grid
    ConvertFloorSlopes(project, *level, 1, 0, 0, 6, 3);
    ConvertFloorSlopes(project, *level, 1, 0, 0, 3, 6);
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
