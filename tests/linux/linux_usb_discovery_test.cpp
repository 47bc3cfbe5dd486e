// Discovery through the library's exports against emulated USB devices: which
// devices are calibrators (the project's IDs, a site's file and environment),
// their strings and the filters, and string descriptors that break the rules.
// The site's IDs come from the test's environment (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <memory>

#include "usb_emulation.h"
#include "zdx_library.h"

namespace zdx::testing {
namespace {

class LinuxUsbDiscovery : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bus_ = std::make_unique<EmulatedUsbBus>();
        EmulatedCalibrator& q270 = bus_->add(0x1209, 0x0270, "A123");
        q270_ = &q270;
        q270.set_string(4, string_descriptor("Q270 calibrator"));
        q270.set_string(5, string_descriptor("ZDX"));
        q270.set_string(6, string_descriptor("Q270-S"));
        bus_->add(0xDEAD, 0xBEEF, "NOTME");  // not on any list
        EmulatedCalibrator& q610 = bus_->add(0x1209, 0x0610, "B456");
        q610.set_string(6, string_descriptor("Q610-S"));
        bus_->add(0x1234, 0x5678, "ENV1");   // added by ZDXUSBCAL_USB_IDS
        bus_->add(0xABCD, 0x0001, "FILE1");  // added by the IDs file
        EmulatedCalibrator& odd = bus_->add(0x1209, 0x0270, "ODD");
        odd_ = &odd;
        odd.set_string(4, {5, 3, 'a', 0, 'b'});        // odd length
        odd.set_string(5, {0x20, 3, 'a', 0, 'b', 0});  // claims more than it sends
        Bytes huge{0xFE, 3};                           // over 255 bytes
        huge.resize(300, 'z');
        odd.set_string(6, huge);
        EmulatedCalibrator& long_serial = bus_->add(0x1209, 0x0610, "");
        long_serial.set_string(3, string_descriptor(std::string(126, 'L')));
        // Device descriptors that lie about their length: one claims 64
        // bytes in its 18, the last one sends only 8.
        EmulatedCalibrator& liar = bus_->add(0x1209, 0x0270, "LIAR");
        Bytes claims_more = liar.sysfs_descriptors();
        claims_more.resize(18);
        claims_more[0] = 64;
        liar.set_device_descriptor(claims_more);
        EmulatedCalibrator& short_one = bus_->add(0x1209, 0x0270, "SHORT");
        Bytes eight = short_one.sysfs_descriptors();
        eight.resize(8);
        short_one.set_device_descriptor(eight);
        library_ = std::make_unique<ZdxLibrary>();
    }
    static void TearDownTestSuite() {
        library_.reset();
        bus_.reset();
    }
    static std::unique_ptr<EmulatedUsbBus> bus_;
    static std::unique_ptr<ZdxLibrary> library_;
    static EmulatedCalibrator* q270_;
    static EmulatedCalibrator* odd_;
};
std::unique_ptr<EmulatedUsbBus> LinuxUsbDiscovery::bus_;
std::unique_ptr<ZdxLibrary> LinuxUsbDiscovery::library_;
EmulatedCalibrator* LinuxUsbDiscovery::q270_ = nullptr;
EmulatedCalibrator* LinuxUsbDiscovery::odd_ = nullptr;

TEST_F(LinuxUsbDiscovery, ListedDevicesAreFoundInLocationOrderAndOthersIgnored) {
    DeviceInfo info = getDeviceInfo(*library_);
    EXPECT_EQ(info.result, 0);
    // All listed devices up to the one whose device descriptor is cut short:
    // enumeration ends there.
    EXPECT_EQ(info.count, 7);
    EXPECT_EQ(info.serial, "A123");
    EXPECT_EQ(info.s4, "Q270 calibrator");
    EXPECT_EQ(info.s4Length, 15);
    EXPECT_EQ(info.s5, "ZDX");
    EXPECT_EQ(info.s6, "Q270-S");
    EXPECT_TRUE(info.guardsIntact);
    EXPECT_EQ(getDeviceInfo(*library_, "NOTME").result, ZDXUSBCAL_INFO_NO_DEVICE);
}

