// Loading an image file with its Exif payload, and saving JPEG files safely.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DecodedPicture.h"
#include "JpegSegment.h"
#include "WorkingBitmap.h"

namespace zelqor {

struct PictureFormat;

// What the save's Exif item carries from a source file into the written one. A JPEG's
// segments are kept as they came; the accessors below give each kind of metadata in the shape
// every format shares (Exif as TIFF bytes, the XMP packet, the ICC profile whole), and
// FromParts builds a block from those.
struct MetadataBlock {
    SegmentPayloads app1;      // every APP1 payload (Exif, XMP and others), in file order
    SegmentPayloads icc;       // the APP2 "ICC_PROFILE\0" chunks, whole, in file order
    SegmentPayloads iptc;      // the APP13 payloads (Photoshop's resource blocks holding IPTC)
    SegmentPayloads comments;  // the COM payloads, as written
    // The picture was kept in the file's stored order, so the Exif Orientation still describes
    // it and travels unchanged. Otherwise the picture was turned upright on load and a copied
    // Exif block says so (Orientation 1).
    bool storedOrientation = false;

    // Lower case: callers test it as they would test a byte buffer.
    bool empty() const {
        return app1.bytes.empty() && icc.bytes.empty() && iptc.bytes.empty() &&
               comments.bytes.empty();
    }
    bool operator==(const MetadataBlock&) const = default;

    // The first Exif block's TIFF structure (after "Exif\0\0"); empty when there is none.
    std::span<const std::uint8_t> ExifTiff() const;
    // The XMP packet (after its identifier); empty when there is none.
    std::span<const std::uint8_t> XmpPacket() const;
    // The colour profile put together; empty when there is none or its chunks do not make one.
    std::vector<std::uint8_t> IccProfile() const;

