// Command exchanges through the library's exports against the bench's
// devices as real USB gadgets: each kind answers; the faults a device can
// have on a wire give the results the library promises; a device that leaves
// in the middle of an exchange, and one unplugged and plugged in again.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "gadget_process.h"

namespace zdx::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kSetting = "K1A1,5,2,0";  // a Q270 setting line, answered "0"

constexpr const char* kGenericSerial = "usbserial_generic";

// Waits (up to 5 s) until this driver has the device's interface.
bool waitForDriver(const std::string& serial, const std::string& driver) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (interfaceDriver(serial) != driver) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

long msSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class KernelExchange : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { library_ = std::make_unique<ZdxLibrary>(); }
    static void TearDownTestSuite() { library_.reset(); }

    // A gadget that the library already finds.
    static std::unique_ptr<GadgetProcess> plugIn(const std::string& kind, const std::string& serial,
                                                 const std::vector<std::string>& faults = {}) {
        auto gadget = std::make_unique<GadgetProcess>(kind, serial, faults);
        EXPECT_TRUE(waitUntilSeen(*library_, serial, true)) << serial;
        return gadget;
    }
    static ZdxLibrary& library() { return *library_; }

  private:
    static std::unique_ptr<ZdxLibrary> library_;
};
std::unique_ptr<ZdxLibrary> KernelExchange::library_;

