// An archived run as the tool's JSON gives it: its facts, its figures with
// their uncertainty, its trim decision and, when whole, its readings.
#pragma once

#include <nlohmann/json.hpp>

#include "archived_run.h"

namespace zdxtool {

nlohmann::ordered_json ArchivedRunJson(const q270::ArchivedRun& run, bool whole);

}  // namespace zdxtool
