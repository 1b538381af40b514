// The fast adaptation: exact level sums (direct or FFT), exact window totals, exact tone step.
#include "FastAdaptation.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <stdexcept>
#include <vector>

#include "FftLevelSum.h"
#include "FftTileSum.h"
#include "LevelConvolution.h"
#include "LevelKernel.h"
#include "LevelRows.h"
#include "ToneStep.h"

namespace zelqor {

namespace {

// Workers own their row buffers; they are kept between rows (and runs) of the same thread.
struct RowScratch {
    std::vector<std::int64_t> sums;
    std::vector<std::int64_t> totals;
    std::vector<std::int64_t> columns;
    LevelRowRing levels;
    LevelConvolutionScratch convolution;
};

// Tells apart the objects whose rows one thread's level ring may hold.
std::uint64_t NextRunId() {
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1);
}

RowScratch& ThreadScratch() {
    thread_local RowScratch scratch;
    return scratch;
}

}  // namespace

struct FastAdaptation::Impl {
    Impl(const WorkingBitmap& source, int r, const ToneParams& p, const FastAdaptationOptions& o)
        : src(source), radius(r), params(p), options(o), strength(p) {}

    // Both leave sums[x] such that sums[x] + offset * totals[x] is the exact level sum; they
    // return the offset.
    std::int64_t SumRowDirect(int y, RowScratch& scratch) const;
    std::int64_t SumRowFft(int y, RowScratch& scratch) const;
    std::int64_t SumRowTiles(int y, RowScratch& scratch) const;

    const WorkingBitmap& src;
    int radius;
    ToneParams params;
    FastAdaptationOptions options;
    StrengthTable strength;
    bool active = false;
    bool avx2 = false;
    LevelSumPath path = LevelSumPath::Direct;
    std::unique_ptr<LevelKernel> kernel;
    std::unique_ptr<LevelWindowTotals> totals;
    std::unique_ptr<LevelRowLayout> layout;
    std::unique_ptr<LevelConvolution> convolution;
    std::unique_ptr<FftLevelSum> fft;
    std::unique_ptr<FftTileSum> tiles;
    mutable std::atomic<int> fallbackRows{0};
    std::uint64_t id = NextRunId();
};

FastAdaptation::FastAdaptation(const WorkingBitmap& src, int radius, const ToneParams& params)
    : FastAdaptation(src, radius, params, FastAdaptationOptions{}) {}

FastAdaptation::FastAdaptation(const WorkingBitmap& src,
                               int radius,
                               const ToneParams& params,
                               const FastAdaptationOptions& options)
    // Checked before Impl builds its strength table, whose sums assume the ranges.
    : impl_((CheckToneParams(params), std::make_unique<Impl>(src, radius, params, options))) {
    Impl& m = *impl_;
    m.avx2 = options.simd != SimdChoice::Portable && CpuHasAvx2();
    m.path = options.path != LevelSumPath::Auto
                 ? options.path
                 : (radius >= kFftFromRadius ? LevelSumPath::FftTiles : LevelSumPath::Direct);
    if (radius < 1 || !src.HoldsImage()) {
        return;
    }
    m.active = true;
    const int width = src.Width();
    const int height = src.Height();
    m.kernel = std::make_unique<LevelKernel>(radius, width, height);
    m.totals = std::make_unique<LevelWindowTotals>(*m.kernel, width, height);
    m.layout = std::make_unique<LevelRowLayout>(width, m.kernel->ReachX());
    // Also built for the FFT paths: it is their exact fallback.
    m.convolution = std::make_unique<LevelConvolution>(*m.kernel, *m.layout);
    if (m.path == LevelSumPath::FftTiles) {
        const FftTileShape shape = ChooseFftTiles(*m.kernel, width, height, options.fftTileSide);
        if (shape.width != 0) {
            m.tiles = std::make_unique<FftTileSum>(*m.kernel, src, params.luminance, m.avx2, shape);
        } else if (options.path == LevelSumPath::Auto) {
            m.path = LevelSumPath::Fft;
        } else {
            // Asked for tiles where one transform is cheaper: still tiles, of the least size.
            m.tiles = std::make_unique<FftTileSum>(*m.kernel, src, params.luminance, m.avx2,
                                                   ChooseFftTiles(*m.kernel, width, height, 2));
        }
    }
    if (m.path == LevelSumPath::Fft) {
        m.fft = std::make_unique<FftLevelSum>(*m.kernel, width, height);
    }
}

