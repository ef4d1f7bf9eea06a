#include <gtest/gtest.h>

#include "platform/rtl/shortstring.h"
#include "platform/rtl/sysutils.h"
#include "support/temp_dir.h"

TEST(SysUtils, FileNameParts)
{
    EXPECT_EQ(ExtractFilePath("/a/b/c.vel"), "/a/b/");
    EXPECT_EQ(ExtractFileName("/a/b/c.vel"), "c.vel");
    EXPECT_EQ(ExtractFileExt("/a/b.d/c.Tub"), ".Tub");
    EXPECT_EQ(ExtractFileExt("/a/b.d/c"), "");
    EXPECT_EQ(ChangeFileExt("/a/b.d/c", ".bak"), "/a/b.d/c.bak");
    EXPECT_EQ(ChangeFileExt("x.vel", ".bak"), "x.bak");
    EXPECT_TRUE(SameText("LeVeL.TuB", "level.tub"));
}

TEST(SysUtils, NumberFormattingUsesTheSeparators)
{
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(2), "2");
    EXPECT_EQ(FloatToStrF(3.14159, 2), "3.14");
    EXPECT_EQ(FormatZeroPadded(1, 2), "01");
    EXPECT_EQ(FormatZeroPadded(12, 2), "12");
    EXPECT_EQ(FormatZeroPadded(100, 2), "100");
    const char saved = DecimalSeparator;
    DecimalSeparator = ',';
    EXPECT_EQ(FloatToStr(0.25), "0,25");
    DecimalSeparator = saved;
}

TEST(SysUtils, FileOperationsAndTheInOutError)
{
    TempDir dir;
    const std::string a = dir.file("a"), b = dir.file("b");
    EXPECT_FALSE(FileExists(a));
    WriteFileBytes(a, std::vector<uint8_t>{1, 2, 3});
    EXPECT_TRUE(FileExists(a));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_TRUE(DirectoryExists(dir.path()));
    EXPECT_TRUE(RenameFile(a, b));
    EXPECT_FALSE(FileExists(a));
    WriteFileBytes(a, std::vector<uint8_t>{9});
    EXPECT_FALSE(RenameFile(a, b)) << "a plain rename never replaces a file";
    EXPECT_TRUE(ReplaceFile(a, b));
    EXPECT_EQ(ReadFileBytes(b), std::vector<uint8_t>{9});
    EXPECT_TRUE(DeleteFile(b));
    EXPECT_FALSE(DeleteFile(b));
    try {
        RaiseInOutError("/no/such", ENOENT);
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Path(), "/no/such");
        EXPECT_NE(std::string(e.what()).find("/no/such"), std::string::npos);
        EXPECT_EQ(e.ErrorCode(), ENOENT);
    }
}

TEST(ShortString, KeepsAtMostItsCapacity)
{
    TShortString<4> s("abcdefg");
    EXPECT_EQ(s.len, 4);
    EXPECT_EQ(s.str(), "abcd");
    s.len = 200;  // a damaged length byte is read as the capacity
    EXPECT_EQ(s.str(), "abcd");
    s = "x";
    EXPECT_TRUE(s == "x");
}
