// The colour manager: turns the samples of a picture file (any colour
// scheme, sample depth, sample count and byte order) into the pixels of the
// bitmap a reader fills, builds the palettes of indexed and gray pictures and
// tells the reader which bitmap pixel format suits a side.
//
// A reader describes the source side (the file) and the target side (the
// bitmap), asks GetPixelFormat(1) for the bitmap's format, builds the palette
// when the target is indexed or gray, and then hands over one row at a time
// with ConvertRow. The row converter is chosen at the first row after a
// setting changed.
#pragma once

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gdi/graphics.h"

class EColorConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raises EColorConversionError with the codec text of the identifier.
[[noreturn]] void ColorManagerError(uint16_t messageId);

enum TColorScheme : uint8_t {
    csUnknown = 0,
    csIndexed = 1,
    csG = 2,   // gray
    csGA = 3,  // gray and alpha
    csRGB = 4,
    csRGBA = 5,
    csBGR = 6,
    csBGRA = 7,
    csCMY = 8,
    csCMYK = 9,
    csCIELab = 10,
    csYCbCr = 11,
    csPhotoYCC = 12,
};

// Options of one side, a bit set.
using TConversionOptions = uint8_t;
// The side carries an alpha sample (set by the colour manager from the scheme).
constexpr TConversionOptions optAlpha = 1;
// Target: pass 8-bit results through the gamma table.
constexpr TConversionOptions optGamma = 2;
// Source: 16-bit samples are stored most significant byte first.
constexpr TConversionOptions optSwapBytes = 4;
// Source: L* is stored over the sample's whole range, 0..255 or 0..65535
// for 0..100 (else as 0..100).
constexpr TConversionOptions optLabByteL = 8;
// Source: a* and b* are stored unsigned with half the range (128 or 32768) as
// zero (else signed); 16-bit samples hold 256 steps per unit.
constexpr TConversionOptions optLabOffsetAB = 16;

// Layouts of the raw colour data CreateColorPalette reads.
enum : uint8_t {
    pfInterlaced8Triple = 0,  // r g b r g b ... (b g r with BGROrder)
    pfInterlaced8Quad = 1,    // r g b x ...
    pfPlane8Triple = 2,       // three planes: red, green, blue
    pfPlane8Quad = 3,
    pfInterlaced16Triple = 4,  // 16-bit samples
    pfInterlaced16Quad = 5,
    pfPlane16Triple = 6,
    pfPlane16Quad = 7,
};

class TColorManager {
public:
    TColorManager();

    uint8_t SourceBitsPerSample() const { return sourceBPS_; }
    uint8_t TargetBitsPerSample() const { return targetBPS_; }
    uint8_t SourceSamplesPerPixel() const { return sourceSPP_; }
    uint8_t TargetSamplesPerPixel() const { return targetSPP_; }
    TColorScheme SourceColorScheme() const { return sourceScheme_; }
    TColorScheme TargetColorScheme() const { return targetScheme_; }
    // Bits per sample 1..16 (else 65226); only 1, 2, 4, 8 and 16 convert.
    void SetSourceBitsPerSample(int value);
    void SetTargetBitsPerSample(int value);
    // Samples per pixel 1..4 (else 65227).
    void SetSourceSamplesPerPixel(int value);
    void SetTargetSamplesPerPixel(int value);
    void SetSourceColorScheme(TColorScheme value);
    void SetTargetColorScheme(TColorScheme value);
    // A whole side: the scheme, then the bits per sample and the samples per
    // pixel, refused as their own setters refuse them and in that order.
    void SetSource(TColorScheme scheme, int bitsPerSample, int samplesPerPixel);
    void SetTarget(TColorScheme scheme, int bitsPerSample, int samplesPerPixel);

    // Read at every row; writing them needs no new converter choice.
    TConversionOptions SourceOptions = 0;
    TConversionOptions TargetOptions = 0;

    // Builds the gamma table for the depths in force; values not above 0
    // become 1.0 and 2.2.
    void SetGamma(float fileGamma, float displayGamma = 2.2f);
    float FileGamma() const { return fileGamma_; }
    float DisplayGamma() const { return displayGamma_; }
    const uint8_t* GammaTable() const { return gammaTable_; }

    // Luma weights (missing ones keep their values; a set that is not
    // positive weights adding up to about 1 becomes 0.299, 0.587, 0.114) and
    // chroma subsampling (1, 2 or 4 each, vertical not above horizontal:
    // else 65228 / 65229).
    void SetYCbCrParameters(std::span<const float> values, int hSubsampling, int vSubsampling);
    const float* YCbCrCoefficients() const { return ycbcrCoefficients_; }
    uint8_t HSubsampling() const { return hSubsampling_; }
    uint8_t VSubsampling() const { return vSubsampling_; }
    // The chroma tables of the last YCbCr or PhotoYCC preparation.
    const std::vector<int32_t>& CrToRed() const { return crToRed_; }
    const std::vector<int32_t>& CbToBlue() const { return cbToBlue_; }
    const std::vector<int32_t>& CrToGreen() const { return crToGreen_; }
    const std::vector<int32_t>& CbToGreen() const { return cbToGreen_; }

    // The bitmap format for the source side (index 0) or the target side.
    TPixelFormat GetPixelFormat(int index) const;

    // Converts Count target pixels from one row. Source holds one pointer
    // for interleaved samples or one per sample plane; Mask selects the
    // target pixels written (255: all), see the row converters.
    void ConvertRow(std::span<const void* const> source, void* target, uint32_t count, uint8_t mask = 0xFF);
    // The same with the pointers listed: ConvertRow({row}, scanLine, width).
    void ConvertRow(std::initializer_list<const void*> source, void* target, uint32_t count, uint8_t mask = 0xFF)
    {
        ConvertRow(std::span<const void* const>(source.begin(), source.size()), target, count, mask);
    }
    // Name of the converter chosen for the current settings ("" when none),
    // choosing it first when a setting changed.
    std::string RowConverterName();

