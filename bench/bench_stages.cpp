// The other stages a user waits for: JPEG load and save, reduction, preview run, styled repaint.
#include <benchmark/benchmark.h>

#include "BenchImages.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "ProcessingRun.h"
#include "ScaleBitmap.h"
#include "Stream.h"
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

// The synthetic image carries independent noise in every channel, which JPEG codes poorly; a
// camera file shows what a user's load costs per megapixel.
void BM_JpegLoadCameraPhoto(benchmark::State& state) {
    const std::string path = std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/exiv2-bug2565.jpg";
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    double pixels = 0;
    for (auto _ : state) {
        WorkingBitmap b = DecodeJpeg(bytes);
        pixels = static_cast<double>(b.Width()) * b.Height();
        benchmark::DoNotOptimize(b.Data());
    }
    state.counters["MP"] = pixels / 1e6;
    state.counters["ms_per_24MP"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * pixels / 24e6,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_JpegLoadCameraPhoto)->Unit(benchmark::kMillisecond);

void BM_JpegSave24MP(benchmark::State& state) {
    for (auto _ : state) {
        auto bytes = BuildJpegFile(Photo24MP(), 73, {}, ExifTreatment::None);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_JpegSave24MP)->Unit(benchmark::kMillisecond);

void BM_Reduce24MPTo1200(benchmark::State& state) {
    // Made before the loop: timing its generation makes the library settle on one iteration.
    const WorkingBitmap& photo = Photo24MP();
    for (auto _ : state) {
        WorkingBitmap b = ScaleBitmap(photo, 1200, 800);
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

// A repaint stretches the processed image into the page and recolours what is shown. After a
// preview run the image already has the page's fitted size (range 0); after a full-size run it
// is the whole 24-megapixel result (range 1).
void BM_StyledRepaint(benchmark::State& state) {
    const Rect page{0, 0, 1000, 800};
    const Rect previewFit = FitRect(page, Photo24MP());
    static const WorkingBitmap preview =
        ScaleBitmap(Photo24MP(), previewFit.Width(), previewFit.Height());
    const WorkingBitmap& processed = state.range(1) ? Photo24MP() : preview;
    const Rect fit = FitRect(page, processed);
    for (auto _ : state) {
        WorkingBitmap shown = ScaleBitmap(processed, fit.Width(), fit.Height());
        MakeViewBitmapAll(&shown, static_cast<int>(state.range(0)), Rgb{228, 128, 28});
        benchmark::DoNotOptimize(shown.Data());
    }
}
BENCHMARK(BM_StyledRepaint)
    ->Args({kViewSepia + 2, 0})
    ->Args({kViewUguisu, 0})
    ->Args({kViewSepia + 2, 1})
    ->Unit(benchmark::kMillisecond);

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
