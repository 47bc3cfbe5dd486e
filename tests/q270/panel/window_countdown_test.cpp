// The sleeping TimerTick of frmKal270 on an injected clock: its wake-ups count
// the nominal 3 ms events that passed, and a direct call of the timer handler
// (Beep, a connection button) is one event among them.
#include <QTest>
#include <QTimer>
#include <chrono>

#include "fakes.h"
#include "window_fixture.h"

namespace q270::testing {
namespace {

using namespace std::chrono_literals;

class Countdown : public WindowTest {
  protected:
    frmKal270& start() {
        frmKal270& w = open({}, &clock_);
        EXPECT_EQ(w.state().LinkState, kLinkOnline);
        // The start-up's handlers asked for a cycle; let it run, so that every
        // test starts right after a cycle.
        clock_.advance(3ms);
        w.timerElapsed();
        EXPECT_EQ(w.state().CycleCountdown, 10);
        bench_->clearTraffic();
        return w;
    }
    // Lets `elapsed` pass and wakes the timer, as its QTimer would.
    void wake(std::chrono::microseconds elapsed) {
        clock_.advance(elapsed);
        window_->timerElapsed();
    }
    std::size_t cycles() {
        const auto lines = linesTo(kQ270Serial);
        return static_cast<std::size_t>(
            std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind("K1A", 0) == 0; }));
    }
    int armedMs() {
        auto* timer = window_->findChild<QTimer*>("TimerTick");
        EXPECT_TRUE(timer->isActive());
        return timer->interval();
    }

    FakeClock clock_;
};

TEST_F(Countdown, WakeUpsCountTheEventsThatPassed) {
    frmKal270& w = start();
    EXPECT_EQ(armedMs(), 30);  // asleep until the tenth event
    wake(15ms);
    EXPECT_EQ(w.state().CycleCountdown, 5);
    EXPECT_EQ(cycles(), 0u);
    EXPECT_EQ(armedMs(), 15);
    wake(14ms);  // a little early: counted to the nearest event
    EXPECT_EQ(cycles(), 1u);
    EXPECT_EQ(w.state().CycleCountdown, 10);

    // A long sleep (a busy machine) still gives one cycle, not a burst of them.
    wake(1s);
    EXPECT_EQ(cycles(), 2u);
    EXPECT_EQ(w.state().CycleCountdown, 10);
    // A wake-up is always at least one event.
    wake(0ms);
    EXPECT_EQ(w.state().CycleCountdown, 9);
}

TEST_F(Countdown, AHandlerThatAsksForACycleIsServedByTheNextEvent) {
    frmKal270& w = start();
    wake(6ms);
    control<QScrollBar>("ProzScroll")->setValue(4);
    EXPECT_EQ(w.state().CycleCountdown, 1);
    EXPECT_EQ(armedMs(), 3);
    wake(3ms);
    EXPECT_EQ(linesTo(kQ270Serial).at(0), "K1A0,4,1,0");
}

// After a cycle run by the Beep press, nine events pass before the next one,
// whenever the timer wakes.
TEST_F(Countdown, ADirectCycleIsFollowedByNineEvents) {
    frmKal270& w = start();
    wake(12ms);  // countdown 6
    QTest::mousePress(control("Command6"), Qt::LeftButton);
    EXPECT_EQ(cycles(), 2u);  // SendSettings(1) and the cycle of the direct event
    EXPECT_EQ(w.state().CycleCountdown, 10);
    EXPECT_EQ(armedMs(), 30);
    QTest::mouseRelease(control("Command6"), Qt::LeftButton);
    bench_->clearTraffic();
    wake(13ms);
    wake(14ms);
    EXPECT_EQ(w.state().CycleCountdown, 1);
    EXPECT_EQ(cycles(), 0u);
    wake(3ms);
    EXPECT_EQ(cycles(), 1u);
}

// A connection button calls the handler directly: the events the sleeping timer
// has not counted yet count first, so the call runs a cycle exactly when the
// countdown has come down to it.
TEST_F(Countdown, ADirectCallRunsACycleWhenTheCountdownAllowsIt) {
    frmKal270& w = start();
    clock_.advance(12ms);  // four events: countdown 6
    QTest::mouseClick(control("CommandUSBb"), Qt::LeftButton);
    EXPECT_EQ(w.state().LinkState, kLinkNotConnected);  // the fifth event: no cycle yet
    EXPECT_EQ(w.state().CycleCountdown, 5);
    EXPECT_EQ(armedMs(), 15);
    wake(15ms);
    EXPECT_EQ(w.state().LinkState, kLinkOnline);

    bench_->clearTraffic();
    clock_.advance(27ms);  // nine events since that cycle: countdown 1
    QTest::mouseClick(control("CommandUSBb"), Qt::LeftButton);
    EXPECT_EQ(w.state().LinkState, kLinkOnline);  // reconnected at once
    EXPECT_EQ(w.state().CycleCountdown, 10);
    EXPECT_EQ(linesTo(kQ270Serial).at(0), "DCL");
    EXPECT_EQ(linesTo(kQ270Serial).at(1), "K1A128,0,6,0");
}

// A calibrator on a slow line: every exchange answers "0", 300 ms later.
class SlowUsb : public UsbAccess {
  public:
    explicit SlowUsb(FakeClock& clock) : clock_(clock) {}
    void probe() override {}
    UsbDeviceInfo deviceInfo(const std::string&, const std::string&) override {
        UsbDeviceInfo info;
        info.result = 0;
        info.serial = "SLOW1";
        info.string6 = "Q270S7";
        return info;
    }
    int exchange(const std::string&, std::string& line) override {
        sent.push_back(line);
        clock_.advance(300ms);
        line = "0\r\n";
        return 0;
    }
    std::vector<std::string> sent;

  private:
    FakeClock& clock_;
};

// The time a cycle blocks the window is no time for the timer: the next cycle
// still comes nine events after it, not at the first wake-up.
TEST_F(Countdown, ABlockingCycleIsFollowedByNineEvents) {
    SlowUsb usb(clock_);
    state_ = std::make_unique<ProgramState>();
    window_ = std::make_unique<frmKal270>(*state_, QString(), &usb, &clock_);
    frmKal270& w = *window_;
    ASSERT_EQ(w.state().LinkState, kLinkOnline);
    wake(3ms);  // the start-up's handlers asked for this cycle
    ASSERT_EQ(w.state().CycleCountdown, 10);
    usb.sent.clear();
    wake(3ms);
    EXPECT_TRUE(usb.sent.empty());
    EXPECT_EQ(w.state().CycleCountdown, 9);
    wake(24ms);
    EXPECT_EQ(w.state().CycleCountdown, 1);
    wake(3ms);
    EXPECT_EQ(usb.sent, (std::vector<std::string>{"K1A0,0,1,0", "K1B0,0,0,0"}));
    window_->close();
    window_.reset();
}

}  // namespace
}  // namespace q270::testing
