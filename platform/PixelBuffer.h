// Zero-initialised pixel storage that maps large images in one go.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelqor {

// A fresh 24-megapixel image is 96 MB; faulting it in page by page costs more than decoding a
// fair part of a JPEG. Large buffers are therefore mapped with their pages populated up front
// (and zeroed by the system); small ones come from the heap.
class PixelBuffer {
  public:
    PixelBuffer() = default;
    explicit PixelBuffer(std::size_t count);
    // With `populate` false a large buffer's pages are left to be faulted in (and zeroed) by
    // whichever thread first writes them.
    PixelBuffer(std::size_t count, bool populate);
    ~PixelBuffer();
    PixelBuffer(const PixelBuffer& other);
    PixelBuffer& operator=(const PixelBuffer& other);
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer&& other) noexcept;

    std::uint32_t* data() { return data_; }
    const std::uint32_t* data() const { return data_; }
    std::size_t size() const { return count_; }

    bool operator==(const PixelBuffer& other) const;

  private:
    void Release() noexcept;
    std::uint32_t* data_ = nullptr;
    std::size_t count_ = 0;
    bool mapped_ = false;
};

// Codec libraries allocate whole planes with malloc. The C library's default raises its mapping
// threshold after the first large block is freed, so later planes come from the heap and stay
// with the process once freed: a file's run then sits on top of its decoder's peak. Called once
// at start, before any thread, it keeps every large block mapped and given back when freed.
void GiveLargeBlocksBackWhenFreed() noexcept;

}  // namespace zelqor
