// The SGI run-length decoder takes packets of one sample several at a time, 8-bit and 16-bit alike: whatever the mix
// of packets and wherever the input or the output ends, it gives what decoding one packet at a time gives.
#include "codecs/decoders.h"
#include "picture_files.h"

namespace {

// One packet at a time, as the format says: a count (in the low byte of a 16-bit word for 16-bit samples), then that
// many samples for a literal (count with 0x80) or one sample for a run; a zero count ends the row.
Bytes DecodeOneAtATime(const Bytes& in, size_t packed, size_t unpacked, int sampleBytes)
{
    Bytes out(unpacked, kUnwritten);
    size_t i = 0, o = 0;
    while (i + sampleBytes <= packed && o + sampleBytes <= unpacked) {
        const uint8_t header = in[i + sampleBytes - 1];
        i += sampleBytes;
        const size_t count = header & 0x7F;
        if (count == 0) break;
        if (header & 0x80) {
            for (size_t n = 0; n < count && i + sampleBytes <= packed && o + sampleBytes <= unpacked; ++n)
                for (int b = 0; b < sampleBytes; ++b) out[o++] = in[i++];
        } else {
            if (i + sampleBytes > packed) break;
            for (size_t n = 0; n < count && o + sampleBytes <= unpacked; ++n)
                for (int b = 0; b < sampleBytes; ++b) out[o++] = in[i + b];
            i += sampleBytes;
        }
    }
    return out;
}

// Packets chosen by a fixed sequence: long stretches of single-sample literals and runs of one, among longer ones.
Bytes Packets(uint32_t seed, int sampleBytes)
{
    auto next = [&](uint32_t n) { return ((seed = seed * 1103515245u + 12345u) >> 16) % n; };
    TByteWriter w;
    auto header = [&](unsigned count) { sampleBytes == 2 ? w.BE16(count) : w.U8(count); };
    while (w.Size() < 600) {
        const uint32_t kind = next(10);
        const unsigned count = kind < 7 ? 1 : 2 + next(126);
        const bool literal = kind % 2 == 0;
        header(literal ? 0x80 | count : count);
        for (unsigned n = 0; n < (literal ? count : 1); ++n)
            for (int b = 0; b < sampleBytes; ++b) w.U8(next(256));
    }
    return w.Bytes;
}

TEST(SgiRunLength, ManyPacketsAtATimeDecodeAsOneAtATime)
{
    for (int sampleBytes : {1, 2}) {
        TSGIRLEDecoder decoder(uint8_t(8 * sampleBytes));
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            const Bytes in = Packets(seed, sampleBytes);
            for (size_t packed : {in.size(), size_t(31), size_t(33), size_t(64 + seed)})
                for (size_t unpacked : {size_t(16), size_t(30), size_t(400), size_t(5000)}) {
                    SCOPED_TRACE(std::to_string(sampleBytes) + " bytes, seed " + std::to_string(seed) + ", " +
                                 std::to_string(packed) + " in, " + std::to_string(unpacked) + " out");
                    EXPECT_EQ(Unpack(decoder, in, int32_t(packed), int32_t(unpacked), unpacked),
                              DecodeOneAtATime(in, packed, unpacked, sampleBytes));
                }
        }
    }
}

}  // namespace
