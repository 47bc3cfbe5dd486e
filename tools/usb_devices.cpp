#include "usb_devices.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <set>

#include "calibrator_library.h"

namespace zdxtool {

namespace {

// Buffers of 200 NULs plus room for the filter, as the programs pass them.
constexpr std::size_t kBuffer = 256;

std::string textOf(const std::vector<char>& buffer, int length) {
    const std::size_t held = ::strnlen(buffer.data(), buffer.size() - 1);
    return std::string(buffer.data(), std::min<std::size_t>(held, std::max(length, 0)));
}

}  // namespace

Discovery Discover(const std::string& serialFilter) {
    std::vector<char> serial(kBuffer + serialFilter.size(), '\0');
    std::memcpy(serial.data(), serialFilter.data(), serialFilter.size());
    std::vector<char> string4(kBuffer, '\0'), string5(kBuffer, '\0'), string6(kBuffer, '\0');
    int serialLength = 0, length4 = 0, length5 = 0, length6 = 0;
    Discovery found;
    found.result = zdx::CalibratorLibrary::instance().GetUSBDeviceInfo(
        &found.count, serial.data(), &serialLength, string4.data(), &length4, string5.data(),
        &length5, string6.data(), &length6);
    if (found.result != 0) return found;
    found.serial = textOf(serial, serialLength);
    found.string4 = textOf(string4, length4);
    found.string5 = textOf(string5, length5);
    found.string6 = textOf(string6, length6);
    return found;
}

DeviceList ListCalibrators(int maxCalls) {
    DeviceList list;
    const Discovery first = Discover("");
    list.count = first.count;
    if (first.result != 0) return list;
    list.devices.push_back(first);
    std::set<std::string> known = {first.serial};
    auto complete = [&] { return static_cast<int>(list.devices.size()) >= list.count; };
    int calls = 1;

    // The characters some serial holds, each tried on its own first.
    std::string alphabet;
    std::deque<std::string> filters;
    for (int c = 0x20; c <= 0x7E && !complete() && calls < maxCalls; ++c) {
        const std::string filter(1, static_cast<char>(c));
        const Discovery d = Discover(filter);
        ++calls;
        if (d.result != 0) continue;
        alphabet += filter;
        filters.push_back(filter);
        if (known.insert(d.serial).second) list.devices.push_back(d);
    }
    // Longer substrings, shortest first; a filter that no serial holds has no
    // longer one that any serial holds.
    while (!filters.empty() && !complete() && calls < maxCalls) {
        const std::string base = filters.front();
        filters.pop_front();
        if (base.size() >= 100) continue;
        for (const char c : alphabet) {
            if (complete() || calls >= maxCalls) break;
            const std::string filter = base + c;
            const Discovery d = Discover(filter);
            ++calls;
            if (d.result != 0) continue;
            filters.push_back(filter);
            if (known.insert(d.serial).second) list.devices.push_back(d);
        }
    }
    return list;
}

}  // namespace zdxtool
