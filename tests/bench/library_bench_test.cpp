// The access library through its C exports, against a real zdx-bench: what a
// program sees of discovery, exchanges, faults, plugging and the parallel port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "../accesslib/guard_page.h"
#include "bench_session.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

using bench::BenchSession;

// One bench and one library binding for the whole executable: the library
// chooses its backend once per process.
class BenchEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        session = std::make_unique<BenchSession>("{}");
        session->exportEnvironment();
        library = std::make_unique<ZdxLibrary>();
    }
    void TearDown() override {
        library.reset();
        session.reset();
    }
    static inline std::unique_ptr<BenchSession> session;
    static inline std::unique_ptr<ZdxLibrary> library;
};

class LibraryOnBench : public ::testing::Test {
  protected:
    BenchSession& bench() { return *BenchEnvironment::session; }
    ZdxLibrary& lib() { return *BenchEnvironment::library; }
    void load(const std::string& json) {
        bench().loadScenario(json);
        bench().clearTraffic();
    }
};

const char* kTwoDevices = R"({"usb": [
    {"kind": "Q270", "serial": "A123", "string4": "ZDX", "string5": "Q270 Calibrator",
     "string6": "Q270S9 V1.18"},
    {"kind": "Q610", "serial": "B456", "string6": "Q610 V2.03"}]})";

TEST_F(LibraryOnBench, DiscoveryChoosesByFiltersAndFillsTheStrings) {
    load(kTwoDevices);
    DeviceInfo first = getDeviceInfo(lib());
    EXPECT_EQ(first.result, 0);
    EXPECT_EQ(first.count, 2);
    EXPECT_EQ(first.serial, "A123");
    EXPECT_EQ(first.serialLength, 4);
    EXPECT_EQ(first.s4, "ZDX");
    EXPECT_EQ(first.s5, "Q270 Calibrator");
    EXPECT_EQ(first.s6, "Q270S9 V1.18");
    EXPECT_EQ(first.s6Length, 12);
    EXPECT_TRUE(first.guardsIntact);

    EXPECT_EQ(getDeviceInfo(lib(), "23").serial, "A123");
    EXPECT_EQ(getDeviceInfo(lib(), "45").serial, "B456");
    EXPECT_EQ(getDeviceInfo(lib(), "", "Q610").serial, "B456");

    DeviceInfo none = getDeviceInfo(lib(), "", "TV560");
    EXPECT_EQ(none.result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(none.count, 2);
    EXPECT_EQ(none.serial, "");
    EXPECT_EQ(none.s6, "");
    EXPECT_EQ(none.s6Length, 0);

    for (int capacity : {0, -5, 500}) {
        DeviceInfo d = getDeviceInfo(lib(), "", "", capacity);
        EXPECT_EQ(d.result, 0) << capacity;
        EXPECT_EQ(d.s5, "Q270 Calibrator") << capacity;
    }
}

TEST_F(LibraryOnBench, NoDeviceAndManyDevices) {
    load(R"({"usb": []})");
    DeviceInfo none = getDeviceInfo(lib());
    EXPECT_EQ(none.result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(exchange(lib(), "A123", "K1A0,0,1,0").result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);

    load(R"({"usb_generate": [{"count": 40, "kind": "Q610", "serial_prefix": "G"}]})");
    DeviceInfo many = getDeviceInfo(lib());
    EXPECT_EQ(many.result, 0);
    EXPECT_EQ(many.count, 32);
    EXPECT_EQ(many.serial, "G0001");
    EXPECT_EQ(getDeviceInfo(lib(), "G0033").result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(exchange(lib(), "G0040", "PAP 4").result, 0);
}

TEST_F(LibraryOnBench, ExchangesCarryRealAnswers) {
    load(R"({"usb": [
        {"kind": "Q270", "serial": "Q270S9-1", "probe_accepted": false},
        {"kind": "Q270", "serial": "Q270S9-2", "condition": 3},
        {"kind": "Q610", "serial": "Q610-1"},
        {"kind": "Q610", "serial": "Q610-2", "remote": false}]})");
    Exchange a = exchange(lib(), "Q270S9-1", "K1A1,5,2,0");
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.value, 3);
    EXPECT_EQ(a.buffer, "0\r\n");
    EXPECT_TRUE(a.guardsIntact);
    EXPECT_EQ(exchange(lib(), "Q270S9-1", "K1A128,0,6,0").buffer, "?\r\n");
    EXPECT_EQ(exchange(lib(), "Q270S9-2", "K1B0,0,0,0").buffer, "3\r\n");
    EXPECT_EQ(exchange(lib(), "Q610-1", "PAP 4").buffer, "1\r\n");
    EXPECT_EQ(exchange(lib(), "Q610-2", "PAP 4").buffer, "0\r\n");
    bench().setRemote("Q610-2", true);
    EXPECT_EQ(exchange(lib(), "Q610-2", "PAP 68").buffer, "1\r\n");
    // "DCL" is answered with as many bytes as it has: no usable answer.
    Exchange dcl = exchange(lib(), "Q270S9-1", "DCL");
    EXPECT_EQ(dcl.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(dcl.value, 3);
    EXPECT_EQ(bench().linesTo("Q270S9-1"),
              (std::vector<std::string>{"K1A1,5,2,0", "K1A128,0,6,0", "DCL"}));
}

TEST_F(LibraryOnBench, InterfaceModuleForwardsToTheQ610BehindIt) {
    load(R"({"usb": [{"kind": "KX", "serial": "KX0042", "behind": [{"kind": "Q610"}]},
                     {"kind": "KX", "serial": "KX0043"}]})");
    EXPECT_EQ(getDeviceInfo(lib(), "KX").serial, "KX0042");
    Exchange e = exchange(lib(), "KX0042",
                          "\x12"
                          "CIO 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "1\r\n");
    EXPECT_EQ(exchange(lib(), "KX0043",
                       "\x12"
                       "CIO 4")
                  .buffer,
              "?\r\n");
    EXPECT_EQ(bench().linesTo("KX0042"), (std::vector<std::string>{"\\x12CIO 4"}));
}

