// Command exchanges through the library's exports against emulated USB
// calibrators: answers, silence, an answer without line feed, a flood, a
// kernel driver on the interface, and devices that go away. The devices that
// go away are the last on the bus and their tests run last: a device that
// fails on the way ends every search for the devices behind it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

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
        dropping_ = &bus_->add(0x1209, 0x0610, "DROP");
        dropping_->set_answerer(q610_answer);
        leaving_ = &bus_->add(0x1209, 0x0610, "GONE");
        leaving_->set_answerer(q610_answer);
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
    static void TearDownTestSuite() {
        library_.reset();
        bus_.reset();
    }
    static std::unique_ptr<EmulatedUsbBus> bus_;
    static std::unique_ptr<ZdxLibrary> library_;
    static EmulatedCalibrator *answering_, *silent_, *driver_, *dropping_, *leaving_;
};
std::unique_ptr<EmulatedUsbBus> LinuxUsbExchange::bus_;
std::unique_ptr<ZdxLibrary> LinuxUsbExchange::library_;
EmulatedCalibrator* LinuxUsbExchange::answering_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::silent_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::driver_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::dropping_ = nullptr;
EmulatedCalibrator* LinuxUsbExchange::leaving_ = nullptr;

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

TEST_F(LinuxUsbExchange, KernelDriverIsDetachedAndReattached) {
    Exchange e = exchange(*library_, "KDRV", "PAP 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "K0\n");
    const auto c = driver_->counters();
    EXPECT_EQ(c.detaches, 1);
    EXPECT_EQ(c.attaches, 1);
    EXPECT_EQ(c.claims, 1);
    EXPECT_EQ(c.releases, 1);
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
