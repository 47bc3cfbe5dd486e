// The Q610 panel on the parallel ports against the virtual bench: the port
// driver's outcomes, the read-back judgement and the register display.
#include "bench_panel_fixture.h"
#include "calibrator_library.h"
#include "real_mouse.h"

using namespace q610test;
using namespace zdx::q610;

using zdx::testing::MouseEventLog;
using zdx::testing::RealMouse;

namespace {

class LptPanel : public BenchPanelTest {
  protected:
    // The panel started on LPT1 (stored), after its first cycle.
    frmusbCal& startOnLpt1(const char* bits = "4") {
        storeSettings("2", bits);
        return start();
    }

    std::string scenarioWith(const char* rest) {
        return std::string(R"({"usb": [{"kind": "Q610", "serial": "Q610-00123"}], )") + rest + "}";
    }
};

TEST_F(LptPanel, ConnectsAndWritesTheByteEveryTick) {
    frmusbCal& window = startOnLpt1("72");
    EXPECT_EQ(window.linkState(), kLinkRunning);
    EXPECT_EQ(messages(window), "\r\nQ610 must be switched to 'REMOTE'");
    EXPECT_EQ(messagesColour(window), zdx::kColourBlack);
    EXPECT_EQ(backColor(window, "CommandLPT1"), zdx::kColourGreen);
    EXPECT_EQ(backColor(window, "Command4"), zdx::kColourYellow);
    EXPECT_EQ(bench().lpt(0).data, 72);
    EXPECT_EQ(remark(window), "");
    EXPECT_EQ(statusPanel(window), "");
    window.tick();
    click(window, "Command1");
    EXPECT_EQ(bench().lpt(0).data, 65);
    EXPECT_EQ(sentTo("LPT1").size(), 3u);
    EXPECT_EQ(remark(window), "");
}

TEST_F(LptPanel, PortWithoutHardwareIsReportedEveryTick) {
    useScenario(scenarioWith(R"("lpt": [{"port": 1, "present": false}])"));
    frmusbCal& window = startOnLpt1();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(remark(window), "LPT-Port not found on this Computer");
        EXPECT_EQ(window.linkState(), kLinkRunning);
        window.tick();
    }
}

TEST_F(LptPanel, DriverOutcomesGiveTheirMessagesOnEveryTick) {
    struct Case {
        const char* scenario;
        const char* message;
    };
    const Case cases[] = {
        {R"("port_driver": "missing")",
         "Error: the Win NT port I/O driver is not installed.\r\n"
         "Run the program PORTINST.EXE from ZDX CD"},
        {R"("port_driver": "refusing")", "Error accessing LPT port"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        useScenario(scenarioWith(c.scenario));
        frmusbCal& window = startOnLpt1();
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(messages(window), c.message);
            EXPECT_EQ(messagesColour(window), zdx::kColourRed);
            EXPECT_EQ(window.linkState(), kLinkNotConnected);
            EXPECT_EQ(backColor(window, "CommandLPT1"), zdx::kColourYellow);
            window.tick();
        }
        window.close();
    }
}

TEST_F(LptPanel, OlderSystemsNeedNoDriver) {
    useScenario(scenarioWith(R"("os_family": "other", "port_driver": "missing",
                                "lpt": [{"port": 1, "device": "Q610"}])"));
    frmusbCal& window = startOnLpt1();
    EXPECT_EQ(window.linkState(), kLinkRunning);
    EXPECT_EQ(bench().lpt(0).data, 4);
}

TEST_F(LptPanel, RegisterDisplayStaysUntilAStepOrConnectionButton) {
    useScenario(
        scenarioWith(R"("lpt": [{"port": 1, "present": false}, {"port": 2, "device": "Q610"}])"));
    storeSettings("3", "4");
    frmusbCal& window = start();
    click(window, "CommandLPT1", Qt::RightButton);  // not the port in use
    EXPECT_EQ(window.portDisplayOn(), false);
    click(window, "CommandLPT2", Qt::RightButton);
    const zdx::bench::LptRegisters r = bench().lpt(1);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Port 0x278 :  %02X %02X %02X", r.data, r.status,
                  r.control);
    EXPECT_EQ(remark(window), expected);
    window.tick();
    window.tick();
    EXPECT_EQ(remark(window), expected);
    click(window, "Command2");
    window.tick();
    EXPECT_EQ(remark(window), "");
    // Frozen also over a port that shows its own warning on every tick.
    click(window, "CommandLPT1");
    EXPECT_EQ(remark(window), "LPT-Port not found on this Computer");
    click(window, "CommandLPT1", Qt::RightButton);
    window.tick();
    EXPECT_EQ(remark(window).substr(0, 14), "Port 0x378 :  ");
    click(window, "CommandLPT1");
    EXPECT_EQ(remark(window), "LPT-Port not found on this Computer");
}

// Every right press reads the registers anew, the second of a quick pair (a
// double-click to Qt) as well: here it shows the byte sent in between.
TEST_F(LptPanel, QuickRightPressesEachReadTheRegisters) {
    useScenario(
        scenarioWith(R"("lpt": [{"port": 1, "present": false}, {"port": 2, "device": "Q610"}])"));
    storeSettings("3", "4");
    frmusbCal& window = start();
    QWidget* lpt2 = control(window, "CommandLPT2");
    MouseEventLog log(lpt2);
    RealMouse mouse;
    mouse.click(lpt2, Qt::RightButton);
    EXPECT_EQ(remark(window).substr(0, 17), "Port 0x278 :  04 ");
    window.SendOutputBits(1);
    mouse.click(lpt2, Qt::RightButton);
    EXPECT_EQ(log.types.value(2), QEvent::MouseButtonDblClick);
    EXPECT_EQ(remark(window).substr(0, 17), "Port 0x278 :  01 ");
    EXPECT_TRUE(window.portDisplayOn());
    EXPECT_EQ(window.connection(), kConnectionLpt2);
}

TEST_F(LptPanel, ChangingConnectionClosesTheOldOneAndConnectsAtOnce) {
    frmusbCal& window = start();
    click(window, "CommandLPT1");
    EXPECT_EQ(window.linkState(), kLinkRunning);
    EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourButtonFace);
    EXPECT_EQ(backColor(window, "CommandLPT1"), zdx::kColourGreen);
    // Nothing is sent to a Q610 on USB when it is left.
    EXPECT_EQ(sentTo(kQ610Serial), std::vector<std::string>{"PAP 4"});
    EXPECT_EQ(bench().lpt(0).data, 4);
    click(window, "CommandUSBb");
    EXPECT_EQ(window.linkState(), kLinkRunning);
    // LPT1 was closed when USB was chosen.
    int value = 4;
    EXPECT_EQ(zdx::CalibratorLibrary::instance().CalCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr,
                                                            nullptr, &value),
              ZDXUSBCAL_LPT_NOT_OPEN);
}

TEST_F(LptPanel, LeavingOnLpt1ClosesThePortThenStoresTheSettings) {
    frmusbCal& window = startOnLpt1("68");
    int value = 68;
    ASSERT_EQ(zdx::CalibratorLibrary::instance().CalCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr,
                                                            nullptr, &value),
              0);
    window.close();
    value = 68;
    EXPECT_EQ(zdx::CalibratorLibrary::instance().CalCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr,
                                                            nullptr, &value),
              ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(storedValue("Connection"), "2");
    EXPECT_EQ(storedValue("Q610State"), "68");
}

}  // namespace
