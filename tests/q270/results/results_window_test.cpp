// The linearity measurement through the windows: the hand-over, a complete
// run against the bench's known divider, stops, failing meters, the trim
// choice and the copy.
#include <QClipboard>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QTimer>
#include <stdexcept>

#include "results_fixture.h"
#include "results_table.h"
#include "run_file.h"
#include "step_sequence.h"
#include "usb_access.h"

namespace q270::testing {
namespace {

// Runs `action` on each pass of window events until it returns true.
class DuringRun {
  public:
    explicit DuringRun(std::function<bool()> action) : action_(std::move(action)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!done_ && action_()) done_ = true;
        });
        timer_.start(0);
    }

  private:
    std::function<bool()> action_;
    QTimer timer_;
    bool done_ = false;
};

int stepsMeasured(const frmResults* r) {
    int n = 0;
    for (int i = 1; i <= 20; ++i) n += r->data().Mw2[std::size_t(i)] != 0.0f ? 1 : 0;
    return n;
}

using Measurement = ResultsTest;

TEST_F(Measurement, CompleteRunMatchesTheBenchDividerAndKeepsTheViewUp) {
    openOnline();
    bench_->clearTraffic();
    measure();

    ASSERT_NE(results(), nullptr);
    EXPECT_EQ(results()->windowTitle(), QStringLiteral("Linearitätsmessung"));
    EXPECT_EQ(results()->lastRun().end, RunEnd::Complete);
    EXPECT_EQ(state_->LinkState, kLinkResultsView);
    EXPECT_TRUE(window_->isHidden());
    EXPECT_TRUE(results()->isVisible());

    // Display tolerances: single-precision rounding (about 0.2 ppm) plus the
    // rounding of the shown figure.
    // The cycle that served the request sent its settings first; then the
    // calibrator got the twenty step lines and nothing else.
    const auto lines = AllStepLines();
    auto toQ270 = linesTo(kMeasuredSerial);
    ASSERT_EQ(toQ270.size(), 22u);
    EXPECT_EQ(toQ270[0].substr(0, 3), "K1A");
    EXPECT_EQ(toQ270[1].substr(0, 3), "K1B");
    for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(toQ270[i + 2], lines[i]);
    const auto meter = meterLines();
    ASSERT_EQ(meter.size(), 44u);
    EXPECT_EQ(meter[0], "SYST:REM");
    EXPECT_EQ(meter[1], "SYST:ERR?");
    EXPECT_EQ(meter[2], "SYST:ERR?");
    EXPECT_EQ(count(meter, "MEAS:VOLT:DC? 1,1E-6"), 40);
    EXPECT_EQ(meter.back(), "SYST:LOC");

    const DividerTruth truth;
    for (int i = 1; i <= 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cell(i, kColResistor), "R " + std::to_string(ResistorOfStep(i)));
        EXPECT_NEAR(results()->data().DevR[std::size_t(i)], truth.devR(i), 0.2);
        EXPECT_NEAR(cellNumber(i, kColDevR), truth.devR(i), 0.51);
        EXPECT_EQ(cellFore(i, kColReading2), 0u);
    }
    for (int i = 1; i <= 10; ++i)
        EXPECT_NEAR(results()->data().DevRS[std::size_t(i)], truth.devRS(i), 0.2) << i;
    for (int j = 1; j <= 10; ++j) {
        EXPECT_NEAR(results()->data().LinErr[std::size_t(j)], truth.linErr(j), 0.2) << j;
        EXPECT_NEAR(cellNumber(11 - j, kColPoint), truth.linErr(j), 0.25) << j;
    }
    EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isVisible());
    EXPECT_TRUE(resultsControl("Picture1")->isVisible());
    EXPECT_FALSE(resultsControl("minppm")->isHidden());

    // A cycle while the view is up sends nothing.
    bench_->clearTraffic();
    cycle();
    EXPECT_TRUE(linesTo(kMeasuredSerial).empty());
    EXPECT_EQ(state_->LinkState, kLinkResultsView);

    // A status-bar click closes the view; the panel is back and sends again.
    QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
    EXPECT_EQ(state_->StopRequest, 1);
    cycle();
    EXPECT_EQ(state_->LinkState, kLinkOnline);
    EXPECT_EQ(state_->ResultsAvailable, -1);
    EXPECT_TRUE(results()->isHidden());
    EXPECT_TRUE(table()->isHidden());
    EXPECT_TRUE(window_->isVisible());
    cycle();
    EXPECT_EQ(count(linesTo(kMeasuredSerial), "K1A"), 1);

    // A right press on "Spez" brings the last table back beside the usable panel.
    QTest::mousePress(control("Commandsp"), Qt::RightButton);
    EXPECT_EQ(state_->LinkState, kLinkReopenResults);
    cycle();
    EXPECT_EQ(state_->LinkState, kLinkResultsView);
    EXPECT_TRUE(results()->isVisible());
    EXPECT_FALSE(table()->isHidden());
    EXPECT_TRUE(window_->isVisible());
    EXPECT_NEAR(cellNumber(10, kColPoint), truth.linErr(1), 0.25);
}

