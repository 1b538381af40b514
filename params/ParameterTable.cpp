// The rows of the parameter table: what each slider's position means and how it reads.
#include "ParameterTable.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace zelqor {

int TrackBarLerp(const TrackBar& bar, int a, int b) {
    const int span = bar.max - bar.min;
    if (span == 0) {
        return a;
    }
    const long long num = static_cast<long long>(a) * (bar.max - bar.position) +
                          static_cast<long long>(b) * (bar.position - bar.min);
    return static_cast<int>(num / span);
}

long double TrackBarLerpF(const TrackBar& bar, long double a, long double b) {
    const int span = bar.max - bar.min;
    if (span == 0) {
        return a;
    }
    return (a * (bar.max - bar.position) + b * (bar.position - bar.min)) / span;
}

std::optional<int> IntegerIn(const std::string& text, long lo, long hi) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < lo || value > hi) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

int CalcSizeDivisor(const TrackBar& calcSize) {
    const long double exponent = TrackBarLerpF(calcSize, std::log2(50.0L), std::log2(800.0L));
    return static_cast<int>(std::llround(std::pow(2.0L, exponent)));
}

namespace {

std::string FromBottomText(const TrackBar& bar) {
    return std::to_string(bar.FromBottom());
}

std::string PercentText(const TrackBar& bar) {
    return std::to_string(bar.FromBottom() * 10);
}

std::string HalvesText(const TrackBar& bar) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", bar.FromBottom() / 2.0);
    return text;
}

int DetailGainAt(int fromBottom) {
    const int last = static_cast<int>(DetailGainTable.size()) - 1;
    return DetailGainTable[fromBottom < 0 ? 0 : fromBottom > last ? last : fromBottom];
}

