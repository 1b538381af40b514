// libtiff glue for reading from memory: our own sample path for the common kinds, libtiff's
// RGBA conversion for the rest.
#include "TiffReader.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "CmykConversion.h"
#include "ImageIoError.h"
#include "Orientation.h"
#include "TiffDirectories.h"

namespace zelqor {

namespace {

struct Source {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
    std::string error;  // libtiff's first error message
};

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t count) {
    auto* s = static_cast<Source*>(handle);
    if (count <= 0 || s->position >= s->size)
        return 0;
    const std::size_t n = std::min(static_cast<std::size_t>(count), s->size - s->position);
    std::memcpy(buffer, s->data + s->position, n);
    s->position += n;
    return static_cast<tmsize_t>(n);
}
tmsize_t writeProc(thandle_t, void*, tmsize_t) {
    return 0;
}
toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    auto* s = static_cast<Source*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = s->position;
    else if (whence == SEEK_END)
        base = s->size;
    const std::uint64_t target = base + offset;
    if (target > s->size)
        return static_cast<toff_t>(-1);
    s->position = static_cast<std::size_t>(target);
    return target;
}
int closeProc(thandle_t) {
    return 0;
}
toff_t sizeProc(thandle_t handle) {
    return static_cast<Source*>(handle)->size;
}
// Uncompressed strips are then read in place instead of copied.
int mapProc(thandle_t handle, void** base, toff_t* size) {
    auto* s = static_cast<Source*>(handle);
    *base = const_cast<std::uint8_t*>(s->data);
    *size = s->size;
    return 1;
}
void unmapProc(thandle_t, void*, toff_t) {}

int keepError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* s = static_cast<Source*>(user);
    if (s->error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        s->error = module != nullptr && *module != '\0' ? std::string(module) + ": " + text : text;
    }
    return 1;
}
// Warnings (unknown tags, odd but readable values) are the file's business, not the user's.
int dropWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsDeleter {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

[[noreturn]] void fail(const Source& source, const char* fallback) {
    throw ImageIoError(kInvalidTiffText, source.error.empty() ? fallback : source.error);
}

std::uint8_t to8(std::uint16_t v) {
    return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u);
}
std::uint8_t floatTo8(float v) {
    // NaN compares false both ways and lands on 0.
    const float c = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    return static_cast<std::uint8_t>(std::lround(c * 255.0f));
}

// The layout of a page our own path reads: unsigned 8 or 16 bits, or 32-bit floats, of grey,
// RGB or CMYK, with an optional alpha among the extra samples.
struct Layout {
    int width = 0;
    int height = 0;
    int samples = 0;        // per pixel, all of them
    int colourSamples = 0;  // 1, 3 or 4
    int bytesPerSample = 0;
    bool floating = false;
    bool cmyk = false;
    int alphaIndex = -1;  // the sample holding alpha, or -1
    bool associatedAlpha = false;
    bool planar = false;
    bool tiled = false;
    std::uint32_t bandRows = 0;   // rows per strip or tile
    std::uint32_t tileWidth = 0;  // the width for strips
};

