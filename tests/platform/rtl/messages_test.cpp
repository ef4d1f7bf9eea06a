#include <gtest/gtest.h>

#include "platform/rtl/messages.h"
#include "platform/rtl/random.h"

TEST(Messages, BoxesReachTheInstalledSinkWithCaptionAndIcon)
{
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    ShowMessage("hello");
    EXPECT_EQ(MessageBox("careful", "Warning", MB_OK | MB_ICONWARNING), IDOK);
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].text, "hello");
    EXPECT_EQ(sink.messages[0].caption, ApplicationTitle);
    EXPECT_EQ(sink.messages[1].caption, "Warning");
    EXPECT_EQ(sink.messages[1].icon, TMsgIcon::Warning);
}

TEST(Messages, HaltTellsTheSinkThenUnwinds)
{
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    try {
        Halt(3);
        FAIL() << "Halt returned";
    } catch (const EProcessEnd& e) {
        EXPECT_EQ(e.Code(), 3);
    }
    ASSERT_EQ(sink.endCodes.size(), 1u);
    EXPECT_EQ(sink.endCodes[0], 3);
}

TEST(Messages, BusyCursorNestsAndRestoresTheSink)
{
    TRecordingSink outer;
    TScopedMessageSink scope(outer);
    {
        TRecordingSink inner;
        TScopedMessageSink innerScope(inner);
        {
            TBusyCursor a;
            TBusyCursor b;
        }
        EXPECT_EQ(inner.cursorChanges, (std::vector<bool>{true, false}));
    }
    ShowMessage("back");
    EXPECT_EQ(outer.messages.size(), 1u);
}

TEST(Random, NeverSeededSequenceRepeatsFromTheSameSeed)
{
    RandSeed = 0;
    std::vector<int> first;
    for (int i = 0; i < 20; ++i) first.push_back(Random(39));
    RandSeed = 0;
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Random(39), first[i]);
    for (int v : first) {
        EXPECT_GE(v, 0);
        EXPECT_LT(v, 39);
    }
    // The generator is a linear congruential one: the seed after one draw from 0 is 1.
    RandSeed = 0;
    Random(10);
    EXPECT_EQ(RandSeed, 1u);
    EXPECT_EQ(Random(0), 0);
}
