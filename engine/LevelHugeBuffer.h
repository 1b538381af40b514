// Large scratch buffers backed by huge pages where the system grants them.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace zelqor {

struct FreeHugeBuffer {
    void operator()(void* p) const { std::free(p); }
};

// Uninitialised, 2 MB aligned (enough for any SIMD or FFTW alignment); a fresh 100 MB buffer
// otherwise costs tens of thousands of page faults and TLB misses on strided access.
// Throws std::bad_alloc when the memory is not there.
void* AllocateHugeBuffer(std::size_t bytes);

template <typename T>
using HugeBuffer = std::unique_ptr<T[], FreeHugeBuffer>;

template <typename T>
HugeBuffer<T> MakeHugeBuffer(std::size_t count) {
    return HugeBuffer<T>(static_cast<T*>(AllocateHugeBuffer(count * sizeof(T))));
}

}  // namespace zelqor
