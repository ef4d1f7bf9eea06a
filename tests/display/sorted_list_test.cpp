// The sorted name list: order, slot reuse, searches and keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "display/sorted_list.h"

namespace {

std::string K(int n) { return IntToStrWidth(n, 6); }

// A record that counts how many of its kind are alive.
struct TCounted {
    static int alive;
    int value;
    explicit TCounted(int v) : value(v) { ++alive; }
    TCounted(TCounted&& o) noexcept : value(o.value) { ++alive; }
    ~TCounted() { --alive; }
};
int TCounted::alive = 0;

}  // namespace

TEST(IntToStrWidth, RightAlignsInTheWidthWithoutCutting)
{
    EXPECT_EQ(IntToStrWidth(17, 6), "    17");
    EXPECT_EQ(IntToStrWidth(-1, 6), "    -1");
    EXPECT_EQ(IntToStrWidth(0, 6), "     0");
    EXPECT_EQ(IntToStrWidth(999999, 6), "999999");
    EXPECT_EQ(IntToStrWidth(1234567, 6), "1234567");
    EXPECT_EQ(IntToStrWidth(-2147483647 - 1, 6), "-2147483648");
    EXPECT_EQ(IntToStrWidth(5, 0), "5");
    EXPECT_EQ(IntToStrWidth(5, -3), "5");
    // Text order is numeric order for 0 up to six digits.
    EXPECT_LT(K(9), K(10));
    EXPECT_LT(K(99999), K(100000));
    // -1 sorts after the one-digit ids and before every id of two or more digits.
    EXPECT_GT(K(-1), K(9));
    EXPECT_LT(K(-1), K(10));
}

TEST(Tlistmem, StartsEmptyWithRoomForMany)
{
    Tlistmem<int> list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.FreeCount(), 0);
    EXPECT_GE(list.Capacity(), 1024);
    EXPECT_FALSE(list.KeepSorted);
    EXPECT_EQ(list.IndexOf(K(1)), -1);
    EXPECT_EQ(list.Locate(K(1)), -1);
    EXPECT_EQ(list.GetByName(K(1)), nullptr);
    EXPECT_EQ(list.GetByIndex(0), nullptr);
}

TEST(Tlistmem, SearchesOnASortedList)
{
    Tlistmem<int> list;
    list.Add(K(2), 20);
    list.Add(K(1), 10);
    list.Add(K(1), 11);
    list.Sort();
    EXPECT_EQ(list.Name(0), K(1));
    EXPECT_EQ(list.Name(2), K(2));
    EXPECT_EQ(list.IndexOf(K(1)), 0);
    EXPECT_EQ(list.IndexOf(K(2)), 2);
    EXPECT_EQ(list.IndexOf(K(3)), -1);
    EXPECT_EQ(list.Locate(K(3)), 3);
    EXPECT_EQ(list.Locate(K(0)), 0);
    EXPECT_EQ(*list.GetByName(K(2)), 20);
    EXPECT_EQ(list.GetByIndex(-1), nullptr);
    EXPECT_EQ(list.GetByIndex(list.Count()), nullptr);
}

TEST(Tlistmem, IndexOfFindsTheFirstOfARun)
{
    Tlistmem<int> list;
    for (int i = 0; i < 9; ++i) list.Add(K(i < 3 ? 1 : i < 7 ? 5 : 8), i);
    list.Sort();
    EXPECT_EQ(list.IndexOf(K(1)), 0);
    EXPECT_EQ(list.IndexOf(K(5)), 3);
    EXPECT_EQ(list.IndexOf(K(8)), 7);
    EXPECT_EQ(list.Locate(K(5)), 3);
    EXPECT_EQ(list.Locate(K(6)), 7);  // the insertion point
    EXPECT_EQ(list.Locate(K(9)), 9);
}

TEST(Tlistmem, OneLiveEntry)
{
    Tlistmem<int> list;
    list.Add(K(4), 4);
    EXPECT_EQ(list.IndexOf(K(4)), 0);
    EXPECT_EQ(list.IndexOf(K(7)), -1);
    EXPECT_EQ(list.Locate(K(7)), 0);  // returned without comparing
    EXPECT_EQ(list.Locate(K(1)), 0);
}