TEST_F(LinuxUsbDiscovery, SiteIdsFromFileAndEnvironmentAreCalibrators) {
    EXPECT_EQ(getDeviceInfo(*library_, "ENV1").serial, "ENV1");
    EXPECT_EQ(getDeviceInfo(*library_, "FILE1").serial, "FILE1");
}

TEST_F(LinuxUsbDiscovery, SerialAndIdentificationFilters) {
    EXPECT_EQ(getDeviceInfo(*library_, "23").serial, "A123");
    EXPECT_EQ(getDeviceInfo(*library_, "45").serial, "B456");
    DeviceInfo q610 = getDeviceInfo(*library_, "", "Q610");
    EXPECT_EQ(q610.result, 0);
    EXPECT_EQ(q610.serial, "B456");
    EXPECT_EQ(q610.s6, "Q610-S");
    DeviceInfo none = getDeviceInfo(*library_, "A1", "Q610");
    EXPECT_EQ(none.result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(none.serial, "");
}

TEST_F(LinuxUsbDiscovery, StringsAreAskedInTheDevicesFirstLanguage) {
    const int tables_before = q270_->counters().language_requests;
    const auto strings_before = q270_->counters().string_languages.size();
    getDeviceInfo(*library_, "A123");
    // The language table once per plugged-in device, however often the
    // device is opened for its strings.
    EXPECT_GT(q270_->counters().string_languages.size(), strings_before);
    const int tables_after_first = q270_->counters().language_requests;
    EXPECT_LE(tables_after_first - tables_before, 1);
    EXPECT_LE(tables_after_first, 1);
    getDeviceInfo(*library_, "A123");
    EXPECT_EQ(q270_->counters().language_requests, tables_after_first);
    // The emulated devices offer 0x0407 first, and refuse nothing else: a
    // request in language 0 would still show here.
    bool any = false;
    for (std::uint16_t language : q270_->counters().string_languages) {
        EXPECT_EQ(language, 0x0407);
        any = true;
    }
    EXPECT_TRUE(any);
}

TEST_F(LinuxUsbDiscovery, BrokenStringDescriptorsGiveEmptyStrings) {
    DeviceInfo odd = getDeviceInfo(*library_, "ODD");
    EXPECT_EQ(odd.result, 0);
    EXPECT_EQ(odd.serial, "ODD");
    EXPECT_EQ(odd.s4, "");  // odd length
    EXPECT_EQ(odd.s4Length, 0);
    EXPECT_EQ(odd.s5, "");  // length byte disagrees with what came
    EXPECT_EQ(odd.s6, "");  // cut at 255 bytes by the request: odd length 255
    EXPECT_TRUE(odd.guardsIntact);
    EXPECT_LE(odd_->counters().longest_string_request, 255);
}

TEST_F(LinuxUsbDiscovery, DeviceDescriptorsThatLieAboutTheirLength) {
    DeviceInfo liar = getDeviceInfo(*library_, "LIAR");
    EXPECT_EQ(liar.result, 0);
    EXPECT_EQ(liar.serial, "LIAR");
    EXPECT_TRUE(liar.guardsIntact);
    EXPECT_EQ(getDeviceInfo(*library_, "SHORT").result, ZDXUSBCAL_INFO_NO_DEVICE);
    EXPECT_EQ(exchange(*library_, "SHORT", "PAP 4").result, ZDXUSBCAL_CMD_NO_ANSWER_PIPE);
}

TEST_F(LinuxUsbDiscovery, LongSerialIsCutAtItsCapacity) {
    DeviceInfo info = getDeviceInfo(*library_, "LLLL");
    EXPECT_EQ(info.result, 0);
    EXPECT_EQ(info.serial, std::string(100, 'L'));
    EXPECT_EQ(info.serialLength, 100);
    EXPECT_TRUE(info.guardsIntact);
}

}  // namespace
}  // namespace zdx::testing
