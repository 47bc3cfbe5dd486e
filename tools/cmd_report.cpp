// report: one run as a PDF to file with the unit, from the archive (by run
// ID) or from a run file.
#include <filesystem>

#include "commands.h"
#include "options.h"
#include "report_content.h"
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

}  // namespace

int CmdReport(const Arguments& args) {
    const Options options(args, {}, {"-o|--output"});
    if (!options.error().empty()) return UsageError("report", options.error());
    if (options.positionals().size() != 1)
        return UsageError("report", "give one run: a run ID or a run file");
    const std::string& source = options.positionals()[0];
    const std::string output = options.value("--output").value_or("");
    if (output.empty()) return UsageError("report", "give the report's file with -o FILE.pdf");

    std::optional<q270::ArchivedRun> run;
    std::vector<q270::ArchivedRun> earlier;
    const bool isFile = std::filesystem::exists(source);
    if (isFile) {
        run = runOfFile(source);
        if (!run) return kExitFailed;
    }
    // The archive gives the run by its ID and the unit's earlier runs, whose
    // last trim decision this run may follow.
    const auto archive = OpenArchive();
    if (!archive && !isFile) return kExitFailed;
    try {
        if (!isFile) {
            run = archive->fetch(source);
            if (!run) {
                Complain("no run " + Quoted(source) + " in the " + archive->where());
                return kExitFailed;
            }
        }
        if (archive)
            earlier = q270::RunsBefore(archive->history(run->record.calibratorSerial), *run);
    } catch (const q270::ArchiveError& error) {
        Complain(error.what());
        if (!isFile) return kExitFailed;
    }
    try {
        q270::WriteReportPdf(q270::MakeReport(*run, earlier, '.'), output);
    } catch (const std::exception& error) {
        Complain(error.what());
        return kExitFailed;
    }
    std::printf("report of %s written to %s\n", run->record.calibratorSerial.c_str(),
                output.c_str());
    return kExitDone;
}

}  // namespace zdxtool
