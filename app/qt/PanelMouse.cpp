// Wheel, middle click and drag on the image panels, handed on in device pixels.
#include "PanelMouse.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>

namespace {

QPointF Device(const QWidget* panel, QPointF logical) {
    return logical * panel->devicePixelRatioF();
}

}  // namespace

void PanelMouse::Watch(QWidget* panel) {
    panel->installEventFilter(this);
    panels_.push_back(panel);
}

void PanelMouse::ShowPanCursor(bool canPan) {
    canPan_ = canPan;
    for (QWidget* panel : panels_) {
        if (panel == dragging_) {
            continue;  // keeps the closed hand until the button is let go
        }
        if (canPan) {
            panel->setCursor(Qt::OpenHandCursor);
        } else {
            panel->unsetCursor();
        }
    }
}

bool PanelMouse::eventFilter(QObject* watched, QEvent* e) {
    auto* panel = qobject_cast<QWidget*>(watched);
    if (panel == nullptr) {
        return false;
    }
    switch (e->type()) {
        case QEvent::Wheel: {
            auto* wheel = static_cast<QWheelEvent*>(e);
            if (OnWheel) {
                OnWheel(wheel->angleDelta().y(), Device(panel, wheel->position()));
            }
            wheel->accept();
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* mouse = static_cast<QMouseEvent*>(e);
            if (mouse->button() == Qt::MiddleButton) {
                // A quick second middle click toggles back; it is no double-click of the page.
                if (OnMiddleClick) {
                    OnMiddleClick(Device(panel, mouse->position()));
                }
                return true;
            }
            if (e->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton &&
                CanPan && CanPan()) {
                dragging_ = panel;
                last_ = Device(panel, mouse->position());
                panel->setCursor(Qt::ClosedHandCursor);
            }
            return false;  // a left double-click keeps its meaning
        }
        case QEvent::MouseMove: {
            if (dragging_ != panel) {
                return false;
            }
            const QPointF at = Device(panel, static_cast<QMouseEvent*>(e)->position());
            const QPointF delta = at - last_;
            last_ = at;
            if (OnDrag && !delta.isNull()) {
                OnDrag(delta.x(), delta.y());
            }
            return true;
        }
        case QEvent::MouseButtonRelease: {
            if (dragging_ == panel && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
                dragging_ = nullptr;
                ShowPanCursor(canPan_);
            }
            return false;
        }
        default:
            return false;
    }
}
