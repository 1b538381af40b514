// Flicker-free panel that paints each update through an off-screen bitmap filled by a handler.
#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>
#include <functional>
#include <string>

#include "Rect.h"
#include "WorkingBitmap.h"

namespace zelqor {

// The device pixels covering a logical rectangle at device pixel ratio dpr: left and top rounded
// down, right and bottom up, so that no partly covered pixel is left unpainted; then clamped to
// (0, 0, deviceClient). Right and bottom are exclusive.
Rect DeviceRect(const QRect& logical, qreal dpr, QSize deviceClient);

}  // namespace zelqor

class TPaintPanel : public QWidget {
    Q_OBJECT

  public:
    explicit TPaintPanel(QWidget* parent = nullptr);

    // Draws into Buffer(); may be unset, then the panel shows only its colour.
    std::function<void(TPaintPanel&)> OnPaint;
    std::function<void()> OnDblClick;
    // Told, from the event loop and not from inside the repaint, what an OnPaint threw.
    std::function<void(const std::string&)> OnPaintError;

    // Valid inside OnPaint only. Buffer pixel (0, 0) is PaintRectDevice()'s top-left.
    zelqor::Rect PaintRect() const { return paintRect_; }
    zelqor::Rect PaintRectDevice() const { return paintRectDevice_; }
    zelqor::WorkingBitmap* Buffer() { return buffer_; }
    qreal DevicePixelRatio() const { return devicePixelRatio(); }
    zelqor::Rect ClientRectDevice() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void ReportPaintError(const std::string& message);

    zelqor::Rect paintRect_;
    zelqor::Rect paintRectDevice_;
    zelqor::WorkingBitmap* buffer_ = nullptr;
};
