// A bench that is killed while a program uses it: every call fails with a
// code, none crashes or writes past a buffer.
#include <gtest/gtest.h>

#include "bench_session.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

TEST(LibraryWhenBenchDies, CallsFailCleanly) {
    bench::BenchSession session(R"({"usb": [{"kind": "Q610", "serial": "Q"}]})");
    session.exportEnvironment();
    ZdxLibrary lib;
    ASSERT_EQ(exchange(lib, "Q", "PAP 4").result, 0);
    ASSERT_EQ(lib.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);

    session.kill();

    Exchange e = exchange(lib, "Q", "PAP 4");
    EXPECT_NE(e.result, 0);
    EXPECT_TRUE(e.guardsIntact);
    DeviceInfo d = getDeviceInfo(lib);
    EXPECT_LT(d.result, 0);
    EXPECT_TRUE(d.guardsIntact);
    int value = 0x41;
    EXPECT_EQ(lib.calCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr, nullptr, &value), 0);
    EXPECT_EQ(value, 0xFFFF);  // nothing answers on the bus any more
    lib.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1);
}

}  // namespace
}  // namespace zdx::testing
