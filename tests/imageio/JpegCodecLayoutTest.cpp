// The codec hands our pixel layout to libjpeg directly; the bytes must match plain RGB use.
#include <gtest/gtest.h>

#include <jpeglib.h>

#include <cstdlib>
#include <random>
#include <vector>

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
std::vector<std::uint8_t> EncodeFromRgb(const WorkingBitmap& b, int quality) {
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

}  // namespace
}  // namespace zelqor
