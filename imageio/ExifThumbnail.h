// The JPEG thumbnail an Exif block carries in its second directory (IFD1), found, and turned
// with its picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zelqor {

// Where the thumbnail lies in an Exif payload ("Exif\0\0" and the TIFF structure), and the fields
// that point at it, as payload offsets; every one checked against the payload.
struct ExifThumbnailPlace {
    std::size_t offset = 0;  // the thumbnail's JPEG
    std::size_t length = 0;
    std::size_t lengthField = 0;  // JPEGInterchangeFormatLength's value
    bool lengthIsShort = false;
    std::size_t directoryLink = 0;  // IFD0's link to IFD1
};
std::optional<ExifThumbnailPlace> FindExifThumbnail(std::span<const std::uint8_t> payload);

// The thumbnail's JPEG bytes; empty when the payload has none.
std::span<const std::uint8_t> ExifThumbnailJpeg(std::span<const std::uint8_t> payload);

enum class ThumbnailFate { Untouched, Turned, Dropped };
// Once the picture has been turned upright from `orientation` (2 to 8), its thumbnail must be
// too, or a viewer shows it sideways. The turned thumbnail is encoded into the room of the old
// one (its length field set, the rest of the room zero); one that does not fit at a fair quality,
// or does not decode, is unlinked from IFD0 so that no reader finds it. The payload keeps its
// length either way.
ThumbnailFate TurnExifThumbnailUpright(std::span<std::uint8_t> payload, int orientation);

}  // namespace zelqor
