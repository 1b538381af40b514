// Centred 16-bit level rows and the per-thread ring that keeps them.
#include "LevelRows.h"

#include <immintrin.h>

#include <algorithm>

namespace zelqor {

LevelRowLayout::LevelRowLayout(int width_, int reachX)
    : width(width_), pad(RoundUp16(reachX + 16)), stride(pad + RoundUpToBlock(width_) + pad) {}

namespace {

// L - centre for eight pixels: maddubs forms 4B+19G and 10R (or B+G and R) per pixel as two
// 16-bit halves, madd adds the halves.
struct CentredLevels {
    __m256i weights;
    __m256i centre;

    __attribute__((target("avx2"))) explicit CentredLevels(bool luminance)
        : weights(luminance ? _mm256_set1_epi32(0x000A1304) : _mm256_set1_epi32(0x00010101)),
          centre(_mm256_set1_epi32(LevelCentre(luminance))) {}

    __attribute__((target("avx2"))) __m256i Of(const std::uint32_t* eightPixels) const {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(eightPixels));
        return _mm256_sub_epi32(
            _mm256_madd_epi16(_mm256_maddubs_epi16(p, weights), _mm256_set1_epi16(1)), centre);
    }
};

__attribute__((target("avx2"))) void FillLevelsAvx2(const std::uint32_t* src,
                                                    int width,
                                                    bool luminance,
                                                    std::int16_t* row) {
    const CentredLevels levels(luminance);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i l0 = levels.Of(src + x);
        const __m256i l1 = levels.Of(src + x + 8);
        // packs works within 128-bit lanes; the permute puts the pixels back in order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(l0, l1), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + x), packed);
    }
    const int c = LevelCentre(luminance);
    for (; x < width; ++x) {
        row[x] = static_cast<std::int16_t>(PixelLevel(src[x], luminance) - c);
    }
}

// The same levels as FillLevelsAvx2, widened to doubles instead of packed to 16 bits.
__attribute__((target("avx2"))) void FillLevelValuesAvx2(const std::uint32_t* src,
                                                         int count,
                                                         bool luminance,
                                                         double* out) {
    const CentredLevels levels(luminance);
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m256i l = levels.Of(src + x);
        _mm256_storeu_pd(out + x, _mm256_cvtepi32_pd(_mm256_castsi256_si128(l)));
        _mm256_storeu_pd(out + x + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(l, 1)));
    }
    const int c = LevelCentre(luminance);
    for (; x < count; ++x) {
        out[x] = PixelLevel(src[x], luminance) - c;
    }
}

}  // namespace

void FillLevelValues(const std::uint32_t* src, int count, bool luminance, bool avx2, double* out) {
    if (avx2) {
        FillLevelValuesAvx2(src, count, luminance, out);
        return;
    }
    const int centre = LevelCentre(luminance);
    for (int x = 0; x < count; ++x) {
        out[x] = PixelLevel(src[x], luminance) - centre;
    }
}

void FillLevelRow(const std::uint32_t* src,
                  const LevelRowLayout& layout,
                  bool luminance,
                  bool avx2,
                  std::int16_t* paddedRow) {
    std::fill(paddedRow, paddedRow + layout.pad, std::int16_t{0});
    std::int16_t* row = paddedRow + layout.pad;
    if (avx2) {
        FillLevelsAvx2(src, layout.width, luminance, row);
    } else {
        const int centre = LevelCentre(luminance);
        for (int x = 0; x < layout.width; ++x) {
            row[x] = static_cast<std::int16_t>(PixelLevel(src[x], luminance) - centre);
        }
    }
    std::fill(row + layout.width, paddedRow + layout.stride, std::int16_t{0});
}

void FillLevelRowAt(const std::uint32_t* src,
                    int srcWidth,
                    int left,
                    const LevelRowLayout& layout,
                    bool luminance,
                    bool avx2,
                    std::int16_t* paddedRow) {
    // Offset k of the padded row is image column first + k.
    const long first = static_cast<long>(left) - layout.pad;
    const int from = static_cast<int>(std::clamp<long>(-first, 0, layout.stride));
    const int to = static_cast<int>(std::clamp<long>(srcWidth - first, from, layout.stride));
    std::fill(paddedRow, paddedRow + from, std::int16_t{0});
    std::fill(paddedRow + to, paddedRow + layout.stride, std::int16_t{0});
    if (to == from) {
        return;
    }
    const std::uint32_t* pixels = src + (first + from);
    std::int16_t* row = paddedRow + from;
    if (avx2) {
        FillLevelsAvx2(pixels, to - from, luminance, row);
    } else {
        const int centre = LevelCentre(luminance);
        for (int x = 0; x < to - from; ++x) {
            row[x] = static_cast<std::int16_t>(PixelLevel(pixels[x], luminance) - centre);
        }
    }
}

const std::int16_t* const* LevelRowRing::Rows(const WorkingBitmap& src,
                                              const LevelRowLayout& layout,
                                              bool luminance,
                                              bool avx2,
                                              int reachY,
                                              std::uint64_t owner,
                                              int y) {
    const std::size_t stride = static_cast<std::size_t>(layout.stride);
    // Two spare slots: the next row of this thread is usually two further on.
    const int slots = 2 * reachY + 3;
    if (owner != owner_ || slots != slots_ || storage_.size() != stride * (slots + 1)) {
        owner_ = owner;
        slots_ = slots;
        storage_.assign(stride * (slots + 1), 0);
        tags_.assign(static_cast<std::size_t>(slots), -1);
    }
    rows_.resize(static_cast<std::size_t>(2 * reachY + 1));
    const std::int16_t* zero = storage_.data() + stride * slots + layout.pad;
    for (int i = 0; i <= 2 * reachY; ++i) {
        const int yy = y - reachY + i;
        if (yy < 0 || yy >= src.Height()) {
            rows_[i] = zero;
            continue;
        }
        const int slot = yy % slots;
        std::int16_t* row = storage_.data() + stride * slot;
        if (tags_[slot] != yy) {
            FillLevelRow(src.RowWords(yy), layout, luminance, avx2, row);
            tags_[slot] = yy;
        }
        rows_[i] = row + layout.pad;
    }
    return rows_.data();
}

}  // namespace zelqor
