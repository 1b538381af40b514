// The two-worker processing run and its waiting loop.
#include "ProcessingRun.h"

#include <latch>

#include "FastAdaptation.h"
#include "Kernel.h"
#include "ScaleBitmap.h"
#include "TickCounter.h"

namespace zelqor {
namespace {

std::thread StartStdThread(std::function<void()> procedure) {
    return std::thread(std::move(procedure));
}

}  // namespace

// The neighbourhood pass of the fast path is shared by both workers; each waits here until the
// other's share is done, because a row needs neighbours from both halves.
struct PrepareGate {
    std::latch done{ProcessingRun::kWorkers};
};

RunSettings SampleRunSettings(const ToneSliders& sliders) {
    return RunSettings{SampleToneParams(sliders), CalcSizeDivisor(sliders.calcSize)};
}

ProcessingRun::ProcessingRun() : startThread_(StartStdThread) {}
ProcessingRun::~ProcessingRun() = default;

RunOutcome ProcessingRun::MakeProcessedImage(const WorkingBitmap& source,
                                             int n,
                                             const Rect& panelClient,
                                             const RunSettings& settings,
                                             WorkingBitmap& dst,
                                             RunObserver& observer) {
    if (!source.HoldsImage()) {
        return RunOutcome{};
    }
    const Size size = RunTargetSize(source.Width(), source.Height(), n, panelClient);
    if (size.width == source.Width() && size.height == source.Height()) {
        // A same-size stretch is an exact copy, so the source itself can be the run's input.
        return ProcessBitmap(dst, source, settings, observer);
    }
    const WorkingBitmap scaled = ScaleBitmap(source, size.width, size.height);
    return ProcessBitmap(dst, scaled, settings, observer);
}

bool ProcessingRun::ClaimRow(int& y) {
    int next = rowCounter_.load();
    while (next < rowCount_) {
        if (rowCounter_.compare_exchange_weak(next, next + 1)) {
            y = next;
            return true;
        }
    }
    return false;
}

void ProcessingRun::ProcessRows(AdaptVariant variant) {
    const AdaptState state{runSrc_, kernel_, radius_, params_};
    const int width = runSrc_->Width();
    int y = 0;
    while (!cancelRequested_.load() && !workerFailed_.load() && ClaimRow(y)) {
        std::uint32_t* out = runDst_->RowWords(y);
        if (fast_) {
            fast_->AdaptRow(y, out);
        } else {
            for (int x = 0; x < width; ++x) {
                out[x] = AdaptPixelWith(variant, radius_, x, y, state);
            }
        }
    }
}

void ProcessingRun::RowWorker(int index) {
    RunWorker(index, AdaptVariant::Normal);
}

void ProcessingRun::RowWorkerLarge(int index) {
    RunWorker(index, AdaptVariant::Large);
}

void ProcessingRun::RunWorker(int index, AdaptVariant variant) {
    try {
        PrepareShare(index);
        ProcessRows(variant);
    } catch (...) {
        KeepFirstError();
    }
    {
        const std::lock_guard<std::mutex> lock(doneMutex_);
        workerRunning_[index].store(false);
    }
    doneCv_.notify_all();
}

void ProcessingRun::KeepFirstError() {
    if (!workerFailed_.exchange(true)) {
        workerError_ = std::current_exception();
    }
}

void ProcessingRun::PrepareShare(int index) {
    if (!fast_) {
        return;
    }
    try {
        fast_->Prepare(index, kWorkers);
    } catch (...) {
        KeepFirstError();
    }
    gate_->done.arrive_and_wait();
}

RunOutcome ProcessingRun::ProcessBitmap(WorkingBitmap& dst,
                                        const WorkingBitmap& scaled,
                                        const RunSettings& settings,
                                        RunObserver& observer) {
    if (&dst == &scaled) {
        // The workers read the input while they write the output; they must not be one bitmap.
        const WorkingBitmap input = scaled;
        return ProcessBitmap(dst, input, settings, observer);
    }
    params_ = settings.params;
    const std::uint32_t start = TickCount();

    dst = scaled;
    radius_ = CalcRadius(scaled, settings.divisor);
    kernel_ = BuildKernel(radius_);

    runDst_ = &dst;
    runSrc_ = &scaled;
    rowCounter_.store(0);
    rowCount_ = scaled.Height();

    RunOutcome outcome;
    outcome.radius = radius_;
    outcome.largeSizeMode = IsLargeSizeMode(radius_);
    if (outcome.largeSizeMode) {
        observer.LargeSizeNotice();
    }

    fast_.reset();
    if (engine_ == RunEngine::Fast && rowCount_ > 0 && radius_ > 0) {
        fast_ = std::make_unique<FastAdaptation>(scaled, radius_, params_);
    }
    gate_ = std::make_unique<PrepareGate>();
    cancelRequested_.store(false);
    workerFailed_.store(false);
    workerError_ = nullptr;

    std::thread threads[kWorkers];
    bool started[kWorkers] = {false, false};
    for (int i = 0; i < kWorkers; ++i) {
        workerRunning_[i].store(true);
        try {
            if (outcome.largeSizeMode) {
                threads[i] = startThread_([this, i] { RowWorkerLarge(i); });
            } else {
                threads[i] = startThread_([this, i] { RowWorker(i); });
            }
            started[i] = true;
        } catch (...) {
            // Never wait for a worker that never ran; its share of the work is taken over below.
            workerRunning_[i].store(false);
        }
    }
    for (int i = 0; i < kWorkers; ++i) {
        if (!started[i] && fast_) {
            try {
                fast_->Prepare(i, kWorkers);
            } catch (...) {
                KeepFirstError();
            }
            gate_->done.count_down();
        }
    }
    if (!started[0] && !started[1] && !workerFailed_.load()) {
        ProcessRows(outcome.largeSizeMode ? AdaptVariant::Large : AdaptVariant::Normal);
    }

    auto anyRunning = [this] { return workerRunning_[0].load() || workerRunning_[1].load(); };
    while (anyRunning()) {
        if (observer.Poll(rowCounter_.load(), rowCount_)) {
            cancelRequested_.store(true);
        }
        YieldProcessor();
        // A spinning loop would take a core from the two workers on a two-core machine; the
        // wait ends at once when the last worker is done, so the elapsed time is not padded.
        std::unique_lock<std::mutex> lock(doneMutex_);
        doneCv_.wait_for(lock, kPollInterval, [&] { return !anyRunning(); });
    }
    for (std::thread& t : threads) {
        if (t.joinable()) {
            t.join();
        }
    }
    fast_.reset();
    gate_.reset();
    if (workerError_) {
        std::rethrow_exception(workerError_);
    }

    outcome.elapsedMs = TickCount() - start;
    outcome.cancelled = cancelRequested_.load();
    outcome.width = dst.Width();
    outcome.height = dst.Height();
    return outcome;
}

}  // namespace zelqor
