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

std::vector<uint8_t> ZlibContainerFile(const std::vector<uint8_t>& content)
{
    const std::vector<uint8_t> stream = ZlibCompress(content, 9);
    std::vector<uint8_t> file = {'Z', 'L', 'I', 'B'};
    for (const size_t n : {stream.size(), content.size()})
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(n >> (8 * i)));
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}
