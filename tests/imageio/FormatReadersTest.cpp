// Tests of the HEIF/AVIF, WebP, TIFF and JPEG XL readers on files their own encoders made.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <zlib.h>  // crc32

#include <algorithm>
#include <cmath>
#include <cstring>

#include "FormatFiles.h"
#include "HeifReader.h"
#include "HevcPictureSize.h"
#include "IccProfile.h"
#include "ImageFile.h"
#include "ImageIoError.h"
#include "JxlReader.h"
#include "MemExif.h"
#include "NclxProfile.h"
#include "Orientation.h"
#include "PngReader.h"
#include "TempFolder.h"
#include "TiffDirectories.h"
#include "TiffReader.h"
#include "TiffWriter.h"
#include "WebpReader.h"

namespace zelqor {
namespace {

enum class Format { Heif, Avif, Webp, Tiff, Jxl };

// Each format's reader, and its own decoder from {file} to {ref}: a PNG, or a TIFF for
// tiff2rgba.
DecodedPicture decode(Format format, const Bytes& b) {
    constexpr decltype(&DecodeHeif) kReaders[] = {DecodeHeif, DecodeHeif, DecodeWebp, DecodeTiff,
                                                  DecodeJxl};
    return kReaders[static_cast<int>(format)](b.data(), b.size(), kMaxImagePixels);
}
constexpr const char* kReferenceDecoders[] = {"heif-convert {file} {ref}",
                                              "heif-convert {file} {ref}", "dwebp {file} -o {ref}",
                                              "tiff2rgba {file} {ref}", "djxl {file} {ref}"};

// Decoded by the reader the first bytes ask for, as a loader would choose it: exactly one
// signature test may accept a file, and it must be the one for `expected`.
DecodedPicture decodeBySignature(const Bytes& b, Format expected) {
    const bool matches[] = {
        HasHeifSignature(b.data(), b.size()), HasAvifSignature(b.data(), b.size()),
        HasWebpSignature(b.data(), b.size()), HasTiffSignature(b.data(), b.size()),
        HasJxlSignature(b.data(), b.size())};
    EXPECT_EQ(std::count(std::begin(matches), std::end(matches), true), 1);
    EXPECT_TRUE(matches[static_cast<int>(expected)]);
    return decode(Format(std::find(std::begin(matches), std::end(matches), true) - matches), b);
}

// The orientation an Exif block (TIFF bytes, as the readers give it) states.
int exifOrientation(const Bytes& exif) {
    Bytes framed = {'E', 'x', 'i', 'f', 0, 0};
    framed.insert(framed.end(), exif.begin(), exif.end());
    return ReadExifOrientation(framed);
}

struct ToolCase {
    const char* name;
    Format format;
    const char* source;  // rgb.png, alpha.png, rgb16.png or rgb.ppm
    const char* encode;  // {in} the source, {out} the file
    int tolerance;       // the codec's rounding between two decoders of the same library
};

std::string substitute(std::string command, const std::string& key, const std::string& value) {
    for (std::size_t at; (at = command.find(key)) != std::string::npos;)
        command.replace(at, key.size(), value);
    return command;
}

// Runs `command` with {in} as `source` and {out} as `name` in `dir`; true when it succeeded.
bool encode(const TempFolder& dir,
            const std::string& command,
            const char* source,
            const char* name) {
    return RunTool(substitute(substitute(command, "{in}", (dir / source).string()), "{out}",
                              (dir / name).string()));
}

constexpr int kW = 40, kH = 24;

void writeSources(const TempFolder& dir) {
    WriteTestPng(dir / "rgb.png", kW, kH, false);
    WriteTestPng(dir / "alpha.png", kW, kH, true);
    WriteTestPng16(dir / "rgb16.png", kW, kH, 100);
    std::string ppm = "P6 " + std::to_string(kW) + " " + std::to_string(kH) + " 255\n";
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const std::uint32_t p = TestPixel(x, y, kW, kH, false);
            ppm += {static_cast<char>(PixelR(p)), static_cast<char>(PixelG(p)),
                    static_cast<char>(PixelB(p))};
        }
    WriteBytes(dir / "rgb.ppm", Bytes(ppm.begin(), ppm.end()));
}

TEST(FormatRead, PixelsMatchTheReferenceDecoderAlphaOnWhite) {
    // The TIFFs are made from a PPM by libtiff's tools, then recompressed or converted.
    const ToolCase cases[] = {
        {"rgb.heic", Format::Heif, "rgb.png", "heif-enc -q 90 -o {out} {in}", 1},
        {"alpha.heic", Format::Heif, "alpha.png", "heif-enc -q 90 -o {out} {in}", 1},
        {"ten-bit.heic", Format::Heif, "rgb16.png", "heif-enc -b 10 -q 90 -o {out} {in}", 1},
        {"rgb.avif", Format::Avif, "rgb.png", "heif-enc -A -q 90 -o {out} {in}", 1},
        {"alpha.avif", Format::Avif, "alpha.png", "heif-enc -A -L -o {out} {in}", 1},
        {"lossy.webp", Format::Webp, "rgb.png", "cwebp -q 80 {in} -o {out}", 0},
        {"alpha.webp", Format::Webp, "alpha.png", "cwebp -lossless {in} -o {out}", 0},
        {"lossy-alpha.webp", Format::Webp, "alpha.png", "cwebp -q 70 {in} -o {out}", 0},
        {"lossy.jxl", Format::Jxl, "rgb.png", "cjxl -d 1 {in} {out}", 1},
        {"alpha.jxl", Format::Jxl, "alpha.png", "cjxl -d 0 {in} {out}", 0},
        {"sixteen.jxl", Format::Jxl, "rgb16.png", "cjxl -d 0 {in} {out}", 1},
        {"lzw.tif", Format::Tiff, "rgb.ppm", "tiffcp -c lzw:2 {out}.t {out}", 0},
        {"zip-tiles.tif", Format::Tiff, "rgb.ppm", "tiffcp -c zip -t -w 16 -l 16 {out}.t {out}", 0},
        {"planar.tif", Format::Tiff, "rgb.ppm", "tiffcp -c packbits -p separate {out}.t {out}", 0},
        {"jpeg.tif", Format::Tiff, "rgb.ppm", "tiffcp -c jpeg {out}.t {out}", 0},
        {"palette.tif", Format::Tiff, "rgb.ppm", "tiffmedian {out}.t {out}", 0},
        {"bilevel.tif", Format::Tiff, "rgb.ppm",
         "tiff2bw {out}.t {out}.g && tiffdither {out}.g {out}.b && tiffcp -c g4 {out}.b {out}", 0},
    };
    const TempFolder dir;
    writeSources(dir);
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = (dir / c.name).string();
        const bool tiff = c.format == Format::Tiff;
        const std::string ref = file + (tiff ? ".ref.tif" : ".ref.png");
        ASSERT_TRUE(encode(dir, (tiff ? "ppm2tiff {in} {out}.t && " : "") + std::string(c.encode),
                           c.source, c.name));
        ASSERT_TRUE(RunTool(
            substitute(substitute(kReferenceDecoders[static_cast<int>(c.format)], "{file}", file),
                       "{ref}", ref)));
        std::vector<std::uint8_t> unused;
        const Bytes refBytes = ReadBytes(ref);
        const WorkingBitmap expected =
            tiff ? ReadTiffReference(ref) : DecodePng(refBytes.data(), refBytes.size(), unused);
        const DecodedPicture picture = decodeBySignature(ReadBytes(file), c.format);
        EXPECT_LE(ChannelDifferences(picture.bitmap, expected).max, c.tolerance);
        // Each source pixel's alpha differs, so a reader that skipped the white shows here.
        const std::string_view how = c.encode;
        const bool lossless = how.find("-lossless") != how.npos || how.find("-d 0") != how.npos;
        if (std::string(c.source) == "alpha.png" && lossless) {
            WorkingBitmap flattened = TestBitmap(kW, kH, true);
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    flattened.SetPixel(x, y, FlattenOnWhite(flattened.Pixel(x, y)));
            EXPECT_LE(ChannelDifferences(picture.bitmap, flattened).max, 1);
        }
    }
}

