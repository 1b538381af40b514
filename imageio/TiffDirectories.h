// The directory chain of TIFF files read as bytes: pages counted, loops found, Exif moved.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zelqor {

inline constexpr std::uint16_t kExifIfdTag = 34665;
inline constexpr std::uint16_t kGpsIfdTag = 34853;

// How many directories (pages) a TIFF or BigTIFF file's chain holds, or nothing when the chain
// comes back to a directory already seen. A chain that runs out of the file ends there (the
// pages before stay readable).
std::optional<std::size_t> CountTiffDirectories(std::span<const std::uint8_t> file);

// The Exif block of a classic TIFF file, in the file's byte order: IFD0's descriptive tags
// (make, model, dates, orientation, resolution, rights) with the Exif and GPS directories they
// point at, every value copied and its offset relocated. Empty when the file has none of them
// or is a BigTIFF.
std::vector<std::uint8_t> ExifBlockOfTiff(std::span<const std::uint8_t> file);

// An ASCII entry of an Exif block's IFD0 (Make, Model, ...) without its closing NUL.
std::optional<std::string> ExifAsciiTag(std::span<const std::uint8_t> exif, std::uint16_t tag);
// True when the block is big-endian ("MM").
bool ExifIsBigEndian(std::span<const std::uint8_t> exif);

// True when the block's IFD0 points at a directory for `tag` (kExifIfdTag, kGpsIfdTag) that
// holds at least one readable entry: what AttachExifDirectories can copy.
bool ExifHasDirectory(std::span<const std::uint8_t> exif, std::uint16_t tag);

// Copies the Exif and GPS directories of `exif` to the end of `file`, a classic TIFF in the
// same byte order whose IFD0 already has the pointer entries (34665, 34853) for them, and
// points those entries at the copies. An entry whose directory the block lacks is left; false
// when the file's IFD0 cannot be read.
bool AttachExifDirectories(std::vector<std::uint8_t>& file, std::span<const std::uint8_t> exif);

}  // namespace zelqor
