#include "display/sorted_list.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <numeric>
#include <stdexcept>

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

// Names equal in their first 20 bytes (zero-padded): decide by the rest.
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

// Bytes `at` to `at` + 7 of n bytes as one big-endian word, zero-padded,
// read without touching anything past the n bytes.
inline uint64_t WordAt(const char* p, size_t n, size_t at)
{
    uint64_t x = 0;
    if (n >= at + 8) {
        std::memcpy(&x, p + at, 8);
    } else if (n > at) {
        const size_t r = n - at;
        if (n >= 8) {
            // The last eight bytes, shifted down to the r that belong here.
            std::memcpy(&x, p + n - 8, 8);
            x >>= 8 * (8 - r);
        } else {
            std::memcpy(&x, p + at, r);
        }
    }
    return __builtin_bswap64(x);  // big-endian: the first byte most significant
}

// The key of a name, for comparisons with entries.
inline TKey MakeKey(std::string_view name)
{
    TKey k;
    const char* p = name.data();
    const size_t n = name.size();
    k.key[0] = WordAt(p, n, 0);
    k.key[1] = WordAt(p, n, 8);
    k.key[2] = WordAt(p, n, 16) & 0xFFFFFFFF00000000u;
    k.length = uint32_t(n);
    k.tail = n > kPrefix ? p + kPrefix : nullptr;
    return k;
}

}  // namespace

TCore::TCore(size_t nodeSize, size_t nodeAlign) : nodeSize_(nodeSize), nodeAlign_(nodeAlign) { slots_.reserve(1024); }

TCore::~TCore()
{
    for (uint8_t* block : blocks_) ::operator delete(block, std::align_val_t(nodeAlign_));
}

uint32_t TCore::NewNodeElsewhere()
{
    if (freeNodes_ != kEmpty) {
        const uint32_t id = freeNodes_;
        freeNodes_ = uint32_t(Node(id)->key[0]);
        return id;
    }
    if (nextNode_ == kEmpty) throw std::length_error("sorted name list full");
    if ((nextNode_ >> kBlockShift) == blocks_.size()) {
        blocks_.reserve(blocks_.size() + 1);
        blocks_.push_back(
            static_cast<uint8_t*>(::operator new(nodeSize_ << kBlockShift, std::align_val_t(nodeAlign_))));
    }
    return nextNode_++;
}

void TCore::FreeNode(uint32_t id)
{
    Node(id)->key[0] = freeNodes_;
    freeNodes_ = id;
}

const char* TCore::Tail(uint32_t id) const
{
    const auto it = tails_.find(id);
    return it == tails_.end() ? nullptr : it->second.get();
}

int TCore::Compare(const TKey& k, uint32_t id) const
{
    const TNodeHead& h = *Node(id);
    for (int w = 0; w < 3; ++w)
        if (k.key[w] != h.Word(w)) return k.key[w] < h.Word(w) ? -1 : 1;
    if (k.length <= kPrefix && h.length <= kPrefix) return k.length < h.length ? -1 : k.length > h.length ? 1 : 0;
    return CompareRest(k.length, k.tail, h.length, Tail(id));
}

bool TCore::Less(uint32_t a, uint32_t b) const
{
    const TNodeHead& x = *Node(a);
    const TNodeHead& y = *Node(b);
    for (int w = 0; w < 3; ++w)
        if (x.Word(w) != y.Word(w)) return x.Word(w) < y.Word(w);
    if (x.length <= kPrefix && y.length <= kPrefix) return x.length < y.length;
    return CompareRest(x.length, Tail(a), y.length, Tail(b)) < 0;
}

std::string TCore::NameOf(uint32_t id) const
{
    const TNodeHead& h = *Node(id);
    std::string name(h.length, '\0');
    for (size_t i = 0; i < std::min<size_t>(h.length, kPrefix); ++i)
        name[i] = char(uint8_t(h.Word(int(i / 8)) >> (56 - 8 * (i % 8))));
    if (h.length > kPrefix) std::memcpy(name.data() + kPrefix, Tail(id), h.length - kPrefix);
    return name;
}

