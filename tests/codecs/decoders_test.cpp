#include <gtest/gtest.h>

#include <vector>

#include "codecs/decoders.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Runs a decoder over the input into an output of `size` bytes (filled with
// 0xEE so untouched bytes show) and returns the output and how far Source moved.
Bytes Unpack(TDecoder& d, Bytes input, int32_t packed, int32_t unpacked, size_t size, ptrdiff_t* moved = nullptr)
{
    Bytes out(size, 0xEE);
    void* source = input.data();
    void* dest = out.data();
    d.Decode(source, dest, packed, unpacked);
    EXPECT_EQ(dest, out.data());
    if (moved) *moved = static_cast<uint8_t*>(source) - input.data();
    return out;
}

TEST(TargaRLE, RunsAndLiteralsOfWholePixels)
{
    TTargaRLEDecoder d(24);
    ptrdiff_t moved = 0;
    EXPECT_EQ(Unpack(d, {0x82, 1, 2, 3}, 4, 3, 9, &moved), (Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3}));
    EXPECT_EQ(moved, 4);
    TTargaRLEDecoder e(8);
    EXPECT_EQ(Unpack(e, {0x01, 7, 8, 0x81, 9}, 5, 4, 4), (Bytes{7, 8, 9, 9}));
    TTargaRLEDecoder sixteen(15);
    EXPECT_EQ(Unpack(sixteen, {0x81, 0x34, 0x12}, 3, 2, 4), (Bytes{0x34, 0x12, 0x34, 0x12}));
    TTargaRLEDecoder other(12);
    EXPECT_EQ(Unpack(other, {0x81, 1, 2}, 3, 2, 2), (Bytes{0xEE, 0xEE}));
}

TEST(TargaRLE, APacketCutByTheRowEndContinuesInTheNextCall)
{
    TTargaRLEDecoder d(8);
    Bytes input = {0x84, 5, 0x03, 1, 2, 3, 4};
    Bytes out(4, 0);
    void* source = input.data();
    void* dest = out.data();
    d.Decode(source, dest, 7, 3);  // the run of five stops after three
    EXPECT_EQ(out, (Bytes{5, 5, 5, 0}));
    EXPECT_EQ(static_cast<uint8_t*>(source) - input.data(), 2);
    dest = out.data();
    const auto* rest = static_cast<uint8_t*>(source);
    d.Decode(source, dest, static_cast<int32_t>(input.data() + input.size() - rest), 3);
    EXPECT_EQ(out, (Bytes{5, 5, 1, 0}));  // two more of the run, then the literal starts
    dest = out.data();
    rest = static_cast<uint8_t*>(source);
    d.Decode(source, dest, static_cast<int32_t>(input.data() + input.size() - rest), 4);
    EXPECT_EQ(out, (Bytes{2, 3, 4, 0}));  // the input ends before the fourth pixel
}

TEST(TargaRLE, NeverReadsOrWritesOutsideItsBuffers)
{
    // A run longer than the output, a literal longer than the input.
    TTargaRLEDecoder d(32);
    EXPECT_EQ(Unpack(d, {0xFF, 1, 2, 3, 4}, 5, 1, 4), (Bytes{1, 2, 3, 4}));
    TTargaRLEDecoder e(24);
    EXPECT_EQ(Unpack(e, {0x7F, 1, 2, 3, 4}, 5, 10, 6), (Bytes{1, 2, 3, 0xEE, 0xEE, 0xEE}));
    TTargaRLEDecoder f(24);
    EXPECT_EQ(Unpack(f, {0x80, 1, 2}, 3, 1, 3), (Bytes{0xEE, 0xEE, 0xEE}));  // the run's pixel is cut off
}

