#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/color_manager.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

TColorManager Manager(TColorScheme source, TColorScheme target, int sourceBits, int targetBits, int sourceSamples = 3,
                      int targetSamples = 3)
{
    TColorManager cm;
    cm.SetSourceColorScheme(source);
    cm.SetTargetColorScheme(target);
    cm.SetSourceBitsPerSample(sourceBits);
    cm.SetTargetBitsPerSample(targetBits);
    cm.SetSourceSamplesPerPixel(sourceSamples);
    cm.SetTargetSamplesPerPixel(targetSamples);
    return cm;
}

uint16_t Swap(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

TEST(RowConverters, InterlaceMaskWritesOnlyItsPixels)
{
    TColorManager cm = Manager(csRGB, csBGR, 8, 8);
    const Bytes source = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    Bytes target(24, 0xEE);
    cm.ConvertRow({source.data()}, target.data(), 8, 0x55);
    for (int x = 0; x < 8; ++x) {
        const uint8_t expect = (x & 1) ? static_cast<uint8_t>(x / 2 + 1) : 0xEE;
        EXPECT_EQ(target[static_cast<size_t>(3 * x)], expect) << x;
    }
}

TEST(RowConverters, AlphaIsCopiedOnlyWhenBothSidesHaveIt)
{
    const Bytes rgba = {1, 2, 3, 4, 5, 6, 7, 8};
    TColorManager toBGR = Manager(csRGBA, csBGR, 8, 8, 4, 3);
    Bytes bgr(6);
    toBGR.ConvertRow({rgba.data()}, bgr.data(), 2);
    EXPECT_EQ(bgr, (Bytes{3, 2, 1, 7, 6, 5}));
    TColorManager toBGRA = Manager(csRGBA, csBGRA, 8, 8, 4, 4);
    Bytes bgra(8);
    toBGRA.ConvertRow({rgba.data()}, bgra.data(), 2);
    EXPECT_EQ(bgra, (Bytes{3, 2, 1, 4, 7, 6, 5, 8}));
    TColorManager fromRGB = Manager(csRGB, csBGRA, 8, 8, 3, 4);
    Bytes kept(8, 0xAA);
    fromRGB.ConvertRow({rgba.data()}, kept.data(), 2);
    EXPECT_EQ(kept, (Bytes{3, 2, 1, 0xAA, 6, 5, 4, 0xAA}));
}

TEST(RowConverters, PlanarSourcesAndEveryOrder)
{
    const Bytes r = {10, 11}, g = {20, 21}, b = {30, 31}, a = {40, 41};
    const void* planes[] = {r.data(), g.data(), b.data(), a.data()};
    TColorManager cm = Manager(csRGBA, csRGBA, 8, 8, 4, 4);
    Bytes out(8);
    cm.ConvertRow(planes, out.data(), 2);
    EXPECT_EQ(out, (Bytes{10, 20, 30, 40, 11, 21, 31, 41}));
    TColorManager bgr = Manager(csBGR, csRGB, 8, 8);
    const Bytes src = {1, 2, 3};
    Bytes o(3);
    bgr.ConvertRow({src.data()}, o.data(), 1);
    EXPECT_EQ(o, (Bytes{3, 2, 1}));
    TColorManager same = Manager(csBGR, csBGR, 8, 8);
    same.ConvertRow({src.data()}, o.data(), 1);
    EXPECT_EQ(o, (Bytes{1, 2, 3}));
}

TEST(RowConverters, SixteenBitSamplesScaleAndSwap)
{
    // 16 to 8 bits: v * 255 / 65535, big-endian samples swapped first.
    const Words big = {Swap(0xFFFF), Swap(0x8000), Swap(0x0101)};
    TColorManager cm = Manager(csRGB, csBGR, 16, 8);
    cm.SourceOptions |= optSwapBytes;
    Bytes out(3);
    cm.ConvertRow({big.data()}, out.data(), 1);
    EXPECT_EQ(out, (Bytes{1, 127, 255}));
    // 16 to 16 bits: swapped or copied.
    TColorManager wide = Manager(csRGB, csRGB, 16, 16);
    wide.SourceOptions |= optSwapBytes;
    Words w(3);
    wide.ConvertRow({big.data()}, w.data(), 1);
    EXPECT_EQ(w, (Words{0xFFFF, 0x8000, 0x0101}));
    // 8 to 16 bits: widened by 65535 / 255, swapped when the source says so.
    TColorManager up = Manager(csRGB, csRGB, 8, 16);
    const Bytes eight = {255, 1, 0};
    up.ConvertRow({eight.data()}, w.data(), 1);
    EXPECT_EQ(w, (Words{0xFFFF, 0x0101, 0}));
    up.SourceOptions |= optSwapBytes;
    up.ConvertRow({eight.data()}, w.data(), 1);
    EXPECT_EQ(w, (Words{0xFFFF, 0x0101, 0}));
    // Other depths write nothing.
    TColorManager four = Manager(csRGB, csBGR, 4, 8);
    Bytes untouched(3, 0xEE);
    four.ConvertRow({eight.data()}, untouched.data(), 1);
    EXPECT_EQ(untouched, (Bytes{0xEE, 0xEE, 0xEE}));
}

TEST(RowConverters, GammaAppliesToColourButNotAlpha)
{
    TColorManager cm = Manager(csRGBA, csBGRA, 8, 8, 4, 4);
    cm.TargetOptions |= optGamma;
    const Bytes src = {64, 128, 192, 100};
    Bytes out(4);
    cm.ConvertRow({src.data()}, out.data(), 1);
    const uint8_t* g = cm.GammaTable();
    EXPECT_EQ(out, (Bytes{g[192], g[128], g[64], 100}));
    TColorManager wide = Manager(csRGBA, csBGRA, 16, 8, 4, 4);
    wide.TargetOptions |= optGamma;
    const Words w = {0x4040, 0x8080, 0xC0C0, 0x6464};
    wide.ConvertRow({w.data()}, out.data(), 1);
    EXPECT_EQ(out, (Bytes{wide.GammaTable()[192], wide.GammaTable()[128], wide.GammaTable()[64], 100}));
}

TEST(RowConverters, PackedIndexes)
{
    TColorManager one = Manager(csIndexed, csIndexed, 1, 8, 1, 1);
    const Bytes bits = {0xA0};
    Bytes out(3, 7);
    one.ConvertRow({bits.data()}, out.data(), 3);
    EXPECT_EQ(out, (Bytes{255, 0, 255}));
    TColorManager down = Manager(csIndexed, csIndexed, 8, 4, 1, 1);
    const Bytes values = {255, 0x11, 0x22};
    Bytes nibbles(2, 0);
    down.ConvertRow({values.data()}, nibbles.data(), 3);
    EXPECT_EQ(nibbles, (Bytes{0xF1, 0x20}));
    // Equal depths without a mask: one block move of whole bytes.
    TColorManager same = Manager(csIndexed, csIndexed, 4, 4, 1, 1);
    const Bytes packed = {0x12, 0x34};
    Bytes copy(2, 0);
    same.ConvertRow({packed.data()}, copy.data(), 3);
    EXPECT_EQ(copy, (Bytes{0x12, 0x34}));
    // With a mask the skipped target nibbles keep their bits.
    Bytes masked = {0xAB, 0xCD};
    same.ConvertRow({packed.data()}, masked.data(), 4, 0x50);
    EXPECT_EQ(masked, (Bytes{0xA1, 0xC2}));
    // 2-bit sources spread over 4-bit targets.
    TColorManager two = Manager(csIndexed, csIndexed, 2, 4, 1, 1);
    const Bytes twoBits = {0x1B};  // 0, 1, 2, 3
    Bytes four(2, 0);
    two.ConvertRow({twoBits.data()}, four.data(), 4);
    EXPECT_EQ(four, (Bytes{0x05, 0xAF}));
}

TEST(RowConverters, SixteenBitIndexes)
{
    TColorManager to16 = Manager(csIndexed, csIndexed, 16, 16, 1, 1);
    const Words w = {0x1234, 0xABCD};
    Words out(2, 0);
    to16.ConvertRow({w.data()}, out.data(), 2);
    EXPECT_EQ(out, w);
    to16.SourceOptions |= optSwapBytes;
    to16.ConvertRow({w.data()}, out.data(), 2);
    EXPECT_EQ(out, (Words{0x3412, 0xCDAB}));
    TColorManager toPacked = Manager(csIndexed, csIndexed, 16, 4, 1, 1);
    const Words full = {0xFFFF, 0x0000, 0x8000};
    Bytes packed(2, 0);
    toPacked.ConvertRow({full.data()}, packed.data(), 3);
    EXPECT_EQ(packed, (Bytes{0xF0, 0x70}));
    TColorManager fromPacked = Manager(csIndexed, csIndexed, 1, 16, 1, 1);
    const Bytes bits = {0x80};
    Words words(2, 9);
    fromPacked.ConvertRow({bits.data()}, words.data(), 2);
    EXPECT_EQ(words, (Words{0xFFFF, 0}));
}

TEST(RowConverters, GrayRows)
{
    TColorManager ga = Manager(csGA, csG, 8, 8, 1, 1);
    const Bytes grayAlpha = {10, 255, 20, 0, 30, 128};
    Bytes out(3);
    ga.ConvertRow({grayAlpha.data()}, out.data(), 3);
    EXPECT_EQ(out, (Bytes{10, 20, 30}));
    TColorManager g16 = Manager(csG, csG, 16, 8, 1, 1);
    g16.SourceOptions |= optSwapBytes;
    const Words w = {Swap(0xFFFF), Swap(0x0100)};
    Bytes o(2);
    g16.ConvertRow({w.data()}, o.data(), 2);
    EXPECT_EQ(o, (Bytes{255, 0}));
    TColorManager up = Manager(csGA, csG, 8, 16, 1, 1);
    Words wide(3);
    up.ConvertRow({grayAlpha.data()}, wide.data(), 3);
    EXPECT_EQ(wide, (Words{0x0A0A, 0x1414, 0x1E1E}));
}

TEST(RowConverters, CMYK)
{
    TColorManager cm = Manager(csCMYK, csBGR, 8, 8, 4, 3);
    const Bytes white = {0, 0, 0, 0}, black = {0, 0, 0, 255}, cyan = {255, 0, 0, 0};
    Bytes out(3);
    cm.ConvertRow({white.data()}, out.data(), 1);
    EXPECT_EQ(out, (Bytes{255, 255, 255}));
    cm.ConvertRow({black.data()}, out.data(), 1);
    EXPECT_EQ(out, (Bytes{0, 0, 0}));
    cm.ConvertRow({cyan.data()}, out.data(), 1);
    EXPECT_EQ(out, (Bytes{255, 255, 0}));
    // Four planes, RGB order, alpha byte of the target untouched.
    TColorManager planar = Manager(csCMYK, csRGBA, 8, 8, 4, 4);
    const Bytes c = {255}, m = {0}, y = {0}, k = {0};
    const void* planes[] = {c.data(), m.data(), y.data(), k.data()};
    Bytes rgba(4, 0xEE);
    planar.ConvertRow(planes, rgba.data(), 1);
    EXPECT_EQ(rgba, (Bytes{0, 255, 255, 0xEE}));
    // 16-bit samples.
    TColorManager wide = Manager(csCMYK, csBGR, 16, 16, 4, 3);
    const Words half = {0x8000, 0, 0, 0};
    Words w(3);
    wide.ConvertRow({half.data()}, w.data(), 1);
    EXPECT_EQ(w, (Words{0xFFFF, 0xFFFF, 0x7FFF}));
}

TEST(RowConverters, YCbCr)
{
    TColorManager cm = Manager(csYCbCr, csBGR, 8, 8);
    const Bytes gray = {128, 128, 128};
    Bytes out(3);
    cm.ConvertRow({gray.data()}, out.data(), 1);
    EXPECT_EQ(out, (Bytes{128, 128, 128}));
    const Bytes red = {76, 85, 255};  // about pure red
    cm.ConvertRow({red.data()}, out.data(), 1);
    EXPECT_NEAR(out[2], 255, 2);
    EXPECT_NEAR(out[1], 0, 2);
    EXPECT_NEAR(out[0], 0, 2);
    TColorManager wide = Manager(csYCbCr, csRGB, 16, 16);
    const Words w = {0x1000, 0x9C9C, 0x8989};
    Words o(3);
    wide.ConvertRow({w.data()}, o.data(), 1);
    const uint16_t y = static_cast<uint16_t>(std::lround(1.3584 * 0x1000));
    EXPECT_EQ(o, (Words{y, y, y}));
}

TEST(RowConverters, Lab)
{
    // L*a*b* samples of 8-bit files (L* over 0..255, a* and b* signed) and
    // the sRGB colours a colour-managed (ICC, relative colorimetric)
    // conversion makes of them under the D50 white.
    struct LabColour {
        int L, a, b;
        int red, green, blue;
    };
    const LabColour colours[] = {
        {0, 0, 0, 0, 0, 0},          {255, 0, 0, 255, 255, 255},  {137, 0, 0, 128, 128, 128},
        {49, -1, 0, 45, 47, 47},     {138, 81, 70, 255, 0, 0},    {224, -79, 81, 9, 255, 0},
        {75, 68, -112, 0, 1, 254},   {138, 38, 46, 199, 100, 50}, {200, -20, -30, 113, 207, 249},
    };
    for (const LabColour& c : colours) {
        const std::string what = "L " + std::to_string(c.L) + " a " + std::to_string(c.a) + " b " + std::to_string(c.b);
        auto expectColour = [&](const Bytes& bgr, const char* how) {
            EXPECT_NEAR(bgr[2], c.red, 1) << how << ", " << what;
            EXPECT_NEAR(bgr[1], c.green, 1) << how << ", " << what;
            EXPECT_NEAR(bgr[0], c.blue, 1) << how << ", " << what;
        };
        Bytes out(3);
        // 8 bits: a* and b* signed (TIFF) or offset by 128 (Photoshop).
        TColorManager byte = Manager(csCIELab, csBGR, 8, 8);
        byte.SourceOptions |= optLabByteL;
        const Bytes signed8 = {static_cast<uint8_t>(c.L), static_cast<uint8_t>(c.a), static_cast<uint8_t>(c.b)};
        byte.ConvertRow({signed8.data()}, out.data(), 1);
        expectColour(out, "8-bit signed");
        byte.SourceOptions |= optLabOffsetAB;
        const Bytes offset8 = {static_cast<uint8_t>(c.L), static_cast<uint8_t>(c.a + 128),
                               static_cast<uint8_t>(c.b + 128)};
        byte.ConvertRow({offset8.data()}, out.data(), 1);
        expectColour(out, "8-bit offset");
        // The same colours in 16 bits: L* over 0..65535, 256 steps per unit
        // of a* and b*, in either byte order.
        const auto l16 = static_cast<uint16_t>(c.L * 257);
        const auto a16 = static_cast<uint16_t>(c.a * 256), b16 = static_cast<uint16_t>(c.b * 256);
        TColorManager wide = Manager(csCIELab, csBGR, 16, 8);
        wide.SourceOptions |= optLabByteL;
        const Words signed16 = {l16, a16, b16};
        wide.ConvertRow({signed16.data()}, out.data(), 1);
        expectColour(out, "16-bit signed");
        wide.SourceOptions |= optSwapBytes;
        const Words swapped16 = {Swap(l16), Swap(a16), Swap(b16)};
        wide.ConvertRow({swapped16.data()}, out.data(), 1);
        expectColour(out, "16-bit signed, swapped");
        wide.SourceOptions |= optLabOffsetAB;
        const Words offset16 = {Swap(l16), Swap(static_cast<uint16_t>(a16 + 32768)),
                                Swap(static_cast<uint16_t>(b16 + 32768))};
        wide.ConvertRow({offset16.data()}, out.data(), 1);
        expectColour(out, "16-bit offset, swapped");
    }
    // A 16-bit target and red first; the target's alpha is left alone.
    TColorManager wide = Manager(csCIELab, csRGBA, 8, 16, 3, 4);
    wide.SourceOptions |= optLabByteL;
    const Bytes white = {255, 0, 0};
    Words w(4, 0x1234);
    wide.ConvertRow({white.data()}, w.data(), 1);
    EXPECT_EQ(w, (Words{0xFFFF, 0xFFFF, 0xFFFF, 0x1234}));
}

}  // namespace
