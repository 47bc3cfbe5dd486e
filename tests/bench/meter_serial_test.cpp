// The multimeter of a real bench from a program's side: its pseudo-terminal
// opened with termios, SCPI lines written, replies read with their CR LF, and
// the reading of the divider resistor that a step line on the Q270 selected.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench_session.h"

namespace zdx::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Terminal {
  public:
    explicit Terminal(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        ::tcsetattr(fd_, TCSANOW, &t);
        ::tcflush(fd_, TCIOFLUSH);
    }
    ~Terminal() { close(); }
    bool ok() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    void write(const std::string& line) {
        const std::string framed = line + "\n";
        ASSERT_EQ(::write(fd_, framed.data(), framed.size()), static_cast<ssize_t>(framed.size()));
    }

    // What arrives up to a line feed, or within the time-out; `took` is how long it took.
    std::string read(milliseconds timeout, milliseconds* took = nullptr) {
        const auto start = Clock::now(), deadline = start + timeout;
        std::string answer;
        while (answer.find('\n') == std::string::npos) {
            auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[256];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            answer.append(buf, static_cast<std::size_t>(n));
        }
        if (took) *took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
        return answer;
    }

    std::string query(const std::string& line, milliseconds timeout = milliseconds(1000),
                      milliseconds* took = nullptr) {
        write(line);
        return read(timeout, took);
    }

  private:
    int fd_ = -1;
};

std::string reading(double volts) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.8E\r\n", volts);
    return text;
}

// The voltage across one resistor by the bench's own account of the divider.
double expectedVolts(const bench::DividerTruth& d, int resistor) {
    double total = 0;
    for (double r : d.ohms) total += r;
    return d.excitationV * d.ohms[resistor - 97] / total;
}

const char* kScenario = R"({"serial": [
    {"com": 1, "kind": "meter", "calibrator": "Q270S9-00418", "reading_ms": 250, "settle_ms": 20},
    {"com": 2, "kind": "Q270", "serial": "Q270S9-00418", "divider": {"deviations_ppm":
        [12, -8, 25, 3, -15, 30, -4, 7, -22, 10, 0, 18, -11, 5, -27, 14, 2, -6, 21, -9]}}]})";

TEST(MeterOnTheBench, ReadsTheResistorTheStepLineSelected) {
    bench::BenchSession session(kScenario);
    Terminal meter(session.comDevice(1)), q270(session.comDevice(2));
    ASSERT_TRUE(meter.ok() && q270.ok());

    EXPECT_EQ(meter.query("MEAS:VOLT:DC? 1,1E-6", milliseconds(600)), "");  // not in remote
    EXPECT_EQ(meter.query("SYST:ERR?"), "-221,\"Settings conflict\"\r\n");
    meter.write("SYST:REM");
    EXPECT_EQ(meter.query("SYST:ERR?"), "+0,\"No error\"\r\n");
    EXPECT_EQ(meter.query("MEAS:VOLT:DC? 1,1E-6"), "+0.00000000E+00\r\n");  // no step yet

    EXPECT_EQ(q270.query("K1Y  1, 10, 9, 0"), "0\r\n");
    std::this_thread::sleep_for(milliseconds(40));  // past the settle time
    bench::DividerTruth truth = session.divider("Q270S9-00418");
    EXPECT_EQ(truth.selected, 116);
    EXPECT_EQ(truth.deviationsPpm[0], 12);   // R97
    EXPECT_EQ(truth.deviationsPpm[19], -9);  // R116
    EXPECT_DOUBLE_EQ(truth.ohms[19], 120 * (1 - 9e-6));
    milliseconds took{};
    EXPECT_EQ(meter.query("MEAS:VOLT:DC? 1,1E-6", milliseconds(1500), &took),
              reading(expectedVolts(truth, 116)));
    EXPECT_GE(took.count(), 240);  // the reading takes reading_ms
    EXPECT_LT(took.count(), 1000);

    // Step 11 measures R106; a trim soldered across it lowers what it reads.
    EXPECT_EQ(q270.query("K1Y  0, 0, 1, 1"), "0\r\n");
    std::this_thread::sleep_for(milliseconds(40));
    const std::string before = meter.query("MEAS:VOLT:DC? 1,1E-6");
    EXPECT_EQ(before, reading(expectedVolts(session.divider("Q270S9-00418"), 106)));
    session.setTrim("Q270S9-00418", 106, 750000);
    truth = session.divider("COM2");
    ASSERT_TRUE(truth.trimsOhm[106 - 97]);
    EXPECT_EQ(*truth.trimsOhm[106 - 97], 750000);
    const double r = 120 * (1 + 10e-6);
    EXPECT_DOUBLE_EQ(truth.ohms[106 - 97], r * 750000 / (r + 750000));
    const std::string after = meter.query("MEAS:VOLT:DC? 1,1E-6");
    EXPECT_EQ(after, reading(expectedVolts(truth, 106)));
    EXPECT_LT(std::stod(after), std::stod(before));
    session.removeAllTrims("Q270S9-00418");
    EXPECT_FALSE(session.divider("Q270S9-00418").trimsOhm[106 - 97]);
    EXPECT_EQ(meter.query("MEAS:VOLT:DC? 1,1E-6"), before);

    // The traffic log has the meter's lines, in and out.
    bool sawReading = false;
    for (const auto& e : session.traffic())
        sawReading = sawReading || (e.device == "COM1" && e.direction == "out" &&
                                    e.line == before.substr(0, before.size() - 2));
    EXPECT_TRUE(sawReading);
    EXPECT_EQ(session.meter(1).readings, 5);
}

