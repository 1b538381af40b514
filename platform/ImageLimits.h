// The largest picture any path of the program takes in, and the check for it.
#pragma once

#include <cstdint>

namespace zelqor {

// 2^28 pixels: a 1 GiB bitmap, held two or three times over while a run works. Every decoder
// refuses more before it allocates; other sources of pictures (the clipboard) check with
// ImageSizeAcceptable and refuse with ImageTooLargeText (ImageIoError.h).
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 28;

// False for a negative side and for more pixels than kMaxImagePixels.
constexpr bool ImageSizeAcceptable(int width, int height) {
    return width >= 0 && height >= 0 &&
           static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <=
               kMaxImagePixels;
}

}  // namespace zelqor
