// Fuzz target: the walks that find where the picture in an untrusted JPEG or PNG file ends,
// fed in pieces as a file is read.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "FuzzCheck.h"
#include "PictureExtent.h"

namespace {

// The end found when the bytes arrive `piece` at a time (0: all at once).
std::optional<std::size_t> EndInPieces(zelqor::PictureExtent& extent,
                                       std::span<const std::uint8_t> bytes,
                                       std::size_t piece) {
    if (piece == 0)
        return extent.Scan(bytes);
    for (std::size_t had = 0; had < bytes.size();) {
        had = std::min(bytes.size(), had + piece);
        if (const auto end = extent.Scan(bytes.first(had)))
            return end;
    }
    return std::nullopt;
}

}  // namespace

// The first byte picks the piece size, so a whole JPEG or PNG file after one byte is a seed.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t piece = data[0];
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    zelqor::JpegExtent jpegWhole, jpegPieces;
    zelqor::PngExtent pngWhole, pngPieces;
    const auto jpeg = EndInPieces(jpegWhole, bytes, 0);
    const auto png = EndInPieces(pngWhole, bytes, 0);
    zelqor::fuzz::Check(!jpeg || *jpeg <= bytes.size(), "a JPEG's end lies inside its bytes");
    zelqor::fuzz::Check(!png || *png <= bytes.size(), "a PNG's end lies inside its bytes");
    zelqor::fuzz::Check(EndInPieces(jpegPieces, bytes, piece) == jpeg,
                        "a JPEG read in pieces ends where it ends read whole");
    zelqor::fuzz::Check(EndInPieces(pngPieces, bytes, piece) == png,
                        "a PNG read in pieces ends where it ends read whole");
    zelqor::fuzz::Check(jpegPieces.MostBytesNeeded() == jpegWhole.MostBytesNeeded() || jpeg,
                        "the bound does not depend on the pieces");
    return 0;
}
