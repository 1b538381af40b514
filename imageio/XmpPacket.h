// The XMP packet of a JPEG's APP1 segment, as far as the pixels' orientation concerns it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zelqor {

// What begins the APP1 payload that holds the XMP packet.
inline constexpr std::string_view kXmpIdentifier("http://ns.adobe.com/xap/1.0/\0", 29);

bool IsXmpPayload(std::span<const std::uint8_t> payload);

// The packet's tiff:Orientation (as an attribute or an element): 1 to 8, or 0 when it has none.
int ReadXmpOrientation(std::span<const std::uint8_t> payload);
// Sets every tiff:Orientation of an XMP payload to 1 in place, one digit each, once the pixels
// have been turned upright: a program that trusts XMP over Exif must not turn them again. The
// packet keeps its length; false when it holds no such property.
bool SetXmpOrientationUpright(std::span<std::uint8_t> payload);

}  // namespace zelqor