// A classic little-endian TIFF of one 8-bit grey strip, built by hand so that its sizes, its
// data and its chain can lie.
Bytes tinyTiff(std::uint32_t width, std::uint32_t height, std::uint32_t dataBytes, bool loop) {
    // Reserved first: GCC 12 takes the inserts after the header for an overrun.
    Bytes b;
    b.reserve(256 + dataBytes);
    b.insert(b.end(), {'I', 'I', 42, 0, 8, 0, 0, 0});
    const auto put16 = [&](std::uint16_t v) {
        b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    const auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const std::uint32_t entries = 8;
    const std::uint32_t dataAt = 8 + 2 + entries * 12 + 4;
    put16(entries);
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        put16(tag), put16(type), put32(1), put32(value);
    };
    entry(256, 4, width);
    entry(257, 4, height);
    entry(258, 3, 8);
    entry(259, 3, 1);
    entry(262, 3, 1);
    entry(273, 4, dataAt);
    entry(278, 4, height);
    entry(279, 4, dataBytes);
    put32(loop ? 8 : 0);
    b.resize(b.size() + std::min<std::uint32_t>(dataBytes, 4096), 0x80);
    return b;
}

// A bare JPEG XL codestream whose size header declares width x height and then ends.
// A bare codestream header for a square picture, with alpha channels beyond the colour ones.
Bytes jxlDeclaring(std::uint32_t side, std::uint32_t extraChannels = 0) {
    Bytes b = {0xFF, 0x0A};
    int count = 0;
    const auto put = [&](std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i, ++count) {
            if (count % 8 == 0)
                b.push_back(0);
            b.back() |= ((v >> i) & 1) << (count % 8);
        }
    };
    put(0, 1);                     // not small
    put(2, 2), put(side - 1, 18);  // height: 18 bits
    put(0, 3);                     // no ratio
    put(2, 2), put(side - 1, 18);  // width
    if (extraChannels == 0) {
        put(1, 1);  // default metadata
    } else {
        put(0, 1), put(0, 1);             // metadata of its own, no extra fields
        put(0, 1), put(0, 2), put(1, 1);  // 8-bit integers, 16-bit buffers suffice
        put(3, 2), put(extraChannels - 1, 12);
        for (std::uint32_t i = 0; i < extraChannels; ++i)
            put(1, 1);                    // a default (alpha) channel
        put(1, 1), put(1, 1), put(0, 2);  // XYB, sRGB, no extensions
        put(1, 1);                        // default transform data
    }
    b.resize(b.size() + 64, 0);
    return b;
}

