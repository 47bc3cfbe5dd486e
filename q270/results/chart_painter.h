// Axes with ticks, labels and a title along a plot area, and the results plot
// as a picture a reader can keep: the window's curves on scales with units,
// with the unit's serial number and the run's time.
#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <string>
#include <vector>

#include "chart_axes.h"
#include "plot_model.h"

class QPainter;

namespace q270 {

// A tick at `at` along the axis, 0 at its start (left or bottom) and 1 at its end.
struct ChartTick {
    double at = 0;
    QString label;
};

// Ticks of a value axis whose ends are ticks.lo and ticks.hi.
std::vector<ChartTick> ValueTicks(const AxisTicks& ticks, char decimalSeparator = '.');

// The axis along the left or the bottom edge of `area`, with light grid lines
// across the area at the ticks and the title beside the labels.
void DrawAxis(QPainter& painter, const QRectF& area, Qt::Edge edge,
              const std::vector<ChartTick>& ticks, const QString& title);

// The results plot (its primitives and scale) with the error in ppm across,
// the point of the divider in % up, a legend, and a heading with the serial
// number and the run's time; the legend names the trimmed curve when there is one.
QImage PlotPicture(const PlotModel& plot, const std::string& serial, const std::string& runTime,
                   char decimalSeparator);

}  // namespace q270
