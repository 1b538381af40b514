// The real main window under the offscreen platform, with the scripted platform services.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <regex>

#include "../engine/TestImages.h"
#include "CaptionTable.h"
#include "FakePlatformServices.h"
#include "TCancelDlg.h"
#include "TForm1.h"
#include "TInputLevelForm.h"
#include "TPaintPanel.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

using test_images::Noise;
using test_images::Uniform;

struct KeySpy : QObject {
    int spaces = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space) {
            ++spaces;
        }
        return false;
    }
};

// A pixel as a style shows it.
QRgb Styled(std::uint32_t pixel, int code) {
    WorkingBitmap one(1, 1);
    one.SetPixel(0, 0, pixel);
    MakeViewBitmapAll(&one, code, Rgb{});
    const std::uint32_t p = one.Pixel(0, 0);
    return qRgb(PixelR(p), PixelG(p), PixelB(p));
}

class MainWindowTest : public ::testing::Test {
  protected:
    MainWindowTest() : window(services) {
        window.CreateDialogs();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    int Page() const { return Pages()->currentIndex(); }
    QTabWidget* Pages() const { return window.findChild<QTabWidget*>("PageControl1"); }
    QString LabelText(const char* name) const { return window.findChild<QLabel*>(name)->text(); }
    QString Status() const { return LabelText("StatusText"); }

    // Runs fn as soon as the next modal dialog is up.
    static void WhenModal(std::function<void(QWidget*)> fn) {
        QTimer::singleShot(0, [fn] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            fn(modal);
        });
    }

    // The colour a page shows at a point of the panel, as the user sees it.
    static QRgb Shown(TPaintPanel* panel, QPoint at) { return panel->grab().toImage().pixel(at); }

    FakePlatformServices services;
    TForm1 window;
};

TEST_F(MainWindowTest, StartsWithTitleSourcePageAndValueLabelsOfTheStartPositions) {
    EXPECT_EQ(window.windowTitle(), "ZelqorHDR");
    EXPECT_EQ(Page(), 0);
    EXPECT_EQ(LabelText("Label_HDR"), "5");
    EXPECT_EQ(LabelText("LabelBoke"), QString::fromUtf8("1/200： (0pix)"));
    EXPECT_EQ(LabelText("Label_StdBrightness"), "50%");
    EXPECT_EQ(LabelText("Label_HdrEnhancer"), "1.0");
    // Each bar's top is its strongest setting, and the labels follow a move.
    window.Slider("TrackBar_HdrEnhancer")->setValue(0);
    window.Slider("TrackBar_StdBrightness")->setValue(10);
    window.Slider("TrackBar_CalcSize")->setValue(0);
    window.SetSourceImage(Uniform(4000, 10, MakePixel(1, 2, 3)));
    EXPECT_EQ(LabelText("Label_HdrEnhancer"), "10.0");
    EXPECT_EQ(LabelText("Label_StdBrightness"), "0%");
    EXPECT_EQ(LabelText("LabelBoke"), QString::fromUtf8("1/50： (80pix)"));
}

TEST_F(MainWindowTest, SpaceSwitchesPagesOnlyWithoutModifiersAndStillReachesTheControl) {
    struct Case {
        int from;
        Qt::KeyboardModifiers modifiers;
        int to;
    };
    for (const Case& c : {Case{2, Qt::NoModifier, 1}, Case{1, Qt::NoModifier, 0},
                          Case{0, Qt::NoModifier, 1}, Case{0, Qt::ControlModifier, 0},
                          Case{0, Qt::ShiftModifier, 0}, Case{0, Qt::AltModifier, 0}}) {
        Pages()->setCurrentIndex(c.from);
        QTest::keyClick(window.windowHandle(), Qt::Key_Space, c.modifiers);
        EXPECT_EQ(Page(), c.to) << c.from << " modifiers " << c.modifiers;
    }
    // The window only looks at the key: the control with the focus still gets it.
    Pages()->setCurrentIndex(2);
    auto* luminance = window.findChild<QCheckBox*>("CheckBox_Luminance");
    luminance->setFocus();
    KeySpy spy;
    luminance->installEventFilter(&spy);
    QTest::keyClick(window.windowHandle(), Qt::Key_Space);
    EXPECT_EQ(Page(), 1);
    EXPECT_EQ(spy.spaces, 1);
}

