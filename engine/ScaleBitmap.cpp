// Separable fixed-point resampling with per-axis weight tables.
#include "ScaleBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelqor {
namespace {

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;

// For every output index: the first source index and the weights (summing to kWeightOne).
struct AxisWeights {
    std::vector<int> first;
    std::vector<int> offset;  // into weights, size dst + 1
    std::vector<std::int32_t> weights;
};

void Normalise(std::vector<std::int32_t>& w, std::size_t from) {
    std::int32_t sum = 0;
    std::size_t largest = from;
    for (std::size_t i = from; i < w.size(); ++i) {
        sum += w[i];
        if (w[i] > w[largest]) {
            largest = i;
        }
    }
    w[largest] += kWeightOne - sum;
}

// The weights of outputs [from, to) of an axis scaled from src to dst, stored from index 0: an
// output's weights depend on its own index only, so a part of the axis gets exactly the weights
// the whole axis would give it.
AxisWeights MakeWeights(int src, int dst, int from, int to) {
    AxisWeights a;
    const int n = to - from;
    a.first.resize(n);
    a.offset.resize(n + 1);
    if (src == dst) {
        for (int i = from; i < to; ++i) {
            a.first[i - from] = i;
            a.offset[i - from] = i - from;
            a.weights.push_back(kWeightOne);
        }
    } else if (dst < src) {
        // Output i covers [i*src, (i+1)*src) and source j covers [j*dst, (j+1)*dst), in 1/dst.
        for (int i = from; i < to; ++i) {
            const std::int64_t lo = static_cast<std::int64_t>(i) * src;
            const std::int64_t hi = lo + src;
            const int j0 = static_cast<int>(lo / dst);
            const int j1 = static_cast<int>((hi - 1) / dst);
            a.first[i - from] = j0;
            a.offset[i - from] = static_cast<int>(a.weights.size());
            const std::size_t from = a.weights.size();
            for (int j = j0; j <= j1; ++j) {
                const std::int64_t overlap = std::min(hi, static_cast<std::int64_t>(j + 1) * dst) -
                                             std::max(lo, static_cast<std::int64_t>(j) * dst);
                a.weights.push_back(
                    static_cast<std::int32_t>((overlap * kWeightOne + src / 2) / src));
            }
            Normalise(a.weights, from);
        }
    } else {
        for (int i = from; i < to; ++i) {
            double pos = (i + 0.5) * src / dst - 0.5;
            pos = std::clamp(pos, 0.0, static_cast<double>(src - 1));
            int j0 = static_cast<int>(pos);
            if (j0 >= src - 1) {
                j0 = std::max(src - 2, 0);
            }
            const std::int32_t w1 =
                src == 1 ? 0 : static_cast<std::int32_t>(std::lround((pos - j0) * kWeightOne));
            a.first[i - from] = j0;
            a.offset[i - from] = static_cast<int>(a.weights.size());
            a.weights.push_back(kWeightOne - w1);
            if (src > 1) {
                a.weights.push_back(w1);
            }
        }
    }
    a.offset[n] = static_cast<int>(a.weights.size());
    return a;
}

// Horizontal pass of one source row into value * 256 per byte.
void ResampleRow(const std::uint8_t* in, const AxisWeights& ax, int dstWidth, std::int32_t* out) {
    for (int x = 0; x < dstWidth; ++x) {
        const std::uint8_t* p = in + static_cast<std::size_t>(ax.first[x]) * 4;
        std::int32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        for (int k = ax.offset[x]; k < ax.offset[x + 1]; ++k, p += 4) {
            const std::int32_t w = ax.weights[k];
            s0 += w * p[0];
            s1 += w * p[1];
            s2 += w * p[2];
            s3 += w * p[3];
        }
        constexpr int shift = kWeightBits - 8;
        constexpr int half = 1 << (shift - 1);
        out[4 * x + 0] = (s0 + half) >> shift;
        out[4 * x + 1] = (s1 + half) >> shift;
        out[4 * x + 2] = (s2 + half) >> shift;
        out[4 * x + 3] = (s3 + half) >> shift;
    }
}

// The horizontal weights laid out for pairs of source pixels, so that one 16-bit multiply-add
// takes one channel of two pixels. Every output gets the same number of pairs, padded with zero
// weights: a fixed trip count keeps the inner loop free of the branch misses that the varying
// tap counts of a shrink cause. Near the end of a row the padding goes in front so that no read
// leaves the row. Empty (pairs == 0) for a source narrower than the padded span; the scalar pass
// then does the work.
struct PairedWeights {
    int pairs = 0;
    std::vector<int> first;             // first source index read for each output
    std::vector<std::uint32_t> packed;  // low half the even pixel's weight, high half the odd's
};

#if defined(__SSE2__)
PairedWeights PairUp(const AxisWeights& a, int src) {
    PairedWeights p;
    const int dst = static_cast<int>(a.first.size());
    int taps = 0;
    for (int i = 0; i < dst; ++i) {
        taps = std::max(taps, a.offset[i + 1] - a.offset[i]);
    }
    const int span = 2 * ((taps + 1) / 2);
    if (span > src) {
        return p;
    }
    p.pairs = span / 2;
    p.first.resize(dst);
    p.packed.resize(static_cast<std::size_t>(dst) * p.pairs);
    std::vector<std::int32_t> w(span);
    for (int i = 0; i < dst; ++i) {
        const int start = std::min(a.first[i], src - span);
        std::fill(w.begin(), w.end(), 0);
        for (int k = a.offset[i]; k < a.offset[i + 1]; ++k) {
            w[a.first[i] - start + (k - a.offset[i])] = a.weights[k];
        }
        p.first[i] = start;
        // The multiply-add takes signed 16-bit weights, and every weight lies in [-2^14, 2^14]:
        // a rounded weight exceeds its exact share by at most half a unit, and only when that
        // share is at least half a unit, so the correction takes at most 2^14 off an output's
        // largest weight. On the most extreme shrinks it does leave that weight negative, hence
        // the sign-exact packing.
        for (int q = 0; q < p.pairs; ++q) {
            p.packed[static_cast<std::size_t>(i) * p.pairs + q] =
                static_cast<std::uint16_t>(w[2 * q]) |
                static_cast<std::uint32_t>(static_cast<std::uint16_t>(w[2 * q + 1])) << 16;
        }
    }
    return p;
}

// ResampleRow's result from the paired layout; integer sums do not depend on their order.
void ResampleRowPaired(const std::uint8_t* in,
                       const PairedWeights& ax,
                       int dstWidth,
                       std::int32_t* out) {
    constexpr int shift = kWeightBits - 8;
    const int pairs = ax.pairs;
    const std::uint32_t* w = ax.packed.data();
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi32(1 << (shift - 1));
    for (int x = 0; x < dstWidth; ++x, w += pairs) {
        const std::uint8_t* p = in + static_cast<std::size_t>(ax.first[x]) * 4;
        __m128i sum = zero;
        for (int q = 0; q < pairs; ++q, p += 8) {
            // The bytes of two pixels widened to 16 bits and interleaved, so that each pair of
            // lanes holds one channel of both pixels.
            const __m128i two =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
            const __m128i interleaved = _mm_unpacklo_epi16(two, _mm_srli_si128(two, 8));
            sum = _mm_add_epi32(
                sum, _mm_madd_epi16(interleaved, _mm_set1_epi32(static_cast<int>(w[q]))));
        }
        sum = _mm_srai_epi32(_mm_add_epi32(sum, half), shift);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), sum);
    }
}
#else
PairedWeights PairUp(const AxisWeights&, int) {
    return PairedWeights{};
}
void ResampleRowPaired(const std::uint8_t*, const PairedWeights&, int, std::int32_t*) {}
#endif

