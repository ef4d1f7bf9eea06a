// A list of named records that can be sorted by name and searched by
// binary search, with fixed-width decimal keys so that text order is
// numeric order.
//
// Emptied slots stay in the list: their indexes go on a free-slot stack and
// the next additions reuse them. Sorting moves every empty slot to the
// front, and the searches start behind them.
//
// Names compare ordinally (bytes as unsigned values; a prefix comes before
// the longer names it starts). Each slot keeps the first 24 bytes of its
// name packed into three integers beside the record pointer, so sorting and
// searching rarely look at the record itself; records live in blocks owned
// by the list, so adding one seldom allocates. A sort orders only what was
// added since the previous one and merges it into the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// The decimal form of n right-aligned in `width` characters, padded on the
// left with spaces; a longer number is not cut.
std::string IntToStrWidth(int32_t n, int32_t width);
// The same into `out`, which must hold max(width, 11) characters; returns
// the number of characters written.
size_t IntToStrWidthTo(char* out, int32_t n, int32_t width);

namespace listmem {

constexpr size_t kPrefix = 24;  // name bytes kept in the slot

// The part of a name beyond the slot's 24 bytes is kept with the record.
struct TNodeHead {
    char* tail = nullptr;  // nil when the name fits the slot
};

struct TSlot {
    uint64_t key[3];   // the first 24 name bytes, big-endian, zero-padded
    uint32_t length;   // the name's length
    TNodeHead* node;   // nil: an empty slot
};

// A name prepared for comparison with slots.
struct TKey {
    uint64_t key[3];
    uint32_t length;
    const char* tail;  // bytes from 24 on
};
TKey MakeKey(std::string_view name);

// <0, 0, >0: the key against a non-empty slot.
int Compare(const TKey& k, const TSlot& s);
bool Equal(const TKey& k, const TSlot& s);
std::string NameOf(const TSlot& s);

// The untyped part of the list: slots, free stack, sort and searches.
class TCore {
public:
    int32_t Count() const { return static_cast<int32_t>(slots_.size()); }
    int32_t FreeCount() const { return static_cast<int32_t>(free_.size()); }
    int32_t Capacity() const { return static_cast<int32_t>(slots_.capacity()); }
    bool IsEmptySlot(int32_t index) const
    {
        return index < 0 || index >= Count() || slots_[size_t(index)].node == nullptr;
    }
    std::string Name(int32_t index) const
    {
        return IsEmptySlot(index) ? std::string() : NameOf(slots_[size_t(index)]);
    }

    void Sort();
    // A hint that the record in a slot is read soon (walks over sorted lists).
    void Prefetch(int32_t index) const
    {
        if (index >= 0 && index < Count() && slots_[size_t(index)].node) {
            const char* p = reinterpret_cast<const char*>(slots_[size_t(index)].node);
            __builtin_prefetch(p);
            __builtin_prefetch(p + 64);
        }
    }
    int32_t IndexOf(std::string_view name) const;
    int32_t Locate(std::string_view name) const;

    // When set, every Add and Delete sorts the list again.
    bool KeepSorted = false;

protected:
    TCore();
    // Puts a node under a name into a reused or a new slot (and sorts when keep-sorted).
    void Place(std::string_view name, TNodeHead* node);
    // Empties a slot, pushing it on the free stack; returns the node it held.
    TNodeHead* Vacate(int32_t index);
    void ClearSlots();
    void PackSlots();

    std::vector<TSlot> slots_;
    std::vector<int32_t> free_;  // the top is the last element

private:
    // Slots filled since the last sort; the other entries are still in the
    // order that sort left them in (deletions only empty slots), so a sort
    // orders the new entries and merges them in.
    std::vector<int32_t> added_;
    bool restSorted_ = true;
    // Work space of the sort, kept between sorts.
    std::vector<TSlot> fresh_;
    std::vector<uint8_t> isFresh_;
    // The sorted order of fresh_ when packed: name bits above the index.
    std::vector<uint64_t> order_, orderTmp_;
    std::vector<uint32_t> counts_;
    int orderIndexBits_ = 0;
    // Orders fresh_ (through order_ when it packs the names into 64-bit keys).
    void SortFresh();
};

}  // namespace listmem

