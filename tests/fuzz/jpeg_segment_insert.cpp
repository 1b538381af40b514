// Fuzz target: the writer that puts a block into a JPEG as segments after SOI, read back again.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "JpegSegment.h"
#include "Stream.h"

namespace {

// APP0..APP15 and COM: the segments a caller may ask for. Other codes (SOS, RSTn, SOI) would
// make a block that no reader could take back, which the writer does not promise to refuse.
std::uint8_t PickMarker(std::uint8_t selector) {
    constexpr std::uint8_t kCom = 0xFE;
    const int pick = selector % 17;
    return pick == 16 ? kCom : static_cast<std::uint8_t>(zelqor::kMarkerApp0 + pick);
}

}  // namespace

// Layout from the end, so that a JPEG file is a usable seed as it is: the last byte picks the
// marker, the three before it give the payload's length, the payload precedes them and the
// JPEG source is everything in front.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kTrailer = 4;
    if (size < kTrailer)
        return 0;
    const std::uint8_t* trailer = data + size - kTrailer;
    const std::uint8_t marker = PickMarker(trailer[3]);
    const std::size_t rest = size - kTrailer;
    const std::size_t wanted =
        (std::size_t{trailer[0]} << 16) | (std::size_t{trailer[1]} << 8) | trailer[2];
    const std::size_t payloadSize = wanted % (rest + 1);
    const std::uint8_t* payload = data + rest - payloadSize;

    zelqor::MemoryStream source(std::vector<std::uint8_t>(data, payload));
    zelqor::MemoryStream dest;
    bool reachedScan = false;
    try {
        reachedScan = zelqor::InsertJpegSegment(dest, source, payload, payloadSize, marker);
    } catch (const zelqor::ImageIoError&) {
        return 0;  // a segment that runs past the end of the source
    }
    if (!reachedScan)
        return 0;

    // A finished file must give back exactly the block that went in, however it was split.
    dest.SetPosition(0);
    zelqor::MemoryStream block;
    bool readBack = false;
    try {
        readBack = zelqor::ReadJpegSegmentFromStream(block, dest, marker);
    } catch (const zelqor::ImageIoError&) {
        zelqor::fuzz::Check(false, "a written file reads without a stream error");
    }
    zelqor::fuzz::Check(readBack, "the walk over a written file reaches SOS");
    zelqor::fuzz::Check(block.Bytes() == std::vector<std::uint8_t>(payload, payload + payloadSize),
                        "the segments read back are the block written");
    return 0;
}
