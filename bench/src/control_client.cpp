#include "control_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../../accesslib/backends/bench/bench_wire.h"
#include "server.h"

namespace zdx::bench {

bool sendControl(const std::string& socketPath, const std::string& command, std::string& reply) {
    sockaddr_un addr{};
    if (socketPath.size() >= sizeof addr.sun_path) {
        reply = "socket path too long";
        return false;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        reply = std::strerror(errno);
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    std::string request;
    benchwire::put_u8(request, static_cast<std::uint8_t>(benchwire::Op::Control));
    request += command;
    std::string body;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              writeFrame(fd, request) && readFrame(fd, body);
    if (!ok) reply = socketPath + ": " + std::strerror(errno);
    ::close(fd);
    if (!ok) return false;
    benchwire::Reader r(body);
    std::uint32_t status = 1;
    if (!r.u32(status) || status != 0) {
        reply = "bench refused the control request";
        return false;
    }
    reply = std::string(r.rest());
    return true;
}

}  // namespace zdx::bench
