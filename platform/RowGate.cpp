// The row hand-over between a maker of rows and its waiters.
#include "RowGate.h"

namespace zelqor {

bool RowGate::Publish(int rows) noexcept {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) {
            return false;
        }
        // Two workers may publish their prefixes out of order; the count never goes back.
        if (rows <= published_) {
            return true;
        }
        published_ = rows;
    }
    changed_.notify_all();
    return true;
}

void RowGate::Close() noexcept {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

int RowGate::WaitFor(int rows) noexcept {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return published_ >= rows || closed_; });
    return published_;
}

int RowGate::Published() const noexcept {
    const std::lock_guard<std::mutex> lock(mutex_);
    return published_;
}

bool WaitForRingSlot(const WorkingBitmap& ring, int y, RowGate* released) noexcept {
    const int older = y - ring.RowsHeld() + 1;
    return ring.RowsHeld() == ring.Height() || older <= 0 || released == nullptr ||
           released->WaitFor(older) >= older;
}

}  // namespace zelqor
