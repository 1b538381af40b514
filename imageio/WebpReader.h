// Decoding WebP files (lossy, lossless, animated) held in memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DecodedPicture.h"
#include "ImageLimits.h"

namespace zelqor {

inline constexpr const char* kInvalidWebpText = "WebP イメージが不正です";
inline constexpr const char* kWebpAnimationNotice =
    "it is an animation; only its first frame was read";

// True when `data` starts as a WebP file does: "RIFF", a size, "WEBP".
bool HasWebpSignature(const std::uint8_t* data, std::size_t size);

// The picture (an animation's first frame, with a notice) with its EXIF, XMP and ICCP chunks.
// Pixels are decoded straight into the bitmap; alpha is laid over white. A canvas beyond our
// size limits (`maxPixels` may lower the pixel limit) throws the too-large error before any
// pixel memory is taken; anything libwebp cannot decode throws kInvalidWebpText.
DecodedPicture DecodeWebp(const std::uint8_t* data,
                          std::size_t size,
                          std::uint64_t maxPixels = kMaxImagePixels);

}  // namespace zelqor
