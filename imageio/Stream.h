// Byte streams of the image-file layer: an interface, a growable memory stream and a file stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zelqor {

enum class SeekOrigin { Begin, Current, End };

class Stream {
  public:
    virtual ~Stream() = default;

    // Reads up to `count` bytes and returns how many arrived; fewer only at the end of the data.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    // Writes up to `count` bytes and returns how many were taken.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Moves the position; a position past the end is allowed (reads there return nothing).
    // Returns the new position. A position before the start is clamped to 0.
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual std::int64_t Size() = 0;

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, SeekOrigin::Begin); }

    // Reads exactly `count` bytes or throws the stream read error.
    void ReadBuffer(void* buffer, std::size_t count);
    // Writes exactly `count` bytes or throws the stream write error.
    void WriteBuffer(const void* buffer, std::size_t count);
    // Copies exactly `count` bytes from `source` in pieces; a short read throws the stream
    // read error, a short write the stream write error.
    void CopyFrom(Stream& source, std::uint64_t count);
    // Copies everything from the source's position to its end in pieces.
    void CopyRest(Stream& source);
};

class MemoryStream : public Stream {
  public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

    void Clear() {
        bytes_.clear();
        position_ = 0;
    }
    // Shortens the data (never lengthens it); the position is kept.
    void Truncate(std::size_t size) {
        if (size < bytes_.size())
            bytes_.resize(size);
    }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    // For patching in place; the pointer is valid until the next write that grows the data.
    std::uint8_t* Data() { return bytes_.data(); }
    std::vector<std::uint8_t> TakeBytes() {
        position_ = 0;
        return std::move(bytes_);
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Reads bytes held elsewhere without copying them (a whole file read once); writes nothing.
class ByteViewStream : public Stream {
  public:
    explicit ByteViewStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

class FileStream : public Stream {
  public:
    enum class Mode { Read, Create };

    // Opens `path` for reading, or creates/truncates it for writing. Failure throws
    // "ファイル %s は開けません。 %s " (read) or "ファイル \"%s\" を作成できません。%s" (create).
    // Only a regular file is opened for reading; a folder, a device or a pipe is refused.
    FileStream(const std::string& path, Mode mode);
    // Takes over a descriptor already open; it is closed with the stream.
    explicit FileStream(int fd) : fd_(fd) {}
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t Size() override;

    // Forces the written data to the disk; throws the stream write error when that fails.
    void Sync();
    // Closes now so that a failing close can be reported as a write error.
    void Close();

  private:
    int fd_ = -1;
};

// Reads a whole file into memory; a file that cannot be opened throws the open error.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// The rest of an open file from its position, after the `head` bytes already read from it,
// in one buffer of the file's size.
std::vector<std::uint8_t> ReadRestOfFile(FileStream& file, std::vector<std::uint8_t> head);

}  // namespace zelqor
