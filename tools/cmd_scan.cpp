// scan: one linearity run against a calibrator on USB and the meter on COM1,
// with the window's lines, pauses and failure handling, saved as a run file.
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>

#include "acceptance_settings.h"
#include "application.h"
#include "archive_deadline.h"
#include "archive_settings.h"
#include "archiver.h"
#include "calibrator_library.h"
#include "clock.h"
#include "commands.h"
#include "evaluation.h"
#include "linearity_run.h"
#include "meter_link.h"
#include "options.h"
#include "reply_recorder.h"
#include "results_table.h"
#include "run_file.h"
#include "run_sources.h"
#include "scan_links.h"
#include "serial_port.h"
#include "tool_output.h"
#include "usb_access.h"

namespace zdxtool {

namespace {

constexpr int kBarWidth = q270::kStepCount;  // one mark per step

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
}

// The terminal front end of a run: a progress bar when stdout is a terminal;
// Ctrl-C stops the run after its current step, as a status-bar click does.
class TerminalObserver : public q270::RunObserver {
  public:
    explicit TerminalObserver(bool bar) : bar_(bar) {}
    void selectCell(int, int) override {}
    void showReading(int row, int column, double volts, bool) override {
        if (!bar_ || column != q270::kColReading2) return;
        std::string filled(std::size_t(row), '#');
        filled.resize(kBarWidth, '.');
        std::printf("\r[%s] step %2d/%d  R %d  %.7f V", filled.c_str(), row, q270::kStepCount,
                    q270::ResistorOfStep(row), volts);
        std::fflush(stdout);
        drawn_ = true;
    }
    void processEvents() override { QCoreApplication::processEvents(); }
    bool stopPending() override { return interrupted != 0; }
    void endLine() {
        if (drawn_) std::printf("\n");
    }

  private:
    bool bar_;
    bool drawn_ = false;
};

struct ScanOptions {
    std::string output;
    std::string serial;
    std::optional<std::string> meterId;
    std::optional<std::string> asLeftOf;
    bool archive = true;
};

// What was wrong with the arguments; empty when they are usable.
std::string parseOptions(const Arguments& args, ScanOptions& options) {
    const Options given(args, {"--no-archive"},
                        {"-o|--output", "--serial", "--meter-id", "--as-left"});
    if (!given.error().empty()) return given.error();
    if (!given.positionals().empty())
        return "unexpected argument " + Quoted(given.positionals().front());
    options.output = given.value("--output").value_or("");
    options.serial = given.value("--serial").value_or("");
    options.meterId = given.value("--meter-id");
    options.asLeftOf = given.value("--as-left");
    options.archive = !given.flag("--no-archive");
    if (options.asLeftOf && !options.archive)
        return "--as-left needs the archive: the link is kept with the archived run";
    // A run goes to the archive, to a file, or both; never nowhere.
    if (options.output.empty() && !options.archive)
        return "--no-archive needs -o FILE: the run would be kept nowhere";
    return {};
}

// The calibrator to measure: the first one, or the one with this exact serial.
bool findCalibrator(const std::string& wanted, zdx::DeviceInfo& found) {
    found = zdx::discover(wanted);
    if (found.count == ZDXUSBCAL_SETUP_MISSING) {
        ComplainSetupMissing();
        return false;
    }
    if (found.result != ZDXUSBCAL_OK || (!wanted.empty() && found.serial != wanted)) {
        Complain(wanted.empty() ? "no calibrator on USB"
                                : "no calibrator with serial number " + Quoted(wanted));
        return false;
    }
    return true;
}

// The run into the archive, or into the spool when the archive cannot be
// reached: either way it is kept, and stderr says which.
int archiveRun(const q270::RunRecord& record, const ScanOptions& options) {
    q270::ArchivedRun run;
    try {
        run = q270::MakeArchivedRun(record, q270::ThisBench(), q270::NewRunId(), std::nullopt);
    } catch (const q270::RunFileError& error) {
        Complain(std::string(error.what()) + ": not archived");
        return kExitFailed;
    }
    run.asLeftOf = options.asLeftOf;
    const q270::AcceptanceSettings site =
        q270::ReadAcceptanceSettings(QString::fromLatin1(q270::kQ270Application));
    if (!site.problem.empty()) Complain(site.problem);
    run.acceptance = site.acceptance;
    q270::ArchiveReport report;
    {
        const ArchiveDeadline deadline(kExitDone, "run " + run.runId + " waits in the spool");
        report =
            q270::Archiver::Configured(QString::fromLatin1(q270::kQ270Application)).archive(run);
    }
    if (report.archived) {
        std::printf("archived as run %s\n", run.runId.c_str());
        TellArchiveReport(report);
        return kExitDone;
    }
    for (const std::string& note : report.notes) Complain(TerminalText(note));
    Complain(TerminalText("run " + run.runId + ": " + q270::ArchiveStatusText(report)));
    return report.spooled ? kExitDone : kExitFailed;
}

// The links checked before the run starts, so that a wrong run ID costs no
// measurement and the operator hears of a meter the statement cannot trust.
// An archive that cannot be read is said, and the run goes on.
bool checkLinks(const ScanOptions& options, const std::string& serial) {
    if (!options.archive) return true;
    const ArchiveDeadline deadline(kExitFailed, "nothing was measured");
    const auto archive = OpenArchive();
    if (!archive) {
        if (options.asLeftOf)
            Complain("the link to run " + Quoted(*options.asLeftOf) + " is not checked");
        return true;
    }
    try {
        if (options.asLeftOf) {
            // The decision in force: a decision recorded later is an amendment.
            std::optional<q270::ArchivedRun> found = archive->fetch(*options.asLeftOf);
            if (found) found = q270::WithDecisionInForce(std::move(*found));
            const std::string problem = AsLeftProblem(found, *options.asLeftOf, serial);
            if (!problem.empty()) {
                Complain("--as-left: " + problem + ": nothing measured");
                return false;
            }
        }
        const std::string meter = MeterWarning(
            *archive, options.meterId,
            q270::UtcTime(QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString()));
        if (!meter.empty())
            Complain(meter +
                     ": the run is measured and archived, but its report gives no "
                     "conformity statement");
    } catch (const q270::ArchiveError& error) {
        Complain(error.what());
    }
    return true;
}

}  // namespace

