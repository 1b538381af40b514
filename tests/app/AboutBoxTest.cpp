// Drives the version information dialog and checks the program icon, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "ProgramIcon.h"
#include "TAboutBox.h"
#include "WhenActive.h"

namespace {

int ExecWith(TAboutBox& box, std::function<void()> body) {
    WhenActive(box, std::move(body));
    return box.exec();
}

QLabel* Child(TAboutBox& box, const char* name) {
    return box.findChild<QLabel*>(QString::fromLatin1(name));
}

TEST(AboutBox, ProductNameIsTakenAtEachShowing) {
    TAboutBox box;
    for (const QString& title :
         {QStringLiteral("ZelqorHDR"), QStringLiteral("ZelqorHDR - 写真.jpg")}) {
        box.SetProductNameText(title);
        QString shown;
        ExecWith(box, [&] {
            shown = Child(box, "ProductName")->text();
            box.accept();
        });
        EXPECT_EQ(shown, title);
    }
}

TEST(AboutBox, OkButtonAndKeysClose) {
    struct Case {
        const char* name;
        std::function<void(TAboutBox&)> act;
        int expected;
    };
    const std::vector<Case> cases = {
        {"OK clicked",
         [](TAboutBox& b) {
             QTest::mouseClick(b.findChild<QPushButton*>(QStringLiteral("OKButton")),
                               Qt::LeftButton);
         },
         QDialog::Accepted},
        {"Return", [](TAboutBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, QDialog::Accepted},
        {"keypad Enter", [](TAboutBox& b) { QTest::keyClick(&b, Qt::Key_Enter); },
         QDialog::Accepted},
        {"Escape", [](TAboutBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, QDialog::Rejected},
    };
    for (const Case& c : cases) {
        TAboutBox box;
        EXPECT_EQ(ExecWith(box, [&] { c.act(box); }), c.expected) << c.name;
    }
}

TEST(AboutBox, MailtoHotTracksThePointer) {
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QLabel* link = Child(box, "Mailto");
    const QPalette& face = box.palette();
    ASSERT_NE(face.color(QPalette::Highlight), face.color(QPalette::WindowText));

    for (const bool hot : {true, false, true, false}) {
        if (hot) {
            QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
            QApplication::sendEvent(link, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(link, &leave);
        }
        EXPECT_EQ(link->font().underline(), hot);
        EXPECT_EQ(link->autoFillBackground(), hot);
        EXPECT_EQ(link->palette().color(QPalette::WindowText),
                  face.color(hot ? QPalette::Highlight : QPalette::WindowText));
        EXPECT_EQ(link->palette().color(QPalette::Window),
                  face.color(hot ? QPalette::Base : QPalette::Window));
    }
}

TEST(AboutBox, LeftClickOnMailtoOpensTheLink) {
    struct Case {
        Qt::MouseButton button;
        bool withOpener;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {Qt::LeftButton, true, {"mailto:zelqorhdr@example.org"}},
        {Qt::RightButton, true, {}},
        {Qt::LeftButton, false, {}},
    };
    for (const Case& c : cases) {
        TAboutBox box;
        std::vector<std::string> opened;
        if (c.withOpener)
            box.OnOpenUrl = [&](const std::string& url) { opened.push_back(url); };
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
        QTest::mouseClick(Child(box, "Mailto"), c.button);
        EXPECT_EQ(opened, c.expected) << c.button << c.withOpener;
        EXPECT_TRUE(box.isVisible());
    }
}

TEST(AboutBox, IconSitsOnTheFaceColour) {
    TAboutBox box;
    const QImage icon = Child(box, "ProgramIcon")->pixmap().toImage();
    ASSERT_FALSE(icon.isNull());
    const QColor face = box.palette().color(QPalette::Window);
    // The corners of the icon are transparent; its middle is drawn.
    EXPECT_EQ(icon.pixelColor(0, 0), face);
    EXPECT_EQ(icon.pixelColor(icon.width() - 1, icon.height() - 1), face);
    EXPECT_NE(icon.pixelColor(icon.width() / 2, icon.height() / 2), face);
}

TEST(AboutBox, ProgramIconHasEverySize) {
    const QIcon icon = ProgramIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (const int s : {16, 32, 48, 64, 128, 256})
        EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
    const QPixmap small = icon.pixmap(32);
    EXPECT_FALSE(small.isNull());
    EXPECT_EQ(small.deviceIndependentSize().toSize(), QSize(32, 32));
}

}  // namespace
