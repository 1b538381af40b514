// Small generated bitmaps shared by the engine tests.
#pragma once

#include <random>

#include "WorkingBitmap.h"

namespace zelqor::test_images {

inline WorkingBitmap Uniform(int w, int h, std::uint32_t pixel) {
    WorkingBitmap b(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            b.SetPixel(x, y, pixel);
        }
    }
    return b;
}

// Every byte random, the fourth included.
inline WorkingBitmap Noise(int w, int h, unsigned seed) {
    WorkingBitmap b(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            b.SetPixel(x, y, rng());
        }
    }
    return b;
}

// A width x height part of image from (left, top), as a bitmap of its own.
inline WorkingBitmap Crop(const WorkingBitmap& image, int left, int top, int width, int height) {
    WorkingBitmap out(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out.SetPixel(x, y, image.Pixel(left + x, top + y));
        }
    }
    return out;
}

}  // namespace zelqor::test_images
