// A list of named records that can be sorted by name and searched by
// binary search, with fixed-width decimal keys so that text order is
// numeric order.
//
// Emptied slots stay in the list: their indexes go on a free-slot stack and
// the next additions reuse them. Sorting moves every empty slot to the
// front, and the searches start behind them.
//
// Names compare ordinally (bytes as unsigned values; a prefix comes before
// the longer names it starts). Each entry keeps the first 20 bytes of its
// name packed into three integers in front of its record, in blocks owned
// by the list, so that adding one seldom allocates and comparing names
// rarely looks further. A slot is the 32-bit number of its entry, so that
// sorting and merging move 4 bytes per entry, and the list's memory is
// little more than the records themselves. A sort orders only what was
// added since the previous one and merges it into the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

// The decimal form of n right-aligned in `width` characters, padded on the
// left with spaces; a longer number is not cut.
std::string IntToStrWidth(int32_t n, int32_t width);
// The same into `out`, which must hold max(width, 11) characters; returns
// the number of characters written.
size_t IntToStrWidthTo(char* out, int32_t n, int32_t width);

namespace listmem {

constexpr size_t kPrefix = 20;  // name bytes kept in front of each record

// What each entry keeps in front of its record: the first 20 bytes of its
// name, big-endian and zero-padded, and the name's length (24 bytes in all).
// The part of a longer name is kept by the list.
struct TNodeHead {
    uint64_t key[2];  // bytes 0-15
    uint32_t key2;    // bytes 16-19
    uint32_t length;

    // Bytes 8w to 8w + 7 as one big-endian word (bytes from 20 on read as zero).
    uint64_t Word(int w) const { return w < 2 ? key[w] : uint64_t(key2) << 32; }
};

// A name prepared for comparison with entries.
struct TKey {
    uint64_t key[3];  // as TNodeHead::Word gives them
    uint32_t length;
    const char* tail;  // bytes from 20 on
};

// The untyped part of the list: entries, slots, free stack, sort and searches.
class TCore {
public:
    static constexpr uint32_t kEmpty = UINT32_MAX;  // the slot of no entry

    int32_t Count() const { return static_cast<int32_t>(slots_.size()); }
    int32_t FreeCount() const { return static_cast<int32_t>(free_.size()); }
    int32_t Capacity() const { return static_cast<int32_t>(slots_.capacity()); }
    bool IsEmptySlot(int32_t index) const { return index < 0 || index >= Count() || slots_[size_t(index)] == kEmpty; }
    std::string Name(int32_t index) const { return IsEmptySlot(index) ? std::string() : NameOf(slots_[size_t(index)]); }

    // Sorts the slots by name. When the sort's work space cannot be had
    // (std::bad_alloc), every entry stays in the list, unsorted.
    void Sort();
    // A hint that the record in a slot is read soon (walks over sorted lists).
    void Prefetch(int32_t index) const
    {
        if (index >= 0 && index < Count() && slots_[size_t(index)] != kEmpty) {
            // Every cache line of the entry.
            const char* p = reinterpret_cast<const char*>(Node(slots_[size_t(index)]));
            for (size_t at = 0; at < nodeSize_; at += 64) __builtin_prefetch(p + at);
            __builtin_prefetch(p + nodeSize_ - 1);
        }
    }
    int32_t IndexOf(std::string_view name) const;
    int32_t Locate(std::string_view name) const;

    // When set, every Add and Delete sorts the list again.
    bool KeepSorted = false;

    // Gives the memory of a list without slots (after FreeAll) back: its
    // blocks of entries, its slots and the sort's work space. Nothing for a
    // list with slots.
    void ReleaseMemory();

protected:
    TCore(size_t nodeSize, size_t nodeAlign);
    ~TCore();
    TCore(const TCore&) = delete;
    TCore& operator=(const TCore&) = delete;