TEST_F(MainWindowTest, MakeActionsRunAtTheirTargetSize) {
    struct Case {
        const char* action;
        int w, h;
        int wantW, wantH;
    };
    const std::regex endText(R"(\d+\.\d\d sec \((\d|,)+ x (\d|,)+\))");
    for (const Case& c :
         {Case{"ActionMake600xN", 1024, 683, 600, 400}, Case{"ActionMake600xN", 200, 300, 400, 600},
          Case{"ActionMake1800xN", 120, 80, 1800, 1200},
          Case{"ActionMakeFullsize", 300, 200, 300, 200},
          Case{"ActionMakeFullsize", 200, 300, 200, 300}}) {
        window.SetSourceImage(Noise(c.w, c.h, 3));
        window.Action(c.action)->trigger();
        EXPECT_EQ(window.Doc().BitmapDst().Width(), c.wantW) << c.action << " " << c.w;
        EXPECT_EQ(window.Doc().BitmapDst().Height(), c.wantH) << c.action << " " << c.w;
        EXPECT_TRUE(std::regex_match(Status().toStdString(), endText)) << Status().toStdString();
        EXPECT_EQ(window.windowTitle(), "ZelqorHDR");
        EXPECT_EQ(Page(), 1);
        EXPECT_FALSE(window.CancelDlg()->isVisible());
    }
    EXPECT_TRUE(services.boxes.empty());
    EXPECT_EQ(window.CancelDlg()->ModalResult(), TCancelDlg::ResultOk);
}

TEST_F(MainWindowTest, EndTextUsesTheLocaleGrouping) {
    services.numberFormat = NumberFormat{".", ","};
    window.SetSourceImage(Noise(120, 80, 3));
    window.Action("ActionMake1200xN")->trigger();
    EXPECT_TRUE(Status().endsWith(" sec (1.200 x 800)")) << Status().toStdString();
    EXPECT_TRUE(Status().contains(',')) << Status().toStdString();
}

TEST_F(MainWindowTest, LargeSizeNoticeInTheUsersLanguage) {
    window.Slider("TrackBar_CalcSize")->setValue(0);  // D = 50
    for (const auto& [japanese, text] :
         {std::pair{true, "大サイズ演算モード（低速演算）で実行します"},
          std::pair{false, "Large-size calculation mode (slower calculation)"}}) {
        services.japanese = japanese;
        services.boxes.clear();
        window.SetSourceImage(Noise(4200, 3, 1));  // r = 84: the 64-bit sums
        window.Action("ActionMakeFullsize")->trigger();
        EXPECT_EQ(services.Texts(), std::vector<std::string>{text});
        EXPECT_EQ(window.Doc().BitmapDst().Width(), 4200);
    }
}

TEST_F(MainWindowTest, NoInputBitmapClosesTheDialogWithoutCanceled) {
    for (const char* action : {"ActionMake600xN", "ActionMakeFullsize", "ActionMakePreview"}) {
        services.boxes.clear();
        window.Action(action)->trigger();
        EXPECT_EQ(services.Texts(), std::vector<std::string>{"no input bitmap"}) << action;
        EXPECT_EQ(services.boxes.front().caption, "ZelqorHDR");
        EXPECT_FALSE(window.CancelDlg()->isVisible());
        EXPECT_FALSE(window.Doc().BitmapDst().HoldsImage());
    }
}

