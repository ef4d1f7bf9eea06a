// Whole-block zlib compression: a memory block becomes one new zlib stream
// and back, with the output block grown as needed.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <utility>

class EZlibError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class ECompressionError : public EZlibError {
public:
    using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
public:
    using EZlibError::EZlibError;
};

// A block of bytes from the program's memory manager; the holder releases it.
class TMemBlock {
public:
    TMemBlock() = default;
    ~TMemBlock() { std::free(data_); }
    TMemBlock(TMemBlock&& o) noexcept
        : data_(std::exchange(o.data_, nullptr)),
          length_(std::exchange(o.length_, 0)),
          resizes_(std::exchange(o.resizes_, 0))
    {
    }
    TMemBlock& operator=(TMemBlock&& o) noexcept
    {
        if (this != &o) {
            std::free(data_);
            data_ = std::exchange(o.data_, nullptr);
            length_ = std::exchange(o.length_, 0);
            resizes_ = std::exchange(o.resizes_, 0);
        }
        return *this;
    }
    TMemBlock(const TMemBlock&) = delete;
    TMemBlock& operator=(const TMemBlock&) = delete;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    int32_t length() const { return length_; }
    // Reallocates to n bytes (content kept up to n); throws std::bad_alloc.
    void resize(int32_t n);
    void reset();
    // Hands the block over; the caller must free() it.
    uint8_t* release()
    {
        length_ = 0;
        resizes_ = 0;
        return std::exchange(data_, nullptr);
    }
    // Times the block was resized since it was last empty: how often a
    // block that grows with its content had to move.
    int32_t resizes() const { return resizes_; }

private:
    uint8_t* data_ = nullptr;
    int32_t length_ = 0;
    int32_t resizes_ = 0;
};

// The most content a zlib stream of n bytes can hold: deflate codes a match
// of 258 bytes in as little as two bits, about 1032 bytes of content to a
// byte of stream, and the stream's head and end add a little.
int64_t MostInflated(int64_t streamBytes);

// One zlib stream inflated piece by piece: its bytes are given as they are
// read and its content taken as it is needed. The project reader and the
// buffered file layer (and through it the level reader) both inflate
// through it, so that all keep the same rules: damage (a bad code,
// a dictionary asked for, a checksum that does not match, a stream that ends
// early) stops the stream for good, and bytes after its end are not read.
// The work of inflating is charged to the current load's meter, and the
// content made is granted to it as output.
class TInflater {
public:
    TInflater();  // raises std::bad_alloc
    ~TInflater();
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    // The next n bytes of the stream, once those given before are used up.
    void Give(const void* data, size_t n);
    // Whether the bytes given are used up.
    bool Hungry() const;
    // Inflates up to n bytes of content into dst and returns how many were
    // made. Stops at the stream's end, at damage, or when the bytes given
    // are used up; with `last` set no more will be given, so a stream that
    // needs more is damaged.
    size_t Take(void* dst, size_t n, bool last);
    bool Ended() const { return ended_; }
    bool Damaged() const { return damaged_; }

private:
    struct TState;
    TState* z_;
    bool ended_ = false;
    bool damaged_ = false;
};

// Compresses n bytes into a new zlib stream at level 9. Raises
// ECompressionError("error") on any zlib error.
void CompressBuf(const void* input, int32_t n, TMemBlock& output);

// Inflates a zlib stream of n bytes, starting with `estimate` bytes of output
// (or one growth step when 0). Returns false on damaged data; the output then
// holds what was inflated, padded to the block's current length.
// `limit` bounds the output (a stream that would inflate further counts as damaged).
// The output grows geometrically as the stream produces it (by at least one
// step of the input's size rounded up to 256 bytes), so a large output costs
// few moves of what was inflated before.
bool DecompressBuf(const void* input, int32_t n, int32_t estimate, TMemBlock& output, int32_t limit = INT32_MAX);

// Inflates a zlib stream of n bytes whose sizes claim `claimed` bytes of
// content, as DecompressBuf does. The content may pass neither `most` bytes
// nor what deflate can make of n bytes (about 1032:1): a stream that would
// is damaged. The claim is not trusted: the block starts at it but at no
// more than a few times the stream, and grows with the content. Content
// that would pass `memory` bytes (what the caller can still hold) raises
// std::bad_alloc instead. Returns false on damaged data.
bool DecompressBounded(const void* input, int32_t n, int64_t claimed, TMemBlock& output, int64_t most, int64_t memory);
