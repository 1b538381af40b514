// Reading the View-menu settings file: a forgiving INI parser and a capped, read-only file read.
#include "ViewSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ViewStyleTable.h"

namespace zelqor {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kViewSection = "View";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only ASCII letters fold: a locale-dependent fold could make a non-ASCII name match by accident.
bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldAscii(x) == FoldAscii(y);
           });
}

void AddOnce(std::vector<int>* codes, int code) {
    if (std::find(codes->begin(), codes->end(), code) == codes->end()) {
        codes->push_back(code);
    }
}

// Reads at most kViewSettingsReadCap bytes; false when the path is not a readable regular file.
bool ReadCapped(const std::string& path, std::string* out) {
    // O_NONBLOCK keeps open() from waiting for a writer when the path is a FIFO; such a path is
    // then refused by the regular-file check before anything is read from it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        out->assign(kViewSettingsReadCap, '\0');
        std::size_t got = 0;
        // Not trusting st_size: the file may grow while it is read, and some report size 0.
        while (got < out->size()) {
            const ssize_t n = ::read(fd, out->data() + got, out->size() - got);
            if (n > 0) {
                got += static_cast<std::size_t>(n);
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                ok = false;
                break;
            }
        }
        out->resize(ok ? got : 0);
    }
    ::close(fd);
    return ok;
}

}  // namespace

std::vector<std::string> IniSectionKeys(std::string_view text, std::string_view section) {
    if (text.starts_with(kUtf8Bom)) {
        text.remove_prefix(kUtf8Bom.size());
    }
    std::vector<std::string> keys;
    bool inSection = false;
    while (!text.empty()) {
        // A lone CR ends a line as well, so CRLF, LF and CR files all read alike.
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            // A header without its ']' still shows that the writer left the previous section, so
            // its keys must not be taken as belonging to that section.
            inSection = close != std::string_view::npos &&
                        EqualIgnoringCase(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos) {
            continue;
        }
        const std::string_view key = Trim(line.substr(0, eq));
        if (!key.empty()) {
            keys.emplace_back(key);
        }
    }
    return keys;
}

std::vector<int> ViewStylesToShow(std::string_view iniText) {
    std::vector<int> codes;
    for (const std::string& key : IniSectionKeys(iniText, kViewSection)) {
        // The key must be exactly the code's decimal text: "030000" or "30000.0" name no style.
        for (const ViewStyleInfo& style : kViewStyleTable) {
            if (key == std::to_string(style.baseCode)) {
                AddOnce(&codes, style.baseCode);
            }
        }
    }
    return codes;
}

std::vector<int> ViewStylesToShowFromFile(const std::string& path) {
    std::string text;
    if (!ReadCapped(path, &text)) {
        return {};
    }
    return ViewStylesToShow(text);
}

std::vector<int> LoadViewSettings(const std::vector<std::string>& paths) {
    std::vector<int> codes;
    for (const std::string& path : paths) {
        for (int code : ViewStylesToShowFromFile(path)) {
            AddOnce(&codes, code);
        }
    }
    return codes;
}

}  // namespace zelqor