Bytes box(const char* type, const Bytes& body) {
    const std::uint32_t size = static_cast<std::uint32_t>(body.size() + 8);
    // Sized first: GCC 12 takes inserts after the size for an overrun.
    Bytes b(size);
    const std::uint8_t head[4] = {std::uint8_t(size >> 24), std::uint8_t(size >> 16),
                                  std::uint8_t(size >> 8), std::uint8_t(size)};
    std::copy(body.begin(), body.end(),
              std::copy(type, type + 4, std::copy(head, head + 4, b.begin())));
    return b;
}

// heif-enc stores even a small picture as a grid of one tile (of at most 64 x 64); this makes
// the grid `columns` tiles across on a canvas of side x side, in its descriptor (in idat) and
// its own ispe. Every side here is below 256.
Bytes patchedGrid(Bytes b, int columns, std::uint8_t side) {
    const auto find = [&](std::string_view type, auto from) {
        return std::search(from, b.end(), type.begin(), type.end());
    };
    const auto grid = find("idat", b.begin()) + 4;  // version, flags, rows - 1, columns - 1
    for (auto at = find("ispe", b.begin()); at != b.end(); at = find("ispe", at + 1))
        if (std::equal(at + 10, at + 12, grid + 4))  // the grid's, not the tile's
            at[11] = at[15] = side;
    grid[3] = static_cast<std::uint8_t>(columns - 1);
    grid[5] = grid[7] = side;
    return b;
}

