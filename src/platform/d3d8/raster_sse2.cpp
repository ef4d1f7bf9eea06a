// The pixel pipeline on four lanes of 128-bit SSE2 registers, which every
// x86-64 processor has.
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "platform/d3d8/raster_setup.h"

namespace rasterimpl {
namespace {

constexpr int kLanes = 4;
constexpr int kCols = 4, kRows = 1;  // a block: one row of four pixels

struct F {
    __m128 v;
};
struct I {
    __m128i v;
};

inline F FSet(float x) { return {_mm_set1_ps(x)}; }
inline I ISet(int32_t x) { return {_mm_set1_epi32(x)}; }
inline I IColumns() { return {_mm_setr_epi32(0, 1, 2, 3)}; }
inline I IRows() { return {_mm_setzero_si128()}; }

inline F operator+(F a, F b) { return {_mm_add_ps(a.v, b.v)}; }
inline F operator*(F a, F b) { return {_mm_mul_ps(a.v, b.v)}; }
inline F operator/(F a, F b) { return {_mm_div_ps(a.v, b.v)}; }
// Of a lane that is NaN in `a`, the result is b's.
inline F FMax(F a, F b) { return {_mm_max_ps(a.v, b.v)}; }
inline F FMin(F a, F b) { return {_mm_min_ps(a.v, b.v)}; }

inline I operator+(I a, I b) { return {_mm_add_epi32(a.v, b.v)}; }
inline I operator-(I a, I b) { return {_mm_sub_epi32(a.v, b.v)}; }
inline I operator&(I a, I b) { return {_mm_and_si128(a.v, b.v)}; }
inline I operator|(I a, I b) { return {_mm_or_si128(a.v, b.v)}; }
inline I AndNot(I a, I b) { return {_mm_andnot_si128(a.v, b.v)}; }  // ~a & b
template <int n>
inline I Shl(I a)
{
    return {_mm_slli_epi32(a.v, n)};
}
template <int n>
inline I Shr(I a)
{
    return {_mm_srli_epi32(a.v, n)};
}
template <int n>
inline I Sar(I a)
{
    return {_mm_srai_epi32(a.v, n)};
}
inline I ShlBy(I a, int n) { return {_mm_sll_epi32(a.v, _mm_cvtsi32_si128(n))}; }
// 16-bit halves of every lane.
inline I Add16(I a, I b) { return {_mm_add_epi16(a.v, b.v)}; }
inline I Mul16(I a, I b) { return {_mm_mullo_epi16(a.v, b.v)}; }
template <int n>
inline I Shr16(I a)
{
    return {_mm_srli_epi16(a.v, n)};
}

// The low 32 bits of the products.
inline I MulLo(I a, I b)
{
    const __m128i even = _mm_mul_epu32(a.v, b.v);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a.v, 32), _mm_srli_epi64(b.v, 32));
    return {_mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08))};
}
inline F ToFloat(I a) { return {_mm_cvtepi32_ps(a.v)}; }
inline I Truncate(F a) { return {_mm_cvttps_epi32(a.v)}; }
// All ones where the comparison holds, else zero; false for NaN.
inline I Greater(F a, F b) { return {_mm_castps_si128(_mm_cmpgt_ps(a.v, b.v))}; }
inline I Less(F a, F b) { return {_mm_castps_si128(_mm_cmplt_ps(a.v, b.v))}; }
inline I Greater(I a, I b) { return {_mm_cmpgt_epi32(a.v, b.v)}; }
// Bit k set when lane k is negative.
inline int SignBits(I a) { return _mm_movemask_ps(_mm_castsi128_ps(a.v)); }
inline I Select(I mask, I a, I b) { return {_mm_or_si128(_mm_and_si128(mask.v, a.v), _mm_andnot_si128(mask.v, b.v))}; }

inline I Load(const int32_t* p) { return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))}; }
inline void Store(int32_t* p, I a) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), a.v); }
inline void Store(float* p, F a) { _mm_storeu_ps(p, a.v); }
// A block's pixels; rows lie `pitch` apart (one row here).
inline I LoadColor(const uint32_t* p, ptrdiff_t) { return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))}; }
inline void StoreColor(uint32_t* p, ptrdiff_t, I a) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), a.v); }
inline I LoadDepth(const uint16_t* p, ptrdiff_t)
{
    return {_mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128())};
}
// Lanes hold 0..65535.
inline void StoreDepth(uint16_t* p, ptrdiff_t, I a)
{
    const __m128i bias = _mm_set1_epi32(0x8000);
    const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(a.v, bias), _mm_sub_epi32(a.v, bias));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_xor_si128(packed, _mm_set1_epi16(-0x8000)));
}
inline I Gather(const uint32_t* base, I index)
{
    alignas(16) int32_t k[kLanes];
    _mm_store_si128(reinterpret_cast<__m128i*>(k), index.v);
    return {_mm_setr_epi32(int32_t(base[k[0]]), int32_t(base[k[1]]), int32_t(base[k[2]]), int32_t(base[k[3]]))};
}

}  // namespace
}  // namespace rasterimpl

#include "platform/d3d8/raster_pixels.h"

namespace rasterimpl {
namespace {

I FilterTexels(const TTexInfo& t, I index, I fx, I fy)
{
    const I below = index + ISet(t.pitch), one = ISet(1);
    const I left = LerpLanes(Gather(t.texels, index), Gather(t.texels, below), fy);
    const I right = LerpLanes(Gather(t.texels, index + one), Gather(t.texels, below + one), fy);
    return LerpLanes(left, right, fx);
}

}  // namespace
}  // namespace rasterimpl

const rasterimpl::TPixelPipeline& rasterimpl::PixelPipelineSse2() { return kPipeline; }
