// report: one run as a PDF to file with the unit, from the archive (by run
// ID) or from a run file.
#include <filesystem>

#include "archive_json.h"
#include "commands.h"
#include "evaluation_json.h"
#include "report_pdf.h"

namespace zdxtool {

namespace {

// A run file's trim choices stand for its decision: they are what the
// operator had on screen when it was saved.
std::optional<q270::ArchivedRun> runOfFile(const std::string& path) {
    const auto record = LoadRun(path);
    if (!record) return std::nullopt;
    std::optional<std::array<std::int16_t, q270::kStepCount>> decision;
    for (const auto s : record->ShuntSel)
        if (s != 0) decision = q270::TrimChoicesOf(*record);
    try {
        return q270::MakeArchivedRun(*record, {}, "", decision);
    } catch (const q270::RunFileError& error) {
        Complain(error.what());
        return std::nullopt;
    }
}

}  // namespace

int CmdReport(const Arguments& args) {
    std::string source, output;
    bool wrong = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size())
            output = args[++i];
        else if (source.empty())
            source = args[i];
        else
            wrong = true;
    }
    if (wrong || source.empty() || output.empty()) {
        Complain("usage: report RUN -o FILE.pdf   (RUN: a run ID or a run file)");
        return kExitUsage;
    }

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
            for (auto& e : archive->history(run->record.calibratorSerial))
                if (e.record.time < run->record.time) earlier.push_back(std::move(e));
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
