#include "null_backend.h"

#include <chrono>

namespace zdx {

namespace {

bool null_bind_setup() {
    return false;
}

DeviceInfoSet null_get_class_devs(const std::uint8_t*) {
    return nullptr;
}

std::uint32_t null_enum_interface(DeviceInfoSet, const std::uint8_t*, std::uint32_t) {
    return kErrorNoMoreItems;
}

bool null_interface_path(DeviceInfoSet, const std::uint8_t*, std::uint32_t, char*, std::size_t,
                         std::size_t* required) {
    *required = 0;
    return false;
}

void null_destroy_set(DeviceInfoSet) {}

PlatformHandle null_open(const char*, OpenMode) {
    return kInvalidHandle;
}

bool null_device_control(PlatformHandle, std::uint32_t, const void*, std::uint32_t, void*,
                         std::uint32_t, std::uint32_t* returned) {
    *returned = 0;
    return false;
}

bool null_read(PlatformHandle, void*, std::uint32_t, std::uint32_t* got) {
    *got = 0;
    return false;
}

bool null_write(PlatformHandle, const void*, std::uint32_t, std::uint32_t* written) {
    *written = 0;
    return false;
}

int null_close(PlatformHandle) {
    return 0;
}

std::uint32_t null_clock_ms() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::uint32_t null_os_family() {
    return kPlatformNtFamily;
}

// No port is reachable: reads give what a floating bus gives.
std::uint8_t null_port_in(std::uint16_t) {
    return 0xFF;
}

void null_port_out(std::uint16_t, std::uint8_t) {}

constexpr PlatformOps kNullOps = {
    .name = "null",
    .bind_setup = null_bind_setup,
    .get_class_devs = null_get_class_devs,
    .enum_interface = null_enum_interface,
    .interface_path = null_interface_path,
    .destroy_set = null_destroy_set,
    .open = null_open,
    .device_control = null_device_control,
    .read = null_read,
    .write = null_write,
    .close = null_close,
    .clock_ms = null_clock_ms,
    .os_family = null_os_family,
    .port_in = null_port_in,
    .port_out = null_port_out,
};

}  // namespace

const PlatformOps& null_platform() {
    return kNullOps;
}

}  // namespace zdx