TEST(Tlistmem, EmptySlotsAreReusedAndSortToTheFront)
{
    Tlistmem<int> list;
    for (int i = 0; i < 8; ++i) list.Add(K(i), i);
    list.Delete(5);
    EXPECT_EQ(list.Count(), 8);
    EXPECT_EQ(list.GetByIndex(5), nullptr);
    EXPECT_EQ(list.FreeCount(), 1);
    list.Delete(5);  // an empty slot: nothing happens
    EXPECT_EQ(list.FreeCount(), 1);
    list.Add(K(50), 50);  // fills slot 5
    EXPECT_EQ(*list.GetByIndex(5), 50);
    EXPECT_EQ(list.Count(), 8);

    // The free stack hands out the slot deleted last first.
    list.Delete(2);
    list.Delete(6);
    list.Add(K(60), 60);
    EXPECT_EQ(*list.GetByIndex(6), 60);
    list.Add(K(20), 20);
    EXPECT_EQ(*list.GetByIndex(2), 20);
    list.Add(K(80), 80);
    EXPECT_EQ(list.Count(), 9);

    // After a sort the empty slots lead, and the searches skip them.
    list.Delete(0);
    list.Delete(8);
    list.Sort();
    EXPECT_EQ(list.FreeCount(), 2);
    EXPECT_EQ(list.GetByIndex(0), nullptr);
    EXPECT_EQ(list.GetByIndex(1), nullptr);
    EXPECT_EQ(list.Name(2), K(1));
    EXPECT_EQ(list.IndexOf(K(1)), 2);
    EXPECT_EQ(list.IndexOf(K(60)), 8);
    EXPECT_EQ(list.Locate(K(0)), 2);
    // The next additions fill the front slots, top of the stack (slot 1) first.
    list.Add(K(99), 99);
    EXPECT_EQ(*list.GetByIndex(1), 99);
    list.Add(K(98), 98);
    EXPECT_EQ(*list.GetByIndex(0), 98);
    list.Add(K(97), 97);
    EXPECT_EQ(*list.GetByIndex(9), 97);
}

TEST(Tlistmem, AListOfEmptySlotsFindsNothing)
{
    Tlistmem<int> list;
    list.Add(K(1), 1);
    list.Add(K(2), 2);
    list.Delete(0);
    list.Delete(1);
    list.Sort();
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.IndexOf(K(1)), -1);
    EXPECT_EQ(list.Locate(K(1)), -1);
}

TEST(Tlistmem, PackRemovesEmptySlots)
{
    Tlistmem<int> list;
    for (int i = 0; i < 5; ++i) list.Add(K(i), i);
    list.Delete(1);
    list.Delete(3);
    list.Pack();
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.FreeCount(), 0);
    EXPECT_EQ(list.Capacity(), 3);
    EXPECT_EQ(*list.GetByIndex(0), 0);
    EXPECT_EQ(*list.GetByIndex(1), 2);
    EXPECT_EQ(*list.GetByIndex(2), 4);
    list.Add(K(9), 9);  // appends
    EXPECT_EQ(*list.GetByIndex(3), 9);
}

TEST(Tlistmem, KeepSortedListStaysSortedWithoutGaps)
{
    Tlistmem<int> list;
    list.KeepSorted = true;
    for (int id : {5002, 1000, 6001, 5001, 1}) list.Add(K(id), id);
    EXPECT_EQ(list.Name(0), K(1));
    EXPECT_EQ(list.Name(4), K(6001));
    EXPECT_EQ(list.IndexOf(K(5001)), 2);
    // Replacing as the texture store does: delete, pack, add.
    const int i = list.IndexOf(K(5001));
    list.Delete(i);
    EXPECT_EQ(list.GetByIndex(0), nullptr);  // the emptied slot moved to the front
    list.Pack();
    list.Add(K(5001), 7);
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(list.FreeCount(), 0);
    EXPECT_EQ(*list.GetByName(K(5001)), 7);
    for (int k = 0; k + 1 < list.Count(); ++k) EXPECT_LT(list.Name(k), list.Name(k + 1));
}

