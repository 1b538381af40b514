// The mouse on the two image panels: wheel and middle click zoom, a left drag pans, in the
// panel's device pixels; double-clicks of the left button go on to the panel.
#pragma once

#include <QObject>
#include <QPointF>
#include <functional>
#include <vector>

class QWidget;

class PanelMouse : public QObject {
  public:
    explicit PanelMouse(QObject* parent) : QObject(parent) {}
    void Watch(QWidget* panel);

    std::function<void(int angleDelta, QPointF devicePoint)> OnWheel;
    std::function<void(QPointF devicePoint)> OnMiddleClick;
    std::function<void(double dx, double dy)> OnDrag;
    // The picture is larger than its page, so a left drag moves it.
    std::function<bool()> CanPan;

    // The hand over the panels while a drag would move the picture, the arrow otherwise.
    void ShowPanCursor(bool canPan);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* dragging_ = nullptr;
    QPointF last_;
    std::vector<QWidget*> panels_;
    bool canPan_ = false;
};
