// A calibration statement as the tool's JSON gives it.
#pragma once

#include <nlohmann/json.hpp>

#include "statement.h"

namespace zdxtool {

// {"k", "nu_eff", "rule", "limit_ppm", "verdict", "ErrSq", "resolution_V",
//  "points": [10 % first: {"percent", "LinErr", "u", "U", "verdict", "budget"}]}
nlohmann::ordered_json StatementJson(const q270::Statement& statement);

}  // namespace zdxtool
