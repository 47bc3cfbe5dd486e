// A calibration report drawn on PDF pages (A4): the summary, the results
// table, the resistors' deviations, the plot, the budget, the method, the
// signature block and the meter's replies, with the report number and
// "page n of m" on every page. Needs a QGuiApplication (fonts).
#pragma once

#include <string>

#include "report_content.h"

namespace q270 {

// Writes the report to `path` whole or not at all. Throws std::runtime_error
// when it cannot be written.
void WriteReportPdf(const ReportContent& content, const std::string& path);

}  // namespace q270