std::optional<Layout> ownLayout(TIFF* tif, int width, int height) {
    std::uint16_t bits = 1, samples = 1, format = SAMPLEFORMAT_UINT, photometric = 0;
    std::uint16_t planar = PLANARCONFIG_CONTIG, inkSet = INKSET_CMYK;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        return std::nullopt;
    Layout l;
    l.width = width;
    l.height = height;
    l.samples = samples;
    if (format == SAMPLEFORMAT_IEEEFP && bits == 32) {
        l.floating = true;
        l.bytesPerSample = 4;
    } else if (format == SAMPLEFORMAT_UINT && (bits == 8 || bits == 16)) {
        l.bytesPerSample = bits / 8;
    } else {
        return std::nullopt;
    }
    if (photometric == PHOTOMETRIC_MINISBLACK)
        l.colourSamples = 1;
    else if (photometric == PHOTOMETRIC_RGB)
        l.colourSamples = 3;
    else if (photometric == PHOTOMETRIC_SEPARATED && inkSet == INKSET_CMYK && !l.floating)
        l.colourSamples = 4, l.cmyk = true;
    else
        return std::nullopt;
    if (samples < l.colourSamples)
        return std::nullopt;
    std::uint16_t extraCount = 0;
    std::uint16_t* extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 &&
        l.colourSamples + extraCount <= samples) {
        if (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA) {
            l.alphaIndex = l.colourSamples;
            l.associatedAlpha = extra[0] == EXTRASAMPLE_ASSOCALPHA;
        }
    }
    l.planar = planar == PLANARCONFIG_SEPARATE && samples > 1;
    l.tiled = TIFFIsTiled(tif) != 0;
    if (l.tiled) {
        std::uint32_t tw = 0, th = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
        if (tw == 0 || th == 0)
            return std::nullopt;
        l.tileWidth = tw;
        l.bandRows = std::min<std::uint32_t>(th, static_cast<std::uint32_t>(height));
    } else {
        std::uint32_t rows = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rows);
        l.tileWidth = static_cast<std::uint32_t>(width);
        l.bandRows = std::clamp<std::uint32_t>(rows, 1, static_cast<std::uint32_t>(height));
    }
    return l;
}

// One band of rows (a strip's or a tile row's) as contiguous samples, whichever way the file
// stores them.
class BandReader {
  public:
    BandReader(TIFF* tif, const Layout& l, Source& source) : tif_(tif), l_(l), source_(source) {
        pixelBytes_ = static_cast<std::size_t>(l.samples) * l.bytesPerSample;
        rowBytes_ = pixelBytes_ * static_cast<std::size_t>(l.width);
        band_.resize(rowBytes_ * l.bandRows);
        const tmsize_t pieceSize = l.tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
        if (pieceSize <= 0)
            fail(source, "the strip or tile size is invalid");
        piece_.resize(static_cast<std::size_t>(pieceSize));
    }

    // Reads the band that starts at row `top`.
    void Read(std::uint32_t top) {
        const std::uint32_t rows = std::min<std::uint32_t>(l_.bandRows, l_.height - top);
        const int planes = l_.planar ? l_.samples : 1;
        const std::size_t sampleBytes = l_.planar ? l_.bytesPerSample : pixelBytes_;
        for (int plane = 0; plane < planes; ++plane) {
            for (std::uint32_t left = 0; left < static_cast<std::uint32_t>(l_.width);
                 left += l_.tileWidth) {
                readPiece(left, top, static_cast<std::uint16_t>(plane));
                const std::uint32_t cols = std::min<std::uint32_t>(l_.tileWidth, l_.width - left);
                for (std::uint32_t r = 0; r < rows; ++r) {
                    const std::uint8_t* in = piece_.data() + sampleBytes * l_.tileWidth * r;
                    std::uint8_t* out = band_.data() + rowBytes_ * r + pixelBytes_ * left;
                    if (!l_.planar) {
                        std::memcpy(out, in, sampleBytes * cols);
                        continue;
                    }
                    out += static_cast<std::size_t>(plane) * l_.bytesPerSample;
                    for (std::uint32_t x = 0; x < cols; ++x)
                        std::memcpy(out + pixelBytes_ * x, in + sampleBytes * x, sampleBytes);
                }
            }
        }
    }
    const std::uint8_t* Row(std::uint32_t r) const { return band_.data() + rowBytes_ * r; }

  private:
    void readPiece(std::uint32_t left, std::uint32_t top, std::uint16_t plane) {
        // A piece cut short leaves zeros, as libtiff's own conversion does.
        std::fill(piece_.begin(), piece_.end(), std::uint8_t{0});
        tmsize_t got;
        if (l_.tiled)
            got = TIFFReadTile(tif_, piece_.data(), left, top, 0, plane);
        else
            got = TIFFReadEncodedStrip(tif_, TIFFComputeStrip(tif_, top, plane), piece_.data(),
                                       static_cast<tmsize_t>(piece_.size()));
        if (got < 0)
            fail(source_, "a strip or tile does not decode");
    }

