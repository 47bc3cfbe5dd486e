#include "parallel_port.h"

namespace zdx {

namespace {

enum class Action { Open = 0, Close = 1 };

constexpr std::uint16_t kStatusOffset = 1;
constexpr std::uint16_t kControlOffset = 2;
constexpr std::uint16_t kLastOffset = 7;

void put_u32(std::uint8_t* block, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) block[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

const ParallelPort::Port& ParallelPort::port(int index) {
    static constexpr Port kPorts[2] = {{0x378, 0x77A}, {0x278, 0x67A}};
    return kPorts[index];
}

bool ParallelPort::request_ranges(std::uint32_t request, const Port& port) {
    if (driver_ == kInvalidHandle) return false;
    const std::uint16_t ranges[2][2] = {
        {port.base, static_cast<std::uint16_t>(port.base + kLastOffset)},
        {port.extended, port.extended}};
    for (const auto& range : ranges) {
        std::uint8_t block[kPortioRequestSize] = {};
        put_u32(block, request);
        put_u32(block + 4, range[0]);
        put_u32(block + 8, range[1]);
        std::uint32_t returned = 0;
        if (!ops_.device_control(driver_, kIoctlPortioAccess, block, kPortioRequestSize, nullptr, 0,
                                 &returned)) {
            return false;
        }
    }
    return true;
}

int ParallelPort::command(int action, int port_number) {
    open_port_ = 0;
    if (port_number != 0 && port_number != 1) return kLptBadPort;
    const Port& selected = port(port_number);

    if (ops_.os_family() == kPlatformNtFamily) {
        if (action == static_cast<int>(Action::Open)) {
            const PlatformHandle handle = ops_.open(kPortDriverPath, OpenMode::ReadOnlyShared);
            if (handle == kInvalidHandle) return kLptNoDriver;
            // The handle of an earlier open is replaced; closing it keeps a
            // program that retries its connection from piling up handles.
            if (driver_ != kInvalidHandle) ops_.close(driver_);
            driver_ = handle;
            if (!request_ranges(kPortioOpenAccess, selected)) return kLptRefused;
        } else if (action == static_cast<int>(Action::Close)) {
            if (!request_ranges(kPortioCloseAccess, selected)) return kLptRefused;
        }
    }
    if (action == static_cast<int>(Action::Open)) {
        open_port_ = static_cast<std::uint16_t>(port_number + 1);
    }
    return kOk;
}

int ParallelPort::registers(int function, int* value) {
    const bool write = function == 1 || function == 2;
    const int needed = write ? function : function - 2;
    if (open_port_ != needed) return kLptNotOpen;
    const Port& selected = port(needed - 1);
    if (write) {
        ops_.port_out(selected.base, static_cast<std::uint8_t>(*value & 0xFF));
        const std::uint32_t status = ops_.port_in(selected.base + kStatusOffset);
        const std::uint32_t data = ops_.port_in(selected.base);
        *value = static_cast<int>(status << 8 | data);
    } else {
        const std::uint32_t control = ops_.port_in(selected.base + kControlOffset);
        const std::uint32_t status = ops_.port_in(selected.base + kStatusOffset);
        const std::uint32_t data = ops_.port_in(selected.base);
        *value = static_cast<int>(control << 16 | status << 8 | data);
    }
    return kOk;
}

}  // namespace zdx
