// The load and save operations shared by the window and the batch tool.
#include "ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <filesystem>

#include "BmpReader.h"
#include "ExifThumbnail.h"
#include "IccProfile.h"
#include "ImageIoError.h"
#include "JpegCodec.h"
#include "JpegSegment.h"
#include "MemExif.h"
#include "Orientation.h"
#include "PictureExtent.h"
#include "PictureFormats.h"
#include "PngReader.h"
#include "Stream.h"
#include "XmpPacket.h"

namespace zelqor {

namespace {

std::string megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + (1 << 20) - 1) >> 20);
}

// The folder part of `path`, "." when it has none.
std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The temporary file's name: a hidden sibling of the target. Names are limited to 255 bytes,
// so a long target name is cut (at a character start, to keep the name valid UTF-8) to leave
// room for the dot and the suffix.
std::string temporaryName(const std::string& target, unsigned number) {
    constexpr std::size_t kMaxKeptNameBytes = 200;
    std::string name = std::filesystem::path(target).filename().string();
    if (name.size() > kMaxKeptNameBytes) {
        std::size_t cut = kMaxKeptNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return "." + name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(number);
}

// Creates a fresh temporary file in the folder `folderFd`; O_EXCL keeps an existing file
// safe and the 0666 creation mode lets the umask decide the permissions of a new file.
int createTemporary(int folderFd, const std::string& target, std::string& tempName) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = temporaryName(target, counter++);
        const int fd =
            ::openat(folderFd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The temporary file as a content writer sees it. Every few megabytes it asks the system to
// start writing back what it has, so the disk works while the rest is encoded and the sync at
// the end waits for little more than the last piece.
class WritebackStream : public Stream {
  public:
    WritebackStream(FileStream& file, int fd) : file_(file), fd_(fd) {}

    std::size_t Read(void* buffer, std::size_t count) override { return file_.Read(buffer, count); }
    std::size_t Write(const void* buffer, std::size_t count) override {
        const std::size_t n = file_.Write(buffer, count);
        written_ += n;
        constexpr std::uint64_t kWritebackPiece = std::uint64_t{8} << 20;
        if (written_ - flushed_ >= kWritebackPiece) {
#ifdef SYNC_FILE_RANGE_WRITE
            // Only a hint: the fsync at the end is what makes the file safe.
            ::sync_file_range(fd_, static_cast<off_t>(flushed_),
                              static_cast<off_t>(written_ - flushed_), SYNC_FILE_RANGE_WRITE);
#endif
            flushed_ = written_;
        }
        return n;
    }
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
        return file_.Seek(offset, origin);
    }
    std::int64_t Size() override {
        return file_.Size();
    }

  private:
    FileStream& file_;
    int fd_;
    std::uint64_t written_ = 0;  // writers go front to back; a seek only makes the hint vaguer
    std::uint64_t flushed_ = 0;
};

// Closes a descriptor when the save ends, however it ends.
class FdCloser {
  public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

  private:
    int fd_;
};

// A symbolic link is saved through, so the link keeps pointing at the saved picture.
std::string resolveTarget(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec)
            return resolved.string();
    }
    return path;
}

// The APP1 payloads and ICC chunks of a JPEG's bytes, read in place. `complete` tells whether
// the walks reached the picture data.
MetadataBlock collectJpegMetadata(const std::vector<std::uint8_t>& bytes,
                                  std::optional<std::string>& error,
                                  bool& complete) {
    MetadataBlock metadata;
    ByteViewStream source(bytes);
    // A broken segment ends the other kind's walk quietly, so the second walk still keeps
    // what precedes it when the first one threw.
    const auto walk = [&](SegmentPayloads& into, std::uint8_t marker, std::string_view prefix) {
        try {
            source.SetPosition(0);
            if (!ReadJpegPayloadsFromStream(into, source, marker, prefix))
                complete = false;
        } catch (const ImageIoError& e) {
            complete = false;
            if (!error)
                error = e.what();
        }
    };
    walk(metadata.app1, kMarkerApp1, {});
    walk(metadata.icc, kMarkerApp2, kIccIdentifier);
    walk(metadata.iptc, kMarkerApp13, {});
    walk(metadata.comments, kMarkerCom, {});
    return metadata;
}

