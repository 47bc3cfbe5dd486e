// GetUSBDeviceInfo and the discovery beneath it, against the fake platform.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "constants.h"
#include "fake_platform.h"
#include "library.h"

namespace zdx::testing {
namespace {

constexpr unsigned char kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 8;

// A caller's text buffer of `size` bytes followed by guard bytes.
class GuardedText {
  public:
    explicit GuardedText(std::size_t size, const std::string& text = "")
        : bytes_(size + kGuardBytes, kGuard), size_(size) {
        std::memset(bytes_.data(), 0, size);
        std::memcpy(bytes_.data(), text.c_str(), std::min(text.size() + 1, size));
    }
    char* data() { return reinterpret_cast<char*>(bytes_.data()); }
    std::string text() const { return reinterpret_cast<const char*>(bytes_.data()); }
    bool guards_intact() const {
        for (std::size_t i = size_; i < bytes_.size(); ++i) {
            if (bytes_[i] != kGuard) return false;
        }
        return true;
    }

  private:
    std::vector<unsigned char> bytes_;
    std::size_t size_;
};

// The nine arguments as the programs pass them (200-byte buffers).
struct InfoCall {
    explicit InfoCall(int capacity = 0, const std::string& serial_filter = "",
                      const std::string& ident_filter = "", std::size_t buffer_size = 200)
        : serial(buffer_size, serial_filter),
          string4(buffer_size),
          string5(buffer_size),
          string6(buffer_size, ident_filter),
          serial_length(capacity),
          string4_length(capacity),
          string5_length(capacity),
          string6_length(capacity) {}

    int run(Library& library) {
        return library.get_usb_device_info({&count, serial.data(), &serial_length, string4.data(),
                                            &string4_length, string5.data(), &string5_length,
                                            string6.data(), &string6_length});
    }
    bool all_empty() const {
        return serial.text().empty() && string4.text().empty() && string5.text().empty() &&
               string6.text().empty() && serial_length == 0 && string4_length == 0 &&
               string5_length == 0 && string6_length == 0;
    }

