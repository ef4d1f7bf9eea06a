#include "codecs/decoders.h"

#include <algorithm>
#include <cstring>

void CompressionError(const std::string& message) { throw ECodecCompression(message); }

namespace {

// Writes count copies of a pixel of size bytes, doubling the filled part.
inline void FillPixels(uint8_t* dst, const uint8_t* pixel, int size, int32_t count)
{
    if (count <= 0) return;
    if (size == 1) {
        std::memset(dst, pixel[0], static_cast<size_t>(count));
        return;
    }
    std::memcpy(dst, pixel, static_cast<size_t>(size));
    size_t done = static_cast<size_t>(size);
    const size_t total = static_cast<size_t>(count) * static_cast<size_t>(size);
    while (done < total) {
        const size_t n = std::min(done, total - done);
        std::memcpy(dst + done, dst, n);
        done += n;
    }
}

// Steps of the byte-oriented run-length decoders; the callers keep count
// of the input.

// A run: count copies of the byte at src (which must be there), as many as
// the output holds; src moves past the byte.
template <class TSource>
inline void RepeatByte(TSource*& src, uint8_t*& dst, int32_t count, int32_t& outLeft)
{
    const int32_t k = std::min(count, outLeft);
    std::memset(dst, *src++, static_cast<size_t>(k));
    dst += k;
    outLeft -= k;
}

// Literal bytes: as many of the next take bytes as the output holds; src
// moves past all take of them.
template <class TSource>
inline void CopyLiteral(TSource*& src, uint8_t*& dst, int32_t take, int32_t& outLeft)
{
    const int32_t k = std::min(take, outLeft);
    std::memcpy(dst, src, static_cast<size_t>(k));
    src += take;
    dst += k;
    outLeft -= k;
}

// Short packets are stored without a library call, which would cost more
// than their bytes when a row is made of nothing else: up to 16 bytes as two
// fixed-size moves that overlap in the middle, never past the count.
inline void CopyBytes(uint8_t* dst, const uint8_t* src, int32_t count)
{
    auto two = [&](auto word) {
        constexpr int32_t size = sizeof word;
        std::memcpy(&word, src, size);
        std::memcpy(dst, &word, size);
        std::memcpy(&word, src + count - size, size);
        std::memcpy(dst + count - size, &word, size);
    };
    if (count >= 8 && count <= 16) two(uint64_t{});
    else if (count >= 4 && count < 8) two(uint32_t{});
    else if (count >= 2 && count < 4) two(uint16_t{});
    else if (count == 1) *dst = *src;
    else if (count > 16) std::memcpy(dst, src, static_cast<size_t>(count));
}
inline void FillBytes(uint8_t* dst, uint8_t value, int32_t count)
{
    const uint64_t word = uint64_t{0x0101010101010101} * value;
    auto two = [&](auto part) {
        constexpr int32_t size = sizeof part;
        part = static_cast<decltype(part)>(word);
        std::memcpy(dst, &part, size);
        std::memcpy(dst + count - size, &part, size);
    };
    if (count >= 8 && count <= 16) two(uint64_t{});
    else if (count >= 4 && count < 8) two(uint32_t{});
    else if (count >= 2 && count < 4) two(uint16_t{});
    else if (count == 1) *dst = value;
    else if (count > 16) std::memset(dst, value, static_cast<size_t>(count));
}

// Passes over PackBits no-op bytes (-128) a word at a time while eight of
// them follow one another: a writer may put any number of them into its
// data, and one at a time they would cost far more than the bytes they are.
inline void SkipNoOpWords(uint8_t*& src, int32_t& inLeft)
{
    constexpr uint64_t noOps = 0x8080808080808080;
    uint64_t word;
    for (; inLeft >= 8; src += 8, inLeft -= 8) {
        std::memcpy(&word, src, 8);
        if (word != noOps) break;
    }
}

// Whether the 16 bytes at p are eight RLA packets of one byte each: every
// even byte a header of 0 (a run of one) or 0xFF (a literal of one).
inline bool EightSingleBytePackets(const uint8_t* p)
{
    uint64_t a, b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    constexpr uint64_t headers = 0x00FF00FF00FF00FF, ones = 0x0001000100010001, rest = 0x00FE00FE00FE00FE;
    // A header of 0 or 0xFF plus one leaves no bit of 0xFE in its lane.
    return (((a & headers) + ones) & rest) == 0 && (((b & headers) + ones) & rest) == 0;
}

// Whether the 16 bytes at p are eight 8-bit SGI packets of one sample each:
// every even byte a header whose count is 1 (0x01 a run, 0x81 a literal).
inline bool EightSingleSamplePackets(const uint8_t* p)
{
    uint64_t a, b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    constexpr uint64_t counts = 0x007F007F007F007F, ones = 0x0001000100010001;
    return (a & counts) == ones && (b & counts) == ones;
}

// Whether the 32 bytes at p are eight 16-bit SGI packets of one sample each:
// every packet two header bytes whose low one has the count 1 (0x01 a run,
// 0x81 a literal), then the sample.
inline bool EightSingleWidePackets(const uint8_t* p)
{
    constexpr uint64_t counts = 0x00007F0000007F00, ones = 0x0000010000000100;
    for (int i = 0; i < 4; ++i) {
        uint64_t word;
        std::memcpy(&word, p + 8 * i, 8);
        if ((word & counts) != ones) return false;
    }
    return true;
}

// Packets of a header and one output byte, taken eight at a time while
// Eight finds eight of them at src: their second bytes are the output. Rows
// made of nothing else cost two input bytes per pixel, so these go eight at
// a time; the caller decodes what is left one packet at a time.
template <bool (*Eight)(const uint8_t*)>
inline void TakeSinglePackets(const uint8_t*& src, uint8_t*& dst, int32_t& inLeft, int32_t& outLeft)
{
    while (inLeft >= 16 && outLeft >= 8 && Eight(src)) {
        for (int i = 0; i < 8; ++i) dst[i] = src[2 * i + 1];
        src += 16;
        dst += 8;
        inLeft -= 16;
        outLeft -= 8;
    }
}

// The same for 16-bit SGI packets of one sample: their last two bytes are the output.
inline void TakeSingleWidePackets(const uint8_t*& src, uint8_t*& dst, int32_t& inLeft, int32_t& outLeft)
{
    while (inLeft >= 32 && outLeft >= 16 && EightSingleWidePackets(src)) {
        for (int i = 0; i < 8; ++i) {
            dst[2 * i] = src[4 * i + 2];
            dst[2 * i + 1] = src[4 * i + 3];
        }
        src += 32;
        dst += 16;
        inLeft -= 32;
        outLeft -= 16;
    }
}

}  // namespace

