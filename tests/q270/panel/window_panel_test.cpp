// frmKal270's front panel: selection flow, Beep, Ready, Load, relay cleaning,
// settings and options.
#include <QGroupBox>
#include <QLocale>
#include <QTest>

#include "fakes.h"
#include "real_mouse.h"
#include "window_fixture.h"

namespace q270::testing {

using zdx::testing::MouseEventLog;
using zdx::testing::RealMouse;
namespace {

using Panel = WindowTest;

TEST_F(Panel, SelectionFlowsOneWay) {
    frmKal270& w = open();
    QTest::mouseClick(control("Range_1"), Qt::LeftButton);
    EXPECT_EQ(control<QScrollBar>("RangeScroll")->value(), 2);
    EXPECT_EQ(w.state().SelRange, 2);
    EXPECT_EQ(text("RangeLabel"), "Range 1 mV/V");
    control<QScrollBar>("ProzScroll")->setValue(10);
    EXPECT_TRUE(control<QAbstractButton>("Proze_10")->isChecked());
    // The device has a 0.5 mV/V range: two decimals in every range.
    EXPECT_EQ(text("ProzLabel"), "+100 % =  1.00 mV/V");
    QTest::mouseClick(control("Minus"), Qt::LeftButton);
    EXPECT_EQ(text("ProzLabel"), "-100 % =  -1.00 mV/V");
    QTest::mouseClick(control("Proze_5"), Qt::LeftButton);
    EXPECT_EQ(w.state().SelPercent, 5);
    bench_->clearTraffic();
    w.tick();
    EXPECT_EQ(linesTo(kQ270Serial), (std::vector<std::string>{"K1A1,5,2,0", "K1B0,0,0,0"}));
}

TEST_F(Panel, BeepReadyAndColours) {
    frmKal270& w = open();
    EXPECT_EQ(back("Command6"), zdx::kColour3DLight);
    bench_->clearTraffic();
    QTest::mousePress(control("Command6"), Qt::RightButton);  // any button holds the beeper
    EXPECT_EQ(back("Command6"), zdx::kColourRed);
    // SendSettings(1), then the direct timer event runs a cycle with the beep still on.
    EXPECT_EQ(linesTo(kQ270Serial), (std::vector<std::string>{"K1A0,0,1,0", "K1B0,1000,100,0",
                                                              "K1A0,0,1,0", "K1B0,1000,100,0"}));
    bench_->clearTraffic();
    QTest::mouseRelease(control("Command6"), Qt::RightButton);
    EXPECT_EQ(back("Command6"), zdx::kColour3DLight);
    EXPECT_EQ(linesTo(kQ270Serial), (std::vector<std::string>{"K1A0,0,1,0", "K1B0,0,0,0"}));
    EXPECT_EQ(w.state().BeepState, 0);

    bench_->clearTraffic();
    QTest::mouseClick(control("Command7"), Qt::LeftButton);
    EXPECT_EQ(back("Command7"), zdx::kColourYellow);
    EXPECT_EQ(linesTo(kQ270Serial).at(1), "K1B1,0,0,0");
    QTest::mouseClick(control("Command7"), Qt::LeftButton);
    EXPECT_EQ(back("Command7"), zdx::kColour3DLight);
    EXPECT_EQ(w.state().ReadyState, 0);
}

// Every press of Beep is one press, however quick: the second of a quick pair
// (a double-click to Qt) sounds the beeper as the first did, with either button.
TEST_F(Panel, QuickPressesOfBeepEachSoundTheBeeper) {
    frmKal270& w = open();
    ASSERT_EQ(w.state().LinkState, kLinkOnline);
    const std::vector<std::string> press = {"K1A0,0,1,0", "K1B0,1000,100,0", "K1A0,0,1,0",
                                            "K1B0,1000,100,0"};
    const std::vector<std::string> release = {"K1A0,0,1,0", "K1B0,0,0,0"};
    std::vector<std::string> pair;
    for (int i = 0; i < 2; ++i) {
        pair.insert(pair.end(), press.begin(), press.end());
        pair.insert(pair.end(), release.begin(), release.end());
    }
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        SCOPED_TRACE(button == Qt::LeftButton ? "left" : "right");
        MouseEventLog log(control("Command6"));
        bench_->clearTraffic();
        RealMouse mouse;
        mouse.press(control("Command6"), button);
        EXPECT_EQ(back("Command6"), zdx::kColourRed);
        mouse.release(control("Command6"), button);
        EXPECT_EQ(back("Command6"), zdx::kColour3DLight);
        mouse.press(control("Command6"), button);
        EXPECT_EQ(back("Command6"), zdx::kColourRed);
        mouse.release(control("Command6"), button);
        EXPECT_EQ(back("Command6"), zdx::kColour3DLight);
        EXPECT_EQ(log.types.value(2), QEvent::MouseButtonDblClick);
        EXPECT_EQ(linesTo(kQ270Serial), pair);
    }
}

// The right press on "Spez" re-opens the results view, only while online and
// only once a results view has been closed; quick presses each count.
TEST_F(Panel, SpezRightPressReopensResultsOnlyWhenThereAreAny) {
    frmKal270& w = open("/ZDXEinmessen");
    ASSERT_EQ(w.state().LinkState, kLinkOnline);
    QWidget* spez = control("Commandsp");
    QTest::mouseClick(spez, Qt::RightButton);
    EXPECT_EQ(w.state().LinkState, kLinkOnline);  // no results yet
    w.state().ResultsAvailable = -1;
    {
        RealMouse mouse;
        mouse.click(spez, Qt::RightButton);
        EXPECT_EQ(w.state().LinkState, kLinkReopenResults);
        w.state().LinkState = kLinkOnline;   // as after the view was closed again
        mouse.click(spez, Qt::RightButton);  // the double-click of the pair
        EXPECT_EQ(w.state().LinkState, kLinkReopenResults);
    }
    w.state().LinkState = kLinkNotConnected;
    QTest::mouseClick(spez, Qt::RightButton);
    EXPECT_EQ(w.state().LinkState, kLinkNotConnected);  // not online: nothing
    w.state().LinkState = kLinkOnline;
    QTest::mouseClick(spez, Qt::LeftButton);
    EXPECT_EQ(w.state().LinkState,
              kLinkOnline);  // the left click is the run's, not the re-opening's
    w.state().ScanRequest = 0;
}

TEST_F(Panel, CaptionsAndFrameTitles) {
    open("/Relais(1)");
    const std::pair<const char*, const char*> captions[] = {
        {"CommandUSBb", "USB"},
        {"CommandCOM1", "COM1"},
        {"CommandCOM2", "COM2"},
        {"Command7", "Ready"},
        {"Command6", "Beep"},
        {"Commandsp", "Spez"},
        {"RelRef", "Clean Relais"},
        {"Plus", "+"},
        {"Minus", "-"},
        {"HBr", "HB"},
    };
    for (const auto& [name, caption] : captions) EXPECT_EQ(text(name), caption) << name;
    EXPECT_EQ(control<QGroupBox>("frameTest")->title().toStdString(), "Communication");
    EXPECT_EQ(control<QGroupBox>("frameMeldungen")->title().toStdString(), "Messages");
    EXPECT_EQ(control("CommandCOM2")->toolTip().toStdString(), "Click right to change Port");
}

TEST_F(Panel, OptionsShowTheSpecialButtons) {
    open();
    EXPECT_FALSE(visible("Commandsp"));
    EXPECT_FALSE(visible("RelRef"));
    closeWindow();

    frmKal270& w = open("/ZDXEinmessen /Load");
    EXPECT_TRUE(visible("Commandsp"));
    EXPECT_EQ(text("Commandsp"), "Spez");
    EXPECT_EQ(w.state().LoadMode, 0);
    closeWindow();

    frmKal270& load = open("/Load");
    EXPECT_EQ(text("Commandsp"), "Load high");
    EXPECT_EQ(load.state().LoadState, 0);
    bench_->clearTraffic();
    QTest::mouseClick(control("Commandsp"), Qt::LeftButton);
    EXPECT_EQ(text("Commandsp"), "Load low");
    EXPECT_EQ(linesTo(kQ270Serial).at(1), "K1B0,0,0,1");
    QTest::mouseClick(control("Commandsp"), Qt::LeftButton);
    EXPECT_EQ(text("Commandsp"), "Load high");
    closeWindow();

    open("/Relais(0)");
    EXPECT_FALSE(visible("RelRef"));
}

TEST_F(Panel, RelayCleaningOnTheInjectedClock) {
    FakeClock clock;
    frmKal270& w = open("/Relais(-1)", &clock);
    EXPECT_TRUE(visible("RelRef"));
    EXPECT_EQ(text("RelRef"), "Clean Relais");
    bench_->clearTraffic();
    const auto fakeStart = clock.now();
    const auto realStart = std::chrono::steady_clock::now();
    QTest::mouseClick(control("RelRef"), Qt::LeftButton);
    const auto lines = linesTo(kQ270Serial);
    ASSERT_EQ(lines.size(), 100u);
    for (std::size_t i = 0; i < lines.size(); i += 2) {
        EXPECT_EQ(lines[i], "K1T 255,255,255,255");
        EXPECT_EQ(lines[i + 1], "K1T 0,0,0,0");
    }
    EXPECT_GE(clock.now() - fakeStart, std::chrono::seconds(2));
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(2));
    EXPECT_EQ(back("RelRef"), zdx::kColour3DLight);
    EXPECT_EQ(w.relayBytes()[3], 255);
    closeWindow();  // the shut-down still waits on this test's clock
}

