// The sorted name list against a plain model of its slots: additions fill
// the newest empty slot or append, deletions empty a slot, a sort puts the
// empty slots first and the names in byte order, searches find the first of
// a run. Large batches of every shape of name take each way the sort has.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include "display/sorted_list.h"

namespace {

std::string K(int n) { return IntToStrWidth(n, 6); }

// Keys as the drawing layer makes them (some serials past six digits), two
// values a byte, random letters, names longer than a slot keeps, names that
// differ only in trailing zero bytes, keys in the order the drawing layer
// adds them (serials counting up within a list and texture, now and then one
// out of order), and two leading bytes of few values followed by numbers or
// letters (large groups that need sorting further).
std::string Name(std::mt19937& rng, int kind)
{
    static int serial = 0;
    std::string s;
    switch (kind) {
    case 5: ++serial; return K(int(rng() % 3)) + K(int(rng() % 40)) + K(serial % 97 == 5 ? serial / 2 : serial);
    case 6:
        s = {rng() & 1 ? '\xff' : '0', rng() & 1 ? '\xff' : '0'};
        if (rng() & 1) return s + K(int32_t(rng() % 1000000));
        for (int i = 0; i < 12; ++i) s += char('a' + rng() % 26);
        return s;
    case 0:
        return K(int(rng() % 16)) + K(int(rng() % 60) - 1) +
               K(int(rng() % 50 ? rng() % 1000000 : 1000000 + rng() % 5000000));
    case 1:
        for (int i = 0; i < 14; ++i) s += (rng() & 1) ? '\xff' : '\x01';
        return s;
    case 2:
        for (size_t i = 1 + rng() % 23; i > 0; --i) s += char('a' + rng() % 26);
        return s;
    case 3: return std::string(26, 'x') + K(int(rng() % 300));
    default: return "ab" + std::string(rng() % 5, '\0');
    }
}

// The list's slots against the model's (the first freeCount empty), and
// searches for names it holds: the first of a name's run, or where the
// name would go.
void CheckAgainstModel(const Tlistmem<std::string>& list, const std::vector<std::optional<std::string>>& model,
                       size_t freeCount, std::mt19937& rng)
{
    ASSERT_EQ(list.Count(), int32_t(model.size()));
    ASSERT_EQ(list.FreeCount(), int32_t(freeCount));
    for (int32_t i = 0; i < list.Count(); ++i) {
        const std::string* r = list.GetByIndex(i);
        ASSERT_EQ(r ? std::optional(*r) : std::nullopt, model[size_t(i)]) << i;
        if (r) { ASSERT_EQ(list.Name(i), *r) << i; }
    }
    const auto begin = model.begin() + ptrdiff_t(freeCount);
    const int32_t live = int32_t(model.end() - begin);
    for (int probe = 0; probe < 40 && live > 0; ++probe) {
        const std::string name = *model[freeCount + rng() % size_t(live)] + (probe % 2 ? "0" : "");
        const auto at = std::lower_bound(begin, model.end(), std::optional(name));
        const int32_t i = int32_t(at - model.begin());
        ASSERT_EQ(list.IndexOf(name), at != model.end() && **at == name ? i : -1) << name;
        ASSERT_EQ(list.Locate(name), live == 1 ? int32_t(freeCount) : i) << name;
    }
}

}  // namespace

TEST(Tlistmem, BehavesAsItsModel)
{
    const std::pair<int32_t, const char*> texts[] = {
        {17, "    17"}, {-1, "    -1"}, {1234567, "1234567"}, {INT32_MIN, "-2147483648"}};
    for (const auto& [n, text] : texts) EXPECT_EQ(IntToStrWidth(n, 6), text);

    std::mt19937 rng(7);
    Tlistmem<std::string> list;  // every record is its own name
    std::vector<std::optional<std::string>> model;
    std::vector<int32_t> free;  // the top is the last
    auto sort = [&] {
        list.Sort();
        std::vector<std::optional<std::string>> live;
        std::copy_if(model.begin(), model.end(), std::back_inserter(live), [](const auto& e) { return e.has_value(); });
        std::sort(live.begin(), live.end());
        free.resize(model.size() - live.size());
        for (size_t i = 0; i < free.size(); ++i) free[i] = int32_t(i);
        model.assign(free.size(), std::nullopt);
        model.insert(model.end(), live.begin(), live.end());
    };
    auto check = [&] { CheckAgainstModel(list, model, free.size(), rng); };
    auto add = [&](const std::string& name) {
        // A record handed in, or one made where the list keeps it.
        if (model.size() % 2) list.Add(name, name);
        else list.AddMade(name, [&name](std::string& r) { r = name; });
        if (free.empty()) {
            model.push_back(name);
        } else {
            model[size_t(free.back())] = name;
            free.pop_back();
        }
        if (list.KeepSorted) sort();
    };
    for (int round = 0; round < 10; ++round) {
        list.KeepSorted = round == 0;  // every addition and deletion sorts
        for (int step = 0; step < 200; ++step) {
            const unsigned op = rng() % 100;
            const int32_t i = int32_t(rng() % (model.size() + 2)) - 1;  // now and then outside the list
            if (op < 55) {
                add(Name(rng, int(rng() % 5)));
            } else if (op < 85) {
                list.Delete(i);
                if (i >= 0 && size_t(i) < model.size() && model[size_t(i)]) {
                    model[size_t(i)].reset();
                    free.push_back(i);
                }
                if (list.KeepSorted) sort();
            } else if (op < 93) {
                sort();
                ASSERT_NO_FATAL_FAILURE(check());
            } else {
                list.Pack();  // drops the empty slots, the rest keeps its order
                model.erase(std::remove(model.begin(), model.end(), std::nullopt), model.end());
                free.clear();
            }
        }
        list.KeepSorted = false;
        sort();  // so that the batch alone is new to the next sort
        for (int n = 0; n < (round < 5 ? 1500 : 6000); ++n) add(Name(rng, round % 7));
        sort();
        ASSERT_NO_FATAL_FAILURE(check());
        if (round == 7) {  // the records' blocks are handed out again
            list.FreeAll();
            model.clear();
            free.clear();
        }
    }
}
