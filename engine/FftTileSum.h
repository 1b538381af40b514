// Kernel-weighted level sums by FFT over overlapping tiles, one band of rows at a time.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "FftLevelSum.h"
#include "LevelKernel.h"
#include "Rect.h"
#include "WorkingBitmap.h"

namespace zelqor {

// The sides of the transform of one tile: even, and more than twice the kernel's reach on each
// axis, so that a tile yields side - 2 * reach exact sums per axis.
struct FftTileShape {
    int width = 0;
    int height = 0;
    bool operator==(const FftTileShape&) const = default;
};

// The tile shape with the least estimated work for this kernel on a width x height image, or
// a zero shape when no tile small enough to stay in cache pays against one transform of the
// whole image. `side`, when positive, asks for that side on both axes instead (raised to what
// the reach needs).
FftTileShape ChooseFftTiles(const LevelKernel& kernel, int width, int height, int side = 0);

// Overlap-save: each tile transforms the levels of its area with a margin of the kernel's reach,
// multiplies by the kernel's spectrum and keeps the middle, where the circular convolution
// equals the linear one. Small tiles stay in the processor's cache, which a transform of the
// whole image cannot, and need neither an image-sized buffer nor any step over the whole image.
class FftTileSum {
  public:
    // kernel and src must outlive the object. Cheap; Prepare does the planning.
    FftTileSum(const LevelKernel& kernel,
               const WorkingBitmap& src,
               bool luminance,
               bool avx2,
               FftTileShape shape);
    // The sums of the pixels of `area` only (inside src, right and bottom exclusive): the tiles
    // start at its corner and cover it alone, each still reading the reach around it, so the
    // sums are those of the whole image there.
    FftTileSum(const LevelKernel& kernel,
               const WorkingBitmap& src,
               bool luminance,
               bool avx2,
               FftTileShape shape,
               const Rect& area);
    ~FftTileSum();
    FftTileSum(const FftTileSum&) = delete;
    FftTileSum& operator=(const FftTileSum&) = delete;

    // Plans the tile transforms and fetches the kernel's spectrum; Ready() stays false if FFTW
    // cannot plan them.
    void Prepare();
    bool Ready() const { return spectrum_ != nullptr; }

    // Rounds the sums of w * (L - Offset()) over the window of every pixel of row y (of src) in
    // the area into out[0..area width-1]. False when a value was not trusted (see RoundLevelSums)
    // or the row's band could not be computed (memory); out is then not the sums. The first thread
    // to ask for a row of a band starts its tiles and every thread asking for the band meanwhile
    // takes some; the band's values are let go once each of its rows was asked for. Thread-safe.
    bool RoundedRow(int y, double tolerance, std::int64_t* out);

    std::int64_t Offset() const;
    FftTileShape Shape() const { return shape_; }
    int BandRows() const { return bandRows_; }
    // The spectrum and the values of two bands in flight, without each thread's tile buffer.
    std::size_t ScratchBytes() const;

  private:
    struct Band;

    void ComputeTile(int band, int tile, double* values) const;
    HugeBuffer<double> TakeValues();
    void GiveBackValues(HugeBuffer<double> values);

    const LevelKernel& kernel_;
    const WorkingBitmap& src_;
    const bool luminance_;
    const bool avx2_;
    const FftTileShape shape_;
    const int imageWidth_;
    const int imageHeight_;
    const int left_;  // the area's corner in src
    const int top_;
    const int width_;  // the area's size
    const int height_;
    const int bandRows_;     // rows of exact sums per tile
    const int tileColumns_;  // columns of exact sums per tile
    const int tilesPerBand_;
    FftPlanGroup plans_;
    FftPlanGroup::Plan forward_ = nullptr;
    FftPlanGroup::Plan inverse_ = nullptr;
    std::shared_ptr<const std::vector<double>> spectrum_;
    std::vector<std::unique_ptr<Band>> bands_;
    std::mutex spareMutex_;
    std::vector<HugeBuffer<double>> spare_;
};

}  // namespace zelqor