TEST(TargaRLE, EncoderPacketsAndRoundTrip)
{
    TTargaRLEDecoder d(8);
    Bytes pixels = {1, 1, 1, 2, 3};
    Bytes packed(10, 0);
    int32_t stored = 0;
    d.Encode(pixels.data(), packed.data(), 5, stored);
    EXPECT_EQ(stored, 6);
    packed.resize(static_cast<size_t>(stored));
    EXPECT_EQ(packed, (Bytes{0x82, 0x01, 0x00, 0x02, 0x00, 0x03}));

    // Long runs and literals split at 128 pixels; decoding gives the row back.
    for (int depth : {8, 16, 24, 32}) {
        const int p = depth / 8;
        Bytes row;
        for (int i = 0; i < 300; ++i)
            for (int k = 0; k < p; ++k) row.push_back(static_cast<uint8_t>(i < 140 ? 9 : (i * 7 + k)));
        for (int i = 0; i < 20 * p; ++i) row.push_back(5);
        const int count = static_cast<int>(row.size()) / p;
        TTargaRLEDecoder enc(depth);
        Bytes out(row.size() * 2);
        enc.Encode(row.data(), out.data(), count, stored);
        ASSERT_LE(static_cast<size_t>(stored), out.size());
        TTargaRLEDecoder dec(depth);
        EXPECT_EQ(Unpack(dec, Bytes(out.begin(), out.begin() + stored), stored, count, row.size()), row) << depth;
    }
}

TEST(TargaRLE, EncoderRunLengthsAndPixelValues)
{
    const Bytes pixels = {1, 1, 1, 2, 3};
    EXPECT_EQ(LiteralRunLength(pixels.data(), 5, 1), 0);
    EXPECT_EQ(RepeatRunLength(pixels.data(), 5, 1), 3);
    EXPECT_EQ(LiteralRunLength(pixels.data() + 3, 2, 1), 1);  // the last pixel is left over
    EXPECT_EQ(LiteralRunLength(pixels.data() + 4, 1, 1), 1);  // a lone pixel
    EXPECT_EQ(RepeatRunLength(pixels.data() + 4, 1, 1), 1);

    const Bytes wide = {0x12, 0x34, 0x56, 0x12, 0x34, 0x56, 0x12, 0x34, 0x57};
    EXPECT_EQ(PixelValue(wide.data(), 3), 0x123456u);
    EXPECT_EQ(PixelValue(wide.data() + 6, 3), 0x123457u);
    EXPECT_EQ(RepeatRunLength(wide.data(), 3, 3), 2);

    // Both lengths stop at a packet's 128 pixels.
    const Bytes same(300, 7);
    EXPECT_EQ(RepeatRunLength(same.data(), 300, 1), 128);
    Bytes ramp(300);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(LiteralRunLength(ramp.data(), 300, 1), 128);
    EXPECT_EQ(LiteralRunLength(ramp.data(), 50, 1), 49);
}

TEST(PackBits, LiteralsRepeatsAndTheSkippedHeader)
{
    TPackbitsRLEDecoder d;
    EXPECT_EQ(Unpack(d, {0xFE, 0xAA}, 2, 5, 5), (Bytes{0xAA, 0xAA, 0xAA, 0xEE, 0xEE}));
    EXPECT_EQ(Unpack(d, {0x80, 0x01, 7, 8}, 4, 2, 2), (Bytes{7, 8}));
    EXPECT_EQ(Unpack(d, {0x02, 1, 2, 3, 0xFF, 4}, 6, 4, 5), (Bytes{1, 2, 3, 4, 0xEE}));
    EXPECT_EQ(Unpack(d, {0x7F, 1, 2}, 3, 100, 4), (Bytes{1, 2, 0xEE, 0xEE}));   // literal past the input
    EXPECT_EQ(Unpack(d, {0x81, 9}, 2, 3, 4), (Bytes{9, 9, 9, 0xEE}));           // repeat past the output
    EXPECT_EQ(Unpack(d, {0xF0}, 1, 3, 3), (Bytes{0xEE, 0xEE, 0xEE}));           // repeat without its byte
}

