// Quarter kernel and clipped window totals for the fast level sums.
#include "LevelKernel.h"

#include <algorithm>
#include <stdexcept>

#include "Kernel.h"

namespace zelqor {

LevelKernel::LevelKernel(int radius, int width, int height) : radius_(radius) {
    if (radius < 1 || radius > kMaxFastRadius) {
        throw std::invalid_argument("radius out of range");
    }
    reachX_ = std::clamp(width - 1, 0, radius);
    reachY_ = std::clamp(height - 1, 0, radius);
    weights_.resize(static_cast<std::size_t>(reachX_ + 1) * (reachY_ + 1));
    const int peak = radius * kKernelScale;
    for (int dy = 0; dy <= reachY_; ++dy) {
        for (int dx = 0; dx <= reachX_; ++dx) {
            const int w = peak - KernelDistance(dx, dy, kKernelScale);
            const int weight = w > 0 ? w : 0;
            weights_[static_cast<std::size_t>(dy) * (reachX_ + 1) + dx] = weight;
            // Each quarter entry stands for up to four cells of the window.
            largestTotal_ +=
                static_cast<std::int64_t>(weight) * (dx > 0 ? 2 : 1) * (dy > 0 ? 2 : 1);
        }
    }
    if (largestTotal_ >= kMaxFastWindowTotal) {
        throw std::invalid_argument("radius out of range");
    }
}

LevelWindowTotals::LevelWindowTotals(const LevelKernel& kernel, int width, int height)
    : kernel_(kernel), width_(width), height_(height) {
    const int rx = kernel.ReachX();
    const int ry = kernel.ReachY();
    columnSums_.resize(static_cast<std::size_t>(rx + 1) * (ry + 1));
    for (int dx = 0; dx <= rx; ++dx) {
        std::int64_t sum = 0;
        for (int k = 0; k <= ry; ++k) {
            sum += kernel.At(dx, k);
            columnSums_[static_cast<std::size_t>(dx) * (ry + 1) + k] = sum;
        }
    }
}

void LevelWindowTotals::Row(int y, std::int64_t* totals, std::vector<std::int64_t>& scratch) const {
    const int rx = kernel_.ReachX();
    const int ry = kernel_.ReachY();
    const int up = std::min(ry, y);
    const int down = std::min(ry, height_ - 1 - y);
    // prefix[k] = total of the clipped rows over dx = 0..k; both halves of a row share dx = 0.
    scratch.resize(static_cast<std::size_t>(rx) + 1);
    std::int64_t running = 0;
    for (int dx = 0; dx <= rx; ++dx) {
        const std::int64_t* column = columnSums_.data() + static_cast<std::size_t>(dx) * (ry + 1);
        running += column[up] + column[down] - kernel_.At(dx, 0);
        scratch[dx] = running;
    }
    const std::int64_t centreColumn = scratch[0];
    // Only the first and last rx pixels see a clipped row; the rest share the full total.
    const int leftEnd = std::min(rx, width_);
    const int rightStart = std::max(leftEnd, width_ - rx);
    for (int x = 0; x < leftEnd; ++x) {
        totals[x] = scratch[x] + scratch[std::min(rx, width_ - 1 - x)] - centreColumn;
    }
    std::fill(totals + leftEnd, totals + rightStart, 2 * scratch[rx] - centreColumn);
    for (int x = rightStart; x < width_; ++x) {
        totals[x] = scratch[std::min(rx, x)] + scratch[width_ - 1 - x] - centreColumn;
    }
}

}  // namespace zelqor
