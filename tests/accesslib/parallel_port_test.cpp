// CommandLPT and the register functions 1 to 4 of CalCommand.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "constants.h"
#include "fake_platform.h"
#include "library.h"

namespace zdx::testing {
namespace {

using Request = std::array<std::uint32_t, 4>;

class ParallelPortTest : public ::testing::Test {
  protected:
    int call(int function, int in) {
        value = in;
        return library.cal_command(function, nullptr, nullptr, &value);
    }
    void set_lpt1(std::uint8_t data, std::uint8_t status, std::uint8_t control) {
        fake.registers[0x378] = data;
        fake.registers[0x379] = status;
        fake.registers[0x37A] = control;
    }

    FakePlatform fake;
    Library library{fake.ops()};
    int value = 0;
};

TEST_F(ParallelPortTest, OpenGrantsBothRangesThroughTheDriver) {
    ASSERT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), kOk);
    ASSERT_EQ(fake.opened, std::vector<std::string>{"\\\\.\\Dev_DirectNT"});
    EXPECT_EQ(fake.open_modes[0], OpenMode::ReadOnlyShared);
    EXPECT_EQ(fake.portio_requests,
              (std::vector<Request>{{50, 0x378, 0x37F, 0}, {50, 0x77A, 0x77A, 0}}));
    EXPECT_EQ(library.parallel_port().open_port(), 1);

    ASSERT_EQ(library.command_lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT2), kOk);
    EXPECT_EQ(fake.portio_requests.size(), 4u);
    EXPECT_EQ(fake.portio_requests[2], (Request{52, 0x278, 0x27F, 0}));
    EXPECT_EQ(fake.portio_requests[3], (Request{52, 0x67A, 0x67A, 0}));
    EXPECT_EQ(library.parallel_port().open_port(), 0);
}

TEST_F(ParallelPortTest, FunctionsNeedTheirOwnOpenPort) {
    ASSERT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), kOk);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT2_WRITE, 0x41), kLptNotOpen);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT2_READ, 0x41), kLptNotOpen);
    EXPECT_EQ(value, 0x41);
    EXPECT_TRUE(fake.port_writes.empty());
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), kOk);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_READ, 0), kOk);

    ASSERT_EQ(library.command_lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), kOk);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), kLptNotOpen);

    ASSERT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT2), kOk);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT2_WRITE, 0x12), kOk);
    EXPECT_EQ(fake.port_writes.back(), (std::pair<std::uint16_t, std::uint8_t>{0x278, 0x12}));
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, 2), kLptBadPort);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT2_WRITE, 0x12), kLptNotOpen);
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT), kLptBadPort);
}

TEST_F(ParallelPortTest, RegisterWords) {
    ASSERT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), kOk);
    set_lpt1(0x41, 0x7F, 0xCC);
    ASSERT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), kOk);
    EXPECT_EQ(value, 0x7F * 256 + 0x41);
    EXPECT_EQ(fake.port_writes.back(), (std::pair<std::uint16_t, std::uint8_t>{0x378, 0x41}));

    // Only the low byte goes out; a data byte >= 0x80 leaves the status intact.
    set_lpt1(0xC3, 0x7F, 0xCC);
    ASSERT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x12C3), kOk);
    EXPECT_EQ(fake.port_writes.back().second, 0xC3);
    EXPECT_EQ(value, 0x7FC3);

    set_lpt1(0x41, 0x7F, 0xCC);
    ASSERT_EQ(call(ZDXUSBCAL_FN_LPT1_READ, -1), kOk);
    EXPECT_EQ(value, 0xCC * 65536 + 0x7F * 256 + 0x41);
}

TEST_F(ParallelPortTest, OutsideTheNtFamilyNoDriverIsUsed) {
    fake.os_family = 1;
    fake.driver = Driver::Missing;
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT2), kOk);
    EXPECT_EQ(library.parallel_port().open_port(), 2);
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT2), kOk);
    EXPECT_TRUE(fake.opened.empty());
    EXPECT_TRUE(fake.portio_requests.empty());
}

TEST_F(ParallelPortTest, DriverMissingOrRefusing) {
    fake.driver = Driver::Missing;
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), kLptNoDriver);
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1),
              kLptRefused);  // no handle was ever obtained
    EXPECT_TRUE(fake.portio_requests.empty());

    fake.driver = Driver::Present;
    fake.refuse_portio_request = 0;
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), kLptRefused);
    EXPECT_EQ(fake.portio_requests.size(), 1u);
    EXPECT_EQ(library.parallel_port().open_port(), 0);

    fake.refuse_portio_request = 2;
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), kLptRefused);
    EXPECT_EQ(fake.portio_requests.size(), 3u);
    EXPECT_EQ(library.parallel_port().open_port(), 0);

    fake.refuse_portio_request = 4;
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), kLptRefused);
    EXPECT_EQ(fake.portio_requests.size(), 5u);
}

TEST_F(ParallelPortTest, OtherActionsTouchNoDriverAndReplacedHandlesAreClosed) {
    EXPECT_EQ(library.command_lpt(7, 0), kOk);
    EXPECT_TRUE(fake.opened.empty());
    EXPECT_EQ(library.parallel_port().open_port(), 0);

    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(library.command_lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), kOk);
    EXPECT_EQ(fake.handles_open(), 1u);
    EXPECT_EQ(library.command_lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), kOk);
}

}  // namespace
}  // namespace zdx::testing
