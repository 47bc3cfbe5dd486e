// LPT1 and LPT2 through ppdev, through the library's exports, against
// emulated parallel ports at the legacy addresses: LPT1 at 0x378 on
// parport0, LPT2 at 0x278 on parport1. Every test leaves both ports closed,
// free and with their default lines.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

#include "parport_emulation.h"
#include "second_program.h"
#include "usb_emulation.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

constexpr int kPromptMs = 3000;  // far beyond a refusal; a waiting claim never ends

class LinuxPpdev : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bus_ = std::make_unique<EmulatedUsbBus>();
        lpt1_ = std::make_unique<EmulatedParport>(bus_->testbed(), bus_->root(), 0, 0x378);
        lpt2_ = std::make_unique<EmulatedParport>(bus_->testbed(), bus_->root(), 1, 0x278);
        library_ = std::make_unique<ZdxLibrary>();
    }
    static void TearDownTestSuite() {
        library_.reset();
        lpt1_.reset();
        lpt2_.reset();
        bus_.reset();
    }
    void TearDown() override {
        library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1);
        library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT2);
        for (auto* port : {lpt1_.get(), lpt2_.get()}) {
            port->set_held_by_driver(false);
            port->set_status(0x7F);
        }
    }
    static int call(int function, int value) {
        int v = value;
        const int result = library_->calCommand(function, "", nullptr, &v);
        return result == 0 ? v : result;
    }
    // CommandLPT(0, port) on a thread: a claim that waits is reported, then
    // let through by freeing the port, so that the test ends either way.
    static int open_promptly(int port, EmulatedParport& emulated) {
        auto opened =
            std::async(std::launch::async, [port] { return library_->commandLpt(ZDXUSBCAL_LPT_OPEN, port); });
        if (opened.wait_for(std::chrono::milliseconds(kPromptMs)) != std::future_status::ready) {
            ADD_FAILURE() << "CommandLPT(0, " << port << ") waits for the held port";
            emulated.set_held_by_driver(false);
        }
        return opened.get();
    }
    static std::unique_ptr<EmulatedUsbBus> bus_;
    static std::unique_ptr<EmulatedParport> lpt1_, lpt2_;
    static std::unique_ptr<ZdxLibrary> library_;
};
std::unique_ptr<EmulatedUsbBus> LinuxPpdev::bus_;
std::unique_ptr<EmulatedParport> LinuxPpdev::lpt1_;
std::unique_ptr<EmulatedParport> LinuxPpdev::lpt2_;
std::unique_ptr<ZdxLibrary> LinuxPpdev::library_;

TEST_F(LinuxPpdev, RegistersAsPpdevReadsThemBack) {
    const auto before = lpt1_->counters();
    ASSERT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(lpt1_->counters().claims - before.claims, 1);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), 0x7F41);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x1C5), 0x7FC5);  // only the low byte is written
    // Control is the driver's copy in four bits: the claim's 0x0C.
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_READ, 0), 0x0C7FC5);
    lpt1_->set_status(0x3F);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_READ, 0), 0x0C3FC5);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT2_WRITE, 0x41), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(lpt1_->counters().releases - before.releases, 1);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(lpt1_->counters().unclaimed_accesses, before.unclaimed_accesses);
}

TEST_F(LinuxPpdev, OneClaimLastsTheOpenSession) {
    const auto before = lpt1_->counters();
    ASSERT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x10), 0x7F10);
    ASSERT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    // The probe closes the port for the library; the claim stays until a close.
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT), ZDXUSBCAL_LPT_BAD_PORT);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x20), ZDXUSBCAL_LPT_NOT_OPEN);
    ASSERT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_READ, 0), 0x0C7F10);  // the data written before the repeated opens
    auto during = lpt1_->counters();
    EXPECT_EQ(during.registrations - before.registrations, 1);
    EXPECT_EQ(during.claims - before.claims, 1);
    EXPECT_EQ(during.releases - before.releases, 0);
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(lpt1_->counters().releases - before.releases, 1);
}

TEST_F(LinuxPpdev, PortThatAnotherDriverHoldsIsRefusedAtOnce) {
    lpt2_->set_held_by_driver(true);
    const auto before = lpt2_->counters();
    EXPECT_EQ(open_promptly(ZDXUSBCAL_LPT2, *lpt2_), ZDXUSBCAL_LPT_REFUSED);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT2_READ, 0), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(lpt2_->counters().waiting_claims, before.waiting_claims);
    // LPT1 is not held up by LPT2's holder.
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), 0x7F41);
}

TEST_F(LinuxPpdev, SecondProgramOnTheSamePortIsRefusedWithoutHanging) {
    ASSERT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    {
        SecondProgram second({"lpt", "0"});
        EXPECT_EQ(second.result(kPromptMs), "-1");
        // The first program's registers and its close go on.
        EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x55), 0x7F55);
        EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1), 0);
    }
    // Now the other way round: the second program holds LPT1.
    SecondProgram second({"lpt", "0"});
    ASSERT_EQ(second.result(kPromptMs), "0");
    EXPECT_EQ(open_promptly(ZDXUSBCAL_LPT1, *lpt1_), ZDXUSBCAL_LPT_REFUSED);
    EXPECT_EQ(call(ZDXUSBCAL_FN_LPT1_WRITE, 0x41), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(library_->commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT2), 0);  // LPT2 stays free for this one
}

}  // namespace
}  // namespace zdx::testing
