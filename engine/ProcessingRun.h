// A processing run: scaled copy, sampled parameters, kernel, two row workers, progress, cancel.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "LocalAdaptation.h"
#include "Rect.h"
#include "ScaleBitmap.h"
#include "ToneParameters.h"
#include "WorkerThreads.h"
#include "WorkingBitmap.h"

namespace zelqor {

// The waiting side of a run, supplied by the caller: the window's progress loop or the batch
// tool's progress bar.
class RunObserver {
  public:
    virtual ~RunObserver() = default;
    // Shown before the workers start when the radius needs 64-bit sums; its time counts.
    virtual void LargeSizeNotice() {}
    // One pass of the waiting loop with the rows claimed so far; true asks the run to cancel.
    virtual bool Poll(int rowsClaimed, int rowCount) = 0;
};

struct RunOutcome {
    std::uint32_t elapsedMs = 0;
    bool cancelled = false;
    bool largeSizeMode = false;
    int radius = 0;
    int width = 0;
    int height = 0;
    int rowsClaimed = 0;  // the row counter when the run ended; rows below it are processed
    int rowCount = 0;
};

// What a run samples at its start: the tone values and the neighbourhood divisor D. The
// defaults are the values of the window's start positions (its parameter table's test says so).
struct RunSettings {
    ToneParams params;
    int divisor = 200;
};

// Throws std::invalid_argument naming the first value outside the ranges the engine's exactness
// rests on: the tone values (CheckToneParams) and a divisor of at least 1.
void CheckRunSettings(const RunSettings& settings);

enum class RunEngine {
    Literal,  // the per-pixel reference, for comparison and measurement
    Fast,     // the exact convolution path used by every real run
};

// Holds only configuration: each run keeps its state in the call, so one object may run on
// several threads at once or be run again from inside an observer's Poll.
class ProcessingRun {
  public:
    static constexpr int kWorkers = 2;
    // How often the waiting side is polled while the workers run.
    static constexpr std::chrono::milliseconds kPollInterval{10};
    using ThreadStarter = zelqor::ThreadStarter;

    ProcessingRun();
    ~ProcessingRun();
    ProcessingRun(const ProcessingRun&) = delete;
    ProcessingRun& operator=(const ProcessingRun&) = delete;

    // Scales source to the target (long side n, or fitted into panelClient for n <= 0) and runs
    // the engine on it into dst. An empty source leaves dst alone and returns a zero outcome.
    // Bad settings, and a target above kMaxImagePixels (ImageLimits.h) (std::runtime_error "not
    // enough memory for a W x H image"), throw before anything is allocated, leaving dst alone.
    RunOutcome MakeProcessedImage(const WorkingBitmap& source,
                                  int n,
                                  const Rect& panelClient,
                                  const RunSettings& settings,
                                  WorkingBitmap& dst,
                                  RunObserver& observer);

    // Runs the engine on scaled into dst (kept if it has scaled's size, else replaced); rows that
    // a cancel leaves unclaimed get the unprocessed pixels of scaled. An exception from the
    // observer cancels the run and reaches the caller once every worker has ended. Bad settings
    // throw before dst is touched, as does a failure to allocate a dst of the new size.
    RunOutcome ProcessBitmap(WorkingBitmap& dst,
                             const WorkingBitmap& scaled,
                             const RunSettings& settings,
                             RunObserver& observer);

    void SetEngine(RunEngine engine) { engine_ = engine; }
    // Lets tests make a worker fail to start; production uses std::thread. It starts the threads
    // of the scaling step of MakeProcessedImage too.
    void SetThreadStarter(ThreadStarter starter) { startThread_ = std::move(starter); }

  private:
    RunEngine engine_ = RunEngine::Fast;
    ThreadStarter startThread_;
};

}  // namespace zelqor
