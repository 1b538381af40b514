// Huge-page scratch allocation.
#include "LevelHugeBuffer.h"

#include <sys/mman.h>

#include <new>

namespace zelqor {

void* AllocateHugeBuffer(std::size_t bytes) {
    constexpr std::size_t kHugePage = std::size_t{1} << 21;
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = std::aligned_alloc(kHugePage, rounded == 0 ? kHugePage : rounded);
    if (!p) {
        throw std::bad_alloc();
    }
#ifdef MADV_HUGEPAGE
    // Only advice: without it the buffer still works, on small pages.
    madvise(p, rounded, MADV_HUGEPAGE);
#endif
    return p;
}

}  // namespace zelqor
