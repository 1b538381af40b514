// The two-worker processing run and its waiting loop.
#include "ProcessingRun.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <latch>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "FastAdaptation.h"
#include "ImageLimits.h"
#include "Kernel.h"
#include "ScaleBitmap.h"
#include "TickCounter.h"
#include "WorkerThreads.h"

namespace zelqor {
namespace {

constexpr int kWorkers = ProcessingRun::kWorkers;

// Everything one run shares with its workers. It lives on the caller's stack for the length of
// the call, so a run started from inside another run's Poll, or on another thread with the same
// ProcessingRun, has its own.
struct RunState {
    RunState(const WorkingBitmap& source, WorkingBitmap& target, int r, const ToneParams& p)
        : src(source),
          dst(target),
          radius(r),
          params(p),
          kernel(BuildKernel(r)),
          rowCount(source.Height()) {}

    const WorkingBitmap& src;
    WorkingBitmap& dst;
    const int radius;
    const ToneParams params;
    const std::vector<std::int32_t> kernel;
    const int rowCount;
    std::unique_ptr<FastAdaptation> fast;
    // The fast path's neighbourhood pass is shared by both workers; each waits here until the
    // other's share is done, because a row needs neighbours from both halves.
    std::latch prepareDone{kWorkers};

    std::atomic<int> rowCounter{0};
    // The row each worker is writing, -1 between rows: a row left half-written by a failure is
    // put back to the input with the unclaimed ones.
    std::atomic<int> rowInHand[kWorkers] = {-1, -1};
    std::atomic<bool> workerRunning[kWorkers] = {false, false};
    std::atomic<bool> cancelRequested{false};
    std::mutex doneMutex;  // only to wake the waiting loop when a worker ends
    std::condition_variable doneCv;
    std::exception_ptr workerError;
    std::atomic<bool> workerFailed{false};

    bool AnyRunning() const { return workerRunning[0].load() || workerRunning[1].load(); }

    bool ClaimRow(int& y) {
        int next = rowCounter.load();
        while (next < rowCount) {
            if (rowCounter.compare_exchange_weak(next, next + 1)) {
                y = next;
                return true;
            }
        }
        return false;
    }

    void ProcessRows(int worker, AdaptVariant variant) {
        const AdaptState state{&src, kernel, radius, params};
        const int width = src.Width();
        int y = 0;
        while (!cancelRequested.load() && !workerFailed.load() && ClaimRow(y)) {
            rowInHand[worker].store(y);
            std::uint32_t* out = dst.RowWords(y);
            if (fast) {
                fast->AdaptRow(y, out);
            } else {
                for (int x = 0; x < width; ++x) {
                    out[x] = AdaptPixelWith(variant, radius, x, y, state);
                }
            }
            rowInHand[worker].store(-1);
        }
    }

    // Once no worker runs: every row that was not processed gets the input's pixels.
    void CopyUnprocessedRows() noexcept {
        const std::size_t rowBytes = static_cast<std::size_t>(src.Width()) * 4;
        for (int y = std::min(rowCounter.load(), rowCount); y < rowCount; ++y) {
            std::memcpy(dst.RowWords(y), src.RowWords(y), rowBytes);
        }
        for (const std::atomic<int>& row : rowInHand) {
            if (row.load() >= 0) {
                std::memcpy(dst.RowWords(row.load()), src.RowWords(row.load()), rowBytes);
            }
        }
    }

    // Called inside a catch block: remembers the first failure of the run for the caller.
    void KeepFirstError() {
        if (!workerFailed.exchange(true)) {
            workerError = std::current_exception();
        }
    }

    // Also run on the waiting side for a worker that could not start, so the gate still opens.
    void PrepareShare(int index) {
        if (!fast) {
            return;
        }
        try {
            fast->Prepare(index, kWorkers);
        } catch (...) {
            KeepFirstError();
        }
    }

    void RunWorker(int index, AdaptVariant variant) {
        try {
            PrepareShare(index);
            if (fast) {
                prepareDone.arrive_and_wait();
            }
            ProcessRows(index, variant);
        } catch (...) {
            KeepFirstError();
        }
        {
            const std::lock_guard<std::mutex> lock(doneMutex);
            workerRunning[index].store(false);
        }
        doneCv.notify_all();
    }

