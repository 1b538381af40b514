// Fuzz target: decoding an untrusted BMP file of any header version and compression.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "BmpReader.h"
#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "Stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelqor::WorkingBitmap bitmap;
    bool refused = false;
    try {
        bitmap = zelqor::DecodeBmp(data, size);
    } catch (const zelqor::ImageIoError&) {
        refused = true;
    }
    // A file read a block of rows at a time must give what the whole buffer gives.
    zelqor::MemoryStream file(std::vector<std::uint8_t>(data, data + size));
    try {
        const zelqor::WorkingBitmap streamed = zelqor::DecodeBmp(file);
        zelqor::fuzz::Check(!refused, "a file refused from memory is refused from a stream");
        zelqor::fuzz::Check(streamed == bitmap, "a stream decodes to the same picture");
    } catch (const zelqor::ImageIoError&) {
        zelqor::fuzz::Check(refused, "a file decoded from memory decodes from a stream");
    }
    if (refused)
        return 0;
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
