// Fitting an image into a panel's page and drawing the visible part, with or without a cache.
#include "PanelPainter.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ScaleBitmap.h"

namespace zelqor {
namespace {

Rect Intersect(const Rect& a, const Rect& b) {
    const Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) {
        return Rect{};
    }
    return r;
}

// Copies the part of fitted (placed at fit) that lies inside update and inside the buffer, then
// restyles exactly those pixels: the background around the image keeps its colour whatever the
// style, and rows outside the update are never touched, which is what keeps a cached repaint
// cheap.
void DrawFitted(WorkingBitmap& buffer,
                const Rect& update,
                const Rect& fit,
                const WorkingBitmap& fitted,
                int code,
                Rgb tint) {
    // The buffer may be smaller than update; whatever it cannot hold is clipped.
    const Rect bufferArea{update.left, update.top, update.left + buffer.Width(),
                          update.top + buffer.Height()};
    const Rect visible = Intersect(Intersect(fit, update), bufferArea);
    if (visible.Width() <= 0) {
        return;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(visible.Width()) * 4;
    for (int y = visible.top; y < visible.bottom; ++y) {
        std::uint32_t* dst = buffer.RowWords(y - update.top) + (visible.left - update.left);
        const std::uint32_t* src = fitted.RowWords(y - fit.top) + (visible.left - fit.left);
        std::memcpy(dst, src, rowBytes);
    }
    const Rect styled{visible.left - update.left, visible.top - update.top,
                      visible.right - update.left, visible.bottom - update.top};
    MakeViewBitmap(&buffer, styled, code, tint);
}

// The first fit after a run shrinks a photo of tens of megapixels, and the engine's general
// resampler spends most of that time in its scalar horizontal pass. The shrink below computes
// the very same weights and roundings (the tests hold it to the engine's output bit for bit) but
// takes two source pixels per multiply-add.
constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;

struct ShrinkAxis {
    std::vector<int> first;             // first source index of each output
    std::vector<int> offset;            // into weights; one more than there are outputs
    std::vector<std::int32_t> weights;  // each output's sum to kWeightOne
};

// Output i covers [i*src, (i+1)*src) and source j covers [j*dst, (j+1)*dst), in units of 1/dst;
// the rounding error of each output's weights goes to its largest one.
ShrinkAxis MakeShrinkAxis(int src, int dst) {
    ShrinkAxis a;
    a.first.resize(dst);
    a.offset.resize(dst + 1);
    for (int i = 0; i < dst; ++i) {
        const std::int64_t lo = static_cast<std::int64_t>(i) * src;
        const std::int64_t hi = lo + src;
        const int j0 = static_cast<int>(lo / dst);
        const int j1 = static_cast<int>((hi - 1) / dst);
        a.first[i] = j0;
        a.offset[i] = static_cast<int>(a.weights.size());
        const std::size_t from = a.weights.size();
        std::int32_t sum = 0;
        std::size_t largest = from;
        for (int j = j0; j <= j1; ++j) {
            const std::int64_t overlap = std::min(hi, static_cast<std::int64_t>(j + 1) * dst) -
                                         std::max(lo, static_cast<std::int64_t>(j) * dst);
            const auto w = static_cast<std::int32_t>((overlap * kWeightOne + src / 2) / src);
            a.weights.push_back(w);
            sum += w;
            if (w > a.weights[largest]) {
                largest = a.weights.size() - 1;
            }
        }
        a.weights[largest] += kWeightOne - sum;
    }
    a.offset[dst] = static_cast<int>(a.weights.size());
    return a;
}

// The horizontal weights laid out for pairs of source pixels: every output gets the same number
// of pairs, padded with zero weights, so the inner loop has a fixed trip count instead of one
// that a branch predictor keeps missing. Padding goes in front near the end of a row so that no
// read leaves the row.
struct PairedAxis {
    int pairs = 0;
    std::vector<int> first;
    std::vector<std::int32_t> packed;  // two 16-bit weights a lane: weights never exceed 1 << 14
};

PairedAxis PairUp(const ShrinkAxis& a, int src) {
    PairedAxis p;
    const int dst = static_cast<int>(a.first.size());
    int taps = 0;
    for (int i = 0; i < dst; ++i) {
        taps = std::max(taps, a.offset[i + 1] - a.offset[i]);
    }
    p.pairs = (taps + 1) / 2;
    const int span = 2 * p.pairs;
    if (span > src) {
        p.pairs = 0;  // too narrow a source to pad; the caller uses the general resampler
        return p;
    }
    p.first.resize(dst);
    p.packed.assign(static_cast<std::size_t>(dst) * p.pairs, 0);
    std::vector<std::int32_t> w(span);
    for (int i = 0; i < dst; ++i) {
        const int start = std::min(a.first[i], src - span);
        std::fill(w.begin(), w.end(), 0);
        for (int k = a.offset[i]; k < a.offset[i + 1]; ++k) {
            w[a.first[i] - start + (k - a.offset[i])] = a.weights[k];
        }
        p.first[i] = start;
        for (int q = 0; q < p.pairs; ++q) {
            p.packed[static_cast<std::size_t>(i) * p.pairs + q] = w[2 * q] | (w[2 * q + 1] << 16);
        }
    }
    return p;
}

// One source row shrunk horizontally, each byte as value * 256.
void ShrinkRow(const std::uint8_t* in, const PairedAxis& ax, int width, std::int32_t* out) {
    constexpr int shift = kWeightBits - 8;
    const int pairs = ax.pairs;
    const std::int32_t* w = ax.packed.data();
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi32(1 << (shift - 1));
    for (int x = 0; x < width; ++x, w += pairs) {
        const std::uint8_t* p = in + static_cast<std::size_t>(ax.first[x]) * 4;
        __m128i sum = zero;
        for (int q = 0; q < pairs; ++q, p += 8) {
            // Bytes of two pixels to 16 bits, interleaved so that a multiply-add of each pair of
            // lanes sums one channel of both pixels.
            const __m128i two =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
            const __m128i interleaved = _mm_unpacklo_epi16(two, _mm_srli_si128(two, 8));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(interleaved, _mm_set1_epi32(w[q])));
        }
        sum = _mm_srai_epi32(_mm_add_epi32(sum, half), shift);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), sum);
    }
