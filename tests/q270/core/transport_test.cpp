// The serial line reader, Delay and the transport procedures against fakes.
#include <gtest/gtest.h>

#include "fakes.h"
#include "transport.h"

namespace q270 {
namespace {

using namespace std::chrono_literals;
using testing::FakeClock;
using testing::FakeSerialLine;
using testing::FakeUsb;

TEST(ReadLineCom, StopsAtLineFeedAndKeepsTheRestOfTheRead) {
    FakeClock clock;
    FakeSerialLine port(clock);
    port.pending = {"12", ".5\nextra", "later\n"};
    EXPECT_EQ(readLineCom(port, clock), "12,5\nextra");
    EXPECT_EQ(port.pending.size(), 1u);  // nothing read past the line
}

TEST(ReadLineCom, DeadlineReturnsWhatArrivedWithoutSpinning) {
    FakeClock clock;
    FakeSerialLine port(clock);
    port.chunkDelay = 100ms;
    port.pending = {"1", "2", "3", "4", "5"};
    const auto start = clock.now();
    EXPECT_EQ(readLineCom(port, clock), "1234");
    EXPECT_LE(clock.now() - start, 450ms);
    EXPECT_LE(port.waits, 5);

    FakeSerialLine silent(clock);
    EXPECT_EQ(readLineCom(silent, clock), "");
    EXPECT_LE(silent.waits, 2);  // one wait for the whole remaining time
}

TEST(ReadLineCom, BoundedAndClosedPort) {
    FakeClock clock;
    FakeSerialLine port(clock);
    port.chunkDelay = 1ms;
    port.pending.assign(10, std::string(1000, 'A'));
    EXPECT_EQ(readLineCom(port, clock).size(), kReadLineLimit);

    FakeSerialLine closed(clock);
    closed.open = false;
    closed.buffer = "0\n";
    EXPECT_EQ(readLineCom(closed, clock), "");
    writeLineCom(closed, "K1A0,0,1,0");
    EXPECT_TRUE(closed.written.empty());
}

TEST(Delay, SleepsToTheDeadline) {
    FakeClock clock;
    const auto start = clock.now();
    Delay(clock, 0.02f);
    EXPECT_GE(clock.now() - start, 20ms);
    EXPECT_EQ(clock.sleeps, 1);
    Delay(clock, -1.0f);
    Delay(clock, std::numeric_limits<float>::quiet_NaN());
    EXPECT_LT(clock.now() - start, 21ms);

    SteadyClock& real = SteadyClock::instance();
    const auto t0 = real.now();
    Delay(real, 0.01f);
    EXPECT_GT(real.now() - t0, 10ms);
}

struct TransportFixture : ::testing::Test {
    FakeClock clock;
    FakeSerialLine port{clock};
    FakeUsb usb;
    ProgramState state;
    Transport transport{state, port, usb, clock};
};

TEST_F(TransportFixture, UsbSendSettings) {
    state.Connection = kConnUsb;
    state.DeviceSerial = "Q270-0001";
    state.SelRange = 2;
    state.SelSign = 1;
    state.SelPercent = 5;
    usb.answers = {{0, "0\n"}, {0, "0\n"}};
    int repaints = 0;
    transport.setRepaint([&] { ++repaints; });
    transport.SendSettings(1);
    EXPECT_EQ(usb.sent, (std::vector<std::string>{"K1A1,5,2,0", "K1B0,1000,100,0"}));
    EXPECT_EQ(usb.serials[0], "Q270-0001");
    EXPECT_EQ(state.ReplyState, kReplyAccepted);
    EXPECT_EQ(state.BeepState, 1);
    EXPECT_EQ(repaints, 1);

    usb.answers = {{0, "?\n"}, {0, "0\n"}};
    transport.SendSettings(0);
    EXPECT_EQ(state.ReplyState, kReplyNotUnderstood);
    usb.answers = {{0, "0\n"}, {ZDXUSBCAL_CMD_NO_ANSWER_PIPE, ""}};
    transport.SendSettings(0);
    EXPECT_EQ(state.ReplyState, kReplyFailed);

    usb.sent.clear();
    state.DllMissing = 1;
    state.ReplyState = kReplyAccepted;
    transport.SendSettings(0);
    EXPECT_TRUE(usb.sent.empty());
    EXPECT_EQ(state.ReplyState, kReplyAccepted);
}

TEST_F(TransportFixture, SerialSendSettingsSkipsLineBAfterUnusableAnswer) {
    state.Connection = kConnCom1;
    state.SelRange = 1;
    port.replies = {{"3\r\n"}, {"0\r\n"}};
    transport.SendSettings(0);
    EXPECT_EQ(port.written, (std::vector<std::string>{"K1A0,0,1,0\n", "K1B0,0,0,0\n"}));
    EXPECT_EQ(state.ReplyState, kReplyCondition);

    port.written.clear();
    port.replies = {{"9\r\n"}};
    transport.SendSettings(0);
    EXPECT_EQ(port.written.size(), 1u);
    EXPECT_EQ(state.ReplyState, kReplyNotUnderstood);

    port.written.clear();
    transport.SendSettings(0);  // silent device
    EXPECT_EQ(port.written.size(), 1u);
    EXPECT_EQ(state.ReplyState, kReplyNotUnderstood);
}

TEST_F(TransportFixture, CloseLinkPerConnection) {
    state.Connection = kConnUsb;
    transport.CloseLink();
    EXPECT_EQ(usb.sent, std::vector<std::string>{"DCL"});
    EXPECT_TRUE(port.isOpen());  // a serial port left open by another connection stays

    usb.sent.clear();
    state.Connection = kConnComN;
    const auto start = clock.now();
    transport.CloseLink();
    EXPECT_TRUE(usb.sent.empty());
    EXPECT_EQ(port.written, std::vector<std::string>{"DCL\n"});
    EXPECT_GE(clock.now() - start, 100ms);
    EXPECT_FALSE(port.isOpen());

    state.Connection = kConnUsb;
    state.DllMissing = 1;
    transport.CloseLink();
    EXPECT_TRUE(usb.sent.empty());
}

TEST_F(TransportFixture, RelayCleaningRunsFiftyPairsOnTheClock) {
    state.Connection = kConnCom1;  // relay cleaning always goes over USB
    const auto start = clock.now();
    EXPECT_TRUE(transport.cleanRelays({255, 0, 0, 1}));
    ASSERT_EQ(usb.sent.size(), 100u);
    EXPECT_EQ(usb.sent[0], "K1T 1,0,0,255");
    EXPECT_EQ(usb.sent[1], "K1T 0,0,0,0");
    EXPECT_EQ(usb.sent[98], "K1T 1,0,0,255");
    EXPECT_GE(clock.now() - start, 2s);
    EXPECT_TRUE(port.written.empty());

    usb.sent.clear();
    state.DllMissing = 1;
    EXPECT_FALSE(transport.cleanRelays({255, 0, 0, 1}));
    EXPECT_TRUE(usb.sent.empty());
}

}  // namespace
}  // namespace q270
