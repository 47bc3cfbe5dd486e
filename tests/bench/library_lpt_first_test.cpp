// A program that uses only the parallel port (the Q610 program on LPT) reaches
// the bench without any USB call before: the probe with port number 9, then
// opening LPT1 and writing the output byte; a USB call afterwards leaves the
// port I/O driver handle usable.
#include <gtest/gtest.h>

#include "bench_session.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

TEST(LibraryParallelPortFirst, ReachesTheBenchWithoutAnyUsbCall) {
    bench::BenchSession session(R"({"port_driver": "present",
                                    "lpt": [{"port": 1, "device": "Q610"}]})");
    session.exportEnvironment();
    ZdxLibrary lib;
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
              ZDXUSBCAL_LPT_BAD_PORT);
    ASSERT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    int value = 68;
    ASSERT_EQ(lib.calCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr, nullptr, &value), 0);
    EXPECT_EQ(value, 0x5F00 + 68);
    EXPECT_EQ(session.lpt(0).data, 68);
    EXPECT_EQ(session.linesTo("LPT1"), std::vector<std::string>{"data=0x44"});

    // The first USB call binds the setup library; the port I/O driver handle
    // from the open above must survive it, so that closing access still works.
    EXPECT_EQ(getDeviceInfo(lib).result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), 0);
}

}  // namespace
}  // namespace zdx::testing
