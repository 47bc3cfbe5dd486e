// The report's options as the site sets them: the acceptance settings (limit,
// rule, trim tolerance). The meter register's entry is added by the caller.
#pragma once

#include <QString>
#include <string>

#include "report_content.h"

namespace q270 {

// `problem`: a settings value that was not understood, and what was used instead.
ReportOptions SiteReportOptions(const QString& application, std::string* problem = nullptr);

}  // namespace q270
