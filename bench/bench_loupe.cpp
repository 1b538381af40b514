// The options page's loupe on a 24-megapixel photo: the region of the full-size result it shows,
// at the slider's radii, and from a slider's change to the repaint that shows the new pixels.
#include <benchmark/benchmark.h>

#include "BenchImages.h"
#include "ParameterTable.h"
#include "RegionRun.h"

namespace zelqor {
namespace {

const WorkingBitmap& Photo24MP() {
    static const WorkingBitmap image = bench::PhotoLike(6000, 4000);
    return image;
}

// The preview's panel at the window's start size, and at a large window's.
constexpr Rect kRegions[] = {{2900, 1900, 3085, 2093}, {2800, 1800, 3400, 2250}};

// Arguments: the divisor slider's position (0 = divisor 50, radius 120; 5 = 200, radius 30;
// 10 = 800, radius 8) and which region.
void BM_LoupeRegion(benchmark::State& state) {
    TrackBar bar{0, 10, static_cast<int>(state.range(0))};
    const RunSettings settings{{}, CalcSizeDivisor(bar)};
    const Rect region = kRegions[state.range(1)];
    WorkingBitmap out;
    for (auto _ : state) {
        ProcessRegion(Photo24MP(), region, settings, out, 2);
        benchmark::DoNotOptimize(out.Data());
    }
    state.counters["radius"] = CalcRadius(Photo24MP(), settings.divisor);
}
BENCHMARK(BM_LoupeRegion)
    ->ArgNames({"calcSize", "region"})
    ->ArgsProduct({{0, 2, 5, 8, 10}, {0, 1}})
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelqor

BENCHMARK_MAIN();
