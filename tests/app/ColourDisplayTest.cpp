// Pictures shown, copied and saved through their colour profile, on the real window, against
// LittleCMS called directly.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <QImage>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FakePlatformServices.h"
#include "IccProfile.h"
#include "ImageFile.h"
#include "PicturePreview.h"
#include "TForm1.h"
#include "TPaintPanel.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;

IccBytes Colord(const char* name) {
    std::ifstream in(fs::path("/usr/share/color/icc/colord") / name, std::ios::binary);
    return IccBytes(std::istreambuf_iterator<char>(in), {});
}

// The whole bitmap from one profile to another (empty: sRGB), with nothing of ours.
WorkingBitmap Converted(WorkingBitmap b, const IccBytes& from, const IccBytes& to) {
    const auto open = [](const IccBytes& p) {
        return p.empty() ? cmsCreate_sRGBProfile()
                         : cmsOpenProfileFromMem(p.data(), static_cast<cmsUInt32Number>(p.size()));
    };
    cmsHPROFILE a = open(from);
    cmsHPROFILE c = open(to);
    cmsHTRANSFORM t =
        cmsCreateTransform(a, TYPE_BGRA_8, c, TYPE_BGRA_8, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_BLACKPOINTCOMPENSATION);
    for (int y = 0; y < b.Height(); ++y) {
        cmsDoTransform(t, b.Row(y), b.Row(y), static_cast<cmsUInt32Number>(b.Width()));
    }
    cmsDeleteTransform(t);
    cmsCloseProfile(a);
    cmsCloseProfile(c);
    return b;
}

// A smooth picture, so that a JPEG keeps it closely and every part of the gamut is touched.
WorkingBitmap Gradient(int w, int h) {
    WorkingBitmap b(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            b.SetPixel(x, y, MakePixel(255 * x / (w - 1), 255 * y / (h - 1), 180 - 120 * x / w));
        }
    }
    return b;
}

// The colours the panel shows, as the user sees them (the fourth byte opaque).
WorkingBitmap Shown(TPaintPanel* panel) {
    const QImage shot = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
    WorkingBitmap b(shot.width(), shot.height());
    for (int y = 0; y < b.Height(); ++y) {
        std::memcpy(b.Row(y), shot.constScanLine(y), static_cast<std::size_t>(b.Width()) * 4);
    }
    return b;
}

// What the panel showed before pictures had profiles: the plain fitted picture.
WorkingBitmap Unconverted(TPaintPanel* panel, const WorkingBitmap& image) {
    const Rect client = panel->ClientRectDevice();
    WorkingBitmap b(client.Width(), client.Height());
    const QColor c = panel->palette().color(QPalette::Window);
    std::fill(b.Data(), b.Data() + b.ByteSize() / 4, MakePixel(c.red(), c.green(), c.blue(), 0xFF));
    PaintFittedImage(b, client, client, image, StyleCode{}, Rgb{});
    return b;
}

std::uint32_t Centre(const WorkingBitmap& b) {
    return b.Pixel(b.Width() / 2, b.Height() / 2) | 0xFF000000;
}

class ColourDisplayTest : public ::testing::Test {
  protected:
    ColourDisplayTest() : window(services) {
        window.CreateDialogs();
        window.show();
    }

    // A JPEG of `picture` tagged with `profile` (none when empty), as our own save writes one.
    std::string Tagged(const char* name, const WorkingBitmap& picture, const IccBytes& profile) {
        MetadataBlock metadata;
        metadata.icc = IccChunksOf(profile);
        const std::string path = (folder.Path() / name).string();
        SaveJpegFile(path, picture, 100, metadata, ExifTreatment::Copy);
        return path;
    }

    QString Status() const { return window.findChild<QLabel*>("StatusText")->text(); }

    const IccBytes adobe = Colord("AdobeRGB1998.icc");
    const TempFolder folder;
    FakePlatformServices services;
    TForm1 window;
};

