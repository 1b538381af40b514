// The window as a user sees it: the paste keys, where windows open, captions that fit, the
// sliders' fill, the file dialogs and Qt's own texts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QStyleOptionGroupBox>
#include <QStyleOptionSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <filesystem>
#include <fstream>

#include "../engine/TestImages.h"
#include "ActionTable.h"
#include "FakePlatformServices.h"
#include "FileActions.h"
#include "PictureFilters.h"
#include "PicturePreview.h"
#include "QtPlatformServices.h"
#include "QtTranslations.h"
#include "TAboutBox.h"
#include "TCancelDlg.h"
#include "TForm1.h"
#include "TInputLevelForm.h"
#include "TempFolder.h"
#include "ViewStyleTable.h"
#include "WhenActive.h"

namespace zelqor {
namespace {

namespace fs = std::filesystem;
const std::string kCamera = (fs::path(ZELQOR_TESTDATA_DIR) / "jpeg/exif/Canon_40D.jpg").string();

class WindowLooksTest : public ::testing::Test {
  protected:
    WindowLooksTest() : window(services) {
        window.CreateDialogs();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    FakePlatformServices services;
    TForm1 window;
};

// ---- keys

TEST_F(WindowLooksTest, ShiftCtrlVPastesKeepingTheExifAndTheMenuShowsCtrlV) {
    QAction* paste = window.Action("ActionEditPaste");
    EXPECT_EQ(paste->shortcut(), QKeySequence("Ctrl+V")) << "the one the menu shows";
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const WorkingBitmap pasted = test_images::Noise(30, 20, 4);
    for (const bool shift : {true, false}) {
        window.Files().LoadImageFile(kCamera);
        ASSERT_FALSE(window.Doc().ExifSegmentBuffer().empty());
        services.clipboard = pasted;
        services.shiftDown = shift;  // what the platform reports while the keys are held
        QTest::keyClick(&window, Qt::Key_V,
                        shift ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
        EXPECT_EQ(window.Doc().BitmapSrc(), pasted) << "shift " << shift;
        EXPECT_EQ(!window.Doc().ExifSegmentBuffer().empty(), shift);
    }
}

// ---- placement

void ExpectCentred(const QWidget& w) {
    const QPoint screen = w.screen()->availableGeometry().center();
    const QPoint centre = w.frameGeometry().center();
    EXPECT_LE((centre - screen).manhattanLength(), 2)
        << w.objectName().toStdString() << " at " << centre.x() << "," << centre.y();
}

TEST_F(WindowLooksTest, MainWindowAndDialogsOpenCentredOnTheScreen) {
    ExpectCentred(window);
    QDialog* about = window.AboutBox();
    for (QDialog* dialog : {about, static_cast<QDialog*>(window.CancelDlg())}) {
        WhenActive(*dialog, [dialog] {
            ExpectCentred(*dialog);
            dialog->done(1);
        });
        dialog == about ? void(window.Action("ActionHelpAbout")->trigger())
                        : void(window.CancelDlg()->ShowModal());
    }
    TInputLevelForm& level = *window.InputLevelForm();
    WhenActive(level, [&] {
        ExpectCentred(level);
        level.reject();
    });
    level.InputLevel("View", "&Uguisu(Japanese Bush-warbler)", 2);
}

// The window comes back where it was left, as large and as maximised, but always on a screen;
// the first start centres the designed size.
TEST(WindowPlacementTest, RemembersTheWindowAcrossStartsWithinTheScreens) {
    TempFolder folder;
    FakePlatformServices services;
    services.userSettingsFile = (folder / "zelqorhdr.conf").string();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect left(40, 50, 420, 330);
    const auto start = [&services](const std::function<void(TForm1&)>& use) {
        TForm1 window(services);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        use(window);
        window.Action("ActionFileExit")->trigger();
    };
    start([&](TForm1& w) {
        EXPECT_EQ(w.width(), 513);
        ExpectCentred(w);
        w.setGeometry(left);
    });
    start([&](TForm1& w) {
        EXPECT_EQ(w.geometry(), left);
        w.showMaximized();
    });
    start([&](TForm1& w) {
        EXPECT_TRUE(w.isMaximized());
        EXPECT_EQ(w.normalGeometry(), left) << "its size before it was maximised";
        w.showNormal();
        w.setGeometry(available.right() + 400, 60, 420, 330);  // on a monitor that goes
    });
    start([&](TForm1& w) {
        EXPECT_TRUE(available.contains(w.frameGeometry())) << w.frameGeometry().x();
        EXPECT_EQ(w.size(), left.size());
        w.setGeometry(-30, -30, available.width() + 300, available.height() + 300);
    });
    start([&](TForm1& w) { EXPECT_TRUE(available.contains(w.frameGeometry())); });
}

// Run at a scale factor of 2 too (see the test list), where the designed window is larger than
// the screen: the window and every dialog must still be whole on it.
TEST_F(WindowLooksTest, WindowAndDialogsFitTheScreensAvailableArea) {
    const auto fits = [](const QWidget& w) {
        return w.screen()->availableGeometry().contains(w.frameGeometry());
    };
    EXPECT_TRUE(fits(window)) << window.frameGeometry().height();
    for (QDialog* dialog : std::initializer_list<QDialog*>{window.AboutBox(), window.CancelDlg(),
                                                           window.InputLevelForm()}) {
        WhenActive(*dialog, [&] {
            EXPECT_TRUE(fits(*dialog)) << dialog->objectName().toStdString();
            dialog->done(0);
        });
        dialog->exec();
    }
}

TEST_F(WindowLooksTest, CtrlQQuitsAsTheExitEntryDoes) {
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
}

// ---- captions

// What a caption shows: an access-key marker is drawn as an underline, "&&" as one '&'.
QString Shown(QString text) {
    text.replace("&&", QChar(1));
    text.remove('&');
    text.replace(QChar(1), "&");
    return text;
}

// Every label, check box, radio button, group title and tab under root whose text is wider than
// the room its widget gives it, described.
std::vector<std::string> Clipped(QWidget& root) {
    std::vector<std::string> clipped;
    const auto check = [&clipped](const QWidget& w, const QString& text, int room) {
        const int needed = w.fontMetrics().horizontalAdvance(text);
        if (needed > room) {
            clipped.push_back(w.objectName().toStdString() + " \"" + text.toStdString() +
                              "\" needs " + std::to_string(needed) + " has " +
                              std::to_string(room));
        }
    };
    for (QLabel* label : root.findChildren<QLabel*>()) {
        if (!label->text().isEmpty() && label->pixmap().isNull()) {
            const QString text = label->buddy() != nullptr ? Shown(label->text()) : label->text();
            const int room =
                label->contentsRect().width() - 2 * label->margin() - std::max(label->indent(), 0);
            check(*label, text, room);
        }
    }
    for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
        const bool check_ = qobject_cast<QCheckBox*>(button) != nullptr;
        if (!check_ && qobject_cast<QRadioButton*>(button) == nullptr) {
            continue;
        }
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        const QRect contents = button->style()->subElementRect(
            check_ ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &opt, button);
        // The contents start after the indicator and run to the widget's right edge.
        check(*button, Shown(button->text()), button->width() - contents.left());
    }
    for (QGroupBox* box : root.findChildren<QGroupBox*>()) {
        QStyleOptionGroupBox opt;
        opt.initFrom(box);
        opt.text = box->title();
        opt.lineWidth = 1;
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect label =
            box->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, box);
        // From where the title starts to the frame's right edge, less the frame's gap.
        check(*box, Shown(box->title()), box->width() - label.left() - 4);
    }
    for (QTabBar* bar : root.findChildren<QTabBar*>()) {
        for (int i = 0; i < bar->count(); ++i) {
            check(*bar, Shown(bar->tabText(i)), bar->tabRect(i).width());
        }
    }
    return clipped;
}

class CaptionFitTest : public ::testing::TestWithParam<bool> {};

TEST_P(CaptionFitTest, EveryCaptionFitsItsWidget) {
    const bool japanese = GetParam();
    FakePlatformServices services;
    services.japanese = japanese;
    TForm1 window(services);
    window.CreateDialogs();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_EQ(window.windowTitle() == "ZelqorHDR", japanese);
    EXPECT_EQ(Clipped(window), std::vector<std::string>{});
    // The value labels at their widest: the largest radius with each divisor.
    for (const ParameterInfo& row : ParameterTable()) {
        if (row.labelText == nullptr) {
            continue;
        }
        auto* label = window.findChild<QLabel*>(
            QString::fromUtf8(row.valueLabel.data(), row.valueLabel.size()));
        for (int p = 0; p <= row.max; ++p) {
            label->setText(QString::fromStdString(row.labelText(row.Bar(p), 65500, 65500)));
            EXPECT_EQ(Clipped(*label->parentWidget()), std::vector<std::string>{});
        }
    }
    EXPECT_EQ(Clipped(*window.AboutBox()), std::vector<std::string>{});
    EXPECT_EQ(Clipped(*window.CancelDlg()), std::vector<std::string>{});
    // The level dialog's prompt is the style's menu caption in the current language.
    TInputLevelForm& level = *window.InputLevelForm();
    for (const ViewStyleInfo& style : kViewStyleTable) {
        if (style.input != StyleInput::Level) {
            continue;
        }
        const std::string_view caption = japanese ? style.caption : style.englishCaption;
        WhenActive(level, [&] {
            EXPECT_EQ(Clipped(level), std::vector<std::string>{});
            // Grown only as much as the prompt needs: a short one keeps the designed width.
            if (Shown(QString::fromUtf8(caption.data(), caption.size())).size() <= 8) {
                EXPECT_EQ(level.width(), 100);
            }
            level.reject();
        });
        level.InputLevel("View", QString::fromUtf8(caption.data(), caption.size()), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(BothCaptionSets,
                         CaptionFitTest,
                         ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Japanese" : "English"; });

// ---- sliders

// The style's fill is its highlight colour, blue; the empty groove is grey.
bool Filled(const QColor& c) {
    return c.blue() - c.red() > 60;
}

// The painted bar's colour two pixels above and below its handle, in the groove's middle.
std::pair<QColor, QColor> AboveAndBelowHandle(QSlider& slider) {
    QStyleOptionSlider opt;
    opt.initFrom(&slider);
    opt.orientation = slider.orientation();
    opt.maximum = slider.maximum();
    opt.sliderPosition = opt.sliderValue = slider.value();
    opt.upsideDown = !slider.invertedAppearance();
    const auto rect = [&](QStyle::SubControl part) {
        return slider.style()->subControlRect(QStyle::CC_Slider, &opt, part, &slider);
    };
    const QRect handle = rect(QStyle::SC_SliderHandle);
    const QImage image = slider.grab().toImage();
    const int x = rect(QStyle::SC_SliderGroove).center().x();
    return {image.pixelColor(x, handle.top() - 2), image.pixelColor(x, handle.bottom() + 2)};
}

TEST_F(WindowLooksTest, VerticalBarsFillFromTheWeakEndAtTheBottomUpToTheHandle) {
    std::vector<QSlider*> bars;
    for (const ParameterInfo& row : ParameterTable()) {
        bars.push_back(window.Slider(row.slider));
    }
    bars.push_back(window.InputLevelForm()->findChild<QSlider*>("LevelTrackBar"));
    ASSERT_EQ(bars.size(), 6u);
    for (QSlider* bar : bars) {
        ASSERT_TRUE(bar->invertedAppearance()) << "the minimum stays at the top";
        bar->setValue((bar->minimum() + bar->maximum()) / 2);
        const auto [above, below] = AboveAndBelowHandle(*bar);
        EXPECT_TRUE(Filled(below))
            << bar->objectName().toStdString() << " below " << below.name().toStdString();
        EXPECT_FALSE(Filled(above))
            << bar->objectName().toStdString() << " above " << above.name().toStdString();
    }
    // The quality bar tells the number its position stands for.
    EXPECT_EQ(bars[4]->toolTip(), "JPEG Quality: 55");
}

// ---- file dialogs

TEST(FileDialogTest, FilterNamesShownOnceAsGivenStillFilterAndTheOpenDialogPreviews) {
    const TempFolder folder;
    const fs::path photo = folder.Path() / "photo.jpg";
    const fs::path bird = folder.Path() / "bird.bmp";
    fs::copy_file(kCamera, photo);
    fs::copy_file(fs::path(ZELQOR_TESTDATA_DIR) / "bmp/shira_bird8.bmp", bird);
    QtPlatformServices services;
    QStringList shownNames;
    QStringList patterns;
    QStringList sizeTexts;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        for (int i = 0; i < types->count(); ++i) {
            shownNames << types->itemText(i);
        }
        auto* files = dialog->findChild<QFileSystemModel*>();
        patterns = files->nameFilters();
        auto* preview = dialog->findChild<PicturePreview*>();
        ASSERT_NE(preview, nullptr);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !preview->Pending(); }, 10000));
        sizeTexts << preview->SizeText();  // the preset file, before any click
        // A click on the bitmap makes it the current file once the folder is read.
        auto* list = dialog->findChild<QAbstractItemView*>("listView");
        const QString birdPath = QString::fromStdString(bird.string());
        for (int wait = 0; wait < 100 && !files->index(birdPath).isValid(); ++wait) {
            QTest::qWait(20);
        }
        list->setCurrentIndex(files->index(birdPath));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !preview->Pending(); }, 10000));
        sizeTexts << preview->SizeText();
        EXPECT_FALSE(preview->Thumbnail().isNull());
        dialog->reject();
    });
    const std::string pictureFilter = OpenPictureFilter();
    EXPECT_EQ(services.OpenFileName({pictureFilter, "jpg", photo.string()}), std::nullopt);
    const QStringList filter = QString::fromStdString(pictureFilter).split('|');
    QStringList names;
    for (int i = 0; i < filter.size(); i += 2) {
        names << filter[i];
    }
    EXPECT_EQ(shownNames, names) << "each name once, as the filter string gives it";
    // The first entry filters on every readable format's extensions, in both letter cases.
    QStringList readable;
    for (const PictureFormat& format : PictureFormats()) {
        for (const std::string_view ext : format.extensions) {
            readable << "*." + QString::fromUtf8(ext.data(), static_cast<qsizetype>(ext.size()));
            readable << readable.back().toUpper();
        }
    }
    EXPECT_EQ(patterns, readable);
    EXPECT_EQ(sizeTexts, (QStringList{"100 x 68", "192 x 144"}));
}

