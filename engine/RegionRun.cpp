// A region of the full-size result: the fast path's exact sums over a span of columns and rows.
#include "RegionRun.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "FftLevelSum.h"
#include "FftTileSum.h"
#include "LevelConvolution.h"
#include "LevelKernel.h"
#include "LevelRows.h"
#include "ToneStep.h"
#include "WorkerThreads.h"

namespace zelqor {
namespace {

// Every quantity a result pixel is made of (its exact level sum, its window total and its own
// pixel) depends only on the whole image's size and the source within the radius. The level
// sums are exact integers whichever way they are formed, so the region may form them over its
// own columns and tiles and still give the full run's pixels.
class Region {
  public:
    Region(const WorkingBitmap& src,
           const Rect& area,
           int radius,
           const ToneParams& params,
           const FastAdaptationOptions& options)
        : src_(src),
          area_(area),
          params_(params),
          options_(options),
          strength_(params),
          avx2_(options.simd != SimdChoice::Portable && CpuHasAvx2()),
          kernel_(radius, src.Width(), src.Height()),
          totals_(kernel_, src.Width(), src.Height()),
          layout_(area.Width(), kernel_.ReachX()),
          convolution_(kernel_, layout_) {
        const bool transform = options.path == LevelSumPath::Auto
                                   ? radius >= kFftFromRadius
                                   : options.path != LevelSumPath::Direct;
        if (transform) {
            FftTileShape shape =
                ChooseFftTiles(kernel_, area.Width(), area.Height(), options.fftTileSide);
            if (shape.width == 0) {
                // One transform of the region with its margins beats tiles: that is one tile.
                shape = {FftSmoothSize(area.Width() + 2 * kernel_.ReachX()),
                         FftSmoothSize(area.Height() + 2 * kernel_.ReachY())};
            }
            tiles_ =
                std::make_unique<FftTileSum>(kernel_, src, params.luminance, avx2_, shape, area);
        }
    }

    void Prepare() {
        if (tiles_) {
            tiles_->Prepare();
        }
        if (!tiles_ || !tiles_->Ready()) {
            FillLevelRows();
        }
    }

    struct Scratch {
        std::vector<std::int64_t> sums;
        std::vector<std::int64_t> totals;
        std::vector<std::int64_t> columns;
        std::vector<const std::int16_t*> rows;
        LevelConvolutionScratch convolution;
    };

    void Row(int y, std::uint32_t* out, Scratch& scratch) {
        const int width = area_.Width();
        scratch.sums.resize(static_cast<std::size_t>(RoundUpToBlock(width)));
        scratch.totals.resize(static_cast<std::size_t>(src_.Width()));
        totals_.Row(y, scratch.totals.data(), scratch.columns);
        std::int64_t offset = LevelCentre(params_.luminance);
        if (tiles_ && tiles_->RoundedRow(y, options_.fftTolerance, scratch.sums.data())) {
            offset = tiles_->Offset();
        } else {
            SumRowDirect(y, scratch);
        }
        ToneStepRow(src_.RowWords(y) + area_.left, scratch.sums.data(), offset,
                    scratch.totals.data() + area_.left, width, strength_, avx2_, out);
    }

  private:
    // The level rows of the region's columns and their reach, from ReachY above to ReachY below.
    void FillLevelRows() {
        const std::lock_guard<std::mutex> lock(levelsMutex_);
        if (!levels_.empty()) {
            return;
        }
        const int ry = kernel_.ReachY();
        const std::size_t stride = static_cast<std::size_t>(layout_.stride);
        const int rows = area_.Height() + 2 * ry;
        std::vector<std::int16_t> levels(stride * (rows + 1), 0);  // the last row stays zero
        for (int i = 0; i < rows; ++i) {
            const int y = area_.top - ry + i;
            if (y >= 0 && y < src_.Height()) {
                FillLevelRowAt(src_.RowWords(y), src_.Width(), area_.left, layout_,
                               params_.luminance, avx2_, levels.data() + stride * i);
            }
        }
        levels_ = std::move(levels);
    }

    void SumRowDirect(int y, Scratch& scratch) {
        // A transform row that was not trusted comes here too, after the tiles were planned.
        FillLevelRows();
        const int ry = kernel_.ReachY();
        const std::size_t stride = static_cast<std::size_t>(layout_.stride);
        scratch.rows.resize(static_cast<std::size_t>(2 * ry + 1));
        for (int i = 0; i <= 2 * ry; ++i) {
            const std::size_t row = static_cast<std::size_t>(y - area_.top + i);
            scratch.rows[i] = levels_.data() + stride * row + layout_.pad;
        }
        convolution_.Row(scratch.rows.data(), scratch.sums.data(), scratch.convolution, avx2_);
    }

    const WorkingBitmap& src_;
    const Rect area_;
    const ToneParams params_;
    const FastAdaptationOptions options_;
    const StrengthTable strength_;
    const bool avx2_;
    const LevelKernel kernel_;
    const LevelWindowTotals totals_;
    const LevelRowLayout layout_;
    const LevelConvolution convolution_;
    std::unique_ptr<FftTileSum> tiles_;
    std::mutex levelsMutex_;
    std::vector<std::int16_t> levels_;
};

}  // namespace

bool ProcessRegion(const WorkingBitmap& source,
                   const Rect& region,
                   const RunSettings& settings,
                   WorkingBitmap& out,
                   int threads,
                   const std::atomic<bool>* cancel,
                   const FastAdaptationOptions& options) {
    CheckRunSettings(settings);
    if (region.left < 0 || region.top < 0 || region.right > source.Width() ||
        region.bottom > source.Height() || region.right < region.left ||
        region.bottom < region.top) {
        throw std::invalid_argument("region outside the source");
    }
    if (region.Width() == 0 || region.Height() == 0) {
        out.Clear();
        return true;
    }
    Region work(source, region, CalcRadius(source, settings.divisor), settings.params, options);
    if (out.Width() != region.Width() || out.Height() != region.Height()) {
        out.Resize(region.Width(), region.Height());
    }
    work.Prepare();
    std::atomic<int> nextRow{region.top};
    std::atomic<int> rowsDone{0};
    RunWorkers(std::max(1, threads), [&](int) {
        Region::Scratch scratch;
        for (int y = nextRow.fetch_add(1); y < region.bottom; y = nextRow.fetch_add(1)) {
            if (cancel != nullptr && cancel->load()) {
                return;
            }
            work.Row(y, out.RowWords(y - region.top), scratch);
            rowsDone.fetch_add(1);
        }
    });
    return rowsDone.load() == region.Height();
}

}  // namespace zelqor
