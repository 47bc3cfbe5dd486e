// Finding calibrators among the device interfaces of their class: the
// enumeration into DeviceRecords, the search by exact serial number, and the
// string-descriptor fetch that both of them and GetUSBDeviceInfo use.
#pragma once

#include <cstdint>

#include "constants.h"
#include "platform.h"
#include "setup_binding.h"
#include "string_descriptor.h"

namespace zdx {

// One device found by an enumeration (510 bytes).
struct DeviceRecord {
    char serial[kSerialField];  // at most 254 characters, NUL-terminated
    char path[kPathField];      // the interface path, NUL-terminated
};
static_assert(sizeof(DeviceRecord) == 510);

// A device opened by find_and_open.
struct OpenDevice {
    PlatformHandle handle = kInvalidHandle;
    char path[kPathField] = {};
};

class DeviceFinder {
  public:
    DeviceFinder(const PlatformOps& ops, SetupBinding& binding) : ops_(ops), binding_(binding) {}

    // Fills at most `limit` records; the first device that fails any step ends
    // the enumeration. Returns the number filled, or kSetupMissing.
    int enumerate(DeviceRecord* records, int limit);

    // Opens the device whose serial number equals `serial` exactly, or the
    // first device when `serial` is null. `serial` is read up to its NUL,
    // at most kSerialField bytes; without a NUL there no device is found.
    // The caller closes device->handle.
    bool find_and_open(const char* serial, OpenDevice* device);

    // Fetches string descriptor `index` of an open device.
    bool fetch_string(PlatformHandle handle, std::uint8_t index, DescriptorArea& area);

    void close(PlatformHandle handle) { ops_.close(handle); }

    // Upper bound on interface indices tried by find_and_open while the
    // platform reports errors other than "no more items".
    static constexpr std::uint32_t kSearchIndexLimit = 4096;

  private:
    // Gets the path of interface `index` into `path` and opens it. A path that
    // does not fit the 255-byte field counts as a device that cannot be opened.
    PlatformHandle open_interface(DeviceInfoSet set, std::uint32_t index, char (&path)[kPathField]);
    bool fetch_serial(PlatformHandle handle, DescriptorArea& area);

    const PlatformOps& ops_;
    SetupBinding& binding_;
};

}  // namespace zdx