TEST(Tlistmem, NamesCompareOrdinallyAtAnyLength)
{
    Tlistmem<int> list;
    const std::vector<std::string> names = {"b",
                                            "a",
                                            "",
                                            "ab",
                                            std::string("a\0", 2),
                                            "\xff",
                                            "abcdefghijklmnopqrstuvwxyz0",
                                            "abcdefghijklmnopqrstuvwxyz",
                                            "abcdefghijklmnopqrstuvwxy",
                                            "abcdefghijklmnopqrstuvwx",
                                            "abcdefghijklmnopqrstu",
                                            std::string("abcdefghijklmnopqrst\0", 21),
                                            "abcdefghijklmnopqrst",
                                            "abcdefghijklmnopqrs",
                                            "abcdefghijklmnop",
                                            "abcdefghijklmno",
                                            "abcdefghijklmnopqrstuvwxyz1234567890",
                                            "abcdefghijklmnopqrstuvwxyz0234567890"};
    for (size_t i = 0; i < names.size(); ++i) list.Add(names[i], int(i));
    list.Sort();
    std::vector<std::string> want = names;
    std::sort(want.begin(), want.end());  // std::string compares bytes as unsigned
    ASSERT_EQ(list.Count(), int(want.size()));
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list.Name(i), want[size_t(i)]) << i;
        EXPECT_EQ(list.IndexOf(want[size_t(i)]), i);
    }
    // A prefix locates the first name that starts with it.
    EXPECT_EQ(list.Name(list.Locate("abcdefghijklmnopqrstuvwxyz0")), "abcdefghijklmnopqrstuvwxyz0");
    EXPECT_EQ(list.Name(list.Locate("abcdefghijklmnopqrstuvwxyz02")), "abcdefghijklmnopqrstuvwxyz0234567890");
    EXPECT_EQ(list.IndexOf("abcdefghijklmnopqrstuvwxyz02"), -1);
}

TEST(Tlistmem, RandomOperationsMatchAPlainModel)
{
    std::mt19937 rng(3);
    Tlistmem<int> list;
    std::vector<std::pair<std::string, int>> model;  // slot -> entry; empty name "" with -1 for empty
    std::vector<int> freeStack;
    for (int step = 0; step < 3000; ++step) {
        const int op = int(rng() % 10);
        if (op < 6) {
            const std::string name = K(int(rng() % 500));
            const int value = step;
            list.Add(name, value);
            if (freeStack.empty()) {
                model.push_back({name, value});
            } else {
                model[size_t(freeStack.back())] = {name, value};
                freeStack.pop_back();
            }
        } else if (op < 9 && !model.empty()) {
            const int i = int(rng() % model.size());
            list.Delete(i);
            if (model[size_t(i)].second >= 0) {
                model[size_t(i)] = {"", -1};
                freeStack.push_back(i);
            }
        } else {
            list.Sort();
            std::vector<std::pair<std::string, int>> live;
            for (auto& e : model)
                if (e.second >= 0) live.push_back(e);
            std::stable_sort(live.begin(), live.end(), [](auto& a, auto& b) { return a.first < b.first; });
            const size_t empties = model.size() - live.size();
            model.assign(empties, {"", -1});
            model.insert(model.end(), live.begin(), live.end());
            freeStack.resize(empties);
            for (size_t k = 0; k < empties; ++k) freeStack[k] = int(k);
            // Searches agree with the model.
            for (int probe = 0; probe < 20; ++probe) {
                const std::string name = K(int(rng() % 520));
                auto first = std::find_if(model.begin(), model.end(), [&](auto& e) { return e.second >= 0 && e.first == name; });
                EXPECT_EQ(list.IndexOf(name), first == model.end() ? -1 : int(first - model.begin()));
            }
        }
        ASSERT_EQ(list.Count(), int(model.size()));
        ASSERT_EQ(list.FreeCount(), int(freeStack.size()));
    }
    for (size_t i = 0; i < model.size(); ++i) {
        const int* v = list.GetByIndex(int(i));
        if (model[i].second < 0) {
            EXPECT_EQ(v, nullptr);
        } else {
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(list.Name(int(i)), model[i].first);
        }
    }
}

TEST(Tlistmem, RecordsAreFreedByDeleteFreeAllAndTheOwner)
{
    TCounted::alive = 0;
    {
        Tlistmem<TCounted> list;
        for (int i = 0; i < 10; ++i) list.Add(K(i), TCounted(i));
        EXPECT_EQ(TCounted::alive, 10);
        list.Delete(3);
        EXPECT_EQ(TCounted::alive, 9);
        list.FreeAll();
        EXPECT_EQ(TCounted::alive, 0);
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(list.FreeCount(), 0);
        for (int i = 0; i < 5000; ++i) list.Add(K(i), TCounted(i));  // beyond one block of records
        EXPECT_EQ(list.GetByIndex(4999)->value, 4999);
    }
    EXPECT_EQ(TCounted::alive, 0);
}

namespace {

// Adds the names, sorts, and checks the order against a plain sort of the
// names and that every name is found at the start of its run.
void ExpectSortsLikeStrings(const std::vector<std::string>& names)
{
    Tlistmem<int> list;
    for (size_t i = 0; i < names.size(); ++i) list.Add(names[i], int(i));
    list.Sort();
    std::vector<std::string> want = names;
    std::sort(want.begin(), want.end());
    ASSERT_EQ(list.Count(), int(want.size()));
    for (int i = 0; i < list.Count(); ++i) {
        ASSERT_EQ(list.Name(i), want[size_t(i)]) << i;
        ASSERT_EQ(names[size_t(*list.GetByIndex(i))], want[size_t(i)]);
    }
    for (size_t i = 0; i < want.size(); i += 37) {
        const int at = list.IndexOf(want[i]);
        EXPECT_EQ(list.Name(at), want[i]);
        EXPECT_TRUE(at == 0 || list.Name(at - 1) != want[i]);
    }
}

}  // namespace

