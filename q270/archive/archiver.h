// Archiving without losing a run: the run goes to the archive, or, when the
// archive cannot be reached (server down, disk full, database locked, damaged
// or newer than this program), into the spool folder. Whatever waits in the
// spool is sent first, each run once: the run ID makes a second store of the
// same run change nothing, and a spool file is removed only after its run is
// in the archive.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "archive_settings.h"
#include "spool.h"
#include "sql_archive.h"

namespace q270 {

struct ArchiveReport {
    bool archived = false;  // the run is in the archive (stored now or before)
    bool spooled = false;   // the run was kept in the spool instead
    int sent = 0;           // runs of the spool archived now
    int waiting = 0;        // runs still in the spool
    std::string problem;    // why the archive could not be used, empty when it could
};

// One line for a status bar or stderr.
std::string ArchiveStatusText(const ArchiveReport& report);

class Archiver {
  public:
    using Opener = std::function<std::unique_ptr<SqlArchive>()>;

    Archiver(Opener open, Spool spool) : open_(std::move(open)), spool_(std::move(spool)) {}
    // The configured archive of the application's settings and the default spool.
    static Archiver Configured(const QString& application);
    // The archive at these settings and this spool folder.
    static Archiver At(const ArchiveSettings& settings, const std::string& spoolFolder);

    // Sends the spool, then stores the run (or keeps it in the spool).
    ArchiveReport archive(const ArchivedRun& run);
    // Sends what waits in the spool.
    ArchiveReport sendSpool();

    const Spool& spool() const { return spool_; }

  private:
    // Sends the spool through an open archive; false (problem set) when the
    // archive failed on the way.
    bool send(SqlArchive& archive, ArchiveReport& report);

    Opener open_;
    Spool spool_;
};

}  // namespace q270