// An RGB profile describes what our encoder writes; anything else (a grey or CMYK source's)
// would tell colour-managed viewers to read the result as what it is not.
bool profileFitsRgb(const SegmentPayloads& chunks) {
    return ColourSpaceOf(AssembleIccProfile(chunks)) == IccColourSpace::Rgb;
}

}  // namespace

std::span<const std::uint8_t> MetadataBlock::ExifTiff() const {
    constexpr std::size_t kIdentifierSize = 6;
    for (std::size_t i = 0; i < app1.Count(); ++i) {
        if (IsExifPayload(app1.Payload(i)))
            return app1.Payload(i).subspan(kIdentifierSize);
    }
    return {};
}

std::span<const std::uint8_t> MetadataBlock::XmpPacket() const {
    for (std::size_t i = 0; i < app1.Count(); ++i) {
        if (IsXmpPayload(app1.Payload(i)))
            return app1.Payload(i).subspan(kXmpIdentifier.size());
    }
    return {};
}

std::vector<std::uint8_t> MetadataBlock::IccProfile() const {
    return AssembleIccProfile(icc);
}

MetadataBlock MetadataBlock::FromParts(std::span<const std::uint8_t> exifTiff,
                                       std::span<const std::uint8_t> xmpPacket,
                                       std::span<const std::uint8_t> iccProfile) {
    MetadataBlock block;
    if (!exifTiff.empty()) {
        std::vector<std::uint8_t> payload{'E', 'x', 'i', 'f', 0, 0};
        payload.insert(payload.end(), exifTiff.begin(), exifTiff.end());
        block.app1.Append(payload);
    }
    if (!xmpPacket.empty()) {
        std::vector<std::uint8_t> payload(kXmpIdentifier.begin(), kXmpIdentifier.end());
        payload.insert(payload.end(), xmpPacket.begin(), xmpPacket.end());
        block.app1.Append(payload);
    }
    if (!iccProfile.empty())
        block.icc = IccChunksOf(iccProfile);
    return block;
}

bool IsJpegExtension(std::string_view extension) {
    const PictureFormat* format = FormatByExtension(extension);
    return format != nullptr && format->id == PictureFormatId::Jpeg;
}

std::string DamagedDataNotice(const std::string& words) {
    return "the picture data is damaged (" + words + "); what could not be decoded is grey";
}

std::vector<std::string> DecodeNotices(const JpegDecodeNotes& notes) {
    std::vector<std::string> notices;
    if (notes.endedEarly)
        notices.push_back(kEndedEarlyNotice);
    if (!notes.damage.empty())
        notices.push_back(DamagedDataNotice(notes.damage));
    if (notes.profileSetAside)
        notices.push_back(kProfileSetAsideNotice);
    return notices;
}

std::string TrailingDataNotice(std::uint64_t bytes) {
    return "the file holds " + megabytes(bytes) + " MB after its picture, which were not read";
}

std::string UnreadDataNotice(std::uint64_t bytesRead) {
    return "the file holds more than its picture can need; only its first " + megabytes(bytesRead) +
           " MB were read";
}

