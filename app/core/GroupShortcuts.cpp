// The group double-click shortcuts and the preset cycle of the HDR group, read from the
// parameter table.
#include "GroupShortcuts.h"

#include <algorithm>

namespace zelqor {
namespace {

// Preset index i leads to i + 1; from the last preset, or from positions no row has, the cycle
// returns to the start positions.
OptionPositions NextPreset(OptionPositions p) {
    const OptionPositions start = StartPositions();
    const auto matches = [&](int preset) {
        for (const ParameterInfo& row : ParameterTable()) {
            if (row.inPresetCycle &&
                p[row.id] != (preset < 0 ? start[row.id] : row.presets[preset])) {
                return false;
            }
        }
        return true;
    };
    int next = static_cast<int>(kPresetCount);  // the start positions
    for (int preset = -1; preset < static_cast<int>(kPresetCount); ++preset) {
        if (matches(preset)) {
            next = preset + 1;
            break;
        }
    }
    for (const ParameterInfo& row : ParameterTable()) {
        if (row.inPresetCycle) {
            p[row.id] = next < static_cast<int>(kPresetCount) ? row.presets[next] : start[row.id];
        }
    }
    return p;
}

int Reset(const ParameterInfo& row, int position, bool byUser) {
    const TrackBar bar = row.Bar(position);
    switch (row.groupRule) {
        case GroupRule::MiddleOrMinimum:
            return byUser && position == MiddlePosition(bar) ? bar.min : MiddlePosition(bar);
        case GroupRule::Middle:
            return MiddlePosition(bar);
        case GroupRule::NearTopOrMiddle:
            return byUser && position == bar.max - 2 ? MiddlePosition(bar) : bar.max - 2;
        case GroupRule::StartOrMinimum:
            return byUser && position == row.start ? bar.min : row.start;
    }
    return position;
}

}  // namespace

std::vector<std::string_view> OptionGroupNames() {
    std::vector<std::string_view> names{kPresetGroup};
    for (const ParameterInfo& row : ParameterTable()) {
        if (std::find(names.begin(), names.end(), row.group) == names.end()) {
            names.push_back(row.group);
        }
    }
    return names;
}

int MiddlePosition(const TrackBar& bar) {
    return (bar.min + bar.max) / 2;
}

OptionPositions GroupDoubleClicked(std::string_view group, bool byUser, OptionPositions p) {
    if (group == kPresetGroup) {
        return NextPreset(p);
    }
    for (const ParameterInfo& row : ParameterTable()) {
        if (row.group == group) {
            p[row.id] = Reset(row, p[row.id], byUser);
        }
    }
    if (group == kSaveGroup) {
        p.exif = kExifAtStart;
    }
    return p;
}

}  // namespace zelqor