    static constexpr int kBlockShift = 12;  // entries per block: 4096
    static constexpr uint32_t kBlockMask = (1u << kBlockShift) - 1;

    TNodeHead* Node(uint32_t id) const
    {
        return reinterpret_cast<TNodeHead*>(blocks_[id >> kBlockShift] + size_t(id & kBlockMask) * nodeSize_);
    }
    // The number of room for a new entry, freed ones first.
    uint32_t NewNode()
    {
        // Most often the current block has room left.
        if (freeNodes_ == kEmpty && (nextNode_ & kBlockMask) != 0) return nextNode_++;
        return NewNodeElsewhere();
    }
    uint32_t NewNodeElsewhere();
    // Hands an entry's room back; its record must be gone.
    void FreeNode(uint32_t id);
    // Puts an entry under a name into a reused or a new slot (and sorts when keep-sorted).
    void Place(std::string_view name, uint32_t id);
    // Empties a slot that holds an entry, pushing it on the free stack;
    // returns the entry it held.
    uint32_t Vacate(int32_t index);
    // Removes every slot and hands out all entry room again from the start.
    void ClearSlots();
    void PackSlots();

    std::vector<uint32_t> slots_;
    std::vector<int32_t> free_;  // the top is the last element

private:
    std::string NameOf(uint32_t id) const;
    const char* Tail(uint32_t id) const;
    int Compare(const TKey& k, uint32_t id) const;
    bool Equal(const TKey& k, uint32_t id) const { return id != kEmpty && Compare(k, id) == 0; }
    bool Less(uint32_t a, uint32_t b) const;
    int32_t SearchRun(const TKey& k, int32_t& lo, int32_t hi) const;
    // Orders fresh_.
    void SortFresh();
    // The steps of Sort: every slot holding a new entry (a list filled from
    // nothing), sorted where they are; and, when the sort of the new
    // entries (in fresh_, in some order) runs out of memory, the list left
    // whole but unsorted.
    void SortEveryEntry();
    void ReturnFresh(size_t empties);
    // The steps of SortFresh for many names: fresh_ distributed by the group
    // number its leading fields make, keeping the order (counts_[d] is then
    // where group d starts, unsorted_[d] whether it is out of order); each
    // group out of order sorted by the fields after the leading ones.
    struct TField;
    void GroupFresh(const TField* fields, int digitFields, int digitBits);
    void SortGroups(size_t groups, const TField* rest, int restCount, uint32_t lengthDiff);
    // Notes that the list is sorted, or that none of it may be taken as sorted.
    void Sorted();
    void Unsorted();
    // The bits in which the names differ from the first one's, whether some
    // lengths differ, and whether any name is longer than the 20 bytes kept.
    void Differences(const uint32_t* ids, size_t n, uint64_t diff[3], uint32_t& lengthDiff, bool& longNames) const;
    // Whether n entries differ in no bits but those given.
    bool DifferWithin(const uint32_t* ids, size_t n, const uint64_t diff[3], uint32_t lengthDiff, bool longNames) const;
    // Orders n entries whose names differ in the bits given.
    void SortIds(uint32_t* ids, size_t n, const uint64_t diff[3], uint32_t lengthDiff, bool longNames);
    // The byte positions where `diff` has bits, as fields; returns their number.
    static int MakeFields(const uint64_t diff[3], TField* fields);
    // Orders n entries by their fields (and length) packed into 64-bit keys.
    void RadixSort(uint32_t* ids, size_t n, const TField* fields, int fieldCount, const uint8_t* lengthTable,
                   int lengthWidth, int totalBits);
    // The first old slot from `from` on whose entry's name is above the entry's.
    size_t OldAfter(uint32_t id, size_t from, size_t end) const;