TEST(FormatRead, BrokenAndHostileFilesAreRefusedWithTheirReason) {
    const TempFolder dir;
    writeSources(dir);
    ASSERT_TRUE(encode(dir, "heif-enc -q 50 -o {out} {in}", "rgb.png", "a.heic"));
    ASSERT_TRUE(encode(dir, "cwebp -q 50 {in} -o {out}", "rgb.png", "a.webp"));
    ASSERT_TRUE(encode(dir, "cjxl -d 1 {in} {out}", "rgb.png", "a.jxl"));
    const Bytes heic = ReadBytes(dir / "a.heic");
    const auto cut = [](Bytes b, double share) {
        b.resize(static_cast<std::size_t>(b.size() * share));
        return b;
    };
    Bytes hugeHeic = heic;
    const std::string_view ispe = "ispe";
    int patched = 0;
    for (auto at = hugeHeic.begin();
         (at = std::search(at, hugeHeic.end(), ispe.begin(), ispe.end())) != hugeHeic.end();
         ++at, ++patched) {
        const std::uint8_t side[] = {0, 0, 0x9C, 0x40};  // 40000, after version and flags
        std::copy(side, side + 4, at + 8);
        std::copy(side, side + 4, at + 12);
    }
    ASSERT_GE(patched, 1);
    const Bytes sequenceOnly = [] {
        Bytes b =
            box("ftyp", {'m', 's', 'f', '1', 0, 0, 0, 0, 'm', 's', 'f', '1', 'i', 's', 'o', '8'});
        const Bytes moov = box("moov", box("mvhd", Bytes(100, 0)));
        b.insert(b.end(), moov.begin(), moov.end());
        return b;
    }();
    const std::string tooLarge = "The image is too large";

    struct Case {
        const char* name;
        Format reader;
        Bytes bytes;
        std::string expected;  // a part of the message
    };
    using enum Format;
    const Case cases[] = {
        {"truncated HEIC", Heif, cut(heic, 0.7), kInvalidHeifText},
        {"HEIC declaring 40000 x 40000", Heif, hugeHeic, ""},
        {"HEIF holding only a sequence", Heif, sequenceOnly, kHeifSequenceReason},
        // Grids nested in an overlay, each declaring a canvas far beyond its 24 x 16 item: libheif
        // took half a minute and 4 GB clearing them before decoding the small picture.
        {"HEIF grids declaring canvases beyond their item", Heif,
         ReadBytes(std::filesystem::path(ZELQOR_SOURCE_DIR) /
                   "tests/fuzz/regressions/heif_decode/nested-grid-canvas-87579d33"),
         "exceeds the maximum image size"},
        {"HEIF grid with a tile missing", Heif, patchedGrid(heic, 2, 64), "Missing grid images"},
        // libheif would show the rest of the canvas black.
        {"HEIF grid whose tile leaves most of its canvas", Heif, patchedGrid(heic, 1, 160),
         "its grid's tiles cover only 64 x 64 of its 160 x 160 canvas"},
        {"truncated WebP", Webp, cut(ReadBytes(dir / "a.webp"), 0.6), kInvalidWebpText},
        {"truncated JPEG XL", Jxl, cut(ReadBytes(dir / "a.jxl"), 0.5), kInvalidJxlText},
        {"JPEG XL declaring 40000 x 40000", Jxl, jxlDeclaring(40000), tooLarge},
        {"JPEG XL declaring 1024 x 1024 with 4000 channels", Jxl, jxlDeclaring(1024, 3997),
         "decoding it would take 16000 MB for 4000 channels"},
        {"TIFF declaring 40000 x 40000", Tiff, tinyTiff(40000, 40000, 16, false), tooLarge},
        {"TIFF 70000 wide", Tiff, tinyTiff(70000, 1, 70000, false), tooLarge},
        {"TIFF whose strip is shorter than its size", Tiff, cut(tinyTiff(64, 64, 4096, false), 0.2),
         kInvalidTiffText},
        {"TIFF whose directories loop", Tiff, tinyTiff(4, 4, 16, true), "loop"},
        {"text given to each reader", Heif, Bytes(40, 'a'), kInvalidHeifText},
        {"text as WebP", Webp, Bytes(40, 'a'), kInvalidWebpText},
        {"text as TIFF", Tiff, Bytes(40, 'a'), kInvalidTiffText},
        {"text as JPEG XL", Jxl, Bytes(40, 'a'), kInvalidJxlText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            decode(c.reader, c.bytes);
            ADD_FAILURE() << "decoded";
        } catch (const ImageIoError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
    }
    // The sane twin of the lying files decodes, so the refusals above are for their lies.
    const Bytes sane = tinyTiff(4, 4, 16, false);
    EXPECT_EQ(DecodeTiff(sane.data(), sane.size()).bitmap.Pixel(3, 3),
              MakePixel(0x80, 0x80, 0x80, 255));
}

// A TIFF written through libtiff with the given layout and one row of samples.
template <typename Sample>
Bytes libtiffFile(const TempFolder& dir,
                  int width,
                  int samples,
                  int photometric,
                  int format,
                  const std::vector<Sample>& row,
                  std::uint16_t extra = 0) {
    const std::string path = (dir / "made.tif").string();
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<int>(8 * sizeof(Sample)));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, format);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    if (extra != 0)
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    TIFFWriteScanline(tif, const_cast<Sample*>(row.data()), 0, 0);
    TIFFClose(tif);
    return ReadBytes(path);
}

