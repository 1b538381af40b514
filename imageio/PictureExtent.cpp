// Marker and chunk walks that find a picture's last byte without decoding it.
#include "PictureExtent.h"

#include <cstring>

namespace zelqor {

namespace {

// Segments before the picture data (an ICC profile of up to 16 MB, Exif, XMP, comments).
constexpr std::uint64_t kMetadataAllowance = std::uint64_t{64} << 20;
// A Huffman-coded 8 x 8 block takes at most about 220 bytes however noisy (64 coefficients of
// 16-bit codes and 11-bit magnitudes), under four bytes a sample; progressive scans add little.
constexpr std::uint64_t kMostJpegBytesPerSample = 4;
// Stored deflate blocks, the worst a PNG encoder writes, add a few bytes per 64 KiB.
constexpr std::uint64_t kMostPngBytesPerRawByte = 2;
constexpr std::uint64_t kSlack = std::uint64_t{1} << 20;

constexpr std::uint8_t kEoi = 0xD9;
constexpr std::uint8_t kSos = 0xDA;

bool isRestart(std::uint8_t code) {
    return code >= 0xD0 && code <= 0xD7;
}
// Markers without a length: TEM, SOI, the restarts.
bool standsAlone(std::uint8_t code) {
    return code == 0x01 || code == 0xD8 || isRestart(code);
}
// Frame headers: SOF0 to SOF15 but DHT, JPG and DAC, which share the range.
bool isFrameHeader(std::uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

std::uint32_t bigEndian16(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 8 | p[1];
}
std::uint32_t bigEndian32(const std::uint8_t* p) {
    return bigEndian16(p) << 16 | bigEndian16(p + 2);
}

}  // namespace

std::optional<std::size_t> JpegExtent::Scan(std::span<const std::uint8_t> bytes) {
    const std::size_t size = bytes.size();
    const std::uint8_t* b = bytes.data();
    for (;;) {
        if (at_ >= size)
            return std::nullopt;
        if (where_ == Where::Data) {
            // In entropy-coded data a 0xFF is a stuffed byte (0x00 after it), a restart, fill, or
            // the next marker. Outside it, stray bytes are passed over the same way, as the
            // decoder does.
            const void* ff = std::memchr(b + at_, 0xFF, size - at_);
            if (ff == nullptr) {
                at_ = size;
                return std::nullopt;
            }
            at_ = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - b);
            if (at_ + 1 >= size)
                return std::nullopt;
            const std::uint8_t code = b[at_ + 1];
            if (code == 0x00 || isRestart(code)) {
                at_ += 2;
            } else if (code == 0xFF) {
                at_ += 1;
            } else {
                where_ = Where::Marker;
            }
            continue;
        }
        if (b[at_] != 0xFF) {
            where_ = Where::Data;
            continue;
        }
        std::size_t code = at_ + 1;
        while (code < size && b[code] == 0xFF)
            ++code;
        if (code >= size) {
            at_ = code - 1;  // the fill bytes are not looked at again
            return std::nullopt;
        }
        at_ = code - 1;
        const std::uint8_t marker = b[code];
        if (marker == kEoi)
            return code + 1;
        if (standsAlone(marker)) {
            at_ = code + 1;
            continue;
        }
        if (marker == 0x00) {
            where_ = Where::Data;
            at_ = code + 1;
            continue;
        }
        if (code + 2 >= size)
            return std::nullopt;
        const std::size_t length = bigEndian16(b + code + 1);
        if (length < 2) {
            where_ = Where::Data;
            at_ = code + 1;
            continue;
        }
        if (isFrameHeader(marker) && pixels_ == 0) {
            // precision, height, width, component count
            if (code + 8 >= size)
                return std::nullopt;
            pixels_ = std::uint64_t{bigEndian16(b + code + 4)} * bigEndian16(b + code + 6);
            components_ = b[code + 8];
        }
        at_ = code + 1 + length;
        if (marker == kSos) {
            where_ = Where::Data;
            if (dataStart_ == 0)
                dataStart_ = at_;
        } else {
            where_ = Where::Marker;
        }
    }
}

std::uint64_t JpegExtent::MostBytesNeeded() const {
    if (dataStart_ == 0)
        return kMetadataAllowance;
    return dataStart_ +
           pixels_ * static_cast<std::uint64_t>(components_) * kMostJpegBytesPerSample + kSlack;
}

std::optional<std::size_t> PngExtent::Scan(std::span<const std::uint8_t> bytes) {
    const std::size_t size = bytes.size();
    const std::uint8_t* b = bytes.data();
    // A chunk: its data length, its type, the data and a checksum.
    constexpr std::size_t kChunkFrame = 12;
    constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;
    while (at_ + 8 <= size) {
        const std::uint32_t length = bigEndian32(b + at_);
        if (length > kMaxChunkLength)
            return at_ + 8;  // no PNG; libpng says so from here
        const std::uint8_t* type = b + at_ + 4;
        if (std::memcmp(type, "IHDR", 4) == 0 && rawBytes_ == 0) {
            if (length < 13 || at_ + 8 + 13 > size)
                return std::nullopt;
            const std::uint8_t* h = b + at_ + 8;
            const std::uint64_t width = bigEndian32(h);
            const std::uint64_t height = bigEndian32(h + 4);
            // 16-bit RGBA at most: 64 bits a pixel, and a filter byte a row.
            rawBytes_ = height * (width * 8 + 1);
        }
        const std::uint64_t next = std::uint64_t{at_} + kChunkFrame + length;
        if (std::memcmp(type, "IEND", 4) == 0 && next <= size)
            return static_cast<std::size_t>(next);
        if (std::memcmp(type, "IEND", 4) == 0)
            return std::nullopt;
        at_ = static_cast<std::size_t>(next);
    }
    return std::nullopt;
}

std::uint64_t PngExtent::MostBytesNeeded() const {
    return kMetadataAllowance + rawBytes_ * kMostPngBytesPerRawByte + kSlack;
}

}  // namespace zelqor
