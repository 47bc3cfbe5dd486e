// Discovery through the library's exports against the bench's devices as
// real USB gadgets: one calibrator, then four (two Q270, a Q610 and an
// interface module) with their serials, strings 4 to 6 and both filters, and
// a device node the user may not open.
#include <gtest/gtest.h>

#include <string>

#include "gadget_process.h"

namespace zdx::testing {
namespace {

TEST(KernelDiscovery, OneCalibratorThenFour) {
    ZdxLibrary library;
    const DeviceInfo none = getDeviceInfo(library);
    EXPECT_EQ(none.result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(none.count, 0);

    GadgetProcess first("Q270", "Q270S9-00417");
    ASSERT_TRUE(waitUntilSeen(library, "Q270S9-00417", true));
    const DeviceInfo one = getDeviceInfo(library);
    EXPECT_EQ(one.result, 0);
    EXPECT_EQ(one.count, 1);
    EXPECT_EQ(one.serial, "Q270S9-00417");
    EXPECT_EQ(one.serialLength, 12);
    EXPECT_EQ(one.s4, "ZDX");
    EXPECT_EQ(one.s5, "Q270 Calibrator");
    EXPECT_EQ(one.s6, "Q270S9 V1.18");
    EXPECT_EQ(one.s6Length, 12);
    EXPECT_TRUE(one.guardsIntact);

    GadgetProcess second("Q270", "Q270S9-00520");
    GadgetProcess q610("Q610", "Q610-0033");
    GadgetProcess module("KX", "KX-0007");
    for (const char* serial : {"Q270S9-00520", "Q610-0033", "KX-0007"}) {
        ASSERT_TRUE(waitUntilSeen(library, serial, true)) << serial;
    }
    const DeviceInfo all = getDeviceInfo(library);
    EXPECT_EQ(all.result, 0);
    EXPECT_EQ(all.count, 4);
    // The first in enumeration order: bus by bus, each gadget on a bus of its own.
    EXPECT_EQ(all.serial, "Q270S9-00417");

    const DeviceInfo bySerial = getDeviceInfo(library, "00520");
    EXPECT_EQ(bySerial.result, 0);
    EXPECT_EQ(bySerial.serial, "Q270S9-00520");
    const DeviceInfo byId = getDeviceInfo(library, "", "Q610");
    EXPECT_EQ(byId.result, 0);
    EXPECT_EQ(byId.serial, "Q610-0033");
    EXPECT_EQ(byId.s5, "Q610 Calibrator");
    EXPECT_EQ(byId.s6, "Q610 V2.03");
    const DeviceInfo both = getDeviceInfo(library, "KX", "KX V");
    EXPECT_EQ(both.result, 0);
    EXPECT_EQ(both.serial, "KX-0007");
    EXPECT_EQ(both.s5, "NVQ+KX Interface");
    const DeviceInfo neither = getDeviceInfo(library, "Q270", "Q610");
    EXPECT_EQ(neither.result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(neither.count, 4);
    EXPECT_EQ(neither.serial, "");
}

// udev gives the device nodes of USB devices to root, readable by all: a
// user without a rule for the calibrators cannot open them, and discovery
// finds none (and says why on standard error).
TEST(KernelDiscovery, NodeTheUserMayNotOpenIsNotFound) {
    ZdxLibrary library;
    GadgetProcess gadget("Q610", "Q610-0101");
    ASSERT_TRUE(waitUntilSeen(library, "Q610-0101", true));
    const std::string text =
        outputOf(std::string(ZDX_KERNEL_TEST_PROGRAM) + " --discover-as nobody 2>&1");
    EXPECT_NE(text.find("no access for this user"), std::string::npos) << text;
    EXPECT_NE(text.find("-2 0\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace zdx::testing
