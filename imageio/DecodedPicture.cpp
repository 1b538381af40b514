// The size check and the Exif framings shared by the readers of the newer formats.
#include "DecodedPicture.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "ImageIoError.h"
#include "ImageLimits.h"
#include "MemExif.h"
#include "Orientation.h"
#include "PngReader.h"

namespace zelqor {

namespace {

constexpr std::uint8_t kExifIdentifier[] = {'E', 'x', 'i', 'f', 0, 0};

int clampedSide(std::uint64_t side) {
    return static_cast<int>(std::min<std::uint64_t>(side, INT_MAX));
}

}  // namespace

void CheckPictureSize(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) {
    const std::uint64_t limit = std::min(maxPixels, kMaxImagePixels);
    // Both sides are at most 2^32 here, so the product cannot wrap.
    const bool sidesFit = width <= kMaxPictureSide && height <= kMaxPictureSide;
    if (width == 0 || height == 0 || !sidesFit || width * height > limit)
        throw ImageIoError(ImageTooLargeText(clampedSide(width), clampedSide(height)));
}

bool StartsWithTiffHeader(std::span<const std::uint8_t> tiff) {
    if (tiff.size() < 8)
        return false;
    return (tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 0x2A && tiff[3] == 0) ||
           (tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 0x2A);
}

std::vector<std::uint8_t> ExifAfterOffsetHeader(std::span<const std::uint8_t> payload) {
    if (payload.size() < 4)
        return {};
    const std::uint64_t offset =
        (std::uint64_t{payload[0]} << 24) | (payload[1] << 16) | (payload[2] << 8) | payload[3];
    if (offset > payload.size() - 4)
        return {};
    const std::span<const std::uint8_t> tiff = payload.subspan(4 + offset);
    if (!StartsWithTiffHeader(tiff))
        return {};
    return {tiff.begin(), tiff.end()};
}

std::vector<std::uint8_t> ExifWithoutIdentifier(std::span<const std::uint8_t> payload) {
    if (IsExifPayload(payload))
        payload = payload.subspan(sizeof kExifIdentifier);
    if (!StartsWithTiffHeader(payload))
        return {};
    return {payload.begin(), payload.end()};
}

void SetOrientation(std::vector<std::uint8_t>& tiff, int orientation) {
    // The Exif helpers read the block as a JPEG carries it, behind its identifier.
    std::vector<std::uint8_t> framed(std::begin(kExifIdentifier), std::end(kExifIdentifier));
    framed.insert(framed.end(), tiff.begin(), tiff.end());
    if (SetExifOrientation(framed, orientation))
        std::copy(framed.begin() + sizeof kExifIdentifier, framed.end(), tiff.begin());
}

void SetOrientationUpright(std::vector<std::uint8_t>& tiff) {
    SetOrientation(tiff, kOrientationUpright);
}

std::vector<std::uint8_t> OrientationOnlyExif(int orientation) {
    const auto value = static_cast<std::uint8_t>(orientation);
    return {'I',  'I',  42, 0, 8, 0, 0, 0,                  // little-endian header, IFD0 at 8
            1,    0,                                        // one entry:
            0x12, 0x01, 3,  0, 1, 0, 0, 0, value, 0, 0, 0,  // Orientation, SHORT, 1 value
            0,    0,    0,  0};                             // no next IFD
}

void FlattenAllOnWhite(WorkingBitmap& bitmap) {
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint32_t* row = bitmap.RowWords(y);
        for (int x = 0; x < bitmap.Width(); ++x)
            row[x] = FlattenOnWhite(row[x]);
    }
}

void SwapRedBlue(WorkingBitmap& bitmap) {
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint32_t* row = bitmap.RowWords(y);
        for (int x = 0; x < bitmap.Width(); ++x) {
            const std::uint32_t p = row[x];
            row[x] = (p & 0xFF00FF00u) | ((p >> 16) & 0xFF) | ((p & 0xFF) << 16);
        }
    }
}

}  // namespace zelqor