int TargaPixelSize(int32_t depth)
{
    switch (depth) {
    case 8: return 1;
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
    }
}

// ---- Truevision ------------------------------------------------------------

TTargaRLEDecoder::TTargaRLEDecoder(int32_t ColorDepth) : colorDepth_(ColorDepth) {}

void TTargaRLEDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    const int p = TargaPixelSize(colorDepth_);
    if (p == 0) return;
    auto* src = static_cast<uint8_t*>(Source);
    const uint8_t* end = src + std::max<int32_t>(PackedSize, 0);
    auto* dst = static_cast<uint8_t*>(Dest);
    int32_t remaining = UnpackedSize;
    while (remaining > 0) {
        if (pendingCount_ == 0) {
            if (src >= end) break;
            const uint8_t n = *src;
            if (n & 0x80) {
                if (end - src < 1 + p) break;  // the run's pixel is not there
                std::memcpy(pendingPixel_, src + 1, static_cast<size_t>(p));
                src += 1 + p;
                pendingRun_ = true;
            } else {
                ++src;
                pendingRun_ = false;
            }
            pendingCount_ = (n & 0x7F) + 1;
        }
        int32_t k = std::min(pendingCount_, remaining);
        if (pendingRun_) {
            FillPixels(dst, pendingPixel_, p, k);
        } else {
            k = std::min<int32_t>(k, static_cast<int32_t>((end - src) / p));
            if (k == 0) break;
            std::memcpy(dst, src, static_cast<size_t>(k) * p);
            src += static_cast<size_t>(k) * p;
        }
        dst += static_cast<size_t>(k) * p;
        remaining -= k;
        pendingCount_ -= k;
    }
    Source = src;
}

uint32_t PixelValue(const uint8_t* Pixel, int Size)
{
    uint32_t v = 0;
    for (int k = 0; k < Size; ++k) v = (v << 8) | Pixel[k];
    return v;
}

int32_t LiteralRunLength(const uint8_t* Pixels, int32_t Count, int Size)
{
    if (Count == 1) return 1;
    int32_t d = 0;
    while (d < 128 && d + 1 < Count &&
           PixelValue(Pixels + size_t(d) * Size, Size) != PixelValue(Pixels + size_t(d + 1) * Size, Size))
        ++d;
    return d;
}

int32_t RepeatRunLength(const uint8_t* Pixels, int32_t Count, int Size)
{
    const uint32_t first = PixelValue(Pixels, Size);
    int32_t s = 1;
    while (s < 128 && s < Count && PixelValue(Pixels + size_t(s) * Size, Size) == first) ++s;
    return s;
}