FastAdaptation::~FastAdaptation() = default;

void FastAdaptation::Prepare(int worker, int workers) {
    Impl& m = *impl_;
    if (!m.active || workers < 1 || worker < 0 || worker >= workers) {
        return;
    }
    // The direct path has nothing to prepare: each thread keeps the level rows it needs.
    if (m.tiles && worker == 0) {
        m.tiles->Prepare();
    }
    if (m.fft && worker == 0) {
        // FFTW splits one 2-D transform over its own threads far better than rows could be split
        // here without a barrier inside Prepare, so worker 0 lends it all `workers` cores.
        try {
            m.fft->Compute(m.src, m.params.luminance, workers, m.avx2);
        } catch (const std::bad_alloc&) {
            // The transform buffer is the one large allocation; without it every row is summed
            // directly, slower but exact and in little memory.
        }
    }
}

std::int64_t FastAdaptation::Impl::SumRowDirect(int y, RowScratch& scratch) const {
    const std::int16_t* const* rows =
        scratch.levels.Rows(src, *layout, params.luminance, avx2, kernel->ReachY(), id, y);
    convolution->Row(rows, scratch.sums.data(), scratch.convolution, avx2);
    return LevelCentre(params.luminance);
}

std::int64_t FastAdaptation::Impl::SumRowFft(int y, RowScratch& scratch) const {
    const bool trusted =
        RoundLevelSums(fft->Row(y), src.Width(), options.fftTolerance, avx2, scratch.sums.data());
    if (!trusted) {
        fallbackRows.fetch_add(1, std::memory_order_relaxed);
        return SumRowDirect(y, scratch);
    }
    return fft->Offset();
}

std::int64_t FastAdaptation::Impl::SumRowTiles(int y, RowScratch& scratch) const {
    if (!tiles->RoundedRow(y, options.fftTolerance, scratch.sums.data())) {
        fallbackRows.fetch_add(1, std::memory_order_relaxed);
        return SumRowDirect(y, scratch);
    }
    return tiles->Offset();
}

void FastAdaptation::AdaptRow(int y, std::uint32_t* out) const {
    const Impl& m = *impl_;
    if (!m.active || y < 0 || y >= m.src.Height()) {
        return;
    }
    RowScratch& scratch = ThreadScratch();
    const int width = m.src.Width();
    scratch.sums.resize(static_cast<std::size_t>(RoundUpToBlock(width)));
    scratch.totals.resize(static_cast<std::size_t>(width));
    m.totals->Row(y, scratch.totals.data(), scratch.columns);
    std::int64_t offset;
    if (m.tiles) {
        offset = m.SumRowTiles(y, scratch);
    } else if (m.fft && m.fft->Ready()) {
        offset = m.SumRowFft(y, scratch);
    } else if (m.fft) {
        // The transform failed (or Prepare was never reached): every row is summed directly.
        m.fallbackRows.fetch_add(1, std::memory_order_relaxed);
        offset = m.SumRowDirect(y, scratch);
    } else {
        offset = m.SumRowDirect(y, scratch);
    }
    ToneStepRow(m.src.RowWords(y), scratch.sums.data(), offset, scratch.totals.data(), width,
                m.strength, m.avx2, out);
}

int FastAdaptation::SourceRowsForPrepare() const {
    const Impl& m = *impl_;
    return m.active && m.fft ? m.src.Height() : 0;
}

int FastAdaptation::SourceRowsForRow(int y) const {
    const Impl& m = *impl_;
    if (!m.active) {
        return 0;
    }
    const int height = m.src.Height();
    const int reach = m.kernel->ReachY();
    if (m.tiles) {
        // The first row of a band transforms the tiles of the whole band with their margin;
        // a row summed directly instead reaches no further.
        const int bandRows = m.tiles->BandRows();
        return static_cast<int>(std::min<std::int64_t>(
            height, (static_cast<std::int64_t>(y) / bandRows + 1) * bandRows + reach));
    }
    if (m.fft) {
        return height;
    }
    return static_cast<int>(std::min<std::int64_t>(height, std::int64_t{y} + reach + 1));
}

