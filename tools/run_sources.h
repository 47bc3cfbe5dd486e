// Where the tool's runs come from: run files and the configured archive.
// Each says on stderr why it gives nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive_deadline.h"
#include "archived_run.h"
#include "archiver.h"
#include "commands.h"
#include "run_file.h"
#include "sql_archive.h"
#include "terminal_text.h"
#include "tool_output.h"

namespace zdxtool {

// The run file read, or nothing after its error went to stderr.
std::optional<q270::RunRecord> LoadRun(const std::string& path);

// What archiving or sending the spool did besides, on stderr: each file set
// aside, left or not removable, and the spool's state.
void TellArchiveReport(const q270::ArchiveReport& report);

// Opens the configured archive after sending what waits in the spool; on
// failure says why on stderr and gives nothing.
std::unique_ptr<q270::SqlArchive> OpenArchive();

struct RunsRead {
    std::vector<q270::ArchivedRun> runs;
    int damaged = 0;  // runs left out, each named on stderr
};

// The runs a query of the archive gives (called with the archive and a list
// for the damaged runs); none, and the reason told, when the archive cannot
// be opened or read. A damaged run is named on stderr and left out.
template <typename Query>
std::optional<RunsRead> ReadRuns(Query&& query) {
    const auto archive = OpenArchive();
    if (!archive) return std::nullopt;
    try {
        std::vector<q270::RunProblem> damaged;
        RunsRead read;
        {
            const ArchiveDeadline deadline(kExitFailed, "given up");
            read.runs = query(*archive, damaged);
        }
        read.damaged = int(damaged.size());
        for (const q270::RunProblem& d : damaged)
            Complain(TerminalText("run " + d.runId + " is damaged (" + d.problem + "): left out"));
        return read;
    } catch (const q270::ArchiveError& error) {
        Complain(TerminalText(error.what()));
        return std::nullopt;
    }
}

}  // namespace zdxtool
