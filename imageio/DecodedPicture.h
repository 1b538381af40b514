// What every reader of the newer formats hands back: pixels and metadata in a neutral shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MetadataPieces.h"
#include "WorkingBitmap.h"

namespace zelqor {

struct DecodedPicture {
    WorkingBitmap bitmap;            // B, G, R, 0xFF; alpha already laid over white
    std::vector<std::uint8_t> exif;  // as MetadataPieces::exif
    std::vector<std::uint8_t> xmp;
    std::vector<std::uint8_t> icc;
    // The pixels are as they are meant to be seen although the file stored them otherwise (a
    // rotation, mirror or Orientation tag applied); the Exif block then says Orientation 1, so
    // nothing turns them a second time.
    bool turnedUpright = false;
    // What the user should hear of although the picture loaded, one short sentence each.
    std::vector<std::string> notices;

    MetadataPieces Pieces() const { return {exif, xmp, icc}; }
};

// How a picture whose file says it is to be shown turned (an Exif or TIFF Orientation of 2 to
// 8, a JPEG XL header's orientation) comes in.
enum class OrientationHandling {
    Upright,  // turned as the file says, as every viewer shows it
    AsStored  // the pixels in the order the file stores them, the tag saying how to show them
};

// The longest side any reader takes, as for JPEG.
inline constexpr std::uint64_t kMaxPictureSide = 65500;

// Throws the too-large error unless a width x height picture fits both our limits; `maxPixels`
// may lower the pixel limit (never raise it). Called with the header's sizes before a reader
// takes any pixel memory.
void CheckPictureSize(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels);

// The TIFF block of an Exif payload framed as HEIF and JPEG XL frame it: a 32-bit big-endian
// offset from the end of those four bytes to the TIFF header. Empty when the offset points
// outside the payload or not at a TIFF header.
std::vector<std::uint8_t> ExifAfterOffsetHeader(std::span<const std::uint8_t> payload);
// The TIFF block of a payload that may start with "Exif\0\0" (WebP writers differ); empty when
// what follows is no TIFF header.
std::vector<std::uint8_t> ExifWithoutIdentifier(std::span<const std::uint8_t> payload);
// True when `tiff` starts with a TIFF header in either byte order.
bool StartsWithTiffHeader(std::span<const std::uint8_t> tiff);
// Writes `orientation` (1 to 8) into IFD0's Orientation of a TIFF block, when it has the entry.
void SetOrientation(std::vector<std::uint8_t>& tiff, int orientation);
void SetOrientationUpright(std::vector<std::uint8_t>& tiff);
// A TIFF block with nothing but IFD0's Orientation: how a picture kept in its stored order says
// how to show it when its file had no Exif block to carry that.
std::vector<std::uint8_t> OrientationOnlyExif(int orientation);

// Lays every pixel of `bitmap`, its fourth byte being its opacity, over white.
void FlattenAllOnWhite(WorkingBitmap& bitmap);
// Swaps the first and third byte of every pixel: R, G, B, A as most libraries give them into
// our B, G, R, A.
void SwapRedBlue(WorkingBitmap& bitmap);

}  // namespace zelqor