// The save dialog starts on the entry it is given and reports the entry chosen, by its place.
TEST(FileDialogTest, TheSaveDialogStartsOnItsEntryAndTellsWhichWasChosen) {
    const TempFolder folder;
    QtPlatformServices services;
    int startedOn = -1;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        startedOn = types->currentIndex();
        types->setCurrentIndex(2);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("result");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const std::string preset = (folder.Path() / "a.png").string();
    const auto answer = services.SaveFileName({SavePictureFilter(), "", preset, nullptr, 1});
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(startedOn, 1);
    EXPECT_EQ(answer->filter, 2);
    EXPECT_EQ(answer->fileName, (folder.Path() / "result").string()) << "no extension added here";
}

// Nothing is shown for what the preview cannot read.
TEST(PicturePreviewTest, NothingForUnreadableFiles) {
    const TempFolder folder;
    const fs::path broken = folder.Path() / "broken.jpg";
    std::ofstream(broken, std::ios::binary) << "\xFF\xD8 not a picture";
    PicturePreview preview;
    for (const fs::path& path : {broken, folder.Path()}) {
        preview.ShowFile(QString::fromStdString(kCamera));
        preview.ShowFile(QString::fromStdString(path.string()));
        EXPECT_TRUE(preview.Thumbnail().isNull()) << path;
        // The camera's answer, read meanwhile, is stale and never shows.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !preview.Pending(); }, 10000)) << path;
        QTest::qWait(50);
        EXPECT_TRUE(preview.Thumbnail().isNull()) << path;
        EXPECT_EQ(preview.SizeText(), "") << path;
    }
}

// ---- Qt's own texts

TEST(QtTranslationsTest, JapaneseOnAJapaneseDesktopEnglishElsewhere) {
    const auto japanese = QtTranslationFor(QLocale(QLocale::Japanese, QLocale::Japan));
    ASSERT_NE(japanese, nullptr)
        << "qtbase_ja.qm in " << QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString();
    EXPECT_NE(japanese->translate("QFileDialog", "Look in:"), "");
    EXPECT_NE(japanese->translate("QFileDialog", "Look in:"), "Look in:");
    EXPECT_NE(japanese->translate("QPlatformTheme", "Cancel"), "");
    for (const QLocale& other : {QLocale(QLocale::English, QLocale::UnitedStates),
                                 QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
        EXPECT_EQ(QtTranslationFor(other), nullptr) << other.name().toStdString();
    }
}

}  // namespace
}  // namespace zelqor
