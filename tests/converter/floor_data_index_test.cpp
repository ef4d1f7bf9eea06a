#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <tuple>
#include <vector>

#include "converter/floor_data_index.h"
#include "level/trlevel.h"
#include "platform/rtl/progress.h"

namespace {

// Indexes exactly these words (the array holds nothing more, so a read past
// them is caught by the address sanitizer).
void Index(const std::vector<uint16_t>& words, TProgressBar* gauge3 = nullptr, TProgressBar* gauge2 = nullptr)
{
    auto level = std::make_unique<Ttrlevel>();
    level->SetNumFloorData(uint32_t(words.size()));
    level->floor_data.shrink_to_fit();
    std::copy(words.begin(), words.end(), level->floor_data.begin());
    IndexFloorData(*level, gauge3, gauge2);
}

// The groups after group 0 as "first word: entries flags", an entry as
// "function/sub-function=data" and a trigger's part as "[type item:
// action.parameter.camera word ...]"; then the index's non-zero slots.
std::string Trace()
{
    std::ostringstream out;
    for (size_t g = 1; g < FloorDataGroups.size(); ++g) {
        const tfloordata_group& group = FloorDataGroups[g];
        out << group.firstWord << ":";
        EXPECT_EQ(size_t(group.entryCount), group.entries.size());
        for (const ttrigger_list& e : group.entries) {
            out << " " << e.function << "/" << e.subFunction << "=" << e.data;
            const tfdlist& t = e.trigger;
            EXPECT_EQ(size_t(t.actionCount), t.actions.size());
            if (e.function != 4) {
                EXPECT_EQ(t.actions.size(), 0u) << "function " << e.function;
                EXPECT_EQ(t.triggerItem, -1) << "function " << e.function;
                EXPECT_EQ(t.triggerType, 0) << "function " << e.function;
                continue;
            }
            out << "[" << t.triggerType << " " << t.triggerItem << ":";
            for (const tfdaction& a : t.actions)
                out << " " << int(a.action) << "." << a.parameter << "." << a.cameraWord;
            out << "]";
        }
        out << (group.portal ? " p" : "") << (group.trigger ? " t" : "") << (group.death ? " d" : "")
            << (group.highFunction ? " h" : "") << "; ";
    }
    const tfloordata_group& zero = FloorDataGroups.at(0);
    EXPECT_EQ(zero.firstWord, 0);
    EXPECT_EQ(zero.entries.size(), 0u);
    EXPECT_EQ(std::tuple(+zero.portal, +zero.trigger, +zero.death, +zero.highFunction), std::tuple(0, 0, 0, 0))
        << "portal, trigger, death, high function";
    out << "|";
    for (size_t p = 0; p < FloorDataIndex.size(); ++p)
        if (FloorDataIndex[p]) out << " " << p << "=" << FloorDataIndex[p];
    return out.str();
}

}  // namespace

