// A calibrator whose device node the user may not open, through the library's
// exports. Root opens every node whatever its mode, so this thread first gives
// up the capabilities that override file permissions.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <stdio.h>
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

// What the library writes on standard error while `action` runs.
template <typename Action>
std::string standard_error_of(Action action) {
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    std::FILE* capture = std::tmpfile();
    ::dup2(::fileno(capture), STDERR_FILENO);
    action();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    std::rewind(capture);
    std::string text;
    for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture))
        text += static_cast<char>(c);
    std::fclose(capture);
    return text;
}

TEST(LinuxUsbPermission, DeviceThatMayNotBeOpenedIsSkippedAndToldOnce) {
    EmulatedUsbBus bus;
    const auto answer = [](const std::string&) { return std::string("K0\n"); };
    bus.add(0x1209, 0x0610, "OPEN").set_answerer(answer);
    bus.add(0x1209, 0x0610, "DENIED");
    bus.add(0x1209, 0x0270, "BEHIND").set_answerer(answer);
    ASSERT_EQ(::chmod((bus.root() + "/dev/bus/usb/001/003").c_str(), 0), 0);
    ASSERT_TRUE(obey_file_permissions());
    ZdxLibrary library;
    DeviceInfo info;
    const std::string told = standard_error_of([&] {
        info = getDeviceInfo(library);
        getDeviceInfo(library);
    });
    // The calibrator behind the one that cannot be opened is still found.
    EXPECT_EQ(info.result, 0);
    EXPECT_EQ(info.count, 2);
    EXPECT_EQ(info.serial, "OPEN");
    EXPECT_EQ(getDeviceInfo(library, "BEHIND").result, 0);
    EXPECT_EQ(exchange(library, "BEHIND", "PAP 4").result, 0);
    Exchange denied = exchange(library, "DENIED", "PAP 4");
    EXPECT_EQ(denied.result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(denied.buffer, "PAP 4");
    // Which device, why, and what to do, once.
    const std::string line = "1209:0610 at usb:1-2 cannot be opened (LIBUSB_ERROR_ACCESS)";
    const auto first = told.find(line);
    ASSERT_NE(first, std::string::npos) << told;
    EXPECT_NE(told.find("udev", first), std::string::npos);
    EXPECT_EQ(told.find(line, first + 1), std::string::npos) << told;
}

}  // namespace
}  // namespace zdx::testing