TEST(FormatRead, TiffSampleKindsAreReducedWithRoundingAndClamped) {
    const TempFolder dir;
    const std::uint32_t white = MakePixel(255, 255, 255, 255);
    const std::pair<Bytes, std::vector<std::uint32_t>> cases[] = {
        // 384 / 257 is 1.49 and 32896 / 257 is 128.0: rounded, not cut.
        {libtiffFile<std::uint16_t>(dir, 3, 1, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT,
                                    {384, 32896, 65535}),
         {MakePixel(1, 1, 1, 255), MakePixel(128, 128, 128, 255), white}},
        {libtiffFile<std::uint16_t>(dir, 1, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT,
                                    {0x01C0, 0xFFFF, 0x8080}),
         {MakePixel(2, 255, 128, 255)}},
        {libtiffFile<float>(dir, 2, 3, PHOTOMETRIC_RGB, SAMPLEFORMAT_IEEEFP,
                            {-0.5f, 0.5f, 2.0f, NAN, 1.0f, 0.25f}),
         {MakePixel(0, 128, 255, 255), MakePixel(0, 255, 64, 255)}},
        // No ink is white, full black ink black, half cyan leaves red at half.
        {libtiffFile<std::uint8_t>(dir, 3, 4, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT,
                                   {0, 0, 0, 0, 0, 0, 0, 255, 128, 0, 0, 0}),
         {white, MakePixel(0, 0, 0, 255), MakePixel(127, 255, 255, 255)}},
        {libtiffFile<std::uint16_t>(dir, 1, 4, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT,
                                    {0, 65535, 0, 0}),
         {MakePixel(255, 0, 255, 255)}},
        // Unassociated alpha over white: red at alpha 128 is half white.
        {libtiffFile<std::uint8_t>(dir, 2, 4, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT,
                                   {255, 0, 0, 128, 0, 0, 255, 0}, EXTRASAMPLE_UNASSALPHA),
         {MakePixel(255, 127, 127, 255), white}},
        {libtiffFile<std::uint8_t>(dir, 1, 2, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_UINT, {0, 128},
                                   EXTRASAMPLE_ASSOCALPHA),
         {MakePixel(127, 127, 127, 255)}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const DecodedPicture p = DecodeTiff(cases[i].first.data(), cases[i].first.size());
        ASSERT_EQ(p.bitmap.Width(), static_cast<int>(cases[i].second.size()));
        for (int x = 0; x < p.bitmap.Width(); ++x)
            EXPECT_EQ(p.bitmap.Pixel(x, 0), cases[i].second[x]) << "pixel " << x;
    }
}

TEST(FormatRead, TiffOrientationIsAppliedAndTheExifSaysUpright) {
    const TempFolder dir;
    const WorkingBitmap stored = TestBitmap(5, 3, false);
    const std::string file = (dir / "o.tif").string();
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        MemoryStream out;
        WriteTiff(stored, {}, out);
        WriteBytes(file, out.Bytes());
        ASSERT_TRUE(RunTool("exiftool -q -overwrite_original -Make=Maker -Orientation#=" +
                            std::to_string(orientation) + " " + file));
        const DecodedPicture p = decodeBySignature(ReadBytes(file), Format::Tiff);
        EXPECT_EQ(p.bitmap, TurnUpright(stored, orientation));
        EXPECT_EQ(p.turnedUpright, orientation != 1);
        EXPECT_EQ(ExifAsciiTag(p.exif, 271), "Maker");
        EXPECT_EQ(exifOrientation(p.exif), 1);
    }
}

