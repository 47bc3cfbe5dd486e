// Archived runs for a spreadsheet: one header line, one line per run, one
// column per fact and figure. Text cells that a spreadsheet would take for a
// formula are neutralised; numbers are in their shortest exact form.
#pragma once

#include <string>

#include "archived_run.h"
#include "calibration.h"

namespace zdxtool {

std::string ArchiveCsvHeader();
std::string ArchiveCsvLine(const q270::ArchivedRun& run, const q270::RunVerdict& verdict);

// A text as one CSV cell: quoted when it holds a separator, a quote or a
// line end; a leading '=', '+', '-', '@', tab or CR (a formula to a
// spreadsheet) behind an apostrophe.
std::string CsvText(const std::string& text);
// A number in its shortest form that reads back exactly.
std::string CsvNumber(double value);

}  // namespace zdxtool
