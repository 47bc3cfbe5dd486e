// LPT1 and LPT2 on a machine whose ports are not (all) at the legacy
// addresses, through the library's exports: parport0 at 0xD010 and parport2
// at 0xE000 (port cards), parport1 at 0x278. And a machine without any ppdev
// node (its own suite, run in its own process).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "parport_emulation.h"
#include "usb_emulation.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

class LinuxPpdevCards : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bus_ = std::make_unique<EmulatedUsbBus>();
        card_ = std::make_unique<EmulatedParport>(bus_->testbed(), bus_->root(), 0, 0xD010);
        legacy2_ = std::make_unique<EmulatedParport>(bus_->testbed(), bus_->root(), 1, 0x278);
        second_card_ = std::make_unique<EmulatedParport>(bus_->testbed(), bus_->root(), 2, 0xE000);
        library_ = std::make_unique<ZdxLibrary>();
    }
    static void TearDownTestSuite() {
        library_.reset();
        card_.reset();
        legacy2_.reset();
        second_card_.reset();
        bus_.reset();
    }
    void TearDown() override {
        ::unsetenv("ZDXUSBCAL_LPT1");
        library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1);
        library_->commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT2);
    }
    // Which emulated port the library claims for CommandLPT(0, port).
    static EmulatedParport* claimed_by_open(int port) {
        const int before[3] = {card_->counters().claims, legacy2_->counters().claims,
                               second_card_->counters().claims};
        if (library_->commandLpt(ZDXUSBCAL_LPT_OPEN, port) != 0) return nullptr;
        EmulatedParport* ports[3] = {card_.get(), legacy2_.get(), second_card_.get()};
        EmulatedParport* claimed = nullptr;
        for (int i = 0; i < 3; ++i) {
            if (ports[i]->counters().claims != before[i]) {
                EXPECT_EQ(claimed, nullptr) << "more than one port claimed";
                claimed = ports[i];
            }
        }
        return claimed;
    }
    static std::unique_ptr<EmulatedUsbBus> bus_;
    static std::unique_ptr<EmulatedParport> card_, legacy2_, second_card_;
    static std::unique_ptr<ZdxLibrary> library_;
};
std::unique_ptr<EmulatedUsbBus> LinuxPpdevCards::bus_;
std::unique_ptr<EmulatedParport> LinuxPpdevCards::card_;
std::unique_ptr<EmulatedParport> LinuxPpdevCards::legacy2_;
std::unique_ptr<EmulatedParport> LinuxPpdevCards::second_card_;
std::unique_ptr<ZdxLibrary> LinuxPpdevCards::library_;

TEST_F(LinuxPpdevCards, LegacyAddressFirstThenTheFirstCardLeftOver) {
    EXPECT_EQ(claimed_by_open(1), legacy2_.get());
    EXPECT_EQ(claimed_by_open(0), card_.get());
    int value = 0x41;
    EXPECT_EQ(library_->calCommand(1, "", nullptr, &value), 0);
    EXPECT_EQ(value, 0x7F41);
}

TEST_F(LinuxPpdevCards, TheEnvironmentNamesTheNode) {
    ASSERT_EQ(::setenv("ZDXUSBCAL_LPT1", "/dev/parport2", 1), 0);
    EXPECT_EQ(claimed_by_open(0), second_card_.get());
    EXPECT_EQ(claimed_by_open(1), legacy2_.get());
}

TEST(LinuxPpdevAbsent, NoNodeIsAMissingDriver) {
    EmulatedUsbBus bus;
    ZdxLibrary library;
    EXPECT_EQ(library.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_NO_DRIVER);
    EXPECT_EQ(library.commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT2), ZDXUSBCAL_LPT_NO_DRIVER);
    int value = 0x41;
    EXPECT_EQ(library.calCommand(1, "", nullptr, &value), ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(value, 0x41);
}

}  // namespace
}  // namespace zdx::testing
