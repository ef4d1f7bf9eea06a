#include "support/zlib_stream.h"

#include <zlib.h>

#include <algorithm>
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

std::vector<uint8_t> DeflateAfterEmptyBlocks(const std::vector<uint8_t>& data, size_t empty)
{
    const std::vector<uint8_t> whole = ZlibCompress(data, 6);
    std::vector<uint8_t> out(whole.begin(), whole.begin() + 2);
    for (size_t i = 0; i < empty; ++i) out.insert(out.end(), {0x00, 0x00, 0x00, 0xFF, 0xFF});
    out.insert(out.end(), whole.begin() + 2, whole.end());
    return out;
}

std::vector<uint8_t> ZlibContainer(const std::vector<uint8_t>& content)
{
    const std::vector<uint8_t> stream = ZlibCompress(content, 9);
    std::vector<uint8_t> file = {'Z', 'L', 'I', 'B'};
    for (const size_t n : {stream.size(), content.size()})
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(n >> (8 * i)));
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

TDeflater::TDeflater(int level)
{
    if (deflateInit(&z_, level) != Z_OK) throw std::runtime_error("deflateInit failed");
}

TDeflater::~TDeflater() { deflateEnd(&z_); }

TDeflater& TDeflater::Add(const std::vector<uint8_t>& data) { return Run(data.data(), data.size(), Z_NO_FLUSH); }

TDeflater& TDeflater::Zeros(uint64_t n)
{
    static const std::vector<uint8_t> zeros(1 << 20, 0);
    for (; n > 0; n -= std::min<uint64_t>(n, zeros.size()))
        Run(zeros.data(), static_cast<size_t>(std::min<uint64_t>(n, zeros.size())), Z_NO_FLUSH);
    return *this;
}

std::vector<uint8_t> TDeflater::Finish()
{
    Run(nullptr, 0, Z_FINISH);
    return std::move(out_);
}

TDeflater& TDeflater::Run(const uint8_t* data, size_t n, int flush)
{
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = static_cast<uInt>(n);
    uint8_t buffer[1 << 16];
    int r;
    do {
        z_.next_out = buffer;
        z_.avail_out = sizeof buffer;
        r = deflate(&z_, flush);
        if (r == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
        out_.insert(out_.end(), buffer, buffer + (sizeof buffer - z_.avail_out));
    } while (z_.avail_out == 0 || (flush == Z_FINISH && r != Z_STREAM_END));
    return *this;
}
