// Byte streams: buffered copies between streams, memory and POSIX file implementations.
#include "Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ImageIoError.h"

namespace zelqor {

namespace {
constexpr std::size_t kCopyPieceSize = 64 * 1024;
}

void Stream::ReadBuffer(void* buffer, std::size_t count) {
    // An empty payload may come with a null buffer (an empty vector's data()).
    if (count == 0)
        return;
    if (Read(buffer, count) != count)
        ThrowStreamReadError();
}

void Stream::WriteBuffer(const void* buffer, std::size_t count) {
    if (Write(buffer, count) != count)
        ThrowStreamWriteError();
}

void Stream::CopyFrom(Stream& source, std::uint64_t count) {
    std::vector<std::uint8_t> piece(
        static_cast<std::size_t>(std::min<std::uint64_t>(count, kCopyPieceSize)));
    while (count > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, piece.size()));
        source.ReadBuffer(piece.data(), n);
        WriteBuffer(piece.data(), n);
        count -= n;
    }
}

void Stream::CopyRest(Stream& source) {
    std::vector<std::uint8_t> piece(kCopyPieceSize);
    for (;;) {
        const std::size_t n = source.Read(piece.data(), piece.size());
        if (n == 0)
            break;
        WriteBuffer(piece.data(), n);
    }
}

namespace {

// memcpy with a null pointer is undefined even for no bytes, and empty vectors hand out null.
std::size_t readFromBytes(const std::uint8_t* bytes,
                          std::size_t size,
                          std::size_t& position,
                          void* buffer,
                          std::size_t count) {
    if (position >= size || count == 0)
        return 0;
    const std::size_t n = std::min(count, size - position);
    std::memcpy(buffer, bytes + position, n);
    position += n;
    return n;
}

std::size_t seekWithin(std::size_t position,
                       std::size_t size,
                       std::int64_t offset,
                       SeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current)
        base = static_cast<std::int64_t>(position);
    if (origin == SeekOrigin::End)
        base = static_cast<std::int64_t>(size);
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target))
        target = offset < 0 ? 0 : INT64_MAX;
    return static_cast<std::size_t>(std::max<std::int64_t>(target, 0));
}

}  // namespace

std::size_t MemoryStream::Read(void* buffer, std::size_t count) {
    return readFromBytes(bytes_.data(), bytes_.size(), position_, buffer, count);
}

std::size_t MemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0)
        return 0;
    const std::size_t end = position_ + count;
    if (end > bytes_.size())
        bytes_.resize(end);
    std::memcpy(bytes_.data() + position_, buffer, count);
    position_ = end;
    return count;
}

std::int64_t MemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    position_ = seekWithin(position_, bytes_.size(), offset, origin);
    return static_cast<std::int64_t>(position_);
}

std::size_t ByteViewStream::Read(void* buffer, std::size_t count) {
    return readFromBytes(bytes_.data(), bytes_.size(), position_, buffer, count);
}

std::size_t ByteViewStream::Write(const void*, std::size_t) {
    return 0;
}

std::int64_t ByteViewStream::Seek(std::int64_t offset, SeekOrigin origin) {
    position_ = seekWithin(position_, bytes_.size(), offset, origin);
    return static_cast<std::int64_t>(position_);
}

FileStream::FileStream(const std::string& path, Mode mode) {
    if (mode == Mode::Read) {
        // O_NONBLOCK: opening a pipe would otherwise wait for a writer that may never come.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0)
            throw ImageIoError(FileOpenErrorText(path, SystemReason(errno)));
        // Reading a folder "succeeds" on Linux until the first read; a pipe or a device
        // (/dev/zero) can block or never end. Refuse them as the open.
        struct stat st {};
        std::string reason;
        if (::fstat(fd_, &st) != 0)
            reason = SystemReason(errno);
        else if (S_ISDIR(st.st_mode))
            reason = SystemReason(EISDIR);
        else if (!S_ISREG(st.st_mode))
            reason = kNotRegularFileReason;
        if (!reason.empty()) {
            ::close(fd_);
            fd_ = -1;
            throw ImageIoError(FileOpenErrorText(path, reason));
        }
    } else {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw ImageIoError(FileCreateErrorText(path, SystemReason(errno)));
    }
}

FileStream::~FileStream() {
    if (fd_ >= 0)
        ::close(fd_);
}

namespace {

// read() and write() may move fewer bytes than asked, or be interrupted; go on until done,
// the end of the file or a real error.
template <typename Byte, typename Io>
std::size_t TransferAll(Byte* bytes, std::size_t count, Io io) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = io(bytes + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace

std::size_t FileStream::Read(void* buffer, std::size_t count) {
    return TransferAll(static_cast<std::uint8_t*>(buffer), count,
                       [this](std::uint8_t* p, std::size_t n) { return ::read(fd_, p, n); });
}

std::size_t FileStream::Write(const void* buffer, std::size_t count) {
    return TransferAll(static_cast<const std::uint8_t*>(buffer), count,
                       [this](const std::uint8_t* p, std::size_t n) { return ::write(fd_, p, n); });
}

std::int64_t FileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (pos < 0)
        pos = ::lseek(fd_, 0, offset < 0 ? SEEK_SET : SEEK_CUR);
    return static_cast<std::int64_t>(pos);
}

std::int64_t FileStream::Size() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_size);
}

void FileStream::Sync() {
    if (::fsync(fd_) != 0)
        ThrowStreamWriteError();
}

void FileStream::Close() {
    if (fd_ < 0)
        return;
    const int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0)
        ThrowStreamWriteError();
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    FileStream file(path, FileStream::Mode::Read);
    return ReadRestOfFile(file, {});
}

std::vector<std::uint8_t> ReadRestOfFile(FileStream& file, std::vector<std::uint8_t> head) {
    // One buffer of the file's size, filled in place: a buffer grown piece by piece (or once
    // more at the end to see whether anything follows) would copy the file and, for a moment,
    // hold it twice. A file that grows meanwhile is followed through a small probe.
    std::vector<std::uint8_t> bytes = std::move(head);
    std::size_t done = bytes.size();
    bytes.resize(std::max<std::size_t>(
        done, static_cast<std::size_t>(std::max<std::int64_t>(file.Size(), 0))));
    for (;;) {
        if (done < bytes.size()) {
            const std::size_t n = file.Read(bytes.data() + done, bytes.size() - done);
            done += n;
            if (n == 0)
                break;
            continue;
        }
        std::vector<std::uint8_t> probe(kCopyPieceSize);
        const std::size_t n = file.Read(probe.data(), probe.size());
        if (n == 0)
            break;
        bytes.insert(bytes.end(), probe.begin(), probe.begin() + static_cast<std::ptrdiff_t>(n));
        done += n;
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace zelqor
