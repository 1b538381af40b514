// Level, strength and tone curves per pixel without 64-bit integer divisions, yet exact.
//
// Why a double division gives the integer quotient: for integers 0 <= a < 2^53 and 1 <= b, a/b
// is either an integer (then the correctly rounded double is that integer) or at least 1/b away
// from every integer. The double quotient is off by at most half an ulp of the quotient,
// i.e. below q * 2^-53. For the level (q <= 765, b = S or 11 S < 2^40, as S < kMaxFastWindowTotal)
// that is below 2^-43 < 1/b, so truncation lands on the floor. The 32-bit quotients of the AVX2
// path (tone curve, border shift) instead take a float estimate, at most one off, and correct it
// with the exact integer remainder.
#include "ToneStep.h"

#include <immintrin.h>

#include <algorithm>

#include "LocalAdaptation.h"
#include "WorkingBitmap.h"

namespace zelqor {

namespace {

// floor(floor(a / S) / 11) = floor(a / (11 S)) for positive integers: one division, not two.
inline int LevelFromSumInline(std::int64_t levelSum, std::int64_t total, bool luminance) {
    const double divisor = static_cast<double>(luminance ? 11 * total : total);
    const int h = static_cast<int>(static_cast<double>(levelSum) / divisor);
    // Clamped only to keep a table index safe; exact sums never leave 0..765.
    return std::clamp(h, 0, 765);
}

// Both signs in one branch-free form: s = 0 gives n = 1000v, q = 255000, hence v.
inline int ToneCurveInline(int v, int s) {
    const int darken = s > 0 ? s : 0;
    const int brighten = s < 0 ? -s : 0;
    const int n = (1000 + brighten) * v;
    const int q = 255000 + darken * (255 - v) + brighten * v;
    const double numerator = 255.0 * n + static_cast<double>(q >> 1);
    return static_cast<int>(numerator / static_cast<double>(q));
}

inline void ToneStepRowBody(const std::uint32_t* src,
                            const std::int64_t* levelSums,
                            std::int64_t levelOffset,
                            const std::int64_t* totals,
                            int width,
                            const StrengthTable& strength,
                            std::uint32_t* out) {
    const bool luminance = strength.Params().luminance;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = src[x];
        const int r = PixelR(p);
        const int g = PixelG(p);
        const int b = PixelB(p);
        const int h =
            LevelFromSumInline(levelSums[x] + levelOffset * totals[x], totals[x], luminance);
        const int s = strength.Strength(h, r + g + b);
        out[x] = MakePixel(ToneCurveInline(r, s), ToneCurveInline(g, s), ToneCurveInline(b, s),
                           PixelX(p));
    }
}

// Exact int64 -> double for 0 <= v < 2^52: place v in the mantissa of 2^52 and subtract it.
__attribute__((target("avx2"))) inline __m256d SmallInt64ToDouble(__m256i v) {
    const __m256i magic = _mm256_castpd_si256(_mm256_set1_pd(4503599627370496.0));
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(v, magic)),
                         _mm256_set1_pd(4503599627370496.0));
}

__attribute__((target("avx2"))) inline __m256d LoadAsDouble(const std::int64_t* p) {
    return SmallInt64ToDouble(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

// Exact int64 -> double for |v| < 2^51: v lands in the mantissa of 1.5 * 2^52.
__attribute__((target("avx2"))) inline __m256d LoadSignedAsDouble(const std::int64_t* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i magic = _mm256_castpd_si256(_mm256_set1_pd(6755399441055744.0));
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_add_epi64(v, magic)),
                         _mm256_set1_pd(6755399441055744.0));
}

// Truncating quotient of 0 <= a < 2^24 by 1 <= divisor < 2^24, from a float estimate that is
// good to a few ulps (so at most one off after truncation) and an exact integer correction.
__attribute__((target("avx2"))) inline __m256i CorrectQuotient(__m256i a,
                                                               __m256i divisor,
                                                               __m256 estimate) {
    __m256i quotient = _mm256_cvttps_epi32(estimate);
    const __m256i remainder = _mm256_sub_epi32(a, _mm256_mullo_epi32(quotient, divisor));
    quotient = _mm256_add_epi32(quotient, _mm256_srai_epi32(remainder, 31));
    const __m256i tooFew =
        _mm256_cmpgt_epi32(remainder, _mm256_sub_epi32(divisor, _mm256_set1_epi32(1)));
    return _mm256_sub_epi32(quotient, tooFew);
}

