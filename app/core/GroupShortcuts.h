// Double-clicks on the option groups: reset, toggle and cycle the track-bar positions.
#pragma once

#include <string_view>

#include "ActionTable.h"

namespace zelqor {

enum class OptionGroup { HdrParams, HdrIntensity, CalcSize, HdrBorder, HdrEnhancer, SaveParams };

struct OptionGroupInfo {
    std::string_view name;
    OptionGroup group;
};

inline constexpr OptionGroupInfo kOptionGroupTable[] = {
    {"GroupBox_HdrParams", OptionGroup::HdrParams},
    {"GroupBox_HdrIntensity", OptionGroup::HdrIntensity},
    {"GroupBox_CalcSize", OptionGroup::CalcSize},
    {"GroupBox_HdrBorder", OptionGroup::HdrBorder},
    {"GroupBox_HdrEnhancer", OptionGroup::HdrEnhancer},
    {"GroupBox_SaveParams", OptionGroup::SaveParams},
};

// The positions after a double-click on group. byUser is false when code calls the handler
// without a sender: the toggling groups then go to their reset position unconditionally.
OptionControls GroupDoubleClicked(OptionGroup group, bool byUser, OptionControls controls);

// (min + max) / 2 of the bar's current range, truncated toward zero.
int MiddlePosition(const TrackBar& bar);

}  // namespace zelqor
