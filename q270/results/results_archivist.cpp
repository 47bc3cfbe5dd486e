#include "results_archivist.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <cctype>
#include <exception>
#include <memory>

#include "calibration.h"
#include "report_options.h"
#include "statement.h"

namespace q270 {

namespace {

std::string withheldBecause(const ArchivedRun& run, const ReportOptions& options,
                            const MeterLookup& meter) {
    if (!meter.problem.empty()) return "the meter register cannot be read: " + meter.problem;
    return WithheldBecause(run, options);
}

}  // namespace

std::string RunStatementLine(const ArchivedRun& run, ReportOptions options,
                             const MeterLookup& meter, char decimalSeparator) {
    options.meter = meter.entry;
    options.acceptance = AcceptanceOf(run, options);
    return StatementLine(MakeStatement(run.record, options.acceptance),
                         withheldBecause(run, options, meter), decimalSeparator);
}

std::string RunVerdictText(const RunVerdict& verdict) {
    std::string text;
    if (verdict.verdict) {
        text = VerdictName(*verdict.verdict);
        for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    } else {
        text = verdict.withheldBecause.empty() ? "none" : "none (" + verdict.withheldBecause + ")";
    }
    if (verdict.predictionAgrees)
        text += *verdict.predictionAgrees ? "; as predicted" : "; not as predicted";
    return text;
}

ArchiveReport ArchiveWorker::store(const ArchivedRun& run) {
    return Archiver::Configured(application_).archive(run);
}

std::string ArchiveWorker::amend(const std::string& runId, const Amendment& amendment) {
    try {
        SqlArchive(ReadArchiveSettings(application_)).amend(runId, amendment);
        return {};
    } catch (const std::exception& failure) {
        return failure.what();
    }
}

MeterLookup ArchiveWorker::lookup(const ArchivedRun& run, std::unique_ptr<SqlArchive>& archive) {
    const auto& id = run.record.meterId;
    if (!id) return {};
    try {
        if (!archive) archive = std::make_unique<SqlArchive>(ReadArchiveSettings(application_));
        MeterRegister meters(*archive);
        return {MeterInForce(id, run.record.time, meters.entriesOf(*id)).entry, {}};
    } catch (const std::exception& failure) {
        return {std::nullopt, failure.what()};
    }
}

MeterLookup ArchiveWorker::meterOf(const ArchivedRun& run) {
    std::unique_ptr<SqlArchive> archive;
    return lookup(run, archive);
}

HistoryRead ArchiveWorker::history(const std::string& serial) {
    HistoryRead read;
    std::unique_ptr<SqlArchive> archive;
    try {
        archive = std::make_unique<SqlArchive>(ReadArchiveSettings(application_));
        std::vector<RunProblem> damaged;
        read.runs = archive->history(serial, damaged);
        // One damaged run does not hide the others.
        for (const RunProblem& d : damaged)
            read.problem += (read.problem.empty() ? "" : "; ") +
                            ("run " + d.runId + " is damaged (" + d.problem + "): left out");
    } catch (const std::exception& failure) {
        read.problem = failure.what();
        return read;
    }
    try {
        for (const RunVerdict& verdict :
             VerdictsOf(*archive, read.runs, SiteReportOptions(application_)))
            read.verdicts.push_back(RunVerdictText(verdict));
    } catch (const std::exception& failure) {
        const std::string why = "the meter register cannot be read: " + std::string(failure.what());
        read.verdicts.assign(read.runs.size(), "none (" + why + ")");
    }
    return read;
}

ReportFacts ArchiveWorker::reportOf(const ArchivedRun& run) {
    ReportFacts facts{{run, std::nullopt}, {}};
    std::unique_ptr<SqlArchive> archive;
    try {
        archive = std::make_unique<SqlArchive>(ReadArchiveSettings(application_));
        // The decisions the archive holds now, as the tool's report shows them.
        std::vector<ArchivedRun> unit = archive->history(run.record.calibratorSerial);
        for (ArchivedRun& r : unit) r = WithDecisionInForce(std::move(r));
        facts.calibration = CalibrationOf(run, unit);
    } catch (const std::exception& failure) {
        facts.meter.problem = failure.what();
        return facts;
    }
    // A run left without trims is both; the report shows it once.
    if (facts.calibration.asLeft &&
        facts.calibration.asLeft->runId == facts.calibration.asFound.runId)
        facts.calibration.asLeft.reset();
    facts.meter = lookup(facts.calibration.asFound, archive);
    return facts;
}

ResultsArchivist::ResultsArchivist(QString application, QObject* window)
    : window_(window),
      worker_(new ArchiveWorker(std::move(application))),
      closing_(std::make_shared<std::atomic<bool>>(false)) {
    thread_.setObjectName(QStringLiteral("archive"));
    worker_->moveToThread(&thread_);
    thread_.start();
}

ResultsArchivist::~ResultsArchivist() {
    closing_->store(true);
    // Queued behind every job asked for: the stores still run first.
    QMetaObject::invokeMethod(
        worker_, [this] { thread_.quit(); }, Qt::QueuedConnection);
    thread_.wait();
    delete worker_;
}

template <typename Answer>
void ResultsArchivist::post(bool keepOnClose, std::function<Answer(ArchiveWorker&)> job,
                            std::function<void(Answer&)> deliver) {
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, window = window_, closing = closing_, keepOnClose, job = std::move(job),
         deliver = std::move(deliver)] {
            if (!keepOnClose && closing->load()) return;
            auto answer = std::make_shared<Answer>(job(*worker));
            if (closing->load() || !window) return;
            QMetaObject::invokeMethod(
                window.data(), [answer, deliver] { deliver(*answer); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void ResultsArchivist::store(ArchivedRun run, std::function<void(const ArchiveReport&)> done) {
    post<ArchiveReport>(
        true, [run = std::move(run)](ArchiveWorker& w) { return w.store(run); },
        [done = std::move(done)](ArchiveReport& report) { done(report); });
}

void ResultsArchivist::amend(std::string runId, Amendment amendment,
                             std::function<void(const std::string&)> done) {
    post<std::string>(
        true,
        [runId = std::move(runId), amendment = std::move(amendment)](ArchiveWorker& w) {
            return w.amend(runId, amendment);
        },
        [done = std::move(done)](std::string& problem) { done(problem); });
}

void ResultsArchivist::history(std::string serial, std::function<void(HistoryRead&)> done) {
    post<HistoryRead>(
        false, [serial = std::move(serial)](ArchiveWorker& w) { return w.history(serial); },
        std::move(done));
}

void ResultsArchivist::meterOf(ArchivedRun run, std::function<void(const MeterLookup&)> done) {
    post<MeterLookup>(
        false, [run = std::move(run)](ArchiveWorker& w) { return w.meterOf(run); },
        [done = std::move(done)](MeterLookup& meter) { done(meter); });
}

void ResultsArchivist::reportOf(ArchivedRun run, std::function<void(const ReportFacts&)> done) {
    post<ReportFacts>(
        false, [run = std::move(run)](ArchiveWorker& w) { return w.reportOf(run); },
        [done = std::move(done)](ReportFacts& facts) { done(facts); });
}

void ResultsArchivist::waitUntilDone() {
    QSemaphore done;
    QMetaObject::invokeMethod(
        worker_, [&done] { done.release(); }, Qt::QueuedConnection);
    done.acquire();
    if (window_) QCoreApplication::sendPostedEvents(window_.data(), QEvent::MetaCall);
}

}  // namespace q270
