// The Q610 panel on USB against the virtual bench: what reaches the device,
// and what the operator sees.
#include <QGroupBox>

#include "bench_panel_fixture.h"
#include "real_mouse.h"

using namespace q610test;
using namespace zdx::q610;

using zdx::testing::MouseEventLog;
using zdx::testing::RealMouse;
using Lines = std::vector<std::string>;

namespace {

class UsbPanel : public BenchPanelTest {};

TEST_F(UsbPanel, FirstStartConnectsAndSendsStepZero) {
    frmusbCal& window = start();
    EXPECT_EQ(window.connection(), kConnectionUsb);
    EXPECT_EQ(window.linkState(), kLinkRunning);
    EXPECT_EQ(sentTo(kQ610Serial), Lines{"PAP 4"});
    EXPECT_EQ(messages(window),
              "Connected to Q610, USB device\r\nSNo: Q610-00123     ID: Q610 V2.03");
    // The box shows each CR LF as one line break.
    EXPECT_EQ(shownMessages(window),
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

TEST_F(UsbPanel, CaptionsTitlesAndTheInitialStatusText) {
    auto window = openPanel();
    EXPECT_EQ(window->windowTitle().toStdString(),
              "ZDX Calibration System for Q610, V1.1, 03/2005");
    // Before the first tick the status bar names the traffic it will show.
    EXPECT_EQ(statusPanel(*window), "USB Datenverkehr");
    const std::pair<const char*, const char*> captions[] = {
        {"Command1", "+100% +8mV/V"}, {"Command2", "+50% +4mV/V"},  {"Command3", "   0%    0mV/V"},
        {"Command4", "-50% -4mV/V"},  {"Command5", "-100% -8mV/V"}, {"Command6", "Beep"},
        {"Command7", "Ready"},        {"CommandUSBb", "USB"},       {"CommandLPT1", "LPT1"},
        {"CommandLPT2", "LPT2"},
    };
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(control<QPushButton>(*window, name)->text().toStdString(), caption) << name;
    EXPECT_EQ(control<QGroupBox>(*window, "frameTest")->title().toStdString(), "Communication");
    EXPECT_EQ(control<QGroupBox>(*window, "frameMeldungen")->title().toStdString(), "Messages");
    EXPECT_EQ(messages(*window), "");
    window->tick();
    EXPECT_EQ(statusPanel(*window), "USB transfer: /");
    window->close();
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
        EXPECT_EQ(window.connection(), kConnectionUsb);
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
    // The ready lamp stays on through a step, and its button says so.
    EXPECT_EQ(backColor(window, "Command7"), zdx::kColourGreen);
    EXPECT_EQ(backColor(window, "Command5"), zdx::kColourYellow);
    EXPECT_EQ(backColor(window, "Command2"), zdx::kColour3DLight);
    press(window, "Command6");
    release(window, "Command6");
    window.tick();
    EXPECT_EQ(backColor(window, "Command7"), zdx::kColourGreen);
    click(window, "Command7");
    EXPECT_EQ(backColor(window, "Command7"), zdx::kColour3DLight);
    click(window, "Command1");
    EXPECT_EQ(backColor(window, "Command7"), zdx::kColour3DLight);  // lamp off: rest
    EXPECT_EQ(sentTo(kQ610Serial), (Lines{"PAP 4", "PAP 2", "PAP 66", "PAP 80", "PAP 112", "PAP 80",
                                          "PAP 80", "PAP 16", "PAP 1"}));
    window.close();
    EXPECT_EQ(storedValue("Q610State"), "1");
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

// Every press of Beep is one press, however quick: the second of a quick pair
// (a double-click to Qt) sounds the beeper as the first did, with either button.
TEST_F(UsbPanel, QuickPressesOfBeepEachSoundTheBeeper) {
    frmusbCal& window = start();
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        SCOPED_TRACE(button == Qt::LeftButton ? "left" : "right");
        bench().clearTraffic();
        QWidget* beep = control(window, "Command6");
        MouseEventLog log(beep);
        RealMouse mouse;
        for (int i = 0; i < 2; ++i) {
            mouse.press(beep, button);
            EXPECT_EQ(backColor(window, "Command6"), zdx::kColourRed);
            mouse.release(beep, button);
            EXPECT_EQ(backColor(window, "Command6"), zdx::kColour3DLight);
        }
        EXPECT_EQ(log.types.value(2), QEvent::MouseButtonDblClick);
        EXPECT_EQ(sentTo(kQ610Serial), (Lines{"PAP 36", "PAP 4", "PAP 36", "PAP 4"}));
    }
}

TEST_F(UsbPanel, LocalQ610IsAskedToSwitchToRemote) {
    useScenario(usbAndLptScenario(false));
    frmusbCal& window = start();
    EXPECT_EQ(remark(window), "Switch Q610 to REMOTE !");
    EXPECT_EQ(window.linkState(), kLinkRunning);
    bench().setRemote(kQ610Serial, true);
    window.tick();
    EXPECT_EQ(remark(window), "");
}

TEST_F(UsbPanel, InterfaceModuleGetsCioLinesAndDclOnLeaving) {
    useScenario(R"({"usb": [{"kind": "KX", "serial": "KX0042", "behind": [{"kind": "Q610"}]}]})");
    frmusbCal& window = start();
    EXPECT_EQ(messages(window), "Connected via NVQ + KX, USB device\r\nSNo: KX0042");
    click(window, "Command1");
    EXPECT_EQ(remark(window), "");
    click(window, "CommandLPT1");
    EXPECT_EQ(sentTo("KX0042"), (Lines{R"(\x12CIO 4)", R"(\x12CIO 1)", "DCL"}));
    EXPECT_EQ(window.connection(), kConnectionLpt1);
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
    EXPECT_EQ(window.linkState(), kLinkNotConnected);
    // Not connected any more: chosen, not green.
    EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourYellow);
    bench().setFault(kQ610Serial, "none");
    window.tick();
    EXPECT_EQ(window.linkState(), kLinkRunning);
    EXPECT_EQ(backColor(window, "Command4"), zdx::kColourYellow);
    EXPECT_EQ(lastSentTo(kQ610Serial), "PAP 8");
    EXPECT_EQ(messages(window),
              "Connected to Q610, USB device\r\nSNo: Q610-00123     ID: Q610 V2.03");
}

TEST_F(UsbPanel, UnpluggedWhileRunningTheButtonTurnsBackToYellow) {
    frmusbCal& window = start();
    ASSERT_EQ(backColor(window, "CommandUSBb"), zdx::kColourGreen);
    bench().unplug(kQ610Serial);
    window.tick();
    EXPECT_EQ(window.linkState(), kLinkNotConnected);
    EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourYellow);
    window.tick();
    EXPECT_EQ(messages(window), "\r\n\r\nno USB device found");
    EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourYellow);
    bench().replug(kQ610Serial);
    window.tick();
    EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourGreen);
}