    // A palette from raw colour data (see the layouts above), rescaled to the
    // target depth's number of entries when the depths differ.
    HPALETTE CreateColorPalette(std::span<const void* const> data, uint8_t format, uint32_t count, bool bgrOrder);
    // A gray ramp with one entry per target value (at most 256).
    HPALETTE CreateGrayscalePalette(bool minimumIsWhite);

private:
    using TRowConverter = void (TColorManager::*)(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);

    // Stores a setting; a new value makes the next row pick its converter anew.
    template <class T>
    void Change(T& field, T value)
    {
        if (value != field) {
            field = value;
            changed_ = true;
        }
    }
    // A bits-per-sample or samples-per-pixel setting from 1 to most; other
    // values raise the message.
    void SetCount(uint8_t& field, int value, int most, uint16_t messageId);
    void PrepareConversion();
    void BuildChromaTables(bool photoYCC);

    void ConvertRGBFamily(std::span<const void* const> source, uint8_t* target, uint32_t count, uint8_t mask,
                          bool sourceBGR, bool targetBGR);
    void ConvertCMYKFamily(std::span<const void* const> source, uint8_t* target, uint32_t count, uint8_t mask,
                           bool targetBGR);
    void ConvertLabFamily(std::span<const void* const> source, uint8_t* target, uint32_t count, uint8_t mask,
                          bool targetBGR);
    void ConvertYCbCrFamily(std::span<const void* const> source, uint8_t* target, uint32_t count, uint8_t mask,
                            bool targetBGR);

    // The seventeen row converters.
    void ConvertRGBToBGR(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertRGBToRGB(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertBGRToBGR(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertBGRToRGB(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertCMYKToBGR(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertCMYKToRGB(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertLabToBGR(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertLabToRGB(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertYCbCrToBGR(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertYCbCrToRGB(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertPhotoYCCToBGR(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertPhotoYCCToRGB(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertGrayRow(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertIndexedRow(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertIndexed16To16(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertIndexed16ToPacked(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    void ConvertPackedToIndexed16(std::span<const void* const>, uint8_t*, uint32_t, uint8_t);
    // For each value of as many bits as the mask has, the byte of a bilevel
    // row whose pixels the mask lets through take those bits, in order; kept
    // for the last mask asked for.
    const uint8_t* DepositTable(uint8_t mask);

    bool changed_ = true;
    uint8_t sourceBPS_ = 8;
    uint8_t targetBPS_ = 8;
    uint8_t sourceSPP_ = 3;
    uint8_t targetSPP_ = 3;
    float fileGamma_ = 1.0f;
    float displayGamma_ = 2.2f;
    uint8_t gammaTable_[256] = {};
    float ycbcrCoefficients_[3] = {0.299f, 0.587f, 0.114f};
    uint8_t hSubsampling_ = 1;
    uint8_t vSubsampling_ = 1;
    std::vector<int32_t> crToRed_, cbToBlue_, crToGreen_, cbToGreen_;
    TColorScheme sourceScheme_ = csRGB;
    TColorScheme targetScheme_ = csBGR;
    TRowConverter rowConverter_ = nullptr;
    const char* rowConverterName_ = "";
    uint8_t depositMask_ = 0;
    uint8_t deposit_[256] = {};
};

// Small helpers shared with the readers.
inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }
// v x m div d with a 32-bit product (v is taken as 16 bits).
inline uint32_t MulDiv16(uint32_t v, uint32_t m, uint32_t d) { return d ? ((v & 0xFFFF) * m) / d : 0; }

// Sample functions: one sample in, one sample out, with the manager's gamma
// table at hand. The converters pick one per configuration and instantiate
// their pixel loops with it, so each call inlines to a copy, a lookup or a
// little integer arithmetic.
inline uint8_t SamplePass8(const TColorManager&, uint8_t v) { return v; }
inline uint16_t SamplePass16(const TColorManager&, uint16_t v) { return v; }
inline uint8_t SampleGamma8(const TColorManager& cm, uint8_t v) { return cm.GammaTable()[v]; }
inline uint16_t SampleSwap16(const TColorManager&, uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
inline uint8_t SampleScale16(const TColorManager&, uint16_t v) { return static_cast<uint8_t>(MulDiv16(v, 255, 65535)); }
inline uint8_t SampleScaleGamma16(const TColorManager& cm, uint16_t v)
{
    return cm.GammaTable()[MulDiv16(v, 255, 65535)];
}
inline uint8_t SampleSwapScale16(const TColorManager& cm, uint16_t v) { return SampleScale16(cm, SampleSwap16(cm, v)); }
inline uint8_t SampleSwapScaleGamma16(const TColorManager& cm, uint16_t v)
{
    return SampleScaleGamma16(cm, SampleSwap16(cm, v));
}
// The three shapes of sample function.
using TSample8 = uint8_t (*)(const TColorManager&, uint8_t);
using TSample16 = uint16_t (*)(const TColorManager&, uint16_t);
using TSample16To8 = uint8_t (*)(const TColorManager&, uint16_t);

// Round to nearest, ties to even, clamped into 32 bits (non-finite values give 0).
inline int32_t RoundInt(long double v)
{
    if (!std::isfinite(v)) return 0;
    const long double r = std::nearbyint(v);
    if (r > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (r < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(r);
}
