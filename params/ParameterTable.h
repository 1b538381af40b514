// The option controls as data: each slider of the options page is one row (range, start, steps,
// engine mapping, value label, group double-click rule, batch-tool flag), read by the window, the
// group shortcuts and the batch tool alike. Adding a slider means adding a row.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ImageFile.h"
#include "ProcessingRun.h"

namespace zelqor {

// A vertical track bar: the minimum is at the top, so every value is derived from max - position
// and the top of a slider is its strongest setting.
struct TrackBar {
    int min = 0;
    int max = 10;
    int position = 5;

    int FromBottom() const { return max - position; }
};

// (a * (max - position) + b * (position - min)) div (max - min), truncating toward zero.
int TrackBarLerp(const TrackBar& bar, int a, int b);
long double TrackBarLerpF(const TrackBar& bar, long double a, long double b);

inline constexpr std::array<int, 21> DetailGainTable = {0,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                                        14, 16, 19, 23, 27, 31, 36, 42, 49, 58};
static_assert(DetailGainTable.back() == kMaxDetailGain);

// 2^lerp(log2 50, log2 800) rounded to the nearest integer: 50 at the top, 800 at the bottom.
int CalcSizeDivisor(const TrackBar& calcSize);

// A whole decimal number from lo to hi and nothing else; lo and hi must fit an int.
std::optional<int> IntegerIn(const std::string& text, long lo, long hi);

enum class ParamId { HdrStrength, CalcSize, StdBrightness, HdrEnhancer, JpegQuality };
inline constexpr std::size_t kParamCount = 5;

// What a double-click on the group box around a slider does to the slider. A handler called
// from code (no sender) always goes to the second position named.
enum class GroupRule {
    MiddleOrMinimum,  // at the middle: to the minimum; elsewhere: to the middle
    Middle,           // always to the middle
    NearTopOrMiddle,  // at max - 2: to the middle; elsewhere: to max - 2
    StartOrMinimum,   // at the start position: to the minimum; elsewhere: to the start
};

// The values the option controls stand for: what a run and a save take.
struct OptionValues {
    RunSettings run;
    int jpegQuality = 0;
    ExifTreatment exif = ExifTreatment::Copy;
};

// The presets the HDR group's double-click steps through after the start positions.
inline constexpr std::size_t kPresetCount = 3;

struct ParameterInfo {
    ParamId id;
    std::string_view slider;      // object name of the track bar
    std::string_view valueLabel;  // object name of its value label; empty when it has none
    std::string_view group;       // the group box whose double-click moves it
    int max;                      // every bar runs from 0 at the top
    int start;
    int pageStep;
    int tickInterval;
    GroupRule groupRule;
    bool inPresetCycle;
    std::array<int, kPresetCount> presets;
    // Runs sample the sliders at their start, so moving one during a run changes nothing of it.
    bool liveDuringRun;
    // The engine's value at a position, and where that value goes.
    int (*value)(const TrackBar& bar);
    void (*store)(OptionValues& values, int value);
    // The value label's text; the source's size gives the radius of the divisor's label. Null
    // when the bar has no label.
    std::string (*labelText)(const TrackBar& bar, int sourceWidth, int sourceHeight);
    // The bar's tooltip, for a bar whose labels do not tell its number; null for none.
    std::string (*toolTip)(const TrackBar& bar);
    // The batch tool's flag: its value in the flag's own units at a position (for the default
    // in the help), and a typed value as the engine's value (nothing when it is not accepted).
    std::string_view flag;
    std::string_view metavar;
    std::string_view help;
    std::string_view accepts;  // what the error names when a value is refused
    std::string (*flagText)(const TrackBar& bar);
    std::optional<int> (*parseFlag)(const std::string& text);

    TrackBar Bar(int position) const { return TrackBar{0, max, position}; }
};

std::span<const ParameterInfo> ParameterTable();
const ParameterInfo& Parameter(ParamId id);
const ParameterInfo* FindParameterBySlider(std::string_view sliderName);

// The group box around the four tone sliders: its double-click steps through the presets.
inline constexpr std::string_view kPresetGroup = "GroupBox_HdrParams";
// The group box whose double-click also selects the start's Exif choice.
inline constexpr std::string_view kSaveGroup = "GroupBox_SaveParams";

inline constexpr bool kLuminanceAtStart = true;

struct ExifChoiceInfo {
    ExifTreatment treatment;
    std::string_view caption;         // the radio item, Japanese (UTF-8)
    std::string_view englishCaption;  // on a non-Japanese desktop
    std::string_view flagName;        // the batch tool's --exif value
};
// In the order of the radio items.
inline constexpr std::array<ExifChoiceInfo, 3> kExifChoiceTable = {{
    {ExifTreatment::None, "Exif 無し", "no-Exif", "none"},
    {ExifTreatment::Copy, "コピー", "Copy", "copy"},
    {ExifTreatment::FixSize, "画像サイズを修正してコピー", "Copy with Size-info", "fix-size"},
}};
inline constexpr ExifTreatment kExifAtStart = ExifTreatment::Copy;
int ExifChoiceIndex(ExifTreatment treatment);

// The positions of the option controls, as the window holds them.
struct OptionPositions {
    std::array<int, kParamCount> position{};
    bool luminance = kLuminanceAtStart;
    ExifTreatment exif = kExifAtStart;

    int& operator[](ParamId id) { return position[static_cast<std::size_t>(id)]; }
    int operator[](ParamId id) const { return position[static_cast<std::size_t>(id)]; }
    TrackBar Bar(ParamId id) const { return Parameter(id).Bar((*this)[id]); }
};

// Every control at its start position; every program start begins there.
OptionPositions StartPositions();
OptionValues ValuesAt(const OptionPositions& positions);

}  // namespace zelqor