TEST_F(Measurement, NoisyMeterGivesTheDividerWithinItsNoise) {
    load(measurementScenario(R"(, "noise_uv": 0.5, "seed": 11)"));
    openOnline();
    measure();
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    // 0.5 uV on 0.25 V is 2 ppm a reading; five sigma.
    const DividerTruth truth;
    for (int i = 1; i <= 20; ++i)
        EXPECT_NEAR(results()->data().DevR[std::size_t(i)], truth.devR(i), 10.0) << i;
    for (int j = 1; j <= 10; ++j)
        EXPECT_NEAR(results()->data().LinErr[std::size_t(j)], truth.linErr(j), 15.0) << j;
    bool anyNoise = false;
    for (int i = 1; i <= 20; ++i)
        anyNoise =
            anyNoise || std::fabs(results()->data().DevR[std::size_t(i)] - truth.devR(i)) > 0.3;
    EXPECT_TRUE(anyNoise);
}

TEST_F(Measurement, StopDuringTheRunLeavesAPartialTableAndClosesTheView) {
    openOnline();
    bench_->clearTraffic();
    DuringRun stopper([this] {
        if (!results() || stepsMeasured(results()) < 3) return false;
        QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
        return true;
    });
    measure();
    EXPECT_EQ(results()->lastRun().end, RunEnd::Stopped);
    EXPECT_EQ(results()->lastRun().steps, 3);
    EXPECT_EQ(count(linesTo(kMeasuredSerial), "K1Y"), 3);
    EXPECT_EQ(lastMeterLineOfRun(), "SYST:LOC");
    EXPECT_FALSE(cell(3, kColReading2).empty());
    EXPECT_TRUE(cell(4, kColReading1).empty());
    EXPECT_TRUE(cell(1, kColDevR).empty());  // no evaluation
    EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isHidden());
    // The stop also closed the view, in the same cycle.
    EXPECT_EQ(state_->LinkState, kLinkOnline);
    EXPECT_EQ(state_->StopRequest, 0);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(results()->isHidden());
}

