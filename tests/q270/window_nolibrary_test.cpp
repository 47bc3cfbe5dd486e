// frmKal270 when the access library cannot be bound (ZDXUSBCAL_LIBRARY names a
// missing file; its own process, as the library binds once per process): the red message, no
// connection attempt, no traffic.
#include <QTest>

#include "window_fixture.h"

namespace q270::testing {
namespace {

// Set before main runs, so the library is never found, however the test is started.
const bool kLibraryHidden = qputenv("ZDXUSBCAL_LIBRARY", "/nonexistent/zdxusbcal.so");

using NoLibrary = WindowTest;

TEST_F(NoLibrary, ReportsAndAttemptsNothing) {
    ASSERT_TRUE(kLibraryHidden);
    frmKal270& w = open("/Relais(255)");
    EXPECT_EQ(w.state().DllMissing, 1);
    EXPECT_EQ(w.state().LinkState, 0);
    cycle();
    EXPECT_EQ(text("txtMessages"), "Error: ZDXUSBCAL.DLL not found !\nno operation possible");
    EXPECT_EQ(fore("txtMessages"), zdx::kColourRed);
    EXPECT_EQ(back("CommandUSBb"), zdx::kColourYellow);
    cycle();
    QTest::mouseClick(control("Command7"), Qt::LeftButton);
    QTest::mouseClick(control("RelRef"), Qt::LeftButton);  // skipped without the library
    closeWindow();
    EXPECT_TRUE(bench_->traffic().empty());

    // A serial connection works without the library.
    open();
    QTest::mouseClick(control("CommandCOM2"), Qt::LeftButton);
    EXPECT_EQ(window_->state().DllMissing, 0);
    EXPECT_EQ(window_->state().LinkState, 2);
    EXPECT_EQ(linesTo("COM2").at(0), "SNR?0");
}

}  // namespace
}  // namespace q270::testing
