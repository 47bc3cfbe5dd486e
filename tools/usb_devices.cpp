#include "usb_devices.h"

#include <deque>
#include <set>

namespace zdxtool {

using zdx::DeviceInfo;
using zdx::discover;

DeviceList ListCalibrators(int maxCalls) {
    DeviceList list;
    const DeviceInfo first = discover();
    list.count = first.count;
    if (first.result != ZDXUSBCAL_OK) return list;
    list.devices.push_back(first);
    std::set<std::string> known = {first.serial};
    auto complete = [&] { return static_cast<int>(list.devices.size()) >= list.count; };
    int calls = 1;

    // The characters some serial holds, each tried on its own first.
    std::string alphabet;
    std::deque<std::string> filters;
    for (int c = 0x20; c <= 0x7E && !complete() && calls < maxCalls; ++c) {
        const std::string filter(1, static_cast<char>(c));
        const DeviceInfo d = discover(filter);
        ++calls;
        if (d.result != ZDXUSBCAL_OK) continue;
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
            const DeviceInfo d = discover(filter);
            ++calls;
            if (d.result != ZDXUSBCAL_OK) continue;
            filters.push_back(filter);
            if (known.insert(d.serial).second) list.devices.push_back(d);
        }
    }
    return list;
}

}  // namespace zdxtool