bool waitForPortOpen(const bench::BenchSession& session, bool open) {
    for (int i = 0; i < 200; ++i) {
        if (session.meter(1).portOpen == open) return true;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
}

TEST(MeterOnTheBench, TalksOnlyWhileTheProgramHoldsItsPort) {
    bench::BenchSession session(kScenario);
    EXPECT_TRUE(waitForPortOpen(session, false));
    {
        Terminal meter(session.comDevice(1));
        ASSERT_TRUE(meter.ok());
        EXPECT_TRUE(waitForPortOpen(session, true));
        meter.write("SYST:REM");
        meter.write("MEAS:VOLT:DC? 1,1E-6");
        // Closed before the reading is done: the reply is never sent.
    }
    EXPECT_TRUE(waitForPortOpen(session, false));
    std::this_thread::sleep_for(milliseconds(400));
    Terminal again(session.comDevice(1));
    EXPECT_EQ(again.read(milliseconds(300)), "");  // nothing stale waits on the line
    EXPECT_EQ(again.query("SYST:ERR?"), "+0,\"No error\"\r\n");
    EXPECT_TRUE(session.meter(1).remote);
    bool noted = false;
    for (const auto& e : session.traffic())
        noted = noted || (e.device == "COM1" && e.direction == "note" &&
                          e.line.find("reply not sent") != std::string::npos);
    EXPECT_TRUE(noted);
}

// The opener watch follows the fresh terminal of a port given back.
TEST(MeterOnTheBench, SeesTheProgramOnAPortGivenBack) {
    bench::BenchSession session(kScenario);
    Terminal meter(session.comDevice(1));
    EXPECT_TRUE(waitForPortOpen(session, true));
    session.takeAway("COM1");
    EXPECT_FALSE(session.meter(1).portOpen);
    meter.close();
    session.replug("COM1");
    EXPECT_TRUE(waitForPortOpen(session, false));
    Terminal again(session.comDevice(1));
    ASSERT_TRUE(again.ok());
    EXPECT_TRUE(waitForPortOpen(session, true));
    EXPECT_EQ(again.query("*IDN?"), "BENCH,DMM,0,1.0\r\n");
    again.close();
    EXPECT_TRUE(waitForPortOpen(session, false));
}

TEST(MeterOnTheBench, UnplugReplugAndFaultsOnCommand) {
    bench::BenchSession session(kScenario);
    Terminal meter(session.comDevice(1));
    meter.write("SYST:REM");
    EXPECT_EQ(meter.query("MEAS:VOLT:DC? 1,1E-6"), "+0.00000000E+00\r\n");

    session.unplug("COM1");
    EXPECT_FALSE(session.meter(1).plugged);
    EXPECT_EQ(meter.query("SYST:ERR?", milliseconds(300)), "");
    session.replug("COM1");
    EXPECT_EQ(meter.query("SYST:ERR?"), "+0,\"No error\"\r\n");

    session.setFault("COM1", "overload");
    EXPECT_EQ(meter.query("MEAS:VOLT:DC? 1,1E-6"), "+9.90000000E+37\r\n");
    session.setFault("COM1", "none");
    session.setFault("COM1", "garbage");
    const std::string garbage = meter.query("MEAS:VOLT:DC? 1,1E-6");
    EXPECT_EQ(garbage.substr(garbage.size() - 2), "\r\n");
    EXPECT_EQ(garbage.find_first_of("0123456789"), std::string::npos) << garbage;
    session.setFault("COM1", "none");
    session.setFault("COM1", "late");
    EXPECT_EQ(session.meter(1).faults, "late");
    EXPECT_EQ(meter.query("SYST:ERR?", milliseconds(1500)), "");  // past 1.5 s
    EXPECT_EQ(meter.read(milliseconds(1500)), "+0,\"No error\"\r\n");
    EXPECT_THROW(session.setFault("COM1", "no_lf"), std::runtime_error);
    EXPECT_THROW(session.divider("COM1"), std::runtime_error);
    EXPECT_THROW(session.setTrim("Q270S9-00418", 96, 1000), std::runtime_error);
    EXPECT_THROW(session.setTrim("Q270S9-00418", 100, -1), std::runtime_error);
}

TEST(MeterOnTheBench, UnpluggedByTheScenarioAfterSomeReadings) {
    bench::BenchSession session(R"({"serial": [{"com": 1, "kind": "meter", "reading_ms": 50,
        "remote": true, "unplug_after_readings": 2}]})");
    Terminal meter(session.comDevice(1));
    EXPECT_EQ(meter.query("MEAS:VOLT:DC?"), "+0.00000000E+00\r\n");
    EXPECT_EQ(meter.query("MEAS:VOLT:DC?"), "+0.00000000E+00\r\n");
    EXPECT_EQ(meter.query("MEAS:VOLT:DC?", milliseconds(300)), "");
    EXPECT_FALSE(session.meter(1).plugged);
    session.replug("COM1");
    EXPECT_EQ(meter.query("MEAS:VOLT:DC?"), "+0.00000000E+00\r\n");
}

}  // namespace
}  // namespace zdx::testing
