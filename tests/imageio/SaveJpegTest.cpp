// Tests of the JPEG codec and of the save pipeline: Exif items, atomic writes, round trips.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "ImageFile.h"
#include "ImageIoError.h"
#include "ImageWriters.h"
#include "JpegCodec.h"
#include "JpegInspect.h"
#include "JpegSegment.h"
#include "Stream.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
const fs::path kTestData = ZELQOR_TESTDATA_DIR;

class TempFolder {
  public:
    TempFolder() {
        path_ = fs::temp_directory_path() /
                ("zelqor-imageio-" + std::to_string(::getpid()) + "-" + std::to_string(next_++));
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    fs::path operator/(const char* name) const { return path_ / name; }
    std::size_t FileCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(path_), {}));
    }

  private:
    static inline int next_ = 0;
    fs::path path_;
};

WorkingBitmap gradient(int width, int height) {
    WorkingBitmap bmp(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bmp.SetPixel(x, y, MakePixel(x * 255 / width, y * 255 / height, 128, 0xFF));
    return bmp;
}

TEST(SaveJpeg, CameraFileWithEachExifItem) {
    const LoadedImage source = LoadImageFile((kTestData / "jpeg/exif/Canon_40D.jpg").string());
    ASSERT_FALSE(source.exifError.has_value());
    ASSERT_GT(source.exifSegmentBuffer.size(), 6u);
    const auto [origX, origY] = pixelDimensions(source.exifSegmentBuffer);
    ASSERT_EQ(origX, static_cast<std::uint32_t>(source.bitmap.Width()));
    ASSERT_EQ(origY, static_cast<std::uint32_t>(source.bitmap.Height()));

    const WorkingBitmap small = gradient(120, 80);
    TempFolder folder;
    const std::string path = (folder / "out.jpg").string();
    for (int item : {kExifNone, kExifCopy, kExifFixSize}) {
        SCOPED_TRACE(item);
        SaveJpegFile(path, small, 73, source.exifSegmentBuffer, item);
        const Bytes saved = ReadWholeFile(path);
        ASSERT_GT(saved.size(), 20u);
        EXPECT_EQ(saved[0], 0xFF);
        EXPECT_EQ(saved[1], 0xD8);
        EXPECT_EQ(DecodeJpeg(saved).Width(), 120);
        const std::vector<std::uint8_t> markers = markersBeforeScan(saved);
        ASSERT_FALSE(markers.empty());
        EXPECT_EQ(markers.back(), 0xDA);
        if (item == kExifNone) {
            EXPECT_EQ(markers.front(), 0xE0);
            EXPECT_EQ(Bytes(saved.begin() + 6, saved.begin() + 11), (Bytes{'J', 'F', 'I', 'F', 0}));
            EXPECT_TRUE(exifOf(saved).empty());
            continue;
        }
        EXPECT_EQ(markers.front(), 0xE1);
        EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE0), 0);
        EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE1), 1);
        const Bytes block = exifOf(saved);
        ASSERT_EQ(block.size(), source.exifSegmentBuffer.size());
        if (item == kExifCopy) {
            EXPECT_EQ(block, source.exifSegmentBuffer);
        } else {
            EXPECT_EQ(pixelDimensions(block), std::make_pair(120u, 80u));
        }
    }
    EXPECT_EQ(folder.FileCount(), 1u) << "no temporary file left";
}

