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
        EXPECT_EQ(info.result, ZDXUSBCAL_INFO_FAILED);
        EXPECT_EQ(info.count, ZDXUSBCAL_SETUP_MISSING);
        EXPECT_EQ(info.serial, "");
        EXPECT_TRUE(info.guardsIntact);
    }
    Exchange e = exchange(library, "A123", "PAP 4");
    EXPECT_EQ(e.result, ZDXUSBCAL_CMD_WRITE_FAILED);
    EXPECT_EQ(e.buffer, "PAP 4");
    EXPECT_EQ(library.calCommand(ZDXUSBCAL_FN_PROBE, "", nullptr, nullptr),
              ZDXUSBCAL_CMD_BAD_FUNCTION);
    EXPECT_EQ(library.commandLpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT),
              ZDXUSBCAL_LPT_BAD_PORT);
}

}  // namespace
}  // namespace zdx::testing
