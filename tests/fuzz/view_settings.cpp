// Fuzz target: the forgiving INI reader behind the View-menu settings file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "ViewSettings.h"
#include "ViewStyleTable.h"

// The first byte says how many of the following bytes name the section; the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t sectionLength = std::min<std::size_t>(data[0] % 16, input.size());
    const std::string_view section = input.substr(0, sectionLength);
    const std::string_view text = input.substr(sectionLength);

    for (const std::string& key : zelqor::IniSectionKeys(text, section)) {
        zelqor::fuzz::Check(!key.empty(), "a key is never empty");
        zelqor::fuzz::Check(key.find_first_of("\r\n") == std::string::npos,
                            "a key never spans lines");
        zelqor::fuzz::Check(text.find(key) != std::string_view::npos, "a key is text of the file");
    }

    const std::vector<int> codes = zelqor::ViewStylesToShow(input);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        zelqor::fuzz::Check(std::count(codes.begin(), codes.end(), codes[i]) == 1,
                            "each style is named once");
        zelqor::fuzz::Check(
            std::any_of(std::begin(zelqor::kViewStyleTable), std::end(zelqor::kViewStyleTable),
                        [&](const zelqor::ViewStyleInfo& s) { return s.baseCode == codes[i]; }),
            "only styles of the table are shown");
    }
    return 0;
}
