// libpng glue for reading: transformations to B, G, R, alpha, then alpha laid over white.
#include "PngReader.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "ImageIoError.h"
#include "ImageLimits.h"

namespace zelqor {

namespace {

struct Source {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
    // How far the rows got, kept here rather than in readPng's frame, which a longjmp leaves.
    int passes = 0;
    int pass = 0;
    png_uint_32 rowsDone = 0;  // of the current pass
    bool allRows = false;
};

// libpng asks for pixel data in pieces of this size; a file cut inside one loses the rows it
// would have given, so they are kept small.
constexpr std::size_t kPixelDataPiece = 4096;

// A deflate stream expands at most about 1032 times, so a file can never hold more rows than
// that many times its bytes.
constexpr std::uint64_t kMostDeflateExpansion = 1032;
constexpr std::uint32_t kMissingGrey = 0xFF808080u;

struct Failure {
    char message[256];
};

[[noreturn]] void jumpOnError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<Failure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message ? message : "");
    png_longjmp(png, 1);
}
// The default handler would print on standard error, which belongs to the caller.
void ignoreWarning(png_structp, png_const_charp) {}

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->size - source->position)
        png_error(png, "the file ends early");
    std::memcpy(out, source->data + source->position, length);
    source->position += length;
}

// Returns false when libpng failed, its words in `failure`. Only C objects live in this frame
// across setjmp; the C++ ones are the caller's.
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";

// The eXIf and XMP chunks libpng has read into `info` so far; the first of each is kept.
void takeMetadata(png_structp png, png_infop info, PngMetadata& metadata) {
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
    if (metadata.exif.empty() && png_get_eXIf_1(png, info, &exifSize, &exif) != 0 &&
        exif != nullptr)
        metadata.exif.assign(exif, exif + exifSize);
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count && metadata.xmp.empty(); ++i) {
        const png_text& t = texts[i];
        // The packet belongs in an iTXt chunk; some older writers put it in tEXt or zTXt.
        if (t.key != nullptr && t.text != nullptr && t.key == kXmpKeyword) {
            const bool itxt = t.compression >= PNG_ITXT_COMPRESSION_NONE;
            metadata.xmp.assign(t.text, t.text + (itxt ? t.itxt_length : t.text_length));
        }
    }
}

bool readPng(Source& source,
             Failure& failure,
             WorkingBitmap& bitmap,
             PngMetadata& metadata,
             bool& hasAlpha) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, jumpOnError, ignoreWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        // The last row is laid down before libpng reads the checksums after it, so a file cut
        // there has every row although the loop never saw its last call return.
        if (source.passes > 0 &&
            (png_get_current_pass_number(png) >= 7 ||
             png_get_current_row_number(png) >= png_get_image_height(png, info)))
            source.allRows = true;
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, readFromMemory);
    png_set_compression_buffer_size(png, kPixelDataPiece);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    // libpng keeps both sides below 2^31 on its own.
    if (std::uint64_t{width} * height > kMaxImagePixels)
        png_error(png, "the picture has more pixels than this program takes");
    const std::uint64_t fileRows = std::uint64_t{height} * (png_get_rowbytes(png, info) + 1);
    if (fileRows > kMostDeflateExpansion * (source.size - source.position))
        png_error(png, "the file is far too small for the picture its header declares");

    const int colourType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
    if (png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_tRNS_to_alpha(png);
        hasAlpha = true;
    }
    if (bitDepth == 16)
        png_set_scale_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!hasAlpha)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t{width} * 4)
        png_error(png, "unexpected row layout");

    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileSize = 0;
    bool allocated = true;
    try {
        if (png_get_iCCP(png, info, &name, &compression, &profile, &profileSize) != 0)
            metadata.icc.assign(profile, profile + profileSize);
        takeMetadata(png, info, metadata);
        // Pages come in as rows arrive, so a header that lies costs nothing before its data runs
        // out.
        bitmap.ResizeUnpopulated(static_cast<int>(width), static_cast<int>(height));
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated)
        png_error(png, "not enough memory for the picture");
    source.passes = passes;
    // Given only the display row, libpng spreads each pixel of an interlaced pass over the block
    // it stands for, so once the first pass is through, every row holds a coarse picture that
    // later passes refine in place: a file cut in a late pass still shows the whole picture.
    for (source.pass = 0; source.pass < passes; ++source.pass) {
        for (source.rowsDone = 0; source.rowsDone < height; ++source.rowsDone)
            png_read_row(png, nullptr, bitmap.Row(static_cast<int>(source.rowsDone)));
    }
    source.allRows = true;
    // Writers put the Exif and XMP chunks after the picture data as often as before it.
    png_read_end(png, info);
    allocated = true;
    try {
        takeMetadata(png, info, metadata);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return allocated;
}