template <class T>
class Tlistmem : public listmem::TCore {
    // One entry: its record, and the part of its name that the slot does not
    // keep. Entries live in blocks owned by the list and freed ones are
    // handed out again, so adding an entry seldom allocates.
    struct tnode : listmem::TNodeHead {
        explicit tnode(T&& d) : data(std::move(d)) {}
        T data;
    };

public:
    Tlistmem() = default;
    ~Tlistmem()
    {
        FreeAll();
        for (void* block : blocks_) ::operator delete(block, std::align_val_t(alignof(tnode)));
    }
    Tlistmem(const Tlistmem&) = delete;
    Tlistmem& operator=(const Tlistmem&) = delete;

    // The record of the first entry IndexOf finds; nil when none.
    T* GetByName(std::string_view name) { return GetByIndex(IndexOf(name)); }
    // The record in a slot; nil for an index out of range or an empty slot.
    T* GetByIndex(int32_t index)
    {
        if (IsEmptySlot(index)) return nullptr;
        return &static_cast<tnode*>(slots_[size_t(index)].node)->data;
    }
    const T* GetByIndex(int32_t index) const { return const_cast<Tlistmem*>(this)->GetByIndex(index); }

    // Stores a record under a name: into the slot on top of the free stack,
    // or a new slot at the end. Returns the stored record.
    T* Add(std::string_view name, T data)
    {
        tnode* node = NewNode(std::move(data));
        Place(name, node);
        return &node->data;
    }

    // Frees the record in a slot and empties the slot; nothing for an empty
    // slot or an index out of range.
    void Delete(int32_t index)
    {
        if (IsEmptySlot(index)) return;
        FreeNode(static_cast<tnode*>(Vacate(index)));
    }

    // Frees every record and removes all slots.
    void FreeAll()
    {
        if constexpr (!std::is_trivially_destructible_v<T>) {
            for (auto& s : slots_)
                if (s.node) static_cast<tnode*>(s.node)->data.~T();
        }
        for (auto& s : slots_)
            if (s.node && s.length > listmem::kPrefix) delete[] s.node->tail;
        ClearSlots();
        // Every record is gone: the blocks are handed out again from the start.
        freeNodes_ = nullptr;
        nextBlock_ = 0;
        used_ = 0;
    }

    // Removes the empty slots; the entries keep their order.
    void Pack() { PackSlots(); }

private:
    static constexpr size_t kBlockNodes = 4096;

    tnode* NewNode(T&& data)
    {
        void* at;
        if (freeNodes_) {
            at = freeNodes_;
            freeNodes_ = *static_cast<void**>(at);
        } else {
            if (nextBlock_ < blocks_.size() && used_ == kBlockNodes) {
                ++nextBlock_;
                used_ = 0;
            }
            if (nextBlock_ == blocks_.size()) {
                blocks_.push_back(::operator new(sizeof(tnode) * kBlockNodes, std::align_val_t(alignof(tnode))));
                used_ = 0;
            }
            at = static_cast<tnode*>(blocks_[nextBlock_]) + used_++;
        }
        return new (at) tnode(std::move(data));
    }

    void FreeNode(tnode* node)
    {
        delete[] node->tail;
        node->~tnode();
        static_assert(sizeof(tnode) >= sizeof(void*));
        *reinterpret_cast<void**>(node) = freeNodes_;
        freeNodes_ = node;
    }

    std::vector<void*> blocks_;
    size_t nextBlock_ = 0;  // block handing out fresh nodes
    size_t used_ = 0;       // nodes handed out from that block
    void* freeNodes_ = nullptr;
};
