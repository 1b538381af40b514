// The batch tool's command line: accepted values, defaults and one-line errors.
#include <gtest/gtest.h>

#include "CliOptions.h"

namespace zelqor::cli {
namespace {

ParseResult Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

// The defaults are the window's start positions, and the help names each of them.
TEST(CliOptions, DefaultsAreTheWindowsStartValues) {
    const ParseResult r = Parse({"a.jpg"});
    ASSERT_FALSE(r.error) << *r.error;
    const CliOptions& o = r.options;
    const OptionValues start = ValuesAt(StartPositions());
    EXPECT_EQ(o.inputs, std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(o.values.run.params.hdrStrength, start.run.params.hdrStrength);
    EXPECT_EQ(o.values.run.params.borderLevel, start.run.params.borderLevel);
    EXPECT_EQ(o.values.run.params.detailGain, start.run.params.detailGain);
    EXPECT_EQ(o.values.run.params.luminance, start.run.params.luminance);
    EXPECT_EQ(o.values.run.divisor, start.run.divisor);
    EXPECT_EQ(o.values.jpegQuality, start.jpegQuality);
    EXPECT_EQ(o.values.exif, start.exif);
    const std::string help = UsageText();
    for (const ParameterInfo& row : ParameterTable()) {
        const std::string flagDefault =
            ", default " + row.flagText(StartPositions().Bar(row.id)) + "\n";
        EXPECT_NE(help.find(std::string(row.flag) + " " + std::string(row.metavar)),
                  std::string::npos);
        EXPECT_NE(help.find(flagDefault), std::string::npos) << row.flag;
    }
    EXPECT_NE(help.find("none | copy | fix-size, default copy\n"), std::string::npos);
    EXPECT_EQ(o.styleCode, kViewDefault);
    EXPECT_EQ(o.format, OutputFormat::Jpeg);
    EXPECT_EQ(o.size, 0);
}

TEST(CliOptions, ValuesMapToEngineValues) {
    struct Case {
        std::vector<std::string> args;
        std::function<void(const CliOptions&)> check;
    } cases[] = {
        {{"--border", "100", "x"},
         [](auto& o) { EXPECT_EQ(o.values.run.params.borderLevel, 765); }},
        {{"--border", "0", "x"}, [](auto& o) { EXPECT_EQ(o.values.run.params.borderLevel, 0); }},
        {{"--border=33", "x"}, [](auto& o) { EXPECT_EQ(o.values.run.params.borderLevel, 252); }},
        {{"--detail", "10", "x"}, [](auto& o) { EXPECT_EQ(o.values.run.params.detailGain, 58); }},
        {{"--detail", "0.0", "x"}, [](auto& o) { EXPECT_EQ(o.values.run.params.detailGain, 0); }},
        {{"--detail", "2.5", "x"}, [](auto& o) { EXPECT_EQ(o.values.run.params.detailGain, 7); }},
        {{"--intensity", "0", "x"}, [](auto& o) { EXPECT_EQ(o.values.run.params.hdrStrength, 0); }},
        {{"--divisor", "50", "x"}, [](auto& o) { EXPECT_EQ(o.values.run.divisor, 50); }},
        {{"--quality=100", "x"}, [](auto& o) { EXPECT_EQ(o.values.jpegQuality, 100); }},
        {{"--no-luminance", "x"}, [](auto& o) { EXPECT_FALSE(o.values.run.params.luminance); }},
        {{"--style", "sepia", "x"}, [](auto& o) { EXPECT_EQ(o.styleCode, 50000); }},
        {{"--style", "sepia:4", "x"}, [](auto& o) { EXPECT_EQ(o.styleCode, 50000); }},
        {{"--style", "sepia:0", "x"}, [](auto& o) { EXPECT_EQ(o.styleCode, 50004); }},
        {{"--style", "monochrome:1", "x"}, [](auto& o) { EXPECT_EQ(o.styleCode, 10003); }},
        {{"--style", "vivid:3", "x"}, [](auto& o) { EXPECT_EQ(o.styleCode, 20003); }},
        {{"--style", "miyabi", "x"}, [](auto& o) { EXPECT_EQ(o.styleCode, 40000); }},
        {{"--style", "bluish", "x"}, [](auto& o) { EXPECT_EQ(o.styleCode, 6); }},
        {{"--style", "colorish:#E4801C", "x"},
         [](auto& o) {
             EXPECT_EQ(o.styleCode, 1);
             EXPECT_EQ(o.tint.r, 228);
             EXPECT_EQ(o.tint.g, 128);
             EXPECT_EQ(o.tint.b, 28);
         }},
        {{"--exif", "fix-size", "--exif", "none", "x"},
         [](auto& o) { EXPECT_EQ(o.values.exif, ExifTreatment::None); }},
        {{"--format", "png", "-q", "x"},
         [](auto& o) {
             EXPECT_EQ(o.format, OutputFormat::Png);
             EXPECT_TRUE(o.quiet);
         }},
        {{"-o", "out", "a", "--", "-b.jpg"},
         [](auto& o) {
             EXPECT_EQ(o.output, "out");
             EXPECT_EQ(o.inputs, (std::vector<std::string>{"a", "-b.jpg"}));
         }},
        {{"--help"}, [](auto& o) { EXPECT_TRUE(o.help); }},
    };
    for (const Case& c : cases) {
        const ParseResult r = Parse(c.args);
        ASSERT_FALSE(r.error) << c.args[0] << ": " << *r.error;
        c.check(r.options);
    }
}

TEST(CliOptions, BadValuesGiveOneLineErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--bogus", "x"},
        {"--intensity", "11", "x"},
        {"--intensity", "-1", "x"},
        {"--intensity", "5x", "x"},
        {"--divisor", "0", "x"},
        {"--border", "101", "x"},
        {"--detail", "0.3", "x"},
        {"--detail", "10.5", "x"},
        {"--detail", "nan", "x"},
        {"--quality", "0", "x"},
        {"--quality", "101", "x"},
        {"--size", "0", "x"},
        {"--exif", "maybe", "x"},
        {"--format", "gif", "x"},
        {"--style", "sepia:5", "x"},
        {"--style", "bluish:2", "x"},
        {"--style", "colorish", "x"},
        {"--style", "colorish:#12345", "x"},
        {"--style", "colorish:#GG0000", "x"},
        {"--style", "noir", "x"},
        {"--no-luminance=1", "x"},
        {"x", "--quality"},
        {"-o", "", "x"},
    };
    for (const auto& args : bad) {
        const ParseResult r = Parse(args);
        ASSERT_TRUE(r.error.has_value()) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(r.error->find('\n'), std::string::npos);
        EXPECT_FALSE(r.error->empty());
    }
}

}  // namespace
}  // namespace zelqor::cli