// The border shift of AdaptStrength: (101 d) div (span + 1) truncating toward zero, taken as
// the quotient of |101 d| with the sign of d put back.
__attribute__((target("avx2"))) inline __m256i BorderShift8(__m256i level,
                                                            const ToneParams& p,
                                                            __m256 belowReciprocal,
                                                            __m256 aboveReciprocal) {
    const __m256i d = _mm256_sub_epi32(level, _mm256_set1_epi32(p.borderLevel));
    const __m256i above = _mm256_cmpgt_epi32(d, _mm256_setzero_si256());
    const __m256i divisor =
        _mm256_blendv_epi8(_mm256_set1_epi32(p.borderLevel + 1),
                           _mm256_set1_epi32(kMaxBorderLevel - p.borderLevel + 1), above);
    const __m256 reciprocal =
        _mm256_blendv_ps(belowReciprocal, aboveReciprocal, _mm256_castsi256_ps(above));
    const __m256i scaled = _mm256_mullo_epi32(_mm256_abs_epi32(d), _mm256_set1_epi32(101));
    const __m256i magnitude =
        CorrectQuotient(scaled, divisor, _mm256_mul_ps(_mm256_cvtepi32_ps(scaled), reciprocal));
    return _mm256_sign_epi32(magnitude, d);
}

// Eight numerators over eight denominators (int32 lanes, exact as doubles), truncated.
__attribute__((target("avx2"))) inline __m256i DivideTruncate(__m256d numLo,
                                                              __m256d numHi,
                                                              __m256d denLo,
                                                              __m256d denHi) {
    const __m128i lo = _mm256_cvttpd_epi32(_mm256_div_pd(numLo, denLo));
    const __m128i hi = _mm256_cvttpd_epi32(_mm256_div_pd(numHi, denHi));
    return _mm256_set_m128i(hi, lo);
}

// The tone curve with a reciprocal estimate and an exact integer correction: the numerator
// 255 n + q div 2 is below 2^32 and q below 2^24; the estimate (rcpps is good to 1.5 * 2^-12,
// the quotient at most 256) is within 0.1 of the true quotient, so its truncation is at most one
// off, and the remainder, formed in wrapping 32-bit arithmetic (the true one lies in -q..2q),
// says which way.
__attribute__((target("avx2"))) inline __m256i ToneCurve8(__m256i v,
                                                          __m256i darken,
                                                          __m256i brighten) {
    const __m256i n = _mm256_mullo_epi32(_mm256_add_epi32(_mm256_set1_epi32(1000), brighten), v);
    const __m256i q = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_set1_epi32(255000),
                         _mm256_mullo_epi32(darken, _mm256_sub_epi32(_mm256_set1_epi32(255), v))),
        _mm256_mullo_epi32(brighten, v));
    const __m256i numerator =
        _mm256_add_epi32(_mm256_mullo_epi32(n, _mm256_set1_epi32(255)), _mm256_srli_epi32(q, 1));
    // Halved before the conversion, which reads its lanes as signed.
    const __m256 halfNumerator = _mm256_cvtepi32_ps(_mm256_srli_epi32(numerator, 1));
    const __m256 estimate = _mm256_mul_ps(_mm256_add_ps(halfNumerator, halfNumerator),
                                          _mm256_rcp_ps(_mm256_cvtepi32_ps(q)));
    __m256i quotient = _mm256_cvttps_epi32(estimate);
    const __m256i remainder = _mm256_sub_epi32(numerator, _mm256_mullo_epi32(quotient, q));
    // remainder < 0: one too many; remainder >= q: one too few.
    quotient = _mm256_add_epi32(quotient, _mm256_srai_epi32(remainder, 31));
    const __m256i tooFew = _mm256_cmpgt_epi32(remainder, _mm256_sub_epi32(q, _mm256_set1_epi32(1)));
    return _mm256_sub_epi32(quotient, tooFew);
}

