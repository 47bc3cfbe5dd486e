#include "ppdev_ports.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace zdx::linuxport {

namespace {

struct Port {
    std::uint16_t base;
    std::uint16_t extended;
    int fd = -1;  // the claimed ppdev node, or -1
};

Port ports[2] = {{0x378, 0x77A}, {0x278, 0x67A}};

constexpr std::uint16_t kStatusOffset = 1;
constexpr std::uint16_t kControlOffset = 2;
constexpr std::uint16_t kLastOffset = 7;
constexpr int kMaxParports = 8;
constexpr std::uint8_t kFloatingBus = 0xFF;

// The number N of parportN whose base address is `base`, or -1.
int parport_number(std::uint16_t base) {
    for (int n = 0; n < kMaxParports; ++n) {
        const std::string file = "/proc/sys/dev/parport/parport" + std::to_string(n) + "/base-addr";
        std::FILE* in = std::fopen(file.c_str(), "re");
        if (in == nullptr) continue;
        unsigned long value = 0;
        const bool read = std::fscanf(in, "%lu", &value) == 1;
        std::fclose(in);
        if (read && value == base) return n;
    }
    return -1;
}

std::string node_of(int number) {
    return "/dev/parport" + std::to_string(number);
}

bool node_exists(std::uint16_t base) {
    const int number = parport_number(base);
    return number >= 0 && ::access(node_of(number).c_str(), F_OK) == 0;
}

bool grant(Port& port) {
    if (port.fd >= 0) return true;
    const int number = parport_number(port.base);
    if (number < 0) return false;
    const int fd = ::open(node_of(number).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    if (::ioctl(fd, PPCLAIM) != 0) {
        ::close(fd);
        return false;
    }
    port.fd = fd;
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

bool ppdev_present() {
    return node_exists(ports[0].base) || node_exists(ports[1].base);
}

bool ppdev_request(bool grant_access, std::uint32_t first, std::uint32_t last) {
    for (Port& port : ports) {
        if (first == port.base && last == static_cast<std::uint32_t>(port.base + kLastOffset)) {
            if (!grant_access) {
                withdraw(port);
                return true;
            }
            return grant(port);
        }
        // The extended register is covered by the claim of its port.
        if (first == port.extended && last == port.extended) {
            return !grant_access || port.fd >= 0;
        }
    }
    return false;
}

void ppdev_release_all() {
    for (Port& port : ports) withdraw(port);
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
