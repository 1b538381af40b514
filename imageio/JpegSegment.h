// Reading and writing the marker structure of a JPEG stream up to its first scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Stream.h"

namespace zelqor {

inline constexpr std::uint8_t kMarkerPrefix = 0xFF;
inline constexpr std::uint8_t kMarkerSoi = 0xD8;
inline constexpr std::uint8_t kMarkerSos = 0xDA;
inline constexpr std::uint8_t kMarkerApp0 = 0xE0;
inline constexpr std::uint8_t kMarkerApp1 = 0xE1;
inline constexpr std::uint8_t kMarkerApp2 = 0xE2;
inline constexpr std::uint8_t kMarkerApp13 = 0xED;  // IPTC, inside Photoshop's resource blocks
inline constexpr std::uint8_t kMarkerCom = 0xFE;
// The largest payload one segment can carry: its 16-bit length counts itself too.
inline constexpr std::size_t kMaxSegmentPayload = 0xFFFD;

// Payloads of one segment kind in stream order, back to back in one buffer with where each
// begins, so that they can be written back as the separate segments they came from.
struct SegmentPayloads {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> starts;  // ascending offsets into `bytes`, one per payload

    std::size_t Count() const { return starts.size(); }
    std::span<const std::uint8_t> Payload(std::size_t index) const;
    void Append(std::span<const std::uint8_t> payload);
    bool operator==(const SegmentPayloads&) const = default;
};

// Opens `fileName` for reading and appends to `block` the payload of every segment with
// `marker` before the first scan. The block is never cleared. Returns true when the walk
// reached SOS. A file that cannot be opened throws the open error; a payload that runs past
// the end of the file throws the stream read error (payloads collected before it stay).
bool ReadJpegSegment(MemoryStream& block, const std::string& fileName, std::uint8_t marker);

// The same walk on `source` from its current position.
bool ReadJpegSegmentFromStream(MemoryStream& block, Stream& source, std::uint8_t marker);

// The same walk on `source` from its current position, appending each payload of a `marker`
// segment that begins with `prefix` (every one for an empty prefix) to `payloads` as an entry
// of its own. A payload that runs past the end throws the stream read error; the entries
// before it stay, and no partial one is added.
bool ReadJpegPayloadsFromStream(SegmentPayloads& payloads,
                                Stream& source,
                                std::uint8_t marker,
                                std::string_view prefix = {});

// Data for InsertJpegSegments, written as one `marker` segment, or as consecutive ones when it
// is longer than kMaxSegmentPayload; empty data writes nothing.
struct InsertedSegment {
    std::uint8_t marker = 0;
    std::span<const std::uint8_t> data;
};

// What becomes of the encoder's JFIF header (APP0) when segments are inserted.
enum class JfifHeader {
    Dropped,  // the inserted segments follow SOI
    Kept      // they follow the JFIF header, which must come first
};

// Copies the encoded JPEG `source` to `dest`, inserting `segments` in their order right after
// SOI, dropping APP0 and every segment of `source` whose marker one of `segments` carries, and
// copying SOS onward unchanged. Returns true when SOS was reached and copied.
bool InsertJpegSegments(Stream& dest,
                        Stream& source,
                        std::span<const InsertedSegment> segments,
                        JfifHeader jfif = JfifHeader::Dropped);

// InsertJpegSegments with `data` as the one inserted run.
bool InsertJpegSegment(Stream& dest,
                       Stream& source,
                       const std::uint8_t* data,
                       std::size_t size,
                       std::uint8_t marker);

}  // namespace zelqor
