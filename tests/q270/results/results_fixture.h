// Window tests of the linearity measurement: frmKal270 hands over to
// frmResults, which measures a bench Q270's divider with the bench's meter on
// COM1. One bench per test program; every test loads its own scenario.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <array>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_environment.h"
#include "bench_session.h"
#include "frm_kal270.h"
#include "frm_results.h"
#include "results_table.h"
#include "skip_clock.h"
#include "step_sequence.h"

namespace q270::testing {

inline const char* kMeasuredSerial = "Q270S9-00417";

// Deviations of R97..R116 in ppm.
inline constexpr std::array<double, 20> kDeviationsPpm = {
    12, -8, 25, 3, -15, 30, -4, 7, -22, 10, 0, 18, -6, -30, 14, 5, -12, 9, 21, -17};

inline std::string deviationsJson() {
    std::string text = "[";
    for (std::size_t i = 0; i < kDeviationsPpm.size(); ++i)
        text += (i ? ", " : "") + std::to_string(kDeviationsPpm[i]);
    return text + "]";
}

// A Q270 on USB with the divider above, and the meter on COM1 wired to it,
// fast (5 ms a reading, no settling) unless `meterTiming` says otherwise.
// `meterExtra` and `dividerExtra` are further keys of the meter and divider.
inline std::string measurementScenario(
    const std::string& meterExtra = "", const std::string& dividerExtra = "",
    const std::string& meterTiming = R"("reading_ms": 5, "settle_ms": 0)") {
    return R"({"usb": [{"kind": "Q270", "serial": "Q270S9-00417", "id": "Q270S9 V1.18",
        "divider": {"deviations_ppm": )" +
           deviationsJson() + dividerExtra + R"(}}],
        "serial": [{"com": 1, "kind": "meter", "calibrator": "Q270S9-00417", )" +
           meterTiming + meterExtra + "}]}";
}

// The divider's true figures: resistor values with trims, and from them what
// an exact evaluation of a noiseless run gives.
struct DividerTruth {
    std::array<double, 21> R{};  // by step 1..20: step i measures R(ResistorOfStep(i))
    explicit DividerTruth(const std::array<double, 21>& trimsOhmByStep = {}) {
        for (int i = 1; i <= kStepCount; ++i) {
            const double r =
                120.0 * (1.0 + kDeviationsPpm[std::size_t(ResistorOfStep(i) - 97)] * 1e-6);
            const double trim = trimsOhmByStep[std::size_t(i)];
            R[std::size_t(i)] = trim > 0 ? r * trim / (r + trim) : r;
        }
    }
    double total() const {
        double t = 0;
        for (int i = 1; i <= 20; ++i) t += R[std::size_t(i)];
        return t;
    }
    double devR(int i) const { return 1e6 * (R[std::size_t(i)] / total() * 20 - 1); }
    double devRS(int i) const {
        return 1e6 * ((R[std::size_t(i)] + R[std::size_t(21 - i)]) / total() * 10 - 1);
    }
    double linErr(int j) const {
        double l = 0;
        for (int m = 1; m <= j; ++m) l += R[std::size_t(11 - m)] + R[std::size_t(10 + m)];
        return 1e6 * (j * 0.1 - l / total());
    }
};

class ResultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ZDX", "ZDXKalQ270");
        store.clear();
        store.sync();
        load(measurementScenario());
    }
    void TearDown() override {
        if (window_) window_->close();
        window_.reset();
    }

    void load(const std::string& scenario) {
        bench_->loadScenario(scenario);
        bench_->clearTraffic();
    }

    // The panel with "Spez", online with the bench's Q270 over USB.
    frmKal270& openOnline(Clock* clock = nullptr) {
        if (clock == nullptr) clock = &clock_;
        state_ = std::make_unique<ProgramState>();
        window_ =
            std::make_unique<frmKal270>(*state_, QStringLiteral("/ZDXEinmessen"), nullptr, clock);
        window_->show();
        for (int i = 0; i < 5 && state_->LinkState != 2; ++i) cycle();
        EXPECT_EQ(state_->LinkState, kLinkOnline);
        return *window_;
    }
    void cycle() {
        state_->CycleCountdown = 1;
        window_->tick();
    }
    // "Spez" clicked, then the cycle that serves it (and runs the whole measurement).
    void measure() {
        QTest::mouseClick(control<QAbstractButton>("Commandsp"), Qt::LeftButton);
        EXPECT_EQ(state_->ScanRequest, 1);
        cycle();
    }

    template <typename T = QWidget>
    T* control(const char* name) {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    frmResults* results() { return window_->resultsWindow(); }
    template <typename T = QWidget>
    T* resultsControl(const char* name) {
        T* found = results()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTableWidget* table() { return resultsControl<QTableWidget>("Results"); }
    std::string cell(int row, int column) {
        return table()->item(row, column)->text().toStdString();
    }
    std::uint32_t cellBack(int row, int column) {
        return table()->item(row, column)->data(kBackValueRole).value<quint32>();
    }
    std::uint32_t cellFore(int row, int column) {
        return table()->item(row, column)->data(kForeValueRole).value<quint32>();
    }
    double cellNumber(int row, int column) {
        return QString::fromStdString(cell(row, column)).trimmed().replace(',', '.').toDouble();
    }
    // The centre of a table cell in the viewport's pixels.
    QPoint cellCentre(int row, int column) {
        return QPoint(table()->columnViewportPosition(column) + table()->columnWidth(column) / 2,
                      table()->rowViewportPosition(row) + table()->rowHeight(row) / 2);
    }
    // The trimmed evaluation ("d% tst" and the blue curve) follows the bench
    // divider with these trim resistors (ohms by step) soldered in.
    void expectTrimmedViewOf(const std::array<double, 21>& trimsOhmByStep) {
        const DividerTruth truth(trimsOhmByStep);
        for (int j = 1; j <= 9; ++j) {
            EXPECT_NEAR(results()->data().LinErr[std::size_t(j)], truth.linErr(j), 0.3) << j;
            EXPECT_NEAR(cellNumber(11 - j, kColPointTrimmed), truth.linErr(j), 0.35) << j;
        }
        bool blue = false;
        for (const auto& p : results()->plot().primitives()) blue = blue || p.colour == 0xFF0000;
        EXPECT_TRUE(blue);
    }
    std::string statusText() { return resultsControl<QLabel>("Panel1")->text().toStdString(); }

    std::vector<std::string> linesTo(const std::string& device) { return bench_->linesTo(device); }
    std::vector<std::string> meterLines() { return linesTo("COM1"); }
    // The meter's last line once a run has ended. The bench logs a line when
    // it has read it, and a run closes COM1 right after "SYST:LOC" (its pause
    // skipped): wait a little for that line, handling no window event.
    std::string lastMeterLineOfRun() {
        std::vector<std::string> lines = meterLines();
        for (int i = 0; i < 100 && (lines.empty() || lines.back() != "SYST:LOC"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            lines = meterLines();
        }
        return lines.empty() ? std::string() : lines.back();
    }
    static int count(const std::vector<std::string>& lines, const std::string& prefix) {
        int n = 0;
        for (const auto& l : lines) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

    // The bench of the whole test program, and its settings folder.
    static inline std::unique_ptr<zdx::bench::BenchSession>& bench_ =
        zdx::testing::BenchEnvironment::add(measurementScenario()).bench();
    SkipClock clock_;  // outlives the window, which waits on it to the end
    std::unique_ptr<ProgramState> state_;
    std::unique_ptr<frmKal270> window_;
};

}  // namespace q270::testing
