// Fuzz target: decoding an untrusted PNG file, whole, cut short or corrupt, from memory.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DecodedChecks.h"
#include "ImageIoError.h"
#include "ImageLimits.h"
#include "PngReader.h"

namespace {

std::uint32_t Big(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

// One walk over the whole chunks: the sides in the first IHDR chunk, which libpng takes even
// after unknown chunks (0 x 0 without one, and such a file is refused before any pixel memory
// is taken), and a copy with each chunk's checksum made right: libpng refuses a chunk whose
// checksum is wrong before it looks inside, so almost every mutation would end there.
struct Chunks {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> fixed;
};

Chunks Walk(const std::uint8_t* data, std::size_t size) {
    Chunks chunks{0, 0, std::vector<std::uint8_t>(data, data + size)};
    bool sides = false;
    for (std::size_t at = 8; at + 12 <= size;) {
        const std::uint64_t length = Big(data + at);
        if (length > size - at - 12)
            break;
        if (!sides && length >= 8 && std::equal(data + at + 4, data + at + 8, "IHDR")) {
            chunks.width = Big(data + at + 8);
            chunks.height = Big(data + at + 12);
            sides = true;
        }
        const auto crc =
            static_cast<std::uint32_t>(crc32(0, data + at + 4, static_cast<uInt>(length + 4)));
        for (int i = 0; i < 4; ++i)
            chunks.fixed[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
    return chunks;
}

void CheckDecode(const std::uint8_t* data,
                 std::size_t size,
                 std::uint32_t width,
                 std::uint32_t height) {
    const std::uint64_t declared = std::uint64_t{width} * height;
    // A deflate stream's expansion lets a file of the fuzzer's length declare far more pixels
    // than the sanitizers can fill in time; only those beyond the program's limit stay cheap.
    if (declared > zelqor::fuzz::kFuzzMaxPixels && declared <= zelqor::kMaxImagePixels)
        return;

    std::vector<std::uint8_t> profile;
    bool endedEarly = true;
    zelqor::WorkingBitmap bitmap;
    try {
        bitmap = zelqor::DecodePng(data, size, profile, &endedEarly);
    } catch (const zelqor::ImageIoError& e) {
        zelqor::fuzz::Check(e.Text() == std::string(zelqor::kInvalidPngText),
                            "a refused PNG says it is an invalid PNG");
        zelqor::fuzz::Check(!e.Reason().empty(), "a refusal says why");
        return;
    }
    zelqor::fuzz::Check(declared <= zelqor::kMaxImagePixels, "a picture over the limit is refused");
    zelqor::fuzz::Check(static_cast<std::uint32_t>(bitmap.Width()) == width &&
                            static_cast<std::uint32_t>(bitmap.Height()) == height,
                        "a decoded picture has the sides its header declares");
    // Rows no pass reached would still be zero, transparent black, in a picture without alpha.
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x)
            zelqor::fuzz::Check(zelqor::PixelX(bitmap.Pixel(x, y)) == 0xFF,
                                "every decoded pixel is opaque");
    }
    std::vector<std::uint8_t> again;
    const zelqor::WorkingBitmap quiet = zelqor::DecodePng(data, size, again);
    zelqor::fuzz::Check(quiet == bitmap && again == profile,
                        "a decode without the notice gives the same picture");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Chunks chunks = Walk(data, size);
    CheckDecode(data, size, chunks.width, chunks.height);
    if (!std::equal(chunks.fixed.begin(), chunks.fixed.end(), data))
        CheckDecode(chunks.fixed.data(), chunks.fixed.size(), chunks.width, chunks.height);
    return 0;
}