TEST_F(Measurement, ClosingTheResultsWindowDuringARunStopsItCleanly) {
    openOnline();
    DuringRun closer([this] {
        if (!results() || stepsMeasured(results()) < 2) return false;
        results()->close();
        return true;
    });
    measure();
    EXPECT_EQ(results()->lastRun().end, RunEnd::Stopped);
    EXPECT_EQ(lastMeterLineOfRun(), "SYST:LOC");
    EXPECT_EQ(state_->LinkState, kLinkOnline);
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(Measurement, ClosingTheProgramDuringARunEndsTheRunFirst) {
    openOnline();
    DuringRun closer([this] {
        if (!results() || stepsMeasured(results()) < 2) return false;
        window_->close();
        return true;
    });
    measure();
    EXPECT_EQ(results()->lastRun().end, RunEnd::Stopped);
    EXPECT_EQ(lastMeterLineOfRun(), "SYST:LOC");
    // The close went through once the run had ended: settings stored, both windows gone.
    EXPECT_FALSE(window_->isVisible());
    EXPECT_FALSE(results()->isVisible());
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ZDX", "ZDXKalQ270");
    EXPECT_TRUE(store.contains("Properties/Connection"));
}

TEST_F(Measurement, StopPendingBeforeTheRunEndsItAfterTheFirstStep) {
    openOnline();
    bench_->clearTraffic();
    QTest::mouseClick(control("Panel1"), Qt::LeftButton);  // the main window's status bar
    EXPECT_EQ(state_->StopRequest, 1);
    measure();
    EXPECT_EQ(results()->lastRun().steps, 1);
    EXPECT_EQ(count(linesTo(kMeasuredSerial), "K1Y"), 1);
    EXPECT_EQ(state_->LinkState, kLinkOnline);
    EXPECT_TRUE(results()->isHidden());
}

TEST_F(Measurement, RightPressOnSpezBeforeAnyViewWasClosedDoesNothing) {
    openOnline();
    QTest::mousePress(control("Commandsp"), Qt::RightButton);
    EXPECT_EQ(state_->LinkState, kLinkOnline);
    cycle();
    EXPECT_EQ(results(), nullptr);
}

TEST_F(Measurement, UsbFailureInTheCycleOfTheRequestIsOverriddenByTheRun) {
    openOnline();
    bench_->unplug(kMeasuredSerial);
    measure();
    // The run started although the settings exchange of that cycle failed.
    ASSERT_NE(results(), nullptr);
    EXPECT_EQ(state_->LinkState, kLinkResultsView);
    // Without the calibrator the first step line goes nowhere: the run ends
    // there, naming it, before the meter reads a voltage no step set.
    EXPECT_EQ(results()->lastRun().end, RunEnd::CalibratorFailed);
    EXPECT_EQ(count(meterLines(), "MEAS:VOLT:DC?"), 0);
    EXPECT_EQ(lastMeterLineOfRun(), "SYST:LOC");
    EXPECT_NE(
        statusText().find(kMeasuredSerial + std::string(" did not take its step line (R 116)")),
        std::string::npos)
        << statusText();
    EXPECT_TRUE(cell(1, kColDevR).empty());
    EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isHidden());
}

struct MeterFaultCase {
    const char* name;
    const char* scenarioExtra;
    const char* message;
    int stepsDone;
};

class FailingMeter : public ResultsTest, public ::testing::WithParamInterface<MeterFaultCase> {};

