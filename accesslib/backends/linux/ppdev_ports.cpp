#include "ppdev_ports.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "parport_map.h"

namespace zdx::linuxport {

namespace {

struct Port {
    const char* name;
    std::uint16_t base;  // the legacy address the library's requests use
    std::uint16_t extended;
    int fd = -1;       // the claimed ppdev node, or -1
    std::string said;  // the last refusal told on standard error
};

Port ports[2] = {{"LPT1", kLegacyBase[0], 0x77A, -1, {}}, {"LPT2", kLegacyBase[1], 0x67A, -1, {}}};
int driver_handles = 0;

constexpr std::uint16_t kStatusOffset = 1;
constexpr std::uint16_t kControlOffset = 2;
constexpr std::uint16_t kLastOffset = 7;
constexpr std::uint8_t kFloatingBus = 0xFF;

// Tells the operator once why a port is refused (again only when the reason
// changes), so that a program retrying every cycle does not flood the output.
void refuse(Port& port, const std::string& node, const char* reason) {
    std::string text = node + ": " + reason;
    if (text == port.said) return;
    std::fprintf(stderr, "zdxusbcal: %s (%s) refused\n", port.name, text.c_str());
    port.said = std::move(text);
}

bool grant(Port& port, const std::string& node) {
    if (port.fd >= 0) return true;
    if (node.empty()) return false;
    const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        refuse(port, node, std::strerror(errno));
        return false;
    }
    // The lock keeps out every other user of this library; the exclusive
    // registration every other ppdev user. Neither waits.
    const char* reason = nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        reason = "held by another program";
    } else if (::ioctl(fd, PPEXCL) != 0 || ::ioctl(fd, PPCLAIM) != 0) {
        reason = "in use by another program or driver (e.g. the printer module lp)";
    }
    if (reason != nullptr) {
        ::close(fd);
        refuse(port, node, reason);
        return false;
    }
    port.fd = fd;
    port.said.clear();
    return true;
}

void withdraw(Port& port) {
    if (port.fd < 0) return;
    ::ioctl(port.fd, PPRELEASE);
    ::close(port.fd);
    port.fd = -1;
}

// The claimed port whose registers include `address`, with the register's offset.
Port* claimed_port(std::uint16_t address, std::uint16_t& offset) {
    for (Port& port : ports) {
        if (port.fd < 0) continue;
        if (address >= port.base && address <= port.base + kLastOffset) {
            offset = static_cast<std::uint16_t>(address - port.base);
            return &port;
        }
    }
    return nullptr;
}

}  // namespace

bool ppdev_open_driver() {
    const auto nodes = lpt_nodes(stderr);
    if (nodes[0].empty() && nodes[1].empty()) return false;
    ++driver_handles;
    return true;
}

void ppdev_close_driver() {
    if (driver_handles > 0 && --driver_handles > 0) return;
    for (Port& port : ports) withdraw(port);
}

bool ppdev_request(bool grant_access, std::uint32_t first, std::uint32_t last) {
    for (std::size_t i = 0; i < 2; ++i) {
        Port& port = ports[i];
        if (first == port.base && last == static_cast<std::uint32_t>(port.base + kLastOffset)) {
            if (!grant_access) {
                withdraw(port);
                return true;
            }
            return port.fd >= 0 || grant(port, lpt_nodes(stderr)[i]);
        }
        // The extended register is covered by the claim of its port.
        if (first == port.extended && last == port.extended) {
            return !grant_access || port.fd >= 0;
        }
    }
    return false;
}

std::uint8_t ppdev_in(std::uint16_t address) {
    std::uint16_t offset = 0;
    Port* port = claimed_port(address, offset);
    if (port == nullptr) return kFloatingBus;
    unsigned long request = 0;
    if (offset == 0) {
        request = PPRDATA;
    } else if (offset == kStatusOffset) {
        request = PPRSTATUS;
    } else if (offset == kControlOffset) {
        request = PPRCONTROL;
    } else {
        return kFloatingBus;
    }
    unsigned char value = kFloatingBus;
    if (::ioctl(port->fd, request, &value) != 0) return kFloatingBus;
    return value;
}

void ppdev_out(std::uint16_t address, std::uint8_t value) {
    std::uint16_t offset = 0;
    Port* port = claimed_port(address, offset);
    if (port == nullptr) return;
    unsigned char byte = value;
    if (offset == 0) {
        ::ioctl(port->fd, PPWDATA, &byte);
    } else if (offset == kControlOffset) {
        ::ioctl(port->fd, PPWCONTROL, &byte);
    }
}

}  // namespace zdx::linuxport
