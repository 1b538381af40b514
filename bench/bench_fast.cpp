// Speed of the fast adaptation against the literal path and OpenCV's filter2D on 12 and 24 MP.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <utility>

#include "FastAdaptation.h"
#include "FftLevelSum.h"
#include "Kernel.h"
#include "LevelConvolution.h"
#include "LevelKernel.h"
#include "LevelRows.h"
#include "LocalAdaptation.h"

#ifdef ZELQOR_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace zelqor {
namespace {

struct Size {
    int width;
    int height;
};
constexpr Size kSizes[] = {{4000, 3000}, {6000, 4000}};
constexpr int kRadii[] = {6, 20, 40, 80, 120};
// Rows of the literal sample: more for small radii, where one row takes only a millisecond.
int BandRows(int r) {
    return std::max(8, 480 / r);
}

// Gradients, hard white/black edges, a clipped sky and cheap hash noise: photo-like enough for
// the rounding of the FFT, and quick to make at 24 MP.
WorkingBitmap MakePhotoLike(int w, int h) {
    WorkingBitmap b(w, h);
    for (int y = 0; y < h; ++y) {
        std::uint32_t* row = b.RowWords(y);
        for (int x = 0; x < w; ++x) {
            std::uint32_t hash = static_cast<std::uint32_t>(x) * 2654435761u ^
                                 static_cast<std::uint32_t>(y) * 2246822519u;
            hash ^= hash >> 15;
            hash *= 2654435761u;
            const int noise = static_cast<int>(hash >> 27) - 16;
            int r = 255 * x / w + noise;
            int g = 255 * y / h + noise;
            int bl = 128 + static_cast<int>(100 * std::sin(x * 0.01) * std::cos(y * 0.013)) + noise;
            if (y < h / 6) {
                r = g = bl = 255;
            } else if (x > w * 2 / 3 && y > h / 2) {
                r = g = bl = ((x / 64 + y / 64) % 2) ? 255 : 0;
            }
            row[x] = MakePixel(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(bl, 0, 255),
                               0xFF);
        }
    }
    return b;
}

const WorkingBitmap& Image(int index) {
    static WorkingBitmap images[2];
    if (!images[index].HoldsImage()) {
        images[index] = MakePhotoLike(kSizes[index].width, kSizes[index].height);
    }
    return images[index];
}

// Seconds per whole image, by (size index, radius); filled by the earlier benchmarks.
std::map<std::pair<int, int>, double> literalSeconds;
std::map<std::pair<int, int>, double> filter2dSeconds;

const ToneParams kParams{5, 382, 4, true};

void BM_Literal(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    const int r = static_cast<int>(state.range(1));
    const WorkingBitmap& src = Image(index);
    const auto kernel = BuildKernel(r);
    const AdaptState st{&src, kernel, r, kParams};
    const AdaptVariant variant = IsLargeSizeMode(r) ? AdaptVariant::Large : AdaptVariant::Normal;
    const int bandRows = BandRows(r);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(src.Width()) * bandRows);
    const int y0 = src.Height() / 2;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int y = y0; y < y0 + bandRows; ++y) {
            for (int x = 0; x < src.Width(); ++x) {
                out[(y - y0) * src.Width() + x] = AdaptPixelWith(variant, r, x, y, st);
            }
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(out.data());
    }
    const double whole = seconds * src.Height() / bandRows;
    literalSeconds[{index, r}] = whole;
    state.counters["whole_image_s"] = whole;
}

#ifdef ZELQOR_BENCH_OPENCV
void BM_Filter2D(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    const int r = static_cast<int>(state.range(1));
    const WorkingBitmap& src = Image(index);
    cv::setNumThreads(2);
    cv::Mat level(src.Height(), src.Width(), CV_64F);
    for (int y = 0; y < src.Height(); ++y) {
        double* row = level.ptr<double>(y);
        for (int x = 0; x < src.Width(); ++x) {
            row[x] = PixelLevel(src.Pixel(x, y), true);
        }
    }
    const auto weights = BuildKernel(r);
    cv::Mat kernel(2 * r + 1, 2 * r + 1, CV_64F);
    for (int i = 0; i < (2 * r + 1) * (2 * r + 1); ++i) {
        kernel.at<double>(i / (2 * r + 1), i % (2 * r + 1)) = weights[i];
    }
    cv::Mat sums;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        cv::filter2D(level, sums, CV_64F, kernel, cv::Point(-1, -1), 0, cv::BORDER_CONSTANT);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(sums.data);
    }
    filter2dSeconds[{index, r}] = seconds;
}
#endif

