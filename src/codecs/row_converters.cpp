// The row converters of the colour manager.
//
// Every converter walks Count target pixels. A walking bit starts at 0x80 and
// rotates right after every target pixel; a target pixel is written only when
// Mask has that bit, and the source moves on only for written pixels (so an
// interlace pass hands over just the pixels of its pass, packed together).
// The choice of depth and options is made once per row, outside the pixel
// loops.
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "codecs/color_manager.h"

namespace {

inline uint16_t Read16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void Write16(uint8_t* p, uint32_t v)
{
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(p, &w, 2);
}
inline uint8_t RotateRight(uint8_t v, int n)
{
    n &= 7;
    return n ? static_cast<uint8_t>((v >> n) | (v << (8 - n))) : v;
}
inline void Store(uint8_t* p, int bytes, uint32_t v)
{
    if (bytes == 1) *p = static_cast<uint8_t>(v);
    else Write16(p, v);
}

// The address of each of the first `samples` samples of a row and the step
// from one pixel to the next: one plane per sample (at least three, a
// missing fourth stays null), or all of them interleaved in the first plane,
// `interleaved` samples a pixel. False when fewer than three planes are given.
bool SamplePlanes(std::span<const void* const> source, int samples, int sampleBytes, int interleaved,
                  const uint8_t** planes, int& step)
{
    if (source.size() > 1) {
        if (source.size() < 3) return false;
        for (size_t i = 0; i < size_t(samples) && i < source.size(); ++i)
            planes[i] = static_cast<const uint8_t*>(source[i]);
        step = sampleBytes;
    } else {
        const auto* base = static_cast<const uint8_t*>(source[0]);
        for (int i = 0; i < samples; ++i) planes[i] = base + i * sampleBytes;
        step = interleaved * sampleBytes;
    }
    return true;
}

bool PackedDepth(int bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }

// Calls pixel(i) for every target pixel i below count that the mask lets
// through, in order. Only those pixels cost a step: an interlace pass of one
// pixel in eight walks an eighth of the row.
template <class FPixel>
inline void WalkMaskIndexes(uint32_t count, uint8_t mask, FPixel pixel)
{
    if (mask == 0xFF || count <= 8) {
        for (uint32_t i = 0; i < count; ++i)
            if (mask & (0x80u >> (i & 7))) pixel(i);
        return;
    }
    uint32_t at[8];
    int n = 0;
    for (uint32_t p = 0; p < 8; ++p)
        if (mask & (0x80u >> p)) at[n++] = p;
    for (uint64_t base = 0; base < count; base += 8)
        for (int j = 0; j < n && base + at[j] < count; ++j) pixel(static_cast<uint32_t>(base + at[j]));
}

// Calls pixel(t) for every target pixel that the mask lets through; t walks
// over all count target pixels, targetStep bytes apart.
template <class FPixel>
inline void WalkMask(uint8_t* t, int targetStep, uint32_t count, uint8_t mask, FPixel pixel)
{
    uint8_t bit = 0x80;
    for (uint32_t i = 0; i < count; ++i) {
        if (mask & bit) pixel(t);
        t += targetStep;
        bit = RotateRight(bit, 1);
    }
}

// Stores value() in every target pixel of `bits` bits (1, 2, 4 or 8, packed
// most significant first) that the mask lets through, in order; the other
// pixels keep what they hold.
template <class FValue>
inline void WalkPacked(uint8_t* target, int bits, uint32_t count, uint8_t mask, FValue value)
{
    const uint32_t most = (1u << bits) - 1;
    uint32_t done = 0;
    if (mask == 0xFF) {
        // Whole bytes at a time; the pixels of a last byte that the row does
        // not fill are written one by one below.
        const uint32_t perByte = 8 / unsigned(bits);
        for (; count - done >= perByte; done += perByte) {
            uint32_t byte = 0;
            for (uint32_t k = 0; k < perByte; ++k) byte = (byte << bits) | (value() & most);
            *target++ = static_cast<uint8_t>(byte);
        }
    }
    WalkMaskIndexes(count - done, mask, [&](uint32_t i) {
        const uint64_t bit = uint64_t(i) * unsigned(bits);
        const unsigned shift = 8 - unsigned(bits) - unsigned(bit & 7);
        uint8_t& byte = target[bit >> 3];
        byte = static_cast<uint8_t>((byte & ~(most << shift)) | ((value() & most) << shift));
    });
}

// Packed samples, most significant bits first, taken a few bits at a time; no
// byte is read before a bit of it is taken.
class TPackedReader {
public:
    explicit TPackedReader(const uint8_t* source) : source_(source) {}
    // The next n bits (n at most 8).
    uint32_t Take(int n)
    {
        if (have_ < n) {
            bits_ = (bits_ << 8) | *source_++;
            have_ += 8;
        }
        have_ -= n;
        return (bits_ >> have_) & ((1u << n) - 1);
    }

private:
    const uint8_t* source_;
    uint32_t bits_ = 0;
    int have_ = 0;
};

// Walks three colour samples (and maybe alpha) per written pixel; color and
// alpha turn a sample's address into the target value.
template <class FColor, class FAlpha>
void WalkColor(const uint8_t* const planes[4], int step, uint8_t* t, int targetBytes, int targetStep,
               const int order[3], bool copyAlpha, uint32_t count, uint8_t mask, FColor color, FAlpha alpha)
{
    const uint8_t *s0 = planes[0], *s1 = planes[1], *s2 = planes[2], *s3 = planes[3];
    WalkMask(t, targetStep, count, mask, [&](uint8_t* out) {
        // order: target sample index of source samples 0, 1 and 2
        Store(out + order[0] * targetBytes, targetBytes, color(s0));
        Store(out + order[1] * targetBytes, targetBytes, color(s1));
        Store(out + order[2] * targetBytes, targetBytes, color(s2));
        if (copyAlpha) {
            Store(out + 3 * targetBytes, targetBytes, alpha(s3));
            s3 += step;
        }
        s0 += step;
        s1 += step;
        s2 += step;
    });
}

// One row of an RGB or BGR source: where its samples are and where they go.
struct TColorWalk {
    const uint8_t* planes[4] = {nullptr, nullptr, nullptr, nullptr};
    int step = 0;
    uint8_t* target = nullptr;
    int targetStep = 0;
    int order[3] = {0, 1, 2};
    bool copyAlpha = false;
    uint32_t count = 0;
    uint8_t mask = 0xFF;

