// Level, strength and tone curves per pixel with double divisions that are provably exact.
//
// Why a double division gives the integer quotient: for integers 0 <= a < 2^53 and 1 <= b, a/b
// is either an integer (then the correctly rounded double is that integer) or at least 1/b away
// from every integer. The double quotient is off by at most half an ulp of the quotient,
// i.e. below q * 2^-53. For the level (q <= 8415, b < 2^39) that is below 2^-39 < 1/b, and for
// the tone curve (q <= 255, b < 2^24) below 2^-45 < 1/b, so truncation lands on the floor.
#include "ToneStep.h"

#include <algorithm>

#include "LocalAdaptation.h"
#include "WorkingBitmap.h"

namespace zelqor {

namespace {

inline int LevelFromSumInline(std::int64_t levelSum, std::int64_t total, bool luminance) {
    const int q = static_cast<int>(static_cast<double>(levelSum) / static_cast<double>(total));
    // Clamped only to keep a table index safe; exact sums never leave 0..765.
    return std::clamp(luminance ? q / 11 : q, 0, 765);
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
                            const std::int64_t* totals,
                            int width,
                            bool luminance,
                            const StrengthTable& strength,
                            std::uint32_t* out) {
    for (int x = 0; x < width; ++x) {
        const std::uint32_t p = src[x];
        const int r = PixelR(p);
        const int g = PixelG(p);
        const int b = PixelB(p);
        const int h = LevelFromSumInline(levelSums[x], totals[x], luminance);
        const int s = strength.Strength(h, r + g + b);
        out[x] = MakePixel(ToneCurveInline(r, s), ToneCurveInline(g, s), ToneCurveInline(b, s),
                           PixelX(p));
    }
}

__attribute__((target("avx2,fma"))) void ToneStepRowAvx2(const std::uint32_t* src,
                                                         const std::int64_t* levelSums,
                                                         const std::int64_t* totals,
                                                         int width,
                                                         bool luminance,
                                                         const StrengthTable& strength,
                                                         std::uint32_t* out) {
    ToneStepRowBody(src, levelSums, totals, width, luminance, strength, out);
}

}  // namespace

int LevelFromSum(std::int64_t levelSum, std::int64_t total, bool luminance) {
    return LevelFromSumInline(levelSum, total, luminance);
}

int ToneCurveFast(int v, int s) {
    return ToneCurveInline(v, s);
}

StrengthTable::StrengthTable(const ToneParams& params) : gain_(params.detailGain) {
    // AdaptStrength is g*(h - sum) + a term of h alone; the division lives in that term.
    for (int h = 0; h <= 765; ++h) {
        base_[h] = AdaptStrength(h, 0, params);
    }
}

void ToneStepRow(const std::uint32_t* src,
                 const std::int64_t* levelSums,
                 const std::int64_t* totals,
                 int width,
                 bool luminance,
                 const StrengthTable& strength,
                 bool avx2,
                 std::uint32_t* out) {
    if (avx2) {
        ToneStepRowAvx2(src, levelSums, totals, width, luminance, strength, out);
    } else {
        ToneStepRowBody(src, levelSums, totals, width, luminance, strength, out);
    }
}

}  // namespace zelqor
