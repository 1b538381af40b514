// The promises every reader of the newer formats keeps, checked on whatever it returned.
#pragma once

#include <cstdint>
#include <exception>

#include "DecodedPicture.h"
#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "MemExif.h"

namespace zelqor::fuzz {

// Large enough for every seed, small enough that a few bytes declaring a huge picture cannot
// turn each input into an out-of-memory report under the sanitizers.
inline constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{1} << 22;

// Runs `decode`; a refusal must be our error with a text, a success a picture within the limit,
// opaque, with an Exif block that is a TIFF block and says upright when the pixels were turned.
template <typename Decode>
void CheckDecoded(Decode decode) {
    DecodedPicture picture;
    try {
        picture = decode();
    } catch (const ImageIoError& e) {
        Check(e.what()[0] != '\0', "a refusal says why");
        return;
    }
    const WorkingBitmap& b = picture.bitmap;
    Check(b.HoldsImage(), "a decoded picture has pixels");
    Check(static_cast<std::uint64_t>(b.Width()) * static_cast<std::uint64_t>(b.Height()) <=
              kFuzzMaxPixels,
          "a decoded picture fits the limit it was given");
    for (int y = 0; y < b.Height(); ++y) {
        for (int x = 0; x < b.Width(); ++x)
            Check(PixelX(b.Pixel(x, y)) == 0xFF, "every decoded pixel is opaque");
    }
    if (!picture.exif.empty()) {
        Check(StartsWithTiffHeader(picture.exif), "the Exif block starts with a TIFF header");
        if (picture.turnedUpright) {
            std::vector<std::uint8_t> framed{'E', 'x', 'i', 'f', 0, 0};
            framed.insert(framed.end(), picture.exif.begin(), picture.exif.end());
            const int orientation = ReadExifOrientation(framed);
            Check(orientation == 0 || orientation == 1, "turned pixels say Orientation 1");
        }
    }
}

}  // namespace zelqor::fuzz