// Cancelled by each of the user's three ways: rows claimed before the cancel are processed, the
// rest are the unprocessed copy, and "Canceled" follows. A preview started afterwards runs to its
// end although the dialog still holds the cancel.
TEST_F(MainWindowTest, CancelledRunKeepsProcessedRowsAboveAndTheCopyBelow) {
    // The literal engine is slow enough that the cancel lands in the middle of the image.
    window.Runs().Engine().SetEngine(RunEngine::Literal);
    window.Slider("TrackBar_CalcSize")->setValue(0);  // r = 12 on 600 x 400
    const WorkingBitmap src = Noise(600, 400, 21);
    WorkingBitmap reference;
    {
        window.SetSourceImage(src);
        window.Action("ActionMakeFullsize")->trigger();
        reference = window.Doc().BitmapDst();
    }
    using Cancel = std::function<void(TCancelDlg*)>;
    const std::pair<const char*, Cancel> ways[] = {
        {"button",
         [](TCancelDlg* d) {
             QTest::mouseClick(d->findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
         }},
        {"escape", [](TCancelDlg* d) { QTest::keyClick(d->windowHandle(), Qt::Key_Escape); }},
        {"close box", [](TCancelDlg* d) { d->close(); }},
    };
    for (const auto& [name, cancel] : ways) {
        window.SetSourceImage(src);
        services.boxes.clear();
        bool cancelled = false;
        window.OnRunProgress = [&](int claimed, int count) {
            if (!cancelled && claimed > 0 && claimed < count) {
                cancelled = true;
                cancel(window.CancelDlg());
            }
        };
        window.Action("ActionMakeFullsize")->trigger();
        window.OnRunProgress = nullptr;
        ASSERT_TRUE(cancelled) << name;
        EXPECT_EQ(services.Texts(), std::vector<std::string>{"Canceled"}) << name;
        const WorkingBitmap& dst = window.Doc().BitmapDst();
        ASSERT_EQ(dst.Width(), 600);
        ASSERT_EQ(dst.Height(), 400);
        int processed = 0;
        while (processed < 400 && std::equal(dst.Row(processed), dst.Row(processed) + 2400,
                                             reference.Row(processed))) {
            ++processed;
        }
        EXPECT_GT(processed, 0) << name;
        EXPECT_LT(processed, 400) << name;
        for (int y = processed; y < 400; ++y) {
            ASSERT_TRUE(std::equal(dst.Row(y), dst.Row(y) + 2400, src.Row(y))) << name << y;
        }
        EXPECT_TRUE(std::regex_search(Status().toStdString(), std::regex(R"(sec \(600 x 400\))")));
        EXPECT_EQ(Page(), 1);
    }
    window.Runs().Engine().SetEngine(RunEngine::Fast);
    window.SetSourceImage(src);
    services.boxes.clear();
    QTest::mouseDClick(window.PaintPanelDst, Qt::LeftButton);
    const Rect fit =
        FitRect(Rect{0, 0, window.PaintPanelSrc->width(), window.PaintPanelSrc->height()}, src);
    EXPECT_EQ(window.Doc().BitmapDst().Width(), fit.Width());
    EXPECT_EQ(services.Texts().size(), 1u) << "the question only, no Canceled";
}

// An error while a run waits (here thrown by the progress hook, as any event handler could)
// ends the run cleanly: the error box, the dialog closed, the previous result kept, and the
// window fit for the next run, from the menu and from the preview question alike.
TEST_F(MainWindowTest, ErrorDuringARunEndsItAndTheWindowGoesOn) {
    window.SetSourceImage(Noise(300, 200, 6));
    window.Action("ActionMake600xN")->trigger();
    const WorkingBitmap previous = window.Doc().BitmapDst();
    for (const char* how : {"menu", "preview"}) {
        services.boxes.clear();
        window.OnRunProgress = [](int, int) { throw std::runtime_error("disk on fire"); };
        if (std::string(how) == "menu") {
            window.Action("ActionMake800xN")->trigger();
        } else {
            window.SetSourceImage(Noise(300, 200, 6));
            QTest::mouseDClick(window.PaintPanelDst, Qt::LeftButton);
        }
        window.OnRunProgress = nullptr;
        ASSERT_FALSE(services.boxes.empty()) << how;
        EXPECT_EQ(services.boxes.back().kind, FakePlatformServices::Kind::Error);
        EXPECT_EQ(services.boxes.back().text, "disk on fire");
        EXPECT_FALSE(window.CancelDlg()->isVisible());
        EXPECT_FALSE(window.RunInProgress());
        EXPECT_EQ(window.windowTitle(), "ZelqorHDR");
        EXPECT_TRUE(window.Action("ActionMake800xN")->isEnabled());
        if (std::string(how) == "menu") {
            EXPECT_EQ(window.Doc().BitmapDst(), previous);
        } else {
            EXPECT_FALSE(window.Doc().BitmapDst().HoldsImage());
        }
    }
    services.boxes.clear();
    window.Action("ActionMake800xN")->trigger();
    EXPECT_EQ(window.Doc().BitmapDst().Width(), 800);
    EXPECT_TRUE(services.boxes.empty());
}

TEST_F(MainWindowTest, PreviewQuestionInBothLanguagesAndSizeMessages) {
    struct Case {
        bool japanese;
        bool ok;
        const char* question;
    };
    for (const Case& c : {Case{true, false, "プレビュー画像を作成しますか?"},
                          Case{false, false, "Create Preview Image?"},
                          Case{true, true, "プレビュー画像を作成しますか?"},
                          Case{false, true, "Create Preview Image?"}}) {
        window.SetSourceImage(Noise(300, 200, 5));
        services.japanese = c.japanese;
        services.boxes.clear();
        services.okCancelAnswers = {c.ok};
        QTest::mouseDClick(window.PaintPanelDst, Qt::LeftButton);
        ASSERT_EQ(services.boxes.size(), 1u);
        EXPECT_EQ(services.boxes[0].kind, FakePlatformServices::Kind::Question);
        EXPECT_EQ(services.boxes[0].text, c.question);
        EXPECT_EQ(services.boxes[0].caption, "ZelqorHDR");
        EXPECT_EQ(window.Doc().BitmapDst().HoldsImage(), c.ok);
        EXPECT_FALSE(window.CancelDlg()->isVisible());
    }
    // After a run the processed page's double-click tells the result's size instead.
    services.boxes.clear();
    QTest::mouseDClick(window.PaintPanelDst, Qt::LeftButton);
    QTest::mouseDClick(window.PaintPanelSrc, Qt::LeftButton);
    const WorkingBitmap& dst = window.Doc().BitmapDst();
    EXPECT_EQ(services.Texts(),
              (std::vector<std::string>{"Width = " + std::to_string(dst.Width()) +
                                            "\r\nHeight = " + std::to_string(dst.Height()),
                                        "Width = 300\r\nHeight = 200"}));
}

TEST_F(MainWindowTest, NothingAskedOnPagesWithoutImages) {
    QTest::mouseDClick(window.PaintPanelSrc, Qt::LeftButton);
    QTest::mouseDClick(window.PaintPanelDst, Qt::LeftButton);
    EXPECT_TRUE(services.boxes.empty());
}

// While a run is in progress no second run starts, nothing replaces the images, and the
// processed page keeps painting the previous result, never rows the workers are writing.
TEST_F(MainWindowTest, NoSecondRunWhileOneIsInProgress) {
    window.Runs().Engine().SetEngine(RunEngine::Literal);
    window.Slider("TrackBar_CalcSize")->setValue(0);
    window.SetSourceImage(Noise(400, 300, 8));
    window.Action("ActionMake600xN")->trigger();
    const WorkingBitmap previous = window.Doc().BitmapDst();
    ASSERT_EQ(Page(), 1);
    const QImage shownBefore = window.PaintPanelDst->grab().toImage();
    window.Slider("TrackBar_HDR")->setValue(0);  // a visibly different result
    int polls = 0;
    window.OnRunProgress = [&](int claimed, int count) {
        if (claimed == 0 || claimed == count) {
            return;
        }
        if (polls++ == 0) {
            EXPECT_FALSE(window.Action("ActionMake800xN")->isEnabled());
            window.Action("ActionMake800xN")->trigger();
            window.StartRun(1200);
            EXPECT_THROW(window.Doc().SetSource(Noise(2, 2, 1)), std::logic_error);
            window.close();  // closing waits for the run
        }
        window.PaintPanelDst->repaint();
        EXPECT_EQ(window.PaintPanelDst->grab().toImage(), shownBefore);
    };
    window.Action("ActionMake600xN")->trigger();
    window.OnRunProgress = nullptr;
    EXPECT_GT(polls, 0);
    EXPECT_EQ(window.Doc().BitmapDst().Width(), 600);
    EXPECT_NE(window.Doc().BitmapDst(), previous);
    EXPECT_TRUE(services.boxes.empty());
    EXPECT_TRUE(window.Action("ActionMake800xN")->isEnabled());
    QApplication::processEvents();
    EXPECT_FALSE(window.isVisible()) << "the close asked for during the run follows it";
}

// The level dialog opens at the strength the style's level stands for; Enter confirms it, Up
// raises it, Escape keeps everything as it was.
TEST_F(MainWindowTest, LevelDialogForStyles) {
    struct Case {
        const char* action;
        std::vector<Qt::Key> keys;
        int thumbAtOpen;  // 0 is the top of the bar
        int wantCode;
    };
    const Case cases[] = {
        {"ActionViewBW", {Qt::Key_Enter}, 0, 10000},  // first time: strongest grey
        {"ActionViewVivid", {Qt::Key_Up, Qt::Key_Enter}, 4, 20001},
        {"ActionViewVivid", {Qt::Key_Up, Qt::Key_Up, Qt::Key_Return}, 3, 20003},
        {"ActionViewSepia", {Qt::Key_Down, Qt::Key_Escape}, 0, 20003},  // cancelled
        {"ActionViewSepia", {Qt::Key_Down, Qt::Key_Down, Qt::Key_Enter}, 0, 50002},
        {"ActionViewSepia", {Qt::Key_Enter}, 2, 50002},  // asked again at its own level
    };
    for (const Case& c : cases) {
        int thumb = -1;
        QString caption, prompt;
        WhenModal([&](QWidget* dialog) {
            auto* bar = dialog->findChild<QSlider*>("LevelTrackBar");
            thumb = bar->value();
            caption = dialog->windowTitle();
            prompt = dialog->findChild<QLabel*>("PromptLabel")->text();
            for (Qt::Key k : c.keys) {
                QTest::keyClick(dialog->windowHandle(), k);
            }
        });
        window.Action(c.action)->trigger();
        EXPECT_EQ(thumb, c.thumbAtOpen) << c.action;
        EXPECT_EQ(caption, QString::fromUtf8("表示"));
        EXPECT_EQ(prompt, window.Action(c.action)->text());
        EXPECT_EQ(window.CurrentViewCode(), c.wantCode) << c.action;
        EXPECT_EQ(window.LastViewCode(), c.wantCode);
        EXPECT_TRUE(window.Action(c.wantCode >= 50000 ? "ActionViewSepia" : "ActionViewVivid")
                        ->isChecked() ||
                    c.wantCode == 10000);
    }
    // The Escape on Sepia left Vivid at level 3 ticked and Sepia's level alone; the English
    // desktop gets an English caption.
    services.japanese = false;
    QString caption;
    WhenModal([&](QWidget* dialog) {
        caption = dialog->windowTitle();
        dialog->close();
    });
    window.Action("ActionViewUguisu")->trigger();
    EXPECT_EQ(caption, "View");
    EXPECT_EQ(window.CurrentViewCode(), 50002);
    EXPECT_TRUE(window.Action("ActionViewSepia")->isChecked());
    EXPECT_FALSE(window.Action("ActionViewUguisu")->isChecked());
}

TEST_F(MainWindowTest, ColourDialogCancelRestoresThePreviousTick) {
    WhenModal([](QWidget* dialog) {
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Up);
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Enter);
    });
    window.Action("ActionViewVivid")->trigger();
    ASSERT_EQ(window.CurrentViewCode(), 20001);
    services.colourAnswers = {std::nullopt, Rgb{128, 128, 128}};
    window.Action("ActionViewColorish")->trigger();
    EXPECT_EQ(window.CurrentViewCode(), 20001);
    EXPECT_TRUE(window.Action("ActionViewVivid")->isChecked());
    EXPECT_FALSE(window.Action("ActionViewColorish")->isChecked());
    window.Action("ActionViewColorish")->trigger();
    EXPECT_EQ(window.CurrentViewCode(), 1);
    // Black before the first confirmed colour, then the confirmed one.
    ASSERT_EQ(services.colourRequests.size(), 2u);
    EXPECT_EQ(services.colourRequests[0].r, 0);
    EXPECT_EQ(services.colourRequests[1].r, 0);
    EXPECT_EQ(window.ViewMenu().Tint().g, 128);
}

