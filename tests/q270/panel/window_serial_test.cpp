// frmKal270 on the serial ports: identification, settings lines, silent ports
// and the cycling of the second port.
#include <QTest>

#include "real_mouse.h"
#include "window_fixture.h"

namespace q270::testing {

using zdx::testing::MouseEventLog;
using zdx::testing::RealMouse;
namespace {

using Serial = WindowTest;

TEST_F(Serial, ConnectIdentifyAndSend) {
    frmKal270& w = open();
    bench_->clearTraffic();
    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    EXPECT_EQ(linesTo(kQ270Serial), std::vector<std::string>{"DCL"});  // USB link ended first
    EXPECT_EQ(w.state().Connection, kConnComN);
    EXPECT_EQ(w.state().LinkState, kLinkOnline);
    // Serial answers carry the decimal comma.
    EXPECT_EQ(messages(), "Connection via serial line\r\nSNo: Q270S9-00418     ID: Q270S9 V1,18");
    EXPECT_EQ(back("CommandCOM2"), zdx::kColourGreen);
    EXPECT_EQ(back("CommandUSBb"), zdx::kColourButtonFace);
    const auto lines = linesTo("COM2");
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "SNR?0");
    EXPECT_EQ(lines[1], "SNR?1");
    EXPECT_EQ(lines[2], "K1A128,0,6,0");
    EXPECT_EQ(lines[4], "K1A0,0,1,0");
    EXPECT_EQ(w.rangeProbeDone(), 2);
    EXPECT_FALSE(visible("Textremo"));

    bench_->setFault("COM2", "silent");
    cycle();
    EXPECT_EQ(w.state().ReplyState, kReplyNotUnderstood);
    EXPECT_EQ(text("Textremo"), "No answer from Q270");
    EXPECT_EQ(w.state().LinkState, kLinkOnline);  // a serial link is never dropped
    bench_->setFault("COM2", "none");

    bench_->clearTraffic();
    closeWindow();
    EXPECT_EQ(linesTo("COM2"), std::vector<std::string>{"DCL"});
}

TEST_F(Serial, SilentPortStillGoesOnlineAndConditionsShow) {
    bench_->loadScenario(R"({"serial": [{"com": 2, "kind": "Q270", "serial": "S1", "id": "TV560",
                             "condition": 4}]})");
    {
        QSettings store("ZDX", "ZDXKalQ270");
        store.setValue("Properties/Connection", "2");  // COM1: nothing there
    }
    frmKal270& w = open();
    EXPECT_EQ(back("CommandCOM1"), zdx::kColourGreen);
    EXPECT_EQ(w.state().LinkState, kLinkOnline);
    EXPECT_EQ(text("Textremo"), "No answer from Q270");
    EXPECT_EQ(messages(), "Connection via serial line\r\nSNo:      ID: ");

    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    EXPECT_EQ(text("Textremo"), "Q270 bell !");
    EXPECT_EQ(control<QScrollBar>("ChanScroll")->maximum(), 15);  // "TV560" over serial too
}

TEST_F(Serial, RightClickCyclesTheSecondPort) {
    frmKal270& w = open();
    // USB selected: the right press neither renames nor reconnects anything.
    bench_->clearTraffic();
    QTest::mouseClick(control("CommandCOM2"), Qt::RightButton);
    EXPECT_EQ(w.comIncrement(), 0);
    EXPECT_EQ(text("CommandCOM2"), "COM2");
    EXPECT_EQ(w.state().LinkState, kLinkOnline);
    EXPECT_EQ(back("CommandUSBb"), zdx::kColourGreen);
    EXPECT_TRUE(linesTo(kQ270Serial).empty());  // no "DCL": the USB link was not left
    EXPECT_TRUE(linesTo("COM2").empty());

    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    // A left click reconnects the port in use but never moves it.
    EXPECT_EQ(w.comIncrement(), 0);
    bench_->clearTraffic();
    QTest::mouseClick(control("CommandCOM2"), Qt::RightButton);
    EXPECT_EQ(text("CommandCOM2"), "COM3");
    EXPECT_EQ(linesTo("COM2"), std::vector<std::string>{"DCL"});
    cycle();
    EXPECT_EQ(w.state().LinkState, kLinkOnline);  // nothing on COM3: online, but silent
    EXPECT_EQ(text("Textremo"), "No answer from Q270");
    for (int i = 0; i < 6; ++i) QTest::mouseClick(control("CommandCOM2"), Qt::RightButton);
    EXPECT_EQ(text("CommandCOM2"), "COM9");
    QTest::mouseClick(control("CommandCOM2"), Qt::RightButton);
    EXPECT_EQ(text("CommandCOM2"), "COM2");
    EXPECT_EQ(w.comIncrement(), 0);
    cycle();
    EXPECT_EQ(messages(), "Connection via serial line\r\nSNo: Q270S9-00418     ID: Q270S9 V1,18");
}

// Every press is one press: four right clicks 0.15 s apart, as the window system
// delivers them (the second of each pair as a double-click), move the port four times.
TEST_F(Serial, QuickRightClicksEachMoveThePort) {
    frmKal270& w = open();
    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    ASSERT_EQ(w.state().Connection, kConnComN);
    MouseEventLog log(control("CommandCOM2"));
    {
        RealMouse mouse;
        for (int i = 0; i < 4; ++i) mouse.click(control("CommandCOM2"), Qt::RightButton);
    }
    EXPECT_EQ(log.types,
              (QList<QEvent::Type>{QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                   QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease,
                                   QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                   QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}));
    EXPECT_EQ(w.comIncrement(), 4);
    EXPECT_EQ(text("CommandCOM2"), "COM6");
    EXPECT_EQ(w.state().Connection, kConnComN);

    // Quick left clicks reconnect, and never move the port.
    {
        RealMouse mouse;
        for (int i = 0; i < 2; ++i) mouse.click(control("CommandCOM2"), Qt::LeftButton);
    }
    EXPECT_EQ(w.comIncrement(), 4);
}

// A port that cannot be opened is named with its device and the system's
// reason; a connection on the multimeter's port says so in the status bar.
TEST_F(Serial, PortErrorsNameTheDeviceAndTheReasonAndASharedPortIsShown) {
    frmKal270& w = open();
    const QByteArray com1 = qgetenv("ZDX_COM1");
    const QByteArray com2 = qgetenv("ZDX_COM2");
    qputenv("ZDX_COM2", "/nonexistent/q270-port");
    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    EXPECT_EQ(messages(),
              "Error accessing COM2 (/nonexistent/q270-port: No such file or directory)");
    EXPECT_FALSE(visible("PortWarning"));

    // COM2 mapped onto the meter's device.
    qputenv("ZDX_COM2", com1.isEmpty() ? QByteArray("/dev/ttyS0") : com1);
    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    EXPECT_TRUE(visible("PortWarning"));
    EXPECT_EQ(text("PortWarning"), "COM2 is the multimeter's port too");
    const std::string why = control("PortWarning")->toolTip().toStdString();
    EXPECT_NE(why.find("COM2 (" +
                       (com1.isEmpty() ? std::string("/dev/ttyS0") : com1.toStdString()) + ")"),
              std::string::npos)
        << why;
    qputenv("ZDX_COM2", com2);

    QTest::mouseClick(control("CommandUSBb"), Qt::LeftButton);
    EXPECT_FALSE(visible("PortWarning"));
    QTest::mouseClick(control("CommandCOM1"), Qt::LeftButton);
    EXPECT_TRUE(visible("PortWarning"));
    EXPECT_EQ(w.state().Connection, kConnCom1);
}

}  // namespace
}  // namespace q270::testing
