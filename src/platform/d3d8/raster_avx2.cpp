// The pixel pipeline on eight lanes of 256-bit AVX2 registers. Only this
// file is compiled for AVX2 (without FMA, whose single rounding would change
// results), and the rasterizer calls it only on processors that have it.
// It uses nothing of the standard library that could be emitted out of line:
// such code would be shared with the files compiled for every processor.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "platform/d3d8/raster_setup.h"

namespace rasterimpl {
namespace {

constexpr int kLanes = 8;
constexpr int kCols = 4, kRows = 2;  // a block: two rows of four pixels, lanes 0-3 the upper

struct F {
    __m256 v;
};
struct I {
    __m256i v;
};

inline F FSet(float x) { return {_mm256_set1_ps(x)}; }
inline I ISet(int32_t x) { return {_mm256_set1_epi32(x)}; }
inline I IColumns() { return {_mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3)}; }
inline I IRows() { return {_mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1)}; }

inline F operator+(F a, F b) { return {_mm256_add_ps(a.v, b.v)}; }
inline F operator*(F a, F b) { return {_mm256_mul_ps(a.v, b.v)}; }
inline F operator/(F a, F b) { return {_mm256_div_ps(a.v, b.v)}; }
// Of a lane that is NaN in `a`, the result is b's.
inline F FMax(F a, F b) { return {_mm256_max_ps(a.v, b.v)}; }
inline F FMin(F a, F b) { return {_mm256_min_ps(a.v, b.v)}; }

inline I operator+(I a, I b) { return {_mm256_add_epi32(a.v, b.v)}; }
inline I operator-(I a, I b) { return {_mm256_sub_epi32(a.v, b.v)}; }
inline I operator&(I a, I b) { return {_mm256_and_si256(a.v, b.v)}; }
inline I operator|(I a, I b) { return {_mm256_or_si256(a.v, b.v)}; }
inline I AndNot(I a, I b) { return {_mm256_andnot_si256(a.v, b.v)}; }  // ~a & b
template <int n>
inline I Shl(I a)
{
    return {_mm256_slli_epi32(a.v, n)};
}
template <int n>
inline I Shr(I a)
{
    return {_mm256_srli_epi32(a.v, n)};
}
template <int n>
inline I Sar(I a)
{
    return {_mm256_srai_epi32(a.v, n)};
}
inline I ShlBy(I a, int n) { return {_mm256_sll_epi32(a.v, _mm_cvtsi32_si128(n))}; }
// 16-bit halves of every lane.
inline I Add16(I a, I b) { return {_mm256_add_epi16(a.v, b.v)}; }
inline I Mul16(I a, I b) { return {_mm256_mullo_epi16(a.v, b.v)}; }
template <int n>
inline I Shr16(I a)
{
    return {_mm256_srli_epi16(a.v, n)};
}

// The low 32 bits of the products.
inline I MulLo(I a, I b) { return {_mm256_mullo_epi32(a.v, b.v)}; }
inline F ToFloat(I a) { return {_mm256_cvtepi32_ps(a.v)}; }
inline I Truncate(F a) { return {_mm256_cvttps_epi32(a.v)}; }
// All ones where the comparison holds, else zero; false for NaN.
inline I Greater(F a, F b) { return {_mm256_castps_si256(_mm256_cmp_ps(a.v, b.v, _CMP_GT_OQ))}; }
inline I Less(F a, F b) { return {_mm256_castps_si256(_mm256_cmp_ps(a.v, b.v, _CMP_LT_OQ))}; }
inline I Greater(I a, I b) { return {_mm256_cmpgt_epi32(a.v, b.v)}; }
// Bit k set when lane k is negative.
inline int SignBits(I a) { return _mm256_movemask_ps(_mm256_castsi256_ps(a.v)); }
inline I Select(I mask, I a, I b) { return {_mm256_blendv_epi8(b.v, a.v, mask.v)}; }

