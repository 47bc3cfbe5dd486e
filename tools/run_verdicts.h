// The calibration statement in short for each run a list shows (history,
// export): its verdict against the limit kept with it, why none, and for an
// as-left run whether it meets its decision's prediction.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archived_run.h"
#include "calibration.h"
#include "sql_archive.h"

namespace zdxtool {

// One RunVerdict per run, in order. Each run is judged with its meter's
// register entry in force when it started; an as-left run's as-found run is
// taken from `runs` or fetched. Throws ArchiveError.
std::vector<q270::RunVerdict> VerdictsOf(q270::SqlArchive& archive,
                                         const std::vector<q270::ArchivedRun>& runs,
                                         const q270::ReportOptions& site);

// "pass", "conditional pass", "conditional fail", "fail"; empty for none.
std::string VerdictText(const q270::RunVerdict& verdict);

// The keys "verdict", "statement_withheld", "prediction_agrees" and
// "statement" (its figures, U per point; no verdicts when withheld).
void AddVerdict(nlohmann::ordered_json& doc, const q270::RunVerdict& verdict);

}  // namespace zdxtool
