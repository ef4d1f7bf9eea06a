#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "converter/floor_data_index.h"
#include "level/trlevel.h"
#include "platform/rtl/progress.h"

namespace {

// Indexes exactly these words (the level's array holds nothing more, so any
// read past them is caught by the address sanitizer).
void Index(const std::vector<uint16_t>& words, TProgressBar* gauge3 = nullptr, TProgressBar* gauge2 = nullptr)
{
    auto level = std::make_unique<Ttrlevel>();
    level->SetNumFloorData(uint32_t(words.size()));
    level->floor_data.shrink_to_fit();
    for (size_t i = 0; i < words.size(); ++i) level->floor_data[i] = words[i];
    IndexFloorData(*level, gauge3, gauge2);
}

void ExpectEmptyGroup(const tfloordata_group& g)
{
    EXPECT_EQ(g.firstWord, 0);
    EXPECT_EQ(g.entryCount, 0);
    EXPECT_TRUE(g.entries.empty());
    EXPECT_EQ(g.portal | g.trigger | g.death | g.highFunction, 0);
}

TEST(FloorDataIndex, PortalRunIsGroupOneAtWordOne)
{
    Index({0x0000, 0x8001, 0x0007});
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    ExpectEmptyGroup(FloorDataGroups[0]);
    const tfloordata_group& g = FloorDataGroups[1];
    EXPECT_EQ(g.firstWord, 1);
    ASSERT_EQ(g.entryCount, 1);
    EXPECT_EQ(g.entries[0].function, 1);
    EXPECT_EQ(g.entries[0].data, 7);
    EXPECT_EQ(g.portal, 1);
    EXPECT_EQ(g.trigger | g.death | g.highFunction, 0);
    EXPECT_EQ(FloorDataIndex, (std::vector<uint16_t>{0, 1, 0}));
}

TEST(FloorDataIndex, SingleWordFunctionsTakeNoData)
{
    // Death, then a run right behind it at word 2.
    Index({0x0000, 0x8005, 0x8001, 0x0003});
    ASSERT_EQ(FloorDataGroups.size(), 3u);
    const tfloordata_group& death = FloorDataGroups[1];
    ASSERT_EQ(death.entryCount, 1);
    EXPECT_EQ(death.entries[0].function, 5);
    EXPECT_EQ(death.entries[0].data, 0);
    EXPECT_EQ(death.death, 1);
    EXPECT_EQ(FloorDataGroups[2].firstWord, 2);
    EXPECT_EQ(FloorDataGroups[2].entries[0].data, 3);
    EXPECT_EQ(FloorDataIndex, (std::vector<uint16_t>{0, 1, 2, 0}));

    // Each of the five single-word functions ends after its own word.
    for (uint16_t f : {5, 6, 19, 20, 21}) {
        Index({0x0000, uint16_t(f), 0x8001, 0x0009});
        ASSERT_EQ(FloorDataGroups.size(), 2u) << f;
        ASSERT_EQ(FloorDataGroups[1].entryCount, 2) << f;
        EXPECT_EQ(FloorDataGroups[1].entries[0].data, 0) << f;
        EXPECT_EQ(FloorDataGroups[1].entries[1].data, 9) << f;
    }
}

TEST(FloorDataIndex, RunOfTwoSlants)
{
    Index({0x0000, 0x0002, 0x0102, 0x8003, 0xFE00});
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    const tfloordata_group& g = FloorDataGroups[1];
    ASSERT_EQ(g.entryCount, 2);
    EXPECT_EQ(g.entries[0].function, 2);
    EXPECT_EQ(g.entries[0].data, 0x0102);
    EXPECT_EQ(g.entries[1].function, 3);
    EXPECT_EQ(g.entries[1].data, 0xFE00);
    EXPECT_EQ(g.portal | g.trigger | g.death | g.highFunction, 0);
}

TEST(FloorDataIndex, SubFunctionIsBitsEightToFourteen)
{
    Index({0x0000, 0xFF01, 0x0002});
    ASSERT_EQ(FloorDataGroups[1].entryCount, 1);
    EXPECT_EQ(FloorDataGroups[1].entries[0].function, 1);
    EXPECT_EQ(FloorDataGroups[1].entries[0].subFunction, 0x7F);
}

TEST(FloorDataIndex, TriggerWithItemAndOneAction)
{
    Index({0x0000, 0x8204, 0x3E00, 0x0005, 0x8003});
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    const tfloordata_group& g = FloorDataGroups[1];
    EXPECT_EQ(g.trigger, 1);
    ASSERT_EQ(g.entryCount, 1);
    const ttrigger_list& e = g.entries[0];
    EXPECT_EQ(e.function, 4);
    EXPECT_EQ(e.subFunction, 2);
    EXPECT_EQ(e.data, 0x3E00);
    EXPECT_EQ(e.trigger.triggerType, 2);
    EXPECT_EQ(e.trigger.triggerItem, 5);
    ASSERT_EQ(e.trigger.actionCount, 1);
    EXPECT_EQ(e.trigger.actions[0].action, 0);
    EXPECT_EQ(e.trigger.actions[0].parameter, 3);
    EXPECT_EQ(e.trigger.actions[0].cameraWord, 0);
}

TEST(FloorDataIndex, TriggerTypesWithoutItemGoStraightToActions)
{
    // Type 0: the actions follow the setup word; the trigger and the run go
    // on after the last action with a portal.
    Index({0x0000, 0x0004, 0x0000, 0x0C02, 0x1407, 0x9BFF, 0x8001, 0x0004, 0x8005});
    ASSERT_EQ(FloorDataGroups.size(), 3u);
    const tfloordata_group& g = FloorDataGroups[1];
    ASSERT_EQ(g.entryCount, 2);
    const tfdlist& t = g.entries[0].trigger;
    EXPECT_EQ(t.triggerItem, -1);
    ASSERT_EQ(t.actionCount, 3);
    EXPECT_EQ(t.actions[0].action, 3);
    EXPECT_EQ(t.actions[0].parameter, 2);
    EXPECT_EQ(t.actions[1].action, 5);
    EXPECT_EQ(t.actions[1].parameter, 7);
    EXPECT_EQ(t.actions[2].action, 6);
    EXPECT_EQ(t.actions[2].parameter, 0x3FF);
    EXPECT_EQ(g.entries[1].function, 1);
    EXPECT_EQ(g.entries[1].data, 4);
    EXPECT_EQ(g.portal, 1);
    EXPECT_EQ(g.trigger, 1);
    EXPECT_EQ(FloorDataGroups[2].firstWord, 8);
    EXPECT_EQ(FloorDataGroups[2].death, 1);
    // Every entry but the trigger has an empty trigger part.
    EXPECT_EQ(g.entries[1].trigger.triggerItem, -1);
    EXPECT_TRUE(g.entries[1].trigger.actions.empty());
}

TEST(FloorDataIndex, CameraActionTakesTheNextWordAndItsEndFlag)
{
    // Camera action at the very end of the data.
    Index({0x0000, 0x8004, 0x0000, 0x0401, 0x8100});
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    const tfdlist& t = FloorDataGroups[1].entries[0].trigger;
    ASSERT_EQ(t.actionCount, 1);
    EXPECT_EQ(t.actions[0].action, 1);
    EXPECT_EQ(t.actions[0].parameter, 1);
    EXPECT_EQ(t.actions[0].cameraWord, 0x0100);

    // The camera word without its end flag lets the trigger go on, whatever
    // the action word said; with it, the next word starts a new run.
    Index({0x0000, 0x8004, 0x0000, 0x8401, 0x7F05, 0x8002, 0x8005});
    ASSERT_EQ(FloorDataGroups.size(), 3u);
    const tfdlist& t2 = FloorDataGroups[1].entries[0].trigger;
    ASSERT_EQ(t2.actionCount, 2);
    EXPECT_EQ(t2.actions[0].cameraWord, 0x7F00);
    EXPECT_EQ(t2.actions[1].parameter, 2);
    EXPECT_EQ(FloorDataGroups[2].firstWord, 6);

    // A camera action word as the last word: the trigger ends there.
    Index({0x0000, 0x8004, 0x0000, 0x0401});
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    ASSERT_EQ(FloorDataGroups[1].entries[0].trigger.actionCount, 1);
    EXPECT_EQ(FloorDataGroups[1].entries[0].trigger.actions[0].cameraWord, 0);

    // Only action type 1 on all five type bits is a camera action.
    Index({0x0000, 0x8004, 0x0000, 0x4401, 0x8100});
    ASSERT_EQ(FloorDataGroups[1].entries[0].trigger.actionCount, 2);
    EXPECT_EQ(FloorDataGroups[1].entries[0].trigger.actions[0].action, 1);
    EXPECT_EQ(FloorDataGroups[1].entries[0].trigger.actions[0].cameraWord, 0);
}

TEST(FloorDataIndex, HighFunctionCodesTakeDataWords)
{
    Index({0x0000, 0x001A, 0x1234, 0x8019, 0x4321});
    const tfloordata_group& g = FloorDataGroups[1];
    ASSERT_EQ(g.entryCount, 2);
    EXPECT_EQ(g.entries[0].function, 26);
    EXPECT_EQ(g.entries[0].data, 0x1234);
    EXPECT_EQ(g.entries[1].function, 25);
    EXPECT_EQ(g.entries[1].data, 0x4321);
    EXPECT_EQ(g.highFunction, 1);

    Index({0x0000, 0x8019, 0x0000});
    EXPECT_EQ(FloorDataGroups[1].highFunction, 0);
}

TEST(FloorDataIndex, ScanStopsAtTheEndOfTheData)
{
    // A run without its end flag ends with the data.
    Index({0x0000, 0x0002, 0x0011, 0x0003, 0x0022});
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    EXPECT_EQ(FloorDataGroups[1].entryCount, 2);

    // A data word past the end reads as 0.
    Index({0x0000, 0x0002, 0x0011, 0x0001});
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    ASSERT_EQ(FloorDataGroups[1].entryCount, 2);
    EXPECT_EQ(FloorDataGroups[1].entries[1].data, 0);
    EXPECT_EQ(FloorDataGroups[1].portal, 1);

    // A trigger cut off before its item word and actions.
    Index({0x0000, 0x8304, 0x1000});
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    EXPECT_EQ(FloorDataGroups[1].entries[0].trigger.triggerItem, -1);
    EXPECT_EQ(FloorDataGroups[1].entries[0].trigger.actionCount, 0);

    // Actions without the end flag run to the end.
    Index({0x0000, 0x8004, 0x0000, 0x0001, 0x0002, 0x0003});
    EXPECT_EQ(FloorDataGroups[1].entries[0].trigger.actionCount, 3);
}

TEST(FloorDataIndex, CountLargerThanTheWordsIsBoundedByTheWords)
{
    auto level = std::make_unique<Ttrlevel>();
    level->SetNumFloorData(3);
    level->floor_data = {0x0000, 0x0001, 0x0002};
    level->floor_data.shrink_to_fit();
    level->num_floor_data = 100000;
    IndexFloorData(*level, nullptr, nullptr);
    EXPECT_EQ(FloorDataIndex.size(), 3u);
    ASSERT_EQ(FloorDataGroups.size(), 2u);
    EXPECT_EQ(FloorDataGroups[1].entries[0].data, 2);
}

TEST(FloorDataIndex, NoWordsLeaveGroupZeroAlone)
{
    Index({0x8001, 0x0003});  // leave something behind first
    Index({});
    ASSERT_EQ(FloorDataGroups.size(), 1u);
    ExpectEmptyGroup(FloorDataGroups[0]);
    EXPECT_TRUE(FloorDataIndex.empty());
    EXPECT_EQ(FloorDataGroupNumber(0), 0);
    EXPECT_EQ(FloorDataGroupNumber(65535), 0);

    // Word 0 alone starts no run.
    Index({0x8001});
    EXPECT_EQ(FloorDataGroups.size(), 1u);
    EXPECT_EQ(FloorDataIndex, (std::vector<uint16_t>{0}));
}

TEST(FloorDataIndex, LookupPastTheEndYieldsGroupZero)
{
    Index({0x0000, 0x8001, 0x0002, 0x8005});
    EXPECT_EQ(FloorDataGroupNumber(1), 1);
    EXPECT_EQ(FloorDataGroupNumber(3), 2);
    EXPECT_EQ(FloorDataGroupNumber(2), 0);  // inside a run
    EXPECT_EQ(FloorDataGroupNumber(4), 0);
    EXPECT_EQ(FloorDataGroupNumber(40000), 0);
}

TEST(FloorDataIndex, RunsPastWord65535DoNotTakeOverEarlierSlots)
{
    std::vector<uint16_t> words(70000, 0x8005);
    words[0] = 0;
    Index(words);
    ASSERT_EQ(FloorDataGroups.size(), 70000u);
    ASSERT_EQ(FloorDataIndex.size(), 70000u);
    // The run at word 65537 keeps only the low bits of its position...
    EXPECT_EQ(FloorDataGroups[65537].firstWord, 1);
    // ...but word 1 still leads to the run that starts there.
    EXPECT_EQ(FloorDataIndex[1], 1);
    EXPECT_EQ(FloorDataIndex[65535], 65535);
    // Group numbers past 16 bits are not stored.
    EXPECT_EQ(FloorDataIndex[65536], 0);
    EXPECT_EQ(FloorDataIndex[69999], 0);
}

TEST(FloorDataIndex, GaugesFollowTheScan)
{
    TProgressBar gauge3;
    TProgressBar gauge2;
    gauge2.SetMax(150);
    std::vector<int> seen3;
    std::vector<int> seen2;
    gauge3.OnChange = [&](const TProgressBar& g) { seen3.push_back(g.Position()); };
    gauge2.OnChange = [&](const TProgressBar& g) { seen2.push_back(g.Position()); };

    // Four runs of two words after word 0: positions 3, 5, 7, 9 of 9.
    Index({0x0000, 0x8001, 0x0001, 0x8001, 0x0002, 0x8001, 0x0003, 0x8001, 0x0004}, &gauge3, &gauge2);
    EXPECT_EQ(seen3, (std::vector<int>{33, 55, 77, 100, 0}));
    EXPECT_EQ(seen2, (std::vector<int>{8, 13, 19, 25}));
    EXPECT_EQ(gauge3.Position(), 0);
    EXPECT_EQ(gauge2.Position(), 25);
}

TEST(FloorDataIndex, EveryRunIsReachableThroughItsFirstWord)
{
    // A mixed stretch of runs: every group's first word leads back to it,
    // and every other word to group 0.
    Index({0x0000, 0x0002, 0x0102, 0x8003, 0xFE00, 0x8005, 0x0004, 0x0000, 0x0003, 0x8401, 0x8000, 0x8001,
           0x0002, 0x801B, 0x0000});
    ASSERT_EQ(FloorDataGroups.size(), 5u);
    std::vector<uint16_t> expected(FloorDataIndex.size(), 0);
    for (size_t g = 1; g < FloorDataGroups.size(); ++g) expected[FloorDataGroups[g].firstWord] = uint16_t(g);
    EXPECT_EQ(FloorDataIndex, expected);
    EXPECT_EQ(FloorDataGroups[3].firstWord, 6);
    EXPECT_EQ(FloorDataGroups[3].entryCount, 2);
    EXPECT_EQ(FloorDataGroups[4].highFunction, 1);
}

}  // namespace
