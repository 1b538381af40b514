// Storage of WorkingBitmap.
#include "WorkingBitmap.h"

namespace zelqor {

void WorkingBitmap::Resize(int width, int height) {
    Allocate(width, height, true);
}

void WorkingBitmap::ResizeUnpopulated(int width, int height) {
    Allocate(width, height, false);
}

void WorkingBitmap::Allocate(int width, int height, bool populate) {
    if (width <= 0 || height <= 0) {
        width = height = 0;
    }
    width_ = width;
    height_ = height;
    pixels_ =
        PixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), populate);
}

}  // namespace zelqor
