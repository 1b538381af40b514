// Patching the image-size fields of an in-memory Exif block.
#pragma once

#include <cstdint>
#include <span>

#include "Stream.h"

namespace zelqor {

// True when `payload` begins with the Exif identifier "Exif\0\0", its letters in any case,
// which tells the Exif block apart from the other APP1 payloads (XMP and the like).
bool IsExifPayload(std::span<const std::uint8_t> payload);

// IFD0's Orientation tag of an Exif payload: 1 to 8, or 0 when the payload has no readable tag
// (no Exif header, no such entry, a type other than SHORT or a value outside 1 to 8).
int ReadExifOrientation(std::span<const std::uint8_t> payload);
// Writes 1 (stored upright) into IFD0's Orientation entry in place, in the payload's byte
// order, once the pixels have been turned: no viewer may turn them a second time. A payload
// without the entry is left alone (false), as is every other byte.
bool SetExifOrientationUpright(std::span<std::uint8_t> payload);
// The same with any orientation of 1 to 8 (false for others).
bool SetExifOrientation(std::span<std::uint8_t> payload, int orientation);

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
