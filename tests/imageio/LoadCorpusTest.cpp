// Every real-world JPEG and BMP in the shared test data either loads or is refused cleanly.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include "ImageFile.h"
#include "ImageIoError.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;

const fs::path kTestData = ZELQOR_TESTDATA_DIR;

bool isAllowedLoadError(const std::string& text) {
    static const std::set<std::string> kFixed = {"ストリームからの読み込みエラー",
                                                 "ビットマップイメージが不正です"};
    return kFixed.count(text) > 0 || text.rfind("JPEG エラー #", 0) == 0;
}

struct Outcome {
    int loaded = 0;
    int refused = 0;
    std::vector<std::string> refusedNames;
};

Outcome loadAll(const fs::path& folder) {
    Outcome outcome;
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        const std::string ext = item.path().extension().string();
        if (!item.is_regular_file() || (ext != ".jpg" && ext != ".jpeg" && ext != ".bmp"))
            continue;
        SCOPED_TRACE(item.path().string());
        const auto start = std::chrono::steady_clock::now();
        try {
            const LoadedImage image = LoadImageFile(item.path().string());
            EXPECT_TRUE(image.bitmap.HoldsImage());
            if (image.exifError) {
                EXPECT_TRUE(isAllowedLoadError(*image.exifError));
            }
            ++outcome.loaded;
        } catch (const ImageIoError& e) {
            EXPECT_TRUE(isAllowedLoadError(e.Text())) << e.what();
            ++outcome.refused;
            outcome.refusedNames.push_back(item.path().filename().string());
        }
        const auto seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(seconds.count(), 20.0) << "took too long";
    }
    return outcome;
}

TEST(LoadCorpus, EveryFileLoadsOrFailsWithAKnownMessage) {
    struct Folder {
        const char* path;
        int minimumLoaded;
    };
    const std::vector<Folder> folders = {
        {"jpeg/codec", 3},        {"jpeg/exif", 20},  {"jpeg/malformed", 1},
        {"jpeg/decoder-bugs", 1}, {"bmp/suite/q", 1}, {"bmp/suite/b", 0},
    };
    for (const Folder& f : folders) {
        SCOPED_TRACE(f.path);
        const Outcome o = loadAll(kTestData / f.path);
        EXPECT_GE(o.loaded, f.minimumLoaded);
        EXPECT_GT(o.loaded + o.refused, 0);
    }
}

TEST(LoadCorpus, EveryValidBitmapLoads) {
    const Outcome o = loadAll(kTestData / "bmp/suite/g");
    EXPECT_EQ(o.refused, 0) << ::testing::PrintToString(o.refusedNames);
    EXPECT_GE(o.loaded, 27);
    const Outcome top = loadAll(kTestData / "bmp");
    EXPECT_GE(top.loaded, 27 + 3);
}

}  // namespace
}  // namespace zelqor
