// The streamed run: two row workers that wait for their source rows and hand on finished rows.
#include "StreamedRun.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "FastAdaptation.h"
#include "Kernel.h"
#include "TickCounter.h"

namespace zelqor {
namespace {

constexpr int kWorkers = ProcessingRun::kWorkers;

// What the run shares with its workers, on the caller's stack for the length of the call.
struct StreamState {
    StreamState(const WorkingBitmap& source,
                RowGate& arrived,
                WorkingBitmap& target,
                RowGate& finished,
                FastAdaptation& adaptation,
                RingGates ringGates)
        : src(source),
          sourceRows(arrived),
          dst(target),
          doneRows(finished),
          fast(adaptation),
          rings(ringGates),
          rowCount(source.Height()),
          rowDone(static_cast<std::size_t>(source.Height()), 0) {}

    const WorkingBitmap& src;
    RowGate& sourceRows;
    WorkingBitmap& dst;
    RowGate& doneRows;
    FastAdaptation& fast;
    const RingGates rings;
    const int rowCount;
    std::latch prepareDone{kWorkers};

    std::atomic<int> rowCounter{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> workerRunning[kWorkers] = {false, false};
    std::mutex doneMutex;  // the finished rows and the waiting loop's wake-up
    std::condition_variable doneCv;
    std::vector<char> rowDone;
    int donePrefix = 0;
    std::exception_ptr workerError;

    bool AnyRunning() const { return workerRunning[0].load() || workerRunning[1].load(); }

    // Wakes everyone who could wait for the other side: the source's maker and the workers.
    void Stop() noexcept {
        stop.store(true);
        sourceRows.Close();
        CloseRings();
    }

    void CloseRings() noexcept {
        for (RowGate* gate : {rings.sourceReleased, rings.resultTaken}) {
            if (gate) {
                gate->Close();
            }
        }
    }

    bool HaveResultSlot(int y) {
        if (WaitForRingSlot(dst, y, rings.resultTaken)) {
            return true;
        }
        Stop();
        return false;
    }

    bool HaveSourceRows(int rows) {
        if (sourceRows.WaitFor(rows) >= rows) {
            return true;
        }
        Stop();
        return false;
    }

    // Rows finish out of order between the two workers; they are handed on in order.
    void FinishRow(int y) {
        int prefix;
        {
            const std::lock_guard<std::mutex> lock(doneMutex);
            rowDone[static_cast<std::size_t>(y)] = 1;
            while (donePrefix < rowCount && rowDone[static_cast<std::size_t>(donePrefix)]) {
                ++donePrefix;
            }
            prefix = donePrefix;
        }
        doneRows.Publish(prefix);
        // Every row from the prefix on reads no lower than the prefix's row does.
        if (rings.sourceReleased) {
            rings.sourceReleased->Publish(prefix == rowCount ? rowCount
                                                             : fast.FirstSourceRowForRow(prefix));
        }
    }

    void ProcessRows() {
        int y = rowCounter.fetch_add(1);
        for (; y < rowCount && !stop.load(); y = rowCounter.fetch_add(1)) {
            if (!HaveSourceRows(fast.SourceRowsForRow(y)) || !HaveResultSlot(y)) {
                return;
            }
            fast.AdaptRow(y, dst.RowWords(y));
            FinishRow(y);
        }
    }

    void KeepFirstError() {
        const std::lock_guard<std::mutex> lock(doneMutex);
        if (!workerError) {
            workerError = std::current_exception();
        }
    }

    // Also run on the waiting side for a worker that could not start, so the gate still opens.
    void PrepareShare(int index) {
        try {
            if (HaveSourceRows(fast.SourceRowsForPrepare())) {
                fast.Prepare(index, kWorkers);
            }
        } catch (...) {
            KeepFirstError();
            Stop();
        }
    }

    void RunWorker(int index) {
        try {
            PrepareShare(index);
            prepareDone.arrive_and_wait();
            ProcessRows();
        } catch (...) {
            KeepFirstError();
            Stop();
        }
        {
            const std::lock_guard<std::mutex> lock(doneMutex);
            workerRunning[index].store(false);
        }
        doneCv.notify_all();
    }
};

}  // namespace

RunOutcome RunStreamed(const WorkingBitmap& src,
                       RowGate& sourceRows,
                       WorkingBitmap& dst,
                       RowGate& doneRows,
                       const RunSettings& settings,
                       RunObserver& observer,
                       const ThreadStarter& starter,
                       RingGates rings) {
    // Declared first, so that the gates close after the workers are joined on every way out.
    struct CloseGates {
        RowGate& a;
        RowGate& b;
        RingGates rings;
        ~CloseGates() {
            for (RowGate* gate : {&a, &b, rings.sourceReleased, rings.resultTaken}) {
                if (gate) {
                    gate->Close();
                }
            }
        }
    } closeGates{sourceRows, doneRows, rings};
    CheckRunSettings(settings);
    const std::uint32_t start = TickCount();
    if (dst.Width() != src.Width() || dst.Height() != src.Height()) {
        WorkingBitmap fresh(src.Width(), src.Height());
        dst = std::move(fresh);
    }
    RunOutcome outcome;
    outcome.radius = CalcRadius(src, settings.divisor);
    outcome.rowCount = src.Height();
    outcome.largeSizeMode = IsLargeSizeMode(outcome.radius);
    if (outcome.largeSizeMode) {
        observer.LargeSizeNotice();
    }
    // Reads only the source's size; its pixels are read by Prepare and AdaptRow.
    FastAdaptation fast(src, outcome.radius, settings.params);
    // Too small a ring would have the source's maker wait for rows that wait for it.
    if (src.RowsHeld() < src.Height() && src.RowsHeld() < fast.SourceRowSpan()) {
        throw std::invalid_argument("source ring too small for the run");
    }
    StreamState state(src, sourceRows, dst, doneRows, fast, rings);

    WorkerThreads threads(starter);
    threads.SetOnAbandon([&state] { state.Stop(); });
    for (int i = 0; i < kWorkers; ++i) {
        state.workerRunning[i].store(true);
    }
    threads.Start(kWorkers, [&state](int i) { state.RunWorker(i); });
    for (int i = 0; i < kWorkers; ++i) {
        if (!threads.Started(i)) {
            // Its rows go to the other worker through the row counter; its share of the
            // neighbourhood pass is done here so that the other is not kept waiting.
            state.workerRunning[i].store(false);
            state.PrepareShare(i);
            state.prepareDone.count_down();
        }
    }
    if (threads.NotStarted() == kWorkers) {
        try {
            state.ProcessRows();
        } catch (...) {
            state.KeepFirstError();
            state.Stop();
        }
    }
    bool cancelled = false;
    while (state.AnyRunning()) {
        if (observer.Poll(state.rowCounter.load(), state.rowCount)) {
            cancelled = true;
            state.Stop();
        }
        YieldProcessor();
        std::unique_lock<std::mutex> lock(state.doneMutex);
        state.doneCv.wait_for(lock, ProcessingRun::kPollInterval,
                              [&] { return !state.AnyRunning(); });
    }
    threads.JoinAll();
    if (state.workerError) {
        std::rethrow_exception(state.workerError);
    }
    outcome.elapsedMs = TickCount() - start;
    outcome.cancelled = cancelled;
    outcome.rowsClaimed = state.donePrefix;
    outcome.width = dst.Width();
    outcome.height = dst.Height();
    return outcome;
}

StreamedRunPlan PlanStreamedRun(int width, int height, const RunSettings& settings) {
    WorkingBitmap probe;  // only its size is read
    probe.ResizeRing(width, height, 1);
    const FastAdaptation fast(probe, CalcRadius(width, height, settings.divisor), settings.params);
    const int span = fast.SourceRowSpan();
    StreamedRunPlan plan;
    plan.sourceRows =
        span >= height ? height
                       : static_cast<int>(std::min<std::int64_t>(height, std::int64_t{span} + 64));
    plan.scratchBytes = fast.ScratchBytes();
    return plan;
}

}  // namespace zelqor
