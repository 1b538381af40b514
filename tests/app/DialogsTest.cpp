// Drives the strength and progress dialogs through their real modal loops, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "TCancelDlg.h"
#include "TInputLevelForm.h"
#include "WhenActive.h"

namespace {

struct Key {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

// Through the window, as the platform delivers keys, so the focused control gets them. The text
// is given because Qt Test has no text of its own for keys such as Break.
void Press(QDialog& dialog, const std::vector<Key>& keys) {
    for (const Key& k : keys)
        QTest::sendKeyEvent(QTest::Click, dialog.windowHandle(), k.key, QString(), k.modifiers);
}

struct LevelCase {
    const char* name;
    int level;
    int openPosition;
    std::vector<Key> keys;
    int expected;
};

TEST(InputLevelForm, KeysChooseTheLevel) {
    const std::vector<LevelCase> cases = {
        {"strongest opens at top, OK keeps it", 4, 0, {{Qt::Key_Return}}, 4},
        {"weakest opens at bottom, Up raises", 0, 4, {{Qt::Key_Up}, {Qt::Key_Return}}, 1},
        {"Down lowers, keypad Enter", 3, 1, {{Qt::Key_Down}, {Qt::Key_Enter}}, 2},
        {"PageUp raises by two", 1, 3, {{Qt::Key_PageUp}, {Qt::Key_Return}}, 3},
        {"End goes to weakest", 2, 2, {{Qt::Key_End}, {Qt::Key_Return}}, 0},
        {"Escape after moving", 2, 2, {{Qt::Key_Up}, {Qt::Key_Escape}}, -1},
        {"Break", 2, 2, {{Qt::Key_Cancel}}, -1},
        {"Ctrl+Pause", 2, 2, {{Qt::Key_Pause, Qt::ControlModifier}}, -1},
        {"Pause alone passes", 1, 3, {{Qt::Key_Pause}, {Qt::Key_Return}}, 1},
    };
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        TInputLevelForm form;
        auto* slider = form.findChild<QSlider*>("LevelTrackBar");
        ASSERT_NE(slider, nullptr);
        WhenActive(form, [&] {
            EXPECT_EQ(QApplication::focusWidget(), slider);
            EXPECT_TRUE(slider->invertedAppearance());  // position 0 drawn at the top
            EXPECT_EQ(slider->value(), c.openPosition);
            Press(form, c.keys);
        });
        EXPECT_EQ(form.InputLevel("強さ", "選択", c.level), c.expected);
    }
}

TEST(InputLevelForm, ShowsCaptionAndPrompt) {
    TInputLevelForm form;
    WhenActive(form, [&] {
        EXPECT_EQ(form.windowTitle(), QString("強調の強さ"));
        EXPECT_EQ(form.findChild<QLabel*>("PromptLabel")->text(), QString("強さを選んでください"));
        Press(form, {{Qt::Key_Escape}});
    });
    EXPECT_EQ(form.InputLevel("強調の強さ", "強さを選んでください", 2), -1);
}

TEST(InputLevelForm, EnterMeansOkEvenOnTheCancelButton) {
    TInputLevelForm form;
    auto* cancel = form.findChild<QPushButton*>("CancelButton");
    WhenActive(form, [&] {
        cancel->setFocus();
        Press(form, {{Qt::Key_Return}});
    });
    EXPECT_EQ(form.InputLevel("c", "p", 3), 3);

    // Shown again, the slider has the keys, not the button that had them last time.
    WhenActive(form, [&] { Press(form, {{Qt::Key_Up}, {Qt::Key_Return}}); });
    EXPECT_EQ(form.InputLevel("c", "p", 2), 3);
}

TEST(InputLevelForm, ButtonsAndCloseBox) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"OkButton", 1}, {"CancelButton", -1}, {"", -1}};
    for (const auto& [button, expected] : cases) {
        SCOPED_TRACE(button);
        TInputLevelForm form;
        WhenActive(form, [&] {
            if (*button)
                QTest::mouseClick(form.findChild<QPushButton*>(button), Qt::LeftButton);
            else
                form.close();
        });
        EXPECT_EQ(form.InputLevel("c", "p", 1), expected);
    }
}

