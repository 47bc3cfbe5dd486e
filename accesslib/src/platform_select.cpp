// Chooses the backend of this process once, at its first use.
#include <cstdlib>

#include "platform.h"

#if defined(_WIN32)
#include "../backends/win32/win32_backend.h"
#else
#if defined(ZDX_WITH_BENCH_BACKEND)
#include "../backends/bench/bench_backend.h"
#endif
#if defined(ZDX_WITH_LINUX_BACKEND)
#include "../backends/linux/linux_backend.h"
#endif
#endif
#include "../backends/null/null_backend.h"

namespace zdx {

namespace {

const PlatformOps& choose() {
#if defined(_WIN32)
    return win32_platform();
#else
#if defined(ZDX_WITH_BENCH_BACKEND)
    const char* bench = std::getenv("ZDXUSBCAL_BENCH");
    if (bench != nullptr && bench[0] != '\0') return bench_platform();
#endif
#if defined(ZDX_WITH_LINUX_BACKEND)
    return linux_platform();
#else
    return null_platform();
#endif
#endif
}

}  // namespace

const PlatformOps& selected_platform() {
    static const PlatformOps& ops = choose();
    return ops;
}

}  // namespace zdx