TEST_F(LibraryOnBench, FaultyAnswersGiveTheDocumentedOutcomes) {
    load(R"({"usb": [{"kind": "Q610", "serial": "Q"}]})");
    bench().setFault("Q", "silent");
    Exchange silent = exchange(lib(), "Q", "PAP 4");
    EXPECT_EQ(silent.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(silent.value, 0);
    EXPECT_EQ(silent.buffer, "");

    bench().setFault("Q", "none");
    bench().setFault("Q", "no_lf");
    Exchange noLf = exchange(lib(), "Q", "PAP 4");
    EXPECT_EQ(noLf.result, 0);
    EXPECT_EQ(noLf.value, 2);
    EXPECT_EQ(noLf.buffer, "1\r");

    bench().setFault("Q", "none");
    bench().setFault("Q", "overlong");
    Exchange overlong = exchange(lib(), "Q", "PAP 4");
    EXPECT_EQ(overlong.result, ZDXUSBCAL_CMD_NO_ANSWER);
    EXPECT_EQ(overlong.value, 15);
    EXPECT_EQ(overlong.buffer, "");
    EXPECT_TRUE(overlong.guardsIntact);

    bench().setFault("Q", "none");
    bench().setFault("Q", "garbage");
    Exchange garbage = exchange(lib(), "Q", "K1A0,0,1,0");
    EXPECT_EQ(garbage.result, 0);
    EXPECT_EQ(garbage.buffer, "#\x7f~%\x01\r\n");

    bench().setFault("Q", "none");
    bench().setFault("Q", "late");
    EXPECT_EQ(exchange(lib(), "Q", "PAP 4").result, ZDXUSBCAL_CMD_NO_ANSWER);
}

TEST_F(LibraryOnBench, WaitingForASilentDeviceDoesNotSpin) {
    load(R"({"usb": [{"kind": "Q610", "serial": "Q", "faults": ["silent"]}]})");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(exchange(lib(), "Q", "PAP 4").result, ZDXUSBCAL_CMD_NO_ANSWER);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(100));
    EXPECT_LT(took, std::chrono::milliseconds(400));
    // The driver holds each empty read, so 100 ms take a handful of reads.
    unsigned long reads = 0;
    ASSERT_EQ(std::sscanf(bench().control("stats").c_str(), "requests=%*u reads=%lu", &reads), 1);
    EXPECT_GE(reads, 3u);
    EXPECT_LE(reads, 8u);
}

