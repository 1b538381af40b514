// The cone-shaped neighbourhood weights of a run, in sevenths of a pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "Rect.h"

namespace zelqor {

inline constexpr int kKernelScale = 7;

// The square x-r..x+r by y-r..y+r, all bounds inclusive.
Rect RectAround(int x, int y, int r);

// f * (|dx| + |dy|) on the axes, otherwise f * sqrt(dx^2 + dy^2) rounded to nearest.
int KernelDistance(int dx, int dy, int f);

// (2r+1)^2 weights, row-major from dy = -r, each max(0, r*f - KernelDistance(dx, dy, f)).
std::vector<std::int32_t> BuildKernel(int radius, int f = kKernelScale);

// Sum of all weights, in 64 bits because it passes 2^31 from radius 665 on.
std::int64_t KernelTotal(const std::vector<std::int32_t>& kernel);

// The run switches to 64-bit channel sums when the cone's volume estimate passes 2^22,
// which happens exactly from radius 84 on.
bool IsLargeSizeMode(int radius);

}  // namespace zelqor
