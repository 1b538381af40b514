// Range checks of the tone values and the neighbourhood radius.
#include "ToneParameters.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace zelqor {
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

int CalcRadius(int width, int height, int divisor) {
    if (width <= 0 || height <= 0 || divisor <= 0) {
        return 0;
    }
    const int longSide = width > height ? width : height;
    return static_cast<int>(std::ceil(static_cast<double>(longSide) / divisor));
}

}  // namespace zelqor
