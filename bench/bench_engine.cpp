// Baseline figures: the literal whole-bitmap adaptation and the view styles on 2 megapixels.
#include <benchmark/benchmark.h>

#include "BenchImages.h"
#include "LocalAdaptation.h"
#include "ViewStyles.h"

namespace zelqor {
namespace {

const WorkingBitmap& TwoMegapixels() {
    static const WorkingBitmap image = bench::PhotoLike(1732, 1155);
    return image;
}

void BM_AdaptLiteral2MP(benchmark::State& state) {
    const int r = static_cast<int>(state.range(0));
    const ToneParams params;
    WorkingBitmap dst;
    for (auto _ : state) {
        AdaptBitmapLiteral(TwoMegapixels(), dst, r, params, AdaptVariant::Normal);
        benchmark::DoNotOptimize(dst.Data());
    }
    state.counters["MP/s"] = benchmark::Counter(2.0 * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AdaptLiteral2MP)
    ->Arg(6)
    ->Arg(20)
    ->Arg(40)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_ViewStyle2MP(benchmark::State& state) {
    const int code = static_cast<int>(state.range(0));
    WorkingBitmap work = TwoMegapixels();
    for (auto _ : state) {
        state.PauseTiming();
        work = TwoMegapixels();
        state.ResumeTiming();
        MakeViewBitmapAll(&work, code, Rgb{228, 128, 28});
        benchmark::DoNotOptimize(work.Data());
    }
}
BENCHMARK(BM_ViewStyle2MP)
    ->Arg(kViewColorish)
    ->Arg(kViewMonochrome + 2)
    ->Arg(kViewVivid + 4)
    ->Arg(kViewMattari + 2)
    ->Arg(kViewSepia + 2)
    ->Arg(kViewUguisu)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelqor

BENCHMARK_MAIN();
