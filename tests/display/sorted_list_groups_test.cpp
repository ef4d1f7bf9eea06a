// Large batches whose first byte takes two values far apart and whose rest
// is a number: the sort distributes each batch into two large groups out of
// order and sorts each group by the packed digits of its rest; the second
// batch is then merged with the first.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "display/sorted_list.h"

TEST(Tlistmem, SortsLargeGroupsByTheirRest)
{
    std::mt19937 rng(11);
    Tlistmem<std::string> list;  // every record is its own name
    std::vector<std::string> names;
    for (int batch = 0; batch < 2; ++batch) {
        for (int n = 0; n < 6000; ++n) {
            std::string name(1, rng() & 1 ? '\xfe' : '\x01');
            name += IntToStrWidth(int32_t(rng() % 1000000), 6);
            list.Add(name, name);
            names.push_back(name);
        }
        list.Sort();
        std::sort(names.begin(), names.end());
        ASSERT_EQ(list.Count(), int32_t(names.size()));
        for (int32_t i = 0; i < list.Count(); ++i) {
            ASSERT_EQ(list.Name(i), names[size_t(i)]) << i;
            ASSERT_EQ(*list.GetByIndex(i), names[size_t(i)]) << i;
        }
    }
}
