// The fast adaptation against the literal path on crops of real photographs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "FastAdaptation.h"
#include "ImageFile.h"
#include "Kernel.h"
#include "LocalAdaptation.h"

namespace zelqor {
namespace {

WorkingBitmap Crop(const WorkingBitmap& src, int left, int top, int width, int height) {
    WorkingBitmap out(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out.SetPixel(x, y, src.Pixel(left + x, top + y));
        }
    }
    return out;
}

TEST(FastAdaptationPhoto, CropsOfCameraPhotosMatchTheLiteralPath) {
    struct Case {
        const char* file;
        int radius;
        int size;  // of the square crop: the literal path is O(size^2 r^2)
    };
    const Case cases[] = {
        {"jpeg/codec/testorig.jpg", 3, 140},
        {"jpeg/codec/testorig.jpg", 33, 120},
        {"jpeg/exif/hdr_iphone_hdr_YES.jpg", 12, 140},
        {"jpeg/exif/hdr_iphone_hdr_YES.jpg", 40, 100},
        {"jpeg/exif/Nikon_D70.jpg", 20, 120},
        {"jpeg/exif/gps_DSCN0010.jpg", 84, 60},
    };
    for (const Case& c : cases) {
        const WorkingBitmap photo =
            LoadImageFile(std::string(ZELQOR_TESTDATA_DIR) + "/" + c.file).bitmap;
        ASSERT_TRUE(photo.HoldsImage()) << c.file;
        const int w = std::min(c.size, photo.Width());
        const int h = std::min(c.size, photo.Height());
        const WorkingBitmap crop =
            Crop(photo, (photo.Width() - w) / 2, (photo.Height() - h) / 3, w, h);
        for (const bool luminance : {true, false}) {
            ToneParams params;
            params.luminance = luminance;
            WorkingBitmap expected;
            AdaptBitmapLiteral(
                crop, expected, c.radius, params,
                IsLargeSizeMode(c.radius) ? AdaptVariant::Large : AdaptVariant::Normal);
            for (const LevelSumPath path :
                 {LevelSumPath::Direct, LevelSumPath::Fft, LevelSumPath::FftTiles}) {
                WorkingBitmap got;
                // Tiles of the least size, so that a crop still spans many of them.
                AdaptBitmapFast(crop, got, c.radius, params, 2,
                                FastAdaptationOptions{path, SimdChoice::Auto, 0.25, 2});
                EXPECT_TRUE(got == expected) << c.file << " r=" << c.radius << " lum=" << luminance
                                             << " path=" << static_cast<int>(path);
            }
        }
    }
}

}  // namespace
}  // namespace zelqor
