#include "win32_backend.h"

// windows.h first: the other two rely on its types.
#include <windows.h>

#include <mmsystem.h>
#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace zdx {

namespace {

// Flags of SetupDiGetClassDevsA: present devices only, device interfaces.
constexpr DWORD kClassDevsFlags = 0x12;
// Size field of the interface-detail block: its fixed part, 5 bytes for
// 32-bit callers and 8 for 64-bit ones.
constexpr DWORD kDetailFixedSize = sizeof(void*) == 8 ? 8 : 5;
// The size field that the version query expects (OSVERSIONINFOA).
constexpr DWORD kVersionInfoSize = 148;

using GetDeviceInterfaceDetailFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                 PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD, PDWORD,
                                                 PSP_DEVINFO_DATA);
using GetClassDevsFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using DestroyDeviceInfoListFn = BOOL(WINAPI*)(HDEVINFO);
using EnumDeviceInterfacesFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD,
                                             PSP_DEVICE_INTERFACE_DATA);

struct SetupEntries {
    GetDeviceInterfaceDetailFn get_detail = nullptr;
    GetClassDevsFn get_class_devs = nullptr;
    DestroyDeviceInfoListFn destroy_list = nullptr;
    EnumDeviceInterfacesFn enum_interfaces = nullptr;
};
SetupEntries win32_setup;

template <typename Fn>
bool win32_entry(HMODULE module, const char* name, Fn* entry) {
    // GetProcAddress hands back a generic pointer; the entry's own type is known.
    *entry = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    return *entry != nullptr;
}

GUID win32_guid(const std::uint8_t* record) {
    GUID guid;
    static_assert(sizeof guid == 16);
    std::memcpy(&guid, record, sizeof guid);
    return guid;
}

HANDLE win32_handle(PlatformHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool win32_bind_setup() {
    HMODULE module = LoadLibraryA("SETUPAPI.DLL");
    if (module == nullptr) return false;
    return win32_entry(module, "SetupDiGetDeviceInterfaceDetailA", &win32_setup.get_detail) &&
           win32_entry(module, "SetupDiGetClassDevsA", &win32_setup.get_class_devs) &&
           win32_entry(module, "SetupDiDestroyDeviceInfoList", &win32_setup.destroy_list) &&
           win32_entry(module, "SetupDiEnumDeviceInterfaces", &win32_setup.enum_interfaces);
}

DeviceInfoSet win32_get_class_devs(const std::uint8_t* guid_record) {
    const GUID guid = win32_guid(guid_record);
    HDEVINFO set = win32_setup.get_class_devs(&guid, nullptr, nullptr, kClassDevsFlags);
    return set == INVALID_HANDLE_VALUE ? nullptr : set;
}

bool win32_interface(DeviceInfoSet set, const std::uint8_t* guid_record, std::uint32_t index,
                     SP_DEVICE_INTERFACE_DATA* data) {
    const GUID guid = win32_guid(guid_record);
    std::memset(data, 0, sizeof *data);
    data->cbSize = sizeof *data;
    return win32_setup.enum_interfaces(set, nullptr, &guid, index, data) != FALSE;
}

std::uint32_t win32_enum_interface(DeviceInfoSet set, const std::uint8_t* guid_record,
                                   std::uint32_t index) {
    SP_DEVICE_INTERFACE_DATA data;
    if (win32_interface(set, guid_record, index, &data)) return 0;
    const DWORD error = GetLastError();
    return error == 0 ? ERROR_GEN_FAILURE : error;
}

bool win32_interface_path(DeviceInfoSet set, const std::uint8_t* guid_record, std::uint32_t index,
                          char* path, std::size_t capacity, std::size_t* required) {
    constexpr std::size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    *required = 0;
    SP_DEVICE_INTERFACE_DATA data;
    if (!win32_interface(set, guid_record, index, &data)) return false;
    DWORD detail_size = 0;
    win32_setup.get_detail(set, &data, nullptr, 0, &detail_size, nullptr);
    if (detail_size <= kPathOffset) return false;
    *required = detail_size - kPathOffset;
    if (path == nullptr || capacity < *required) return false;

    std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[detail_size]);
    if (!block) return false;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.get());
    detail->cbSize = kDetailFixedSize;
    if (!win32_setup.get_detail(set, &data, detail, detail_size, nullptr, nullptr)) return false;
    std::memcpy(path, detail->DevicePath, *required);
    path[*required - 1] = '\0';
    return true;
}

void win32_destroy_set(DeviceInfoSet set) {
    win32_setup.destroy_list(set);
}

PlatformHandle win32_open(const char* path, OpenMode mode) {
    const bool read_only = mode == OpenMode::ReadOnlyShared;
    const DWORD access = read_only ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = read_only ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE handle = CreateFileA(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return kInvalidHandle;
    return reinterpret_cast<PlatformHandle>(handle);
}

bool win32_device_control(PlatformHandle handle, std::uint32_t code, const void* in,
                          std::uint32_t in_size, void* out, std::uint32_t out_size,
                          std::uint32_t* returned) {
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(win32_handle(handle), code, const_cast<void*>(in), in_size, out,
                                    out_size, &got, nullptr);
    *returned = got;
    return ok != FALSE;
}

bool win32_read(PlatformHandle handle, void* buffer, std::uint32_t size, std::uint32_t* got) {
    DWORD count = 0;
    const BOOL ok = ReadFile(win32_handle(handle), buffer, size, &count, nullptr);
    *got = count;
    return ok != FALSE;
}

bool win32_write(PlatformHandle handle, const void* data, std::uint32_t size,
                 std::uint32_t* written) {
    DWORD count = 0;
    const BOOL ok = WriteFile(win32_handle(handle), data, size, &count, nullptr);
    *written = count;
    return ok != FALSE;
}

int win32_close(PlatformHandle handle) {
    return CloseHandle(win32_handle(handle)) ? 1 : 0;
}

std::uint32_t win32_clock_ms() {
    return timeGetTime();
}

std::uint32_t win32_os_family() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = kVersionInfoSize;
    if (!GetVersionExA(&info)) return 0;
    return info.dwPlatformId;
}

constexpr PlatformOps kWin32Ops = {
    .name = "win32",
    .bind_setup = win32_bind_setup,
    .get_class_devs = win32_get_class_devs,
    .enum_interface = win32_enum_interface,
    .interface_path = win32_interface_path,
    .destroy_set = win32_destroy_set,
    .open = win32_open,
    .device_control = win32_device_control,
    .read = win32_read,
    .write = win32_write,
    .close = win32_close,
    .clock_ms = win32_clock_ms,
    .os_family = win32_os_family,
    .port_in = win32_port_in,
    .port_out = win32_port_out,
};

}  // namespace

const PlatformOps& win32_platform() {
    return kWin32Ops;
}

}  // namespace zdx
