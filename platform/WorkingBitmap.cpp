// Storage of WorkingBitmap.
#include "WorkingBitmap.h"

namespace zelqor {

void WorkingBitmap::Resize(int width, int height) {
    if (width <= 0 || height <= 0) {
        width = height = 0;
    }
    width_ = width;
    height_ = height;
    pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
    if (width_ == 0) {
        pixels_.shrink_to_fit();
    }
}

}  // namespace zelqor