    TIFF* tif_;
    const Layout& l_;
    Source& source_;
    std::size_t pixelBytes_ = 0;
    std::size_t rowBytes_ = 0;
    std::vector<std::uint8_t> band_;
    std::vector<std::uint8_t> piece_;
};

float sampleAt(const std::uint8_t* p, const Layout& l) {
    if (l.floating) {
        float v;
        std::memcpy(&v, p, 4);
        return v;
    }
    if (l.bytesPerSample == 2) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v / 65535.0f;
    }
    return *p / 255.0f;
}
std::uint8_t byteAt(const std::uint8_t* p, const Layout& l) {
    if (l.floating)
        return floatTo8(sampleAt(p, l));
    if (l.bytesPerSample == 2) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return to8(v);
    }
    return *p;
}

void readOwn(TIFF* tif,
             const Layout& l,
             Source& source,
             const std::vector<std::uint8_t>& icc,
             WorkingBitmap& bitmap) {
    BandReader reader(tif, l, source);
    const std::unique_ptr<CmykToBgr> cmyk =
        l.cmyk ? std::make_unique<CmykToBgr>(icc, false) : nullptr;
    std::vector<std::uint8_t> inks(l.cmyk ? static_cast<std::size_t>(l.width) * 4 : 0);
    const std::size_t step = static_cast<std::size_t>(l.samples) * l.bytesPerSample;
    for (std::uint32_t top = 0; top < static_cast<std::uint32_t>(l.height); top += l.bandRows) {
        reader.Read(top);
        const std::uint32_t rows = std::min<std::uint32_t>(l.bandRows, l.height - top);
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint8_t* in = reader.Row(r);
            std::uint8_t* out = bitmap.Row(static_cast<int>(top + r));
            if (l.cmyk) {
                for (int x = 0; x < l.width; ++x)
                    for (int c = 0; c < 4; ++c)
                        inks[4 * x + c] = byteAt(in + step * x + c * l.bytesPerSample, l);
                cmyk->ConvertRow(inks.data(), out, l.width);
            }
            for (int x = 0; x < l.width; ++x, in += step, out += 4) {
                if (!l.cmyk) {
                    const int g = l.colourSamples == 3 ? 1 : 0;
                    const int b = l.colourSamples == 3 ? 2 : 0;
                    out[0] = byteAt(in + b * l.bytesPerSample, l);
                    out[1] = byteAt(in + g * l.bytesPerSample, l);
                    out[2] = byteAt(in, l);
                }
                out[3] = 0xFF;
                if (l.alphaIndex < 0)
                    continue;
                const float a =
                    std::clamp(sampleAt(in + l.alphaIndex * l.bytesPerSample, l), 0.0f, 1.0f);
                for (int c = 0; c < 3; ++c) {
                    // Premultiplied colour already holds its share; white fills the rest.
                    const float colour = out[c] * (l.associatedAlpha ? 1.0f : a);
                    out[c] = static_cast<std::uint8_t>(
                        std::min(255L, std::lround(colour + 255.0f * (1.0f - a))));
                }
            }
        }
    }
}

// libtiff's conversion covers bilevel, palette, YCbCr, CIE Lab and the rest. Its raster holds
// R, G, B, A from the low byte up, alpha premultiplied.
void readRgba(TIFF* tif, Source& source, WorkingBitmap& bitmap) {
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif, message))
        throw ImageIoError(kInvalidTiffText, message);
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tif, 0, message))
        throw ImageIoError(kInvalidTiffText, message);
    // Rows as stored, top first: the Orientation tag is applied afterwards, all eight of them.
    image.req_orientation = ORIENTATION_TOPLEFT;
    image.orientation = ORIENTATION_TOPLEFT;
    const int ok =
        TIFFRGBAImageGet(&image, bitmap.Data(), static_cast<std::uint32_t>(bitmap.Width()),
                         static_cast<std::uint32_t>(bitmap.Height()));
    const bool alpha = image.alpha != 0;
    TIFFRGBAImageEnd(&image);
    if (!ok)
        fail(source, "the picture does not decode");
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint32_t* row = bitmap.RowWords(y);
        for (int x = 0; x < bitmap.Width(); ++x) {
            const std::uint32_t p = row[x];
            const std::uint32_t a = p >> 24;
            const std::uint32_t white = alpha ? 255 - a : 0;
            const auto c = [&](int shift) { return std::min(255u, ((p >> shift) & 0xFF) + white); };
            row[x] = 0xFF000000u | (c(0) << 16) | (c(8) << 8) | c(16);
        }
    }
}

}  // namespace