// Binary search of the sorted slots lo..hi for the key: the first slot of
// the key's run, or -1 with lo at the slot where the key would go.
int32_t TCore::SearchRun(const TKey& k, int32_t& lo, int32_t hi) const
{
    assert(0 <= lo && lo <= hi && hi < Count());
    int32_t mid = lo, c = 0;
    do {
        mid = lo + (hi - lo) / 2;
        const uint32_t id = slots_[size_t(mid)];
        c = id != kEmpty ? Compare(k, id) : 1;  // an empty slot sorts before every name
        if (c < 0) hi = mid - 1;
        else if (c > 0) lo = mid + 1;
    } while (c != 0 && lo <= hi);
    if (c != 0) return -1;
    while (mid > 0 && Equal(k, slots_[size_t(mid - 1)])) --mid;
    return mid;
}

void TCore::Place(std::string_view name, uint32_t id)
{
    TNodeHead& h = *Node(id);
    const TKey k = MakeKey(name);
    h.key[0] = k.key[0];
    h.key[1] = k.key[1];
    h.key2 = uint32_t(k.key[2] >> 32);
    h.length = k.length;
    if (name.size() > kPrefix) {
        auto tail = std::make_unique<char[]>(name.size() - kPrefix);
        std::memcpy(tail.get(), name.data() + kPrefix, name.size() - kPrefix);
        tails_[id] = std::move(tail);
    }
    try {
        if (free_.empty()) {
            slots_.push_back(id);
        } else {
            const int32_t at = free_.back();
            if (size_t(at) < sortedEnd_) reused_.push_back(at);
            free_.pop_back();
            slots_[size_t(at)] = id;
        }
    } catch (...) {
        if (name.size() > kPrefix) tails_.erase(id);
        throw;
    }
    // What the names added since the last sort have in common, for the sort.
    if (!freshAny_) {
        for (int w = 0; w < 3; ++w) freshFirst_[w] = k.key[w];
        freshFirstLength_ = k.length;
        freshAny_ = true;
    }
    for (int w = 0; w < 3; ++w) freshDiff_[w] |= k.key[w] ^ freshFirst_[w];
    freshLengthDiff_ |= k.length ^ freshFirstLength_;
    freshLong_ |= k.length > kPrefix;
    if (KeepSorted) Sort();
}

uint32_t TCore::Vacate(int32_t index)
{
    assert(!IsEmptySlot(index));
    free_.push_back(index);
    const uint32_t id = slots_[size_t(index)];
    slots_[size_t(index)] = kEmpty;
    if (!tails_.empty()) tails_.erase(id);
    if (KeepSorted) Sort();
    return id;
}

size_t TCore::OldAfter(uint32_t id, size_t from, size_t end) const
{
    assert(from <= end && end <= slots_.size());
    if (from == end || Less(id, slots_[from])) return from;
    // Gallop: the place is usually near.
    size_t lo = from, hi = from, step = 1;
    for (;;) {
        hi = lo + step;
        if (hi >= end) {
            hi = end;
            break;
        }
        if (Less(id, slots_[hi])) break;
        lo = hi;
        step *= 2;
    }
    // The entry at lo is not above the name; the one at hi (if any) is.
    while (hi - lo > 1) {
        const size_t mid = lo + (hi - lo) / 2;
        if (Less(id, slots_[mid])) hi = mid;
        else lo = mid;
    }
    return hi;
}

