// A proxy of the application's style that paints a vertical bar's groove mirrored.
#include "SliderFill.h"

#include <QApplication>
#include <QProxyStyle>
#include <QSlider>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace {

class WeakEndFillStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;

    void drawComplexControl(ComplexControl control,
                            const QStyleOptionComplex* option,
                            QPainter* painter,
                            const QWidget* widget) const override {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_Slider || bar == nullptr || bar->orientation != Qt::Vertical) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        // The same bar seen from its other end, with the value mirrored: every position lands
        // on the same pixel (QStyle::sliderPositionFromValue counts from the maximum when the
        // bar is upside down), so only the side the style fills changes.
        QStyleOptionSlider mirrored(*bar);
        mirrored.upsideDown = !bar->upsideDown;
        mirrored.sliderPosition = bar->minimum + bar->maximum - bar->sliderPosition;
        mirrored.sliderValue = bar->minimum + bar->maximum - bar->sliderValue;
        QProxyStyle::drawComplexControl(control, &mirrored, painter, widget);
    }
};

}  // namespace

void FillFromWeakEnd(QSlider& slider) {
    // A fresh copy of the application's style as the base (the proxy owns it), and the proxy
    // owned by the bar. A widget holds its style through a guarded pointer, so the bar falls
    // back to the application's style should the proxy go first while the bar is destroyed.
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    auto* style = new WeakEndFillStyle(base);
    style->setParent(&slider);
    slider.setStyle(style);
}