bool HasTiffSignature(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return false;
    return (data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0) ||
           (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43));
}

DecodedPicture DecodeTiff(const std::uint8_t* data, std::size_t size, std::uint64_t maxPixels) {
    return DecodeTiff(data, size, maxPixels, OrientationHandling::Upright);
}

DecodedPicture DecodeTiff(const std::uint8_t* data,
                          std::size_t size,
                          std::uint64_t maxPixels,
                          OrientationHandling orientationHandling) {
    if (!HasTiffSignature(data, size))
        throw ImageIoError(kInvalidTiffText, "Not a TIFF file: the TIFF header is missing");
    const std::span<const std::uint8_t> file(data, size);
    const auto pages = CountTiffDirectories(file);
    if (!pages)
        throw ImageIoError(kInvalidTiffText, "the file's directories run in a loop");

    Source source{data, size, 0, {}};
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options)
        throw ImageIoError(kInvalidTiffText, "not enough memory");
    // No single buffer of libtiff's may pass a whole 16-bit RGBA picture of our largest size.
    const std::uint64_t limit = std::min(maxPixels, kMaxImagePixels) * 8;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(limit));
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), keepError, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), dropWarning, &source);
    std::unique_ptr<TIFF, TiffCloser> tif(
        TIFFClientOpenExt("memory", "r", &source, readProc, writeProc, seekProc, closeProc,
                          sizeProc, mapProc, unmapProc, options.get()));
    if (!tif)
        fail(source, "libtiff cannot open the file");

    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    CheckPictureSize(width, height, maxPixels);

    DecodedPicture picture;
    std::uint32_t length = 0;
    void* bytes = nullptr;
    if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &length, &bytes) && bytes != nullptr)
        picture.icc.assign(static_cast<std::uint8_t*>(bytes),
                           static_cast<std::uint8_t*>(bytes) + length);
    if (TIFFGetField(tif.get(), TIFFTAG_XMLPACKET, &length, &bytes) && bytes != nullptr)
        picture.xmp.assign(static_cast<std::uint8_t*>(bytes),
                           static_cast<std::uint8_t*>(bytes) + length);
    picture.exif = ExifBlockOfTiff(file);

    picture.bitmap = WorkingBitmap(static_cast<int>(width), static_cast<int>(height));
    if (const auto layout = ownLayout(tif.get(), static_cast<int>(width), static_cast<int>(height)))
        readOwn(tif.get(), *layout, source, picture.icc, picture.bitmap);
    else
        readRgba(tif.get(), source, picture.bitmap);

    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    if (orientationHandling == OrientationHandling::Upright && orientation > ORIENTATION_TOPLEFT &&
        orientation <= ORIENTATION_LEFTBOT) {
        picture.bitmap = TurnUpright(std::move(picture.bitmap), orientation);
        picture.turnedUpright = true;
        SetOrientationUpright(picture.exif);
    }
    // Kept as stored, the picture still needs the tag that says how to show it, and IFD0's
    // layout tags alone give no Exif block.
    if (orientationHandling == OrientationHandling::AsStored && picture.exif.empty() &&
        orientation > ORIENTATION_TOPLEFT && orientation <= ORIENTATION_LEFTBOT)
        picture.exif = OrientationOnlyExif(orientation);
    if (*pages > 1)
        picture.notices.emplace_back(kTiffMorePagesNotice);
    return picture;
}

}  // namespace zelqor
