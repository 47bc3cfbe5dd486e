// frmKal270 in real time: the 3 ms timer with its divider of 10 keeps the
// settings flowing at about 30 cycles a second.
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "window_fixture.h"

namespace q270::testing {
namespace {

using Timed = WindowTest;

TEST_F(Timed, TimerResendsTheSettingsEveryThirtyMilliseconds) {
    open();
    bench_->clearTraffic();
    // A plain event loop: qWait would sleep between its event rounds and drop timer events.
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    const auto lines = linesTo(kQ270Serial);
    const auto cycles = std::count_if(lines.begin(), lines.end(),
                                      [](const std::string& l) { return l.rfind("K1A", 0) == 0; });
    EXPECT_GE(cycles, 20);
    EXPECT_LE(cycles, 36);
}

}  // namespace
}  // namespace q270::testing
