// One run as the archive keeps it: the run record (readings with the meter's
// reply texts, trim choices, calibrator, meter, start time), where and by whom
// it was measured, its untrimmed evaluation, the operator's trim decision
// with the errors that decision predicts, and the decisions made after it was
// archived (amendments: the original is never overwritten).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// A trim decision made after the run was archived: when, by whom, and the
// new choice with its prediction.
struct Amendment {
    std::string time;  // UTC, "YYYY-MM-DDTHH:MM:SSZ"
    std::string operatorLogin;
    TrimDecision decision;
};

struct ArchivedRun {
    std::string runId;
    RunRecord record;  // record.time in UTC, "YYYY-MM-DDTHH:MM:SSZ"
    RunOrigin origin;
    PerPoint<double> linErr{};  // untrimmed
    double errSq = 0;
    std::optional<TrimDecision> decision;  // as archived with the run
    // The run whose trim decision this run is the as-left run of; set only
    // by whoever knows it, never guessed from serial and time.
    std::optional<std::string> asLeftOf;
    // The acceptance in force when the run was archived, so that a later
    // change of the settings does not change what its statement said.
    std::optional<Acceptance> acceptance;
    std::vector<Amendment> amendments;  // oldest first
};

// The decision in force: the latest amendment's, else the archived one.
struct DecisionInForce {
    std::optional<TrimDecision> decision;
    bool amended = false;
    std::string amendedAt;  // of the latest amendment, when amended
    std::string amendedBy;
};
DecisionInForce CurrentDecision(const ArchivedRun& run);
// The run with its decision in force as its decision, for a writer that
// shows one decision (a report): what it shows is what the archive holds now.
ArchivedRun WithDecisionInForce(ArchivedRun run);

// This machine, the user logged in and this program's version.
RunOrigin ThisBench();
// A new run ID: unique across benches without asking anyone.
std::string NewRunId();

// The run with its evaluation and, given trim choices, its trim decision.
// Throws RunFileError for a record that is no complete run, or a text of the
// run or its origin with control characters.
ArchivedRun MakeArchivedRun(const RunRecord& record, const RunOrigin& origin, std::string runId,
                            const std::optional<PerStep<std::int16_t>>& decision);

// A new trim decision for an archived run, made now by `operatorLogin`, with
// the errors it predicts from the run's readings. Throws RunFileError for a
// choice that is no trim choice or an operator text with control characters.
Amendment MakeAmendment(const ArchivedRun& run, const PerStep<std::int16_t>& shuntSel,
                        const std::string& operatorLogin);

// Why a run's texts cannot enter the archive (control characters, too long,
// a run ID that is none); empty when they can.
std::string ArchivedRunProblem(const ArchivedRun& run);
// A text an archive keeps: valid UTF-8 without control characters, at most
// 200 bytes.
bool IsArchiveText(const std::string& text);
// A run ID: letters, digits and '-', at most 64 (it names a spool file).
bool IsRunId(const std::string& id);

// An ISO 8601 time in UTC to the second, "YYYY-MM-DDTHH:MM:SSZ"; empty when
// the text is no ISO 8601 time.
std::string UtcTime(const std::string& iso8601);

// The largest |LinErr| of the untrimmed evaluation.
double LargestLinErr(const ArchivedRun& run);

}  // namespace q270
