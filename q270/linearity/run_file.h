// The run file: one linearity run kept on disk (docs/run-file.md), so that a
// unit can be evaluated and optimised again without measuring it again. A
// versioned JSON document with the twenty pairs of readings as the meter sent
// them and as numbers, the trim choices, the calibrator, the meter and the time.
//
// Reading refuses anything that is not such a run: a refused file gives a
// RunFileError naming the file and the field, never a record built from part
// of it.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "evaluation.h"
#include "reply_recorder.h"
#include "step_sequence.h"

namespace q270 {

inline constexpr const char* kRunFileFormat = "zdx-q270-run";
inline constexpr int kRunFileVersion = 1;

// Every reading comes from the meter's 1 V range (120 % of it is its largest
// reading) at a resolution of 1E-6 V: anything outside is no divider voltage.
inline constexpr double kLowestReadingVolts = 1E-6;
inline constexpr double kHighestReadingVolts = 1.2;

// A reading as it arrived: the meter's reply (line end and all) and its value.
struct RunReading {
    std::string text;
    double volts = 0;
};

// Per step 1..kStepCount, as ResultsData: record.Mw1[step] is data.Mw1[step].
struct RunRecord {
    PerStep<RunReading> Mw1{};
    PerStep<RunReading> Mw2{};
    PerStep<std::int16_t> ShuntSel{};  // 0..5 per step
    std::string calibratorSerial;
    std::string calibratorId;
    std::optional<std::string> meterId;
    std::string time;  // ISO 8601, e.g. "2026-12-08T02:15:00Z"
};

class RunFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The record in `text`; `name` (the file's name) starts every error message.
RunRecord ParseRunFile(std::string_view text, const std::string& name);
RunRecord ReadRunFile(const std::string& path);

// The document for a record (refused, as a read would refuse it, when the
// record is no complete run; `name` starts the message).
std::string RunFileText(const RunRecord& record, const std::string& name = "run");
// Writes the file whole or not at all: into a temporary file beside it, then
// renamed over it. Throws RunFileError.
void WriteRunFile(const std::string& path, const RunRecord& record);

// A record of a complete run from the meter's forty replies (two per step, in
// order) and the trim choices in `data`; throws RunFileError when a reply is
// missing or is no reading. The caller fills in calibrator, meter and time.
RunRecord MakeRunRecord(const std::vector<std::string>& replies, const ResultsData& data);

// The record of a complete run measured on `serial` (whose identification
// `id` may be empty): the replies and start time `replies` kept, the trim
// choices in `data`; the meter is left unnamed. Throws as MakeRunRecord.
RunRecord RecordOfRun(const ReplyRecorder& replies, const ResultsData& data,
                      const std::string& serial, const std::string& id);

// The readings and trim choices of a record, ready for CalcResults.
ResultsData ToResultsData(const RunRecord& record);

// The current time in UTC, ISO 8601 to the second.
std::string CurrentTimeIso8601();

}  // namespace q270
