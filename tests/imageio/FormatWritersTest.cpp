// Tests of the TIFF, WebP and PNG writers: pixels and metadata as other programs read them.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <functional>

#include "FormatFiles.h"
#include "ImageIoError.h"
#include "ImageWriters.h"
#include "JpegSegment.h"
#include "MemExif.h"
#include "PngReader.h"
#include "TempFolder.h"
#include "TiffDirectories.h"
#include "TiffWriter.h"
#include "WebpWriter.h"

namespace zelqor {
namespace {

// The Exif block (TIFF bytes) of a camera JPEG from the shared test data.
Bytes cameraExif(const std::string& name) {
    const Bytes jpeg = ReadBytes(std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/" + name);
    ByteViewStream in(jpeg);
    SegmentPayloads app1;
    ReadJpegPayloadsFromStream(app1, in, kMarkerApp1);
    for (std::size_t i = 0; i < app1.Count(); ++i) {
        const auto payload = app1.Payload(i);
        if (IsExifPayload(payload))
            return {payload.begin() + 6, payload.end()};
    }
    return {};
}

std::string exiftool(const std::string& tags, const std::filesystem::path& file) {
    std::string out = ToolOutput("exiftool -s -s -s " + tags + " " + file.string());
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

struct Writer {
    const char* name;
    std::function<void(const WorkingBitmap&, const MetadataPieces&, Stream&)> write;
    std::function<WorkingBitmap(const std::filesystem::path& file,
                                const std::filesystem::path& dir)>
        reference;   // the format's own decoder
    int tolerance;   // the largest difference of a channel
    int meanTenths;  // and of their mean, in tenths
};

std::vector<Writer> writers() {
    const auto png = [](const std::filesystem::path& file) {
        const Bytes b = ReadBytes(file);
        std::vector<std::uint8_t> icc;
        return DecodePng(b.data(), b.size(), icc);
    };
    const auto dwebp = [png](auto& file, auto& dir) {
        EXPECT_TRUE(RunTool("dwebp " + file.string() + " -o " + (dir / "ref.png").string()));
        return png(dir / "ref.png");
    };
    const auto tiff2rgba = [](auto& file, auto& dir) {
        EXPECT_TRUE(RunTool("tiff2rgba " + file.string() + " " + (dir / "ref.tif").string()));
        return ReadTiffReference(dir / "ref.tif");
    };
    return {
        {"tif", [](auto& b, auto& m, Stream& s) { WriteTiff(b, m, s); }, tiff2rgba, 0, 0},
        {"webp", [](auto& b, auto& m, Stream& s) { WriteWebp(b, 100, m, s); }, dwebp, 0, 0},
        // Lossy: the ramps come back close on the whole, the hard edge rings.
        {"webp", [](auto& b, auto& m, Stream& s) { WriteWebp(b, 75, m, s); }, dwebp, 96, 40},
        {"png", [](auto& b, auto& m, Stream& s) { WritePng(b, m, s); },
         [png](auto& file, auto&) { return png(file); }, 0, 0},
    };
}

TEST(FormatWrite, PixelsAndMetadataReadBackByTheFormatsOwnTools) {
    const Bytes icc = SavedProfile(cmsCreate_sRGBProfile());
    const std::string xmpText =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
        "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
        "xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:title><rdf:Alt><rdf:li "
        "xml:lang='x-default'>Written back</rdf:li></rdf:Alt></dc:title></rdf:Description>"
        "</rdf:RDF></x:xmpmeta>";
    const Bytes xmp(xmpText.begin(), xmpText.end());
    const WorkingBitmap bitmap = TestBitmap(48, 20, false);
    // One camera in each byte order; the second has a GPS directory.
    const char* cameras[] = {"Konica_Minolta_DiMAGE_Z3.jpg", "gps_DSCN0010.jpg"};
    // Make is in IFD0, the exposure and lens data in the Exif directory, the latitude in GPS's.
    const std::string tags =
        "-Make -Model -ExposureTime -FNumber -ISO -DateTimeOriginal -GPSLatitude";
    for (const Writer& w : writers()) {
        for (const char* camera : cameras) {
            SCOPED_TRACE(std::string(w.name) + " " + camera);
            const TempFolder dir;
            const Bytes exif = cameraExif(camera);
            ASSERT_FALSE(exif.empty());
            const auto file = dir / (std::string("out.") + w.name);
            MemoryStream out;
            w.write(bitmap, MetadataPieces{exif, xmp, icc}, out);
            WriteBytes(file, out.Bytes());

            const WorkingBitmap decoded = w.reference(file, dir.Path());
            const Differences differences = ChannelDifferences(decoded, bitmap);
            EXPECT_LE(differences.max, w.tolerance);
            EXPECT_LE(differences.meanTenths, w.meanTenths);
            const std::string source =
                exiftool(tags, std::string(ZELQOR_TESTDATA_DIR) + "/jpeg/exif/" + camera);
            EXPECT_GE(std::count(source.begin(), source.end(), '\n'), 4);
            EXPECT_EQ(exiftool(tags, file), source);
            EXPECT_EQ(exiftool("-XMP-dc:Title", file), "Written back");
            EXPECT_EQ(exiftool("-ICC_Profile:ProfileDescription", file), "sRGB built-in");
        }
    }
}

TEST(FormatWrite, NothingToWriteIsAWriteError) {
    const WorkingBitmap empty;
    MemoryStream out;
    EXPECT_THROW(WriteTiff(empty, {}, out), ImageIoError);
    EXPECT_THROW(WriteWebp(empty, 80, {}, out), ImageIoError);
    EXPECT_THROW(WritePng(empty, {}, out), ImageIoError);
    // WebP cannot hold a side over 16,383 pixels; the writer says so instead of writing junk.
    EXPECT_THROW(WriteWebp(WorkingBitmap(16384, 1), 80, {}, out), ImageIoError);
    EXPECT_EQ(out.Size(), 0);
}

}  // namespace
}  // namespace zelqor