TEST(Tlistmem, LargeSortsOrderLikeStrings)
{
    std::mt19937 rng(9);
    // Decimal keys of three numbers, as the drawing layer makes them, some
    // longer than six digits and some negative.
    std::vector<std::string> decimal;
    for (int i = 0; i < 6000; ++i) {
        const int32_t serial = i % 50 == 0 ? int32_t(1000000 + rng() % 5000000) : int32_t(rng() % 1000000);
        decimal.push_back(K(int(rng() % 16)) + K(int(rng() % 60) - 1) + IntToStrWidth(serial, 6));
    }
    ExpectSortsLikeStrings(decimal);
    // The same keys added in serial order within their list and texture, as
    // the drawing layer adds them, a few of them out of that order.
    std::vector<std::string> emitted;
    for (int i = 0; i < 6000; ++i)
        emitted.push_back(K(int(rng() % 3)) + K(int(rng() % 40)) + IntToStrWidth(i % 997 == 5 ? i / 2 : i, 6));
    ExpectSortsLikeStrings(emitted);
    // Two leading characters of few values but many bits, then numbers or
    // letters out of order: large groups sorted further, by packed keys or
    // (the letters are too wide for them) by comparing names.
    std::vector<std::string> grouped, groupedLetters;
    for (int i = 0; i < 6000; ++i) {
        const std::string lead = {rng() & 1 ? '\xff' : '0', rng() & 1 ? '\xff' : '0'};
        grouped.push_back(lead + IntToStrWidth(int32_t(rng() % 1000000), 6));
        std::string letters(12, 'a');
        for (char& c : letters) c = char('a' + rng() % 26);
        groupedLetters.push_back(lead + letters);
    }
    ExpectSortsLikeStrings(grouped);
    ExpectSortsLikeStrings(groupedLetters);
    // Two values per position but many positions: too wide for the bit masks,
    // narrow once the values are numbered.
    std::vector<std::string> binary;
    for (int i = 0; i < 3000; ++i) {
        std::string s(14, '\0');
        for (char& c : s) c = (rng() & 1) ? '\xff' : '\x01';
        binary.push_back(s);
    }
    ExpectSortsLikeStrings(binary);
    // Random letters: too wide either way.
    std::vector<std::string> letters;
    for (int i = 0; i < 3000; ++i) {
        std::string s(1 + rng() % 23, 'a');
        for (char& c : s) c = char('a' + rng() % 26);
        letters.push_back(s);
    }
    ExpectSortsLikeStrings(letters);
    // Names longer than the slot keeps, with many duplicates.
    std::vector<std::string> longNames;
    for (int i = 0; i < 2000; ++i) longNames.push_back(std::string(26, 'x') + K(int(rng() % 300)));
    ExpectSortsLikeStrings(longNames);
    // Lengths that differ only by trailing zero bytes.
    std::vector<std::string> zeros;
    for (int i = 0; i < 1000; ++i) zeros.push_back(std::string("ab") + std::string(rng() % 5, '\0'));
    ExpectSortsLikeStrings(zeros);
}

TEST(Tlistmem, SortMergesNewEntriesIntoASortedList)
{
    std::mt19937 rng(12);
    Tlistmem<int> list;
    std::multiset<std::string> model;
    for (int round = 0; round < 6; ++round) {
        // Delete a share of the entries, then add a batch, then sort.
        for (int i = 0; i < list.Count(); ++i)
            if (list.GetByIndex(i) && rng() % 3 == 0) {
                model.erase(model.find(list.Name(i)));
                list.Delete(i);
            }
        const int batch = round % 2 ? 5 : 2000;
        for (int i = 0; i < batch; ++i) {
            const std::string name = K(int(rng() % 16)) + K(int(rng() % 100)) + K(int(rng() % 100000));
            list.Add(name, i);
            model.insert(name);
        }
        list.Sort();
        const int empties = list.FreeCount();
        ASSERT_EQ(list.Count() - empties, int(model.size()));
        int i = empties;
        for (const std::string& name : model) ASSERT_EQ(list.Name(i++), name);
        for (int k = 0; k < empties; ++k) ASSERT_EQ(list.GetByIndex(k), nullptr);
    }
}