TEST(PCX, RunsAndPlainBytes)
{
    TPCXRLEDecoder d;
    EXPECT_EQ(Unpack(d, {0xC3, 0x55, 0x12}, 3, 4, 4), (Bytes{0x55, 0x55, 0x55, 0x12}));
    EXPECT_EQ(Unpack(d, {0xC5, 0x07}, 2, 2, 3), (Bytes{0x07, 0x07, 0xEE}));
    EXPECT_EQ(Unpack(d, {0xC0, 0x01, 0x02}, 3, 1, 1), (Bytes{0x02}));  // a count of 0 still takes two bytes
    EXPECT_EQ(Unpack(d, {0xC3}, 1, 3, 3), (Bytes{0xEE, 0xEE, 0xEE}));  // the input ends inside a run
    EXPECT_EQ(Unpack(d, {0x01}, 1, 3, 3), (Bytes{0x01, 0xEE, 0xEE}));
}

TEST(SGI, EightAndSixteenBitRows)
{
    TSGIRLEDecoder d(8);
    EXPECT_EQ(Unpack(d, {0x82, 0x10, 0x20, 0x03, 0x33, 0x00}, 6, 6, 6), (Bytes{0x10, 0x20, 0x33, 0x33, 0x33, 0xEE}));
    EXPECT_EQ(Unpack(d, {0x7F, 0x44}, 2, 3, 3), (Bytes{0x44, 0x44, 0x44}));  // no terminating zero
    TSGIRLEDecoder w(16);
    EXPECT_EQ(Unpack(w, {0x00, 0x82, 0x12, 0x34, 0x56, 0x78, 0x00, 0x02, 0xAB, 0xCD, 0x00, 0x00}, 12, 8, 8),
              (Bytes{0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD, 0xAB, 0xCD}));
}

TEST(CUT, RowsEndAtZeroAndMoveTheSource)
{
    TCUTRLEDecoder d;
    ptrdiff_t moved = 0;
    EXPECT_EQ(Unpack(d, {0x05, 0x00, 0x83, 0x09, 0x00}, 5, 3, 4, &moved), (Bytes{9, 9, 9, 0xEE}));
    EXPECT_EQ(moved, 5);
    EXPECT_EQ(Unpack(d, {0x00, 0x00, 0x02, 7, 8, 0x00}, 6, 1, 2, &moved), (Bytes{7, 0xEE}));
    EXPECT_EQ(moved, 6);
    EXPECT_EQ(Unpack(d, {0x00, 0x00, 0x05, 1}, 4, 5, 5, &moved), (Bytes{1, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(moved, 4);
}

TEST(PSP, LiteralsAndRepeats)
{
    TPSPRLEDecoder d;
    EXPECT_EQ(Unpack(d, {0x81, 0x44}, 2, 4, 2), (Bytes{0x44, 0xEE}));
    EXPECT_EQ(Unpack(d, {0x02, 1, 2, 0x83, 5}, 5, 5, 6), (Bytes{1, 2, 5, 5, 5, 0xEE}));
    EXPECT_EQ(Unpack(d, {0xFF, 5}, 2, 3, 3), (Bytes{5, 5, 5}));  // clipped to the output
    EXPECT_EQ(Unpack(d, {0x10, 1, 2}, 3, 9, 3), (Bytes{1, 2, 0xEE}));
}

TEST(RLA, RepeatsAndLiterals)
{
    TRLADecoder d;
    EXPECT_EQ(Unpack(d, {0xFE, 0x01, 0x02}, 3, 2, 3), (Bytes{0x01, 0x02, 0xEE}));
    EXPECT_EQ(Unpack(d, {0x02, 0x07}, 2, 3, 4), (Bytes{7, 7, 7, 0xEE}));
    EXPECT_EQ(Unpack(d, {0x7F, 0x07}, 2, 3, 3), (Bytes{7, 7, 7}));
    EXPECT_EQ(Unpack(d, {0x80, 1}, 2, 9, 2), (Bytes{1, 0xEE}));
}

TEST(Decoders, CompressionErrorRaisesItsText)
{
    try {
        CompressionError("LZ77 decompression error.");
        FAIL();
    } catch (const ECodecCompression& e) {
        EXPECT_STREQ(e.what(), "LZ77 decompression error.");
    }
}

}  // namespace
