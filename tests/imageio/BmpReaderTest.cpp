// Tests of the BMP reader and writer: format variants against each other, hand-built files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "BmpReader.h"
#include "ImageIoError.h"
#include "ImageWriters.h"
#include "Stream.h"

namespace zelqor {
namespace {

using Bytes = std::vector<std::uint8_t>;
const std::filesystem::path kSuite = std::filesystem::path(ZELQOR_TESTDATA_DIR) / "bmp/suite/g";

WorkingBitmap load(const char* name) {
    return DecodeBmp(ReadWholeFile((kSuite / name).string()));
}

TEST(BmpReader, EncodingsOfOnePictureDecodeAlike) {
    // Each group holds the same picture stored in different ways.
    const std::vector<std::vector<const char*>> groups = {
        {"pal8.bmp", "pal8rle.bmp", "pal8topdown.bmp", "pal8v4.bmp", "pal8v5.bmp", "pal8os2.bmp",
         "pal8-0.bmp", "pal8nonsquare.bmp"},
        {"pal4.bmp", "pal4rle.bmp"},
        {"rgb24.bmp", "rgb24pal.bmp", "rgb32.bmp", "rgb32bf.bmp", "rgb32bfdef.bmp"},
        {"rgb16.bmp", "rgb16bfdef.bmp"},
        {"rgb16-565.bmp", "rgb16-565pal.bmp"},
    };
    for (const auto& group : groups) {
        const WorkingBitmap reference = load(group.front());
        ASSERT_TRUE(reference.HoldsImage());
        for (const char* name : group) {
            SCOPED_TRACE(name);
            const WorkingBitmap other = load(name);
            if (std::string(name) == "pal8nonsquare.bmp") {
                EXPECT_EQ(other.Width(), reference.Width());
                continue;  // same width, other height
            }
            EXPECT_TRUE(other == reference);
        }
    }
    // The 8-bit palette picture is close to the true-colour one.
    const WorkingBitmap pal = load("pal8.bmp"), rgb = load("rgb24.bmp");
    ASSERT_EQ(pal.Width(), rgb.Width());
    ASSERT_EQ(pal.Height(), rgb.Height());
    long diff = 0;
    for (int y = 0; y < rgb.Height(); ++y)
        for (int x = 0; x < rgb.Width(); ++x)
            diff += std::abs(PixelG(pal.Pixel(x, y)) - PixelG(rgb.Pixel(x, y)));
    EXPECT_LT(diff / (rgb.Width() * rgb.Height()), 24);
}

// A 24-bit file of width 2, height `height` (negative: top-down).
Bytes tinyBmp(std::int32_t height, const Bytes& pixelRows) {
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    b[10] = 54;
    b[14] = 40;
    b[18] = 2;
    for (int i = 0; i < 4; ++i)
        b[22 + i] = static_cast<std::uint8_t>(height >> (8 * i));
    b[26] = 1;
    b[28] = 24;
    b.resize(54 + pixelRows.size());
    std::copy(pixelRows.begin(), pixelRows.end(), b.begin() + 54);
    return b;
}

TEST(BmpReader, RowOrderFollowsTheHeightSign) {
    // Two rows of two pixels (B, G, R) plus two bytes of row padding each.
    const Bytes rows = {0,   0, 255, 0,   255, 0,   0, 0,   // first row in the file: red, green
                        255, 0, 0,   255, 255, 255, 0, 0};  // second: blue, white
    const WorkingBitmap bottomUp = DecodeBmp(tinyBmp(2, rows));
    const WorkingBitmap topDown = DecodeBmp(tinyBmp(-2, rows));
    EXPECT_EQ(bottomUp.Pixel(0, 1), MakePixel(255, 0, 0, 0xFF));
    EXPECT_EQ(bottomUp.Pixel(1, 0), MakePixel(255, 255, 255, 0xFF));
    EXPECT_EQ(topDown.Pixel(0, 0), MakePixel(255, 0, 0, 0xFF));
    EXPECT_EQ(topDown.Pixel(0, 1), MakePixel(0, 0, 255, 0xFF));
}

TEST(BmpReader, InvalidFilesAreRefused) {
    const Bytes rows(16, 0);
    auto with = [&](std::size_t at, std::uint8_t v) {
        Bytes b = tinyBmp(2, rows);
        b[at] = v;
        return b;
    };
    Bytes truncated = tinyBmp(2, rows);
    truncated.resize(truncated.size() - 3);
    Bytes huge = tinyBmp(2, rows);
    huge[18] = 0xFF, huge[19] = 0xFF, huge[20] = 0xFF, huge[21] = 0x7F;
    huge[22] = 0xFF, huge[23] = 0xFF, huge[24] = 0xFF, huge[25] = 0x7F;
    Bytes tallButSmall = tinyBmp(2, rows);
    tallButSmall[24] = 0x10;  // 2 x 1048578 pixels in 16 bytes
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty", {}},
        {"not BM", with(0, 'X')},
        {"bit count 7", with(28, 7)},
        {"bit count 64", with(28, 64)},
        {"two planes", with(26, 2)},
        {"zero width", with(18, 0)},
        {"zero height", with(22, 0)},
        {"unknown header size", with(14, 41)},
        {"JPEG inside", with(30, 4)},
        {"RLE8 with 24 bits", with(30, 1)},
        {"pixels past the end", with(10, 200)},
        {"truncated rows", truncated},
        {"absurd dimensions", huge},
        {"more rows than data", tallButSmall},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        try {
            DecodeBmp(bytes);
            ADD_FAILURE() << "accepted";
        } catch (const ImageIoError& e) {
            EXPECT_EQ(e.Text(), "ビットマップイメージが不正です");
        }
    }
}

// An 8-bit RLE file 4 x 2 with a two-colour palette and the given instruction bytes.
Bytes rle8(const Bytes& stream) {
    Bytes b(54 + 8, 0);
    b[0] = 'B';
    b[1] = 'M';
    b[10] = 54 + 8;
    b[14] = 40;
    b[18] = 4;
    b[22] = 2;
    b[26] = 1;
    b[28] = 8;
    b[30] = 1;
    b[46] = 2;
    b[54 + 4 + 2] = 255;  // index 1 is red
    b.resize(54 + 8 + stream.size());
    std::copy(stream.begin(), stream.end(), b.begin() + 54 + 8);
    return b;
}

TEST(BmpReader, Rle8RunsDeltasAndOverflow) {
    const std::uint32_t red = MakePixel(255, 0, 0, 0xFF), black = MakePixel(0, 0, 0, 0xFF);
    // Bottom row: absolute red, black, red, then a run of one black; top row: a delta to
    // the last column and one red.
    const WorkingBitmap ok =
        DecodeBmp(rle8({0, 3, 1, 0, 1, 0, 1, 0, 0, 0, 0, 2, 3, 0, 1, 1, 0, 1}));
    EXPECT_EQ(ok.Pixel(0, 1), red);
    EXPECT_EQ(ok.Pixel(1, 1), black);
    EXPECT_EQ(ok.Pixel(2, 1), red);
    EXPECT_EQ(ok.Pixel(3, 1), black);
    EXPECT_EQ(ok.Pixel(2, 0), black);
    EXPECT_EQ(ok.Pixel(3, 0), red);
    // A stream cut short keeps what it drew.
    const WorkingBitmap cut = DecodeBmp(rle8({2, 1, 0}));
    EXPECT_EQ(cut.Pixel(1, 1), red);
    EXPECT_EQ(cut.Pixel(0, 0), black);
    // A run past the row end, and rows past the top, are refused.
    EXPECT_THROW(DecodeBmp(rle8({5, 1})), ImageIoError);
    EXPECT_THROW(DecodeBmp(rle8({0, 0, 0, 0, 1, 1})), ImageIoError);
    EXPECT_THROW(DecodeBmp(rle8({0, 2, 9, 0})), ImageIoError);
    // A tiny RLE file that declares 8192 x 8192 pixels (an end-of-picture right away) would
    // cost a quarter-gigabyte black bitmap: refused, while the same file at 256 x 256 loads.
    for (const auto& [side, accepted] : {std::pair{8192, false}, std::pair{256, true}}) {
        Bytes vast = rle8({0, 1});
        vast[18] = side & 0xFF, vast[19] = side >> 8;
        vast[22] = side & 0xFF, vast[23] = side >> 8;
        if (accepted) {
            EXPECT_EQ(DecodeBmp(vast).Width(), side);
        } else {
            EXPECT_THROW(DecodeBmp(vast), ImageIoError);
        }
    }
}

// Widths around the four-pixel groups both directions convert at once, with every row's bytes
// checked against the layout itself (bottom-up, B G R, zero padding to four bytes).
TEST(BmpWriter, RoundTripsThroughTheReader) {
    for (int width : {1, 2, 3, 4, 5, 7, 8, 9, 13}) {
        WorkingBitmap bmp(width, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
                bmp.SetPixel(x, y, MakePixel(x * 40 + 1, y * 80 + 2, x + y + 3, 0xFF));
        const Bytes file = EncodeBmp(bmp);
        const std::size_t stride = (width * 3 + 3) / 4 * 4;
        ASSERT_EQ(file.size(), 54 + 3 * stride) << width;
        for (int y = 0; y < 3; ++y) {
            const std::uint8_t* row = file.data() + 54 + (2 - y) * stride;
            for (int x = 0; x < width; ++x) {
                const std::uint32_t p = bmp.Pixel(x, y);
                EXPECT_EQ(row[3 * x], PixelB(p)) << width << " " << x << "," << y;
                EXPECT_EQ(row[3 * x + 1], PixelG(p)) << width << " " << x << "," << y;
                EXPECT_EQ(row[3 * x + 2], PixelR(p)) << width << " " << x << "," << y;
            }
            for (std::size_t i = width * 3; i < stride; ++i)
                EXPECT_EQ(row[i], 0) << width;
        }
        EXPECT_TRUE(DecodeBmp(file) == bmp) << width;
        MemoryStream fromFile(file);
        EXPECT_TRUE(DecodeBmp(fromFile) == bmp) << width;
    }
    EXPECT_THROW(EncodeBmp(WorkingBitmap()), ImageIoError);
}

}  // namespace
}  // namespace zelqor
