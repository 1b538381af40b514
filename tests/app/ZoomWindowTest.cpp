// The zoom in the real window under the offscreen platform: keys, menu, status field, wheel,
// middle click and drag on the image pages.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>

#include "../engine/TestImages.h"
#include "FakePlatformServices.h"
#include "TForm1.h"
#include "TPaintPanel.h"

namespace zelqor {
namespace {

using test_images::Noise;

class ZoomWindowTest : public ::testing::Test {
  protected:
    ZoomWindowTest() : window(services) {
        window.CreateDialogs();
        window.resize(600, 500);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QString Field() const { return window.findChild<QLabel*>("ZoomField")->text(); }
    QTabWidget* Pages() const { return window.findChild<QTabWidget*>("PageControl1"); }
    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QTest::keyClick(window.windowHandle(), static_cast<Qt::Key>(key), modifiers);
        QApplication::processEvents();
    }
    // The modal progress dialog of a run leaves the offscreen platform without an active
    // window, and window shortcuts need one.
    void Preview() {
        window.Action("ActionMakePreview")->trigger();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    static void Wheel(TPaintPanel* panel, int delta, QPointF at) {
        QWheelEvent e(at, panel->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(panel, &e);
    }

    FakePlatformServices services;
    TForm1 window;
};

TEST_F(ZoomWindowTest, ViewMenuEntriesAfterASeparatorWithTheirShortcuts) {
    const QList<QAction*> entries = window.findChild<QMenu*>("View1")->actions();
    ASSERT_GE(entries.size(), 5);
    EXPECT_TRUE(entries[entries.size() - 5]->isSeparator());
    QStringList shown;
    for (int i = entries.size() - 4; i < entries.size(); ++i) {
        shown << entries[i]->text() + " " + entries[i]->shortcut().toString();
    }
    EXPECT_EQ(shown.join("|"), QString::fromUtf8("画面に合わせる(&F) Ctrl+0|等倍表示(&P) Ctrl+1|"
                                                 "拡大(&I) Ctrl++|縮小(&O) Ctrl+-"));
    window.ApplyEnglishCaptions();
    EXPECT_EQ(window.Action("ActionViewFit")->text(), "&Fit to Window");
    EXPECT_EQ(window.Action("ActionViewActualPixels")->text(), "Actual &Pixels");
    EXPECT_EQ(window.Action("ActionViewZoomIn")->text(), "Zoom &In");
    EXPECT_EQ(window.Action("ActionViewZoomOut")->text(), "Zoom &Out");
}

// Every key in both spellings; the field names the zoom of the page shown, in its own pixels.
TEST_F(ZoomWindowTest, KeysStepTheZoomAndTheFieldFollowsThePage) {
    EXPECT_EQ(Field(), "");
    Key(Qt::Key_1);
    EXPECT_TRUE(window.Zoom().AtFit()) << "an empty page ignores the zoom keys";

    window.SetSourceImage(Noise(1200, 800, 3));
    QApplication::processEvents();
    const Rect client = window.PaintPanelSrc->ClientRectDevice();
    const Rect fit = FitRect(client, 1200, 800);
    EXPECT_EQ(Field(), QString::fromUtf8("全体 ") +
                           QString::fromStdString(PercentText(fit.Width() * 100.0 / 1200)));
    struct Step {
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* field;
    } steps[] = {
        {Qt::Key_1, Qt::ControlModifier, "100%"},
        {Qt::Key_Plus, Qt::ControlModifier, "200%"},
        {Qt::Key_Equal, Qt::ControlModifier, "300%"},
        {Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier, "400%"},
        {Qt::Key_Minus, Qt::ControlModifier, "300%"},
        {Qt::Key_1, Qt::ControlModifier, "100%"},
    };
    for (const Step& s : steps) {
        Key(s.key, s.modifiers);
        EXPECT_EQ(Field(), s.field) << s.key;
    }
    // The preview keeps the view: on its page the field counts the preview's own pixels.
    Preview();
    ASSERT_EQ(Pages()->currentIndex(), 1);
    const int previewWidth = window.Doc().BitmapDst().Width();
    EXPECT_EQ(Field(), QString::fromStdString(PercentText(120000.0 / previewWidth)));
    EXPECT_FALSE(window.Zoom().AtFit());
    Pages()->setCurrentIndex(2);
    EXPECT_EQ(Field(), "");
    Key(Qt::Key_0);
    EXPECT_FALSE(window.Zoom().AtFit()) << "the options page ignores the zoom keys";
    Pages()->setCurrentIndex(0);
    Key(Qt::Key_0);
    EXPECT_TRUE(window.Zoom().AtFit());
    Key(Qt::Key_1);
    window.SetSourceImage(Noise(300, 200, 4));
    QApplication::processEvents();
    EXPECT_TRUE(window.Zoom().AtFit()) << "a new source starts at fit";
}

// Both pages show the same spot at the same size, whatever the result's size.
TEST_F(ZoomWindowTest, SpaceBlinksTheSameSpot) {
    window.SetSourceImage(Noise(1200, 800, 5));
    Preview();
    Pages()->setCurrentIndex(0);
    Key(Qt::Key_1);
    QTest::mousePress(window.PaintPanelSrc, Qt::LeftButton, {}, QPoint(100, 100));
    QTest::mouseMove(window.PaintPanelSrc, QPoint(40, 70));
    QTest::mouseRelease(window.PaintPanelSrc, Qt::LeftButton, {}, QPoint(40, 70));
    const Rect client = window.PaintPanelSrc->ClientRectDevice();
    const ViewFrame frame{{1200, 800}, {client.Width(), client.Height()}};
    const Rect scene = window.Zoom().SceneRect(frame);
    const WorkingBitmap& dst = window.Doc().BitmapDst();
    const PicturePlacement place = window.Zoom().Place(Size{dst.Width(), dst.Height()}, frame);
    EXPECT_EQ(place.shown, scene);
    const QImage src = window.PaintPanelSrc->grab().toImage();
    const QPoint at(client.Width() / 2, client.Height() / 2);
    EXPECT_EQ(src.pixel(at) & 0xFFFFFF,
              window.Doc().BitmapSrc().Pixel(at.x() - scene.left, at.y() - scene.top) & 0xFFFFFF);
    Key(Qt::Key_Space, Qt::NoModifier);
    ASSERT_EQ(Pages()->currentIndex(), 1);
    const QImage shown = window.PaintPanelDst->grab().toImage();
    const int px = (at.x() - scene.left) * dst.Width() / scene.Width();
    const int py = (at.y() - scene.top) * dst.Height() / scene.Height();
    EXPECT_EQ(shown.pixel(at) & 0xFFFFFF, dst.Pixel(px, py) & 0xFFFFFF);
}

TEST_F(ZoomWindowTest, WheelAboutThePointerCoalescesItsRepaints) {
    window.SetSourceImage(Noise(1200, 800, 6));
    QApplication::processEvents();
    int paints = 0;
    const auto paint = window.PaintPanelSrc->OnPaint;
    window.PaintPanelSrc->OnPaint = [&](TPaintPanel& p) {
        ++paints;
        paint(p);
    };
    const QPointF pointer(123, 77);
    const Rect client = window.PaintPanelSrc->ClientRectDevice();
    const ViewFrame frame{{1200, 800}, {client.Width(), client.Height()}};
    for (int i = 0; i < 8; ++i) {
        Wheel(window.PaintPanelSrc, 60, pointer);  // touchpad halves: four whole steps
    }
    QApplication::processEvents();
    EXPECT_EQ(paints, 1);
    // Four steps, each about the pointer (where the picture is held centred on an axis, the
    // point under the pointer cannot stay there).
    ViewZoom steps;
    for (int i = 0; i < 4; ++i) {
        steps.StepAbout(1, PointD{pointer.x(), pointer.y()}, frame);
    }
    EXPECT_EQ(window.Zoom().Step(), steps.Step());
    EXPECT_EQ(window.Zoom().SceneRect(frame), steps.SceneRect(frame));
    for (int i = 0; i < 100; ++i) {
        Wheel(window.PaintPanelSrc, 120, pointer);
    }
    EXPECT_EQ(window.Zoom().Step(), static_cast<int>(kZoomSteps.size()) - 1);
}

// The middle button toggles fit and 100 % about the pointer; a left drag pans with the hand
// cursor, and a left double-click still tells the size.
TEST_F(ZoomWindowTest, MiddleClickDragAndDoubleClick) {
    window.SetSourceImage(Noise(1200, 800, 7));
    QApplication::processEvents();
    EXPECT_EQ(window.PaintPanelSrc->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(window.PaintPanelSrc, Qt::MiddleButton, {}, QPoint(50, 60));
    EXPECT_EQ(window.Zoom().Step(), kActualPixelsStep);
    EXPECT_EQ(window.PaintPanelSrc->cursor().shape(), Qt::OpenHandCursor);
    const PointD centre = window.Zoom().Centre();
    QTest::mousePress(window.PaintPanelSrc, Qt::LeftButton, {}, QPoint(200, 200));
    EXPECT_EQ(window.PaintPanelSrc->cursor().shape(), Qt::ClosedHandCursor);
    QTest::mouseMove(window.PaintPanelSrc, QPoint(150, 180));
    QTest::mouseRelease(window.PaintPanelSrc, Qt::LeftButton, {}, QPoint(150, 180));
    const double dpr = window.PaintPanelSrc->devicePixelRatioF();
    EXPECT_NEAR(window.Zoom().Centre().x, centre.x + 50 * dpr, 1e-9);
    EXPECT_NEAR(window.Zoom().Centre().y, centre.y + 20 * dpr, 1e-9);
    EXPECT_EQ(window.PaintPanelSrc->cursor().shape(), Qt::OpenHandCursor);
    QTest::mouseDClick(window.PaintPanelSrc, Qt::LeftButton, {}, QPoint(150, 180));
    EXPECT_EQ(services.Texts(), std::vector<std::string>{"Width = 1200\r\nHeight = 800"});
    QTest::mouseClick(window.PaintPanelSrc, Qt::MiddleButton, {}, QPoint(50, 60));
    EXPECT_TRUE(window.Zoom().AtFit());
    EXPECT_EQ(window.PaintPanelSrc->cursor().shape(), Qt::ArrowCursor);
}

}  // namespace
}  // namespace zelqor
