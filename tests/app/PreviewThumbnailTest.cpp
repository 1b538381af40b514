// The open dialog's preview: the camera's thumbnail turned as its picture is, from the file's head.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <vector>

#include "ImageFile.h"
#include "JpegCodec.h"
#include "JpegSegment.h"
#include "Orientation.h"
#include "PreviewThumbnail.h"
#include "Stream.h"
#include "TempFolder.h"
#include "imageio/OrientedFiles.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Left half bright red, top half bright green: every turn and mirror shows.
WorkingBitmap Quadrants(int width, int height) {
    WorkingBitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y, MakePixel(x < width / 2 ? 255 : 0, y < height / 2 ? 255 : 0, 0, 0xFF));
    return b;
}

// The top-left pixel's colour, as red and green halves tell it.
std::pair<bool, bool> Corner(const WorkingBitmap& b, int x, int y) {
    const std::uint32_t p = b.Pixel(x, y);
    return {PixelR(p) > 128, PixelG(p) > 128};
}

constexpr std::array<std::uint8_t, 2> kSos{0xFF, 0xDA};

// A portrait photo stored landscape: its thumbnail is stored landscape too, and the preview
// shows both upright. The file holds no picture data: the thumbnail needs none of it.
TEST(PreviewThumbnailTest, CameraThumbnailTurnedAsThePictureIsFromTheHeadAlone) {
    TempFolder folder;
    const WorkingBitmap storedThumbnail = Quadrants(160, 120);
    for (const int orientation : {1, 2, 3, 6, 8}) {
        SCOPED_TRACE(orientation);
        MemoryStream source(EncodeJpeg(Quadrants(320, 240), 90)), dest;
        const Bytes exif =
            oriented::ExifWithThumbnail(orientation, EncodeJpeg(storedThumbnail, 95));
        InsertJpegSegment(dest, source, exif.data(), exif.size(), kMarkerApp1);
        Bytes file = dest.Bytes();
        // Cut just after the scan header: no picture data at all.
        const auto sos = std::search(file.begin() + 2 + static_cast<long>(exif.size()), file.end(),
                                     kSos.begin(), kSos.end());
        ASSERT_NE(sos, file.end());
        file.erase(sos + 2 + 12, file.end());
        const fs::path path = folder / "photo.jpg";
        oriented::Write(path, file);

        const auto thumb = MakePreviewThumbnail(path.string(), 156, 156);
        ASSERT_TRUE(thumb);
        const bool sideways = OrientationSwapsSides(orientation);
        EXPECT_EQ(thumb->width, sideways ? 240 : 320);
        EXPECT_EQ(thumb->picture.Width() > thumb->picture.Height(), !sideways);
        const WorkingBitmap want = TurnUpright(storedThumbnail, orientation);
        const WorkingBitmap& got = thumb->picture;
        for (const auto& [fx, fy] : {std::pair{0.1, 0.1}, {0.9, 0.1}, {0.1, 0.9}, {0.9, 0.9}}) {
            EXPECT_EQ(Corner(got, static_cast<int>(fx * got.Width()),
                             static_cast<int>(fy * got.Height())),
                      Corner(want, static_cast<int>(fx * want.Width()),
                             static_cast<int>(fy * want.Height())))
                << fx << "," << fy;
        }
    }
}

// Without a thumbnail the picture itself is decoded, upright, from the file as it is read.
TEST(PreviewThumbnailTest, WithoutThumbnailThePictureDecodesUpright) {
    TempFolder folder;
    const fs::path path = folder / "plain.jpg";
    oriented::Write(path, EncodeJpeg(Quadrants(640, 480), 90));
    const auto thumb = MakePreviewThumbnail(path.string(), 156, 156);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->width, 640);
    EXPECT_EQ(thumb->picture.Width(), 156);
    EXPECT_EQ(Corner(thumb->picture, 5, 5), std::make_pair(true, true));
    EXPECT_EQ(Corner(thumb->picture, 150, 110), std::make_pair(false, false));
}

}  // namespace
}  // namespace zelqor
