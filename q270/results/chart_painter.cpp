#include "chart_painter.h"

#include <QDateTime>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "colour_value.h"

namespace q270 {

namespace {

constexpr int kPictureWidth = 900;
constexpr int kPictureHeight = 640;

QString number(double value, int decimals, char decimalSeparator) {
    QString text = QString::number(value, 'f', decimals);
    if (decimalSeparator != '.') text.replace(QLatin1Char('.'), QLatin1Char(decimalSeparator));
    return text;
}

}  // namespace

std::vector<ChartTick> ValueTicks(const AxisTicks& ticks, char decimalSeparator) {
    std::vector<ChartTick> out;
    for (const double v : ticks.values)
        out.push_back(
            {(v - ticks.lo) / (ticks.hi - ticks.lo), number(v, ticks.decimals, decimalSeparator)});
    return out;
}

void DrawAxis(QPainter& p, const QRectF& area, Qt::Edge edge, const std::vector<ChartTick>& ticks,
              const QString& title) {
    const QFontMetricsF metrics(p.font());
    const double line = metrics.height();
    p.save();
    for (const ChartTick& tick : ticks) {
        if (edge == Qt::LeftEdge) {
            const double y = area.bottom() - tick.at * area.height();
            p.setPen(QPen(QColor(0xE0, 0xE0, 0xE0), 1));
            p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
            p.setPen(QPen(Qt::black, 1));
            p.drawLine(QPointF(area.left() - 4, y), QPointF(area.left(), y));
            p.drawText(QRectF(area.left() - 200, y - line / 2, 194, line),
                       Qt::AlignRight | Qt::AlignVCenter, tick.label);
        } else {
            const double x = area.left() + tick.at * area.width();
            p.setPen(QPen(QColor(0xE0, 0xE0, 0xE0), 1));
            p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
            p.setPen(QPen(Qt::black, 1));
            p.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 4));
            p.drawText(QRectF(x - 100, area.bottom() + 5, 200, line), Qt::AlignHCenter, tick.label);
        }
    }
    p.setPen(QPen(Qt::black, 1));
    if (edge == Qt::LeftEdge) {
        double widest = 0;
        for (const ChartTick& tick : ticks)
            widest = std::max(widest, metrics.horizontalAdvance(tick.label));
        p.translate(area.left() - widest - 8 - line / 2, area.center().y());
        p.rotate(-90);
        p.drawText(QRectF(-area.height() / 2, -line / 2, area.height(), line), Qt::AlignCenter,
                   title);
    } else {
        p.drawText(QRectF(area.left(), area.bottom() + 5 + line, area.width(), line),
                   Qt::AlignHCenter, title);
    }
    p.restore();
}

QImage PlotPicture(const PlotModel& plot, const std::string& serial, const std::string& runTime,
                   char decimalSeparator) {
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    const double line = QFontMetricsF(font).height();

    QFont heading = font;
    heading.setBold(true);
    heading.setPixelSize(16);
    p.setFont(heading);
    const QDateTime started = QDateTime::fromString(QString::fromStdString(runTime), Qt::ISODate);
    p.drawText(QRectF(20, 12, kPictureWidth - 40, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Linearity of Q270 %1, run started %2")
                   .arg(QString::fromStdString(serial.empty() ? "(unknown unit)" : serial),
                        started.isValid()
                            ? started.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                                  QStringLiteral(" UTC")
                            : QStringLiteral("(unknown time)")));
    p.setFont(font);

    const QRectF area(90, 56, kPictureWidth - 90 - 180, kPictureHeight - 56 - 20 - 3 * line);
    const PlotScaleBox& box = plot.scaleBox();
    const AxisTicks across = NiceTicks(box.left, box.left + box.width, 8);
    // The point index runs from 0 % at the bottom to 100 % at the top, as in the window.
    const double n = box.height - 1;
    const auto toPixel = [&](double x, double y) {
        return QPointF(area.left() + (x - across.lo) / (across.hi - across.lo) * area.width(),
                       area.top() + (y - box.top) / box.height * area.height());
    };
    std::vector<ChartTick> up;
    for (int k = 0; k <= int(std::lround(n)); ++k)
        up.push_back({(k + 0.5) / box.height, QString::number(k * 100 / std::max(1.0, n))});
    DrawAxis(p, area, Qt::LeftEdge, up, QStringLiteral("point of the divider (%)"));
    DrawAxis(p, area, Qt::BottomEdge, ValueTicks(across, decimalSeparator),
             QStringLiteral("error (ppm of full scale)"));
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(area);

    p.setClipRect(area);
    const double sx = area.width() / (across.hi - across.lo);
    for (const PlotPrimitive& prim : plot.primitives()) {
        if (!std::isfinite(prim.x1) || !std::isfinite(prim.x2) || !std::isfinite(prim.radius))
            continue;
        p.setPen(QPen(zdx::colourFromValue(prim.colour), prim.colour == kPlotAxisColour ? 1 : 1.6));
        if (prim.kind == PlotPrimitive::Line)
            p.drawLine(toPixel(prim.x1, prim.y1), toPixel(prim.x2, prim.y2));
        else
            p.drawEllipse(toPixel(prim.x1, prim.y1), prim.radius * sx, prim.radius * sx);
    }
    p.setClipping(false);

    double legend = area.top();
    const auto entry = [&](std::uint32_t colour, const QString& text) {
        p.setPen(QPen(zdx::colourFromValue(colour), 2));
        p.drawLine(QPointF(area.right() + 14, legend + line / 2),
                   QPointF(area.right() + 38, legend + line / 2));
        p.setPen(Qt::black);
        p.drawText(QRectF(area.right() + 44, legend, 140, line), Qt::AlignLeft | Qt::AlignVCenter,
                   text);
        legend += line + 4;
    };
    entry(kPlotReferenceColour, QStringLiteral("as measured"));
    const bool trimmed =
        std::any_of(plot.primitives().begin(), plot.primitives().end(),
                    [](const PlotPrimitive& prim) { return prim.colour == kPlotTrimmedColour; });
    if (trimmed) entry(kPlotTrimmedColour, QStringLiteral("with the trims"));
    return image;
}

}  // namespace q270
