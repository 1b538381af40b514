// Heap or populated-mapping storage for pixels.
#include "PixelBuffer.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace zelqor {
namespace {

constexpr std::size_t kMapFromBytes = std::size_t{8} << 20;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t RoundUpToPage(std::size_t bytes) {
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// A mapping of `bytes` that starts on a huge-page boundary and asks for huge pages, so that a
// photo's worth of pixels costs a few dozen faults instead of tens of thousands.
void* MapPixels(std::size_t bytes, bool populate) {
    const std::size_t span = bytes + kHugePage;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return MAP_FAILED;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start) {
        munmap(raw, aligned - start);
    }
    // The tail must start on a page: munmap refuses any other address, and the unused end of
    // the huge page would then stay mapped for the life of the process.
    const std::uintptr_t end = start + span;
    const std::uintptr_t used = aligned + RoundUpToPage(bytes);
    if (end > used) {
        munmap(reinterpret_cast<void*>(used), end - used);
    }
    void* p = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    if (populate) {
        madvise(p, bytes, MADV_POPULATE_WRITE);
    }
#else
    (void)populate;
#endif
    return p;
}

}  // namespace

PixelBuffer::PixelBuffer(std::size_t count) : PixelBuffer(count, true) {}

PixelBuffer::PixelBuffer(std::size_t count, bool populate) : count_(count) {
    if (count == 0) {
        return;
    }
    if (count > SIZE_MAX / sizeof(std::uint32_t)) {
        throw std::bad_alloc();
    }
    const std::size_t bytes = count * sizeof(std::uint32_t);
    if (bytes >= kMapFromBytes) {
        void* p = MapPixels(bytes, populate);
        if (p != MAP_FAILED) {
            data_ = static_cast<std::uint32_t*>(p);
            mapped_ = true;
            return;
        }
    }
    data_ = static_cast<std::uint32_t*>(std::calloc(count, sizeof(std::uint32_t)));
    if (data_ == nullptr) {
        count_ = 0;
        throw std::bad_alloc();
    }
}

PixelBuffer::~PixelBuffer() {
    Release();
}

void PixelBuffer::Release() noexcept {
    if (data_ != nullptr) {
        if (mapped_) {
            munmap(data_, count_ * sizeof(std::uint32_t));
        } else {
            std::free(data_);
        }
    }
    data_ = nullptr;
    count_ = 0;
    mapped_ = false;
}

PixelBuffer::PixelBuffer(const PixelBuffer& other) : PixelBuffer(other.count_) {
    if (count_ != 0) {
        std::memcpy(data_, other.data_, count_ * sizeof(std::uint32_t));
    }
}

PixelBuffer& PixelBuffer::operator=(const PixelBuffer& other) {
    if (this == &other) {
        return *this;
    }
    if (count_ != other.count_) {
        PixelBuffer fresh(other);
        *this = std::move(fresh);
    } else if (count_ != 0) {
        std::memcpy(data_, other.data_, count_ * sizeof(std::uint32_t));
    }
    return *this;
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      count_(std::exchange(other.count_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        count_ = std::exchange(other.count_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

bool PixelBuffer::operator==(const PixelBuffer& other) const {
    return count_ == other.count_ &&
           (count_ == 0 || std::memcmp(data_, other.data_, count_ * sizeof(std::uint32_t)) == 0);
}

void GiveLargeBlocksBackWhenFreed() noexcept {
    // Blocks of a megabyte and more are few (planes, coefficient buffers), so a fresh mapping
    // for each costs nothing measurable.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}

}  // namespace zelqor
