// libusb-1.0, the setup library of this backend: loaded by name at run time
// and reached only through the entry points taken here.
#pragma once

#include <libusb.h>

namespace zdx::linuxusb {

struct LibusbEntries {
    decltype(&libusb_init) init = nullptr;
    decltype(&libusb_get_device_list) get_device_list = nullptr;
    decltype(&libusb_free_device_list) free_device_list = nullptr;
    decltype(&libusb_get_device_descriptor) get_device_descriptor = nullptr;
    decltype(&libusb_get_bus_number) get_bus_number = nullptr;
    decltype(&libusb_get_port_numbers) get_port_numbers = nullptr;
    decltype(&libusb_get_device_address) get_device_address = nullptr;
    decltype(&libusb_get_device) get_device = nullptr;
    decltype(&libusb_open) open = nullptr;
    decltype(&libusb_close) close = nullptr;
    decltype(&libusb_control_transfer) control_transfer = nullptr;
    decltype(&libusb_bulk_transfer) bulk_transfer = nullptr;
    decltype(&libusb_get_active_config_descriptor) get_active_config_descriptor = nullptr;
    decltype(&libusb_free_config_descriptor) free_config_descriptor = nullptr;
    decltype(&libusb_claim_interface) claim_interface = nullptr;
    decltype(&libusb_release_interface) release_interface = nullptr;
    decltype(&libusb_kernel_driver_active) kernel_driver_active = nullptr;
    decltype(&libusb_detach_kernel_driver) detach_kernel_driver = nullptr;
    decltype(&libusb_attach_kernel_driver) attach_kernel_driver = nullptr;
    decltype(&libusb_clear_halt) clear_halt = nullptr;
    decltype(&libusb_error_name) error_name = nullptr;

    // The context of this process; null when libusb found no USB system
    // (a machine without usbfs): there are then no devices to list.
    libusb_context* context = nullptr;
};

// The library file loaded: ZDXUSBCAL_LIBUSB when set (and the program runs
// with its user's own rights), else libusb's soname.
const char* libusb_file();

// Loads libusb and takes every entry point. False when the library or any
// entry point is missing; nothing is then usable.
bool load_libusb(LibusbEntries& entries);

// The entries of this process (filled by load_libusb at binding).
LibusbEntries& libusb();

}  // namespace zdx::linuxusb
