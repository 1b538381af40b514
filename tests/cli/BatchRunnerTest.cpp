// The batch tool end to end on real photos in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "../imageio/OrientedFiles.h"
#include "BatchRunner.h"
#include "BmpReader.h"
#include "ImageFile.h"
#include "ImageWriters.h"
#include "JpegCodec.h"
#include "MemExif.h"
#include "MessageLanguage.h"
#include "PictureFormats.h"
#include "TempFolder.h"

namespace zelqor::cli {
namespace {
namespace fs = std::filesystem;

const std::string kPhoto = std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/Canon_40D.jpg";

class BatchRunnerTest : public ::testing::Test {
  protected:
    int Run(std::vector<std::string> args, bool japanese = true) {
        ParseResult parsed = ParseCommandLine(args);
        EXPECT_FALSE(parsed.error) << *parsed.error;
        parsed.options.japaneseMessages = japanese;
        out_.str("");
        err_.str("");
        return RunBatch(parsed.options, out_, err_, false);
    }
    // The whole tool, folders and usage checks included.
    int Tool(std::vector<std::string> args, bool japanese = false) {
        out_.str("");
        err_.str("");
        return RunTool(args, out_, err_, false, "0.0", japanese);
    }

    static std::vector<std::uint8_t> ReadAll(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    TempFolder folder_;
    const fs::path dir_ = folder_.Path();
    std::ostringstream out_, err_;
};

TEST_F(BatchRunnerTest, FullSizeWritesTheEngineResultExactly) {
    const fs::path bmp = dir_ / "full.bmp";
    ASSERT_EQ(
        Run({"--format", "bmp", "--intensity", "8", "--detail", "3.5", "-o", bmp.string(), kPhoto}),
        0)
        << err_.str();
    const WorkingBitmap written = DecodeBmp(ReadAll(bmp));

    const LoadedImage src = LoadImageFile(kPhoto);
    RunSettings settings;
    settings.params.hdrStrength = 8;
    settings.params.detailGain = DetailGainTable[7];
    ProcessingRun run;
    struct Quiet : RunObserver {
        bool Poll(int, int) override { return false; }
    } quiet;
    WorkingBitmap expected;
    run.ProcessBitmap(expected, src.bitmap, settings, quiet);
    ASSERT_EQ(written.Width(), expected.Width());
    ASSERT_EQ(written.Height(), expected.Height());
    for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
            // BMP output carries no fourth byte.
            ASSERT_EQ(written.Pixel(x, y) & 0xFFFFFF, expected.Pixel(x, y) & 0xFFFFFF)
                << x << "," << y;
        }
    }
    EXPECT_NE(out_.str().find(" sec ("), std::string::npos) << out_.str();
}

TEST_F(BatchRunnerTest, ResizedJpegCarriesPatchedExif) {
    const fs::path jpg = dir_ / "small.jpg";
    ASSERT_EQ(Run({"--size", "300", "--exif", "fix-size", "-o", jpg.string(), kPhoto}), 0)
        << err_.str();
    const LoadedImage back = LoadImageFile(jpg.string());
    EXPECT_EQ(std::max(back.bitmap.Width(), back.bitmap.Height()), 300);
    ASSERT_FALSE(back.exifSegmentBuffer.empty());
    // The size fields now name the saved size: patching once more with it changes nothing.
    const std::vector<std::uint8_t> again =
        BuildJpegFile(back.bitmap, 73, back.exifSegmentBuffer, ExifTreatment::FixSize);
    const fs::path twice = dir_ / "twice.jpg";
    WriteFileAtomically(twice.string(), again);
    EXPECT_EQ(LoadImageFile(twice.string()).exifSegmentBuffer, back.exifSegmentBuffer);
}

TEST_F(BatchRunnerTest, TurnedPhotoGivesTheUprightResultUnlessItsOrderIsKept) {
    const auto upright = EncodeJpeg(oriented::Upright(), 95);
    oriented::Write(dir_ / "turned.jpg",
                    oriented::StoredAs(dir_, upright, 6, oriented::ExifBlock(false, 6, 48, 64)));
    oriented::Write(dir_ / "upright.jpg", upright);
    for (const char* name : {"upright", "turned"})
        ASSERT_EQ(Run({"--format", "bmp", "-o", (dir_ / name).string() + ".bmp",
                       (dir_ / name).string() + ".jpg"}),
                  0);
    // The decoder's rounding (up to 3 levels on load) passes through the detail gain.
    EXPECT_LE(oriented::LargestDifference(DecodeBmp(ReadAll(dir_ / "upright.bmp")),
                                          DecodeBmp(ReadAll(dir_ / "turned.bmp"))),
              6);
    const fs::path kept = dir_ / "kept.jpg";
    ASSERT_EQ(Run({"--keep-orientation", "-o", kept.string(), (dir_ / "turned.jpg").string()}), 0);
    EXPECT_EQ(ReadPictureFile(kept.string(), OrientationHandling::AsStored).width, 48);
    EXPECT_EQ(ReadExifOrientation(LoadImageFile(kept.string()).exifSegmentBuffer.app1.Payload(0)),
              6);
}

TEST_F(BatchRunnerTest, TiffAndJpegXlKeepTheirStoredOrderWhenAsked) {
    // The TIFF has the tag in IFD0, as a camera's TIFF would; cjxl moves the JPEG's into the
    // codestream's header.
    MetadataBlock tag = MetadataBlock::FromParts(OrientationOnlyExif(6), {}, {});
    tag.storedOrientation = true;
    for (const char* name : {"turned.tif", "turned.jpg"})
        SavePictureFile((dir_ / name).string(), FormatByExtension(FileExtension(name))->id,
                        WorkingBitmap(48, 64), 95, tag, ExifTreatment::Copy);
    ASSERT_EQ(std::system(("cjxl " + (dir_ / "turned.jpg").string() + " " +
                           (dir_ / "turned.jxl").string() + " >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string result = (dir_ / "result.jpg").string();
    for (const char* source : {"turned.tif", "turned.jxl"}) {
        for (const bool keep : {false, true}) {
            SCOPED_TRACE(std::string(source) + (keep ? " kept" : " upright"));
            const std::string in = (dir_ / source).string();
            ASSERT_EQ(
                keep ? Run({"--keep-orientation", "-o", result, in}) : Run({"-o", result, in}), 0);
            EXPECT_EQ(ReadPictureFile(result, OrientationHandling::AsStored).width, keep ? 48 : 64);
            const MetadataBlock written = LoadImageFile(result).exifSegmentBuffer;
            // Upright needs no tag; the TIFF's layout tags alone give no Exif block.
            const int tag =
                written.app1.Count() == 0 ? 0 : ReadExifOrientation(written.app1.Payload(0));
            EXPECT_EQ(tag == 0 ? 1 : tag, keep ? 6 : 1);
        }
    }
}

TEST_F(BatchRunnerTest, GoesOnAfterABadFileAndFailsTheExitStatus) {
    const fs::path broken = dir_ / "broken.jpg";
    std::ofstream(broken) << "not a jpeg at all";
    const fs::path missing = dir_ / "missing.jpg";
    const fs::path outDir = dir_ / "out";
    fs::create_directories(outDir);
    const auto whole = EncodeJpeg(oriented::Upright(), 95);
    oriented::Write(dir_ / "cut.jpg", {whole.begin(), whole.end() - 100});
    std::ofstream(dir_ / "notes.txt") << "text";
    // Our text, then the decoder's reason: one line per failure, in either language.
    const std::pair<bool, std::string> kLanguages[] = {
        {true,
         "broken.jpg: 画像形式を判別できません: it starts with 0x6e 0x6f 0x74 0x20; pictures "
         "read: JPEG, PNG, [^\n]*\n[\\s\\S]*"
         "missing.jpg: ファイル [^\n]*missing.jpg は開けません。 No such file or directory "
         "\n[\\s\\S]*"
         "notes.txt: 拡張子 .txt の画像形式は処理できません: it starts with 0x74 0x65 0x78 0x74; "
         "pictures read: JPEG, PNG, [^\n]*\n"},
        {false,
         "broken.jpg: the picture format is not recognised: it starts with 0x6e 0x6f 0x74 0x20; "
         "pictures read: JPEG, PNG, [^\n]*\n[\\s\\S]*"
         "missing.jpg: cannot open the file [^\n]*missing.jpg: No such file or directory\n[\\s\\S]*"
         "notes.txt: pictures with the extension .txt cannot be processed: it starts with 0x74 "
         "0x65 0x78 0x74; pictures read: JPEG, PNG, [^\n]*\n"},
    };
    for (const auto& [japanese, lines] : kLanguages) {
        EXPECT_EQ(Run({"--size", "200", "--format", "png", "-o", outDir.string(), broken.string(),
                       missing.string(), kPhoto, (dir_ / "cut.jpg").string(),
                       (dir_ / "notes.txt").string()},
                      japanese),
                  1);
        EXPECT_TRUE(fs::exists(outDir / "Canon_40D.png"));
        EXPECT_FALSE(fs::exists(outDir / "broken.png"));
        const std::string err = err_.str();
        EXPECT_TRUE(std::regex_search(err, std::regex(lines))) << err;
        EXPECT_NE(err.find("cut.jpg: warning: " + std::string(kEndedEarlyNotice)),
                  std::string::npos);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4) << "three failures, one warning";
    }
}

TEST_F(BatchRunnerTest, ExitStatusOfUsageAndOutputErrors) {
    fs::copy_file(kPhoto, dir_ / "p.jpg");
    const std::string photo = (dir_ / "p.jpg").string(), none = (dir_ / "nofolder").string();
    // Several results and no folder for them: a usage error before any file is read (the missing
    // input is not reported); a folder of several pictures is several inputs.
    for (const std::string& more :
         {(dir_ / "missing.jpg").string(), std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif"}) {
        EXPECT_EQ(Tool({"-o", none, photo, more}), 2);
        EXPECT_EQ(err_.str(),
                  "zelqorhdr-cli: with several inputs, --output must be an existing "
                  "folder: " +
                      none + "\n");
    }
    // A standard output that takes nothing is not success, for the help as for a batch.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, std::vector<std::string>{"--size", "64", photo}}) {
        std::ofstream full("/dev/full");
        std::ostringstream err;
        EXPECT_EQ(RunTool(args, full, err, false, "0.0"), 1) << args.front();
        EXPECT_EQ(err.str(), "zelqorhdr-cli: write error on standard output\n");
    }
}

TEST_F(BatchRunnerTest, NoClobberKeepsAnExistingResultAndSaysSo) {
    fs::copy_file(kPhoto, dir_ / "p.jpg");
    fs::copy_file(kPhoto, dir_ / "q.jpg");
    const std::string photo = (dir_ / "p.jpg").string(), result = (dir_ / "p_hdr.jpg").string();
    std::ofstream(result) << "mine";
    ASSERT_EQ(Tool({"--no-clobber", "--size", "64", photo, (dir_ / "q.jpg").string()}), 0);
    EXPECT_EQ(ReadAll(result).size(), 4u);
    EXPECT_EQ(out_.str().rfind(photo + ": skipped, " + result + " exists (--no-clobber)\n", 0), 0u);
    EXPECT_TRUE(fs::exists(dir_ / "q_hdr.jpg"));
    ASSERT_EQ(Tool({"--size", "64", photo}), 0) << "without it a result is replaced, as before";
    EXPECT_EQ(ReadPictureFile(result).width, 64);
}

// The texts themselves are checked in both languages where a batch prints them.
TEST(MessageLanguage, FromTheFirstLocaleVariableThatIsSet) {
    EXPECT_TRUE(IsJapaneseLocale(nullptr, nullptr, "ja_JP.UTF-8"));
    EXPECT_TRUE(IsJapaneseLocale("", "ja", "en_US.UTF-8"));
    EXPECT_FALSE(IsJapaneseLocale("en_GB.UTF-8", nullptr, "ja_JP.UTF-8"));
    EXPECT_FALSE(IsJapaneseLocale(nullptr, nullptr, nullptr));
    EXPECT_FALSE(IsJapaneseLocale(nullptr, nullptr, "jam"));
}

TEST_F(BatchRunnerTest, NeverOverwritesAnInputOrAnEarlierResult) {
    const fs::path copy = dir_ / "photo.jpg";
    fs::copy_file(kPhoto, copy);
    const auto before = ReadAll(copy);
    EXPECT_EQ(Run({"--size", "100", "-o", copy.string(), copy.string()}), 1);
    EXPECT_EQ(ReadAll(copy), before);
    EXPECT_EQ(Run({"--size", "100", "-o", dir_.string(), copy.string()}), 1);
    EXPECT_EQ(ReadAll(copy), before);

    // Without -o the result goes beside the input under a new name.
    EXPECT_EQ(Run({"--size", "100", copy.string()}), 0) << err_.str();
    EXPECT_TRUE(fs::exists(dir_ / "photo_hdr.jpg"));

    const fs::path other = dir_ / "sub";
    fs::create_directories(other);
    fs::copy_file(kPhoto, other / "photo.jpg");
    const fs::path outDir = dir_ / "o";
    fs::create_directories(outDir);
    EXPECT_EQ(Run({"--size", "100", "-o", outDir.string(), copy.string(),
                   (other / "photo.jpg").string()}),
              1);
    EXPECT_NE(err_.str().find("already written"), std::string::npos);

    EXPECT_EQ(Run({"-o", (dir_ / "nofolder").string(), copy.string(), copy.string()}), 1);
}

// What the batch printed, with the run times (which vary) masked.
std::string Masked(const std::string& text) {
    return std::regex_replace(text, std::regex("[0-9.]+ sec"), "T sec");
}

TEST_F(BatchRunnerTest, AFolderGivesItsPicturesInNameOrder) {
    const fs::path in = dir_ / "in";
    fs::create_directories(in / "sub");
    fs::create_directories(dir_ / "empty");
    fs::copy_file(kPhoto, in / "b.jpg");
    fs::copy_file(std::string(ZELQOR_TESTDATA_DIR) + "/bmp/shira_bird8.bmp", in / "a.BMP");
    fs::copy_file(kPhoto, in / "sub" / "deeper.jpg");
    fs::copy_file(kPhoto, in / "c_hdr.jpg");  // an earlier run's result
    std::ofstream(in / "notes.txt") << "not a picture";
    ASSERT_EQ(Tool({"--size", "64", in.string()}), 0) << err_.str();
    const std::string a = (in / "a").string(), b = (in / "b").string();
    EXPECT_EQ(Masked(out_.str()), a + ".BMP -> " + a + "_hdr.jpg: T sec (64 x 48), radius 1\n" + b +
                                      ".jpg -> " + b + "_hdr.jpg: T sec (64 x 44), radius 1\n");
    // A folder without pictures is a failure of its own; the other inputs still run.
    EXPECT_EQ(Tool({"--size", "64", "-o", in.string(), (dir_ / "empty").string(), kPhoto}), 1);
    EXPECT_EQ(err_.str(),
              "zelqorhdr-cli: " + (dir_ / "empty").string() + ": no pictures in this folder\n");
    EXPECT_TRUE(fs::exists(in / "Canon_40D.jpg"));
}

// Several files overlap (one decodes, one runs, one is written); each must still come out as it
// would alone, and the lines in input order.
TEST_F(BatchRunnerTest, SeveralFilesReportInOrderAndWriteWhatEachWritesAlone) {
    const std::string exif = std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/";
    const fs::path broken = dir_ / "broken.jpg";
    std::ofstream(broken) << "not a jpeg at all";
    const std::vector<std::string> inputs = {
        exif + "exif-org_kodak-dc240.jpg",
        broken.string(),
        exif + "gps_DSCN0010.jpg",
        (dir_ / "missing.jpg").string(),
        std::string(ZELQOR_TESTDATA_DIR) + "/bmp/shira_bird8.bmp",
        exif + "Canon_PowerShot_S40.jpg",
    };
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--size", "200"}}) {
        const fs::path together = dir_ / "together";
        const fs::path alone = dir_ / "alone";
        fs::create_directories(together);
        fs::create_directories(alone);
        const auto runBoth = [&](const fs::path& outDir, const std::vector<std::string>& files,
                                 std::ostringstream& both) {
            std::vector<std::string> args = extra;
            args.insert(args.end(), {"--format", "bmp", "-o", outDir.string()});
            args.insert(args.end(), files.begin(), files.end());
            const ParseResult parsed = ParseCommandLine(args);
            EXPECT_FALSE(parsed.error);
            // One stream for both, so that the order between them shows too.
            return RunBatch(parsed.options, both, both, false);
        };
        std::ostringstream batch;
        EXPECT_EQ(runBoth(together, inputs, batch), 1);
        std::string expected;
        for (const std::string& input : inputs) {
            std::ostringstream one;
            runBoth(alone, {input}, one);
            expected += one.str();
        }
        EXPECT_EQ(std::regex_replace(Masked(batch.str()), std::regex("/together/"), "/out/"),
                  std::regex_replace(Masked(expected), std::regex("/alone/"), "/out/"));
        int results = 0;
        for (const auto& entry : fs::directory_iterator(alone)) {
            ++results;
            EXPECT_EQ(ReadAll(together / entry.path().filename()), ReadAll(entry.path()))
                << entry.path().filename();
        }
        EXPECT_EQ(results, 4);
        fs::remove_all(together);
        fs::remove_all(alone);
    }
}

// Whether an earlier file's write succeeds decides about a later one: that one waits for it.
TEST_F(BatchRunnerTest, ALaterFileWaitsForTheEarlierWriteItDependsOn) {
    const fs::path outDir = dir_ / "out";
    fs::create_directories(outDir);
    fs::create_directories(dir_ / "x");
    fs::create_directories(dir_ / "y");
    const std::string kodak =
        std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/exif-org_kodak-dc240.jpg";
    fs::copy_file(kodak, dir_ / "x" / "p.jpg");
    fs::copy_file(kodak, dir_ / "y" / "p.jpg");
    // The second input is the first one's result, which exists only once that is written.
    EXPECT_EQ(Run({"--size", "100", "-o", outDir.string(), (dir_ / "x" / "p.jpg").string(),
                   (outDir / "p.jpg").string()}),
              1);
    EXPECT_NE(err_.str().find("would overwrite the input"), std::string::npos) << err_.str();
    fs::remove(outDir / "p.jpg");
    // Two files apart, a second result of the same name.
    EXPECT_EQ(Run({"--size", "100", "-o", outDir.string(), (dir_ / "x" / "p.jpg").string(), kPhoto,
                   (dir_ / "y" / "p.jpg").string()}),
              1);
    const std::string err = err_.str();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("y/p.jpg: a result of this batch was already written"), std::string::npos)
        << err;
    EXPECT_NE(out_.str().find("Canon_40D.jpg -> "), std::string::npos) << out_.str();
}

// A strip whose short side rounds to nothing at --size has no result; the pixels of a file
// before it, kept for reuse, must not stand in for one.
TEST_F(BatchRunnerTest, AResultWithNoPixelsIsRefusedAfterAGoodFile) {
    const fs::path strip = dir_ / "strip.bmp";
    WorkingBitmap pixels(400, 1);
    for (int x = 0; x < 400; ++x) {
        pixels.SetPixel(x, 0, MakePixel(x % 256, 9, 200, 0xFF));
    }
    const std::vector<std::uint8_t> bytes = EncodeBmp(pixels);
    std::ofstream(strip, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const fs::path outDir = dir_ / "out";
    fs::create_directories(outDir);
    const std::string other =
        std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/exif-org_kodak-dc240.jpg";
    EXPECT_EQ(Run({"--size", "100", "--format", "bmp", "-o", outDir.string(), kPhoto, other,
                   strip.string()}),
              1);
    EXPECT_NE(err_.str().find("strip.bmp: the result would have no pixels"), std::string::npos)
        << err_.str();
    EXPECT_FALSE(fs::exists(outDir / "strip.bmp"));
    EXPECT_TRUE(fs::exists(outDir / "Canon_40D.bmp"));
}

TEST_F(BatchRunnerTest, RefusesAnEnlargementBeyondTheDecoderLimit) {
    const fs::path out = dir_ / "huge.jpg";
    EXPECT_EQ(Run({"--size", "65500", "-o", out.string(), kPhoto}), 1);
    EXPECT_NE(err_.str().find("65500 x "), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("too large"), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(BatchRunnerTest, FileSystemErrorsFailOnlyThatFile) {
    const std::string tooLong = (dir_ / (std::string(300, 'n') + ".jpg")).string();
    const fs::path outDir = dir_ / "out";
    fs::create_directories(outDir);
    // The result name of the first input is too long; the batch goes on with the second.
    for (const auto& [args, written] :
         {std::pair{std::vector<std::string>{"-o", tooLong, kPhoto}, false},
          std::pair{std::vector<std::string>{"-o", outDir.string(), tooLong, kPhoto}, true}}) {
        std::vector<std::string> all = {"--size", "64"};
        all.insert(all.end(), args.begin(), args.end());
        EXPECT_EQ(Run(all), 1);
        const std::string err = err_.str();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("File name too long"), std::string::npos) << err;
        EXPECT_EQ(fs::exists(outDir / "Canon_40D.jpg"), written);
    }
}

// Every write fails, so a stream with exceptions on throws at once.
class BrokenBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST(RunTool, NothingEscapes) {
    BrokenBuffer broken;
    std::ostream out(&broken);
    out.exceptions(std::ios::badbit);
    std::ostringstream err;
    int status = -1;
    EXPECT_NO_THROW(status = RunTool({"--help"}, out, err, false, "0.0"));
    EXPECT_EQ(status, 1);
    const std::string text = err.str();
    EXPECT_EQ(text.rfind("zelqorhdr-cli: ", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

}  // namespace
// Every writable row through the whole tool: the file is what exiftool says it is, under the
// row's own extension, with the camera's Exif, and --help offers it.
TEST_F(BatchRunnerTest, EveryWritableFormatCarriesTheExifTheChoiceKeeps) {
    ASSERT_EQ(Tool({"--help"}), 0);
    const std::string help = out_.str();
    const auto exiftool = [](const std::string& tags, const fs::path& file) {
        std::string text;
        if (FILE* pipe =
                ::popen(("exiftool -s -s -s " + tags + " " + file.string()).c_str(), "r")) {
            char buffer[512];
            for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
                text.append(buffer, n);
            ::pclose(pipe);
        }
        return text;
    };
    int writable = 0;
    for (const PictureFormat& format : PictureFormats()) {
        if (!IsWritable(format))
            continue;
        ++writable;
        const std::string name(format.cliName);
        SCOPED_TRACE(name);
        EXPECT_NE(help.find(name), std::string::npos);
        const fs::path outDir = dir_ / name;
        fs::create_directories(outDir);
        ASSERT_EQ(Run({"--format", name, "--size", "300", "--exif", "fix-size", "-o",
                       outDir.string(), kPhoto}),
                  0)
            << err_.str();
        const fs::path file = outDir / ("Canon_40D." + std::string(format.extensions.front()));
        ASSERT_TRUE(fs::exists(file));
        EXPECT_EQ(exiftool("-FileTypeExtension", file),
                  std::string(format.extensions.front()) + "\n");
        const bool carries = format.id != PictureFormatId::Bmp;  // a bitmap has no place for it
        EXPECT_EQ(exiftool("-Make", file), carries ? "Canon\n" : "");
        EXPECT_EQ(exiftool("-ExifImageWidth", file), carries ? "300\n" : "");
    }
    EXPECT_EQ(writable, 5);
}

}  // namespace zelqor::cli
