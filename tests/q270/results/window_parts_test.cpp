// The widget-free parts of the windows' memory and pictures: where a saved
// window goes on the screens there are now, the names the file dialogs
// propose, and the ticks of the pictures' scales.
#include <gtest/gtest.h>

#include <QDateTime>

#include "chart_axes.h"
#include "window_memory.h"

namespace q270 {
namespace {

TEST(WindowPlace, StaysWhereItsTitleBarIsSeenAndOtherwiseComesToTheFirstScreen) {
    const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    // On either screen, or hanging off an edge with its title bar still to be grabbed.
    for (const QRect& seen : {QRect(100, 80, 900, 700), QRect(2000, 50, 900, 700),
                              QRect(-700, 200, 900, 700), QRect(1800, 900, 900, 700)})
        EXPECT_EQ(PlaceOnScreens(seen, screens), seen);
    // The second screen is gone, or the title bar is above every screen.
    EXPECT_EQ(PlaceOnScreens(QRect(3400, 100, 900, 700), screens), QRect(510, 190, 900, 700));
    EXPECT_EQ(PlaceOnScreens(QRect(100, -600, 900, 700), screens), QRect(510, 190, 900, 700));
    // Larger than the screen it comes to: made to fit.
    EXPECT_EQ(PlaceOnScreens(QRect(5000, 0, 2500, 1200), screens), QRect(0, 0, 1920, 1080));
}

TEST(WindowPlace, ReadsOnlyFourNumbersWithASize) {
    EXPECT_EQ(ParsePlace("10,-20,800,600"), QRect(10, -20, 800, 600));
    for (const char* refused : {"", "10,20,800", "10,20,0,600", "a,20,800,600", "1,2,3,4,5"})
        EXPECT_FALSE(ParsePlace(QString::fromLatin1(refused))) << refused;
}

TEST(ProposedName, FromTheSerialAndTheRunsDay) {
    EXPECT_EQ(ProposedFileName("Q270S9-00417", "2026-12-08T23:30:00Z", "linearity", "json"),
              QStringLiteral("Q270S9-00417_2026-12-08_linearity.json"));
    EXPECT_EQ(ProposedFileName("A/B \"7\"", "2026-01-02T00:00:00Z", "plot", "png"),
              QStringLiteral("A_B__7__2026-01-02_plot.png"));
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    EXPECT_EQ(ProposedFileName("", "", "report", "pdf"), today + QStringLiteral("_report.pdf"));
}

TEST(AxisTicks, RoundStepsThatCoverTheRange) {
    const AxisTicks ppm = NiceTicks(-18.7, 2.2, 6);
    EXPECT_DOUBLE_EQ(ppm.step, 5);
    EXPECT_DOUBLE_EQ(ppm.lo, -20);
    EXPECT_DOUBLE_EQ(ppm.hi, 5);
    EXPECT_EQ(ppm.values, (std::vector<double>{-20, -15, -10, -5, 0, 5}));
    EXPECT_EQ(ppm.decimals, 0);

    const AxisTicks small = NiceTicks(0, 0.37, 4);
    EXPECT_DOUBLE_EQ(small.step, 0.1);
    EXPECT_EQ(small.decimals, 1);
    EXPECT_EQ(small.values.size(), 5u);
    EXPECT_EQ(small.values[0], 0.0);  // not -0
    // One value: a range around it, not a division by zero.
    const AxisTicks flat = NiceTicks(218, 218, 5);
    EXPECT_LT(flat.lo, 218);
    EXPECT_GT(flat.hi, 218);
    EXPECT_GE(flat.values.size(), 3u);
}

TEST(DateTicks, WholeDaysMonthsOrHoursAsTheSpanIs) {
    const auto at = [](const char* iso) {
        return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toSecsSinceEpoch();
    };
    const auto days = DateTicks(at("2026-03-01T10:00:00Z"), at("2026-03-11T10:00:00Z"), 5);
    ASSERT_EQ(days.size(), 5u);
    EXPECT_EQ(days.front().label, "2026-03-03");  // every second day
    EXPECT_EQ(days.back().label, "2026-03-11");
    const auto months = DateTicks(at("2025-01-15T00:00:00Z"), at("2026-01-15T00:00:00Z"), 4);
    ASSERT_FALSE(months.empty());
    for (const TimeTick& t : months) EXPECT_EQ(t.label.size(), 7u) << t.label;  // YYYY-MM
    EXPECT_EQ(months.front().label, "2025-05");  // every fourth month
    const auto hours = DateTicks(at("2026-03-01T10:20:00Z"), at("2026-03-01T16:00:00Z"), 3);
    ASSERT_FALSE(hours.empty());
    EXPECT_EQ(hours.front().label, "03-01 12:00");  // every two hours
    const auto minutes = DateTicks(at("2026-03-01T23:53:00Z"), at("2026-03-02T00:37:00Z"), 4);
    ASSERT_EQ(minutes.size(), 3u);  // every fifteen minutes, across midnight
    EXPECT_EQ(minutes.front().label, "03-02 00:00");
    EXPECT_EQ(minutes.back().label, "03-02 00:30");
}

}  // namespace
}  // namespace q270
