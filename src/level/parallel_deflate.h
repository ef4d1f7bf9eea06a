// One zlib stream (level 9) deflated on several threads at once.
//
// The content is cut into blocks as it arrives. Each block is deflated on
// its own, with the 32 KiB of content before it as the dictionary, and ends
// on a byte boundary (a sync flush; the last block finishes the stream). The
// blocks are joined in order behind one zlib header and followed by the
// Adler-32 of the whole content, so any inflater reads the result as one
// ordinary stream. Matches cannot reach across more than the dictionary,
// which costs a little of the compression ratio: the larger the block, the
// less.
//
// The output depends on the content and the block size only, never on the
// number of threads. Content that fits one block gives exactly the stream
// that a plain deflate at level 9 gives.
//
// Memory: one block of content (and its compressed form) per thread, plus
// the compressed blocks that wait for an earlier one to finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class TParallelDeflate {
public:
    // Receives the compressed stream piece by piece, in order, on the thread
    // that calls Write and Finish.
    using TSink = std::function<void(const uint8_t* data, size_t n)>;

    static constexpr size_t DEFAULT_BLOCK_SIZE = size_t(1) << 20;
    static constexpr size_t DICTIONARY_SIZE = size_t(32) << 10;

    // `threads` 0: one per core this process may run on.
    explicit TParallelDeflate(TSink sink, int threads = 0, size_t blockSize = DEFAULT_BLOCK_SIZE);
    // Stops the threads; whatever was not finished is dropped.
    ~TParallelDeflate();
    TParallelDeflate(const TParallelDeflate&) = delete;
    TParallelDeflate& operator=(const TParallelDeflate&) = delete;

    // Adds content. Errors of the sink pass on; a compression error raises
    // ECompressionError("error"). After an error the object can only be destroyed.
    void Write(const void* data, size_t n);
    // Deflates what is left, ends the stream and hands it all to the sink.
    void Finish();

    uint64_t TotalIn() const;
    uint64_t TotalOut() const;

    // The cores this process may run on (at least 1).
    static int CoreCount();

private:
    struct TState;
    std::unique_ptr<TState> state_;
};
