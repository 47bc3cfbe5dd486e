// The site's acceptance settings: section "Acceptance" of the Q270 programs'
// settings store. LinErrLimit (ppm, for |LinErr| at each 10 % point; none or
// not a positive number: no verdict), Rule ("simple", "guarded" — the default
// — or "non-binary"), TrimTolerancePercent (of the trim resistors, default 1).
#pragma once

#include <QString>
#include <string>

#include "statement.h"

namespace q270 {

struct AcceptanceSettings {
    Acceptance acceptance;
    double trimTolerance = kDefaultTrimTolerance;  // relative
    std::string problem;  // a value that was not understood, and what was used instead
};

AcceptanceSettings ReadAcceptanceSettings(const QString& application);

}  // namespace q270
