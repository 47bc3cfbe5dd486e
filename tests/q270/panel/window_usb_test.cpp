// frmKal270 on USB: discovery, device profiles, the range probe, condition
// messages, loss and rediscovery of the device.
#include <QTest>

#include "window_fixture.h"

namespace q270::testing {
namespace {

using Usb = WindowTest;

TEST_F(Usb, StartUpConnectsProbesAndSendsTheSelection) {
    frmKal270& w = open();
    EXPECT_EQ(w.windowTitle().toStdString(), "ZDX Calibration System for Q270, V1.18, 01/2015");
    EXPECT_EQ(w.state().LinkState, kLinkOnline);
    EXPECT_EQ(messages(), "Connected to ZDX USB device\r\nSNo: Q270S9-00417     ID: Q270S9 V1.18");
    // The box shows each CR LF as one line break.
    EXPECT_EQ(text("txtMessages"),
              "Connected to ZDX USB device\nSNo: Q270S9-00417     ID: Q270S9 V1.18");
    EXPECT_EQ(fore("txtMessages"), zdx::kColourBlack);
    EXPECT_EQ(back("CommandUSBb"), zdx::kColourGreen);
    EXPECT_EQ(back("CommandCOM1"), zdx::kColourButtonFace);
    EXPECT_EQ(text("Panel1"), "Data transfer: /");
    EXPECT_EQ(w.state().DeviceSerial, kQ270Serial);

    // The probe asks for range 6 with mode 128, then the selection follows.
    const auto lines = linesTo(kQ270Serial);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "K1A128,0,6,0");
    EXPECT_EQ(lines[1], "K1B0,0,0,0");
    EXPECT_EQ(lines[2], "K1A0,0,1,0");
    EXPECT_EQ(lines[3], "K1B0,0,0,0");

    // "Q270S9": six ranges, the first 0.5 mV/V.
    EXPECT_EQ(w.rangeProbeDone(), 2);
    EXPECT_EQ(control<QScrollBar>("RangeScroll")->maximum(), 6);
    EXPECT_EQ(control("RangeScroll")->property("layoutWidth").toInt(), 2755);
    EXPECT_TRUE(visible("Range_5"));
    EXPECT_EQ(text("RangeLabel"), "Range  0.5 mV/V");
    EXPECT_EQ(w.state().RangeTable[1], 555);
    EXPECT_FALSE(visible("HBr"));
    EXPECT_FALSE(visible("Channel_9"));
    EXPECT_EQ(control<QScrollBar>("ChanScroll")->maximum(), 8);
    EXPECT_FALSE(visible("Textremo"));
}

TEST_F(Usb, TimerDividerAndCountdownContract) {
    frmKal270& w = open();
    cycle();
    bench_->clearTraffic();
    const int phase = w.tickPhase();
    for (int i = 0; i < 9; ++i) w.tick();
    EXPECT_TRUE(linesTo(kQ270Serial).empty());
    w.tick();
    EXPECT_EQ(linesTo(kQ270Serial).size(), 2u);
    EXPECT_EQ(w.tickPhase(), (phase + 1) % 4);
    const char* markers[] = {"|", "/", "--", "\\"};
    EXPECT_EQ(text("Panel1"), std::string("Data transfer: ") + markers[w.tickPhase()]);

    // A handler while online makes the very next event send the change.
    bench_->clearTraffic();
    QTest::mouseClick(control("Channel_3"), Qt::LeftButton);
    EXPECT_EQ(w.state().CycleCountdown, 1);
    w.tick();
    EXPECT_EQ(linesTo(kQ270Serial), (std::vector<std::string>{"K1A0,0,1,3", "K1B0,0,0,0"}));
    EXPECT_EQ(text("ChanLabel"), "Channel 3");
}

TEST_F(Usb, ProbeRefusedSixteenChannelsAndHbFlag) {
    bench_->loadScenario(R"({"usb": [{"kind": "Q270", "serial": "Q270H-77", "id": "TV560 A",
                             "probe_accepted": false}]})");
    frmKal270& w = open();
    EXPECT_EQ(w.rangeProbeDone(), 1);
    EXPECT_EQ(control<QScrollBar>("RangeScroll")->maximum(), 5);
    EXPECT_EQ(control("RangeScroll")->property("layoutWidth").toInt(), 2295);
    EXPECT_FALSE(visible("Range_5"));
    EXPECT_EQ(text("RangeLabel"), "Range 2 mV/V");
    EXPECT_EQ(control<QScrollBar>("ChanScroll")->maximum(), 15);
    EXPECT_TRUE(visible("Channel_15"));
    EXPECT_TRUE(visible("HBr"));

    // HB travels in the mode field of the next "K1A" line only.
    bench_->clearTraffic();
    control<QAbstractButton>("HBr")->click();
    EXPECT_TRUE(linesTo("Q270H-77").empty());
    QTest::mouseClick(control("Minus"), Qt::LeftButton);
    QTest::mouseClick(control("Channel_12"), Qt::LeftButton);
    w.tick();
    EXPECT_EQ(linesTo("Q270H-77").at(0), "K1A3,0,1,12");
    EXPECT_EQ(text("ProzLabel"), "-0 % =  0.0 mV/V");
}

