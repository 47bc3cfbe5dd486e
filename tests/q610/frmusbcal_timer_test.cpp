// The panel paced by its own 300 ms timer, in real time.
#include <QElapsedTimer>

#include "bench_panel_fixture.h"

using namespace q610test;
using namespace zdx::q610;

namespace {

class TimedPanel : public BenchPanelTest {};

TEST_F(TimedPanel, TimerSendsTheByteAboutEvery300Ms) {
    auto window = std::make_unique<frmusbCal>();
    window->show();
    QTest::qWait(1550);
    const std::size_t sent = sentTo(kQ610Serial).size();
    // Five ticks are due; allow for a slow machine, never for a spinning timer.
    EXPECT_GE(sent, 3u);
    EXPECT_LE(sent, 6u);
    EXPECT_EQ(window->linkState(), kLinkRunning);
    window->close();
}

}  // namespace
