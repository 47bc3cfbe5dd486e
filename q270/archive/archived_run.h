// One run as the archive keeps it: the run record (readings with the meter's
// reply texts, trim choices, calibrator, meter, start time), where and by whom
// it was measured, its untrimmed evaluation and the operator's trim decision
// with the errors that decision predicts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "run_file.h"
#include "statement.h"

namespace q270 {

// The trim choice on screen when the operator left the results view, and the
// 10 % point errors it predicts.
struct TrimDecision {
    PerStep<std::int16_t> ShuntSel{};
    PerPoint<double> predictedLinErr{};
    double predictedErrSq = 0;
};

struct RunOrigin {
    std::string benchHost;
    std::string operatorLogin;
    std::string programVersion;
};

struct ArchivedRun {
    std::string runId;
    RunRecord record;  // record.time in UTC, "YYYY-MM-DDTHH:MM:SSZ"
    RunOrigin origin;
    PerPoint<double> linErr{};  // untrimmed
    double errSq = 0;
    std::optional<TrimDecision> decision;
    // The run whose trim decision this run verifies (its as-left run), as the
    // operator said; none for an as-found run. Never guessed from times.
    std::optional<std::string> asLeftOf;
    // The limit and rule in force when the run was measured, kept so that a
    // later change of the site's settings does not rewrite its statement;
    // none for a run archived before they were kept.
    std::optional<Acceptance> acceptance;
};

// This machine, the user logged in and this program's version.
RunOrigin ThisBench();
// A new run ID: unique across benches without asking anyone.
std::string NewRunId();

// The run with its evaluation and, given trim choices, its trim decision.
// Throws RunFileError for a record that is no complete run.
ArchivedRun MakeArchivedRun(const RunRecord& record, const RunOrigin& origin, std::string runId,
                            const std::optional<PerStep<std::int16_t>>& decision);

// An ISO 8601 time in UTC to the second, "YYYY-MM-DDTHH:MM:SSZ"; empty when
// the text is no ISO 8601 time.
std::string UtcTime(const std::string& iso8601);

// The largest |LinErr| of the untrimmed evaluation.
double LargestLinErr(const ArchivedRun& run);

}  // namespace q270
