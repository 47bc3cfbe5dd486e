// frmKal270 when the access library cannot be bound (ZDXUSBCAL_LIBRARY names a
// missing file; its own process, as the library binds once per process): the red message, no
// connection attempt, no traffic.
#include <QTest>

#include "fakes.h"
#include "window_fixture.h"

namespace q270::testing {
namespace {

// Set before main runs, so the library is never found, however the test is started.
const bool kLibraryHidden = qputenv("ZDXUSBCAL_LIBRARY", "/nonexistent/zdxusbcal.so");

using NoLibrary = WindowTest;

TEST_F(NoLibrary, ReportsAndAttemptsNothing) {
    ASSERT_TRUE(kLibraryHidden);
    FakeClock clock;
    frmKal270& w = open("/Relais(255)", &clock);
    EXPECT_EQ(w.state().DllMissing, 1);
    EXPECT_EQ(w.state().LinkState, kLinkNotConnected);
    for (int i = 0; i < 3; ++i) {
        cycle();
        EXPECT_EQ(messages(), "Error: ZDXUSBCAL.DLL not found !\r\nno operation possible");
        EXPECT_EQ(fore("txtMessages"), zdx::kColourRed);
        EXPECT_EQ(back("CommandUSBb"), zdx::kColourYellow);
        EXPECT_EQ(w.state().LinkState, kLinkNotConnected);
    }

    // Ready still toggles; its settings cannot be sent, and that is noted, not fatal.
    QTest::mouseClick(control("Command7"), Qt::LeftButton);
    EXPECT_EQ(w.state().ReadyState, 1);
    EXPECT_EQ(back("Command7"), zdx::kColourYellow);
    EXPECT_EQ(w.state().ReplyState, kReplyFailed);
    // Relay cleaning is skipped: not one of its hundred waits is made.
    const auto before = clock.now();
    QTest::mouseClick(control("RelRef"), Qt::LeftButton);
    EXPECT_EQ(clock.now(), before);
    EXPECT_EQ(clock.sleeps, 0);
    EXPECT_EQ(back("RelRef"), zdx::kColour3DLight);
    closeWindow();

    // A serial connection works without the library.
    open();
    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    EXPECT_EQ(window_->state().DllMissing, 0);
    EXPECT_EQ(window_->state().LinkState, kLinkOnline);
    EXPECT_EQ(linesTo("COM2").at(0), "SNR?0");
}

}  // namespace
}  // namespace q270::testing
