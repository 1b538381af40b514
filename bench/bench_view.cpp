// Repaint of a 1000x800 page showing a 24-megapixel photo: from the cache, cold, and uncached,
// untagged and tagged Adobe RGB (shown through its profile); and the options page's live
// thumbnail of that photo, from a slider's change to its repaint.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>

#include "BenchImages.h"
#include "LiveThumbnail.h"
#include "PanelPainter.h"

#ifdef ZELQOR_BENCH_WINDOW
#include <QApplication>
#include <QSlider>
#include <QTabWidget>

#include "QtPlatformServices.h"
#include "TForm1.h"
#include "TPaintPanel.h"
#endif

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

// Adobe RGB (colord's reference profile) to the sRGB screen.
SharedTransform AdobeToScreen() {
    static DisplayColour colour;
    std::ifstream in("/usr/share/color/icc/colord/AdobeRGB1998.icc", std::ios::binary);
    const IccBytes adobe(std::istreambuf_iterator<char>(in), {});
    return colour.ToDisplay(adobe);
}

// As BM_CachedFullRepaint, for a tagged photo: the converted copy is kept with the fitted one.
void BM_CachedFullRepaintTagged(benchmark::State& state) {
    const int code = static_cast<int>(state.range(0));
    const WorkingBitmap& image = Photo24MP();
    const SharedTransform colour = AdobeToScreen();
    WorkingBitmap buffer = PageBuffer();
    PanelPainter painter;
    painter.Paint(buffer, kPage, kPage, image, 1, code, kTint, colour);
    for (auto _ : state) {
        painter.Paint(buffer, kPage, kPage, image, 1, code, kTint, colour);
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_CachedFullRepaintTagged)
    ->ArgName("code")
    ->Arg(kViewDefault)
    ->Arg(kViewSepia + 2)
    ->Unit(benchmark::kMillisecond);

// The 24 MP photo at 100 %, the page showing a part of its middle: untagged (0) and tagged (1)
// repaints once the page's tiles are made.
void BM_ActualSizeRepaint(benchmark::State& state) {
    const WorkingBitmap& image = Photo24MP();
    const SharedTransform colour = state.range(0) != 0 ? AdobeToScreen() : nullptr;
    const PicturePlacement place{{-2500, -1600, -2500 + image.Width(), -1600 + image.Height()},
                                 false};
    WorkingBitmap buffer = PageBuffer();
    PanelPainter painter;
    painter.Paint(buffer, kPage, kPage, place, image, 1, kViewDefault, kTint, colour);
    for (auto _ : state) {
        painter.Paint(buffer, kPage, kPage, place, image, 1, kViewDefault, kTint, colour);
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_ActualSizeRepaint)->ArgName("tagged")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What a painter would pay at every repaint if it converted the visible page of the 24 MP photo
// at 100 % instead of keeping it converted: copying the page's area (0) against copying and
// converting it (1).
void BM_PageAreaAtFullSize(benchmark::State& state) {
    const WorkingBitmap& image = Photo24MP();
    const SharedTransform colour = AdobeToScreen();
    WorkingBitmap buffer = PageBuffer();
    for (auto _ : state) {
        for (int y = 0; y < buffer.Height(); ++y) {
            std::memcpy(buffer.Row(y), image.Row(y + 1600) + 4 * 2500,
                        static_cast<std::size_t>(buffer.Width()) * 4);
        }
        if (state.range(0) != 0) {
            colour->ApplyAll(buffer);
        }
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_PageAreaAtFullSize)->ArgName("convert")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

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

// The same for a tagged photo: the fit is scaled and then converted whole.
void BM_ColdFirstFitTagged(benchmark::State& state) {
    const WorkingBitmap& image = Photo24MP();
    const SharedTransform colour = AdobeToScreen();
    WorkingBitmap buffer = PageBuffer();
    PanelPainter painter;
    std::uint64_t generation = 0;
    for (auto _ : state) {
        painter.Paint(buffer, kPage, kPage, image, ++generation, kViewDefault, kTint, colour);
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_ColdFirstFitTagged)->Unit(benchmark::kMillisecond);

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

// The thumbnail's panel as the options page has it at the window's start size.
constexpr Rect kThumbArea{0, 0, 185, 193};

// The window's thread, played by the benchmark: what the thumbnail posts waits here.
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

// From the change of a slider to the repaint that shows the new picture, with the source's
// reduction already made (it is made once per source).
void BM_ThumbnailSliderToRepaint(benchmark::State& state) {
    Document doc;
    doc.SetSource(Photo24MP());
    OptionPositions options = StartPositions();
    QueueHost host;
    LiveThumbnail thumb(doc, options, host);
    thumb.SetArea(kThumbArea.right, kThumbArea.bottom);
    while (!thumb.Idle()) {
        host.RunOne();
    }
    WorkingBitmap buffer(kThumbArea.Width(), kThumbArea.Height());
    for (auto _ : state) {
        options[ParamId::HdrStrength] = options[ParamId::HdrStrength] == 2 ? 8 : 2;
        host.changed = false;
        thumb.Refresh();
        while (!host.changed) {
            host.RunOne();
        }
        thumb.Paint(buffer, kThumbArea, kThumbArea, StyleCode(kViewSepia, 2), kTint);
        benchmark::DoNotOptimize(buffer.Data());
    }
}
BENCHMARK(BM_ThumbnailSliderToRepaint)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The thumbnail's own run on its reduced source, and the reduction made once per source.
void BM_ThumbnailRun(benchmark::State& state) {
    const Size size = RunTargetSize(6000, 4000, 0, kThumbArea);
    const WorkingBitmap reduced = ScaleBitmap(Photo24MP(), size.width, size.height);
    struct : RunObserver {
        bool Poll(int, int) override { return false; }
    } quiet;
    ProcessingRun run;
    WorkingBitmap picture;
    for (auto _ : state) {
        run.ProcessBitmap(picture, reduced, RunSettings{}, quiet);
        benchmark::DoNotOptimize(picture.Data());
    }
}
BENCHMARK(BM_ThumbnailRun)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_ThumbnailReduction(benchmark::State& state) {
    const Size size = RunTargetSize(6000, 4000, 0, kThumbArea);
    for (auto _ : state) {
        WorkingBitmap reduced =
            ScaleBitmap(Photo24MP(), size.width, size.height, ProcessingRun::kWorkers);
        benchmark::DoNotOptimize(reduced.Data());
    }
}
BENCHMARK(BM_ThumbnailReduction)->UseRealTime()->Unit(benchmark::kMillisecond);

#ifdef ZELQOR_BENCH_WINDOW
// The same in the real window under the offscreen platform: the slider's own setter, the event
// loop, the panel's paint event.
void BM_WindowSliderToThumbnailRepaint(benchmark::State& state) {
    QtPlatformServices services;
    TForm1 window(services);
    window.CreateDialogs();
    window.show();
    window.SetSourceImage(Photo24MP());
    window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
    TPaintPanel* panel = window.PaintPanelPreview;
    int shown = 0;
    const auto paint = panel->OnPaint;
    panel->OnPaint = [&](TPaintPanel& p) {
        paint(p);
        if (window.Thumbnail().Idle() && window.Thumbnail().Picture().HoldsImage()) {
            ++shown;
        }
    };
    while (shown == 0) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QSlider* slider = window.Slider("TrackBar_HDR");
    for (auto _ : state) {
        const int before = shown;
        slider->setValue(slider->value() == 2 ? 8 : 2);
        while (shown == before) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    state.counters["thumb_w"] = window.Thumbnail().Picture().Width();
    state.counters["thumb_h"] = window.Thumbnail().Picture().Height();
}
BENCHMARK(BM_WindowSliderToThumbnailRepaint)
    ->Iterations(1)
    ->Repetitions(20)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace
}  // namespace zelqor

int main(int argc, char** argv) {
#ifdef ZELQOR_BENCH_WINDOW
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