#else
    for (int x = 0; x < width; ++x, w += pairs) {
        const std::uint8_t* p = in + static_cast<std::size_t>(ax.first[x]) * 4;
        std::int32_t s[4] = {0, 0, 0, 0};
        for (int q = 0; q < pairs; ++q, p += 8) {
            const std::int32_t w0 = w[q] & 0xFFFF, w1 = w[q] >> 16;
            for (int c = 0; c < 4; ++c) {
                s[c] += w0 * p[c] + w1 * p[4 + c];
            }
        }
        for (int c = 0; c < 4; ++c) {
            out[4 * x + c] = (s[c] + (1 << (shift - 1))) >> shift;
        }
    }
#endif
}

void ShrinkBand(const WorkingBitmap& src,
                WorkingBitmap& dst,
                const PairedAxis& ax,
                const ShrinkAxis& ay,
                int y0,
                int y1) {
    const std::size_t n = static_cast<std::size_t>(dst.Width()) * 4;
    std::vector<std::int32_t> row(n), acc(n);
    // Neighbouring outputs share at most their boundary source row, so one row is kept.
    int rowY = -1;
    for (int y = y0; y < y1; ++y) {
        std::fill(acc.begin(), acc.end(), 0);
        for (int k = ay.offset[y]; k < ay.offset[y + 1]; ++k) {
            const std::int32_t wy = ay.weights[k];
            if (wy == 0) {
                continue;
            }
            const int sy = ay.first[y] + (k - ay.offset[y]);
            if (sy != rowY) {
                ShrinkRow(src.Row(sy), ax, dst.Width(), row.data());
                rowY = sy;
            }
            for (std::size_t i = 0; i < n; ++i) {
                acc[i] += wy * row[i];
            }
        }
        std::uint8_t* out = dst.Row(y);
        constexpr int shift = kWeightBits + 8;
        for (std::size_t i = 0; i < n; ++i) {
            const std::int32_t v = (acc[i] + (1 << (shift - 1))) >> shift;
            out[i] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
        }
    }
}

// ScaleBitmap's result for a target no larger than the source on either axis, in two bands;
// false, with dst untouched, for a source too narrow to pad its pairs.
bool ShrinkInto(const WorkingBitmap& src, int width, int height, WorkingBitmap& dst) {
    const PairedAxis ax = PairUp(MakeShrinkAxis(src.Width(), width), src.Width());
    if (ax.pairs == 0) {
        return false;
    }
    const ShrinkAxis ay = MakeShrinkAxis(src.Height(), height);
    if (dst.Width() != width || dst.Height() != height) {
        dst = WorkingBitmap{};  // the old copy goes before the new one is mapped
        dst.Resize(width, height);
    }
    if (height < 32) {
        ShrinkBand(src, dst, ax, ay, 0, height);
        return true;
    }
    std::thread other(ShrinkBand, std::cref(src), std::ref(dst), std::cref(ax), std::cref(ay),
                      height / 2, height);
    ShrinkBand(src, dst, ax, ay, 0, height / 2);
    other.join();
    return true;
}

}  // namespace

void PaintFittedImage(WorkingBitmap& buffer,
                      const Rect& update,
                      const Rect& client,
                      const WorkingBitmap& image,
                      int code,
                      Rgb tint) {
    const Rect fit = FitRect(client, image);
    if (fit.Width() <= 0 || fit.Height() <= 0) {
        return;
    }
    if (fit.Width() == image.Width() && fit.Height() == image.Height()) {
        DrawFitted(buffer, update, fit, image, code, tint);
        return;
    }
    DrawFitted(buffer, update, fit, ScaleBitmap(image, fit.Width(), fit.Height()), code, tint);
}

void PanelPainter::Paint(WorkingBitmap& buffer,
                         const Rect& update,
                         const Rect& client,
                         const WorkingBitmap& image,
                         std::uint64_t imageGeneration,
                         int code,
                         Rgb tint) {
    const Rect fit = FitRect(client, image);
    if (fit.Width() <= 0 || fit.Height() <= 0) {
        return;
    }
    if (fit.Width() == image.Width() && fit.Height() == image.Height()) {
        // A same-size stretch is an exact copy, so a cached copy would only cost memory and time.
        DrawFitted(buffer, update, fit, image, code, tint);
        return;
    }
    const Key key{imageGeneration, image.Width(), image.Height(), fit.Width(), fit.Height()};
    DrawFitted(buffer, update, fit, Fitted(image, key), code, tint);
}

const WorkingBitmap& PanelPainter::Fitted(const WorkingBitmap& image, const Key& key) {
    if (valid_ && key_ == key) {
        return fitted_;
    }
    const bool shrinks = key.fitWidth <= image.Width() && key.fitHeight <= image.Height();
    if (!shrinks || !ShrinkInto(image, key.fitWidth, key.fitHeight, fitted_)) {
        fitted_ = WorkingBitmap{};  // the old copy goes before the new one is made
        fitted_ = ScaleBitmap(image, key.fitWidth, key.fitHeight);
    }
    key_ = key;
    valid_ = true;
    return fitted_;
}

void PanelPainter::Forget() {
    fitted_ = WorkingBitmap{};
    key_ = Key{};
    valid_ = false;
}

}  // namespace zelqor
