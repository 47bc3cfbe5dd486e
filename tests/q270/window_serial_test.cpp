// frmKal270 on the serial ports: identification, settings lines, silent ports
// and the cycling of the second port.
#include <QTest>

#include "window_fixture.h"

namespace q270::testing {
namespace {

using Serial = WindowTest;

TEST_F(Serial, ConnectIdentifyAndSend) {
    frmKal270& w = open();
    bench_->clearTraffic();
    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    EXPECT_EQ(linesTo(kQ270Serial), std::vector<std::string>{"DCL"});  // USB link ended first
    EXPECT_EQ(w.state().Connection, 3);
    EXPECT_EQ(w.state().LinkState, 2);
    // Serial answers carry the decimal comma.
    EXPECT_EQ(text("txtMessages"),
              "Connection via serial line\nSNo: Q270S9-00418     ID: Q270S9 V1,18");
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
    EXPECT_EQ(w.state().ReplyState, 3);
    EXPECT_EQ(text("Textremo"), "No answer from Q270");
    EXPECT_EQ(w.state().LinkState, 2);  // a serial link is never dropped
    bench_->setFault("COM2", "none");

    bench_->clearTraffic();
    closeWindow();
    EXPECT_EQ(linesTo("COM2"), std::vector<std::string>{"DCL"});
}

TEST_F(Serial, SilentPortStillGoesOnlineAndConditionsShow) {
    bench_->loadScenario(R"({"serial": [{"com": 2, "kind": "Q270", "serial": "S1", "id": "TV560",
                             "condition": 4}]})");
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "ZDX", "ZDXKalQ270");
        store.setValue("Properties/Connection", "2");  // COM1: nothing there
    }
    frmKal270& w = open();
    EXPECT_EQ(back("CommandCOM1"), zdx::kColourGreen);
    EXPECT_EQ(w.state().LinkState, 2);
    EXPECT_EQ(text("Textremo"), "No answer from Q270");
    EXPECT_EQ(text("txtMessages"), "Connection via serial line\nSNo:      ID: ");

    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    EXPECT_EQ(text("Textremo"), "Q270 bell !");
    EXPECT_EQ(control<QScrollBar>("ChanScroll")->maximum(), 15);  // "TV560" over serial too
}

TEST_F(Serial, RightClickCyclesTheSecondPort) {
    frmKal270& w = open();
    QTest::mouseClick(control("CommandCOM2"), Qt::RightButton);  // USB selected: nothing
    EXPECT_EQ(w.comIncrement(), 0);
    EXPECT_EQ(w.state().Connection, 1);

    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    bench_->clearTraffic();
    QTest::mouseClick(control("CommandCOM2"), Qt::RightButton);
    EXPECT_EQ(text("CommandCOM2"), "COM3");
    EXPECT_EQ(linesTo("COM2"), std::vector<std::string>{"DCL"});
    cycle();
    EXPECT_EQ(w.state().LinkState, 2);  // nothing on COM3: online, but silent
    EXPECT_EQ(text("Textremo"), "No answer from Q270");
    for (int i = 0; i < 6; ++i) QTest::mouseClick(control("CommandCOM2"), Qt::RightButton);
    EXPECT_EQ(text("CommandCOM2"), "COM9");
    QTest::mouseClick(control("CommandCOM2"), Qt::RightButton);
    EXPECT_EQ(text("CommandCOM2"), "COM2");
    EXPECT_EQ(w.comIncrement(), 0);
    cycle();
    EXPECT_EQ(text("txtMessages"),
              "Connection via serial line\nSNo: Q270S9-00418     ID: Q270S9 V1,18");
}

}  // namespace
}  // namespace q270::testing
