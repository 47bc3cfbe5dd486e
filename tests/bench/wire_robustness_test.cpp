// A client that speaks the wire format badly must not take the bench down:
// malformed bodies are refused, absurd lengths end only that connection.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../../accesslib/backends/bench/bench_socket_io.h"
#include "../../accesslib/backends/bench/bench_wire.h"
#include "bench_session.h"
#include "server.h"

namespace zdx::testing {
namespace {

int connectTo(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint32_t statusOf(const std::string& body) {
    benchwire::Reader r(body);
    std::uint32_t status = 0xFFFFFFFF;
    r.u32(status);
    return status;
}

TEST(BenchWire, MalformedRequestsAreRefusedAndTheBenchServesOn) {
    bench::BenchSession session(R"({"usb": [{"kind": "Q610", "serial": "Q"}]})");
    int fd = connectTo(session.socketPath());
    ASSERT_GE(fd, 0);
    std::string reply;
    for (std::string body : {std::string(), std::string("\x63"), std::string("\x06\x01"),
                             std::string("\x07\x01\x00\x00\x00"), std::string("\x09")}) {
        ASSERT_TRUE(bench::writeFrame(fd, body));
        ASSERT_TRUE(bench::readFrame(fd, reply));
        EXPECT_NE(statusOf(reply), 0u);
    }
    // Handles that were never opened, a read of 4 GiB on one of them.
    std::string read;
    benchwire::put_u8(read, static_cast<std::uint8_t>(benchwire::Op::Read));
    benchwire::put_u32(read, 12345);
    benchwire::put_u32(read, 0xFFFFFFFF);
    ASSERT_TRUE(bench::writeFrame(fd, read));
    ASSERT_TRUE(bench::readFrame(fd, reply));
    EXPECT_NE(statusOf(reply), 0u);

    // A frame length beyond any sane body ends this connection only.
    const unsigned char huge[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(benchwire::send_all(fd, huge, 4));
    EXPECT_FALSE(bench::readFrame(fd, reply));
    ::close(fd);
    EXPECT_EQ(session.control("ping"), "pong");

    // A client that leaves in the middle of a frame.
    fd = connectTo(session.socketPath());
    const unsigned char partial[6] = {10, 0, 0, 0, 5, 'x'};
    ASSERT_TRUE(benchwire::send_all(fd, partial, sizeof partial));
    ::close(fd);
    EXPECT_EQ(session.control("ping"), "pong");
}

}  // namespace
}  // namespace zdx::testing