std::string FileExtension(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

namespace {

// The orientation the first Exif payload of a JPEG's bytes asks for (the one a save patches);
// 1 when there is none.
int jpegOrientation(const std::vector<std::uint8_t>& bytes) {
    SegmentPayloads app1;
    ByteViewStream source(bytes);
    try {
        ReadJpegPayloadsFromStream(app1, source, kMarkerApp1);
    } catch (const ImageIoError&) {
        // A broken segment after the Exif one is the metadata walk's to report.
    }
    for (std::size_t i = 0; i < app1.Count(); ++i) {
        if (IsExifPayload(app1.Payload(i))) {
            const int orientation = ReadExifOrientation(app1.Payload(i));
            return orientation == 0 ? kOrientationUpright : orientation;
        }
    }
    return kOrientationUpright;
}

// Bytes past a picture that pass without a word: phones append a video or a second picture.
constexpr std::uint64_t kQuietTrailingBytes = std::uint64_t{64} << 20;
constexpr std::size_t kReadPiece = std::size_t{1} << 20;
// Headers and metadata are a few dozen kilobytes; a camera's thumbnail is in them.
constexpr std::size_t kHeadPiece = std::size_t{64} << 10;
// Reserving is only address space, but a vast reservation may still be refused.
constexpr std::uint64_t kMostReserved = std::uint64_t{256} << 20;

// The file from its start up to the end of its picture, after the `head` bytes already read:
// what follows the picture, or lies beyond what a picture of its size could need, is never
// read (a photo padded to gigabytes costs no more than the photo). Such bytes get a notice.
std::vector<std::uint8_t> readPictureBytes(FileStream& stream,
                                           std::vector<std::uint8_t> head,
                                           PictureExtent& extent,
                                           std::vector<std::string>& notices,
                                           bool headOnly = false) {
    const auto fileSize = static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Size(), 0));
    std::vector<std::uint8_t> bytes = std::move(head);
    for (;;) {
        if (const std::optional<std::size_t> end = extent.Scan(bytes)) {
            const std::uint64_t held = std::max<std::uint64_t>(fileSize, bytes.size());
            bytes.resize(*end);
            if (held - *end > kQuietTrailingBytes) {
                notices.push_back(TrailingDataNotice(held - *end));
            }
            return bytes;
        }
        if (headOnly && extent.ReachedPictureData())
            return bytes;
        // Room for what the picture may need, once its header tells: the rest of the file is
        // read into place, and a file padded far past its picture reserves no more than that.
        if (extent.ReachedPictureData()) {
            const std::uint64_t room =
                std::min({fileSize, extent.MostBytesNeeded(), kMostReserved});
            if (bytes.capacity() < room)
                bytes.reserve(static_cast<std::size_t>(room));
        }
        const std::uint64_t most = extent.MostBytesNeeded();
        if (bytes.size() >= most) {
            if (fileSize > bytes.size())
                notices.push_back(UnreadDataNotice(bytes.size()));
            return bytes;
        }
        const std::size_t had = bytes.size();
        const std::size_t piece = headOnly ? kHeadPiece : kReadPiece;
        bytes.resize(had + static_cast<std::size_t>(std::min<std::uint64_t>(piece, most - had)));
        const std::size_t n = stream.Read(bytes.data() + had, bytes.size() - had);
        bytes.resize(had + n);
        if (n == 0)
            return bytes;
    }
}

void readJpeg(PictureFile& file,
              FileStream& stream,
              std::vector<std::uint8_t> head,
              OrientationHandling orientation,
              bool headOnly) {
    CheckJpegStart(head.data(), head.size());
    JpegExtent extent;
    file.bytes = readPictureBytes(stream, std::move(head), extent, file.notices, headOnly);
    file.headOnly = headOnly;
    const JpegSize size = ReadJpegSize(file.bytes.data(), file.bytes.size(),
                                       static_cast<std::uint64_t>(stream.Size()));
    if (orientation == OrientationHandling::Upright)
        file.orientation = jpegOrientation(file.bytes);
    const bool swap = OrientationSwapsSides(file.orientation);
    file.width = swap ? size.height : size.width;
    file.height = swap ? size.width : size.height;
}

void readPng(PictureFile& file, FileStream& stream, std::vector<std::uint8_t> head) {
    PngExtent extent;
    const std::vector<std::uint8_t> bytes =
        readPictureBytes(stream, std::move(head), extent, file.notices);
    bool endedEarly = false;
    PngMetadata metadata;
    file.bitmap = DecodePng(bytes.data(), bytes.size(), metadata, &endedEarly);
    file.metadata = MetadataBlock::FromParts(metadata.exif, metadata.xmp, metadata.icc);
    // The pixels are never turned by an eXIf Orientation, so the tag goes on saying how to show
    // them, as a WebP's does.
    file.metadata.storedOrientation = true;
    if (endedEarly)
        file.notices.push_back(kEndedEarlyNotice);
}

// The formats whose readers take the file whole: their containers put metadata and picture
// data in any order, so there is no end to stop at; the bound keeps a huge file from being
// taken in.
void readWhole(PictureFile& file,
               const PictureFormat& format,
               FileStream& stream,
               std::vector<std::uint8_t> head,
               OrientationHandling orientation) {
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(stream.Size(), 0));
    if (size > kMostWholeFileBytes)
        throw ImageIoError(FileTooLargeText(size, kMostWholeFileBytes));
    std::vector<std::uint8_t> bytes = ReadRestOfFile(stream, std::move(head));
    if (bytes.size() > kMostWholeFileBytes)  // it grew while it was read
        throw ImageIoError(FileTooLargeText(bytes.size(), kMostWholeFileBytes));
    DecodedPicture picture =
        format.decode(bytes.data(), bytes.size(), kMaxImagePixels, orientation);
    bytes = {};
    if (picture.turnedUpright)
        SetOrientationUpright(picture.exif);
    file.metadata = MetadataBlock::FromParts(picture.exif, picture.xmp, picture.icc);
    // Pixels left as stored keep the tag that says how to show them.
    file.metadata.storedOrientation = !picture.turnedUpright;
    file.bitmap = std::move(picture.bitmap);
    for (std::string& notice : picture.notices)
        file.notices.push_back(std::move(notice));
}

