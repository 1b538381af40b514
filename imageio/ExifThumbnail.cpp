// IFD1's JPEGInterchangeFormat pair: reading it, re-encoding the thumbnail, unlinking it.
#include "ExifThumbnail.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "JpegCodec.h"
#include "MemExif.h"
#include "Orientation.h"
#include "TiffDirectory.h"

namespace zelqor {

namespace {

constexpr std::size_t kTiffStart = 6;  // after "Exif\0\0"
constexpr std::uint16_t kTagThumbnailOffset = 0x0201;
constexpr std::uint16_t kTagThumbnailLength = 0x0202;
// Tried in turn until the turned thumbnail fits where the old one was.
constexpr int kThumbnailQualities[] = {90, 80, 70, 60, 50};

}  // namespace

std::optional<ExifThumbnailPlace> FindExifThumbnail(std::span<const std::uint8_t> payload) {
    if (!IsExifPayload(payload))
        return std::nullopt;
    const auto view = TiffView::Open(payload.subspan(kTiffStart));
    if (!view)
        return std::nullopt;
    const auto link = view->NextLinkAt(view->FirstDirectory());
    const auto ifd1 = link ? view->U32(*link) : std::nullopt;
    if (!ifd1 || *ifd1 == 0)
        return std::nullopt;
    const auto offset = view->Find(*ifd1, kTagThumbnailOffset);
    const auto length = view->Find(*ifd1, kTagThumbnailLength);
    if (!offset || !length)
        return std::nullopt;
    const bool lengthIsShort = length->type == kTiffTypeShort;
    const std::uint64_t at = offset->value;
    const std::uint64_t size = lengthIsShort ? length->shortValue : length->value;
    if (at == 0 || size == 0 || at > view->Size() || size > view->Size() - at)
        return std::nullopt;
    ExifThumbnailPlace place;
    place.offset = kTiffStart + static_cast<std::size_t>(at);
    place.length = static_cast<std::size_t>(size);
    place.lengthField = kTiffStart + length->ValueAt();
    place.lengthIsShort = lengthIsShort;
    place.directoryLink = kTiffStart + *link;
    return place;
}

std::span<const std::uint8_t> ExifThumbnailJpeg(std::span<const std::uint8_t> payload) {
    const auto place = FindExifThumbnail(payload);
    return place ? payload.subspan(place->offset, place->length) : std::span<const std::uint8_t>{};
}

ThumbnailFate TurnExifThumbnailUpright(std::span<std::uint8_t> payload, int orientation) {
    const auto place = FindExifThumbnail(payload);
    if (!place || orientation < 2 || orientation > 8)
        return ThumbnailFate::Untouched;
    const auto view = *TiffView::Open(payload.subspan(kTiffStart));
    const std::span<std::uint8_t> tiff = payload.subspan(kTiffStart);
    const std::span<std::uint8_t> room = payload.subspan(place->offset, place->length);
    try {
        const WorkingBitmap turned = TurnUpright(DecodeJpeg(room.data(), room.size()), orientation);
        for (const int quality : kThumbnailQualities) {
            const std::vector<std::uint8_t> jpeg = EncodeJpeg(turned, quality);
            if (jpeg.size() > room.size() || (place->lengthIsShort && jpeg.size() > 0xFFFF))
                continue;
            std::copy(jpeg.begin(), jpeg.end(), room.begin());
            std::fill(room.begin() + static_cast<std::ptrdiff_t>(jpeg.size()), room.end(), 0);
            const std::size_t field = place->lengthField - kTiffStart;
            if (place->lengthIsShort)
                view.Put16(tiff, field, static_cast<std::uint16_t>(jpeg.size()));
            else
                view.Put32(tiff, field, static_cast<std::uint32_t>(jpeg.size()));
            return ThumbnailFate::Turned;
        }
    } catch (const std::exception&) {
        // A thumbnail that does not decode is dropped like one that does not fit.
    }
    view.Put32(tiff, place->directoryLink - kTiffStart, 0);
    return ThumbnailFate::Dropped;
}

}  // namespace zelqor