TEST_F(KernelExchange, EachKindAnswersItsLines) {
    const auto q270 = plugIn("Q270", "Q270-X1");
    const auto q610 = plugIn("Q610", "Q610-X1");
    const auto module = plugIn("KX", "KX-X1");
    for (int round = 0; round < 3; ++round) {
        const Exchange a = exchange(library(), "Q270-X1", kSetting);
        EXPECT_EQ(a.result, 0);
        EXPECT_EQ(a.buffer, "0\r\n");
        EXPECT_EQ(a.value, 3);
        EXPECT_TRUE(a.guardsIntact);
        const Exchange b = exchange(library(), "Q610-X1", "PAP 4");
        EXPECT_EQ(b.result, 0);
        EXPECT_EQ(b.buffer, "1\r\n");
        const Exchange c = exchange(library(), "KX-X1",
                                    "\x12"
                                    "CIO 4");
        EXPECT_EQ(c.result, 0);
        EXPECT_EQ(c.buffer, "1\r\n");
    }
    // An answer not shorter than the command is counted and refused.
    const Exchange id = exchange(library(), "Q270-X1", "SNR?0");
    EXPECT_EQ(id.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(id.value, 14);
    EXPECT_EQ(id.buffer, "");
    EXPECT_EQ(exchange(library(), "NOSUCH", kSetting).result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
}

// usbserial's generic driver takes an interface whose IDs it is given: the
// library takes the interface from it while the library is loaded, and the
// driver gets it back when the program ends.
TEST_F(KernelExchange, KernelDriverOnTheInterfaceIsDetachedAndGivenBack) {
    // An interface module: no later test of this program has one.
    const auto gadget = plugIn("KX", "KDRV");
    std::ofstream("/sys/bus/usb-serial/drivers/generic/new_id") << "1209 0d60\n";
    ASSERT_TRUE(waitForDriver("KDRV", kGenericSerial));

    const std::string program = std::string(ZDX_KERNEL_TEST_PROGRAM) + " --exchange KDRV ";
    EXPECT_EQ(outputOf(program + kSetting + " 2>/dev/null"), "0\n");
    EXPECT_TRUE(waitForDriver("KDRV", kGenericSerial));

    EXPECT_EQ(exchange(library(), "KDRV", kSetting).result, 0);
    EXPECT_EQ(interfaceDriver("KDRV"), "");
    EXPECT_EQ(exchange(library(), "KDRV", kSetting).result, 0);
    EXPECT_EQ(interfaceDriver("KDRV"), "");
}

TEST_F(KernelExchange, SilentDeviceGivesNoAnswerAfterTheReadTime) {
    const auto gadget = plugIn("Q270", "SILENT", {"silent"});
    const auto start = Clock::now();
    const Exchange e = exchange(library(), "SILENT", kSetting);
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(e.value, 0);
    EXPECT_GE(msSince(start), 100);
}

// The answer the host did not fetch in time stays queued in the device's
// endpoint: the next exchange reads it as its own.
TEST_F(KernelExchange, LateAnswerComesWithTheNextExchange) {
    const auto gadget = plugIn("Q270", "LATE", {"late"});
    EXPECT_EQ(exchange(library(), "LATE", "K1A0,0,9,0").result, ZDXUSBCAL_CMD_NO_ANSWER);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Exchange next = exchange(library(), "LATE", kSetting);
    EXPECT_EQ(next.result, 0);
    EXPECT_EQ(next.buffer, "?\r\n");  // the answer to the refused line before
}

TEST_F(KernelExchange, GarbageOverlongAndUnendedAnswers) {
    const auto garbage = plugIn("Q270", "GARBAGE", {"garbage"});
    const auto overlong = plugIn("Q270", "OVERLONG", {"overlong"});
    const auto unended = plugIn("Q270", "NOLF", {"no_lf"});
    const Exchange g = exchange(library(), "GARBAGE", kSetting);
    EXPECT_EQ(g.result, 0);
    EXPECT_EQ(g.buffer, "#\x7f~%\x01\r\n");
    // The read takes at most the command's length plus 10 bytes.
    const Exchange o = exchange(library(), "OVERLONG", kSetting);
    EXPECT_EQ(o.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(o.value, 20);
    EXPECT_TRUE(o.guardsIntact);
    const Exchange n = exchange(library(), "NOLF", kSetting);
    EXPECT_EQ(n.result, 0);
    EXPECT_EQ(n.buffer, "0\r");
}

TEST_F(KernelExchange, HaltedAnswerPipeIsClearedAndReadAgain) {
    const auto gadget = plugIn("Q270", "HALT", {"halt"});
    for (int round = 0; round < 3; ++round) {
        const Exchange e = exchange(library(), "HALT", kSetting);
        EXPECT_EQ(e.result, 0);
        EXPECT_EQ(e.buffer, "0\r\n");
    }
}

TEST_F(KernelExchange, DeviceThatTakesNoCommandFailsTheWrite) {
    const auto gadget = plugIn("Q270", "DEAF", {"deaf"});
    const Exchange e = exchange(library(), "DEAF", kSetting);
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_WRITE_FAILED);
    EXPECT_EQ(e.buffer, kSetting);
}

TEST_F(KernelExchange, DeviceLeavingMidExchangeIsGoneThenFoundAgain) {
    const auto gadget = plugIn("Q270", "DROP", {"drop"});
    const Exchange e = exchange(library(), "DROP", kSetting);
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(e.value, 0);
    ASSERT_TRUE(waitUntilSeen(library(), "DROP", false));
    EXPECT_EQ(exchange(library(), "DROP", kSetting).result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
    gadget->replug();
    EXPECT_TRUE(waitUntilSeen(library(), "DROP", true));
}

TEST_F(KernelExchange, UnpluggedThenReplugged) {
    const auto gadget = plugIn("Q610", "REPLUG");
    EXPECT_EQ(exchange(library(), "REPLUG", "PAP 4").result, 0);
    gadget->unplug();
    ASSERT_TRUE(waitUntilSeen(library(), "REPLUG", false));
    EXPECT_EQ(exchange(library(), "REPLUG", "PAP 4").result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
    gadget->replug();
    ASSERT_TRUE(waitUntilSeen(library(), "REPLUG", true));
    const Exchange e = exchange(library(), "REPLUG", "PAP 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "1\r\n");
}

}  // namespace
}  // namespace zdx::testing
