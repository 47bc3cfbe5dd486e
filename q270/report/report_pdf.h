// A report drawn on PDF pages (A4): the facts of the run, the results table
// in the window's colours, the plot of the 10 % point errors, the readings
// as the meter sent them, the trim decision and the follow-up comparison.
// Needs a QGuiApplication (fonts).
#pragma once

#include <string>

#include "report_content.h"

namespace q270 {

// Writes the report to `path` whole or not at all (a temporary file beside
// it, then renamed). Throws std::runtime_error when it cannot be written.
void WriteReportPdf(const ReportContent& content, const std::string& path);

}  // namespace q270
