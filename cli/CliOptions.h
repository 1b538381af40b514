// Command line of the batch tool: parsed options and their checks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ProcessingRun.h"
#include "ViewStyles.h"

namespace zelqor::cli {

enum class OutputFormat { Jpeg, Png, Bmp };

struct CliOptions {
    std::vector<std::string> inputs;
    std::string output;    // file (one input) or existing folder; empty: beside the input
    int size = 0;          // long side; 0 keeps the source's own size
    RunSettings settings;  // tone values and divisor, defaults as the desktop program starts
    int styleCode = kViewDefault;
    Rgb tint{0, 0, 0};
    int quality = 73;
    int exifItem = 1;
    OutputFormat format = OutputFormat::Jpeg;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    CliOptions options;
    std::optional<std::string> error;  // one line, without the program name
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);

// "jpg", "png" or "bmp".
std::string FormatExtension(OutputFormat format);

extern const char* const kUsageText;

}  // namespace zelqor::cli
