// Millisecond tick counter and a processor yield, as a run measures and paces itself.
#pragma once

#include <cstdint>

namespace zelqor {

// Unsigned 32-bit milliseconds from a monotonic clock; callers subtract with wrap-around.
std::uint32_t TickCount();

// A zero-length sleep: gives the processor to another ready thread.
void YieldProcessor();

}  // namespace zelqor
