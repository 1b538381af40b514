// The read-only settings file that makes the View-menu styles hidden at start visible.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zelqor {

// More than any real settings file; a bigger file is read only this far so that a huge file
// cannot exhaust memory.
inline constexpr std::size_t kViewSettingsReadCap = 1u << 20;

// The keys of section `section` in INI text, in file order, matched without regard to case.
std::vector<std::string> IniSectionKeys(std::string_view text, std::string_view section);
// The base codes of the view styles whose entries the settings text names in [View].
std::vector<int> ViewStylesToShow(std::string_view iniText);
// The same for a file; nothing for a missing or unreadable file. Never writes or creates it.
std::vector<int> ViewStylesToShowFromFile(const std::string& path);
// The settings beside the executable and, for an installed program whose folder users cannot
// write, the file of the same name in the user's configuration folder: an entry in either shows.
std::vector<int> LoadViewSettings(const std::vector<std::string>& paths);

}  // namespace zelqor