// What a page shows: the image in the ticked style on the processed page; on the source page
// only with ActionViewAffectSrc; the background around the fitted image in the panel's colour.
TEST_F(MainWindowTest, PagesPaintTheImageInTheStyle) {
    window.resize(600, 600);
    window.SetSourceImage(Uniform(400, 100, MakePixel(200, 100, 50)));
    window.Action("ActionMakePreview")->trigger();  // a uniform image stays uniform
    const std::uint32_t source = MakePixel(200, 100, 50);
    const std::uint32_t processed = window.Doc().BitmapDst().Pixel(0, 0);
    WhenModal([](QWidget* dialog) {
        for (int i = 0; i < 2; ++i) {
            QTest::keyClick(dialog->windowHandle(), Qt::Key_Down);
        }
        QTest::keyClick(dialog->windowHandle(), Qt::Key_Enter);
    });
    window.Action("ActionViewSepia")->trigger();
    ASSERT_EQ(window.CurrentViewCode(), 50002);
    struct Case {
        int page;
        bool affectSrc;
        QRgb want;
    };
    for (const Case& c :
         {Case{1, false, Styled(processed, 50002)}, Case{0, false, Styled(source, 0)},
          Case{0, true, Styled(source, 50002)}, Case{1, true, Styled(processed, 50002)}}) {
        if (window.Action("ActionViewAffectSrc")->isChecked() != c.affectSrc) {
            window.Action("ActionViewAffectSrc")->trigger();
        }
        Pages()->setCurrentIndex(c.page);
        TPaintPanel* panel = c.page == 0 ? window.PaintPanelSrc : window.PaintPanelDst;
        const QPoint centre(panel->width() / 2, panel->height() / 2);
        EXPECT_EQ(Shown(panel, centre), c.want) << c.page << " " << c.affectSrc;
        // A wide image leaves bands above and below in the panel's own colour.
        EXPECT_EQ(Shown(panel, QPoint(centre.x(), 1)),
                  panel->palette().color(QPalette::Window).rgb());
    }
    // A repaint of part of the panel shows the same pixels as a full one.
    const QImage full = window.PaintPanelDst->grab().toImage();
    const QRect part(50, window.PaintPanelDst->height() / 2 - 20, 37, 41);
    EXPECT_EQ(window.PaintPanelDst->grab(part).toImage(), full.copy(part));
}