// Aligned to a cache line: the loops that move and merge the slots are
// the hottest of a rebuild, and where they start within a line would
// otherwise change their speed with the size of the code linked before.
[[gnu::aligned(64)]] void TCore::Sort()
{
    const size_t n = slots_.size();
    if (free_.empty() && (!restSorted_ || sortedEnd_ == 0)) {
        SortEveryEntry();
        return;
    }
    fresh_.clear();
    fresh_.reserve(restSorted_ ? n - sortedEnd_ + reused_.size() : n);
    size_t old = 0;  // entries left by the last sort, moved to the back
    if (restSorted_) {
        // The new entries: in the reused slots (each taken once) and in the
        // appended ones.
        std::sort(reused_.begin(), reused_.end());
        reused_.erase(std::unique(reused_.begin(), reused_.end()), reused_.end());
        for (int32_t at : reused_)
            if (slots_[size_t(at)] != kEmpty) fresh_.push_back(slots_[size_t(at)]);
        for (size_t i = sortedEnd_; i < n; ++i)
            if (slots_[i] != kEmpty) fresh_.push_back(slots_[i]);
        // The old entries to the back, keeping their order.
        size_t w = n, r = reused_.size();
        for (size_t i = sortedEnd_; i-- > 0;) {
            if (r > 0 && size_t(reused_[r - 1]) == i) {
                --r;
                continue;
            }
            if (slots_[i] != kEmpty) slots_[--w] = slots_[i];
        }
        old = n - w;
    } else {
        for (uint32_t id : slots_)
            if (id != kEmpty) fresh_.push_back(id);
    }
    const size_t freshCount = fresh_.size();
    const size_t empties = n - old - freshCount;
    assert(empties == free_.size());
    try {
        SortFresh();
    } catch (...) {
        ReturnFresh(empties);
        throw;
    }

    // Merge forward: the write position never passes the next old entry, and
    // once the new entries are all placed the rest of the old ones already
    // sits in place.
    size_t out = empties, a = n - old;
    for (size_t b = 0; b < freshCount; ++b) {
        const uint32_t id = fresh_[b];
        if (a < n) {
            // Old entries of an equal name stay first.
            const size_t to = OldAfter(id, a, n);
            if (to > a) {
                if (out != a) std::memmove(&slots_[out], &slots_[a], (to - a) * sizeof(uint32_t));
                out += to - a;
                a = to;
            }
        }
        slots_[out++] = id;
    }
    std::fill(slots_.begin(), slots_.begin() + ptrdiff_t(empties), kEmpty);
    free_.resize(empties);
    std::iota(free_.begin(), free_.end(), 0);
    Sorted();
}

void TCore::SortEveryEntry()
{
    fresh_.swap(slots_);
    try {
        SortFresh();
    } catch (...) {
        // The entries are all in fresh_ still, in some order.
        slots_.swap(fresh_);
        Unsorted();
        throw;
    }
    slots_.swap(fresh_);
    Sorted();
}

void TCore::ReturnFresh(size_t empties)
{
    // The new entries go back in front of the old ones (moved to the back),
    // behind the empty slots.
    std::copy(fresh_.begin(), fresh_.end(), slots_.begin() + ptrdiff_t(empties));
    std::fill(slots_.begin(), slots_.begin() + ptrdiff_t(empties), kEmpty);
    std::iota(free_.begin(), free_.end(), 0);
    Unsorted();
}

void TCore::Unsorted()
{
    sortedEnd_ = 0;
    reused_.clear();
    restSorted_ = false;
}

void TCore::Sorted()
{
    sortedEnd_ = slots_.size();
    reused_.clear();
    restSorted_ = true;
    freshAny_ = freshLong_ = false;
    freshDiff_[0] = freshDiff_[1] = freshDiff_[2] = 0;
    freshLengthDiff_ = 0;
}

namespace {

// Fills `table` with the bits of each byte value that `mask` selects,
// packed together in their order (which keeps the order of values that
// differ only in those bits); returns how many bits that is.
int PackTable(uint32_t mask, uint8_t table[256])
{
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t out = 0;
        for (int bit = 7; bit >= 0; --bit)
            if (mask & (1u << bit)) out = (out << 1) | ((b >> bit) & 1u);
        table[b] = uint8_t(out);
    }
    return __builtin_popcount(mask);
}

}  // namespace

// One byte position of the names that differs between them, packed into
// `width` bits by `table` in an order-keeping way.
struct TCore::TField {
    int word, shift, width;
    uint8_t table[256];

    uint32_t Of(const TNodeHead& h) const { return table[(h.Word(word) >> shift) & 0xFF]; }
};

namespace {

int IndexBits(size_t n)
{
    int bits = 1;
    while ((uint64_t(1) << bits) < n) ++bits;
    return bits;
}

}  // namespace

// The fields of the byte positions where `diff` has bits: at each, the bits
// that never differ are dropped (which keeps the order of the values that
// do occur). Returns the number of fields.
int TCore::MakeFields(const uint64_t diff[3], TField* fields)
{
    int count = 0;
    for (int p = 0; p < int(kPrefix); ++p) {
        const uint32_t mask = uint32_t(diff[p / 8] >> (56 - 8 * (p % 8))) & 0xFFu;
        if (!mask) continue;
        TField& f = fields[count++];
        f.word = p / 8;
        f.shift = 56 - 8 * (p % 8);
        f.width = PackTable(mask, f.table);
    }
    return count;
}

