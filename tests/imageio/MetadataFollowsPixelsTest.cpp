// Metadata that describes the pixels goes with them: a profile under every Exif item, the XMP
// orientation and the Exif thumbnail turned with a picture turned upright, IPTC and comments
// under copy. Read back by our own parsers and by exiftool.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ExifThumbnail.h"
#include "FormatFiles.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "JpegInspect.h"
#include "MemExif.h"
#include "Orientation.h"
#include "OrientedFiles.h"
#include "TempFolder.h"
#include "XmpPacket.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;

// What exiftool prints for `tags` of `path`, one value a line, numbers as numbers.
std::string Exiftool(const std::string& tags, const fs::path& path) {
    return ToolOutput("exiftool -s -s -s -n " + tags + " '" + path.string() + "'");
}

// Not symmetric in any way, so every turn shows.
WorkingBitmap Corners(int width, int height) {
    WorkingBitmap b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y,
                       MakePixel(x < width / 2 ? 250 : 0, y < height / 2 ? 250 : 0, 40, 0xFF));
    return b;
}

Bytes Xmp(const std::string& orientationText) {
    const std::string packet =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "rdf:about=\"\" xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"" +
        orientationText + "</rdf:Description></rdf:RDF></x:xmpmeta>";
    // Sized first: GCC 12 takes an insert after the identifier for an overrun.
    Bytes b(kXmpIdentifier.size() + packet.size());
    std::copy(packet.begin(), packet.end(),
              std::copy(kXmpIdentifier.begin(), kXmpIdentifier.end(), b.begin()));
    return b;
}

// The Photoshop resource block of an IPTC caption, as APP13 carries it.
Bytes IptcCaption(const std::string& caption) {
    Bytes iim{0x1C, 2, 120, 0, static_cast<std::uint8_t>(caption.size())};
    iim.insert(iim.end(), caption.begin(), caption.end());
    // Resource 0x0404 with an empty name, then its size.
    const char head[] =
        "Photoshop 3.0\0"
        "8BIM\x04\x04\0\0\0\0\0";
    Bytes b(head, head + sizeof head - 1);
    b.push_back(static_cast<std::uint8_t>(iim.size()));
    b.insert(b.end(), iim.begin(), iim.end());
    if (iim.size() % 2)
        b.push_back(0);
    return b;
}

Bytes RgbProfile() {
    Bytes profile(300, 0);  // a save looks at the header's data colour space alone
    std::copy_n("RGB ", 4, profile.begin() + 16);
    return profile;
}

// A JPEG with `segments` after SOI, in place of the encoder's JFIF header.
Bytes JpegWith(const WorkingBitmap& picture, const std::vector<InsertedSegment>& segments) {
    MemoryStream source(EncodeJpeg(picture, 90)), dest;
    InsertJpegSegments(dest, source, segments);
    return dest.Bytes();
}

TEST(MetadataFollowsPixels, RgbProfileGoesUnderEveryExifItem) {
    TempFolder folder;
    const Bytes profile = RgbProfile();
    const MetadataBlock metadata = MetadataBlock::FromParts({}, {}, profile);
    const struct {
        ExifTreatment item;
        bool jfif;
    } kCases[] = {
        {ExifTreatment::None, true}, {ExifTreatment::Copy, false}, {ExifTreatment::FixSize, false}};
    for (const auto& c : kCases) {
        const Bytes saved = BuildJpegFile(WorkingBitmap(8, 8), 90, metadata, c.item);
        EXPECT_EQ(iccChunks(saved), std::vector<Bytes>{metadata.icc.bytes});
        EXPECT_EQ(markersBeforeScan(saved).front() == kMarkerApp0, c.jfif);
        oriented::Write(folder / "saved.jpg", saved);
        const LoadedImage loaded = LoadImageFile((folder / "saved.jpg").string());
        EXPECT_EQ(loaded.exifSegmentBuffer.IccProfile(), profile);
    }
}

