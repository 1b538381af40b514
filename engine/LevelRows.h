// Per-pixel levels L, centred and zero-padded, as the 16-bit rows the direct level sums read.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

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
                  bool avx2,
                  std::int16_t* paddedRow);

// The same row for a span of a wider image: element x (at offset pad + x) holds the level of
// column left + x of the image row src (srcWidth pixels), and the pads hold the real neighbours
// where the image has them, zero beyond its edges, so sums over the span are the whole row's.
void FillLevelRowAt(const std::uint32_t* src,
                    int srcWidth,
                    int left,
                    const LevelRowLayout& layout,
                    bool luminance,
                    bool avx2,
                    std::int16_t* paddedRow);

// L - centre of count pixels as doubles, the input of the transforms.
void FillLevelValues(const std::uint32_t* src, int count, bool luminance, bool avx2, double* out);

// The level rows around one thread's current row, kept from row to row: rows are claimed in
// increasing order, so the next row needs only a few new ones. This costs each thread a fill
// of most rows, but no image-sized plane (whose fresh pages cost more than the fills).
class LevelRowRing {
  public:
    // Element 0 of the rows y-reachY..y+reachY of src (zero rows outside the image), filled as
    // needed. owner tells apart the runs that share a thread.
    const std::int16_t* const* Rows(const WorkingBitmap& src,
                                    const LevelRowLayout& layout,
                                    bool luminance,
                                    bool avx2,
                                    int reachY,
                                    std::uint64_t owner,
                                    int y);

  private:
    std::uint64_t owner_ = 0;
    int slots_ = 0;
    std::vector<std::int16_t> storage_;  // slots_ rows, then one zero row
    std::vector<int> tags_;              // the image row each slot holds, or -1
    std::vector<const std::int16_t*> rows_;
};

}  // namespace zelqor
