// Where the tool's runs come from: run files and the configured archive.
// Each says on stderr why it gives nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archived_run.h"
#include "run_file.h"
#include "sql_archive.h"
#include "tool_output.h"

namespace zdxtool {

// The run file read, or nothing after its error went to stderr.
std::optional<q270::RunRecord> LoadRun(const std::string& path);

// Opens the configured archive after sending what waits in the spool; on
// failure says why on stderr and gives nothing.
std::unique_ptr<q270::SqlArchive> OpenArchive();

// The runs a query of the archive gives; none, and the reason told, when the
// archive cannot be opened or read.
template <typename Query>
std::optional<std::vector<q270::ArchivedRun>> ReadRuns(Query&& query) {
    const auto archive = OpenArchive();
    if (!archive) return std::nullopt;
    try {
        return query(*archive);
    } catch (const q270::ArchiveError& error) {
        Complain(error.what());
        return std::nullopt;
    }
}

}  // namespace zdxtool
