// Double-clicks on the option groups: reset, toggle and cycle the track-bar positions.
#pragma once

#include <string_view>
#include <vector>

#include "ParameterTable.h"

namespace zelqor {

// The group boxes whose double-click means something: the preset group, then each slider's
// own group in the parameter table's order.
std::vector<std::string_view> OptionGroupNames();

// The positions after a double-click on the named group. byUser is false when code calls the
// handler without a sender: the toggling groups then go to their reset position unconditionally.
OptionPositions GroupDoubleClicked(std::string_view group, bool byUser, OptionPositions positions);

// (min + max) / 2 of the bar's current range, truncated toward zero.
int MiddlePosition(const TrackBar& bar);

}  // namespace zelqor
