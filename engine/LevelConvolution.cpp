// Direct level sums: the kernel is symmetric in dx and in dy, so each row first adds the rows
// y+dy and y-dy, and each term then adds the columns x+dx and x-dx, quartering the multiplies.
#include "LevelConvolution.h"

#include <immintrin.h>

#include <algorithm>
#include <climits>

namespace zelqor {

bool CpuHasAvx2() {
    // Also right when asked from a static initialiser, before libgcc's own set-up has run.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

LevelConvolution::LevelConvolution(const LevelKernel& kernel, const LevelRowLayout& layout)
    : layout_(layout),
      reachY_(kernel.ReachY()),
      zeros_(static_cast<std::size_t>(layout.stride), 0) {
    for (int dy = 0; dy <= kernel.ReachY(); ++dy) {
        for (int dx = 0; dx <= kernel.ReachX(); ++dx) {
            if (kernel.At(dx, dy) > 0) {
                terms_.push_back({dx, dy, kernel.At(dx, dy)});
            }
        }
    }
    if (terms_.size() % 2 != 0) {
        terms_.push_back({0, 0, 0});
    }
    // A folded term is at most four centred levels; a chunk's 32-bit sums stay below 2^31.
    const std::int64_t termBound = 4LL * kMaxCentredLevel;
    std::int64_t bound = 0;
    for (std::size_t t = 0; t < terms_.size(); t += 2) {
        const std::int64_t pairBound = (terms_[t].weight + terms_[t + 1].weight) * termBound;
        if (bound + pairBound > INT32_MAX) {
            chunkEnds_.push_back(static_cast<int>(t));
            bound = 0;
        }
        bound += pairBound;
        pairWeights_.push_back(
            static_cast<std::int32_t>(static_cast<std::uint32_t>(terms_[t].weight & 0xFFFF) |
                                      (static_cast<std::uint32_t>(terms_[t + 1].weight) << 16)));
    }
    chunkEnds_.push_back(static_cast<int>(terms_.size()));
}

void LevelConvolution::PrepareRow(const std::int16_t* const* rows,
                                  LevelConvolutionScratch& scratch) const {
    const int stride = layout_.stride;
    const int pad = layout_.pad;
    scratch.folded.resize(static_cast<std::size_t>(reachY_) * stride);
    for (int dy = 1; dy <= reachY_; ++dy) {
        const std::int16_t* below = rows[reachY_ + dy] - pad;
        const std::int16_t* above = rows[reachY_ - dy] - pad;
        std::int16_t* out = scratch.folded.data() + static_cast<std::size_t>(dy - 1) * stride;
        for (int i = 0; i < stride; ++i) {
            out[i] = static_cast<std::int16_t>(below[i] + above[i]);
        }
    }
    scratch.near.resize(terms_.size());
    scratch.far.resize(terms_.size());
    for (std::size_t t = 0; t < terms_.size(); ++t) {
        const Term& term = terms_[t];
        const std::int16_t* folded =
            term.dy == 0
                ? rows[reachY_]
                : scratch.folded.data() + static_cast<std::size_t>(term.dy - 1) * stride + pad;
        scratch.near[t] = folded + term.dx;
        // The centre column has no mirror: pair it with zeros rather than branch in the loop.
        scratch.far[t] = term.dx == 0 ? zeros_.data() + pad : folded - term.dx;
    }
}

void LevelConvolution::RowPortable(std::int64_t* sums, LevelConvolutionScratch& scratch) const {
    const int n = RoundUpToBlock(layout_.width);
    std::fill(sums, sums + n, std::int64_t{0});
    scratch.partial.resize(static_cast<std::size_t>(n));
    std::int32_t* partial = scratch.partial.data();
    int t = 0;
    for (const int chunkEnd : chunkEnds_) {
        std::fill(partial, partial + n, 0);
        for (; t < chunkEnd; ++t) {
            const std::int32_t w = terms_[t].weight;
            const std::int16_t* a = scratch.near[t];
            const std::int16_t* b = scratch.far[t];
            for (int x = 0; x < n; ++x) {
                partial[x] += w * (a[x] + b[x]);
            }
        }
        for (int x = 0; x < n; ++x) {
            sums[x] += partial[x];
        }
    }
}

namespace {

__attribute__((target("avx2"))) inline __m256i LoadLevels(const std::int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Moves one half-block's 32-bit partial sums into its four 64-bit totals, in pixel order.
__attribute__((target("avx2"))) inline void AddWidened(__m256i* total, __m256i lo, __m256i hi) {
    total[0] = _mm256_add_epi64(total[0], _mm256_cvtepi32_epi64(_mm256_castsi256_si128(lo)));
    total[1] = _mm256_add_epi64(total[1], _mm256_cvtepi32_epi64(_mm256_castsi256_si128(hi)));
    total[2] = _mm256_add_epi64(total[2], _mm256_cvtepi32_epi64(_mm256_extracti128_si256(lo, 1)));
    total[3] = _mm256_add_epi64(total[3], _mm256_cvtepi32_epi64(_mm256_extracti128_si256(hi, 1)));
}

}  // namespace

__attribute__((target("avx2"))) void LevelConvolution::RowAvx2(
    std::int64_t* sums,
    const LevelConvolutionScratch& scratch) const {
    const int n = RoundUpToBlock(layout_.width);
    const std::int16_t* const* near = scratch.near.data();
    const std::int16_t* const* far = scratch.far.data();
    const std::int32_t* weights = pairWeights_.data();
    // Two 16-pixel halves per block share each pair's pointers and weights.
    for (int x = 0; x < n; x += kLevelBlock) {
        // Per half, lanes 0..3 and 8..11 sit in lo, 4..7 and 12..15 in hi, as unpacklo/unpackhi
        // leave them.
        __m256i total[8];
        for (__m256i& t : total) {
            t = _mm256_setzero_si256();
        }
        int t = 0;
        for (const int chunkEnd : chunkEnds_) {
            __m256i lo0 = _mm256_setzero_si256();
            __m256i hi0 = _mm256_setzero_si256();
            __m256i lo1 = _mm256_setzero_si256();
            __m256i hi1 = _mm256_setzero_si256();
            for (; t < chunkEnd; t += 2) {
                const std::int16_t* nearA = near[t] + x;
                const std::int16_t* farA = far[t] + x;
                const std::int16_t* nearB = near[t + 1] + x;
                const std::int16_t* farB = far[t + 1] + x;
                const __m256i w = _mm256_set1_epi32(weights[t / 2]);
                const __m256i a0 = _mm256_add_epi16(LoadLevels(nearA), LoadLevels(farA));
                const __m256i b0 = _mm256_add_epi16(LoadLevels(nearB), LoadLevels(farB));
                const __m256i a1 = _mm256_add_epi16(LoadLevels(nearA + 16), LoadLevels(farA + 16));
                const __m256i b1 = _mm256_add_epi16(LoadLevels(nearB + 16), LoadLevels(farB + 16));
                lo0 = _mm256_add_epi32(lo0, _mm256_madd_epi16(_mm256_unpacklo_epi16(a0, b0), w));
                hi0 = _mm256_add_epi32(hi0, _mm256_madd_epi16(_mm256_unpackhi_epi16(a0, b0), w));
                lo1 = _mm256_add_epi32(lo1, _mm256_madd_epi16(_mm256_unpacklo_epi16(a1, b1), w));
                hi1 = _mm256_add_epi32(hi1, _mm256_madd_epi16(_mm256_unpackhi_epi16(a1, b1), w));
            }
            AddWidened(total, lo0, hi0);
            AddWidened(total + 4, lo1, hi1);
        }
        for (int i = 0; i < 8; ++i) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + x + 4 * i), total[i]);
        }
    }
}

void LevelConvolution::Row(const std::int16_t* const* rows,
                           std::int64_t* sums,
                           LevelConvolutionScratch& scratch,
                           bool avx2) const {
    PrepareRow(rows, scratch);
    if (avx2) {
        RowAvx2(sums, scratch);
    } else {
        RowPortable(sums, scratch);
    }
}

}  // namespace zelqor
