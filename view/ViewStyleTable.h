// The view styles as data: code, names, captions and level direction, read by the window and the
// batch tool alike.
#pragma once

#include <array>
#include <string_view>

#include "ViewStyles.h"

namespace zelqor {

enum class StyleInput {
    None,    // applied as chosen
    Level,   // asks for a strength 0..4
    Colour,  // asks for the tint colour
};

struct ViewStyleInfo {
    int baseCode;
    std::string_view cliName;         // the batch tool's --style name
    std::string_view actionName;      // the View action that selects it
    std::string_view caption;         // the Japanese menu caption (UTF-8)
    std::string_view englishCaption;  // the caption on a non-Japanese desktop
    StyleInput input;
    // The level dialog's top (strength 4) is always the strongest look; for these styles a
    // higher level keeps more of the pixel's own colour, so the level is 4 - strength.
    bool levelInverted;
    bool hiddenAtStart;  // shown only when the settings file asks for it
};

// In the order of the View menu, top to bottom.
inline constexpr std::array<ViewStyleInfo, 10> kViewStyleTable = {{
    {kViewDefault, "default", "ActionViewDefault", "標準(&D)", "&Default", StyleInput::None, false,
     false},
    {kViewVivid, "vivid", "ActionViewVivid", "鮮やか(&V)", "&Vivid", StyleInput::Level, false,
     false},
    {kViewMonochrome, "monochrome", "ActionViewBW", "白黒(&K)", "&Monochrome", StyleInput::Level,
     true, false},
    {kViewMattari, "mattari", "ActionViewMattari", "まったり(&M)", "Mattari", StyleInput::Level,
     false, true},
    {kViewMiyabi, "miyabi", "ActionViewMiyabi", "みやび(&J)", "Miyabi", StyleInput::Level, false,
     true},
    {kViewSepia, "sepia", "ActionViewSepia", "セピア(&S)", "&Sepia", StyleInput::Level, true,
     false},
    {kViewUguisu, "uguisu", "ActionViewUguisu", "鶯(&U)", "&Uguisu(Japanese Bush-warbler)",
     StyleInput::Level, true, false},
    {kViewColorish, "colorish", "ActionViewColorish", "「○色」っぽい(&C)", "「○色」っぽい(&C)",
     StyleInput::Colour, false, false},
    {kViewYellowish, "yellowish", "ActionViewYellowish", "黄色っぽい(&Y)・試作",
     "&Yellowish (trial)", StyleInput::None, false, true},
    {kViewBluish, "bluish", "ActionViewBluish", "青っぽい(&B)・試作", "&Bluish (trial)",
     StyleInput::None, false, true},
}};

// The entry whose base code is baseCode, or nullptr.
const ViewStyleInfo* FindViewStyle(int baseCode);
const ViewStyleInfo* FindViewStyleByCliName(std::string_view name);

}  // namespace zelqor
