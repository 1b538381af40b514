// Mapping of slider positions to engine values and label texts.
#include "ToneParameters.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace zelqor {

int TrackBarLerp(const TrackBar& bar, int a, int b) {
    const int span = bar.max - bar.min;
    if (span == 0) {
        return a;
    }
    const long long num = static_cast<long long>(a) * (bar.max - bar.position) +
                          static_cast<long long>(b) * (bar.position - bar.min);
    return static_cast<int>(num / span);
}

long double TrackBarLerpF(const TrackBar& bar, long double a, long double b) {
    const int span = bar.max - bar.min;
    if (span == 0) {
        return a;
    }
    return (a * (bar.max - bar.position) + b * (bar.position - bar.min)) / span;
}

namespace {

void CheckRange(const char* name, int value, int max) {
    if (value < 0 || value > max) {
        throw std::invalid_argument(std::string(name) + " " + std::to_string(value) +
                                    " out of range 0.." + std::to_string(max));
    }
}

}  // namespace

void CheckToneParams(const ToneParams& p) {
    CheckRange("hdrStrength", p.hdrStrength, kMaxHdrStrength);
    CheckRange("borderLevel", p.borderLevel, kMaxBorderLevel);
    CheckRange("detailGain", p.detailGain, kMaxDetailGain);
}

int HdrStrength(const TrackBar& hdr) {
    return hdr.FromBottom();
}

int BorderLevel(const TrackBar& stdBrightness) {
    return TrackBarLerp(stdBrightness, kMaxBorderLevel, 0);
}

int DetailGain(const TrackBar& hdrEnhancer) {
    int v = hdrEnhancer.FromBottom();
    if (v < 0) {
        v = 0;
    }
    if (v >= static_cast<int>(DetailGainTable.size())) {
        v = static_cast<int>(DetailGainTable.size()) - 1;
    }
    return DetailGainTable[v];
}

int CalcSizeDivisor(const TrackBar& calcSize) {
    const long double exponent = TrackBarLerpF(calcSize, std::log2(50.0L), std::log2(800.0L));
    return static_cast<int>(std::llround(std::pow(2.0L, exponent)));
}

ToneParams SampleToneParams(const ToneSliders& s) {
    return ToneParams{HdrStrength(s.hdr), BorderLevel(s.stdBrightness), DetailGain(s.hdrEnhancer),
                      s.luminance};
}

int CalcRadius(int width, int height, int divisor) {
    if (width <= 0 || height <= 0 || divisor <= 0) {
        return 0;
    }
    const int longSide = width > height ? width : height;
    return static_cast<int>(std::ceil(static_cast<double>(longSide) / divisor));
}

std::string HdrLabelText(const TrackBar& hdr) {
    return std::to_string(HdrStrength(hdr));
}

std::string CalcSizeLabelText(const TrackBar& calcSize, const WorkingBitmap& source) {
    const int divisor = CalcSizeDivisor(calcSize);
    return "1/" + std::to_string(divisor) + "\xEF\xBC\x9A (" +
           std::to_string(CalcRadius(source, divisor)) + "pix)";
}

std::string StdBrightnessLabelText(const TrackBar& stdBrightness) {
    return std::to_string(stdBrightness.FromBottom() * 10) + "%";
}

std::string HdrEnhancerLabelText(const TrackBar& hdrEnhancer) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", hdrEnhancer.FromBottom() / 2.0);
    return text;
}

}  // namespace zelqor
