#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform/rtl/messages.h"
#include "platform/rtl/random.h"
#include "platform/rtl/shortstring.h"
#include "platform/rtl/sysutils.h"
#include "support/temp_dir.h"

TEST(SysUtils, FileNamesNumbersAndFiles)
{
    EXPECT_EQ(ExtractFilePath("/a/b/c.vel") + "|" + ExtractFileName("/a/b/c.vel"), "/a/b/|c.vel");
    EXPECT_EQ(ExtractFileExt("/a/b.d/c.Tub") + "|" + ExtractFileExt("/a/b.d/c"), ".Tub|");
    EXPECT_EQ(ChangeFileExt("/a/b.d/c", ".bak") + "|" + ChangeFileExt("x.vel", ".bak"), "/a/b.d/c.bak|x.bak");
    EXPECT_TRUE(SameText("LeVeL.TuB", "level.tub"));
    EXPECT_EQ(FloatToStr(1.5) + "|" + FloatToStr(2) + "|" + FloatToStrF(3.14159, 2), "1.5|2|3.14");
    EXPECT_EQ(FormatZeroPadded(1, 2) + "|" + FormatZeroPadded(100, 2), "01|100");
    DecimalSeparator = ',';
    EXPECT_EQ(FloatToStr(0.25), "0,25");
    DecimalSeparator = '.';
    TShortString<4> s("abcdefg");
    s.len = 200;  // a damaged length byte is read as the capacity
    EXPECT_EQ(s.str(), "abcd");

    TempDir dir;
    const std::string a = dir.file("a"), b = dir.file("b");
    WriteFileBytes(a, std::vector<uint8_t>{1});
    EXPECT_TRUE(FileExists(a));
    EXPECT_FALSE(FileExists(dir.path())) << "a directory is no file";
    EXPECT_TRUE(DirectoryExists(dir.path()));
    EXPECT_TRUE(RenameFile(a, b));
    EXPECT_FALSE(FileExists(a));
    WriteFileBytes(a, std::vector<uint8_t>{9});
    EXPECT_FALSE(RenameFile(a, b)) << "a plain rename never replaces a file";
    EXPECT_TRUE(ReplaceFile(a, b));
    EXPECT_EQ(ReadFileBytes(b), std::vector<uint8_t>{9});
    EXPECT_TRUE(DeleteFile(b));
    EXPECT_FALSE(DeleteFile(b)) << "deleted already";
}

TEST(Messages, BoxesHaltAndTheBusyCursorReachTheInstalledSink)
{
    TRecordingSink sink;
    {
        TScopedMessageSink scope(sink);
        ShowMessage("hello");
        EXPECT_EQ(MessageBox("careful", "Warning", MB_OK | MB_ICONWARNING), IDOK);
        EXPECT_THROW(Halt(3), EProcessEnd);
        TBusyCursor a, b;  // nested: one change on, one off
    }
    ShowMessage("to the default sink, not the recorder");
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].caption, ApplicationTitle);
    EXPECT_EQ(sink.messages[1].caption + sink.messages[1].text, "Warningcareful");
    EXPECT_EQ(sink.messages[1].icon, TMsgIcon::Warning);
    EXPECT_EQ(sink.endCodes, std::vector<int>{3});
    EXPECT_EQ(sink.cursorChanges, (std::vector<bool>{true, false}));
}

TEST(Messages, AnExceptionIsReportedWithItsTextAndRunningOutOfMemoryInWords)
{
    TRecordingSink sink;
    TScopedMessageSink scope(sink);
    ShowException(std::runtime_error("Cannot open file"));
    ShowException(std::bad_alloc());
    ShowException(std::bad_array_new_length());  // a kind of bad_alloc too
    EXPECT_THAT(sink.exceptions, testing::ElementsAre("Cannot open file", "Out of memory", "Out of memory"));
}

TEST(Random, NeverSeededSequenceRepeatsWithinItsRange)
{
    RandSeed = 0;
    std::vector<int> first;
    for (int i = 0; i < 20; ++i) first.push_back(Random(39));
    RandSeed = 0;
    for (int v : first) {
        EXPECT_EQ(Random(39), v);
        EXPECT_GE(v, 0);
        EXPECT_LT(v, 39);
    }
    RandSeed = 0;
    Random(10);
    EXPECT_EQ(RandSeed, 1u);  // a linear congruential generator
    EXPECT_EQ(Random(0), 0);
}