// Both labels write the signal with the decimal separator of the operator's locale.
TEST_F(Panel, LabelsUseTheLocaleDecimalSeparator) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    open();
    control<QScrollBar>("ProzScroll")->setValue(10);
    EXPECT_EQ(text("RangeLabel"), "Range  0,5 mV/V");
    EXPECT_EQ(text("ProzLabel"), "+100 % =  0,50 mV/V");
    QLocale::setDefault(before);
}

// The first cycle runs inside the start-up, before the stored selection reaches
// the scroll bars: it must neither lose that selection nor send another one.
TEST_F(Panel, StoredSelectionSurvivesTheFirstCycle) {
    {
        QSettings store("ZDX", "ZDXKalQ270");
        store.setValue("Properties/Q270Range", "2");
        store.setValue("Properties/Q270Chann", "3");
        store.setValue("Properties/Q270Signe", "1");
        store.setValue("Properties/Q270Proze", "5");
    }
    frmKal270& w = open();
    EXPECT_EQ(w.state().SelPercent, 5);
    EXPECT_EQ(control<QScrollBar>("ProzScroll")->value(), 5);
    EXPECT_TRUE(control<QAbstractButton>("Proze_5")->isChecked());
    // Range 2 of this device is 1 mV/V, and its 0.5 mV/V range asks for two decimals.
    EXPECT_EQ(text("ProzLabel"), "-50 % =  -0.50 mV/V");
    const auto lines = linesTo(kQ270Serial);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "K1A128,5,6,3");
    EXPECT_EQ(lines[2], "K1A1,5,2,3");
    cycle();
    EXPECT_EQ(linesTo(kQ270Serial).back(), "K1B0,0,0,0");
    EXPECT_EQ(linesTo(kQ270Serial).at(linesTo(kQ270Serial).size() - 2), "K1A1,5,2,3");
}

