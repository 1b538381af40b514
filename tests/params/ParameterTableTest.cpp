// Slider positions against the engine values and label texts the parameter table gives them.
#include <gtest/gtest.h>

#include "ParameterTable.h"
#include "RunTexts.h"

namespace zelqor {
namespace {

int ValueAt(ParamId id, int position) {
    const ParameterInfo& row = Parameter(id);
    return row.value(row.Bar(position));
}

std::string LabelAt(ParamId id, int position, int width = 0, int height = 0) {
    const ParameterInfo& row = Parameter(id);
    return row.labelText(row.Bar(position), width, height);
}

TEST(ParameterTable, DivisorBorderQualityAndStrengthByPosition) {
    const int divisors[] = {50, 66, 87, 115, 152, 200, 264, 348, 459, 606, 800};
    const int borders[] = {765, 688, 612, 535, 459, 382, 306, 229, 153, 76, 0};
    const int qualities[] = {100, 91, 82, 73, 64, 55, 46, 37, 28, 19, 10};
    for (int pos = 0; pos <= 10; ++pos) {
        SCOPED_TRACE(pos);
        EXPECT_EQ(ValueAt(ParamId::CalcSize, pos), divisors[pos]);
        EXPECT_EQ(ValueAt(ParamId::StdBrightness, pos), borders[pos]);
        EXPECT_EQ(ValueAt(ParamId::JpegQuality, pos), qualities[pos]);
        EXPECT_EQ(ValueAt(ParamId::HdrStrength, pos), 10 - pos);
    }
}

TEST(ParameterTable, DetailGainFollowsTableFromTheBottom) {
    const int gains[] = {0,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                         14, 16, 19, 23, 27, 31, 36, 42, 49, 58};
    for (int v = 0; v <= 20; ++v) {
        EXPECT_EQ(ValueAt(ParamId::HdrEnhancer, 20 - v), gains[v]) << v;
    }
}

TEST(ParameterTable, LerpFloatIsExactAtEnds) {
    EXPECT_DOUBLE_EQ(static_cast<double>(TrackBarLerpF(TrackBar{0, 10, 0}, 1.5L, 9.5L)), 1.5);
    EXPECT_DOUBLE_EQ(static_cast<double>(TrackBarLerpF(TrackBar{0, 10, 10}, 1.5L, 9.5L)), 9.5);
    EXPECT_DOUBLE_EQ(static_cast<double>(TrackBarLerpF(TrackBar{0, 10, 5}, 1.5L, 9.5L)), 5.5);
}

// The engine's own defaults stand for the start positions; nothing else may say otherwise.
TEST(ParameterTable, StartPositionsGiveTheStartValues) {
    const OptionValues v = ValuesAt(StartPositions());
    const RunSettings engineDefaults;
    EXPECT_EQ(v.run.params.hdrStrength, 5);
    EXPECT_EQ(v.run.params.borderLevel, 382);
    EXPECT_EQ(v.run.params.detailGain, 4);
    EXPECT_TRUE(v.run.params.luminance);
    EXPECT_EQ(v.run.divisor, 200);
    EXPECT_EQ(v.jpegQuality, 73);
    EXPECT_EQ(v.exif, ExifTreatment::Copy);
    EXPECT_EQ(v.run.params.hdrStrength, engineDefaults.params.hdrStrength);
    EXPECT_EQ(v.run.params.borderLevel, engineDefaults.params.borderLevel);
    EXPECT_EQ(v.run.params.detailGain, engineDefaults.params.detailGain);
    EXPECT_EQ(v.run.divisor, engineDefaults.divisor);
}

TEST(ParameterTable, LabelTextsAtTopMiddleAndBottom) {
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
        EXPECT_EQ(LabelAt(ParamId::HdrStrength, c.pos), c.hdr);
        EXPECT_EQ(LabelAt(ParamId::CalcSize, c.pos), c.calcNone);
        EXPECT_EQ(LabelAt(ParamId::CalcSize, c.pos, 4000, 10), c.calcPhoto);
        EXPECT_EQ(LabelAt(ParamId::StdBrightness, c.pos), c.bright);
        EXPECT_EQ(LabelAt(ParamId::HdrEnhancer, c.enhancerPos), c.enhancer);
    }
    EXPECT_EQ(Parameter(ParamId::JpegQuality).labelText, nullptr);
}

// A flag's typed value at every slider position is the value the slider gives there, so the
// batch tool and the window agree wherever both can reach.
TEST(ParameterTable, FlagsAgreeWithTheSlidersAtEveryPosition) {
    for (const ParameterInfo& row : ParameterTable()) {
        EXPECT_EQ(row.id, ParameterTable()[static_cast<std::size_t>(row.id)].id);
        for (int pos = 0; pos <= row.max; ++pos) {
            const TrackBar bar = row.Bar(pos);
            EXPECT_EQ(row.parseFlag(row.flagText(bar)), row.value(bar)) << row.flag << " " << pos;
        }
    }
}

TEST(RunTexts, ProgressAndEndTexts) {
    EXPECT_EQ(ProgressText(150, 1200), "12.50% 150/1200 lines");
    EXPECT_EQ(ProgressText(0, 0), "0.00% 0/0 lines");
    EXPECT_EQ(ProgressPercentText(1, 3), "33.33%");
    EXPECT_EQ(ProgressPercentText(1200, 1200), "100.00%");
    EXPECT_EQ(RunEndText(1234, 1200, 800), "1.23 sec (1,200 x 800)");
    EXPECT_EQ(RunEndText(420, 1200, 800), "0.42 sec (1,200 x 800)");
    EXPECT_EQ(RunEndText(1234567, 6000, 4000), "1,234.57 sec (6,000 x 4,000)");
    EXPECT_EQ(RunEndText(0, 0, 0), "0.00 sec (0 x 0)");
    const NumberFormat german{".", ","};
    EXPECT_EQ(RunEndText(1234567, 12000, 999, german), "1.234,57 sec (12.000 x 999)");
    EXPECT_EQ(ProgressText(150, 1200, german), "12,50% 150/1200 lines");
}

}  // namespace
}  // namespace zelqor
