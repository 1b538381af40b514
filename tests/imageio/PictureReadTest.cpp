// Reading picture files without a copy of the whole file, and refusals that say why.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "BmpReader.h"
#include "ImageFile.h"
#include "ImageIoError.h"
#include "ImageWriters.h"
#include "OrientedFiles.h"
#include "PictureFormats.h"
#include "Stream.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kBmpFolder = fs::path(ZELQOR_TESTDATA_DIR) / "bmp";

// The picture, or the error text when decoding refuses it.
struct Outcome {
    std::optional<WorkingBitmap> picture;
    std::string error;
};

template <typename Decode>
Outcome Attempt(Decode decode) {
    try {
        return {decode(), ""};
    } catch (const ImageIoError& e) {
        return {std::nullopt, e.what()};
    }
}

WorkingBitmap Random(int width, int height, unsigned seed) {
    WorkingBitmap b(width, height);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            b.SetPixel(x, y, rng() | 0xFF000000u);
        }
    }
    return b;
}

// A stream that claims more bytes than it holds, as a file cut short while it is read.
class ShrunkStream : public MemoryStream {
  public:
    ShrunkStream(std::vector<std::uint8_t> bytes, std::int64_t claimed)
        : MemoryStream(std::move(bytes)), claimed_(claimed) {}
    std::int64_t Size() override { return claimed_; }

  private:
    std::int64_t claimed_;
};

TEST(PictureRead, StreamedBitmapsDecodeAsFromMemoryAcrossTheSuite) {
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kBmpFolder)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".bmp") {
            continue;
        }
        ++files;
        const Bytes bytes = ReadWholeFile(entry.path().string());
        const Outcome memory = Attempt([&] { return DecodeBmp(bytes); });
        MemoryStream stream(bytes);
        const Outcome streamed = Attempt([&] { return DecodeBmp(stream); });
        ASSERT_EQ(memory.error, streamed.error) << entry.path();
        if (memory.picture) {
            EXPECT_TRUE(*memory.picture == *streamed.picture) << entry.path();
        }
    }
    EXPECT_GT(files, 50);
}

TEST(PictureRead, LargeBitmapsSpanManyBlocksInBothRowOrders) {
    // Odd width: every row carries padding. Tall enough for several blocks of rows.
    const WorkingBitmap picture = Random(1001, 1300, 5);
    Bytes bottomUp = EncodeBmp(picture);
    ASSERT_GT(bottomUp.size(), 3u << 20);
    MemoryStream stream(bottomUp);
    EXPECT_TRUE(DecodeBmp(stream) == picture);

    // The same rows stored top-down: negative height, rows in reverse file order.
    Bytes topDown = bottomUp;
    const std::int32_t height = -picture.Height();
    for (int i = 0; i < 4; ++i) {
        topDown[22 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(height) >> (8 * i));
    }
    const std::size_t stride = (1001 * 3 + 3) / 4 * 4;
    for (int row = 0; row < picture.Height(); ++row) {
        std::copy_n(bottomUp.begin() + 54 + static_cast<std::ptrdiff_t>(stride) * row, stride,
                    topDown.begin() + 54 +
                        static_cast<std::ptrdiff_t>(stride) * (picture.Height() - 1 - row));
    }
    MemoryStream topDownStream(topDown);
    EXPECT_TRUE(DecodeBmp(topDownStream) == picture);
    EXPECT_TRUE(DecodeBmp(topDown) == picture);
}

TEST(PictureRead, ShortBitmapsAreRefused) {
    const Bytes whole = EncodeBmp(Random(700, 200, 6));
    // Short by its size field alone: refused as an invalid bitmap, whichever way it is read.
    const Bytes cut(whole.begin(), whole.end() - 5);
    MemoryStream stream(cut);
    const Outcome streamed = Attempt([&] { return DecodeBmp(stream); });
    EXPECT_FALSE(streamed.picture);
    EXPECT_EQ(streamed.error, Attempt([&] { return DecodeBmp(cut); }).error);
    // A file that ends before the size it reported fails as a read, not with garbage rows.
    ShrunkStream shrunk(cut, static_cast<std::int64_t>(whole.size()));
    const Outcome failed = Attempt([&] { return DecodeBmp(shrunk); });
    EXPECT_FALSE(failed.picture);
    EXPECT_FALSE(failed.error.empty());
}

