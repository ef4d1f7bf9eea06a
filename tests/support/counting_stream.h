// A memory stream that counts the bytes read from it and notes the largest
// read, to tell what a reader takes from a file and in what pieces.
#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/rtl/classes.h"

class TCountingStream : public TMemoryStream {
public:
    using TMemoryStream::TMemoryStream;
    int64_t Read(void* buffer, int64_t count) override
    {
        const int64_t n = TMemoryStream::Read(buffer, count);
        BytesRead += n;
        LargestRead = std::max(LargestRead, n);
        return n;
    }
    int64_t BytesRead = 0;
    int64_t LargestRead = 0;
};
