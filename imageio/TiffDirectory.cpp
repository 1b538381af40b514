// Byte order and bounds of TIFF directories, in one place for every reader of Exif blocks.
#include "TiffDirectory.h"

namespace zelqor {

TiffView::TiffView(std::span<const std::uint8_t> tiff, bool bigEndian)
    : tiff_(tiff), bigEndian_(bigEndian) {
    first_ = *U32(4);
}

std::optional<TiffView> TiffView::Open(std::span<const std::uint8_t> tiff) {
    if (tiff.size() < 8)
        return std::nullopt;
    const bool intel = tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 0x2A && tiff[3] == 0;
    const bool motorola = tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 0x2A;
    if (!intel && !motorola)
        return std::nullopt;
    return TiffView(tiff, motorola);
}

std::optional<std::uint16_t> TiffView::U16(std::uint64_t at) const {
    if (at > tiff_.size() || tiff_.size() - at < 2)
        return std::nullopt;
    const std::uint8_t* p = tiff_.data() + at;
    return static_cast<std::uint16_t>(bigEndian_ ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0]);
}

std::optional<std::uint32_t> TiffView::U32(std::uint64_t at) const {
    const auto a = U16(at), b = U16(at + 2);
    if (!a || !b)
        return std::nullopt;
    return bigEndian_ ? std::uint32_t{*a} << 16 | *b : std::uint32_t{*b} << 16 | *a;
}

std::optional<std::uint16_t> TiffView::EntryCount(std::uint64_t directory) const {
    return U16(directory);
}

std::optional<TiffEntry> TiffView::Entry(std::uint64_t directory, std::size_t index) const {
    const std::uint64_t at = directory + 2 + std::uint64_t{index} * kTiffEntrySize;
    if (at > tiff_.size() || tiff_.size() - at < kTiffEntrySize)
        return std::nullopt;
    TiffEntry e;
    e.at = static_cast<std::size_t>(at);
    e.tag = *U16(at);
    e.type = *U16(at + 2);
    e.count = *U32(at + 4);
    e.value = *U32(at + kTiffValueField);
    e.shortValue = *U16(at + kTiffValueField);
    return e;
}

std::optional<std::size_t> TiffView::NextLinkAt(std::uint64_t directory) const {
    const auto count = EntryCount(directory);
    if (!count)
        return std::nullopt;
    const std::uint64_t at = directory + 2 + std::uint64_t{*count} * kTiffEntrySize;
    if (!U32(at))
        return std::nullopt;
    return static_cast<std::size_t>(at);
}

std::optional<std::uint32_t> TiffView::NextDirectory(std::uint64_t directory) const {
    const auto at = NextLinkAt(directory);
    return at ? U32(*at) : std::nullopt;
}

std::optional<TiffEntry> TiffView::Find(std::uint64_t directory, std::uint16_t tag) const {
    const auto count = EntryCount(directory);
    for (std::size_t i = 0; count && i < *count; ++i) {
        const auto e = Entry(directory, i);
        if (!e)
            return std::nullopt;
        if (e->tag == tag)
            return e;
    }
    return std::nullopt;
}

void TiffView::Put16(std::span<std::uint8_t> tiff, std::uint64_t at, std::uint16_t value) const {
    if (at > tiff.size() || tiff.size() - at < 2)
        return;
    const auto hi = static_cast<std::uint8_t>(value >> 8), lo = static_cast<std::uint8_t>(value);
    tiff[at] = bigEndian_ ? hi : lo;
    tiff[at + 1] = bigEndian_ ? lo : hi;
}

void TiffView::Put32(std::span<std::uint8_t> tiff, std::uint64_t at, std::uint32_t value) const {
    if (at > tiff.size() || tiff.size() - at < 4)
        return;
    const auto high = static_cast<std::uint16_t>(value >> 16);
    const auto low = static_cast<std::uint16_t>(value);
    Put16(tiff, at, bigEndian_ ? high : low);
    Put16(tiff, at + 2, bigEndian_ ? low : high);
}

}  // namespace zelqor
