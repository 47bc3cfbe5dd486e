// The results window and the archive: a complete run is archived with the
// trim choice on screen as its decision when the operator leaves the results
// view (or saves the run), "Verlauf..." shows the unit's archived runs and
// "Bericht..." writes the run on screen as a PDF report.
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <exception>
#include <memory>

#include "application.h"
#include "archive_settings.h"
#include "archiver.h"
#include "colour_value.h"
#include "frm_history.h"
#include "frm_results.h"
#include "frm_results_archive.h"
#include "report_options.h"
#include "report_pdf.h"
#include "run_figures.h"

namespace q270 {

void frmResults::buildArchiveControls() {
    archiving_ = std::make_unique<ResultsArchiving>();
    // Below the file buttons, side by side.
    const QRect below = CmdSaveRun->geometry().translated(0, CmdSaveRun->height() + 4);
    CmdHistory = new QPushButton(QStringLiteral("Verlauf..."), CmdSaveRun->parentWidget());
    CmdHistory->setObjectName(QStringLiteral("CmdHistory"));
    CmdHistory->setGeometry(below);
    CmdReport = new QPushButton(QStringLiteral("Bericht..."), CmdSaveRun->parentWidget());
    CmdReport->setObjectName(QStringLiteral("CmdReport"));
    CmdReport->setGeometry(CmdOpenRun->geometry().translated(0, CmdOpenRun->height() + 4));
    connect(CmdHistory, &QPushButton::clicked, this, [this] { showHistory(); });
    connect(CmdReport, &QPushButton::clicked, this, [this] {
        // The file dialog would hold a run inside its event pass.
        if (refuseWhileBusy()) return;
        const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Bericht"),
                                                          QStringLiteral("linearity-report.pdf"),
                                                          QStringLiteral("PDF (*.pdf)"));
        if (!name.isEmpty()) writeReport(name);
    });
}

// The run as the table shows it, with the trim choices on screen (a new run
// clears the "R Shunt" column although earlier choices stay in ShuntSel).
std::optional<RunRecord> frmResults::recordOnScreen(std::string* why) {
    if (busy() || !evaluated_) return std::nullopt;
    ResultsData shown = data_;
    shown.ShuntSel = TrimChoicesShown(grid_);
    try {
        if (openedRun_ && openedAtRun_ == replies_.runs()) {
            RunRecord record = RecordOfRun(replies_, shown, openedRun_->calibratorSerial,
                                           openedRun_->calibratorId);
            record.meterId = openedRun_->meterId;
            record.time = openedRun_->time;
            return record;
        }
        RunRecord record = RecordOfRun(replies_, shown, deviceSerial_, calibratorId());
        record.meterId = BenchMeterId(QString::fromLatin1(kQ270Application));
        return record;
    } catch (const RunFileError& refused) {
        if (why) *why = refused.what();
        return std::nullopt;
    }
}

bool frmResults::archiveRun() {
    // A run opened from a file was archived when it was measured.
    if (openedRun_ && openedAtRun_ == replies_.runs()) return false;
    if (archiving_->archivedAtRun == replies_.runs()) return false;
    const std::optional<RunRecord> record = recordOnScreen();
    if (!record) return false;
    ArchivedRun run;
    try {
        run = MakeArchivedRun(*record, ThisBench(), NewRunId(), record->ShuntSel);
    } catch (const RunFileError& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return false;
    }
    archiving_->archivedAtRun = replies_.runs();
    archiving_->runId = run.runId;
    // The archive opened, used and closed on the worker; the outcome is shown
    // on the window's thread.
    QPointer<frmResults> window(this);
    archiving_->then([window, run] {
        const ArchiveReport report =
            Archiver::Configured(QString::fromLatin1(kQ270Application)).archive(run);
        const QString text = QString::fromStdString(ArchiveStatusText(report));
        const std::uint32_t colour = report.archived ? zdx::kColourBlack : zdx::kColourRed;
        QMetaObject::invokeMethod(
            window.data(),
            [window, text, colour] {
                if (window) window->setStatusText(text, colour);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void frmResults::waitForArchive() {
    archiving_->wait();
}

namespace {

// The unit's archived runs, or the reason there are none.
std::vector<ArchivedRun> ReadHistory(const std::string& serial, std::string& error) {
    try {
        SqlArchive archive(ReadArchiveSettings(QString::fromLatin1(kQ270Application)));
        return archive.history(serial);
    } catch (const std::exception& failure) {
        error = failure.what();
        return {};
    }
}

}  // namespace

std::vector<ArchivedRun> frmResults::archivedRunsOf(const std::string& serial) {
    waitForArchive();
    std::string error;
    std::vector<ArchivedRun> runs = ReadHistory(serial, error);
    if (!error.empty()) setStatusText(QString::fromStdString(error), zdx::kColourRed);
    return runs;
}

// The archive is read on the worker, so that a server that is slow to answer
// does not hold the window; the history opens when the read is done.
void frmResults::showHistory() {
    if (archiving_->historyPending) return;
    const std::optional<RunRecord> record = recordOnScreen();
    const std::string serial = record ? record->calibratorSerial : deviceSerial_;
    PerPoint<double> current{};
    for (int j = 1; j <= kPointCount; ++j)
        current[std::size_t(j)] = data_.LinErrRef[std::size_t(j)];
    archiving_->historyPending = true;
    CmdHistory->setEnabled(false);
    setStatusText(QStringLiteral("Reading the archive..."), zdx::kColourBlack);
    QPointer<frmResults> window(this);
    archiving_->then([window, serial, current] {
        auto error = std::make_shared<std::string>();
        auto runs = std::make_shared<std::vector<ArchivedRun>>(ReadHistory(serial, *error));
        QMetaObject::invokeMethod(
            window.data(),
            [window, serial, current, runs, error] {
                if (window) window->openHistory(serial, std::move(*runs), current, *error);
            },
            Qt::QueuedConnection);
    });
}

void frmResults::openHistory(const std::string& serial, std::vector<ArchivedRun> runs,
                             const PerPoint<double>& current, const std::string& error) {
    archiving_->historyPending = false;
    CmdHistory->setEnabled(!busy());
    if (!error.empty())
        setStatusText(QString::fromStdString(error), zdx::kColourRed);
    else
        setStatusText(QStringLiteral("Archived runs of %1: %2")
                          .arg(QString::fromStdString(serial))
                          .arg(runs.size()),
                      zdx::kColourBlack);
    auto* dialog = new frmHistory(serial, std::move(runs), current, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

bool frmResults::writeReport(const QString& fileName) {
    const std::optional<RunRecord> record = recordOnScreen();
    if (!record) {
        setStatusText(QStringLiteral("No complete run for a report"), zdx::kColourRed);
        return false;
    }
    try {
        const bool archived = archiving_->archivedAtRun == replies_.runs();
        const ArchivedRun run =
            MakeArchivedRun(*record, ThisBench(), archived ? archiving_->runId : std::string(),
                            DecisionOf(*record));
        WriteReportPdf(MakeReport(run, std::nullopt,
                                  SiteReportOptions(QString::fromLatin1(kQ270Application)),
                                  decimalSeparator()),
                       fileName.toStdString());
    } catch (const std::exception& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return false;
    }
    setStatusText(QStringLiteral("Report written to ") + QFileInfo(fileName).fileName(),
                  zdx::kColourBlack);
    return true;
}

}  // namespace q270
