// Reduced-scale decode and area shrink for the open dialog's preview, with the camera's own
// Exif thumbnail taken first when it shows the same picture.
#include "PreviewThumbnail.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <span>

#include "ExifThumbnail.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "MemExif.h"
#include "ScaleBitmap.h"

namespace zelqor {
namespace {

// The camera's thumbnail of `file` when it is the whole picture (the same shape within 2 %) and
// already as large as the box allows; an empty bitmap otherwise. Cameras put a 160 x 120 copy
// there, which spares the decode of every block of a large file.
WorkingBitmap CameraThumbnail(const PictureFile& file, int boxWidth, int boxHeight) {
    std::optional<std::string> ignored;
    const MetadataBlock metadata = CollectExif(file.bytes, ignored);
    for (std::size_t i = 0; i < metadata.app1.Count(); ++i) {
        const std::span<const std::uint8_t> jpeg = ExifThumbnailJpeg(metadata.app1.Payload(i));
        if (jpeg.empty()) {
            continue;
        }
        const JpegSize size = ReadJpegSize(jpeg.data(), jpeg.size());
        const std::int64_t a = std::int64_t{size.width} * file.height;
        const std::int64_t b = std::int64_t{size.height} * file.width;
        const Rect fit =
            FitRect(Rect{0, 0, std::min(boxWidth, file.width), std::min(boxHeight, file.height)},
                    file.width, file.height);
        if (std::abs(a - b) * 50 <= std::max(a, b) && size.width >= fit.Width() &&
            size.height >= fit.Height()) {
            return DecodeJpeg(jpeg.data(), jpeg.size());
        }
    }
    return {};
}

}  // namespace

std::optional<PreviewThumbnail> MakePreviewThumbnail(const std::string& path,
                                                     int boxWidth,
                                                     int boxHeight) {
    if (boxWidth <= 0 || boxHeight <= 0) {
        return std::nullopt;
    }
    try {
        PictureFile file = ReadPictureFile(path);
        PreviewThumbnail thumb;
        thumb.width = file.width;
        thumb.height = file.height;
        WorkingBitmap decoded;
        try {
            if (file.jpeg) {
                decoded = CameraThumbnail(file, boxWidth, boxHeight);
            }
        } catch (const std::exception&) {
            // A broken camera thumbnail: the picture itself may still decode.
        }
        if (!decoded.HoldsImage()) {
            DecodeRequest request;
            request.atLeastWidth = std::min(boxWidth, file.width);
            request.atLeastHeight = std::min(boxHeight, file.height);
            decoded = DecodePicture(file, std::move(request));
        }
        if (!decoded.HoldsImage()) {
            return std::nullopt;
        }
        const Rect fit = FitRect(
            Rect{0, 0, std::min(boxWidth, decoded.Width()), std::min(boxHeight, decoded.Height())},
            decoded);
        // One thread: the picture is small by now, and the dialog waits for nothing else.
        thumb.picture =
            ScaleBitmap(decoded, std::max(fit.Width(), 1), std::max(fit.Height(), 1), 1);
        return thumb;
    } catch (const std::exception&) {
        // Unreadable, unknown or broken: the preview shows nothing rather than an error box.
        return std::nullopt;
    }
}

}  // namespace zelqor
