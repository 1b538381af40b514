// The glance decode against the whole decode, on the layouts it takes and files it hands back.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "ImageFile.h"
#include "JpegCodec.h"
#include "JpegRestartSplit.h"
#include "Stream.h"

namespace zelqor {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A whole DC in the first scan, before any AC: a glance stops after it.
const jpeg_scan_info kDcFirst[] = {{3, {0, 1, 2}, 0, 0, 0, 0},
                                   {1, {0}, 1, 63, 0, 0},
                                   {1, {1}, 1, 63, 0, 0},
                                   {1, {2}, 1, 63, 0, 0}};
enum class Scans { One, Progressive, DcFirst };

// libjpeg's encoder with luma sampled h x v, restart markers every `restart` block groups.
Bytes Encode(int w, int h, int sampleH, int sampleV, unsigned restart, Scans scans = Scans::One) {
    std::mt19937 rng(5);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    c.comp_info[0].h_samp_factor = sampleH;
    c.comp_info[0].v_samp_factor = sampleV;
    c.restart_interval = restart;
    if (scans == Scans::Progressive)
        jpeg_simple_progression(&c);
    if (scans == Scans::DcFirst)
        c.scan_info = kDcFirst, c.num_scans = 4;
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < h; ++y) {
        std::generate(row.begin(), row.end(), [&rng] { return static_cast<std::uint8_t>(rng()); });
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

TEST(JpegGlance, GivesTheWholeDecodesPixelsOrHandsTheFileBack) {
    const Bytes rows420 = Encode(333, 517, 2, 2, 21, Scans::One);  // a row of block groups each
    const Bytes progressive = Encode(320, 480, 2, 2, 0, Scans::Progressive);
    const auto changed = [](Bytes b, std::size_t at, std::uint8_t to) { return b[at] = to, b; };
    const auto split = FindRestartSplit(rows420.data(), rows420.size());
    ASSERT_TRUE(split);
    const std::size_t cut = split->cut;
    ASSERT_NE(rows420[cut + 300] ^ 0x0F, 0xFF);  // the damage makes no marker
    struct Case {
        const char* name;
        Bytes file;
        bool cuts;
        int wanted = 40;  // 1/8 of most, where the library blends no rows in upsampling
    };
    const Case cases[] = {
        {"camera 4:2:0",
         ReadWholeFile(std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/hdr_iphone_hdr_YES.jpg"),
         true},
        {"4:2:0, row intervals", rows420, true},
        {"4:2:2, 5 block groups", Encode(320, 480, 2, 1, 5, Scans::One), true},
        {"4:4:4, 7 block groups", Encode(301, 600, 1, 1, 7, Scans::One), true},
        // Vertical upsampling blends across the cut: found, then decoded whole.
        {"4:4:0", Encode(320, 480, 1, 2, 40, Scans::One), true, 100},
        {"4:2:0 at 1/2", rows420, true, 150},
        {"progressive 4:2:0", progressive, false},
        {"progressive, DC first", Encode(320, 480, 2, 1, 0, Scans::DcFirst), false},
        {"progressive, cut short", Bytes(progressive.begin(), progressive.begin() + 9000), false},
        {"too few rows to cut", Encode(320, 64, 2, 2, 20, Scans::One), false},
        {"the marker to cut at misnumbered", changed(rows420, cut + 1, 0xD3), false},
        {"damage after the cut", changed(rows420, cut + 300, rows420[cut + 300] ^ 0x0F), true},
        {"cut short after the cut", Bytes(rows420.begin(), rows420.end() - 2000), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindRestartSplit(c.file.data(), c.file.size()).has_value(), c.cuts);
        JpegDecodeOptions options{c.wanted, c.wanted};
        JpegDecodeNotes wholeNotes, glanceNotes;
        const WorkingBitmap whole =
            DecodeJpeg(c.file.data(), c.file.size(), options, WorkingBitmap{}, &wholeNotes);
        options.glance = true;
        ByteViewStream stream(std::span<const std::uint8_t>(c.file));
        EXPECT_TRUE(DecodeJpeg(stream, options, &glanceNotes) == whole);
        EXPECT_EQ(glanceNotes.endedEarly, wholeNotes.endedEarly);
    }
}

}  // namespace
}  // namespace zelqor
