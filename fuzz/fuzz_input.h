// Reads the bytes of a fuzz input as small numbers and records, one after the
// other; past the end every number is 0 and records keep what they held.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

class TInput {
public:
    TInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    int8_t Signed() { return int8_t(Byte()); }
    // Two bytes, least significant first.
    uint16_t Word() { return uint16_t(Byte() | Byte() << 8); }
    int16_t SignedWord() { return int16_t(Word()); }
    int32_t Long() { return int32_t(uint32_t(Word()) | uint32_t(Word()) << 16); }
    // Copies up to n bytes into a record, leaving the rest as it is.
    void Fill(void* out, size_t n)
    {
        const size_t k = std::min(n, size_ - at_);
        if (k) std::memcpy(out, data_ + at_, k);
        at_ += k;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};
