// The access library when its bench is not there: at start (never bound) and
// when the bench dies while a program is using it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "bench_session.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

TEST(LibraryWithoutBench, SetupMissingIsReportedAndRemembered) {
    ::setenv("ZDXUSBCAL_BENCH", "/nonexistent/zdx-bench.sock", 1);
    ZdxLibrary lib;
    for (int i = 0; i < 2; ++i) {
        DeviceInfo d = getDeviceInfo(lib);
        EXPECT_EQ(d.result, ZDXUSBCAL_INFO_FAILED);
        EXPECT_EQ(d.count, ZDXUSBCAL_SETUP_MISSING);
        EXPECT_EQ(d.serial, "");
        EXPECT_TRUE(d.guardsIntact);
    }
    Exchange e = exchange(lib, "A", "PAP 4");
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_WRITE_FAILED);
    EXPECT_EQ(e.buffer, "PAP 4");
    EXPECT_EQ(lib.calCommand(ZDXUSBCAL_FN_PROBE, "", nullptr, nullptr), ZDXUSBCAL_CMD_BAD_FUNCTION);
}

}  // namespace
}  // namespace zdx::testing
