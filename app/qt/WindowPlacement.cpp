// Centring on a screen.
#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget& window) {
    const QWidget* owner =
        window.parentWidget() != nullptr ? window.parentWidget()->window() : &window;
    QScreen* screen = owner->screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    // Before the first showing the frame is not known yet and equals the client area; the
    // window manager's frame then shifts the window by half its thickness at most.
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}
