// The scales of the pictures a reader keeps (the history plots, the exported
// results plot): round tick values, and date ticks for a time axis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace q270 {

struct AxisTicks {
    double lo = 0, hi = 1;  // the axis' ends, widened to whole steps
    double step = 1;        // 1, 2 or 5 times a power of ten
    int decimals = 0;       // what a tick label needs to show the step
    std::vector<double> values;
};

// Round ticks covering lo..hi, about `wanted` of them (never fewer than two
// steps); an empty or inverted range is widened around its value.
AxisTicks NiceTicks(double lo, double hi, int wanted = 6);

// A tick of a time axis: seconds since the epoch (UTC) and its label.
struct TimeTick {
    std::int64_t seconds = 0;
    std::string label;
};

// Ticks at whole days, months or years (UTC) between `from` and `to`, about
// `wanted` of them, labelled "YYYY-MM-DD", "YYYY-MM" or "YYYY" as the step
// is; a span under two days gets ticks at round minutes labelled "MM-DD HH:MM".
std::vector<TimeTick> DateTicks(std::int64_t from, std::int64_t to, int wanted = 5);

}  // namespace q270
