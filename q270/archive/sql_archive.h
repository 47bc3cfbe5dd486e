// The archive over Qt SQL: one implementation for the embedded SQLite default
// and a lab's PostgreSQL server. Opening migrates the schema; a run is stored
// in one transaction, whole or not at all, keyed by its run ID, so storing it
// again changes nothing.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "archive_schema.h"
#include "archive_settings.h"
#include "archived_run.h"

namespace q270 {

enum class StoreOutcome { Stored, AlreadyStored };

struct RunQuery {
    std::optional<std::string> serial;
    std::optional<std::string> since;  // UTC, "YYYY-MM-DDTHH:MM:SSZ": runs started then or later
};

class SqlArchive {
  public:
    // Opens (and for SQLite creates) the archive and brings its schema up to
    // date. Throws ArchiveError when it cannot be reached, is damaged or is
    // newer than this program. Use an archive on the thread that opened it.
    explicit SqlArchive(const ArchiveSettings& settings);
    ~SqlArchive();
    SqlArchive(const SqlArchive&) = delete;
    SqlArchive& operator=(const SqlArchive&) = delete;

    StoreOutcome store(const ArchivedRun& run);
    // The runs of the query, oldest first (by start time, then run ID).
    std::vector<ArchivedRun> runs(const RunQuery& query);
    std::vector<ArchivedRun> history(const std::string& serial) { return runs({serial, {}}); }
    std::optional<ArchivedRun> fetch(const std::string& runId);

    // "SQLite archive /path" or "PostgreSQL archive db on host".
    const std::string& where() const { return where_; }
    // The archive's connection, for the meter register kept beside the runs.
    const QString& connectionName() const { return connection_; }

  private:
    std::vector<ArchivedRun> select(const QString& condition, const std::vector<QString>& values);

    QString connection_;
    std::string where_;
    bool postgres_ = false;
};

}  // namespace q270
