// Reduced-scale decode and area shrink for the open dialog's preview, with the camera's own
// Exif thumbnail taken first when it shows the same picture.
#include "PreviewThumbnail.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <span>

#include "IccProfile.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "MemExif.h"
#include "ScaleBitmap.h"

namespace zelqor {
namespace {

// The JPEG thumbnail an Exif block carries in its second directory (IFD1: JPEGInterchangeFormat
// and its length), or an empty span. Every offset is checked against the block.
std::span<const std::uint8_t> ExifThumbnail(std::span<const std::uint8_t> payload) {
    constexpr std::size_t kTiff = 6;  // after "Exif\0\0"
    if (!IsExifPayload(payload) || payload.size() < kTiff + 8) {
        return {};
    }
    const std::span<const std::uint8_t> tiff = payload.subspan(kTiff);
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) {
        return {};
    }
    const auto u16 = [&](std::size_t at) -> std::uint32_t {
        return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    };
    const auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    // The directory at `at`: its entries, and where the next one starts (0 for none).
    const auto entries = [&](std::size_t at, std::size_t& count) {
        count = at + 2 <= tiff.size() ? u16(at) : 0;
        if (at + 2 + count * 12 + 4 > tiff.size()) {
            count = 0;
            return std::size_t{0};
        }
        return std::size_t{u32(at + 2 + count * 12)};
    };
    std::size_t count = 0;
    const std::size_t ifd1 = entries(u32(4), count);
    if (ifd1 == 0) {
        return {};
    }
    entries(ifd1, count);
    std::size_t offset = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd1 + 2 + i * 12;
        if (u16(entry) == 0x0201) {
            offset = u32(entry + 8);
        } else if (u16(entry) == 0x0202) {
            length = u32(entry + 8);
        }
    }
    if (offset == 0 || length == 0 || offset > tiff.size() || length > tiff.size() - offset) {
        return {};
    }
    return tiff.subspan(offset, length);
}

// The camera's thumbnail of `file` when it is the whole picture (the same shape within 2 %) and
// already as large as the box allows; an empty bitmap otherwise. Cameras put a 160 x 120 copy
// there, which spares the decode of every block of a large file.
WorkingBitmap CameraThumbnail(const PictureFile& file, int boxWidth, int boxHeight) {
    std::optional<std::string> ignored;
    const MetadataBlock metadata = CollectExif(file.bytes, ignored);
    for (std::size_t i = 0; i < metadata.app1.Count(); ++i) {
        const std::span<const std::uint8_t> jpeg = ExifThumbnail(metadata.app1.Payload(i));
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
                                                     int boxHeight,
                                                     DisplayColour* colour) {
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
