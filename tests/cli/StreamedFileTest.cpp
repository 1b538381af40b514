// The streamed batch path against the staged one, byte for byte, on generated and real files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "BatchRunner.h"
#include "StreamedFile.h"
#include "TempFolder.h"
#include "imageio/FormatFiles.h"

namespace zelqor::cli {
namespace {
namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// cjpeg with `options` on a w x h picture of ramps, edges and texture.
fs::path MakeJpeg(const TempFolder& dir,
                  const std::string& name,
                  int w,
                  int h,
                  const std::string& options) {
    const fs::path ppm = dir / (name + ".ppm");
    {
        std::ofstream out(ppm, std::ios::binary);
        out << "P6\n" << w << " " << h << "\n255\n";
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                out.put(static_cast<char>(x * 255 / w)).put(static_cast<char>((x ^ y) * 3));
                out.put(static_cast<char>(y < h / 2 ? (x * x + y * y) / 97 : 40 + (x / 16) * 9));
            }
        }
    }
    const fs::path jpg = dir / (name + ".jpg");
    const std::string command =
        "cjpeg " + options + " -outfile " + jpg.string() + " " + ppm.string();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return jpg;
}

// The exit status and the error lines, and the file written (empty when none was).
std::pair<std::pair<int, std::string>, std::vector<std::uint8_t>>
RunOnePath(std::vector<std::string> args, const fs::path& output, bool oneStream) {
    ParseResult parsed = ParseCommandLine(args);
    parsed.options.oneStream = oneStream;
    std::ostringstream out, err;
    const int status = RunBatch(parsed.options, out, err, false);
    std::vector<std::uint8_t> bytes = ReadAll(output);
    fs::remove(output);
    return {{status, err.str()}, bytes};
}

// Both paths on `input` with `flags`; the streamed one must have been taken.
void ExpectSameResult(const fs::path& input, std::vector<std::string> flags, const fs::path& out) {
    flags.insert(flags.end(), {"-o", out.string(), input.string()});
    ASSERT_TRUE(UsesStreamedPath(ParseCommandLine(flags).options, ReadPictureFile(input.string())))
        << input;
    const auto streamed = RunOnePath(flags, out, true);
    const auto staged = RunOnePath(flags, out, false);
    EXPECT_EQ(streamed.first, staged.first) << input;
    EXPECT_TRUE(streamed.second == staged.second) << input << " differs";
}

TEST(StreamedFileTest, WritesTheStagedBytesForEveryLayoutRadiusAndFormat) {
    TempFolder dir;
    struct Row {
        const char* name;
        const char* cjpeg;
        int w, h;
        std::vector<std::string> flags;
    };
    // Divisor 20 on 1000 x 700 takes the tile sums in two bands, the second shorter; on 400 x
    // 1500 the source's ring turns over several times beneath the bands; divisor 1 a radius
    // beyond the picture, summed in one transform that waits for every row; divisor 4 the
    // 64-bit mode. Progressive files hand out their rows after the last scan.
    const Row rows[] = {
        {"420", "-sample 2x2 -quality 90", 333, 250, {}},
        {"422-tiles", "-sample 2x1", 1000, 700, {"--divisor", "20", "--exif", "none"}},
        {"444", "-sample 1x1", 300, 217, {"--style", "sepia:3"}},
        {"restarts", "-restart 1 -sample 2x2", 257, 300, {"--format", "png"}},
        {"grey", "-grayscale", 200, 151, {"--format", "bmp", "--divisor", "30"}},
        {"rgb", "-rgb", 150, 120, {"--style", "colorish:#336699"}},
        {"radius-beyond-picture", "-sample 2x1", 300, 200, {"--divisor", "1"}},
        {"large-mode", "-sample 1x2", 500, 260, {"--divisor", "4", "--format", "png"}},
        {"tall-tiles", "-sample 2x2", 400, 1500, {"--divisor", "20", "--style", "vivid"}},
        {"progressive", "-progressive -sample 1x1", 300, 230, {"--exif", "copy"}},
        {"progressive-tiles", "-progressive", 1600, 1200, {"--divisor", "60"}},
    };
    for (const Row& row : rows) {
        const fs::path jpg = MakeJpeg(dir, row.name, row.w, row.h, row.cjpeg);
        ExpectSameResult(jpg, row.flags, dir / "out");
        // Cut off in its entropy data: the decoder fills the rest, as the staged path does.
        fs::copy_file(jpg, dir / "cut.jpg", fs::copy_options::overwrite_existing);
        fs::resize_file(dir / "cut.jpg", fs::file_size(jpg) * 3 / 5);
        ExpectSameResult(dir / "cut.jpg", row.flags, dir / "out");
    }
}

TEST(StreamedFileTest, RealPhotosInEveryStyleAndExifMode) {
    TempFolder dir;
    const std::string data = std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/";
    const char* photos[] = {"exif/Canon_40D.jpg", "exif/Konica_Minolta_DiMAGE_Z3.jpg",
                            "exif/Samsung_Digimax_i50_MP3.jpg", "codec/testorig.jpg",
                            "exif/exiv2-bug884c.jpg"};
    const char* styles[] = {"default", "vivid",    "monochrome", "mattari", "miyabi",
                            "sepia:0", "uguisu:4", "yellowish",  "bluish",  "colorish:#C08040"};
    const char* exifModes[] = {"none", "copy", "fix-size"};
    int n = 0;
    for (const char* style : styles) {
        for (const char* photo : photos) {
            ExpectSameResult(data + photo, {"--style", style, "--exif", exifModes[n++ % 3]},
                             dir / "out.jpg");
        }
    }
}