TEST(CancelDlg, EveryWayOutByHandGivesCancel) {
    const std::vector<std::pair<const char*, std::function<void(TCancelDlg&)>>> ways = {
        {"Escape", [](TCancelDlg& d) { Press(d, {{Qt::Key_Escape}}); }},
        {"Alt+C",
         [](TCancelDlg& d) {
             Press(d, {{Qt::Key_C, Qt::AltModifier}});
             // A mnemonic clicks the button after a short press animation.
             EXPECT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 2000));
         }},
        {"close()", [](TCancelDlg& d) { d.close(); }},
        {"close event",
         [](TCancelDlg& d) {
             QCloseEvent event;
             QApplication::sendEvent(&d, &event);
         }},
        {"button",
         [](TCancelDlg& d) {
             QTest::mouseClick(d.findChild<QPushButton*>("CancelBtn"), Qt::LeftButton);
         }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        TCancelDlg dlg;
        WhenActive(dlg, [&] { way(dlg); });
        EXPECT_EQ(dlg.ShowModal(), TCancelDlg::ResultCancel);
        EXPECT_EQ(dlg.ModalResult(), TCancelDlg::ResultCancel);
    }
}

TEST(CancelDlg, SetModalResultClosesOnlyWhenShowing) {
    TCancelDlg dlg;
    dlg.SetModalResult(TCancelDlg::ResultCancel);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.ModalResult(), TCancelDlg::ResultCancel);

    auto* bar = dlg.findChild<QProgressBar*>("ProgressBar");
    bar->setValue(40);
    WhenActive(dlg, [&] {
        EXPECT_EQ(dlg.ModalResult(), TCancelDlg::ResultNone);
        EXPECT_EQ(bar->value(), 0);
        dlg.SetModalResult(TCancelDlg::ResultNone);
        EXPECT_TRUE(dlg.isVisible());
        dlg.SetModalResult(TCancelDlg::ResultOk);
    });
    EXPECT_EQ(dlg.ShowModal(), TCancelDlg::ResultOk);
}

TEST(CancelDlg, ShowingAgainAfterCancelStartsAfresh) {
    TCancelDlg dlg;
    WhenActive(dlg, [&] { Press(dlg, {{Qt::Key_Escape}}); });
    ASSERT_EQ(dlg.ShowModal(), TCancelDlg::ResultCancel);
    WhenActive(dlg, [&] {
        EXPECT_EQ(dlg.ModalResult(), TCancelDlg::ResultNone);
        dlg.SetModalResult(TCancelDlg::ResultOk);
    });
    EXPECT_EQ(dlg.ShowModal(), TCancelDlg::ResultOk);
}

TEST(CancelDlg, ProgressFillsTheBar) {
    struct Case {
        int claimed, rows, value, maximum;
    };
    const std::vector<Case> cases = {
        {0, 10, 0, 10}, {5, 10, 5, 10}, {12, 10, 10, 10}, {-3, 10, 0, 10}, {0, 0, 0, 1}};
    TCancelDlg dlg;
    auto* bar = dlg.findChild<QProgressBar*>("ProgressBar");
    for (const Case& c : cases) {
        dlg.SetProgress(c.claimed, c.rows);
        EXPECT_EQ(bar->value(), c.value) << c.claimed << "/" << c.rows;
        EXPECT_EQ(bar->maximum(), c.maximum) << c.claimed << "/" << c.rows;
    }
}

// The run may not return to the event loop for a while, so the comment is painted at once.
TEST(CancelDlg, CommentIsPaintedWithoutTheEventLoop) {
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    TCancelDlg dlg;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* comment = dlg.findChild<QLabel*>("Comment");
    comment->installEventFilter(&counter);
    dlg.SetComment("読み込み中");
    EXPECT_EQ(comment->text(), QString("読み込み中"));
    EXPECT_GE(counter.paints, 1);
}

}  // namespace
