// The calibrators on USB through libusb: the interface set, the device
// handles that answer the two descriptor requests, and the pipes.
//
// A device's interface path is the text of its location, "usb:" bus "-" the
// port chain ("usb:1-2.3"): stable while it stays plugged into that port.
// "<path>\PIPE01" is its bulk OUT endpoint, "<path>\PIPE00" its bulk IN
// endpoint, both on its vendor-specific interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../../src/platform.h"
#include "calibrator_ids.h"

namespace zdx::linuxusb {

// Binds libusb and reads the ID list. False when libusb cannot be bound.
bool usb_bind(std::FILE* messages);

// Paths of the calibrators present now, in the order of their locations;
// one that cannot be opened (no access, gone) is left out and reported once
// on standard error. Returns false when no list can be obtained.
bool usb_list_paths(std::vector<std::string>& paths);

// An open calibrator: answers the descriptor requests.
struct UsbDevice;
UsbDevice* usb_open_device(const std::string& path);
void usb_close_device(UsbDevice* device);
bool usb_device_control(UsbDevice* device, std::uint32_t code, const void* in,
                        std::uint32_t in_size, void* out, std::uint32_t out_size,
                        std::uint32_t* returned);

// One pipe of a calibrator. The pipes of one device share one claimed
// interface, released when the last of them closes. A kernel driver bound to
// the interface is detached at the first claim and gets it back only when the
// library is unloaded. A stalled endpoint is cleared and the transfer made
// once more; a write that fills its last packet is followed by a zero-length
// packet.
struct UsbPipe;
UsbPipe* usb_open_pipe(const std::string& path, bool answer_pipe);
void usb_close_pipe(UsbPipe* pipe);
bool usb_read(UsbPipe* pipe, void* buffer, std::uint32_t size, std::uint32_t* got);
bool usb_write(UsbPipe* pipe, const void* data, std::uint32_t size, std::uint32_t* written);

// A read waits this long for data and returns what has arrived by then.
inline constexpr unsigned kPipeReadWaitMs = 20;
// A write that the device does not take within this time is cut short.
inline constexpr unsigned kPipeWriteWaitMs = 40;

}  // namespace zdx::linuxusb
