// The emulated calibrators against what the real kernel does, seen through
// libusb as the library's backend sees it (the same cases run against the
// kernel in tests/kernel).
#include <gtest/gtest.h>
#include <libusb.h>

#include <chrono>
#include <thread>

#include "usb_emulation.h"

namespace zdx::testing {
namespace {

// A read waiting in the kernel when the device leaves ends as a transfer
// error (EPROTO: libusb's I/O error), as the kernel's host controller ends it.
TEST(UsbEmulation, ReadInFlightWhenTheDeviceLeavesEndsWithAnIoError) {
    EmulatedUsbBus bus;
    EmulatedCalibrator& device = bus.add(0x1209, 0x0610, "LEAVES");
    libusb_context* context = nullptr;
    ASSERT_EQ(libusb_init(&context), 0);
    libusb_device_handle* handle = libusb_open_device_with_vid_pid(context, 0x1209, 0x0610);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(libusb_claim_interface(handle, 0), 0);
    unsigned char buffer[64];
    int got = -1, result = 0;
    std::thread reader(
        [&] { result = libusb_bulk_transfer(handle, 0x81, buffer, sizeof buffer, &got, 3000); });
    while (device.counters().bulk_in_submits == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    bus.unplug(device);
    reader.join();
    EXPECT_EQ(result, LIBUSB_ERROR_IO);
    EXPECT_EQ(got, 0);
    libusb_close(handle);
    libusb_exit(context);
}

}  // namespace
}  // namespace zdx::testing
