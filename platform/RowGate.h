// Rows handed over in order from the thread that makes them to the threads that wait for them.
#pragma once

#include <condition_variable>
#include <mutex>

#include "WorkingBitmap.h"

namespace zelqor {

// A count of finished rows that only grows, and a close that ends every wait. What the maker
// wrote into the rows below a count before publishing it is seen by every thread that WaitFor
// has given that count to; rows at and above it are never to be read.
class RowGate {
  public:
    // Rows below `rows` are final. False once the gate is closed: nobody wants more rows.
    bool Publish(int rows) noexcept;
    // No more rows come, or none are wanted any more; wakes every waiter. Idempotent.
    void Close() noexcept;
    // Blocks until at least `rows` rows are published or the gate is closed; returns the rows
    // published, which is less than asked only when the gate was closed first.
    int WaitFor(int rows) noexcept;
    int Published() const noexcept;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int published_ = 0;
    bool closed_ = false;
};

// Row y of a ring bitmap (WorkingBitmap::ResizeRing) takes the slot of row y - RowsHeld(): waits
// until `released` has passed that row, so its readers have let it go. False when the gate
// closed first; true at once for a whole bitmap, a row whose slot is still unused, or no gate.
bool WaitForRingSlot(const WorkingBitmap& ring, int y, RowGate* released) noexcept;

}  // namespace zelqor