    template <class FColor, class FAlpha>
    void Run(int targetBytes, FColor color, FAlpha alpha) const
    {
        WalkColor(planes, step, target, targetBytes, targetStep, order, copyAlpha, count, mask, color, alpha);
    }
};

// The four depth pairs, each instantiated with the sample functions that the
// options call for. Alpha is never gamma-corrected.
template <TSample8 Color>
void WalkColor8To8(const TColorManager& cm, const TColorWalk& walk)
{
    walk.Run(
        1, [&cm](const uint8_t* p) -> uint32_t { return Color(cm, *p); },
        [&cm](const uint8_t* p) -> uint32_t { return SamplePass8(cm, *p); });
}

// Widened to 16 bits, then put into the source's byte order.
template <TSample8 Color, TSample16 Order>
void WalkColor8To16(const TColorManager& cm, const TColorWalk& walk)
{
    walk.Run(
        2,
        [&cm](const uint8_t* p) -> uint32_t {
            return Order(cm, static_cast<uint16_t>(MulDiv16(Color(cm, *p), 65535, 255)));
        },
        [&cm](const uint8_t* p) -> uint32_t { return Order(cm, static_cast<uint16_t>(MulDiv16(*p, 65535, 255))); });
}

template <TSample16To8 Color, TSample16To8 Alpha>
void WalkColor16To8(const TColorManager& cm, const TColorWalk& walk)
{
    walk.Run(
        1, [&cm](const uint8_t* p) -> uint32_t { return Color(cm, Read16(p)); },
        [&cm](const uint8_t* p) -> uint32_t { return Alpha(cm, Read16(p)); });
}

template <TSample16 Order>
void WalkColor16To16(const TColorManager& cm, const TColorWalk& walk)
{
    auto pass = [&cm](const uint8_t* p) -> uint32_t { return Order(cm, Read16(p)); };
    walk.Run(2, pass, pass);
}

}  // namespace

// ---- RGB and BGR -----------------------------------------------------------

