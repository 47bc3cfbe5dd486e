// The results plot without a widget: the scale and the lines and circles of the
// 10 % point errors. The error (ppm) runs horizontally, the point index
// vertically with y growing downwards, so the 100 % point is at the top (y = 0)
// and the 0 % point at the bottom (y = n).
#pragma once

#include <cstdint>
#include <vector>

namespace q270 {

inline constexpr std::uint32_t kPlotReferenceColour = 0x0000FF;  // red: untrimmed
inline constexpr std::uint32_t kPlotTrimmedColour = 0xFF0000;    // blue: trimmed
inline constexpr std::uint32_t kPlotAxisColour = 0x000000;       // black: zero line

// In user coordinates. A circle has its centre at (x1, y1); x2, y2 are unused.
struct PlotPrimitive {
    enum Kind { Line, Circle } kind;
    double x1, y1, x2, y2;
    double radius;
    std::uint32_t colour;  // 0x00BBGGRR
};

// The user scale of the picture: left and top edge, width and height.
struct PlotScaleBox {
    double left, top, width, height;
};

class PlotModel {
  public:
    // Clears the primitives, sets the scale from values[0..n], then draws them
    // with PlotCurve.
    void PlotScale(int n, const float* values, std::uint32_t colour);

    // Draws values[0..n] in the current scale, after what is there already.
    void PlotCurve(int n, const float* values, std::uint32_t colour);

    const std::vector<PlotPrimitive>& primitives() const { return primitives_; }
    const PlotScaleBox& scaleBox() const { return scaleBox_; }
    double PlotLo() const { return plotLo_; }  // smallest plotted value, at most 0
    double PlotHi() const { return plotHi_; }  // largest plotted value, at least 0.001
    double RangeLo() const { return rangeLo_; }
    double RangeHi() const { return rangeHi_; }
    double AxisX() const { return axisX_; }  // the zero line

  private:
    std::vector<PlotPrimitive> primitives_;
    PlotScaleBox scaleBox_{0, 0, 1, 1};
    double plotLo_ = 0;
    double plotHi_ = 0;
    double rangeLo_ = 0;
    double rangeHi_ = 0;
    double axisX_ = 0;
};

}  // namespace q270
