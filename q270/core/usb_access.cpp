#include "usb_access.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "calibrator_library.h"

namespace q270 {

namespace {

// Every buffer handed to the library holds at least this many bytes, zeroed:
// room for the longest string it can return plus its NUL, whatever the caller brought.
constexpr std::size_t kMinimumBuffer = 256;

std::vector<char> bufferWith(const std::string& text) {
    std::vector<char> buffer(std::max(text.size() + 201, kMinimumBuffer), '\0');
    std::memcpy(buffer.data(), text.data(), text.size());
    return buffer;
}

// The text the library returned, cut to its reported length and never past the buffer.
std::string takeText(const std::vector<char>& buffer, int length) {
    const std::size_t terminated = ::strnlen(buffer.data(), buffer.size() - 1);
    const std::size_t wanted = length < 0 ? 0 : static_cast<std::size_t>(length);
    std::string text(buffer.data(), std::min(terminated, wanted));
    return text == "(null)" ? std::string() : text;
}

}  // namespace

void LibraryUsbAccess::probe() {
    char empty[1] = {'\0'};
    int value = 0;
    zdx::CalibratorLibrary::instance().CalCommand(-1, "", empty, &value);
}

UsbDeviceInfo LibraryUsbAccess::deviceInfo(const std::string& serialFilter,
                                           const std::string& idFilter) {
    int count = 0;
    std::vector<char> serial = bufferWith(serialFilter);
    std::vector<char> string4 = bufferWith({});
    std::vector<char> string5 = bufferWith({});
    std::vector<char> string6 = bufferWith(idFilter);
    int serialLength = 0, length4 = 0, length5 = 0, length6 = 0;
    UsbDeviceInfo info;
    info.result = zdx::CalibratorLibrary::instance().GetUSBDeviceInfo(
        &count, serial.data(), &serialLength, string4.data(), &length4, string5.data(), &length5,
        string6.data(), &length6);
    info.serial = takeText(serial, serialLength);
    info.string4 = takeText(string4, length4);
    info.string5 = takeText(string5, length5);
    info.string6 = takeText(string6, length6);
    return info;
}

int LibraryUsbAccess::exchange(const std::string& serial, std::string& line) {
    std::vector<char> buffer = bufferWith(line);
    int value = 0;
    const int result =
        zdx::CalibratorLibrary::instance().CalCommand(0, serial.c_str(), buffer.data(), &value);
    line.assign(buffer.data(), ::strnlen(buffer.data(), buffer.size() - 1));
    return result;
}

}  // namespace q270
