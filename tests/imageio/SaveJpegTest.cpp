// Tests of the JPEG codec and of the save pipeline: Exif items, atomic writes, round trips.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <png.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <set>

#include "ImageFile.h"
#include "ImageIoError.h"
#include "ImageWriters.h"
#include "JpegCodec.h"
#include "JpegInspect.h"
#include "JpegSegment.h"
#include "Stream.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
const fs::path kTestData = ZELQOR_TESTDATA_DIR;

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
    const Bytes& exif = source.exifSegmentBuffer.app1.bytes;
    ASSERT_GT(exif.size(), 6u);
    const auto [origX, origY] = pixelDimensions(exif);
    ASSERT_EQ(origX, static_cast<std::uint32_t>(source.bitmap.Width()));
    ASSERT_EQ(origY, static_cast<std::uint32_t>(source.bitmap.Height()));

    const WorkingBitmap small = gradient(120, 80);
    TempFolder folder;
    const std::string path = (folder / "out.jpg").string();
    for (ExifTreatment item : {ExifTreatment::None, ExifTreatment::Copy, ExifTreatment::FixSize}) {
        SCOPED_TRACE(static_cast<int>(item));
        SaveJpegFile(path, small, 73, source.exifSegmentBuffer, item);
        const Bytes saved = ReadWholeFile(path);
        ASSERT_GT(saved.size(), 20u);
        EXPECT_EQ(saved[0], 0xFF);
        EXPECT_EQ(saved[1], 0xD8);
        EXPECT_EQ(DecodeJpeg(saved).Width(), 120);
        const std::vector<std::uint8_t> markers = markersBeforeScan(saved);
        ASSERT_FALSE(markers.empty());
        EXPECT_EQ(markers.back(), 0xDA);
        if (item == ExifTreatment::None) {
            EXPECT_EQ(markers.front(), 0xE0);
            EXPECT_EQ(Bytes(saved.begin() + 6, saved.begin() + 11), (Bytes{'J', 'F', 'I', 'F', 0}));
            EXPECT_TRUE(exifOf(saved).empty());
            continue;
        }
        EXPECT_EQ(markers.front(), 0xE1);
        EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE0), 0);
        EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE1), 1);
        const Bytes block = exifOf(saved);
        ASSERT_EQ(block.size(), exif.size());
        if (item == ExifTreatment::Copy) {
            EXPECT_EQ(block, exif);
        } else {
            EXPECT_EQ(pixelDimensions(block), std::make_pair(120u, 80u));
        }
    }
    EXPECT_EQ(folder.FileCount(), 1u) << "no temporary file left";
}

TEST(SaveJpeg, EmptyExifBufferSavesTheEncoderOutput) {
    const WorkingBitmap bmp = gradient(16, 16);
    for (ExifTreatment item : {ExifTreatment::None, ExifTreatment::Copy, ExifTreatment::FixSize}) {
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

    // A corrupt Exif block under "fix size" fails before anything is written, also behind XMP.
    const MetadataBlock corrupt = metadataOf(
        {{'h', 't', 't', 'p'}, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 0xF0, 0, 0, 0}});
    try {
        SaveJpegFile(target.string(), bmp, 80, corrupt, ExifTreatment::FixSize);
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
            SaveJpegFile(path.string(), bmp, 80, {}, ExifTreatment::None);
            ADD_FAILURE() << "no error for " << path;
        } catch (const ImageIoError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
    EXPECT_TRUE(fs::is_directory(sub));
    EXPECT_TRUE(fs::is_empty(sub));
    EXPECT_EQ(folder.FileCount(), 2u) << "only photo.jpg and sub";
}

// The text of a failed call, or "" when it succeeded.
std::string errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ImageIoError& e) {
        return e.what();
    }
    return "";
}

const Bytes kNewPicture(256 * 1024, 0x5A);

// Saves kNewPicture over a file in `folder`, failing midway in `failWrite`'s way; the old file
// must stay as it was and no temporary file may be left.
void expectFailedWriteKeepsOldFile(const fs::path& folder,
                                   const std::function<void()>& failWrite,
                                   const std::function<void()>& undo) {
    const fs::path target = folder / "photo.jpg";
    writeFile(target, "previous picture");
    failWrite();
    const std::string error = errorOf([&] { WriteFileAtomically(target.string(), kNewPicture); });
    const std::string kept = readText(target);
    const auto files = std::distance(fs::directory_iterator(folder), {});
    undo();
    EXPECT_EQ(error, "ストリームへの書き込みエラー");
    EXPECT_EQ(kept, "previous picture");
    EXPECT_EQ(files, 1) << "no temporary file left";
}

TEST(SaveJpeg, WritePastTheFileSizeLimitKeepsTheOldFile) {
    TempFolder folder;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // write fails with EFBIG instead
    expectFailedWriteKeepsOldFile(
        folder / ".", [&] { ::setrlimit(RLIMIT_FSIZE, &small); },
        [&] {
            ::setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, handler);
        });
}

TEST(SaveJpeg, FullFileSystemKeepsTheOldFile) {
    TempFolder folder;
    const fs::path small = folder / "small";
    fs::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    expectFailedWriteKeepsOldFile(
        small, [] {}, [&] { ::umount(small.c_str()); });
}

