// The virtual bench as this library's platform: every operation of the seam
// becomes one request to the zdx-bench process named by ZDXUSBCAL_BENCH.
#pragma once

#include "../../src/platform.h"

namespace zdx {

const PlatformOps& bench_platform();

}  // namespace zdx