TEST_F(UsbPanel, MissingDeviceIsReportedEveryTickUntilPluggedIn) {
    bench().unplug(kQ610Serial);
    frmusbCal& window = start();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(messages(window), "\r\n\r\nno USB device found");
        EXPECT_EQ(messagesColour(window), zdx::kColourRed);
        EXPECT_EQ(window.linkState(), kLinkNotConnected);
        window.tick();
    }
    EXPECT_EQ(statusPanel(window), "USB transfer: \\");
    bench().replug(kQ610Serial);
    window.tick();
    EXPECT_EQ(window.linkState(), kLinkRunning);
    EXPECT_EQ(sentTo(kQ610Serial), Lines{"PAP 4"});
}

TEST_F(UsbPanel, RightClickOnLptWhileOnUsbDoesNothing) {
    frmusbCal& window = start();
    for (const char* port : {"CommandLPT1", "CommandLPT2"}) {
        click(window, port, Qt::RightButton);
        EXPECT_FALSE(window.portDisplayOn()) << port;
        EXPECT_EQ(remark(window), "") << port;
    }
    // The USB link goes on as before: the next tick sends, and nothing warns.
    window.tick();
    EXPECT_EQ(window.connection(), kConnectionUsb);
    EXPECT_EQ(window.linkState(), kLinkRunning);
    EXPECT_EQ(sentTo(kQ610Serial), (Lines{"PAP 4", "PAP 4"}));
    EXPECT_EQ(remark(window), "");
    // The same right click on the port in use shows its registers.
    click(window, "CommandLPT1");
    click(window, "CommandLPT1", Qt::RightButton);
    EXPECT_TRUE(window.portDisplayOn());
    EXPECT_EQ(remark(window).substr(0, 14), "Port 0x378 :  ");
}

// Answers the running cycle cannot take as a remote Q610's. A 2-byte answer
// ("1" CR, its line feed lost) is an answer from something that is not a
// remote Q610: "Switch Q610 to REMOTE !", and the link stays. A garbage line
// longer than the command, and an answer after the read time-out, are no
// answer at all: the exchange failed, and the next tick searches the device anew.
TEST_F(UsbPanel, ShortGarbageAndLateAnswersWhileRunning) {
    frmusbCal& window = start();
    bench().setFault(kQ610Serial, "no_lf");
    window.tick();
    EXPECT_EQ(window.replyState(), kReplyAnswered);
    EXPECT_EQ(remark(window), "Switch Q610 to REMOTE !");
    EXPECT_EQ(window.linkState(), kLinkRunning);
    EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourGreen);
    bench().setFault(kQ610Serial, "none");
    window.tick();
    EXPECT_EQ(window.replyState(), kReplyRemote);
    EXPECT_EQ(remark(window), "");

    for (const char* fault : {"garbage", "late"}) {
        SCOPED_TRACE(fault);
        bench().setFault(kQ610Serial, fault);
        window.tick();
        EXPECT_EQ(window.replyState(), kReplyFailed);
        EXPECT_EQ(window.linkState(), kLinkNotConnected);
        EXPECT_EQ(remark(window), "");
        EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourYellow);
        bench().setFault(kQ610Serial, "none");
        // Found again at once; the byte goes out on the same tick.
        bench().clearTraffic();
        window.tick();
        EXPECT_EQ(window.linkState(), kLinkRunning);
        EXPECT_EQ(backColor(window, "CommandUSBb"), zdx::kColourGreen);
        EXPECT_EQ(sentTo(kQ610Serial), Lines{"PAP 4"});
        window.tick();
        EXPECT_EQ(window.replyState(), kReplyRemote);
        EXPECT_EQ(remark(window), "");
    }
}

}  // namespace
