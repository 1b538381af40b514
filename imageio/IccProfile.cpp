// Putting an ICC profile together from its APP2 chunks, splitting one up, reading its header.
#include "IccProfile.h"

#include <algorithm>
#include <cstring>

#include <lcms2.h>

namespace zelqor {

namespace {

constexpr std::size_t kChunkHeader = kIccIdentifier.size() + 2;  // identifier, number, count
constexpr std::size_t kMaxChunkData = kMaxSegmentPayload - kChunkHeader;
constexpr std::size_t kColourSpaceOffset = 16;
constexpr std::size_t kProfileHeaderSize = 128;

bool isIccChunk(std::span<const std::uint8_t> payload) {
    return payload.size() >= kChunkHeader &&
           std::memcmp(payload.data(), kIccIdentifier.data(), kIccIdentifier.size()) == 0;
}

}  // namespace

std::vector<std::uint8_t> AssembleIccProfile(const SegmentPayloads& chunks) {
    const std::size_t count = chunks.Count();
    if (count == 0 || count > 255)
        return {};
    std::vector<std::span<const std::uint8_t>> bySequence(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::span<const std::uint8_t> chunk = chunks.Payload(i);
        if (!isIccChunk(chunk))
            return {};
        const std::size_t number = chunk[kIccIdentifier.size()];
        const std::size_t declared = chunk[kIccIdentifier.size() + 1];
        if (declared != count || number < 1 || number > count || !bySequence[number - 1].empty())
            return {};
        bySequence[number - 1] = chunk.subspan(kChunkHeader);
    }
    std::vector<std::uint8_t> profile;
    for (const auto& data : bySequence)
        profile.insert(profile.end(), data.begin(), data.end());
    return profile;
}

SegmentPayloads IccChunksOf(std::span<const std::uint8_t> profile) {
    SegmentPayloads chunks;
    const std::size_t count = (profile.size() + kMaxChunkData - 1) / kMaxChunkData;
    if (count == 0 || count > 255)
        return chunks;
    for (std::size_t i = 0; i < count; ++i) {
        const std::span<const std::uint8_t> data = profile.subspan(
            i * kMaxChunkData, std::min(kMaxChunkData, profile.size() - i * kMaxChunkData));
        std::vector<std::uint8_t> chunk(kIccIdentifier.begin(), kIccIdentifier.end());
        chunk.push_back(static_cast<std::uint8_t>(i + 1));
        chunk.push_back(static_cast<std::uint8_t>(count));
        chunk.insert(chunk.end(), data.begin(), data.end());
        chunks.Append(chunk);
    }
    return chunks;
}

namespace {

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The element count a multi-process-element tag declares, read from the tag table itself:
// LittleCMS reads such a tag's elements one by one, inserting each at the end of a list, so
// asking it would already cost what the gate is there to spare.
bool declaresTooManyElements(std::span<const std::uint8_t> profile) {
    constexpr std::size_t kTagTable = kProfileHeaderSize;
    constexpr std::size_t kTagEntry = 12;
    if (profile.size() < kTagTable + 4)
        return false;
    const std::uint64_t count = bigEndian32(profile.data() + kTagTable);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t entry = kTagTable + 4 + i * kTagEntry;
        if (entry + kTagEntry > profile.size())
            break;
        const std::uint64_t offset = bigEndian32(profile.data() + entry + 4);
        if (offset > profile.size() || profile.size() - offset < 16)
            continue;
        const std::uint8_t* tag = profile.data() + offset;
        if (std::memcmp(tag, "mpet", 4) == 0 && bigEndian32(tag + 12) > kMostIccPipelineStages)
            return true;
    }
    return false;
}

}  // namespace

IccProfileCost JudgeIccProfileCost(std::span<const std::uint8_t> profile) {
    if (profile.size() > kMostIccProfileBytes)
        return IccProfileCost::TooLarge;
    if (declaresTooManyElements(profile))
        return IccProfileCost::TooManyStages;
    cmsHPROFILE h =
        cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    if (h == nullptr)
        return IccProfileCost::Unreadable;
    // Every pipeline a transform may take, whichever intent and direction: the 8-bit LUTs and
    // the floating-point ones, which take precedence where present.
    static constexpr cmsTagSignature kPipelines[] = {
        cmsSigAToB0Tag,    cmsSigAToB1Tag,    cmsSigAToB2Tag,   cmsSigBToA0Tag, cmsSigBToA1Tag,
        cmsSigBToA2Tag,    cmsSigDToB0Tag,    cmsSigDToB1Tag,   cmsSigDToB2Tag, cmsSigDToB3Tag,
        cmsSigBToD0Tag,    cmsSigBToD1Tag,    cmsSigBToD2Tag,   cmsSigBToD3Tag, cmsSigGamutTag,
        cmsSigPreview0Tag, cmsSigPreview1Tag, cmsSigPreview2Tag};
    IccProfileCost cost = IccProfileCost::Bounded;
    for (const cmsTagSignature tag : kPipelines) {
        if (!cmsIsTag(h, tag))
            continue;
        const auto* pipeline = static_cast<const cmsPipeline*>(cmsReadTag(h, tag));
        if (pipeline == nullptr) {
            // A pipeline that does not read would fail the transform anyway.
            cost = IccProfileCost::Unreadable;
            break;
        }
        if (cmsPipelineStageCount(pipeline) > kMostIccPipelineStages) {
            cost = IccProfileCost::TooManyStages;
            break;
        }
    }
    cmsCloseProfile(h);
    return cost;
}

IccColourSpace ColourSpaceOf(std::span<const std::uint8_t> profile) {
    if (profile.size() < kProfileHeaderSize)
        return IccColourSpace::Unknown;
    const std::string_view space(reinterpret_cast<const char*>(profile.data()) + kColourSpaceOffset,
                                 4);
    if (space == "RGB ")
        return IccColourSpace::Rgb;
    if (space == "GRAY")
        return IccColourSpace::Grey;
    if (space == "CMYK")
        return IccColourSpace::Cmyk;
    return IccColourSpace::Other;
}

}  // namespace zelqor