TEST_F(LibraryOnBench, ConditionAndScheduledUnplugTakeEffect) {
    load(R"({"usb": [{"kind": "Q270", "serial": "Q270S9-9", "unplug_at_ms": 150,
                      "replug_at_ms": 300}]})");
    EXPECT_EQ(exchange(lib(), "Q270S9-9", "K1B0,0,0,0").buffer, "0\r\n");
    bench().control("condition Q270S9-9 1");
    EXPECT_EQ(exchange(lib(), "Q270S9-9", "K1B0,0,0,0").buffer, "1\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(170));
    EXPECT_EQ(exchange(lib(), "Q270S9-9", "K1B0,0,0,0").result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(exchange(lib(), "Q270S9-9", "K1B0,0,0,0").result, 0);
}

TEST_F(LibraryOnBench, FaultyDescriptorsEmptyOnlyTheirStrings) {
    load(R"({"usb": [
        {"kind": "Q610", "serial": "ODD", "string6": "X", "faults": ["odd_descriptor"]},
        {"kind": "Q610", "serial": "MIS", "string6": "X", "faults": ["mismatched_descriptor"]},
        {"kind": "Q610", "serial": "HDR", "string6": "X", "faults": ["header_form"]},
        {"kind": "Q610", "serial": "REF", "string6": "X", "faults": ["refuse_strings"]}]})");
    for (const char* serial : {"ODD", "MIS", "REF"}) {
        DeviceInfo d = getDeviceInfo(lib(), serial);
        EXPECT_EQ(d.result, 0) << serial;
        EXPECT_EQ(d.count, 4) << serial;
        EXPECT_EQ(d.serial, serial);
        EXPECT_EQ(d.s6, "") << serial;
        EXPECT_EQ(d.s6Length, 0) << serial;
    }
    DeviceInfo header = getDeviceInfo(lib(), "HDR");
    EXPECT_EQ(header.s6, "X");
    EXPECT_EQ(header.s4, "ZDX");
    EXPECT_EQ(exchange(lib(), "HDR", "PAP 4").buffer, "1\r\n");
}

TEST_F(LibraryOnBench, EnumerationStopsAtADeviceThatFailsAStep) {
    for (const char* fault : {"refuse_requests", "unopenable"}) {
        load(std::string(R"({"usb": [{"kind": "Q610", "serial": "OK1"},
            {"kind": "Q610", "serial": "BAD", "faults": [")") +
             fault + R"("]},
            {"kind": "Q610", "serial": "OK2"}]})");
        DeviceInfo d = getDeviceInfo(lib());
        EXPECT_EQ(d.result, 0) << fault;
        EXPECT_EQ(d.count, 1) << fault;
        EXPECT_EQ(getDeviceInfo(lib(), "OK2").result, ZDXUSBCAL_INFO_NO_DEVICE) << fault;
        EXPECT_EQ(exchange(lib(), "BAD", "PAP 4").result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE) << fault;
    }
}

TEST_F(LibraryOnBench, OverlongSerialAndPathStayWithinTheCallersBuffers) {
    const std::string longSerial(300, 'L');
    load(R"({"usb": [{"kind": "Q610", "serial": "OK1"},
                     {"kind": "Q610", "serial": ")" +
         longSerial + R"("}]})");
    DeviceInfo d = getDeviceInfo(lib(), "LLL", "", 0, 101);
    EXPECT_TRUE(d.guardsIntact);
    EXPECT_LE(d.serialLength, 100);
    EXPECT_EQ(getDeviceInfo(lib()).serial, "OK1");

    // A 120-character string into a capacity of 90.
    load(R"({"usb": [{"kind": "Q610", "serial": "S", "string6": ")" + std::string(120, 'x') +
         R"("}]})");
    DeviceInfo cut = getDeviceInfo(lib(), "", "", 90, 91);
    EXPECT_EQ(cut.s6Length, 90);
    EXPECT_EQ(cut.s6, std::string(90, 'x'));
    EXPECT_TRUE(cut.guardsIntact);
}

