#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <cstring>
#include <vector>

#include "codecs/codec_messages.h"
#include "codecs/color_manager.h"

namespace {

using Bytes = std::vector<uint8_t>;

void ExpectError(uint16_t id, const std::function<void()>& f)
{
    try {
        f();
        ADD_FAILURE() << "no error, expected " << id;
    } catch (const EColorConversionError& e) {
        EXPECT_EQ(e.what(), LoadStr(id));
    }
}

TEST(ColorManager, DefaultsConvertRgbToBgr)
{
    TColorManager cm;
    EXPECT_EQ(cm.SourceBitsPerSample(), 8);
    EXPECT_EQ(cm.TargetSamplesPerPixel(), 3);
    EXPECT_EQ(cm.SourceColorScheme(), csRGB);
    EXPECT_EQ(cm.TargetColorScheme(), csBGR);
    EXPECT_FLOAT_EQ(cm.FileGamma(), 1.0f);
    EXPECT_FLOAT_EQ(cm.DisplayGamma(), 2.2f);
    const Bytes rgb = {1, 2, 3, 4, 5, 6};
    Bytes bgr(6);
    cm.ConvertRow({rgb.data()}, bgr.data(), 2);
    EXPECT_EQ(bgr, (Bytes{3, 2, 1, 6, 5, 4}));
    EXPECT_EQ(cm.RowConverterName(), "ConvertRGBToBGR");
    Bytes none(3, 7);
    cm.ConvertRow({rgb.data()}, none.data(), 0);
    EXPECT_EQ(none, (Bytes{7, 7, 7}));
}

TEST(ColorManager, SettingsAreCheckedAndRefusalsKeepTheOldValue)
{
    TColorManager cm;
    ExpectError(gesInvalidSampleDepth, [&] { cm.SetSourceBitsPerSample(0); });
    ExpectError(gesInvalidSampleDepth, [&] { cm.SetSourceBitsPerSample(17); });
    ExpectError(gesInvalidSampleDepth, [&] { cm.SetTargetBitsPerSample(0); });
    EXPECT_EQ(cm.SourceBitsPerSample(), 8);
    cm.SetSourceBitsPerSample(12);
    EXPECT_EQ(cm.SourceBitsPerSample(), 12);
    ExpectError(gesInvalidPixelDepth, [&] { cm.SetSourceSamplesPerPixel(0); });
    ExpectError(gesInvalidPixelDepth, [&] { cm.SetTargetSamplesPerPixel(5); });
    EXPECT_EQ(cm.TargetSamplesPerPixel(), 3);

    const float coefficients[] = {0.299f, 0.587f, 0.114f};
    ExpectError(gesVerticalSubSamplingError, [&] { cm.SetYCbCrParameters(coefficients, 2, 4); });
    ExpectError(gesInvalidSubSampling, [&] { cm.SetYCbCrParameters(coefficients, 3, 1); });
    EXPECT_EQ(cm.HSubsampling(), 1);
    const float two[] = {0.25f, 0.636f};
    cm.SetYCbCrParameters(two, 4, 2);
    EXPECT_FLOAT_EQ(cm.YCbCrCoefficients()[0], 0.25f);
    EXPECT_FLOAT_EQ(cm.YCbCrCoefficients()[1], 0.636f);
    EXPECT_FLOAT_EQ(cm.YCbCrCoefficients()[2], 0.114f);
    EXPECT_EQ(cm.HSubsampling(), 4);
    EXPECT_EQ(cm.VSubsampling(), 2);
    // Weights that are none (of a damaged file) give way to the usual ones.
    const float hostile[][3] = {
        {0.299f, 0.0039f, 3e6f}, {0.299f, 0, 0.114f}, {NAN, 0.587f, 0.114f}, {0.5f, 0.25f, 0.114f}};
    for (const auto& k : hostile) {
        cm.SetYCbCrParameters(k, 1, 1);
        EXPECT_FLOAT_EQ(cm.YCbCrCoefficients()[0], 0.299f) << k[1];
        EXPECT_FLOAT_EQ(cm.YCbCrCoefficients()[1], 0.587f) << k[1];
        EXPECT_FLOAT_EQ(cm.YCbCrCoefficients()[2], 0.114f) << k[1];
    }
    // Weights that are still weights may make huge chroma terms: they saturate.
    const float tinyGreen[] = {0.5f, 1e-20f, 0.5f};
    cm.SetYCbCrParameters(tinyGreen, 1, 1);
    cm.SetSourceColorScheme(csYCbCr);
    cm.SetSourceBitsPerSample(8);
    const Bytes ycc = {128, 0, 0};
    Bytes bgr(3);
    cm.ConvertRow({ycc.data()}, bgr.data(), 1);
    EXPECT_EQ(bgr, (Bytes{0, 255, 0}));
}

TEST(ColorManager, IndexedAndColourSidesDoNotMix)
{
    TColorManager cm;
    Bytes row(16), out(16);
    cm.SetSourceColorScheme(csGA);
    cm.SetTargetColorScheme(csGA);
    ExpectError(gesIndexedNotSupported, [&] { cm.ConvertRow({row.data()}, out.data(), 1); });
    cm.SetSourceColorScheme(csRGB);
    cm.SetTargetColorScheme(csIndexed);
    ExpectError(gesIndexedNotSupported, [&] { cm.ConvertRow({row.data()}, out.data(), 1); });
    cm.SetSourceColorScheme(csCMY);
    cm.SetTargetColorScheme(csBGR);
    ExpectError(gesConversionUnsupported, [&] { cm.ConvertRow({row.data()}, out.data(), 1); });
    // Gray 16 to gray 4 has no converter; gray 8 to 8 goes through the indexed one.
    cm.SetSourceColorScheme(csG);
    cm.SetTargetColorScheme(csG);
    cm.SetSourceSamplesPerPixel(1);
    cm.SetTargetSamplesPerPixel(1);
    cm.SetSourceBitsPerSample(16);
    cm.SetTargetBitsPerSample(4);
    ExpectError(gesConversionUnsupported, [&] { cm.ConvertRow({row.data()}, out.data(), 1); });
    cm.SetSourceBitsPerSample(8);
    cm.SetTargetBitsPerSample(8);
    EXPECT_EQ(cm.RowConverterName(), "ConvertIndexedRow");
}

TEST(ColorManager, ConverterChoice)
{
    struct {
        TColorScheme source, target;
        int sourceBits, targetBits;
        const char* name;
    } rows[] = {
        {csIndexed, csIndexed, 16, 16, "ConvertIndexed16To16"},
        {csIndexed, csIndexed, 16, 8, "ConvertIndexed16ToPacked"},
        {csIndexed, csIndexed, 4, 16, "ConvertPackedToIndexed16"},
        {csIndexed, csIndexed, 1, 8, "ConvertIndexedRow"},
        {csG, csG, 16, 8, "ConvertGrayRow"},
        {csGA, csG, 8, 8, "ConvertGrayRow"},
        {csGA, csIndexed, 4, 8, ""},
        {csRGBA, csRGB, 8, 8, "ConvertRGBToRGB"},
        {csBGR, csRGBA, 8, 8, "ConvertBGRToRGB"},
        {csBGRA, csBGR, 8, 8, "ConvertBGRToBGR"},
        {csCMYK, csRGB, 8, 8, "ConvertCMYKToRGB"},
        {csCMYK, csBGRA, 8, 8, "ConvertCMYKToBGR"},
        {csCIELab, csRGB, 8, 8, "ConvertLabToRGB"},
        {csCIELab, csBGR, 8, 8, "ConvertLabToBGR"},
        {csYCbCr, csRGB, 8, 8, "ConvertYCbCrToRGB"},
        {csYCbCr, csBGR, 8, 8, "ConvertYCbCrToBGR"},
        {csPhotoYCC, csRGB, 8, 8, "ConvertPhotoYCCToRGB"},
        {csPhotoYCC, csBGRA, 8, 8, "ConvertPhotoYCCToBGR"},
        {csUnknown, csBGR, 8, 8, ""},
    };
    for (const auto& r : rows) {
        TColorManager cm;
        cm.SetSourceColorScheme(r.source);
        cm.SetTargetColorScheme(r.target);
        cm.SetSourceBitsPerSample(r.sourceBits);
        cm.SetTargetBitsPerSample(r.targetBits);
        EXPECT_EQ(cm.RowConverterName(), r.name) << int(r.source) << " -> " << int(r.target);
        // The alpha option follows the schemes.
        EXPECT_EQ((cm.SourceOptions & optAlpha) != 0, r.source == csGA || r.source == csRGBA || r.source == csBGRA);
        EXPECT_EQ((cm.TargetOptions & optAlpha) != 0, r.target == csRGBA || r.target == csBGRA);
    }
}

TEST(ColorManager, PixelFormatOfEachSide)
{
    TColorManager cm;
    auto format = [&](int samples, int bits) {
        cm.SetTargetSamplesPerPixel(samples);
        cm.SetTargetBitsPerSample(bits);
        return cm.GetPixelFormat(1);
    };
    EXPECT_EQ(format(1, 1), pf1bit);
    EXPECT_EQ(format(1, 2), pf4bit);
    EXPECT_EQ(format(1, 4), pf4bit);
    EXPECT_EQ(format(1, 6), pfCustom);
    EXPECT_EQ(format(1, 8), pf8bit);
    EXPECT_EQ(format(1, 16), pf8bit);
    EXPECT_EQ(format(2, 8), pfCustom);
    EXPECT_EQ(format(3, 5), pf15bit);
    EXPECT_EQ(format(3, 8), pf24bit);
    EXPECT_EQ(format(4, 4), pfCustom);
    EXPECT_EQ(format(4, 8), pf32bit);
    cm.SetSourceSamplesPerPixel(1);
    cm.SetSourceBitsPerSample(1);
    EXPECT_EQ(cm.GetPixelFormat(0), pf1bit);
}

TEST(ColorManager, GammaTable)
{
    TColorManager cm;
    cm.SetGamma(0, -1);
    EXPECT_FLOAT_EQ(cm.FileGamma(), 1.0f);
    EXPECT_FLOAT_EQ(cm.DisplayGamma(), 2.2f);
    // 8 to 8 bits: 255 * (i / 255) ^ (1 / 2.2), rounded.
    for (int i : {0, 1, 64, 128, 255})
        EXPECT_EQ(cm.GammaTable()[i], std::lround(255 * std::pow(i / 255.0, 1 / 2.2))) << i;
    // A file gamma of 1 / 2.2 makes the table nearly linear.
    cm.SetGamma(100000.0f / 220000.0f, 2.2f);
    for (int i = 0; i < 256; ++i) EXPECT_NEAR(cm.GammaTable()[i], i, 1);
    // The table is built for the depths in force: 4-bit source to 8-bit target.
    cm.SetSourceBitsPerSample(4);
    cm.SetGamma(1.0f, 1.0f);
    EXPECT_EQ(cm.GammaTable()[15], 255);
    EXPECT_EQ(cm.GammaTable()[5], 85);
    EXPECT_EQ(cm.GammaTable()[16], 0);
}

TEST(ColorManager, GrayscalePalettes)
{
    TColorManager cm;
    cm.SetTargetSamplesPerPixel(1);
    cm.SetTargetBitsPerSample(1);
    HPALETTE p = cm.CreateGrayscalePalette(true);
    ASSERT_EQ(p->entries.size(), 2u);
    EXPECT_EQ(p->entries[0].peRed, 255);
    EXPECT_EQ(p->entries[1].peRed, 0);
    cm.SetTargetBitsPerSample(4);
    p = cm.CreateGrayscalePalette(false);
    ASSERT_EQ(p->entries.size(), 16u);
    EXPECT_EQ(p->entries[1].peGreen, 17);
    EXPECT_EQ(p->entries[15].peBlue, 255);
    cm.SetTargetBitsPerSample(8);
    cm.SetTargetSamplesPerPixel(3);  // 24 bits: capped at 8
    p = cm.CreateGrayscalePalette(false);
    EXPECT_EQ(p->entries.size(), 256u);
    // With gamma the entries pass through the table.
    cm.TargetOptions |= optGamma;
    cm.SetTargetSamplesPerPixel(1);
    p = cm.CreateGrayscalePalette(false);
    EXPECT_EQ(p->entries[128].peRed, cm.GammaTable()[128]);
}

TEST(ColorManager, ColourPalettesFromEveryLayout)
{
    TColorManager cm;
    const Bytes bgr = {1, 2, 3, 4, 5, 6};
    const void* interleaved[] = {bgr.data()};
    HPALETTE p = cm.CreateColorPalette(interleaved, pfInterlaced8Triple, 2, true);
    ASSERT_EQ(p->entries.size(), 2u);
    EXPECT_EQ(p->entries[0].peRed, 3);
    EXPECT_EQ(p->entries[0].peBlue, 1);
    p = cm.CreateColorPalette(interleaved, pfInterlaced8Triple, 2, false);
    EXPECT_EQ(p->entries[1].peRed, 4);
    const Bytes quads = {1, 2, 3, 99, 4, 5, 6, 99};
    const void* q[] = {quads.data()};
    p = cm.CreateColorPalette(q, pfInterlaced8Quad, 2, true);
    EXPECT_EQ(p->entries[1].peRed, 6);
    EXPECT_EQ(p->entries[1].peBlue, 4);

    const Bytes r = {10, 11}, g = {20, 21}, b = {30, 31};
    const void* planes[] = {r.data(), g.data(), b.data()};
    p = cm.CreateColorPalette(planes, pfPlane8Triple, 2, true);  // order not consulted
    EXPECT_EQ(p->entries[1].peRed, 11);
    EXPECT_EQ(p->entries[1].peGreen, 21);
    EXPECT_EQ(p->entries[1].peBlue, 31);

    // 16-bit planes, stored big-endian.
    const std::vector<uint16_t> r16 = {0xFFFF, 0x0080}, g16 = {0x0000, 0x0000}, b16 = {0x0080, 0x0000};
    const void* planes16[] = {r16.data(), g16.data(), b16.data()};
    cm.SourceOptions |= optSwapBytes;
    p = cm.CreateColorPalette(planes16, pfPlane16Triple, 2, false);
    EXPECT_EQ(p->entries[0].peRed, 255);
    EXPECT_EQ(p->entries[0].peBlue, 127);  // 0x8000 * 255 / 65535
    EXPECT_EQ(p->entries[1].peRed, 127);
    cm.SourceOptions = 0;

    Bytes many(300 * 3, 0);
    const void* m[] = {many.data()};
    EXPECT_EQ(cm.CreateColorPalette(m, pfInterlaced8Triple, 300, false)->entries.size(), 256u);
    EXPECT_EQ(cm.CreateColorPalette(m, 9, 4, false)->entries.size(), 4u);  // unknown layout: black entries
}

TEST(ColorManager, PalettesAreRescaledToTheTargetDepth)
{
    TColorManager cm;
    cm.SetSourceBitsPerSample(1);
    cm.SetTargetBitsPerSample(4);
    const Bytes two = {10, 10, 10, 200, 200, 200};
    const void* d[] = {two.data()};
    HPALETTE p = cm.CreateColorPalette(d, pfInterlaced8Triple, 2, false);
    ASSERT_EQ(p->entries.size(), 16u);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(p->entries[static_cast<size_t>(i)].peRed, 10) << i;
    EXPECT_EQ(p->entries[15].peRed, 200);
    // From 4 bits down to 1: entries 0 and 15.
    cm.SetSourceBitsPerSample(4);
    cm.SetTargetBitsPerSample(1);
    Bytes sixteen;
    for (int i = 0; i < 16; ++i) sixteen.insert(sixteen.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
    const void* s[] = {sixteen.data()};
    p = cm.CreateColorPalette(s, pfInterlaced8Triple, 16, false);
    ASSERT_EQ(p->entries.size(), 2u);
    EXPECT_EQ(p->entries[1].peRed, 15);
    // A 16-bit source: indexes past 255 stay inside the table (black).
    cm.SetSourceBitsPerSample(16);
    cm.SetTargetBitsPerSample(8);
    p = cm.CreateColorPalette(s, pfInterlaced8Triple, 16, false);
    ASSERT_EQ(p->entries.size(), 256u);
    EXPECT_EQ(p->entries[0].peRed, 0);
    EXPECT_EQ(p->entries[1].peRed, 0);  // entry 257 of a 256-entry table
}

TEST(ColorManager, ChromaTables)
{
    TColorManager cm;
    cm.SetSourceColorScheme(csYCbCr);
    ASSERT_EQ(cm.RowConverterName(), "ConvertYCbCrToBGR");
    ASSERT_EQ(cm.CrToRed().size(), 256u);
    EXPECT_EQ(cm.CrToRed()[128], 0);
    EXPECT_EQ(cm.CrToRed()[255], std::lround(127 * (2 - 2 * 0.299)));
    EXPECT_EQ(cm.CbToBlue()[0], std::lround(-128 * (2 - 2 * 0.114)));
    EXPECT_EQ(cm.CrToGreen()[200], -std::lround(72 * 0.299 * (2 - 2 * 0.299) / 0.587));
    cm.SetSourceColorScheme(csPhotoYCC);
    ASSERT_EQ(cm.RowConverterName(), "ConvertPhotoYCCToBGR");
    EXPECT_EQ(cm.CrToRed()[137], 0);
    EXPECT_EQ(cm.CbToBlue()[156], 0);
}

}  // namespace