TEST(SaveJpeg, EmptyExifBufferSavesTheEncoderOutput) {
    const WorkingBitmap bmp = gradient(16, 16);
    for (int item : {0, 1, 2, 7}) {
        EXPECT_EQ(BuildJpegFile(bmp, 90, {}, item), EncodeJpeg(bmp, 90));
    }
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SaveJpeg, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    TempFolder folder;
    const fs::path target = folder / "photo.jpg";
    writeFile(target, "previous picture");
    const WorkingBitmap bmp = gradient(8, 8);

    // A corrupt Exif block under "fix size" fails before anything is written.
    Bytes corrupt = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 0xF0, 0, 0, 0};
    try {
        SaveJpegFile(target.string(), bmp, 80, corrupt, kExifFixSize);
        FAIL() << "no error";
    } catch (const ImageIoError& e) {
        EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
    }
    EXPECT_EQ(readText(target), "previous picture");

    // A target that is a folder, and one in a folder that does not exist.
    const fs::path sub = folder / "sub";
    fs::create_directory(sub);
    const std::vector<std::pair<fs::path, std::string>> cases = {
        {sub, "ファイル \"" + sub.string() + "\" を作成できません。Is a directory"},
        {folder / "missing/x.jpg", "ファイル \"" + (folder / "missing/x.jpg").string() +
                                       "\" を作成できません。No such file or directory"},
    };
    for (const auto& [path, message] : cases) {
        try {
            SaveJpegFile(path.string(), bmp, 80, {}, kExifNone);
            ADD_FAILURE() << "no error for " << path;
        } catch (const ImageIoError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
    EXPECT_TRUE(fs::is_directory(sub));
    EXPECT_TRUE(fs::is_empty(sub));
    EXPECT_EQ(folder.FileCount(), 2u) << "only photo.jpg and sub";
}

TEST(SaveJpeg, ReplacedFileKeepsItsPermissions) {
    TempFolder folder;
    const fs::path target = folder / "keep.jpg";
    writeFile(target, "x");
    ::chmod(target.c_str(), 0640);
    SaveJpegFile(target.string(), gradient(4, 4), 50, {}, kExifNone);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(DecodeJpeg(ReadWholeFile(target.string())).Width(), 4);
}

TEST(JpegCodec, RoundTripStaysCloseToTheOriginal) {
    const WorkingBitmap original = gradient(64, 48);
    for (int quality : {100, 73, 10}) {
        const WorkingBitmap back = DecodeJpeg(EncodeJpeg(original, quality));
        ASSERT_EQ(back.Width(), 64);
        ASSERT_EQ(back.Height(), 48);
        long total = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                const auto a = original.Pixel(x, y), b = back.Pixel(x, y);
                total += std::abs(PixelR(a) - PixelR(b)) + std::abs(PixelG(a) - PixelG(b)) +
                         std::abs(PixelB(a) - PixelB(b));
                EXPECT_EQ(PixelX(b), 0xFF);
            }
        const double mean = double(total) / (64 * 48 * 3);
        EXPECT_LT(mean, quality >= 73 ? 2.0 : 8.0) << quality;
    }
}

TEST(JpegCodec, GreyscaleFileDecodesToGrey) {
    const Bytes file = ReadWholeFile(
        (kTestData / "jpeg/decoder-bugs/8bit_testorig_grayscale_q80_rst8.jpg").string());
    const WorkingBitmap bmp = DecodeJpeg(file);
    ASSERT_TRUE(bmp.HoldsImage());
    std::set<int> levels;
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            const auto p = bmp.Pixel(x, y);
            ASSERT_EQ(PixelR(p), PixelG(p));
            ASSERT_EQ(PixelG(p), PixelB(p));
            levels.insert(PixelR(p));
        }
    EXPECT_GT(levels.size(), 50u);
}

TEST(JpegCodec, ErrorsCarryTheLibraryCode) {
    const std::vector<Bytes> broken = {{}, {0xFF, 0xD8}, {0xFF, 0xD8, 0xFF, 0xD9}, {'B', 'M'}};
    for (const Bytes& b : broken) {
        try {
            DecodeJpeg(b);
            ADD_FAILURE() << "decoded";
        } catch (const ImageIoError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("JPEG エラー #", 0), 0u) << e.what();
        }
    }
    EXPECT_THROW(EncodeJpeg(WorkingBitmap(), 80), ImageIoError);
}

TEST(LoadImageFile, ExtensionAndOpenErrors) {
    TempFolder folder;
    const fs::path bmpFile = folder / "Picture.BMP";
    const Bytes bmp = EncodeBmp(gradient(3, 2));
    std::ofstream(bmpFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp.data()), bmp.size());
    const LoadedImage loaded = LoadImageFile(bmpFile.string());
    EXPECT_EQ(loaded.bitmap, gradient(3, 2));
    EXPECT_TRUE(loaded.exifSegmentBuffer.empty());

    const std::vector<std::pair<std::string, std::string>> cases = {
        {(folder / "a.png").string(), "拡張子 .png の画像形式は処理できません"},
        {(folder / "noext").string(), "拡張子 . の画像形式は処理できません"},
        {(folder / "gone.JPG").string(), "ファイル " + (folder / "gone.JPG").string() +
                                             " は開けません。 No such file or directory "},
    };
    for (const auto& [path, message] : cases) {
        try {
            LoadImageFile(path);
            ADD_FAILURE() << path;
        } catch (const ImageIoError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}

TEST(PngWriter, DecodesBackToTheSamePixels) {
    const WorkingBitmap bmp = gradient(7, 5);
    const Bytes png = EncodePng(bmp);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    image.format = PNG_FORMAT_BGRA;
    WorkingBitmap back(7, 5);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.Data(), 7 * 4, nullptr));
    EXPECT_EQ(image.width, 7u);
    EXPECT_TRUE(back == bmp);
}

}  // namespace
}  // namespace zelqor
