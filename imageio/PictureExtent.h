// Where the picture in a JPEG or PNG file ends, found while the file is read piece by piece, so
// that what a file holds beyond its picture is never read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zelqor {

// Both scanners look at the bytes read so far, which grow between calls, and go on from where
// the last call stopped; they never look at a byte twice.
class PictureExtent {
  public:
    virtual ~PictureExtent() = default;
    // The picture's end (one past its last byte) once the bytes reach it.
    virtual std::optional<std::size_t> Scan(std::span<const std::uint8_t> bytes) = 0;
    // The most bytes a file of the picture seen so far could sensibly need: its header and
    // metadata, and for the picture data a bound no encoder reaches. Past it a file is not
    // read further.
    virtual std::uint64_t MostBytesNeeded() const = 0;
    // The bytes so far reach the picture data: everything before it (size, metadata) is in.
    virtual bool ReachedPictureData() const = 0;
};

// A JPEG's end is its EOI marker: segments are passed over by their lengths (an Exif thumbnail's
// own EOI is inside one), the entropy-coded data by looking for the next marker.
class JpegExtent final : public PictureExtent {
  public:
    std::optional<std::size_t> Scan(std::span<const std::uint8_t> bytes) override;
    std::uint64_t MostBytesNeeded() const override;
    bool ReachedPictureData() const override { return dataStart_ != 0; }

  private:
    enum class Where { Marker, Segment, Data };
    Where where_ = Where::Marker;
    std::size_t at_ = 2;  // after SOI, which the reader has checked
    std::uint64_t pixels_ = 0;
    int components_ = 0;
    std::uint64_t dataStart_ = 0;  // where the first scan's data begins, once reached
};

// A PNG's end is the end of its IEND chunk; chunks are passed over by their lengths.
class PngExtent final : public PictureExtent {
  public:
    std::optional<std::size_t> Scan(std::span<const std::uint8_t> bytes) override;
    std::uint64_t MostBytesNeeded() const override;
    bool ReachedPictureData() const override { return false; }  // a PNG is read whole

  private:
    std::size_t at_ = 8;  // after the signature
    std::uint64_t rawBytes_ = 0;
};

}  // namespace zelqor