TEST_F(MainWindowTest, PreviewGroupFollowsTheOptionsAndItsDoubleClickRunsThePreview) {
    Pages()->setCurrentIndex(2);
    const auto* box = window.findChild<QGroupBox*>("GroupBox_Preview");
    const auto* page = window.findChild<QWidget*>("TabSheetParams");
    EXPECT_EQ(QRect(box->mapTo(page, QPoint()), box->size()),
              QRect(295, 247, page->width() - 300, page->height() - 252));
    window.SetSourceImage(Noise(300, 200, 3));
    window.Slider("TrackBar_HDR")->setValue(0);
    window.findChild<QCheckBox*>("CheckBox_Luminance")->setChecked(false);
    const RunSettings strong{ToneParams{10, 382, 4, false}, 200};
    struct : RunObserver {
        bool Poll(int, int) override { return false; }
    } quiet;
    TPaintPanel* panel = window.PaintPanelPreview;
    const Rect area = panel->ClientRectDevice();
    WorkingBitmap expected;
    ProcessingRun().MakeProcessedImage(window.Doc().BitmapSrc(), 0, area, strong, expected, quiet);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Thumbnail().Picture() == expected; }, 20000));
    const Rect fit = FitRect(area, expected);
    const QPoint centre(panel->width() / 2, panel->height() / 2);
    window.SelectViewCode(50002);
    EXPECT_EQ(Shown(panel, centre),
              Styled(expected.Pixel(centre.x() - fit.left, centre.y() - fit.top), 50002));
    // An addition: the thumbnail's double-click is Ctrl+P.
    QTest::mouseDClick(panel, Qt::LeftButton);
    EXPECT_EQ(window.Doc().BitmapDst().Width(), window.PaintPanelSrc->width());
    EXPECT_EQ(Page(), 1);
}

