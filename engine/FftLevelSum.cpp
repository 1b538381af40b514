// FFT level sums: linear (not circular) convolution through zero padding, data centred on its
// mean so that the rounding error stays far below one half.
#include "FftLevelSum.h"

#include <fftw3.h>

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "LevelRows.h"

namespace zelqor {

std::unique_lock<std::mutex> LockFftPlanner() {
    static std::mutex mutex;
    static std::once_flag threadsReady;
    std::unique_lock<std::mutex> lock(mutex);
    std::call_once(threadsReady, [] { fftw_init_threads(); });
    return lock;
}

int FftSmoothSize(int atLeast) {
    // Among the even 2*3*5-smooth sizes a little above the minimum, radix-3 and radix-5 passes
    // cost a bit more than radix-2 ones: 4096 transforms faster than 4050 = 2 * 3^4 * 5^2, but
    // 4320 = 2^5 * 3^3 * 5 faster than 4608 = 2^9 * 3^2. The weight 0.015 per odd factor fits
    // these measurements.
    const int first = std::max(2, atLeast + (atLeast & 1));
    int best = 0;
    double bestCost = 0;
    for (int n = first; n <= first + first / 4 + 2 || best == 0; n += 2) {
        int m = n;
        int oddFactors = 0;
        for (const int p : {3, 5}) {
            while (m % p == 0) {
                m /= p;
                ++oddFactors;
            }
        }
        while (m % 2 == 0) {
            m /= 2;
        }
        const double cost = n * (1.0 + 0.015 * oddFactors);
        if (m == 1 && (best == 0 || cost < bestCost)) {
            best = n;
            bestCost = cost;
        }
    }
    return best;
}

FftPlanGroup::~FftPlanGroup() {
    auto lock = LockFftPlanner();
    for (Plan plan : plans_) {
        if (plan) {
            fftw_destroy_plan(static_cast<fftw_plan>(plan));
        }
    }
}

FftPlanGroup::Plan FftPlanGroup::Add(Plan plan) {
    plans_.push_back(plan);
    complete_ = complete_ && plan != nullptr;
    return plan;
}

namespace {

fftw_plan Keep(FftPlanGroup& plans, fftw_plan plan) {
    return static_cast<fftw_plan>(plans.Add(plan));
}

struct SpectrumCache {
    std::mutex mutex;
    int radius = 0;
    int reachX = 0;
    int reachY = 0;
    int nx = 0;
    int ny = 0;
    std::shared_ptr<const std::vector<double>> spectrum;
};

// The kernel is even in x and in y, so its DFT is real and even: a DCT-I (REDFT00) of the
// quarter over (n/2+1) points per axis is exactly that DFT, at a quarter of the data.
std::shared_ptr<const std::vector<double>> MakeSpectrum(const LevelKernel& kernel, int nx, int ny) {
    const int nxq = nx / 2 + 1;
    const int nyq = ny / 2 + 1;
    auto spectrum = std::make_shared<std::vector<double>>(static_cast<std::size_t>(nxq) * nyq, 0.0);
    double* q = spectrum->data();
    const double scale = 1.0 / (static_cast<double>(nx) * ny);
    for (int dy = 0; dy <= kernel.ReachY(); ++dy) {
        for (int dx = 0; dx <= kernel.ReachX(); ++dx) {
            q[static_cast<std::size_t>(dy) * nxq + dx] = kernel.At(dx, dy) * scale;
        }
    }
    FftPlanGroup plans;
    fftw_plan rows;
    fftw_plan columns;
    {
        auto lock = LockFftPlanner();
        fftw_plan_with_nthreads(1);
        const fftw_r2r_kind kind = FFTW_REDFT00;
        // Rows beyond ReachY are zero and stay zero: only the first ReachY+1 are transformed.
        rows = Keep(plans, fftw_plan_many_r2r(1, &nxq, kernel.ReachY() + 1, q, nullptr, 1, nxq, q,
                                              nullptr, 1, nxq, &kind, FFTW_ESTIMATE));
        columns = Keep(plans, fftw_plan_many_r2r(1, &nyq, nxq, q, nullptr, nxq, 1, q, nullptr, nxq,
                                                 1, &kind, FFTW_ESTIMATE));
    }
    if (!plans.Complete()) {
        return nullptr;
    }
    fftw_execute(rows);
    fftw_execute(columns);
    return spectrum;
}

}  // namespace

std::shared_ptr<const std::vector<double>> FftKernelSpectrum(const LevelKernel& kernel,
                                                             int nx,
                                                             int ny) {
    static SpectrumCache cache;
    std::lock_guard<std::mutex> lock(cache.mutex);
    if (!cache.spectrum || cache.radius != kernel.Radius() || cache.reachX != kernel.ReachX() ||
        cache.reachY != kernel.ReachY() || cache.nx != nx || cache.ny != ny) {
        // Drop the old one first so two spectra never coexist in the cache.
        cache.spectrum.reset();
        cache.spectrum = MakeSpectrum(kernel, nx, ny);
        cache.radius = kernel.Radius();
        cache.reachX = kernel.ReachX();
        cache.reachY = kernel.ReachY();
        cache.nx = nx;
        cache.ny = ny;
    }
    return cache.spectrum;
}

FftLevelSum::FftLevelSum(const LevelKernel& kernel, int width, int height)
    : kernel_(kernel),
      width_(width),
      height_(height),
      // width + reach keeps the wrap-around of the circular convolution on zeros; 2*reach + 2
      // keeps the kernel's quarter inside half a period, as the even spectrum needs.
      nx_(FftSmoothSize(std::max(width + kernel.ReachX(), 2 * kernel.ReachX() + 2))),
      ny_(FftSmoothSize(std::max(height + kernel.ReachY(), 2 * kernel.ReachY() + 2))),
      rowLength_(2 * (static_cast<std::size_t>(nx_) / 2 + 1)) {}

FftLevelSum::~FftLevelSum() = default;

std::size_t FftLevelSum::ScratchBytes() const {
    return rowLength_ * ny_ * sizeof(double);
}

void FftLevelSum::Compute(const WorkingBitmap& src, bool luminance, int threads, bool avx2) {
    data_ = MakeHugeBuffer<double>(ScratchBytes() / sizeof(double));
    double* data = data_.get();

    // Any integer offset keeps the sums exact; one near the mean keeps the transform's values,
    // and so its rounding error, small. Every eighth row is mean enough.
    std::int64_t levelTotal = 0;
    std::int64_t count = 0;
    for (int y = 0; y < height_; y += 8) {
        const std::uint32_t* row = src.RowWords(y);
        for (int x = 0; x < width_; ++x) {
            levelTotal += PixelLevel(row[x], luminance);
        }
        count += width_;
    }
    offset_ = (levelTotal + count / 2) / count;

    const LevelRowLayout layout(width_, 0);
    std::vector<std::int16_t> levels(static_cast<std::size_t>(layout.stride));
    const double shift = static_cast<double>(LevelCentre(luminance) - offset_);
    for (int y = 0; y < height_; ++y) {
        FillLevelRow(src.RowWords(y), layout, luminance, avx2, levels.data());
        const std::int16_t* level = levels.data() + layout.pad;
        double* out = data + y * rowLength_;
        for (int x = 0; x < width_; ++x) {
            out[x] = level[x] + shift;
        }
        std::fill(out + width_, out + rowLength_, 0.0);
    }
    std::fill(data + height_ * rowLength_, data + ny_ * rowLength_, 0.0);

    // Row and column passes planned apart so that the rows below the image, zero on the way in
    // and not wanted on the way out, are skipped by both row passes.
    auto* spectrumData = reinterpret_cast<fftw_complex*>(data);
    const int nxq = nx_ / 2 + 1;
    const int rowLength = static_cast<int>(rowLength_);
    FftPlanGroup plans;
    fftw_plan rowsForward;
    fftw_plan columnsForward;
    fftw_plan columnsInverse;
    fftw_plan rowsInverse;
    {
        auto lock = LockFftPlanner();
        fftw_plan_with_nthreads(std::max(1, threads));
        rowsForward =
            Keep(plans, fftw_plan_many_dft_r2c(1, &nx_, height_, data, &rowLength, 1, rowLength,
                                               spectrumData, &nxq, 1, nxq, FFTW_ESTIMATE));
        columnsForward = Keep(
            plans, fftw_plan_many_dft(1, &ny_, nxq, spectrumData, nullptr, nxq, 1, spectrumData,
                                      nullptr, nxq, 1, FFTW_FORWARD, FFTW_ESTIMATE));
        columnsInverse = Keep(
            plans, fftw_plan_many_dft(1, &ny_, nxq, spectrumData, nullptr, nxq, 1, spectrumData,
                                      nullptr, nxq, 1, FFTW_BACKWARD, FFTW_ESTIMATE));
        rowsInverse =
            Keep(plans, fftw_plan_many_dft_c2r(1, &nx_, height_, spectrumData, &nxq, 1, nxq, data,
                                               &rowLength, 1, rowLength, FFTW_ESTIMATE));
    }
    const std::shared_ptr<const std::vector<double>> kernelSpectrum =
        plans.Complete() ? FftKernelSpectrum(kernel_, nx_, ny_) : nullptr;
    if (!kernelSpectrum) {
        // Without a transform the rows are summed directly; no need to hold the memory.
        data_.reset();
        return;
    }
    fftw_execute(rowsForward);
    fftw_execute(columnsForward);
    for (int v = 0; v < ny_; ++v) {
        const double* k =
            kernelSpectrum->data() + static_cast<std::size_t>(std::min(v, ny_ - v)) * nxq;
        fftw_complex* c = spectrumData + static_cast<std::size_t>(v) * nxq;
        for (int u = 0; u < nxq; ++u) {
            c[u][0] *= k[u];
            c[u][1] *= k[u];
        }
    }
    fftw_execute(columnsInverse);
    fftw_execute(rowsInverse);
}

namespace {

// Past 2^51 the AVX2 conversion below no longer holds, and no real level sum comes near it.
constexpr double kRoundedLimit = 2251799813685248.0;

// Converts only a value known to be finite and in range: converting a NaN, an infinity or a
// value beyond int64 is undefined behaviour, and such a value is untrusted anyway.
inline bool RoundOne(double value, double tolerance, std::int64_t& out) {
    const double rounded = std::nearbyint(value);
    // Written so that a NaN fails both comparisons.
    if (!(std::fabs(rounded) < kRoundedLimit)) {
        out = 0;
        return false;
    }
    out = static_cast<std::int64_t>(rounded);
    return std::fabs(value - rounded) <= tolerance;
}

__attribute__((target("avx2"))) bool RoundLevelSumsAvx2(const double* values,
                                                        int width,
                                                        double tolerance,
                                                        std::int64_t* out) {
    // Integers below 2^51 in magnitude sit in the mantissa of 1.5 * 2^52 as plain int64 bits.
    const __m256d magic = _mm256_set1_pd(6755399441055744.0);
    const __m256d signMask = _mm256_set1_pd(-0.0);
    const __m256d limit = _mm256_set1_pd(tolerance);
    const __m256d largest = _mm256_set1_pd(kRoundedLimit);
    __m256d untrusted = _mm256_setzero_pd();
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m256d v = _mm256_loadu_pd(values + x);
        const __m256d rounded = _mm256_round_pd(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
        const __m256d distance = _mm256_andnot_pd(signMask, _mm256_sub_pd(v, rounded));
        // Unordered comparisons, so that a NaN counts as untrusted in both. A huge value is an
        // integer at distance 0, yet its bits from the conversion below would be garbage.
        untrusted = _mm256_or_pd(untrusted, _mm256_cmp_pd(distance, limit, _CMP_NLE_UQ));
        untrusted = _mm256_or_pd(
            untrusted, _mm256_cmp_pd(_mm256_andnot_pd(signMask, rounded), largest, _CMP_NLT_UQ));
        const __m256i bits = _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(rounded, magic)),
                                              _mm256_castpd_si256(magic));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), bits);
    }
    bool trusted = _mm256_movemask_pd(untrusted) == 0;
    for (; x < width; ++x) {
        trusted &= RoundOne(values[x], tolerance, out[x]);
    }
    return trusted;
}

}  // namespace

bool RoundLevelSums(const double* values,
                    int width,
                    double tolerance,
                    bool avx2,
                    std::int64_t* out) {
    if (avx2) {
        return RoundLevelSumsAvx2(values, width, tolerance, out);
    }
    bool trusted = true;
    for (int x = 0; x < width; ++x) {
        trusted &= RoundOne(values[x], tolerance, out[x]);
    }
    return trusted;
}

const double* FftLevelSum::Row(int y) const {
    return data_.get() + static_cast<std::size_t>(y) * rowLength_;
}

}  // namespace zelqor
