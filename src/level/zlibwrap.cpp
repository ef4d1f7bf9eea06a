#include "level/zlibwrap.h"

#include <zlib.h>

#include <algorithm>
#include <new>

void TMemBlock::resize(int32_t n)
{
    if (n < 0) throw std::bad_alloc();
    void* p = std::realloc(data_, n > 0 ? static_cast<size_t>(n) : 1);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<uint8_t*>(p);
    length_ = n;
    ++resizes_;
}

void TMemBlock::reset()
{
    std::free(data_);
    data_ = nullptr;
    length_ = 0;
    resizes_ = 0;
}

namespace {

voidpf ZAlloc(voidpf, uInt items, uInt size) { return std::malloc(static_cast<size_t>(items) * size); }
void ZFree(voidpf, voidpf address) { std::free(address); }

void InitStream(z_stream& z)
{
    z = z_stream{};
    z.zalloc = ZAlloc;
    z.zfree = ZFree;
}

// Points the stream at the whole input and at the output block.
void Attach(z_stream& z, const void* input, int32_t n, TMemBlock& output)
{
    z.next_in = static_cast<Bytef*>(const_cast<void*>(input));
    z.avail_in = static_cast<uInt>(n);
    z.next_out = output.data();
    z.avail_out = static_cast<uInt>(output.length());
}

// Resizes the output block, keeping what the stream wrote, and points the
// stream after it.
void GrowOutput(z_stream& z, TMemBlock& output, int32_t length)
{
    const int32_t used = static_cast<int32_t>(z.total_out);
    output.resize(length);
    z.next_out = output.data() + used;
    z.avail_out = static_cast<uInt>(output.length() - used);
}

}  // namespace

void CompressBuf(const void* input, int32_t n, TMemBlock& output)
{
    output.reset();
    int64_t start = ((static_cast<int64_t>(n) + n / 10 + 12) + 255) / 256 * 256;
    z_stream z;
    InitStream(z);
    try {
        output.resize(static_cast<int32_t>(std::min<int64_t>(start, INT32_MAX)));
        if (deflateInit(&z, 9) < 0) throw ECompressionError("error");
        Attach(z, input, n, output);
        for (;;) {
            const int r = deflate(&z, Z_FINISH);
            if (r == Z_STREAM_END) break;
            // Z_BUF_ERROR only says no progress was possible with the room left; grow and go on.
            if (r < 0 && r != Z_BUF_ERROR) throw ECompressionError("error");
            if (z.avail_out == 0 || r == Z_BUF_ERROR) {
                if (output.length() > INT32_MAX - 256) throw ECompressionError("error");
                GrowOutput(z, output, output.length() + 256);
            }
        }
        const int32_t produced = static_cast<int32_t>(z.total_out);
        deflateEnd(&z);
        output.resize(produced);
    } catch (...) {
        deflateEnd(&z);
        output.reset();
        throw;
    }
}

bool DecompressBuf(const void* input, int32_t n, int32_t estimate, TMemBlock& output, int32_t limit)
{
    output.reset();
    const int32_t step = std::max<int32_t>(256, static_cast<int32_t>((static_cast<int64_t>(n) + 255) / 256 * 256));
    int32_t length = estimate > 0 ? estimate : step;
    if (length > limit) length = std::max<int32_t>(limit, 1);
    z_stream z;
    InitStream(z);
    try {
        output.resize(length);
        if (inflateInit(&z) < 0) throw EDecompressionError("error");
        Attach(z, input, n, output);
        for (;;) {
            const int r = inflate(&z, Z_FINISH);
            if (r == Z_STREAM_END) break;
            if (r == Z_NEED_DICT || (r < 0 && r != Z_BUF_ERROR)) throw EDecompressionError("error");
            // Z_BUF_ERROR with output room left means the input ended early.
            if (z.avail_out != 0) throw EDecompressionError("error");
            if (output.length() >= limit) throw EDecompressionError("error");
            // Doubling keeps the copying linear in the output; growing by a
            // fixed step would copy about n * n / step bytes for n produced.
            const int64_t now = output.length();
            GrowOutput(z, output, static_cast<int32_t>(std::min<int64_t>(std::max(now + step, now * 2), limit)));
        }
        const int32_t produced = static_cast<int32_t>(z.total_out);
        inflateEnd(&z);
        output.resize(produced);
        return true;
    } catch (const EDecompressionError&) {
        inflateEnd(&z);
        return false;
    } catch (const std::bad_alloc&) {
        inflateEnd(&z);
        return false;
    }
}

bool DecompressBounded(const void* input, int32_t n, int64_t claimed, TMemBlock& output, int64_t most, int64_t memory)
{
    const int64_t bound = std::min({most, int64_t(n) * 1032 + 1024, int64_t(INT32_MAX)});
    const int32_t limit = static_cast<int32_t>(std::clamp<int64_t>(memory, 0, bound));
    const int32_t estimate = static_cast<int32_t>(std::min<int64_t>({claimed, limit, int64_t(n) * 4 + 65536}));
    if (DecompressBuf(input, n, estimate, output, limit)) return true;
    // Stopped by the memory left rather than by damage.
    if (limit < bound && output.length() >= limit) throw std::bad_alloc();
    return false;
}
