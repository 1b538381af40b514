// Formatting of the run's status texts.
#include "RunTexts.h"

#include <cmath>
#include <cstdio>

namespace zelqor {

std::string FormatGrouped(double value, int decimals, const NumberFormat& fmt) {
    char plain[64];
    std::snprintf(plain, sizeof plain, "%.*f", decimals, std::fabs(value));
    std::string digits = plain;
    std::string fraction;
    if (const auto dot = digits.find('.'); dot != std::string::npos) {
        fraction = fmt.decimal + digits.substr(dot + 1);
        digits.resize(dot);
    }
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += fmt.thousands;
        }
        grouped += digits[i];
    }
    const bool negative =
        value < 0 && (grouped.find_first_not_of("0" + fmt.thousands) != std::string::npos ||
                      fraction.find_first_not_of("0" + fmt.decimal) != std::string::npos);
    return (negative ? "-" : "") + grouped + fraction;
}

std::string ProgressPercentText(int rowsClaimed, int rowCount, const NumberFormat& fmt) {
    const double percent = rowCount > 0 ? rowsClaimed * 100.0 / rowCount : 0.0;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", percent);
    std::string s = text;
    if (const auto dot = s.find('.'); dot != std::string::npos) {
        s.replace(dot, 1, fmt.decimal);
    }
    return s + "%";
}

std::string ProgressText(int rowsClaimed, int rowCount, const NumberFormat& fmt) {
    return ProgressPercentText(rowsClaimed, rowCount, fmt) + " " + std::to_string(rowsClaimed) +
           "/" + std::to_string(rowCount) + " lines";
}

std::string RunEndText(std::uint32_t elapsedMs, int width, int height, const NumberFormat& fmt) {
    return FormatGrouped(elapsedMs * 0.001, 2, fmt) + " sec (" + FormatGrouped(width, 0, fmt) +
           " x " + FormatGrouped(height, 0, fmt) + ")";
}

}  // namespace zelqor
