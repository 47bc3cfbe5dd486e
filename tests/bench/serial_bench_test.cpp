// The bench's serial ports from a program's side: a pseudo-terminal per COM
// port, a Q270 answering at 9600 baud, silence where no device is.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "bench_session.h"

namespace zdx::testing {
namespace {

class Terminal {
  public:
    Terminal(const std::string& path, speed_t speed) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        ::tcsetattr(fd_, TCSANOW, &t);
        ::tcflush(fd_, TCIOFLUSH);
    }
    ~Terminal() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    // Writes the line with a line feed and collects the answer up to its line
    // feed, or what came within the time-out.
    std::string query(const std::string& line, int timeoutMs = 300) {
        std::string framed = line + "\n";
        if (::write(fd_, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size()))
            return "<write failed>";
        std::string answer;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (answer.find('\n') == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buf[256];
            ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            answer.append(buf, static_cast<std::size_t>(n));
        }
        return answer;
    }

  private:
    int fd_ = -1;
};

TEST(SerialPortsOfTheBench, Q270AnswersOnItsPortAndOthersStaySilent) {
    bench::BenchSession session(R"({"serial": [
        {"com": 2, "kind": "Q270", "serial": "Q270S9-00418", "id": "Q270S9 V1.18"},
        {"com": 4, "kind": "Q270", "serial": "Q270S8-1", "condition": 1}]})");
    for (int n = 1; n <= 9; ++n) EXPECT_FALSE(session.comDevice(n).empty()) << n;

    Terminal com2(session.comDevice(2), B9600);
    ASSERT_TRUE(com2.ok());
    EXPECT_EQ(com2.query("SNR?0"), "Q270S9 V1.18\r\n");
    EXPECT_EQ(com2.query("SNR?1"), "\"Q270S9-00418\"\r\n");
    EXPECT_EQ(com2.query("K1A0,0,1,0"), "0\r\n");
    EXPECT_EQ(com2.query("K1B0,0,0,0\r"), "0\r\n");  // a CR before the line feed is ignored
    EXPECT_EQ(com2.query("WHAT"), "?\r\n");

    Terminal com4(session.comDevice(4), B9600);
    EXPECT_EQ(com4.query("K1A0,0,1,0"), "1\r\n");

    Terminal com3(session.comDevice(3), B9600);
    EXPECT_EQ(com3.query("SNR?0", 100), "");

    EXPECT_EQ(session.linesTo("COM2"),
              (std::vector<std::string>{"SNR?0", "SNR?1", "K1A0,0,1,0", "K1B0,0,0,0", "WHAT"}));
    EXPECT_EQ(session.linesTo("COM3"), (std::vector<std::string>{"SNR?0"}));
}

TEST(SerialPortsOfTheBench, WrongSpeedAndFaultsSilenceTheDevice) {
    bench::BenchSession session(R"({"serial": [{"com": 2, "kind": "Q270"}]})");
    {
        Terminal fast(session.comDevice(2), B19200);
        EXPECT_EQ(fast.query("SNR?0", 100), "");
    }
    Terminal com2(session.comDevice(2), B9600);
    EXPECT_FALSE(com2.query("SNR?0").empty());
    session.setFault("COM2", "silent");
    EXPECT_EQ(com2.query("SNR?0", 100), "");
    session.setFault("COM2", "none");
    session.setFault("COM2", "no_lf");
    EXPECT_EQ(com2.query("K1A0,0,1,0", 100), "0\r");
}

TEST(SerialPortsOfTheBench, LoadingAScenarioKeepsThePorts) {
    bench::BenchSession session("{}");
    const std::string before = session.comDevice(2);
    session.loadScenario(R"({"serial": [{"com": 2, "kind": "Q270", "id": "TV560 X"}]})");
    EXPECT_EQ(session.comDevice(2), before);
    Terminal com2(before, B9600);
    EXPECT_EQ(com2.query("SNR?0"), "TV560 X\r\n");
    EXPECT_THROW(session.loadScenario("{\"usb\": 5}"), std::runtime_error);
    EXPECT_THROW(session.unplug("NOSUCH"), std::runtime_error);
}

// A port taken away behaves as a pulled adapter: the program's descriptor is
// hung up, the path is gone; given back, the same path reaches the device.
TEST(SerialPortsOfTheBench, APortTakenAwayHangsUpItsProgramUntilGivenBack) {
    bench::BenchSession session(R"({"serial": [{"com": 2, "kind": "Q270", "id": "TV560 X"}]})");
    const std::string path = session.comDevice(2);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    session.takeAway("COM2");
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    char byte = 0;
    EXPECT_LE(::read(fd, &byte, 1), 0);  // end of file, or EIO
    EXPECT_EQ(::write(fd, "SNR?0\n", 6), -1);
    EXPECT_EQ(errno, EIO);
    ::close(fd);
    EXPECT_LT(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC), 0);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_THROW(session.takeAway("LPT1"), std::runtime_error);

    session.replug("COM2");
    EXPECT_EQ(session.comDevice(2), path);
    {
        Terminal com2(path, B9600);
        EXPECT_EQ(com2.query("SNR?0"), "TV560 X\r\n");
    }
    session.takeAway("COM2");
    session.loadScenario(R"({"serial": [{"com": 2, "kind": "Q270", "id": "TV560 Y"}]})");
    Terminal com2(path, B9600);
    EXPECT_EQ(com2.query("SNR?0"), "TV560 Y\r\n");
}

}  // namespace
}  // namespace zdx::testing
