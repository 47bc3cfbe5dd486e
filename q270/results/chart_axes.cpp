#include "chart_axes.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

namespace q270 {

AxisTicks NiceTicks(double lo, double hi, int wanted) {
    if (!(hi > lo)) {
        const double half = std::max(std::abs(lo) * 0.1, 1.0);
        lo -= half;
        hi += half;
    }
    const double raw = (hi - lo) / std::max(wanted, 2);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    AxisTicks ticks;
    ticks.step = 10 * magnitude;
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * magnitude * (1 + 1e-9)) {
            ticks.step = m * magnitude;
            break;
        }
    ticks.lo = std::floor(lo / ticks.step + 1e-9) * ticks.step;
    ticks.hi = std::ceil(hi / ticks.step - 1e-9) * ticks.step;
    ticks.decimals = ticks.step < 1 ? int(std::ceil(-std::log10(ticks.step) - 1e-9)) : 0;
    const int count = int(std::lround((ticks.hi - ticks.lo) / ticks.step));
    for (int i = 0; i <= count; ++i) {
        const double v = ticks.lo + i * ticks.step;
        // No "-0" below a zero that rounding left a hair off.
        ticks.values.push_back(std::abs(v) < ticks.step * 1e-9 ? 0.0 : v);
    }
    return ticks;
}

std::vector<TimeTick> DateTicks(std::int64_t from, std::int64_t to, int wanted) {
    if (to < from) std::swap(from, to);
    const QTimeZone utc = QTimeZone::utc();
    const QDateTime start = QDateTime::fromSecsSinceEpoch(from, utc);
    const double spanDays = double(to - from) / 86400;
    std::vector<TimeTick> ticks;
    const auto add = [&](const QDateTime& t, const QString& format) {
        if (t.toSecsSinceEpoch() >= from && t.toSecsSinceEpoch() <= to)
            ticks.push_back({t.toSecsSinceEpoch(), t.toString(format).toStdString()});
    };
    if (spanDays < 2) {
        // A round number of minutes, counted from midnight.
        const double raw = spanDays * 24 * 60 / std::max(wanted, 1);
        int minutes = 720;
        for (const int m : {5, 10, 15, 30, 60, 120, 180, 360, 720})
            if (m >= raw) {
                minutes = m;
                break;
            }
        const QTime from0 = start.time();
        const int first = from0.hour() * 60 + from0.minute();
        for (QDateTime t(start.date(), QTime(0, 0).addSecs(60 * (first - first % minutes)), utc);
             t.toSecsSinceEpoch() <= to; t = t.addSecs(60 * minutes))
            add(t, QStringLiteral("MM-dd HH:mm"));
    } else if (spanDays < 62) {
        const int days = std::max(1, int(std::ceil(spanDays / std::max(wanted, 1))));
        for (QDateTime t(start.date(), QTime(0, 0), utc); t.toSecsSinceEpoch() <= to;
             t = t.addDays(days))
            add(t, QStringLiteral("yyyy-MM-dd"));
    } else if (spanDays < 3 * 366) {
        const int months = std::max(1, int(std::ceil(spanDays / 30.4 / std::max(wanted, 1))));
        for (QDateTime t(QDate(start.date().year(), start.date().month(), 1), QTime(0, 0), utc);
             t.toSecsSinceEpoch() <= to; t = t.addMonths(months))
            add(t, QStringLiteral("yyyy-MM"));
    } else {
        const int years = std::max(1, int(std::ceil(spanDays / 365.25 / std::max(wanted, 1))));
        for (QDateTime t(QDate(start.date().year(), 1, 1), QTime(0, 0), utc);
             t.toSecsSinceEpoch() <= to; t = t.addYears(years))
            add(t, QStringLiteral("yyyy"));
    }
    return ticks;
}

}  // namespace q270
