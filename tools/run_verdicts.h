// The calibration statement in short of a listed run (VerdictsOf) as the
// tool prints it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archived_run.h"
#include "calibration.h"
#include "sql_archive.h"

namespace zdxtool {

// "pass", "conditional pass", "conditional fail", "fail"; empty for none.
std::string VerdictText(const q270::RunVerdict& verdict);

// The keys "verdict", "statement_withheld", "prediction_agrees" and
// "statement" (its figures, U per point; no verdicts when withheld).
void AddVerdict(nlohmann::ordered_json& doc, const q270::RunVerdict& verdict);

}  // namespace zdxtool