void TColorManager::ConvertRGBFamily(std::span<const void* const> source, uint8_t* target, uint32_t count, uint8_t mask,
                                     bool sourceBGR, bool targetBGR)
{
    const int sb = sourceBPS_, tb = targetBPS_;
    if ((sb != 8 && sb != 16) || (tb != 8 && tb != 16)) return;
    const bool sourceAlpha = (SourceOptions & optAlpha) != 0, targetAlpha = (TargetOptions & optAlpha) != 0;
    const int sampleBytes = sb / 8, targetBytes = tb / 8;
    TColorWalk walk;
    if (!SamplePlanes(source, 4, sampleBytes, sourceAlpha ? 4 : 3, walk.planes, walk.step)) return;
    walk.copyAlpha = sourceAlpha && targetAlpha && walk.planes[3];
    // Source samples come as (r, g, b) or (b, g, r); place each at its target index.
    for (int i = 0; i < 3; ++i) {
        const int colour = sourceBGR ? 2 - i : i;  // 0 red, 1 green, 2 blue
        walk.order[i] = targetBGR ? 2 - colour : colour;
    }
    walk.target = target;
    walk.targetStep = (targetAlpha ? 4 : 3) * targetBytes;
    walk.count = count;
    walk.mask = mask;
    const bool gamma = (TargetOptions & optGamma) != 0;
    const bool swap = (SourceOptions & optSwapBytes) != 0;

    if (sb == 8 && tb == 8) {
        if (gamma) WalkColor8To8<SampleGamma8>(*this, walk);
        else WalkColor8To8<SamplePass8>(*this, walk);
    } else if (sb == 8) {
        if (gamma && swap) WalkColor8To16<SampleGamma8, SampleSwap16>(*this, walk);
        else if (gamma) WalkColor8To16<SampleGamma8, SamplePass16>(*this, walk);
        else if (swap) WalkColor8To16<SamplePass8, SampleSwap16>(*this, walk);
        else WalkColor8To16<SamplePass8, SamplePass16>(*this, walk);
    } else if (tb == 8) {
        if (gamma && swap) WalkColor16To8<SampleSwapScaleGamma16, SampleSwapScale16>(*this, walk);
        else if (gamma) WalkColor16To8<SampleScaleGamma16, SampleScale16>(*this, walk);
        else if (swap) WalkColor16To8<SampleSwapScale16, SampleSwapScale16>(*this, walk);
        else WalkColor16To8<SampleScale16, SampleScale16>(*this, walk);
    } else {
        if (swap) WalkColor16To16<SampleSwap16>(*this, walk);
        else WalkColor16To16<SamplePass16>(*this, walk);
    }
}

void TColorManager::ConvertRGBToBGR(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertRGBFamily(s, t, c, m, false, true);
}
void TColorManager::ConvertRGBToRGB(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertRGBFamily(s, t, c, m, false, false);
}
void TColorManager::ConvertBGRToBGR(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertRGBFamily(s, t, c, m, true, true);
}
void TColorManager::ConvertBGRToRGB(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertRGBFamily(s, t, c, m, true, false);
}

// ---- CMYK ------------------------------------------------------------------

