// The calibrators on USB as the access library reports them: one discovery
// with a serial filter, and the list of every calibrator it can tell apart.
#pragma once

#include <string>
#include <vector>

namespace zdxtool {

struct Discovery {
    int result = -1;  // GetUSBDeviceInfo's result
    int count = 0;    // devices enumerated; -6003 when the setup library cannot be bound
    std::string serial, string4, string5, string6;
};

// GetUSBDeviceInfo with a serial filter (a substring; empty: the first device)
// and no identification filter. Throws zdx::LibraryMissing.
Discovery Discover(const std::string& serialFilter);

struct DeviceList {
    int count = 0;                   // devices the library enumerated
    std::vector<Discovery> devices;  // the first device first
};

// The library reports one device per call: the first whose serial contains
// the filter. Every other one is reached by a filter that only its serial
// holds, searched among the substrings of growing length (at most
// `maxCalls` discoveries). A device whose serial lies inside an earlier
// device's serial cannot be told apart and stays unlisted.
DeviceList ListCalibrators(int maxCalls = 4000);

}  // namespace zdxtool
