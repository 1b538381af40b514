// Walks IFD0 and the Exif sub-directory of a TIFF structure and patches the size tags.
#include "MemExif.h"

#include <array>
#include <cctype>
#include <optional>

namespace zelqor {

namespace {

constexpr std::int64_t kTiffHeaderOffset = 6;  // TIFF offsets count from the byte-order mark
constexpr std::size_t kIdentifierCompared = 5;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kValueFieldOffset = 8;

constexpr std::uint16_t kTagImageWidth = 0x0100;
constexpr std::uint16_t kTagImageLength = 0x0101;
constexpr std::uint16_t kTagExifPointer = 0x8769;
constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTagPixelXDimension = 0xA002;
constexpr std::uint16_t kTagPixelYDimension = 0xA003;

constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

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

class ByteOrder {
  public:
    explicit ByteOrder(bool bigEndian) : bigEndian_(bigEndian) {}

    std::uint16_t Get16(const std::uint8_t* p) const {
        return bigEndian_ ? static_cast<std::uint16_t>((p[0] << 8) | p[1])
                          : static_cast<std::uint16_t>((p[1] << 8) | p[0]);
    }
    std::uint32_t Get32(const std::uint8_t* p) const {
        const std::uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
        return bigEndian_ ? (b0 << 24) | (b1 << 16) | (b2 << 8) | b3
                          : (b3 << 24) | (b2 << 16) | (b1 << 8) | b0;
    }
    void Put16(std::uint8_t* p, std::uint16_t v) const {
        const auto hi = static_cast<std::uint8_t>(v >> 8), lo = static_cast<std::uint8_t>(v);
        p[0] = bigEndian_ ? hi : lo;
        p[1] = bigEndian_ ? lo : hi;
    }
    void Put32(std::uint8_t* p, std::uint32_t v) const {
        for (int i = 0; i < 4; ++i) {
            const int shift = bigEndian_ ? 24 - 8 * i : 8 * i;
            p[i] = static_cast<std::uint8_t>(v >> shift);
        }
    }

  private:
    bool bigEndian_;
};

// Reads the TIFF header; false when the mark or the magic number is wrong.
bool readTiffHeader(MemoryStream& block, bool& bigEndian, std::uint32_t& ifd0Offset) {
    std::array<std::uint8_t, 8> header{};
    block.SetPosition(kTiffHeaderOffset);
    if (block.Read(header.data(), header.size()) != header.size())
        return false;
    const bool intel = header[0] == 'I' && header[1] == 'I' && header[2] == 0x2A && header[3] == 0;
    const bool motorola =
        header[0] == 'M' && header[1] == 'M' && header[2] == 0 && header[3] == 0x2A;
    if (!intel && !motorola)
        return false;
    bigEndian = motorola;
    ifd0Offset = ByteOrder(bigEndian).Get32(header.data() + 4);
    return true;
}

class SizePatcher {
  public:
    SizePatcher(MemoryStream& block, ByteOrder order, std::uint32_t width, std::uint32_t height)
        : block_(block), order_(order), width_(width), height_(height) {}

    void WalkIfd0(std::uint32_t tiffOffset) {
        // Only the first Exif pointer is followed: a forged IFD0 of thousands of pointers to a
        // directory of thousands of entries would otherwise cost their product in reads.
        bool exifWalked = false;
        walkDirectory(tiffOffset, kTagImageWidth, kTagImageLength, [&](const Entry& e) {
            if (e.tag != kTagExifPointer || exifWalked)
                return;
            exifWalked = true;
            const std::int64_t next = block_.Position();
            walkDirectory(order_.Get32(e.bytes.data() + kValueFieldOffset), kTagPixelXDimension,
                          kTagPixelYDimension, [](const Entry&) {});
            block_.SetPosition(next);
        });
    }

  private:
    struct Entry {
        std::int64_t position = 0;
        std::uint16_t tag = 0;
        std::uint16_t type = 0;
        std::array<std::uint8_t, kEntrySize> bytes{};
    };

    std::uint16_t seekDirectory(std::uint32_t tiffOffset) {
        block_.SetPosition(kTiffHeaderOffset + tiffOffset);
        std::array<std::uint8_t, 2> count{};
        block_.ReadBuffer(count.data(), count.size());
        return order_.Get16(count.data());
    }

