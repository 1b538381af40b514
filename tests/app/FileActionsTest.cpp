// Open, drop, paste, copy and save through the real window, with real files and the scripted
// platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "../engine/TestImages.h"
#include "../imageio/JpegInspect.h"
#include "FakePlatformServices.h"
#include "ImageFile.h"
#include "JpegCodec.h"
#include "TForm1.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
const fs::path kTestData = ZELQOR_TESTDATA_DIR;
const std::string kCamera = (kTestData / "jpeg/exif/Canon_40D.jpg").string();

void WriteFile(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

// The camera file without its quantisation tables: the header reads, the pixels cannot.
Bytes WithoutQuantTables(const Bytes& file) {
    Bytes out(file.begin(), file.begin() + 2);
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at + 1] != 0xDA) {
        const std::size_t len = 2 + ((file[at + 2] << 8) | file[at + 3]);
        if (file[at + 1] != 0xDB) {
            out.insert(out.end(), file.begin() + at, file.begin() + at + len);
        }
        at += len;
    }
    out.insert(out.end(), file.begin() + at, file.end());
    return out;
}

class FileActionsTest : public ::testing::Test {
  protected:
    FileActionsTest() : window(services) {
        window.CreateDialogs();
        window.show();
    }

    int Page() const { return window.findChild<QTabWidget*>("PageControl1")->currentIndex(); }
    QString CalcSizeLabel() const { return window.findChild<QLabel*>("LabelBoke")->text(); }

    // A loaded camera photo with a processed result, as most tests start.
    void LoadCameraAndRun() {
        window.Files().LoadImageFile(kCamera);
        window.Action("ActionMake600xN")->trigger();
        ASSERT_TRUE(window.Doc().BitmapDst().HoldsImage());
        ASSERT_FALSE(window.Doc().ExifSegmentBuffer().empty());
    }

    void Drop(const std::vector<fs::path>& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const fs::path& f : files) {
            urls << QUrl::fromLocalFile(QFile::decodeName(f.c_str()));
        }
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
    }

    std::string LastError() const {
        for (auto it = services.boxes.rbegin(); it != services.boxes.rend(); ++it) {
            if (it->kind == FakePlatformServices::Kind::Error) {
                return it->text;
            }
        }
        return {};
    }

    FakePlatformServices services;
    TForm1 window;
    TempFolder temp;
    const fs::path folder = temp.Path();
};