TEST_F(Usb, ProbeRefusedWhileRangeSixIsSelected) {
    {
        QSettings store("ZDX", "ZDXKalQ270");
        store.setValue("Properties/Q270Range", "6");
    }
    bench_->loadScenario(R"({"usb": [{"kind": "Q270", "serial": "Q1", "id": "Q270S7",
                             "probe_accepted": false}]})");
    frmKal270& w = open();
    EXPECT_EQ(control<QScrollBar>("RangeScroll")->maximum(), 5);
    EXPECT_EQ(control<QScrollBar>("RangeScroll")->value(), 5);
    EXPECT_EQ(w.state().SelRange, 5);
    EXPECT_EQ(text("RangeLabel"), "Range 100 mV/V");
}

TEST_F(Usb, NoDeviceAndFilters) {
    bench_->loadScenario(R"({"usb": []})");
    frmKal270& w = open();
    EXPECT_EQ(w.state().LinkState, kLinkNotConnected);
    EXPECT_EQ(messages(), "\r\n\r\nno USB device found");
    EXPECT_EQ(fore("txtMessages"), zdx::kColourRed);
    EXPECT_EQ(back("CommandUSBb"), zdx::kColourYellow);
    cycle();
    EXPECT_EQ(w.state().LinkState, kLinkNotConnected);
    EXPECT_EQ(w.state().DeviceSerial, "");
    closeWindow();

    // A serial filter that matches nothing finds nothing, though a calibrator is
    // on the bus: it gets no line, neither from the cycles nor from the shut-down.
    bench_->loadScenario(q270Scenario());
    frmKal270& unmatched = open("/DEV=NOPE /ID=V1.18");
    EXPECT_EQ(messages(), "\r\n\r\nno USB device found");
    cycle();
    cycle();
    EXPECT_EQ(unmatched.state().LinkState, kLinkNotConnected);
    EXPECT_EQ(back("CommandUSBb"), zdx::kColourYellow);
    closeWindow();
    EXPECT_EQ(linesTo(kQ270Serial), std::vector<std::string>{});

    // One that matches connects.
    frmKal270& filtered = open("/DEV=S9-004 /ID=V1.18");
    EXPECT_EQ(filtered.state().LinkState, kLinkOnline);
    EXPECT_EQ(filtered.windowTitle().toStdString(),
              "ZDX Calibration System for Q270, V1.18, 01/2015   Dev = S9-004   ID = V1.18");
}

TEST_F(Usb, InterfaceModuleAndNullStrings) {
    bench_->loadScenario(R"({"usb": [{"kind": "KX", "serial": "KX0042",
                             "behind": [{"kind": "Q270"}]}]})");
    frmKal270& w = open();
    EXPECT_EQ(w.state().LinkState, kLinkOnline);
    EXPECT_EQ(messages(), "Connected via NVQ + KX, USB device\r\nSNo: KX0042");
    EXPECT_TRUE(contains(linesTo("KX0042"), "K1A0,0,1,0"));
    closeWindow();

    bench_->loadScenario(R"j({"usb": [{"kind": "Q270", "serial": "Q2", "string6": "(null)"}]})j");
    open();
    EXPECT_EQ(messages(), "Connected to ZDX USB device\r\nSNo: Q2     ID: ");
}

TEST_F(Usb, ConditionsRefusalsAndStopRequest) {
    bench_->loadScenario(q270Scenario(R"(, "condition": 3)"));
    frmKal270& w = open();
    EXPECT_EQ(w.state().ReplyState, kReplyCondition);
    EXPECT_TRUE(visible("Textremo"));
    EXPECT_EQ(text("Textremo"), "Q270 bell !");

    // A line the device refuses: range 6 on a device without it answers "?".
    bench_->loadScenario(q270Scenario(R"(, "probe_accepted": false)"));
    w.state().SelRange = 6;
    cycle();
    EXPECT_EQ(w.state().ReplyState, kReplyNotUnderstood);
    EXPECT_EQ(text("Textremo"), "No Q270 connected to USB bus !");
    w.state().SelRange = 1;
    cycle();
    EXPECT_FALSE(visible("Textremo"));

    // A status-bar click freezes the messages: a lost device is not searched for.
    QTest::mouseClick(control("Panel1"), Qt::LeftButton);
    EXPECT_EQ(w.state().StopRequest, 1);
    bench_->unplug(kQ270Serial);
    cycle();
    EXPECT_EQ(w.state().ReplyState, kReplyFailed);
    EXPECT_EQ(w.state().LinkState, kLinkOnline);
    // A new connection clears the request.
    QTest::mouseClick(control("CommandUSBb"), Qt::LeftButton);
    EXPECT_EQ(w.state().StopRequest, 0);
    EXPECT_EQ(w.state().LinkState, kLinkNotConnected);
    cycle();
    EXPECT_EQ(messages(), "\r\n\r\nno USB device found");
}

TEST_F(Usb, LossAndRediscovery) {
    frmKal270& w = open();
    bench_->unplug(kQ270Serial);
    cycle();
    EXPECT_EQ(w.state().LinkState, kLinkNotConnected);
    cycle();
    EXPECT_EQ(messages(), "\r\n\r\nno USB device found");
    EXPECT_EQ(back("CommandUSBb"), zdx::kColourYellow);
    bench_->replug(kQ270Serial);
    bench_->clearTraffic();
    cycle();
    EXPECT_EQ(w.state().LinkState, kLinkOnline);
    EXPECT_EQ(back("CommandUSBb"), zdx::kColourGreen);
    EXPECT_EQ(linesTo(kQ270Serial).at(0), "K1A128,0,6,0");  // probed again
}

}  // namespace
}  // namespace q270::testing
