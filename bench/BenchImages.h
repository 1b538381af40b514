// Photo-like synthetic test images for the benchmarks: gradients, edges and noise.
#pragma once

#include <cmath>
#include <random>

#include "WorkingBitmap.h"

namespace zelqor::bench {

inline WorkingBitmap PhotoLike(int w, int h, unsigned seed = 1) {
    WorkingBitmap b(w, h);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < h; ++y) {
        std::uint32_t* row = b.RowWords(y);
        for (int x = 0; x < w; ++x) {
            const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
            int r = static_cast<int>(255 * fx * (1 - fy * 0.5));
            int g = static_cast<int>(128 + 100 * std::sin(fx * 9 + fy * 4));
            int bl = ((x / 97 + y / 61) & 1) ? 220 : 30;
            auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
            row[x] =
                MakePixel(clamp(r + noise(rng)), clamp(g + noise(rng)), clamp(bl + noise(rng)));
        }
    }
    return b;
}

}  // namespace zelqor::bench
