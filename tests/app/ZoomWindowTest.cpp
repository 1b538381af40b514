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
    // The run's modal dialog leaves the offscreen platform without an active window, and the
    // window's shortcuts need one.
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

// The menu's entries, every key in both spellings, the field naming the zoom of the page shown
// in that page's own pixels, and both pages on the same spot.
TEST_F(ZoomWindowTest, KeysMenuFieldAndTheSameSpotOnBothPages) {
    const QList<QAction*> entries = window.findChild<QMenu*>("View1")->actions();
    QStringList shown;
    for (qsizetype i = entries.size() - 5; i < entries.size(); ++i) {
        shown << entries[i]->text() + " " + entries[i]->shortcut().toString();
    }
    EXPECT_EQ(shown.join("|"), QString::fromUtf8(" |画面に合わせる(&F) Ctrl+0|等倍表示(&P) Ctrl+1|"
                                                 "拡大(&I) Ctrl++|縮小(&O) Ctrl+-"));
    EXPECT_EQ(Field(), "");
    Key(Qt::Key_1);
    EXPECT_TRUE(window.Zoom().AtFit()) << "an empty page ignores the zoom keys";

    window.SetSourceImage(Noise(1200, 800, 3));
    QApplication::processEvents();
    const Rect client = window.PaintPanelSrc->ClientRectDevice();
    EXPECT_EQ(Field().toStdString(),
              "全体 " + PercentText(FitRect(client, 1200, 800).Width() * 100.0 / 1200));
    const std::pair<int, Qt::KeyboardModifiers> keys[] = {{Qt::Key_1, {}},
                                                          {Qt::Key_Plus, {}},
                                                          {Qt::Key_Equal, {}},
                                                          {Qt::Key_Plus, Qt::KeypadModifier},
                                                          {Qt::Key_Minus, {}}};
    QStringList fields;
    for (const auto& [key, modifiers] : keys) {
        Key(key, Qt::ControlModifier | modifiers);
        fields << Field();
    }
    EXPECT_EQ(fields.join(" "), "100% 200% 300% 400% 300%");

    // The preview keeps the view, and shows the spot the source page shows.
    Preview();
    ASSERT_EQ(Pages()->currentIndex(), 1);
    const WorkingBitmap& dst = window.Doc().BitmapDst();
    EXPECT_EQ(Field().toStdString(), PercentText(360000.0 / dst.Width()));
    const ViewFrame frame{{1200, 800}, {client.Width(), client.Height()}};
    const Rect scene = window.Zoom().SceneRect(frame);
    ASSERT_EQ(window.Zoom().Place(Size{dst.Width(), dst.Height()}, frame).shown, scene);
    const QPoint at(client.Width() / 3, client.Height() / 2);
    const QImage processed = window.PaintPanelDst->grab().toImage();
    EXPECT_EQ(processed.pixel(at) & 0xFFFFFF,
              dst.Pixel((at.x() - scene.left) * dst.Width() / scene.Width(),
                        (at.y() - scene.top) * dst.Height() / scene.Height()) &
                  0xFFFFFF);
    Key(Qt::Key_Space, Qt::NoModifier);
    const QImage source = window.PaintPanelSrc->grab().toImage();
    const int sx = (at.x() - scene.left) / 3, sy = (at.y() - scene.top) / 3;
    EXPECT_EQ(source.pixel(at) & 0xFFFFFF, window.Doc().BitmapSrc().Pixel(sx, sy) & 0xFFFFFF);

    Pages()->setCurrentIndex(2);
    EXPECT_EQ(Field(), "");
    Key(Qt::Key_0);
    EXPECT_FALSE(window.Zoom().AtFit()) << "the options page ignores the zoom keys";
    Pages()->setCurrentIndex(0);
    Key(Qt::Key_0);
    EXPECT_TRUE(window.Zoom().AtFit());
    Key(Qt::Key_1);
    window.SetSourceImage(Noise(300, 200, 4));
    EXPECT_TRUE(window.Zoom().AtFit()) << "a new source starts at fit";
}

// The wheel steps about the pointer, a touchpad's halves adding up, a burst repainting once; the
// middle button toggles fit and 100 %; a left drag pans with the hand cursor, and a left
// double-click still tells the size.
TEST_F(ZoomWindowTest, WheelMiddleClickDragAndDoubleClick) {
    window.SetSourceImage(Noise(1200, 800, 7));
    QApplication::processEvents();
    int paints = 0;
    const auto paint = window.PaintPanelSrc->OnPaint;
    window.PaintPanelSrc->OnPaint = [&](TPaintPanel& p) {
        ++paints;
        paint(p);
    };
    const Rect client = window.PaintPanelSrc->ClientRectDevice();
    const ViewFrame frame{{1200, 800}, {client.Width(), client.Height()}};
    ViewZoom fourSteps;
    fourSteps.StepBy(4, frame);
    for (int i = 0; i < 8; ++i) {
        Wheel(window.PaintPanelSrc, 60, QPointF(123, 77));
    }
    QApplication::processEvents();
    EXPECT_EQ(paints, 1);
    EXPECT_EQ(window.Zoom().Step(), fourSteps.Step());
    EXPECT_EQ(window.PaintPanelSrc->cursor().shape(), Qt::OpenHandCursor);
    QTest::mouseClick(window.PaintPanelSrc, Qt::MiddleButton, {}, QPoint(50, 60));
    EXPECT_TRUE(window.Zoom().AtFit());
    EXPECT_EQ(window.PaintPanelSrc->cursor().shape(), Qt::ArrowCursor);
    QTest::mouseClick(window.PaintPanelSrc, Qt::MiddleButton, {}, QPoint(50, 60));
    EXPECT_EQ(window.Zoom().Step(), kActualPixelsStep);

    const PointD centre = window.Zoom().Centre();
    QTest::mousePress(window.PaintPanelSrc, Qt::LeftButton, {}, QPoint(200, 200));
    EXPECT_EQ(window.PaintPanelSrc->cursor().shape(), Qt::ClosedHandCursor);
    QTest::mouseMove(window.PaintPanelSrc, QPoint(150, 180));
    QTest::mouseRelease(window.PaintPanelSrc, Qt::LeftButton, {}, QPoint(150, 180));
    const double dpr = window.PaintPanelSrc->devicePixelRatioF();
    EXPECT_NEAR(window.Zoom().Centre().x, centre.x + 50 * dpr, 1e-9);
    EXPECT_NEAR(window.Zoom().Centre().y, centre.y + 20 * dpr, 1e-9);
    QTest::mouseDClick(window.PaintPanelSrc, Qt::LeftButton, {}, QPoint(150, 180));
    EXPECT_EQ(services.Texts(), std::vector<std::string>{"Width = 1200\r\nHeight = 800"});
}

}  // namespace
}  // namespace zelqor
