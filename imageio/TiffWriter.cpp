// libtiff glue for writing into memory, then the Exif directories appended by hand.
#include "TiffWriter.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "ImageIoError.h"
#include "MemExif.h"
#include "TiffDirectories.h"

namespace zelqor {

namespace {

struct Sink {
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
};

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t count) {
    auto* s = static_cast<Sink*>(handle);
    if (count <= 0 || s->position >= s->bytes.size())
        return 0;
    const std::size_t n = std::min(static_cast<std::size_t>(count), s->bytes.size() - s->position);
    std::memcpy(buffer, s->bytes.data() + s->position, n);
    s->position += n;
    return static_cast<tmsize_t>(n);
}
tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t count) {
    auto* s = static_cast<Sink*>(handle);
    if (count <= 0)
        return 0;
    const std::size_t n = static_cast<std::size_t>(count);
    try {
        if (s->position + n > s->bytes.size())
            s->bytes.resize(s->position + n);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::memcpy(s->bytes.data() + s->position, buffer, n);
    s->position += n;
    return count;
}
toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    auto* s = static_cast<Sink*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = s->position;
    else if (whence == SEEK_END)
        base = s->bytes.size();
    s->position = static_cast<std::size_t>(base + offset);
    return s->position;
}
int closeProc(thandle_t) {
    return 0;
}
toff_t sizeProc(thandle_t handle) {
    return static_cast<Sink*>(handle)->bytes.size();
}
int noMap(thandle_t, void**, toff_t*) {
    return 0;
}
void noUnmap(thandle_t, void*, toff_t) {}

int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// The IFD0 texts an Exif block carries that a TIFF reader looks for in IFD0 itself.
constexpr std::uint16_t kTextTags[] = {TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,     TIFFTAG_MODEL,
                                       TIFFTAG_SOFTWARE,         TIFFTAG_DATETIME, TIFFTAG_ARTIST,
                                       TIFFTAG_COPYRIGHT};

// What the Exif block says of how to show the pixels: 1 once they were turned upright, the
// source's value when they were kept as stored. TIFF readers go by IFD0's own tag.
std::uint16_t orientationOf(std::span<const std::uint8_t> exif) {
    std::vector<std::uint8_t> framed = {'E', 'x', 'i', 'f', 0, 0};
    framed.insert(framed.end(), exif.begin(), exif.end());
    const int orientation = ReadExifOrientation(framed);
    return orientation >= 1 && orientation <= 8 ? static_cast<std::uint16_t>(orientation)
                                                : std::uint16_t{ORIENTATION_TOPLEFT};
}

// Returns false when libtiff failed; only C++ objects with no libtiff frames below them.
bool writeTiff(const WorkingBitmap& bitmap, const MetadataPieces& metadata, Sink& sink) {
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options)
        return false;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quiet, nullptr);
    const bool big = ExifIsBigEndian(metadata.exif);
    TIFF* tif = TIFFClientOpenExt("memory", big ? "wb" : "wl", &sink, readProc, writeProc, seekProc,
                                  closeProc, sizeProc, noMap, noUnmap, options.get());
    if (tif == nullptr)
        return false;
    const auto width = static_cast<std::uint32_t>(bitmap.Width());
    const auto height = static_cast<std::uint32_t>(bitmap.Height());
    bool ok =
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width) &&
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
        TIFFSetField(tif, TIFFTAG_ORIENTATION, orientationOf(metadata.exif)) &&
        // Strips of about 64 KB keep memory small and let readers seek.
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::max<std::uint32_t>(1, 65536 / (3 * width)));
    for (const std::uint16_t tag : kTextTags) {
        if (const auto text = ExifAsciiTag(metadata.exif, tag))
            ok = ok && TIFFSetField(tif, tag, text->c_str());
    }
    if (!metadata.xmp.empty())
        ok = ok &&
             TIFFSetField(tif, TIFFTAG_XMLPACKET, static_cast<std::uint32_t>(metadata.xmp.size()),
                          metadata.xmp.data());
    if (!metadata.icc.empty())
        ok = ok &&
             TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(metadata.icc.size()),
                          metadata.icc.data());
    // Placeholders for the directories appended once libtiff is done; any non-zero value
    // makes libtiff write the entry.
    if (ExifHasDirectory(metadata.exif, kExifIfdTag))
        ok = ok && TIFFSetField(tif, TIFFTAG_EXIFIFD, std::uint64_t{1});
    if (ExifHasDirectory(metadata.exif, kGpsIfdTag))
        ok = ok && TIFFSetField(tif, TIFFTAG_GPSIFD, std::uint64_t{1});
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (std::uint32_t y = 0; ok && y < height; ++y) {
        const std::uint8_t* in = bitmap.Row(static_cast<int>(y));
        for (std::uint32_t x = 0; x < width; ++x) {
            row[3 * x] = in[4 * x + 2];
            row[3 * x + 1] = in[4 * x + 1];
            row[3 * x + 2] = in[4 * x];
        }
        ok = TIFFWriteScanline(tif, row.data(), y, 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return ok;
}

}  // namespace

void WriteTiff(const WorkingBitmap& bitmap, const MetadataPieces& metadata, Stream& out) {
    if (!bitmap.HoldsImage())
        ThrowStreamWriteError();
    Sink sink;
    if (!writeTiff(bitmap, metadata, sink))
        ThrowStreamWriteError();
    if (!metadata.exif.empty())
        AttachExifDirectories(sink.bytes, metadata.exif);
    out.WriteBuffer(sink.bytes.data(), sink.bytes.size());
}

}  // namespace zelqor