    // A block from metadata in that shared shape; each part may be empty.
    static MetadataBlock FromParts(std::span<const std::uint8_t> exifTiff,
                                   std::span<const std::uint8_t> xmpPacket,
                                   std::span<const std::uint8_t> iccProfile);
};

struct LoadedImage {
    WorkingBitmap bitmap;  // upright
    // The file's metadata; empty for files without any (bitmaps included). It keeps the name
    // of the window's buffer it fills.
    MetadataBlock exifSegmentBuffer;
    // Set when collecting the metadata failed after the picture itself loaded (an APP1 or ICC
    // segment running past the end of the file): the image is good, the block holds the
    // payloads read before the broken one, and this is the text to show the user.
    std::optional<std::string> exifError;
    std::vector<std::string> notices;  // as PictureFile::notices
};

// The extension of `path` after its last dot, as written ("" without one).
std::string FileExtension(const std::string& path);
// True for the extensions JPEG files go by ("jpg", "jpeg", "jpe", "jfif", "jif"), case ignored.
bool IsJpegExtension(std::string_view extension);

// True when `path`'s extension names a readable format: the one rule for which names count as
// pictures where a folder is searched for them. Reading a file goes by its bytes, not its name.
bool HasPictureExtension(const std::string& path);

// The largest file read whole (the formats whose readers take the whole file): a picture at
// our pixel limit, uncompressed at four bytes a pixel, with room for its metadata.
inline constexpr std::uint64_t kMostWholeFileBytes =
    (std::uint64_t{1} << 28) * 4 + (std::uint64_t{64} << 20);

// The notices of a load that succeeded.
inline constexpr const char* kEndedEarlyNotice =
    "the file ends early; the missing part of the picture is grey";
inline constexpr const char* kMetadataUnreadNotice =
    "its metadata (Exif, colour profile) could not be read whole; what was read is kept";

// The picture data is corrupt; `words` are the decoder's own.
std::string DamagedDataNotice(const std::string& words);
struct JpegDecodeNotes;
// The notices for what a decode tells (JpegDecodeNotes), in the order the user should read them.
std::vector<std::string> DecodeNotices(const JpegDecodeNotes& notes);
// A picture file holds more than `bytes` after its picture (they are not read).
std::string TrailingDataNotice(std::uint64_t bytes);
// A picture file holds more than its picture could need; only `bytesRead` were read.
std::string UnreadDataNotice(std::uint64_t bytesRead);

// A picture file read as far as a load can go before it decodes pixels: for a JPEG the whole
// file and its size from the header. Bitmap and PNG files are decoded whole at this step; a
// bitmap carries no metadata, so its bytes are not kept.
struct PictureFile {
    std::string path;
    const PictureFormat* format = nullptr;  // the row its first bytes match
    std::vector<std::uint8_t> bytes;        // a JPEG's bytes up to its end; empty otherwise
    // Only a JPEG's head was read (ReadPictureHead): `bytes` end where its picture data begins,
    // and DecodePicture reads the rest from the file as it decodes.
    bool headOnly = false;
    bool jpeg = false;
    // The picture's size as the load delivers it: upright, unless kept as stored.
    int width = 0;
    int height = 0;
    // The Exif orientation DecodePicture turns a JPEG's pixels by; 1 leaves them as stored.
    int orientation = 1;
    WorkingBitmap bitmap;  // a bitmap's or PNG's picture; empty for a JPEG until DecodePicture
    // The metadata of a PNG and of a format read whole (HEIF, AVIF, WebP, TIFF, JPEG XL),
    // already collected.
    MetadataBlock metadata;
    // What the user should hear of although the picture loaded (a file that ends early,
    // metadata that could not be read), one short sentence each, without the file's name.
    std::vector<std::string> notices;
};

// Reads `path` as the format its first bytes show (PictureFormats); the extension only names
// the file. A JPEG or PNG is read only up to its picture's end: bytes after it, or past what a
// picture of its size could need, stay unread and add a notice; a bitmap is read from the file
// into its rows; the other formats are read whole, up to kMostWholeFileBytes. Throws
// ImageIoError for a file that cannot be opened, bytes that match no format (refused after its
// first bytes, the readable formats listed), a broken header and an invalid picture; the error
// names the file. As stored, the formats that keep a stored order (PictureFormat) leave their
// pixels unturned.
PictureFile ReadPictureFile(const std::string& path,
                            OrientationHandling orientation = OrientationHandling::Upright);
// ReadPictureFile for a glance at a file (the open dialog's preview): a JPEG is read only up
// to its picture data, which holds its size, its orientation and its metadata (a camera's
// thumbnail among them); other files as ReadPictureFile reads them. The metadata of a head is
// what CollectExif finds in `bytes`. DecodePicture decodes a head as a glance
// (JpegDecodeOptions::glance): the same pixels, sooner.
PictureFile ReadPictureHead(const std::string& path);
// What a decode may do to spare work.
struct DecodeRequest {
    // The least size the picture is wanted at; 0 for its own. A JPEG is then decoded at a
    // reduced scale that still covers it (JpegDecodeOptions), a bitmap at its own size.
    int atLeastWidth = 0;
    int atLeastHeight = 0;
    // Pixels no longer needed: a JPEG decoded at their size goes into them.
    WorkingBitmap reuse;
};
// The picture's pixels; for a JPEG they are decoded here (and turned upright as
// `file.orientation` says), and a library error throws naming the file. A JPEG whose data ends
// early still decodes (grey where data is missing) and adds a notice.
WorkingBitmap DecodePicture(PictureFile& file);
WorkingBitmap DecodePicture(PictureFile& file, DecodeRequest request);
// The APP1 payloads and ICC profile chunks of a file's bytes. A segment that runs past the end
// keeps the payloads before it and puts the stream read error in `error`.
MetadataBlock CollectExif(const std::vector<std::uint8_t>& bytes,
                          std::optional<std::string>& error);
// The metadata a save can carry from `file`: a JPEG's APP1 payloads and ICC chunks, a PNG's
// profile as ICC chunks. When the marker walk cannot reach the picture data of a JPEG that
// decodes, a notice says the metadata was not read whole.
MetadataBlock CollectMetadata(PictureFile& file, std::optional<std::string>& error);

// ReadPictureFile, DecodePicture and CollectMetadata in turn. Throws as ReadPictureFile does
// and for a picture that does not decode; the Exif read error goes to `exifError`.
LoadedImage LoadImageFile(const std::string& path);

// What a save does with the source's metadata: drop it, copy it, or copy it with the Exif size
// fields set to the saved picture's size.
enum class ExifTreatment { None, Copy, FixSize };

// The bytes of the JPEG file to save: `bitmap` (already in its view style) encoded with
// `quality`, then, unless `metadata` is empty or `exif` is None, inserted after SOI
// in place of the JFIF header: each APP1 payload as its own APP1 segment in its order (one
// longer than a segment holds split over consecutive ones), then each ICC chunk as an APP2
// segment when the profile describes RGB, as the file written does (a grey or CMYK source's
// profile would misdescribe it), then the APP13 and COM payloads. With None only an RGB
// profile goes in, after the JFIF header: it describes the pixels, whatever becomes of Exif.
// Unless the metadata keeps the stored orientation, the first Exif payload's Orientation is set
// to 1, and when it was 2 to 8 the XMP tiff:Orientation is set to 1 too and the Exif thumbnail
// is turned upright (or dropped when it cannot be). With FixSize its size fields get the
// bitmap's size. A corrupt Exif payload under FixSize throws the stream read error.
std::vector<std::uint8_t> BuildJpegFile(const WorkingBitmap& bitmap,
                                        int quality,
                                        const MetadataBlock& metadata,
                                        ExifTreatment exif);

// The file BuildJpegFile makes, from the encoder's output `encoded` of a width x height picture.
std::vector<std::uint8_t> AddJpegMetadata(std::vector<std::uint8_t> encoded,
                                          int width,
                                          int height,
                                          const MetadataBlock& metadata,
                                          ExifTreatment exif);

// Writes `bytes` to a temporary file beside `path`, syncs it and renames it over `path`, so
// that a failed save leaves an existing file as it was and no partial file behind. A replaced
// file keeps its permission bits; a new one gets 0666 less the umask. Throws
// "ファイル \"%s\" を作成できません。%s" when the file cannot be created or put in place (an
// existing folder, device or pipe at `path` is never replaced), and the stream write error
// when writing fails. On every failure the temporary file is removed.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);
// The same with the content written by `content` straight into the temporary file, so a large
// picture is never held whole in memory as bytes. What `content` throws removes the temporary
// file and reaches the caller.
using FileContentWriter = std::function<void(Stream& out)>;
void WriteFileAtomically(const std::string& path, const FileContentWriter& content);

// Lets a test act between the steps of a save, where a real failure could strike.
struct AtomicWriteHooks {
    // Runs once the temporary file (named by its path) is written, synced and closed, just
    // before it is renamed over the target.
    std::function<void(const std::string& tempPath)> beforeRename;
};
void WriteFileAtomically(const std::string& path,
                         const std::vector<std::uint8_t>& bytes,
                         const AtomicWriteHooks& hooks);
void WriteFileAtomically(const std::string& path,
                         const FileContentWriter& content,
                         const AtomicWriteHooks& hooks);

// BuildJpegFile, then WriteFileAtomically. Nothing is written when building fails.
void SaveJpegFile(const std::string& path,
                  const WorkingBitmap& bitmap,
                  int quality,
                  const MetadataBlock& metadata,
                  ExifTreatment exif);

}  // namespace zelqor