void TColorManager::ConvertCMYKFamily(std::span<const void* const> source, uint8_t* target, uint32_t count,
                                      uint8_t mask, bool targetBGR)
{
    const int sb = sourceBPS_, tb = targetBPS_;
    if ((sb != 8 && sb != 16) || (tb != 8 && tb != 16)) return;
    const int sampleBytes = sb / 8, targetBytes = tb / 8;
    const uint8_t* p[4];
    int step;
    if (source.size() == 4) {
        for (int i = 0; i < 4; ++i) p[i] = static_cast<const uint8_t*>(source[i]);
        step = sampleBytes;
    } else {
        const auto* base = static_cast<const uint8_t*>(source[0]);
        for (int i = 0; i < 4; ++i) p[i] = base + i * sampleBytes;
        step = 4 * sampleBytes;
    }
    const int targetStep = ((TargetOptions & optAlpha) ? 4 : 3) * targetBytes;
    // Target index of the colours made from C (red), M (green) and Y (blue).
    const int ti[3] = {targetBGR ? 2 : 0, 1, targetBGR ? 0 : 2};
    // One loop for each depth and byte order, so that the samples' arithmetic
    // inlines; 16-bit samples of big-endian files come in their file's byte
    // order.
    auto convert = [&](auto sourceWide, auto targetWide, auto swap) {
        WalkMask(target, targetStep, count, mask, [&](uint8_t* t) {
            for (int k = 0; k < 3; ++k) {
                uint32_t out;
                if constexpr (!sourceWide) {
                    const uint32_t ink = p[k][0], black = p[3][0];
                    const uint8_t r = ClampByte(255 - static_cast<int>(ink + black - MulDiv16(ink, black, 255)));
                    out = targetWide ? MulDiv16(r, 65535, 255) : r;
                } else {
                    uint16_t ink = Read16(p[k]), black = Read16(p[3]);
                    if constexpr (swap) {
                        ink = SampleSwap16(*this, ink);
                        black = SampleSwap16(*this, black);
                    }
                    const uint16_t v = static_cast<uint16_t>(ink - MulDiv16(ink, black, 65535) + black);
                    out = targetWide ? static_cast<uint16_t>(65535 - v)
                                     : ClampByte(255 - static_cast<int>(MulDiv16(v, 255, 65535)));
                }
                Store(t + ti[k] * targetBytes, targetWide ? 2 : 1, out);
            }
            for (auto& q : p) q += step;
        });
    };
    using Yes = std::true_type;
    using No = std::false_type;
    const bool swap = (SourceOptions & optSwapBytes) != 0;
    if (sb == 8) {
        if (tb == 8) convert(No(), No(), No());
        else convert(No(), Yes(), No());
    } else if (tb == 8) {
        if (swap) convert(Yes(), No(), Yes());
        else convert(Yes(), No(), No());
    } else {
        if (swap) convert(Yes(), Yes(), Yes());
        else convert(Yes(), Yes(), No());
    }
}

void TColorManager::ConvertCMYKToBGR(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertCMYKFamily(s, t, c, m, true);
}
void TColorManager::ConvertCMYKToRGB(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertCMYKFamily(s, t, c, m, false);
}

// ---- CIE L*a*b* --------------------------------------------------------------

namespace {

// L*a*b* of TIFF and Photoshop files is relative to the D50 white (the ICC
// connection space); sRGB's white is D65. Colours go L*a*b* -> XYZ (D50) ->
// XYZ (D65) by the Bradford adaptation -> linear sRGB -> the sRGB curve,
// which is what a colour-managed decoding with relative colorimetric intent
// shows.
constexpr long double kD50[3] = {0.9642L, 1.0L, 0.8249L};

using TMatrix = long double[3][3];
constexpr TMatrix kBradfordD50ToD65 = {
    {0.9555766L, -0.0230393L, 0.0631636L},
    {-0.0282895L, 1.0099416L, 0.0210077L},
    {0.0122982L, -0.0204830L, 1.3299098L},
};
constexpr TMatrix kXYZToLinearSRGB = {
    {3.2404542L, -1.5371385L, -0.4985314L},
    {-0.9692660L, 1.8760108L, 0.0415560L},
    {0.0556434L, -0.2040259L, 1.0572252L},
};

struct TLabMatrix {
    long double m[3][3] = {};
};
// XYZ (D50) straight to linear sRGB: the two steps above in one matrix,
// each row scaled so that the D50 white comes out as exactly 1 (the
// published constants are rounded to seven digits).
constexpr TLabMatrix LabToLinearSRGB()
{
    TLabMatrix r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k) r.m[i][j] += kXYZToLinearSRGB[i][k] * kBradfordD50ToD65[k][j];
        const long double white = r.m[i][0] * kD50[0] + r.m[i][1] * kD50[1] + r.m[i][2] * kD50[2];
        for (int j = 0; j < 3; ++j) r.m[i][j] /= white;
    }
    return r;
}
constexpr TLabMatrix kLabMatrix = LabToLinearSRGB();

// The inverse of the CIE lightness function: f(t) back to a ratio of the white.
inline long double LabInverse(long double f)
{
    constexpr long double delta = 6.0L / 29.0L;
    return f > delta ? f * f * f : 3 * delta * delta * (f - 4.0L / 29.0L);
}

