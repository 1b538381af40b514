// The per-pixel half of the fast adaptation: level, strength and tone curves of a row.
#pragma once

#include <array>
#include <cstdint>

#include "ToneParameters.h"

namespace zelqor {

// Exactly (levelSum div total) div 11 with the luminance switch, levelSum div total without, for
// 0 <= levelSum <= 8415 * total and 1 <= total < kMaxFastWindowTotal = 2^36 (see the .cpp for why a
// double division is exact there).
int LevelFromSum(std::int64_t levelSum, std::int64_t total, bool luminance);

// out[i] = ToneCurve(v[i], s[i]) through the same code as the row step, for checking it whole.
void ToneCurveRow(const int* v, const int* s, int n, bool avx2, int* out);

// Strength as a function of the level h (0..765) minus g times the pixel's channel sum.
class StrengthTable {
  public:
    explicit StrengthTable(const ToneParams& params);
    int Strength(int level, int rgbSum) const { return base_[level] - gain_ * rgbSum; }
    const ToneParams& Params() const { return params_; }

  private:
    ToneParams params_;
    std::array<int, 766> base_{};
    int gain_;
};

// out[x] for x in 0..width-1 from the exact level sum levelSums[x] + levelOffset * totals[x]
// (|levelSums[x]| < 2^51) and the window totals of the row.
void ToneStepRow(const std::uint32_t* src,
                 const std::int64_t* levelSums,
                 std::int64_t levelOffset,
                 const std::int64_t* totals,
                 int width,
                 const StrengthTable& strength,
                 bool avx2,
                 std::uint32_t* out);

}  // namespace zelqor
