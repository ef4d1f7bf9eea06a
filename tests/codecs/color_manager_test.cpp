// The colour manager: its settings and refusals, the rows it converts for every pair of colour schemes and depths,
// and the palettes it builds.
#include <cmath>
#include <functional>
#include <sstream>
#include <tuple>

#include "codec_test.h"
#include "codecs/codec_messages.h"
#include "codecs/color_manager.h"

namespace {

constexpr uint8_t E = 0xEE;  // a target byte the converter did not write

// 16-bit samples as this machine stores them, and byte-swapped.
Bytes W(std::initializer_list<uint16_t> words, bool swapped = false)
{
    Bytes b;
    for (uint16_t w : words) {
        b.push_back(uint8_t(swapped ? w >> 8 : w));
        b.push_back(uint8_t(swapped ? w : w >> 8));
    }
    return b;
}
Bytes Swapped(std::initializer_list<uint16_t> words) { return W(words, true); }

TColorManager Manager(TColorScheme source, TColorScheme target, int sourceBits, int targetBits, int sourceSamples,
                      int targetSamples, TConversionOptions sourceOptions = 0)
{
    TColorManager cm;
    cm.SetSourceColorScheme(source);
    cm.SetTargetColorScheme(target);
    cm.SetSourceBitsPerSample(sourceBits);
    cm.SetTargetBitsPerSample(targetBits);
    cm.SetSourceSamplesPerPixel(sourceSamples);
    cm.SetTargetSamplesPerPixel(targetSamples);
    cm.SourceOptions = sourceOptions;
    return cm;
}

// The colour manager's message of the error that f raises, "" when none.
std::string ErrorOf(const std::function<void()>& f)
{
    try {
        f();
        return "";
    } catch (const EColorConversionError& e) {
        return e.what();
    }
}

struct Conversion {
    const char* name;
    TColorScheme source, target;
    int sourceBits, targetBits, sourceSamples, targetSamples;
    std::vector<Bytes> planes;  // one for interleaved samples
    Bytes expected;
    uint32_t count = 1;
    TConversionOptions sourceOptions = 0;
    bool gamma = false;
    uint8_t mask = 0xFF;
    Bytes before = {};  // the target's bytes before the conversion; 0xEE when empty
};

TEST(ColorManager, ConvertsRows)
{
    const Bytes rgba = {1, 2, 3, 4, 5, 6, 7, 8}, grayAlpha = {10, 255, 20, 0, 30, 128};
    const Conversion cases[] = {
        {"interlace mask: only its pixels",
         csRGB,
         csBGR,
         8,
         8,
         3,
         3,
         {{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}},
         {E, E, E, 1, 1, 1, E, E, E, 2, 2, 2, E, E, E, 3, 3, 3, E, E, E, 4, 4, 4},
         8,
         0,
         false,
         0x55},
        {"RGBA to BGR drops alpha", csRGBA, csBGR, 8, 8, 4, 3, {rgba}, {3, 2, 1, 7, 6, 5}, 2},
        {"RGB to BGRA keeps the target's alpha", csRGB, csBGRA, 8, 8, 3, 4, {rgba}, {3, 2, 1, E, 6, 5, 4, E}, 2},
        {"BGR to RGB", csBGR, csRGB, 8, 8, 3, 3, {{1, 2, 3}}, {3, 2, 1}},
        {"BGR to BGR", csBGR, csBGR, 8, 8, 3, 3, {{1, 2, 3}}, {1, 2, 3}},
        {"16 bits to 16, swapped",
         csRGB,
         csRGB,
         16,
         16,
         3,
         3,
         {Swapped({0xFFFF, 0x8000, 0x0101})},
         W({0xFFFF, 0x8000, 0x0101}),
         1,
         optSwapBytes},
        {"8 bits widened to 16", csRGB, csRGB, 8, 16, 3, 3, {{255, 1, 0}}, W({0xFFFF, 0x0101, 0})},
        {"8 bits widened to 16, swapped",
         csRGB,
         csRGB,
         8,
         16,
         3,
         3,
         {{255, 1, 0}},
         W({0xFFFF, 0x0101, 0}),
         1,
         optSwapBytes},
        {"4-bit colour writes nothing", csRGB, csBGR, 4, 8, 3, 3, {{255, 1, 0}}, {E, E, E}},
        {"gamma on colour, not alpha",
         csRGBA,
         csBGRA,
         8,
         8,
         4,
         4,
         {{64, 128, 192, 100}},
         {224, 186, 136, 100},
         1,
         0,
         true},
        {"gamma on 16-bit samples",
         csRGBA,
         csBGRA,
         16,
         8,
         4,
         4,
         {W({0x4040, 0x8080, 0xC0C0, 0x6464})},
         {224, 186, 136, 100},
         1,
         0,
         true},
        {"1-bit indexes to 8", csIndexed, csIndexed, 1, 8, 1, 1, {{0xA0}}, {255, 0, 255}, 3},
        {"8-bit indexes to 4; the last nibble kept",
         csIndexed,
         csIndexed,
         8,
         4,
         1,
         1,
         {{255, 0x11, 0x22}},
         {0xF1, 0x2E},
         3},
        {"equal depths: whole bytes", csIndexed, csIndexed, 4, 4, 1, 1, {{0x12, 0x34}}, {0x12, 0x34}, 3},
        {"masked nibbles keep their bits",
         csIndexed,
         csIndexed,
         4,
         4,
         1,
         1,
         {{0x12, 0x34}},
         {0xA1, 0xC2},
         4,
         0,
         false,
         0x50,
         {0xAB, 0xCD}},
        {"2-bit indexes spread over 4", csIndexed, csIndexed, 2, 4, 1, 1, {{0x1B}}, {0x05, 0xAF}, 4},
        {"16-bit indexes", csIndexed, csIndexed, 16, 16, 1, 1, {W({0x1234, 0xABCD})}, W({0x1234, 0xABCD}), 2},
        {"16-bit indexes, swapped",
         csIndexed,
         csIndexed,
         16,
         16,
         1,
         1,
         {W({0x1234, 0xABCD})},
         W({0x3412, 0xCDAB}),
         2,
         optSwapBytes},
        {"16-bit indexes packed", csIndexed, csIndexed, 16, 4, 1, 1, {W({0xFFFF, 0, 0x8000})}, {0xF0, 0x7E}, 3},
        {"packed indexes to 16 bits", csIndexed, csIndexed, 1, 16, 1, 1, {{0x80}}, W({0xFFFF, 0}), 2},
        {"gray widened to 16 bits", csGA, csG, 8, 16, 1, 1, {grayAlpha}, W({0x0A0A, 0x1414, 0x1E1E}), 3},
        {"CMYK planes to RGBA", csCMYK, csRGBA, 8, 8, 4, 4, {{255}, {0}, {0}, {0}}, {0, 255, 255, E}},
        {"16-bit CMYK", csCMYK, csBGR, 16, 16, 4, 3, {W({0x8000, 0, 0, 0x0100})}, W({0xFEFF, 0xFEFF, 0x7F7F})},
        {"16-bit CMYK, swapped",
         csCMYK,
         csBGR,
         16,
         8,
         4,
         3,
         {Swapped({0x8000, 0, 0, 0x0100})},
         {255, 255, 127},
         1,
         optSwapBytes},
        {"YCbCr red", csYCbCr, csBGR, 8, 8, 3, 3, {{76, 85, 255}}, {0, 0, 254}},
        {"16-bit YCbCr", csYCbCr, csRGB, 16, 16, 3, 3, {W({0x1000, 0x9C9C, 0x8989})}, W({5564, 5564, 5564})},
        {"PhotoYCC neutral chroma", csPhotoYCC, csRGB, 8, 8, 3, 3, {{100, 156, 137}}, {100, 100, 100}},
    };
    for (const Conversion& c : cases) {
        TColorManager cm =
            Manager(c.source, c.target, c.sourceBits, c.targetBits, c.sourceSamples, c.targetSamples, c.sourceOptions);
        if (c.gamma) cm.TargetOptions |= optGamma;
        std::vector<const void*> planes;
        for (const Bytes& p : c.planes) planes.push_back(p.data());
        Bytes target = c.before.empty() ? Bytes(c.expected.size(), E) : c.before;
        cm.ConvertRow(planes, target.data(), c.count, c.mask);
        EXPECT_EQ(target, c.expected) << c.name;
    }
}

// L*a*b* samples of 8 bits (L* over 0..255, a* and b* signed or, in Photoshop files, offset by 128) and of 16 (256
// steps a unit of a* and b*, in either byte order) show the sRGB colours of a colour-managed (ICC, relative
// colorimetric) conversion under the D50 white.
TEST(ColorManager, ConvertsLabAsAColourManagedDecodingShowsIt)
{
    const int colours[][6] = {{0, 0, 0, 0, 0, 0},        {255, 0, 0, 255, 255, 255},  {137, 0, 0, 128, 128, 128},
                              {49, -1, 0, 45, 47, 47},   {138, 81, 70, 255, 0, 0},    {224, -79, 81, 9, 255, 0},
                              {75, 68, -112, 0, 1, 254}, {138, 38, 46, 199, 100, 50}, {200, -20, -30, 113, 207, 249}};
    for (const auto& [L, a, b, red, green, blue] : colours) {
        const uint16_t l = uint16_t(L * 257), a16 = uint16_t(a * 256), b16 = uint16_t(b * 256);
        for (auto [bits, options, sample] :
             {std::tuple{8, 0, Bytes{uint8_t(L), uint8_t(a), uint8_t(b)}},
              {8, optLabOffsetAB, Bytes{uint8_t(L), uint8_t(a + 128), uint8_t(b + 128)}},
              {16, 0, W({l, a16, b16})},
              {16, optSwapBytes, Swapped({l, a16, b16})},
              {16, optSwapBytes | optLabOffsetAB, Swapped({l, uint16_t(a16 + 32768), uint16_t(b16 + 32768)})}}) {
            TColorManager cm = Manager(csCIELab, csBGR, bits, 8, 3, 3, TConversionOptions(optLabByteL | options));
            Bytes out(3);
            cm.ConvertRow({sample.data()}, out.data(), 1);
            SCOPED_TRACE(testing::Message()
                         << "L " << L << " a " << a << " b " << b << ", " << bits << " bits, options " << options);
            EXPECT_NEAR(out[2], red, 1);
            EXPECT_NEAR(out[1], green, 1);
            EXPECT_NEAR(out[0], blue, 1);
        }
    }
    // A 16-bit target, red first; the target's alpha is left alone.
    TColorManager wide = Manager(csCIELab, csRGBA, 8, 16, 3, 4, optLabByteL);
    Bytes out = W({1, 2, 3, 0x1234}), white = {255, 0, 0};
    wide.ConvertRow({white.data()}, out.data(), 1);
    EXPECT_EQ(out, W({0xFFFF, 0xFFFF, 0xFFFF, 0x1234}));
}

TEST(ColorManager, SettingsAndRefusals)
{
    TColorManager cm;
    EXPECT_EQ(std::tuple(cm.SourceColorScheme(), cm.TargetColorScheme(), cm.TargetBitsPerSample(),
                         cm.SourceSamplesPerPixel(), cm.TargetSamplesPerPixel(), cm.RowConverterName()),
              std::tuple(csRGB, csBGR, 8, 3, 3, std::string("ConvertRGBToBGR")));
    const std::string depth = LoadStr(gesInvalidSampleDepth), samples = LoadStr(gesInvalidPixelDepth);
    EXPECT_EQ(ErrorOf([&] { cm.SetSourceBitsPerSample(0); }), depth);
    EXPECT_EQ(ErrorOf([&] { cm.SetSourceBitsPerSample(17); }), depth);
    EXPECT_EQ(ErrorOf([&] { cm.SetTargetBitsPerSample(0); }), depth);
    EXPECT_EQ(ErrorOf([&] { cm.SetSourceSamplesPerPixel(0); }), samples);
    EXPECT_EQ(ErrorOf([&] { cm.SetTargetSamplesPerPixel(5); }), samples);
    EXPECT_EQ(cm.SourceBitsPerSample(), 8);  // refusals keep the old value
    // A whole side at once: the scheme, then the bits and the samples, refused as their own setters refuse them.
    TColorManager sides;
    EXPECT_EQ(ErrorOf([&] { sides.SetSource(csCMYK, 17, 0); }), depth);
    EXPECT_EQ(ErrorOf([&] { sides.SetTarget(csBGRA, 8, 5); }), samples);
    sides.SetSource(csRGBA, 16, 4);
    sides.SetTarget(csRGB, 16, 3);
    EXPECT_EQ(std::tuple(sides.SourceColorScheme(), sides.SourceBitsPerSample(), sides.SourceSamplesPerPixel(),
                         sides.TargetColorScheme(), sides.TargetBitsPerSample(), sides.TargetSamplesPerPixel()),
              std::tuple(csRGBA, 16, 4, csRGB, 16, 3));
    const float usual[] = {0.299f, 0.587f, 0.114f}, two[] = {0.25f, 0.636f};
    EXPECT_EQ(ErrorOf([&] { cm.SetYCbCrParameters(usual, 2, 4); }), LoadStr(gesVerticalSubSamplingError));
    EXPECT_EQ(ErrorOf([&] { cm.SetYCbCrParameters(usual, 3, 1); }), LoadStr(gesInvalidSubSampling));
    EXPECT_EQ(ErrorOf([&] { cm.SetYCbCrParameters(usual, 1, 3); }), LoadStr(gesInvalidSubSampling));
    EXPECT_EQ(cm.HSubsampling(), 1);
    // Two weights replace the first two; weights of a damaged file that are none give way to the usual ones.
    cm.SetYCbCrParameters(two, 4, 2);
    EXPECT_EQ(std::tuple(cm.YCbCrCoefficients()[0], cm.YCbCrCoefficients()[1], cm.YCbCrCoefficients()[2],
                         cm.HSubsampling(), cm.VSubsampling()),
              std::tuple(0.25f, 0.636f, 0.114f, 4, 2));
    for (const auto& k :
         {std::array{0.299f, 0.0039f, 3e6f}, {0.299f, 0, 0.114f}, {NAN, 0.587f, 0.114f}, {0.5f, 0.25f, 0.114f}}) {
        cm.SetYCbCrParameters(k, 1, 1);
        EXPECT_EQ(std::vector<float>(cm.YCbCrCoefficients(), cm.YCbCrCoefficients() + 3),
                  std::vector<float>(usual, usual + 3));
    }
    // Weights that are still weights may make huge chroma terms: they saturate.
    const float tinyGreen[] = {0.5f, 1e-20f, 0.5f};
    cm.SetYCbCrParameters(tinyGreen, 1, 1);
    cm.SetSourceColorScheme(csYCbCr);
    const Bytes ycc = {128, 0, 0};
    Bytes out(3);
    cm.ConvertRow({ycc.data()}, out.data(), 1);
    EXPECT_EQ(out, (Bytes{0, 255, 0}));
    EXPECT_EQ(cm.CrToRed().size() + cm.CbToBlue().size() + cm.CrToGreen().size() + cm.CbToGreen().size(), 4 * 256u);
    // Indexed and colour sides do not mix; some pairs have no converter.
    const std::string mixed = LoadStr(gesIndexedNotSupported), none = LoadStr(gesConversionUnsupported);
    for (auto [source, target, sourceBits, targetBits, error] : {std::tuple{csGA, csGA, 8, 8, mixed},
                                                                 {csRGB, csIndexed, 8, 8, mixed},
                                                                 {csIndexed, csBGR, 8, 8, mixed},
                                                                 {csCMY, csBGR, 8, 8, none},
                                                                 {csG, csG, 16, 4, none},
                                                                 {csUnknown, csBGR, 8, 8, none}}) {
        TColorManager m = Manager(source, target, sourceBits, targetBits, 1, 1);
        EXPECT_EQ(ErrorOf([&] { m.ConvertRow({ycc.data()}, out.data(), 1); }), error)
            << int(source) << " " << int(target);
    }
}

// Sides of no bitmap format; bad gammas give the usual ones; the gamma table spans the depths in force.
TEST(ColorManager, PixelFormatAndGamma)
{
    EXPECT_EQ(
        std::pair(Manager(csG, csG, 8, 6, 1, 1).GetPixelFormat(1), Manager(csGA, csG, 8, 8, 2, 2).GetPixelFormat(0)),
        std::pair(pfCustom, pfCustom));
    TColorManager cm = Manager(csIndexed, csIndexed, 4, 8, 1, 1);
    cm.SetGamma(0, -1);
    EXPECT_EQ(std::pair(cm.FileGamma(), cm.DisplayGamma()), std::pair(1.0f, 2.2f));
    cm.SetGamma(1.0f, 1.0f);
    EXPECT_EQ(Bytes(cm.GammaTable() + 4, cm.GammaTable() + 17),
              (Bytes{68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255, 0}));
}

std::string Entries(HPALETTE p, std::initializer_list<int> indexes)
{
    std::ostringstream s;
    s << p->entries.size() << ":";
    for (int i : indexes)
        s << " " << int(p->entries[i].peRed) << "," << int(p->entries[i].peGreen) << "," << int(p->entries[i].peBlue);
    return s.str();
}

// Palettes beyond what the readers build: more than 256 entries, a layout of no kind, and rescaled depths (1 bit to 4
// spreads the entries; 4 to 1 takes entries 0 and 15; a 16-bit source's indexes past 255 stay inside the table).
TEST(ColorManager, Palettes)
{
    Bytes ramp;
    for (int i = 0; i < 300; ++i) ramp.insert(ramp.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
    const void* data[] = {ramp.data()};
    auto palette = [&](int sourceBits, int targetBits, uint8_t format, uint32_t count,
                       std::initializer_list<int> indexes) {
        return Entries(
            Manager(csIndexed, csIndexed, sourceBits, targetBits, 1, 1).CreateColorPalette(data, format, count, false),
            indexes);
    };
    EXPECT_EQ(palette(8, 8, pfInterlaced8Triple, 300, {255}), "256: 255,255,255");
    EXPECT_EQ(palette(8, 8, 9, 4, {3}), "4: 0,0,0");
    EXPECT_EQ(palette(1, 4, pfInterlaced8Triple, 2, {0, 14, 15}), "16: 0,0,0 0,0,0 1,1,1");
    EXPECT_EQ(palette(4, 1, pfInterlaced8Triple, 16, {0, 1}), "2: 0,0,0 15,15,15");
    EXPECT_EQ(palette(16, 8, pfInterlaced8Triple, 16, {0, 1}), "256: 0,0,0 0,0,0");
    TColorManager cm = Manager(csIndexed, csIndexed, 8, 1, 1, 1);
    EXPECT_EQ(Entries(cm.CreateGrayscalePalette(true), {0, 1}), "2: 255,255,255 0,0,0");
}

}  // namespace
