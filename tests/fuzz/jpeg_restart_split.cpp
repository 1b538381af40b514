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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // As in jpeg_decode: larger pictures fill memory rather than reach new code.
    constexpr std::uint64_t kFuzzDecodePixels = std::uint64_t{1} << 22;
    const std::optional<zelqor::JpegRestartSplit> split = zelqor::FindRestartSplit(data, size);
    const auto at = [data](std::size_t i) { return (data[i] << 8) | data[i + 1]; };
    zelqor::fuzz::Check(
        !split || (split->heightField + 4 <= split->scanData && split->scanData <= split->cut &&
                   split->cut + 2 <= size && at(split->cut) == 0xFFD7 &&
                   at(split->heightField) == split->height && split->topHeight > 0 &&
                   split->topHeight < split->height),
        "a cut at RST7 in the scan data, both halves with rows of the header");
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
    if (split && !wholeNotes.endedEarly && wholeNotes.damage.empty())
        zelqor::fuzz::Check(glance == whole, "a clean file cut in halves decodes to its pixels");
    return 0;
}
