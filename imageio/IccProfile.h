// ICC colour profiles as JPEG files carry them: split over APP2 "ICC_PROFILE" chunks.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "JpegSegment.h"

namespace zelqor {

// What begins every APP2 payload that holds a piece of an ICC profile.
inline constexpr std::string_view kIccIdentifier("ICC_PROFILE\0", 12);

// The profile the chunks hold, put together by their sequence numbers; empty when the chunks
// do not make one whole profile (a number missing, repeated or out of range, counts that
// disagree).
std::vector<std::uint8_t> AssembleIccProfile(const SegmentPayloads& chunks);
// `profile` as APP2 payloads, each with the identifier, its number and the count, each small
// enough for one segment.
SegmentPayloads IccChunksOf(std::span<const std::uint8_t> profile);

enum class IccColourSpace { Unknown, Rgb, Grey, Cmyk, Other };
// The data colour space a profile's header declares.
IccColourSpace ColourSpaceOf(std::span<const std::uint8_t> profile);

}  // namespace zelqor
