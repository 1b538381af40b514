// Tests that photos stored in any Exif orientation load upright and are saved tagged upright.
#include <gtest/gtest.h>

#include "ImageFile.h"
#include "JpegInspect.h"
#include "MemExif.h"
#include "OrientedFiles.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

TEST(Orientation, EveryStoredOrientationLoadsAsTheUprightPicture) {
    TempFolder folder;
    const oriented::Bytes upright = EncodeJpeg(oriented::Upright(), 95);
    for (const bool big : {false, true}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::to_string(big) + " " + std::to_string(orientation));
            const auto path = folder / "photo.jpg";
            oriented::Write(path, oriented::StoredAs(folder.Path(), upright, orientation,
                                                     oriented::ExifBlock(big, orientation, 0, 0)));
            const WorkingBitmap loaded = LoadImageFile(path.string()).bitmap;
            ASSERT_EQ(loaded.Width(), 64);
            // Blocks move exactly; only the inverse transform's rounding may differ.
            EXPECT_LE(oriented::LargestDifference(loaded, DecodeJpeg(upright)), 3);
        }
    }
}

TEST(Orientation, SavedExifSaysUprightUnlessThePixelsKeptTheirStoredOrder) {
    // Byte order, orientation (0: no tag), item, stored order kept, the saved orientation and
    // ImageWidth (48 as in the source, 64 once fixed).
    const std::tuple<bool, int, ExifTreatment, bool, int, int> cases[] = {
        {false, 6, ExifTreatment::Copy, false, 1, 48},
        {true, 6, ExifTreatment::Copy, false, 1, 48},
        {false, 8, ExifTreatment::FixSize, false, 1, 64},
        {true, 5, ExifTreatment::FixSize, false, 1, 64},
        {false, 0, ExifTreatment::Copy, false, 0, 48},
        {true, 0, ExifTreatment::FixSize, false, 0, 64},
        {true, 6, ExifTreatment::Copy, true, 6, 48},
        {false, 6, ExifTreatment::FixSize, true, 6, 64},
    };
    for (const auto& [big, orientation, item, storedOrder, tag, width] : cases) {
        SCOPED_TRACE(std::to_string(orientation) + " item " +
                     std::to_string(static_cast<int>(item)));
        MetadataBlock metadata = metadataOf({oriented::ExifBlock(big, orientation, 48, 64)});
        metadata.storedOrientation = storedOrder;
        const auto saved =
            app1Payloads(BuildJpegFile(oriented::Upright(), 90, metadata, item)).at(0);
        EXPECT_EQ(ReadExifOrientation(saved), tag);
        EXPECT_EQ(saved[big ? 27 : 24], width);  // its low byte
    }
}

}  // namespace
}  // namespace zelqor