std::string hexStart(const std::vector<std::uint8_t>& head) {
    constexpr std::size_t kShown = 4;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "it starts with";
    for (std::size_t i = 0; i < std::min(head.size(), kShown); ++i) {
        text += " 0x";
        text += kDigits[head[i] >> 4];
        text += kDigits[head[i] & 0xF];
    }
    return text;
}

// Bytes no row of the table reads. An extension that names no format is what the user hears
// of first; a known one only says what the bytes are not.
[[noreturn]] void refuseUnknownBytes(const std::string& path,
                                     const std::vector<std::uint8_t>& head) {
    const std::string ext = FileExtension(path);
    const std::string text = FormatByExtension(ext) != nullptr ? std::string(kUnknownPictureText)
                                                               : UnknownExtensionText(ext);
    const std::string start = head.empty() ? std::string("the file is empty") : hexStart(head);
    throw ImageIoError(text, start + "; pictures read: " + ReadableFormatNames());
}

PictureFile readPicture(const std::string& path, OrientationHandling orientation, bool headOnly) {
    PictureFile file;
    file.path = path;
    try {
        FileStream stream(path, FileStream::Mode::Read);
        std::vector<std::uint8_t> head(kSignatureBytes);
        head.resize(stream.Read(head.data(), head.size()));
        file.format = FormatOfBytes(head.data(), head.size());
        if (file.format == nullptr)
            refuseUnknownBytes(path, head);
        switch (file.format->id) {
            case PictureFormatId::Jpeg:
                file.jpeg = true;
                readJpeg(file, stream, std::move(head), orientation, headOnly);
                return file;
            case PictureFormatId::Png:
                readPng(file, stream, std::move(head));
                break;
            case PictureFormatId::Bmp:
                // A bitmap carries no metadata, so its bytes are never needed after the
                // decode, which reads the rows from the file straight into the picture.
                file.bitmap = DecodeBmp(stream);
                break;
            default:
                readWhole(file, *file.format, stream, std::move(head), orientation);
                break;
        }
    } catch (const ImageIoError& e) {
        throw e.ForFile(path);
    }
    file.width = file.bitmap.Width();
    file.height = file.bitmap.Height();
    return file;
}

}  // namespace

bool HasPictureExtension(const std::string& path) {
    return FormatByExtension(FileExtension(path)) != nullptr;
}

PictureFile ReadPictureHead(const std::string& path) {
    return readPicture(path, OrientationHandling::Upright, true);
}

PictureFile ReadPictureFile(const std::string& path, OrientationHandling orientation) {
    return readPicture(path, orientation, false);
}

WorkingBitmap DecodePicture(PictureFile& file) {
    return DecodePicture(file, DecodeRequest{});
}

WorkingBitmap DecodePicture(PictureFile& file, DecodeRequest request) {
    if (!file.jpeg)
        return std::move(file.bitmap);
    if (file.headOnly) {
        // The picture data is read from the file as it decodes, never held whole.
        const bool swapped = OrientationSwapsSides(file.orientation);
        WorkingBitmap stored;
        JpegDecodeNotes notes;
        try {
            FileStream stream(file.path, FileStream::Mode::Read);
            // A head is read for a glance, and decodes as one.
            JpegDecodeOptions options;
            options.atLeastWidth = swapped ? request.atLeastHeight : request.atLeastWidth;
            options.atLeastHeight = swapped ? request.atLeastWidth : request.atLeastHeight;
            options.glance = true;
            stored = DecodeJpeg(stream, options, &notes);
        } catch (const ImageIoError& e) {
            throw e.ForFile(file.path);
        }
        for (std::string& notice : DecodeNotices(notes))
            file.notices.push_back(std::move(notice));
        return TurnUpright(std::move(stored), file.orientation);
    }
    const bool swap = OrientationSwapsSides(file.orientation);
    if (swap)
        std::swap(request.atLeastWidth, request.atLeastHeight);
    // A picture turned a quarter goes into a bitmap of its own; the one to reuse would only
    // be held twice meanwhile.
    if (swap)
        request.reuse.Clear();
    JpegDecodeNotes notes;
    WorkingBitmap stored;
    try {
        stored = DecodeJpeg(file.bytes.data(), file.bytes.size(),
                            JpegDecodeOptions{request.atLeastWidth, request.atLeastHeight},
                            std::move(request.reuse), &notes);
    } catch (const ImageIoError& e) {
        throw e.ForFile(file.path);
    }
    for (std::string& notice : DecodeNotices(notes))
        file.notices.push_back(std::move(notice));
    return TurnUpright(std::move(stored), file.orientation);
}

