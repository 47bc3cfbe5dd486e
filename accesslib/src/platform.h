// The one seam between the access library's core and the operating system.
//
// The core reaches the OS only through a PlatformOps table; every backend
// (bench/, linux/, win32/, null/) fills one. The contract of each operation is written
// beside it. No OS header is included by the core or by this file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zdx {

// An open file, device or pipe of the backend. 0 is never a valid handle.
using PlatformHandle = std::uintptr_t;
inline constexpr PlatformHandle kInvalidHandle = 0;

// An opaque device-information set of one interface class.
using DeviceInfoSet = void*;

// Platform error for "no more items" when enumerating interfaces.
inline constexpr std::uint32_t kErrorNoMoreItems = 259;

// The platform identifier of the NT family, as the version query reports it.
inline constexpr std::uint32_t kPlatformNtFamily = 2;

enum class OpenMode {
    // read and write access, read and write sharing, existing file only
    ReadWriteShared,
    // read access, read sharing, existing file only (the port I/O driver)
    ReadOnlyShared,
};

struct PlatformOps {
    const char* name;

    // Loads the setup library and takes its four entry points.
    // Returns true when all of them were found. Called at most once per process.
    bool (*bind_setup)();

    // The present device interfaces of the class with this 16-byte GUID record.
    // Returns nullptr when the set cannot be obtained.
    DeviceInfoSet (*get_class_devs)(const std::uint8_t* guid);

    // Enumerates interface `index` of the set. Returns 0 when it exists,
    // kErrorNoMoreItems past the end, any other value for another failure.
    std::uint32_t (*enum_interface)(DeviceInfoSet set, const std::uint8_t* guid,
                                    std::uint32_t index);

    // The device path of interface `index`, in the usual two calls: with
    // capacity 0 it only stores the size needed (NUL included) in *required and
    // returns false; with a buffer of at least that size it copies the
    // NUL-terminated path and returns true. Returns false on any failure.
    bool (*interface_path)(DeviceInfoSet set, const std::uint8_t* guid, std::uint32_t index,
                           char* path, std::size_t capacity, std::size_t* required);

    // Releases a set from get_class_devs.
    void (*destroy_set)(DeviceInfoSet set);

    // Opens a path (device interface, pipe, or the port I/O driver).
    // Returns kInvalidHandle on failure.
    PlatformHandle (*open)(const char* path, OpenMode mode);

    // Sends a buffered device-control request. Returns true on success and
    // stores the number of bytes written to `out` in *returned.
    bool (*device_control)(PlatformHandle handle, std::uint32_t code, const void* in,
                           std::uint32_t in_size, void* out, std::uint32_t out_size,
                           std::uint32_t* returned);

    // One synchronous read of at most `size` bytes; it returns what has arrived
    // (possibly nothing). Returns false when the read is refused.
    bool (*read)(PlatformHandle handle, void* buffer, std::uint32_t size, std::uint32_t* got);

    // One synchronous write. Returns false when refused; *written may be short.
    bool (*write)(PlatformHandle handle, const void* data, std::uint32_t size,
                  std::uint32_t* written);

    // Closes a handle. Returns nonzero on success.
    int (*close)(PlatformHandle handle);

    // Milliseconds of a free-running clock that wraps at 2^32.
    std::uint32_t (*clock_ms)();

    // The platform identifier of the version query (kPlatformNtFamily or other).
    std::uint32_t (*os_family)();

    // Byte-wide processor port input and output.
    std::uint8_t (*port_in)(std::uint16_t address);
    void (*port_out)(std::uint16_t address, std::uint8_t value);
};

// The backend of this process, chosen once at its first use: the virtual bench
// when ZDXUSBCAL_BENCH names a bench socket, else the native one of the OS
// (or the null backend, whose setup library cannot be bound).
const PlatformOps& selected_platform();

}  // namespace zdx