void TTargaRLEDecoder::Encode(void* Source, void* Dest, int32_t Count, int32_t& BytesStored)
{
    const int p = (colorDepth_ + 1) / 8;
    BytesStored = 0;
    if (p <= 0 || p > 4 || Count <= 0) return;
    const auto* src = static_cast<const uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    int32_t i = 0;
    while (i < Count) {
        const uint8_t* pixel = src + size_t(i) * p;
        const int32_t d = LiteralRunLength(pixel, Count - i, p);
        const int32_t s = RepeatRunLength(pixel, Count - i, p);
        if (d > 0) {
            *dst++ = static_cast<uint8_t>(d - 1);
            std::memcpy(dst, src + size_t(i) * p, size_t(d) * p);
            dst += size_t(d) * p;
            BytesStored += d * p + 1;
            i += d;
        }
        if (s > 1) {
            *dst++ = static_cast<uint8_t>((s - 1) | 0x80);
            std::memcpy(dst, src + size_t(i) * p, p);  // every pixel of the run is the same
            dst += p;
            BytesStored += p + 1;
            i += s;
        }
    }
}

// ---- PackBits --------------------------------------------------------------

template <bool Write>
void TPackbitsRLEDecoder::Unpack(void*& Source, uint8_t* dst, int32_t PackedSize, int32_t UnpackedSize)
{
    auto* src = static_cast<uint8_t*>(Source);
    int32_t inLeft = std::max<int32_t>(PackedSize, 0), outLeft = UnpackedSize;
    // Whether input is there, once the stream's next bytes are asked for.
    auto input = [&] {
        uint8_t* next = nullptr;
        int32_t size = 0;
        if (inLeft > 0 || !more_ || !more_(next, size) || size <= 0) return inLeft > 0;
        src = next;
        inLeft = size;
        return true;
    };
    if (!carryOver_) pendingCount_ = 0;
    while (outLeft > 0) {
        if (pendingCount_ == 0) {
            if (!input()) break;
            const int n = static_cast<int8_t>(*src++);
            --inLeft;
            if (n == -128) {
                SkipNoOpWords(src, inLeft);
                continue;
            }
            if (n < 0) {
                if (!input()) break;  // the run's byte is not there
                pendingByte_ = *src++;
                --inLeft;
            }
            pendingRun_ = n < 0;
            pendingCount_ = n < 0 ? 1 - n : n + 1;
        }
        int32_t k = std::min(pendingCount_, outLeft);
        if (pendingRun_) {
            if constexpr (Write) std::memset(dst, pendingByte_, static_cast<size_t>(k));
        } else {
            if (!input()) break;
            k = std::min(k, inLeft);
            if constexpr (Write) std::memcpy(dst, src, static_cast<size_t>(k));
            src += k;
            inLeft -= k;
        }
        if constexpr (Write) dst += k;
        outLeft -= k;
        pendingCount_ -= k;
    }
    if (carryOver_) Source = src;
}

void TPackbitsRLEDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    Unpack<true>(Source, static_cast<uint8_t*>(Dest), PackedSize, UnpackedSize);
}

void TPackbitsRLEDecoder::Skip(void*& Source, int32_t PackedSize, int32_t UnpackedSize)
{
    Unpack<false>(Source, nullptr, PackedSize, UnpackedSize);
}

// ---- PCX -------------------------------------------------------------------

void TPCXRLEDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    auto* src = static_cast<uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    int32_t inLeft = PackedSize, outLeft = UnpackedSize;
    if (!carryOver_) pendingCount_ = 0;
    while (outLeft > 0) {
        if (pendingCount_ > 0) {
            const int32_t k = std::min(pendingCount_, outLeft);
            std::memset(dst, pendingByte_, static_cast<size_t>(k));
            dst += k;
            outLeft -= k;
            pendingCount_ -= k;
            continue;
        }
        if (inLeft <= 0) break;
        const uint8_t n = *src++;
        --inLeft;
        if ((n & 0xC0) == 0xC0) {
            if (inLeft <= 0) break;
            pendingByte_ = *src++;
            --inLeft;
            pendingCount_ = n & 0x3F;
        } else {
            *dst++ = n;
            --outLeft;
        }
    }
    if (carryOver_) Source = src;
}

// ---- SGI -------------------------------------------------------------------

TSGIRLEDecoder::TSGIRLEDecoder(uint8_t SampleSize) : sampleSize_(SampleSize) {}

void TSGIRLEDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    const auto* src = static_cast<const uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    int32_t inLeft = PackedSize, outLeft = UnpackedSize;
    if (sampleSize_ == 16) {
        while (inLeft >= 2 && outLeft >= 2) {
            // Eight packets of one sample each (a literal or a run of one).
            TakeSingleWidePackets(src, dst, inLeft, outLeft);
            if (inLeft < 2 || outLeft < 2) break;
            const uint8_t low = src[1];
            src += 2;
            inLeft -= 2;
            const int32_t count = low & 0x7F;
            if (count == 0) break;
            if (low & 0x80) {
                const int32_t k = std::min({count * 2, outLeft, inLeft}) & ~1;
                std::memcpy(dst, src, static_cast<size_t>(k));
                src += k;
                dst += k;
                inLeft -= k;
                outLeft -= k;
            } else {
                if (inLeft < 2) break;
                const int32_t k = std::min(count, outLeft / 2);
                for (int32_t i = 0; i < k; ++i) std::memcpy(dst + 2 * i, src, 2);
                src += 2;
                inLeft -= 2;
                dst += 2 * k;
                outLeft -= 2 * k;
            }
        }
        return;
    }
    while (inLeft > 0 && outLeft > 0) {
        // Eight packets of one sample each (a literal or a run of one).
        TakeSinglePackets<EightSingleSamplePackets>(src, dst, inLeft, outLeft);
        if (inLeft <= 0 || outLeft <= 0) break;
        const uint8_t n = *src++;
        --inLeft;
        const int32_t count = n & 0x7F;
        if (count == 0) break;
        if (n & 0x80) {
            const int32_t k = std::min({count, outLeft, inLeft});
            CopyBytes(dst, src, k);
            src += k;
            dst += k;
            outLeft -= k;
            inLeft -= k;
        } else {
            if (inLeft <= 0) break;
            const int32_t k = std::min(count, outLeft);
            FillBytes(dst, *src++, k);
            dst += k;
            outLeft -= k;
            --inLeft;
        }
    }
}

// ---- CUT -------------------------------------------------------------------

void TCUTRLEDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    auto* src = static_cast<uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    int32_t inLeft = PackedSize, outLeft = std::max<int32_t>(UnpackedSize, 0);
    const int32_t skip = std::min<int32_t>(2, std::max<int32_t>(inLeft, 0));
    src += skip;
    inLeft -= skip;
    while (inLeft > 0) {
        const uint8_t n = *src++;
        --inLeft;
        if (n == 0) break;
        if (n & 0x80) {
            if (inLeft <= 0) break;
            RepeatByte(src, dst, n & 0x7F, outLeft);
            --inLeft;
        } else {
            const int32_t take = std::min<int32_t>(n, inLeft);
            CopyLiteral(src, dst, take, outLeft);
            inLeft -= take;
        }
    }
    Source = src;
}

// ---- Paint Shop Pro --------------------------------------------------------

void TPSPRLEDecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    const auto* src = static_cast<const uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    int32_t inLeft = PackedSize, outLeft = std::max<int32_t>(UnpackedSize, 0);
    while (inLeft > 0 && outLeft > 0) {
        const uint8_t n = *src++;
        if (n < 128) {
            CopyLiteral(src, dst, std::min<int32_t>(n, inLeft - 1), outLeft);
            inLeft -= 1 + n;
        } else {
            if (inLeft < 2) break;
            RepeatByte(src, dst, n - 128, outLeft);
            inLeft -= 2;
        }
    }
    availableInput_ = std::max<int32_t>(inLeft, 0);
}

// ---- RLA -------------------------------------------------------------------

void TRLADecoder::Decode(void*& Source, void*& Dest, int32_t PackedSize, int32_t UnpackedSize)
{
    const auto* src = static_cast<const uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    int32_t inLeft = PackedSize, outLeft = std::max<int32_t>(UnpackedSize, 0);
    while (inLeft > 0 && outLeft > 0) {
        // Eight packets of one byte each (a run of one or a literal of one).
        TakeSinglePackets<EightSingleBytePackets>(src, dst, inLeft, outLeft);
        if (inLeft <= 0 || outLeft <= 0) break;
        const int n = static_cast<int8_t>(*src++);
        if (n >= 0) {
            if (inLeft < 2) break;
            inLeft -= 2;
            const int32_t k = std::min(n + 1, outLeft);
            FillBytes(dst, *src, k);
            ++src;
            dst += k;
            outLeft -= k;
        } else {
            const int32_t take = std::min<int32_t>(-n, inLeft - 1);
            inLeft -= 1 - n;
            const int32_t k = std::min(take, outLeft);
            CopyBytes(dst, src, k);
            src += take;
            dst += k;
            outLeft -= k;
        }
    }
    availableInput_ = std::max<int32_t>(inLeft, 0);
}
