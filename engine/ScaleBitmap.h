// Resampling of the source to a run's target size: area averaging down, smooth up.
#pragma once

#include "Rect.h"
#include "WorkerThreads.h"
#include "WorkingBitmap.h"

namespace zelqor {

// Box (area-averaging) filter on an axis that shrinks, a linear filter on one that grows and
// an exact copy on one that keeps its length, so a same-size stretch returns the pixels as they
// are. All four bytes are resampled. A zero target gives an empty bitmap.
WorkingBitmap ScaleBitmap(const WorkingBitmap& src, int width, int height, int threads = 2);
// The same with the threads' starter given; a band whose thread never starts is scaled on the
// calling thread, to the same bytes.
WorkingBitmap ScaleBitmap(const WorkingBitmap& src,
                          int width,
                          int height,
                          int threads,
                          const ThreadStarter& starter);

// The pixels inside region of ScaleBitmap(src, width, height), byte for byte, computed without
// the rest: a viewer shows a part of a large reduction without making all of it. The region is
// clipped to the scaled size; an empty one gives an empty bitmap.
WorkingBitmap ScaleBitmapRegion(const WorkingBitmap& src,
                                int width,
                                int height,
                                const Rect& region,
                                int threads = 1,
                                const ThreadStarter& starter = StartStdThread);

// The largest rectangle of the bitmap's aspect ratio inside target, centred, relative to the
// target's top-left corner; empty for an empty bitmap or target.
Rect FitRect(const Rect& target, int bitmapWidth, int bitmapHeight);
inline Rect FitRect(const Rect& target, const WorkingBitmap& bitmap) {
    return FitRect(target, bitmap.Width(), bitmap.Height());
}

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// Target size of a run: long side n for n > 0 (the other rounded half up), else the fit of the
// source into the panel's client rectangle.
Size RunTargetSize(int sourceWidth, int sourceHeight, int n, const Rect& panelClient);

}  // namespace zelqor
