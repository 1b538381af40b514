// Fuzz target: the marker walk that collects one kind of segment from an untrusted JPEG stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "JpegSegment.h"
#include "Stream.h"

// The last byte picks the marker, so a whole JPEG file is a usable seed as it is.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t marker = data[size - 1];
    zelqor::MemoryStream source(std::vector<std::uint8_t>(data, data + size - 1));
    zelqor::MemoryStream block;
    try {
        zelqor::ReadJpegSegmentFromStream(block, source, marker);
    } catch (const zelqor::ImageIoError&) {
        // A payload that runs past the end is refused this way; what was collected stays.
    }
    // Every byte collected is a payload byte of the source, each read once.
    zelqor::fuzz::Check(block.Size() <= static_cast<std::int64_t>(size - 1),
                        "the block holds no more than the source");
    // The same walk keeping each payload apart, as a load collects metadata.
    zelqor::SegmentPayloads payloads;
    source.SetPosition(0);
    try {
        zelqor::ReadJpegPayloadsFromStream(payloads, source, marker);
    } catch (const zelqor::ImageIoError&) {
    }
    zelqor::fuzz::Check(payloads.bytes == block.Bytes(), "both walks collect the same bytes");
    return 0;
}
