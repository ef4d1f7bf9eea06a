// Zlib streams made with zlib itself, for the suites and fixtures that need
// compressed data that our own code did not write.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

// The bytes as one zlib stream at the compression level (0 to 9).
std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& data, int level);

// The bytes as one zlib stream (level 6) whose compressed blocks lie behind
// `empty` empty stored blocks, five bytes each, byte-aligned after the
// stream's header: data that decodes to nothing, as much of it as wanted.
std::vector<uint8_t> DeflateAfterEmptyBlocks(const std::vector<uint8_t>& data, size_t empty);

// A "ZLIB" container of the content as the buffered file layer stores one:
// "ZLIB", the stream's size, the content's size, then the stream (level 9).
std::vector<uint8_t> ZlibContainer(const std::vector<uint8_t>& content);

// One zlib stream written piece by piece, so that gigabytes of zeros never
// have to be held to be compressed.
class TDeflater {
public:
    explicit TDeflater(int level = 9);
    ~TDeflater();
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    TDeflater& Add(const std::vector<uint8_t>& data);
    // n zero bytes, a megabyte at a time.
    TDeflater& Zeros(uint64_t n);
    // The whole stream.
    std::vector<uint8_t> Finish();

private:
    TDeflater& Run(const uint8_t* data, size_t n, int flush);

    z_stream z_{};
    std::vector<uint8_t> out_;
};
