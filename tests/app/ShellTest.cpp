// The option-group double-clicks and the English caption set, on the real window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "FakePlatformServices.h"
#include "TCancelDlg.h"
#include "TForm1.h"
#include "TempFolder.h"

namespace zelqor {
namespace {

using Positions = std::vector<int>;  // HDR, CalcSize, StdBrightness, HdrEnhancer, JpegQuality

class ShellTest : public ::testing::Test {
  protected:
    void Start(bool japanese) {
        services.japanese = japanese;
        window = std::make_unique<TForm1>(services);
        window->CreateDialogs();
        window->show();
    }
    Positions Now() const {
        Positions p;
        for (const ParameterInfo& row : ParameterTable()) {
            p.push_back(window->Slider(row.slider)->value());
        }
        return p;
    }
    void Set(const Positions& p) {
        for (std::size_t i = 0; i < p.size(); ++i) {
            window->Slider(ParameterTable()[i].slider)->setValue(p[i]);
        }
    }
    void DoubleClick(const char* box) {
        // The top-left corner of the frame holds no control.
        QTest::mouseDClick(window->findChild<QGroupBox*>(box), Qt::LeftButton, {}, QPoint(2, 3));
    }
    template <typename T>
    T* Find(const char* name) const {
        return window->findChild<T*>(name);
    }

    FakePlatformServices services;
    std::unique_ptr<TForm1> window;
};

TEST_F(ShellTest, GroupDoubleClicksResetToggleAndCycle) {
    Start(true);
    struct Case {
        const char* box;
        Positions from;
        std::vector<Positions> after;  // after each double-click
    };
    const Case cases[] = {
        {"GroupBox_HdrIntensity", {5, 5, 5, 18, 3}, {{0, 5, 5, 18, 3}, {5, 5, 5, 18, 3}}},
        {"GroupBox_HdrIntensity", {8, 5, 5, 18, 3}, {{5, 5, 5, 18, 3}}},
        {"GroupBox_CalcSize", {5, 5, 5, 18, 3}, {{5, 0, 5, 18, 3}, {5, 5, 5, 18, 3}}},
        {"GroupBox_HdrBorder", {5, 5, 2, 18, 3}, {{5, 5, 5, 18, 3}, {5, 5, 5, 18, 3}}},
        {"GroupBox_HdrEnhancer", {5, 5, 5, 18, 3}, {{5, 5, 5, 10, 3}, {5, 5, 5, 18, 3}}},
        {"GroupBox_HdrEnhancer", {5, 5, 5, 3, 3}, {{5, 5, 5, 18, 3}}},
        {"GroupBox_SaveParams", {5, 5, 5, 18, 3}, {{5, 5, 5, 18, 0}, {5, 5, 5, 18, 3}}},
        {"GroupBox_HdrParams",
         {5, 5, 5, 18, 7},
         {{0, 4, 5, 10, 7}, {0, 3, 5, 0, 7}, {10, 10, 5, 20, 7}, {5, 5, 5, 18, 7}}},
        {"GroupBox_HdrParams", {5, 5, 4, 18, 3}, {{5, 5, 5, 18, 3}}},
    };
    for (const Case& c : cases) {
        Set(c.from);
        Find<QRadioButton>("RadioGroup_Exif_0")->setChecked(true);
        for (std::size_t i = 0; i < c.after.size(); ++i) {
            DoubleClick(c.box);
            EXPECT_EQ(Now(), c.after[i]) << c.box << " click " << i + 1;
        }
        // Only the save group selects the Exif copy.
        EXPECT_EQ(Find<QRadioButton>("RadioGroup_Exif_1")->isChecked(),
                  std::string(c.box) == "GroupBox_SaveParams");
    }
    // The labels follow the bars the shortcut moved.
    EXPECT_EQ(Find<QLabel>("Label_HdrEnhancer")->text(), "1.0");
}

TEST_F(ShellTest, DoubleClicksOnControlsInsideAGroupDoNothing) {
    Start(true);
    Set({8, 2, 2, 3, 7});
    QTest::mouseDClick(window->Slider("TrackBar_HDR"), Qt::LeftButton, {}, QPoint(10, 2));
    QTest::mouseDClick(Find<QLabel>("Label_Hard"), Qt::LeftButton);
    QTest::mouseDClick(Find<QLabel>("Label_StdBrightness"), Qt::LeftButton);
    QTest::mouseDClick(Find<QRadioButton>("RadioGroup_Exif_0"), Qt::LeftButton);
    const Positions now = Now();
    EXPECT_EQ(Positions(now.begin() + 1, now.end()), (Positions{2, 2, 3, 7}));
    EXPECT_NE(now[0], 5) << "a double-click on a bar is the bar's own";
}

TEST_F(ShellTest, WithoutASenderTheTogglesReset) {
    Start(true);
    Set({5, 5, 5, 18, 3});
    QSignalSpy moved(window->Slider("TrackBar_HDR"), &QSlider::valueChanged);
    for (const char* group : {"GroupBox_HdrIntensity", "GroupBox_CalcSize", "GroupBox_HdrEnhancer",
                              "GroupBox_SaveParams"}) {
        window->GroupBoxDblClick(group, nullptr);
    }
    EXPECT_EQ(Now(), (Positions{5, 5, 5, 18, 3})) << "already at the reset positions";
    EXPECT_EQ(moved.count(), 0) << "a bar that stays runs no change handler";
}

TEST_F(ShellTest, EnglishCaptionsOnANonJapaneseDesktop) {
    Start(false);
    EXPECT_EQ(window->windowTitle(), "\"Zelqor\"-HDR");
    struct Case {
        const char* object;
        QString text;
    };
    const auto menuTitle = [&](const char* name) { return Find<QMenu>(name)->title(); };
    const auto action = [&](const char* name) { return window->Action(name)->text(); };
    const auto tab = [&](int i) { return Find<QTabWidget>("PageControl1")->tabText(i); };
    const Case cases[] = {
        {"File1", menuTitle("File1")},
        {"ActionFileExit", action("ActionFileExit")},
        {"Make1", menuTitle("Make1")},
        {"ActionViewUguisu", action("ActionViewUguisu")},
        {"ActionViewMattari", action("ActionViewMattari")},
        {"ActionViewColorish", action("ActionViewColorish")},
        {"ActionMake600xN", action("ActionMake600xN")},
        {"Preview1", window->findChild<QAction*>("Preview1")->text()},
        {"tabs", tab(0) + "|" + tab(1) + "|" + tab(2)},
        {"GroupBox_HdrBorder", Find<QGroupBox>("GroupBox_HdrBorder")->title()},
        {"GroupBox_HdrEnhancer", Find<QGroupBox>("GroupBox_HdrEnhancer")->title()},
        {"Label_QuickCalc", Find<QLabel>("Label_QuickCalc")->text()},
        {"Label1", Find<QLabel>("Label1")->text()},
        {"RadioGroup_Exif", Find<QGroupBox>("RadioGroup_Exif")->title()},
        {"items", Find<QRadioButton>("RadioGroup_Exif_0")->text() + "|" +
                      Find<QRadioButton>("RadioGroup_Exif_2")->text()},
        {"TCancelDlg", window->CancelDlg()->windowTitle() + "|" +
                           window->CancelDlg()->findChild<QPushButton*>("CancelBtn")->text()},
        {"TInputLevelForm", window->findChild<QPushButton*>("CancelButton")->text() + "|" +
                                window->findChild<QPushButton*>("OkButton")->text()},
    };
    const QString want[] = {
        "&File",
        "E&xit",
        "&Make",
        "&Uguisu(Japanese Bush-warbler)",
        "Mattari",
        QString::fromUtf8("「○色」っぽい(&C)"),
        "600 x N",
        "&Preview",
        "Original|Processed|Params",
        "Bright/Dark border",
        QString::fromUtf8("細部の強調"),
        "Quick Calc",
        QString::fromUtf8("強"),
        "Exif",
        "no-Exif|Copy with Size-info",
        "Processing...|&Cancel",
        "&Cancel|&Ok",
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].text, want[i]) << cases[i].object;
    }
    EXPECT_TRUE(Find<QRadioButton>("RadioGroup_Exif_1")->isChecked()) << "selection kept";
    // Boxes carry the English title.
    window->Action("ActionMake600xN")->trigger();
    ASSERT_EQ(services.boxes.size(), 1u);
    EXPECT_EQ(services.boxes[0].caption, "\"Zelqor\"-HDR");
}

