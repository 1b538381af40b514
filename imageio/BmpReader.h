// Decoding BMP files held in memory into a WorkingBitmap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ImageLimits.h"
#include "WorkingBitmap.h"

namespace zelqor {

// Bitmaps with more pixels than this are refused before the pixel memory is taken.
inline constexpr std::uint64_t kMaxBmpPixels = kMaxImagePixels;

// Reads BITMAPCOREHEADER, OS/2 2.x, BITMAPINFOHEADER, V4 and V5 files with 1, 2, 4, 8, 16, 24
// or 32 bits, uncompressed, RLE8, RLE4 or with bit fields, bottom-up or top-down. Pixels come
// out B, G, R, 0xFF. Every invalid or truncated file throws "ビットマップイメージが不正です".
// An RLE stream that ends early still yields the picture decoded so far (the rest is black).
WorkingBitmap DecodeBmp(const std::uint8_t* data, std::size_t size);
inline WorkingBitmap DecodeBmp(const std::vector<std::uint8_t>& bytes) {
    return DecodeBmp(bytes.data(), bytes.size());
}

class Stream;
// The same picture read from `file` (from its start, to the size it reports): an uncompressed
// file goes into the bitmap a block of rows at a time, never held whole in memory. A file that
// ends before the size it reported throws the stream read error.
WorkingBitmap DecodeBmp(Stream& file);

}  // namespace zelqor
