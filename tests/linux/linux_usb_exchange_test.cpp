// Command exchanges through the library's exports against emulated USB
// calibrators: answers, silence, an answer without line feed or split across
// transfers, a flood, a kernel driver on the interface, an interface another
// process holds, stalls, refused and short writes, a packet-sized command,
// and devices that go away and come back. Each test has its own device, so
// the tests run in any order.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "second_program.h"
#include "usb_emulation.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

using Clock = std::chrono::steady_clock;

long elapsed_ms(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string q610_answer(const std::string& command) {
    if (command == "PAP 4") return "K0\n";
    if (command == "PAP 8") return "K0000\n";
    return "?\n";
}

class LinuxUsbExchange : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bus_ = std::make_unique<EmulatedUsbBus>();
        answering_ = &bus_->add(0x1209, 0x0610, "ANS");
        answering_->set_answerer(q610_answer);
        silent_ = &bus_->add(0x1209, 0x0610, "SILENT");
        bus_->add(0x1209, 0x0610, "NOLF").set_answerer([](const std::string&) {
            return std::string("AB");
        });
        bus_->add(0x1209, 0x0610, "FLOOD").set_flood(true);
        driver_ = &bus_->add(0x1209, 0x0610, "KDRV");
        driver_->set_answerer(q610_answer);
        driver_->set_kernel_driver(true);
        ending_ = &bus_->add(0x1209, 0x0610, "KDRV2");
        ending_->set_answerer(q610_answer);
        ending_->set_kernel_driver(true);
        dropping_ = &bus_->add(0x1209, 0x0610, "DROP");
        dropping_->set_answerer(q610_answer);
        leaving_ = &bus_->add(0x1209, 0x0610, "GONE");
        leaving_->set_answerer(q610_answer);
        stalling_ = &bus_->add(0x1209, 0x0610, "STALL");
        stalling_->set_answerer(q610_answer);
        faulty_ = &bus_->add(0x1209, 0x0610, "FAULT");
        faulty_->set_answerer(q610_answer);
        held_ = &bus_->add(0x1209, 0x0610, "HELD");
        held_->set_answerer(q610_answer);
        held_->set_interface_held(true);
        split_ = &bus_->add(0x1209, 0x0610, "SPLIT");
        split_->set_answerer(q610_answer);
        split_->set_answer_chunk(1);
        full_speed_ = &bus_->add(0x1209, 0x0610, "FULL", 64);
        full_speed_->set_answerer([](const std::string&) { return std::string("K\n"); });
        babbling_ = &bus_->add(0x1209, 0x0610, "BABBLE");
        babbling_->set_answerer(q610_answer);
        babbling_->set_babble(true);
        replugged_ = &bus_->add(0x1209, 0x0610, "REPLUG");
        replugged_->set_answerer(q610_answer);
        library_ = std::make_unique<ZdxLibrary>();
    }
    // Unplugs a device and waits until libusb has taken in its removal.
    static void unplug(EmulatedCalibrator& device, const std::string& serial) {
        bus_->unplug(device);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (getDeviceInfo(*library_, serial).result != -2 && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // Plugs a device in again and waits until libusb has taken it in.
    static void replug(EmulatedCalibrator& device, const std::string& serial) {
        bus_->replug(device);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (getDeviceInfo(*library_, serial).result != 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    static void TearDownTestSuite() {
        library_.reset();
        bus_.reset();
    }
    static std::unique_ptr<EmulatedUsbBus> bus_;
    static std::unique_ptr<ZdxLibrary> library_;
    static EmulatedCalibrator *answering_, *silent_, *driver_, *dropping_, *leaving_, *stalling_,
        *faulty_, *held_, *split_, *full_speed_, *replugged_, *ending_, *babbling_;
};
std::unique_ptr<EmulatedUsbBus> LinuxUsbExchange::bus_;
std::unique_ptr<ZdxLibrary> LinuxUsbExchange::library_;
EmulatedCalibrator* LinuxUsbExchange::answering_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::silent_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::driver_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::dropping_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::leaving_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::stalling_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::faulty_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::held_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::split_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::full_speed_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::replugged_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::ending_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::babbling_ = nullptr;

TEST_F(LinuxUsbExchange, AnswerComesBackThroughOneClaimedInterface) {
    const auto before = answering_->counters();
    Exchange e = exchange(*library_, "ANS", "PAP 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "K0\n");
    EXPECT_EQ(e.value, 3);
    EXPECT_TRUE(e.guardsIntact);
    const auto after = answering_->counters();
    ASSERT_FALSE(after.commands.empty());
    EXPECT_EQ(after.commands.back(), "PAP 4");
    // Both pipes of the exchange on one claim, released when the last closed.
    EXPECT_EQ(after.claims - before.claims, 1);
    EXPECT_EQ(after.releases - before.releases, 1);
}

TEST_F(LinuxUsbExchange, AnswerNotShorterThanTheCommandIsRefused) {
    Exchange e = exchange(*library_, "ANS", "PAP 8");
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(e.value, 6);
    EXPECT_EQ(e.buffer, "");
}

TEST_F(LinuxUsbExchange, NoDeviceWithThatSerial) {
    Exchange e = exchange(*library_, "NOBODY", "PAP 4");
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
    EXPECT_EQ(e.buffer, "PAP 4");
}

TEST_F(LinuxUsbExchange, SilentDeviceIsAwaitedWithoutSpinning) {
    const int reads_before = silent_->counters().bulk_in_submits;
    const auto start = Clock::now();
    Exchange e = exchange(*library_, "SILENT", "PAP 4");
    const long ms = elapsed_ms(start);
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(e.value, 0);
    EXPECT_GE(ms, 100);
    EXPECT_LT(ms, 1000);
    // Each read waits for data: about 100 ms / 20 ms reads, not thousands.
    const int reads = silent_->counters().bulk_in_submits - reads_before;
    EXPECT_GE(reads, 1);
    EXPECT_LE(reads, 10);
}

TEST_F(LinuxUsbExchange, AnswerWithoutLineFeedIsUsedWhenTheTimeEnds) {
    const auto start = Clock::now();
    Exchange e = exchange(*library_, "NOLF", "PAP 4");
    EXPECT_GE(elapsed_ms(start), 100);
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "AB");
    EXPECT_EQ(e.value, 2);
}

TEST_F(LinuxUsbExchange, FloodingDeviceFillsNothingBeyondTheCommandsBuffer) {
    for (int i = 0; i < 3; ++i) {
        Exchange e = exchange(*library_, "FLOOD", "PAP 4");
        EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER);
        EXPECT_EQ(e.value, 15);  // the command's length plus 10
        EXPECT_EQ(e.buffer, "");
        EXPECT_TRUE(e.guardsIntact);
    }
}

TEST_F(LinuxUsbExchange, KernelDriverIsDetachedOnceWhileTheLibraryHoldsTheDevice) {
    for (int i = 0; i < 3; ++i) {
        Exchange e = exchange(*library_, "KDRV", "PAP 4");
        EXPECT_EQ(e.result, 0);
        EXPECT_EQ(e.buffer, "K0\n");
    }
    const auto c = driver_->counters();
    EXPECT_EQ(c.detaches, 1);
    EXPECT_EQ(c.attaches, 0);
    EXPECT_EQ(c.claims, 3);
    EXPECT_EQ(c.releases, 3);
}

TEST_F(LinuxUsbExchange, KernelDriverGetsTheInterfaceBackWhenTheProgramEnds) {
    SecondProgram program({"exchange", "KDRV2", "PAP 4"});
    EXPECT_EQ(program.result(5000), "0");
    program.wait();
    const auto c = ending_->counters();
    EXPECT_EQ(c.detaches, 1);
    EXPECT_EQ(c.attaches, 1);
}

TEST_F(LinuxUsbExchange, InterfaceThatAnotherProcessHoldsIsNotReached) {
    Exchange e = exchange(*library_, "HELD", "PAP 4");
    EXPECT_EQ(e.result, -2);
    EXPECT_EQ(e.buffer, "PAP 4");
    EXPECT_TRUE(held_->counters().commands.empty());
}

TEST_F(LinuxUsbExchange, StalledPipesAreClearedAndTheTransferMadeAgain) {
    stalling_->stall_next(false);
    Exchange e = exchange(*library_, "STALL", "PAP 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "K0\n");
    stalling_->stall_next(true);
    e = exchange(*library_, "STALL", "PAP 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "K0\n");
    EXPECT_EQ(stalling_->counters().clear_halts, 2);
}

TEST_F(LinuxUsbExchange, RefusedOrShortWriteFailsTheExchange) {
    for (auto fault :
         {EmulatedCalibrator::WriteFault::Refused, EmulatedCalibrator::WriteFault::Short}) {
        faulty_->set_write_fault(fault);
        Exchange e = exchange(*library_, "FAULT", "PAP 4");
        EXPECT_EQ(e.result, -4);
        EXPECT_EQ(e.buffer, "PAP 4");
    }
    faulty_->set_write_fault(EmulatedCalibrator::WriteFault::None);
    EXPECT_EQ(exchange(*library_, "FAULT", "PAP 4").result, 0);
}

TEST_F(LinuxUsbExchange, ReadErrorEndsTheExchangeAtOnce) {
    Exchange e = exchange(*library_, "BABBLE", "PAP 4");
    EXPECT_EQ(e.result, -5);
    EXPECT_EQ(e.value, 0);
    EXPECT_EQ(e.buffer, "");
    // One read, not a read every 20 ms until the answer's 100 ms are over.
    EXPECT_EQ(babbling_->counters().bulk_in_submits, 1);
}

TEST_F(LinuxUsbExchange, AnswerSplitAcrossTransfersIsJoined) {
    Exchange e = exchange(*library_, "SPLIT", "PAP 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "K0\n");
    EXPECT_EQ(e.value, 3);
}

TEST_F(LinuxUsbExchange, CommandThatFillsItsLastPacketIsEndedByAZeroLengthPacket) {
    // 63 characters and the line feed: one full 64-byte packet.
    EXPECT_EQ(exchange(*library_, "FULL", std::string(63, 'A')).result, 0);
    EXPECT_EQ(full_speed_->counters().zero_length_outs, 1);
    EXPECT_EQ(exchange(*library_, "FULL", std::string(62, 'A')).result, 0);
    EXPECT_EQ(full_speed_->counters().zero_length_outs, 1);
}

TEST_F(LinuxUsbExchange, DeviceReplugedBetweenExchangesIsReachedAgain) {
    EXPECT_EQ(exchange(*library_, "REPLUG", "PAP 4").result, 0);
    unplug(*replugged_, "REPLUG");
    EXPECT_EQ(exchange(*library_, "REPLUG", "PAP 4").result, -2);
    replug(*replugged_, "REPLUG");
    Exchange e = exchange(*library_, "REPLUG", "PAP 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "K0\n");
}

TEST_F(LinuxUsbExchange, DeviceThatDisappearsDuringTheExchange) {
    dropping_->unplug_after_next_command();
    Exchange e = exchange(*library_, "DROP", "PAP 4");
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(e.value, 0);
    EXPECT_TRUE(e.guardsIntact);
    unplug(*dropping_, "DROP");
    EXPECT_EQ(exchange(*library_, "DROP", "PAP 4").result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
}

TEST_F(LinuxUsbExchange, DeviceUnpluggedBetweenTwoExchanges) {
    EXPECT_EQ(exchange(*library_, "GONE", "PAP 4").result, 0);
    unplug(*leaving_, "GONE");
    Exchange e = exchange(*library_, "GONE", "PAP 4");
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
    EXPECT_EQ(e.buffer, "PAP 4");
}

}  // namespace
}  // namespace zdx::testing
