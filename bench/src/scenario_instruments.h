// The scenario keys of the measuring chain: a Q270's output divider and the
// multimeter on a serial port (the format is described in docs/bench.md).
#pragma once

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>

#include "divider.h"
#include "meter_model.h"

namespace zdx::bench {

// The "divider" object of a Q270; defaults when `j` is null.
DividerConfig parseDivider(const nlohmann::json& j);

// A serial device of kind "meter".
std::unique_ptr<MeterModel> makeMeter(const nlohmann::json& j,
                                      std::chrono::steady_clock::time_point loadedAt);

}  // namespace zdx::bench