constexpr std::array<ParameterInfo, kParamCount> kRows = {{
    {ParamId::HdrStrength,
     "TrackBar_HDR",
     "Label_HDR",
     "GroupBox_HdrIntensity",
     10,
     5,
     2,
     1,
     GroupRule::MiddleOrMinimum,
     true,
     {0, 0, 10},
     true,
     [](const TrackBar& bar) { return bar.FromBottom(); },
     [](OptionValues& v, int k) { v.run.params.hdrStrength = k; },
     [](const TrackBar& bar, int, int) { return FromBottomText(bar); },
     nullptr,
     "--intensity",
     "K",
     "0..10",
     "an integer from 0 to 10",
     FromBottomText,
     [](const std::string& text) { return IntegerIn(text, 0, kMaxHdrStrength); }},
    {ParamId::CalcSize,
     "TrackBar_CalcSize",
     "LabelBoke",
     "GroupBox_CalcSize",
     10,
     5,
     2,
     1,
     GroupRule::MiddleOrMinimum,
     true,
     {4, 3, 10},
     true,
     CalcSizeDivisor,
     [](OptionValues& v, int d) { v.run.divisor = d; },
     [](const TrackBar& bar, int width, int height) {
         const int divisor = CalcSizeDivisor(bar);
         // A full-width colon, as the label has always read.
         return "1/" + std::to_string(divisor) + "\xEF\xBC\x9A (" +
                std::to_string(CalcRadius(width, height, divisor)) + "pix)";
     },
     nullptr,
     "--divisor",
     "D",
     "neighbourhood divisor, integer >= 1",
     "an integer from 1 up",
     [](const TrackBar& bar) { return std::to_string(CalcSizeDivisor(bar)); },
     [](const std::string& text) { return IntegerIn(text, 1, std::numeric_limits<int>::max()); }},
    {ParamId::StdBrightness,
     "TrackBar_StdBrightness",
     "Label_StdBrightness",
     "GroupBox_HdrBorder",
     10,
     5,
     2,
     1,
     GroupRule::Middle,
     true,
     {5, 5, 5},
     true,
     [](const TrackBar& bar) { return TrackBarLerp(bar, kMaxBorderLevel, 0); },
     [](OptionValues& v, int b) { v.run.params.borderLevel = b; },
     [](const TrackBar& bar, int, int) { return PercentText(bar) + "%"; },
     nullptr,
     "--border",
     "P",
     "bright/dark border in percent 0..100",
     "an integer from 0 to 100",
     PercentText,
     [](const std::string& text) -> std::optional<int> {
         // Any percent, not only the slider's tens: 765 * p / 100, truncated as the slider's.
         const auto percent = IntegerIn(text, 0, 100);
         return percent ? std::optional(kMaxBorderLevel * *percent / 100) : std::nullopt;
     }},
    {ParamId::HdrEnhancer,
     "TrackBar_HdrEnhancer",
     "Label_HdrEnhancer",
     "GroupBox_HdrEnhancer",
     20,
     18,
     4,
     2,
     GroupRule::NearTopOrMiddle,
     true,
     {10, 0, 20},
     true,
     [](const TrackBar& bar) { return DetailGainAt(bar.FromBottom()); },
     [](OptionValues& v, int g) { v.run.params.detailGain = g; },
     [](const TrackBar& bar, int, int) { return HalvesText(bar); },
     nullptr,
     "--detail",
     "X",
     "detail gain 0.0..10.0 in steps of 0.5",
     "0.0..10.0 in steps of 0.5",
     HalvesText,
     [](const std::string& text) -> std::optional<int> {
         // "1", "1.0" and "2.5" alike: the value in halves must be a whole number 0..20.
         char* end = nullptr;
         const double x = std::strtod(text.c_str(), &end);
         const double halves = x * 2;
         if (text.empty() || end != text.c_str() + text.size() || !(x >= 0.0 && x <= 10.0) ||
             halves != std::floor(halves)) {
             return std::nullopt;
         }
         return DetailGainAt(static_cast<int>(halves));
     }},
    {ParamId::JpegQuality,
     "TrackBar_JpegQuality",
     "",
     kSaveGroup,
     10,
     3,
     2,
     1,
     GroupRule::StartOrMinimum,
     false,
     {},
     true,
     // 100 at the top of the bar, 10 at the bottom.
     [](const TrackBar& bar) { return TrackBarLerp(bar, 100, 10); },
     [](OptionValues& v, int q) { v.jpegQuality = q; },
     nullptr,
     // Its labels say only "High" and "Low"; the number is one hover away.
     [](const TrackBar& bar) {
         return "JPEG Quality: " + std::to_string(TrackBarLerp(bar, 100, 10));
     },
     "--quality",
     "Q",
     "JPEG quality 1..100",
     "an integer from 1 to 100",
     [](const TrackBar& bar) { return std::to_string(TrackBarLerp(bar, 100, 10)); },
     [](const std::string& text) { return IntegerIn(text, 1, 100); }},
}};

}  // namespace

std::span<const ParameterInfo> ParameterTable() {
    return kRows;
}

const ParameterInfo& Parameter(ParamId id) {
    return kRows[static_cast<std::size_t>(id)];
}

const ParameterInfo* FindParameterBySlider(std::string_view sliderName) {
    for (const ParameterInfo& row : kRows) {
        if (row.slider == sliderName) {
            return &row;
        }
    }
    return nullptr;
}

int ExifChoiceIndex(ExifTreatment treatment) {
    for (std::size_t i = 0; i < kExifChoiceTable.size(); ++i) {
        if (kExifChoiceTable[i].treatment == treatment) {
            return static_cast<int>(i);
        }
    }
    throw std::invalid_argument("no Exif choice for this treatment");
}

OptionPositions StartPositions() {
    OptionPositions p;
    for (const ParameterInfo& row : kRows) {
        p[row.id] = row.start;
    }
    return p;
}

OptionValues ValuesAt(const OptionPositions& positions) {
    OptionValues values;
    for (const ParameterInfo& row : kRows) {
        row.store(values, row.value(positions.Bar(row.id)));
    }
    values.run.params.luminance = positions.luminance;
    values.exif = positions.exif;
    return values;
}

}  // namespace zelqor
