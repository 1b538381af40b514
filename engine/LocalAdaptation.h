// One pixel of the processed image: the literal neighbourhood adaptation, kept as the reference.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ToneParameters.h"
#include "WorkingBitmap.h"

namespace zelqor {

// Everything one adapted pixel depends on; read-only while a run is in progress.
struct AdaptState {
    const WorkingBitmap* src = nullptr;
    std::span<const std::int32_t> kernel;  // (2r+1)^2 weights from BuildKernel
    int radius = 0;
    ToneParams params;
};

enum class AdaptVariant {
    Normal,  // 32-bit channel sums, radii below 84
    Large,   // 64-bit channel sums and weight total
};

// Maps one channel through the rational tone curve; s > 0 darkens, s < 0 brightens.
int ToneCurve(int v, int s);

// Neighbourhood level h (0..765 scale) from the weighted channel sums and weight total.
std::int64_t NeighbourhoodLevel(std::int64_t sumR,
                                std::int64_t sumG,
                                std::int64_t sumB,
                                std::int64_t total,
                                bool luminance);

// The signed strength for a pixel with channel sum rgbSum in a neighbourhood of level h.
int AdaptStrength(std::int64_t h, int rgbSum, const ToneParams& p);

// Applies the strength to the centre pixel, keeping its fourth byte.
std::uint32_t ApplyStrength(std::uint32_t centre, int s);

// Both throw std::invalid_argument for r < 1, a kernel of another size than (2r+1)^2, or params
// outside their ranges (CheckToneParams).
std::uint32_t AdaptPixel(int r, int x, int y, const AdaptState& state);
std::uint32_t AdaptPixelLarge(int r, int x, int y, const AdaptState& state);

inline std::uint32_t AdaptPixelWith(AdaptVariant v, int r, int x, int y, const AdaptState& s) {
    return v == AdaptVariant::Large ? AdaptPixelLarge(r, x, y, s) : AdaptPixel(r, x, y, s);
}

// Single-threaded literal adaptation of a whole bitmap; dst takes src's size. Throws as
// CheckToneParams does, and ("radius out of range") for a radius below 1 on an image with
// pixels; dst is left alone then.
void AdaptBitmapLiteral(const WorkingBitmap& src,
                        WorkingBitmap& dst,
                        int radius,
                        const ToneParams& params,
                        AdaptVariant variant);

}  // namespace zelqor
