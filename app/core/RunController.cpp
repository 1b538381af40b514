// The window's side of a run: texts, events and cancel while the workers run.
#include "RunController.h"

#include <stdexcept>

#include "CaptionTable.h"
#include "RunTexts.h"

namespace zelqor {
namespace {

class WindowObserver : public RunObserver {
  public:
    WindowObserver(PlatformServices& services, const std::string& title, RunDisplay& display)
        : services_(services), title_(title), display_(display) {}

    void LargeSizeNotice() override {
        services_.ShowMessage(title_, kLargeSizeNotice.In(services_.IsJapaneseLocale()));
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

RunReport RunController::Run(int n,
                             const Rect& panelClient,
                             const RunSettings& settings,
                             RunDisplay& display) {
    if (InProgress()) {
        throw std::logic_error("a run is already in progress");
    }
    WindowObserver observer(services_, window_.Title(), display);
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

void RunController::StartRun(int n) {
    if (InProgress() || !window_.HasProgressDialog()) {
        return;  // one run at a time: its workers read the images that a second would replace
    }
    if (window_.PostRunAndShowProgressDialog(n)) {
        services_.ShowMessage(window_.Title(), "Canceled");
    }
}

void RunController::HandleRunRequest(int n) {
    runShowsDialog_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{runShowsDialog_};
    try {
        MakeProcessedImage(n);
    } catch (...) {
        // A failed run must not leave the dialog up with nobody to close it.
        window_.CloseProgressDialog();
        throw;
    }
    if (window_.CurrentPage() != Page::Options) {
        window_.RepaintNow(window_.CurrentPage());
    }
}

std::uint32_t RunController::MakeProcessedImage(int n) {
    if (!doc_.BitmapSrc().HoldsImage()) {
        services_.ShowMessage(window_.Title(), "no input bitmap");
        window_.CloseProgressDialog();
        return 0;
    }
    if (InProgress()) {
        return 0;
    }
    window_.ActivatePage(doc_.BitmapDst().HoldsImage() ? Page::Processed : Page::Source);
    window_.SetRunActionsEnabled(false);
    RunReport report;
    try {
        report = Run(n, window_.PanelClient(), ValuesAt(options_).run, *this);
    } catch (...) {
        EndRun();
        throw;
    }
    window_.CloseProgressDialog();
    window_.SetStatusText(report.endText);
    window_.Repaint(Page::Source);
    // The result is a new bitmap, so the processed page must be drawn afresh even if it is the
    // page already shown.
    window_.Repaint(Page::Processed);
    window_.ActivatePage(Page::Processed);
    window_.FocusPages();
    EndRun();
    return report.outcome.elapsedMs;
}

void RunController::EndRun() {
    window_.SetRunActionsEnabled(true);
    window_.SetWindowCaption(window_.Title());
    if (closeAfterRun_) {
        window_.CloseLater();
    }
}

bool RunController::CloseRequested() {
    if (InProgress()) {
        // The run's workers and its waiting loop still use the window; close when it is over.
        closeAfterRun_ = true;
        return false;
    }
    return true;
}

void RunController::ShowSizeMessage(const WorkingBitmap& bitmap) {
    services_.ShowMessage(window_.Title(), "Width = " + std::to_string(bitmap.Width()) +
                                               "\r\nHeight = " + std::to_string(bitmap.Height()));
}

void RunController::SourcePageDoubleClicked() {
    if (doc_.BitmapSrc().HoldsImage()) {
        ShowSizeMessage(doc_.BitmapSrc());
    }
}

void RunController::ProcessedPageDoubleClicked() {
    if (doc_.BitmapDst().HoldsImage()) {
        ShowSizeMessage(doc_.BitmapDst());
    } else if (doc_.BitmapSrc().HoldsImage() && !InProgress()) {
        if (services_.AskOkCancel(window_.Title(),
                                  kPreviewQuestion.In(services_.IsJapaneseLocale()))) {
            MakeProcessedImage(0);
        }
    }
}

void RunController::ShowProgress(const std::string& status,
                                 const std::string& caption,
                                 int rowsClaimed,
                                 int rowCount) {
    window_.SetStatusText(status);
    window_.SetWindowCaption(caption);
    if (runShowsDialog_) {
        window_.ShowDialogProgress(status, rowsClaimed, rowCount);
    }
    window_.RunProgressed(rowsClaimed, rowCount);
}

void RunController::ProcessEvents() {
    window_.ProcessEvents();
}

bool RunController::CancelRequested() {
    // A run started from the preview question cannot be cancelled, whatever result the dialog
    // kept from its last showing.
    return runShowsDialog_ && window_.ProgressDialogCancelled();
}

}  // namespace zelqor