// A linear sRGB value encoded with the sRGB transfer curve, scaled to 0..max.
inline uint32_t SRGBEncode(long double v, uint32_t max)
{
    if (!(v > 0)) return 0;
    if (v >= 1) return max;
    const long double e = v <= 0.0031308L ? 12.92L * v : 1.055L * std::pow(v, 1 / 2.4L) - 0.055L;
    return static_cast<uint32_t>(RoundInt(e * max));
}

}  // namespace

void TColorManager::ConvertLabFamily(std::span<const void* const> source, uint8_t* target, uint32_t count, uint8_t mask,
                                     bool targetBGR)
{
    const int sb = sourceBPS_, tb = targetBPS_;
    if ((sb != 8 && sb != 16) || (tb != 8 && tb != 16)) return;
    const int sampleBytes = sb / 8, targetBytes = tb / 8;
    const uint8_t* p[3];
    int step;
    if (!SamplePlanes(source, 3, sampleBytes, 3, p, step)) return;
    const bool byteL = (SourceOptions & optLabByteL) != 0, offsetAB = (SourceOptions & optLabOffsetAB) != 0;
    const TSample16 order = (SourceOptions & optSwapBytes) ? SampleSwap16 : SamplePass16;
    // L* over the sample's whole range (0..255 or 0..65535) is 0..100; a* and
    // b* take 256 steps of a 16-bit sample per unit, one step of an 8-bit one.
    const long double lScale = byteL ? 100.0L / (sb == 8 ? 255 : 65535) : 1.0L;
    const long double abScale = sb == 8 ? 1.0L : 1.0L / 256;
    const uint32_t targetMax = tb == 8 ? 255 : 65535;
    const int targetStep = ((TargetOptions & optAlpha) ? 4 : 3) * targetBytes;
    WalkMask(target, targetStep, count, mask, [&](uint8_t* t) {
        long double L, a, b;
        if (sb == 8) {
            L = p[0][0];
            a = offsetAB ? p[1][0] - 128.0L : static_cast<int8_t>(p[1][0]);
            b = offsetAB ? p[2][0] - 128.0L : static_cast<int8_t>(p[2][0]);
        } else {
            const uint16_t l16 = order(*this, Read16(p[0])), a16 = order(*this, Read16(p[1])),
                           b16 = order(*this, Read16(p[2]));
            L = l16;
            a = offsetAB ? a16 - 32768.0L : static_cast<int16_t>(a16);
            b = offsetAB ? b16 - 32768.0L : static_cast<int16_t>(b16);
        }
        L *= lScale;
        a *= abScale;
        b *= abScale;
        const long double fy = (L + 16) / 116;
        const long double xyz[3] = {kD50[0] * LabInverse(fy + a / 500), kD50[1] * LabInverse(fy),
                                    kD50[2] * LabInverse(fy - b / 200)};
        uint32_t rgb[3];
        for (int i = 0; i < 3; ++i) {
            const auto& row = kLabMatrix.m[i];
            rgb[i] = SRGBEncode(row[0] * xyz[0] + row[1] * xyz[1] + row[2] * xyz[2], targetMax);
        }
        Store(t, targetBytes, targetBGR ? rgb[2] : rgb[0]);
        Store(t + targetBytes, targetBytes, rgb[1]);
        Store(t + 2 * targetBytes, targetBytes, targetBGR ? rgb[0] : rgb[2]);
        for (auto& q : p) q += step;
    });
}

void TColorManager::ConvertLabToBGR(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertLabFamily(s, t, c, m, true);
}
void TColorManager::ConvertLabToRGB(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertLabFamily(s, t, c, m, false);
}

// ---- YCbCr and PhotoYCC ----------------------------------------------------

