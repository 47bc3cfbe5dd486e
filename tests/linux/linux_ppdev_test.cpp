// LPT1 and LPT2 through ppdev, through the library's exports, against
// emulated parallel ports: LPT1 at 0x378 on parport0, LPT2 at 0x278 on
// parport1, which someone else holds. The test that takes the nodes away runs
// last.
#include <gtest/gtest.h>

#include <memory>

#include "parport_emulation.h"
#include "usb_emulation.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

class LinuxPpdev : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bus_ = std::make_unique<EmulatedUsbBus>();
        lpt1_ = std::make_unique<EmulatedParport>(bus_->testbed(), bus_->root(), 0, 0x378);
        lpt2_ = std::make_unique<EmulatedParport>(bus_->testbed(), bus_->root(), 1, 0x278);
        lpt2_->set_busy(true);
        library_ = std::make_unique<ZdxLibrary>();
    }
    static void TearDownTestSuite() {
        library_.reset();
        lpt1_.reset();
        lpt2_.reset();
        bus_.reset();
    }
    static int call(int function, int value) {
        int v = value;
        const int result = library_->calCommand(function, "", nullptr, &v);
        return result == 0 ? v : result;
    }
    static std::unique_ptr<EmulatedUsbBus> bus_;
    static std::unique_ptr<EmulatedParport> lpt1_, lpt2_;
    static std::unique_ptr<ZdxLibrary> library_;
};
std::unique_ptr<EmulatedUsbBus> LinuxPpdev::bus_;
std::unique_ptr<EmulatedParport> LinuxPpdev::lpt1_;
std::unique_ptr<EmulatedParport> LinuxPpdev::lpt2_;
std::unique_ptr<ZdxLibrary> LinuxPpdev::library_;

TEST_F(LinuxPpdev, OpenWriteReadBackAndClose) {
    ASSERT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(lpt1_->counters().claims, 1);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), 0x7F41);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x1C5), 0x7FC5);  // only the low byte is written
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_READ, 0), 0xCC7FC5);
    lpt1_->set_lines(0x3F, 0x04);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_READ, 0), 0x043FC5);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT2_WRITE, 0x41), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(lpt1_->counters().releases, 1);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(lpt1_->counters().unclaimed_accesses, 0);
}

TEST_F(LinuxPpdev, ReopeningClaimsOnceMore) {
    ASSERT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    ASSERT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x10), 0x3F10);
    // The probe closes the port for the library; the claim stays until a close.
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
              ZDXUSBCAL_LPT_BAD_PORT);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x10), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), 0);
    const auto c = lpt1_->counters();
    EXPECT_EQ(c.claims - c.releases, 0);
}

TEST_F(LinuxPpdev, RefusedClaimIsARefusingDriver) {
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT2), ZDXUSBCAL_LPT_REFUSED);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT2_WRITE, 0x41), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(lpt2_->counters().claims, 0);
}

TEST_F(LinuxPpdev, MissingNodesAreAMissingDriver) {
    lpt1_->remove_node();
    lpt2_->remove_node();
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_NO_DRIVER);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), ZDXUSBCAL_LPT_NOT_OPEN);
}

}  // namespace
}  // namespace zdx::testing