// A settings file beside the program or in the user's folder reveals hidden View entries.
TEST_F(ShellTest, SettingsFilesRevealHiddenViewEntries) {
    const TempFolder temp;
    const std::filesystem::path& folder = temp.Path();
    const auto write = [&](const char* name, const char* text) {
        std::ofstream(folder / name) << text;
        return (folder / name).string();
    };
    services.settingsFiles = {write("beside.ini", "[view]\n30000=\n"),
                              write("user.ini", "[View]\r\n6=1\r\n030000=1\r\n")};
    Start(true);
    QStringList shown;
    for (QAction* a : Find<QMenu>("View1")->actions()) {
        if (a->isVisible() && !a->isSeparator()) {
            shown << a->text();
        }
    }
    EXPECT_EQ(shown.join("|"),
              QString::fromUtf8("標準(&D)|鮮やか(&V)|白黒(&K)|まったり(&M)|セピア(&S)|"
                                "鶯(&U)|「○色」っぽい(&C)|青っぽい(&B)・試作|"
                                "[処理前] の表示も変える(&A)|画面に合わせる(&F)|等倍表示(&P)|"
                                "拡大(&I)|縮小(&O)"));
}

TEST_F(ShellTest, VersionDialogShowsTheTitleAndItsMailLinkGoesToTheDesktop) {
    Start(false);
    QString product, caption;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        product = box->findChild<QLabel*>("ProductName")->text();
        QTest::mouseClick(box->findChild<QLabel*>("Mailto"), Qt::LeftButton);
        box->close();
    });
    window->Action("ActionHelpAbout")->trigger();
    EXPECT_EQ(caption, "Version Info");
    EXPECT_EQ(product, "\"Zelqor\"-HDR");
    ASSERT_EQ(services.openedUrls.size(), 1u);
    EXPECT_EQ(services.openedUrls[0].rfind("mailto:", 0), 0u);
}

TEST_F(ShellTest, JapaneseDesktopKeepsTheJapaneseCaptions) {
    Start(true);
    EXPECT_EQ(window->windowTitle(), "ZelqorHDR");
    EXPECT_EQ(Find<QMenu>("File1")->title(), QString::fromUtf8("ファイル(&F)"));
    EXPECT_EQ(window->CancelDlg()->windowTitle(), QString::fromUtf8("処理中です"));
    EXPECT_EQ(Find<QRadioButton>("RadioGroup_Exif_2")->text(),
              QString::fromUtf8("画像サイズを修正してコピー"));
}

}  // namespace
}  // namespace zelqor
