// The literal adaptation against worked values and its invariants.
#include <gtest/gtest.h>

#include "Kernel.h"
#include "LocalAdaptation.h"
#include "TestImages.h"

namespace zelqor {
namespace {

using test_images::Noise;
using test_images::Uniform;

std::uint32_t AdaptOne(const WorkingBitmap& src,
                       int r,
                       int x,
                       int y,
                       const ToneParams& p,
                       AdaptVariant v = AdaptVariant::Normal) {
    const auto kernel = BuildKernel(r);
    return AdaptPixelWith(v, r, x, y, AdaptState{&src, kernel, r, p});
}

TEST(ToneCurve, WorkedValuesAndFixedPoints) {
    struct Case {
        int v, s, out;
    } cases[] = {{128, -1000, 170}, {128, 1000, 85},  {128, 0, 128},      {77, 0, 77},
                 {0, 47370, 0},     {0, -47370, 0},   {255, -47370, 255}, {255, 47370, 255},
                 {1, -47370, 41},   {254, 47370, 214}};
    for (const Case& c : cases) {
        EXPECT_EQ(ToneCurve(c.v, c.s), c.out) << c.v << "," << c.s;
    }
}

TEST(ToneCurve, MonotoneAndInRangeForEveryStrength) {
    for (int s : {-47370, -5000, -58, -1, 1, 58, 5000, 47370}) {
        int previous = -1;
        for (int v = 0; v <= 255; ++v) {
            const int out = ToneCurve(v, s);
            ASSERT_GE(out, previous) << "s=" << s << " v=" << v;
            ASSERT_LE(out, 255);
            previous = out;
        }
    }
}

TEST(AdaptPixel, WorkedPixelWithLuminanceOnAndOff) {
    const WorkingBitmap src = Uniform(1, 1, MakePixel(200, 100, 50, 0x5A));
    struct Case {
        bool luminance;
        int level, strength;
        std::uint32_t out;
    } cases[] = {
        {true, 372, 58, MakePixel(198, 97, 48, 0x5A)},
        {false, 350, -120, MakePixel(205, 107, 55, 0x5A)},
    };
    for (const Case& c : cases) {
        const ToneParams p{5, 382, 4, c.luminance};
        EXPECT_EQ(NeighbourhoodLevel(7 * 200, 7 * 100, 7 * 50, 7, c.luminance), c.level);
        EXPECT_EQ(AdaptStrength(c.level, 350, p), c.strength);
        EXPECT_EQ(AdaptOne(src, 1, 0, 0, p), c.out);
        EXPECT_EQ(AdaptOne(src, 1, 0, 0, p, AdaptVariant::Large), c.out);
    }
}

TEST(AdaptPixel, BorderShiftSignAndTruncation) {
    struct Case {
        int h, border, shift;
    } cases[] = {
        // d * 101 div (span + 1), truncating toward zero: -1010 div 383 is -2.
        {372, 382, -2}, {765, 765, 0}, {0, 765, -100}, {0, 0, 0},
        {765, 0, 100},  {1, 0, 0},     {500, 382, 31}, {765, 382, 100},
    };
    for (const Case& c : cases) {
        const ToneParams p{1, c.border, 0, true};
        // With k = 1 and g = 0 the strength is 3 * shift.
        EXPECT_EQ(AdaptStrength(c.h, 0, p), 3 * c.shift) << c.h << "/" << c.border;
    }
    for (int h = 0; h <= 765; ++h) {
        ASSERT_LE(AdaptStrength(h, 0, ToneParams{10, 765, 0, true}), 0);
        ASSERT_GE(AdaptStrength(h, 0, ToneParams{10, 0, 0, true}), 0);
    }
}

TEST(AdaptPixel, IdentityWithoutStrengthAndGain) {
    const WorkingBitmap src = Noise(23, 17, 1);
    WorkingBitmap dst;
    for (bool lum : {true, false}) {
        AdaptBitmapLiteral(src, dst, 4, ToneParams{0, 382, 0, lum}, AdaptVariant::Normal);
        EXPECT_EQ(dst, src);
    }
}

TEST(AdaptPixel, FourthBytePassesThrough) {
    const WorkingBitmap src = Noise(19, 11, 2);
    WorkingBitmap dst;
    AdaptBitmapLiteral(src, dst, 3, ToneParams{10, 100, 58, true}, AdaptVariant::Normal);
    for (int y = 0; y < src.Height(); ++y) {
        for (int x = 0; x < src.Width(); ++x) {
            ASSERT_EQ(PixelX(dst.Pixel(x, y)), PixelX(src.Pixel(x, y)));
        }
    }
}

// A uniform image has the same level everywhere, however the window is clipped.
TEST(AdaptPixel, ClippingDoesNotBiasTheMean) {
    const std::uint32_t grey = MakePixel(90, 120, 30, 1);
    const ToneParams p{7, 306, 16, true};
    const std::uint32_t expected = AdaptOne(Uniform(1, 1, grey), 1, 0, 0, p);
    const WorkingBitmap src = Uniform(9, 6, grey);
    for (auto [x, y] : {std::pair{0, 0}, {8, 5}, {4, 0}, {0, 3}, {4, 3}}) {
        EXPECT_EQ(AdaptOne(src, 5, x, y, p), expected) << x << "," << y;
    }
}

// At a corner only the quarter of the neighbourhood inside the image counts.
TEST(AdaptPixel, CornerSeesOnlyItsQuarter) {
    const int r = 6;
    const std::uint32_t inside = MakePixel(40, 60, 80);
    WorkingBitmap src = Uniform(30, 30, MakePixel(250, 250, 250));
    for (int y = 0; y <= r; ++y) {
        for (int x = 0; x <= r; ++x) {
            src.SetPixel(x, y, inside);
        }
    }
    const ToneParams p{5, 382, 4, true};
    EXPECT_EQ(AdaptOne(src, r, 0, 0, p), AdaptOne(Uniform(1, 1, inside), 1, 0, 0, p));
    EXPECT_NE(AdaptOne(src, r, 2, 2, p), AdaptOne(Uniform(1, 1, inside), 1, 0, 0, p));
}

TEST(AdaptPixel, BothVariantsAgreeForRadii40To83) {
    const WorkingBitmap white = Uniform(60, 50, MakePixel(255, 255, 255, 9));
    const WorkingBitmap noise = Noise(60, 50, 3);
    const ToneParams params[] = {{5, 382, 4, true}, {10, 0, 58, false}, {10, 765, 58, true}};
    const std::pair<int, int> points[] = {{0, 0}, {59, 49}, {30, 25}, {59, 0}, {13, 41}};
    for (int r = 40; r <= 83; ++r) {
        const auto kernel = BuildKernel(r);
        for (const WorkingBitmap* src : {&white, &noise}) {
            for (const ToneParams& p : params) {
                const AdaptState st{src, kernel, r, p};
                for (auto [x, y] : points) {
                    ASSERT_EQ(AdaptPixel(r, x, y, st), AdaptPixelLarge(r, x, y, st))
                        << "r=" << r << " at " << x << "," << y;
                }
            }
        }
    }
}

// From radius 665 on the kernel total no longer fits 32 bits; the large variant must still
// see a uniform grey neighbourhood as grey.
TEST(AdaptPixel, LargeVariantSurvivesRadiiBeyond664) {
    const std::uint32_t grey = MakePixel(100, 100, 100);
    const ToneParams p{5, 382, 4, true};
    const std::uint32_t expected = AdaptOne(Uniform(1, 1, grey), 1, 0, 0, p);
    ASSERT_NE(expected, grey);
    const int r = 700;
    const WorkingBitmap src = Uniform(2 * r + 1, 2 * r + 1, grey);
    EXPECT_EQ(AdaptOne(src, r, r, r, p, AdaptVariant::Large), expected);
}

TEST(AdaptPixel, OneByOneImageUsesOnlyItself) {
    for (int r : {1, 5, 90}) {
        const WorkingBitmap src = Uniform(1, 1, MakePixel(200, 100, 50));
        const ToneParams p{5, 382, 4, true};
        const AdaptVariant v = IsLargeSizeMode(r) ? AdaptVariant::Large : AdaptVariant::Normal;
        EXPECT_EQ(AdaptOne(src, r, 0, 0, p, v), MakePixel(198, 97, 48)) << r;
    }
}

}  // namespace
}  // namespace zelqor
