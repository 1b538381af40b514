// The metadata every writer takes, in no one container's framing.
#pragma once

#include <cstdint>
#include <span>

namespace zelqor {

// The metadata a writer can carry, each piece whole and in no one container's framing.
struct MetadataPieces {
    std::span<const std::uint8_t> exif;  // a TIFF block ("II*\0" or "MM\0*"), no "Exif\0\0"
    std::span<const std::uint8_t> xmp;   // the XMP packet as UTF-8 bytes
    std::span<const std::uint8_t> icc;   // the ICC profile
};

}  // namespace zelqor
