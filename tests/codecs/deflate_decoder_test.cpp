// The deflate decoder over zlib, as the TIFF, PNG and Paint Shop Pro readers drive it.
#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

#include "codecs/codec_messages.h"
#include "codecs/deflate_decoder.h"
#include "support/zlib_stream.h"

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 7 + seed) % 251 ^ (i / 13));
    return v;
}

TEST(DeflateDecoder, StripsEachACompleteStreamWithAutomaticReset)
{
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, true);
    decoder.DecodeInit();
    for (uint8_t strip = 0; strip < 4; ++strip) {
        const std::vector<uint8_t> raw = Pattern(1000 + strip * 100, strip);
        std::vector<uint8_t> packed = ZlibCompress(raw, 6);
        std::vector<uint8_t> out(raw.size());
        void* src = packed.data();
        void* dst = out.data();
        decoder.Decode(src, dst, static_cast<int32_t>(packed.size()), static_cast<int32_t>(out.size()));
        EXPECT_EQ(out, raw) << int(strip);
        EXPECT_EQ(decoder.Status(), Z_STREAM_END);
        // Both pointers moved past what was consumed and produced.
        EXPECT_EQ(static_cast<uint8_t*>(src), packed.data() + packed.size());
        EXPECT_EQ(static_cast<uint8_t*>(dst), out.data() + out.size());
        EXPECT_EQ(decoder.AvailableInput(), 0u);
        EXPECT_EQ(decoder.AvailableOutput(), 0u);
    }
    decoder.DecodeEnd();
}

TEST(DeflateDecoder, OneStreamFedPieceByPieceIntoRows)
{
    const std::vector<uint8_t> raw = Pattern(5000, 3);
    const std::vector<uint8_t> packed = ZlibCompress(raw, 6);
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, false);
    decoder.DecodeInit();
    std::vector<uint8_t> out(raw.size());
    size_t in = 0, produced = 0;
    // Input in pieces of 100 bytes, output in rows of 77 bytes.
    while (produced < out.size()) {
        const size_t piece = std::min<size_t>(100, packed.size() - in);
        void* src = const_cast<uint8_t*>(packed.data() + in);
        void* dst = out.data() + produced;
        decoder.Decode(src, dst, static_cast<int32_t>(piece), static_cast<int32_t>(std::min<size_t>(77, out.size() - produced)));
        in = static_cast<size_t>(static_cast<uint8_t*>(src) - packed.data());
        produced = static_cast<size_t>(static_cast<uint8_t*>(dst) - out.data());
        ASSERT_TRUE(decoder.Status() == Z_OK || decoder.Status() == Z_STREAM_END) << decoder.Status();
    }
    EXPECT_EQ(out, raw);
    decoder.DecodeEnd();
}

TEST(DeflateDecoder, OutputNeverExceedsWhatIsAsked)
{
    // A bomb: a megabyte of zeros from a few hundred bytes, into 10 bytes.
    const std::vector<uint8_t> packed = ZlibCompress(std::vector<uint8_t>(1 << 20, 0), 6);
    TLZ77Decoder decoder(Z_FINISH, false);
    decoder.DecodeInit();
    std::vector<uint8_t> out(16, 0xEE);
    void* src = const_cast<uint8_t*>(packed.data());
    void* dst = out.data();
    decoder.Decode(src, dst, static_cast<int32_t>(packed.size()), 10);
    EXPECT_EQ(static_cast<uint8_t*>(dst), out.data() + 10);
    for (int i = 10; i < 16; ++i) EXPECT_EQ(out[i], 0xEE);
    decoder.DecodeEnd();
}

TEST(DeflateDecoder, AFailedInflateStaysInTheStatus)
{
    std::vector<uint8_t> bad = {0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<uint8_t> good = ZlibCompress(Pattern(50, 1), 6);
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, false);
    decoder.DecodeInit();
    std::vector<uint8_t> out(50);
    void* src = bad.data();
    void* dst = out.data();
    decoder.Decode(src, dst, static_cast<int32_t>(bad.size()), 50);
    EXPECT_EQ(decoder.Status(), Z_DATA_ERROR);
    // Without a reset, later calls do nothing.
    src = good.data();
    dst = out.data();
    decoder.Decode(src, dst, static_cast<int32_t>(good.size()), 50);
    EXPECT_EQ(src, static_cast<void*>(good.data()));
    EXPECT_EQ(decoder.Status(), Z_DATA_ERROR);
    decoder.DecodeEnd();

    // With the automatic reset every strip starts afresh.
    TLZ77Decoder strips(Z_PARTIAL_FLUSH, true);
    strips.DecodeInit();
    src = bad.data();
    dst = out.data();
    strips.Decode(src, dst, static_cast<int32_t>(bad.size()), 50);
    src = good.data();
    dst = out.data();
    strips.Decode(src, dst, static_cast<int32_t>(good.size()), 50);
    EXPECT_EQ(strips.Status(), Z_STREAM_END);
    EXPECT_EQ(out, Pattern(50, 1));
    strips.DecodeEnd();
}

TEST(DeflateDecoder, DecodingBeforeInitOrAfterEndDoesNothing)
{
    TLZ77Decoder decoder(Z_PARTIAL_FLUSH, true);
    std::vector<uint8_t> packed = ZlibCompress(Pattern(10, 0), 6), out(10, 0);
    void* src = packed.data();
    void* dst = out.data();
    decoder.Decode(src, dst, static_cast<int32_t>(packed.size()), 10);
    EXPECT_EQ(dst, static_cast<void*>(out.data()));
    decoder.DecodeInit();
    decoder.DecodeEnd();
    decoder.DecodeEnd();  // a second end is harmless
    decoder.Decode(src, dst, static_cast<int32_t>(packed.size()), 10);
    EXPECT_EQ(dst, static_cast<void*>(out.data()));
    EXPECT_EQ(LoadStr(gesLZ77Error), "LZ77 decompression error.");
}

}  // namespace
