#include "device_finder.h"

#include <cstring>

namespace zdx {

namespace {

// Releases the device-information set on every way out of a search.
class SetGuard {
  public:
    SetGuard(const PlatformOps& ops, DeviceInfoSet set) : ops_(ops), set_(set) {}
    ~SetGuard() {
        if (set_ != nullptr) ops_.destroy_set(set_);
    }
    SetGuard(const SetGuard&) = delete;
    SetGuard& operator=(const SetGuard&) = delete;

  private:
    const PlatformOps& ops_;
    DeviceInfoSet set_;
};

bool serial_matches(const DescriptorArea& area, const char* serial, std::size_t length) {
    const std::size_t count = descriptor_chars(area);
    if (count != length) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (static_cast<char>(area[2 + 2 * i]) != serial[i]) return false;
    }
    return true;
}

}  // namespace

PlatformHandle DeviceFinder::open_interface(DeviceInfoSet set, std::uint32_t index,
                                            char (&path)[kPathField]) {
    std::size_t required = 0;
    ops_.interface_path(set, kCalibratorClassGuid, index, nullptr, 0, &required);
    // A path that does not fit its field is never cut: a cut one would name
    // some other file.
    if (required == 0 || required > kPathField) return kInvalidHandle;
    if (!ops_.interface_path(set, kCalibratorClassGuid, index, path, kPathField, &required) ||
        std::memchr(path, '\0', kPathField) == nullptr) {
        path[0] = '\0';
        return kInvalidHandle;
    }
    return ops_.open(path, OpenMode::ReadWriteShared);
}

bool DeviceFinder::fetch_string(PlatformHandle handle, std::uint8_t index, DescriptorArea& area) {
    const StringRequest request = make_string_request(index);
    StringAnswer answer{};
    std::uint32_t returned = 0;
    if (!ops_.device_control(handle, kIoctlGetStringDescriptor, request.data(), kStringRequestSize,
                             answer.data(), kStringRequestSize, &returned)) {
        area.fill(0);
        return false;
    }
    return accept_string_answer(answer, returned, area);
}

bool DeviceFinder::fetch_serial(PlatformHandle handle, DescriptorArea& area) {
    // The driver fills the descriptor in place; zeroed so a short answer
    // leaves a defined serial index.
    std::uint8_t descriptor[kDeviceDescriptorSize] = {};
    std::uint32_t returned = 0;
    if (!ops_.device_control(handle, kIoctlGetDeviceDescriptor, descriptor, kDeviceDescriptorSize,
                             descriptor, kDeviceDescriptorSize, &returned)) {
        return false;
    }
    return fetch_string(handle, descriptor[kSerialIndexOffset], area);
}

int DeviceFinder::enumerate(DeviceRecord* records, int limit) {
    if (binding_.bind() != kOk) return kSetupMissing;
    DeviceInfoSet set = ops_.get_class_devs(kCalibratorClassGuid);
    if (set == nullptr) return 0;
    SetGuard guard(ops_, set);

    int filled = 0;
    for (int i = 0; i < limit; ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        if (ops_.enum_interface(set, kCalibratorClassGuid, index) != 0) break;
        DeviceRecord& record = records[i];
        std::memset(&record, 0, sizeof record);
        const PlatformHandle handle = open_interface(set, index, record.path);
        if (handle == kInvalidHandle) break;
        DescriptorArea area{};
        const bool ok = fetch_serial(handle, area);
        if (ok) descriptor_to_text(area, record.serial, kMaxSerialChars);
        ops_.close(handle);
        if (!ok) break;
        filled = i + 1;
    }
    return filled;
}

bool DeviceFinder::find_and_open(const char* serial, OpenDevice* device) {
    device->handle = kInvalidHandle;
    if (binding_.bind() != kOk) return false;
    // The caller's text is read up to its NUL and never past the serial
    // field's 255 bytes: a text without a NUL there names no device.
    std::size_t serial_length = 0;
    if (serial != nullptr) {
        const void* end = std::memchr(serial, '\0', kSerialField);
        if (end == nullptr) return false;
        serial_length = static_cast<std::size_t>(static_cast<const char*>(end) - serial);
    }
    DeviceInfoSet set = ops_.get_class_devs(kCalibratorClassGuid);
    if (set == nullptr) return false;
    SetGuard guard(ops_, set);

    for (std::uint32_t index = 0; index < kSearchIndexLimit; ++index) {
        const std::uint32_t error = ops_.enum_interface(set, kCalibratorClassGuid, index);
        if (error == kErrorNoMoreItems) return false;
        if (error != 0) continue;
        const PlatformHandle handle = open_interface(set, index, device->path);
        if (handle == kInvalidHandle) return false;
        if (serial == nullptr) {
            device->handle = handle;
            return true;
        }
        DescriptorArea area{};
        if (!fetch_serial(handle, area)) {
            ops_.close(handle);
            return false;
        }
        if (serial_matches(area, serial, serial_length)) {
            device->handle = handle;
            return true;
        }
        ops_.close(handle);
    }
    return false;
}

}  // namespace zdx
