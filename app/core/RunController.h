// A processing run as the window carries it out: progress texts, cancel, the result swapped in.
#pragma once

#include <string>

#include "Document.h"
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

struct RunReport {
    RunOutcome outcome;
    std::string endText;  // "1.23 sec (1,200 x 800)" in the user's number format
};

std::string LargeSizeNoticeText(bool japanese);

class RunController {
  public:
    RunController(Document& doc, PlatformServices& services) : doc_(doc), services_(services) {}

    // A run holds the document's lock for as long as it waits for its workers.
    bool InProgress() const { return doc_.Locked(); }

    // Runs the engine on the document's source at long side n (fitted into panelClient for
    // n <= 0) and makes the result the document's BitmapDst when the run ends, cancelled or not.
    // The painters keep showing the previous result meanwhile: the workers write a bitmap that
    // nothing else reads. Refuses a second run while one is in progress.
    RunReport Run(int n,
                  const Rect& panelClient,
                  const RunSettings& settings,
                  const std::string& title,
                  RunDisplay& display);

    // For tests that need the literal engine or control over the worker threads.
    ProcessingRun& Engine() { return run_; }

  private:
    Document& doc_;
    PlatformServices& services_;
    ProcessingRun run_;
};

}  // namespace zelqor