    void RowWorker(int index) { RunWorker(index, AdaptVariant::Normal); }
    void RowWorkerLarge(int index) { RunWorker(index, AdaptVariant::Large); }
};

}  // namespace

void CheckRunSettings(const RunSettings& settings) {
    CheckToneParams(settings.params);
    if (settings.divisor < 1) {
        // CalcRadius gives 0 for it, and the literal path divides by the kernel's total.
        throw std::invalid_argument("divisor " + std::to_string(settings.divisor) +
                                    " out of range 1..");
    }
}

ProcessingRun::ProcessingRun() : startThread_(StartStdThread) {}
ProcessingRun::~ProcessingRun() = default;

RunOutcome ProcessingRun::MakeProcessedImage(const WorkingBitmap& source,
                                             int n,
                                             const Rect& panelClient,
                                             const RunSettings& settings,
                                             WorkingBitmap& dst,
                                             RunObserver& observer) {
    CheckRunSettings(settings);
    if (!source.HoldsImage()) {
        return RunOutcome{};
    }
    const Size size = RunTargetSize(source.Width(), source.Height(), n, panelClient);
    if (!ImageSizeAcceptable(size.width, size.height)) {
        // Refused before the scaled copy is made: a target this size would be paged in (or fail)
        // only after seconds of thrashing, and three such bitmaps are held during a run.
        throw std::runtime_error("not enough memory for a " + std::to_string(size.width) + " x " +
                                 std::to_string(size.height) + " image");
    }
    if (size.width == source.Width() && size.height == source.Height()) {
        // A same-size stretch is an exact copy, so the source itself can be the run's input.
        return ProcessBitmap(dst, source, settings, observer);
    }
    const WorkingBitmap scaled =
        ScaleBitmap(source, size.width, size.height, kWorkers, startThread_);
    return ProcessBitmap(dst, scaled, settings, observer);
}

RunOutcome ProcessingRun::ProcessBitmap(WorkingBitmap& dst,
                                        const WorkingBitmap& scaled,
                                        const RunSettings& settings,
                                        RunObserver& observer) {
    CheckRunSettings(settings);
    if (&dst == &scaled) {
        // The workers read the input while they write the output; they must not be one bitmap.
        const WorkingBitmap input = scaled;
        return ProcessBitmap(dst, input, settings, observer);
    }
    const std::uint32_t start = TickCount();

    // The workers write every row they claim, and the rows they leave get the input's pixels
    // at the end, so dst is never copied whole first. A dst of the right size keeps its pixels
    // (no allocation); another is made aside first, so that running out of memory leaves dst
    // as it was.
    if (dst.Width() != scaled.Width() || dst.Height() != scaled.Height()) {
        WorkingBitmap fresh(scaled.Width(), scaled.Height());
        dst = std::move(fresh);
    }
    RunState state(scaled, dst, CalcRadius(scaled, settings.divisor), settings.params);
    // Declared before the threads, so that it runs after they are joined on every way out.
    struct CopyUnprocessed {
        RunState& state;
        ~CopyUnprocessed() { state.CopyUnprocessedRows(); }
    } copyUnprocessed{state};

    RunOutcome outcome;
    outcome.radius = state.radius;
    outcome.rowCount = state.rowCount;
    outcome.largeSizeMode = IsLargeSizeMode(state.radius);
    if (outcome.largeSizeMode) {
        observer.LargeSizeNotice();
    }

    if (engine_ == RunEngine::Fast && state.rowCount > 0 && state.radius > 0) {
        state.fast = std::make_unique<FastAdaptation>(scaled, state.radius, state.params);
    }

    // Declared after state, so on an exception the workers are joined before state goes away;
    // a waiting side that throws cancels first, so they stop after their current row.
    WorkerThreads threads(startThread_);
    threads.SetOnAbandon([&state] { state.cancelRequested.store(true); });
    for (int i = 0; i < kWorkers; ++i) {
        state.workerRunning[i].store(true);
    }
    const bool large = outcome.largeSizeMode;
    threads.Start(kWorkers, [&state, large](int i) {
        if (large) {
            state.RowWorkerLarge(i);
        } else {
            state.RowWorker(i);
        }
    });
    for (int i = 0; i < kWorkers; ++i) {
        if (threads.Started(i)) {
            continue;
        }
        // Never wait for a worker that never ran. Its rows go to the others through the shared
        // row counter; its share of the neighbourhood pass is done here, so the gate opens.
        state.workerRunning[i].store(false);
        if (state.fast) {
            state.PrepareShare(i);
            state.prepareDone.count_down();
        }
    }
    if (threads.NotStarted() == kWorkers && !state.workerFailed.load()) {
        state.ProcessRows(0, large ? AdaptVariant::Large : AdaptVariant::Normal);
    }

    while (state.AnyRunning()) {
        if (observer.Poll(state.rowCounter.load(), state.rowCount)) {
            state.cancelRequested.store(true);
        }
        YieldProcessor();
        // A spinning loop would take a core from the two workers on a two-core machine; the
        // wait ends at once when the last worker is done, so the elapsed time is not padded.
        std::unique_lock<std::mutex> lock(state.doneMutex);
        state.doneCv.wait_for(lock, kPollInterval, [&] { return !state.AnyRunning(); });
    }
    threads.JoinAll();
    state.fast.reset();
    if (state.workerError) {
        std::rethrow_exception(state.workerError);
    }

    outcome.elapsedMs = TickCount() - start;
    outcome.cancelled = state.cancelRequested.load();
    outcome.rowsClaimed = state.rowCounter.load();
    outcome.width = dst.Width();
    outcome.height = dst.Height();
    return outcome;
}

}  // namespace zelqor