void TColorManager::ConvertYCbCrFamily(std::span<const void* const> source, uint8_t* target, uint32_t count,
                                       uint8_t mask, bool targetBGR)
{
    const int sb = sourceBPS_, tb = targetBPS_;
    if ((sb != 8 && sb != 16) || (tb != 8 && tb != 16)) return;
    if (crToRed_.size() != 256) return;
    const int sampleBytes = sb / 8, targetBytes = tb / 8;
    const uint8_t* p[3];
    int step;
    if (!SamplePlanes(source, 3, sampleBytes, 3, p, step)) return;
    const int32_t *crToRed = crToRed_.data(), *cbToBlue = cbToBlue_.data(), *crToGreen = crToGreen_.data(),
                  *cbToGreen = cbToGreen_.data();
    const int targetStep = ((TargetOptions & optAlpha) ? 4 : 3) * targetBytes;
    WalkMask(target, targetStep, count, mask, [&](uint8_t* t) {
        uint32_t blue, green, red;
        if (sb == 16 && tb == 16) {
            const long double y = 1.3584L * Read16(p[0]);
            const long double c1 = static_cast<long double>(Read16(p[1])) - 0x9C9C;
            const long double c2 = static_cast<long double>(Read16(p[2])) - 0x8989;
            blue = static_cast<uint16_t>(RoundInt(y + 2.2179L * c1));
            green = static_cast<uint16_t>(RoundInt(y - 0.9271435L * c2 - 0.4302726L * c1));
            red = static_cast<uint16_t>(RoundInt(y + 1.8215L * c2));
        } else {
            int Y, Cb, Cr;
            if (sb == 8) {
                Y = p[0][0];
                Cb = p[1][0];
                Cr = p[2][0];
            } else {
                Y = static_cast<int>(MulDiv16(Read16(p[0]), 255, 65535));
                Cb = static_cast<int>(MulDiv16(Read16(p[1]), 255, 65535));
                Cr = static_cast<int>(MulDiv16(Read16(p[2]), 255, 65535));
            }
            blue = ClampByte(Y + cbToBlue[Cb]);
            green = ClampByte(Y + cbToGreen[Cb] + crToGreen[Cr]);
            red = ClampByte(Y + crToRed[Cr]);
            if (tb == 16) {
                blue = MulDiv16(blue, 65535, 255);
                green = MulDiv16(green, 65535, 255);
                red = MulDiv16(red, 65535, 255);
            }
        }
        Store(t, targetBytes, targetBGR ? blue : red);
        Store(t + targetBytes, targetBytes, green);
        Store(t + 2 * targetBytes, targetBytes, targetBGR ? red : blue);
        for (auto& q : p) q += step;
    });
}

void TColorManager::ConvertYCbCrToBGR(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertYCbCrFamily(s, t, c, m, true);
}
void TColorManager::ConvertYCbCrToRGB(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertYCbCrFamily(s, t, c, m, false);
}
void TColorManager::ConvertPhotoYCCToBGR(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertYCbCrFamily(s, t, c, m, true);
}
void TColorManager::ConvertPhotoYCCToRGB(std::span<const void* const> s, uint8_t* t, uint32_t c, uint8_t m)
{
    ConvertYCbCrFamily(s, t, c, m, false);
}

// ---- gray ------------------------------------------------------------------

void TColorManager::ConvertGrayRow(std::span<const void* const> source, uint8_t* target, uint32_t count, uint8_t mask)
{
    const int sb = sourceBPS_, tb = targetBPS_;
    if ((sb != 8 && sb != 16) || (tb != 8 && tb != 16)) return;
    const int sampleBytes = sb / 8, targetBytes = tb / 8;
    const int step = ((SourceOptions & optAlpha) ? 2 : 1) * sampleBytes;
    const bool swap = (SourceOptions & optSwapBytes) != 0;
    const auto* s = static_cast<const uint8_t*>(source[0]);
    WalkMask(target, targetBytes, count, mask, [&](uint8_t* t) {
        uint32_t v;
        if (sb == 8) {
            v = tb == 8 ? *s : MulDiv16(*s, 65535, 255);
        } else {
            const uint16_t w = Read16(s);
            if (tb == 8) v = swap ? SampleSwapScale16(*this, w) : SampleScale16(*this, w);
            else v = swap ? SampleSwap16(*this, w) : SamplePass16(*this, w);
        }
        Store(t, targetBytes, v);
        s += step;
    });
}

// ---- indexed ---------------------------------------------------------------

