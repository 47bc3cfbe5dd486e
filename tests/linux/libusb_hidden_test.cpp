// The library when libusb cannot be bound: run once with ZDXUSBCAL_LIBUSB
// naming a file that does not exist, and once naming a library that lacks
// libusb's entry points. Either is a missing setup library.
#include <gtest/gtest.h>

#include "zdx_library.h"

namespace zdx::testing {
namespace {

TEST(LibusbHidden, BindingFailsAsAMissingSetupLibraryOnce) {
    ZdxLibrary library;
    for (int i = 0; i < 2; ++i) {
        DeviceInfo info = getDeviceInfo(library);
        EXPECT_EQ(info.result, -1);
        EXPECT_EQ(info.count, -6003);
        EXPECT_EQ(info.serial, "");
        EXPECT_TRUE(info.guardsIntact);
    }
    Exchange e = exchange(library, "A123", "PAP 4");
    EXPECT_EQ(e.result, -4);
    EXPECT_EQ(e.buffer, "PAP 4");
    EXPECT_EQ(library.calCommand(-1, "", nullptr, nullptr), -99);
    EXPECT_EQ(library.commandLpt(1, 9), -7);
}

}  // namespace
}  // namespace zdx::testing