TEST_F(LibraryOnBench, UnpluggedDeviceIsGoneAndReachedAgainAfterReplug) {
    load(kTwoDevices);
    EXPECT_EQ(exchange(lib(), "B456", "PAP 4").result, 0);
    bench().unplug("B456");
    EXPECT_EQ(exchange(lib(), "B456", "PAP 4").result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
    EXPECT_EQ(getDeviceInfo(lib()).count, 1);
    bench().replug("B456");
    EXPECT_EQ(exchange(lib(), "B456", "PAP 4").result, 0);
    EXPECT_EQ(getDeviceInfo(lib()).count, 2);
}

TEST_F(LibraryOnBench, SerialArgumentIsReadOnlyWithinItsBound) {
    load(R"({"usb": [{"kind": "Q610", "serial": "Q610-1"}]})");
    GuardPage page;
    const auto send = [&](const char* serial) {
        GuardedBuffer buffer(6, "PAP 4");
        Exchange e;
        e.result = lib().calCommand(ZDXUSBCAL_FN_USB, serial, buffer.data(), &e.value);
        e.buffer = buffer.text();
        e.guardsIntact = buffer.guardsIntact();
        return e;
    };
    // The serial's NUL is the last readable byte.
    EXPECT_EQ(send(page.place(std::string_view("Q610-1", 7))).buffer, "1\r\n");
    EXPECT_EQ(send(page.place(std::string(254, 'Q') + '\0')).result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);

    // 255 bytes without a NUL, the first of them a serial that exists: no
    // device, and nothing beyond them is read.
    for (const std::string& unterminated :
         {std::string(255, 'Q'), "Q610-1" + std::string(249, 'x')}) {
        Exchange e = send(page.place(unterminated));
        EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
        EXPECT_EQ(e.value, -1);
        EXPECT_EQ(e.buffer, "PAP 4");
        EXPECT_TRUE(e.guardsIntact);
    }
    EXPECT_EQ(bench().linesTo("Q610-1"), std::vector<std::string>{"PAP 4"});
}

// Reads of the answer pipe since the last clear.
unsigned long answerReads(BenchSession& bench) {
    unsigned long reads = 0;
    if (std::sscanf(bench.control("stats").c_str(), "requests=%*u reads=%lu", &reads) != 1)
        ADD_FAILURE() << "unexpected stats reply";
    return reads;
}

TEST_F(LibraryOnBench, CommandPipeThatDoesNotOpenGivesMinus3) {
    load(R"({"usb": [{"kind": "Q610", "serial": "Q", "faults": ["refuse_command_pipe"]}]})");
    Exchange e = exchange(lib(), "Q", "PAP 4");
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_NO_COMMAND_PIPE);
    EXPECT_EQ(e.value, -1);
    EXPECT_EQ(e.buffer, "PAP 4");
    EXPECT_TRUE(e.guardsIntact);
    EXPECT_TRUE(bench().linesTo("Q").empty());
    EXPECT_EQ(answerReads(bench()), 0u);
    // The answer pipe is closed every time: more failures than there are
    // pipe slots still reach the command pipe.
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(exchange(lib(), "Q", "PAP 4").result, ZDXUSBCAL_CMD_NO_COMMAND_PIPE) << i;
    // The device itself still opens.
    EXPECT_EQ(getDeviceInfo(lib()).serial, "Q");
    bench().setFault("Q", "none");
    EXPECT_EQ(exchange(lib(), "Q", "PAP 4").buffer, "1\r\n");
}

TEST_F(LibraryOnBench, SlowOrShortWriteGivesMinus4WithoutARead) {
    load(R"({"usb": [{"kind": "Q610", "serial": "Q", "faults": ["slow_write"]}]})");
    const auto start = std::chrono::steady_clock::now();
    Exchange slow = exchange(lib(), "Q", "PAP 4");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
    EXPECT_EQ(slow.result, ZDXUSBCAL_CMD_WRITE_FAILED);
    EXPECT_EQ(slow.value, -1);
    EXPECT_EQ(slow.buffer, "PAP 4");
    // The line was written, only too slowly; no answer is read after it.
    EXPECT_EQ(bench().linesTo("Q"), std::vector<std::string>{"PAP 4"});
    EXPECT_EQ(answerReads(bench()), 0u);

    load(R"({"usb": [{"kind": "Q610", "serial": "Q", "faults": ["short_write"]}]})");
    Exchange shortWrite = exchange(lib(), "Q", "PAP 4");
    EXPECT_EQ(shortWrite.result, ZDXUSBCAL_CMD_WRITE_FAILED);
    EXPECT_EQ(shortWrite.value, -1);
    EXPECT_EQ(shortWrite.buffer, "PAP 4");
    EXPECT_TRUE(shortWrite.guardsIntact);
    EXPECT_EQ(answerReads(bench()), 0u);
    // Both pipes are closed every time: two slots per exchange would run
    // out after 32.
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(exchange(lib(), "Q", "PAP 4").result, ZDXUSBCAL_CMD_WRITE_FAILED) << i;
    // The library does not repeat what the device did not take: the bytes
    // taken wait for a line feed, and the next line carries them.
    bench().setFault("Q", "none");
    EXPECT_EQ(exchange(lib(), "Q", "PAP 4").buffer, "?\r\n");
    const std::vector<std::string> lines = bench().linesTo("Q");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("PAP 4PAP 4", 0), 0u);
}

