// Which locale the batch tool speaks to.
#include "MessageLanguage.h"

#include <cstdlib>
#include <string_view>

#include "ImageIoError.h"

namespace zelqor::cli {

bool IsJapaneseLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value != nullptr && *value != '\0') {
            const std::string_view name(value);
            return name.substr(0, 2) == "ja" &&
                   (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@');
        }
    }
    return false;
}

bool IsJapaneseLocale() {
    return IsJapaneseLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

std::string InMessageLanguage(const std::string& text, bool japanese) {
    return japanese ? text : EnglishText(text);
}

}  // namespace zelqor::cli
