// The trim choice the search's line for K trim resistors gives when the
// operator clicks it: the search's best vector for K on the run's untrimmed
// readings, placed as the window places it. The tool's `decide` records
// exactly this.
#pragma once

#include <optional>

#include "run_file.h"

namespace q270 {

// None when the search for `count` trim resistors finds nothing (or the
// readings give no finite evaluation).
std::optional<PerStep<std::int16_t>> SearchDecision(const RunRecord& record, int count);

}  // namespace q270
