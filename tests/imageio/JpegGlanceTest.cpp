// The glance decode (halves cut at a restart marker, a progressive file's needed scans only)
// against the whole decode, on the layouts it takes and on files it must hand back.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "ImageFile.h"
#include "ImageIoError.h"
#include "JpegCodec.h"
#include "JpegRestartSplit.h"
#include "Stream.h"

namespace zelqor {
namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Scans { One, Progressive, DcFirst };

// libjpeg's encoder with luma sampled h x v, restart markers every `restart` block groups;
// DcFirst sends every DC whole in the first scan, before any AC.
Bytes Encode(int w, int h, int sampleH, int sampleV, unsigned restart, Scans scans = Scans::One) {
    WorkingBitmap picture(w, h);
    std::mt19937 rng(5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.SetPixel(x, y, MakePixel(x * 255 / w, (x ^ y) & 0xFF, rng() & 0xFF));
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&c);
    c.comp_info[0].h_samp_factor = sampleH;
    c.comp_info[0].v_samp_factor = sampleV;
    c.restart_interval = restart;
    static const jpeg_scan_info kDcFirst[] = {{3, {0, 1, 2}, 0, 0, 0, 0},
                                              {1, {0}, 1, 63, 0, 0},
                                              {1, {1}, 1, 63, 0, 0},
                                              {1, {2}, 1, 63, 0, 0}};
    if (scans == Scans::Progressive)
        jpeg_simple_progression(&c);
    if (scans == Scans::DcFirst) {
        c.scan_info = kDcFirst;
        c.num_scans = 4;
    }
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row[1] = {picture.Row(static_cast<int>(c.next_scanline))};
        jpeg_write_scanlines(&c, row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

TEST(JpegGlance, GivesTheWholeDecodesPixelsOrHandsTheFileBack) {
    const Bytes camera =
        ReadWholeFile(std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/hdr_iphone_hdr_YES.jpg");
    const Bytes rows420 = Encode(333, 517, 2, 2, 21, Scans::One);  // a row of block groups each
    const Bytes progressive = Encode(320, 480, 2, 2, 0, Scans::Progressive);
    const auto changed = [](Bytes b, std::size_t at, std::uint8_t to) { return b[at] = to, b; };
    const std::optional<JpegRestartSplit> split = FindRestartSplit(rows420.data(), rows420.size());
    ASSERT_TRUE(split);
    const std::size_t cut = split->cut;
    std::size_t lastRestart = cut - 1;  // the marker before the cut's, RST6
    while (rows420[lastRestart] != 0xFF || rows420[lastRestart + 1] != 0xD6)
        --lastRestart;
    struct Case {
        const char* name;
        Bytes file;
        bool cuts;
        int wanted = 40;  // 1/8 of most, where the library blends no rows in upsampling
    };
    const Case cases[] = {
        {"camera 4:2:0", camera, true},
        {"4:2:0, row intervals", rows420, true},
        {"4:2:2, 5 block groups", Encode(320, 480, 2, 1, 5, Scans::One), true},
        {"4:4:4, 7 block groups", Encode(301, 600, 1, 1, 7, Scans::One), true},
        // Vertical upsampling blends across the cut: found, then decoded whole.
        {"4:4:0", Encode(320, 480, 1, 2, 40, Scans::One), true, 100},
        {"4:2:0 at 1/2", rows420, true, 150},
        {"no restarts", Encode(320, 480, 2, 2, 0, Scans::One), false},
        {"progressive 4:2:0", progressive, false},
        {"progressive 4:4:4", Encode(320, 480, 1, 1, 0, Scans::Progressive), false},
        {"progressive, DC first", Encode(320, 480, 2, 1, 0, Scans::DcFirst), false},
        {"progressive, cut short", Bytes(progressive.begin(), progressive.begin() + 9000), false},
        {"too few rows to cut", Encode(320, 64, 2, 2, 20, Scans::One), false},
        {"a marker misnumbered before the cut", changed(rows420, lastRestart + 1, 0xD3), false},
        {"damage after the cut", changed(rows420, cut + 300, 0xFF), true},
        {"cut short after the cut", Bytes(rows420.begin(), rows420.end() - 2000), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindRestartSplit(c.file.data(), c.file.size()).has_value(), c.cuts);
        JpegDecodeOptions options{c.wanted, c.wanted};
        JpegDecodeNotes wholeNotes, glanceNotes;
        // A file the whole decode refuses is refused at a glance too.
        const auto decode = [&](auto&& how) -> std::optional<WorkingBitmap> {
            try {
                return how();
            } catch (const ImageIoError&) {
                return std::nullopt;
            }
        };
        const std::optional<WorkingBitmap> whole = decode([&] {
            return DecodeJpeg(c.file.data(), c.file.size(), options, WorkingBitmap{}, &wholeNotes);
        });
        options.glance = true;
        ByteViewStream stream(std::span<const std::uint8_t>(c.file));
        EXPECT_TRUE(decode([&] { return DecodeJpeg(stream, options, &glanceNotes); }) == whole);
        EXPECT_EQ(glanceNotes.endedEarly, wholeNotes.endedEarly);
    }
}

}  // namespace
}  // namespace zelqor
