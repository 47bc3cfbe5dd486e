#include "usb_device_info.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace zdx {

namespace {

int capacity_rule(int requested, int largest) {
    return (requested >= 1 && requested <= largest) ? requested : largest;
}

void fetch_into(DeviceFinder& finder, PlatformHandle handle, std::uint8_t index, char* text,
                int* length, int capacity) {
    DescriptorArea area{};
    if (finder.fetch_string(handle, index, area)) {
        *length =
            static_cast<int>(descriptor_to_text(area, text, static_cast<std::size_t>(capacity)));
    }
}

}  // namespace

bool UsbDeviceInfo::take_filter(const char* text, char (&field)[kFilterField]) {
    const void* end = std::memchr(text, '\0', kFilterField);
    field[0] = '\0';
    if (end == nullptr) return false;
    std::memcpy(field, text, static_cast<std::size_t>(static_cast<const char*>(end) - text) + 1);
    return true;
}

void UsbDeviceInfo::clear_outputs(const DeviceInfoArgs& args) {
    args.serial[0] = '\0';
    args.string4[0] = '\0';
    args.string5[0] = '\0';
    args.string6[0] = '\0';
    *args.serial_length = 0;
    *args.string4_length = 0;
    *args.string5_length = 0;
    *args.string6_length = 0;
}

void UsbDeviceInfo::describe(const DeviceInfoArgs& args, const DeviceRecord& record) {
    const std::size_t available = std::strlen(record.serial);
    const std::size_t count = std::min(available, static_cast<std::size_t>(serial_capacity_));
    std::memcpy(args.serial, record.serial, count);
    args.serial[count] = '\0';
    *args.serial_length = static_cast<int>(count);

    // The device is looked up by the (possibly cut) text the caller now holds.
    OpenDevice device;
    if (!finder_.find_and_open(args.serial, &device)) return;
    fetch_into(finder_, device.handle, kStringIndex4, args.string4, args.string4_length,
               string4_capacity_);
    fetch_into(finder_, device.handle, kStringIndex5, args.string5, args.string5_length,
               string5_capacity_);
    fetch_into(finder_, device.handle, kStringIndex6, args.string6, args.string6_length,
               string6_capacity_);
    finder_.close(device.handle);
}

int UsbDeviceInfo::run(const DeviceInfoArgs& args) {
    if (args.device_count == nullptr || args.serial == nullptr || args.serial_length == nullptr ||
        args.string4 == nullptr || args.string4_length == nullptr || args.string5 == nullptr ||
        args.string5_length == nullptr || args.string6 == nullptr ||
        args.string6_length == nullptr) {
        return kInfoFailed;
    }
    // Both filters are taken before arguments 2 and 8 are emptied.
    const bool filters_fit =
        take_filter(args.serial, serial_filter_) && take_filter(args.string6, ident_filter_);

    serial_capacity_ = capacity_rule(*args.serial_length, kSerialCapacity);
    string4_capacity_ = capacity_rule(*args.string4_length, kStringCapacity);
    string5_capacity_ = capacity_rule(*args.string5_length, kStringCapacity);
    string6_capacity_ = capacity_rule(*args.string6_length, kStringCapacity);
    clear_outputs(args);
    *args.device_count = 0;

    int found = 0;
    {
        std::unique_ptr<DeviceRecord[]> scratch(new (std::nothrow) DeviceRecord[kMaxDevices]);
        if (!scratch) return kInfoFailed;
        found = finder_.enumerate(scratch.get(), kMaxDevices);
    }
    *args.device_count = found;
    if (found == kSetupMissing) return kInfoFailed;

    std::unique_ptr<DeviceRecord[]> records(
        new (std::nothrow) DeviceRecord[static_cast<std::size_t>(std::max(found, 1))]);
    if (!records) return kInfoFailed;
    const int count = finder_.enumerate(records.get(), found);
    *args.device_count = count;
    if (count <= 0 || !filters_fit) return kInfoNoDevice;

    int cursor = 0;
    for (int remaining = count; remaining > 0 && cursor < count; --remaining, ++cursor) {
        clear_outputs(args);
        if (serial_filter_[0] != '\0') {
            while (cursor < count &&
                   std::strstr(records[cursor].serial, serial_filter_) == nullptr) {
                ++cursor;
            }
            if (cursor == count) return kInfoNoDevice;
        }
        describe(args, records[cursor]);
        if (ident_filter_[0] == '\0' || std::strstr(args.string6, ident_filter_) != nullptr) {
            return kOk;
        }
    }
    clear_outputs(args);
    return kInfoNoDevice;
}

}  // namespace zdx