MetadataBlock CollectExif(const std::vector<std::uint8_t>& bytes,
                          std::optional<std::string>& error) {
    bool complete = true;
    return collectJpegMetadata(bytes, error, complete);
}

MetadataBlock CollectMetadata(PictureFile& file, std::optional<std::string>& error) {
    if (file.format != nullptr &&
        (file.format->decode != nullptr || file.format->id == PictureFormatId::Png))
        return file.metadata;
    if (!file.jpeg)
        return {};
    bool complete = true;
    MetadataBlock metadata = collectJpegMetadata(file.bytes, error, complete);
    if (!complete && !error)
        file.notices.push_back(kMetadataUnreadNotice);
    return metadata;
}

LoadedImage LoadImageFile(const std::string& path) {
    PictureFile file = ReadPictureFile(path);
    LoadedImage loaded;
    loaded.bitmap = DecodePicture(file);
    loaded.exifSegmentBuffer = CollectMetadata(file, loaded.exifError);
    loaded.notices = file.notices;
    return loaded;
}

std::vector<std::uint8_t> BuildJpegFile(const WorkingBitmap& bitmap,
                                        int quality,
                                        const MetadataBlock& metadata,
                                        ExifTreatment exif) {
    return AddJpegMetadata(EncodeJpeg(bitmap, quality), bitmap.Width(), bitmap.Height(), metadata,
                           exif);
}

std::vector<std::uint8_t> AddJpegMetadata(std::vector<std::uint8_t> encoded,
                                          int width,
                                          int height,
                                          const MetadataBlock& metadata,
                                          ExifTreatment exif) {
    const bool withProfile = profileFitsRgb(metadata.icc);
    if (metadata.empty() || (exif == ExifTreatment::None && !withProfile)) {
        return encoded;
    }
    std::vector<InsertedSegment> segments;
    // Patched copies; each keeps its bytes where they are while the outer list grows.
    std::vector<std::vector<std::uint8_t>> patched;
    const auto copyOf = [&](std::span<const std::uint8_t> payload) {
        patched.emplace_back(payload.begin(), payload.end());
        return std::span<std::uint8_t>(patched.back());
    };
    if (exif != ExifTreatment::None) {
        // The orientation the pixels were turned from, when they were.
        int turnedFrom = kOrientationUpright;
        bool exifSeen = false;
        for (std::size_t i = 0; i < metadata.app1.Count(); ++i) {
            const std::span<const std::uint8_t> payload = metadata.app1.Payload(i);
            if (!exifSeen && IsExifPayload(payload)) {
                exifSeen = true;
                if (!metadata.storedOrientation) {
                    const int stored = ReadExifOrientation(payload);
                    turnedFrom = stored == 0 ? kOrientationUpright : stored;
                }
            }
        }
        const bool turned = turnedFrom != kOrientationUpright;
        exifSeen = false;
        for (std::size_t i = 0; i < metadata.app1.Count(); ++i) {
            std::span<const std::uint8_t> payload = metadata.app1.Payload(i);
            // Readers take the first Exif block, so that is the one whose fields must be right.
            const bool patch = exif == ExifTreatment::FixSize || !metadata.storedOrientation;
            if (patch && !exifSeen && IsExifPayload(payload)) {
                exifSeen = true;
                const std::span<std::uint8_t> copy = copyOf(payload);
                if (!metadata.storedOrientation)
                    SetExifOrientationUpright(copy);
                if (turned)
                    TurnExifThumbnailUpright(copy, turnedFrom);
                if (exif == ExifTreatment::FixSize) {
                    MemoryStream block(std::vector<std::uint8_t>(copy.begin(), copy.end()));
                    TExifInfo().SetImageSize(block, width, height);
                    std::copy(block.Bytes().begin(), block.Bytes().end(), copy.begin());
                }
                payload = copy;
            } else if (turned && IsXmpPayload(payload) && ReadXmpOrientation(payload) != 0) {
                const std::span<std::uint8_t> copy = copyOf(payload);
                SetXmpOrientationUpright(copy);
                payload = copy;
            }
            segments.push_back({kMarkerApp1, payload});
        }
    }
    if (withProfile) {
        for (std::size_t i = 0; i < metadata.icc.Count(); ++i)
            segments.push_back({kMarkerApp2, metadata.icc.Payload(i)});
    }
    if (exif != ExifTreatment::None) {
        for (std::size_t i = 0; i < metadata.iptc.Count(); ++i)
            segments.push_back({kMarkerApp13, metadata.iptc.Payload(i)});
        for (std::size_t i = 0; i < metadata.comments.Count(); ++i)
            segments.push_back({kMarkerCom, metadata.comments.Payload(i)});
    }
    MemoryStream source(std::move(encoded));
    MemoryStream dest;
    // Our own encoder output always reaches SOS; anything else would save a broken file.
    if (!InsertJpegSegments(dest, source, segments,
                            exif == ExifTreatment::None ? JfifHeader::Kept : JfifHeader::Dropped)) {
        ThrowStreamWriteError();
    }
    return dest.TakeBytes();
}

