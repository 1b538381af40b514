// Storage of WorkingBitmap.
#include "WorkingBitmap.h"

namespace zelqor {

void WorkingBitmap::Resize(int width, int height) {
    if (width <= 0 || height <= 0) {
        width = height = 0;
    }
    width_ = width;
    height_ = height;
    pixels_ = PixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
}

}  // namespace zelqor
