// Files that lie about themselves: padded far past their picture, cut short, corrupt, or with a
// colour profile that would cost minutes; each loads at the cost of its picture, or is refused,
// and the user hears of it.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "FormatFiles.h"
#include "IccProfile.h"
#include "ImageFile.h"
#include "ImageIoError.h"
#include "ImageWriters.h"
#include "JpegCodec.h"
#include "OrientedFiles.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;

WorkingBitmap Noise(int width, int height) {
    WorkingBitmap b(width, height);
    std::mt19937 rng(5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y, rng() | 0xFF000000u);
    return b;
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool HasNotice(const std::vector<std::string>& notices, const std::string& start) {
    return std::any_of(notices.begin(), notices.end(),
                       [&](const std::string& n) { return n.rfind(start, 0) == 0; });
}

// Each file lies about its size; sparse padding costs no disk. Loading costs its picture, not
// the gigabyte, and says what was left unread.
TEST(DamagedFiles, PaddedFilesCostTheirPictureNotTheirSize) {
    TempFolder folder;
    const WorkingBitmap picture = Noise(96, 64);
    const Bytes jpeg = EncodeJpeg(picture, 90);
    Bytes inside(jpeg.begin(), jpeg.end() - 2);  // zeros inside the scan, before EOI
    inside.resize(inside.size() + (std::size_t{16} << 20));
    inside.insert(inside.end(), {0xFF, 0xD9});
    const struct {
        const char* name;
        Bytes bytes;
        std::uintmax_t padTo;
        const char* notice;
    } kCases[] = {
        {"after-eoi.jpg", jpeg, std::uintmax_t{1} << 30, "the file holds 1024 MB after"},
        {"after-iend.png", EncodePng(picture), std::uintmax_t{1} << 30,
         "the file holds 1024 MB after"},
        {"inside-scan.jpg", inside, 0, "the file holds more than its picture can need"},
    };
    for (const auto& c : kCases) {
        const fs::path path = folder / c.name;
        oriented::Write(path, c.bytes);
        if (c.padTo)
            fs::resize_file(path, c.padTo);
        const long before = PeakKilobytes();
        const LoadedImage loaded = LoadImageFile(path.string());
        EXPECT_LT(PeakKilobytes() - before, 32 * 1024) << c.name;  // kilobytes
        EXPECT_EQ(loaded.bitmap.Width(), 96) << c.name;
        EXPECT_TRUE(HasNotice(loaded.notices, c.notice)) << c.name;
        fs::remove(path);
    }
}

// A PNG of 69 bytes whose header declares 16384 x 16384 pixels (1 GiB of pixels), and one whose
// chunk declares a gigabyte.
TEST(DamagedFiles, TinyPngDeclaringAHugePictureOrChunkIsRefusedBeforeItsMemory) {
    TempFolder folder;
    Bytes png = EncodePng(WorkingBitmap(1, 1));
    ASSERT_EQ(png.size(), 69u);
    for (const int at : {16, 20})  // IHDR's width, then its height: 0x4000, and its checksum
        png[at + 2] = 0x40, png[at + 3] = 0;
    const auto crc = static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    oriented::Write(folder / "huge.png", png);
    const long before = PeakKilobytes();
    try {
        LoadImageFile((folder / "huge.png").string());
        ADD_FAILURE() << "loaded";
    } catch (const ImageIoError& e) {
        EXPECT_EQ(e.Text(), kInvalidPngText);
        EXPECT_NE(e.Reason().find("far too small"), std::string::npos) << e.what();
    }
    // An ancillary chunk after IHDR declaring 1 GiB of data that is not there.
    png = EncodePng(WorkingBitmap(1, 1));
    png.insert(png.begin() + 33, {0x40, 0, 0, 0, 's', 'P', 'L', 'T'});
    oriented::Write(folder / "huge-chunk.png", png);
    EXPECT_THROW(LoadImageFile((folder / "huge-chunk.png").string()), ImageIoError);
    EXPECT_LT(PeakKilobytes() - before, 32 * 1024);
}

// A PNG missing only IEND is whole; one cut inside its pixel data keeps the rows it has and
// greys the rest; one cut before its first row is refused.
TEST(DamagedFiles, ShortPngs) {
    TempFolder folder;
    const WorkingBitmap picture = Noise(64, 64);
    const Bytes png = EncodePng(picture);
    const struct {
        const char* what;
        std::size_t keep;
        bool loads;
        bool endedEarly;
    } kCases[] = {
        {"without IEND", png.size() - 12, true, false},
        {"without the last checksums", png.size() - 16, true, false},
        {"cut halfway", png.size() / 2, true, true},
        {"cut in its first row", 33 + 8 + 100, false, false},
    };
    for (const auto& c : kCases) {
        const fs::path path = folder / "short.png";
        oriented::Write(path, Bytes(png.begin(), png.begin() + static_cast<long>(c.keep)));
        if (!c.loads) {
            EXPECT_THROW(LoadImageFile(path.string()), ImageIoError) << c.what;
            continue;
        }
        const LoadedImage loaded = LoadImageFile(path.string());
        EXPECT_EQ(HasNotice(loaded.notices, kEndedEarlyNotice), c.endedEarly) << c.what;
        EXPECT_EQ(loaded.bitmap.Pixel(7, 0), picture.Pixel(7, 0)) << c.what;
        EXPECT_EQ(loaded.bitmap.Pixel(7, 63), c.endedEarly ? 0xFF808080u : picture.Pixel(7, 63))
            << c.what;
    }
}

// `picture` as an interlaced RGB PNG whose pixel data is stored, not compressed, so that a byte
// offset into the data names the pass it falls in.
Bytes StoredInterlacedPng(WorkingBitmap picture) {
    std::vector<png_bytep> rows;
    for (int y = 0; y < picture.Height(); ++y)
        rows.push_back(picture.Row(y));
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, picture.Width(), picture.Height(), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_ADAM7, 0, 0);
    png_set_compression_level(png, 0);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// An interlaced PNG cut in its first pass keeps the rows that pass reached, each pixel filling
// its 8 x 8 block, and greys the rest; cut in its last pass it is whole but for the odd rows
// that pass had still to give, which repeat the row above.
TEST(DamagedFiles, ShortInterlacedPngs) {
    TempFolder folder;
    const int side = 512;  // the first pass alone spans several of the reader's pieces
    const WorkingBitmap picture = Noise(side, side);
    const Bytes png = StoredInterlacedPng(picture);
    const auto idat = static_cast<std::size_t>(
        std::search(png.begin(), png.end(), std::begin("IDAT"), std::end("IDAT") - 1) -
        png.begin());
    // File offset of a byte of the stored data: zlib's and each block's headers, chunk framing.
    const auto at = [&](std::size_t i) {
        return idat + 11 + i + 12 * (i / 8192) + 5 * (i / 65530);
    };
    const std::size_t lastPass = 393920;  // rows of 1 + 3 x 512 bytes from here on
    enum class Kept { FirstPassTop, AllButLastPassBottom, All };
    const struct {
        const char* what;
        std::size_t keep;
        Kept kept;
    } kCases[] = {
        {"cut in the first pass", at(10000), Kept::FirstPassTop},
        {"cut in the last pass", at(lastPass + 100000), Kept::AllButLastPassBottom},
        {"without the last checksums", png.size() - 16, Kept::All},
        {"without IEND", png.size() - 12, Kept::All},
    };
    for (const auto& c : kCases) {
        const fs::path path = folder / "interlaced.png";
        oriented::Write(path, Bytes(png.begin(), png.begin() + static_cast<long>(c.keep)));
        const LoadedImage loaded = LoadImageFile(path.string());
        const WorkingBitmap& b = loaded.bitmap;
        ASSERT_EQ(b.Width(), side) << c.what;
        EXPECT_EQ(HasNotice(loaded.notices, kEndedEarlyNotice), c.kept != Kept::All) << c.what;
        int wrong = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                std::uint32_t want = picture.Pixel(x, y);
                if (c.kept == Kept::FirstPassTop)  // 42 rows of the first pass are complete
                    want = y < 42 * 8 ? picture.Pixel(x & ~7, y & ~7) : 0xFF808080u;
                // The last pass's rows are 1 + 3 x 512 bytes: the cut falls in its 66th row,
                // and up to a piece of the reader before it is lost.
                if (c.kept == Kept::AllButLastPassBottom && y % 2 == 1 && y > 2 * 60) {
                    if (y <= 2 * 66)
                        continue;
                    want = picture.Pixel(x, y - 1);
                }
                wrong += b.Pixel(x, y) != want;
            }
        }
        EXPECT_EQ(wrong, 0) << c.what;
    }
}

