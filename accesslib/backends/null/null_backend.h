// A platform without calibrator access: the setup library cannot be bound, the
// port I/O driver cannot be opened. Used where no native backend exists yet.
#pragma once

#include "../../src/platform.h"

namespace zdx {

const PlatformOps& null_platform();

}  // namespace zdx
