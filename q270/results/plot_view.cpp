#include "plot_view.h"

#include <QPainter>
#include <cmath>

#include "colour_value.h"

namespace q270 {

PlotView::PlotView(const PlotModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
}

void PlotView::paintEvent(QPaintEvent*) {
    const PlotScaleBox& box = model_.scaleBox();
    if (!(box.width > 0.0) || !(box.height > 0.0)) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double sx = width() / box.width;
    const double sy = height() / box.height;
    const auto toPixel = [&](double x, double y) {
        return QPointF((x - box.left) * sx, (y - box.top) * sy);
    };
    for (const PlotPrimitive& p : model_.primitives()) {
        if (!std::isfinite(p.x1) || !std::isfinite(p.x2) || !std::isfinite(p.radius)) continue;
        painter.setPen(QPen(zdx::colourFromValue(p.colour), 1.0));
        if (p.kind == PlotPrimitive::Line) {
            painter.drawLine(toPixel(p.x1, p.y1), toPixel(p.x2, p.y2));
        } else {
            // The radius runs in horizontal units; the circle is round on screen.
            const double r = p.radius * sx;
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(toPixel(p.x1, p.y1), r, r);
        }
    }
}

}  // namespace q270
