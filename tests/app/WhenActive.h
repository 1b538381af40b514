// Driving a modal dialog from a test without ever hanging it.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QTest>
#include <QTimer>
#include <functional>

// Runs body inside the dialog's modal loop once it is active. A dialog the body left open is
// closed with an odd result and reported, so a broken dialog fails instead of hanging.
inline void WhenActive(QDialog& dialog, std::function<void()> body) {
    QTimer::singleShot(0, &dialog, [&dialog, body = std::move(body)] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        body();
        if (dialog.isVisible()) {
            ADD_FAILURE() << "dialog left open";
            dialog.done(99);
        }
    });
}
