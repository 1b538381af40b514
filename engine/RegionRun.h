// One rectangle of a full-size run's result, computed from the source around it only.
#pragma once

#include <atomic>

#include "FastAdaptation.h"
#include "ProcessingRun.h"
#include "Rect.h"
#include "WorkingBitmap.h"

namespace zelqor {

// Makes out region's size and fills it with exactly the pixels that a full-size run of source
// with settings has inside region (right and bottom exclusive): the radius, the kernel's reach
// and the window totals are the whole source's. Only the source within the radius of region is
// read; on the transform path only the tiles covering region are computed. `threads` share the
// rows. Returns false, with out unspecified, when cancel was set before the last row; cancel is
// read between rows. Throws as CheckRunSettings does and std::invalid_argument("region outside
// the source") for a region not inside source, before out is touched; an empty region gives an
// empty out.
bool ProcessRegion(const WorkingBitmap& source,
                   const Rect& region,
                   const RunSettings& settings,
                   WorkingBitmap& out,
                   int threads = 1,
                   const std::atomic<bool>* cancel = nullptr,
                   const FastAdaptationOptions& options = {});

}  // namespace zelqor
