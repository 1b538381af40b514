// Direct kernel-weighted level sums of one row, portable and AVX2, folded on both symmetries.
#pragma once

#include <cstdint>
#include <vector>

#include "LevelKernel.h"
#include "LevelRows.h"

namespace zelqor {

// True when the processor and the operating system allow AVX2 code.
bool CpuHasAvx2();

// What one thread needs for a row; reused from row to row.
struct LevelConvolutionScratch {
    std::vector<std::int16_t> folded;
    std::vector<const std::int16_t*> near;
    std::vector<const std::int16_t*> far;
    std::vector<std::int32_t> partial;
};

class LevelConvolution {
  public:
    LevelConvolution(const LevelKernel& kernel, const LevelRowLayout& layout);

    // rows[i] is element 0 of the centred level row y - ReachY + i, for i in 0..2*ReachY (zero
    // rows outside the image). sums[x] = sum of w * (L - centre) over the window of (x, y), for x
    // in 0..RoundUpToBlock(width)-1 (values past the width are scrap).
    void Row(const std::int16_t* const* rows,
             std::int64_t* sums,
             LevelConvolutionScratch& scratch,
             bool avx2) const;

  private:
    // One folded term: the weight of (±dx, ±dy), applied to the sum of the mirrored levels.
    struct Term {
        int dx;
        int dy;
        std::int32_t weight;
    };

    void PrepareRow(const std::int16_t* const* rows, LevelConvolutionScratch& scratch) const;
    void RowPortable(std::int64_t* sums, LevelConvolutionScratch& scratch) const;
    void RowAvx2(std::int64_t* sums, const LevelConvolutionScratch& scratch) const;

    LevelRowLayout layout_;
    int reachY_;
    std::vector<Term> terms_;                // an even number, by dy then dx
    std::vector<std::int32_t> pairWeights_;  // two 16-bit weights per pair, low one first
    std::vector<int> chunkEnds_;             // term index after which 32-bit sums go to 64 bits
    std::vector<std::int16_t> zeros_;
};

}  // namespace zelqor
