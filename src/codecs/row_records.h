// The run-length records that the rows of SGI and RLA pictures name through
// their tables of offsets.
//
// Writers that store each distinct row once let any number of rows, of any
// channel, name one record; records may also overlap. A record is known by a
// key that decides its samples (where it starts, and for SGI the bytes it can
// give). The uses a load makes of the records are listed in their order, and
// a record that a later use names again keeps its samples until then, so
// that it is read and decoded once whatever the pattern of sharing. The kept
// samples take at most the memory given; a record that does not fit is read
// and decoded again when it is named again, and that work counts again.
//
// The uses are matched through a sorted list, never a hash of the file's
// values, so that no choice of offsets makes the matching slow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The work of decoding a byte of run-length data: rows of packets of one or
// two samples cost a few units a byte, several times what reading them
// costs.
constexpr uint64_t PackedByteWork = 4;

// The work of sorting `count` entries of a table: about log2(count)
// comparisons and moves of each.
uint64_t SortingWork(size_t count);

class TRowRecords {
public:
    // keys: the key of each use, in the order of use. recordBytes: the bytes
    // of one record's samples (not zero). memory: the most bytes the kept
    // samples may take together.
    TRowRecords(const std::vector<uint64_t>& keys, size_t recordBytes, uint64_t memory);

    // The samples of use `use` (uses come in their order): those kept from an
    // earlier use of its record, or those that decode(target) writes into
    // recordBytes bytes at target, which is `scratch` when they are not to
    // be kept. They stay as they are until the next EndRow.
    template <class FDecode>
    const uint8_t* Samples(size_t use, uint8_t* scratch, FDecode&& decode)
    {
        int32_t slot = kept_[use];
        if (slot == kNoSlot) {
            slot = next_[use] != kNoUse ? Allocate() : kNoSlot;
            uint8_t* target = slot == kNoSlot ? scratch : slots_[size_t(slot)].get();
            decode(target);
            if (slot == kNoSlot) return scratch;
        }
        Pass(use, slot);
        return slots_[size_t(slot)].get();
    }

    // The samples handed out so far have been used (their rows are
    // converted): the memory of those that no later use names may take others.
    void Release();

    // Whether a later use names the record of `use` (for tests).
    bool NamedAgain(size_t use) const { return next_[use] != kNoUse; }

private:
    static constexpr uint32_t kNoUse = UINT32_MAX;
    static constexpr int32_t kNoSlot = -1;

    // A free slot, or kNoSlot when the memory is taken.
    int32_t Allocate();
    // Hands the slot on to the next use of the record, or frees it at the next EndRow.
    void Pass(size_t use, int32_t slot);

    size_t recordBytes_;
    size_t maxSlots_;
    std::vector<uint32_t> next_;  // the next use of the same record, or kNoUse
    std::vector<int32_t> kept_;   // the slot that holds the samples of a use, or kNoSlot
    std::vector<std::unique_ptr<uint8_t[]>> slots_;
    std::vector<int32_t> free_;      // slots no use needs any more
    std::vector<int32_t> released_;  // slots freed once the row is converted
};
