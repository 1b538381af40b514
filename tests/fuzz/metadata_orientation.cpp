// Fuzz target: what a save does to an untrusted file's metadata once its pixels are turned
// upright: the Exif orientation, the Exif thumbnail turned or dropped, the XMP orientation.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ExifThumbnail.h"
#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "JpegSegment.h"
#include "MemExif.h"
#include "Stream.h"
#include "XmpPacket.h"

namespace {

// A whole JPEG gives its APP1 payloads, so camera files serve as seeds; anything else is one
// payload as it is.
std::vector<std::vector<std::uint8_t>> PayloadsOf(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || data[0] != zelqor::kMarkerPrefix || data[1] != zelqor::kMarkerSoi)
        return {std::vector<std::uint8_t>(data, data + size)};
    zelqor::ByteViewStream source(std::span<const std::uint8_t>(data, size));
    zelqor::SegmentPayloads payloads;
    try {
        zelqor::ReadJpegPayloadsFromStream(payloads, source, zelqor::kMarkerApp1);
    } catch (const zelqor::ImageIoError&) {
    }
    std::vector<std::vector<std::uint8_t>> out;
    for (std::size_t i = 0; i < payloads.Count(); ++i)
        out.emplace_back(payloads.Payload(i).begin(), payloads.Payload(i).end());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (std::vector<std::uint8_t> payload : PayloadsOf(data, size)) {
        const std::size_t length = payload.size();
        const int orientation = zelqor::ReadExifOrientation(payload);
        zelqor::fuzz::Check(orientation >= 0 && orientation <= 8, "an orientation is 0 to 8");
        if (const auto place = zelqor::FindExifThumbnail(payload)) {
            zelqor::fuzz::Check(place->offset <= length && place->length <= length - place->offset,
                                "the thumbnail lies inside its payload");
        }
        // An entry whose value is no orientation is set to 1 as well: nothing turned by it.
        const bool set = zelqor::SetExifOrientationUpright(payload);
        zelqor::fuzz::Check(!orientation || set, "an orientation that reads is one that is set");
        zelqor::fuzz::Check(zelqor::ReadExifOrientation(payload) == (set ? 1 : 0),
                            "an orientation that was set reads 1 afterwards");
        zelqor::TurnExifThumbnailUpright(payload, orientation ? orientation : 6);
        const int xmp = zelqor::ReadXmpOrientation(payload);
        zelqor::SetXmpOrientationUpright(payload);
        zelqor::fuzz::Check(zelqor::ReadXmpOrientation(payload) == (xmp ? 1 : 0),
                            "an XMP orientation that was there reads 1 afterwards");
        zelqor::fuzz::Check(payload.size() == length, "every patch keeps the payload's length");
    }
    return 0;
}
