// Archived runs as the tool prints them: JSON for scripts, CSV for a
// spreadsheet, a line of text for a person.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "archived_run.h"
#include "sql_archive.h"
#include "uncertainty.h"

namespace zdxtool {

// The Type A uncertainty of an archived run's figures, from its readings.
struct RunUncertainty {
    double noise = 0;                                // of one reading, volts
    std::array<double, q270::kPointCount> linErr{};  // u(LinErr), points 1..10
    double atLargest = 0;                            // u of the largest |LinErr|
    q270::TrimPrediction prediction;                 // of its trim decision, if any
};
RunUncertainty UncertaintyOf(const q270::ArchivedRun& run);

// The archive's figures of a run; with `whole`, its readings and reply texts too.
nlohmann::ordered_json ArchivedRunJson(const q270::ArchivedRun& run, bool whole);

// The header line and one line per run of the CSV export.
std::string ArchiveCsvHeader();
std::string ArchiveCsvLine(const q270::ArchivedRun& run);

// The trim choices as resistor and value, "R114=750k R98=301k"; "-" for none.
std::string TrimsText(const std::array<std::int16_t, q270::kStepCount>& shuntSel);

// Opens the configured archive after sending what waits in the spool; on
// failure says why on stderr and gives nothing.
std::unique_ptr<q270::SqlArchive> OpenArchive();

}  // namespace zdxtool
