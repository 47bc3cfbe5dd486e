#include "plot_model.h"

namespace q270 {

void PlotModel::PlotScale(int n, const float* values, std::uint32_t colour) {
    primitives_.clear();
    // The start values keep 0 in the range and the range from being empty.
    plotLo_ = 0.0;
    plotHi_ = 0.001;
    for (int i = 0; i <= n; ++i) {
        const double v = values[i];
        if (v < plotLo_) plotLo_ = v;
        if (v > plotHi_) plotHi_ = v;
    }
    rangeLo_ = 1.1 * (plotLo_ - 2.0);
    rangeHi_ = 1.1 * (plotHi_ + 2.0);
    axisX_ = 0.0;
    const double span = rangeHi_ - rangeLo_;
    scaleBox_ = PlotScaleBox{rangeLo_ - 0.05 * span, -0.5, 1.1 * span, n + 1.0};
    PlotCurve(n, values, colour);
}

void PlotModel::PlotCurve(int n, const float* values, std::uint32_t colour) {
    const double r = 0.01 * (rangeHi_ - rangeLo_);
    // The zero line reaches one unit past the 0 % point, beyond the scale.
    primitives_.push_back(
        {PlotPrimitive::Line, axisX_, -0.5, axisX_, n + 1.5, 0.0, kPlotAxisColour});
    double prevX = 0.0;
    double prevY = 0.0;
    for (int k = 0; k <= n; ++k) {
        const double x = values[k];
        const double y = n - k;
        if (k == 0) {
            prevX = x;
            prevY = y;
        }
        primitives_.push_back({PlotPrimitive::Line, prevX, prevY, x, y, 0.0, colour});
        primitives_.push_back({PlotPrimitive::Circle, x, y, 0.0, 0.0, r, colour});
        prevX = x;
        prevY = y;
    }
}

}  // namespace q270