TEST(StreamedFileTest, ADecoderErrorAfterRowsWereHandedOnFailsThatFileAlone) {
    TempFolder dir;
    const fs::path good = MakeJpeg(dir, "good", 300, 200, "-sample 2x2");
    // A second frame header in the middle of the scan: the rows before it are handed on, the
    // library fails when it reaches the header.
    const std::uintmax_t half = fs::file_size(good) / 2;
    const std::string bad = dir / "bad.jpg",
                      frame = "'\\377\\300\\0\\13\\10\\0\\1\\0\\1\\1\\1\\21\\0'";
    const std::string split = "(head -c " + std::to_string(half) + " " + good.string() +
                              "; printf " + frame + "; tail -c +" + std::to_string(half + 1) + " " +
                              good.string() + ") > " + bad;
    ASSERT_EQ(std::system(split.c_str()), 0);
    fs::create_directory(dir / "out");
    for (const bool oneStream : {true, false}) {
        ParseResult parsed = ParseCommandLine({"-o", (dir / "out").string(), bad, good.string()});
        parsed.options.oneStream = oneStream;
        std::ostringstream out, err;
        EXPECT_EQ(RunBatch(parsed.options, out, err, false), 1);
        EXPECT_NE(err.str().find("bad.jpg: JPEG"), std::string::npos) << err.str();
        EXPECT_FALSE(fs::exists(dir / "out" / "bad.jpg"));
        EXPECT_TRUE(fs::exists(dir / "out" / "good.jpg"));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), {}), 1);  // nor a temporary
        fs::remove(dir / "out" / "good.jpg");
    }
}

TEST(StreamedFileTest, PicturesDecodedWholeAreEncodedBesideTheRunWithTheStagedBytes) {
    TempFolder dir;
    WriteTestPng(dir / "rgb.png", 300, 200, false);
    WriteTestPng(dir / "alpha.png", 257, 301, true);
    ASSERT_TRUE(zelqor::RunTool("heif-enc -q 80 -o " + (dir / "p.heic").string() + " " +
                                (dir / "rgb.png").string()));
    const std::string bmp = std::string(ZELQOR_TESTDATA_DIR) + "/bmp/shira_bird8.bmp";
    const std::pair<std::string, std::vector<std::string>> rows[] = {
        {(dir / "rgb.png").string(), {"--style", "sepia:2"}},
        {(dir / "alpha.png").string(), {"--divisor", "20"}},  // the tile sums
        {(dir / "p.heic").string(), {"--divisor", "1"}},      // one transform of every row
        {bmp, {"--exif", "none"}}};
    for (const auto& [input, flags] : rows) {
        std::vector<std::string> args = flags;
        args.insert(args.end(), {"-o", (dir / "out.jpg").string(), input});
        const CliOptions options = ParseCommandLine(args).options;
        PictureFile file = ReadPictureFile(input);
        const WorkingBitmap source = DecodePicture(file);
        ASSERT_TRUE(EncodesBesideRun(options, source, {source.Width(), source.Height()}));
        const auto beside = RunOnePath(args, dir / "out.jpg", true);
        const auto staged = RunOnePath(args, dir / "out.jpg", false);
        EXPECT_EQ(beside.first, staged.first) << input;
        EXPECT_FALSE(beside.second.empty()) << input;
        EXPECT_TRUE(beside.second == staged.second) << input << " differs";
        // Another size or another format needs the whole result.
        EXPECT_FALSE(EncodesBesideRun(options, source, {source.Width() - 1, source.Height()}));
        CliOptions png = options;
        png.format = OutputFormat::Png;
        EXPECT_FALSE(EncodesBesideRun(png, source, {source.Width(), source.Height()}));
    }
}

TEST(StreamedFileTest, StagedWhereTheStreamCannotKeepThePixels) {
    TempFolder dir;
    const fs::path jpg = MakeJpeg(dir, "p", 320, 200, "");
    const fs::path progressive = MakeJpeg(dir, "q", 320, 200, "-progressive");
    const std::string bmp = std::string(ZELQOR_TESTDATA_DIR) + "/bmp/shira_bird8.bmp";
    const std::pair<std::vector<std::string>, bool> rows[] = {
        {{jpg.string()}, true},
        {{"--size", "320", jpg.string()}, true},
        {{"--size", "319", jpg.string()}, false},
        {{"--size", "640", jpg.string()}, false},
        {{progressive.string()}, true},
        {{"--format", "png", progressive.string()}, false},
        {{"--divisor", "1", progressive.string()}, false},  // every row at once: no ring
        {{bmp}, false}};
    for (const auto& [args, streamed] : rows) {
        EXPECT_EQ(UsesStreamedPath(ParseCommandLine(args).options, ReadPictureFile(args.back())),
                  streamed)
            << args[0];
    }
}

}  // namespace
}  // namespace zelqor::cli
