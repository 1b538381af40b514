// Track-bar model of the four tone sliders and the engine values and label texts they stand for.
#pragma once

#include <array>
#include <string>

#include "WorkingBitmap.h"

namespace zelqor {

// A vertical track bar: the minimum is at the top, so every value is derived from max - position.
struct TrackBar {
    int min = 0;
    int max = 10;
    int position = 5;

    int FromBottom() const { return max - position; }
};

// (a * (max - position) + b * (position - min)) div (max - min), truncating toward zero.
int TrackBarLerp(const TrackBar& bar, int a, int b);
long double TrackBarLerpF(const TrackBar& bar, long double a, long double b);

inline constexpr std::array<int, 21> DetailGainTable = {0,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                                        14, 16, 19, 23, 27, 31, 36, 42, 49, 58};

inline constexpr int kMaxBorderLevel = 765;
inline constexpr int kMaxHdrStrength = 10;
inline constexpr int kMaxDetailGain = DetailGainTable.back();

// The five controls of the options page that set the tone mapping, at their start positions.
struct ToneSliders {
    TrackBar hdr{0, 10, 5};            // TrackBar_HDR
    TrackBar calcSize{0, 10, 5};       // TrackBar_CalcSize
    TrackBar stdBrightness{0, 10, 5};  // TrackBar_StdBrightness
    TrackBar hdrEnhancer{0, 20, 18};   // TrackBar_HdrEnhancer
    bool luminance = true;             // CheckBox_Luminance
};

// The values a run samples once at its start.
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

int HdrStrength(const TrackBar& hdr);
int BorderLevel(const TrackBar& stdBrightness);
int DetailGain(const TrackBar& hdrEnhancer);
int CalcSizeDivisor(const TrackBar& calcSize);
ToneParams SampleToneParams(const ToneSliders& sliders);

// ceil(long side / divisor); 0 for an image without pixels.
int CalcRadius(int width, int height, int divisor);
inline int CalcRadius(const WorkingBitmap& bitmap, int divisor) {
    return CalcRadius(bitmap.Width(), bitmap.Height(), divisor);
}

// Value-label texts, UTF-8.
std::string HdrLabelText(const TrackBar& hdr);
std::string CalcSizeLabelText(const TrackBar& calcSize, const WorkingBitmap& source);
std::string StdBrightnessLabelText(const TrackBar& stdBrightness);
std::string HdrEnhancerLabelText(const TrackBar& hdrEnhancer);

}  // namespace zelqor
