// A tagged photo shown, copied and saved by the real window, against LittleCMS called directly.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QTabWidget>
#include <QTest>

#include "ColourReference.h"
#include "FakePlatformServices.h"
#include "IccProfile.h"
#include "ImageFile.h"
#include "PicturePreview.h"
#include "Stream.h"
#include "TForm1.h"
#include "TPaintPanel.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

using test::LcmsConverted;

QRgb Centre(const QImage& i) {
    return i.pixel(i.width() / 2, i.height() / 2);
}
QRgb Centre(const WorkingBitmap& b) {
    return b.Pixel(b.Width() / 2, b.Height() / 2) | 0xFF000000;
}
// What the middle of the panel shows, as the user sees it.
QRgb ShownCentre(TPaintPanel* panel) {
    return Centre(panel->grab().toImage());
}

class ColourDisplayTest : public ::testing::Test {
  protected:
    ColourDisplayTest() : window(services) {
        window.CreateDialogs();
        window.show();
    }

    // A JPEG tagged with `profile`, as our own save writes one: a flat patch, whose colour every
    // scale keeps, or a smooth picture.
    std::string Tagged(const char* name, const IccBytes& profile, bool flat = true) {
        WorkingBitmap picture(120, 80);
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 120; ++x) {
                picture.SetPixel(x, y,
                                 flat ? MakePixel(40, 170, 90) : MakePixel(x, 170 - y, x / 2));
            }
        }
        MetadataBlock metadata;
        metadata.icc = IccChunksOf(profile);
        const std::string path = (folder.Path() / name).string();
        SaveJpegFile(path, picture, 100, metadata, ExifTreatment::Copy);
        return path;
    }

    const IccBytes adobe = test::ColordProfile("AdobeRGB1998.icc");
    const TempFolder folder;
    FakePlatformServices services;
    TForm1 window;
};

TEST_F(ColourDisplayTest, AdobeRgbPhotoIsShownInItsColoursEverywhere) {
    window.Files().LoadImageFile(Tagged("adobe.jpg", adobe));
    ASSERT_EQ(window.Doc().ColourProfile(), adobe);
    const WorkingBitmap& src = window.Doc().BitmapSrc();
    const QRgb want = Centre(LcmsConverted(src, adobe, {}));
    ASSERT_NE(want, Centre(src));
    EXPECT_EQ(ShownCentre(window.PaintPanelSrc), want);

    window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
    const LiveThumbnail& thumb = window.Thumbnail();
    ASSERT_TRUE(QTest::qWaitFor([&] { return thumb.Idle() && thumb.Picture().HoldsImage(); }));
    EXPECT_EQ(ShownCentre(window.PaintPanelPreview),
              Centre(LcmsConverted(thumb.Picture(), adobe, {})));

    PicturePreview preview(nullptr, &window.Colour());
    preview.ShowFile(QString::fromStdString((folder.Path() / "adobe.jpg").string()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !preview.Pending(); }, 10000));
    EXPECT_EQ(Centre(preview.Thumbnail().toImage()), want);
}

TEST_F(ColourDisplayTest, ClipboardGetsSrgbOfTheStyledResultAndTheSaveKeepsPixelsAndProfile) {
    window.Files().LoadImageFile(Tagged("adobe.jpg", adobe, false));
    window.Action("ActionMake600xN")->trigger();
    window.SelectViewCode(StyleCode(kViewSepia, 2));
    WorkingBitmap styled = window.Doc().BitmapDst();
    MakeViewBitmapAll(&styled, StyleCode(kViewSepia, 2), window.ViewMenu().Tint());

    window.Action("ActionEditCopy")->trigger();
    ASSERT_TRUE(services.clipboard);
    EXPECT_EQ(*services.clipboard, LcmsConverted(styled, adobe, {}));

    const std::string saved = (folder.Path() / "saved.jpg").string();
    window.Files().SaveImageFile(saved);
    const std::vector<std::uint8_t> bytes = ReadWholeFile(saved);
    const OptionValues options = ValuesAt(StartPositions());
    EXPECT_EQ(bytes,
              BuildJpegFile(styled, options.jpegQuality, window.Doc().Metadata(), options.exif));
    std::optional<std::string> error;
    EXPECT_EQ(AssembleIccProfile(CollectExif(bytes, error).icc), adobe);
}

TEST_F(ColourDisplayTest, BrokenProfileIsShownAsSrgbWithANoticeForThatPicture) {
    // An RGB header, which the save carries on, over nothing LittleCMS can read.
    IccBytes broken(300, 0x20);
    std::copy_n("RGB ", 4, broken.begin() + 16);
    window.Files().LoadImageFile(Tagged("broken.jpg", broken));
    ASSERT_EQ(window.Doc().ColourProfile(), broken);
    const auto* status = window.findChild<QLabel*>("StatusText");
    EXPECT_EQ(status->text(), QString("broken.jpg: ") + kUnusableProfileNotice);
    EXPECT_EQ(ShownCentre(window.PaintPanelSrc), Centre(window.Doc().BitmapSrc()));
    window.Files().LoadImageFile(Tagged("adobe.jpg", adobe));
    EXPECT_EQ(status->text(), "");
}

}  // namespace
}  // namespace zelqor
