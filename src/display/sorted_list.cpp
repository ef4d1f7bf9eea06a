#include "display/sorted_list.h"

#include <algorithm>
#include <array>
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
    unsigned char buf[kPrefix] = {};
    std::memcpy(buf, name.data(), std::min(name.size(), kPrefix));
    for (size_t w = 0; w < 3; ++w) {
        uint64_t word;
        std::memcpy(&word, buf + 8 * w, 8);
        k.key[w] = __builtin_bswap64(word);  // big-endian: the first byte most significant
    }
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

// Binary search of the sorted slots lo..hi for the key: the first slot of
// the key's run, or -1 with lo at the slot where the key would go.
int32_t SearchRun(const std::vector<TSlot>& slots, const TKey& k, int32_t& lo, int32_t hi)
{
    int32_t mid = lo, c = 0;
    do {
        mid = lo + (hi - lo) / 2;
        const TSlot& s = slots[size_t(mid)];
        c = s.node ? Compare(k, s) : 1;  // an empty slot sorts before every name
        if (c < 0)
            hi = mid - 1;
        else if (c > 0)
            lo = mid + 1;
    } while (c != 0 && lo <= hi);
    if (c != 0) return -1;
    while (mid > 0 && Equal(k, slots[size_t(mid - 1)])) --mid;
    return mid;
}

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
    added_.push_back(free_.empty() ? Count() : free_.back());
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
    const size_t n = slots_.size();
    fresh_.clear();
    size_t w = n;
    if (restSorted_) {
        // The new entries, in the order they came; each slot taken once.
        isFresh_.assign(n, 0);
        for (int32_t i : added_) {
            if (size_t(i) >= n || isFresh_[size_t(i)] || !slots_[size_t(i)].node) continue;
            isFresh_[size_t(i)] = 1;
            fresh_.push_back(slots_[size_t(i)]);
        }
        // The old entries to the back, keeping their order.
        for (size_t i = n; i-- > 0;)
            if (slots_[i].node && !isFresh_[i]) slots_[--w] = slots_[i];
    } else {
        for (const TSlot& slot : slots_)
            if (slot.node) fresh_.push_back(slot);
    }
    const size_t oldCount = n - w;
    const size_t empties = n - oldCount - fresh_.size();
    SortFresh();

    // Merge forward: the write position never passes the next old entry.
    size_t out = empties, a = w, b = 0;
    const size_t freshCount = fresh_.size();
    const bool indirect = !order_.empty();
    const uint64_t indexMask = (uint64_t(1) << orderIndexBits_) - 1;
    auto freshAt = [&](size_t k) -> const TSlot& {
        return indirect ? fresh_[size_t(order_[k] & indexMask)] : fresh_[k];
    };
    while (a < n && b < freshCount) {
        if (indirect && b + 16 < freshCount) __builtin_prefetch(&fresh_[size_t(order_[b + 16] & indexMask)]);
        const TSlot& f = freshAt(b);
        if (SlotLess(f, slots_[a])) {
            slots_[out++] = f;
            ++b;
        } else {
            slots_[out++] = slots_[a++];
        }
    }
    for (; b < freshCount; ++b) {
        if (indirect && b + 16 < freshCount) __builtin_prefetch(&fresh_[size_t(order_[b + 16] & indexMask)]);
        slots_[out++] = freshAt(b);
    }
    // Whatever remains of the old entries already sits in place.
    std::fill(slots_.begin(), slots_.begin() + ptrdiff_t(empties), kEmpty);

    added_.clear();
    restSorted_ = true;
    free_.resize(empties);
    std::iota(free_.begin(), free_.end(), 0);
}

namespace {

// The bits of `value` selected by `mask`, packed together in their order.
inline uint32_t CompressBits(uint32_t value, uint32_t mask)
{
    uint32_t out = 0;
    for (int bit = 7; bit >= 0; --bit)
        if (mask & (1u << bit)) out = (out << 1) | ((value >> bit) & 1u);
    return out;
}


}  // namespace

