// Just enough of an HEVC sequence parameter set to reach its picture size.
#include "HevcPictureSize.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace zelqor {

namespace {

constexpr int kSpsNalType = 33;
constexpr std::size_t kHvccHeader = 22;  // the fixed fields before the arrays

// Bits of a NAL unit's payload, with the emulation prevention bytes (00 00 03) taken out.
class BitReader {
  public:
    explicit BitReader(std::span<const std::uint8_t> nal) {
        int zeros = 0;
        for (const std::uint8_t b : nal) {
            if (zeros >= 2 && b == 3) {
                zeros = 0;
                continue;
            }
            zeros = b == 0 ? zeros + 1 : 0;
            bytes_.push_back(b);
        }
    }
    std::optional<std::uint32_t> Bits(int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            if (position_ >= bytes_.size() * 8)
                return std::nullopt;
            v = (v << 1) | ((bytes_[position_ / 8] >> (7 - position_ % 8)) & 1);
            ++position_;
        }
        return v;
    }
    // Exp-Golomb: the values a parameter set's sizes are written in.
    std::optional<std::uint64_t> Unsigned() {
        int leading = 0;
        for (;;) {
            const auto bit = Bits(1);
            if (!bit)
                return std::nullopt;
            if (*bit == 1)
                break;
            if (++leading > 31)
                return std::nullopt;
        }
        const auto rest = Bits(leading);
        if (!rest)
            return std::nullopt;
        return (std::uint64_t{1} << leading) - 1 + *rest;
    }
    bool Skip(std::size_t n) {
        position_ += n;
        return position_ <= bytes_.size() * 8;
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

std::optional<CodedSize> spsSize(std::span<const std::uint8_t> nal) {
    BitReader r(nal);
    if (!r.Skip(16 + 4))  // NAL header, video parameter set id
        return std::nullopt;
    const auto subLayers = r.Bits(3);
    if (!subLayers || !r.Skip(1 + 88 + 8))  // nesting flag, general profile, level
        return std::nullopt;
    std::vector<std::pair<bool, bool>> present(*subLayers);
    for (auto& [profile, level] : present) {
        const auto p = r.Bits(1), l = r.Bits(1);
        if (!p || !l)
            return std::nullopt;
        profile = *p, level = *l;
    }
    if (*subLayers > 0 && !r.Skip(2 * (8 - *subLayers)))
        return std::nullopt;
    for (const auto& [profile, level] : present) {
        if (!r.Skip((profile ? 88 : 0) + (level ? 8 : 0)))
            return std::nullopt;
    }
    const auto id = r.Unsigned();
    const auto chroma = r.Unsigned();
    if (!id || !chroma || (*chroma == 3 && !r.Skip(1)))
        return std::nullopt;
    const auto width = r.Unsigned();
    const auto height = r.Unsigned();
    if (!width || !height)
        return std::nullopt;
    return CodedSize{*width, *height};
}

std::uint64_t big16(const std::uint8_t* p) {
    return (std::uint64_t{p[0]} << 8) | p[1];
}

}  // namespace

CodedSize LargestHevcPicture(std::span<const std::uint8_t> file) {
    CodedSize largest;
    const auto consider = [&](CodedSize s) {
        if (s.width * s.height > largest.width * largest.height || s.width > largest.width ||
            s.height > largest.height)
            largest = {std::max(largest.width, s.width), std::max(largest.height, s.height)};
    };
    for (std::size_t at = 4; at + 4 <= file.size(); ++at) {
        if (std::memcmp(file.data() + at, "hvcC", 4) != 0)
            continue;
        const std::size_t boxEnd = std::min<std::uint64_t>(
            file.size(), at - 4 +
                             ((std::uint64_t{file[at - 4]} << 24) | (file[at - 3] << 16) |
                              (file[at - 2] << 8) | file[at - 1]));
        std::size_t p = at + 4 + kHvccHeader;
        if (p >= boxEnd)
            continue;
        const int arrays = file[p++];
        for (int a = 0; a < arrays && p + 3 <= boxEnd; ++a) {
            const int type = file[p] & 0x3F;
            const std::uint64_t count = big16(file.data() + p + 1);
            p += 3;
            for (std::uint64_t n = 0; n < count && p + 2 <= boxEnd; ++n) {
                const std::uint64_t length = big16(file.data() + p);
                p += 2;
                if (length > boxEnd - p)
                    break;
                // One that cannot be read is the decoder's to refuse.
                if (type == kSpsNalType) {
                    if (const auto size = spsSize(file.subspan(p, length)))
                        consider(*size);
                }
                p += length;
            }
        }
    }
    return largest;
}

}  // namespace zelqor
