// Fuzz target: reading the size of and decoding an untrusted JPEG through our libjpeg codec.
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "FuzzCheck.h"
#include "ImageIoError.h"
#include "JpegCodec.h"
#include "Stream.h"

namespace {

// The codec itself takes up to kMaxDecodedPixels (a 1 GiB bitmap); decoding that much from a
// few bytes takes seconds, and the fuzzer would spend its time filling memory rather than
// reaching new code. Headers above this still go through ReadJpegSize and its limits.
constexpr std::uint64_t kFuzzDecodePixels = std::uint64_t{1} << 22;

void CheckOpaque(const zelqor::WorkingBitmap& bitmap) {
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x)
            zelqor::fuzz::Check(zelqor::PixelX(bitmap.Pixel(x, y)) == 0xFF,
                                "every decoded pixel is opaque");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelqor::JpegSize header;
    try {
        header = zelqor::ReadJpegSize(data, size);
    } catch (const zelqor::ImageIoError&) {
        return 0;
    }
    zelqor::fuzz::Check(header.width > 0 && header.height > 0 &&
                            static_cast<unsigned>(header.width) <= zelqor::kMaxJpegDimension &&
                            static_cast<unsigned>(header.height) <= zelqor::kMaxJpegDimension,
                        "an accepted header has a size within the limits");
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.height);
    zelqor::fuzz::Check(pixels <= zelqor::kMaxDecodedPixels, "an accepted header fits the limit");
    if (pixels > kFuzzDecodePixels)
        return 0;

    zelqor::WorkingBitmap bitmap;
    try {
        bitmap = zelqor::DecodeJpeg(data, size);
    } catch (const zelqor::ImageIoError&) {
        return 0;
    }
    zelqor::fuzz::Check(bitmap.Width() == header.width && bitmap.Height() == header.height,
                        "the decoded picture has the size the header gave");
    CheckOpaque(bitmap);

    // The reduced decode: the input's length picks the wanted fraction, so every file meets
    // each of the library's scales in turn.
    const int divisor = 1 << (size % 4);
    zelqor::JpegDecodeOptions options;
    options.atLeastWidth = (header.width + divisor - 1) / divisor;
    options.atLeastHeight = (header.height + divisor - 1) / divisor;
    zelqor::WorkingBitmap reduced;
    try {
        reduced = zelqor::DecodeJpeg(data, size, options, zelqor::WorkingBitmap());
    } catch (const zelqor::ImageIoError&) {
        zelqor::fuzz::Check(false, "a file that decodes in full also decodes reduced");
    }
    zelqor::fuzz::Check(reduced.Width() >= options.atLeastWidth &&
                            reduced.Height() >= options.atLeastHeight &&
                            reduced.Width() <= header.width && reduced.Height() <= header.height,
                        "a reduced picture covers the wanted size and is no larger than the file");
    CheckOpaque(reduced);

    // Decoding into pixels that already hold a picture must not let the old one show through.
    const zelqor::WorkingBitmap first = reduced;
    zelqor::WorkingBitmap again;
    try {
        again = zelqor::DecodeJpeg(data, size, options, std::move(reduced));
    } catch (const zelqor::ImageIoError&) {
        zelqor::fuzz::Check(false, "a second decode of the same file succeeds too");
    }
    zelqor::fuzz::Check(again == first, "decoding into reused pixels gives the same picture");

    // Read from a stream a piece at a time, as the open dialog's preview reads a file.
    zelqor::ByteViewStream stream(std::span<const std::uint8_t>(data, size));
    zelqor::WorkingBitmap streamed;
    try {
        streamed = zelqor::DecodeJpeg(stream, options);
    } catch (const zelqor::ImageIoError&) {
        zelqor::fuzz::Check(false, "a file that decodes from memory decodes from a stream");
    }
    zelqor::fuzz::Check(streamed == first, "a stream decodes to the picture memory decodes to");
    return 0;
}
