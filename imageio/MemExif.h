// Patching the image-size fields of an in-memory Exif block.
#pragma once

#include <cstdint>
#include <span>

#include "Stream.h"

namespace zelqor {

// True when `payload` begins with the Exif identifier "Exif\0\0", its letters in any case,
// which tells the Exif block apart from the other APP1 payloads (XMP and the like).
bool IsExifPayload(std::span<const std::uint8_t> payload);

class TExifInfo {
  public:
    // Writes `width` and `height` into ImageWidth/ImageLength of IFD0 and PixelXDimension/
    // PixelYDimension of the Exif sub-directory (the first one IFD0 points at), in place, in
    // the block's byte order. Returns false with the block untouched when it has no "Exif\0"
    // identifier or no valid TIFF header, true otherwise. A directory that runs past the end
    // of the block throws the stream read error; patches made before that stay.
    bool SetImageSize(MemoryStream& block, std::int32_t width, std::int32_t height);
};

}  // namespace zelqor
