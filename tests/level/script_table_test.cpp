#include <gtest/gtest.h>

#include <string>

#include "level/trscript.h"

namespace {

class ScriptTable : public ::testing::Test {
protected:
    void SetUp() override { InitCommandTable(); }
    void TearDown() override { FreeCommandTable(); }

    static void ExpectRow(int row, const std::string& keyword, int code, int kind)
    {
        ASSERT_LT(row, static_cast<int>(ScriptCommands.size()));
        const Tscp_tabla& r = ScriptCommands[static_cast<size_t>(row)];
        EXPECT_EQ(r.keyword, keyword) << row;
        EXPECT_EQ(r.code, code) << row;
        EXPECT_EQ(r.kind, kind) << row;
        for (int p : r.param) EXPECT_EQ(p, 0) << row;
    }
};

}  // namespace

TEST_F(ScriptTable, HasFortyFiveRows)
{
    EXPECT_EQ(ScriptCommands.size(), 45u);
    EXPECT_EQ(ScriptPosition, 0);
}

TEST_F(ScriptTable, Commands)
{
    const char* words[] = {"Start_Trigger", "Copy_Trigger",    "Paste_Trigger",   "Put_Item",
                           "Kill_Lara",     "Add_Camera",      "Put_Alternate",   "Put_Static_Mesh",
                           "Put_Spot_Light", "Put_RGB_Light",  "Climb_Wall",      "Monkey_Swing",
                           "exit",          "Add_Sink",        "Put_Sound_Source", "Put_Raw_FD"};
    for (int i = 0; i < 16; ++i) ExpectRow(i, words[i], i + 1, SCP_COMMAND);
}

TEST_F(ScriptTable, TriggerConditions)
{
    const char* words[] = {"Do_with_Activate",
                           "Do_with_Deactivate",
                           "If_Lara_on_ground_Do_with_Activate",
                           "If_Lara_on_ground_Do_with_Deactivate",
                           "TrapDoor",
                           "If_KeyLock_is_ON_Do_with_Activate",
                           "If_Switch_is_ON_Do_with_Activate",
                           "If_Item_is_picked_Up_Do_with_Activate",
                           "If_Item_at_Sector_Do_with_Activate",
                           "End_Trigger",
                           "IF_Lara_in_Combat_Do_With_Activate"};
    for (int i = 0; i < 11; ++i) ExpectRow(16 + i, words[i], i + 1, SCP_CONDITION);
}

TEST_F(ScriptTable, EmptyRowsThenActions)
{
    for (int row = 27; row <= 31; ++row) ExpectRow(row, "", 0, SCP_EMPTY);
    const char* words[] = {"Item",      "Switch_camera",   "Underwater_Flow", "Alternate_On", "Alternate_Room",
                           "Alternate_Off", "Look_at_item", "End_Level",      "Play_sound_Track", "Effects",
                           "Found_Secret", "End",          "Play_cutscene"};
    for (int i = 0; i < 13; ++i) ExpectRow(32 + i, words[i], i + 1, SCP_ACTION);
    ExpectRow(44, "Play_cutscene", 13, 2);
}

TEST_F(ScriptTable, CodesRepeatAcrossKinds)
{
    int ones = 0;
    for (const auto& r : ScriptCommands)
        if (r.code == 1) ++ones;
    EXPECT_EQ(ones, 3);
    EXPECT_EQ(ScriptCommands[0].keyword, "Start_Trigger");
    EXPECT_EQ(ScriptCommands[16].keyword, "Do_with_Activate");
    EXPECT_EQ(ScriptCommands[32].keyword, "Item");
}

TEST_F(ScriptTable, FreeReleasesAndInitRefills)
{
    ScriptText = "Start_Trigger";
    ScriptPosition = 9;
    FreeCommandTable();
    EXPECT_TRUE(ScriptCommands.empty());
    EXPECT_TRUE(ScriptText.empty());
    InitCommandTable();
    EXPECT_EQ(ScriptCommands.size(), 45u);
    EXPECT_EQ(ScriptPosition, 0);
    EXPECT_EQ(ScriptCommands[44].keyword, "Play_cutscene");
}
