// One run as the archive keeps it: the run record (readings with the meter's
// reply texts, trim choices, calibrator, meter, start time), where and by whom
// it was measured, its untrimmed evaluation and the operator's trim decision
// with the errors that decision predicts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "run_file.h"

namespace q270 {

inline constexpr int kPointCount = 10;  // the 10 % points 1..10

// The trim choice on screen when the operator left the results view, and the
// 10 % point errors it predicts (points 1..10 at index 0..9).
struct TrimDecision {
    std::array<std::int16_t, kStepCount> ShuntSel{};
    std::array<double, kPointCount> predictedLinErr{};
    double predictedErrSq = 0;
};

// A record's trim choices in a decision's order (step 1 at index 0).
inline std::array<std::int16_t, kStepCount> TrimChoicesOf(const RunRecord& record) {
    std::array<std::int16_t, kStepCount> choices{};
    for (int step = 1; step <= kStepCount; ++step)
        choices[std::size_t(step - 1)] = record.ShuntSel[std::size_t(step)];
    return choices;
}

struct RunOrigin {
    std::string benchHost;
    std::string operatorLogin;
    std::string programVersion;
};

struct ArchivedRun {
    std::string runId;
    RunRecord record;  // record.time in UTC, "YYYY-MM-DDTHH:MM:SSZ"
    RunOrigin origin;
    std::array<double, kPointCount> linErr{};  // untrimmed, points 1..10
    double errSq = 0;
    std::optional<TrimDecision> decision;
};

// This machine, the user logged in and this program's version.
RunOrigin ThisBench();
// A new run ID: unique across benches without asking anyone.
std::string NewRunId();

// The run with its evaluation and, given trim choices, its trim decision.
// Throws RunFileError for a record that is no complete run.
ArchivedRun MakeArchivedRun(const RunRecord& record, const RunOrigin& origin, std::string runId,
                            const std::optional<std::array<std::int16_t, kStepCount>>& decision);

// An ISO 8601 time in UTC to the second, "YYYY-MM-DDTHH:MM:SSZ"; empty when
// the text is no ISO 8601 time.
std::string UtcTime(const std::string& iso8601);

// The largest |LinErr| of the untrimmed evaluation.
double LargestLinErr(const ArchivedRun& run);

}  // namespace q270
