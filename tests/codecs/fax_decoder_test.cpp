// The one-dimensional CCITT decoders on hand-made code streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/fax_decoders.h"
#include "codec_test.h"

namespace {

// Decodes the stream into outSize bytes and checks that nothing was written
// past them.
template <class TFaxDecoder>
std::vector<uint8_t> DecodeWith(TFaxDecoder decoder, std::vector<uint8_t> input, size_t outSize)
{
    std::vector<uint8_t> out(outSize + 8, 0xEE);
    void* src = input.data();
    void* dst = out.data();
    decoder.Decode(src, dst, static_cast<int32_t>(input.size()), static_cast<int32_t>(outSize));
    for (size_t i = outSize; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << "written past the output at " << i;
    out.resize(outSize);
    return out;
}

std::vector<uint8_t> DecodeMH(std::vector<uint8_t> input, uint32_t width, size_t outSize, bool wordAligned = false,
                              bool reverse = false)
{
    return DecodeWith(TCCITTMHDecoder(0, reverse, wordAligned, width), std::move(input), outSize);
}

std::vector<uint8_t> DecodeG3(std::vector<uint8_t> input, uint32_t width, size_t outSize, bool reverse = false)
{
    return DecodeWith(TCCITTFax3Decoder(0, reverse, false, width), std::move(input), outSize);
}

TEST(FaxDecoders, TreesHoldEveryCodeOnce)
{
    TCCITTMHDecoder decoder(0, false, false, 8);
    for (bool white : {true, false}) {
        const auto& tree = white ? decoder.WhiteTree() : decoder.BlackTree();
        const TFaxCode* codes = white ? WhiteCodes : BlackCodes;
        for (int i = 0; i < 104; ++i) {
            size_t node = 0;
            for (int b = codes[i].Length - 1; b >= 0; --b) {
                const int32_t next = ((codes[i].Code >> b) & 1) ? tree[node].One : tree[node].Zero;
                ASSERT_NE(next, 0) << (white ? "white " : "black ") << i;
                node = static_cast<size_t>(next);
            }
            EXPECT_EQ(tree[node].Zero, 0) << "code " << i << " is the prefix of another";
            EXPECT_EQ(tree[node].One, 0) << "code " << i << " is the prefix of another";
            EXPECT_EQ(tree[node].Value, i < 64 ? i : (i - 63) * 64);
        }
    }
}

TEST(FaxDecoders, WhiteZeroThenOneBlackPixel)
{
    TFaxBits w;
    w.Put(0x35, 8);  // white 0
    w.Put(0x2, 3);   // black 1
    w.Run(true, 7);
    const auto out = DecodeMH(w.bytes, 8, 1);
    EXPECT_EQ(out[0], 0x80);
}

TEST(FaxDecoders, MakeUpAndTerminatingCodesFormOneRun)
{
    TFaxBits w;
    w.Run(true, 0);
    w.Code(false, 64);  // black make-up 64
    w.Code(false, 3);   // black 3
    w.Run(true, 13);
    const auto out = DecodeMH(w.bytes, 80, 10);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i], 0xFF) << i;
    EXPECT_EQ(out[8], 0xE0);
    EXPECT_EQ(out[9], 0x00);
}

TEST(FaxDecoders, RowsOfWidthTenStartOnTheNextByte)
{
    TFaxBits w;
    for (int row = 0; row < 2; ++row) {
        w.Run(true, 2);
        w.Run(false, 8);  // ends exactly on the last pixel
        w.Align();
    }
    const auto out = DecodeMH(w.bytes, 10, 4);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x3F, 0xC0, 0x3F, 0xC0}));
}

TEST(FaxDecoders, WordAlignedRowsStartOnEvenBytes)
{
    TFaxBits w;
    for (int row = 0; row < 3; ++row) {
        w.Run(true, 4);
        w.Run(false, 4);
        w.Align();
        if (w.bytes.size() % 2) w.bytes.push_back(0xFF);  // filler, skipped
    }
    const auto out = DecodeMH(w.bytes, 8, 3, true);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x0F, 0x0F, 0x0F}));
}

TEST(FaxDecoders, ReversedBitsAreTurnedInPlace)
{
    TFaxBits w;
    w.Run(true, 3);
    w.Run(false, 5);
    std::vector<uint8_t> reversed = w.bytes;
    for (auto& b : reversed) b = ReverseBitsTable[b];
    TCCITTMHDecoder decoder(0, true, false, 8);
    uint8_t out = 0;
    void* src = reversed.data();
    void* dst = &out;
    decoder.Decode(src, dst, static_cast<int32_t>(reversed.size()), 1);
    EXPECT_EQ(out, 0x1F);
    EXPECT_EQ(reversed, w.bytes);  // the caller's buffer now holds the turned bytes
}

TEST(FaxDecoders, EmptyInputLeavesZeros)
{
    EXPECT_EQ(DecodeMH({}, 16, 4), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(DecodeG3({}, 16, 4), std::vector<uint8_t>(4, 0));
}

TEST(FaxDecoders, RunsLongerThanTheRowAreCutAtItsEnd)
{
    // A black run of 2560 + 100 in a row of 12 pixels, in an output of two rows.
    TFaxBits w;
    w.Run(true, 0);
    w.Run(false, 2660);
    w.Align();
    w.Run(true, 12);
    const auto out = DecodeMH(w.bytes, 12, 4);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xF0, 0x00, 0x00}));
    TFaxBits g;
    g.Eol();
    g.Run(true, 0);
    g.Run(false, 100);
    g.Eol();
    g.Run(true, 4);
    g.Run(false, 8);
    EXPECT_EQ(DecodeG3(g.bytes, 12, 4), (std::vector<uint8_t>{0xFF, 0xF0, 0x0F, 0xF0}));
}

TEST(FaxDecoders, Group3RowsFollowTheirEndOfLineCodes)
{
    TFaxBits w;
    for (int row = 0; row < 3; ++row) {
        w.Put(0, 3);  // fill before the code
        w.Eol();
        w.Run(true, row);
        w.Run(false, 3);
        w.Run(true, 16 - row - 3);
    }
    const auto out = DecodeG3(w.bytes, 16, 6);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xE0, 0x00, 0x70, 0x00, 0x38, 0x00}));
    // The same bits least significant first.
    std::vector<uint8_t> reversed = w.bytes;
    for (auto& b : reversed) b = ReverseBitsTable[b];
    EXPECT_EQ(DecodeG3(reversed, 16, 6, true), out);
}

TEST(FaxDecoders, AnEndOfLineCutsARowShortAndTheNextRowStartsInPlace)
{
    TFaxBits w;
    w.Eol();
    w.Run(true, 0);
    w.Run(false, 4);  // row 0 stops after 4 of 16 pixels
    w.Eol();
    w.Run(true, 8);
    w.Run(false, 8);
    const auto out = DecodeG3(w.bytes, 16, 4);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xF0, 0x00, 0x00, 0xFF}));
}

TEST(FaxDecoders, GarbageStaysWithinTheOutput)
{
    std::vector<uint8_t> junk(4096);
    uint32_t seed = 7;
    for (auto& b : junk) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    for (uint32_t width : {1u, 7u, 100u, 3000u}) {
        DecodeMH(junk, width, 37);
        DecodeMH(junk, width, 37, true);
        DecodeG3(junk, width, 37);
        DecodeG3(std::vector<uint8_t>(300, 0), width, 37);
    }
}

}  // namespace
