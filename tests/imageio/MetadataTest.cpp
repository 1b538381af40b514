// Tests that a save keeps each APP1 payload in its own segment and order, and the ICC profile.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <numeric>

#include "../engine/TestImages.h"
#include "ImageFile.h"
#include "ImageIoError.h"
#include "JpegCodec.h"
#include "JpegInspect.h"

namespace zelqor {
namespace {

using Bytes = std::vector<std::uint8_t>;
const std::filesystem::path kExifFolder = std::filesystem::path(ZELQOR_TESTDATA_DIR) / "jpeg/exif";

TEST(SaveMetadata, PayloadsAndProfileSurviveEachExifItem) {
    struct Case {
        const char* file;
        ExifTreatment item;
        std::size_t app1Count;  // in the source, which the save must keep
        std::size_t exifIndex;  // which of them is the Exif block
        std::size_t iccCount;
    };
    const Case cases[] = {
        {"xmp_no_exif.jpg", ExifTreatment::Copy, 2, 1, 1},
        {"xmp_no_exif.jpg", ExifTreatment::FixSize, 2, 1, 1},
        {"Nikon_D70.jpg", ExifTreatment::Copy, 2, 0, 1},
        {"Nikon_D70.jpg", ExifTreatment::FixSize, 2, 0, 1},
        {"exiv2-Reagan.jpg", ExifTreatment::None, 2, 0, 1},
        {"exiv2-Reagan.jpg", ExifTreatment::Copy, 2, 0, 1},
        {"exiv2-Reagan.jpg", ExifTreatment::FixSize, 2, 0, 1},
        {"exiv2-bug922.jpg", ExifTreatment::FixSize, 28, 0, 0},
    };
    const WorkingBitmap picture = test_images::Noise(120, 80, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " item " + std::to_string(static_cast<int>(c.item)));
        const std::string path = (kExifFolder / c.file).string();
        const Bytes file = ReadWholeFile(path);
        const auto source = app1Payloads(file);
        ASSERT_EQ(source.size(), c.app1Count);
        ASSERT_EQ(iccChunks(file).size(), c.iccCount);
        const Bytes saved =
            BuildJpegFile(picture, 80, LoadImageFile(path).exifSegmentBuffer, c.item);
        if (c.item == ExifTreatment::None) {
            // No Exif, the encoder's JFIF header first; the RGB profile describes the pixels and
            // goes with them.
            EXPECT_TRUE(app1Payloads(saved).empty());
            EXPECT_EQ(markersBeforeScan(saved).front(), kMarkerApp0);
            EXPECT_EQ(iccChunks(saved), iccChunks(file));
            continue;
        }
        // SOI, every APP1, every ICC chunk, then the encoder's segments without its APP0.
        Bytes head(c.app1Count, kMarkerApp1);
        head.insert(head.end(), c.iccCount, kMarkerApp2);
        const Bytes markers = markersBeforeScan(saved);
        ASSERT_GT(markers.size(), head.size());
        EXPECT_EQ(Bytes(markers.begin(), markers.begin() + head.size()), head);
        EXPECT_EQ(std::count(markers.begin(), markers.end(), kMarkerApp0), 0);
        EXPECT_EQ(iccChunks(saved), iccChunks(file));
        const auto written = app1Payloads(saved);
        ASSERT_EQ(written.size(), source.size());
        for (std::size_t i = 0; i < source.size(); ++i) {
            if (c.item != ExifTreatment::FixSize || i != c.exifIndex) {
                EXPECT_EQ(written[i], source[i]) << i;
                continue;
            }
            EXPECT_EQ(pixelDimensions(written[i]), std::make_pair(120u, 80u));
            ASSERT_EQ(written[i].size(), source[i].size());
            // Only the value fields of the size tags change: four of them, four bytes each.
            EXPECT_LE(std::inner_product(written[i].begin(), written[i].end(), source[i].begin(), 0,
                                         std::plus<>(), std::not_equal_to<>()),
                      16);
        }
    }
}

TEST(SaveMetadata, LongPayloadIsSplitAndFixSizeWithoutExifPatchesNothing) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> pieces;  // the APP1 payload sizes written for it
    };
    const Case cases[] = {{65533, {65533}}, {65534, {65533, 1}}, {140000, {65533, 65533, 8934}}};
    for (const Case& c : cases) {
        Bytes xmp(c.size);
        for (std::size_t i = 0; i < xmp.size(); ++i)
            xmp[i] = static_cast<std::uint8_t>(i * 13 + 1);
        const Bytes tail{'h', 't', 't', 'p', 2};
        for (ExifTreatment item : {ExifTreatment::Copy, ExifTreatment::FixSize}) {
            SCOPED_TRACE(std::to_string(c.size) + " item " +
                         std::to_string(static_cast<int>(item)));
            const auto written = app1Payloads(
                BuildJpegFile(test_images::Noise(9, 7, 1), 80, metadataOf({xmp, tail}), item));
            ASSERT_EQ(written.size(), c.pieces.size() + 1);
            Bytes joined;
            for (std::size_t i = 0; i < c.pieces.size(); ++i) {
                EXPECT_EQ(written[i].size(), c.pieces[i]);
                joined.insert(joined.end(), written[i].begin(), written[i].end());
            }
            EXPECT_EQ(joined, xmp);
            EXPECT_EQ(written.back(), tail) << "the next payload keeps a segment of its own";
        }
    }
}

TEST(CollectExif, KeepsWhatPrecedesACutSegment) {
    // xmp_no_exif.jpg: XMP at bytes 20-26585, Exif to 31513, the ICC chunk 31714-34875.
    const Bytes file = ReadWholeFile((kExifFolder / "xmp_no_exif.jpg").string());
    struct Case {
        std::size_t cut;
        std::size_t app1Count;
        std::size_t iccCount;
        bool error;
    };
    const Case cases[] = {{file.size(), 2, 1, false}, {20000, 0, 0, true}, {33000, 2, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cut);
        std::optional<std::string> error;
        const MetadataBlock block = CollectExif(Bytes(file.begin(), file.begin() + c.cut), error);
        EXPECT_EQ(block.app1.Count(), c.app1Count);
        EXPECT_EQ(block.icc.Count(), c.iccCount);
        EXPECT_EQ(error.has_value(), c.error);
    }
}

}  // namespace
}  // namespace zelqor
