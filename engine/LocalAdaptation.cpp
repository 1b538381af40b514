// The literal per-pixel adaptation over the clipped (2r+1)^2 window.
#include "LocalAdaptation.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "Kernel.h"

namespace zelqor {

int ToneCurve(int v, int s) {
    if (s == 0) {
        return v;
    }
    std::int64_t n;
    std::int64_t q;
    if (s > 0) {
        n = 1000LL * v;
        q = 255000LL + static_cast<std::int64_t>(255 - v) * s;
    } else {
        const std::int64_t t = -static_cast<std::int64_t>(s);
        n = (1000 + t) * v;
        q = 255000LL + t * v;
    }
    return static_cast<int>((255 * n + q / 2) / q);
}

std::int64_t NeighbourhoodLevel(std::int64_t sumR,
                                std::int64_t sumG,
                                std::int64_t sumB,
                                std::int64_t total,
                                bool luminance) {
    if (luminance) {
        return ((10 * sumR + 19 * sumG + 4 * sumB) / total) / 11;
    }
    return (sumR + sumG + sumB) / total;
}

int AdaptStrength(std::int64_t h, int rgbSum, const ToneParams& p) {
    const int level = static_cast<int>(h);
    const int e = p.detailGain * (level - rgbSum);
    const int d = level - p.borderLevel;
    const int upper = kMaxBorderLevel - p.borderLevel;
    const int shift = d > 0 ? (d * 101) / (upper + 1) : (d * 101) / (p.borderLevel + 1);
    return 3 * p.hdrStrength * shift + e;
}

std::uint32_t ApplyStrength(std::uint32_t centre, int s) {
    return MakePixel(ToneCurve(PixelR(centre), s), ToneCurve(PixelG(centre), s),
                     ToneCurve(PixelB(centre), s), PixelX(centre));
}

namespace {

// A few comparisons against a loop over (2r+1)^2 weights: cheap enough for every pixel. Below
// radius 1 every weight is 0 and the level would divide by a zero total; a kernel of another
// radius would be read past its end.
void CheckAdaptInputs(int r, const AdaptState& st) {
    if (r < 1) {
        throw std::invalid_argument("radius out of range");
    }
    const std::size_t side = 2 * static_cast<std::size_t>(r) + 1;
    if (st.kernel.size() != side * side) {
        throw std::invalid_argument("kernel size does not match radius " + std::to_string(r));
    }
    CheckToneParams(st.params);
}

// Sum and Total are the accumulator types that tell the two variants apart.
template <typename Sum, typename Total>
std::uint32_t AdaptPixelT(int r, int x, int y, const AdaptState& st) {
    CheckAdaptInputs(r, st);
    const WorkingBitmap& src = *st.src;
    const int n = 2 * r + 1;
    const Rect win = RectAround(x, y, r);
    const int left = std::max(win.left, 0);
    const int top = std::max(win.top, 0);
    const int right = std::min(win.right, src.Width() - 1);
    const int bottom = std::min(win.bottom, src.Height() - 1);

    Total total = 0;
    Sum sumR = 0, sumG = 0, sumB = 0;
    for (int yy = top; yy <= bottom; ++yy) {
        const std::uint8_t* row = src.Row(yy);
        const std::int32_t* weights =
            st.kernel.data() + static_cast<std::size_t>(yy - y + r) * n + (left - x + r);
        for (int xx = left; xx <= right; ++xx, ++weights) {
            const std::int32_t w = *weights;
            if (w > 0) {
                const std::uint8_t* p = row + static_cast<std::size_t>(xx) * 4;
                total += w;
                // One product is 32-bit in both variants; only the sums differ in width.
                sumB += static_cast<Sum>(static_cast<std::int32_t>(w * p[0]));
                sumG += static_cast<Sum>(static_cast<std::int32_t>(w * p[1]));
                sumR += static_cast<Sum>(static_cast<std::int32_t>(w * p[2]));
            }
        }
    }

    const std::uint32_t centre = src.Pixel(x, y);
    const std::int64_t h = NeighbourhoodLevel(sumR, sumG, sumB, total, st.params.luminance);
    const int rgbSum = PixelR(centre) + PixelG(centre) + PixelB(centre);
    return ApplyStrength(centre, AdaptStrength(h, rgbSum, st.params));
}

}  // namespace

std::uint32_t AdaptPixel(int r, int x, int y, const AdaptState& state) {
    return AdaptPixelT<std::int32_t, std::int32_t>(r, x, y, state);
}

// The weight total is 64-bit here as well: from radius 665 on it no longer fits 32 bits.
std::uint32_t AdaptPixelLarge(int r, int x, int y, const AdaptState& state) {
    return AdaptPixelT<std::int64_t, std::int64_t>(r, x, y, state);
}

void AdaptBitmapLiteral(const WorkingBitmap& src,
                        WorkingBitmap& dst,
                        int radius,
                        const ToneParams& params,
                        AdaptVariant variant) {
    CheckToneParams(params);
    if (src.HoldsImage() && radius < 1) {
        throw std::invalid_argument("radius out of range");
    }
    dst.Resize(src.Width(), src.Height());
    const std::vector<std::int32_t> kernel = BuildKernel(radius);
    const AdaptState state{&src, kernel, radius, params};
    for (int y = 0; y < src.Height(); ++y) {
        std::uint32_t* out = dst.RowWords(y);
        for (int x = 0; x < src.Width(); ++x) {
            out[x] = AdaptPixelWith(variant, radius, x, y, state);
        }
    }
}

}  // namespace zelqor