__attribute__((target("avx2"))) void ToneStepRowAvx2(const std::uint32_t* src,
                                                     const std::int64_t* levelSums,
                                                     std::int64_t levelOffset,
                                                     const std::int64_t* totals,
                                                     int width,
                                                     const StrengthTable& strength,
                                                     std::uint32_t* out) {
    const ToneParams& params = strength.Params();
    const __m256d divisorScale = _mm256_set1_pd(params.luminance ? 11.0 : 1.0);
    const __m256d offset = _mm256_set1_pd(static_cast<double>(levelOffset));
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i maxLevel = _mm256_set1_epi32(765);
    const __m256i strength3k = _mm256_set1_epi32(3 * params.hdrStrength);
    const __m256i gain = _mm256_set1_epi32(params.detailGain);
    const __m256 belowReciprocal =
        _mm256_set1_ps(1.0f / static_cast<float>(params.borderLevel + 1));
    const __m256 aboveReciprocal =
        _mm256_set1_ps(1.0f / static_cast<float>(kMaxBorderLevel - params.borderLevel + 1));
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + x));
        const __m256i b = _mm256_and_si256(p, byteMask);
        const __m256i g = _mm256_and_si256(_mm256_srli_epi32(p, 8), byteMask);
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(p, 16), byteMask);
        // The exact level sum and its divisor, all integers below 2^53 and so exact as doubles.
        const __m256d total0 = LoadAsDouble(totals + x);
        const __m256d total1 = LoadAsDouble(totals + x + 4);
        const __m256d sum0 =
            _mm256_add_pd(LoadSignedAsDouble(levelSums + x), _mm256_mul_pd(offset, total0));
        const __m256d sum1 =
            _mm256_add_pd(LoadSignedAsDouble(levelSums + x + 4), _mm256_mul_pd(offset, total1));
        __m256i h = DivideTruncate(sum0, sum1, _mm256_mul_pd(divisorScale, total0),
                                   _mm256_mul_pd(divisorScale, total1));
        h = _mm256_min_epi32(_mm256_max_epi32(h, zero), maxLevel);
        const __m256i rgbSum = _mm256_add_epi32(_mm256_add_epi32(r, g), b);
        const __m256i s = _mm256_add_epi32(
            _mm256_mullo_epi32(strength3k,
                               BorderShift8(h, params, belowReciprocal, aboveReciprocal)),
            _mm256_mullo_epi32(gain, _mm256_sub_epi32(h, rgbSum)));
        const __m256i darken = _mm256_max_epi32(s, zero);
        const __m256i brighten = _mm256_max_epi32(_mm256_sub_epi32(zero, s), zero);
        const __m256i rOut = ToneCurve8(r, darken, brighten);
        const __m256i gOut = ToneCurve8(g, darken, brighten);
        const __m256i bOut = ToneCurve8(b, darken, brighten);
        const __m256i fourth = _mm256_andnot_si256(_mm256_set1_epi32(0x00FFFFFF), p);
        const __m256i result = _mm256_or_si256(_mm256_or_si256(fourth, _mm256_slli_epi32(rOut, 16)),
                                               _mm256_or_si256(_mm256_slli_epi32(gOut, 8), bOut));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), result);
    }
    ToneStepRowBody(src + x, levelSums + x, levelOffset, totals + x, width - x, strength, out + x);
}

__attribute__((target("avx2"))) void ToneCurveRowAvx2(const int* v, const int* s, int n, int* out) {
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i strength = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i zero = _mm256_setzero_si256();
        const __m256i result =
            ToneCurve8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + i)),
                       _mm256_max_epi32(strength, zero),
                       _mm256_max_epi32(_mm256_sub_epi32(zero, strength), zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), result);
    }
    for (; i < n; ++i) {
        out[i] = ToneCurveInline(v[i], s[i]);
    }
}

}  // namespace

void ToneCurveRow(const int* v, const int* s, int n, bool avx2, int* out) {
    if (avx2) {
        ToneCurveRowAvx2(v, s, n, out);
        return;
    }
    for (int i = 0; i < n; ++i) {
        out[i] = ToneCurveInline(v[i], s[i]);
    }
}

int LevelFromSum(std::int64_t levelSum, std::int64_t total, bool luminance) {
    return LevelFromSumInline(levelSum, total, luminance);
}

StrengthTable::StrengthTable(const ToneParams& params) : params_(params), gain_(params.detailGain) {
    // AdaptStrength is g*(h - sum) + a term of h alone; the division lives in that term.
    for (int h = 0; h <= 765; ++h) {
        base_[h] = AdaptStrength(h, 0, params);
    }
}

void ToneStepRow(const std::uint32_t* src,
                 const std::int64_t* levelSums,
                 std::int64_t levelOffset,
                 const std::int64_t* totals,
                 int width,
                 const StrengthTable& strength,
                 bool avx2,
                 std::uint32_t* out) {
    if (avx2) {
        ToneStepRowAvx2(src, levelSums, levelOffset, totals, width, strength, out);
    } else {
        ToneStepRowBody(src, levelSums, levelOffset, totals, width, strength, out);
    }
}

}  // namespace zelqor
