// The group double-click shortcuts and the preset cycle of the HDR group.
#include "GroupShortcuts.h"

#include <array>

namespace zelqor {
namespace {

using Presets = std::array<int, 4>;  // HDR, CalcSize, StdBrightness, HdrEnhancer

constexpr Presets PresetsOf(const ToneSliders& t) {
    return {t.hdr.position, t.calcSize.position, t.stdBrightness.position, t.hdrEnhancer.position};
}

// The start positions, then three presets; each row's positions lead to the next row's, and
// anything else returns to the start positions.
constexpr Presets kStartPresets = PresetsOf(ToneSliders{});
constexpr std::array<std::pair<Presets, Presets>, 3> kPresetCycle = {{
    {kStartPresets, {0, 4, 5, 10}},
    {{0, 4, 5, 10}, {0, 3, 5, 0}},
    {{0, 3, 5, 0}, {10, 10, 5, 20}},
}};

Presets NextPresets(const Presets& now) {
    for (const auto& [from, to] : kPresetCycle) {
        if (from == now) {
            return to;
        }
    }
    return kStartPresets;
}

}  // namespace

int MiddlePosition(const TrackBar& bar) {
    return (bar.min + bar.max) / 2;
}

OptionControls GroupDoubleClicked(OptionGroup group, bool byUser, OptionControls c) {
    ToneSliders& t = c.tone;
    const auto middleOrMinimum = [byUser](TrackBar& bar) {
        const int middle = MiddlePosition(bar);
        bar.position = byUser && bar.position == middle ? bar.min : middle;
    };
    switch (group) {
        case OptionGroup::HdrIntensity:
            middleOrMinimum(t.hdr);
            break;
        case OptionGroup::CalcSize:
            middleOrMinimum(t.calcSize);
            break;
        case OptionGroup::HdrBorder:
            t.stdBrightness.position = MiddlePosition(t.stdBrightness);
            break;
        case OptionGroup::HdrEnhancer: {
            TrackBar& bar = t.hdrEnhancer;
            const int nearTop = bar.max - 2;
            bar.position = byUser && bar.position == nearTop ? MiddlePosition(bar) : nearTop;
            break;
        }
        case OptionGroup::SaveParams: {
            TrackBar& bar = c.save.jpegQuality;
            bar.position = byUser && bar.position == 3 ? bar.min : 3;
            c.save.exifItem = 1;
            break;
        }
        case OptionGroup::HdrParams: {
            const Presets next = NextPresets(PresetsOf(t));
            t.hdr.position = next[0];
            t.calcSize.position = next[1];
            t.stdBrightness.position = next[2];
            t.hdrEnhancer.position = next[3];
            break;
        }
    }
    return c;
}

}  // namespace zelqor
