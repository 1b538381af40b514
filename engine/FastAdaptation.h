// The fast exact local adaptation: one level convolution per image, bit-exact with AdaptPixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ToneParameters.h"
#include "WorkerThreads.h"
#include "WorkingBitmap.h"

namespace zelqor {

enum class LevelSumPath {
    Auto,      // by radius: direct below kFftFromRadius, FFT tiles from there on, one transform
               // of the whole image where tiles would not pay (ChooseFftTiles)
    Direct,    // 16-bit direct convolution, exact by construction
    Fft,       // double-precision FFT of the whole image, every value checked before it is rounded
    FftTiles,  // the same over overlapping tiles, a band of rows at a time
};

enum class SimdChoice {
    Auto,      // AVX2 where the processor has it
    Portable,  // plain C++ only
    Avx2,      // AVX2; falls back to Portable where the processor lacks it
};

struct FastAdaptationOptions {
    LevelSumPath path = LevelSumPath::Auto;
    SimdChoice simd = SimdChoice::Auto;
    // Largest distance of an FFT sum from an integer that is still rounded; a row with a larger
    // one is summed directly instead.
    double fftTolerance = 0.25;
    // FftTiles only: the tiles' side on both axes (raised to what the radius needs); 0 lets
    // ChooseFftTiles pick the cheapest shape.
    int fftTileSide = 0;
};

// The direct cost grows with r^2, the tiled FFT's hardly at all; on 14.7 MP they meet at
// r = 16 or 17 (bench_fast --time). Ties go to the direct path, which plans nothing.
inline constexpr int kFftFromRadius = 18;

class FastAdaptation {
  public:
    // src, radius (>= 1), params are fixed for the object's life; src must outlive it. Cheap.
    // Radius 0 or an empty image gives an object whose Prepare does nothing; radii above
    // kMaxFastRadius, or whose window total would reach kMaxFastWindowTotal, throw
    // std::invalid_argument("radius out of range"); params outside the ranges of ToneParams throw
    // as CheckToneParams does, because the exact tone step is proved for those ranges only.
    FastAdaptation(const WorkingBitmap& src, int radius, const ToneParams& params);
    FastAdaptation(const WorkingBitmap& src,
                   int radius,
                   const ToneParams& params,
                   const FastAdaptationOptions& options);
    ~FastAdaptation();
    FastAdaptation(const FastAdaptation&) = delete;
    FastAdaptation& operator=(const FastAdaptation&) = delete;

    // The neighbourhood pass. Called concurrently by `workers` threads, each with its own
    // index 0..workers-1, covering disjoint work; the caller waits until all have returned
    // (a barrier) before any AdaptRow. A single thread may call Prepare(0, 1).
    // The direct path has nothing to do here; on the FFT path worker 0 runs the transform on
    // `workers` FFTW threads and the others return at once; on the tile path worker 0 only
    // plans, and the tiles are transformed by the rows that need them. Calls in sequence work
    // as well.
    void Prepare(int worker, int workers);
    // Writes row y of the result (W pixels, fourth byte copied from src). Thread-safe, const;
    // bit-exact with AdaptPixel (radius < 84) and AdaptPixelLarge (radius >= 84).
    void AdaptRow(int y, std::uint32_t* out) const;

    // How many rows of src, from the top, Prepare reads (all of them for one transform of the
    // whole image, none otherwise), and how many AdaptRow(y) reads: a caller whose src is still
    // arriving row by row may call each once those rows are in.
    int SourceRowsForPrepare() const;
    int SourceRowsForRow(int y) const;
    // Once every row below y is finished, the lowest row of src that AdaptRow of y or of any
    // later row still reads: a source held in a ring may give up the rows below it.
    int FirstSourceRowForRow(int y) const;
    // The most rows of src that one AdaptRow reads at once, from its first to its last; the
    // height where Prepare reads every row.
    int SourceRowSpan() const;

    LevelSumPath Path() const;  // the path chosen, never Auto
    bool UsesAvx2() const;
    int FftFallbackRows() const;  // rows summed directly because an FFT value was not trusted
    // Largest scratch the object holds (the FFT buffer and kernel spectrum); each thread adds its
    // own row buffers, about 3 * (2r + 3) * (W + 2r) bytes.
    std::size_t ScratchBytes() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Convenience for tests and the batch tool: whole bitmap, `threads` threads. dst takes src's
// size. Throws std::invalid_argument("radius out of range") for a radius below 1 on an image
// with pixels, ("source and destination must differ") when they are one bitmap, and for params
// as CheckToneParams does. A worker thread that cannot start leaves its rows to the others.
void AdaptBitmapFast(const WorkingBitmap& src,
                     WorkingBitmap& dst,
                     int radius,
                     const ToneParams& params,
                     int threads = 2);
void AdaptBitmapFast(const WorkingBitmap& src,
                     WorkingBitmap& dst,
                     int radius,
                     const ToneParams& params,
                     int threads,
                     const FastAdaptationOptions& options);
// The same with the worker threads' starter given.
void AdaptBitmapFast(const WorkingBitmap& src,
                     WorkingBitmap& dst,
                     int radius,
                     const ToneParams& params,
                     int threads,
                     const FastAdaptationOptions& options,
                     const ThreadStarter& starter);

}  // namespace zelqor
