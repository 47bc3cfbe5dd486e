#include "scan_demo.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <chrono>
#include <cstdio>

#include "frm_kal270.h"
#include "frm_results.h"
#include "results_table.h"

namespace q270 {

namespace {

constexpr int kPollMs = 100;
constexpr int kMidRunStep = 10;

}  // namespace

ScanDemo::ScanDemo(frmKal270& window, QString picturePrefix)
    : window_(window), prefix_(std::move(picturePrefix)) {
    connect(&poll_, &QTimer::timeout, this, &ScanDemo::step);
    poll_.start(kPollMs);
}

void ScanDemo::step() {
    ProgramState& state = window_.state();
    frmResults* results = window_.resultsWindow();
    switch (phase_) {
        case Phase::AwaitOnline:
            if (state.LinkState != kLinkOnline) return;
            std::printf("Panel online with %s: starting the linearity measurement.\n",
                        state.DeviceSerial.c_str());
            std::fflush(stdout);
            state.ScanRequest = 1;
            phase_ = Phase::AwaitMidRun;
            return;
        case Phase::AwaitMidRun:
            // The timer still fires once per measuring step, while the run lets events through.
            if (results == nullptr || !results->scanning()) return;
            if (results->data().Mw2[kMidRunStep] == 0.0f) return;
            if (!prefix_.isEmpty()) results->grab().save(prefix_ + "-running.png");
            phase_ = Phase::AwaitEnd;
            return;
        case Phase::AwaitEnd:
            if (results == nullptr || results->scanning()) return;
            finish();
            return;
        case Phase::Done:
            return;
    }
}

// "Optimierung" clicked, timed end to end, then the line for four trim
// resistors applied, as the operator would.
void ScanDemo::optimise(frmResults& results) {
    auto* search = results.findChild<QPushButton*>(QStringLiteral("CmdOpt"));
    if (search == nullptr || search->isHidden()) return;
    const auto start = std::chrono::steady_clock::now();
    search->click();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("Trim search for 0..4 trim resistors, in the window: %.3f s\n", seconds);
    for (int k = 0; k < 5; ++k)
        if (auto* line = results.findChild<QLabel*>(QStringLiteral("OptiL1_%1").arg(k)))
            std::printf("  %s\n", qPrintable(line->text()));
    if (auto* best = results.findChild<QLabel*>(QStringLiteral("OptiL1_4"))) {
        const QPointF centre(best->width() / 2.0, best->height() / 2.0);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, best->mapToGlobal(centre),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(best, &release);
    }
    if (!prefix_.isEmpty()) {
        results.grab().save(prefix_ + "-optimised.png");
        std::printf("Picture with the four trim resistors applied: %s-optimised.png\n",
                    qPrintable(prefix_));
    }
}

void ScanDemo::finish() {
    poll_.stop();
    phase_ = Phase::Done;
    frmResults* results = window_.resultsWindow();
    const RunResult& run = results->lastRun();
    if (!prefix_.isEmpty()) {
        results->grab().save(prefix_ + ".png");
        results->savePlot(prefix_ + "-plot.png");
        std::printf("Pictures of the results window: %s.png, %s-running.png, %s-plot.png\n",
                    qPrintable(prefix_), qPrintable(prefix_), qPrintable(prefix_));
    }
    if (run.end == RunEnd::Complete) {
        const std::string table = TableListing(results->grid());
        std::printf(
            "Linearity measurement complete. The table as the window shows it:\n%s",
            QString::fromLatin1(table.data(), qsizetype(table.size())).toLocal8Bit().constData());
        std::printf("Sum of squared 10 %% point errors: %.1f ppm^2\n", results->data().ErrSq);
    } else {
        std::printf("Linearity measurement ended after %d steps: %s\n", run.steps,
                    run.message.c_str());
    }
    if (run.end == RunEnd::Complete) optimise(*results);
    const double wall = results->lastRunWallSeconds();
    std::printf("The run took %.2f s of wall time and %.3f s of CPU (%.2f %% of one core).\n", wall,
                results->lastRunCpuSeconds(),
                wall > 0 ? 100.0 * results->lastRunCpuSeconds() / wall : 0.0);
    std::fflush(stdout);
    // The status-bar click that closes the results view, then the program.
    window_.state().StopRequest = 1;
    QTimer::singleShot(500, &window_, [this] { window_.close(); });
}

}  // namespace q270
