// The archive over Qt SQL: one implementation for the embedded SQLite default
// and a lab's PostgreSQL server. Opening migrates the schema; a run is stored
// in one transaction, whole or not at all, keyed by its run ID, so storing it
// again changes nothing. A trim decision made later is added as an amendment;
// the run as archived is never overwritten.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "archive_schema.h"
#include "archive_settings.h"
#include "archived_run.h"

namespace q270 {

enum class StoreOutcome {
    Stored,
    AlreadyStored,  // the same run, stored before
    Conflict,       // a run of this ID with other content is there: nothing changed
};

enum class AmendOutcome {
    Amended,
    Unchanged,  // the decision in force is this one already
};

struct RunQuery {
    std::optional<std::string> serial;
    std::optional<std::string> since;    // UTC, "YYYY-MM-DDTHH:MM:SSZ": runs started then or later
    std::optional<std::string> meterId;  // runs measured with this reference meter
    std::optional<std::string> until;    // UTC: runs started then or earlier
};

// A stored run that cannot be read back whole, or whose rows no longer give
// its stored digest.
struct RunProblem {
    std::string runId;
    std::string problem;
};

inline RunQuery OfUnit(const std::string& serial) {
    RunQuery query;
    query.serial = serial;
    return query;
}

class SqlArchive {
  public:
    // Opens (and for SQLite creates) the archive and brings its schema up to
    // date. Throws ArchiveError when it cannot be reached, is damaged or is
    // newer than this program. Use an archive on the thread that opened it.
    explicit SqlArchive(const ArchiveSettings& settings);
    ~SqlArchive();
    SqlArchive(const SqlArchive&) = delete;
    SqlArchive& operator=(const SqlArchive&) = delete;

    // Throws ContentRefused for a run whose texts the archive does not keep
    // (or the database refuses), ArchiveError when the archive fails.
    StoreOutcome store(const ArchivedRun& run);
    // Adds a trim decision to an archived run (MakeAmendment). Throws
    // ArchiveError when there is no such run or the archive fails.
    AmendOutcome amend(const std::string& runId, const Amendment& amendment);

    // The runs of the query, oldest first (by start time, then run ID), each
    // with its amendments. A run that cannot be read whole is left out and
    // named in `damaged`; the form without throws ArchiveError for it.
    std::vector<ArchivedRun> runs(const RunQuery& query, std::vector<RunProblem>& damaged);
    std::vector<ArchivedRun> runs(const RunQuery& query);
    std::vector<ArchivedRun> history(const std::string& serial, std::vector<RunProblem>& damaged) {
        return runs(OfUnit(serial), damaged);
    }
    std::vector<ArchivedRun> history(const std::string& serial) { return runs(OfUnit(serial)); }
    // Throws ArchiveError for a run that cannot be read whole.
    std::optional<ArchivedRun> fetch(const std::string& runId);

    // Every run (and amendment) whose rows no longer give its stored digest,
    // or that cannot be read whole; `checked` counts the runs read.
    std::vector<RunProblem> verify(int* checked = nullptr);

    // "SQLite archive /path" or "PostgreSQL archive db on host".
    const std::string& where() const { return where_; }
    // The archive's connection, for the meter register kept beside the runs.
    const QString& connectionName() const { return connection_; }

  private:
    QString connection_;
    std::string where_;
};

}  // namespace q270