void BM_Fast(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    const int r = static_cast<int>(state.range(1));
    const WorkingBitmap& src = Image(index);
    WorkingBitmap dst;
    std::size_t scratch = 0;
    for (auto _ : state) {
        AdaptBitmapFast(src, dst, r, kParams, 2);
    }
    scratch = FastAdaptation(src, r, kParams).ScratchBytes();
    state.counters["scratch_MB"] = scratch / 1e6;
    state.counters["scratch_per_image"] = static_cast<double>(scratch) / src.ByteSize();
}

// Ratios need the fast time, which Google Benchmark reports only afterwards: a reporter adds them.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> withRatios = runs;
        for (Run& run : withRatios) {
            const std::string name = run.benchmark_name();
            int index = 0;
            int r = 0;
            if (name.rfind("BM_Fast/", 0) == 0 &&
                std::sscanf(name.c_str(), "BM_Fast/%d/%d", &index, &r) == 2) {
                const double fast = run.GetAdjustedRealTime() / 1e3;  // ms -> s
                if (literalSeconds.count({index, r})) {
                    run.counters["x_literal"] = literalSeconds[{index, r}] / fast;
                }
                if (filter2dSeconds.count({index, r})) {
                    run.counters["x_filter2d"] = filter2dSeconds[{index, r}] / fast;
                }
            }
        }
        ConsoleReporter::ReportRuns(withRatios);
    }
};

long ReadVmHwmKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// Peak memory of one run in a fresh process: bench_fast --peak <width> <height> <radius>.
int PeakMain(int width, int height, int r) {
    const WorkingBitmap src = MakePhotoLike(width, height);
    WorkingBitmap dst(width, height);
    const long before = ReadVmHwmKb();
    AdaptBitmapFast(src, dst, r, kParams, 2);
    const long after = ReadVmHwmKb();
    std::printf("%dx%d r=%d: image %.1f MB, peak scratch %.1f MB (%.2fx image)\n", width, height, r,
                src.ByteSize() / 1e6, (after - before) / 1e3,
                (after - before) * 1e3 / static_cast<double>(src.ByteSize()));
    return 0;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Wall and processor time of n runs, for a quick look on a shared machine:
// bench_fast --time <width> <height> <radius> <runs> [auto|direct|fft|tiles].
int TimeMain(int width, int height, int r, int runs, const char* path) {
    const WorkingBitmap src = MakePhotoLike(width, height);
    WorkingBitmap dst;
    FastAdaptationOptions options;
    if (std::strcmp(path, "direct") == 0) {
        options.path = LevelSumPath::Direct;
    } else if (std::strcmp(path, "fft") == 0) {
        options.path = LevelSumPath::Fft;
    } else if (std::strcmp(path, "tiles") == 0) {
        options.path = LevelSumPath::FftTiles;
    }
    AdaptBitmapFast(src, dst, r, kParams, 2, options);
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    for (int i = 0; i < runs; ++i) {
        AdaptBitmapFast(src, dst, r, kParams, 2, options);
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / runs;
    std::printf("%dx%d r=%d %s: %.3f s wall, %.3f s processor per run\n", width, height, r, path,
                wall, (ProcessCpuSeconds() - cpuStart) / runs);
    return 0;
}

// What one point of a square tile costs, forward and inverse transform with the plans the tile
// path makes, best of three: the table behind ChooseFftTiles. bench_fast --tiles [side...].
int TilesMain(int argc, char** argv) {
    std::vector<int> sides;
    for (int i = 2; i < argc; ++i) {
        sides.push_back(std::atoi(argv[i]));
    }
    if (sides.empty()) {
        sides = {32,  64,  96,  100, 128, 160, 192, 200, 256, 320,  360,  384,  400,
                 432, 480, 500, 512, 576, 600, 640, 720, 768, 1024, 1280, 1536, 2048};
    }
    for (const int side : sides) {
        const int rowLength = 2 * (side / 2 + 1);
        double* data = fftw_alloc_real(static_cast<std::size_t>(rowLength) * side);
        auto* spectrum = reinterpret_cast<fftw_complex*>(data);
        fftw_plan forward;
        fftw_plan inverse;
        {
            auto lock = LockFftPlanner();
            forward = fftw_plan_dft_r2c_2d(side, side, data, spectrum, FFTW_ESTIMATE);
            inverse = fftw_plan_dft_c2r_2d(side, side, spectrum, data, FFTW_ESTIMATE);
        }
        const int reps = std::max(3, 8000000 / (side * side));
        double best = 0;
        for (int round = 0; round < 3; ++round) {
            std::fill(data, data + static_cast<std::size_t>(rowLength) * side, 1.0);
            const double start = ProcessCpuSeconds();
            for (int i = 0; i < reps; ++i) {
                fftw_execute(forward);
                fftw_execute(inverse);
            }
            const double ns = (ProcessCpuSeconds() - start) * 1e9 / reps / (1.0 * side * side);
            best = round == 0 ? ns : std::min(best, ns);
        }
        std::printf("%5d: %6.2f ns per point\n", side, best);
        {
            auto lock = LockFftPlanner();
            fftw_destroy_plan(forward);
            fftw_destroy_plan(inverse);
        }
        fftw_free(data);
    }
    return 0;
}

// Largest distance of an FFT level sum from its integer over the whole image:
// bench_fast --fft-error <width> <height> <radius>.
int FftErrorMain(int width, int height, int r) {
    const WorkingBitmap src = MakePhotoLike(width, height);
    for (const bool luminance : {true, false}) {
        const LevelKernel kernel(r, width, height);
        FftLevelSum sums(kernel, width, height);
        sums.Compute(src, luminance, 2, CpuHasAvx2());
        double worst = 0;
        for (int y = 0; y < height; ++y) {
            const double* row = sums.Row(y);
            for (int x = 0; x < width; ++x) {
                worst = std::max(worst, std::fabs(row[x] - std::nearbyint(row[x])));
            }
        }
        std::printf("%dx%d r=%d luminance=%d: transform %dx%d, largest distance %.3g\n", width,
                    height, r, luminance, sums.TransformWidth(), sums.TransformHeight(), worst);
    }
    return 0;
}

}  // namespace
}  // namespace zelqor

int main(int argc, char** argv) {
    using namespace zelqor;
    if ((argc == 6 || argc == 7) && std::strcmp(argv[1], "--time") == 0) {
        return TimeMain(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                        std::atoi(argv[5]), argc == 7 ? argv[6] : "auto");
    }
    if (argc == 5 && std::strcmp(argv[1], "--fft-error") == 0) {
        return FftErrorMain(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    }
    if (argc >= 2 && std::strcmp(argv[1], "--tiles") == 0) {
        return TilesMain(argc, argv);
    }
    if (argc == 5 && std::strcmp(argv[1], "--peak") == 0) {
        return PeakMain(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
    }
    for (int index = 0; index < 2; ++index) {
        for (const int r : kRadii) {
            benchmark::RegisterBenchmark("BM_Literal", BM_Literal)
                ->Args({index, r})
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
    }
#ifdef ZELQOR_BENCH_OPENCV
    for (int index = 0; index < 2; ++index) {
        for (const int r : {20, 80}) {
            benchmark::RegisterBenchmark("BM_Filter2D", BM_Filter2D)
                ->Args({index, r})
                ->Iterations(2)
                ->Unit(benchmark::kMillisecond);
        }
    }
#endif
    for (int index = 0; index < 2; ++index) {
        for (const int r : kRadii) {
            benchmark::RegisterBenchmark("BM_Fast", BM_Fast)
                ->Args({index, r})
                ->MinTime(2.0)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
