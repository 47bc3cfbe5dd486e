// One calibrator alone on its bus, offering no language table, through the
// library's exports: found, its strings asked in language 0, and reached.
#include <gtest/gtest.h>

#include "usb_emulation.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

TEST(LinuxUsbSingle, OneCalibratorIsFoundAndReached) {
    EmulatedUsbBus bus;
    EmulatedCalibrator& device = bus.add(0x1209, 0x0610, "Q1");
    device.set_languages({});
    device.set_string(6, string_descriptor("ID6"));
    device.set_answerer([](const std::string&) { return std::string("OK\n"); });
    ZdxLibrary library;
    DeviceInfo info = getDeviceInfo(library);
    EXPECT_EQ(info.result, 0);
    EXPECT_EQ(info.count, 1);
    EXPECT_EQ(info.serial, "Q1");
    EXPECT_EQ(info.s6, "ID6");
    EXPECT_EQ(info.s4, "");  // the device has no string 4
    Exchange e = exchange(library, "Q1", "PAP 4");
    EXPECT_EQ(e.result, 0);
    EXPECT_EQ(e.buffer, "OK\n");
    // Without a language table the strings are asked in language 0.
    for (std::uint16_t language : device.counters().string_languages) EXPECT_EQ(language, 0);
}

}  // namespace
}  // namespace zdx::testing
