// The picture format table and the save that writes any of its writable rows.
#include "PictureFormats.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "ExifThumbnail.h"
#include "HeifReader.h"
#include "IccProfile.h"
#include "ImageIoError.h"
#include "ImageWriters.h"
#include "JpegSegment.h"
#include "JxlReader.h"
#include "MemExif.h"
#include "Orientation.h"
#include "PngReader.h"
#include "TiffReader.h"
#include "TiffWriter.h"
#include "WebpReader.h"
#include "WebpWriter.h"
#include "XmpPacket.h"

namespace zelqor {

namespace {

bool hasJpegSignature(const std::uint8_t* data, std::size_t size) {
    return size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}
bool hasBmpSignature(const std::uint8_t* data, std::size_t size) {
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

// Neither has a stored order to keep (PictureFormat::keepsStoredOrder).
DecodedPicture decodeHeif(const std::uint8_t* data,
                          std::size_t size,
                          std::uint64_t maxPixels,
                          OrientationHandling) {
    return DecodeHeif(data, size, maxPixels);
}
DecodedPicture decodeWebp(const std::uint8_t* data,
                          std::size_t size,
                          std::uint64_t maxPixels,
                          OrientationHandling) {
    return DecodeWebp(data, size, maxPixels);
}

void writeJpeg(Stream& out,
               const WorkingBitmap& bitmap,
               int quality,
               const MetadataBlock& metadata,
               ExifTreatment exif) {
    const std::vector<std::uint8_t> bytes = BuildJpegFile(bitmap, quality, metadata, exif);
    out.WriteBuffer(bytes.data(), bytes.size());
}
void writePng(Stream& out,
              const WorkingBitmap& bitmap,
              int,
              const MetadataBlock& metadata,
              ExifTreatment exif) {
    const KeptMetadata kept = KeepMetadata(metadata, exif, bitmap.Width(), bitmap.Height());
    WritePng(bitmap, kept.Pieces(), out);
}
// A bitmap file has no place for metadata.
void writeBmp(Stream& out, const WorkingBitmap& bitmap, int, const MetadataBlock&, ExifTreatment) {
    WriteBmp(bitmap, out);
}
void writeTiff(Stream& out,
               const WorkingBitmap& bitmap,
               int,
               const MetadataBlock& metadata,
               ExifTreatment exif) {
    const KeptMetadata kept = KeepMetadata(metadata, exif, bitmap.Width(), bitmap.Height());
    WriteTiff(bitmap, kept.Pieces(), out);
}
void writeWebp(Stream& out,
               const WorkingBitmap& bitmap,
               int quality,
               const MetadataBlock& metadata,
               ExifTreatment exif) {
    const KeptMetadata kept = KeepMetadata(metadata, exif, bitmap.Width(), bitmap.Height());
    WriteWebp(bitmap, quality, kept.Pieces(), out);
}

using Names = std::string_view;
constexpr std::array<Names, 5> kJpegExtensions{"jpg", "jpeg", "jpe", "jfif", "jif"};
constexpr std::array<Names, 1> kJpegTypes{"image/jpeg"};
constexpr std::array<Names, 1> kPngExtensions{"png"};
constexpr std::array<Names, 1> kPngTypes{"image/png"};
constexpr std::array<Names, 1> kBmpExtensions{"bmp"};
constexpr std::array<Names, 1> kBmpTypes{"image/bmp"};
// Sony and Canon cameras name their 10-bit HEIF files .HIF.
constexpr std::array<Names, 3> kHeifExtensions{"heic", "heif", "hif"};
constexpr std::array<Names, 2> kHeifTypes{"image/heic", "image/heif"};
constexpr std::array<Names, 1> kAvifExtensions{"avif"};
constexpr std::array<Names, 1> kAvifTypes{"image/avif"};
constexpr std::array<Names, 1> kWebpExtensions{"webp"};
constexpr std::array<Names, 1> kWebpTypes{"image/webp"};
constexpr std::array<Names, 2> kTiffExtensions{"tif", "tiff"};
constexpr std::array<Names, 1> kTiffTypes{"image/tiff"};
constexpr std::array<Names, 1> kJxlExtensions{"jxl"};
constexpr std::array<Names, 1> kJxlTypes{"image/jxl"};

// The dialogs' order: JPEG first, the writable ones as the save dialog lists them.
const std::array<PictureFormat, 8> kFormats{{
    {PictureFormatId::Jpeg, "JPEG", kJpegExtensions, kJpegTypes, hasJpegSignature, "jpeg", nullptr,
     true, writeJpeg},
    {PictureFormatId::Png, "PNG", kPngExtensions, kPngTypes, HasPngSignature, "png", nullptr, false,
     writePng},
    {PictureFormatId::Heif, "HEIF", kHeifExtensions, kHeifTypes, HasHeifSignature, "", decodeHeif,
     false, nullptr},
    {PictureFormatId::Avif, "AVIF", kAvifExtensions, kAvifTypes, HasAvifSignature, "", decodeHeif,
     false, nullptr},
    {PictureFormatId::Tiff, "TIFF", kTiffExtensions, kTiffTypes, HasTiffSignature, "tiff",
     DecodeTiff, true, writeTiff},
    {PictureFormatId::Webp, "WebP", kWebpExtensions, kWebpTypes, HasWebpSignature, "webp",
     decodeWebp, false, writeWebp},
    {PictureFormatId::Jxl, "JPEG XL", kJxlExtensions, kJxlTypes, HasJxlSignature, "", DecodeJxl,
     true, nullptr},
    {PictureFormatId::Bmp, "BMP", kBmpExtensions, kBmpTypes, hasBmpSignature, "bmp", nullptr, false,
     writeBmp},
}};

bool equalIgnoringCase(std::string_view lower, std::string_view any) {
    return lower.size() == any.size() &&
           std::equal(lower.begin(), lower.end(), any.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

}  // namespace

std::span<const PictureFormat> PictureFormats() {
    return kFormats;
}

const PictureFormat* FormatByExtension(std::string_view ext) {
    for (const PictureFormat& format : kFormats) {
        for (const std::string_view known : format.extensions) {
            if (equalIgnoringCase(known, ext))
                return &format;
        }
    }
    return nullptr;
}

const PictureFormat* FormatOfBytes(const std::uint8_t* data, std::size_t size) {
    for (const PictureFormat& format : kFormats) {
        if (format.matches(data, size))
            return &format;
    }
    return nullptr;
}

const PictureFormat& FormatById(PictureFormatId id) {
    for (const PictureFormat& format : kFormats) {
        if (format.id == id)
            return format;
    }
    return kFormats.front();
}

bool IsWritable(const PictureFormat& format) {
    return format.write != nullptr;
}

std::string ReadableFormatNames() {
    std::string names;
    for (const PictureFormat& format : kFormats) {
        if (!names.empty())
            names += ", ";
        names += format.name;
    }
    return names;
}

std::string SpokenList(const std::vector<std::string>& items, std::string_view last) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        // Appended piece by piece: GCC 12 takes a joined temporary here for an overlap.
        if (i + 1 == items.size() && i > 0) {
            text += ' ';
            text += last;
            text += ' ';
        } else if (i > 0) {
            text += ", ";
        }
        text += items[i];
    }
    return text;
}

KeptMetadata KeepMetadata(const MetadataBlock& metadata,
                          ExifTreatment exif,
                          int width,
                          int height) {
    KeptMetadata kept;
    std::vector<std::uint8_t> profile = metadata.IccProfile();
    // The pixels are written as RGB; a grey or CMYK source's profile would misdescribe them.
    if (ColourSpaceOf(profile) == IccColourSpace::Rgb)
        kept.icc = std::move(profile);
    if (exif == ExifTreatment::None)
        return kept;
    int turnedFrom = kOrientationUpright;
    for (std::size_t i = 0; i < metadata.app1.Count(); ++i) {
        const std::span<const std::uint8_t> payload = metadata.app1.Payload(i);
        if (kept.exif.empty() && IsExifPayload(payload)) {
            std::vector<std::uint8_t> copy(payload.begin(), payload.end());
            if (!metadata.storedOrientation) {
                const int stored = ReadExifOrientation(copy);
                turnedFrom = stored == 0 ? kOrientationUpright : stored;
                SetExifOrientationUpright(copy);
                if (turnedFrom != kOrientationUpright)
                    TurnExifThumbnailUpright(copy, turnedFrom);
            }
            if (exif == ExifTreatment::FixSize) {
                MemoryStream block(std::move(copy));
                TExifInfo().SetImageSize(block, width, height);
                copy = block.TakeBytes();
            }
            constexpr std::size_t kIdentifierSize = 6;
            kept.exif.assign(copy.begin() + kIdentifierSize, copy.end());
        }
    }
    for (std::size_t i = 0; i < metadata.app1.Count(); ++i) {
        const std::span<const std::uint8_t> payload = metadata.app1.Payload(i);
        if (IsXmpPayload(payload)) {
            std::vector<std::uint8_t> copy(payload.begin(), payload.end());
            if (turnedFrom != kOrientationUpright && ReadXmpOrientation(copy) != 0)
                SetXmpOrientationUpright(copy);
            kept.xmp.assign(copy.begin() + kXmpIdentifier.size(), copy.end());
            break;
        }
    }
    return kept;
}

void SavePictureFile(const std::string& path,
                     PictureFormatId format,
                     const WorkingBitmap& bitmap,
                     int quality,
                     const MetadataBlock& metadata,
                     ExifTreatment exif) {
    const PictureFormat& row = FormatById(format);
    if (!IsWritable(row))
        ThrowStreamWriteError();
    if (row.id == PictureFormatId::Jpeg) {
        SaveJpegFile(path, bitmap, quality, metadata, exif);
        return;
    }
    // A writer that throws (a corrupt Exif block under FixSize too) leaves no file behind.
    WriteFileAtomically(path,
                        [&](Stream& out) { row.write(out, bitmap, quality, metadata, exif); });
}

}  // namespace zelqor
