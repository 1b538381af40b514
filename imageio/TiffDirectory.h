// Reading and patching the directories of a TIFF structure (an Exif block after its identifier)
// in the structure's own byte order, every access checked against its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zelqor {

inline constexpr std::uint16_t kTiffTypeShort = 3;
inline constexpr std::uint16_t kTiffTypeLong = 4;
inline constexpr std::size_t kTiffEntrySize = 12;
inline constexpr std::size_t kTiffValueField = 8;  // within an entry

struct TiffEntry {
    std::size_t at = 0;  // the entry's offset in the structure
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint32_t value = 0;       // the value field as a LONG
    std::uint16_t shortValue = 0;  // its first two bytes as a SHORT
    std::size_t ValueAt() const { return at + kTiffValueField; }
};

// The structure's bytes are borrowed; offsets count from its byte-order mark.
class TiffView {
  public:
    // Nothing unless `tiff` begins with "II" and 42 little-endian or "MM" and 42 big-endian.
    static std::optional<TiffView> Open(std::span<const std::uint8_t> tiff);

    std::uint32_t FirstDirectory() const { return first_; }
    std::size_t Size() const { return tiff_.size(); }

    // Nothing where the bytes would run past the end.
    std::optional<std::uint16_t> U16(std::uint64_t at) const;
    std::optional<std::uint32_t> U32(std::uint64_t at) const;
    // The entry count of the directory at `directory`, its entry `index`, and the link to the
    // directory after it (0 for none).
    std::optional<std::uint16_t> EntryCount(std::uint64_t directory) const;
    std::optional<TiffEntry> Entry(std::uint64_t directory, std::size_t index) const;
    std::optional<std::uint32_t> NextDirectory(std::uint64_t directory) const;
    // Where the link to the next directory lies: after the entries.
    std::optional<std::size_t> NextLinkAt(std::uint64_t directory) const;
    // The first entry of `tag` in the directory; nothing when it has none or runs past the end
    // before it.
    std::optional<TiffEntry> Find(std::uint64_t directory, std::uint16_t tag) const;

    // Writes in the structure's byte order into `tiff` (the same bytes, writable); a write that
    // would pass the end writes nothing.
    void Put16(std::span<std::uint8_t> tiff, std::uint64_t at, std::uint16_t value) const;
    void Put32(std::span<std::uint8_t> tiff, std::uint64_t at, std::uint32_t value) const;

  private:
    TiffView(std::span<const std::uint8_t> tiff, bool bigEndian);
    std::span<const std::uint8_t> tiff_;
    bool bigEndian_;
    std::uint32_t first_ = 0;
};

}  // namespace zelqor
