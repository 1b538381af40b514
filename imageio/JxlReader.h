// Decoding JPEG XL files (bare codestreams and containers) held in memory through libjxl.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DecodedPicture.h"
#include "ImageLimits.h"

namespace zelqor {

inline constexpr const char* kInvalidJxlText = "JPEG XL イメージが不正です";
inline constexpr const char* kJxlAnimationNotice =
    "it is an animation; only its first frame was read";

// True for a bare codestream (FF 0A) and for the container's signature box.
bool HasJxlSignature(const std::uint8_t* data, std::size_t size);

// The first frame, turned as the codestream's orientation says (so the Exif block says
// Orientation 1), with the Exif and XMP boxes (Brotli-compressed ones too) and the profile
// the pixels are in. Alpha is laid over white. A size beyond our limits (`maxPixels` may lower
// the pixel limit) throws the too-large error before pixels are decoded, and so does a header
// declaring more channels than a picture of its size could need (kInvalidJxlText with the
// memory it would take); anything libjxl refuses, a file cut short included, throws
// kInvalidJxlText.
DecodedPicture DecodeJxl(const std::uint8_t* data,
                         std::size_t size,
                         std::uint64_t maxPixels = kMaxImagePixels);
// As stored, the pixels keep the codestream's order and the Exif block's Orientation (where it
// has one) says what the header says.
DecodedPicture DecodeJxl(const std::uint8_t* data,
                         std::size_t size,
                         std::uint64_t maxPixels,
                         OrientationHandling orientation);

}  // namespace zelqor
