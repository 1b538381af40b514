// Fuzz target: decoding an untrusted BMP file of any header version and compression.
#include <cstddef>
#include <cstdint>

#include "BmpReader.h"
#include "FuzzCheck.h"
#include "ImageIoError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelqor::WorkingBitmap bitmap;
    try {
        bitmap = zelqor::DecodeBmp(data, size);
    } catch (const zelqor::ImageIoError&) {
        return 0;
    }
    zelqor::fuzz::Check(bitmap.Width() > 0 && bitmap.Height() > 0, "a decoded bitmap has pixels");
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(bitmap.Width()) * static_cast<std::uint64_t>(bitmap.Height());
    zelqor::fuzz::Check(pixels <= zelqor::kMaxBmpPixels, "a decoded bitmap fits the limit");
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x)
            zelqor::fuzz::Check(zelqor::PixelX(bitmap.Pixel(x, y)) == 0xFF,
                                "every decoded pixel is opaque");
    }
    return 0;
}
