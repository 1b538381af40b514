// Fuzz target: the cut of a JPEG at a restart marker, and the glance that decodes its halves.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "JpegCodec.h"
#include "JpegRestartSplit.h"
#include "Stream.h"

namespace {

// As in jpeg_decode: larger pictures fill memory rather than reach new code.
constexpr std::uint64_t kFuzzDecodePixels = std::uint64_t{1} << 22;

bool FileIsClean(const zelqor::JpegDecodeNotes& notes) {
    return !notes.endedEarly && notes.damage.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<zelqor::JpegRestartSplit> split = zelqor::FindRestartSplit(data, size);
    if (split) {
        const auto u16 = [data](std::size_t at) { return (data[at] << 8) | data[at + 1]; };
        zelqor::fuzz::Check(split->heightField + 4 <= split->scanData &&
                                split->scanData <= split->cut && split->cut + 2 <= size,
                            "the cut lies in the scan data, after the header it was read from");
        zelqor::fuzz::Check(data[split->cut] == 0xFF && data[split->cut + 1] == 0xD7,
                            "the cut is at an RST7 marker");
        zelqor::fuzz::Check(u16(split->heightField) == split->height && split->topHeight > 0 &&
                                split->topHeight < split->height,
                            "both halves keep rows of the header's height");
    }
    zelqor::JpegSize header;
    try {
        header = zelqor::ReadJpegSize(data, size);
    } catch (const zelqor::ImageIoError&) {
        return 0;
    }
    if (static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.height) >
        kFuzzDecodePixels)
        return 0;

    // The input's length picks the scale, as in jpeg_decode.
    const int divisor = 1 << (size % 4);
    zelqor::JpegDecodeOptions options;
    options.atLeastWidth = (header.width + divisor - 1) / divisor;
    options.atLeastHeight = (header.height + divisor - 1) / divisor;
    zelqor::JpegDecodeNotes wholeNotes;
    zelqor::WorkingBitmap whole;
    bool wholeDecoded = true;
    try {
        whole = zelqor::DecodeJpeg(data, size, options, zelqor::WorkingBitmap(), &wholeNotes);
    } catch (const zelqor::ImageIoError&) {
        wholeDecoded = false;
    }
    options.glance = true;
    zelqor::ByteViewStream stream(std::span<const std::uint8_t>(data, size));
    zelqor::WorkingBitmap glance;
    try {
        glance = zelqor::DecodeJpeg(stream, options);
    } catch (const zelqor::ImageIoError&) {
        zelqor::fuzz::Check(!wholeDecoded, "a file that decodes whole can be glanced at");
        return 0;
    }
    if (!wholeDecoded)
        return 0;  // a glance may stop before the fault
    zelqor::fuzz::Check(glance.Width() == whole.Width() && glance.Height() == whole.Height(),
                        "a glance has the size of the whole decode");
    // A progressive file that sends a coefficient twice without a warning shows the first
    // sending at a glance and the last one whole; a file in one scan has no such freedom.
    if (split && FileIsClean(wholeNotes))
        zelqor::fuzz::Check(glance == whole, "a clean file cut in halves decodes to its pixels");
    return 0;
}