void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    WriteFileAtomically(path, bytes, AtomicWriteHooks{});
}

void WriteFileAtomically(const std::string& path, const FileContentWriter& content) {
    WriteFileAtomically(path, content, AtomicWriteHooks{});
}

void WriteFileAtomically(const std::string& path,
                         const std::vector<std::uint8_t>& bytes,
                         const AtomicWriteHooks& hooks) {
    WriteFileAtomically(
        path, [&bytes](Stream& out) { out.WriteBuffer(bytes.data(), bytes.size()); }, hooks);
}

void WriteFileAtomically(const std::string& path,
                         const FileContentWriter& content,
                         const AtomicWriteHooks& hooks) {
    const std::string target = resolveTarget(path);
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) {
        throw ImageIoError(FileCreateErrorText(path, SystemReason(EISDIR)));
    }
    // Renaming over a device or a pipe would replace the node itself (/dev/null included).
    if (replacing && !S_ISREG(old.st_mode)) {
        throw ImageIoError(FileCreateErrorText(path, kNotRegularFileReason));
    }
    // The temporary file is reached through the folder's descriptor, so it can be removed
    // even when the folder is moved away while the save runs.
    const std::string folder = folderOf(target);
    int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0 && errno == EACCES)  // a folder one may write in but not list
        folderFd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        throw ImageIoError(FileCreateErrorText(path, SystemReason(errno)));
    const FdCloser folderCloser(folderFd);
    std::string tempName;
    const int fd = createTemporary(folderFd, target, tempName);
    if (fd < 0)
        throw ImageIoError(FileCreateErrorText(path, SystemReason(errno)));

    FileStream file(fd);
    try {
        WritebackStream sink(file, fd);
        content(sink);
        if (replacing)
            ::fchmod(fd, old.st_mode & 07777);
        file.Sync();
        file.Close();
    } catch (...) {
        ::unlinkat(folderFd, tempName.c_str(), 0);
        throw;
    }
    const std::string tempPath = folder + "/" + tempName;
    if (hooks.beforeRename) {
        try {
            hooks.beforeRename(tempPath);
        } catch (...) {
            ::unlinkat(folderFd, tempName.c_str(), 0);
            throw;
        }
    }
    // By path, not through the descriptor: a folder that moved away must not receive the
    // picture under the old name in its new place.
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(folderFd, tempName.c_str(), 0);
        throw ImageIoError(FileCreateErrorText(path, SystemReason(error)));
    }
    ::fsync(folderFd);  // best effort: the data itself is already on disk
}

void SaveJpegFile(const std::string& path,
                  const WorkingBitmap& bitmap,
                  int quality,
                  const MetadataBlock& metadata,
                  ExifTreatment exif) {
    WriteFileAtomically(path, BuildJpegFile(bitmap, quality, metadata, exif));
}

}  // namespace zelqor
