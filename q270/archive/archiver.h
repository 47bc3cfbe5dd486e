// Archiving without losing a run, write-ahead: the run is first kept in the
// spool folder (on disk), then sent to the archive, and its spool file is
// removed only once the archive has confirmed it. Whatever waits in the spool
// is sent first, each run once: the run ID makes a second store of the same
// run change nothing. A spool file that can never be stored is set aside and
// named every time, never dropped.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive_settings.h"
#include "spool.h"
#include "sql_archive.h"

namespace q270 {

struct ArchiveReport {
    bool archived = false;  // the run is in the archive (stored now or before)
    bool spooled = false;   // the run waits in the spool instead
    int sent = 0;           // runs of the spool archived now
    int waiting = 0;        // runs still in the spool
    std::string problem;    // why the archive could not be used, empty when it could
    // What happened to a spool file besides being sent, one line each: set
    // aside as refused or conflicting, left for a newer program, unreadable
    // now, stored but not removable.
    std::vector<std::string> notes;
    std::vector<std::string> setAside;  // names of every file set aside in the spool folder
};

// One line for a status bar or stderr: the run's fate, the spool's state and
// the files set aside, by name.
std::string ArchiveStatusText(const ArchiveReport& report);

class Archiver {
  public:
    using Opener = std::function<std::unique_ptr<SqlArchive>()>;

    Archiver(Opener open, Spool spool) : open_(std::move(open)), spool_(std::move(spool)) {}
    // The configured archive of the application's settings and the default spool.
    static Archiver Configured(const QString& application);
    // The archive at these settings and this spool folder.
    static Archiver At(const ArchiveSettings& settings, const std::string& spoolFolder);

    // Keeps the run in the spool, then sends the spool (the run last).
    ArchiveReport archive(const ArchivedRun& run);
    // Sends what waits in the spool.
    ArchiveReport sendSpool();

    const Spool& spool() const { return spool_; }

  private:
    // Sends the spool through an open archive; false (problem set) when the
    // archive failed on the way. `confirmed` gets the run IDs now archived.
    bool send(SqlArchive& archive, ArchiveReport& report, std::vector<std::string>& confirmed);
    void finish(ArchiveReport& report) const;

    Opener open_;
    Spool spool_;
};

}  // namespace q270