TEST_P(FailingMeter, EndsTheRunWithAMessageAndTheMeterInLocal) {
    load(measurementScenario(GetParam().scenarioExtra));
    openOnline();
    bench_->clearTraffic();
    measure();
    EXPECT_EQ(results()->lastRun().end, RunEnd::MeterFailed);
    EXPECT_EQ(results()->lastRun().steps, GetParam().stepsDone);
    EXPECT_NE(statusText().find(GetParam().message), std::string::npos) << statusText();
    EXPECT_EQ(lastMeterLineOfRun(), "SYST:LOC");
    EXPECT_TRUE(cell(1, kColDevR).empty());
    EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isHidden());
    // The program stays: the view is up until the operator closes it.
    EXPECT_EQ(state_->LinkState, kLinkResultsView);
    QTest::mouseClick(resultsControl("Panel1"), Qt::LeftButton);
    cycle();
    EXPECT_TRUE(window_->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailingMeter,
    ::testing::Values(
        MeterFaultCase{"Silent", R"(, "faults": ["silent"])", "No reply from the multimeter", 0},
        MeterFaultCase{"Garbage", R"(, "faults": ["garbage"])", "is not a number", 0},
        MeterFaultCase{"Overload", R"(, "faults": ["overload"])", "Multimeter overload", 0},
        MeterFaultCase{"UnpluggedMidRun", R"(, "unplug_after_readings": 7)",
                       "No reply from the multimeter (R 113, reading 2)", 3}),
    [](const ::testing::TestParamInfo<MeterFaultCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(Measurement, MissingMeterPortSendsNothing) {
    openOnline();
    const QByteArray saved = qgetenv("ZDX_COM1");
    qputenv("ZDX_COM1", "/nonexistent/meter-port");
    bench_->clearTraffic();
    measure();
    qputenv("ZDX_COM1", saved);
    EXPECT_EQ(results()->lastRun().end, RunEnd::MeterPortMissing);
    // The port's device and the system's reason.
    EXPECT_EQ(statusText(),
              "Error accessing COM1 (multimeter, /nonexistent/meter-port: No such "
              "file or directory): no measurement");
    EXPECT_EQ(count(linesTo(kMeasuredSerial), "K1Y"), 0);
    EXPECT_TRUE(meterLines().empty());
}

class MeasuredTable : public ResultsTest {
  protected:
    void SetUp() override {
        ResultsTest::SetUp();
        openOnline();
        measure();
        ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    }
    // Right-button release over a cell while the pop-up is answered by `answer`
    // (the item to click, or -1 to dismiss it).
    void trimChoice(int row, int column, int answer) {
        QTimer::singleShot(0, [this, answer] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            popupTitle = menu->title().toStdString();
            for (QAction* a : menu->actions())
                if (a->isChecked()) ticked.push_back(a->objectName().toStdString());
            if (answer >= 0)
                menu->findChild<QAction*>(QStringLiteral("mnu_r_%1").arg(answer))->trigger();
            menu->close();
        });
        QTest::mouseRelease(table()->viewport(), Qt::RightButton, {}, cellCentre(row, column));
    }
    std::string popupTitle;
    std::vector<std::string> ticked;
};

TEST_F(MeasuredTable, TrimChoiceThroughThePopUpShowsTheTrimmedEvaluation) {
    trimChoice(5, kColTrim, 3);
    EXPECT_EQ(popupTitle, "Rselec");
    EXPECT_EQ(ticked, std::vector<std::string>{"mnu_r_0"});
    EXPECT_EQ(results()->data().ShuntSel[5], 3);
    EXPECT_EQ(cell(5, kColTrim), "  750 kOhm");
    EXPECT_EQ(cellBack(5, kColTrim), 0xE0E0E0u);
    EXPECT_EQ(cell(0, kColReading1), "modMW V");
    EXPECT_EQ(cell(0, kColPointTrimmed), "d% tst");
    std::array<double, 21> trims{};
    trims[5] = 750000;
    expectTrimmedViewOf(trims);
    // ZDX_TEST_SHOTS=<folder> keeps a picture of the trimmed view for a look.
    if (qEnvironmentVariableIsSet("ZDX_TEST_SHOTS"))
        results()->grab().save(qEnvironmentVariable("ZDX_TEST_SHOTS") + "/results-trimmed.png");

    // The next pop-up on that step ticks its choice; dismissing it keeps it.
    ticked.clear();
    trimChoice(5, kColTrim, -1);
    EXPECT_EQ(ticked, std::vector<std::string>{"mnu_r_3"});
    EXPECT_EQ(results()->data().ShuntSel[5], 3);
    EXPECT_EQ(cell(5, kColTrim), "  750 kOhm");
    trimChoice(5, kColTrim, 0);
    EXPECT_EQ(cell(5, kColTrim), "");
    EXPECT_EQ(cellNumber(10, kColPointTrimmed), cellNumber(10, kColPoint));
}

TEST_F(MeasuredTable, RightClicksOutsideTheTrimCellsAndLeftClicksOutsideCopyDoNothing) {
    const std::string before = results()->tableText();
    for (auto [row, column] : {std::pair{5, 2}, std::pair{5, 4}, std::pair{0, 3}})
        QTest::mouseRelease(table()->viewport(), Qt::RightButton, {}, cellCentre(row, column));
    QTest::mouseRelease(table()->viewport(), Qt::LeftButton, {}, cellCentre(1, kColResistor));
    EXPECT_EQ(results()->tableText(), before);
    EXPECT_EQ(statusText(), "Stopp: hier klicken ->");
}

TEST_F(MeasuredTable, CopyPutsTwentyLinesOfNineFieldsOnTheClipboard) {
    QApplication::clipboard()->clear();
    QTest::mouseRelease(table()->viewport(), Qt::LeftButton, {}, cellCentre(0, kColResistor));
    EXPECT_EQ(statusText(), "Copied");
    const QString text = QApplication::clipboard()->text();
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 21);  // twenty lines, each ended
    EXPECT_TRUE(lines.last().isEmpty());
    for (int i = 0; i < 20; ++i) EXPECT_EQ(lines[i].split('\t').size(), 9) << i;
    EXPECT_EQ(lines[0].split('\t')[0].toStdString(), cell(1, kColReading1));
    EXPECT_EQ(lines[19].split('\t')[5].toStdString(), cell(20, kColDevR));
}

