// The figures of an archived run that more than one writer shows (the tool's
// JSON, CSV and history, the history window, the report), each computed in
// one place.
#pragma once

#include <optional>
#include <string>

#include "archived_run.h"
#include "uncertainty.h"

namespace q270 {

// The trim choices as resistor and value, "R114=750k R98=301k"; "-" for none.
std::string TrimsText(const PerStep<std::int16_t>& shuntSel);

// The trim choices of a record as a decision: none when no step has a trim
// resistor.
std::optional<PerStep<std::int16_t>> DecisionOf(const RunRecord& record);

// The trims a run was left with: its decision in force (CurrentDecision),
// else those of its record.
const PerStep<std::int16_t>& TrimsOf(const ArchivedRun& run);

// The run's readings with these trim choices, ready for an evaluation.
ResultsData ReadingsWithTrims(const RunRecord& record, const PerStep<std::int16_t>& shuntSel);

// The point with the largest |LinErr| of the untrimmed evaluation (1..10).
int LargestPoint(const ArchivedRun& run);

// The Type A uncertainty of an archived run's figures, from its readings.
struct RunUncertainty {
    double noise = 0;           // of one reading, volts
    PerPoint<double> linErr{};  // u(LinErr)
    double atLargest = 0;       // u of the largest |LinErr|
    TrimPrediction prediction;  // of its decision in force, if any
};
RunUncertainty UncertaintyOf(const ArchivedRun& run);

}  // namespace q270
