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
    ASSERT_EQ(lib.commandLpt(0, 0), 0);

    session.kill();

    Exchange e = exchange(lib, "Q", "PAP 4");
    EXPECT_NE(e.result, 0);
    EXPECT_TRUE(e.guardsIntact);
    DeviceInfo d = getDeviceInfo(lib);
    EXPECT_LT(d.result, 0);
    EXPECT_TRUE(d.guardsIntact);
    int value = 0x41;
    EXPECT_EQ(lib.calCommand(1, nullptr, nullptr, &value), 0);
    EXPECT_EQ(value, 0xFFFF);  // nothing answers on the bus any more
    lib.commandLpt(1, 0);
}

}  // namespace
}  // namespace zdx::testing