TEST(FloorDataIndex, RunsBecomeGroups)
{
    const std::vector<std::pair<std::vector<uint16_t>, std::string>> cases = {
        {{0x0000, 0x8001, 0x0007}, "1: 1/0=7 p; | 1=1"},
        // Single-word functions take no data.
        {{0x0000, 0x8005, 0x8001, 0x0003}, "1: 5/0=0 d; 2: 1/0=3 p; | 1=1 2=2"},
        {{0x0000, 0x0006, 0x8001, 0x0009}, "1: 6/0=0 1/0=9 p; | 1=1"},
        {{0x0000, 0x0013, 0x8001, 0x0009}, "1: 19/0=0 1/0=9 p; | 1=1"},
        {{0x0000, 0x0014, 0x8001, 0x0009}, "1: 20/0=0 1/0=9 p; | 1=1"},
        {{0x0000, 0x0015, 0x8001, 0x0009}, "1: 21/0=0 1/0=9 p; | 1=1"},
        {{0x0000, 0x0002, 0x0102, 0x8003, 0xFE00}, "1: 2/0=258 3/0=65024; | 1=1"},
        {{0x0000, 0xFF01, 0x0002}, "1: 1/127=2 p; | 1=1"},  // the sub-function is bits 8 to 14
        // Triggers: an item word for types 2 to 4, then actions up to the one with the end flag.
        {{0x0000, 0x8204, 0x3E00, 0x0005, 0x8003}, "1: 4/2=15872[2 5: 0.3.0] t; | 1=1"},
        {{0x0000, 0x0004, 0x0000, 0x0C02, 0x1407, 0x9BFF, 0x8001, 0x0004, 0x8005},
         "1: 4/0=0[0 -1: 3.2.0 5.7.0 6.1023.0] 1/0=4 p t; 8: 5/0=0 d; | 1=1 8=2"},
        // A camera action takes the next word, whose end flag counts instead; only action type 1 on all five bits.
        {{0x0000, 0x8004, 0x0000, 0x0401, 0x8100}, "1: 4/0=0[0 -1: 1.1.256] t; | 1=1"},
        {{0x0000, 0x8004, 0x0000, 0x8401, 0x7F05, 0x8002, 0x8005},
         "1: 4/0=0[0 -1: 1.1.32512 0.2.0] t; 6: 5/0=0 d; | 1=1 6=2"},
        {{0x0000, 0x8004, 0x0000, 0x0401}, "1: 4/0=0[0 -1: 1.1.0] t; | 1=1"},
        {{0x0000, 0x8004, 0x0000, 0x4401, 0x8100}, "1: 4/0=0[0 -1: 1.1.0 0.256.0] t; | 1=1"},
        // Function codes above 25 take data words and mark the group.
        {{0x0000, 0x001A, 0x1234, 0x8019, 0x4321}, "1: 26/0=4660 25/0=17185 h; | 1=1"},
        {{0x0000, 0x8019, 0x0000}, "1: 25/0=0; | 1=1"},
        // The data ends the scan: a run without its end flag, a data word past the end (0), a trigger
        // cut off before its item word, actions without the end flag.
        {{0x0000, 0x0002, 0x0011, 0x0003, 0x0022}, "1: 2/0=17 3/0=34; | 1=1"},
        {{0x0000, 0x0002, 0x0011, 0x0001}, "1: 2/0=17 1/0=0 p; | 1=1"},
        {{0x0000, 0x8304, 0x1000}, "1: 4/3=4096[3 -1:] t; | 1=1"},
        {{0x0000, 0x8004, 0x0000, 0x0001, 0x0002, 0x0003}, "1: 4/0=0[0 -1: 0.1.0 0.2.0 0.3.0] t; | 1=1"},
        // Word 0 never starts a run; no words leave group 0 alone.
        {{0x8001}, "|"},
        {{}, "|"},
        {{0x0000, 0x0002, 0x0102, 0x8003, 0xFE00, 0x8005, 0x0004, 0x0000, 0x0003, 0x8401, 0x8000, 0x8001, 0x0002,
          0x801B, 0x0000},
         "1: 2/0=258 3/0=65024; 5: 5/0=0 d; 6: 4/0=0[0 -1: 0.3.0 1.1.0] 1/0=2 p t; 13: 27/0=0 h; | 1=1 5=2 6=3 13=4"},
    };
    for (const auto& [words, trace] : cases) {
        Index(words);
        EXPECT_EQ(Trace(), trace) << ::testing::PrintToString(words);
    }
    // Lookups past the end and inside runs give group 0.
    Index({0x0000, 0x8001, 0x0002, 0x8005});
    EXPECT_EQ(std::vector<int>({FloorDataGroupNumber(1), FloorDataGroupNumber(3), FloorDataGroupNumber(2),
                                FloorDataGroupNumber(4), FloorDataGroupNumber(40000)}),
              std::vector<int>({1, 2, 0, 0, 0}));
}

TEST(FloorDataIndex, CountsAndPositionsBeyondTheWords)
{
    // A count larger than the words is bounded by the words.
    auto level = std::make_unique<Ttrlevel>();
    level->SetNumFloorData(3);
    level->floor_data = {0x0000, 0x0001, 0x0002};
    level->floor_data.shrink_to_fit();
    level->num_floor_data = 100000;
    IndexFloorData(*level, nullptr, nullptr);
    EXPECT_EQ(Trace(), "1: 1/0=2 p; | 1=1");
    // A run past word 65535 keeps only the low bits of its position but takes
    // no earlier slot; group numbers past 16 bits are not stored, nor are
    // their groups kept.
    std::vector<uint16_t> words(70000, 0x8005);
    words[0] = 0;
    words[65535] = 0x8001;  // group 65535 starts at word 65535 and ends at 65536
    Index(words);
    ASSERT_EQ(std::make_pair(FloorDataGroups.size(), FloorDataIndex.size()),
              std::make_pair(size_t(65536), size_t(70000)));
    EXPECT_EQ(FloorDataGroups[65535].firstWord, 65535);
    EXPECT_EQ(FloorDataGroups[65535].entries.at(0).data, 0x8005);
    EXPECT_EQ(
        std::vector<int>({FloorDataIndex[1], FloorDataIndex[65535], FloorDataIndex[65536], FloorDataIndex[69999]}),
        std::vector<int>({1, 65535, 0, 0}));
}

