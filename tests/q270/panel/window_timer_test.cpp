// frmKal270 in real time: the 3 ms timer with its divider of 10 keeps the
// settings flowing at about 30 cycles a second.
#include <QEventLoop>
#include <QScrollBar>
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

// The timer sleeps until a cycle is due; a handler that asks for a cycle must
// still have it run on the next 3 ms event, not when the sleep would have ended.
TEST_F(Timed, AskedForCycleRunsOnTheNextTimerEvent) {
    frmKal270& window = open();
    ASSERT_EQ(window.state().LinkState, kLinkOnline);
    auto* percent = window.findChild<QScrollBar*>("ProzScroll");
    ASSERT_NE(percent, nullptr);
    int served = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        bench_->clearTraffic();
        percent->setValue(attempt % 2 == 0 ? 7 : 3);
        const std::string wanted = attempt % 2 == 0 ? "K1A0,7,1,0" : "K1A0,3,1,0";
        QEventLoop loop;
        QTimer::singleShot(12, &loop, &QEventLoop::quit);
        loop.exec();
        const auto lines = linesTo(kQ270Serial);
        if (std::find(lines.begin(), lines.end(), wanted) != lines.end()) ++served;
    }
    // 12 ms leave room for scheduling delays; a 30 ms sleep would miss nearly all.
    EXPECT_GE(served, 4);
}

}  // namespace
}  // namespace q270::testing
