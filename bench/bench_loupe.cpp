// The options page's loupe on a 24-megapixel photo: the region of the full-size result it shows,
// at the slider's radii, and from a slider's change to the repaint that shows the new pixels.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <mutex>

#include "BenchImages.h"
#include "ParameterTable.h"
#include "PreviewLoupe.h"
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
    const WorkingBitmap& photo = Photo24MP();
    WorkingBitmap out;
    for (auto _ : state) {
        ProcessRegion(photo, region, settings, out, 2);
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

// The window's thread, played by the benchmark: what the loupe posts waits here.
class QueueHost : public ThumbnailHost {
  public:
    void PostToWindowThread(std::function<void()> task) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        posted_.notify_one();
    }
    void ThumbnailChanged() override { changed = true; }
    void RunOne() {
        std::unique_lock<std::mutex> lock(mutex_);
        posted_.wait(lock, [&] { return !tasks_.empty(); });
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
    }
    bool changed = false;

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

// From a slider's change to the repaint that shows the loupe's new pixels, the loupe open on the
// photo's centre at the panel's start size. Argument: 0 the intensity between positions 4 and 6
// (radius 30 stays); 1 the neighbourhood size between 4 and 6 (radius 40 and 23) and 2 between 0
// and 1 (radius 120 and 91), where each change also makes the kernel's spectrum anew.
void BM_LoupeSliderToRepaint(benchmark::State& state) {
    Document doc;
    doc.SetSource(Photo24MP());
    OptionPositions options = StartPositions();
    QueueHost host;
    PreviewLoupe loupe(doc, options, host);
    constexpr Rect kArea{0, 0, 185, 193};
    loupe.SetArea(kArea.right, kArea.bottom);
    loupe.Pressed({92, 96});
    loupe.Released({92, 96});
    loupe.ClickSettled();
    while (!loupe.Idle()) {
        host.RunOne();
    }
    struct Move {
        ParamId slider;
        int from;
        int to;
    };
    constexpr Move kMoves[] = {
        {ParamId::HdrStrength, 4, 6}, {ParamId::CalcSize, 4, 6}, {ParamId::CalcSize, 0, 1}};
    const Move move = kMoves[state.range(0)];
    WorkingBitmap buffer(kArea.Width(), kArea.Height());
    for (auto _ : state) {
        options[move.slider] = options[move.slider] == move.from ? move.to : move.from;
        host.changed = false;
        loupe.Refresh();
        while (!host.changed) {
            host.RunOne();
        }
        loupe.Paint(buffer, kArea, kArea, StyleCode(kViewSepia, 2), Rgb{});
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_LoupeSliderToRepaint)
    ->ArgName("move")
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelqor

BENCHMARK_MAIN();
