// The results window and the archive: a complete run is archived with the
// trim choice on screen as its decision when the operator leaves the results
// view (or saves the run), "Verlauf..." shows the unit's archived runs,
// "Bericht..." writes the run on screen as a PDF report, and a complete run
// gets its statement line. What the archive is asked goes to the archivist's
// worker; the window only shows the answers.
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <exception>

#include "application.h"
#include "archive_settings.h"
#include "colour_value.h"
#include "frm_history.h"
#include "frm_results.h"
#include "report_options.h"
#include "report_pdf.h"
#include "results_archivist.h"
#include "run_figures.h"
#include "window_memory.h"

namespace q270 {

namespace {

QString application() {
    return QString::fromLatin1(kQ270Application);
}

}  // namespace

void frmResults::buildArchiveControls() {
    archivist_ = std::make_unique<ResultsArchivist>(application(), this);
    // Below the file buttons, side by side.
    const QRect below = CmdSaveRun->geometry().translated(0, CmdSaveRun->height() + 4);
    CmdHistory = new QPushButton(QStringLiteral("Verlauf..."), CmdSaveRun->parentWidget());
    CmdHistory->setObjectName(QStringLiteral("CmdHistory"));
    CmdHistory->setGeometry(below);
    CmdReport = new QPushButton(QStringLiteral("Bericht..."), CmdSaveRun->parentWidget());
    CmdReport->setObjectName(QStringLiteral("CmdReport"));
    CmdReport->setGeometry(CmdOpenRun->geometry().translated(0, CmdOpenRun->height() + 4));
    connect(CmdHistory, &QPushButton::clicked, this, [this] { showHistory(); });
    buildAsLeftControl();
    connect(CmdReport, &QPushButton::clicked, this, [this] {
        // The file dialog would hold a run inside its event pass.
        if (refuseWhileBusy()) return;
        const std::optional<RunRecord> record = recordOnScreen();
        const QString name =
            askFileName(true, QStringLiteral("Bericht"),
                        ProposedFileName(unitSerial(), record ? record->time : std::string(),
                                         QStringLiteral("report"), QStringLiteral("pdf")),
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
        record.meterId = BenchMeterId(application());
        return record;
    } catch (const RunFileError& refused) {
        if (why) *why = refused.what();
        return std::nullopt;
    }
}

std::string frmResults::unitSerial() {
    if (openedRun_ && openedAtRun_ == replies_.runs()) return openedRun_->calibratorSerial;
    return deviceSerial_;
}

bool frmResults::archiveRun() {
    // A run opened from a file was archived when it was measured.
    if (openedRun_ && openedAtRun_ == replies_.runs()) return false;
    if (archivedAtRun_ == replies_.runs()) {
        amendIfChanged();
        return false;
    }
    const std::optional<RunRecord> record = recordOnScreen();
    if (!record) return false;
    ArchivedRun run;
    try {
        run = MakeArchivedRun(*record, ThisBench(), NewRunId(), record->ShuntSel);
    } catch (const RunFileError& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return false;
    }
    linkForArchive(run);
    archivedAtRun_ = replies_.runs();
    archivedRunId_ = run.runId;
    archived_ = run;
    // An archived run's link is kept: "As-left zu..." is no longer offered.
    updateOffers();
    archivist_->store(std::move(run), [this](const ArchiveReport& report) {
        setStatusText(QString::fromStdString(ArchiveStatusText(report)),
                      report.archived ? zdx::kColourBlack : zdx::kColourRed);
    });
    return true;
}

void frmResults::amendIfChanged() {
    const std::optional<RunRecord> record = recordOnScreen();
    if (!record || !archived_) return;
    const DecisionInForce kept = CurrentDecision(*archived_);
    if (kept.decision && kept.decision->ShuntSel == record->ShuntSel) return;
    Amendment amendment;
    try {
        amendment = MakeAmendment(*archived_, record->ShuntSel, ThisBench().operatorLogin);
    } catch (const RunFileError& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return;
    }
    // The archive keeps the trims on screen, beside those archived first.
    archived_->amendments.push_back(amendment);
    archivist_->amend(archived_->runId, std::move(amendment), [this](const std::string& problem) {
        if (problem.empty())
            setStatusText(QStringLiteral("Changed trims archived as an amendment"),
                          zdx::kColourBlack);
        else
            setStatusText(QStringLiteral("The changed trims are not archived: ") +
                              QString::fromStdString(problem),
                          zdx::kColourRed);
    });
}

void frmResults::waitForArchive() {
    archivist_->waitUntilDone();
}

void frmResults::showHistory() {
    if (historyPending_) return;
    const std::string serial = unitSerial();
    if (serial.empty()) return;
    // A stopped or failed run has no curve to set beside the archived ones.
    std::optional<PerPoint<double>> current;
    if (evaluated_) {
        current.emplace();
        for (int j = 1; j <= kPointCount; ++j)
            (*current)[std::size_t(j)] = data_.LinErrRef[std::size_t(j)];
    }
    historyPending_ = true;
    updateOffers();
    setStatusText(QStringLiteral("Reading the archive..."), zdx::kColourBlack);
    archivist_->history(serial, [this, serial, current](HistoryRead& read) {
        historyPending_ = false;
        updateOffers();
        if (!read.problem.empty())
            setStatusText(QString::fromStdString(read.problem), zdx::kColourRed);
        else
            setStatusText(QStringLiteral("Archived runs of %1: %2")
                              .arg(QString::fromStdString(serial))
                              .arg(read.runs.size()),
                          zdx::kColourBlack);
        auto* dialog = new frmHistory(serial, std::move(read.runs), std::move(read.verdicts),
                                      current, application(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });
}

void frmResults::showStatementLine() {
    const int asked = ++statementAsked_;
    statementLine_->clear();
    const std::optional<RunRecord> record = recordOnScreen();
    if (!record) return;
    ArchivedRun run;
    try {
        run = MakeArchivedRun(*record, {}, {}, std::nullopt);
    } catch (const RunFileError&) {
        return;
    }
    statementLine_->setText(QStringLiteral("Statement: reading the meter register..."));
    archivist_->meterOf(run, [this, asked, run](const MeterLookup& meter) {
        if (asked != statementAsked_) return;
        statementLine_->setText(QString::fromStdString(
            RunStatementLine(run, SiteReportOptions(application()), meter, decimalSeparator())));
    });
}

bool frmResults::writeReport(const QString& fileName) {
    const std::optional<RunRecord> record = recordOnScreen();
    if (!record) {
        setStatusText(QStringLiteral("No complete run for a report"), zdx::kColourRed);
        return false;
    }
    ArchivedRun run;
    try {
        const bool archived = archivedAtRun_ == replies_.runs();
        run = MakeArchivedRun(*record, ThisBench(), archived ? archivedRunId_ : std::string(),
                              DecisionOf(*record));
    } catch (const std::exception& error) {
        setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
        return false;
    }
    // Paired as the archive pairs it: the as-left run of the decision chosen.
    linkForArchive(run);
    // The report and the archive show one decision: a changed one is
    // archived first (the worker does its jobs in order).
    if (archivedAtRun_ == replies_.runs()) amendIfChanged();
    setStatusText(QStringLiteral("Writing the report..."), zdx::kColourBlack);
    archivist_->reportOf(run, [this, fileName](const ReportFacts& facts) {
        std::string problem;
        ReportOptions options = SiteReportOptions(application(), &problem);
        options.meter = facts.meter.entry;
        try {
            WriteReportPdf(MakeReport(facts.calibration.asFound, facts.calibration.asLeft, options,
                                      decimalSeparator()),
                           fileName.toStdString());
        } catch (const std::exception& error) {
            setStatusText(QString::fromStdString(error.what()), zdx::kColourRed);
            return;
        }
        QString text = QStringLiteral("Report written to ") + QFileInfo(fileName).fileName();
        if (!facts.meter.problem.empty())
            text += QStringLiteral(" (the archive cannot be read: ") +
                    QString::fromStdString(facts.meter.problem) + QLatin1Char(')');
        else if (!problem.empty())
            text += QStringLiteral(" (") + QString::fromStdString(problem) + QLatin1Char(')');
        setStatusText(text, zdx::kColourBlack);
    });
    return true;
}

}  // namespace q270
