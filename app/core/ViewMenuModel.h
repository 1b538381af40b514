// The View menu's state and logic: which style is ticked, the levels in the tags, the tint, and
// what choosing a style does.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "ViewStyleTable.h"
#include "ViewStyles.h"

namespace zelqor {

class ViewMenuModel {
  public:
    struct Entry {
        const ViewStyleInfo* style;
        int tag;  // base code plus the current level
        bool checked;
    };

    // Asks for a strength 0..4 for the entry, preselecting shown; -1 when cancelled.
    using LevelAsker = std::function<int(int entry, int shownStrength)>;
    // Asks for a colour starting from the current tint; nullopt when cancelled.
    using ColourAsker = std::function<std::optional<Rgb>(Rgb current)>;

    ViewMenuModel();

    const std::vector<Entry>& Entries() const { return entries_; }
    int IndexOf(int baseCode) const;

    // The code in the ticked style's tag, the default when none is ticked.
    StyleCode CurrentViewCode() const;
    // Ticks the entry that matches code (for code >= 1000 by its group, also taking the level).
    void SelectViewCode(StyleCode code);
    StyleCode LastViewCode() const { return lastViewCode_; }
    Rgb Tint() const { return tint_; }

    // What the toolkit does before the handler runs: the chosen entry ticks itself.
    void Tick(int entry);
    // The handler of a style entry, after Tick. Returns true when the shown pages must be
    // repainted, false when the choice was cancelled (the previous tick is then restored).
    bool Execute(int entry, const LevelAsker& askLevel, const ColourAsker& askColour);

  private:
    std::vector<Entry> entries_;
    StyleCode lastViewCode_;
    Rgb tint_{0, 0, 0};  // the colour dialog's colour: black until the user confirms one
};

// The strength the level dialog shows for a style at a level, and back.
int StrengthShownForLevel(const ViewStyleInfo& style, int level);

}  // namespace zelqor