int CmdScan(const Arguments& args) {
    ScanOptions options;
    const std::string wrong = parseOptions(args, options);
    if (!wrong.empty()) return UsageError("scan", wrong);

    zdx::DeviceInfo calibrator;
    try {
        if (!findCalibrator(options.serial, calibrator)) return kExitFailed;
    } catch (const zdx::LibraryMissing&) {
        Complain("the access library ZDXUSBCAL cannot be bound");
        return kExitFailed;
    }

    if (!options.meterId)
        options.meterId = q270::BenchMeterId(QString::fromLatin1(q270::kQ270Application));
    if (!checkLinks(options, calibrator.serial)) return kExitFailed;

    q270::SerialPort port{QString::fromLatin1(q270::kQ270Application)};
    q270::SerialMeterPort meterPort(port);
    q270::ReplyRecorder recorder(meterPort);
    q270::MeterLink meter(recorder, q270::SteadyClock::instance());
    q270::LibraryUsbAccess usb;
    q270::ResultsData data;
    TerminalObserver observer(::isatty(STDOUT_FILENO) == 1);

    interrupted = 0;
    auto* previous = std::signal(SIGINT, onInterrupt);
    const q270::RunResult run = q270::RunLinearity(meter, usb, calibrator.serial, data, observer);
    std::signal(SIGINT, previous);
    observer.endLine();

    if (run.end == q270::RunEnd::Stopped) {
        Complain("stopped after " + std::to_string(run.steps) + " steps: nothing written");
        return kExitFailed;
    }
    if (run.end != q270::RunEnd::Complete) {
        Complain(run.message + " after " + std::to_string(run.steps) + " steps: nothing written");
        return kExitFailed;
    }
    q270::CalcResults(data, false);
    if (!std::isfinite(data.ErrSq)) {
        Complain("the readings do not add up to a divider voltage: nothing written");
        return kExitFailed;
    }
    q270::RunRecord record;
    try {
        record = q270::RecordOfRun(recorder, data, calibrator.serial, calibrator.string6);
        record.meterId = options.meterId;
        if (!options.output.empty()) q270::WriteRunFile(options.output, record);
    } catch (const q270::RunFileError& error) {
        Complain(std::string(error.what()) + ": nothing written");
        return kExitFailed;
    }
    std::printf("%d steps of %s measured, ErrSq %.1f ppm^2", q270::kStepCount,
                calibrator.serial.c_str(), data.ErrSq);
    if (!options.output.empty()) std::printf(", written to %s", options.output.c_str());
    std::printf("\n");
    if (!options.archive) return kExitDone;
    return archiveRun(record, options);
}

}  // namespace zdxtool
