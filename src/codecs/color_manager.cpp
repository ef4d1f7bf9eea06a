#include "codecs/color_manager.h"

#include <cmath>
#include <cstring>

#include "codecs/codec_messages.h"
#include "platform/rtl/work_meter.h"

void ColorManagerError(uint16_t messageId) { throw EColorConversionError(LoadStr(messageId)); }

namespace {

int MaxOf(int bits) { return bits >= 8 ? 255 : (1 << bits) - 1; }

// Each gamma table entry is a power of long doubles, which takes about as
// long as reading half a kilobyte: a file that has the table built again and
// again pays for it.
constexpr uint64_t kGammaEntryWork = 512;

}  // namespace

TColorManager::TColorManager()
{
    SetGamma(1.0f, 2.2f);
    changed_ = true;
}

void TColorManager::SetCount(uint8_t& field, int value, int most, uint16_t messageId)
{
    if (value < 1 || value > most) ColorManagerError(messageId);
    Change(field, static_cast<uint8_t>(value));
}

void TColorManager::SetSourceBitsPerSample(int value) { SetCount(sourceBPS_, value, 16, gesInvalidSampleDepth); }
void TColorManager::SetTargetBitsPerSample(int value) { SetCount(targetBPS_, value, 16, gesInvalidSampleDepth); }
void TColorManager::SetSourceSamplesPerPixel(int value) { SetCount(sourceSPP_, value, 4, gesInvalidPixelDepth); }
void TColorManager::SetTargetSamplesPerPixel(int value) { SetCount(targetSPP_, value, 4, gesInvalidPixelDepth); }
void TColorManager::SetSourceColorScheme(TColorScheme value) { Change(sourceScheme_, value); }
void TColorManager::SetTargetColorScheme(TColorScheme value) { Change(targetScheme_, value); }

void TColorManager::SetSource(TColorScheme scheme, int bitsPerSample, int samplesPerPixel)
{
    SetSourceColorScheme(scheme);
    SetSourceBitsPerSample(bitsPerSample);
    SetSourceSamplesPerPixel(samplesPerPixel);
}

void TColorManager::SetTarget(TColorScheme scheme, int bitsPerSample, int samplesPerPixel)
{
    SetTargetColorScheme(scheme);
    SetTargetBitsPerSample(bitsPerSample);
    SetTargetSamplesPerPixel(samplesPerPixel);
}

