// Paint panel: one device-pixel bitmap per repaint, copied to the screen in a single transfer.
#include "TPaintPanel.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <exception>

namespace zelqor {

namespace {

// Ratios such as 1.1 are not exact in binary: 10 * 1.1 is a hair above 11, and rounding that
// up would add a column of pixels that is not part of the update.
constexpr double kEdgeSlack = 1e-6;

int DeviceFloor(int logical, qreal dpr) {
    return static_cast<int>(std::floor(logical * dpr + kEdgeSlack));
}

int DeviceCeil(int logical, qreal dpr) {
    return static_cast<int>(std::ceil(logical * dpr - kEdgeSlack));
}

}  // namespace

Rect DeviceRect(const QRect& logical, qreal dpr, QSize deviceClient) {
    const int width = std::max(deviceClient.width(), 0);
    const int height = std::max(deviceClient.height(), 0);
    Rect r;
    r.left = std::clamp(DeviceFloor(logical.x(), dpr), 0, width);
    r.top = std::clamp(DeviceFloor(logical.y(), dpr), 0, height);
    r.right = std::clamp(DeviceCeil(logical.x() + logical.width(), dpr), r.left, width);
    r.bottom = std::clamp(DeviceCeil(logical.y() + logical.height(), dpr), r.top, height);
    return r;
}

}  // namespace zelqor

namespace {

// Clears the panel's pointer to the buffer however the repaint ends, so that Buffer() never
// hands out a bitmap that has gone.
class BufferScope {
  public:
    BufferScope(zelqor::WorkingBitmap*& slot, zelqor::WorkingBitmap& buffer) : slot_(slot) {
        slot_ = &buffer;
    }
    ~BufferScope() { slot_ = nullptr; }
    BufferScope(const BufferScope&) = delete;
    BufferScope& operator=(const BufferScope&) = delete;

  private:
    zelqor::WorkingBitmap*& slot_;
};

}  // namespace

TPaintPanel::TPaintPanel(QWidget* parent) : QWidget(parent) {
    // Every pixel of an update comes from the buffer, so an erase first would only flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

zelqor::Rect TPaintPanel::ClientRectDevice() const {
    const qreal dpr = devicePixelRatio();
    return {0, 0, static_cast<int>(std::lround(width() * dpr)),
            static_cast<int>(std::lround(height() * dpr))};
}

void TPaintPanel::paintEvent(QPaintEvent* event) {
    const QRect update = event->rect();
    const qreal dpr = devicePixelRatio();
    const zelqor::Rect client = ClientRectDevice();
    paintRect_ = {update.x(), update.y(), update.x() + update.width(),
                  update.y() + update.height()};
    paintRectDevice_ = zelqor::DeviceRect(update, dpr, QSize(client.right, client.bottom));
    const int width = paintRectDevice_.Width();
    const int height = paintRectDevice_.Height();
    if (width <= 0 || height <= 0)
        return;

    zelqor::WorkingBitmap buffer(width, height);
    {
        const QColor colour = palette().color(QPalette::Window);
        const std::uint32_t fill =
            zelqor::MakePixel(colour.red(), colour.green(), colour.blue(), 0xFF);
        std::fill(buffer.Data(), buffer.Data() + static_cast<std::size_t>(width) * height, fill);

        BufferScope scope(buffer_, buffer);
        // An exception must not unwind through Qt's event dispatch; a half-drawn buffer is
        // dropped rather than shown.
        try {
            if (OnPaint)
                OnPaint(*this);
        } catch (const std::exception& e) {
            ReportPaintError(e.what());
            return;
        } catch (...) {
            ReportPaintError("描画中に不明なエラーが発生しました");
            return;
        }
    }

    QImage image(reinterpret_cast<const uchar*>(buffer.Data()), width, height,
                 static_cast<qsizetype>(width) * 4, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    // Placed at the device top-left expressed in logical units: with a fractional ratio the
    // logical top-left may fall inside a device pixel, and drawing there would resample.
    QPainter painter(this);
    painter.drawImage(QPointF(paintRectDevice_.left / dpr, paintRectDevice_.top / dpr), image);
}

void TPaintPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (OnDblClick) {
        OnDblClick();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void TPaintPanel::ReportPaintError(const std::string& message) {
    // Queued, because a handler that shows a message box would otherwise run a nested event
    // loop inside the paint event.
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            if (OnPaintError)
                OnPaintError(message);
        },
        Qt::QueuedConnection);
}
