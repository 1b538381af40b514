// Parsing and range checks of the batch tool's options.
#include "CliOptions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "ViewStyleTable.h"

namespace zelqor::cli {

const char* const kUsageText =
    "usage: zelqorhdr-cli [options] INPUT...\n"
    "  -o, --output PATH      output file (one input) or existing folder (several inputs;\n"
    "                         names kept, extension from --format)\n"
    "  --size N               long side of the result in pixels; default: the source's own size\n"
    "  --intensity K          0..10, default 5\n"
    "  --divisor D            neighbourhood divisor, integer >= 1, default 200\n"
    "  --border P             bright/dark border in percent 0..100, default 50\n"
    "  --detail X             detail gain 0.0..10.0 in steps of 0.5, default 1.0\n"
    "  --no-luminance         plain channel sum instead of the luminance weights\n"
    "  --style NAME[:S]       view style applied to the written pixels: default, vivid,\n"
    "                         monochrome, mattari, miyabi, sepia, uguisu (S = strength 0..4,\n"
    "                         4 strongest), yellowish, bluish, colorish:#RRGGBB\n"
    "  --quality Q            JPEG quality 1..100, default 73\n"
    "  --exif MODE            none | copy | fix-size, default copy\n"
    "  --format F             jpeg (default), png or bmp\n"
    "  -q, --quiet            no progress bar\n"
    "  --help, --version\n";

namespace {

std::optional<long> ParseInteger(const std::string& text) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> IntegerOption(const std::string& name,
                                         const std::string& text,
                                         long lo,
                                         long hi,
                                         int& out) {
    const auto v = ParseInteger(text);
    if (!v || *v < lo || *v > hi) {
        return "option " + name + " needs an integer from " + std::to_string(lo) +
               (hi == INT32_MAX ? " up" : " to " + std::to_string(hi)) + ", not '" + text + "'";
    }
    out = static_cast<int>(*v);
    return std::nullopt;
}

std::optional<std::string> ParseDetail(const std::string& text, int& gain) {
    // Accept "1", "1.0", "2.5": the value in halves must be a whole number 0..20.
    char* end = nullptr;
    const double x = std::strtod(text.c_str(), &end);
    const double halves = x * 2;
    if (text.empty() || end != text.c_str() + text.size() || !(x >= 0.0 && x <= 10.0) ||
        halves != std::floor(halves)) {
        return "option --detail needs 0.0..10.0 in steps of 0.5, not '" + text + "'";
    }
    gain = DetailGainTable[static_cast<int>(halves)];
    return std::nullopt;
}

std::optional<std::string> ParseHexColour(const std::string& text, Rgb& tint) {
    if (text.size() != 7 || text[0] != '#') {
        return "colorish needs a colour as #RRGGBB, not '" + text + "'";
    }
    unsigned value = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + 1, text.data() + 7, value, 16);
    if (ec != std::errc() || ptr != text.data() + 7) {
        return "colorish needs a colour as #RRGGBB, not '" + text + "'";
    }
    tint = Rgb{static_cast<int>(value >> 16), static_cast<int>((value >> 8) & 0xFF),
               static_cast<int>(value & 0xFF)};
    return std::nullopt;
}

std::optional<std::string> ParseStyle(const std::string& text, CliOptions& o) {
    const auto colon = text.find(':');
    const std::string name = text.substr(0, colon);
    const std::optional<std::string> arg =
        colon == std::string::npos ? std::nullopt : std::optional(text.substr(colon + 1));
    if (const ViewStyleInfo* found = FindViewStyleByCliName(name)) {
        const ViewStyleInfo& s = *found;
        if (s.input == StyleInput::Colour) {
            if (!arg) {
                return std::string("style colorish needs a colour: colorish:#RRGGBB");
            }
            o.styleCode = kViewColorish;
            return ParseHexColour(*arg, o.tint);
        }
        if (arg && s.input != StyleInput::Level) {
            return "style " + name + " takes no strength";
        }
        int level = 0;
        if (arg) {
            int strength = 0;
            if (auto err = IntegerOption("--style " + name, *arg, 0, kViewLevels - 1, strength)) {
                return err;
            }
            level = LevelFromStrength(s.baseCode, strength);
        }
        o.styleCode = s.baseCode + level;
        return std::nullopt;
    }
    return "unknown style '" + name + "'";
}

}  // namespace

std::string FormatExtension(OutputFormat format) {
    switch (format) {
        case OutputFormat::Png:
            return "png";
        case OutputFormat::Bmp:
            return "bmp";
        case OutputFormat::Jpeg:
            break;
    }
    return "jpg";
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    CliOptions& o = result.options;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            o.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            if (const auto eq = arg.find('='); eq != std::string::npos) {
                inlineValue = arg.substr(eq + 1);
                arg.resize(eq);
            }
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return args[++i];
        };
        const bool takesValue = arg == "-o" || arg == "--output" || arg == "--size" ||
                                arg == "--intensity" || arg == "--divisor" || arg == "--border" ||
                                arg == "--detail" || arg == "--style" || arg == "--quality" ||
                                arg == "--exif" || arg == "--format";
        if (!takesValue) {
            if (inlineValue) {
                return fail("option " + arg + " takes no value");
            }
            if (arg == "--no-luminance") {
                o.settings.params.luminance = false;
            } else if (arg == "-q" || arg == "--quiet") {
                o.quiet = true;
            } else if (arg == "--help" || arg == "-h") {
                o.help = true;
            } else if (arg == "--version") {
                o.version = true;
            } else {
                return fail("unknown option " + arg);
            }
            continue;
        }
        const std::optional<std::string> v = value();
        if (!v) {
            return fail("option " + arg + " needs a value");
        }
        std::optional<std::string> err;
        if (arg == "-o" || arg == "--output") {
            if (v->empty()) {
                err = "option " + arg + " needs a path";
            }
            o.output = *v;
        } else if (arg == "--size") {
            err = IntegerOption(arg, *v, 1, 65500, o.size);
        } else if (arg == "--intensity") {
            err = IntegerOption(arg, *v, 0, 10, o.settings.params.hdrStrength);
        } else if (arg == "--divisor") {
            err = IntegerOption(arg, *v, 1, INT32_MAX, o.settings.divisor);
        } else if (arg == "--border") {
            int percent = 0;
            err = IntegerOption(arg, *v, 0, 100, percent);
            o.settings.params.borderLevel = kMaxBorderLevel * percent / 100;
        } else if (arg == "--detail") {
            err = ParseDetail(*v, o.settings.params.detailGain);
        } else if (arg == "--style") {
            err = ParseStyle(*v, o);
        } else if (arg == "--quality") {
            err = IntegerOption(arg, *v, 1, 100, o.quality);
        } else if (arg == "--exif") {
            if (*v == "none") {
                o.exifItem = 0;
            } else if (*v == "copy") {
                o.exifItem = 1;
            } else if (*v == "fix-size") {
                o.exifItem = 2;
            } else {
                err = "option --exif needs none, copy or fix-size, not '" + *v + "'";
            }
        } else if (arg == "--format") {
            if (*v == "jpeg" || *v == "jpg") {
                o.format = OutputFormat::Jpeg;
            } else if (*v == "png") {
                o.format = OutputFormat::Png;
            } else if (*v == "bmp") {
                o.format = OutputFormat::Bmp;
            } else {
                err = "option --format needs jpeg, png or bmp, not '" + *v + "'";
            }
        }
        if (err) {
            return fail(*err);
        }
    }
    if (!o.help && !o.version && o.inputs.empty()) {
        return fail("no input file given (see --help)");
    }
    return result;
}

}  // namespace zelqor::cli
