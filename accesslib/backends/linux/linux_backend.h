// Linux as this library's platform: libusb-1.0 is the setup library (loaded
// by name at run time), the calibrators are the USB devices on the ID list
// (calibrator_ids.h), and the parallel ports are reached through ppdev.
#pragma once

#include "../../src/platform.h"

namespace zdx {

const PlatformOps& linux_platform();

}  // namespace zdx
