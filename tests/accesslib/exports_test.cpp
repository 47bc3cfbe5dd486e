// The built library through its C exports, bound by name as the programs do.
// Without a bench this platform has no setup library and no port I/O driver.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "zdxusbcal.h"

namespace {

class ExportsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // No setup library: libusb is hidden behind a file that does not exist.
        setenv("ZDXUSBCAL_LIBUSB", "/nonexistent/libusb-1.0.so.0", 1);
        handle_ = dlopen(ZDXUSBCAL_FILE, RTLD_NOW | RTLD_LOCAL);
    }
    template <typename Fn>
    Fn entry(const char* name) {
        return reinterpret_cast<Fn>(dlsym(handle_, name));
    }
    static void* handle_;
};
void* ExportsTest::handle_ = nullptr;

TEST_F(ExportsTest, OnlyTheThreeExportsAreVisible) {
    ASSERT_NE(handle_, nullptr) << dlerror();
    EXPECT_NE(entry<void*>("GetUSBDeviceInfo"), nullptr);
    EXPECT_NE(entry<void*>("CalCommand"), nullptr);
    EXPECT_NE(entry<void*>("CommandLPT"), nullptr);
    EXPECT_EQ(entry<void*>("_ZN3zdx7Library11cal_commandEiPKcPcPi"), nullptr);
}

TEST_F(ExportsTest, WithoutSetupLibraryOrDriver) {
    ASSERT_NE(handle_, nullptr) << dlerror();
    auto info = entry<decltype(&GetUSBDeviceInfo)>("GetUSBDeviceInfo");
    auto command = entry<decltype(&CalCommand)>("CalCommand");
    auto lpt = entry<decltype(&CommandLPT)>("CommandLPT");

    int value = 0;
    EXPECT_EQ(command(ZDXUSBCAL_FN_PROBE, nullptr, nullptr, &value), ZDXUSBCAL_CMD_BAD_FUNCTION);
    EXPECT_EQ(lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT), ZDXUSBCAL_LPT_BAD_PORT);
    EXPECT_EQ(lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1), ZDXUSBCAL_LPT_NO_DRIVER);

    char serial[201] = {}, s4[201] = {}, s5[201] = {}, s6[201] = {};
    int count = 0, l1 = 0, l4 = 0, l5 = 0, l6 = 0;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(info(&count, serial, &l1, s4, &l4, s5, &l5, s6, &l6), ZDXUSBCAL_INFO_FAILED);
        EXPECT_EQ(count, ZDXUSBCAL_SETUP_MISSING);
    }
    char buffer[16] = "PAP 4";
    value = 123;
    EXPECT_EQ(command(ZDXUSBCAL_FN_USB, nullptr, buffer, &value), ZDXUSBCAL_CMD_WRITE_FAILED);
    EXPECT_STREQ(buffer, "PAP 4");
    EXPECT_EQ(value, 123);
    EXPECT_EQ(command(ZDXUSBCAL_FN_USB, nullptr, nullptr, &value), ZDXUSBCAL_CMD_REFUSED);
}

}  // namespace
