// The window's actions, menus and option controls as data; the Qt layer builds its widgets from
// these tables and nothing else names a caption, shortcut, tag or slider range.
#pragma once

#include <string_view>
#include <vector>

#include "ToneParameters.h"

namespace zelqor {

inline constexpr std::string_view kApplicationTitle = "ZelqorHDR";

// A make action's target long side that stands for the source's own long side.
inline constexpr int kMakeFullSize = -1;

struct ActionInfo {
    std::string_view name;
    std::string_view category;
    std::string_view caption;         // Japanese (UTF-8)
    std::string_view englishCaption;  // the same text where the caption stays Japanese
    std::string_view shortcut;        // in the toolkit's portable text form, empty for none
    int tag = 0;
    bool checkable = false;  // ticks itself when chosen
    int radioGroup = 0;      // 1: the view styles, one ticked at a time
    bool checkedAtStart = false;
    bool visibleAtStart = true;
    int makeSize = 0;  // long side for the make actions; unused elsewhere
    bool isMake = false;
};

// Every action of the window; the view-style actions come from the view style table.
const std::vector<ActionInfo>& ActionTable();
const ActionInfo* FindAction(std::string_view name);

// One entry of a menu: an action, or a separator when action is empty. An entry may carry a
// shortcut of its own that its action does not have.
struct MenuEntryInfo {
    std::string_view action;
    std::string_view entryName;
    std::string_view ownShortcut;
};

struct MenuInfo {
    std::string_view name;
    std::string_view caption;
    std::string_view englishCaption;
    std::vector<MenuEntryInfo> entries;
};

const std::vector<MenuInfo>& MainMenuTable();

// The track bars of the options page: object name, where the model keeps it, steps and ticks.
struct SliderInfo {
    std::string_view name;
    std::string_view valueLabel;  // empty when the bar has none
    int pageStep;
    int tickInterval;
};

// The save options that sit beside the tone sliders.
struct SaveOptions {
    TrackBar jpegQuality{0, 10, 3};  // TrackBar_JpegQuality: 100 at the top, 10 at the bottom
    int exifItem = 1;                // RadioGroup_Exif: 0 none, 1 copy, 2 copy with size fixed
};

struct OptionControls {
    ToneSliders tone;
    SaveOptions save;
};

// The five track bars in the order of the options page; Bar() reaches the position model.
inline constexpr SliderInfo kSliderTable[] = {
    {"TrackBar_HDR", "Label_HDR", 2, 1},
    {"TrackBar_CalcSize", "LabelBoke", 2, 1},
    {"TrackBar_StdBrightness", "Label_StdBrightness", 2, 1},
    {"TrackBar_HdrEnhancer", "Label_HdrEnhancer", 4, 2},
    {"TrackBar_JpegQuality", "", 2, 1},
};
TrackBar& Bar(OptionControls& controls, std::string_view sliderName);

// The JPEG quality a save uses: 100 at the top of the bar, 10 at the bottom.
int JpegQuality(const SaveOptions& save);

}  // namespace zelqor
