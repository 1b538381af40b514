// Fuzz target: decoding an untrusted BMP file of any header version and compression.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "BmpReader.h"
#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "Stream.h"

namespace {

// A few bytes of RLE may declare a picture of up to kMaxBmpPixels (a 1 GiB bitmap), which the
// decoder accepts and fills black; two of them (memory and stream) and the seconds that takes
// under the sanitizers would turn every such input into an out-of-memory or a timeout report.
constexpr std::uint64_t kFuzzDecodePixels = std::uint64_t{1} << 22;

std::int64_t Little(const std::uint8_t* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return bytes == 2 ? static_cast<std::int64_t>(v)
                      : static_cast<std::int64_t>(static_cast<std::int32_t>(v));
}

// The pixel count the header declares, read both as the 16-bit sizes of the oldest header and
// as the signed 32-bit sizes of the others, whichever is larger; 0 when the file is too short.
std::uint64_t DeclaredPixels(const std::uint8_t* data, std::size_t size, bool& infoHeader) {
    constexpr std::size_t kSizes = 18;
    infoHeader = false;
    if (size < kSizes + 8)
        return 0;
    const std::int64_t headerSize = Little(data + 14, 4);
    infoHeader = headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
                 headerSize == 124;
    const auto magnitude = [](std::int64_t v) {
        return static_cast<std::uint64_t>(v < 0 ? -v : v);
    };
    const std::uint64_t core =
        magnitude(Little(data + kSizes, 2)) * magnitude(Little(data + 20, 2));
    const std::uint64_t info =
        magnitude(Little(data + kSizes, 4)) * magnitude(Little(data + 22, 4));
    return infoHeader ? info : std::max(core, info);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bool infoHeader = false;
    const std::uint64_t declared = DeclaredPixels(data, size, infoHeader);
    if (infoHeader && declared > zelqor::kMaxBmpPixels) {
        // Refused before any pixel memory is taken, so this stays cheap.
        bool refused = false;
        try {
            zelqor::DecodeBmp(data, size);
        } catch (const zelqor::ImageIoError&) {
            refused = true;
        }
        zelqor::fuzz::Check(refused, "a file declaring more pixels than the limit is refused");
        return 0;
    }
    if (declared > kFuzzDecodePixels)
        return 0;

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