// Orders n entries by the fields given (and the length, when lengthWidth is
// not 0), packed with each entry's place into 64-bit keys (totalBits of
// name and IndexBits(n) of place must fit), least significant digit first;
// each pass is stable, so entries of equal names keep their order.
void TCore::RadixSort(uint32_t* ids, size_t n, const TField* fields, int fieldCount, const uint8_t* lengthTable,
                      int lengthWidth, int totalBits)
{
    const int indexBits = IndexBits(n);
    assert(totalBits + indexBits <= 64);
    std::vector<uint64_t>& order = order_;
    order.resize(n);
    for (size_t i = 0; i < n; ++i) {
        if (i + 8 < n) __builtin_prefetch(Node(ids[i + 8]));
        const TNodeHead& h = *Node(ids[i]);
        uint64_t key = 0;
        for (int k = 0; k < fieldCount; ++k) key = (key << fields[k].width) | fields[k].Of(h);
        if (lengthWidth) key = (key << lengthWidth) | lengthTable[h.length & 0xFF];
        order[i] = (key << indexBits) | i;
    }
    const int passes = (totalBits + 11) / 12;
    if (passes > 0) {
        const int digit = (totalBits + passes - 1) / passes;
        const uint64_t mask = (uint64_t(1) << digit) - 1;
        std::vector<uint64_t>& spare = orderTmp_;
        spare.resize(n);
        std::vector<uint32_t> counts(size_t(1) << digit);
        for (int pass = 0; pass < passes; ++pass) {
            const int shift = indexBits + pass * digit;
            std::fill(counts.begin(), counts.end(), 0);
            for (uint64_t o : order) ++counts[(o >> shift) & mask];
            uint32_t sum = 0;
            for (uint32_t& c : counts) {
                const uint32_t here = c;
                c = sum;
                sum += here;
            }
            for (uint64_t o : order) spare[counts[(o >> shift) & mask]++] = o;
            order.swap(spare);
        }
    }
    const uint64_t indexMask = (uint64_t(1) << indexBits) - 1;
    ids_.resize(n);
    for (size_t i = 0; i < n; ++i) ids_[i] = ids[order[i] & indexMask];
    std::copy_n(ids_.begin(), n, ids);
}

void TCore::SortFresh()
{
    const size_t n = fresh_.size();
    auto less = [this](uint32_t a, uint32_t b) { return Less(a, b); };
    if (n < 2 || std::is_sorted(fresh_.begin(), fresh_.end(), less)) return;
    // Gathered as the names came, unless everything is to be sorted.
    uint64_t diff[3] = {freshDiff_[0], freshDiff_[1], freshDiff_[2]};
    uint32_t lengthDiff = freshLengthDiff_;
    bool longNames = freshLong_;
    if (!restSorted_) Differences(fresh_.data(), n, diff, lengthDiff, longNames);
    if (n < 4096 || longNames) {
        SortIds(fresh_.data(), n, diff, lengthDiff, longNames);
        return;
    }

    // Names made of numbers seldom need every digit sorted: a list added to
    // in order of one number within groups of the others (the drawing
    // layer's vertices: list, texture, then a running serial) is sorted once
    // it is grouped by the leading fields. So the names are first
    // distributed by their leading fields (12 to 16 bits) keeping their
    // order, and only a group that then turns out unsorted is sorted further.
    TField fields[kPrefix];
    const int fieldCount = MakeFields(diff, fields);
    int digitFields = 0, digitBits = 0;
    // Up to 12 bits, more (up to 16) for many names: a group per value
    // costs a few bytes of tables.
    int widest = 12;
    while (widest < 16 && (size_t(1) << (widest + 5)) <= n) ++widest;
    while (digitFields < fieldCount && digitBits + fields[digitFields].width <= widest)
        digitBits += fields[digitFields++].width;
    GroupFresh(fields, digitFields, digitBits);
    SortGroups(size_t(1) << digitBits, fields + digitFields, fieldCount - digitFields, lengthDiff);
}

