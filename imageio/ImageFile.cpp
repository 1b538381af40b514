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
#include "ImageIoError.h"
#include "JpegCodec.h"
#include "JpegSegment.h"
#include "MemExif.h"
#include "Stream.h"

namespace zelqor {

namespace {

std::string lowerAscii(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isJpegExtension(const std::string& ext) {
    return ext == "jpg" || ext == "jpeg";
}
bool isBmpExtension(const std::string& ext) {
    return ext == "bmp";
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

}  // namespace

std::string FileExtension(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

PictureFile ReadPictureFile(const std::string& path) {
    const std::string ext = FileExtension(path);
    const std::string lower = lowerAscii(ext);
    if (!isJpegExtension(lower) && !isBmpExtension(lower)) {
        throw ImageIoError(UnknownExtensionText(ext));
    }
    PictureFile file;
    file.jpeg = isJpegExtension(lower);
    if (file.jpeg) {
        file.bytes = ReadWholeFile(path);
        const JpegSize size = ReadJpegSize(file.bytes.data(), file.bytes.size());
        file.width = size.width;
        file.height = size.height;
    } else {
        // A bitmap carries no metadata, so its bytes are never needed after the decode, which
        // reads the rows from the file straight into the picture.
        FileStream stream(path, FileStream::Mode::Read);
        file.bitmap = DecodeBmp(stream);
        file.width = file.bitmap.Width();
        file.height = file.bitmap.Height();
    }
    return file;
}

WorkingBitmap DecodePicture(PictureFile& file) {
    return DecodePicture(file, DecodeRequest{});
}

WorkingBitmap DecodePicture(PictureFile& file, DecodeRequest request) {
    if (file.jpeg) {
        return DecodeJpeg(file.bytes.data(), file.bytes.size(),
                          JpegDecodeOptions{request.atLeastWidth, request.atLeastHeight},
                          std::move(request.reuse));
    }
    return std::move(file.bitmap);
}

MetadataBlock CollectExif(const std::vector<std::uint8_t>& bytes,
                          std::optional<std::string>& error) {
    static constexpr std::string_view kIccIdentifier("ICC_PROFILE\0", 12);
    MetadataBlock metadata;
    MemoryStream source(bytes);
    // A broken segment ends the other kind's walk quietly, so the second walk still keeps
    // what precedes it when the first one threw.
    const auto walk = [&](SegmentPayloads& into, std::uint8_t marker, std::string_view prefix) {
        try {
            source.SetPosition(0);
            ReadJpegPayloadsFromStream(into, source, marker, prefix);
        } catch (const ImageIoError& e) {
            if (!error)
                error = e.what();
        }
    };
    walk(metadata.app1, kMarkerApp1, {});
    walk(metadata.icc, kMarkerApp2, kIccIdentifier);
    return metadata;
}

LoadedImage LoadImageFile(const std::string& path) {
    PictureFile file = ReadPictureFile(path);
    LoadedImage loaded;
    loaded.bitmap = DecodePicture(file);
    loaded.exifSegmentBuffer = CollectExif(file.bytes, loaded.exifError);
    return loaded;
}

std::vector<std::uint8_t> BuildJpegFile(const WorkingBitmap& bitmap,
                                        int quality,
                                        const MetadataBlock& metadata,
                                        ExifTreatment exif) {
    std::vector<std::uint8_t> encoded = EncodeJpeg(bitmap, quality);
    if (metadata.empty() || exif == ExifTreatment::None) {
        return encoded;
    }
    std::vector<InsertedSegment> segments;
    MemoryStream patched;
    bool exifSeen = false;
    for (std::size_t i = 0; i < metadata.app1.Count(); ++i) {
        std::span<const std::uint8_t> payload = metadata.app1.Payload(i);
        // Readers take the first Exif block, so that is the one whose size must be right.
        if (exif == ExifTreatment::FixSize && !exifSeen && IsExifPayload(payload)) {
            exifSeen = true;
            patched = MemoryStream(std::vector<std::uint8_t>(payload.begin(), payload.end()));
            TExifInfo().SetImageSize(patched, bitmap.Width(), bitmap.Height());
            payload = patched.Bytes();
        }
        segments.push_back({kMarkerApp1, payload});
    }
    for (std::size_t i = 0; i < metadata.icc.Count(); ++i)
        segments.push_back({kMarkerApp2, metadata.icc.Payload(i)});
    MemoryStream source(std::move(encoded));
    MemoryStream dest;
    // Our own encoder output always reaches SOS; anything else would save a broken file.
    if (!InsertJpegSegments(dest, source, segments)) {
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