TEST(FormatRead, MetadataWrittenByExiftoolIsCollected) {
    const TempFolder dir;
    writeSources(dir);
    struct Case {
        const char* name;
        Format format;
        const char* source;
        const char* encode;
        std::string make;
        bool upright;  // the pixels are as shown, so a kept tag must say 1
    };
    // A TIFF's tag is applied (pixels turned), a WebP's stays for whoever shows it, HEIF's and
    // JPEG XL's libraries turn by their own boxes and headers.
    const Case cases[] = {
        {"m.heic", Format::Heif, "rgb.png", "heif-enc -q 50 -o {out} {in}", "HeifMaker", true},
        {"m.avif", Format::Avif, "rgb.png", "heif-enc -A -q 50 -o {out} {in}", "AvifMaker", true},
        {"m.webp", Format::Webp, "rgb.png", "cwebp -q 50 {in} -o {out}", "WebpMaker", false},
        {"m.jxl", Format::Jxl, "rgb.png", "cjxl -d 1 {in} {out}", "JxlMaker", true},
        {"m.tif", Format::Tiff, "rgb.ppm", "ppm2tiff {in} {out}", "TiffMaker", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = (dir / c.name).string();
        ASSERT_TRUE(encode(dir, c.encode, c.source, c.name));
        ASSERT_TRUE(RunTool("exiftool -m -q -q -overwrite_original -Make=" + c.make +
                            " -ExposureTime=1/250 -Orientation#=3 -XMP-dc:Title=Title" + c.make +
                            " " + file));
        const DecodedPicture p = decodeBySignature(ReadBytes(file), c.format);
        EXPECT_EQ(ExifAsciiTag(p.exif, 271), c.make);
        EXPECT_TRUE(ExifHasDirectory(p.exif, kExifIfdTag));
        const std::string xmp(p.xmp.begin(), p.xmp.end());
        EXPECT_NE(xmp.find("Title" + c.make), std::string::npos);
        EXPECT_EQ(exifOrientation(p.exif), c.upright ? 1 : 3);
        EXPECT_EQ(p.turnedUpright, c.upright);
    }
}

// A PNG chunk: length, type, data, CRC over type and data.
Bytes pngChunk(const char* type, const Bytes& data) {
    Bytes b;
    b.reserve(data.size() + 12);  // else GCC 12 takes the inserts for an overrun
    b.insert(b.end(), {std::uint8_t(data.size() >> 24), std::uint8_t(data.size() >> 16),
                       std::uint8_t(data.size() >> 8), std::uint8_t(data.size())});
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    const uLong crc = crc32(0, b.data() + 4, static_cast<uInt>(data.size() + 4));
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(crc >> shift));
    return b;
}

