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

// Creates a fresh temporary file beside the target; O_EXCL keeps an existing file safe and
// the 0666 creation mode lets the umask decide the permissions of a new file.
int createTemporary(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string base = folderOf(target) + "/." +
                             std::filesystem::path(target).filename().string() + ".tmp" +
                             std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = base + std::to_string(counter++);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);  // best effort: the data itself is already on disk
    ::close(fd);
}

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
    file.bytes = ReadWholeFile(path);
    file.jpeg = isJpegExtension(lower);
    if (file.jpeg) {
        const JpegSize size = ReadJpegSize(file.bytes.data(), file.bytes.size());
        file.width = size.width;
        file.height = size.height;
    } else {
        file.bitmap = DecodeBmp(file.bytes);
        file.width = file.bitmap.Width();
        file.height = file.bitmap.Height();
    }
    return file;
}

WorkingBitmap DecodePicture(PictureFile& file) {
    if (file.jpeg) {
        return DecodeJpeg(file.bytes);
    }
    return std::move(file.bitmap);
}

std::vector<std::uint8_t> CollectExif(const std::vector<std::uint8_t>& bytes,
                                      std::optional<std::string>& error) {
    MemoryStream block;
    try {
        MemoryStream source(bytes);
        ReadJpegSegmentFromStream(block, source, kMarkerApp1);
    } catch (const ImageIoError& e) {
        error = e.what();
    }
    return block.TakeBytes();
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
                                        const std::vector<std::uint8_t>& exifSegmentBuffer,
                                        int exifItem) {
    std::vector<std::uint8_t> encoded = EncodeJpeg(bitmap, quality);
    if (exifSegmentBuffer.empty() || (exifItem != kExifCopy && exifItem != kExifFixSize)) {
        return encoded;
    }
    MemoryStream block(exifSegmentBuffer);
    if (exifItem == kExifFixSize) {
        TExifInfo().SetImageSize(block, bitmap.Width(), bitmap.Height());
    }
    MemoryStream source(std::move(encoded));
    MemoryStream dest;
    // Our own encoder output always reaches SOS; anything else would save a broken file.
    if (!InsertJpegSegment(dest, source, block.Bytes().data(), block.Bytes().size(), kMarkerApp1)) {
        ThrowStreamWriteError();
    }
    return dest.TakeBytes();
}

void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string target = resolveTarget(path);
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) {
        throw ImageIoError(FileCreateErrorText(path, SystemReason(EISDIR)));
    }
    std::string tempPath;
    const int fd = createTemporary(target, tempPath);
    if (fd < 0)
        throw ImageIoError(FileCreateErrorText(path, SystemReason(errno)));

    bool written = writeAll(fd, bytes);
    if (written && replacing)
        ::fchmod(fd, old.st_mode & 07777);
    written = written && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (!written) {
        ::unlink(tempPath.c_str());
        ThrowStreamWriteError();
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath.c_str());
        throw ImageIoError(FileCreateErrorText(path, SystemReason(error)));
    }
    syncFolder(folderOf(target));
}

void SaveJpegFile(const std::string& path,
                  const WorkingBitmap& bitmap,
                  int quality,
                  const std::vector<std::uint8_t>& exifSegmentBuffer,
                  int exifItem) {
    WriteFileAtomically(path, BuildJpegFile(bitmap, quality, exifSegmentBuffer, exifItem));
}

}  // namespace zelqor
