// JPEG files stored in each Exif orientation, made from one upright picture by lossless
// jpegtran transforms and tagged by a small Exif block.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "JpegCodec.h"
#include "JpegSegment.h"

namespace zelqor::oriented {

using Bytes = std::vector<std::uint8_t>;

// Smooth, without symmetry, its sides whole MCUs so that every transform is exact.
inline WorkingBitmap Upright() {
    WorkingBitmap b(64, 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            b.SetPixel(x, y, MakePixel(x * 4, y * 5, (x + 2 * y) * 2, 0xFF));
    return b;
}

// IFD0 with ImageWidth and ImageLength (LONG) and Orientation (SHORT) unless it is 0.
inline Bytes ExifBlock(bool big, int orientation, int width, int height) {
    Bytes out{'E', 'x', 'i', 'f', 0, 0};
    const auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * (big ? n - 1 - i : i))));
    };
    put(big ? 0x4D4D : 0x4949, 2), put(42, 2), put(8, 4), put(orientation ? 3 : 2, 2);
    put(0x0100, 2), put(4, 2), put(1, 4), put(width, 4);
    put(0x0101, 2), put(4, 2), put(1, 4), put(height, 4);
    if (orientation)
        put(0x0112, 2), put(3, 2), put(1, 4), put(orientation, 2), put(0, 2);
    put(0, 4);
    return out;
}

// A little-endian Exif block: IFD0 with Orientation, IFD1 with `thumbnail` as a camera writes it.
inline Bytes ExifWithThumbnail(int orientation, const Bytes& thumbnail) {
    Bytes b{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put(1, 2), put(0x0112, 2), put(3, 2), put(1, 4), put(orientation, 4), put(26, 4);
    put(2, 2);
    put(0x0201, 2), put(4, 2), put(1, 4), put(26 + 2 + 24 + 4, 4);
    put(0x0202, 2), put(4, 2), put(1, 4), put(static_cast<std::uint32_t>(thumbnail.size()), 4);
    put(0, 4);
    b.insert(b.end(), thumbnail.begin(), thumbnail.end());
    return b;
}

inline void Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

// `upright` as a camera in `orientation` stores it, with `exif`; empty when jpegtran fails.
inline Bytes StoredAs(const std::filesystem::path& folder,
                      const Bytes& upright,
                      int orientation,
                      const Bytes& exif) {
    // clang-format off
    static const char* const kInverse[] = {"", "", "-flip horizontal", "-rotate 180",
        "-flip vertical", "-transpose", "-rotate 270", "-transverse", "-rotate 90"};
    // clang-format on
    const auto in = folder / "upright.jpg", out = folder / "stored.jpg";
    Write(in, upright);
    if (std::system(("jpegtran -perfect " + std::string(kInverse[orientation]) + " -outfile '" +
                     out.string() + "' '" + in.string() + "'")
                        .c_str()) != 0)
        return {};
    MemoryStream source(ReadWholeFile(out.string())), dest;
    InsertJpegSegment(dest, source, exif.data(), exif.size(), kMarkerApp1);
    return dest.Bytes();
}

// The largest difference of any colour byte between two pictures of the same size.
inline int LargestDifference(const WorkingBitmap& a, const WorkingBitmap& b) {
    int largest = 0;
    const auto* p = reinterpret_cast<const std::uint8_t*>(a.Data());
    const auto* q = reinterpret_cast<const std::uint8_t*>(b.Data());
    for (std::size_t i = 0; i < a.ByteSize(); ++i)
        largest = std::max(largest, i % 4 == 3 ? 0 : std::abs(p[i] - q[i]));
    return largest;
}

}  // namespace zelqor::oriented