    Entry readEntry() {
        Entry e;
        e.position = block_.Position();
        block_.ReadBuffer(e.bytes.data(), e.bytes.size());
        e.tag = order_.Get16(e.bytes.data());
        e.type = order_.Get16(e.bytes.data() + 2);
        return e;
    }

    // Patches the directory's two size tags; every entry then goes to `then`, which may walk
    // elsewhere as long as it puts the read position back.
    template <typename Then>
    void walkDirectory(std::uint32_t tiffOffset,
                       std::uint16_t widthTag,
                       std::uint16_t heightTag,
                       Then then) {
        const std::uint16_t count = seekDirectory(tiffOffset);
        for (std::uint16_t i = 0; i < count; ++i) {
            const Entry e = readEntry();
            if (e.tag == widthTag)
                patch(e, width_);
            if (e.tag == heightTag)
                patch(e, height_);
            then(e);
        }
    }

    // The entry was read in full, so its value field lies inside the block.
    void patch(const Entry& e, std::uint32_t value) {
        std::uint8_t* field = block_.Data() + e.position + kValueFieldOffset;
        if (e.type == kTypeShort)
            order_.Put16(field, static_cast<std::uint16_t>(value));
        if (e.type == kTypeLong)
            order_.Put32(field, value);
    }

    MemoryStream& block_;
    ByteOrder order_;
    std::uint32_t width_;
    std::uint32_t height_;
};

// Where the value of IFD0's Orientation entry lies in `payload`, when the entry is there as a
// SHORT; every read is checked against the payload's end, as the block comes from the file.
std::optional<std::size_t> orientationField(std::span<const std::uint8_t> payload,
                                            bool& bigEndian) {
    constexpr std::size_t kHeaderEnd = kTiffHeaderOffset + 8;
    if (!IsExifPayload(payload) || payload.size() < kHeaderEnd)
        return std::nullopt;
    const std::uint8_t* header = payload.data() + kTiffHeaderOffset;
    const bool intel = header[0] == 'I' && header[1] == 'I' && header[2] == 0x2A && header[3] == 0;
    const bool motorola =
        header[0] == 'M' && header[1] == 'M' && header[2] == 0 && header[3] == 0x2A;
    if (!intel && !motorola)
        return std::nullopt;
    bigEndian = motorola;
    const ByteOrder order(bigEndian);
    const std::uint64_t ifd0 = kTiffHeaderOffset + std::uint64_t{order.Get32(header + 4)};
    if (ifd0 + 2 > payload.size())
        return std::nullopt;
    const std::uint16_t count = order.Get16(payload.data() + ifd0);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = ifd0 + 2 + i * kEntrySize;
        if (at + kEntrySize > payload.size())
            return std::nullopt;
        const std::uint8_t* entry = payload.data() + at;
        if (order.Get16(entry) == kTagOrientation && order.Get16(entry + 2) == kTypeShort)
            return static_cast<std::size_t>(at + kValueFieldOffset);
    }
    return std::nullopt;
}

}  // namespace

int ReadExifOrientation(std::span<const std::uint8_t> payload) {
    bool bigEndian = false;
    const auto field = orientationField(payload, bigEndian);
    if (!field)
        return 0;
    const int value = ByteOrder(bigEndian).Get16(payload.data() + *field);
    return value >= 1 && value <= 8 ? value : 0;
}

bool SetExifOrientationUpright(std::span<std::uint8_t> payload) {
    bool bigEndian = false;
    const auto field = orientationField(payload, bigEndian);
    if (!field)
        return false;
    ByteOrder(bigEndian).Put16(payload.data() + *field, 1);
    return true;
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
    bool bigEndian = false;
    std::uint32_t ifd0Offset = 0;
    if (!readTiffHeader(block, bigEndian, ifd0Offset))
        return false;
    SizePatcher(block, ByteOrder(bigEndian), static_cast<std::uint32_t>(width),
                static_cast<std::uint32_t>(height))
        .WalkIfd0(ifd0Offset);
    return true;
}

}  // namespace zelqor