// libpng keeps the chunks after the pixel data only for those who ask.
TEST(FormatRead, PngExifAndXmpChunksAfterThePixelsAreCollected) {
    const TempFolder dir;
    WriteTestPng(dir / "plain.png", 8, 6, false);
    const Bytes exif = OrientationOnlyExif(6);
    const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'>title</x:xmpmeta>";
    Bytes itxt(std::begin("XML:com.adobe.xmp"), std::end("XML:com.adobe.xmp"));
    itxt.insert(itxt.end(), {0, 0, 0, 0});  // not compressed, no language, no translated keyword
    itxt.insert(itxt.end(), xmp.begin(), xmp.end());
    Bytes file = ReadBytes(dir / "plain.png");
    for (const Bytes& chunk : {pngChunk("iTXt", itxt), pngChunk("eXIf", exif)})
        file.insert(file.end() - 12, chunk.begin(), chunk.end());  // before the end chunk
    WriteBytes(dir / "meta.png", file);
    PictureFile read = ReadPictureFile((dir / "meta.png").string());
    std::optional<std::string> error;
    const MetadataBlock got = CollectMetadata(read, error);
    EXPECT_TRUE(std::ranges::equal(got.ExifTiff(), exif));
    EXPECT_TRUE(std::ranges::equal(got.XmpPacket(), xmp));
    EXPECT_TRUE(got.storedOrientation) << "the tag still says how to show the pixels";
}

TEST(FormatRead, HevcParameterSetsGiveTheCodedSize) {
    const TempFolder dir;
    writeSources(dir);
    // The encoder codes whole blocks of 8 or more pixels, so the coded size is the picture's
    // rounded up a little, never less.
    for (const char* source : {"rgb.png", "alpha.png", "rgb16.png"}) {
        SCOPED_TRACE(source);
        ASSERT_TRUE(encode(dir, "heif-enc -q 50 -o {out} {in}", source, "s.heic"));
        const CodedSize coded = LargestHevcPicture(ReadBytes(dir / "s.heic"));
        EXPECT_GE(coded.width, std::uint64_t{kW});
        EXPECT_LT(coded.width, std::uint64_t{kW + 64});
        EXPECT_GE(coded.height, std::uint64_t{kH});
        EXPECT_LT(coded.height, std::uint64_t{kH + 64});
    }
    EXPECT_EQ(LargestHevcPicture(Bytes(100, 0)).width, 0u);
}

TEST(FormatRead, NclxCodePointsBecomeAnEquivalentProfile) {
    // BT.709 primaries with D65 white, as libheif decodes code point 1.
    const Chromaticities bt709{0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290};
    cmsHPROFILE reference = cmsCreate_sRGBProfile();
    // With sRGB's curve (13) the profile is sRGB; with BT.709's (1) a stored 128 is lighter
    // light, which sRGB writes as 140: ((0.502 + 0.099) / 1.099)^(1 / 0.45) = 0.262.
    const std::pair<int, int> cases[] = {{13, 128}, {1, 140}};
    for (const auto& [transfer, grey] : cases) {
        SCOPED_TRACE(transfer);
        const Bytes icc = IccProfileFromNclx(bt709, transfer);
        ASSERT_EQ(ColourSpaceOf(icc), IccColourSpace::Rgb);
        cmsHPROFILE made =
            cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
        ASSERT_NE(made, nullptr);
        cmsHTRANSFORM t = cmsCreateTransform(made, TYPE_RGB_8, reference, TYPE_RGB_8,
                                             INTENT_RELATIVE_COLORIMETRIC, 0);
        const std::uint8_t in[9] = {255, 0, 0, 0, 255, 0, 128, 128, 128};
        std::uint8_t out[9];
        cmsDoTransform(t, in, out, 3);
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(out[i], in[i], 2) << i;
        EXPECT_NEAR(out[6], grey, 3);
        cmsDeleteTransform(t);
        cmsCloseProfile(made);
    }
    cmsCloseProfile(reference);
    // PQ and HLG have no curve a profile of this kind can hold: no profile rather than a wrong one.
    EXPECT_TRUE(IccProfileFromNclx(bt709, 16).empty());
    EXPECT_TRUE(IsHdrTransfer(16) && IsHdrTransfer(18) && !IsHdrTransfer(13));
}

}  // namespace
}  // namespace zelqor
