// The results window's archive work: storing a run, reading a unit's history
// and looking up the reference meter a statement or a report needs. All of it
// runs in one ArchiveWorker on one thread of its own, in the order asked, so
// that a server that is slow or silent never holds the window, and a history
// read sees the run stored just before it. Answers come back on the window's
// thread, and only while the window exists.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archived_run.h"
#include "archiver.h"
#include "calibration.h"
#include "meter_register.h"
#include "report_content.h"

namespace q270 {

// The register's entry in force for a run's meter; `problem` says why the
// register could not be read (and then there is no entry).
struct MeterLookup {
    std::optional<ReferenceMeter> entry;
    std::string problem;
};

// The statement of a run as measured against the site's acceptance, given
// what the register said of its meter: "why none" names an unreadable
// register as readily as an unknown meter.
std::string RunStatementLine(const ArchivedRun& run, ReportOptions options,
                             const MeterLookup& meter, char decimalSeparator);
// A run's verdict in a word ("PASS", "FAIL", ...), or "none (why)", by the
// limit kept with it; for an as-left run of a decision with trims, whether
// the prediction held.
std::string RunVerdictText(const RunVerdict& verdict);

struct HistoryRead {
    std::vector<ArchivedRun> runs;      // oldest first
    std::vector<std::string> verdicts;  // one per run
    std::string problem;                // why the archive could not be read
};

// What a report of the run on screen needs from the archive: the calibration
// it belongs to (its as-found and as-left runs, as the archive links them)
// and the register's entry for the as-found run's meter.
struct ReportFacts {
    Calibration calibration;
    MeterLookup meter;
};

// Lives on the archivist's thread; each job opens the configured archive,
// uses it and closes it again.
class ArchiveWorker : public QObject {
    Q_OBJECT

  public:
    explicit ArchiveWorker(QString application) : application_(std::move(application)) {}

    ArchiveReport store(const ArchivedRun& run);
    // Why the amendment was not kept; empty when it was.
    std::string amend(const std::string& runId, const Amendment& amendment);
    HistoryRead history(const std::string& serial);
    MeterLookup meterOf(const ArchivedRun& run);
    // `run` with its unit's archived runs; alone when the archive cannot be read.
    ReportFacts reportOf(const ArchivedRun& run);

  private:
    // One archive for the lookups of a job; opened at the first.
    MeterLookup lookup(const ArchivedRun& run, std::unique_ptr<SqlArchive>& archive);

    QString application_;
};

class ResultsArchivist {
  public:
    // Answers are delivered on `window`'s thread while it exists.
    ResultsArchivist(QString application, QObject* window);
    // Stores asked for are still done (a store the archive cannot take ends
    // in the spool); reads not begun are dropped. Returns once the worker is
    // done: its waits on a server are bounded by the archive's own time-outs.
    ~ResultsArchivist();
    ResultsArchivist(const ResultsArchivist&) = delete;
    ResultsArchivist& operator=(const ResultsArchivist&) = delete;

    void store(ArchivedRun run, std::function<void(const ArchiveReport&)> done);
    // A trim decision changed after the run was archived; done with why it
    // was not kept (empty when it was). Done also when the window closes.
    void amend(std::string runId, Amendment amendment,
               std::function<void(const std::string&)> done);
    void history(std::string serial, std::function<void(HistoryRead&)> done);
    void meterOf(ArchivedRun run, std::function<void(const MeterLookup&)> done);
    void reportOf(ArchivedRun run, std::function<void(const ReportFacts&)> done);

    // Blocks until everything asked so far has been done, then delivers its
    // answers. For the end of the program and for tests.
    void waitUntilDone();

  private:
    // Runs `job` on the worker after the jobs before it; its answer is
    // handed to `deliver` on the window's thread.
    template <typename Answer>
    void post(bool keepOnClose, std::function<Answer(ArchiveWorker&)> job,
              std::function<void(Answer&)> deliver);

    QPointer<QObject> window_;
    QThread thread_;
    ArchiveWorker* worker_;
    std::shared_ptr<std::atomic<bool>> closing_;
};

}  // namespace q270
