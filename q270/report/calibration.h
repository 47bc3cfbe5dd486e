// One calibration of a unit as the archive links it: the as-found run with
// its trim decision and the as-left run the operator named as the one that
// verifies it (never guessed from times). A unit left without trims has one
// run that is both.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archived_run.h"
#include "report_content.h"
#include "sql_archive.h"

namespace q270 {

struct Calibration {
    ArchivedRun asFound;
    std::optional<ArchivedRun> asLeft;  // none: not measured yet
};

// Whether the run's trim decision fits at least one trim resistor.
bool FitsTrims(const ArchivedRun& run);

// The calibration `run` belongs to among its unit's runs: as the as-left run
// of the run it names, or as the as-found run with its latest as-left run.
// An as-left run whose as-found run is not among them stands alone.
Calibration CalibrationOf(const ArchivedRun& run, const std::vector<ArchivedRun>& unitRuns);

// The runs of a unit a new run may be the as-left run of: as-found runs with
// a decision that fits trims, newest first.
std::vector<ArchivedRun> AsLeftCandidates(const std::vector<ArchivedRun>& unitRuns);

// The limit and rule a run is judged by: those kept with it, else the site's.
Acceptance AcceptanceOf(const ArchivedRun& run, const ReportOptions& options);

// A run's conformity statement in short, as a list of runs gives it.
struct RunVerdict {
    Statement statement;             // of the run's readings, by its acceptance
    std::optional<Verdict> verdict;  // none when withheld or no limit is set
    std::string withheldBecause;
    // An as-left run of a decision with trims: whether every 10 % point
    // agrees with the prediction (none for other runs).
    std::optional<bool> predictionAgrees;
};

// `asFound`: the run `run` is the as-left run of, when it is one.
RunVerdict VerdictOfRun(const ArchivedRun& run, const std::optional<ArchivedRun>& asFound,
                        const ReportOptions& options);

// One RunVerdict per run, in order: each run judged with its meter's register
// entry in force when it started; an as-left run against the decision in
// force of its as-found run, taken from `runs` or fetched. Throws ArchiveError.
std::vector<RunVerdict> VerdictsOf(SqlArchive& archive, const std::vector<ArchivedRun>& runs,
                                   const ReportOptions& site);

}  // namespace q270
