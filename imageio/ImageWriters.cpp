// libpng glue writing into memory, and the plain 24-bit BMP writer.
#include "ImageWriters.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <limits>
#include <string>

#include "ImageIoError.h"

namespace zelqor {

namespace {

// libpng is C: nothing may unwind through its frames. Callbacks turn every failure into
// png_error, whose handler below longjmps back to writePng's setjmp.
[[noreturn]] void jumpOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
// The default handler would print on standard error, which belongs to the caller.
void ignoreWarning(png_structp, png_const_charp) {}

void writeToStream(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Stream*>(png_get_io_ptr(png));
    bool written = false;
    try {
        written = out->Write(data, length) == length;
    } catch (...) {
        // png_error must not run inside the handler: the longjmp would skip the end of the
        // catch and leak the exception.
    }
    if (!written)
        png_error(png, "write failed");
}
void flushNothing(png_structp) {}

// Returns false when libpng failed. Only C objects live in this frame across setjmp.
bool writePng(const WorkingBitmap& bitmap,
              const MetadataPieces& metadata,
              const std::string& xmp,
              Stream& out,
              std::vector<png_byte>& row) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOnError, ignoreWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, writeToStream, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()),
                 static_cast<png_uint_32>(bitmap.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // A profile libpng judges unfit becomes a warning and is left out.
    png_set_benign_errors(png, 1);
    if (!metadata.icc.empty())
        png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, metadata.icc.data(),
                     static_cast<png_uint_32>(metadata.icc.size()));
    if (!metadata.exif.empty())
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(metadata.exif.size()),
                       const_cast<png_bytep>(metadata.exif.data()));
    png_text text{};
    if (!xmp.empty()) {
        text.compression = PNG_ITXT_COMPRESSION_NONE;
        text.key = const_cast<png_charp>("XML:com.adobe.xmp");
        text.text = const_cast<png_charp>(xmp.c_str());
        text.itxt_length = xmp.size();
        text.lang = const_cast<png_charp>("");
        text.lang_key = const_cast<png_charp>("");
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* in = bitmap.Row(y);
        for (int x = 0; x < bitmap.Width(); ++x) {
            row[3 * x] = in[4 * x + 2];
            row[3 * x + 1] = in[4 * x + 1];
            row[3 * x + 2] = in[4 * x];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Blue, green, red of each pixel, the fourth byte dropped. Four pixels become twelve bytes in
// two stores: a byte at a time this loop took longer than writing the file.
void PackRowBgr(const std::uint32_t* in, std::size_t width, std::uint8_t* out) {
    constexpr std::uint64_t kBgr = 0xFFFFFF;
    std::size_t x = 0;
    for (; x + 4 <= width; x += 4, out += 12) {
        const std::uint64_t lo = (in[x] & kBgr) | ((in[x + 1] & kBgr) << 24) |
                                 (static_cast<std::uint64_t>(in[x + 2]) << 48);
        const auto hi =
            static_cast<std::uint32_t>(((in[x + 2] >> 16) & 0xFF) | ((in[x + 3] & kBgr) << 8));
        std::memcpy(out, &lo, 8);
        std::memcpy(out + 8, &hi, 4);
    }
    for (; x < width; ++x, out += 3) {
        out[0] = static_cast<std::uint8_t>(in[x]);
        out[1] = static_cast<std::uint8_t>(in[x] >> 8);
        out[2] = static_cast<std::uint8_t>(in[x] >> 16);
    }
}

void put16(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

void WritePng(const WorkingBitmap& bitmap, Stream& out) {
    WritePng(bitmap, MetadataPieces{}, out);
}

void WritePng(const WorkingBitmap& bitmap, const MetadataPieces& metadata, Stream& out) {
    if (!bitmap.HoldsImage())
        ThrowStreamWriteError();
    std::vector<png_byte> row(static_cast<std::size_t>(bitmap.Width()) * 3);
    // The packet is text to libpng, so it ends at its first NUL, as XMP never holds one.
    const std::string xmp(metadata.xmp.begin(),
                          std::find(metadata.xmp.begin(), metadata.xmp.end(), std::uint8_t{0}));
    if (!writePng(bitmap, metadata, xmp, out, row))
        ThrowStreamWriteError();
}

std::vector<std::uint8_t> EncodePng(const WorkingBitmap& bitmap) {
    MemoryStream out;
    WritePng(bitmap, out);
    return out.TakeBytes();
}

void WriteBmp(const WorkingBitmap& bitmap, Stream& out) {
    constexpr std::size_t kHeadersSize = 14 + 40;
    if (!bitmap.HoldsImage())
        ThrowStreamWriteError();
    const std::size_t width = static_cast<std::size_t>(bitmap.Width());
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
    const std::uint64_t imageSize = stride * static_cast<std::uint64_t>(bitmap.Height());
    if (imageSize + kHeadersSize > std::numeric_limits<std::uint32_t>::max())
        ThrowStreamWriteError();

    std::uint8_t header[kHeadersSize] = {'B', 'M'};
    put32(header + 2, static_cast<std::uint32_t>(kHeadersSize + imageSize));
    put32(header + 10, kHeadersSize);
    put32(header + 14, 40);
    put32(header + 18, static_cast<std::uint32_t>(bitmap.Width()));
    put32(header + 22, static_cast<std::uint32_t>(bitmap.Height()));
    put16(header + 26, 1);
    put16(header + 28, 24);
    put32(header + 34, static_cast<std::uint32_t>(imageSize));
    constexpr std::uint32_t kPixelsPerMetreAt72Dpi = 2835;
    put32(header + 38, kPixelsPerMetreAt72Dpi);
    put32(header + 42, kPixelsPerMetreAt72Dpi);
    out.WriteBuffer(header, kHeadersSize);

    // Bands of about a megabyte: large enough that the writes cost little, small enough to stay
    // in the cache between conversion and write.
    constexpr std::uint64_t kBandBytes = std::uint64_t{1} << 20;
    const int bandRows = static_cast<int>(std::max<std::uint64_t>(1, kBandBytes / stride));
    std::vector<std::uint8_t> band(static_cast<std::size_t>(stride) * bandRows);
    for (int y = 0; y < bitmap.Height();) {
        const int rows = std::min(bandRows, bitmap.Height() - y);
        for (int r = 0; r < rows; ++r, ++y) {
            std::uint8_t* dst = band.data() + stride * static_cast<std::uint64_t>(r);
            PackRowBgr(bitmap.RowWords(bitmap.Height() - 1 - y), width, dst);
            std::fill(dst + 3 * width, dst + stride, std::uint8_t{0});
        }
        out.WriteBuffer(band.data(), static_cast<std::size_t>(stride) * rows);
    }
}

std::vector<std::uint8_t> EncodeBmp(const WorkingBitmap& bitmap) {
    MemoryStream out;
    WriteBmp(bitmap, out);
    return out.TakeBytes();
}

}  // namespace zelqor
