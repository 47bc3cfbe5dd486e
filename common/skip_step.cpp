#include "skip_step.h"

namespace zdx {

// Debug messages are off by default: a missing library would otherwise log
// on every cycle.
Q_LOGGING_CATEGORY(lcCycle, "zdx.cycle", QtInfoMsg)

void logSkipped(const char* what, const char* reason) noexcept {
    try {
        if (reason != nullptr)
            qCDebug(lcCycle, "%s skipped: %s", what, reason);
        else
            qCDebug(lcCycle, "%s skipped", what);
    } catch (...) {
        // Not even the log could be written: the step stays skipped all the same.
    }
}

}  // namespace zdx