// libpng clears the whole buffer of a chunk before reading into it, so a few bytes declaring a
// chunk of a gigabyte would cost a gigabyte. Such a chunk is cut by the end of the file, so
// libpng is handed the file up to its start, where it meets the same end at no cost. A cut IDAT
// stays: its data is streamed, and the rows it holds are kept.
std::size_t BytesBeforeCutChunk(const std::uint8_t* data, std::size_t size) {
    const auto big = [data](std::size_t at) {
        return (std::uint32_t{data[at]} << 24) | (std::uint32_t{data[at + 1]} << 16) |
               (std::uint32_t{data[at + 2]} << 8) | data[at + 3];
    };
    for (std::size_t at = 8; at + 8 <= size;) {
        const std::uint64_t length = big(at);
        const bool idat = std::memcmp(data + at + 4, "IDAT", 4) == 0;
        if (length + 12 > size - at)
            return idat ? size : at;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0)
            break;
        at += 12 + length;
    }
    return size;
}

}  // namespace

bool HasPngSignature(const std::uint8_t* data, std::size_t size) {
    return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

WorkingBitmap DecodePng(const std::uint8_t* data,
                        std::size_t size,
                        std::vector<std::uint8_t>& iccProfile) {
    return DecodePng(data, size, iccProfile, nullptr);
}

WorkingBitmap DecodePng(const std::uint8_t* data,
                        std::size_t size,
                        std::vector<std::uint8_t>& iccProfile,
                        bool* endedEarly) {
    PngMetadata metadata;
    WorkingBitmap bitmap = DecodePng(data, size, metadata, endedEarly);
    iccProfile = std::move(metadata.icc);
    return bitmap;
}

WorkingBitmap DecodePng(const std::uint8_t* data,
                        std::size_t size,
                        PngMetadata& metadata,
                        bool* endedEarly) {
    if (!HasPngSignature(data, size))
        throw ImageIoError(kInvalidPngText, "Not a PNG file: the PNG signature is missing");
    Source source{data, BytesBeforeCutChunk(data, size), 0};
    Failure failure{};
    WorkingBitmap bitmap;
    bool hasAlpha = false;
    if (endedEarly)
        *endedEarly = false;
    if (!readPng(source, failure, bitmap, metadata, hasAlpha)) {
        // Every row there and only the end missing: the picture is whole. Without a first row
        // there is nothing to show.
        const bool someRows = bitmap.HoldsImage() && (source.pass > 0 || source.rowsDone > 0);
        if (!source.allRows && !someRows)
            throw ImageIoError(kInvalidPngText, failure.message);
        if (!source.allRows) {
            // Cut inside the pixel data: the rows decoded stay, the rest is grey, as a JPEG's.
            // Past the first pass every row has been reached.
            const int firstMissing =
                source.pass == 0 ? static_cast<int>(source.rowsDone) : bitmap.Height();
            for (int y = firstMissing; y < bitmap.Height(); ++y)
                std::fill_n(bitmap.RowWords(y), bitmap.Width(), kMissingGrey);
            if (endedEarly)
                *endedEarly = true;
        }
    }
    if (hasAlpha) {
        std::uint32_t* p = bitmap.Data();
        const std::size_t count = static_cast<std::size_t>(bitmap.Width()) * bitmap.Height();
        for (std::size_t i = 0; i < count; ++i)
            p[i] = FlattenOnWhite(p[i]);
    }
    return bitmap;
}

}  // namespace zelqor
