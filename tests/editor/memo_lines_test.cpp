// A memo's lines added at once, where the memo is empty and the lines begin
// with empty ones: each empty line leaves an empty memo empty, as it does
// when the lines are added one by one.
#include <string>
#include <vector>

#include "editor/controls.h"
#include "editor_fixture.h"

TEST(MemoLinesTest, EmptyLinesAtTheStartOfAnEmptyMemoAreDroppedAsOneByOne)
{
    TestApp();
    QWidget parent;
    const std::vector<std::vector<std::string>> cases = {
        {"", "", "a"},
        {"", "", ""},
        {"", "", "a", "", "b"},
    };
    for (const std::vector<std::string>& lines : cases) {
        auto* oneByOne = new TMemo(&parent, "Memo");
        auto* atOnce = new TMemo(&parent, "Memo");
        for (const std::string& line : lines) oneByOne->AddLine(line);
        atOnce->AddLines(lines);
        EXPECT_EQ(atOnce->Lines(), oneByOne->Lines()) << lines.size();
        EXPECT_EQ(atOnce->LineCount(), oneByOne->LineCount()) << lines.size();
    }
}
