// ICC colour profiles as JPEG files carry them: split over APP2 "ICC_PROFILE" chunks.
#pragma once

#include <cstddef>
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

// What building a LittleCMS transform from a profile would cost. The library samples the
// profile's whole pipeline at every grid point while it builds a transform, so a pipeline of
// thousands of stages takes seconds to minutes however small the picture; real profiles are a
// few megabytes at most with a handful of stages.
enum class IccProfileCost {
    Bounded,        // a transform may be built
    TooLarge,       // more bytes than any real profile holds
    TooManyStages,  // a pipeline LittleCMS would use has more stages than any real one
    Unreadable      // LittleCMS cannot open it
};
// Every transform the program builds from a file's profile asks this first, and sets a profile
// that is not Bounded aside (kProfileSetAsideNotice), converting as without one. It reads the
// tag directory and the pipelines' stage lists only, in a few milliseconds whatever the profile.
IccProfileCost JudgeIccProfileCost(std::span<const std::uint8_t> profile);
inline constexpr std::size_t kMostIccProfileBytes = std::size_t{6} << 20;
inline constexpr unsigned kMostIccPipelineStages = 32;
inline constexpr const char* kProfileSetAsideNotice =
    "its colour profile is far costlier than real ones and was not used; the colours are "
    "converted as without it";

enum class IccColourSpace { Unknown, Rgb, Grey, Cmyk, Other };
// The data colour space a profile's header declares.
IccColourSpace ColourSpaceOf(std::span<const std::uint8_t> profile);

}  // namespace zelqor