int FastAdaptation::FirstSourceRowForRow(int y) const {
    const Impl& m = *impl_;
    if (!m.active || m.fft) {
        return 0;
    }
    // A band's tiles read from its first row less the reach; once a row of the band has
    // finished, they are done, and a later row of it reads no lower than its own direct
    // fallback does.
    return std::clamp(y - m.kernel->ReachY(), 0, m.src.Height());
}

int FastAdaptation::SourceRowSpan() const {
    const Impl& m = *impl_;
    const int height = m.src.Height();
    if (!m.active || m.fft) {
        return height;
    }
    const int rows = m.tiles ? m.tiles->BandRows() : 1;
    return static_cast<int>(
        std::min<std::int64_t>(height, std::int64_t{rows} + 2 * m.kernel->ReachY()));
}

LevelSumPath FastAdaptation::Path() const {
    return impl_->path;
}

bool FastAdaptation::UsesAvx2() const {
    return impl_->avx2;
}

int FastAdaptation::FftFallbackRows() const {
    return impl_->fallbackRows.load();
}

std::size_t FastAdaptation::ScratchBytes() const {
    const Impl& m = *impl_;
    if (!m.active) {
        return 0;
    }
    if (m.tiles) {
        return m.tiles->ScratchBytes();
    }
    if (m.fft) {
        const std::size_t quarter = (static_cast<std::size_t>(m.fft->TransformWidth()) / 2 + 1) *
                                    (m.fft->TransformHeight() / 2 + 1) * sizeof(double);
        return m.fft->ScratchBytes() + quarter;
    }
    return 0;
}

void AdaptBitmapFast(const WorkingBitmap& src,
                     WorkingBitmap& dst,
                     int radius,
                     const ToneParams& params,
                     int threads) {
    AdaptBitmapFast(src, dst, radius, params, threads, FastAdaptationOptions{});
}

void AdaptBitmapFast(const WorkingBitmap& src,
                     WorkingBitmap& dst,
                     int radius,
                     const ToneParams& params,
                     int threads,
                     const FastAdaptationOptions& options) {
    AdaptBitmapFast(src, dst, radius, params, threads, options, StartStdThread);
}

void AdaptBitmapFast(const WorkingBitmap& src,
                     WorkingBitmap& dst,
                     int radius,
                     const ToneParams& params,
                     int threads,
                     const FastAdaptationOptions& options,
                     const ThreadStarter& starter) {
    CheckToneParams(params);
    if (&src == &dst) {
        throw std::invalid_argument("source and destination must differ");
    }
    // Every pixel is written below, so a bitmap of the right size is not cleared first.
    if (dst.Width() != src.Width() || dst.Height() != src.Height() || !src.HoldsImage()) {
        dst.Resize(src.Width(), src.Height());
    }
    if (!src.HoldsImage()) {
        return;
    }
    if (radius < 1) {
        throw std::invalid_argument("radius out of range");
    }
    FastAdaptation adaptation(src, radius, params, options);
    const int workers = std::max(1, threads);
    // The neighbourhood pass before the fan-out rather than behind a barrier inside it: a barrier
    // would wait for ever for a worker that never started. Worker 0 hands the transform to FFTW's
    // own threads and the others have nothing to do, so the pass is no slower in sequence.
    for (int i = 0; i < workers; ++i) {
        adaptation.Prepare(i, workers);
    }
    std::atomic<int> nextRow{0};
    std::atomic<bool> failed{false};
    // Rows go to whoever claims them next, so the started workers take over the rows of one that
    // never started; every row comes out the same on any thread.
    RunWorkers(
        workers,
        [&](int) {
            try {
                for (int y = nextRow.fetch_add(1); y < src.Height() && !failed.load();
                     y = nextRow.fetch_add(1)) {
                    adaptation.AdaptRow(y, dst.RowWords(y));
                }
            } catch (...) {
                failed.store(true);
                throw;
            }
        },
        starter);
}

}  // namespace zelqor