// libjpeg's corrupt-data warnings reach the user, the library's words included.
TEST(DamagedFiles, CorruptJpegDataGivesANotice) {
    TempFolder folder;
    const Bytes whole = EncodeJpeg(Noise(64, 48), 90);
    Bytes declaresMore = whole;  // the frame header says 640 x 480: most data is missing
    for (std::size_t i = 2; i + 8 < declaresMore.size(); ++i) {
        if (declaresMore[i] == 0xFF && declaresMore[i + 1] == 0xC0) {
            declaresMore[i + 5] = 480 >> 8, declaresMore[i + 6] = 480 & 0xFF;
            declaresMore[i + 7] = 640 >> 8, declaresMore[i + 8] = 640 & 0xFF;
            break;
        }
    }
    Bytes badCode = whole;  // all ones in the middle of the data: no Huffman table has that code
    for (std::size_t i = badCode.size() / 2; i < badCode.size() / 2 + 16; i += 2)
        badCode[i] = 0xFF, badCode[i + 1] = 0x00;
    const struct {
        const char* what;
        Bytes bytes;
        std::string notice;
    } kCases[] = {
        {"whole", whole, ""},
        {"cut", Bytes(whole.begin(), whole.end() - 200), kEndedEarlyNotice},
        {"declares more than it holds", declaresMore,
         DamagedDataNotice("Corrupt JPEG data: premature end of data segment")},
        {"a bad code", badCode, DamagedDataNotice("Corrupt JPEG data: bad Huffman code")},
    };
    for (const auto& c : kCases) {
        oriented::Write(folder / "file.jpg", c.bytes);
        const LoadedImage loaded = LoadImageFile((folder / "file.jpg").string());
        if (c.notice.empty()) {
            EXPECT_TRUE(loaded.notices.empty()) << c.what;
        } else {
            ASSERT_EQ(loaded.notices.size(), 1u) << c.what;
            EXPECT_EQ(loaded.notices[0].rfind(c.notice, 0), 0u) << c.what << loaded.notices[0];
        }
    }
}

