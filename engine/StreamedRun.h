// A processing run at the source's own size that starts on rows while the source still arrives.
#pragma once

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
RunOutcome RunStreamed(const WorkingBitmap& src,
                       RowGate& sourceRows,
                       WorkingBitmap& dst,
                       RowGate& doneRows,
                       const RunSettings& settings,
                       RunObserver& observer,
                       const ThreadStarter& starter = StartStdThread);

}  // namespace zelqor
