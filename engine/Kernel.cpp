// Building the neighbourhood kernel.
#include "Kernel.h"

#include <cmath>
#include <cstdlib>

namespace zelqor {

Rect RectAround(int x, int y, int r) {
    return Rect{x - r, y - r, x + r, y + r};
}

int KernelDistance(int dx, int dy, int f) {
    if (dx == 0 || dy == 0) {
        return f * (std::abs(dx) + std::abs(dy));
    }
    const double d2 = static_cast<double>(dx) * dx + static_cast<double>(dy) * dy;
    return static_cast<int>(std::lround(f * std::sqrt(d2)));
}

std::vector<std::int32_t> BuildKernel(int radius, int f) {
    if (radius < 0) {
        radius = 0;
    }
    const int n = 2 * radius + 1;
    std::vector<std::int32_t> kernel;
    kernel.reserve(static_cast<std::size_t>(n) * n);
    const int peak = radius * f;
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int w = peak - KernelDistance(dx, dy, f);
            kernel.push_back(w > 0 ? w : 0);
        }
    }
    return kernel;
}

std::int64_t KernelTotal(const std::vector<std::int32_t>& kernel) {
    std::int64_t total = 0;
    for (std::int32_t w : kernel) {
        total += w;
    }
    return total;
}

bool IsLargeSizeMode(int radius) {
    const double r = radius;
    return 3.14 * r * r * 7.0 * r / 3.0 > 4194304.0;
}

}  // namespace zelqor