inline I Load(const int32_t* p) { return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))}; }
inline void Store(int32_t* p, I a) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a.v); }
inline void Store(float* p, F a) { _mm256_storeu_ps(p, a.v); }
// A block's pixels: two rows `pitch` apart.
inline I LoadColor(const uint32_t* p, ptrdiff_t pitch)
{
    const __m128i upper = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i lower = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pitch));
    return {_mm256_inserti128_si256(_mm256_castsi128_si256(upper), lower, 1)};
}
inline void StoreColor(uint32_t* p, ptrdiff_t pitch, I a)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(a.v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + pitch), _mm256_extracti128_si256(a.v, 1));
}
inline I LoadDepth(const uint16_t* p, ptrdiff_t pitch)
{
    const __m128i upper = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    const __m128i lower = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + pitch));
    return {_mm256_cvtepu16_epi32(_mm_unpacklo_epi64(upper, lower))};
}
// Lanes hold 0..65535.
inline void StoreDepth(uint16_t* p, ptrdiff_t pitch, I a)
{
    const __m128i packed = _mm_packus_epi32(_mm256_castsi256_si128(a.v), _mm256_extracti128_si256(a.v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + pitch), _mm_unpackhi_epi64(packed, packed));
}
// Eight loads: faster than the gather instruction on some processors.
inline I Gather(const uint32_t* base, I index)
{
    alignas(32) int32_t k[kLanes];
    _mm256_store_si256(reinterpret_cast<__m256i*>(k), index.v);
    __m128i lo = _mm_cvtsi32_si128(int32_t(base[k[0]]));
    __m128i hi = _mm_cvtsi32_si128(int32_t(base[k[4]]));
    lo = _mm_insert_epi32(lo, int32_t(base[k[1]]), 1);
    hi = _mm_insert_epi32(hi, int32_t(base[k[5]]), 1);
    lo = _mm_insert_epi32(lo, int32_t(base[k[2]]), 2);
    hi = _mm_insert_epi32(hi, int32_t(base[k[6]]), 2);
    lo = _mm_insert_epi32(lo, int32_t(base[k[3]]), 3);
    hi = _mm_insert_epi32(hi, int32_t(base[k[7]]), 3);
    return {_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1)};
}

}  // namespace
}  // namespace rasterimpl

#include "platform/d3d8/raster_pixels.h"

namespace rasterimpl {
namespace {

// The texel pairs (x, x + 1) at four indices, as the four 64-bit lanes.
inline __m256i LoadPairs(const uint32_t* base, int32_t a, int32_t b, int32_t c, int32_t d)
{
    const auto pair = [base](int32_t k) {
        int64_t p;
        std::memcpy(&p, base + k, 8);
        return p;
    };
    const __m128i lo = _mm_insert_epi64(_mm_cvtsi64_si128(pair(a)), pair(b), 1);
    const __m128i hi = _mm_insert_epi64(_mm_cvtsi64_si128(pair(c)), pair(d), 1);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

// A texel and its right neighbour come in one 64-bit load: even lanes
// gather pixels 0, 2, 4, 6 and odd lanes 1, 3, 5, 7, as pairs; the columns
// are blended down first, then the pairs are split for the blend across.
I FilterTexels(const TTexInfo& t, I index, I fx, I fy)
{
    alignas(32) int32_t k[kLanes];
    _mm256_store_si256(reinterpret_cast<__m256i*>(k), index.v);
    const uint32_t* row0 = t.texels;
    const uint32_t* row1 = t.texels + t.pitch;
    const I topEven = {LoadPairs(row0, k[0], k[2], k[4], k[6])}, topOdd = {LoadPairs(row0, k[1], k[3], k[5], k[7])};
    const I lowEven = {LoadPairs(row1, k[0], k[2], k[4], k[6])}, lowOdd = {LoadPairs(row1, k[1], k[3], k[5], k[7])};
    const I even = LerpLanes(topEven, lowEven, {_mm256_shuffle_epi32(fy.v, 0xA0)});  // fy of lanes 0, 0, 2, 2
    const I odd = LerpLanes(topOdd, lowOdd, {_mm256_shuffle_epi32(fy.v, 0xF5)});     // fy of lanes 1, 1, 3, 3
    const __m256i lowHalves = _mm256_set1_epi64x(0xFFFFFFFF);
    const I left = {_mm256_or_si256(_mm256_and_si256(even.v, lowHalves), _mm256_slli_epi64(odd.v, 32))};
    const I right = {_mm256_or_si256(_mm256_srli_epi64(even.v, 32), _mm256_andnot_si256(lowHalves, odd.v))};
    return LerpLanes(left, right, fx);
}

}  // namespace
}  // namespace rasterimpl

const rasterimpl::TPixelPipeline& rasterimpl::PixelPipelineAvx2() { return kPipeline; }
