#include "libusb_entries.h"

#include <dlfcn.h>

#include <cstdlib>

namespace zdx::linuxusb {

namespace {

template <typename Fn>
bool take(void* module, const char* name, Fn& entry) {
    entry = reinterpret_cast<Fn>(::dlsym(module, name));
    return entry != nullptr;
}

}  // namespace

const char* libusb_file() {
    const char* file = ::secure_getenv("ZDXUSBCAL_LIBUSB");
    return file != nullptr && file[0] != '\0' ? file : "libusb-1.0.so.0";
}

bool load_libusb(LibusbEntries& e) {
    // Never unloaded: the binding lasts for the life of the process.
    void* module = ::dlopen(libusb_file(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return false;
    const bool complete =
        take(module, "libusb_init", e.init) &&
        take(module, "libusb_get_device_list", e.get_device_list) &&
        take(module, "libusb_free_device_list", e.free_device_list) &&
        take(module, "libusb_get_device_descriptor", e.get_device_descriptor) &&
        take(module, "libusb_get_bus_number", e.get_bus_number) &&
        take(module, "libusb_get_port_numbers", e.get_port_numbers) &&
        take(module, "libusb_get_device_address", e.get_device_address) &&
        take(module, "libusb_get_device", e.get_device) && take(module, "libusb_open", e.open) &&
        take(module, "libusb_close", e.close) &&
        take(module, "libusb_control_transfer", e.control_transfer) &&
        take(module, "libusb_bulk_transfer", e.bulk_transfer) &&
        take(module, "libusb_get_active_config_descriptor", e.get_active_config_descriptor) &&
        take(module, "libusb_free_config_descriptor", e.free_config_descriptor) &&
        take(module, "libusb_claim_interface", e.claim_interface) &&
        take(module, "libusb_release_interface", e.release_interface) &&
        take(module, "libusb_kernel_driver_active", e.kernel_driver_active) &&
        take(module, "libusb_detach_kernel_driver", e.detach_kernel_driver) &&
        take(module, "libusb_attach_kernel_driver", e.attach_kernel_driver) &&
        take(module, "libusb_clear_halt", e.clear_halt) &&
        take(module, "libusb_error_name", e.error_name);
    if (!complete) {
        e = LibusbEntries{};
        return false;
    }
    if (e.init(&e.context) != LIBUSB_SUCCESS) e.context = nullptr;
    return true;
}

LibusbEntries& libusb() {
    static LibusbEntries entries;
    return entries;
}

}  // namespace zdx::linuxusb
