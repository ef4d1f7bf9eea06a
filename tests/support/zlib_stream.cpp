#include "support/zlib_stream.h"

#include <zlib.h>

#include <stdexcept>

std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& data, int level)
{
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> out(length);
    if (compress2(out.data(), &length, data.data(), static_cast<uLong>(data.size()), level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(length);
    return out;
}
