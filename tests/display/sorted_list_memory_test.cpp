// The sorted name list when memory runs out: a sort that cannot have its
// work space leaves every entry in the list (the next sort orders them),
// and an emptied list gives its memory back and works on.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "display/sorted_list.h"
// The one file of this program that replaces its operators new and delete.
#define FAILING_ALLOCATIONS_OPERATORS
#include "support/failing_allocations.h"

namespace {

// The names the list holds, in slot order.
std::vector<std::string> Names(const Tlistmem<int>& list)
{
    std::vector<std::string> names;
    for (int32_t i = 0; i < list.Count(); ++i)
        if (list.GetByIndex(i)) names.push_back(list.Name(i));
    return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Keys as the drawing layer makes them: list, texture and a serial counting
// up, added in an order of lists and textures that needs sorting.
std::string Key(int serial)
{
    return IntToStrWidth(serial % 7, 6) + IntToStrWidth(serial % 13, 6) + IntToStrWidth(serial, 6);
}

struct TSortCase {
    const char* label;
    int first;   // names added and sorted before
    int erased;  // of those, every erased-th deleted (0: none)
    int added;   // names added after
};

// The list of a case, ready for the sort under test; `names` gets what it holds.
void Fill(Tlistmem<int>& list, const TSortCase& c, std::vector<std::string>& names)
{
    names.clear();
    for (int n = 0; n < c.first; ++n) list.Add(Key(n), n);
    list.Sort();
    for (int32_t i = 0; c.erased && i < list.Count(); i += c.erased) list.Delete(i);
    for (int n = c.first; n < c.first + c.added; ++n) list.Add(Key(n), n);
    names = Sorted(Names(list));
}

}  // namespace

// Each allocation a sort makes fails in turn: the list keeps every entry
// and every empty slot (reused by the next additions), and sorts them all
// once memory is there again. Lists filled from nothing and new names merged
// into sorted ones, few and many (the sort's ways for large batches).
TEST(TlistmemMemory, ASortWithoutMemoryKeepsEveryEntry)
{
    const TSortCase cases[] = {{"filled from nothing, few", 0, 0, 300},
                               {"filled from nothing, many", 0, 0, 20000},
                               {"merged, few", 500, 3, 100},
                               {"merged, many", 20000, 2, 9000}};
    for (const TSortCase& c : cases) {
        int failures = 0;
        for (int64_t k = 0;; ++k) {
            Tlistmem<int> list;
            std::vector<std::string> names;
            Fill(list, c, names);
            const int32_t empty = list.FreeCount();
            bool thrown = false;
            {
                TFailingAllocation failing(k);
                try {
                    list.Sort();
                } catch (const std::bad_alloc&) {
                    thrown = true;
                }
                ASSERT_EQ(thrown, TFailingAllocation::Failed()) << c.label << " " << k;
            }
            ASSERT_EQ(list.FreeCount(), empty) << c.label << " " << k;
            ASSERT_EQ(Sorted(Names(list)), names) << c.label << " " << k;
            if (!thrown) break;
            ++failures;
            list.Sort();
            ASSERT_EQ(Names(list), names) << c.label << " " << k;
            ASSERT_EQ(list.FreeCount(), empty) << c.label << " " << k;
            for (int32_t i = 0; i < empty; ++i) ASSERT_EQ(list.GetByIndex(i), nullptr) << c.label << " " << k;
            list.Add(Key(1 << 20), 0);  // into the newest empty slot, or appended
            ASSERT_EQ(list.Count(), int32_t(names.size()) + std::max(empty, 1)) << c.label << " " << k;
        }
        EXPECT_GT(failures, 0) << c.label;
    }
}

TEST(TlistmemMemory, AnEmptiedListGivesItsMemoryBack)
{
    Tlistmem<int> list;
    for (int n = 0; n < 10000; ++n) list.Add(Key(n), n);
    list.ReleaseMemory();  // entries left: nothing happens
    EXPECT_EQ(list.Count(), 10000);
    list.Sort();
    list.FreeAll();
    list.ReleaseMemory();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
    for (int n = 30; n-- > 0;) list.Add(Key(n), n);
    list.Sort();
    EXPECT_EQ(list.IndexOf(Key(0)), 0);
    EXPECT_EQ(*list.GetByName(Key(12)), 12);
}