// Each band keeps the two most recent horizontal rows: a shrinking axis shares one source row
// between neighbouring outputs, a growing one shares two.
class RowCache {
  public:
    RowCache(const WorkingBitmap& src,
             const AxisWeights& ax,
             const PairedWeights& paired,
             int width)
        : src_(src), ax_(ax), paired_(paired), width_(width) {
        for (Slot& s : slots_) {
            s.row.resize(static_cast<std::size_t>(width) * 4);
        }
    }
    const std::int32_t* Get(int y) {
        for (Slot& s : slots_) {
            if (s.y == y) {
                return s.row.data();
            }
        }
        Slot& s = slots_[next_];
        next_ ^= 1;
        s.y = y;
        if (paired_.pairs > 0) {
            ResampleRowPaired(src_.Row(y), paired_, width_, s.row.data());
        } else {
            ResampleRow(src_.Row(y), ax_, width_, s.row.data());
        }
        return s.row.data();
    }

  private:
    struct Slot {
        int y = -1;
        std::vector<std::int32_t> row;
    };
    const WorkingBitmap& src_;
    const AxisWeights& ax_;
    const PairedWeights& paired_;
    int width_;
    Slot slots_[2];
    int next_ = 0;
};

void ScaleBand(const WorkingBitmap& src,
               WorkingBitmap& dst,
               const AxisWeights& ax,
               const PairedWeights& paired,
               const AxisWeights& ay,
               int y0,
               int y1) {
    const int w = dst.Width();
    RowCache cache(src, ax, paired, w);
    std::vector<std::int32_t> acc(static_cast<std::size_t>(w) * 4);
    for (int y = y0; y < y1; ++y) {
        std::fill(acc.begin(), acc.end(), 0);
        for (int k = ay.offset[y]; k < ay.offset[y + 1]; ++k) {
            const std::int32_t wy = ay.weights[k];
            if (wy == 0) {
                continue;
            }
            const std::int32_t* row = cache.Get(ay.first[y] + (k - ay.offset[y]));
            for (std::size_t i = 0; i < acc.size(); ++i) {
                acc[i] += wy * row[i];
            }
        }
        std::uint8_t* out = dst.Row(y);
        constexpr int shift = kWeightBits + 8;
        for (std::size_t i = 0; i < acc.size(); ++i) {
            const std::int32_t v = (acc[i] + (1 << (shift - 1))) >> shift;
            out[i] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
        }
    }
}

}  // namespace

