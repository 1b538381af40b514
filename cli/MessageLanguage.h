// The language of the batch tool's messages: the Japanese texts in a Japanese locale, English
// in any other.
#pragma once

#include <string>

namespace zelqor::cli {

// True when the locale that decides the messages' language is Japanese: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty, as the C library reads them ("ja_JP.UTF-8",
// "ja"). Null stands for an unset variable.
bool IsJapaneseLocale(const char* lcAll, const char* lcMessages, const char* lang);
// The same, from this process's environment.
bool IsJapaneseLocale();

// A message in the tool's language: our Japanese texts worded in English outside a Japanese
// locale; a text that is English already stays as it is.
std::string InMessageLanguage(const std::string& text, bool japanese);

}  // namespace zelqor::cli
