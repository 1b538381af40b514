// Repaint of a 1000x800 page showing a 24-megapixel photo: from the cache, cold, and uncached.
#include <benchmark/benchmark.h>

#include "BenchImages.h"
#include "PanelPainter.h"

namespace zelqor {
namespace {

constexpr Rect kPage{0, 0, 1000, 800};
constexpr Rgb kTint{228, 128, 28};

const WorkingBitmap& Photo24MP() {
    static const WorkingBitmap image = bench::PhotoLike(6000, 4000);
    return image;
}

// The buffer a full repaint of the page receives: the page's size, background already filled.
WorkingBitmap PageBuffer() {
    WorkingBitmap buffer(kPage.Width(), kPage.Height());
    std::fill(buffer.Data(), buffer.Data() + buffer.Width() * buffer.Height(),
              MakePixel(240, 240, 240));
    return buffer;
}

void BM_CachedFullRepaint(benchmark::State& state) {
    const int code = static_cast<int>(state.range(0));
    const WorkingBitmap& image = Photo24MP();
    WorkingBitmap buffer = PageBuffer();
    PanelPainter painter;
    painter.Paint(buffer, kPage, kPage, image, 1, code, kTint);  // warm the cache
    for (auto _ : state) {
        painter.Paint(buffer, kPage, kPage, image, 1, code, kTint);
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_CachedFullRepaint)
    ->ArgName("code")
    ->Arg(kViewDefault)
    ->Arg(kViewSepia + 2)
    ->Unit(benchmark::kMillisecond);

// The first repaint after a run: every iteration brings a new generation, so the fit is rebuilt.
void BM_ColdFirstFit(benchmark::State& state) {
    const WorkingBitmap& image = Photo24MP();
    WorkingBitmap buffer = PageBuffer();
    PanelPainter painter;
    std::uint64_t generation = 0;
    for (auto _ : state) {
        painter.Paint(buffer, kPage, kPage, image, ++generation, kViewDefault, kTint);
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_ColdFirstFit)->Unit(benchmark::kMillisecond);

void BM_UncachedRepaint(benchmark::State& state) {
    const int code = static_cast<int>(state.range(0));
    const WorkingBitmap& image = Photo24MP();
    WorkingBitmap buffer = PageBuffer();
    for (auto _ : state) {
        PaintFittedImage(buffer, kPage, kPage, image, code, kTint);
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_UncachedRepaint)
    ->ArgName("code")
    ->Arg(kViewDefault)
    ->Arg(kViewSepia + 2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelqor

BENCHMARK_MAIN();
