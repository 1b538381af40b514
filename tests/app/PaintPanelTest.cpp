// Paint panel under the offscreen platform: buffer placement, partial updates, handler errors.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <stdexcept>
#include <string>
#include <vector>

#include "TPaintPanel.h"

namespace {

using zelqor::MakePixel;
using zelqor::Rect;

TEST(DeviceRect, CoversEveryTouchedDevicePixel) {
    struct Case {
        QRect logical;
        qreal dpr;
        QSize client;
        Rect expected;
    };
    const std::vector<Case> cases = {
        {QRect(3, 4, 10, 20), 1.0, QSize(100, 100), {3, 4, 13, 24}},
        {QRect(3, 4, 10, 20), 2.0, QSize(200, 200), {6, 8, 26, 48}},
        {QRect(1, 1, 3, 3), 1.25, QSize(125, 125), {1, 1, 5, 5}},
        {QRect(4, 8, 4, 4), 1.25, QSize(125, 125), {5, 10, 10, 15}},
        // 50 * 1.1 and 100 * 1.15 miss 55 and 115 by a rounding error.
        {QRect(40, 0, 10, 2), 1.1, QSize(110, 110), {44, 0, 55, 3}},
        {QRect(100, 0, 20, 1), 1.15, QSize(200, 200), {115, 0, 138, 2}},
        {QRect(90, 95, 20, 20), 1.5, QSize(150, 150), {135, 142, 150, 150}},
        {QRect(-5, -5, 10, 10), 2.0, QSize(40, 40), {0, 0, 10, 10}},
        {QRect(0, 0, 0, 0), 1.25, QSize(125, 125), {0, 0, 0, 0}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const Rect r = zelqor::DeviceRect(c.logical, c.dpr, c.client);
        EXPECT_EQ(r, c.expected) << "row " << i << " gave " << r.left << "," << r.top << ","
                                 << r.right << "," << r.bottom;
    }
}

void SetColour(TPaintPanel& panel, QColor colour) {
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, colour);
    panel.setPalette(palette);
}

// Every pixel's colour from where it is, so a misplaced copy shows.
std::uint32_t PatternAt(int x, int y) {
    return MakePixel(x * 3, y * 5, 0x80);
}

void DrawPattern(TPaintPanel& p) {
    const Rect d = p.PaintRectDevice();
    for (int y = 0; y < d.Height(); ++y)
        for (int x = 0; x < d.Width(); ++x)
            p.Buffer()->SetPixel(x, y, PatternAt(d.left + x, d.top + y));
}

QRgb Rgb(std::uint32_t pixel) {
    return qRgb(zelqor::PixelR(pixel), zelqor::PixelG(pixel), zelqor::PixelB(pixel));
}

TEST(PaintPanel, WithoutHandlerShowsOnlyItsColour) {
    TPaintPanel panel;
    panel.resize(40, 30);
    SetColour(panel, QColor(12, 200, 77));
    const QImage shot = panel.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(40, 30));
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            ASSERT_EQ(shot.pixel(x, y), qRgb(12, 200, 77)) << x << "," << y;
}

TEST(PaintPanel, HandlerPixelsLandWhereTheyWereDrawn) {
    TPaintPanel panel;
    panel.resize(50, 40);
    panel.OnPaint = DrawPattern;
    const QImage shot = panel.grab().toImage();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(shot.pixel(x, y), Rgb(PatternAt(x, y))) << x << "," << y;
}

TEST(PaintPanel, PartialRepaintBufferStartsAtTheUpdateTopLeft) {
    TPaintPanel panel;
    panel.resize(60, 40);
    SetColour(panel, QColor(0, 0, 255));
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));

    const std::uint32_t marker = MakePixel(255, 0, 0);
    const std::uint32_t rest = MakePixel(0, 255, 0);
    Rect seenRect, seenDevice;
    QSize seenBuffer;
    panel.OnPaint = [&](TPaintPanel& p) {
        seenRect = p.PaintRect();
        seenDevice = p.PaintRectDevice();
        seenBuffer = QSize(p.Buffer()->Width(), p.Buffer()->Height());
        std::fill(p.Buffer()->Data(), p.Buffer()->Data() + p.Buffer()->ByteSize() / 4, rest);
        p.Buffer()->SetPixel(0, 0, marker);
    };
    panel.repaint(QRect(10, 5, 20, 15));
    EXPECT_EQ(seenRect, (Rect{10, 5, 30, 20}));
    EXPECT_EQ(seenDevice, (Rect{10, 5, 30, 20}));
    EXPECT_EQ(seenBuffer, QSize(20, 15));

    const QImage screen = panel.screen()->grabWindow(panel.winId()).toImage();
    ASSERT_FALSE(screen.isNull());
    EXPECT_EQ(screen.pixel(10, 5), qRgb(255, 0, 0));
    EXPECT_EQ(screen.pixel(11, 5), qRgb(0, 255, 0));
    EXPECT_EQ(screen.pixel(29, 19), qRgb(0, 255, 0));
    EXPECT_EQ(screen.pixel(9, 5), qRgb(0, 0, 255));
    EXPECT_EQ(screen.pixel(30, 19), qRgb(0, 0, 255));
    EXPECT_EQ(screen.pixel(10, 20), qRgb(0, 0, 255));
}

TEST(PaintPanel, ThrowingHandlerIsReportedLaterAndDoesNotBreakTheNextRepaint) {
    TPaintPanel panel;
    panel.resize(20, 20);
    bool fail = true;
    zelqor::WorkingBitmap* bufferInHandler = nullptr;
    panel.OnPaint = [&](TPaintPanel& p) {
        bufferInHandler = p.Buffer();
        if (fail)
            throw std::runtime_error("壊れた画像");
        DrawPattern(p);
    };
    std::vector<std::string> errors;
    panel.OnPaintError = [&](const std::string& what) { errors.push_back(what); };

    EXPECT_NO_THROW(panel.grab());
    EXPECT_NE(bufferInHandler, nullptr);
    EXPECT_EQ(panel.Buffer(), nullptr);
    EXPECT_TRUE(errors.empty()) << "reported from inside the repaint";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.empty(); }, 2000));
    EXPECT_EQ(errors, std::vector<std::string>{"壊れた画像"});

    fail = false;
    const QImage shot = panel.grab().toImage();
    EXPECT_EQ(shot.pixel(7, 11), Rgb(PatternAt(7, 11)));
    EXPECT_EQ(panel.Buffer(), nullptr);
    QTest::qWait(10);
    EXPECT_EQ(errors.size(), 1u);
}

TEST(PaintPanel, DoubleClickCallsHandler) {
    TPaintPanel panel;
    panel.resize(20, 20);
    int clicks = 0;
    panel.OnDblClick = [&] { ++clicks; };
    QTest::mouseDClick(&panel, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
}

}  // namespace
