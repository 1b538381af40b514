// The window's actions and menus as data; the Qt layer builds its menus from these tables and
// nothing else names a caption, shortcut or tag.
#pragma once

#include <string_view>
#include <vector>

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
    // A second key the action answers to; the menu shows only the first.
    std::string_view alternateShortcut;
    int tag = 0;
    bool checkable = false;  // ticks itself when chosen
    int radioGroup = 0;      // 1: the view styles, one ticked at a time
    bool checkedAtStart = false;
    bool visibleAtStart = true;
    int makeSize = 0;  // long side for the make actions; unused elsewhere
    bool isMake = false;
    // Off for what would start a second run or replace or free the images a run reads.
    bool enabledDuringRun = true;
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

}  // namespace zelqor
