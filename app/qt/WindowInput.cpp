// The main window's key preview and drop target.
#include "WindowInput.h"

#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <QWindow>

WindowInput::WindowInput(QWidget* window) : QObject(window), window_(window) {
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

void WindowInput::WatchKeys() {
    // Key preview: every key reaches the native window once, before it is handed to the control
    // that has the focus. Installing twice keeps one filter.
    window_->windowHandle()->installEventFilter(this);
}

std::vector<std::string> WindowInput::DroppedFiles(const QMimeData* data) {
    std::vector<std::string> names;
    if (data == nullptr || !data->hasUrls()) {
        return names;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        names.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return names;
}

bool WindowInput::Accepts(const QMimeData* data) const {
    return (!AcceptsDrops || AcceptsDrops()) && !DroppedFiles(data).empty();
}

bool WindowInput::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(e);
            if (Accepts(drag->mimeData())) {
                drag->acceptProposedAction();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(e);
            if (Accepts(drop->mimeData())) {
                drop->acceptProposedAction();
                if (OnDrop) {
                    OnDrop(DroppedFiles(drop->mimeData()));
                }
            }
            return true;
        }
        case QEvent::KeyPress: {
            const auto* key = static_cast<QKeyEvent*>(e);
            const Qt::KeyboardModifiers held =
                key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
            if (watched != window_->windowHandle() || key->key() != Qt::Key_Space ||
                held != Qt::NoModifier) {
                return false;
            }
            // The control with the focus gets the key first: switching the page would hide it.
            watched->event(e);
            if (OnPageSwitchKey) {
                OnPageSwitchKey();
            }
            return true;
        }
        default:
            return false;
    }
}
