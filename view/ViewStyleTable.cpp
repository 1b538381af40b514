// Look-ups in the view style table.
#include "ViewStyleTable.h"

namespace zelqor {

const ViewStyleInfo* FindViewStyle(int baseCode) {
    for (const ViewStyleInfo& s : kViewStyleTable) {
        if (s.baseCode == baseCode) {
            return &s;
        }
    }
    return nullptr;
}

const ViewStyleInfo* FindViewStyleByCliName(std::string_view name) {
    for (const ViewStyleInfo& s : kViewStyleTable) {
        if (s.cliName == name) {
            return &s;
        }
    }
    return nullptr;
}

bool StyleLevelIsInverted(int baseCode) {
    const ViewStyleInfo* s = FindViewStyle(baseCode);
    return s != nullptr && s->levelInverted;
}

int LevelFromStrength(int baseCode, int strength) {
    return StyleLevelIsInverted(baseCode) ? kViewLevels - 1 - strength : strength;
}

}  // namespace zelqor