// A camera photo stored sideways, with its thumbnail stored the same way and XMP repeating the
// orientation, is turned upright on load; the saved file says upright everywhere and its
// thumbnail shows the picture as the picture itself now stands.
TEST(MetadataFollowsPixels, OrientationAndThumbnailFollowAPictureTurnedUpright) {
    TempFolder folder;
    const WorkingBitmap stored = Corners(64, 48);
    const WorkingBitmap storedThumbnail = Corners(16, 12);
    const struct {
        int orientation;
        std::string xmp;
        bool thumbnailDecodes;
    } kCases[] = {
        {6, " tiff:Orientation=\"6\">", true},
        {8, "><tiff:Orientation>8</tiff:Orientation>", true},
        {3, " tiff:Orientation='3'>", true},
        {5, " tiff:Orientation=\"5\">", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.orientation);
        const Bytes thumbnail =
            c.thumbnailDecodes ? EncodeJpeg(storedThumbnail, 95) : Bytes(300, 0x55);
        const Bytes exif = oriented::ExifWithThumbnail(c.orientation, thumbnail);
        const Bytes xmp = Xmp(c.xmp);
        const fs::path source = folder / "stored.jpg", saved = folder / "saved.jpg";
        oriented::Write(source, JpegWith(stored, {{kMarkerApp1, exif}, {kMarkerApp1, xmp}}));
        ASSERT_EQ(Exiftool("-IFD0:Orientation -XMP-tiff:Orientation", source),
                  std::to_string(c.orientation) + "\n" + std::to_string(c.orientation) + "\n");
        const LoadedImage loaded = LoadImageFile(source.string());
        SaveJpegFile(saved.string(), loaded.bitmap, 90, loaded.exifSegmentBuffer,
                     ExifTreatment::Copy);

        const Bytes file = ReadWholeFile(saved.string());
        const auto payloads = app1Payloads(file);
        ASSERT_EQ(payloads.size(), 2u);
        EXPECT_EQ(ReadExifOrientation(payloads[0]), 1);
        EXPECT_EQ(ReadXmpOrientation(payloads[1]), 1);
        EXPECT_EQ(payloads[1].size(), xmp.size()) << "one digit patched in place";
        EXPECT_EQ(Exiftool("-IFD0:Orientation -XMP-tiff:Orientation", saved), "1\n1\n");
        const std::span<const std::uint8_t> turned = ExifThumbnailJpeg(payloads[0]);
        if (!c.thumbnailDecodes) {
            EXPECT_TRUE(turned.empty()) << "dropped";
            EXPECT_EQ(Exiftool("-ThumbnailImage", saved), "");
            continue;
        }
        const WorkingBitmap want = TurnUpright(DecodeJpeg(thumbnail), c.orientation);
        const WorkingBitmap got = DecodeJpeg(turned.data(), turned.size());
        ASSERT_EQ(got.Width(), want.Width());
        ASSERT_EQ(got.Height(), want.Height());
        EXPECT_LE(oriented::LargestDifference(got, want), 40);
        EXPECT_EQ(Exiftool("-ThumbnailLength", saved), std::to_string(turned.size()) + "\n");
    }
}

// Kept in the stored order, nothing is turned: the metadata goes as it came.
TEST(MetadataFollowsPixels, StoredOrientationKeepsXmpAndThumbnail) {
    const Bytes exif = oriented::ExifWithThumbnail(6, EncodeJpeg(Corners(16, 12), 95));
    const Bytes xmp = Xmp(" tiff:Orientation=\"6\">");
    MetadataBlock metadata;
    metadata.app1.Append(exif);
    metadata.app1.Append(xmp);
    metadata.storedOrientation = true;
    const Bytes saved = BuildJpegFile(Corners(48, 64), 90, metadata, ExifTreatment::Copy);
    EXPECT_EQ(app1Payloads(saved), (std::vector<Bytes>{exif, xmp}));
}

TEST(MetadataFollowsPixels, IptcAndCommentsGoWithCopyAndSizeFix) {
    TempFolder folder;
    const Bytes iptc = IptcCaption("Harbour at dawn");
    const std::string comment = "scanned by hand";
    const fs::path source = folder / "source.jpg";
    oriented::Write(
        source, JpegWith(Corners(32, 24), {{kMarkerApp1, oriented::ExifBlock(false, 0, 32, 24)},
                                           {kMarkerApp13, iptc},
                                           {kMarkerCom, Bytes(comment.begin(), comment.end())}}));
    ASSERT_EQ(Exiftool("-IPTC:Caption-Abstract -Comment", source),
              "Harbour at dawn\nscanned by hand\n");
    const LoadedImage loaded = LoadImageFile(source.string());
    for (const auto& [item, carried] : {std::pair{ExifTreatment::None, false},
                                        {ExifTreatment::Copy, true},
                                        {ExifTreatment::FixSize, true}}) {
        const fs::path saved = folder / "saved.jpg";
        SaveJpegFile(saved.string(), loaded.bitmap, 90, loaded.exifSegmentBuffer, item);
        EXPECT_EQ(Exiftool("-IPTC:Caption-Abstract -Comment", saved),
                  carried ? "Harbour at dawn\nscanned by hand\n" : "")
            << static_cast<int>(item);
        EXPECT_EQ(payloadsOf(ReadWholeFile(saved.string()), kMarkerApp13),
                  carried ? std::vector<Bytes>{iptc} : std::vector<Bytes>{});
    }
}

}  // namespace
}  // namespace zelqor