WorkingBitmap ScaleBitmap(const WorkingBitmap& src, int width, int height, int threads) {
    return ScaleBitmap(src, width, height, threads, StartStdThread);
}

WorkingBitmap ScaleBitmap(const WorkingBitmap& src,
                          int width,
                          int height,
                          int threads,
                          const ThreadStarter& starter) {
    if (width <= 0 || height <= 0 || !src.HoldsImage()) {
        return WorkingBitmap{};
    }
    if (width == src.Width() && height == src.Height()) {
        return src;
    }
    return ScaleBitmapRegion(src, width, height, Rect{0, 0, width, height}, threads, starter);
}

WorkingBitmap ScaleBitmapRegion(const WorkingBitmap& src,
                                int width,
                                int height,
                                const Rect& region,
                                int threads,
                                const ThreadStarter& starter) {
    const Rect r{std::max(region.left, 0), std::max(region.top, 0), std::min(region.right, width),
                 std::min(region.bottom, height)};
    if (width <= 0 || height <= 0 || !src.HoldsImage() || r.Width() <= 0 || r.Height() <= 0) {
        return WorkingBitmap{};
    }
    WorkingBitmap dst(r.Width(), r.Height());
    const AxisWeights ax = MakeWeights(src.Width(), width, r.left, r.right);
    const PairedWeights paired = PairUp(ax, src.Width());
    const AxisWeights ay = MakeWeights(src.Height(), height, r.top, r.bottom);
    const int rows = r.Height();
    threads = std::clamp(threads, 1, std::max(1, rows / 16));
    // Each band's rows depend only on the weights, so whichever thread scales it, the bytes are
    // the same.
    RunWorkers(
        threads,
        [&](int t) {
            ScaleBand(src, dst, ax, paired, ay, rows * t / threads, rows * (t + 1) / threads);
        },
        starter);
    return dst;
}

Rect FitRect(const Rect& target, int w, int h) {
    if (w <= 0 || h <= 0 || target.right <= target.left || target.bottom <= target.top) {
        return Rect{};
    }
    const std::int64_t tw = target.right - target.left;
    const std::int64_t th = target.bottom - target.top;
    Rect r;
    if (static_cast<std::int64_t>(w) * th > static_cast<std::int64_t>(h) * tw) {
        r = Rect{0, 0, static_cast<int>(tw), static_cast<int>((tw * h + w / 2) / w)};
    } else {
        r = Rect{0, 0, static_cast<int>((th * w + h / 2) / h), static_cast<int>(th)};
    }
    const int dx = static_cast<int>((tw - r.Width()) / 2);
    const int dy = static_cast<int>((th - r.Height()) / 2);
    return Rect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

Size RunTargetSize(int w, int h, int n, const Rect& panelClient) {
    if (n <= 0) {
        const Rect fit = FitRect(panelClient, w, h);
        return Size{fit.Width(), fit.Height()};
    }
    if (w <= 0 || h <= 0) {
        return Size{};
    }
    if (w > h) {
        return Size{n, static_cast<int>((static_cast<std::int64_t>(h) * n + w / 2) / w)};
    }
    return Size{static_cast<int>((static_cast<std::int64_t>(w) * n + h / 2) / h), n};
}

}  // namespace zelqor
