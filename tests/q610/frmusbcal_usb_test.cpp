// The Q610 panel on USB against the virtual bench: what reaches the device,
// and what the operator sees.
#include "bench_panel_fixture.h"

using namespace q610test;
using Lines = std::vector<std::string>;

namespace {

class UsbPanel : public BenchPanelTest {};

TEST_F(UsbPanel, FirstStartConnectsAndSendsStepZero) {
    frmusbCal& window = start();
    EXPECT_EQ(window.connection(), 1);
    EXPECT_EQ(window.linkState(), 2);
    EXPECT_EQ(sentTo(kQ610Serial), Lines{"PAP 4"});
    EXPECT_EQ(messages(window),
              "Connected to Q610, USB device\nSNo: Q610-00123     ID: Q610 V2.03");
    EXPECT_EQ(messagesColour(window), zdx::kColourBlack);
    EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourGreen);
    EXPECT_EQ(backColor(window, "Command3"), zdx::kColourYellow);
    EXPECT_EQ(remark(window), "");
    EXPECT_EQ(statusPanel(window), "USB transfer: /");
    window.tick();
    EXPECT_EQ(sentTo(kQ610Serial), (Lines{"PAP 4", "PAP 4"}));
    EXPECT_EQ(statusPanel(window), "USB transfer: --");
}

TEST_F(UsbPanel, StoredSettingsAreRestoredToOneStep) {
    struct Case {
        const char* connection;
        const char* bits;
        const char* sent;
        const char* yellowStep;
        bool ready;
    };
    const Case cases[] = {
        {"0", "0", "PAP 4", "Command3", false},      {"7", "33", "PAP 1", "Command1", false},
        {"1", "68", "PAP 68", "Command3", true},     {"1", "5", "PAP 1", "Command1", false},
        {"x1", "eight", "PAP 4", "Command3", false}, {"1", "16", "PAP 16", "Command5", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.connection) + " / " + c.bits);
        storeSettings(c.connection, c.bits);
        bench().clearTraffic();
        frmusbCal& window = start();
        EXPECT_EQ(window.connection(), 1);
        EXPECT_EQ(sentTo(kQ610Serial), Lines{c.sent});
        EXPECT_EQ(backColor(window, c.yellowStep), zdx::kColourYellow);
        EXPECT_EQ(backColor(window, "Command7"), c.ready ? zdx::kColourGreen : zdx::kColour3DLight);
        window.close();
    }
}

TEST_F(UsbPanel, StepAndReadyButtonsSendAtOnce) {
    frmusbCal& window = start();
    click(window, "Command2");
    click(window, "Command7");
    EXPECT_EQ(backColor(window, "Command7"), zdx::kColourGreen);
    click(window, "Command5");
    // The ready lamp stays on, but its button shows rest after a step.
    EXPECT_EQ(backColor(window, "Command7"), zdx::kColour3DLight);
    EXPECT_EQ(backColor(window, "Command5"), zdx::kColourYellow);
    EXPECT_EQ(backColor(window, "Command2"), zdx::kColour3DLight);
    click(window, "Command7");
    EXPECT_EQ(sentTo(kQ610Serial), (Lines{"PAP 4", "PAP 2", "PAP 66", "PAP 80", "PAP 16"}));
    window.close();
    EXPECT_EQ(storedValue("Q610State"), "16");
    EXPECT_EQ(storedValue("Connection"), "1");
}

TEST_F(UsbPanel, BeepSoundsWhileHeldEvenAcrossATick) {
    frmusbCal& window = start();
    press(window, "Command6", Qt::RightButton);
    EXPECT_EQ(backColor(window, "Command6"), zdx::kColourRed);
    window.tick();
    release(window, "Command6", Qt::RightButton);
    EXPECT_EQ(backColor(window, "Command6"), zdx::kColour3DLight);
    EXPECT_EQ(sentTo(kQ610Serial), (Lines{"PAP 4", "PAP 36", "PAP 36", "PAP 4"}));
}

TEST_F(UsbPanel, LocalQ610IsAskedToSwitchToRemote) {
    useScenario(usbAndLptScenario(false));
    frmusbCal& window = start();
    EXPECT_EQ(remark(window), "Switch Q610 to REMOTE !");
    EXPECT_EQ(window.linkState(), 2);
    bench().setRemote(kQ610Serial, true);
    window.tick();
    EXPECT_EQ(remark(window), "");
}

TEST_F(UsbPanel, InterfaceModuleGetsCioLinesAndDclOnLeaving) {
    useScenario(R"({"usb": [{"kind": "KX", "serial": "KX0042", "behind": [{"kind": "Q610"}]}]})");
    frmusbCal& window = start();
    EXPECT_EQ(messages(window), "Connected via NVQ + KX, USB device\nSNo: KX0042");
    click(window, "Command1");
    EXPECT_EQ(remark(window), "");
    click(window, "CommandLPT1");
    EXPECT_EQ(sentTo("KX0042"), (Lines{R"(\x12CIO 4)", R"(\x12CIO 1)", "DCL"}));
    EXPECT_EQ(window.connection(), 2);
}

TEST_F(UsbPanel, InterfaceModuleWithoutQ610SaysSo) {
    useScenario(R"({"usb": [{"kind": "KX", "serial": "KX0043"}]})");
    frmusbCal& window = start();
    EXPECT_EQ(remark(window), "No Q610 connected to USB bus !");
    window.close();
    EXPECT_EQ(sentTo("KX0043"), (Lines{R"(\x12CIO 4)", "DCL"}));
}

TEST_F(UsbPanel, FailedExchangeConnectsAnewOnTheNextTick) {
    frmusbCal& window = start();
    click(window, "Command4");
    bench().setFault(kQ610Serial, "silent");
    window.tick();
    EXPECT_EQ(window.linkState(), 0);
    bench().setFault(kQ610Serial, "none");
    window.tick();
    EXPECT_EQ(window.linkState(), 2);
    EXPECT_EQ(backColor(window, "Command4"), zdx::kColourYellow);
    EXPECT_EQ(lastSentTo(kQ610Serial), "PAP 8");
    EXPECT_EQ(messages(window),
              "Connected to Q610, USB device\nSNo: Q610-00123     ID: Q610 V2.03");
}

TEST_F(UsbPanel, MissingDeviceIsReportedEveryTickUntilPluggedIn) {
    bench().unplug(kQ610Serial);
    frmusbCal& window = start();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(messages(window), "\n\nno USB device found");
        EXPECT_EQ(messagesColour(window), zdx::kColourRed);
        EXPECT_EQ(window.linkState(), 0);
        window.tick();
    }
    EXPECT_EQ(statusPanel(window), "USB transfer: \\");
    bench().replug(kQ610Serial);
    window.tick();
    EXPECT_EQ(window.linkState(), 2);
    EXPECT_EQ(sentTo(kQ610Serial), Lines{"PAP 4"});
}

TEST_F(UsbPanel, RightClickOnLptWhileOnUsbDoesNothing) {
    frmusbCal& window = start();
    click(window, "CommandLPT1", Qt::RightButton);
    EXPECT_EQ(remark(window), "");
    EXPECT_EQ(window.connection(), 1);
    EXPECT_TRUE(sentTo("LPT1").empty());
}

}  // namespace
