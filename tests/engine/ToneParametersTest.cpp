// Slider positions against the engine values and label texts they stand for.
#include <gtest/gtest.h>

#include "ToneParameters.h"

namespace zelqor {
namespace {

TEST(ToneParameters, DivisorBorderAndQualityTablesByPosition) {
    const int divisors[] = {50, 66, 87, 115, 152, 200, 264, 348, 459, 606, 800};
    const int borders[] = {765, 688, 612, 535, 459, 382, 306, 229, 153, 76, 0};
    const int qualities[] = {100, 91, 82, 73, 64, 55, 46, 37, 28, 19, 10};
    for (int pos = 0; pos <= 10; ++pos) {
        SCOPED_TRACE(pos);
        TrackBar bar{0, 10, pos};
        EXPECT_EQ(CalcSizeDivisor(bar), divisors[pos]);
        EXPECT_EQ(BorderLevel(bar), borders[pos]);
        EXPECT_EQ(TrackBarLerp(bar, 100, 10), qualities[pos]);
        EXPECT_EQ(HdrStrength(bar), 10 - pos);
    }
}

TEST(ToneParameters, DetailGainFollowsTableFromTheBottom) {
    const int gains[] = {0,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                         14, 16, 19, 23, 27, 31, 36, 42, 49, 58};
    for (int v = 0; v <= 20; ++v) {
        EXPECT_EQ(DetailGain(TrackBar{0, 20, 20 - v}), gains[v]) << v;
    }
}

TEST(ToneParameters, LerpFloatIsExactAtEnds) {
    EXPECT_DOUBLE_EQ(static_cast<double>(TrackBarLerpF(TrackBar{0, 10, 0}, 1.5L, 9.5L)), 1.5);
    EXPECT_DOUBLE_EQ(static_cast<double>(TrackBarLerpF(TrackBar{0, 10, 10}, 1.5L, 9.5L)), 9.5);
    EXPECT_DOUBLE_EQ(static_cast<double>(TrackBarLerpF(TrackBar{0, 10, 5}, 1.5L, 9.5L)), 5.5);
}

TEST(ToneParameters, DefaultsSampleToStartValues) {
    const ToneParams p = SampleToneParams(ToneSliders{});
    EXPECT_EQ(p.hdrStrength, 5);
    EXPECT_EQ(p.borderLevel, 382);
    EXPECT_EQ(p.detailGain, 4);
    EXPECT_TRUE(p.luminance);
}

TEST(ToneParameters, CalcRadiusCases) {
    struct Case {
        int w, h, divisor, radius;
    } cases[] = {
        {0, 0, 200, 0},      {0, 50, 200, 0},      {1, 1, 50, 1},       {1, 1, 800, 1},
        {1200, 800, 200, 6}, {4000, 3000, 50, 80}, {1000, 500, 200, 5}, {1000, 500, 152, 7},
        {500, 1000, 152, 7}, {4200, 10, 50, 84},   {4150, 10, 50, 83},  {4000, 3000, 200, 20},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CalcRadius(c.w, c.h, c.divisor), c.radius)
            << c.w << "x" << c.h << "/" << c.divisor;
    }
}

TEST(ToneParameters, LabelTextsAtTopMiddleAndBottom) {
    const WorkingBitmap none;
    const WorkingBitmap photo(4000, 10);
    struct Case {
        int pos, enhancerPos;
        const char *hdr, *calcNone, *calcPhoto, *bright, *enhancer;
    } cases[] = {
        {0, 0, "10", "1/50\xEF\xBC\x9A (0pix)", "1/50\xEF\xBC\x9A (80pix)", "100%", "10.0"},
        {5, 18, "5", "1/200\xEF\xBC\x9A (0pix)", "1/200\xEF\xBC\x9A (20pix)", "50%", "1.0"},
        {10, 20, "0", "1/800\xEF\xBC\x9A (0pix)", "1/800\xEF\xBC\x9A (5pix)", "0%", "0.0"},
        {3, 17, "7", "1/115\xEF\xBC\x9A (0pix)", "1/115\xEF\xBC\x9A (35pix)", "70%", "1.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pos);
        const TrackBar bar{0, 10, c.pos};
        EXPECT_EQ(HdrLabelText(bar), c.hdr);
        EXPECT_EQ(CalcSizeLabelText(bar, none), c.calcNone);
        EXPECT_EQ(CalcSizeLabelText(bar, photo), c.calcPhoto);
        EXPECT_EQ(StdBrightnessLabelText(bar), c.bright);
        EXPECT_EQ(HdrEnhancerLabelText(TrackBar{0, 20, c.enhancerPos}), c.enhancer);
    }
}

}  // namespace
}  // namespace zelqor
