// The tone values a run takes and the neighbourhood radius they imply.
#pragma once

#include "WorkingBitmap.h"

namespace zelqor {

inline constexpr int kMaxBorderLevel = 765;
inline constexpr int kMaxHdrStrength = 10;
inline constexpr int kMaxDetailGain = 58;

// The values a run samples once at its start. The defaults are those of the window's start
// positions.
struct ToneParams {
    int hdrStrength = 5;    // k, 0..10
    int borderLevel = 382;  // b, 0..765
    int detailGain = 4;     // g, 0..58
    bool luminance = true;
};

// Throws std::invalid_argument naming the first value outside the ranges above. The fast tone
// step is proved exact only for strengths |s| <= 3 * 10 * 100 + 58 * 765 = 47370, and the
// literal path's sums assume them too, so the engine refuses other values at its doors rather
// than give two different pictures.
void CheckToneParams(const ToneParams& params);

// ceil(long side / divisor); 0 for an image without pixels.
int CalcRadius(int width, int height, int divisor);
inline int CalcRadius(const WorkingBitmap& bitmap, int divisor) {
    return CalcRadius(bitmap.Width(), bitmap.Height(), divisor);
}

}  // namespace zelqor