void TColorManager::ConvertIndexedRow(std::span<const void* const> source, uint8_t* target, uint32_t count,
                                      uint8_t mask)
{
    const int sb = sourceBPS_, tb = targetBPS_;
    if (!PackedDepth(sb) || !PackedDepth(tb)) return;
    const auto* s = static_cast<const uint8_t*>(source[0]);
    if (sb == tb && mask == 0xFF) {
        std::memcpy(target, s, (static_cast<size_t>(count) * sb + 7) / 8);
        return;
    }
    TPackedReader reader(s);
    uint32_t done = 0;
    if (sb == 1 && tb == 1) {
        // A bilevel target byte holds the eight pixels of one turn of the
        // mask: the source bits of its pixels go into it at once.
        const uint8_t* deposit = DepositTable(mask);
        const int taken = std::popcount(mask);
        for (; count - done >= 8; done += 8, ++target)
            *target = static_cast<uint8_t>((*target & ~mask) | deposit[reader.Take(taken)]);
    }
    const uint32_t rest = count - done, sourceMax = (1u << sb) - 1, targetMax = (1u << tb) - 1;
    if (sb == tb) {
        WalkPacked(target, tb, rest, mask, [&] { return reader.Take(sb); });
    } else if (sb < tb) {
        // At most 16 source values: their target values are looked up.
        uint8_t values[16];
        for (uint32_t v = 0; v <= sourceMax; ++v) values[v] = static_cast<uint8_t>(MulDiv16(v, targetMax, sourceMax));
        WalkPacked(target, tb, rest, mask, [&] { return values[reader.Take(sb)]; });
    } else {
        WalkPacked(target, tb, rest, mask, [&] { return MulDiv16(reader.Take(sb), targetMax, sourceMax); });
    }
}

const uint8_t* TColorManager::DepositTable(uint8_t mask)
{
    if (mask == depositMask_) return deposit_;
    const int taken = std::popcount(mask);
    for (uint32_t v = 0; v < (1u << taken); ++v) {
        uint8_t byte = 0;
        for (int p = 7, b = taken; p >= 0; --p)
            if ((mask >> p) & 1) byte = static_cast<uint8_t>(byte | (((v >> --b) & 1) << p));
        deposit_[v] = byte;
    }
    depositMask_ = mask;
    return deposit_;
}

void TColorManager::ConvertIndexed16To16(std::span<const void* const> source, uint8_t* target, uint32_t count,
                                         uint8_t mask)
{
    const auto* s = static_cast<const uint8_t*>(source[0]);
    const bool swap = (SourceOptions & optSwapBytes) != 0;
    if (mask == 0xFF && !swap) {
        std::memcpy(target, s, static_cast<size_t>(count) * 2);
        return;
    }
    WalkMask(target, 2, count, mask, [&](uint8_t* t) {
        const uint16_t w = Read16(s);
        Write16(t, swap ? SampleSwap16(*this, w) : w);
        s += 2;
    });
}

void TColorManager::ConvertIndexed16ToPacked(std::span<const void* const> source, uint8_t* target, uint32_t count,
                                             uint8_t mask)
{
    const int tb = targetBPS_;
    if (!PackedDepth(tb)) return;
    const auto* s = static_cast<const uint8_t*>(source[0]);
    const bool swap = (SourceOptions & optSwapBytes) != 0;
    const uint32_t targetMax = (1u << tb) - 1;
    WalkPacked(target, tb, count, mask, [&] {
        const uint16_t w = swap ? SampleSwap16(*this, Read16(s)) : Read16(s);
        s += 2;
        return MulDiv16(w, targetMax, 65535);
    });
}

void TColorManager::ConvertPackedToIndexed16(std::span<const void* const> source, uint8_t* target, uint32_t count,
                                             uint8_t mask)
{
    const int sb = sourceBPS_;
    if (!PackedDepth(sb)) return;
    const auto* s = static_cast<const uint8_t*>(source[0]);
    const bool swap = (SourceOptions & optSwapBytes) != 0;
    const uint32_t sourceMax = (1u << sb) - 1;
    int cursor = 8;
    WalkMask(target, 2, count, mask, [&](uint8_t* t) {
        cursor -= sb;
        const uint32_t v = (*s >> cursor) & sourceMax;
        if (cursor == 0) {
            ++s;
            cursor = 8;
        }
        const uint16_t w = static_cast<uint16_t>(MulDiv16(v, 65535, sourceMax));
        Write16(t, swap ? SampleSwap16(*this, w) : w);
    });
}