// Everything one device of the traffic log saw, as "direction text".
std::vector<std::string> entriesOf(BenchSession& bench, const std::string& device) {
    std::vector<std::string> lines;
    for (const auto& e : bench.traffic())
        if (e.device == device) lines.push_back(e.direction + " " + e.line);
    return lines;
}

TEST_F(LibraryOnBench, RegistersAreWrittenAndReadInTheirOrder) {
    load(R"({"lpt": [{"port": 1, "device": "Q610"}]})");
    ASSERT_EQ(lib().commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    bench().clearTraffic();
    int value = 0x41;
    ASSERT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr, nullptr, &value), 0);
    EXPECT_EQ(entriesOf(bench(), "LPT1"),
              (std::vector<std::string>{"in data=0x41", "out status=0x5F", "out data=0x41"}));
    bench().clearTraffic();
    ASSERT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT1_READ, nullptr, nullptr, &value), 0);
    EXPECT_EQ(entriesOf(bench(), "LPT1"),
              (std::vector<std::string>{"out control=0xCC", "out status=0x5F", "out data=0x41"}));
    // A function for the port that is not open touches no register.
    bench().clearTraffic();
    EXPECT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT2_READ, nullptr, nullptr, &value),
              ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT2_WRITE, nullptr, nullptr, &value),
              ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_TRUE(bench().traffic().empty());
}

TEST_F(LibraryOnBench, ParallelPortRegistersOnTheBench) {
    load(R"({"lpt": [{"port": 1, "device": "Q610"}, {"port": 2, "present": false}]})");
    ASSERT_EQ(lib().commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    int value = 0x41;
    EXPECT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT2_WRITE, nullptr, nullptr, &value),
              ZDXUSBCAL_LPT_NOT_OPEN);
    EXPECT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr, nullptr, &value), 0);
    EXPECT_EQ(value, 0x5F41);
    value = 0;
    EXPECT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT1_READ, nullptr, nullptr, &value), 0);
    EXPECT_EQ(value, 0xCC5F41);
    EXPECT_EQ(bench().lpt(0).data, 0x41);
    EXPECT_EQ(bench().linesTo("LPT1"), (std::vector<std::string>{"data=0x41"}));

    ASSERT_EQ(lib().commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT2), 0);
    value = 0x41;
    EXPECT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT2_WRITE, nullptr, nullptr, &value), 0);
    EXPECT_EQ(value, 0xFFFF);  // absent: nothing reads back
    EXPECT_EQ(lib().commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT2), 0);
    EXPECT_EQ(lib().commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
              ZDXUSBCAL_LPT_BAD_PORT);
}

TEST_F(LibraryOnBench, PortDriverMissingRefusingAndOtherFamilies) {
    load(R"({"port_driver": "missing"})");
    EXPECT_EQ(lib().commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_NO_DRIVER);
    load(R"({"port_driver": "refusing"})");
    EXPECT_EQ(lib().commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_REFUSED);
    int value = 0x41;
    EXPECT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr, nullptr, &value),
              ZDXUSBCAL_LPT_NOT_OPEN);
    // Outside the NT family the driver is not used at all.
    load(R"({"os_family": "other", "port_driver": "missing"})");
    EXPECT_EQ(lib().commandLpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), 0);
    EXPECT_EQ(lib().calCommand(ZDXUSBCAL_FN_LPT1_WRITE, nullptr, nullptr, &value), 0);
    EXPECT_EQ(value & 0xFF, 0x41);
}

}  // namespace
}  // namespace zdx::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new zdx::testing::BenchEnvironment);
    return RUN_ALL_TESTS();
}
