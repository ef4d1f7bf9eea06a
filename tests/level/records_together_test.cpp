// The project's records and the game level's records live side by side in
// one translation unit (the scene and the converter read both).
#include <gtest/gtest.h>

#include "level/project_records.h"
#include "level/trlevel.h"

TEST(RecordsTogether, ProjectAndLevelRecordsKeepTheirLayouts)
{
    EXPECT_EQ(sizeof(titem), 33u);
    EXPECT_EQ(sizeof(tcamera), 14u);
    EXPECT_EQ(sizeof(tflyby_camera), 23u);
    EXPECT_EQ(sizeof(tsound_source), 23u);
    EXPECT_EQ(sizeof(troom_static), 23u);
    EXPECT_EQ(sizeof(tlevel_item), 24u);
    EXPECT_EQ(sizeof(tlevel_camera), 16u);
    EXPECT_EQ(sizeof(tlevel_flyby_camera), 40u);
    EXPECT_EQ(sizeof(tlevel_sound_source), 16u);
    EXPECT_EQ(sizeof(tlevel_room_static), 20u);
}
