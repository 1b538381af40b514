// The window's side of a run: texts, events and cancel while the workers run.
#include "RunController.h"

#include <stdexcept>

namespace zelqor {
namespace {

class WindowObserver : public RunObserver {
  public:
    WindowObserver(PlatformServices& services, const std::string& title, RunDisplay& display)
        : services_(services), title_(title), display_(display) {}

    void LargeSizeNotice() override {
        services_.ShowMessage(title_, LargeSizeNoticeText(services_.IsJapaneseLocale()));
    }

    bool Poll(int rowsClaimed, int rowCount) override {
        const NumberFormat fmt = services_.LocaleNumberFormat();
        display_.ShowProgress(ProgressText(rowsClaimed, rowCount, fmt),
                              ProgressPercentText(rowsClaimed, rowCount, fmt) + ": " + title_,
                              rowsClaimed, rowCount);
        display_.ProcessEvents();
        return display_.CancelRequested();
    }

  private:
    PlatformServices& services_;
    const std::string& title_;
    RunDisplay& display_;
};

}  // namespace

std::string LargeSizeNoticeText(bool japanese) {
    return japanese ? "大サイズ演算モード（低速演算）で実行します"
                    : "Large-size calculation mode (slower calculation)";
}

RunReport RunController::Run(int n,
                             const Rect& panelClient,
                             const RunSettings& settings,
                             const std::string& title,
                             RunDisplay& display) {
    if (InProgress()) {
        throw std::logic_error("a run is already in progress");
    }
    WindowObserver observer(services_, title, display);
    WorkingBitmap result;
    RunReport report;
    {
        const Document::Lock lock(doc_);
        report.outcome =
            run_.MakeProcessedImage(doc_.BitmapSrc(), n, panelClient, settings, result, observer);
    }
    doc_.SetResult(std::move(result));
    report.endText = RunEndText(report.outcome.elapsedMs, report.outcome.width,
                                report.outcome.height, services_.LocaleNumberFormat());
    return report;
}

}  // namespace zelqor