// A stored channel or range above what the panel offers is lowered to the
// highest one, not thrown back to the first.
TEST_F(Panel, StoredSelectionAboveTheScrollBarsIsLowered) {
    auto store = [](const char* range, const char* channel) {
        QSettings s("ZDX", "ZDXKalQ270");
        s.setValue("Properties/Q270Range", range);
        s.setValue("Properties/Q270Chann", channel);
    };
    store("9", "20");
    bench_->loadScenario(R"({"usb": [{"kind": "Q270", "serial": "T1", "id": "TV560 A"}]})");
    frmKal270& w = open();
    ASSERT_EQ(w.state().LinkState, kLinkOnline);
    EXPECT_EQ(w.state().SelRange, 6);
    EXPECT_EQ(control<QScrollBar>("RangeScroll")->value(), 6);
    EXPECT_EQ(text("RangeLabel"), "Range 1000 mV/V");
    EXPECT_EQ(w.state().SelChannel, 15);
    EXPECT_EQ(text("ChanLabel"), "Channel 15");
    closeWindow();

    // No device: the panel keeps its nine channels.
    store("7", "16");
    bench_->loadScenario(R"({"usb": []})");
    frmKal270& alone = open();
    EXPECT_EQ(alone.state().SelChannel, 8);
    EXPECT_EQ(text("ChanLabel"), "Channel 8");
    EXPECT_EQ(alone.state().SelRange, 6);
}

TEST_F(Panel, SettingsRoundTripAndFallbacks) {
    {
        QSettings store("ZDX", "ZDXKalQ270");
        store.setValue("Properties/Q270Range", "3");
        store.setValue("Properties/Q270Chann", "12");  // above the channels of this device
        store.setValue("Properties/Q270Signe", "1");
        store.setValue("Properties/Q270Proze", "abc");
        store.setValue("Properties/Q270COMxincr", "5");
        store.setValue("Properties/Connection", "9");
    }
    frmKal270& w = open();
    EXPECT_EQ(w.state().Connection, kConnUsb);
    EXPECT_EQ(w.state().SelRange, 3);
    EXPECT_EQ(w.state().SelChannel, 0);
    EXPECT_EQ(text("ChanLabel"), "Channel 0");
    EXPECT_EQ(w.state().SelPercent, 0);
    EXPECT_TRUE(control<QAbstractButton>("Minus")->isChecked());
    EXPECT_EQ(text("CommandCOM2"), "COM7");
    QTest::mouseClick(control("Channel_4"), Qt::LeftButton);
    QTest::mouseClick(control("Proze_7"), Qt::LeftButton);
    QTest::mouseClick(control("Plus"), Qt::LeftButton);
    bench_->clearTraffic();
    closeWindow();
    EXPECT_EQ(linesTo(kQ270Serial), std::vector<std::string>{"DCL"});

    QSettings store("ZDX", "ZDXKalQ270");
    EXPECT_EQ(store.value("Properties/Connection").toString(), "1");
    EXPECT_EQ(store.value("Properties/Q270Range").toString(), "3");
    EXPECT_EQ(store.value("Properties/Q270Chann").toString(), "4");
    EXPECT_EQ(store.value("Properties/Q270Signe").toString(), "0");
    EXPECT_EQ(store.value("Properties/Q270Proze").toString(), "7");
    EXPECT_EQ(store.value("Properties/Q270COMxincr").toString(), "5");
}

}  // namespace
}  // namespace q270::testing
