// Finding the restart marker a one-scan JPEG can be cut at: the header walk, then the markers.
#include "JpegRestartSplit.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "JpegSegment.h"

namespace zelqor {
namespace {

constexpr std::uint8_t kMarkerSof0 = 0xC0;  // baseline
constexpr std::uint8_t kMarkerSof1 = 0xC1;  // extended sequential, Huffman-coded
constexpr std::uint8_t kMarkerDht = 0xC4;
constexpr std::uint8_t kMarkerDac = 0xCC;
constexpr std::uint8_t kMarkerRst0 = 0xD0;
constexpr std::uint8_t kMarkerRst7 = 0xD7;
constexpr std::uint8_t kMarkerDri = 0xDD;
constexpr std::uint8_t kMarkerTem = 0x01;
constexpr std::uint8_t kStuffedZero = 0x00;
constexpr int kComponents = 3;
constexpr int kRestartCycle = 8;  // RST0 .. RST7, then round again

std::uint32_t u16(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 8) | p[1];
}

bool isRestart(std::uint8_t marker) {
    return marker >= kMarkerRst0 && marker <= kMarkerRst7;
}
// Every frame kind other than the two sequential Huffman ones: progressive, lossless,
// hierarchical and arithmetic-coded files are cut no other way than whole.
bool isOtherFrame(std::uint8_t marker) {
    return marker >= 0xC2 && marker <= 0xCF && marker != kMarkerDht && marker != kMarkerDac;
}

struct Frame {
    std::size_t heightField = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maxH = 0;
    std::uint32_t maxV = 0;
    std::uint8_t ids[kComponents] = {};
};

bool readFrame(const std::uint8_t* seg, std::size_t length, std::size_t offset, Frame& frame) {
    if (length != 6 + 3 * kComponents || seg[0] != 8 || seg[5] != kComponents)
        return false;
    frame.heightField = offset + 1;
    frame.height = u16(seg + 1);
    frame.width = u16(seg + 3);
    if (frame.height == 0 || frame.width == 0)
        return false;
    for (int i = 0; i < kComponents; ++i) {
        const std::uint8_t* c = seg + 6 + 3 * i;
        const std::uint32_t h = c[1] >> 4, v = c[1] & 0xF;
        if (h < 1 || h > 4 || v < 1 || v > 4)
            return false;
        frame.ids[i] = c[0];
        frame.maxH = std::max(frame.maxH, h);
        frame.maxV = std::max(frame.maxV, v);
    }
    return true;
}

// One scan of every component, each named once, all of its coefficients at full precision.
bool isWholeScan(const std::uint8_t* seg, std::size_t length, const Frame& frame) {
    if (length != 4 + 2 * kComponents || seg[0] != kComponents)
        return false;
    for (int i = 0; i < kComponents; ++i) {
        const std::uint8_t id = seg[1 + 2 * i];
        for (int j = 0; j < i; ++j) {
            if (seg[1 + 2 * j] == id)
                return false;
        }
        if (std::memchr(frame.ids, id, kComponents) == nullptr)
            return false;
    }
    const std::uint8_t* tail = seg + 1 + 2 * kComponents;
    return tail[0] == 0 && tail[1] == 63 && tail[2] == 0;
}

// Offset of the `wanted`-th restart marker (counted from 1) of the data from `from`, each
// marker carrying the number the count gives it; nothing when the data ends, holds another
// marker first, or numbers one wrongly.
std::optional<std::size_t> findRestart(const std::uint8_t* data,
                                       std::size_t size,
                                       std::size_t from,
                                       std::uint64_t wanted) {
    std::uint64_t seen = 0;
    std::size_t pos = from;
    while (pos + 1 < size) {
        const void* hit = std::memchr(data + pos, kMarkerPrefix, size - pos - 1);
        if (hit == nullptr)
            return std::nullopt;
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
        const std::uint8_t next = data[pos + 1];
        if (next == kStuffedZero) {
            pos += 2;
        } else if (next == kMarkerPrefix) {
            ++pos;  // fill bytes may stand before a marker
        } else if (isRestart(next)) {
            ++seen;
            if (next != kMarkerRst0 + (seen - 1) % kRestartCycle)
                return std::nullopt;
            if (seen == wanted)
                return pos;
            pos += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<JpegRestartSplit> PlanRestartSplit(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || data[0] != kMarkerPrefix || data[1] != kMarkerSoi)
        return std::nullopt;
    Frame frame;
    bool haveFrame = false;
    std::uint32_t interval = 0;
    std::size_t pos = 2;
    std::size_t scanData = 0;
    while (scanData == 0) {
        if (pos + 4 > size || data[pos] != kMarkerPrefix)
            return std::nullopt;
        while (pos + 4 <= size && data[pos + 1] == kMarkerPrefix)
            ++pos;
        if (pos + 4 > size)
            return std::nullopt;
        const std::uint8_t marker = data[pos + 1];
        if (isRestart(marker) || marker == kMarkerTem || marker == kMarkerSoi ||
            isOtherFrame(marker))
            return std::nullopt;
        const std::size_t length = u16(data + pos + 2);
        if (length < 2 || length > size - pos - 2)
            return std::nullopt;
        const std::uint8_t* seg = data + pos + 4;
        const std::size_t payload = length - 2;
        if (marker == kMarkerSof0 || marker == kMarkerSof1) {
            if (haveFrame || !readFrame(seg, payload, pos + 4, frame))
                return std::nullopt;
            haveFrame = true;
        } else if (marker == kMarkerDri) {
            if (payload != 2)
                return std::nullopt;
            interval = u16(seg);
        } else if (marker == kMarkerSos) {
            if (!haveFrame || !isWholeScan(seg, payload, frame))
                return std::nullopt;
            scanData = pos + 2 + length;
        }
        pos += 2 + length;
    }
    if (interval == 0)
        return std::nullopt;

    const std::uint64_t mcuWidth = 8 * frame.maxH, mcuHeight = 8 * frame.maxV;
    const std::uint64_t perRow = (frame.width + mcuWidth - 1) / mcuWidth;
    const std::uint64_t rows = (frame.height + mcuHeight - 1) / mcuHeight;
    // Marker j stands before block group j * interval; it begins a row when that is a multiple
    // of the row's length, and it is RST7 when j is a multiple of 8.
    const std::uint64_t rowMarkers = perRow / std::gcd(perRow, std::uint64_t{interval});
    const std::uint64_t step = std::lcm(rowMarkers, std::uint64_t{kRestartCycle});
    const std::uint64_t rowsPerStep = step * interval / perRow;
    const std::uint64_t steps = (rows / 2 + rowsPerStep / 2) / rowsPerStep;
    const std::uint64_t topRows = steps * rowsPerStep;
    if (topRows * 4 < rows || topRows * 4 > rows * 3)
        return std::nullopt;
    JpegRestartSplit split;
    split.heightField = frame.heightField;
    split.scanData = scanData;
    split.topHeight = static_cast<int>(topRows * mcuHeight);
    split.height = static_cast<int>(frame.height);
    split.restartsBefore = steps * step;
    return split;
}

std::optional<JpegRestartSplit> FindRestartSplit(const std::uint8_t* data, std::size_t size) {
    std::optional<JpegRestartSplit> split = PlanRestartSplit(data, size);
    if (!split)
        return std::nullopt;
    const std::optional<std::size_t> cut =
        findRestart(data, size, split->scanData, split->restartsBefore);
    if (!cut)
        return std::nullopt;
    split->cut = *cut;
    return split;
}

}  // namespace zelqor
