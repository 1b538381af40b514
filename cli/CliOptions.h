// Command line of the batch tool: parsed options and their checks.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ParameterTable.h"
#include "PictureFormats.h"
#include "ViewStyles.h"

namespace zelqor::cli {

// A writable row of the picture format table (IsWritable).
using OutputFormat = PictureFormatId;

struct CliOptions {
    std::vector<std::string> inputs;  // files, or folders whose pictures are taken
    std::string output;  // file (one input) or existing folder; empty: beside the input
    int size = 0;        // long side; 0 keeps the source's own size
    // Tone values, divisor, JPEG quality and Exif treatment; the desktop program's start values
    // unless a flag says otherwise.
    OptionValues values = ValuesAt(StartPositions());
    StyleCode styleCode;
    Rgb tint{0, 0, 0};
    OutputFormat format = OutputFormat::Jpeg;
    bool keepOrientation = false;  // pixels in the stored order, Exif Orientation as it was
    // False sends every file through the staged path (decode, run, encode in turn); no flag
    // sets it: benchmarks and tests compare the two paths with it.
    bool oneStream = true;
    bool noClobber = false;  // an existing result file is kept and the input skipped
    bool quiet = false;
    // The messages' language; from the locale, not from a flag.
    bool japaneseMessages = false;
    bool help = false;
    bool version = false;
};

struct ParseResult {
    CliOptions options;
    std::optional<std::string> error;  // one line, without the program name
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The extension a result of `format` is given: the first of its row.
std::string FormatExtension(OutputFormat format);

// The help text: the parameter table's flags with their defaults, and the tool's own options.
std::string UsageText();

}  // namespace zelqor::cli
