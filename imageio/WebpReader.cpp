// libwebp glue for reading: the decoder writes our byte order, the demuxer finds the metadata.
#include "WebpReader.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

#include "ImageIoError.h"

namespace zelqor {

namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};
struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

const char* statusReason(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return "not enough memory";
        case VP8_STATUS_INVALID_PARAM:
            return "invalid parameter";
        case VP8_STATUS_BITSTREAM_ERROR:
            return "the bitstream is broken";
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return "a feature libwebp does not support";
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return "the file ends early";
        default:
            return "the decoder failed";
    }
}

std::vector<std::uint8_t> chunk(WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator it;
    std::vector<std::uint8_t> bytes;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &it))
        bytes.assign(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
    WebPDemuxReleaseChunkIterator(&it);
    return bytes;
}

void decodeFirstFrame(const WebPData& data, WorkingBitmap& bitmap) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        throw ImageIoError(kInvalidWebpText, "libwebp's animation decoder is missing");
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(
        WebPAnimDecoderNew(&data, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
        throw ImageIoError(kInvalidWebpText, "the animation is broken");
    if (static_cast<int>(info.canvas_width) != bitmap.Width() ||
        static_cast<int>(info.canvas_height) != bitmap.Height())
        throw ImageIoError(kInvalidWebpText, "the animation's canvas disagrees with its header");
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp))
        throw ImageIoError(kInvalidWebpText, "the first frame does not decode");
    std::memcpy(bitmap.Data(), canvas, bitmap.ByteSize());
}

}  // namespace

bool HasWebpSignature(const std::uint8_t* data, std::size_t size) {
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

DecodedPicture DecodeWebp(const std::uint8_t* data, std::size_t size, std::uint64_t maxPixels) {
    if (!HasWebpSignature(data, size))
        throw ImageIoError(kInvalidWebpText, "Not a WebP file: the RIFF WEBP header is missing");
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(data, size, &features);
    if (status != VP8_STATUS_OK)
        throw ImageIoError(kInvalidWebpText, statusReason(status));
    CheckPictureSize(static_cast<std::uint64_t>(features.width),
                     static_cast<std::uint64_t>(features.height), maxPixels);

    DecodedPicture picture;
    picture.bitmap = WorkingBitmap(features.width, features.height);
    WorkingBitmap& bitmap = picture.bitmap;
    const WebPData whole{data, size};
    if (features.has_animation) {
        decodeFirstFrame(whole, bitmap);
        picture.notices.emplace_back(kWebpAnimationNotice);
    } else {
        auto* out = reinterpret_cast<std::uint8_t*>(bitmap.Data());
        if (WebPDecodeBGRAInto(data, size, out, bitmap.ByteSize(), bitmap.Width() * 4) == nullptr)
            throw ImageIoError(kInvalidWebpText, "the picture data is broken or cut short");
    }
    if (features.has_alpha || features.has_animation)
        FlattenAllOnWhite(bitmap);

    // The chunks are looked for even when the header's flags deny them: some writers forget
    // to set the flags, and the chunks are what a user would miss.
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&whole));
    if (demux) {
        picture.exif = ExifWithoutIdentifier(chunk(demux.get(), "EXIF"));
        picture.xmp = chunk(demux.get(), "XMP ");
        picture.icc = chunk(demux.get(), "ICCP");
    }
    return picture;
}

}  // namespace zelqor