    // Entry room: blocks of 4096 entries of nodeSize_ bytes each.
    size_t nodeSize_, nodeAlign_;
    std::vector<uint8_t*> blocks_;
    uint32_t nextNode_ = 0;        // entries handed out from the blocks so far
    uint32_t freeNodes_ = kEmpty;  // freed entries, linked through their first word
    // The part past 20 bytes of the longer names, by entry.
    std::unordered_map<uint32_t, std::unique_ptr<char[]>> tails_;

    // Since the last sort, the slots before sortedEnd_ still hold the entries
    // that sort left there (deletions only empty slots) except the ones
    // taken again from the free stack, listed in reused_; the slots from
    // sortedEnd_ on were appended. A sort orders the new entries and merges
    // them in.
    size_t sortedEnd_ = 0;
    std::vector<int32_t> reused_;
    bool restSorted_ = true;
    // The bits in which the names added since the last sort differ from the
    // first of them, gathered as they come.
    uint64_t freshFirst_[3] = {}, freshDiff_[3] = {};
    uint32_t freshFirstLength_ = 0, freshLengthDiff_ = 0;
    bool freshAny_ = false, freshLong_ = false;
    // Work space of the sort, kept between sorts.
    std::vector<uint32_t> fresh_, ids_;
    std::vector<uint16_t> digits_;
    // The last name seen of each group, and whether the group is out of order.
    struct TLast {
        uint64_t word[3];
        uint32_t length;
    };
    std::vector<TLast> last_;
    std::vector<uint8_t> unsorted_;
    std::vector<uint64_t> order_, orderTmp_;
    std::vector<uint32_t> counts_;
};

}  // namespace listmem

template <class T>
class Tlistmem : public listmem::TCore {
    // One entry: its name's head and its record.
    struct tnode : listmem::TNodeHead {
        tnode() = default;
        explicit tnode(T&& d) : data(std::move(d)) {}
        T data;
    };

public:
    Tlistmem() : TCore(sizeof(tnode), alignof(tnode)) {}
    ~Tlistmem() { FreeAll(); }
    Tlistmem(const Tlistmem&) = delete;
    Tlistmem& operator=(const Tlistmem&) = delete;

    // The record of the first entry IndexOf finds; nil when none.
    T* GetByName(std::string_view name) { return GetByIndex(IndexOf(name)); }
    // The record in a slot; nil for an index out of range or an empty slot.
    T* GetByIndex(int32_t index)
    {
        if (IsEmptySlot(index)) return nullptr;
        return &static_cast<tnode*>(Node(slots_[size_t(index)]))->data;
    }
    const T* GetByIndex(int32_t index) const { return const_cast<Tlistmem*>(this)->GetByIndex(index); }

    // Stores a record under a name: into the slot on top of the free stack,
    // or a new slot at the end. Returns the stored record.
    T* Add(std::string_view name, T data)
    {
        const uint32_t id = NewNode();
        tnode* node = new (Node(id)) tnode(std::move(data));
        Place(name, id);
        return &node->data;
    }

    // The same for a record that `make` fills where it is stored (from a
    // default-initialised one), so that a large record is never copied.
    template <class FMake>
    T* AddMade(std::string_view name, FMake&& make)
    {
        const uint32_t id = NewNode();
        tnode* node = new (Node(id)) tnode;
        make(node->data);
        Place(name, id);
        return &node->data;
    }

    // Frees the record in a slot and empties the slot; nothing for an empty
    // slot or an index out of range.
    void Delete(int32_t index)
    {
        if (IsEmptySlot(index)) return;
        const uint32_t id = Vacate(index);
        static_cast<tnode*>(Node(id))->~tnode();
        FreeNode(id);
    }

    // Frees every record and removes all slots.
    void FreeAll()
    {
        if constexpr (!std::is_trivially_destructible_v<T>) {
            for (uint32_t id : slots_)
                if (id != kEmpty) static_cast<tnode*>(Node(id))->~tnode();
        }
        ClearSlots();
    }

    // Removes the empty slots; the entries keep their order.
    void Pack() { PackSlots(); }
};