void TCore::GroupFresh(const TField* fields, int digitFields, int digitBits)
{
    assert(digitBits <= 16);
    const size_t n = fresh_.size();
    // Whether each group is in order is seen on the way: the distribution
    // keeps the order, so a group is in order when no name is below the
    // previous one of its group.
    const size_t groups = size_t(1) << digitBits;
    counts_.assign(groups + 1, 0);
    last_.assign(groups, TLast{{0, 0, 0}, 0});  // the empty name is below every name
    unsorted_.assign(groups, 0);
    // Each field's share of the group number, already in its place.
    struct TPart {
        int word, shift;
        uint16_t share[256];
    };
    std::vector<TPart> parts(static_cast<size_t>(digitFields));
    for (int k = 0, below = digitBits; k < digitFields; ++k) {
        below -= fields[k].width;
        parts[size_t(k)].word = fields[k].word;
        parts[size_t(k)].shift = fields[k].shift;
        for (int b = 0; b < 256; ++b) parts[size_t(k)].share[b] = uint16_t(fields[k].table[b] << below);
    }
    digits_.resize(n);
    for (size_t i = 0; i < n; ++i) {
        if (i + 8 < n) __builtin_prefetch(Node(fresh_[i + 8]));
        const TNodeHead& h = *Node(fresh_[i]);
        const TLast here = {{h.Word(0), h.Word(1), h.Word(2)}, h.length};
        uint32_t d = 0;
        for (const TPart& part : parts) d |= part.share[(here.word[part.word] >> part.shift) & 0xFF];
        TLast& before = last_[d];
        const bool below = here.word[0] != before.word[0]   ? here.word[0] < before.word[0]
                           : here.word[1] != before.word[1] ? here.word[1] < before.word[1]
                           : here.word[2] != before.word[2] ? here.word[2] < before.word[2]
                                                            : here.length < before.length;
        unsorted_[d] |= uint8_t(below);
        before = here;
        digits_[i] = uint16_t(d);
        ++counts_[d + 1];
    }
    for (size_t d = 1; d <= groups; ++d) counts_[d] += counts_[d - 1];
    // counts_[d] is now where group d starts.
    ids_.resize(n);
    {
        std::vector<uint32_t> next(counts_.begin(), counts_.end() - 1);
        for (size_t i = 0; i < n; ++i) ids_[next[digits_[i]]++] = fresh_[i];
    }
    fresh_.swap(ids_);
}

void TCore::SortGroups(size_t groups, const TField* rest, int restCount, uint32_t lengthDiff)
{
    assert(counts_.size() == groups + 1 && unsorted_.size() == groups && counts_[groups] == fresh_.size());
    auto less = [this](uint32_t a, uint32_t b) { return Less(a, b); };
    // A group out of order is sorted by the fields after the leading ones,
    // as they differ among all the new names, when they fit the packed keys;
    // otherwise by what differs within the group alone.
    uint8_t lengthTable[256];
    const int lengthWidth = PackTable(lengthDiff & 0xFFu, lengthTable);
    int restBits = lengthWidth;
    for (int k = 0; k < restCount; ++k) restBits += rest[k].width;
    for (size_t d = 0; d < groups; ++d) {
        if (!unsorted_[d]) continue;
        uint32_t* group = fresh_.data() + counts_[d];
        const size_t size = counts_[d + 1] - counts_[d];
        if (size < 256) {
            std::sort(group, group + size, less);
        } else if (restBits + IndexBits(size) <= 64) {
            RadixSort(group, size, rest, restCount, lengthTable, lengthWidth, restBits);
        } else {
            uint64_t groupDiff[3];
            uint32_t groupLengthDiff;
            bool groupLong;
            Differences(group, size, groupDiff, groupLengthDiff, groupLong);
            SortIds(group, size, groupDiff, groupLengthDiff, groupLong);
        }
    }
}

