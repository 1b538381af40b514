// Parsing and range checks of the batch tool's options.
#include "CliOptions.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "ViewStyleTable.h"

namespace zelqor::cli {
namespace {

std::optional<std::string> IntegerOption(const std::string& name,
                                         const std::string& text,
                                         long lo,
                                         long hi,
                                         int& out) {
    const std::optional<int> v = IntegerIn(text, lo, hi);
    if (!v) {
        return "option " + name + " needs an integer from " + std::to_string(lo) +
               (hi == INT32_MAX ? " up" : " to " + std::to_string(hi)) + ", not '" + text + "'";
    }
    out = *v;
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
        o.styleCode = StyleCode(s.baseCode, level);
        return std::nullopt;
    }
    return "unknown style '" + name + "'";
}

std::string HelpLine(const std::string& option, std::string_view text) {
    constexpr std::size_t kColumn = 23;
    std::string line = "  " + option;
    line.append(line.size() < kColumn + 2 ? kColumn + 2 - line.size() : 1, ' ');
    return line.append(text).append("\n");
}

// `text` after the option, wrapped at the width the hand-written lines keep, each further line
// indented to the text's column.
std::string HelpParagraph(const std::string& option, std::string_view text) {
    constexpr std::size_t kColumn = 25;
    constexpr std::size_t kWidth = 87;
    std::string out = HelpLine(option, "");
    out.pop_back();
    std::size_t lineStart = 0;
    bool first = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        const std::size_t length = out.size() - lineStart;
        if (!first && length + 1 + word.size() > kWidth) {
            out += "\n";
            lineStart = out.size();
            out.append(kColumn, ' ');
        } else if (!first) {
            out += ' ';
        }
        out += word;
        first = false;
        text = space == std::string_view::npos ? std::string_view{} : text.substr(space + 1);
    }
    return out + "\n";
}

// The names of the table's formats that `has`, "A, B or C".
template <typename Has>
std::string FormatNames(Has has, std::string_view last) {
    std::vector<std::string> names;
    for (const PictureFormat& format : PictureFormats()) {
        if (has(format))
            names.emplace_back(format.name);
    }
    return SpokenList(names, last);
}

std::string ExifFlagNames() {
    std::string names;
    for (const ExifChoiceInfo& choice : kExifChoiceTable) {
        names += (names.empty() ? "" : " | ") + std::string(choice.flagName);
    }
    return names;
}

// The writable formats' names as the table orders them, "jpeg, png, ... or bmp"; `first` is
// said after the first (the default).
std::string FormatChoices(const std::string& first) {
    std::vector<std::string_view> names;
    for (const PictureFormat& format : PictureFormats()) {
        if (IsWritable(format))
            names.push_back(format.cliName);
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : i + 1 == names.size() ? " or " : ", ";
        text += names[i];
        if (i == 0)
            text += first;
    }
    return text;
}

// The writable row named `name` by its --format name or one of its extensions ("jpg").
const PictureFormat* WritableFormatNamed(std::string_view name) {
    for (const PictureFormat& format : PictureFormats()) {
        if (!IsWritable(format))
            continue;
        if (format.cliName == name || std::find(format.extensions.begin(), format.extensions.end(),
                                                name) != format.extensions.end())
            return &format;
    }
    return nullptr;
}

}  // namespace

std::string UsageText() {
    std::string text = "usage: zelqorhdr-cli [options] INPUT...\n";
    text += HelpParagraph(
        "INPUT", "a " + FormatNames([](const PictureFormat&) { return true; }, "or") +
                     " file, or a folder: its pictures in name order, not its subfolders, nor "
                     "the results named *_hdr.*");
    text +=
        "  -o, --output PATH      output file (one input) or existing folder (several inputs;\n"
        "                         names kept, extension from --format)\n"
        "  --size N               long side of the result in pixels; default: the source's own "
        "size\n";
    const OptionPositions start = StartPositions();
    for (const ParameterInfo& row : ParameterTable()) {
        text += HelpLine(std::string(row.flag) + " " + std::string(row.metavar),
                         std::string(row.help) + ", default " + row.flagText(start.Bar(row.id)));
    }
    text += HelpLine("--no-luminance", "plain channel sum instead of the luminance weights");
    text +=
        "  --style NAME[:S]       view style applied to the written pixels: default, vivid,\n"
        "                         monochrome, mattari, miyabi, sepia, uguisu (S = strength 0..4,\n"
        "                         4 strongest), yellowish, bluish, colorish:#RRGGBB\n";
    text += HelpLine("--exif MODE",
                     ExifFlagNames() + ", default " +
                         std::string(kExifChoiceTable[ExifChoiceIndex(kExifAtStart)].flagName));
    text += HelpParagraph("--format F",
                          FormatChoices(" (default)") + "; webp takes --quality (100: lossless)");
    text += HelpParagraph(
        "--keep-orientation",
        "keep the pixels of a " +
            FormatNames([](const PictureFormat& f) { return f.keepsStoredOrder; }, "or") +
            " file in their stored order instead of turning them upright as its orientation "
            "says; the Orientation tag is kept too. A HEIF's or AVIF's rotation and mirror are "
            "part of its picture and always applied; a WebP is always read as stored");
    text += HelpLine("--no-clobber", "keep a result file that exists; skip its input");
    text += HelpLine("-q, --quiet", "no progress bar");
    text += "  -h, --help, --version\n";
    return text;
}

std::string FormatExtension(OutputFormat format) {
    return std::string(FormatById(format).extensions.front());
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
        const ParameterInfo* param = nullptr;
        for (const ParameterInfo& row : ParameterTable()) {
            if (row.flag == arg) {
                param = &row;
            }
        }
        const bool takesValue = param != nullptr || arg == "-o" || arg == "--output" ||
                                arg == "--size" || arg == "--style" || arg == "--exif" ||
                                arg == "--format";
        if (!takesValue) {
            if (inlineValue) {
                return fail("option " + arg + " takes no value");
            }
            if (arg == "--no-luminance") {
                o.values.run.params.luminance = false;
            } else if (arg == "--keep-orientation") {
                o.keepOrientation = true;
            } else if (arg == "--no-clobber") {
                o.noClobber = true;
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
        if (param != nullptr) {
            if (const std::optional<int> engineValue = param->parseFlag(*v)) {
                param->store(o.values, *engineValue);
            } else {
                err = "option " + arg + " needs " + std::string(param->accepts) + ", not '" + *v +
                      "'";
            }
        } else if (arg == "-o" || arg == "--output") {
            if (v->empty()) {
                err = "option " + arg + " needs a path";
            }
            o.output = *v;
        } else if (arg == "--size") {
            err = IntegerOption(arg, *v, 1, 65500, o.size);
        } else if (arg == "--style") {
            err = ParseStyle(*v, o);
        } else if (arg == "--exif") {
            err = "option --exif needs " + ExifFlagNames() + ", not '" + *v + "'";
            for (const ExifChoiceInfo& choice : kExifChoiceTable) {
                if (*v == choice.flagName) {
                    o.values.exif = choice.treatment;
                    err.reset();
                }
            }
        } else if (arg == "--format") {
            if (const PictureFormat* format = WritableFormatNamed(*v)) {
                o.format = format->id;
            } else {
                err = "option --format needs " + FormatChoices("") + ", not '" + *v + "'";
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
