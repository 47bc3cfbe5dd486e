#include "report_options.h"

#include "acceptance_settings.h"

namespace q270 {

ReportOptions SiteReportOptions(const QString& application, std::string* problem) {
    const AcceptanceSettings site = ReadAcceptanceSettings(application);
    if (problem) *problem = site.problem;
    ReportOptions options;
    options.acceptance = site.acceptance;
    options.trimTolerance = site.trimTolerance;
    return options;
}

}  // namespace q270
