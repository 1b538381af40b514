// Decoding PNG files held in memory into a WorkingBitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "WorkingBitmap.h"

namespace zelqor {

// True when `data` starts with the PNG signature.
bool HasPngSignature(const std::uint8_t* data, std::size_t size);

// Reads every PNG kind (grey, grey with alpha, palette, RGB, RGBA; 1 to 16 bits; interlaced or
// not). Pixels come out B, G, R, 0xFF: 16-bit samples are reduced with rounding, and a picture
// with alpha (an alpha channel or a transparent palette entry or colour) is laid over white, as
// a transparent picture flattened to RGB is expected to look. The file's iCCP profile, if any,
// goes to `iccProfile`. A file that is no PNG, is broken or holds more pixels than
// kMaxImagePixels throws "PNG イメージが不正です" with libpng's words as the reason.
WorkingBitmap DecodePng(const std::uint8_t* data,
                        std::size_t size,
                        std::vector<std::uint8_t>& iccProfile);
// The metadata a PNG carries in the shape every format shares.
struct PngMetadata {
    std::vector<std::uint8_t> icc;  // iCCP, inflated
    // eXIf, a TIFF block; libpng drops one that does not start as a TIFF header (some writers
    // put "Exif\0\0" first), so such a chunk is lost.
    std::vector<std::uint8_t> exif;
    std::vector<std::uint8_t> xmp;  // the iTXt "XML:com.adobe.xmp" packet, inflated
};

// The same, but a file whose end chunk alone is missing is whole, and one cut inside its pixel
// data keeps the rows decoded (the rest grey) and sets `endedEarly`, when given; an interlaced
// one cut after its first pass keeps the passes read, each pixel filling the block it stands
// for. A file cut before its first row, or that is far too small for the picture it declares,
// is refused.
WorkingBitmap DecodePng(const std::uint8_t* data,
                        std::size_t size,
                        std::vector<std::uint8_t>& iccProfile,
                        bool* endedEarly);
// The same with the Exif and XMP chunks as well, before the picture data or after it; what
// follows a cut is lost.
WorkingBitmap DecodePng(const std::uint8_t* data,
                        std::size_t size,
                        PngMetadata& metadata,
                        bool* endedEarly);

// Lays a pixel whose fourth byte is its opacity over white, rounding to nearest.
constexpr std::uint32_t FlattenOnWhite(std::uint32_t pixel) {
    const std::uint32_t a = pixel >> 24;
    const auto mix = [a](std::uint32_t c) { return (c * a + 255 * (255 - a) + 127) / 255; };
    return 0xFF000000u | (mix((pixel >> 16) & 0xFF) << 16) | (mix((pixel >> 8) & 0xFF) << 8) |
           mix(pixel & 0xFF);
}

}  // namespace zelqor
