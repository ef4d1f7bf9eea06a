// Rows of packed indexed and gray pixels (1, 2, 4 and 8 bits), whole or through an interlace mask: every depth pair,
// mask and row length converts as the pixel-by-pixel rule says, reading no source byte past the samples it takes and
// writing no target bit outside the pixels the mask lets through.
#include "codec_test.h"
#include "codecs/color_manager.h"

namespace {

// The rule, one pixel at a time: a walking bit starts at 0x80 and rotates right after every target pixel; a target
// pixel is written only where the mask has the bit, with the next source sample scaled to the target depth. Whole
// rows of equal depths are copied whole bytes at a time, the bits after the last pixel with them.
Bytes Expected(const Bytes& source, Bytes target, int sourceBits, int targetBits, uint32_t count, uint8_t mask)
{
    if (sourceBits == targetBits && mask == 0xFF) return source;
    const uint32_t sourceMax = (1u << sourceBits) - 1, targetMax = (1u << targetBits) - 1;
    uint32_t taken = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!(mask & (0x80 >> (i % 8)))) continue;
        const uint32_t at = taken++ * unsigned(sourceBits);
        const uint32_t v = (source[at / 8] >> (8 - sourceBits - at % 8)) & sourceMax;
        const uint32_t value = v * targetMax / sourceMax, bit = i * unsigned(targetBits);
        const unsigned shift = 8 - unsigned(targetBits) - bit % 8;
        target[bit / 8] = uint8_t((target[bit / 8] & ~(targetMax << shift)) | (value << shift));
    }
    return target;
}

uint32_t Written(uint32_t count, uint8_t mask)
{
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i) n += (mask >> (7 - i % 8)) & 1;
    return n;
}

}  // namespace

TEST(PackedRows, EveryDepthMaskAndLength)
{
    const uint8_t masks[] = {0xFF, 0x80, 0x08, 0x88, 0x22, 0xAA, 0x55, 0x00, 0x5A, 0xFE};
    const int depths[] = {1, 2, 4, 8};
    std::vector<uint32_t> counts;
    for (uint32_t n = 0; n <= 40; ++n) counts.push_back(n);
    counts.insert(counts.end(), {63, 64, 65, 2047, 2048, 2053});
    uint32_t seed = 12345;
    auto next = [&] { return uint8_t((seed = seed * 1103515245 + 12345) >> 16); };
    TColorManager cm;
    for (TColorScheme scheme : {csIndexed, csG})
        for (int sb : depths)
            for (int tb : depths) {
                cm.SetSource(scheme, sb, 1);
                cm.SetTarget(scheme, tb, 1);
                for (uint8_t mask : masks)
                    for (uint32_t count : counts) {
                        // Exactly the bytes the written pixels take: a read past them is caught by the sanitizers.
                        Bytes source((size_t(Written(count, mask)) * unsigned(sb) + 7) / 8);
                        for (uint8_t& b : source) b = next();
                        Bytes target((size_t(count) * unsigned(tb) + 7) / 8);
                        for (uint8_t& b : target) b = next();
                        const Bytes expected = Expected(source, target, sb, tb, count, mask);
                        cm.ConvertRow({source.empty() ? nullptr : source.data()}, target.data(), count, mask);
                        ASSERT_EQ(target, expected) << "scheme " << int(scheme) << ", " << sb << " to " << tb
                                                    << " bits, mask " << int(mask) << ", " << count << " pixels";
                    }
            }
}

// The bilevel rows of one turn of the mask are built a byte at a time from a table kept for the last mask: rows of
// passes taking turns get the table of their own mask.
TEST(PackedRows, MasksTakingTurns)
{
    TColorManager cm;
    cm.SetSource(csG, 1, 1);
    cm.SetTarget(csG, 1, 1);
    const Bytes source = {0xB5, 0x3C, 0xE1, 0x0F};
    for (int round = 0; round < 2; ++round)
        for (uint8_t mask : {0x80, 0x55, 0x22, 0xAA}) {
            Bytes target(4, 0x99);
            const Bytes expected = Expected(source, target, 1, 1, 32, mask);
            cm.ConvertRow({source.data()}, target.data(), 32, mask);
            EXPECT_EQ(target, expected) << "mask " << int(mask);
        }
}
