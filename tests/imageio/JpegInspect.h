// Reading back what a save wrote (markers, payloads, Exif size fields) and building its input.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "ImageFile.h"
#include "JpegSegment.h"
#include "Stream.h"

namespace zelqor {

inline std::vector<std::uint8_t> exifOf(const std::vector<std::uint8_t>& file) {
    MemoryStream source(file);
    MemoryStream block;
    ReadJpegSegmentFromStream(block, source, kMarkerApp1);
    return block.Bytes();
}

// Each `marker` payload that begins with `prefix`, one entry per segment, as our walk reads them.
inline std::vector<std::vector<std::uint8_t>> payloadsOf(const std::vector<std::uint8_t>& file,
                                                         std::uint8_t marker,
                                                         std::string_view prefix = {}) {
    MemoryStream source(file);
    SegmentPayloads found;
    ReadJpegPayloadsFromStream(found, source, marker, prefix);
    std::vector<std::vector<std::uint8_t>> out;
    for (std::size_t i = 0; i < found.Count(); ++i)
        out.emplace_back(found.Payload(i).begin(), found.Payload(i).end());
    return out;
}
inline std::vector<std::vector<std::uint8_t>> app1Payloads(const std::vector<std::uint8_t>& file) {
    return payloadsOf(file, kMarkerApp1);
}
inline std::vector<std::vector<std::uint8_t>> iccChunks(const std::vector<std::uint8_t>& file) {
    return payloadsOf(file, kMarkerApp2, std::string_view("ICC_PROFILE\0", 12));
}

// A save's metadata holding `app1` as its APP1 payloads, in this order.
inline MetadataBlock metadataOf(const std::vector<std::vector<std::uint8_t>>& app1) {
    MetadataBlock block;
    for (const auto& payload : app1)
        block.app1.Append(payload);
    return block;
}

// The marker codes from SOI to the first SOS, as a reader meets them.
inline std::vector<std::uint8_t> markersBeforeScan(const std::vector<std::uint8_t>& file) {
    std::vector<std::uint8_t> codes;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const std::uint8_t code = file[at + 1];
        codes.push_back(code);
        if (code == 0xDA)
            break;
        at += 2 + ((file[at + 2] << 8) | file[at + 3]);
    }
    return codes;
}

// PixelXDimension and PixelYDimension of an Exif block, found by the tag bytes of a
// little- or big-endian entry (camera blocks hold each tag once).
inline std::pair<std::uint32_t, std::uint32_t> pixelDimensions(
    const std::vector<std::uint8_t>& block) {
    const bool big = block[6] == 'M';
    auto get = [&](std::size_t at, int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const std::uint32_t b = block[at + (big ? i : n - 1 - i)];
            v = (v << 8) | b;
        }
        return v;
    };
    std::uint32_t dims[2] = {0, 0};
    for (int which = 0; which < 2; ++which) {
        const std::uint16_t tag = which == 0 ? 0xA002 : 0xA003;
        for (std::size_t at = 14; at + 12 <= block.size(); ++at) {
            if (get(at, 2) != tag)
                continue;
            const std::uint32_t type = get(at + 2, 2);
            if (type != 3 && type != 4)
                continue;
            dims[which] = type == 3 ? get(at + 8, 2) : get(at + 8, 4);
            break;
        }
    }
    return {dims[0], dims[1]};
}

}  // namespace zelqor
