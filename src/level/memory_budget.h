// What a reader may still allocate for the record it builds from a file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>

// Counts each block a reader is about to allocate against what the record
// may take in all: counts and compressed sizes in a file can claim
// anything, so a file that needs more is out of memory (std::bad_alloc)
// before any of the excess is allocated.
class TMemoryBudget {
public:
    // limit: the bytes the record may take in all; a negative limit grants none.
    explicit TMemoryBudget(int64_t limit) : limit_(static_cast<uint64_t>(std::max<int64_t>(limit, 0))) {}

    void Spend(uint64_t bytes)
    {
        spent_ += bytes;
        if (spent_ > limit_) throw std::bad_alloc();
    }

    // The bytes that may still be allocated.
    uint64_t Unspent() const { return spent_ < limit_ ? limit_ - spent_ : 0; }

private:
    uint64_t limit_;
    uint64_t spent_ = 0;
};
