// The quarter of the cone kernel that the fast level sums use, cut to what an image can reach.
#pragma once

#include <cstdint>
#include <vector>

namespace zelqor {

// Radii above this are refused: the weights (7r) would no longer fit the 16-bit lanes of the
// direct path.
inline constexpr int kMaxFastRadius = 4096;

// Window totals from this on are refused: the double divisions of the level are proven exact
// only below it (see ToneStep.cpp). Full kernels pass it from about r = 2000 on; the kernel of a
// thin image, cut to what reaches its pixels, much later.
inline constexpr std::int64_t kMaxFastWindowTotal = std::int64_t{1} << 36;

// The cone weights depend only on |dx| and |dy|, so one quarter holds them all. Offsets of
// |dx| >= width or |dy| >= height never meet a pixel of the image, so the quarter stops there.
class LevelKernel {
  public:
    LevelKernel(int radius, int width, int height);

    int Radius() const { return radius_; }
    int ReachX() const { return reachX_; }
    int ReachY() const { return reachY_; }
    // The largest window total S any pixel of the image can have.
    std::int64_t LargestTotal() const { return largestTotal_; }
    // dx in 0..ReachX(), dy in 0..ReachY(); the same value as BuildKernel's entry for (±dx, ±dy).
    std::int32_t At(int dx, int dy) const {
        return weights_[static_cast<std::size_t>(dy) * (reachX_ + 1) + dx];
    }

  private:
    int radius_;
    int reachX_;
    int reachY_;
    std::int64_t largestTotal_ = 0;
    std::vector<std::int32_t> weights_;
};

// The weight total S of every pixel of a row: the kernel summed over the window clipped to the
// image, from column sums over the clipped rows, O(ReachX) per row and O(1) per pixel.
class LevelWindowTotals {
  public:
    LevelWindowTotals(const LevelKernel& kernel, int width, int height);

    // scratch is the caller's, so that concurrent rows share nothing.
    void Row(int y, std::int64_t* totals, std::vector<std::int64_t>& scratch) const;

  private:
    const LevelKernel& kernel_;
    int width_;
    int height_;
    std::vector<std::int64_t> columnSums_;  // [dx][k] = sum of At(dx, 0..k)
};

}  // namespace zelqor