TEST_F(ColourDisplayTest, AdobeRgbPhotoIsShownInItsColoursOnEveryPage) {
    ASSERT_FALSE(adobe.empty()) << "colord-data provides the reference profile";
    WorkingBitmap flat(64, 48);
    std::fill(flat.Data(), flat.Data() + 64 * 48, MakePixel(40, 170, 90, 0xFF));
    window.Files().LoadImageFile(Tagged("adobe.jpg", flat, adobe));
    ASSERT_EQ(window.Doc().ColourProfile(), adobe);
    const WorkingBitmap& src = window.Doc().BitmapSrc();
    const std::uint32_t want = Centre(Converted(src, adobe, {}));
    ASSERT_NE(want, Centre(src));
    EXPECT_EQ(Centre(Shown(window.PaintPanelSrc)), want);

    window.Action("ActionMake600xN")->trigger();
    const WorkingBitmap& dst = window.Doc().BitmapDst();
    EXPECT_EQ(Centre(Shown(window.PaintPanelDst)), Centre(Converted(dst, adobe, {})));

    window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window.Thumbnail().Idle() && window.Thumbnail().Picture().HoldsImage(); },
        10000));
    EXPECT_EQ(Centre(Shown(window.PaintPanelPreview)),
              Centre(Converted(window.Thumbnail().Picture(), adobe, {})));

    PicturePreview preview(nullptr, &window.Colour());
    preview.ShowFile(QString::fromStdString((folder.Path() / "adobe.jpg").string()));
    const QImage thumb = preview.Thumbnail().toImage();
    ASSERT_FALSE(thumb.isNull());
    EXPECT_EQ(thumb.pixel(thumb.width() / 2, thumb.height() / 2), want);
}

TEST_F(ColourDisplayTest, UntaggedAndSrgbPicturesAreDrawnAsBefore) {
    const WorkingBitmap picture = Gradient(90, 70);
    for (const IccBytes& profile : {IccBytes{}, Colord("sRGB.icc")}) {
        SCOPED_TRACE(profile.size());
        window.Files().LoadImageFile(Tagged("plain.jpg", picture, profile));
        ASSERT_EQ(window.Doc().ColourProfile(), profile);
        EXPECT_EQ(Shown(window.PaintPanelSrc),
                  Unconverted(window.PaintPanelSrc, window.Doc().BitmapSrc()));
    }
}

TEST_F(ColourDisplayTest, ClipboardGetsSrgbOfTheStyledResultAndTheSaveKeepsPixelsAndProfile) {
    window.Files().LoadImageFile(Tagged("adobe.jpg", Gradient(120, 80), adobe));
    window.Action("ActionMake600xN")->trigger();
    window.SelectViewCode(StyleCode(kViewSepia, 2));
    WorkingBitmap styled = window.Doc().BitmapDst();
    MakeViewBitmapAll(&styled, StyleCode(kViewSepia, 2), window.ViewMenu().Tint());

    window.Action("ActionEditCopy")->trigger();
    ASSERT_TRUE(services.clipboard);
    EXPECT_EQ(*services.clipboard, Converted(styled, adobe, {}));

    const std::string saved = (folder.Path() / "saved.jpg").string();
    window.Files().SaveImageFile(saved);
    std::ifstream in(saved, std::ios::binary);
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    const OptionValues options = ValuesAt(StartPositions());
    EXPECT_EQ(bytes,
              BuildJpegFile(styled, options.jpegQuality, window.Doc().Metadata(), options.exif));
    std::optional<std::string> error;
    EXPECT_EQ(AssembleIccProfile(CollectExif(bytes, error).icc), adobe);
}

TEST_F(ColourDisplayTest, BrokenProfileIsShownAsSrgbWithANotice) {
    // An RGB header that the save carries on, over nothing LittleCMS can read.
    IccBytes broken(300, 0x20);
    std::copy_n("RGB ", 4, broken.begin() + 16);
    const WorkingBitmap picture = Gradient(90, 70);
    window.Files().LoadImageFile(Tagged("broken.jpg", picture, broken));
    ASSERT_EQ(window.Doc().ColourProfile(), broken);
    EXPECT_EQ(Status(), QString("broken.jpg: ") + kUnusableProfileNotice);
    EXPECT_EQ(Shown(window.PaintPanelSrc),
              Unconverted(window.PaintPanelSrc, window.Doc().BitmapSrc()));

    window.Files().LoadImageFile(Tagged("adobe.jpg", picture, adobe));
    EXPECT_EQ(Status(), "");  // the notice was that picture's
}

TEST_F(ColourDisplayTest, DisplayProfileConvertsUntaggedPicturesUntilTheScreenIsSrgbAgain) {
    const IccBytes wide = Colord("WideGamutRGB.icc");
    WorkingBitmap flat(64, 48);
    std::fill(flat.Data(), flat.Data() + 64 * 48, MakePixel(200, 100, 50, 0xFF));
    window.Files().LoadImageFile(Tagged("plain.jpg", flat, {}));
    const WorkingBitmap& src = window.Doc().BitmapSrc();

    services.displayProfile = wide;
    window.RefreshDisplayColour();
    EXPECT_EQ(Centre(Shown(window.PaintPanelSrc)), Centre(Converted(src, {}, wide)));
    services.displayProfile.clear();
    window.RefreshDisplayColour();
    EXPECT_EQ(Centre(Shown(window.PaintPanelSrc)), Centre(src));
}

}  // namespace
}  // namespace zelqor
