// GetUSBDeviceInfo through the platform seam, the devices' answers fuzzed:
// descriptors of any length and type, with or without the driver's header,
// refused requests, failed opens, odd enumeration errors, over-long paths,
// and the caller's capacities and filters. The result is one of the three
// documented codes; the caller's buffers are written only within the capacity
// granted (plus the NUL); the lengths are the texts' lengths (the NUL after them); a found device
// passes both filters; nothing is left open.
#include <cstring>

#include "constants.h"
#include "fake_platform.h"
#include "fuzz_support.h"
#include "library.h"

using namespace zdx::fuzz;

namespace {

constexpr std::size_t kBuffer = 200;  // as the programs pass them
constexpr char kUntouched = '\x7E';

struct Text {
    std::vector<char> bytes = std::vector<char>(kBuffer, kUntouched);
    std::size_t given = 0;  // bytes the caller put in (text and NUL)
    int length = 0;
    void put(const std::string& text) {
        given = std::min(text.size() + 1, kBuffer);
        std::memcpy(bytes.data(), text.c_str(), given);
    }
    // Nothing beyond what the caller put in and `capacity` characters plus NUL.
    bool writtenWithin(int capacity) const {
        const std::size_t from = std::max(given, static_cast<std::size_t>(capacity) + 1);
        for (std::size_t i = from; i < kBuffer; ++i)
            if (bytes[i] != kUntouched) return false;
        return true;
    }
    // `length` characters and a NUL; a descriptor's character whose low byte
    // is 0 is one of them, so only the serial number has no NUL inside.
    bool holds(int capacity) const {
        return length >= 0 && length <= capacity && bytes[std::size_t(length)] == '\0';
    }
    bool holdsText(int capacity) const {
        return holds(capacity) && std::strlen(bytes.data()) == std::size_t(length);
    }
};

int granted(int requested, int largest) {
    return requested >= 1 && requested <= largest ? requested : largest;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    zdx::testing::FakePlatform fake;
    fake.setup_present = in.byte() != 0xFF;
    const int devices = in.byte() % 5;
    for (int d = 0; d < devices; ++d) {
        zdx::testing::FakeDevice& device = fake.add_device(in.text(40));
        device.string4 = in.text(20);
        device.string5 = in.text(20);
        device.string6 = in.text(40);
        const std::uint8_t faults = in.byte();
        device.open_fails = (faults & 0x01) != 0;
        device.device_descriptor_fails = (faults & 0x02) != 0;
        device.header_form = (faults & 0x04) != 0;
        if (faults & 0x08) device.path = in.text(255) + std::string(in.byte() % 2 ? 300 : 0, 'p');
        for (int index = 3; index <= 6; ++index) {
            const std::uint8_t how = in.byte();
            if (how & 0x01) device.refused_strings.insert(index);
            if (how & 0x02) device.raw_strings[index] = bytesOf(in.text(255) + in.text(255));
        }
    }
    if (in.flag()) fake.enum_errors[in.byte() % 6] = in.u32();

    zdx::Library library(fake.ops());
    const int calls = 1 + in.byte() % 3;
    for (int call = 0; call < calls; ++call) {
        Text serial, string4, string5, string6;
        serial.put(in.text(110));
        string6.put(in.text(110));
        const std::string serialFilter(serial.bytes.data()), identFilter(string6.bytes.data());
        const int requested[4] = {static_cast<int>(in.u32()), static_cast<int>(in.u32()),
                                  static_cast<int>(in.u32()), static_cast<int>(in.u32())};
        serial.length = requested[0];
        string4.length = requested[1];
        string5.length = requested[2];
        string6.length = requested[3];
        int count = -77;
        const int result = library.get_usb_device_info(
            {&count, serial.bytes.data(), &serial.length, string4.bytes.data(), &string4.length,
             string5.bytes.data(), &string5.length, string6.bytes.data(), &string6.length});
        FUZZ_CHECK(result == zdx::kOk || result == zdx::kInfoFailed ||
                   result == zdx::kInfoNoDevice);
        const int capacities[4] = {granted(requested[0], zdx::kSerialCapacity),
                                   granted(requested[1], zdx::kStringCapacity),
                                   granted(requested[2], zdx::kStringCapacity),
                                   granted(requested[3], zdx::kStringCapacity)};
        FUZZ_CHECK(serial.writtenWithin(capacities[0]));
        FUZZ_CHECK(string4.writtenWithin(capacities[1]));
        FUZZ_CHECK(string5.writtenWithin(capacities[2]));
        FUZZ_CHECK(string6.writtenWithin(capacities[3]));
        if (result == zdx::kOk) {
            FUZZ_CHECK(count >= 1 && count <= zdx::kMaxDevices);
            FUZZ_CHECK(serial.holdsText(capacities[0]) && string4.holds(capacities[1]) &&
                       string5.holds(capacities[2]) && string6.holds(capacities[3]));
            FUZZ_CHECK(std::strstr(string6.bytes.data(), identFilter.c_str()) != nullptr);
            FUZZ_CHECK(serial.length > 0 || serialFilter.empty());
        } else if (result == zdx::kInfoNoDevice) {
            FUZZ_CHECK(serial.bytes[0] == '\0' && string4.bytes[0] == '\0' &&
                       string5.bytes[0] == '\0' && string6.bytes[0] == '\0');
            FUZZ_CHECK(serial.length == 0 && string4.length == 0 && string5.length == 0 &&
                       string6.length == 0);
        }
        FUZZ_CHECK(fake.handles_open() == 0);
        FUZZ_CHECK(fake.sets_open == 0);
    }
    return 0;
}
