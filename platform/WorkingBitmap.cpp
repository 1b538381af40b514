// Storage of WorkingBitmap.
#include "WorkingBitmap.h"

namespace zelqor {

void WorkingBitmap::Resize(int width, int height) {
    Allocate(width, height, height, true);
}

void WorkingBitmap::ResizeUnpopulated(int width, int height) {
    Allocate(width, height, height, false);
}

void WorkingBitmap::ResizeRing(int width, int height, int rowsHeld) {
    Allocate(width, height, rowsHeld, false);
}

void WorkingBitmap::Allocate(int width, int height, int rowsHeld, bool populate) {
    if (width <= 0 || height <= 0) {
        width = height = 0;
    }
    if (rowsHeld < 1 || rowsHeld > height) {
        rowsHeld = height;
    }
    width_ = width;
    height_ = height;
    rowsHeld_ = rowsHeld;
    pixels_ =
        PixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(rowsHeld), populate);
}

}  // namespace zelqor