TEST_F(Measurement, NumbersFollowTheUsersLocaleSeparator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    openOnline();
    measure();
    QLocale::setDefault(QLocale::c());
    EXPECT_NE(cell(1, kColReading1).find(','), std::string::npos) << cell(1, kColReading1);
    EXPECT_EQ(cell(1, kColReading1).find('.'), std::string::npos) << cell(1, kColReading1);
    EXPECT_NE(cell(10, kColPoint).find(','), std::string::npos) << cell(10, kColPoint);
}

}  // namespace
}  // namespace q270::testing

namespace q270::testing {
namespace {

TEST_F(MeasuredTable, BetweenRunsTheMeterPortIsClosedAndTheLayoutHoldsItsTexts) {
    auto* meterPort = results()->findChild<QSerialPort*>("MSComm2");
    ASSERT_NE(meterPort, nullptr);
    EXPECT_FALSE(meterPort->isOpen());  // open only during a run
    EXPECT_EQ(meterPort->baudRate(), 9600);
    EXPECT_EQ(meterPort->parity(), QSerialPort::NoParity);
    // The search lines line up their fields only in a fixed-pitch font.
    // (Measured on the glyphs: fontconfig reports some monospaced families as
    // proportional.)
    const QFontMetrics lineMetrics(resultsControl<QLabel>("OptiL1_4")->font());
    EXPECT_EQ(lineMetrics.horizontalAdvance(QStringLiteral("iiii")),
              lineMetrics.horizontalAdvance(QStringLiteral("WW00")));
    // Every segment text fits its column, margins included.
    const QFontMetrics metrics(table()->font());
    for (int row = 1; row <= kStepCount; ++row)
        EXPECT_LE(metrics.horizontalAdvance(table()->item(row, kColSegment)->text()) + 2,
                  table()->columnWidth(kColSegment))
            << row;
    // The bar between the sweeps lies on the boundary of rows 10 and 11.
    const int boundary = table()->y() + table()->rowViewportPosition(11);
    EXPECT_NEAR(resultsControl("Picture2")->y(), boundary, 2);
}

TEST_F(Measurement, ResultsWindowStartsWithoutTheSearchAndWithTheStopText) {
    openOnline();
    QTest::mouseClick(control<QAbstractButton>("Commandsp"), Qt::LeftButton);
    // Created by the cycle, shown before the run begins: the state in the run's first pass.
    bool checked = false;
    DuringRun check([&] {
        if (!results() || !results()->scanning()) return false;
        EXPECT_TRUE(resultsControl<QPushButton>("CmdOpt")->isHidden());
        EXPECT_EQ(statusText(), "Stopp: hier klicken ->");
        EXPECT_TRUE(resultsControl("Picture1")->isHidden());
        checked = true;
        return true;
    });
    cycle();
    EXPECT_TRUE(checked);
}

TEST_F(Measurement, FileControlsAreNotOfferedDuringARunAndAClickOpensNothing) {
    openOnline();
    bool dialogOpened = false;
    int clicks = 0;
    // A dialog would hold the run inside its event pass: close it and note it.
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialogOpened = true;
            modal->close();
        }
    });
    watchdog.start(50);
    DuringRun clicker([&] {
        if (!results() || stepsMeasured(results()) < 2) return false;
        for (const char* name : {"CmdSaveRun", "CmdOpenRun", "CmdHistory", "CmdReport"}) {
            auto* button = resultsControl<QPushButton>(name);
            EXPECT_FALSE(button->isEnabled()) << name;
            QTest::mouseClick(button, Qt::LeftButton);
            ++clicks;
        }
        // Asked some other way, the window says why it does nothing.
        EXPECT_FALSE(results()->saveRun(QStringLiteral("/nonexistent/run.json")));
        EXPECT_NE(statusText().find("Not while"), std::string::npos) << statusText();
        return true;
    });
    measure();
    EXPECT_EQ(clicks, 4);
    EXPECT_FALSE(dialogOpened);
    EXPECT_EQ(results()->lastRun().end, RunEnd::Complete);
    EXPECT_EQ(lastMeterLineOfRun(), "SYST:LOC");
    for (const char* name : {"CmdSaveRun", "CmdOpenRun", "CmdHistory", "CmdReport"})
        EXPECT_TRUE(resultsControl<QPushButton>(name)->isEnabled()) << name;
}

