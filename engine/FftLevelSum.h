// Kernel-weighted level sums of the whole image by FFT convolution in double precision.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "LevelHugeBuffer.h"
#include "LevelKernel.h"
#include "WorkingBitmap.h"

namespace zelqor {

// FFTW's planner is not thread-safe; every plan is made and destroyed under this lock.
std::unique_lock<std::mutex> LockFftPlanner();

// Plans destroyed under the planner lock, also when a later step throws. The plan type is
// FFTW's, kept opaque here so that callers need not include fftw3.h.
class FftPlanGroup {
  public:
    using Plan = void*;
    FftPlanGroup() = default;
    FftPlanGroup(const FftPlanGroup&) = delete;
    FftPlanGroup& operator=(const FftPlanGroup&) = delete;
    ~FftPlanGroup();
    // Call with the planner lock held.
    Plan Add(Plan plan);
    bool Complete() const { return complete_; }

  private:
    std::vector<Plan> plans_;
    bool complete_ = true;
};

// An even 2*3*5-smooth size >= atLeast (the sizes FFTW transforms fastest), the cheapest of
// those slightly above it.
int FftSmoothSize(int atLeast);

// The real, even spectrum of the kernel, one quarter of it ((ny/2+1) x (nx/2+1)), scaled by
// 1/(nx*ny) so that the inverse transform needs no further scaling. The last one made is kept:
// repeated runs of one image at one radius skip it. Null if FFTW cannot plan the transform.
std::shared_ptr<const std::vector<double>> FftKernelSpectrum(const LevelKernel& kernel,
                                                             int nx,
                                                             int ny);

// Rounds values[x] to out[x]; false if any was farther than tolerance from its integer, or is not
// a number, infinite or at least 2^51 in magnitude (out[x] is then not the value).
bool RoundLevelSums(const double* values,
                    int width,
                    double tolerance,
                    bool avx2,
                    std::int64_t* out);

class FftLevelSum {
  public:
    FftLevelSum(const LevelKernel& kernel, int width, int height);
    ~FftLevelSum();
    FftLevelSum(const FftLevelSum&) = delete;
    FftLevelSum& operator=(const FftLevelSum&) = delete;

    // Fills Row(y)[x] with the sum of w * (L - Offset()) over the window of (x, y), up to the
    // transform's rounding; threads is how many threads FFTW may use. Leaves Ready() false if
    // FFTW cannot plan the transform.
    void Compute(const WorkingBitmap& src, bool luminance, int threads, bool avx2);
    bool Ready() const { return data_ != nullptr; }

    const double* Row(int y) const;
    std::int64_t Offset() const { return offset_; }
    int TransformWidth() const { return nx_; }
    int TransformHeight() const { return ny_; }
    std::size_t ScratchBytes() const;

  private:
    const LevelKernel& kernel_;
    int width_;
    int height_;
    int nx_;
    int ny_;
    std::size_t rowLength_;
    std::int64_t offset_ = 0;
    HugeBuffer<double> data_;
};

}  // namespace zelqor