void TCore::Differences(const uint32_t* ids, size_t n, uint64_t diff[3], uint32_t& lengthDiff, bool& longNames) const
{
    assert(n > 0);
    const TNodeHead& first = *Node(ids[0]);
    diff[0] = diff[1] = diff[2] = 0;
    lengthDiff = 0;
    longNames = false;
    for (size_t i = 0; i < n; ++i) {
        const TNodeHead& h = *Node(ids[i]);
        for (int k = 0; k < 3; ++k) diff[k] |= h.Word(k) ^ first.Word(k);
        lengthDiff |= h.length ^ first.length;
        longNames |= h.length > kPrefix;
    }
}

bool TCore::DifferWithin(const uint32_t* ids, size_t n, const uint64_t diff[3], uint32_t lengthDiff,
                         bool longNames) const
{
    uint64_t seen[3];
    uint32_t seenLength;
    bool seenLong;
    Differences(ids, n, seen, seenLength, seenLong);
    for (int k = 0; k < 3; ++k)
        if (seen[k] & ~diff[k]) return false;
    return (seenLength & ~lengthDiff) == 0 && (longNames || !seenLong);
}

void TCore::SortIds(uint32_t* ids, size_t n, const uint64_t diff[3], uint32_t lengthDiff, bool longNames)
{
    assert(n > 0 && DifferWithin(ids, n, diff, lengthDiff, longNames));
    auto less = [this](uint32_t a, uint32_t b) { return Less(a, b); };
    if (n < 256 || longNames) {
        std::sort(ids, ids + n, less);
        return;
    }
    // Pack each name into a few bits that sort the same way: only the bits
    // that differ between names count. Decimal keys need a few bits per
    // character.
    const int indexBits = IndexBits(n);
    TField fields[kPrefix];
    const int fieldCount = MakeFields(diff, fields);
    int totalBits = 0;
    for (int k = 0; k < fieldCount; ++k) totalBits += fields[k].width;
    uint8_t lengthTable[256];
    int lengthWidth = PackTable(lengthDiff & 0xFFu, lengthTable);
    totalBits += lengthWidth;
    if (totalBits + indexBits > 64) {
        // Too wide: number the values that actually occur at each position
        // instead (one more pass, fewer bits).
        std::vector<std::array<uint8_t, 256>> present(size_t(fieldCount) + 1);
        for (auto& a : present) a.fill(0);
        for (size_t i = 0; i < n; ++i) {
            const TNodeHead& h = *Node(ids[i]);
            for (int k = 0; k < fieldCount; ++k)
                present[size_t(k)][(h.Word(fields[k].word) >> fields[k].shift) & 0xFF] = 1;
            present[size_t(fieldCount)][h.length & 0xFF] = 1;
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
            std::sort(ids, ids + n, less);
            return;
        }
    }

    RadixSort(ids, n, fields, fieldCount, lengthTable, lengthWidth, totalBits);
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
    return SearchRun(k, lo, count - 1);
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
    const int32_t at = SearchRun(k, lo, count - 1);
    return at >= 0 ? at : lo;
}

void TCore::ClearSlots()
{
    slots_.clear();
    free_.clear();
    Sorted();  // an empty list is sorted
    tails_.clear();
    // Every record is gone: the blocks are handed out again from the start.
    nextNode_ = 0;
    freeNodes_ = kEmpty;
}

void TCore::ReleaseMemory()
{
    if (!slots_.empty()) return;
    for (uint8_t* block : blocks_) ::operator delete(block, std::align_val_t(nodeAlign_));
    std::vector<uint8_t*>().swap(blocks_);
    nextNode_ = 0;
    freeNodes_ = kEmpty;
    auto release = [](auto& v) { std::remove_reference_t<decltype(v)>().swap(v); };
    release(slots_);
    release(free_);
    release(reused_);
    release(fresh_);
    release(ids_);
    release(digits_);
    release(last_);
    release(unsorted_);
    release(order_);
    release(orderTmp_);
    release(counts_);
    Sorted();
}

void TCore::PackSlots()
{
    const bool added = !restSorted_ || !reused_.empty() || sortedEnd_ < slots_.size();
    slots_.erase(std::remove(slots_.begin(), slots_.end(), kEmpty), slots_.end());
    slots_.shrink_to_fit();
    free_.clear();
    reused_.clear();
    // The slots moved: the next sort orders everything that is new and old alike.
    if (added) restSorted_ = false;
    sortedEnd_ = restSorted_ ? slots_.size() : 0;
}

}  // namespace listmem