// A run that never ends, or a trigger whose actions never end, is read to
// the end of the data for its flags, slants and portal rooms, but keeps its
// first MAX_GROUP_ENTRIES functions and MAX_TRIGGER_ACTIONS actions; with
// the groups kept only up to number 65535, a million words of floor data
// keep a few megabytes.
TEST(FloorDataIndex, EndlessRunsAndActionListsKeepTheirFirstEntries)
{
    const struct {
        std::vector<uint16_t> pattern;
        size_t entries, actions;
        std::string flags;
        uint32_t slants;
        std::vector<uint16_t> portalRooms;
    } cases[] = {
        {{0x0002, 0x0001}, MAX_GROUP_ENTRIES, 0, "", 500000, {}},
        {{0x0002, 0x0001, 0x0006, 0x0001, 0x0000, 0x0005}, MAX_GROUP_ENTRIES, 0, "pd", 166667, {0}},
        {{0x0003, 0x0001}, 1, MAX_TRIGGER_ACTIONS, "t", 0, {}},  // one trigger: its actions run to the end
    };
    for (const auto& c : cases) {
        std::vector<uint16_t> words{0};
        if (c.actions) words.insert(words.end(), {0x0004, 0x0000});
        while (words.size() < 1000000) words.insert(words.end(), c.pattern.begin(), c.pattern.end());
        Index(words);
        ASSERT_EQ(FloorDataGroups.size(), 2u);
        const tfloordata_group& g = FloorDataGroups[1];
        EXPECT_EQ(g.entries.size(), c.entries);
        EXPECT_EQ(size_t(g.entryCount), c.entries);
        EXPECT_EQ(g.entries.back().trigger.actions.size(), c.actions);
        EXPECT_EQ(std::string(g.portal ? "p" : "") + (g.trigger ? "t" : "") + (g.death ? "d" : ""), c.flags);
        EXPECT_EQ(g.floorSlants.count, c.slants);
        EXPECT_EQ(g.floorSlants.xRise, c.slants ? 1 : SLANT_UNSET);
        EXPECT_EQ(g.ceilingSlants.count, 0u);
        EXPECT_EQ(g.portalRooms, c.portalRooms);
    }
    // One-word runs: group numbers up to 65535 only.
    std::vector<uint16_t> deaths(1000000, 0x8005);
    deaths[0] = 0;
    Index(deaths);
    EXPECT_EQ(FloorDataGroups.size(), 65536u);
}

// The portal rooms of a run: each data word below 255 once, in the order
// of their last entries; the slants of each kind folded in order.
TEST(FloorDataIndex, PortalRoomsAndSlantsOfARun)
{
    Index({0x0000, 0x0001, 0x0007, 0x0001, 0x0003, 0x0002, 0x0102, 0x0001, 0x00FF, 0x0001, 0x0007,
           0x0003, 0xFE00, 0x0001, 0x0009, 0x0002, 0x0005, 0x8001, 0x0003, 0x8001, 0x0004});
    ASSERT_EQ(FloorDataGroups.size(), 3u);
    const tfloordata_group& g = FloorDataGroups[1];
    EXPECT_EQ(g.portalRooms, (std::vector<uint16_t>{7, 9, 3}));
    EXPECT_EQ(std::tuple(g.floorSlants.count, int(g.floorSlants.xRise), int(g.floorSlants.zRise)),
              std::tuple(2u, 5, 0));
    EXPECT_EQ(std::tuple(g.ceilingSlants.count, int(g.ceilingSlants.zFall)), std::tuple(1u, 2));
    EXPECT_EQ(FloorDataGroups[2].portalRooms, (std::vector<uint16_t>{4}));
}

TEST(FloorDataIndex, GaugesFollowTheScan)
{
    TProgressBar gauge3, gauge2;
    gauge2.SetMax(150);
    std::vector<int> seen3, seen2;
    gauge3.OnChange = [&](const TProgressBar& g) { seen3.push_back(g.Position()); };
    gauge2.OnChange = [&](const TProgressBar& g) { seen2.push_back(g.Position()); };
    // Four runs of two words after word 0: positions 3, 5, 7, 9 of 9.
    Index({0x0000, 0x8001, 0x0001, 0x8001, 0x0002, 0x8001, 0x0003, 0x8001, 0x0004}, &gauge3, &gauge2);
    EXPECT_EQ(seen3, (std::vector<int>{33, 55, 77, 100, 0}));
    EXPECT_EQ(seen2, (std::vector<int>{8, 13, 19, 25}));
}
