// Per-pixel levels L, centred and zero-padded, as the 16-bit rows the direct level sums read.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "LevelHugeBuffer.h"
#include "WorkingBitmap.h"

namespace zelqor {

// L is the quantity whose kernel-weighted sum gives the neighbourhood level: 10R+19G+4B with the
// luminance switch (so that sum div S div 11 is the level), R+G+B without it.
inline int PixelLevel(std::uint32_t p, bool luminance) {
    return luminance ? 10 * PixelR(p) + 19 * PixelG(p) + 4 * PixelB(p)
                     : PixelR(p) + PixelG(p) + PixelB(p);
}

// Levels are stored minus this centre so that four of them (L 0..8415) still add up within 16
// bits; the centre times the window total is added back exactly afterwards.
inline int LevelCentre(bool luminance) {
    return luminance ? 4208 : 383;
}

// Largest |L - centre| over both settings: bounds the partial sums of the direct path.
inline constexpr int kMaxCentredLevel = 4208;

inline int RoundUp16(int n) {
    return (n + 15) & ~15;
}

// The direct sums work on blocks of this many pixels; rows and sums are rounded up to it.
inline constexpr int kLevelBlock = 32;
inline int RoundUpToBlock(int n) {
    return (n + kLevelBlock - 1) / kLevelBlock * kLevelBlock;
}

// Element x of a row sits at offset pad + x; everything outside 0..width-1 is zero, far enough
// out that 16-wide loads at any offset up to reachX either side stay inside the row.
struct LevelRowLayout {
    LevelRowLayout(int width, int reachX);

    int width;
    int pad;
    int stride;
};

void FillLevelRow(const std::uint32_t* src,
                  const LevelRowLayout& layout,
                  bool luminance,
                  std::int16_t* paddedRow);

// The whole image as centred level rows; 2 bytes per pixel plus the padding.
class LevelPlane {
  public:
    LevelPlane(const LevelRowLayout& layout, int height);

    void Fill(const WorkingBitmap& src, bool luminance, int firstRow, int endRow);
    // Element 0 of row y; outside the image a row of zeros.
    const std::int16_t* Row(int y) const;

  private:
    LevelRowLayout layout_;
    int height_;
    HugeBuffer<std::int16_t> rows_;
    std::vector<std::int16_t> zeroRow_;
};

}  // namespace zelqor