// An addition: a click opens the loupe on the full-size result, Esc closes it; neither touches
// the result, the title or the status bar.
TEST_F(MainWindowTest, PreviewClickOpensTheLoupeOnTheFullSizeResultAndEscClosesIt) {
    window.SetSourceImage(Noise(900, 600, 4));
    Pages()->setCurrentIndex(2);
    const auto* box = window.findChild<QGroupBox*>("GroupBox_Preview");
    EXPECT_EQ(box->toolTip(), QString::fromStdString(std::string(kPreviewToolTip.japanese)));
    TPaintPanel* panel = window.PaintPanelPreview;
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Thumbnail().Idle(); }, 20000));
    const QString title = window.windowTitle();
    const QString status = Status();
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(panel->width() / 2, panel->height() / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Loupe().Showing(); }, 20000));
    struct : RunObserver {
        bool Poll(int, int) override { return false; }
    } quiet;
    WorkingBitmap full;
    ProcessingRun().MakeProcessedImage(window.Doc().BitmapSrc(), 900, Rect{}, RunSettings{}, full,
                                       quiet);
    const Rect region = window.Loupe().Region();
    const Rect client = panel->ClientRectDevice();
    EXPECT_EQ(region.Width(), std::min(client.Width(), 900));
    window.SelectViewCode(50002);
    for (const QPoint at : {QPoint(3, 3), QPoint(panel->width() / 2, panel->height() / 3)}) {
        const int x = region.left + at.x() - (client.Width() - region.Width()) / 2;
        const int y = region.top + at.y() - (client.Height() - region.Height()) / 2;
        EXPECT_EQ(Shown(panel, at), Styled(full.Pixel(x, y), 50002)) << x << "," << y;
    }
    EXPECT_FALSE(window.Doc().BitmapDst().HoldsImage());
    EXPECT_EQ(window.windowTitle(), title);
    EXPECT_EQ(Status(), status);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(window.Loupe().Active());
}