TEST(DamagedFiles, EveryJpegExtensionLoadsAndDrops) {
    TempFolder folder;
    const Bytes jpeg = EncodeJpeg(Noise(16, 8), 90);
    for (const char* name : {"a.jpg", "a.JPEG", "a.jpe", "a.jfif", "a.JIF"}) {
        oriented::Write(folder / name, jpeg);
        EXPECT_EQ(LoadImageFile((folder / name).string()).bitmap.Width(), 16) << name;
        EXPECT_TRUE(IsJpegExtension(FileExtension(name))) << name;
    }
    for (const char* ext : {"jpgx", "jf", "png", ""})
        EXPECT_FALSE(IsJpegExtension(ext)) << ext;
}

// A CMYK profile whose floating-point pipeline has `stages` stages after the first, each doing
// nothing; LittleCMS prefers such a pipeline to the 8-bit one.
Bytes CmykProfileWithStages(int stages) {
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigXYZData);
    cmsSetProfileVersion(profile, 4.3);
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    const cmsFloat64Number toXyz[12] = {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1};
    cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocMatrix(nullptr, 3, 4, toXyz, nullptr));
    const cmsFloat64Number identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < stages; ++i)
        cmsPipelineInsertStage(lut, cmsAT_END,
                               cmsStageAllocMatrix(nullptr, 3, 3, identity, nullptr));
    cmsWriteTag(profile, cmsSigDToB0Tag, lut);
    cmsPipelineFree(lut);
    return SavedProfile(profile);
}

Bytes CmykJpeg(const Bytes& profile) {
    // Our encoder writes RGB only; libjpeg turns the CMYK test picture round through this.
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = 64, cinfo.image_height = 48, cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (!profile.empty())
        jpeg_write_icc_profile(&cinfo, profile.data(), static_cast<unsigned>(profile.size()));
    std::vector<JSAMPLE> row(64 * 4);
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = static_cast<JSAMPLE>(i * 7);
    for (JSAMPROW rows[1] = {row.data()}; cinfo.next_scanline < 48;)
        jpeg_write_scanlines(&cinfo, rows, 1);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

TEST(ColourProfileCost, JudgedBeforeATransformIsBuilt) {
    Bytes tooLarge = CmykProfileWithStages(2);
    tooLarge.resize(kMostIccProfileBytes + 1);
    const struct {
        const char* what;
        Bytes profile;
        IccProfileCost cost;
    } kCases[] = {
        {"a handful of stages", CmykProfileWithStages(4), IccProfileCost::Bounded},
        {"as many as real ones take", CmykProfileWithStages(kMostIccPipelineStages - 1),
         IccProfileCost::Bounded},
        {"ten thousand stages", CmykProfileWithStages(10000), IccProfileCost::TooManyStages},
        {"more bytes than any real one", tooLarge, IccProfileCost::TooLarge},
        {"no profile at all", Bytes(300, 7), IccProfileCost::Unreadable},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(JudgeIccProfileCost(c.profile), c.cost) << c.what;
}

// The 10 000-stage profile took 13 s to build a transform from; set aside, the picture
// converts as one without a profile, and the user hears why its profile was not used.
TEST(ColourProfileCost, CostlyProfileIsSetAsideWithANotice) {
    TempFolder folder;
    oriented::Write(folder / "plain.jpg", CmykJpeg({}));
    const LoadedImage plain = LoadImageFile((folder / "plain.jpg").string());
    for (const int stages : {4, 10000}) {
        oriented::Write(folder / "cmyk.jpg", CmykJpeg(CmykProfileWithStages(stages)));
        const LoadedImage loaded = LoadImageFile((folder / "cmyk.jpg").string());
        const bool setAside = stages > 100;
        EXPECT_EQ(HasNotice(loaded.notices, kProfileSetAsideNotice), setAside) << stages;
        EXPECT_EQ(loaded.bitmap == plain.bitmap, setAside) << stages;
    }
}

}  // namespace
}  // namespace zelqor
