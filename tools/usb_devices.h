// The calibrators on USB as the access library reports them: one discovery
// with a serial filter, and the list of every calibrator it can tell apart.
#pragma once

#include <string>
#include <vector>

#include "calibrator_library.h"

namespace zdxtool {

struct DeviceList {
    int count = 0;                         // devices the library enumerated
    std::vector<zdx::DeviceInfo> devices;  // the first device first
};

// The library reports one device per call (zdx::discover): the first whose
// serial contains the filter. Every other one is reached by a filter that only its serial
// holds, searched among the substrings of growing length (at most
// `maxCalls` discoveries). A device whose serial lies inside an earlier
// device's serial cannot be told apart and stays unlisted.
DeviceList ListCalibrators(int maxCalls = 4000);

}  // namespace zdxtool
