// A 32-bit top-down bitmap (bytes blue, green, red, fourth) shared by every layer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PixelBuffer.h"

namespace zelqor {

class WorkingBitmap {
  public:
    WorkingBitmap() = default;
    WorkingBitmap(int width, int height) { Resize(width, height); }

    // Negative sizes are treated as 0 so a bad caller gets an empty bitmap, not a huge allocation.
    void Resize(int width, int height);
    // The same for a bitmap that other threads fill row by row: its pages come in as they are
    // first written, on those threads, instead of all at once here.
    void ResizeUnpopulated(int width, int height);
    // A bitmap of width x height that keeps only its last `rowsHeld` rows (row y in slot
    // y % rowsHeld), for rows that pass through in order: whoever writes row y must know that
    // row y - rowsHeld is no longer read. Fewer than one row or the whole height give a whole
    // bitmap. Pixels start unpopulated, as ResizeUnpopulated's.
    void ResizeRing(int width, int height, int rowsHeld);
    void Clear() { Resize(0, 0); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool HoldsImage() const { return width_ != 0 && height_ != 0; }
    int RowsHeld() const { return rowsHeld_; }
    std::size_t ByteSize() const { return pixels_.size() * 4; }

    std::uint8_t* Row(int y) { return reinterpret_cast<std::uint8_t*>(RowWords(y)); }
    const std::uint8_t* Row(int y) const {
        return reinterpret_cast<const std::uint8_t*>(RowWords(y));
    }
    std::uint32_t* RowWords(int y) { return pixels_.data() + Slot(y) * width_; }
    const std::uint32_t* RowWords(int y) const { return pixels_.data() + Slot(y) * width_; }

    std::uint32_t Pixel(int x, int y) const { return RowWords(y)[x]; }
    void SetPixel(int x, int y, std::uint32_t p) { RowWords(y)[x] = p; }

    std::uint32_t* Data() { return pixels_.data(); }
    const std::uint32_t* Data() const { return pixels_.data(); }

    bool operator==(const WorkingBitmap& o) const = default;

  private:
    std::size_t Slot(int y) const {
        return static_cast<std::size_t>(rowsHeld_ == height_ ? y : y % rowsHeld_);
    }
    int width_ = 0;
    int height_ = 0;
    int rowsHeld_ = 0;
    void Allocate(int width, int height, int rowsHeld, bool populate);
    PixelBuffer pixels_;
};

// Pixel word helpers: red in bits 16..23, green 8..15, blue 0..7, the fourth byte 24..31.
constexpr std::uint32_t MakePixel(int r, int g, int b, int x = 0) {
    return (static_cast<std::uint32_t>(x & 0xFF) << 24) |
           (static_cast<std::uint32_t>(r & 0xFF) << 16) |
           (static_cast<std::uint32_t>(g & 0xFF) << 8) | static_cast<std::uint32_t>(b & 0xFF);
}
constexpr int PixelR(std::uint32_t p) {
    return (p >> 16) & 0xFF;
}
constexpr int PixelG(std::uint32_t p) {
    return (p >> 8) & 0xFF;
}
constexpr int PixelB(std::uint32_t p) {
    return p & 0xFF;
}
constexpr int PixelX(std::uint32_t p) {
    return (p >> 24) & 0xFF;
}

}  // namespace zelqor