TEST_F(FileActionsTest, LoadsAndFailuresLeaveTheStateOfTheFailingStep) {
    const Bytes camera = ReadWholeFile(kCamera);
    WriteFile(folder / "写真" / "カメラ.JPG", camera);
    WriteFile(folder / "picture.png", camera);
    WriteFile(folder / "picture.gif", camera);
    WriteFile(folder / "notes.gif", Bytes{'n', 'o', 't', 'e', 's'});
    WriteFile(folder / "notes.png", Bytes{'n', 'o', 't', 'e', 's'});
    WriteFile(folder / "empty.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    WriteFile(folder / "noquant.jpg", WithoutQuantTables(camera));
    const WorkingBitmap cameraPixels = DecodeJpeg(camera);

    enum class Outcome { Loaded, KeptImages, BlankOfNewSize };
    struct Case {
        std::string file;
        Outcome outcome;
        bool exif;
        std::string error;  // prefix of the error box, empty for none
    };
    const Case cases[] = {
        {kCamera, Outcome::Loaded, true, ""},
        {(folder / "写真" / "カメラ.JPG").string(), Outcome::Loaded, true, ""},
        {(kTestData / "bmp/vgl_6434_0018a.bmp").string(), Outcome::Loaded, false, ""},
        // The first bytes decide: a JPEG is a JPEG whatever its name.
        {(folder / "picture.gif").string(), Outcome::Loaded, true, ""},
        {(folder / "picture.png").string(), Outcome::Loaded, true, ""},
        {(folder / "notes.gif").string(), Outcome::KeptImages, false,
         "拡張子 .gif の画像形式は処理できません"},
        {(folder / "notes.png").string(), Outcome::KeptImages, false, "画像形式を判別できません"},
        {(folder / "missing.jpg").string(), Outcome::KeptImages, false, "ファイル "},
        {(folder / "empty.jpg").string(), Outcome::KeptImages, false, "JPEG エラー #"},
        {(kTestData / "bmp/suite/b/badrle.bmp").string(), Outcome::KeptImages, false,
         "ビットマップイメージが不正です"},
        {(folder / "noquant.jpg").string(), Outcome::BlankOfNewSize, false, "JPEG エラー #"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        // Each case starts from a loaded photo with a result, on the options page.
        LoadCameraAndRun();
        window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
        const WorkingBitmap srcBefore = window.Doc().BitmapSrc();
        services.boxes.clear();
        services.fileAnswers = {c.file};
        window.Action("ActionFileOpen")->trigger();
        EXPECT_EQ(window.Files().OpenDialogFileName(), c.file);
        EXPECT_EQ(LastError().rfind(c.error, 0), 0u) << LastError();
        EXPECT_EQ(c.error.empty(), services.boxes.empty());
        EXPECT_EQ(!window.Doc().ExifSegmentBuffer().empty(), c.exif);
        EXPECT_EQ(services.busyDepth, 0);
        switch (c.outcome) {
            case Outcome::Loaded: {
                const WorkingBitmap& src = window.Doc().BitmapSrc();
                EXPECT_FALSE(window.Doc().BitmapDst().HoldsImage());
                EXPECT_EQ(Page(), 0);
                EXPECT_EQ(window.Files().SaveDialogFileName(), c.file);
                const int radius = (std::max(src.Width(), src.Height()) + 199) / 200;
                EXPECT_TRUE(CalcSizeLabel().endsWith(QString("(%1pix)").arg(radius)));
                break;
            }
            case Outcome::KeptImages:
                EXPECT_EQ(window.Doc().BitmapSrc(), srcBefore);
                EXPECT_TRUE(window.Doc().BitmapDst().HoldsImage());
                EXPECT_EQ(Page(), 2);
                break;
            case Outcome::BlankOfNewSize:
                EXPECT_EQ(window.Doc().BitmapSrc(),
                          WorkingBitmap(cameraPixels.Width(), cameraPixels.Height()));
                EXPECT_TRUE(window.Doc().BitmapDst().HoldsImage());
                EXPECT_EQ(Page(), 2);
                EXPECT_EQ(window.Files().SaveDialogFileName(), c.file);
                break;
        }
    }
    // A failed open does not stop the next one.
    services.boxes.clear();
    window.Files().LoadImageFile(kCamera);
    EXPECT_EQ(window.Doc().BitmapSrc(), cameraPixels);
    EXPECT_TRUE(services.boxes.empty());
}

TEST_F(FileActionsTest, DropsOpenTheFirstFileIfReadable) {
    WriteFile(folder / "UPPER.JPG", ReadWholeFile(kCamera));
    WriteFile(folder / "b.jpeg", ReadWholeFile(kCamera));
    WriteFile(folder / "写真" / "鳥.Jpeg", ReadWholeFile(kCamera));
    WriteFile(folder / "notes.txt", Bytes{'n', 'o', 't', 'e'});
    const int cameraWidth = DecodeJpeg(ReadWholeFile(kCamera)).Width();
    struct Case {
        std::vector<fs::path> files;
        std::string message;  // empty: the file loads
        int width = 0;        // of the picture loaded
    };
    const Case cases[] = {
        {{folder / "UPPER.JPG"}, "", cameraWidth},
        {{folder / "b.jpeg"}, "", cameraWidth},
        {{folder / "写真" / "鳥.Jpeg"}, "", cameraWidth},
        {{kTestData / "bmp/vgl_6434_0018a.bmp", folder / "b.jpeg"}, "", 119},
        {{folder / "notes.txt", folder / "b.jpeg"}, "accept only JPEG file"},
        {{kTestData / "bmp/vgl_6434_0018a.bmp"}, "", 119},
        {{folder / "notes.txt"}, "accept only JPEG file"},
    };
    for (const Case& c : cases) {
        window.SetSourceImage(test_images::Noise(7, 5, 1));
        services.boxes.clear();
        Drop(c.files);
        if (c.message.empty()) {
            EXPECT_TRUE(services.boxes.empty()) << c.files.front();
            EXPECT_EQ(window.Doc().BitmapSrc().Width(), c.width) << c.files.front();
        } else {
            EXPECT_EQ(services.Texts(), std::vector<std::string>{c.message});
            EXPECT_EQ(window.Doc().BitmapSrc().Width(), 7) << "nothing changes";
        }
    }
}

TEST_F(FileActionsTest, PasteWithAndWithoutShift) {
    struct Case {
        std::optional<WorkingBitmap> clipboard;
        bool shift;
        std::string message;
        bool replaced;
        bool exifKept;
        bool resultKept;
    };
    const WorkingBitmap pasted = test_images::Noise(30, 20, 4);
    const Case cases[] = {
        {pasted, false, "", true, false, false},
        {pasted, true, "", true, true, false},
        {std::nullopt, false, "Unsupported Clipboard Format", false, false, true},
        {std::nullopt, true, "Unsupported Clipboard Format", false, true, true},
        {WorkingBitmap{}, false, "DEBUG\r\nError: GetObject() = 0", false, false, false},
    };
    for (const Case& c : cases) {
        LoadCameraAndRun();
        const WorkingBitmap before = window.Doc().BitmapSrc();
        services.boxes.clear();
        services.clipboard = c.clipboard;
        services.shiftDown = c.shift;
        window.Action("ActionEditPaste")->trigger();
        EXPECT_EQ(services.Texts(), c.message.empty() ? std::vector<std::string>{}
                                                      : std::vector<std::string>{c.message});
        EXPECT_EQ(window.Doc().BitmapSrc(), c.replaced ? pasted : before);
        EXPECT_EQ(!window.Doc().ExifSegmentBuffer().empty(), c.exifKept);
        // A pasted picture that says nothing of its colours loses the kept profile, which would
        // misdescribe it; with nothing pasted the profile stays with the Exif.
        EXPECT_EQ(window.Doc().Metadata().icc.Count(), c.exifKept && !c.replaced ? 1u : 0u);
        EXPECT_EQ(window.Doc().BitmapDst().HoldsImage(), c.resultKept);
        EXPECT_EQ(services.busyDepth, 0);
        if (c.replaced) {
            EXPECT_EQ(CalcSizeLabel(), QString::fromUtf8("1/200： (1pix)"));
        }
    }
    // A picture in the kept profile's own colour space keeps the profile with the Exif.
    LoadCameraAndRun();
    const MetadataBlock camera = window.Doc().Metadata();
    ASSERT_FALSE(camera.IccProfile().empty());
    services.clipboard = pasted;
    services.clipboardProfile = camera.IccProfile();
    services.shiftDown = true;
    window.Action("ActionEditPaste")->trigger();
    EXPECT_EQ(window.Doc().Metadata(), camera);
    services.clipboardProfile = {};
}

TEST_F(FileActionsTest, CopyHandsOutTheResultInTheCurrentStyle) {
    services.clipboard = test_images::Noise(3, 3, 9);
    window.Action("ActionEditCopy")->trigger();
    EXPECT_EQ(services.Texts(), std::vector<std::string>{"no output bitmap"});
    EXPECT_EQ(services.clipboard, test_images::Noise(3, 3, 9)) << "the clipboard is left alone";

    LoadCameraAndRun();
    const WorkingBitmap result = window.Doc().BitmapDst();
    window.Action("ActionEditCopy")->trigger();
    EXPECT_EQ(services.clipboard, result);
    services.colourAnswers = {Rgb{228, 128, 28}};
    window.Action("ActionViewColorish")->trigger();
    window.Action("ActionEditCopy")->trigger();
    WorkingBitmap styled = result;
    MakeViewBitmapAll(&styled, kViewColorish, Rgb{228, 128, 28});
    EXPECT_EQ(services.clipboard, styled);
    EXPECT_NE(styled, result);
    EXPECT_EQ(window.Doc().BitmapDst(), result);
}

TEST_F(FileActionsTest, SaveWritesJpegWithTheChosenExifItemQualityAndStyle) {
    services.boxes.clear();
    window.Action("ActionFileSave")->trigger();
    EXPECT_EQ(services.Texts(), std::vector<std::string>{"no output bitmap"});
    EXPECT_TRUE(services.fileRequests.empty()) << "no dialog without a result";

    LoadCameraAndRun();
    const WorkingBitmap& result = window.Doc().BitmapDst();
    struct Case {
        int exifItem;
        const char* name;
        std::vector<std::uint8_t> firstMarkers;
        std::pair<std::uint32_t, std::uint32_t> dims;
    };
    const auto [origX, origY] = pixelDimensions(window.Doc().ExifSegmentBuffer());
    const Case cases[] = {
        {0, "none.jpg", {0xE0}, {0, 0}},
        {1, "copy.jpg", {0xE1}, {origX, origY}},
        {2, "写真.jpg", {0xE1}, {600u, static_cast<std::uint32_t>(result.Height())}},
        {2, "named.JPEG", {0xE1}, {600u, static_cast<std::uint32_t>(result.Height())}},
    };
    for (const Case& c : cases) {
        window.findChild<QRadioButton*>(QString("RadioGroup_Exif_%1").arg(c.exifItem))->click();
        const std::string path = (folder / c.name).string();
        services.fileAnswers = {path};
        window.Action("ActionFileSave")->trigger();
        EXPECT_EQ(services.fileRequests.back().fileName, kCamera) << "proposes the loaded file";
        const Bytes saved = ReadWholeFile(path);
        const std::vector<std::uint8_t> markers = markersBeforeScan(saved);
        ASSERT_FALSE(markers.empty()) << c.name;
        EXPECT_EQ(markers.front(), c.firstMarkers.front()) << c.name;
        EXPECT_EQ(std::count(markers.begin(), markers.end(), 0xE0), c.exifItem == 0 ? 1 : 0);
        if (c.exifItem != 0) {
            EXPECT_EQ(pixelDimensions(exifOf(saved)), c.dims) << c.name;
        }
        EXPECT_EQ(DecodeJpeg(saved).Width(), 600);
    }
    // The quality bar reaches the encoder: the top of the bar writes a larger file.
    const std::size_t at73 = fs::file_size(folder / "none.jpg");
    window.Slider("TrackBar_JpegQuality")->setValue(0);
    window.findChild<QRadioButton*>("RadioGroup_Exif_0")->click();
    services.fileAnswers = {(folder / "q100.jpg").string()};
    window.Action("ActionFileSave")->trigger();
    EXPECT_GT(fs::file_size(folder / "q100.jpg"), at73);
    EXPECT_EQ(ReadWholeFile((folder / "q100.jpg").string()),
              BuildJpegFile(result, 100, window.Doc().Metadata(), ExifTreatment::None));
}

TEST_F(FileActionsTest, SaveCarriesTheSourceIccProfileWithEveryItem) {
    const std::string reagan = (kTestData / "jpeg/exif/exiv2-Reagan.jpg").string();
    const auto profile = iccChunks(ReadWholeFile(reagan));
    ASSERT_EQ(profile.size(), 1u);
    window.Files().LoadImageFile(reagan);
    window.Action("ActionMake600xN")->trigger();
    for (int item : {0, 1, 2}) {
        SCOPED_TRACE(item);
        window.findChild<QRadioButton*>(QString("RadioGroup_Exif_%1").arg(item))->click();
        const fs::path path = folder / ("reagan" + std::to_string(item) + ".jpg");
        services.fileAnswers = {path.string()};
        window.Action("ActionFileSave")->trigger();
        const Bytes saved = ReadWholeFile(path.string());
        EXPECT_EQ(iccChunks(saved), profile);
        EXPECT_EQ(app1Payloads(saved).size(), item == 0 ? 0u : 2u);
    }
}

TEST_F(FileActionsTest, ACutFileSaysItEndsEarlyAndAPortraitPhonePhotoComesUpright) {
    const Bytes whole = EncodeJpeg(test_images::Noise(200, 200, 3), 90);
    WriteFile(folder / "cut.jpg", Bytes(whole.begin(), whole.begin() + whole.size() / 2));
    window.Files().LoadImageFile((folder / "cut.jpg").string());
    const auto* status = window.findChild<QLabel*>("StatusText");
    EXPECT_EQ(status->text().toStdString(), std::string("cut.jpg: ") + kEndedEarlyNotice);
    window.Files().LoadImageFile((kTestData / "jpeg/exif/exiv2-bug2565.jpg").string());
    EXPECT_EQ(window.Doc().BitmapSrc().Width(), 3024) << "stored 4032 x 3024, Orientation 6";
    EXPECT_EQ(window.Doc().BitmapSrc().Height(), 4032);
    EXPECT_TRUE(status->text().isEmpty());
}

TEST_F(FileActionsTest, FailedSaveKeepsThePreviousFileAndSaysWhy) {
    LoadCameraAndRun();
    const fs::path old = folder / "old.jpg";
    WriteFile(old, Bytes{1, 2, 3});
    // The camera's block with its first directory pointing far past its end.
    Bytes corrupt = window.Doc().ExifSegmentBuffer();
    std::fill(corrupt.begin() + 10, corrupt.begin() + 14, 0x7F);
    struct Case {
        fs::path target;
        Bytes exif;  // empty: the camera's own block
        std::string error;
    };
    const Case cases[] = {
        {folder / "no-such-folder" / "x.jpg", {}, "ファイル \""},
        {folder, {}, "ファイル \""},
        {old, corrupt, "ストリームからの読み込みエラー"},
    };
    window.findChild<QRadioButton*>("RadioGroup_Exif_2")->click();
    for (const Case& c : cases) {
        if (!c.exif.empty()) {
            window.Doc().SetExif(metadataOf({c.exif}));
        }
        services.boxes.clear();
        services.fileAnswers = {c.target.string()};
        window.Action("ActionFileSave")->trigger();
        EXPECT_EQ(LastError().rfind(c.error, 0), 0u) << LastError();
        EXPECT_EQ(services.busyDepth, 0);
    }
    EXPECT_FALSE(fs::exists(folder / "no-such-folder"));
    EXPECT_EQ(ReadWholeFile(old.string()), (Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace zelqor
