// The one table of picture formats: what each is called, how its files are named and recognised,
// how it is read and written. The loader, the dialogs, the batch tool and the package read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DecodedPicture.h"
#include "ImageFile.h"
#include "Stream.h"
#include "WorkingBitmap.h"

namespace zelqor {

enum class PictureFormatId { Jpeg, Png, Bmp, Heif, Avif, Webp, Tiff, Jxl };

struct PictureFormat {
    PictureFormatId id;
    std::string_view name;  // "JPEG", "PNG", "BMP", "HEIF", ...
    std::span<const std::string_view>
        extensions;  // lower case, no dot; the first is what a save appends
    std::span<const std::string_view> mimeTypes;
    bool (*matches)(const std::uint8_t* data, std::size_t size);  // its first bytes
    std::string_view cliName;  // the batch tool's --format name; empty when not writable
    // Decodes a whole file's bytes; empty for the formats the loader streams itself (JPEG, PNG
    // and BMP, which are read only up to the picture's end).
    DecodedPicture (*decode)(const std::uint8_t* data,
                             std::size_t size,
                             std::uint64_t maxPixels,
                             OrientationHandling orientation);
    // The picture comes in as stored when asked (OrientationHandling::AsStored). False where
    // there is no stored order to keep: HEIF's rotation and mirror are part of the picture,
    // and a WebP is always read as stored, its Exif Orientation left to whoever shows it.
    bool keepsStoredOrder;
    // Writes the picture with what `exif` keeps of `metadata`; empty when not writable.
    void (*write)(Stream& out,
                  const WorkingBitmap& bitmap,
                  int quality,
                  const MetadataBlock& metadata,
                  ExifTreatment exif);
};

// JPEG first; the order of the dialogs.
std::span<const PictureFormat> PictureFormats();
// Case ignored; nullptr if none.
const PictureFormat* FormatByExtension(std::string_view ext);
// The format whose signature `data` starts with; nullptr if none.
const PictureFormat* FormatOfBytes(const std::uint8_t* data, std::size_t size);
const PictureFormat& FormatById(PictureFormatId id);
bool IsWritable(const PictureFormat&);

// The names of the readable formats, for a message: "JPEG, PNG, BMP, ...".
std::string ReadableFormatNames();
// `items` as words say them, for help texts and manuals: "a, b and c" with `last` "and".
std::string SpokenList(const std::vector<std::string>& items, std::string_view last);
// The longest signature any row looks at: a loader reads this much before it decides.
inline constexpr std::size_t kSignatureBytes = 32;

// What `exif` keeps of `metadata` for a writer that takes metadata in the neutral shape: the
// Exif block (upright unless the stored orientation is kept; its size fields set to
// width x height under FixSize), the XMP packet, and the profile when it describes RGB (always,
// as a JPEG save keeps it).
struct KeptMetadata {
    std::vector<std::uint8_t> exif;
    std::vector<std::uint8_t> xmp;
    std::vector<std::uint8_t> icc;
    MetadataPieces Pieces() const { return {exif, xmp, icc}; }
};
KeptMetadata KeepMetadata(const MetadataBlock& metadata, ExifTreatment exif, int width, int height);

// Saves as `format` (JPEG exactly as SaveJpegFile), safely (temp file renamed over), with the
// metadata the Exif choice keeps. A format without a writer throws the stream write error.
void SavePictureFile(const std::string& path,
                     PictureFormatId format,
                     const WorkingBitmap& bitmap,
                     int quality,
                     const MetadataBlock& metadata,
                     ExifTreatment exif);

}  // namespace zelqor
