// The other stages a user waits for: JPEG load and save, reduction, preview run, styled repaint.
#include <benchmark/benchmark.h>

#include "BenchImages.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "ProcessingRun.h"
#include "ScaleBitmap.h"
#include "ViewStyles.h"

namespace zelqor {
namespace {

const WorkingBitmap& Photo24MP() {
    static const WorkingBitmap image = bench::PhotoLike(6000, 4000, 3);
    return image;
}

const std::vector<std::uint8_t>& Photo24MPJpeg() {
    static const std::vector<std::uint8_t> bytes = EncodeJpeg(Photo24MP(), 92);
    return bytes;
}

struct NoWait : RunObserver {
    bool Poll(int, int) override { return false; }
};

void BM_JpegLoad24MP(benchmark::State& state) {
    const auto& bytes = Photo24MPJpeg();
    for (auto _ : state) {
        WorkingBitmap b = DecodeJpeg(bytes);
        benchmark::DoNotOptimize(b.Data());
    }
    state.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_JpegLoad24MP)->Unit(benchmark::kMillisecond);

void BM_JpegSave24MP(benchmark::State& state) {
    for (auto _ : state) {
        auto bytes = BuildJpegFile(Photo24MP(), 73, {}, kExifNone);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_JpegSave24MP)->Unit(benchmark::kMillisecond);

void BM_Reduce24MPTo1200(benchmark::State& state) {
    for (auto _ : state) {
        WorkingBitmap b = ScaleBitmap(Photo24MP(), 1200, 800);
        benchmark::DoNotOptimize(b.Data());
    }
}
BENCHMARK(BM_Reduce24MPTo1200)->Unit(benchmark::kMillisecond);

void BM_PreviewRun24MP(benchmark::State& state) {
    ProcessingRun run;
    NoWait wait;
    WorkingBitmap dst;
    const RunSettings settings;
    for (auto _ : state) {
        run.MakeProcessedImage(Photo24MP(), 0, Rect{0, 0, 1000, 800}, settings, dst, wait);
        benchmark::DoNotOptimize(dst.Data());
    }
}
BENCHMARK(BM_PreviewRun24MP)->Unit(benchmark::kMillisecond);

// A repaint fits the processed image into the page and recolours what is shown.
void BM_StyledRepaint(benchmark::State& state) {
    static const WorkingBitmap processed = bench::PhotoLike(6000, 4000, 4);
    const Rect fit = FitRect(Rect{0, 0, 1000, 800}, processed);
    for (auto _ : state) {
        WorkingBitmap shown = ScaleBitmap(processed, fit.Width(), fit.Height());
        MakeViewBitmapAll(&shown, static_cast<int>(state.range(0)), Rgb{228, 128, 28});
        benchmark::DoNotOptimize(shown.Data());
    }
}
BENCHMARK(BM_StyledRepaint)->Arg(kViewSepia + 2)->Arg(kViewUguisu)->Unit(benchmark::kMillisecond);

void BM_FullRunEndToEnd(benchmark::State& state) {
    const WorkingBitmap src = bench::PhotoLike(4000, 3000, 5);
    ProcessingRun run;
    NoWait wait;
    WorkingBitmap dst;
    RunSettings settings;
    settings.divisor = static_cast<int>(state.range(0));
    for (auto _ : state) {
        run.MakeProcessedImage(src, 4000, Rect{}, settings, dst, wait);
        benchmark::DoNotOptimize(dst.Data());
    }
    state.counters["radius"] = 4000.0 / settings.divisor;
}
// D = 200 gives r = 20 and D = 50 gives r = 80 on a 12-megapixel image.
BENCHMARK(BM_FullRunEndToEnd)->Arg(200)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelqor

BENCHMARK_MAIN();