void TCore::SortFresh()
{
    order_.clear();
    const size_t n = fresh_.size();
    if (n < 2 || std::is_sorted(fresh_.begin(), fresh_.end(), SlotLess)) return;
    if (n < 256) {
        std::sort(fresh_.begin(), fresh_.end(), SlotLess);
        return;
    }
    // Pack each name into a few bits that sort the same way: only the bits
    // that differ between names count, and at each byte position the bits
    // that never differ are dropped (which keeps the order of the values
    // that do occur). Decimal keys need a few bits per character.
    const TSlot& first = fresh_[0];
    uint64_t diff[3] = {0, 0, 0};
    uint32_t lengthDiff = 0;
    bool longNames = false;
    for (const TSlot& s : fresh_) {
        for (int k = 0; k < 3; ++k) diff[k] |= s.key[k] ^ first.key[k];
        lengthDiff |= s.length ^ first.length;
        longNames |= s.length > kPrefix;
    }
    int indexBits = 1;
    while ((uint64_t(1) << indexBits) < n) ++indexBits;

    struct TField {
        int word, shift, width;
        uint8_t table[256];
    };
    TField fields[kPrefix + 1];
    int fieldCount = 0, totalBits = 0;
    for (int p = 0; p < int(kPrefix); ++p) {
        const uint32_t mask = uint32_t(diff[p / 8] >> (56 - 8 * (p % 8))) & 0xFFu;
        if (!mask) continue;
        TField& f = fields[fieldCount++];
        f.word = p / 8;
        f.shift = 56 - 8 * (p % 8);
        f.width = __builtin_popcount(mask);
        for (uint32_t b = 0; b < 256; ++b) f.table[b] = uint8_t(CompressBits(b, mask));
        totalBits += f.width;
    }
    if (longNames) {
        std::sort(fresh_.begin(), fresh_.end(), SlotLess);
        return;
    }
    const uint32_t lengthMask = lengthDiff & 0xFFu;
    int lengthWidth = __builtin_popcount(lengthMask);
    totalBits += lengthWidth;
    uint8_t lengthTable[256];
    for (uint32_t b = 0; b < 256; ++b) lengthTable[b] = uint8_t(CompressBits(b, lengthMask));
    if (totalBits + indexBits > 64) {
        // Too wide: number the values that actually occur at each position
        // instead (one more pass, fewer bits).
        std::vector<std::array<uint8_t, 256>> present(size_t(fieldCount) + 1);
        for (auto& a : present) a.fill(0);
        for (const TSlot& s : fresh_) {
            for (int k = 0; k < fieldCount; ++k) present[size_t(k)][(s.key[fields[k].word] >> fields[k].shift) & 0xFF] = 1;
            present[size_t(fieldCount)][s.length & 0xFF] = 1;
        }
        auto rank = [](const std::array<uint8_t, 256>& pr, uint8_t* table) {
            int count = 0;
            for (int b = 0; b < 256; ++b) {
                table[b] = uint8_t(count);
                count += pr[size_t(b)];
            }
            int bits = 0;
            while ((1 << bits) < count) ++bits;
            return bits;
        };
        totalBits = 0;
        for (int k = 0; k < fieldCount; ++k) totalBits += fields[k].width = rank(present[size_t(k)], fields[k].table);
        if (lengthWidth) totalBits += lengthWidth = rank(present[size_t(fieldCount)], lengthTable);
        if (totalBits + indexBits > 64) {
            std::sort(fresh_.begin(), fresh_.end(), SlotLess);
            return;
        }
    }

    orderIndexBits_ = indexBits;
    order_.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const TSlot& s = fresh_[i];
        uint64_t key = 0;
        for (int k = 0; k < fieldCount; ++k) {
            const TField& f = fields[k];
            key = (key << f.width) | f.table[(s.key[f.word] >> f.shift) & 0xFF];
        }
        if (lengthWidth) key = (key << lengthWidth) | lengthTable[s.length & 0xFF];
        order_[i] = (key << indexBits) | i;
    }
    // Least significant digit first over the name bits; each pass is stable.
    const int passes = (totalBits + 11) / 12;
    const int digit = (totalBits + passes - 1) / passes;
    const uint64_t mask = (uint64_t(1) << digit) - 1;
    orderTmp_.resize(n);
    counts_.resize(size_t(1) << digit);
    for (int pass = 0; pass < passes; ++pass) {
        const int shift = indexBits + pass * digit;
        std::fill(counts_.begin(), counts_.end(), 0);
        for (uint64_t o : order_) ++counts_[(o >> shift) & mask];
        uint32_t sum = 0;
        for (uint32_t& c : counts_) {
            const uint32_t here = c;
            c = sum;
            sum += here;
        }
        for (uint64_t o : order_) orderTmp_[counts_[(o >> shift) & mask]++] = o;
        order_.swap(orderTmp_);
    }
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
    return SearchRun(slots_, k, lo, count - 1);
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
    const int32_t at = SearchRun(slots_, k, lo, count - 1);
    return at >= 0 ? at : lo;
}

void TCore::ClearSlots()
{
    slots_.clear();
    free_.clear();
    added_.clear();
    restSorted_ = true;
}

void TCore::PackSlots()
{
    slots_.erase(std::remove_if(slots_.begin(), slots_.end(), [](const TSlot& s) { return s.node == nullptr; }),
                 slots_.end());
    slots_.shrink_to_fit();
    free_.clear();
    // The slots moved: the next sort orders everything.
    if (!added_.empty()) restSorted_ = false;
    added_.clear();
}

}  // namespace listmem
