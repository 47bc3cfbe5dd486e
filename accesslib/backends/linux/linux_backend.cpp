// The seam's operations on Linux. A handle is one of three kinds of open
// object: a calibrator (answers the two descriptor requests), one of its
// pipes, or the port I/O driver (ppdev).
#include "linux_backend.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "../../src/constants.h"
#include "ppdev_ports.h"
#include "usb_devices.h"

namespace zdx {

namespace {

enum class Kind { Device, Pipe, PortDriver };

struct LinuxObject {
    Kind kind;
    linuxusb::UsbDevice* device = nullptr;
    linuxusb::UsbPipe* pipe = nullptr;
};

LinuxObject* as_object(PlatformHandle handle) {
    return reinterpret_cast<LinuxObject*>(handle);
}

PlatformHandle as_handle(LinuxObject* object) {
    return reinterpret_cast<PlatformHandle>(object);
}

struct LinuxDeviceSet {
    std::vector<std::string> paths;
};

bool linux_bind_setup() {
    return linuxusb::usb_bind(stderr);
}

DeviceInfoSet linux_get_class_devs(const std::uint8_t*) {
    auto* set = new (std::nothrow) LinuxDeviceSet;
    if (set == nullptr) return nullptr;
    try {
        if (!linuxusb::usb_list_paths(set->paths)) {
            delete set;
            return nullptr;
        }
    } catch (const std::bad_alloc&) {
        delete set;
        return nullptr;
    }
    return set;
}

std::uint32_t linux_enum_interface(DeviceInfoSet set, const std::uint8_t*, std::uint32_t index) {
    constexpr std::uint32_t kErrorInvalidHandle = 6;
    if (set == nullptr) return kErrorInvalidHandle;
    return index < static_cast<LinuxDeviceSet*>(set)->paths.size() ? 0 : kErrorNoMoreItems;
}

bool linux_interface_path(DeviceInfoSet set, const std::uint8_t*, std::uint32_t index, char* path,
                          std::size_t capacity, std::size_t* required) {
    const auto* devices = static_cast<LinuxDeviceSet*>(set);
    if (devices == nullptr || index >= devices->paths.size()) return false;
    const std::string& text = devices->paths[index];
    if (required != nullptr) *required = text.size() + 1;
    if (path == nullptr || capacity < text.size() + 1) return false;
    std::memcpy(path, text.c_str(), text.size() + 1);
    return true;
}

void linux_destroy_set(DeviceInfoSet set) {
    delete static_cast<LinuxDeviceSet*>(set);
}

PlatformHandle open_pipe(const std::string& device_path, const std::string& name) {
    const bool answer = name == kAnswerPipe;
    if (!answer && name != kCommandPipe) return kInvalidHandle;
    linuxusb::UsbPipe* pipe = linuxusb::usb_open_pipe(device_path, answer);
    if (pipe == nullptr) return kInvalidHandle;
    auto* object = new (std::nothrow) LinuxObject{Kind::Pipe, nullptr, pipe};
    if (object == nullptr) linuxusb::usb_close_pipe(pipe);
    return as_handle(object);
}

PlatformHandle linux_open(const char* path, OpenMode) {
    try {
        const std::string text(path);
        if (text == kPortDriverPath) {
            auto* driver = new (std::nothrow) LinuxObject{Kind::PortDriver};
            if (driver != nullptr && !linuxport::ppdev_open_driver()) {
                delete driver;
                return kInvalidHandle;
            }
            return as_handle(driver);
        }
        const std::size_t separator = text.rfind('\\');
        if (separator != std::string::npos) {
            return open_pipe(text.substr(0, separator), text.substr(separator + 1));
        }
        linuxusb::UsbDevice* device = linuxusb::usb_open_device(text);
        if (device == nullptr) return kInvalidHandle;
        auto* object = new (std::nothrow) LinuxObject{Kind::Device, device, nullptr};
        if (object == nullptr) linuxusb::usb_close_device(device);
        return as_handle(object);
    } catch (const std::bad_alloc&) {
        return kInvalidHandle;
    }
}

std::uint32_t read_u32(const void* block, std::size_t offset) {
    const auto* bytes = static_cast<const std::uint8_t*>(block) + offset;
    return static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                      static_cast<std::uint32_t>(bytes[3]) << 24);
}

bool port_request(const void* in, std::uint32_t in_size) {
    if (in == nullptr || in_size < kPortioRequestSize) return false;
    const std::uint32_t request = read_u32(in, 0);
    if (request != kPortioOpenAccess && request != kPortioCloseAccess) return false;
    return linuxport::ppdev_request(request == kPortioOpenAccess, read_u32(in, 4), read_u32(in, 8));
}

bool linux_device_control(PlatformHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t in_size, void* out, std::uint32_t out_size,
                          std::uint32_t* returned) {
    *returned = 0;
    LinuxObject* object = as_object(handle);
    if (object == nullptr) return false;
    if (object->kind == Kind::Device) {
        return linuxusb::usb_device_control(object->device, code, in, in_size, out, out_size,
                                            returned);
    }
    if (object->kind == Kind::PortDriver && code == kIoctlPortioAccess) {
        return port_request(in, in_size);
    }
    return false;
}

bool linux_read(PlatformHandle handle, void* buffer, std::uint32_t size, std::uint32_t* got) {
    *got = 0;
    LinuxObject* object = as_object(handle);
    if (object == nullptr || object->kind != Kind::Pipe) return false;
    return linuxusb::usb_read(object->pipe, buffer, size, got);
}

bool linux_write(PlatformHandle handle, const void* data, std::uint32_t size,
                 std::uint32_t* written) {
    *written = 0;
    LinuxObject* object = as_object(handle);
    if (object == nullptr || object->kind != Kind::Pipe) return false;
    return linuxusb::usb_write(object->pipe, data, size, written);
}

int linux_close(PlatformHandle handle) {
    LinuxObject* object = as_object(handle);
    if (object == nullptr) return 0;
    switch (object->kind) {
        case Kind::Device:
            linuxusb::usb_close_device(object->device);
            break;
        case Kind::Pipe:
            linuxusb::usb_close_pipe(object->pipe);
            break;
        case Kind::PortDriver:
            linuxport::ppdev_close_driver();
            break;
    }
    delete object;
    return 1;
}

std::uint32_t linux_clock_ms() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

// The NT family: only there does the library ask the port I/O driver to grant
// and withdraw a port's ranges, and those requests are where ppdev claims and
// releases the port and where a missing node or a refusal is reported.
std::uint32_t linux_os_family() {
    return kPlatformNtFamily;
}

const PlatformOps kLinuxOps = {
    .name = "linux",
    .bind_setup = linux_bind_setup,
    .get_class_devs = linux_get_class_devs,
    .enum_interface = linux_enum_interface,
    .interface_path = linux_interface_path,
    .destroy_set = linux_destroy_set,
    .open = linux_open,
    .device_control = linux_device_control,
    .read = linux_read,
    .write = linux_write,
    .close = linux_close,
    .clock_ms = linux_clock_ms,
    .os_family = linux_os_family,
    .port_in = linuxport::ppdev_in,
    .port_out = linuxport::ppdev_out,
};

}  // namespace

const PlatformOps& linux_platform() {
    return kLinuxOps;
}

}  // namespace zdx
