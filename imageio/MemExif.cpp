// Walks IFD0 and the Exif sub-directory of an Exif block and patches the size and orientation tags.
#include "MemExif.h"

#include <array>
#include <cctype>
#include <optional>
#include <utility>

#include "ImageIoError.h"
#include "TiffDirectory.h"

namespace zelqor {

namespace {

constexpr std::int64_t kTiffHeaderOffset = 6;  // TIFF offsets count from the byte-order mark
constexpr std::size_t kIdentifierCompared = 5;
constexpr int kOrientationUpright = 1;

constexpr std::uint16_t kTagImageWidth = 0x0100;
constexpr std::uint16_t kTagImageLength = 0x0101;
constexpr std::uint16_t kTagExifPointer = 0x8769;
constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTagPixelXDimension = 0xA002;
constexpr std::uint16_t kTagPixelYDimension = 0xA003;

bool hasExifIdentifier(MemoryStream& block) {
    static constexpr std::array<char, kIdentifierCompared> kIdentifier{'e', 'x', 'i', 'f', '\0'};
    std::array<std::uint8_t, kIdentifierCompared> head{};
    block.SetPosition(0);
    if (block.Read(head.data(), head.size()) != head.size())
        return false;
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (std::tolower(head[i]) != kIdentifier[i])
            return false;
    }
    return true;
}

// Patches a directory's two size tags; every entry then goes to `then`. An entry count or an
// entry that runs past the end of the block is the stream read error, as a read of it would be.
template <typename Then>
void patchDirectory(const TiffView& view,
                    std::span<std::uint8_t> tiff,
                    std::uint64_t directory,
                    std::uint16_t widthTag,
                    std::uint16_t heightTag,
                    std::uint32_t width,
                    std::uint32_t height,
                    Then then) {
    const auto count = view.EntryCount(directory);
    if (!count)
        ThrowStreamReadError();
    for (std::size_t i = 0; i < *count; ++i) {
        const auto e = view.Entry(directory, i);
        if (!e)
            ThrowStreamReadError();
        for (const auto& [tag, value] : {std::pair{widthTag, width}, {heightTag, height}}) {
            if (e->tag != tag)
                continue;
            if (e->type == kTiffTypeShort)
                view.Put16(tiff, e->ValueAt(), static_cast<std::uint16_t>(value));
            if (e->type == kTiffTypeLong)
                view.Put32(tiff, e->ValueAt(), value);
        }
        then(*e);
    }
}

// The TIFF structure of an Exif payload, when it has a valid header.
std::optional<TiffView> tiffOf(std::span<const std::uint8_t> payload) {
    if (!IsExifPayload(payload))
        return std::nullopt;
    return TiffView::Open(payload.subspan(kTiffHeaderOffset));
}

// Where the value of IFD0's Orientation entry lies in the TIFF structure, when the entry is
// there as a SHORT.
std::optional<std::size_t> orientationField(const TiffView& view) {
    const std::uint32_t ifd0 = view.FirstDirectory();
    const auto count = view.EntryCount(ifd0);
    for (std::size_t i = 0; count && i < *count; ++i) {
        const auto e = view.Entry(ifd0, i);
        if (!e)
            return std::nullopt;
        if (e->tag == kTagOrientation && e->type == kTiffTypeShort)
            return e->ValueAt();
    }
    return std::nullopt;
}

}  // namespace

int ReadExifOrientation(std::span<const std::uint8_t> payload) {
    const auto view = tiffOf(payload);
    const auto field = view ? orientationField(*view) : std::nullopt;
    if (!field)
        return 0;
    const int value = *view->U16(*field);
    return value >= 1 && value <= 8 ? value : 0;
}

bool SetExifOrientation(std::span<std::uint8_t> payload, int orientation) {
    const auto view = tiffOf(payload);
    const auto field = view ? orientationField(*view) : std::nullopt;
    if (!field || orientation < 1 || orientation > 8)
        return false;
    view->Put16(payload.subspan(kTiffHeaderOffset), *field,
                static_cast<std::uint16_t>(orientation));
    return true;
}

bool SetExifOrientationUpright(std::span<std::uint8_t> payload) {
    return SetExifOrientation(payload, kOrientationUpright);
}

bool IsExifPayload(std::span<const std::uint8_t> payload) {
    static constexpr std::array<char, 6> kIdentifier{'e', 'x', 'i', 'f', '\0', '\0'};
    if (payload.size() < kIdentifier.size())
        return false;
    for (std::size_t i = 0; i < kIdentifier.size(); ++i) {
        if (std::tolower(payload[i]) != kIdentifier[i])
            return false;
    }
    return true;
}

bool TExifInfo::SetImageSize(MemoryStream& block, std::int32_t width, std::int32_t height) {
    if (block.Size() == 0)
        return false;
    if (!hasExifIdentifier(block))
        return false;
    if (block.Size() < kTiffHeaderOffset)
        return false;
    const std::span<std::uint8_t> tiff(block.Data() + kTiffHeaderOffset,
                                       static_cast<std::size_t>(block.Size() - kTiffHeaderOffset));
    const auto view = TiffView::Open(tiff);
    if (!view)
        return false;
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    // Only the first Exif pointer is followed: a forged IFD0 of thousands of pointers to a
    // directory of thousands of entries would otherwise cost their product in reads.
    bool exifWalked = false;
    patchDirectory(*view, tiff, view->FirstDirectory(), kTagImageWidth, kTagImageLength, w, h,
                   [&](const TiffEntry& e) {
                       if (e.tag != kTagExifPointer || exifWalked)
                           return;
                       exifWalked = true;
                       patchDirectory(*view, tiff, e.value, kTagPixelXDimension,
                                      kTagPixelYDimension, w, h, [](const TiffEntry&) {});
                   });
    return true;
}

}  // namespace zelqor
