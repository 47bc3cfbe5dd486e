// A calibrator whose device node the user may not open, through the library's
// exports. Root opens every node whatever its mode, so this thread first gives
// up the capabilities that override file permissions.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "usb_emulation.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

// Clears CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH from this thread's
// effective set (a no-op for a user without them).
bool obey_file_permissions() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    return ::syscall(SYS_capset, &header, data) == 0;
}

TEST(LinuxUsbPermission, DeviceThatMayNotBeOpened) {
    EmulatedUsbBus bus;
    bus.add(0x1209, 0x0610, "OPEN").set_answerer([](const std::string&) {
        return std::string("K0\n");
    });
    bus.add(0x1209, 0x0610, "DENIED");
    ASSERT_EQ(::chmod((bus.root() + "/dev/bus/usb/001/003").c_str(), 0), 0);
    ASSERT_TRUE(obey_file_permissions());
    ZdxLibrary library;
    // Enumeration ends at the device that cannot be opened; the one before
    // it is still reported and reached.
    DeviceInfo info = getDeviceInfo(library);
    EXPECT_EQ(info.result, 0);
    EXPECT_EQ(info.count, 1);
    EXPECT_EQ(info.serial, "OPEN");
    EXPECT_EQ(exchange(library, "OPEN", "PAP 4").result, 0);
    Exchange denied = exchange(library, "DENIED", "PAP 4");
    EXPECT_EQ(denied.result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(denied.buffer, "PAP 4");
}

}  // namespace
}  // namespace zdx::testing