// An encoder writing straight into the file: pieces past the point where the system is asked
// to start writing back arrive whole, and an encoder failing midway leaves the old file.
TEST(SaveJpeg, ContentWrittenInPiecesArrivesWholeOrNotAtAll) {
    TempFolder folder;
    const fs::path target = folder / "photo.bmp";
    writeFile(target, "previous picture");
    Bytes piece(3 * 1024 * 1024 + 17);
    for (std::size_t i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    const auto writePieces = [&](int count, bool failAfter) {
        WriteFileAtomically(target.string(), [&](Stream& out) {
            for (int i = 0; i < count; ++i)
                out.WriteBuffer(piece.data(), piece.size());
            if (failAfter)
                ThrowStreamWriteError();
        });
    };
    EXPECT_EQ(errorOf([&] { writePieces(4, true); }), "ストリームへの書き込みエラー");
    EXPECT_EQ(readText(target), "previous picture");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "."), {}), 1) << "no temporary file";

    writePieces(4, false);
    const std::string written = readText(target);
    ASSERT_EQ(written.size(), 4 * piece.size());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(0, std::memcmp(written.data() + i * piece.size(), piece.data(), piece.size()));
}

TEST(SaveJpeg, FolderMovedAwayBeforeTheRenameKeepsTheOldFileAndNoTemporary) {
    TempFolder folder;
    const fs::path photos = folder / "photos", elsewhere = folder / "elsewhere";
    fs::create_directory(photos);
    writeFile(photos / "photo.jpg", "previous picture");
    AtomicWriteHooks hooks;
    hooks.beforeRename = [&](const std::string&) { fs::rename(photos, elsewhere); };
    const std::string target = (photos / "photo.jpg").string();
    EXPECT_EQ(errorOf([&] { WriteFileAtomically(target, kNewPicture, hooks); }),
              FileCreateErrorText(target, "No such file or directory"));
    EXPECT_EQ(readText(elsewhere / "photo.jpg"), "previous picture");
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), {}), 1) << "no temporary file left";
}

TEST(SaveJpeg, LongestNameSavesThroughAShorterTemporaryName) {
    std::string name;
    for (int i = 0; i < 83; ++i)
        name += "写";  // 3 bytes each: with ".jpg" 253 of the 255 bytes a name may hold
    TempFolder folder;
    std::string tempName;
    AtomicWriteHooks hooks;
    hooks.beforeRename = [&](const std::string& temp) { tempName = fs::path(temp).filename(); };
    const fs::path target = folder / (name + ".jpg").c_str();
    WriteFileAtomically(target.string(), kNewPicture, hooks);
    EXPECT_EQ(readText(target).size(), kNewPicture.size());
    // Cut to at most 200 bytes, never inside a character.
    EXPECT_EQ(tempName.rfind("." + name.substr(0, 198) + ".tmp", 0), 0u) << tempName;
}

TEST(SaveJpeg, PipesAndDevicesAreNeitherReadNorReplaced) {
    TempFolder folder;
    const fs::path pipe = folder / "pipe.jpg", device = folder / "null.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    fs::create_symlink("/dev/null", device);
    EXPECT_EQ(errorOf([&] { WriteFileAtomically(pipe.string(), kNewPicture); }),
              FileCreateErrorText(pipe.string(), "Not a regular file"));
    EXPECT_TRUE(fs::is_fifo(pipe));
    for (const fs::path& path : {pipe, device}) {
        auto load = std::async(std::launch::async,
                               [&] { return errorOf([&] { LoadImageFile(path.string()); }); });
        if (load.wait_for(std::chrono::seconds(2)) == std::future_status::timeout) {
            ADD_FAILURE() << "the load waits for a writer";
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));  // let the open return
        }
        EXPECT_EQ(load.get(), FileOpenErrorText(path.string(), "Not a regular file"));
    }
}

TEST(SaveJpeg, ReplacedFileKeepsItsPermissions) {
    TempFolder folder;
    const fs::path target = folder / "keep.jpg";
    writeFile(target, "x");
    ::chmod(target.c_str(), 0640);
    SaveJpegFile(target.string(), gradient(4, 4), 50, {}, ExifTreatment::None);
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
        {(folder / "a.gif").string(), "拡張子 .gif の画像形式は処理できません"},
        {(folder / "noext").string(), "拡張子 . の画像形式は処理できません"},
        {(folder / "gone.JPG").string(), "ファイル " + (folder / "gone.JPG").string() +
                                             " は開けません。 No such file or directory "},
    };
    // A name the table does not know is named in the refusal of bytes no format reads.
    std::ofstream(folder / "a.gif") << "GIF89a";
    std::ofstream(folder / "noext") << "text";
    for (const auto& [path, message] : cases) {
        try {
            LoadImageFile(path);
            ADD_FAILURE() << path;
        } catch (const ImageIoError& e) {
            EXPECT_EQ(e.Text(), message);
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
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

// Takes `room` bytes, then throws.
class ThrowingStream : public MemoryStream {
  public:
    explicit ThrowingStream(std::size_t room) : room_(room) {}
    std::size_t Write(const void* buffer, std::size_t count) override {
        if (Size() + count > room_)
            throw std::runtime_error("sink failed");
        return MemoryStream::Write(buffer, count);
    }

  private:
    std::size_t room_;
};

TEST(PngWriter, FailuresComeBackAsTheWriteErrorOutsideLibpng) {
    for (std::size_t room : {0, 100}) {
        ThrowingStream sink(room);
        EXPECT_EQ(errorOf([&] { WritePng(gradient(64, 64), sink); }),
                  "ストリームへの書き込みエラー");
    }
    // libpng refuses a width past its limit; it must not print on the caller's standard error.
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(EncodePng(WorkingBitmap(1000001, 1)), ImageIoError);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace zelqor
