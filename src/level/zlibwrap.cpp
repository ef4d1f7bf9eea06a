#include "level/zlibwrap.h"

#include <zlib.h>

#include <algorithm>
#include <new>

#include "platform/rtl/work_meter.h"

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

int64_t MostInflated(int64_t streamBytes) { return std::max<int64_t>(streamBytes, 0) * 1032 + 1024; }

struct TInflater::TState {
    z_stream z;
};

TInflater::TInflater() : z_(new TState)
{
    InitStream(z_->z);
    if (inflateInit(&z_->z) != Z_OK) {
        delete z_;
        throw std::bad_alloc();
    }
}

TInflater::~TInflater()
{
    inflateEnd(&z_->z);
    delete z_;
}

void TInflater::Give(const void* data, size_t n)
{
    z_->z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z_->z.avail_in = static_cast<uInt>(std::min<size_t>(n, UINT32_MAX));
}

bool TInflater::Hungry() const { return z_->z.avail_in == 0; }

size_t TInflater::Take(void* dst, size_t n, bool last)
{
    if (ended_ || damaged_ || n == 0) return 0;
    z_stream& z = z_->z;
    z.next_out = static_cast<Bytef*>(dst);
    z.avail_out = static_cast<uInt>(std::min<size_t>(n, size_t(1) << 30));
    const uInt wanted = z.avail_out;
    const uInt given = z.avail_in;
    while (z.avail_out > 0) {
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
            ended_ = true;
            break;
        }
        if (r == Z_OK) continue;
        // No progress: the bytes given are used up, which ends the stream
        // early when no more will come. Any other result is damage.
        if (r == Z_BUF_ERROR && z.avail_in == 0 && !last) break;
        damaged_ = true;
        break;
    }
    const size_t made = wanted - z.avail_out;
    ChargeWork(made + (given - z.avail_in));
    GrantOutputWork(made);
    return made;
}

bool DecompressBuf(const void* input, int32_t n, int32_t estimate, TMemBlock& output, int32_t limit)
{
    output.reset();
    const int32_t step = std::max<int32_t>(256, static_cast<int32_t>((static_cast<int64_t>(n) + 255) / 256 * 256));
    int32_t length = estimate > 0 ? estimate : step;
    if (length > limit) length = std::max<int32_t>(limit, 1);
    try {
        TInflater inflater;
        inflater.Give(input, static_cast<size_t>(std::max<int32_t>(n, 0)));
        output.resize(length);
        int32_t produced = 0;
        for (;;) {
            produced += static_cast<int32_t>(
                inflater.Take(output.data() + produced, static_cast<size_t>(output.length() - produced), true));
            if (inflater.Ended()) break;
            if (inflater.Damaged() || output.length() >= limit) return false;
            // Doubling keeps the copying linear in the output; growing by a
            // fixed step would copy about n * n / step bytes for n produced.
            const int64_t now = output.length();
            output.resize(static_cast<int32_t>(std::min<int64_t>(std::max(now + step, now * 2), limit)));
        }
        output.resize(produced);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool DecompressBounded(const void* input, int32_t n, int64_t claimed, TMemBlock& output, int64_t most, int64_t memory)
{
    const int64_t bound = std::min({most, MostInflated(n), int64_t(INT32_MAX)});
    const int32_t limit = static_cast<int32_t>(std::clamp<int64_t>(memory, 0, bound));
    const int32_t estimate = static_cast<int32_t>(std::min<int64_t>({claimed, limit, int64_t(n) * 4 + 65536}));
    if (DecompressBuf(input, n, estimate, output, limit)) return true;
    // Stopped by the memory left rather than by damage.
    if (limit < bound && output.length() >= limit) throw std::bad_alloc();
    return false;
}
