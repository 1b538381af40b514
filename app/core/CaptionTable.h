// The English caption set: every caption that changes on a non-Japanese desktop, keyed by the
// object that carries it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelqor {

inline constexpr std::string_view kEnglishApplicationTitle = "\"Zelqor\"-HDR";

struct CaptionRow {
    // An action, menu or control of the main window by object name, or "Dialog.Control" for a
    // control of a dialog, or a dialog's own name for its window caption.
    std::string object;
    std::string japanese;
    std::string english;
};

// In the order they are applied: menus and actions first, then pages, groups and labels, then
// the dialogs. The action and menu rows are read from their own tables.
const std::vector<CaptionRow>& EnglishCaptionTable();

// The English items of the Exif choice, set as one text with CR LF between the items.
inline constexpr std::string_view kEnglishExifItems = "no-Exif\r\nCopy\r\nCopy with Size-info";

}  // namespace zelqor
