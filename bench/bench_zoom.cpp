// Repaints of a 1000x800 page showing a 24-megapixel photo zoomed: every repaint of a pan, and
// the first repaint after a zoom step, each timed on its own (median of 20).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <vector>

#include "BenchImages.h"
#include "PanelPainter.h"
#include "ViewZoom.h"

namespace zelqor {
namespace {

constexpr Rect kPage{0, 0, 1000, 800};
const ViewFrame kFrame{{6000, 4000}, {kPage.Width(), kPage.Height()}};
constexpr Rgb kTint{228, 128, 28};

const WorkingBitmap& Photo24MP() {
    static const WorkingBitmap image = bench::PhotoLike(6000, 4000);
    return image;
}

WorkingBitmap PageBuffer() {
    WorkingBitmap buffer(kPage.Width(), kPage.Height());
    std::fill(buffer.Data(), buffer.Data() + buffer.Width() * buffer.Height(),
              MakePixel(240, 240, 240));
    return buffer;
}

double Repaint(PanelPainter& painter, WorkingBitmap& buffer, const ViewZoom& zoom, StyleCode code) {
    const auto start = std::chrono::steady_clock::now();
    painter.Paint(buffer, kPage, kPage, zoom.Place(kFrame.scene, kFrame), Photo24MP(), 1, code,
                  kTint);
    benchmark::DoNotOptimize(buffer.Data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A drag of 40 device pixels a repaint (2400 pixels a second at 60 frames), to and fro along a
// diagonal, with the page's painter and its cache living across the repetitions as they would
// across the repaints of one drag.
struct Pan {
    explicit Pan(int step) {
        zoom.ZoomTo(step, kFrame);
        Repaint(painter, buffer, zoom, kViewDefault);
    }
    PanelPainter painter;
    WorkingBitmap buffer = PageBuffer();
    ViewZoom zoom;
    int direction = 1;
};

void BM_PanRepaint(benchmark::State& state) {
    static std::map<std::pair<int, int>, Pan> pans;
    const int step = static_cast<int>(state.range(0));
    const StyleCode code(static_cast<int>(state.range(1)));
    Pan& pan = pans.try_emplace({step, static_cast<int>(state.range(1))}, step).first->second;
    for (auto _ : state) {
        if (!pan.zoom.PanBy(-40.0 * pan.direction, -30.0 * pan.direction, kFrame)) {
            pan.direction = -pan.direction;
            pan.zoom.PanBy(-40.0 * pan.direction, -30.0 * pan.direction, kFrame);
        }
        state.SetIterationTime(Repaint(pan.painter, pan.buffer, pan.zoom, code));
    }
    state.counters["zoom_pct"] = kZoomSteps[step].Value() * 100;
}

// From the step below, already painted, to this one: nothing of the new zoom is cached yet.
void BM_FirstRepaintAfterZoomStep(benchmark::State& state) {
    const int step = static_cast<int>(state.range(0));
    PanelPainter painter;
    WorkingBitmap buffer = PageBuffer();
    for (auto _ : state) {
        ViewZoom zoom;
        zoom.ZoomTo(step - 1, kFrame);
        Repaint(painter, buffer, zoom, kViewDefault);
        zoom.StepBy(1, kFrame);
        state.SetIterationTime(Repaint(painter, buffer, zoom, kViewDefault));
    }
    state.counters["zoom_pct"] = kZoomSteps[step].Value() * 100;
}

double Slowest(const std::vector<double>& times) {
    return *std::max_element(times.begin(), times.end());
}

void ZoomSteps(benchmark::internal::Benchmark* b) {
    // 25 %, 50 %, 100 %, 400 %, in the default style and in sepia.
    for (int code : {static_cast<int>(kViewDefault), kViewSepia + 2}) {
        for (int step : {4, 6, kActualPixelsStep, 11}) {
            b->Args({step, code});
        }
    }
}

BENCHMARK(BM_PanRepaint)
    ->Apply(ZoomSteps)
    ->ArgNames({"step", "code"})
    ->Iterations(1)
    ->Repetitions(20)
    ->ComputeStatistics("max", Slowest)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRepaintAfterZoomStep)
    ->ArgName("step")
    ->DenseRange(1, 13)
    ->Iterations(1)
    ->Repetitions(20)
    ->ComputeStatistics("max", Slowest)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelqor

BENCHMARK_MAIN();
