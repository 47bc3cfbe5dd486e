// report: one calibration as a PDF to file with the unit: from the archive
// (by run ID, as-found and as-left runs paired by the link the operator gave)
// or from a run file.
#include <filesystem>

#include "application.h"
#include "calibration.h"
#include "commands.h"
#include "meter_register.h"
#include "options.h"
#include "report_content.h"
#include "report_options.h"
#include "report_pdf.h"
#include "run_figures.h"
#include "run_sources.h"

namespace zdxtool {

namespace {

// A run file's trim choices stand for its decision: they are what the
// operator had on screen when it was saved.
std::optional<q270::ArchivedRun> runOfFile(const std::string& path) {
    const auto record = LoadRun(path);
    if (!record) return std::nullopt;
    try {
        return q270::MakeArchivedRun(*record, {}, "", q270::DecisionOf(*record));
    } catch (const q270::RunFileError& error) {
        Complain(error.what());
        return std::nullopt;
    }
}

// The register's entry in force for the run's meter; none (and the report
// says why it gives no conformity statement) when it has none.
std::optional<q270::ReferenceMeter> meterOf(const q270::ArchivedRun& run) {
    if (!run.record.meterId) return std::nullopt;
    const auto archive = OpenArchive();
    if (!archive) return std::nullopt;
    try {
        q270::MeterRegister meters(*archive);
        return q270::MeterInForce(run.record.meterId, run.record.time,
                                  meters.entriesOf(*run.record.meterId))
            .entry;
    } catch (const q270::ArchiveError& error) {
        Complain(error.what());
        return std::nullopt;
    }
}

}  // namespace

int CmdReport(const Arguments& args) {
    const Options options(args, {}, {"-o|--output"});
    if (!options.error().empty()) return UsageError("report", options.error());
    if (options.positionals().size() != 1)
        return UsageError("report", "give one run: a run ID or a run file");
    const std::string& source = options.positionals()[0];
    const std::string output = options.value("--output").value_or("");
    if (output.empty()) return UsageError("report", "give the report's file with -o FILE.pdf");

    std::optional<q270::Calibration> calibration;
    const bool isFile = std::filesystem::exists(source);
    if (isFile) {
        const auto run = runOfFile(source);
        if (!run) return kExitFailed;
        calibration = q270::Calibration{*run, std::nullopt};
    }
    if (!isFile) {
        // The archive gives the run by its ID, and its unit's runs the other
        // run of its calibration.
        const auto archive = OpenArchive();
        if (!archive) return kExitFailed;
        try {
            auto run = archive->fetch(source);
            if (!run) {
                Complain("no run " + Quoted(source) + " in the " + archive->where());
                return kExitFailed;
            }
            // What the report shows is the decision the archive holds now.
            std::vector<q270::ArchivedRun> unit = archive->history(run->record.calibratorSerial);
            for (q270::ArchivedRun& r : unit) r = q270::WithDecisionInForce(std::move(r));
            calibration = q270::CalibrationOf(q270::WithDecisionInForce(std::move(*run)), unit);
        } catch (const q270::ArchiveError& error) {
            Complain(error.what());
            return kExitFailed;
        }
    }
    const q270::ArchivedRun& found = calibration->asFound;
    // A run left without trims is both; the report shows it once.
    std::optional<q270::ArchivedRun> left = calibration->asLeft;
    if (left && left->runId == found.runId) left.reset();
    std::string problem;
    q270::ReportOptions site =
        q270::SiteReportOptions(QString::fromLatin1(q270::kQ270Application), &problem);
    if (!problem.empty()) Complain(problem);
    site.meter = meterOf(found);
    try {
        q270::WriteReportPdf(q270::MakeReport(found, left, site, '.'), output);
    } catch (const std::exception& error) {
        Complain(error.what());
        return kExitFailed;
    }
    std::printf("report of %s written to %s\n", found.record.calibratorSerial.c_str(),
                output.c_str());
    return kExitDone;
}

}  // namespace zdxtool
