// The plot's scale and its lines and circles.
#include <gtest/gtest.h>

#include <array>

#include "pattern_format.h"
#include "plot_model.h"

namespace q270 {
namespace {

constexpr int kN = 10;

std::vector<PlotPrimitive> ofKind(const PlotModel& plot, PlotPrimitive::Kind kind) {
    std::vector<PlotPrimitive> out;
    for (const auto& p : plot.primitives())
        if (p.kind == kind) out.push_back(p);
    return out;
}

TEST(PlotModel, AllErrorsZero) {
    const std::array<float, 11> zeros{};
    PlotModel plot;
    plot.PlotScale(kN, zeros.data(), kPlotReferenceColour);
    EXPECT_EQ(plot.PlotLo(), 0.0);
    EXPECT_EQ(plot.PlotHi(), 0.001);
    EXPECT_NEAR(plot.RangeLo(), -2.2, 1e-12);
    EXPECT_NEAR(plot.RangeHi(), 2.2011, 1e-12);
    EXPECT_EQ(plot.AxisX(), 0.0);
    EXPECT_EQ(formatPattern(plot.PlotLo(), "#######0.0"), "0.0");
    EXPECT_EQ(formatPattern(plot.PlotHi(), "#######0.0"), "0.0");

    const PlotScaleBox box = plot.scaleBox();
    EXPECT_NEAR(box.width, 1.1 * 4.4011, 1e-12);
    EXPECT_NEAR(box.left, -2.2 - 0.05 * 4.4011, 1e-12);
    EXPECT_EQ(box.top, -0.5);
    EXPECT_EQ(box.height, 11.0);

    // A vertical line on the zero axis: every point at x = 0.
    for (const auto& p : plot.primitives()) {
        EXPECT_EQ(p.x1, 0.0);
        if (p.kind == PlotPrimitive::Line) {
            EXPECT_EQ(p.x2, 0.0);
        }
    }
}

TEST(PlotModel, ANegativeErrorWidensTheRangeToTheLeft) {
    std::array<float, 11> errors{};
    errors[4] = -15.0f;
    errors[7] = 7.5f;
    PlotModel plot;
    plot.PlotScale(kN, errors.data(), kPlotReferenceColour);
    EXPECT_EQ(plot.PlotLo(), -15.0);
    EXPECT_EQ(plot.PlotHi(), 7.5);
    EXPECT_NEAR(plot.RangeLo(), -18.7, 1e-12);
    EXPECT_NEAR(plot.RangeHi(), 10.45, 1e-12);
    EXPECT_EQ(formatPattern(plot.PlotLo(), "#######0.0"), "-15.0");
    const auto circles = ofKind(plot, PlotPrimitive::Circle);
    ASSERT_EQ(circles.size(), 11u);
    for (const auto& c : circles) EXPECT_NEAR(c.radius, 0.01 * (10.45 + 18.7), 1e-12);
}

TEST(PlotModel, PointsRunFromTheBottomUpAndTheAxisReachesPastThem) {
    std::array<float, 11> errors{};
    for (int k = 0; k <= kN; ++k) errors[static_cast<std::size_t>(k)] = 0.5f * k;
    PlotModel plot;
    plot.PlotScale(kN, errors.data(), kPlotReferenceColour);

    const auto lines = ofKind(plot, PlotPrimitive::Line);
    ASSERT_EQ(lines.size(), 12u);  // the zero line and one per point
    const PlotPrimitive& axis = lines[0];
    EXPECT_EQ(axis.colour, kPlotAxisColour);
    EXPECT_EQ(axis.x1, 0.0);
    EXPECT_EQ(axis.x2, 0.0);
    EXPECT_EQ(axis.y1, -0.5);
    EXPECT_EQ(axis.y2, kN + 1.5);

    // The 0 % point: a line of zero length and a circle at the bottom (y = n).
    EXPECT_EQ(lines[1].x1, lines[1].x2);
    EXPECT_EQ(lines[1].y1, kN);
    EXPECT_EQ(lines[1].y2, kN);
    const auto circles = ofKind(plot, PlotPrimitive::Circle);
    ASSERT_EQ(circles.size(), 11u);
    EXPECT_EQ(circles[0].y1, kN);
    EXPECT_EQ(circles[10].x1, 5.0);
    EXPECT_EQ(circles[10].y1, 0.0);  // the 100 % point at the top
    for (int k = 1; k <= kN; ++k) {
        const PlotPrimitive& l = lines[static_cast<std::size_t>(k) + 1];
        EXPECT_EQ(l.x1, 0.5 * (k - 1)) << k;
        EXPECT_EQ(l.y1, kN - k + 1) << k;
        EXPECT_EQ(l.x2, 0.5 * k) << k;
        EXPECT_EQ(l.y2, kN - k) << k;
        EXPECT_EQ(l.colour, kPlotReferenceColour);
    }
}

TEST(PlotModel, TrimmedCurveGoesOverTheReferenceInItsScale) {
    std::array<float, 11> reference{};
    reference[5] = 4.0f;
    std::array<float, 11> trimmed{};
    trimmed[5] = 40.0f;  // may leave the visible area
    PlotModel plot;
    plot.PlotScale(kN, reference.data(), kPlotReferenceColour);
    const double rangeHi = plot.RangeHi();
    plot.PlotCurve(kN, trimmed.data(), kPlotTrimmedColour);
    EXPECT_EQ(plot.RangeHi(), rangeHi);
    EXPECT_EQ(plot.PlotHi(), 4.0);
    EXPECT_EQ(plot.primitives().size(), 46u);
    EXPECT_EQ(plot.primitives()[23].colour, kPlotAxisColour);
    EXPECT_EQ(plot.primitives().back().colour, kPlotTrimmedColour);
    EXPECT_NEAR(plot.primitives().back().radius, plot.primitives()[2].radius, 0.0);

    // A new scale clears what was drawn.
    plot.PlotScale(kN, reference.data(), kPlotReferenceColour);
    EXPECT_EQ(plot.primitives().size(), 23u);
}

}  // namespace
}  // namespace q270
