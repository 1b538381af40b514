// Monotonic millisecond ticks for elapsed-time reports.
#include "TickCounter.h"

#include <chrono>
#include <thread>

namespace zelqor {

std::uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void YieldProcessor() {
    std::this_thread::yield();
}

}  // namespace zelqor