    int count = -77;
    GuardedText serial, string4, string5, string6;
    int serial_length, string4_length, string5_length, string6_length;
};

class DeviceInfoTest : public ::testing::Test {
  protected:
    FakeDevice& device(const std::string& serial, const std::string& ident = "Q610") {
        FakeDevice& added = fake.add_device(serial);
        added.string4 = "ZDX";
        added.string5 = "Calibrator";
        added.string6 = ident;
        return added;
    }
    FakePlatform fake;
    Library library{fake.ops()};
};

TEST_F(DeviceInfoTest, NoDeviceGivesMinusTwoAndEmptyTexts) {
    InfoCall call;
    EXPECT_EQ(call.run(library), kInfoNoDevice);
    EXPECT_EQ(call.count, 0);
    EXPECT_TRUE(call.all_empty());
}

TEST_F(DeviceInfoTest, FirstDeviceWithoutFiltersAndNothingLeftOpen) {
    device("A123", "Q610 V2.1");
    device("B456");
    InfoCall call;
    ASSERT_EQ(call.run(library), kOk);
    EXPECT_EQ(call.count, 2);
    EXPECT_EQ(call.serial.text(), "A123");
    EXPECT_EQ(call.serial_length, 4);
    EXPECT_EQ(call.string4.text(), "ZDX");
    EXPECT_EQ(call.string5.text(), "Calibrator");
    EXPECT_EQ(call.string5_length, 10);
    EXPECT_EQ(call.string6.text(), "Q610 V2.1");
    EXPECT_EQ(call.string6_length, 9);
    EXPECT_EQ(fake.handles_open(), 0u);
    EXPECT_EQ(fake.sets_open, 0);
}

TEST_F(DeviceInfoTest, FiltersChooseBySubstring) {
    device("A123", "Q270");
    device("B456", "Q610");
    InfoCall by_serial(0, "45");
    ASSERT_EQ(by_serial.run(library), kOk);
    EXPECT_EQ(by_serial.serial.text(), "B456");

    InfoCall first(0, "23");
    ASSERT_EQ(first.run(library), kOk);
    EXPECT_EQ(first.serial.text(), "A123");

    InfoCall by_ident(0, "", "610");
    ASSERT_EQ(by_ident.run(library), kOk);
    EXPECT_EQ(by_ident.serial.text(), "B456");
    EXPECT_EQ(by_ident.string6.text(), "Q610");

    InfoCall miss(0, "23", "610");
    EXPECT_EQ(miss.run(library), kInfoNoDevice);
    EXPECT_EQ(miss.count, 2);
    EXPECT_TRUE(miss.all_empty());

    InfoCall case_sensitive(0, "a1");
    EXPECT_EQ(case_sensitive.run(library), kInfoNoDevice);
}

TEST_F(DeviceInfoTest, CapacityOutsideRangeMeans100And90) {
    device("S" + std::string(119, '7'), std::string(120, 'x'));
    for (int capacity : {0, -5, 500}) {
        InfoCall call(capacity);
        ASSERT_EQ(call.run(library), kOk) << capacity;
        EXPECT_EQ(call.serial_length, 100) << capacity;
        EXPECT_EQ(call.serial.text().size(), 100u);
        // The device is searched by the cut serial, which no device has.
        EXPECT_EQ(call.string6_length, 0) << capacity;
    }
    fake.devices[0].serial = "A1";
    InfoCall call(500);
    ASSERT_EQ(call.run(library), kOk);
    EXPECT_EQ(call.string6_length, 90);
    EXPECT_EQ(call.string6.text(), std::string(90, 'x'));
}

TEST_F(DeviceInfoTest, NothingWrittenPastASmallCapacity) {
    device("SERIAL99", "IDENTIFICATION");
    InfoCall call(3, "", "", 4);
    ASSERT_EQ(call.run(library), kOk);
    EXPECT_EQ(call.serial.text(), "SER");
    EXPECT_EQ(call.string6.text(), "");  // "SER" is no device's serial
    EXPECT_TRUE(call.serial.guards_intact());
    EXPECT_TRUE(call.string4.guards_intact());
    EXPECT_TRUE(call.string6.guards_intact());

    fake.devices[0].serial = "SER";
    InfoCall fits(3, "", "", 4);
    ASSERT_EQ(fits.run(library), kOk);
    EXPECT_EQ(fits.string6.text(), "IDE");
    EXPECT_EQ(fits.string6_length, 3);
    EXPECT_TRUE(fits.string6.guards_intact());
    EXPECT_TRUE(fits.string5.guards_intact());
}

TEST_F(DeviceInfoTest, AtMost32DevicesAreEnumerated) {
    for (int i = 0; i < 40; ++i) device("N" + std::to_string(i));
    InfoCall call(0, "39");
    EXPECT_EQ(call.run(library), kInfoNoDevice);
    EXPECT_EQ(call.count, 32);
}

TEST_F(DeviceInfoTest, DeviceThatFailsEndsTheEnumeration) {
    device("A1");
    device("B2").open_fails = true;
    device("C3");
    InfoCall call(0, "C3");
    EXPECT_EQ(call.run(library), kInfoNoDevice);
    EXPECT_EQ(call.count, 1);

    fake.devices[1].open_fails = false;
    fake.devices[1].device_descriptor_fails = true;
    InfoCall again;
    EXPECT_EQ(again.run(library), kOk);
    EXPECT_EQ(again.count, 1);
}

TEST_F(DeviceInfoTest, StringAnswerChecks) {
    FakeDevice& d = device("A1");
    d.raw_strings[4] = {5, 3, 'a', 0, 'b'};     // odd length
    d.raw_strings[5] = {8, 3, 'a', 0, 'b', 0};  // length disagrees
    d.raw_strings[6] = {2, 3, 'z', 0};          // 2 of 4 bytes
    InfoCall call;
    ASSERT_EQ(call.run(library), kOk);
    EXPECT_EQ(call.string4_length, 0);
    EXPECT_EQ(call.string5_length, 0);
    EXPECT_EQ(call.string6_length, 0);

    d.raw_strings.clear();
    d.header_form = true;
    InfoCall header;
    ASSERT_EQ(header.run(library), kOk);
    EXPECT_EQ(header.serial.text(), "A1");
    EXPECT_EQ(header.string6.text(), "Q610");

    // Only the low byte of each unit is kept.
    d.header_form = false;
    d.raw_strings[6] = {6, 3, 'A', 0x04, 0xE9, 0x00};
    InfoCall low;
    ASSERT_EQ(low.run(library), kOk);
    EXPECT_EQ(low.string6.text(), "A\xE9");
    d.refused_strings = {4};
    InfoCall refused;
    ASSERT_EQ(refused.run(library), kOk);
    EXPECT_EQ(refused.string4_length, 0);
    EXPECT_EQ(refused.string5.text(), "Calibrator");
}

TEST_F(DeviceInfoTest, StringRequestBlockLayout) {
    device("A1");
    InfoCall().run(library);
    ASSERT_FALSE(fake.string_requests.empty());
    const std::vector<std::uint8_t>& last = fake.string_requests.back();
    ASSERT_EQ(last.size(), 267u);
    std::vector<std::uint8_t> expected(267, 0);
    expected[6] = 6;
    expected[7] = 3;
    expected[10] = 255;
    EXPECT_EQ(last, expected);
}

TEST_F(DeviceInfoTest, MissingSetupLibraryIsTriedOnce) {
    fake.setup_present = false;
    for (int i = 0; i < 2; ++i) {
        InfoCall call;
        EXPECT_EQ(call.run(library), kInfoFailed);
        EXPECT_EQ(call.count, kSetupMissing);
        EXPECT_TRUE(call.all_empty());
    }
    EXPECT_EQ(fake.bind_attempts, 1);
}

TEST_F(DeviceInfoTest, OverlongFilterIsRefusedNotCut) {
    // Records keep up to 254 serial characters, so 103 can still match.
    device(std::string(110, '1'));
    InfoCall fits(0, std::string(103, '1'));
    EXPECT_EQ(fits.run(library), kOk);

    InfoCall too_long(0, std::string(104, '1'));
    EXPECT_EQ(too_long.run(library), kInfoNoDevice);
    EXPECT_EQ(too_long.count, 1);
    EXPECT_TRUE(too_long.all_empty());

    InfoCall ident_too_long(0, "", std::string(150, 'i'));
    EXPECT_EQ(ident_too_long.run(library), kInfoNoDevice);
}

TEST_F(DeviceInfoTest, NullArgumentGivesMinusOne) {
    device("A1");
    int count = 5, length = 0;
    char text[8] = "";
    EXPECT_EQ(library.get_usb_device_info(
                  {&count, text, &length, nullptr, &length, text, &length, text, &length}),
              kInfoFailed);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(fake.bind_attempts, 0);
}

TEST_F(DeviceInfoTest, PathTooLongForItsFieldIsNeverCut) {
    device("A1").path = std::string(254, 'p');
    device("B2");
    InfoCall fits;
    ASSERT_EQ(fits.run(library), kOk);
    EXPECT_EQ(fits.count, 2);

    fake.devices[0].path = std::string(255, 'p');
    fake.opened.clear();
    InfoCall too_long;
    EXPECT_EQ(too_long.run(library), kInfoNoDevice);
    EXPECT_EQ(too_long.count, 0);
    for (const std::string& path : fake.opened) EXPECT_EQ(path.find("ppp"), std::string::npos);
}

}  // namespace
}  // namespace zdx::testing