class PictureFileTest : public ::testing::Test {
  protected:
    fs::path Write(const std::string& name, const Bytes& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    TempFolder folder_;
    const fs::path dir_ = folder_.Path();
};

TEST_F(PictureFileTest, WholeFilesReadExactlyWhateverTheirSize) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536},
                                   std::size_t{65537}, std::size_t{3} << 20}) {
        Bytes bytes(size);
        std::mt19937 rng(static_cast<unsigned>(size));
        for (auto& b : bytes) {
            b = static_cast<std::uint8_t>(rng());
        }
        EXPECT_EQ(ReadWholeFile(Write(std::to_string(size) + ".bin", bytes).string()), bytes)
            << size;
    }
}

TEST_F(PictureFileTest, BitmapFilesKeepNoBytesAndLoadTheSamePicture) {
    const WorkingBitmap picture = Random(333, 250, 7);
    const fs::path path = Write("p.bmp", EncodeBmp(picture));
    PictureFile file = ReadPictureFile(path.string());
    EXPECT_TRUE(file.bytes.empty());
    EXPECT_EQ(file.width, 333);
    EXPECT_EQ(file.height, 250);
    EXPECT_TRUE(DecodePicture(file) == picture);
    const LoadedImage loaded = LoadImageFile(path.string());
    EXPECT_TRUE(loaded.bitmap == picture);
    EXPECT_TRUE(loaded.exifSegmentBuffer.empty());
    EXPECT_FALSE(loaded.exifError);
}

TEST(LoadErrors, OurTextThenTheFileThenTheDecodersReason) {
    TempFolder folder;
    const Bytes text{'h', 'e', 'l', 'l', 'o'};
    // 60 bytes of a 24-bit bitmap declaring 16384 x 16384 pixels.
    Bytes rows{'B', 'M', 60, 0, 0,    0, 0, 0, 0,    0, 54, 0, 0, 0, 40,
               0,   0,   0,  0, 0x40, 0, 0, 0, 0x40, 0, 0,  1, 0, 24};
    rows.resize(60);
    const std::tuple<const char*, Bytes, std::string> cases[] = {
        // Bytes decide: a name that promises a format the bytes are not gets no decoder.
        {"text.jpg", text, "画像形式を判別できません: %\nit starts with 0x68 0x65 0x6c 0x6c; #"},
        {"empty.jpg", {}, "画像形式を判別できません: %\nthe file is empty; #"},
        {"text.png", text, "画像形式を判別できません: %\nit starts with 0x68 0x65 0x6c 0x6c; #"},
        {"rows.bmp", rows,
         "ビットマップイメージが不正です: %\nThe file is shorter than the rows its header "
         "declares"},
        {"text.gif", text,
         "拡張子 .gif の画像形式は処理できません: %\nit starts with 0x68 0x65 0x6c 0x6c; #"},
    };
    for (const auto& [name, bytes, message] : cases) {
        const fs::path path = folder / name;
        oriented::Write(path, bytes);
        std::string expected = message;
        expected.replace(expected.find('%'), 1, path.string());
        if (const auto list = expected.find('#'); list != std::string::npos)
            expected.replace(list, 1, "pictures read: " + ReadableFormatNames());
        try {
            LoadImageFile(path.string());
            ADD_FAILURE() << name;
        } catch (const ImageIoError& e) {
            EXPECT_EQ(e.what(), expected);
        }
    }
}

TEST(LoadErrors, HugeFileNamedJpegThatIsNoJpegIsNotReadWhole) {
    TempFolder folder;
    oriented::Write(folder / "huge.jpg", {'j', 'u', 'n', 'k'});
    fs::resize_file(folder / "huge.jpg", std::uintmax_t{1} << 30);  // sparse: costs no disk
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_THROW(ReadPictureFile((folder / "huge.jpg").string()), ImageIoError);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);  // kilobytes
}

TEST(ReadWholeFile, TakesOneBufferOfTheFilesSize) {
    TempFolder folder;
    for (const std::size_t size : {0, 1, 65536, 65537, 3 << 20}) {
        oriented::Write(folder / "file.bin", Bytes(size, 7));
        const Bytes read = ReadWholeFile((folder / "file.bin").string());
        EXPECT_EQ(read.size(), size);
        EXPECT_EQ(read.capacity(), size);
    }
}

}  // namespace
}  // namespace zelqor
