// The codec against libjpeg used directly: our pixel layout, and what a forged file may cost.
#include <gtest/gtest.h>

#include <jpeglib.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "BmpReader.h"
#include "ImageIoError.h"
#include "ImageLimits.h"
#include "JpegCodec.h"

namespace zelqor {
namespace {

WorkingBitmap Gradient(int w, int h) {
    WorkingBitmap b(w, h);
    std::mt19937 rng(3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            b.SetPixel(x, y, MakePixel(x * 255 / w, y * 255 / h, rng() & 0xFF, rng() & 0xFF));
        }
    }
    return b;
}

// The reference: libjpeg's defaults and quality from RGB triplets, as the library documents.
std::vector<std::uint8_t> EncodeFromRgb(const WorkingBitmap& b,
                                        int quality,
                                        bool progressive = false) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = b.Width();
    c.image_height = b.Height();
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(b.Width() * 3);
    while (c.next_scanline < c.image_height) {
        const std::uint32_t* in = b.RowWords(static_cast<int>(c.next_scanline));
        for (int x = 0; x < b.Width(); ++x) {
            row[3 * x] = PixelR(in[x]);
            row[3 * x + 1] = PixelG(in[x]);
            row[3 * x + 2] = PixelB(in[x]);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

std::vector<std::uint8_t> DecodeToRgb(const std::vector<std::uint8_t>& jpeg) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_ISLOW;
    d.do_block_smoothing = TRUE;
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    std::vector<std::uint8_t> rgb(d.output_width * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[1] = {rgb.data() + d.output_scanline * d.output_width * 3};
        jpeg_read_scanlines(&d, rows, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return rgb;
}

TEST(JpegCodecLayout, EncodeAndDecodeMatchPlainRgb) {
    for (auto [w, h, q] : {std::tuple{97, 61, 73}, {16, 16, 100}, {1, 1, 10}, {300, 7, 55}}) {
        const WorkingBitmap b = Gradient(w, h);
        const std::vector<std::uint8_t> jpeg = EncodeJpeg(b, q);
        EXPECT_EQ(jpeg, EncodeFromRgb(b, q)) << w << "x" << h << " q" << q;

        const WorkingBitmap decoded = DecodeJpeg(jpeg);
        const std::vector<std::uint8_t> rgb = DecodeToRgb(jpeg);
        ASSERT_EQ(decoded.Width(), w);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = rgb.data() + (y * w + x) * 3;
                ASSERT_EQ(decoded.Pixel(x, y), MakePixel(p[0], p[1], p[2], 0xFF)) << x << "," << y;
            }
        }
    }
}

using Bytes = std::vector<std::uint8_t>;

// `file` (progressive) declaring w x h, with `extraScans` data-less copies of its last scan.
Bytes Forge(Bytes file, int w, int h, int extraScans) {
    std::size_t sof = 0, sos = 0;
    // Entropy-coded data never holds 0xFF before a marker code, so a byte search is safe.
    for (std::size_t i = 0; i + 1 < file.size(); ++i) {
        sof = (sof == 0 && file[i] == 0xFF && file[i + 1] == 0xC2) ? i : sof;
        sos = (file[i] == 0xFF && file[i + 1] == 0xDA) ? i : sos;
    }
    const Bytes size = {std::uint8_t(h >> 8), std::uint8_t(h), std::uint8_t(w >> 8),
                        std::uint8_t(w)};
    std::copy(size.begin(), size.end(), file.begin() + sof + 5);
    const Bytes scan(file.begin() + sos,
                     file.begin() + sos + 2 + (file[sos + 2] << 8 | file[sos + 3]));
    file.resize(file.size() - 2);  // EOI, put back after the scans
    for (int i = 0; i < extraScans; ++i)
        file.insert(file.end(), scan.begin(), scan.end());
    file.insert(file.end(), {0xFF, 0xD9});
    return file;
}

TEST(JpegDecodeLimits, WorkIsBoundedByWhatTheFileCanHold) {
    Bytes cut = EncodeJpeg(Gradient(256, 256), 90);
    cut.resize(cut.size() * 2 / 5);
    struct Case {
        const char* name;
        Bytes file;
        bool decodes;
    };
    const std::vector<Case> cases = {
        {"12000 x 12000 in 5 KB, 400 empty scans",
         Forge(EncodeFromRgb(Gradient(16, 16), 75, true), 12000, 12000, 400), false},
        {"64 x 64, 300 empty scans", Forge(EncodeFromRgb(Gradient(64, 64), 75, true), 64, 64, 300),
         false},
        // About four blocks per byte: as far as a Huffman-coded file gets.
        {"flat 2048 x 1536", EncodeFromRgb(WorkingBitmap(2048, 1536), 75, true), true},
        {"baseline cut at 40 %", cut, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        try {
            EXPECT_TRUE(DecodeJpeg(c.file).HoldsImage() && c.decodes);
        } catch (const ImageIoError& e) {
            EXPECT_FALSE(c.decodes);
            EXPECT_EQ(std::string(e.what()).rfind("JPEG エラー #", 0), 0u) << e.what();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            EXPECT_LT(took.count(), 1.0);
        }
    }
    EXPECT_THROW(ReadJpegSize(cases[0].file.data(), cases[0].file.size()), ImageIoError);
    // The missing rows of the cut baseline file are grey.
    EXPECT_EQ(DecodeJpeg(cut).Pixel(200, 255), MakePixel(128, 128, 128, 0xFF));
}

static_assert(kMaxDecodedPixels == kMaxImagePixels && kMaxBmpPixels == kMaxImagePixels);

TEST(ImageLimits, SizeCheckAndItsRefusalText) {
    EXPECT_TRUE(ImageSizeAcceptable(65536, 4096));
    EXPECT_FALSE(ImageSizeAcceptable(65536, 4097));
    EXPECT_FALSE(ImageSizeAcceptable(2147483647, 2147483647));
    EXPECT_FALSE(ImageSizeAcceptable(-1, 5));
    EXPECT_EQ(ImageTooLargeText(20000, 15000),
              "The image is too large (20000 x 15000 pixels; at most 268,435,456)");
}

}  // namespace
}  // namespace zelqor