void TColorManager::SetGamma(float fileGamma, float displayGamma)
{
    if (!(fileGamma > 0)) fileGamma = 1.0f;
    if (!(displayGamma > 0)) displayGamma = 2.2f;
    fileGamma_ = fileGamma;
    displayGamma_ = displayGamma;
    const long double e = 1.0L / (static_cast<long double>(fileGamma) * displayGamma);
    const int sourceMax = MaxOf(sourceBPS_), targetMax = MaxOf(targetBPS_);
    ChargeWork(uint64_t(sourceMax + 1) * kGammaEntryWork);
    std::memset(gammaTable_, 0, sizeof gammaTable_);
    for (int i = 0; i <= sourceMax; ++i) {
        const int32_t v = RoundInt(targetMax * std::pow(static_cast<long double>(i) / sourceMax, e));
        gammaTable_[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
}

void TColorManager::SetYCbCrParameters(std::span<const float> values, int hSubsampling, int vSubsampling)
{
    if (!values.empty()) ycbcrCoefficients_[0] = values[0];
    if (values.size() > 1) ycbcrCoefficients_[1] = values[1];
    if (values.size() > 2) ycbcrCoefficients_[2] = values[2];
    // Luma weights are positive and add up to 1; a damaged file's are no
    // weights at all (a green of 0, a blue in the millions) and give way to
    // the usual ones.
    const float* k = ycbcrCoefficients_;
    const double sum = double(k[0]) + k[1] + k[2];
    const bool sensible = std::isfinite(sum) && k[0] > 0 && k[1] > 0 && k[2] > 0 && std::fabs(sum - 1) <= 0.05;
    if (!sensible) {
        ycbcrCoefficients_[0] = 0.299f;
        ycbcrCoefficients_[1] = 0.587f;
        ycbcrCoefficients_[2] = 0.114f;
    }
    auto valid = [](int v) { return v == 1 || v == 2 || v == 4; };
    if (!valid(hSubsampling) || !valid(vSubsampling)) ColorManagerError(gesInvalidSubSampling);
    if (vSubsampling > hSubsampling) ColorManagerError(gesVerticalSubSamplingError);
    hSubsampling_ = static_cast<uint8_t>(hSubsampling);
    vSubsampling_ = static_cast<uint8_t>(vSubsampling);
}

TPixelFormat TColorManager::GetPixelFormat(int index) const
{
    const int s = index == 0 ? sourceSPP_ : targetSPP_;
    const int b = index == 0 ? sourceBPS_ : targetBPS_;
    switch (s) {
    case 1:
        if (b == 1) return pf1bit;
        if (b >= 2 && b <= 4) return pf4bit;
        if (b >= 8) return pf8bit;
        return pfCustom;
    case 3: return b <= 5 ? pf15bit : pf24bit;
    case 4: return b >= 8 ? pf32bit : pfCustom;
    default: return pfCustom;
    }
}

namespace {

// A chroma table entry, bounded so that a luma sample plus two entries, or
// an entry's negation, stays far inside 32 bits whatever the coefficients.
int32_t ChromaEntry(long double v)
{
    constexpr int32_t limit = 1 << 24;
    const int32_t r = RoundInt(v);
    return r > limit ? limit : (r < -limit ? -limit : r);
}

}  // namespace

void TColorManager::BuildChromaTables(bool photoYCC)
{
    const long double kr = ycbcrCoefficients_[0], kg = ycbcrCoefficients_[1], kb = ycbcrCoefficients_[2];
    const long double rp = 2 - 2 * kr, bp = 2 - 2 * kb;
    const long double g1 = kg != 0 ? kr * rp / kg : 0, g2 = kg != 0 ? kb * bp / kg : 0;
    crToRed_.assign(256, 0);
    cbToBlue_.assign(256, 0);
    crToGreen_.assign(256, 0);
    cbToGreen_.assign(256, 0);
    for (int i = 0; i < 256; ++i) {
        const int cr = photoYCC ? i - 137 : i - 128;
        const int cb = photoYCC ? i - 156 : i - 128;
        crToRed_[i] = ChromaEntry(cr * rp);
        cbToBlue_[i] = ChromaEntry(cb * bp);
        crToGreen_[i] = -ChromaEntry(cr * g1);
        cbToGreen_[i] = -ChromaEntry(cb * g2);
    }
}

void TColorManager::PrepareConversion()
{
    rowConverter_ = nullptr;
    rowConverterName_ = "";
    const bool sourceIndexedLike = sourceScheme_ == csIndexed || sourceScheme_ == csG || sourceScheme_ == csGA;
    const bool targetIndexedLike = targetScheme_ == csIndexed || targetScheme_ == csG;
    if (sourceIndexedLike != targetIndexedLike) ColorManagerError(gesIndexedNotSupported);

    auto hasAlpha = [](TColorScheme s) { return s == csGA || s == csRGBA || s == csBGRA; };
    SourceOptions = hasAlpha(sourceScheme_) ? (SourceOptions | optAlpha) : (SourceOptions & ~optAlpha);
    TargetOptions = hasAlpha(targetScheme_) ? (TargetOptions | optAlpha) : (TargetOptions & ~optAlpha);

    const bool targetRGB = targetScheme_ == csRGB || targetScheme_ == csRGBA;
    const bool targetBGR = targetScheme_ == csBGR || targetScheme_ == csBGRA;
    auto choose = [&](TRowConverter c, const char* name) {
        rowConverter_ = c;
        rowConverterName_ = name;
    };
    switch (sourceScheme_) {
    case csIndexed:
        if (sourceBPS_ == 16 && targetBPS_ == 16) choose(&TColorManager::ConvertIndexed16To16, "ConvertIndexed16To16");
        else if (sourceBPS_ == 16) choose(&TColorManager::ConvertIndexed16ToPacked, "ConvertIndexed16ToPacked");
        else if (targetBPS_ == 16) choose(&TColorManager::ConvertPackedToIndexed16, "ConvertPackedToIndexed16");
        else choose(&TColorManager::ConvertIndexedRow, "ConvertIndexedRow");
        break;
    case csG:
        if (sourceBPS_ != 16 && targetBPS_ != 16) choose(&TColorManager::ConvertIndexedRow, "ConvertIndexedRow");
        else if (sourceBPS_ >= 8 && targetBPS_ >= 8) choose(&TColorManager::ConvertGrayRow, "ConvertGrayRow");
        break;
    case csGA:
        if ((sourceBPS_ == 8 || sourceBPS_ == 16) && (targetBPS_ == 8 || targetBPS_ == 16))
            choose(&TColorManager::ConvertGrayRow, "ConvertGrayRow");
        break;
    case csRGB:
    case csRGBA:
        if (targetRGB) choose(&TColorManager::ConvertRGBToRGB, "ConvertRGBToRGB");
        else if (targetBGR) choose(&TColorManager::ConvertRGBToBGR, "ConvertRGBToBGR");
        break;
    case csBGR:
    case csBGRA:
        if (targetRGB) choose(&TColorManager::ConvertBGRToRGB, "ConvertBGRToRGB");
        else if (targetBGR) choose(&TColorManager::ConvertBGRToBGR, "ConvertBGRToBGR");
        break;
    case csCMYK:
        if (targetRGB) choose(&TColorManager::ConvertCMYKToRGB, "ConvertCMYKToRGB");
        else if (targetBGR) choose(&TColorManager::ConvertCMYKToBGR, "ConvertCMYKToBGR");
        break;
    case csCIELab:
        if (targetRGB) choose(&TColorManager::ConvertLabToRGB, "ConvertLabToRGB");
        else if (targetBGR) choose(&TColorManager::ConvertLabToBGR, "ConvertLabToBGR");
        break;
    case csYCbCr:
        BuildChromaTables(false);
        if (targetRGB) choose(&TColorManager::ConvertYCbCrToRGB, "ConvertYCbCrToRGB");
        else if (targetBGR) choose(&TColorManager::ConvertYCbCrToBGR, "ConvertYCbCrToBGR");
        break;
    case csPhotoYCC:
        BuildChromaTables(true);
        if (targetRGB) choose(&TColorManager::ConvertPhotoYCCToRGB, "ConvertPhotoYCCToRGB");
        else if (targetBGR) choose(&TColorManager::ConvertPhotoYCCToBGR, "ConvertPhotoYCCToBGR");
        break;
    default: break;
    }
    changed_ = false;
}

void TColorManager::ConvertRow(std::span<const void* const> source, void* target, uint32_t count, uint8_t mask)
{
    if (changed_) PrepareConversion();
    if (!rowConverter_) ColorManagerError(gesConversionUnsupported);
    if (source.empty() || count == 0) return;
    (this->*rowConverter_)(source, static_cast<uint8_t*>(target), count, mask);
}

std::string TColorManager::RowConverterName()
{
    if (changed_) PrepareConversion();
    return rowConverterName_;
}

HPALETTE TColorManager::CreateColorPalette(std::span<const void* const> data, uint8_t format, uint32_t count,
                                           bool bgrOrder)
{
    TPaletteEntry table[256] = {};
    const uint32_t n = count < 256 ? count : 256;
    const bool gamma = (TargetOptions & optGamma) != 0;
    const bool swap = (SourceOptions & optSwapBytes) != 0;
    const TSample8 sample8 = gamma ? SampleGamma8 : SamplePass8;
    const TSample16To8 sample16 =
        swap ? (gamma ? SampleSwapScaleGamma16 : SampleSwapScale16) : (gamma ? SampleScaleGamma16 : SampleScale16);
    auto g8 = [&](uint8_t v) { return sample8(*this, v); };
    auto s16 = [&](uint16_t v) { return sample16(*this, v); };
    auto read16 = [](const void* base, size_t index) {
        uint16_t v;
        std::memcpy(&v, static_cast<const uint8_t*>(base) + 2 * index, 2);
        return v;
    };
    const bool planar =
        format == pfPlane8Triple || format == pfPlane8Quad || format == pfPlane16Triple || format == pfPlane16Quad;
    if (format < 8 && !data.empty() && (!planar || data.size() >= 3)) {
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t r = 0, g = 0, b = 0;
            switch (format) {
            case pfInterlaced8Triple:
            case pfInterlaced8Quad: {
                const auto* p = static_cast<const uint8_t*>(data[0]) + static_cast<size_t>(i) * (format == 0 ? 3 : 4);
                r = g8(bgrOrder ? p[2] : p[0]);
                g = g8(p[1]);
                b = g8(bgrOrder ? p[0] : p[2]);
                break;
            }
            case pfPlane8Triple:
            case pfPlane8Quad:
                r = g8(static_cast<const uint8_t*>(data[0])[i]);
                g = g8(static_cast<const uint8_t*>(data[1])[i]);
                b = g8(static_cast<const uint8_t*>(data[2])[i]);
                break;
            case pfInterlaced16Triple:
            case pfInterlaced16Quad: {
                const size_t base = static_cast<size_t>(i) * (format == pfInterlaced16Triple ? 3 : 4);
                const uint16_t first = read16(data[0], base), second = read16(data[0], base + 1),
                               third = read16(data[0], base + 2);
                r = s16(bgrOrder ? third : first);
                g = s16(second);
                b = s16(bgrOrder ? first : third);
                break;
            }
            default:  // 16-bit planes
                r = s16(read16(data[0], i));
                g = s16(read16(data[1], i));
                b = s16(read16(data[2], i));
                break;
            }
            table[i] = TPaletteEntry{r, g, b, 0};
        }
    }
    uint32_t entries = n;
    // Spread the entries over the target depth's values when the depths differ.
    const uint32_t sourceMax = (1u << sourceBPS_) - 1, targetMax = (1u << targetBPS_) - 1;
    if (targetBPS_ <= 8 && sourceMax != targetMax) {
        auto take = [&](uint32_t i) {
            const uint32_t from = MulDiv16(i, sourceMax, targetMax);
            table[i] = from < 256 ? table[from] : TPaletteEntry{};
        };
        if (sourceMax < targetMax) {
            for (int i = static_cast<int>(targetMax); i >= 0; --i) take(static_cast<uint32_t>(i));
        } else {
            for (uint32_t i = 0; i <= targetMax; ++i) take(i);
        }
        entries = targetMax + 1;
    }
    ChargeWork(uint64_t(entries) * sizeof(TPaletteEntry));
    TLogPalette log;
    log.entries.assign(table, table + entries);
    return CreatePalette(log);
}

HPALETTE TColorManager::CreateGrayscalePalette(bool minimumIsWhite)
{
    int bits = targetBPS_ * targetSPP_;
    if (bits > 8) bits = 8;
    const int n = 1 << bits, max = n - 1;
    const int step = 255 / max;
    const bool gamma = (TargetOptions & optGamma) != 0;
    ChargeWork(uint64_t(n) * sizeof(TPaletteEntry));
    TLogPalette log;
    log.entries.resize(static_cast<size_t>(n));
    for (int i = 0; i <= max; ++i) {
        const uint8_t g = gamma ? gammaTable_[i * step] : static_cast<uint8_t>(i * step);
        log.entries[static_cast<size_t>(minimumIsWhite ? max - i : i)] = TPaletteEntry{g, g, g, 0};
    }
    return CreatePalette(log);
}
