// A processing run at the source's own size that starts on rows while the source still arrives.
#pragma once

#include <cstddef>

#include "ProcessingRun.h"
#include "RowGate.h"
#include "WorkerThreads.h"
#include "WorkingBitmap.h"

namespace zelqor {

// ProcessBitmap(dst, src) with the fast engine, while src is being filled: a row is computed
// once `sourceRows` has published every source row its neighbourhood (or its band of the tile
// sums) reaches, and the finished rows of dst are published in order on `doneRows`, so that a
// consumer takes them while later rows still run. dst gets src's size; the finished rows are
// the same pixels ProcessBitmap gives.
//
// src must have its final size before the call, and nobody reads a row of it before it is
// published. When the call returns both gates are closed and every worker has ended. A source
// closed before its last row, a cancel from the observer or a worker's error stop the run: the
// outcome then has fewer rowsClaimed than rowCount, and dst's rows from doneRows' count on are
// unspecified; the worker's error is thrown. Bad settings throw before anything starts.
//
// Either bitmap may be a ring (WorkingBitmap::ResizeRing). The run publishes on
// `rings.sourceReleased` the rows of src below which no row is read any more, so that the source's
// maker may reuse their slots; a ring src must hold at least the rows the run reads at once (the
// span of PlanStreamedRun's sourceRows without its lead), or the run refuses it.
// Before it writes row y of a ring dst the run waits until `rings.resultTaken` (published by
// whoever reads dst) has passed y - dst.RowsHeld(). Both are closed when the call returns.
struct RingGates {
    RowGate* sourceReleased = nullptr;
    RowGate* resultTaken = nullptr;
};

RunOutcome RunStreamed(const WorkingBitmap& src,
                       RowGate& sourceRows,
                       WorkingBitmap& dst,
                       RowGate& doneRows,
                       const RunSettings& settings,
                       RunObserver& observer,
                       const ThreadStarter& starter = StartStdThread,
                       RingGates rings = {});

struct StreamedRunPlan {
    // The rows of the source that the run reads at once plus 64, so that the source's maker
    // works that many rows ahead of the run; a ring of this many rows does not hold the run up.
    // The height where the run needs every row at once.
    int sourceRows = 0;
    std::size_t scratchBytes = 0;  // what the run holds beside its bitmaps (FastAdaptation's)
};
StreamedRunPlan PlanStreamedRun(int width, int height, const RunSettings& settings);

}  // namespace zelqor
