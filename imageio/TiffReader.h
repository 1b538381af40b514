// Decoding TIFF files held in memory: the first page, every layout and compression libtiff reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DecodedPicture.h"
#include "ImageLimits.h"

namespace zelqor {

inline constexpr const char* kInvalidTiffText = "TIFF イメージが不正です";
inline constexpr const char* kTiffMorePagesNotice =
    "the file holds more than one page; only the first was read";

// True when `data` starts with a TIFF or BigTIFF header in either byte order.
bool HasTiffSignature(const std::uint8_t* data, std::size_t size);

// The first page (a notice when there are more): 1 to 16 bits, grey, RGB, palette, CMYK
// (through its ICC profile like a CMYK JPEG), YCbCr and the other kinds libtiff converts,
// strips or tiles, contiguous or planar; 32-bit floating point clamped to 0..1. Samples over
// 8 bits are reduced with rounding, alpha is laid over white and the Orientation tag applied
// (unless the stored order is asked for: then the Exif block keeps the tag as it was).
// Exif is IFD0's descriptive tags with the Exif and GPS directories; XMP is tag 700, the
// profile tag 34675. A size beyond our limits (`maxPixels` may lower the pixel limit) throws
// the too-large error before pixels are read; a directory chain that loops and anything
// libtiff refuses throw kInvalidTiffText with the reason.
DecodedPicture DecodeTiff(const std::uint8_t* data,
                          std::size_t size,
                          std::uint64_t maxPixels = kMaxImagePixels);
DecodedPicture DecodeTiff(const std::uint8_t* data,
                          std::size_t size,
                          std::uint64_t maxPixels,
                          OrientationHandling orientation);

}  // namespace zelqor
