// View-menu logic on the style table.
#include "ViewMenuModel.h"

namespace zelqor {

ViewMenuModel::ViewMenuModel() {
    for (const ViewStyleInfo& s : kViewStyleTable) {
        entries_.push_back({&s, s.baseCode, s.baseCode == kViewDefault});
    }
}

int ViewMenuModel::IndexOf(int baseCode) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].style->baseCode == baseCode) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

StyleCode ViewMenuModel::CurrentViewCode() const {
    for (const Entry& e : entries_) {
        if (e.checked) {
            return e.tag;
        }
    }
    return 0;
}

void ViewMenuModel::SelectViewCode(StyleCode style) {
    const int code = style.Tag();
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        const bool match = code >= 1000 ? e.tag / 1000 == code / 1000 : e.tag == code;
        if (match) {
            if (code >= 1000) {
                e.tag = code;
            }
            Tick(static_cast<int>(i));
            return;
        }
    }
}

void ViewMenuModel::Tick(int entry) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        entries_[i].checked = static_cast<int>(i) == entry;
    }
}

int StrengthShownForLevel(const ViewStyleInfo& style, int level) {
    return style.levelInverted ? kViewLevels - 1 - level : level;
}

bool ViewMenuModel::Execute(int entry, const LevelAsker& askLevel, const ColourAsker& askColour) {
    Entry& e = entries_.at(entry);
    switch (e.style->input) {
        case StyleInput::None:
            break;
        case StyleInput::Colour: {
            const std::optional<Rgb> picked = askColour(tint_);
            if (!picked) {
                SelectViewCode(lastViewCode_);
                return false;
            }
            tint_ = *picked;
            break;
        }
        case StyleInput::Level: {
            const int level = e.tag % kViewGroupSize;
            const int strength = askLevel(entry, StrengthShownForLevel(*e.style, level));
            if (strength < 0) {
                SelectViewCode(lastViewCode_);
                return false;
            }
            e.tag = (e.tag / kViewGroupSize) * kViewGroupSize +
                    LevelFromStrength(e.style->baseCode, strength);
            break;
        }
    }
    lastViewCode_ = CurrentViewCode();
    return true;
}

}  // namespace zelqor
