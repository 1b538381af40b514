// Reading and writing the marker structure of a JPEG stream up to its first scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Stream.h"

namespace zelqor {

inline constexpr std::uint8_t kMarkerPrefix = 0xFF;
inline constexpr std::uint8_t kMarkerSoi = 0xD8;
inline constexpr std::uint8_t kMarkerSos = 0xDA;
inline constexpr std::uint8_t kMarkerApp0 = 0xE0;
inline constexpr std::uint8_t kMarkerApp1 = 0xE1;
// The largest payload one segment can carry: its 16-bit length counts itself too.
inline constexpr std::size_t kMaxSegmentPayload = 0xFFFD;

// Opens `fileName` for reading and appends to `block` the payload of every segment with
// `marker` before the first scan. The block is never cleared. Returns true when the walk
// reached SOS. A file that cannot be opened throws the open error; a payload that runs past
// the end of the file throws the stream read error (payloads collected before it stay).
bool ReadJpegSegment(MemoryStream& block, const std::string& fileName, std::uint8_t marker);

// The same walk on `source` from its current position.
bool ReadJpegSegmentFromStream(MemoryStream& block, Stream& source, std::uint8_t marker);

// Copies the encoded JPEG `source` to `dest`, inserting `data` as one or more `marker`
// segments right after SOI, dropping APP0 and every segment of `source` that carries `marker`,
// and copying SOS onward unchanged. Returns true when SOS was reached and copied.
bool InsertJpegSegment(Stream& dest,
                       Stream& source,
                       const std::uint8_t* data,
                       std::size_t size,
                       std::uint8_t marker);

}  // namespace zelqor
