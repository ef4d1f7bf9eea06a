// The ThunderScan decoder of TIFF files.
#include <gtest/gtest.h>

#include <vector>

#include "codecs/thunder_decoder.h"

namespace {

std::vector<uint8_t> Decode(std::vector<uint8_t> input, int32_t rowSize, size_t outSize)
{
    TThunderDecoder decoder(rowSize);
    std::vector<uint8_t> out(outSize + 4, 0xEE);
    void* src = input.data();
    void* dst = out.data();
    decoder.Decode(src, dst, static_cast<int32_t>(input.size()), static_cast<int32_t>(outSize));
    EXPECT_EQ(src, static_cast<void*>(input.data()));
    for (size_t i = outSize; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << "written past the output";
    out.resize(outSize);
    return out;
}

TEST(ThunderDecoder, RawPixelThenTwoBitDeltas)
{
    EXPECT_EQ(Decode({0xC5, 0x43}, 2, 2), (std::vector<uint8_t>{0x55, 0x54}));
}

TEST(ThunderDecoder, RunsRepeatTheLastPixel)
{
    EXPECT_EQ(Decode({0xC7, 0x03}, 2, 2), (std::vector<uint8_t>{0x77, 0x77}));
    // An even start: a run of 3 after two pixels.
    EXPECT_EQ(Decode({0xC1, 0xC2, 0x03, 0xC9}, 3, 3), (std::vector<uint8_t>{0x12, 0x22, 0x29}));
}

TEST(ThunderDecoder, ThreeBitDeltasAndSkippedCodes)
{
    // 8 then +3 (code 3) and no pixel (code 4); then -3 (code 5) and +2 (code 2).
    EXPECT_EQ(Decode({0xC8, 0x9C, 0xAA}, 2, 2), (std::vector<uint8_t>{0x8B, 0x8A}));
    // Two-bit code 2 writes nothing.
    EXPECT_EQ(Decode({0xC4, 0x62}, 1, 1), (std::vector<uint8_t>{0x44}));
}

TEST(ThunderDecoder, RowsStopAtTheirSizeAndTheNextRowStartsAfresh)
{
    // Row one: a run far beyond its two bytes; row two: raw 1 and 2 (its last byte is not touched).
    EXPECT_EQ(Decode({0xC3, 0x3F, 0xC1, 0xC2}, 2, 4), (std::vector<uint8_t>{0x33, 0x33, 0x12, 0xEE}));
    // Every code of the last byte fits or is dropped.
    EXPECT_EQ(Decode({0xC1, 0xC2, 0xC3, 0x55}, 1, 1), (std::vector<uint8_t>{0x12}));
}

TEST(ThunderDecoder, BadSizesWriteNothing)
{
    EXPECT_EQ(Decode({0xC5}, 0, 3), (std::vector<uint8_t>{0xEE, 0xEE, 0xEE}));
    Decode({}, 4, 8);
    std::vector<uint8_t> junk(500);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37);
    Decode(junk, 3, 7);
}

}  // namespace
