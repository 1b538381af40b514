// libwebp glue for writing: the encoder into memory, then the mux for the metadata chunks.
#include "WebpWriter.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <memory>

#include "ImageIoError.h"

namespace zelqor {

namespace {

struct PictureGuard {
    WebPPicture picture;
    ~PictureGuard() { WebPPictureFree(&picture); }
};
struct MemoryGuard {
    WebPMemoryWriter writer;
    ~MemoryGuard() { WebPMemoryWriterClear(&writer); }
};
struct MuxDeleter {
    void operator()(WebPMux* m) const { WebPMuxDelete(m); }
};

void setChunk(WebPMux* mux, const char* fourcc, std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return;
    const WebPData data{bytes.data(), bytes.size()};
    if (WebPMuxSetChunk(mux, fourcc, &data, 1) != WEBP_MUX_OK)
        ThrowStreamWriteError();
}

}  // namespace

void WriteWebp(const WorkingBitmap& bitmap,
               int quality,
               const MetadataPieces& metadata,
               Stream& out) {
    if (!bitmap.HoldsImage() || bitmap.Width() > WEBP_MAX_DIMENSION ||
        bitmap.Height() > WEBP_MAX_DIMENSION)
        ThrowStreamWriteError();
    quality = std::clamp(quality, 1, 100);
    WebPConfig config;
    if (!WebPConfigInit(&config))
        ThrowStreamWriteError();
    if (quality == 100) {
        // Lossless keeps every pixel; the level trades encoding time against size.
        if (!WebPConfigLosslessPreset(&config, 6))
            ThrowStreamWriteError();
    } else {
        config.quality = static_cast<float>(quality);
    }

    PictureGuard picture;
    MemoryGuard memory;
    WebPMemoryWriterInit(&memory.writer);
    if (!WebPPictureInit(&picture.picture))
        ThrowStreamWriteError();
    WebPPicture& pic = picture.picture;
    pic.use_argb = config.lossless;
    pic.width = bitmap.Width();
    pic.height = bitmap.Height();
    if (!WebPPictureImportBGRX(&pic, bitmap.Row(0), bitmap.Width() * 4))
        ThrowStreamWriteError();
    pic.writer = WebPMemoryWrite;
    pic.custom_ptr = &memory.writer;
    if (!WebPEncode(&config, &pic))
        ThrowStreamWriteError();

    if (metadata.exif.empty() && metadata.xmp.empty() && metadata.icc.empty()) {
        out.WriteBuffer(memory.writer.mem, memory.writer.size);
        return;
    }
    const WebPData image{memory.writer.mem, memory.writer.size};
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxCreate(&image, 0));
    if (!mux)
        ThrowStreamWriteError();
    setChunk(mux.get(), "ICCP", metadata.icc);
    setChunk(mux.get(), "EXIF", metadata.exif);
    setChunk(mux.get(), "XMP ", metadata.xmp);
    WebPData assembled;
    WebPDataInit(&assembled);
    if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        WebPDataClear(&assembled);
        ThrowStreamWriteError();
    }
    try {
        out.WriteBuffer(assembled.bytes, assembled.size);
    } catch (...) {
        WebPDataClear(&assembled);
        throw;
    }
    WebPDataClear(&assembled);
}

}  // namespace zelqor
