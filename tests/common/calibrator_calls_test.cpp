// The C++ calls on the access library (discover, exchange) against a bench: what
// the three programs get back, including texts the library cuts or reports as
// "(null)", filters and commands too long for it, and failed exchanges.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <string>

#include "bench_session.h"
#include "calibrator_library.h"

namespace {

const std::string kSerial = "Q270S9-00417";

TEST(CalibratorCalls, DiscoverAndExchangeInCppStrings) {
    const std::string longString5(120, 'x');
    zdx::bench::BenchSession bench(R"json({"usb": [{"kind": "Q270", "serial": ")json" + kSerial +
                                   R"json(", "id": "Q270S9 V1.18", "string4": "(null)",
                                   "string5": ")json" +
                                   longString5 + R"json("}]})json");
    bench.exportEnvironment();  // before the first library call: it binds once per process
    ASSERT_EQ(setenv("ZDXUSBCAL_LIBRARY", ZDX_BUILT_LIBRARY, 1), 0);

    const zdx::DeviceInfo found = zdx::discover("00417", "V1.18");
    EXPECT_EQ(found.result, ZDXUSBCAL_OK);
    EXPECT_EQ(found.count, 1);
    EXPECT_EQ(found.serial, kSerial);
    EXPECT_EQ(found.string4, "");                    // "(null)" is empty
    EXPECT_EQ(found.string5, std::string(90, 'x'));  // cut at its capacity
    EXPECT_EQ(found.string6, "Q270S9 V1.18");

    EXPECT_EQ(zdx::discover("", "V9").result, ZDXUSBCAL_INFO_NO_DEVICE);
    // A filter longer than the library takes matches nothing and overruns nothing.
    const zdx::DeviceInfo overlong = zdx::discover(std::string(300, 'Q'));
    EXPECT_EQ(overlong.result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(overlong.serial, "");

    std::string line = "K1B0,0,0,0";
    int value = 0;
    EXPECT_EQ(zdx::exchange(kSerial, line, &value), ZDXUSBCAL_OK);
    EXPECT_EQ(line, "0\r\n");
    EXPECT_EQ(value, 3);

    // A failed exchange hands the command back and leaves the value alone.
    line = "K1B0,0,0,0";
    value = 77;
    EXPECT_EQ(zdx::exchange("Q270S9-99999", line, &value), ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
    EXPECT_EQ(line, "K1B0,0,0,0");
    EXPECT_EQ(value, 77);
    line = std::string(91, 'K');
    EXPECT_EQ(zdx::exchange(kSerial, line), ZDXUSBCAL_CMD_REFUSED);
    EXPECT_EQ(line, std::string(91, 'K'));
    EXPECT_EQ(bench.linesTo(kSerial), std::vector<std::string>{"K1B0,0,0,0"});
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
