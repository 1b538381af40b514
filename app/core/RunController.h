// Processing runs as the window carries them out: starting from the menu through the progress
// dialog or at once from the preview question, progress texts, cancel, the actions switched off
// while a run reads the images, the result swapped in, and a close asked for during a run.
#pragma once

#include <cstdint>
#include <string>

#include "Document.h"
#include "ParameterTable.h"
#include "PlatformServices.h"
#include "ProcessingRun.h"

namespace zelqor {

// What the window shows of a run while it waits for the workers.
class RunDisplay {
  public:
    virtual ~RunDisplay() = default;
    // status: "12.50% 150/1200 lines"; caption: "12.50%: ZelqorHDR".
    virtual void ShowProgress(const std::string& status,
                              const std::string& caption,
                              int rowsClaimed,
                              int rowCount) = 0;
    // Lets window events through: repaints, and a click on Cancel.
    virtual void ProcessEvents() = 0;
    // True once the user has asked this run to stop.
    virtual bool CancelRequested() = 0;
};

// The pages of the window, in the page control's order.
enum class Page { Source = 0, Processed = 1, Options = 2 };

// The widgets a run drives, as the window provides them.
class RunWindow {
  public:
    virtual ~RunWindow() = default;
    virtual const std::string& Title() const = 0;
    virtual void SetWindowCaption(const std::string& caption) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // The progress dialog and its place in the run: the request posted to the window is handled
    // inside the dialog's modal loop, so the run happens while the dialog is on screen. False
    // while the dialogs do not exist yet.
    virtual bool HasProgressDialog() const = 0;
    // Posts the run request for n, then shows the dialog modally until the run closes it; true
    // when the user cancelled.
    virtual bool PostRunAndShowProgressDialog(int n) = 0;
    virtual void ShowDialogProgress(const std::string& status, int rowsClaimed, int rowCount) = 0;
    virtual bool ProgressDialogCancelled() const = 0;
    // Closes the dialog as finished unless the user already closed or cancelled it.
    virtual void CloseProgressDialog() = 0;
    // Every action whose table row says it stays off during a run.
    virtual void SetRunActionsEnabled(bool enabled) = 0;
    virtual Page CurrentPage() const = 0;
    virtual void ActivatePage(Page page) = 0;
    // Paints the page at once, not at the next event.
    virtual void RepaintNow(Page page) = 0;
    virtual void Repaint(Page page) = 0;
    // The run's result is on the processed page: it takes the keyboard focus.
    virtual void FocusPages() = 0;
    virtual Rect PanelClient() const = 0;
    // Lets events through while the workers run.
    virtual void ProcessEvents() = 0;
    // Closes the window once the current event is handled.
    virtual void CloseLater() = 0;
    // Called at every pass of a run's waiting loop.
    virtual void RunProgressed(int rowsClaimed, int rowCount) = 0;
};

struct RunReport {
    RunOutcome outcome;
    std::string endText;  // "1.23 sec (1,200 x 800)" in the user's number format
};

class RunController : private RunDisplay {
  public:
    RunController(Document& doc,
                  PlatformServices& services,
                  RunWindow& window,
                  const OptionPositions& options)
        : doc_(doc), services_(services), window_(window), options_(options) {}

    // A run holds the document's lock for as long as it waits for its workers.
    bool InProgress() const { return doc_.Locked(); }

    // A make action: queues the run and shows the progress dialog; "Canceled" when the user
    // cancelled. Nothing happens while a run is in progress.
    void StartRun(int n);
    // The queued request, handled inside the dialog's modal loop.
    void HandleRunRequest(int n);
    // Runs at long side n (fitted into the page for n <= 0) with the options' current values
    // and makes the result the document's BitmapDst when the run ends, cancelled or not. Without
    // the progress dialog (the preview question) the run cannot be cancelled. Returns the
    // elapsed milliseconds.
    std::uint32_t MakeProcessedImage(int n);

    // Double-clicks on the image pages: the size message, or the preview question.
    void SourcePageDoubleClicked();
    void ProcessedPageDoubleClicked();

    // False while a run is in progress: the window closes once the run is over.
    bool CloseRequested();

    // Runs the engine on the document's source; the painters keep showing the previous result
    // meanwhile, as the workers write a bitmap that nothing else reads. Refuses a second run.
    RunReport Run(int n, const Rect& panelClient, const RunSettings& settings, RunDisplay& display);

    // For tests that need the literal engine or control over the worker threads.
    ProcessingRun& Engine() { return run_; }

  private:
    void ShowSizeMessage(const WorkingBitmap& bitmap);
    void EndRun();

    // RunDisplay
    void ShowProgress(const std::string& status,
                      const std::string& caption,
                      int rowsClaimed,
                      int rowCount) override;
    void ProcessEvents() override;
    bool CancelRequested() override;

    Document& doc_;
    PlatformServices& services_;
    RunWindow& window_;
    const OptionPositions& options_;
    ProcessingRun run_;
    bool runShowsDialog_ = false;
    bool closeAfterRun_ = false;
};

}  // namespace zelqor
