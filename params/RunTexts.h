// Progress and end-of-run texts of a processing run.
#pragma once

#include <cstdint>
#include <string>

namespace zelqor {

// The separators of the user's locale for grouped numbers.
struct NumberFormat {
    std::string thousands = ",";
    std::string decimal = ".";
};

// "12.50%" from the claimed rows (0.00% while there are no rows).
std::string ProgressPercentText(int rowsClaimed, int rowCount, const NumberFormat& fmt = {});
// "12.50% 150/1200 lines"
std::string ProgressText(int rowsClaimed, int rowCount, const NumberFormat& fmt = {});
// "1.23 sec (1,200 x 800)"
std::string RunEndText(std::uint32_t elapsedMs,
                       int width,
                       int height,
                       const NumberFormat& fmt = {});
// A number with digit grouping and the given count of decimals, rounded to nearest.
std::string FormatGrouped(double value, int decimals, const NumberFormat& fmt = {});

}  // namespace zelqor