// A file named at start goes the open dialog's way, to the same state or the same box, with a name
// of spaces and Japanese; the window stays up.
TEST(MainWindowFileArgument, OpensAsTheOpenDialogsChoiceDoes) {
    const TempFolder folder;
    const std::string photo = (folder / "夕焼け の 写真.jpg").string();
    std::filesystem::copy_file(ZELQOR_TESTDATA_DIR "/jpeg/exif/Canon_40D.jpg", photo);
    // What the user sees and what a save would carry.
    const auto state = [](TForm1& w, const FakePlatformServices& s) {
        return std::tuple(w.findChild<QTabWidget*>("PageControl1")->currentIndex(), s.Texts(),
                          w.Doc().BitmapSrc(), w.Doc().ExifSegmentBuffer(),
                          w.findChild<QLabel*>("LabelBoke")->text(),
                          w.Files().SaveDialogFileName());
    };
    for (const bool exists : {true, false}) {
        const std::string name = exists ? photo : (folder / "無い 写真.jpg").string();
        SCOPED_TRACE(name);
        FakePlatformServices byDialog, byArgument;
        TForm1 dialogWindow(byDialog), window(byArgument);
        window.show();
        for (TForm1* w : {&dialogWindow, &window}) {
            w->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(2);
        }
        byDialog.fileAnswers = {name};
        dialogWindow.Action("ActionFileOpen")->trigger();
        window.OpenFile(name);
        EXPECT_EQ(state(window, byArgument), state(dialogWindow, byDialog));
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(byArgument.boxes.empty(), exists);
        EXPECT_EQ(window.Doc().ExifSegmentBuffer().empty(), !exists);
    }
}

}  // namespace
}  // namespace zelqor
