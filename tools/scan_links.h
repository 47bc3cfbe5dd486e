// What a scan's run is linked to before it is measured: the archived run
// whose trim decision it verifies (`--as-left`), the limit and rule it is
// judged by, and the meter it is measured with, as the register has it.
#pragma once

#include <optional>
#include <string>

#include "archived_run.h"
#include "sql_archive.h"

namespace zdxtool {

// Why `asFound` cannot have an as-left run measured on the calibrator with
// this serial number; empty when it can.
std::string AsLeftProblem(const std::optional<q270::ArchivedRun>& asFound, const std::string& runId,
                          const std::string& serial);

// Why a run measured now with this meter would get no conformity statement
// (a meter not named, not in the register or past due); empty when in date.
std::string MeterWarning(q270::SqlArchive& archive, const std::optional<std::string>& meterId,
                         const std::string& nowUtc);

}  // namespace zdxtool
