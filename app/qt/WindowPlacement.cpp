// Placing windows on the screens, and remembering where the main window was.
#include "WindowPlacement.h"

#include <QFile>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <vector>

#include "WindowGeometry.h"

namespace {

using zelqor::Rect;

Rect ToRect(const QRect& r) {
    return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

QRect ToQRect(const Rect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

// The available areas of the screens present, the primary one first.
std::vector<Rect> AvailableAreas() {
    std::vector<Rect> areas;
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        areas.push_back(ToRect(primary->availableGeometry()));
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) {
            areas.push_back(ToRect(screen->availableGeometry()));
        }
    }
    return areas;
}

// What the frame adds around the client area: known once the window manager has framed the
// window, remembered from the last run before that.
struct FrameMargins {
    int left = 0, top = 0, right = 0, bottom = 0;
};

FrameMargins MarginsOf(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

QRect WithFrame(const QRect& client, const FrameMargins& m) {
    return client.adjusted(-m.left, -m.top, m.right, m.bottom);
}

QRect WithoutFrame(const QRect& frame, const FrameMargins& m) {
    return frame.adjusted(m.left, m.top, -m.right, -m.bottom);
}

constexpr const char* kGeometryKey = "MainWindow/geometry";
constexpr const char* kMarginsKey = "MainWindow/frameMargins";
constexpr const char* kMaximisedKey = "MainWindow/maximised";

QString SettingsName(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

}  // namespace

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
    const FrameMargins margins = MarginsOf(window);
    const QRect frame = window.frameGeometry();
    const QRect fitted = ToQRect(
        zelqor::CentredOn(frame.width(), frame.height(), ToRect(screen->availableGeometry())));
    if (fitted.size() != frame.size()) {
        window.resize(WithoutFrame(fitted, margins).size());
    }
    window.move(fitted.topLeft());
}

void RestoreWindowPlacement(QWidget& window, const std::string& settingsPath) {
    if (settingsPath.empty()) {
        CentreOnScreen(window);
        return;
    }
    const QSettings settings(SettingsName(settingsPath), QSettings::IniFormat);
    const QRect saved = settings.value(kGeometryKey).toRect();
    if (!saved.isValid() || saved.isEmpty()) {
        CentreOnScreen(window);  // the first start: the designed size
        return;
    }
    FrameMargins margins;
    const QList<QVariant> m = settings.value(kMarginsKey).toList();
    if (m.size() == 4) {
        margins = {m[0].toInt(), m[1].toInt(), m[2].toInt(), m[3].toInt()};
    }
    const QRect fitted =
        ToQRect(zelqor::FitOnScreens(ToRect(WithFrame(saved, margins)), AvailableAreas()));
    window.setGeometry(WithoutFrame(fitted, margins));
    if (settings.value(kMaximisedKey).toBool()) {
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    }
}

void KeepFrameOnScreens(QWidget& window) {
    if (window.isMaximized() || window.isFullScreen()) {
        return;
    }
    const QRect frame = window.frameGeometry();
    const QRect fitted = ToQRect(zelqor::FitOnScreens(ToRect(frame), AvailableAreas()));
    if (fitted == frame) {
        return;
    }
    if (fitted.size() != frame.size()) {
        window.resize(WithoutFrame(fitted, MarginsOf(window)).size());
    }
    window.move(fitted.topLeft());
}

void SaveWindowPlacement(const QWidget& window, const std::string& settingsPath) {
    if (settingsPath.empty()) {
        return;
    }
    QSettings settings(SettingsName(settingsPath), QSettings::IniFormat);
    const bool maximised = window.isMaximized();
    settings.setValue(kGeometryKey, maximised ? window.normalGeometry() : window.geometry());
    if (!maximised) {
        const FrameMargins m = MarginsOf(window);
        settings.setValue(kMarginsKey, QList<QVariant>{m.left, m.top, m.right, m.bottom});
    }
    settings.setValue(kMaximisedKey, maximised);
    settings.sync();
}
