// The format table: every file is read as what its bytes are, whatever its name says.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "FormatFiles.h"
#include "ImageIoError.h"
#include "ImageWriters.h"
#include "JpegCodec.h"
#include "PictureFormats.h"
#include "TempFolder.h"
#include "TiffWriter.h"
#include "WebpWriter.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;

WorkingBitmap ramp(int w, int h) {
    WorkingBitmap b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, TestPixel(x, y, w, h, false));
    return b;
}

Bytes written(const std::function<void(Stream&)>& write) {
    MemoryStream out;
    write(out);
    return out.TakeBytes();
}

// One small file of every row, made by our writers or the format's own encoder.
std::vector<std::pair<PictureFormatId, Bytes>> sampleFiles(const fs::path& dir) {
    const WorkingBitmap picture = ramp(24, 16);
    WriteTestPng(dir / "source.png", 24, 16, false);
    const auto encoded = [&](const std::string& command, const char* name) {
        EXPECT_TRUE(RunTool(command)) << command;
        return ReadBytes(dir / name);
    };
    const std::string source = (dir / "source.png").string();
    return {
        {PictureFormatId::Jpeg, EncodeJpeg(picture, 90)},
        {PictureFormatId::Png, EncodePng(picture)},
        {PictureFormatId::Bmp, EncodeBmp(picture)},
        {PictureFormatId::Tiff, written([&](Stream& s) { WriteTiff(picture, {}, s); })},
        {PictureFormatId::Webp, written([&](Stream& s) { WriteWebp(picture, 80, {}, s); })},
        {PictureFormatId::Heif,
         encoded("heif-enc -q 90 -o " + (dir / "s.heic").string() + " " + source, "s.heic")},
        {PictureFormatId::Avif,
         encoded("heif-enc -A -q 90 -o " + (dir / "s.avif").string() + " " + source, "s.avif")},
        {PictureFormatId::Jxl,
         encoded("cjxl -q 90 " + source + " " + (dir / "s.jxl").string(), "s.jxl")},
    };
}

TEST(PictureFormats, EverySignaturePicksItsRowWhateverTheName) {
    const TempFolder dir;
    const auto samples = sampleFiles(dir.Path());
    ASSERT_EQ(samples.size(), PictureFormats().size());
    // A name of its own format, another format's (a PNG named .jpg) and one no row has.
    for (const auto& [id, bytes] : samples) {
        const PictureFormat& row = FormatById(id);
        ASSERT_FALSE(bytes.empty()) << row.name;
        const PictureFormat* byBytes = FormatOfBytes(bytes.data(), bytes.size());
        ASSERT_NE(byBytes, nullptr) << row.name;
        EXPECT_EQ(byBytes->id, id) << row.name;
        const std::string other = id == PictureFormatId::Jpeg ? "png" : "jpg";
        for (const std::string& ext :
             {std::string(row.extensions.front()), other, std::string("dat")}) {
            SCOPED_TRACE(std::string(row.name) + " as ." + ext);
            const fs::path path = dir / ("picture." + ext);
            WriteBytes(path, bytes);
            PictureFile file = ReadPictureFile(path.string());
            ASSERT_NE(file.format, nullptr);
            EXPECT_EQ(file.format->id, id);
            const LoadedImage loaded = LoadImageFile(path.string());
            EXPECT_EQ(loaded.bitmap.Width(), 24);
            EXPECT_EQ(loaded.bitmap.Height(), 16);
            // The lossy coders ring at the hard edge of so small a picture; another decoder's
            // idea of the bytes would be off by far more.
            EXPECT_LE(ChannelDifferences(loaded.bitmap, ramp(24, 16)).meanTenths, 80);
        }
    }
}

TEST(PictureFormats, BytesNoRowReadsAreRefusedNamingTheFileAndTheFormats) {
    const TempFolder dir;
    const std::pair<const char*, Bytes> cases[] = {
        {"gif.jpg", {'G', 'I', 'F', '8', '9', 'a'}},
        {"notes.txt", {'t', 'e', 'x', 't'}},
        {"empty.heic", {}},
        {"riff.webp", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const fs::path path = dir / name;
        WriteBytes(path, bytes);
        try {
            LoadImageFile(path.string());
            ADD_FAILURE() << "loaded";
        } catch (const ImageIoError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(path.string()), std::string::npos) << what;
            for (const PictureFormat& format : PictureFormats())
                EXPECT_NE(e.Reason().find(format.name), std::string::npos) << what;
        }
    }
}

TEST(PictureFormats, ExtensionsNameTheirRowWithoutRegardToCase) {
    const std::pair<const char*, std::optional<PictureFormatId>> cases[] = {
        {"jpg", PictureFormatId::Jpeg},  {"JPE", PictureFormatId::Jpeg},
        {"jfif", PictureFormatId::Jpeg}, {"Jif", PictureFormatId::Jpeg},
        {"HIF", PictureFormatId::Heif},  {"heic", PictureFormatId::Heif},
        {"avif", PictureFormatId::Avif}, {"TIF", PictureFormatId::Tiff},
        {"tiff", PictureFormatId::Tiff}, {"webp", PictureFormatId::Webp},
        {"jxl", PictureFormatId::Jxl},   {"BMP", PictureFormatId::Bmp},
        {"gif", std::nullopt},           {"", std::nullopt},
        {"jpgx", std::nullopt},
    };
    for (const auto& [ext, id] : cases) {
        const PictureFormat* row = FormatByExtension(ext);
        EXPECT_EQ(row ? std::optional(row->id) : std::nullopt, id) << ext;
        EXPECT_EQ(HasPictureExtension(std::string("a.") + ext), id.has_value()) << ext;
    }
    EXPECT_EQ(PictureFormats().front().id, PictureFormatId::Jpeg);
}

}  // namespace
}  // namespace zelqor
