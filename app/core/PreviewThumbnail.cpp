// Reduced-scale decode and area shrink for the open dialog's preview, with the camera's own
// Exif thumbnail taken first when it shows the same picture.
#include "PreviewThumbnail.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <span>

#include "ExifThumbnail.h"
#include "IccProfile.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "MemExif.h"
#include "Orientation.h"
#include "ScaleBitmap.h"

namespace zelqor {
namespace {

// The camera's thumbnail of `file` when it is the whole picture (the same shape within 2 %) and
// already as large as the box allows, turned upright as the picture is; an empty bitmap
// otherwise. Cameras put a 160 x 120 copy there, which spares the decode of every block of a
// large file. The thumbnail is stored as the picture is, so it is compared in that order.
WorkingBitmap CameraThumbnail(const PictureFile& file, int boxWidth, int boxHeight) {
    std::optional<std::string> ignored;
    const MetadataBlock metadata = CollectExif(file.bytes, ignored);
    const bool swapped = OrientationSwapsSides(file.orientation);
    const int storedWidth = swapped ? file.height : file.width;
    const int storedHeight = swapped ? file.width : file.height;
    for (std::size_t i = 0; i < metadata.app1.Count(); ++i) {
        const std::span<const std::uint8_t> jpeg = ExifThumbnailJpeg(metadata.app1.Payload(i));
        if (jpeg.empty()) {
            continue;
        }
        const JpegSize size = ReadJpegSize(jpeg.data(), jpeg.size());
        const std::int64_t a = std::int64_t{size.width} * storedHeight;
        const std::int64_t b = std::int64_t{size.height} * storedWidth;
        const Rect fit =
            FitRect(Rect{0, 0, std::min(boxWidth, file.width), std::min(boxHeight, file.height)},
                    file.width, file.height);
        const int longSide = std::max(size.width, size.height);
        if (std::abs(a - b) * 50 <= std::max(a, b) &&
            longSide >= std::max(fit.Width(), fit.Height()) &&
            std::min(size.width, size.height) >= std::min(fit.Width(), fit.Height())) {
            return TurnUpright(DecodeJpeg(jpeg.data(), jpeg.size()), file.orientation);
        }
    }
    return {};
}

}  // namespace

std::optional<PreviewThumbnail> MakePreviewThumbnail(const std::string& path,
                                                     int boxWidth,
                                                     int boxHeight,
                                                     DisplayColour* colour) {
    if (boxWidth <= 0 || boxHeight <= 0) {
        return std::nullopt;
    }
    try {
        // The head holds the size and the camera's thumbnail; the picture data is read only when
        // there is no thumbnail to show, a piece at a time as it decodes.
        PictureFile file = ReadPictureHead(path);
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
        if (colour != nullptr) {
            std::optional<std::string> unread;  // what could be read of the profile is enough
            const std::vector<std::uint8_t> profile =
                AssembleIccProfile(CollectMetadata(file, unread).icc);
            if (const SharedTransform toScreen = colour->ToDisplay(profile)) {
                toScreen->ApplyAll(thumb.picture);
            }
        }
        return thumb;
    } catch (const std::exception&) {
        // Unreadable, unknown or broken: the preview shows nothing rather than an error box.
        return std::nullopt;
    }
}

}  // namespace zelqor
