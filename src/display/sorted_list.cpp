#include "display/sorted_list.h"

#include <algorithm>
#include <cstring>
#include <numeric>

size_t IntToStrWidthTo(char* out, int32_t n, int32_t width)
{
    char digits[12];
    size_t len = 0;
    int64_t v = n;
    const bool negative = v < 0;
    if (negative) v = -v;
    do {
        digits[len++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (negative) digits[len++] = '-';
    size_t pos = 0;
    for (int32_t pad = width - int32_t(len); pad > 0; --pad) out[pos++] = ' ';
    while (len > 0) out[pos++] = digits[--len];
    return pos;
}

std::string IntToStrWidth(int32_t n, int32_t width)
{
    std::string s(size_t(std::max(width, 11)), ' ');
    s.resize(IntToStrWidthTo(s.data(), n, width));
    return s;
}

namespace listmem {

namespace {

inline uint64_t Word(const char* p, size_t len, size_t at)
{
    uint64_t w = 0;
    for (size_t i = 0; i < 8; ++i) {
        const size_t k = at + i;
        w = (w << 8) | (k < len ? uint8_t(p[k]) : 0u);
    }
    return w;
}

inline size_t TailLength(uint32_t length) { return length > kPrefix ? length - kPrefix : 0; }

// Names equal in their first 24 bytes (zero-padded): decide by the rest.
inline int CompareRest(uint32_t la, const char* ta, uint32_t lb, const char* tb)
{
    const size_t a = TailLength(la), b = TailLength(lb);
    const size_t common = std::min(a, b);
    if (common > 0) {
        const int c = std::memcmp(ta, tb, common);
        if (c != 0) return c;
    }
    return la < lb ? -1 : la > lb ? 1 : 0;
}

inline int CompareSlots(const TSlot& a, const TSlot& b)
{
    for (int w = 0; w < 3; ++w)
        if (a.key[w] != b.key[w]) return a.key[w] < b.key[w] ? -1 : 1;
    if (a.length <= kPrefix && b.length <= kPrefix) return a.length < b.length ? -1 : a.length > b.length ? 1 : 0;
    return CompareRest(a.length, a.node->tail, b.length, b.node->tail);
}

inline bool SlotLess(const TSlot& a, const TSlot& b)
{
    if (a.key[0] != b.key[0]) return a.key[0] < b.key[0];
    if (a.key[1] != b.key[1]) return a.key[1] < b.key[1];
    if (a.key[2] != b.key[2]) return a.key[2] < b.key[2];
    return CompareSlots(a, b) < 0;
}

constexpr TSlot kEmpty = {{0, 0, 0}, 0, nullptr};

}  // namespace

TKey MakeKey(std::string_view name)
{
    TKey k;
    for (size_t w = 0; w < 3; ++w) k.key[w] = Word(name.data(), name.size(), w * 8);
    k.length = uint32_t(name.size());
    k.tail = name.size() > kPrefix ? name.data() + kPrefix : nullptr;
    return k;
}

int Compare(const TKey& k, const TSlot& s)
{
    for (int w = 0; w < 3; ++w)
        if (k.key[w] != s.key[w]) return k.key[w] < s.key[w] ? -1 : 1;
    if (k.length <= kPrefix && s.length <= kPrefix) return k.length < s.length ? -1 : k.length > s.length ? 1 : 0;
    return CompareRest(k.length, k.tail, s.length, s.node->tail);
}

bool Equal(const TKey& k, const TSlot& s) { return s.node && Compare(k, s) == 0; }

std::string NameOf(const TSlot& s)
{
    std::string name(s.length, '\0');
    for (size_t i = 0; i < std::min<size_t>(s.length, kPrefix); ++i)
        name[i] = char(uint8_t(s.key[i / 8] >> (56 - 8 * (i % 8))));
    if (s.length > kPrefix) std::memcpy(name.data() + kPrefix, s.node->tail, s.length - kPrefix);
    return name;
}

TCore::TCore() { slots_.reserve(1024); }

void TCore::Place(std::string_view name, TNodeHead* node)
{
    if (name.size() > kPrefix) {
        node->tail = new char[name.size() - kPrefix];
        std::memcpy(node->tail, name.data() + kPrefix, name.size() - kPrefix);
    }
    const TKey k = MakeKey(name);
    const TSlot slot = {{k.key[0], k.key[1], k.key[2]}, k.length, node};
    if (free_.empty()) {
        slots_.push_back(slot);
    } else {
        slots_[size_t(free_.back())] = slot;
        free_.pop_back();
    }
    if (KeepSorted) Sort();
}

TNodeHead* TCore::Vacate(int32_t index)
{
    TNodeHead* node = slots_[size_t(index)].node;
    slots_[size_t(index)] = kEmpty;
    free_.push_back(index);
    if (KeepSorted) Sort();
    return node;
}

void TCore::Sort()
{
    // Empty slots to the front; the entries keep their order, so a list that
    // was sorted before some deletions needs no sorting after this.
    size_t w = slots_.size();
    for (size_t i = slots_.size(); i-- > 0;)
        if (slots_[i].node) slots_[--w] = slots_[i];
    std::fill(slots_.begin(), slots_.begin() + ptrdiff_t(w), kEmpty);
    auto first = slots_.begin() + ptrdiff_t(w);
    if (!std::is_sorted(first, slots_.end(), SlotLess)) std::sort(first, slots_.end(), SlotLess);
    free_.resize(w);
    std::iota(free_.begin(), free_.end(), 0);
}

int32_t TCore::IndexOf(std::string_view name) const
{
    const int32_t count = Count();
    int32_t lo = FreeCount();
    if (count - lo <= 0) return -1;
    const TKey k = MakeKey(name);
    auto equal = [&](int32_t i) { return Equal(k, slots_[size_t(i)]); };
    if (count - lo == 1) return equal(lo) ? lo : -1;
    if (equal(lo)) return lo;
    int32_t hi = count - 1, mid = lo, c = 0;
    do {
        mid = lo + (hi - lo) / 2;
        const TSlot& s = slots_[size_t(mid)];
        c = s.node ? Compare(k, s) : 1;  // an empty slot sorts before every name
        if (c < 0)
            hi = mid - 1;
        else if (c > 0)
            lo = mid + 1;
    } while (c != 0 && lo <= hi);
    if (c != 0) return -1;
    while (mid > 0 && equal(mid - 1)) --mid;
    return mid;
}

int32_t TCore::Locate(std::string_view name) const
{
    const int32_t count = Count();
    int32_t lo = FreeCount();
    if (count - lo <= 0) return -1;
    if (count - lo == 1) return lo;
    const TKey k = MakeKey(name);
    auto equal = [&](int32_t i) { return Equal(k, slots_[size_t(i)]); };
    if (equal(lo)) return lo;
    int32_t hi = count - 1, mid = lo, c = 0;
    do {
        mid = lo + (hi - lo) / 2;
        const TSlot& s = slots_[size_t(mid)];
        c = s.node ? Compare(k, s) : 1;
        if (c < 0)
            hi = mid - 1;
        else if (c > 0)
            lo = mid + 1;
    } while (c != 0 && lo <= hi);
    if (c != 0) return lo;
    while (mid > 0 && equal(mid - 1)) --mid;
    return mid;
}

void TCore::ClearSlots()
{
    slots_.clear();
    free_.clear();
}

void TCore::PackSlots()
{
    slots_.erase(std::remove_if(slots_.begin(), slots_.end(), [](const TSlot& s) { return s.node == nullptr; }),
                 slots_.end());
    slots_.shrink_to_fit();
    free_.clear();
}

}  // namespace listmem
