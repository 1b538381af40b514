// Fuzz target: patching the size tags of an untrusted Exif block in place.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "JpegSegment.h"
#include "MemExif.h"
#include "Stream.h"

namespace {

// A whole JPEG is first cut down to its APP1 payload, so camera files serve as seeds and the
// fuzzer can still mutate a bare block.
std::vector<std::uint8_t> BlockOf(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    if (size < 2 || data[0] != zelqor::kMarkerPrefix || data[1] != zelqor::kMarkerSoi)
        return bytes;
    zelqor::MemoryStream source(std::move(bytes));
    zelqor::MemoryStream block;
    try {
        zelqor::ReadJpegSegmentFromStream(block, source, zelqor::kMarkerApp1);
    } catch (const zelqor::ImageIoError&) {
        // The payloads that were complete are still a block worth patching.
    }
    return block.TakeBytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kSizeBytes = 8;
    if (size < kSizeBytes)
        return 0;
    // Sizes come from the input too: the patch must take any int, negative ones included.
    const auto word = [&](std::size_t at) {
        return static_cast<std::int32_t>((std::uint32_t{data[at]} << 24) |
                                         (std::uint32_t{data[at + 1]} << 16) |
                                         (std::uint32_t{data[at + 2]} << 8) | data[at + 3]);
    };
    const std::int32_t width = word(0);
    const std::int32_t height = word(4);
    const std::vector<std::uint8_t> before = BlockOf(data + kSizeBytes, size - kSizeBytes);

    zelqor::MemoryStream block(before);
    bool patched = false;
    try {
        patched = zelqor::TExifInfo().SetImageSize(block, width, height);
    } catch (const zelqor::ImageIoError&) {
        patched = true;  // a directory past the end; patches made before it may stay
    }
    zelqor::fuzz::Check(block.Bytes().size() == before.size(),
                        "patching never changes the block's length");
    if (!patched)
        zelqor::fuzz::Check(block.Bytes() == before, "a refused block is left untouched");
    return 0;
}