TEST_F(MeasuredTable, ASavedRunKeepsTheTrimChoicesTheTableShows) {
    trimChoice(5, kColTrim, 3);
    ASSERT_EQ(results()->data().ShuntSel[5], 3);
    // A new run clears the "R Shunt" column but keeps the choice underneath.
    results()->Scan();
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    EXPECT_EQ(cell(5, kColTrim), "");
    EXPECT_EQ(results()->data().ShuntSel[5], 3);
    QTemporaryDir dir;
    ASSERT_TRUE(results()->saveRun(dir.filePath("run.json")));
    const RunRecord saved = ReadRunFile(dir.filePath("run.json").toStdString());
    for (int step = 1; step <= kStepCount; ++step) EXPECT_EQ(saved.ShuntSel[step], 0) << step;

    trimChoice(7, kColTrim, 2);
    ASSERT_TRUE(results()->saveRun(dir.filePath("trimmed.json")));
    const RunRecord trimmed = ReadRunFile(dir.filePath("trimmed.json").toStdString());
    EXPECT_EQ(trimmed.ShuntSel[7], 2);
    EXPECT_EQ(trimmed.ShuntSel[5], 0);
}

TEST_F(Measurement, ALocaleWhoseSeparatorIsNoLatin1CharacterGivesWholeCellsAndCopy) {
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    openOnline();
    measure();
    QLocale::setDefault(QLocale::c());
    ASSERT_EQ(results()->lastRun().end, RunEnd::Complete);
    EXPECT_EQ(cell(1, kColReading1).find('\0'), std::string::npos);
    EXPECT_EQ(cell(1, kColReading1).size(), 9u) << cell(1, kColReading1);  // "0.2500xxx"
    EXPECT_NE(cell(10, kColPoint).find('.'), std::string::npos) << cell(10, kColPoint);
    QApplication::clipboard()->clear();
    QTest::mouseRelease(table()->viewport(), Qt::LeftButton, {}, cellCentre(0, kColResistor));
    const QString text = QApplication::clipboard()->text();
    EXPECT_FALSE(text.contains(QChar(0)));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), kStepCount);
    EXPECT_EQ(text.split(QStringLiteral("\r\n"))[19].split('\t')[kColDevR - 1].toStdString(),
              cell(20, kColDevR));
}

// A clock that fails once, at its `failAt`-th pause.
class FailingClock : public SkipClock {
  public:
    explicit FailingClock(int failAt) : failAt_(failAt) {}
    void sleepUntil(time_point deadline) override {
        if (++pauses_ == failAt_) throw std::runtime_error("clock failed");
        SkipClock::sleepUntil(deadline);
    }

  private:
    int failAt_;
    int pauses_ = 0;
};

TEST_F(Measurement, AFailureThatEscapesARunLeavesNeitherTheWindowHeldNorCom1Open) {
    const std::string serial = kMeasuredSerial;
    LibraryUsbAccess usb;
    FailingClock clock(12);  // a few steps into the run
    frmResults window(serial, usb, clock);
    window.show();
    bench_->clearTraffic();
    EXPECT_THROW(window.Scan(), std::runtime_error);
    EXPECT_FALSE(window.busy());
    auto* meterPort = window.findChild<QSerialPort*>("MSComm2");
    ASSERT_NE(meterPort, nullptr);
    EXPECT_FALSE(meterPort->isOpen());
    EXPECT_EQ(lastMeterLineOfRun(), "SYST:LOC");  // the line still worked
    EXPECT_TRUE(window.findChild<QPushButton*>("CmdOpenRun")->isEnabled());
    // The window is usable again: the next run completes.
    window.Scan();
    EXPECT_EQ(window.lastRun().end, RunEnd::Complete);
}

}  // namespace
}  // namespace q270::testing
