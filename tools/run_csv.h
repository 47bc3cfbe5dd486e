// Archived runs for a spreadsheet: one header line, one line per run, one
// column per fact and figure.
#pragma once

#include <string>

#include "archived_run.h"

namespace zdxtool {

std::string ArchiveCsvHeader();
std::string ArchiveCsvLine(const q270::ArchivedRun& run);

}  // namespace zdxtool
