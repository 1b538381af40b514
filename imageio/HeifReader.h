// Decoding HEIF/HEIC and AVIF files held in memory through libheif.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DecodedPicture.h"
#include "ImageLimits.h"

namespace zelqor {

inline constexpr const char* kInvalidHeifText = "HEIF イメージが不正です";
inline constexpr const char* kHeifSequenceReason =
    "the file holds only an image sequence (a moving picture), no still image";
inline constexpr const char* kHeifHdrReason =
    "HDR pictures (PQ or HLG transfer) cannot be read yet";

// True when `data` starts with an ISO box "ftyp" naming a HEIF brand (heic, heix, mif1, ...)
// and no AVIF brand.
bool HasHeifSignature(const std::uint8_t* data, std::size_t size);
// True when the "ftyp" box names an AVIF brand (avif, avis).
bool HasAvifSignature(const std::uint8_t* data, std::size_t size);

// The primary image of the file, grid images assembled and its rotation, mirror and crop
// applied (so the Exif block says Orientation 1), with its Exif and XMP items and its ICC
// profile; an nclx colour description without one becomes an equivalent ICC profile. More than
// 8 bits are reduced with rounding, alpha is laid over white. Sizes beyond our limits
// (`maxPixels` may lower the pixel limit) throw the too-large error before decoding; a file
// with only an image sequence, HDR content and anything libheif refuses throw kInvalidHeifText
// with the reason.
DecodedPicture DecodeHeif(const std::uint8_t* data,
                          std::size_t size,
                          std::uint64_t maxPixels = kMaxImagePixels);

}  // namespace zelqor
