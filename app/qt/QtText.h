// Our UTF-8 texts as Qt strings, for the Qt layer's one conversion.
#pragma once

#include <QString>
#include <string_view>

inline QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
