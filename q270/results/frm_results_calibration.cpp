// The results window's part of a calibration: "As-left zu..." links the
// complete run on screen to the trim decision it verifies (the unit's decided
// as-found runs, read on the archive's worker, one chosen by the operator; a
// run is never linked by its time), and a run that will get no conformity
// statement (no limit, a meter unknown or past due) says so when it starts.
#include <QDateTime>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>

#include "acceptance_settings.h"
#include "application.h"
#include "calibration.h"
#include "colour_value.h"
#include "frm_results.h"
#include "report_options.h"
#include "results_archivist.h"
#include "run_figures.h"

namespace q270 {

void frmResults::buildAsLeftControl() {
    CmdAsLeft = new QPushButton(QStringLiteral("As-left zu..."), CmdHistory->parentWidget());
    CmdAsLeft->setObjectName(QStringLiteral("CmdAsLeft"));
    CmdAsLeft->setGeometry(CmdHistory->geometry().translated(0, CmdHistory->height() + 4));
    connect(CmdAsLeft, &QPushButton::clicked, this, [this] { chooseAsFound(); });
}

QString frmResults::asLeftRefusal() const {
    if (!evaluated_) return QStringLiteral("No complete run");
    if (openedRun_ && openedAtRun_ == replies_.runs())
        return QStringLiteral("A run opened from a file keeps the links it was archived with");
    if (archivedAtRun_ == replies_.runs()) return QStringLiteral("The run is archived already");
    if (asLeftPending_) return QStringLiteral("Reading the archive...");
    return {};
}

void frmResults::chooseAsFound() {
    if (refuseWhileBusy() || !asLeftRefusal().isEmpty()) return;
    const std::string serial = unitSerial();
    const int run = replies_.runs();
    asLeftPending_ = true;
    updateOffers();
    archivist_->history(serial, [this, serial, run](HistoryRead& read) {
        asLeftPending_ = false;
        updateOffers();
        if (!read.problem.empty()) {
            setStatusText(QString::fromStdString(read.problem), zdx::kColourRed);
            return;
        }
        // Another run took the table meanwhile.
        if (run != replies_.runs() || !asLeftRefusal().isEmpty()) return;
        // A decision amended after archiving is the one in force.
        for (ArchivedRun& r : read.runs) r = WithDecisionInForce(std::move(r));
        const std::vector<ArchivedRun> candidates = AsLeftCandidates(read.runs);
        if (candidates.empty()) {
            setStatusText(QStringLiteral("No run of %1 with trims decided: this run is as found")
                              .arg(QString::fromStdString(serial)),
                          zdx::kColourBlack);
            return;
        }
        QStringList items;
        for (const ArchivedRun& c : candidates)
            items << QStringLiteral("%1   %2   (run %3)")
                         .arg(QString::fromStdString(c.record.time),
                              QString::fromStdString(TrimsText(c.decision->ShuntSel)),
                              QString::fromStdString(c.runId));
        bool chosen = false;
        const QString item = QInputDialog::getItem(
            this, QStringLiteral("As-left run"),
            QStringLiteral("This run measured the unit with the trims decided in:"), items, 0,
            false, &chosen);
        const auto at = items.indexOf(item);
        if (!chosen || at < 0 || run != replies_.runs()) return;
        const ArchivedRun& found = candidates[std::size_t(at)];
        asLeftOf_ = found.runId;
        asLeftAtRun_ = run;
        setStatusText(QStringLiteral("As-left run of run %1 (%2)")
                          .arg(QString::fromStdString(found.runId),
                               QString::fromStdString(found.record.time)),
                      zdx::kColourBlack);
    });
}

void frmResults::linkForArchive(ArchivedRun& run) const {
    if (asLeftAtRun_ == replies_.runs()) run.asLeftOf = asLeftOf_;
    run.acceptance = ReadAcceptanceSettings(QString::fromLatin1(kQ270Application)).acceptance;
}

void frmResults::warnAboutStatement() {
    ArchivedRun run;
    run.record.meterId = BenchMeterId(QString::fromLatin1(kQ270Application));
    run.record.time = UtcTime(QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString());
    const int asked = statementAsked_;
    archivist_->meterOf(run, [this, run, asked](const MeterLookup& meter) {
        if (asked != statementAsked_) return;
        ReportOptions options = SiteReportOptions(QString::fromLatin1(kQ270Application));
        options.meter = meter.entry;
        const std::string why =
            meter.problem.empty() ? WithheldBecause(run, options) : meter.problem;
        if (why.empty()) return;
        statementLine_->setText(
            QStringLiteral("No conformity statement for this run: %1; it is measured and "
                           "archived all the same")
                .arg(QString::fromStdString(why)));
    });
}

}  // namespace q270
